#include "history/importhistory.h"
#include "platform/bytepath.h"
#include "platform/copyfile.h"
#include "source/importedfilter.h"
#include "source/sourcewalk.h"
#include "tables.h"
#include "testdir.h"

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <xxhash.h>

using namespace vantora;
using test::TestDir;

namespace {

ImportedFile record(const QByteArray &path, qint64 size, qint64 mtimeNs, const QByteArray &destination = {})
{
    ImportedFile f;
    f.path = path;
    f.size = size;
    f.mtimeNs = mtimeNs;
    f.hash = QByteArray(16, char(size & 0x7F));
    f.destination = destination.isEmpty() ? "/photos/" + path : destination;
    f.importedAt = 1'700'000'000'000 + size;
    return f;
}

QByteArray xxh128(const QByteArray &data)
{
    XXH128_canonical_t c;
    XXH128_canonicalFromHash(&c, XXH3_128bits(data.constData(), size_t(data.size())));
    return QByteArray(reinterpret_cast<const char *>(c.digest), 16);
}

qint64 mtimeNsOf(const QString &path)
{
    struct stat st;
    if (::stat(pathToBytes(path).constData(), &st) != 0)
        return -1;
    return qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
}

} // namespace

// The history file, the walk's filter that reads it, and the hash every copy takes.
class TestImportHistory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void recordsAreFoundByPathSizeAndTime();
    void aBatchIsWrittenWholeOrNotAtAll();
    void damagedOrUnreadableFileIsMovedAside_data();
    void damagedOrUnreadableFileIsMovedAside();
    void walkLeavesOutImportedFilesOnly();
    void copyHashIsTheContentsHash();
    void hashTakenBehindTheCopies();
    void droppedPagesAreReadFromTheDisk();
    void commandLineTool();
};

