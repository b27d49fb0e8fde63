#include "naming/widgets/editformcontroller.h"

#include "naming/widgets/calenderformcontroller.h"
#include "platform/prompt.h"
#include "settings/settingsrecord.h"
#include "ui/keyfilter.h"
#include "ui/teditform.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace vantora {

namespace {

qint32 counterOf(const RenbanSpinEdit *spin)
{
    return spin->isTextEmpty() ? 1 : spin->value();
}

} // namespace

EditFormController::EditFormController(TEditForm *form, const NamingArea &main,
                                       CalenderFormController *calender, SettingsRecord *record,
                                       QObject *parent)
    : QObject(parent), m_form(form), m_main(main), m_calender(calender), m_record(record)
{
    TEditForm *f = m_form;
    connect(f->OrgBitBtn, &QPushButton::clicked, this, [this] { tokenButtonClick(SourceNameToken); });
    connect(f->BitBtn1, &QPushButton::clicked, this, [this] { tokenButtonClick(RenbanToken); });
    connect(f->DateBitBtn1, &QPushButton::clicked, this, [this] { tokenButtonClick(TransferDateToken); });
    connect(f->DateBitBtn2, &QPushButton::clicked, this, [this] { tokenButtonClick(ShootingDateToken); });
    connect(f->BitBtn2, &QPushButton::clicked, this, &EditFormController::BitBtn2Click);
    connect(f->NameEdit, &QLineEdit::textChanged, this, &EditFormController::NameEditChange);

    connect(f->sDayEdit, &QLineEdit::textChanged, this, [this] {
        NameEditChange();
        if (!m_editing)
            confirmSeparatorValue();
        Q_EMIT liveValuesChanged();
    });
    // Typing in a counter field updates the preview without rewriting the field under the caret.
    connect(f->DirRenbanSpinEdit, &QSpinBox::textChanged, this, [this] {
        updatePreview();
        if (!m_editing)
            confirmFolderValue();
        Q_EMIT liveValuesChanged();
    });
    connect(f->FileRenbanSpinEdit, &QSpinBox::textChanged, this, [this] {
        updatePreview();
        if (!m_editing)
            confirmFileValue();
        Q_EMIT liveValuesChanged();
    });
    connect(f->Button1, &QPushButton::clicked, this, [f] { f->DirRenbanSpinEdit->setValueAndText(1); });
    connect(f->Button2, &QPushButton::clicked, this, [f] { f->FileRenbanSpinEdit->setValueAndText(1); });

    connect(f->OKBitBtn1, &QPushButton::clicked, this, &EditFormController::OKBitBtn1Click);
    connect(f->NGBitBtn1, &QPushButton::clicked, this, &EditFormController::NGBitBtn1Click);

    connect(f, &QDialog::finished, this, [this] { m_editing = false; });

    m_savedFolderCounter = ClampRunningNumber(m_record->DirRenbanSpinEditValue);
    m_savedFileCounter = ClampRunningNumber(m_record->FileRenbanSpinEditValue);
    m_savedSeparator = m_record->sDayEditText;

    installNameKeyFilter(f->NameEdit);
    installNameKeyFilter(f->sDayEdit);
    // Escape is the Cancel button, as Return is the OK button.
    f->installEventFilter(this);
}

bool EditFormController::open(TemplateDialogMode mode)
{
    prepare(mode);
    if (m_main.window)
        m_form->move(m_main.window->geometry().center() - m_form->rect().center());
    return m_form->exec() == QDialog::Accepted;
}

void EditFormController::prepare(TemplateDialogMode mode)
{
    m_mode = mode;
    m_form->setWindowTitle(mode == TemplateDialogMode::Folder ? QStringLiteral("フォルダ名の設定")
                                                              : QStringLiteral("ファイル名の設定"));
    FormShow();
}

qint32 EditFormController::folderCounter() const
{
    return counterOf(m_form->DirRenbanSpinEdit);
}

qint32 EditFormController::fileCounter() const
{
    return counterOf(m_form->FileRenbanSpinEdit);
}

QString EditFormController::separator() const
{
    return m_form->sDayEdit->text();
}

void EditFormController::confirmFolderCounter(qint32 value)
{
    m_savedFolderCounter = ClampRunningNumber(value);
    m_form->DirRenbanSpinEdit->setValueAndText(m_savedFolderCounter);
}

void EditFormController::confirmFileCounter(qint32 value)
{
    m_savedFileCounter = ClampRunningNumber(value);
    m_form->FileRenbanSpinEdit->setValueAndText(m_savedFileCounter);
}

