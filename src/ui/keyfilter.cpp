#include "ui/keyfilter.h"

#include "platform/pathtext.h"
#include "platform/prompt.h"

#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QObject>
#include <QWidget>

namespace vantora {

namespace {

class KeyFilter final : public QObject
{
public:
    KeyFilter(QObject *parent, std::function<bool(QChar)> refused)
        : QObject(parent), m_refused(std::move(refused))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            const QString text = key->text();
            if (text.size() == 1 && m_refused(text.at(0))) {
                prompt().message(refusedKeyMessage(text.at(0)));
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<bool(QChar)> m_refused;
};

constexpr char kTypingLimit[] = "vantoraTypingLimit";

class TypingLimit final : public QObject
{
public:
    TypingLimit(QLineEdit *edit, int limit) : QObject(edit), m_edit(edit), m_limit(limit) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_edit || event->type() != QEvent::KeyPress || m_edit->isReadOnly())
            return QObject::eventFilter(watched, event);
        const auto *key = static_cast<QKeyEvent *>(event);
        const qsizetype room = m_limit - (m_edit->text().size() - m_edit->selectedText().size());
        if (key->matches(QKeySequence::Paste)) {
            // Only as much of the clipboard as fits.
            const QString pasted = QGuiApplication::clipboard()->text();
            if (pasted.size() > room) {
                if (room > 0)
                    m_edit->insert(pasted.left(room));
                return true;
            }
            return false;
        }
        const QString text = key->text();
        if (!text.isEmpty() && text.at(0).isPrint() && text.size() > room)
            return true;
        return QObject::eventFilter(watched, event);
    }

private:
    QLineEdit *m_edit;
    int m_limit;
};

} // namespace

bool FilterNameKey(QChar c)
{
    using namespace std::string_view_literals;
    return isRefusedAscii(c, u"\0\"*,/:;<>?\\|"sv);
}

QString refusedKeyMessage(QChar c)
{
    return QStringLiteral("半角[ ") + c + QStringLiteral(" ]は入力できません");
}

void installKeyFilter(QWidget *edit, std::function<bool(QChar)> refused)
{
    edit->installEventFilter(new KeyFilter(edit, std::move(refused)));
}

void installNameKeyFilter(QWidget *edit)
{
    installKeyFilter(edit, &FilterNameKey);
}

} // namespace vantora

namespace vantora {

void setTypingLimit(QLineEdit *edit, int limit)
{
    edit->setProperty(kTypingLimit, limit);
    edit->installEventFilter(new TypingLimit(edit, limit));
}

int typingLimit(const QLineEdit *edit)
{
    return edit->property(kTypingLimit).toInt();
}

} // namespace vantora
