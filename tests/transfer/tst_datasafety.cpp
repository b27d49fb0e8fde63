#include "exfatdisk.h"
#include "mounthelper.h"
#include "platform/copyfile.h"
#include "sandbox.h"
#include "settings/settingsrecord.h"
#include "source/sourcewalk.h"
#include "testdir.h"
#include "testprompt.h"
#include "transfer/copyprogress.h"
#include "transfer/memorytransferview.h"
#include "transfer/transferloop.h"
#include "transfer/transferstate.h"
#include "transferdriver.h"
#include "transferfixture.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

using namespace vantora;
using namespace vantora::test;

// The ways a run could lose or damage a photo, each tried for real.
class TestDataSafety final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void sameNameInTwoCameraFolders_data();
    void sameNameInTwoCameraFolders();
    void nameTakenDuringAnOverwritingCopy();
    void namesThatDifferInCaseOnExfat_data();
    void namesThatDifferInCaseOnExfat();
    void silentDestinationDriveNamed();
    void cardsWithoutIdentityNeverTakenForEachOther();
    void killedCopyLeavesNoNamedFile_data();
    void killedCopyLeavesNoNamedFile();
    void leftoverTemporariesRemovedNotCopied();
    void ordinaryUserNamesUnnamedCopy();
    void folderLinkNeverDeletedThrough();
    void targetInsideSourceRefused_data();
    void targetInsideSourceRefused();
    void targetAboveSourceAllowed();
    void deletedCreatedFolderMadeAgain();
    void removedCardNamedInMessage();
    void failureSaysWhy_data();
    void failureSaysWhy();
    void failedFlushKeepsEverySource();
    void replacedFileKeepsSource_data();
    void replacedFileKeepsSource();
    void sourceRemovedOnlyAfterFlush();
    void movedSourceNamedOnlyToOpenCheckAndDelete_data();
    void movedSourceNamedOnlyToOpenCheckAndDelete();
    void everyNameFollowsAFlushOfItsData_data();
    void everyNameFollowsAFlushOfItsData();
    void finalFlushKeepsWindowTurning();

private:
    TransferDriver m_driver;
};

namespace {

// Writes a file under a temporary name and renames it over path: a different file at the same name.
void replaceFile(const QString &path, const QByteArray &content, const QDateTime &mtime = {})
{
    const QString temp = path + QStringLiteral(".new");
    QFile f(temp);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();
    if (mtime.isValid()) {
        struct utimbuf t;
        t.actime = t.modtime = mtime.toSecsSinceEpoch();
        ::utime(QFile::encodeName(temp).constData(), &t);
    }
    QVERIFY(::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) == 0);
}

// True when the process holds a file open inside folder (an unnamed temporary shows as "folder/#n").
bool holdsFileIn(qint64 pid, const QString &folder)
{
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    const QStringList entries = QDir(fds).entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    for (const QString &fd : entries) {
        const QString target = QFile::symLinkTarget(fds + QLatin1Char('/') + fd);
        if (target.startsWith(folder + QLatin1Char('/')))
            return true;
    }
    return false;
}

// The daemon serving the FUSE filesystem mounted on folder; 0 when none is found.
qint64 fuseDaemonOf(const QString &folder)
{
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : pids) {
        QFile f(QStringLiteral("/proc/") + pid + QStringLiteral("/cmdline"));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> args = f.readAll().split('\0');
        if (args.contains(QFile::encodeName(folder)) && args.first().contains("exfat"))
            return pid.toLongLong();
    }
    return 0;
}

} // namespace

void TestDataSafety::initTestCase()
{
    QVERIFY2(m_driver.prepare(), qPrintable(m_driver.path + QStringLiteral(" is not built")));
}

void TestDataSafety::cleanup()
{
    SetFlushFaultForTesting({});
}

void TestDataSafety::sameNameInTwoCameraFolders_data()
{
    copyAndMoveRows(true);
}

void TestDataSafety::sameNameInTwoCameraFolders()
{
    QFETCH(bool, move);
    QFETCH(bool, overwrite);
    TransferRig rig(QStringLiteral("card/DCIM/"));
    auto &[dir, prompt, out, s, view, state] = rig;
    const QByteArray first = randomBytes(50000, 1);
    const QByteArray second = randomBytes(50000, 2); // equal sizes
    const QString a = dir.createFile(QStringLiteral("card/DCIM/100CANON/IMG_0001.JPG"), first);
    const QString b = dir.createFile(QStringLiteral("card/DCIM/101CANON/IMG_0001.JPG"), second);
    // A file there before the run is still replaced when overwriting: only the run's own files are kept.
    const QString older = dir.createFile(QStringLiteral("out/IMG_0002.JPG"), "old");
    const QString c = dir.createFile(QStringLiteral("card/DCIM/101CANON/IMG_0002.JPG"), randomBytes(900, 3));
    s.DelChecked = move;
    s.UwagakiChecked = overwrite;
    QVERIFY(RunShown(state, {a, b, c}, 3, {{QStringLiteral("*.JPG"), out}}, s, view, s.SourceEditText));

    QCOMPARE(contentOf(out + QStringLiteral("/IMG_0001.JPG")), first);
    QCOMPARE(contentOf(out + QStringLiteral("/IMG_0001_2.JPG")), second);
    QCOMPARE(view.worked, QStringLiteral("3"));
    if (overwrite) {
        QCOMPARE(contentOf(older), randomBytes(900, 3));
        QCOMPARE(filesUnder(out).size(), 3);
    } else {
        QCOMPARE(contentOf(older), QByteArray("old"));
        QCOMPARE(contentOf(out + QStringLiteral("/IMG_0002_2.JPG")), randomBytes(900, 3));
    }
    QCOMPARE(QFileInfo::exists(a), !move);
    QCOMPARE(QFileInfo::exists(b), !move);
    QVERIFY(prompt.messages.isEmpty());
}

