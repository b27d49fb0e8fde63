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
    if (!isFolderPath(source)) {
        result.status = DeviceImportResult::SourceMissing;
        return result;
    }
    if (!isFolderPath(destinationFolder)) {
        result.status = DeviceImportResult::DestinationMissing;
        return result;
    }
    const FilePath sourceRoot(canonicalPath(source));
    const FilePath destinationRoot(canonicalPath(destinationFolder));
    const FilePath target = destinationRoot.join(sourceRoot.name());
    // A copy into the source itself would copy its own copies (or each file onto itself).
    if (destinationRoot.isSameOrInside(sourceRoot) || target == sourceRoot) {
        result.status = DeviceImportResult::DestinationInsideSource;
        return result;
    }

    // The whole list first: the copy never sees its own output.
    QStringList folders;
    QStringList files;
    DirectoryReader top(sourceRoot.text());
    listTree(top, QString(), folders, files, result.notCopied);
    std::sort(folders.begin(), folders.end());
    std::sort(files.begin(), files.end());

    makeFolderPath(target.text());
    for (const QString &folder : std::as_const(folders))
        makeFolderPath(target.join(folder).text());
    // Each copy flushes itself and its own folder; the new folders' entries in their parents must be on
    // the disk too before the first source goes.
    if (const CopyError code = move ? SyncFileSystems({target.text()}) : CopyError()) {
        result.status = DeviceImportResult::CopyFailed;
        result.error = code;
        result.failedFile = target.text();
        return result;
    }

    const bool cancel = false;
    CopyOptions options;
    options.failIfExists = true;
    // A copy takes its name only once its data is on the disk, so a power cut leaves no name on a hole.
    options.flush = true;
    options.keepOpen = move;
    const FolderSource origin(sourceRoot.text());
    CommitBatch::Options batchOptions;
    batchOptions.source = &origin;
    CommitBatch batch(batchOptions);
    const auto commit = [&batch, &result] {
        const qsizetype waiting = batch.size();
        result.notDeleted += int(waiting - batch.commit().deleted);
    };
    for (const QString &file : std::as_const(files)) {
        const QString from = sourceRoot.join(file).text();
        const QString to = target.join(file).text();
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
            result.status = DeviceImportResult::CopyFailed;
            result.error = code;
            result.failedFile = from;
            break;
        }
        ++result.copied;
        if (move) {
            CommitEntry entry;
            entry.file.path = from;
            entry.copy = written;
            entry.kept = std::move(outcome.kept);
            entry.copied = outcome.source;
            entry.copyStamp = outcome.copy;
            entry.deleteSource = true;
            entry.record = false;
            batch.add(std::move(entry));
            if (batch.size() >= MaxWaitingSources)
                commit();
        }
    }
    commit();

    if (move) {
        // Deepest first; rmdir leaves every folder that still holds something.
        std::sort(folders.begin(), folders.end(), std::greater<>());
        for (const QString &folder : std::as_const(folders))
            removeFolder(sourceRoot.join(folder).text());
        removeFolder(sourceRoot.text());
    }
    return result;
}

} // namespace vantora
