#include "formchild.h"
#include "naming/widgets/calenderformcontroller.h"
#include "naming/widgets/editformcontroller.h"
#include "naming/widgets/namesettingscontroller.h"
#include "settings/settingsrecord.h"
#include "tables.h"
#include "testprompt.h"
#include "ui/keyfilter.h"
#include "ui/tcalenderform.h"
#include "ui/teditform.h"
#include "ui/tmainform.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include <memory>

using namespace vantora;
using vantora::test::formChild;
using vantora::test::Text;

namespace {

const QDate kToday(2024, 1, 9);

// Sends one typed character as the keyboard would, also for characters beyond Latin-1.
void typeChar(QWidget *w, QChar c)
{
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(w, &release);
}

void typeText(QWidget *w, const QString &text)
{
    for (QChar c : text)
        typeChar(w, c);
}

// Empties an edit as the user would: focus it, select everything, press Delete.
void clearByKeyboard(QLineEdit *e)
{
    e->setFocus();
    QTRY_VERIFY(e->hasFocus());
    e->selectAll();
    QTest::keyClick(e, Qt::Key_Delete);
}

QColor baseOf(const QLineEdit *e)
{
    return e->palette().color(QPalette::Base);
}

// Runs `action` once the next modal dialog is running.
void whenModal(std::function<void()> action)
{
    QTimer::singleShot(0, qApp, [action = std::move(action)] {
        QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
        action();
    });
}

} // namespace

class TestNamingWindows final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void startupDefaults();
    void startupLoadsRecord();
    void startupCorrectsBadRecord();
    void startupOpensEditsBySwitch_data();
    void startupOpensEditsBySwitch();
    void dirNameEditExit();
    void fileNameEditExit_data();
    void fileNameEditExit();
    void focusToMessageBoxIsNotExit();
    void prefixSwitchGreysAndRemoves();
    void masterSwitches();
    void refusedKeys_data();
    void refusedKeys();
    void previewsFollowEveryChange();

    void dialogModes();
    void tokenButtonOnlyOnce();
    void insertTemplateToken_data();
    void insertTemplateToken();
    void dialogPreview();
    void okFileModeRequiresToken();
    void okFolderModeEmpty();
    void cancelRestoresCounters();
    void closeBoxKeepsTypedValues();
    void escapeIsCancel();
    void separatorField();
    void counterFields();
    void counterKeyRewritesFirst_data();
    void counterKeyRewritesFirst();
    void typedCountersReachSettingsOnlyThroughOk();
    void longStoredTextsStayWhole();
    void openThroughMainWindow();
    void anyDateButton();

    void calendarDrivenBySpinEdits();
    void calendarToday();
    void calendarRanges();

    void transferCounters();
    void snapshot();

private:
    std::unique_ptr<test::TestPrompt> m_prompt;
    std::unique_ptr<TMainForm> m_main;
    std::unique_ptr<TEditForm> m_edit;
    std::unique_ptr<TCalenderForm> m_calender;
    std::unique_ptr<SettingsRecord> m_record;
    std::unique_ptr<NameSettingsController> m_names;

    void start();
    void showActive();
    bool openEditForm(TemplateDialogMode mode);
};

void TestNamingWindows::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestNamingWindows::init()
{
    m_prompt = std::make_unique<test::TestPrompt>();
    m_main = std::make_unique<TMainForm>();
    m_calender = std::make_unique<TCalenderForm>(m_main.get());
    m_edit = std::make_unique<TEditForm>(m_main.get());
    m_record = std::make_unique<SettingsRecord>(SettingsRecord::defaults());
    m_names = std::make_unique<NameSettingsController>(m_main->namingArea(), m_edit.get(), m_calender.get(),
                                                       m_record.get());
    m_names->setTodayFunction([] { return kToday; });
}

void TestNamingWindows::cleanup()
{
    m_names.reset();
    m_edit.reset();
    m_calender.reset();
    m_main.reset();
    m_record.reset();
    m_prompt.reset();
}

// The dialog prepared for mode, shown and active; false when it never became active.
bool TestNamingWindows::openEditForm(TemplateDialogMode mode)
{
    m_names->editForm()->prepare(mode);
    m_edit->show();
    QApplication::setActiveWindow(m_edit.get());
    return QTest::qWaitForWindowActive(m_edit.get());
}

void TestNamingWindows::start()
{
    m_names->applySettingsToControls();
    m_names->runStartupHandlers();
}

void TestNamingWindows::showActive()
{
    m_main->show();
    QApplication::setActiveWindow(m_main.get());
    QVERIFY(QTest::qWaitForWindowActive(m_main.get()));
}

void TestNamingWindows::startupDefaults()
{
    start();
    TMainForm *m = m_main.get();
    QCOMPARE(formChild<QLineEdit>(m, "DirNameEdit")->text(), QStringLiteral("新しいフォルダ"));
    QCOMPARE(formChild<QLineEdit>(m, "FileNameEdit")->text(), QStringLiteral("[元のファイル名]"));
    QCOMPARE(formChild<QLabel>(m, "Label1")->text(), QStringLiteral("/新しいフォルダ/"));
    QCOMPARE(formChild<QLabel>(m, "Label13")->text(), QStringLiteral("DSC_1234[.拡張子]"));
    QVERIFY(formChild<QCheckBox>(m, "DirCreateCheckBox")->isEnabled());
    QVERIFY(formChild<QCheckBox>(m, "RenameCheckBox")->isEnabled());
    QVERIFY(formChild<QCheckBox>(m, "RenbanResetCheckBox")->isEnabled());
    for (QWidget *w : std::initializer_list<QWidget *>{
             formChild<QLineEdit>(m, "PreDirNameEdit"), formChild<QCheckBox>(m, "PreDirCheckBox"),
             formChild<QLineEdit>(m, "DirNameEdit"), formChild<QPushButton>(m, "BitBtn14"),
             formChild<QCheckBox>(m, "SufDirCheckBox"), formChild<QLineEdit>(m, "SufDirNameEdit"),
             formChild<QLabel>(m, "Label1"), formChild<QCheckBox>(m, "PANA101CheckBox"),
             formChild<QLineEdit>(m, "PreFileNameEdit"), formChild<QCheckBox>(m, "PreFileCheckBox"),
             formChild<QLineEdit>(m, "FileNameEdit"), formChild<QPushButton>(m, "BitBtn12"),
             formChild<QCheckBox>(m, "SufFileCheckBox"), formChild<QLineEdit>(m, "SufFileNameEdit"),
             formChild<QLabel>(m, "Label13")})
        QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
    QCOMPARE(m_edit->DirRenbanSpinEdit->value(), 1);
    QCOMPARE(m_edit->FileRenbanSpinEdit->value(), 1);
    QCOMPARE(m_edit->sDayEdit->text(), QString());
    QCOMPARE(m_record->DirNameEditText, QStringLiteral("新しいフォルダ"));
    QCOMPARE(m_record->FileNameEditText, QStringLiteral("[元のファイル名]"));
}

