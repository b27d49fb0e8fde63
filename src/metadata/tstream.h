#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace vantora {

enum class TSeekOrigin
{
    soBeginning,
    soCurrent,
    soEnd
};

// A byte stream with a position: the base of the file and memory streams the Exif reader works on.
class TStream
{
public:
    virtual ~TStream() = default;

    // Bytes actually transferred; fewer than asked at the end of the data.
    virtual qint64 Read(void *buffer, qint64 count) = 0;
    virtual qint64 Write(const void *buffer, qint64 count) = 0;
    // The new position. A target before the start raises EReadError; one past the end is allowed and
    // makes the next read come up short.
    virtual qint64 Seek(qint64 offset, TSeekOrigin origin) = 0;
    virtual qint64 Size() = 0;

    qint64 Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(qint64 position) { Seek(position, TSeekOrigin::soBeginning); }

    // All or nothing: raise EReadError / EWriteError when the full count cannot be transferred.
    void ReadBuffer(void *buffer, qint64 count);
    void WriteBuffer(const void *buffer, qint64 count);

    // Reads count bytes into a new array; the count is checked against the bytes left first, so a bad
    // count never allocates more than the stream holds.
    QByteArray ReadBytes(qint64 count);
};

// The text of a failed read, shared by every stream.
QString StreamReadErrorText();

} // namespace vantora
