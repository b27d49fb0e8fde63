#include "metadata/jpeghead.h"

#include "platform/readonlyfile.h"

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

} // namespace vantora