void TestNamingWindows::startupLoadsRecord()
{
    SettingsRecord &r = *m_record;
    r.DirRenbanSpinEditValue = 12;
    r.FileRenbanSpinEditValue = 7;
    r.sDayEditText = QStringLiteral(".");
    r.DirNameEditText = QStringLiteral("[yyyymmdd] [RENBAN]");
    r.FileNameEditText = QStringLiteral("[YYYYMMDD]_[RENBAN]");
    r.DirCreateChecked = true;
    r.RenameChecked = true;
    r.RenbanResetChecked = true;
    r.PANA101Checked = true;
    r.PreDirNameEditText = QStringLiteral("Cam");
    r.SufDirNameEditText = QStringLiteral("_s");
    r.PreFileNameEditText = QStringLiteral("trip_");
    r.SufFileNameEditText = QStringLiteral("_a");
    r.PreDirChecked = true;
    r.SufDirChecked = false;
    r.PreFileChecked = false;
    r.SufFileChecked = true;
    const SettingsRecord before = r;
    start();

    TMainForm *m = m_main.get();
    QCOMPARE(formChild<QLineEdit>(m, "DirNameEdit")->text(), before.DirNameEditText);
    QCOMPARE(formChild<QLineEdit>(m, "FileNameEdit")->text(), before.FileNameEditText);
    QVERIFY(formChild<QCheckBox>(m, "DirCreateCheckBox")->isChecked());
    QVERIFY(formChild<QCheckBox>(m, "RenameCheckBox")->isChecked());
    QVERIFY(formChild<QCheckBox>(m, "RenbanResetCheckBox")->isChecked());
    QVERIFY(formChild<QCheckBox>(m, "PANA101CheckBox")->isChecked());
    QCOMPARE(formChild<QLineEdit>(m, "PreDirNameEdit")->text(), QStringLiteral("Cam"));
    QCOMPARE(formChild<QLineEdit>(m, "SufFileNameEdit")->text(), QStringLiteral("_a"));
    QCOMPARE(m_edit->DirRenbanSpinEdit->value(), 12);
    QCOMPARE(m_edit->FileRenbanSpinEdit->value(), 7);
    QCOMPARE(m_edit->sDayEdit->text(), QStringLiteral("."));
    QCOMPARE(formChild<QLabel>(m, "Label1")->text(), QStringLiteral("/Cam2024.01.09 12/"));
    QCOMPARE(formChild<QLabel>(m, "Label13")->text(), QStringLiteral("YYYY.MM.DD_7_a[.拡張子]"));

    // Enabled by the master switches.
    QVERIFY(formChild<QLineEdit>(m, "DirNameEdit")->isEnabled());
    QVERIFY(formChild<QPushButton>(m, "BitBtn12")->isEnabled());
    QVERIFY(formChild<QCheckBox>(m, "PANA101CheckBox")->isEnabled());
    QCOMPARE(baseOf(formChild<QLineEdit>(m, "SufDirNameEdit")), QColor(0xE3, 0xE3, 0xE3));
    QVERIFY(baseOf(formChild<QLineEdit>(m, "PreDirNameEdit")) != QColor(0xE3, 0xE3, 0xE3));

    // Loading wrote back exactly what was loaded.
    QCOMPARE(r.DirNameEditText, before.DirNameEditText);
    QCOMPARE(r.FileNameEditText, before.FileNameEditText);
    QCOMPARE(r.PreDirNameEditText, before.PreDirNameEditText);
    QCOMPARE(r.SufFileNameEditText, before.SufFileNameEditText);
    QCOMPARE(r.PreDirChecked, true);
    QCOMPARE(r.SufDirChecked, false);
    QCOMPARE(r.PreFileChecked, false);
    QCOMPARE(r.SufFileChecked, true);
    QCOMPARE(r.PANA101Checked, true);
    QCOMPARE(r.DirRenbanSpinEditValue, 12);
    QCOMPARE(r.sDayEditText, QStringLiteral("."));
}

void TestNamingWindows::startupCorrectsBadRecord()
{
    // Values no confirmed dialog could have left: brought back to usable ones, silently.
    m_record->DirRenbanSpinEditValue = 0;
    m_record->FileRenbanSpinEditValue = -3;
    m_record->sDayEditText = QStringLiteral("abcdef");
    m_record->DirNameEditText = QString();
    m_record->FileNameEditText = QStringLiteral("[yyyymmdd]");
    start();
    QVERIFY(m_prompt->messages.isEmpty());
    QCOMPARE(m_names->folderCounter(), 1);
    QCOMPARE(m_names->fileCounter(), 1);
    QCOMPARE(m_record->DirRenbanSpinEditValue, 1);
    QCOMPARE(m_record->FileRenbanSpinEditValue, 1);
    // A separator longer than the field's typing limit stays whole: only typing is limited.
    QCOMPARE(m_names->separator(), QStringLiteral("abcdef"));
    QCOMPARE(m_record->sDayEditText, QStringLiteral("abcdef"));
    QCOMPARE(formChild<QLineEdit>(m_main.get(), "DirNameEdit")->text(), QStringLiteral("新しいフォルダ"));
    QCOMPARE(formChild<QLineEdit>(m_main.get(), "FileNameEdit")->text(),
             QStringLiteral("[元のファイル名][yyyymmdd]"));
}

void TestNamingWindows::startupOpensEditsBySwitch_data()
{
    QTest::addColumn<bool>("group");
    QTest::addColumn<bool>("switches");
    QTest::newRow("groups off, switches on") << false << true;
    QTest::newRow("groups off, switches off") << false << false;
    QTest::newRow("groups on, switches on") << true << true;
    QTest::newRow("groups on, switches off") << true << false;
}

void TestNamingWindows::startupOpensEditsBySwitch()
{
    QFETCH(bool, group);
    QFETCH(bool, switches);
    SettingsRecord &r = *m_record;
    r.DirCreateChecked = r.RenameChecked = group;
    r.PreDirChecked = r.SufDirChecked = r.PreFileChecked = r.SufFileChecked = switches;
    start();
    // The switches' handlers run after the groups': each edit ends as its own switch leaves it.
    for (const char *name : {"PreDirNameEdit", "SufDirNameEdit", "PreFileNameEdit", "SufFileNameEdit"})
        QVERIFY2(formChild<QLineEdit>(m_main.get(), name)->isEnabled() == switches, name);
    for (const char *name : {"PreDirCheckBox", "SufDirCheckBox", "PreFileCheckBox", "SufFileCheckBox"})
        QVERIFY2(formChild<QCheckBox>(m_main.get(), name)->isEnabled() == group, name);
}

void TestNamingWindows::dirNameEditExit()
{
    m_record->DirCreateChecked = true;
    start();
    showActive();
    QLineEdit *e = formChild<QLineEdit>(m_main.get(), "DirNameEdit");
    clearByKeyboard(e);
    QCOMPARE(e->text(), QString());
    QCOMPARE(formChild<QLabel>(m_main.get(), "Label1")->text(), QStringLiteral("//"));
    formChild<QCheckBox>(m_main.get(), "DirCreateCheckBox")->setFocus();
    QTRY_VERIFY(!e->hasFocus());
    QCOMPARE(e->text(), QStringLiteral("新しいフォルダ"));
    QCOMPARE(m_record->DirNameEditText, QStringLiteral("新しいフォルダ"));
    QCOMPARE(formChild<QLabel>(m_main.get(), "Label1")->text(), QStringLiteral("/新しいフォルダ/"));
    QVERIFY(m_prompt->messages.isEmpty());
}

void TestNamingWindows::fileNameEditExit_data()
{
    test::addRows<Text, Text, bool>({"typed", "expected", "message"},
                                    {{"empty", "", "[元のファイル名]", false},
                                     {"transfer date", "[yyyymmdd]", "[元のファイル名][yyyymmdd]", true},
                                     {"number", "img[RENBAN]", "img[RENBAN]", false}});
}

void TestNamingWindows::fileNameEditExit()
{
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    QFETCH(bool, message);
    m_record->RenameChecked = true;
    start();
    showActive();
    QLineEdit *e = formChild<QLineEdit>(m_main.get(), "FileNameEdit");
    clearByKeyboard(e);
    typeText(e, typed);
    QCOMPARE(e->text(), typed);
    formChild<QCheckBox>(m_main.get(), "RenameCheckBox")->setFocus();
    QTRY_VERIFY(!e->hasFocus());
    QCOMPARE(e->text(), expected);
    QCOMPARE(m_record->FileNameEditText, expected);
    if (message)
        QCOMPARE(
            m_prompt->messages,
            QStringList{QStringLiteral(
                "ファイル名に[元のファイル名]または[RENBAN]は必須です\r\n[元のファイル名]を付加します")});
    else
        QVERIFY(m_prompt->messages.isEmpty());
}

