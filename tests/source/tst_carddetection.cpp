#include "platform/cameras.h"
#include "platform/volumesfake.h"
#include "settings/settingsrecord.h"
#include "source/carddetection.h"
#include "source/importstate.h"

#include "tables.h"
#include "testdir.h"

#include <QDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace vantora;
using vantora::test::TestDir;
using vantora::test::Text;

namespace {

// Counts as the source controller would: records the source each count was asked for, and how.
class CountRecorder final : public SourceCounting
{
public:
    explicit CountRecorder(const ImportState &state) : m_state(state) {}

    void countSource() override { counts.append(m_state.sourceFolder()); }
    void countSourceWithDialog() override { dialogCounts.append(m_state.sourceFolder()); }
    bool isWalking() const override { return walking; }

    QStringList counts;
    QStringList dialogCounts;
    bool walking = false;

private:
    const ImportState &m_state;
};

} // namespace

// The detection and the watch without a window: the volumes are made up, the folders real.
class TestCardDetection final : public QObject
{
    Q_OBJECT

private:
    vantora::test::IsolatedHome m_home;
    std::unique_ptr<TestDir> m_dir;
    std::unique_ptr<FakeVolumes> m_volumes;
    std::unique_ptr<ImportState> m_state;
    std::unique_ptr<QTimer> m_watch;
    std::unique_ptr<CountRecorder> m_counting;
    std::unique_ptr<CardDetection> m_detection;
    SettingsRecord m_settings;

    QString path(const QString &relative) const { return m_dir->filePath(relative); }
    QString pictures() const { return m_home.dir.path() + QLatin1String("/Pictures/"); }
    // "~" is the pictures folder.
    QString expectedPath(const QString &relative) const
    {
        return relative == QLatin1String("~") ? pictures() : path(relative);
    }
    void addCard(const QString &name, const QString &label, bool ready = true)
    {
        m_volumes->add({path(name), DriveType::Removable, ready, label});
    }

private Q_SLOTS:
    void initTestCase() { m_home.dir.createDir(QStringLiteral("Pictures")); }

    void init()
    {
        m_dir = std::make_unique<TestDir>();
        m_dir->createDir(QStringLiteral("sys"));
        m_volumes = std::make_unique<FakeVolumes>(path(QStringLiteral("sys")));
        // The root file system holds the temporary folders and the home, as on a real machine.
        m_volumes->add({QStringLiteral("/"), DriveType::Fixed, true, QStringLiteral("ROOTFS")});
        m_state = std::make_unique<ImportState>();
        m_state->setSourceFolder(m_dir->createDir(QStringLiteral("start")) + QLatin1Char('/'));
        m_watch = std::make_unique<QTimer>();
        m_counting = std::make_unique<CountRecorder>(*m_state);
        m_settings = SettingsRecord();
        m_detection = std::make_unique<CardDetection>(m_state.get(), m_volumes.get(), &m_settings,
                                                      m_watch.get(), m_counting.get());
    }

    void cleanup()
    {
        m_detection.reset();
        m_counting.reset();
        m_watch.reset();
        m_state.reset();
        m_volumes.reset();
        m_dir.reset();
    }

    void startupDetection_data()
    {
        // A card "card" (with DCIM, label EOS_DIGITAL) and a stick "usb" (without, label STICK) are
        // mounted; the source was "start/" before.
        test::addRows<Text, bool, Text, Text, Text, Text>(
            {"argument", "cardReady", "before", "source", "label", "drive"},
            {{"card found", "", true, "start/", "card/DCIM/", "EOS_DIGITAL", "card"},
             {"no card, ready source kept", "", false, "start/", "start/", "ROOTFS", ""},
             {"no card, source gone", "", false, "vanished/", "~", "ROOTFS", ""},
             {"mount path with DCIM", "card", true, "start/", "card/DCIM/", "EOS_DIGITAL", "card"},
             {"mount path without DCIM", "usb", true, "start/", "usb/", "STICK", "usb"},
             {"missing folder on a ready volume", "usb/later", true, "start/", "usb/later/", "STICK",
              "usb/later"},
             {"mount path not ready", "card", false, "start/", "start/", "ROOTFS", "card"}});
    }

