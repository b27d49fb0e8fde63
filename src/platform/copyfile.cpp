#include "platform/copyfile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace vantora {

namespace {

// The chunk adapts so that one chunk plus its progress call takes about this long: short enough for the
// event loop to turn many times a second, long enough that the per-chunk overhead does not show.
constexpr qint64 TargetChunkNs = 6'000'000;
constexpr size_t MinChunk = 256 * 1024;
constexpr size_t MaxChunk = 8 * 1024 * 1024;
constexpr size_t FirstChunk = 4 * 1024 * 1024;
constexpr size_t BufferSize = 1024 * 1024;

int mapError(int error)
{
    if (error == ENOSPC || error == EDQUOT)
        return ERROR_DISK_FULL;
    // ELIBBAD and EHOSTDOWN share their numbers with the two codes the transfer loop acts on: a lost
    // network share must not read as a full disk or as a name clash.
    if (error == ERROR_FILE_EXISTS || error == ERROR_DISK_FULL)
        return EIO;
    return error;
}

class Fd final
{
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    // Closes and reports the close's own error (delayed write errors surface here).
    int close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd >= 0 && ::close(fd) != 0 ? errno : 0;
    }

private:
    int m_fd;
};

QByteArray parentOf(const QByteArray &path)
{
    const int slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    if (slash == 0)
        return QByteArrayLiteral("/");
    return path.left(slash);
}

int fsyncFolder(const QByteArray &folder)
{
    Fd dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0)
        return errno;
    return ::fsync(dir.get()) == 0 ? 0 : errno;
}

// Removes the partial file only if the name still refers to the file this copy created.
void removeOwn(const QByteArray &path, const struct stat &own)
{
    struct stat now;
    if (::lstat(path.constData(), &now) == 0 && now.st_dev == own.st_dev && now.st_ino == own.st_ino)
        ::unlink(path.constData());
}

// Copies up to `want` bytes; returns the count, 0 at end of file, or -1 with errno set.
ssize_t copyChunk(int in, int out, size_t want, bool &kernelCopy, char *&buffer,
                  std::unique_ptr<char[]> &storage)
{
    if (kernelCopy) {
        for (;;) {
            const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, want, 0);
            if (n > 0)
                return n;
            if (n == 0) {
                // Some filesystems answer 0 instead of an error; let read() decide about the end.
                kernelCopy = false;
                break;
            }
            if (errno == EINTR)
                continue;
            if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                errno == EBADF || errno == EPERM) {
                // Not offered between these files: the offsets have moved only by what was copied, so
                // plain reads and writes carry on from here.
                kernelCopy = false;
                break;
            }
            return -1;
        }
    }
    if (!buffer) {
        storage.reset(new char[BufferSize]);
        buffer = storage.get();
    }
    size_t copied = 0;
    while (copied < want) {
        const size_t ask = std::min(BufferSize, want - copied);
        ssize_t got;
        do
            got = ::read(in, buffer, ask);
        while (got < 0 && errno == EINTR);
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        ssize_t written = 0;
        while (written < got) {
            const ssize_t w = ::write(out, buffer + written, size_t(got - written));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                return -1;
            }
            written += w;
        }
        copied += size_t(got);
    }
    return ssize_t(copied);
}

} // namespace

