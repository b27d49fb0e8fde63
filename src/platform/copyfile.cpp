#include "platform/copyfile.h"

#include "platform/bytepath.h"
#include "platform/contenthash.h"
#include "platform/filepath.h"
#include "platform/nativefile.h"
#include "platform/pagecache.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace vantora {

namespace {

// The chunk adapts so that one chunk plus its progress call takes about this long: short enough for the
// event loop to turn many times a second, long enough that the per-chunk overhead does not show.
constexpr qint64 TargetChunkNs = 6'000'000;
constexpr size_t MinChunk = 256 * 1024;
constexpr size_t MaxChunk = 8 * 1024 * 1024;
constexpr size_t FirstChunk = 4 * 1024 * 1024;
constexpr size_t BufferSize = 1024 * 1024;
constexpr size_t HashedChunk = 1024 * 1024;

std::function<int()> &flushFault()
{
    static std::function<int()> fault;
    return fault;
}

int injectedFlushError()
{
    const auto &fault = flushFault();
    return fault ? fault() : 0;
}

class Fd final
{
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }
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

int fsyncFd(int fd)
{
    if (const int error = injectedFlushError())
        return error;
    return ::fsync(fd) == 0 ? 0 : errno;
}

int fsyncFolder(const QByteArray &folder)
{
    Fd dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0)
        return errno;
    return fsyncFd(dir.get());
}

// Removes a named temporary only if the name still refers to the file this copy created.
void removeOwn(const QByteArray &path, const struct stat &own)
{
    struct stat now;
    if (::lstat(path.constData(), &now) == 0 && now.st_dev == own.st_dev && now.st_ino == own.st_ino)
        ::unlink(path.constData());
}

QByteArray temporaryName(const QByteArray &folder)
{
    // Short and plain, so it fits any filesystem that takes the final name.
    return folder + "/.vtx-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36) + ".part";
}

