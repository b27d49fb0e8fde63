#pragma once

#include "platform/registrystore.h"
#include "settings/settingsrecord.h"
#include "source/importstate.h"
#include "ui/mainformareas.h"

#include <QObject>
#include <QStringList>

#include <memory>

namespace vantora {

class TMainForm;
class TAboutForm;
class TCalenderForm;
class TExtForm;
class TEditForm;
class TFileCountForm;
class TListViewForm;
class ExtensionRoutingController;
class NameSettingsController;
class SystemHandlers;
class SourceController;
class TransferRun;
class Cameras;
class Volumes;
class VolumesWatcher;
class AfterTransferApp;
class ImportHistory;
class ImportOptions;
class RunEndActions;
class SqliteImportHistory;

// The running program: the settings record and its store, the windows created once in their fixed
// order, and the main window's own handlers (start-up sequence, close, option boxes, About box).
class VantoraApp final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(VantoraApp)

public:
    // arguments are the program's arguments without the program path. Without volumes, the system's
    // mounted volumes are used and mount-table changes are watched.
    // volumes and cameras: the machine's when none are given (with given volumes, no cameras unless given).
    explicit VantoraApp(const QStringList &arguments, Volumes *volumes = nullptr, Cameras *cameras = nullptr,
                        QObject *parent = nullptr);
    ~VantoraApp() override;

    TMainForm *mainForm() const { return m_mainForm.get(); }
    TAboutForm *aboutForm() const { return m_aboutForm.get(); }
    TCalenderForm *calenderForm() const { return m_calenderForm.get(); }
    TExtForm *extForm() const { return m_extForm.get(); }
    TEditForm *editForm() const { return m_editForm.get(); }
    TFileCountForm *fileCountForm() const { return m_fileCountForm.get(); }
    TListViewForm *listViewForm() const { return m_listViewForm.get(); }
    ExtensionRoutingController *routing() const { return m_routing.get(); }
    NameSettingsController *naming() const { return m_naming.get(); }
    SystemHandlers *system() const { return m_system.get(); }
    SourceController *source() const { return m_source.get(); }
    TransferRun *transferRun() const { return m_transferRun.get(); }
    AfterTransferApp *afterTransferApp() const { return m_afterTransferApp.get(); }
    RunEndActions *runEnd() const { return m_runEnd.get(); }
    SettingsRecord &settings() { return m_settings; }
    // The main window's state: the source shown, its counts, the progress row, the run in progress.
    ImportState &state() { return m_state; }
    // The import history, opened at its first use; a replaced damaged file is reported then, once.
    ImportHistory *history();
    // Where the history is kept (before its first use); $XDG_DATA_HOME/vantora/history.sqlite otherwise.
    void setHistoryPath(const QString &path) { m_historyPath = path; }
    RegistryStore &store() { return m_store; }

    // Start-up sequence, run on the first show of the main window.
    void FormShow() { runStartup(); }
    // Saves the settings; the close is always allowed.
    bool FormCloseQuery();

    void LoadSettings();
    void ApplySettingsToWindows();
    void SaveSettings();

    void DelCheckBoxClick();
    void UwagakiCheckBoxClick();
    void BitBtn10Click();

private:
    // Stops the watch, loads and applies the settings, handles the registration switches, detects the source.
    void runStartup();

    QStringList m_arguments;
    RegistryStore m_store;
    SettingsRecord m_settings;
    ImportState m_state;
    std::unique_ptr<TMainForm> m_mainForm;
    std::unique_ptr<TCalenderForm> m_calenderForm;
    std::unique_ptr<TExtForm> m_extForm;
    std::unique_ptr<TAboutForm> m_aboutForm;
    std::unique_ptr<TEditForm> m_editForm;
    std::unique_ptr<TFileCountForm> m_fileCountForm;
    std::unique_ptr<TListViewForm> m_listViewForm;
    std::unique_ptr<ExtensionRoutingController> m_routing;
    std::unique_ptr<NameSettingsController> m_naming;
    std::unique_ptr<SystemHandlers> m_system;
    std::unique_ptr<Volumes> m_ownVolumes;
    std::unique_ptr<VolumesWatcher> m_volumesWatcher;
    std::unique_ptr<Cameras> m_ownCameras;
    std::unique_ptr<SourceController> m_source;
    std::unique_ptr<TransferRun> m_transferRun;
    std::unique_ptr<AfterTransferApp> m_afterTransferApp;
    std::unique_ptr<ImportOptions> m_importOptions;
    std::unique_ptr<RunEndActions> m_runEnd;
    QString m_historyPath;
    std::unique_ptr<SqliteImportHistory> m_history;
    bool m_historyNoticeShown = false;
    OptionsArea m_options; // the main window's controls handled here
};

} // namespace vantora
