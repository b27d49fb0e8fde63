#pragma once

#include "platform/contenthash.h"
#include "platform/copyerror.h"
#include "platform/filestamp.h"
#include "source/importedfilter.h"
#include "source/source.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace vantora {

// A copy on its way to being final: flushed, read back, recorded, and with a move its source deleted.
struct CommitEntry
{
    SourceFile file;  // the source
    QString copy;     // the copy's name
    KeptCopy kept;    // with a move: the copy's descriptor, so the name is checked to hold this very copy
    FileStamp copied; // the source as the copy read it (its descriptor), or as it was hashed
    FileStamp copyStamp;
    QByteArray hash;        // the source's content as copied; empty: not known
    quint64 hashTicket = 0; // the hash, while the hasher still works on it
    quint64 shot = 0;       // a shot's sources go together or not at all; 0 for none
    bool deleteSource = false;
    bool record = true; // false: the history holds it already
    // The second copy under the backup folder; empty when the run makes none. The source goes only while
    // it is on the disk (and read back equal with the verify option) and its name holds it.
    QString backup;
    bool backupMissing = false; // the second copy failed: its backup is pending
    KeptCopy backupKept;        // with a move
    FileStamp backupStamp;
};

// A copy committed: for the list of hashes of its folder.
struct CommittedCopy
{
    QString path;
    QByteArray hash;
};

// What a commit did.
struct CommitResult
{
    bool flushed = true;
    CopyError flushError;
    qint64 deleted = 0;
    bool notDeleted = false;        // a source that was to go stayed
    QSet<QString> movedFromFolders; // folders a source was deleted from
    QStringList verifyFailedSources;
    QStringList verifyFailedCopies;
    QStringList backupPendingSources; // sources whose second copy is missing
    QList<CommittedCopy> committed;   // every good copy of the batch, the second copies too
};

// The one place that decides when a source may go. Copies are flushed together (one flush per batch costs
// far less than one per file; a crash in between leaves a file in both places, never in none), read back
// with the verify option, recorded in the history, and only then are sources deleted: each while the copy's
// name still holds the copy and the source's name still holds the file that was copied.
class CommitBatch final
{
public:
    struct Options
    {
        const Source *source = nullptr;
        bool verify = false;
        const RunHistory *history = nullptr; // records nothing without a store
        ContentHasher *hasher = nullptr;     // where hash tickets are taken
        // Keeps the window turning while the disk works; may be empty.
        std::function<void()> pump;
        // Shown while copies are read back, then the previous text again.
        std::function<void(bool verifying)> verifying;
    };
    explicit CommitBatch(Options options);
    ~CommitBatch();
    CommitBatch(const CommitBatch &) = delete;
    CommitBatch &operator=(const CommitBatch &) = delete;

    void add(CommitEntry entry);
    bool isEmpty() const { return m_entries.empty(); }
    qsizetype size() const { return qsizetype(m_entries.size()); }
    qint64 bytes() const { return m_bytes; }
    // Also while its commit is under way.
    bool holdsSource(const QString &path) const;

    // Flush, verify, record, delete; the batch is empty afterwards (a commit under way is finished first).
    CommitResult commit();
    // The same in two halves, so that the next copies are made while the disk flushes and reads back this
    // batch: start() hands the flush and the read-back to a worker thread and empties the batch; finish()
    // waits for them, then records and deletes on the caller's thread (a default result when none was
    // started). A commit under way is finished before another starts.
    CommitResult start();
    CommitResult finish();

private:
    struct Started;
    static void flushAndVerify(Started &started, bool verify, ContentHasher *hasher);
    static void flushBackups(Started &started);
    static bool verifyBackup(CommitEntry &e);
    void record(const Started &started);
    static void listCommitted(Started &started);
    void remove(Started &started);

    Options m_options;
    std::vector<CommitEntry> m_entries;
    QSet<QString> m_sources;
    QSet<QString> m_folders;
    QSet<QString> m_backupFolders;
    qint64 m_bytes = 0;
    std::unique_ptr<Started> m_started;
};

// Runs work on a worker thread while pump keeps the window turning (a plain wait without one).
void RunPumped(const std::function<void()> &pump, const std::function<void()> &work);

// Tests change a copy between its flush and its verification through this; nothing else sets it.
void SetBeforeVerifyHookForTesting(std::function<void(const QString &copy)> hook);

} // namespace vantora
