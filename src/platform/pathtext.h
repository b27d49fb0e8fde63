#pragma once

#include <QString>

namespace vantora {

// A folder text with a trailing "/" added when missing; an empty text stays empty.
inline QString withTrailingSlash(const QString &folder)
{
    if (folder.isEmpty() || folder.endsWith(QLatin1Char('/')))
        return folder;
    return folder + QLatin1Char('/');
}

// A folder text with one trailing "/" removed; the root "/" stays (removing its only delimiter would
// leave nothing).
inline QString withoutTrailingSlash(QString folder)
{
    if (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder;
}

} // namespace vantora
