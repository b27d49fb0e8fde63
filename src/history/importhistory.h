#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMultiHash>
#include <QString>

#include "platform/filetimes.h"

#include <compare>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QSqlDatabase;
struct sqlite3_stmt;

namespace vantora {

// One file an import copied, as the history keeps it.
struct ImportedFile
{
    QByteArray path; // relative to the volume's root, the name's exact bytes
    qint64 size = 0;
    qint64 mtimeNs = 0;     // the source's modification time, nanoseconds since the epoch (see mtime())
    QByteArray hash;        // XXH3-128 of the content, 16 bytes
    QByteArray destination; // the copy, an absolute path's bytes
    qint64 importedAt = 0;  // milliseconds since the epoch
    // The time exactly, where it may lie outside what mtimeNs holds; setMtime() sets both. Records read from
    // the history always carry it.
    std::optional<FileTime> exactMtime = {};
    QByteArray backup = {};  // the second copy under a backup folder, an absolute path's bytes; empty: none
    bool backupPending = {}; // the second copy is not on the disk yet

    // The time the history keeps and compares: exactMtime when set, else mtimeNs.
    FileTime mtime() const { return exactMtime ? *exactMtime : FileTime::fromNs(mtimeNs); }
    void setMtime(FileTime time)
    {
        exactMtime = time;
        mtimeNs = time.ns();
    }
    friend bool operator==(const ImportedFile &a, const ImportedFile &b)
    {
        return a.path == b.path && a.size == b.size && a.mtime() == b.mtime() && a.hash == b.hash &&
               a.destination == b.destination && a.importedAt == b.importedAt && a.backup == b.backup &&
               a.backupPending == b.backupPending;
    }
};

// A copy about to take its name: written before the name, so that a run killed before the copy was
// recorded can find it again.
struct IntendedCopy
{
    QByteArray path; // the source, relative to the volume's root (as ImportedFile::path)
    qint64 size = 0;
    FileTime mtime;
    QByteArray destination;     // the name the copy is about to take, an absolute path's bytes
    qint32 nextFileNumber = -1; // the file running number after this file, -1 when the run numbers none
    friend bool operator==(const IntendedCopy &, const IntendedCopy &) = default;
};

// A volume's files in the history, by relative path (one path may hold several files over time: a card
// formatted and filled again).
using ImportedFiles = QMultiHash<QByteArray, ImportedFile>;

// What recognises a volume's imported files: path, size and time. A count reads hundreds of thousands of
// them, so the paths lie in one block of memory: a hash of whole records took as long to build, and again
// to free, as the walk itself.
class ImportedStamps
{
public:
    void insert(QByteArrayView path, qint64 size, FileTime mtime);
    void insert(QByteArrayView path, qint64 size, qint64 mtimeNs)
    {
        insert(path, size, FileTime::fromNs(mtimeNs));
    }
    // True when some file with this path is recorded.
    bool containsPath(QByteArrayView path) const { return first(path) != NoEntry; }
    bool contains(QByteArrayView path, qint64 size, FileTime mtime) const;
    bool contains(QByteArrayView path, qint64 size, qint64 mtimeNs) const
    {
        return contains(path, size, FileTime::fromNs(mtimeNs));
    }
    qsizetype size() const { return qsizetype(m_entries.size()); }
    bool isEmpty() const { return m_entries.empty(); }

private:
    static constexpr qsizetype NoEntry = -1;
    struct Entry
    {
        qsizetype offset; // of the path in m_paths
        qint32 length;    // a path is far shorter; the time's nanoseconds fill the rest of the word
        qint32 nsec;
        qint64 size;
        qint64 sec;
        qsizetype next; // the next entry whose path has the same hash
    };
    qsizetype first(QByteArrayView path) const;

    QByteArray m_paths;
    std::vector<Entry> m_entries;
    QHash<size_t, qsizetype> m_firstByHash;
};

// The stamps of whole records (a test's, or any read with their copies).
ImportedStamps StampsOf(const ImportedFiles &files);

// How many bytes of a path under the volume's root are the root and its "/".
qsizetype RelativeRootLength(const QString &volumeRoot);
// The path of a file below a volume's root as the history keeps it: the bytes after the root's "/".
QByteArray HistoryPath(const QString &path, const QString &volumeRoot);

// The record of one imported file with this path, size and time, or nullptr.
const ImportedFile *findImported(const ImportedFiles &files, const QByteArray &path, qint64 size,
                                 FileTime mtime);
inline const ImportedFile *findImported(const ImportedFiles &files, const QByteArray &path, qint64 size,
                                        qint64 mtimeNs)
{
    return findImported(files, path, size, FileTime::fromNs(mtimeNs));
}

struct HistoryVolume
{
    QString identity;
    QString label;
    qint64 files = 0;
    qint64 lastImport = 0; // milliseconds since the epoch
};

// What every import copied, so that a card imported twice is recognised and an interrupted move can be
// finished. Writes never make a run fail: a store that cannot write just records nothing.
class ImportHistory
{
public:
    virtual ~ImportHistory() = default;

