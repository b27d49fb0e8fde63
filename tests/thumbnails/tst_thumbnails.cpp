// Thumbnails of the target list window: the maker on real camera files, the helper processes with their
// crash and hang seam, and the toggle in the real window under the offscreen platform, from a folder and
// from a camera on a cable (libgphoto2's "Directory Browse" camera).
#include "cameradrivers.h"
#include "platform/bytepath.h"
#include "platform/camera.h"
#include "platform/volumesfake.h"
#include "settings/settingsrecord.h"
#include "source/importstate.h"
#include "source/widgets/sourcecontroller.h"
#include "testdir.h"
#include "testhooks.h"
#include "thumbnails/thumbnailmaker.h"
#include "thumbnails/thumbnailpool.h"
#include "thumbnails/widgets/thumbnailcontroller.h"
#include "thumbnails/widgets/thumbnailmodel.h"
#include "ui/mainformareas.h"
#include "ui/tfilecountform.h"
#include "ui/tlistviewform.h"
#include "ui/tmainform.h"

#include <QApplication>
#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QListView>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtEndian>
#include <QTest>
#include <QTimer>

#include <exiv2/exiv2.hpp>

#include <algorithm>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vantora;
using vantora::test::TestDir;

namespace {

// The main extension table's masks, as the routing area hands them over.
class TableMasks final : public SourceNeighbours
{
public:
    explicit TableMasks(QStringList masks) : m_masks(std::move(masks)) {}
    QStringList extensionMasks() const override { return m_masks; }

private:
    QStringList m_masks;
};

QString helperProgram()
{
    return qEnvironmentVariable("VANTORA_BINARY_DIR") + QLatin1String("/src/vantora-thumbnailer");
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The smallest embedded preview of at least 160 px on its long side, as exiv2 itself gives it; a file exiv2
// cannot read has none.
QImage exiv2Preview(const QString &path)
{
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path.toStdString());
        image->readMetadata();
        Exiv2::PreviewManager previews(*image);
        for (const Exiv2::PreviewProperties &p : previews.getPreviewProperties()) {
            if (qMax(p.width_, p.height_) >= 160) {
                const Exiv2::PreviewImage preview = previews.getPreviewImage(p);
                return QImage::fromData(preview.pData(), int(preview.size()));
            }
        }
    } catch (const Exiv2::AnyError &) {
    }
    return {};
}

// Mean difference of the colour channels, 0..255: a re-encoded picture stays close to its original.
double meanDifference(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row);
            const QRgb q = y.pixel(col, row);
            sum += qAbs(qRed(p) - qRed(q)) + qAbs(qGreen(p) - qGreen(q)) + qAbs(qBlue(p) - qBlue(q));
        }
    }
    return sum / (3.0 * x.width() * x.height());
}

// A picture without metadata: left half red, right half blue.
QByteArray twoColourJpeg(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width / 2; ++col)
            image.setPixel(col, row, qRgb(255, 0, 0));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 95);
    return bytes;
}

// A small picture of one colour that tells its number: three base-13 digits, one per channel.
QByteArray numberedJpeg(int number)
{
    const auto level = [](int digit) { return digit * 19 + 10; };
    QImage image(48, 32, QImage::Format_RGB32);
    image.fill(qRgb(level(number % 13), level(number / 13 % 13), level(number / 169)));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 95);
    return bytes;
}

int numberOf(const QImage &picture)
{
    const QRgb p = picture.pixel(picture.width() / 2, picture.height() / 2);
    const auto digit = [](int level) { return qRound((level - 10) / 19.0); };
    return digit(qRed(p)) + 13 * digit(qGreen(p)) + 169 * digit(qBlue(p));
}

bool runTool(const QString &program, const QStringList &args)
{
    QProcess tool;
    tool.start(program, args);
    return tool.waitForFinished(120000) && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

bool haveTools()
{
    return !QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("heif-enc")).isEmpty();
}

// The picture the test videos and HEIF images are made from: left half red, right half blue, 352x288
// (a size every camera codec takes).
QImage halves()
{
    QImage image(352, 288, QImage::Format_RGB32);
    image.fill(qRgb(40, 60, 200));
    for (int row = 0; row < image.height(); ++row)
        for (int col = 0; col < image.width() / 2; ++col)
            image.setPixel(col, row, qRgb(200, 40, 40));
    return image;
}

// A two-second clip of the halves picture, encoded by ffmpeg with the options given.
bool makeClip(TestDir &dir, const QString &out, const QStringList &options)
{
    const QString still = dir.filePath(QStringLiteral("halves.png"));
    if (!QFileInfo::exists(still) && !halves().save(still))
        return false;
    return runTool(QStringLiteral("ffmpeg"),
                   QStringList{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                               QStringLiteral("-loop"), QStringLiteral("1"), QStringLiteral("-framerate"),
                               QStringLiteral("25"), QStringLiteral("-i"), still, QStringLiteral("-t"),
                               QStringLiteral("2")} +
                       options + QStringList{out});
}

// Sets the display matrix of an MP4's only video track to a quarter turn clockwise, as a phone held
// upright writes it (this ffmpeg cannot).
bool turnUpright(const QString &path)
{
    QByteArray mp4 = readFile(path);
    const qsizetype tkhd = mp4.indexOf("tkhd");
    // Version 0: flags, two times, track, reserved, duration, 8 reserved, layer, group, volume, reserved.
    const qsizetype matrix = tkhd + 4 + 4 + 4 * 5 + 8 + 8;
    if (tkhd < 0 || mp4.at(tkhd + 4) != 0 || matrix + 36 > mp4.size())
        return false;
    const qint32 values[9] = {0, 0x10000, 0, -0x10000, 0, 0, 0, 0, 0x40000000};
    for (int i = 0; i < 9; ++i)
        qToBigEndian(values[i], mp4.data() + matrix + 4 * i);
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(mp4) == mp4.size();
}

