// The shooting-date lookup: our own bounded QuickTime/MP4 reader for videos, exiv2 (given bounded bytes)
// for Exif and raw files, the file's modification time for everything else, and never a hang on a damaged
// file. Runs in JST (UTC+9), where a QuickTime time of 20:00 UTC is already the next local day.
#include "metadata/heifexif.h"
#include "metadata/quicktimedate.h"
#include "platform/bytepath.h"
#include "platform/filetimes.h"
#include "samplefiles.h"
#include "testdir.h"
#include "transfer/shootingdate.h"
#include "transferfixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTimeZone>

#include <exiv2/exiv2.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <functional>
#include <limits>
#include <optional>

using namespace vantora;
using namespace vantora::test;

namespace {

// 2024-03-09 20:00 UTC: 2024-03-10 in Japan.
const QDateTime Shot(QDate(2024, 3, 9), QTime(20, 0), QTimeZone::utc());
const QDate ShotLocalDay(2024, 3, 10);
const QDateTime Modified(QDate(2015, 6, 7), QTime(12, 0));

quint64 quickTimeSeconds(const QDateTime &utc)
{
    return quint64(utc.toSecsSinceEpoch() + 2082844800);
}

QByteArray be16(quint16 v)
{
    QByteArray b;
    b.append(char(v >> 8)).append(char(v));
    return b;
}

QByteArray be32(quint32 v)
{
    return be16(quint16(v >> 16)) + be16(quint16(v));
}

QByteArray be64(quint64 v)
{
    return be32(quint32(v >> 32)) + be32(quint32(v));
}

QByteArray box(const char *type, const QByteArray &payload)
{
    return be32(quint32(8 + payload.size())) + QByteArray(type, 4) + payload;
}

// A box with a 64-bit size; claimed overrides the true size.
QByteArray box64(const char *type, const QByteArray &payload, quint64 claimed = 0)
{
    return be32(1) + QByteArray(type, 4) + be64(claimed ? claimed : quint64(16 + payload.size())) + payload;
}

// A box of size 0: it runs to the end of the file.
QByteArray boxToEnd(const char *type, const QByteArray &payload)
{
    return be32(0) + QByteArray(type, 4) + payload;
}

QByteArray ftyp()
{
    return box("ftyp", QByteArray("isom") + be32(0x200) + QByteArray("isomiso2mp41"));
}

// The movie header's content: version 0 (32-bit times, 108 bytes as a box) or 1 (64-bit, 120 bytes).
QByteArray mvhdPayload(int version, quint64 seconds)
{
    QByteArray p;
    if (version == 1) {
        p += be32(0x01000000) + be64(seconds) + be64(seconds) + be32(1000) + be64(5000);
    } else {
        p += be32(quint32(version) << 24) + be32(quint32(seconds)) + be32(quint32(seconds)) + be32(1000) +
             be32(5000);
    }
    p += be32(0x00010000) + be16(0x0100) + QByteArray(10, '\0');
    for (quint32 m : {0x00010000u, 0u, 0u, 0u, 0x00010000u, 0u, 0u, 0u, 0x40000000u})
        p += be32(m);
    p += QByteArray(24, '\0') + be32(2);
    return p;
}

QByteArray mvhd(int version, const QDateTime &utc = Shot)
{
    return box("mvhd", mvhdPayload(version, quickTimeSeconds(utc)));
}

QByteArray trak()
{
    return box("trak", box("tkhd", QByteArray(84, '\0')) + box("mdia", box("mdhd", QByteArray(24, '\0'))));
}

QByteArray moov(const QByteArray &header = mvhd(0))
{
    return box("moov", header + trak());
}

QByteArray mdat(int bytes)
{
    return box("mdat", QByteArray(bytes, '\x5A'));
}

QByteArray nestedMoov(int depth)
{
    QByteArray inner = mvhd(0);
    for (int i = 0; i < depth; ++i)
        inner = box("moov", inner);
    return inner;
}

QByteArray manyTinyBoxes(int count)
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += box("free", {});
    return out;
}

bool writeBytes(const QString &path, const QByteArray &content)
{
    const QByteArray native = pathToBytes(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, content.constData(), size_t(content.size())) == content.size();
    return ::close(fd) == 0 && ok;
}

QString sampleFile(const TestDir &dir, const QString &name, const QByteArray &content)
{
    const QString path = dir.filePath(name);
    if (!writeBytes(path, content) || !setModified(path, Modified))
        return QString();
    return path;
}

// The shooting date read from a sample file of that name and content (see sampleFile).
void checkSampleDate(const QString &name, const QByteArray &content, QDate want)
{
    TestDir dir;
    const QString path = sampleFile(dir, name, content);
    QVERIFY(!path.isEmpty());
    QCOMPARE(ReadShootingDate(path), want);
}

// A source of made-up bytes, as large as wanted, that counts and checks every read the reader makes.
class CountingSource final : public QuickTimeSource
{
public:
    CountingSource(qint64 size, std::function<char(qint64)> byteAt)
        : m_size(size), m_byteAt(std::move(byteAt))
    {
    }
    qint64 size() const override { return m_size; }
    bool readAt(qint64 offset, char *buffer, int count) override
    {
        ++reads;
        if (offset < 0 || count < 1 || count > maxCount || offset > m_size || m_size - offset < count) {
            ++outOfBounds;
            return false;
        }
        for (int i = 0; i < count; ++i)
            buffer[i] = m_byteAt(offset + i);
        bytesRead += count;
        lowest = qMin(lowest, offset);
        highestEnd = qMax(highestEnd, offset + count);
        if (watchFrom >= 0 && offset + count > watchFrom && offset < watchTo)
            ++readsInWatched;
        return true;
    }

    int maxCount = 16; // the QuickTime reader's; the HEIF reader reads up to 64 KiB at once
    int reads = 0;
    int outOfBounds = 0;
    qint64 bytesRead = 0;
    qint64 lowest = std::numeric_limits<qint64>::max();
    qint64 highestEnd = 0;
    qint64 watchFrom = -1; // a range that must never be read (an mdat's content)
    qint64 watchTo = -1;
    int readsInWatched = 0;

private:
    qint64 m_size;
    std::function<char(qint64)> m_byteAt;
};

// Bytes of a QByteArray as a counting source.
CountingSource countingBytes(const QByteArray &bytes)
{
    return CountingSource(bytes.size(), [bytes](qint64 i) { return bytes.at(qsizetype(i)); });
}

// The most reads a walk may make: two per box header (a 64-bit size) and two for the movie header.
constexpr int MaxReads = 2 * QuickTimeMaxBoxes + 2;

QByteArray fullBox(const char *type, int version, const QByteArray &payload)
{
    return box(type, be32(quint32(version) << 24) + payload);
}

// A field of 0, 2, 4 or 8 bytes.
QByteArray field(int size, quint64 v)
{
    return size == 0 ? QByteArray() : size == 2 ? be16(quint16(v)) : size == 4 ? be32(quint32(v)) : be64(v);
}

