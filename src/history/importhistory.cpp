#include "history/importhistory.h"

#include "platform/bytepath.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <limits>

namespace vantora {

namespace {

constexpr int SchemaVersion = 3;
constexpr qint64 NsPerSec = 1'000'000'000;

QSqlDatabase database(const QString &connection)
{
    return QSqlDatabase::database(connection, false);
}

QString connectionName()
{
    static QAtomicInt serial;
    return QStringLiteral("vantora-history-%1").arg(serial.fetchAndAddRelaxed(1));
}

sqlite3 *handleOf(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    return qstrcmp(handle.typeName(), "sqlite3*") == 0 ? *static_cast<sqlite3 *const *>(handle.data())
                                                       : nullptr;
}

// What one or more statements gave: SQLite's extended code and errno on failure (which Qt SQL does not
// keep), else the first column of the first row.
struct Outcome
{
    int code = SQLITE_OK;
    int error = 0;
    QByteArray first;
    bool row = false;
};

Outcome run(sqlite3 *db, const char *sql)
{
    Outcome o;
    o.code = sqlite3_exec(
        db, sql,
        [](void *out, int columns, char **values, char **) {
            auto *o = static_cast<Outcome *>(out);
            if (!o->row && columns > 0)
                o->first = values[0];
            o->row = true;
            return 0;
        },
        &o, nullptr);
    if (o.code != SQLITE_OK) {
        o.code = sqlite3_extended_errcode(db);
        o.error = sqlite3_system_errno(db);
    }
    return o;
}

HistoryProblem problemOf(int code, int error)
{
    switch (code & 0xff) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return HistoryProblem::Damaged;
    case SQLITE_FULL:
        return HistoryProblem::DiskFull;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return HistoryProblem::Busy;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return HistoryProblem::NoPermission;
    default:
        break;
    }
    if (error == ENOSPC || error == EDQUOT)
        return HistoryProblem::DiskFull;
    if (error == EACCES || error == EPERM || error == EROFS)
        return HistoryProblem::NoPermission;
    return HistoryProblem::Failed;
}

HistoryProblem problemOf(const Outcome &o)
{
    return problemOf(o.code, o.error);
}

// The schema version of an open file: 0 for an empty database, -1 (with `problem` set) when it is not a
// history or cannot be read.
int schemaVersionOf(sqlite3 *db, HistoryProblem *problem)
{
    const Outcome version = run(db, "SELECT version FROM schema_version");
    if (version.code == SQLITE_OK) {
        if (version.row)
            return version.first.toInt();
        *problem = HistoryProblem::Damaged;
        return -1;
    }
    if (version.code != SQLITE_ERROR) {
        *problem = problemOf(version);
        return -1;
    }
    // No such table: a new file, or some other program's database.
    const Outcome tables = run(db, "SELECT COUNT(*) FROM sqlite_master");
    if (tables.code != SQLITE_OK) {
        *problem = problemOf(tables);
        return -1;
    }
    if (tables.first == "0")
        return 0;
    *problem = HistoryProblem::Damaged;
    return -1;
}

#define VTX_TIME_COLUMNS "mtime_sec INTEGER NOT NULL, mtime_nsec INTEGER NOT NULL"
#define VTX_FILES_COLUMNS                                                                                    \
    "(volume INTEGER NOT NULL REFERENCES volumes(id), path BLOB NOT NULL, size INTEGER NOT "                 \
    "NULL, " VTX_TIME_COLUMNS                                                                                \
    ", hash BLOB NOT NULL, destination BLOB NOT NULL, imported_at INTEGER NOT NULL, "                        \
    "PRIMARY KEY (volume, path, size, mtime_sec, mtime_nsec)) WITHOUT ROWID"
#define VTX_JOURNAL                                                                                          \
    "CREATE TABLE journal (volume INTEGER NOT NULL REFERENCES volumes(id), path BLOB NOT NULL, "             \
    "size INTEGER NOT NULL, " VTX_TIME_COLUMNS ", destination BLOB NOT NULL, "                               \
    "next_file_number INTEGER NOT NULL, PRIMARY KEY (volume, path, size, mtime_sec, mtime_nsec)) "           \
    "WITHOUT ROWID;"
// The second copy of a file (a run with a backup folder), pending while it is not on the disk.
#define VTX_BACKUPS                                                                                          \
    "CREATE TABLE backups (volume INTEGER NOT NULL REFERENCES volumes(id), path BLOB NOT NULL, "             \
    "size INTEGER NOT NULL, " VTX_TIME_COLUMNS ", backup BLOB NOT NULL, pending INTEGER NOT NULL, "          \
    "PRIMARY KEY (volume, path, size, mtime_sec, mtime_nsec)) WITHOUT ROWID;"
// Version 1 kept nanoseconds since the epoch, which overflow after 2262: seconds and nanoseconds, floored.
#define VTX_SEC_OF_NS "(mtime_ns / 1000000000 - (mtime_ns % 1000000000 < 0))"
#define VTX_NSEC_OF_NS "(mtime_ns % 1000000000 + 1000000000 * (mtime_ns % 1000000000 < 0))"

constexpr const char *CreateSchema =
    "CREATE TABLE schema_version (version INTEGER NOT NULL);"
    "INSERT INTO schema_version VALUES (3);"
    "CREATE TABLE volumes (id INTEGER PRIMARY KEY, identity TEXT NOT NULL UNIQUE, label TEXT NOT NULL);"
    "CREATE TABLE files " VTX_FILES_COLUMNS ";" VTX_JOURNAL VTX_BACKUPS;

// Upgrades[v - 1] takes a file of version v to v + 1.
constexpr const char *Upgrades[] = {
    "CREATE TABLE files_2 " VTX_FILES_COLUMNS ";"
    "INSERT INTO files_2 SELECT volume, path, size, " VTX_SEC_OF_NS ", " VTX_NSEC_OF_NS
    ", hash, destination, imported_at FROM files;"
    "DROP TABLE files;"
    "ALTER TABLE files_2 RENAME TO files;" VTX_JOURNAL "UPDATE schema_version SET version = 2;",
    VTX_BACKUPS "UPDATE schema_version SET version = 3;",
};
static_assert(std::size(Upgrades) == SchemaVersion - 1);

// The time columns of a version 1 file, read without upgrading it.
constexpr const char *TimeOfVersion1 = VTX_SEC_OF_NS ", " VTX_NSEC_OF_NS;

// Creates or upgrades the schema in one transaction.
HistoryProblem prepareSchema(sqlite3 *db)
{
    Outcome o = run(db, "BEGIN IMMEDIATE");
    if (o.code != SQLITE_OK)
        return problemOf(o);
    HistoryProblem problem = HistoryProblem::None;
    // Read again inside the transaction: another program may have made the file meanwhile.
    int version = schemaVersionOf(db, &problem);
    if (version == 0)
        o = run(db, CreateSchema);
    for (; version > 0 && version < SchemaVersion && o.code == SQLITE_OK; ++version)
        o = run(db, Upgrades[version - 1]);
    if (version > SchemaVersion)
        problem = HistoryProblem::NewerSchema;
    if (problem == HistoryProblem::None && o.code == SQLITE_OK)
        o = run(db, "COMMIT");
    if (problem == HistoryProblem::None && o.code != SQLITE_OK)
        problem = problemOf(o);
    if (problem != HistoryProblem::None)
        run(db, "ROLLBACK");
    return problem;
}

// -wal and -shm files that a read-only open of an earlier version created carry the history's read-only
// mode; while they do, SQLite opens even a writable history read-only. Gives them the history's mode (and,
// as root, its owner), as SQLite itself does when it creates them.
bool usableBeside(const QByteArray &path, const struct stat &history)
{
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return errno == ENOENT;
    if (!S_ISREG(st.st_mode))
        return false;
    const bool root = ::geteuid() == 0;
    const bool owner = !root || (st.st_uid == history.st_uid && st.st_gid == history.st_gid);
    if ((st.st_mode & S_IWUSR) && owner && ::access(path.constData(), R_OK | W_OK) == 0)
        return true;
    if (::chmod(path.constData(), history.st_mode & 0666) != 0)
        return false;
    if (root && ::chown(path.constData(), history.st_uid, history.st_gid) != 0)
        return false;
    return ::access(path.constData(), R_OK | W_OK) == 0;
}

// Not when the history's mode forbids writing, even to root: root could write it, but SQLite would give the
// -wal and -shm it creates that read-only mode, and its owner could then not write them.
bool mayWrite(const QByteArray &path, const struct stat &st)
{
    return (st.st_mode & S_IWUSR) && ::access(path.constData(), W_OK) == 0;
}

#undef VTX_TIME_COLUMNS
#undef VTX_FILES_COLUMNS
#undef VTX_JOURNAL
#undef VTX_SEC_OF_NS
#undef VTX_NSEC_OF_NS

} // namespace

