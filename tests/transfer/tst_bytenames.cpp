#include "platform/bytepath.h"
#include "settings/settingsrecord.h"
#include "source/sourcewalk.h"
#include "transfer/memorytransferview.h"
#include "transfer/transferloop.h"
#include "transfer/transferstate.h"

#include "../platform/rawfiles.h"
#include "testdir.h"
#include "testprompt.h"
#include "transferfixture.h"

#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace vantora;
using namespace vantora::test;

// Whole runs over a card whose names are not all UTF-8: walked, routed, copied or moved, and tidied by
// the names' exact bytes.
class TestByteNames final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void runKeepsEveryByte_data();
    void runKeepsEveryByte();

private:
    IsolatedHome m_home;
};

void TestByteNames::runKeepsEveryByte_data()
{
    copyAndMoveRows();
}

void TestByteNames::runKeepsEveryByte()
{
    QFETCH(bool, move);
    RawTestDir dir;
    TestPrompt prompt;
    const QByteArray card = dir.path() + "/card";
    const QByteArray dcim = card + "/DCIM";
    const QByteArray picsBytes = dir.path() + "/pics";
    const QByteArray pana = dcim + "/100PANA";
    const QByteArray rawFolder = dcim + "/1\3770PANA"; // a camera folder named with a raw byte
    for (const QByteArray &d : {card, dcim, pana, rawFolder, picsBytes})
        QVERIFY(makeRawDir(d));
    // Each file its own content: a file copied twice and another never shows.
    QRandomGenerator rng(11);
    const auto content = [&rng](int size) {
        QByteArray b(size, Qt::Uninitialized);
        for (char &c : b)
            c = char(rng.bounded(256));
        return b;
    };
    const QMap<QByteArray, QByteArray> sources{
        {pana + '/' + RawFfName, content(70000)},
        {pana + '/' + RawReplacementName, content(50000)},
        {rawFolder + "/P\3761.JPG", content(30000)},
    };
    for (auto it = sources.cbegin(); it != sources.cend(); ++it)
        QVERIFY(writeRawFile(it.key(), it.value()));

    const QString source = pathFromBytes(dcim) + QLatin1Char('/');
    const QString pics = pathFromBytes(picsBytes);
    SettingsRecord s;
    s.SourceEditText = source;
    s.DirCreateChecked = true;
    s.DirNameEditText = QStringLiteral("trip");
    s.FileNameEditText = QStringLiteral("[元のファイル名]");
    s.PANA101Checked = true;
    s.DelChecked = move;
    const ExtensionRows table{{QStringLiteral("*.JPG"), pics}};

    // The run list as the program makes it: one walk of the source.
    const QStringList runList = CollectRunList(source, {QStringLiteral("*.JPG")});
    QCOMPARE(runList.size(), 3);
    QSet<QByteArray> listed;
    for (const QString &path : runList)
        listed.insert(pathToBytes(path));
    QCOMPARE(listed, QSet<QByteArray>(sources.keyBegin(), sources.keyEnd()));

    MemoryTransferView view;
    TransferState state;
    QVERIFY(RunShown(state, runList, 3, table, s, view));
    QCOMPARE(prompt.messages, QStringList());
    QCOMPARE(view.worked, QStringLiteral("3"));

    QMap<QByteArray, QByteArray> expected{
        {"trip", "<dir>"},
        {"trip/100PANA", "<dir>"},
        {"trip/1\3770PANA", "<dir>"},
    };
    for (auto it = sources.cbegin(); it != sources.cend(); ++it)
        expected.insert("trip/" + it.key().mid(dcim.size() + 1), it.value());
    QCOMPARE(rawTree(picsBytes), expected);
    const QByteArray first = pathToBytes(state.FirstDestinationFolder);
    const QByteArray firstPana = picsBytes + "/trip/100PANA";
    const QByteArray firstRaw = picsBytes + "/trip/1\3770PANA";
    QVERIFY2(first == firstPana || first == firstRaw, first.constData());

    if (!move) {
        for (auto it = sources.cbegin(); it != sources.cend(); ++it)
            QCOMPARE(readRawFile(it.key()), it.value());
        return;
    }
    for (auto it = sources.cbegin(); it != sources.cend(); ++it)
        QVERIFY2(!rawExists(it.key()), it.key().constData());
    // The tidy-up after the move takes both emptied camera folders, and only those.
    QVERIFY(RemoveEmptySourceFolders(source, state.movedFromFolders));
    QVERIFY(!rawExists(pana));
    QVERIFY(!rawExists(rawFolder));
    QVERIFY(rawIsDir(dcim));
}

QTEST_GUILESS_MAIN(TestByteNames)
#include "tst_bytenames.moc"