// A HEIF image built by hand: ftyp, meta (hdlr, iinf with the image item 1 and the Exif item 2, iloc, an
// idat with the Exif item when method is 1), an mdat with the image and the Exif item. The Exif item is
// stored in pieces, last first with a gap before each, so only its extents in order join it. A value set
// below a field's true value stands for a damaged header.
struct HeifLayout
{
    enum Where
    {
        ExifInImageMdat,
        ExifInMdatAfterImageMdat,
        MetaLast,
    };
    QByteArray exif; // the item: the TIFF header offset, then the bytes
    QByteArray brands = QByteArray("heic") + be32(0) + "mif1heic";
    Where where = ExifInImageMdat;
    int iinfVersion = 0, infeVersion = 2;
    int ilocVersion = 1, offsetSize = 4, lengthSize = 4, baseSize = 0, indexSize = 0;
    int pieces = 1, method = 0;
    std::optional<quint64> iinfCount, ilocCount, extentCount, extentOffset, extentLength, dataReference;
};

QByteArray heifFile(const HeifLayout &h)
{
    const QByteArray image(1000, '\x11');
    QByteArray stored;
    QList<qint64> pieceAt(h.pieces);
    for (int i = h.pieces - 1; i >= 0; --i) {
        stored += QByteArray(7, '\xEE');
        pieceAt[i] = stored.size();
        const qsizetype from = h.exif.size() * i / h.pieces;
        stored += h.exif.mid(from, h.exif.size() * (i + 1) / h.pieces - from);
    }
    const bool inIdat = h.method == 1;
    auto meta = [&](qint64 imageAt, qint64 exifAt) {
        auto infe = [&](quint32 id, const char *type) {
            const QByteArray idField = h.infeVersion == 3 ? be32(id) : be16(quint16(id));
            return fullBox("infe", h.infeVersion,
                           h.infeVersion < 2
                               ? QByteArray(idField + be16(0) + QByteArray("name\0type\0", 10))
                               : QByteArray(idField + be16(0) + QByteArray(type, 4) + QByteArray(1, 0)));
        };
        const QByteArray iinf = fullBox("iinf", h.iinfVersion,
                                        field(h.iinfVersion == 0 ? 2 : 4, h.iinfCount.value_or(2)) +
                                            infe(1, "hvc1") + infe(2, "Exif"));
        const int v = h.ilocVersion;
        auto entry = [&](quint32 id, int method, quint64 base,
                         const QList<std::pair<quint64, quint64>> &extents, quint64 count,
                         quint64 dataReference) {
            QByteArray e = field(v < 2 ? 2 : 4, id) + field(v >= 1 ? 2 : 0, quint64(method)) +
                           be16(quint16(dataReference)) + field(h.baseSize, base) + be16(quint16(count));
            for (const auto &[offset, length] : extents)
                e += field(v >= 1 ? h.indexSize : 0, 0) + field(h.offsetSize, offset) +
                     field(h.lengthSize, length);
            return e;
        };
        const quint64 base = h.baseSize ? quint64(exifAt + (h.offsetSize ? 0 : pieceAt[0])) : 0;
        QList<std::pair<quint64, quint64>> extents;
        for (int i = 0; i < h.pieces; ++i) {
            const qint64 length = h.exif.size() * (i + 1) / h.pieces - h.exif.size() * i / h.pieces;
            extents += {quint64(exifAt + pieceAt[i]) - base, quint64(length)};
        }
        extents[0] = {h.extentOffset.value_or(extents[0].first), h.extentLength.value_or(extents[0].second)};
        const QByteArray iloc =
            fullBox("iloc", v,
                    be16(quint16(h.offsetSize << 12 | h.lengthSize << 8 | h.baseSize << 4 |
                                 (v >= 1 ? h.indexSize : 0))) +
                        field(v < 2 ? 2 : 4, h.ilocCount.value_or(2)) +
                        entry(1, 0, 0, {{quint64(imageAt), quint64(image.size())}}, 1, 0) +
                        entry(2, h.method, base, extents, h.extentCount.value_or(quint64(h.pieces)),
                              h.dataReference.value_or(0)));
        const QByteArray hdlr = fullBox("hdlr", 0, be32(0) + "pict" + QByteArray(13, 0));
        return fullBox("meta", 0, hdlr + iinf + iloc + (inIdat ? box("idat", stored) : QByteArray()));
    };
    const QByteArray ftyp = box("ftyp", h.brands);
    const qint64 metaSize = meta(0, 0).size();
    const QByteArray mdatData = inIdat ? image : image + stored;
    switch (h.where) {
    case HeifLayout::ExifInImageMdat: {
        const qint64 imageAt = ftyp.size() + metaSize + 8;
        return ftyp + meta(imageAt, inIdat ? 0 : imageAt + image.size()) + box("mdat", mdatData);
    }
    case HeifLayout::ExifInMdatAfterImageMdat: {
        const qint64 imageAt = ftyp.size() + metaSize + 8;
        return ftyp + meta(imageAt, inIdat ? 0 : imageAt + image.size() + 8) + box("mdat", image) +
               box("mdat", inIdat ? QByteArray() : stored);
    }
    case HeifLayout::MetaLast:
        break;
    }
    const qint64 imageAt = ftyp.size() + 8;
    return ftyp + box("mdat", image) + box("mdat", inIdat ? QByteArray() : stored) +
           meta(imageAt, inIdat ? 0 : imageAt + image.size() + 8);
}

// The most reads the HEIF reader may make: two per box header, one per item entry and two per iloc entry,
// and the Exif item's extents in 64 KiB pieces.
constexpr int MaxHeifReads = 2 * HeifMaxBoxes + 3 * HeifMaxItems + HeifMaxExtents + 16 + 8;

} // namespace

class TestShootingDate final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void quickTimeLayouts_data();
    void quickTimeLayouts();
    void quickTimeWithoutDate_data();
    void quickTimeWithoutDate();
    void hugeSizesEndPromptly();
    void endlessBoxesEndWithinBudget();
    void mdatIsSkippedUnread();
    void sparseFileWithMdatOfGigabytes();
    void utcBecomesLocalDay();
    void contentDetection();
    void realVideos();
    void exifAndRawStillRead();
    void rawMakes();
    void fujifilmRawReadsItsJpeg();
    void namesThatAreNotUtf8();
    void specialFilesDoNotBlock();
    void xmpNamespacesAreForgotten();
    void heifEncodedPhotos_data();
    void heifEncodedPhotos();
    void heifLayouts_data();
    void heifLayouts();
    void heifHugeSizesEndPromptly();
    void fuzzFindings();

private:
    QByteArray m_tiff; // a real Exif block (exiv2's) as TIFF bytes: DateTimeOriginal 2017:03:05 23:59:59
};

void TestShootingDate::initTestCase()
{
    qputenv("TZ", "JST-9");
    ::tzset();
    // The test means something only where the local day differs from the UTC day.
    QCOMPARE(Shot.toLocalTime().date(), ShotLocalDay);
    QVERIFY(Shot.date() != ShotLocalDay);

    TestDir dir;
    const QByteArray jpeg =
        taggedJpegBytes(dir.filePath(QStringLiteral("exif.jpg")),
                        QStringLiteral("Exif.Photo.DateTimeOriginal 2017:03:05 23:59:59"));
    const qsizetype at = jpeg.indexOf(QByteArray("Exif\0\0", 6));
    QVERIFY(at >= 4);
    m_tiff = jpeg.mid(at + 6, ((uchar(jpeg.at(at - 2)) << 8) | uchar(jpeg.at(at - 1))) - 8);
    QVERIFY(m_tiff.startsWith("II*") || m_tiff.startsWith("MM"));
}

