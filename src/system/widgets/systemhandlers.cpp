#include "system/widgets/systemhandlers.h"

#include "platform/pathtext.h"

#include "platform/copyerror.h"
#include "platform/filestamp.h"
#include "platform/launcher.h"
#include "platform/prompt.h"
#include "settings/settingsrecord.h"
#include "system/autoplayregistration.h"
#include "system/desktopentry.h"
#include "system/deviceimport.h"
#include "system/shelldetails.h"
#include "transfer/destination.h"
#include "transfer/shootingdate.h"
#include "transfer/transferloop.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace vantora {

namespace {

QString folderOf(const QString &filePath)
{
    return QFileInfo(filePath).absolutePath();
}

// Says how the import ended; false when it stopped before the end.
bool reportImport(const DeviceImportResult &result, const QString &source, const QString &destination)
{
    switch (result.status) {
    case DeviceImportResult::Done:
        break;
    case DeviceImportResult::SourceMissing:
        prompt().message(QStringLiteral("フォルダ[") + source + QStringLiteral("]が見つかりません"));
        return false;
    case DeviceImportResult::DestinationMissing:
        prompt().message(QStringLiteral("フォルダ[") + destination + QStringLiteral("]が見つかりません"));
        return false;
    case DeviceImportResult::DestinationInsideSource:
        prompt().message(QStringLiteral("転送先フォルダが転送元フォルダの中にあるため転送できません.\r\n") +
                         destination);
        return false;
    case DeviceImportResult::CopyFailed:
        if (result.notDeleted > 0)
            prompt().message(notDeletedMessage());
        prompt().message(result.error.kind == CopyError::DiskFull ? diskFullMessage(VolumeRootOf(destination))
                                                                  : unknownErrorMessage(result.error));
        return false;
    }
    if (result.notCopied > 0)
        prompt().message(
            QStringLiteral("一部のファイルが転送できませんでした。転送元フォルダを確認して下さい。"));
    if (result.notDeleted > 0)
        prompt().message(notDeletedMessage());
    return true;
}

} // namespace

SystemHandlers::SystemHandlers(const SystemArea &area, RegistryStore &store, SettingsRecord &settings,
                               QObject *parent)
    : QObject(parent), m_ui(area), m_store(store), m_settings(settings),
      m_programPath(QCoreApplication::applicationFilePath()), m_applicationsDir(DesktopEntryDirectory()),
      m_tifPath(QDir::homePath() + QLatin1String("/DCIM/100TEST/TEST.TIF")),
      m_nefPath(QDir::homePath() + QLatin1String("/DCIM/100TEST/TEST.NEF"))
{
    connect(area.Button6, &QPushButton::clicked, this, &SystemHandlers::Button6Click);
    connect(area.Button7, &QPushButton::clicked, this, &SystemHandlers::Button7Click);
    connect(area.Button13, &QPushButton::clicked, this, &SystemHandlers::Button13Click);
    connect(area.Button3, &QPushButton::clicked, this, &SystemHandlers::Button3Click);
    connect(area.Button11, &QPushButton::clicked, this, &SystemHandlers::Button11Click);
    connect(area.Button12, &QPushButton::clicked, this, &SystemHandlers::Button12Click);
}

void SystemHandlers::setDiagnosticsFiles(const QString &tifPath, const QString &nefPath)
{
    m_tifPath = tifPath;
    m_nefPath = nefPath;
}

void SystemHandlers::registerAutoPlay()
{
    if (!prompt().confirm(
            QStringLiteral("本プログラムを自動再生に登録しますか？\r\nVantix.exeの場所：\r\n[") +
            m_programPath + QStringLiteral("]") + QStringLiteral("\r\n") +
            QStringLiteral("をレジストリに登録するため、プログラムを再起動します")))
        return;
    if (RegisterAutoPlayHandler(m_store, m_programPath, m_applicationsDir))
        prompt().message(QStringLiteral("自動再生に登録しました"));
}

void SystemHandlers::unregisterAutoPlay()
{
    if (!prompt().confirm(QStringLiteral("本プログラムを自動再生から解除しますか？\r\n"
                                         "自動再生をレジストリから削除するため、プログラムを再起動します")))
        return;
    if (UnregisterAutoPlayHandler(m_store, m_applicationsDir))
        prompt().message(QStringLiteral("自動再生から解除しました"));
}

