#include "app/aftertransferapp.h"
#include "app/transferrun.h"
#include "app/vantoraapp.h"
#include "formchild.h"
#include "platform/registrystore.h"
#include "platform/volumesfake.h"
#include "settings/settingsstore.h"
#include "source/widgets/sourcecontroller.h"
#include "testdir.h"
#include "testprompt.h"
#include "ui/radiogroup.h"
#include "ui/tmainform.h"

#include "../transfer/transferfixture.h"

#include <QCheckBox>
#include <QCryptographicHash>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace vantora;
using vantora::test::formChild;

namespace {

QByteArray hashOf(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

QStringList filesUnder(const QString &root)
{
    QStringList out;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(root).relativeFilePath(it.next());
    out.sort();
    return out;
}

} // namespace

// Whole imports through the real main window, the prompt answered by the test.
class TestTransferRun : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void copyRunFromTheDemoCard();
    void cameraFoldersForACardHandedInAtStart();
    void cameraFoldersForACardFoundByTheWatch();
    void moveRunRemovesTheEmptiedCameraFolders();
    void cancelledMoveRemovesNothingAndResetsCounters();
    void refusals();
    void twoMissingDestinationsFirstCreatedSecondDeclined();
    void emptyRunListThoughTheCountWasNotZero();
    void afterTransferLaunchPassesTheFolderWhole();
    void afterTransferLaunchVariants();
    void secondStartIgnoredAndCloseDuringARunFinishesIt();

private:
    // Stores the settings, starts the program's windows with the card as a mounted volume.
    void start(const SettingsRecord &record, const QStringList &arguments = {});
    // Runs a whole import of the demo card, shown as the source though another folder is stored, and
    // checks that every file lands in the created folder's camera sub-folder.
    void importKeepsTheCameraFolders();
    SettingsRecord baseSettings() const;
    SettingsRecord cameraFolderSettings() const;
    QString card(const QString &relative = QString()) const;
    QString dest(const QString &relative = QString()) const;
    void pressStart();
    QStringList launchedArguments(bool *ran = nullptr);

    QTemporaryDir m_home;
    std::unique_ptr<test::TestDir> m_dir;
    std::unique_ptr<FakeVolumes> m_volumes;
    std::unique_ptr<VantoraApp> m_app;
    std::unique_ptr<test::TestPrompt> m_prompt;
    QString m_recorder;
    QString m_recorded;
};

void TestTransferRun::initTestCase()
{
    test::isolateHome(m_home.path());
    QVERIFY(QFile::exists(test::sourceDir() + QLatin1String("/scripts/make-demo-card")));
}

