#pragma once

#include "tifffile.h"

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

namespace vantora::test {

// A small real JPEG.
inline bool writeJpeg(const QString &path, int width = 64, int height = 48)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(30, 120, 200));
    return image.save(path, "JPEG");
}

// A small uncompressed grey TIFF.
inline bool writeTiff(const QString &path, quint32 width = 16, quint32 height = 8)
{
    const QByteArray data = tiffBytes(width, height);
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// Runs the exiv2 command with one -M modification per entry ("set Exif.Image.Model TestCam").
inline bool exiv2Modify(const QString &path, const QStringList &modifications)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("exiv2"));
    if (tool.isEmpty())
        return false;
    QStringList args;
    for (const QString &m : modifications)
        args << QStringLiteral("-M") + m;
    args << QStringLiteral("mo") << path;
    QProcess p;
    p.start(tool, args);
    return p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace vantora::test