    void startupDetection()
    {
        QFETCH(QString, argument);
        QFETCH(bool, cardReady);
        QFETCH(QString, before);
        QFETCH(QString, source);
        QFETCH(QString, label);
        QFETCH(QString, drive);
        m_dir->createFile(QStringLiteral("card/DCIM/100CANON/IMG_1.JPG"));
        m_dir->createFile(QStringLiteral("usb/photos/IMG_2.JPG"));
        addCard(QStringLiteral("card"), QStringLiteral("EOS_DIGITAL"), cardReady);
        addCard(QStringLiteral("usb"), QStringLiteral("STICK"));
        m_state->setSourceFolder(path(before));
        if (!argument.isEmpty())
            m_detection->setCommandLineArgument(path(argument));
        m_watch->start();

        m_detection->startupBegin();
        QVERIFY(m_detection->noCardMark());
        QVERIFY(!m_watch->isActive());
        m_detection->StartupCheckSourceDrive();
        QCOMPARE(m_state->sourceFolder(), expectedPath(source));
        QCOMPARE(m_state->volumeLabel(), label);
        QCOMPARE(m_detection->rememberedDrive(), drive.isEmpty() ? QString() : path(drive));
        QVERIFY(!m_detection->noCardMark());
        // One count of what was taken, with the counting window; the watch is the caller's to start.
        QCOMPARE(m_counting->dialogCounts, QStringList{m_state->sourceFolder()});
        QVERIFY(m_counting->counts.isEmpty());
        QVERIFY(!m_watch->isActive());
        QCOMPARE(m_detection->isSourceDriveReady(), source != QLatin1String("usb/later/"));
    }

    void watchFollowsCards()
    {
        QSignalSpy labels(m_state.get(), &ImportState::volumeLabelChanged);
        // A DCIM folder on the system volume is never the watch's.
        m_dir->createFile(QStringLiteral("sys/DCIM/IMG_0.JPG"));
        const QString setting = m_settings.SourceEditText;
        m_detection->tick();
        QCOMPARE(m_state->sourceFolder(), path(QStringLiteral("start/")));
        QVERIFY(m_counting->counts.isEmpty());
        QVERIFY(!m_watch->isActive());
        QVERIFY(QDir(path(QStringLiteral("sys/DCIM"))).removeRecursively());

        // A card comes: taken and counted quietly, the watch goes on.
        m_dir->createFile(QStringLiteral("card/DCIM/100CANON/IMG_1.JPG"));
        addCard(QStringLiteral("card"), QStringLiteral("EOS_DIGITAL"));
        m_detection->tick();
        QCOMPARE(m_state->sourceFolder(), path(QStringLiteral("card/DCIM/")));
        QCOMPARE(m_state->volumeLabel(), QStringLiteral("EOS_DIGITAL"));
        QCOMPARE(m_detection->rememberedDrive(), path(QStringLiteral("card")));
        QCOMPARE(m_counting->counts, QStringList{path(QStringLiteral("card/DCIM/"))});
        QVERIFY(m_watch->isActive());
        QCOMPARE(m_settings.SourceEditText, setting);

        // It goes: the source falls back to the pictures folder, which becomes the stored source.
        m_volumes->remove(path(QStringLiteral("card")));
        QVERIFY(QDir(path(QStringLiteral("card"))).removeRecursively());
        m_detection->tick();
        QCOMPARE(m_state->sourceFolder(), pictures());
        QCOMPARE(m_settings.SourceEditText, pictures());
        QCOMPARE(m_state->volumeLabel(), QStringLiteral("ROOTFS"));
        QCOMPARE(m_counting->counts, QStringList({path(QStringLiteral("card/DCIM/")), pictures()}));
        QVERIFY(m_counting->dialogCounts.isEmpty());
        QCOMPARE(labels.count(), 2);
    }

