#include "mounthelper.h"
#include "platform/copyfile.h"
#include "samplefiles.h"
#include "settings/settingsrecord.h"
#include "testdir.h"
#include "testprompt.h"
#include "transfer/copyprogress.h"
#include "transfer/destination.h"
#include "transfer/memorytransferview.h"
#include "transfer/shootingdate.h"
#include "transfer/transferloop.h"
#include "transfer/transferstate.h"
#include "transferfixture.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTimeZone>

using namespace vantora;
using namespace vantora::test;

namespace {

// A run that creates the folder `name` in each row's folder; below it the camera folders of a source
// ending in "DCIM/".
SettingsRecord createdFolderSettings(const QString &source, const QString &name)
{
    SettingsRecord s = plainSettings(source);
    s.DirCreateChecked = true;
    s.DirNameEditText = name;
    s.PANA101Checked = true;
    return s;
}

} // namespace

class TestTransfer final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void clockOffsetMovesMetadataDates_data();
    void clockOffsetMovesMetadataDates();
    void shotsKeepOneName_data();
    void shotsKeepOneName();
    void shotOfAMoveGoesWhole();

    void progressRules_data();
    void progressRules();
    void cancelCopyDropsGauges();
    void gaugeRounding_data();
    void gaugeRounding();
    void dcimSourceFolder_data();
    void dcimSourceFolder();

    void workedExample();
    void cameraModeFolders();
    void allFilesModeReadsFolderOnce();
    void wildcardFreeExtensionRoutedByMask();
    void ensureFolderOneLevel();
    void unsafeNameRefused();

    void plainCopy();
    void clashGivesFreeName();
    void overwriteReplacesAndCounts();
    void lockedSourceNotDeleted();
    void moveDeletesSources();
    void moveKeepsSourceOfVanishedCopy();
    void moveOntoItselfThroughSecondPath();
    void laterCopyTakesNameOfMovedSource();
    void cancelDuringThirdFile();
    void cancelAtEndOfCopy();
    void diskFullOnFourthFile_data();
    void diskFullOnFourthFile();
    void otherErrorStopsRun();
    void runningNumbers();
    void folderNumberAdvancesOncePerRun();
    void gaugeHeldAt100();
    void secondStartIgnored();
    void demoCardByShootingDate();

    void shootingDates();
    void shootingDateOfVideo();
    void metadataDateText_data();
    void metadataDateText();

private:
    IsolatedHome m_home;
};

void TestTransfer::progressRules_data()
{
    QTest::addColumn<quint64>("total");
    QTest::addColumn<QList<quint64>>("calls");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QList<int>>("bar");
    const quint64 mb = 1000 * 1000;
    QTest::newRow("empty file") << quint64(0) << QList<quint64>{0} << QStringLiteral("コピーしています")
                                << QList<int>{};
    QTest::newRow("10 MB in chunks") << 10 * mb << QList<quint64>{mb,     25 * mb / 10, 3 * mb, 5 * mb,
                                                                  7 * mb, 75 * mb / 10, 10 * mb}
                                     << QStringLiteral("コピーしています") << QList<int>{25, 50, 75, 100};
    QTest::newRow("at the threshold") << quint64(PercentDisplayThreshold)
                                      << QList<quint64>{PercentDisplayThreshold / 2, PercentDisplayThreshold}
                                      << QStringLiteral("コピーしています") << QList<int>{50, 100};
    QTest::newRow("100 MB") << 100 * mb << QList<quint64>{mb, mb + 5, 42 * mb, 42 * mb + 1, 100 * mb}
                            << QStringLiteral("コピーしています 100%") << QList<int>{1, 42, 100};
}

void TestTransfer::progressRules()
{
    QFETCH(quint64, total);
    QFETCH(QList<quint64>, calls);
    QFETCH(QString, status);
    QFETCH(QList<int>, bar);
    MemoryTransferView view;
    view.runEventLoop = false;
    FileProgress progress;
    for (quint64 done : calls)
        ReportCopyProgress(view, progress, total, done);
    QCOMPARE(view.status, status);
    QCOMPARE(view.progressHistory, bar);
    QCOMPARE(view.pumps, calls.size());
    if (total > PercentDisplayThreshold)
        QCOMPARE(view.statusHistory.at(2), QStringLiteral("コピーしています 42%"));
}

void TestTransfer::cancelCopyDropsGauges()
{
    TransferState state;
    MemoryTransferView view;
    view.progress = 60;
    view.overall = 40;
    CancelCopy(state, view);
    QVERIFY(state.CancelRequested);
    QCOMPARE(view.progress, 0);
    QCOMPARE(view.overall, 0);
}

void TestTransfer::gaugeRounding_data()
{
    QTest::addColumn<qint64>("worked");
    QTest::addColumn<qint64>("target");
    QTest::addColumn<int>("percent");
    QTest::newRow("1 of 8: 12.5 to even") << qint64(1) << qint64(8) << 12;
    QTest::newRow("3 of 8: 37.5 to even") << qint64(3) << qint64(8) << 38;
    QTest::newRow("1 of 3") << qint64(1) << qint64(3) << 33;
    QTest::newRow("2 of 3") << qint64(2) << qint64(3) << 67;
    QTest::newRow("1 of 200: 0.5 to even") << qint64(1) << qint64(200) << 0;
    QTest::newRow("3 of 200: 1.5 to even") << qint64(3) << qint64(200) << 2;
    QTest::newRow("5 of 4 held at 100") << qint64(5) << qint64(4) << 100;
    QTest::newRow("count of 0") << qint64(1) << qint64(0) << 100;
}

void TestTransfer::gaugeRounding()
{
    QFETCH(qint64, worked);
    QFETCH(qint64, target);
    QFETCH(int, percent);
    QCOMPARE(OverallGaugePercent(worked, target), percent);
}

void TestTransfer::dcimSourceFolder_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("dcim");
    QTest::newRow("trailing slash") << QStringLiteral("/media/card/DCIM/") << true;
    QTest::newRow("no trailing slash") << QStringLiteral("/media/card/DCIM") << false;
    QTest::newRow("lower case") << QStringLiteral("/media/card/dcim/") << false;
    QTest::newRow("camera folder") << QStringLiteral("/media/card/DCIM/100PANA/") << false;
    QTest::newRow("empty") << QString() << false;
}

