#include "exiffixture.h"
#include "tables.h"
#include "testdir.h"

#include "metadata/texifinfo.h"
#include "metadata/tkxwidefilestream.h"
#include "metadata/tmemorystream.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QtEndian>
#include <QTest>

#include <optional>

using namespace vantora;
using namespace vantora::test;

namespace {

// What one read did: the events in order and how it ended.
struct Outcome
{
    QStringList events; // "update", "error -5"
    std::optional<QString> exception;
    QList<int> errors() const
    {
        QList<int> codes;
        for (const QString &e : events) {
            if (e.startsWith(QLatin1String("error ")))
                codes.append(e.mid(6).toInt());
        }
        return codes;
    }
};

Outcome readFile(TExifInfo &info, const QString &path, bool allowErrors = false)
{
    Outcome out;
    info.SetOnUpdate([&](TExifInfo *sender) {
        QCOMPARE(sender, &info);
        out.events << QStringLiteral("update");
    });
    info.SetOnError([&](TExifInfo *sender, int code, bool &allowError) {
        QCOMPARE(sender, &info);
        QVERIFY(allowError);
        out.events << QStringLiteral("error %1").arg(code);
        allowError = allowErrors;
    });
    try {
        info.SetImageFileName(path);
    } catch (const Exception &e) {
        out.exception = e.Message();
    }
    return out;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// A little TIFF writer for damaged blocks.
struct Tiff
{
    bool little = false;
    QByteArray bytes;

    explicit Tiff(bool littleEndian) : little(littleEndian)
    {
        bytes = little ? QByteArray("II") : QByteArray("MM");
        w16(42);
        w32(8);
    }
    void w16(quint16 v)
    {
        char b[2];
        little ? qToLittleEndian(v, b) : qToBigEndian(v, b);
        bytes.append(b, 2);
    }
    void w32(quint32 v)
    {
        char b[4];
        little ? qToLittleEndian(v, b) : qToBigEndian(v, b);
        bytes.append(b, 4);
    }
    void entry(quint16 tag, quint16 type, quint32 count, quint32 value)
    {
        w16(tag);
        w16(type);
        w32(count);
        w32(value);
    }
    void entryBytes(quint16 tag, quint16 type, quint32 count, const QByteArray &inlineValue)
    {
        w16(tag);
        w16(type);
        w32(count);
        bytes.append(inlineValue.leftJustified(4, '\0', true));
    }
    void set32(int at, quint32 v)
    {
        char b[4];
        little ? qToLittleEndian(v, b) : qToBigEndian(v, b);
        bytes.replace(at, 4, QByteArray(b, 4));
    }
};

} // namespace

class TestExifInfo final : public QObject
{
    Q_OBJECT

private:
    TestDir m_dir;
    int m_serial = 0;

    QString newPath(const QString &name)
    {
        return m_dir.filePath(QStringLiteral("%1-%2").arg(++m_serial).arg(name));
    }
    // Keeps a copy of every written image for the fuzzer's corpus when asked.
    void saveForCorpus(const QString &path)
    {
        const QString corpus = qEnvironmentVariable("VANTORA_SAVE_IMAGES");
        if (!corpus.isEmpty())
            QFile::copy(path, corpus + QLatin1String("/test-") + QFileInfo(path).fileName());
    }
    QString fullExifFile(const QString &name, Order order)
    {
        const QString path = newPath(name);
        writeAll(path, plainJpeg(16, 8));
        writeFullExif(path, order);
        saveForCorpus(path);
        return path;
    }
    // A JPEG whose first segments are the given ones, followed by the plain image's own segments.
    QString jpegWith(const QString &name, const QList<Segment> &first, bool keepApp0 = true)
    {
        JpegParts parts = JpegParts::parse(plainJpeg(16, 8));
        if (!keepApp0)
            parts.segments.removeIf([](const Segment &s) { return s.marker == 0xFFE0; });
        parts.segments = first + parts.segments;
        const QString path = newPath(name);
        writeAll(path, parts.join());
        saveForCorpus(path);
        return path;
    }
    static Segment exifSegment(const QByteArray &tiff) { return {0xFFE1, QByteArray("Exif\0\0", 6) + tiff}; }
    static Segment frameOf(const QByteArray &jpeg)
    {
        const JpegParts parts = JpegParts::parse(jpeg);
        return parts.segments[parts.indexOf(0xFFC0)];
    }

