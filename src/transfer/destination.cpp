#include "transfer/destination.h"

#include "naming/nametemplate.h"
#include "platform/bytepath.h"
#include "platform/filepath.h"
#include "platform/filestamp.h"
#include "platform/pathops.h"
#include "platform/pathtext.h"
#include "routing/extensiontable.h"
#include "source/maskmatch.h"
#include "transfer/shootingdate.h"
#include "transfer/transferstate.h"

#include <optional>

namespace vantora {

bool EnsureFolder(const QString &path)
{
    if (isFolderPath(path))
        return true;
    return !path.isEmpty() && (makeFolder(path) == 0 || isFolderPath(path));
}

QString CameraFolderName(const QString &sourcePath)
{
    return FilePath(sourcePath).parent().name();
}

bool IsFolderInside(const QString &folder, const QString &source)
{
    if (folder.isEmpty() || source.isEmpty())
        return false;
    if (FilePath(folder).isSameOrInside(FilePath(source)))
        return true;
    // The same folders reached another way: through links, or a second mount of the same folder.
    const std::optional<FileId> sourceId = FileIdOf(source);
    if (!sourceId)
        return false;
    // The nearest folder that exists, and the names below it that do not (yet).
    FilePath existing(withoutTrailingSlash(folder));
    QString rest;
    while (existing.text().size() > 1 && !PathExists(existing.text())) {
        // A relative name with nothing above it that exists.
        if (!existing.text().contains(u'/'))
            return false;
        rest.prepend(u'/' + existing.name());
        existing = existing.parent();
    }
    const QString realSource = canonicalPath(source);
    const QString real = canonicalPath(existing.text());
    if (!realSource.isEmpty() && !real.isEmpty() &&
        FilePath(real + rest).isSameOrInside(FilePath(realSource)))
        return true;
    for (FilePath up(real); !up.isEmpty(); up = up.parent()) {
        if (FileIdOf(up.text()) == sourceId)
            return true;
        if (up.isRoot())
            break;
    }
    return false;
}

namespace {

// The folder of the file's row (or of its shot); empty when no row takes it.
QString rowFolder(TransferState &state, const ExtensionRows &table, const QString &fileName,
                  const ShotNaming *shotNaming)
{
    if (shotNaming && !shotNaming->folder.isEmpty())
        return shotNaming->folder;
    if (state.options.allFiles) {
        if (!state.firstFile)
            state.AllFilesFolder = LookupExtensionDestination(table, fileName, true);
        return state.AllFilesFolder;
    }
    const QString folder = LookupExtensionDestination(table, fileName, false);
    // A file taken only through a wildcard free extension has no row of its own; left empty it would
    // land at the root of the filesystem.
    return folder.isEmpty() ? LookupMaskDestination(table, fileName) : folder;
}

// Read only when a template shows it; through the run's source while a run is going.
QDate shootingDateFor(const TransferState &state, const QString &sourcePath, const ShotNaming *shotNaming)
{
    const TransferOptions &o = state.options;
    if (!o.ShootingDateFolderMode && !o.ShootingDateFileMode)
        return QDate();
    if (shotNaming && shotNaming->date.isValid())
        return shotNaming->date;
    return state.shootingDateOf ? state.shootingDateOf(sourcePath)
                                : ReadShootingDate(sourcePath, o.clockOffsetMinutes);
}

// The copy's name: the file template's, or the source's own. None when the template's would leave the
// folder.
std::optional<QString> copyName(const TransferState &state, const QString &sourcePath, const QDate &shot)
{
    const TransferOptions &o = state.options;
    if (!o.renaming)
        return FilePath(sourcePath).name();
    const QString name = ExpandNameTemplate(TemplateDialogMode::File, o.fileTemplate, state.fileNumber,
                                            sourcePath, shot, o.separator);
    if (NameLeavesFolder(TemplateDialogMode::File, name))
        return std::nullopt;
    return name;
}

// The folder template's folder under base, or base itself. None when the template's would leave base.
std::optional<QString> createdFolder(const TransferState &state, const QString &base, const QDate &shot)
{
    const TransferOptions &o = state.options;
    if (!o.folderCreation)
        return base;
    const QString fragment = ExpandNameTemplate(TemplateDialogMode::Folder, o.folderTemplate,
                                                state.folderNumber, QString(), shot, o.separator);
    if (NameLeavesFolder(TemplateDialogMode::Folder, fragment))
        return std::nullopt;
    return withTrailingSlash(base + fragment);
}

// Each target folder is checked against the source once.
bool refusedInsideSource(TransferState &state, const QString &target)
{
    if (state.sourceFolder.isEmpty() || target == state.checkedFolder)
        return false;
    if (IsFolderInside(target, state.sourceFolder)) {
        state.refusedFolder = target;
        return true;
    }
    state.checkedFolder = target;
    return false;
}

// Makes the created and camera folders that are missing; returns the folder the file goes in.
QString ensureFolders(TransferState &state, const QString &base, const QString &created,
                      const QString &target)
{
    const TransferOptions &o = state.options;
    // The cache spares a check per file, but a folder deleted since (between two runs, say) is made
    // again rather than trusted.
    const auto ensure = [&state](const QString &path) {
        if (!EnsureFolder(path))
            state.uncreatedFolders.append(path);
    };
    QString folder = base;
    if (o.folderCreation) {
        folder = created;
        if (!o.CameraFolderMode) {
            ensure(folder);
        } else if (folder != state.folderCache.createdFolder || !isFolderPath(folder)) {
            ensure(folder);
            state.folderCache.createdFolder = folder;
        }
    }
    if (o.CameraFolderMode) {
        folder = target;
        if (folder != state.folderCache.cameraFolder || !isFolderPath(folder)) {
            ensure(folder);
            state.folderCache.cameraFolder = folder;
        }
    }
    return folder;
}

} // namespace

QString ResolveDestination(TransferState &state, const ExtensionRows &table, const QString &sourcePath,
                           DestinationError *error, const ShotNaming *shotNaming)
{
    auto fail = [error](DestinationError why) {
        if (error)
            *error = why;
        return QString();
    };
    if (error)
        *error = DestinationError::None;

    QString base = rowFolder(state, table, FilePath(sourcePath).name(), shotNaming);
    if (base.isEmpty())
        return fail(DestinationError::NoRow);
    base = withoutTrailingSlash(base);
    state.destinationBase = base;
    const QDate shot = shootingDateFor(state, sourcePath, shotNaming);
    const std::optional<QString> name = copyName(state, sourcePath, shot);
    if (!name)
        return fail(DestinationError::UnsafeName);
    if (shotNaming && !shotNaming->folder.isEmpty())
        return FilePath(base).join(*name).text();

    const std::optional<QString> created = createdFolder(state, base, shot);
    if (!created)
        return fail(DestinationError::UnsafeName);
    const QString target = state.options.CameraFolderMode
                               ? FilePath(*created).join(CameraFolderName(sourcePath)).text()
                               : *created;
    if (refusedInsideSource(state, target))
        return fail(DestinationError::InsideSource);
    return FilePath(ensureFolders(state, base, *created, target)).join(*name).text();
}

} // namespace vantora
