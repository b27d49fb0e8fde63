#pragma once

#include <QDialog>
#include <QSpinBox>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vantora {

// A running-number field: 1..2147483647 by the spin buttons; any whole number may be typed, an empty field
// reads as 1, and leaving the field brings a value outside the range to the nearest bound.
class RenbanSpinEdit final : public QSpinBox
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RenbanSpinEdit)

public:
    explicit RenbanSpinEdit(QWidget *parent = nullptr);

    // The text as typed, which may be empty or out of range until the field is left.
    QString text() const;
    bool isTextEmpty() const { return text().isEmpty(); }
    // Sets the value and rewrites the text from it (also when the value does not change).
    void setValueAndText(int value);

protected:
    QValidator::State validate(QString &input, int &pos) const override;
    int valueFromText(const QString &text) const override;
    void fixup(QString &input) const override;
    // Each key first rewrites the text from its value (an empty field becomes "1"), then acts.
    void keyPressEvent(QKeyEvent *event) override;
};

// The template dialog's layout: every control under its own name, in its design-time state.
class TEditForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TEditForm)

public:
    explicit TEditForm(QWidget *parent = nullptr);

    QLabel *Label1;
    QLineEdit *NameEdit;
    QPushButton *OrgBitBtn;
    QPushButton *BitBtn1;
    QPushButton *DateBitBtn1;
    QPushButton *DateBitBtn2;
    QPushButton *BitBtn2;
    QLabel *sDayEditLabel;
    QLineEdit *sDayEdit;
    QLabel *Label4;
    QLabel *Label2;
    RenbanSpinEdit *DirRenbanSpinEdit;
    QPushButton *Button1;
    QLabel *Label5;
    RenbanSpinEdit *FileRenbanSpinEdit;
    QPushButton *Button2;
    QLabel *Label3;
    QPushButton *OKBitBtn1;
    QPushButton *NGBitBtn1;
};

} // namespace vantora