void TestShootingDate::quickTimeLayouts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");

    const QByteArray f = ftyp();
    QTest::newRow("ftyp moov mvhd v0") << "a.mp4" << f + moov(mvhd(0)) + mdat(100);
    QTest::newRow("ftyp moov mvhd v1") << "a.mp4" << f + moov(mvhd(1)) + mdat(100);
    QTest::newRow("mdat at front, moov at back") << "a.MOV" << f + mdat(200000) + moov(mvhd(0));
    QTest::newRow("mdat at back") << "a.mov" << f + moov(mvhd(1)) + mdat(200000);
    QTest::newRow("mdat with a 64-bit size") << "a.mp4" << f + box64("mdat", QByteArray(5000, 'x')) + moov();
    QTest::newRow("moov with a 64-bit size") << "a.mp4" << f + box64("moov", mvhd(0) + trak()) + mdat(10);
    QTest::newRow("mvhd with a 64-bit size")
        << "a.mp4" << f + box("moov", box64("mvhd", mvhdPayload(1, quickTimeSeconds(Shot))));
    QTest::newRow("mdat of size 0 to the end")
        << "a.mp4" << f + moov() + boxToEnd("mdat", QByteArray(3000, 'y'));
    QTest::newRow("moov of size 0 to the end")
        << "a.mp4" << f + mdat(10) + boxToEnd("moov", mvhd(0) + trak());
    QTest::newRow("mvhd after a trak") << "a.mp4" << f + box("moov", trak() + trak() + mvhd(0));
    QTest::newRow("old QuickTime: wide, mdat, moov") << "a.mov" << box("wide", {}) + mdat(100) + moov();
    QTest::newRow("free and skip first")
        << "a.mp4" << box("free", QByteArray(20, 0)) + box("skip", {}) + f + moov();
    QTest::newRow("3gp") << "a.3gp" << box("ftyp", QByteArray("3gp4") + be32(0) + "3gp4") + moov();
    QTest::newRow("m4a") << "a.m4a" << box("ftyp", QByteArray("M4A ") + be32(0) + "M4A ") + moov();
    QTest::newRow("m4v") << "a.M4V" << f + moov();
    QTest::newRow("found by content, odd name") << "clip.dat" << f + moov();
    QTest::newRow("found by content, no name") << "clip" << mdat(1000) + moov(mvhd(1));
    QTest::newRow("found by content, named .jpg") << "clip.jpg" << f + moov();
    QTest::newRow("CR3 (brand crx)") << "IMG_0001.CR3"
                                     << box("ftyp", QByteArray("crx ") + be32(1) + "crx isom") + moov() +
                                            mdat(100);
}

void TestShootingDate::quickTimeLayouts()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    checkSampleDate(name, content, ShotLocalDay);

    // The reader alone: the UTC time, every read inside the file, a handful of reads.
    CountingSource source = countingBytes(content);
    QCOMPARE(ReadQuickTimeCreationTime(source), Shot);
    QCOMPARE(source.outOfBounds, 0);
    QVERIFY2(source.reads <= 16, qPrintable(QString::number(source.reads)));
    QVERIFY(source.bytesRead <= 16 * 16);
}

void TestShootingDate::quickTimeWithoutDate_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");

    const QByteArray f = ftyp();
    const QByteArray header = mvhd(0);
    QTest::newRow("creation time zero") << "a.mp4" << f + box("moov", box("mvhd", mvhdPayload(0, 0)));
    QTest::newRow("creation time zero, version 1")
        << "a.mp4" << f + box("moov", box("mvhd", mvhdPayload(1, 0)));
    QTest::newRow("mvhd claims 2^40 bytes")
        << "a.mp4"
        << f + box("moov", box64("mvhd", mvhdPayload(1, quickTimeSeconds(Shot)), quint64(1) << 40));
    QTest::newRow("mvhd claims 2^32-1 bytes")
        << "a.mp4"
        << f + box("moov", be32(0xFFFFFFFF) + QByteArray("mvhd") + mvhdPayload(0, quickTimeSeconds(Shot)));
    QTest::newRow("ftyp claims 2^32-1 bytes")
        << "a.mp4" << be32(0xFFFFFFFF) + QByteArray("ftypisom") + QByteArray(20, 0) + moov();
    QTest::newRow("moov claims 2^40 bytes") << "a.mp4" << f + box64("moov", header, quint64(1) << 40);
    QTest::newRow("moov claims 2^63-1 bytes") << "a.mp4" << f + box64("moov", header, 0x7FFFFFFFFFFFFFFFull);
    QTest::newRow("moov claims 2^64-1 bytes") << "a.mp4" << f + box64("moov", header, ~quint64(0));
    QTest::newRow("mdat claims past the end")
        << "a.mp4" << f + be32(0x7FFFFFFF) + QByteArray("mdat") + QByteArray(100, 0) + moov();
    QTest::newRow("truncated in the mvhd") << "a.mp4" << QByteArray(f + moov()).left(f.size() + 8 + 8 + 6);
    QTest::newRow("truncated in a box header") << "a.mp4" << QByteArray(f + moov()).left(f.size() + 5);
    QTest::newRow("truncated in a 64-bit size")
        << "a.mp4" << QByteArray(f + box64("moov", header)).left(f.size() + 12);
    QTest::newRow("truncated moov") << "a.mp4" << QByteArray(f + moov()).chopped(40);
    QTest::newRow("box size 4") << "a.mp4" << f + be32(4) + QByteArray("free") + moov();
    QTest::newRow("box size 4 hiding a moov") << "a.mp4" << f + be32(4) + moov();
    QTest::newRow("box size 7 in moov") << "a.mp4" << f + box("moov", be32(7) + QByteArray("trak") + header);
    QTest::newRow("64-bit size of 8") << "a.mp4" << f + box64("free", {}, 8) + moov();
    QTest::newRow("mvhd too small for its time")
        << "a.mp4" << f + box("moov", box("mvhd", be32(0) + be16(1)));
    QTest::newRow("mvhd version 1 with a 32-bit time")
        << "a.mp4" << f + box("moov", box("mvhd", be32(0x01000000) + be32(quint32(quickTimeSeconds(Shot)))));
    QTest::newRow("mvhd version 2") << "a.mp4"
                                    << f + box("moov", box("mvhd", mvhdPayload(2, quickTimeSeconds(Shot))));
    QTest::newRow("time past year 9999")
        << "a.mp4" << f + box("moov", box("mvhd", mvhdPayload(1, ~quint64(0))));
    QTest::newRow("no moov") << "a.mp4" << f + mdat(1000);
    QTest::newRow("moov without mvhd") << "a.mp4" << f + box("moov", trak());
    QTest::newRow("mvhd nested in moov after moov") << "a.mp4" << f + nestedMoov(2);
    QTest::newRow("moov nested 5000 deep") << "a.mp4" << f + nestedMoov(5000);
    QTest::newRow("more boxes than the budget before moov")
        << "a.mp4" << f + manyTinyBoxes(QuickTimeMaxBoxes + 10) + moov();
    QTest::newRow("empty file") << "a.mp4" << QByteArray();
    QTest::newRow("seven bytes") << "a.mp4" << QByteArray("\0\0\0\x08moo", 7);
    QTest::newRow("noise named .mp4") << "a.mp4" << QByteArray(4000, '\xA7');
    QTest::newRow("noise named .MOV") << "a.MOV" << QByteArray(4000, '\0');
}

