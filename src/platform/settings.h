// Per-user settings store: string values under application, section and key,
// kept as an INI file per application in the user's config folder.
#pragma once

#include <string>

namespace zentor {

void SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                 const std::string& value);
std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                       const std::string& defaultValue = "");
void DeleteSetting(const std::string& app, const std::string& section);
void DeleteSetting(const std::string& app, const std::string& section, const std::string& key);

// Folder that holds "<app>/<app>.conf"; empty restores the user's config folder.
void SetSettingsFolder(const std::string& folder);
std::string SettingsFilePath(const std::string& app);

}  // namespace zentor
