#include "platform/settings.h"

#include <QSettings>
#include <QStandardPaths>

namespace zentor {

namespace {
std::string g_folder;
bool g_readOnly = false;

QSettings Open(const std::string& app) {
  return QSettings(QString::fromStdString(SettingsFilePath(app)), QSettings::IniFormat);
}

QString Key(const std::string& section, const std::string& key) {
  return QString::fromStdString(section) + "/" + QString::fromStdString(key);
}

// Writes the changes to the file now; true when the file took them.
bool Written(QSettings& s) {
  s.sync();
  return s.status() == QSettings::NoError;
}
}  // namespace

void SetSettingsReadOnly(bool readOnly) { g_readOnly = readOnly; }

void SetSettingsFolder(const std::string& folder) { g_folder = folder; }

std::string SettingsFilePath(const std::string& app) {
  std::string base = g_folder;
  if (base.empty()) base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toStdString();
  return base + "/" + app + "/" + app + ".conf";
}

bool SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                 const std::string& value) {
  if (g_readOnly) return false;
  QSettings s = Open(app);
  s.setValue(Key(section, key), QString::fromStdString(value));
  return Written(s);
}

bool SaveSettings(const std::string& app, const std::string& section, const SettingValues& values) {
  if (g_readOnly) return false;
  QSettings s = Open(app);
  for (const auto& [key, value] : values) s.setValue(Key(section, key), QString::fromStdString(value));
  return Written(s);
}

std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                       const std::string& defaultValue) {
  QSettings s = Open(app);
  QVariant v = s.value(Key(section, key));
  if (!v.isValid()) return defaultValue;
  return v.toString().toStdString();
}

bool DeleteSetting(const std::string& app, const std::string& section) {
  if (g_readOnly) return false;
  QSettings s = Open(app);
  s.remove(QString::fromStdString(section));
  return Written(s);
}

bool DeleteSetting(const std::string& app, const std::string& section, const std::string& key) {
  if (g_readOnly) return false;
  QSettings s = Open(app);
  s.remove(Key(section, key));
  return Written(s);
}

}  // namespace zentor
