#include "app/runend.h"
#include "app/vantoraapp.h"
#include "democardrun.h"
#include "formchild.h"
#include "platform/launcher.h"
#include "platform/registrystore.h"
#include "platform/udisks.h"
#include "platform/volumesfake.h"
#include "platform/volumesmounttable.h"
#include "privatebus.h"
#include "settings/settingsstore.h"
#include "testdir.h"
#include "testprompt.h"
#include "ui/tmainform.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace vantora;
using vantora::test::formChild;

namespace {

void append(const QString &log, const QString &line)
{
    QFile f(log);
    QVERIFY(f.open(QIODevice::Append));
    f.write((line + u'\n').toUtf8());
}

// Writes each start of the after-transfer program into the stand-in's log, then really starts it: the
// log shows what came first.
class RecordingLauncher final : public Launcher
{
public:
    explicit RecordingLauncher(QString log) : m_log(std::move(log)), m_previous(&launcher())
    {
        setLauncher(this);
    }
    ~RecordingLauncher() override { setLauncher(m_previous); }

    bool start(const QString &path, const QStringList &arguments) override
    {
        append(m_log, QStringLiteral("launch ") + arguments.join(u' '));
        return m_previous->start(path, arguments);
    }

private:
    QString m_log;
    Launcher *m_previous;
};

const QString kBlock = QStringLiteral("/org/freedesktop/UDisks2/block_devices/sdz1");
const QString kDrive = QStringLiteral("/org/freedesktop/UDisks2/drives/Card_Reader_0001");

} // namespace

// The eject of the card after a run, through the real windows, against a stand-in udisks2 on a private
// system bus.
class TestEject : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void ejectedAfterTheProgramStarted();
    void busyCardStaysMounted();
    void notRemovableDriveIsLeftMounted();
    void withoutUdisksOneMessage();
    void boxOffCallsNothing();
    void fixedVolumeIsNotEjected();
    void cancelledRunKeepsTheCard();
    void cardKeptWhenTheProgramGetsAFolderOnIt();
    void labelFromUdisksWhereNoLinksExist();

private:
    void start(const SettingsRecord &record);
    void pressStart();
    bool standIn(const QString &answer, const QString &mountPoint = QString());
    QWidget *form() const { return m_app->mainForm(); }
    QString status() const { return formChild<QLabel>(form(), "StatusLabel")->text(); }
    SettingsRecord settings(bool eject) const;
    QString card(const QString &relative = QString()) const
    {
        return m_dir->filePath(QStringLiteral("card")) + (relative.isEmpty() ? QString() : u'/' + relative);
    }
    QString dest() const { return m_dir->filePath(QStringLiteral("dest")); }
    QStringList calls() const { return test::recordedCalls(m_log); }

    QTemporaryDir m_home;
    QTemporaryDir m_busDir;
    std::unique_ptr<test::PrivateBus> m_bus;
    std::unique_ptr<test::TestDir> m_dir;
    std::unique_ptr<FakeVolumes> m_volumes;
    std::unique_ptr<VantoraApp> m_app;
    std::unique_ptr<test::TestPrompt> m_prompt;
    std::unique_ptr<test::StandIn> m_udisks;
    std::unique_ptr<RecordingLauncher> m_launcher;
    QString m_log;
    QString m_program;
};

void TestEject::initTestCase()
{
    test::isolateHome(m_home.path());
    m_bus = std::make_unique<test::PrivateBus>(m_busDir.path());
    QVERIFY2(!m_bus->address().isEmpty(), qPrintable(m_bus->error()));
    // Before the first use of either bus in this process: the machine's buses are never reached.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_bus->address().toUtf8());
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus->address().toUtf8());
}

