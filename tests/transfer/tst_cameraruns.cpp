// Whole runs from a camera, through libgphoto2's "Directory Browse" camera (a folder shown as a camera):
// copies, moves that empty the camera, date folders, clashes, cancel, the skip of imported files, a file
// cut short between the listing and its download, and a camera taken away in the middle of a run.

#include "cameradrivers.h"
#include "mounthelper.h"
#include "samplefiles.h"
#include "sandbox.h"
#include "testdir.h"
#include "transferfixture.h"

#include "history/importhistory.h"
#include "platform/copyfile.h"
#include "platform/filestamp.h"
#include "source/camerasource.h"
#include "source/importedfilter.h"
#include "transfer/copyprogress.h"
#include "transfer/runmessages.h"

#include <QDirIterator>
#include <QTest>

#include <sys/wait.h>
#include <unistd.h>

using namespace vantora;
using namespace vantora::test;
using namespace Qt::StringLiterals;

namespace {

// A camera holding two photos with shooting dates and a video with none (its time is the camera's).
struct Camera
{
    TestDir dir;
    QString card = dir.createDir(u"card"_s);
    QString dest = dir.createDir(u"dest"_s);
    QMap<QString, QByteArray> files; // as the camera holds them at the start
    QMap<QString, qint64> times;     // their times, seconds

    bool fill()
    {
        if (writeTaggedJpeg(card + u"/DCIM/100CANON/IMG_0001.JPG"_s,
                            u"Exif.Photo.DateTimeOriginal 2017:03:05 10:00:00"_s)
                .isEmpty() ||
            writeTaggedJpeg(card + u"/DCIM/100CANON/IMG_0002.JPG"_s,
                            u"Exif.Photo.DateTimeOriginal 2018:07:01 23:30:00"_s)
                .isEmpty())
            return false;
        const QString video = dir.createFile(u"card/DCIM/101CANON/MVI_0003.MOV"_s, QByteArray(300000, 'v'));
        if (!setModified(video, QDateTime(QDate(2019, 1, 2), QTime(12, 0))))
            return false;
        files = filesBelow(card);
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            times.insert(it.key(), QFileInfo(card + u'/' + it.key()).lastModified().toSecsSinceEpoch());
        return files.size() == 3;
    }
    CameraId id() const { return CameraId{directoryCameraModel(), directoryCameraPort(card)}; }
};

SettingsRecord plainRun()
{
    SettingsRecord s = plainSettings(QString());
    s.sDayEditText = u"."_s;
    return s;
}

ExtensionRows rowsInto(const QString &dest)
{
    return {ExtensionRow{u"*.JPG"_s, dest + u"/"_s}, ExtensionRow{u"*.MOV"_s, dest + u"/"_s}};
}

// A run from the camera with the skip box, its history in the camera's test folder.
TransferOutcome skipBoxRun(const Camera &camera, bool move)
{
    SqliteImportHistory store(camera.dir.filePath(u"history.sqlite"_s));
    SettingsRecord s = plainRun();
    s.SkipImportedChecked = true;
    s.DelChecked = move;
    TransferState state;
    MemoryTransferView view;
    CameraSource source(camera.id());
    source.setActivity(RunCameraActivity(state, view));
    RunHistory history;
    history.store = &store;
    history.volumeRoot = source.root();
    history.volume = source.identity();
    history.label = source.model();
    ImportedFilter filter(store.stampsOf(history.volume), history.volumeRoot);
    const SourceFiles runList = source.list({u"*.JPG"_s, u"*.MOV"_s}, nullptr, &filter);
    history.skipped = filter.skipped();
    return RunTransfer(state, source, runList, runList.size(), rowsInto(camera.dest), s, view, &history);
}

} // namespace

class TestCameraRuns final : public QObject
{
    Q_OBJECT

