#pragma once

#include "platform/filetimes.h"

#include <QHashFunctions>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace vantora {

// Error codes of a failed copy. The two the transfer loop tells apart keep their Windows numbers;
// every other failure is the system's errno.
inline constexpr int ERROR_FILE_EXISTS = 80;
inline constexpr int ERROR_DISK_FULL = 112;        // ENOSPC and EDQUOT
inline constexpr int ERROR_REQUEST_ABORTED = 1235; // the cancel flag was seen

// Called after every chunk with the file's size and the bytes written so far; once with (0, 0) for an
// empty file. It may run the event loop, which is how the cancel flag gets set during a copy.
using CopyProgressRoutine = std::function<void(quint64 total, quint64 done)>;

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

// The stamp of the file a path names (links followed), or nothing when it cannot be read.
std::optional<FileStamp> FileStampOf(const QString &path);

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

// A complete copy that has no name yet: an unnamed temporary, or a hidden temporary name where the
// filesystem has none. It takes its name once its data is on the disk, so that a crash or a power cut
// never leaves a photo's name on a file whose data did not arrive. Dropped without a name, it leaves
// nothing behind. Move-only.
class UnnamedCopy final
{
public:
    UnnamedCopy() = default;
    // Takes over a written file's descriptor and its hidden name (empty when it has none).
    UnnamedCopy(int fd, QByteArray temporary);
    UnnamedCopy(UnnamedCopy &&other) noexcept;
    UnnamedCopy &operator=(UnnamedCopy &&other) noexcept;
    UnnamedCopy(const UnnamedCopy &) = delete;
    UnnamedCopy &operator=(const UnnamedCopy &) = delete;
    ~UnnamedCopy();

    bool isOpen() const { return m_fd >= 0; }
    // Gives the copy the name `to`, replacing a file there when `replace` (only once the new one is
    // whole; a folder is never replaced), else failing with ERROR_FILE_EXISTS when the name is taken. On
    // success the copy keeps its descriptor for keep() or close().
    int name(const QString &to, bool replace);
    // After name(): the descriptor, for a move to check the name before it deletes the source.
    KeptCopy keep();
    // After name(): closes it; a delayed write error removes the name again and is returned.
    int close(const QString &named);

private:
    void discard();

    int m_fd = -1;
    QByteArray m_temporary; // a hidden name; empty for an unnamed temporary
    quint64 m_device = 0;
    quint64 m_inode = 0;
};

// Hashes the sources of copies on a thread of its own, behind the copies: a copy made with
// CopyOptions::hasher hands over the ranges it copied and goes on with the next file while they are read
// back from the page cache and hashed; the hash is collected with take() when it is needed.
class ContentHasher final
{
public:
    ContentHasher();
    ~ContentHasher();
    ContentHasher(const ContentHasher &) = delete;
    ContentHasher &operator=(const ContentHasher &) = delete;

    struct Result
    {
        int error = 0;   // errno of a read; ESTALE when the source was written to after its copy
        QByteArray hash; // without an error: the content's 16-byte XXH3-128, as CopyOutcome::hash gives it
    };
    // Waits for the hash of a copy (CopyOutcome::hashTicket). Each ticket is taken once.
    Result take(quint64 ticket);

private:
    friend class ContentHashJob;
    struct Queue;
    std::unique_ptr<Queue> d;
};

struct CopyOptions
{
    // Refuse an existing destination (ERROR_FILE_EXISTS), before a byte is read. Otherwise an existing
    // file is replaced through a temporary file renamed over it only once the copy is complete.
    bool failIfExists = true;
    // fsync the new file and its folder before returning success.
    bool flush = false;
    // Hand the copy's open descriptor back in CopyOutcome::kept.
    bool keepOpen = false;
    // Leave the complete copy without its name (CopyOutcome::unnamed), for the caller to name once it has
    // flushed it. No clash is looked for: the name is the caller's to give. keepOpen and flush do not apply.
    bool deferName = false;
    // Hash the content as it is read (CopyOutcome::hash). The bytes then pass through user space rather
    // than being copied inside the kernel.
    bool hash = false;
    // With hash: hash on this hasher, behind the copy, instead of before the copy returns
    // (CopyOutcome::hashTicket instead of CopyOutcome::hash).
    ContentHasher *hasher = nullptr;
    // The source already open for reading: the copy reads it instead of opening the source by name, and
    // closes it.
    int sourceFd = -1;
};

