#include "app/aftertransferapp.h"
#include "exiv2files.h"
#include "formchild.h"
#include "naming/widgets/namesettingscontroller.h"
#include "platform/registrystore.h"
#include "routing/widgets/extensionroutingcontroller.h"
#include "settings/settingsrecord.h"
#include "system/widgets/systemhandlers.h"
#include "testdir.h"
#include "testprompt.h"
#include "ui/tcalenderform.h"
#include "ui/teditform.h"
#include "ui/textform.h"
#include "ui/tmainform.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

using namespace vantora;
using vantora::test::formChild;

namespace {

const QString kRegisterQuestion =
    QStringLiteral("本プログラムを自動再生に登録しますか？\r\nVantix.exeの場所：\r\n[");
const QString kUnregisterQuestion = QStringLiteral("本プログラムを自動再生から解除しますか？\r\n自動再生をレ"
                                                   "ジストリから削除するため、プログラムを再起動します");
const QString kPickerTitle =
    QStringLiteral("コンピュータ → デバイス→ DCIMの中の\r\n [Camera] フォルダを選択して下さい.");
const QString kCreateQuestion = QStringLiteral("転送先フォルダを作成します。作成して転送開始しますか？\r\n");
const QString kMoveQuestion =
    QStringLiteral("転送したファイルを削除しますか？\r\n([はい]は移動、[いいえ]はコピーです)");

struct Started
{
    QString program;
    QStringList arguments;
};

// The areas the device import asks, as the program wires them; the running numbers' reset is counted.
class Neighbours final : public DeviceImportNeighbours
{
public:
    Neighbours(const ExtensionRoutingController *routing, const NameSettingsController *naming,
               const AfterTransferApp *afterTransfer, int *resets)
        : m_routing(routing), m_naming(naming), m_afterTransfer(afterTransfer), m_resets(resets)
    {
    }

    QString destinationFolder() const override { return m_routing->destinationFolder(); }
    bool resetsCountersAfterRun() const override { return m_naming->resetsCountersAfterRun(); }
    QString afterTransferProgram() const override { return m_afterTransfer->enabledProgram(); }
    void runningNumbersReset() override { ++*m_resets; }

private:
    const ExtensionRoutingController *m_routing;
    const NameSettingsController *m_naming;
    const AfterTransferApp *m_afterTransfer;
    int *m_resets;
};

} // namespace

class TestSystemHandlers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void registerButtonAsksThenRegistersInPlace();
    void registerButtonCancelled();
    void registerButtonReportsAStoreThatCannotBeWritten();
    void unregisterButton();

    void importCancelledPickerIsSilent();
    void importDeclinedCreatesNothing();
    void importMovesAndStaysOpenWithoutTheApplication();
    void importCopiesThenStartsTheApplicationAndCloses_data();
    void importCopiesThenStartsTheApplicationAndCloses();
    void importWithAMissingApplicationStaysOpen();
    void importRefusesBadDestinations();
    void importStopsWhenTheFolderCannotBeCreated();
    void importReportsADestinationInsideTheSource();

    void diagnosticsListIntoTheMemo();
    void diagnosticsOnMissingFiles();

private:
    void makeCard();

    QTemporaryDir m_home;
    std::unique_ptr<test::TestDir> m_dir;
    std::unique_ptr<test::TestPrompt> m_prompt;
    std::unique_ptr<RegistryStore> m_store;
    std::unique_ptr<TMainForm> m_form;
    SettingsRecord m_settings;
    // The areas the device import asks, as the program wires them.
    std::unique_ptr<TExtForm> m_extForm;
    std::unique_ptr<TEditForm> m_editForm;
    std::unique_ptr<TCalenderForm> m_calenderForm;
    std::unique_ptr<ExtensionRoutingController> m_routing;
    std::unique_ptr<NameSettingsController> m_naming;
    std::unique_ptr<AfterTransferApp> m_afterTransfer;
    std::unique_ptr<SystemHandlers> m_handlers;
    QList<Started> m_started;
    int m_resets = 0;
    QString m_card;
    QString m_pictures;
};

void TestSystemHandlers::initTestCase()
{
    test::isolateHome(m_home.path());
}