void TestDataSafety::nameTakenDuringAnOverwritingCopy()
{
    // With overwrite on, a file that appears under the name while the copy is written is replaced like one
    // that was there before; the photo is neither dropped silently nor reported as copied when it was not.
    for (const bool move : {false, true}) {
        TransferRig rig(QStringLiteral("card/DCIM/"));
        auto &[dir, prompt, out, s, view, state] = rig;
        const QByteArray photo = randomBytes(300000, 7);
        const QString a = dir.createFile(QStringLiteral("card/DCIM/100CANON/IMG_0001.JPG"), photo);
        const QString target = out + QStringLiteral("/IMG_0001.JPG");
        bool created = false;
        view.onPump = [&] {
            if (!created) {
                created = true;
                QFile late(target);
                QVERIFY(late.open(QIODevice::WriteOnly));
                late.write("arrived meanwhile");
            }
        };
        s.DelChecked = move;
        s.UwagakiChecked = true;
        const TransferOutcome outcome =
            RunShown(state, {a}, 1, {{QStringLiteral("*.JPG"), out}}, s, view, s.SourceEditText);
        QVERIFY(created);
        QVERIFY(outcome);
        QCOMPARE(outcome.copied, 1);
        QCOMPARE(contentOf(target), photo);
        QCOMPARE(filesUnder(out), QStringList{QStringLiteral("IMG_0001.JPG")});
        QCOMPARE(QFileInfo::exists(a), !move);
        QVERIFY(prompt.messages.isEmpty());
    }
}

void TestDataSafety::namesThatDifferInCaseOnExfat_data()
{
    copyAndMoveRows(true);
}

// A drive that ignores case (an exFAT disk) holds one file for IMG_0001.JPG and img_0001.jpg: the second
// photo of the run must take a free name, never replace the first.
void TestDataSafety::namesThatDifferInCaseOnExfat()
{
    QFETCH(bool, move);
    QFETCH(bool, overwrite);
    if (!m_driver.namespaceError.isEmpty())
        QSKIP(qPrintable(m_driver.namespaceError));
    TransferRig rig(QStringLiteral("card/DCIM/"));
    auto &[dir, prompt, out, s, view, state] = rig;
    const QString drive = dir.createDir(QStringLiteral("exfat"));
    ExfatDisk disk(dir.filePath(QStringLiteral("exfat.img")), drive, 16);
    if (!disk.error().isEmpty())
        QSKIP(qPrintable(disk.error()));
    const QString a =
        dir.createFile(QStringLiteral("card/DCIM/100CANON/IMG_0001.JPG"), randomBytes(40000, 1));
    const QString b =
        dir.createFile(QStringLiteral("card/DCIM/101PHONE/img_0001.jpg"), randomBytes(40000, 2));
    s.DelChecked = move;
    s.UwagakiChecked = overwrite;
    QVERIFY(RunShown(state, {a, b}, 2, {{QStringLiteral("*.*"), drive}}, s, view, s.SourceEditText));
    QCOMPARE(filesUnder(drive),
             (QStringList{QStringLiteral("IMG_0001.JPG"), QStringLiteral("img_0001_2.jpg")}));
    QCOMPARE(contentOf(drive + QStringLiteral("/IMG_0001.JPG")), randomBytes(40000, 1));
    QCOMPARE(contentOf(drive + QStringLiteral("/img_0001_2.jpg")), randomBytes(40000, 2));
    QCOMPARE(filesUnder(dir.filePath(QStringLiteral("card"))).size(), move ? 0 : 2);
    QVERIFY(prompt.messages.isEmpty());
}

// A destination whose filesystem stops answering (its FUSE daemon died) is named in words; no source
// goes.
void TestDataSafety::silentDestinationDriveNamed()
{
    if (!m_driver.namespaceError.isEmpty())
        QSKIP(qPrintable(m_driver.namespaceError));
    TransferRig rig(QStringLiteral("card/DCIM/"));
    auto &[dir, prompt, out, s, view, state] = rig;
    const QString drive = dir.createDir(QStringLiteral("exfat"));
    ExfatDisk disk(dir.filePath(QStringLiteral("exfat.img")), drive, 16);
    if (!disk.error().isEmpty())
        QSKIP(qPrintable(disk.error()));
    const qint64 daemon = fuseDaemonOf(drive);
    QVERIFY(daemon > 0);
    const QString a = dir.createFile(QStringLiteral("card/DCIM/100CANON/A.JPG"), randomBytes(1000, 1));
    const QString b = dir.createFile(QStringLiteral("card/DCIM/100CANON/B.JPG"), randomBytes(4 << 20, 2));
    s.DelChecked = true;
    view.onPump = [&] {
        if (rig.view.worked == QLatin1String("1") && ::kill(pid_t(daemon), 0) == 0) {
            ::kill(pid_t(daemon), SIGKILL);
            while (::kill(pid_t(daemon), 0) == 0)
                QThread::msleep(5);
        }
    };
    QVERIFY(!RunShown(state, {a, b}, 2, {{QStringLiteral("*.*"), drive}}, s, view, s.SourceEditText));
    QVERIFY(!prompt.messages.isEmpty());
    const QString message = prompt.messages.first();
    QVERIFY2(message.startsWith(silentDriveMessage(drive)), qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral("\r\n転送元：") + b), qPrintable(message));
    QCOMPARE(view.status, silentDriveStatusText(drive));
    QCOMPARE(contentOf(a), randomBytes(1000, 1));
    QCOMPARE(contentOf(b), randomBytes(4 << 20, 2));
}

