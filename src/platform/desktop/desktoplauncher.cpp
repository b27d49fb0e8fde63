#include "platform/launcher.h"

#include "platform/bytepath.h"
#include "platform/pathops.h"

#include <QDesktopServices>
#include <QUrl>

namespace vantora {

namespace {

QUrl localFileUrl(const QString &path)
{
    if (!hasEscapedBytes(path))
        return QUrl::fromLocalFile(path);
    // Percent-encoded bytes that are not UTF-8 stay as they are in a URL.
    return QUrl::fromEncoded(QByteArray("file://") + pathToBytes(path).toPercentEncoding("/"));
}

class DesktopLauncher final : public Launcher
{
public:
    bool start(const QString &path, const QStringList &arguments) override
    {
        const QString program = absolutePath(path);
        if (isExecutableFilePath(program))
            return startProgram(program, arguments);
        return openWithDefaultApplication(program);
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

bool openWithDefaultApplication(const QString &path)
{
    return QDesktopServices::openUrl(localFileUrl(absolutePath(path)));
}

} // namespace vantora
