#pragma once

#include "platform/prompt.h"

namespace vantora {

// A prompt for unattended starts (scripted checks of the whole program): every message and question is
// appended to a log file, each question is answered with OK and pickers are cancelled. Chosen at start
// by VANTORA_PROMPT_LOG.
class LoggingPrompt final : public Prompt
{
public:
    explicit LoggingPrompt(const QString &logFile);

    void message(const QString &text) override;
    bool confirm(const QString &text) override;
    bool askYesNo(const QString &text) override;
    QString chooseFolder(const QString &title, const QString &startFolder) override;
    QString chooseFile(const QString &title, const QStringList &filters,
                       const QString &selectedFilter) override;

private:
    void append(const QString &kind, const QString &text);
    QString m_logFile;
};

} // namespace vantora
