#pragma once

#include "platform/prompt.h"

#include <QQueue>
#include <QStringList>

#include <functional>

namespace vantora::test {

// A prompt for tests: records every message and question, answers from queues (or a default).
// Installs itself as the program's prompt for its lifetime.
class TestPrompt final : public Prompt
{
public:
    TestPrompt();
    ~TestPrompt() override;

    void message(const QString &text) override;
    bool confirm(const QString &text) override;
    bool askYesNo(const QString &text) override;
    QString chooseFolder(const QString &title, const QString &startFolder) override;
    QString chooseFile(const QString &title, const QStringList &filters,
                       const QString &selectedFilter) override;

    QStringList messages;       // texts of plain messages, in order
    QStringList questions;      // texts of confirmations, in order
    QStringList yesNoQuestions; // texts of Yes/No questions, in order
    QStringList folderTitles;   // titles of folder pickers, in order
    QStringList fileFilters;    // filters of the last file picker
    QString fileSelectedFilter; // its selected filter

    QQueue<bool> answers; // next answers to either kind of question; defaultAnswer when empty
    bool defaultAnswer = true;
    QQueue<QString> folders;                        // next folder picker results; empty (cancel) when none
    QQueue<QString> files;                          // next file picker results; empty (cancel) when none
    std::function<void(const QString &)> onMessage; // runs inside message(), e.g. to act during a modal

    void clear();

private:
    Prompt *m_previous = nullptr;
};

} // namespace vantora::test
