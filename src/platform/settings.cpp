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

// The values of keys as they were before a change, absent ones as invalid.
using OldValues = std::vector<std::pair<QString, QVariant>>;

OldValues Note(QSettings& s, const QStringList& keys) {
  OldValues old;
  for (const QString& key : keys) old.emplace_back(key, s.value(key));
  return old;
}

// Writes the changes to the file now; true when the file took them. Only an
// access error fails: a malformed old file is replaced by a good one. A change
// the file did not take is undone in Qt's in-process cache too, so a later
// read and the next save see what the file holds.
bool Written(QSettings& s, const OldValues& old) {
  s.sync();
  if (s.status() != QSettings::AccessError) return true;
  for (const auto& [key, value] : old) {
    if (value.isValid()) s.setValue(key, value);
    else s.remove(key);
  }
  return false;
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
  const OldValues old = Note(s, {Key(section, key)});
  s.setValue(Key(section, key), QString::fromStdString(value));
  return Written(s, old);
}

bool SaveSettings(const std::string& app, const std::string& section, const SettingValues& values) {
  if (g_readOnly) return false;
  QSettings s = Open(app);
  QStringList keys;
  for (const auto& [key, value] : values) keys.push_back(Key(section, key));
  const OldValues old = Note(s, keys);
  for (const auto& [key, value] : values) s.setValue(Key(section, key), QString::fromStdString(value));
  return Written(s, old);
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
  const QString group = QString::fromStdString(section);
  QStringList keys;
  s.beginGroup(group);
  for (const QString& key : s.allKeys()) keys.push_back(group + "/" + key);
  s.endGroup();
  const OldValues old = Note(s, keys);
  s.remove(group);
  return Written(s, old);
}

bool DeleteSetting(const std::string& app, const std::string& section, const std::string& key) {
  if (g_readOnly) return false;
  QSettings s = Open(app);
  const OldValues old = Note(s, {Key(section, key)});
  s.remove(Key(section, key));
  return Written(s, old);
}

}  // namespace zentor
