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

QString ResolveDestination(TransferState &state, const ExtensionRows &table, const QString &sourcePath,
                           DestinationError *error, const ShotNaming *shotNaming)
{
    const TransferOptions &o = state.options;
    auto fail = [error](DestinationError why) {
        if (error)
            *error = why;
        return QString();
    };
    if (error)
        *error = DestinationError::None;

    const QString fileName = FilePath(sourcePath).name();
    const bool besideShot = shotNaming && !shotNaming->folder.isEmpty();
    QString base;
    if (besideShot) {
        base = shotNaming->folder;
    } else if (o.allFiles) {
        if (!state.firstFile)
            state.AllFilesFolder = LookupExtensionDestination(table, fileName, true);
        base = state.AllFilesFolder;
    } else {
        base = LookupExtensionDestination(table, fileName, false);
        // A file taken only through a wildcard free extension has no row of its own; left empty it
        // would land at the root of the filesystem.
        if (base.isEmpty())
            base = LookupMaskDestination(table, fileName);
    }
    if (base.isEmpty())
        return fail(DestinationError::NoRow);
    base = withoutTrailingSlash(base);

    QDate shot;
    if (o.ShootingDateFolderMode || o.ShootingDateFileMode)
        shot = shotNaming && shotNaming->date.isValid() ? shotNaming->date
               : state.shootingDateOf                   ? state.shootingDateOf(sourcePath)
                                                        : ReadShootingDate(sourcePath, o.clockOffsetMinutes);

    QString name;
    if (o.renaming) {
        name = ExpandNameTemplate(TemplateDialogMode::File, o.fileTemplate, state.fileNumber, sourcePath,
                                  shot, o.separator);
        if (NameLeavesFolder(TemplateDialogMode::File, name))
            return fail(DestinationError::UnsafeName);
    } else {
        name = fileName;
    }

    if (besideShot)
        return FilePath(base).join(name).text();

    QString fragment;
    if (o.folderCreation) {
        fragment = ExpandNameTemplate(TemplateDialogMode::Folder, o.folderTemplate, state.folderNumber,
                                      QString(), shot, o.separator);
        if (NameLeavesFolder(TemplateDialogMode::Folder, fragment))
            return fail(DestinationError::UnsafeName);
    }
    const QString created = o.folderCreation ? withTrailingSlash(base + fragment) : base;
    const QString target =
        o.CameraFolderMode ? FilePath(created).join(CameraFolderName(sourcePath)).text() : created;
    if (!state.sourceFolder.isEmpty() && target != state.checkedFolder) {
        if (IsFolderInside(target, state.sourceFolder)) {
            state.refusedFolder = target;
            return fail(DestinationError::InsideSource);
        }
        state.checkedFolder = target;
    }

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
    return FilePath(folder).join(name).text();
}

} // namespace vantora
