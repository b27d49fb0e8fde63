#include "app/aftertransferapp.h"
#include "app/transferrun.h"
#include "formchild.h"
#include "naming/nametemplate.h"
#include "platform/registrystore.h"
#include "runwindow.h"
#include "settings/settingsstore.h"
#include "source/widgets/sourcecontroller.h"
#include "ui/radiogroup.h"
#include "ui/teditform.h"

#include "../transfer/transferfixture.h"

#include <QCheckBox>
#include <QCryptographicHash>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>

using namespace vantora;
using vantora::test::filesUnder;
using vantora::test::formChild;

namespace {

QByteArray hashOf(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

} // namespace

// Whole imports through the real main window, the prompt answered by the test.
class TestTransferRun : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup() { m_run.finish(); }
    void clockOffsetNamedAndApplied();
    void copyRunFromTheDemoCard();
    void valuesKeptByTheTemplateDialogsCloseBoxNameTheRun();
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
    // Stores the settings, starts the program's windows with the card as a mounted volume; what they
    // said while starting is dropped.
    void start(const SettingsRecord &record, const QStringList &arguments = {});
    // Runs a whole import of the demo card, shown as the source though another folder is stored, and
    // checks that every file lands in the created folder's camera sub-folder.
    void importKeepsTheCameraFolders();
    SettingsRecord baseSettings() const;
    SettingsRecord cameraFolderSettings() const;
    QString card(const QString &relative = QString()) const { return m_run.card(relative); }
    QString dest(const QString &relative = QString()) const { return m_run.dest(relative); }
    void pressStart() { m_run.pressStart(); }
    QStringList launchedArguments(bool *ran = nullptr);

    test::WindowRun m_run;
    QString m_recorder;
    QString m_recorded;
};

void TestTransferRun::initTestCase()
{
    QVERIFY(QFile::exists(test::sourceDir() + QLatin1String("/scripts/make-demo-card")));
}

