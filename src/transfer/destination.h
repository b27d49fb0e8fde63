#pragma once

#include "routing/extensionrow.h"

#include <QDate>
#include <QString>

namespace vantora {

struct TransferState;

// Makes sure one folder exists, creating that one level only (its parent must exist). False when it could
// not; the caller says so (folderNotCreatedMessage).
bool EnsureFolder(const QString &path);

// Why ResolveDestination gave no path.
enum class DestinationError
{
    None,
    NoRow,        // no row of the table takes the file
    UnsafeName,   // the expanded name would leave its destination folder
    InsideSource, // the target folder is the source folder or lies inside it (state.refusedFolder)
};

// The name of the folder holding a source file: its camera folder.
QString CameraFolderName(const QString &sourcePath);

// True when folder is source or lies inside it, also when reached through links or a second mount of
// the same folder. Neither needs to exist.
bool IsFolderInside(const QString &folder, const QString &source);

// What the files of one shot share: its shooting date and, for a sidecar that no row takes, the folder of
// the shot's first file.
struct ShotNaming
{
    QDate date;     // invalid: each file's own
    QString folder; // empty: the file's own row
};

// The full destination path of one source file of the run: the table's folder for the file, the created
// folder from the folder template, the camera sub-folder, and the file name, creating missing folders
// one level at a time. A file with no row of its own extension goes where the first row whose mask took
// it points. Reads the run's option snapshot and running numbers in `state`; updates AllFilesFolder and
// the folder cache, and appends a folder it could not create to uncreatedFolders. An empty result comes with
// `error` set and nothing created.
QString ResolveDestination(TransferState &state, const ExtensionRows &table, const QString &sourcePath,
                           DestinationError *error = nullptr, const ShotNaming *shot = nullptr);

} // namespace vantora
