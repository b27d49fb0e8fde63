#include "platform/specialfolders.h"

#include <QDir>
#include <QStandardPaths>

namespace vantora {

QString GetSpecialFolderPath(int csidl)
{
    QStandardPaths::StandardLocation location;
    switch (csidl) {
    case CSIDL_PERSONAL:
        location = QStandardPaths::DocumentsLocation;
        break;
    case CSIDL_MYPICTURES:
        location = QStandardPaths::PicturesLocation;
        break;
    case CSIDL_MYVIDEO:
        location = QStandardPaths::MoviesLocation;
        break;
    case CSIDL_MYMUSIC:
        location = QStandardPaths::MusicLocation;
        break;
    default:
        return QString();
    }
    // writableLocation gives the configured XDG path whether or not it exists yet.
    QString path = QDir::cleanPath(QStandardPaths::writableLocation(location));
    if (path.isEmpty())
        path = QDir::homePath();
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

} // namespace vantora
