#include "app/singleinstance.h"
#include "platform/instancelock.h"
#include "sandbox.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QtTest>
#include <QWidget>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace vantora;

class TestSingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void secondStartRaisesTheFirstAndEnds();
    void staleSocketDoesNotBlockAStart();
    void heldMarkerIsRefusedToOthers();

private:
    test::ProgramSandbox m_sandbox;
};

void TestSingleInstance::secondStartRaisesTheFirstAndEnds()
{
    if (!m_sandbox.error().isEmpty())
        QSKIP(qPrintable(m_sandbox.error()));
    // This process plays the first instance.
    SingleInstance first;
    QVERIFY(first.acquire());
    QWidget window;
    window.showMinimized();
    first.setMainWindow(&window);
    QSignalSpy activated(&first, &SingleInstance::activationRequested);

    QProcess second;
    m_sandbox.start(second, {});
    QVERIFY(second.waitForStarted());
    // The second start needs our event loop to answer it, so wait without blocking it.
    QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 10000);
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QTRY_COMPARE(activated.count(), 1);
    QVERIFY(!window.isMinimized());
    QVERIFY(window.isVisible());
}

void TestSingleInstance::staleSocketDoesNotBlockAStart()
{
    if (!m_sandbox.error().isEmpty())
        QSKIP(qPrintable(m_sandbox.error()));
    // A socket file with nobody listening, as a crashed instance leaves it.
    const QByteArray path = QFile::encodeName(InstanceLock::userScopedName(SingleInstance::markerName()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    qstrncpy(addr.sun_path, path.constData(), sizeof(addr.sun_path));
    ::unlink(path.constData());
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)), 0);
    ::close(fd);
    QVERIFY(QFile::exists(QString::fromLocal8Bit(path)));

    QProcess process;
    m_sandbox.start(process, {});
    QVERIFY(process.waitForStarted());
    QVERIFY(!process.waitForFinished(1500)); // it stays: it is the instance now
    // And it answers a later start.
    QTRY_VERIFY(SingleInstance::activateRunningInstance());
    process.terminate();
    process.waitForFinished(5000);
}

void TestSingleInstance::heldMarkerIsRefusedToOthers()
{
    // An ordinary instance owns the marker: neither a second instance nor a bare lock can take it.
    SingleInstance owner;
    QVERIFY(owner.acquire());
    SingleInstance other;
    QVERIFY(!other.acquire());
    InstanceLock again;
    QVERIFY(!again.tryAcquire(SingleInstance::markerName()));
}

QTEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
