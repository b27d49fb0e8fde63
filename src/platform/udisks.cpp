#include "platform/udisks.h"

#include "platform/bytepath.h"
#include "platform/pathtext.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QEventLoop>
#include <QMap>
#include <QVariantMap>

#include <optional>

namespace vantora {

namespace {

using InterfaceMap = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, InterfaceMap>;

// udisks2's bus name and the interfaces read of its objects.
constexpr QLatin1String Service("org.freedesktop.UDisks2");
constexpr QLatin1String FilesystemInterface("org.freedesktop.UDisks2.Filesystem");
constexpr QLatin1String BlockInterface("org.freedesktop.UDisks2.Block");
constexpr QLatin1String DriveInterface("org.freedesktop.UDisks2.Drive");

void registerTypes()
{
    static const bool done = [] {
        qDBusRegisterMetaType<InterfaceMap>();
        qDBusRegisterMetaType<ManagedObjects>();
        return true;
    }();
    Q_UNUSED(done);
}

int milliseconds(std::chrono::milliseconds timeout)
{
    return int(std::min<std::chrono::milliseconds::rep>(timeout.count(), 24 * 3600 * 1000));
}

// Waits for the answer in a local event loop without user input: the windows keep painting, and no
// click can start something else meanwhile. The call's own timeout ends the wait.
QDBusMessage callPumping(const QDBusConnection &bus, const QDBusMessage &call,
                         std::chrono::milliseconds timeout)
{
    const QDBusPendingReply<> pending = bus.asyncCall(call, milliseconds(timeout));
    QDBusPendingCallWatcher watcher(pending);
    QEventLoop loop;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
    if (!watcher.isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    watcher.waitForFinished(); // already over; takes the reply
    return pending.reply();
}

bool isMissingService(const QDBusMessage &reply)
{
    const QString name = reply.errorName();
    return name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
           name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
           name == QLatin1String("org.freedesktop.DBus.Error.Disconnected");
}

QString errorText(const QDBusMessage &reply)
{
    return reply.errorName() + QStringLiteral(": ") + reply.errorMessage();
}

QByteArrayList byteArrays(const QVariant &value)
{
    QByteArrayList out;
    if (value.metaType() == QMetaType::fromType<QDBusArgument>())
        value.value<QDBusArgument>() >> out;
    else
        out = value.value<QByteArrayList>();
    return out;
}

QDBusObjectPath objectPath(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
        QDBusObjectPath path;
        value.value<QDBusArgument>() >> path;
        return path;
    }
    return value.value<QDBusObjectPath>();
}

struct Objects
{
    std::optional<ManagedObjects> objects;
    QDBusMessage reply;
};

Objects managedObjects(const QDBusConnection &bus, std::chrono::milliseconds timeout, bool pumping)
{
    registerTypes();
    const QDBusMessage call = QDBusMessage::createMethodCall(
        Service, QStringLiteral("/org/freedesktop/UDisks2"),
        QStringLiteral("org.freedesktop.DBus.ObjectManager"), QStringLiteral("GetManagedObjects"));
    Objects out;
    out.reply =
        pumping ? callPumping(bus, call, timeout) : bus.call(call, QDBus::Block, milliseconds(timeout));
    if (out.reply.type() == QDBusMessage::ReplyMessage && !out.reply.arguments().isEmpty()) {
        ManagedObjects objects;
        out.reply.arguments().constFirst().value<QDBusArgument>() >> objects;
        out.objects = std::move(objects);
    }
    return out;
}

// The object path of the block device whose filesystem is mounted at mountPoint.
std::optional<QDBusObjectPath> blockMountedAt(const ManagedObjects &objects, const QString &mountPoint)
{
    const QByteArray wanted =
        pathToBytes(mountPoint.size() > 1 ? withoutTrailingSlash(mountPoint) : mountPoint);
    for (auto it = objects.cbegin(); it != objects.cend(); ++it) {
        const auto fs = it.value().constFind(FilesystemInterface);
        if (fs == it.value().cend())
            continue;
        for (QByteArray point : byteArrays(fs->value(QStringLiteral("MountPoints")))) {
            if (point.endsWith('\0'))
                point.chop(1);
            if (point == wanted)
                return it.key();
        }
    }
    return std::nullopt;
}

} // namespace

EjectOutcome ejectMountPoint(const QString &mountPoint, std::chrono::milliseconds timeout)
{
    EjectOutcome out;
    const QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        out.result = EjectResult::NoService;
        out.detail = bus.lastError().message();
        return out;
    }
    const Objects found = managedObjects(bus, timeout, true);
    if (!found.objects) {
        out.result = isMissingService(found.reply) ? EjectResult::NoService : EjectResult::Failed;
        out.detail = errorText(found.reply);
        return out;
    }
    const std::optional<QDBusObjectPath> block = blockMountedAt(*found.objects, mountPoint);
    if (!block) {
        out.result = EjectResult::NotFound;
        return out;
    }
    // A volume of a fixed disk (or of no drive at all, such as a loop device) is left alone.
    const QDBusObjectPath drivePath =
        objectPath(found.objects->value(*block).value(BlockInterface).value(QStringLiteral("Drive")));
    const QVariantMap drive = found.objects->value(drivePath).value(DriveInterface);
    const auto flag = [&drive](const char *name) { return drive.value(QLatin1String(name)).toBool(); };
    if (drive.isEmpty() ||
        !(flag("Removable") || flag("MediaRemovable") || flag("Ejectable") || flag("CanPowerOff"))) {
        out.result = EjectResult::NotRemovable;
        return out;
    }

