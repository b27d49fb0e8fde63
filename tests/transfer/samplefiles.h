#pragma once

#include "platform/bytepath.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>

// Sample files for the tests that read shooting dates (they link Qt Gui for the JPEG writer).
namespace vantora::test {

// Runs a tool (exiv2, ffmpeg, a script) to a good end.
inline bool runTool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A small real JPEG, its folders made; the path, or empty when it could not be written.
inline QString writeJpeg(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage image(32, 24, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return image.save(path, "JPEG") ? path : QString();
}

// A small real JPEG with one value set by exiv2 ("Exif.Photo.DateTimeOriginal 2017:03:05 10:00:00"); the
// path, or empty when it could not be made.
inline QString writeTaggedJpeg(const QString &path, const QString &value)
{
    const QString jpeg = writeJpeg(path);
    if (jpeg.isEmpty() ||
        !runTool(QStringLiteral("exiv2"), {QStringLiteral("-M"), QStringLiteral("set ") + value, jpeg}))
        return {};
    return jpeg;
}

// The bytes of a small real JPEG with one value set by exiv2 (see writeTaggedJpeg), made at path; empty
// when it could not be made.
inline QByteArray taggedJpegBytes(const QString &path, const QString &value)
{
    QFile f(writeTaggedJpeg(path, value));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Sets a file's modification time through its byte path (the test's own POSIX call: names that are not
// valid UTF-8 cannot go through Qt's file classes).
inline bool setModified(const QString &path, const QDateTime &when)
{
    const QByteArray native = pathToBytes(path);
    struct timespec times[2];
    times[0].tv_sec = time_t(when.toSecsSinceEpoch());
    times[0].tv_nsec = 0;
    times[1] = times[0];
    return ::utimensat(AT_FDCWD, native.constData(), times, 0) == 0;
}

} // namespace vantora::test
