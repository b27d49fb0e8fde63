#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QDateTime>
#include <QtGlobal>

namespace vantora {

// Where the QuickTime and HEIF readers take their bytes from: a file, or bytes in memory.
class QuickTimeSource
{
public:
    virtual ~QuickTimeSource() = default;
    // The real size of the bytes. The reader never asks for anything past it.
    virtual qint64 size() const = 0;
    // Exactly count bytes at offset, with offset + count <= size(); false when they cannot be read. The
    // QuickTime reader asks for 1 to 16 bytes, the HEIF reader (heifexif.h) for up to 64 KiB.
    virtual bool readAt(qint64 offset, char *buffer, int count) = 0;
};

// Bytes in memory as a source (the view must outlive it).
class QuickTimeBytes final : public QuickTimeSource
{
public:
    explicit QuickTimeBytes(QByteArrayView bytes) : m_bytes(bytes) {}
    qint64 size() const override { return m_bytes.size(); }
    bool readAt(qint64 offset, char *buffer, int count) override;

private:
    QByteArrayView m_bytes;
};

// At most this many box headers are read from one file, so a file of endless tiny boxes ends promptly.
constexpr int QuickTimeMaxBoxes = 4096;

// The creation time of a QuickTime or ISO media file (MP4, MOV, M4V, 3GP, M4A): the movie header
// moov/mvhd, versions 0 and 1, seconds since 1904-01-01 UTC. Boxes are walked by their size (1: a 64-bit
// size follows; 0: to the end of the enclosing box, at the top the end of the file) and every box off the
// path (mdat, free, trak...) is skipped without reading it. Invalid when there is no movie header, when the
// time is zero, and when a box on the way is damaged: smaller than its own header, running past the box
// that holds it or past the end of the file, or beyond the box budget. Never reads past source.size() and
// allocates nothing by a size it reads.
QDateTime ReadQuickTimeCreationTime(QuickTimeSource &source);

// The same time as the local calendar day (QuickTime times are UTC); invalid when there is none.
QDate ReadQuickTimeCreationDate(QuickTimeSource &source);

// True when head, the first bytes of a file (at least 8), starts with a box a QuickTime or ISO media file
// starts with: ftyp, moov, mdat, wide, free, skip or pnot, with a plausible size.
bool LooksLikeQuickTime(QByteArrayView head);

} // namespace vantora
