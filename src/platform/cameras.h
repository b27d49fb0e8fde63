#pragma once

#include "platform/camera.h"

#include <QObject>

#include <memory>

namespace vantora {

// The cameras and phones on the machine's cables, as last found. Reading the list costs nothing: it is
// found again only when something was plugged in or out (changed() follows), never by polling.
class Cameras : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Cameras)

public:
    explicit Cameras(QObject *parent = nullptr) : QObject(parent) {}
    ~Cameras() override = default;

    virtual CameraIds connected() const = 0;
    // The one at that port, or nothing.
    std::optional<CameraId> atPort(const QString &port) const;

Q_SIGNALS:
    // The list changed.
    void changed();
};

// The machine's cameras: libgphoto2 asks the ports on a worker thread at the start and after every USB
// device that came or went (a udev monitor, read when the kernel reports).
std::unique_ptr<Cameras> createSystemCameras();

// Cameras a test plugs in and out.
class FakeCameras final : public Cameras
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FakeCameras)

public:
    using Cameras::Cameras;

    void plug(const CameraId &camera);
    void unplug(const QString &port);
    CameraIds connected() const override { return m_cameras; }

private:
    CameraIds m_cameras;
};

} // namespace vantora
