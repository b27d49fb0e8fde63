#include "transfer/copyprogress.h"

#include "transfer/transferstate.h"
#include "transfer/transferview.h"

#include <limits>

namespace vantora {

QString copyingText()
{
    return QStringLiteral("コピーしています");
}

QString copyingText(int percent)
{
    return QStringLiteral("コピーしています %1%").arg(percent);
}

void ReportCopyProgress(TransferView &view, FileProgress &progress, quint64 total, quint64 done)
{
    if (total == 0) {
        view.setStatusText(copyingText());
    } else {
        // done * 100 cannot overflow below 184 PB; above that, divide first.
        const quint64 scaled =
            done <= std::numeric_limits<quint64>::max() / 100 ? done * 100 / total : done / (total / 100);
        const int p = int(scaled);
        if (total > PercentDisplayThreshold) {
            view.setStatusText(copyingText(p));
            if (p != progress.shown) {
                progress.shown = p;
                view.setFileProgress(p);
            }
        } else {
            view.setStatusText(copyingText());
            if (p == 25 || p == 50 || p == 75 || p == 100) {
                progress.shown = p;
                view.setFileProgress(p);
            }
        }
    }
    view.processEvents();
}

void CancelCopy(TransferState &state, TransferView &view)
{
    if (state.flushing)
        return;
    state.CancelRequested = true;
    state.fileProgress.shown = 0;
    view.setFileProgress(0);
    view.setOverallProgress(0);
}

CameraActivity RunCameraActivity(TransferState &state, TransferView &view)
{
    CameraActivity activity;
    activity.pump = [&view] { view.processEvents(); };
    activity.stopped = [&state] { return state.CancelRequested; };
    activity.progress = [&state, &view](qint64 total, qint64 done) {
        ReportCopyProgress(view, state.fileProgress, quint64(std::max<qint64>(total, 0)),
                           quint64(std::min(std::max<qint64>(done, 0), std::max<qint64>(total, 0))));
    };
    return activity;
}

} // namespace vantora