void TestShootingDate::quickTimeWithoutDate()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    checkSampleDate(name, content, Modified.date());

    CountingSource source = countingBytes(content);
    QVERIFY(!ReadQuickTimeCreationTime(source).isValid());
    QCOMPARE(source.outOfBounds, 0);
    QVERIFY2(source.reads <= MaxReads, qPrintable(QString::number(source.reads)));
}

void TestShootingDate::hugeSizesEndPromptly()
{
    // A file of 120 bytes whose moov claims 2^40 bytes: refused after reading its header, nothing past the
    // file is asked for, nothing is allocated by the size.
    const QByteArray damaged = box64("moov", mvhd(1), quint64(1) << 40);
    CountingSource small = countingBytes(damaged);
    QVERIFY(!ReadQuickTimeCreationTime(small).isValid());
    QCOMPARE(small.outOfBounds, 0);
    QCOMPARE(small.reads, 2);
    QVERIFY(small.highestEnd <= damaged.size());

    // The same moov in a (made-up) file of 2^50 bytes that truly holds it, filled with endless 8-byte boxes
    // and no mvhd: the walk ends within its box budget.
    const qint64 size = qint64(1) << 50;
    const QByteArray moovHeader = be32(1) + QByteArray("moov") + be64(quint64(size));
    const QByteArray tiny = box("trak", {});
    CountingSource huge(size, [&](qint64 i) {
        return i < moovHeader.size() ? moovHeader.at(qsizetype(i)) : tiny.at(qsizetype((i - 16) % 8));
    });
    QVERIFY(!ReadQuickTimeCreationTime(huge).isValid());
    QCOMPARE(huge.outOfBounds, 0);
    QVERIFY2(huge.reads <= MaxReads, qPrintable(QString::number(huge.reads)));
    QVERIFY(huge.bytesRead <= qint64(MaxReads) * 16);

    // Through the lookup: the file's own time.
    TestDir dir;
    const QString path = sampleFile(dir, QStringLiteral("damaged.mp4"), ftyp() + damaged);
    QCOMPARE(ReadShootingDate(path), Modified.date());
}

void TestShootingDate::endlessBoxesEndWithinBudget()
{
    // 2^50 bytes of 8-byte top-level boxes: no moov is ever met; the walk stops at its budget.
    const QByteArray tiny = box("free", {});
    CountingSource endless(qint64(1) << 50, [&](qint64 i) { return tiny.at(qsizetype(i % 8)); });
    QVERIFY(!ReadQuickTimeCreationTime(endless).isValid());
    QCOMPARE(endless.outOfBounds, 0);
    QCOMPARE(endless.reads, QuickTimeMaxBoxes);

    // Size 0 ("to the end") for a box that is not the last does not loop either.
    const QByteArray toEnd = boxToEnd("free", {});
    CountingSource zeros(qint64(1) << 40, [&](qint64 i) { return toEnd.at(qsizetype(i % 8)); });
    QVERIFY(!ReadQuickTimeCreationTime(zeros).isValid());
    QCOMPARE(zeros.reads, 1);

    // A 64-bit size of 0 (smaller than its own header) is damage, not a box to step over in place.
    const QByteArray stuck = be32(1) + QByteArray("free") + be64(0);
    CountingSource stuckSource(qint64(1) << 40, [&](qint64 i) { return stuck.at(qsizetype(i % 16)); });
    QVERIFY(!ReadQuickTimeCreationTime(stuckSource).isValid());
    QCOMPARE(stuckSource.reads, 2);
}

void TestShootingDate::mdatIsSkippedUnread()
{
    // ftyp, then an mdat of 2^49 bytes (64-bit size), then the moov: the mdat's content is never read.
    const QByteArray head = ftyp() + be32(1) + QByteArray("mdat") + be64(quint64(1) << 49);
    const qint64 moovAt = ftyp().size() + (qint64(1) << 49);
    const QByteArray tail = moov(mvhd(1));
    CountingSource source(moovAt + tail.size(), [&](qint64 i) {
        if (i < head.size())
            return head.at(qsizetype(i));
        if (i >= moovAt)
            return tail.at(qsizetype(i - moovAt));
        return '\0';
    });
    source.watchFrom = head.size();
    source.watchTo = moovAt;
    QCOMPARE(ReadQuickTimeCreationTime(source), Shot);
    QCOMPARE(source.readsInWatched, 0);
    QCOMPARE(source.outOfBounds, 0);
    QVERIFY(source.reads <= 8);
}

void TestShootingDate::sparseFileWithMdatOfGigabytes()
{
    // A real (sparse) file with 5 GiB of mdat before its moov.
    TestDir dir;
    const QString path = dir.filePath(QStringLiteral("long.MP4"));
    const qint64 gap = qint64(5) << 30;
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QByteArray head = ftyp() + be32(1) + QByteArray("mdat") + be64(quint64(16 + gap));
    QCOMPARE(file.write(head), head.size());
    if (!file.seek(head.size() + gap))
        QSKIP("this filesystem takes no 5 GiB sparse file");
    const QByteArray tail = moov(mvhd(0));
    if (file.write(tail) != tail.size())
        QSKIP("this filesystem takes no 5 GiB sparse file");
    file.close();
    QVERIFY(setModified(path, Modified));
    QCOMPARE(QFileInfo(path).size(), head.size() + gap + tail.size());
    QCOMPARE(ReadShootingDate(path), ShotLocalDay);
}

void TestShootingDate::utcBecomesLocalDay()
{
    // Just before and after local midnight (15:00 UTC is 00:00 in Japan).
    for (const auto &[utc, local] :
         {std::pair{QDateTime(QDate(2024, 3, 9), QTime(14, 59, 59), QTimeZone::utc()), QDate(2024, 3, 9)},
          std::pair{QDateTime(QDate(2024, 3, 9), QTime(15, 0), QTimeZone::utc()), QDate(2024, 3, 10)},
          std::pair{QDateTime(QDate(2023, 12, 31), QTime(23, 30), QTimeZone::utc()), QDate(2024, 1, 1)},
          std::pair{QDateTime(QDate(1904, 1, 1), QTime(0, 0, 1), QTimeZone::utc()), QDate(1904, 1, 1)},
          std::pair{QDateTime(QDate(2040, 6, 30), QTime(20, 0), QTimeZone::utc()), QDate(2040, 7, 1)}}) {
        for (int version : {0, 1}) {
            if (version == 0 && quickTimeSeconds(utc) > 0xFFFFFFFFu)
                continue;
            const QByteArray bytes = ftyp() + moov(mvhd(version, utc));
            QuickTimeBytes source(bytes);
            QCOMPARE(ReadQuickTimeCreationTime(source), utc);
            QCOMPARE(ReadQuickTimeCreationDate(source), local);
            TestDir dir;
            QCOMPARE(ReadShootingDate(sampleFile(dir, QStringLiteral("v.mp4"), bytes)), local);
        }
    }
}