void EditFormController::FormShow()
{
    TEditForm *f = m_form;
    const bool folder = m_mode == TemplateDialogMode::Folder;
    f->OrgBitBtn->setEnabled(!folder);
    f->Label4->setVisible(!folder);
    for (QWidget *w : std::initializer_list<QWidget *>{f->DirRenbanSpinEdit, f->Label2, f->Button1})
        w->setEnabled(folder);
    for (QWidget *w : std::initializer_list<QWidget *>{f->FileRenbanSpinEdit, f->Label5, f->Button2})
        w->setEnabled(!folder);
    f->NameEdit->setText(folder ? m_main.DirNameEdit->text() : m_main.FileNameEdit->text());

    f->sDayEdit->setText(m_savedSeparator);
    f->DirRenbanSpinEdit->setValueAndText(m_savedFolderCounter);
    f->FileRenbanSpinEdit->setValueAndText(m_savedFileCounter);
    m_editing = true;
    NameEditChange();
    f->NameEdit->setFocus();
}

void EditFormController::InsertTemplateToken(const QString &text)
{
    QLineEdit *edit = m_form->NameEdit;
    const int caret = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
    if (caret > 0) {
        // Never inside a token: go behind the next "]" from the character before the caret on.
        const qsizetype close = edit->text().indexOf(QLatin1Char(']'), caret - 1);
        if (close >= 0) {
            edit->deselect();
            edit->setCursorPosition(int(close) + 1);
        }
    }
    edit->insert(text);
}

void EditFormController::tokenButtonClick(QStringView token)
{
    if (!m_form->NameEdit->text().contains(token))
        InsertTemplateToken(token.toString());
    m_form->NameEdit->setFocus();
}

void EditFormController::NameEditChange()
{
    TEditForm *f = m_form;
    for (RenbanSpinEdit *spin : {f->DirRenbanSpinEdit, f->FileRenbanSpinEdit}) {
        if (spin->isTextEmpty())
            spin->setValueAndText(1);
    }
    updatePreview();
}

void EditFormController::updatePreview()
{
    TEditForm *f = m_form;
    const bool folder = m_mode == TemplateDialogMode::Folder;
    NameTemplate set;
    if (folder)
        set = {QString(), m_main.PreDirNameEdit->text(), true, m_main.SufDirNameEdit->text(), true};
    else
        set = {QString(), m_main.PreFileNameEdit->text(), true, m_main.SufFileNameEdit->text(), true};
    f->Label1->setText(BuildDialogNamePreview(
        m_mode, f->NameEdit->text(), set, folder ? folderCounter() : fileCounter(), separator(), m_today()));
}

void EditFormController::BitBtn2Click()
{
    const QDate date = m_calender->pick(m_form);
    if (date.isValid())
        InsertTemplateToken(FormatTemplateDate(date, m_form->sDayEdit->text()));
    m_form->NameEdit->setFocus();
}

void EditFormController::confirmFolderValue()
{
    m_savedFolderCounter = folderCounter();
    m_record->DirRenbanSpinEditValue = m_savedFolderCounter;
}

void EditFormController::confirmFileValue()
{
    m_savedFileCounter = fileCounter();
    m_record->FileRenbanSpinEditValue = m_savedFileCounter;
}

void EditFormController::confirmSeparatorValue()
{
    m_savedSeparator = separator();
    m_record->sDayEditText = m_savedSeparator;
}

void EditFormController::OKBitBtn1Click()
{
    TEditForm *f = m_form;
    if (m_mode == TemplateDialogMode::Folder) {
        f->NameEdit->setText(CheckFolderTemplate(f->NameEdit->text()));
        m_main.DirNameEdit->setText(f->NameEdit->text());
        m_main.Label1->setText(f->Label1->text());
        m_record->DirNameEditText = f->NameEdit->text();
    } else {
        const FileTemplateCheck check = CheckFileTemplate(f->NameEdit->text());
        if (!check.message.isEmpty())
            prompt().message(check.message);
        f->NameEdit->setText(check.text);
        m_main.FileNameEdit->setText(f->NameEdit->text());
        m_main.Label13->setText(f->Label1->text());
        m_record->FileNameEditText = f->NameEdit->text();
    }
    // Typed counters and separator become settings here only.
    confirmFolderValue();
    confirmFileValue();
    confirmSeparatorValue();
    f->accept();
}

void EditFormController::NGBitBtn1Click()
{
    TEditForm *f = m_form;
    f->DirRenbanSpinEdit->setValueAndText(m_savedFolderCounter);
    f->FileRenbanSpinEdit->setValueAndText(m_savedFileCounter);
    f->sDayEdit->setText(m_savedSeparator);
    f->reject();
}

bool EditFormController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_form && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        m_form->NGBitBtn1->click();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace vantora
