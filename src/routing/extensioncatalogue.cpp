#include "routing/extensioncatalogue.h"

#include "platform/pathtext.h"
#include "settings/settingsrecord.h"

namespace vantora {

namespace {

std::array<CatalogueKey, CatalogueKeyCount> makeKeys()
{
    std::array<CatalogueKey, CatalogueKeyCount> keys{};
    int k = 0;
    for (int t = 0; t < ExtensionTypeCount; ++t) {
        const ExtensionType &type = ExtensionCatalogue()[t];
        keys[k++] = {type.code, t, false};
        if (type.alias)
            keys[k++] = {type.alias, t, true};
    }
    Q_ASSERT(k == CatalogueKeyCount);
    return keys;
}

constexpr std::array<FreeExtensionSlot, FreeExtensionCount> freeSlots{{
    {"ExtEdit1", "ExtEdit1Text", "Ext1Dir"},
    {"ExtEdit2", "ExtEdit2Text", "Ext2Dir"},
}};

} // namespace

QString CatalogueKey::destinationSetting() const
{
    const ExtensionType &t = ExtensionCatalogue()[type];
    return isAlias ? t.aliasSetting() : t.destinationSetting();
}

const std::array<CatalogueKey, CatalogueKeyCount> &CatalogueKeys()
{
    static const std::array<CatalogueKey, CatalogueKeyCount> keys = makeKeys();
    return keys;
}

const std::array<FreeExtensionSlot, FreeExtensionCount> &FreeExtensionSlots()
{
    return freeSlots;
}

QString freeExtensionKey(const QString &text)
{
    return QLatin1String("*.") + text;
}

bool ExtensionKeyFilter(QChar c)
{
    using namespace std::string_view_literals;
    return isRefusedAscii(c, u"\0\",./:;<>\\|"sv);
}

QString DestinationSettingForKey(const QString &key, const SettingsRecord &settings)
{
    if (key == QLatin1String(AllFilesKey))
        return QLatin1String(AllFilesDestinationSetting);
    for (const CatalogueKey &k : CatalogueKeys()) {
        if (key == k.key())
            return k.destinationSetting();
    }
    if (key == freeExtensionKey(settings.ExtEdit1Text))
        return QLatin1String(freeSlots[0].destinationSetting);
    if (key == freeExtensionKey(settings.ExtEdit2Text))
        return QLatin1String(freeSlots[1].destinationSetting);
    return QString();
}

} // namespace vantora
