#pragma once

#include "settings/settingsrecord.h"

#include <QString>

namespace vantora {

class RegistryStore;

// Where the settings live in the registry store (per user).
QString settingsKeyPath();

// Shown once when the stored settings stop short of the full set.
QString partialSettingsMessage();

enum class LoadOutcome
{
    NoKey,    // first start: the defaults stand
    Complete, // every value read
    Partial,  // stopped at the first missing or wrongly typed value; the rest keep their defaults
};

// Fills the record from its defaults and the store. The caller shows partialSettingsMessage() on Partial.
LoadOutcome LoadSettings(RegistryStore &store, SettingsRecord &record);

// Replaces a missing source or destination folder, then writes all values in order. False when the
// store could not be written.
bool SaveSettings(RegistryStore &store, SettingsRecord &record);

// The folder rules shared by load and save: a text that is not an existing folder becomes the special folder.
void ReplaceMissingSourceAndDestination(SettingsRecord &record);

} // namespace vantora
