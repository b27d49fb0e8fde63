#include "history/importhistory.h"
#include "platform/bytepath.h"
#include "platform/contenthash.h"
#include "platform/copyfile.h"
#include "platform/filestamp.h"
#include "settings/settingsrecord.h"
#include "source/importedfilter.h"
#include "source/sourcewalk.h"
#include "testdir.h"
#include "testprompt.h"
#include "transfer/memorytransferview.h"
#include "transfer/transferloop.h"
#include "transfer/transferstate.h"
#include "transferdriver.h"
#include "transferfixture.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vantora;
using test::TestDir;
using test::TestPrompt;

namespace {

const QString Volume = QStringLiteral("uuid:TEST-CARD");

QByteArray sha(const QString &path)
{
    return QCryptographicHash::hash(test::contentOf(path), QCryptographicHash::Sha256);
}

// Pages of the file in the page cache; -1 when that cannot be told.
qint64 cachedPages(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size == 0)
        return fd < 0 ? -1 : (::close(fd), 0);
    void *map = ::mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    if (map == MAP_FAILED)
        return -1;
    const long page = ::sysconf(_SC_PAGESIZE);
    std::vector<unsigned char> resident(size_t((st.st_size + page - 1) / page));
    const int got = ::mincore(map, size_t(st.st_size), resident.data());
    ::munmap(map, size_t(st.st_size));
    return got != 0 ? -1 : qint64(std::count_if(resident.begin(), resident.end(), [](unsigned char r) {
        return r & 1;
    }));
}

QByteArray photo(int i, int size = 30 * 1024)
{
    QByteArray b(size, '\0');
    QRandomGenerator random(quint32(i) * 7919u + 1);
    for (char &c : b)
        c = char(random.bounded(256));
    return b;
}

// One card, one destination, one history: runs as the start button makes them, the walk filtered by the
// history when the skip box is ticked.
class Importer
{
public:
    explicit Importer(const TestDir &dir)
        : card(dir.filePath(QStringLiteral("card"))), dest(dir.filePath(QStringLiteral("dest"))),
          history(dir.filePath(QStringLiteral("history.sqlite")))
    {
        QDir().mkpath(card + QStringLiteral("/DCIM"));
        QDir().mkpath(dest);
    }

    TransferOutcome run(bool skipImported, bool move = false, bool verify = false)
    {
        SettingsRecord s = test::plainSettings(card + QStringLiteral("/DCIM/"));
        s.SkipImportedChecked = skipImported;
        s.DelChecked = move;
        s.VerifyChecked = verify;
        if (renamed) {
            s.RenameChecked = true;
            s.FileNameEditText = QStringLiteral("[元のファイル名]_[RENBAN]");
        }
        s.KeepShotsTogetherChecked = pairs;
        s.BackupChecked = !backup.isEmpty();
        s.BackupDirText = backup;
        ExtensionRows rows{{QStringLiteral("*.JPG"), dest + QLatin1Char('/')}};
        if (pairs)
            rows.append({QStringLiteral("*.CR3"), dest + QLatin1Char('/')});
        RunHistory runHistory;
        runHistory.store = &history;
        runHistory.volume = Volume;
        runHistory.label = QStringLiteral("EOS_DIGITAL");
        runHistory.volumeRoot = card;
        std::unique_ptr<ImportedFilter> filter;
        if (skipImported)
            filter = std::make_unique<ImportedFilter>(history.stampsOf(Volume), card);
        const QStringList runList =
            CollectRunList(card + QStringLiteral("/DCIM"),
                           pairs ? QStringList{QStringLiteral("*.JPG"), QStringLiteral("*.CR3")}
                                 : QStringList{QStringLiteral("*.JPG")},
                           nullptr, filter.get());
        if (filter)
            runHistory.skipped = filter->skipped();
        listed = runList.size();
        view = MemoryTransferView();
        TransferState state;
        const TransferOutcome outcome = test::RunShown(state, runList, runList.size(), rows, s, view,
                                                       card + QStringLiteral("/DCIM/"), &runHistory);
        notDeleted = state.notDeleted;
        return outcome;
    }

