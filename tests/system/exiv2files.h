#pragma once

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QtEndian>

namespace vantora::test {

// A small real JPEG.
inline bool writeJpeg(const QString &path, int width = 64, int height = 48)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(30, 120, 200));
    return image.save(path, "JPEG");
}

// A small uncompressed grey TIFF, written by hand (no TIFF writer is installed).
inline bool writeTiff(const QString &path, quint32 width = 16, quint32 height = 8)
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
    data.append(QByteArray(int(width * height), '\x80'));
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// Runs the exiv2 command with one -M modification per entry ("set Exif.Image.Model TestCam").
inline bool exiv2Modify(const QString &path, const QStringList &modifications)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("exiv2"));
    if (tool.isEmpty())
        return false;
    QStringList args;
    for (const QString &m : modifications)
        args << QStringLiteral("-M") + m;
    args << QStringLiteral("mo") << path;
    QProcess p;
    p.start(tool, args);
    return p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace vantora::test
