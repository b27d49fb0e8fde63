#include "privatebus.h"

#include <QDir>
#include <QFile>

namespace vantora::test {

QString PrivateBus::startForThisProcess()
{
    const QString config = m_folder.filePath(QStringLiteral("bus.conf"));
    QFile f(config);
    if (!f.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write ") + config;
    // Anyone may own any name and call anything: the daemon serves this test alone.
    f.write(QStringLiteral(R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
)")
                .arg(m_folder.filePath(QStringLiteral("bus")))
                .toUtf8());
    f.close();
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--nofork"), QStringLiteral("--print-address"),
                    QStringLiteral("--config-file=") + config});
    if (!m_daemon.waitForStarted(10000))
        return m_daemon.errorString();
    while (!m_daemon.canReadLine() && m_daemon.state() == QProcess::Running)
        m_daemon.waitForReadyRead(10000);
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    if (m_address.isEmpty())
        return QString::fromUtf8(m_daemon.readAllStandardError());
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.toUtf8());
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    return {};
}

PrivateBus::~PrivateBus()
{
    m_daemon.terminate();
    if (!m_daemon.waitForFinished(5000))
        m_daemon.kill();
    m_daemon.waitForFinished(5000);
}

bool PrivateBus::startStandIn(const QStringList &arguments)
{
    m_standIn = std::make_unique<StandIn>(m_address, log(), arguments);
    if (!m_standIn->ok())
        qWarning("%s", qPrintable(m_standIn->error()));
    return m_standIn->ok();
}

void PrivateBus::stopStandIn()
{
    m_standIn.reset();
    QFile::remove(log());
}

QStringList PrivateBus::calls() const
{
    return recordedCalls(log());
}

StandIn::StandIn(const QString &address, const QString &log, const QStringList &arguments)
{
    m_process.start(QStringLiteral(VANTORA_BUS_STANDIN),
                    QStringList{QStringLiteral("--address"), address, QStringLiteral("--log"), log} +
                        arguments);
    if (!m_process.waitForStarted(10000))
        return;
    while (!m_process.canReadLine() && m_process.state() == QProcess::Running)
        m_process.waitForReadyRead(10000);
    m_ready = m_process.readLine().trimmed() == "ready";
}

StandIn::~StandIn()
{
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(5000);
}

QString StandIn::error()
{
    return QString::fromUtf8(m_process.readAllStandardError());
}

QStringList recordedCalls(const QString &log)
{
    QFile f(log);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace vantora::test