    QString add(const QString &relative, const QByteArray &content)
    {
        const QString path = card + QStringLiteral("/DCIM/") + relative;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
            return {};
        return path;
    }

    QString card;
    QString dest;
    SqliteImportHistory history;
    MemoryTransferView view;
    qsizetype listed = 0;
    bool notDeleted = false;
    QString backup;       // the second copies' folder, when there are any
    bool renamed = false; // "<camera name>_<running number>"
    bool pairs = false;   // raw files too, each kept together with its JPEG
};

} // namespace

// Runs with the import history: a card imported twice, a move finished by the next run, copies read back.
class TestImportRuns : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void secondImportCopiesNothingWithTheBoxAndMakesSecondCopiesWithout();
    void copyLeftByAKilledRunIsTakenNotCopiedAgain();
    void moveFinishedByTheNextRun();
    void corruptedCopyIsFoundRemovedAndItsSourceKept_data();
    void corruptedCopyIsFoundRemovedAndItsSourceKept();
    void renamingMoveKilledAfterNamingResumesWithoutDuplicates();
    void timesFarFromNowRecordedExactly();
    void killedMoveRerunLeavesEveryPhotoOnceAtTheDestination_data();
    void killedMoveRerunLeavesEveryPhotoOnceAtTheDestination();
    void shotHalfNamedByAKilledRunIsCompletedUnderItsNames();
    void importLeavesNeitherCardNorCopiesInTheCache_data();
    void importLeavesNeitherCardNorCopiesInTheCache();

private:
    QString m_driver;
};

void TestImportRuns::initTestCase()
{
    m_driver = test::importToolPath();
    QVERIFY2(QFileInfo(m_driver).isExecutable(), qPrintable(m_driver + QStringLiteral(" is not built")));
}

void TestImportRuns::cleanup()
{
    SetBeforeVerifyHookForTesting({});
}

void TestImportRuns::secondImportCopiesNothingWithTheBoxAndMakesSecondCopiesWithout()
{
    TestDir dir;
    TestPrompt prompt;
    Importer importer(dir);
    for (int i = 1; i <= 5; ++i)
        importer.add(QStringLiteral("10%1CANON/IMG_000%2.JPG").arg(i % 2).arg(i), photo(i));

    TransferOutcome outcome = importer.run(true);
    QVERIFY(outcome);
    QCOMPARE(outcome.copied, 5);
    QCOMPARE(outcome.skippedImported, 0);
    QCOMPARE(importer.history.filesOf(Volume).size(), 5);
    const ImportedFiles recorded = importer.history.filesOf(Volume);
    const ImportedFile *first =
        findImported(recorded, "DCIM/101CANON/IMG_0001.JPG", 30 * 1024,
                     FileStampOf(importer.card + QStringLiteral("/DCIM/101CANON/IMG_0001.JPG"))->mtime.ns());
    QVERIFY(first);
    QCOMPARE(pathFromBytes(first->destination), importer.dest + QStringLiteral("/IMG_0001.JPG"));
    QCOMPARE(first->hash, HashFileContent(importer.dest + QStringLiteral("/IMG_0001.JPG")).hash);

    // The same card again with the box ticked: nothing listed, nothing copied, all five reported.
    outcome = importer.run(true);
    QCOMPARE(importer.listed, 0);
    QCOMPARE(outcome.copied, 0);
    QCOMPARE(outcome.skippedImported, 5);
    QCOMPARE(test::filesUnder(importer.dest).size(), 5);

    // One new photo: only it is copied.
    importer.add(QStringLiteral("101CANON/IMG_0006.JPG"), photo(6));
    outcome = importer.run(true);
    QVERIFY(outcome);
    QCOMPARE(outcome.copied, 1);
    QCOMPARE(outcome.skippedImported, 5);
    QCOMPARE(test::filesUnder(importer.dest).size(), 6);

    // Box off: as before the history existed, a second copy of each under "_2".
    outcome = importer.run(false);
    QVERIFY(outcome);
    QCOMPARE(outcome.copied, 6);
    QCOMPARE(outcome.skippedImported, 0);
    QStringList want;
    for (int i = 1; i <= 6; ++i)
        want << QStringLiteral("IMG_000%1.JPG").arg(i) << QStringLiteral("IMG_000%1_2.JPG").arg(i);
    want.sort();
    QCOMPARE(test::filesUnder(importer.dest), want);
    QVERIFY(prompt.messages.isEmpty());
}

