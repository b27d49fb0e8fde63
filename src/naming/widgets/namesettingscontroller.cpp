#include "naming/widgets/namesettingscontroller.h"

#include "naming/widgets/calenderformcontroller.h"
#include "naming/widgets/editformcontroller.h"
#include "platform/prompt.h"
#include "settings/settingsrecord.h"
#include "ui/keyfilter.h"
#include "ui/teditform.h"

#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace vantora {

namespace {

// The grey of a switched-off prefix or suffix edit (the 3D light colour).
const QColor kOffColour(0xE3, 0xE3, 0xE3);

void setEditColour(QLineEdit *edit, bool on)
{
    QPalette p = edit->palette();
    p.setColor(QPalette::Base, on ? QApplication::palette().color(QPalette::Base) : kOffColour);
    edit->setPalette(p);
}

} // namespace

NameSettingsController::NameSettingsController(const NamingArea &area, TEditForm *edit,
                                               TCalenderForm *calender, SettingsRecord *record,
                                               QObject *parent)
    : QObject(parent), m_ui(area), m_edit(edit), m_record(record),
      m_calenderForm(new CalenderFormController(calender, this)),
      m_editForm(new EditFormController(edit, area, m_calenderForm, record, this))
{
    const NamingArea &m = m_ui;
    m.Label1->setTextFormat(Qt::PlainText);
    m.Label13->setTextFormat(Qt::PlainText);

    connect(m.DirCreateCheckBox, &QCheckBox::toggled, this, &NameSettingsController::DirCreateCheckBoxClick);
    connect(m.RenameCheckBox, &QCheckBox::toggled, this, &NameSettingsController::RenameCheckBoxClick);
    connect(m.PreDirCheckBox, &QCheckBox::toggled, this, &NameSettingsController::PreDirCheckBoxClick);
    connect(m.SufDirCheckBox, &QCheckBox::toggled, this, &NameSettingsController::SufDirCheckBoxClick);
    connect(m.PreFileCheckBox, &QCheckBox::toggled, this, &NameSettingsController::PreFileCheckBoxClick);
    connect(m.SufFileCheckBox, &QCheckBox::toggled, this, &NameSettingsController::SufFileCheckBoxClick);
    connect(m.PANA101CheckBox, &QCheckBox::toggled, this, &NameSettingsController::PANA101CheckBoxClick);
    connect(m.RenbanResetCheckBox, &QCheckBox::toggled, this,
            &NameSettingsController::RenbanResetCheckBoxClick);

    connect(m.DirNameEdit, &QLineEdit::textChanged, this, &NameSettingsController::DirNameEditChange);
    connect(m.FileNameEdit, &QLineEdit::textChanged, this, &NameSettingsController::FileNameEditChange);
    connect(m.PreDirNameEdit, &QLineEdit::textChanged, this, &NameSettingsController::PreDirNameEditChange);
    connect(m.SufDirNameEdit, &QLineEdit::textChanged, this, &NameSettingsController::SufDirNameEditChange);
    connect(m.PreFileNameEdit, &QLineEdit::textChanged, this, &NameSettingsController::PreFileNameEditChange);
    connect(m.SufFileNameEdit, &QLineEdit::textChanged, this, &NameSettingsController::SufFileNameEditChange);

    connect(m.BitBtn14, &QPushButton::clicked, this, &NameSettingsController::BitBtn14Click);
    connect(m.BitBtn12, &QPushButton::clicked, this, &NameSettingsController::BitBtn12Click);

    // The previews show the running numbers and the separator the next run will use.
    connect(m_editForm, &EditFormController::liveValuesChanged, this, [this] {
        updateFolderPreview();
        updateFilePreview();
    });

    for (QLineEdit *e : {m.DirNameEdit, m.FileNameEdit, m.PreDirNameEdit, m.SufDirNameEdit, m.PreFileNameEdit,
                         m.SufFileNameEdit})
        installNameKeyFilter(e);
    m.DirNameEdit->installEventFilter(this);
    m.FileNameEdit->installEventFilter(this);
}

void NameSettingsController::setTodayFunction(TodayFunction today)
{
    m_today = today;
    m_editForm->setTodayFunction(today);
    m_calenderForm->setTodayFunction(std::move(today));
}

