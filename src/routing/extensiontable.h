#pragma once

#include "routing/extensionrow.h"

#include <QString>

namespace vantora {

// The destination of a file by its own extension: the first row whose key equals "*" followed by the
// file's extension (from its last "." on, or nothing), ignoring case. Wildcard keys are compared
// literally, so they never match. In all-files mode every file gets the "*.*" row's destination.
// Empty when no row matches. The result may end with "/"; callers remove it.
QString LookupExtensionDestination(const ExtensionRows &rows, const QString &fileName, bool allFilesMode);

// The same with all-files mode read from the rows: the table is then exactly the one row "*.*".
QString LookupExtensionDestination(const ExtensionRows &rows, const QString &fileName);

// Index of the first row whose key equals the given key ignoring case, or -1.
int FindExtensionRow(const ExtensionRows &rows, const QString &key);

} // namespace vantora
