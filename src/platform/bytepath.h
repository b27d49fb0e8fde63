#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstddef>

namespace vantora {

// A Linux file name is bytes, not text. The program keeps paths as QString; this mapping turns any byte
// path into text and back without loss: valid UTF-8 is decoded as usual, and every byte that is not part
// of a valid UTF-8 sequence becomes the lone surrogate U+DC80 + (byte - 0x80), which valid UTF-8 can never
// produce. Every operation on a file (open, stat, rename, unlink, mkdir, exec) must take its path through
// pathToBytes(); QFile::encodeName() and Qt's file classes lose such bytes and must not be used on walked
// paths.
QString pathFromBytes(QByteArrayView bytes);
QByteArray pathToBytes(QStringView path);

// The program's arguments after its own name, through the same mapping: a card path handed in by the
// desktop keeps its exact bytes (QCoreApplication::arguments() would decode it lossily).
QStringList argumentsFromBytes(int argc, const char *const *argv);

// The path for a person to read: escaped bytes shown as U+FFFD. Never hand this to a file operation.
QString displayPath(const QString &path);

// True when the path holds bytes that are not valid UTF-8.
bool hasEscapedBytes(QStringView path);

// The character that pathFromBytes reads at bytes[i]: a code point, or U+DC80..U+DCFF for a byte that
// starts no valid sequence. *length gets how many bytes it takes. For matchers that work on the bytes and
// must agree with matchers that work on the text.
char32_t nameCharAt(const char *bytes, std::size_t size, std::size_t i, std::size_t *length);

} // namespace vantora
