#include "transfer/shootingdate.h"

#include "metadata/exivbytes.h"
#include "metadata/heifexif.h"
#include "metadata/jpeghead.h"
#include "metadata/quicktimedate.h"
#include "platform/filepath.h"
#include "platform/filetimes.h"
#include "platform/readonlyfile.h"
#include "source/source.h"

#include <QHash>

#include <exiv2/exiv2.hpp>

#include <cstring>
#include <initializer_list>

namespace vantora {

namespace {

// What a file is, told by its first bytes (and, for QuickTime, by its name too). Only the kinds below are
// ever handed to exiv2: readers whose every read is bounded by the bytes they are given. Anything else
// (video, audio, PNG, unknown) is never handed to it; of a HEIF image it gets the Exif block alone.
enum class Kind
{
    Unknown,
    Heif,      // HEIC, HEIF, HIF, AVIF (by their ftyp brands): our own reader finds the Exif block
    QuickTime, // MP4, MOV, M4V, 3GP, M4A, CR3, and any other ISO media file: our own reader only
    Jpeg,
    Tiff, // TIFF and the TIFF-based raw files (NEF, ARW, DNG, PEF, SRW...)
    Cr2,
    Orf,
    Rw2,
    Raf, // Fujifilm raw: its embedded JPEG is read as a JPEG
    Crw,
    Mrw,
};

constexpr qint64 HeadBytes = 128; // an ftyp box with its brands
// The most bytes exiv2 is given from one file: a bigger TIFF-based file is given its first bytes only
// (its metadata lies at the front; what lies past them is skipped as out of bounds).
constexpr qint64 MaxExiv2Bytes = 64 * 1024 * 1024;

bool startsWith(QByteArrayView head, const char *magic, qsizetype length)
{
    return head.size() >= length && std::memcmp(head.data(), magic, size_t(length)) == 0;
}

bool isQuickTimeName(const QString &path)
{
    const QString suffix = FilePath(path).suffix().toLower();
    return suffix == QLatin1String("mp4") || suffix == QLatin1String("m4v") ||
           suffix == QLatin1String("mov") || suffix == QLatin1String("3gp") || suffix == QLatin1String("m4a");
}

Kind kindOf(QByteArrayView head, bool quickTimeName)
{
    if (LooksLikeHeif(head))
        return Kind::Heif;
    if (quickTimeName || LooksLikeQuickTime(head))
        return Kind::QuickTime;
    if (startsWith(head, "\xFF\xD8\xFF", 3))
        return Kind::Jpeg;
    if (startsWith(head, "II*\0", 4) || startsWith(head, "MM\0*", 4)) {
        if (head.size() >= 12 && std::memcmp(head.data() + 8, "CR\2\0", 4) == 0)
            return Kind::Cr2;
        return Kind::Tiff;
    }
    if (startsWith(head, "IIRO", 4) || startsWith(head, "IIRS", 4) || startsWith(head, "MMOR", 4))
        return Kind::Orf;
    if (startsWith(head, "IIU\0", 4))
        return Kind::Rw2;
    if (startsWith(head, "FUJIFILMCCD-RAW ", 16))
        return Kind::Raf;
    if (startsWith(head, "II\x1A\0\0\0HEAPCCDR", 14) || startsWith(head, "MM\0\0\0\x1AHEAPCCDR", 14))
        return Kind::Crw;
    if (startsWith(head, "\0MRM", 4))
        return Kind::Mrw;
    return Kind::Unknown;
}

quint32 be32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return (quint32(u[0]) << 24) | (quint32(u[1]) << 16) | (quint32(u[2]) << 8) | quint32(u[3]);
}

// The first of the keys that holds a valid date.
template <typename Key, typename Data>
QDateTime firstDate(const Data &data, std::initializer_list<const char *> keys)
{
    for (const char *key : keys) {
        const auto it = data.findKey(Key(key));
        if (it != data.end()) {
            const QDateTime d = DateTimeFromMetadataText(QString::fromStdString(it->toString()));
            if (d.isValid())
                return d;
        }
    }
    return {};
}

QDateTime fromExif(const Exiv2::ExifData &exif)
{
    return firstDate<Exiv2::ExifKey>(exif, {"Exif.Photo.DateTimeOriginal", "Exif.Image.DateTimeOriginal"});
}

QDateTime fromXmp(const Exiv2::XmpData &xmp)
{
    return firstDate<Exiv2::XmpKey>(xmp, {"Xmp.exif.DateTimeOriginal", "Xmp.photoshop.DateCreated"});
}

// exiv2's reader of exactly the given kind over bytes in memory: it cannot read past them.
QDateTime dateFromExiv2(Kind kind, const QByteArray &bytes)
{
    static const QHash<Kind, ExivReader> readers{
        {Kind::Jpeg, ExivReader::Jpeg}, {Kind::Tiff, ExivReader::Tiff}, {Kind::Cr2, ExivReader::Cr2},
        {Kind::Orf, ExivReader::Orf},   {Kind::Rw2, ExivReader::Rw2},   {Kind::Crw, ExivReader::Crw},
        {Kind::Mrw, ExivReader::Mrw}};
    const auto reader = readers.constFind(kind);
    QDateTime d;
    if (reader != readers.cend()) {
        ReadExivMetadata(*reader, bytes, [&d](Exiv2::Image &image) {
            d = fromExif(image.exifData());
            if (!d.isValid())
                d = fromXmp(image.xmpData());
        });
    }
    // Unreadable to exiv2: the file's own time.
    return d;
}

// The date exiv2 reads from the file's bytes: a JPEG's metadata segments, a raw file's first bytes, a
// Fujifilm raw's embedded JPEG.
QDateTime dateFromExiv2(Kind kind, const ReadOnlyFile &file)
{
    const qint64 size = file.size();
    switch (kind) {
    case Kind::Jpeg:
        return dateFromExiv2(kind, ReadBytes(file, 0, JpegHeadLength(file, 0, size)));
    case Kind::Raf: {
        // The header gives where the camera's JPEG lies, which holds the Exif block.
        char where[8];
        if (size < 92 || file.readAt(84, where, 8) != 8)
            return {};
        const qint64 offset = be32(where);
        const qint64 length = be32(where + 4);
        if (length < 4 || offset > size || length > size - offset)
            return {};
        char soi[3];
        if (file.readAt(offset, soi, 3) != 3 || std::memcmp(soi, "\xFF\xD8\xFF", 3) != 0)
            return {};
        return dateFromExiv2(Kind::Jpeg,
                             ReadBytes(file, offset, JpegHeadLength(file, offset, offset + length)));
    }
    case Kind::Unknown:
    case Kind::Heif:
    case Kind::QuickTime:
        return {};
    default:
        return dateFromExiv2(kind, ReadBytes(file, 0, qMin(size, MaxExiv2Bytes)));
    }
}

// The open file as a source for the QuickTime reader.
class FileSource final : public QuickTimeSource
{
public:
    explicit FileSource(const ReadOnlyFile &file) : m_file(file) {}
    qint64 size() const override { return m_file.size(); }
    bool readAt(qint64 offset, char *buffer, int count) override
    {
        return m_file.readAt(offset, buffer, count) == count;
    }

private:
    const ReadOnlyFile &m_file;
};

// The local time the camera's clock said when the file was taken; the name tells QuickTime files.
QDateTime dateFromContent(const ReadOnlyFile &file, const QString &path)
{
    if (!file.isOpen())
        return {};
    char head[HeadBytes] = {};
    const qint64 got = file.readAt(0, head, HeadBytes);
    if (got < 0)
        return {};
    const Kind kind = kindOf(QByteArrayView(head, got), isQuickTimeName(path));
    if (kind == Kind::Heif) {
        FileSource source(file);
        const QByteArray tiff = ReadHeifExif(source);
        const QDateTime d = tiff.isEmpty() ? QDateTime() : dateFromExiv2(Kind::Tiff, tiff);
        // An image sequence may carry a movie header, as it did before its brand was known.
        return d.isValid() ? d : ReadQuickTimeCreationTime(source).toLocalTime();
    }
    if (kind == Kind::QuickTime) {
        FileSource source(file);
        return ReadQuickTimeCreationTime(source).toLocalTime();
    }
    if (kind == Kind::Unknown)
        return {};
    return dateFromExiv2(kind, file);
}

} // namespace

