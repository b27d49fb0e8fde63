#include "platform/launcher.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace vantora {

namespace {

class DesktopLauncher final : public Launcher
{
public:
    bool start(const QString &path, const QStringList &arguments) override
    {
        const QFileInfo info(path);
        if (info.isFile() && info.isExecutable())
            return QProcess::startDetached(info.absoluteFilePath(), arguments, QString());
        return QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath()));
    }
};

Launcher *g_launcher = nullptr;

} // namespace

Launcher &launcher()
{
    static DesktopLauncher desktop;
    return g_launcher ? *g_launcher : desktop;
}

void setLauncher(Launcher *l)
{
    g_launcher = l;
}

} // namespace vantora