void TestTransfer::dcimSourceFolder()
{
    QFETCH(QString, text);
    QFETCH(bool, dcim);
    QCOMPARE(IsDcimSourceFolder(text), dcim);
}

void TestTransfer::workedExample()
{
    TestDir dir;
    TestPrompt prompt;
    const QString card = dir.createDir(QStringLiteral("E/DCIM")) + QLatin1Char('/');
    const QString photo = writeTaggedJpeg(card + QStringLiteral("100PANA/P1000123.JPG"),
                                          QStringLiteral("Exif.Photo.DateTimeOriginal 2017:03:05 09:08:07"));
    QVERIFY(!photo.isEmpty());
    const QString photos = dir.createDir(QStringLiteral("D/Photos"));
    SettingsRecord s = plainSettings(card);
    nameByShootingDate(s, 12);
    TransferState state;
    TakeOptionSnapshot(state, s);
    QVERIFY(state.options.CameraFolderMode && state.options.ShootingDateFolderMode);
    const ExtensionRows table{{QStringLiteral("*.JPG"), photos + QLatin1Char('/')}};
    QCOMPARE(ResolveDestination(state, table, photo),
             photos + QStringLiteral("/2017.03.05/100PANA/P1000123_12.JPG"));
    QVERIFY(QFileInfo(photos + QStringLiteral("/2017.03.05/100PANA")).isDir());
    QCOMPARE(state.folderCache.createdFolder, photos + QStringLiteral("/2017.03.05/"));
    QCOMPARE(state.folderCache.cameraFolder, photos + QStringLiteral("/2017.03.05/100PANA"));
    QVERIFY(prompt.messages.isEmpty());

    // The whole run writes the file there and advances the file number.
    MemoryTransferView view;
    const TransferOutcome outcome = RunShown(state, {photo}, 1, table, s, view);
    StoreRunningNumbers(outcome, s);
    QVERIFY(outcome);
    QVERIFY(QFileInfo::exists(photos + QStringLiteral("/2017.03.05/100PANA/P1000123_12.JPG")));
    QCOMPARE(state.FirstDestinationFolder, photos + QStringLiteral("/2017.03.05/100PANA"));
    QCOMPARE(s.FileRenbanSpinEditValue, 13);
    QCOMPARE(view.fileNames, QStringList{QStringLiteral("P1000123_12.JPG")});
}

void TestTransfer::cameraModeFolders()
{
    TestDir dir;
    TestPrompt prompt;
    const QString card = dir.createDir(QStringLiteral("card/DCIM")) + QLatin1Char('/');
    const QString a = dir.createFile(QStringLiteral("card/DCIM/100PANA/A.JPG"));
    const QString b = dir.createFile(QStringLiteral("card/DCIM/101PANA/B.JPG"));
    const QString c = dir.createFile(QStringLiteral("card/DCIM/C.JPG"));
    const QString m = dir.createFile(QStringLiteral("card/DCIM/100PANA/M.MOV"));
    const QString pics = dir.createDir(QStringLiteral("pics"));
    const QString vids = dir.createDir(QStringLiteral("vids"));
    const SettingsRecord s = createdFolderSettings(card, QStringLiteral("trip"));
    const ExtensionRows table{{QStringLiteral("*.JPG"), pics},
                              {QStringLiteral("*.MOV"), vids + QLatin1Char('/')}};
    MemoryTransferView view;
    TransferState state;
    QVERIFY(RunShown(state, {a, m, b, c}, 4, table, s, view));
    QCOMPARE(filesUnder(pics),
             QStringList({QStringLiteral("trip/100PANA/A.JPG"), QStringLiteral("trip/101PANA/B.JPG"),
                          QStringLiteral("trip/DCIM/C.JPG")}));
    QCOMPARE(filesUnder(vids), QStringList{QStringLiteral("trip/100PANA/M.MOV")});
    QCOMPARE(state.FirstDestinationFolder, pics + QStringLiteral("/trip/100PANA"));
    QVERIFY(prompt.messages.isEmpty());

    // Without camera mode (no "/" after DCIM) the created folder takes every file directly.
    TestDir dir2;
    const QString src2 = dir2.createDir(QStringLiteral("DCIM"));
    const QString f = dir2.createFile(QStringLiteral("DCIM/100PANA/F.JPG"));
    const QString out = dir2.createDir(QStringLiteral("out"));
    const SettingsRecord s2 = createdFolderSettings(src2, QStringLiteral("x"));
    TransferState state2;
    QVERIFY(RunShown(state2, {f}, 4, {{QStringLiteral("*.jpg"), out}}, s2, view));
    QCOMPARE(filesUnder(out), QStringList{QStringLiteral("x/F.JPG")});
}

void TestTransfer::allFilesModeReadsFolderOnce()
{
    TestDir dir;
    TestPrompt prompt;
    const QString a = dir.createFile(QStringLiteral("src/a.jpg"));
    const QString b = dir.createFile(QStringLiteral("src/b.xyz"));
    const QString all = dir.createDir(QStringLiteral("all"));
    const QString other = dir.createDir(QStringLiteral("other"));
    SettingsRecord s = plainSettings(dir.filePath(QStringLiteral("src/")));
    s.AllFileChecked = true;
    TransferState state;
    TakeOptionSnapshot(state, s);
    ExtensionRows table{{QStringLiteral("*.*"), all + QLatin1Char('/')}};
    QCOMPARE(ResolveDestination(state, table, a), all + QStringLiteral("/a.jpg"));
    state.firstFile = true;
    table[0].folder = other;
    QCOMPARE(ResolveDestination(state, table, b), all + QStringLiteral("/b.xyz"));
}

void TestTransfer::wildcardFreeExtensionRoutedByMask()
{
    TransferRig rig;
    auto &[dir, prompt, out, s, view, state] = rig;
    const QString raw = dir.createFile(QStringLiteral("src/IMG_1.RW9"), "raw");
    const QString jpg = dir.createFile(QStringLiteral("src/IMG_1.JPG"), "jpg");
    const QString jpgs = dir.createDir(QStringLiteral("jpgs"));
    const QString raws = dir.createDir(QStringLiteral("raws"));
    const ExtensionRows table{{QStringLiteral("*.JPG"), jpgs},
                              {QStringLiteral("*.R*"), raws + QLatin1Char('/')}};
    QVERIFY(RunShown(state, {jpg, raw}, 2, table, s, view));
    QCOMPARE(filesUnder(raws), QStringList{QStringLiteral("IMG_1.RW9")});
    QCOMPARE(filesUnder(jpgs), QStringList{QStringLiteral("IMG_1.JPG")});
    QVERIFY(!QFileInfo::exists(QStringLiteral("/IMG_1.RW9")));

    // A file no row takes at all (the table changed under the run) stops the run with a message.
    const QString odd = dir.createFile(QStringLiteral("src/x.abc"));
    TransferState state2;
    QVERIFY(!RunShown(state2, {odd}, 2, table, s, view));
    QCOMPARE(view.status, unknownErrorStatusText());
    QCOMPARE(prompt.messages.size(), 1);
    QVERIFY(prompt.messages.first().startsWith(
        QStringLiteral("転送処理で不明なエラーが発生しました\r\n\r\nCopyFileEx: ")));
    QVERIFY(QFileInfo::exists(odd));
}

