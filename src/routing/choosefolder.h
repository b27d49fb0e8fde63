#pragma once

#include <QString>

namespace vantora {

// Asks the user for a folder through the prompt's folder picker. The result has no trailing "/" (the
// root stays "/"), or is empty when the user cancelled or picked something that is not a folder.
QString ChooseFolder(const QString &title, const QString &startFolder = QString());

} // namespace vantora
