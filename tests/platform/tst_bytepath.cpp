#include "platform/bytepath.h"
#include "tables.h"

#include <QHash>
#include <QRandomGenerator>
#include <QtTest>

using namespace vantora;

namespace {

// Qt's converters drop a U+FEFF at the start: these two take every code point as it is.
QByteArray utf8Of(char32_t cp)
{
    QByteArray out;
    if (cp < 0x80) {
        out.append(char(cp));
    } else if (cp < 0x800) {
        out.append(char(0xC0 | (cp >> 6))).append(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.append(char(0xE0 | (cp >> 12)))
            .append(char(0x80 | ((cp >> 6) & 0x3F)))
            .append(char(0x80 | (cp & 0x3F)));
    } else {
        out.append(char(0xF0 | (cp >> 18)))
            .append(char(0x80 | ((cp >> 12) & 0x3F)))
            .append(char(0x80 | ((cp >> 6) & 0x3F)))
            .append(char(0x80 | (cp & 0x3F)));
    }
    return out;
}

void appendCodePoint(QString &s, char32_t cp)
{
    if (cp >= 0x10000) {
        s.append(QChar(QChar::highSurrogate(cp)));
        s.append(QChar(QChar::lowSurrogate(cp)));
    } else {
        s.append(QChar(char16_t(cp)));
    }
}

// The text a byte name must give, written independently of the code under test: RFC 3629 sequences
// decoded, every other byte as U+DC00 + byte.
QString expectedText(const QByteArray &bytes)
{
    QString out;
    qsizetype i = 0;
    const auto byteAt = [&bytes](qsizetype k) { return quint8(bytes.at(k)); };
    while (i < bytes.size()) {
        const quint8 b = byteAt(i);
        int len = 0;
        char32_t cp = 0;
        char32_t lo = 0x80, hi = 0xBF; // allowed range of the second byte
        if (b < 0x80) {
            len = 1;
            cp = b;
        } else if (b >= 0xC2 && b <= 0xDF) {
            len = 2;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3;
            cp = b & 0x0F;
            if (b == 0xE0)
                lo = 0xA0; // no overlongs
            if (b == 0xED)
                hi = 0x9F; // no surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4;
            cp = b & 0x07;
            if (b == 0xF0)
                lo = 0x90;
            if (b == 0xF4)
                hi = 0x8F; // nothing above U+10FFFF
        }
        bool ok = len > 0 && i + len <= bytes.size();
        for (int k = 1; ok && k < len; ++k) {
            const quint8 c = byteAt(i + k);
            ok = k == 1 ? (c >= lo && c <= hi) : (c >= 0x80 && c <= 0xBF);
            cp = (cp << 6) | (c & 0x3F);
        }
        if (!ok) {
            out.append(QChar(char16_t(0xDC00 + b)));
            ++i;
            continue;
        }
        appendCodePoint(out, cp);
        i += len;
    }
    return out;
}

// Half of the names are valid UTF-8, the other half mostly not.
QByteArray randomName(QRandomGenerator &rng)
{
    QByteArray name;
    const bool valid = rng.bounded(2) == 0;
    const int parts = int(rng.bounded(12));
    for (int p = 0; p < parts; ++p) {
        switch (valid ? 2 * rng.bounded(2) : rng.bounded(5)) {
        case 0: // plain ASCII
            name.append(char(rng.bounded(0x20, 0x7F)));
            break;
        case 1: // any byte but NUL
            name.append(char(rng.bounded(1, 256)));
            break;
        case 2: { // a valid character of any length
            static const char32_t ranges[][2] = {
                {0x80, 0x7FF}, {0x800, 0xD7FF}, {0xE000, 0xFFFF}, {0x10000, 0x10FFFF}};
            const auto &r = ranges[rng.bounded(4)];
            name.append(utf8Of(char32_t(rng.bounded(quint32(r[0]), quint32(r[1]) + 1))));
            break;
        }
        case 3: { // a valid character cut short
            const QByteArray c = utf8Of(char32_t(rng.bounded(0x800u, 0xD7FFu)));
            name.append(c.left(1 + rng.bounded(2)));
            break;
        }
        default: // stray continuation bytes and lead bytes that never start a character
            name.append(char(rng.bounded(2) ? rng.bounded(0x80, 0xC0) : rng.bounded(0xF5, 0x100)));
            break;
        }
    }
    return name;
}

} // namespace

class TestBytePath final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everySingleByteRoundTrips();
    void randomNamesRoundTripAndStayDistinct();
    void validUtf8DecodesAsUsual_data();
    void validUtf8DecodesAsUsual();
    void leadingByteOrderMarkKept();
    void invalidSequencesEscaped_data();
    void invalidSequencesEscaped();
    void replacementByteAndItsUtf8AreTwoNames();
    void escapesBesideSurrogatePairs();
    void everyTwoAndThreeByteSequence();
    void nameCharAtAgreesWithText();
    void displayShowsReplacement();
    void argumentsKeepTheirBytes();
};