// Two cards without a filesystem UUID (of one size and label, as two tmpfs volumes are) holding photos of
// the same names, sizes and times: the second card's photos are new, whatever the history holds of the
// first, and a move with the skip box copies them before it deletes them.
void TestDataSafety::cardsWithoutIdentityNeverTakenForEachOther()
{
    if (!m_driver.namespaceError.isEmpty())
        QSKIP(qPrintable(m_driver.namespaceError));
    TestDir dir;
    const QString dst = dir.createDir(QStringLiteral("dst"));
    QSet<QByteArray> contents;
    for (const int card : {1, 2}) {
        const QString root = dir.createDir(QStringLiteral("card%1").arg(card));
        SmallDisk disk(root, "8m");
        if (!disk.mounted())
            QSKIP(qPrintable(disk.error()));
        for (int i = 1; i <= 3; ++i) {
            const QByteArray content = randomBytes(30000, quint32(card * 10 + i));
            const QString photo = dir.createFile(
                QStringLiteral("card%1/DCIM/100CANON/IMG_000%2.JPG").arg(card).arg(i), content);
            struct utimbuf t;
            t.actime = t.modtime = 1767225600 + i;
            QCOMPARE(::utime(QFile::encodeName(photo).constData(), &t), 0);
            contents.insert(content);
        }
        const QString settings = writeDriverSettings(dir.path(), root + QStringLiteral("/DCIM"), dst, true,
                                                     QStringLiteral("*.JPG"));
        QFile f(settings);
        QVERIFY(f.open(QIODevice::Append));
        f.write(QStringLiteral("SkipImportedChecked=1\nHistory=%1\n")
                    .arg(dir.filePath(QStringLiteral("history.sqlite")))
                    .toUtf8());
        f.close();
        QString out;
        QCOMPARE(runTestTool(m_driver.path, {QStringLiteral("--quiet"), settings}, &out), 0);
        QVERIFY2(filesUnder(root).isEmpty(), qPrintable(out));
    }
    const QStringList arrived = filesUnder(dst);
    QSet<QByteArray> copies;
    for (const QString &name : arrived)
        copies.insert(contentOf(dst + QLatin1Char('/') + name));
    QCOMPARE(arrived.size(), 6);
    QCOMPARE(copies, contents);
}

void TestDataSafety::killedCopyLeavesNoNamedFile_data()
{
    filesystemRows({QStringLiteral("tmpfs"), QStringLiteral("exfat")});
}

void TestDataSafety::killedCopyLeavesNoNamedFile()
{
    TestDir dir;
    const TestFilesystem fs(m_driver, dir, QStringLiteral("dst"), 600);
    if (!fs.error().isEmpty())
        QSKIP(qPrintable(fs.error()));
    const QString dst = fs.path();
    const QString src = dir.createDir(QStringLiteral("src/DCIM"));
    const QByteArray big = randomBytes(256 << 20, 7);
    const QString movie = dir.createFile(QStringLiteral("src/DCIM/100CANON/MVI_0001.MOV"), big);
    const QString settings = writeDriverSettings(dir.path(), src, dst, false, QStringLiteral("*.*"));

    QProcess p;
    p.start(m_driver.path, {QStringLiteral("--quiet"), settings});
    QVERIFY(p.waitForStarted());
    // Kill it while it writes into the destination.
    bool caught = false;
    for (int i = 0; i < 20000 && p.state() == QProcess::Running; ++i) {
        if (holdsFileIn(p.processId(), dst)) {
            ::kill(pid_t(p.processId()), SIGKILL);
            caught = true;
            break;
        }
        QThread::usleep(200);
    }
    QVERIFY(p.waitForFinished(30000));
    if (!caught)
        QSKIP("the copy ended before it could be caught");
    QCOMPARE(p.exitStatus(), QProcess::CrashExit);
    // Nothing looks like a photo: at most a hidden temporary, never the camera's own name.
    for (const QString &name : filesUnder(dst))
        QVERIFY2(IsCopyLeftoverName(QFileInfo(name).fileName()), qPrintable(name));

    // The next run writes the file under its own name and clears what the killed one left.
    QCOMPARE(runTestTool(m_driver.path, {QStringLiteral("--quiet"), settings}), 0);
    QCOMPARE(filesUnder(dst), QStringList{QStringLiteral("MVI_0001.MOV")});
    QVERIFY(contentOf(dst + QStringLiteral("/MVI_0001.MOV")) == big);
}

void TestDataSafety::leftoverTemporariesRemovedNotCopied()
{
    TransferRig rig;
    auto &[dir, prompt, out, s, view, state] = rig;
    const QString leftover = dir.createFile(QStringLiteral("out/.vtx-k3j2h1.part"), "half a photo");
    const QString foreign = dir.createFile(QStringLiteral("out/.hidden.part"), "someone else's");
    const QString a = dir.createFile(QStringLiteral("src/A.JPG"), "a");
    QVERIFY(RunShown(state, {a}, 0, {{QStringLiteral("*.*"), out}}, s, view, s.SourceEditText));
    QVERIFY(!QFileInfo::exists(leftover));
    QVERIFY(QFileInfo::exists(foreign));
    QCOMPARE(filesUnder(out), QStringList({QStringLiteral(".hidden.part"), QStringLiteral("A.JPG")}));
    // A card or folder holding such a leftover: never counted, listed or copied.
    dir.createFile(QStringLiteral("src/.vtx-99zz.part"), "half");
    QCOMPARE(CollectRunList(dir.filePath(QStringLiteral("src/")), {QStringLiteral("*.*")}), QStringList{a});
    QVERIFY(IsCopyLeftoverName(QStringLiteral(".vtx-abc.part")));
    QVERIFY(!IsCopyLeftoverName(QStringLiteral("vtx-abc.part")));
    QVERIFY(!IsCopyLeftoverName(QStringLiteral(".vtx-abc.JPG")));
}

// Naming an unnamed temporary through /proc needs no privilege (the other way does): a user's own copy.
void TestDataSafety::ordinaryUserNamesUnnamedCopy()
{
    TestDir dir;
    const QByteArray photo = randomBytes(300000, 5);
    const QString src = dir.createFile(QStringLiteral("src/A.JPG"), photo);
    const QString out = dir.createDir(QStringLiteral("out"));
    const QString taken = dir.createFile(QStringLiteral("out/B.JPG"), "older");
    for (const QString &d : {dir.path(), dir.filePath(QStringLiteral("src"))})
        QVERIFY(::chmod(QFile::encodeName(d).constData(), 0755) == 0);
    QVERIFY(::chmod(QFile::encodeName(out).constData(), 0777) == 0);
    QVERIFY(::chmod(QFile::encodeName(src).constData(), 0644) == 0);

    const auto copies = [&] {
        int f = 0;
        if (CopyFileWithProgress(src, out + QStringLiteral("/A.JPG"), {}, nullptr))
            f |= 1;
        if (CopyFileWithProgress(src, taken, {}, nullptr).kind != CopyError::Exists)
            f |= 2;
        return f;
    };
    int found = 0;
    if (::geteuid() == 0) {
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(100);
            ::_exit(copies());
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QVERIFY2(WEXITSTATUS(status) != 100, "could not become an ordinary user");
        found = WEXITSTATUS(status);
    } else {
        found = copies();
    }
    QCOMPARE(found & 1, 0);
    QCOMPARE(found & 2, 0);
    QCOMPARE(contentOf(out + QStringLiteral("/A.JPG")), photo);
    QCOMPARE(contentOf(taken), QByteArray("older"));
    QCOMPARE(filesUnder(out), QStringList({QStringLiteral("A.JPG"), QStringLiteral("B.JPG")}));
}

