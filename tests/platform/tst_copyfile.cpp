#include "mounthelper.h"
#include "platform/copyfile.h"
#include "testdir.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <cerrno>
#include <sys/stat.h>

using namespace vantora;
using namespace vantora::test;

class TestCopyFile final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void copiesContentModeAndTime_data();
    void copiesContentModeAndTime();
    void existingDestinationRefused();
    void overwriteReplaces();
    void cancelRemovesPartialFile();
    void cancelledOverwriteKeepsOldFile();
    void sourceWrittenDuringCopyFails();
    void missingSourceAndFolder();
    void sameFileIsNotTruncated();
    void diskFull();
    void flushAndVolumeRoot();
    void freeName();
    void freeNameTakenDuringCopy();
};

namespace {

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

QByteArray contentOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

void TestCopyFile::copiesContentModeAndTime_data()
{
    QTest::addColumn<qsizetype>("size");
    QTest::addColumn<int>("calls"); // progress calls expected, -1: at least two
    QTest::newRow("empty") << qsizetype(0) << 1;
    QTest::newRow("one byte") << qsizetype(1) << 1;
    QTest::newRow("16 KiB") << qsizetype(16 * 1024) << 1;
    QTest::newRow("9 MiB + 3") << qsizetype(9 * 1024 * 1024 + 3) << -1;
}

void TestCopyFile::copiesContentModeAndTime()
{
    QFETCH(qsizetype, size);
    QFETCH(int, calls);
    TestDir dir;
    const QByteArray data = randomBytes(size, 7);
    const QString src = dir.createFile(QStringLiteral("src/P1.JPG"), data);
    QFile::setPermissions(src, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    const QDateTime mtime(QDate(2017, 3, 5), QTime(10, 11, 12));
    {
        QFile f(src);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(mtime, QFileDevice::FileModificationTime));
    }
    const QString dst = dir.createDir(QStringLiteral("dst")) + QStringLiteral("/P1.JPG");
    QList<QPair<quint64, quint64>> progress;
    const bool cancel = false;
    QCOMPARE(CopyFileWithProgress(
                 src, dst,
                 [&](quint64 t, quint64 d) {
                     progress.append({t, d});
                 },
                 &cancel)
                 .kind,
             CopyError::None);
    QCOMPARE(fileHash(dst), fileHash(src));
    QCOMPARE(QFileInfo(dst).size(), size);
    QCOMPARE(QFileInfo(dst).lastModified(), mtime);
    QCOMPARE(QFileInfo(dst).permissions(), QFileInfo(src).permissions());
    if (calls > 0)
        QCOMPARE(progress.size(), calls);
    else
        QVERIFY(progress.size() >= 2);
    quint64 last = 0;
    for (const auto &[total, done] : progress) {
        QCOMPARE(total, quint64(size));
        QVERIFY(done >= last);
        last = done;
    }
    QCOMPARE(last, quint64(size));
}

void TestCopyFile::existingDestinationRefused()
{
    TestDir dir;
    const QString src = dir.createFile(QStringLiteral("a.jpg"), "new");
    const QString dst = dir.createFile(QStringLiteral("b.jpg"), "old");
    int calls = 0;
    QCOMPARE(CopyFileWithProgress(
                 src, dst, [&](quint64, quint64) { ++calls; }, nullptr)
                 .kind,
             CopyError::Exists);
    QCOMPARE(calls, 0);
    QFile f(dst);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("old"));
    // A dangling link is a name in use as well.
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("nowhere")), dir.filePath(QStringLiteral("c.jpg"))));
    QCOMPARE(CopyFileWithProgress(src, dir.filePath(QStringLiteral("c.jpg")), {}, nullptr).kind,
             CopyError::Exists);
}

