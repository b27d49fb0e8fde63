#include "transfer/widgets/mainformtransferview.h"

#include "source/importstate.h"
#include "transfer/copyprogress.h"
#include "transfer/transferstate.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace vantora {

MainFormTransferView::MainFormTransferView(const TransferArea &area, ImportState *state)
    : m_ui(area), m_state(state), m_window(area.window)
{
}

void MainFormTransferView::setStatusText(const QString &text)
{
    m_state->setStatusText(text);
}

void MainFormTransferView::setFileName(const QString &name)
{
    if (m_window)
        m_ui.FNameLabel->setText(name);
}

void MainFormTransferView::setWorkedText(const QString &text)
{
    m_state->setWorkedText(text);
}

void MainFormTransferView::setFileProgress(int percent)
{
    if (m_window)
        m_ui.ProgressBar1->setValue(percent);
}

void MainFormTransferView::setOverallProgress(int percent)
{
    if (m_window)
        m_ui.AllGauge->setValue(std::min(percent, 100));
}

void MainFormTransferView::showFolderCounter(qint32 value)
{
    if (folderCounterShown)
        folderCounterShown(value);
}

void MainFormTransferView::showFileCounter(qint32 value)
{
    if (fileCounterShown)
        fileCounterShown(value);
}

void MainFormTransferView::processEvents()
{
    QApplication::processEvents();
}

void CancelTransferBitBtnClick(TransferState &state, TransferView &view,
                               const std::function<void()> &cancelCount)
{
    CancelCopy(state, view);
    if (cancelCount)
        cancelCount();
}

void ConnectCancelTransferBitBtn(const TransferArea &area, TransferState &state, TransferView &view,
                                 std::function<void()> cancelCount)
{
    QObject::connect(area.CancelTransferBitBtn, &QPushButton::clicked, area.window,
                     [&state, &view, cancelCount = std::move(cancelCount)] {
                         CancelTransferBitBtnClick(state, view, cancelCount);
                     });
}

} // namespace vantora
