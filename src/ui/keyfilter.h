#pragma once

#include <QChar>
#include <QString>

#include <functional>

class QLineEdit;
class QWidget;

namespace vantora {

// True when a typed character is refused in folder and file names. Characters beyond the
// single-byte range are always allowed.
bool FilterNameKey(QChar c);

// The message shown for a refused key: 半角[ c ]は入力できません
QString refusedKeyMessage(QChar c);

// Drops every typed key whose character the predicate refuses, showing refusedKeyMessage through the
// prompt. Pasted text is not filtered, only typed keys.
void installKeyFilter(QWidget *edit, std::function<bool(QChar)> refused);

// The same with FilterNameKey, for every name edit.
void installNameKeyFilter(QWidget *edit);

// Lets typing and pasting make the edit's text at most `limit` characters long. Unlike a maximum
// length, it never cuts a text the program sets: a stored text longer than the limit stays whole.
void setTypingLimit(QLineEdit *edit, int limit);
// The limit set above; 0 when none.
int typingLimit(const QLineEdit *edit);

} // namespace vantora
