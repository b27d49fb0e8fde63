#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

namespace vantora {

class Source;
struct SourceFile;

// The day a photo or video was taken, else the file's last-write time as a local date; invalid only when
// not even that can be read. The file is opened through its byte path and only when it is a regular file.
// - MP4, MOV, M4V, 3GP, M4A (by name, or by content: an ftyp box or a top-level moov/mdat/wide/free/skip
//   box), and CR3 (brand crx): the movie header's creation time (UTC) as the local day, by our own bounded
//   reader (metadata/quicktimedate.h); never handed to exiv2.
// - HEIC, HEIF, HIF, AVIF (by content: their ftyp brands, whatever the name): the Exif item's
//   DateTimeOriginal, found by our own bounded reader (metadata/heifexif.h) and read by exiv2 from those
//   bytes alone.
// - JPEG, TIFF and the raw files exiv2 reads with bounded reads (TIFF-based raws, CR2, ORF, RW2, CRW, MRW,
//   and a Fujifilm RAF's embedded JPEG), found by content: Exif DateTimeOriginal (the date part alone), else
//   XMP's. exiv2 gets the bytes in memory, at most the JPEG's metadata segments or a raw file's first 64 MiB.
// - Anything else, and any damaged file: the last-write time.
// clockOffsetMinutes (a camera whose clock was wrong, or on another time zone) moves a time the file's own
// metadata gives, never the last-write time.
QDate ReadShootingDate(const QString &path, int clockOffsetMinutes = 0);

// The same for a file of a source, read through the source (a camera's file from its download); the
// last-write time is the one the listing gave.
QDate ReadShootingDate(const Source &source, const SourceFile &file, int clockOffsetMinutes = 0);

// A metadata date text with its time of day, where it has one; the day's start where it has none.
QDateTime DateTimeFromMetadataText(const QString &text);

// The date part of a metadata date text: "2017:03:05 10:11:12", "2017-03-05T10:11:12+09:00", "2017:03:05".
// Invalid for anything else, including the all-zero date cameras write when the clock was never set.
QDate DateFromMetadataText(const QString &text);

} // namespace vantora
