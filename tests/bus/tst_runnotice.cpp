#include "app/runend.h"
#include "platform/desktopnotice.h"
#include "privatebus.h"
#include "runwindow.h"

#include <QtTest>

using namespace vantora;
using namespace std::chrono_literals;

// The desktop notice at the end of a long run, through the real windows, against a stand-in notification
// service on a private session bus.
class TestRunNotice : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void longRunWhileAwayIsAnnounced();
    void cancelledRunAnnouncesItsStatus();
    void noNoticeUnlessALongRunWhileAway_data();
    void noNoticeUnlessALongRunWhileAway();
    void withoutAServiceNothingHappens();

private:
    // The program's windows for a run of every file to dest; a run longer than threshold while the window
    // is not the active one counts as long.
    void start(std::chrono::milliseconds threshold, bool active);
    bool standIn();
    QString status() const { return m_run.status(); }
    QStringList notices() const { return m_bus.calls(); }

    test::WindowRun m_run;
    test::PrivateBus m_bus;
};

void TestRunNotice::initTestCase()
{
    const QString error = m_bus.startForThisProcess();
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestRunNotice::init()
{
    m_run.prepare();
}

void TestRunNotice::cleanup()
{
    m_run.close();
    m_bus.stopStandIn();
    m_run.finish();
}

bool TestRunNotice::standIn()
{
    return m_bus.startStandIn({QStringLiteral("notifications")});
}

void TestRunNotice::start(std::chrono::milliseconds threshold, bool active)
{
    m_run.start(m_run.allFilesToDest(), {}, [threshold, active](VantoraApp &app) {
        app.runEnd()->setLongRunThreshold(threshold);
        app.runEnd()->setWindowActive([active] { return active; });
    });
}

void TestRunNotice::longRunWhileAwayIsAnnounced()
{
    QVERIFY(standIn());
    start(-1ms, false); // any run, even one cancelled within its first millisecond
    m_run.pressStart();
    QCOMPARE(status(), QStringLiteral("全ての転送が終了"));
    QTRY_COMPARE(notices(), QStringList{QStringLiteral("Notify\tVantora\tVantora: 転送が終わりました\t") +
                                        QStringLiteral("全ての転送が終了")});
    QCOMPARE(m_run.prompt().messages, QStringList());
}

void TestRunNotice::cancelledRunAnnouncesItsStatus()
{
    QVERIFY(standIn());
    m_run.addBigFirstFile();
    start(-1ms, false); // any run, even one cancelled within its first millisecond
    m_run.cancelOnceStarted();
    m_run.pressStart();
    QCOMPARE(status(), QStringLiteral("転送はキャンセルされました"));
    QTRY_COMPARE(notices(), QStringList{QStringLiteral("Notify\tVantora\tVantora: 転送が終わりました\t") +
                                        QStringLiteral("転送はキャンセルされました")});
}

void TestRunNotice::noNoticeUnlessALongRunWhileAway_data()
{
    QTest::addColumn<std::chrono::milliseconds>("threshold");
    QTest::addColumn<bool>("active");
    QTest::newRow("window active") << std::chrono::milliseconds(0ms) << true;
    QTest::newRow("short run") << std::chrono::milliseconds(10s) << false; // the demo card takes far less
}

void TestRunNotice::noNoticeUnlessALongRunWhileAway()
{
    QFETCH(std::chrono::milliseconds, threshold);
    QFETCH(bool, active);
    QVERIFY(standIn());
    start(threshold, active);
    m_run.pressStart();
    QCOMPARE(status(), QStringLiteral("全ての転送が終了"));
    // A direct notice goes through, so nothing recorded means nothing was sent.
    QVERIFY(postDesktopNotice(QStringLiteral("probe"), QStringLiteral("probe")));
    QTRY_COMPARE(notices().size(), 1);
    QVERIFY(notices()[0].contains(QStringLiteral("probe")));
}

void TestRunNotice::withoutAServiceNothingHappens()
{
    start(-1ms, false); // any run, even one cancelled within its first millisecond
    m_run.pressStart();
    QCOMPARE(status(), QStringLiteral("全ての転送が終了"));
    QCOMPARE(m_run.prompt().messages, QStringList());
    QCOMPARE(QDir(m_run.dest()).entryList(QDir::Files).size(), 9);
    // The window is usable at once: a second run starts and ends the same way.
    m_run.pressStart();
    QCOMPARE(status(), QStringLiteral("全ての転送が終了"));
    QCOMPARE(QDir(m_run.dest()).entryList(QDir::Files).size(), 18);
    QCOMPARE(m_run.prompt().messages, QStringList());
    QVERIFY(notices().isEmpty());
}

QTEST_MAIN(TestRunNotice)
#include "tst_runnotice.moc"