    // Every entry equals exiv2's reading; value offsets lead to exiv2's value bytes in the file.
    void verifyAgainstExiv2(const TExifInfo &info, const QString &path, bool printedOffsets = true)
    {
        const QList<EntryRecord> ours = ourRecords(info);
        const QList<EntryRecord> theirs = exiv2Records(path);
        if (ours != theirs) {
            for (const EntryRecord &r : ours)
                if (!theirs.contains(r))
                    qWarning("only ours:   %s", qPrintable(r.toString()));
            for (const EntryRecord &r : theirs)
                if (!ours.contains(r))
                    qWarning("only exiv2:  %s", qPrintable(r.toString()));
        }
        QCOMPARE(ours, theirs);
        QCOMPARE(QSize(info.ImageWidth(), info.ImageHeight()), exiv2ImageSize(path));

        const QByteArray file = readAll(path);
        const QList<EntryRecord> raw = exiv2Records(path, true);
        for (const TEntryItems *items : {&info.Entries(), &info.ThumbnailEntries()}) {
            const QString collection =
                items == &info.Entries() ? QStringLiteral("main") : QStringLiteral("thumbnail");
            QCOMPARE(items->TiffOffset(), info.TiffOffset());
            for (int i = 0; i < items->Count(); ++i) {
                const TEntryItem &e = items->Items(i);
                const qint64 size = qint64(ExifTypeSize(e.FieldType())) * e.Count();
                if (size <= 4) {
                    QCOMPARE(e.ValueOffset(), 0u);
                    continue;
                }
                QVERIFY(e.ValueOffset() != 0);
                const auto it = std::find_if(raw.begin(), raw.end(), [&](const EntryRecord &r) {
                    return r.collection == collection && r.ifd == e.IfdIndex() && r.tag == e.Tag();
                });
                QVERIFY(it != raw.end());
                QCOMPARE(file.mid(info.TiffOffset() + e.ValueOffset(), size), it->data);
            }
        }
        if (!printedOffsets)
            return;
        const QList<QPair<int, quint32>> printed = exiv2PrintedOffsets(path);
        QVERIFY(!printed.isEmpty());
        for (const auto &[tag, offset] : printed) {
            bool found = false;
            for (const TEntryItems *items : {&info.Entries(), &info.ThumbnailEntries()}) {
                for (int i = 0; i < items->Count(); ++i)
                    found =
                        found || (items->Items(i).Tag() == tag && items->Items(i).ValueOffset() == offset);
            }
            QVERIFY2(found, qPrintable(QStringLiteral("tag 0x%1 offset %2").arg(tag, 0, 16).arg(offset)));
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QProcess exiv2;
        exiv2.start(QStringLiteral("exiv2"), {QStringLiteral("--version")});
        QVERIFY2(exiv2.waitForFinished(30000) && exiv2.exitCode() == 0, "the exiv2 command is needed");
    }

    void comparesWithExiv2_data()
    {
        // searchBytes -1: default; otherwise relative to the marker's window edge
        addRows<int, Text, int>(
            {"order", "layout", "searchBytes"},
            {{"II, APP0 then Exif", int(Order::Little), "app0", -1},
             {"MM, APP0 then Exif", int(Order::Big), "app0", -1},
             {"II, Exif first", int(Order::Little), "exif-first", -1},
             {"MM, XMP before Exif", int(Order::Big), "xmp-first", -1},
             {"II, XMP before Exif, no APP0", int(Order::Little), "xmp-first-no-app0", -1},
             {"MM, quantization table first, window reaches", int(Order::Big), "dqt-first", 0},
             {"II, comment first, in the default window", int(Order::Little), "com-first", -1}});
    }
    void comparesWithExiv2()
    {
        QFETCH(int, order);
        QFETCH(QString, layout);
        QFETCH(int, searchBytes);
        const QString path = fullExifFile(QStringLiteral("full.jpg"), Order(order));
        if (layout.startsWith(QLatin1String("xmp-first")))
            writeXmp(path);

        JpegParts parts = JpegParts::parse(readAll(path));
        const int exifIndex = parts.indexOf(0xFFE1, QByteArray("Exif\0\0", 6));
        QVERIFY(exifIndex >= 0);
        const Segment exif = parts.segments.takeAt(exifIndex);
        if (layout.endsWith(QLatin1String("no-app0")) || layout == QLatin1String("exif-first") ||
            layout == QLatin1String("dqt-first") || layout == QLatin1String("com-first"))
            parts.segments.removeIf([](const Segment &s) { return s.marker == 0xFFE0; });
        if (layout.startsWith(QLatin1String("xmp-first"))) {
            const int xmp = parts.indexOf(0xFFE1, QByteArray("http://ns.adobe.com/xap/1.0/"));
            QVERIFY(xmp >= 0);
            parts.segments.insert(xmp + 1, exif);
            parts.segments.move(xmp, 0);
            QCOMPARE(parts.segments[0].marker, quint16(0xFFE1));
        } else if (layout == QLatin1String("dqt-first")) {
            const int dqt = parts.indexOf(0xFFDB);
            parts.segments.move(dqt, 0);
            parts.segments.insert(1, exif);
        } else if (layout == QLatin1String("com-first")) {
            parts.segments.insert(0, {0xFFFE, QByteArray(14, 'c')});
            parts.segments.insert(1, exif);
        } else if (layout == QLatin1String("app0")) {
            parts.segments.insert(parts.indexOf(0xFFE0) + 1, exif);
        } else {
            parts.segments.insert(0, exif);
        }
        const int at = parts.indexOf(0xFFE1, QByteArray("Exif\0\0", 6));
        const qint64 exifOffset = parts.positionOf(at);
        writeAll(path, parts.join());
        saveForCorpus(path);

        TExifInfo info;
        QCOMPARE(info.SearchBytes(), 16);
        if (searchBytes >= 0)
            info.SetSearchBytes(int(exifOffset - 4) + searchBytes);
        const Outcome out = readFile(info, path);
        QCOMPARE(out.events, QStringList{QStringLiteral("update")});
        QVERIFY(!out.exception);
        QCOMPARE(info.ExifOffset(), exifOffset);
        QCOMPARE(info.TiffOffset(), exifOffset + 10);
        QCOMPARE(info.ByteOrder(), Order(order) == Order::Little ? quint16(0x4949) : quint16(0x4D4D));
        verifyAgainstExiv2(info, path);

        // The file holds what the test means to cover.
        QSet<int> types;
        QSet<int> mainIfds;
        for (int i = 0; i < info.Entries().Count(); ++i) {
            types.insert(info.Entries()[i].FieldType());
            mainIfds.insert(info.Entries()[i].IfdIndex());
        }
        for (int type = 1; type <= 12; ++type)
            QVERIFY2(types.contains(type), qPrintable(QString::number(type)));
        QCOMPARE(mainIfds, (QSet<int>{0, 1, 2, 3}));
        QVERIFY(info.ThumbnailEntries().IndexOfTag(0x0201, 0) >= 0);
        QCOMPARE(info.ThumbnailEntries()[info.ThumbnailEntries().IndexOfTag(0x0112, 0)].IntegerValue(0), 1);
    }

    void bothByteOrdersGiveTheSameValues()
    {
        TExifInfo little;
        TExifInfo big;
        QVERIFY(!readFile(little, fullExifFile(QStringLiteral("ii.jpg"), Order::Little)).exception);
        QVERIFY(!readFile(big, fullExifFile(QStringLiteral("mm.jpg"), Order::Big)).exception);
        QCOMPARE(ourRecords(little), ourRecords(big));
        const TEntryItems &e = big.Entries();
        const TEntryItem &doubles = e[e.IndexOfTag(0xc002, 0)];
        QCOMPARE(doubles.RealValue(0), 3.125);
        const TEntryItem &floats = e[e.IndexOfTag(0xc001, 0)];
        QCOMPARE(floats.RealValue(1), -2.25);
        const TEntryItem &srational = e[e.IndexOfTag(0xc005, 0)];
        QCOMPARE(srational.RationalValue(0), (TExifRationalValue{-1, 3}));
        QCOMPARE(srational.RationalValue(1), (TExifRationalValue{5, -7}));
        QCOMPARE(e[e.IndexOfTag(0xc006, 0)].IntegerValue(0), 4000000000LL);
        QCOMPARE(e[e.IndexOfTag(0xc003, 0)].IntegerValue(0), -300);
        QCOMPARE(e[e.IndexOfTag(0xc003, 0)].ValueOffset(), 0u); // two SHORTs sit in the entry
        QCOMPARE(e[e.IndexOfTag(0xc000, 0)].IntegerValue(2), -128);
        QCOMPARE(e[e.IndexOfTag(0x010f, 0)].BytesValue(), QByteArray("VantoraCam\0", 11));
        QCOMPARE(e[e.IndexOfTag(0x010f, 0)].ValueCount(), 1);
        QCOMPARE(e[e.IndexOfTag(0xc007, 0)].ValueCount(), 6);
        const TEntryItem &comment = e[e.IndexOfTag(0x9286, 1)];
        QCOMPARE(comment.FieldType(), quint8(eftUndefined));
        QCOMPARE(comment.BytesValue(), QByteArray("ASCII\0\0\0hello world", 19));
        QCOMPARE(TExifInfo::SubIfdOffset(e, TExifInfo::GpsIfdTag, 0),
                 quint32(e[e.IndexOfTag(TExifInfo::GpsIfdTag, 0)].IntegerValue(0)));
    }

    void asciiUserCommentBecomesBytes()
    {
        const QString path = newPath(QStringLiteral("comment.jpg"));
        writeAll(path, plainJpeg(16, 8));
        writeExifValues(
            path,
            {{QStringLiteral("Exif.Image.Make"), 0, QStringLiteral("Cam")},
             {QStringLiteral("Exif.Photo.UserComment"), Exiv2Ascii, QStringLiteral("plain words")},
             {QStringLiteral("Exif.Image.0x9286"), Exiv2Ascii, QStringLiteral("not in Exif IFD")}},
            Order::Big);
        TExifInfo info;
        QVERIFY(!readFile(info, path).exception);
        const TEntryItem &comment = info.Entries()[info.Entries().IndexOfTag(0x9286, 1)];
        QCOMPARE(comment.FieldType(), quint8(eftUndefined));
        QCOMPARE(comment.ValueCount(), 1);
        QCOMPARE(comment.Count(), 12u);
        QCOMPARE(comment.BytesValue(), QByteArray("plain words\0", 12));
        // the same tag outside the Exif IFD stays text
        QCOMPARE(info.Entries()[info.Entries().IndexOfTag(0x9286, 0)].FieldType(), quint8(eftAscii));
        QList<EntryRecord> theirs = exiv2Records(path);
        for (EntryRecord &r : theirs) {
            if (r.tag == 0x9286 && r.ifd == 1) {
                QCOMPARE(r.type, int(eftAscii));
                r.type = eftUndefined;
            }
        }
        std::sort(theirs.begin(), theirs.end());
        QCOMPARE(ourRecords(info), theirs);
    }

    void searchWindow_data()
    {
        // a comment segment of 2 + padding bytes; the APP1 0xFF is examined as byte padding + 3
        addRows<Text, int, int, bool>(
            {"first", "padding", "searchBytes", "found"},
            {{"comment, 0xFF is byte 17", "com", 14, 16, true},
             {"comment, 0xFF is byte 18", "com", 15, 16, false},
             {"comment, window 0, byte 3", "com", 0, 0, false},
             {"comment, window 2, byte 3", "com", 0, 2, true},
             {"comment, window -5 reads as 0", "com", 0, -5, false},
             {"quantization table, default window", "dqt", 0, 16, false},
             {"quantization table, window wide enough", "dqt", 0, 1000, true},
             // for the table: padding is the window relative to the one that just reaches the marker
             {"quantization table, window just reaches", "dqt-edge", 0, 0, true},
             {"quantization table, window one short", "dqt-edge", -1, 0, false}});
    }
    void searchWindow()
    {
        QFETCH(QString, first);
        QFETCH(int, padding);
        QFETCH(int, searchBytes);
        QFETCH(bool, found);
        QVERIFY(first == QLatin1String("com") || padding <= 0);
        Tiff tiff(true);
        tiff.w16(1);
        tiff.entryBytes(0x010f, 2, 4, "Cam");
        tiff.w32(0);
        const QByteArray plain = plainJpeg(16, 8);
        const JpegParts plainParts = JpegParts::parse(plain);
        const Segment lead = first == QLatin1String("com") ? Segment{0xFFFE, QByteArray(padding, 'c')}
                                                           : plainParts.segments[plainParts.indexOf(0xFFDB)];
        if (first == QLatin1String("dqt-edge"))
            searchBytes = 2 + lead.body.size() + padding; // the marker's 0xFF is byte 3 + body size
        const QString path = jpegWith(QStringLiteral("window.jpg"), {lead, exifSegment(tiff.bytes)}, false);
        TExifInfo info;
        info.SetSearchBytes(searchBytes);
        QCOMPARE(info.SearchBytes(), std::max(searchBytes, 0));
        const Outcome out = readFile(info, path);
        if (found) {
            QCOMPARE(out.events, QStringList{QStringLiteral("update")});
            QCOMPARE(info.ExifOffset(), 2 + 4 + lead.body.size());
            QCOMPARE(info.Entries().Count(), 1);
            QCOMPARE(info.Entries()[0].BytesValue(), QByteArray("Cam\0", 4));
        } else {
            QCOMPARE(out.events, QStringList{QStringLiteral("error -2")});
            QCOMPARE(info.ExifOffset(), -1);
            QCOMPARE(info.Entries().Count(), 0);
        }
        QCOMPARE(QSize(info.ImageWidth(), info.ImageHeight()), QSize(16, 8));
    }

    void namesBeyondAscii()
    {
        const QString source = fullExifFile(QStringLiteral("source.jpg"), Order::Little);
        m_dir.createDir(QStringLiteral("写真 2024"));
        const QString path = m_dir.filePath(QStringLiteral("写真 2024/撮影①.jpg"));
        QVERIFY(QFile::copy(source, path));
        TExifInfo info;
        const Outcome out = readFile(info, path);
        QCOMPARE(out.events, QStringList{QStringLiteral("update")});
        QCOMPARE(info.ImageFileName(), path);
        verifyAgainstExiv2(info, source, false);
    }

    void xmpWithoutExif()
    {
        const QString path = newPath(QStringLiteral("xmp-only.jpg"));
        writeAll(path, plainJpeg(16, 8));
        writeXmp(path);
        const JpegParts parts = JpegParts::parse(readAll(path));
        QVERIFY(parts.indexOf(0xFFE1, QByteArray("http://ns.adobe.com/xap/1.0/")) >= 0);
        QCOMPARE(parts.indexOf(0xFFE1, QByteArray("Exif")), -1);
        TExifInfo info;
        const Outcome out = readFile(info, path);
        QCOMPARE(out.events, QStringList{QStringLiteral("error -2")});
        QCOMPARE(info.Entries().Count(), 0);
        QCOMPARE(info.ThumbnailEntries().Count(), 0);
        QCOMPARE(info.ExifOffset(), -1);
    }

    void emptyNameKeepsEntries()
    {
        TExifInfo info;
        QVERIFY(!readFile(info, fullExifFile(QStringLiteral("keep.jpg"), Order::Little)).exception);
        const QList<EntryRecord> before = ourRecords(info);
        QVERIFY(!before.isEmpty());
        const Outcome out = readFile(info, QString());
        QVERIFY(out.events.isEmpty());
        QCOMPARE(info.ImageFileName(), QString());
        QCOMPARE(ourRecords(info), before);
    }

    void missingFile_data()
    {
        addRows<bool, bool>({"allowError", "folder"}, {{"handler suppresses", false, false},
                                                       {"handler lets it raise", true, false},
                                                       {"a folder counts as missing", true, true}});
    }
    void missingFile()
    {
        QFETCH(bool, allowError);
        QFETCH(bool, folder);
        TExifInfo info;
        QVERIFY(!readFile(info, fullExifFile(QStringLiteral("before.jpg"), Order::Little)).exception);
        const QString name =
            folder ? m_dir.createDir(QStringLiteral("folder.jpg")) : newPath(QStringLiteral("gone.jpg"));
        const Outcome out = readFile(info, name, allowError);
        QCOMPARE(out.events, (QStringList{QStringLiteral("update"), QStringLiteral("error -1")}));
        QCOMPARE(out.exception.has_value(), allowError);
        if (allowError)
            QCOMPARE(*out.exception, QStringLiteral("TExifInfo: ファイルが見つかりません"));
        QCOMPARE(info.Entries().Count(), 0);
        QCOMPARE(info.ThumbnailEntries().Count(), 0);
        QCOMPARE(info.ImageWidth(), 0);
        QCOMPARE(info.ImageHeight(), 0);
        QCOMPARE(info.ImageFileName(), name);
    }

    void errorWithoutHandler()
    {
        TExifInfo info;
        try {
            info.SetImageFileName(newPath(QStringLiteral("none.jpg")));
            QFAIL("no exception");
        } catch (const EExifError &e) {
            QCOMPARE(e.ErrCode(), -1);
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("TExifInfo: ファイルが見つかりません"));
        }
        const QString plain = newPath(QStringLiteral("plain.jpg"));
        writeAll(plain, plainJpeg(16, 8));
        QVERIFY_THROWS_EXCEPTION(EExifError, info.SetImageFileName(plain));
    }

