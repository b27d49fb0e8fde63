#include "history/importhistory.h"
#include "mounthelper.h"
#include "platform/copyfile.h"
#include "testdir.h"
#include "transfer/backupcopies.h"
#include "transfer/commitbatch.h"
#include "transfer/runmessages.h"
#include "transferdriver.h"
#include "transferfixture.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>

using namespace vantora;
using namespace vantora::test;
using namespace Qt::StringLiterals;

// The second copy of an import on another drive: three real tmpfs mounts (the card, the first drive,
// the backup drive), the window-less import program as the runs, xxhsum and vantora-history as the checks.
class TestBackup final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup() { SetBeforeVerifyHookForTesting({}); }
    void bothCopiesMatchTheCard_data();
    void bothCopiesMatchTheCard();
    void fullBackupDriveKeepsSourcesUntilTheNextRun_data() { copyAndMoveRows(); }
    void fullBackupDriveKeepsSourcesUntilTheNextRun();
    void aNameTakenOnEitherDriveMovesBothCopiesOn_data() { copyAndMoveRows(); }
    void aNameTakenOnEitherDriveMovesBothCopiesOn();
    void missingBackupFolderWritesNothing_data() { copyAndMoveRows(); }
    void missingBackupFolderWritesNothing();
    void killedRunThenRerunHasEveryFileOnce_data() { copyAndMoveRows(); }
    void killedRunThenRerunHasEveryFileOnce();
    void corruptedBackupCopyIsCaughtByTheVerify();
    void shotsAndReplacingNameBothCopiesAlike_data();
    void shotsAndReplacingNameBothCopiesAlike();

private:
    TransferDriver m_driver;
};

namespace {

const QString CreatedFolder = QStringLiteral("取り込み");

// The card, both drives and the history of one test, in the test's folder.
struct Drives
{
    Drives(TestDir &dir, const QByteArray &backupSize)
        : card(dir.createDir(QStringLiteral("card"))), first(dir.createDir(QStringLiteral("first"))),
          second(dir.createDir(QStringLiteral("second"))), history(dir.filePath(QStringLiteral("h.sqlite"))),
          cardDisk(card, "64m"), firstDisk(first, "64m"), secondDisk(second, backupSize)
    {
    }
    QString error() const
    {
        for (const TestMount *m :
             {static_cast<const TestMount *>(&cardDisk), static_cast<const TestMount *>(&firstDisk),
              static_cast<const TestMount *>(&secondDisk)}) {
            if (!m->mounted())
                return m->error();
        }
        return {};
    }
    QString dcim() const { return card + QStringLiteral("/DCIM"); }

