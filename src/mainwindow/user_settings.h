// The per-user defaults kept in the settings store's "User" section, and the
// move of the older binary user-settings file into it.
#pragma once

#include <string>

namespace zentor {

constexpr const char* kLegacyUserFile = "QelUser";
// Shown when the user defaults could not be written (the store keeps its old values).
constexpr const char* kUserSettingsNotSaved = "Error 5871: The user settings could not be saved.";
// Shown when the delete command could not mark the mixer settings deleted.
constexpr const char* kMixerSettingsNotDeleted = "Error 5872: The AutoMixer settings could not be deleted.";

// Writes "On", "MicChannel", "AutoMixerOn" and the twelve colours in one write
// of the settings store; true when the store's file took them.
bool SaveUserSettings();
// The same, showing kUserSettingsNotSaved when the write failed.
bool SaveUserSettingsOrSay();

// When "On" is exactly "T": takes the microphone channel (33 or 99), the
// automatic mixer flag ("T"/"F") and the colours (RGB values) that are present
// and valid; everything else keeps its value.
void ReadUserSettings();

// Reads the older file's complete values (12 colours, then the mixer flag and
// the microphone channel while the file lasts), writes the "User" section and
// deletes the file once that succeeded. True when a file was migrated; when the
// store could not be written the file stays for the next start and
// kUserSettingsNotSaved is shown.
bool MigrateLegacyUserFile(const std::string& path = kLegacyUserFile);

}  // namespace zentor
