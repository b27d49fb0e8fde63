#include "metadata/heifexif.h"

#include "metadata/isobox.h"

#include <array>
#include <cstring>
#include <optional>

namespace vantora {

namespace {

bool isHeifBrand(const char *brand)
{
    for (const char *name : {"heic", "heix", "hevc", "hevx", "heim", "heis", "hevm", "hevs", "mif1", "mif2",
                             "msf1", "avif", "avis", "avio"}) {
        if (std::memcmp(brand, name, 4) == 0)
            return true;
    }
    return false;
}

// Reads big-endian fields of 0 to 8 bytes in order from [pos, end) through a fixed window, so that a long
// table costs few reads and nothing is allocated by its size.
class Cursor
{
public:
    Cursor(QuickTimeSource &source, qint64 pos, qint64 end) : m_source(source), m_pos(pos), m_end(end) {}

    bool number(int bytes, quint64 &value)
    {
        value = 0;
        if (m_end - m_pos < bytes)
            return false;
        if (bytes == 0)
            return true;
        if (m_pos < m_windowAt || m_pos + bytes > m_windowAt + m_windowLength) {
            const int length = int(qMin<qint64>(Window, m_end - m_pos));
            if (!m_source.readAt(m_pos, m_window.data(), length))
                return false;
            m_windowAt = m_pos;
            m_windowLength = length;
        }
        for (int i = 0; i < bytes; ++i)
            value = (value << 8) | static_cast<unsigned char>(m_window[size_t(m_pos - m_windowAt + i)]);
        m_pos += bytes;
        return true;
    }

