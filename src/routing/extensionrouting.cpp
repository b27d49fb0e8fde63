#include "routing/extensionrouting.h"

#include "platform/specialfolders.h"
#include "routing/extensioncatalogue.h"
#include "routing/extensiontable.h"
#include "settings/settingsrecord.h"

#include <QFileInfo>

namespace vantora {

namespace {

void setText(SettingsRecord &settings, const QString &name, const QString &value)
{
    if (QString *field = settings.textField(name))
        *field = value;
}

QString textOf(SettingsRecord &settings, const QString &name)
{
    const QString *field = settings.textField(name);
    return field ? *field : QString();
}

// A missing folder is replaced for the row only; the setting keeps what the user stored.
QString rowFolder(const QString &destination)
{
    if (!destination.isEmpty() && QFileInfo(destination).isDir())
        return destination;
    return GetSpecialFolderPath(CSIDL_MYPICTURES);
}

} // namespace

ExtensionRouting::ExtensionRouting(SettingsRecord &settings, ExtensionChoices &choices)
    : m_settings(settings), m_choices(choices)
{
}

const ExtensionRows &ExtensionRouting::rows(ExtensionTable table) const
{
    return table == ExtensionTable::Main ? m_main : m_dialog;
}

ExtensionRows &ExtensionRouting::tableRows(ExtensionTable table)
{
    return table == ExtensionTable::Main ? m_main : m_dialog;
}

void ExtensionRouting::changed(ExtensionTable table)
{
    if (rowsChanged)
        rowsChanged(table);
}

void ExtensionRouting::changedBoth()
{
    changed(ExtensionTable::Main);
    changed(ExtensionTable::Dialog);
}

void ExtensionRouting::appendRow(const QString &key, const QString &destination)
{
    m_main.append({key, destination});
    m_dialog.append({key, destination});
    changedBoth();
}

std::optional<ExtensionRouting::RowOwner> ExtensionRouting::ownerOf(const QString &key) const
{
    for (const CatalogueKey &k : CatalogueKeys()) {
        if (m_choices.typeTicked(k.type) && k.key().compare(key, Qt::CaseInsensitive) == 0)
            return RowOwner{k.key(), k.destinationSetting()};
    }
    const auto &slots = FreeExtensionSlots();
    for (int slot = 0; slot < FreeExtensionCount; ++slot) {
        const QString text = m_choices.freeText(slot);
        if (!text.isEmpty() && freeExtensionKey(text).compare(key, Qt::CaseInsensitive) == 0)
            return RowOwner{freeExtensionKey(text), QLatin1String(slots[slot].destinationSetting)};
    }
    return std::nullopt;
}

// Rows are shared between choices that spell the same key in different case ("jpg" typed while JPG is
// ticked): a row goes only when no choice still takes its files. The row kept for another choice is
// spelled as that choice's key and its folder is stored in that choice's setting, where the next start
// finds it.
void ExtensionRouting::removeRowIfUnclaimed(const QString &key)
{
    const int r = FindExtensionRow(m_main, key);
    if (r < 0)
        return;
    if (const std::optional<RowOwner> owner = ownerOf(key)) {
        spellAsOwner(key);
        // A stored folder that is missing stays stored, as when the row was made from it.
        const QString folder = m_main.at(r).folder;
        if (rowFolder(textOf(m_settings, owner->setting)) != folder)
            setText(m_settings, owner->setting, folder);
        return;
    }
    m_main.remove(r);
    if (r < m_dialog.size())
        m_dialog.remove(r);
    changedBoth();
}

// A row is spelled as the key of the choice that owns it, a ticked type before a free extension, so that
// a folder set on it by a button goes to the setting the next start builds the row from.
void ExtensionRouting::spellAsOwner(const QString &key)
{
    const std::optional<RowOwner> owner = ownerOf(key);
    const int r = FindExtensionRow(m_main, key);
    if (!owner || r < 0 || m_main.at(r).key == owner->key)
        return;
    m_main[r].key = owner->key;
    if (r < m_dialog.size())
        m_dialog[r].key = owner->key;
    changedBoth();
}

void ExtensionRouting::SyncTypeRow(const QString &code, int type, const QString &destination)
{
    if (!m_choices.allFilesTicked()) {
        const QString key = QLatin1String("*.") + code;
        const bool exists = FindExtensionRow(m_main, key) >= 0;
        if (m_choices.typeTicked(type) && !exists)
            appendRow(key, rowFolder(destination));
        else if (m_choices.typeTicked(type))
            spellAsOwner(key); // a free extension's row keeps its folder
        else if (exists)
            removeRowIfUnclaimed(key);
    }
    EnsureSelection();
}

void ExtensionRouting::SyncFreeExtensionRow(int slot, const QString &previous, const QString &destination)
{
    if (!m_choices.allFilesTicked()) {
        const QString previousKey = freeExtensionKey(previous);
        if (m_choices.freeText(0) == m_choices.freeText(1)) {
            m_choices.emptySecondFreeText();
            removeRowIfUnclaimed(previousKey);
        } else if (m_choices.freeText(slot).isEmpty()) {
            removeRowIfUnclaimed(previousKey);
        }
        // A field that keeps its text needs its row; the first field can lose the second one's text
        // above and still needs its own (the same texts stored for both fields load this way).
        const QString text = m_choices.freeText(slot);
        if (!text.isEmpty()) {
            const QString key = freeExtensionKey(text);
            if (previousKey.compare(key, Qt::CaseInsensitive) != 0)
                removeRowIfUnclaimed(previousKey);
            if (FindExtensionRow(m_main, key) < 0)
                appendRow(key, rowFolder(destination));
            else
                spellAsOwner(key); // "raw" changed to "RAW": the row follows, unless a type owns it
        }
    }
    EnsureSelection();
}

void ExtensionRouting::EnsureSelection()
{
    for (int t = 0; t < ExtensionTypeCount; ++t) {
        if (m_choices.typeTicked(t))
            return;
    }
    for (int slot = 0; slot < FreeExtensionCount; ++slot) {
        if (!m_choices.freeText(slot).isEmpty())
            return;
    }
    m_choices.tickAllFiles();
    m_choices.tickType(JpgType);
}

void ExtensionRouting::RebuildExtensionTable(const QString &allFilesDestination)
{
    m_main.clear();
    m_dialog.clear();
    changedBoth();
    if (m_choices.allFilesTicked()) {
        appendRow(QLatin1String(AllFilesKey), allFilesDestination);
        return;
    }
    syncEveryKey();
}

void ExtensionRouting::syncEveryKey()
{
    for (const CatalogueKey &k : CatalogueKeys())
        SyncTypeRow(k.codeText(), k.type, textOf(m_settings, k.destinationSetting()));
    const auto &slots = FreeExtensionSlots();
    for (int slot = 0; slot < FreeExtensionCount; ++slot)
        SyncFreeExtensionRow(slot, m_enterText[slot],
                             textOf(m_settings, QLatin1String(slots[slot].destinationSetting)));
}

void ExtensionRouting::rebuildFromSettings()
{
    RebuildExtensionTable(m_settings.AllFileDir);
    syncEveryKey();
}

void ExtensionRouting::AllFileCheckBoxClick(const QString &dialogFolder)
{
    m_settings.AllFileChecked = m_choices.allFilesTicked();
    m_settings.AllFileDir = dialogFolder;
    RebuildExtensionTable(dialogFolder);
}

void ExtensionRouting::TypeCheckBoxClick(int type, const QString &dialogFolder)
{
    const ExtensionType &entry = ExtensionCatalogue()[type];
    m_settings.types[type].checked = m_choices.typeTicked(type);
    for (const QString &setting : entry.clickDestinationSettings())
        setText(m_settings, setting, dialogFolder);
    SyncTypeRow(entry.codeText(), type, dialogFolder);
    if (entry.alias)
        SyncTypeRow(QLatin1String(entry.alias), type, dialogFolder);
}

void ExtensionRouting::FreeExtensionEnter(int slot, const QString &dialogFolder)
{
    m_enterText[slot] = m_choices.freeText(slot);
    setText(m_settings, QLatin1String(FreeExtensionSlots()[slot].destinationSetting), dialogFolder);
    SyncFreeExtensionRow(slot, m_enterText[slot], dialogFolder);
}

void ExtensionRouting::FreeExtensionExit(int slot, const QString &dialogFolder)
{
    const FreeExtensionSlot &s = FreeExtensionSlots()[slot];
    setText(m_settings, QLatin1String(s.textSetting), m_choices.freeText(slot));
    setText(m_settings, QLatin1String(s.destinationSetting), dialogFolder);
    SyncFreeExtensionRow(slot, m_enterText[slot], dialogFolder);
}

void ExtensionRouting::SetSelectedRowDestination(ExtensionTable window, int row, const QString &staged)
{
    if (row < 0 || row >= m_main.size() || row >= m_dialog.size())
        return;
    m_main[row].folder = staged;
    m_dialog[row].folder = staged;
    changedBoth();
    const QString setting = DestinationSettingForKey(rows(window).at(row).key, m_settings);
    if (!setting.isEmpty())
        setText(m_settings, setting, rows(window).at(row).folder);
}

void ExtensionRouting::SetAllRowDestinations(ExtensionTable window, const QString &staged)
{
    const ExtensionRows &own = rows(window);
    if (own.isEmpty())
        return;
    for (int r = 0; r < own.size(); ++r) {
        if (r < m_main.size())
            m_main[r].folder = staged;
        if (r < m_dialog.size())
            m_dialog[r].folder = staged;
        const QString setting = DestinationSettingForKey(own.at(r).key, m_settings);
        if (!setting.isEmpty())
            setText(m_settings, setting, staged);
    }
    changedBoth();
}

void ExtensionRouting::setTypedDestination(ExtensionTable table, int row, const QString &folder)
{
    ExtensionRows &own = tableRows(table);
    if (row < 0 || row >= own.size() || own[row].folder == folder)
        return;
    own[row].folder = folder;
    changed(table);
}

QString ExtensionRouting::LookupExtensionDestination(const QString &fileName) const
{
    return vantora::LookupExtensionDestination(m_main, fileName, m_settings.AllFileChecked);
}

} // namespace vantora
