#include "platform/contenthash.h"

#include "platform/bytepath.h"

#include <xxhash.h>
#if defined(__x86_64__) || defined(__i386__)
// The library picks the widest vector unit of the processor it runs on (AVX2, AVX-512) at run time.
#include <xxh_x86dispatch.h>
#endif

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <csetjmp>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vantora {

namespace {

constexpr size_t BufferSize = 1024 * 1024;
// Buffer address, size and file offsets of a direct read are multiples of this (a disk's logical block).
constexpr size_t DirectAlignment = 4096;
// Small enough that a range read back for its hash is still in the processor's cache when it is hashed.
constexpr size_t HashBuffer = 256 * 1024;

// Hashes `length` bytes of the file from `offset`: the pages the copy just went through, so they come
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

std::function<void(int)> &beforeMappedHashHook()
{
    static std::function<void(int)> hook;
    return hook;
}

// The range being hashed where it lies mapped, on this thread: a page of it that cannot be had (the file
// cut short by another program, the card taken out while a page had to be read again) raises SIGBUS,
// which ends the hash as a failed read would, instead of the process.
thread_local sigjmp_buf *t_mappedJump = nullptr;
thread_local const char *t_mappedBegin = nullptr;
thread_local const char *t_mappedEnd = nullptr;
struct sigaction g_previousBus;

void onBus(int signal, siginfo_t *info, void *context)
{
    const char *at = static_cast<const char *>(info->si_addr);
    if (t_mappedJump && at >= t_mappedBegin && at < t_mappedEnd)
        siglongjmp(*t_mappedJump, 1);
    // Not a hash's: as the handler before would have it.
    if ((g_previousBus.sa_flags & SA_SIGINFO) && g_previousBus.sa_sigaction) {
        g_previousBus.sa_sigaction(signal, info, context);
        return;
    }
    if (!(g_previousBus.sa_flags & SA_SIGINFO) && g_previousBus.sa_handler != SIG_DFL &&
        g_previousBus.sa_handler != SIG_IGN) {
        g_previousBus.sa_handler(signal);
        return;
    }
    // Returning runs the access again, which now ends the process as it would have without this handler.
    ::signal(SIGBUS, SIG_DFL);
}

bool busHandled()
{
    static const bool installed = [] {
        struct sigaction action = {};
        action.sa_sigaction = onBus;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        return ::sigaction(SIGBUS, &action, &g_previousBus) == 0;
    }();
    return installed;
}

enum class Mapped
{
    Hashed,
    NotCached, // to be read instead
    Failed     // errno set
};

// A range a copy just went through is in the page cache: hashed where it lies, mapped, rather than copied
// out of the cache first (which cost a fifth of an import's processor time). A range not wholly cached
// (its pages reclaimed meanwhile, the file shorter now) is left to hashCopied, which reads it.
Mapped hashMapped(int in, quint64 offset, size_t length, XXH3_state_t *hash)
{
    static const quint64 page = quint64(::sysconf(_SC_PAGESIZE));
    if (length == 0)
        return Mapped::Hashed;
    if (!busHandled())
        return Mapped::NotCached;
    const quint64 start = offset & ~(page - 1);
    const size_t span = size_t(offset + length - start);
    void *map = ::mmap(nullptr, span, PROT_READ, MAP_SHARED, in, off_t(start));
    if (map == MAP_FAILED)
        return Mapped::NotCached;
    thread_local std::vector<unsigned char> cached;
    cached.resize((span + page - 1) / page);
    Mapped result = Mapped::NotCached;
    if (::mincore(map, span, cached.data()) == 0 &&
        std::all_of(cached.cbegin(), cached.cend(), [](unsigned char c) { return c & 1; })) {
        if (const auto &hook = beforeMappedHashHook())
            hook(in);
        sigjmp_buf jump;
        if (sigsetjmp(jump, 1) == 0) {
            t_mappedBegin = static_cast<const char *>(map);
            t_mappedEnd = t_mappedBegin + span;
            t_mappedJump = &jump;
            XXH3_128bits_update(hash, t_mappedBegin + (offset - start), length);
            result = Mapped::Hashed;
        } else {
            result = Mapped::Failed;
        }
        t_mappedJump = nullptr;
    }
    ::munmap(map, span);
    if (result == Mapped::Failed)
        errno = EIO;
    return result;
}

QByteArray canonicalHash(XXH128_hash_t value)
{
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, value);
    return QByteArray(reinterpret_cast<const char *>(canonical.digest), sizeof canonical.digest);
}

struct FdCloser
{
    int fd;
    ~FdCloser()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

struct ContentHash::State
{
    State() : state(XXH3_createState()) { XXH3_128bits_reset(state); }
    ~State() { XXH3_freeState(state); }
    State(const State &) = delete;
    State &operator=(const State &) = delete;

    XXH3_state_t *state;
    std::unique_ptr<char[]> buffer; // for addRead, made at its first call
};

ContentHash::ContentHash() : d(std::make_unique<State>())
{
}
ContentHash::~ContentHash() = default;
ContentHash::ContentHash(ContentHash &&) noexcept = default;
ContentHash &ContentHash::operator=(ContentHash &&) noexcept = default;

void ContentHash::add(const char *bytes, size_t length)
{
    XXH3_128bits_update(d->state, bytes, length);
}

bool ContentHash::addRead(int fd, quint64 offset, size_t length)
{
    return hashCopied(fd, offset, length, d->buffer, d->state);
}

QByteArray ContentHash::result() const
{
    return canonicalHash(XXH3_128bits_digest(d->state));
}

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
        bool dropPages = false;
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

    quint64 begin(int fd, std::optional<FileStamp> expected, bool dropPages)
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
        job.dropPages = dropPages;
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
                if (!job->error && !stopping) {
                    const Mapped mapped = hashMapped(job->fd, item.offset, item.length, job->state);
                    if (mapped == Mapped::Failed ||
                        (mapped == Mapped::NotCached &&
                         !hashCopied(job->fd, item.offset, item.length, buffer, job->state)))
                        job->error = errno ? errno : EIO;
                }
                {
                    const std::lock_guard<std::mutex> lock(mutex);
                    queuedBytes -= item.length;
                }
                changed.notify_all();
                continue;
            }
            Result result;
            // Nothing reads the file's pages again (a second copy reads each range before its file ends
            // here): handed back, an import as large as the disk reuses its own pages instead of making
            // the system reclaim others'.
            if (job->fd >= 0 && job->dropPages)
                ::posix_fadvise(job->fd, 0, 0, POSIX_FADV_DONTNEED);
            if (item.kind == Kind::End) {
                struct stat now;
                result.error = job->error;
                if (!result.error && job->expected &&
                    (::fstat(job->fd, &now) != 0 || now.st_size != job->expected->size ||
                     FileStampFromStat(now).mtime != job->expected->mtime))
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

ContentHashJob::ContentHashJob(ContentHasher &hasher, int fd, std::optional<FileStamp> expected,
                               bool dropPages)
    : m_queue(*hasher.d), m_ticket(m_queue.begin(fd, expected, dropPages))
{
}

ContentHashJob::~ContentHashJob()
{
    if (m_ticket)
        m_queue.push({ContentHasher::Queue::Kind::Drop, m_ticket});
}

void ContentHashJob::add(quint64 offset, size_t length)
{
    m_queue.push({ContentHasher::Queue::Kind::Range, m_ticket, offset, length});
}

quint64 ContentHashJob::keep()
{
    m_queue.push({ContentHasher::Queue::Kind::End, m_ticket});
    return std::exchange(m_ticket, 0);
}

int DropCachedPages(int fd)
{
    return ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
}

namespace {

// Reads an open file whole from its start into `buffer` (BufferSize, aligned for direct reads). A file
// opened for direct reads that refuses them on this filesystem is read through the cache instead, its
// pages dropped first.
int readWhole(int fd, char *buffer, ContentHash &hash)
{
    for (;;) {
        const ssize_t got = ::read(fd, buffer, BufferSize);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && errno == EINVAL && (::fcntl(fd, F_GETFL) & O_DIRECT)) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_DIRECT);
            DropCachedPages(fd);
            if (::lseek(fd, 0, SEEK_SET) != 0)
                return errno;
            hash = ContentHash();
            continue;
        }
        if (got < 0)
            return errno;
        if (got == 0)
            return 0;
        hash.add(buffer, size_t(got));
    }
}

