#pragma once

#include <QString>
#include <QWidget>

#include <type_traits>

namespace vantora::test {

// A window's own control (or timer) found by its object name, as a user or a script would address it.
// Controls of dialogs the window owns are skipped: they reuse names such as "BitBtn4". No such control
// ends the test run at once, so a renamed control cannot pass unnoticed.
template <class T> T *formChild(const QWidget *window, const char *name)
{
    for (T *child : window->findChildren<T *>(QLatin1String(name))) {
        if constexpr (std::is_base_of_v<QWidget, T>) {
            if (child->window() != window)
                continue;
        }
        return child;
    }
    qFatal("%s has no %s named %s", qPrintable(window->objectName()), T::staticMetaObject.className(), name);
    return nullptr;
}

} // namespace vantora::test
