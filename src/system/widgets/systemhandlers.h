#pragma once

#include "system/registrationswitch.h"
#include "ui/mainformareas.h"

#include <QObject>
#include <QString>

#include <memory>

namespace vantora {

class RegistryStore;
struct SettingsRecord;

// What the device import asks of, and tells, the other areas of the main window.
class DeviceImportNeighbours
{
public:
    virtual ~DeviceImportNeighbours() = default;

    // The common destination folder (TransferEdit1).
    virtual QString destinationFolder() const = 0;
    // Whether the running numbers go back to 1 after a run (RenbanResetCheckBox).
    virtual bool resetsCountersAfterRun() const = 0;
    // ExecEdit while ExecCheckBox is on, else "".
    virtual QString afterTransferProgram() const = 0;
    // The import reset both running numbers in the settings to 1, so the template dialog's spin edits and
    // the transfer's copies can follow.
    virtual void runningNumbersReset() {}
};

// The main window's system commands: AutoPlay registration and removal (Button6, Button7), the portable
// device import (Button13) and the three metadata diagnostics (Button3, Button11, Button12). The last
// four buttons stay disabled and out of sight; their handlers work all the same when called.
class SystemHandlers final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SystemHandlers)

public:
    // Connects the six buttons' clicks. The window, store and settings must outlive this object.
    SystemHandlers(const SystemArea &area, RegistryStore &store, SettingsRecord &settings,
                   QObject *parent = nullptr);

    // Where things are; tests point them elsewhere.
    void setProgramPath(const QString &path) { m_programPath = path; }
    QString programPath() const { return m_programPath; }
    void setApplicationsDirectory(const QString &path) { m_applicationsDir = path; }
    void setDiagnosticsFiles(const QString &tifPath, const QString &nefPath);
    QString diagnosticsTifPath() const { return m_tifPath; }
    QString diagnosticsNefPath() const { return m_nefPath; }
    // Starts the after-transfer application of the device import.
    void setStarter(ProgramStarter starter) { m_starter = std::move(starter); }

    void setNeighbours(std::unique_ptr<DeviceImportNeighbours> neighbours)
    {
        m_neighbours = std::move(neighbours);
    }

    // The buttons, each by its own step below; all stay open.
    void Button6Click() { registerAutoPlay(); }
    void Button7Click() { unregisterAutoPlay(); }
    void Button13Click() { importFromDevice(); }
    void Button3Click() { listFolderDetails(); }
    void Button11Click() { listShortFolderDetails(); }
    void Button12Click() { showShootingDate(); }

private:
    // Asks, registers for AutoPlay in place (no restart is needed here) and says so.
    void registerAutoPlay();
    // Asks, removes the AutoPlay registration and says so.
    void unregisterAutoPlay();
    // Copies or moves a whole device folder into a new folder under the destination.
    void importFromDevice();
    // The shell details of the diagnostics TIF's folder, into Memo1.
    void listFolderDetails();
    // The short shell details of the diagnostics NEF's folder, into Memo1.
    void listShortFolderDetails();
    // The diagnostics TIF's shooting date, as a message.
    void showShootingDate();

    // The steps of the device import; each false or empty result has said why it stops.
    QString importDestination();
    bool confirmImport(const QString &source, const QString &destination);
    bool launchAfterImport(const QString &destination);
    void resetCountersAfterImport();
    // Memo1 gets a listing of the folder of filePath.
    void listDetails(const QString &filePath, QStringList (*listing)(const QString &folder));

    SystemArea m_ui;
    std::unique_ptr<DeviceImportNeighbours> m_neighbours;
    RegistryStore &m_store;
    SettingsRecord &m_settings;
    QString m_programPath;
    QString m_applicationsDir;
    QString m_tifPath;
    QString m_nefPath;
    ProgramStarter m_starter = StartDetached;
};

} // namespace vantora