void TestDataSafety::folderLinkNeverDeletedThrough()
{
    TransferRig rig(QStringLiteral("card/DCIM/"));
    auto &[dir, prompt, out, s, view, state] = rig;
    const QString elsewhere = dir.createFile(QStringLiteral("home/Pictures/album/B.JPG"), "album photo");
    const QString a = dir.createFile(QStringLiteral("card/DCIM/100CANON/A.JPG"), "card photo");
    const QString link = dir.filePath(QStringLiteral("card/DCIM/album"));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("home/Pictures/album")), link));
    s.DelChecked = true;
    QVERIFY(RunShown(state, {a, link + QStringLiteral("/B.JPG")}, 0, {{QStringLiteral("*.JPG"), out}}, s,
                     view, s.SourceEditText));
    // Both copied; the card's file moved, the file the link leads to untouched.
    QCOMPARE(filesUnder(out), QStringList({QStringLiteral("A.JPG"), QStringLiteral("B.JPG")}));
    QVERIFY(!QFileInfo::exists(a));
    QCOMPARE(contentOf(elsewhere), QByteArray("album photo"));
    QCOMPARE(prompt.messages, QStringList{notDeletedMessage()});
    QVERIFY(!state.movedFromFolders.contains(link));
}

void TestDataSafety::targetInsideSourceRefused_data()
{
    QTest::addColumn<bool>("move");
    QTest::addColumn<QString>("row"); // relative to the source folder's parent
    QTest::addColumn<bool>("camera");
    QTest::newRow("copy into itself") << false << QStringLiteral("Pictures") << false;
    QTest::newRow("move into itself") << true << QStringLiteral("Pictures") << false;
    QTest::newRow("move into a sub-folder") << true << QStringLiteral("Pictures/Imported") << false;
    QTest::newRow("camera folder lands on the source") << true << QStringLiteral("") << true;
}

void TestDataSafety::targetInsideSourceRefused()
{
    QFETCH(bool, move);
    QFETCH(QString, row);
    QFETCH(bool, camera);
    TestDir dir;
    TestPrompt prompt;
    // A card pulled while it was the source leaves the Pictures folder as the source.
    const QString a = dir.createFile(QStringLiteral("home/Pictures/Album/A.JPG"), "a");
    const QString b = dir.createFile(QStringLiteral("home/Pictures/B.JPG"), "b");
    const QString source = dir.filePath(QStringLiteral("home/Pictures/"));
    const QString target = dir.filePath(QStringLiteral("home/") + row);
    QDir().mkpath(target);
    SettingsRecord s = plainSettings(source);
    s.DelChecked = move;
    TransferState state;
    if (camera) {
        // home/ + camera folder "Pictures" is the source again.
        s.PANA101Checked = true;
        s.SourceEditText = dir.filePath(QStringLiteral("home/Pictures/DCIM/"));
        dir.createFile(QStringLiteral("home/Pictures/DCIM/Pictures/C.JPG"), "c");
    }
    const QStringList list =
        camera ? QStringList{dir.filePath(QStringLiteral("home/Pictures/DCIM/Pictures/C.JPG"))}
               : QStringList{a, b};
    const QString sourceFolder = camera ? dir.filePath(QStringLiteral("home/Pictures/DCIM/")) : source;
    const QStringList before = filesUnder(dir.path());
    MemoryTransferView view;
    if (camera) {
        // The created folder puts the camera folder right back inside the source.
        s.DirCreateChecked = true;
        s.DirNameEditText = QStringLiteral("Pictures/DCIM");
        s.SourceEditText = sourceFolder;
    }
    QVERIFY(!RunShown(state, list, 0, {{QStringLiteral("*.JPG"), target}}, s, view, sourceFolder));
    QCOMPARE(prompt.messages.size(), 1);
    QVERIFY2(prompt.messages.at(0).startsWith(QStringLiteral("転送先フォルダ[")),
             qPrintable(prompt.messages.at(0)));
    QVERIFY(prompt.messages.at(0).contains(QStringLiteral("]が転送元フォルダ[") + sourceFolder +
                                           QLatin1Char(']')));
    QCOMPARE(filesUnder(dir.path()), before);
    QVERIFY(!state.running);
}

void TestDataSafety::targetAboveSourceAllowed()
{
    TestDir dir;
    TestPrompt prompt;
    const QString a = dir.createFile(QStringLiteral("home/Pictures/Incoming/A.JPG"), "a");
    const QString pictures = dir.filePath(QStringLiteral("home/Pictures"));
    SettingsRecord s = plainSettings(dir.filePath(QStringLiteral("home/Pictures/Incoming/")));
    s.DelChecked = true;
    s.DirCreateChecked = true;
    s.DirNameEditText = QStringLiteral("2026");
    MemoryTransferView view;
    TransferState state;
    QVERIFY(RunShown(state, {a}, 0, {{QStringLiteral("*.JPG"), pictures}}, s, view, s.SourceEditText));
    QCOMPARE(contentOf(pictures + QStringLiteral("/2026/A.JPG")), QByteArray("a"));
    QVERIFY(!QFileInfo::exists(a));
    QVERIFY(prompt.messages.isEmpty());
}

