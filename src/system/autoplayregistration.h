#pragma once

#include "platform/registrystore.h"

#include <QString>
#include <QVector>

namespace vantora {

// One string value the AutoPlay registration writes.
struct AutoPlayEntry
{
    RegistryRoot root;
    QString key;  // as the program names it, starting with "\"
    QString name; // empty for the key's default value
    QString data;
};

// One key (or, with a name, one value of a key) the unregistration removes.
struct AutoPlayRemoval
{
    RegistryRoot root;
    QString key;
    QString name; // empty: the whole key tree; otherwise this value of the key
};

// The fifteen values of the handler and its class, in the order written. The program path goes in
// unchanged and unquoted, as the shell substitutes the medium's path for "%L" after it.
QVector<AutoPlayEntry> AutoPlayEntries(const QString &programPath);
// The five removals, in order.
QVector<AutoPlayRemoval> AutoPlayRemovals();

// "'<name>' の設定に失敗しました".
QString registryWriteErrorMessage(const QString &valueName);

// Writes the entries into the store, then the desktop entry into `applicationsDir` (see desktopentry.h)
// and refreshes the desktop's database. Stops at the first write that fails, shows its message through
// prompt() and returns false; nothing after it is written.
bool RegisterAutoPlayHandler(RegistryStore &store, const QString &programPath,
                             const QString &applicationsDir);

// Removes the entries (missing ones are passed over silently) and the desktop entry. Returns false only
// when a desktop entry is left that could not be removed: the desktop would still offer the program. That
// failure is shown through prompt().
bool UnregisterAutoPlayHandler(RegistryStore &store, const QString &applicationsDir);

// Restart with elevated rights for the registration. Registration here is per user and needs no
// elevation, so this never starts anything and answers false.
bool RestartElevated(const QString &file, const QString &arguments);

} // namespace vantora
