#include "ui/widgetprompt.h"

#include <QApplication>
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
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), displayText(text),
                    QMessageBox::Ok, m_owner);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.exec();
}

bool WidgetPrompt::confirm(const QString &text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("確認"), displayText(text), QMessageBox::NoButton,
                    m_owner);
    box.setObjectName(QStringLiteral("ConfirmBox"));
    QPushButton *ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    QPushButton *cancel = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == ok;
}

bool WidgetPrompt::askYesNo(const QString &text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("確認"), displayText(text), QMessageBox::NoButton,
                    m_owner);
    box.setObjectName(QStringLiteral("YesNoBox"));
    QPushButton *yes = box.addButton(QStringLiteral("はい"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(QStringLiteral("いいえ"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

QString WidgetPrompt::chooseFolder(const QString &title, const QString &startFolder)
{
    return QFileDialog::getExistingDirectory(m_owner, displayText(title), startFolder);
}

QString WidgetPrompt::chooseFile(const QString &title, const QStringList &filters,
                                 const QString &selectedFilter)
{
    QString selected = selectedFilter;
    return QFileDialog::getOpenFileName(m_owner, title, QString(), filters.join(QLatin1String(";;")),
                                        &selected);
}

} // namespace vantora
