#include "app/aftertransferapp.h"

#include "platform/bytepath.h"
#include "platform/launcher.h"
#include "platform/pathops.h"
#include "platform/pathtext.h"
#include "platform/prompt.h"
#include "settings/settingsrecord.h"
#include "ui/radiogroup.h"
#include "ui/tmainform.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace vantora {

namespace {

// Leaving the read-only edit runs ExecEditExit.
class FocusOutWatcher final : public QObject
{
public:
    FocusOutWatcher(QObject *parent, std::function<void()> onExit)
        : QObject(parent), m_onExit(std::move(onExit))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::FocusOut)
            m_onExit();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_onExit;
};

} // namespace

AfterTransferApp::AfterTransferApp(const AfterTransferArea &area, SettingsRecord *settings, QObject *parent)
    : QObject(parent), m_ui(area), m_settings(settings)
{
    connect(area.ExecCheckBox, &QCheckBox::toggled, this, &AfterTransferApp::ExecCheckBoxClick);
    connect(area.ExecBitBtn, &QPushButton::clicked, this, &AfterTransferApp::ExecBitBtnClick);
    connect(area.ParamRadioGroup, &RadioGroup::itemIndexChanged, this,
            &AfterTransferApp::ParamRadioGroupClick);
    connect(area.ExecCloseCheckBox, &QCheckBox::toggled, this, &AfterTransferApp::ExecCloseCheckBoxClick);
    connect(area.ExecTestButton, &QPushButton::clicked, this, &AfterTransferApp::ExecTestButtonClick);
    area.ExecEdit->installEventFilter(new FocusOutWatcher(area.ExecEdit, [this] { ExecEditExit(); }));
}

void AfterTransferApp::applySettings()
{
    m_ui.ExecEdit->setText(m_settings->ExecEditText);
    m_ui.ExecCheckBox->setChecked(m_settings->ExecChecked);
    m_ui.ParamRadioGroup->setItemIndex(m_settings->ParamRadioGroupIndex == 0 ? 0 : 1);
    m_ui.ExecCloseCheckBox->setChecked(m_settings->ExecCloseChecked);
}

void AfterTransferApp::switchProgramGroup()
{
    const bool on = m_ui.ExecCheckBox->isChecked();
    m_settings->ExecChecked = on;
    for (QWidget *w : std::initializer_list<QWidget *>{m_ui.ExecEdit, m_ui.ExecBitBtn, m_ui.ExecTestButton,
                                                       m_ui.ParamRadioGroup, m_ui.ExecCloseCheckBox})
        w->setEnabled(on);
}

QString AfterTransferApp::enabledProgram() const
{
    return m_ui.ExecCheckBox->isChecked() ? m_ui.ExecEdit->text() : QString();
}

void AfterTransferApp::chooseProgram()
{
    const QStringList filters = TMainForm::openDialog1Filters();
    // Programs here carry no ".exe", so the picker opens on all files.
    const QString chosen = prompt().chooseFile(QString(), filters, filters.at(1));
    if (chosen.isEmpty())
        return;
    m_ui.ExecEdit->setText(chosen);
    m_settings->ExecEditText = chosen;
}

void AfterTransferApp::ExecEditExit()
{
    m_settings->ExecEditText = m_ui.ExecEdit->text();
}

void AfterTransferApp::ParamRadioGroupClick()
{
    m_settings->ParamRadioGroupIndex = m_ui.ParamRadioGroup->itemIndex();
}

void AfterTransferApp::ExecCloseCheckBoxClick()
{
    m_settings->ExecCloseChecked = m_ui.ExecCloseCheckBox->isChecked();
}

QStringList AfterTransferApp::folderArguments(const QString &folder)
{
    if (folder.isEmpty())
        return {};
    return {withoutTrailingSlash(folder)};
}

void AfterTransferApp::launchForTest()
{
    const QString program = m_ui.ExecEdit->text();
    if (program.isEmpty())
        return;
    if (m_settings->ParamRadioGroupIndex != 0) {
        prompt().message(QStringLiteral("実行イメージ(パラメータ無し)\r\n") + program);
        launcher().start(program, {});
        return;
    }
    const QString folder = withoutTrailingSlash(m_firstRowFolder ? m_firstRowFolder() : QString());
    prompt().message(QStringLiteral("実行イメージ(フォルダをパラメータとして渡す)\r\n") + program +
                     QLatin1Char(' ') + displayPath(folder));
    launcher().start(program, folderArguments(folder));
}

QString AfterTransferApp::LaunchAfterTransferApp(const QString &firstDestinationFolder)
{
    const QString program = m_ui.ExecEdit->text();
    if (!m_ui.ExecCheckBox->isChecked() || program.isEmpty() || !isRegularFilePath(program)) {
        if (m_watchRestart)
            m_watchRestart();
        return QString();
    }
    const QString handed = m_settings->ParamRadioGroupIndex != 0 ? QString() : firstDestinationFolder;
    launcher().start(program, folderArguments(handed));
    QCoreApplication::processEvents();
    if (m_ui.ExecCloseCheckBox->isChecked()) {
        m_ui.window->close();
        QCoreApplication::processEvents();
    }
    return handed;
}

} // namespace vantora