void TestTransferRun::init()
{
    m_run.prepare();
    m_run.volumes().add(
        {m_run.dir().filePath(QStringLiteral("sys")), DriveType::Fixed, true, QStringLiteral("SYSTEM")});

    // A program that records its arguments, one per line.
    m_recorded = m_run.dir().filePath(QStringLiteral("args.txt"));
    m_recorder = m_run.dir().createFile(
        QStringLiteral("bin/record-args"),
        QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '%1.tmp'\n"
                       "mv '%1.tmp' '%1'\n")
            .arg(m_recorded)
            .toUtf8());
    QFile::setPermissions(m_recorder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
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
    m_run.start(record, arguments);
    m_run.prompt().clear();
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

// The offset typed beside the shot box is named in the confirmation and moves the photo's own date.
void TestTransferRun::clockOffsetNamedAndApplied()
{
    SettingsRecord r = baseSettings();
    test::nameByShootingDate(r, 1);
    start(r);
    formChild<QSpinBox>(m_run.form(), "ClockOffsetSpinEdit")->setValue(-1440);
    pressStart();
    QCOMPARE(m_run.prompt().questions.size(), 1);
    QVERIFY2(m_run.prompt().questions.first().endsWith(
                 QStringLiteral("\r\n撮影日時の補正：-1440分\r\n\r\n転送します。よろしいですか？")),
             qPrintable(m_run.prompt().questions.first()));
    QVERIFY(QFile::exists(dest(QStringLiteral("photos/2024.01.08/100CANON/IMG_0001_1.JPG"))));
}

void TestTransferRun::copyRunFromTheDemoCard()
{
    SettingsRecord r = baseSettings();
    test::nameByShootingDate(r, 1);
    r.DirRenbanSpinEditValue = 5;
    start(r);
    TMainForm *f = m_run.form();
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
    QCOMPARE(m_run.prompt().questions.size(), 1);
    QCOMPARE(m_run.prompt().questions.first(), QStringLiteral("転送元：") + card(QStringLiteral("DCIM/")) +
                                                   QStringLiteral("    (CARD)\r\n転送先：(転送先フォルダ)") +
                                                   formChild<QLabel>(f, "Label1")->text() +
                                                   QStringLiteral("\r\n\r\n転送します。よろしいですか？"));
    QVERIFY(m_run.prompt().messages.isEmpty());
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
    QCOMPARE(m_run.app().settings().FileRenbanSpinEditValue, 10);
    QCOMPARE(m_run.app().settings().DirRenbanSpinEditValue,
             5);                                         // no "[RENBAN]" in the folder template: unchanged
    QVERIFY(formChild<QTimer>(f, "Timer1")->isActive()); // nothing launched: the watch is back on
}

void TestTransferRun::valuesKeptByTheTemplateDialogsCloseBoxNameTheRun()
{
    SettingsRecord r = baseSettings();
    r.DirCreateChecked = true;
    r.DirNameEditText = QStringLiteral("[RENBAN]_[yyyymmdd]");
    start(r);
    // Typed into the folder name dialog, which is then closed with its close box: in force, not confirmed.
    TEditForm *edit = m_run.app().editForm();
    QTimer::singleShot(0, edit, [edit] {
        QTRY_VERIFY(edit->isVisible());
        edit->DirRenbanSpinEdit->selectAll();
        QTest::keyClick(edit->DirRenbanSpinEdit, Qt::Key_5);
        QTest::keyClicks(edit->sDayEdit, QStringLiteral("."));
        edit->close();
    });
    QTest::mouseClick(formChild<QPushButton>(m_run.form(), "BitBtn14"), Qt::LeftButton);
    QVERIFY(!edit->isVisible());

    const QDate day = QDate::currentDate();
    const QString folder = QStringLiteral("5_") + FormatTemplateDate(day, QStringLiteral("."));
    pressStart();
    if (QDate::currentDate() != day)
        QSKIP("the date changed during the run");
    QVERIFY(m_run.prompt().questions.value(0).contains(u'/' + folder + u'/'));
    QStringList want;
    for (const char *name : {"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG", "IMG_0004.JPG", "IMG_0005.JPG",
                             "IMG_0006.JPG", "IMG_0009.JPG"})
        want << QStringLiteral("photos/") + folder + u'/' + QLatin1String(name);
    want << QStringLiteral("raw/") + folder + QStringLiteral("/IMG_0007.CR2")
         << QStringLiteral("video/") + folder + QStringLiteral("/MVI_0008.MP4");
    want.sort();
    QCOMPARE(filesUnder(dest()), want);
    QCOMPARE(edit->DirRenbanSpinEdit->value(), 6);
    m_run.close();
    RegistryStore store;
    SettingsRecord stored = SettingsRecord::defaults();
    QCOMPARE(LoadSettings(store, stored), LoadOutcome::Complete);
    QCOMPARE(stored.DirRenbanSpinEditValue, 6);
    QCOMPARE(stored.sDayEditText, QString()); // never confirmed
}

SettingsRecord TestTransferRun::cameraFolderSettings() const
{
    SettingsRecord r = baseSettings();
    // The stored source is a folder of the user's, not a camera's; the card comes from elsewhere.
    r.SourceEditText = m_run.dir().createDir(QStringLiteral("chosen")) + QLatin1Char('/');
    r.DirCreateChecked = true;
    r.DirNameEditText = QStringLiteral("取込");
    r.PANA101Checked = true;
    return r;
}

void TestTransferRun::importKeepsTheCameraFolders()
{
    TMainForm *f = m_run.form();
    QCOMPARE(formChild<QLineEdit>(f, "SourceEdit1")->text(), card(QStringLiteral("DCIM/")));
    QCOMPARE(m_run.app().settings().SourceEditText, m_run.dir().filePath(QStringLiteral("chosen/")));
    QCOMPARE(formChild<QLabel>(f, "FNumLabel")->text(), QStringLiteral("9"));
    m_run.prompt().clear();
    pressStart();

    QCOMPARE(m_run.prompt().questions.size(), 1);
    QVERIFY2(m_run.prompt().messages.isEmpty(), qPrintable(m_run.prompt().messages.join(u'|')));
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
    m_run.volumes().remove(card());
    start(cameraFolderSettings());
    QVERIFY(formChild<QLineEdit>(m_run.form(), "SourceEdit1")->text() != card(QStringLiteral("DCIM/")));
    // The card arrives: the watch makes it the source.
    m_run.volumes().add({card(), DriveType::Removable, true, QStringLiteral("CARD")});
    m_run.app().source()->mountTableChanged();
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
    QCOMPARE(formChild<QLabel>(m_run.form(), "StatusLabel")->text(), QStringLiteral("全ての転送が終了"));
    QVERIFY(m_run.prompt().messages.isEmpty());
    for (auto it = hashes.cbegin(); it != hashes.cend(); ++it)
        QCOMPARE(hashOf(dest(QStringLiteral("all/") + it.key())), it.value());
    QVERIFY(filesUnder(card(QStringLiteral("DCIM"))).isEmpty());
    QVERIFY(!QFileInfo::exists(card(QStringLiteral("DCIM/100CANON"))));
    QVERIFY(!QFileInfo::exists(card(QStringLiteral("DCIM/101CANON"))));
    QVERIFY(QFileInfo(card(QStringLiteral("DCIM"))).isDir());           // the source itself stays
    QVERIFY(!QFileInfo::exists(card(QStringLiteral("DCIM/102EMPTY")))); // every empty folder goes
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
    m_run.addBigFirstFile();
    start(r);
    const QStringList before = filesUnder(card());
    TMainForm *f = m_run.form();
    m_run.cancelOnceStarted();
    pressStart();
    QCOMPARE(formChild<QLabel>(f, "StatusLabel")->text(), QStringLiteral("転送はキャンセルされました"));
    QCOMPARE(filesUnder(card()), before);  // nothing moved, no folder removed
    QVERIFY(filesUnder(dest()).isEmpty()); // no partial file
    QCOMPARE(m_run.app().settings().FileRenbanSpinEditValue, 1);
    QCOMPARE(m_run.app().settings().DirRenbanSpinEditValue, 1);
}

void TestTransferRun::refusals()
{
    SettingsRecord r = baseSettings();
    start(r);

    // Declined confirmation: nothing happens.
    m_run.prompt().answers.enqueue(false);
    pressStart();
    QCOMPARE(m_run.prompt().questions.size(), 1);
    QVERIFY(filesUnder(dest()).isEmpty());

    // The card does not answer.
    m_run.prompt().clear();
    m_run.volumes().setReady(card(), false);
    pressStart();
    QCOMPARE(m_run.prompt().messages,
             QStringList{QStringLiteral("転送元：") + card(QStringLiteral("DCIM/")) +
                         QStringLiteral("\r\n\r\nメモリーカードが挿入されていないか、アクセスできません。")});
    QVERIFY(m_run.prompt().questions.isEmpty());
    m_run.volumes().setReady(card(), true);

    // An empty source fails the drive test too.
    m_run.prompt().clear();
    m_run.app().state().setSourceFolder(QString());
    pressStart();
    QCOMPARE(m_run.prompt().messages.size(), 1);
    QVERIFY(m_run.prompt().messages.first().endsWith(
        QStringLiteral("メモリーカードが挿入されていないか、アクセスできません。")));

    // A count of 0.
    m_run.prompt().clear();
    m_run.app().source()->CountSourceFiles(m_run.dir().createDir(QStringLiteral("empty")));
    QCOMPARE(m_run.app().source()->shownFileCount(), 0);
    pressStart();
    QCOMPARE(m_run.prompt().messages, QStringList{QStringLiteral("転送できるファイルがありません(0個)")});
    QVERIFY(m_run.prompt().questions.isEmpty());
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
        m_run.prompt().answers.enqueue(a);
    pressStart();
    QCOMPARE(m_run.prompt().questions.size(), 3);
    QCOMPARE(m_run.prompt().questions.at(1), QStringLiteral("転送先のフォルダ[") +
                                                 dest(QStringLiteral("new-photos/")) +
                                                 QStringLiteral("]がありませんが作成しますか？"));
    QCOMPARE(m_run.prompt().messages,
             QStringList{QStringLiteral("転送先のフォルダ[") + dest(QStringLiteral("new-raw/")) +
                         QStringLiteral("]が存在しないため転送できません")});
    QVERIFY(QFileInfo(dest(QStringLiteral("new-photos"))).isDir());
    QVERIFY(!QFileInfo::exists(dest(QStringLiteral("new-raw"))));
    QVERIFY(filesUnder(dest()).isEmpty());
    QVERIFY(formChild<QLabel>(m_run.form(), "StatusLabel")->text().isEmpty());
}

void TestTransferRun::emptyRunListThoughTheCountWasNotZero()
{
    start(baseSettings());
    TMainForm *f = m_run.form();
    QCOMPARE(formChild<QLabel>(f, "FNumLabel")->text(), QStringLiteral("9"));
    QDir(card(QStringLiteral("DCIM/100CANON"))).removeRecursively();
    QDir(card(QStringLiteral("DCIM/101CANON"))).removeRecursively();
    QFile::remove(card(QStringLiteral("DCIM/IMG_0009.JPG")));
    formChild<QTimer>(f, "Timer1")->stop();
    pressStart();
    QVERIFY(formChild<QLabel>(f, "StatusLabel")->text().isEmpty());
    QVERIFY(m_run.prompt().messages.isEmpty());
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
    TMainForm *f = m_run.form();
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
    TMainForm *f = m_run.form();

    // "無し": started without any argument.
    pressStart();
    bool ran = false;
    QCOMPARE(launchedArguments(&ran), QStringList{});
    QVERIFY(ran);
    QFile::remove(m_recorded);

    // The test button with "付与": the first row's folder, after its message.
    formChild<RadioGroup>(f, "ParamRadioGroup")->setItemIndex(0);
    QCOMPARE(m_run.app().settings().ParamRadioGroupIndex, 0);
    m_run.prompt().clear();
    QTest::mouseClick(formChild<QPushButton>(f, "ExecTestButton"), Qt::LeftButton);
    QCOMPARE(m_run.prompt().messages,
             QStringList{QStringLiteral("実行イメージ(フォルダをパラメータとして渡す)\r\n") + m_recorder +
                         QLatin1Char(' ') + dest(QStringLiteral("photos"))});
    QCOMPARE(launchedArguments(), QStringList{dest(QStringLiteral("photos"))});
    QFile::remove(m_recorded);
    // No folder (a run that stopped before its first file) gives no argument, not an empty one.
    QCOMPARE(AfterTransferApp::folderArguments(QString()), QStringList{});
    QCOMPARE(AfterTransferApp::folderArguments(QStringLiteral("/")), QStringList{QStringLiteral("/")});
    QCOMPARE(AfterTransferApp::folderArguments(QStringLiteral("/a b/")), QStringList{QStringLiteral("/a b")});

    // A missing program: nothing starts, the watch comes back on.
    formChild<QLineEdit>(f, "ExecEdit")->setText(m_run.dir().filePath(QStringLiteral("bin/missing")));
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
    m_run.addBigFirstFile();
    start(r);
    TMainForm *f = m_run.form();
    const QString settingsFile = RegistryStore().filePath(RegistryRoot::CurrentUser);
    QFile::remove(settingsFile);
    bool savedAtOnce = false;
    bool stillOpen = false;
    int questionsDuringRun = -1;
    QTimer::singleShot(0, f, [&] {
        QTest::mouseClick(formChild<QPushButton>(f, "StartTransferBitBtn"), Qt::LeftButton); // ignored
        questionsDuringRun = int(m_run.prompt().questions.size());
        f->close();
        savedAtOnce = QFile::exists(settingsFile);
        stillOpen = f->isVisible();
    });
    pressStart();
    QCOMPARE(questionsDuringRun, 1);
    QVERIFY(savedAtOnce);
    QVERIFY(stillOpen);
    QCOMPARE(m_run.prompt().questions.size(), 1); // no second question
    QCOMPARE(formChild<QLabel>(f, "StatusLabel")->text(), QStringLiteral("全ての転送が終了"));
    QCOMPARE(filesUnder(dest(QStringLiteral("photos"))).size(), 8); // the run went to its end
    QVERIFY(!f->isVisible());                                       // and then the window closed
}

QTEST_MAIN(TestTransferRun)
#include "tst_transferrun.moc"
