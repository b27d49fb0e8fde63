#pragma once

#include <QDateTime>
#include <QString>

namespace vantora {

// The last-modification time of the file at path (links followed), looked up through its byte path
// (pathToBytes), so names that are not valid UTF-8 are found. Invalid when the file cannot be looked up.
QDateTime fileLastModified(const QString &path);

} // namespace vantora
