#pragma once

#include <QString>
#include <QStringList>

#include <array>

namespace vantora {

enum class ExtensionGroup
{
    Image,
    Video,
    Audio
};

// The groups in the order the dialog shows them.
inline constexpr std::array<ExtensionGroup, 3> ExtensionGroups{ExtensionGroup::Image, ExtensionGroup::Video,
                                                               ExtensionGroup::Audio};

// The dialog's label above a group's check boxes.
QString extensionGroupCaption(ExtensionGroup group);

// One named file type the user can tick. Three types have a longer alias key with a destination of its
// own; the alias has no check box and no selection of its own. Every name that belongs to a type (its
// check box, its stored values) is made from its code here.
struct ExtensionType
{
    const char *code; // also the caption of its check box
    ExtensionGroup group;
    int place;             // where its box stands among its group's, seven a line, left to right
    const char *alias;     // or nullptr
    bool clickWritesAlias; // whether a click on the box sets the alias's folder too
    bool chosenByDefault;

    QString codeText() const { return QLatin1String(code); }
    QString key() const { return QLatin1String("*.") + QLatin1String(code); }
    // The row keys: the type's own, then its alias.
    QStringList keys() const;

    QString checkBoxName() const;       // "<code>CheckBox"
    QString selectionSetting() const;   // "<code>Checked"
    QString destinationSetting() const; // "<code>Dir"
    QString aliasSetting() const;       // "<alias>Dir", or empty without an alias
    // The settings a click on the check box writes the dialog's folder into.
    QStringList clickDestinationSettings() const;
};

// The one list of file types: adding a type is one line here. The order is the order of rebuilt rows,
// of every search in this area and of the stored values.
inline constexpr auto ExtensionTypes = [] {
    using G = ExtensionGroup;
    return std::to_array<ExtensionType>({
        {"JPG", G::Image, 0, "JPEG", true, true},     {"TIF", G::Image, 1, "TIFF", true, true},
        {"PNG", G::Image, 2, nullptr, false, false},  {"GIF", G::Image, 3, nullptr, false, false},
        {"BMP", G::Image, 4, nullptr, false, false},  {"PSD", G::Image, 5, nullptr, false, false},
        {"DNG", G::Image, 6, nullptr, false, false},  {"NEF", G::Image, 7, nullptr, false, false},
        {"CR2", G::Image, 8, nullptr, false, false},  {"PEF", G::Image, 9, nullptr, false, false},
        {"ARW", G::Image, 10, nullptr, false, false}, {"ORF", G::Image, 11, nullptr, false, false},
        {"RW2", G::Image, 12, nullptr, false, false}, {"RAF", G::Image, 13, nullptr, false, false},
        {"MOV", G::Video, 0, nullptr, false, true},   {"MP4", G::Video, 1, nullptr, false, true},
        {"AVI", G::Video, 2, nullptr, false, true},   {"MPG", G::Video, 3, "MPEG", false, false},
        {"WMV", G::Video, 4, nullptr, false, false},  {"MKV", G::Video, 5, nullptr, false, false},
        {"FLV", G::Video, 6, nullptr, false, false},  {"WAV", G::Audio, 0, nullptr, false, false},
        {"MP3", G::Audio, 1, nullptr, false, false},  {"AAC", G::Audio, 2, nullptr, false, false},
        {"WMA", G::Audio, 3, nullptr, false, false},  {"M4A", G::Audio, 4, nullptr, false, false},
        {"FLAC", G::Audio, 6, nullptr, false, false}, {"MID", G::Audio, 5, nullptr, false, false},
    });
}();

inline constexpr int ExtensionTypeCount = int(ExtensionTypes.size());
inline constexpr int JpgType = 0;

// The row keys of all types, each alias counted.
inline constexpr int CatalogueKeyCount = [] {
    int n = 0;
    for (const ExtensionType &t : ExtensionTypes)
        n += t.alias ? 2 : 1;
    return n;
}();

// The types in catalogue order.
const std::array<ExtensionType, ExtensionTypeCount> &ExtensionCatalogue();

// Index of the type with that code (case counts), or -1.
int extensionTypeIndex(QStringView code);

} // namespace vantora