void TestTransfer::ensureFolderOneLevel()
{
    TransferRig rig(QStringLiteral("s/"));
    auto &[dir, prompt, out, s, view, state] = rig;
    QVERIFY(EnsureFolder(dir.path()));
    QVERIFY(EnsureFolder(dir.filePath(QStringLiteral("a/"))));
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("a"))).isDir());
    QVERIFY(prompt.messages.isEmpty());
    const QString deep = dir.filePath(QStringLiteral("b/c"));
    QVERIFY(!EnsureFolder(deep));
    QCOMPARE(folderNotCreatedMessage(deep),
             QStringLiteral("フォルダ[") + deep + QStringLiteral("]の作成に失敗しました"));
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("b"))));

    // A template holding a "/" of its own needs two levels: the message, then the copy fails and stops.
    prompt.clear();
    const QString src = dir.createFile(QStringLiteral("s/P.JPG"));
    s.DirCreateChecked = true;
    s.DirNameEditText = QStringLiteral("x/y");
    QVERIFY(!RunShown(state, {src}, 0, {{QStringLiteral("*.JPG"), out}}, s, view));
    QCOMPARE(prompt.messages.size(), 2);
    QCOMPARE(prompt.messages.at(0),
             QStringLiteral("フォルダ[") + out + QStringLiteral("/x/y/]の作成に失敗しました"));
    // The message's own text first, then what happened and to which file.
    QVERIFY(prompt.messages.at(1).startsWith(unknownErrorMessage(CopyError::fromErrno(ENOENT)) +
                                             QStringLiteral("\r\n\r\n")));
    QVERIFY(prompt.messages.at(1).contains(QStringLiteral("転送先のフォルダが見つかりません")));
    QVERIFY(prompt.messages.at(1).contains(QStringLiteral("転送元：") + src));
    QCOMPARE(view.status, QStringLiteral("不明なエラーが発生しました"));
}

void TestTransfer::unsafeNameRefused()
{
    TransferRig rig(QStringLiteral("s/"));
    auto &[dir, prompt, out, s, view, state] = rig;
    const QString src = dir.createFile(QStringLiteral("s/P.JPG"));
    const QString inner = dir.createDir(QStringLiteral("a/out"));
    s.DirCreateChecked = true;
    s.DirNameEditText = QStringLiteral("..");
    QVERIFY(!RunShown(state, {src}, 0, {{QStringLiteral("*.JPG"), inner}}, s, view));
    QCOMPARE(filesUnder(dir.filePath(QStringLiteral("a"))), QStringList());
    QCOMPARE(prompt.messages.size(), 1);
    QVERIFY(QFileInfo::exists(src));
}

void TestTransfer::plainCopy()
{
    TransferRig rig;
    auto &[dir, prompt, out, s, view, state] = rig;
    const QString a = dir.createFile(QStringLiteral("src/100/a.jpg"), "aaa");
    const QString b = dir.createFile(QStringLiteral("src/101/B.JPG"), "bbbb");
    QVERIFY(RunShown(state, {a, b}, 2, {{QStringLiteral("*.JPG"), out + QLatin1Char('/')}}, s, view));
    QCOMPARE(filesUnder(out), QStringList({QStringLiteral("B.JPG"), QStringLiteral("a.jpg")}));
    QCOMPARE(fileHash(out + QStringLiteral("/a.jpg")), fileHash(a));
    QCOMPARE(view.worked, QStringLiteral("2"));
    QCOMPARE(view.overallHistory, QList<int>({50, 100}));
    QCOMPARE(view.progress, 100);
    QCOMPARE(state.FirstDestinationFolder, out);
    QVERIFY(!state.firstFile);
    QVERIFY(QFileInfo::exists(a) && QFileInfo::exists(b));
    QVERIFY(prompt.messages.isEmpty());
}

void TestTransfer::clockOffsetMovesMetadataDates_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<QStringList>("expected");
    const QString untagged = QStringLiteral("2017.03.06/B.JPG"); // its file time: never moved
    QTest::newRow("none") << 0 << QStringList{QStringLiteral("2017.03.06/A.JPG"), untagged};
    QTest::newRow("a day behind") << -1440 << QStringList{QStringLiteral("2017.03.05/A.JPG"), untagged};
    // 22:30 and two hours more is the next day: the time of day counts, not the date alone.
    QTest::newRow("two hours ahead") << 120 << QStringList{untagged, QStringLiteral("2017.03.07/A.JPG")};
    QTest::newRow("beyond a day") << -5000 << QStringList{QStringLiteral("2017.03.05/A.JPG"), untagged};
}

// A camera whose clock ran a day ahead: the offset puts its photos under the day they were taken.
void TestTransfer::clockOffsetMovesMetadataDates()
{
    QFETCH(int, offset);
    QFETCH(QStringList, expected);
    TransferRig rig;
    auto &[dir, prompt, out, s, view, state] = rig;
    const QString a = writeTaggedJpeg(dir.filePath(QStringLiteral("src/A.JPG")),
                                      QStringLiteral("Exif.Photo.DateTimeOriginal 2017:03:06 22:30:00"));
    QVERIFY(!a.isEmpty());
    const QString b = dir.createFile(QStringLiteral("src/B.JPG"), "no metadata");
    {
        QFile f(b);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(
            f.setFileTime(QDateTime(QDate(2017, 3, 6), QTime(22, 30)), QFileDevice::FileModificationTime));
    }
    s.DirCreateChecked = true;
    s.DirNameEditText = QStringLiteral("[YYYYMMDD]");
    s.sDayEditText = QStringLiteral(".");
    s.ClockOffsetMinutes = offset;
    QVERIFY(RunShown(state, {a, b}, 2, {{QStringLiteral("*.JPG"), out}}, s, view));
    QCOMPARE(filesUnder(out), expected);
}