void TestCopyFile::overwriteReplaces()
{
    TestDir dir;
    const QString src = dir.createFile(QStringLiteral("s/a.jpg"), randomBytes(100000, 1));
    const QString dst = dir.createFile(QStringLiteral("d/a.jpg"), "old content that is longer or not");
    CopyOptions o;
    o.failIfExists = false;
    o.flush = true;
    QCOMPARE(CopyFileWithProgress(src, dst, {}, nullptr, o).kind, CopyError::None);
    QCOMPARE(fileHash(dst), fileHash(src));
    QCOMPARE(entries(dir.filePath(QStringLiteral("d"))), QStringList{QStringLiteral("a.jpg")});
    // A folder of the destination's name is never replaced.
    dir.createDir(QStringLiteral("d/b.jpg"));
    QCOMPARE(CopyFileWithProgress(src, dir.filePath(QStringLiteral("d/b.jpg")), {}, nullptr, o).errnoValue,
             EISDIR);
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("d/b.jpg"))).isDir());
}

void TestCopyFile::cancelRemovesPartialFile()
{
    TestDir dir;
    const QString src = dir.createFile(QStringLiteral("s/big.mov"), randomBytes(24 * 1024 * 1024, 3));
    const QByteArray before = fileHash(src);
    dir.createDir(QStringLiteral("d"));
    const QString dst = dir.filePath(QStringLiteral("d/big.mov"));
    bool cancel = false;
    int calls = 0;
    QCOMPARE(CopyFileWithProgress(
                 src, dst,
                 [&](quint64, quint64) {
                     ++calls;
                     cancel = true;
                 },
                 &cancel)
                 .kind,
             CopyError::Cancelled);
    QCOMPARE(calls, 1);
    QVERIFY(entries(dir.filePath(QStringLiteral("d"))).isEmpty());
    QCOMPARE(fileHash(src), before);
}

void TestCopyFile::sourceWrittenDuringCopyFails()
{
    // A video still being saved while it is copied: the copy must not pass for the whole file.
    TestDir dir;
    const QString src = dir.createFile(QStringLiteral("s/rec.mov"), randomBytes(24 * 1024 * 1024, 5));
    dir.createDir(QStringLiteral("d"));
    const QString dst = dir.filePath(QStringLiteral("d/rec.mov"));
    bool appended = false;
    const bool cancel = false;
    const CopyError code = CopyFileWithProgress(
        src, dst,
        [&](quint64, quint64) {
            if (appended)
                return;
            QFile f(src);
            QVERIFY(f.open(QIODevice::Append));
            f.write(randomBytes(4096, 6));
            appended = true;
        },
        &cancel);
    QVERIFY(appended);
    QCOMPARE(code.errnoValue, EIO);
    QVERIFY(entries(dir.filePath(QStringLiteral("d"))).isEmpty());
    QCOMPARE(QFileInfo(src).size(), 24 * 1024 * 1024 + 4096);
}

void TestCopyFile::cancelledOverwriteKeepsOldFile()
{
    TestDir dir;
    const qsizetype size = 200 * 1000 * 1000;
    const QString src = dir.createFile(QStringLiteral("s/clip.mp4"), randomBytes(size, 11));
    const QString dst = dir.createFile(QStringLiteral("d/clip.mp4"), randomBytes(size, 12));
    const QByteArray before = fileHash(dst);
    CopyOptions o;
    o.failIfExists = false;
    bool cancel = false;
    quint64 seen = 0;
    QCOMPARE(CopyFileWithProgress(
                 src, dst,
                 [&](quint64 total, quint64 done) {
                     seen = done;
                     if (done * 2 >= total)
                         cancel = true;
                 },
                 &cancel, o)
                 .kind,
             CopyError::Cancelled);
    QVERIFY(seen > 0 && seen < quint64(size));
    QCOMPARE(fileHash(dst), before);
    QCOMPARE(entries(dir.filePath(QStringLiteral("d"))), QStringList{QStringLiteral("clip.mp4")});
}

