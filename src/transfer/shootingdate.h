#pragma once

#include <QDate>
#include <QString>

namespace vantora {

// The day a photo or video was taken: Exif DateTimeOriginal (the date part alone); else the capture
// date exiv2 finds for raw and video files (QuickTime/MP4 dates are UTC and become the local day); else
// the file's last-write time as a local date. A file exiv2 cannot read falls back silently. Invalid only
// when not even the last-write time can be read.
QDate ReadShootingDate(const QString &path);

// The date part of a metadata date text: "2017:03:05 10:11:12", "2017-03-05T10:11:12+09:00", "2017:03:05".
// Invalid for anything else, including the all-zero date cameras write when the clock was never set.
QDate DateFromMetadataText(const QString &text);

} // namespace vantora
