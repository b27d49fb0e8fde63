#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace vantora::test {

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

// A dbus-daemon of the test's own, listening in a folder of its own: the machine's buses are never used.
class PrivateBus final
{
public:
    PrivateBus() = default;
    ~PrivateBus();

    // Starts the daemon and makes it both the system and the session bus of this process. Called before the
    // first use of either, so that the machine's buses are never reached. Empty when done, else why not.
    QString startForThisProcess();
    QString address() const { return m_address; }

    // The stand-in service of a test on this bus (see StandIn), in place of any before; false, with a
    // warning why, when it did not start.
    bool startStandIn(const QStringList &arguments);
    // Stops the stand-in and drops what it recorded: the next test starts from an empty log.
    void stopStandIn();
    // The log the stand-in records its calls into, one line each; a test may add lines of its own.
    QString log() const { return m_folder.filePath(QStringLiteral("calls.log")); }
    QStringList calls() const;

private:
    QTemporaryDir m_folder;
    QProcess m_daemon;
    QString m_address;
    std::unique_ptr<StandIn> m_standIn;
};

// The lines a stand-in recorded; none when it recorded nothing.
QStringList recordedCalls(const QString &log);

} // namespace vantora::test