void TestImportRuns::copyLeftByAKilledRunIsTakenNotCopiedAgain()
{
    TestDir dir;
    TestPrompt prompt;
    Importer importer(dir);
    const QString same = importer.add(QStringLiteral("100CANON/IMG_0001.JPG"), photo(1));
    importer.add(QStringLiteral("100CANON/IMG_0002.JPG"), photo(2));
    // A killed run had copied the first (but not recorded it); the second name holds another photo of
    // the same size.
    QVERIFY(QFile::copy(same, importer.dest + QStringLiteral("/IMG_0001.JPG")));
    QFile other(importer.dest + QStringLiteral("/IMG_0002.JPG"));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.write(photo(99));
    other.close();
    // A third name holds only a link to an identical file outside the destination: no copy at all.
    const QString linked = importer.add(QStringLiteral("100CANON/IMG_0003.JPG"), photo(3));
    const QString outside = dir.filePath(QStringLiteral("elsewhere.JPG"));
    QVERIFY(QFile::copy(linked, outside));
    QVERIFY(QFile::link(outside, importer.dest + QStringLiteral("/IMG_0003.JPG")));

    // Box off: as before the history existed, both get "_2".
    {
        TestDir copyDir;
        Importer plain(copyDir);
        plain.add(QStringLiteral("100CANON/IMG_0001.JPG"), photo(1));
        QVERIFY(QFile::copy(same, plain.dest + QStringLiteral("/IMG_0001.JPG")));
        QVERIFY(plain.run(false));
        QCOMPARE(test::filesUnder(plain.dest),
                 (QStringList{QStringLiteral("IMG_0001.JPG"), QStringLiteral("IMG_0001_2.JPG")}));
    }

    const TransferOutcome outcome = importer.run(true, true);
    QVERIFY(outcome);
    QCOMPARE(outcome.copied, 3);
    QCOMPARE(test::filesUnder(importer.dest),
             (QStringList{QStringLiteral("IMG_0001.JPG"), QStringLiteral("IMG_0002.JPG"),
                          QStringLiteral("IMG_0002_2.JPG"), QStringLiteral("IMG_0003.JPG"),
                          QStringLiteral("IMG_0003_2.JPG")}));
    QVERIFY(QFileInfo(importer.dest + QStringLiteral("/IMG_0003.JPG")).isSymLink());
    QCOMPARE(test::contentOf(importer.dest + QStringLiteral("/IMG_0003_2.JPG")), photo(3));
    QCOMPARE(test::contentOf(importer.dest + QStringLiteral("/IMG_0001.JPG")), photo(1));
    QCOMPARE(test::contentOf(importer.dest + QStringLiteral("/IMG_0002.JPG")), photo(99));
    QCOMPARE(test::contentOf(importer.dest + QStringLiteral("/IMG_0002_2.JPG")), photo(2));
    QVERIFY(test::filesUnder(importer.card).isEmpty()); // both moved
    const ImportedFiles recorded = importer.history.filesOf(Volume);
    QCOMPARE(recorded.size(), 3);
    QCOMPARE(recorded.values(QByteArray("DCIM/100CANON/IMG_0001.JPG")).first().destination,
             pathToBytes(QString(importer.dest + QStringLiteral("/IMG_0001.JPG"))));
    QVERIFY(prompt.messages.isEmpty());
}

