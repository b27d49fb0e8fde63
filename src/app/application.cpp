#include "app/application.h"

#include "app/loggingprompt.h"
#include "app/singleinstance.h"
#include "app/vantoraapp.h"
#include "platform/bytepath.h"
#include "testhooks.h"
#include "ui/formkit.h"
#include "ui/tmainform.h"
#include "ui/widgetprompt.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTimer>
#include <QTranslator>

#include <memory>

namespace vantora {

int runApplication(int argc, char **argv)
{
    QApplication app(argc, argv);
    // No display name: Qt would append it to every window title.
    QApplication::setApplicationName(QStringLiteral("vantora"));
    QApplication::setFont(formFont());
    installJapaneseQtTranslation();

    // QApplication has taken out its own options; a card path keeps its exact bytes.
    const QStringList arguments = argumentsFromBytes(argc, argv);
    const QString first = arguments.value(0);
    // Registration starts stay out of the single-instance rule.
    const bool registration = first == QLatin1String("/reg") || first == QLatin1String("/unreg");

    SingleInstance instance;
    if (!registration && !instance.acquire()) {
        SingleInstance::activateRunningInstance();
        return 0;
    }

    WidgetPrompt prompt;
    setPrompt(&prompt);
    // Scripted checks of the whole program read its prompts from a log; a package never has the switch.
    std::unique_ptr<Prompt> logging;
    if constexpr (WithTestHooks) {
        const QString promptLog = qEnvironmentVariable("VANTORA_PROMPT_LOG");
        if (!promptLog.isEmpty()) {
            logging = std::make_unique<LoggingPrompt>(promptLog);
            setPrompt(logging.get());
        }
    }
    VantoraApp vantora(arguments);
    prompt.setOwner(vantora.mainForm());
    instance.setMainWindow(vantora.mainForm());
    vantora.mainForm()->show();

    const int result = execMainLoop(vantora.mainForm());
    setPrompt(nullptr);
    return result;
}

bool installJapaneseQtTranslation()
{
    // The user interface is Japanese whatever the locale; so are the standard dialogs' own texts.
    static QPointer<QTranslator> installed;
    if (installed)
        return true;
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    installed = translator;
    return true;
}

int execMainLoop(const QWidget *mainWindow)
{
    if (!mainWindow->isVisible())
        return 0;
    return QApplication::exec();
}

} // namespace vantora
