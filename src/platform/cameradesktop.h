#pragma once

#include <QString>

namespace vantora {

// The desktop's own hold on a camera: its file manager mounts cameras and phones through gvfs
// (gvfsd-gphoto2, gvfsd-mtp), which claims the USB device so that no other program can open it.

// The location of the desktop's mount of the camera at a libgphoto2 port ("usb:001,004"), as
// `gio mount -li` lists it: a volume whose device is the port's (/dev/bus/usb/001/004), or a mount at
// gphoto2://[PORT]/ or mtp://[PORT]/. Empty when the desktop holds no mount of it (or gio is missing).
QString DesktopCameraMount(const QString &port);
// The same from `gio mount -li`'s text.
QString DesktopCameraMountIn(const QString &gioListing, const QString &port);

// Unmounts it (`gio mount -u LOCATION`); true when gio says it did.
bool ReleaseDesktopCameraMount(const QString &location);

// The name of a program that holds the port's USB device open (/proc/PID/comm), or empty when none is
// found (or the port is no USB port).
QString ProgramHoldingCamera(const QString &port);

} // namespace vantora
