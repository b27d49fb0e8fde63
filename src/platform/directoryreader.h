#pragma once

#include "platform/bytepath.h"
#include "platform/filetimes.h"

#include <QByteArrayView>
#include <QString>

#include <cstddef>

namespace vantora {

enum class EntryKind : unsigned char
{
    Missing, // could not be read: the status's error says why
    Unknown, // a folder listing that does not tell (ask its entryStatus)
    Folder,
    File, // a regular file
    Link,
    Other, // fifo, socket, device node
};

// What stat answers for a path or a folder entry.
struct FileStatus
{
    EntryKind kind = EntryKind::Missing;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    FileTime mtime; // modification time
    int error = 0;  // the errno when kind is Missing
};

// Reads one folder's entries by their exact bytes, without following the walk anywhere it is not told to.
// Entries are named relative to the open folder (openat, fstatat), so a folder renamed or replaced
// meanwhile is never mixed up with the one being read. Only movable; closes its folder when destroyed.
class DirectoryReader final
{
public:
    DirectoryReader() = default;
    // Opens a folder, links followed. isOpen() is false when it cannot be listed (error() says why).
    explicit DirectoryReader(const QString &path);
    ~DirectoryReader();
    DirectoryReader(DirectoryReader &&other) noexcept;
    DirectoryReader &operator=(DirectoryReader &&other) noexcept;
    DirectoryReader(const DirectoryReader &) = delete;
    DirectoryReader &operator=(const DirectoryReader &) = delete;

    bool isOpen() const { return m_stream != nullptr; }
    int error() const { return m_error; }
    // The open folder itself.
    FileStatus status() const;

    // Moves to the next entry, "." and ".." skipped. False at the end, or when the listing failed (error()).
    bool next();
    // The current entry's name as the file system stores it; valid until the next call of next().
    const char *nameData() const { return m_name; }
    std::size_t nameSize() const { return m_nameSize; }
    QByteArrayView nameBytes() const { return QByteArrayView(m_name, qsizetype(m_nameSize)); }
    QString name() const { return pathFromBytes(nameBytes()); }
    // The kind the listing gives (a link is Link, not what it points at); Unknown when it gives none.
    EntryKind entryKind() const { return m_entryKind; }
    FileStatus entryStatus(bool followLinks) const;
    // Opens the current entry as a folder. Without followLinks, a link to a folder does not open.
    DirectoryReader openEntry(bool followLinks) const;
    // Removes the current entry when it is an empty folder; never through a link. 0 or the errno.
    int removeEntryFolder() const;
    // Removes the current entry when it is not a folder (a link itself, not what it points at). 0 or errno.
    int removeEntryFile() const;

private:
    explicit DirectoryReader(int fd);
    void close();

    void *m_stream = nullptr; // DIR
    int m_fd = -1;
    int m_error = 0;
    const char *m_name = nullptr;
    std::size_t m_nameSize = 0;
    EntryKind m_entryKind = EntryKind::Unknown;
};

} // namespace vantora