    // With withCopies false only paths, sizes and times are read (enough to recognise a file), which is
    // what a count needs and far quicker for a large history.
    virtual ImportedFiles filesOf(const QString &volume, bool withCopies = true) = 0;
    // Only what recognises a file, as a count needs it.
    virtual ImportedStamps stampsOf(const QString &volume) = 0;
    // Adds the files of one batch, all or none; a file already recorded (same path, size and time) is
    // replaced. False when nothing could be written.
    virtual bool add(const QString &volume, const QString &label, const QList<ImportedFile> &files) = 0;
    // Every volume with at least one file, the latest import first.
    virtual QList<HistoryVolume> volumes() = 0;
    // Removes a volume, its files and its journal; returns how many files went.
    virtual qint64 forget(const QString &volume) = 0;

    // Writes the copies about to take their names, all or none; an entry with the same path, size and time
    // is replaced. add() removes the entries of the files it records. False when nothing could be written
    // (a store without a journal writes none).
    virtual bool journal(const QString &volume, const QString &label, const QList<IntendedCopy> &copies);
    // Every journal entry of a volume.
    virtual QList<IntendedCopy> journalOf(const QString &volume);
    // True when a file of the volume still waits for its second copy (ImportedFile::backupPending).
    virtual bool hasPendingBackups(const QString &volume);
};

// Why the history file is not used as it should be.
enum class HistoryProblem
{
    None,
    Damaged,      // moved aside, a new one started
    DiskFull,     // kept; read where it can be, nothing recorded until there is room
    NoPermission, // kept; read where it can be, nothing recorded until it may be written
    Busy,         // kept; another program holds it: not read, nothing recorded until it lets go
    Failed,       // kept; some other error of the disk
    NewerSchema,  // kept untouched; written by a newer version, neither read nor written
};

// The history in an SQLite file. Only a damaged file (its check fails, or it is no database) is moved aside
// (notice() then says where) and a new one started. A file that cannot be written (full disk, no permission,
// busy) is kept as it is and read where that is safe (not while busy), without ever creating its -wal and
// -shm files from a read-only open; every write first tries again to open it for writing, so recording
// resumes once the cause is gone. An older schema is upgraded in one transaction; a newer one is left
// untouched and not used.
class SqliteImportHistory final : public ImportHistory
{
public:
    explicit SqliteImportHistory(const QString &path);
    ~SqliteImportHistory() override;
    SqliteImportHistory(const SqliteImportHistory &) = delete;
    SqliteImportHistory &operator=(const SqliteImportHistory &) = delete;

    // A message for the user when the file had to be replaced or cannot be used as it is; empty otherwise.
    QString notice() const { return m_notice; }
    // What keeps the file from being used now (None again once a write found the cause gone).
    HistoryProblem problem() const { return m_problem; }
    // The journal mode in use ("wal", or "delete" where WAL is refused); empty when the file is not written.
    QString journalMode() const { return m_journalMode; }

    ImportedFiles filesOf(const QString &volume, bool withCopies = true) override;
    ImportedStamps stampsOf(const QString &volume) override;
    bool add(const QString &volume, const QString &label, const QList<ImportedFile> &files) override;
    QList<HistoryVolume> volumes() override;
    qint64 forget(const QString &volume) override;
    bool journal(const QString &volume, const QString &label, const QList<IntendedCopy> &copies) override;
    QList<IntendedCopy> journalOf(const QString &volume) override;
    bool hasPendingBackups(const QString &volume) override;

private:
    // Opens the file for reading and writing under `connection`, upgrading an older schema.
    HistoryProblem openForWriting(const QString &connection);
    // Opens it for reading only, in a way that creates nothing beside it; NewerSchema when it must not be
    // read (m_schema stays 0 whenever nothing can be read).
    HistoryProblem openForReading();
    // True when the store can write, after opening the file again for writing if it could not before.
    bool writable();
    // Reads the volume's id, adding it (with its label) when missing; -1 on failure. Inside a transaction.
    qint64 volumeId(const QString &volume, const QString &label);
    // Writes rows of one volume in one transaction: `write` gets the volume's id and says whether every row
    // went in; if not, none stays. True when all was written.
    bool writeForVolume(const QString &volume, const QString &label,
                        const std::function<bool(QSqlDatabase &db, qint64 volumeId)> &write);
    // Tells `reserve` (when given) how many files the volume has, then hands `row` each of them: path, size,
    // time and, withCopies, hash, destination and import time.
    void readFiles(const QString &volume, bool withCopies, const std::function<void(qint64 count)> &reserve,
                   const std::function<void(sqlite3_stmt *)> &row);
    void close(const QString &connection);
    // Adds the second copies of the volume's files to their records.
    void readBackups(const QString &volume, ImportedFiles &files);

    QString m_path;
    QString m_connection;
    QString m_notice;
    QString m_journalMode;
    HistoryProblem m_problem = HistoryProblem::None;
    int m_schema = 0;       // of the open file; 0 when none is open
    bool m_writing = false; // the connection may write
};

// $XDG_DATA_HOME/vantora/history.sqlite (~/.local/share when XDG_DATA_HOME is not set).
QString defaultHistoryPath();

// "取り込み履歴ファイル <path> を読み込めませんでした.\r\n<aside> に移し、新しい履歴を作成します."
QString damagedHistoryMessage(const QString &path, const QString &aside);
// "取り込み履歴ファイル <path> に書き込めません(<cause>).\r\n取り込み履歴は記録されません." for DiskFull,
// NoPermission, Busy and Failed; the newer-version message for NewerSchema.
QString unusableHistoryMessage(const QString &path, HistoryProblem problem);

} // namespace vantora
