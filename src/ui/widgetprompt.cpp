#include "ui/widgetprompt.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace vantora {

namespace {

// Messages are written with "\r\n" line breaks; a label wants "\n".
QString displayText(QString text)
{
    return text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

} // namespace

WidgetPrompt::WidgetPrompt(QWidget *owner) : m_owner(owner)
{
}

void WidgetPrompt::message(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Vantora"), displayText(text), QMessageBox::Ok,
                    m_owner);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.exec();
}

bool WidgetPrompt::confirm(const QString &text)
{
    return ask(text, QStringLiteral("ConfirmBox"), QStringLiteral("OK"), QStringLiteral("キャンセル"));
}

bool WidgetPrompt::askYesNo(const QString &text)
{
    return ask(text, QStringLiteral("YesNoBox"), QStringLiteral("はい"), QStringLiteral("いいえ"));
}

// A question titled "確認" whose first button is the default and the only "yes".
bool WidgetPrompt::ask(const QString &text, const QString &objectName, const QString &yesCaption,
                       const QString &noCaption)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("確認"), displayText(text), QMessageBox::NoButton,
                    m_owner);
    box.setObjectName(objectName);
    QPushButton *yes = box.addButton(yesCaption, QMessageBox::AcceptRole);
    QPushButton *no = box.addButton(noCaption, QMessageBox::RejectRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

QString WidgetPrompt::chooseFolder(const QString &title, const QString &startFolder)
{
    return QFileDialog::getExistingDirectory(m_owner, displayText(title), startFolder,
                                             QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
}

QString WidgetPrompt::chooseFile(const QString &title, const QStringList &filters,
                                 const QString &selectedFilter)
{
    QString selected = selectedFilter;
    return QFileDialog::getOpenFileName(m_owner, title, QString(), filters.join(QLatin1String(";;")),
                                        &selected, QFileDialog::DontUseNativeDialog);
}

} // namespace vantora
