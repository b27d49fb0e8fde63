#include "app/transferrun.h"
#include "formchild.h"
#include "history/importhistory.h"
#include "runwindow.h"

#include "../transfer/transferfixture.h"

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>
#include <QWidget>

using namespace vantora;
using vantora::test::filesUnder;
using vantora::test::formChild;

// The two import options of the main window: the skip of imported files and the read-back, through the
// real windows with the demo card as a mounted volume.
class TestImportOptions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { m_run.finish(); }
    void boxesComeLastInTheTabOrderAndStartOff();
    void secondImportOfTheSameCard();
    void boxOffKeepsTheOriginalBehaviour();
    void moveOfAnImportedCardDeletesWhatWasCopied();
    void missingBackupFolderAsksBeforeACopyAndRefusesAMove_data();
    void missingBackupFolderAsksBeforeACopyAndRefusesAMove();
    void damagedHistoryIsMovedAsideWithOneMessage_data();
    void damagedHistoryIsMovedAsideWithOneMessage();

private:
    // The program's windows; what they said while starting is kept apart from what comes after.
    void start(const SettingsRecord &record);
    void pressStart() { m_run.pressStart(); }
    QWidget *form() const { return m_run.form(); }
    QString status() const { return m_run.status(); }
    QString count() const { return formChild<QLabel>(form(), "FNumLabel")->text(); }
    SettingsRecord settings(bool skip) const;
    QString card(const QString &relative = QString()) const { return m_run.card(relative); }
    QString dest() const { return m_run.dest(); }
    QString historyPath() const { return m_run.historyPath(); }

    test::WindowRun m_run;
    QStringList m_startMessages;
};

void TestImportOptions::init()
{
    m_run.prepare();
    m_run.volumes().setIdentity(card(), QStringLiteral("uuid:DEMO-CARD"));
}

SettingsRecord TestImportOptions::settings(bool skip) const
{
    SettingsRecord r = m_run.allFilesToDest();
    r.SkipImportedChecked = skip;
    return r;
}

void TestImportOptions::start(const SettingsRecord &record)
{
    m_run.start(record);
    m_startMessages = m_run.prompt().messages;
    m_run.prompt().clear();
}

void TestImportOptions::boxesComeLastInTheTabOrderAndStartOff()
{
    start(SettingsRecord::defaults());
    auto *skip = formChild<QCheckBox>(form(), "SkipImportedCheckBox");
    auto *verify = formChild<QCheckBox>(form(), "VerifyCheckBox");
    auto *eject = formChild<QCheckBox>(form(), "EjectCheckBox");
    auto *shots = formChild<QCheckBox>(form(), "KeepShotsTogetherCheckBox");
    auto *offset = formChild<QSpinBox>(form(), "ClockOffsetSpinEdit");
    auto *backup = formChild<QCheckBox>(form(), "BackupCheckBox");
    auto *backupDir = formChild<QLineEdit>(form(), "BackupDirEdit");
    auto *backupButton = formChild<QPushButton>(form(), "BackupDirButton");
    auto *manifest = formChild<QCheckBox>(form(), "ManifestCheckBox");
    const QList<QWidget *> boxes{skip,   verify,    eject,        shots,   offset,
                                 backup, backupDir, backupButton, manifest};
    QCOMPARE(offset->value(), 0);
    QCOMPARE(offset->minimum(), -1440);
    QCOMPARE(offset->maximum(), 1440);
    QCOMPARE(skip->text(), QStringLiteral("取り込み済みのファイルは転送しない"));
    QCOMPARE(verify->text(), QStringLiteral("転送後にベリファイ"));
    QCOMPARE(eject->text(), QStringLiteral("転送後にカードを取り出す"));
    QCOMPARE(shots->text(), QStringLiteral("RAW+JPEGを同じ名前で転送"));
    QCOMPARE(eject->geometry(), QRect(8, 531, 232, 18));
    // Off, explained, inside the window and clear of every other control.
    QCOMPARE(backup->text(), QStringLiteral("バックアップ先にもコピー"));
    QCOMPARE(manifest->text(), QStringLiteral("チェックサム一覧を保存"));
    QVERIFY(backupDir->text().isEmpty());
    for (QCheckBox *box : {skip, verify, eject, shots, backup, manifest}) {
        QVERIFY(!box->isChecked());
        QVERIFY(!box->toolTip().isEmpty());
    }
    for (QWidget *box : boxes) {
        QVERIFY(form()->rect().contains(box->geometry()));
        for (QWidget *other : form()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
            if (!boxes.contains(other) && other->isVisible())
                QVERIFY2(!other->geometry().intersects(box->geometry()), qPrintable(other->objectName()));
        }
    }
    // The bytes line of a run sits right of the file count, blank while no run is going.
    auto *bytes = formChild<QLabel>(form(), "BytesLabel");
    QVERIFY(bytes->text().isEmpty());
    for (QWidget *other : form()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (other != bytes && other->isVisible())
            QVERIFY2(!other->geometry().intersects(bytes->geometry()), qPrintable(other->objectName()));
    }

    // The focus chain ends with the boxes.
    QList<QWidget *> chain;
    for (QWidget *w = form()->nextInFocusChain(); w != form(); w = w->nextInFocusChain())
        if ((w->focusPolicy() & Qt::TabFocus) && !qobject_cast<QAbstractSpinBox *>(w->parentWidget()))
            chain << w;
    const QList<QWidget *> last{skip,   verify,    eject,        shots,   offset,
                                backup, backupDir, backupButton, manifest};
    QVERIFY(chain.size() > last.size());
    QCOMPARE(chain.mid(chain.size() - last.size()), last);
}

