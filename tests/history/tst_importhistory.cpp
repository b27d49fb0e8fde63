#include "history/importhistory.h"
#include "mounthelper.h"
#include "platform/bytepath.h"
#include "platform/contenthash.h"
#include "platform/copyfile.h"
#include "source/importedfilter.h"
#include "source/sourcewalk.h"
#include "tables.h"
#include "testdir.h"

#include <QProcess>
#include <QSemaphore>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <atomic>

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

QStringList asideOf(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("*.damaged-*")}, QDir::AllEntries | QDir::Hidden);
}

// A -wal or -shm its owner cannot write keeps the history read-only for good.
bool walFilesWritable(const QString &path)
{
    for (const char *suffix : {"-wal", "-shm"}) {
        struct stat st;
        if (::stat(pathToBytes(path).append(suffix).constData(), &st) == 0 && !(st.st_mode & S_IWUSR))
            return false;
    }
    return true;
}

// A history as version 1 wrote it (times as nanoseconds since the epoch), at `version`.
void writeVersion1History(const QString &path, int version, const QList<ImportedFile> &files)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("old"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(db.transaction());
        for (const char *statement :
             {"CREATE TABLE schema_version (version INTEGER NOT NULL)",
              "CREATE TABLE volumes (id INTEGER PRIMARY KEY, identity TEXT NOT NULL UNIQUE, label TEXT NOT "
              "NULL)",
              "CREATE TABLE files (volume INTEGER NOT NULL REFERENCES volumes(id), path BLOB NOT NULL, size "
              "INTEGER NOT NULL, mtime_ns INTEGER NOT NULL, hash BLOB NOT NULL, destination BLOB NOT NULL, "
              "imported_at INTEGER NOT NULL, PRIMARY KEY (volume, path, size, mtime_ns)) WITHOUT ROWID",
              "INSERT INTO volumes VALUES (1, 'v', 'CARD')"})
            QVERIFY(q.exec(QString::fromLatin1(statement)));
        QVERIFY(q.exec(QStringLiteral("INSERT INTO schema_version VALUES (%1)").arg(version)));
        QVERIFY(q.prepare(QStringLiteral("INSERT INTO files VALUES (1, ?, ?, ?, ?, ?, ?)")));
        for (const ImportedFile &f : files) {
            for (const QVariant &value : {QVariant(f.path), QVariant(f.size), QVariant(f.mtimeNs),
                                          QVariant(f.hash), QVariant(f.destination), QVariant(f.importedAt)})
                q.addBindValue(value);
            QVERIFY(q.exec());
        }
        QVERIFY(db.commit());
    }
    QSqlDatabase::removeDatabase(QStringLiteral("old"));
}

// Read from the file as it stands, without touching it.
int schemaVersionOf(const QString &path)
{
    int version = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
        db.setDatabaseName(QStringLiteral("file:") + path + QStringLiteral("?immutable=1"));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
        QSqlQuery q(db);
        if (db.open() && q.exec(QStringLiteral("SELECT version FROM schema_version")) && q.next())
            version = q.value(0).toInt();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("peek"));
    return version;
}

