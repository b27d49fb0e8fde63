#include "mounthelper.h"
#include "platform/filestamp.h"
#include "sandbox.h"
#include "settings/settingsrecord.h"
#include "source/sourcewalk.h"
#include "testdir.h"
#include "testprompt.h"
#include "transfer/copyprogress.h"
#include "transfer/memorytransferview.h"
#include "transfer/transferloop.h"
#include "transfer/transferrate.h"
#include "transfer/transferstate.h"
#include "transferfixture.h"

#include <QTest>

using namespace vantora;
using test::TestDir;

namespace {

constexpr qint64 MiB = 1024 * 1024;

// The lines a run showed, without repeats of the same text.
QStringList distinct(const QStringList &lines)
{
    QStringList out;
    for (const QString &l : lines) {
        if (out.isEmpty() || out.last() != l)
            out << l;
    }
    return out;
}

// "3.0 MB / 8.0 MB ..." -> bytes done, as shown (MB and KB only).
double shownDone(const QString &line)
{
    const QStringList parts = line.split(u' ');
    const double value = parts.value(0).toDouble();
    return parts.value(1) == QLatin1String("MB") ? value * MiB : value * 1024;
}

// A card of `count` photos of one MiB each in the folder's "card/DCIM".
void makeCard(TestDir &dir, int count)
{
    test::numberedFiles(dir, QStringLiteral("card/DCIM/IMG_000%1.JPG"), count,
                        [](int i) { return QByteArray(MiB, char('a' + i)); });
}

// Every photo of the card into dst, as a run from the window lists and starts it.
TransferOutcome runCard(const TestDir &dir, const QString &dst, TransferState &state,
                        MemoryTransferView &view)
{
    const QStringList runList =
        CollectRunList(dir.filePath(QStringLiteral("card/DCIM")), {QStringLiteral("*.JPG")});
    return test::RunShown(state, runList, runList.size(), {{QStringLiteral("*.JPG"), dst + u'/'}},
                          test::plainSettings(dir.filePath(QStringLiteral("card/DCIM/"))), view);
}

} // namespace

// The bytes line of the progress area: its units, its speed and time left, and what a run shows.
class TestTransferRate : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void units();
    void speedOverTheLastFiveSecondsAndTimeLeft();
    void cancelledRun();
    void fullDisk();

private:
    QString m_namespaceError;
};

void TestTransferRate::initTestCase()
{
    m_namespaceError = test::enterPrivateMountNamespace();
}

void TestTransferRate::cleanup()
{
    SetTransferClockForTesting({});
}

void TestTransferRate::units()
{
    QCOMPARE(TransferRate::bytesText(0), QStringLiteral("0 B"));
    QCOMPARE(TransferRate::bytesText(1023), QStringLiteral("1023 B"));
    QCOMPARE(TransferRate::bytesText(1024), QStringLiteral("1.0 KB"));
    QCOMPARE(TransferRate::bytesText(1536), QStringLiteral("1.5 KB"));
    QCOMPARE(TransferRate::bytesText(1024 * 1024 - 1), QStringLiteral("1.0 MB")); // never "1024.0 KB"
    QCOMPARE(TransferRate::bytesText(qint64(85.3 * MiB)), QStringLiteral("85.3 MB"));
    QCOMPARE(TransferRate::bytesText(qint64(4.8 * 1024 * MiB)), QStringLiteral("4.8 GB"));
    QCOMPARE(TransferRate::durationText(0), QStringLiteral("0:00"));
    QCOMPARE(TransferRate::durationText(42), QStringLiteral("0:42"));
    QCOMPARE(TransferRate::durationText(725), QStringLiteral("12:05"));
    QCOMPARE(TransferRate::durationText(3599), QStringLiteral("59:59"));
    QCOMPARE(TransferRate::durationText(3723), QStringLiteral("1:02:03"));
}