void TestTransferRun::init()
{
    QDir(RegistryStore::defaultDirectory()).removeRecursively();
    m_dir = std::make_unique<test::TestDir>();
    QDir().mkpath(m_home.path() + QLatin1String("/Documents"));
    QDir().mkpath(m_home.path() + QLatin1String("/Pictures"));
    QProcess make;
    make.start(test::sourceDir() + QLatin1String("/scripts/make-demo-card"), {card()});
    QVERIFY(make.waitForFinished(60000));
    QCOMPARE(make.exitCode(), 0);
    m_dir->createDir(QStringLiteral("sys"));
    m_dir->createDir(QStringLiteral("dest"));
    m_volumes = std::make_unique<FakeVolumes>(m_dir->filePath(QStringLiteral("sys")));
    m_volumes->add(
        {m_dir->filePath(QStringLiteral("sys")), DriveType::Fixed, true, QStringLiteral("SYSTEM")});
    m_volumes->add({card(), DriveType::Removable, true, QStringLiteral("CARD")});
    m_prompt = std::make_unique<test::TestPrompt>();

    // A program that records its arguments, one per line.
    m_recorded = m_dir->filePath(QStringLiteral("args.txt"));
    m_recorder = m_dir->createFile(
        QStringLiteral("bin/record-args"),
        QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '%1.tmp'\n"
                       "mv '%1.tmp' '%1'\n")
            .arg(m_recorded)
            .toUtf8());
    QFile::setPermissions(m_recorder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void TestTransferRun::cleanup()
{
    if (m_app)
        m_app->mainForm()->close();
    m_app.reset();
    m_prompt.reset();
    m_volumes.reset();
    m_dir.reset();
}

QString TestTransferRun::card(const QString &relative) const
{
    return m_dir->filePath(QStringLiteral("card")) +
           (relative.isEmpty() ? QString() : QLatin1Char('/') + relative);
}

QString TestTransferRun::dest(const QString &relative) const
{
    return m_dir->filePath(QStringLiteral("dest")) +
           (relative.isEmpty() ? QString() : QLatin1Char('/') + relative);
}

SettingsRecord TestTransferRun::baseSettings() const
{
    SettingsRecord r = SettingsRecord::defaults();
    r.SourceEditText = card(QStringLiteral("DCIM/"));
    r.AllFileChecked = false;
    r.type(u"TIF").checked = r.type(u"MOV").checked = r.type(u"AVI").checked = false;
    r.type(u"JPG").checked = r.type(u"MP4").checked = r.type(u"CR2").checked = true;
    r.type(u"JPG").dir = r.type(u"JPG").aliasDir = dest(QStringLiteral("photos/"));
    r.type(u"CR2").dir = dest(QStringLiteral("raw/"));
    r.type(u"MP4").dir = dest(QStringLiteral("video/"));
    r.AllFileDir = dest(QStringLiteral("all/"));
    for (const char *sub : {"photos", "raw", "video", "all"})
        QDir().mkpath(dest(QLatin1String(sub)));
    return r;
}

void TestTransferRun::start(const SettingsRecord &record, const QStringList &arguments)
{
    RegistryStore store;
    SettingsRecord copy = record;
    QVERIFY(SaveSettings(store, copy));
    m_app = std::make_unique<VantoraApp>(arguments, m_volumes.get());
    m_app->mainForm()->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_app->mainForm()));
    QTRY_VERIFY(formChild<QTimer>(m_app->mainForm(), "Timer1")->isActive()); // start-up finished
    m_prompt->clear();
}

void TestTransferRun::pressStart()
{
    QTest::mouseClick(formChild<QPushButton>(m_app->mainForm(), "StartTransferBitBtn"), Qt::LeftButton);
}