// Fills the filesystem of `folder` but for about `room` bytes; returns the filler.
QString fillDisk(const QString &folder, qint64 room)
{
    const QString filler = folder + QStringLiteral("/filler");
    QFile f(filler);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    const QByteArray page(4096, 'f');
    while (f.write(page) == page.size() && f.flush()) {
    }
    f.close();
    f.resize(std::max<qint64>(0, f.size() - room));
    return filler;
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
    void unwritableFileIsKeptAndWrittenAgain_data();
    void unwritableFileIsKeptAndWrittenAgain();
    void readOnlyFileOfAnOrdinaryUser_data();
    void readOnlyFileOfAnOrdinaryUser();
    void schemaOfAnotherVersion_data();
    void schemaOfAnotherVersion();
    void timesAreKeptExactly_data();
    void timesAreKeptExactly();
    void journalHoldsCopiesUntilRecorded();
    void secondCopiesArePendingUntilRecordedDone();
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

void TestImportHistory::unwritableFileIsKeptAndWrittenAgain_data()
{
    test::addRows<QString, int>(
        {"kind", "problem"},
        {{"disk full", QStringLiteral("full"), int(HistoryProblem::DiskFull)},
         {"read-only file opened by root", QStringLiteral("read-only"), int(HistoryProblem::NoPermission)},
         {"busy", QStringLiteral("busy"), int(HistoryProblem::Busy)}});
}

void TestImportHistory::unwritableFileIsKeptAndWrittenAgain()
{
    QFETCH(QString, kind);
    QFETCH(int, problem);
    if (kind != QLatin1String("busy") && ::geteuid() != 0)
        QSKIP("a full disk is mounted, and a read-only file written, only as root");
    TestDir dir;
    const QString folder = dir.createDir(QStringLiteral("disk"));
    std::optional<test::SmallDisk> disk;
    if (kind == QLatin1String("full")) {
        disk.emplace(folder, "1M");
        if (!disk->mounted())
            QSKIP(qPrintable(disk->error()));
    }
    const QString path = folder + QStringLiteral("/history.sqlite");
    const ImportedFile a = record("DCIM/A.JPG", 1, 1), b = record("DCIM/B.JPG", 2, 2);
    {
        SqliteImportHistory history(path);
        QVERIFY(history.add(QStringLiteral("v"), {}, {a}));
    }
    const QByteArray before = test::fileHash(path);
    const QString filler = kind == QLatin1String("full") ? fillDisk(folder, 0) : QString();
    if (kind == QLatin1String("read-only"))
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    if (kind == QLatin1String("busy")) {
        // Another program that holds the file alone.
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        other.setDatabaseName(path);
        QVERIFY(other.open());
        QVERIFY(QSqlQuery(other).exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE")));
        QVERIFY(QSqlQuery(other).exec(QStringLiteral("BEGIN EXCLUSIVE")));
    }
    {
        SqliteImportHistory history(path);
        QCOMPARE(history.notice(), unusableHistoryMessage(path, HistoryProblem(problem)));
        QCOMPARE(int(history.problem()), problem);
        // What it holds is still read, unless another program is in the middle of writing it.
        if (kind != QLatin1String("busy"))
            QCOMPARE(history.filesOf(QStringLiteral("v")).values(), QList<ImportedFile>{a});
        QVERIFY(!history.add(QStringLiteral("v"), {}, {b}));
        QVERIFY(asideOf(folder).isEmpty());
        QCOMPARE(test::fileHash(path), before);
        QVERIFY(walFilesWritable(path));

        if (kind == QLatin1String("full"))
            QVERIFY(QFile::remove(filler));
        if (kind == QLatin1String("read-only"))
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                                    QFile::ReadOther));
        if (kind == QLatin1String("busy"))
            QSqlDatabase::removeDatabase(QStringLiteral("other"));
        QVERIFY(history.add(QStringLiteral("v"), {}, {b}));
        QCOMPARE(history.filesOf(QStringLiteral("v")).size(), 2);
    }
    SqliteImportHistory history(path);
    QVERIFY(history.notice().isEmpty());
    QCOMPARE(history.filesOf(QStringLiteral("v")).size(), 2);
    QVERIFY(walFilesWritable(path));
}

void TestImportHistory::readOnlyFileOfAnOrdinaryUser_data()
{
    test::addRows<bool>({"leftovers"},
                        {{"clean", false}, {"-wal and -shm an earlier version left read-only", true}});
}

