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

#include <algorithm>
#include <vector>

namespace vantora {

namespace {

constexpr int BoxesPerLine = 7;
constexpr const char *groupLabelNames[] = {"ImageLabel", "VideoLabel", "AudioLabel"};
static_assert(std::size(groupLabelNames) == ExtensionGroups.size());

// A group's types in the order their boxes stand, which is also their tab order.
std::vector<int> typesOnScreen(ExtensionGroup group)
{
    std::vector<int> types;
    for (int t = 0; t < ExtensionTypeCount; ++t) {
        if (ExtensionCatalogue()[t].group == group)
            types.push_back(t);
    }
    std::sort(types.begin(), types.end(),
              [](int a, int b) { return ExtensionCatalogue()[a].place < ExtensionCatalogue()[b].place; });
    return types;
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
    setUpForm(this, "TExtForm", QStringLiteral("拡張子ごと振り分け設定"), {457, 682},
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                  Qt::MSWindowsFixedSizeDialogHint);

    TypeGroupBox =
        makeGroup(this, "TypeGroupBox", QStringLiteral("転送するファイルの種類"), {8, 8, 441, 240});
    AllFileCheckBox = makeControl<QCheckBox>(TypeGroupBox, "AllFileCheckBox", QStringLiteral("＊.＊[全て]"),
                                             {12, 20, 140, 18});
    AllFileCheckBox->setFont(formFont(12, true));
    AllFileCheckBox->setChecked(true);

    // Each group: its label, then its boxes line by line, seven a line.
    int y = 44;
    for (std::size_t g = 0; g < ExtensionGroups.size(); ++g) {
        const ExtensionGroup group = ExtensionGroups[g];
        groupLabels[g] = makeControl<QLabel>(TypeGroupBox, groupLabelNames[g], extensionGroupCaption(group),
                                             {12, y, 120, 14});
        int lines = 0;
        for (int t : typesOnScreen(group)) {
            const ExtensionType &type = ExtensionCatalogue()[t];
            const int line = type.place / BoxesPerLine;
            const int column = type.place % BoxesPerLine;
            auto *box =
                makeControl<QCheckBox>(TypeGroupBox, type.checkBoxName().toLatin1().constData(),
                                       type.codeText(), {12 + column * 60, y + 16 + line * 20, 58, 18});
            box->setEnabled(false);
            typeCheckBoxes[t] = box;
            lines = std::max(lines, line + 1);
        }
        y += 20 + lines * 20;
    }

    ExtLabel =
        makeControl<QLabel>(TypeGroupBox, "ExtLabel", QStringLiteral("その他拡張子指定"), {12, 190, 160, 14});
    ExtEdit1 = makeExtEdit(TypeGroupBox, "ExtEdit1", 12);
    ExtEdit2 = makeExtEdit(TypeGroupBox, "ExtEdit2", 80);
    WildcardLabel = makeControl<QLabel>(TypeGroupBox, "WildcardLabel",
                                        QStringLiteral("(* ? ワイルドカード指定可能)"), {150, 212, 220, 14});

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
