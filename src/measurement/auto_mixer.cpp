#include "measurement/auto_mixer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "base/text_number.h"
#include "core/helpers.h"
#include "core/records.h"
#include "mainwindow/data_plotter.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/mixer/mixer_api.h"
#include "platform/settings.h"

namespace zentor {

MixerRecords MixerSettings{};
MixerRecords MixerOriginalSettings{};
std::array<int32_t, kMixerNameCodes> MixerNameArray{};
int32_t MixerNameArrayLength = 0;
std::string AppFolder;

namespace {

constexpr const char* kApp = "Zentor";
constexpr const char* kSection = "Mixer";
constexpr const char* kShuttingOff = "Mixer Error: Shutting AutoMixer Off (Options->Mixer from main menu).";
constexpr const char* kMixerNotSaved = "Error 5873: The mixer settings could not be saved.";
constexpr int32_t kRecordBytes = 68;

namespace Site {
constexpr int32_t ReadOpen = 4652, ReadCaps = 4653, DestinationLine = 4656, DestinationControls = 4753,
                  DestinationValues = 4754, SourceLine = 4657, SourceControls = 3753, SourceValues = 3754,
                  SearchOpen = 4658, NameOpen = 4659, Write = 4397;
}

struct RestoreFailure {};

void MixerOff() {
  if (Forms::IsLoaded<DataPlotter>()) Forms::Get<DataPlotter>()->SetMixerOn(0);
  AutoMixerOn = false;
}

// A stored number: its whole part; a missing or non-numeric value fails the restore.
int32_t Load(const std::string& key) {
  const std::string text = GetSetting(kApp, kSection, key, "\x01");
  size_t p = text.find_first_not_of(' ');
  if (p == std::string::npos) throw RestoreFailure{};
  if (text[p] == '-' || text[p] == '+') ++p;
  if (p >= text.size() || !(std::isdigit(static_cast<unsigned char>(text[p])) || text[p] == '.'))
    throw RestoreFailure{};
  const double v = Fix(Val(text));
  if (!std::isfinite(v) || std::fabs(v) > 2147483647.0) throw RestoreFailure{};
  return static_cast<int32_t>(v);
}

// Name codes as the store keeps them: characters at positions 1..n, the length
// counting the 0 that ends the name.
void NameToCodes(const std::string& name, std::array<int32_t, kMixerNameCodes>& codes, int32_t& count) {
  std::string field = name.substr(0, 31);
  field.resize(32, '\0');
  codes.fill(0);
  int32_t n = 0;
  StringToCharCodes(field, codes, n);
  count = std::min(n + 1, 32);
}

// Everything the store or the older file keeps, as one value: decoded whole
// into a copy of what is in force before any of it is taken.
struct SavedMixer {
  MixerRecords Records{};
  int32_t SampleRate = 0;
  std::array<int32_t, kMixerNameCodes> Name{};
  int32_t NameLength = 0;
};

std::unique_ptr<SavedMixer> MixerInForce() {
  auto m = std::make_unique<SavedMixer>();
  m->Records = MixerSettings;
  m->SampleRate = EQConfig.SampleRate;
  m->Name = MixerNameArray;
  m->NameLength = MixerNameArrayLength;
  return m;
}

void PutInForce(const SavedMixer& m) {
  MixerSettings = m.Records;
  EQConfig.SampleRate = m.SampleRate;
  MixerNameArray = m.Name;
  MixerNameArrayLength = m.NameLength;
}

// Writes "SaveSetting", the first `count` records, the sample rate and the
// name in one write of the store; false when the store could not be written.
bool WriteAll(const SavedMixer& m, int32_t count) {
  SettingValues v;
  const auto put = [&v](const std::string& key, int32_t value) { v.emplace_back(key, Str(value)); };
  v.emplace_back("SaveSetting", "True");
  count = std::clamp(count, 0, kMixerRecordCount);
  for (int32_t i = 0; i < count; ++i) {
    const MixerControlRecord& r = m.Records[static_cast<size_t>(i)];
    const std::string n = Str(i);
    put("NumElements" + n, r.NumElements);
    put("DeviceNumber" + n, r.DeviceNumber);
    put("ControlID" + n, r.ControlID);
    put("ControlType" + n, r.ControlType);
    put("MultipleItems" + n, r.MultipleItems);
    put("ControlNum" + n, r.ControlNum);
    for (int32_t j = 0; j <= std::clamp(r.ControlNum, 0, kMaxControlValues); ++j)
      put("ControlSetting" + n + Str(j), r.ControlSetting[static_cast<size_t>(j)]);
  }
  put("SampleRate", m.SampleRate);
  const int32_t length = std::clamp(m.NameLength, 0, kMixerNameCodes);
  put("MixerNameArrayLength", length);
  for (int32_t k = 0; k < length; ++k) put("MixerNameArray" + Str(k), m.Name[static_cast<size_t>(k)]);
  return SaveSettings(kApp, kSection, v);
}

int32_t LittleLong(const std::vector<char>& bytes, size_t at) {
  uint32_t v = 0;
  for (int b = 3; b >= 0; --b) v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<size_t>(b)]);
  return static_cast<int32_t>(v);
}

