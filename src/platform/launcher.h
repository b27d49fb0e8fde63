#pragma once

#include <QString>
#include <QStringList>

namespace vantora {

// Starts a program or opens a file the way the desktop would, never through a shell.
class Launcher
{
public:
    virtual ~Launcher() = default;
    // An executable file is started with the arguments, each passed whole and byte for byte as
    // pathToBytes gives it; any other file opens in the desktop's default application. The result is not
    // reported to the user.
    virtual bool start(const QString &path, const QStringList &arguments) = 0;
};

// The launcher in use; the desktop one unless a test installs another.
Launcher &launcher();
void setLauncher(Launcher *launcher);

// Starts a program detached from this process (it outlives it and is never waited for), with the exact
// bytes of its path and arguments. QProcess would encode them as text, which turns every byte of a name
// that is not UTF-8 into the same U+FFFD. Returns 0 once the program runs, else the errno of the failed
// start (missing, not executable).
int startDetachedProcess(const QString &program, const QStringList &arguments);

} // namespace vantora
