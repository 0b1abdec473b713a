#include "platform/settings.h"

#include <QSettings>
#include <QStandardPaths>

namespace zentor {

namespace {
std::string g_folder;

QSettings Open(const std::string& app) {
  return QSettings(QString::fromStdString(SettingsFilePath(app)), QSettings::IniFormat);
}

QString Key(const std::string& section, const std::string& key) {
  return QString::fromStdString(section) + "/" + QString::fromStdString(key);
}
}  // namespace

void SetSettingsFolder(const std::string& folder) { g_folder = folder; }

std::string SettingsFilePath(const std::string& app) {
  std::string base = g_folder;
  if (base.empty()) base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toStdString();
  return base + "/" + app + "/" + app + ".conf";
}

void SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                 const std::string& value) {
  QSettings s = Open(app);
  s.setValue(Key(section, key), QString::fromStdString(value));
  s.sync();
}

std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                       const std::string& defaultValue) {
  QSettings s = Open(app);
  QVariant v = s.value(Key(section, key));
  if (!v.isValid()) return defaultValue;
  return v.toString().toStdString();
}

void DeleteSetting(const std::string& app, const std::string& section) {
  QSettings s = Open(app);
  s.remove(QString::fromStdString(section));
  s.sync();
}

void DeleteSetting(const std::string& app, const std::string& section, const std::string& key) {
  QSettings s = Open(app);
  s.remove(Key(section, key));
  s.sync();
}

}  // namespace zentor
