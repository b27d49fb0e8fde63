#include "transfer/widgets/mainformtransferview.h"

#include "transfer/copyprogress.h"
#include "transfer/transferstate.h"
#include "ui/tmainform.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace vantora {

MainFormTransferView::MainFormTransferView(TMainForm *form) : m_form(form)
{
}

void MainFormTransferView::setStatusText(const QString &text)
{
    if (m_form)
        m_form->StatusLabel->setText(text);
}

void MainFormTransferView::setFileName(const QString &name)
{
    if (m_form)
        m_form->FNameLabel->setText(name);
}

void MainFormTransferView::setWorkedText(const QString &text)
{
    if (m_form)
        m_form->WorkPLabel->setText(text);
}

void MainFormTransferView::setFileProgress(int percent)
{
    if (m_form)
        m_form->ProgressBar1->setValue(percent);
}

void MainFormTransferView::setOverallProgress(int percent)
{
    if (m_form)
        m_form->AllGauge->setValue(std::min(percent, 100));
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

void ConnectCancelTransferBitBtn(TMainForm *form, TransferState &state, TransferView &view,
                                 std::function<void()> cancelCount)
{
    QObject::connect(form->CancelTransferBitBtn, &QPushButton::clicked, form,
                     [&state, &view, cancelCount = std::move(cancelCount)] {
                         CancelTransferBitBtnClick(state, view, cancelCount);
                     });
}

} // namespace vantora