void TestImportHistory::recordsAreFoundByPathSizeAndTime()
{
    TestDir dir;
    const QString path = dir.filePath(QStringLiteral("h/history.sqlite"));
    {
        SqliteImportHistory history(path);
        QVERIFY(history.notice().isEmpty());
        QCOMPARE(history.journalMode(), QStringLiteral("wal"));
        QVERIFY(history.add(
            QStringLiteral("uuid:1234-ABCD"), QStringLiteral("EOS_DIGITAL"),
            {record("DCIM/100CANON/IMG_0001.JPG", 100, 5), record("DCIM/100CANON/IMG_0002.JPG", 200, 6)}));
        // The same name again on a card formatted and filled anew: a second file, the first stays.
        QVERIFY(history.add(QStringLiteral("uuid:1234-ABCD"), QStringLiteral("EOS_DIGITAL"),
                            {record("DCIM/100CANON/IMG_0001.JPG", 150, 9)}));
        QVERIFY(history.add(QStringLiteral("label:CARD:1000"), QStringLiteral("CARD"),
                            {record("DCIM/IMG_0001.JPG", 100, 5)}));
        // A name that is not UTF-8 is kept as its bytes.
        QVERIFY(history.add(QStringLiteral("uuid:1234-ABCD"), QStringLiteral("EOS_DIGITAL"),
                            {record(QByteArray("DCIM/caf\xe9.JPG"), 7, 1)}));
    }
    // Opened again: everything is there.
    SqliteImportHistory history(path);
    QVERIFY(history.notice().isEmpty());
    const ImportedFiles files = history.filesOf(QStringLiteral("uuid:1234-ABCD"));
    QCOMPARE(files.size(), 4);
    const ImportedFile *first = findImported(files, "DCIM/100CANON/IMG_0001.JPG", 100, 5);
    QVERIFY(first);
    QCOMPARE(*first, record("DCIM/100CANON/IMG_0001.JPG", 100, 5));
    QVERIFY(findImported(files, "DCIM/100CANON/IMG_0001.JPG", 150, 9));
    QVERIFY(!findImported(files, "DCIM/100CANON/IMG_0001.JPG", 100, 6)); // another time
    QVERIFY(!findImported(files, "DCIM/100CANON/IMG_0001.JPG", 101, 5)); // another size
    QVERIFY(!findImported(files, "DCIM/100CANON/IMG_0003.JPG", 100, 5));
    QVERIFY(findImported(files, QByteArray("DCIM/caf\xe9.JPG"), 7, 1));
    QCOMPARE(history.filesOf(QStringLiteral("label:CARD:1000")).size(), 1);
    // Enough to recognise a file, without where its copy went.
    const ImportedFiles keys = history.filesOf(QStringLiteral("uuid:1234-ABCD"), false);
    QCOMPARE(keys.size(), 4);
    const ImportedFile *key = findImported(keys, "DCIM/100CANON/IMG_0001.JPG", 100, 5);
    QVERIFY(key);
    QVERIFY(key->hash.isEmpty() && key->destination.isEmpty());
    QVERIFY(history.filesOf(QStringLiteral("uuid:other")).isEmpty());
    // What a count reads: the same files, recognised by the same three things.
    const ImportedStamps stamps = history.stampsOf(QStringLiteral("uuid:1234-ABCD"));
    QCOMPARE(stamps.size(), 4);
    QVERIFY(stamps.contains("DCIM/100CANON/IMG_0001.JPG", 100, 5));
    QVERIFY(stamps.contains("DCIM/100CANON/IMG_0001.JPG", 150, 9));
    QVERIFY(stamps.contains("DCIM/100CANON/IMG_0002.JPG", 200, 6));
    QVERIFY(stamps.contains(QByteArray("DCIM/caf\xe9.JPG"), 7, 1));
    QVERIFY(!stamps.contains("DCIM/100CANON/IMG_0001.JPG", 100, 6));
    QVERIFY(!stamps.contains("DCIM/100CANON/IMG_0001.JPG", 101, 5));
    QVERIFY(!stamps.contains("DCIM/100CANON/IMG_0002.JPG", 100, 5)); // another file's size and time
    QVERIFY(!stamps.contains("DCIM/100CANON/IMG_000", 100, 5));
    QVERIFY(stamps.containsPath("DCIM/100CANON/IMG_0002.JPG"));
    QVERIFY(!stamps.containsPath("DCIM/100CANON/IMG_0002.JP"));
    QVERIFY(!stamps.containsPath("DCIM/IMG_0001.JPG")); // another card's
    QVERIFY(history.stampsOf(QStringLiteral("uuid:other")).isEmpty());

    const QList<HistoryVolume> volumes = history.volumes();
    QCOMPARE(volumes.size(), 2);
    QCOMPARE(volumes.at(0).identity, QStringLiteral("uuid:1234-ABCD")); // the latest import first
    QCOMPARE(volumes.at(0).label, QStringLiteral("EOS_DIGITAL"));
    QCOMPARE(volumes.at(0).files, 4);
    QCOMPARE(volumes.at(0).lastImport, 1'700'000'000'000 + 200);

    QCOMPARE(history.forget(QStringLiteral("uuid:1234-ABCD")), 4);
    QVERIFY(history.filesOf(QStringLiteral("uuid:1234-ABCD")).isEmpty());
    QCOMPARE(history.volumes().size(), 1);
    QCOMPARE(history.forget(QStringLiteral("uuid:1234-ABCD")), 0);
}

void TestImportHistory::aBatchIsWrittenWholeOrNotAtAll()
{
    TestDir dir;
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    SqliteImportHistory history(path);
    {
        // Another writer holds the file: the batch cannot be written, and none of it is.
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        other.setDatabaseName(path);
        QVERIFY(other.open());
        QSqlQuery lock(other);
        QVERIFY(lock.exec(QStringLiteral("BEGIN EXCLUSIVE")));
        QSqlQuery(other).exec(QStringLiteral("PRAGMA busy_timeout=0"));
        QElapsedTimer waited;
        waited.start();
        // The store waits for a busy file a while, then gives up without a word.
        const bool added =
            history.add(QStringLiteral("v"), QString(), {record("a", 1, 1), record("b", 2, 2)});
        QVERIFY(!added);
        QVERIFY(waited.elapsed() >= 4000);
        QVERIFY(QSqlQuery(other).exec(QStringLiteral("ROLLBACK")));
        other.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
    QVERIFY(history.filesOf(QStringLiteral("v")).isEmpty());
    QVERIFY(history.add(QStringLiteral("v"), QString(), {record("a", 1, 1), record("b", 2, 2)}));
    QCOMPARE(history.filesOf(QStringLiteral("v")).size(), 2);
}

void TestImportHistory::damagedOrUnreadableFileIsMovedAside_data()
{
    test::addRows<QString>({"kind"}, {{"not a database", QStringLiteral("garbage")},
                                      {"truncated database", QStringLiteral("truncated")},
                                      {"a folder in its place", QStringLiteral("folder")}});
}

void TestImportHistory::damagedOrUnreadableFileIsMovedAside()
{
    QFETCH(QString, kind);
    TestDir dir;
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    QByteArray before;
    if (kind == QLatin1String("garbage")) {
        before = QByteArray("\x00\xff this is no history [[[", 25);
        dir.createFile(QStringLiteral("history.sqlite"), before);
    } else if (kind == QLatin1String("truncated")) {
        {
            SqliteImportHistory history(path);
            QList<ImportedFile> many;
            for (int i = 0; i < 2000; ++i)
                many.append(record("DCIM/IMG_" + QByteArray::number(i) + ".JPG", i, i));
            QVERIFY(history.add(QStringLiteral("v"), QString(), many));
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.size() > 8192);
        // Keep the header, lose the middle of the tables.
        f.seek(4096);
        f.write(QByteArray(4096, '\x5a'));
        f.close();
    } else {
        QDir().mkpath(path);
    }

    SqliteImportHistory history(path);
    const QStringList aside =
        QDir(dir.path())
            .entryList({QStringLiteral("history.sqlite.damaged-*")}, QDir::AllEntries | QDir::Hidden);
    QCOMPARE(aside.size(), 1);
    QCOMPARE(history.notice(), damagedHistoryMessage(path, dir.filePath(aside.first())));
    if (kind == QLatin1String("garbage")) {
        QFile kept(dir.filePath(aside.first()));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), before);
    }
    // A new history works.
    QVERIFY(history.add(QStringLiteral("v"), QString(), {record("x", 1, 1)}));
    QCOMPARE(history.filesOf(QStringLiteral("v")).size(), 1);
    QVERIFY(QFileInfo(path).isFile());
}

