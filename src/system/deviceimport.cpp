#include "system/deviceimport.h"

#include "platform/directoryreader.h"
#include "platform/filepath.h"
#include "platform/pathops.h"
#include "platform/pathtext.h"
#include "source/source.h"
#include "transfer/commitbatch.h"

#include <algorithm>

namespace vantora {

namespace {

// Everything below a folder by relative path, in the order listed: real folders, and files (a link to a
// file counts as the file). Folder links, dangling links, devices and pipes are only counted: they stay
// where they are.
void listTree(DirectoryReader &dir, const QString &relative, QStringList &folders, QStringList &files,
              int &others)
{
    while (dir.next()) {
        const QString path = relative + dir.name();
        EntryKind kind = dir.entryKind();
        if (kind == EntryKind::Unknown)
            kind = dir.entryStatus(false).kind;
        if (kind == EntryKind::Link)
            kind = dir.entryStatus(true).kind == EntryKind::File ? EntryKind::File : EntryKind::Other;
        if (kind == EntryKind::Folder) {
            folders << path;
            DirectoryReader sub = dir.openEntry(false);
            listTree(sub, path + QLatin1Char('/'), folders, files, others);
        } else if (kind == EntryKind::File) {
            files << path;
        } else {
            ++others;
        }
    }
}

// Each waiting source holds its copy's descriptor open.
constexpr qsizetype MaxWaitingSources = 64;

// The source and the folder its copy goes to, or why the import cannot run.
struct ImportFolders
{
    DeviceImportResult::Status status = DeviceImportResult::Done;
    FilePath source;
    FilePath target;
};

ImportFolders importFolders(const QString &source, const QString &destinationFolder)
{
    if (!isFolderPath(source))
        return {DeviceImportResult::SourceMissing, {}, {}};
    if (!isFolderPath(destinationFolder))
        return {DeviceImportResult::DestinationMissing, {}, {}};
    ImportFolders folders;
    folders.source = FilePath(canonicalPath(source));
    const FilePath destinationRoot(canonicalPath(destinationFolder));
    folders.target = destinationRoot.join(folders.source.name());
    // A copy into the source itself would copy its own copies (or each file onto itself).
    if (destinationRoot.isSameOrInside(folders.source) || folders.target == folders.source)
        folders.status = DeviceImportResult::DestinationInsideSource;
    return folders;
}

// The folders and files below the source by relative path, each list sorted.
struct SourceTree
{
    QStringList folders;
    QStringList files;
};

SourceTree listSorted(const FilePath &root, int &others)
{
    SourceTree tree;
    DirectoryReader top(root.text());
    listTree(top, QString(), tree.folders, tree.files, others);
    std::sort(tree.folders.begin(), tree.folders.end());
    std::sort(tree.files.begin(), tree.files.end());
    return tree;
}

void stopAt(DeviceImportResult &result, CopyError code, const QString &file)
{
    result.status = DeviceImportResult::CopyFailed;
    result.error = code;
    result.failedFile = file;
}

CopyError makeTargetFolders(const FilePath &target, const QStringList &folders, bool move)
{
    makeFolderPath(target.text());
    for (const QString &folder : folders)
        makeFolderPath(target.join(folder).text());
    // Each copy flushes itself and its own folder; the new folders' entries in their parents must be on
    // the disk too before the first source goes.
    return move ? SyncFileSystems({target.text()}) : CopyError();
}

CommitEntry sourceToDelete(const QString &from, const QString &written, CopyOutcome &outcome)
{
    CommitEntry entry;
    entry.file.path = from;
    entry.copy = written;
    entry.kept = std::move(outcome.kept);
    entry.copied = outcome.source;
    entry.copyStamp = outcome.copy;
    entry.deleteSource = true;
    entry.record = false;
    return entry;
}

// Copies each file to a free name under the target, with `move` deleting its source once committed;
// stops at the first failure.
void copyFiles(const ImportFolders &where, const QStringList &files, bool move,
               const CopyProgressRoutine &progress, DeviceImportResult &result)
{
    const bool cancel = false;
    CopyOptions options;
    options.failIfExists = true;
    // A copy takes its name only once its data is on the disk, so a power cut leaves no name on a hole.
    options.flush = true;
    options.keepOpen = move;
    const FolderSource origin(where.source.text());
    CommitBatch::Options batchOptions;
    batchOptions.source = &origin;
    CommitBatch batch(batchOptions);
    const auto commit = [&batch, &result] {
        const qsizetype waiting = batch.size();
        result.notDeleted += int(waiting - batch.commit().deleted);
    };
    for (const QString &file : files) {
        const QString from = where.source.join(file).text();
        const QString to = where.target.join(file).text();
        QString written;
        CopyOutcome outcome;
        const CopyError code = CopyFileToFreeName(from, to, progress, &cancel, options, &outcome, &written);
        if (code.kind == CopyError::Exists) {
            ++result.notCopied;
            continue;
        }
        if (!code && written != to)
            ++result.renamed;
        if (code) {
            stopAt(result, code, from);
            break;
        }
        ++result.copied;
        if (move) {
            batch.add(sourceToDelete(from, written, outcome));
            if (batch.size() >= MaxWaitingSources)
                commit();
        }
    }
    commit();
}

void removeEmptiedFolders(const FilePath &root, QStringList folders)
{
    // Deepest first; rmdir leaves every folder that still holds something.
    std::sort(folders.begin(), folders.end(), std::greater<>());
    for (const QString &folder : std::as_const(folders))
        removeFolder(root.join(folder).text());
    removeFolder(root.text());
}

} // namespace

QDate DeviceImportShootingDate()
{
    return QDate(1899, 12, 30);
}

QString DeviceImportDestination(const QString &transferFolder, const NameTemplate &folderTemplate,
                                qint32 folderCounter, const QString &separator)
{
    QString base = transferFolder;
    if (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    const QString fragment = ExpandNameTemplate(TemplateDialogMode::Folder, folderTemplate, folderCounter,
                                                QString(), DeviceImportShootingDate(), separator);
    if (NameLeavesFolder(TemplateDialogMode::Folder, fragment))
        return QString();
    QString path = base + fragment;
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

QString FolderTitle(const QString &path)
{
    const FilePath p(withoutTrailingSlash(path));
    return p.isRoot() ? p.text() : p.name();
}

DeviceImportResult ImportWholeFolder(const QString &source, const QString &destinationFolder, bool move,
                                     const CopyProgressRoutine &progress)
{
    DeviceImportResult result;
    const ImportFolders where = importFolders(source, destinationFolder);
    result.status = where.status;
    if (result.status != DeviceImportResult::Done)
        return result;
    // The whole list first: the copy never sees its own output.
    const SourceTree tree = listSorted(where.source, result.notCopied);
    if (const CopyError code = makeTargetFolders(where.target, tree.folders, move)) {
        stopAt(result, code, where.target.text());
        return result;
    }
    copyFiles(where, tree.files, move, progress, result);
    if (move)
        removeEmptiedFolders(where.source, tree.folders);
    return result;
}

} // namespace vantora