// Opens a new hidden temporary file in folder; -1 with errno set.
int openNamedTemporary(const QByteArray &folder, QByteArray &name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = temporaryName(folder);
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// Gives an unnamed temporary its name; fails with EEXIST when the name is taken.
int linkUnnamed(int fd, const QByteArray &to)
{
    char proc[64];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    if (::linkat(AT_FDCWD, proc, AT_FDCWD, to.constData(), AT_SYMLINK_FOLLOW) == 0)
        return 0;
    if (errno != ENOENT || ::access("/proc/self/fd", F_OK) == 0)
        return errno;
    // Without /proc; this form needs a privilege, which is why it is not the first choice.
    return ::linkat(fd, "", AT_FDCWD, to.constData(), AT_EMPTY_PATH) == 0 ? 0 : errno;
}

// Renames a named temporary to a name that must not exist; EEXIST when it does.
int renameNoReplace(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    // Some FUSE filesystems cannot promise this; the name is checked just before instead.
    struct stat st;
    if (::lstat(to.constData(), &st) == 0)
        return EEXIST;
    if (errno != ENOENT)
        return errno;
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

// How a copy hashes: in line (the bytes of a plain read, or a read back of what the kernel copied), or
// through a job on a hasher, which is started at the first chunk the kernel copies.
struct CopyHashing
{
    ContentHash *state = nullptr; // in line
    ContentHasher *hasher = nullptr;
    std::optional<FileStamp> expected; // for the job: the source as it must still be when hashed
    int source = -1;
    bool dropPages = false; // the job hands the source's pages back once hashed
    std::optional<ContentHashJob> job;

    bool active() const { return state || hasher; }
    // Hands over what the kernel copied; false with errno set when it could not be hashed in line.
    bool kernelCopied(quint64 offset, size_t length)
    {
        if (hasher && !job && offset == 0)
            job.emplace(*hasher, source, expected, dropPages);
        if (job) {
            job->add(offset, length);
            return true;
        }
        return !state || state->addRead(source, offset, length);
    }
    void read(const char *bytes, quint64 offset, size_t length)
    {
        if (job)
            job->add(offset, length);
        else if (state)
            state->add(bytes, length);
    }
};

// Copies up to `want` bytes from `offset`; returns the count, 0 at end of file, or -1 with errno set.
// readFailed tells whether a failure came from the source.
ssize_t copyChunk(int in, int out, size_t want, quint64 offset, bool &kernelCopy,
                  std::unique_ptr<char[]> &buffer, bool &readFailed, CopyHashing &hashing)
{
    readFailed = false;
    if (kernelCopy) {
        for (;;) {
            const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, want, 0);
            if (n > 0) {
                if (!hashing.kernelCopied(offset, size_t(n))) {
                    readFailed = true;
                    return -1;
                }
                return n;
            }
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
            // Which side failed is not told; a read error of the source is found again by read() below.
            if (errno == ENOSPC || errno == EDQUOT)
                return -1;
            kernelCopy = false;
            break;
        }
    }
    if (!buffer)
        buffer.reset(new char[BufferSize]);
    size_t copied = 0;
    while (copied < want) {
        const size_t ask = std::min(BufferSize, want - copied);
        ssize_t got;
        do
            got = ::read(in, buffer.get(), ask);
        while (got < 0 && errno == EINTR);
        if (got < 0) {
            readFailed = true;
            return -1;
        }
        if (got == 0)
            break;
        hashing.read(buffer.get(), offset + copied, size_t(got));
        int writeError = 0;
        if (writeNativeFile(out, buffer.get(), got, writeError) < 0) {
            errno = writeError;
            return -1;
        }
        copied += size_t(got);
    }
    return ssize_t(copied);
}

// The second copy of a range copyChunk just copied: from the pages that copy read (still cached), in
// the kernel where it can, else through the buffer. A failure sets alsoError and gives it up (also -1).
void copyRangeAgain(int in, int &also, int &alsoError, quint64 offset, size_t length,
                    std::unique_ptr<char[]> &buffer)
{
    loff_t from = loff_t(offset);
    bool kernel = true;
    while (length > 0) {
        ssize_t n;
        if (kernel) {
            n = ::copy_file_range(in, &from, also, nullptr, length, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0 && (n == 0 || errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                           errno == EOPNOTSUPP || errno == EBADF || errno == EPERM)) {
                kernel = false;
                continue;
            }
        } else {
            if (!buffer)
                buffer.reset(new char[BufferSize]);
            n = ::pread(in, buffer.get(), std::min(BufferSize, length), from);
            if (n < 0 && errno == EINTR)
                continue;
            int writeError = 0;
            if (n > 0 && writeNativeFile(also, buffer.get(), n, writeError) < 0) {
                errno = writeError;
                n = -1;
            } else if (n == 0) {
                errno = EIO; // shorter than it was a moment ago: checkComplete tells the first copy
                n = -1;
            }
            if (n > 0)
                from += n;
        }
        if (n < 0) {
            alsoError = errno;
            also = -1;
            return;
        }
        length -= size_t(n);
    }
}

} // namespace

UnnamedCopy::UnnamedCopy(int fd, QByteArray temporary) : m_fd(fd), m_temporary(std::move(temporary))
{
    struct stat st;
    if (m_fd >= 0 && ::fstat(m_fd, &st) == 0) {
        m_device = quint64(st.st_dev);
        m_inode = quint64(st.st_ino);
    }
}

