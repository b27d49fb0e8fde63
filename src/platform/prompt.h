#pragma once

#include <QString>
#include <QStringList>

namespace vantora {

// Every modal question or message of the program goes through this interface, so the
// windows can show real dialogs and tests can answer without one.
class Prompt
{
public:
    virtual ~Prompt() = default;

    // A plain message box with one OK button.
    virtual void message(const QString &text) = 0;
    // The confirmation box titled "確認" with "OK" (default) and "キャンセル"; true only for OK.
    virtual bool confirm(const QString &text) = 0;
    // A question answered with "はい" (default) or "いいえ"; true only for はい.
    virtual bool askYesNo(const QString &text) = 0;
    // A folder picker; an empty result means the user cancelled.
    virtual QString chooseFolder(const QString &title, const QString &startFolder) = 0;
    // A file picker over the given name filters; an empty result means cancelled.
    virtual QString chooseFile(const QString &title, const QStringList &filters,
                               const QString &selectedFilter) = 0;
};

// The prompt the running program uses. Windows install a widget-backed one at start; tests install theirs.
Prompt &prompt();
void setPrompt(Prompt *prompt);

} // namespace vantora
