#include "source/maskmatch.h"

#include "platform/bytepath.h"
#include "platform/filepath.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace vantora {

namespace {

char32_t foldAscii(char32_t c)
{
    return (c >= U'a' && c <= U'z') ? c - (U'a' - U'A') : c;
}

unsigned char foldByte(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - ('a' - 'A')) : c;
}

// The code point at i and its length in UTF-16 units (a lone surrogate counts as one character).
char32_t codePointAt(QStringView s, qsizetype i, qsizetype *len)
{
    const QChar c = s[i];
    if (c.isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
        *len = 2;
        return QChar::surrogateToUcs4(c, s[i + 1]);
    }
    *len = 1;
    return c.unicode();
}

// A text the matchers walk in its code units: UTF-16 for a text, UTF-8 bytes for a name as the file
// system stores it. The characters "*", "?", "[", "]", "-" and "!" are one unit in both.
class Utf16Text final
{
public:
    explicit Utf16Text(QStringView s) : m_s(s) {}
    qsizetype size() const { return m_s.size(); }
    char16_t unit(qsizetype i) const { return m_s[i].unicode(); }
    char32_t charAt(qsizetype i, qsizetype *len) const { return codePointAt(m_s, i, len); }

private:
    QStringView m_s;
};

// Reads a name's characters as the text of the name has them (pathFromBytes): a byte outside any valid
// sequence is a character of its own, which no typed character equals.
class Utf8Text final
{
public:
    Utf8Text(const char *s, std::size_t size) : m_s(s), m_size(size) {}
    qsizetype size() const { return qsizetype(m_size); }
    char16_t unit(qsizetype i) const { return static_cast<unsigned char>(m_s[i]); }
    char32_t charAt(qsizetype i, qsizetype *len) const
    {
        std::size_t length = 0;
        const char32_t c = nameCharAt(m_s, m_size, std::size_t(i), &length);
        *len = qsizetype(length);
        return c;
    }

private:
    const char *m_s;
    std::size_t m_size;
};

// Tests c against the set opening at mask[at] == '['. Returns false when the set has no closing "]";
// otherwise sets *matched and *end (the index after the "]").
template <typename Text>
bool matchSet(const Text &mask, qsizetype at, char32_t c, bool *matched, qsizetype *end)
{
    qsizetype i = at + 1;
    bool negate = false;
    if (i < mask.size() && mask.unit(i) == u'!') {
        negate = true;
        ++i;
    }
    const char32_t fc = foldAscii(c);
    bool hit = false;
    bool first = true;
    while (i < mask.size()) {
        if (mask.unit(i) == u']' && !first) {
            *matched = hit != negate;
            *end = i + 1;
            return true;
        }
        first = false;
        qsizetype len = 0;
        const char32_t lo = mask.charAt(i, &len);
        i += len;
        char32_t hi = lo;
        if (i + 1 < mask.size() && mask.unit(i) == u'-' && mask.unit(i + 1) != u']') {
            hi = mask.charAt(i + 1, &len);
            i += 1 + len;
        }
        const auto inRange = [&](char32_t x) { return x >= lo && x <= hi; };
        if (inRange(c) || inRange(fc) || (fc >= U'A' && fc <= U'Z' && inRange(fc + (U'a' - U'A'))))
            hit = true;
    }
    return false;
}

// MatchesMask over either kind of text, character by character, so names need no decoding into strings.
template <typename Text> bool matchText(const Text &name, const Text &mask)
{
    qsizetype ni = 0;
    qsizetype mi = 0;
    qsizetype starMask = -1; // mask position after the last "*"
    qsizetype starName = 0;  // name position that "*" currently stops at
    while (ni < name.size()) {
        qsizetype nlen = 0;
        const char32_t nc = name.charAt(ni, &nlen);
        bool ok = false;
        if (mi < mask.size()) {
            const char16_t m = mask.unit(mi);
            if (m == u'*') {
                starMask = ++mi;
                starName = ni;
                continue;
            }
            qsizetype mlen = 0;
            if (m == u'?') {
                mask.charAt(mi, &mlen);
                ni += nlen;
                mi += mlen;
                continue;
            }
            bool matched = false;
            qsizetype end = 0;
            if (m == u'[' && matchSet(mask, mi, nc, &matched, &end)) {
                if (matched) {
                    ni += nlen;
                    mi = end;
                    continue;
                }
            } else {
                const char32_t mc = mask.charAt(mi, &mlen);
                if (foldAscii(mc) == foldAscii(nc)) {
                    ni += nlen;
                    mi += mlen;
                    ok = true;
                }
            }
        }
        if (ok)
            continue;
        if (starMask < 0)
            return false;
        qsizetype skip = 0;
        name.charAt(starName, &skip);
        starName += skip;
        ni = starName;
        mi = starMask;
    }
    while (mi < mask.size() && mask.unit(mi) == u'*')
        ++mi;
    return mi == mask.size();
}

bool matchUtf8(const char *name, std::size_t len, const QByteArray &mask)
{
    return matchText(Utf8Text(name, len), Utf8Text(mask.constData(), std::size_t(mask.size())));
}

bool hasWildcard(QStringView s)
{
    for (QChar c : s) {
        if (c == QLatin1Char('*') || c == QLatin1Char('?') || c == QLatin1Char('['))
            return true;
    }
    return false;
}

QByteArray upperUtf8(QStringView s)
{
    QByteArray out = pathToBytes(s);
    for (char &c : out)
        c = static_cast<char>(foldByte(static_cast<unsigned char>(c)));
    return out;
}

} // namespace

bool MatchesMask(QStringView name, QStringView mask)
{
    return matchText(Utf16Text(name), Utf16Text(mask));
}