void TestShootingDate::contentDetection()
{
    QVERIFY(LooksLikeQuickTime(ftyp()));
    QVERIFY(LooksLikeQuickTime(box("wide", {})));
    QVERIFY(LooksLikeQuickTime(boxToEnd("mdat", {})));
    QVERIFY(LooksLikeQuickTime(box64("moov", {})));
    QVERIFY(LooksLikeQuickTime(box("skip", {})));
    QVERIFY(LooksLikeQuickTime(box("free", {})));
    QVERIFY(!LooksLikeQuickTime(QByteArray(be32(4) + QByteArray("ftyp"))));
    QVERIFY(!LooksLikeQuickTime(box("RIFF", {})));
    QVERIFY(!LooksLikeQuickTime(QByteArray("\xFF\xD8\xFF\xE0\0\x10JFIF", 10)));
    QVERIFY(!LooksLikeQuickTime(QByteArray("ftyp")));
    QVERIFY(LooksLikeHeif(box("ftyp", QByteArray("heic") + be32(0) + "mif1heic")));
    QVERIFY(LooksLikeHeif(box("ftyp", QByteArray("isom") + be32(0) + "isomavif")));
    QVERIFY(!LooksLikeHeif(box("ftyp", QByteArray("crx ") + be32(1) + "crx isom")));
    QVERIFY(!LooksLikeHeif(ftyp()));
    // A brand past the box's own size does not count.
    QVERIFY(!LooksLikeHeif(QByteArray(box("ftyp", QByteArray("isom") + be32(0)) + "mif1")));

    // A JPEG with an Exif date named like a video goes to the video reader only, never to exiv2: it has
    // no movie header, so the file's own time.
    TestDir dir;
    const QByteArray photo =
        taggedJpegBytes(dir.filePath(QStringLiteral("photo.jpg")),
                        QStringLiteral("Exif.Photo.DateTimeOriginal 2017:03:05 10:00:00"));
    QVERIFY(!photo.isEmpty());
    QCOMPARE(ReadShootingDate(sampleFile(dir, QStringLiteral("photo2.jpg"), photo)), QDate(2017, 3, 5));
    QCOMPARE(ReadShootingDate(sampleFile(dir, QStringLiteral("photo.mp4"), photo)), Modified.date());
    QCOMPARE(ReadShootingDate(sampleFile(dir, QStringLiteral("photo.MOV"), photo)), Modified.date());
}

void TestShootingDate::realVideos()
{
    if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
        QSKIP("ffmpeg is not installed, no real video to read");
    TestDir dir;
    struct Clip
    {
        QString name;
        QStringList extra;
    };
    const QList<Clip> clips = {
        {QStringLiteral("clip.MP4"), {}},
        {QStringLiteral("faststart.mp4"), {QStringLiteral("-movflags"), QStringLiteral("+faststart")}},
        {QStringLiteral("clip.MOV"), {}},
        {QStringLiteral("clip.3gp"), {QStringLiteral("-s"), QStringLiteral("176x144")}},
        {QStringLiteral("clip.m4v"), {QStringLiteral("-f"), QStringLiteral("mp4")}},
        {QStringLiteral("clip.bin"), {QStringLiteral("-f"), QStringLiteral("mov")}},
    };
    for (const Clip &clip : clips) {
        const QString path = dir.filePath(clip.name);
        QStringList args = {QStringLiteral("-loglevel"), QStringLiteral("error"),
                            QStringLiteral("-f"),        QStringLiteral("lavfi"),
                            QStringLiteral("-i"),        QStringLiteral("color=c=black:s=32x32:d=0.2"),
                            QStringLiteral("-metadata"), QStringLiteral("creation_time=2024-03-09T20:00:00Z"),
                            QStringLiteral("-c:v"),      QStringLiteral("mpeg4")};
        args += clip.extra;
        args << path;
        QVERIFY2(runTool(QStringLiteral("ffmpeg"), args), qPrintable(clip.name));
        QVERIFY(setModified(path, Modified));
        QVERIFY2(ReadShootingDate(path) == ShotLocalDay, qPrintable(clip.name));
    }

    // The same video cut short inside its moov (at the back): the file's own time.
    const QString whole = dir.filePath(QStringLiteral("clip.MP4"));
    QFile in(whole);
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QByteArray bytes = in.readAll();
    QCOMPARE(ReadShootingDate(sampleFile(dir, QStringLiteral("cut.MP4"), bytes.chopped(bytes.size() / 8))),
             Modified.date());
}

void TestShootingDate::exifAndRawStillRead()
{
    TestDir dir;
    const QString jpeg = writeTaggedJpeg(dir.filePath(QStringLiteral("tagged.jpg")),
                                         QStringLiteral("Exif.Photo.DateTimeOriginal 2017:03:05 23:59:59"));
    QVERIFY(!jpeg.isEmpty());
    QVERIFY(setModified(jpeg, Modified));
    QCOMPARE(ReadShootingDate(jpeg), QDate(2017, 3, 5));

    // Only XMP: found there.
    const QString xmp = writeTaggedJpeg(dir.filePath(QStringLiteral("xmp.jpg")),
                                        QStringLiteral("Xmp.exif.DateTimeOriginal 2016-08-01T10:00:00"));
    QVERIFY(!xmp.isEmpty());
    QVERIFY(setModified(xmp, Modified));
    QCOMPARE(ReadShootingDate(xmp), QDate(2016, 8, 1));

    // The Exif block after a long run of other segments, and a large image body after it.
    QFile f(jpeg);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray photo = f.readAll();
    QByteArray padded = photo.left(2);
    for (int i = 0; i < 40; ++i)
        padded += QByteArray("\xFF\xEC", 2) + be16(60000) + QByteArray(59998, char(i));
    padded += photo.mid(2);
    padded += QByteArray(3 << 20, '\0');
    QCOMPARE(ReadShootingDate(sampleFile(dir, QStringLiteral("padded.jpg"), padded)), QDate(2017, 3, 5));

    const QString raw = sampleFile(dir, QStringLiteral("raw.CR2"), minimalTiff());
    QVERIFY(runTool(
        QStringLiteral("exiv2"),
        {QStringLiteral("-M"), QStringLiteral("set Exif.Image.DateTimeOriginal 2012:12:24 18:00:00"), raw}));
    QVERIFY(setModified(raw, Modified));
    QCOMPARE(ReadShootingDate(raw), QDate(2012, 12, 24));

    // Damaged Exif files: the file's own time.
    for (const auto &[name, content] :
         {std::pair{QStringLiteral("cut.jpg"),
                    QByteArray(QByteArray("\xFF\xD8\xFF\xE1\x7F\xFF", 6) + "Exif")},
          std::pair{QStringLiteral("cut.tif"), minimalTiff().left(30)},
          std::pair{QStringLiteral("empty.jpg"), QByteArray()},
          std::pair{QStringLiteral("segments.jpg"),
                    QByteArray(QByteArray("\xFF\xD8", 2) + QByteArray(100000, '\xFF'))},
          std::pair{QStringLiteral("png.png"),
                    QByteArray(QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(100, 0))}}) {
        QCOMPARE(ReadShootingDate(sampleFile(dir, name, content)), Modified.date());
    }

    // The camera pictures of the shared test data read through real camera Exif blocks.
    const QString camera = sharedTestData(QStringLiteral("camera/canon-dslr.jpg"));
    if (!camera.isEmpty()) {
        QFile c(camera);
        QVERIFY(c.open(QIODevice::ReadOnly));
        const QString copy = sampleFile(dir, QStringLiteral("camera.jpg"), c.readAll());
        const QDate expected = exiv2DateTaken(copy);
        QVERIFY(expected.isValid());
        QCOMPARE(ReadShootingDate(copy), expected);
    }
}

