#include "platform/bytepath.h"

namespace vantora {

namespace {

constexpr char16_t EscapeBase = 0xDC00; // byte b (0x80..0xFF) -> U+DC00 + b

bool isEscape(char16_t c)
{
    return c >= 0xDC80 && c <= 0xDCFF;
}

// Length of the valid UTF-8 sequence starting at p (RFC 3629: no overlongs, no surrogates, at most
// U+10FFFF), or 0 when the byte there does not start one. Decodes its code point into cp.
int validSequence(const unsigned char *p, const unsigned char *end, char32_t &cp)
{
    const unsigned char b0 = p[0];
    int len;
    char32_t min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (end - p < len)
        return 0;
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

} // namespace

QString pathFromBytes(QByteArrayView bytes)
{
    // Almost every name is valid UTF-8: Qt's decoder is much faster than the loop below. Its result is only
    // kept when it replaced nothing and dropped no leading byte order mark.
    static constexpr char bom[] = "\xEF\xBB\xBF";
    if (!bytes.startsWith(QByteArrayView(bom, 3))) {
        QString fast = QString::fromUtf8(bytes);
        if (!fast.contains(QChar::ReplacementCharacter))
            return fast;
    }
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto *end = p + bytes.size();
    QString out;
    out.reserve(bytes.size());
    while (p < end) {
        if (*p < 0x80) {
            out.append(QChar(char16_t(*p)));
            ++p;
            continue;
        }
        char32_t cp = 0;
        const int len = validSequence(p, end, cp);
        if (len == 0) {
            out.append(QChar(char16_t(EscapeBase + *p)));
            ++p;
            continue;
        }
        if (cp >= 0x10000) {
            out.append(QChar(QChar::highSurrogate(cp)));
            out.append(QChar(QChar::lowSurrogate(cp)));
        } else {
            out.append(QChar(char16_t(cp)));
        }
        p += len;
    }
    return out;
}

QByteArray pathToBytes(QStringView path)
{
    if (!hasEscapedBytes(path))
        return path.toUtf8();
    QByteArray out;
    out.reserve(path.size() * 3);
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t c = path[i].unicode();
        if (!isEscape(c))
            continue;
        // A real pair never has a low surrogate without its high one before it.
        if (i > 0 && QChar::isHighSurrogate(path[i - 1].unicode()))
            continue;
        out += path.mid(runStart, i - runStart).toUtf8();
        out += char(c - EscapeBase);
        runStart = i + 1;
    }
    out += path.mid(runStart).toUtf8();
    return out;
}

char32_t nameCharAt(const char *bytes, std::size_t size, std::size_t i, std::size_t *length)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes) + i;
    if (*p < 0x80) {
        *length = 1;
        return *p;
    }
    char32_t cp = 0;
    const int len = validSequence(p, reinterpret_cast<const unsigned char *>(bytes) + size, cp);
    if (len == 0) {
        *length = 1;
        return EscapeBase + *p;
    }
    *length = std::size_t(len);
    return cp;
}

bool hasEscapedBytes(QStringView path)
{
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (isEscape(path[i].unicode()) && !(i > 0 && QChar::isHighSurrogate(path[i - 1].unicode())))
            return true;
    }
    return false;
}

QStringList argumentsFromBytes(int argc, const char *const *argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(pathFromBytes(QByteArrayView(argv[i])));
    return arguments;
}

QString displayPath(const QString &path)
{
    if (!hasEscapedBytes(path))
        return path;
    QString shown = path;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (isEscape(shown[i].unicode()) && !(i > 0 && QChar::isHighSurrogate(shown[i - 1].unicode())))
            shown[i] = QChar::ReplacementCharacter;
    }
    return shown;
}

} // namespace vantora
