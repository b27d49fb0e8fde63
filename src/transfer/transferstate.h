#pragma once

#include "naming/nametemplate.h"
#include "transfer/copyprogress.h"

#include <QDate>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

namespace vantora {

struct SettingsRecord;

// The options of one run, taken at its start; a change made during the run (the settings dialogs stay
// usable) does not reach it.
struct TransferOptions
{
    bool folderCreation = false; // DirCreateCheckBox
    NameTemplate folderTemplate; // taken only with folder creation on
    bool ShootingDateFolderMode = false;
    bool FolderCounterMode = false;
    bool CameraFolderMode = false;
    bool renaming = false;     // RenameCheckBox
    NameTemplate fileTemplate; // taken only with renaming on
    bool FileCounterMode = false;
    bool ShootingDateFileMode = false;
    bool overwrite = false;         // UwagakiCheckBox
    bool move = false;              // DelCheckBox
    bool allFiles = false;          // "AllFileChecked"
    QString separator;              // DateSeparator
    bool skipImported = false;      // "SkipImportedChecked"
    bool verify = false;            // "VerifyChecked"
    bool keepShotsTogether = false; // "KeepShotsTogetherChecked"
    int clockOffsetMinutes = 0;     // "ClockOffsetMinutes"
    QString backupFolder;           // "BackupDirText" with "BackupChecked"; empty: no second copy
    bool backup = false;            // "BackupChecked"
    bool manifest = false;          // "ManifestChecked"
};

// The running numbers and the date separator in force.
struct RunningValues
{
    qint32 folderCounter = 1; // FolderNameCounter
    qint32 fileCounter = 1;   // FileNameCounter
    QString separator;        // DateSeparator
};

// The last folders EnsureFolder was asked for in camera mode; kept for the program's lifetime.
struct FolderCache
{
    QString createdFolder;
    QString cameraFolder;
};

// One instance for the program. The options are retaken at each run; the running numbers, the first
// destination folder and the folder cache carry over from run to run.
struct TransferState
{
    TransferOptions options;
    qint32 folderNumber = 1; // folder running number in use
    qint32 fileNumber = 1;   // file running number in use

    bool firstFile = false; // the run's first file has been resolved
    QString FirstDestinationFolder;
    bool notDeleted = false;        // a source could not be deleted after its good copy
    bool skipped = false;           // a file could not be copied under any free name
    QSet<QString> movedFromFolders; // folders a source of this run was deleted from
    bool result = false;
    // Set by CancelCopy from the Cancel button while events are pumped; single-threaded, so plain.
    bool CancelRequested = false;
    FileProgress fileProgress; // the bar as the run last set it; 0 at each start and on Cancel
    QString AllFilesFolder;
    FolderCache folderCache;
    bool running = false;  // a run is in progress: a second start is ignored
    bool flushing = false; // the run waits for the disk at its end: Cancel has nothing left to stop
    // The folder the run in progress was walked from, as the main window shows it (SourceEdit1): a card
    // found by the detection or the watch, or handed in on the command line, is shown there without
    // becoming the stored source. Empty: the stored source (a run without a window).
    QString sourceFolder;
    QString refusedFolder;        // a target folder found inside the source folder
    QString checkedFolder;        // the last target folder found outside it
    QStringList uncreatedFolders; // folders ResolveDestination could not create, for the run to report
    QString destinationBase;      // the row folder of the destination ResolveDestination gave last
    // Where the running numbers and the separator in force are read at each start: the template dialog's
    // fields, which hold values typed there before its close box while the settings keep the confirmed
    // ones. Unset (a run without windows): the settings.
    std::function<RunningValues()> runningValues;
    // Where the run in progress reads a source file's shooting date: through its source. Unset (no run):
    // by the file's path.
    std::function<QDate(const QString &sourcePath)> shootingDateOf;
};

// True when the source folder text names a camera's DCIM folder: the text up to its last "/" ends in
// the component "DCIM" (exact case), so ".../DCIM/" qualifies and ".../DCIM" or ".../dcim/" do not.
bool IsDcimSourceFolder(const QString &sourceFolderText);

// Takes the option snapshot from the settings, with the running numbers and the separator in force
// (state.runningValues); the running numbers only for the modes that use them. The camera folder mode
// follows the shown source (state.sourceFolder).
void TakeOptionSnapshot(TransferState &state, const SettingsRecord &settings);

// The clock offset a run takes, either way: a day.
inline constexpr int MaxClockOffsetMinutes = 1440;

} // namespace vantora
