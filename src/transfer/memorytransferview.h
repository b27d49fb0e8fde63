#pragma once

#include "transfer/transferview.h"

#include <QStringList>

#include <functional>

namespace vantora {

// A view without a window: keeps the values it is given and a history of them, and runs the event
// loop when asked. Used by vantora-import and by tests.
class MemoryTransferView final : public TransferView
{
public:
    void setStatusText(const QString &text) override;
    void setFileName(const QString &name) override;
    void setWorkedText(const QString &text) override { worked = text; }
    void setFileProgress(int percent) override;
    void setOverallProgress(int percent) override;
    void showFolderCounter(qint32 value) override { folderCounter = value; }
    void showFileCounter(qint32 value) override { fileCounter = value; }
    void processEvents() override;
    void setBytesText(const QString &text) override
    {
        bytes = text;
        bytesHistory.append(text);
    }

    QString status;
    QString fileName;
    QString worked = QStringLiteral("0");
    int progress = 0;
    int overall = 0;
    qint32 folderCounter = 0;
    qint32 fileCounter = 0;

    QString bytes;
    QStringList bytesHistory;     // every bytes line set, in order
    QStringList statusHistory;    // every status text set, in order (repeats included)
    QStringList fileNames;        // every file name shown
    QList<int> progressHistory;   // every bar position set
    QList<int> overallHistory;    // every overall gauge value set
    int pumps = 0;                // processEvents calls
    bool runEventLoop = true;     // run QCoreApplication::processEvents in processEvents
    std::function<void()> onPump; // runs at each pump, e.g. to press Cancel at a chosen moment
};

} // namespace vantora
