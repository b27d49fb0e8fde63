#pragma once

#include <QString>

namespace vantora {

// Posts a desktop notification (org.freedesktop.Notifications on the session bus,
// $DBUS_SESSION_BUS_ADDRESS). Never waits for the answer: without a notification service nothing
// happens. False only when there is no session bus to send to.
bool postDesktopNotice(const QString &summary, const QString &body);

} // namespace vantora
