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

namespace vantora {

namespace {

constexpr int SchemaVersion = 1;

QSqlDatabase database(const QString &connection)
{
    return QSqlDatabase::database(connection, false);
}

bool exec(QSqlDatabase db, const QString &statement)
{
    QSqlQuery query(db);
    return query.exec(statement);
}

// The first column of a one-row answer, or an invalid value when the statement failed.
QVariant scalar(QSqlDatabase db, const QString &statement)
{
    QSqlQuery query(db);
    if (!query.exec(statement) || !query.next())
        return QVariant();
    return query.value(0);
}

bool createSchema(QSqlDatabase db)
{
    const QVariant version = scalar(db, QStringLiteral("SELECT version FROM schema_version"));
    if (version.isValid())
        return version.toInt() == SchemaVersion;
    if (!db.transaction())
        return false;
    const bool ok =
        exec(db, QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL)")) &&
        exec(db, QStringLiteral("INSERT INTO schema_version VALUES (%1)").arg(SchemaVersion)) &&
        exec(db,
             QStringLiteral("CREATE TABLE volumes (id INTEGER PRIMARY KEY, identity TEXT NOT NULL UNIQUE, "
                            "label TEXT NOT NULL)")) &&
        exec(db,
             QStringLiteral("CREATE TABLE files (volume INTEGER NOT NULL REFERENCES volumes(id), "
                            "path BLOB NOT NULL, size INTEGER NOT NULL, mtime_ns INTEGER NOT NULL, "
                            "hash BLOB NOT NULL, destination BLOB NOT NULL, imported_at INTEGER NOT NULL, "
                            "PRIMARY KEY (volume, path, size, mtime_ns)) WITHOUT ROWID"));
    if (!ok) {
        db.rollback();
        return false;
    }
    return db.commit();
}

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
                                 qint64 mtimeNs)
{
    for (auto it = files.constFind(path); it != files.cend() && it.key() == path; ++it) {
        if (it->size == size && it->mtimeNs == mtimeNs)
            return &*it;
    }
    return nullptr;
}

void ImportedStamps::insert(QByteArrayView path, qint64 size, qint64 mtimeNs)
{
    const qsizetype index = qsizetype(m_entries.size());
    qsizetype &head = m_firstByHash[qHash(path)];
    // A new key starts as 0 rather than NoEntry: the first entry of a chain is stored one up.
    m_entries.push_back({m_paths.size(), path.size(), size, mtimeNs, head - 1});
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

bool ImportedStamps::contains(QByteArrayView path, qint64 size, qint64 mtimeNs) const
{
    for (qsizetype i = first(path); i != NoEntry; i = m_entries[size_t(i)].next) {
        const Entry &e = m_entries[size_t(i)];
        if (e.size == size && e.mtimeNs == mtimeNs &&
            QByteArrayView(m_paths.constData() + e.offset, e.length) == path)
            return true;
    }
    return false;
}

ImportedStamps StampsOf(const ImportedFiles &files)
{
    ImportedStamps stamps;
    for (const ImportedFile &f : files)
        stamps.insert(f.path, f.size, f.mtimeNs);
    return stamps;
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

SqliteImportHistory::SqliteImportHistory(const QString &path)
{
    static QAtomicInt serial;
    m_connection = QStringLiteral("vantora-history-%1").arg(serial.fetchAndAddRelaxed(1));
    if (open(path))
        return;
    close();

    // Keep what was there for whoever wants to look at it; start again beside it.
    const QString aside = path + QStringLiteral(".damaged-") +
                          QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (QFileInfo::exists(path) && QFile::rename(path, aside)) {
        for (const QString &suffix : {QStringLiteral("-wal"), QStringLiteral("-shm")}) {
            if (QFileInfo::exists(path + suffix))
                QFile::rename(path + suffix, aside + suffix);
        }
        m_notice = damagedHistoryMessage(path, aside);
        if (open(path))
            return;
        close();
    }
    if (m_notice.isEmpty())
        m_notice =
            QStringLiteral("取り込み履歴ファイル %1 を開けませんでした.\r\n履歴は保存されません.").arg(path);
    open(QStringLiteral(":memory:"));
}

SqliteImportHistory::~SqliteImportHistory()
{
    close();
}

bool SqliteImportHistory::open(const QString &path)
{
    if (path != QLatin1String(":memory:"))
        QDir().mkpath(QFileInfo(path).absolutePath());
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open())
            return false;
        // A file that is no database, or a damaged one, fails here rather than in the middle of a run.
        if (scalar(db, QStringLiteral("PRAGMA quick_check")).toString() != QLatin1String("ok"))
            return false;
        m_journalMode = scalar(db, QStringLiteral("PRAGMA journal_mode=WAL")).toString().toLower();
        if (m_journalMode != QLatin1String("wal")) {
            // A network home or a filesystem without shared memory refuses WAL.
            m_journalMode = scalar(db, QStringLiteral("PRAGMA journal_mode=DELETE")).toString().toLower();
        }
        // A record stands for a copy that is already on the disk; it must not vanish in a power cut.
        exec(db, QStringLiteral("PRAGMA synchronous=FULL"));
        if (!createSchema(db))
            return false;
    }
    return true;
}

void SqliteImportHistory::close()
{
    {
        QSqlDatabase db = database(m_connection);
        if (db.isOpen())
            db.close();
    }
    if (QSqlDatabase::contains(m_connection))
        QSqlDatabase::removeDatabase(m_connection);
}

void SqliteImportHistory::readFiles(const QString &volume, bool withCopies,
                                    const std::function<void(qint64 count)> &reserve,
                                    const std::function<void(sqlite3_stmt *)> &row)
{
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
        QStringLiteral("SELECT f.path, f.size, f.mtime_ns%1 FROM files f JOIN volumes v ON v.id = f.volume "
                       "WHERE v.identity = ?")
            .arg(withCopies ? QStringLiteral(", f.hash, f.destination, f.imported_at") : QString());
    // A count reads every record of a card, up to hundreds of thousands: straight from SQLite, without a
    // QVariant per value.
    const QVariant handle = db.driver()->handle();
    sqlite3 *raw =
        qstrcmp(handle.typeName(), "sqlite3*") == 0 ? *static_cast<sqlite3 *const *>(handle.data()) : nullptr;
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
            f.mtimeNs = sqlite3_column_int64(query, 2);
            if (withCopies) {
                f.hash = blobOf(query, 3).toByteArray();
                f.destination = blobOf(query, 4).toByteArray();
                f.importedAt = sqlite3_column_int64(query, 5);
            }
            files.insert(f.path, f);
        });
    return files;
}