    bool skip(quint64 bytes)
    {
        if (quint64(m_end - m_pos) < bytes)
            return false;
        m_pos += qint64(bytes);
        return true;
    }

private:
    static constexpr int Window = 256;
    QuickTimeSource &m_source;
    qint64 m_pos;
    qint64 m_end;
    std::array<char, Window> m_window{};
    qint64 m_windowAt = 0;
    int m_windowLength = 0;
};

struct Extent
{
    qint64 offset = 0;
    qint64 length = 0;
};

struct ExifItem
{
    std::array<Extent, HeifMaxExtents> extents;
    int count = 0;
    bool inIdat = false;
};

// The id of the first item of type Exif in iinf; false when there is none.
bool findExifItemId(IsoBoxWalker &walk, const IsoBox &iinf, quint32 &id)
{
    char versionAndFlags[4];
    if (!walk.read(iinf.content, versionAndFlags, 4, iinf.end))
        return false;
    const int countBytes = versionAndFlags[0] == 0 ? 2 : 4;
    char countField[4];
    if (!walk.read(iinf.content + 4, countField, countBytes, iinf.end))
        return false;
    const quint32 count = countBytes == 2 ? IsoBe16(countField) : IsoBe32(countField);
    qint64 pos = iinf.content + 4 + countBytes;
    // A count of more entries than the box can hold is damage (an entry takes at least 12 bytes).
    if (count > quint64(iinf.end - pos) / 12)
        return false;
    for (quint32 i = 0; i < qMin<quint32>(count, HeifMaxItems) && iinf.end - pos >= 8; ++i) {
        IsoBox infe;
        if (!walk.header(pos, iinf.end, infe))
            return false;
        pos = infe.end;
        // version, flags, item_ID (16 bits in version 2, 32 in 3), protection index, item_type
        char e[14];
        const int length = int(qMin<qint64>(sizeof e, infe.end - infe.content));
        if (!infe.is("infe") || length < 12 || !walk.read(infe.content, e, length, infe.end))
            continue;
        const int idBytes = e[0] == 2 ? 2 : e[0] == 3 ? 4 : 0;
        if (idBytes == 0 || length < 10 + idBytes)
            continue;
        if (std::memcmp(e + 6 + idBytes, "Exif", 4) == 0) {
            id = idBytes == 2 ? IsoBe16(e + 4) : IsoBe32(e + 4);
            return true;
        }
    }
    return false;
}

// The extents of item id in iloc, as offsets from the start of the file (or of the idat's content);
// false when the item is missing or its entry is damaged or beyond the limits.
bool findExtents(QuickTimeSource &source, const IsoBox &iloc, quint32 id, ExifItem &item)
{
    Cursor c(source, iloc.content, iloc.end);
    quint64 versionAndFlags, sizes;
    if (!c.number(4, versionAndFlags) || !c.number(2, sizes))
        return false;
    const int version = int(versionAndFlags >> 24);
    if (version > 2)
        return false;
    const int offsetSize = int(sizes >> 12) & 15;
    const int lengthSize = int(sizes >> 8) & 15;
    const int baseSize = int(sizes >> 4) & 15;
    const int indexSize = version >= 1 ? int(sizes & 15) : 0;
    for (int size : {offsetSize, lengthSize, baseSize, indexSize}) {
        if (size != 0 && size != 4 && size != 8)
            return false;
    }
    const int idBytes = version < 2 ? 2 : 4;
    quint64 itemCount;
    if (!c.number(idBytes, itemCount))
        return false;
    // A count of more entries than the box can hold is damage.
    const int leastEntry = idBytes + (version >= 1 ? 2 : 0) + 2 + baseSize + 2;
    if (itemCount > quint64(iloc.end - iloc.content) / quint64(leastEntry))
        return false;
    for (quint64 i = 0; i < qMin<quint64>(itemCount, HeifMaxItems); ++i) {
        quint64 itemId, method = 0, dataReference, base, extentCount;
        if (!c.number(idBytes, itemId) || (version >= 1 && !c.number(2, method)) ||
            !c.number(2, dataReference) || !c.number(baseSize, base) || !c.number(2, extentCount))
            return false;
        const quint64 perExtent = quint64(indexSize + offsetSize + lengthSize);
        if (itemId != id) {
            if (!c.skip(extentCount * perExtent))
                return false;
            continue;
        }
        method &= 15;
        // Only this file's bytes: no other data reference, no extents made from other items.
        if (dataReference != 0 || method > 1 || extentCount == 0 || extentCount > HeifMaxExtents)
            return false;
        item.inIdat = method == 1;
        item.count = int(extentCount);
        constexpr quint64 Far = quint64(1) << 62; // past any file, and far from overflowing
        for (int e = 0; e < item.count; ++e) {
            quint64 offset, length;
            if (!c.skip(quint64(indexSize)) || !c.number(offsetSize, offset) || !c.number(lengthSize, length))
                return false;
            if (base > Far || offset > Far - base || length > Far)
                return false;
            item.extents[size_t(e)] = {qint64(base + offset), qint64(length)}; // length 0: to the end
        }
        return true;
    }
    return false;
}

} // namespace

bool LooksLikeHeif(QByteArrayView head)
{
    if (head.size() < 16 || std::memcmp(head.data() + 4, "ftyp", 4) != 0)
        return false;
    const quint32 size = IsoBe32(head.data());
    if (size < 16)
        return false;
    if (isHeifBrand(head.data() + 8))
        return true;
    const qsizetype end = qMin<qsizetype>(qsizetype(size), head.size());
    for (qsizetype at = 16; end - at >= 4; at += 4) {
        if (isHeifBrand(head.data() + at))
            return true;
    }
    return false;
}

QByteArray ReadHeifExif(QuickTimeSource &source)
{
    const qint64 fileSize = source.size();
    IsoBoxWalker walk(source, HeifMaxBoxes);
    IsoBox meta;
    if (fileSize < 8 || !walk.find(0, fileSize, "meta", meta))
        return {};
    // meta is a full box; iinf, iloc and idat lie directly inside it, in any order.
    std::optional<IsoBox> iinf, iloc, idat;
    for (qint64 pos = meta.content + 4; meta.end - pos >= 8;) {
        IsoBox box;
        if (!walk.header(pos, meta.end, box))
            break; // what was found before the damage still counts
        pos = box.end;
        if (box.is("iinf") && !iinf)
            iinf = box;
        else if (box.is("iloc") && !iloc)
            iloc = box;
        else if (box.is("idat") && !idat)
            idat = box;
    }
    quint32 id = 0;
    ExifItem item;
    if (!iinf || !iloc || !findExifItemId(walk, *iinf, id) || !findExtents(source, *iloc, id, item))
        return {};
    if (item.inIdat && !idat)
        return {};
    const qint64 dataStart = item.inIdat ? idat->content : 0;
    const qint64 dataEnd = item.inIdat ? idat->end : fileSize;
    qint64 total = 0;
    for (int i = 0; i < item.count; ++i) {
        Extent &e = item.extents[size_t(i)];
        if (e.offset > dataEnd - dataStart)
            return {};
        e.offset += dataStart;
        if (e.length == 0)
            e.length = dataEnd - e.offset;
        if (e.length > dataEnd - e.offset || e.length > HeifMaxExifBytes - total)
            return {};
        total += e.length;
    }
    if (total < 12)
        return {};
    QByteArray bytes(total, Qt::Uninitialized);
    qint64 at = 0;
    for (int i = 0; i < item.count; ++i) {
        const Extent &e = item.extents[size_t(i)];
        for (qint64 done = 0; done < e.length;) {
            const int chunk = int(qMin<qint64>(e.length - done, 64 * 1024));
            if (!source.readAt(e.offset + done, bytes.data() + at, chunk))
                return {};
            done += chunk;
            at += chunk;
        }
    }
    // The item starts with the offset of the TIFF header after these 4 bytes (past "Exif\0\0" when the
    // writer kept it); some writers count from "Exif\0\0" anyway.
    qint64 tiff = 4 + qint64(IsoBe32(bytes.constData()));
    if (tiff <= total - 6 && std::memcmp(bytes.constData() + tiff, "Exif\0\0", 6) == 0)
        tiff += 6;
    if (tiff > total - 8)
        return {};
    const char *h = bytes.constData() + tiff;
    if (std::memcmp(h, "II*\0", 4) != 0 && std::memcmp(h, "MM\0*", 4) != 0)
        return {};
    return bytes.mid(tiff);
}

} // namespace vantora
