#include "naming/widgets/calenderformcontroller.h"

#include "ui/tcalenderform.h"

#include <QCalendarWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

namespace vantora {

CalenderFormController::CalenderFormController(TCalenderForm *form, QObject *parent)
    : QObject(parent), m_form(form)
{
    connect(m_form->YSpinEdit, &QSpinBox::valueChanged, this, &CalenderFormController::YSpinEditChange);
    connect(m_form->MSpinEdit, &QSpinBox::valueChanged, this, &CalenderFormController::MSpinEditChange);
    connect(m_form->Button1, &QPushButton::clicked, this, &CalenderFormController::Button1Click);
    // A click on a day of the neighbouring month (or the arrow keys) moves the date; the spin edits follow.
    connect(m_form->Calendar1, &QCalendarWidget::selectionChanged, this,
            &CalenderFormController::followCalendar);
    connect(m_form->BitBtn1, &QPushButton::clicked, m_form, &QDialog::accept);
    connect(m_form->BitBtn2, &QPushButton::clicked, m_form, &QDialog::reject);
}

QDate CalenderFormController::pick(QWidget *over)
{
    if (over)
        m_form->move(over->geometry().center() - m_form->rect().center());
    if (m_form->exec() != QDialog::Accepted)
        return QDate();
    return pickedDate();
}

QDate CalenderFormController::pickedDate() const
{
    return m_form->Calendar1->selectedDate();
}

void CalenderFormController::YSpinEditChange()
{
    showMonth(m_form->YSpinEdit->value(), m_form->MSpinEdit->value());
}

void CalenderFormController::MSpinEditChange()
{
    showMonth(m_form->YSpinEdit->value(), m_form->MSpinEdit->value());
}

void CalenderFormController::Button1Click()
{
    const QDate today = m_today();
    m_form->YSpinEdit->setValue(today.year());
    m_form->MSpinEdit->setValue(today.month());
    m_form->Calendar1->setSelectedDate(today);
}

void CalenderFormController::showMonth(int year, int month)
{
    QCalendarWidget *calendar = m_form->Calendar1;
    const QDate current = calendar->selectedDate();
    const int lastDay = QDate(year, month, 1).daysInMonth();
    const QDate date(year, month, qMin(current.isValid() ? current.day() : 1, lastDay));
    if (date != current)
        calendar->setSelectedDate(date);
    calendar->setCurrentPage(year, month);
}

void CalenderFormController::followCalendar()
{
    const QDate date = m_form->Calendar1->selectedDate();
    if (!date.isValid())
        return;
    // Both spin edits at once: one by one, the first would move the date through a wrong month.
    const QSignalBlocker year(m_form->YSpinEdit);
    const QSignalBlocker month(m_form->MSpinEdit);
    m_form->YSpinEdit->setValue(date.year());
    m_form->MSpinEdit->setValue(date.month());
    m_form->Calendar1->setCurrentPage(date.year(), date.month());
}

} // namespace vantora
