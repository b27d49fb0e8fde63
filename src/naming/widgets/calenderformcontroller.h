#pragma once

#include "naming/nametemplate.h"

#include <QDate>
#include <QObject>

namespace vantora {

class TCalenderForm;

// The date picker's behaviour: the year and month spin edits drive the calendar, "本日" jumps to today, and
// the date is always a valid one (a day beyond the new month's end becomes its last day).
class CalenderFormController final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CalenderFormController)

public:
    explicit CalenderFormController(TCalenderForm *form, QObject *parent = nullptr);

    TCalenderForm *form() const { return m_form; }
    void setTodayFunction(TodayFunction today) { m_today = std::move(today); }

    // Shows the picker modally, centred on `over` when given; the picked date on OK, an invalid date on
    // Cancel or the close box. The picker keeps the date left there for the next opening.
    QDate pick(QWidget *over = nullptr);
    QDate pickedDate() const;

    void YSpinEditChange();
    void MSpinEditChange();
    void Button1Click();

private:
    void showMonth(int year, int month);
    void followCalendar();

    TCalenderForm *m_form;
    TodayFunction m_today = systemToday;
};

} // namespace vantora
