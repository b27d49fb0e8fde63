#include "transfer/shootingdate.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>

#include <exiv2/exiv2.hpp>
#include <exiv2/quicktimevideo.hpp>

#include <mutex>

namespace vantora {

namespace {

void muteExiv2Once()
{
    static std::once_flag once;
    std::call_once(once, [] { Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute); });
}

// QuickTime counts seconds from 1904-01-01 UTC.
QDate dateFromQuickTimeSeconds(const std::string &text)
{
    bool ok = false;
    const qint64 seconds = QString::fromStdString(text).trimmed().toLongLong(&ok);
    if (!ok || seconds <= 0)
        return DateFromMetadataText(QString::fromStdString(text));
    const QDateTime epoch(QDate(1904, 1, 1), QTime(0, 0), QTimeZone::utc());
    return epoch.addSecs(seconds).toLocalTime().date();
}

QDate fromExif(const Exiv2::ExifData &exif)
{
    for (const char *key : {"Exif.Photo.DateTimeOriginal", "Exif.Image.DateTimeOriginal"}) {
        const auto it = exif.findKey(Exiv2::ExifKey(key));
        if (it != exif.end()) {
            const QDate d = DateFromMetadataText(QString::fromStdString(it->toString()));
            if (d.isValid())
                return d;
        }
    }
    return {};
}

QDate fromXmp(const Exiv2::XmpData &xmp)
{
    for (const char *key : {"Xmp.exif.DateTimeOriginal", "Xmp.photoshop.DateCreated"}) {
        const auto it = xmp.findKey(Exiv2::XmpKey(key));
        if (it != xmp.end()) {
            const QDate d = DateFromMetadataText(QString::fromStdString(it->toString()));
            if (d.isValid())
                return d;
        }
    }
    for (const char *key : {"Xmp.video.DateUTC", "Xmp.video.MediaCreateDate", "Xmp.video.TrackCreateDate"}) {
        const auto it = xmp.findKey(Exiv2::XmpKey(key));
        if (it != xmp.end()) {
            const QDate d = dateFromQuickTimeSeconds(it->toString());
            if (d.isValid())
                return d;
        }
    }
    return {};
}

QDate fromImage(Exiv2::Image &image)
{
    image.readMetadata();
    QDate d = fromExif(image.exifData());
    if (!d.isValid())
        d = fromXmp(image.xmpData());
    return d;
}

bool isQuickTimeName(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("mp4") || suffix == QLatin1String("m4v") ||
           suffix == QLatin1String("mov") || suffix == QLatin1String("3gp") || suffix == QLatin1String("m4a");
}

} // namespace

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

QDate ReadShootingDate(const QString &path)
{
    muteExiv2Once();
    const std::string name = QFile::encodeName(path).toStdString();
    QDate date;
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(name);
        if (image.get())
            date = fromImage(*image);
    } catch (...) {
        // Unreadable or unknown to exiv2: the file's own time below.
    }
    if (!date.isValid() && isQuickTimeName(path)) {
        // MP4 is not among the types exiv2 recognises by content; its QuickTime reader reads it.
        try {
            Exiv2::BasicIo::AutoPtr io(new Exiv2::FileIo(name));
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
            Exiv2::QuickTimeVideo video(io);
#pragma GCC diagnostic pop
            date = fromImage(video);
        } catch (...) {
        }
    }
    if (!date.isValid())
        date = QFileInfo(path).lastModified().date();
    return date;
}

} // namespace vantora