void TestBytePath::everySingleByteRoundTrips()
{
    for (int b = 0x01; b <= 0xFF; ++b) {
        const QByteArray name = QByteArray("IMG_") + char(b) + QByteArray(".JPG");
        const QString text = pathFromBytes(name);
        QCOMPARE(pathToBytes(text), name);
        QCOMPARE(text.size(), name.size()); // one character per byte, valid or not
        if (b < 0x80) {
            QCOMPARE(text, QString::fromLatin1(name));
            QVERIFY(!hasEscapedBytes(text));
        } else {
            QCOMPARE(text.at(4).unicode(), char16_t(0xDC00 + b));
            QVERIFY(hasEscapedBytes(text));
        }
        // In a folder path too, as the walk joins them.
        const QByteArray path = QByteArray("/card/") + char(b) + QByteArray("/") + name;
        QCOMPARE(pathToBytes(pathFromBytes(path)), path);
    }
}

void TestBytePath::randomNamesRoundTripAndStayDistinct()
{
    QRandomGenerator rng(20240917);
    QHash<QString, QByteArray> seen;
    int escaped = 0;
    for (int i = 0; i < 50000; ++i) {
        const QByteArray name = randomName(rng);
        const QString text = pathFromBytes(name);
        if (pathToBytes(text) != name)
            QFAIL(qPrintable(QStringLiteral("no round trip for ") + QString::fromLatin1(name.toHex())));
        QCOMPARE(text, expectedText(name));
        const auto it = seen.constFind(text);
        if (it != seen.constEnd() && *it != name)
            QFAIL(qPrintable(QStringLiteral("two names give one text: ") + QString::fromLatin1(name.toHex()) +
                             QLatin1Char(' ') + QString::fromLatin1(it->toHex())));
        seen.insert(text, name);
        escaped += hasEscapedBytes(text) ? 1 : 0;
    }
    // Both kinds were drawn in numbers.
    QVERIFY(escaped > 15000);
    QVERIFY(seen.size() - escaped > 15000);
}

void TestBytePath::validUtf8DecodesAsUsual_data()
{
    test::addRows<QByteArray>(
        {"bytes"}, {{"ascii", QByteArray("IMG_0001.JPG")},
                    {"empty", QByteArray()},
                    {"japanese", QStringLiteral("写真/２０２４年の旅行/ＩＭＧ＿0001.JPG").toUtf8()},
                    {"four-byte emoji", QStringLiteral("trip \U0001F4F7\U0001F389.jpg").toUtf8()},
                    {"two-byte", QStringLiteral("Été à Zürich.NEF").toUtf8()},
                    {"replacement character itself", QByteArray("IMG_\xEF\xBF\xBD.JPG")},
                    {"highest code point", QByteArray("\xF4\x8F\xBF\xBF")},
                    {"noncharacters", QByteArray("\xEF\xBF\xBE\xEF\xBF\xBF\xEF\xB7\x90")},
                    {"last before surrogates, first after", QByteArray("\xED\x9F\xBF\xEE\x80\x80")},
                    {"mark inside", QByteArray("a\xEF\xBB\xBF"
                                               "b")}});
}

