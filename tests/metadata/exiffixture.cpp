#include "exiffixture.h"

#include "metadata/texifinfo.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QtEndian>

#include <exiv2/exiv2.hpp>

#include <algorithm>

namespace vantora::test {

JpegParts JpegParts::parse(const QByteArray &jpeg)
{
    JpegParts parts;
    qsizetype pos = 2; // after SOI
    while (pos + 4 <= jpeg.size()) {
        const quint16 marker = qFromBigEndian<quint16>(jpeg.constData() + pos);
        if (marker == 0xFFDA)
            break;
        const quint16 length = qFromBigEndian<quint16>(jpeg.constData() + pos + 2);
        parts.segments.append({marker, jpeg.mid(pos + 4, length - 2)});
        pos += 2 + length;
    }
    parts.rest = jpeg.mid(pos);
    return parts;
}

QByteArray segmentBytes(const Segment &segment)
{
    QByteArray out(4, Qt::Uninitialized);
    qToBigEndian<quint16>(segment.marker, out.data());
    qToBigEndian<quint16>(quint16(segment.body.size() + 2), out.data() + 2);
    return out + segment.body;
}

QByteArray JpegParts::join() const
{
    QByteArray out("\xFF\xD8", 2);
    for (const Segment &s : segments)
        out += segmentBytes(s);
    return out + rest;
}

int JpegParts::indexOf(quint16 marker, const QByteArray &bodyPrefix) const
{
    for (int i = 0; i < segments.size(); ++i) {
        if (segments[i].marker == marker && segments[i].body.startsWith(bodyPrefix))
            return i;
    }
    return -1;
}

qint64 JpegParts::positionOf(int index) const
{
    qint64 pos = 2;
    for (int i = 0; i < index; ++i)
        pos += 4 + segments[i].body.size();
    return pos;
}

QByteArray plainJpeg(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QPainter(&image).fillRect(0, 0, width / 2, height / 2, Qt::yellow);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 80);
    return bytes;
}

namespace {

Exiv2::ByteOrder exivOrder(Order order)
{
    return order == Order::Little ? Exiv2::littleEndian : Exiv2::bigEndian;
}

void addValue(Exiv2::ExifData &data, const char *key, Exiv2::TypeId type, const char *text)
{
    Exiv2::Value::AutoPtr value = Exiv2::Value::create(type);
    value->read(text);
    data.add(Exiv2::ExifKey(key), value.get());
}

void writeData(const QString &path, const Exiv2::ExifData &data, Order order)
{
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path.toStdString());
    image->readMetadata();
    image->setExifData(data);
    image->setByteOrder(exivOrder(order));
    image->writeMetadata();
}

} // namespace

