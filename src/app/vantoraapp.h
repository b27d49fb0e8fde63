#pragma once

#include "app/settings/settingsrecord.h"
#include "platform/registrystore.h"

#include <QObject>
#include <QStringList>

#include <memory>

namespace vantora {

class TMainForm;
class TAboutForm;
class AfterTransferApp;

// The running program: the settings record and its store, the windows created once in their fixed
// order, and the main window's own handlers (start-up sequence, close, option boxes, About box).
class VantoraApp final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(VantoraApp)

public:
    // arguments are the program's arguments without the program path.
    explicit VantoraApp(const QStringList &arguments, QObject *parent = nullptr);
    ~VantoraApp() override;

    TMainForm *mainForm() const { return m_mainForm.get(); }
    TAboutForm *aboutForm() const { return m_aboutForm.get(); }
    AfterTransferApp *afterTransferApp() const { return m_afterTransferApp.get(); }
    SettingsRecord &settings() { return m_settings; }
    RegistryStore &store() { return m_store; }

    // Start-up sequence, run on the first show of the main window.
    void FormShow();
    // Saves the settings; the close is always allowed.
    bool FormCloseQuery();

    void LoadSettings();
    void ApplySettingsToWindows();
    void SaveSettings();

    void DelCheckBoxClick();
    void UwagakiCheckBoxClick();
    void BitBtn10Click();

private:
    QStringList m_arguments;
    RegistryStore m_store;
    SettingsRecord m_settings;
    std::unique_ptr<TMainForm> m_mainForm;
    std::unique_ptr<TAboutForm> m_aboutForm;
    std::unique_ptr<AfterTransferApp> m_afterTransferApp;
};

} // namespace vantora
