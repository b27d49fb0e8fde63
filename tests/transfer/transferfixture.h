#pragma once

#include "settings/settingsrecord.h"

#include <QByteArray>
#include <QDate>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

// What the transfer tests share: the settings of a plain run and readings of the result.
namespace vantora::test {

// Settings of a plain run: no folder, no renaming, copy, no overwrite, rows given by the test.
inline SettingsRecord plainSettings(const QString &source)
{
    SettingsRecord s;
    s.SourceEditText = source;
    s.DirNameEditText = QStringLiteral("新しいフォルダ");
    s.FileNameEditText = QStringLiteral("[元のファイル名]");
    return s;
}

// Every file below the folder, hidden ones too, by its path relative to it, sorted.
inline QStringList filesUnder(const QString &folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(folder).relativeFilePath(it.next());
    out.sort();
    return out;
}

inline QByteArray contentOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The date taken as the exiv2 command reads it; invalid when it cannot.
inline QDate exiv2DateTaken(const QString &path)
{
    QProcess exiv2;
    exiv2.start(QStringLiteral("exiv2"), {QStringLiteral("-g"), QStringLiteral("Exif.Photo.DateTimeOriginal"),
                                          QStringLiteral("-Pv"), path});
    if (!exiv2.waitForFinished(10000))
        return {};
    return QDate::fromString(QString::fromLatin1(exiv2.readAllStandardOutput()).trimmed().left(10),
                             QStringLiteral("yyyy:MM:dd"));
}

// A one-pixel grey TIFF, little-endian, one strip: enough for exiv2 to hold tags in IFD0.
inline QByteArray minimalTiff()
{
    QByteArray t("II*\0", 4);
    auto u16 = [&t](quint16 v) { t.append(char(v & 0xFF)).append(char(v >> 8)); };
    auto u32 = [&](quint32 v) {
        u16(quint16(v & 0xFFFF));
        u16(quint16(v >> 16));
    };
    u32(8);
    const quint16 count = 8;
    const quint32 pixel = 8 + 2 + count * 12 + 4;
    u16(count);
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
    entry(256, 3, 1);     // width
    entry(257, 3, 1);     // height
    entry(258, 3, 8);     // bits per sample
    entry(259, 3, 1);     // no compression
    entry(262, 3, 1);     // black is zero
    entry(273, 4, pixel); // strip offset
    entry(278, 3, 1);     // rows per strip
    entry(279, 4, 1);     // strip byte count
    u32(0);
    t.append(char(0x80));
    return t;
}

} // namespace vantora::test
