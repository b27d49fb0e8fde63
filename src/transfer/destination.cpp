#include "transfer/destination.h"

#include "naming/nametemplate.h"
#include "platform/prompt.h"
#include "routing/extensiontable.h"
#include "source/maskmatch.h"
#include "transfer/shootingdate.h"
#include "transfer/transferstate.h"

#include <QDir>
#include <QFileInfo>

namespace vantora {

namespace {

QString withoutTrailingSlash(QString path)
{
    if (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

QString withTrailingSlash(const QString &path)
{
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

} // namespace

bool EnsureFolder(const QString &path)
{
    if (QFileInfo(path).isDir())
        return true;
    if (!path.isEmpty() && QDir().mkdir(path))
        return true;
    prompt().message(QStringLiteral("フォルダ[") + path + QStringLiteral("]の作成に失敗しました"));
    return false;
}

QString ResolveDestination(TransferState &state, const ExtensionRows &table, const QString &sourcePath,
                           DestinationError *error)
{
    const TransferOptions &o = state.options;
    auto fail = [error](DestinationError why) {
        if (error)
            *error = why;
        return QString();
    };
    if (error)
        *error = DestinationError::None;

    const QString fileName = QFileInfo(sourcePath).fileName();
    QString base;
    if (o.allFiles) {
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
        shot = ReadShootingDate(sourcePath);

    QString name;
    if (o.renaming) {
        name = ExpandNameTemplate(TemplateDialogMode::File, o.fileTemplate, state.fileNumber, sourcePath,
                                  shot, o.separator);
        if (NameLeavesFolder(TemplateDialogMode::File, name))
            return fail(DestinationError::UnsafeName);
    } else {
        name = fileName;
    }

    QString folder = base;
    if (o.folderCreation) {
        const QString fragment = ExpandNameTemplate(TemplateDialogMode::Folder, o.folderTemplate,
                                                    state.folderNumber, QString(), shot, o.separator);
        if (NameLeavesFolder(TemplateDialogMode::Folder, fragment))
            return fail(DestinationError::UnsafeName);
        folder = withTrailingSlash(base + fragment);
        if (!o.CameraFolderMode) {
            EnsureFolder(folder);
        } else if (folder != state.folderCache.createdFolder) {
            EnsureFolder(folder);
            state.folderCache.createdFolder = folder;
        }
    }
    if (o.CameraFolderMode) {
        const QString holder = QFileInfo(sourcePath).absoluteDir().dirName();
        folder = withTrailingSlash(folder) + holder;
        if (folder != state.folderCache.cameraFolder) {
            EnsureFolder(folder);
            state.folderCache.cameraFolder = folder;
        }
    }
    return withTrailingSlash(folder) + name;
}

} // namespace vantora
