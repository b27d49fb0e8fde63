#include "app/application.h"
#include "app/vantoraapp.h"
#include "formchild.h"
#include "platform/registrystore.h"
#include "platform/volumesfake.h"
#include "testdir.h"
#include "testprompt.h"
#include "ui/keyfilter.h"
#include "ui/taboutform.h"
#include "ui/tmainform.h"
#include "ui/widgetprompt.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

using namespace vantora;
using vantora::test::formChild;

class TestMainForm : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void windowFrame();
    void controls_data();
    void controls();
    void hiddenControlsAreUnreachable();
    void extensionTableAndTimer();
    void filterNameKeyOverAllCodes();
    void typedKeysInNameEdits();
    void optionBoxesRecordTheirState();
    void aboutBoxIsModalAndClosesWithOk();
    void closeButtonSavesThroughTheCloseQuery();
    void closeDuringFirstShowEndsTheProgram();
    void promptBoxesHaveTheirButtons();
    void longTextIsShortenedToFitAndCopiedWhole_data();
    void longTextIsShortenedToFitAndCopiedWhole();
    void standardDialogsSpeakJapanese();

private:
    QTemporaryDir m_home;
    // The windows see these volumes, never the machine's: a card mounted here changes nothing.
    std::unique_ptr<FakeVolumes> m_volumes;
};

void TestMainForm::initTestCase()
{
    test::isolateHome(m_home.path());
    // The home plays the system volume; no other volume is mounted.
    m_volumes = std::make_unique<FakeVolumes>(m_home.path());
}

void TestMainForm::windowFrame()
{
    TMainForm form;
    QCOMPARE(form.objectName(), QStringLiteral("TMainForm"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Vantora"));
    QCOMPARE(form.size(), QSize(873, 549));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QCOMPARE(form.font().family(), QStringLiteral("IPAPGothic"));
    QCOMPARE(form.font().pixelSize(), 12);
}

void TestMainForm::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("enabled");
    auto row = [](const char *name, const QString &caption, bool enabled) {
        QTest::newRow(name) << QString::fromLatin1(name) << caption << enabled;
    };
    row("BitBtn4", QStringLiteral("転送元フォルダ..."), true);
    row("SourceEdit1", QString(), true);
    row("Label5", QStringLiteral("vol :"), true);
    row("VolLabel", QString(), true);
    row("FNumLabel1", QStringLiteral("0個の対象ファイル"), true);
    row("DirCreateCheckBox", QStringLiteral("転送先フォルダ内に更にフォルダ作成"), true);
    row("PreDirNameEdit", QString(), false);
    row("PreDirCheckBox", QStringLiteral("←前文字列"), false);
    row("DirNameEdit", QStringLiteral("新しいフォルダ"), false);
    row("BitBtn14", QStringLiteral("形式設定"), false);
    row("SufDirCheckBox", QStringLiteral("後文字列→"), false);
    row("SufDirNameEdit", QString(), false);
    row("Label1", QString(), false);
    row("PANA101CheckBox", QStringLiteral("更に、DCIM内のカメラ固有フォルダを作成する (例: PANA101等)"),
        false);
    row("RenameCheckBox", QStringLiteral("ファイル名を変更して転送する"), true);
    row("PreFileNameEdit", QString(), false);
    row("PreFileCheckBox", QStringLiteral("←前文字列"), false);
    row("FileNameEdit", QStringLiteral("[元のファイル名]"), false);
    row("BitBtn12", QStringLiteral("形式設定"), false);
    row("SufFileCheckBox", QStringLiteral("後文字列→"), false);
    row("SufFileNameEdit", QString(), false);
    row("Label13", QString(), false);
    row("BitBtn5", QStringLiteral("転送先フォルダ..."), true);
    row("BitBtn7", QStringLiteral("ﾏｲﾄﾞｷｭﾒﾝﾄ"), true);
    row("BitBtn8", QStringLiteral("ﾏｲﾋﾟｸﾁｬ"), true);
    row("BitBtn9", QStringLiteral("ﾏｲﾋﾞﾃﾞｵ"), true);
    row("TransferEdit1", QString(), true);
    row("BitBtn11", QStringLiteral("拡張子ごと振り分け設定..."), true);
    row("DelCheckBox", QStringLiteral("転送後、元ファイルを削除(移動)"), true);
    row("UwagakiCheckBox", QStringLiteral("転送先に同名ファイルがあっても上書き"), true);
    row("RenbanResetCheckBox", QStringLiteral("転送終了後、連番を１にリセットする"), true);
    row("ExecCheckBox", QStringLiteral("有効にする"), true);
    row("ExecBitBtn", QStringLiteral("アプリ選択"), false);
    row("ExecTestButton", QStringLiteral("実行テスト"), false);
    row("ExecCloseCheckBox", QStringLiteral("実行後Vantixを終了"), false);
    row("ExecEdit", QString(), false);
    row("FNameLabel", QString(), true);
    row("WorkPLabel", QStringLiteral("0"), true);
    row("Label4", QStringLiteral("／"), true);
    row("FNumLabel", QStringLiteral("0"), true);
    row("StatusLabel", QString(), true);
    row("StartTransferBitBtn", QStringLiteral("転送開始(&S)..."), true);
    row("CancelTransferBitBtn", QStringLiteral("キャンセル"), true);
    row("BitBtn1", QStringLiteral("対象確認..."), true);
    row("MainFormCloseBitBtn", QStringLiteral("閉じる(&C)"), true);
    row("Button6", QStringLiteral("自動再生に登録..."), true);
    row("Button7", QStringLiteral("自動再生から解除..."), true);
    row("BitBtn10", QStringLiteral("VTX Version"), true);
    row("Button13", QStringLiteral("ﾎﾟｰﾀﾌﾞﾙﾃﾞﾊﾞｲｽ転送開始"), false);
    row("Button3", QStringLiteral("Exif"), false);
    row("Button11", QStringLiteral("Exif2"), false);
    row("Button12", QStringLiteral("Exif3"), false);
    row("Button4", QStringLiteral("ドライブ判別"), false);
}

void TestMainForm::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(bool, enabled);
    TMainForm form;
    QWidget *w = form.findChild<QWidget *>(name);
    QVERIFY2(w, qPrintable(name));
    QCOMPARE(w->isEnabled(), enabled);
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        QCOMPARE(b->text(), caption);
    else if (auto *l = qobject_cast<QLabel *>(w))
        QCOMPARE(l->text(), caption);
    else if (auto *e = qobject_cast<QLineEdit *>(w))
        QCOMPARE(e->text(), caption);
}

