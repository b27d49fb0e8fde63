#include "platform/pagecache.h"

#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <sys/uio.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace vantora {

namespace {

// Does one kind of disk work on the files handed over, in the order asked. Each file is a duplicate of the
// caller's descriptor, closed once done.
class IoStarter final
{
public:
    using Work = void (*)(int fd, quint64 length);
    explicit IoStarter(Work work) : m_work(work), m_thread([this] { run(); }) {}
    ~IoStarter()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_one();
        m_thread.join();
        cancel();
    }
    IoStarter(const IoStarter &) = delete;
    IoStarter &operator=(const IoStarter &) = delete;

    void start(int fd, quint64 length)
    {
        const int duplicate = fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (duplicate < 0)
            return;
        {
            const std::lock_guard lock(m_mutex);
            m_files.emplace_back(duplicate, length);
        }
        m_wake.notify_one();
    }

    void cancel()
    {
        const std::lock_guard lock(m_mutex);
        for (const auto &[fd, length] : m_files)
            ::close(fd);
        m_files.clear();
    }

private:
    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_stop || !m_files.empty(); });
            if (m_stop)
                return;
            const auto [fd, length] = m_files.front();
            m_files.pop_front();
            lock.unlock();
            m_work(fd, length);
            ::close(fd);
            lock.lock();
        }
    }

    const Work m_work;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::pair<int, quint64>> m_files;
    bool m_stop = false;
    std::thread m_thread; // last: it starts once the rest is made
};

} // namespace

bool IsCachedAlready(int fd, quint64 size)
{
    char byte;
    struct iovec one
    {
        &byte, 1
    };
    return ::preadv2(fd, &one, 1, off_t(size / 2), RWF_NOWAIT) == 1;
}

namespace {

IoStarter &readAheadStarter()
{
    static IoStarter starter(
        [](int file, quint64 bytes) { ::posix_fadvise(file, 0, off_t(bytes), POSIX_FADV_WILLNEED); });
    return starter;
}

} // namespace

void StartReadAhead(int fd, quint64 length)
{
    readAheadStarter().start(fd, length);
}

void CancelReadAheads()
{
    readAheadStarter().cancel();
}

void StartWriteback(int fd, quint64 size)
{
    constexpr quint64 WritebackMinBytes = 256 * 1024;
    if (size < WritebackMinBytes)
        return;
    static IoStarter starter([](int file, quint64) { ::sync_file_range(file, 0, 0, SYNC_FILE_RANGE_WRITE); });
    starter.start(fd, 0);
}

} // namespace vantora