void TestTransfer::shotsKeepOneName_data()
{
    QTest::addColumn<bool>("together");
    QTest::addColumn<bool>("renumber");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("nextNumber");
    const QString old = QStringLiteral("jpg/IMG_0001_2.JPG");
    QTest::newRow("off, camera names")
        << false << false
        << QStringList{QStringLiteral("jpg/IMG_0001.JPG"), old, QStringLiteral("jpg/IMG_0001_3.JPG"),
                       QStringLiteral("raw/IMG_0001.CR3"), QStringLiteral("raw/IMG_0001_2.CR3")}
        << 1;
    // A name of the shot is taken (the old _2 JPEG): the whole shot moves on to _3.
    QTest::newRow("together, camera names")
        << true << false
        << QStringList{QStringLiteral("jpg/IMG_0001.JPG"),   old,
                       QStringLiteral("jpg/IMG_0001_3.JPG"), QStringLiteral("raw/IMG_0001.CR3"),
                       QStringLiteral("raw/IMG_0001_3.CR3"), QStringLiteral("raw/img_0001.xmp")}
        << 1;
    QTest::newRow("off, running numbers")
        << false << true
        << QStringList{QStringLiteral("jpg/2.JPG"), QStringLiteral("jpg/4.JPG"), old,
                       QStringLiteral("raw/1.CR3"), QStringLiteral("raw/3.CR3")}
        << 5;
    QTest::newRow("together, running numbers")
        << true << true
        << QStringList{QStringLiteral("jpg/1.JPG"), QStringLiteral("jpg/2.JPG"), old,
                       QStringLiteral("raw/1.CR3"), QStringLiteral("raw/1.xmp"), QStringLiteral("raw/2.CR3")}
        << 3;
}

// Raw and JPEG of one shot (and its sidecar, which no row takes) keep one name: one running number and one
// "_n" per shot, across two camera folders that restarted their numbering.
void TestTransfer::shotsKeepOneName()
{
    QFETCH(bool, together);
    QFETCH(bool, renumber);
    QFETCH(QStringList, expected);
    QFETCH(int, nextNumber);
    TransferRig rig;
    auto &[dir, prompt, out, s, view, state] = rig;
    QStringList list;
    for (const char *name : {"src/100CAM/IMG_0001.CR3", "src/100CAM/IMG_0001.JPG", "src/101CAM/IMG_0001.CR3",
                             "src/101CAM/IMG_0001.JPG"})
        list << dir.createFile(QLatin1String(name), name);
    dir.createFile(QStringLiteral("src/100CAM/img_0001.xmp"), "sidecar");
    dir.createFile(QStringLiteral("src/100CAM/IMG_0002.XMP"), "no shot of its own");
    dir.createFile(QStringLiteral("out/jpg/IMG_0001_2.JPG"), "old");
    s.KeepShotsTogetherChecked = together;
    if (renumber) {
        s.RenameChecked = true;
        s.FileNameEditText = QStringLiteral("[RENBAN]");
    }
    const ExtensionRows rows{{QStringLiteral("*.CR3"), out + QStringLiteral("/raw")},
                             {QStringLiteral("*.JPG"), out + QStringLiteral("/jpg")}};
    QDir().mkpath(out + QStringLiteral("/raw"));
    const TransferOutcome outcome =
        RunShown(state, list, 4, rows, s, view, dir.filePath(QStringLiteral("src/")));
    QVERIFY(outcome);
    QCOMPARE(filesUnder(out), expected);
    QCOMPARE(outcome.fileNumber.value_or(1), nextNumber);
    const QStringList raws = expected.filter(QStringLiteral(".CR3"));
    QCOMPARE(contentOf(out + QLatin1Char('/') + raws.last()), QByteArray("src/101CAM/IMG_0001.CR3"));
    if (together)
        QCOMPARE(contentOf(out + QLatin1Char('/') + expected.filter(QStringLiteral(".xmp")).first()),
                 QByteArray("sidecar"));
}

// A move deletes a shot's sources only when every copy of the shot came back right.
void TestTransfer::shotOfAMoveGoesWhole()
{
    TransferRig rig;
    auto &[dir, prompt, out, s, view, state] = rig;
    const QStringList list{dir.createFile(QStringLiteral("src/100CAM/IMG_0001.CR3"), "raw 1"),
                           dir.createFile(QStringLiteral("src/100CAM/IMG_0001.JPG"), "jpeg 1"),
                           dir.createFile(QStringLiteral("src/100CAM/IMG_0002.CR3"), "raw 2"),
                           dir.createFile(QStringLiteral("src/100CAM/IMG_0002.JPG"), "jpeg 2")};
    s.KeepShotsTogetherChecked = true;
    s.DelChecked = true;
    s.VerifyChecked = true;
    SetBeforeVerifyHookForTesting([](const QString &copy) {
        if (copy.endsWith(QLatin1String("IMG_0001.JPG"))) {
            QFile f(copy);
            if (f.open(QIODevice::WriteOnly | QIODevice::Append))
                f.write("!");
        }
    });
    RunShown(state, list, 4, {{QStringLiteral("*.*"), out}}, s, view, dir.filePath(QStringLiteral("src/")));
    SetBeforeVerifyHookForTesting({});
    QCOMPARE(filesUnder(dir.filePath(QStringLiteral("src"))),
             (QStringList{QStringLiteral("100CAM/IMG_0001.CR3"), QStringLiteral("100CAM/IMG_0001.JPG")}));
    QVERIFY(prompt.messages.contains(notDeletedMessage()));
}