QStringList TestTransferRun::launchedArguments(bool *ran)
{
    QFile f(m_recorded);
    const bool exists = QTest::qWaitFor([&] { return f.exists(); }, 5000);
    if (ran)
        *ran = exists;
    if (!exists || !f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void TestTransferRun::copyRunFromTheDemoCard()
{
    SettingsRecord r = baseSettings();
    test::nameByShootingDate(r, 1);
    r.DirRenbanSpinEditValue = 5;
    start(r);
    TMainForm *f = m_app->mainForm();
    QCOMPARE(formChild<QLineEdit>(f, "SourceEdit1")->text(), card(QStringLiteral("DCIM/")));
    QCOMPARE(formChild<QLabel>(f, "FNumLabel")->text(), QStringLiteral("9"));

    const QMap<QString, QString> expected{
        {QStringLiteral("DCIM/100CANON/IMG_0001.JPG"),
         QStringLiteral("photos/2024.01.09/100CANON/IMG_0001_1.JPG")},
        {QStringLiteral("DCIM/100CANON/IMG_0002.JPG"),
         QStringLiteral("photos/2024.01.09/100CANON/IMG_0002_2.JPG")},
        {QStringLiteral("DCIM/100CANON/IMG_0003.JPG"),
         QStringLiteral("photos/2024.01.09/100CANON/IMG_0003_3.JPG")},
        {QStringLiteral("DCIM/100CANON/IMG_0007.CR2"),
         QStringLiteral("raw/2024.01.09/100CANON/IMG_0007_4.CR2")},
        {QStringLiteral("DCIM/101CANON/IMG_0004.JPG"),
         QStringLiteral("photos/2024.01.10/101CANON/IMG_0004_5.JPG")},
        {QStringLiteral("DCIM/101CANON/IMG_0005.JPG"),
         QStringLiteral("photos/2024.01.10/101CANON/IMG_0005_6.JPG")},
        {QStringLiteral("DCIM/101CANON/IMG_0006.JPG"),
         QStringLiteral("photos/2023.12.31/101CANON/IMG_0006_7.JPG")},
        {QStringLiteral("DCIM/101CANON/MVI_0008.MP4"),
         QStringLiteral("video/2024.01.10/101CANON/MVI_0008_8.MP4")},
        {QStringLiteral("DCIM/IMG_0009.JPG"), QStringLiteral("photos/2024.01.11/DCIM/IMG_0009_9.JPG")},
    };
    pressStart();
    QCOMPARE(m_prompt->questions.size(), 1);
    QCOMPARE(m_prompt->questions.first(), QStringLiteral("転送元：") + card(QStringLiteral("DCIM/")) +
                                              QStringLiteral("    (CARD)\r\n転送先：(転送先フォルダ)") +
                                              formChild<QLabel>(f, "Label1")->text() +
                                              QStringLiteral("\r\n\r\n転送します。よろしいですか？"));
    QVERIFY(m_prompt->messages.isEmpty());
    QCOMPARE(formChild<QLabel>(f, "StatusLabel")->text(), QStringLiteral("全ての転送が終了"));
    QStringList want;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        QVERIFY2(QFile::exists(dest(it.value())), qPrintable(it.value()));
        QCOMPARE(hashOf(dest(it.value())), hashOf(card(it.key())));
        QVERIFY(QFile::exists(card(it.key()))); // a copy run keeps the sources
        want << it.value();
    }
    want.sort();
    QCOMPARE(filesUnder(dest()), want);
    QCOMPARE(formChild<QLabel>(f, "WorkPLabel")->text(), QStringLiteral("9"));
    QCOMPARE(formChild<QProgressBar>(f, "AllGauge")->value(), 100);
    QCOMPARE(m_app->settings().FileRenbanSpinEditValue, 10);
    QCOMPARE(m_app->settings().DirRenbanSpinEditValue, 5); // no "[RENBAN]" in the folder template: unchanged
    QVERIFY(formChild<QTimer>(f, "Timer1")->isActive());   // nothing launched: the watch is back on
}

SettingsRecord TestTransferRun::cameraFolderSettings() const
{
    SettingsRecord r = baseSettings();
    // The stored source is a folder of the user's, not a camera's; the card comes from elsewhere.
    r.SourceEditText = m_dir->createDir(QStringLiteral("chosen")) + QLatin1Char('/');
    r.DirCreateChecked = true;
    r.DirNameEditText = QStringLiteral("取込");
    r.PANA101Checked = true;
    return r;
}

void TestTransferRun::importKeepsTheCameraFolders()
{
    TMainForm *f = m_app->mainForm();
    QCOMPARE(formChild<QLineEdit>(f, "SourceEdit1")->text(), card(QStringLiteral("DCIM/")));
    QCOMPARE(m_app->settings().SourceEditText, m_dir->filePath(QStringLiteral("chosen/")));
    QCOMPARE(formChild<QLabel>(f, "FNumLabel")->text(), QStringLiteral("9"));
    m_prompt->clear();
    pressStart();

    QCOMPARE(m_prompt->questions.size(), 1);
    QVERIFY2(m_prompt->messages.isEmpty(), qPrintable(m_prompt->messages.join(u'|')));
    QCOMPARE(formChild<QLabel>(f, "StatusLabel")->text(), QStringLiteral("全ての転送が終了"));
    const QMap<QString, QString> expected{
        {QStringLiteral("DCIM/100CANON/IMG_0001.JPG"), QStringLiteral("photos/取込/100CANON/IMG_0001.JPG")},
        {QStringLiteral("DCIM/100CANON/IMG_0002.JPG"), QStringLiteral("photos/取込/100CANON/IMG_0002.JPG")},
        {QStringLiteral("DCIM/100CANON/IMG_0003.JPG"), QStringLiteral("photos/取込/100CANON/IMG_0003.JPG")},
        {QStringLiteral("DCIM/100CANON/IMG_0007.CR2"), QStringLiteral("raw/取込/100CANON/IMG_0007.CR2")},
        {QStringLiteral("DCIM/101CANON/IMG_0004.JPG"), QStringLiteral("photos/取込/101CANON/IMG_0004.JPG")},
        {QStringLiteral("DCIM/101CANON/IMG_0005.JPG"), QStringLiteral("photos/取込/101CANON/IMG_0005.JPG")},
        {QStringLiteral("DCIM/101CANON/IMG_0006.JPG"), QStringLiteral("photos/取込/101CANON/IMG_0006.JPG")},
        {QStringLiteral("DCIM/101CANON/MVI_0008.MP4"), QStringLiteral("video/取込/101CANON/MVI_0008.MP4")},
        {QStringLiteral("DCIM/IMG_0009.JPG"), QStringLiteral("photos/取込/DCIM/IMG_0009.JPG")},
    };
    QStringList want;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        QVERIFY2(QFile::exists(dest(it.value())), qPrintable(it.value()));
        QCOMPARE(hashOf(dest(it.value())), hashOf(card(it.key())));
        want << it.value();
    }
    want.sort();
    QCOMPARE(filesUnder(dest()), want);
}

