#include "platform/cameradesktop.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

namespace vantora {

namespace {

constexpr int GioWaitMs = 15000;

// "usb:001,004" -> "/dev/bus/usb/001/004"; empty for other ports.
QString usbDevice(const QString &port)
{
    static const QRegularExpression usb(QStringLiteral("^usb:(\\d{3}),(\\d{3})$"));
    const QRegularExpressionMatch m = usb.match(port);
    return m.hasMatch() ? QStringLiteral("/dev/bus/usb/%1/%2").arg(m.captured(1), m.captured(2)) : QString();
}

int indentOf(const QString &line)
{
    qsizetype i = 0;
    while (i < line.size() && line.at(i) == u' ')
        ++i;
    return int(i);
}

} // namespace

QString DesktopCameraMountIn(const QString &gioListing, const QString &port)
{
    const QString device = usbDevice(port);
    const QStringList lines = gioListing.split(u'\n');
    static const QRegularExpression mountLine(QStringLiteral("^\\s*Mount\\(\\d+\\):.* -> (\\S+)\\s*$"));
    // A mount named by the port itself.
    for (const QString &line : lines) {
        const QRegularExpressionMatch m = mountLine.match(line);
        if (m.hasMatch() && (m.captured(1) == QStringLiteral("gphoto2://[%1]/").arg(port) ||
                             m.captured(1) == QStringLiteral("mtp://[%1]/").arg(port)))
            return m.captured(1);
    }
    if (device.isEmpty())
        return {};
    // A volume whose device is the port's, and the mount below it.
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!lines.at(i).trimmed().startsWith(QLatin1String("Volume(")))
            continue;
        const int indent = indentOf(lines.at(i));
        bool ours = false;
        QString mount;
        for (qsizetype j = i + 1; j < lines.size() && indentOf(lines.at(j)) > indent; ++j) {
            const QString line = lines.at(j).trimmed();
            if (line.contains(QLatin1Char('\'') + device + QLatin1Char('\'')))
                ours = true;
            if (const QRegularExpressionMatch m = mountLine.match(lines.at(j)); m.hasMatch())
                mount = m.captured(1);
        }
        if (ours && !mount.isEmpty())
            return mount;
    }
    return {};
}

QString DesktopCameraMount(const QString &port)
{
    QProcess gio;
    gio.start(QStringLiteral("gio"), {QStringLiteral("mount"), QStringLiteral("-li")});
    if (!gio.waitForFinished(GioWaitMs) || gio.exitStatus() != QProcess::NormalExit || gio.exitCode() != 0)
        return {};
    return DesktopCameraMountIn(QString::fromUtf8(gio.readAllStandardOutput()), port);
}

bool ReleaseDesktopCameraMount(const QString &location)
{
    QProcess gio;
    gio.start(QStringLiteral("gio"), {QStringLiteral("mount"), QStringLiteral("-u"), location});
    return gio.waitForFinished(GioWaitMs) && gio.exitStatus() == QProcess::NormalExit && gio.exitCode() == 0;
}

QString ProgramHoldingCamera(const QString &port)
{
    const QString device = usbDevice(port);
    if (device.isEmpty())
        return {};
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : processes) {
        if (pid.isEmpty() || !pid.at(0).isDigit())
            continue;
        const QString fds = QStringLiteral("/proc/") + pid + QStringLiteral("/fd");
        for (const QString &fd : QDir(fds).entryList(QDir::System | QDir::NoDotAndDotDot)) {
            if (QFileInfo(fds + u'/' + fd).symLinkTarget() != device)
                continue;
            QFile comm(QStringLiteral("/proc/") + pid + QStringLiteral("/comm"));
            return comm.open(QIODevice::ReadOnly) ? QString::fromUtf8(comm.readAll()).trimmed() : pid;
        }
    }
    return {};
}

} // namespace vantora
