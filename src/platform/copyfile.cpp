#include "platform/copyfile.h"

#include "platform/bytepath.h"
#include "platform/nativefile.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSet>

#include <xxhash.h>
#if defined(__x86_64__) || defined(__i386__)
// The library picks the widest vector unit of the processor it runs on (AVX2, AVX-512) at run time.
#include <xxh_x86dispatch.h>
#endif

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>

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
// Small enough that a range read back for its hash is still in the processor's cache when it is hashed.
constexpr size_t HashBuffer = 256 * 1024;

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

QByteArray parentOf(const QByteArray &path)
{
    const int slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    if (slash == 0)
        return QByteArrayLiteral("/");
    return path.left(slash);
}

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

FileStamp stampOf(const struct stat &st)
{
    return FileStamp{quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
                     FileTime{qint64(st.st_mtim.tv_sec), qint32(st.st_mtim.tv_nsec)}};
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

// Hashes `length` bytes of the source from `offset`: the pages the copy just went through, so they come
// from the page cache, not the medium.
bool hashCopied(int in, quint64 offset, size_t length, std::unique_ptr<char[]> &buffer, XXH3_state_t *hash)
{
    if (!buffer)
        buffer.reset(new char[HashBuffer]);
    while (length > 0) {
        const ssize_t got = ::pread(in, buffer.get(), std::min(HashBuffer, length), off_t(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got == 0)
            errno = EIO; // shorter than what was just copied: changed meanwhile
        if (got <= 0)
            return false;
        XXH3_128bits_update(hash, buffer.get(), size_t(got));
        offset += quint64(got);
        length -= size_t(got);
    }
    return true;
}

QByteArray canonicalHash(XXH128_hash_t value)
{
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, value);
    return QByteArray(reinterpret_cast<const char *>(canonical.digest), sizeof canonical.digest);
}

} // namespace

// The hasher's side: files in the order they were copied, each a run of ranges closed by its end.
struct ContentHasher::Queue
{
    // Bounds how far the hashing may fall behind: the ranges must still be in the page cache when they are
    // read, and each file waiting holds a descriptor.
    static constexpr quint64 MaxQueuedBytes = 64 * 1024 * 1024;
    static constexpr int MaxOpenJobs = 64;

    struct Job
    {
        int fd = -1;
        XXH3_state_t *state = nullptr;
        std::optional<FileStamp> expected;
        int error = 0;
    };
    enum class Kind
    {
        Range,
        End,
        Drop
    };
    struct Item
    {
        Kind kind;
        quint64 ticket;
        quint64 offset = 0;
        size_t length = 0;
    };

