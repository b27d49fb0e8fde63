#pragma once

#include <QString>
#include <QStringList>

#include <array>

namespace vantora {

struct SettingsRecord;

enum class ExtensionGroup
{
    Image,
    Video,
    Audio
};

// The dialog's label above a group's check boxes.
QString extensionGroupCaption(ExtensionGroup group);

// One named file type the user can tick. Three types have a longer alias key with a destination of its
// own; the alias has no check box and no selection of its own.
struct ExtensionType
{
    const char *code;     // "JPG": also the caption of its check box
    const char *checkBox; // "JPGCheckBox"
    ExtensionGroup group;
    const char *alias;              // "JPEG", or nullptr
    const char *selectionSetting;   // "JPGChecked"
    const char *destinationSetting; // "JPGDir"
    const char *aliasSetting;       // "JPEGDir", or nullptr
    bool clickWritesAlias;          // a click on MPG leaves "MPEGDir" alone
    bool chosenByDefault;

    QString codeText() const { return QLatin1String(code); }
    QString key() const { return QLatin1String("*.") + QLatin1String(code); }
    // The row keys: the type's own, then its alias.
    QStringList keys() const;
    // The settings a click on the check box writes the dialog's folder into.
    QStringList clickDestinationSettings() const;
};

inline constexpr int ExtensionTypeCount = 28;
inline constexpr int CatalogueKeyCount = 31;
inline constexpr int JpgType = 0;

// The 28 types in catalogue order: the order of rebuilt rows and of every search in this area.
const std::array<ExtensionType, ExtensionTypeCount> &ExtensionCatalogue();

// The 31 row keys in catalogue order, each alias right behind its type.
struct CatalogueKey
{
    const char *code;               // "JPG" or "JPEG"
    int type;                       // index into ExtensionCatalogue()
    const char *destinationSetting; // "JPGDir" or "JPEGDir"

    QString codeText() const { return QLatin1String(code); }
    QString key() const { return QLatin1String("*.") + QLatin1String(code); }
};
const std::array<CatalogueKey, CatalogueKeyCount> &CatalogueKeys();

// Index of the type with that code (case counts), or -1.
int extensionTypeIndex(QStringView code);

// The two free extensions typed into ExtEdit1 / ExtEdit2 (slot 0 and 1).
struct FreeExtensionSlot
{
    const char *field;              // "ExtEdit1"
    const char *textSetting;        // "ExtEdit1Text"
    const char *destinationSetting; // "Ext1Dir"
};
inline constexpr int FreeExtensionCount = 2;
inline constexpr int FreeExtensionMaxLength = 5;
const std::array<FreeExtensionSlot, FreeExtensionCount> &FreeExtensionSlots();
// "*." followed by the text exactly as typed.
QString freeExtensionKey(const QString &text);

// All-files mode.
inline constexpr const char *AllFilesKey = "*.*";
inline constexpr const char *AllFilesSelectionSetting = "AllFileChecked";
inline constexpr const char *AllFilesDestinationSetting = "AllFileDir";

// True for a typed character that cannot stand in a free extension. Unlike the name filter, "*" and "?"
// pass and "." is refused.
bool ExtensionKeyFilter(QChar c);

// The setting that remembers the folder of the row with this key, comparing with case counting against
// "*.*", the 31 catalogue keys, then "*." followed by the stored free extension texts. Empty when none.
QString DestinationSettingForKey(const QString &key, const SettingsRecord &settings);

} // namespace vantora
