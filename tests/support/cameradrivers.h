#pragma once

#include <QString>

namespace vantora::test {

// Points libgphoto2 (through its own CAMLIBS and IOLIBS variables) at two of its drivers alone: the
// "Directory Browse" camera and the disk port, which together show a folder as a camera. No camera or
// port of the machine is then looked at. Call before the process's first camera call; the variables
// also reach the programs it starts. driversFolder: a folder of the test's, where the links are made.
// False (with a warning) when the drivers are not installed.
bool useDirectoryCameraOnly(const QString &driversFolder);

// The model libgphoto2 gives that driver, and the source text of a folder shown through it.
inline QString directoryCameraModel()
{
    return QStringLiteral("Directory Browse");
}
inline QString directoryCameraPort(const QString &folder)
{
    return QStringLiteral("disk:") + folder;
}

} // namespace vantora::test