QString LookupMaskDestination(const ExtensionRows &rows, const QString &fileName)
{
    const QString name = FilePath(fileName).name();
    for (const ExtensionRow &row : rows) {
        if (MatchesMask(name, row.key))
            return row.folder;
    }
    return QString();
}

FileMask::FileMask(const QString &mask) : m_mask(mask), m_maskUtf8(pathToBytes(mask))
{
    const QStringView v(mask);
    if (hasEscapedBytes(v)) {
        // A byte compare could meet such a byte inside a valid character of the name.
        m_kind = Kind::General;
    } else if (v == QLatin1String("*")) {
        m_kind = Kind::Everything;
    } else if (v == QLatin1String("*.*")) {
        m_kind = Kind::AnyWithDot;
    } else if (v.startsWith(QLatin1Char('*')) && !hasWildcard(v.mid(1))) {
        m_kind = Kind::Suffix;
        m_literal = upperUtf8(v.mid(1));
    } else if (!hasWildcard(v)) {
        m_kind = Kind::Exact;
        m_literal = upperUtf8(v);
    } else if (v.startsWith(QLatin1Char('*')) && !v.mid(1).contains(QLatin1Char('*'))) {
        // "*" then a tail without "*" (such as ".TH?"): the tail always takes the same number of characters,
        // so only the name's last characters need a look.
        m_kind = Kind::StarTail;
        m_tail = pathToBytes(v.mid(1));
        const QStringView tail = v.mid(1);
        for (qsizetype i = 0; i < tail.size(); ++m_tailChars) {
            bool matched = false;
            qsizetype end = 0;
            qsizetype len = 0;
            if (tail[i] == QLatin1Char('[') && matchSet(Utf16Text(tail), i, U'a', &matched, &end)) {
                i = end;
            } else {
                codePointAt(tail, i, &len);
                i += len;
            }
        }
    }
}

bool FileMask::matches(QStringView name) const
{
    const QByteArray utf8 = pathToBytes(name);
    return matchesNative(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

bool FileMask::matchesNative(const char *name, std::size_t len) const
{
    const auto sameTail = [&](std::size_t from) {
        const auto *n = reinterpret_cast<const unsigned char *>(name) + from;
        const auto *l = reinterpret_cast<const unsigned char *>(m_literal.constData());
        for (qsizetype i = 0; i < m_literal.size(); ++i) {
            if (foldByte(n[i]) != l[i])
                return false;
        }
        return true;
    };
    switch (m_kind) {
    case Kind::Everything:
        return true;
    case Kind::AnyWithDot:
        return std::char_traits<char>::find(name, len, '.') != nullptr;
    case Kind::Suffix:
        return len >= static_cast<std::size_t>(m_literal.size()) && sameTail(len - m_literal.size());
    case Kind::Exact:
        return len == static_cast<std::size_t>(m_literal.size()) && sameTail(0);
    case Kind::StarTail: {
        // Counting characters back from the end is only sure over ASCII: a byte above it may belong to a
        // sequence that is not valid, whose characters only a reading from the start can tell.
        std::size_t i = len;
        bool ascii = true;
        for (int c = 0; c < m_tailChars && ascii; ++c) {
            if (i == 0)
                return false;
            --i;
            ascii = static_cast<unsigned char>(name[i]) < 0x80;
        }
        if (!ascii)
            break;
        return matchUtf8(name + i, len - i, m_tail);
    }
    case Kind::General:
        break;
    }
    return matchUtf8(name, len, m_maskUtf8);
}

QByteArray FileMask::plainExtension() const
{
    if (m_kind != Kind::Suffix || !m_literal.startsWith('.') || m_literal.size() < 2 ||
        m_literal.indexOf('.', 1) >= 0)
        return QByteArray();
    return m_literal.mid(1);
}

namespace {
constexpr std::size_t MaxLookupExtension = 32;
}

MaskSet::MaskSet(const QStringList &masks)
{
    for (const QString &m : masks) {
        const FileMask mask(m);
        const QByteArray ext = mask.plainExtension();
        // Longer extensions than the lookup's buffer (rare characters take four bytes each) go the general
        // way.
        if (ext.isEmpty() || std::size_t(ext.size()) > MaxLookupExtension) {
            m_others.push_back(mask);
            continue;
        }
        const std::string key = ext.toStdString();
        auto it = std::find_if(m_extensions.begin(), m_extensions.end(),
                               [&](const auto &e) { return e.first == key; });
        if (it == m_extensions.end())
            m_extensions.emplace_back(key, 1);
        else
            ++it->second;
    }
    std::sort(m_extensions.begin(), m_extensions.end());
}

int MaskSet::countMatches(const char *name, std::size_t len) const
{
    int hits = 0;
    if (!m_extensions.empty()) {
        const char *dot = static_cast<const char *>(memrchr(name, '.', len));
        const std::size_t extLen = dot ? len - std::size_t(dot - name) - 1 : 0;
        char upper[MaxLookupExtension];
        if (dot && extLen > 0 && extLen <= sizeof upper) {
            for (std::size_t i = 0; i < extLen; ++i)
                upper[i] = static_cast<char>(foldByte(static_cast<unsigned char>(dot[1 + i])));
            const std::string_view key(upper, extLen);
            auto it = std::lower_bound(
                m_extensions.begin(), m_extensions.end(), key,
                [](const auto &e, std::string_view k) { return std::string_view(e.first) < k; });
            if (it != m_extensions.end() && std::string_view(it->first) == key)
                hits += it->second;
        }
    }
    for (const FileMask &m : m_others) {
        if (m.matchesNative(name, len))
            ++hits;
    }
    return hits;
}

} // namespace vantora
