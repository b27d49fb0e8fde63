#pragma once

#include <QByteArray>

namespace vantora {

class ReadOnlyFile;

// How many bytes of the JPEG at [start, end) of the file hold its metadata: the segments up to and with
// the start of the image data (SOS). A damaged or endless run of segments gives at most the first 16 MiB
// (4,096 segments), so a hostile file never makes a reader take more.
qint64 JpegHeadLength(const ReadOnlyFile &file, qint64 start, qint64 end);

// The JPEG that the Exif block's second directory (the thumbnail's) points at, of a JPEG's metadata bytes
// (from its start, as JpegHeadLength gives them), read straight from the block without reading the rest
// of it. Empty when there is none or the block is damaged; never reads outside head.
QByteArray JpegExifThumbnail(const QByteArray &head);

} // namespace vantora
