#pragma once

#include <QString>
#include <QVector>

namespace vantora {

// One row of the extension table: a file mask such as "*.JPG" (or "*.*") and its destination folder.
struct ExtensionRow
{
    QString key;
    QString folder;
};

using ExtensionRows = QVector<ExtensionRow>;

} // namespace vantora
