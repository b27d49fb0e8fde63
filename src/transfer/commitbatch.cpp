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

CommitBatch::CommitBatch(Options options) : m_options(std::move(options))
{
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

CommitResult CommitBatch::commit()
{
    CommitResult result;
    if (m_entries.empty())
        return result;
    const QStringList folders(m_folders.cbegin(), m_folders.cend());
    const QStringList backupFolders(m_backupFolders.cbegin(), m_backupFolders.cend());
    // One flush for both where they share a filesystem; each on its own only to tell which failed.
    bool both = false;
    if (!backupFolders.isEmpty())
        RunPumped(m_options.pump,
                  [&both, folders, backupFolders] { both = !SyncFileSystems(folders + backupFolders); });
    if (!both)
        RunPumped(m_options.pump, [&result, folders] { result.flushError = SyncFileSystems(folders); });
    result.flushed = !result.flushError;
    if (!both)
        flushBackups();
    // A hash that could not be taken (the source unreadable or changed after its copy) leaves its copy
    // unrecorded.
    for (CommitEntry &e : m_entries) {
        if (e.hashTicket)
            e.hash = m_options.hasher->take(std::exchange(e.hashTicket, 0)).hash;
    }
    std::vector<bool> bad(m_entries.size(), false);
    if (result.flushed) {
        if (m_options.verify)
            verify(bad, result);
        record(bad);
        listCommitted(bad, result);
    }
    remove(bad, result.flushed, result);
    m_entries.clear();
    m_sources.clear();
    m_folders.clear();
    m_backupFolders.clear();
    m_bytes = 0;
    return result;
}

// Reads back every copy, its cached pages dropped first, against the hash taken while it was copied. A
// copy that differs is removed; its source stays.
// The second copies are flushed on their own: a backup drive that fails leaves its copies pending and
// the first copies stand.
void CommitBatch::flushBackups()
{
    if (m_backupFolders.isEmpty())
        return;
    const QStringList folders(m_backupFolders.cbegin(), m_backupFolders.cend());
    CopyError error;
    RunPumped(m_options.pump, [&error, folders] { error = SyncFileSystems(folders); });
    if (!error)
        return;
    for (CommitEntry &e : m_entries)
        e.backupMissing = e.backupMissing || !e.backup.isEmpty();
}

// False when the second copy differs from the hash: it is removed again and its backup pending.
bool CommitBatch::verifyBackup(CommitEntry &e)
{
    if (e.backup.isEmpty() || e.backupMissing)
        return true;
    if (const auto &hook = beforeVerifyHook())
        hook(e.backup);
    ContentCheck check;
    RunPumped(m_options.pump, [&check, &e] { check = HashFileContent(e.backup, true); });
    const bool sameFile = !check.error && check.stamp.device == e.backupStamp.device &&
                          check.stamp.inode == e.backupStamp.inode;
    if (sameFile && check.hash == e.hash)
        return true;
    if (sameFile)
        RemoveFile(e.backup);
    e.backupMissing = true;
    return false;
}

void CommitBatch::listCommitted(const std::vector<bool> &bad, CommitResult &result)
{
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const CommitEntry &e = m_entries[i];
        if (bad[i] || e.hash.isEmpty())
            continue;
        result.committed.append({e.copy, e.hash});
        if (!e.backup.isEmpty() && !e.backupMissing)
            result.committed.append({e.backup, e.hash});
        if (!e.backup.isEmpty() && e.backupMissing)
            result.backupPendingSources.append(e.file.path);
    }
}

void CommitBatch::verify(std::vector<bool> &bad, CommitResult &result)
{
    if (m_options.verifying)
        m_options.verifying(true);
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        CommitEntry &e = m_entries[i];
        if (!e.record)
            continue;
        if (!verifyBackup(e)) {
            result.verifyFailedSources.append(e.file.path);
            result.verifyFailedCopies.append(e.backup);
        }
        if (const auto &hook = beforeVerifyHook())
            hook(e.copy);
        ContentCheck check;
        RunPumped(m_options.pump, [&check, &e] { check = HashFileContent(e.copy, true); });
        const bool sameFile = !check.error && check.stamp.device == e.copyStamp.device &&
                              check.stamp.inode == e.copyStamp.inode;
        if (sameFile && check.hash == e.hash)
            continue;
        bad[i] = true;
        if (sameFile)
            RemoveFile(e.copy);
        result.verifyFailedSources.append(e.file.path);
        result.verifyFailedCopies.append(e.copy);
    }
    if (m_options.verifying)
        m_options.verifying(false);
}

void CommitBatch::record(const std::vector<bool> &bad)
{
    const RunHistory *history = m_options.history;
    if (!history || !history->store)
        return;
    QList<ImportedFile> records;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const CommitEntry &e = m_entries[i];
        if (bad[i] || !e.record || e.hash.isEmpty() ||
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
void CommitBatch::remove(const std::vector<bool> &bad, bool flushed, CommitResult &result)
{
    std::vector<bool> deletable(m_entries.size(), false);
    QSet<quint64> keptShots;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const CommitEntry &e = m_entries[i];
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
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const CommitEntry &e = m_entries[i];
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
