#pragma once

#include "ui/mainformareas.h"

#include <QString>

class QLabel;

namespace vantora {

class ImportState;

// "N個の対象ファイル": a count as the source group and the extension dialog show it.
QString fileCountText(qint64 count);

// The main window's controls follow the state: each takes its value at once and every change after, until
// it goes. The source group: SourceEdit1, VolLabel, FNumLabel1, and FNumLabel of the progress row.
void followSourceArea(const ImportState *state, const SourceArea &area);
// The progress row's StatusLabel and WorkPLabel.
void followProgressRow(const ImportState *state, const TransferArea &area);
// A label showing the count as fileCountText does (the extension dialog's FNumLabel1).
void followFileCount(const ImportState *state, QLabel *label);

} // namespace vantora
