// Feeds arbitrary bytes to the shooting-date lookup exactly as the transfer runs it: the bytes are written
// to a file and ReadShootingDate reads it, once under a neutral name (the kind is found by content: JPEG,
// TIFF and raw files go to exiv2 over bounded bytes, QuickTime/MP4 to our reader, HEIF images to our reader
// and their Exif block to exiv2, anything else to the file's own time) and the QuickTime and HEIF readers
// read them once more from memory (the QuickTime reader as it does for any file named like a video). A lookup
// that takes more than -timeout seconds, a crash, a leak, or memory beyond -rss_limit_mb / -malloc_limit_mb
// is a finding.
#include "metadata/heifexif.h"
#include "metadata/quicktimedate.h"
#include "transfer/shootingdate.h"

#include <QByteArray>
#include <QDir>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

using namespace vantora;

namespace {

QString g_file;
QByteArray g_folder;
QByteArray g_nativeFile;

void removeTemporaries()
{
    ::unlink(g_nativeFile.constData());
    ::rmdir(g_folder.constData());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // A private folder on a memory filesystem when there is one: a write per input must be cheap.
    QByteArray base = qgetenv("VANTORA_FUZZ_TMP");
    if (base.isEmpty())
        base = QDir(QStringLiteral("/dev/shm")).exists() ? QByteArray("/dev/shm") : QByteArray("/tmp");
    QByteArray pattern = base + "/vantora-datefuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    g_folder = pattern;
    g_nativeFile = pattern + "/input.dat";
    g_file = QString::fromUtf8(g_nativeFile);
    std::atexit(removeTemporaries);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const int fd = ::open(g_nativeFile.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        std::abort();
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0)
            std::abort();
        done += size_t(n);
    }
    ::close(fd);

    const QDate date = ReadShootingDate(g_file);
    if (!date.isValid()) // the file exists: at least its own time
        std::abort();

    QuickTimeBytes source(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
    const QDateTime created = ReadQuickTimeCreationTime(source);
    if (created.isValid() && created.offsetFromUtc() != 0)
        std::abort();

    // The Exif block is a TIFF within the limit, or nothing.
    const QByteArray tiff = ReadHeifExif(source);
    if (!tiff.isEmpty() &&
        (tiff.size() > HeifMaxExifBytes || (!tiff.startsWith("II*") && !tiff.startsWith("MM"))))
        std::abort();
    return 0;
}
