#include "app/runend.h"
#include "formchild.h"
#include "platform/launcher.h"
#include "platform/udisks.h"
#include "platform/volumesmounttable.h"
#include "privatebus.h"
#include "runwindow.h"

#include <QCheckBox>
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
    void refusedEjectLeavesTheCardMounted_data();
    void refusedEjectLeavesTheCardMounted();
    void withoutUdisksOneMessage();
    void boxOffCallsNothing();
    void fixedVolumeIsNotEjected();
    void cancelledRunKeepsTheCard();
    void cardKeptWhenTheProgramGetsAFolderOnIt();
    void labelFromUdisksWhereNoLinksExist();

private:
    void start(const SettingsRecord &record);
    // A whole run from the start: it ends with every file transferred.
    void runToTheEnd(const SettingsRecord &record);
    bool standIn(const QString &answer, const QString &mountPoint = QString());
    SettingsRecord settings(bool eject) const;
    // The settings, the viewer started after the run with the destination folder.
    SettingsRecord withProgram(SettingsRecord r) const;
    QString card(const QString &relative = QString()) const { return m_run.card(relative); }
    QString dest() const { return m_run.dest(); }
    QStringList messages() const { return m_run.prompt().messages; }
    QStringList calls() const { return m_bus.calls(); }

    test::WindowRun m_run;
    test::PrivateBus m_bus;
    std::unique_ptr<RecordingLauncher> m_launcher;
    QString m_program;
};