void TestMainForm::hiddenControlsAreUnreachable()
{
    TMainForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    for (const char *name : {"Button13", "Button3", "Button11", "Button12", "Button4", "Edit1", "Memo1"}) {
        QWidget *w = form.findChild<QWidget *>(QLatin1String(name));
        QVERIFY2(w, name);
        QVERIFY2(w->geometry().top() >= 549, name);
        QVERIFY2(!w->isEnabled(), name);
        QCOMPARE(w->focusPolicy(), Qt::NoFocus);
    }
    // Tabbing through the whole window never lands on them.
    QSet<QWidget *> seen;
    QWidget *w = form.nextInFocusChain();
    for (int i = 0; i < 200 && w != &form; ++i, w = w->nextInFocusChain()) {
        if (w->isEnabled() && w->focusPolicy() & Qt::TabFocus)
            seen << w;
    }
    for (QWidget *s : seen)
        QVERIFY2(s->mapTo(&form, QPoint(0, 0)).y() < 549, qPrintable(s->objectName()));
    form.close();
}

void TestMainForm::extensionTableAndTimer()
{
    TMainForm form;
    QCOMPARE(formChild<QTableWidget>(&form, "ExtListEditor")->columnCount(), 2);
    QCOMPARE(formChild<QTableWidget>(&form, "ExtListEditor")->horizontalHeaderItem(0)->text(),
             QStringLiteral("拡張子"));
    QCOMPARE(formChild<QTableWidget>(&form, "ExtListEditor")->horizontalHeaderItem(1)->text(),
             QStringLiteral("転送先フォルダ"));
    QCOMPARE(formChild<QTableWidget>(&form, "ExtListEditor")->selectionBehavior(),
             QAbstractItemView::SelectRows);
    QCOMPARE(formChild<QTimer>(&form, "Timer1")->interval(), 5000);
    QVERIFY(!formChild<QTimer>(&form, "Timer1")->isActive());
    QCOMPARE(formChild<QProgressBar>(&form, "ProgressBar1")->maximum(), 100);
    QCOMPARE(formChild<QProgressBar>(&form, "AllGauge")->maximum(), 100);
    QCOMPARE(typingLimit(formChild<QLineEdit>(&form, "TransferEdit1")), 255);
    QCOMPARE(typingLimit(formChild<QLineEdit>(&form, "DirNameEdit")), 200);
    QCOMPARE(typingLimit(formChild<QLineEdit>(&form, "FileNameEdit")), 200);
    for (QLineEdit *e :
         {formChild<QLineEdit>(&form, "PreDirNameEdit"), formChild<QLineEdit>(&form, "SufDirNameEdit"),
          formChild<QLineEdit>(&form, "PreFileNameEdit"), formChild<QLineEdit>(&form, "SufFileNameEdit")})
        QCOMPARE(typingLimit(e), 0);
    // No length cut for what the program sets.
    for (QLineEdit *e : form.findChildren<QLineEdit *>())
        QCOMPARE(e->maxLength(), 32767);
    // The destination field looks like the source field and the speed buttons stay out of the tab order.
    QVERIFY(formChild<QLineEdit>(&form, "TransferEdit1")->isReadOnly());
    QCOMPARE(formChild<QLineEdit>(&form, "TransferEdit1")->palette().color(QPalette::Base),
             formChild<QLineEdit>(&form, "SourceEdit1")->palette().color(QPalette::Base));
    QVERIFY(formChild<QLineEdit>(&form, "TransferEdit1")->palette().color(QPalette::Base) !=
            formChild<QLineEdit>(&form, "ExecEdit")->palette().color(QPalette::Base));
    QCOMPARE(formChild<QToolButton>(&form, "SpeedButton1")->focusPolicy(), Qt::NoFocus);
    QCOMPARE(formChild<QToolButton>(&form, "SpeedButton2")->focusPolicy(), Qt::NoFocus);
    QCOMPARE(formChild<QToolButton>(&form, "SpeedButton1")->toolTip(),
             QStringLiteral("転送先フォルダを選択された拡張子にセット"));
    QCOMPARE(formChild<QToolButton>(&form, "SpeedButton2")->toolTip(),
             QStringLiteral("転送先フォルダを全てセット"));
    QCOMPARE(formChild<QPushButton>(&form, "BitBtn1")->toolTip(),
             QStringLiteral("転送ファイルを確認します。ファイル数が多いと時間が掛かります"));
    QCOMPARE(formChild<QPushButton>(&form, "Button6")->toolTip(),
             QStringLiteral("Windowsの自動再生プログラムに登録します"));
    QCOMPARE(formChild<QPushButton>(&form, "Button7")->toolTip(),
             QStringLiteral("Windowsの自動再生プログラムから解除します"));
}

