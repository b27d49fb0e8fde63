#pragma once

#include "transfer/transferview.h"
#include "ui/mainformareas.h"

#include <QPointer>
#include <QWidget>

#include <functional>

namespace vantora {

class ImportState;
struct TransferState;

// The transfer engine's view over the main window's progress area: FNameLabel, ProgressBar1 and AllGauge;
// the status line and the worked count go to the window's state, which StatusLabel and WorkPLabel follow.
class MainFormTransferView final : public TransferView
{
public:
    MainFormTransferView(const TransferArea &area, ImportState *state);

    void setStatusText(const QString &text) override;
    void setFileName(const QString &name) override;
    void setWorkedText(const QString &text) override;
    void setFileProgress(int percent) override;
    void setOverallProgress(int percent) override;
    void showFolderCounter(qint32 value) override;
    void showFileCounter(qint32 value) override;
    void processEvents() override;

    // The template dialog's DirRenbanSpinEdit and FileRenbanSpinEdit, set by whoever owns that dialog.
    std::function<void(qint32)> folderCounterShown;
    std::function<void(qint32)> fileCounterShown;

private:
    TransferArea m_ui;
    ImportState *m_state;
    QPointer<QWidget> m_window; // the controls go with it
};

// CancelTransferBitBtnClick: CancelCopy on the run's state and view, then `cancelCount` so that a count
// in progress stops as well (it sets CountCancelRequested).
void CancelTransferBitBtnClick(TransferState &state, TransferView &view,
                               const std::function<void()> &cancelCount);

// Connects the main window's CancelTransferBitBtn to CancelTransferBitBtnClick. The state, view and
// callback must outlive the form.
void ConnectCancelTransferBitBtn(const TransferArea &area, TransferState &state, TransferView &view,
                                 std::function<void()> cancelCount);

} // namespace vantora
