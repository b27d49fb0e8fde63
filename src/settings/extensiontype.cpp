#include "settings/extensiontype.h"

namespace vantora {

namespace {

QString dirSetting(const char *code)
{
    return QLatin1String(code) + QLatin1String("Dir");
}

} // namespace

QString extensionGroupCaption(ExtensionGroup group)
{
    switch (group) {
    case ExtensionGroup::Image:
        return QStringLiteral("画像ファイル");
    case ExtensionGroup::Video:
        return QStringLiteral("動画ファイル");
    case ExtensionGroup::Audio:
        return QStringLiteral("音声ファイル");
    }
    return QString();
}

QStringList ExtensionType::keys() const
{
    QStringList k{key()};
    if (alias)
        k << QLatin1String("*.") + QLatin1String(alias);
    return k;
}

QString ExtensionType::checkBoxName() const
{
    return codeText() + QLatin1String("CheckBox");
}

QString ExtensionType::selectionSetting() const
{
    return codeText() + QLatin1String("Checked");
}

QString ExtensionType::destinationSetting() const
{
    return dirSetting(code);
}

QString ExtensionType::aliasSetting() const
{
    return alias ? dirSetting(alias) : QString();
}

QStringList ExtensionType::clickDestinationSettings() const
{
    QStringList s{destinationSetting()};
    if (alias && clickWritesAlias)
        s << aliasSetting();
    return s;
}

const std::array<ExtensionType, ExtensionTypeCount> &ExtensionCatalogue()
{
    return ExtensionTypes;
}

int extensionTypeIndex(QStringView code)
{
    for (int t = 0; t < ExtensionTypeCount; ++t) {
        if (code == QLatin1String(ExtensionTypes[t].code))
            return t;
    }
    return -1;
}

} // namespace vantora