void TestImportHistory::readOnlyFileOfAnOrdinaryUser()
{
    QFETCH(bool, leftovers);
    TestDir dir;
    if (::geteuid() == 0) {
        // Root may write any file: the user's part runs as an ordinary user, in a folder of theirs.
        const struct passwd *nobody = ::getpwnam("nobody");
        if (!nobody)
            QSKIP("the system has no user nobody to run as");
        const uid_t uid = nobody->pw_uid;
        const gid_t gid = nobody->pw_gid;
        QVERIFY(::chown(QFile::encodeName(dir.path()).constData(), uid, gid) == 0);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VANTORA_HISTORY_USER_DIR"), dir.path());
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.setChildProcessModifier([uid, gid] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
                ::_exit(127);
        });
        const QString row =
            QStringLiteral("readOnlyFileOfAnOrdinaryUser:") + QString::fromUtf8(QTest::currentDataTag());
        p.start(QCoreApplication::applicationFilePath(), {row});
        QVERIFY(p.waitForFinished(60000));
        const QByteArray out = p.readAll();
        QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, out.constData());
        QVERIFY2(out.contains("PASS   : TestImportHistory::readOnlyFileOfAnOrdinaryUser"), out.constData());
        return;
    }
    const QString path =
        qEnvironmentVariable("VANTORA_HISTORY_USER_DIR", dir.path()) + QStringLiteral("/history.sqlite");
    const QString v = QStringLiteral("v");
    {
        SqliteImportHistory history(path);
        QVERIFY(history.add(v, {}, {record("DCIM/A.JPG", 1, 1)}));
    }
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    if (leftovers) {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("earlier"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("SELECT COUNT(*) FROM files")) && q.next());
        }
        QSqlDatabase::removeDatabase(QStringLiteral("earlier"));
        QVERIFY(!walFilesWritable(path));
    }
    {
        SqliteImportHistory history(path);
        QCOMPARE(history.notice(), unusableHistoryMessage(path, HistoryProblem::NoPermission));
        QCOMPARE(history.filesOf(v).size(), 1);
        QVERIFY(!history.add(v, {}, {record("DCIM/B.JPG", 2, 2)}));
        QCOMPARE(QFileInfo::exists(path + QStringLiteral("-wal")), leftovers);
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                                QFile::ReadOther));
        QVERIFY(history.add(v, {}, {record("DCIM/B.JPG", 2, 2)}));
    }
    SqliteImportHistory history(path);
    QVERIFY(history.notice().isEmpty());
    QVERIFY(history.add(v, {}, {record("DCIM/C.JPG", 3, 3)}));
    QCOMPARE(history.filesOf(v).size(), 3);
    QVERIFY(walFilesWritable(path));
}

void TestImportHistory::schemaOfAnotherVersion_data()
{
    test::addRows<int, bool>({"version", "fullDisk"},
                             {{"version 1 is upgraded", 1, false},
                              {"version 1 on a disk too full to upgrade it", 1, true},
                              {"a newer version is left alone", 4, false}});
}