void writeFullExif(const QString &path, Order order)
{
    Exiv2::ExifData data;
    addValue(data, "Exif.Image.Make", Exiv2::asciiString, "VantoraCam");
    addValue(data, "Exif.Image.Model", Exiv2::asciiString, "X1");
    addValue(data, "Exif.Image.Orientation", Exiv2::unsignedShort, "6");
    addValue(data, "Exif.Image.XResolution", Exiv2::unsignedRational, "300/1");
    addValue(data, "Exif.Image.YResolution", Exiv2::unsignedRational, "72/1");
    addValue(data, "Exif.Image.0xc000", Exiv2::signedByte, "-5 7 -128");
    addValue(data, "Exif.Image.0xc001", Exiv2::tiffFloat, "1.5 -2.25");
    addValue(data, "Exif.Image.0xc002", Exiv2::tiffDouble, "3.125");
    addValue(data, "Exif.Image.0xc003", Exiv2::signedShort, "-300 42");
    addValue(data, "Exif.Image.0xc004", Exiv2::signedLong, "-70000");
    addValue(data, "Exif.Image.0xc005", Exiv2::signedRational, "-1/3 5/-7");
    addValue(data, "Exif.Image.0xc006", Exiv2::unsignedLong, "4000000000 7");
    addValue(data, "Exif.Image.0xc007", Exiv2::unsignedByte, "1 2 3 4 5 6");
    addValue(data, "Exif.Image.0xc008", Exiv2::undefined, "1 2 3");
    addValue(data, "Exif.Image.0xc009", Exiv2::tiffFloat, "0.25");
    addValue(data, "Exif.Image.Artist", Exiv2::asciiString, "ab");
    addValue(data, "Exif.Photo.ExposureTime", Exiv2::unsignedRational, "1/250");
    addValue(data, "Exif.Photo.ExifVersion", Exiv2::undefined, "48 50 51 48");
    addValue(data, "Exif.Photo.DateTimeOriginal", Exiv2::asciiString, "2024:05:06 07:08:09");
    addValue(data, "Exif.Photo.UserComment", Exiv2::comment, "charset=Ascii hello world");
    addValue(data, "Exif.Photo.ExposureBiasValue", Exiv2::signedRational, "-2/3");
    addValue(data, "Exif.Photo.ISOSpeedRatings", Exiv2::unsignedShort, "200");
    addValue(data, "Exif.GPSInfo.GPSVersionID", Exiv2::unsignedByte, "2 3 0 0");
    addValue(data, "Exif.GPSInfo.GPSLatitudeRef", Exiv2::asciiString, "N");
    addValue(data, "Exif.GPSInfo.GPSLatitude", Exiv2::unsignedRational, "35/1 40/1 1234/100");
    addValue(data, "Exif.GPSInfo.GPSAltitudeRef", Exiv2::unsignedByte, "0");
    addValue(data, "Exif.GPSInfo.GPSAltitude", Exiv2::unsignedRational, "1500/10");
    addValue(data, "Exif.Iop.InteroperabilityIndex", Exiv2::asciiString, "R98");
    addValue(data, "Exif.Iop.InteroperabilityVersion", Exiv2::undefined, "48 49 48 48");
    const QByteArray thumb = plainJpeg(8, 8);
    Exiv2::ExifThumb(data).setJpegThumbnail(reinterpret_cast<const Exiv2::byte *>(thumb.constData()),
                                            long(thumb.size()), Exiv2::URational(72, 1),
                                            Exiv2::URational(72, 1), 2);
    addValue(data, "Exif.Thumbnail.Orientation", Exiv2::unsignedShort, "1");
    writeData(path, data, order);
}

void writeExifValues(const QString &path, const QList<ExifValueDef> &values, Order order)
{
    Exiv2::ExifData data;
    for (const ExifValueDef &def : values) {
        const Exiv2::ExifKey k(def.key.toStdString());
        Exiv2::Value::AutoPtr value =
            Exiv2::Value::create(def.type == 0 ? k.defaultTypeId() : Exiv2::TypeId(def.type));
        value->read(def.text.toStdString());
        data.add(k, value.get());
    }
    writeData(path, data, order);
}

void writeXmp(const QString &path)
{
    Exiv2::XmpData xmp;
    xmp["Xmp.dc.title"] = "lang=x-default A title";
    xmp["Xmp.xmp.Rating"] = "4";
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path.toStdString());
    image->readMetadata();
    image->setXmpData(xmp);
    image->writeMetadata();
}

bool EntryRecord::operator<(const EntryRecord &o) const
{
    return std::tie(collection, ifd, tag, type, count, data) <
           std::tie(o.collection, o.ifd, o.tag, o.type, o.count, o.data);
}

QString EntryRecord::toString() const
{
    return QStringLiteral("%1 ifd%2 tag 0x%3 type %4 count %5 data %6")
        .arg(collection)
        .arg(ifd)
        .arg(tag, 4, 16, QLatin1Char('0'))
        .arg(type)
        .arg(count)
        .arg(QString::fromLatin1(data.left(48).toHex()));
}