UnnamedCopy::UnnamedCopy(UnnamedCopy &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_temporary(std::exchange(other.m_temporary, {})),
      m_device(other.m_device), m_inode(other.m_inode)
{
}

UnnamedCopy &UnnamedCopy::operator=(UnnamedCopy &&other) noexcept
{
    if (this != &other) {
        discard();
        m_fd = std::exchange(other.m_fd, -1);
        m_temporary = std::exchange(other.m_temporary, {});
        m_device = other.m_device;
        m_inode = other.m_inode;
    }
    return *this;
}

UnnamedCopy::~UnnamedCopy()
{
    discard();
}

void UnnamedCopy::discard()
{
    if (m_fd < 0)
        return;
    ::close(std::exchange(m_fd, -1));
    if (!m_temporary.isEmpty()) {
        struct stat own
        {
        };
        own.st_dev = dev_t(m_device);
        own.st_ino = ino_t(m_inode);
        removeOwn(m_temporary, own);
    }
}

CopyError UnnamedCopy::name(const QString &to, bool replace)
{
    if (m_fd < 0)
        return CopyError::fromErrno(EBADF);
    const QByteArray target = pathToBytes(to);
    int failure = 0;
    if (replace) {
        struct stat there;
        if (::stat(target.constData(), &there) == 0 && S_ISDIR(there.st_mode))
            return CopyError::fromErrno(EISDIR);
        // An unnamed file cannot be renamed over another: it gets a hidden name first.
        if (m_temporary.isEmpty()) {
            const QByteArray folder = FilePath(to).parent().bytes();
            QByteArray hidden;
            for (int attempt = 0; attempt < 100 && hidden.isEmpty(); ++attempt) {
                const QByteArray candidate = temporaryName(folder);
                failure = linkUnnamed(m_fd, candidate);
                if (failure == 0)
                    hidden = candidate;
                else if (failure != EEXIST)
                    return CopyError::fromErrno(failure);
            }
            if (hidden.isEmpty())
                return CopyError::fromErrno(failure);
            m_temporary = hidden;
        }
        failure = ::rename(m_temporary.constData(), target.constData()) == 0 ? 0 : errno;
    } else if (m_temporary.isEmpty()) {
        failure = linkUnnamed(m_fd, target);
    } else {
        failure = renameNoReplace(m_temporary, target);
    }
    if (failure)
        return failure == EEXIST ? CopyError::exists() : CopyError::fromErrno(failure);
    m_temporary.clear();
    return {};
}

KeptCopy UnnamedCopy::keep()
{
    return KeptCopy(std::exchange(m_fd, -1));
}

void UnnamedCopy::dropCachedPages() const
{
    if (m_fd >= 0)
        ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_DONTNEED);
}

CopyError UnnamedCopy::close(const QString &named)
{
    const int fd = std::exchange(m_fd, -1);
    if (fd >= 0 && ::close(fd) != 0) {
        const int error = errno;
        ::unlink(pathToBytes(named).constData());
        return CopyError::fromErrno(error);
    }
    return {};
}

namespace {

// One copy, a member function per step; each step leaves in the members what the later ones need.
class FileCopy final
{
public:
    FileCopy(const QString &source, const QString &destination, const CopyProgressRoutine &progress,
             const bool *cancel, const CopyOptions &options, CopyOutcome &result)
        : m_progress(progress), m_cancel(cancel), m_options(options), m_result(result),
          m_from(pathToBytes(source)), m_to(pathToBytes(destination)),
          m_folder(FilePath(destination).parent().bytes())
    {
    }
    FileCopy(const FileCopy &) = delete;
    FileCopy &operator=(const FileCopy &) = delete;

    CopyError run();

private:
    quint64 total() const { return quint64(m_st.st_size); }
    CopyError openSource();
    std::optional<CopyError> checkDestination();
    CopyError openTemporary();
    void startHashing();
    CopyError copyChunks();
    CopyError takeOwnHash();
    CopyError checkComplete();
    CopyError carryAttributes();
    void recordCopy();
    void handOverUnnamed();
    CopyError giveName();
    void discard();
    CopyError finishNamed();
    void openAlso();
    void dropAlso(int error);
    void finishAlso();