ContentCheck hashDescriptor(int fd, bool fromDisk, bool regularOnly)
{
    ContentCheck check;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        check.error = errno;
        return check;
    }
    if (regularOnly && !S_ISREG(st.st_mode)) {
        check.error = EINVAL;
        return check;
    }
    check.stamp = FileStampFromStat(st);
    const bool direct = ::fcntl(fd, F_GETFL) & O_DIRECT;
    if (fromDisk && !direct)
        DropCachedPages(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    ContentHash hash;
    const std::unique_ptr<char, decltype(&std::free)> buffer(
        static_cast<char *>(std::aligned_alloc(DirectAlignment, BufferSize)), &std::free);
    check.error = readWhole(fd, buffer.get(), hash);
    if (check.error)
        return check;
    if (fromDisk && !(::fcntl(fd, F_GETFL) & O_DIRECT))
        DropCachedPages(fd); // read from the disk, and left there
    check.hash = hash.result();
    return check;
}

ContentCheck hashContent(const QString &path, bool dropCache, bool regularOnly)
{
    // Read from the disk: a direct read goes past the cache (and costs a third of the processor time of
    // dropping the pages and reading them in again); where the filesystem has none, the cache is dropped.
    const int flags = O_RDONLY | O_CLOEXEC | (regularOnly ? O_NOFOLLOW : 0);
    const QByteArray name = pathToBytes(path);
    FdCloser in{dropCache ? ::open(name.constData(), flags | O_DIRECT) : -1};
    if (in.fd < 0)
        in.fd = ::open(name.constData(), flags);
    if (in.fd < 0) {
        ContentCheck check;
        check.error = errno;
        return check;
    }
    return hashDescriptor(in.fd, dropCache, regularOnly);
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

ContentCheck HashOpenFile(int fd)
{
    return hashDescriptor(fd, false, true);
}

void SetBeforeMappedHashHookForTesting(std::function<void(int fd)> hook)
{
    beforeMappedHashHook() = std::move(hook);
}

} // namespace vantora
