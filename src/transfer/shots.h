#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace vantora {

// The files of one shot: those of one camera folder whose names agree up to their first dot, ignoring
// case (IMG_0001.CR3, IMG_0001.JPG, IMG_0001.XMP).
struct Shot
{
    QStringList files;    // of the run list, the pictures first, then videos, then the rest, sidecars last
    QStringList sidecars; // beside them, taken by no row: they follow the shot's first file
};

// True for the files that only describe a shot (".XMP", ".THM", ".LRV", ".WAV", ".AAE").
bool IsSidecarName(const QString &fileName);

// The run list as shots, in the order their first files come; a file listed twice is taken once. With
// `folderFiles` each shot also gets the sidecars of its folder that the run list lacks: it lists a folder's
// files (their names).
QList<Shot> GroupShots(const QStringList &runList,
                       const std::function<QStringList(const QString &folder)> &folderFiles = {});

} // namespace vantora
