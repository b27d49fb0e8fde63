// A camera as a source, through libgphoto2's "Directory Browse" camera: a folder shown as a camera.

#include "cameradrivers.h"
#include "testdir.h"

#include "platform/bytepath.h"
#include "platform/cameradesktop.h"
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

    // The run's cancel stops a download through the library's cancel; the bar follows the bytes meanwhile.
    // Nothing of a cancelled download is kept: the next opening downloads the whole file.
    void cancelStopsTheDownload_data()
    {
        QTest::addColumn<bool>("beforeTheStart");
        QTest::newRow("pressed before the download") << true;
        QTest::newRow("pressed during the download") << false;
    }
    void cancelStopsTheDownload()
    {
        QFETCH(bool, beforeTheStart);
        TestDir card;
        const QByteArray content(128 << 20, 'm');
        card.createFile(u"DCIM/100CANON/MVI_0001.MOV"_s, content);
        CameraSource source(cameraAt(card.path()));
        const SourceFiles files = source.list({u"*.MOV"_s});
        QCOMPARE(files.size(), 1);
        bool cancel = beforeTheStart;
        int looks = 0;
        QList<qint64> done;
        CameraActivity activity;
        activity.stopped = [&] {
            ++looks;
            return std::exchange(cancel, true);
        };
        activity.progress = [&](qint64 total, qint64 bytes) {
            QCOMPARE(total, qint64(content.size()));
            done.append(bytes);
        };
        source.setActivity(activity);
        const int fd = source.open(files.first());
        if (!beforeTheStart && looks < 2)
            QSKIP("the download ended before the cancel was looked at");
        QCOMPARE(fd, -ECANCELED);
        for (const qint64 bytes : std::as_const(done))
            QVERIFY(bytes >= 0 && bytes <= content.size());

        source.setActivity({});
        const int whole = source.open(files.first());
        QVERIFY(whole >= 0);
        struct stat st;
        QCOMPARE(::fstat(whole, &st), 0);
        QCOMPARE(qint64(st.st_size), qint64(content.size()));
        ::close(whole);
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

    // The desktop's mount of a camera, found in what `gio mount -li` lists, by the port's USB device or by a
    // location that names the port.
    void desktopMountInGioListing_data()
    {
        QTest::addColumn<QString>("listing");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("mount");
        const QString camera =
            u"Drive(0): Generic STORAGE DEVICE\n"
            u"  Type: GProxyDrive (GProxyVolumeMonitorUDisks2)\n"
            u"Volume(0): Canon Digital Camera\n"
            u"  Type: GProxyVolume (GProxyVolumeMonitorGPhoto2)\n"
            u"  ids:\n"
            u"   unix-device: '/dev/bus/usb/001/004'\n"
            u"  activation_root=gphoto2://Canon_Inc._Canon_Digital_Camera/\n"
            u"  Mount(0): Canon Digital Camera -> gphoto2://Canon_Inc._Canon_Digital_Camera/\n"
            u"    Type: GProxyShadowMount (GProxyVolumeMonitorGPhoto2)\n"
            u"Volume(1): Pixel 7\n"
            u"  ids:\n"
            u"   unix-device: '/dev/bus/usb/003/012'\n"
            u"  Mount(0): Pixel 7 -> mtp://Google_Pixel_7_28151FDH2003TC/\n"_s;
        QTest::newRow("camera by its device")
            << camera << u"usb:001,004"_s << u"gphoto2://Canon_Inc._Canon_Digital_Camera/"_s;
        QTest::newRow("phone by its device")
            << camera << u"usb:003,012"_s << u"mtp://Google_Pixel_7_28151FDH2003TC/"_s;
        QTest::newRow("another device") << camera << u"usb:001,005"_s << QString();
        QTest::newRow("location naming the port")
            << u"Mount(0): NIKON DSC D90 -> gphoto2://[usb:002,003]/\n"_s << u"usb:002,003"_s
            << u"gphoto2://[usb:002,003]/"_s;
        QTest::newRow("nothing mounted") << QString() << u"usb:001,004"_s << QString();
    }
    void desktopMountInGioListing()
    {
        QFETCH(QString, listing);
        QFETCH(QString, port);
        QFETCH(QString, mount);
        QCOMPARE(DesktopCameraMountIn(listing, port), mount);
    }

    // A camera another program holds: the desktop's mount is given back once and the camera opened again;
    // where it will not be, or no mount of the desktop holds it, one message says which program holds it
    // and what to do. gio here is a stand-in that lists the mount and records what it is asked.
    void heldByAnotherProgram_data()
    {
        QTest::addColumn<bool>("mounted");
        QTest::addColumn<bool>("letsGo");
        QTest::addColumn<QString>("heldBy"); // empty: opened
        QTest::newRow("the desktop's mount, given back") << true << true << QString();
        QTest::newRow("the desktop's mount, kept") << true << false << u"gvfs (gphoto2://[disk:{card}]/)"_s;
        QTest::newRow("another program") << false << false << u"不明"_s;
    }
    void heldByAnotherProgram()
    {
        QFETCH(bool, mounted);
        QFETCH(bool, letsGo);
        QFETCH(QString, heldBy);
        TestDir card;
        card.createFile(u"DCIM/100CANON/IMG_0001.JPG"_s, QByteArray(500, 'a'));
        TestDir tools;
        const QString log = tools.filePath(u"gio.log"_s);
        const QString released = tools.filePath(u"released"_s);
        const QString gio = tools.createFile(
            u"bin/gio"_s,
            QStringLiteral("#!/bin/sh\n"
                           "echo \"$*\" >> '%1'\n"
                           "if [ \"$2\" = -li ]; then\n"
                           "  %2\n"
                           "  exit 0\n"
                           "fi\n"
                           "%3\n")
                .arg(log,
                     mounted ? u"echo 'Mount(0): Directory Browse -> gphoto2://[disk:%1]/'"_s.arg(card.path())
                             : u":"_s,
                     letsGo ? u"touch '%1'"_s.arg(released) : u"exit 1"_s)
                .toUtf8());
        QVERIFY(QFile::setPermissions(gio, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(tools.filePath(u"bin"_s)) + ':' + path);
        SetCameraClaimFaultForTesting([&](const CameraId &) { return !QFile::exists(released); });
        const auto restore = qScopeGuard([&] {
            SetCameraClaimFaultForTesting({});
            qputenv("PATH", path);
        });

        const CameraSource source(cameraAt(card.path()));
        const CameraResult result = source.connect();
        QFile said(log);
        QVERIFY(said.open(QIODevice::ReadOnly));
        const QString calls = QString::fromUtf8(said.readAll());
        const QString unmount = u"mount -u gphoto2://[disk:"_s + card.path() + u"]/\n"_s;
        QCOMPARE(calls, u"mount -li\n"_s + (mounted ? unmount : QString()));
        if (heldBy.isEmpty()) {
            QVERIFY2(result.ok(), qPrintable(result.text));
            QCOMPARE(source.list({u"*.JPG"_s}).size(), 1);
            return;
        }
        QVERIFY(result.claimedElsewhere());
        const QString message = cameraNotReadyMessage(source.root(), result);
        QVERIFY2(message.contains(u"カメラは他のプログラム("_s +
                                  QString(heldBy).replace(u"{card}"_s, card.path()) +
                                  u")が使用しているため開けません。"_s),
                 qPrintable(message));
        QVERIFY(message.contains(u"ファイルマネージャーでカメラを取り出す"_s));
        QVERIFY(message.startsWith(u"転送元："_s + source.root()));
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