void TestImportRuns::moveFinishedByTheNextRun()
{
    TestDir dir;
    TestPrompt prompt;
    Importer importer(dir);
    for (int i = 1; i <= 5; ++i)
        importer.add(QStringLiteral("100CANON/IMG_000%1.JPG").arg(i), photo(i));
    // A move that copied and recorded everything but deleted nothing is what a copy run leaves.
    QVERIFY(importer.run(false));
    QCOMPARE(test::filesUnder(importer.card).size(), 5);
    // The card was formatted and a new photo took an imported one's name, size and time: it must be
    // copied, not deleted as imported.
    const QString renewed = importer.card + QStringLiteral("/DCIM/100CANON/IMG_0005.JPG");
    struct stat shot;
    QCOMPARE(::stat(renewed.toLocal8Bit().constData(), &shot), 0);
    {
        QFile f(renewed);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(photo(55));
    }
    const struct timespec times[2] = {shot.st_atim, shot.st_mtim};
    QCOMPARE(::utimensat(AT_FDCWD, renewed.toLocal8Bit().constData(), times, 0), 0);
    // One recorded copy has changed since: its source must stay.
    QFile changed(importer.dest + QStringLiteral("/IMG_0003.JPG"));
    QVERIFY(changed.open(QIODevice::ReadWrite));
    changed.seek(100);
    changed.write("edited");
    changed.close();

    const TransferOutcome outcome = importer.run(true, true);
    QCOMPARE(importer.listed, 0);
    QCOMPARE(outcome.copied, 1);
    QCOMPARE(outcome.skippedImported, 4);
    QVERIFY(importer.notDeleted);
    QCOMPARE(prompt.messages, QStringList{notDeletedMessage()});
    QCOMPARE(test::filesUnder(importer.card), QStringList{QStringLiteral("DCIM/100CANON/IMG_0003.JPG")});
    QCOMPARE(test::filesUnder(importer.dest).size(), 6); // nothing copied twice
    QCOMPARE(test::contentOf(importer.dest + QStringLiteral("/IMG_0005.JPG")), photo(5));
    QCOMPARE(test::contentOf(importer.dest + QStringLiteral("/IMG_0005_2.JPG")), photo(55));

    // With every recorded copy intact the run ends well.
    QVERIFY(QFile::remove(importer.dest + QStringLiteral("/IMG_0003.JPG")));
    QVERIFY(QFile::copy(importer.card + QStringLiteral("/DCIM/100CANON/IMG_0003.JPG"),
                        importer.dest + QStringLiteral("/IMG_0003.JPG")));
    // A source replaced after its copy was read back (here while the batch is flushed) stays.
    const QString first = importer.card + QStringLiteral("/DCIM/100CANON/IMG_0003.JPG");
    bool replaced = false;
    SetFlushFaultForTesting([&] {
        if (!std::exchange(replaced, true)) {
            QFile::remove(first);
            QFile f(first);
            if (f.open(QIODevice::WriteOnly))
                f.write(photo(3));
        }
        return 0;
    });
    prompt.clear();
    QVERIFY(!importer.run(true, true));
    SetFlushFaultForTesting({});
    QVERIFY(replaced);
    QCOMPARE(test::filesUnder(importer.card), QStringList{QStringLiteral("DCIM/100CANON/IMG_0003.JPG")});
    QCOMPARE(prompt.messages, QStringList{notDeletedMessage()});
    prompt.clear();
    QVERIFY(importer.run(true, true));
    QVERIFY(test::filesUnder(importer.card).isEmpty());
    QVERIFY(prompt.messages.isEmpty());
}

void TestImportRuns::corruptedCopyIsFoundRemovedAndItsSourceKept_data()
{
    test::copyAndMoveRows();
}