void CheckRecord(const MixerControlRecord& r) {
  if (r.ControlNum < 0 || r.ControlNum > kMaxControlValues) throw RestoreFailure{};
}

// The store could not be written; what was read stays where it was.
struct StoreNotWritten {};

// Moves the older binary file into the store and deletes it. The file is
// decoded whole into a copy first: a file refused part-way, or a store that
// cannot take it, leaves the settings in force as they were.
void MigrateLegacyFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (!in.good() && !in.eof()) throw RestoreFailure{};
  if (bytes.size() < kRecordBytes) throw RestoreFailure{};
  const int32_t n = LittleLong(bytes, 0);
  if (n < 1 || n > kMixerRecordCount || bytes.size() < static_cast<size_t>(n) * kRecordBytes) throw RestoreFailure{};
  const std::unique_ptr<SavedMixer> m = MixerInForce();
  for (int32_t i = 0; i < n; ++i) {
    const size_t at = static_cast<size_t>(i) * kRecordBytes;
    MixerControlRecord& r = m->Records[static_cast<size_t>(i)];
    r.NumElements = LittleLong(bytes, at);
    r.DeviceNumber = LittleLong(bytes, at + 4);
    r.ControlID = LittleLong(bytes, at + 8);
    r.ControlType = LittleLong(bytes, at + 12);
    r.MultipleItems = LittleLong(bytes, at + 16);
    r.ControlNum = LittleLong(bytes, at + 20);
    for (size_t j = 0; j < r.ControlSetting.size(); ++j) r.ControlSetting[j] = LittleLong(bytes, at + 24 + 4 * j);
    CheckRecord(r);
  }
  m->Records[0].NumElements = n;
  size_t at = static_cast<size_t>(n) * kRecordBytes;
  if (at < bytes.size()) {
    if (bytes.size() - at < 4) throw RestoreFailure{};
    m->SampleRate = LittleLong(bytes, at);
    at += 4;
  }
  if (at < bytes.size()) {
    if (bytes.size() - at < 4 + 4 * kMixerNameCodes) throw RestoreFailure{};
    m->NameLength = std::clamp(LittleLong(bytes, at), 0, kMixerNameCodes);
    for (size_t k = 0; k < m->Name.size(); ++k) m->Name[k] = LittleLong(bytes, at + 4 + 4 * k);
  }
  if (!WriteAll(*m, n)) throw StoreNotWritten{};
  PutInForce(*m);
  std::error_code ec;
  std::filesystem::remove(path, ec);
}