void TestImportHistory::walkLeavesOutImportedFilesOnly()
{
    TestDir dir;
    const QString root = dir.createDir(QStringLiteral("card"));
    const QString a = dir.createFile(QStringLiteral("card/DCIM/100CANON/IMG_0001.JPG"), "one");
    const QString b = dir.createFile(QStringLiteral("card/DCIM/100CANON/IMG_0002.JPG"), "two");
    const QString c = dir.createFile(QStringLiteral("card/DCIM/101CANON/IMG_0001.JPG"), "three");
    const QString d = dir.createFile(QStringLiteral("card/DCIM/101CANON/IMG_0003.JPG"), "four");
    ImportedFiles files;
    // a: imported as it is; b: same name and size, another time (a new photo); c: another size.
    files.insert("DCIM/100CANON/IMG_0001.JPG", record("DCIM/100CANON/IMG_0001.JPG", 3, mtimeNsOf(a)));
    files.insert("DCIM/100CANON/IMG_0002.JPG", record("DCIM/100CANON/IMG_0002.JPG", 3, mtimeNsOf(b) - 1));
    files.insert("DCIM/101CANON/IMG_0001.JPG", record("DCIM/101CANON/IMG_0001.JPG", 4, mtimeNsOf(c)));
    files.insert("DCIM/101CANON/IMG_0003.JPG", record("DCIM/101CANON/IMG_0003.JPG", 4, mtimeNsOf(d)));

    ImportedFilter filter(StampsOf(files), root);
    const QStringList list = CollectRunList(
        root + QStringLiteral("/DCIM"), {QStringLiteral("*.JPG"), QStringLiteral("*.*")}, nullptr, &filter);
    // Each file left in is listed once per mask, as without the filter.
    QCOMPARE(list, (QStringList{b, b, c, c}));
    QCOMPARE(filter.skipped().size(), 2);
    QCOMPARE(filter.skipped().at(0).source, a);
    QCOMPARE(filter.skipped().at(1).source, d);
    QCOMPARE(filter.skipped().at(1).record.path, QByteArray("DCIM/101CANON/IMG_0003.JPG"));
    QCOMPARE(filter.skipped().at(1).record.size, 4);
    QCOMPARE(filter.skipped().at(1).record.mtimeNs, mtimeNsOf(d));

    ImportedFilter counting(StampsOf(files), root + QLatin1Char('/'));
    QCOMPARE(CountFiles(root, {QStringLiteral("*.JPG")}, nullptr, 0, {}, &counting), 2);
    QCOMPARE(counting.skipped().size(), 2);
}

