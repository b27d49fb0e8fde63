#include "platform/bytepath.h"
#include "system/deviceimport.h"

#include "../platform/rawfiles.h"
#include "sandbox.h"
#include "tables.h"
#include "testdir.h"
#include "testprompt.h"

#include <QDirIterator>
#include <QProcess>
#include <QtTest>

#include <cstdio>
#include <sys/mount.h>

using namespace vantora;
using vantora::test::Text;

namespace {

// Every file below a folder with its content, by relative path.
QMap<QString, QByteArray> treeOf(const QString &root)
{
    QMap<QString, QByteArray> tree;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            tree.insert(QDir(root).relativeFilePath(path), f.readAll());
    }
    return tree;
}

QByteArray content(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// The content of each named file below the folder, in the order named.
QByteArrayList contents(const test::TestDir &dir, std::initializer_list<const char *> relative)
{
    QByteArrayList found;
    for (const char *path : relative)
        found << content(dir.filePath(QString::fromUtf8(path)));
    return found;
}

} // namespace

class TestDeviceImport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void destination_data();
    void destination();
    void folderTitle_data();
    void folderTitle();
    void copyTakesTheWholeFolder();
    void moveDeletesSourcesAndEmptiedFolders();
    void sameNamesAreKeptAndCopiesRenamed();
    void noFreeNameKeepsTheSource();
    void sourceReplacedAfterItsCopyIsKept();
    void destinationInsideSourceIsRefused_data();
    void destinationInsideSourceIsRefused();
    void missingFolders();
    void folderLinksAreNotFollowed();
    void fullDiskStopsAndKeepsTheSource();
    void rawByteNamesCopiedExactly();
    void rawByteNamesMovedExactly();
};

void TestDeviceImport::destination_data()
{
    test::addRows<Text, Text, Text, bool, int, Text, Text>(
        {"transfer", "text", "prefix", "prefixOn", "counter", "separator", "expected"},
        {{"plain", "/home/u/Pictures/", "新しいフォルダ", "", false, 1, "",
          "/home/u/Pictures/新しいフォルダ/"},
         {"no trailing slash", "/home/u/Pictures", "import", "", false, 1, "", "/home/u/Pictures/import/"},
         {"shooting date is day zero", "/p/", "[YYYYMMDD]", "", false, 1, "-", "/p/1899-12-30/"},
         {"running number and prefix", "/p/", "card[RENBAN]", "x_", true, 42, "", "/p/x_card42/"},
         {"prefix off", "/p/", "card", "x_", false, 1, "", "/p/card/"},
         {"dot dot is refused", "/p/", "..", "", false, 1, "", ""},
         {"dot is refused", "/p/", ".", "", false, 1, "", ""}});
}

void TestDeviceImport::destination()
{
    QFETCH(QString, transfer);
    QFETCH(QString, text);
    QFETCH(QString, prefix);
    QFETCH(bool, prefixOn);
    QFETCH(int, counter);
    QFETCH(QString, separator);
    QFETCH(QString, expected);
    const NameTemplate t{text, prefix, prefixOn, QString(), false};
    QCOMPARE(DeviceImportDestination(transfer, t, counter, separator), expected);
}

void TestDeviceImport::folderTitle_data()
{
    test::addRows<Text, Text>({"path", "title"},
                              {{"folder", "/media/u/CAM/DCIM/100CANON", "100CANON"},
                               {"trailing slash", "/home/u/Pictures/新しいフォルダ/", "新しいフォルダ"},
                               {"root", "/", "/"}});
}

void TestDeviceImport::folderTitle()
{
    QFETCH(QString, path);
    QFETCH(QString, title);
    QCOMPARE(FolderTitle(path), title);
}

void TestDeviceImport::copyTakesTheWholeFolder()
{
    test::TestDir dir;
    const QString source = dir.createDir(QStringLiteral("phone/DCIM/Camera"));
    dir.createFile(QStringLiteral("phone/DCIM/Camera/IMG_0001.JPG"), QByteArray(200000, 'a'));
    dir.createFile(QStringLiteral("phone/DCIM/Camera/.thumb"), "t");
    dir.createFile(QStringLiteral("phone/DCIM/Camera/sub/VID_0001.MP4"), "video");
    dir.createDir(QStringLiteral("phone/DCIM/Camera/empty"));
    dir.createFile(QStringLiteral("phone/DCIM/Camera/空白 のある 名前.jpg"), "jp");
    const QString destination = dir.createDir(QStringLiteral("Pictures/import")) + QLatin1Char('/');

    int progressCalls = 0;
    const DeviceImportResult r =
        ImportWholeFolder(source, destination, false, [&](quint64, quint64) { ++progressCalls; });
    QCOMPARE(r.status, DeviceImportResult::Done);
    QCOMPARE(r.copied, 4);
    QCOMPARE(r.notCopied, 0);
    QVERIFY(progressCalls >= 4);
    const QString target = destination + QStringLiteral("Camera");
    QCOMPARE(treeOf(target), treeOf(source));
    QVERIFY(QFileInfo(target + QStringLiteral("/empty")).isDir());
    // A copy leaves the source as it was.
    QCOMPARE(treeOf(source).size(), 4);
}

