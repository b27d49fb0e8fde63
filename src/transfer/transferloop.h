#pragma once

#include "routing/extensionrow.h"
#include "source/importedfilter.h"
#include "source/source.h"
#include "transfer/commitbatch.h"
#include "transfer/runmessages.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace vantora {

class TransferView;
struct SettingsRecord;
struct TransferState;

// The first effective target folder of the run (a row's folder, with the created folder and each camera
// folder of the run list where those are on) that is the source folder or lies inside it; empty when none.
QString TargetInsideSource(const TransferState &state, const ExtensionRows &table, const QStringList &runList,
                           const QString &sourceFolder);

// worked ÷ target × 100 to the nearest integer, halves to even, shown at most 100 (and 100 when the
// count it is measured against is 0 or less).
int OverallGaugePercent(qint64 worked, qint64 target);

// What a run did, for its caller to show and to keep.
struct TransferOutcome
{
    bool result = false; // the last copy was good and nothing stopped the run
    qint64 copied = 0;   // files copied (or moved) by the run
    // The running numbers the run advanced, for the settings; empty where the run left one alone.
    std::optional<qint32> fileNumber;
    std::optional<qint32> folderNumber;
    QSet<QString> movedFromFolders; // folders a source of the run was deleted from
    QString status;                 // the status text the run left
    qint64 skippedImported = 0;     // files left out as imported by an earlier run
    QStringList verifyFailed;       // copies that differed from their sources, removed again
    RunProblems problems;           // what the user must be told, in order
    explicit operator bool() const { return result; }
};

// Puts the running numbers a run advanced into FileRenbanSpinEditValue and DirRenbanSpinEditValue.
void StoreRunningNumbers(const TransferOutcome &outcome, SettingsRecord &settings);

// Copies (or moves) every file of the run list in order, on the calling thread, pumping events through
// the view during each copy. Takes the option snapshot from `settings` at its start, shows the running
// numbers through the view, and reports what the user must be told in the outcome's problems.
// `targetCount` is the count the overall gauge is measured against. `table` is the live extension table
// (read per file). The outcome's result is true when the last copy was good and nothing stopped the run;
// only after the destination filesystems were flushed. A call while a run is in progress does nothing and
// returns a false outcome. Every file is read, checked and deleted through `source`: a run into its root
// is refused. Every good copy is recorded in the history, in batches committed only once the batch's copies
// are on the disk; with a move and the skip of imported files, the sources the history already holds are
// deleted at the end when their recorded copies are intact.
TransferOutcome RunTransfer(TransferState &state, const Source &source, const SourceFiles &runList,
                            qint64 targetCount, const ExtensionRows &table, const SettingsRecord &settings,
                            TransferView &view, const RunHistory *history = nullptr);

} // namespace vantora