void TestSystemHandlers::init()
{
    m_dir = std::make_unique<test::TestDir>();
    m_prompt = std::make_unique<test::TestPrompt>();
    m_store = std::make_unique<RegistryStore>(m_dir->filePath(QStringLiteral("registry")));
    m_form = std::make_unique<TMainForm>();
    m_settings = SettingsRecord::defaults();
    m_extForm = std::make_unique<TExtForm>(m_form.get());
    m_editForm = std::make_unique<TEditForm>(m_form.get());
    m_calenderForm = std::make_unique<TCalenderForm>(m_form.get());
    m_routing =
        std::make_unique<ExtensionRoutingController>(m_form->destinationArea(), m_extForm.get(), &m_settings);
    m_naming = std::make_unique<NameSettingsController>(m_form->namingArea(), m_editForm.get(),
                                                        m_calenderForm.get(), &m_settings);
    m_afterTransfer = std::make_unique<AfterTransferApp>(m_form->afterTransferArea(), &m_settings);
    m_handlers = std::make_unique<SystemHandlers>(m_form->systemArea(), *m_store, m_settings);
    m_handlers->setNeighbours(
        std::make_unique<Neighbours>(m_routing.get(), m_naming.get(), m_afterTransfer.get(), &m_resets));
    m_handlers->setProgramPath(QStringLiteral("/opt/Vantora Apps/vantora"));
    m_handlers->setApplicationsDirectory(m_dir->filePath(QStringLiteral("applications")));
    m_started.clear();
    m_resets = 0;
    m_handlers->setStarter([this](const QString &p, const QStringList &a) {
        m_started.append({p, a});
        return true;
    });
    m_form->show();
}

void TestSystemHandlers::cleanup()
{
    m_handlers.reset();
    m_afterTransfer.reset();
    m_naming.reset();
    m_routing.reset();
    m_calenderForm.reset();
    m_editForm.reset();
    m_extForm.reset();
    m_form.reset();
    m_store.reset();
    m_prompt.reset();
    m_dir.reset();
}

void TestSystemHandlers::makeCard()
{
    m_card = m_dir->createDir(QStringLiteral("phone/DCIM/Camera"));
    m_dir->createFile(QStringLiteral("phone/DCIM/Camera/IMG_0001.JPG"), "first");
    m_dir->createFile(QStringLiteral("phone/DCIM/Camera/sub/VID_0002.MP4"), "second");
    m_pictures = m_dir->createDir(QStringLiteral("Pictures")) + QLatin1Char('/');
    formChild<QLineEdit>(m_form.get(), "TransferEdit1")->setText(m_pictures);
    m_settings.DirNameEditText = QStringLiteral("card[RENBAN]");
    m_settings.PreDirChecked = false;
    m_settings.SufDirChecked = false;
    m_settings.DirRenbanSpinEditValue = 5;
    m_settings.FileRenbanSpinEditValue = 9;
}

void TestSystemHandlers::registerButtonAsksThenRegistersInPlace()
{
    QVERIFY(formChild<QPushButton>(m_form.get(), "Button6")->isEnabled());
    formChild<QPushButton>(m_form.get(), "Button6")->click();
    QCOMPARE(m_prompt->questions,
             QStringList{kRegisterQuestion +
                         QStringLiteral("/opt/Vantora Apps/vantora]\r\n"
                                        "をレジストリに登録するため、プログラムを再起動します")});
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("自動再生に登録しました")});
    RegistryStore reread(m_dir->filePath(QStringLiteral("registry")));
    QCOMPARE(reread.readString(RegistryRoot::ClassesRoot, QStringLiteral("Vantora\\shell\\open\\command"),
                               QString()),
             std::optional<QString>(QStringLiteral("/opt/Vantora Apps/vantora %L")));
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("applications/vantora.desktop"))));
    // Done in place: nothing restarts, the window stays.
    QVERIFY(m_started.isEmpty());
    QVERIFY(m_form->isVisible());
}

void TestSystemHandlers::registerButtonCancelled()
{
    m_prompt->answers.enqueue(false);
    formChild<QPushButton>(m_form.get(), "Button6")->click();
    QCOMPARE(m_prompt->questions.size(), 1);
    QVERIFY(m_prompt->messages.isEmpty());
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("registry"))));
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("applications"))));

    m_prompt->answers.enqueue(false);
    formChild<QPushButton>(m_form.get(), "Button7")->click();
    QCOMPARE(m_prompt->questions.size(), 2);
    QVERIFY(m_prompt->messages.isEmpty());
    QVERIFY(m_form->isVisible());
}

