#include "platform/pagecache.h"

#include <algorithm>
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
// caller's descriptor, closed once done. Each file handed over has a ticket, the next number: waitFor()
// returns once the work of that ticket and all before it is done or dropped.
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

    // The file's ticket; 0 when it could not be handed over.
    quint64 start(int fd, quint64 length)
    {
        const int duplicate = fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (duplicate < 0)
            return 0;
        quint64 ticket;
        {
            const std::lock_guard lock(m_mutex);
            ticket = ++m_issued;
            m_files.push_back({duplicate, length, ticket});
        }
        m_wake.notify_one();
        return ticket;
    }

    void cancel()
    {
        {
            const std::lock_guard lock(m_mutex);
            for (const Queued &q : m_files)
                ::close(q.fd);
            m_files.clear();
            m_done = m_issued;
        }
        m_finished.notify_all();
    }

    void waitFor(quint64 ticket)
    {
        std::unique_lock lock(m_mutex);
        m_finished.wait(lock, [&] { return m_done >= ticket; });
    }

private:
    struct Queued
    {
        int fd;
        quint64 length;
        quint64 ticket;
    };

    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_stop || !m_files.empty(); });
            if (m_stop)
                return;
            const Queued q = m_files.front();
            m_files.pop_front();
            lock.unlock();
            m_work(q.fd, q.length);
            ::close(q.fd);
            lock.lock();
            m_done = std::max(m_done, q.ticket);
            m_finished.notify_all();
        }
    }

    const Work m_work;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_finished;
    std::deque<Queued> m_files;
    quint64 m_issued = 0;
    quint64 m_done = 0;
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

quint64 StartReadAhead(int fd, quint64 length)
{
    return readAheadStarter().start(fd, length);
}

void WaitForReadAhead(quint64 ticket)
{
    readAheadStarter().waitFor(ticket);
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