    QString card, first, second, history;
    SmallDisk cardDisk, firstDisk, secondDisk;
};

// Photos in two camera folders; their contents by the path below the card's DCIM.
QHash<QString, QByteArray> makeCard(const QString &dcim, int count, int size, quint32 seed)
{
    QHash<QString, QByteArray> contents;
    for (int i = 1; i <= count; ++i) {
        const QString relative =
            QStringLiteral("%1CANON/IMG_%2.JPG").arg(100 + i % 2).arg(i, 4, 10, QLatin1Char('0'));
        QDir().mkpath(QFileInfo(dcim + QLatin1Char('/') + relative).absolutePath());
        QFile f(dcim + QLatin1Char('/') + relative);
        if (!f.open(QIODevice::WriteOnly))
            return {};
        const QByteArray bytes = randomBytes(size + i, seed + quint32(i));
        f.write(bytes);
        contents.insert(relative, bytes);
    }
    return contents;
}

// A run of every JPEG into a created folder with the camera folders, a second copy below `second`.
QString writeSettings(const QString &folder, const Drives &d, const QString &second, bool move, bool verify)
{
    const QString path = folder + QStringLiteral("/settings.txt");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    f.write(QStringLiteral("SourceEditText=%1/\nRow=*.JPG|%2\nDelChecked=%3\nVerifyChecked=%4\n"
                           "DirCreateChecked=1\nDirNameEditText=%5\nPANA101Checked=1\n"
                           "SkipImportedChecked=1\nHistory=%6\nVolume=uuid:CARD\nVolumeRoot=%7\n"
                           "BackupChecked=1\nBackupDirText=%8\nManifestChecked=1\n")
                .arg(d.dcim(), d.first, QString::number(move), QString::number(verify), CreatedFolder,
                     d.history, d.card, second)
                .toUtf8());
    return path;
}

// The photos below a tree's created folder, by their path below it (the lists of hashes left out).
QHash<QString, QByteArray> photosIn(const QString &tree)
{
    QHash<QString, QByteArray> photos;
    const QString root = tree + QLatin1Char('/') + CreatedFolder;
    for (const QString &relative : filesUnder(root)) {
        if (QFileInfo(relative).fileName() != QLatin1String(ManifestFileName))
            photos.insert(relative, contentOf(root + QLatin1Char('/') + relative));
    }
    return photos;
}

int runTool(const QString &program, const QStringList &args, QString *output, const QString &cwd = {},
            const QString &history = {})
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    if (!cwd.isEmpty())
        p.setWorkingDirectory(cwd);
    if (!history.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VANTORA_HISTORY"), history);
        p.setProcessEnvironment(env);
    }
    p.start(program, args);
    if (!p.waitForFinished(120000))
        return -1;
    *output = QString::fromUtf8(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QString historyTool()
{
    return QString::fromLocal8Bit(qgetenv("VANTORA_BINARY_DIR")) + QStringLiteral("/src/vantora-history");
}

// xxhsum -c on the list of hashes of every folder below tree holding one; the folders checked.
int checkManifests(const QString &tree, QString *failures)
{
    int checked = 0;
    QDirIterator it(tree, {QLatin1String(ManifestFileName)}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo list(it.next());
        QString out;
        if (runTool(QStringLiteral("xxhsum"), {QStringLiteral("-c"), list.fileName()}, &out, list.path()) !=
            0)
            *failures += out;
        ++checked;
    }
    return checked;
}

} // namespace

void TestBackup::initTestCase()
{
    QVERIFY2(m_driver.prepare(), qPrintable(m_driver.path + QStringLiteral(" is not built")));
    if (!m_driver.namespaceError.isEmpty())
        QSKIP(qPrintable(m_driver.namespaceError));
    QString out;
    QVERIFY2(runTool(QStringLiteral("xxhsum"), {QStringLiteral("--version")}, &out) == 0,
             "xxhsum (package xxhash) is not installed: scripts/setup installs it");
}

void TestBackup::bothCopiesMatchTheCard_data()
{
    QTest::addColumn<bool>("move");
    QTest::addColumn<bool>("verify");
    for (const bool move : {false, true}) {
        for (const bool verify : {false, true}) {
            const QByteArray tag = QByteArray(move ? "move" : "copy") + (verify ? ", verify" : "");
            QTest::newRow(tag.constData()) << move << verify;
        }
    }
}

// Both trees hold the card's photos byte for byte under the same names; the lists of hashes pass
// xxhsum -c, grow with a later run, and a flipped byte or a lost file is found by xxhsum and by
// vantora-history --verify.
void TestBackup::bothCopiesMatchTheCard()
{
    QFETCH(bool, move);
    QFETCH(bool, verify);
    TestDir dir;
    Drives d(dir, "64m");
    if (!d.error().isEmpty())
        QSKIP(qPrintable(d.error()));
    const QHash<QString, QByteArray> card = makeCard(d.dcim(), 12, 300 * 1024, 7);
    const QString settings = writeSettings(dir.path(), d, d.second, move, verify);
    QString out;
    QCOMPARE(runTool(m_driver.path, {QStringLiteral("--quiet"), settings}, &out), 0);
    QCOMPARE(photosIn(d.first), card);
    QCOMPARE(photosIn(d.second), card);
    QCOMPARE(filesUnder(d.dcim()).size(), move ? 0 : card.size());

    QString failures;
    QCOMPARE(checkManifests(d.first, &failures), 2);
    QCOMPARE(checkManifests(d.second, &failures), 2);
    QCOMPARE(failures, QString());

    // A later run into the same folders adds its lines and keeps the earlier ones.
    const QString later = d.dcim() + QStringLiteral("/100CANON/IMG_0100.JPG");
    {
        QFile f(later);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(randomBytes(5000, 99));
    }
    const QString list =
        d.second + QLatin1Char('/') + CreatedFolder + QStringLiteral("/100CANON/vantora.xxh128");
    const QByteArray before = contentOf(list);
    QCOMPARE(before.count('\n'), 6);
    QCOMPARE(runTool(m_driver.path, {QStringLiteral("--quiet"), settings}, &out), 0);
    QCOMPARE(contentOf(list).left(before.size()), before);
    QCOMPARE(contentOf(list).count('\n'), 7);
    QCOMPARE(checkManifests(d.second, &failures), 2);
    QCOMPARE(failures, QString());

    // Years later: one flipped byte in the backup, one photo gone from the first drive.
    const QString flipped =
        d.second + QLatin1Char('/') + CreatedFolder + QStringLiteral("/101CANON/IMG_0003.JPG");
    {
        QFile f(flipped);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        bytes[1000] = char(bytes[1000] ^ 0x01);
        QVERIFY(f.seek(0));
        f.write(bytes);
    }
    const QString lost =
        d.first + QLatin1Char('/') + CreatedFolder + QStringLiteral("/100CANON/IMG_0002.JPG");
    QVERIFY(QFile::remove(lost));
    QCOMPARE(checkManifests(d.second, &failures), 2);
    QVERIFY2(failures.contains(QStringLiteral("IMG_0003.JPG: FAILED")), qPrintable(failures));
    QCOMPARE(failures.count(QStringLiteral("FAILED")), 1);

    QCOMPARE(runTool(historyTool(), {QStringLiteral("--verify"), d.second}, &out, {}, d.history), 1);
    QCOMPARE(out, QStringLiteral("changed\t%1\n13 files checked, 1 changed, 0 missing\n").arg(flipped));
    QCOMPARE(runTool(historyTool(), {QStringLiteral("--verify"), d.first}, &out, {}, d.history), 1);
    QCOMPARE(out, QStringLiteral("missing\t%1\n13 files checked, 0 changed, 1 missing\n").arg(lost));
    QCOMPARE(runTool(historyTool(),
                     {QStringLiteral("--verify"), d.first + QStringLiteral("/取り込み/101CANON")}, &out, {},
                     d.history),
             0);
    QCOMPARE(out, QStringLiteral("6 files checked, 0 changed, 0 missing\n"));
}

// A backup drive that fills: the first copies go on, no source goes without both copies, the end
// message names each file still without its second copy, and the next run makes them from the first
// copies before it deletes those sources.
void TestBackup::fullBackupDriveKeepsSourcesUntilTheNextRun()
{
    QFETCH(bool, move);
    TestDir dir;
    Drives d(dir, "3m");
    if (!d.error().isEmpty())
        QSKIP(qPrintable(d.error()));
    const QHash<QString, QByteArray> card = makeCard(d.dcim(), 12, 512 * 1024, 11);
    const QString settings = writeSettings(dir.path(), d, d.second, move, false);
    QString out;
    QCOMPARE(runTool(m_driver.path, {QStringLiteral("--quiet"), settings}, &out), 1);
    QCOMPARE(photosIn(d.first), card);
    const QHash<QString, QByteArray> backedUp = photosIn(d.second);
    QVERIFY2(!backedUp.isEmpty() && backedUp.size() < card.size(), qPrintable(out));
    QStringList pending;
    for (auto it = card.cbegin(); it != card.cend(); ++it) {
        const QString source = d.dcim() + QLatin1Char('/') + it.key();
        if (backedUp.contains(it.key())) {
            QCOMPARE(backedUp.value(it.key()), it.value());
            QCOMPARE(QFileInfo::exists(source), !move);
        } else {
            QCOMPARE(contentOf(source), it.value());
            pending << source;
        }
    }
    pending.sort();
    const int at = out.indexOf(QStringLiteral("バックアップ先["));
    QVERIFY2(at >= 0, qPrintable(out));
    QStringList listed;
    for (const QString &line : out.mid(at).split(QLatin1Char('\n'))) {
        if (line.startsWith(d.dcim()))
            listed << line;
    }
    listed.sort();
    QCOMPARE(listed, pending);
    QVERIFY(out.contains(QStringLiteral("にコピーできなかったファイルがあります(%1個)").arg(pending.size())));

    // Room again (the drive emptied of something else): the skip box's run completes the backups.
    QCOMPARE(runTestTool(QStringLiteral("mount"),
                         {QStringLiteral("-o"), QStringLiteral("remount,size=64m"), d.second}),
             0);
    QCOMPARE(runTool(m_driver.path, {QStringLiteral("--quiet"), settings}, &out), 0);
    QCOMPARE(photosIn(d.second), card);
    QCOMPARE(photosIn(d.first), card);
    QCOMPARE(filesUnder(d.dcim()).size(), move ? 0 : card.size());
    QString failures;
    QCOMPARE(checkManifests(d.second, &failures), 2);
    QCOMPARE(failures, QString());
}

// A name taken on one drive only: both copies take the first name free on both, and nothing there is
// replaced.
void TestBackup::aNameTakenOnEitherDriveMovesBothCopiesOn()
{
    QFETCH(bool, move);
    TestDir dir;
    Drives d(dir, "64m");
    if (!d.error().isEmpty())
        QSKIP(qPrintable(d.error()));
    const QHash<QString, QByteArray> card = makeCard(d.dcim(), 4, 1000, 21);
    const QString folder = QLatin1Char('/') + CreatedFolder + QStringLiteral("/101CANON/");
    QVERIFY(QDir().mkpath(d.first + folder) && QDir().mkpath(d.second + folder));
    const QList<std::pair<QString, QByteArray>> taken = {
        {d.second + folder + QStringLiteral("IMG_0001.JPG"), "b1"},
        {d.first + folder + QStringLiteral("IMG_0003.JPG"), "f3"},
        {d.second + folder + QStringLiteral("IMG_0003_2.JPG"), "b3"}};
    for (const auto &[path, bytes] : taken) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QString out;
    QVERIFY2(runTool(m_driver.path,
                     {QStringLiteral("--quiet"), writeSettings(dir.path(), d, d.second, move, false)},
                     &out) == 0,
             qPrintable(out));
    QHash<QString, QByteArray> expected = card;
    expected.insert(QStringLiteral("101CANON/IMG_0001_2.JPG"),
                    expected.take(QStringLiteral("101CANON/IMG_0001.JPG")));
    expected.insert(QStringLiteral("101CANON/IMG_0003_3.JPG"),
                    expected.take(QStringLiteral("101CANON/IMG_0003.JPG")));
    QHash<QString, QByteArray> first = expected, second = expected;
    first.insert(QStringLiteral("101CANON/IMG_0003.JPG"), "f3");
    second.insert(QStringLiteral("101CANON/IMG_0001.JPG"), "b1");
    second.insert(QStringLiteral("101CANON/IMG_0003_2.JPG"), "b3");
    QCOMPARE(photosIn(d.first), first);
    QCOMPARE(photosIn(d.second), second);
    QCOMPARE(filesUnder(d.dcim()).size(), move ? 0 : card.size());
}

// A backup folder that is not there: nothing is written anywhere, the folder is named.
void TestBackup::missingBackupFolderWritesNothing()
{
    QFETCH(bool, move);
    TestDir dir;
    Drives d(dir, "8m");
    if (!d.error().isEmpty())
        QSKIP(qPrintable(d.error()));
    const QHash<QString, QByteArray> card = makeCard(d.dcim(), 4, 1000, 3);
    const QString missing = d.second + QStringLiteral("/ない");
    const QString settings = writeSettings(dir.path(), d, missing, move, false);
    QString out;
    QCOMPARE(runTool(m_driver.path, {QStringLiteral("--quiet"), settings}, &out), 1);
    QVERIFY2(
        out.startsWith(backupUnusableMessage(missing).replace(QLatin1String("\r\n"), QLatin1String("\n"))),
        qPrintable(out));
    QCOMPARE(filesUnder(d.first), QStringList());
    QCOMPARE(filesUnder(d.second), QStringList());
    QCOMPARE(filesUnder(d.dcim()).size(), card.size());
}

// Killed anywhere, the rerun with the skip box leaves every photo exactly once in each tree, under its
// own name, and nothing partial.
void TestBackup::killedRunThenRerunHasEveryFileOnce()
{
    QFETCH(bool, move);
    TestDir dir;
    Drives d(dir, "128m");
    if (!d.error().isEmpty())
        QSKIP(qPrintable(d.error()));
    const auto freshCard = [&d](quint32 seed) {
        for (const QString &tree : {d.dcim(), d.first, d.second}) {
            QDir(tree).removeRecursively();
            QDir().mkpath(tree);
        }
        QFile::remove(d.history);
        return makeCard(d.dcim(), 60, 300 * 1024, seed);
    };
    const QString settings = writeSettings(dir.path(), d, d.second, move, false);
    // One undisturbed run measures how long a run takes here; the kills fall anywhere inside it.
    freshCard(1);
    QElapsedTimer clock;
    clock.start();
    QString out;
    QVERIFY2(runTool(m_driver.path, {QStringLiteral("--quiet"), settings}, &out) == 0, qPrintable(out));
    const qint64 fullRun = clock.elapsed();
    QRandomGenerator random(20261209);
    int killedMidway = 0;
    for (int trial = 0; trial < 40 && killedMidway < 4; ++trial) {
        const QHash<QString, QByteArray> card = freshCard(100 * quint32(trial));
        const KilledRun run = killRunAfter(m_driver.path, settings,
                                           5 + int(random.bounded(qMax<qint64>(fullRun * 8 / 10, 20))));
        QVERIFY(run.ended);
        killedMidway += run.midway;
        // (Killed after the last source of a move went, it left nothing to do.)
        if (!filesUnder(d.dcim()).isEmpty())
            QVERIFY2(runTool(m_driver.path, {QStringLiteral("--quiet"), settings}, &out) == 0,
                     qPrintable(out));
        QCOMPARE(photosIn(d.first), card);
        QCOMPARE(photosIn(d.second), card);
        for (const QString &tree : {d.first, d.second}) {
            for (const QString &name : filesUnder(tree))
                QVERIFY2(!IsCopyLeftoverName(QFileInfo(name).fileName()), qPrintable(name));
        }
        QCOMPARE(filesUnder(d.dcim()).size(), move ? 0 : card.size());
    }
    QVERIFY2(killedMidway >= 4, qPrintable(QStringLiteral("only %1 kills hit a run").arg(killedMidway)));
}

// A second copy that differs when read back is removed again; its source stays until the next run has
// made the backup again from the first copy.
void TestBackup::corruptedBackupCopyIsCaughtByTheVerify()
{
    TestDir dir;
    Drives d(dir, "64m");
    if (!d.error().isEmpty())
        QSKIP(qPrintable(d.error()));
    const QHash<QString, QByteArray> card = makeCard(d.dcim(), 6, 20000, 5);
    const QString corrupted =
        d.second + QLatin1Char('/') + CreatedFolder + QStringLiteral("/100CANON/IMG_0004.JPG");
    SetBeforeVerifyHookForTesting([corrupted](const QString &copy) {
        if (copy != corrupted)
            return;
        QFile f(copy);
        if (f.open(QIODevice::ReadWrite) && f.seek(10))
            f.write("X");
    });
    SettingsRecord s = plainSettings(d.dcim() + QLatin1Char('/'));
    s.DelChecked = true;
    s.VerifyChecked = true;
    s.SkipImportedChecked = true;
    s.DirCreateChecked = true;
    s.DirNameEditText = CreatedFolder;
    s.PANA101Checked = true;
    s.BackupChecked = true;
    s.BackupDirText = d.second;
    ExtensionRows table{{QStringLiteral("*.JPG"), d.first}};
    QStringList files;
    for (const QString &relative : card.keys())
        files << d.dcim() + QLatin1Char('/') + relative;
    files.sort();
    TestPrompt prompt;
    MemoryTransferView view;
    TransferState state;
    {
        SqliteImportHistory store(d.history);
        const RunHistory history{&store, QStringLiteral("uuid:CARD"), QStringLiteral("CARD"), d.card, {}};
        const TransferOutcome outcome =
            RunShown(state, files, files.size(), table, s, view, d.dcim() + QLatin1Char('/'), &history);
        QVERIFY(!outcome);
    }
    const QString source = d.dcim() + QStringLiteral("/100CANON/IMG_0004.JPG");
    QCOMPARE(filesUnder(d.dcim()), QStringList{QStringLiteral("100CANON/IMG_0004.JPG")});
    QVERIFY(!QFileInfo::exists(corrupted));
    QCOMPARE(photosIn(d.first), card);
    QVERIFY(prompt.messages.contains(backupPendingMessage(d.second, {source})));
    SetBeforeVerifyHookForTesting({});

    // The next run with the skip box: the backup from the first copy, then the source goes.
    QString out;
    const QString settings = writeSettings(dir.path(), d, d.second, true, true);
    QVERIFY2(runTool(m_driver.path, {QStringLiteral("--quiet"), settings}, &out) == 0, qPrintable(out));
    QCOMPARE(photosIn(d.second), card);
    QCOMPARE(filesUnder(d.dcim()), QStringList());
}

QTEST_GUILESS_MAIN(TestBackup)
#include "tst_backup.moc"

void TestBackup::shotsAndReplacingNameBothCopiesAlike_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<QStringList>("first");  // name=content below the first folder after the run
    QTest::addColumn<QStringList>("second"); // the same below the backup folder
    const QStringList renumbered{u"IMG_0001_2.CR3=raw1"_s, u"IMG_0001_2.JPG=new1"_s, u"IMG_0002_2.CR3=raw2"_s,
                                 u"IMG_0002_2.JPG=new2"_s};
    const QStringList replaced{u"IMG_0001.CR3=raw1"_s, u"IMG_0001.JPG=new1"_s, u"IMG_0002.CR3=raw2"_s,
                               u"IMG_0002.JPG=new2"_s};
    // Before the run the first folder holds IMG_0001.JPG, the backup folder IMG_0002.CR3 and IMG_0001.CR3.
    QTest::newRow("shots kept together: a shot with a name taken on either drive is renumbered on both")
        << u"KeepShotsTogetherChecked=1"_s << QStringList{u"IMG_0001.JPG=old"_s} + renumbered
        << QStringList{u"IMG_0001.CR3=oldb1"_s, u"IMG_0002.CR3=oldb2"_s} + renumbered;
    QTest::newRow("replacing: each drive's file is replaced")
        << u"UwagakiChecked=1"_s << replaced << replaced;
    QTest::newRow("replacing, shots kept together")
        << u"UwagakiChecked=1\nKeepShotsTogetherChecked=1"_s << replaced << replaced;
}

