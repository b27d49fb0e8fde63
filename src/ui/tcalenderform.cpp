#include "ui/tcalenderform.h"

#include "ui/formkit.h"

#include <QCalendarWidget>
#include <QDate>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>

namespace vantora {

TCalenderForm::TCalenderForm(QWidget *parent) : QDialog(parent)
{
    setUpForm(this, "TCalenderForm", QStringLiteral("日付を選択"), {352, 178},
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);

    const QDate today = QDate::currentDate();

    YSpinEdit = makeControl<QSpinBox>(this, "YSpinEdit", {8, 8, 76, 28});
    YSpinEdit->setRange(1900, 2999);
    YSpinEdit->setFont(formFont(16));
    Label1 = makeControl<QLabel>(this, "Label1", QStringLiteral("年"), {88, 12, 18, 20});
    MSpinEdit = makeControl<QSpinBox>(this, "MSpinEdit", {110, 8, 52, 28});
    MSpinEdit->setRange(1, 12);
    MSpinEdit->setFont(formFont(16));
    Label2 = makeControl<QLabel>(this, "Label2", QStringLiteral("月"), {166, 12, 18, 20});
    for (QLabel *l : {Label1, Label2})
        l->setFont(formFont(16));
    Button1 = makeControl<QPushButton>(this, "Button1", QStringLiteral("本日"), {190, 8, 66, 28});
    Button1->setAutoDefault(false);

    Calendar1 = makeControl<QCalendarWidget>(this, "Calendar1", {8, 42, 248, 128});
    Calendar1->setLocale(QLocale(QLocale::Japanese, QLocale::Japan));
    Calendar1->setFirstDayOfWeek(Qt::Sunday);
    Calendar1->setNavigationBarVisible(false);
    Calendar1->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    Calendar1->setHorizontalHeaderFormat(QCalendarWidget::ShortDayNames);
    Calendar1->setDateRange(QDate(1900, 1, 1), QDate(2999, 12, 31));
    Calendar1->setGridVisible(true);

    BitBtn1 = makeControl<QPushButton>(this, "BitBtn1", QStringLiteral("OK"), {266, 100, 78, 30});
    BitBtn1->setDefault(true);
    BitBtn2 = makeControl<QPushButton>(this, "BitBtn2", QStringLiteral("キャンセル"), {266, 140, 78, 30});
    BitBtn2->setAutoDefault(false);

    YSpinEdit->setValue(today.year());
    MSpinEdit->setValue(today.month());
    Calendar1->setSelectedDate(today);
}

} // namespace vantora