    void lockedFileGivesOpenError()
    {
        const QString path = fullExifFile(QStringLiteral("locked.jpg"), Order::Little);
        TKxWideFileStream holder(path, fmOpenRead);
        TExifInfo info;
        const Outcome out = readFile(info, path);
        QVERIFY(out.events.isEmpty());
        QVERIFY(out.exception);
        QVERIFY2(out.exception->startsWith(QStringLiteral("ファイル \"%1\". ").arg(path)),
                 qPrintable(*out.exception));
    }

    void damagedFiles_data()
    {
        QTest::addColumn<QByteArray>("tiff");
        QTest::addColumn<int>("error");       // 0: none
        QTest::addColumn<QList<int>>("tags"); // main entries read, in order

        auto header = [](bool little) { return Tiff(little); };
        // The make ("ab") and one more entry, then no next directory.
        auto makeAnd = [](bool little, quint16 tag, quint16 type, quint32 count, quint32 value) {
            Tiff t(little);
            t.w16(2);
            t.entryBytes(0x010f, 2, 3, "ab");
            t.entry(tag, type, count, value);
            t.w32(0);
            return t.bytes;
        };
        {
            Tiff t = header(false);
            t.set32(4, 0x7FFFFFF0);
            QTest::newRow("first directory past the end") << t.bytes << -5 << QList<int>{};
        }
        QTest::newRow("value offset past the end")
            << makeAnd(true, 0x0110, 2, 20, 0x10000) << -5 << QList<int>{0x010f};
        QTest::newRow("ASCII count of 4 billion")
            << makeAnd(false, 0x0110, 2, 0xFFFFFFFF, 26) << -5 << QList<int>{0x010f};
        {
            Tiff t = header(true);
            t.w16(1);
            t.entry(0x0111, 4, 0x40000001, 26); // 4 x count wraps to 4 in 32 bits
            t.w32(0);
            QTest::newRow("LONG count whose size wraps") << t.bytes << -5 << QList<int>{};
        }
        QTest::newRow("Exif directory is the first one")
            << makeAnd(false, 0x8769, 4, 1, 8) << -5 << QList<int>{0x010f, 0x8769};
        {
            Tiff t = header(true);
            t.w16(1);
            t.entryBytes(0x010f, 2, 3, "ab");
            t.w32(8);
            QTest::newRow("next directory is itself") << t.bytes << -5 << QList<int>{0x010f};
        }
        {
            Tiff t = header(true);
            t.w16(0xFFFF);
            t.entryBytes(0x010f, 2, 3, "ab");
            t.entryBytes(0x0110, 2, 3, "cd");
            QTest::newRow("entry count beyond the block") << t.bytes << -5 << QList<int>{0x010f, 0x0110};
        }
        {
            // every entry takes the same 200 bytes: together more than the file holds
            Tiff t = header(false);
            t.w16(400);
            for (int i = 0; i < 400; ++i)
                t.entry(quint16(0xc000 + i), 7, 200, 8);
            t.w32(0);
            t.bytes.append(QByteArray(200, 'v'));
            QTest::newRow("values overlapping beyond the file size") << t.bytes << -5 << QList<int>{};
        }
        {
            Tiff t = header(true);
            t.w16(3);
            t.entry(0x1234, 13, 5, 0xDEADBEEF);
            t.entry(0x1235, 0, 0xFFFFFFFF, 0xFFFFFFFF);
            t.entryBytes(0x010f, 2, 4, "Cam");
            t.w32(0);
            QTest::newRow("unknown types are passed") << t.bytes << 0 << QList<int>{0x1234, 0x1235, 0x010f};
        }
        {
            Tiff t = header(false);
            t.bytes.replace(0, 2, "XY");
            t.w16(1);
            t.entry(0x0112, 3, 1, 0x00060000);
            t.w32(0);
            QTest::newRow("unknown byte order reads big-endian") << t.bytes << 0 << QList<int>{0x0112};
        }
        {
            Tiff t = header(true);
            t.w16(1);
            t.entryBytes(0x010f, 2, 3, "ab");
            QTest::newRow("block ends before the next offset") << t.bytes << -5 << QList<int>{0x010f};
        }
    }
    void damagedFiles()
    {
        QFETCH(QByteArray, tiff);
        QFETCH(int, error);
        QFETCH(QList<int>, tags);
        // APP0 leads to the segment walk; the frame comes before the block so the size is found whatever
        // the block holds; the file ends with the block.
        const JpegParts plain = JpegParts::parse(plainJpeg(16, 8));
        const QString path = newPath(QStringLiteral("damaged.jpg"));
        writeAll(path, QByteArray("\xFF\xD8", 2) + segmentBytes(plain.segments[plain.indexOf(0xFFE0)]) +
                           segmentBytes(frameOf(plainJpeg(16, 8))) + segmentBytes(exifSegment(tiff)));
        saveForCorpus(path);
        QElapsedTimer timer;
        timer.start();
        TExifInfo info;
        const Outcome out = readFile(info, path);
        QVERIFY(timer.elapsed() < 5000);
        QCOMPARE(out.errors(), error ? QList<int>{error} : QList<int>{});
        QCOMPARE(out.events.contains(QStringLiteral("update")), error == 0);
        QVERIFY(!out.exception);
        QList<int> read;
        for (int i = 0; i < info.Entries().Count(); ++i)
            read << info.Entries()[i].Tag();
        if (qstrcmp(QTest::currentDataTag(), "values overlapping beyond the file size") == 0)
            QVERIFY2(read.size() > 0 && read.size() < 40, qPrintable(QString::number(read.size())));
        else
            QCOMPARE(read, tags);
        QCOMPARE(QSize(info.ImageWidth(), info.ImageHeight()), QSize(16, 8));
        if (qstrcmp(QTest::currentDataTag(), "unknown types are passed") == 0) {
            QCOMPARE(info.Entries()[0].FieldType(), quint8(13));
            QCOMPARE(info.Entries()[0].Count(), 5u);
            QCOMPARE(info.Entries()[0].ValueCount(), 0);
            QCOMPARE(info.Entries()[2].BytesValue(), QByteArray("Cam\0", 4));
        }
        if (qstrcmp(QTest::currentDataTag(), "unknown byte order reads big-endian") == 0) {
            QCOMPARE(info.ByteOrder(), quint16(0x5958));
            QCOMPARE(info.Entries()[0].IntegerValue(0), 6);
        }
    }