void TestNamingWindows::focusToMessageBoxIsNotExit()
{
    m_record->RenameChecked = true;
    start();
    formChild<QLineEdit>(m_main.get(), "FileNameEdit")->setText(QStringLiteral("[yyyymmdd]"));
    QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(formChild<QLineEdit>(m_main.get(), "FileNameEdit"), &out);
    QCOMPARE(formChild<QLineEdit>(m_main.get(), "FileNameEdit")->text(), QStringLiteral("[yyyymmdd]"));
    QVERIFY(m_prompt->messages.isEmpty());
    QFocusEvent tab(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(formChild<QLineEdit>(m_main.get(), "FileNameEdit"), &tab);
    QCOMPARE(formChild<QLineEdit>(m_main.get(), "FileNameEdit")->text(),
             QStringLiteral("[元のファイル名][yyyymmdd]"));
    QCOMPARE(m_prompt->messages.size(), 1);
}

void TestNamingWindows::prefixSwitchGreysAndRemoves()
{
    m_record->RenameChecked = true;
    m_record->PreFileChecked = true;
    m_record->PreFileNameEditText = QStringLiteral("trip_");
    start();
    TMainForm *m = m_main.get();
    QCOMPARE(formChild<QLabel>(m, "Label13")->text(), QStringLiteral("trip_DSC_1234[.拡張子]"));
    QVERIFY(formChild<QLineEdit>(m, "PreFileNameEdit")->isEnabled());
    const QColor on = baseOf(formChild<QLineEdit>(m, "PreFileNameEdit"));

    formChild<QCheckBox>(m, "PreFileCheckBox")->setChecked(false);
    QVERIFY(!formChild<QLineEdit>(m, "PreFileNameEdit")->isEnabled());
    QCOMPARE(baseOf(formChild<QLineEdit>(m, "PreFileNameEdit")), QColor(0xE3, 0xE3, 0xE3));
    QCOMPARE(formChild<QLabel>(m, "Label13")->text(), QStringLiteral("DSC_1234[.拡張子]"));
    QCOMPARE(m_record->PreFileChecked, false);
    QCOMPARE(formChild<QLineEdit>(m, "PreFileNameEdit")->text(), QStringLiteral("trip_"));

    formChild<QCheckBox>(m, "PreFileCheckBox")->setChecked(true);
    QVERIFY(formChild<QLineEdit>(m, "PreFileNameEdit")->isEnabled());
    QCOMPARE(baseOf(formChild<QLineEdit>(m, "PreFileNameEdit")), on);
    QCOMPARE(formChild<QLabel>(m, "Label13")->text(), QStringLiteral("trip_DSC_1234[.拡張子]"));
    QCOMPARE(m_record->PreFileChecked, true);

    // The folder prefix switch changes nothing in the file preview.
    formChild<QLineEdit>(m, "PreDirNameEdit")->setText(QStringLiteral("X"));
    formChild<QCheckBox>(m, "PreDirCheckBox")->setChecked(true);
    QCOMPARE(formChild<QLabel>(m, "Label13")->text(), QStringLiteral("trip_DSC_1234[.拡張子]"));
    QCOMPARE(formChild<QLabel>(m, "Label1")->text(), QStringLiteral("/X新しいフォルダ/"));
}

void TestNamingWindows::masterSwitches()
{
    m_record->RenameChecked = true;
    m_record->DirCreateChecked = true;
    m_record->SufFileChecked = true;
    start();
    TMainForm *m = m_main.get();
    const QList<QWidget *> fileGroup{
        formChild<QLineEdit>(m, "FileNameEdit"),    formChild<QCheckBox>(m, "PreFileCheckBox"),
        formChild<QCheckBox>(m, "SufFileCheckBox"), formChild<QLabel>(m, "Label13"),
        formChild<QPushButton>(m, "BitBtn12"),      formChild<QLineEdit>(m, "SufFileNameEdit")};
    for (QWidget *w : fileGroup)
        QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
    QVERIFY(!formChild<QLineEdit>(m, "PreFileNameEdit")->isEnabled()); // its switch is off

    formChild<QCheckBox>(m, "RenameCheckBox")->setChecked(false);
    QCOMPARE(m_record->RenameChecked, false);
    for (QWidget *w : fileGroup)
        QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
    QVERIFY(!formChild<QLineEdit>(m, "PreFileNameEdit")->isEnabled());
    // The folder group is untouched.
    QVERIFY(formChild<QLineEdit>(m, "DirNameEdit")->isEnabled());
    QVERIFY(formChild<QPushButton>(m, "BitBtn14")->isEnabled());

    formChild<QCheckBox>(m, "RenameCheckBox")->setChecked(true);
    for (QWidget *w : fileGroup)
        QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));

    formChild<QCheckBox>(m, "DirCreateCheckBox")->setChecked(false);
    QCOMPARE(m_record->DirCreateChecked, false);
    for (QWidget *w : std::initializer_list<QWidget *>{
             formChild<QLineEdit>(m, "DirNameEdit"), formChild<QLineEdit>(m, "PreDirNameEdit"),
             formChild<QLineEdit>(m, "SufDirNameEdit"), formChild<QCheckBox>(m, "PreDirCheckBox"),
             formChild<QCheckBox>(m, "SufDirCheckBox"), formChild<QLabel>(m, "Label1"),
             formChild<QPushButton>(m, "BitBtn14"), formChild<QCheckBox>(m, "PANA101CheckBox")})
        QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));

    formChild<QCheckBox>(m, "PANA101CheckBox")->setChecked(true);
    QCOMPARE(m_record->PANA101Checked, true);
    formChild<QCheckBox>(m, "RenbanResetCheckBox")->setChecked(true);
    QCOMPARE(m_record->RenbanResetChecked, true);
}

