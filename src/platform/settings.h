// Per-user settings store: string values under application, section and key,
// kept as an INI file per application in the user's config folder. Every
// change is written to the file at once (QSettings::sync()) and reports
// whether the file took it (QSettings::status()); Qt replaces the file whole,
// so a failed write keeps the old one.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace zentor {

using SettingValues = std::vector<std::pair<std::string, std::string>>;

// False when the store could not be written.
bool SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                 const std::string& value);
// Every value of one section in a single write; false when the store could not be written.
bool SaveSettings(const std::string& app, const std::string& section, const SettingValues& values);
std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                       const std::string& defaultValue = "");
bool DeleteSetting(const std::string& app, const std::string& section);
bool DeleteSetting(const std::string& app, const std::string& section, const std::string& key);

// While read-only (the command line), every change is refused unwritten and
// reported as not taken; reads are unchanged.
void SetSettingsReadOnly(bool readOnly);

// Folder that holds "<app>/<app>.conf"; empty restores the user's config folder.
void SetSettingsFolder(const std::string& folder);
std::string SettingsFilePath(const std::string& app);

}  // namespace zentor