void SystemHandlers::importFromDevice()
{
    const QString source = prompt().chooseFolder(
        QStringLiteral("コンピュータ → デバイス→ DCIMの中の\r\n [Camera] フォルダを選択して下さい."),
        QString());
    if (source.isEmpty())
        return;
    const QString destination = importDestination();
    if (destination.isEmpty() || !confirmImport(source, destination))
        return;
    const bool move = prompt().askYesNo(
        QStringLiteral("転送したファイルを削除しますか？\r\n([はい]は移動、[いいえ]はコピーです)"));

    const DeviceImportResult result = ImportWholeFolder(
        source, destination, move, [](quint64, quint64) { QCoreApplication::processEvents(); });
    if (!reportImport(result, source, destination) || !launchAfterImport(destination))
        return;
    resetCountersAfterImport();
    QCoreApplication::processEvents();
    m_ui.window->close();
    QCoreApplication::processEvents();
}

QString SystemHandlers::importDestination()
{
    const QString transferFolder = m_neighbours ? m_neighbours->destinationFolder() : QString();
    if (transferFolder.trimmed().isEmpty()) {
        prompt().message(QStringLiteral("転送先フォルダが設定されていません"));
        return QString();
    }
    const NameTemplate folderTemplate{m_settings.DirNameEditText, m_settings.PreDirNameEditText,
                                      m_settings.PreDirChecked, m_settings.SufDirNameEditText,
                                      m_settings.SufDirChecked};
    const QString destination = DeviceImportDestination(
        transferFolder, folderTemplate, m_settings.DirRenbanSpinEditValue, m_settings.sDayEditText);
    if (destination.isEmpty()) {
        // "." or ".." as the folder name would put the files beside or above the destination.
        prompt().message(
            QStringLiteral("作成するフォルダの名前が正しくありません。フォルダ名の設定を確認して下さい。"));
    }
    return destination;
}

bool SystemHandlers::confirmImport(const QString &source, const QString &destination)
{
    m_ui.Memo1->appendPlainText(source);
    prompt().message(QStringLiteral("Transfer: ") + FolderTitle(destination) + QStringLiteral("\r\n\r\n") +
                     QStringLiteral("Source: ") + FolderTitle(source));
    if (!prompt().askYesNo(QStringLiteral("転送先フォルダを作成します。作成して転送開始しますか？\r\n") +
                           destination)) {
        prompt().message(QStringLiteral("転送しませんでした."));
        return false;
    }
    // A copy into a folder that is not there cannot follow.
    if (!EnsureFolder(destination)) {
        prompt().message(folderNotCreatedMessage(destination));
        return false;
    }
    return true;
}

bool SystemHandlers::launchAfterImport(const QString &destination)
{
    const QString app = m_neighbours ? m_neighbours->afterTransferProgram() : QString();
    const QFileInfo info(app);
    if (app.isEmpty() || !info.isFile())
        return false;
    QStringList arguments;
    if (m_settings.ParamRadioGroupIndex == 0)
        arguments << withoutTrailingSlash(destination);
    if (info.isExecutable())
        m_starter(app, arguments);
    else
        openWithDefaultApplication(info.absoluteFilePath());
    return true;
}

void SystemHandlers::resetCountersAfterImport()
{
    if (!m_neighbours || !m_neighbours->resetsCountersAfterRun())
        return;
    m_settings.DirRenbanSpinEditValue = 1;
    m_settings.FileRenbanSpinEditValue = 1;
    m_neighbours->runningNumbersReset();
}

void SystemHandlers::listDetails(const QString &filePath, QStringList (*listing)(const QString &folder))
{
    const QString folder = folderOf(filePath);
    if (!QFileInfo(folder).isDir()) {
        prompt().message(QStringLiteral("フォルダ[") + folder + QStringLiteral("]が見つかりません"));
        return;
    }
    for (const QString &line : listing(folder))
        m_ui.Memo1->appendPlainText(line);
}

void SystemHandlers::listFolderDetails()
{
    listDetails(m_tifPath, DetailListing);
}

void SystemHandlers::listShortFolderDetails()
{
    listDetails(m_nefPath, ShortDetailListing);
}

void SystemHandlers::showShootingDate()
{
    const QDate date = ReadShootingDate(m_tifPath);
    if (!date.isValid()) {
        prompt().message(QStringLiteral("ファイル[") + m_tifPath +
                         QStringLiteral("]の撮影日を読み取れませんでした"));
        return;
    }
    prompt().message(date.toString(QStringLiteral("yyyy.MM.dd")));
}

} // namespace vantora
