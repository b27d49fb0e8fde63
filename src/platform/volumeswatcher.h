#pragma once

#include <QObject>

class QSocketNotifier;
class QTimer;

namespace vantora {

// Reports changes of the mount table (a card mounted or unmounted) on the thread that owns it. The kernel
// flags /proc/self/mountinfo with poll priority on every change; a burst of changes (a mount and its
// option updates) is reported once.
class VolumesWatcher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(VolumesWatcher)

public:
    explicit VolumesWatcher(QObject *parent = nullptr);
    ~VolumesWatcher() override;

    // False when the mount table could not be opened; then nothing is ever reported.
    bool isWatching() const { return m_fd >= 0; }

Q_SIGNALS:
    void mountsChanged();

private:
    void onActivated();

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_settle = nullptr;
};

} // namespace vantora
