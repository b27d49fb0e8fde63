#pragma once

#include <QString>
#include <QStringList>

namespace vantora {

// What stands in for the shell's folder items and detail columns: a folder's items (files and folders,
// sorted by name) and, per item, the display text of a detail column. Column 3 is the modification
// time and column 12 the date the picture was taken, as the shooting-date lookup expects; the other
// columns follow the names of DetailColumnName. Picture details come from exiv2; a file exiv2 cannot read
// has only its file-system details. Dates are written "yyyy/MM/dd HH:mm".

inline constexpr int FirstDetailColumn = -1;
inline constexpr int LastDetailColumn = 40;

// The full paths of a folder's items; empty when the folder cannot be read.
QStringList FolderItems(const QString &folder);

// The name the diagnostics print for a column, e.g. "名前" for 0, "29 ?" for 29.
QString DetailColumnName(int column);

// The display text of one column of one item; empty when the item has no such detail.
QString GetDetailsOf(const QString &itemPath, int column);
// All columns from FirstDetailColumn to LastDetailColumn at once (one metadata read).
QStringList GetAllDetailsOf(const QString &itemPath);

// The width of a text in the Japanese double-byte code page: one byte for ASCII and half-width
// katakana, two for everything else.
int CodePageWidth(const QString &text);
// "[" + the name padded with blanks to 24 bytes of that code page + "] ".
QString DetailLabel(const QString &name);

// The diagnostic listings written into the hidden memo. Both give an empty list for a missing folder.
// Per item: 20 "-", the item's path, then one line per column -1..40 with its label and text.
QStringList DetailListing(const QString &folder);
// Per item three lines: "[名前] " column 0, "[更新日時] " column 3, "[撮影日時] " column 12.
QStringList ShortDetailListing(const QString &folder);

} // namespace vantora
