#pragma once

#include <QtGlobal>

namespace vantora {

class ReadOnlyFile;

// How many bytes of the JPEG at [start, end) of the file hold its metadata: the segments up to and with
// the start of the image data (SOS). A damaged or endless run of segments gives at most the first 16 MiB
// (4,096 segments), so a hostile file never makes a reader take more.
qint64 JpegHeadLength(const ReadOnlyFile &file, qint64 start, qint64 end);

} // namespace vantora