void TestTransfer::clashGivesFreeName()
{
    TransferRig rig;
    auto &[dir, prompt, out, s, view, state] = rig;
    const QString src = dir.createFile(QStringLiteral("src/P1000123.JPG"), "new");
    for (const char *name : {"P1000123.JPG", "P1000123_2.JPG", "P1000123_3.JPG"})
        dir.createFile(QStringLiteral("out/") + QLatin1String(name), "old");
    QVERIFY(RunShown(state, {src}, 1, {{QStringLiteral("*.JPG"), out}}, s, view));
    QCOMPARE(fileHash(out + QStringLiteral("/P1000123_4.JPG")), fileHash(src));
    QCOMPARE(fileHash(out + QStringLiteral("/P1000123.JPG")),
             QCryptographicHash::hash("old", QCryptographicHash::Sha256));
    QCOMPARE(view.status, renamedStatusText());
    QCOMPARE(view.worked, QStringLiteral("1"));
    QVERIFY(prompt.messages.isEmpty());

    // All 98 free names taken: the file stays, the run says so and does not report success.
    for (int n = 4; n <= 99; ++n)
        dir.createFile(QStringLiteral("out/P1000123_%1.JPG").arg(n), "old");
    TransferState state2;
    MemoryTransferView view2;
    QVERIFY(!RunShown(state2, {src}, 0, {{QStringLiteral("*.JPG"), out}}, s, view2));
    QCOMPARE(view2.worked, QStringLiteral("0"));
    QCOMPARE(prompt.messages, QStringList{notCopiedMessage()});
}

void TestTransfer::overwriteReplacesAndCounts()
{
    TransferRig rig;
    auto &[dir, prompt, out, s, view, state] = rig;
    const QString src = dir.createFile(QStringLiteral("src/P1.JPG"), "new content");
    dir.createFile(QStringLiteral("out/P1.JPG"), "old");
    s.UwagakiChecked = true;
    QVERIFY(RunShown(state, {src}, 1, {{QStringLiteral("*.JPG"), out}}, s, view));
    QCOMPARE(filesUnder(out), QStringList{QStringLiteral("P1.JPG")});
    QCOMPARE(fileHash(out + QStringLiteral("/P1.JPG")), fileHash(src));
    QCOMPARE(view.worked, QStringLiteral("1"));
    QVERIFY(!view.statusHistory.contains(renamedStatusText()));

    // Overwrite and move onto the very same file: counted, and the file is neither truncated nor deleted.
    s.DelChecked = true;
    s.SourceEditText = out + QLatin1Char('/');
    const QString same = out + QStringLiteral("/P1.JPG");
    TransferState state2;
    QVERIFY(RunShown(state2, {same}, 1, {{QStringLiteral("*.JPG"), out}}, s, view));
    QCOMPARE(fileHash(same), fileHash(src));
}

void TestTransfer::lockedSourceNotDeleted()
{
    TransferRig rig;
    auto &[dir, prompt, out, s, view, state] = rig;
    const QString a = dir.createFile(QStringLiteral("src/locked/a.jpg"), "a");
    const QString b = dir.createFile(QStringLiteral("src/locked/b.jpg"), "b");
    ImmutableFolder lock(dir.filePath(QStringLiteral("src/locked")));
    if (!lock.applied())
        QSKIP("chattr +i is not available here, so no folder refuses deletion to root");
    const QString c = dir.createFile(QStringLiteral("src/free/c.jpg"), "c");
    s.DelChecked = true;
    QVERIFY(RunShown(state, {a, b, c}, 3, {{QStringLiteral("*.JPG"), out}}, s, view));
    QCOMPARE(view.worked, QStringLiteral("3"));
    QCOMPARE(filesUnder(out),
             QStringList({QStringLiteral("a.jpg"), QStringLiteral("b.jpg"), QStringLiteral("c.jpg")}));
    QVERIFY(QFileInfo::exists(a) && QFileInfo::exists(b));
    QVERIFY(!QFileInfo::exists(c));
    QCOMPARE(prompt.messages, QStringList{notDeletedMessage()});
}

void TestTransfer::moveDeletesSources()
{
    TransferRig rig;
    auto &[dir, prompt, out, s, view, state] = rig;
    s.DelChecked = true;
    const QString a = dir.createFile(QStringLiteral("src/a.jpg"), "a");
    const QString raw = dir.createFile(QStringLiteral("src/a.RW9"), "raw");
    // a.RW9 is listed twice (taken by two wildcard rows): moved once, its second entry has nothing to do.
    const ExtensionRows table{
        {QStringLiteral("*.JPG"), out}, {QStringLiteral("*.R*"), out}, {QStringLiteral("*W9"), out}};
    QVERIFY(RunShown(state, {a, raw, raw}, 0, table, s, view));
    QCOMPARE(filesUnder(out), QStringList({QStringLiteral("a.RW9"), QStringLiteral("a.jpg")}));
    QCOMPARE(filesUnder(dir.filePath(QStringLiteral("src"))), QStringList());
    QVERIFY(prompt.messages.isEmpty());
}

void TestTransfer::moveKeepsSourceOfVanishedCopy()
{
    // A copy removed by someone else before its source was deleted: the source stays, and the user is told.
    TransferRig rig;
    auto &[dir, prompt, out, s, view, state] = rig;
    const QString a = dir.createFile(QStringLiteral("src/a.jpg"), "a");
    const QString b = dir.createFile(QStringLiteral("src/b.jpg"), "b");
    s.DelChecked = true;
    // Between the flush that names the copies and the one before the sources go.
    int flushes = 0;
    SetFlushFaultForTesting([&] {
        if (++flushes == 2)
            QFile::remove(rig.out + QStringLiteral("/a.jpg"));
        return 0;
    });
    RunShown(state, {a, b}, 0, {{QStringLiteral("*.JPG"), out}}, s, view);
    SetFlushFaultForTesting({});
    QVERIFY(QFileInfo::exists(a));
    QVERIFY(!QFileInfo::exists(b));
    QCOMPARE(filesUnder(out), QStringList{QStringLiteral("b.jpg")});
    QCOMPARE(prompt.messages, QStringList{notDeletedMessage()});
}

void TestTransfer::moveOntoItselfThroughSecondPath()
{
    // The destination folder is the camera folder itself, reached through a second mount: with overwrite
    // on, every "copy" is the file onto itself and not one source may go.
    TestDir dir;
    TestPrompt prompt;
    const QString a =
        dir.createFile(QStringLiteral("card/DCIM/100CANON/IMG_0001.JPG"), randomBytes(70000, 1));
    const QByteArray before = fileHash(a);
    const QString second = dir.createDir(QStringLiteral("second"));
    BindMount bind(dir.filePath(QStringLiteral("card/DCIM/100CANON")), second);
    if (!bind.mounted())
        QSKIP(qPrintable(bind.error()));
    SettingsRecord s = plainSettings(dir.filePath(QStringLiteral("card/DCIM/100CANON/")));
    s.DelChecked = true;
    s.UwagakiChecked = true;
    MemoryTransferView view;
    TransferState state;
    // The file is where the row sends it already: the run counts it, and its only copy stays.
    QVERIFY(RunShown(state, {a}, 0, {{QStringLiteral("*.JPG"), second}}, s, view));
    QCOMPARE(view.worked, QStringLiteral("1"));
    QVERIFY(QFileInfo::exists(a));
    QCOMPARE(fileHash(a), before);
    QVERIFY(prompt.messages.isEmpty());
}