    void truncatedFiles()
    {
        const QString source = fullExifFile(QStringLiteral("whole.jpg"), Order::Big);
        const QList<EntryRecord> whole = exiv2Records(source);
        JpegParts parts = JpegParts::parse(readAll(source));
        const int exif = parts.indexOf(0xFFE1, QByteArray("Exif\0\0", 6));

        // Frame after the block: the size read meets the end first, the stream's read error.
        const QByteArray bytes = parts.join().left(parts.positionOf(exif) + 150);
        const QString cut = newPath(QStringLiteral("cut.jpg"));
        writeAll(cut, bytes);
        TExifInfo info;
        Outcome out = readFile(info, cut);
        QVERIFY(out.events.isEmpty());
        QCOMPARE(out.exception, std::optional<QString>(StreamReadErrorText()));
        QCOMPARE(info.Entries().Count(), 0);

        // Frame before the block: -5, the entries read before the cut stay, each as exiv2 reads it.
        parts.segments.move(parts.indexOf(0xFFC0), exif);
        const QByteArray framed = parts.join();
        const int app1 = parts.indexOf(0xFFE1, QByteArray("Exif\0\0", 6));
        for (const int keep : {12, 40, 150, 260}) {
            const QString path = newPath(QStringLiteral("cut-%1.jpg").arg(keep));
            writeAll(path, framed.left(parts.positionOf(app1) + keep));
            saveForCorpus(path);
            out = readFile(info, path);
            QCOMPARE(out.events, QStringList{QStringLiteral("error -5")});
            const QList<EntryRecord> ours = ourRecords(info);
            for (const EntryRecord &r : ours)
                QVERIFY2(whole.contains(r), qPrintable(r.toString()));
            if (keep == 260)
                QVERIFY(!ours.isEmpty());
        }
    }