qsizetype RelativeRootLength(const QString &volumeRoot)
{
    const QByteArray root = pathToBytes(volumeRoot);
    return root.endsWith('/') ? root.size() : root.size() + 1;
}

QByteArray HistoryPath(const QString &path, const QString &volumeRoot)
{
    return pathToBytes(path).mid(RelativeRootLength(volumeRoot));
}

const ImportedFile *findImported(const ImportedFiles &files, const QByteArray &path, qint64 size,
                                 FileTime mtime)
{
    for (auto it = files.constFind(path); it != files.cend() && it.key() == path; ++it) {
        if (it->size == size && it->mtime() == mtime)
            return &*it;
    }
    return nullptr;
}

void ImportedStamps::insert(QByteArrayView path, qint64 size, FileTime mtime)
{
    const qsizetype index = qsizetype(m_entries.size());
    qsizetype &head = m_firstByHash[qHash(path)];
    // A new key starts as 0 rather than NoEntry: the first entry of a chain is stored one up.
    m_entries.push_back({m_paths.size(), qint32(path.size()), mtime.nsec, size, mtime.sec, head - 1});
    head = index + 1;
    m_paths.append(path);
}

qsizetype ImportedStamps::first(QByteArrayView path) const
{
    for (qsizetype i = m_firstByHash.value(qHash(path)) - 1; i != NoEntry; i = m_entries[size_t(i)].next) {
        const Entry &e = m_entries[size_t(i)];
        if (QByteArrayView(m_paths.constData() + e.offset, e.length) == path)
            return i;
    }
    return NoEntry;
}