void TestShootingDate::rawMakes()
{
    // A TIFF with its date in IFD0 under the magic numbers of other makes, and a Canon CRW (CIFF) heap:
    // each reaches exiv2's reader of that make.
    TestDir dir;
    const QString tiffPath = sampleFile(dir, QStringLiteral("body.tif"), minimalTiff());
    QVERIFY(runTool(QStringLiteral("exiv2"),
                    {QStringLiteral("-M"),
                     QStringLiteral("set Exif.Image.DateTimeOriginal 2012:12:24 18:00:00"), tiffPath}));
    QFile f(tiffPath);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray tiff = f.readAll();
    const QByteArray orf = QByteArray("IIRO") + tiff.mid(4);
    QCOMPARE(ReadShootingDate(sampleFile(dir, QStringLiteral("P0000001.ORF"), orf)), QDate(2012, 12, 24));
    auto be = [](quint32 v) { return be32(v); };
    const QByteArray mrw = QByteArray("\0MRM", 4) + be(quint32(tiff.size() + 8)) + QByteArray("\0TTW", 4) +
                           be(quint32(tiff.size())) + tiff;
    QCOMPARE(ReadShootingDate(sampleFile(dir, QStringLiteral("PICT0001.MRW"), mrw)), QDate(2012, 12, 24));

    // CIFF: the root directory holds the image-properties directory (0x300a), which holds the capture
    // time (0x180e, seconds since 1970: 2024-03-09 16:03:12 UTC, the 10th in Japan).
    auto le32 = [](quint32 v) {
        QByteArray b;
        for (int i = 0; i < 4; ++i)
            b.append(char(v >> (8 * i)));
        return b;
    };
    auto le16 = [](quint16 v) { return QByteArray().append(char(v)).append(char(v >> 8)); };
    const quint32 captured =
        quint32(QDateTime(QDate(2024, 3, 9), QTime(16, 3, 12), QTimeZone::utc()).toSecsSinceEpoch());
    QByteArray crw =
        QByteArray("II") + le32(26) + QByteArray("HEAPCCDR") + le32(0x00010002) + QByteArray(8, 0);
    crw += le32(captured) + le32(0) + le32(0);
    crw += le16(1) + le16(0x180e) + le32(12) + le32(0) + le32(12);
    crw += le16(1) + le16(0x300a) + le32(28) + le32(0) + le32(28);
    // exiv2 turns it into local time.
    QCOMPARE(ReadShootingDate(sampleFile(dir, QStringLiteral("CRW_0001.CRW"), crw)), QDate(2024, 3, 10));

    // The same bytes under a name of another make: found by content all the same.
    QCOMPARE(ReadShootingDate(sampleFile(dir, QStringLiteral("orf.dat"), orf)), QDate(2012, 12, 24));
}

void TestShootingDate::fujifilmRawReadsItsJpeg()
{
    TestDir dir;
    const QByteArray preview =
        taggedJpegBytes(dir.filePath(QStringLiteral("preview.jpg")),
                        QStringLiteral("Exif.Photo.DateTimeOriginal 2021:11:02 09:00:00"));
    QVERIFY(!preview.isEmpty());
    // Header: magic and format version, camera id, camera name, directory version; at 84 the JPEG's
    // offset and length, at 92 the CFA header's, at 100 the CFA's (all zero here).
    const quint32 at = 160;
    QByteArray raf(at, '\0');
    raf.replace(0, 28, "FUJIFILMCCD-RAW 0201FF383501");
    raf.replace(28, 5, "X-T99");
    raf.replace(60, 4, "0100");
    raf.replace(84, 8, QByteArray(be32(at) + be32(quint32(preview.size()))));
    QCOMPARE(raf.size(), qsizetype(at));
    raf += preview;
    QCOMPARE(ReadShootingDate(sampleFile(dir, QStringLiteral("DSCF0001.RAF"), raf)), QDate(2021, 11, 2));

    // Its JPEG said to run past the file, or to start past it: the file's own time.
    QByteArray longer = raf;
    longer.replace(88, 4, be32(quint32(preview.size() + 1)));
    QCOMPARE(ReadShootingDate(sampleFile(dir, QStringLiteral("long.RAF"), longer)), Modified.date());
    QByteArray outside = raf;
    outside.replace(84, 4, be32(0xFFFFFFF0));
    QCOMPARE(ReadShootingDate(sampleFile(dir, QStringLiteral("outside.RAF"), outside)), Modified.date());
}

void TestShootingDate::namesThatAreNotUtf8()
{
    TestDir dir;
    const QByteArray folder = pathToBytes(dir.path());

    // A video named with bytes that are not UTF-8: read through its byte path.
    const QString video = pathFromBytes(QByteArray(folder + "/\xFF\xFE clip \xE9.mp4"));
    QVERIFY(hasEscapedBytes(video));
    QVERIFY(writeBytes(video, ftyp() + moov(mvhd(1))));
    QVERIFY(setModified(video, Modified));
    QCOMPARE(ReadShootingDate(video), ShotLocalDay);

    // A photo so named: exiv2 gets its bytes.
    const QString plain = writeTaggedJpeg(dir.filePath(QStringLiteral("plain.jpg")),
                                          QStringLiteral("Exif.Photo.DateTimeOriginal 2017:03:05 10:00:00"));
    QVERIFY(!plain.isEmpty());
    const QString photo = pathFromBytes(QByteArray(folder + "/IMG_\xC3\x28.JPG"));
    QVERIFY(::rename(pathToBytes(plain).constData(), pathToBytes(photo).constData()) == 0);
    QCOMPARE(ReadShootingDate(photo), QDate(2017, 3, 5));

    // A file with no date so named: its own time, looked up through its byte path.
    const QString noise = pathFromBytes(QByteArray(folder + "/\x80\x81\x82.jpg"));
    QVERIFY(writeBytes(noise, QByteArray(500, '\x33')));
    QVERIFY(setModified(noise, Modified));
    QCOMPARE(fileLastModified(noise).date(), Modified.date());
    QCOMPARE(ReadShootingDate(noise), Modified.date());

    // A name that does not exist: no date at all.
    QCOMPARE(ReadShootingDate(pathFromBytes(QByteArray(folder + "/\xFF missing.mp4"))), QDate());

    // Qt's file classes cannot remove these names; the test does.
    for (const QString &path : {video, photo, noise})
        QVERIFY(::unlink(pathToBytes(path).constData()) == 0);
}

void TestShootingDate::specialFilesDoNotBlock()
{
    // A FIFO named like a video or a photo: reading it would wait for a writer forever. It is not read; its
    // own time is the date.
    TestDir dir;
    for (const QString &name :
         {QStringLiteral("pipe.mp4"), QStringLiteral("pipe.jpg"), QStringLiteral("pipe")}) {
        const QString path = dir.filePath(name);
        QVERIFY(::mkfifo(pathToBytes(path).constData(), 0600) == 0);
        QVERIFY(setModified(path, Modified));
        QCOMPARE(ReadShootingDate(path), Modified.date());
    }
    // A folder named like a video.
    const QString folder = dir.createDir(QStringLiteral("folder.mp4"));
    QVERIFY(setModified(folder, Modified));
    QCOMPARE(ReadShootingDate(folder), Modified.date());
}