QDateTime DateTimeFromMetadataText(const QString &text)
{
    const QDate day = DateFromMetadataText(text);
    if (!day.isValid())
        return {};
    // The time of day where one follows the date ("10:11:12"), else the day's start.
    const QTime time = QTime::fromString(text.trimmed().mid(11, 8), QStringLiteral("HH:mm:ss"));
    return QDateTime(day, time.isValid() ? time : QTime(0, 0));
}

QDate DateFromMetadataText(const QString &text)
{
    const QString t = text.trimmed();
    if (t.size() < 10)
        return {};
    const QChar sep = t.at(4);
    if ((sep != QLatin1Char(':') && sep != QLatin1Char('-')) || t.at(7) != sep)
        return {};
    if (t.size() > 10 && t.at(10) != QLatin1Char(' ') && t.at(10) != QLatin1Char('T'))
        return {};
    bool y = false, m = false, d = false;
    const int year = t.mid(0, 4).toInt(&y);
    const int month = t.mid(5, 2).toInt(&m);
    const int day = t.mid(8, 2).toInt(&d);
    if (!y || !m || !d)
        return {};
    return QDate(year, month, day); // invalid for 0000:00:00 and other impossible days
}

QDate ReadShootingDate(const QString &path, int clockOffsetMinutes)
{
    // Through the byte path; regular files only, so nothing blocks.
    const QDateTime taken = dateFromContent(ReadOnlyFile(path), path);
    if (taken.isValid())
        return taken.addSecs(qint64(clockOffsetMinutes) * 60).date();
    return fileLastModified(path).date();
}

QDate ReadShootingDate(const Source &source, const SourceFile &file, int clockOffsetMinutes)
{
    const int fd = source.open(file);
    const QDateTime taken = fd < 0 ? QDateTime() : dateFromContent(ReadOnlyFile(fd), file.path);
    if (taken.isValid())
        return taken.addSecs(qint64(clockOffsetMinutes) * 60).date();
    if (file.stamp.size < 0)
        return {};
    return QDateTime::fromSecsSinceEpoch(file.stamp.mtime.sec).date();
}

} // namespace vantora
