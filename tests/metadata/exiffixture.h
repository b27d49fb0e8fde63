#pragma once

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>

namespace vantora {
class TExifInfo;
}

namespace vantora::test {

// One JPEG segment before the scan: marker and the bytes after its length word.
struct Segment
{
    quint16 marker = 0;
    QByteArray body;
};

// A JPEG split into its segments up to the scan and the rest (from the start-of-scan on).
struct JpegParts
{
    QList<Segment> segments;
    QByteArray rest;

    static JpegParts parse(const QByteArray &jpeg);
    QByteArray join() const;
    int indexOf(quint16 marker, const QByteArray &bodyPrefix = QByteArray()) const;
    // File position of the segment's 0xFF.
    qint64 positionOf(int index) const;
};
QByteArray segmentBytes(const Segment &segment);

// A small JPEG (JFIF APP0, tables, baseline frame) drawn by Qt.
QByteArray plainJpeg(int width, int height);

enum class Order
{
    Little,
    Big
};
// exiv2's numbers of the field types, for ExifValueDef without including exiv2.
constexpr int Exiv2Short = 3;
constexpr int Exiv2Ascii = 2;
constexpr int Exiv2SRational = 10;
constexpr int Exiv2Float = 11;
// Writes through exiv2: IFD0 with every field type 1-12, an Exif IFD with a user comment and an
// interoperability directory, a GPS directory and a thumbnail IFD1 with its JPEG.
void writeFullExif(const QString &path, Order order);
// Writes only the given values; type 0 takes exiv2's own type of the key.
struct ExifValueDef
{
    QString key;
    int type = 0;
    QString text;
};
void writeExifValues(const QString &path, const QList<ExifValueDef> &values, Order order);
void writeXmp(const QString &path);

// One directory entry as both readers see it: values as bytes in little-endian order.
struct EntryRecord
{
    QString collection; // "main" or "thumbnail"
    int ifd = 0;
    int tag = 0;
    int type = 0;
    quint32 count = 0;
    QByteArray data;

    bool operator==(const EntryRecord &) const = default;
    bool operator<(const EntryRecord &other) const;
    QString toString() const;
};

// What exiv2 reads: the standard directories only (maker notes and sub-images left out), sorted. With
// fileOrder the value bytes are in the file's byte order (as they lie in the file) instead.
QList<EntryRecord> exiv2Records(const QString &path, bool fileOrder = false);
QSize exiv2ImageSize(const QString &path);
// Value offsets that exiv2 prints for IFD0, the Exif IFD and IFD1 ("exiv2 -pR"): tag -> offsets
// (0 for a value inside its entry).
QList<QPair<int, quint32>> exiv2PrintedOffsets(const QString &path);

QList<EntryRecord> ourRecords(const TExifInfo &info);

} // namespace vantora::test