void TestImportRuns::corruptedCopyIsFoundRemovedAndItsSourceKept()
{
    QFETCH(bool, move);
    TestDir dir;
    TestPrompt prompt;
    Importer importer(dir);
    for (int i = 1; i <= 4; ++i)
        importer.add(QStringLiteral("100CANON/IMG_000%1.JPG").arg(i), photo(i));
    const QString bad = importer.dest + QStringLiteral("/IMG_0002.JPG");
    QStringList verified;
    // The medium changes a byte of one copy after the flush; its size and time stay as they were.
    SetBeforeVerifyHookForTesting([&](const QString &copy) {
        verified << copy;
        if (copy != bad)
            return;
        struct stat st;
        QVERIFY(::stat(pathToBytes(copy).constData(), &st) == 0);
        QFile f(copy);
        QVERIFY(f.open(QIODevice::ReadWrite));
        f.seek(1000);
        const char flipped = char(photo(2).at(1000) ^ 0x01);
        f.write(&flipped, 1);
        f.close();
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        QVERIFY(::utimensat(AT_FDCWD, pathToBytes(copy).constData(), times, 0) == 0);
    });

    const TransferOutcome outcome = importer.run(false, move, true);
    SetBeforeVerifyHookForTesting({});
    QVERIFY(!outcome);
    QCOMPARE(verified.size(), 4);
    QVERIFY(importer.view.statusHistory.contains(verifyingStatusText()));
    QCOMPARE(outcome.status, verifyFailedStatusText());
    QCOMPARE(outcome.verifyFailed, QStringList{bad});
    QCOMPARE(prompt.messages, QStringList{verifyFailedMessage(
                                  {importer.card + QStringLiteral("/DCIM/100CANON/IMG_0002.JPG")}, {bad})});
    QVERIFY(prompt.messages.first().contains(QStringLiteral("IMG_0002.JPG")));
    QVERIFY(!QFile::exists(bad));
    QCOMPARE(test::filesUnder(importer.dest),
             (QStringList{QStringLiteral("IMG_0001.JPG"), QStringLiteral("IMG_0003.JPG"),
                          QStringLiteral("IMG_0004.JPG")}));
    // The source of the bad copy stays; with a move the good ones went.
    QCOMPARE(test::filesUnder(importer.card),
             move ? QStringList{QStringLiteral("DCIM/100CANON/IMG_0002.JPG")}
                  : (QStringList{QStringLiteral("DCIM/100CANON/IMG_0001.JPG"),
                                 QStringLiteral("DCIM/100CANON/IMG_0002.JPG"),
                                 QStringLiteral("DCIM/100CANON/IMG_0003.JPG"),
                                 QStringLiteral("DCIM/100CANON/IMG_0004.JPG")}));
    QCOMPARE(test::contentOf(importer.card + QStringLiteral("/DCIM/100CANON/IMG_0002.JPG")), photo(2));
    // Only the good copies are in the history, so the next run with the box ticked copies the bad one again.
    QCOMPARE(importer.history.filesOf(Volume).size(), 3);
    SetBeforeVerifyHookForTesting({});
    prompt.clear();
    const TransferOutcome again = importer.run(true, move, true);
    QVERIFY(again);
    QCOMPARE(again.copied, 1);
    QCOMPARE(test::contentOf(bad), photo(2));
    QVERIFY(prompt.messages.isEmpty());
}

// A renaming move killed once its copies have their names but before all of them were recorded: the rerun
// numbers the files left on the card from its own start, so only the journal of names leads it to the
// copies already there.
void TestImportRuns::renamingMoveKilledAfterNamingResumesWithoutDuplicates()
{
    constexpr int FileCount = 120;
    // The flushes of such a run: the copies' data, the names of the first batch of sources, those of the
    // rest; once with JPEGs, once with raw+JPEG pairs kept together.
    for (const auto &[killAt, pairs] : {std::pair{2, false}, {3, false}, {2, true}, {3, true}}) {
        TestDir dir;
        QSet<QByteArray> contents;
        for (int i = 0; i < FileCount; ++i) {
            const QByteArray content = photo(killAt * 1000 + i, 20 * 1024 + i);
            const QString name = pairs ? QStringLiteral("IMG_%1.%2")
                                             .arg(i / 2, 4, 10, QLatin1Char('0'))
                                             .arg(i % 2 ? QStringLiteral("CR3") : QStringLiteral("JPG"))
                                       : QStringLiteral("IMG_%1.JPG").arg(i, 4, 10, QLatin1Char('0'));
            dir.createFile(QStringLiteral("card/DCIM/100CANON/") + name, content);
            contents.insert(QCryptographicHash::hash(content, QCryptographicHash::Sha256));
        }
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            TestPrompt quiet;
            Importer killed(dir);
            killed.renamed = true;
            killed.pairs = pairs;
            SetFlushFaultForTesting([killAt] {
                static int flushes = 0;
                if (++flushes == killAt)
                    ::_exit(9);
                return 0;
            });
            killed.run(true, true, true);
            ::_exit(0);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 9);

        TestPrompt prompt;
        Importer importer(dir);
        importer.renamed = true;
        importer.pairs = pairs;
        QVERIFY(importer.run(true, true, true));
        const QStringList arrived = test::filesUnder(importer.dest);
        // No shot split: every name stem holds its raw file and its JPEG.
        for (const QString &name : arrived) {
            if (pairs)
                QVERIFY2(arrived.contains(name.chopped(3) + (name.endsWith(QLatin1String("JPG"))
                                                                 ? QStringLiteral("CR3")
                                                                 : QStringLiteral("JPG"))),
                         qPrintable(name));
        }
        QSet<QByteArray> hashes;
        for (const QString &name : arrived)
            hashes.insert(sha(importer.dest + QLatin1Char('/') + name));
        QCOMPARE(arrived.size(), FileCount);
        QCOMPARE(hashes, contents);
        QVERIFY(test::filesUnder(importer.card).isEmpty());
        QVERIFY(prompt.messages.isEmpty());
    }
}