    // A camera on a cable is the source while no card holds a DCIM folder: shown by its port, labelled by
    // its model, counted when it becomes the source (not at every tick), and given up as a card is.
    void watchFollowsCameras()
    {
        FakeCameras cameras;
        m_detection->setCameras(&cameras);
        const CameraId phone{QStringLiteral("Google Pixel"), QStringLiteral("usb:001,004")};
        const QString shown = QStringLiteral("gphoto2://[usb:001,004]/");
        cameras.plug(phone);
        m_detection->tick();
        QCOMPARE(m_state->sourceFolder(), shown);
        QCOMPARE(m_state->volumeLabel(), QStringLiteral("Google Pixel"));
        QCOMPARE(m_detection->rememberedDrive(), shown);
        QVERIFY(m_detection->isSourceDriveReady());
        m_detection->tick();
        QCOMPARE(m_counting->counts, QStringList{shown});

        // A card comes: it goes first; once it goes, the camera is the source again.
        m_dir->createFile(QStringLiteral("card/DCIM/100CANON/IMG_1.JPG"));
        addCard(QStringLiteral("card"), QStringLiteral("EOS_DIGITAL"));
        m_detection->tick();
        QCOMPARE(m_state->sourceFolder(), path(QStringLiteral("card/DCIM/")));
        m_volumes->remove(path(QStringLiteral("card")));
        m_detection->tick();
        QCOMPARE(m_state->sourceFolder(), shown);

        // Unplugged: the pictures folder, as for a card taken out; at the start, it is found again.
        cameras.unplug(phone.port);
        QVERIFY(!m_detection->isSourceDriveReady());
        m_detection->tick();
        QCOMPARE(m_state->sourceFolder(), pictures());
        QCOMPARE(m_state->volumeLabel(), QStringLiteral("ROOTFS"));
        cameras.plug(phone);
        m_detection->DetectSourceDrive(QString(), false);
        QCOMPARE(m_state->sourceFolder(), shown);
        QCOMPARE(m_counting->counts,
                 QStringList({shown, path(QStringLiteral("card/DCIM/")), shown, pictures(), shown}));
    }

    void tickWaitsWhileBusy_data()
    {
        QTest::addColumn<bool>("walking");
        QTest::newRow("a walk") << true;
        QTest::newRow("a run") << false;
    }

    void tickWaitsWhileBusy()
    {
        QFETCH(bool, walking);
        m_counting->walking = walking;
        m_state->setRunInProgress(!walking);
        m_dir->createFile(QStringLiteral("card/DCIM/IMG_1.JPG"));
        addCard(QStringLiteral("card"), QString());
        m_volumes->scans = 0;
        m_detection->tick();
        QTest::qWait(300);
        QCOMPARE(m_volumes->scans, 0);
        QCOMPARE(m_state->sourceFolder(), path(QStringLiteral("start/")));
        m_counting->walking = false;
        m_state->setRunInProgress(false);
        QTRY_COMPARE(m_state->sourceFolder(), path(QStringLiteral("card/DCIM/")));
        QCOMPARE(m_counting->counts, QStringList{path(QStringLiteral("card/DCIM/"))});
    }

    void chosenFolder()
    {
        QVERIFY(m_detection->isSystemRoot(path(QStringLiteral("sys/"))));
        QVERIFY(!m_detection->isSystemRoot(path(QStringLiteral("pick"))));
        m_dir->createFile(QStringLiteral("pick/DCIM/IMG_1.JPG"));
        m_dir->createFile(QStringLiteral("card/DCIM/IMG_2.JPG"));
        addCard(QStringLiteral("card"), QString());
        m_detection->tick();
        QCOMPARE(m_detection->rememberedDrive(), path(QStringLiteral("card")));
        QVERIFY(m_watch->isActive());
        m_volumes->setReady(path(QStringLiteral("card")), false);
        m_detection->takeChosenFolder(path(QStringLiteral("pick")));
        QVERIFY(!m_watch->isActive());
        QCOMPARE(m_state->sourceFolder(), path(QStringLiteral("pick/DCIM/")));
        QCOMPARE(m_settings.SourceEditText, path(QStringLiteral("pick/DCIM/")));
        QCOMPARE(m_state->volumeLabel(), QStringLiteral("ROOTFS"));
        QCOMPARE(m_counting->dialogCounts, QStringList{path(QStringLiteral("pick/DCIM/"))});
        QCOMPARE(m_detection->rememberedDrive(), QString());
    }
};

QTEST_GUILESS_MAIN(TestCardDetection)
#include "tst_carddetection.moc"
