#include "metadata/jpeghead.h"

#include "platform/readonlyfile.h"

#include <QtEndian>

#include <cstring>

namespace vantora {

namespace {

constexpr int MaxJpegSegments = 4096;
constexpr qint64 MaxJpegHeadBytes = 16 * 1024 * 1024;

} // namespace

qint64 JpegHeadLength(const ReadOnlyFile &file, qint64 start, qint64 end)
{
    const qint64 available = qMin(end - start, MaxJpegHeadBytes);
    qint64 pos = 2; // after SOI
    for (int segments = 0; segments < MaxJpegSegments && available - pos >= 4; ++segments) {
        unsigned char m[4];
        if (file.readAt(start + pos, m, 4) != 4 || m[0] != 0xFF)
            break;
        const unsigned char marker = m[1];
        if (marker == 0xFF) { // fill byte
            ++pos;
            continue;
        }
        if (marker == 0xD9) // EOI
            return pos + 2;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) { // no length
            pos += 2;
            continue;
        }
        const qint64 length = (qint64(m[2]) << 8) | m[3];
        if (length < 2)
            break;
        if (marker == 0xDA) // SOS: the metadata is all before it
            return qMin(pos + 2 + length, available);
        pos += 2 + length;
    }
    return available;
}

QByteArray JpegExifThumbnail(const QByteArray &head)
{
    const auto *bytes = reinterpret_cast<const uchar *>(head.constData());
    const qsizetype size = head.size();
    // Segments after the start of image, up to the start of scan.
    qsizetype at = 2;
    while (at + 4 <= size && bytes[at] == 0xFF && bytes[at + 1] != 0xDA) {
        const qsizetype length = qFromBigEndian<quint16>(bytes + at + 2);
        const qsizetype end = at + 2 + length;
        if (length < 2 || end > size)
            return {};
        if (bytes[at + 1] == 0xE1 && length >= 8 + 8 && std::memcmp(bytes + at + 4, "Exif\0\0", 6) == 0) {
            const uchar *tiff = bytes + at + 10;
            const qsizetype tiffSize = end - (at + 10);
            const bool little = tiff[0] == 'I' && tiff[1] == 'I';
            if (!little && !(tiff[0] == 'M' && tiff[1] == 'M'))
                return {};
            const auto u16 = [&](qsizetype o) {
                return little ? qFromLittleEndian<quint16>(tiff + o) : qFromBigEndian<quint16>(tiff + o);
            };
            const auto u32 = [&](qsizetype o) -> qsizetype {
                return little ? qFromLittleEndian<quint32>(tiff + o) : qFromBigEndian<quint32>(tiff + o);
            };
            // A directory: its entry count, 12 bytes an entry, then the offset of the next one.
            const auto directoryFits = [&](qsizetype o) {
                return o >= 8 && o + 2 <= tiffSize && o + 2 + 12 * qsizetype(u16(o)) + 4 <= tiffSize;
            };
            const qsizetype first = u32(4);
            if (!directoryFits(first))
                return {};
            const qsizetype second = u32(first + 2 + 12 * qsizetype(u16(first)));
            if (!directoryFits(second))
                return {};
            qsizetype offset = -1;
            qsizetype length = -1;
            for (qsizetype entry = second + 2, last = entry + 12 * qsizetype(u16(second)); entry < last;
                 entry += 12) {
                const quint16 tag = u16(entry);
                const quint16 type = u16(entry + 2);
                const qsizetype value = type == 3 ? u16(entry + 8) : type == 4 ? u32(entry + 8) : -1;
                if (tag == 0x0201)
                    offset = value;
                else if (tag == 0x0202)
                    length = value;
            }
            if (offset <= 0 || length < 4 || offset > tiffSize || length > tiffSize - offset ||
                tiff[offset] != 0xFF || tiff[offset + 1] != 0xD8)
                return {};
            return QByteArray(reinterpret_cast<const char *>(tiff + offset), length);
        }
        at = end;
    }
    return {};
}

} // namespace vantora
