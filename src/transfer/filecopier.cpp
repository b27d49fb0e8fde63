#include "transfer/filecopier.h"

#include "platform/filepath.h"
#include "platform/pagecache.h"
#include "transfer/commitbatch.h"
#include "transfer/copyprogress.h"
#include "transfer/transferrate.h"
#include "transfer/transferstate.h"
#include "transfer/transferview.h"

#include <QDir>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace vantora {

namespace {

} // namespace

void RunPumped(TransferView &view, const std::function<void()> &work)
{
    RunPumped([&view] { view.processEvents(); }, work);
}

FileCopier::FileCopier(const Source &source, TransferState &state, TransferView &view, TransferRate &rate,
                       ContentHasher *hasher)
    : m_source(source), m_state(state), m_view(view), m_rate(rate), m_hasher(hasher)
{
}

CopyError FileCopier::copy(const SourceFile &file, const QString &dest, bool overwrite, CopyOutcome &outcome,
                           const QString &backup)
{
    const QString folder = folderTextOf(dest);
    const QString backupFolder = backup.isEmpty() ? QString() : folderTextOf(backup);
    for (const QString &f : {folder, backupFolder}) {
        if (!f.isEmpty() && !m_tidied.contains(f)) {
            RemoveCopyLeftovers(f);
            m_tidied.insert(f);
        }
    }
    const bool backupReady = !backup.isEmpty() && QDir().mkpath(backupFolder);
    // A camera's file goes straight to its copy; with a backup, the reads go to both copies instead.
    QByteArray hash;
    if (const std::optional<int> downloaded =
            backup.isEmpty() ? m_source.downloadUnnamedIn(file, folder, &hash) : std::nullopt) {
        if (*downloaded < 0) {
            outcome.sourceFailed = m_source.lastFault() != SourceFault::None;
            return CopyError::fromErrno(-*downloaded);
        }
        outcome.hash = hash;
        return takeDownload(file, folder, *downloaded, outcome);
    }
    CopyOptions options;
    options.failIfExists = !overwrite;
    options.deferName = true;
    options.hash = true;
    options.hasher = m_hasher;
    const int fd = m_source.open(file);
    if (fd < 0) {
        outcome.sourceFailed = true;
        return CopyError::fromErrno(-fd);
    }
    options.sourceFd = fd;
    options.sourceReadAhead = m_source.wasReadAhead(file);
    if (backupReady)
        options.alsoTo = backup;
    const auto progress = [this](quint64 total, quint64 done) {
        m_rate.setDone(m_doneBytes + qint64(done));
        if (m_rate.due())
            m_view.setBytesText(m_rate.text());
        ReportCopyProgress(m_view, m_state.fileProgress, total, done);
    };
    const CopyError code =
        CopyFileWithProgress(file.path, dest, progress, &m_state.CancelRequested, options, &outcome);
    if (!code) {
        outcome.source = m_source.openedStamp(file, outcome.source);
        m_written.insert(folder);
        m_doneBytes += outcome.copy.size;
        m_rate.setDone(m_doneBytes);
        if (!backup.isEmpty() && !backupReady)
            outcome.alsoError = CopyError::fromErrno(ENOENT);
    }
    return code;
}

// The source's download is the copy, with the hash the source took, else hashed as a copy's source is.
CopyError FileCopier::takeDownload(const SourceFile &file, const QString &folder, int fd,
                                   CopyOutcome &outcome)
{
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return CopyError::fromErrno(error);
    }
    const FileStamp stamp = FileStampFromStat(st);
    // The camera is another device: the disk writes this download while the next one comes.
    StartWriteback(fd, quint64(stamp.size));
    if (outcome.hash.isEmpty() && m_hasher) {
        ContentHashJob job(*m_hasher, fd, stamp);
        job.add(0, std::size_t(stamp.size));
        outcome.hashTicket = job.keep();
    } else if (outcome.hash.isEmpty()) {
        ContentCheck check;
        RunPumped(m_view, [&check, fd] { check = HashOpenFile(fd); });
        if (check.error) {
            ::close(fd);
            outcome.sourceFailed = true;
            return CopyError::fromErrno(check.error);
        }
        outcome.hash = check.hash;
    }
    outcome.unnamed = UnnamedCopy(fd, {});
    outcome.copy = stamp;
    outcome.source = m_source.openedStamp(file, stamp);
    ReportCopyProgress(m_view, m_state.fileProgress, quint64(stamp.size), quint64(stamp.size));
    m_written.insert(folder);
    m_doneBytes += stamp.size;
    m_rate.setDone(m_doneBytes);
    return {};
}

