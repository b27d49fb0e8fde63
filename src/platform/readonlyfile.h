#pragma once

#include <QByteArray>

#include <QString>
#include <QtGlobal>

namespace vantora {

// A regular file opened for reading through its byte path (pathToBytes), read at offsets. Opening never
// blocks and takes only regular files (links followed): a FIFO or a device named like a photo is refused,
// so no reader can wait forever on it. The size is the file's real size, taken once when it was opened.
class ReadOnlyFile final
{
public:
    explicit ReadOnlyFile(const QString &path);
    // Takes over a descriptor open for reading (closed with the file); refused the same way when it holds
    // no regular file.
    explicit ReadOnlyFile(int fd);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile &) = delete;
    ReadOnlyFile &operator=(const ReadOnlyFile &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // The system's error code when the open failed, else 0.
    int error() const { return m_error; }
    qint64 size() const { return m_size; }

    // Reads up to count bytes at offset: the bytes read (fewer only at the end of the file, 0 past it), or
    // -1 on a read error (a damaged medium) or a negative offset or count.
    qint64 readAt(qint64 offset, void *buffer, qint64 count) const;

private:
    // Keeps a descriptor that holds a regular file; closes any other.
    void take(int fd);

    int m_fd = -1;
    int m_error = 0;
    qint64 m_size = -1;
};

// Bytes [offset, offset + count) of the file; empty when they cannot all be read.
QByteArray ReadBytes(const ReadOnlyFile &file, qint64 offset, qint64 count);

} // namespace vantora