void TestTransferRun::cameraFoldersForACardHandedInAtStart()
{
    // As the desktop starts the program for an inserted card: the card's folder on the command line.
    start(cameraFolderSettings(), {card()});
    importKeepsTheCameraFolders();
}

void TestTransferRun::cameraFoldersForACardFoundByTheWatch()
{
    m_volumes->remove(card());
    start(cameraFolderSettings());
    QVERIFY(formChild<QLineEdit>(m_app->mainForm(), "SourceEdit1")->text() != card(QStringLiteral("DCIM/")));
    // The card arrives: the watch makes it the source.
    m_volumes->add({card(), DriveType::Removable, true, QStringLiteral("CARD")});
    m_app->source()->mountTableChanged();
    importKeepsTheCameraFolders();
}

void TestTransferRun::moveRunRemovesTheEmptiedCameraFolders()
{
    SettingsRecord r = baseSettings();
    r.AllFileChecked = true;
    r.DelChecked = true;
    QVERIFY(QDir().mkpath(card(QStringLiteral("DCIM/102EMPTY")))); // empty before the run
    start(r);
    const QStringList before = filesUnder(card(QStringLiteral("DCIM")));
    QMap<QString, QByteArray> hashes;
    for (const QString &rel : before)
        hashes[QFileInfo(rel).fileName()] = hashOf(card(QStringLiteral("DCIM/") + rel));
    pressStart();
    QCOMPARE(formChild<QLabel>(m_app->mainForm(), "StatusLabel")->text(), QStringLiteral("全ての転送が終了"));
    QVERIFY(m_prompt->messages.isEmpty());
    for (auto it = hashes.cbegin(); it != hashes.cend(); ++it)
        QCOMPARE(hashOf(dest(QStringLiteral("all/") + it.key())), it.value());
    QVERIFY(filesUnder(card(QStringLiteral("DCIM"))).isEmpty());
    QVERIFY(!QFileInfo::exists(card(QStringLiteral("DCIM/100CANON"))));
    QVERIFY(!QFileInfo::exists(card(QStringLiteral("DCIM/101CANON"))));
    QVERIFY(QFileInfo(card(QStringLiteral("DCIM"))).isDir());          // the source itself stays
    QVERIFY(QFileInfo(card(QStringLiteral("DCIM/102EMPTY"))).isDir()); // the move did not empty it
    QVERIFY(QFile::exists(card(QStringLiteral("MISC/readme.txt"))));
}