    TestDir m_drivers;
    QString m_namespaceError;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(useDirectoryCameraOnly(m_drivers.path()));
        m_namespaceError = enterPrivateMountNamespace();
    }

    // From a found camera to a finished run: every file arrives whole under the name and folder the
    // settings give, with the camera's time; a move empties the camera, a copy leaves it as it was.
    void wholeRuns_data()
    {
        QTest::addColumn<bool>("move");
        QTest::addColumn<bool>("verify");
        QTest::addColumn<bool>("dateFolders");
        QTest::addColumn<bool>("clash");
        QTest::addColumn<bool>("backup");
        QTest::addColumn<QStringList>("expected"); // the copies, relative to dest, in the camera's order
        const QStringList plain{u"IMG_0001.JPG"_s, u"IMG_0002.JPG"_s, u"MVI_0003.MOV"_s};
        const QStringList dated{u"2017.03.05/100CANON/IMG_0001.JPG"_s, u"2018.07.01/100CANON/IMG_0002.JPG"_s,
                                u"2019.01.02/101CANON/MVI_0003.MOV"_s};
        const QStringList clashed{u"IMG_0001_2.JPG"_s, u"IMG_0002.JPG"_s, u"MVI_0003.MOV"_s};
        QTest::newRow("copy") << false << false << false << false << false << plain;
        QTest::newRow("move, read back") << true << true << false << false << false << plain;
        QTest::newRow("move into shooting-date and camera folders")
            << true << false << true << false << false << dated;
        QTest::newRow("copy beside a file of the same name")
            << false << false << false << true << false << clashed;
        QTest::newRow("move, read back, second copy") << true << true << false << false << true << plain;
        QTest::newRow("move into shooting-date folders, second copy")
            << true << false << true << false << true << dated;
        QTest::newRow("copy beside a file of the same name, second copy")
            << false << false << false << true << true << clashed;
    }
    void wholeRuns()
    {
        QFETCH(bool, move);
        QFETCH(bool, verify);
        QFETCH(bool, dateFolders);
        QFETCH(bool, clash);
        QFETCH(bool, backup);
        QFETCH(QStringList, expected);
        Camera camera;
        QVERIFY(camera.fill());
        if (clash)
            camera.dir.createFile(u"dest/IMG_0001.JPG"_s, "the photographer's own");

        SettingsRecord s = plainRun();
        s.DelChecked = move;
        s.VerifyChecked = verify;
        s.BackupChecked = backup;
        s.BackupDirText = camera.dir.createDir(u"backup"_s);
        if (dateFolders) {
            s.DirCreateChecked = true;
            s.DirNameEditText = u"[YYYYMMDD]"_s;
            s.PANA101Checked = true;
        }
        TransferState state;
        MemoryTransferView view;
        CameraSource source(camera.id());
        source.setActivity(RunCameraActivity(state, view));
        const SourceFiles runList = source.list({u"*.JPG"_s, u"*.MOV"_s});
        QCOMPARE(runList.size(), 3);
        const TransferOutcome outcome =
            RunTransfer(state, source, runList, runList.size(), rowsInto(camera.dest), s, view);
        QVERIFY2(outcome.problems.isEmpty(), qPrintable(ProblemMessage(outcome.problems.value(0))));
        QVERIFY(outcome.result);
        QCOMPARE(outcome.copied, 3);

        const QMap<QString, QByteArray> arrived = filesBelow(camera.dest);
        QCOMPARE(arrived.size(), clash ? 4 : 3);
        const QStringList originals = camera.files.keys();
        for (qsizetype i = 0; i < expected.size(); ++i) {
            QVERIFY2(arrived.contains(expected.at(i)), qPrintable(QStringList(arrived.keys()).join(u' ')));
            QCOMPARE(arrived.value(expected.at(i)), camera.files.value(originals.at(i)));
            // The camera's time goes with the copy.
            QCOMPARE(QFileInfo(camera.dest + u'/' + expected.at(i)).lastModified().toSecsSinceEpoch(),
                     camera.times.value(originals.at(i)));
        }
        if (clash)
            QCOMPARE(arrived.value(u"IMG_0001.JPG"_s), QByteArray("the photographer's own"));
        // The second copy holds the same files under the same names, the clash's "_2" included.
        QMap<QString, QByteArray> copies = arrived;
        if (clash)
            copies.remove(u"IMG_0001.JPG"_s);
        QCOMPARE(filesBelow(s.BackupDirText), backup ? copies : decltype(copies)());
        QCOMPARE(filesBelow(camera.card), move ? decltype(camera.files)() : camera.files);
    }

    // What goes wrong in the middle of a run: the run stops with a message naming the file, every file is
    // on the camera or whole at the destination (or both), and nothing leaves the camera without its copy.
    void problems_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("move");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("message");          // a pattern the run's first message matches
        QTest::addColumn<QStringList>("copied");       // at the destination afterwards
        QTest::addColumn<QStringList>("leftOnCamera"); // on the camera afterwards
        const QString failed = u"不明なエラーが発生しました"_s;
        const QString cancelled = u"転送はキャンセルされました"_s;
        const QString shortReason = u"カメラから読み取ったデータの大きさがファイルの大きさと一致しません"_s;
        const QString goneReason = u"カメラが取り外されたか、カメラにアクセスできなくなりました"_s;
        const QStringList all{u"DCIM/100CANON/IMG_0001.JPG"_s, u"DCIM/100CANON/IMG_0002.JPG"_s,
                              u"DCIM/101CANON/MVI_0003.MOV"_s};
        QTest::newRow("cut short after the listing, move")
            << u"truncate"_s << true << failed
            << shortReason + u"\r\n転送元：gphoto2://\\[disk:[^\\]]*\\]/DCIM/100CANON/IMG_0002.JPG\r\n"_s
            << QStringList{u"IMG_0001.JPG"_s} << all.mid(1);
        QTest::newRow("camera taken away, move")
            << u"unplug"_s << true << failed
            << goneReason + u"\r\n転送元：gphoto2://\\[disk:[^\\]]*\\]/DCIM/100CANON/IMG_0002.JPG\r\n"_s
            << QStringList{u"IMG_0001.JPG"_s} << all;
        QTest::newRow("cancel, move")
            << u"cancel"_s << true << cancelled << QString() << QStringList{u"IMG_0001.JPG"_s} << all.mid(1);
        QTest::newRow("cancel, copy")
            << u"cancel"_s << false << cancelled << QString() << QStringList{u"IMG_0001.JPG"_s} << all;
    }
    void problems()
    {
        QFETCH(QString, what);
        QFETCH(bool, move);
        QFETCH(QString, status);
        QFETCH(QString, message);
        QFETCH(QStringList, copied);
        QFETCH(QStringList, leftOnCamera);
        Camera camera;
        QVERIFY(camera.fill());
        const QString away = camera.dir.filePath(u"away"_s);

        SettingsRecord s = plainRun();
        s.DelChecked = move;
        TransferState state;
        MemoryTransferView view;
        CameraSource source(camera.id());
        source.setActivity(RunCameraActivity(state, view));
        const SourceFiles runList = source.list({u"*.JPG"_s, u"*.MOV"_s});
        QCOMPARE(runList.size(), 3);
        if (what == u"truncate")
            QVERIFY(QFile::resize(camera.card + u"/DCIM/100CANON/IMG_0002.JPG"_s, 100));
        bool done = false;
        view.onPump = [&] {
            // The first file's copy is complete.
            if (done || view.fileNames.size() != 1 || view.progress != 100)
                return;
            done = true;
            if (what == u"unplug")
                QVERIFY(QDir().rename(camera.card, away));
            else if (what == u"cancel")
                CancelCopy(state, view);
        };
        const TransferOutcome outcome =
            RunTransfer(state, source, runList, runList.size(), rowsInto(camera.dest), s, view);
        QVERIFY(!outcome.result);
        QCOMPARE(outcome.status, status);
        if (message.isEmpty()) {
            QCOMPARE(outcome.problems.size(), 0);
        } else {
            QVERIFY(!outcome.problems.isEmpty());
            const QString shown = ProblemMessage(outcome.problems.first());
            QVERIFY2(QRegularExpression(message).match(shown).hasMatch(), qPrintable(shown));
        }
        if (what == u"unplug") {
            // Its copy is whole, but the camera could not be asked whether it still holds it.
            QCOMPARE(outcome.problems.last().kind, RunProblem::Kind::NotDeleted);
            QVERIFY(QDir().rename(away, camera.card));
        }
        const QMap<QString, QByteArray> arrived = filesBelow(camera.dest);
        QCOMPARE(QStringList(arrived.keys()), copied);
        QCOMPARE(arrived.value(u"IMG_0001.JPG"_s), camera.files.value(u"DCIM/100CANON/IMG_0001.JPG"_s));
        const QMap<QString, QByteArray> left = filesBelow(camera.card);
        QCOMPARE(QStringList(left.keys()), leftOnCamera);
        for (auto it = left.cbegin(); it != left.cend(); ++it) {
            if (what != u"truncate" || !it.key().endsWith(u"IMG_0002.JPG"))
                QCOMPARE(it.value(), camera.files.value(it.key()));
        }
    }

    // The skip box: a second run from the same camera finds every file in the history (the camera is
    // known by its identity, its files by their path, size and time) and copies nothing again. A move
    // then finishes the earlier copy's import: each file read whole from the camera and found to be what
    // was copied is deleted from it; one replaced meanwhile under the same name, size and time is copied.
    void secondRunSkipsImported_data()
    {
        QTest::addColumn<bool>("move");
        QTest::addColumn<bool>("replaced");
        QTest::newRow("copy again") << false << false;
        QTest::newRow("move after a copy") << true << false;
        QTest::newRow("move after a copy, one photo replaced") << true << true;
    }
    void secondRunSkipsImported()
    {
        QFETCH(bool, move);
        QFETCH(bool, replaced);
        Camera camera;
        QVERIFY(camera.fill());
        SqliteImportHistory store(camera.dir.filePath(u"history.sqlite"_s));
        const QString photo = camera.card + u"/DCIM/100CANON/IMG_0002.JPG"_s;
        QByteArray other = camera.files.value(u"DCIM/100CANON/IMG_0002.JPG"_s);
        other[other.size() - 3] = char(other.at(other.size() - 3) ^ 0x55);
        for (const int run : {1, 2}) {
            SettingsRecord s = plainRun();
            s.SkipImportedChecked = true;
            s.DelChecked = run == 2 && move;
            if (run == 2 && replaced) {
                camera.dir.createFile(u"card/DCIM/100CANON/IMG_0002.JPG"_s, other);
                QVERIFY(setModified(photo, QDateTime::fromSecsSinceEpoch(
                                               camera.times.value(u"DCIM/100CANON/IMG_0002.JPG"_s))));
            }
            TransferState state;
            MemoryTransferView view;
            CameraSource source(camera.id());
            source.setActivity(RunCameraActivity(state, view));
            RunHistory history;
            history.store = &store;
            history.volumeRoot = source.root();
            history.volume = source.identity();
            history.label = source.model();
            ImportedFilter filter(store.stampsOf(history.volume), history.volumeRoot);
            const SourceFiles runList = source.list({u"*.JPG"_s, u"*.MOV"_s}, nullptr, &filter);
            history.skipped = filter.skipped();
            QCOMPARE(runList.size(), run == 1 ? 3 : 0);
            QCOMPARE(history.skipped.size(), run == 1 ? 0 : 3);
            if (run == 2 && !move)
                break;
            const TransferOutcome outcome =
                RunTransfer(state, source, runList, runList.size(), rowsInto(camera.dest), s, view, &history);
            QVERIFY2(outcome.problems.isEmpty(), qPrintable(ProblemMessage(outcome.problems.value(0))));
            QVERIFY(outcome.result);
            QCOMPARE(outcome.copied, run == 1 ? 3 : replaced ? 1 : 0);
        }
        const QMap<QString, QByteArray> arrived = filesBelow(camera.dest);
        QCOMPARE(arrived.size(), replaced ? 4 : 3);
        QCOMPARE(arrived.value(u"IMG_0002.JPG"_s), camera.files.value(u"DCIM/100CANON/IMG_0002.JPG"_s));
        if (replaced)
            QCOMPARE(arrived.value(u"IMG_0002_2.JPG"_s), other);
        QCOMPARE(filesBelow(camera.card).size(), move ? 0 : 3);
    }

    // A run killed once its copies have their names, before it recorded them: the rerun with the skip box
    // takes each copy already there as imported (read through the camera and found equal) rather than
    // copying it again under a "_2" name, and a move then empties the camera.
    void killedRunRerunTakesTheCopiesThere_data()
    {
        QTest::addColumn<bool>("move");
        QTest::newRow("copy") << false;
        QTest::newRow("move") << true;
    }
    void killedRunRerunTakesTheCopiesThere()
    {
        QFETCH(bool, move);
        Camera camera;
        QVERIFY(camera.fill());
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            // The flushes of the run: the copies' data, then their names.
            SetFlushFaultForTesting([] {
                static int flushes = 0;
                if (++flushes == 2)
                    ::_exit(9);
                return 0;
            });
            skipBoxRun(camera, move);
            ::_exit(0);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 9);
        const QStringList names{u"IMG_0001.JPG"_s, u"IMG_0002.JPG"_s, u"MVI_0003.MOV"_s};
        QCOMPARE(QStringList(filesBelow(camera.dest).keys()), names);
        QCOMPARE(filesBelow(camera.card).size(), 3);

        const TransferOutcome outcome = skipBoxRun(camera, move);
        QVERIFY2(outcome.problems.isEmpty(), qPrintable(ProblemMessage(outcome.problems.value(0))));
        QVERIFY(outcome.result);
        const QMap<QString, QByteArray> arrived = filesBelow(camera.dest);
        QCOMPARE(QStringList(arrived.keys()), names);
        for (auto it = camera.files.cbegin(); it != camera.files.cend(); ++it)
            QCOMPARE(arrived.value(QFileInfo(it.key()).fileName()), it.value());
        QCOMPARE(filesBelow(camera.card).size(), move ? 0 : 3);
        // Recorded now: a third run copies nothing.
        QCOMPARE(skipBoxRun(camera, false).copied, 0);
        QCOMPARE(filesBelow(camera.dest).size(), 3);
    }

    // Keeping shots together: a photo's sidecars that no row takes follow it from the camera's folder, as
    // from a card's; a move takes them off the camera with it, and a sidecar of no listed photo stays.
    void shotsKeepTheirSidecars_data()
    {
        QTest::addColumn<bool>("move");
        QTest::newRow("copy") << false;
        QTest::newRow("move") << true;
    }
    void shotsKeepTheirSidecars()
    {
        QFETCH(bool, move);
        Camera camera;
        QVERIFY(camera.fill());
        // Sidecars the folder camera lists (it leaves out names it knows no type of).
        camera.dir.createFile(u"card/DCIM/100CANON/IMG_0001.THM"_s, "thumbnail of 1");
        camera.dir.createFile(u"card/DCIM/100CANON/img_0002.wav"_s, "voice memo of 2");
        camera.dir.createFile(u"card/DCIM/100CANON/IMG_0009.WAV"_s, "memo of no photo");
        SettingsRecord s = plainRun();
        s.KeepShotsTogetherChecked = true;
        s.DelChecked = move;
        TransferState state;
        MemoryTransferView view;
        CameraSource source(camera.id());
        source.setActivity(RunCameraActivity(state, view));
        const SourceFiles runList = source.list({u"*.JPG"_s});
        QCOMPARE(runList.size(), 2);
        const TransferOutcome outcome =
            RunTransfer(state, source, runList, runList.size(),
                        {ExtensionRow{u"*.JPG"_s, camera.dest + u"/"_s}}, s, view);
        QVERIFY2(outcome.problems.isEmpty(), qPrintable(ProblemMessage(outcome.problems.value(0))));
        QVERIFY(outcome.result);
        const QMap<QString, QByteArray> arrived = filesBelow(camera.dest);
        QCOMPARE(QStringList(arrived.keys()),
                 (QStringList{u"IMG_0001.JPG"_s, u"IMG_0001.THM"_s, u"IMG_0002.JPG"_s, u"img_0002.wav"_s}));
        QCOMPARE(arrived.value(u"IMG_0001.THM"_s), QByteArray("thumbnail of 1"));
        QCOMPARE(arrived.value(u"img_0002.wav"_s), QByteArray("voice memo of 2"));
        QCOMPARE(arrived.value(u"IMG_0002.JPG"_s), camera.files.value(u"DCIM/100CANON/IMG_0002.JPG"_s));
        const QStringList left = filesBelow(camera.card).keys();
        const QStringList kept{u"DCIM/100CANON/IMG_0009.WAV"_s, u"DCIM/101CANON/MVI_0003.MOV"_s};
        const QStringList all{u"DCIM/100CANON/IMG_0001.JPG"_s, u"DCIM/100CANON/IMG_0001.THM"_s,
                              u"DCIM/100CANON/IMG_0002.JPG"_s, u"DCIM/100CANON/IMG_0009.WAV"_s,
                              u"DCIM/100CANON/img_0002.wav"_s, u"DCIM/101CANON/MVI_0003.MOV"_s};
        QCOMPARE(left, move ? kept : all);
    }

    // A destination too small for a download: the run stops with the full disk named, as from a card, and
    // the file that did not fit stays on the camera.
    void fullDiskIsSaidAndKeepsTheFile()
    {
        if (!m_namespaceError.isEmpty())
            QSKIP(qPrintable(m_namespaceError));
        Camera camera;
        QVERIFY(camera.fill());
        SmallDisk disk(camera.dest, "160k");
        if (!disk.mounted())
            QSKIP(qPrintable(disk.error()));
        SettingsRecord s = plainRun();
        s.DelChecked = true;
        TransferState state;
        MemoryTransferView view;
        CameraSource source(camera.id());
        source.setActivity(RunCameraActivity(state, view));
        const SourceFiles runList = source.list({u"*.JPG"_s, u"*.MOV"_s});
        const TransferOutcome outcome =
            RunTransfer(state, source, runList, runList.size(), rowsInto(camera.dest), s, view);
        QVERIFY(!outcome.result);
        QCOMPARE(outcome.status, diskFullStatusText(VolumeRootOf(camera.dest)));
        QVERIFY(!filesBelow(camera.dest).contains(u"MVI_0003.MOV"_s));
        QCOMPARE(filesBelow(camera.card).value(u"DCIM/101CANON/MVI_0003.MOV"_s),
                 camera.files.value(u"DCIM/101CANON/MVI_0003.MOV"_s));
    }
};

QTEST_MAIN(TestCameraRuns)
#include "tst_cameraruns.moc"
