#pragma once

#include "platform/instancelock.h"

#include <QObject>

class QLocalServer;
class QWidget;

namespace vantora {

// Lets one ordinary instance run per user. The owner listens on a local socket; a later start asks it
// to bring its main window forward and ends without making a window.
class SingleInstance final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SingleInstance)

public:
    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process owns the instance marker and now listens for later starts.
    bool acquire();
    // Asks the owning instance to show its window; false when none answered.
    static bool activateRunningInstance();

    // The window restored (if minimized) and raised when a later start knocks.
    void setMainWindow(QWidget *window) { m_window = window; }

    static QString markerName() { return QStringLiteral("VTXMutex"); }

Q_SIGNALS:
    void activationRequested();

private:
    void onNewConnection();
    void activateWindow();

    InstanceLock m_lock;
    QLocalServer *m_server = nullptr;
    QWidget *m_window = nullptr;
};

} // namespace vantora