void TestTransferRun::cancelledMoveRemovesNothingAndResetsCounters()
{
    SettingsRecord r = baseSettings();
    r.DelChecked = true;
    r.RenameChecked = true;
    r.FileNameEditText = QStringLiteral("[RENBAN]");
    r.FileRenbanSpinEditValue = 7;
    r.DirRenbanSpinEditValue = 3;
    r.RenbanResetChecked = true;
    // A big first file, so the cancel lands in the middle of its copy.
    m_dir->createFile(QStringLiteral("card/DCIM/100CANON/AAA_BIG.JPG"), QByteArray(64 * 1024 * 1024, 'b'));
    start(r);
    const QStringList before = filesUnder(card());
    TMainForm *f = m_app->mainForm();
    QTimer::singleShot(
        0, f, [f] { QTest::mouseClick(formChild<QPushButton>(f, "CancelTransferBitBtn"), Qt::LeftButton); });
    pressStart();
    QCOMPARE(formChild<QLabel>(f, "StatusLabel")->text(), QStringLiteral("転送はキャンセルされました"));
    QCOMPARE(filesUnder(card()), before);  // nothing moved, no folder removed
    QVERIFY(filesUnder(dest()).isEmpty()); // no partial file
    QCOMPARE(m_app->settings().FileRenbanSpinEditValue, 1);
    QCOMPARE(m_app->settings().DirRenbanSpinEditValue, 1);
}

void TestTransferRun::refusals()
{
    SettingsRecord r = baseSettings();
    start(r);
    TMainForm *f = m_app->mainForm();

    // Declined confirmation: nothing happens.
    m_prompt->answers.enqueue(false);
    pressStart();
    QCOMPARE(m_prompt->questions.size(), 1);
    QVERIFY(filesUnder(dest()).isEmpty());

    // The card does not answer.
    m_prompt->clear();
    m_volumes->setReady(card(), false);
    pressStart();
    QCOMPARE(m_prompt->messages,
             QStringList{QStringLiteral("転送元：") + card(QStringLiteral("DCIM/")) +
                         QStringLiteral("\r\n\r\nメモリーカードが挿入されていないか、アクセスできません。")});
    QVERIFY(m_prompt->questions.isEmpty());
    m_volumes->setReady(card(), true);

    // An empty source fails the drive test too.
    m_prompt->clear();
    formChild<QLineEdit>(f, "SourceEdit1")->setText(QString());
    pressStart();
    QCOMPARE(m_prompt->messages.size(), 1);
    QVERIFY(m_prompt->messages.first().endsWith(
        QStringLiteral("メモリーカードが挿入されていないか、アクセスできません。")));

    // A count of 0.
    m_prompt->clear();
    m_app->source()->CountSourceFiles(m_dir->createDir(QStringLiteral("empty")));
    QCOMPARE(m_app->source()->shownFileCount(), 0);
    pressStart();
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("転送できるファイルがありません(0個)")});
    QVERIFY(m_prompt->questions.isEmpty());
    QVERIFY(filesUnder(dest()).isEmpty());
}

