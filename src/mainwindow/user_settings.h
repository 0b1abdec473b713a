// The per-user defaults kept in the settings store's "User" section, and the
// move of the older binary user-settings file into it.
#pragma once

#include <string>

namespace zentor {

constexpr const char* kLegacyUserFile = "QelUser";

// Writes "On", "MicChannel", "AutoMixerOn" and the twelve colours; true when
// they read back as written.
bool SaveUserSettings();

// When "On" is exactly "T": takes the microphone channel (33 or 99), the
// automatic mixer flag ("T"/"F") and the colours (RGB values) that are present
// and valid; everything else keeps its value.
void ReadUserSettings();

// Reads the older file's complete values (12 colours, then the mixer flag and
// the microphone channel while the file lasts), writes the "User" section and
// deletes the file once that succeeded. True when a file was migrated.
bool MigrateLegacyUserFile(const std::string& path = kLegacyUserFile);

}  // namespace zentor