    Queue() : thread([this] { run(); }) {}
    ~Queue()
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            closing = true;
        }
        wake.notify_one();
        thread.join();
        for (auto &[ticket, job] : jobs)
            release(job);
    }

    static void release(Job &job)
    {
        if (job.fd >= 0)
            ::close(job.fd);
        XXH3_freeState(job.state);
        job = Job();
    }

    quint64 begin(int fd, std::optional<FileStamp> expected)
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return openJobs < MaxOpenJobs; });
        const quint64 ticket = next++;
        Job &job = jobs[ticket];
        job.fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        job.error = job.fd < 0 ? errno : 0;
        job.state = XXH3_createState();
        XXH3_128bits_reset(job.state);
        job.expected = expected;
        ++openJobs;
        return ticket;
    }

    void push(Item item)
    {
        {
            std::unique_lock<std::mutex> lock(mutex);
            if (item.kind == Kind::Range) {
                changed.wait(lock, [this] { return queuedBytes < MaxQueuedBytes; });
                queuedBytes += item.length;
            }
            items.push_back(item);
        }
        wake.notify_one();
    }

    Result take(quint64 ticket)
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return results.find(ticket) != results.end(); });
        const auto it = results.find(ticket);
        Result result = std::move(it->second);
        results.erase(it);
        return result;
    }

    void run()
    {
        std::unique_ptr<char[]> buffer;
        for (;;) {
            Item item{};
            Job *job = nullptr;
            bool stopping = false;
            {
                std::unique_lock<std::mutex> lock(mutex);
                wake.wait(lock, [this] { return closing || !items.empty(); });
                if (items.empty())
                    return;
                item = items.front();
                items.pop_front();
                job = &jobs.at(item.ticket); // nodes stay put while others are added
                stopping = closing;
            }
            if (item.kind == Kind::Range) {
                if (!job->error && !stopping &&
                    !hashCopied(job->fd, item.offset, item.length, buffer, job->state))
                    job->error = errno ? errno : EIO;
                {
                    const std::lock_guard<std::mutex> lock(mutex);
                    queuedBytes -= item.length;
                }
                changed.notify_all();
                continue;
            }
            Result result;
            if (item.kind == Kind::End) {
                struct stat now;
                result.error = job->error;
                if (!result.error && job->expected &&
                    (::fstat(job->fd, &now) != 0 || now.st_size != job->expected->size ||
                     stampOf(now).mtime != job->expected->mtime))
                    result.error = ESTALE;
                if (!result.error)
                    result.hash = canonicalHash(XXH3_128bits_digest(job->state));
            }
            {
                const std::lock_guard<std::mutex> lock(mutex);
                release(*job);
                jobs.erase(item.ticket);
                --openJobs;
                if (item.kind == Kind::End)
                    results.emplace(item.ticket, std::move(result));
            }
            changed.notify_all();
        }
    }

    std::mutex mutex;
    std::condition_variable wake;    // the hasher: an item, or closing
    std::condition_variable changed; // the copies: room in the queue, a result
    std::deque<Item> items;
    std::unordered_map<quint64, Job> jobs;
    std::unordered_map<quint64, Result> results;
    quint64 next = 1;
    quint64 queuedBytes = 0;
    int openJobs = 0;
    bool closing = false;
    std::thread thread; // last: starts once everything above is set up
};

ContentHasher::ContentHasher() : d(std::make_unique<Queue>())
{
}
ContentHasher::~ContentHasher() = default;

ContentHasher::Result ContentHasher::take(quint64 ticket)
{
    return d->take(ticket);
}

// One copy's file on a hasher. A job that is not ended with keep() is dropped unhashed.
class ContentHashJob final
{
public:
    ContentHashJob(ContentHasher &hasher, int fd, std::optional<FileStamp> expected)
        : m_queue(*hasher.d), m_ticket(m_queue.begin(fd, expected))
    {
    }
    ~ContentHashJob()
    {
        if (m_ticket)
            m_queue.push({ContentHasher::Queue::Kind::Drop, m_ticket});
    }
    ContentHashJob(const ContentHashJob &) = delete;
    ContentHashJob &operator=(const ContentHashJob &) = delete;

    void add(quint64 offset, size_t length)
    {
        m_queue.push({ContentHasher::Queue::Kind::Range, m_ticket, offset, length});
    }
    quint64 keep()
    {
        m_queue.push({ContentHasher::Queue::Kind::End, m_ticket});
        return std::exchange(m_ticket, 0);
    }

private:
    ContentHasher::Queue &m_queue;
    quint64 m_ticket;
};

namespace {

// How a copy hashes: in line (the bytes of a plain read, or a read back of what the kernel copied), or
// through a job on a hasher, which is started at the first chunk the kernel copies.
struct CopyHashing
{
    XXH3_state_t *state = nullptr; // in line
    ContentHasher *hasher = nullptr;
    std::optional<FileStamp> expected; // for the job: the source as it must still be when hashed
    int source = -1;
    std::optional<ContentHashJob> job;
    std::unique_ptr<char[]> buffer;

