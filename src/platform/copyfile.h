#pragma once

#include <QHashFunctions>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace vantora {

// Error codes of a failed copy. The two the transfer loop tells apart keep their Windows numbers;
// every other failure is the system's errno.
inline constexpr int ERROR_FILE_EXISTS = 80;
inline constexpr int ERROR_DISK_FULL = 112;        // ENOSPC and EDQUOT
inline constexpr int ERROR_REQUEST_ABORTED = 1235; // the cancel flag was seen

// Called after every chunk with the file's size and the bytes written so far; once with (0, 0) for an
// empty file. It may run the event loop, which is how the cancel flag gets set during a copy.
using CopyProgressRoutine = std::function<void(quint64 total, quint64 done)>;

struct CopyOptions
{
    // Refuse an existing destination (ERROR_FILE_EXISTS). Otherwise an existing file is replaced
    // through a temporary file renamed over it only once the copy is complete.
    bool failIfExists = true;
    // fsync the new file and its folder before returning success (a move deletes its source next).
    bool flush = false;
};

// Copies one regular file with progress and cancellation. Returns 0 on success, else an error code
// above. The cancel flag (single-threaded: set from the progress routine's event pumping) is polled
// between chunks; a request made during the last chunk's progress call lets the complete copy stand. A new
// file is created exclusively, so a clash is seen before a byte is written. Mode and modification time are
// carried over; the byte count is checked against the source. A failed or cancelled copy removes only its own
// partial file; an old file being replaced stays intact.
int CopyFileWithProgress(const QString &source, const QString &destination,
                         const CopyProgressRoutine &progress, const bool *cancel,
                         const CopyOptions &options = {});

// Flushes each distinct filesystem holding one of the paths (syncfs). Returns 0, or the first errno (a
// path that no longer exists is an error).
int SyncFileSystems(const QStringList &paths);

// The mount point of the filesystem that holds the path (or would hold it: the nearest existing
// ancestor decides). Used to name the volume in a disk-full message.
QString VolumeRootOf(const QString &path);

// A file whatever path reaches it: a folder reached twice (a bind mount, a second mount, a filesystem that
// ignores case) gives two paths to one file.
struct FileId
{
    quint64 device = 0;
    quint64 inode = 0;
    friend bool operator==(const FileId &, const FileId &) = default;
    friend size_t qHash(const FileId &id, size_t seed = 0) { return qHashMulti(seed, id.device, id.inode); }
};

// The file a path refers to (links followed), or nothing when it cannot be read.
std::optional<FileId> FileIdOf(const QString &path);

// Deletes a file; returns 0 or the errno.
int RemoveFile(const QString &path);

} // namespace vantora
