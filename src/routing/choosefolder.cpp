#include "routing/choosefolder.h"

#include "platform/prompt.h"

#include <QDir>
#include <QFileInfo>

namespace vantora {

QString ChooseFolder(const QString &title, const QString &startFolder)
{
    const QString chosen = prompt().chooseFolder(title, startFolder);
    if (chosen.isEmpty())
        return QString();
    if (!QFileInfo(chosen).isDir()) {
        prompt().message(QStringLiteral("フォルダとして指定できない場所です\r\n") + chosen);
        return QString();
    }
    return QDir::cleanPath(chosen);
}

} // namespace vantora
