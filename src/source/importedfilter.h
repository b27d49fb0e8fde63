#pragma once

#include "history/importhistory.h"
#include "source/sourcewalk.h"

#include <QList>

namespace vantora {

// A file of the source that an earlier import already copied.
struct SkippedImport
{
    QString source;      // its path
    ImportedFile record; // what recognised it: path, size and time
};

// The import history of a run: where its copies are recorded, and the files left out of its run list
// because an earlier run imported them.
struct RunHistory
{
    ImportHistory *store = nullptr; // nothing is recorded without one
    QString volume;                 // the source volume's identity
    QString label;
    QString volumeRoot;
    QList<SkippedImport> skipped;
};

// Leaves out of a walk every file the history holds for the volume: same path below the volume's root,
// same size and modification time. Only a file whose path is in the history is looked at (one stat).
class ImportedFilter final : public WalkFilter
{
public:
    // listSkipped: keep the files left out (a run needs them; a count needs only how many).
    ImportedFilter(ImportedStamps files, const QString &volumeRoot, bool listSkipped = true);

    bool excludes(const QString &folder, QByteArrayView name, const DirectoryReader &entry) override;
    bool excludesListed(const QString &folder, QByteArrayView name, qint64 size, FileTime mtime) override;

    // The files left out so far, in walk order, each once (when listed), and how many.
    const QList<SkippedImport> &skipped() const { return m_skipped; }
    qint64 skippedCount() const { return m_skippedCount; }

private:
    // The path's key, when the history holds the path at all.
    bool keyOf(const QString &folder, QByteArrayView name);
    bool excludesStamped(const QString &folder, QByteArrayView name, qint64 size, FileTime mtime);

    ImportedStamps m_files;
    qsizetype m_rootLength;
    QString m_folder;         // the last folder asked about
    QByteArray m_folderBytes; // its path below the root, with "/"
    QByteArray m_key;
    QList<SkippedImport> m_skipped;
    qint64 m_skippedCount = 0;
    bool m_listSkipped;
};

} // namespace vantora