void TestShootingDate::xmpNamespacesAreForgotten()
{
    // Found by the date fuzzer: exiv2 registers every unknown namespace of an XMP packet for good, so a
    // card of such files would grow its registry without end. The lookup leaves it as it found it.
    TestDir dir;
    const QString jpeg = writeJpeg(dir.filePath(QStringLiteral("ns.jpg")));
    const QString ns = QStringLiteral("http://example.com/vantora-test/");
    QVERIFY(runTool(QStringLiteral("exiv2"),
                    {QStringLiteral("-M"), QStringLiteral("reg vt ") + ns, QStringLiteral("-M"),
                     QStringLiteral("set Xmp.vt.Thing hello"), QStringLiteral("-M"),
                     QStringLiteral("set Xmp.exif.DateTimeOriginal 2016-08-01T10:00:00"), jpeg}));
    QVERIFY(setModified(jpeg, Modified));
    QVERIFY(Exiv2::XmpProperties::prefix(ns.toStdString()).empty());
    QCOMPARE(ReadShootingDate(jpeg), QDate(2016, 8, 1));
    QVERIFY(Exiv2::XmpProperties::prefix(ns.toStdString()).empty());
}

void TestShootingDate::heifEncodedPhotos_data()
{
    QTest::addColumn<QString>("exif"); // set on the JPEG that heif-enc encodes; none when empty
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QDate>("want");

    const QString taken = QStringLiteral("Exif.Photo.DateTimeOriginal 2017:03:05 23:59:59");
    QTest::newRow("HEIC") << taken << QStringList() << "IMG_3578.HEIC" << QDate(2017, 3, 5);
    QTest::newRow("HIF, date in IFD0") << "Exif.Image.DateTimeOriginal 2012:12:24 18:00:00" << QStringList()
                                       << "C0001.HIF" << QDate(2012, 12, 24);
    QTest::newRow("with a thumbnail item") << taken << QStringList{QStringLiteral("-t"), QStringLiteral("16")}
                                           << "IMG_3579.heic" << QDate(2017, 3, 5);
    QTest::newRow("AVIF") << taken << QStringList{QStringLiteral("-A")} << "photo.avif" << QDate(2017, 3, 5);
    QTest::newRow("named .JPG") << taken << QStringList() << "IMG_3580.JPG" << QDate(2017, 3, 5);
    QTest::newRow("named .MOV") << taken << QStringList() << "IMG_3581.MOV" << QDate(2017, 3, 5);
    QTest::newRow("no Exif") << QString() << QStringList() << "IMG_3582.HEIC" << Modified.date();
}

void TestShootingDate::heifEncodedPhotos()
{
    QFETCH(QString, exif);
    QFETCH(QStringList, options);
    QFETCH(QString, name);
    QFETCH(QDate, want);
    if (QStandardPaths::findExecutable(QStringLiteral("heif-enc")).isEmpty())
        QSKIP("heif-enc is not installed (Debian libheif-examples): no real HEIF image to read");
    TestDir dir;
    const QString source = dir.filePath(QStringLiteral("source.jpg"));
    QVERIFY(!(exif.isEmpty() ? writeJpeg(source) : writeTaggedJpeg(source, exif)).isEmpty());
    const QString encoded = dir.filePath(options.contains(QStringLiteral("-A")) ? QStringLiteral("out.avif")
                                                                                : QStringLiteral("out.heic"));
    QVERIFY(
        runTool(QStringLiteral("heif-enc"), options + QStringList{QStringLiteral("-o"), encoded, source}));
    const QString path = dir.filePath(name);
    QVERIFY(QFile::rename(encoded, path));
    QVERIFY(setModified(path, Modified));
    QCOMPARE(ReadShootingDate(path), want);

    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    CountingSource reader = countingBytes(f.readAll());
    reader.maxCount = 64 * 1024;
    QCOMPARE(ReadHeifExif(reader).isEmpty(), exif.isEmpty());
    QCOMPARE(reader.outOfBounds, 0);
}

void TestShootingDate::heifLayouts_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("dated");

    const QByteArray item = be32(0) + m_tiff;
    auto heif = [&](const std::function<void(HeifLayout &)> &change) {
        HeifLayout h;
        h.exif = item;
        change(h);
        return heifFile(h);
    };
    auto row = [&](const char *name, bool dated, const std::function<void(HeifLayout &)> &change) {
        QTest::newRow(name) << heif(change) << dated;
    };
    using L = HeifLayout;
    row("meta, then the image and the Exif item in one mdat", true, [](L &) {});
    row("Exif item in an mdat after the image's", true, [](L &h) { h.where = L::ExifInMdatAfterImageMdat; });
    row("meta after both mdats", true, [](L &h) { h.where = L::MetaLast; });
    row("iloc version 0", true, [](L &h) { h.ilocVersion = 0; });
    row("iloc version 2, 32-bit item ids", true, [](L &h) { h.ilocVersion = 2; });
    row("8-byte offsets and lengths", true, [](L &h) { h.offsetSize = h.lengthSize = 8; });
    row("base offset", true, [](L &h) { h.baseSize = 4; });
    row("8-byte base offset, no offsets", true, [](L &h) { h.baseSize = 8, h.offsetSize = 0; });
    row("no length, last in the file", true,
        [](L &h) { h.lengthSize = 0, h.where = L::ExifInMdatAfterImageMdat; });
    row("extent indexes", true, [](L &h) { h.indexSize = 4; });
    row("three extents stored out of order", true, [](L &h) { h.pieces = 3; });
    row("as many extents as allowed", true, [](L &h) { h.pieces = HeifMaxExtents; });
    row("in the meta's idat", true, [](L &h) { h.method = 1; });
    row("iinf version 1, infe version 3", true, [](L &h) { h.iinfVersion = 1, h.infeVersion = 3; });
    row("TIFF header offset past Exif\\0\\0", true,
        [&](L &h) { h.exif = be32(6) + QByteArray("Exif\0\0", 6) + m_tiff; });
    row("offset 0 before Exif\\0\\0", true,
        [&](L &h) { h.exif = be32(0) + QByteArray("Exif\0\0", 6) + m_tiff; });
    row("brand heix", true, [](L &h) { h.brands = QByteArray("heix") + be32(0) + "mif1heix"; });
    row("brand avif", true, [](L &h) { h.brands = QByteArray("avif") + be32(0) + "avifmif1miaf"; });
    row("brand msf1", true, [](L &h) { h.brands = QByteArray("msf1") + be32(0) + "msf1hevc"; });
    row("mif1 only compatible", true, [](L &h) { h.brands = QByteArray("isom") + be32(0) + "isommif1"; });
    row("Exif item of the largest size", true,
        [&](L &h) { h.exif += QByteArray(HeifMaxExifBytes - item.size(), 0); });

    row("Exif item one byte larger", false,
        [&](L &h) { h.exif += QByteArray(HeifMaxExifBytes - item.size() + 1, 0); });
    row("no item types (infe version 1)", false, [](L &h) { h.infeVersion = 1; });
    row("iinf count past its box", false, [](L &h) { h.iinfCount = 0xFFFF; });
    row("iinf count 2^32-1", false, [](L &h) { h.iinfVersion = 1, h.iinfCount = 0xFFFFFFFF; });
    row("iloc count past its box", false, [](L &h) { h.ilocCount = 0xFFFF; });
    row("iloc count 2^32-1", false, [](L &h) { h.ilocVersion = 2, h.ilocCount = 0xFFFFFFFF; });
    row("extent count past the box", false, [](L &h) { h.extentCount = 0xFFFF; });
    row("extent count 0", false, [](L &h) { h.extentCount = 0; });
    row("more extents than allowed", false, [](L &h) { h.pieces = HeifMaxExtents + 1; });
    row("extent length past the file", false, [](L &h) { h.extentLength = 100000; });
    row("extent length 2^32-1", false, [](L &h) { h.extentLength = 0xFFFFFFFF; });
    row("extent length 2^63", false, [](L &h) { h.lengthSize = 8, h.extentLength = quint64(1) << 63; });
    row("extent offset past the file", false, [](L &h) { h.extentOffset = 0x7FFFFFFF; });
    row("extent offset 2^64-1", false, [](L &h) { h.offsetSize = 8, h.extentOffset = ~quint64(0); });
    row("base and offset overflow", false,
        [](L &h) { h.baseSize = h.offsetSize = 8, h.extentOffset = ~quint64(0); });
    row("in another file (data reference 1)", false, [](L &h) { h.dataReference = 1; });
    row("made from other items (method 2)", false, [](L &h) { h.method = 2; });
    row("iloc version 3", false, [](L &h) { h.ilocVersion = 3; });
    row("offset size 2", false, [](L &h) { h.offsetSize = 2; });
    row("TIFF header offset past the item", false, [&](L &h) { h.exif = be32(0x7FFFFFF0) + m_tiff; });
    row("TIFF header offset to no TIFF header", false, [&](L &h) { h.exif = be32(2) + m_tiff; });
    row("Exif item of 4 bytes", false, [](L &h) { h.exif = be32(0); });

    const QByteArray good = heif([](L &) {});
    QTest::newRow("cut in the Exif item") << good.chopped(10) << false;
    QTest::newRow("cut in the meta") << good.left(100) << false;
    const qsizetype ftypSize = box("ftyp", HeifLayout().brands).size();
    QByteArray nested = fullBox("meta", 0, {});
    for (int i = 0; i < 5000; ++i)
        nested = fullBox("meta", 0, nested);
    QTest::newRow("meta nested 5000 deep") << good.left(ftypSize) + nested << false;
    QTest::newRow("meta claims 2^40 bytes")
        << good.left(ftypSize) + box64("meta", good.mid(ftypSize + 12), quint64(1) << 40) << false;
    QTest::newRow("a 64-bit size of 0 first")
        << good.left(ftypSize) + be32(1) + "free" + be64(0) + good.mid(ftypSize) << false;
    // Boxes before a last meta leave its offsets as they are: only the box budget stands in the way.
    const QByteArray last = heif([](L &h) { h.where = L::MetaLast; });
    const qsizetype metaAt = last.lastIndexOf("meta") - 4;
    QTest::newRow("100 boxes before the meta")
        << last.left(metaAt) + manyTinyBoxes(100) + last.mid(metaAt) << true;
    QTest::newRow("more boxes than the budget before the meta")
        << last.left(metaAt) + manyTinyBoxes(HeifMaxBoxes) + last.mid(metaAt) << false;
}