bool ImportedStamps::contains(QByteArrayView path, qint64 size, FileTime mtime) const
{
    for (qsizetype i = first(path); i != NoEntry; i = m_entries[size_t(i)].next) {
        const Entry &e = m_entries[size_t(i)];
        if (e.size == size && e.sec == mtime.sec && e.nsec == mtime.nsec &&
            QByteArrayView(m_paths.constData() + e.offset, e.length) == path)
            return true;
    }
    return false;
}

ImportedStamps StampsOf(const ImportedFiles &files)
{
    ImportedStamps stamps;
    for (const ImportedFile &f : files)
        stamps.insert(f.path, f.size, f.mtime());
    return stamps;
}

bool ImportHistory::journal(const QString &, const QString &, const QList<IntendedCopy> &)
{
    return false;
}

QList<IntendedCopy> ImportHistory::journalOf(const QString &)
{
    return {};
}

bool ImportHistory::hasPendingBackups(const QString &)
{
    return false;
}

QString defaultHistoryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/vantora/history.sqlite");
}

QString damagedHistoryMessage(const QString &path, const QString &aside)
{
    return QStringLiteral(
               "取り込み履歴ファイル %1 を読み込めませんでした.\r\n%2 に移し、新しい履歴を作成します.")
        .arg(path, aside);
}