void TestMainForm::filterNameKeyOverAllCodes()
{
    const QSet<int> refused{0, 34, 42, 44, 47, 58, 59, 60, 62, 63, 92, 124};
    for (int c = 0; c < 256; ++c)
        QVERIFY2(FilterNameKey(QChar(c)) == refused.contains(c), qPrintable(QString::number(c)));
    QVERIFY(!FilterNameKey(QChar(0xFF1A))); // full-width colon
    QCOMPARE(refusedKeyMessage(QLatin1Char(':')), QStringLiteral("半角[ : ]は入力できません"));
}

void TestMainForm::typedKeysInNameEdits()
{
    test::TestPrompt prompt;
    VantoraApp app({}, m_volumes.get());
    TMainForm *f = app.mainForm();
    for (QLineEdit *edit :
         {formChild<QLineEdit>(f, "FileNameEdit"), formChild<QLineEdit>(f, "DirNameEdit"),
          formChild<QLineEdit>(f, "PreDirNameEdit"), formChild<QLineEdit>(f, "SufDirNameEdit"),
          formChild<QLineEdit>(f, "PreFileNameEdit"), formChild<QLineEdit>(f, "SufFileNameEdit")}) {
        edit->setEnabled(true);
        edit->setText(QStringLiteral("ab"));
        edit->setCursorPosition(2);
        prompt.clear();
        QTest::keyClicks(edit, QStringLiteral(":"));
        QCOMPARE(edit->text(), QStringLiteral("ab"));
        QCOMPARE(prompt.messages, QStringList{QStringLiteral("半角[ : ]は入力できません")});
        QTest::keyClicks(edit, QStringLiteral("[]."));
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QStringLiteral("："), Qt::NoModifier);
        QTest::keyClicks(edit, QStringLiteral("*"));
        QCOMPARE(edit->text(), QStringLiteral("ab[].："));
        QCOMPARE(prompt.messages.size(), 2);
        QCOMPARE(prompt.messages.last(), QStringLiteral("半角[ * ]は入力できません"));
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), QStringLiteral("ab[]."));
    }
}

