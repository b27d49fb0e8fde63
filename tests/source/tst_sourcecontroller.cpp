#include "formchild.h"
#include "platform/volumesfake.h"
#include "platform/volumesmounttable.h"
#include "platform/volumeswatcher.h"
#include "routing/widgets/extensionroutingcontroller.h"
#include "settings/settingsrecord.h"
#include "source/importstate.h"
#include "source/widgets/sourcecontroller.h"
#include "source/widgets/statelabels.h"
#include "ui/textform.h"
#include "ui/tfilecountform.h"
#include "ui/tlistviewform.h"
#include "ui/tmainform.h"

#include "sandbox.h"
#include "tables.h"
#include "testdir.h"
#include "testprompt.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <memory>

#include <sys/mount.h>
#include <unistd.h>

using namespace vantora;
using vantora::test::formChild;
using vantora::test::TestDir;
using vantora::test::TestPrompt;
using vantora::test::Text;

namespace {

// Counts how often a window was shown.
class ShowCounter final : public QObject
{
public:
    explicit ShowCounter(QWidget *w) { w->installEventFilter(this); }
    int shows = 0;

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Show)
            ++shows;
        return false;
    }
};

void setRows(QTableWidget *table, const QStringList &masks)
{
    table->setRowCount(int(masks.size()));
    for (int i = 0; i < masks.size(); ++i)
        table->setItem(i, 0, new QTableWidgetItem(masks.at(i)));
}

QString countLabel(qint64 n)
{
    return QString::number(n) + QStringLiteral("個の対象ファイル");
}

// Keeps the event loop busy so a walk that pumps events takes a while.
class SlowEvents final
{
public:
    explicit SlowEvents(int sleepMs)
    {
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [sleepMs] { QThread::msleep(sleepMs); });
        m_timer.start();
    }

private:
    QTimer m_timer;
};

} // namespace

class TestSourceController final : public QObject
{
    Q_OBJECT

private:
    vantora::test::IsolatedHome m_home;
    std::unique_ptr<TestDir> m_dir;
    std::unique_ptr<TMainForm> m_main;
    std::unique_ptr<TFileCountForm> m_count;
    std::unique_ptr<TListViewForm> m_list;
    std::unique_ptr<FakeVolumes> m_volumes;
    std::unique_ptr<ImportState> m_state;
    std::unique_ptr<SourceController> m_ctl;
    // The areas the source asks and tells, as the program wires them.
    std::unique_ptr<TExtForm> m_extForm;
    std::unique_ptr<ExtensionRoutingController> m_routing;
    SettingsRecord m_settings;
    QString m_pictures;

    QString path(const QString &relative) const { return m_dir->filePath(relative); }
    QString source() const { return formChild<QLineEdit>(m_main.get(), "SourceEdit1")->text(); }
    void wire(SourceController &ctl)
    {
        ctl.setNeighbours(std::make_unique<RoutingNeighbours>(m_routing.get()));
    }
    void addCard(const QString &name, DriveType type = DriveType::Removable, const QString &label = QString())
    {
        m_volumes->add({path(name), type, true, label});
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_pictures = m_home.dir.path() + QLatin1String("/Pictures");
        m_home.dir.createFile(QStringLiteral("Pictures/p1.JPG"));
        m_home.dir.createFile(QStringLiteral("Pictures/p2.jpg"));
    }

    void init()
    {
        m_dir = std::make_unique<TestDir>();
        m_dir->createDir(QStringLiteral("sys"));
        m_main = std::make_unique<TMainForm>();
        m_count = std::make_unique<TFileCountForm>();
        m_list = std::make_unique<TListViewForm>();
        m_volumes = std::make_unique<FakeVolumes>(path(QStringLiteral("sys")));
        // The root file system holds the temporary folders and the home, as on a real machine.
        m_volumes->add({QStringLiteral("/"), DriveType::Fixed, true, QStringLiteral("ROOTFS")});
        m_settings = SettingsRecord();
        m_extForm = std::make_unique<TExtForm>(m_main.get());
        m_routing = std::make_unique<ExtensionRoutingController>(m_main->destinationArea(), m_extForm.get(),
                                                                 &m_settings);
        m_state = std::make_unique<ImportState>();
        followProgressRow(m_state.get(), m_main->transferArea());
        m_ctl = std::make_unique<SourceController>(m_main->sourceArea(), m_state.get(), m_count.get(),
                                                   m_list.get(), &m_settings, m_volumes.get());
        wire(*m_ctl);
        setRows(formChild<QTableWidget>(m_main.get(), "ExtListEditor"),
                {QStringLiteral("*.JPG"), QStringLiteral("*.MOV")});
        m_state->setSourceFolder(m_dir->createDir(QStringLiteral("start")) + QLatin1Char('/'));
    }

