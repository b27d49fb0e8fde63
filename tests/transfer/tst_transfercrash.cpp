#include "mounthelper.h"
#include "testdir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <csignal>

using namespace vantora::test;

// A move killed at any moment never loses a file: each one is complete at its source or its destination.
class TestTransferCrash final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void killedMoveLosesNothing();

private:
    QString m_driver;
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

QString writeSettings(const QString &folder, const QString &source, const QString &dest)
{
    const QString path = folder + QStringLiteral("/settings.txt");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    f.write(QStringLiteral("SourceEditText=%1/\nDelChecked=1\nRow=*.JPG|%2\n").arg(source, dest).toUtf8());
    return path;
}

} // namespace

void TestTransferCrash::initTestCase()
{
    m_driver = QString::fromLocal8Bit(qgetenv("VANTORA_BINARY_DIR")) +
               QStringLiteral("/bench/driver/vantora-transfer");
    QVERIFY2(QFileInfo(m_driver).isExecutable(), qPrintable(m_driver + QStringLiteral(" is not built")));
}

void TestTransferCrash::killedMoveLosesNothing()
{
    // One undisturbed run measures how long a move takes here; the kills fall anywhere inside it.
    qint64 fullRun = 0;
    {
        TestDir dir;
        const QString src = dir.createDir(QStringLiteral("card/DCIM"));
        const QString dst = dir.createDir(QStringLiteral("dst"));
        const auto hashes = makeCard(src, 1);
        QCOMPARE(hashes.size(), FileCount);
        QProcess p;
        QElapsedTimer t;
        t.start();
        p.start(m_driver, {QStringLiteral("--quiet"), writeSettings(dir.path(), src, dst)});
        QVERIFY(p.waitForFinished(120000));
        fullRun = t.elapsed();
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(QDir(dst).entryList(QDir::Files).size(), FileCount);
    }

    QRandomGenerator random(20261208);
    // A busy machine can make one run outlast or undercut the measured one: keep killing until ten
    // kills have hit a move in progress, within a bound.
    int killedMidway = 0;
    for (int trial = 0; trial < 30 && killedMidway < 10; ++trial) {
        TestDir dir;
        const QString src = dir.createDir(QStringLiteral("card/DCIM"));
        const QString dst = dir.createDir(QStringLiteral("dst"));
        const auto hashes = makeCard(src, 1000 * quint32(trial));
        QProcess p;
        p.start(m_driver, {QStringLiteral("--quiet"), writeSettings(dir.path(), src, dst)});
        QVERIFY(p.waitForStarted());
        QTest::qSleep(int(random.bounded(qMax<qint64>(fullRun * 8 / 10, 20))));
        const bool wasRunning = p.state() == QProcess::Running;
        ::kill(pid_t(p.processId()), SIGKILL);
        QVERIFY(p.waitForFinished(10000));
        if (wasRunning && p.exitStatus() == QProcess::CrashExit)
            ++killedMidway;

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
    }
    QVERIFY2(killedMidway >= 10,
             qPrintable(QStringLiteral("only %1 kills hit a running move").arg(killedMidway)));
}

QTEST_GUILESS_MAIN(TestTransferCrash)
#include "tst_transfercrash.moc"
