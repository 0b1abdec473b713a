#include "mainwindow/user_settings.h"

#include <filesystem>
#include <vector>

#include "base/binary_io.h"
#include "core/helpers.h"
#include "core/records.h"
#include "base/text_number.h"
#include "display/plot_colours.h"
#include "platform/dialogs.h"
#include "platform/settings.h"

namespace zentor {

namespace {

constexpr const char* kApp = "Zentor";
constexpr const char* kSection = "User";
constexpr int kStoredColours = 12;

std::string ColourKey(int i) { return "Color" + Str(static_cast<int32_t>(i)); }

bool ValidMicChannel(int32_t code) { return code == kMicOnRightInput || code == kMicOnLeftInput; }
bool ValidColour(int64_t c) { return c >= 0 && c <= 0xFFFFFF; }

// The whole-number value of a stored text, when it is one.
bool ReadLong(const std::string& key, int32_t& out) {
  const std::string text = GetSetting(kApp, kSection, key);
  if (!IsNumeric(text)) return false;
  bool ok = true;
  const int32_t v = CLng(Val(text), &ok);
  if (!ok) return false;
  out = v;
  return true;
}

SettingValues UserValues() {
  SettingValues v;
  v.emplace_back("On", "T");
  v.emplace_back("MicChannel", Str(MicChannel));
  v.emplace_back("AutoMixerOn", AutoMixerOn ? "T" : "F");
  for (int i = 0; i < kStoredColours; ++i) v.emplace_back(ColourKey(i), Str(PlotColours[i]));
  return v;
}

}  // namespace

bool SaveUserSettings() { return SaveSettings(kApp, kSection, UserValues()); }

bool SaveUserSettingsOrSay() {
  if (SaveUserSettings()) return true;
  MsgBox(kUserSettingsNotSaved);
  return false;
}

void ReadUserSettings() {
  if (GetSetting(kApp, kSection, "On") != "T") return;
  int32_t v = 0;
  if (ReadLong("MicChannel", v) && ValidMicChannel(v)) MicChannel = v;
  const std::string mixer = GetSetting(kApp, kSection, "AutoMixerOn");
  if (mixer == "T") AutoMixerOn = true;
  if (mixer == "F") AutoMixerOn = false;
  for (int i = 0; i < kStoredColours; ++i)
    if (ReadLong(ColourKey(i), v) && ValidColour(v)) PlotColours[i] = v;
}

bool MigrateLegacyUserFile(const std::string& path) {
  if (!FileExists(path)) return false;
  std::vector<uint8_t> bytes;
  // Twelve colours, the mixer flag and the microphone channel.
  constexpr int64_t kLargestLegacyFile = 4 * kStoredColours + 2 + 4;
  if (!ReadWholeFile(path, bytes, kLargestLegacyFile)) return false;
  BinaryReader in(bytes);
  int colours = 0;
  for (; colours < kStoredColours && in.remaining() >= 4; ++colours) {
    int32_t c = 0;
    in.Long(c);
    if (ValidColour(c)) PlotColours[colours] = c;
  }
  // A file cut inside the colours holds nothing further.
  const bool whole = colours == kStoredColours;
  if (whole && in.remaining() >= 2) {
    int16_t flag = 0;
    in.Integer(flag);
    if (flag == 0 || flag == -1) AutoMixerOn = flag == -1;
  }
  if (whole && in.remaining() >= 4) {
    int32_t code = 0;
    in.Long(code);
    if (ValidMicChannel(code)) MicChannel = code;
  }
  // The older file goes only once its values are in the store.
  if (!SaveUserSettingsOrSay()) return false;
  std::error_code ec;
  std::filesystem::remove(path, ec);
  return true;
}

}  // namespace zentor
