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
#include <QTableWidget>
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

AfterTransferApp::AfterTransferApp(TMainForm *form, SettingsRecord *settings, QObject *parent)
    : QObject(parent), m_form(form), m_settings(settings)
{
    connect(form->ExecCheckBox, &QCheckBox::toggled, this, &AfterTransferApp::ExecCheckBoxClick);
    connect(form->ExecBitBtn, &QPushButton::clicked, this, &AfterTransferApp::ExecBitBtnClick);
    connect(form->ParamRadioGroup, &RadioGroup::itemIndexChanged, this,
            &AfterTransferApp::ParamRadioGroupClick);
    connect(form->ExecCloseCheckBox, &QCheckBox::toggled, this, &AfterTransferApp::ExecCloseCheckBoxClick);
    connect(form->ExecTestButton, &QPushButton::clicked, this, &AfterTransferApp::ExecTestButtonClick);
    form->ExecEdit->installEventFilter(new FocusOutWatcher(form->ExecEdit, [this] { ExecEditExit(); }));
}

void AfterTransferApp::applySettings()
{
    m_form->ExecEdit->setText(m_settings->ExecEditText);
    m_form->ExecCheckBox->setChecked(m_settings->ExecChecked);
    m_form->ParamRadioGroup->setItemIndex(m_settings->ParamRadioGroupIndex == 0 ? 0 : 1);
    m_form->ExecCloseCheckBox->setChecked(m_settings->ExecCloseChecked);
}

void AfterTransferApp::ExecCheckBoxClick()
{
    const bool on = m_form->ExecCheckBox->isChecked();
    m_settings->ExecChecked = on;
    for (QWidget *w :
         std::initializer_list<QWidget *>{m_form->ExecEdit, m_form->ExecBitBtn, m_form->ExecTestButton,
                                          m_form->ParamRadioGroup, m_form->ExecCloseCheckBox})
        w->setEnabled(on);
}

void AfterTransferApp::ExecBitBtnClick()
{
    const QStringList filters = TMainForm::openDialog1Filters();
    // Programs here carry no ".exe", so the picker opens on all files.
    const QString chosen = prompt().chooseFile(QString(), filters, filters.at(1));
    if (chosen.isEmpty())
        return;
    m_form->ExecEdit->setText(chosen);
    m_settings->ExecEditText = chosen;
}

void AfterTransferApp::ExecEditExit()
{
    m_settings->ExecEditText = m_form->ExecEdit->text();
}

void AfterTransferApp::ParamRadioGroupClick()
{
    m_settings->ParamRadioGroupIndex = m_form->ParamRadioGroup->itemIndex();
}

void AfterTransferApp::ExecCloseCheckBoxClick()
{
    m_settings->ExecCloseChecked = m_form->ExecCloseCheckBox->isChecked();
}

QStringList AfterTransferApp::folderArguments(const QString &folder)
{
    if (folder.isEmpty())
        return {};
    return {withoutTrailingSlash(folder)};
}

void AfterTransferApp::ExecTestButtonClick()
{
    const QString program = m_form->ExecEdit->text();
    if (program.isEmpty())
        return;
    if (m_settings->ParamRadioGroupIndex != 0) {
        prompt().message(QStringLiteral("実行イメージ(パラメータ無し)\r\n") + program);
        launcher().start(program, {});
        return;
    }
    QString folder;
    if (m_form->ExtListEditor->rowCount() > 0 && m_form->ExtListEditor->item(0, 1))
        folder = withoutTrailingSlash(m_form->ExtListEditor->item(0, 1)->text());
    prompt().message(QStringLiteral("実行イメージ(フォルダをパラメータとして渡す)\r\n") + program +
                     QLatin1Char(' ') + displayPath(folder));
    launcher().start(program, folderArguments(folder));
}

void AfterTransferApp::LaunchAfterTransferApp(const QString &firstDestinationFolder)
{
    const QString program = m_form->ExecEdit->text();
    if (!m_form->ExecCheckBox->isChecked() || program.isEmpty() || !isRegularFilePath(program)) {
        m_form->Timer1->start();
        return;
    }
    if (m_settings->ParamRadioGroupIndex != 0)
        launcher().start(program, {});
    else
        launcher().start(program, folderArguments(firstDestinationFolder));
    QCoreApplication::processEvents();
    if (m_form->ExecCloseCheckBox->isChecked()) {
        m_form->close();
        QCoreApplication::processEvents();
    }
}

} // namespace vantora