    void cleanup()
    {
        m_ctl.reset();
        m_state.reset();
        m_routing.reset();
        m_extForm.reset();
        m_list.reset();
        m_count.reset();
        m_main.reset();
        m_volumes.reset();
        m_dir.reset();
    }

    void countShowsLabelsAndTrailingSlashes()
    {
        m_dir->createFile(QStringLiteral("src/a/IMG_1.JPG"));
        m_dir->createFile(QStringLiteral("src/a/img_2.jpg"));
        m_dir->createFile(QStringLiteral("src/MVI_3.MOV"));
        m_dir->createFile(QStringLiteral("src/README"));
        formChild<QLineEdit>(m_main.get(), "TransferEdit1")->setText(QStringLiteral("/dest"));
        m_state->setWorkedText(QStringLiteral("7"));
        m_ctl->CountSourceFiles(path(QStringLiteral("src")));
        QCOMPARE(source(), path(QStringLiteral("src/")));
        QCOMPARE(formChild<QLineEdit>(m_main.get(), "TransferEdit1")->text(), QStringLiteral("/dest/"));
        QCOMPARE(formChild<QLabel>(m_main.get(), "WorkPLabel")->text(), QStringLiteral("0"));
        QCOMPARE(formChild<QLabel>(m_main.get(), "FNumLabel1")->text(), countLabel(3));
        QCOMPARE(formChild<QLabel>(m_main.get(), "FNumLabel")->text(), QStringLiteral("3"));
        QCOMPARE(m_ctl->sourceFileCount(), 3);
    }

    void shortCountNeverShowsDialog()
    {
        for (int i = 0; i < 50; ++i)
            m_dir->createFile(QStringLiteral("card/DCIM/100/IMG_%1.JPG").arg(i));
        m_state->setSourceFolder(path(QStringLiteral("card/DCIM/")));
        ShowCounter shows(m_count.get());
        QElapsedTimer t;
        t.start();
        m_ctl->CountSourceFilesWithDialog();
        QVERIFY(t.elapsed() < 750);
        QCOMPARE(shows.shows, 0);
        QCOMPARE(formChild<QLabel>(m_main.get(), "FNumLabel1")->text(), countLabel(50));
        QVERIFY(!m_count->FormShowTimer1->isActive());
    }

    void longCountShowsDialogEveryTenFiles()
    {
        for (int i = 0; i < 3000; ++i)
            m_dir->createFile(QStringLiteral("card/DCIM/%1/IMG_%2.JPG").arg(i / 100).arg(i));
        m_state->setSourceFolder(path(QStringLiteral("card/DCIM/")));
        m_ctl->setPumpInterval(0);
        QStringList seen;
        QTimer watch;
        watch.setInterval(0);
        connect(&watch, &QTimer::timeout, this, [&] {
            if (m_count->isVisible() && (seen.isEmpty() || seen.last() != m_count->CountText->text()))
                seen.append(m_count->CountText->text());
        });
        watch.start();
        SlowEvents slow(10);
        m_ctl->CountSourceFilesWithDialog();
        watch.stop();
        QVERIFY2(!seen.isEmpty(), "the counting window was never shown");
        QCOMPARE(m_count->Label1->text(), path(QStringLiteral("card/DCIM/")));
        for (const QString &s : seen)
            QVERIFY2(s.toInt() % 10 == 0, qPrintable(s));
        QVERIFY(seen.last().toInt() > 0);
        QCOMPARE(formChild<QLabel>(m_main.get(), "FNumLabel1")->text(), countLabel(3000));
        m_ctl->closeCountForm();
        QVERIFY(!m_count->isVisible());
    }