void TestImportHistory::schemaOfAnotherVersion()
{
    QFETCH(int, version);
    QFETCH(bool, fullDisk);
    if (fullDisk && ::geteuid() != 0)
        QSKIP("a full disk is mounted only as root");
    TestDir dir;
    const QString folder = dir.createDir(QStringLiteral("disk"));
    std::optional<test::SmallDisk> disk;
    if (fullDisk) {
        disk.emplace(folder, "4M");
        if (!disk->mounted())
            QSKIP(qPrintable(disk->error()));
    }
    const QString path = folder + QStringLiteral("/history.sqlite");
    const QString v = QStringLiteral("v");
    // More than the full disk has room to upgrade; times before the epoch and after it, with fractions.
    QList<ImportedFile> files;
    for (int i = 0; i < 3000; ++i)
        files.append(
            record("DCIM/IMG_" + QByteArray::number(i) + ".JPG", i, qint64(i - 1500) * 1'000'000'007));
    writeVersion1History(path, version, files);
    const QByteArray before = test::fileHash(path);
    const QString filler = fullDisk ? fillDisk(folder, 48 * 1024) : QString();
    const HistoryProblem expected = version > 3 ? HistoryProblem::NewerSchema
                                    : fullDisk  ? HistoryProblem::DiskFull
                                                : HistoryProblem::None;
    {
        SqliteImportHistory history(path);
        QCOMPARE(int(history.problem()), int(expected));
        QCOMPARE(history.notice(),
                 expected == HistoryProblem::None ? QString() : unusableHistoryMessage(path, expected));
        QVERIFY(asideOf(folder).isEmpty());
        const ImportedFiles read = history.filesOf(v);
        if (version > 3) {
            QVERIFY(read.isEmpty());
            QVERIFY(!history.add(v, {}, {record("DCIM/NEW.JPG", 1, 1)}));
        } else {
            QCOMPARE(read.size(), files.size());
            for (const ImportedFile &f : std::as_const(files))
                QCOMPARE(*findImported(read, f.path, f.size, f.mtime()), f);
            if (fullDisk) {
                QVERIFY(!history.add(v, {}, {record("DCIM/NEW.JPG", 1, 1)}));
                QCOMPARE(schemaVersionOf(path), 1);
                QVERIFY(QFile::remove(filler));
            }
            QVERIFY(history.add(v, {}, {record("DCIM/NEW.JPG", 1, 1)}));
            QVERIFY(history.journal(v, {}, {{"DCIM/NEXT.JPG", 1, {2, 3}, "/photos/NEXT.JPG", 4}}));
        }
    }
    if (version > 3) {
        QCOMPARE(test::fileHash(path), before);
        return;
    }
    QCOMPARE(schemaVersionOf(path), 3);
    SqliteImportHistory history(path);
    QCOMPARE(history.filesOf(v).size(), files.size() + 1);
    QCOMPARE(history.journalOf(v).size(), 1);
    // The upgraded file keeps second copies too.
    QVERIFY(!history.hasPendingBackups(v));
    ImportedFile pending = files.first();
    pending.backup = "/backup/DCIM/IMG_0.JPG";
    pending.backupPending = true;
    QVERIFY(history.add(v, {}, {pending}));
    QVERIFY(history.hasPendingBackups(v));
    QCOMPARE(*findImported(history.filesOf(v), pending.path, pending.size, pending.mtime()), pending);
}

void TestImportHistory::timesAreKeptExactly_data()
{
    test::addRows<qint64, int>({"sec", "nsec"},
                               {{"1901", -2'177'452'800, 0},
                                {"the last second before 1970", -1, 500'000'000},
                                {"past the nanoseconds a qint64 holds (2262)", 9'223'372'037, 1},
                                {"2500", 16'756'761'599, 999'999'999}});
}

void TestImportHistory::timesAreKeptExactly()
{
    QFETCH(qint64, sec);
    QFETCH(int, nsec);
    const FileTime time{sec, nsec};
    // 2^64 nanoseconds later: the same 64 bits, were the time counted in nanoseconds.
    FileTime twin{sec + 18'446'744'073, nsec + 709'551'616};
    if (twin.nsec >= 1'000'000'000)
        twin = {twin.sec + 1, twin.nsec - 1'000'000'000};
    ImportedFile f = record("DCIM/IMG_0001.JPG", 10, 0),
                 g = record("DCIM/IMG_0001.JPG", 10, 0, "/photos/twin");
    f.setMtime(time);
    g.setMtime(twin);
    TestDir dir;
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    {
        SqliteImportHistory history(path);
        QVERIFY(history.add(QStringLiteral("v"), {}, {f, g}));
    }
    SqliteImportHistory history(path);
    const ImportedFiles files = history.filesOf(QStringLiteral("v"));
    QCOMPARE(files.size(), 2);
    const ImportedFile *found = findImported(files, f.path, f.size, time);
    QVERIFY(found);
    QCOMPARE(*found, f);
    QCOMPARE(findImported(files, f.path, f.size, twin)->destination, g.destination);
    QVERIFY(!findImported(files, f.path, f.size, FileTime{sec, nsec ^ 1}));
    // Never the negative number of an overflow.
    QCOMPARE(found->mtimeNs > 0, sec >= 0);
    const ImportedStamps stamps = history.stampsOf(QStringLiteral("v"));
    QVERIFY(stamps.contains(f.path, f.size, time));
    QVERIFY(stamps.contains(f.path, f.size, twin));
    QVERIFY(!stamps.contains(f.path, f.size, FileTime{sec + 1, nsec}));
}

void TestImportHistory::journalHoldsCopiesUntilRecorded()
{
    TestDir dir;
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    const QString v = QStringLiteral("v"), w = QStringLiteral("w");
    IntendedCopy a{"DCIM/A.JPG", 1, {10, 1}, "/photos/A.JPG", 2};
    const IntendedCopy b{"DCIM/B.JPG", 2, {20, 2}, "/photos/B.JPG", 3};
    const IntendedCopy elsewhere{"DCIM/A.JPG", 1, {10, 1}, "/elsewhere/A.JPG", -1};
    {
        SqliteImportHistory history(path);
        QVERIFY(history.journal(v, QStringLiteral("CARD"), {a, b}));
        QVERIFY(history.journal(w, QStringLiteral("CARD"), {elsewhere}));
        // The same file again: its new name replaces the old.
        a.destination = "/photos/A_2.JPG";
        a.nextFileNumber = 4;
        QVERIFY(history.journal(v, QStringLiteral("CARD"), {a}));
        // A batch with an entry that names no copy writes none of it.
        const IntendedCopy c{"DCIM/C.JPG", 3, {30, 3}, "/photos/C.JPG", 5};
        QVERIFY(!history.journal(v, QStringLiteral("CARD"), {c, {"DCIM/D.JPG", 4, {40, 4}, {}, 6}}));
    }
    SqliteImportHistory history(path);
    QCOMPARE(history.journalOf(v), (QList<IntendedCopy>{a, b}));
    // Recording the copy ends its entry; another file under the same name does not.
    ImportedFile recorded = record(a.path, a.size, 0);
    recorded.setMtime({10, 2});
    QVERIFY(history.add(v, {}, {recorded}));
    QCOMPARE(history.journalOf(v).size(), 2);
    recorded.setMtime(a.mtime);
    QVERIFY(history.add(v, {}, {recorded}));
    QCOMPARE(history.journalOf(v), QList<IntendedCopy>{b});
    QCOMPARE(history.forget(v), 2);
    QVERIFY(history.journalOf(v).isEmpty());
    QCOMPARE(history.journalOf(w), QList<IntendedCopy>{elsewhere});
}

// A second copy is kept with its file, pending until a record says it is done; forgetting the volume
// takes it too.
void TestImportHistory::secondCopiesArePendingUntilRecordedDone()
{
    TestDir dir;
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    const QString v = QStringLiteral("v"), w = QStringLiteral("w");
    ImportedFile a = record("DCIM/A.JPG", 1, 1), b = record("DCIM/B.JPG", 2, 2);
    a.backup = "/backup/A.JPG";
    a.backupPending = true;
    b.backup = "/backup/B.JPG";
    {
        SqliteImportHistory history(path);
        QVERIFY(history.add(v, {}, {a, b}));
        QVERIFY(history.add(w, {}, {record("DCIM/A.JPG", 1, 1)}));
    }
    SqliteImportHistory history(path);
    const ImportedFiles files = history.filesOf(v);
    QCOMPARE(*findImported(files, a.path, a.size, a.mtime()), a);
    QCOMPARE(*findImported(files, b.path, b.size, b.mtime()), b);
    QVERIFY(history.hasPendingBackups(v));
    QVERIFY(!history.hasPendingBackups(w));
    a.backupPending = false;
    QVERIFY(history.add(v, {}, {a}));
    QVERIFY(!history.hasPendingBackups(v));
    // Recorded again without a second copy: none is kept.
    b.backup.clear();
    QVERIFY(history.add(v, {}, {b}));
    QCOMPARE(findImported(history.filesOf(v), b.path, b.size, b.mtime())->backup, QByteArray());
    a.backupPending = true;
    QVERIFY(history.add(v, {}, {a}));
    QCOMPARE(history.forget(v), 2);
    QVERIFY(!history.hasPendingBackups(v));
    QVERIFY(history.add(v, {}, {record("DCIM/A.JPG", 1, 1)}));
    QCOMPARE(findImported(history.filesOf(v), a.path, a.size, a.mtime())->backup, QByteArray());
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
    // In the order the folders were read, which is the filesystem's.
    QList<SkippedImport> skipped = filter.skipped();
    std::sort(skipped.begin(), skipped.end(),
              [](const SkippedImport &x, const SkippedImport &y) { return x.source < y.source; });
    QCOMPARE(skipped.size(), 2);
    QCOMPARE(skipped.at(0).source, a);
    QCOMPARE(skipped.at(1).source, d);
    QCOMPARE(skipped.at(1).record.path, QByteArray("DCIM/101CANON/IMG_0003.JPG"));
    QCOMPARE(skipped.at(1).record.size, 4);
    QCOMPARE(skipped.at(1).record.mtimeNs, mtimeNsOf(d));

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
                                  &outcome)
                 .kind,
             CopyError::None);
    QCOMPARE(outcome.hash, xxh128(content));
    QCOMPARE(outcome.source.size, content.size());
    QCOMPARE(outcome.source.mtime.ns(), mtimeNsOf(source));
    const ContentCheck check = HashFileContent(dir.filePath(QStringLiteral("dst/big.JPG")), true);
    QCOMPARE(check.error, 0);
    QCOMPARE(check.hash, outcome.hash);
    QCOMPARE(check.stamp, outcome.copy);

    QCOMPARE(CopyFileWithProgress(empty, dir.filePath(QStringLiteral("dst/empty.JPG")), {}, nullptr, options,
                                  &outcome)
                 .kind,
             CopyError::None);
    QCOMPARE(outcome.hash, xxh128(QByteArray()));

    // Without the option no hash is taken.
    QCOMPARE(
        CopyFileWithProgress(source, dir.filePath(QStringLiteral("dst/plain.JPG")), {}, nullptr, {}, &outcome)
            .kind,
        CopyError::None);
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
                                      options, &c.outcome)
                     .kind,
                 CopyError::None);
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
                                &outcome, &written)
                 .kind,
             CopyError::None);
    QCOMPARE(written, dir.filePath(QStringLiteral("dst/taken_2.JPG")));
    QVERIFY(outcome.hashTicket != 0);
    QVERIFY(QFile::remove(source));
    QCOMPARE(hasher.take(outcome.hashTicket).hash, xxh128(content));

    // A source cut short after its copy gives the copy's hash or none, never another one.
    const QByteArray large(48 * 1024 * 1024, 'r');
    const QString growing = dir.createFile(QStringLiteral("src/cut.MOV"), large);
    QCOMPARE(CopyFileWithProgress(growing, dir.filePath(QStringLiteral("dst/cut.MOV")), {}, nullptr, options,
                                  &outcome)
                 .kind,
             CopyError::None);
    QVERIFY(::truncate(QFile::encodeName(growing).constData(), 1024) == 0);
    const ContentHasher::Result cut = hasher.take(outcome.hashTicket);
    QVERIFY2(cut.error ? cut.hash.isEmpty() : cut.hash == xxh128(large),
             qPrintable(QString::number(cut.error)));

    // Cut short just after the hasher found its pages in the cache, as it hashes them where they lie: the
    // hash fails as a read would, and the process goes on.
    const QString late = dir.createFile(QStringLiteral("src/late.MOV"), large);
    QSemaphore copied;
    std::atomic<bool> fired = false;
    SetBeforeMappedHashHookForTesting([&](int) {
        if (fired.exchange(true))
            return;
        copied.acquire();
        ::truncate(QFile::encodeName(late).constData(), 0);
    });
    const CopyError lateCopy = CopyFileWithProgress(late, dir.filePath(QStringLiteral("dst/late.MOV")), {},
                                                    nullptr, options, &outcome);
    copied.release();
    QCOMPARE(lateCopy.kind, CopyError::None);
    const ContentHasher::Result lost = hasher.take(outcome.hashTicket);
    SetBeforeMappedHashHookForTesting({});
    QVERIFY(fired);
    QCOMPARE(lost.error, EIO);
    QVERIFY(lost.hash.isEmpty());
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
