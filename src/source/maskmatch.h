#pragma once

#include <QString>
#include <QStringView>

#include <cstddef>

namespace vantora {

// True when a file name (no folder) matches a file mask such as "*.JPG": letters A-Z compare without case,
// every other character exactly; "*" takes any run of characters (none included), "?" exactly one character,
// "[...]" one character of a set ("[abc]", ranges "[a-f]", "[!...]" for any character outside the set). A "."
// in the mask needs a "." in the name, so "*.*" never takes a name without a dot. A "[" without its closing
// "]" stands for itself.
bool MatchesMask(QStringView name, QStringView mask);

// A mask prepared once for many names. The common shapes ("*.EXT", "*.*", "*", plain names) are tested on the
// file system's UTF-8 bytes without decoding the name.
class FileMask final
{
public:
    FileMask() = default;
    explicit FileMask(const QString &mask);

    const QString &mask() const { return m_mask; }
    bool matches(QStringView name) const;
    // name: the entry name as the file system stores it (UTF-8), len bytes long.
    bool matchesNative(const char *name, std::size_t len) const;
    // True when matchesNative would decode the name; callers may then decode once and call matches().
    bool needsDecodedName() const { return m_kind == Kind::General; }

private:
    enum class Kind
    {
        General,
        Everything,
        AnyWithDot,
        Suffix,
        Exact
    };
    Kind m_kind = Kind::General;
    QString m_mask;
    QByteArray m_literal; // upper-cased UTF-8 literal of Suffix and Exact masks
};

} // namespace vantora
