#include "source/maskmatch.h"

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
    QByteArray out = s.toUtf8();
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

FileMask::FileMask(const QString &mask) : m_mask(mask)
{
    const QStringView v(mask);
    if (v == QLatin1String("*")) {
        m_kind = Kind::Everything;
    } else if (v == QLatin1String("*.*")) {
        m_kind = Kind::AnyWithDot;
    } else if (v.startsWith(QLatin1Char('*')) && !hasWildcard(v.mid(1))) {
        m_kind = Kind::Suffix;
        m_literal = upperUtf8(v.mid(1));
    } else if (!hasWildcard(v)) {
        m_kind = Kind::Exact;
        m_literal = upperUtf8(v);
    }
}

bool FileMask::matches(QStringView name) const
{
    if (m_kind == Kind::General)
        return MatchesMask(name, m_mask);
    const QByteArray utf8 = name.toUtf8();
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
    case Kind::General:
        break;
    }
    return MatchesMask(QString::fromUtf8(name, static_cast<qsizetype>(len)), m_mask);
}

} // namespace vantora
