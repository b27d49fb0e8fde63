#include "platform/readonlyfile.h"

#include "platform/bytepath.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantora {

ReadOnlyFile::ReadOnlyFile(const QString &path)
{
    if (path.isEmpty()) {
        m_error = ENOENT;
        return;
    }
    const QByteArray native = pathToBytes(path);
    int fd;
    do {
        fd =
            ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK); // a FIFO must not block
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        m_error = errno;
        return;
    }
    take(fd);
    if (m_fd >= 0)
        ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
}

ReadOnlyFile::ReadOnlyFile(int fd)
{
    if (fd < 0) {
        m_error = EBADF;
        return;
    }
    take(fd);
}

void ReadOnlyFile::take(int fd)
{
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        m_error = errno;
        ::close(fd);
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        m_error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return;
    }
    m_fd = fd;
    m_size = st.st_size;
}

ReadOnlyFile::~ReadOnlyFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

qint64 ReadOnlyFile::readAt(qint64 offset, void *buffer, qint64 count) const
{
    if (m_fd < 0 || offset < 0 || count < 0)
        return -1;
    auto *p = static_cast<char *>(buffer);
    qint64 done = 0;
    while (done < count) {
        const ssize_t n = ::pread(m_fd, p + done, size_t(count - done), off_t(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

QByteArray ReadBytes(const ReadOnlyFile &file, qint64 offset, qint64 count)
{
    if (offset < 0 || count <= 0 || offset > file.size() || count > file.size() - offset)
        return {};
    QByteArray bytes(qsizetype(count), Qt::Uninitialized);
    if (file.readAt(offset, bytes.data(), count) != count)
        return {};
    return bytes;
}

} // namespace vantora