    void slowCountWithoutMatchesNeverShowsDialog()
    {
        for (int i = 0; i < 3000; ++i)
            m_dir->createFile(QStringLiteral("card/DCIM/%1/IMG_%2.txt").arg(i / 100).arg(i));
        m_state->setSourceFolder(path(QStringLiteral("card/DCIM/")));
        m_ctl->setPumpInterval(0);
        ShowCounter shows(m_count.get());
        SlowEvents slow(10);
        QElapsedTimer t;
        t.start();
        m_ctl->CountSourceFilesWithDialog();
        QVERIFY2(t.elapsed() > 1000, "the walk was too quick to tell");
        QCOMPARE(shows.shows, 0);
        QCOMPARE(formChild<QLabel>(m_main.get(), "FNumLabel1")->text(), countLabel(0));
    }

    void forceStopEndsProgram_data()
    {
        QTest::addColumn<bool>("fromDialog"); // started by "対象計数" of the modal extension dialog
        QTest::addColumn<bool>("escape");     // Escape instead of a click on "強制終了"
        QTest::newRow("main window, button") << false << false;
        QTest::newRow("main window, Escape") << false << true;
        QTest::newRow("extension dialog, button") << true << false;
        QTest::newRow("extension dialog, Escape") << true << true;
    }

    void forceStopEndsProgram()
    {
        QFETCH(bool, fromDialog);
        QFETCH(bool, escape);
        for (int i = 0; i < 3000; ++i)
            m_dir->createFile(QStringLiteral("card/DCIM/%1/IMG_%2.JPG").arg(i / 100).arg(i));
        m_state->setSourceFolder(path(QStringLiteral("card/DCIM/")));
        m_volumes->add({path(QStringLiteral("card")), DriveType::Fixed, true, QString()});
        m_ctl->attachExtensionDialog(m_extForm.get());
        m_main->show();
        bool closeAsked = false;
        m_main->closeQuery = [&] {
            closeAsked = true;
            return true;
        };
        m_ctl->setPumpInterval(0);
        // The user's press goes through the window system, where a modal window blocks the others.
        QTimer press;
        press.setInterval(0);
        connect(&press, &QTimer::timeout, this, [&] {
            if (!m_count->isVisible())
                return;
            QWindow *window = m_count->windowHandle();
            if (escape)
                QTest::keyClick(window, Qt::Key_Escape);
            else
                QTest::mouseClick(window, Qt::LeftButton, {},
                                  m_count->BitBtn1->mapTo(m_count.get(), m_count->BitBtn1->rect().center()));
        });
        press.start();
        SlowEvents slow(10);
        bool leftOpen = false;
        if (fromDialog) {
            QTimer::singleShot(0, this, [&] {
                // Delivered at once: the count runs, and has ended, within the click.
                QTest::mouseClick(
                    m_extForm->windowHandle(), Qt::LeftButton, {},
                    m_extForm->BitBtn4->mapTo(m_extForm.get(), m_extForm->BitBtn4->rect().center()));
                leftOpen = m_extForm->isVisible();
                m_extForm->hide();
            });
            m_routing->showExtensionDialog();
        } else {
            m_ctl->CountSourceFilesWithDialog();
        }
        QVERIFY(!leftOpen);
        QVERIFY(closeAsked);
        QVERIFY(!m_main->isVisible());
        QVERIFY(!m_count->isVisible());
        QVERIFY(m_ctl->sourceFileCount() < 3000);
        QCOMPARE(formChild<QLabel>(m_main.get(), "FNumLabel1")->text(), countLabel(0));
    }

