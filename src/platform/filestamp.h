#pragma once

#include "platform/filetimes.h"

#include <QHashFunctions>
#include <QString>

#include <optional>
#include <utility>

struct stat;

namespace vantora {

// Which file a path names and what it looked like, and the other questions asked of a path (through its
// exact bytes, pathToBytes) without reading the file.

// What a file looked like at one moment: which file it is and its size and modification time. Inode
// numbers alone are not stable on some FUSE filesystems, so a file is recognised by all four.
struct FileStamp
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = -1;
    FileTime mtime;
    friend bool operator==(const FileStamp &, const FileStamp &) = default;
};

// The stamp of what stat, lstat or fstat filled in.
FileStamp FileStampFromStat(const struct stat &st);
// The stamp of the file a path names (links followed), or nothing when it cannot be read.
std::optional<FileStamp> FileStampOf(const QString &path);
// The stamp of the regular file the name itself holds (not through a link), or nothing.
std::optional<FileStamp> RegularFileStampOf(const QString &path);

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

// A finished copy whose descriptor stays open, so that a move can check, just before it deletes the
// source, that the destination name still holds this very copy. Move-only; closes on destruction.
class KeptCopy final
{
public:
    KeptCopy() = default;
    explicit KeptCopy(int fd) : m_fd(fd) {}
    KeptCopy(KeptCopy &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    KeptCopy &operator=(KeptCopy &&other) noexcept;
    KeptCopy(const KeptCopy &) = delete;
    KeptCopy &operator=(const KeptCopy &) = delete;
    ~KeptCopy();

    // Holds a file that is already there (read-only), not through a link.
    static KeptCopy open(const QString &path);

    bool isOpen() const { return m_fd >= 0; }
    // True when path itself (not a link) names the file this descriptor holds, with the same size and
    // modification time.
    bool isNamedBy(const QString &path) const;

private:
    int m_fd = -1;
};

// True when the folder lists an entry spelled exactly as the path's last name. On a filesystem that
// ignores case a name can reach a file listed under another spelling.
bool FolderListsName(const QString &path);
// False when the filesystem holding the path stopped answering (a FUSE daemon that died).
bool PathAnswers(const QString &path);
// Any entry under the name, a dangling link included.
bool PathExists(const QString &path);

// unlink: removes a file or a link itself, never a folder; 0 or the errno.
int RemoveFile(const QString &path);

// The mount point of the filesystem that holds the path (or would hold it: the nearest existing
// ancestor decides). Used to name the volume in a disk-full message.
QString VolumeRootOf(const QString &path);

// True when a component of path below root is a symbolic link (root itself may be one). Paths are absolute
// texts; path must lie under root.
bool PassesThroughLink(const QString &root, const QString &path);

} // namespace vantora
