#include "ui/keyfilter.h"

#include "platform/prompt.h"

#include <QEvent>
#include <QKeyEvent>
#include <QObject>
#include <QWidget>

namespace vantora {

namespace {

class KeyFilter final : public QObject
{
public:
    KeyFilter(QObject *parent, std::function<bool(QChar)> refused)
        : QObject(parent)
        , m_refused(std::move(refused))
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

} // namespace

bool FilterNameKey(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= 128)
        return false;
    switch (u) {
    case 0:
    case '"':
    case '*':
    case ',':
    case '/':
    case ':':
    case ';':
    case '<':
    case '>':
    case '?':
    case '\\':
    case '|':
        return true;
    default:
        return false;
    }
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