void TestTransfer::laterCopyTakesNameOfMovedSource()
{
    // Source and destination are one folder. IMG2.JPG is moved to IMG1.JPG; the next file is then named
    // IMG2.JPG, the name its moved source had: it must land there and stay, the moved source be gone.
    TestDir dir;
    TestPrompt prompt;
    const QString a = dir.createFile(QStringLiteral("f/IMG2.JPG"), "first file");
    const QString b = dir.createFile(QStringLiteral("f/sub/Z.JPG"), "second file");
    const QString folder = dir.filePath(QStringLiteral("f"));
    SettingsRecord s = plainSettings(folder + QLatin1Char('/'));
    s.DelChecked = true;
    s.UwagakiChecked = true;
    s.RenameChecked = true;
    s.FileNameEditText = QStringLiteral("IMG[RENBAN]");
    s.FileRenbanSpinEditValue = 1;
    MemoryTransferView view;
    TransferState state;
    QVERIFY(RunShown(state, {a, b}, 0, {{QStringLiteral("*.JPG"), folder}}, s, view));
    QCOMPARE(filesUnder(folder), QStringList({QStringLiteral("IMG1.JPG"), QStringLiteral("IMG2.JPG")}));
    QCOMPARE(fileHash(folder + QStringLiteral("/IMG1.JPG")),
             QCryptographicHash::hash("first file", QCryptographicHash::Sha256));
    QCOMPARE(fileHash(folder + QStringLiteral("/IMG2.JPG")),
             QCryptographicHash::hash("second file", QCryptographicHash::Sha256));
    QVERIFY(prompt.messages.isEmpty());
}

void TestTransfer::cancelDuringThirdFile()
{
    TransferRig rig;
    auto &[dir, prompt, out, s, view, state] = rig;
    const QStringList list = numberedFiles(dir, QStringLiteral("src/F%1.MOV"), 5,
                                           [](int i) { return randomBytes(i == 3 ? 24 << 20 : 1000, i); });
    view.onPump = [&] {
        if (rig.view.fileNames.size() == 3 && !rig.state.CancelRequested)
            CancelCopy(rig.state, rig.view);
    };
    QVERIFY(!RunShown(state, list, 5, {{QStringLiteral("*.MOV"), out}}, s, view));
    QCOMPARE(view.worked, QStringLiteral("2"));
    QCOMPARE(view.status, cancelledStatusText());
    QCOMPARE(filesUnder(out), QStringList({QStringLiteral("F1.MOV"), QStringLiteral("F2.MOV")}));
    QCOMPARE(view.progress, 0);
    QCOMPARE(view.overall, 0);
    QCOMPARE(filesUnder(dir.filePath(QStringLiteral("src"))).size(), 5);
    QVERIFY(prompt.messages.isEmpty());
}

void TestTransfer::cancelAtEndOfCopy()
{
    // Cancel pressed while the events of a copy's last progress call run: that copy stands and counts,
    // the loop stops right after it.
    TransferRig rig;
    auto &[dir, prompt, out, s, view, state] = rig;
    const QStringList list = numberedFiles(dir, QStringLiteral("src/%1.jpg"), 3, [](int) { return "small"; });
    s.DelChecked = true;
    view.onPump = [&] {
        if (rig.view.fileNames.size() == 2)
            CancelCopy(rig.state, rig.view);
    };
    QVERIFY(!RunShown(state, list, 3, {{QStringLiteral("*.JPG"), out}}, s, view));
    QCOMPARE(view.worked, QStringLiteral("2"));
    QCOMPARE(view.status, cancelledStatusText());
    QCOMPARE(filesUnder(out), QStringList({QStringLiteral("1.jpg"), QStringLiteral("2.jpg")}));
    QCOMPARE(filesUnder(dir.filePath(QStringLiteral("src"))), QStringList{QStringLiteral("3.jpg")});
    QVERIFY(prompt.messages.isEmpty());
}

void TestTransfer::diskFullOnFourthFile_data()
{
    copyAndMoveRows();
}

void TestTransfer::diskFullOnFourthFile()
{
    QFETCH(bool, move);
    TransferRig rig;
    auto &[dir, prompt, out, s, view, state] = rig;
    s.DelChecked = move;
    const QString mountPoint = dir.createDir(QStringLiteral("small"));
    SmallDisk disk(mountPoint, "3584k");
    if (!disk.mounted())
        QSKIP(qPrintable(disk.error()));
    const QStringList list = numberedFiles(dir, QStringLiteral("src/F%1.JPG"), 5,
                                           [](int i) { return randomBytes(1 << 20, 100 + i); });
    QVERIFY(!RunShown(state, list, 5, {{QStringLiteral("*.JPG"), mountPoint}}, s, view));
    QCOMPARE(view.worked, QStringLiteral("3"));
    QCOMPARE(view.status, QStringLiteral("転送先\"") + mountPoint + QStringLiteral("\"の空き容量不足"));
    QCOMPARE(prompt.messages.size(), 1);
    QVERIFY(prompt.messages.at(0).startsWith(
        QStringLiteral("転送先ドライブ\"") + mountPoint +
        QStringLiteral("\"の空き容量が不足しています\r\n\r\nCopyFileEx: 112\r\n\r\n")));
    QVERIFY(prompt.messages.at(0).endsWith(QStringLiteral("転送元：") + list.at(3) +
                                           QStringLiteral("\r\n転送先：") + mountPoint +
                                           QStringLiteral("/F4.JPG")));
    // No partial fourth file.
    QCOMPARE(filesUnder(mountPoint),
             QStringList({QStringLiteral("F1.JPG"), QStringLiteral("F2.JPG"), QStringLiteral("F3.JPG")}));
    for (int i = 1; i <= 3; ++i)
        QCOMPARE(fileHash(mountPoint + QStringLiteral("/F%1.JPG").arg(i)),
                 QCryptographicHash::hash(randomBytes(1 << 20, 100 + i), QCryptographicHash::Sha256));
    // Copy: every source is still there. Move: only the three good copies left their source.
    const QStringList left = filesUnder(dir.filePath(QStringLiteral("src")));
    if (move)
        QCOMPARE(left, QStringList({QStringLiteral("F4.JPG"), QStringLiteral("F5.JPG")}));
    else
        QCOMPARE(left.size(), 5);
}