void TestTransferRate::speedOverTheLastFiveSecondsAndTimeLeft()
{
    qint64 now = 1000;
    TransferRate rate([&now] { return now; });
    rate.start(100 * MiB);
    QVERIFY(rate.due());
    QCOMPARE(rate.text(), QStringLiteral("0 B / 100.0 MB  0 B/s  残り --:--"));
    QVERIFY(!rate.due()); // at most four times a second
    now += 249;
    QVERIFY(!rate.due());
    now += 1;
    QVERIFY(rate.due());

    // 10 MB a second for the first four seconds; no estimate before two seconds have passed.
    now = 1000;
    for (int s = 1; s <= 4; ++s) {
        now += 1000;
        rate.setDone(s * 10 * MiB);
        if (s == 1)
            QCOMPARE(rate.text(), QStringLiteral("10.0 MB / 100.0 MB  10.0 MB/s  残り --:--"));
    }
    QCOMPARE(rate.text(), QStringLiteral("40.0 MB / 100.0 MB  10.0 MB/s  残り 0:06"));
    // Then 2 MB a second: after five seconds of it the old speed no longer counts.
    for (int s = 1; s <= 5; ++s) {
        now += 1000;
        rate.setDone(40 * MiB + s * 2 * MiB);
    }
    QCOMPARE(rate.text(), QStringLiteral("50.0 MB / 100.0 MB  2.0 MB/s  残り 0:25"));
    // A file dropped from the run (already imported) shortens the rest.
    rate.dropFromTotal(30 * MiB);
    QCOMPARE(rate.text(), QStringLiteral("50.0 MB / 70.0 MB  2.0 MB/s  残り 0:10"));
    // Past an hour.
    rate.start(10'000 * MiB);
    now += 3000;
    rate.setDone(3 * MiB);
    QCOMPARE(rate.text(), QStringLiteral("3.0 MB / 9.8 GB  1.0 MB/s  残り 2:46:37"));
}

void TestTransferRate::cancelledRun()
{
    TestDir dir;
    test::TestPrompt prompt;
    makeCard(dir, 8);
    const QString dst = dir.createDir(QStringLiteral("dst"));
    qint64 now = 0;
    SetTransferClockForTesting([&now] { return now; });
    MemoryTransferView view;
    TransferState state;
    int copied = 0;
    // A second passes with each file; Cancel is pressed during the third.
    view.onPump = [&] {
        if (view.status.startsWith(copyingText()) && view.progress == 100) {
            now += 1000;
            if (++copied == 3)
                CancelCopy(state, view);
        }
    };
    const TransferOutcome outcome = runCard(dir, dst, state, view);
    QVERIFY(!outcome);
    QCOMPARE(outcome.status, cancelledStatusText());
    const QStringList lines = distinct(view.bytesHistory);
    QCOMPARE(lines.first(), QStringLiteral("0 B / 8.0 MB  0 B/s  残り --:--"));
    QCOMPARE(lines.last(), QString()); // blank once the run is over
    QCOMPARE(view.bytes, QString());
    // Each shown line is what was copied by then, never more than the files that arrived.
    const qint64 arrived = test::filesUnder(dst).size() * MiB;
    for (const QString &line : lines.mid(0, lines.size() - 1)) {
        QVERIFY2(line.contains(QStringLiteral(" / 8.0 MB  ")), qPrintable(line));
        QVERIFY2(shownDone(line) <= double(arrived), qPrintable(line));
    }
    QCOMPARE(lines.at(lines.size() - 2), QStringLiteral("3.0 MB / 8.0 MB  1.5 MB/s  残り 0:03"));
}

void TestTransferRate::fullDisk()
{
    if (!m_namespaceError.isEmpty())
        QSKIP(qPrintable(m_namespaceError));
    TestDir dir;
    test::TestPrompt prompt;
    makeCard(dir, 6);
    const QString dst = dir.createDir(QStringLiteral("dst"));
    test::SmallDisk disk(dst, "3m");
    if (!disk.mounted())
        QSKIP(qPrintable(disk.error()));
    qint64 now = 0;
    SetTransferClockForTesting([&now] { return now; });
    MemoryTransferView view;
    view.onPump = [&] { now += 400; };
    TransferState state;
    const TransferOutcome outcome = runCard(dir, dst, state, view);
    QVERIFY(!outcome);
    QCOMPARE(outcome.status, diskFullStatusText(VolumeRootOf(dst)));
    const QStringList lines = distinct(view.bytesHistory);
    QCOMPARE(lines.first(), QStringLiteral("0 B / 6.0 MB  0 B/s  残り --:--"));
    QCOMPARE(lines.last(), QString());
    const qint64 arrived = test::filesUnder(dst).size() * MiB;
    QVERIFY(arrived <= 3 * MiB);
    double last = 0;
    for (const QString &line : lines.mid(0, lines.size() - 1)) {
        QVERIFY2(line.contains(QStringLiteral(" / 6.0 MB  ")), qPrintable(line));
        QVERIFY2(shownDone(line) >= last, qPrintable(line)); // never backwards
        last = shownDone(line);
        // A partial copy counts while it is written; nothing beyond what the disk can hold.
        QVERIFY2(last <= 3.0 * MiB, qPrintable(line));
    }
    QVERIFY(last >= double(arrived));
}

QTEST_GUILESS_MAIN(TestTransferRate)
#include "tst_transferrate.moc"