void TestSystemHandlers::registerButtonReportsAStoreThatCannotBeWritten()
{
    m_dir->createFile(QStringLiteral("registry"), "in the way");
    formChild<QPushButton>(m_form.get(), "Button6")->click();
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("'' の設定に失敗しました")});
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("applications/vantora.desktop"))));
    QVERIFY(m_form->isVisible());
}

void TestSystemHandlers::unregisterButton()
{
    formChild<QPushButton>(m_form.get(), "Button6")->click();
    m_prompt->clear();
    QVERIFY(formChild<QPushButton>(m_form.get(), "Button7")->isEnabled());
    formChild<QPushButton>(m_form.get(), "Button7")->click();
    QCOMPARE(m_prompt->questions, QStringList{kUnregisterQuestion});
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("自動再生から解除しました")});
    RegistryStore reread(m_dir->filePath(QStringLiteral("registry")));
    QVERIFY(!reread.keyExists(RegistryRoot::ClassesRoot, QStringLiteral("Vantora")));
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("applications/vantora.desktop"))));
    QVERIFY(m_form->isVisible());

    // Again, with nothing registered: the same message.
    m_prompt->clear();
    formChild<QPushButton>(m_form.get(), "Button7")->click();
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("自動再生から解除しました")});
}

void TestSystemHandlers::importCancelledPickerIsSilent()
{
    makeCard();
    m_handlers->Button13Click();
    QCOMPARE(m_prompt->folderTitles, QStringList{kPickerTitle});
    QVERIFY(m_prompt->messages.isEmpty());
    QVERIFY(m_prompt->yesNoQuestions.isEmpty());
    QVERIFY(formChild<QPlainTextEdit>(m_form.get(), "Memo1")->toPlainText().isEmpty());
    QCOMPARE(QDir(m_pictures).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

void TestSystemHandlers::importDeclinedCreatesNothing()
{
    makeCard();
    m_prompt->folders.enqueue(m_card);
    m_prompt->answers.enqueue(false);
    m_handlers->Button13Click();
    QCOMPARE(formChild<QPlainTextEdit>(m_form.get(), "Memo1")->toPlainText(), m_card);
    QCOMPARE(m_prompt->yesNoQuestions, QStringList{kCreateQuestion + m_pictures + QStringLiteral("card5/")});
    QCOMPARE(m_prompt->messages, QStringList({QStringLiteral("Transfer: card5\r\n\r\nSource: Camera"),
                                              QStringLiteral("転送しませんでした.")}));
    QVERIFY(!QFileInfo::exists(m_pictures + QStringLiteral("card5")));
    QVERIFY(QFile::exists(m_card + QStringLiteral("/IMG_0001.JPG")));
}

void TestSystemHandlers::importMovesAndStaysOpenWithoutTheApplication()
{
    makeCard();
    formChild<QCheckBox>(m_form.get(), "ExecCheckBox")->setChecked(false);
    formChild<QCheckBox>(m_form.get(), "RenbanResetCheckBox")->setChecked(true);
    m_prompt->folders.enqueue(m_card);
    m_prompt->answers << true << true; // create, then move
    m_handlers->Button13Click();
    const QString destination = m_pictures + QStringLiteral("card5/");
    QCOMPARE(m_prompt->yesNoQuestions, QStringList({kCreateQuestion + destination, kMoveQuestion}));
    QVERIFY(m_prompt->questions.isEmpty()); // Yes/No boxes, not OK/Cancel
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("Transfer: card5\r\n\r\nSource: Camera")});
    QFile first(destination + QStringLiteral("Camera/IMG_0001.JPG"));
    QVERIFY(first.open(QIODevice::ReadOnly));
    QCOMPARE(first.readAll(), QByteArray("first"));
    QVERIFY(QFile::exists(destination + QStringLiteral("Camera/sub/VID_0002.MP4")));
    QVERIFY(!QFileInfo::exists(m_card));
    // No application: the running numbers stay and the window stays open.
    QVERIFY(m_started.isEmpty());
    QCOMPARE(m_settings.DirRenbanSpinEditValue, 5);
    QCOMPARE(m_resets, 0);
    QVERIFY(m_form->isVisible());
}

void TestSystemHandlers::importCopiesThenStartsTheApplicationAndCloses_data()
{
    QTest::addColumn<int>("paramIndex");
    QTest::addColumn<bool>("reset");
    QTest::newRow("folder as parameter, reset") << 0 << true;
    QTest::newRow("no parameter, no reset") << 1 << false;
}