void NameSettingsController::applySettingsToControls()
{
    const NamingArea &m = m_ui;
    SettingsRecord *r = m_record;
    // Confirmed values: the template dialog's saved copies follow. Out-of-range numbers and a separator
    // longer than the field come back as the fields take them.
    setFolderCounter(r->DirRenbanSpinEditValue);
    setFileCounter(r->FileRenbanSpinEditValue);
    m_edit->sDayEdit->setText(r->sDayEditText);
    r->sDayEditText = m_edit->sDayEdit->text();

    // Read every value first: each control's handler records its own value as it is set.
    const SettingsRecord loaded = *r;
    m.DirNameEdit->setText(CheckFolderTemplate(loaded.DirNameEditText));
    m.FileNameEdit->setText(CheckFileTemplate(loaded.FileNameEditText).text);
    m.DirCreateCheckBox->setChecked(loaded.DirCreateChecked);
    m.RenameCheckBox->setChecked(loaded.RenameChecked);
    m.RenbanResetCheckBox->setChecked(loaded.RenbanResetChecked);
    m.PANA101CheckBox->setChecked(loaded.PANA101Checked);
    m.PreDirNameEdit->setText(loaded.PreDirNameEditText);
    m.SufDirNameEdit->setText(loaded.SufDirNameEditText);
    m.PreFileNameEdit->setText(loaded.PreFileNameEditText);
    m.SufFileNameEdit->setText(loaded.SufFileNameEditText);
    m.PreDirCheckBox->setChecked(loaded.PreDirChecked);
    m.SufDirCheckBox->setChecked(loaded.SufDirChecked);
    m.PreFileCheckBox->setChecked(loaded.PreFileChecked);
    m.SufFileCheckBox->setChecked(loaded.SufFileChecked);
}

void NameSettingsController::runStartupHandlers()
{
    DirNameEditChange();
    FileNameEditChange();
    DirCreateCheckBoxClick();
    RenameCheckBoxClick();
    PreDirCheckBoxClick();
    SufDirCheckBoxClick();
    PreFileCheckBoxClick();
    SufFileCheckBoxClick();
}

qint32 NameSettingsController::folderCounter() const
{
    return m_editForm->folderCounter();
}

qint32 NameSettingsController::fileCounter() const
{
    return m_editForm->fileCounter();
}

QString NameSettingsController::separator() const
{
    return m_editForm->separator();
}

void NameSettingsController::setFolderCounter(qint32 value)
{
    m_editForm->confirmFolderCounter(value);
    m_record->DirRenbanSpinEditValue = m_editForm->folderCounter();
}

void NameSettingsController::setFileCounter(qint32 value)
{
    m_editForm->confirmFileCounter(value);
    m_record->FileRenbanSpinEditValue = m_editForm->fileCounter();
}

qint32 NameSettingsController::advanceFolderCounter()
{
    setFolderCounter(NextRunningNumber(folderCounter()));
    return folderCounter();
}

qint32 NameSettingsController::advanceFileCounter()
{
    setFileCounter(NextRunningNumber(fileCounter()));
    return fileCounter();
}

void NameSettingsController::resetCounters()
{
    setFolderCounter(1);
    setFileCounter(1);
}

NameTemplate NameSettingsController::folderTemplate() const
{
    const NamingArea &m = m_ui;
    return {m.DirNameEdit->text(), m.PreDirNameEdit->text(), m.PreDirCheckBox->isChecked(),
            m.SufDirNameEdit->text(), m.SufDirCheckBox->isChecked()};
}

NameTemplate NameSettingsController::fileTemplate() const
{
    const NamingArea &m = m_ui;
    return {m.FileNameEdit->text(), m.PreFileNameEdit->text(), m.PreFileCheckBox->isChecked(),
            m.SufFileNameEdit->text(), m.SufFileCheckBox->isChecked()};
}

NameTemplateSet NameSettingsController::snapshot() const
{
    NameTemplateSet set;
    set.folder = folderTemplate();
    set.folder.text = CheckFolderTemplate(set.folder.text);
    set.file = fileTemplate();
    set.file.text = CheckFileTemplate(set.file.text).text;
    set.separator = separator();
    set.folderCounter = folderCounter();
    set.fileCounter = fileCounter();
    return set;
}

void NameSettingsController::finishEditing()
{
    DirNameEditExit();
    FileNameEditExit();
}

QString NameSettingsController::BuildFolderNamePreview() const
{
    return vantora::BuildFolderNamePreview(folderTemplate(), folderCounter(), separator(), m_today());
}

QString NameSettingsController::BuildFileNamePreview() const
{
    return vantora::BuildFileNamePreview(fileTemplate(), fileCounter(), separator(), m_today());
}

bool NameSettingsController::createsFolder() const
{
    return m_ui.DirCreateCheckBox->isChecked();
}

QString NameSettingsController::folderPreview() const
{
    return m_ui.Label1->text();
}

bool NameSettingsController::resetsCountersAfterRun() const
{
    return m_ui.RenbanResetCheckBox->isChecked();
}

void NameSettingsController::updateFolderPreview()
{
    m_ui.Label1->setText(BuildFolderNamePreview());
}

void NameSettingsController::updateFilePreview()
{
    m_ui.Label13->setText(BuildFileNamePreview());
}

