#include "app/runend.h"
#include "app/vantoraapp.h"
#include "democardrun.h"
#include "formchild.h"
#include "platform/desktopnotice.h"
#include "platform/registrystore.h"
#include "platform/volumesfake.h"
#include "privatebus.h"
#include "settings/settingsstore.h"
#include "testdir.h"
#include "testprompt.h"
#include "ui/tmainform.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace vantora;
using vantora::test::formChild;
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
    void noNoticeWhileTheWindowIsActive();
    void noNoticeForAShortRun();
    void withoutAServiceNothingHappens();

private:
    void start(std::chrono::milliseconds threshold, bool active);
    void pressStart();
    bool standIn();
    QWidget *form() const { return m_app->mainForm(); }
    QString status() const { return formChild<QLabel>(form(), "StatusLabel")->text(); }
    QString card(const QString &relative = QString()) const
    {
        return m_dir->filePath(QStringLiteral("card")) + (relative.isEmpty() ? QString() : u'/' + relative);
    }
    QString dest() const { return m_dir->filePath(QStringLiteral("dest")); }
    QStringList notices() const { return test::recordedCalls(m_log); }

    QTemporaryDir m_home;
    QTemporaryDir m_busDir;
    std::unique_ptr<test::PrivateBus> m_bus;
    std::unique_ptr<test::TestDir> m_dir;
    std::unique_ptr<FakeVolumes> m_volumes;
    std::unique_ptr<VantoraApp> m_app;
    std::unique_ptr<test::TestPrompt> m_prompt;
    std::unique_ptr<test::StandIn> m_service;
    QString m_log;
};

void TestRunNotice::initTestCase()
{
    test::isolateHome(m_home.path());
    m_bus = std::make_unique<test::PrivateBus>(m_busDir.path());
    QVERIFY2(!m_bus->address().isEmpty(), qPrintable(m_bus->error()));
    // Before the first use of either bus in this process: the machine's buses are never reached.
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus->address().toUtf8());
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_bus->address().toUtf8());
}

void TestRunNotice::init()
{
    const QString error = test::prepareDemoCardRun(m_home.path(), m_dir, m_volumes);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    m_prompt = std::make_unique<test::TestPrompt>();
    m_log = m_dir->filePath(QStringLiteral("notices.log"));
}

void TestRunNotice::cleanup()
{
    if (m_app)
        m_app->mainForm()->close();
    m_app.reset();
    m_service.reset();
    m_prompt.reset();
    m_volumes.reset();
    m_dir.reset();
}

bool TestRunNotice::standIn()
{
    m_service = std::make_unique<test::StandIn>(m_bus->address(), m_log,
                                                QStringList{QStringLiteral("notifications")});
    if (!m_service->ok())
        qWarning("%s", qPrintable(m_service->error()));
    return m_service->ok();
}

void TestRunNotice::start(std::chrono::milliseconds threshold, bool active)
{
    SettingsRecord r = SettingsRecord::defaults();
    r.SourceEditText = card(QStringLiteral("DCIM/"));
    r.AllFileChecked = true;
    r.AllFileDir = dest() + u'/';
    for (auto &type : r.types)
        type.checked = false;
    RegistryStore store;
    QVERIFY(SaveSettings(store, r));
    m_app = std::make_unique<VantoraApp>(QStringList(), m_volumes.get());
    m_app->setHistoryPath(m_dir->filePath(QStringLiteral("history/history.sqlite")));
    m_app->runEnd()->setLongRunThreshold(threshold);
    m_app->runEnd()->setWindowActive([active] { return active; });
    m_app->mainForm()->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_app->mainForm()));
    QTRY_VERIFY(formChild<QTimer>(form(), "Timer1")->isActive()); // start-up finished
}

void TestRunNotice::pressStart()
{
    QTest::mouseClick(formChild<QPushButton>(form(), "StartTransferBitBtn"), Qt::LeftButton);
}

void TestRunNotice::longRunWhileAwayIsAnnounced()
{
    QVERIFY(standIn());
    start(0ms, false);
    pressStart();
    QCOMPARE(status(), QStringLiteral("全ての転送が終了"));
    QTRY_COMPARE(notices(), QStringList{QStringLiteral("Notify\tVantora\tVantora: 転送が終わりました\t") +
                                        QStringLiteral("全ての転送が終了")});
    QCOMPARE(m_prompt->messages, QStringList());
}

void TestRunNotice::cancelledRunAnnouncesItsStatus()
{
    QVERIFY(standIn());
    // A big first file, so the cancel lands in the middle of its copy.
    m_dir->createFile(QStringLiteral("card/DCIM/100CANON/AAA_BIG.JPG"), QByteArray(64 * 1024 * 1024, 'b'));
    start(0ms, false);
    QWidget *f = form();
    QTimer::singleShot(
        0, f, [f] { QTest::mouseClick(formChild<QPushButton>(f, "CancelTransferBitBtn"), Qt::LeftButton); });
    pressStart();
    QCOMPARE(status(), QStringLiteral("転送はキャンセルされました"));
    QTRY_COMPARE(notices(), QStringList{QStringLiteral("Notify\tVantora\tVantora: 転送が終わりました\t") +
                                        QStringLiteral("転送はキャンセルされました")});
}

void TestRunNotice::noNoticeWhileTheWindowIsActive()
{
    QVERIFY(standIn());
    start(0ms, true);
    pressStart();
    QCOMPARE(status(), QStringLiteral("全ての転送が終了"));
    // A direct notice goes through, so nothing recorded means nothing was sent.
    QVERIFY(postDesktopNotice(QStringLiteral("probe"), QStringLiteral("probe")));
    QTRY_COMPARE(notices().size(), 1);
    QVERIFY(notices()[0].contains(QStringLiteral("probe")));
}

void TestRunNotice::noNoticeForAShortRun()
{
    QVERIFY(standIn());
    start(10s, false); // the demo card takes far less
    pressStart();
    QCOMPARE(status(), QStringLiteral("全ての転送が終了"));
    QVERIFY(postDesktopNotice(QStringLiteral("probe"), QStringLiteral("probe")));
    QTRY_COMPARE(notices().size(), 1);
    QVERIFY(notices()[0].contains(QStringLiteral("probe")));
}

void TestRunNotice::withoutAServiceNothingHappens()
{
    start(0ms, false);
    pressStart();
    QCOMPARE(status(), QStringLiteral("全ての転送が終了"));
    QCOMPARE(m_prompt->messages, QStringList());
    QCOMPARE(QDir(dest()).entryList(QDir::Files).size(), 9);
    // The window is usable at once: a second run starts and ends the same way.
    pressStart();
    QCOMPARE(status(), QStringLiteral("全ての転送が終了"));
    QCOMPARE(QDir(dest()).entryList(QDir::Files).size(), 18);
    QCOMPARE(m_prompt->messages, QStringList());
    QVERIFY(notices().isEmpty());
}

QTEST_MAIN(TestRunNotice)
#include "tst_runnotice.moc"
