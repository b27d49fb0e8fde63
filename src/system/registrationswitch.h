#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace vantora {

class RegistryStore;

// Starts a program detached with the given arguments; true when it started.
using ProgramStarter = std::function<bool(const QString &program, const QStringList &arguments)>;
// The launcher's startProgram: byte-exact, never through a shell.
bool StartDetached(const QString &program, const QStringList &arguments);

enum class RegistrationSwitch
{
    None,        // no switch: go on with the start-up sequence
    CloseWindow, // done, message shown, a fresh instance started: close the main window
    StayOpen,    // the registration failed and its message was shown: end the start-up sequence here
};

// The "/reg" and "/unreg" start-up step. `arguments` are the program's arguments without the program
// path; only the first counts, compared exactly (case matters). "/reg" registers and shows
// "自動再生に登録しました", "/unreg" unregisters and shows "自動再生から解除しました"; then the program
// is started again without arguments (a failed start is not reported) and CloseWindow is returned.
//
// The caller, in the main window's show handler after the settings are applied:
//     switch (RunRegistrationSwitch(m_arguments, m_store)) {
//     case RegistrationSwitch::StayOpen: return;    // no source check, no drive watch
//     case RegistrationSwitch::CloseWindow: close the main window (saves the settings); break;
//     case RegistrationSwitch::None: break;
//     }
RegistrationSwitch RunRegistrationSwitch(const QStringList &arguments, RegistryStore &store,
                                         const QString &programPath, const QString &applicationsDir,
                                         const ProgramStarter &starter = StartDetached);
// The same for the running program: its own path, the user's applications folder, StartDetached.
RegistrationSwitch RunRegistrationSwitch(const QStringList &arguments, RegistryStore &store);

} // namespace vantora
