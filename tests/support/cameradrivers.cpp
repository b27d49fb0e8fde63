#include "cameradrivers.h"

#include <QDir>
#include <QFile>
#include <QtGlobal>

namespace vantora::test {

bool useDirectoryCameraOnly(const QString &driversFolder)
{
    const QString cameras = driversFolder + QStringLiteral("/camlibs");
    const QString ports = driversFolder + QStringLiteral("/iolibs");
    QDir().mkpath(cameras);
    QDir().mkpath(ports);
    const QString camera = QStringLiteral(VANTORA_GPHOTO2_CAMLIBS "/directory.so");
    const QString port = QStringLiteral(VANTORA_GPHOTO2_IOLIBS "/disk.so");
    if (!QFile::exists(camera) || !QFile::exists(port)) {
        qWarning("libgphoto2's directory camera or disk port driver is missing");
        return false;
    }
    QFile::link(camera, cameras + QStringLiteral("/directory.so"));
    QFile::link(port, ports + QStringLiteral("/disk.so"));
    qputenv("CAMLIBS", QFile::encodeName(cameras));
    qputenv("IOLIBS", QFile::encodeName(ports));
    return true;
}

} // namespace vantora::test