void NameSettingsController::switchFolderCreation()
{
    const NamingArea &m = m_ui;
    const bool on = m.DirCreateCheckBox->isChecked();
    m_record->DirCreateChecked = on;
    for (QWidget *w : std::initializer_list<QWidget *>{m.DirNameEdit, m.PreDirCheckBox, m.SufDirCheckBox,
                                                       m.Label1, m.BitBtn14, m.PANA101CheckBox})
        w->setEnabled(on);
    // Switched on, the group opens a prefix or suffix edit only while its own switch is on too, so what
    // can be typed is used.
    m.PreDirNameEdit->setEnabled(on && m.PreDirCheckBox->isChecked());
    m.SufDirNameEdit->setEnabled(on && m.SufDirCheckBox->isChecked());
}

void NameSettingsController::switchRenaming()
{
    const NamingArea &m = m_ui;
    const bool on = m.RenameCheckBox->isChecked();
    m_record->RenameChecked = on;
    for (QWidget *w : std::initializer_list<QWidget *>{m.FileNameEdit, m.PreFileCheckBox, m.SufFileCheckBox,
                                                       m.Label13, m.BitBtn12})
        w->setEnabled(on);
    m.PreFileNameEdit->setEnabled(on && m.PreFileCheckBox->isChecked());
    m.SufFileNameEdit->setEnabled(on && m.SufFileCheckBox->isChecked());
}

void NameSettingsController::switchClick(QCheckBox *box, QLineEdit *edit, bool *setting)
{
    // The switch alone decides: at start-up its handler runs after the group's, so a switch stored on
    // leaves its edit open even in a group stored off.
    const bool on = box->isChecked();
    edit->setEnabled(on);
    setEditColour(edit, on);
    *setting = on;
}

void NameSettingsController::PreDirCheckBoxClick()
{
    switchClick(m_ui.PreDirCheckBox, m_ui.PreDirNameEdit, &m_record->PreDirChecked);
    updateFolderPreview();
}

void NameSettingsController::SufDirCheckBoxClick()
{
    switchClick(m_ui.SufDirCheckBox, m_ui.SufDirNameEdit, &m_record->SufDirChecked);
    updateFolderPreview();
}

void NameSettingsController::PreFileCheckBoxClick()
{
    switchClick(m_ui.PreFileCheckBox, m_ui.PreFileNameEdit, &m_record->PreFileChecked);
    updateFilePreview();
}

void NameSettingsController::SufFileCheckBoxClick()
{
    switchClick(m_ui.SufFileCheckBox, m_ui.SufFileNameEdit, &m_record->SufFileChecked);
    updateFilePreview();
}

void NameSettingsController::DirNameEditChange()
{
    m_record->DirNameEditText = CheckFolderTemplate(m_ui.DirNameEdit->text());
    updateFolderPreview();
}

void NameSettingsController::FileNameEditChange()
{
    m_record->FileNameEditText = CheckFileTemplate(m_ui.FileNameEdit->text()).text;
    updateFilePreview();
}

void NameSettingsController::PreDirNameEditChange()
{
    m_record->PreDirNameEditText = m_ui.PreDirNameEdit->text();
    updateFolderPreview();
}

void NameSettingsController::SufDirNameEditChange()
{
    m_record->SufDirNameEditText = m_ui.SufDirNameEdit->text();
    updateFolderPreview();
}

void NameSettingsController::PreFileNameEditChange()
{
    m_record->PreFileNameEditText = m_ui.PreFileNameEdit->text();
    updateFilePreview();
}

void NameSettingsController::SufFileNameEditChange()
{
    m_record->SufFileNameEditText = m_ui.SufFileNameEdit->text();
    updateFilePreview();
}

void NameSettingsController::correctFolderTemplate()
{
    const QString text = CheckFolderTemplate(m_ui.DirNameEdit->text());
    if (text != m_ui.DirNameEdit->text())
        m_ui.DirNameEdit->setText(text);
    m_record->DirNameEditText = text;
}

void NameSettingsController::correctFileTemplate()
{
    const FileTemplateCheck check = CheckFileTemplate(m_ui.FileNameEdit->text());
    if (!check.message.isEmpty())
        prompt().message(check.message);
    if (check.text != m_ui.FileNameEdit->text())
        m_ui.FileNameEdit->setText(check.text);
    m_record->FileNameEditText = check.text;
}

void NameSettingsController::PANA101CheckBoxClick()
{
    m_record->PANA101Checked = m_ui.PANA101CheckBox->isChecked();
}

void NameSettingsController::RenbanResetCheckBoxClick()
{
    m_record->RenbanResetChecked = m_ui.RenbanResetCheckBox->isChecked();
}

void NameSettingsController::BitBtn14Click()
{
    m_editForm->open(TemplateDialogMode::Folder);
}

void NameSettingsController::BitBtn12Click()
{
    m_editForm->open(TemplateDialogMode::File);
}

bool NameSettingsController::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut) {
        // Leaving the edit for another control; not a message box or a menu taking the focus for a while.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            if (watched == m_ui.DirNameEdit)
                DirNameEditExit();
            else if (watched == m_ui.FileNameEdit)
                FileNameEditExit();
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace vantora