void TestMainForm::optionBoxesRecordTheirState()
{
    test::TestPrompt prompt;
    VantoraApp app({}, m_volumes.get());
    app.mainForm()->show();
    QVERIFY(QTest::qWaitForWindowExposed(app.mainForm()));
    QVERIFY(!app.settings().DelChecked);
    QTest::mouseClick(formChild<QCheckBox>(app.mainForm(), "DelCheckBox"), Qt::LeftButton, {}, QPoint(6, 9));
    QVERIFY(app.settings().DelChecked);
    formChild<QCheckBox>(app.mainForm(), "UwagakiCheckBox")->setChecked(true);
    QVERIFY(app.settings().UwagakiChecked);
    formChild<QCheckBox>(app.mainForm(), "UwagakiCheckBox")->setChecked(false);
    QVERIFY(!app.settings().UwagakiChecked);
}

void TestMainForm::aboutBoxIsModalAndClosesWithOk()
{
    test::TestPrompt prompt;
    VantoraApp app({}, m_volumes.get());
    TAboutForm *about = app.aboutForm();
    QCOMPARE(about->windowTitle(), QStringLiteral("Vantora"));
    QCOMPARE(about->size(), QSize(290, 181));
    QCOMPARE(about->Label1->text(), QStringLiteral("Vantora"));
    QCOMPARE(about->Label4->text(), QStringLiteral("(Vantix)"));
    QCOMPARE(about->Label2->text(), QStringLiteral("Version 1.04"));
    bool wasModal = false;
    QTimer::singleShot(0, about, [about, &wasModal] {
        wasModal = about->isModal() && about->isVisible();
        QTest::mouseClick(about->BitBtn1, Qt::LeftButton);
    });
    QTest::mouseClick(formChild<QPushButton>(app.mainForm(), "BitBtn10"), Qt::LeftButton);
    QVERIFY(wasModal);
    QVERIFY(!about->isVisible());
    QCOMPARE(about->result(), int(QDialog::Accepted));
}

void TestMainForm::closeButtonSavesThroughTheCloseQuery()
{
    test::TestPrompt prompt;
    const QString file = RegistryStore().filePath(RegistryRoot::CurrentUser);
    QFile::remove(file);
    VantoraApp app({}, m_volumes.get());
    app.mainForm()->show();
    QVERIFY(QTest::qWaitForWindowExposed(app.mainForm()));
    QVERIFY(formChild<QTimer>(app.mainForm(), "Timer1")->isActive());
    QTest::mouseClick(formChild<QPushButton>(app.mainForm(), "MainFormCloseBitBtn"), Qt::LeftButton);
    QVERIFY(!app.mainForm()->isVisible());
    QVERIFY(QFile::exists(file));
}

void TestMainForm::closeDuringFirstShowEndsTheProgram()
{
    // The start-up sequence runs on the first show; the count's force stop closes the window there.
    TMainForm form;
    bool closeAsked = false;
    form.closeQuery = [&] {
        closeAsked = true;
        return true;
    };
    connect(&form, &TMainForm::firstShown, &form, &QWidget::close);
    form.show();
    QVERIFY(closeAsked);
    QVERIFY(!form.isVisible());

    // Without a window the loop must not start: were it to, only this guard would end it.
    bool guardFired = false;
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, qApp, [&] {
        guardFired = true;
        QCoreApplication::quit();
    });
    guard.start(2000);
    QCOMPARE(execMainLoop(&form), 0);
    QVERIFY(!guardFired);
}

void TestMainForm::promptBoxesHaveTheirButtons()
{
    // The real boxes: each is answered by pressing one of its buttons, found by caption.
    WidgetPrompt prompt;
    QStringList seen;
    const auto press = [&](const QString &objectName, const QString &caption) {
        QTimer::singleShot(0, this, [&seen, objectName, caption] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || box->objectName() != objectName)
                return;
            QStringList captions;
            for (QAbstractButton *b : box->buttons())
                captions << b->text();
            captions.sort();
            seen << box->windowTitle() + QLatin1Char('|') + box->text() + QLatin1Char('|') +
                        captions.join(u',');
            for (QAbstractButton *b : box->buttons()) {
                if (b->text() == caption)
                    b->click();
            }
        });
    };
    press(QStringLiteral("YesNoBox"), QStringLiteral("いいえ"));
    QVERIFY(!prompt.askYesNo(QStringLiteral("消しますか？\r\n([はい]は移動)")));
    press(QStringLiteral("YesNoBox"), QStringLiteral("はい"));
    QVERIFY(prompt.askYesNo(QStringLiteral("消しますか？")));
    press(QStringLiteral("ConfirmBox"), QStringLiteral("キャンセル"));
    QVERIFY(!prompt.confirm(QStringLiteral("作りますか？")));
    press(QStringLiteral("ConfirmBox"), QStringLiteral("OK"));
    QVERIFY(prompt.confirm(QStringLiteral("作りますか？")));
    QCOMPARE(seen, QStringList({QStringLiteral("確認|消しますか？\n([はい]は移動)|いいえ,はい"),
                                QStringLiteral("確認|消しますか？|いいえ,はい"),
                                QStringLiteral("確認|作りますか？|OK,キャンセル"),
                                QStringLiteral("確認|作りますか？|OK,キャンセル")}));
}

