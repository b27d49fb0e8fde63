#include "app/vantoraapp.h"

#include "app/aftertransferapp.h"
#include "app/settings/settingsstore.h"
#include "platform/prompt.h"
#include "ui/keyfilter.h"
#include "ui/taboutform.h"
#include "ui/tmainform.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace vantora {

VantoraApp::VantoraApp(const QStringList &arguments, QObject *parent)
    : QObject(parent)
    , m_arguments(arguments)
    , m_settings(SettingsRecord::defaults())
{
    // The windows, once and in this order.
    m_mainForm = std::make_unique<TMainForm>();
    m_aboutForm = std::make_unique<TAboutForm>(m_mainForm.get());

    TMainForm *f = m_mainForm.get();
    m_afterTransferApp = std::make_unique<AfterTransferApp>(f, &m_settings);
    for (QLineEdit *e : {f->FileNameEdit, f->DirNameEdit, f->PreDirNameEdit, f->SufDirNameEdit, f->PreFileNameEdit,
                         f->SufFileNameEdit})
        installNameKeyFilter(e);
    connect(f->DelCheckBox, &QCheckBox::toggled, this, &VantoraApp::DelCheckBoxClick);
    connect(f->UwagakiCheckBox, &QCheckBox::toggled, this, &VantoraApp::UwagakiCheckBoxClick);
    connect(f->BitBtn10, &QPushButton::clicked, this, &VantoraApp::BitBtn10Click);
    connect(f, &TMainForm::firstShown, this, &VantoraApp::FormShow);
    f->closeQuery = [this] { return FormCloseQuery(); };
}

VantoraApp::~VantoraApp() = default;

void VantoraApp::FormShow()
{
    m_mainForm->Timer1->stop();
    LoadSettings();
    ApplySettingsToWindows();
    m_mainForm->Timer1->start();
}

bool VantoraApp::FormCloseQuery()
{
    SaveSettings();
    return true;
}

void VantoraApp::LoadSettings()
{
    const LoadOutcome outcome = vantora::LoadSettings(m_store, m_settings);
    for (const QString &notice : m_store.takeNotices())
        prompt().message(notice);
    if (outcome == LoadOutcome::Partial)
        prompt().message(partialSettingsMessage());
}

void VantoraApp::ApplySettingsToWindows()
{
    TMainForm *f = m_mainForm.get();
    f->SourceEdit1->setText(m_settings.SourceEditText);
    f->UwagakiCheckBox->setChecked(m_settings.UwagakiChecked);
    f->DelCheckBox->setChecked(m_settings.DelChecked);
    m_afterTransferApp->applySettings();

    // Once more, so enabled states follow the loaded values even where nothing changed.
    m_afterTransferApp->ExecCheckBoxClick();
}

void VantoraApp::SaveSettings()
{
    if (!vantora::SaveSettings(m_store, m_settings))
        prompt().message(QStringLiteral("設定を保存できませんでした.\r\n") + m_store.filePath(RegistryRoot::CurrentUser));
}

void VantoraApp::DelCheckBoxClick()
{
    m_settings.DelChecked = m_mainForm->DelCheckBox->isChecked();
}

void VantoraApp::UwagakiCheckBoxClick()
{
    m_settings.UwagakiChecked = m_mainForm->UwagakiCheckBox->isChecked();
}

void VantoraApp::BitBtn10Click()
{
    m_aboutForm->exec();
}

} // namespace vantora
