#include "mounthelper.h"
#include "platform/volumesmounttable.h"
#include "testdir.h"

#include <QFile>
#include <QTest>

using namespace vantora;
using namespace vantora::test;

namespace {

// An image file mounted through a loop device.
class LoopMount final : public TestMount
{
public:
    LoopMount(const QString &image, const QString &mountPoint)
        : TestMount(mountPoint, {QStringLiteral("-o"), QStringLiteral("loop"), image})
    {
    }
};

} // namespace

// The history knows a card by its identity: two cards that shared one would have each other's files
// skipped as imported, and deleted by a move.
class TestVolumeIdentity final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void volumesWithoutUuidHaveNone();
    void filesystemUuidIsTheIdentity();

private:
    TestDir m_dir;
};

void TestVolumeIdentity::initTestCase()
{
    // The machine's udisks2 must not answer for the volumes mounted here.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS",
            "unix:path=" + QFile::encodeName(m_dir.filePath(QStringLiteral("no-bus"))));
}

void TestVolumeIdentity::volumesWithoutUuidHaveNone()
{
    // Same type, same size, no label, no UUID: nothing tells them apart for good.
    const QString a = m_dir.createDir(QStringLiteral("a")), b = m_dir.createDir(QStringLiteral("b"));
    SmallDisk diskA(a, "4m");
    if (!diskA.mounted())
        QSKIP(qPrintable(diskA.error()));
    SmallDisk diskB(b, "4m");
    QVERIFY2(diskB.mounted(), qPrintable(diskB.error()));
    const MountTableVolumes volumes;
    for (const QString &root : {a, b}) {
        QVERIFY(volumes.roots().contains(root));
        QVERIFY(volumes.isReady(root));
        QCOMPARE(volumes.identity(root), QString());
    }
    QCOMPARE(volumes.identity(m_dir.filePath(QStringLiteral("not-mounted"))), QString());
}

void TestVolumeIdentity::filesystemUuidIsTheIdentity()
{
    if (!QFile::exists(QStringLiteral("/dev/loop-control")))
        QSKIP("no loop devices");
    // Two cards of one size and one label, told apart by their UUIDs.
    const QStringList uuids = {QStringLiteral("0b6c7c1e-5d2a-4e1f-9a3b-2c4d6e8f0a1b"),
                               QStringLiteral("7f3e2d1c-0b9a-4876-8543-210fedcba987")};
    std::vector<std::unique_ptr<LoopMount>> mounts;
    QStringList roots;
    for (const QString &uuid : uuids) {
        const QString image = m_dir.filePath(uuid + QStringLiteral(".img"));
        QFile file(image);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(8 << 20));
        file.close();
        QString out;
        if (runTestTool(QStringLiteral("mkfs.ext4"),
                        {QStringLiteral("-q"), QStringLiteral("-U"), uuid, QStringLiteral("-L"),
                         QStringLiteral("CARD"), image},
                        &out) != 0)
            QSKIP(qPrintable(QStringLiteral("mkfs.ext4 failed: ") + out));
        roots.append(m_dir.createDir(uuid));
        mounts.push_back(std::make_unique<LoopMount>(image, roots.last()));
        if (!mounts.back()->mounted())
            QSKIP(qPrintable(mounts.back()->error()));
    }
    const MountTableVolumes volumes;
    for (qsizetype i = 0; i < uuids.size(); ++i)
        QCOMPARE(volumes.identity(roots[i] + u'/'), QStringLiteral("uuid:") + uuids[i]);
}

QTEST_GUILESS_MAIN(TestVolumeIdentity)
#include "tst_volumeidentity.moc"
