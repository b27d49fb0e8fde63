#include "ui/tmainform.h"

#include "ui/formkit.h"
#include "ui/keyfilter.h"
#include "ui/radiogroup.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>

namespace vantora {

void setUpExtensionTable(QTableWidget *table, int keyWidth, int folderWidth)
{
    table->setColumnCount(2);
    table->setHorizontalHeaderLabels({QStringLiteral("拡張子"), QStringLiteral("転送先フォルダ")});
    // Qt's cells carry more padding than the widths were measured with: give the key column the room a
    // key such as "*.JPEG" needs, taken from the folder column.
    constexpr int padding = 16;
    table->setColumnWidth(0, keyWidth + padding);
    table->setColumnWidth(1, folderWidth - padding);
    table->horizontalHeader()->setStretchLastSection(true);
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setDefaultSectionSize(18);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
}

QStringList TMainForm::openDialog1Filters()
{
    return {QStringLiteral("*.exe (*.exe)"), QStringLiteral("全てのファイル (*)")};
}

TMainForm::TMainForm(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TMainForm"));
    setWindowTitle(QStringLiteral("Vantora"));
    setFont(formFont());
    setFixedSize(873, 549);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    // Opens centred on the screen; an explicit position also keeps a window manager from placing it.
    if (const QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());

    // Created in tab order: source, destination, folder name, file name, table, options, buttons.
    auto *SourceGroupBox =
        makeGroup(this, "SourceGroupBox", QStringLiteral("転送元フォルダ指定"), {8, 4, 425, 84});
    auto *BitBtn4 = makeControl<QPushButton>(SourceGroupBox, "BitBtn4", QStringLiteral("転送元フォルダ..."),
                                             {8, 18, 110, 25});
    auto *SourceEdit1 = makeControl<QLineEdit>(SourceGroupBox, "SourceEdit1", {124, 20, 293, 21});
    makeReadOnlyGrey(SourceEdit1);
    makeControl<QLabel>(SourceGroupBox, "Label5", QStringLiteral("vol :"), {10, 52, 30, 16});
    auto *VolLabel = makeControl<QLabel>(SourceGroupBox, "VolLabel", QString(), {42, 52, 180, 16});
    VolLabel->setFont(formFont(12, true));
    auto *FNumLabel1 = makeControl<QLabel>(SourceGroupBox, "FNumLabel1", QStringLiteral("0個の対象ファイル"),
                                           {230, 52, 187, 16});

    auto *TransferGroupBox = makeGroup(
        this, "TransferGroupBox", QStringLiteral("転送先フォルダ指定 (各拡張子ごと)"), {440, 4, 425, 84});
    auto *BitBtn5 = makeControl<QPushButton>(TransferGroupBox, "BitBtn5", QStringLiteral("転送先フォルダ..."),
                                             {8, 18, 110, 25});
    auto *BitBtn7 =
        makeControl<QPushButton>(TransferGroupBox, "BitBtn7", QStringLiteral("ﾏｲﾄﾞｷｭﾒﾝﾄ"), {124, 18, 80, 25});
    auto *BitBtn8 =
        makeControl<QPushButton>(TransferGroupBox, "BitBtn8", QStringLiteral("ﾏｲﾋﾟｸﾁｬ"), {208, 18, 80, 25});
    auto *BitBtn9 =
        makeControl<QPushButton>(TransferGroupBox, "BitBtn9", QStringLiteral("ﾏｲﾋﾞﾃﾞｵ"), {292, 18, 80, 25});
    auto *TransferEdit1 = makeControl<QLineEdit>(TransferGroupBox, "TransferEdit1", {8, 50, 340, 21});
    makeReadOnlyGrey(TransferEdit1);
    setTypingLimit(TransferEdit1, 255);
    auto *SpeedButton1 =
        makeControl<QToolButton>(TransferGroupBox, "SpeedButton1", QStringLiteral("↓"), {354, 48, 30, 25});
    SpeedButton1->setToolTip(QStringLiteral("転送先フォルダを選択された拡張子にセット"));
    auto *SpeedButton2 =
        makeControl<QToolButton>(TransferGroupBox, "SpeedButton2", QStringLiteral("⇊"), {388, 48, 30, 25});
    SpeedButton2->setToolTip(QStringLiteral("転送先フォルダを全てセット"));
    // Speed buttons take no focus: they are not in the tab order.
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    SpeedButton2->setFocusPolicy(Qt::NoFocus);

    auto *DirNameGroupBox =
        makeGroup(this, "DirNameGroupBox", QStringLiteral("作成フォルダ名設定"), {8, 92, 425, 150});
    auto *DirCreateCheckBox =
        makeControl<QCheckBox>(DirNameGroupBox, "DirCreateCheckBox",
                               QStringLiteral("転送先フォルダ内に更にフォルダ作成"), {8, 18, 300, 18});
    auto *PreDirNameEdit = makeControl<QLineEdit>(DirNameGroupBox, "PreDirNameEdit", {8, 42, 90, 21});
    auto *PreDirCheckBox = makeControl<QCheckBox>(DirNameGroupBox, "PreDirCheckBox",
                                                  QStringLiteral("←前文字列"), {102, 44, 80, 18});
    auto *DirNameEdit = makeControl<QLineEdit>(DirNameGroupBox, "DirNameEdit", {8, 68, 250, 21});
    setTypingLimit(DirNameEdit, 200);
    DirNameEdit->setText(QStringLiteral("新しいフォルダ"));
    auto *BitBtn14 =
        makeControl<QPushButton>(DirNameGroupBox, "BitBtn14", QStringLiteral("形式設定"), {262, 66, 70, 25});
    auto *SufDirCheckBox = makeControl<QCheckBox>(DirNameGroupBox, "SufDirCheckBox",
                                                  QStringLiteral("後文字列→"), {236, 44, 86, 18});
    SufDirCheckBox->setLayoutDirection(Qt::RightToLeft);
    auto *SufDirNameEdit = makeControl<QLineEdit>(DirNameGroupBox, "SufDirNameEdit", {326, 42, 90, 21});
    auto *Label1 = makePreviewLabel(DirNameGroupBox, "Label1", {8, 94, 408, 30});
    auto *PANA101CheckBox = makeControl<QCheckBox>(
        DirNameGroupBox, "PANA101CheckBox",
        QStringLiteral("更に、DCIM内のカメラ固有フォルダを作成する (例: PANA101等)"), {8, 128, 408, 18});
    for (QWidget *w :
         std::initializer_list<QWidget *>{PreDirNameEdit, PreDirCheckBox, DirNameEdit, BitBtn14,
                                          SufDirCheckBox, SufDirNameEdit, Label1, PANA101CheckBox})
        w->setEnabled(false);

    auto *FileNameGroupBox =
        makeGroup(this, "FileNameGroupBox", QStringLiteral("転送先ファイル名変更"), {8, 246, 425, 128});
    auto *RenameCheckBox = makeControl<QCheckBox>(
        FileNameGroupBox, "RenameCheckBox", QStringLiteral("ファイル名を変更して転送する"), {8, 18, 300, 18});
    auto *PreFileNameEdit = makeControl<QLineEdit>(FileNameGroupBox, "PreFileNameEdit", {8, 42, 90, 21});
    auto *PreFileCheckBox = makeControl<QCheckBox>(FileNameGroupBox, "PreFileCheckBox",
                                                   QStringLiteral("←前文字列"), {102, 44, 80, 18});
    auto *FileNameEdit = makeControl<QLineEdit>(FileNameGroupBox, "FileNameEdit", {8, 68, 250, 21});
    setTypingLimit(FileNameEdit, 200);
    FileNameEdit->setText(QStringLiteral("[元のファイル名]"));
    auto *BitBtn12 =
        makeControl<QPushButton>(FileNameGroupBox, "BitBtn12", QStringLiteral("形式設定"), {262, 66, 70, 25});
    auto *SufFileCheckBox = makeControl<QCheckBox>(FileNameGroupBox, "SufFileCheckBox",
                                                   QStringLiteral("後文字列→"), {236, 44, 86, 18});
    SufFileCheckBox->setLayoutDirection(Qt::RightToLeft);
    auto *SufFileNameEdit = makeControl<QLineEdit>(FileNameGroupBox, "SufFileNameEdit", {326, 42, 90, 21});
    auto *Label13 = makePreviewLabel(FileNameGroupBox, "Label13", {8, 94, 408, 30});
    for (QWidget *w : std::initializer_list<QWidget *>{PreFileNameEdit, PreFileCheckBox, FileNameEdit,
                                                       BitBtn12, SufFileCheckBox, SufFileNameEdit, Label13})
        w->setEnabled(false);

    auto *ExtListEditor = makeControl<QTableWidget>(this, "ExtListEditor", {440, 92, 425, 150});
    setUpExtensionTable(ExtListEditor, 42, 377);
    auto *BitBtn11 = makeControl<QPushButton>(this, "BitBtn11", QStringLiteral("拡張子ごと振り分け設定..."),
                                              {440, 246, 200, 25});

    auto *OptionGroupBox =
        makeGroup(this, "OptionGroupBox", QStringLiteral("転送オプション"), {440, 274, 425, 186});
    auto *DelCheckBox = makeControl<QCheckBox>(
        OptionGroupBox, "DelCheckBox", QStringLiteral("転送後、元ファイルを削除(移動)"), {8, 18, 400, 18});
    auto *UwagakiCheckBox =
        makeControl<QCheckBox>(OptionGroupBox, "UwagakiCheckBox",
                               QStringLiteral("転送先に同名ファイルがあっても上書き"), {8, 38, 400, 18});
    auto *RenbanResetCheckBox =
        makeControl<QCheckBox>(OptionGroupBox, "RenbanResetCheckBox",
                               QStringLiteral("転送終了後、連番を１にリセットする"), {8, 58, 400, 18});
    auto *ExecGroupBox = makeGroup(OptionGroupBox, "ExecGroupBox",
                                   QStringLiteral("転送後開くアプリケーション"), {8, 80, 409, 100});
    auto *ExecCheckBox =
        makeControl<QCheckBox>(ExecGroupBox, "ExecCheckBox", QStringLiteral("有効にする"), {8, 18, 90, 18});
    auto *ParamRadioGroup = new RadioGroup(QStringLiteral("パラメータ(フォルダ)"),
                                           {QStringLiteral("付与"), QStringLiteral("無し")}, 2, ExecGroupBox);
    ParamRadioGroup->setObjectName(QStringLiteral("ParamRadioGroup"));
    ParamRadioGroup->setGeometry(104, 12, 150, 40);
    ParamRadioGroup->setItemIndex(0);
    auto *ExecBitBtn =
        makeControl<QPushButton>(ExecGroupBox, "ExecBitBtn", QStringLiteral("アプリ選択"), {260, 16, 70, 25});
    auto *ExecTestButton = makeControl<QPushButton>(ExecGroupBox, "ExecTestButton",
                                                    QStringLiteral("実行テスト"), {334, 16, 68, 25});
    auto *ExecCloseCheckBox = makeControl<QCheckBox>(ExecGroupBox, "ExecCloseCheckBox",
                                                     QStringLiteral("実行後Vantixを終了"), {8, 54, 200, 18});
    auto *ExecEdit = makeControl<QLineEdit>(ExecGroupBox, "ExecEdit", {8, 74, 394, 21});
    ExecEdit->setReadOnly(true);
    for (QWidget *w : std::initializer_list<QWidget *>{ParamRadioGroup, ExecBitBtn, ExecTestButton,
                                                       ExecCloseCheckBox, ExecEdit})
        w->setEnabled(false);

    auto *Button6 =
        makeControl<QPushButton>(this, "Button6", QStringLiteral("自動再生に登録..."), {440, 466, 130, 25});
    auto *Button7 =
        makeControl<QPushButton>(this, "Button7", QStringLiteral("自動再生から解除..."), {574, 466, 130, 25});
    Button6->setToolTip(QStringLiteral("Windowsの自動再生プログラムに登録します"));
    Button7->setToolTip(QStringLiteral("Windowsの自動再生プログラムから解除します"));
    auto *BitBtn10 =
        makeControl<QPushButton>(this, "BitBtn10", QStringLiteral("VTX Version"), {770, 466, 95, 25});

    auto *StartTransferBitBtn = makeControl<QPushButton>(
        this, "StartTransferBitBtn", QStringLiteral("転送開始(&S)..."), {440, 512, 110, 30});
    auto *CancelTransferBitBtn = makeControl<QPushButton>(this, "CancelTransferBitBtn",
                                                          QStringLiteral("キャンセル"), {556, 512, 95, 30});
    auto *BitBtn1 =
        makeControl<QPushButton>(this, "BitBtn1", QStringLiteral("対象確認..."), {657, 512, 95, 30});
    BitBtn1->setToolTip(QStringLiteral("転送ファイルを確認します。ファイル数が多いと時間が掛かります"));
    auto *MainFormCloseBitBtn = makeControl<QPushButton>(this, "MainFormCloseBitBtn",
                                                         QStringLiteral("閉じる(&C)"), {758, 512, 107, 30});

    auto *fileLabel =
        makeControl<QLabel>(this, "FileCaptionLabel", QStringLiteral("File:"), {8, 384, 30, 16});
    Q_UNUSED(fileLabel);
    auto *ProgressBar1 = makeControl<QProgressBar>(this, "ProgressBar1", {40, 382, 393, 18});
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    auto *allLabel = makeControl<QLabel>(this, "AllCaptionLabel", QStringLiteral("All:"), {8, 408, 30, 16});
    Q_UNUSED(allLabel);
    auto *AllGauge = makeControl<QProgressBar>(this, "AllGauge", {40, 406, 393, 18});
    AllGauge->setRange(0, 100);
    AllGauge->setValue(0);
    AllGauge->setStyleSheet(QStringLiteral("QProgressBar::chunk { background-color: navy; }"));
    auto *FNameLabel = makeControl<QLabel>(this, "FNameLabel", QString(), {8, 432, 425, 20});
    FNameLabel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    FNameLabel->setAlignment(Qt::AlignCenter);
    auto *WorkPLabel = makeControl<QLabel>(this, "WorkPLabel", QStringLiteral("0"), {8, 460, 80, 20});
    WorkPLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto *Label4 = makeControl<QLabel>(this, "Label4", QStringLiteral("／"), {92, 460, 16, 20});
    auto *FNumLabel = makeControl<QLabel>(this, "FNumLabel", QStringLiteral("0"), {112, 460, 80, 20});
    for (QLabel *l : {WorkPLabel, Label4, FNumLabel})
        l->setFont(formFont(16));
    auto *StatusLabel = makeControl<QLabel>(this, "StatusLabel", QString(), {8, 490, 425, 18});
    StatusLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    // Under the 549-pixel client height: present, never reachable.
    auto *Button13 = makeControl<QPushButton>(this, "Button13", QStringLiteral("ﾎﾟｰﾀﾌﾞﾙﾃﾞﾊﾞｲｽ転送開始"),
                                              {8, 560, 150, 25});
    auto *Button3 = makeControl<QPushButton>(this, "Button3", QStringLiteral("Exif"), {164, 560, 60, 25});
    auto *Button11 = makeControl<QPushButton>(this, "Button11", QStringLiteral("Exif2"), {228, 560, 60, 25});
    auto *Button12 = makeControl<QPushButton>(this, "Button12", QStringLiteral("Exif3"), {292, 560, 60, 25});
    auto *Button4 =
        makeControl<QPushButton>(this, "Button4", QStringLiteral("ドライブ判別"), {356, 560, 90, 25});
    auto *Edit1 = makeControl<QLineEdit>(this, "Edit1", {452, 560, 120, 21});
    auto *Memo1 = makeControl<QPlainTextEdit>(this, "Memo1", {578, 560, 280, 80});
    for (QWidget *w :
         std::initializer_list<QWidget *>{Button13, Button3, Button11, Button12, Button4, Edit1, Memo1})
        makeUnreachable(w);
    ProgressBar1->setFocusPolicy(Qt::NoFocus);

    auto *Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(5000);

    connect(MainFormCloseBitBtn, &QPushButton::clicked, this, &QWidget::close);

    m_source = {this,    BitBtn4, SourceEdit1,          VolLabel, FNumLabel1, FNumLabel,
                BitBtn1, Button4, CancelTransferBitBtn, Timer1};
    m_destination = {TransferEdit1, BitBtn5,      BitBtn7,       BitBtn8, BitBtn9,
                     SpeedButton1,  SpeedButton2, ExtListEditor, BitBtn11};
    m_naming = {this,
                DirCreateCheckBox,
                PreDirNameEdit,
                PreDirCheckBox,
                DirNameEdit,
                BitBtn14,
                SufDirCheckBox,
                SufDirNameEdit,
                Label1,
                PANA101CheckBox,
                RenameCheckBox,
                PreFileNameEdit,
                PreFileCheckBox,
                FileNameEdit,
                BitBtn12,
                SufFileCheckBox,
                SufFileNameEdit,
                Label13,
                RenbanResetCheckBox};
    m_afterTransfer = {this,           ExecCheckBox,      ParamRadioGroup, ExecBitBtn,
                       ExecTestButton, ExecCloseCheckBox, ExecEdit};
    m_transfer = {this,     StartTransferBitBtn, CancelTransferBitBtn, ProgressBar1,
                  AllGauge, FNameLabel,          WorkPLabel,           StatusLabel};
    m_system = {this, Button6, Button7, Button13, Button3, Button11, Button12, Memo1};
    m_options = {DelCheckBox, UwagakiCheckBox, BitBtn10};
}

void TMainForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        Q_EMIT firstShown();
    }
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    if (closeQuery && !closeQuery()) {
        event->ignore();
        return;
    }
    event->accept();
}

} // namespace vantora