QString unusableHistoryMessage(const QString &path, HistoryProblem problem)
{
    if (problem == HistoryProblem::NewerSchema)
        return QStringLiteral("取り込み履歴ファイル %1 はこの版より新しい Vantora で作成されています.\r\n"
                              "そのまま残し、取り込み履歴は使われず記録もされません.")
            .arg(path);
    QString cause;
    switch (problem) {
    case HistoryProblem::DiskFull:
        cause = QStringLiteral("ディスクの空き容量が不足しています");
        break;
    case HistoryProblem::NoPermission:
        cause = QStringLiteral("書き込み権限がありません");
        break;
    case HistoryProblem::Busy:
        cause = QStringLiteral("他のプログラムが使用中です");
        break;
    default:
        cause = QStringLiteral("ディスクの読み書きに失敗しました");
        break;
    }
    return QStringLiteral("取り込み履歴ファイル %1 に書き込めません(%2).\r\n取り込み履歴は記録されません.")
        .arg(path, cause);
}

SqliteImportHistory::SqliteImportHistory(const QString &path) : m_path(path), m_connection(connectionName())
{
    HistoryProblem problem = openForWriting(m_connection);
    if (problem == HistoryProblem::None)
        return;
    close(m_connection);
    // Kept as it is: read what can be read without writing, unless another program is in the middle of
    // writing it.
    if (problem != HistoryProblem::Damaged && problem != HistoryProblem::NewerSchema &&
        problem != HistoryProblem::Busy) {
        if (openForReading() == HistoryProblem::NewerSchema)
            problem = HistoryProblem::NewerSchema;
        if (m_schema == 0)
            close(m_connection);
    }
    m_problem = problem;
    if (problem != HistoryProblem::Damaged) {
        m_notice = unusableHistoryMessage(path, problem);
        return;
    }

    // Keep what was there for whoever wants to look at it; start again beside it.
    const QString aside = path + QStringLiteral(".damaged-") +
                          QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (QFileInfo::exists(path) && QFile::rename(path, aside)) {
        for (const QString &suffix : {QStringLiteral("-wal"), QStringLiteral("-shm")}) {
            if (QFileInfo::exists(path + suffix))
                QFile::rename(path + suffix, aside + suffix);
        }
        m_notice = damagedHistoryMessage(path, aside);
        m_problem = openForWriting(m_connection);
        if (m_problem != HistoryProblem::None)
            close(m_connection);
        return;
    }
    m_notice =
        QStringLiteral("取り込み履歴ファイル %1 を開けませんでした.\r\n履歴は保存されません.").arg(path);
}

SqliteImportHistory::~SqliteImportHistory()
{
    close(m_connection);
}

HistoryProblem SqliteImportHistory::openForWriting(const QString &connection)
{
    if (m_path != QLatin1String(":memory:")) {
        const QByteArray file = pathToBytes(m_path);
        const QString folder = QFileInfo(m_path).absolutePath();
        struct stat st;
        if (::stat(file.constData(), &st) == 0) {
            if (!S_ISREG(st.st_mode))
                return HistoryProblem::Damaged;
            if (!mayWrite(file, st) || !usableBeside(file + "-wal", st) || !usableBeside(file + "-shm", st))
                return HistoryProblem::NoPermission;
        } else if (errno != ENOENT) {
            return problemOf(SQLITE_CANTOPEN, errno);
        } else if (!QDir().mkpath(folder)) {
            return problemOf(SQLITE_CANTOPEN, errno);
        }
        // The rollback journal, or the -wal and -shm, are made beside it.
        if (::access(pathToBytes(folder).constData(), W_OK | X_OK) != 0)
            return problemOf(SQLITE_CANTOPEN, errno);
    }

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(m_path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open())
        return problemOf(db.lastError().nativeErrorCode().toInt(), errno);
    sqlite3 *raw = handleOf(db);
    if (!raw)
        return HistoryProblem::Failed;
    // SQLite falls back to reading a file it may not write.
    if (sqlite3_db_readonly(raw, "main") == 1)
        return HistoryProblem::NoPermission;
    // A file that is no database, or a damaged one, fails here rather than in the middle of a run.
    const Outcome check = run(raw, "PRAGMA quick_check");
    if (check.code != SQLITE_OK)
        return problemOf(check);
    if (check.first != "ok")
        return HistoryProblem::Damaged;
    // Read before anything is written: a newer version's file is left as it is.
    HistoryProblem problem = HistoryProblem::None;
    const int version = schemaVersionOf(raw, &problem);
    if (version < 0)
        return problem;
    if (version > SchemaVersion)
        return HistoryProblem::NewerSchema;

    Outcome mode = run(raw, "PRAGMA journal_mode=WAL");
    if (mode.code == SQLITE_OK && mode.first.toLower() != "wal") {
        // A network home or a filesystem without shared memory refuses WAL.
        mode = run(raw, "PRAGMA journal_mode=DELETE");
    }
    if (mode.code != SQLITE_OK)
        return problemOf(mode);
    // A record stands for a copy that is already on the disk; it must not vanish in a power cut.
    run(raw, "PRAGMA synchronous=FULL");
    problem = prepareSchema(raw);
    if (problem != HistoryProblem::None)
        return problem;
    m_journalMode = QString::fromLatin1(mode.first.toLower());
    m_schema = SchemaVersion;
    m_writing = true;
    return HistoryProblem::None;
}