void TestTransferRun::twoMissingDestinationsFirstCreatedSecondDeclined()
{
    SettingsRecord r = baseSettings();
    r.type(u"JPG").dir = r.type(u"JPG").aliasDir = dest(QStringLiteral("new-photos/"));
    r.type(u"CR2").dir = dest(QStringLiteral("new-raw/"));
    QDir().mkpath(r.type(u"JPG").dir);
    QDir().mkpath(r.type(u"CR2").dir);
    start(r);
    // Gone after the start-up (which gives rows of missing folders the pictures folder).
    QVERIFY(QDir(r.type(u"JPG").dir).removeRecursively());
    QVERIFY(QDir(r.type(u"CR2").dir).removeRecursively());
    for (bool a : {true, true, false}) // confirm the run, create the first, decline the second
        m_prompt->answers.enqueue(a);
    pressStart();
    QCOMPARE(m_prompt->questions.size(), 3);
    QCOMPARE(m_prompt->questions.at(1), QStringLiteral("転送先のフォルダ[") +
                                            dest(QStringLiteral("new-photos/")) +
                                            QStringLiteral("]がありませんが作成しますか？"));
    QCOMPARE(m_prompt->messages,
             QStringList{QStringLiteral("転送先のフォルダ[") + dest(QStringLiteral("new-raw/")) +
                         QStringLiteral("]が存在しないため転送できません")});
    QVERIFY(QFileInfo(dest(QStringLiteral("new-photos"))).isDir());
    QVERIFY(!QFileInfo::exists(dest(QStringLiteral("new-raw"))));
    QVERIFY(filesUnder(dest()).isEmpty());
    QVERIFY(formChild<QLabel>(m_app->mainForm(), "StatusLabel")->text().isEmpty());
}

void TestTransferRun::emptyRunListThoughTheCountWasNotZero()
{
    start(baseSettings());
    TMainForm *f = m_app->mainForm();
    QCOMPARE(formChild<QLabel>(f, "FNumLabel")->text(), QStringLiteral("9"));
    QDir(card(QStringLiteral("DCIM/100CANON"))).removeRecursively();
    QDir(card(QStringLiteral("DCIM/101CANON"))).removeRecursively();
    QFile::remove(card(QStringLiteral("DCIM/IMG_0009.JPG")));
    formChild<QTimer>(f, "Timer1")->stop();
    pressStart();
    QVERIFY(formChild<QLabel>(f, "StatusLabel")->text().isEmpty());
    QVERIFY(m_prompt->messages.isEmpty());
    QVERIFY(formChild<QTimer>(f, "Timer1")->isActive());
}

void TestTransferRun::afterTransferLaunchPassesTheFolderWhole()
{
    SettingsRecord r = baseSettings();
    r.type(u"JPG").checked = true;
    r.type(u"CR2").checked = r.type(u"MP4").checked = false;
    r.type(u"JPG").dir = r.type(u"JPG").aliasDir = dest(QStringLiteral("my photos/2024 trip/"));
    QDir().mkpath(r.type(u"JPG").dir);
    r.ExecChecked = true;
    r.ExecEditText = m_recorder;
    r.ParamRadioGroupIndex = 0;
    start(r);
    TMainForm *f = m_app->mainForm();
    QVERIFY(formChild<QPushButton>(f, "ExecTestButton")->isEnabled());
    pressStart();
    QCOMPARE(formChild<QLabel>(f, "StatusLabel")->text(), QStringLiteral("全ての転送が終了"));
    bool ran = false;
    QCOMPARE(launchedArguments(&ran), QStringList{dest(QStringLiteral("my photos/2024 trip"))});
    QVERIFY(ran);
    QVERIFY(!formChild<QTimer>(f, "Timer1")->isActive()); // after a launch the watch stays off
}

