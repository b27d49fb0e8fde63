#pragma once

#include "app/runend.h"
#include "transfer/transferstate.h"
#include "transfer/widgets/bytesprogressview.h"
#include "transfer/widgets/mainformtransferview.h"

#include <QObject>

#include <chrono>

namespace vantora {

class AfterTransferApp;
class ExtensionRoutingController;
class ImportState;
class NameSettingsController;
class SourceController;
struct SettingsRecord;
struct TransferOutcome;

// One press of the start button: the checks and the confirmation, the destination folders, the run
// list, the loop, the end status and tidy-up, the counter reset and the after-transfer launch.
class TransferRun final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TransferRun)

public:
    TransferRun(const TransferArea &area, ImportState *importState, SettingsRecord *settings,
                SourceController *source, ExtensionRoutingController *routing, NameSettingsController *naming,
                AfterTransferApp *afterTransfer, QObject *parent = nullptr);

    void StartTransferBitBtnClick() { startTransfer(); }

    // True from the first check to the end of the after-transfer launch.
    bool inProgress() const;
    // A close asked for during a run: the settings are saved now, the window closes when the run is over.
    bool closeRequestedDuringRun();

    TransferState &state() { return m_state; }

Q_SIGNALS:
    // A run past its checks is over, the after-transfer program started.
    void runEnded(const vantora::RunEnd &end);

private:
    // The checks, the confirmation, the run and its tidy-up.
    void startTransfer();

    // The steps of startTransfer; a check that fails has said why.
    bool hasFilesToRun();
    bool pendingBackups() const;
    QString runQuestion(const QString &source) const;
    bool confirmRun(const QString &source);
    bool confirmBackup();
    bool checkDestinationFolders();
    void run(const QString &source);
    void showOutcome(const TransferOutcome &outcome, const QString &source);
    void resetCountersAfterRun();
    void endRun(const TransferOutcome &outcome, const QString &source, std::chrono::milliseconds elapsed);

    TransferArea m_ui;
    ImportState *m_importState; // the run in progress, its source and count, the status it ends with
    SettingsRecord *m_settings;
    SourceController *m_source;
    ExtensionRoutingController *m_routing;
    NameSettingsController *m_naming;
    AfterTransferApp *m_afterTransfer;
    TransferState m_state;
    MainFormTransferView m_view;
    BytesProgressView m_runView; // m_view with the bytes line
    bool m_closeAfterRun = false;
    bool m_withoutBackup = false; // the user chose to copy without the second copies
};

} // namespace vantora