    QDBusMessage unmount = QDBusMessage::createMethodCall(Service, block->path(), FilesystemInterface,
                                                          QStringLiteral("Unmount"));
    unmount << QVariantMap();
    const QDBusMessage unmounted = callPumping(bus, unmount, timeout);
    if (unmounted.type() != QDBusMessage::ReplyMessage) {
        if (unmounted.errorName() == QLatin1String("org.freedesktop.UDisks2.Error.DeviceBusy"))
            out.result = EjectResult::Busy;
        else
            out.result = isMissingService(unmounted) ? EjectResult::NoService : EjectResult::Failed;
        out.detail = errorText(unmounted);
        return out;
    }
    out.result = EjectResult::Ejected;
    if (flag("CanPowerOff")) {
        QDBusMessage powerOff = QDBusMessage::createMethodCall(Service, drivePath.path(), DriveInterface,
                                                               QStringLiteral("PowerOff"));
        powerOff << QVariantMap();
        const QDBusMessage off = callPumping(bus, powerOff, timeout);
        out.poweredOff = off.type() == QDBusMessage::ReplyMessage;
        if (!out.poweredOff)
            out.detail = errorText(off); // unmounted all the same: the card can be taken out
    }
    return out;
}

namespace {

// A property of the block device whose filesystem is mounted at mountPoint; empty when there is none.
QString blockProperty(const QString &mountPoint, const QString &name, std::chrono::milliseconds timeout)
{
    const QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return QString();
    const Objects found = managedObjects(bus, timeout, false);
    if (!found.objects)
        return QString();
    const std::optional<QDBusObjectPath> block = blockMountedAt(*found.objects, mountPoint);
    if (!block)
        return QString();
    return found.objects->value(*block).value(BlockInterface).value(name).toString();
}

} // namespace

QString udisksLabel(const QString &mountPoint, std::chrono::milliseconds timeout)
{
    return blockProperty(mountPoint, QStringLiteral("IdLabel"), timeout);
}

QString udisksUuid(const QString &mountPoint, std::chrono::milliseconds timeout)
{
    return blockProperty(mountPoint, QStringLiteral("IdUUID"), timeout);
}

} // namespace vantora