HistoryProblem SqliteImportHistory::openForReading()
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return HistoryProblem::None;
    // Byte 19 of the header is 2 for a file in WAL mode. Opened read-only without its -wal and -shm, such a
    // file makes SQLite create them, with the file's own read-only mode: read it as it stands instead. Its
    // -wal without a -shm is left out too; what it holds was committed after the file was last whole.
    const QByteArray header = file.read(100);
    file.close();
    const bool walMode = header.size() == 100 && header.at(19) == 2;
    const bool walInUse = QFileInfo(m_path + QStringLiteral("-wal")).size() > 0 &&
                          QFileInfo::exists(m_path + QStringLiteral("-shm"));
    const QByteArray uri = "file:" + pathToBytes(m_path).toPercentEncoding("/") +
                           (walMode && !walInUse ? "?immutable=1" : "?mode=ro");

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(QString::fromLatin1(uri));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=5000"));
    sqlite3 *raw = db.open() ? handleOf(db) : nullptr;
    if (!raw)
        return HistoryProblem::None;
    // Read without locks, a file may look damaged while someone else writes it: it is then not read, but
    // not moved aside either.
    if (run(raw, "PRAGMA quick_check").first != "ok")
        return HistoryProblem::None;
    HistoryProblem problem = HistoryProblem::None;
    const int version = schemaVersionOf(raw, &problem);
    if (version > SchemaVersion)
        return HistoryProblem::NewerSchema;
    // An older schema is read as it is; only a write upgrades it.
    m_schema = std::max(version, 0);
    return HistoryProblem::None;
}

bool SqliteImportHistory::writable()
{
    if (m_writing)
        return true;
    if (m_problem == HistoryProblem::NewerSchema)
        return false;
    // The cause may be gone: a disk with room again, a file made writable, another program done with it.
    QString connection = connectionName();
    const HistoryProblem problem = openForWriting(connection);
    if (problem != HistoryProblem::None) {
        close(connection);
        return false;
    }
    // The new connection takes over before the old one closes, so that closing leaves its state alone.
    std::swap(m_connection, connection);
    close(connection);
    m_problem = HistoryProblem::None;
    return true;
}

void SqliteImportHistory::close(const QString &connection)
{
    if (connection == m_connection) {
        m_schema = 0;
        m_writing = false;
        m_journalMode.clear();
    }
    {
        QSqlDatabase db = database(connection);
        if (db.isOpen())
            db.close();
    }
    if (QSqlDatabase::contains(connection))
        QSqlDatabase::removeDatabase(connection);
}