void TestBackup::shotsAndReplacingNameBothCopiesAlike()
{
    QFETCH(QString, options);
    QFETCH(QStringList, first);
    QFETCH(QStringList, second);
    TestDir dir;
    const QString card = dir.createDir(QStringLiteral("card/DCIM/100CANON"));
    const QString into = dir.createDir(QStringLiteral("first/in/100CANON"));
    const QString backup = dir.createDir(QStringLiteral("second/in/100CANON"));
    for (const QString &name :
         {u"IMG_0001.JPG=new1"_s, u"IMG_0001.CR3=raw1"_s, u"IMG_0002.JPG=new2"_s, u"IMG_0002.CR3=raw2"_s})
        dir.createFile(QStringLiteral("card/DCIM/100CANON/") + name.section(u'=', 0, 0),
                       name.section(u'=', 1).toUtf8());
    dir.createFile(QStringLiteral("first/in/100CANON/IMG_0001.JPG"), "old");
    dir.createFile(QStringLiteral("second/in/100CANON/IMG_0001.CR3"), "oldb1");
    dir.createFile(QStringLiteral("second/in/100CANON/IMG_0002.CR3"), "oldb2");
    const QString settings = dir.createFile(
        QStringLiteral("settings.txt"),
        QStringLiteral(
            "SourceEditText=%1/card/DCIM/\nRow=*.JPG|%1/first\nRow=*.CR3|%1/first\nDirCreateChecked=1\n"
            "DirNameEditText=in\nPANA101Checked=1\nHistory=%1/h.sqlite\nVolume=uuid:CARD\n"
            "BackupChecked=1\nBackupDirText=%1/second\n%2\n")
            .arg(dir.path(), options)
            .toUtf8());
    QString out;
    QCOMPARE(runTool(m_driver.path, {QStringLiteral("--quiet"), settings}, &out), 0);
    const auto files = [](const QString &folder) {
        QStringList found;
        for (const QString &name : filesUnder(folder))
            found << name + QLatin1Char('=') + QString::fromUtf8(contentOf(folder + QLatin1Char('/') + name));
        return found;
    };
    first.sort();
    second.sort();
    QCOMPARE(files(into), first);
    QCOMPARE(files(backup), second);
}
