#pragma once

#include <QChar>
#include <QString>

#include <string_view>

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

// True for a character of the single-byte range that `refused` lists; a character beyond that range always
// passes.
inline bool isRefusedAscii(QChar c, std::u16string_view refused)
{
    return c.unicode() < 128 && refused.find(c.unicode()) != std::u16string_view::npos;
}

} // namespace vantora
