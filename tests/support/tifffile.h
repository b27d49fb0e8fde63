#pragma once

#include <QByteArray>
#include <QtEndian>

namespace vantora::test {

// A small uncompressed grey TIFF, little-endian, one strip, written by hand (no TIFF writer is
// installed): enough for exiv2 to hold tags in IFD0.
inline QByteArray tiffBytes(quint32 width = 1, quint32 height = 1)
{
    QByteArray data("II*\0", 4);
    auto u16 = [&data](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        data.append(b, 2);
    };
    auto u32 = [&data](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        data.append(b, 4);
    };
    const quint16 entries = 8;
    const quint32 ifdOffset = 8;
    const quint32 pixelOffset = ifdOffset + 2 + entries * 12 + 4;
    u32(ifdOffset);
    u16(entries);
    auto entry = [&](quint16 tag, quint16 type, quint32 value) {
        u16(tag);
        u16(type);
        u32(1);
        if (type == 3) {
            u16(quint16(value));
            u16(0);
        } else {
            u32(value);
        }
    };
    entry(256, 4, width);          // ImageWidth
    entry(257, 4, height);         // ImageLength
    entry(258, 3, 8);              // BitsPerSample
    entry(259, 3, 1);              // Compression: none
    entry(262, 3, 1);              // Photometric: black is zero
    entry(273, 4, pixelOffset);    // StripOffsets
    entry(278, 4, height);         // RowsPerStrip
    entry(279, 4, width * height); // StripByteCounts
    u32(0);
    data.append(QByteArray(qsizetype(width) * height, '\x80'));
    return data;
}

} // namespace vantora::test
