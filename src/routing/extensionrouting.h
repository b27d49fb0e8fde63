#pragma once

#include "routing/extensionrow.h"

#include <QString>

#include <array>
#include <functional>
#include <optional>

namespace vantora {

struct SettingsRecord;

// The two copies of the extension table: the main window's (used by runs) and the dialog's.
enum class ExtensionTable
{
    Main,
    Dialog
};

// What the row logic reads from the dialog's choices and the few changes it makes to them. Ticking a
// box must run that box's click handling when, and only when, its state changes, exactly as a user's
// click would; that is what ends the nesting of EnsureSelection.
class ExtensionChoices
{
public:
    virtual ~ExtensionChoices() = default;

    virtual bool allFilesTicked() const = 0;
    virtual bool typeTicked(int type) const = 0;
    virtual QString freeText(int slot) const = 0;
    virtual void emptySecondFreeText() = 0;
    virtual void tickAllFiles() = 0;
    virtual void tickType(int type) = 0;
};

// The rows of both extension tables and the rules that keep them in step with the choices and the
// settings. Row indexes are 0-based. Everything runs on the UI thread and may re-enter itself through
// ExtensionChoices.
class ExtensionRouting final
{
public:
    ExtensionRouting(SettingsRecord &settings, ExtensionChoices &choices);

    const ExtensionRows &rows(ExtensionTable table) const;
    // Called after every change of a table's rows.
    std::function<void(ExtensionTable)> rowsChanged;

    // The text a free-extension field had when it last received focus.
    QString enterText(int slot) const { return m_enterText.at(slot); }

    void SyncTypeRow(const QString &code, int type, const QString &destination);
    void SyncFreeExtensionRow(int slot, const QString &previous, const QString &destination);
    void RebuildExtensionTable(const QString &allFilesDestination);
    void EnsureSelection();

    // Start-up: the rebuild from the stored folders, then one more pass over every key, which adds no
    // row the rebuild did not add and lets EnsureSelection repair a stored choice of nothing.
    void rebuildFromSettings();

    // Handlers of the dialog; dialogFolder is the dialog's staged folder.
    void AllFileCheckBoxClick(const QString &dialogFolder);
    void TypeCheckBoxClick(int type, const QString &dialogFolder);
    void FreeExtensionEnter(int slot, const QString &dialogFolder);
    void FreeExtensionExit(int slot, const QString &dialogFolder);

    // Destination assignment from a window's staged folder; row < 0 (no current row) changes nothing.
    void SetSelectedRowDestination(ExtensionTable window, int row, const QString &staged);
    void SetAllRowDestinations(ExtensionTable window, const QString &staged);

    // A destination typed into one table: that table only, no setting.
    void setTypedDestination(ExtensionTable table, int row, const QString &folder);

    // The main table's destination for a file, all-files mode taken from the "AllFileChecked" setting.
    QString LookupExtensionDestination(const QString &fileName) const;

private:
    ExtensionRows &tableRows(ExtensionTable table);
    void appendRow(const QString &key, const QString &destination);
    // The choice that takes a key's files, with its own spelling of the key and its folder setting.
    struct RowOwner
    {
        QString key;
        QString setting;
    };
    std::optional<RowOwner> ownerOf(const QString &key) const;
    void removeRowIfUnclaimed(const QString &key);
    void spellAsOwner(const QString &key);
    // One pass over every key with the stored destinations.
    void syncEveryKey();
    void changed(ExtensionTable table);
    void changedBoth();

    SettingsRecord &m_settings;
    ExtensionChoices &m_choices;
    ExtensionRows m_main;
    ExtensionRows m_dialog;
    std::array<QString, 2> m_enterText;
};

} // namespace vantora