void SqliteImportHistory::readFiles(const QString &volume, bool withCopies,
                                    const std::function<void(qint64 count)> &reserve,
                                    const std::function<void(sqlite3_stmt *)> &row)
{
    if (m_schema == 0)
        return;
    QSqlDatabase db = database(m_connection);
    if (reserve) {
        QSqlQuery count(db);
        count.prepare(QStringLiteral(
            "SELECT COUNT(*) FROM files WHERE volume IN (SELECT id FROM volumes WHERE identity = ?)"));
        count.addBindValue(volume);
        if (count.exec() && count.next())
            reserve(count.value(0).toLongLong());
    }

    const QString statement =
        QStringLiteral("SELECT path, size, %1%2 FROM files WHERE volume IN "
                       "(SELECT id FROM volumes WHERE identity = ?)")
            .arg(m_schema >= 2 ? QStringLiteral("mtime_sec, mtime_nsec")
                               : QString::fromLatin1(TimeOfVersion1),
                 withCopies ? QStringLiteral(", hash, destination, imported_at") : QString());
    // A count reads every record of a card, up to hundreds of thousands: straight from SQLite, without a
    // QVariant per value.
    sqlite3 *raw = handleOf(db);
    if (!raw)
        return;
    sqlite3_stmt *query = nullptr;
    const QByteArray sql = statement.toUtf8();
    const QByteArray identity = volume.toUtf8();
    if (sqlite3_prepare_v2(raw, sql.constData(), int(sql.size()), &query, nullptr) != SQLITE_OK)
        return;
    sqlite3_bind_text(query, 1, identity.constData(), int(identity.size()), SQLITE_TRANSIENT);
    while (sqlite3_step(query) == SQLITE_ROW)
        row(query);
    sqlite3_finalize(query);
}

namespace {

QByteArrayView blobOf(sqlite3_stmt *query, int column)
{
    return QByteArrayView(static_cast<const char *>(sqlite3_column_blob(query, column)),
                          sqlite3_column_bytes(query, column));
}

FileTime timeOf(sqlite3_stmt *query, int column)
{
    return {sqlite3_column_int64(query, column), sqlite3_column_int(query, column + 1)};
}

} // namespace

ImportedFiles SqliteImportHistory::filesOf(const QString &volume, bool withCopies)
{
    ImportedFiles files;
    readFiles(
        volume, withCopies, [&files](qint64 count) { files.reserve(count); },
        [&files, withCopies](sqlite3_stmt *query) {
            ImportedFile f;
            f.path = blobOf(query, 0).toByteArray();
            f.size = sqlite3_column_int64(query, 1);
            f.setMtime(timeOf(query, 2));
            if (withCopies) {
                f.hash = blobOf(query, 4).toByteArray();
                f.destination = blobOf(query, 5).toByteArray();
                f.importedAt = sqlite3_column_int64(query, 6);
            }
            files.insert(f.path, f);
        });
    if (withCopies)
        readBackups(volume, files);
    return files;
}

void SqliteImportHistory::readBackups(const QString &volume, ImportedFiles &files)
{
    if (m_schema < 3)
        return;
    QSqlQuery query(database(m_connection));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT path, size, mtime_sec, mtime_nsec, backup, pending FROM backups "
                                 "WHERE volume IN (SELECT id FROM volumes WHERE identity = ?)"));
    query.addBindValue(volume);
    if (!query.exec())
        return;
    while (query.next()) {
        const QByteArray path = query.value(0).toByteArray();
        const FileTime time{query.value(2).toLongLong(), query.value(3).toInt()};
        for (auto it = files.find(path); it != files.end() && it.key() == path; ++it) {
            if (it->size == query.value(1).toLongLong() && it->mtime() == time) {
                it->backup = query.value(4).toByteArray();
                it->backupPending = query.value(5).toInt() != 0;
            }
        }
    }
}

ImportedStamps SqliteImportHistory::stampsOf(const QString &volume)
{
    ImportedStamps stamps;
    // Counting first would cost a fifth of the read; the few times the table grows cost less.
    readFiles(volume, false, {}, [&stamps](sqlite3_stmt *query) {
        stamps.insert(blobOf(query, 0), sqlite3_column_int64(query, 1), timeOf(query, 2));
    });
    return stamps;
}