// Reads the saved settings; a missing or bad value anywhere leaves the
// settings in force as they were.
void LoadFromStore() {
  const std::unique_ptr<SavedMixer> m = MixerInForce();
  const int32_t count = Load("NumElements" + Str(0));
  if (count < 0 || count > kMixerRecordCount) throw RestoreFailure{};
  m->Records[0].NumElements = count;
  for (int32_t i = 0; i < count; ++i) {
    MixerControlRecord& r = m->Records[static_cast<size_t>(i)];
    const std::string n = Str(i);
    r.NumElements = Load("NumElements" + n);
    r.DeviceNumber = Load("DeviceNumber" + n);
    r.ControlID = Load("ControlID" + n);
    r.ControlType = Load("ControlType" + n);
    r.MultipleItems = Load("MultipleItems" + n);
    r.ControlNum = Load("ControlNum" + n);
    CheckRecord(r);
    for (int32_t j = 0; j <= r.ControlNum; ++j)
      r.ControlSetting[static_cast<size_t>(j)] = Load("ControlSetting" + n + Str(j));
  }
  m->Records[0].NumElements = count;
  m->SampleRate = Load("SampleRate");
  m->NameLength = Load("MixerNameArrayLength");
  if (m->NameLength < 0) throw RestoreFailure{};
  m->NameLength = std::min(m->NameLength, kMixerNameCodes);
  for (int32_t k = 0; k < m->NameLength; ++k) m->Name[static_cast<size_t>(k)] = Load("MixerNameArray" + Str(k));
  PutInForce(*m);
}

// Reads the controls of one line into the records from position n on; false when a
// mixer call failed.
bool KeepLineControls(MixerApi& mixer, int32_t d, int32_t s, int32_t device, MixerRecords& records, int32_t& n) {
  const bool source = s >= 0;
  std::vector<MixerControlInfo> controls;
  if (!CheckMixerResult(mixer.LineControls(d, s, controls),
                        source ? Site::SourceControls : Site::DestinationControls))
    return false;
  for (const MixerControlInfo& c : controls) {
    if (!IsSupportedControlType(c.type) || n >= kMixerRecordCount) continue;
    const bool list = IsListControlType(c.type);
    // Longer lists than the record holds are not kept.
    if (list && (c.items < 1 || c.items > kMaxControlValues)) continue;
    const int32_t num = list ? c.items : kMixerChannelValues;
    std::vector<int32_t> values;
    if (!CheckMixerResult(mixer.GetValues(c.id, num, values), source ? Site::SourceValues : Site::DestinationValues))
      return false;
    MixerControlRecord& r = records[static_cast<size_t>(n)];
    r.ControlType = c.type;
    r.MultipleItems = c.items;
    r.DeviceNumber = device;
    r.ControlID = c.id;
    r.ControlNum = num;
    r.ControlSetting.fill(0);
    for (int32_t j = 0; j < num && j < static_cast<int32_t>(values.size()); ++j)
      r.ControlSetting[static_cast<size_t>(j + 1)] = values[static_cast<size_t>(j)];
    records[0].NumElements = ++n;
  }
  return true;
}

bool ReadLines(MixerApi& mixer, int32_t device, MixerRecords& records) {
  std::string name;
  int32_t destinations = 0;
  if (!CheckMixerResult(mixer.Caps(name, destinations), Site::ReadCaps)) return false;
  int32_t n = 0;
  MixerLineInfo line;
  for (int32_t d = 0; d < destinations; ++d) {
    if (!CheckMixerResult(mixer.LineInfo(d, -1, line), Site::DestinationLine)) return false;
    if (line.controls > 0 && !KeepLineControls(mixer, d, -1, device, records, n)) return false;
  }
  for (int32_t d = 0; d < destinations; ++d) {
    if (!CheckMixerResult(mixer.LineInfo(d, -1, line), Site::DestinationLine)) return false;
    const int32_t sources = line.connections;
    for (int32_t s = 0; s < sources; ++s) {
      MixerLineInfo src;
      if (!CheckMixerResult(mixer.LineInfo(d, s, src), Site::SourceLine)) return false;
      if (src.controls > 0 && !KeepLineControls(mixer, d, s, device, records, n)) return false;
    }
  }
  return true;
}

