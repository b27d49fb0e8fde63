#include "testprompt.h"

namespace vantora::test {

TestPrompt::TestPrompt()
{
    setPrompt(this);
}

TestPrompt::~TestPrompt()
{
    setPrompt(nullptr);
}

void TestPrompt::message(const QString &text)
{
    messages << text;
    if (onMessage)
        onMessage(text);
}

bool TestPrompt::confirm(const QString &text)
{
    questions << text;
    return answers.isEmpty() ? defaultAnswer : answers.dequeue();
}

bool TestPrompt::askYesNo(const QString &text)
{
    yesNoQuestions << text;
    return answers.isEmpty() ? defaultAnswer : answers.dequeue();
}

QString TestPrompt::chooseFolder(const QString &title, const QString &)
{
    folderTitles << title;
    return folders.isEmpty() ? QString() : folders.dequeue();
}

QString TestPrompt::chooseFile(const QString &, const QStringList &filters, const QString &selectedFilter)
{
    fileFilters = filters;
    fileSelectedFilter = selectedFilter;
    return files.isEmpty() ? QString() : files.dequeue();
}

void TestPrompt::clear()
{
    messages.clear();
    questions.clear();
    yesNoQuestions.clear();
    folderTitles.clear();
}

} // namespace vantora::test