void TestShootingDate::heifLayouts()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, dated);
    checkSampleDate(QStringLiteral("IMG_0001.HEIC"), content, dated ? QDate(2017, 3, 5) : Modified.date());

    CountingSource source = countingBytes(content);
    source.maxCount = 64 * 1024;
    const QByteArray tiff = ReadHeifExif(source);
    QCOMPARE(tiff.startsWith(m_tiff), dated);
    QCOMPARE(source.outOfBounds, 0);
    QVERIFY2(source.reads <= MaxHeifReads, qPrintable(QString::number(source.reads)));
    if (!dated) // the Exif item is read only once it was found whole in the file and within the limit
        QVERIFY2(source.bytesRead < 128 * 1024, qPrintable(QString::number(source.bytesRead)));
}

void TestShootingDate::heifHugeSizesEndPromptly()
{
    // 2^50 bytes of 8-byte boxes: the walk stops at its budget.
    const QByteArray tiny = box("free", {});
    CountingSource endless(qint64(1) << 50, [&](qint64 i) { return tiny.at(qsizetype(i % 8)); });
    QVERIFY(ReadHeifExif(endless).isEmpty());
    QCOMPARE(endless.reads, HeifMaxBoxes);

    // An Exif item of 1 GiB in a (made-up) file of 2^40 bytes that holds it: refused unread.
    HeifLayout h;
    h.exif = be32(0) + m_tiff;
    h.extentLength = quint64(1) << 30;
    const QByteArray head = heifFile(h);
    CountingSource big(qint64(1) << 40,
                       [&](qint64 i) { return i < head.size() ? head.at(qsizetype(i)) : '\0'; });
    big.maxCount = 64 * 1024;
    big.watchFrom = head.size();
    big.watchTo = big.size();
    QVERIFY(ReadHeifExif(big).isEmpty());
    QCOMPARE(big.outOfBounds, 0);
    QCOMPARE(big.readsInWatched, 0);
    QVERIFY(big.bytesRead < 4096);

    // An iloc of 2^32-1 entries that such a file truly holds: no more than the item budget are looked at.
    const qint64 size = qint64(1) << 40;
    QByteArray front = box("ftyp", h.brands);
    front += be32(1) + QByteArray("meta") + be64(quint64(size - front.size())) + be32(0);
    front += fullBox("iinf", 0, be16(1) + fullBox("infe", 2, be16(2) + be16(0) + "Exif" + QByteArray(1, 0)));
    front += be32(1) + QByteArray("iloc") + be64(quint64(size - front.size())) + be32(2 << 24) +
             be16(0x4400) + be32(0xFFFFFFFF);
    CountingSource items(size, [&](qint64 i) { return i < front.size() ? front.at(qsizetype(i)) : '\0'; });
    items.maxCount = 64 * 1024;
    QVERIFY(ReadHeifExif(items).isEmpty());
    QCOMPARE(items.outOfBounds, 0);
    QVERIFY2(items.reads <= MaxHeifReads, qPrintable(QString::number(items.reads)));
    QVERIFY(items.bytesRead < qint64(HeifMaxItems) * 10 + 8192);
}

void TestShootingDate::fuzzFindings()
{
    // Inputs the date fuzzer saved (fuzz/findings): each must end with a date, quickly, in this process.
    const QDir findings(sourceDir() + QStringLiteral("/fuzz/findings"));
    const QStringList names = findings.entryList(QDir::Files);
    TestDir dir;
    int checked = 0;
    for (const QString &name : names) {
        if (name.endsWith(QLatin1String(".md")))
            continue;
        QFile f(findings.filePath(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        for (const QString &as : {QStringLiteral("finding.dat"), QStringLiteral("finding.mp4")}) {
            const QString path = sampleFile(dir, as, bytes);
            QVERIFY2(ReadShootingDate(path).isValid(), qPrintable(name));
            // The namespace of leak-xmp-namespace.jpg is not kept by exiv2.
            QVERIFY2(Exiv2::XmpProperties::prefix("http://example.com/vantora-fuzz/").empty(),
                     qPrintable(name));
        }
        QuickTimeBytes source(bytes);
        ReadQuickTimeCreationTime(source);
        ++checked;
    }
    if (checked == 0)
        QSKIP("no saved fuzz findings");
}

QTEST_GUILESS_MAIN(TestShootingDate)
#include "tst_shootingdate.moc"
