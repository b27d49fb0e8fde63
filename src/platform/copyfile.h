#pragma once

#include "platform/copyerror.h"
#include "platform/filestamp.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace vantora {

class ContentHasher;

// Called after every chunk with the file's size and the bytes written so far; once with (0, 0) for an
// empty file. It may run the event loop, which is how the cancel flag gets set during a copy.
using CopyProgressRoutine = std::function<void(quint64 total, quint64 done)>;

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
    // whole; a folder is never replaced), else failing with CopyError::Exists when the name is taken. On
    // success the copy keeps its descriptor for keep() or close().
    CopyError name(const QString &to, bool replace);
    // Once it is on the disk: hands its cached pages back to the system.
    void dropCachedPages() const;
    // After name(): the descriptor, for a move to check the name before it deletes the source.
    KeptCopy keep();
    // After name(): closes it; a delayed write error removes the name again and is returned.
    CopyError close(const QString &named);

private:
    void discard();

    int m_fd = -1;
    QByteArray m_temporary; // a hidden name; empty for an unnamed temporary
    quint64 m_device = 0;
    quint64 m_inode = 0;
};

struct CopyOptions
{
    // Refuse an existing destination (CopyError::Exists), before a byte is read. Otherwise an existing
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
    // With hash: hash on this hasher (contenthash.h), behind the copy, instead of before the copy returns
    // (CopyOutcome::hashTicket instead of CopyOutcome::hash).
    ContentHasher *hasher = nullptr;
    // The source already open for reading: the copy reads it instead of opening the source by name, and
    // closes it.
    int sourceFd = -1;
    // With deferName: a second copy meant for this name, each range copied to it right after the first
    // from the source's pages that copy read (still cached: the source is read once), left without a name
    // (CopyOutcome::alsoUnnamed). Its failure does not fail the copy: the first goes on alone and
    // CopyOutcome::alsoError tells why.
    QString alsoTo;
    // The source's pages were read ahead from the medium for this copy (StartReadAhead, pagecache.h): they go
    // back once copied, as the pages the copy reads in itself do. A source found in the cache otherwise (a
    // file the user had just read) stays there.
    bool sourceReadAhead = false;
};

// What a copy tells beyond its error.
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
    UnnamedCopy alsoUnnamed;    // with alsoTo, after success unless alsoError
    FileStamp alsoCopy;         // the second copy, when alsoUnnamed is open
    CopyError alsoError;        // why the second copy was given up
};

// Copies one regular file with progress and cancellation. Returns CopyError::None on success. The cancel
// flag (single-threaded: set from the progress routine's event pumping) is polled between chunks
// (CopyError::Cancelled); a request made during the last chunk's progress call lets the complete copy stand.
// A new file is written as an unnamed temporary in the destination folder (or, where the filesystem has
// none, under a hidden temporary name) and takes its name only once complete, never replacing a file
// that appeared meanwhile (CopyError::Exists). Mode and modification time are carried over; the byte count
// is checked against the source. A failed or cancelled copy leaves nothing behind; an old file being
// replaced stays intact.
CopyError CopyFileWithProgress(const QString &source, const QString &destination,
                               const CopyProgressRoutine &progress, const bool *cancel,
                               const CopyOptions &options = {}, CopyOutcome *outcome = nullptr);

// The n-th name tried beside a taken one: "_n" goes before the last "." of the file name ("P1.JPG" ->
// "P1_2.JPG", "README" -> "README_2", ".hidden" -> "_2.hidden").
QString NumberedName(const QString &path, int n);
inline constexpr int LastFreeNameNumber = 99;

// Copies to destination or, while a name is taken, to the first free one of NumberedName(destination, 2)
// .. NumberedName(destination, 99). Each name is tried by the copy itself, which never replaces a file
// (failIfExists is forced), so a name taken while the copy runs only moves it on to the next: there is
// no window between choosing a name and writing it. Returns CopyError::None, CopyError::Exists when every
// name is taken, or the first other failure (a cancel stops the search); *written is the last name tried.
CopyError CopyFileToFreeName(const QString &source, const QString &destination,
                             const CopyProgressRoutine &progress, const bool *cancel,
                             CopyOptions options = {}, CopyOutcome *outcome = nullptr,
                             QString *written = nullptr);

// True for a name a copy uses while it is not complete; such files are removed by RemoveCopyLeftovers and
// never taken as sources.
bool IsCopyLeftoverName(const QString &fileName);
// Removes the temporaries an interrupted copy left in a folder (not below it). Returns how many.
int RemoveCopyLeftovers(const QString &folder);

// Flushes each distinct filesystem holding one of the paths (syncfs). Returns CopyError::None, or the first
// failure (a path that no longer exists is one).
CopyError SyncFileSystems(const QStringList &paths);

// Tests make every flush (fsync, syncfs) fail with the errno this returns; 0 flushes for real. Nothing
// else sets it.
void SetFlushFaultForTesting(std::function<int()> fault);

} // namespace vantora
