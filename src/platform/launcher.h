#pragma once

#include <QString>
#include <QStringList>

namespace vantora {

// Starts a program or opens a file the way the desktop would, never through a shell.
//
// Starting a program needs only QtCore and is in vantora_platform; the launcher itself and opening a
// file in the desktop's default application need Qt Gui and are in vantora_platform_desktop, so the
// logic libraries can start programs without linking Qt Gui.
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

// Opens a file or folder in the desktop's default application for it; true when the desktop took it.
bool openWithDefaultApplication(const QString &path);

// Starts the program at path (a relative one from the current folder) detached, with the exact bytes of
// the path and arguments; true once it runs.
bool startProgram(const QString &path, const QStringList &arguments);

// Starts a program detached from this process (it outlives it and is never waited for), with the exact
// bytes of its path and arguments. QProcess would encode them as text, which turns every byte of a name
// that is not UTF-8 into the same U+FFFD. Returns 0 once the program runs, else the errno of the failed
// start (missing, not executable).
int startDetachedProcess(const QString &program, const QStringList &arguments);

} // namespace vantora
