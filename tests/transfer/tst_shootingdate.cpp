// The shooting-date lookup: our own bounded QuickTime/MP4 reader for videos, exiv2 (given bounded bytes)
// for Exif and raw files, the file's modification time for everything else, and never a hang on a damaged
// file. Runs in JST (UTC+9), where a QuickTime time of 20:00 UTC is already the next local day.
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
        if (offset < 0 || count < 1 || count > 16 || offset > m_size || m_size - offset < count) {
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
    void fuzzFindings();
};

void TestShootingDate::initTestCase()
{
    qputenv("TZ", "JST-9");
    ::tzset();
    // The test means something only where the local day differs from the UTC day.
    QCOMPARE(Shot.toLocalTime().date(), ShotLocalDay);
    QVERIFY(Shot.date() != ShotLocalDay);
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
