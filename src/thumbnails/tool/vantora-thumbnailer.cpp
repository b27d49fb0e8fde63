// The thumbnail helper: reads file paths on standard input and answers each with its thumbnail on
// standard output (thumbnailprotocol.h). Usage: vantora-thumbnailer [--side N] The window runs a few of
// these, so that a decoder that crashes or hangs on a damaged or hostile file costs that file's thumbnail
// only.
#include "metadata/heifexif.h"
#include "platform/bytepath.h"
#include "platform/filepath.h"
#include "platform/readonlyfile.h"
#include "testhooks.h"
#include "thumbnails/decoders/mediathumbnail.h"
#include "thumbnails/thumbnailprotocol.h"

#include <QCoreApplication>
#include <QLibrary>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <thread>

using namespace vantora;

namespace {

bool readExactly(void *buffer, size_t count)
{
    return count == 0 || std::fread(buffer, 1, count, stdin) == count;
}

// Test builds only: VANTORA_THUMBNAILER_FAULT="crash:NAME" or "hang:NAME" (several joined by '|') makes
// the helper crash or hang on the file of that name, as a decoder might on a hostile file.
void injectFault(const QString &path)
{
    if constexpr (WithTestHooks) {
        static const QStringList faults =
            qEnvironmentVariable("VANTORA_THUMBNAILER_FAULT").split(QLatin1Char('|'), Qt::SkipEmptyParts);
        const QString name = FilePath(path).name();
        for (const QString &fault : faults) {
            if (fault == QLatin1String("crash:") + name)
                std::raise(SIGSEGV);
            if (fault == QLatin1String("hang:") + name) {
                for (;;)
                    std::this_thread::sleep_for(std::chrono::hours(1));
            }
        }
    } else {
        Q_UNUSED(path)
    }
}

// The media module beside this program, loaded once; null when it is missing or broken (videos and HEIF
// images then keep their icons).
MediaThumbnailEntry mediaEntry()
{
    static const MediaThumbnailEntry entry = [] {
        QLibrary module(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                        QLatin1String(MediaThumbnailModule));
        return reinterpret_cast<MediaThumbnailEntry>(module.resolve(MediaThumbnailSymbol));
    }();
    return entry;
}

// A photo as the maker makes it; a HEIF image, or anything else that is no JPEG or TIFF-based file, through
// the media module.
Thumbnail makeThumbnail(const QString &path, int side)
{
    char head[64] = {};
    qint64 got = 0;
    {
        const ReadOnlyFile file(path);
        got = file.isOpen() ? file.readAt(0, head, sizeof head) : -1;
    }
    if (got <= 0)
        return {};
    const QByteArrayView start(head, got);
    if (!LooksLikeHeif(start)) {
        Thumbnail made = MakeThumbnail(path, side);
        const bool photo = start.startsWith("\xFF\xD8\xFF") || start.startsWith(QByteArrayView("II*\0", 4)) ||
                           start.startsWith(QByteArrayView("MM\0*", 4));
        if (!made.image.isNull() || photo)
            return made;
    }
    Thumbnail made;
    if (const MediaThumbnailEntry entry = mediaEntry())
        entry(path, side, &made);
    return made;
}

} // namespace

int main(int argc, char **argv)
{
    // Image plugins are found through the application; no display is needed.
    // Every file allocates and frees the same few buffers: kept, not handed back to the system each time.
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
    QCoreApplication app(argc, argv);
    // --side N: the thumbnails fit a square of N pixels.
    int side = ThumbnailSide;
    const QStringList args = QCoreApplication::arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--side"));
    if (at > 0 && at + 1 < args.size())
        side = qBound(16, args.at(at + 1).toInt(), thumbnailprotocol::MaxSide);
    PrepareThumbnails();
    for (;;) {
        unsigned char length[4];
        if (!readExactly(length, 4))
            return 0; // the window closed the pipe
        const quint32 n = quint32(length[0]) | (quint32(length[1]) << 8) | (quint32(length[2]) << 16) |
                          (quint32(length[3]) << 24);
        if (n > thumbnailprotocol::MaxPath)
            return 1;
        QByteArray bytes(qsizetype(n), Qt::Uninitialized);
        if (!readExactly(bytes.data(), n))
            return 0;
        const QString path = pathFromBytes(bytes);
        injectFault(path);
        const Thumbnail made = makeThumbnail(path, side);
        const QByteArray answer =
            thumbnailprotocol::frame(thumbnailprotocol::encodeAnswer(made.image, made.sourceSize));
        if (std::fwrite(answer.constData(), 1, size_t(answer.size()), stdout) != size_t(answer.size()) ||
            std::fflush(stdout) != 0)
            return 0;
    }
}
