#pragma once

#include "naming/nametemplate.h"
#include "ui/mainformareas.h"

#include <QObject>

class QCheckBox;
class QLineEdit;

namespace vantora {

class CalenderFormController;
class EditFormController;
class TCalenderForm;
class TEditForm;
struct SettingsRecord;

// The main window's two naming groups ("作成フォルダ名設定", "転送先ファイル名変更") with their master
// switches, prefix/suffix switches, previews, the "形式設定" buttons opening the template dialog, and the
// options PANA101CheckBox and RenbanResetCheckBox. Also drives the template dialog and the date picker, and
// is where the transfer reads and advances the running numbers (which live in the template dialog's fields).
//
// Every change of a naming control is recorded in the settings record at once, so a run that reads the
// record sees what the windows show; the template dialog's counters and separator are the exception: the
// record keeps their confirmed values, and a run reads the fields (folderCounter, fileCounter, separator).
// Template texts are recorded in their corrected form (an empty folder template as "新しいフォルダ", a file
// template without a required token with "[元のファイル名]" in front), so the record never holds a template a
// run could not use.
class NameSettingsController final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NameSettingsController)

public:
    NameSettingsController(const NamingArea &area, TEditForm *edit, TCalenderForm *calender,
                           SettingsRecord *record, QObject *parent = nullptr);

    EditFormController *editForm() const { return m_editForm; }
    CalenderFormController *calenderForm() const { return m_calenderForm; }
    // The clock of the transfer-date previews and of "本日" (tests set a fixed one).
    void setTodayFunction(TodayFunction today);

    // Start-up, step 2: puts the record's naming values into the controls, in the order of the settings
    // table (the template dialog's DirRenbanSpinEdit, FileRenbanSpinEdit, sDayEdit; DirNameEdit,
    // FileNameEdit, DirCreateCheckBox, RenameCheckBox, RenbanResetCheckBox, PANA101CheckBox, the four
    // prefix/suffix edits, the four prefix/suffix switches). Changed controls run their handlers.
    void applySettingsToControls();
    // Start-up, step 3: DirNameEditChange, FileNameEditChange, DirCreateCheckBoxClick, RenameCheckBoxClick,
    // PreDirCheckBoxClick, SufDirCheckBoxClick, PreFileCheckBoxClick, SufFileCheckBoxClick.
    // (ExecCheckBoxClick, which runs between RenameCheckBoxClick and PreDirCheckBoxClick, touches none of
    // them.)
    void runStartupHandlers();

    // Running numbers and separator in force (previews and runs), as the template dialog's fields hold them.
    qint32 folderCounter() const;
    qint32 fileCounter() const;
    QString separator() const;
    // Write a running number into its field, the dialog's saved copy and the record
    // ("DirRenbanSpinEditValue", "FileRenbanSpinEditValue"); the value is brought into 1..2147483647. The
    // transfer view's showFolderCounter / showFileCounter land here.
    void setFolderCounter(qint32 value);
    void setFileCounter(qint32 value);
    // NextRunningNumber of the current value, stored as above; returns the new value.
    qint32 advanceFolderCounter();
    qint32 advanceFileCounter();
    // Both running numbers back to 1 ("転送終了後、連番を１にリセットする").
    void resetCounters();

    // The naming inputs of a run, taken from the controls now. Template texts are corrected as when their
    // edit is left (without the message), so a template still being typed cannot give an unusable name.
    NameTemplateSet snapshot() const;
    // Runs DirNameEditExit and FileNameEditExit (with the required-token message when it applies), so the
    // edits show the templates a run is about to use.
    void finishEditing();

    // What the other areas ask: whether a run creates a folder, the folder name the preview shows, and
    // whether the running numbers go back to 1 after a run.
    bool createsFolder() const;
    QString folderPreview() const;
    bool resetsCountersAfterRun() const;

    QString BuildFolderNamePreview() const;
    QString BuildFileNamePreview() const;

    // Handlers, by control.
    void DirCreateCheckBoxClick() { switchFolderCreation(); }
    void RenameCheckBoxClick() { switchRenaming(); }
    void PreDirCheckBoxClick();
    void SufDirCheckBoxClick();
    void PreFileCheckBoxClick();
    void SufFileCheckBoxClick();
    void DirNameEditChange();
    void FileNameEditChange();
    void PreDirNameEditChange();
    void SufDirNameEditChange();
    void PreFileNameEditChange();
    void SufFileNameEditChange();
    void DirNameEditExit() { correctFolderTemplate(); }
    void FileNameEditExit() { correctFileTemplate(); }
    void PANA101CheckBoxClick();
    void RenbanResetCheckBoxClick();
    void BitBtn14Click();
    void BitBtn12Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Records the switch and opens or closes the folder name controls.
    void switchFolderCreation();
    // Records the switch and opens or closes the file name controls.
    void switchRenaming();
    // The folder template as a run would use it, shown and recorded.
    void correctFolderTemplate();
    // The file template as a run would use it (with the message when a token was missing), shown and
    // recorded.
    void correctFileTemplate();

    void switchClick(QCheckBox *box, QLineEdit *edit, bool *setting);
    void updateFolderPreview();
    void updateFilePreview();
    NameTemplate folderTemplate() const;
    NameTemplate fileTemplate() const;

    NamingArea m_ui;
    TEditForm *m_edit;
    SettingsRecord *m_record;
    CalenderFormController *m_calenderForm;
    EditFormController *m_editForm;
    TodayFunction m_today = systemToday;
};

} // namespace vantora