void TestSystemHandlers::importCopiesThenStartsTheApplicationAndCloses()
{
    QFETCH(int, paramIndex);
    QFETCH(bool, reset);
    makeCard();
    const QString app = m_dir->createFile(QStringLiteral("bin/viewer"), "#!/bin/sh\n");
    QVERIFY(QFile::setPermissions(app, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    formChild<QCheckBox>(m_form.get(), "ExecCheckBox")->setChecked(true);
    formChild<QLineEdit>(m_form.get(), "ExecEdit")->setText(app);
    formChild<QCheckBox>(m_form.get(), "ExecCloseCheckBox")->setChecked(false); // closes whatever this says
    formChild<QCheckBox>(m_form.get(), "RenbanResetCheckBox")->setChecked(reset);
    m_settings.ParamRadioGroupIndex = paramIndex;
    m_prompt->folders.enqueue(m_card);
    m_prompt->answers << true << false; // create, then copy
    m_handlers->Button13Click();

    const QString destination = m_pictures + QStringLiteral("card5");
    QVERIFY(QFile::exists(destination + QStringLiteral("/Camera/IMG_0001.JPG")));
    QVERIFY(QFile::exists(m_card + QStringLiteral("/IMG_0001.JPG")));
    QCOMPARE(m_started.size(), 1);
    QCOMPARE(m_started[0].program, app);
    QCOMPARE(m_started[0].arguments, paramIndex == 0 ? QStringList{destination} : QStringList());
    QCOMPARE(m_settings.DirRenbanSpinEditValue, reset ? 1 : 5);
    QCOMPARE(m_settings.FileRenbanSpinEditValue, reset ? 1 : 9);
    QCOMPARE(m_resets, reset ? 1 : 0);
    QVERIFY(!m_form->isVisible());
}

void TestSystemHandlers::importWithAMissingApplicationStaysOpen()
{
    makeCard();
    formChild<QCheckBox>(m_form.get(), "ExecCheckBox")->setChecked(true);
    formChild<QLineEdit>(m_form.get(), "ExecEdit")->setText(m_dir->filePath(QStringLiteral("bin/gone")));
    m_prompt->folders.enqueue(m_card);
    m_prompt->answers << true << false;
    m_handlers->Button13Click();
    QVERIFY(QFile::exists(m_pictures + QStringLiteral("card5/Camera/IMG_0001.JPG")));
    QVERIFY(m_started.isEmpty());
    QVERIFY(m_form->isVisible());

    // A folder is not an application either.
    m_prompt->clear();
    formChild<QLineEdit>(m_form.get(), "ExecEdit")->setText(m_dir->createDir(QStringLiteral("bin/folder")));
    m_prompt->folders.enqueue(m_card);
    m_prompt->answers << true << false;
    m_handlers->Button13Click();
    QVERIFY(m_started.isEmpty());
    QVERIFY(m_form->isVisible());
}

void TestSystemHandlers::importRefusesBadDestinations()
{
    makeCard();
    formChild<QLineEdit>(m_form.get(), "TransferEdit1")->setText(QString());
    m_prompt->folders.enqueue(m_card);
    m_handlers->Button13Click();
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("転送先フォルダが設定されていません")});
    QVERIFY(m_prompt->yesNoQuestions.isEmpty());

    m_prompt->clear();
    formChild<QLineEdit>(m_form.get(), "TransferEdit1")->setText(m_pictures);
    m_settings.DirNameEditText = QStringLiteral("..");
    m_prompt->folders.enqueue(m_card);
    m_handlers->Button13Click();
    QCOMPARE(m_prompt->messages.size(), 1);
    QVERIFY(m_prompt->messages[0].contains(QStringLiteral("フォルダの名前")));
    QVERIFY(m_prompt->yesNoQuestions.isEmpty());
    QVERIFY(QFile::exists(m_card + QStringLiteral("/IMG_0001.JPG")));
}