void TestNamingWindows::refusedKeys_data()
{
    QTest::addColumn<QString>("edit");
    for (const char *name : {"DirNameEdit", "FileNameEdit", "PreDirNameEdit", "SufDirNameEdit",
                             "PreFileNameEdit", "SufFileNameEdit"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestNamingWindows::refusedKeys()
{
    QFETCH(QString, edit);
    m_record->RenameChecked = true;
    m_record->DirCreateChecked = true;
    m_record->PreDirChecked = m_record->SufDirChecked = m_record->PreFileChecked = m_record->SufFileChecked =
        true;
    start();
    auto *e = m_main->findChild<QLineEdit *>(edit);
    QVERIFY(e);
    e->setText(QStringLiteral("ab"));
    const QString before = e->text();
    for (QChar c : QStringLiteral(":\\/*?\"<>|,;")) {
        m_prompt->clear();
        typeChar(e, c);
        QCOMPARE(e->text(), before);
        QCOMPARE(m_prompt->messages,
                 QStringList{QStringLiteral("半角[ ") + c + QStringLiteral(" ]は入力できません")});
    }
    m_prompt->clear();
    typeText(e, QStringLiteral("[]： ."));
    QCOMPARE(e->text(), before + QStringLiteral("[]： ."));
    QVERIFY(m_prompt->messages.isEmpty());
}

void TestNamingWindows::previewsFollowEveryChange()
{
    m_record->RenameChecked = true;
    m_record->DirCreateChecked = true;
    start();
    TMainForm *m = m_main.get();
    formChild<QLineEdit>(m, "FileNameEdit")->setText(QStringLiteral("[RENBAN]_[yyyymmdd]"));
    QCOMPARE(formChild<QLabel>(m, "Label13")->text(), QStringLiteral("1_20240109[.拡張子]"));
    formChild<QLineEdit>(m, "SufFileNameEdit")->setText(QStringLiteral("_s"));
    QCOMPARE(formChild<QLabel>(m, "Label13")->text(), QStringLiteral("1_20240109[.拡張子]")); // switch off
    formChild<QCheckBox>(m, "SufFileCheckBox")->setChecked(true);
    QCOMPARE(formChild<QLabel>(m, "Label13")->text(), QStringLiteral("1_20240109_s[.拡張子]"));
    formChild<QCheckBox>(m, "PreFileCheckBox")->setChecked(true);
    formChild<QLineEdit>(m, "PreFileNameEdit")->setText(QStringLiteral("p"));
    QCOMPARE(formChild<QLabel>(m, "Label13")->text(), QStringLiteral("p1_20240109_s[.拡張子]"));
    QCOMPARE(m_record->PreFileNameEditText, QStringLiteral("p"));
    QCOMPARE(m_record->SufFileNameEditText, QStringLiteral("_s"));

    formChild<QLineEdit>(m, "DirNameEdit")->setText(QStringLiteral("  [RENBAN] "));
    QCOMPARE(formChild<QLabel>(m, "Label1")->text(), QStringLiteral("/1/"));
    formChild<QCheckBox>(m, "SufDirCheckBox")->setChecked(true);
    formChild<QLineEdit>(m, "SufDirNameEdit")->setText(QStringLiteral("x "));
    QCOMPARE(formChild<QLabel>(m, "Label1")->text(), QStringLiteral("/1 x/"));
    QCOMPARE(m_record->SufDirNameEditText, QStringLiteral("x "));

    // The running numbers and the separator the next run uses.
    m_names->setFileCounter(41);
    QCOMPARE(formChild<QLabel>(m, "Label13")->text(), QStringLiteral("p41_20240109_s[.拡張子]"));
    m_edit->sDayEdit->setText(QStringLiteral("-"));
    QCOMPARE(formChild<QLabel>(m, "Label13")->text(), QStringLiteral("p41_2024-01-09_s[.拡張子]"));
    m_names->setFolderCounter(5);
    QCOMPARE(formChild<QLabel>(m, "Label1")->text(), QStringLiteral("/5 x/"));
}

void TestNamingWindows::dialogModes()
{
    start();
    EditFormController *d = m_names->editForm();
    TEditForm *f = m_edit.get();
    d->prepare(TemplateDialogMode::Folder);
    QCOMPARE(f->windowTitle(), QStringLiteral("フォルダ名の設定"));
    QVERIFY(!f->OrgBitBtn->isEnabled());
    QVERIFY(f->Label4->isHidden());
    QVERIFY(f->DirRenbanSpinEdit->isEnabled());
    QVERIFY(f->Label2->isEnabled());
    QVERIFY(f->Button1->isEnabled());
    QVERIFY(!f->FileRenbanSpinEdit->isEnabled());
    QVERIFY(!f->Label5->isEnabled());
    QVERIFY(!f->Button2->isEnabled());
    QCOMPARE(f->NameEdit->text(), QStringLiteral("新しいフォルダ"));
    QCOMPARE(f->Label1->text(), QStringLiteral("/新しいフォルダ/"));

    d->prepare(TemplateDialogMode::File);
    QCOMPARE(f->windowTitle(), QStringLiteral("ファイル名の設定"));
    QVERIFY(f->OrgBitBtn->isEnabled());
    QVERIFY(!f->Label4->isHidden());
    QVERIFY(!f->DirRenbanSpinEdit->isEnabled());
    QVERIFY(!f->Button1->isEnabled());
    QVERIFY(f->FileRenbanSpinEdit->isEnabled());
    QVERIFY(f->Button2->isEnabled());
    QCOMPARE(f->NameEdit->text(), QStringLiteral("[元のファイル名]"));
    QCOMPARE(f->Label1->text(), QStringLiteral("DSC_1234[.拡張子]"));

    // Layout as designed.
    QCOMPARE(f->size(), QSize(457, 292));
    QCOMPARE(typingLimit(f->NameEdit), 200);
    QCOMPARE(typingLimit(f->sDayEdit), 4);
    QCOMPARE(f->BitBtn1->text(), QStringLiteral("連番 [RENBAN]"));
    QCOMPARE(f->DateBitBtn1->text(), QStringLiteral("転送日 [yyyymmdd]"));
    QCOMPARE(f->DateBitBtn2->text(), QStringLiteral("撮影日 [YYYYMMDD]"));
    QCOMPARE(f->DirRenbanSpinEdit->maximum(), 2147483647);
    QCOMPARE(f->FileRenbanSpinEdit->minimum(), 1);
}

void TestNamingWindows::tokenButtonOnlyOnce()
{
    start();
    TEditForm *f = m_edit.get();
    QVERIFY(openEditForm(TemplateDialogMode::File));
    f->NameEdit->setText(QStringLiteral("a[RENBAN]b"));
    f->NameEdit->setCursorPosition(0);
    QTest::mouseClick(f->BitBtn1, Qt::LeftButton);
    QCOMPARE(f->NameEdit->text(), QStringLiteral("a[RENBAN]b"));
    QVERIFY(f->NameEdit->hasFocus());

    // Absent tokens go in at the caret, behind any token the caret stands in.
    f->NameEdit->setCursorPosition(3); // inside [RENBAN]
    QTest::mouseClick(f->DateBitBtn1, Qt::LeftButton);
    QCOMPARE(f->NameEdit->text(), QStringLiteral("a[RENBAN][yyyymmdd]b"));
    QTest::mouseClick(f->DateBitBtn1, Qt::LeftButton);
    QCOMPARE(f->NameEdit->text(), QStringLiteral("a[RENBAN][yyyymmdd]b"));
    f->NameEdit->end(false);
    QTest::mouseClick(f->OrgBitBtn, Qt::LeftButton);
    QTest::mouseClick(f->DateBitBtn2, Qt::LeftButton);
    QCOMPARE(f->NameEdit->text(), QStringLiteral("a[RENBAN][yyyymmdd]b[元のファイル名][YYYYMMDD]"));
    QTest::mouseClick(f->OrgBitBtn, Qt::LeftButton);
    QCOMPARE(f->NameEdit->text(), QStringLiteral("a[RENBAN][yyyymmdd]b[元のファイル名][YYYYMMDD]"));
    // Typing a token twice is possible.
    typeText(f->NameEdit, QStringLiteral("[RENBAN]"));
    QCOMPARE(f->NameEdit->text().count(QStringLiteral("[RENBAN]")), 2);
    f->hide();
}

void TestNamingWindows::insertTemplateToken_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("caret");
    QTest::addColumn<int>("selection"); // characters selected from the caret on
    QTest::addColumn<QString>("expected");

    QTest::newRow("caret at start") << "[RENBAN]abc" << 0 << 0 << "X[RENBAN]abc";
    QTest::newRow("selection at start replaced") << "abc[RENBAN]" << 0 << 2 << "Xc[RENBAN]";
    QTest::newRow("after ab, no later bracket") << "[RENBAN]abc" << 10 << 0 << "[RENBAN]abXc";
    QTest::newRow("inside token") << "[RENBAN]abc" << 4 << 0 << "[RENBAN]Xabc";
    QTest::newRow("just after token") << "[RENBAN]abc" << 8 << 0 << "[RENBAN]Xabc";
    QTest::newRow("just after token, later token") << "[A]b[C]" << 3 << 0 << "[A]Xb[C]";
    QTest::newRow("before later token") << "ab[RENBAN]" << 1 << 0 << "ab[RENBAN]X";
    QTest::newRow("at end") << "ab" << 2 << 0 << "abX";
    QTest::newRow("selection replaced") << "abcdef" << 2 << 2 << "abXef";
    QTest::newRow("selection before a bracket") << "abc]def" << 2 << 1 << "abc]Xdef";
    QTest::newRow("empty") << "" << 0 << 0 << "X";
}

void TestNamingWindows::insertTemplateToken()
{
    QFETCH(QString, text);
    QFETCH(int, caret);
    QFETCH(int, selection);
    QFETCH(QString, expected);
    start();
    EditFormController *d = m_names->editForm();
    d->prepare(TemplateDialogMode::File);
    QLineEdit *e = m_edit->NameEdit;
    e->setText(text);
    if (selection > 0)
        e->setSelection(caret, selection);
    else
        e->setCursorPosition(caret);
    d->InsertTemplateToken(QStringLiteral("X"));
    QCOMPARE(e->text(), expected);
    QCOMPARE(e->cursorPosition(), expected.indexOf(QLatin1Char('X')) + 1);
}

void TestNamingWindows::dialogPreview()
{
    m_record->PreDirNameEditText = QStringLiteral("P");
    m_record->SufDirNameEditText = QStringLiteral("S");
    m_record->PreFileNameEditText = QStringLiteral("f_");
    m_record->DirRenbanSpinEditValue = 3;
    m_record->FileRenbanSpinEditValue = 8;
    start(); // both switches off: the dialog shows prefix and suffix anyway
    EditFormController *d = m_names->editForm();
    TEditForm *f = m_edit.get();
    d->prepare(TemplateDialogMode::Folder);
    f->NameEdit->setText(QStringLiteral(" [RENBAN]_[YYYYMMDD]_[元のファイル名] "));
    QCOMPARE(f->Label1->text(), QStringLiteral("/P 3_YYYYMMDD_[元のファイル名] S/"));
    f->sDayEdit->setText(QStringLiteral("."));
    QCOMPARE(f->Label1->text(), QStringLiteral("/P 3_YYYY.MM.DD_[元のファイル名] S/"));
    f->DirRenbanSpinEdit->setValue(4);
    QCOMPARE(f->Label1->text(), QStringLiteral("/P 4_YYYY.MM.DD_[元のファイル名] S/"));

    d->prepare(TemplateDialogMode::File);
    // FormShow put the confirmed separator back.
    QCOMPARE(f->sDayEdit->text(), QString());
    f->NameEdit->setText(QStringLiteral("[元のファイル名]_[RENBAN]_[yyyymmdd]"));
    QCOMPARE(f->Label1->text(), QStringLiteral("f_DSC_1234_8_20240109[.拡張子]"));
}

void TestNamingWindows::okFileModeRequiresToken()
{
    m_record->RenameChecked = true;
    m_record->PreFileNameEditText = QStringLiteral("x_");
    start();
    EditFormController *d = m_names->editForm();
    TEditForm *f = m_edit.get();
    d->prepare(TemplateDialogMode::File);
    f->NameEdit->setText(QStringLiteral("[yyyymmdd]"));
    f->FileRenbanSpinEdit->setValue(5);
    f->sDayEdit->setText(QStringLiteral("_"));
    QSignalSpy accepted(f, &QDialog::accepted);
    f->OKBitBtn1->click();
    QCOMPARE(accepted.size(), 1);
    QCOMPARE(m_prompt->messages,
             QStringList{QStringLiteral(
                 "ファイル名に[元のファイル名]または[RENBAN]は必須です\r\n[元のファイル名]を付加します")});
    QCOMPARE(f->NameEdit->text(), QStringLiteral("[元のファイル名][yyyymmdd]"));
    QCOMPARE(formChild<QLineEdit>(m_main.get(), "FileNameEdit")->text(),
             QStringLiteral("[元のファイル名][yyyymmdd]"));
    QCOMPARE(m_record->FileNameEditText, QStringLiteral("[元のファイル名][yyyymmdd]"));
    // The dialog's own preview (prefix included) is what the main window shows now.
    QCOMPARE(formChild<QLabel>(m_main.get(), "Label13")->text(),
             QStringLiteral("x_DSC_12342024_01_09[.拡張子]"));
    QCOMPARE(m_record->FileRenbanSpinEditValue, 5);
    QCOMPARE(m_record->sDayEditText, QStringLiteral("_"));
    // The folder template is untouched.
    QCOMPARE(formChild<QLineEdit>(m_main.get(), "DirNameEdit")->text(), QStringLiteral("新しいフォルダ"));
}

void TestNamingWindows::okFolderModeEmpty()
{
    m_record->DirCreateChecked = true;
    start();
    EditFormController *d = m_names->editForm();
    TEditForm *f = m_edit.get();
    d->prepare(TemplateDialogMode::Folder);
    f->NameEdit->clear();
    f->DirRenbanSpinEdit->setValue(9);
    f->OKBitBtn1->click();
    QVERIFY(m_prompt->messages.isEmpty());
    QCOMPARE(formChild<QLineEdit>(m_main.get(), "DirNameEdit")->text(), QStringLiteral("新しいフォルダ"));
    QCOMPARE(m_record->DirNameEditText, QStringLiteral("新しいフォルダ"));
    QCOMPARE(formChild<QLabel>(m_main.get(), "Label1")->text(), QStringLiteral("/新しいフォルダ/"));
    QCOMPARE(m_record->DirRenbanSpinEditValue, 9);
    QCOMPARE(formChild<QLineEdit>(m_main.get(), "FileNameEdit")->text(), QStringLiteral("[元のファイル名]"));
}

void TestNamingWindows::cancelRestoresCounters()
{
    m_record->FileRenbanSpinEditValue = 4;
    m_record->sDayEditText = QStringLiteral(".");
    start();
    EditFormController *d = m_names->editForm();
    TEditForm *f = m_edit.get();
    d->prepare(TemplateDialogMode::File);
    f->NameEdit->setText(QStringLiteral("[RENBAN]"));
    f->FileRenbanSpinEdit->setValue(99);
    f->DirRenbanSpinEdit->setValue(77);
    f->sDayEdit->setText(QStringLiteral("--"));
    QCOMPARE(m_names->fileCounter(), 99); // live at once
    QSignalSpy rejected(f, &QDialog::rejected);
    f->NGBitBtn1->click();
    QCOMPARE(rejected.size(), 1);
    QCOMPARE(m_names->fileCounter(), 4);
    QCOMPARE(m_names->folderCounter(), 1);
    QCOMPARE(m_names->separator(), QStringLiteral("."));
    QCOMPARE(m_record->FileRenbanSpinEditValue, 4);
    QCOMPARE(m_record->sDayEditText, QStringLiteral("."));
    QCOMPARE(formChild<QLineEdit>(m_main.get(), "FileNameEdit")->text(), QStringLiteral("[元のファイル名]"));
    QCOMPARE(formChild<QLabel>(m_main.get(), "Label13")->text(), QStringLiteral("DSC_1234[.拡張子]"));
}

void TestNamingWindows::closeBoxKeepsTypedValues()
{
    m_record->RenameChecked = true;
    m_record->FileNameEditText = QStringLiteral("[RENBAN]_[yyyymmdd]");
    start();
    EditFormController *d = m_names->editForm();
    TEditForm *f = m_edit.get();
    whenModal([f] {
        f->FileRenbanSpinEdit->setValue(31);
        f->sDayEdit->setText(QStringLiteral("~"));
        f->NameEdit->setText(QStringLiteral("x[RENBAN]"));
        f->close();
    });
    QVERIFY(!d->open(TemplateDialogMode::File));
    QVERIFY(m_prompt->messages.isEmpty());
    // Neither OK nor Cancel: the typed values stay in force (fields, previews, the next run) while the
    // settings keep the confirmed ones; the template is not confirmed.
    QCOMPARE(m_names->fileCounter(), 31);
    QCOMPARE(m_names->separator(), QStringLiteral("~"));
    QCOMPARE(m_record->FileRenbanSpinEditValue, 1);
    QCOMPARE(m_record->sDayEditText, QString());
    QCOMPARE(formChild<QLineEdit>(m_main.get(), "FileNameEdit")->text(),
             QStringLiteral("[RENBAN]_[yyyymmdd]"));
    QCOMPARE(formChild<QLabel>(m_main.get(), "Label13")->text(), QStringLiteral("31_2024~01~09[.拡張子]"));
    // The next opening reloads the confirmed values.
    d->prepare(TemplateDialogMode::File);
    QCOMPARE(m_names->fileCounter(), 1);
    QCOMPARE(m_names->separator(), QString());
    QCOMPARE(formChild<QLabel>(m_main.get(), "Label13")->text(), QStringLiteral("1_20240109[.拡張子]"));
    QCOMPARE(m_record->FileRenbanSpinEditValue, 1);
    QCOMPARE(m_record->sDayEditText, QString());
}

void TestNamingWindows::escapeIsCancel()
{
    start();
    EditFormController *d = m_names->editForm();
    TEditForm *f = m_edit.get();
    whenModal([f] {
        f->FileRenbanSpinEdit->setValue(6);
        QTest::keyClick(f->NameEdit, Qt::Key_Escape);
    });
    QVERIFY(!d->open(TemplateDialogMode::File));
    QCOMPARE(m_names->fileCounter(), 1);
}

void TestNamingWindows::separatorField()
{
    start();
    EditFormController *d = m_names->editForm();
    TEditForm *f = m_edit.get();
    d->prepare(TemplateDialogMode::File);
    f->NameEdit->setText(QStringLiteral("[yyyymmdd]"));
    QTest::keyClicks(f->sDayEdit, QStringLiteral("-_-_"));
    QCOMPARE(f->sDayEdit->text(), QStringLiteral("-_-_"));
    QTest::keyClicks(f->sDayEdit, QStringLiteral("x"));
    QCOMPARE(f->sDayEdit->text(), QStringLiteral("-_-_"));
    QCOMPARE(f->Label1->text(), QStringLiteral("2024-_-_01-_-_09[.拡張子]"));

    f->sDayEdit->clear();
    typeChar(f->sDayEdit, QLatin1Char('/'));
    QCOMPARE(f->sDayEdit->text(), QString());
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("半角[ / ]は入力できません")});
    QCOMPARE(f->Label1->text(), QStringLiteral("20240109[.拡張子]"));

    m_prompt->clear();
    typeChar(f->NameEdit, QLatin1Char('?'));
    QCOMPARE(f->NameEdit->text(), QStringLiteral("[yyyymmdd]"));
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("半角[ ? ]は入力できません")});
}

