#include "metadata/quicktimedate.h"

#include <QTimeZone>

#include <cstring>

namespace vantora {

namespace {

quint32 be32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return (quint32(u[0]) << 24) | (quint32(u[1]) << 16) | (quint32(u[2]) << 8) | quint32(u[3]);
}

quint64 be64(const char *p)
{
    return (quint64(be32(p)) << 32) | be32(p + 4);
}

bool isType(const char *type, const char (&name)[5])
{
    return std::memcmp(type, name, 4) == 0;
}

// One box header: its type and where its content and the box end.
struct Box
{
    char type[4] = {};
    qint64 content = 0;
    qint64 end = 0;
};

class Walker
{
public:
    explicit Walker(QuickTimeSource &source) : m_source(source) {}

    // Reads the header of the box at pos inside a parent ending at parentEnd (pos + 8 <= parentEnd).
    // False when it cannot be read, is damaged, or the budget is spent.
    bool header(qint64 pos, qint64 parentEnd, Box &box)
    {
        if (m_boxesLeft <= 0 || pos < 0 || parentEnd - pos < 8)
            return false;
        --m_boxesLeft;
        char h[8];
        if (!m_source.readAt(pos, h, 8))
            return false;
        std::memcpy(box.type, h + 4, 4);
        const quint64 room = quint64(parentEnd - pos);
        const quint32 size32 = be32(h);
        quint64 size;
        qint64 headerSize = 8;
        if (size32 == 1) {
            if (room < 16)
                return false;
            char large[8];
            if (!m_source.readAt(pos + 8, large, 8))
                return false;
            size = be64(large);
            headerSize = 16;
        } else if (size32 == 0) {
            size = room; // to the end of the enclosing box (the file, at the top)
        } else {
            size = size32;
        }
        if (size < quint64(headerSize) || size > room)
            return false;
        box.content = pos + headerSize;
        box.end = pos + qint64(size);
        return true;
    }

    // The first box of the given type directly inside [begin, end); false when there is none or the walk
    // meets a damaged box first.
    bool find(qint64 begin, qint64 end, const char (&type)[5], Box &found)
    {
        qint64 pos = begin;
        while (end - pos >= 8) {
            Box box;
            if (!header(pos, end, box))
                return false;
            if (isType(box.type, type)) {
                found = box;
                return true;
            }
            pos = box.end; // skipped by its size, never read
        }
        return false;
    }

    bool read(qint64 offset, char *buffer, int count, qint64 end)
    {
        return offset >= 0 && count > 0 && end - offset >= count && m_source.readAt(offset, buffer, count);
    }

private:
    QuickTimeSource &m_source;
    int m_boxesLeft = QuickTimeMaxBoxes;
};

constexpr qint64 SecondsFrom1904To1970 = 2082844800;
constexpr qint64 LastSecondOf9999 = 253402300799; // 9999-12-31 23:59:59 UTC, since 1970

} // namespace

bool QuickTimeBytes::readAt(qint64 offset, char *buffer, int count)
{
    if (offset < 0 || count < 0 || offset > m_bytes.size() || m_bytes.size() - offset < count)
        return false;
    std::memcpy(buffer, m_bytes.data() + offset, size_t(count));
    return true;
}

QDateTime ReadQuickTimeCreationTime(QuickTimeSource &source)
{
    const qint64 fileSize = source.size();
    if (fileSize < 8)
        return {};
    Walker walk(source);
    Box moov;
    if (!walk.find(0, fileSize, "moov", moov))
        return {};
    Box mvhd;
    if (!walk.find(moov.content, moov.end, "mvhd", mvhd))
        return {};
    char versionAndFlags[4];
    if (!walk.read(mvhd.content, versionAndFlags, 4, mvhd.end))
        return {};
    const int version = static_cast<unsigned char>(versionAndFlags[0]);
    quint64 seconds;
    char field[8];
    if (version == 0) {
        if (!walk.read(mvhd.content + 4, field, 4, mvhd.end))
            return {};
        seconds = be32(field);
    } else if (version == 1) {
        if (!walk.read(mvhd.content + 4, field, 8, mvhd.end))
            return {};
        seconds = be64(field);
    } else {
        return {};
    }
    if (seconds == 0) // never set
        return {};
    if (seconds > quint64(LastSecondOf9999 + SecondsFrom1904To1970))
        return {};
    return QDateTime::fromSecsSinceEpoch(qint64(seconds) - SecondsFrom1904To1970, QTimeZone::utc());
}

QDate ReadQuickTimeCreationDate(QuickTimeSource &source)
{
    const QDateTime utc = ReadQuickTimeCreationTime(source);
    return utc.isValid() ? utc.toLocalTime().date() : QDate();
}

bool LooksLikeQuickTime(QByteArrayView head)
{
    if (head.size() < 8)
        return false;
    const quint32 size = be32(head.data());
    if (size != 0 && size != 1 && size < 8)
        return false;
    const char *type = head.data() + 4;
    for (const auto &name : {"ftyp", "moov", "mdat", "wide", "free", "skip", "pnot"}) {
        if (std::memcmp(type, name, 4) == 0)
            return true;
    }
    return false;
}

} // namespace vantora
