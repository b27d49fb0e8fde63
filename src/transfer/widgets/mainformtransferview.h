#pragma once

#include "transfer/transferview.h"

#include <QPointer>

#include <functional>

namespace vantora {

class TMainForm;
struct TransferState;

// The transfer engine's view over the main window's progress area: StatusLabel, FNameLabel, WorkPLabel,
// ProgressBar1 and AllGauge.
class MainFormTransferView final : public TransferView
{
public:
    explicit MainFormTransferView(TMainForm *form);

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
    QPointer<TMainForm> m_form;
};

// CancelTransferBitBtnClick: CancelCopy on the run's state and view, then `cancelCount` so that a count
// in progress stops as well (it sets CountCancelRequested).
void CancelTransferBitBtnClick(TransferState &state, TransferView &view,
                               const std::function<void()> &cancelCount);

// Connects the main window's CancelTransferBitBtn to CancelTransferBitBtnClick. The state, view and
// callback must outlive the form.
void ConnectCancelTransferBitBtn(TMainForm *form, TransferState &state, TransferView &view,
                                 std::function<void()> cancelCount);

} // namespace vantora
