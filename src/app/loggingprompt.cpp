#include "app/loggingprompt.h"

#include <QFile>

namespace vantora {

LoggingPrompt::LoggingPrompt(const QString &logFile) : m_logFile(logFile)
{
}

void LoggingPrompt::append(const QString &kind, const QString &text)
{
    QFile f(m_logFile);
    if (f.open(QIODevice::WriteOnly | QIODevice::Append)) {
        QString line = text;
        line.replace(QLatin1String("\r\n"), QLatin1String("\\n"));
        f.write((kind + QLatin1Char('\t') + line + QLatin1Char('\n')).toUtf8());
    }
}

void LoggingPrompt::message(const QString &text)
{
    append(QStringLiteral("message"), text);
}

bool LoggingPrompt::confirm(const QString &text)
{
    append(QStringLiteral("confirm"), text);
    return true;
}

bool LoggingPrompt::askYesNo(const QString &text)
{
    append(QStringLiteral("yesno"), text);
    return true;
}

QString LoggingPrompt::chooseFolder(const QString &title, const QString &)
{
    append(QStringLiteral("folder"), title);
    return QString();
}

QString LoggingPrompt::chooseFile(const QString &title, const QStringList &, const QString &)
{
    append(QStringLiteral("file"), title);
    return QString();
}

} // namespace vantora