    void cancelStopsCountDeepInSubfolder()
    {
        for (int i = 0; i < 4000; ++i)
            m_dir->createFile(QStringLiteral("src/a/b/c/d/IMG_%1.JPG").arg(i));
        m_ctl->setPumpInterval(0);
        QElapsedTimer sinceClick;
        QTimer::singleShot(150, this, [&] {
            sinceClick.start();
            formChild<QPushButton>(m_main.get(), "CancelTransferBitBtn")->click();
        });
        SlowEvents slow(10);
        m_ctl->CountSourceFiles(path(QStringLiteral("src")));
        QVERIFY2(sinceClick.isValid(), "the count ended before Cancel was pressed");
        QVERIFY(sinceClick.elapsed() < 100);
        const qint64 partial = m_ctl->sourceFileCount();
        QVERIFY(partial > 0);
        QVERIFY(partial < 4000);
        QCOMPARE(formChild<QLabel>(m_main.get(), "FNumLabel1")->text(), countLabel(partial));
        QCOMPARE(formChild<QLabel>(m_main.get(), "FNumLabel")->text(), QString::number(partial));
        // The next count starts afresh.
        m_ctl->CountSourceFiles(path(QStringLiteral("src")));
        QCOMPARE(m_ctl->sourceFileCount(), 4000);
    }

    void countStartedDuringCountReplacesIt()
    {
        for (int i = 0; i < 3000; ++i)
            m_dir->createFile(QStringLiteral("big/%1/IMG_%2.JPG").arg(i / 100).arg(i));
        m_dir->createFile(QStringLiteral("small/IMG_1.JPG"));
        m_ctl->setPumpInterval(0);
        bool nested = false;
        QTimer::singleShot(30, this, [&] {
            nested = true;
            m_ctl->CountSourceFiles(path(QStringLiteral("small")));
        });
        SlowEvents slow(5);
        m_ctl->CountSourceFiles(path(QStringLiteral("big")));
        QVERIFY(nested);
        // The later count's folder and number stand; the outer walk stopped without writing its own.
        QCOMPARE(source(), path(QStringLiteral("small/")));
        QCOMPARE(formChild<QLabel>(m_main.get(), "FNumLabel1")->text(), countLabel(1));
        QVERIFY(!m_ctl->isWalking());
    }

    void targetListShowsDuplicatesAndLastCount()
    {
        m_dir->createFile(QStringLiteral("src/B.jpg"));
        m_dir->createFile(QStringLiteral("src/a.JPG"));
        m_dir->createFile(QStringLiteral("src/c.mov"));
        setRows(formChild<QTableWidget>(m_main.get(), "ExtListEditor"),
                {QStringLiteral("*.JPG"), QStringLiteral("*.*")});
        m_state->setSourceFolder(path(QStringLiteral("src/")));
        m_state->setFileCount(42);
        QStringList shown;
        QString status;
        QString footer;
        QTimer::singleShot(0, this, [&] {
            for (int i = 0; i < m_list->ListBox1->count(); ++i)
                shown.append(m_list->ListBox1->item(i)->text());
            status = formChild<QLabel>(m_main.get(), "StatusLabel")->text();
            footer = m_list->StaticText1->text();
            m_list->close();
        });
        m_ctl->BitBtn1Click();
        const QString a = path(QStringLiteral("src/a.JPG"));
        const QString b = path(QStringLiteral("src/B.jpg"));
        QCOMPARE(shown, QStringList({a, a, b, b, path(QStringLiteral("src/c.mov"))}));
        QCOMPARE(status, QString());
        QCOMPARE(footer, QStringLiteral("42 個の対象ファイル"));
        QCOMPARE(m_list->ListBox1->count(), 0);
        QCOMPARE(m_ctl->collectRunList().size(), 5);
    }

