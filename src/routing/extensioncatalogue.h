#pragma once

#include "settings/extensiontype.h"

#include <QString>

#include <array>

namespace vantora {

struct SettingsRecord;

// The row keys in catalogue order, each alias right behind its type.
struct CatalogueKey
{
    const char *code; // a type's code or its alias
    int type;         // index into ExtensionCatalogue()
    bool isAlias;

    QString codeText() const { return QLatin1String(code); }
    QString key() const { return QLatin1String("*.") + QLatin1String(code); }
    QString destinationSetting() const;
};
const std::array<CatalogueKey, CatalogueKeyCount> &CatalogueKeys();

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
// "*.*", the catalogue keys, then "*." followed by the stored free extension texts. Empty when none.
QString DestinationSettingForKey(const QString &key, const SettingsRecord &settings);

} // namespace vantora
