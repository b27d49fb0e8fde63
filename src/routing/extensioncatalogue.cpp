#include "routing/extensioncatalogue.h"

#include "app/settings/settingsrecord.h"

namespace vantora {

namespace {

using G = ExtensionGroup;

constexpr std::array<ExtensionType, ExtensionTypeCount> catalogue{{
    {"JPG", "JPGCheckBox", G::Image, "JPEG", "JPGChecked", "JPGDir", "JPEGDir", true, true},
    {"TIF", "TIFCheckBox", G::Image, "TIFF", "TIFChecked", "TIFDir", "TIFFDir", true, true},
    {"PNG", "PNGCheckBox", G::Image, nullptr, "PNGChecked", "PNGDir", nullptr, false, false},
    {"GIF", "GIFCheckBox", G::Image, nullptr, "GIFChecked", "GIFDir", nullptr, false, false},
    {"BMP", "BMPCheckBox", G::Image, nullptr, "BMPChecked", "BMPDir", nullptr, false, false},
    {"PSD", "PSDCheckBox", G::Image, nullptr, "PSDChecked", "PSDDir", nullptr, false, false},
    {"DNG", "DNGCheckBox", G::Image, nullptr, "DNGChecked", "DNGDir", nullptr, false, false},
    {"NEF", "NEFCheckBox", G::Image, nullptr, "NEFChecked", "NEFDir", nullptr, false, false},
    {"CR2", "CR2CheckBox", G::Image, nullptr, "CR2Checked", "CR2Dir", nullptr, false, false},
    {"PEF", "PEFCheckBox", G::Image, nullptr, "PEFChecked", "PEFDir", nullptr, false, false},
    {"ARW", "ARWCheckBox", G::Image, nullptr, "ARWChecked", "ARWDir", nullptr, false, false},
    {"ORF", "ORFCheckBox", G::Image, nullptr, "ORFChecked", "ORFDir", nullptr, false, false},
    {"RW2", "RW2CheckBox", G::Image, nullptr, "RW2Checked", "RW2Dir", nullptr, false, false},
    {"RAF", "RAFCheckBox", G::Image, nullptr, "RAFChecked", "RAFDir", nullptr, false, false},
    {"MOV", "MOVCheckBox", G::Video, nullptr, "MOVChecked", "MOVDir", nullptr, false, true},
    {"MP4", "MP4CheckBox", G::Video, nullptr, "MP4Checked", "MP4Dir", nullptr, false, true},
    {"AVI", "AVICheckBox", G::Video, nullptr, "AVIChecked", "AVIDir", nullptr, false, true},
    {"MPG", "MPGCheckBox", G::Video, "MPEG", "MPGChecked", "MPGDir", "MPEGDir", false, false},
    {"WMV", "WMVCheckBox", G::Video, nullptr, "WMVChecked", "WMVDir", nullptr, false, false},
    {"MKV", "MKVCheckBox", G::Video, nullptr, "MKVChecked", "MKVDir", nullptr, false, false},
    {"FLV", "FLVCheckBox", G::Video, nullptr, "FLVChecked", "FLVDir", nullptr, false, false},
    {"WAV", "WAVCheckBox", G::Audio, nullptr, "WAVChecked", "WAVDir", nullptr, false, false},
    {"MP3", "MP3CheckBox", G::Audio, nullptr, "MP3Checked", "MP3Dir", nullptr, false, false},
    {"AAC", "AACCheckBox", G::Audio, nullptr, "AACChecked", "AACDir", nullptr, false, false},
    {"WMA", "WMACheckBox", G::Audio, nullptr, "WMAChecked", "WMADir", nullptr, false, false},
    {"M4A", "M4ACheckBox", G::Audio, nullptr, "M4AChecked", "M4ADir", nullptr, false, false},
    {"FLAC", "FLACCheckBox", G::Audio, nullptr, "FLACChecked", "FLACDir", nullptr, false, false},
    {"MID", "MIDCheckBox", G::Audio, nullptr, "MIDChecked", "MIDDir", nullptr, false, false},
}};

std::array<CatalogueKey, CatalogueKeyCount> makeKeys()
{
    std::array<CatalogueKey, CatalogueKeyCount> keys{};
    int k = 0;
    for (int t = 0; t < ExtensionTypeCount; ++t) {
        const ExtensionType &type = catalogue[t];
        keys[k++] = {type.code, t, type.destinationSetting};
        if (type.alias)
            keys[k++] = {type.alias, t, type.aliasSetting};
    }
    Q_ASSERT(k == CatalogueKeyCount);
    return keys;
}

constexpr std::array<FreeExtensionSlot, FreeExtensionCount> freeSlots{{
    {"ExtEdit1", "ExtEdit1Text", "Ext1Dir"},
    {"ExtEdit2", "ExtEdit2Text", "Ext2Dir"},
}};

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

QStringList ExtensionType::clickDestinationSettings() const
{
    QStringList s{QLatin1String(destinationSetting)};
    if (aliasSetting && clickWritesAlias)
        s << QLatin1String(aliasSetting);
    return s;
}

const std::array<ExtensionType, ExtensionTypeCount> &ExtensionCatalogue()
{
    return catalogue;
}

const std::array<CatalogueKey, CatalogueKeyCount> &CatalogueKeys()
{
    static const std::array<CatalogueKey, CatalogueKeyCount> keys = makeKeys();
    return keys;
}

int extensionTypeIndex(QStringView code)
{
    for (int t = 0; t < ExtensionTypeCount; ++t) {
        if (code == QLatin1String(catalogue[t].code))
            return t;
    }
    return -1;
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
    const char16_t u = c.unicode();
    if (u >= 128)
        return false;
    switch (u) {
    case 0:
    case '"':
    case ',':
    case '.':
    case '/':
    case ':':
    case ';':
    case '<':
    case '>':
    case '\\':
    case '|':
        return true;
    default:
        return false;
    }
}

QString DestinationSettingForKey(const QString &key, const SettingsRecord &settings)
{
    if (key == QLatin1String(AllFilesKey))
        return QLatin1String(AllFilesDestinationSetting);
    for (const CatalogueKey &k : CatalogueKeys()) {
        if (key == k.key())
            return QLatin1String(k.destinationSetting);
    }
    if (key == freeExtensionKey(settings.ExtEdit1Text))
        return QLatin1String(freeSlots[0].destinationSetting);
    if (key == freeExtensionKey(settings.ExtEdit2Text))
        return QLatin1String(freeSlots[1].destinationSetting);
    return QString();
}

} // namespace vantora