    void cardAppearsAtNotification()
    {
        m_main->show();
        for (int i = 0; i < 3; ++i)
            m_dir->createFile(QStringLiteral("card/DCIM/100CANON/IMG_%1.JPG").arg(i));
        m_dir->createFile(QStringLiteral("card/DCIM/100CANON/MVI_9.MOV"));
        addCard(QStringLiteral("card"), DriveType::Removable, QStringLiteral("EOS_DIGITAL"));
        const QString setting = m_settings.SourceEditText;
        ShowCounter countShows(m_count.get());
        ShowCounter listShows(m_list.get());
        m_ctl->mountTableChanged();
        QCOMPARE(source(), path(QStringLiteral("card/DCIM/")));
        QCOMPARE(formChild<QLabel>(m_main.get(), "VolLabel")->text(), QStringLiteral("EOS_DIGITAL"));
        QCOMPARE(formChild<QLabel>(m_main.get(), "FNumLabel1")->text(), countLabel(4));
        QCOMPARE(m_ctl->rememberedDrive(), path(QStringLiteral("card")));
        QVERIFY(formChild<QTimer>(m_main.get(), "Timer1")->isActive());
        QCOMPARE(countShows.shows + listShows.shows, 0);
        QCOMPARE(m_settings.SourceEditText, setting);

        // The card goes: the source falls back to Pictures and is counted.
        m_volumes->remove(path(QStringLiteral("card")));
        QVERIFY(QDir(path(QStringLiteral("card"))).removeRecursively());
        m_ctl->mountTableChanged();
        QCOMPARE(source(), m_pictures + QLatin1Char('/'));
        QCOMPARE(m_settings.SourceEditText, m_pictures + QLatin1Char('/'));
        QCOMPARE(formChild<QLabel>(m_main.get(), "FNumLabel1")->text(), countLabel(2));
        QCOMPARE(formChild<QLabel>(m_main.get(), "VolLabel")->text(), QStringLiteral("ROOTFS"));
        QCOMPARE(countShows.shows + listShows.shows, 0);
    }

    void notReadyCardIsSkipped()
    {
        m_dir->createFile(QStringLiteral("card/DCIM/IMG_1.JPG"));
        m_volumes->add({path(QStringLiteral("card")), DriveType::Removable, false, QString()});
        m_ctl->Timer1Timer();
        QCOMPARE(source(), path(QStringLiteral("start/")));
        m_volumes->setReady(path(QStringLiteral("card")), true);
        m_ctl->Timer1Timer();
        QCOMPARE(source(), path(QStringLiteral("card/DCIM/")));
    }

    void fixedVolumeWithDcimTaken()
    {
        m_dir->createFile(QStringLiteral("data/DCIM/IMG_1.JPG"));
        addCard(QStringLiteral("data"), DriveType::Fixed, QStringLiteral("DATA"));
        m_ctl->Timer1Timer();
        QCOMPARE(source(), path(QStringLiteral("data/DCIM/")));
        QCOMPARE(formChild<QLabel>(m_main.get(), "VolLabel")->text(), QStringLiteral("DATA"));
    }

    void systemVolumeNeverTakenByWatch()
    {
        m_dir->createFile(QStringLiteral("sys/DCIM/IMG_1.JPG"));
        addCard(QStringLiteral("start"), DriveType::Fixed);
        m_ctl->Timer1Timer();
        QCOMPARE(source(), path(QStringLiteral("start/")));
        // The detection over all volumes may take it.
        m_ctl->StartupCheckSourceDrive();
        m_ctl->closeCountForm();
        QCOMPARE(source(), path(QStringLiteral("sys/DCIM/")));
    }

    void startWithMountPathWithoutDcim()
    {
        m_dir->createFile(QStringLiteral("usb/photos/IMG_1.JPG"));
        m_dir->createFile(QStringLiteral("usb/IMG_2.JPG"));
        addCard(QStringLiteral("usb"), DriveType::Removable, QStringLiteral("STICK"));
        m_ctl->setCommandLineArgument(path(QStringLiteral("usb")));
        m_ctl->startupBegin();
        QVERIFY(m_ctl->noCardMark());
        m_ctl->startupFinish();
        QCOMPARE(source(), path(QStringLiteral("usb/")));
        QCOMPARE(m_ctl->rememberedDrive(), path(QStringLiteral("usb")));
        QCOMPARE(formChild<QLabel>(m_main.get(), "VolLabel")->text(), QStringLiteral("STICK"));
        QCOMPARE(formChild<QLabel>(m_main.get(), "FNumLabel1")->text(), countLabel(2));
        QVERIFY(formChild<QTimer>(m_main.get(), "Timer1")->isActive());
        QVERIFY(!m_count->isVisible());
    }

