#pragma once

#include <QDialog>

class QCalendarWidget;
class QLabel;
class QPushButton;
class QSpinBox;

namespace vantora {

// The date picker's layout: year and month spin edits over a Sunday-first month calendar, "本日", OK and
// Cancel. It opens on today.
class TCalenderForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TCalenderForm)

public:
    explicit TCalenderForm(QWidget *parent = nullptr);

    QSpinBox *YSpinEdit;
    QLabel *Label1;
    QSpinBox *MSpinEdit;
    QLabel *Label2;
    QPushButton *Button1;
    QCalendarWidget *Calendar1;
    QPushButton *BitBtn1;
    QPushButton *BitBtn2;
};

} // namespace vantora
