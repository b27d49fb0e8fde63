#include "platform/volumeswatcher.h"

#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

namespace vantora {

namespace {

constexpr int kSettleMs = 150;

} // namespace

VolumesWatcher::VolumesWatcher(QObject *parent) : QObject(parent)
{
    m_fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    m_settle = new QTimer(this);
    m_settle->setSingleShot(true);
    m_settle->setInterval(kSettleMs);
    connect(m_settle, &QTimer::timeout, this, &VolumesWatcher::mountsChanged);
    if (m_fd < 0)
        return;
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Exception, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &VolumesWatcher::onActivated);
}

VolumesWatcher::~VolumesWatcher()
{
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}

void VolumesWatcher::onActivated()
{
    // Reading the table through acknowledges the change, so the notifier stays quiet until the next one.
    char buf[4096];
    ::lseek(m_fd, 0, SEEK_SET);
    while (::read(m_fd, buf, sizeof buf) > 0) {
    }
    m_settle->start();
}

} // namespace vantora