void TestDataSafety::deletedCreatedFolderMadeAgain()
{
    TransferRig rig(QStringLiteral("card/DCIM/"));
    auto &[dir, prompt, out, s, view, state] = rig;
    const QString a = dir.createFile(QStringLiteral("card/DCIM/100CANON/A.JPG"), "a");
    s.DirCreateChecked = true;
    s.DirNameEditText = QStringLiteral("import");
    s.PANA101Checked = true;
    QVERIFY(RunShown(state, {a}, 0, {{QStringLiteral("*.JPG"), out}}, s, view, s.SourceEditText));
    QVERIFY(QFileInfo::exists(out + QStringLiteral("/import/100CANON/A.JPG")));
    // The user deletes what the first run made; the window stays open for a second run.
    QVERIFY(QDir(out + QStringLiteral("/import")).removeRecursively());
    MemoryTransferView again;
    QVERIFY(RunShown(state, {a}, 0, {{QStringLiteral("*.JPG"), out}}, s, again, s.SourceEditText));
    QVERIFY(QFileInfo::exists(out + QStringLiteral("/import/100CANON/A.JPG")));
    QVERIFY(prompt.messages.isEmpty());
}

void TestDataSafety::removedCardNamedInMessage()
{
    if (!m_driver.namespaceError.isEmpty())
        QSKIP(qPrintable(m_driver.namespaceError));
    TestDir dir;
    TestPrompt prompt;
    const QString card = dir.createDir(QStringLiteral("card"));
    SmallDisk disk(card, "64m");
    if (!disk.mounted())
        QSKIP(qPrintable(disk.error()));
    QStringList list;
    for (int i = 1; i <= 4; ++i)
        list << dir.createFile(QStringLiteral("card/DCIM/100CANON/IMG_%1.JPG").arg(i),
                               randomBytes(3 << 20, quint32(i)));
    const QString out = dir.createDir(QStringLiteral("out"));
    SettingsRecord s = plainSettings(card + QStringLiteral("/DCIM/"));
    MemoryTransferView view;
    bool pulled = false;
    view.onPump = [&] {
        // The card is pulled while the second photo is copied.
        if (!pulled && view.fileName == QLatin1String("IMG_2.JPG")) {
            pulled = runTestTool(QStringLiteral("umount"), {QStringLiteral("-l"), card}) == 0;
        }
    };
    TransferState state;
    QVERIFY(!RunShown(state, list, 4, {{QStringLiteral("*.JPG"), out}}, s, view, s.SourceEditText));
    QVERIFY(pulled);
    QCOMPARE(view.status, unknownErrorStatusText());
    QCOMPARE(prompt.messages.size(), 1);
    const QString message = prompt.messages.at(0);
    QVERIFY2(message.startsWith(QStringLiteral("転送処理で不明なエラーが発生しました\r\n\r\nCopyFileEx: ")),
             qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral("メモリーカードが取り外されたか")), qPrintable(message));
    // It names the first photo that could not be read (one opened ahead of the pull is still read
    // whole); what was copied before it is whole.
    qsizetype copied = 0;
    while (copied < list.size() && QFileInfo::exists(out + QStringLiteral("/IMG_%1.JPG").arg(copied + 1)))
        ++copied;
    QVERIFY(copied >= 1 && copied < list.size());
    QVERIFY2(message.contains(list.at(copied)), qPrintable(message));
    for (qsizetype i = 0; i < copied; ++i)
        QCOMPARE(contentOf(out + QStringLiteral("/IMG_%1.JPG").arg(i + 1)),
                 randomBytes(3 << 20, quint32(i + 1)));
    QCOMPARE(filesUnder(out).size(), copied);
}

void TestDataSafety::failureSaysWhy_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason");
    QTest::newRow("no permission") << QStringLiteral("immutable")
                                   << QStringLiteral("転送先のフォルダに書き込む権限がありません");
    QTest::newRow("name too long") << QStringLiteral("long")
                                   << QStringLiteral("ファイル名が転送先のファイルシステムには長すぎます");
    QTest::newRow("source gone") << QStringLiteral("vanished")
                                 << QStringLiteral("転送元のファイルが見つかりません");
}

// The message's own text stays first; then what happened, in words, and to which file.
void TestDataSafety::failureSaysWhy()
{
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    TransferRig rig(QStringLiteral("card/DCIM/"));
    auto &[dir, prompt, out, s, view, state] = rig;
    const QString longName = QString(240, QLatin1Char('a')) + QStringLiteral(".JPG");
    const QString a =
        dir.createFile(QStringLiteral("card/DCIM/100CANON/") +
                           (fault == QLatin1String("long") ? longName : QStringLiteral("A.JPG")),
                       "photo");
    s.DelChecked = true;
    std::unique_ptr<ImmutableFolder> locked;
    if (fault == QLatin1String("immutable")) {
        locked = std::make_unique<ImmutableFolder>(out);
        if (!locked->applied())
            QSKIP("chattr +i is not available here");
    } else if (fault == QLatin1String("long")) {
        s.RenameChecked = true;
        s.FileNameEditText = QStringLiteral("[元のファイル名]_imported_from_the_card");
    } else {
        QVERIFY(QFile::remove(a));
    }
    QVERIFY(!RunShown(state, {a}, 0, {{QStringLiteral("*.JPG"), out}}, s, view, s.SourceEditText));
    locked.reset();
    QCOMPARE(prompt.messages.size(), 1);
    const QString message = prompt.messages.at(0);
    QVERIFY2(message.startsWith(QStringLiteral("転送処理で不明なエラーが発生しました\r\n\r\nCopyFileEx: ")),
             qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral("\r\n\r\n") + reason + QStringLiteral("\r\n転送元：") + a),
             qPrintable(message));
    QCOMPARE(view.status, unknownErrorStatusText());
    // Nothing lost: the source stays wherever it was not copied.
    if (fault != QLatin1String("vanished"))
        QCOMPARE(contentOf(a), QByteArray("photo"));
    QCOMPARE(filesUnder(out), QStringList());
}

