#include "app/runend.h"

#include "platform/desktopnotice.h"
#include "platform/filepath.h"
#include "platform/prompt.h"
#include "platform/udisks.h"
#include "platform/volumes.h"
#include "settings/settingsrecord.h"

#include <QPointer>
#include <QWidget>

namespace vantora {

RunEndActions::RunEndActions(QWidget *mainForm, const SettingsRecord *settings, const Volumes *volumes,
                             QObject *parent)
    : QObject(parent), m_settings(settings), m_volumes(volumes)
{
    QPointer<QWidget> form(mainForm);
    m_windowActive = [form] { return form && form->isActiveWindow(); };
}

QString RunEndActions::ejectMessage(const EjectOutcome &outcome)
{
    switch (outcome.result) {
    case EjectResult::Ejected:
        return QStringLiteral("カードを安全に取り外せます");
    case EjectResult::Busy:
        return QStringLiteral("カードのファイルが使用中のため、カードを取り出せませんでした。\r\n"
                              "カードのファイルを開いているプログラムを終了してから取り出してください。");
    case EjectResult::NotRemovable:
        return QStringLiteral("転送元のドライブは取り外せるドライブではないため、取り出しませんでした。");
    case EjectResult::NoService:
        return QStringLiteral("ディスクを管理するサービス(udisks2)が動いていないため、カードを取り出せません"
                              "でした。");
    case EjectResult::NotFound:
        return QStringLiteral("ディスクを管理するサービス(udisks2)が転送元のドライブを見つけられないため、"
                              "カードを取り出せませんでした。");
    case EjectResult::Failed:
        break;
    }
    return QStringLiteral("カードを取り出せませんでした。\r\n") + outcome.detail;
}

QString RunEndActions::cardKeptForProgramMessage()
{
    return QStringLiteral("転送後に起動したプログラムにカード上のフォルダを渡したため、カードを取り出し"
                          "ませんでした。");
}

void RunEndActions::runEnded(const RunEnd &end)
{
    // Asked first: the eject's message would make the window active.
    noticeIfLong(end);
    ejectCard(end);
}

void RunEndActions::noticeIfLong(const RunEnd &end)
{
    if (end.elapsed <= m_longRun || (m_windowActive && m_windowActive()))
        return;
    postDesktopNotice(QStringLiteral("Vantora: 転送が終わりました"), end.status);
}

void RunEndActions::ejectCard(const RunEnd &end)
{
    if (!m_settings->EjectChecked || !end.ok)
        return;
    const QString root = m_volumes->rootOf(end.source);
    if (root.isEmpty() || root == m_volumes->systemRoot() ||
        m_volumes->driveType(root) != DriveType::Removable)
        return;
    // The program may be reading the folder it was given: the card stays until the user ejects it.
    if (!end.handedFolder.isEmpty() && FilePath(end.handedFolder).isSameOrInside(FilePath(root))) {
        prompt().message(cardKeptForProgramMessage());
        return;
    }
    prompt().message(ejectMessage(ejectMountPoint(root)));
}

} // namespace vantora