void TestTransfer::otherErrorStopsRun()
{
    TransferRig rig;
    auto &[dir, prompt, out, s, view, state] = rig;
    const QString a = dir.createFile(QStringLiteral("src/a.jpg"));
    const QString b = dir.createFile(QStringLiteral("src/b.jpg"));
    QVERIFY(!RunShown(state, {a, b}, 0, {{QStringLiteral("*.JPG"), dir.filePath(QStringLiteral("missing"))}},
                      s, view));
    QCOMPARE(view.status, unknownErrorStatusText());
    QCOMPARE(prompt.messages.size(), 1);
    QCOMPARE(prompt.messages.at(0), QStringLiteral("転送処理で不明なエラーが発生しました\r\n\r\nCopyFileEx: "
                                                   "2\r\n\r\n転送先のフォルダが見つかりません"
                                                   "\r\n転送元：") +
                                        a + QStringLiteral("\r\n転送先：") +
                                        dir.filePath(QStringLiteral("missing/a.jpg")));
    QCOMPARE(view.fileNames.size(), 1);
}

void TestTransfer::runningNumbers()
{
    TransferRig rig;
    auto &[dir, prompt, out, s, view, state] = rig;
    QStringList list;
    for (const char *n : {"a.jpg", "b.jpg", "c.jpg"})
        list << dir.createFile(QStringLiteral("src/") + QLatin1String(n));
    s.RenameChecked = true;
    s.FileNameEditText = QStringLiteral("img[RENBAN]");
    s.FileRenbanSpinEditValue = 7;
    const TransferOutcome outcome = RunShown(state, list, 3, {{QStringLiteral("*.JPG"), out}}, s, view);
    StoreRunningNumbers(outcome, s);
    QVERIFY(outcome);
    QCOMPARE(filesUnder(out), QStringList({QStringLiteral("img7.jpg"), QStringLiteral("img8.jpg"),
                                           QStringLiteral("img9.jpg")}));
    QCOMPARE(s.FileRenbanSpinEditValue, 10);
    QCOMPARE(view.fileCounter, 10);
    QCOMPARE(state.fileNumber, 10);
}

void TestTransfer::folderNumberAdvancesOncePerRun()
{
    TransferRig rig;
    auto &[dir, prompt, out, s, view, state] = rig;
    const QString a = dir.createFile(QStringLiteral("src/a.jpg"));
    const QString b = dir.createFile(QStringLiteral("src/b.jpg"));
    s.DirCreateChecked = true;
    s.DirNameEditText = QStringLiteral("roll[RENBAN]");
    s.DirRenbanSpinEditValue = 4;
    const TransferOutcome empty = RunShown(state, {}, 0, {{QStringLiteral("*.JPG"), out}}, s, view);
    StoreRunningNumbers(empty, s);
    QVERIFY(!empty);
    QCOMPARE(s.DirRenbanSpinEditValue, 5);
    QCOMPARE(view.folderCounter, 5);
    const TransferOutcome two = RunShown(state, {a, b}, 0, {{QStringLiteral("*.JPG"), out}}, s, view);
    StoreRunningNumbers(two, s);
    QVERIFY(two);
    QCOMPARE(filesUnder(out), QStringList({QStringLiteral("roll5/a.jpg"), QStringLiteral("roll5/b.jpg")}));
    QCOMPARE(s.DirRenbanSpinEditValue, 6);
}

void TestTransfer::gaugeHeldAt100()
{
    TransferRig rig;
    auto &[dir, prompt, out, s, view, state] = rig;
    const QStringList list = numberedFiles(dir, QStringLiteral("src/%1.jpg"), 5, [](int) { return "x"; });
    QVERIFY(RunShown(state, list, 4, {{QStringLiteral("*.JPG"), out}}, s, view));
    QCOMPARE(view.overallHistory, QList<int>({25, 50, 75, 100, 100}));
    QCOMPARE(view.worked, QStringLiteral("5"));
}

void TestTransfer::secondStartIgnored()
{
    TransferRig rig;
    auto &[dir, prompt, out, s, view, state] = rig;
    const QString a = dir.createFile(QStringLiteral("src/a.jpg"), randomBytes(8 << 20, 1));
    const QString out2 = dir.createDir(QStringLiteral("out2"));
    int inner = -1;
    view.onPump = [&] {
        if (inner < 0) {
            MemoryTransferView other;
            inner =
                RunShown(rig.state, {a}, 0, {{QStringLiteral("*.JPG"), out2}}, rig.settings, other) ? 1 : 0;
        }
    };
    QVERIFY(RunShown(state, {a}, 0, {{QStringLiteral("*.JPG"), out}}, s, view));
    QCOMPARE(inner, 0);
    QCOMPARE(filesUnder(out2), QStringList());
}

