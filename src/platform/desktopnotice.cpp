#include "platform/desktopnotice.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QStringList>
#include <QVariantMap>

namespace vantora {

bool postDesktopNotice(const QString &summary, const QString &body)
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout (-1: the server's)
    notify << QStringLiteral("Vantora") << 0u << QStringLiteral("vantora") << summary << body << QStringList()
           << QVariantMap() << -1;
    // The answer (or the error of a missing service) is dropped: a notice is never worth a wait.
    bus.asyncCall(notify, 5000);
    return true;
}

} // namespace vantora
