#pragma once

#include "naming/nametemplate.h"
#include "platform/copyfile.h"

#include <QDate>
#include <QString>

namespace vantora {

// The portable-device import: a camera or phone folder (mounted by the desktop) copied or moved whole
// into a newly created destination folder.

// The date that stands for "no shooting date" in the import's folder name: day 0 of the date count.
QDate DeviceImportShootingDate();

// The common destination folder without its trailing "/" followed by the created folder's fragment from
// the folder template (with the folder running number, no source and the date above). Ends with "/".
// Empty when the expanded name would leave the destination folder.
QString DeviceImportDestination(const QString &transferFolder, const NameTemplate &folderTemplate,
                                qint32 folderCounter, const QString &separator);

// The title a folder picker shows for a folder: its last path component ("/" for the root).
QString FolderTitle(const QString &path);

struct DeviceImportResult
{
    enum Status
    {
        Done,
        SourceMissing,           // the source is not a folder
        DestinationInsideSource, // the copy would run into itself
        DestinationMissing,
        CopyFailed, // a copy error stopped the import; `error` and `failedFile` say which
    };
    Status status = Done;
    int copied = 0;
    int renamed = 0;    // copied under a free "_n" name beside a file of the same name
    int notCopied = 0;  // no free name left, or a folder link: the source is kept
    int notDeleted = 0; // moved files whose source could not be deleted
    CopyError error;    // what stopped the import
    QString failedFile;
};

// Copies the folder `source` with everything below it into `destinationFolder`, as its sub-folder of
// the same name. A file of the same name already there is kept; the copy takes the first free name
// "_2" to "_99". With `move`, each source file is deleted only after its copy is complete and flushed,
// and the emptied source folders are removed afterwards. `progress` runs after every copied chunk.
DeviceImportResult ImportWholeFolder(const QString &source, const QString &destinationFolder, bool move,
                                     const CopyProgressRoutine &progress = {});

} // namespace vantora