// A photo's time is kept to the nanosecond however far it lies from now (a camera with a wrong clock),
// and the next run recognises the photo by it.
void TestImportRuns::timesFarFromNowRecordedExactly()
{
    TestDir dir;
    TestPrompt prompt;
    Importer importer(dir);
    const QList<FileTime> times{{-2'147'000'000, 5}, {13'569'465'600, 123'456'789}}; // 1901, 2400
    for (qsizetype i = 0; i < times.size(); ++i) {
        const QString path = importer.add(QStringLiteral("100CANON/IMG_000%1.JPG").arg(i), photo(int(i)));
        const struct timespec set[2] = {{times[i].sec, times[i].nsec}, {times[i].sec, times[i].nsec}};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), set, 0), 0);
    }
    QVERIFY(importer.run(false));
    const ImportedFiles recorded = importer.history.filesOf(Volume);
    QCOMPARE(recorded.size(), times.size());
    for (qsizetype i = 0; i < times.size(); ++i) {
        const QByteArray path = QStringLiteral("DCIM/100CANON/IMG_000%1.JPG").arg(i).toUtf8();
        QCOMPARE(recorded.value(path).mtime(), times[i]);
    }
    QCOMPARE(importer.run(true).skippedImported, times.size());
    QCOMPARE(importer.listed, 0);
}

void TestImportRuns::killedMoveRerunLeavesEveryPhotoOnceAtTheDestination_data()
{
    QTest::addColumn<bool>("renamed");
    QTest::newRow("camera names") << false;
    // The rerun starts its running numbers elsewhere (the moved photos are gone from the card), so only
    // the journal of names leads it to the copies the killed run left.
    QTest::newRow("renamed with running numbers") << true;
}

