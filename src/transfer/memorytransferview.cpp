#include "transfer/memorytransferview.h"

#include <QCoreApplication>

namespace vantora {

void MemoryTransferView::setStatusText(const QString &text)
{
    status = text;
    statusHistory.append(text);
}

void MemoryTransferView::setFileName(const QString &name)
{
    fileName = name;
    fileNames.append(name);
}

void MemoryTransferView::setFileProgress(int percent)
{
    progress = percent;
    progressHistory.append(percent);
}

void MemoryTransferView::setOverallProgress(int percent)
{
    overall = percent;
    overallHistory.append(percent);
}

void MemoryTransferView::processEvents()
{
    ++pumps;
    if (onPump)
        onPump();
    if (runEventLoop && QCoreApplication::instance())
        QCoreApplication::processEvents();
}

} // namespace vantora