    bool active() const { return state || hasher; }
    // Hands over what the kernel copied; false with errno set when it could not be hashed in line.
    bool kernelCopied(quint64 offset, size_t length)
    {
        if (hasher && !job && offset == 0)
            job.emplace(*hasher, source, expected);
        if (job) {
            job->add(offset, length);
            return true;
        }
        return !state || hashCopied(source, offset, length, buffer, state);
    }
    void read(const char *bytes, quint64 offset, size_t length)
    {
        if (job)
            job->add(offset, length);
        else if (state)
            XXH3_128bits_update(state, bytes, length);
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

} // namespace

KeptCopy &KeptCopy::operator=(KeptCopy &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

KeptCopy::~KeptCopy()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

KeptCopy KeptCopy::open(const QString &path)
{
    return KeptCopy(::open(pathToBytes(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
}

bool KeptCopy::isNamedBy(const QString &path) const
{
    struct stat held;
    struct stat named;
    if (m_fd < 0 || ::fstat(m_fd, &held) != 0 || ::lstat(pathToBytes(path).constData(), &named) != 0)
        return false;
    return S_ISREG(named.st_mode) && stampOf(held) == stampOf(named);
}

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

int UnnamedCopy::name(const QString &to, bool replace)
{
    if (m_fd < 0)
        return EBADF;
    const QByteArray target = pathToBytes(to);
    int failure = 0;
    if (replace) {
        struct stat there;
        if (::stat(target.constData(), &there) == 0 && S_ISDIR(there.st_mode))
            return EISDIR;
        // An unnamed file cannot be renamed over another: it gets a hidden name first.
        if (m_temporary.isEmpty()) {
            QByteArray hidden;
            for (int attempt = 0; attempt < 100 && hidden.isEmpty(); ++attempt) {
                const QByteArray candidate = temporaryName(parentOf(target));
                failure = linkUnnamed(m_fd, candidate);
                if (failure == 0)
                    hidden = candidate;
                else if (failure != EEXIST)
                    return mapError(failure);
            }
            if (hidden.isEmpty())
                return mapError(failure);
            m_temporary = hidden;
        }
        failure = ::rename(m_temporary.constData(), target.constData()) == 0 ? 0 : errno;
    } else if (m_temporary.isEmpty()) {
        failure = linkUnnamed(m_fd, target);
    } else {
        failure = renameNoReplace(m_temporary, target);
    }
    if (failure)
        return failure == EEXIST ? ERROR_FILE_EXISTS : mapError(failure);
    m_temporary.clear();
    return 0;
}

KeptCopy UnnamedCopy::keep()
{
    return KeptCopy(std::exchange(m_fd, -1));
}

int UnnamedCopy::close(const QString &named)
{
    const int fd = std::exchange(m_fd, -1);
    if (fd >= 0 && ::close(fd) != 0) {
        const int error = errno;
        ::unlink(pathToBytes(named).constData());
        return mapError(error);
    }
    return 0;
}

std::optional<FileStamp> FileStampOf(const QString &path)
{
    struct stat st;
    if (::stat(pathToBytes(path).constData(), &st) != 0)
        return std::nullopt;
    return stampOf(st);
}

int CopyFileWithProgress(const QString &source, const QString &destination,
                         const CopyProgressRoutine &progress, const bool *cancel, const CopyOptions &options,
                         CopyOutcome *outcome)
{
    CopyOutcome scratch;
    CopyOutcome &result = outcome ? *outcome : scratch;
    result = CopyOutcome();
    const QByteArray from = pathToBytes(source);
    const QByteArray to = pathToBytes(destination);
    const QByteArray folder = parentOf(to);

    Fd in(options.sourceFd >= 0 ? options.sourceFd : ::open(from.constData(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) {
        result.sourceFailed = true;
        return mapError(errno);
    }
    struct stat st;
    if (::fstat(in.get(), &st) != 0) {
        result.sourceFailed = true;
        return mapError(errno);
    }
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    if (!S_ISREG(st.st_mode))
        return EINVAL;

    // A clash is seen before a byte is written; the final step checks again. A copy named later leaves
    // clashes to its naming.
    bool replacing = false;
    struct stat old;
    if (::lstat(to.constData(), &old) == 0) {
        if (options.failIfExists && !options.deferName)
            return ERROR_FILE_EXISTS;
        struct stat target;
        if (!options.failIfExists && ::stat(to.constData(), &target) == 0) {
            if (S_ISDIR(target.st_mode))
                return EISDIR;
            if (target.st_dev == st.st_dev && target.st_ino == st.st_ino) {
                // The destination already is this very file; copying it onto itself would truncate it.
                if (progress)
                    progress(quint64(st.st_size), quint64(st.st_size));
                result.copy = stampOf(target);
                result.source = result.copy;
                return 0;
            }
        }
        replacing = !options.deferName;
    } else if (errno != ENOENT) {
        return mapError(errno);
    }
    ::posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    // While partial the file has no name (or a hidden one) and is private to its owner; the source's mode
    // is set once complete.
    QByteArray temporary; // empty for an unnamed temporary
    Fd out(replacing ? -1 : ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (out.get() < 0) {
        const int why = errno;
        if (!replacing && why != EOPNOTSUPP && why != EISDIR && why != EINVAL && why != ENOSYS)
            return mapError(why);
        out.reset(openNamedTemporary(folder, temporary));
        if (out.get() < 0)
            return mapError(errno);
    }
    struct stat own
    {
    };
    ::fstat(out.get(), &own);
    auto discard = [&] {
        out.reset();
        if (!temporary.isEmpty())
            removeOwn(temporary, own);
    };

    const quint64 total = quint64(st.st_size);
    quint64 done = 0;
    int failure = 0;
    // Hashing a file of several chunks in line would stall the copy: it goes to a hasher, the caller's
    // (which hashes behind the copies, across files) or one of this copy's own, beside the copy of the
    // next chunk, with the chunks kept small enough for the two to overlap.
    std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> state(nullptr, &XXH3_freeState);
    std::optional<ContentHasher> ownHasher;
    CopyHashing hashing;
    hashing.source = in.get();
    size_t chunk = FirstChunk;
    size_t maxChunk = MaxChunk;
    if (options.hash && options.hasher) {
        hashing.hasher = options.hasher;
        hashing.expected = stampOf(st);
    } else if (options.hash && total > HashedChunk) {
        hashing.hasher = &ownHasher.emplace();
        chunk = maxChunk = HashedChunk;
    }
    if (options.hash) {
        // Also for a file whose kernel copy is refused: its bytes are hashed as they are read.
        state.reset(XXH3_createState());
        XXH3_128bits_reset(state.get());
        hashing.state = state.get();
    }
    bool kernelCopy = true;
    std::unique_ptr<char[]> buffer;
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
        bool readFailed = false;
        const ssize_t n = copyChunk(in.get(), out.get(), want, done, kernelCopy, buffer, readFailed, hashing);
        if (n < 0) {
            failure = mapError(errno);
            result.sourceFailed = readFailed;
            break;
        }
        if (n == 0) {
            // The source became shorter than it was when opened.
            failure = EIO;
            result.sourceChanged = true;
            break;
        }
        done += quint64(n);
        if (progress)
            progress(total, done);
        const qint64 took = timer.nsecsElapsed();
        if (took < TargetChunkNs / 2 && chunk < maxChunk && size_t(n) == want)
            chunk *= 2;
        else if (took > TargetChunkNs * 2 && chunk > MinChunk)
            chunk /= 2;
    }
    if (hashing.job && ownHasher && !failure) {
        // Every range is hashed before the copy takes its name, so a source that cannot be read again
        // fails the copy as any other read would.
        const ContentHasher::Result hashed = ownHasher->take(hashing.job->keep());
        hashing.job.reset();
        if (hashed.error) {
            failure = mapError(hashed.error);
            result.sourceFailed = true;
        } else {
            result.hash = hashed.hash;
        }
    }
    struct stat now
    {
    };
    if (!failure) {
        struct stat src;
        if (::fstat(out.get(), &now) != 0) {
            failure = mapError(errno);
        } else if (::fstat(in.get(), &src) != 0) {
            failure = mapError(errno);
            result.sourceFailed = true;
        } else if (quint64(now.st_size) != total) {
            failure = EIO;
        } else if (src.st_size != st.st_size || src.st_mtim.tv_sec != st.st_mtim.tv_sec ||
                   src.st_mtim.tv_nsec != st.st_mtim.tv_nsec) {
            // A file still being written while it was copied (a camera or phone still saving): the copy
            // holds only what was there when it began, and a move would delete the rest with the source.
            failure = EIO;
            result.sourceChanged = true;
        }
    }
    if (!failure) {
        // Attributes are best effort (some filesystems keep no modes); the data is what must be right.
        ::fchmod(out.get(), st.st_mode & 07777);
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(out.get(), times);
        if (options.flush && !options.deferName)
            failure = mapError(fsyncFd(out.get()));
    }
    if (!failure && options.deferName) {
        ::fstat(out.get(), &now);
        result.copy = stampOf(now);
        result.source = stampOf(st);
        if (options.hash && !hashing.job && result.hash.isEmpty())
            result.hash = canonicalHash(XXH3_128bits_digest(state.get()));
        if (hashing.job)
            result.hashTicket = hashing.job->keep();
        result.unnamed = UnnamedCopy(out.release(), std::exchange(temporary, {}));
        return 0;
    }
    if (!failure) {
        if (temporary.isEmpty()) {
            failure = linkUnnamed(out.get(), to);
        } else if (replacing) {
            failure = ::rename(temporary.constData(), to.constData()) == 0 ? 0 : errno;
        } else {
            failure = renameNoReplace(temporary, to);
        }
        failure = failure == EEXIST ? ERROR_FILE_EXISTS : mapError(failure);
    }
    if (failure) {
        discard();
        return failure;
    }
    ::fstat(out.get(), &now);
    result.copy = stampOf(now);
    result.source = stampOf(st);
    if (options.hash && !hashing.job && result.hash.isEmpty())
        result.hash = canonicalHash(XXH3_128bits_digest(state.get()));
    if (options.flush) {
        if (const int error = fsyncFolder(folder)) {
            // The name may not survive a crash; the file is complete, so it stays for the caller to judge.
            return mapError(error);
        }
    }
    if (options.keepOpen) {
        result.kept = KeptCopy(out.release());
    } else if (const int closeError = out.close()) {
        // A delayed write error: the named file is not what it should be.
        ::unlink(to.constData());
        return mapError(closeError);
    }
    if (hashing.job)
        result.hashTicket = hashing.job->keep();
    return 0;
}

int DropCachedPages(int fd)
{
    return ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
}

namespace {

ContentCheck hashContent(const QString &path, bool dropCache, bool regularOnly)
{
    ContentCheck check;
    Fd in(::open(pathToBytes(path).constData(), O_RDONLY | O_CLOEXEC | (regularOnly ? O_NOFOLLOW : 0)));
    struct stat st;
    if (in.get() < 0 || ::fstat(in.get(), &st) != 0) {
        check.error = errno;
        return check;
    }
    if (regularOnly && !S_ISREG(st.st_mode)) {
        check.error = EINVAL;
        return check;
    }
    check.stamp = stampOf(st);
    if (dropCache)
        DropCachedPages(in.get());
    ::posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> hash(XXH3_createState(), &XXH3_freeState);
    XXH3_128bits_reset(hash.get());
    std::unique_ptr<char[]> buffer(new char[BufferSize]);
    for (;;) {
        const ssize_t got = ::read(in.get(), buffer.get(), BufferSize);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            check.error = errno;
            return check;
        }
        if (got == 0)
            break;
        XXH3_128bits_update(hash.get(), buffer.get(), size_t(got));
    }
    check.hash = canonicalHash(XXH3_128bits_digest(hash.get()));
    return check;
}

} // namespace

ContentCheck HashFileContent(const QString &path, bool dropCache)
{
    return hashContent(path, dropCache, false);
}

ContentCheck HashRegularFile(const QString &path)
{
    return hashContent(path, false, true);
}

std::optional<FileStamp> RegularFileStampOf(const QString &path)
{
    struct stat st;
    if (::lstat(pathToBytes(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return stampOf(st);
}

bool FolderListsName(const QString &path)
{
    const QByteArray bytes = pathToBytes(path);
    const qsizetype slash = bytes.lastIndexOf('/');
    const QByteArray name = bytes.mid(slash + 1);
    DIR *dir = ::opendir(slash <= 0 ? (slash == 0 ? "/" : ".") : bytes.left(slash).constData());
    if (!dir)
        return false;
    bool found = false;
    while (const dirent *entry = ::readdir(dir)) {
        if (name == entry->d_name) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

bool PathAnswers(const QString &path)
{
    struct stat st;
    return ::stat(pathToBytes(path).constData(), &st) == 0 || (errno != ENOTCONN && errno != ECONNABORTED);
}

QString NumberedName(const QString &path, int n)
{
    const qsizetype nameStart = path.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const qsizetype at = dot >= nameStart ? dot : path.size();
    return path.left(at) + QLatin1Char('_') + QString::number(n) + path.mid(at);
}

int CopyFileToFreeName(const QString &source, const QString &destination, const CopyProgressRoutine &progress,
                       const bool *cancel, CopyOptions options, CopyOutcome *outcome, QString *written)
{
    options.failIfExists = true;
    QString name = destination;
    int code = CopyFileWithProgress(source, name, progress, cancel, options, outcome);
    for (int n = 2; code == ERROR_FILE_EXISTS && n <= LastFreeNameNumber; ++n) {
        if (cancel && *cancel) {
            code = ERROR_REQUEST_ABORTED;
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

int SyncFileSystems(const QStringList &paths)
{
    QSet<dev_t> done;
    int firstError = 0;
    for (const QString &path : paths) {
        const QByteArray p = pathToBytes(path);
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
        int error = fd.get() < 0 ? errno : injectedFlushError();
        if (!error && ::syncfs(fd.get()) != 0)
            error = errno;
        if (error && !firstError)
            firstError = mapError(error);
    }
    return firstError;
}

void SetFlushFaultForTesting(std::function<int()> fault)
{
    flushFault() = std::move(fault);
}

QString VolumeRootOf(const QString &path)
{
    QByteArray p = pathToBytes(path);
    if (!p.startsWith('/')) {
        char *cwd = ::getcwd(nullptr, 0);
        p = QByteArray(cwd ? cwd : "/") + '/' + p;
        ::free(cwd);
    }
    struct stat st;
    QByteArray silent; // the highest folder of a mount whose filesystem stopped answering
    while (::stat(p.constData(), &st) != 0) {
        if (errno == ENOTCONN || errno == ECONNABORTED)
            silent = p;
        if (p == "/")
            return QStringLiteral("/");
        p = parentOf(p);
    }
    if (!silent.isEmpty())
        return pathFromBytes(silent);
    while (p != "/") {
        const QByteArray up = parentOf(p);
        struct stat parent;
        if (::stat(up.constData(), &parent) != 0 || parent.st_dev != st.st_dev)
            break;
        p = up;
    }
    return pathFromBytes(p);
}

int RemoveFile(const QString &path)
{
    return ::unlink(pathToBytes(path).constData()) == 0 ? 0 : errno;
}

std::optional<FileId> FileIdOf(const QString &path)
{
    struct stat st;
    if (::stat(pathToBytes(path).constData(), &st) != 0)
        return std::nullopt;
    return FileId{quint64(st.st_dev), quint64(st.st_ino)};
}

bool PathExists(const QString &path)
{
    struct stat st;
    return ::lstat(pathToBytes(path).constData(), &st) == 0;
}

bool PassesThroughLink(const QString &root, const QString &path)
{
    QByteArray base = pathToBytes(root);
    while (base.size() > 1 && base.endsWith('/'))
        base.chop(1);
    const QByteArray full = pathToBytes(path);
    if (!full.startsWith(base) || (base != "/" && full.size() > base.size() && full.at(base.size()) != '/'))
        return true;
    // Every folder from just below root down to the file itself.
    qsizetype at = base.size();
    for (;;) {
        at = full.indexOf('/', at + 1);
        const QByteArray part = at < 0 ? full : full.left(at);
        if (part.size() > base.size() && !part.endsWith('/')) {
            struct stat st;
            if (::lstat(part.constData(), &st) != 0 || S_ISLNK(st.st_mode))
                return true;
        }
        if (at < 0)
            return false;
    }
}

} // namespace vantora