void TestImportRuns::killedMoveRerunLeavesEveryPhotoOnceAtTheDestination()
{
    QFETCH(bool, renamed);
    constexpr int FileCount = 120;
    TestDir outer;
    QRandomGenerator random(20261208);
    // One undisturbed run measures the move; the kills fall anywhere inside it.
    auto makeTrial = [&](int n, QString &settings, QString &src, QString &dst, QSet<QByteArray> &contents) {
        const QString trial = outer.createDir(QStringLiteral("t%1").arg(n));
        src = trial + QStringLiteral("/card/DCIM");
        dst = trial + QStringLiteral("/dst");
        QDir().mkpath(dst);
        contents.clear();
        for (int i = 0; i < FileCount; ++i) {
            // The same names in two camera folders, as a camera that restarted its numbering makes.
            const QString path =
                src +
                QStringLiteral("/%1CANON/IMG_%2.JPG").arg(100 + i % 2).arg(i / 2, 4, 10, QLatin1Char('0'));
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly))
                return;
            const QByteArray content = photo(n * 1000 + i, i % 20 == 0 ? 1 << 20 : 40 * 1024 + i);
            f.write(content);
            contents.insert(QCryptographicHash::hash(content, QCryptographicHash::Sha256));
        }
        settings = trial + QStringLiteral("/settings.txt");
        QFile s(settings);
        if (!s.open(QIODevice::WriteOnly))
            return;
        s.write(QStringLiteral(
                    "SourceEditText=%1/\nDelChecked=1\nSkipImportedChecked=1\nVerifyChecked=1\n"
                    "History=%2/history.sqlite\nVolume=uuid:KILLED\nVolumeRoot=%2/card\nRow=*.JPG|%3/\n%4")
                    .arg(src, trial, dst,
                         renamed
                             ? QStringLiteral("RenameChecked=1\nFileNameEditText=[元のファイル名]_[RENBAN]\n")
                             : QString())
                    .toUtf8());
    };
    QString settings, src, dst;
    QSet<QByteArray> contents;
    makeTrial(0, settings, src, dst, contents);
    QElapsedTimer t;
    t.start();
    {
        QProcess p;
        p.start(m_driver, {QStringLiteral("--quiet"), settings});
        QVERIFY(p.waitForFinished(120000));
        QVERIFY2(p.exitCode() == 0, p.readAll().constData());
    }
    const qint64 fullRun = t.elapsed();
    QCOMPARE(test::filesUnder(dst).size(), FileCount);

    int killedMidway = 0;
    for (int trial = 1; trial <= 40 && killedMidway < 6; ++trial) {
        makeTrial(trial, settings, src, dst, contents);
        const test::KilledRun run =
            test::killRunAfter(m_driver, settings, int(random.bounded(qMax<qint64>(fullRun * 9 / 10, 20))));
        QVERIFY(run.started);
        QVERIFY(run.ended);
        killedMidway += run.midway;

        // (Killed during its last flush, the move may have left nothing to do.)
        if (!test::filesUnder(src).isEmpty()) {
            QProcess rerun;
            rerun.start(m_driver, {QStringLiteral("--quiet"), settings});
            QVERIFY(rerun.waitForFinished(120000));
            QVERIFY2(rerun.exitCode() == 0, rerun.readAll().constData());
        }

        // Every photo exactly once at the destination, none left on the card, nothing else anywhere.
        QStringList arrived = test::filesUnder(dst);
        QCOMPARE(arrived.size(), FileCount);
        QSet<QByteArray> hashes;
        for (const QString &name : std::as_const(arrived))
            hashes.insert(sha(dst + QLatin1Char('/') + name));
        QCOMPARE(hashes, contents);
        QVERIFY2(test::filesUnder(src).isEmpty(), qPrintable(test::filesUnder(src).join(QLatin1Char(' '))));
        QDir(QFileInfo(src).absolutePath()).removeRecursively();
    }
    QVERIFY2(killedMidway >= 6,
             qPrintable(QStringLiteral("only %1 kills hit a running move").arg(killedMidway)));
}

QTEST_GUILESS_MAIN(TestImportRuns)
#include "tst_importruns.moc"

void TestImportRuns::importLeavesNeitherCardNorCopiesInTheCache_data()
{
    QTest::addColumn<bool>("move");
    QTest::addColumn<bool>("verify");
    QTest::addColumn<bool>("warm");
    QTest::addColumn<bool>("backup");
    QTest::newRow("copy, hashed behind") << false << false << false << false;
    QTest::newRow("copy, read back") << false << true << false << false;
    QTest::newRow("move, read back") << true << true << false << false;
    QTest::newRow("copy of files just read") << false << false << true << false;
    QTest::newRow("copy of files just read, read back") << false << true << true << false;
    // With a second copy the card's next file is read ahead.
    QTest::newRow("copy with a backup") << false << false << false << true;
    QTest::newRow("copy of files just read, with a backup") << false << true << true << true;
}

