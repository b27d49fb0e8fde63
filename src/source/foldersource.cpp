#include "platform/bytepath.h"
#include "platform/copyfile.h"
#include "platform/directoryreader.h"
#include "platform/filepath.h"
#include "platform/pagecache.h"
#include "source/readaheadwindow.h"
#include "source/source.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace vantora {

namespace {

FileStamp stampOf(const FileStatus &status)
{
    return FileStamp{status.device, status.inode, status.size, status.mtime};
}

} // namespace

FolderSource::FolderSource(QString folder)
    : m_folder(std::move(folder)), m_linkRoot(m_folder.isEmpty() ? QStringLiteral("/") : m_folder),
      m_rootId(m_folder.isEmpty() ? std::nullopt : FileIdOf(m_folder))
{
}

bool FolderSource::gone() const
{
    if (m_folder.isEmpty())
        return false;
    const std::optional<FileId> now = FileIdOf(m_folder);
    return !now || (m_rootId && now->device != m_rootId->device);
}

SourceFiles FolderSource::list(const QStringList &masks, WalkPump *pump, WalkFilter *filter) const
{
    SourceFiles files;
    const qsizetype rootLength = m_folder.size();
    // The walk's one look at each file: its stamp here is what the run measures and the history keeps.
    WalkTakenFiles(
        m_folder, masks,
        [&](const QString &folder, QByteArrayView name, int hits, const DirectoryReader &entry) {
            SourceFile file;
            file.path = folder + pathFromBytes(name);
            file.relative = file.path.mid(rootLength);
            file.stamp = stampOf(entry.entryStatus(true));
            for (int i = 0; i < hits; ++i)
                files.append(file);
        },
        pump, filter);
    QStringList paths;
    paths.reserve(files.size());
    for (const SourceFile &file : std::as_const(files))
        paths.append(file.path);
    ApplyOrder(files, RunListOrder(paths));
    return files;
}

QStringList FolderSource::fileNamesIn(const QString &folder) const
{
    QStringList names;
    DirectoryReader entries(folder);
    while (entries.next()) {
        if (entries.entryStatus(false).kind == EntryKind::File)
            names.append(entries.name());
    }
    return names;
}

SourceFiles FolderSource::filesAt(const QStringList &paths) const
{
    SourceFiles files;
    files.reserve(paths.size());
    for (const QString &path : paths) {
        SourceFile file;
        file.path = path;
        file.relative = path.startsWith(m_folder) ? path.mid(m_folder.size()) : path;
        if (const std::optional<FileStamp> stamp = FileStampOf(path))
            file.stamp = *stamp;
        files.append(file);
    }
    return files;
}

FolderSource::~FolderSource()
{
    if (m_openFd >= 0)
        ::close(m_openFd);
}

namespace {

// A FIFO put where a file was must not block the open; its reader refuses it.
int openForReading(const QString &path)
{
    const int fd = ::open(pathToBytes(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return -errno;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

} // namespace

int FolderSource::open(const SourceFile &file) const
{
    // The copy hands back the pages it brought in: a read ahead of the file still queued would bring them
    // in again behind it.
    if (const quint64 ticket = readAheadTicket(file))
        WaitForReadAhead(ticket);
    if (m_openFd >= 0 && m_openPath == file.path) {
        const int fd = std::exchange(m_openFd, -1);
        // The first reader may have moved the shared offset.
        if (::lseek(fd, 0, SEEK_SET) == 0)
            return fd;
        ::close(fd);
    }
    if (m_openFd >= 0)
        ::close(std::exchange(m_openFd, -1));
    const int fd = openForReading(file.path);
    if (fd < 0)
        return fd;
    m_openFd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    m_openPath = file.path;
    return fd;
}

qint64 FolderSource::readAhead(const SourceFile &file) const
{
    // Enough to keep the card busy while the files before are finished; a long video reads itself ahead.
    constexpr quint64 Ahead = 32 * 1024 * 1024;
    const int fd = openForReading(file.path);
    if (fd < 0)
        return 0;
    struct stat st;
    quint64 begun = 0;
    // A file in the cache already stays there after its copy; only what is read from the medium goes back.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
        !IsCachedAlready(fd, quint64(st.st_size))) {
        begun = std::min(quint64(st.st_size), Ahead);
        m_readAhead.append({file.path, StartReadAhead(fd, begun)});
        if (m_readAhead.size() > ReadAheadWindow::MaxFiles + 1)
            m_readAhead.removeFirst();
    }
    ::close(fd);
    return qint64(begun);
}

void FolderSource::cancelReadAhead() const
{
    CancelReadAheads();
}

quint64 FolderSource::readAheadTicket(const SourceFile &file) const
{
    for (const auto &[path, ticket] : m_readAhead) {
        if (path == file.path)
            return ticket;
    }
    return 0;
}

bool FolderSource::wasReadAhead(const SourceFile &file) const
{
    return readAheadTicket(file) != 0;
}

std::optional<FileStamp> FolderSource::currentStamp(const SourceFile &file) const
{
    // Nothing a folder link leads to: it lies outside the source.
    std::optional<FileStamp> stamp = FileStampOf(file.path);
    if (stamp && PassesThroughLink(m_linkRoot, FilePath(file.path).parent().text()))
        return std::nullopt;
    return stamp;
}

int FolderSource::remove(const SourceFile &file) const
{
    // A file still open would stay behind as a hidden file on some FUSE filesystems.
    if (m_openFd >= 0 && m_openPath == file.path)
        ::close(std::exchange(m_openFd, -1));
    return RemoveFile(file.path);
}

} // namespace vantora