void TestDeviceImport::moveDeletesSourcesAndEmptiedFolders()
{
    test::TestDir dir;
    const QString source = dir.createDir(QStringLiteral("phone/DCIM/Camera"));
    dir.createFile(QStringLiteral("phone/DCIM/Camera/IMG_0001.JPG"), "one");
    dir.createFile(QStringLiteral("phone/DCIM/Camera/a/b/IMG_0002.JPG"), "two");
    dir.createDir(QStringLiteral("phone/DCIM/Camera/empty"));
    const QMap<QString, QByteArray> before = treeOf(source);
    const QString destination = dir.createDir(QStringLiteral("dest"));

    const DeviceImportResult r = ImportWholeFolder(source, destination, true);
    QCOMPARE(r.status, DeviceImportResult::Done);
    QCOMPARE(r.copied, 2);
    QCOMPARE(r.notDeleted, 0);
    QCOMPARE(treeOf(destination + QStringLiteral("/Camera")), before);
    QVERIFY(QFileInfo(destination + QStringLiteral("/Camera/empty")).isDir());
    QVERIFY(!QFileInfo::exists(source));
    // Only the chosen folder goes; its parent stays.
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("phone/DCIM"))).isDir());
}

void TestDeviceImport::sameNamesAreKeptAndCopiesRenamed()
{
    test::TestDir dir;
    const QString source = dir.createDir(QStringLiteral("Camera"));
    dir.createFile(QStringLiteral("Camera/P1.JPG"), "new picture");
    dir.createFile(QStringLiteral("Camera/P2.JPG"), "second");
    const QString destination = dir.createDir(QStringLiteral("dest"));
    dir.createFile(QStringLiteral("dest/Camera/P1.JPG"), "old picture");
    dir.createFile(QStringLiteral("dest/Camera/P1_2.JPG"), "older picture");

    const DeviceImportResult r = ImportWholeFolder(source, destination, true);
    QCOMPARE(r.status, DeviceImportResult::Done);
    QCOMPARE(r.copied, 2);
    QCOMPARE(r.renamed, 1);
    QCOMPARE(contents(dir, {"dest/Camera/P1.JPG", "dest/Camera/P1_2.JPG", "dest/Camera/P1_3.JPG",
                            "dest/Camera/P2.JPG"}),
             (QByteArrayList{"old picture", "older picture", "new picture", "second"}));
    QVERIFY(!QFileInfo::exists(source));
}

void TestDeviceImport::noFreeNameKeepsTheSource()
{
    test::TestDir dir;
    const QString source = dir.createDir(QStringLiteral("Camera"));
    dir.createFile(QStringLiteral("Camera/P.JPG"), "mine");
    const QString destination = dir.createDir(QStringLiteral("dest"));
    dir.createFile(QStringLiteral("dest/Camera/P.JPG"), "taken");
    for (int n = 2; n <= 99; ++n)
        dir.createFile(QStringLiteral("dest/Camera/P_%1.JPG").arg(n), "taken");

    const DeviceImportResult r = ImportWholeFolder(source, destination, true);
    QCOMPARE(r.status, DeviceImportResult::Done);
    QCOMPARE(r.copied, 0);
    QCOMPARE(r.notCopied, 1);
    QCOMPARE(contents(dir, {"Camera/P.JPG", "dest/Camera/P_99.JPG"}), (QByteArrayList{"mine", "taken"}));
}

