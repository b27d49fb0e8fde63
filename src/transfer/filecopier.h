#pragma once

#include "platform/contenthash.h"
#include "platform/copyerror.h"
#include "platform/copyfile.h"
#include "platform/filestamp.h"
#include "source/source.h"

#include <QSet>
#include <QString>

#include <functional>
#include <utility>

namespace vantora {

class TransferRate;
class TransferView;
struct TransferState;

// The per-file step of a run: a file of the source becomes a complete copy without a name (or an earlier
// run's identical copy is taken instead), with the run's progress and cancel. Remembers every name the run
// gave, so that no later file of the run replaces one.
class FileCopier final
{
public:
    // hasher: where the copies' hashes are taken behind them; nullptr hashes each copy before it returns.
    FileCopier(const Source &source, TransferState &state, TransferView &view, TransferRate &rate,
               ContentHasher *hasher);

    // Copies the file to an unnamed copy meant for dest (replacing dest when overwrite, once named), and
    // from the same reads to a second one meant for backup when one is given (CopyOutcome::alsoUnnamed;
    // its folders are made as needed).
    CopyError copy(const SourceFile &file, const QString &dest, bool overwrite, CopyOutcome &outcome,
                   const QString &backup = QString());
    // True when dest is a plain file holding the source's content (another file than the source): the
    // outcome then describes it as if it had just been copied, its descriptor kept when keep.
    bool identicalCopy(const SourceFile &file, const QString &dest, bool keep, CopyOutcome &outcome);

    // The run gave the name dest to a copy.
    void named(const QString &dest, const FileStamp &copy);
    // True when dest reaches a file the run named, under any spelling or path.
    bool writtenThisRun(const QString &dest) const;

    // Folders the run wrote into, for the flush at its end.
    const QSet<QString> &writtenFolders() const { return m_written; }

private:
    CopyError takeDownload(const SourceFile &file, const QString &folder, int fd, CopyOutcome &outcome);
    bool identicalDownload(const SourceFile &file, const QString &dest, bool keep, CopyOutcome &outcome);
    // The copy at dest read whole, then the source when the copy could be read; the window turns meanwhile.
    std::pair<ContentCheck, ContentCheck> hashBoth(const QString &dest,
                                                   const std::function<ContentCheck()> &source);
    bool takeIdentical(const QString &dest, bool keep, const ContentCheck &copy, const FileStamp &from,
                       CopyOutcome &outcome);

    const Source &m_source;
    TransferState &m_state;
    TransferView &m_view;
    TransferRate &m_rate;
    ContentHasher *m_hasher;
    qint64 m_doneBytes = 0;        // of the files copied so far
    QSet<QString> m_written;       // destination folders
    QSet<QString> m_tidied;        // destination folders cleared of an interrupted run's temporaries
    QSet<QString> m_writtenNames;  // every destination this run named, never overwritten in the run
    QSet<FileId> m_writtenIds;     // the same files, for a folder reached by two paths
    QSet<QString> m_writtenFolded; // their names case-folded
};

// Runs work on a worker thread while the view keeps the window turning.
void RunPumped(TransferView &view, const std::function<void()> &work);

} // namespace vantora