void TestImportOptions::secondImportOfTheSameCard()
{
    start(settings(true));
    QCOMPARE(count(), QStringLiteral("9"));
    pressStart();
    QCOMPARE(status(), QStringLiteral("全ての転送が終了"));
    QCOMPARE(filesUnder(dest()).size(), 9);
    QVERIFY(m_run.prompt().messages.isEmpty());
    QCOMPARE(formChild<QLabel>(form(), "BytesLabel")->text(), QString());

    // The start counts again first: nothing left to import.
    m_run.prompt().clear();
    pressStart();
    QCOMPARE(m_run.prompt().messages, QStringList{allImportedMessage(9)});
    QVERIFY(m_run.prompt().questions.isEmpty());
    QCOMPARE(count(), QStringLiteral("0"));
    QCOMPARE(filesUnder(dest()).size(), 9);

    // A new photo on the card: only it is imported, the rest reported.
    QFile::copy(card(QStringLiteral("DCIM/100CANON/IMG_0001.JPG")),
                card(QStringLiteral("DCIM/100CANON/IMG_0010.JPG")));
    auto *skip = formChild<QCheckBox>(form(), "SkipImportedCheckBox");
    skip->click(); // off: all ten counted
    QCOMPARE(count(), QStringLiteral("10"));
    skip->click(); // on again
    QCOMPARE(count(), QStringLiteral("1"));
    m_run.prompt().clear();
    pressStart();
    QVERIFY(m_run.prompt().messages.isEmpty());
    QCOMPARE(status(), QStringLiteral("全ての転送が終了 (取り込み済み 9 個はスキップ)"));
    QCOMPARE(filesUnder(dest()).size(), 10);
    QVERIFY(!filesUnder(dest()).join(u' ').contains(QStringLiteral("_2.")));
}

void TestImportOptions::missingBackupFolderAsksBeforeACopyAndRefusesAMove_data()
{
    QTest::addColumn<bool>("move");
    QTest::addColumn<bool>("goOn");
    QTest::newRow("copy, answered no") << false << false;
    QTest::newRow("copy, answered yes") << false << true;
    QTest::newRow("move") << true << true;
}

// The question comes after the run's own; a move is refused with the folder named. Nothing is written
// unless the user says to go on, and then no backup folder is made.
void TestImportOptions::missingBackupFolderAsksBeforeACopyAndRefusesAMove()
{
    QFETCH(bool, move);
    QFETCH(bool, goOn);
    SettingsRecord r = settings(false);
    r.DelChecked = move;
    r.BackupChecked = true;
    r.BackupDirText = m_run.dir().filePath(QStringLiteral("second"));
    start(r);
    m_run.prompt().answers << true << goOn;
    pressStart();
    const QString question = backupUnusableQuestion(r.BackupDirText);
    QCOMPARE(question, QStringLiteral("バックアップ先のフォルダ[%1]がないか、書き込めません\r\n"
                                      "バックアップせずに転送しますか？")
                           .arg(r.BackupDirText));
    QCOMPARE(m_run.prompt().yesNoQuestions, move ? QStringList() : QStringList{question});
    QCOMPARE(m_run.prompt().messages,
             move ? QStringList{backupUnusableMessage(r.BackupDirText)} : QStringList());
    QCOMPARE(filesUnder(dest()).size(), goOn && !move ? 9 : 0);
    QCOMPARE(filesUnder(card(QStringLiteral("DCIM"))).size(), 9);
    QVERIFY(!QFileInfo::exists(r.BackupDirText));
}