void TestBytePath::validUtf8DecodesAsUsual()
{
    QFETCH(QByteArray, bytes);
    const QString text = pathFromBytes(bytes);
    QCOMPARE(text, QString::fromUtf8(bytes));
    QVERIFY(!hasEscapedBytes(text));
    QCOMPARE(pathToBytes(text), bytes);
    QCOMPARE(displayPath(text), text);
}

void TestBytePath::leadingByteOrderMarkKept()
{
    // QString::fromUtf8 drops a leading mark; a file name that starts with one is another name.
    const QByteArray name("\xEF\xBB\xBFIMG.JPG");
    const QString text = pathFromBytes(name);
    QCOMPARE(text, QString(QChar(0xFEFF)) + QStringLiteral("IMG.JPG"));
    QCOMPARE(pathToBytes(text), name);
    QVERIFY(text != pathFromBytes(QByteArray("IMG.JPG")));
}

void TestBytePath::invalidSequencesEscaped_data()
{
    test::addRows<QByteArray>(
        {"bytes"}, {{"overlong NUL", QByteArray("\xC0\x80")},
                    {"overlong two-byte", QByteArray("\xC1\xBF")},
                    {"overlong three-byte", QByteArray("\xE0\x80\xAF")},
                    {"overlong three-byte top", QByteArray("\xE0\x9F\xBF")},
                    {"overlong four-byte", QByteArray("\xF0\x80\x80\xAF")},
                    {"overlong four-byte top", QByteArray("\xF0\x8F\xBF\xBF")},
                    {"high surrogate", QByteArray("\xED\xA0\x80")},
                    {"low surrogate", QByteArray("\xED\xBF\xBF")},
                    // The encoded form of an escape character must not pass for the escaped byte 0x80.
                    {"encoded escape", QByteArray("\xED\xB2\x80")},
                    {"pair encoded as two surrogates", QByteArray("\xED\xA0\xBD\xED\xB2\xA9")},
                    {"above U+10FFFF", QByteArray("\xF4\x90\x80\x80")},
                    {"five-byte lead", QByteArray("\xF8\x88\x80\x80\x80")},
                    {"truncated three at end", QByteArray("IMG\xE5\x86")},
                    {"truncated three then ascii", QByteArray("\xE5\x86.JPG")},
                    {"truncated four at end", QByteArray("\xF0\x9F\x93")},
                    {"lone continuation", QByteArray("\x80\xBF")},
                    {"lead without continuation", QByteArray("\xC3(")},
                    {"latin-1 name", QByteArray("caf\xE9.jpg")},
                    {"shift_jis name", QByteArray("\x8E\xCA\x90\x5E.JPG")},
                    {"FE FF", QByteArray("\xFE\xFF")}});
}

void TestBytePath::invalidSequencesEscaped()
{
    QFETCH(QByteArray, bytes);
    const QString text = pathFromBytes(bytes);
    QCOMPARE(text, expectedText(bytes));
    QVERIFY(hasEscapedBytes(text));
    QCOMPARE(pathToBytes(text), bytes);
    // Each byte of the broken sequence is its own character; no U+FFFD ever stands in for one.
    QVERIFY(!text.contains(QChar::ReplacementCharacter));
    QVERIFY(text != QString::fromUtf8(bytes));
}

void TestBytePath::replacementByteAndItsUtf8AreTwoNames()
{
    const QByteArray raw("IMG_\xFF.JPG");
    const QByteArray utf8("IMG_\xEF\xBF\xBD.JPG");
    const QString a = pathFromBytes(raw);
    const QString b = pathFromBytes(utf8);
    QVERIFY(a != b);
    QCOMPARE(pathToBytes(a), raw);
    QCOMPARE(pathToBytes(b), utf8);
    // Shown alike, which is all display may do.
    QCOMPARE(displayPath(a), displayPath(b));
}

