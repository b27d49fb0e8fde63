#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class QProcess;

namespace vantora::test {

// Moves this process into a mount namespace of its own, as `unshare -m --propagation private` does:
// what the test mounts stays invisible to every other process, and the machine's later mounts never
// arrive. The namespace belongs to the calling thread (the main thread of a Qt test), and every process
// started from it afterwards shares it. Calling it again does nothing. Returns why not, empty on success.
QString enterPrivateMountNamespace();

// In the private namespace: detaches every mount whose root holds a DCIM folder (cards on the machine,
// other tests' card images), so that a volume scan here finds only what this test mounts afterwards.
// Returns why not, empty on success.
QString hideMountedCards();

// Both of the above: the mounts of a test that must not depend on what the machine has mounted.
QString isolateMounts();

// A private world for the real program started as a process: a private mount namespace with the cards
// of the machine hidden, a fresh home with its own XDG folders and runtime folder (also set for this
// process, so the test reads the same settings files), and a display of its own (offscreen, unless the
// test gives it an X server it started).
class ProgramSandbox final
{
public:
    ProgramSandbox();

    // Empty when the program can be started here; otherwise why not (a test skips with it). The home is
    // private in either case.
    QString error() const { return m_error; }
    QString home() const { return m_home.path(); }
    QString runtimeDir() const;

    // The built program (VANTORA_BINARY_DIR/src/vantora).
    static QString program();

    // The environment for the program: the private home, no session bus, the private display.
    QProcessEnvironment environment() const;
    // An X display the test started (":n"): the program then runs on it through xcb.
    void setX11Display(const QString &display) { m_x11Display = display; }

    // Starts the program with these arguments in the sandbox.
    void start(QProcess &process, const QStringList &arguments) const;

private:
    QTemporaryDir m_home;
    QString m_x11Display;
    QString m_error;
};

} // namespace vantora::test
