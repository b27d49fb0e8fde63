#include "system/autoplayregistration.h"

#include "platform/prompt.h"
#include "system/desktopentry.h"

namespace vantora {

namespace {

const QString kHandlerKey = QStringLiteral(
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers\\Handlers\\Vantora");
// The second write of the handler spells "explorer" in lower case; key names match without case, so
// it lands on the same key.
const QString kHandlerKeyLower = QStringLiteral(
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\explorer\\AutoplayHandlers\\Handlers\\Vantora");
const QString kEventKey = QStringLiteral("\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayH"
                                         "andlers\\EventHandlers\\ShowPicturesOnArrival");
const QString kName = QStringLiteral("Vantora");

void appendClass(QVector<AutoPlayEntry> &entries, RegistryRoot root, const QString &base,
                 const QString &command)
{
    entries.append({root, base, QString(), QStringLiteral("Vantora Class")});
    entries.append({root, base + QLatin1String("\\shell"), QString(), QString()});
    entries.append({root, base + QLatin1String("\\shell\\open"), QString(), QString()});
    entries.append({root, base + QLatin1String("\\shell\\open\\command"), QString(), command});
}

void appendHandler(QVector<AutoPlayEntry> &entries, const QString &key, const QString &programPath)
{
    const RegistryRoot lm = RegistryRoot::LocalMachine;
    entries.append({lm, key, QStringLiteral("Action"), QStringLiteral("ファイルを取り込む")});
    entries.append({lm, key, QStringLiteral("DefaultIcon"), programPath + QLatin1String(", 0")});
    entries.append({lm, key, QStringLiteral("Provider"), kName});
    entries.append({lm, key, QStringLiteral("InvokeProgID"), kName});
    entries.append({lm, key, QStringLiteral("InvokeVerb"), QStringLiteral("open")});
}

} // namespace

QVector<AutoPlayEntry> AutoPlayEntries(const QString &programPath)
{
    const QString command = programPath + QLatin1String(" %L");
    QVector<AutoPlayEntry> entries;
    appendClass(entries, RegistryRoot::ClassesRoot, QStringLiteral("\\Vantora"), command);
    appendHandler(entries, kHandlerKey, programPath);
    appendClass(entries, RegistryRoot::LocalMachine, QStringLiteral("\\SOFTWARE\\Classes\\Vantora"), command);
    appendHandler(entries, kHandlerKeyLower, programPath);
    entries.append({RegistryRoot::LocalMachine, kEventKey, kName, QString()});
    return entries;
}

QVector<AutoPlayRemoval> AutoPlayRemovals()
{
    return {
        {RegistryRoot::ClassesRoot, QStringLiteral("\\Vantora"), QString()},
        {RegistryRoot::LocalMachine, kHandlerKey, QString()},
        {RegistryRoot::LocalMachine, QStringLiteral("\\SOFTWARE\\Classes\\Vantora"), QString()},
        {RegistryRoot::LocalMachine, kHandlerKeyLower, QString()},
        {RegistryRoot::LocalMachine, kEventKey, kName},
    };
}

QString registryWriteErrorMessage(const QString &valueName)
{
    return QLatin1Char('\'') + valueName + QStringLiteral("' の設定に失敗しました");
}

bool RegisterAutoPlayHandler(RegistryStore &store, const QString &programPath, const QString &applicationsDir)
{
    // One write per value, so a failure names the very value that was not stored.
    for (const AutoPlayEntry &e : AutoPlayEntries(programPath)) {
        if (!store.createKey(e.root, e.key) || !store.writeString(e.root, e.key, e.name, e.data)) {
            prompt().message(registryWriteErrorMessage(e.name));
            return false;
        }
    }
    const QString entryPath = applicationsDir + QLatin1Char('/') + DesktopEntryFileName.toString();
    if (!WriteDesktopEntry(applicationsDir, programPath)) {
        prompt().message(registryWriteErrorMessage(entryPath));
        return false;
    }
    RefreshDesktopDatabase(applicationsDir);
    return true;
}

bool UnregisterAutoPlayHandler(RegistryStore &store, const QString &applicationsDir)
{
    for (const AutoPlayRemoval &r : AutoPlayRemovals()) {
        if (r.name.isEmpty())
            store.deleteKeyTree(r.root, r.key);
        else if (store.keyExists(r.root, r.key))
            store.deleteValue(r.root, r.key, r.name);
    }
    if (!RemoveDesktopEntry(applicationsDir)) {
        prompt().message(QLatin1Char('\'') + applicationsDir + QLatin1Char('/') +
                         DesktopEntryFileName.toString() + QStringLiteral("' の削除に失敗しました"));
        return false;
    }
    RefreshDesktopDatabase(applicationsDir);
    return true;
}

bool RestartElevated(const QString &file, const QString &arguments)
{
    Q_UNUSED(file);
    Q_UNUSED(arguments);
    return false;
}

} // namespace vantora