QList<EntryRecord> exiv2Records(const QString &path, bool fileOrder)
{
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    static const QList<QPair<QString, QPair<QString, int>>> groups = {
        {QStringLiteral("Image"), {QStringLiteral("main"), 0}},
        {QStringLiteral("Photo"), {QStringLiteral("main"), 1}},
        {QStringLiteral("GPSInfo"), {QStringLiteral("main"), 2}},
        {QStringLiteral("Iop"), {QStringLiteral("main"), 3}},
        {QStringLiteral("Thumbnail"), {QStringLiteral("thumbnail"), 0}},
    };
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path.toStdString());
    image->readMetadata();
    const Exiv2::ByteOrder order = fileOrder ? image->byteOrder() : Exiv2::littleEndian;
    QList<EntryRecord> records;
    for (const Exiv2::Exifdatum &d : image->exifData()) {
        const QString group = QString::fromStdString(d.groupName());
        const auto it =
            std::find_if(groups.begin(), groups.end(), [&](const auto &g) { return g.first == group; });
        if (it == groups.end())
            continue;
        EntryRecord r;
        r.collection = it->second.first;
        r.ifd = it->second.second;
        r.tag = d.tag();
        r.type = d.typeId();
        r.count = quint32(d.count());
        r.data = QByteArray(int(d.size()), '\0');
        if (d.size() > 0)
            d.copy(reinterpret_cast<Exiv2::byte *>(r.data.data()), order);
        records.append(r);
    }
    std::sort(records.begin(), records.end());
    return records;
}

QSize exiv2ImageSize(const QString &path)
{
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path.toStdString());
    image->readMetadata();
    return QSize(image->pixelWidth(), image->pixelHeight());
}

QList<QPair<int, quint32>> exiv2PrintedOffsets(const QString &path)
{
    QProcess exiv2;
    exiv2.start(QStringLiteral("exiv2"), {QStringLiteral("-pR"), path});
    exiv2.waitForFinished(30000);
    static const QRegularExpression line(
        QStringLiteral(R"(^\s*\d+ \| 0x([0-9a-f]{4}) [^|]*\|\s*\w+ \|\s*\d+ \|\s*(\d*) \|)"));
    QList<QPair<int, quint32>> offsets;
    for (const QString &text : QString::fromUtf8(exiv2.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = line.match(text);
        if (m.hasMatch())
            offsets.append({m.captured(1).toInt(nullptr, 16), m.captured(2).toUInt()});
    }
    return offsets;
}

QList<EntryRecord> ourRecords(const TExifInfo &info)
{
    QList<EntryRecord> records;
    const QList<QPair<QString, const TEntryItems *>> collections = {
        {QStringLiteral("main"), &info.Entries()}, {QStringLiteral("thumbnail"), &info.ThumbnailEntries()}};
    for (const auto &[name, items] : collections) {
        for (int i = 0; i < items->Count(); ++i) {
            const TEntryItem &e = items->Items(i);
            EntryRecord r;
            r.collection = name;
            r.ifd = e.IfdIndex();
            r.tag = e.Tag();
            r.type = e.FieldType();
            r.count = e.Count();
            if (e.FieldType() == eftAscii || e.FieldType() == eftUndefined) {
                r.data = e.BytesValue();
            } else {
                // host-order blocks to little-endian
                const int size = ExifTypeSize(e.FieldType());
                const int unit = (e.FieldType() == eftRational || e.FieldType() == eftSRational) ? 4 : size;
                const QByteArray &v = e.ValueData();
                r.data.resize(v.size());
                for (qsizetype p = 0; p < v.size(); p += unit) {
                    for (int b = 0; b < unit; ++b) {
                        const int from = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? b : unit - 1 - b;
                        r.data[p + b] = v[p + from];
                    }
                }
            }
            records.append(r);
        }
    }
    std::sort(records.begin(), records.end());
    return records;
}

} // namespace vantora::test
