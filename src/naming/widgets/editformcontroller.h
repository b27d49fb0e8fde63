#pragma once

#include "naming/nametemplate.h"

#include <QObject>

namespace vantora {

class CalenderFormController;
class TEditForm;
class TMainForm;
struct SettingsRecord;

// The template dialog's behaviour. The dialog's counter fields and separator hold the live values that
// expansion, previews and the transfer read; the settings record holds the confirmed copies, which OK
// updates and Cancel and each opening put back. The close box (and nothing else) closes without either.
class EditFormController final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EditFormController)

public:
    EditFormController(TEditForm *form, TMainForm *main, CalenderFormController *calender,
                       SettingsRecord *record, QObject *parent = nullptr);

    TEditForm *form() const { return m_form; }
    TemplateDialogMode mode() const { return m_mode; }
    void setTodayFunction(TodayFunction today) { m_today = std::move(today); }

    // Sets the mode and caption, runs FormShow and shows the dialog modally centred on the main window.
    // True when it was closed with OK.
    bool open(TemplateDialogMode mode);
    // The same without running the dialog: mode, caption and FormShow.
    void prepare(TemplateDialogMode mode);

    // Live values, as the fields hold them now (an empty counter field reads as 1).
    qint32 folderCounter() const;
    qint32 fileCounter() const;
    QString separator() const;

    void FormShow();
    void InsertTemplateToken(const QString &text);
    void NameEditChange();
    void BitBtn2Click();
    void OKBitBtn1Click();
    void NGBitBtn1Click();

Q_SIGNALS:
    // A counter or the separator changed in the dialog's fields.
    void liveValuesChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void tokenButtonClick(QStringView token);
    void updatePreview();

    TEditForm *m_form;
    TMainForm *m_main;
    CalenderFormController *m_calender;
    SettingsRecord *m_record;
    TemplateDialogMode m_mode = TemplateDialogMode::File;
    TodayFunction m_today = systemToday;
};

} // namespace vantora
