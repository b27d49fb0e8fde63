#include "platform/nativefile.h"

#include "platform/bytepath.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantora {

int openNativeFile(const QString &path, NativeFileAccess access, NativeFileLock lock, bool create, int &error)
{
    const QByteArray native = pathToBytes(path);
    int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK; // a FIFO must not block the open
    switch (access) {
    case NativeFileAccess::Read:
        flags |= O_RDONLY;
        break;
    case NativeFileAccess::Write:
        flags |= O_WRONLY;
        break;
    case NativeFileAccess::ReadWrite:
        flags |= O_RDWR;
        break;
    }
    if (create)
        flags |= O_CREAT;
    int fd;
    do {
        fd = ::open(native.constData(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        error = errno;
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return -1;
    }
    if (lock != NativeFileLock::None) {
        const int op = (lock == NativeFileLock::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
        int rc;
        do {
            rc = ::flock(fd, op);
        } while (rc != 0 && errno == EINTR);
        if (rc != 0 && errno == EWOULDBLOCK) {
            ::close(fd);
            error = EBUSY;
            return -1;
        }
    }
    if (create && ::ftruncate(fd, 0) != 0) {
        error = errno;
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

void closeNativeFile(int handle)
{
    if (handle >= 0)
        ::close(handle);
}

namespace {

// Repeats a read or write until count bytes are done or it fails; a read also stops at the end of the file
// (0). step(done) moves the next part.
template <typename Step> qint64 repeatUntilDone(qint64 count, bool zeroEnds, int &error, Step step)
{
    qint64 done = 0;
    while (done < count) {
        const ssize_t n = step(done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            return -1;
        }
        if (n == 0 && zeroEnds)
            break;
        done += n;
    }
    return done;
}

} // namespace

qint64 readNativeFile(int handle, void *buffer, qint64 count, int &error)
{
    auto *p = static_cast<char *>(buffer);
    return repeatUntilDone(count, true, error,
                           [&](qint64 done) { return ::read(handle, p + done, size_t(count - done)); });
}

qint64 writeNativeFile(int handle, const void *buffer, qint64 count, int &error)
{
    const auto *p = static_cast<const char *>(buffer);
    return repeatUntilDone(count, false, error,
                           [&](qint64 done) { return ::write(handle, p + done, size_t(count - done)); });
}

qint64 seekNativeFile(int handle, qint64 offset, NativeSeekOrigin origin, int &error)
{
    const int whence = origin == NativeSeekOrigin::Beginning ? SEEK_SET
                       : origin == NativeSeekOrigin::Current ? SEEK_CUR
                                                             : SEEK_END;
    const off_t pos = ::lseek(handle, off_t(offset), whence);
    if (pos < 0) {
        error = errno;
        return -1;
    }
    return pos;
}

qint64 nativeFileSize(int handle, int &error)
{
    struct stat st;
    if (::fstat(handle, &st) != 0) {
        error = errno;
        return -1;
    }
    return st.st_size;
}

bool nativeRegularFileExists(const QString &path)
{
    struct stat st;
    return !path.isEmpty() && ::stat(pathToBytes(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

int nativeSharingViolation()
{
    return EBUSY;
}

int nativeInvalidArgument()
{
    return EINVAL;
}

QString nativeErrorText(int error)
{
    return qt_error_string(error);
}

} // namespace vantora
