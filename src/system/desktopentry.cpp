#include "system/desktopentry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

namespace vantora {

QString DesktopEntryDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QLatin1String("/applications");
}

QString ExecArgument(const QString &argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = argument.isEmpty();
    for (const QChar c : argument) {
        if (reserved.contains(c)) {
            quote = true;
            break;
        }
    }
    QString arg;
    for (const QChar c : argument) {
        if (c == QLatin1Char('%'))
            arg += QLatin1String("%%");
        else if (quote && (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                           c == QLatin1Char('\\')))
            arg += QLatin1Char('\\') + c;
        else
            arg += c;
    }
    if (quote)
        arg = QLatin1Char('"') + arg + QLatin1Char('"');

    // The string escapes of the file format come on top of the quoting.
    QString out;
    for (const QChar c : arg) {
        switch (c.unicode()) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString DesktopEntryText(const QString &programPath)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Version=1.4\n"
                          "Name=Vantora\n"
                          "GenericName=Photo Import\n"
                          "GenericName[ja]=写真の取り込み\n"
                          "Comment=ファイルを取り込む\n"
                          "Icon=camera-photo\n"
                          "Exec=") +
           ExecArgument(programPath) +
           QStringLiteral(" %f\n"
                          "Terminal=false\n"
                          "MimeType=x-content/image-dcf;\n"
                          "Categories=Graphics;Photography;\n");
}

bool WriteDesktopEntry(const QString &directory, const QString &programPath)
{
    if (!QDir().mkpath(directory))
        return false;
    QSaveFile file(directory + QLatin1Char('/') + DesktopEntryFileName.toString());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray data = DesktopEntryText(programPath).toUtf8();
    if (file.write(data) != data.size())
        return false;
    return file.commit();
}

bool RemoveDesktopEntry(const QString &directory)
{
    const QString path = directory + QLatin1Char('/') + DesktopEntryFileName.toString();
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    return QFile::remove(path);
}

void RefreshDesktopDatabase(const QString &directory)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
    if (tool.isEmpty() || !QFileInfo(directory).isDir())
        return;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(tool, {QStringLiteral("-q"), directory});
    // The entry works without the cache (it only speeds up the desktop's lookups): never hang on it.
    if (process.waitForStarted(3000) && !process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(1000);
    }
}

} // namespace vantora
