#pragma once

#include "routing/extensionrow.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace vantora {

// True when a file name (no folder) matches a file mask such as "*.JPG": letters A-Z compare without case,
// every other character exactly; "*" takes any run of characters (none included), "?" exactly one character,
// "[...]" one character of a set ("[abc]", ranges "[a-f]", "[!...]" for any character outside the set). A "."
// in the mask needs a "." in the name, so "*.*" never takes a name without a dot. A "[" without its closing
// "]" stands for itself.
bool MatchesMask(QStringView name, QStringView mask);

// For a file that a run takes only through a wildcard row (a free extension such as "R*"), which has no row
// of its own extension: the destination of the first row whose key takes the file name by the walk's own
// rule; empty when none does.
QString LookupMaskDestination(const ExtensionRows &rows, const QString &fileName);

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
    // The extension ("JPG") when the mask is exactly "*." + an extension without wildcards or dots: such a
    // mask takes a name exactly when the name's last extension is that one, without case.
    QByteArray plainExtension() const;

private:
    enum class Kind
    {
        General,
        Everything,
        AnyWithDot,
        Suffix,
        Exact,
        StarTail
    };
    Kind m_kind = Kind::General;
    QString m_mask;
    QByteArray m_maskUtf8;
    QByteArray m_literal; // upper-cased UTF-8 literal of Suffix and Exact masks
    QByteArray m_tail;    // StarTail: the mask after its one leading "*"
    int m_tailChars = 0;  // how many characters the tail takes
};

// Several masks tested together: how many of them take a name (a walk over all table rows at once). Plain
// extension masks are found by one lookup of the name's extension, however many rows there are.
class MaskSet final
{
public:
    explicit MaskSet(const QStringList &masks);
    int countMatches(const char *name, std::size_t len) const;

private:
    std::vector<std::pair<std::string, int>> m_extensions; // upper-cased extension, rows; sorted
    std::vector<FileMask> m_others;
};

} // namespace vantora
