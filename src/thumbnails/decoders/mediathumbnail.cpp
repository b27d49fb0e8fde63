#include "thumbnails/decoders/mediathumbnail.h"

#include "metadata/heifexif.h"
#include "platform/readonlyfile.h"

namespace vantora {

extern "C" void vantoraMediaThumbnail(const QString &path, int side, Thumbnail *made)
{
    *made = {};
    const ReadOnlyFile file(path); // regular files only: a FIFO named like a video cannot block
    if (!file.isOpen())
        return;
    char head[64] = {};
    const qint64 got = file.readAt(0, head, sizeof head);
    if (got <= 0)
        return;
    *made = LooksLikeHeif(QByteArrayView(head, got)) ? HeifThumbnail(file, side)
                                                     : VideoFrameThumbnail(file, side);
}

} // namespace vantora
