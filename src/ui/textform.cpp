#include "ui/textform.h"

#include "ui/formkit.h"
#include "ui/keyfilter.h"
#include "ui/tfolderdialog.h"
#include "ui/tmainform.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>

namespace vantora {

namespace {

QCheckBox *makeTypeBox(QWidget *parent, const char *code, int column, int y)
{
    const QByteArray name = QByteArray(code) + "CheckBox";
    auto *box =
        makeControl<QCheckBox>(parent, name.constData(), QLatin1String(code), {12 + column * 60, y, 58, 18});
    box->setEnabled(false);
    return box;
}

QLineEdit *makeExtEdit(QWidget *parent, const char *name, int x)
{
    auto *edit = makeControl<QLineEdit>(parent, name, {x, 208, 60, 21});
    edit->setMaxLength(5);
    edit->setEnabled(false);
    return edit;
}

} // namespace

TExtForm::TExtForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TExtForm"));
    setWindowTitle(QStringLiteral("拡張子ごと振り分け設定"));
    setFont(formFont());
    setFixedSize(457, 682);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);

    TypeGroupBox =
        makeGroup(this, "TypeGroupBox", QStringLiteral("転送するファイルの種類"), {8, 8, 441, 240});
    AllFileCheckBox = makeControl<QCheckBox>(TypeGroupBox, "AllFileCheckBox", QStringLiteral("＊.＊[全て]"),
                                             {12, 20, 140, 18});
    AllFileCheckBox->setFont(formFont(12, true));
    AllFileCheckBox->setChecked(true);

    ImageLabel =
        makeControl<QLabel>(TypeGroupBox, "ImageLabel", QStringLiteral("画像ファイル"), {12, 44, 120, 14});
    JPGCheckBox = makeTypeBox(TypeGroupBox, "JPG", 0, 60);
    TIFCheckBox = makeTypeBox(TypeGroupBox, "TIF", 1, 60);
    PNGCheckBox = makeTypeBox(TypeGroupBox, "PNG", 2, 60);
    GIFCheckBox = makeTypeBox(TypeGroupBox, "GIF", 3, 60);
    BMPCheckBox = makeTypeBox(TypeGroupBox, "BMP", 4, 60);
    PSDCheckBox = makeTypeBox(TypeGroupBox, "PSD", 5, 60);
    DNGCheckBox = makeTypeBox(TypeGroupBox, "DNG", 6, 60);
    NEFCheckBox = makeTypeBox(TypeGroupBox, "NEF", 0, 80);
    CR2CheckBox = makeTypeBox(TypeGroupBox, "CR2", 1, 80);
    PEFCheckBox = makeTypeBox(TypeGroupBox, "PEF", 2, 80);
    ARWCheckBox = makeTypeBox(TypeGroupBox, "ARW", 3, 80);
    ORFCheckBox = makeTypeBox(TypeGroupBox, "ORF", 4, 80);
    RW2CheckBox = makeTypeBox(TypeGroupBox, "RW2", 5, 80);
    RAFCheckBox = makeTypeBox(TypeGroupBox, "RAF", 6, 80);

    VideoLabel =
        makeControl<QLabel>(TypeGroupBox, "VideoLabel", QStringLiteral("動画ファイル"), {12, 104, 120, 14});
    MOVCheckBox = makeTypeBox(TypeGroupBox, "MOV", 0, 120);
    MP4CheckBox = makeTypeBox(TypeGroupBox, "MP4", 1, 120);
    AVICheckBox = makeTypeBox(TypeGroupBox, "AVI", 2, 120);
    MPGCheckBox = makeTypeBox(TypeGroupBox, "MPG", 3, 120);
    WMVCheckBox = makeTypeBox(TypeGroupBox, "WMV", 4, 120);
    MKVCheckBox = makeTypeBox(TypeGroupBox, "MKV", 5, 120);
    FLVCheckBox = makeTypeBox(TypeGroupBox, "FLV", 6, 120);

    AudioLabel =
        makeControl<QLabel>(TypeGroupBox, "AudioLabel", QStringLiteral("音声ファイル"), {12, 144, 120, 14});
    WAVCheckBox = makeTypeBox(TypeGroupBox, "WAV", 0, 160);
    MP3CheckBox = makeTypeBox(TypeGroupBox, "MP3", 1, 160);
    AACCheckBox = makeTypeBox(TypeGroupBox, "AAC", 2, 160);
    WMACheckBox = makeTypeBox(TypeGroupBox, "WMA", 3, 160);
    M4ACheckBox = makeTypeBox(TypeGroupBox, "M4A", 4, 160);
    MIDCheckBox = makeTypeBox(TypeGroupBox, "MID", 5, 160);
    FLACCheckBox = makeTypeBox(TypeGroupBox, "FLAC", 6, 160);

    ExtLabel =
        makeControl<QLabel>(TypeGroupBox, "ExtLabel", QStringLiteral("その他拡張子指定"), {12, 190, 160, 14});
    ExtEdit1 = makeExtEdit(TypeGroupBox, "ExtEdit1", 12);
    ExtEdit2 = makeExtEdit(TypeGroupBox, "ExtEdit2", 80);
    WildcardLabel = makeControl<QLabel>(TypeGroupBox, "WildcardLabel",
                                        QStringLiteral("(* ? ワイルドカード指定可能)"), {150, 212, 220, 14});

    typeCheckBoxes = {JPGCheckBox, TIFCheckBox, PNGCheckBox,  GIFCheckBox, BMPCheckBox, PSDCheckBox,
                      DNGCheckBox, NEFCheckBox, CR2CheckBox,  PEFCheckBox, ARWCheckBox, ORFCheckBox,
                      RW2CheckBox, RAFCheckBox, MOVCheckBox,  MP4CheckBox, AVICheckBox, MPGCheckBox,
                      WMVCheckBox, MKVCheckBox, FLVCheckBox,  WAVCheckBox, MP3CheckBox, AACCheckBox,
                      WMACheckBox, M4ACheckBox, FLACCheckBox, MIDCheckBox};

    TransferGroupBox =
        makeGroup(this, "TransferGroupBox", QStringLiteral("転送先フォルダ指定"), {8, 254, 441, 112});
    TransferEdit1 = makeControl<QLineEdit>(TransferGroupBox, "TransferEdit1", {8, 20, 425, 21});
    makeReadOnlyGrey(TransferEdit1);
    setTypingLimit(TransferEdit1, 255);
    BitBtn5 = makeControl<QPushButton>(TransferGroupBox, "BitBtn5", QStringLiteral("転送先フォルダ..."),
                                       {8, 48, 110, 25});
    BitBtn7 =
        makeControl<QPushButton>(TransferGroupBox, "BitBtn7", QStringLiteral("ﾏｲﾄﾞｷｭﾒﾝﾄ"), {124, 48, 90, 25});
    BitBtn8 =
        makeControl<QPushButton>(TransferGroupBox, "BitBtn8", QStringLiteral("MyPicture"), {220, 48, 90, 25});
    BitBtn9 =
        makeControl<QPushButton>(TransferGroupBox, "BitBtn9", QStringLiteral("MyVideo"), {316, 48, 90, 25});
    BitBtn2 = makeControl<QPushButton>(
        TransferGroupBox, "BitBtn2", QStringLiteral("転送先フォルダを拡張子ごとにセット"), {8, 80, 250, 25});
    BitBtn3 = makeControl<QPushButton>(TransferGroupBox, "BitBtn3", QStringLiteral("全てセット"),
                                       {264, 80, 120, 25});

    ExtListEditor = makeControl<QTableWidget>(this, "ExtListEditor", {8, 372, 441, 176});
    setUpExtensionTable(ExtListEditor, 41, 394);

    SourceGroupBox = makeGroup(this, "SourceGroupBox", QStringLiteral("転送元フォルダ"), {8, 554, 441, 70});
    Label2 = makeControl<QLabel>(SourceGroupBox, "Label2", QString(), {8, 20, 425, 16});
    FNumLabel1 = makeControl<QLabel>(SourceGroupBox, "FNumLabel1", QStringLiteral("0個の対象ファイル"),
                                     {8, 44, 300, 16});

    BitBtn1 = makeControl<QPushButton>(this, "BitBtn1", QStringLiteral("OK"), {8, 638, 100, 32});
    BitBtn1->setDefault(true);
    BitBtn4 = makeControl<QPushButton>(this, "BitBtn4", QStringLiteral("対象計数"), {232, 638, 100, 32});
    BitBtn6 =
        makeControl<QPushButton>(this, "BitBtn6", QStringLiteral("対象ファイル確認"), {338, 638, 111, 32});
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

    FolderDialog1 = new TFolderDialog(this);
    FolderDialog1->setObjectName(QStringLiteral("FolderDialog1"));
}

void TExtForm::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        Q_EMIT aboutToShow();
    QDialog::showEvent(event);
}

void TExtForm::done(int result)
{
    Q_EMIT closing();
    QDialog::done(result);
}

} // namespace vantora