void TestMainForm::longTextIsShortenedToFitAndCopiedWhole_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("shortened");
    const QString path =
        QStringLiteral("/media/user/CARD/DCIM/") + QString(11966, u'a') + QStringLiteral("/IMG_0001.JPG");
    QStringList files;
    for (int i = 0; i < 300; ++i)
        files << QStringLiteral("/media/user/CARD/DCIM/100CANON/IMG_%1.JPG").arg(i, 4, 10, QLatin1Char('0'));
    const QString failed = QStringLiteral("ファイルをコピーできませんでした\r\n");
    QTest::newRow("short") << false << failed + QStringLiteral("/media/CARD/DCIM/IMG_0001.JPG") << false;
    QTest::newRow("long path") << false << failed + path + QStringLiteral("\r\nディスクがいっぱいです")
                               << true;
    QTest::newRow("many lines") << false << failed + files.join(QStringLiteral("\r\n")) << true;
    QTest::newRow("long path, confirm") << true << path + QStringLiteral("\r\nを作りますか？") << true;
}

void TestMainForm::longTextIsShortenedToFitAndCopiedWhole()
{
    QFETCH(bool, confirm);
    QFETCH(QString, text);
    QFETCH(bool, shortened);
    WidgetPrompt prompt;
    QString shown, copied, details;
    QRect screen, frame, frameWithDetails;
    QStringList offScreen;
    QTimer::singleShot(0, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        shown = box->text();
        screen = box->screen()->availableGeometry();
        frame = box->frameGeometry();
        for (QAbstractButton *b : box->buttons()) {
            if (!screen.contains(QRect(b->mapToGlobal(QPoint()), b->size())))
                offScreen << b->text();
        }
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_C, Qt::ControlModifier);
        copied = QGuiApplication::clipboard()->text();
        // A shortened text is whole in the details, and the box still fits with them open.
        details = box->detailedText();
        for (QAbstractButton *b : box->buttons()) {
            if (box->buttonRole(b) == QMessageBox::ActionRole) {
                b->click();
                QCoreApplication::processEvents();
                frameWithDetails = box->frameGeometry();
            }
        }
        box->done(0);
    });
    if (confirm)
        prompt.confirm(text);
    else
        prompt.message(text);
    QVERIFY2(screen.contains(frame), qPrintable(QStringLiteral("%1x%2 at %3,%4")
                                                    .arg(frame.width())
                                                    .arg(frame.height())
                                                    .arg(frame.x())
                                                    .arg(frame.y())));
    QCOMPARE(offScreen, QStringList());
    const QString display = QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QCOMPARE(copied, display);
    if (!shortened) {
        QCOMPARE(shown, display);
        return;
    }
    // The middle gives way: the start and the end of the text stay in sight.
    QVERIFY(shown.size() < display.size() / 4);
    QVERIFY(shown.contains(QChar(0x2026)));
    QVERIFY(shown.startsWith(display.left(20)));
    QVERIFY(shown.endsWith(display.right(7)));
    QCOMPARE(details, display);
    QVERIFY2(screen.contains(frameWithDetails), qPrintable(QStringLiteral("%1x%2 at %3,%4")
                                                               .arg(frameWithDetails.width())
                                                               .arg(frameWithDetails.height())
                                                               .arg(frameWithDetails.x())
                                                               .arg(frameWithDetails.y())));
}

void TestMainForm::standardDialogsSpeakJapanese()
{
    // The locale here is not Japanese: the translation is loaded all the same.
    QVERIFY(installJapaneseQtTranslation());
    QVERIFY(installJapaneseQtTranslation()); // once only
    WidgetPrompt prompt;
    QStringList captions;
    bool ownDialog = false;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        ownDialog = dialog->testOption(QFileDialog::DontUseNativeDialog);
        for (QAbstractButton *b : dialog->findChild<QDialogButtonBox *>()->buttons())
            captions << b->text();
        dialog->reject();
    });
    QVERIFY(prompt.chooseFolder(QStringLiteral("転送先フォルダを選択して下さい"), m_home.path()).isEmpty());
    QVERIFY(ownDialog);
    captions.sort();
    QCOMPARE(captions, QStringList({QStringLiteral("キャンセル"), QStringLiteral("選択(&C)")}));
}

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