void TestNamingWindows::typedCountersReachSettingsOnlyThroughOk()
{
    m_record->DirRenbanSpinEditValue = 3;
    start();
    TEditForm *f = m_edit.get();
    EditFormController *d = m_names->editForm();
    const auto typeFive = [f] {
        f->show();
        QApplication::setActiveWindow(f);
        QVERIFY(QTest::qWaitForWindowActive(f));
        RenbanSpinEdit *spin = f->DirRenbanSpinEdit;
        spin->setFocus();
        QTRY_VERIFY(spin->hasFocus());
        spin->selectAll();
        QTest::keyClick(spin, Qt::Key_5);
        QCOMPARE(spin->text(), QStringLiteral("5"));
        QTest::keyClicks(f->sDayEdit, QStringLiteral("-"));
    };
    d->prepare(TemplateDialogMode::Folder);
    typeFive();
    QCOMPARE(m_names->folderCounter(), 5); // live for previews at once
    QCOMPARE(m_record->DirRenbanSpinEditValue, 3);
    QCOMPARE(m_record->sDayEditText, QString());
    f->NGBitBtn1->click();
    QCOMPARE(m_record->DirRenbanSpinEditValue, 3);
    QCOMPARE(m_record->sDayEditText, QString());
    QCOMPARE(m_names->folderCounter(), 3);

    d->prepare(TemplateDialogMode::Folder);
    typeFive();
    QCOMPARE(m_record->DirRenbanSpinEditValue, 3);
    f->OKBitBtn1->click();
    QCOMPARE(m_record->DirRenbanSpinEditValue, 5);
    QCOMPARE(m_record->sDayEditText, QStringLiteral("-"));
}

