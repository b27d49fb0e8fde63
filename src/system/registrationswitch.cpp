#include "system/registrationswitch.h"

#include "platform/launcher.h"
#include "platform/prompt.h"
#include "system/autoplayregistration.h"
#include "system/desktopentry.h"

#include <QCoreApplication>

namespace vantora {

bool StartDetached(const QString &program, const QStringList &arguments)
{
    return startProgram(program, arguments);
}

RegistrationSwitch RunRegistrationSwitch(const QStringList &arguments, RegistryStore &store,
                                         const QString &programPath, const QString &applicationsDir,
                                         const ProgramStarter &starter)
{
    const QString first = arguments.value(0);
    bool done = false;
    if (first == QLatin1String("/reg")) {
        done = RegisterAutoPlayHandler(store, programPath, applicationsDir);
        if (done)
            prompt().message(QStringLiteral("自動再生に登録しました"));
    } else if (first == QLatin1String("/unreg")) {
        done = UnregisterAutoPlayHandler(store, applicationsDir);
        if (done)
            prompt().message(QStringLiteral("自動再生から解除しました"));
    } else {
        return RegistrationSwitch::None;
    }
    if (!done)
        return RegistrationSwitch::StayOpen;
    starter(programPath, {});
    QCoreApplication::processEvents();
    return RegistrationSwitch::CloseWindow;
}

RegistrationSwitch RunRegistrationSwitch(const QStringList &arguments, RegistryStore &store)
{
    return RunRegistrationSwitch(arguments, store, QCoreApplication::applicationFilePath(),
                                 DesktopEntryDirectory());
}

} // namespace vantora