void TestCopyFile::missingSourceAndFolder()
{
    TestDir dir;
    QCOMPARE(CopyFileWithProgress(dir.filePath(QStringLiteral("none.jpg")),
                                  dir.filePath(QStringLiteral("x.jpg")), {}, nullptr)
                 .errnoValue,
             ENOENT);
    const QString src = dir.createFile(QStringLiteral("a.jpg"));
    QCOMPARE(CopyFileWithProgress(src, dir.filePath(QStringLiteral("missing/x.jpg")), {}, nullptr).errnoValue,
             ENOENT);
    QCOMPARE(CopyFileWithProgress(dir.path(), dir.filePath(QStringLiteral("y")), {}, nullptr).errnoValue,
             EISDIR);
}

void TestCopyFile::sameFileIsNotTruncated()
{
    TestDir dir;
    const QByteArray data = randomBytes(5000, 5);
    const QString src = dir.createFile(QStringLiteral("a.jpg"), data);
    CopyOptions o;
    o.failIfExists = false;
    QCOMPARE(CopyFileWithProgress(src, src, {}, nullptr, o).kind, CopyError::None);
    QFile f(src);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), data);
}

void TestCopyFile::diskFull()
{
    TestDir dir;
    const QString mountPoint = dir.createDir(QStringLiteral("small"));
    SmallDisk disk(mountPoint, "2m");
    if (!disk.mounted())
        QSKIP(qPrintable(disk.error()));
    const QString src = dir.createFile(QStringLiteral("big.mov"), randomBytes(3 * 1024 * 1024, 9));
    QCOMPARE(CopyFileWithProgress(src, mountPoint + QStringLiteral("/big.mov"), {}, nullptr).kind,
             CopyError::DiskFull);
    QVERIFY(entries(mountPoint).isEmpty());
    // Overwrite on a full disk: the old file stays as it was and no temporary file is left.
    const QString old = mountPoint + QStringLiteral("/old.mov");
    {
        QFile f(old);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(randomBytes(1024 * 1024, 10));
    }
    const QByteArray before = fileHash(old);
    CopyOptions o;
    o.failIfExists = false;
    QCOMPARE(CopyFileWithProgress(src, old, {}, nullptr, o).kind, CopyError::DiskFull);
    QCOMPARE(fileHash(old), before);
    QCOMPARE(entries(mountPoint), QStringList{QStringLiteral("old.mov")});
    QCOMPARE(VolumeRootOf(mountPoint + QStringLiteral("/sub/dir/x.mov")), mountPoint);
}

void TestCopyFile::flushAndVolumeRoot()
{
    TestDir dir;
    QCOMPARE(SyncFileSystems({dir.path(), dir.path() + QStringLiteral("/"), QStringLiteral("/")}).kind,
             CopyError::None);
    QCOMPARE(VolumeRootOf(QStringLiteral("/")), QStringLiteral("/"));
    const QString a = dir.createFile(QStringLiteral("gone.jpg"));
    QCOMPARE(RemoveFile(a), 0);
    QCOMPARE(RemoveFile(a), ENOENT);
}

