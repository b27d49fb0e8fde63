// A camera as a source, through libgphoto2's "Directory Browse" camera: a folder shown as a camera.

#include "cameradrivers.h"
#include "testdir.h"

#include "platform/bytepath.h"
#include "source/camerasource.h"
#include "source/importedfilter.h"

#include <QFile>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vantora;
using namespace vantora::test;
using namespace Qt::StringLiterals;

namespace {

QByteArray readAll(int fd)
{
    QByteArray bytes;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, n);
    return bytes;
}

void setTime(const QString &path, qint64 seconds)
{
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

CameraId cameraAt(const QString &folder)
{
    return CameraId{directoryCameraModel(), directoryCameraPort(folder)};
}

QStringList relatives(const SourceFiles &files)
{
    QStringList list;
    for (const SourceFile &file : files)
        list.append(file.relative);
    return list;
}

} // namespace

class CameraSourceTest final : public QObject
{
    Q_OBJECT

    TestDir m_drivers;

private Q_SLOTS:
    void initTestCase() { QVERIFY(useDirectoryCameraOnly(m_drivers.path())); }

    void sourceTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("port");
        QTest::newRow("usb") << u"gphoto2://[usb:001,004]/"_s << u"usb:001,004"_s;
        QTest::newRow("folder") << u"gphoto2://[disk:/media/x y]/"_s << u"disk:/media/x y"_s;
        QTest::newRow("folder source") << u"/media/card/DCIM/"_s << QString();
        QTest::newRow("no port") << u"gphoto2://[]/"_s << QString();
        QTest::newRow("no closing") << u"gphoto2://[usb:001,004"_s << QString();
        QTest::newRow("more after") << u"gphoto2://[usb:001,004]/DCIM/"_s << QString();
    }
    void sourceTexts()
    {
        QFETCH(QString, text);
        QFETCH(QString, port);
        QCOMPARE(CameraPortOf(text).value_or(QString()), port);
        if (!port.isEmpty())
            QCOMPARE(CameraSourceText(port), text);
    }

    // The camera's folders and storages are walked whole; the masks take names as they take a folder's,
    // once per mask; every file carries the camera's size and time, and the imported ones stay out.
    void listsEveryFolderWithSizesAndTimes_data()
    {
        QTest::addColumn<QStringList>("masks");
        QTest::addColumn<bool>("skipImported");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("jpegs") << QStringList{u"*.JPG"_s} << false
                               << QStringList{u"DCIM/100CANON/IMG_0001.JPG"_s,
                                              u"DCIM/101CANON/IMG_0002.JPG"_s};
        QTest::newRow("two masks take one file twice")
            << QStringList{u"*.JPG"_s, u"IMG_0001.*"_s, u"*.MOV"_s} << false
            << QStringList{u"DCIM/100CANON/IMG_0001.JPG"_s, u"DCIM/100CANON/IMG_0001.JPG"_s,
                           u"DCIM/100CANON/MVI_0003.MOV"_s, u"DCIM/101CANON/IMG_0002.JPG"_s};
        QTest::newRow("imported left out")
            << QStringList{u"*.*"_s} << true
            << QStringList{u"DCIM/100CANON/MVI_0003.MOV"_s, u"DCIM/101CANON/IMG_0002.JPG"_s};
    }
    void listsEveryFolderWithSizesAndTimes()
    {
        QFETCH(QStringList, masks);
        QFETCH(bool, skipImported);
        QFETCH(QStringList, expected);
        TestDir card;
        setTime(card.createFile(QStringLiteral("DCIM/100CANON/IMG_0001.JPG"), QByteArray(1000, 'a')),
                1500000000);
        setTime(card.createFile(QStringLiteral("DCIM/100CANON/MVI_0003.MOV"), QByteArray(3000, 'c')),
                1500000300);
        setTime(card.createFile(QStringLiteral("DCIM/101CANON/IMG_0002.JPG"), QByteArray(2000, 'b')),
                1500000200);
        card.createFile(QStringLiteral("DCIM/101CANON/notes.txt"), "not a picture");

        const CameraSource source(cameraAt(card.path()));
        QCOMPARE(source.root(), CameraSourceText(directoryCameraPort(card.path())));
        ImportedStamps imported;
        imported.insert(QByteArrayView("DCIM/100CANON/IMG_0001.JPG"), 1000, FileTime{1500000000, 0});
        // Same path, another time: not this file.
        imported.insert(QByteArrayView("DCIM/101CANON/IMG_0002.JPG"), 2000, FileTime{1500000999, 0});
        ImportedFilter filter(imported, source.root());
        const SourceFiles files = source.list(masks, nullptr, skipImported ? &filter : nullptr);
        QVERIFY2(source.listResult().ok(), qPrintable(source.listResult().text));
        QCOMPARE(relatives(files), expected);
        for (const SourceFile &file : files) {
            QCOMPARE(file.path, source.root() + file.relative);
            const QFileInfo real(card.filePath(file.relative));
            QCOMPARE(file.stamp,
                     (FileStamp{0, 0, real.size(), FileTime{real.lastModified().toSecsSinceEpoch(), 0}}));
        }
        QCOMPARE(filter.skippedCount(), skipImported ? 1 : 0);
    }

    // A file is downloaded once: the date and the copy read the same bytes, each from the start, as a
    // regular file with the camera's time; a download of another size than listed fails and keeps nothing.
    void opensOneCompleteDownload_data()
    {
        QTest::addColumn<qint64>("sizeAtDownload");
        QTest::addColumn<bool>("opens");
        QTest::newRow("as listed") << qint64(70000) << true;
        QTest::newRow("truncated after the listing") << qint64(40000) << false;
        QTest::newRow("emptied after the listing") << qint64(0) << false;
        QTest::newRow("grown after the listing") << qint64(90000) << false;
    }
    void opensOneCompleteDownload()
    {
        QFETCH(qint64, sizeAtDownload);
        QFETCH(bool, opens);
        TestDir card;
        QByteArray content(70000, Qt::Uninitialized);
        for (qsizetype i = 0; i < content.size(); ++i)
            content[i] = char(i * 7);
        const QString photo = card.createFile(QStringLiteral("DCIM/100CANON/IMG_0001.JPG"), content);
        setTime(photo, 1500000000);
        const CameraSource source(cameraAt(card.path()));
        const SourceFiles files = source.list({QStringLiteral("*.JPG")});
        QCOMPARE(files.size(), 1);

        QByteArray atDownload = content.left(sizeAtDownload);
        atDownload.append(QByteArray(qMax<qint64>(0, sizeAtDownload - content.size()), 'x'));
        card.createFile(QStringLiteral("DCIM/100CANON/IMG_0001.JPG"), atDownload);
        setTime(photo, 1500000000);
        const int first = source.open(files.first());
        if (!opens) {
            QCOMPARE(first, -EIO);
            QCOMPARE(source.lastFault(), SourceFault::Short);
            // Nothing kept: the next open downloads again, and fails again.
            QCOMPARE(source.open(files.first()), -EIO);
            return;
        }
        QVERIFY(first >= 0);
        // Changed on the camera after the download: the second reader still reads the first download.
        card.createFile(QStringLiteral("DCIM/100CANON/IMG_0001.JPG"), QByteArray(70000, 'z'));
        const int second = source.open(files.first());
        QVERIFY(second >= 0);
        QCOMPARE(readAll(first), content);
        QCOMPARE(readAll(second), content);
        struct stat st;
        QCOMPARE(::fstat(second, &st), 0);
        QVERIFY(S_ISREG(st.st_mode));
        QCOMPARE(qint64(st.st_mtim.tv_sec), qint64(1500000000));
        QCOMPARE(st.st_mode & 0777, mode_t(0644));
        ::close(first);
        ::close(second);
    }

    // What the name holds just before a deletion is what the camera lists now; a removal empties it.
    void currentStampAndRemoveFollowTheCamera()
    {
        TestDir card;
        const QString photo =
            card.createFile(QStringLiteral("DCIM/100CANON/IMG_0001.JPG"), QByteArray(500, 'a'));
        setTime(photo, 1500000000);
        const QString other =
            card.createFile(QStringLiteral("DCIM/100CANON/IMG_0002.JPG"), QByteArray(600, 'b'));
        const CameraSource source(cameraAt(card.path()));
        const SourceFiles files = source.list({QStringLiteral("*.JPG")});
        QCOMPARE(files.size(), 2);
        QCOMPARE(source.currentStamp(files.at(0)), std::optional<FileStamp>(files.at(0).stamp));

        setTime(photo, 1500000060);
        QCOMPARE(source.currentStamp(files.at(0))->mtime, (FileTime{1500000060, 0}));
        card.createFile(QStringLiteral("DCIM/100CANON/IMG_0001.JPG"), QByteArray(400, 'a'));
        QCOMPARE(source.currentStamp(files.at(0))->size, 400);

        QCOMPARE(source.remove(files.at(1)), 0);
        QVERIFY(!QFile::exists(other));
        QVERIFY(QFile::exists(photo));
        QCOMPARE(source.currentStamp(files.at(1)), std::nullopt);
        QVERIFY(source.remove(files.at(1)) != 0);
    }

    // The history knows a camera by its serial number; the folder camera has none, so by its model and
    // its folder. A camera gone answers no more, and a download from it fails as gone.
    void identityAndGone()
    {
        TestDir card;
        card.createFile(QStringLiteral("DCIM/100CANON/IMG_0001.JPG"), QByteArray(500, 'a'));
        const CameraSource source(cameraAt(card.path()));
        const SourceFiles files = source.list({QStringLiteral("*.JPG")});
        QCOMPARE(files.size(), 1);
        QCOMPARE(source.identity(), QStringLiteral("camera:Directory Browse:disk:") + card.path());
        QCOMPARE(source.model(), directoryCameraModel());
        QVERIFY(!source.gone());

        QVERIFY(QDir(card.path()).removeRecursively());
        QCOMPARE(source.open(files.first()), -EIO);
        QCOMPARE(source.lastFault(), SourceFault::Gone);
        QVERIFY(source.gone());
    }

    // A camera that cannot be opened lists nothing and says why.
    void unknownModelListsNothing()
    {
        TestDir card;
        card.createFile(QStringLiteral("DCIM/100CANON/IMG_0001.JPG"), QByteArray(500, 'a'));
        const CameraSource source(
            CameraId{QStringLiteral("No Such Camera"), directoryCameraPort(card.path())});
        QVERIFY(source.list({QStringLiteral("*.*")}).isEmpty());
        QVERIFY(!source.listResult().ok());
        QVERIFY(!source.listResult().text.isEmpty());
    }
};

QTEST_GUILESS_MAIN(CameraSourceTest)
#include "tst_camerasource.moc"
