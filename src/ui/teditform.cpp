#include "ui/teditform.h"

#include "ui/formkit.h"
#include "ui/keyfilter.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>

#include <limits>

namespace vantora {

RenbanSpinEdit::RenbanSpinEdit(QWidget *parent) : QSpinBox(parent)
{
    setRange(1, std::numeric_limits<qint32>::max());
    setValue(1);
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
}

QString RenbanSpinEdit::text() const
{
    return lineEdit()->text();
}

void RenbanSpinEdit::setValueAndText(int value)
{
    setValue(value);
    lineEdit()->setText(textFromValue(this->value()));
}

QValidator::State RenbanSpinEdit::validate(QString &input, int &pos) const
{
    Q_UNUSED(pos);
    if (input.isEmpty())
        return QValidator::Acceptable;
    // Up to 18 digits always fit a 64-bit number, so fixup can clamp any typed value.
    static const QRegularExpression number(QStringLiteral("^-?[0-9]{0,18}$"));
    if (!number.match(input).hasMatch())
        return QValidator::Invalid;
    bool ok = false;
    const qint64 n = input.toLongLong(&ok);
    return ok && n >= minimum() && n <= maximum() ? QValidator::Acceptable : QValidator::Intermediate;
}

int RenbanSpinEdit::valueFromText(const QString &text) const
{
    bool ok = false;
    const qint64 n = text.toLongLong(&ok);
    if (!ok)
        return 1;
    return static_cast<int>(qBound(qint64(minimum()), n, qint64(maximum())));
}

void RenbanSpinEdit::fixup(QString &input) const
{
    input = textFromValue(valueFromText(input));
}

void RenbanSpinEdit::keyPressEvent(QKeyEvent *event)
{
    static const QSet<int> modifierKeys{Qt::Key_Shift, Qt::Key_Control, Qt::Key_Alt, Qt::Key_Meta,
                                        Qt::Key_AltGr};
    if (!modifierKeys.contains(event->key())) {
        // The text read as a whole number (an empty field or a lone "-" as 1), written back before the key
        // acts; a rewritten text leaves the caret at its end.
        bool ok = false;
        const qint64 n = text().toLongLong(&ok);
        const QString rewritten = QString::number(ok ? n : 1);
        if (rewritten != text())
            lineEdit()->setText(rewritten);
    }
    QSpinBox::keyPressEvent(event);
}

TEditForm::TEditForm(QWidget *parent) : QDialog(parent)
{
    setUpForm(this, "TEditForm", QStringLiteral("ファイル名の設定"), {457, 292},
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);

    Label1 = makePreviewLabel(this, "Label1", {8, 8, 441, 36});
    NameEdit = makeControl<QLineEdit>(this, "NameEdit", {8, 52, 441, 21});
    setTypingLimit(NameEdit, 200);
    NameEdit->setText(QStringLiteral("[元のファイル名]"));

    OrgBitBtn =
        makeControl<QPushButton>(this, "OrgBitBtn", QStringLiteral("元のファイル名"), {8, 80, 88, 25});
    BitBtn1 = makeControl<QPushButton>(this, "BitBtn1", QStringLiteral("連番 [RENBAN]"), {98, 80, 94, 25});
    DateBitBtn1 = makeControl<QPushButton>(this, "DateBitBtn1", QStringLiteral("転送日 [yyyymmdd]"),
                                           {194, 80, 124, 25});
    DateBitBtn2 = makeControl<QPushButton>(this, "DateBitBtn2", QStringLiteral("撮影日 [YYYYMMDD]"),
                                           {320, 80, 129, 25});
    BitBtn2 = makeControl<QPushButton>(this, "BitBtn2", QStringLiteral("任意の日付..."), {8, 110, 104, 25});
    // Clicking an insert button leaves the caret and the selection in the template edit.
    for (QPushButton *b : {OrgBitBtn, BitBtn1, DateBitBtn1, DateBitBtn2, BitBtn2}) {
        b->setFocusPolicy(Qt::TabFocus);
        b->setAutoDefault(false);
    }

    sDayEditLabel =
        makeControl<QLabel>(this, "sDayEditLabel", QStringLiteral("日付区切り"), {124, 114, 64, 16});
    sDayEditLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    sDayEdit = makeControl<QLineEdit>(this, "sDayEdit", {192, 112, 56, 21});
    setTypingLimit(sDayEdit, 4);
    sDayEdit->setFont(formFont(12, true));
    sDayEditLabel->setBuddy(sDayEdit);

    Label4 = makeControl<QLabel>(
        this, "Label4", QStringLiteral("※元のファイル名、連番のどちらかは必須です (ファイル名重複対策)"),
        {8, 142, 441, 16});

    Label2 = makeControl<QLabel>(this, "Label2", QStringLiteral("フォルダの連番"), {8, 170, 90, 16});
    DirRenbanSpinEdit = makeControl<RenbanSpinEdit>(this, "DirRenbanSpinEdit", {100, 166, 110, 22});
    Button1 = makeControl<QPushButton>(this, "Button1", QStringLiteral("←１にリセット"), {214, 165, 100, 25});
    Label5 = makeControl<QLabel>(this, "Label5", QStringLiteral("ファイルの連番"), {8, 198, 90, 16});
    FileRenbanSpinEdit = makeControl<RenbanSpinEdit>(this, "FileRenbanSpinEdit", {100, 194, 110, 22});
    Button2 = makeControl<QPushButton>(this, "Button2", QStringLiteral("←１にリセット"), {214, 193, 100, 25});
    Label3 = makeControl<QLabel>(this, "Label3", QStringLiteral("(max. 2,147,483,647)"), {100, 222, 160, 16});
    for (QPushButton *b : {Button1, Button2})
        b->setAutoDefault(false);

    OKBitBtn1 = makeControl<QPushButton>(this, "OKBitBtn1", QStringLiteral("OK"), {280, 254, 80, 30});
    OKBitBtn1->setDefault(true);
    NGBitBtn1 = makeControl<QPushButton>(this, "NGBitBtn1", QStringLiteral("キャンセル"), {369, 254, 80, 30});
    NGBitBtn1->setAutoDefault(false);

    setTabOrder(NameEdit, OrgBitBtn);
    setTabOrder(OrgBitBtn, BitBtn1);
    setTabOrder(BitBtn1, DateBitBtn1);
    setTabOrder(DateBitBtn1, DateBitBtn2);
    setTabOrder(DateBitBtn2, BitBtn2);
    setTabOrder(BitBtn2, sDayEdit);
    setTabOrder(sDayEdit, DirRenbanSpinEdit);
    setTabOrder(DirRenbanSpinEdit, Button1);
    setTabOrder(Button1, FileRenbanSpinEdit);
    setTabOrder(FileRenbanSpinEdit, Button2);
    setTabOrder(Button2, OKBitBtn1);
    setTabOrder(OKBitBtn1, NGBitBtn1);
}

} // namespace vantora
