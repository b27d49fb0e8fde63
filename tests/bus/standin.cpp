// Stand-ins for the services of a desktop's buses, for the tests on a private dbus-daemon:
//   vantora-test-bus-standin --address A --log FILE udisks MOUNTPOINT LABEL ok|busy|not-removable
//   vantora-test-bus-standin --address A --log FILE notifications
// Every call is appended to FILE as one line; "ready" on standard output once the name is owned.

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QFile>
#include <QMap>
#include <QVariantMap>

#include <cstdio>

namespace {

using InterfaceMap = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, InterfaceMap>;

const QString kBlock = QStringLiteral("/org/freedesktop/UDisks2/block_devices/sdz1");
const QString kDrive = QStringLiteral("/org/freedesktop/UDisks2/drives/Card_Reader_0001");

QString g_log;

void record(const QString &line)
{
    QFile f(g_log);
    if (f.open(QIODevice::Append))
        f.write((line + u'\n').toUtf8());
}

class UDisks final : public QDBusVirtualObject
{
public:
    UDisks(QString mountPoint, QString label, QString answer)
        : m_mountPoint(std::move(mountPoint)), m_label(std::move(label)), m_answer(std::move(answer))
    {
    }

    QString introspect(const QString &) const override { return QString(); }

    bool handleMessage(const QDBusMessage &call, const QDBusConnection &bus) override
    {
        const QString member = call.member();
        if (member == QLatin1String("GetManagedObjects") &&
            call.path() == QLatin1String("/org/freedesktop/UDisks2")) {
            record(QStringLiteral("GetManagedObjects"));
            bus.send(call.createReply(QVariant::fromValue(objects())));
            return true;
        }
        if (member == QLatin1String("Unmount") && call.path() == kBlock) {
            record(QStringLiteral("Unmount %1 %2").arg(call.path(), signature(call)));
            if (m_answer == QLatin1String("busy"))
                bus.send(call.createErrorReply(QStringLiteral("org.freedesktop.UDisks2.Error.DeviceBusy"),
                                               QStringLiteral("Error unmounting /dev/sdz1: target is busy")));
            else
                bus.send(call.createReply());
            return true;
        }
        if (member == QLatin1String("PowerOff") && call.path() == kDrive) {
            record(QStringLiteral("PowerOff %1 %2").arg(call.path(), signature(call)));
            bus.send(call.createReply());
            return true;
        }
        record(QStringLiteral("unexpected %1 %2.%3").arg(call.path(), call.interface(), member));
        bus.send(call.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"), member));
        return true;
    }

private:
    static QString signature(const QDBusMessage &call) { return call.signature(); }

    ManagedObjects objects() const
    {
        const bool removable = m_answer != QLatin1String("not-removable");
        ManagedObjects out;
        out[QDBusObjectPath(kBlock)] = {
            {QStringLiteral("org.freedesktop.UDisks2.Block"),
             {{QStringLiteral("Device"), QVariant::fromValue(QByteArray("/dev/sdz1", 10))},
              {QStringLiteral("IdLabel"), m_label},
              {QStringLiteral("IdType"), QStringLiteral("exfat")},
              {QStringLiteral("Drive"), QVariant::fromValue(QDBusObjectPath(kDrive))}}},
            {QStringLiteral("org.freedesktop.UDisks2.Filesystem"),
             {{QStringLiteral("MountPoints"),
               QVariant::fromValue(QByteArrayList{m_mountPoint.toUtf8() + QByteArray(1, '\0')})}}},
        };
        // A second filesystem, mounted elsewhere, that must never be touched.
        out[QDBusObjectPath(QStringLiteral("/org/freedesktop/UDisks2/block_devices/sda2"))] = {
            {QStringLiteral("org.freedesktop.UDisks2.Block"),
             {{QStringLiteral("IdLabel"), QStringLiteral("SYSTEM")},
              {QStringLiteral("Drive"), QVariant::fromValue(QDBusObjectPath(QStringLiteral("/")))}}},
            {QStringLiteral("org.freedesktop.UDisks2.Filesystem"),
             {{QStringLiteral("MountPoints"), QVariant::fromValue(QByteArrayList{QByteArray("/", 2)})}}},
        };
        out[QDBusObjectPath(kDrive)] = {
            {QStringLiteral("org.freedesktop.UDisks2.Drive"),
             {{QStringLiteral("Removable"), removable},
              {QStringLiteral("MediaRemovable"), removable},
              {QStringLiteral("Ejectable"), removable},
              {QStringLiteral("CanPowerOff"), removable}}},
        };
        return out;
    }

    QString m_mountPoint;
    QString m_label;
    QString m_answer;
};

class Notifications final : public QDBusVirtualObject
{
public:
    QString introspect(const QString &) const override { return QString(); }

    bool handleMessage(const QDBusMessage &call, const QDBusConnection &bus) override
    {
        const QList<QVariant> a = call.arguments();
        if (call.member() == QLatin1String("Notify") && a.size() == 8) {
            record(
                QStringLiteral("Notify\t%1\t%2\t%3").arg(a[0].toString(), a[3].toString(), a[4].toString()));
            bus.send(call.createReply(QVariant::fromValue(1u)));
        } else {
            record(QStringLiteral("unexpected %1").arg(call.member()));
            bus.send(call.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                                           call.member()));
        }
        return true;
    }
};

int fail(const char *what)
{
    std::fprintf(stderr, "vantora-test-bus-standin: %s\n", what);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() < 5 || args[0] != QLatin1String("--address") || args[2] != QLatin1String("--log"))
        return fail("usage: --address A --log FILE udisks|notifications ...");
    const QString address = args[1];
    g_log = args[3];
    const QString kind = args[4];
    qDBusRegisterMetaType<QByteArrayList>();
    qDBusRegisterMetaType<InterfaceMap>();
    qDBusRegisterMetaType<ManagedObjects>();

    QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("standin"));
    if (!bus.isConnected())
        return fail("cannot connect to the bus");
    std::unique_ptr<QDBusVirtualObject> object;
    QString name;
    QString path;
    if (kind == QLatin1String("udisks") && args.size() == 8) {
        object = std::make_unique<UDisks>(args[5], args[6], args[7]);
        name = QStringLiteral("org.freedesktop.UDisks2");
        path = QStringLiteral("/org/freedesktop/UDisks2");
    } else if (kind == QLatin1String("notifications")) {
        object = std::make_unique<Notifications>();
        name = QStringLiteral("org.freedesktop.Notifications");
        path = QStringLiteral("/org/freedesktop/Notifications");
    } else {
        return fail("unknown service");
    }
    if (!bus.registerVirtualObject(path, object.get(), QDBusConnection::SubPath))
        return fail("cannot register the object");
    if (!bus.registerService(name))
        return fail("cannot own the name");
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