// An import the size of the disk must not push everything else out of the page cache (the system then
// spends seconds reclaiming): the pages a card's files brought in go once copied and hashed, the copies'
// once on the disk. Files that were in the cache before (a folder the user just looked at) stay.
void TestImportRuns::importLeavesNeitherCardNorCopiesInTheCache()
{
    QFETCH(bool, move);
    QFETCH(bool, verify);
    QFETCH(bool, warm);
    QFETCH(bool, backup);
    TestDir dir;
    struct statfs fs;
    if (::statfs(QFile::encodeName(dir.path()).constData(), &fs) != 0 || fs.f_type == 0x01021994)
        QSKIP("the test folder is in memory (tmpfs): its pages cannot be dropped");
    TestPrompt prompt;
    Importer importer(dir);
    if (backup) {
        importer.backup = dir.filePath(QStringLiteral("backup"));
        QVERIFY(QDir().mkpath(importer.backup));
    }
    QStringList sources;
    for (int i = 1; i <= 4; ++i)
        sources << importer.add(QStringLiteral("100CANON/IMG_000%1.JPG").arg(i),
                                photo(i, i == 1 ? 200 : 3 << 20));
    // On the disk, as a card's files are; out of the cache, or read just now.
    QCOMPARE(SyncFileSystems({importer.card}), CopyError());
    for (const QString &source : std::as_const(sources)) {
        const int fd = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
        if (warm)
            QVERIFY(test::contentOf(source).size() > 0);
        QCOMPARE(cachedPages(source) > 0, warm);
    }

    QVERIFY(importer.run(false, move, verify));
    const QStringList copies = test::filesUnder(importer.dest);
    QCOMPARE(copies.size(), 4);
    for (const QString &name : copies)
        QCOMPARE(cachedPages(importer.dest + QLatin1Char('/') + name), 0);
    if (backup) {
        QCOMPARE(test::filesUnder(importer.backup), copies);
        for (const QString &name : copies)
            QCOMPARE(cachedPages(importer.backup + QLatin1Char('/') + name), 0);
    }
    for (const QString &source : std::as_const(sources)) {
        const qint64 pages =
            (QFileInfo(source).size() + ::sysconf(_SC_PAGESIZE) - 1) / ::sysconf(_SC_PAGESIZE);
        if (!move)
            QVERIFY2(cachedPages(source) == (warm ? pages : 0), qPrintable(source));
    }
    QVERIFY(prompt.messages.isEmpty());
}

// A run killed between naming a photo and naming its raw file: the next run gives the raw file the name
// the killed one meant for it, beside its photo, instead of splitting the pair over two running numbers.
void TestImportRuns::shotHalfNamedByAKilledRunIsCompletedUnderItsNames()
{
    TestDir dir;
    TestPrompt prompt;
    Importer importer(dir);
    importer.renamed = true;
    importer.pairs = true;
    const QString jpeg = importer.add(QStringLiteral("100CANON/IMG_0001.JPG"), photo(1));
    const QString raw = importer.add(QStringLiteral("100CANON/IMG_0001.CR3"), photo(2));
    QList<IntendedCopy> meant;
    for (const QString &source : {jpeg, raw}) {
        const FileStamp stamp = *FileStampOf(source);
        const QString name = importer.dest + QStringLiteral("/IMG_0001_7.") + QFileInfo(source).suffix();
        meant.append({QByteArray("DCIM/100CANON/") + QFile::encodeName(QFileInfo(source).fileName()),
                      stamp.size, stamp.mtime, pathToBytes(name), 8});
    }
    importer.history.journal(Volume, QStringLiteral("EOS_DIGITAL"), meant);
    QVERIFY(QFile::copy(jpeg, importer.dest + QStringLiteral("/IMG_0001_7.JPG")));

    QVERIFY(importer.run(true));
    QCOMPARE(test::filesUnder(importer.dest),
             (QStringList{QStringLiteral("IMG_0001_7.CR3"), QStringLiteral("IMG_0001_7.JPG")}));
    QCOMPARE(sha(importer.dest + QStringLiteral("/IMG_0001_7.CR3")), sha(raw));
    QCOMPARE(sha(importer.dest + QStringLiteral("/IMG_0001_7.JPG")), sha(jpeg));
    QVERIFY(prompt.messages.isEmpty());
}