// What the pool makes of the files: one image per file (null for none), in the files' order.
struct PoolRun
{
    QList<QImage> images;
    QList<QSize> sources; // the size of the picture each was made from
    QList<bool> made;
    bool complete = false; // every file was made within the wait
    qint64 elapsedMs = 0;  // from the first file handed in to the end of the wait
};

PoolRun runPool(ThumbnailPool &pool, const QStringList &files)
{
    PoolRun run;
    run.images.resize(files.size());
    run.sources.resize(files.size());
    run.made.fill(false, files.size());
    int count = 0;
    QElapsedTimer clock;
    clock.start();
    QObject context;
    QObject::connect(&pool, &ThumbnailPool::made, &context,
                     [&](int id, const QImage &image, const QSize &source) {
                         run.images[id] = image;
                         run.sources[id] = source;
                         if (!run.made[id])
                             ++count;
                         run.made[id] = true;
                     });
    for (int i = 0; i < files.size(); ++i)
        pool.add(i, files.at(i));
    run.complete = QTest::qWaitFor([&] { return count == files.size(); }, 60000);
    run.elapsedMs = clock.elapsed();
    return run;
}

// A picture of one colour.
QByteArray filledJpeg(int width, int height, QRgb colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 95);
    return bytes;
}

// Gives the JPEG at path an Exif thumbnail, as cameras write their files.
void addExifThumbnail(const QString &path, const QByteArray &thumbnail)
{
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path.toStdString());
    image->readMetadata();
    Exiv2::ExifData data = image->exifData();
    data["Exif.Image.Make"] = "Vantora";
    Exiv2::ExifThumb(data).setJpegThumbnail(reinterpret_cast<const Exiv2::byte *>(thumbnail.constData()),
                                            long(thumbnail.size()));
    image->setExifData(data);
    image->writeMetadata();
}

// The windows of a source area showing thumbnails, as the program puts them together; the machine's volumes
// stand in as the root filesystem alone, its system folder a new one in dir.
struct ThumbnailWindows
{
    explicit ThumbnailWindows(TestDir &dir) : volumes(dir.createDir(QStringLiteral("sys")))
    {
        volumes.add({QStringLiteral("/"), DriveType::Fixed, true, QStringLiteral("ROOTFS")});
    }

    TMainForm main;
    TFileCountForm count;
    TListViewForm list;
    FakeVolumes volumes;
    SettingsRecord settings;
    ImportState state;
    SourceController source{main.sourceArea(), &state, &count, &list, &settings, &volumes};
    ThumbnailController thumbnails{&list, &source, helperProgram()};
};

bool processExists(qint64 pid)
{
    return ::kill(pid_t(pid), 0) == 0;
}

} // namespace

class TestThumbnails final : public QObject
{
    Q_OBJECT

private:
    QString m_camera; // the camera JPEG with an embedded preview
    TestDir m_drivers;

    QString camera(const QString &name) const
    {
        return test::sharedTestData(QLatin1String("camera/") + name);
    }

    // The pool over copies of the camera JPEG named a.jpg, b.jpg, ... (count of them), its helpers told to
    // fail by `fault` (see VANTORA_THUMBNAILER_FAULT).
    PoolRun runOnCopies(ThumbnailPool &pool, int count, const QByteArray &fault) const
    {
        TestDir dir;
        QStringList files;
        for (char name = 'a'; name < 'a' + count; ++name)
            files << dir.createFile(QLatin1Char(name) + QStringLiteral(".jpg"), readFile(m_camera));
        qputenv("VANTORA_THUMBNAILER_FAULT", fault);
        return runPool(pool, files);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(test::useDirectoryCameraOnly(m_drivers.path()));
        QVERIFY2(QFileInfo(helperProgram()).isExecutable(), qPrintable(helperProgram()));
        m_camera = camera(QStringLiteral("IMG_20180725_163423.jpg"));
        QVERIFY2(!m_camera.isEmpty(), "the shared camera test data is missing");
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    }

    void cleanup() { qunsetenv("VANTORA_THUMBNAILER_FAULT"); }

