#include "transfer/commitbatch.h"

#include "platform/bytepath.h"
#include "platform/copyfile.h"
#include "platform/filepath.h"

#include <QDateTime>
#include <QThread>

#include <memory>

namespace vantora {

namespace {

std::function<void(const QString &)> &beforeVerifyHook()
{
    static std::function<void(const QString &)> hook;
    return hook;
}

} // namespace

void RunPumped(const std::function<void()> &pump, const std::function<void()> &work)
{
    std::unique_ptr<QThread> worker(QThread::create(work));
    worker->start();
    while (!worker->wait(QDeadlineTimer(20))) {
        if (pump)
            pump();
    }
}

void SetBeforeVerifyHookForTesting(std::function<void(const QString &copy)> hook)
{
    beforeVerifyHook() = std::move(hook);
}

// A batch whose commit is under way: the worker flushes and reads back, then the caller's thread records
// and deletes.
struct CommitBatch::Started
{
    std::vector<CommitEntry> entries;
    QSet<QString> sources;
    QStringList folders;
    QStringList backupFolders;
    std::vector<bool> bad;
    CommitResult result;
    std::unique_ptr<QThread> worker;
};

CommitBatch::CommitBatch(Options options) : m_options(std::move(options))
{
}

CommitBatch::~CommitBatch()
{
    // Unfinished, nothing is recorded or deleted: every source stays.
    if (m_started && m_started->worker)
        m_started->worker->wait();
}

void CommitBatch::add(CommitEntry entry)
{
    m_sources.insert(entry.file.path);
    m_folders.insert(folderTextOf(entry.copy));
    if (!entry.backup.isEmpty() && !entry.backupMissing)
        m_backupFolders.insert(folderTextOf(entry.backup));
    m_bytes += entry.copyStamp.size;
    m_entries.push_back(std::move(entry));
}

bool CommitBatch::holdsSource(const QString &path) const
{
    return m_sources.contains(path) || (m_started && m_started->sources.contains(path));
}

CommitResult CommitBatch::commit()
{
    CommitResult result = finish();
    const CommitResult own = (start(), finish());
    result.flushed = own.flushed;
    result.flushError = own.flushError;
    result.deleted += own.deleted;
    result.notDeleted = result.notDeleted || own.notDeleted;
    result.movedFromFolders.unite(own.movedFromFolders);
    result.verifyFailedSources += own.verifyFailedSources;
    result.verifyFailedCopies += own.verifyFailedCopies;
    result.backupPendingSources += own.backupPendingSources;
    result.committed += own.committed;
    return result;
}

CommitResult CommitBatch::start()
{
    CommitResult result = finish();
    if (m_entries.empty())
        return result;
    m_started = std::make_unique<Started>();
    Started &s = *m_started;
    s.entries = std::exchange(m_entries, {});
    s.sources = std::exchange(m_sources, {});
    s.folders = QStringList(m_folders.cbegin(), m_folders.cend());
    m_folders.clear();
    s.backupFolders = QStringList(m_backupFolders.cbegin(), m_backupFolders.cend());
    m_backupFolders.clear();
    m_bytes = 0;
    s.bad.assign(s.entries.size(), false);
    s.worker.reset(
        QThread::create(&CommitBatch::flushAndVerify, std::ref(s), m_options.verify, m_options.hasher));
    s.worker->start();
    return result;
}

CommitResult CommitBatch::finish()
{
    if (!m_started)
        return {};
    Started &s = *m_started;
    const bool waiting = m_options.verify && m_options.verifying;
    if (waiting)
        m_options.verifying(true);
    while (!s.worker->wait(QDeadlineTimer(20))) {
        if (m_options.pump)
            m_options.pump();
    }
    if (waiting)
        m_options.verifying(false);
    if (s.result.flushed) {
        record(s);
        listCommitted(s);
    }
    remove(s);
    const std::unique_ptr<Started> done = std::move(m_started);
    return done->result;
}

namespace {

// Reads a flushed copy back from the disk: true when its name still holds the file written (`written`)
// with the content hashed while copying. That file holding anything else is removed; a name that holds
// another file now is left alone.
bool readBackMatches(const QString &path, const FileStamp &written, const QByteArray &hash)
{
    if (const auto &hook = beforeVerifyHook())
        hook(path);
    const ContentCheck check = HashFileContent(path, true);
    const bool sameFile =
        !check.error && check.stamp.device == written.device && check.stamp.inode == written.inode;
    if (sameFile && check.hash == hash)
        return true;
    if (sameFile)
        RemoveFile(path);
    return false;
}

} // namespace

// On the worker: the copies reach the disk, their hashes are collected (one that could not be taken, the
// source unreadable or changed after its copy, leaves its copy unrecorded), and with the verify option every
// copy is read back, its cached pages dropped first, against the hash taken while it was copied. A copy
// that differs is removed; its source stays.
void CommitBatch::flushAndVerify(Started &s, bool verify, ContentHasher *hasher)
{
    // One flush for both where they share a filesystem; each on its own only to tell which failed.
    const bool both = !s.backupFolders.isEmpty() && !SyncFileSystems(s.folders + s.backupFolders);
    if (!both)
        s.result.flushError = SyncFileSystems(s.folders);
    s.result.flushed = !s.result.flushError;
    if (!both)
        flushBackups(s);
    for (CommitEntry &e : s.entries) {
        if (e.hashTicket)
            e.hash = hasher->take(std::exchange(e.hashTicket, 0)).hash;
    }
    if (!s.result.flushed || !verify)
        return;
    for (std::size_t i = 0; i < s.entries.size(); ++i) {
        CommitEntry &e = s.entries[i];
        if (!e.record)
            continue;
        if (!verifyBackup(e)) {
            s.result.verifyFailedSources.append(e.file.path);
            s.result.verifyFailedCopies.append(e.backup);
        }
        if (readBackMatches(e.copy, e.copyStamp, e.hash))
            continue;
        s.bad[i] = true;
        s.result.verifyFailedSources.append(e.file.path);
        s.result.verifyFailedCopies.append(e.copy);
    }
}

// The second copies are flushed on their own: a backup drive that fails leaves its copies pending and
// the first copies stand.
void CommitBatch::flushBackups(Started &s)
{
    if (s.backupFolders.isEmpty() || !SyncFileSystems(s.backupFolders))
        return;
    for (CommitEntry &e : s.entries)
        e.backupMissing = e.backupMissing || !e.backup.isEmpty();
}

// False when the second copy differs from the hash: it is removed again and its backup pending.
bool CommitBatch::verifyBackup(CommitEntry &e)
{
    if (e.backup.isEmpty() || e.backupMissing)
        return true;
    if (readBackMatches(e.backup, e.backupStamp, e.hash))
        return true;
    e.backupMissing = true;
    return false;
}

void CommitBatch::listCommitted(Started &s)
{
    for (std::size_t i = 0; i < s.entries.size(); ++i) {
        const CommitEntry &e = s.entries[i];
        if (s.bad[i] || e.hash.isEmpty())
            continue;
        s.result.committed.append({e.copy, e.hash});
        if (!e.backup.isEmpty() && !e.backupMissing)
            s.result.committed.append({e.backup, e.hash});
        if (!e.backup.isEmpty() && e.backupMissing)
            s.result.backupPendingSources.append(e.file.path);
    }
}

void CommitBatch::record(const Started &s)
{
    const RunHistory *history = m_options.history;
    if (!history || !history->store)
        return;
    QList<ImportedFile> records;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (std::size_t i = 0; i < s.entries.size(); ++i) {
        const CommitEntry &e = s.entries[i];
        if (s.bad[i] || !e.record || e.hash.isEmpty() ||
            !FilePath(e.file.path).isSameOrInside(FilePath(history->volumeRoot)))
            continue;
        ImportedFile record{HistoryPath(e.file.path, history->volumeRoot),
                            e.copied.size,
                            0,
                            e.hash,
                            pathToBytes(e.copy),
                            now};
        record.setMtime(e.copied.mtime);
        record.backup = pathToBytes(e.backup);
        record.backupPending = !e.backup.isEmpty() && e.backupMissing;
        records.append(record);
    }
    if (!records.isEmpty())
        history->store->add(history->volume, history->label, records);
}

// The copy's name must still hold the copy, and the source's name the file that was copied; nothing reached
// through a folder link is deleted. A shot's sources go only when every one of them may.
void CommitBatch::remove(Started &s)
{
    const std::vector<CommitEntry> &entries = s.entries;
    const std::vector<bool> &bad = s.bad;
    const bool flushed = s.result.flushed;
    CommitResult &result = s.result;
    std::vector<bool> deletable(entries.size(), false);
    QSet<quint64> keptShots;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const CommitEntry &e = entries[i];
        if (bad[i] && e.shot)
            keptShots.insert(e.shot);
        // A copy that failed its read-back has been named in its own message.
        if (!e.deleteSource || bad[i])
            continue;
        const bool backedUp = e.backup.isEmpty() || (!e.backupMissing && e.backupKept.isNamedBy(e.backup));
        deletable[i] = flushed && backedUp && e.kept.isNamedBy(e.copy) &&
                       m_options.source->currentStamp(e.file) == e.copied;
        if (!deletable[i]) {
            result.notDeleted = true;
            if (e.shot)
                keptShots.insert(e.shot);
        }
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const CommitEntry &e = entries[i];
        if (!deletable[i])
            continue;
        if (keptShots.contains(e.shot) || m_options.source->remove(e.file) != 0) {
            result.notDeleted = true;
        } else {
            ++result.deleted;
            result.movedFromFolders.insert(FilePath(e.file.path).parent().text());
        }
    }
}

} // namespace vantora
