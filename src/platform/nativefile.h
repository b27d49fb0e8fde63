#pragma once

#include <QString>
#include <QtGlobal>

namespace vantora {

enum class NativeFileAccess
{
    Read,
    Write,
    ReadWrite
};

// Advisory lock held while the handle is open. It keeps out only other handles that lock too; where the
// filesystem offers no locks (some network and FUSE mounts) the file opens without one.
enum class NativeFileLock
{
    None,
    Shared,
    Exclusive
};

// Opens an existing regular file, or with create makes it (an existing one is emptied only once the lock
// is held, so a file in use elsewhere keeps its content). Answers the handle, or -1 with the system's
// error code in error; a lock held elsewhere gives nativeSharingViolation().
int openNativeFile(const QString &path, NativeFileAccess access, NativeFileLock lock, bool create,
                   int &error);
void closeNativeFile(int handle);

// Bytes transferred (0 at the end of the file), or -1 with error set.
qint64 readNativeFile(int handle, void *buffer, qint64 count, int &error);
qint64 writeNativeFile(int handle, const void *buffer, qint64 count, int &error);

enum class NativeSeekOrigin
{
    Beginning,
    Current,
    End
};
// The new position, or -1 with error set (the position is then unchanged).
qint64 seekNativeFile(int handle, qint64 offset, NativeSeekOrigin origin, int &error);
// The file's size in bytes, or -1 with error set.
qint64 nativeFileSize(int handle, int &error);

// True for an existing regular file (links followed); folders and special files answer false.
bool nativeRegularFileExists(const QString &path);

int nativeSharingViolation();
int nativeInvalidArgument();
QString nativeErrorText(int error);

} // namespace vantora