void TestEject::init()
{
    const QString error = test::prepareDemoCardRun(m_home.path(), m_dir, m_volumes);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    m_prompt = std::make_unique<test::TestPrompt>();
    m_log = m_dir->filePath(QStringLiteral("calls.log"));
    m_launcher = std::make_unique<RecordingLauncher>(m_log);
    m_program = m_dir->createFile(QStringLiteral("bin/viewer"), "#!/bin/sh\nexit 0\n");
    QFile::setPermissions(m_program,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void TestEject::cleanup()
{
    if (m_app)
        m_app->mainForm()->close();
    m_app.reset();
    m_udisks.reset();
    m_launcher.reset();
    m_prompt.reset();
    m_volumes.reset();
    m_dir.reset();
}

bool TestEject::standIn(const QString &answer, const QString &mountPoint)
{
    m_udisks = std::make_unique<test::StandIn>(m_bus->address(), m_log,
                                               QStringList{QStringLiteral("udisks"),
                                                           mountPoint.isEmpty() ? card() : mountPoint,
                                                           QStringLiteral("EOS_DIGITAL"), answer});
    if (!m_udisks->ok())
        qWarning("%s", qPrintable(m_udisks->error()));
    return m_udisks->ok();
}

SettingsRecord TestEject::settings(bool eject) const
{
    SettingsRecord r = SettingsRecord::defaults();
    r.SourceEditText = card(QStringLiteral("DCIM/"));
    r.AllFileChecked = true;
    r.AllFileDir = dest() + u'/';
    for (auto &type : r.types)
        type.checked = false;
    r.EjectChecked = eject;
    return r;
}

void TestEject::start(const SettingsRecord &record)
{
    RegistryStore store;
    SettingsRecord copy = record;
    QVERIFY(SaveSettings(store, copy));
    m_app = std::make_unique<VantoraApp>(QStringList(), m_volumes.get());
    m_app->setHistoryPath(m_dir->filePath(QStringLiteral("history/history.sqlite")));
    m_app->mainForm()->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_app->mainForm()));
    QTRY_VERIFY(formChild<QTimer>(form(), "Timer1")->isActive()); // start-up finished
    QVERIFY(formChild<QCheckBox>(form(), "EjectCheckBox")->isChecked() == record.EjectChecked);
    QCOMPARE(m_prompt->messages, QStringList());
}

void TestEject::pressStart()
{
    QTest::mouseClick(formChild<QPushButton>(form(), "StartTransferBitBtn"), Qt::LeftButton);
}

void TestEject::ejectedAfterTheProgramStarted()
{
    QVERIFY(standIn(QStringLiteral("ok")));
    SettingsRecord r = settings(true);
    r.ExecChecked = true;
    r.ExecEditText = m_program;
    r.ParamRadioGroupIndex = 0;
    start(r);
    pressStart();
    QCOMPARE(status(), QStringLiteral("全ての転送が終了"));
    QCOMPARE(QDir(dest()).entryList(QDir::Files).size(), 9);
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("カードを安全に取り外せます")});
    // The program first, then the unmount of the card's filesystem, then its drive powered off.
    QCOMPARE(calls(), (QStringList{QStringLiteral("launch ") + dest(), QStringLiteral("GetManagedObjects"),
                                   QStringLiteral("Unmount ") + kBlock + QStringLiteral(" a{sv}"),
                                   QStringLiteral("PowerOff ") + kDrive + QStringLiteral(" a{sv}")}));
}

void TestEject::busyCardStaysMounted()
{
    QVERIFY(standIn(QStringLiteral("busy")));
    start(settings(true));
    pressStart();
    QCOMPARE(status(), QStringLiteral("全ての転送が終了"));
    QCOMPARE(m_prompt->messages.size(), 1);
    QVERIFY2(m_prompt->messages[0].contains(QStringLiteral("使用中")), qPrintable(m_prompt->messages[0]));
    QVERIFY(!m_prompt->messages[0].contains(QStringLiteral("安全に取り外せます")));
    // Asked once, never forced, the drive left on.
    QCOMPARE(calls(), (QStringList{QStringLiteral("GetManagedObjects"),
                                   QStringLiteral("Unmount ") + kBlock + QStringLiteral(" a{sv}")}));
}

void TestEject::notRemovableDriveIsLeftMounted()
{
    QVERIFY(standIn(QStringLiteral("not-removable")));
    start(settings(true));
    pressStart();
    QCOMPARE(status(), QStringLiteral("全ての転送が終了"));
    QCOMPARE(m_prompt->messages.size(), 1);
    QVERIFY2(m_prompt->messages[0].contains(QStringLiteral("取り外せるドライブではない")),
             qPrintable(m_prompt->messages[0]));
    QCOMPARE(calls(), QStringList{QStringLiteral("GetManagedObjects")});
}

void TestEject::withoutUdisksOneMessage()
{
    start(settings(true));
    pressStart();
    QCOMPARE(status(), QStringLiteral("全ての転送が終了"));
    QCOMPARE(m_prompt->messages.size(), 1);
    QVERIFY2(m_prompt->messages[0].contains(QStringLiteral("udisks2")) &&
                 m_prompt->messages[0].contains(QStringLiteral("動いていない")),
             qPrintable(m_prompt->messages[0]));
    QCOMPARE(QDir(dest()).entryList(QDir::Files).size(), 9);
}