void TestDataSafety::failedFlushKeepsEverySource()
{
    TransferRig rig(QStringLiteral("card/DCIM/"));
    auto &[dir, prompt, out, s, view, state] = rig;
    QStringList list;
    for (int i = 1; i <= 5; ++i)
        list << dir.createFile(QStringLiteral("card/DCIM/100CANON/IMG_%1.JPG").arg(i),
                               randomBytes(1000, quint32(i)));
    s.DelChecked = true;
    SetFlushFaultForTesting([] { return EIO; });
    QVERIFY(!RunShown(state, list, 0, {{QStringLiteral("*.JPG"), out}}, s, view, s.SourceEditText));
    for (const QString &source : std::as_const(list))
        QVERIFY2(QFileInfo::exists(source), qPrintable(source));
    QCOMPARE(filesUnder(out), QStringList()); // never on the disk, so never named
    QCOMPARE(view.status, unknownErrorStatusText());
    QCOMPARE(prompt.messages.size(), 2);
    QVERIFY(prompt.messages.at(0).startsWith(unknownErrorMessage(CopyError::fromErrno(EIO))));
    QCOMPARE(prompt.messages.at(1), notDeletedMessage());
}

void TestDataSafety::replacedFileKeepsSource_data()
{
    QTest::addColumn<bool>("replaceCopy");
    // A.JPG was copied and waits for its deletion when another file takes its name at the source.
    QTest::newRow("source replaced") << false;
    // Something else takes the copy's name (same size, same time) before the source goes.
    QTest::newRow("copy replaced") << true;
}

void TestDataSafety::replacedFileKeepsSource()
{
    QFETCH(bool, replaceCopy);
    TransferRig rig(QStringLiteral("card/DCIM/"));
    auto &[dir, prompt, out, s, view, state] = rig;
    const QString a = dir.createFile(QStringLiteral("card/DCIM/100CANON/A.JPG"), randomBytes(5000, 1));
    const QString b = dir.createFile(QStringLiteral("card/DCIM/100CANON/B.JPG"), randomBytes(5000, 2));
    const QString copy = out + QStringLiteral("/A.JPG");
    const QString victim = replaceCopy ? copy : a;
    s.DelChecked = true;
    bool replaced = false;
    const auto replace = [&] {
        if (!replaced && QFileInfo::exists(victim)) {
            replaced = true;
            replaceFile(victim, randomBytes(5000, 99), QFileInfo(victim).lastModified());
        }
    };
    // The copy has its name from the flush before the sources go.
    if (replaceCopy) {
        SetFlushFaultForTesting([&] {
            replace();
            return 0;
        });
    } else {
        view.onPump = [&] {
            if (rig.view.fileName == QLatin1String("B.JPG"))
                replace();
        };
    }
    const bool ok =
        bool(RunShown(state, {a, b}, 0, {{QStringLiteral("*.JPG"), out}}, s, view, s.SourceEditText));
    QVERIFY(replaced);
    if (!replaceCopy)
        QVERIFY(ok);
    QCOMPARE(contentOf(a), replaceCopy ? randomBytes(5000, 1) : randomBytes(5000, 99));
    QVERIFY(!QFileInfo::exists(b));
    if (!replaceCopy)
        QCOMPARE(contentOf(copy), randomBytes(5000, 1));
    QCOMPARE(prompt.messages, QStringList{notDeletedMessage()});
}

// Every source of a move is removed only after a successful flush of the filesystem (or the file and
// folder) holding its copy, recorded from the system calls of the real driver.
void TestDataSafety::sourceRemovedOnlyAfterFlush()
{
    if (runTestTool(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("command -v strace")}) != 0)
        QSKIP("strace is not installed");
    TestDir dir;
    const QString src = dir.createDir(QStringLiteral("card/DCIM"));
    const QString dst = dir.createDir(QStringLiteral("dst"));
    // More than one batch of pending deletions.
    for (int i = 0; i < 150; ++i)
        dir.createFile(
            QStringLiteral("card/DCIM/%1CANON/IMG_%2.JPG").arg(100 + i % 2).arg(i, 4, 10, QLatin1Char('0')),
            randomBytes(i % 50 == 0 ? 3 << 20 : 2000, quint32(i)));
    const QString settings = writeDriverSettings(dir.path(), src, dst, true, QStringLiteral("*.*"));
    const QString trace = dir.filePath(QStringLiteral("trace.txt"));
    QString out;
    QCOMPARE(
        runTestTool(
            QStringLiteral("strace"),
            {QStringLiteral("-f"), QStringLiteral("-y"), QStringLiteral("-qq"), QStringLiteral("-s"),
             QStringLiteral("4096"), QStringLiteral("-e"),
             QStringLiteral("trace=unlink,unlinkat,syncfs,fsync,fdatasync,linkat,rename,renameat,renameat2"),
             QStringLiteral("-o"), trace, m_driver.path, QStringLiteral("--quiet"), settings},
            &out),
        0);
    QCOMPARE(filesUnder(dst).size(), 150);
    QCOMPARE(filesUnder(src).size(), 0);

    QFile f(trace);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    // A call on one thread while another makes calls is written in two lines, "PID call(... <unfinished
    // ...>" and, where it returns, "PID <... call resumed>...) = 0": joined, each call with the lines where
    // it began and returned.
    struct Call
    {
        QString text;
        int begun;
        int returned;
    };
    static const QRegularExpression unfinished(QStringLiteral("^(\\d+) +(.*) <unfinished \\.\\.\\.>$"));
    static const QRegularExpression resumed(QStringLiteral("^(\\d+) +<\\.\\.\\. \\w+ resumed>(.*)$"));
    QHash<QString, std::pair<QString, int>> open; // thread -> its call's first part, line
    QList<Call> calls;
    for (int i = 0; i < lines.size(); ++i) {
        if (const auto m = unfinished.match(lines.at(i)); m.hasMatch()) {
            open.insert(m.captured(1), {m.captured(2), i});
        } else if (const auto r = resumed.match(lines.at(i)); r.hasMatch()) {
            const auto [first, begun] = open.take(r.captured(1));
            calls.append({first + r.captured(2), begun, i});
        } else {
            calls.append({lines.at(i), i, i});
        }
    }
    static const QRegularExpression named(
        QStringLiteral("(?:linkat|renameat2?|rename)\\(.*\"([^\"]+)\".*\\) += 0$"));
    static const QRegularExpression flush(
        QStringLiteral("(?:syncfs|fsync|fdatasync)\\(\\d+<([^>]+)>\\) += 0$"));
    static const QRegularExpression removed(
        QStringLiteral("unlink(?:at)?\\((?:AT_FDCWD, )?\"([^\"]+)\".*\\) += 0$"));
    QHash<QString, int> namedAt;        // copy name -> line it returned
    QList<std::pair<int, int>> flushes; // of dst: lines begun, returned
    for (const Call &c : std::as_const(calls)) {
        if (const auto m = named.match(c.text); m.hasMatch() && m.captured(1).startsWith(dst))
            namedAt.insert(QFileInfo(m.captured(1)).fileName(), c.returned);
        if (const auto m = flush.match(c.text); m.hasMatch() && m.captured(1).startsWith(dst))
            flushes.append({c.begun, c.returned});
    }
    int sourcesRemoved = 0;
    for (const Call &c : std::as_const(calls)) {
        const auto m = removed.match(c.text);
        if (!m.hasMatch() || !m.captured(1).startsWith(src))
            continue;
        const QString name = QFileInfo(m.captured(1)).fileName();
        QVERIFY2(namedAt.contains(name), qPrintable(c.text));
        // A flush that began after the name was given and returned before the deletion began.
        const bool flushed = std::any_of(flushes.cbegin(), flushes.cend(), [&](const std::pair<int, int> &f) {
            return f.first > namedAt.value(name) && f.second < c.begun;
        });
        QVERIFY2(flushed, qPrintable(QStringLiteral("removed before its copy was flushed: ") + c.text));
        ++sourcesRemoved;
    }
    QCOMPARE(sourcesRemoved, 150);
}