    void notJpeg_data()
    {
        addRows<QByteArray, bool>({"bytes", "readError"},
                                  {{"TIFF file", QByteArray("II*\0\x08\0\0\0\0\0\0\0\0\0", 14), false},
                                   {"text", QByteArray("just some text, no image at all"), false},
                                   {"empty", QByteArray(), true},
                                   {"start of image then nothing", QByteArray("\xFF\xD8", 2), true}});
    }
    void notJpeg()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, readError);
        const QString path = newPath(QStringLiteral("other.bin"));
        writeAll(path, bytes);
        TExifInfo info;
        const Outcome out = readFile(info, path);
        if (readError) {
            QCOMPARE(out.exception, std::optional<QString>(StreamReadErrorText()));
            QVERIFY(out.events.isEmpty());
        } else {
            QCOMPARE(out.events, QStringList{QStringLiteral("error -2")});
            QCOMPARE(info.ImageWidth(), 0);
        }
    }

    void cameraFiles_data()
    {
        addRows<Text, bool>({"name", "hasExif"}, {{"canon", "canon-dslr.jpg", true},
                                                  {"pixel", "IMG_20180725_163423.jpg", true},
                                                  {"olympus, big-endian", "door-knocker.jpg", true},
                                                  {"hasselblad", "issue-exifr-13.jpg", true},
                                                  {"no exif", "noexif.jpg", false},
                                                  {"no exif 2", "img_1771_no_exif.jpg", false}});
    }
    void cameraFiles()
    {
        QFETCH(QString, name);
        QFETCH(bool, hasExif);
        const QString path = sharedTestData(QLatin1String("camera/") + name);
        if (path.isEmpty())
            QSKIP("shared camera test data not found beside the source tree");
        TExifInfo info;
        const Outcome out = readFile(info, path);
        if (!hasExif) {
            QCOMPARE(out.events, QStringList{QStringLiteral("error -2")});
            QCOMPARE(QSize(info.ImageWidth(), info.ImageHeight()), exiv2ImageSize(path));
            return;
        }
        QCOMPARE(out.events, QStringList{QStringLiteral("update")});
        QVERIFY(info.Entries().Count() > 5);
        verifyAgainstExiv2(info, path, false);
    }

    void entryAndCollectionOperations()
    {
        TExifInfo info;
        QVERIFY(!readFile(info, fullExifFile(QStringLiteral("ops.jpg"), Order::Big)).exception);
        TEntryItems copy;
        copy.Assign(info.Entries());
        QCOMPARE(copy.TiffOffset(), info.TiffOffset());
        QCOMPARE(copy.Count(), info.Entries().Count());
        QVERIFY(copy.Owner() == nullptr);
        const int make = copy.IndexOfTag(0x010f, 0);
        QCOMPARE(make, info.Entries().IndexOfTag(0x010f, 0));
        QCOMPARE(copy.IndexOfTag(0x010f, 1), -1);
        QCOMPARE(copy.IndexOfTag(0x4242, 0), -1);

        TEntryItem bytes(info.Entries()[info.Entries().IndexOfTag(0xc007, 0)]);
        QVERIFY(bytes.Collection() == nullptr);
        QCOMPARE(bytes.ValueOffset(), info.Entries()[info.Entries().IndexOfTag(0xc007, 0)].ValueOffset());
        bytes.DeleteValue(1);
        QCOMPARE(bytes.ValueCount(), 5);
        QCOMPARE(bytes.IntegerValue(1), 3);
        bytes.DeleteValue(99);
        QCOMPARE(bytes.ValueCount(), 5);
        QCOMPARE(bytes.IntegerValue(5), 0);
        bytes.SetData1(7);
        TEntryItem other;
        other = bytes;
        QCOMPARE(other.Data1(), 7);
        QCOMPARE(other.ValueCount(), 5);
        other.ClearValues();
        QCOMPARE(other.ValueCount(), 0);
        QCOMPARE(bytes.ValueCount(), 5);

        const TEntryItem &longs = info.Entries()[info.Entries().IndexOfTag(0xc006, 0)];
        QCOMPARE(TExifInfo::LongValue(longs, 1), 7u);
        QCOMPARE(TExifInfo::LongValue(longs, 2), 0u);
        QCOMPARE(TExifInfo::LongValue(longs, -1), 0u);
        QCOMPARE(TExifInfo::LongValue(info.Entries()[make], 0), 0u);
        QCOMPARE(TExifInfo::SubIfdOffset(info.Entries(), 0x4242, 0), 0u);

        // Without a component an entry reads little-endian.
        TMemoryStream stream(QByteArray("\x0f\x01\x03\x00\x02\x00\x00\x00\x34\x12\x78\x56", 12));
        TEntryItem loose;
        loose.ReadEntry(stream);
        QCOMPARE(loose.Tag(), quint16(0x010f));
        QCOMPARE(loose.FieldType(), quint8(eftShort));
        QCOMPARE(loose.IntegerValue(0), 0x1234);
        QCOMPARE(loose.IntegerValue(1), 0x5678);
        QCOMPARE(stream.Position(), 12);

        // Empty text holds no value, empty bytes one empty value; both leave the stream after the entry.
        TMemoryStream empties(QByteArray("\x0f\x01\x02\x00\x00\x00\x00\x00\xAA\xAA\xAA\xAA"
                                         "\x00\x90\x07\x00\x00\x00\x00\x00\xBB\xBB\xBB\xBB",
                                         24));
        TEntryItem text;
        text.ReadEntry(empties);
        QCOMPARE(text.ValueCount(), 0);
        QCOMPARE(text.BytesValue(), QByteArray());
        TEntryItem undefined;
        undefined.ReadEntry(empties);
        QCOMPARE(undefined.FieldType(), quint8(eftUndefined));
        QCOMPARE(undefined.ValueCount(), 1);
        QCOMPARE(undefined.BytesValue(), QByteArray());
        QCOMPARE(empties.Position(), 24);
    }

    void rationalIsNeverDangling()
    {
        TExifInfo info;
        TExifRational *first = info.Rational();
        QVERIFY(first);
        QCOMPARE(first->Owner(), &info);
        first->SetNumerator(3);
        TExifRational other(&info);
        other.Assign(*first);
        QCOMPARE(other.Numerator(), 3);
        delete first;
        QVERIFY(info.Rational());
        QCOMPARE(info.Rational()->Owner(), &info);
        {
            auto *outliving = new TExifRational(new TExifInfo);
            delete outliving->Owner();
            QVERIFY(!outliving->Owner());
            delete outliving;
        }
    }

    void errorTexts_data()
    {
        addRows<int, Text>({"code", "text"}, {{"-1", -1, "ファイルが見つかりません"},
                                              {"-2", -2, "Exif、またはDCF形式ではありません"},
                                              {"-3", -3, "ユーザコメントは不明な形式です"},
                                              {"-4", -4, "ASCII文字以外は書き込みできません"},
                                              {"-5", -5, "不正なストリーム"},
                                              {"-6", -6, "不正なインデックス"},
                                              {"-7", -7, "タグが見つかりません"},
                                              {"-8", -8, "日時は不明です"},
                                              {"0", 0, "不明なエラーです"},
                                              {"-9", -9, "不明なエラーです"}});
    }
    void errorTexts()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        QCOMPARE(TExifInfo::ErrorText(code), text);
        QCOMPARE(EExifError(code).Message(), QStringLiteral("TExifInfo: ") + text);
    }

    void componentNames()
    {
        QCOMPARE(ComponentNames.size(), size_t(7));
        QCOMPARE(ComponentNames[0], u"");
        QCOMPARE(ComponentNames[1], u"Y");
        QCOMPARE(ComponentNames[3], u"Cr");
        QCOMPARE(ComponentNames[6], u"B");
    }

    void toolOutput()
    {
        const QString tool = qEnvironmentVariable("VANTORA_BINARY_DIR") + QLatin1String("/src/vantora-exif");
        QVERIFY2(QFileInfo(tool).isExecutable(), qPrintable(tool + QStringLiteral(" is not built")));
        const QString path = newPath(QStringLiteral("tool.jpg"));
        writeAll(path, plainJpeg(16, 8));
        writeExifValues(path,
                        {{QStringLiteral("Exif.Image.Make"), 0, QStringLiteral("Tab\there")},
                         {QStringLiteral("Exif.Image.XResolution"), 0, QStringLiteral("300/1")},
                         {QStringLiteral("Exif.Image.0xc005"), Exiv2SRational, QStringLiteral("-1/3")},
                         {QStringLiteral("Exif.Image.0xc001"), Exiv2Float, QStringLiteral("1.5")},
                         {QStringLiteral("Exif.Photo.ExifVersion"), 0, QStringLiteral("48 50 51 48")},
                         {QStringLiteral("Exif.Image.0xc007"), Exiv2Short, QStringLiteral("1 2 3")}},
                        Order::Little);
        QProcess run;
        run.start(tool, {path});
        QVERIFY(run.waitForFinished(30000));
        QCOMPARE(run.exitCode(), 0);
        const QStringList lines =
            QString::fromUtf8(run.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.value(0), QStringLiteral("size\t16\t8"));
        QVERIFY2(lines.contains(QStringLiteral("main\t0\t0x010f\t2\t9\tTab\\there")),
                 qPrintable(lines.join(u'|')));
        QVERIFY(lines.contains(QStringLiteral("main\t0\t0x011a\t5\t1\t300/1")));
        QVERIFY(lines.contains(QStringLiteral("main\t0\t0xc005\t10\t1\t-1/3")));
        QVERIFY(lines.contains(QStringLiteral("main\t0\t0xc001\t11\t1\t1.5")));
        QVERIFY(lines.contains(QStringLiteral("main\t0\t0xc007\t3\t3\t1 2 3")));
        QVERIFY(lines.contains(QStringLiteral("main\t1\t0x9000\t7\t4\t30 32 33 30")));
        QCOMPARE(lines.size(), 1 + 7); // six values and the Exif pointer

        const QString plain = newPath(QStringLiteral("plain.jpg"));
        writeAll(plain, plainJpeg(16, 8));
        run.start(tool, {plain});
        QVERIFY(run.waitForFinished(30000));
        QVERIFY(run.exitCode() != 0);
        QVERIFY(QString::fromUtf8(run.readAllStandardError()).contains(TExifInfo::ErrorText(-2)));
    }
};

QTEST_GUILESS_MAIN(TestExifInfo)
#include "tst_exifinfo.moc"