void TestEject::boxOffCallsNothing()
{
    QVERIFY(standIn(QStringLiteral("ok")));
    start(settings(false));
    pressStart();
    QCOMPARE(status(), QStringLiteral("全ての転送が終了"));
    QCOMPARE(m_prompt->messages, QStringList());
    QCOMPARE(calls(), QStringList());
    // Ticked in the window, the next run ejects.
    formChild<QCheckBox>(form(), "EjectCheckBox")->click();
    QVERIFY(m_app->settings().EjectChecked);
    pressStart();
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("カードを安全に取り外せます")});
    QCOMPARE(calls().size(), 3);
}

void TestEject::fixedVolumeIsNotEjected()
{
    QVERIFY(standIn(QStringLiteral("ok")));
    m_volumes->remove(card());
    m_volumes->add({card(), DriveType::Fixed, true, QStringLiteral("DATA")});
    start(settings(true));
    pressStart();
    QCOMPARE(status(), QStringLiteral("全ての転送が終了"));
    QCOMPARE(m_prompt->messages, QStringList());
    QCOMPARE(calls(), QStringList());
}

void TestEject::cancelledRunKeepsTheCard()
{
    QVERIFY(standIn(QStringLiteral("ok")));
    // A big first file, so the cancel lands in the middle of its copy.
    m_dir->createFile(QStringLiteral("card/DCIM/100CANON/AAA_BIG.JPG"), QByteArray(64 * 1024 * 1024, 'b'));
    start(settings(true));
    QWidget *f = form();
    QTimer::singleShot(
        0, f, [f] { QTest::mouseClick(formChild<QPushButton>(f, "CancelTransferBitBtn"), Qt::LeftButton); });
    pressStart();
    QCOMPARE(status(), QStringLiteral("転送はキャンセルされました"));
    QCOMPARE(m_prompt->messages, QStringList());
    QCOMPARE(calls(), QStringList());
}

void TestEject::cardKeptWhenTheProgramGetsAFolderOnIt()
{
    QVERIFY(standIn(QStringLiteral("ok")));
    SettingsRecord r = settings(true);
    r.AllFileDir = card(QStringLiteral("imported/"));
    QDir().mkpath(r.AllFileDir);
    r.ExecChecked = true;
    r.ExecEditText = m_program;
    r.ParamRadioGroupIndex = 0;
    start(r);
    pressStart();
    QCOMPARE(status(), QStringLiteral("全ての転送が終了"));
    QCOMPARE(QDir(card(QStringLiteral("imported"))).entryList(QDir::Files).size(), 9);
    QCOMPARE(m_prompt->messages, QStringList{RunEndActions::cardKeptForProgramMessage()});
    QVERIFY(m_prompt->messages[0].contains(QStringLiteral("取り出しませんでした")));
    QCOMPARE(calls(), QStringList{QStringLiteral("launch ") + card(QStringLiteral("imported"))});

    // Started without the folder, the program cannot be reading the card: ejected.
    m_app->mainForm()->close();
    m_app.reset();
    QFile::remove(m_log);
    m_prompt->clear();
    r.ParamRadioGroupIndex = 1;
    start(r);
    pressStart();
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("カードを安全に取り外せます")});
    QCOMPARE(calls().value(0), QStringLiteral("launch "));
    QCOMPARE(calls().size(), 4);
}

void TestEject::labelFromUdisksWhereNoLinksExist()
{
    // A device that no /dev/disk/by-label link names: the label comes from udisks2 while it runs.
    const QString mountPoint = QStringLiteral("/media/user/EOS_DIGITAL");
    const QString mountInfo = m_dir->createFile(
        QStringLiteral("mountinfo"),
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "98 22 179:1 / /media/user/EOS_DIGITAL rw,nosuid,nodev shared:60 - exfat /dev/null rw\n");
    MountTableVolumes volumes(mountInfo);
    QCOMPARE(volumes.label(mountPoint), QString());
    QVERIFY(standIn(QStringLiteral("ok"), mountPoint));
    QCOMPARE(volumes.label(mountPoint), QStringLiteral("EOS_DIGITAL"));
    QCOMPARE(udisksLabel(mountPoint + u'/'), QStringLiteral("EOS_DIGITAL"));
    QCOMPARE(udisksLabel(QStringLiteral("/media/user/OTHER")), QString());
    // Only looked up, nothing unmounted.
    QCOMPARE(calls(), QStringList(3, QStringLiteral("GetManagedObjects")));
}

QTEST_MAIN(TestEject)
#include "tst_eject.moc"
