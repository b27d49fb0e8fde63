#pragma once

#include "platform/directoryreader.h"

#include <QString>

namespace vantora {

// Operations on one path, acting on its exact bytes (pathToBytes). For paths that a walk found, where
// QFile, QFileInfo and QDir would act on a lossy re-encoding of the name.

// stat (links followed) or lstat.
FileStatus statPath(const QString &path, bool followLinks = true);
// A folder or a regular file, links followed.
bool isFolderPath(const QString &path);
bool isRegularFilePath(const QString &path);
// A regular file (links followed) this process may execute.
bool isExecutableFilePath(const QString &path);

// The absolute path without links, "." or ".." (realpath); empty when some part is missing.
QString canonicalPath(const QString &path);
// A relative path taken from the current folder; an absolute one as it is.
QString absolutePath(const QString &path);

// mkdir: 0, or the errno (EEXIST when anything has that name).
int makeFolder(const QString &path);
// mkdir of the folder and any missing parents: 0 when the folder is there in the end, else the errno.
int makeFolderPath(const QString &path);
// rmdir: removes an empty folder only, never through a link. 0 or the errno.
int removeFolder(const QString &path);

// A path by which another program of the same user opens what the descriptor has open (a memory file).
QString descriptorPath(int fd);

} // namespace vantora