ImportedStamps SqliteImportHistory::stampsOf(const QString &volume)
{
    ImportedStamps stamps;
    // Counting first would cost a fifth of the read; the few times the table grows cost less.
    readFiles(volume, false, {}, [&stamps](sqlite3_stmt *query) {
        stamps.insert(blobOf(query, 0), sqlite3_column_int64(query, 1), sqlite3_column_int64(query, 2));
    });
    return stamps;
}

bool SqliteImportHistory::add(const QString &volume, const QString &label, const QList<ImportedFile> &files)
{
    if (files.isEmpty() || volume.isEmpty())
        return true;
    QSqlDatabase db = database(m_connection);
    if (!db.transaction())
        return false;
    QSqlQuery upsert(db);
    upsert.prepare(QStringLiteral("INSERT INTO volumes (identity, label) VALUES (?, ?) "
                                  "ON CONFLICT (identity) DO UPDATE SET label = excluded.label"));
    upsert.addBindValue(volume);
    upsert.addBindValue(label.isNull() ? QStringLiteral("") : label);
    QSqlQuery id(db);
    id.prepare(QStringLiteral("SELECT id FROM volumes WHERE identity = ?"));
    id.addBindValue(volume);
    if (!upsert.exec() || !id.exec() || !id.next()) {
        db.rollback();
        return false;
    }
    const qint64 volumeId = id.value(0).toLongLong();
    id.finish();

    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT OR REPLACE INTO files (volume, path, size, mtime_ns, hash, "
                                  "destination, imported_at) VALUES (?, ?, ?, ?, ?, ?, ?)"));
    for (const ImportedFile &f : files) {
        insert.bindValue(0, volumeId);
        insert.bindValue(1, f.path);
        insert.bindValue(2, f.size);
        insert.bindValue(3, f.mtimeNs);
        insert.bindValue(4, f.hash);
        insert.bindValue(5, f.destination);
        insert.bindValue(6, f.importedAt);
        if (!insert.exec()) {
            db.rollback();
            return false;
        }
    }
    return db.commit();
}

QList<HistoryVolume> SqliteImportHistory::volumes()
{
    QList<HistoryVolume> list;
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
    QSqlQuery files(db);
    files.prepare(
        QStringLiteral("DELETE FROM files WHERE volume IN (SELECT id FROM volumes WHERE identity = ?)"));
    files.addBindValue(volume);
    QSqlQuery volumes(db);
    volumes.prepare(QStringLiteral("DELETE FROM volumes WHERE identity = ?"));
    volumes.addBindValue(volume);
    if (!files.exec() || !volumes.exec()) {
        db.rollback();
        return 0;
    }
    return db.commit() ? removed : 0;
}

} // namespace vantora