// A move names each source three times: to open it for the copy, to check just before its deletion that it
// is still the file the copy read, and to delete it. Every other look comes from the walk or the open
// descriptor, so nothing can slip in between by name.
void TestDataSafety::movedSourceNamedOnlyToOpenCheckAndDelete_data()
{
    QTest::addColumn<QString>("naming");
    QTest::newRow("plain") << QString();
    // The shooting date and the copy read one open file.
    QTest::newRow("shooting-date folders")
        << QStringLiteral("DirCreateChecked=1\nDirNameEditText=[YYYYMMDD]\n");
}

void TestDataSafety::movedSourceNamedOnlyToOpenCheckAndDelete()
{
    QFETCH(QString, naming);
    if (runTestTool(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("command -v strace")}) != 0)
        QSKIP("strace is not installed");
    TestDir dir;
    const QString src = dir.createDir(QStringLiteral("card/DCIM"));
    const QString dst = dir.createDir(QStringLiteral("dst"));
    QStringList sources;
    for (int i = 1; i <= 3; ++i)
        sources << dir.createFile(QStringLiteral("card/DCIM/100CANON/IMG_000%1.JPG").arg(i),
                                  randomBytes(4000, quint32(i)));
    const QString settings = writeDriverSettings(dir.path(), src, dst, true, QStringLiteral("*.JPG"));
    QFile extra(settings);
    QVERIFY(extra.open(QIODevice::Append));
    extra.write(naming.toUtf8());
    extra.close();
    const QString trace = dir.filePath(QStringLiteral("trace.txt"));
    QCOMPARE(runTestTool(QStringLiteral("strace"),
                         {QStringLiteral("-f"), QStringLiteral("-qq"), QStringLiteral("-s"),
                          QStringLiteral("4096"), QStringLiteral("-e"),
                          QStringLiteral("trace=%file,unlink,unlinkat"), QStringLiteral("-o"), trace,
                          m_driver.path, QStringLiteral("--quiet"), settings}),
             0);
    QCOMPARE(filesUnder(dst).size(), 3);
    QCOMPARE(filesUnder(src).size(), 0);
    QFile f(trace);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    static const QRegularExpression call(QStringLiteral("^\\d+\\s+(\\w+)\\("));
    for (const QString &source : std::as_const(sources)) {
        QStringList calls;
        for (const QString &line : lines) {
            if (line.contains(QLatin1Char('"') + source + QLatin1Char('"')))
                calls << call.match(line).captured(1);
        }
        QCOMPARE(calls.size(), 3);
        QVERIFY2(calls.first().startsWith(QLatin1String("open")), qPrintable(calls.join(u' ')));
        QVERIFY2(calls.last().startsWith(QLatin1String("unlink")), qPrintable(calls.join(u' ')));
    }
}

void TestDataSafety::everyNameFollowsAFlushOfItsData_data()
{
    filesystemRows({QStringLiteral("disk"), QStringLiteral("exfat")});
}