    void cameraJpegsGiveTheirSmallestBigEnoughPreview_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("pixel") << QStringLiteral("IMG_20180725_163423.jpg");
        QTest::newRow("canon") << QStringLiteral("canon-dslr.jpg");
        QTest::newRow("hasselblad") << QStringLiteral("issue-exifr-13.jpg");
    }
    void cameraJpegsGiveTheirSmallestBigEnoughPreview()
    {
        QFETCH(QString, name);
        const QString path = camera(name);
        QVERIFY(!path.isEmpty());
        const QImage preview = exiv2Preview(path);
        QVERIFY(!preview.isNull());
        const QImage full(path);

        QVERIFY(preview.size() != full.size());
        const QSize fitted = preview.width() > 160 || preview.height() > 160
                                 ? preview.size().scaled(160, 160, Qt::KeepAspectRatio)
                                 : preview.size();
        const QImage expected = preview.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);

        const Thumbnail made = MakeThumbnail(path);
        QCOMPARE(made.sourceSize, preview.size());
        QCOMPARE(made.image.size(), fitted);
        QVERIFY(meanDifference(made.image, expected) < 6.0);
        // A smaller square: the same preview, decoded smaller.
        const Thumbnail small = MakeThumbnail(path, 80);
        QCOMPARE(small.sourceSize, preview.size());
        QCOMPARE(small.image.size(), preview.size().scaled(80, 80, Qt::KeepAspectRatio));

        // Through the helper: the same picture, re-encoded.
        ThumbnailPool pool(helperProgram());
        const PoolRun run = runPool(pool, {path});
        QVERIFY(run.complete);
        QCOMPARE(run.sources.at(0), preview.size());
        QCOMPARE(run.images.at(0).size(), fitted);
        QVERIFY(meanDifference(run.images.at(0), expected) < 8.0);
    }

    void pictureWithoutPreviewIsDecodedScaled()
    {
        TestDir dir;
        const QString plain = dir.createFile(QStringLiteral("plain.jpg"), twoColourJpeg(1200, 800));
        const QString small = dir.createFile(QStringLiteral("small.jpg"), twoColourJpeg(100, 60));
        const QString noExif = camera(QStringLiteral("noexif.jpg"));
        QVERIFY(!noExif.isEmpty());

        ThumbnailPool pool(helperProgram());
        const PoolRun run = runPool(pool, {plain, small, noExif});
        QVERIFY(run.complete);
        const QImage big = run.images.at(0);
        QCOMPARE(big.size(), QSize(160, 106));
        QCOMPARE(run.sources.at(0), QSize(1200, 800));
        QVERIFY(qRed(big.pixel(20, 50)) > 200 && qBlue(big.pixel(20, 50)) < 60);
        QVERIFY(qBlue(big.pixel(140, 50)) > 200 && qRed(big.pixel(140, 50)) < 60);
        // Smaller than a thumbnail: as it is.
        QCOMPARE(run.images.at(1).size(), QSize(100, 60));
        const QSize original = QImage(noExif).size();
        QVERIFY(!original.isEmpty());
        QCOMPARE(run.images.at(2).size(), original.scaled(160, 160, Qt::KeepAspectRatio));
    }

    void damagedFilesGetNoPicture()
    {
        TestDir dir;
        const QByteArray jpeg = readFile(m_camera);
        QVERIFY(jpeg.size() > 100000);
        // A JPEG start, then noise: neither exiv2 nor the decoder finds a picture.
        QByteArray noise = jpeg.left(4);
        for (int i = 0; i < 200000; ++i)
            noise.append(char((i * 7919 + 13) % 251));
        // Segments whose lengths point past the end of the file.
        QByteArray lying = QByteArray("\xFF\xD8\xFF\xE1\xFF\xFF", 6) + jpeg.mid(6, 100);
        const QStringList files = {
            dir.createFile(QStringLiteral("noise.JPG"), noise),
            dir.createFile(QStringLiteral("lying.JPG"), lying),
            dir.createFile(QStringLiteral("empty.JPG"), QByteArray()),
            dir.createFile(QStringLiteral("header.JPG"), jpeg.left(600)),
            dir.path() + QLatin1String("/missing.JPG"),
            m_camera,
        };
        ThumbnailPool pool(helperProgram());
        const PoolRun run = runPool(pool, files);
        QVERIFY(run.complete);
        for (int i = 0; i < files.size() - 1; ++i)
            QVERIFY2(run.images.at(i).isNull(), qPrintable(files.at(i)));
        QCOMPARE(run.sources.last(), exiv2Preview(m_camera).size());
        // No helper went down on them.
        QCOMPARE(pool.helpersStarted(), 2);
    }

    // The Exif thumbnail is taken from its directory's two pointers; where they lie, or it is too small,
    // the thumbnail is what the full metadata read gives (exiv2's preview, else the picture itself).
    void exifThumbnailPointersAreCheckedAgainstTheFullRead_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QSize>("expected"); // an empty size: exiv2's own preview of the changed file
        const QSize full = QImage(m_camera).size();
        QTest::newRow("as written") << QString() << QSize(253, 189);
        QTest::newRow("offset past the block") << QStringLiteral("offset=2147483632") << full;
        QTest::newRow("offset past the file") << QStringLiteral("offset=4294967295") << full;
        QTest::newRow("offset off the JPEG") << QStringLiteral("offset+1") << QSize();
        QTest::newRow("length past the block") << QStringLiteral("length=2147483632") << QSize();
        QTest::newRow("length zero") << QStringLiteral("length=0") << QSize();
        QTest::newRow("no length tag") << QStringLiteral("no-length") << QSize();
        QTest::newRow("second directory past the block") << QStringLiteral("next=65535") << QSize();
        QTest::newRow("first directory past the block") << QStringLiteral("first=65535") << QSize();
        QTest::newRow("too small, written by a program") << QStringLiteral("small") << QSize(1200, 800);
        QTest::newRow("big enough, written by a program") << QStringLiteral("big") << QSize(200, 150);
    }
    void exifThumbnailPointersAreCheckedAgainstTheFullRead()
    {
        QFETCH(QString, change);
        QFETCH(QSize, expected);
        TestDir dir;
        QString path;
        if (change == QLatin1String("small") || change == QLatin1String("big")) {
            path = dir.createFile(QStringLiteral("made.jpg"), twoColourJpeg(1200, 800));
            addExifThumbnail(path, change == QLatin1String("small") ? filledJpeg(120, 90, qRgb(0, 200, 0))
                                                                    : filledJpeg(200, 150, qRgb(0, 200, 0)));
        } else {
            QByteArray jpeg = readFile(m_camera);
            // This camera writes "II": the TIFF header follows "Exif\0\0" in the first APP1 segment.
            const qsizetype tiff = jpeg.indexOf(QByteArray("Exif\0\0II", 8)) + 6;
            QVERIFY(tiff > 6);
            const auto u32At = [&](qsizetype at) {
                return qFromLittleEndian<quint32>(jpeg.constData() + at);
            };
            const auto setU32 = [&](qsizetype at, quint32 v) { qToLittleEndian(v, jpeg.data() + at); };
            const qsizetype first = tiff + u32At(tiff + 4);
            const qsizetype nextAt = first + 2 + 12 * qFromLittleEndian<quint16>(jpeg.constData() + first);
            const qsizetype second = tiff + u32At(nextAt);
            qsizetype offsetEntry = -1;
            qsizetype lengthEntry = -1;
            for (qsizetype e = second + 2;
                 e < second + 2 + 12 * qFromLittleEndian<quint16>(jpeg.constData() + second); e += 12) {
                const quint16 tag = qFromLittleEndian<quint16>(jpeg.constData() + e);
                (tag == 0x0201 ? offsetEntry : tag == 0x0202 ? lengthEntry : e) = e;
            }
            QVERIFY(offsetEntry > 0 && lengthEntry > 0);
            const QStringList parts = change.split(QLatin1Char('='));
            const quint32 value = parts.size() == 2 ? parts.at(1).toUInt() : 0;
            if (parts.at(0) == QLatin1String("offset"))
                setU32(offsetEntry + 8, value);
            else if (change == QLatin1String("offset+1"))
                setU32(offsetEntry + 8, u32At(offsetEntry + 8) + 1);
            else if (parts.at(0) == QLatin1String("length"))
                setU32(lengthEntry + 8, value);
            else if (change == QLatin1String("no-length"))
                jpeg[lengthEntry] = char(0x03);
            else if (parts.at(0) == QLatin1String("next"))
                setU32(nextAt, value);
            else if (parts.at(0) == QLatin1String("first"))
                setU32(tiff + 4, value);
            path = dir.createFile(QStringLiteral("camera.jpg"), jpeg);
        }
        if (expected.isEmpty()) {
            const QImage preview = exiv2Preview(path);
            expected = preview.isNull() ? QImage(path).size() : preview.size();
        }
        const Thumbnail made = MakeThumbnail(path);
        QCOMPARE(made.sourceSize, expected);
        QCOMPARE(made.image.size(), expected.scaled(160, 160, Qt::KeepAspectRatio).boundedTo(expected));
    }

    void aFifoNamedLikeAPhotoDoesNotBlock()
    {
        TestDir dir;
        const QString fifo = dir.filePath(QStringLiteral("IMG_0001.JPG"));
        QCOMPARE(::mkfifo(pathToBytes(fifo).constData(), 0600), 0);
        ThumbnailPool pool(helperProgram());
        pool.setTimeLimit(20000); // a blocked open would outlast the test's wait
        const PoolRun run = runPool(pool, {fifo, m_camera});
        QVERIFY(run.complete);
        QVERIFY(run.images.at(0).isNull());
        QVERIFY(!run.images.at(1).isNull());
        QCOMPARE(pool.helpersStarted(), 2);
    }

    void aHelperCrashCostsOneThumbnail()
    {
        if (!WithTestHooks)
            QSKIP("built without VANTORA_TEST_HOOKS: the helper has no crash switch");
        ThumbnailPool pool(helperProgram());
        pool.setWorkers(1); // one helper: each crash starts exactly one more
        const PoolRun run = runOnCopies(pool, 5, "crash:b.jpg|crash:d.jpg");
        QVERIFY(run.complete);
        const QSize preview = exiv2Preview(m_camera).size();
        QVERIFY(run.images.at(1).isNull());
        QVERIFY(run.images.at(3).isNull());
        for (int i : {0, 2, 4}) {
            QVERIFY(!run.images.at(i).isNull());
            QCOMPARE(run.sources.at(i), preview);
        }
        QCOMPARE(pool.helpersStarted(), 3);
    }

    void aHangPastTheLimitIsKilled()
    {
        if (!WithTestHooks)
            QSKIP("built without VANTORA_TEST_HOOKS: the helper has no hang switch");
        ThumbnailPool pool(helperProgram());
        pool.setWorkers(1);
        pool.setTimeLimit(1000);
        const PoolRun run = runOnCopies(pool, 3, "hang:b.jpg");
        QVERIFY(run.complete);
        QVERIFY(run.elapsedMs >= 1000);
        QVERIFY(run.images.at(1).isNull());
        QVERIFY(!run.images.at(0).isNull());
        QVERIFY(!run.images.at(2).isNull());
        QCOMPARE(pool.helpersStarted(), 2);
        QCOMPARE(pool.runningHelpers(), 1);
    }

    void aMissingHelperLeavesIconsOnly()
    {
        ThumbnailPool pool(QStringLiteral("/nonexistent/vantora-thumbnailer"));
        const PoolRun run = runPool(pool, {m_camera, m_camera});
        QVERIFY(run.complete);
        QVERIFY(run.images.at(0).isNull());
        QVERIFY(run.images.at(1).isNull());
    }

    void helpersThatDieOrTalkNonsenseCostTheirFilesOnly_data()
    {
        QTest::addColumn<QString>("helper");
        QTest::newRow("exits at once") << QStringLiteral("/bin/true");
        QTest::newRow("echoes its input") << QStringLiteral("/bin/cat");
    }
    void helpersThatDieOrTalkNonsenseCostTheirFilesOnly()
    {
        QFETCH(QString, helper);
        ThumbnailPool pool(helper);
        pool.setTimeLimit(5000);
        pool.warmUp();
        const PoolRun run = runPool(pool, {m_camera, m_camera, m_camera, m_camera, m_camera});
        QVERIFY(run.complete);
        for (const QImage &image : run.images)
            QVERIFY(image.isNull());
    }

    void videosAndHeifImagesGiveTheirPicture_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("upright");
        QTest::addColumn<QSize>("source"); // the size of the picture the thumbnail shows
        const QSize full(352, 288);
        const auto opts = [](const char *text) { return QString::fromLatin1(text).split(QLatin1Char(' ')); };
        const QString ffmpeg = QStringLiteral("ffmpeg");
        const QString heif = QStringLiteral("heif-enc");
        QTest::newRow("MP4 H.264") << "MVI_0001.MP4" << ffmpeg << opts("-c:v libx264 -pix_fmt yuv420p")
                                   << false << full;
        QTest::newRow("MOV HEVC") << "IMG_0002.MOV" << ffmpeg
                                  << opts("-c:v libx265 -pix_fmt yuv420p -tag:v hvc1") << false << full;
        QTest::newRow("MTS") << "00003.MTS" << ffmpeg << opts("-c:v libx264 -pix_fmt yuv420p -f mpegts")
                             << false << full;
        QTest::newRow("M2TS") << "00004.M2TS" << ffmpeg
                              << opts("-c:v libx264 -pix_fmt yuv420p -f mpegts -mpegts_m2ts_mode 1") << false
                              << full;
        QTest::newRow("AVI MPEG-4") << "MOV_0005.AVI" << ffmpeg << opts("-c:v mpeg4 -q:v 3") << false << full;
        QTest::newRow("3GP H.263") << "VID_0006.3gp" << ffmpeg << opts("-c:v h263") << false << full;
        QTest::newRow("MP4 upright") << "VID_0007.mp4" << ffmpeg << opts("-c:v libx264 -pix_fmt yuv420p")
                                     << true << full.transposed();
        QTest::newRow("MP4 named JPG")
            << "IMG_0008.JPG" << ffmpeg << opts("-c:v libx264 -pix_fmt yuv420p -f mp4") << false << full;
        QTest::newRow("HEIC") << "IMG_0009.HEIC" << heif << opts("-q 90") << false << full;
        QTest::newRow("HEIC thumbnail item") << "IMG_0010.heic" << heif << opts("-q 90 -t 200") << false
                                             << full.scaled(200, 200, Qt::KeepAspectRatio);
        QTest::newRow("AVIF") << "IMG_0011.avif" << heif << opts("-q 90") << false << full;
        QTest::newRow("HEIC named JPG") << "IMG_0012.JPG" << heif << opts("-q 90") << false << full;
    }
    void videosAndHeifImagesGiveTheirPicture()
    {
        QFETCH(QString, name);
        QFETCH(QString, tool);
        QFETCH(QStringList, options);
        QFETCH(bool, upright);
        QFETCH(QSize, source);
        if (!haveTools())
            QSKIP("ffmpeg or heif-enc is not installed: no real video or HEIF image to read");
        TestDir dir;
        const QString path = dir.filePath(name);
        if (tool == QLatin1String("ffmpeg")) {
            QVERIFY(makeClip(dir, path, options));
        } else {
            const QString still = dir.filePath(QStringLiteral("halves.png"));
            QVERIFY(halves().save(still));
            QVERIFY(runTool(tool, options + QStringList{QStringLiteral("-o"), path, still}));
        }
        if (upright)
            QVERIFY(turnUpright(path));

        ThumbnailPool pool(helperProgram());
        const PoolRun run = runPool(pool, {path});
        QVERIFY(run.complete);
        const QImage made = run.images.at(0);
        QVERIFY2(!made.isNull(), "an icon where a picture should be");
        // A thumbnail item's size is the encoder's rounding.
        QVERIFY2(qAbs(run.sources.at(0).width() - source.width()) <= 1 &&
                     qAbs(run.sources.at(0).height() - source.height()) <= 1,
                 qPrintable(
                     QStringLiteral("%1x%2").arg(run.sources.at(0).width()).arg(run.sources.at(0).height())));
        const QSize fitted = run.sources.at(0).scaled(160, 160, Qt::KeepAspectRatio);
        QVERIFY(qAbs(made.width() - fitted.width()) <= 1 && qAbs(made.height() - fitted.height()) <= 1);
        // Upright: the left half is on top.
        const QImage expected = halves()
                                    .transformed(QTransform().rotate(upright ? 90 : 0))
                                    .scaled(made.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QVERIFY2(meanDifference(made, expected) < 12.0,
                 qPrintable(QString::number(meanDifference(made, expected))));
    }

    void damagedVideosAndHeifImagesCostTheirThumbnailOnly()
    {
        if (!haveTools())
            QSKIP("ffmpeg or heif-enc is not installed: no real video or HEIF image to damage");
        TestDir dir;
        const QString clip = dir.filePath(QStringLiteral("good.MP4"));
        QVERIFY(makeClip(dir, clip, {QStringLiteral("-c:v"), QStringLiteral("libx264")}));
        const QString heic = dir.filePath(QStringLiteral("good.HEIC"));
        QVERIFY(runTool(QStringLiteral("heif-enc"),
                        {QStringLiteral("-o"), heic, dir.filePath(QStringLiteral("halves.png"))}));
        const QByteArray video = readFile(clip);
        const QByteArray image = readFile(heic);
        QByteArray noise;
        for (int i = 0; i < 200000; ++i)
            noise.append(char((i * 7919 + 13) % 251));
        // Transport packets: the sync byte every 188 bytes, noise between.
        QByteArray packets = noise;
        for (qsizetype at = 0; at < packets.size(); at += 188)
            packets[at] = 0x47;
        const QStringList files = {
            dir.createFile(QStringLiteral("cut.MP4"), video.left(video.size() / 2)),
            dir.createFile(QStringLiteral("noise.MOV"), video.left(32) + noise),
            dir.createFile(QStringLiteral("noise.MTS"), packets),
            dir.createFile(QStringLiteral("cut.HEIC"), image.left(image.size() * 2 / 3)),
            dir.createFile(QStringLiteral("noise.HEIC"), image.left(32) + noise),
            clip,
            heic,
        };
        ThumbnailPool pool(helperProgram());
        pool.setTimeLimit(3000);
        const PoolRun run = runPool(pool, files);
        QVERIFY(run.complete);
        for (int i = 0; i < files.size() - 2; ++i)
            QVERIFY2(run.images.at(i).isNull(), qPrintable(files.at(i)));
        QVERIFY(!run.images.at(files.size() - 2).isNull());
        QVERIFY(!run.images.at(files.size() - 1).isNull());
        // Each ended by itself, within its limit: no helper was killed or went down.
        QCOMPARE(pool.helpersStarted(), 2);
    }

    void kindsByName()
    {
        QCOMPARE(ThumbnailKindOf(QStringLiteral("/c/MVI_0001.MOV")), ThumbnailKind::Video);
        QCOMPARE(ThumbnailKindOf(QStringLiteral("/c/clip.mp4")), ThumbnailKind::Video);
        QCOMPARE(ThumbnailKindOf(QStringLiteral("/c/voice.WAV")), ThumbnailKind::Audio);
        QCOMPARE(ThumbnailKindOf(QStringLiteral("/c/IMG_1.CR2")), ThumbnailKind::Image);
        QCOMPARE(ThumbnailKindOf(QStringLiteral("/c/notes.txt")), ThumbnailKind::Other);
        // Every type the program imports has its group's kind, under an alias too.
        QCOMPARE(ThumbnailKindOf(QStringLiteral("/c/clip.flv")), ThumbnailKind::Video);
        QCOMPARE(ThumbnailKindOf(QStringLiteral("/c/tune.MID")), ThumbnailKind::Audio);
        QCOMPARE(ThumbnailKindOf(QStringLiteral("/c/layers.PSD")), ThumbnailKind::Image);
        QCOMPARE(ThumbnailKindOf(QStringLiteral("/c/IMG_2.jpeg")), ThumbnailKind::Image);
        QCOMPARE(ThumbnailKindOf(QStringLiteral("/c/M2U_1.MPEG")), ThumbnailKind::Video);
        // And names the type list does not hold.
        QCOMPARE(ThumbnailKindOf(QStringLiteral("/c/MVI_2.m4v")), ThumbnailKind::Video);
        QCOMPARE(ThumbnailKindOf(QStringLiteral("/c/IMG_3.HEIC")), ThumbnailKind::Image);
        QCOMPARE(ThumbnailKindOf(QStringLiteral("/c/take.aiff")), ThumbnailKind::Audio);
        QCOMPARE(ThumbnailKindOf(QStringLiteral("/c/README")), ThumbnailKind::Other);
        QCOMPARE(ThumbnailKindOf(QStringLiteral("/c/MVI_3.MOV.txt")), ThumbnailKind::Other);
    }

    void toggleShowsTheListsFilesAsAGrid()
    {
        if (!haveTools())
            QSKIP("ffmpeg is not installed: no real video for the grid");
        TestDir home;
        test::isolateHome(home.path());
        QStandardPaths::setTestModeEnabled(true);
        TestDir dir;
        const QByteArray jpeg = readFile(m_camera);
        const QString src = dir.createDir(QStringLiteral("card/DCIM/100CANON"));
        dir.createFile(QStringLiteral("card/DCIM/100CANON/IMG_0001.JPG"), jpeg);
        dir.createFile(QStringLiteral("card/DCIM/100CANON/IMG_0002.JPG"), twoColourJpeg(640, 480));
        dir.createFile(QStringLiteral("card/DCIM/100CANON/IMG_0003.JPG"), jpeg.left(300));
        // A name that is not valid UTF-8: the grid reads the exact file.
        const QByteArray odd = pathToBytes(src) + "/IMG_\xE9t\xE9.JPG";
        {
            const int fd = ::open(odd.constData(), O_WRONLY | O_CREAT, 0644);
            QVERIFY(fd >= 0);
            QCOMPARE(::write(fd, jpeg.constData(), size_t(jpeg.size())), ssize_t(jpeg.size()));
            ::close(fd);
        }
        // A whole 24-byte "ftyp" box: size, type, brand, version, two compatible brands.
        QByteArray movie("\0\0\0\x18"
                         "ftypqt  \0\0\0\0qt  qt  ",
                         24);
        movie.append(QByteArray(4000, '\0'));
        dir.createFile(QStringLiteral("card/DCIM/100CANON/MVI_0004.MOV"), movie);
        QVERIFY(makeClip(dir, dir.filePath(QStringLiteral("card/DCIM/100CANON/MVI_0005.MP4")),
                         {QStringLiteral("-c:v"), QStringLiteral("libx264")}));

        ThumbnailWindows windows(dir);
        auto &[main, count, list, volumes, settings, state, source, thumbnails] = windows;
        // The main extension table's masks, as the routing area hands them over.
        source.setNeighbours(std::make_unique<TableMasks>(
            QStringList{QStringLiteral("*.JPG"), QStringLiteral("*.MOV"), QStringLiteral("*.MP4")}));
        state.setSourceFolder(dir.filePath(QStringLiteral("card/DCIM/")));

        QStringList listed;
        QStringList listedAfter;
        QStringList gridPaths;
        QStringList gridNames;
        QList<ThumbnailModel::State> states;
        QList<ThumbnailKind> kinds;
        QList<QSize> sizes;
        bool listHidden = false;
        bool listShownAgain = false;
        QList<qint64> helpers;
        int helpersBeforeGrid = -1;
        QTimer::singleShot(0, this, [&] {
            for (int i = 0; i < list.ListBox1->count(); ++i)
                listed.append(list.ListBox1->item(i)->text());
            QVERIFY(list.ThumbnailGrid->isHidden());
            helpersBeforeGrid = thumbnails.pool()->helpersStarted();
            list.ThumbnailToggle->click();
            listHidden = list.ListBox1->isHidden() && list.ThumbnailGrid->isVisible();
            helpers = thumbnails.pool()->helperPids();
            QSignalSpy done(&thumbnails, &ThumbnailController::allMade);
            if (done.isEmpty())
                done.wait(30000);
            ThumbnailModel *model = thumbnails.model();
            QCOMPARE(list.ThumbnailGrid->model(), model);
            for (int row = 0; row < model->rowCount(); ++row) {
                gridPaths.append(model->pathAt(row));
                gridNames.append(model->index(row).data().toString());
                states.append(model->stateAt(row));
                kinds.append(model->kindAt(row));
                sizes.append(model->imageSizeAt(row));
            }
            list.ThumbnailToggle->click();
            listShownAgain = list.ListBox1->isVisible() && list.ThumbnailGrid->isHidden();
            for (int i = 0; i < list.ListBox1->count(); ++i)
                listedAfter.append(list.ListBox1->item(i)->text());
            list.close();
        });
        source.BitBtn1Click();

        QCOMPARE(listed.size(), 6);
        QCOMPARE(helpersBeforeGrid, 2); // started with the window, ready before the grid is asked for
        QVERIFY(listHidden);
        QVERIFY(listShownAgain);
        QCOMPARE(listedAfter, listed);
        QCOMPARE(gridPaths.size(), listed.size());
        for (int row = 0; row < gridPaths.size(); ++row) {
            QCOMPARE(displayPath(gridPaths.at(row)), listed.at(row));
            QCOMPARE(gridNames.at(row), QFileInfo(listed.at(row)).fileName());
        }
        const int odd_ = int(gridPaths.indexOf(pathFromBytes(odd)));
        QVERIFY(odd_ >= 0);
        const QSize preview = exiv2Preview(m_camera).size();
        for (int row = 0; row < gridPaths.size(); ++row) {
            const QString name = QFileInfo(gridPaths.at(row)).fileName();
            if (name == QLatin1String("IMG_0001.JPG") || row == odd_) {
                QCOMPARE(states.at(row), ThumbnailModel::State::Picture);
                QCOMPARE(sizes.at(row), preview);
            } else if (name == QLatin1String("IMG_0002.JPG")) {
                QCOMPARE(states.at(row), ThumbnailModel::State::Picture);
                QCOMPARE(sizes.at(row), QSize(640, 480));
            } else if (name == QLatin1String("IMG_0003.JPG")) {
                QCOMPARE(states.at(row), ThumbnailModel::State::Icon);
                QCOMPARE(kinds.at(row), ThumbnailKind::Image);
            } else if (name == QLatin1String("MVI_0005.MP4")) {
                QCOMPARE(states.at(row), ThumbnailModel::State::Picture);
                QCOMPARE(sizes.at(row), QSize(352, 288));
            } else {
                QCOMPARE(name, QStringLiteral("MVI_0004.MOV"));
                QCOMPARE(states.at(row), ThumbnailModel::State::Icon);
                QCOMPARE(kinds.at(row), ThumbnailKind::Video);
            }
        }
        QCOMPARE(helpers.size(), 2);
        ::unlink(odd.constData()); // QTemporaryDir cannot remove a name that is not UTF-8
        // Closed: the source controller emptied the list, the grid has nothing and no helper is left.
        QCOMPARE(list.ListBox1->count(), 0);
        QCOMPARE(thumbnails.model()->rowCount(), 0);
        QCOMPARE(thumbnails.pool()->runningHelpers(), 0);
    }

    // A camera's files: its own preview where it gives one (a JPEG's Exif thumbnail, for this camera), else
    // the file's own picture; a damaged file keeps its icon.
    void aCamerasGridShowsItsPreviews()
    {
        TestDir home;
        test::isolateHome(home.path());
        QStandardPaths::setTestModeEnabled(true);
        TestDir dir;
        const QString folder = dir.createDir(QStringLiteral("camera/DCIM/100CANON"));
        const QString withPreview =
            dir.createFile(QStringLiteral("camera/DCIM/100CANON/IMG_0001.JPG"), twoColourJpeg(640, 480));
        addExifThumbnail(withPreview, filledJpeg(120, 90, qRgb(0, 200, 0)));
        dir.createFile(QStringLiteral("camera/DCIM/100CANON/IMG_0002.JPG"), twoColourJpeg(800, 600));
        dir.createFile(QStringLiteral("camera/DCIM/100CANON/IMG_0003.JPG"),
                       twoColourJpeg(640, 480).left(300));
        dir.createFile(QStringLiteral("camera/DCIM/100CANON/IMG_0004.JPG"),
                       filledJpeg(200, 100, qRgb(0, 0, 255)));

        ThumbnailWindows windows(dir);
        auto &[main, count, list, volumes, settings, state, source, thumbnails] = windows;
        source.setNeighbours(std::make_unique<TableMasks>(QStringList{QStringLiteral("*.JPG")}));
        settings.CameraModel = test::directoryCameraModel();
        const QString root =
            CameraSourceText(test::directoryCameraPort(dir.filePath(QStringLiteral("camera"))));
        state.setSourceFolder(root);

        QHash<QString, QImage> pictures;
        QHash<QString, QSize> sizes;
        QHash<QString, ThumbnailModel::State> states;
        QTimer::singleShot(0, this, [&] {
            QSignalSpy done(&thumbnails, &ThumbnailController::allMade);
            list.ThumbnailToggle->click();
            if (done.isEmpty())
                done.wait(30000);
            ThumbnailModel *model = thumbnails.model();
            for (int row = 0; row < model->rowCount(); ++row) {
                const QString name = QFileInfo(model->pathAt(row)).fileName();
                pictures.insert(name, model->pictureAt(row));
                sizes.insert(name, model->imageSizeAt(row));
                states.insert(name, model->stateAt(row));
            }
            list.close();
        });
        source.BitBtn1Click();

        QCOMPARE(states.size(), 4);
        const auto colourAt = [&pictures](const QString &name, double x) {
            const QImage &picture = pictures.value(name);
            return picture.isNull() ? QColor()
                                    : picture.pixelColor(int(x * picture.width()), picture.height() / 2);
        };
        const auto near = [](const QColor &a, const QColor &b) {
            return qAbs(a.red() - b.red()) + qAbs(a.green() - b.green()) + qAbs(a.blue() - b.blue()) < 60;
        };
        // The camera's preview, not the picture a card's file would show.
        QCOMPARE(states.value(QStringLiteral("IMG_0001.JPG")), ThumbnailModel::State::Picture);
        QCOMPARE(sizes.value(QStringLiteral("IMG_0001.JPG")), QSize(120, 90));
        QVERIFY(near(colourAt(QStringLiteral("IMG_0001.JPG"), 0.5), QColor(0, 200, 0)));
        // No preview: the file downloaded and decoded.
        QCOMPARE(states.value(QStringLiteral("IMG_0002.JPG")), ThumbnailModel::State::Picture);
        QCOMPARE(sizes.value(QStringLiteral("IMG_0002.JPG")), QSize(800, 600));
        QVERIFY(near(colourAt(QStringLiteral("IMG_0002.JPG"), 0.2), QColor(255, 0, 0)));
        QVERIFY(near(colourAt(QStringLiteral("IMG_0002.JPG"), 0.8), QColor(0, 0, 255)));
        QCOMPARE(states.value(QStringLiteral("IMG_0004.JPG")), ThumbnailModel::State::Picture);
        QCOMPARE(sizes.value(QStringLiteral("IMG_0004.JPG")), QSize(200, 100));
        QVERIFY(near(colourAt(QStringLiteral("IMG_0004.JPG"), 0.5), QColor(0, 0, 255)));
        QCOMPARE(states.value(QStringLiteral("IMG_0003.JPG")), ThumbnailModel::State::Icon);
        // Nothing of the camera was changed.
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 4);
    }

    void theGridKeepsThePicturesAroundItsViewOnly()
    {
        TestDir home;
        test::isolateHome(home.path());
        QStandardPaths::setTestModeEnabled(true);
        TestDir dir;
        constexpr int Files = 2000;
        dir.createDir(QStringLiteral("card/DCIM/100CANON"));
        for (int i = 0; i < Files; ++i)
            dir.createFile(QStringLiteral("card/DCIM/100CANON/IMG_%1.JPG").arg(i, 4, 10, QLatin1Char('0')),
                           numberedJpeg(i));

        ThumbnailWindows windows(dir);
        auto &[main, count, list, volumes, settings, state, source, thumbnails] = windows;
        source.setNeighbours(std::make_unique<TableMasks>(QStringList{QStringLiteral("*.JPG")}));
        state.setSourceFolder(dir.filePath(QStringLiteral("card/DCIM/")));
        ThumbnailModel *model = thumbnails.model();
        QListView *grid = list.ThumbnailGrid;
        const auto shownRows = [&] {
            QList<int> rows;
            for (int row = 0; row < model->rowCount(); ++row) {
                if (grid->viewport()->rect().intersects(grid->visualRect(model->index(row))))
                    rows.append(row);
            }
            return rows;
        };
        const auto allMade = [&](const QList<int> &rows) {
            return !rows.isEmpty() && std::all_of(rows.begin(), rows.end(), [&](int row) {
                return model->stateAt(row) == ThumbnailModel::State::Picture;
            });
        };
        const auto pictures = [&] {
            int n = 0;
            for (int row = 0; row < model->rowCount(); ++row)
                n += model->stateAt(row) == ThumbnailModel::State::Picture ? 1 : 0;
            return n;
        };

        bool finished = false;
        const auto scrollThrough = [&] {
            const auto closeAtEnd = qScopeGuard([&] { list.close(); });
            list.ThumbnailToggle->click();
            QCOMPARE(model->rowCount(), Files);
            // Down to the end and back to the top: each stop shows its own files' pictures, those far away
            // are dropped, and the first page comes back when it is in view again.
            for (int top : {0, Files / 2, Files - 1, 0}) {
                grid->scrollTo(model->index(top), QAbstractItemView::PositionAtTop);
                QTRY_VERIFY_WITH_TIMEOUT(allMade(shownRows()), 30000);
                for (int row : shownRows()) {
                    const int number = QFileInfo(model->pathAt(row)).completeBaseName().mid(4).toInt();
                    QCOMPARE(numberOf(model->pictureAt(row)), number);
                }
                QTRY_COMPARE_WITH_TIMEOUT(thumbnails.pool()->pending(), 0, 30000);
                QVERIFY2(pictures() <= model->cacheLimit(), qPrintable(QString::number(pictures())));
                if (top == Files - 1)
                    QCOMPARE(model->stateAt(0), ThumbnailModel::State::Pending);
            }
            finished = true;
        };
        // After the list is filled: the walk before it pumps events.
        connect(
            &source, &SourceController::listFilled, this, [&] { QTimer::singleShot(0, this, scrollThrough); },
            Qt::SingleShotConnection);
        source.BitBtn1Click();

        QVERIFY(finished);
        QCOMPARE(model->rowCount(), 0);
        QCOMPARE(model->pictureCount(), 0);
        QCOMPARE(thumbnails.pool()->pending(), 0);
        QCOMPARE(thumbnails.pool()->runningHelpers(), 0);
    }

    void closingTheWindowKillsTheHelpers()
    {
        if (!WithTestHooks)
            QSKIP("built without VANTORA_TEST_HOOKS: the helper has no hang switch");
        TestDir dir;
        const QByteArray jpeg = readFile(m_camera);
        const QString src = dir.createDir(QStringLiteral("card/DCIM/100CANON"));
        for (int i = 1; i <= 60; ++i)
            dir.createFile(QStringLiteral("card/DCIM/100CANON/IMG_%1.JPG").arg(i, 4, 10, QLatin1Char('0')),
                           jpeg);
        // Two files that hold their helpers until they are killed.
        qputenv("VANTORA_THUMBNAILER_FAULT", "hang:IMG_0001.JPG|hang:IMG_0002.JPG");

        ThumbnailWindows windows(dir);
        auto &[main, count, list, volumes, settings, state, source, thumbnails] = windows;
        thumbnails.setTimeLimit(60000);
        list.ThumbnailToggle->setChecked(true); // the grid from the start, as the user left it
        // The main extension table's mask, as the routing area hands it over.
        source.setNeighbours(std::make_unique<TableMasks>(QStringList{QStringLiteral("*.JPG")}));
        state.setSourceFolder(dir.filePath(QStringLiteral("card/DCIM/")));

        QList<qint64> helpers;
        int rows = 0;
        QTimer::singleShot(0, this, [&] {
            QTRY_COMPARE(thumbnails.pool()->runningHelpers(), 2);
            helpers = thumbnails.pool()->helperPids();
            rows = thumbnails.model()->rowCount();
            QTest::qWait(300);
            list.close();
        });
        source.BitBtn1Click();
        QCOMPARE(rows, 60);
        QCOMPARE(helpers.size(), 2);
        for (qint64 pid : helpers)
            QVERIFY2(!processExists(pid), qPrintable(QString::number(pid)));
        QCOMPARE(thumbnails.pool()->runningHelpers(), 0);
        QCOMPARE(thumbnails.pool()->pending(), 0);
        QCOMPARE(thumbnails.model()->madeCount(), 0);
    }
};

QTEST_MAIN(TestThumbnails)
#include "tst_thumbnails.moc"
