#pragma once

#include "source/camerasource.h"

#include <QString>

namespace vantora {

class TransferView;
struct TransferState;

// Files above this size show a percentage; smaller ones move the bar at the quarter steps only.
inline constexpr quint64 PercentDisplayThreshold = 52'428'800;

QString copyingText();            // "コピーしています"
QString copyingText(int percent); // "コピーしています 42%"

// The bar position the engine last showed, so that a large file moves the bar only on a change.
struct FileProgress
{
    int shown = 0; // 0..100
};

// The progress routine of one copy: status text on every call, the bar moved only on a change (large
// files) or at 25, 50, 75 and 100 (small files), then pending events run.
void ReportCopyProgress(TransferView &view, FileProgress &progress, quint64 total, quint64 done);

// The Cancel button's effect on a run: the copy stops at its next chunk, both gauges drop to 0.
void CancelCopy(TransferState &state, TransferView &view);

// A run's progress and cancel for a camera's calls: a download moves the file's bar as a copy does, and
// the Cancel button stops the call in progress.
CameraActivity RunCameraActivity(TransferState &state, TransferView &view);

} // namespace vantora
