#pragma once

#include "history/importhistory.h"
#include "platform/copyfile.h"
#include "platform/filestamp.h"
#include "transfer/commitbatch.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace vantora {

// The second copy of one file, as the commit needs it.
struct BackupCopy
{
    QString path;         // empty: the run makes no second copies
    bool missing = false; // not written, or not under this name: its backup is pending
    KeptCopy kept;        // with a move
    FileStamp stamp;
};

// True when the backup folder exists and may be written into.
bool BackupFolderUsable(const QString &folder);

// Gives a run's second copy its name (the first copy's name below the backup folder), keeping its
// descriptor when keep. A copy that could not be written or named comes back missing.
BackupCopy NameBackup(CopyOutcome &outcome, const QString &path, bool replace, bool keep);

// The second copy of a first copy that is on the disk already (an earlier run's, taken by this one):
// an identical file under path is taken, else one is copied from the first copy, flushed, and checked
// against hash. Missing when neither.
BackupCopy BackupFromCopy(const QString &copy, const QString &path, const QByteArray &hash, bool keep);

// What the completion of pending second copies did.
struct PendingBackups
{
    QList<QByteArray> pending; // sources, below the volume's root, still without their second copy
    QList<CommittedCopy> made; // the second copies made
};

// Makes the pending second copies of a volume's files from their first copies, each first read whole and
// equal to its recorded hash, then records them as done.
PendingBackups CompletePendingBackups(ImportHistory &history, const QString &volume, const QString &label,
                                      const std::function<void()> &pump);

// Adds "<XXH3-128 hex>  <name>" lines to "vantora.xxh128" in each copy's folder (replacing the line of a
// name listed before), written through a temporary file and flushed before it takes the list's name. False
// when a list could not be written.
bool WriteManifests(const QList<CommittedCopy> &copies);

inline constexpr const char *ManifestFileName = "vantora.xxh128";

} // namespace vantora