    const CopyProgressRoutine &m_progress;
    const bool *m_cancel;
    const CopyOptions &m_options;
    CopyOutcome &m_result;
    const QByteArray m_from;
    const QByteArray m_to;
    const QByteArray m_folder;
    Fd m_in;
    struct stat m_st
    {
    };
    bool m_replacing = false;
    QByteArray m_temporary; // empty for an unnamed temporary
    Fd m_out;
    struct stat m_own
    {
    };
    struct stat m_now
    {
    };
    // Declared after the descriptors: a hash job ends before its hasher, both before the files close.
    std::optional<ContentHash> m_inlineHash;
    std::optional<ContentHasher> m_ownHasher;
    CopyHashing m_hashing;
    size_t m_chunk = FirstChunk;
    size_t m_maxChunk = MaxChunk;
    // The second copy (CopyOptions::alsoTo).
    Fd m_also;
    QByteArray m_alsoTemporary;
    struct stat m_alsoOwn
    {
    };
};

CopyError FileCopy::run()
{
    if (const CopyError failure = openSource())
        return failure;
    if (const std::optional<CopyError> end = checkDestination())
        return *end;
    ::posix_fadvise(m_in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    if (const CopyError failure = openTemporary())
        return failure;
    if (!m_options.alsoTo.isEmpty())
        openAlso();
    startHashing();
    CopyError failure = copyChunks();
    if (!failure) {
        // Where the copy reads the disk it writes to (a card not in the cache, on the same drive), the
        // disk is busy already and the batch's flush is soon enough: writes started now would slow the
        // reads and add their processor time to the run's. A card read ahead has its reads queued already.
        const bool readsWait = m_hashing.dropPages && !m_options.sourceReadAhead;
        if (!readsWait || m_st.st_dev != m_own.st_dev)
            StartWriteback(m_out.get(), total());
        if (!readsWait || m_st.st_dev != m_alsoOwn.st_dev)
            StartWriteback(m_also.get(), total());
    }
    if (!failure)
        failure = takeOwnHash();
    if (!failure)
        failure = checkComplete();
    if (!failure)
        failure = carryAttributes();
    // The pages the copy brought into the cache are not read again (a hasher behind the copy hands them back
    // once it is done); a file that was in the cache already stays there.
    if (!failure && !m_options.hasher && m_hashing.dropPages)
        ::posix_fadvise(m_in.get(), 0, 0, POSIX_FADV_DONTNEED);
    if (!failure && m_options.deferName) {
        handOverUnnamed();
        return {};
    }
    if (!failure)
        failure = giveName();
    if (failure) {
        discard();
        return failure;
    }
    return finishNamed();
}

CopyError FileCopy::openSource()
{
    m_in.reset(m_options.sourceFd >= 0 ? m_options.sourceFd
                                       : ::open(m_from.constData(), O_RDONLY | O_CLOEXEC));
    if (m_in.get() < 0) {
        m_result.sourceFailed = true;
        return CopyError::fromErrno(errno);
    }
    if (::fstat(m_in.get(), &m_st) != 0) {
        m_result.sourceFailed = true;
        return CopyError::fromErrno(errno);
    }
    if (S_ISDIR(m_st.st_mode))
        return CopyError::fromErrno(EISDIR);
    if (!S_ISREG(m_st.st_mode))
        return CopyError::fromErrno(EINVAL);
    return {};
}

// A clash is seen before a byte is written; the final step checks again. A copy named later leaves
// clashes to its naming. A result ends the copy here.
std::optional<CopyError> FileCopy::checkDestination()
{
    struct stat old;
    if (::lstat(m_to.constData(), &old) == 0) {
        if (m_options.failIfExists && !m_options.deferName)
            return CopyError::exists();
        struct stat target;
        if (!m_options.failIfExists && ::stat(m_to.constData(), &target) == 0) {
            if (S_ISDIR(target.st_mode))
                return CopyError::fromErrno(EISDIR);
            if (target.st_dev == m_st.st_dev && target.st_ino == m_st.st_ino) {
                // The destination already is this very file; copying it onto itself would truncate it.
                if (m_progress)
                    m_progress(total(), total());
                m_result.copy = FileStampFromStat(target);
                m_result.source = m_result.copy;
                return CopyError();
            }
        }
        m_replacing = !m_options.deferName;
    } else if (errno != ENOENT) {
        return CopyError::fromErrno(errno);
    }
    return std::nullopt;
}

// While partial the file has no name (or a hidden one) and is private to its owner; the source's mode
// is set once complete.
CopyError FileCopy::openTemporary()
{
    m_out.reset(m_replacing ? -1 : ::open(m_folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (m_out.get() < 0) {
        const int why = errno;
        if (!m_replacing && why != EOPNOTSUPP && why != EISDIR && why != EINVAL && why != ENOSYS)
            return CopyError::fromErrno(why);
        m_out.reset(openNamedTemporary(m_folder, m_temporary));
        if (m_out.get() < 0)
            return CopyError::fromErrno(errno);
    }
    ::fstat(m_out.get(), &m_own);
    return {};
}

// Hashing a file of several chunks in line would stall the copy: it goes to a hasher, the caller's
// (which hashes behind the copies, across files) or one of this copy's own, beside the copy of the
// next chunk, with the chunks kept small enough for the two to overlap.
void FileCopy::startHashing()
{
    m_hashing.source = m_in.get();
    m_hashing.dropPages = m_options.sourceReadAhead || !IsCachedAlready(m_in.get(), total());
    if (m_options.hash && m_options.hasher) {
        m_hashing.hasher = m_options.hasher;
        m_hashing.expected = FileStampFromStat(m_st);
    } else if (m_options.hash && total() > HashedChunk) {
        m_hashing.hasher = &m_ownHasher.emplace();
        m_chunk = m_maxChunk = HashedChunk;
    }
    if (m_options.hash) {
        // Also for a file whose kernel copy is refused: its bytes are hashed as they are read.
        m_hashing.state = &m_inlineHash.emplace();
    }
}

CopyError FileCopy::copyChunks()
{
    const quint64 size = total();
    quint64 done = 0;
    bool kernelCopy = true;
    std::unique_ptr<char[]> buffer;
    QElapsedTimer timer;
    if (size == 0 && m_progress)
        m_progress(0, 0);
    while (done < size) {
        if (m_cancel && *m_cancel)
            return CopyError::cancelled();
        timer.start();
        const size_t want = size_t(std::min<quint64>(m_chunk, size - done));
        bool readFailed = false;
        const ssize_t n =
            copyChunk(m_in.get(), m_out.get(), want, done, kernelCopy, buffer, readFailed, m_hashing);
        if (n > 0 && m_also.get() >= 0) {
            int also = m_also.get();
            int alsoError = 0;
            copyRangeAgain(m_in.get(), also, alsoError, done, size_t(n), buffer);
            if (alsoError)
                dropAlso(alsoError);
        }
        if (n < 0) {
            const CopyError failure = CopyError::fromErrno(errno);
            m_result.sourceFailed = readFailed;
            return failure;
        }
        if (n == 0) {
            // The source became shorter than it was when opened.
            m_result.sourceChanged = true;
            return CopyError::fromErrno(EIO);
        }
        done += quint64(n);
        if (m_progress)
            m_progress(size, done);
        const qint64 took = timer.nsecsElapsed();
        if (took < TargetChunkNs / 2 && m_chunk < m_maxChunk && size_t(n) == want)
            m_chunk *= 2;
        else if (took > TargetChunkNs * 2 && m_chunk > MinChunk)
            m_chunk /= 2;
    }
    return {};
}

// Every range is hashed before the copy takes its name, so a source that cannot be read again fails the
// copy as any other read would.
CopyError FileCopy::takeOwnHash()
{
    if (!m_hashing.job || !m_ownHasher)
        return {};
    const ContentHasher::Result hashed = m_ownHasher->take(m_hashing.job->keep());
    m_hashing.job.reset();
    if (hashed.error) {
        m_result.sourceFailed = true;
        return CopyError::fromErrno(hashed.error);
    }
    m_result.hash = hashed.hash;
    return {};
}

CopyError FileCopy::checkComplete()
{
    struct stat src;
    if (::fstat(m_out.get(), &m_now) != 0)
        return CopyError::fromErrno(errno);
    if (::fstat(m_in.get(), &src) != 0) {
        const CopyError failure = CopyError::fromErrno(errno);
        m_result.sourceFailed = true;
        return failure;
    }
    if (quint64(m_now.st_size) != total())
        return CopyError::fromErrno(EIO);
    if (src.st_size != m_st.st_size || src.st_mtim.tv_sec != m_st.st_mtim.tv_sec ||
        src.st_mtim.tv_nsec != m_st.st_mtim.tv_nsec) {
        // A file still being written while it was copied (a camera or phone still saving): the copy
        // holds only what was there when it began, and a move would delete the rest with the source.
        m_result.sourceChanged = true;
        return CopyError::fromErrno(EIO);
    }
    return {};
}

CopyError FileCopy::carryAttributes()
{
    // Attributes are best effort (some filesystems keep no modes); the data is what must be right.
    ::fchmod(m_out.get(), m_st.st_mode & 07777);
    const struct timespec times[2] = {m_st.st_atim, m_st.st_mtim};
    ::futimens(m_out.get(), times);
    if (m_options.flush && !m_options.deferName)
        return CopyError::fromErrno(fsyncFd(m_out.get()));
    return {};
}

void FileCopy::recordCopy()
{
    ::fstat(m_out.get(), &m_now);
    m_result.copy = FileStampFromStat(m_now);
    m_result.source = FileStampFromStat(m_st);
    if (m_options.hash && !m_hashing.job && m_result.hash.isEmpty())
        m_result.hash = m_inlineHash->result();
}

void FileCopy::handOverUnnamed()
{
    recordCopy();
    finishAlso();
    if (m_hashing.job)
        m_result.hashTicket = m_hashing.job->keep();
    m_result.unnamed = UnnamedCopy(m_out.release(), std::exchange(m_temporary, {}));
}

CopyError FileCopy::giveName()
{
    int error;
    if (m_temporary.isEmpty()) {
        error = linkUnnamed(m_out.get(), m_to);
    } else if (m_replacing) {
        error = ::rename(m_temporary.constData(), m_to.constData()) == 0 ? 0 : errno;
    } else {
        error = renameNoReplace(m_temporary, m_to);
    }
    return error == EEXIST ? CopyError::exists() : CopyError::fromErrno(error);
}

void FileCopy::discard()
{
    dropAlso(0);
    m_out.reset();
    if (!m_temporary.isEmpty())
        removeOwn(m_temporary, m_own);
}

// Where the folder takes no unnamed file, a hidden name, as for the first copy.
void FileCopy::openAlso()
{
    const QByteArray folder = FilePath(m_options.alsoTo).parent().bytes();
    m_also.reset(::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (m_also.get() < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL || errno == ENOSYS))
        m_also.reset(openNamedTemporary(folder, m_alsoTemporary));
    if (m_also.get() < 0) {
        m_result.alsoError = CopyError::fromErrno(errno);
        m_alsoTemporary.clear();
        return;
    }
    ::fstat(m_also.get(), &m_alsoOwn);
}

void FileCopy::dropAlso(int error)
{
    if (error && !m_result.alsoError)
        m_result.alsoError = CopyError::fromErrno(error);
    m_also.reset();
    if (!m_alsoTemporary.isEmpty())
        removeOwn(m_alsoTemporary, m_alsoOwn);
    m_alsoTemporary.clear();
}

// The second copy is checked and handed over as the first is.
void FileCopy::finishAlso()
{
    if (m_also.get() < 0)
        return;
    struct stat st;
    if (::fstat(m_also.get(), &st) != 0 || quint64(st.st_size) != total()) {
        dropAlso(EIO);
        return;
    }
    ::fchmod(m_also.get(), m_st.st_mode & 07777);
    const struct timespec times[2] = {m_st.st_atim, m_st.st_mtim};
    ::futimens(m_also.get(), times);
    ::fstat(m_also.get(), &st);
    m_result.alsoCopy = FileStampFromStat(st);
    m_result.alsoUnnamed = UnnamedCopy(m_also.release(), std::exchange(m_alsoTemporary, {}));
}

CopyError FileCopy::finishNamed()
{
    recordCopy();
    if (m_options.flush) {
        if (const int error = fsyncFolder(m_folder)) {
            // The name may not survive a crash; the file is complete, so it stays for the caller to judge.
            return CopyError::fromErrno(error);
        }
    }
    if (m_options.keepOpen) {
        m_result.kept = KeptCopy(m_out.release());
    } else if (const int closeError = m_out.close()) {
        // A delayed write error: the named file is not what it should be.
        ::unlink(m_to.constData());
        return CopyError::fromErrno(closeError);
    }
    if (m_hashing.job)
        m_result.hashTicket = m_hashing.job->keep();
    return {};
}

} // namespace

CopyError CopyFileWithProgress(const QString &source, const QString &destination,
                               const CopyProgressRoutine &progress, const bool *cancel,
                               const CopyOptions &options, CopyOutcome *outcome)
{
    CopyOutcome scratch;
    CopyOutcome &result = outcome ? *outcome : scratch;
    result = CopyOutcome();
    FileCopy copy(source, destination, progress, cancel, options, result);
    return copy.run();
}

QString NumberedName(const QString &path, int n)
{
    const QString name = FilePath(path).name();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const qsizetype at = path.size() - name.size() + (dot < 0 ? name.size() : dot);
    return path.left(at) + QLatin1Char('_') + QString::number(n) + path.mid(at);
}

CopyError CopyFileToFreeName(const QString &source, const QString &destination,
                             const CopyProgressRoutine &progress, const bool *cancel, CopyOptions options,
                             CopyOutcome *outcome, QString *written)
{
    options.failIfExists = true;
    QString name = destination;
    CopyError code = CopyFileWithProgress(source, name, progress, cancel, options, outcome);
    for (int n = 2; code.kind == CopyError::Exists && n <= LastFreeNameNumber; ++n) {
        if (cancel && *cancel) {
            code = CopyError::cancelled();
            break;
        }
        name = NumberedName(destination, n);
        code = CopyFileWithProgress(source, name, progress, cancel, options, outcome);
    }
    if (written)
        *written = name;
    return code;
}

bool IsCopyLeftoverName(const QString &fileName)
{
    return fileName.startsWith(QLatin1String(".vtx-")) && fileName.endsWith(QLatin1String(".part")) &&
           fileName.size() > 10;
}

int RemoveCopyLeftovers(const QString &folder)
{
    const QByteArray path = pathToBytes(folder);
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return 0;
    }
    QList<QByteArray> found;
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.' && IsCopyLeftoverName(pathFromBytes(entry->d_name)))
            found.append(QByteArray(entry->d_name));
    }
    int removed = 0;
    for (const QByteArray &name : std::as_const(found)) {
        struct stat st;
        if (::fstatat(fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            ::unlinkat(fd, name.constData(), 0) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

CopyError SyncFileSystems(const QStringList &paths)
{
    QSet<dev_t> done;
    CopyError firstError;
    for (const QString &path : paths) {
        const QByteArray p = pathToBytes(path);
        struct stat st;
        if (::stat(p.constData(), &st) != 0) {
            if (!firstError)
                firstError = CopyError::fromErrno(errno);
            continue;
        }
        if (done.contains(st.st_dev))
            continue;
        done.insert(st.st_dev);
        Fd fd(::open(p.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        int error = fd.get() < 0 ? errno : injectedFlushError();
        if (!error && ::syncfs(fd.get()) != 0)
            error = errno;
        if (error && !firstError)
            firstError = CopyError::fromErrno(error);
    }
    return firstError;
}

void SetFlushFaultForTesting(std::function<int()> fault)
{
    flushFault() = std::move(fault);
}

} // namespace vantora
