#include "formchild.h"
#include "mounthelper.h"
#include "settings/settingsrecord.h"
#include "source/importstate.h"
#include "source/widgets/statelabels.h"
#include "testdir.h"
#include "testprompt.h"
#include "transfer/transferloop.h"
#include "transfer/transferstate.h"
#include "transfer/widgets/mainformtransferview.h"
#include "transferfixture.h"
#include "ui/tmainform.h"

#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

using namespace vantora;
using namespace vantora::test;

// The engine over the real main window: its progress controls and its Cancel button.
class TestTransferWindow final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void runShowsProgress();
    void cancelButtonStopsCopy();
};

namespace {

SettingsRecord settingsFor(const QString &source)
{
    SettingsRecord s;
    s.SourceEditText = source;
    return s;
}

} // namespace

void TestTransferWindow::runShowsProgress()
{
    TestDir dir;
    TestPrompt prompt;
    TMainForm form;
    form.show();
    ImportState shown;
    followProgressRow(&shown, form.transferArea());
    MainFormTransferView view(form.transferArea(), &shown);
    qint32 shownFileCounter = 0;
    view.fileCounterShown = [&](qint32 n) { shownFileCounter = n; };
    const QString a = dir.createFile(QStringLiteral("src/a.jpg"), randomBytes(60 << 20, 1));
    const QString b = dir.createFile(QStringLiteral("src/b.jpg"), "b");
    const QString out = dir.createDir(QStringLiteral("out"));
    SettingsRecord s = settingsFor(dir.filePath(QStringLiteral("src/")));
    s.RenameChecked = true;
    s.FileNameEditText = QStringLiteral("[元のファイル名]_[RENBAN]");
    s.FileRenbanSpinEditValue = 3;
    TransferState state;
    QVERIFY(test::RunShown(state, {a, b}, 2, {{QStringLiteral("*.JPG"), out}}, s, view));
    QCOMPARE(formChild<QLabel>(&form, "WorkPLabel")->text(), QStringLiteral("2"));
    QCOMPARE(formChild<QProgressBar>(&form, "AllGauge")->value(), 100);
    QCOMPARE(formChild<QProgressBar>(&form, "ProgressBar1")->value(), 100);
    QCOMPARE(formChild<QLabel>(&form, "FNameLabel")->text(), QStringLiteral("b_4.jpg"));
    QCOMPARE(formChild<QLabel>(&form, "StatusLabel")->text(), QStringLiteral("コピーしています"));
    QCOMPARE(shownFileCounter, 5);
    QCOMPARE(QDir(out).entryList(QDir::Files),
             QStringList({QStringLiteral("a_3.jpg"), QStringLiteral("b_4.jpg")}));
}

void TestTransferWindow::cancelButtonStopsCopy()
{
    TestDir dir;
    TestPrompt prompt;
    TMainForm form;
    form.show();
    ImportState shown;
    followProgressRow(&shown, form.transferArea());
    MainFormTransferView view(form.transferArea(), &shown);
    TransferState state;
    int countCancels = 0;
    ConnectCancelTransferBitBtn(form.transferArea(), state, view, [&] { ++countCancels; });
    QStringList list;
    for (int i = 1; i <= 3; ++i)
        list << dir.createFile(QStringLiteral("src/%1.MOV").arg(i), randomBytes(i == 2 ? 64 << 20 : 1000, i));
    const QString out = dir.createDir(QStringLiteral("out"));
    SettingsRecord s = settingsFor(dir.filePath(QStringLiteral("src/")));
    // The click lands while the second file is being copied, through the events the copy pumps.
    QTimer clicker;
    clicker.setInterval(0);
    QObject::connect(&clicker, &QTimer::timeout, &form, [&] {
        if (formChild<QLabel>(&form, "FNameLabel")->text() == QStringLiteral("2.MOV")) {
            clicker.stop();
            formChild<QPushButton>(&form, "CancelTransferBitBtn")->click();
        }
    });
    clicker.start();
    QVERIFY(!test::RunShown(state, list, 3, {{QStringLiteral("*.MOV"), out}}, s, view));
    QCOMPARE(formChild<QLabel>(&form, "StatusLabel")->text(), QStringLiteral("転送はキャンセルされました"));
    QCOMPARE(formChild<QLabel>(&form, "WorkPLabel")->text(), QStringLiteral("1"));
    QCOMPARE(formChild<QProgressBar>(&form, "ProgressBar1")->value(), 0);
    QCOMPARE(formChild<QProgressBar>(&form, "AllGauge")->value(), 0);
    QCOMPARE(countCancels, 1);
    QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("1.MOV")});

    // Cancel with no run in progress: both gauges drop to 0, nothing else happens.
    formChild<QProgressBar>(&form, "ProgressBar1")->setValue(40);
    formChild<QProgressBar>(&form, "AllGauge")->setValue(70);
    formChild<QPushButton>(&form, "CancelTransferBitBtn")->click();
    QCOMPARE(formChild<QProgressBar>(&form, "ProgressBar1")->value(), 0);
    QCOMPARE(formChild<QProgressBar>(&form, "AllGauge")->value(), 0);
    QVERIFY(prompt.messages.isEmpty());
}

QTEST_MAIN(TestTransferWindow)
#include "tst_transferwindow.moc"