void TestEject::initTestCase()
{
    const QString error = m_bus.startForThisProcess();
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestEject::init()
{
    m_run.prepare();
    m_launcher = std::make_unique<RecordingLauncher>(m_bus.log());
    m_program = m_run.dir().createFile(QStringLiteral("bin/viewer"), "#!/bin/sh\nexit 0\n");
    QFile::setPermissions(m_program,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void TestEject::cleanup()
{
    m_run.close();
    m_bus.stopStandIn();
    m_launcher.reset();
    m_run.finish();
}

bool TestEject::standIn(const QString &answer, const QString &mountPoint)
{
    return m_bus.startStandIn({QStringLiteral("udisks"), mountPoint.isEmpty() ? card() : mountPoint,
                               QStringLiteral("EOS_DIGITAL"), answer});
}

SettingsRecord TestEject::settings(bool eject) const
{
    SettingsRecord r = m_run.allFilesToDest();
    r.EjectChecked = eject;
    return r;
}

SettingsRecord TestEject::withProgram(SettingsRecord r) const
{
    r.ExecChecked = true;
    r.ExecEditText = m_program;
    r.ParamRadioGroupIndex = 0;
    return r;
}

void TestEject::start(const SettingsRecord &record)
{
    m_run.start(record);
    QVERIFY(formChild<QCheckBox>(m_run.form(), "EjectCheckBox")->isChecked() == record.EjectChecked);
    QCOMPARE(messages(), QStringList());
}

void TestEject::runToTheEnd(const SettingsRecord &record)
{
    start(record);
    m_run.pressStart();
    QCOMPARE(m_run.status(), QStringLiteral("全ての転送が終了"));
}

void TestEject::ejectedAfterTheProgramStarted()
{
    QVERIFY(standIn(QStringLiteral("ok")));
    runToTheEnd(withProgram(settings(true)));
    QCOMPARE(QDir(dest()).entryList(QDir::Files).size(), 9);
    QCOMPARE(messages(), QStringList{QStringLiteral("カードを安全に取り外せます")});
    // The program first, then the unmount of the card's filesystem, then its drive powered off.
    QCOMPARE(calls(), (QStringList{QStringLiteral("launch ") + dest(), QStringLiteral("GetManagedObjects"),
                                   QStringLiteral("Unmount ") + kBlock + QStringLiteral(" a{sv}"),
                                   QStringLiteral("PowerOff ") + kDrive + QStringLiteral(" a{sv}")}));
}

void TestEject::refusedEjectLeavesTheCardMounted_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("told");
    QTest::addColumn<QStringList>("wantCalls");
    // Asked once, never forced, the drive left on.
    QTest::newRow("busy") << QStringLiteral("busy") << QStringLiteral("使用中")
                          << QStringList{QStringLiteral("GetManagedObjects"),
                                         QStringLiteral("Unmount ") + kBlock + QStringLiteral(" a{sv}")};
    QTest::newRow("not removable") << QStringLiteral("not-removable")
                                   << QStringLiteral("取り外せるドライブではない")
                                   << QStringList{QStringLiteral("GetManagedObjects")};
}

void TestEject::refusedEjectLeavesTheCardMounted()
{
    QFETCH(QString, answer);
    QFETCH(QString, told);
    QFETCH(QStringList, wantCalls);
    QVERIFY(standIn(answer));
    runToTheEnd(settings(true));
    QCOMPARE(messages().size(), 1);
    QVERIFY2(messages()[0].contains(told), qPrintable(messages()[0]));
    QVERIFY(!messages()[0].contains(QStringLiteral("安全に取り外せます")));
    QCOMPARE(calls(), wantCalls);
}

void TestEject::withoutUdisksOneMessage()
{
    runToTheEnd(settings(true));
    QCOMPARE(messages().size(), 1);
    QVERIFY2(messages()[0].contains(QStringLiteral("udisks2")) &&
                 messages()[0].contains(QStringLiteral("動いていない")),
             qPrintable(messages()[0]));
    QCOMPARE(QDir(dest()).entryList(QDir::Files).size(), 9);
}

void TestEject::boxOffCallsNothing()
{
    QVERIFY(standIn(QStringLiteral("ok")));
    runToTheEnd(settings(false));
    QCOMPARE(messages(), QStringList());
    QCOMPARE(calls(), QStringList());
    // Ticked in the window, the next run ejects.
    formChild<QCheckBox>(m_run.form(), "EjectCheckBox")->click();
    QVERIFY(m_run.app().settings().EjectChecked);
    m_run.pressStart();
    QCOMPARE(messages(), QStringList{QStringLiteral("カードを安全に取り外せます")});
    QCOMPARE(calls().size(), 3);
}

void TestEject::fixedVolumeIsNotEjected()
{
    QVERIFY(standIn(QStringLiteral("ok")));
    m_run.volumes().remove(card());
    m_run.volumes().add({card(), DriveType::Fixed, true, QStringLiteral("DATA")});
    runToTheEnd(settings(true));
    QCOMPARE(messages(), QStringList());
    QCOMPARE(calls(), QStringList());
}

void TestEject::cancelledRunKeepsTheCard()
{
    QVERIFY(standIn(QStringLiteral("ok")));
    m_run.addBigFirstFile();
    start(settings(true));
    m_run.cancelOnceStarted();
    m_run.pressStart();
    QCOMPARE(m_run.status(), QStringLiteral("転送はキャンセルされました"));
    QCOMPARE(messages(), QStringList());
    QCOMPARE(calls(), QStringList());
}

void TestEject::cardKeptWhenTheProgramGetsAFolderOnIt()
{
    QVERIFY(standIn(QStringLiteral("ok")));
    SettingsRecord r = withProgram(settings(true));
    r.AllFileDir = card(QStringLiteral("imported/"));
    QDir().mkpath(r.AllFileDir);
    runToTheEnd(r);
    QCOMPARE(QDir(card(QStringLiteral("imported"))).entryList(QDir::Files).size(), 9);
    QCOMPARE(messages(), QStringList{RunEndActions::cardKeptForProgramMessage()});
    QVERIFY(messages()[0].contains(QStringLiteral("取り出しませんでした")));
    QCOMPARE(calls(), QStringList{QStringLiteral("launch ") + card(QStringLiteral("imported"))});

    // Started without the folder, the program cannot be reading the card: ejected.
    m_run.close();
    QFile::remove(m_bus.log());
    m_run.prompt().clear();
    r.ParamRadioGroupIndex = 1;
    start(r);
    m_run.pressStart();
    QCOMPARE(messages(), QStringList{QStringLiteral("カードを安全に取り外せます")});
    QCOMPARE(calls().value(0), QStringLiteral("launch "));
    QCOMPARE(calls().size(), 4);
}

void TestEject::labelFromUdisksWhereNoLinksExist()
{
    // A device that no /dev/disk/by-label link names: the label comes from udisks2 while it runs.
    const QString mountPoint = QStringLiteral("/media/user/EOS_DIGITAL");
    const QString mountInfo = m_run.dir().createFile(
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
