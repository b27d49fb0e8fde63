#pragma once

#include "naming/nametemplate.h"
#include "ui/mainformareas.h"

#include <QObject>

namespace vantora {

class CalenderFormController;
class TEditForm;
struct SettingsRecord;

// The template dialog's behaviour. The dialog's counter fields and separator hold the live values that
// expansion, previews and the transfer use. The dialog keeps saved copies (the last confirmed values, which
// the settings record holds): OK updates them, Cancel and each opening put them back into the fields. The
// close box runs neither, so values typed before it stay in force until the next opening.
// A counter or separator the program writes while the dialog is not being edited (start-up, a transfer)
// is a confirmed value: the saved copy follows it.
class EditFormController final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EditFormController)

public:
    // main: the main window's naming controls, whose templates the dialog edits.
    EditFormController(TEditForm *form, const NamingArea &main, CalenderFormController *calender,
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

    // A running number the program writes (a transfer): into its field and its saved copy.
    void confirmFolderCounter(qint32 value);
    void confirmFileCounter(qint32 value);

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
    // The live value becomes the saved copy and the setting.
    void confirmFolderValue();
    void confirmFileValue();
    void confirmSeparatorValue();

    TEditForm *m_form;
    NamingArea m_main;
    CalenderFormController *m_calender;
    SettingsRecord *m_record;
    TemplateDialogMode m_mode = TemplateDialogMode::File;
    bool m_editing = false; // from FormShow until the dialog closes
    qint32 m_savedFolderCounter = 1;
    qint32 m_savedFileCounter = 1;
    QString m_savedSeparator;
    TodayFunction m_today = systemToday;
};

} // namespace vantora
