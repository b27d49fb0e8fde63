#include "ui/widgetprompt.h"

#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace vantora {

namespace {

// Messages are written with "\r\n" line breaks; a label wants "\n".
QString displayText(QString text)
{
    return text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

// A box that never outgrows the screen: a line wider than the screen gives way in its middle (a path keeps
// its start and its file name), and a text taller than half the screen loses lines from its middle. A text
// that fits is shown as it is. Ctrl+C copies the whole text, and a shortened one is whole in the details.
class MessageBox final : public QMessageBox
{
public:
    MessageBox(Icon icon, const QString &title, const QString &text, StandardButtons buttons, QWidget *owner)
        : QMessageBox(icon, title, QString(), buttons, owner), m_text(displayText(text))
    {
        const QString shown = fitted();
        setText(shown);
        if (shown != m_text) {
            setTextFormat(Qt::PlainText);
            setDetailedText(m_text);
        }
    }

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->matches(QKeySequence::Copy)) {
            QGuiApplication::clipboard()->setText(m_text);
            event->accept();
            return;
        }
        QMessageBox::keyPressEvent(event);
    }

private:
    QString fitted() const;

    QString m_text;
};

QString MessageBox::fitted() const
{
    const QScreen *screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return m_text;
    const QRect area = screen->availableGeometry();
    const QFontMetrics metrics(font());
    // The label wraps no narrower than this (half the screen, at most 500, less the box's margins) ...
    const int row = std::max(100, std::min(area.width() / 2, 500) - 100);
    // ... and no line is wider than the screen, so each takes a few rows at most.
    const int widest = std::max(row, area.width() - 100);
    const int maxRows = std::max(3, area.height() / 2 / std::max(1, metrics.lineSpacing()));
    QStringList lines = m_text.split(u'\n');
    QList<int> rows;
    int total = 0;
    for (QString &line : lines) {
        int width = metrics.horizontalAdvance(line);
        if (width > widest) {
            line = metrics.elidedText(line, Qt::ElideMiddle, widest);
            width = metrics.horizontalAdvance(line);
        }
        rows.append(std::max(1, (width + row - 1) / row));
        total += rows.last();
    }
    if (total <= maxRows)
        return lines.join(u'\n');
    // Lines from both ends, alternately, as long as they fit beside the one that stands for the rest.
    QStringList head, tail;
    qsizetype first = 0, last = lines.size() - 1;
    for (int used = 1; first <= last;) {
        const bool front = head.size() <= tail.size();
        const qsizetype i = front ? first : last;
        if (used + rows[i] > maxRows)
            break;
        used += rows[i];
        if (front)
            head.append(lines[first++]);
        else
            tail.prepend(lines[last--]);
    }
    return (head << QString(QChar(0x2026)) << tail).join(u'\n');
}

} // namespace

WidgetPrompt::WidgetPrompt(QWidget *owner) : m_owner(owner)
{
}

void WidgetPrompt::message(const QString &text)
{
    MessageBox box(QMessageBox::NoIcon, QStringLiteral("Vantora"), text, QMessageBox::Ok, m_owner);
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
    MessageBox box(QMessageBox::Question, QStringLiteral("確認"), text, QMessageBox::NoButton, m_owner);
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