void TestTransferRun::afterTransferLaunchVariants()
{
    SettingsRecord r = baseSettings();
    r.type(u"CR2").checked = r.type(u"MP4").checked = false;
    r.ExecChecked = true;
    r.ExecEditText = m_recorder;
    r.ParamRadioGroupIndex = 1;
    start(r);
    TMainForm *f = m_app->mainForm();

    // "無し": started without any argument.
    pressStart();
    bool ran = false;
    QCOMPARE(launchedArguments(&ran), QStringList{});
    QVERIFY(ran);
    QFile::remove(m_recorded);

    // The test button with "付与": the first row's folder, after its message.
    formChild<RadioGroup>(f, "ParamRadioGroup")->setItemIndex(0);
    QCOMPARE(m_app->settings().ParamRadioGroupIndex, 0);
    m_prompt->clear();
    QTest::mouseClick(formChild<QPushButton>(f, "ExecTestButton"), Qt::LeftButton);
    QCOMPARE(m_prompt->messages,
             QStringList{QStringLiteral("実行イメージ(フォルダをパラメータとして渡す)\r\n") + m_recorder +
                         QLatin1Char(' ') + dest(QStringLiteral("photos"))});
    QCOMPARE(launchedArguments(), QStringList{dest(QStringLiteral("photos"))});
    QFile::remove(m_recorded);
    // No folder (a run that stopped before its first file) gives no argument, not an empty one.
    QCOMPARE(AfterTransferApp::folderArguments(QString()), QStringList{});
    QCOMPARE(AfterTransferApp::folderArguments(QStringLiteral("/")), QStringList{QStringLiteral("/")});
    QCOMPARE(AfterTransferApp::folderArguments(QStringLiteral("/a b/")), QStringList{QStringLiteral("/a b")});

    // A missing program: nothing starts, the watch comes back on.
    formChild<QLineEdit>(f, "ExecEdit")->setText(m_dir->filePath(QStringLiteral("bin/missing")));
    formChild<QTimer>(f, "Timer1")->stop();
    QDir(dest(QStringLiteral("photos"))).removeRecursively();
    QDir().mkpath(dest(QStringLiteral("photos")));
    pressStart();
    QCOMPARE(formChild<QLabel>(f, "StatusLabel")->text(), QStringLiteral("全ての転送が終了"));
    QVERIFY(formChild<QTimer>(f, "Timer1")->isActive());
    QVERIFY(!QTest::qWaitFor([&] { return QFile::exists(m_recorded); }, 500));

    // Close after the launch: the window closes and the settings are saved.
    formChild<QLineEdit>(f, "ExecEdit")->setText(m_recorder);
    formChild<QCheckBox>(f, "ExecCloseCheckBox")->setChecked(true);
    QDir(dest(QStringLiteral("photos"))).removeRecursively();
    QDir().mkpath(dest(QStringLiteral("photos")));
    QFile::remove(RegistryStore().filePath(RegistryRoot::CurrentUser));
    pressStart();
    QVERIFY(!f->isVisible());
    RegistryStore store;
    QCOMPARE(store.readDword(RegistryRoot::CurrentUser, settingsKeyPath(), QStringLiteral("ExecCloseChecked"))
                 .value_or(0),
             1u);
    QCOMPARE(launchedArguments(), QStringList{dest(QStringLiteral("photos"))});
}

void TestTransferRun::secondStartIgnoredAndCloseDuringARunFinishesIt()
{
    SettingsRecord r = baseSettings();
    m_dir->createFile(QStringLiteral("card/DCIM/100CANON/AAA_BIG.JPG"), QByteArray(64 * 1024 * 1024, 'b'));
    start(r);
    TMainForm *f = m_app->mainForm();
    const QString settingsFile = RegistryStore().filePath(RegistryRoot::CurrentUser);
    QFile::remove(settingsFile);
    bool savedAtOnce = false;
    bool stillOpen = false;
    int questionsDuringRun = -1;
    QTimer::singleShot(0, f, [&] {
        QTest::mouseClick(formChild<QPushButton>(f, "StartTransferBitBtn"), Qt::LeftButton); // ignored
        questionsDuringRun = int(m_prompt->questions.size());
        f->close();
        savedAtOnce = QFile::exists(settingsFile);
        stillOpen = f->isVisible();
    });
    pressStart();
    QCOMPARE(questionsDuringRun, 1);
    QVERIFY(savedAtOnce);
    QVERIFY(stillOpen);
    QCOMPARE(m_prompt->questions.size(), 1); // no second question
    QCOMPARE(formChild<QLabel>(f, "StatusLabel")->text(), QStringLiteral("全ての転送が終了"));
    QCOMPARE(filesUnder(dest(QStringLiteral("photos"))).size(), 8); // the run went to its end
    QVERIFY(!f->isVisible());                                       // and then the window closed
}

QTEST_MAIN(TestTransferRun)
#include "tst_transferrun.moc"