// What a copy tells beyond its code.
struct CopyOutcome
{
    KeptCopy kept;              // with keepOpen, after success
    UnnamedCopy unnamed;        // with deferName, after success (not open for a file copied onto itself)
    FileStamp copy;             // the new file, after success
    FileStamp source;           // the source as it was copied, after success
    QByteArray hash;            // with CopyOptions::hash, after success: the content's 16-byte XXH3-128
    quint64 hashTicket = 0;     // with CopyOptions::hasher instead, after success: the hash to take from it
    bool sourceFailed = false;  // the failure came from the source (open, read, gone)
    bool sourceChanged = false; // the source was written to while it was copied
};

// Copies one regular file with progress and cancellation. Returns 0 on success, else an error code
// above. The cancel flag (single-threaded: set from the progress routine's event pumping) is polled
// between chunks; a request made during the last chunk's progress call lets the complete copy stand.
// A new file is written as an unnamed temporary in the destination folder (or, where the filesystem has
// none, under a hidden temporary name) and takes its name only once complete, never replacing a file
// that appeared meanwhile (ERROR_FILE_EXISTS). Mode and modification time are carried over; the byte count
// is checked against the source. A failed or cancelled copy leaves nothing behind; an old file being
// replaced stays intact.
int CopyFileWithProgress(const QString &source, const QString &destination,
                         const CopyProgressRoutine &progress, const bool *cancel,
                         const CopyOptions &options = {}, CopyOutcome *outcome = nullptr);

// What reading a file back found.
struct ContentCheck
{
    int error = 0;   // errno of the open or a read; 0 when the file was read whole
    QByteArray hash; // XXH3-128 of the content, as CopyOutcome::hash gives it
    FileStamp stamp; // the file that was read
};

// Reads a file whole and hashes it. With dropCache, the file's cached pages are dropped first, so that
// where the filesystem keeps them in the page cache (not tmpfs, not FUSE) the bytes come from the disk;
// pages still waiting to be written stay, so flush first.
ContentCheck HashFileContent(const QString &path, bool dropCache = false);

// The same for a regular file that the name itself holds (not a link); EINVAL for anything else, ELOOP
// for a link.
ContentCheck HashRegularFile(const QString &path);
// The stamp of the regular file the name itself holds (not through a link), or nothing.
std::optional<FileStamp> RegularFileStampOf(const QString &path);

// True when the folder lists an entry spelled exactly as the path's last name. On a filesystem that
// ignores case a name can reach a file listed under another spelling.
bool FolderListsName(const QString &path);
// False when the filesystem holding the path stopped answering (a FUSE daemon that died).
bool PathAnswers(const QString &path);

// Drops the clean cached pages of an open file (posix_fadvise DONTNEED); 0 or the errno.
int DropCachedPages(int fd);

// The n-th name tried beside a taken one: "_n" goes before the last "." of the file name ("P1.JPG" ->
// "P1_2.JPG", "README" -> "README_2", ".hidden" -> "_2.hidden").
QString NumberedName(const QString &path, int n);
inline constexpr int LastFreeNameNumber = 99;

// Copies to destination or, while a name is taken, to the first free one of NumberedName(destination, 2)
// .. NumberedName(destination, 99). Each name is tried by the copy itself, which never replaces a file
// (failIfExists is forced), so a name taken while the copy runs only moves it on to the next: there is
// no window between choosing a name and writing it. Returns 0, ERROR_FILE_EXISTS when every name is
// taken, or the first other failure (a cancel stops the search); *written is the last name tried.
int CopyFileToFreeName(const QString &source, const QString &destination, const CopyProgressRoutine &progress,
                       const bool *cancel, CopyOptions options = {}, CopyOutcome *outcome = nullptr,
                       QString *written = nullptr);

// True for a name a copy uses while it is not complete; such files are removed by RemoveCopyLeftovers and
// never taken as sources.
bool IsCopyLeftoverName(const QString &fileName);
// Removes the temporaries an interrupted copy left in a folder (not below it). Returns how many.
int RemoveCopyLeftovers(const QString &folder);

// Flushes each distinct filesystem holding one of the paths (syncfs). Returns 0, or the first errno (a
// path that no longer exists is an error).
int SyncFileSystems(const QStringList &paths);

// Tests make every flush (fsync, syncfs) fail with the errno this returns; 0 flushes for real. Nothing
// else sets it.
void SetFlushFaultForTesting(std::function<int()> fault);

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
// Any entry under the name, a dangling link included.
bool PathExists(const QString &path);

// True when a component of path below root is a symbolic link (root itself may be one). Paths are absolute
// texts; path must lie under root.
bool PassesThroughLink(const QString &root, const QString &path);

} // namespace vantora
