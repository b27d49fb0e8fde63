#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMultiHash>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

struct sqlite3_stmt;

namespace vantora {

// One file an import copied, as the history keeps it.
struct ImportedFile
{
    QByteArray path; // relative to the volume's root, the name's exact bytes
    qint64 size = 0;
    qint64 mtimeNs = 0;     // the source's modification time, nanoseconds since the epoch
    QByteArray hash;        // XXH3-128 of the content, 16 bytes
    QByteArray destination; // the copy, an absolute path's bytes
    qint64 importedAt = 0;  // milliseconds since the epoch
    friend bool operator==(const ImportedFile &, const ImportedFile &) = default;
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
    void insert(QByteArrayView path, qint64 size, qint64 mtimeNs);
    // True when some file with this path is recorded.
    bool containsPath(QByteArrayView path) const { return first(path) != NoEntry; }
    bool contains(QByteArrayView path, qint64 size, qint64 mtimeNs) const;
    qsizetype size() const { return qsizetype(m_entries.size()); }
    bool isEmpty() const { return m_entries.empty(); }

private:
    static constexpr qsizetype NoEntry = -1;
    struct Entry
    {
        qsizetype offset; // of the path in m_paths
        qsizetype length;
        qint64 size;
        qint64 mtimeNs;
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
                                 qint64 mtimeNs);

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
    // Removes a volume and its files; returns how many files went.
    virtual qint64 forget(const QString &volume) = 0;
};

// The history in an SQLite file. A file that cannot be opened or is damaged is moved aside (notice() then
// says where) and a new one started; when even that fails the store works without a file, in memory.
class SqliteImportHistory final : public ImportHistory
{
public:
    explicit SqliteImportHistory(const QString &path);
    ~SqliteImportHistory() override;
    SqliteImportHistory(const SqliteImportHistory &) = delete;
    SqliteImportHistory &operator=(const SqliteImportHistory &) = delete;

    // A message for the user when the file had to be replaced; empty otherwise.
    QString notice() const { return m_notice; }
    // The journal mode in use ("wal", or "delete" where WAL is refused).
    QString journalMode() const { return m_journalMode; }

    ImportedFiles filesOf(const QString &volume, bool withCopies = true) override;
    ImportedStamps stampsOf(const QString &volume) override;
    bool add(const QString &volume, const QString &label, const QList<ImportedFile> &files) override;
    QList<HistoryVolume> volumes() override;
    qint64 forget(const QString &volume) override;

private:
    bool open(const QString &path);
    // Tells `reserve` (when given) how many files the volume has, then hands `row` each of them: path, size,
    // time and, withCopies, hash, destination and import time.
    void readFiles(const QString &volume, bool withCopies, const std::function<void(qint64 count)> &reserve,
                   const std::function<void(sqlite3_stmt *)> &row);
    void close();

    QString m_connection;
    QString m_notice;
    QString m_journalMode;
};

// $XDG_DATA_HOME/vantora/history.sqlite (~/.local/share when XDG_DATA_HOME is not set).
QString defaultHistoryPath();

// "取り込み履歴ファイル <path> を読み込めませんでした.\r\n<aside> に移し、新しい履歴を作成します."
QString damagedHistoryMessage(const QString &path, const QString &aside);

} // namespace vantora
