#include "transfer/transferstate.h"

#include "settings/settingsrecord.h"

namespace vantora {

bool IsDcimSourceFolder(const QString &sourceFolderText)
{
    const int slash = sourceFolderText.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return false;
    const QString upTo = sourceFolderText.left(slash);
    return upTo.mid(upTo.lastIndexOf(QLatin1Char('/')) + 1) == QLatin1String("DCIM");
}

void TakeOptionSnapshot(TransferState &state, const SettingsRecord &settings)
{
    TransferOptions o;
    o.folderCreation = settings.DirCreateChecked;
    if (o.folderCreation) {
        o.folderTemplate =
            NameTemplate{settings.DirNameEditText, settings.PreDirNameEditText, settings.PreDirChecked,
                         settings.SufDirNameEditText, settings.SufDirChecked};
        o.ShootingDateFolderMode = o.folderTemplate.text.contains(ShootingDateToken);
        o.FolderCounterMode = o.folderTemplate.text.contains(RenbanToken);
        const QString &source = state.sourceFolder.isEmpty() ? settings.SourceEditText : state.sourceFolder;
        o.CameraFolderMode = settings.PANA101Checked && IsDcimSourceFolder(source);
    }
    o.renaming = settings.RenameChecked;
    if (o.renaming) {
        o.fileTemplate =
            NameTemplate{settings.FileNameEditText, settings.PreFileNameEditText, settings.PreFileChecked,
                         settings.SufFileNameEditText, settings.SufFileChecked};
        o.FileCounterMode = o.fileTemplate.text.contains(RenbanToken);
        o.ShootingDateFileMode = o.fileTemplate.text.contains(ShootingDateToken);
    }
    o.overwrite = settings.UwagakiChecked;
    o.move = settings.DelChecked;
    o.allFiles = settings.AllFileChecked;
    o.skipImported = settings.SkipImportedChecked;
    o.verify = settings.VerifyChecked;
    o.separator = settings.sDayEditText;
    state.options = o;
    if (o.FolderCounterMode)
        state.folderNumber = settings.DirRenbanSpinEditValue;
    if (o.FileCounterMode)
        state.fileNumber = settings.FileRenbanSpinEditValue;
}

} // namespace vantora