void TestBytePath::escapesBesideSurrogatePairs()
{
    // U+1F480 is the pair D83D DC80, whose low half looks like the escape of byte 0x80.
    for (const QByteArray &bytes :
         {QByteArray("\xF0\x9F\x92\x80"), QByteArray("\xF0\x9F\x92\x80\x80"),
          QByteArray("\x80\xF0\x9F\x92\x80"), QByteArray("\xF0\x9F\x92\x80\xF0\x9F\x92"),
          QByteArray("\xF0\x9F\x92\x80\xED\xB2\x80")}) {
        const QString text = pathFromBytes(bytes);
        QCOMPARE(text, expectedText(bytes));
        QCOMPARE(pathToBytes(text), bytes);
    }
    QVERIFY(!hasEscapedBytes(pathFromBytes(QByteArray("\xF0\x9F\x92\x80"))));
    QVERIFY(hasEscapedBytes(pathFromBytes(QByteArray("\xF0\x9F\x92\x80\x80"))));
}

void TestBytePath::everyTwoAndThreeByteSequence()
{
    QByteArray s(2, 0);
    for (int a = 0x01; a <= 0xFF; ++a) {
        for (int b = 0x01; b <= 0xFF; ++b) {
            s[0] = char(a);
            s[1] = char(b);
            const QString text = pathFromBytes(s);
            if (text != expectedText(s) || pathToBytes(text) != s)
                QFAIL(qPrintable(QStringLiteral("wrong for ") + QString::fromLatin1(s.toHex())));
        }
    }
    QByteArray t(3, 0);
    for (int a = 0xE0; a <= 0xF4; ++a) {
        for (int b = 0x70; b <= 0xC4; ++b) {
            for (int c = 0x70; c <= 0xC4; ++c) {
                t[0] = char(a);
                t[1] = char(b);
                t[2] = char(c);
                const QString text = pathFromBytes(t);
                if (text != expectedText(t) || pathToBytes(text) != t)
                    QFAIL(qPrintable(QStringLiteral("wrong for ") + QString::fromLatin1(t.toHex())));
            }
        }
    }
}

void TestBytePath::nameCharAtAgreesWithText()
{
    QRandomGenerator rng(7);
    for (int n = 0; n < 20000; ++n) {
        const QByteArray name = randomName(rng);
        QList<char32_t> chars;
        for (std::size_t i = 0, len = 0; i < std::size_t(name.size()); i += len)
            chars.append(nameCharAt(name.constData(), std::size_t(name.size()), i, &len));
        const QString text = pathFromBytes(name);
        QList<char32_t> fromText;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text.at(i).isHighSurrogate()) {
                fromText.append(QChar::surrogateToUcs4(text.at(i), text.at(i + 1)));
                ++i;
            } else {
                fromText.append(text.at(i).unicode());
            }
        }
        QCOMPARE(chars, fromText);
    }
}

void TestBytePath::displayShowsReplacement()
{
    const QString text = pathFromBytes(QByteArray("/card/\xFF\xFE/IMG_\x80.JPG"));
    QCOMPARE(displayPath(text), QStringLiteral("/card/\uFFFD\uFFFD/IMG_\uFFFD.JPG"));
    QVERIFY(!hasEscapedBytes(displayPath(text)));
}

// A card path handed in on the command line, named in a legacy code page.
void TestBytePath::argumentsKeepTheirBytes()
{
    const char *argv[] = {"vantora", "/media/\x83J\x81[\x83h/DCIM/", "/reg", nullptr};
    const QStringList arguments = argumentsFromBytes(3, argv);
    QCOMPARE(arguments.size(), 2);
    QCOMPARE(pathToBytes(arguments.at(0)), QByteArray("/media/\x83J\x81[\x83h/DCIM/"));
    QCOMPARE(arguments.at(1), QStringLiteral("/reg"));
    QVERIFY(argumentsFromBytes(1, argv).isEmpty());
}

QTEST_GUILESS_MAIN(TestBytePath)
#include "tst_bytepath.moc"