// A new photo that takes an old one's name between its copy and its deletion is not the file that was
// copied: it stays.
void TestDeviceImport::sourceReplacedAfterItsCopyIsKept()
{
    test::TestDir dir;
    const QString source = dir.createDir(QStringLiteral("Camera"));
    const QString first = dir.createFile(QStringLiteral("Camera/P1.JPG"), "first");
    dir.createFile(QStringLiteral("Camera/P2.JPG"), "second photo");
    const QString destination = dir.createDir(QStringLiteral("dest"));
    bool replaced = false;
    const DeviceImportResult r =
        ImportWholeFolder(source, destination, true, [&](quint64 total, quint64 done) {
            if (!replaced && total == 5 && done == total) {
                replaced = true;
                const QString fresh = dir.createFile(QStringLiteral("P1.new"), "replacement");
                QVERIFY(::rename(QFile::encodeName(fresh).constData(),
                                 QFile::encodeName(first).constData()) == 0);
            }
        });
    QVERIFY(replaced);
    QCOMPARE(r.status, DeviceImportResult::Done);
    QCOMPARE(r.copied, 2);
    QCOMPARE(r.notDeleted, 1);
    QCOMPARE(contents(dir, {"Camera/P1.JPG", "dest/Camera/P1.JPG", "dest/Camera/P2.JPG"}),
             (QByteArrayList{"replacement", "first", "second photo"}));
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("Camera/P2.JPG"))));
}

void TestDeviceImport::destinationInsideSourceIsRefused_data()
{
    test::addRows<Text>(
        {"destination"},
        {{"inside", "Camera/import"}, {"the source itself", "Camera"}, {"its parent, so onto itself", "."}});
}

void TestDeviceImport::destinationInsideSourceIsRefused()
{
    QFETCH(QString, destination);
    test::TestDir dir;
    const QString source = dir.createDir(QStringLiteral("Camera"));
    dir.createFile(QStringLiteral("Camera/P.JPG"), "mine");
    const QString dest = dir.createDir(destination);
    const auto before = treeOf(dir.path());
    for (bool move : {false, true}) {
        const DeviceImportResult r = ImportWholeFolder(source, dest, move);
        QCOMPARE(r.status, DeviceImportResult::DestinationInsideSource);
        QCOMPARE(treeOf(dir.path()), before);
    }
}

void TestDeviceImport::missingFolders()
{
    test::TestDir dir;
    const QString source = dir.createDir(QStringLiteral("Camera"));
    dir.createFile(QStringLiteral("Camera/P.JPG"), "mine");
    QCOMPARE(ImportWholeFolder(dir.filePath(QStringLiteral("gone")), dir.path(), true).status,
             DeviceImportResult::SourceMissing);
    QCOMPARE(ImportWholeFolder(source, dir.filePath(QStringLiteral("gone")), true).status,
             DeviceImportResult::DestinationMissing);
    QCOMPARE(content(dir.filePath(QStringLiteral("Camera/P.JPG"))), QByteArray("mine"));
}

void TestDeviceImport::folderLinksAreNotFollowed()
{
    test::TestDir dir;
    const QString source = dir.createDir(QStringLiteral("Camera"));
    dir.createFile(QStringLiteral("Camera/P.JPG"), "mine");
    dir.createFile(QStringLiteral("elsewhere/secret.txt"), "not part of the card");
    QVERIFY(
        QFile::link(dir.filePath(QStringLiteral("elsewhere")), dir.filePath(QStringLiteral("Camera/link"))));
    // A link to the folder itself would otherwise copy forever.
    QVERIFY(QFile::link(source, dir.filePath(QStringLiteral("Camera/loop"))));
    const QString destination = dir.createDir(QStringLiteral("dest"));

    const DeviceImportResult r = ImportWholeFolder(source, destination, true);
    QCOMPARE(r.status, DeviceImportResult::Done);
    QCOMPARE(r.copied, 1);
    QCOMPARE(r.notCopied, 2);
    QCOMPARE(content(dir.filePath(QStringLiteral("elsewhere/secret.txt"))),
             QByteArray("not part of the card"));
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("dest/Camera/link"))));
    // The links stay, so the source folder is not empty and stays too.
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("Camera/link"))).isSymLink());
}

void TestDeviceImport::fullDiskStopsAndKeepsTheSource()
{
    test::TestDir dir;
    const QString mountPoint = dir.createDir(QStringLiteral("small"));
    // The small disk stays in this test's own mount namespace.
    if (const QString why = test::enterPrivateMountNamespace(); !why.isEmpty())
        QSKIP(qPrintable(why));
    if (::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, "size=256k") != 0)
        QSKIP("needs root to mount a small tmpfs");
    const QString source = dir.createDir(QStringLiteral("Camera"));
    dir.createFile(QStringLiteral("Camera/A_small.JPG"), QByteArray(10000, 'a'));
    dir.createFile(QStringLiteral("Camera/B_big.MOV"), QByteArray(600000, 'b'));
    dir.createFile(QStringLiteral("Camera/C_small.JPG"), QByteArray(10000, 'c'));

    const DeviceImportResult r = ImportWholeFolder(source, mountPoint, true);
    const QStringList left = QDir(mountPoint + QStringLiteral("/Camera")).entryList(QDir::Files);
    ::umount(QFile::encodeName(mountPoint).constData());

    QCOMPARE(r.status, DeviceImportResult::CopyFailed);
    QCOMPARE(r.error.kind, CopyError::DiskFull);
    QCOMPARE(r.failedFile, source + QStringLiteral("/B_big.MOV"));
    QCOMPARE(r.copied, 1);
    // The good copy was a move; the failed one and the one after it keep their sources, no partial file.
    QVERIFY(!QFileInfo::exists(source + QStringLiteral("/A_small.JPG")));
    QCOMPARE(content(source + QStringLiteral("/B_big.MOV")), QByteArray(600000, 'b'));
    QCOMPARE(content(source + QStringLiteral("/C_small.JPG")), QByteArray(10000, 'c'));
    QCOMPARE(left, QStringList{QStringLiteral("A_small.JPG")});
}

