#pragma once

#include <QString>

namespace vantora {

// The desktop's counterpart of the AutoPlay keys: an application entry that offers the program for a
// camera card (x-content/image-dcf) and receives the card's mount folder as its argument. It never makes
// the program the default handler; the user chooses that in the desktop's own settings.

inline constexpr QStringView DesktopEntryFileName = u"vantora.desktop";

// $XDG_DATA_HOME/applications (~/.local/share/applications by default).
QString DesktopEntryDirectory();

// One argument of an Exec line, quoted and escaped by the desktop entry rules: quoted when it holds a
// reserved character, "\" "\"" "`" "$" escaped inside the quotes, "%" doubled, then the string escapes
// of the file format applied.
QString ExecArgument(const QString &argument);

// The whole file.
QString DesktopEntryText(const QString &programPath);

// Writes the entry atomically into `directory` (created if missing). False when it cannot be written.
bool WriteDesktopEntry(const QString &directory, const QString &programPath);
// True when no entry is left (also when there was none).
bool RemoveDesktopEntry(const QString &directory);

// Runs update-desktop-database over the folder when the tool is installed; waits at most a few seconds.
void RefreshDesktopDatabase(const QString &directory);

} // namespace vantora
