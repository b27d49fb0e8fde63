#pragma once

#include "platform/prompt.h"

class QWidget;

namespace vantora {

// The prompt of the running program: message boxes and the desktop's file and folder pickers. A box never
// outgrows its screen: a text too wide or too tall for it is shortened in its middle (whole in the box's
// details); Ctrl+C in a box copies its whole text.
class WidgetPrompt final : public Prompt
{
public:
    explicit WidgetPrompt(QWidget *owner = nullptr);
    void setOwner(QWidget *owner) { m_owner = owner; }

    void message(const QString &text) override;
    bool confirm(const QString &text) override;
    bool askYesNo(const QString &text) override;
    QString chooseFolder(const QString &title, const QString &startFolder) override;
    QString chooseFile(const QString &title, const QStringList &filters,
                       const QString &selectedFilter) override;

private:
    bool ask(const QString &text, const QString &objectName, const QString &yesCaption,
             const QString &noCaption);

    QWidget *m_owner;
};

} // namespace vantora
