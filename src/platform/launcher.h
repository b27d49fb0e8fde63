#pragma once

#include <QString>
#include <QStringList>

namespace vantora {

// Starts a program or opens a file the way the desktop would, never through a shell.
class Launcher
{
public:
    virtual ~Launcher() = default;
    // An executable file is started with the arguments, each passed whole; any other file opens in the
    // desktop's default application. The result is not reported to the user.
    virtual bool start(const QString &path, const QStringList &arguments) = 0;
};

// The launcher in use; the desktop one unless a test installs another.
Launcher &launcher();
void setLauncher(Launcher *launcher);

} // namespace vantora
