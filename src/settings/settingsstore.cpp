#include "settings/settingsstore.h"

#include "platform/registrystore.h"
#include "platform/specialfolders.h"

#include <QFileInfo>

namespace vantora {

QString settingsKeyPath()
{
    return QStringLiteral("Software\\Q.Lintar\\Vantix");
}

QString partialSettingsMessage()
{
    return QStringLiteral(
        "一部レジストリ項目が見つかりませんでした.\r\nVantix終了時に項目を新たに作成します.\r\n"
        "Vantixを初めて起動するときや、新バージョンを導入したときこのメッセージが表示されます.");
}

namespace {

bool isExistingFolder(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

} // namespace

void ReplaceMissingSourceAndDestination(SettingsRecord &record)
{
    if (!isExistingFolder(record.SourceEditText))
        record.SourceEditText = GetSpecialFolderPath(CSIDL_PERSONAL) + QLatin1Char('/');
    if (!isExistingFolder(record.TransferEditText))
        record.TransferEditText = GetSpecialFolderPath(CSIDL_MYPICTURES) + QLatin1Char('/');
}

LoadOutcome LoadSettings(RegistryStore &store, SettingsRecord &record)
{
    record = SettingsRecord::defaults();
    const QString key = settingsKeyPath();
    if (!store.keyExists(RegistryRoot::CurrentUser, key))
        return LoadOutcome::NoKey;

    for (const SettingsRecord::Field &f : SettingsRecord::fields()) {
        const QString name = QLatin1String(f.name);
        RegistryError error = RegistryError::None;
        if (f.type == SettingsRecord::Type::String) {
            const auto text = store.readString(RegistryRoot::CurrentUser, key, name, &error);
            if (error == RegistryError::TypeMismatch)
                return LoadOutcome::Partial;
            f.text(record) = text.value_or(QString());
            if (f.textMember == &SettingsRecord::SourceEditText ||
                f.textMember == &SettingsRecord::TransferEditText)
                ReplaceMissingSourceAndDestination(record);
        } else {
            const auto number = store.readDword(RegistryRoot::CurrentUser, key, name, &error);
            if (!number)
                return LoadOutcome::Partial;
            if (f.type == SettingsRecord::Type::Boolean)
                f.flag(record) = *number != 0;
            else
                f.number(record) = qint32(*number);
        }
    }
    // Values added after the first release: a missing or mistyped one keeps its default without a word,
    // so an older settings file loads exactly as before.
    for (const SettingsRecord::Field &f : SettingsRecord::addedFields()) {
        if (f.type == SettingsRecord::Type::String) {
            if (const auto text = store.readString(RegistryRoot::CurrentUser, key, QLatin1String(f.name)))
                f.text(record) = *text;
            continue;
        }
        const auto number = store.readDword(RegistryRoot::CurrentUser, key, QLatin1String(f.name));
        if (number && f.type == SettingsRecord::Type::Integer)
            f.number(record) = qint32(*number);
        else if (number)
            f.flag(record) = *number != 0;
    }
    return LoadOutcome::Complete;
}

bool SaveSettings(RegistryStore &store, SettingsRecord &record)
{
    ReplaceMissingSourceAndDestination(record);
    const QString key = settingsKeyPath();
    store.beginBatch(RegistryRoot::CurrentUser);
    bool ok = store.createKey(RegistryRoot::CurrentUser, key);
    for (const SettingsRecord::Field &f : SettingsRecord::fields()) {
        const QString name = QLatin1String(f.name);
        switch (f.type) {
        case SettingsRecord::Type::String:
            ok = store.writeString(RegistryRoot::CurrentUser, key, name, f.text(record)) && ok;
            break;
        case SettingsRecord::Type::Boolean:
            ok = store.writeDword(RegistryRoot::CurrentUser, key, name, f.flag(record) ? 1 : 0) && ok;
            break;
        case SettingsRecord::Type::Integer:
            ok = store.writeDword(RegistryRoot::CurrentUser, key, name, quint32(f.number(record))) && ok;
            break;
        }
    }
    for (const SettingsRecord::Field &f : SettingsRecord::addedFields()) {
        if (f.type == SettingsRecord::Type::String) {
            ok = store.writeString(RegistryRoot::CurrentUser, key, QLatin1String(f.name), f.text(record)) &&
                 ok;
            continue;
        }
        const quint32 value =
            f.type == SettingsRecord::Type::Integer ? quint32(f.number(record)) : (f.flag(record) ? 1 : 0);
        ok = store.writeDword(RegistryRoot::CurrentUser, key, QLatin1String(f.name), value) && ok;
    }
    return store.endBatch(RegistryRoot::CurrentUser) && ok;
}

} // namespace vantora