void TestImportOptions::boxOffKeepsTheOriginalBehaviour()
{
    start(settings(false));
    pressStart();
    QCOMPARE(status(), QStringLiteral("全ての転送が終了"));
    QCOMPARE(count(), QStringLiteral("9"));
    m_run.prompt().clear();
    pressStart();
    QCOMPARE(status(), QStringLiteral("全ての転送が終了"));
    QCOMPARE(filesUnder(dest()).size(), 18);
    QVERIFY(filesUnder(dest()).contains(QStringLiteral("IMG_0001_2.JPG")));
    QVERIFY(m_run.prompt().messages.isEmpty());
    // The history is written all the same.
    m_run.close();
    SqliteImportHistory history(historyPath());
    QCOMPARE(history.filesOf(QStringLiteral("uuid:DEMO-CARD")).size(), 9);
    QCOMPARE(history.volumes().first().label, QStringLiteral("CARD"));
}

void TestImportOptions::moveOfAnImportedCardDeletesWhatWasCopied()
{
    // Imported once by a copy; then moved with the box ticked: nothing is copied again, every source goes.
    start(settings(false));
    pressStart();
    QCOMPARE(filesUnder(dest()).size(), 9);
    m_run.close();

    SettingsRecord r = settings(true);
    r.DelChecked = true;
    start(r);
    QCOMPARE(count(), QStringLiteral("0"));
    pressStart();
    QCOMPARE(m_run.prompt().questions.size(), 1); // the confirmation, not the refusal
    QVERIFY2(m_run.prompt().messages.isEmpty(), qPrintable(m_run.prompt().messages.join(u'|')));
    QCOMPARE(status(), QStringLiteral("全ての転送が終了 (取り込み済み 9 個はスキップ)"));
    QCOMPARE(filesUnder(dest()).size(), 9);
    QCOMPARE(filesUnder(card(QStringLiteral("DCIM"))), QStringList());
    QVERIFY(!QFileInfo::exists(card(QStringLiteral("DCIM/100CANON")))); // emptied folders tidied
}

void TestImportOptions::damagedHistoryIsMovedAsideWithOneMessage_data()
{
    QTest::addColumn<bool>("skip");
    QTest::newRow("skip box ticked") << true;
    // With the history's options off, a run looks as it always did: no word of the history.
    QTest::newRow("history options off") << false;
}

void TestImportOptions::damagedHistoryIsMovedAsideWithOneMessage()
{
    QFETCH(bool, skip);
    QDir().mkpath(QFileInfo(historyPath()).absolutePath());
    QFile garbage(historyPath());
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    garbage.write("this is no database, it is garbage and longer than a header");
    garbage.close();
    start(settings(skip));
    pressStart();
    QCOMPARE(status(), QStringLiteral("全ての転送が終了"));
    QCOMPARE(filesUnder(dest()).size(), 9);
    const QStringList aside = QDir(QFileInfo(historyPath()).absolutePath())
                                  .entryList({QStringLiteral("history.sqlite.damaged-*")}, QDir::Files);
    QCOMPARE(aside.size(), 1);
    // Told once, when the start-up count first needed the history.
    const QString notice =
        damagedHistoryMessage(historyPath(), QFileInfo(historyPath()).absolutePath() + u'/' + aside.first());
    QCOMPARE(m_startMessages, skip ? QStringList{notice} : QStringList());
    QVERIFY2(m_run.prompt().messages.isEmpty(), qPrintable(m_run.prompt().messages.join(u'|')));
    pressStart();
    QCOMPARE(m_run.prompt().messages, skip ? QStringList{allImportedMessage(9)} : QStringList());
}

QTEST_MAIN(TestImportOptions)
#include "tst_importoptions.moc"