void TestNamingWindows::longStoredTextsStayWhole()
{
    // Longer than any field's typing limit: stored by an older version or by hand.
    const QString longTemplate = QStringLiteral("[yyyymmdd]") + QString(290, QChar(u'長'));
    const QString longPrefix = QString(300, QLatin1Char('p'));
    const QString longSeparator = QStringLiteral("-----");
    SettingsRecord &r = *m_record;
    r.DirNameEditText = longTemplate;
    r.FileNameEditText = QStringLiteral("[元のファイル名]") + QString(295, QLatin1Char('f'));
    r.PreDirNameEditText = r.SufDirNameEditText = r.PreFileNameEditText = r.SufFileNameEditText = longPrefix;
    r.sDayEditText = longSeparator;
    r.DirCreateChecked = r.RenameChecked = true;
    r.PreDirChecked = r.SufDirChecked = r.PreFileChecked = r.SufFileChecked = true;
    const SettingsRecord before = r;
    start();
    TMainForm *m = m_main.get();
    QCOMPARE(formChild<QLineEdit>(m, "DirNameEdit")->text(), longTemplate);
    QCOMPARE(formChild<QLineEdit>(m, "FileNameEdit")->text(), before.FileNameEditText);
    for (QLineEdit *e :
         {formChild<QLineEdit>(m, "PreDirNameEdit"), formChild<QLineEdit>(m, "SufDirNameEdit"),
          formChild<QLineEdit>(m, "PreFileNameEdit"), formChild<QLineEdit>(m, "SufFileNameEdit")})
        QCOMPARE(e->text(), longPrefix);
    QCOMPARE(m_edit->sDayEdit->text(), longSeparator);
    QCOMPARE(m_names->separator(), longSeparator);

    // Leaving the edits records them whole.
    showActive();
    for (QLineEdit *e :
         {formChild<QLineEdit>(m, "DirNameEdit"), formChild<QLineEdit>(m, "FileNameEdit"),
          formChild<QLineEdit>(m, "PreDirNameEdit"), formChild<QLineEdit>(m, "SufDirNameEdit"),
          formChild<QLineEdit>(m, "PreFileNameEdit"), formChild<QLineEdit>(m, "SufFileNameEdit")}) {
        e->setFocus();
        QTRY_VERIFY(e->hasFocus());
    }
    formChild<QCheckBox>(m, "DirCreateCheckBox")->setFocus();
    QTRY_VERIFY(formChild<QCheckBox>(m, "DirCreateCheckBox")->hasFocus());
    QCOMPARE(r.DirNameEditText, before.DirNameEditText);
    QCOMPARE(r.FileNameEditText, before.FileNameEditText);
    QCOMPARE(r.PreDirNameEditText, longPrefix);
    QCOMPARE(r.SufDirNameEditText, longPrefix);
    QCOMPARE(r.PreFileNameEditText, longPrefix);
    QCOMPARE(r.SufFileNameEditText, longPrefix);
    QCOMPARE(r.sDayEditText, longSeparator);

    // Through the template dialog and OK: still whole.
    EditFormController *d = m_names->editForm();
    d->prepare(TemplateDialogMode::Folder);
    QCOMPARE(m_edit->NameEdit->text(), longTemplate);
    QCOMPARE(m_edit->sDayEdit->text(), longSeparator);
    m_edit->OKBitBtn1->click();
    QCOMPARE(formChild<QLineEdit>(m, "DirNameEdit")->text(), longTemplate);
    QCOMPARE(r.DirNameEditText, longTemplate);
    QCOMPARE(r.sDayEditText, longSeparator);
    QVERIFY(
        formChild<QLabel>(m, "Label1")->text().contains(longPrefix + QStringLiteral("2024-----01-----09")));

    // Typing stops at the limit all the same.
    d->prepare(TemplateDialogMode::Folder);
    m_edit->NameEdit->setText(QString(199, QLatin1Char('a')));
    m_edit->NameEdit->setCursorPosition(199);
    QTest::keyClicks(m_edit->NameEdit, QStringLiteral("bc"));
    QCOMPARE(m_edit->NameEdit->text(), QString(199, QLatin1Char('a')) + QLatin1Char('b'));
    m_edit->NGBitBtn1->click();
}