void TestImportHistory::copyHashIsTheContentsHash()
{
    TestDir dir;
    QByteArray content;
    for (int i = 0; i < 3 * 1024 * 1024 + 17; ++i)
        content.append(char((i * 31) ^ (i >> 9)));
    const QString source = dir.createFile(QStringLiteral("src/big.JPG"), content);
    const QString empty = dir.createFile(QStringLiteral("src/empty.JPG"), QByteArray());
    dir.createDir(QStringLiteral("dst"));

    CopyOptions options;
    options.hash = true;
    CopyOutcome outcome;
    QCOMPARE(CopyFileWithProgress(source, dir.filePath(QStringLiteral("dst/big.JPG")), {}, nullptr, options,
                                  &outcome),
             0);
    QCOMPARE(outcome.hash, xxh128(content));
    QCOMPARE(outcome.source.size, content.size());
    QCOMPARE(outcome.source.mtimeNs, mtimeNsOf(source));
    const ContentCheck check = HashFileContent(dir.filePath(QStringLiteral("dst/big.JPG")), true);
    QCOMPARE(check.error, 0);
    QCOMPARE(check.hash, outcome.hash);
    QCOMPARE(check.stamp, outcome.copy);

    QCOMPARE(CopyFileWithProgress(empty, dir.filePath(QStringLiteral("dst/empty.JPG")), {}, nullptr, options,
                                  &outcome),
             0);
    QCOMPARE(outcome.hash, xxh128(QByteArray()));

    // Without the option no hash is taken.
    QCOMPARE(CopyFileWithProgress(source, dir.filePath(QStringLiteral("dst/plain.JPG")), {}, nullptr, {},
                                  &outcome),
             0);
    QVERIFY(outcome.hash.isEmpty());
    QCOMPARE(HashFileContent(dir.filePath(QStringLiteral("dst/missing.JPG"))).error, ENOENT);
}

void TestImportHistory::hashTakenBehindTheCopies()
{
    TestDir dir;
    dir.createDir(QStringLiteral("dst"));
    const QList<int> sizes{0, 1, 300 * 1024, 1024 * 1024 + 5, 5 * 1024 * 1024 + 3};
    struct Copied
    {
        QByteArray content;
        CopyOutcome outcome;
    };
    // More files than the hasher holds open at once, so some copies wait for it.
    std::vector<Copied> copies(100);
    ContentHasher hasher;
    CopyOptions options;
    options.hash = true;
    options.hasher = &hasher;
    for (int i = 0; i < int(copies.size()); ++i) {
        Copied &c = copies[size_t(i)];
        c.content = QByteArray(sizes.at(i % sizes.size()), char(i));
        if (!c.content.isEmpty())
            c.content[c.content.size() / 2] = char(i * 7 + 1);
        const QString name = QStringLiteral("IMG_%1.JPG").arg(i, 4, 10, QLatin1Char('0'));
        const QString source = dir.createFile(QStringLiteral("src/") + name, c.content);
        QCOMPARE(CopyFileWithProgress(source, dir.filePath(QStringLiteral("dst/") + name), {}, nullptr,
                                      options, &c.outcome),
                 0);
    }
    for (Copied &c : copies) {
        QByteArray hash = c.outcome.hash;
        if (c.outcome.hashTicket) {
            QVERIFY(hash.isEmpty());
            const ContentHasher::Result taken = hasher.take(c.outcome.hashTicket);
            QCOMPARE(taken.error, 0);
            hash = taken.hash;
        }
        QCOMPARE(hash, xxh128(c.content));
    }

    // A name taken: the copy that lands under "_2" brings one hash, of its own content; the source gone
    // right after its copy (a card pulled) is still hashed whole.
    const QByteArray content(3 * 1024 * 1024, 'q');
    const QString source = dir.createFile(QStringLiteral("src/taken.JPG"), content);
    dir.createFile(QStringLiteral("dst/taken.JPG"), QByteArray("other"));
    CopyOutcome outcome;
    QString written;
    QCOMPARE(CopyFileToFreeName(source, dir.filePath(QStringLiteral("dst/taken.JPG")), {}, nullptr, options,
                                &outcome, &written),
             0);
    QCOMPARE(written, dir.filePath(QStringLiteral("dst/taken_2.JPG")));
    QVERIFY(outcome.hashTicket != 0);
    QVERIFY(QFile::remove(source));
    QCOMPARE(hasher.take(outcome.hashTicket).hash, xxh128(content));

    // A source cut short after its copy gives the copy's hash or none, never another one.
    const QByteArray large(48 * 1024 * 1024, 'r');
    const QString growing = dir.createFile(QStringLiteral("src/cut.MOV"), large);
    QCOMPARE(CopyFileWithProgress(growing, dir.filePath(QStringLiteral("dst/cut.MOV")), {}, nullptr, options,
                                  &outcome),
             0);
    QVERIFY(::truncate(QFile::encodeName(growing).constData(), 1024) == 0);
    const ContentHasher::Result cut = hasher.take(outcome.hashTicket);
    QVERIFY2(cut.error ? cut.hash.isEmpty() : cut.hash == xxh128(large),
             qPrintable(QString::number(cut.error)));
}