void TestSystemHandlers::importStopsWhenTheFolderCannotBeCreated()
{
    makeCard();
    const QString missingParent = m_dir->filePath(QStringLiteral("no/such/place"));
    formChild<QLineEdit>(m_form.get(), "TransferEdit1")->setText(missingParent);
    m_prompt->folders.enqueue(m_card);
    m_prompt->answers << true << true;
    m_handlers->Button13Click();
    QCOMPARE(m_prompt->messages.last(),
             QStringLiteral("フォルダ[") + missingParent + QStringLiteral("/card5/]の作成に失敗しました"));
    QCOMPARE(m_prompt->yesNoQuestions.size(), 1);
    QVERIFY(QFile::exists(m_card + QStringLiteral("/IMG_0001.JPG")));
}

void TestSystemHandlers::importReportsADestinationInsideTheSource()
{
    makeCard();
    formChild<QLineEdit>(m_form.get(), "TransferEdit1")->setText(m_card);
    m_prompt->folders.enqueue(m_card);
    m_prompt->answers << true << true;
    m_handlers->Button13Click();
    QVERIFY(
        m_prompt->messages.last().startsWith(QStringLiteral("転送先フォルダが転送元フォルダの中にあるため")));
    QVERIFY(QFile::exists(m_card + QStringLiteral("/IMG_0001.JPG")));
    QVERIFY(!QFileInfo::exists(m_card + QStringLiteral("/card5/Camera")));
    QVERIFY(m_form->isVisible());
}

void TestSystemHandlers::diagnosticsListIntoTheMemo()
{
    const QString folder = m_dir->createDir(QStringLiteral("DCIM/100TEST"));
    const QString tif = folder + QStringLiteral("/TEST.TIF");
    const QString nef = folder + QStringLiteral("/TEST.JPG");
    QVERIFY(test::writeTiff(tif));
    QVERIFY(test::exiv2Modify(tif, {QStringLiteral("set Exif.Photo.DateTimeOriginal 2019:12:31 23:59:00")}));
    QVERIFY(test::writeJpeg(nef));
    QVERIFY(test::exiv2Modify(nef, {QStringLiteral("set Exif.Photo.DateTimeOriginal 2020:02:29 12:00:00")}));
    m_handlers->setDiagnosticsFiles(tif, nef);

    m_handlers->Button3Click();
    QStringList lines =
        formChild<QPlainTextEdit>(m_form.get(), "Memo1")->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 2 * 44);
    QCOMPARE(lines[0], QString(20, QLatin1Char('-')));
    QCOMPARE(lines[44 + 1], tif);
    QCOMPARE(lines[44 + 3], QStringLiteral("[名前                    ] TEST.TIF"));

    formChild<QPlainTextEdit>(m_form.get(), "Memo1")->clear();
    m_handlers->Button11Click();
    lines = formChild<QPlainTextEdit>(m_form.get(), "Memo1")->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 6);
    QCOMPARE(lines[0], QStringLiteral("[名前] TEST.JPG"));
    QCOMPARE(lines[2], QStringLiteral("[撮影日時] 2020/02/29 12:00"));
    QCOMPARE(lines[5], QStringLiteral("[撮影日時] 2019/12/31 23:59"));

    m_handlers->Button12Click();
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("2019.12.31")});
}

void TestSystemHandlers::diagnosticsOnMissingFiles()
{
    const QString gone = m_dir->filePath(QStringLiteral("D/DCIM/TEST"));
    m_handlers->setDiagnosticsFiles(gone + QStringLiteral("/TEST.TIF"), gone + QStringLiteral("/TEST.NEF"));
    m_handlers->Button3Click();
    m_handlers->Button11Click();
    m_handlers->Button12Click();
    QCOMPARE(m_prompt->messages.size(), 3);
    QCOMPARE(m_prompt->messages[0], QStringLiteral("フォルダ[") + gone + QStringLiteral("]が見つかりません"));
    QCOMPARE(m_prompt->messages[1], m_prompt->messages[0]);
    QVERIFY(m_prompt->messages[2].contains(gone + QStringLiteral("/TEST.TIF")));
    QVERIFY(formChild<QPlainTextEdit>(m_form.get(), "Memo1")->toPlainText().isEmpty());
    // They stay out of reach.
    for (QPushButton *b :
         {formChild<QPushButton>(m_form.get(), "Button13"), formChild<QPushButton>(m_form.get(), "Button3"),
          formChild<QPushButton>(m_form.get(), "Button11"), formChild<QPushButton>(m_form.get(), "Button12")})
        QVERIFY(!b->isEnabled());
}

QTEST_MAIN(TestSystemHandlers)
#include "tst_systemhandlers.moc"