int CopyFileWithProgress(const QString &source, const QString &destination,
                         const CopyProgressRoutine &progress, const bool *cancel, const CopyOptions &options)
{
    const QByteArray from = QFile::encodeName(source);
    const QByteArray to = QFile::encodeName(destination);

    Fd in(::open(from.constData(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        return mapError(errno);
    struct stat st;
    if (::fstat(in.get(), &st) != 0)
        return mapError(errno);
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    if (!S_ISREG(st.st_mode))
        return EINVAL;
    ::posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    // While partial the file is private to its owner; the source's mode is set once complete.
    QByteArray target = to;
    bool replacing = false;
    Fd out(::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (out.get() < 0) {
        if (errno != EEXIST)
            return mapError(errno);
        if (options.failIfExists)
            return ERROR_FILE_EXISTS;
        struct stat old;
        if (::stat(to.constData(), &old) == 0) {
            if (S_ISDIR(old.st_mode))
                return EISDIR;
            if (old.st_dev == st.st_dev && old.st_ino == st.st_ino) {
                // The destination already is this very file; copying it onto itself would truncate it.
                if (progress)
                    progress(quint64(st.st_size), quint64(st.st_size));
                return 0;
            }
        }
        // Replace through a temporary file beside the old one, so a cancel, a full disk or a crash
        // leaves the old file as it was.
        const QByteArray folder = parentOf(to);
        const QByteArray name = to.mid(to.lastIndexOf('/') + 1).left(200);
        for (int attempt = 0; attempt < 100 && out.get() < 0; ++attempt) {
            target = folder + "/." + name + ".vtx-" +
                     QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".part";
            out.reset(::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
            if (out.get() < 0 && errno != EEXIST)
                return mapError(errno);
        }
        if (out.get() < 0)
            return EEXIST;
        replacing = true;
    }
    struct stat own
    {
    };
    ::fstat(out.get(), &own);

    const quint64 total = quint64(st.st_size);
    quint64 done = 0;
    int failure = 0;
    bool kernelCopy = true;
    char *buffer = nullptr;
    std::unique_ptr<char[]> storage;
    size_t chunk = FirstChunk;
    QElapsedTimer timer;

    if (total == 0 && progress)
        progress(0, 0);
    while (done < total) {
        if (cancel && *cancel) {
            failure = ERROR_REQUEST_ABORTED;
            break;
        }
        timer.start();
        const size_t want = size_t(std::min<quint64>(chunk, total - done));
        const ssize_t n = copyChunk(in.get(), out.get(), want, kernelCopy, buffer, storage);
        if (n < 0) {
            failure = mapError(errno);
            break;
        }
        if (n == 0) {
            // The source became shorter than it was when opened.
            failure = EIO;
            break;
        }
        done += quint64(n);
        if (progress)
            progress(total, done);
        const qint64 took = timer.nsecsElapsed();
        if (took < TargetChunkNs / 2 && chunk < MaxChunk && size_t(n) == want)
            chunk *= 2;
        else if (took > TargetChunkNs * 2 && chunk > MinChunk)
            chunk /= 2;
    }

    if (!failure) {
        struct stat now;
        struct stat source;
        if (::fstat(out.get(), &now) != 0 || ::fstat(in.get(), &source) != 0)
            failure = mapError(errno);
        else if (quint64(now.st_size) != total)
            failure = EIO;
        // A file still being written while it was copied (a camera or phone still saving): the copy holds
        // only what was there when it began, and a move would delete the rest with the source.
        else if (source.st_size != st.st_size || source.st_mtim.tv_sec != st.st_mtim.tv_sec ||
                 source.st_mtim.tv_nsec != st.st_mtim.tv_nsec)
            failure = EIO;
    }
    if (!failure) {
        // Attributes are best effort (some filesystems keep no modes); the data is what must be right.
        ::fchmod(out.get(), st.st_mode & 07777);
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(out.get(), times);
        if (options.flush && ::fsync(out.get()) != 0)
            failure = mapError(errno);
    }
    if (!failure) {
        if (const int closeError = out.close())
            failure = mapError(closeError);
    }
    if (!failure && replacing && ::rename(target.constData(), to.constData()) != 0)
        failure = mapError(errno);
    if (failure) {
        out.reset();
        removeOwn(target, own);
        return failure;
    }
    if (options.flush) {
        if (const int error = fsyncFolder(parentOf(to)))
            return mapError(error);
    }
    return 0;
}

int SyncFileSystems(const QStringList &paths)
{
    QSet<dev_t> done;
    int firstError = 0;
    for (const QString &path : paths) {
        const QByteArray p = QFile::encodeName(path);
        struct stat st;
        if (::stat(p.constData(), &st) != 0) {
            if (!firstError)
                firstError = mapError(errno);
            continue;
        }
        if (done.contains(st.st_dev))
            continue;
        done.insert(st.st_dev);
        Fd fd(::open(p.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        if (fd.get() < 0 || ::syncfs(fd.get()) != 0) {
            if (!firstError)
                firstError = mapError(errno);
        }
    }
    return firstError;
}

QString VolumeRootOf(const QString &path)
{
    QByteArray p = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    struct stat st;
    while (::stat(p.constData(), &st) != 0) {
        if (p == "/")
            return QStringLiteral("/");
        p = parentOf(p);
    }
    while (p != "/") {
        const QByteArray up = parentOf(p);
        struct stat parent;
        if (::stat(up.constData(), &parent) != 0 || parent.st_dev != st.st_dev)
            break;
        p = up;
    }
    return QFile::decodeName(p);
}

int RemoveFile(const QString &path)
{
    return ::unlink(QFile::encodeName(path).constData()) == 0 ? 0 : errno;
}

std::optional<FileId> FileIdOf(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return FileId{quint64(st.st_dev), quint64(st.st_ino)};
}

} // namespace vantora
