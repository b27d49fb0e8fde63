#include "platform/cameras.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <libudev.h>

namespace vantora {

std::optional<CameraId> Cameras::atPort(const QString &port) const
{
    for (const CameraId &camera : connected()) {
        if (camera.port == port)
            return camera;
    }
    return std::nullopt;
}

void FakeCameras::plug(const CameraId &camera)
{
    m_cameras.append(camera);
    Q_EMIT changed();
}

void FakeCameras::unplug(const QString &port)
{
    m_cameras.removeIf([&port](const CameraId &camera) { return camera.port == port; });
    Q_EMIT changed();
}

namespace {

// A USB device that comes or goes is announced in several events (the device, then its interfaces):
// they are answered once.
constexpr int SettleMs = 300;

class SystemCameras final : public Cameras
{
public:
    SystemCameras()
    {
        m_settle.setSingleShot(true);
        m_settle.setInterval(SettleMs);
        connect(&m_settle, &QTimer::timeout, this, &SystemCameras::detect);
        m_udev = udev_new();
        if (m_udev)
            m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
        if (m_monitor &&
            udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "usb", "usb_device") >= 0 &&
            udev_monitor_enable_receiving(m_monitor) >= 0) {
            m_notifier = new QSocketNotifier(udev_monitor_get_fd(m_monitor), QSocketNotifier::Read, this);
            connect(m_notifier, &QSocketNotifier::activated, this, &SystemCameras::onUsbEvent);
        }
        detect();
    }

    ~SystemCameras() override
    {
        if (m_worker)
            m_worker->wait();
        delete m_notifier;
        if (m_monitor)
            udev_monitor_unref(m_monitor);
        if (m_udev)
            udev_unref(m_udev);
    }

    CameraIds connected() const override { return m_cameras; }

private:
    void onUsbEvent()
    {
        // Read every pending event so that the descriptor stops reporting.
        while (udev_device *device = udev_monitor_receive_device(m_monitor))
            udev_device_unref(device);
        m_settle.start();
    }

    // Asks libgphoto2 on a worker; one question at a time, and one more if a change came meanwhile.
    void detect()
    {
        if (m_worker) {
            m_again = true;
            return;
        }
        m_worker.reset(QThread::create([this] { m_found = DetectConnectedCameras(); }));
        connect(m_worker.get(), &QThread::finished, this, &SystemCameras::detected);
        m_worker->start();
    }

    void detected()
    {
        m_worker->wait();
        m_worker.reset();
        const bool differs = m_found != m_cameras;
        m_cameras = m_found;
        if (std::exchange(m_again, false))
            detect();
        if (differs)
            Q_EMIT changed();
    }

    udev *m_udev = nullptr;
    udev_monitor *m_monitor = nullptr;
    QSocketNotifier *m_notifier = nullptr;
    QTimer m_settle;
    std::unique_ptr<QThread> m_worker;
    CameraIds m_found; // written by the worker, read once it finished
    CameraIds m_cameras;
    bool m_again = false;
};

} // namespace

std::unique_ptr<Cameras> createSystemCameras()
{
    return std::make_unique<SystemCameras>();
}

} // namespace vantora
