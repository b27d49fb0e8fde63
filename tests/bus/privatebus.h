#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

namespace vantora::test {

class StandIn;

// A dbus-daemon of the test's own, listening in a folder of the test: the machine's buses are never used.
class PrivateBus final
{
public:
    explicit PrivateBus(const QString &folder);
    ~PrivateBus();

    // Empty when the daemon did not start (error() says why).
    QString address() const { return m_address; }
    QString error() const { return m_error; }

    // Makes this bus both the system and the session bus of this process. Called before the first use of
    // either, so that the machine's buses are never reached.
    void useForThisProcess() const;
    // A stand-in service on this bus (see StandIn); none, with a warning why, when it did not start.
    std::unique_ptr<StandIn> startStandIn(const QString &log, const QStringList &arguments) const;

private:
    QProcess m_daemon;
    QString m_address;
    QString m_error;
};

// A stand-in service on a private bus (tests/bus/standin.cpp), stopped with the object.
class StandIn final
{
public:
    // arguments after "--address A --log FILE"; ok() once it owns its name.
    StandIn(const QString &address, const QString &log, const QStringList &arguments);
    ~StandIn();

    bool ok() const { return m_ready; }
    QString error();

private:
    QProcess m_process;
    bool m_ready = false;
};

// The lines a stand-in recorded; none when it recorded nothing.
QStringList recordedCalls(const QString &log);

} // namespace vantora::test