qint64 SqliteImportHistory::volumeId(const QString &volume, const QString &label)
{
    QSqlDatabase db = database(m_connection);
    QSqlQuery upsert(db);
    upsert.prepare(QStringLiteral("INSERT INTO volumes (identity, label) VALUES (?, ?) "
                                  "ON CONFLICT (identity) DO UPDATE SET label = excluded.label"));
    upsert.addBindValue(volume);
    upsert.addBindValue(label.isNull() ? QStringLiteral("") : label);
    QSqlQuery id(db);
    id.prepare(QStringLiteral("SELECT id FROM volumes WHERE identity = ?"));
    id.addBindValue(volume);
    if (!upsert.exec() || !id.exec() || !id.next())
        return -1;
    return id.value(0).toLongLong();
}

namespace {

// The first five columns of a row of files or journal: the source's volume, path, size and time.
// An insert into a table keyed by a source file (volume, path, size, time), the given columns after those.
QSqlQuery sourceFileInsert(QSqlDatabase &db, const QString &table, const QStringList &columns)
{
    QSqlQuery insert(db);
    insert.prepare(
        QStringLiteral("INSERT OR REPLACE INTO %1 (volume, path, size, mtime_sec, mtime_nsec, %2) "
                       "VALUES (?, ?, ?, ?, ?%3)")
            .arg(table, columns.join(QStringLiteral(", ")), QStringLiteral(", ?").repeated(columns.size())));
    return insert;
}

void bindSourceFile(QSqlQuery &query, qint64 volumeId, const QByteArray &path, qint64 size, FileTime time)
{
    query.bindValue(0, volumeId);
    query.bindValue(1, path);
    query.bindValue(2, size);
    query.bindValue(3, time.sec);
    query.bindValue(4, time.nsec);
}

} // namespace

bool SqliteImportHistory::writeForVolume(const QString &volume, const QString &label,
                                         const std::function<bool(QSqlDatabase &db, qint64 volumeId)> &write)
{
    if (!writable())
        return false;
    QSqlDatabase db = database(m_connection);
    if (!db.transaction())
        return false;
    const qint64 id = volumeId(volume, label);
    if (id < 0 || !write(db, id)) {
        db.rollback();
        return false;
    }
    return db.commit();
}

bool SqliteImportHistory::add(const QString &volume, const QString &label, const QList<ImportedFile> &files)
{
    if (files.isEmpty() || volume.isEmpty())
        return true;
    return writeForVolume(volume, label, [&files](QSqlDatabase &db, qint64 id) {
        QSqlQuery insert = sourceFileInsert(
            db, QStringLiteral("files"),
            {QStringLiteral("hash"), QStringLiteral("destination"), QStringLiteral("imported_at")});
        // The copy is recorded: its journal entry has done its work.
        QSqlQuery done(db);
        done.prepare(QStringLiteral("DELETE FROM journal WHERE volume = ? AND path = ? AND size = ? AND "
                                    "mtime_sec = ? AND mtime_nsec = ?"));
        QSqlQuery backup = sourceFileInsert(db, QStringLiteral("backups"),
                                            {QStringLiteral("backup"), QStringLiteral("pending")});
        QSqlQuery noBackup(db);
        noBackup.prepare(QStringLiteral("DELETE FROM backups WHERE volume = ? AND path = ? AND size = ? AND "
                                        "mtime_sec = ? AND mtime_nsec = ?"));
        for (const ImportedFile &f : files) {
            const FileTime time = f.mtime();
            bindSourceFile(insert, id, f.path, f.size, time);
            bindSourceFile(done, id, f.path, f.size, time);
            insert.bindValue(5, f.hash);
            insert.bindValue(6, f.destination);
            insert.bindValue(7, f.importedAt);
            QSqlQuery &second = f.backup.isEmpty() ? noBackup : backup;
            bindSourceFile(second, id, f.path, f.size, time);
            if (!f.backup.isEmpty()) {
                backup.bindValue(5, f.backup);
                backup.bindValue(6, f.backupPending ? 1 : 0);
            }
            if (!insert.exec() || !done.exec() || !second.exec())
                return false;
        }
        return true;
    });
}

