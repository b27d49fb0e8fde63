#pragma once

#include "platform/filestamp.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

namespace vantora {

// The hash of a file's content: XXH3-128, as 16 canonical bytes. Taken in line as a copy reads, behind the
// copies on a thread of its own (ContentHasher), or by reading a file whole.

// A content hash fed piece by piece. Move-only.
class ContentHash final
{
public:
    ContentHash();
    ~ContentHash();
    ContentHash(ContentHash &&) noexcept;
    ContentHash &operator=(ContentHash &&) noexcept;
    ContentHash(const ContentHash &) = delete;
    ContentHash &operator=(const ContentHash &) = delete;

    void add(const char *bytes, std::size_t length);
    // Reads `length` bytes of an open file from `offset` and adds them: pages a copy just went through, so
    // they come from the page cache, not the medium. False with errno set when they cannot be read (EIO
    // when the file is shorter: changed meanwhile).
    bool addRead(int fd, quint64 offset, std::size_t length);
    // The 16 bytes of the content added so far.
    QByteArray result() const;

private:
    struct State;
    std::unique_ptr<State> d;
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

// One copy's source on a hasher: the copy hands over each range it went through, and keep() ends the file
// with the ticket its hash is taken with. A job that is not ended with keep() is dropped unhashed.
class ContentHashJob final
{
public:
    // fd is the source (the hasher reads a duplicate); expected is the source as it must still be when its
    // hash is done, else the result is ESTALE. With dropPages the file's cached pages are handed back once
    // it is hashed.
    ContentHashJob(ContentHasher &hasher, int fd, std::optional<FileStamp> expected, bool dropPages = false);
    ~ContentHashJob();
    ContentHashJob(const ContentHashJob &) = delete;
    ContentHashJob &operator=(const ContentHashJob &) = delete;

    void add(quint64 offset, std::size_t length);
    quint64 keep();

private:
    ContentHasher::Queue &m_queue;
    quint64 m_ticket;
};

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

// The same for a regular file open for reading, from where its descriptor stands (the caller closes it).
ContentCheck HashOpenFile(int fd);

// Drops the clean cached pages of an open file (posix_fadvise DONTNEED); 0 or the errno.
int DropCachedPages(int fd);

// Called by the hasher with the source's descriptor once a range is found in the cache, just before it is
// hashed where it lies mapped: a test cuts the file short there.
void SetBeforeMappedHashHookForTesting(std::function<void(int fd)> hook);

} // namespace vantora