    // A folder on a ready volume that does not exist (yet) is taken as given; its count finds nothing.
    void startWithMissingFolderOnReadyVolume()
    {
        addCard(QStringLiteral("usb"), DriveType::Removable, QStringLiteral("STICK"));
        m_ctl->setCommandLineArgument(path(QStringLiteral("usb/later")));
        m_ctl->startupBegin();
        m_ctl->startupFinish();
        QCOMPARE(source(), path(QStringLiteral("usb/later/")));
        QCOMPARE(formChild<QLabel>(m_main.get(), "FNumLabel")->text(), QStringLiteral("0"));
    }

    void startWithMountPathWithDcim()
    {
        m_dir->createFile(QStringLiteral("card/DCIM/IMG_1.JPG"));
        addCard(QStringLiteral("card"));
        m_ctl->setCommandLineArgument(path(QStringLiteral("card")));
        m_ctl->startupBegin();
        m_ctl->startupFinish();
        QCOMPARE(source(), path(QStringLiteral("card/DCIM/")));
    }

    void startWithoutCardKeepsReadySource()
    {
        m_dir->createFile(QStringLiteral("start/IMG_1.JPG"));
        addCard(QStringLiteral("start"), DriveType::Fixed);
        m_ctl->startupBegin();
        m_ctl->startupFinish();
        QCOMPARE(source(), path(QStringLiteral("start/")));
        QVERIFY(!m_ctl->noCardMark());
        QCOMPARE(formChild<QLabel>(m_main.get(), "FNumLabel1")->text(), countLabel(1));
        // A saved source that is gone falls back to Pictures.
        m_state->setSourceFolder(path(QStringLiteral("vanished/")));
        m_ctl->startupBegin();
        m_ctl->startupFinish();
        QCOMPARE(source(), m_pictures + QLatin1Char('/'));
    }

    void handChoiceStopsTimerUntilCardFound()
    {
        TestPrompt prompt;
        formChild<QTimer>(m_main.get(), "Timer1")->start();
        m_dir->createFile(QStringLiteral("pick/DCIM/IMG_1.JPG"));
        prompt.folders.enqueue(path(QStringLiteral("pick")));
        m_ctl->BitBtn4Click();
        QCOMPARE(prompt.folderTitles,
                 QStringList(QStringLiteral(
                     "転送元フォルダを選択して下さい\r\n(C:\\などWindowsのルートフォルダは指定できません)")));
        QCOMPARE(source(), path(QStringLiteral("pick/DCIM/")));
        QCOMPARE(m_settings.SourceEditText, path(QStringLiteral("pick/DCIM/")));
        QCOMPARE(formChild<QLabel>(m_main.get(), "FNumLabel1")->text(), countLabel(1));
        QVERIFY(!formChild<QTimer>(m_main.get(), "Timer1")->isActive());
        QVERIFY(prompt.messages.isEmpty());

        m_dir->createFile(QStringLiteral("card/DCIM/IMG_1.JPG"));
        m_dir->createFile(QStringLiteral("card/DCIM/IMG_2.JPG"));
        addCard(QStringLiteral("card"));
        m_ctl->mountTableChanged();
        QCOMPARE(source(), path(QStringLiteral("card/DCIM/")));
        QVERIFY(formChild<QTimer>(m_main.get(), "Timer1")->isActive());
        QCOMPARE(m_settings.SourceEditText, path(QStringLiteral("pick/DCIM/")));
    }

    void handChoice_data()
    {
        // A chosen folder that holds DCIM gives its DCIM folder; a DCIM deeper down is not looked for.
        test::addRows<Text, Text>({"chosen", "expected"}, {{"folder", "pick", "pick/DCIM/"},
                                                           {"dcim folder itself", "pick/DCIM", "pick/DCIM/"},
                                                           {"only one level", "deep", "deep/"}});
    }