bool SqliteImportHistory::journal(const QString &volume, const QString &label,
                                  const QList<IntendedCopy> &copies)
{
    if (copies.isEmpty() || volume.isEmpty())
        return true;
    return writeForVolume(volume, label, [&copies](QSqlDatabase &db, qint64 id) {
        QSqlQuery insert =
            sourceFileInsert(db, QStringLiteral("journal"),
                             {QStringLiteral("destination"), QStringLiteral("next_file_number")});
        for (const IntendedCopy &c : copies) {
            bindSourceFile(insert, id, c.path, c.size, c.mtime);
            insert.bindValue(5, c.destination);
            insert.bindValue(6, c.nextFileNumber);
            if (!insert.exec())
                return false;
        }
        return true;
    });
}

QList<IntendedCopy> SqliteImportHistory::journalOf(const QString &volume)
{
    QList<IntendedCopy> list;
    if (m_schema < 2)
        return list;
    QSqlQuery query(database(m_connection));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT path, size, mtime_sec, mtime_nsec, destination, next_file_number "
                                 "FROM journal WHERE volume IN (SELECT id FROM volumes WHERE identity = ?) "
                                 "ORDER BY path, size, mtime_sec, mtime_nsec"));
    query.addBindValue(volume);
    if (!query.exec())
        return list;
    while (query.next())
        list.append({query.value(0).toByteArray(), query.value(1).toLongLong(),
                     FileTime{query.value(2).toLongLong(), query.value(3).toInt()},
                     query.value(4).toByteArray(), query.value(5).toInt()});
    return list;
}

bool SqliteImportHistory::hasPendingBackups(const QString &volume)
{
    if (m_schema < 3)
        return false;
    QSqlQuery query(database(m_connection));
    query.prepare(QStringLiteral("SELECT 1 FROM backups WHERE pending != 0 AND volume IN "
                                 "(SELECT id FROM volumes WHERE identity = ?) LIMIT 1"));
    query.addBindValue(volume);
    return query.exec() && query.next();
}

QList<HistoryVolume> SqliteImportHistory::volumes()
{
    QList<HistoryVolume> list;
    if (m_schema == 0)
        return list;
    QSqlQuery query(database(m_connection));
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT v.identity, v.label, COUNT(*), MAX(f.imported_at) FROM volumes v "
                                   "JOIN files f ON f.volume = v.id GROUP BY v.id ORDER BY 4 DESC, 1")))
        return list;
    while (query.next())
        list.append({query.value(0).toString(), query.value(1).toString(), query.value(2).toLongLong(),
                     query.value(3).toLongLong()});
    return list;
}

qint64 SqliteImportHistory::forget(const QString &volume)
{
    if (!writable())
        return 0;
    QSqlDatabase db = database(m_connection);
    if (!db.transaction())
        return 0;
    QSqlQuery count(db);
    count.prepare(QStringLiteral(
        "SELECT COUNT(*) FROM files WHERE volume IN (SELECT id FROM volumes WHERE identity = ?)"));
    count.addBindValue(volume);
    if (!count.exec() || !count.next()) {
        db.rollback();
        return 0;
    }
    const qint64 removed = count.value(0).toLongLong();
    count.finish();
    bool ok = true;
    for (const QString &table :
         {QStringLiteral("files"), QStringLiteral("journal"), QStringLiteral("backups")}) {
        QSqlQuery remove(db);
        remove.prepare(
            QStringLiteral("DELETE FROM %1 WHERE volume IN (SELECT id FROM volumes WHERE identity = ?)")
                .arg(table));
        remove.addBindValue(volume);
        ok = ok && remove.exec();
    }
    QSqlQuery volumes(db);
    volumes.prepare(QStringLiteral("DELETE FROM volumes WHERE identity = ?"));
    volumes.addBindValue(volume);
    if (!ok || !volumes.exec()) {
        db.rollback();
        return 0;
    }
    return db.commit() ? removed : 0;
}

} // namespace vantora