namespace {

// A phone folder whose names were written in a legacy code page, or are two names U+FFFD would merge.
QMap<QByteArray, QByteArray> makeRawPhoneFolder(const QByteArray &source)
{
    const QMap<QByteArray, QByteArray> tree{
        {test::RawFfName, "ff"},
        {test::RawReplacementName, "replacement"},
        {"\xE9t\xE9", "<dir>"},
        {"\xE9t\xE9/IMG_\x80.JPG", QByteArray(100000, 'l')},
        {"\xE9t\xE9/\xEF\xBF\xBD", "<dir>"},
        {"\xE9t\xE9/\xEF\xBF\xBD/a\xFE.MOV", "mov"},
        {"empty\xFF", "<dir>"},
    };
    test::makeRawDir(source);
    for (auto it = tree.cbegin(); it != tree.cend(); ++it) {
        if (it.value() == "<dir>")
            test::makeRawDir(source + '/' + it.key());
        else
            test::writeRawFile(source + '/' + it.key(), it.value());
    }
    return tree;
}

// Imports into a new folder; one that cannot be made shows as a missing destination.
DeviceImportResult importIntoNewFolder(const QByteArray &source, const QByteArray &destination, bool move)
{
    if (!test::makeRawDir(destination)) {
        DeviceImportResult notMade;
        notMade.status = DeviceImportResult::DestinationMissing;
        return notMade;
    }
    return ImportWholeFolder(pathFromBytes(source), pathFromBytes(destination), move);
}

} // namespace

void TestDeviceImport::rawByteNamesCopiedExactly()
{
    test::RawTestDir dir;
    const QByteArray source = dir.path() + "/Cam\xFF";
    const QMap<QByteArray, QByteArray> tree = makeRawPhoneFolder(source);
    QCOMPARE(test::rawTree(source), tree);
    const QByteArray destination = dir.path() + "/dest";

    const DeviceImportResult r = importIntoNewFolder(source, destination, false);
    QCOMPARE(r.status, DeviceImportResult::Done);
    QCOMPARE(r.copied, 4);
    QCOMPARE(r.notCopied, 0);
    QCOMPARE(r.renamed, 0);
    QMap<QByteArray, QByteArray> expected{{"Cam\xFF", "<dir>"}};
    for (auto it = tree.cbegin(); it != tree.cend(); ++it)
        expected.insert("Cam\xFF/" + it.key(), it.value());
    QCOMPARE(test::rawTree(destination), expected);
    QCOMPARE(test::rawTree(source), tree);
}

void TestDeviceImport::rawByteNamesMovedExactly()
{
    test::RawTestDir dir;
    const QByteArray source = dir.path() + "/DCIM/Cam\xFF";
    QVERIFY(test::makeRawDir(dir.path() + "/DCIM"));
    const QMap<QByteArray, QByteArray> tree = makeRawPhoneFolder(source);
    // Beside it, the name its U+FFFD spelling would reach: not part of the import, left alone.
    const QByteArray twin = dir.path() + "/DCIM/Cam\xEF\xBF\xBD";
    QVERIFY(test::makeRawDir(twin));
    QVERIFY(test::writeRawFile(twin + "/keep.JPG", "twin"));
    const QByteArray destination = dir.path() + "/dest";

    const DeviceImportResult r = importIntoNewFolder(source, destination, true);
    QCOMPARE(r.status, DeviceImportResult::Done);
    QCOMPARE(r.copied, 4);
    QCOMPARE(r.notDeleted, 0);
    QCOMPARE(test::rawTree(destination + "/Cam\xFF"), tree);
    QVERIFY(!test::rawExists(source));
    QCOMPARE(test::rawTree(twin), (QMap<QByteArray, QByteArray>{{"keep.JPG", "twin"}}));
}

QTEST_GUILESS_MAIN(TestDeviceImport)
#include "tst_deviceimport.moc"