    void handChoice()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, expected);
        TestPrompt prompt;
        m_dir->createDir(QStringLiteral("pick/DCIM/DCIM_NOT"));
        m_dir->createDir(QStringLiteral("deep/inner/DCIM"));
        prompt.folders.enqueue(path(chosen));
        m_ctl->BitBtn4Click();
        QCOMPARE(source(), path(expected));
        QVERIFY(source().endsWith(u'/') && !source().endsWith(QLatin1String("//")));
    }

    void handChoiceRefusesSystemRoot()
    {
        TestPrompt prompt;
        const QString before = source();
        formChild<QTimer>(m_main.get(), "Timer1")->start();
        prompt.folders.enqueue(path(QStringLiteral("sys")));
        m_ctl->BitBtn4Click();
        QCOMPARE(
            prompt.messages,
            QStringList(
                QStringLiteral(
                    "Windowsがインストールされているドライブのルートフォルダは転送元として指定できません."
                    "\r\n下位フォルダを指定して下さい.\r\n") +
                path(QStringLiteral("sys"))));
        QCOMPARE(source(), before);
        QVERIFY(formChild<QTimer>(m_main.get(), "Timer1")->isActive());
        // Cancelling the folder dialog changes nothing either.
        m_ctl->BitBtn4Click();
        QCOMPARE(source(), before);
        QCOMPARE(prompt.messages.size(), 1);
    }

    void sourceEditExitAddsSlash()
    {
        m_main->show();
        m_state->setSourceFolder(path(QStringLiteral("start")));
        formChild<QLineEdit>(m_main.get(), "SourceEdit1")->setFocus();
        QApplication::setActiveWindow(m_main.get());
        formChild<QPushButton>(m_main.get(), "BitBtn1")->setFocus();
        QCOMPARE(source(), path(QStringLiteral("start/")));
        QCOMPARE(m_settings.SourceEditText, path(QStringLiteral("start/")));
    }

    void tickWaitsForRun()
    {
        m_state->setRunInProgress(true);
        m_dir->createFile(QStringLiteral("card/DCIM/IMG_1.JPG"));
        addCard(QStringLiteral("card"));
        m_volumes->scans = 0;
        m_ctl->mountTableChanged();
        QCOMPARE(m_volumes->scans, 0);
        QTest::qWait(300);
        QCOMPARE(m_volumes->scans, 0);
        QCOMPARE(source(), path(QStringLiteral("start/")));
        m_state->setRunInProgress(false);
        QTRY_COMPARE(source(), path(QStringLiteral("card/DCIM/")));
    }

    void tickWaitsForCount()
    {
        for (int i = 0; i < 2000; ++i)
            m_dir->createFile(QStringLiteral("src/%1/IMG_%2.JPG").arg(i / 100).arg(i));
        m_dir->createFile(QStringLiteral("card/DCIM/IMG_1.JPG"));
        m_ctl->setPumpInterval(0);
        int scansDuringCount = -1;
        QTimer::singleShot(50, this, [&] {
            addCard(QStringLiteral("card"));
            m_volumes->scans = 0;
            m_ctl->mountTableChanged();
            scansDuringCount = m_volumes->scans;
        });
        SlowEvents slow(1);
        m_ctl->CountSourceFiles(path(QStringLiteral("src")));
        QCOMPARE(scansDuringCount, 0);
        QCOMPARE(formChild<QLabel>(m_main.get(), "FNumLabel1")->text(), countLabel(2000));
        QTRY_COMPARE(source(), path(QStringLiteral("card/DCIM/")));
    }

    void diagnostics()
    {
        TestPrompt prompt;
        m_dir->createFile(QStringLiteral("card/DCIM/IMG_1.JPG"));
        addCard(QStringLiteral("card"));
        m_ctl->Timer1Timer();
        m_ctl->Button4Click();
        QCOMPARE(
            prompt.messages,
            QStringList({QStringLiteral("FindComleteFlag: \r\nRemDrive: ") + path(QStringLiteral("card")),
                         QStringLiteral("フロッピーディスク") + path(QStringLiteral("card"))}));
    }

    void extensionDialogSteps()
    {
        TExtForm ext;
        m_ctl->attachExtensionDialog(&ext);
        m_dir->createFile(QStringLiteral("start/IMG_1.JPG"));
        m_dir->createFile(QStringLiteral("start/a/IMG_2.jpg"));
        m_dir->createFile(QStringLiteral("start/a/notes.txt"));
        m_volumes->add({path(QStringLiteral("start")), DriveType::Fixed, true, QString()});
        setRows(ext.ExtListEditor, {QStringLiteral("*.JPG"), QStringLiteral("*.*")});
        formChild<QTimer>(m_main.get(), "Timer1")->start();

        ext.show();
        QCOMPARE(ext.Label2->text(), path(QStringLiteral("start/")));
        QVERIFY(!formChild<QTimer>(m_main.get(), "Timer1")->isActive());

        QFont bold = ext.FNumLabel1->font();
        bold.setBold(true);
        ext.FNumLabel1->setFont(bold);
        ext.BitBtn4->click();
        QCOMPARE(ext.FNumLabel1->text(), countLabel(2));
        QCOMPARE(formChild<QLabel>(m_main.get(), "FNumLabel1")->text(), countLabel(2));
        QVERIFY(!ext.FNumLabel1->font().bold());
        QVERIFY(!m_count->isVisible());

        // The list takes the dialog's rows: a JPG file twice, the text file once.
        QStringList shown;
        QTimer::singleShot(0, this, [&] {
            for (int i = 0; i < m_list->ListBox1->count(); ++i)
                shown.append(m_list->ListBox1->item(i)->text());
            m_list->close();
        });
        ext.BitBtn6->click();
        QCOMPARE(shown.size(), 5);
        QCOMPARE(shown.count(path(QStringLiteral("start/a/IMG_2.jpg"))), 2);

        ext.BitBtn1->click();
        QVERIFY(formChild<QTimer>(m_main.get(), "Timer1")->isActive());
        QCOMPARE(formChild<QLabel>(m_main.get(), "FNumLabel1")->text(), countLabel(2));
    }

    void realMountRunsTick()
    {
        if (geteuid() != 0)
            QSKIP("mounting a tmpfs needs root");
        // Its own namespace: the card mounted here reaches no other test, and the machine's cards are
        // not in the way of the watch.
        if (const QString why = vantora::test::isolateMounts(); !why.isEmpty())
            QSKIP(qPrintable(why));
        const QString stage = m_dir->createDir(QStringLiteral("stage"));
        const QString card = m_dir->createDir(QStringLiteral("mnt"));
        if (::mount("tmpfs", QFile::encodeName(stage).constData(), "tmpfs", 0, "size=4m") != 0)
            QSKIP("the tmpfs could not be mounted here (no mount permission in this environment)");
        for (int i = 0; i < 5; ++i)
            m_dir->createFile(QStringLiteral("stage/DCIM/100TEST/IMG_%1.JPG").arg(i));
        MountTableVolumes volumes;
        SourceController ctl(m_main->sourceArea(), m_state.get(), m_count.get(), m_list.get(), &m_settings,
                             &volumes);
        wire(ctl);
        VolumesWatcher watcher;
        QVERIFY(watcher.isWatching());
        connect(&watcher, &VolumesWatcher::mountsChanged, &ctl, &SourceController::mountTableChanged);
        QSignalSpy spy(&watcher, &VolumesWatcher::mountsChanged);
        QTest::qWait(300);
        spy.clear();
        const bool bound = ::mount(QFile::encodeName(stage).constData(), QFile::encodeName(card).constData(),
                                   nullptr, MS_BIND, nullptr) == 0;
        QTRY_VERIFY(spy.count() >= 1);
        QTRY_VERIFY(source().endsWith(QLatin1String("/DCIM/")));
        QVERIFY(source() == stage + QLatin1String("/DCIM/") || source() == card + QLatin1String("/DCIM/"));
        QCOMPARE(formChild<QLabel>(m_main.get(), "FNumLabel1")->text(), countLabel(5));
        QVERIFY(formChild<QTimer>(m_main.get(), "Timer1")->isActive());
        QVERIFY(volumes.roots().contains(stage));
        QCOMPARE(volumes.driveType(stage), DriveType::RamDisk);
        QVERIFY(volumes.isReady(stage));
        if (bound)
            ::umount2(QFile::encodeName(card).constData(), MNT_DETACH);
        ::umount2(QFile::encodeName(stage).constData(), MNT_DETACH);
        QTRY_VERIFY(!volumes.roots().contains(stage));
    }
};

QTEST_MAIN(TestSourceController)
#include "tst_sourcecontroller.moc"