void TestNamingWindows::counterFields()
{
    start();
    TEditForm *f = m_edit.get();
    QVERIFY(openEditForm(TemplateDialogMode::File));
    f->NameEdit->setText(QStringLiteral("[RENBAN]"));
    RenbanSpinEdit *spin = f->FileRenbanSpinEdit;
    spin->setValueAndText(25);
    QCOMPARE(f->Label1->text(), QStringLiteral("25[.拡張子]"));

    // Cleared: reads as 1, and the next change of the template shows it.
    spin->setFocus();
    QTRY_VERIFY(spin->hasFocus());
    spin->selectAll();
    QTest::keyClick(spin, Qt::Key_Backspace);
    QCOMPARE(spin->text(), QString());
    QCOMPARE(m_names->fileCounter(), 1);
    QCOMPARE(f->Label1->text(), QStringLiteral("1[.拡張子]"));
    f->NameEdit->setText(QStringLiteral("[RENBAN]_"));
    QCOMPARE(spin->text(), QStringLiteral("1"));
    QCOMPARE(f->Label1->text(), QStringLiteral("1_[.拡張子]"));

    // Out of range while typing, corrected to the nearest bound on leaving.
    spin->setFocus();
    QTRY_VERIFY(spin->hasFocus());
    spin->selectAll();
    QTest::keyClicks(spin, QStringLiteral("0"));
    QCOMPARE(spin->text(), QStringLiteral("0"));
    f->NameEdit->setFocus();
    QTRY_VERIFY(!spin->hasFocus());
    QCOMPARE(spin->text(), QStringLiteral("1"));
    QCOMPARE(spin->value(), 1);

    spin->setFocus();
    QTRY_VERIFY(spin->hasFocus());
    spin->selectAll();
    QTest::keyClicks(spin, QStringLiteral("99999999999"));
    QCOMPARE(spin->text(), QStringLiteral("99999999999"));
    f->NameEdit->setFocus();
    QTRY_VERIFY(!spin->hasFocus());
    QCOMPARE(spin->value(), 2147483647);
    QCOMPARE(spin->text(), QStringLiteral("2147483647"));
    QCOMPARE(m_names->fileCounter(), 2147483647);

    // Letters never go in; the spin buttons stay in range.
    spin->setFocus();
    QTRY_VERIFY(spin->hasFocus());
    QTest::keyClicks(spin, QStringLiteral("a"));
    QCOMPARE(spin->value(), 2147483647);
    spin->stepUp();
    QCOMPARE(spin->value(), 2147483647);
    f->Button2->click();
    QCOMPARE(spin->value(), 1);
    spin->stepDown();
    QCOMPARE(spin->value(), 1);
    f->hide();
}

void TestNamingWindows::counterKeyRewritesFirst_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("selectAll");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("after");
    QTest::newRow("empty, digit") << QString() << false << int(Qt::Key_5) << QStringLiteral("15");
    QTest::newRow("empty, End") << QString() << false << int(Qt::Key_End) << QStringLiteral("1");
    QTest::newRow("lone minus") << QStringLiteral("-") << false << int(Qt::Key_5) << QStringLiteral("15");
    QTest::newRow("leading zeros") << QStringLiteral("007") << false << int(Qt::Key_3)
                                   << QStringLiteral("73");
    QTest::newRow("selection kept") << QStringLiteral("25") << true << int(Qt::Key_3) << QStringLiteral("3");
}

void TestNamingWindows::counterKeyRewritesFirst()
{
    QFETCH(QString, before);
    QFETCH(bool, selectAll);
    QFETCH(int, key);
    QFETCH(QString, after);
    start();
    QVERIFY(openEditForm(TemplateDialogMode::File));
    RenbanSpinEdit *spin = m_edit->FileRenbanSpinEdit;
    spin->setFocus();
    QTRY_VERIFY(spin->hasFocus());
    spin->findChild<QLineEdit *>()->setText(before);
    if (selectAll)
        spin->selectAll();
    QTest::keyClick(spin, Qt::Key(key));
    QCOMPARE(spin->text(), after);
    QCOMPARE(m_names->fileCounter(), after.toInt());
    m_edit->NGBitBtn1->click();
}

void TestNamingWindows::openThroughMainWindow()
{
    m_record->DirCreateChecked = true;
    start();
    showActive();
    TEditForm *f = m_edit.get();
    whenModal([f] {
        QCOMPARE(f->windowTitle(), QStringLiteral("フォルダ名の設定"));
        f->NameEdit->setText(QStringLiteral("[yyyymmdd]"));
        f->NameEdit->end(false);
        QTest::mouseClick(f->BitBtn1, Qt::LeftButton);
        f->DirRenbanSpinEdit->setValue(12);
        f->sDayEdit->setText(QStringLiteral("."));
        QTest::mouseClick(f->OKBitBtn1, Qt::LeftButton);
    });
    QTest::mouseClick(formChild<QPushButton>(m_main.get(), "BitBtn14"), Qt::LeftButton);
    QVERIFY(!f->isVisible());
    QCOMPARE(formChild<QLineEdit>(m_main.get(), "DirNameEdit")->text(), QStringLiteral("[yyyymmdd][RENBAN]"));
    QCOMPARE(formChild<QLabel>(m_main.get(), "Label1")->text(), QStringLiteral("/2024.01.0912/"));
    QCOMPARE(m_record->DirNameEditText, QStringLiteral("[yyyymmdd][RENBAN]"));
    QCOMPARE(m_record->DirRenbanSpinEditValue, 12);
    QCOMPARE(m_record->sDayEditText, QStringLiteral("."));

    whenModal([f] {
        QCOMPARE(f->windowTitle(), QStringLiteral("ファイル名の設定"));
        QCOMPARE(f->NameEdit->text(), QStringLiteral("[元のファイル名]"));
        QTest::mouseClick(f->NGBitBtn1, Qt::LeftButton);
    });
    formChild<QCheckBox>(m_main.get(), "RenameCheckBox")->setChecked(true);
    QTest::mouseClick(formChild<QPushButton>(m_main.get(), "BitBtn12"), Qt::LeftButton);
    QCOMPARE(formChild<QLineEdit>(m_main.get(), "FileNameEdit")->text(), QStringLiteral("[元のファイル名]"));
}

void TestNamingWindows::anyDateButton()
{
    start();
    EditFormController *d = m_names->editForm();
    TEditForm *f = m_edit.get();
    TCalenderForm *c = m_calender.get();
    d->prepare(TemplateDialogMode::File);
    f->sDayEdit->setText(QStringLiteral("."));
    f->NameEdit->setText(QStringLiteral("[RENBAN]ab"));
    f->NameEdit->setCursorPosition(3);

    whenModal([c] {
        QCOMPARE(QApplication::activeModalWidget(), c);
        c->YSpinEdit->setValue(2017);
        c->MSpinEdit->setValue(3);
        c->Calendar1->setSelectedDate(QDate(2017, 3, 5));
        QTest::mouseClick(c->BitBtn1, Qt::LeftButton);
    });
    f->BitBtn2->click();
    QCOMPARE(f->NameEdit->text(), QStringLiteral("[RENBAN]2017.03.05ab"));

    // The same date may go in twice; Cancel inserts nothing.
    f->NameEdit->end(false);
    whenModal([c] { QTest::mouseClick(c->BitBtn1, Qt::LeftButton); });
    f->BitBtn2->click();
    QCOMPARE(f->NameEdit->text(), QStringLiteral("[RENBAN]2017.03.05ab2017.03.05"));
    whenModal([c] {
        c->Calendar1->setSelectedDate(QDate(2020, 2, 2));
        QTest::mouseClick(c->BitBtn2, Qt::LeftButton);
    });
    f->BitBtn2->click();
    QCOMPARE(f->NameEdit->text(), QStringLiteral("[RENBAN]2017.03.05ab2017.03.05"));
    // The picker keeps the date left there.
    QCOMPARE(c->Calendar1->selectedDate(), QDate(2020, 2, 2));
    QCOMPARE(c->YSpinEdit->value(), 2020);
    QCOMPARE(c->MSpinEdit->value(), 2);
}

