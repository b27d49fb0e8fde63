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

// Tests c against the set opening at mask[at] == '['. Returns false when the set has no closing "]";
// otherwise sets *matched and *end (the index after the "]").
bool matchSet(QStringView mask, qsizetype at, char32_t c, bool *matched, qsizetype *end)
{
    qsizetype i = at + 1;
    bool negate = false;
    if (i < mask.size() && mask[i] == QLatin1Char('!')) {
        negate = true;
        ++i;
    }
    const char32_t fc = foldAscii(c);
    bool hit = false;
    bool first = true;
    while (i < mask.size()) {
        if (mask[i] == QLatin1Char(']') && !first) {
            *matched = hit != negate;
            *end = i + 1;
            return true;
        }
        first = false;
        qsizetype len = 0;
        const char32_t lo = codePointAt(mask, i, &len);
        i += len;
        char32_t hi = lo;
        if (i + 1 < mask.size() && mask[i] == QLatin1Char('-') && mask[i + 1] != QLatin1Char(']')) {
            hi = codePointAt(mask, i + 1, &len);
            i += 1 + len;
        }
        const auto inRange = [&](char32_t x) { return x >= lo && x <= hi; };
        if (inRange(c) || inRange(fc) || (fc >= U'A' && fc <= U'Z' && inRange(fc + (U'a' - U'A'))))
            hit = true;
    }
    return false;
}

// The byte matcher reads a name's characters as the text of the name has them (pathFromBytes): a byte
// outside any valid sequence is a character of its own, which no typed character equals.
char32_t decodeUtf8(const unsigned char *s, std::size_t len, std::size_t i, std::size_t *adv)
{
    return nameCharAt(reinterpret_cast<const char *>(s), len, i, adv);
}

bool matchSetUtf8(const unsigned char *m, std::size_t mlen, std::size_t at, char32_t c, bool *matched,
                  std::size_t *end)
{
    std::size_t i = at + 1;
    bool negate = false;
    if (i < mlen && m[i] == '!') {
        negate = true;
        ++i;
    }
    const char32_t fc = foldAscii(c);
    bool hit = false;
    bool first = true;
    while (i < mlen) {
        if (m[i] == ']' && !first) {
            *matched = hit != negate;
            *end = i + 1;
            return true;
        }
        first = false;
        std::size_t adv = 0;
        const char32_t lo = decodeUtf8(m, mlen, i, &adv);
        i += adv;
        char32_t hi = lo;
        if (i + 1 < mlen && m[i] == '-' && m[i + 1] != ']') {
            hi = decodeUtf8(m, mlen, i + 1, &adv);
            i += 1 + adv;
        }
        const auto inRange = [&](char32_t x) { return x >= lo && x <= hi; };
        if (inRange(c) || inRange(fc) || (fc >= U'A' && fc <= U'Z' && inRange(fc + (U'a' - U'A'))))
            hit = true;
    }
    return false;
}

// MatchesMask over UTF-8 bytes, character by character, so names need no decoding into strings.
bool matchUtf8(const unsigned char *n, std::size_t nlen, const unsigned char *m, std::size_t mlen)
{
    std::size_t ni = 0;
    std::size_t mi = 0;
    std::size_t starMask = 0;
    bool star = false;
    std::size_t starName = 0;
    while (ni < nlen) {
        std::size_t nadv = 0;
        const char32_t nc = decodeUtf8(n, nlen, ni, &nadv);
        bool ok = false;
        if (mi < mlen) {
            if (m[mi] == '*') {
                star = true;
                starMask = ++mi;
                starName = ni;
                continue;
            }
            std::size_t madv = 0;
            if (m[mi] == '?') {
                decodeUtf8(m, mlen, mi, &madv);
                ni += nadv;
                mi += madv;
                continue;
            }
            bool matched = false;
            std::size_t end = 0;
            if (m[mi] == '[' && matchSetUtf8(m, mlen, mi, nc, &matched, &end)) {
                if (matched) {
                    ni += nadv;
                    mi = end;
                    continue;
                }
            } else {
                const char32_t mc = decodeUtf8(m, mlen, mi, &madv);
                if (foldAscii(mc) == foldAscii(nc)) {
                    ni += nadv;
                    mi += madv;
                    ok = true;
                }
            }
        }
        if (ok)
            continue;
        if (!star)
            return false;
        std::size_t skip = 0;
        decodeUtf8(n, nlen, starName, &skip);
        starName += skip;
        ni = starName;
        mi = starMask;
    }
    while (mi < mlen && m[mi] == '*')
        ++mi;
    return mi == mlen;
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
    qsizetype ni = 0;
    qsizetype mi = 0;
    qsizetype starMask = -1; // mask position after the last "*"
    qsizetype starName = 0;  // name position that "*" currently stops at
    while (ni < name.size()) {
        qsizetype nlen = 0;
        const char32_t nc = codePointAt(name, ni, &nlen);
        bool ok = false;
        if (mi < mask.size()) {
            const QChar m = mask[mi];
            if (m == QLatin1Char('*')) {
                starMask = ++mi;
                starName = ni;
                continue;
            }
            qsizetype mlen = 0;
            if (m == QLatin1Char('?')) {
                codePointAt(mask, mi, &mlen);
                ni += nlen;
                mi += mlen;
                continue;
            }
            bool matched = false;
            qsizetype end = 0;
            if (m == QLatin1Char('[') && matchSet(mask, mi, nc, &matched, &end)) {
                if (matched) {
                    ni += nlen;
                    mi = end;
                    continue;
                }
            } else {
                const char32_t mc = codePointAt(mask, mi, &mlen);
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
        codePointAt(name, starName, &skip);
        starName += skip;
        ni = starName;
        mi = starMask;
    }
    while (mi < mask.size() && mask[mi] == QLatin1Char('*'))
        ++mi;
    return mi == mask.size();
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
            if (tail[i] == QLatin1Char('[') && matchSet(tail, i, U'a', &matched, &end)) {
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
        return matchUtf8(reinterpret_cast<const unsigned char *>(name) + i, len - i,
                         reinterpret_cast<const unsigned char *>(m_tail.constData()),
                         std::size_t(m_tail.size()));
    }
    case Kind::General:
        break;
    }
    return matchUtf8(reinterpret_cast<const unsigned char *>(name), len,
                     reinterpret_cast<const unsigned char *>(m_maskUtf8.constData()),
                     std::size_t(m_maskUtf8.size()));
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
