#include "thumbnails/thumbnailmaker.h"

#include "metadata/exivbytes.h"
#include "metadata/jpeghead.h"
#include "platform/filepath.h"
#include "platform/readonlyfile.h"
#include "settings/extensiontype.h"

#include <QBuffer>
#include <QHash>
#include <QImageReader>
#include <QtEndian>

#include <exiv2/exiv2.hpp>

#include <cstring>

namespace vantora {

namespace {

// The most bytes exiv2 is given from a TIFF-based raw file (its previews are listed at the front).
constexpr qint64 MaxRawBytes = 64 * 1024 * 1024;
// The biggest file decoded as a picture, and the most pixels it may have.
constexpr qint64 MaxDecodeBytes = 64 * 1024 * 1024;
constexpr qint64 MaxDecodePixels = qint64(120) * 1000 * 1000;
// The first bytes that tell a picture's format.
constexpr qint64 FormatProbeBytes = 4096;

bool startsWith(QByteArrayView head, const char *magic, qsizetype length)
{
    return head.size() >= length && std::memcmp(head.data(), magic, size_t(length)) == 0;
}

// The picture in the bytes, decoded at a size that fits a square of `side`; at least `minimum` on its long
// side, else none.
Thumbnail decodeScaled(QByteArray bytes, int side, int minimum)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > MaxDecodePixels ||
        qMax(size.width(), size.height()) < minimum)
        return {};
    if (size.width() > side || size.height() > side)
        reader.setScaledSize(size.scaled(side, side, Qt::KeepAspectRatio));
    Thumbnail made{reader.read(), size};
    if (made.image.isNull())
        return {};
    return made;
}

// The JPEG that the Exif block's second directory (the thumbnail's) points at, read straight from the
// block: nearly every camera writes one of 160 pixels or more there, and it is the smallest preview a
// JPEG holds, so the full metadata read (most of a thumbnail's time) is spared. Empty when there is none
// or the block is damaged.
QByteArray exifThumbnailOf(const QByteArray &head)
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

// The smallest preview of at least ThumbnailSide on its long side, of the metadata bytes given.
Thumbnail previewOf(const QByteArray &bytes, bool jpeg, int side)
{
    Thumbnail made;
    ReadExivMetadata(jpeg ? ExivReader::Jpeg : ExivReader::Tiff, bytes, [&made, side](Exiv2::Image &image) {
        Exiv2::PreviewManager previews(image);
        // Listed from the smallest up.
        for (const Exiv2::PreviewProperties &p : previews.getPreviewProperties()) {
            if (qMax(p.width_, p.height_) < uint32_t(ThumbnailSide))
                continue;
            const Exiv2::PreviewImage preview = previews.getPreviewImage(p);
            made = decodeScaled(
                QByteArray(reinterpret_cast<const char *>(preview.pData()), qsizetype(preview.size())), side,
                ThumbnailSide);
            if (!made.image.isNull())
                return;
        }
    });
    // Unreadable to exiv2: decoded instead.
    return made.image.isNull() ? Thumbnail() : made;
}

// The file's own picture, decoded at a size that fits a square of `side`.
Thumbnail pictureOf(const ReadOnlyFile &file, int side)
{
    if (file.size() <= 0 || file.size() > MaxDecodeBytes)
        return {};
    // Only what a reader recognises by its first bytes is read whole.
    QByteArray head = ReadBytes(file, 0, qMin(file.size(), FormatProbeBytes));
    QBuffer probe(&head);
    probe.open(QIODevice::ReadOnly);
    if (QImageReader::imageFormat(&probe).isEmpty())
        return {};
    return decodeScaled(ReadBytes(file, 0, file.size()), side, 1);
}

} // namespace

void PrepareThumbnails()
{
    QImage tiny(8, 8, QImage::Format_RGB32);
    tiny.fill(Qt::gray);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    tiny.save(&buffer, "JPEG");
    decodeScaled(bytes, 4, 1);
    try {
        Exiv2::XmpParser::initialize();
        Exiv2::ExifKey key("Exif.Image.Make");
        Q_UNUSED(key)
    } catch (...) {
    }
}

ThumbnailKind ThumbnailKindOf(const QString &path)
{
    const QString suffix = FilePath(path).suffix();
    const auto named = [&suffix](const char *code) {
        return code && suffix.compare(QLatin1String(code), Qt::CaseInsensitive) == 0;
    };
    for (const ExtensionType &type : ExtensionTypes) {
        if (named(type.code) || named(type.alias)) {
            switch (type.group) {
            case ExtensionGroup::Image:
                return ThumbnailKind::Image;
            case ExtensionGroup::Video:
                return ThumbnailKind::Video;
            case ExtensionGroup::Audio:
                return ThumbnailKind::Audio;
            }
        }
    }
    // Other names cameras and recorders give their files.
    static const QHash<QString, ThumbnailKind> others = [] {
        QHash<QString, ThumbnailKind> kinds;
        for (const char *name :
             {"jpe", "webp", "heic", "heif", "cr3", "crw", "nrw", "srf", "sr2", "srw", "mrw", "x3f", "rwl"})
            kinds.insert(QLatin1String(name), ThumbnailKind::Image);
        for (const char *name : {"m4v", "mts", "m2ts", "3gp", "mod", "tod", "vob", "webm"})
            kinds.insert(QLatin1String(name), ThumbnailKind::Video);
        for (const char *name : {"ogg", "aif", "aiff"})
            kinds.insert(QLatin1String(name), ThumbnailKind::Audio);
        return kinds;
    }();
    return others.value(suffix.toLower(), ThumbnailKind::Other);
}

Thumbnail MakeThumbnail(const QString &path, int side)
{
    const ReadOnlyFile file(path); // regular files only: a FIFO named like a photo cannot block
    if (!file.isOpen())
        return {};
    char head[16] = {};
    const qint64 got = file.readAt(0, head, sizeof head);
    if (got < 0)
        return {};
    const QByteArrayView start(head, got);
    Thumbnail made;
    if (startsWith(start, "\xFF\xD8\xFF", 3)) {
        const QByteArray metadata = ReadBytes(file, 0, JpegHeadLength(file, 0, file.size()));
        made = decodeScaled(exifThumbnailOf(metadata), side, ThumbnailSide);
        if (made.image.isNull())
            made = previewOf(metadata, true, side);
    } else if (startsWith(start, "II*\0", 4) || startsWith(start, "MM\0*", 4)) {
        made = previewOf(ReadBytes(file, 0, qMin(file.size(), MaxRawBytes)), false, side);
    }
    if (made.image.isNull())
        made = pictureOf(file, side);
    return made;
}

} // namespace vantora