bool HoldsRecords(const MixerRecords& r) { return r[0].NumElements > 0; }

}  // namespace

int32_t MixerDeviceId(int32_t device) { return device == -1 ? 0 : device; }

int32_t IsSupportedControlType(int32_t type) {
  static constexpr std::array<uint32_t, 18> kKept{0x50030001, 0x20010002, 0x20010003, 0x20010001, 0x20010005, 0x20010004,
                                                  0x21010000, 0x20010000, 0x70010001, 0x71010001, 0x70010000, 0x71010000,
                                                  0x50030002, 0x50030003, 0x50030000, 0x50030004, 0x40020000, 0x40020001};
  return std::find(kKept.begin(), kKept.end(), static_cast<uint32_t>(type)) != kKept.end() ? 1 : 0;
}

bool CheckMixerResult(int32_t result, int32_t siteCode) {
  if (result == 0) return true;
  const std::string site = std::to_string(siteCode);
  std::string text;
  switch (result) {
    case 1: text = "MMSYSERR_ERROR"; break;
    case 2: text = "Invalid device identifier " + site; break;
    case 3: text = "Not enabled. " + site; break;
    case 4: text = "Allocated " + site; break;
    case 5: text = "The uMxId parameter specifies an invalid handle " + site; break;
    case 6: text = "No mixer device available for uMxId  " + site; break;
    case 7: text = "Unable to allocate resources. " + site; break;
    case 8: text = "Not supported. " + site; break;
    case 9: text = "Bad Error Number"; break;
    case 10: text = "One or more flags are invalid " + site; break;
    case 11: text = "One or more parameters are invalid. " + site; break;
    case 12: text = "MMSYSERR_HANDLEBUSY"; break;
    case 13: text = "MMSYSERR_INVALIDALIAS"; break;
    default: text = "unknown error  " + site; break;
  }
  MsgBox(text);
  MsgBox(kShuttingOff);
  MixerOff();
  return false;
}

void GetMixerNameCodes(int32_t device, std::array<int32_t, kMixerNameCodes>& codes, int32_t& count) {
  MixerApi& mixer = Mixers();
  if (!CheckMixerResult(mixer.Open(MixerDeviceId(device)), Site::NameOpen)) {
    mixer.Close();
    return;
  }
  std::string name;
  int32_t destinations = 0;
  const int32_t caps = mixer.Caps(name, destinations);
  mixer.Close();
  if (caps == 0) NameToCodes(name, codes, count);
}

bool FindSavedMixerDevice(std::span<const int32_t> codes, int32_t count, MixerRecords& records) {
  // A name needs one character and its ending 0.
  if (count < 2 || count > static_cast<int32_t>(codes.size())) return false;
  MixerApi& mixer = Mixers();
  for (int32_t m = 0; m < mixer.NumDevs(); ++m) {
    if (!CheckMixerResult(mixer.Open(MixerDeviceId(m)), Site::SearchOpen)) {
      mixer.Close();
      return false;
    }
    std::string name;
    int32_t destinations = 0;
    const int32_t caps = mixer.Caps(name, destinations);
    mixer.Close();
    if (caps != 0) continue;
    std::array<int32_t, kMixerNameCodes> own{};
    int32_t ownCount = 0;
    NameToCodes(name, own, ownCount);
    if (ownCount != count) continue;
    if (!std::equal(codes.begin() + 1, codes.begin() + count, own.begin() + 1)) continue;
    const int32_t n = std::clamp(records[0].NumElements, 0, kMixerRecordCount);
    for (int32_t i = 0; i < n; ++i) records[static_cast<size_t>(i)].DeviceNumber = m;
    return true;
  }
  return false;
}

void ReadMixerControls(int32_t device, MixerRecords& records) {
  records[0].NumElements = 0;
  MixerApi& mixer = Mixers();
  if (CheckMixerResult(mixer.Open(MixerDeviceId(device)), Site::ReadOpen)) ReadLines(mixer, device, records);
  mixer.Close();
}