void TestNamingWindows::calendarDrivenBySpinEdits()
{
    TCalenderForm *c = m_calender.get();
    QCOMPARE(c->windowTitle(), QStringLiteral("日付を選択"));
    QCOMPARE(c->size(), QSize(352, 178));
    QCOMPARE(c->Calendar1->firstDayOfWeek(), Qt::Sunday);
    QCOMPARE(c->Calendar1->selectedDate(), QDate::currentDate());
    QCOMPARE(c->YSpinEdit->value(), QDate::currentDate().year());
    QCOMPARE(c->MSpinEdit->value(), QDate::currentDate().month());

    c->Calendar1->setSelectedDate(QDate(2023, 1, 31));
    QCOMPARE(c->YSpinEdit->value(), 2023);
    QCOMPARE(c->MSpinEdit->value(), 1);
    c->MSpinEdit->setValue(4); // 30 days
    QCOMPARE(c->Calendar1->selectedDate(), QDate(2023, 4, 30));
    QCOMPARE(c->Calendar1->monthShown(), 4);
    c->MSpinEdit->setValue(2);
    QCOMPARE(c->Calendar1->selectedDate(), QDate(2023, 2, 28));
    c->Calendar1->setSelectedDate(QDate(2024, 2, 29));
    c->YSpinEdit->setValue(2025);
    QCOMPARE(c->Calendar1->selectedDate(), QDate(2025, 2, 28));
    QCOMPARE(c->Calendar1->yearShown(), 2025);
    c->MSpinEdit->setValue(12);
    QCOMPARE(c->Calendar1->selectedDate(), QDate(2025, 12, 28));
    // A day of the next month picked in the grid moves the spin edits, straight to that date.
    QList<QDate> seen;
    QObject watch;
    connect(c->Calendar1, &QCalendarWidget::selectionChanged, &watch,
            [&] { seen << c->Calendar1->selectedDate(); });
    c->Calendar1->setSelectedDate(QDate(2026, 1, 2));
    QCOMPARE(seen, QList<QDate>{QDate(2026, 1, 2)});
    QCOMPARE(c->Calendar1->monthShown(), 1);
    QCOMPARE(c->YSpinEdit->value(), 2026);
    QCOMPARE(c->MSpinEdit->value(), 1);
    QCOMPARE(m_names->calenderForm()->pickedDate(), QDate(2026, 1, 2));
}

void TestNamingWindows::calendarToday()
{
    TCalenderForm *c = m_calender.get();
    m_names->setTodayFunction([] { return QDate(2024, 1, 31); });
    c->YSpinEdit->setValue(2001);
    c->MSpinEdit->setValue(6);
    QCOMPARE(c->Calendar1->monthShown(), 6);
    QTest::mouseClick(c->Button1, Qt::LeftButton);
    QCOMPARE(c->YSpinEdit->value(), 2024);
    QCOMPARE(c->MSpinEdit->value(), 1);
    QCOMPARE(c->Calendar1->selectedDate(), QDate(2024, 1, 31));
    QCOMPARE(c->Calendar1->yearShown(), 2024);
    QCOMPARE(c->Calendar1->monthShown(), 1);
}

void TestNamingWindows::calendarRanges()
{
    TCalenderForm *c = m_calender.get();
    c->YSpinEdit->setValue(1800);
    QCOMPARE(c->YSpinEdit->value(), 1900);
    c->YSpinEdit->setValue(3500);
    QCOMPARE(c->YSpinEdit->value(), 2999);
    c->MSpinEdit->setValue(13);
    QCOMPARE(c->MSpinEdit->value(), 12);
    c->MSpinEdit->setValue(0);
    QCOMPARE(c->MSpinEdit->value(), 1);
    c->YSpinEdit->setValue(2999);
    c->MSpinEdit->setValue(12);
    c->YSpinEdit->stepUp();
    QCOMPARE(c->YSpinEdit->value(), 2999);
    QVERIFY(c->Calendar1->selectedDate() <= QDate(2999, 12, 31));
}

void TestNamingWindows::transferCounters()
{
    m_record->FileRenbanSpinEditValue = 7;
    start();
    QCOMPARE(m_names->fileCounter(), 7);
    QCOMPARE(m_names->advanceFileCounter(), 8);
    QCOMPARE(m_names->advanceFileCounter(), 9);
    QCOMPARE(m_names->advanceFileCounter(), 10);
    QCOMPARE(m_edit->FileRenbanSpinEdit->value(), 10);
    QCOMPARE(m_record->FileRenbanSpinEditValue, 10);

    m_names->setFolderCounter(2147483647);
    QCOMPARE(m_names->advanceFolderCounter(), 1);
    QCOMPARE(m_record->DirRenbanSpinEditValue, 1);
    m_names->setFolderCounter(0);
    QCOMPARE(m_names->folderCounter(), 1);
    m_names->setFolderCounter(55);
    m_names->resetCounters();
    QCOMPARE(m_names->folderCounter(), 1);
    QCOMPARE(m_names->fileCounter(), 1);
    QCOMPARE(m_record->DirRenbanSpinEditValue, 1);
    QCOMPARE(m_record->FileRenbanSpinEditValue, 1);

    // A counter the transfer wrote is what the next opening of the dialog shows, and what Cancel keeps.
    m_names->setFileCounter(20);
    m_names->editForm()->prepare(TemplateDialogMode::File);
    QCOMPARE(m_edit->FileRenbanSpinEdit->value(), 20);
    m_edit->FileRenbanSpinEdit->setValue(3);
    m_names->setFileCounter(21); // a run going on while the dialog is open
    m_edit->NGBitBtn1->click();
    QCOMPARE(m_names->fileCounter(), 21);
    // Written into the field directly while the dialog is closed: confirmed as well.
    m_edit->FileRenbanSpinEdit->setValue(50);
    QCOMPARE(m_record->FileRenbanSpinEditValue, 50);
    m_names->editForm()->prepare(TemplateDialogMode::File);
    QCOMPARE(m_names->fileCounter(), 50);
}

void TestNamingWindows::snapshot()
{
    m_record->DirCreateChecked = true;
    m_record->RenameChecked = true;
    m_record->PreDirNameEditText = QStringLiteral("Cam");
    m_record->PreDirChecked = true;
    m_record->SufFileNameEditText = QStringLiteral("_b");
    m_record->SufFileChecked = true;
    m_record->FileNameEditText = QStringLiteral("[RENBAN]-[RENBAN]");
    m_record->DirNameEditText = QStringLiteral("[yyyymmdd] [RENBAN]");
    m_record->sDayEditText = QStringLiteral(".");
    m_record->DirRenbanSpinEditValue = 12;
    m_record->FileRenbanSpinEditValue = 3;
    start();
    NameTemplateSet set = m_names->snapshot();
    QCOMPARE(set.folder, (NameTemplate{QStringLiteral("[yyyymmdd] [RENBAN]"), QStringLiteral("Cam"), true,
                                       QString(), false}));
    QCOMPARE(set.file, (NameTemplate{QStringLiteral("[RENBAN]-[RENBAN]"), QString(), false,
                                     QStringLiteral("_b"), true}));
    QCOMPARE(set.separator, QStringLiteral("."));
    QCOMPARE(set.folderCounter, 12);
    QCOMPARE(set.fileCounter, 3);
    const auto today = [] { return kToday; };
    QCOMPARE(ExpandNameTemplate(TemplateDialogMode::Folder, set.folder, set.folderCounter, QString(),
                                QDate(2017, 3, 5), set.separator, today),
             QStringLiteral("/Cam2024.01.09 12/"));
    QCOMPARE(ExpandNameTemplate(TemplateDialogMode::File, set.file, set.fileCounter,
                                QStringLiteral("/media/card/DCIM/100PANA/P1000123.JPG"), QDate(2017, 3, 5),
                                set.separator, today),
             QStringLiteral("3-3_b.JPG"));

    // A template still being typed (its edit not left) is taken in its corrected form.
    formChild<QLineEdit>(m_main.get(), "FileNameEdit")->setText(QStringLiteral("[yyyymmdd]"));
    formChild<QLineEdit>(m_main.get(), "DirNameEdit")->setText(QString());
    set = m_names->snapshot();
    QCOMPARE(set.file.text, QStringLiteral("[元のファイル名][yyyymmdd]"));
    QCOMPARE(set.folder.text, QStringLiteral("新しいフォルダ"));
    QVERIFY(m_prompt->messages.isEmpty());
    m_names->finishEditing();
    QCOMPARE(formChild<QLineEdit>(m_main.get(), "FileNameEdit")->text(),
             QStringLiteral("[元のファイル名][yyyymmdd]"));
    QCOMPARE(formChild<QLineEdit>(m_main.get(), "DirNameEdit")->text(), QStringLiteral("新しいフォルダ"));
    QCOMPARE(m_prompt->messages.size(), 1);
}

QTEST_MAIN(TestNamingWindows)
#include "tst_namingwindows.moc"