void TestCopyFile::freeName()
{
    TestDir dir;
    const QString src = dir.createFile(QStringLiteral("s/P1000123.JPG"), "new");
    const QString dest = dir.createFile(QStringLiteral("P1000123.JPG"), "old");
    QString written;
    QCOMPARE(CopyFileToFreeName(src, dest, {}, nullptr, {}, nullptr, &written).kind, CopyError::None);
    QCOMPARE(written, dir.filePath(QStringLiteral("P1000123_2.JPG")));
    dir.createFile(QStringLiteral("P1000123_3.JPG"), "old 3");
    QCOMPARE(CopyFileToFreeName(src, dest, {}, nullptr, {}, nullptr, &written).kind, CopyError::None);
    QCOMPARE(written, dir.filePath(QStringLiteral("P1000123_4.JPG")));
    QCOMPARE(contentOf(written), QByteArray("new"));
    QCOMPARE(contentOf(dest), QByteArray("old"));
    QCOMPARE(contentOf(dir.filePath(QStringLiteral("P1000123_3.JPG"))), QByteArray("old 3"));
    // A free name is taken as it is; "_n" goes before the last dot, or at the end without one.
    QCOMPARE(
        CopyFileToFreeName(src, dir.filePath(QStringLiteral("free.jpg")), {}, nullptr, {}, nullptr, &written)
            .kind,
        CopyError::None);
    QCOMPARE(written, dir.filePath(QStringLiteral("free.jpg")));
    dir.createFile(QStringLiteral("README"));
    QCOMPARE(
        CopyFileToFreeName(src, dir.filePath(QStringLiteral("README")), {}, nullptr, {}, nullptr, &written)
            .kind,
        CopyError::None);
    QCOMPARE(written, dir.filePath(QStringLiteral("README_2")));
    QCOMPARE(NumberedName(QStringLiteral("/d.x/.hidden"), 5), QStringLiteral("/d.x/_5.hidden"));
    QCOMPARE(NumberedName(QStringLiteral("/d.x/a.tar.gz"), 2), QStringLiteral("/d.x/a.tar_2.gz"));
    // Every name up to "_99" taken: nothing is written and nothing replaced.
    dir.createFile(QStringLiteral("a.jpg"), "old");
    for (int n = 2; n <= 99; ++n)
        dir.createFile(QStringLiteral("a_%1.jpg").arg(n), "old");
    const QStringList before = entries(dir.path());
    QCOMPARE(
        CopyFileToFreeName(src, dir.filePath(QStringLiteral("a.jpg")), {}, nullptr, {}, nullptr, &written)
            .kind,
        CopyError::Exists);
    QCOMPARE(written, dir.filePath(QStringLiteral("a_99.jpg")));
    QCOMPARE(entries(dir.path()), before);
    QCOMPARE(contentOf(dir.filePath(QStringLiteral("a_99.jpg"))), QByteArray("old"));
}

void TestCopyFile::freeNameTakenDuringCopy()
{
    // Another program saves "_2" while the copy that chose it runs: the copy must neither replace that
    // file nor give up, but go on to "_3".
    TestDir dir;
    const QString src = dir.createFile(QStringLiteral("s/b.jpg"), randomBytes(300 * 1000, 4));
    const QString dest = dir.createFile(QStringLiteral("d/b.jpg"), "old");
    const QString second = dir.filePath(QStringLiteral("d/b_2.jpg"));
    int calls = 0;
    const auto intrude = [&](quint64, quint64) {
        if (calls++ == 0)
            dir.createFile(QStringLiteral("d/b_2.jpg"), "saved meanwhile");
    };
    QString written;
    for (const bool overwrite : {false, true}) {
        // Whatever the caller asks, the search never replaces a file.
        CopyOptions options;
        options.failIfExists = !overwrite;
        calls = 0;
        QVERIFY(!overwrite || RemoveFile(dir.filePath(QStringLiteral("d/b_3.jpg"))) == 0);
        QVERIFY(!overwrite || RemoveFile(second) == 0);
        QCOMPARE(CopyFileToFreeName(src, dest, intrude, nullptr, options, nullptr, &written).kind,
                 CopyError::None);
        QVERIFY(calls > 0);
        QCOMPARE(written, dir.filePath(QStringLiteral("d/b_3.jpg")));
        QCOMPARE(fileHash(written), fileHash(src));
        QCOMPARE(contentOf(second), QByteArray("saved meanwhile"));
        QCOMPARE(contentOf(dest), QByteArray("old"));
        QCOMPARE(
            entries(dir.filePath(QStringLiteral("d"))),
            (QStringList{QStringLiteral("b.jpg"), QStringLiteral("b_2.jpg"), QStringLiteral("b_3.jpg")}));
    }
}

QTEST_GUILESS_MAIN(TestCopyFile)
#include "tst_copyfile.moc"