void TestImportHistory::droppedPagesAreReadFromTheDisk()
{
    // Only a filesystem on a disk keeps a file's pages in the page cache apart from the file itself; the
    // build folder is on one, the temporary folder may be a tmpfs.
    const QString folder = QString::fromLocal8Bit(qgetenv("VANTORA_BINARY_DIR"));
    struct statfs fs;
    QVERIFY(::statfs(QFile::encodeName(folder).constData(), &fs) == 0);
    if (fs.f_type == 0x01021994 /* tmpfs */)
        QSKIP("the build folder is on a tmpfs");
    QTemporaryDir dir(folder + QStringLiteral("/pages-XXXXXX"));
    const QString path = dir.filePath(QStringLiteral("copy.JPG"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(8 * 1024 * 1024, 'p'));
    QVERIFY(f.flush());
    QVERIFY(::fsync(f.handle()) == 0);
    f.close();

    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    QVERIFY(fd >= 0);
    const size_t length = 8 * 1024 * 1024;
    void *map = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, 0);
    QVERIFY(map != MAP_FAILED);
    const long page = ::sysconf(_SC_PAGESIZE);
    std::vector<unsigned char> resident(length / size_t(page));
    auto residentPages = [&] { QVERIFY(::mincore(map, length, resident.data()) == 0); };
    auto count = [&] {
        int n = 0;
        for (unsigned char r : resident)
            n += r & 1;
        return n;
    };
    residentPages();
    QVERIFY2(count() > 0, "the pages just written are cached");
    QCOMPARE(DropCachedPages(fd), 0);
    residentPages();
    QCOMPARE(count(), 0);
    ::munmap(map, length);
    ::close(fd);
}

void TestImportHistory::commandLineTool()
{
    TestDir dir;
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    {
        SqliteImportHistory history(path);
        QVERIFY(
            history.add(QStringLiteral("uuid:AAAA-0001"), QStringLiteral("EOS_DIGITAL"),
                        {record("DCIM/100CANON/IMG_0001.JPG", 100, 5, "/home/me/Pictures/IMG_0001.JPG"),
                         record("DCIM/100CANON/IMG_0002.JPG", 200, 6, "/home/me/Pictures/IMG_0002.JPG")}));
        QVERIFY(history.add(QStringLiteral("label:CARD:1000"), QStringLiteral("CARD"),
                            {record("DCIM/A.JPG", 1, 1)}));
    }
    const QString tool =
        QString::fromLocal8Bit(qgetenv("VANTORA_BINARY_DIR")) + QStringLiteral("/src/vantora-history");
    auto run = [&](const QStringList &args, int *code = nullptr) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VANTORA_HISTORY"), path);
        p.setProcessEnvironment(env);
        p.start(tool, args);
        p.waitForFinished(20000);
        if (code)
            *code = p.exitCode();
        return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
    };
    int code = -1;
    QStringList lines = run({}, &code).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(code, 0);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.at(0).startsWith(QStringLiteral("uuid:AAAA-0001\tEOS_DIGITAL\t2\t")),
             qPrintable(lines.at(0)));
    QVERIFY2(lines.at(1).startsWith(QStringLiteral("label:CARD:1000\tCARD\t1\t")), qPrintable(lines.at(1)));

    lines = run({QStringLiteral("uuid:AAAA-0001")}, &code).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(code, 0);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.at(0).startsWith(QStringLiteral("DCIM/100CANON/IMG_0001.JPG\t100\t")),
             qPrintable(lines.at(0)));
    QVERIFY(lines.at(0).contains(QStringLiteral("\t/home/me/Pictures/IMG_0001.JPG\t")));

    QVERIFY(run({QStringLiteral("uuid:none")}, &code).contains(QStringLiteral("no imports from uuid:none")));
    QCOMPARE(code, 1);
    QCOMPARE(run({QStringLiteral("--forget"), QStringLiteral("uuid:AAAA-0001")}, &code).trimmed(),
             QStringLiteral("2 records removed"));
    QCOMPARE(code, 0);
    lines = run({}, &code).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1);
    QVERIFY(run({QStringLiteral("--bogus")}, &code).contains(QStringLiteral("usage:")));
    QCOMPARE(code, 2);
}

QTEST_GUILESS_MAIN(TestImportHistory)
#include "tst_importhistory.moc"