void TestTransfer::demoCardByShootingDate()
{
    TestDir dir;
    TestPrompt prompt;
    const QString card = dir.filePath(QStringLiteral("card"));
    QVERIFY(runTool(sourceDir() + QStringLiteral("/scripts/make-demo-card"), {card}));
    const QString out = dir.createDir(QStringLiteral("Pictures"));
    SettingsRecord s = plainSettings(card + QStringLiteral("/DCIM/"));
    s.DirCreateChecked = true;
    s.DirNameEditText = QStringLiteral("[YYYYMMDD]");
    s.sDayEditText = QStringLiteral("-");
    s.PANA101Checked = true;
    s.DelChecked = true;
    QStringList list;
    QDirIterator it(card + QStringLiteral("/DCIM"), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        list << it.next();
    list.sort(Qt::CaseInsensitive);
    QCOMPARE(list.size(), 9);
    MemoryTransferView view;
    TransferState state;
    QVERIFY(RunShown(state, list, list.size(), {{QStringLiteral("*.*"), out}}, s, view));
    QCOMPARE(filesUnder(out), QStringList({
                                  QStringLiteral("2023-12-31/101CANON/IMG_0006.JPG"),
                                  QStringLiteral("2024-01-09/100CANON/IMG_0001.JPG"),
                                  QStringLiteral("2024-01-09/100CANON/IMG_0002.JPG"),
                                  QStringLiteral("2024-01-09/100CANON/IMG_0003.JPG"),
                                  QStringLiteral("2024-01-09/100CANON/IMG_0007.CR2"),
                                  QStringLiteral("2024-01-10/101CANON/IMG_0004.JPG"),
                                  QStringLiteral("2024-01-10/101CANON/IMG_0005.JPG"),
                                  QStringLiteral("2024-01-10/101CANON/MVI_0008.MP4"),
                                  QStringLiteral("2024-01-11/DCIM/IMG_0009.JPG"),
                              }));
    QCOMPARE(filesUnder(card + QStringLiteral("/DCIM")), QStringList());
    QCOMPARE(view.overall, 100);
    QVERIFY(prompt.messages.isEmpty());
}

void TestTransfer::shootingDates()
{
    TestDir dir;
    const QDateTime modified(QDate(2015, 6, 7), QTime(12, 0));

    const QString plain = writeJpeg(dir.filePath(QStringLiteral("plain.jpg")));
    QVERIFY(setModified(plain, modified));
    QCOMPARE(ReadShootingDate(plain), QDate(2015, 6, 7));

    // The date taken, unless the tag holds no date: then the file's own time.
    const struct
    {
        const char *name;
        const char *value;
        QDate date;
    } tagged[] = {
        {"tagged.jpg", "Exif.Photo.DateTimeOriginal 2017:03:05 23:59:59", QDate(2017, 3, 5)},
        {"garbage.jpg", "Exif.Photo.DateTimeOriginal Ascii not a date!", QDate(2015, 6, 7)},
        {"zero.jpg", "Exif.Photo.DateTimeOriginal 0000:00:00 00:00:00", QDate(2015, 6, 7)},
    };
    for (const auto &t : tagged) {
        const QString jpeg = writeTaggedJpeg(dir.filePath(QLatin1String(t.name)), QLatin1String(t.value));
        QVERIFY2(!jpeg.isEmpty(), t.name);
        QVERIFY(setModified(jpeg, modified));
        QCOMPARE(ReadShootingDate(jpeg), t.date);
    }

    // A raw-like TIFF whose date sits in IFD0 (TIFF/EP).
    const QString tiff = dir.filePath(QStringLiteral("raw.tif"));
    dir.createFile(QStringLiteral("raw.tif"), minimalTiff());
    QVERIFY(runTool(
        QStringLiteral("exiv2"),
        {QStringLiteral("-M"), QStringLiteral("set Exif.Image.DateTimeOriginal 2012:12:24 18:00:00"), tiff}));
    QVERIFY(setModified(tiff, modified));
    QCOMPARE(ReadShootingDate(tiff), QDate(2012, 12, 24));

    // Broken files: truncated JPEG, random bytes named .CR2, an empty file.
    QByteArray jpegHead = QByteArray("\xFF\xD8\xFF\xE1\x7F\xFF", 6) + "Exif";
    for (const auto &[name, content] : {std::pair{QStringLiteral("cut.jpg"), jpegHead},
                                        std::pair{QStringLiteral("noise.CR2"), randomBytes(5000, 3)},
                                        std::pair{QStringLiteral("empty.jpg"), QByteArray()}}) {
        const QString p = dir.createFile(name, content);
        QVERIFY(setModified(p, modified));
        QCOMPARE(ReadShootingDate(p), QDate(2015, 6, 7));
    }

    // The shared camera pictures, when present, read through real camera Exif blocks.
    const QString camera = sharedTestData(QStringLiteral("camera/canon-dslr.jpg"));
    if (!camera.isEmpty()) {
        // A copy with a modification time far from the shot: the date must come from the Exif block.
        const QString copy = dir.filePath(QStringLiteral("camera.jpg"));
        QVERIFY(QFile::copy(camera, copy));
        QVERIFY(setModified(copy, modified));
        const QDate expected = exiv2DateTaken(copy);
        QVERIFY(expected.isValid());
        QVERIFY(expected != QDate(2015, 6, 7));
        QCOMPARE(ReadShootingDate(copy), expected);
    }
}

void TestTransfer::shootingDateOfVideo()
{
    if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
        QSKIP("ffmpeg is not installed, no video to read");
    TestDir dir;
    const QDateTime utc(QDate(2019, 6, 30), QTime(23, 30), QTimeZone::utc());
    const QDate expected = utc.toLocalTime().date();
    for (const QString &name : {QStringLiteral("clip.MOV"), QStringLiteral("clip.MP4")}) {
        const QString path = dir.filePath(name);
        QVERIFY(runTool(QStringLiteral("ffmpeg"),
                        {QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-f"),
                         QStringLiteral("lavfi"), QStringLiteral("-i"),
                         QStringLiteral("color=c=black:s=32x32:d=0.2"), QStringLiteral("-metadata"),
                         QStringLiteral("creation_time=2019-06-30T23:30:00Z"), QStringLiteral("-c:v"),
                         QStringLiteral("mpeg4"), path}));
        QVERIFY(setModified(path, QDateTime(QDate(2015, 6, 7), QTime(12, 0))));
        QCOMPARE(ReadShootingDate(path), expected);
    }
}

void TestTransfer::metadataDateText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("date");
    QTest::newRow("exif") << QStringLiteral("2017:03:05 10:11:12") << QDate(2017, 3, 5);
    QTest::newRow("date alone") << QStringLiteral("2017:03:05") << QDate(2017, 3, 5);
    QTest::newRow("xmp") << QStringLiteral("2017-03-05T10:11:12+09:00") << QDate(2017, 3, 5);
    QTest::newRow("zero") << QStringLiteral("0000:00:00 00:00:00") << QDate();
    QTest::newRow("blank") << QStringLiteral("    :  :     :  :  ") << QDate();
    QTest::newRow("month 13") << QStringLiteral("2017:13:05 10:11:12") << QDate();
    QTest::newRow("garbage") << QStringLiteral("not a date!") << QDate();
    QTest::newRow("trailing junk") << QStringLiteral("2017:03:05x") << QDate();
}

void TestTransfer::metadataDateText()
{
    QFETCH(QString, text);
    QFETCH(QDate, date);
    QCOMPARE(DateFromMetadataText(text), date);
}

QTEST_GUILESS_MAIN(TestTransfer)
#include "tst_transfer.moc"