// A power cut never leaves a photo's name on a file whose data is not on the disk: from the system calls of
// the real driver, every copy takes its name (linkat of its unnamed temporary, or rename of its hidden
// one) only after a flush that began after the copy's last write and succeeded.
void TestDataSafety::everyNameFollowsAFlushOfItsData()
{
    if (runTestTool(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("command -v strace")}) != 0)
        QSKIP("strace is not installed");
    TestDir dir;
    TestFilesystem target(m_driver, dir, QStringLiteral("dst"), 64);
    if (!target.error().isEmpty())
        QSKIP(qPrintable(target.error()));
    const QString src = dir.createDir(QStringLiteral("card/DCIM"));
    const QString dst = target.path();
    constexpr int Files = 300; // more than two batches
    for (int i = 0; i < Files; ++i)
        dir.createFile(QStringLiteral("card/DCIM/100CANON/IMG_%1.JPG").arg(i, 4, 10, QLatin1Char('0')),
                       randomBytes(i % 100 == 0 ? 3 << 20 : 3000, quint32(i)));
    const QString settings = writeDriverSettings(dir.path(), src, dst, false, QStringLiteral("*.*"));
    const QString trace = dir.filePath(QStringLiteral("trace.txt"));
    QCOMPARE(
        runTestTool(QStringLiteral("strace"),
                    {QStringLiteral("-f"), QStringLiteral("-y"), QStringLiteral("-qq"), QStringLiteral("-e"),
                     QStringLiteral("trace=openat,write,pwrite64,writev,copy_file_range,syncfs,fsync,"
                                    "fdatasync,linkat,rename,renameat,renameat2"),
                     QStringLiteral("-o"), trace, m_driver.path, QStringLiteral("--quiet"), settings}),
        0);
    QCOMPARE(filesUnder(dst).size(), Files);

    QFile f(trace);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    // strace -y writes each descriptor's file in <>, AT_FDCWD's folder too; -f pads short thread ids.
    static const QRegularExpression opened(QStringLiteral("^\\d+ +openat\\(.*\\) += (\\d+)<([^>]+)>"));
    static const QRegularExpression written(QStringLiteral(
        "^\\d+ +(?:(?:write|pwrite64|writev)\\(|copy_file_range\\(\\d+<[^>]*>, [^,]+, )(\\d+)<([^>]+)>"));
    static const QRegularExpression flushStart(
        QStringLiteral("^(\\d+) +(?:syncfs|fsync|fdatasync)\\(\\d+<([^>]+)>"));
    static const QRegularExpression flushEnd(
        QStringLiteral("^(\\d+) +(?:(?:syncfs|fsync|fdatasync)\\(.*|<\\.\\.\\. (?:syncfs|fsync|fdatasync) "
                       "resumed>.*)\\) += 0$"));
    static const QRegularExpression linked(QStringLiteral(
        "^\\d+ +linkat\\(AT_FDCWD[^,]*, \"/proc/self/fd/(\\d+)\", AT_FDCWD[^,]*, \"([^\"]+)\".*\\) += 0$"));
    static const QRegularExpression renamed(
        QStringLiteral("^\\d+ +rename(?:at2?)?\\((?:AT_FDCWD[^,]*, )?\"([^\"]+)\", (?:AT_FDCWD[^,]*, "
                       ")?\"([^\"]+)\".*\\) += 0$"));
    QHash<QString, QString> fileOfFd;   // the copy an open descriptor of the destination holds
    QHash<QString, int> lastWrite;      // by the copy's temporary path
    QHash<QString, int> flushBegan;     // by thread
    QList<std::pair<int, int>> flushes; // began, ended: successful flushes of the destination
    int names = 0;
    QStringList early;
    auto checkNamed = [&](const QString &copy, const QString &name, int at) {
        if (!name.startsWith(dst) || IsCopyLeftoverName(QFileInfo(name).fileName()))
            return;
        ++names;
        const int wrote = lastWrite.value(copy, lines.size());
        if (std::none_of(flushes.cbegin(), flushes.cend(),
                         [&](const auto &flush) { return flush.first > wrote; }))
            early.append(lines.at(at));
    };
    // A call another thread interrupted comes in two lines: "<unfinished ...>" and "<... name resumed>".
    static const QRegularExpression resumed(QStringLiteral("^(\\d+) +<\\.\\.\\. \\w+ resumed>(.*)$"));
    QHash<QString, QString> unfinished; // by thread
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines.at(i);
        if (const auto m = flushStart.match(line); m.hasMatch() && m.captured(2).startsWith(dst))
            flushBegan.insert(m.captured(1), i);
        if (const auto m = flushEnd.match(line); m.hasMatch() && flushBegan.contains(m.captured(1)))
            flushes.append({flushBegan.take(m.captured(1)), i});
        if (line.endsWith(QLatin1String(" <unfinished ...>"))) {
            unfinished.insert(line.section(QLatin1Char(' '), 0, 0), line.chopped(17));
            continue;
        }
        if (const auto m = resumed.match(line); m.hasMatch())
            line = unfinished.take(m.captured(1)) + m.captured(2);
        if (const auto m = opened.match(line); m.hasMatch() && m.captured(2).startsWith(dst))
            fileOfFd.insert(m.captured(1), m.captured(2));
        if (const auto m = written.match(line); m.hasMatch() && m.captured(2).startsWith(dst))
            lastWrite.insert(m.captured(2), i);
        if (const auto m = linked.match(line); m.hasMatch())
            checkNamed(fileOfFd.value(m.captured(1)), m.captured(2), i);
        if (const auto m = renamed.match(line); m.hasMatch())
            checkNamed(m.captured(1), m.captured(2), i);
    }
    QVERIFY2(names == Files, qPrintable(QStringLiteral("%1 names; the calls naming files:\n").arg(names) +
                                        lines.filter(QStringLiteral("linkat")).mid(0, 3).join(u'\n') +
                                        lines.filter(QStringLiteral("rename")).mid(0, 3).join(u'\n')));
    QVERIFY2(early.isEmpty(), qPrintable(QStringLiteral("named before a flush of its data: ") +
                                         early.join(QLatin1Char('\n'))));
}

void TestDataSafety::finalFlushKeepsWindowTurning()
{
    TransferRig rig(QStringLiteral("card/DCIM/"));
    auto &[dir, prompt, out, s, view, state] = rig;
    const QString a = dir.createFile(QStringLiteral("card/DCIM/100CANON/A.JPG"), randomBytes(5000, 1));
    // A slow disk: the flush takes a while.
    SetFlushFaultForTesting([] {
        QThread::msleep(300);
        return 0;
    });
    int pumpsWhileFlushing = 0;
    bool secondStartRefused = false;
    int overallWhileFlushing = -1;
    view.onPump = [&] {
        if (!rig.state.flushing)
            return;
        ++pumpsWhileFlushing;
        QCOMPARE(rig.view.status, QStringLiteral("書き込み中..."));
        // A second start is ignored; Cancel has nothing left to stop.
        MemoryTransferView other;
        secondStartRefused =
            !RunShown(rig.state, {a}, 0, {{QStringLiteral("*.JPG"), rig.out}}, rig.settings, other);
        CancelCopy(rig.state, rig.view);
        overallWhileFlushing = rig.view.overall;
    };
    QVERIFY(RunShown(state, {a}, 1, {{QStringLiteral("*.JPG"), out}}, s, view, s.SourceEditText));
    QVERIFY(pumpsWhileFlushing > 3);
    QVERIFY(secondStartRefused);
    QCOMPARE(overallWhileFlushing, 100);
    QVERIFY(view.statusHistory.contains(QStringLiteral("書き込み中...")));
    QVERIFY(view.status != QStringLiteral("書き込み中..."));
    QCOMPARE(filesUnder(out), QStringList{QStringLiteral("A.JPG")});
}

QTEST_GUILESS_MAIN(TestDataSafety)
#include "tst_datasafety.moc"
