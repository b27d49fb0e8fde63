#include "metadata/isobox.h"

#include <cstring>

namespace vantora {

quint16 IsoBe16(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return quint16((u[0] << 8) | u[1]);
}

quint32 IsoBe32(const char *p)
{
    return (quint32(IsoBe16(p)) << 16) | IsoBe16(p + 2);
}

quint64 IsoBe64(const char *p)
{
    return (quint64(IsoBe32(p)) << 32) | IsoBe32(p + 4);
}

bool IsoBox::is(const char (&name)[5]) const
{
    return std::memcmp(type, name, 4) == 0;
}

bool IsoBoxWalker::header(qint64 pos, qint64 parentEnd, IsoBox &box)
{
    if (m_boxesLeft <= 0 || pos < 0 || parentEnd - pos < 8)
        return false;
    --m_boxesLeft;
    char h[8];
    if (!m_source.readAt(pos, h, 8))
        return false;
    std::memcpy(box.type, h + 4, 4);
    const quint64 room = quint64(parentEnd - pos);
    const quint32 size32 = IsoBe32(h);
    quint64 size;
    qint64 headerSize = 8;
    if (size32 == 1) {
        if (room < 16)
            return false;
        char large[8];
        if (!m_source.readAt(pos + 8, large, 8))
            return false;
        size = IsoBe64(large);
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

bool IsoBoxWalker::find(qint64 begin, qint64 end, const char (&type)[5], IsoBox &found)
{
    qint64 pos = begin;
    while (end - pos >= 8) {
        IsoBox box;
        if (!header(pos, end, box))
            return false;
        if (box.is(type)) {
            found = box;
            return true;
        }
        pos = box.end; // skipped by its size, never read
    }
    return false;
}

bool IsoBoxWalker::read(qint64 offset, char *buffer, int count, qint64 end)
{
    return offset >= 0 && count > 0 && end - offset >= count && m_source.readAt(offset, buffer, count);
}

} // namespace vantora
