#include "app/application.h"

#include "ui/formkit.h"
#include "ui/tmainform.h"
#include "ui/widgetprompt.h"

#include <QApplication>

namespace vantora {

int runApplication(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vantora"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vantora"));
    QApplication::setFont(formFont());
    TMainForm form;
    WidgetPrompt prompt(&form);
    setPrompt(&prompt);
    form.show();
    return app.exec();
}

} // namespace vantora
