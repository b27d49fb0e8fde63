#include "transfer/transferstate.h"

#include "platform/camera.h"
#include "platform/filepath.h"
#include "settings/settingsrecord.h"

#include <QDir>

#include <algorithm>

namespace vantora {

bool IsDcimSourceFolder(const QString &sourceFolderText)
{
    return FilePath(sourceFolderText).parent().name() == QLatin1String("DCIM");
}

namespace {

// A name set's template when its switch is on, and which of the date and counter tokens it holds.
void takeTemplate(bool on, const NameTemplate &set, NameTemplate &into, bool &shootingDate, bool &counter)
{
    if (!on)
        return;
    into = set;
    shootingDate = into.text.contains(ShootingDateToken);
    counter = into.text.contains(RenbanToken);
}

} // namespace

void TakeOptionSnapshot(TransferState &state, const SettingsRecord &settings)
{
    TransferOptions o;
    o.folderCreation = settings.DirCreateChecked;
    takeTemplate(o.folderCreation,
                 NameTemplate{settings.DirNameEditText, settings.PreDirNameEditText, settings.PreDirChecked,
                              settings.SufDirNameEditText, settings.SufDirChecked},
                 o.folderTemplate, o.ShootingDateFolderMode, o.FolderCounterMode);
    if (o.folderCreation) {
        const QString &source = state.sourceFolder.isEmpty() ? settings.SourceEditText : state.sourceFolder;
        // A camera's folders are camera folders, as a card's DCIM folder's are.
        o.CameraFolderMode =
            settings.PANA101Checked && (IsDcimSourceFolder(source) || IsCameraSourceText(source));
    }
    o.renaming = settings.RenameChecked;
    takeTemplate(o.renaming,
                 NameTemplate{settings.FileNameEditText, settings.PreFileNameEditText,
                              settings.PreFileChecked, settings.SufFileNameEditText, settings.SufFileChecked},
                 o.fileTemplate, o.ShootingDateFileMode, o.FileCounterMode);
    o.overwrite = settings.UwagakiChecked;
    o.move = settings.DelChecked;
    o.allFiles = settings.AllFileChecked;
    o.skipImported = settings.SkipImportedChecked;
    o.verify = settings.VerifyChecked;
    o.keepShotsTogether = settings.KeepShotsTogetherChecked;
    o.backup = settings.BackupChecked;
    o.backupFolder = settings.BackupChecked && !settings.BackupDirText.isEmpty()
                         ? QDir::cleanPath(settings.BackupDirText)
                         : QString();
    o.manifest = settings.ManifestChecked;
    o.clockOffsetMinutes =
        std::clamp(settings.ClockOffsetMinutes, -MaxClockOffsetMinutes, MaxClockOffsetMinutes);
    const RunningValues values = state.runningValues
                                     ? state.runningValues()
                                     : RunningValues{settings.DirRenbanSpinEditValue,
                                                     settings.FileRenbanSpinEditValue, settings.sDayEditText};
    o.separator = values.separator;
    state.options = o;
    if (o.FolderCounterMode)
        state.folderNumber = values.folderCounter;
    if (o.FileCounterMode)
        state.fileNumber = values.fileCounter;
}

} // namespace vantora
