#include "thumbnails/thumbnailmaker.h"

#include "metadata/exivbytes.h"
#include "metadata/jpeghead.h"
#include "platform/filepath.h"
#include "platform/readonlyfile.h"
#include "settings/extensiontype.h"

#include <QBuffer>
#include <QHash>
#include <QImageReader>

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
        // Nearly every camera writes an Exif thumbnail of 160 pixels or more, the smallest preview a JPEG
        // holds: taken from its pointers, it spares the full metadata read (most of a thumbnail's time).
        made = decodeScaled(JpegExifThumbnail(metadata), side, ThumbnailSide);
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