void ApplyMixerControls(const MixerRecords& records) {
  MixerApi& mixer = Mixers();
  mixer.Open(MixerDeviceId(records[0].DeviceNumber));
  const int32_t n = std::clamp(records[0].NumElements, 0, kMixerRecordCount);
  for (int32_t i = 0; i < n; ++i) {
    const MixerControlRecord& r = records[static_cast<size_t>(i)];
    const int32_t num = std::clamp(r.ControlNum, 0, kMaxControlValues);
    const std::vector<int32_t> values(r.ControlSetting.begin() + 1, r.ControlSetting.begin() + 1 + num);
    if (!CheckMixerResult(mixer.SetValues(r.ControlID, values), Site::Write)) break;
  }
  mixer.Close();
}

int32_t RestoreAutoMixerSettings() {
  int32_t result = -1;
  MixerNameArrayLength = 0;
  const std::string legacy = AppFolder + "ZentorMixer";
  try {
    if (FileExists(legacy)) {
      try {
        MigrateLegacyFile(legacy);
      } catch (const RestoreFailure&) {
        // Kept aside so that the failure is not repeated at every opening.
        std::error_code ec;
        std::filesystem::rename(legacy, legacy + ".bad", ec);
        throw;
      } catch (const StoreNotWritten&) {
        // The file is good: it stays, to be moved at a later opening.
        MsgBox(kMixerNotSaved);
        throw RestoreFailure{};
      }
    }
    if (!AutoMixerOn) return -1;
    std::string saved = GetSetting(kApp, kSection, "SaveSetting", "");
    std::transform(saved.begin(), saved.end(), saved.begin(), [](unsigned char c) { return std::tolower(c); });
    if (saved != "true") return -1;
    LoadFromStore();
    if (EQConfig.SampleRate == 0) EQConfig.SampleRate = 48000;
    if (!FindSavedMixerDevice(MixerNameArray, MixerNameArrayLength, MixerSettings)) throw RestoreFailure{};
    result = MixerSettings[0].DeviceNumber;
    if (!HoldsRecords(MixerOriginalSettings)) {
      ReadMixerControls(result, MixerOriginalSettings);
      if (!AutoMixerOn) return result;
    }
    ApplyMixerControls(MixerSettings);
    return result;
  } catch (const RestoreFailure&) {
    MsgBox(kShuttingOff);
    MixerOff();
    return result;
  }
}

void SaveAutoMixerSettingsOnExit() {
  if (!AutoMixerOn) return;
  const MsgAnswer answer = MsgBox("Save current sound card & mixer settings for next session ? ",
                                  MsgButtons::YesNoCancel, MsgIcon::Question, "Mirabelt Zentor");
  if (answer == MsgAnswer::Yes) {
    GetMixerNameCodes(WaveDeviceId, MixerNameArray, MixerNameArrayLength);
    ReadMixerControls(WaveDeviceId, MixerSettings);
    if (AutoMixerOn) {
      if (!WriteAll(*MixerInForce(), MixerSettings[0].NumElements))
        MsgBox(kMixerNotSaved);
      else if (Forms::IsLoaded<DataPlotter>())
        Forms::Get<DataPlotter>()->SetAutoMixerDeleteVisible();
    }
  }
  if (HoldsRecords(MixerOriginalSettings)) {
    if (MixerOriginalSettings[0].DeviceNumber == MixerSettings[0].DeviceNumber)
      ApplyMixerControls(MixerOriginalSettings);
    else
      MsgBox("Error 4362");
    MixerOriginalSettings[0].NumElements = 0;
  }
}

void ResetAutoMixer() {
  MixerSettings = {};
  MixerOriginalSettings = {};
  MixerNameArray.fill(0);
  MixerNameArrayLength = 0;
  AppFolder.clear();
}

}  // namespace zentor
