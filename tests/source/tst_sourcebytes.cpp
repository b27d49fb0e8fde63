#include "formchild.h"
#include "platform/bytepath.h"
#include "platform/volumesfake.h"
#include "routing/widgets/extensionroutingcontroller.h"
#include "settings/settingsrecord.h"
#include "source/importstate.h"
#include "source/widgets/sourcecontroller.h"
#include "ui/textform.h"
#include "ui/tfilecountform.h"
#include "ui/tlistviewform.h"
#include "ui/tmainform.h"

#include "../platform/rawfiles.h"
#include "testdir.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

using namespace vantora;
using namespace vantora::test;

// The source group over a card whose names are not all UTF-8: counted and listed by their bytes, shown
// readable.
class TestSourceBytes final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void countAndListTakeBothNames()
    {
        TestDir home;
        isolateHome(home.path());
        RawTestDir dir;
        const QByteArray card = dir.path() + "/card";
        const QByteArray folder = card + "/\xE9t\xE9";
        QVERIFY(makeRawDir(card));
        QVERIFY(makeRawDir(folder));
        const QList<QByteArray> files{card + '/' + RawFfName, card + '/' + RawReplacementName,
                                      folder + "/IMG_\x80.JPG"};
        for (const QByteArray &f : files)
            QVERIFY(writeRawFile(f, f));

        TMainForm main;
        TFileCountForm count;
        TListViewForm list;
        SettingsRecord settings;
        QVERIFY(makeRawDir(dir.path() + "/sys"));
        FakeVolumes volumes(QString::fromUtf8(dir.path() + "/sys"));
        volumes.add({QStringLiteral("/"), DriveType::Fixed, true, QString()});
        TExtForm ext(&main);
        ExtensionRoutingController routing(main.destinationArea(), &ext, &settings);
        ImportState state;
        SourceController ctl(main.sourceArea(), &state, &count, &list, &settings, &volumes);
        ctl.setNeighbours(std::make_unique<RoutingNeighbours>(&routing));
        formChild<QTableWidget>(&main, "ExtListEditor")->setRowCount(1);
        formChild<QTableWidget>(&main, "ExtListEditor")
            ->setItem(0, 0, new QTableWidgetItem(QStringLiteral("*.JPG")));

        const QString source = pathFromBytes(card) + QLatin1Char('/');
        ctl.CountSourceFiles(source);
        QCOMPARE(formChild<QLabel>(&main, "FNumLabel")->text(), QStringLiteral("3"));
        QCOMPARE(ctl.sourceFileCount(), 3);

        QSet<QByteArray> listed;
        for (const QString &path : ctl.collectRunList())
            listed.insert(pathToBytes(path));
        QCOMPARE(listed, QSet<QByteArray>(files.begin(), files.end()));

        // The list window shows each file once per row that takes it, readable.
        QStringList shown;
        QTimer::singleShot(0, this, [&] {
            for (int i = 0; i < list.ListBox1->count(); ++i)
                shown.append(list.ListBox1->item(i)->text());
            list.close();
        });
        ctl.BitBtn1Click();
        QCOMPARE(shown.size(), 3);
        for (const QString &s : std::as_const(shown))
            QVERIFY2(!hasEscapedBytes(s), qPrintable(s));
        const QString ff = displayPath(pathFromBytes(files.at(0)));
        QCOMPARE(shown.count(ff), 2); // the two names look alike; both are there
        QVERIFY(shown.contains(displayPath(pathFromBytes(files.at(2)))));
    }
};

QTEST_MAIN(TestSourceBytes)
#include "tst_sourcebytes.moc"