bool FileCopier::identicalCopy(const SourceFile &file, const QString &dest, bool keep, CopyOutcome &outcome)
{
    if (!m_source.filesHavePaths())
        return identicalDownload(file, dest, keep, outcome);
    // A link at the name is no copy: the file it leads to lies anywhere, and may go.
    const std::optional<FileStamp> there = RegularFileStampOf(dest);
    const std::optional<FileStamp> from = FileStampOf(file.path);
    if (!there || !from || there->size != from->size ||
        (there->device == from->device && there->inode == from->inode))
        return false;
    const auto [copyCheck, sourceCheck] = hashBoth(dest, [&file] { return HashFileContent(file.path); });
    if (copyCheck.error || sourceCheck.error || copyCheck.hash != sourceCheck.hash ||
        sourceCheck.stamp != *from || copyCheck.stamp != *there)
        return false;
    return takeIdentical(dest, keep, copyCheck, *from, outcome);
}

// A file only the source reads (a camera's) is compared through its download, which the copy reads next
// when it differs.
bool FileCopier::identicalDownload(const SourceFile &file, const QString &dest, bool keep,
                                   CopyOutcome &outcome)
{
    const std::optional<FileStamp> there = RegularFileStampOf(dest);
    if (!there || there->size != file.stamp.size)
        return false;
    const int fd = m_source.open(file);
    if (fd < 0)
        return false;
    const auto [copyCheck, sourceCheck] = hashBoth(dest, [fd] { return HashOpenFile(fd); });
    ::close(fd);
    if (copyCheck.error || sourceCheck.error || copyCheck.hash != sourceCheck.hash ||
        sourceCheck.stamp.size != file.stamp.size || copyCheck.stamp != *there)
        return false;
    return takeIdentical(dest, keep, copyCheck, m_source.openedStamp(file, sourceCheck.stamp), outcome);
}

std::pair<ContentCheck, ContentCheck> FileCopier::hashBoth(const QString &dest,
                                                           const std::function<ContentCheck()> &source)
{
    std::pair<ContentCheck, ContentCheck> checks;
    RunPumped(m_view, [&] {
        checks.first = HashRegularFile(dest);
        if (!checks.first.error)
            checks.second = source();
    });
    return checks;
}

bool FileCopier::takeIdentical(const QString &dest, bool keep, const ContentCheck &copy,
                               const FileStamp &from, CopyOutcome &outcome)
{
    outcome = CopyOutcome();
    outcome.copy = copy.stamp;
    outcome.source = from;
    outcome.hash = copy.hash;
    if (keep) {
        outcome.kept = KeptCopy::open(dest);
        if (!outcome.kept.isNamedBy(dest))
            return false;
    }
    // The copy may still sit in the page cache of the run that made it: flushed with this run's.
    m_written.insert(folderTextOf(dest));
    return true;
}

void FileCopier::named(const QString &dest, const FileStamp &copy)
{
    m_writtenNames.insert(dest);
    m_writtenFolded.insert(dest.toCaseFolded());
    m_writtenIds.insert(FileId{copy.device, copy.inode});
}

bool FileCopier::writtenThisRun(const QString &dest) const
{
    if (m_writtenNames.contains(dest))
        return true;
    // A filesystem that ignores case (exFAT, FAT, NTFS) reaches a file this run wrote through another
    // spelling of its name; its inode numbers (through FUSE) need not tell.
    if (m_writtenFolded.contains(dest.toCaseFolded()) && PathExists(dest) && !FolderListsName(dest))
        return true;
    const std::optional<FileId> id = m_writtenIds.isEmpty() ? std::nullopt : FileIdOf(dest);
    return id && m_writtenIds.contains(*id);
}

} // namespace vantora
