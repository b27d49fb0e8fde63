#include "mounthelper.h"
#include "platform/copyfile.h"
#include "sandbox.h"
#include "testdir.h"
#include "transferdriver.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>

#include <csignal>

using namespace vantora;
using namespace vantora::test;

// A move killed at any moment never loses a file: each one is complete at its source or its destination,
// nothing partial carries a name, and the next run finishes the job and clears what the killed one left.
class TestTransferCrash final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void killedMoveLosesNothing_data();
    void killedMoveLosesNothing();

private:
    TransferDriver m_driver;
};

namespace {

constexpr int FileCount = 200;

QHash<QString, QByteArray> makeCard(const QString &source, quint32 seed)
{
    QHash<QString, QByteArray> hashes;
    for (int i = 0; i < FileCount; ++i) {
        const QString name = QStringLiteral("IMG_%1.JPG").arg(i, 4, 10, QLatin1Char('0'));
        const QString path = source + QStringLiteral("/%1CANON/").arg(100 + i % 3) + name;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return {};
        f.write(randomBytes(i % 25 == 0 ? 1 << 20 : 40 * 1024 + i, seed + quint32(i)));
        f.close();
        hashes.insert(name, fileHash(path));
    }
    return hashes;
}

// Every file under the folder, by its path relative to it.
QStringList namedFiles(const QString &folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << it.next();
    return out;
}

} // namespace

void TestTransferCrash::initTestCase()
{
    QVERIFY2(m_driver.prepare(), qPrintable(m_driver.path + QStringLiteral(" is not built")));
}

void TestTransferCrash::killedMoveLosesNothing_data()
{
    filesystemRows({QStringLiteral("disk"), QStringLiteral("tmpfs"), QStringLiteral("exfat")});
}

void TestTransferCrash::killedMoveLosesNothing()
{
    // One undisturbed run measures how long a move takes here; the kills fall anywhere inside it.
    // The card and the destination both live on the filesystem under test.
    TestDir outer;
    const TestFilesystem fs(m_driver, outer, QStringLiteral("fs"), 256);
    if (!fs.error().isEmpty())
        QSKIP(qPrintable(fs.error()));
    int trialNumber = 0;
    auto freshTrial = [&] {
        const QString dir = fs.path() + QStringLiteral("/t%1").arg(trialNumber++);
        QDir().mkpath(dir + QStringLiteral("/card/DCIM"));
        QDir().mkpath(dir + QStringLiteral("/dst"));
        return dir;
    };

    qint64 fullRun = 0;
    {
        const QString trial = freshTrial();
        const QString src = trial + QStringLiteral("/card/DCIM");
        const QString dst = trial + QStringLiteral("/dst");
        const auto hashes = makeCard(src, 1);
        QCOMPARE(hashes.size(), FileCount);
        QProcess p;
        QElapsedTimer t;
        t.start();
        p.start(m_driver.path, {QStringLiteral("--quiet"),
                                writeDriverSettings(trial, src, dst, true, QStringLiteral("*.JPG"))});
        QVERIFY(p.waitForFinished(120000));
        fullRun = t.elapsed();
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(QDir(dst).entryList(QDir::Files).size(), FileCount);
    }

    QRandomGenerator random(20261208);
    // A busy machine can make one run outlast or undercut the measured one: keep killing until ten
    // kills have hit a move in progress, within a bound.
    int killedMidway = 0;
    for (int trial = 0; trial < 60 && killedMidway < 10; ++trial) {
        const QString folder = freshTrial();
        const QString src = folder + QStringLiteral("/card/DCIM");
        const QString dst = folder + QStringLiteral("/dst");
        const auto hashes = makeCard(src, 1000 * quint32(trial));
        QSet<QByteArray> contents;
        for (const QByteArray &h : hashes)
            contents.insert(h);
        const QString settings = writeDriverSettings(folder, src, dst, true, QStringLiteral("*.JPG"));
        const KilledRun run =
            killRunAfter(m_driver.path, settings, int(random.bounded(qMax<qint64>(fullRun * 6 / 10, 20))));
        QVERIFY(run.started);
        QVERIFY(run.ended);
        killedMidway += run.midway;

        QHash<QString, QString> sources;
        for (const QString &sub : QDir(src).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            for (const QString &name : QDir(src + QLatin1Char('/') + sub).entryList(QDir::Files))
                sources.insert(name, src + QLatin1Char('/') + sub + QLatin1Char('/') + name);
        }
        int atDestination = 0;
        for (auto it = hashes.cbegin(); it != hashes.cend(); ++it) {
            const QString there = dst + QLatin1Char('/') + it.key();
            const bool safeThere = QFileInfo::exists(there) && fileHash(there) == it.value();
            const bool safeHere =
                sources.contains(it.key()) && fileHash(sources.value(it.key())) == it.value();
            if (!safeThere && !safeHere)
                QFAIL(qPrintable(QStringLiteral("trial %1: %2 lost").arg(trial).arg(it.key())));
            if (!sources.contains(it.key()))
                atDestination += safeThere;
        }
        // A source is gone only when its copy is complete.
        QCOMPARE(atDestination, FileCount - int(sources.size()));
        // Whatever carries a name at the destination is a whole photo; only a hidden temporary may be
        // partial.
        for (const QString &path : namedFiles(dst)) {
            if (IsCopyLeftoverName(QFileInfo(path).fileName()))
                continue;
            QVERIFY2(contents.contains(fileHash(path)),
                     qPrintable(QStringLiteral("trial %1: %2 is partial").arg(trial).arg(path)));
        }

        // The next run completes the move: every photo whole at its destination, no temporary left behind.
        // (Killed during its last flush, the move may have left nothing to do.)
        if (!namedFiles(src).isEmpty()) {
            QProcess rerun;
            rerun.start(m_driver.path, {QStringLiteral("--quiet"), settings});
            QVERIFY(rerun.waitForFinished(120000));
            QVERIFY2(rerun.exitCode() == 0, rerun.readAll().constData());
        }
        QSet<QByteArray> arrived;
        for (const QString &path : namedFiles(dst)) {
            QVERIFY2(!IsCopyLeftoverName(QFileInfo(path).fileName()),
                     qPrintable(QStringLiteral("trial %1: %2 left behind").arg(trial).arg(path)));
            const QByteArray h = fileHash(path);
            QVERIFY2(contents.contains(h),
                     qPrintable(QStringLiteral("trial %1: %2 is partial").arg(trial).arg(path)));
            arrived.insert(h);
        }
        QCOMPARE(arrived, contents);
        QCOMPARE(namedFiles(src).size(), 0);
        QDir(folder).removeRecursively();
    }
    QVERIFY2(killedMidway >= 10,
             qPrintable(QStringLiteral("only %1 kills hit a running move").arg(killedMidway)));
}

QTEST_GUILESS_MAIN(TestTransferCrash)
#include "tst_transfercrash.moc"
