// The automatic mixer: when a window that streams audio opens, the recording
// device's mixer is kept as the user left it and the settings saved last time are
// applied; when it closes, the user may save the mixer's settings for the next run
// and the mixer goes back to what was kept. Settings store: "Zentor", section
// "Mixer"; an older binary file "ZentorMixer" is moved into the store.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace zentor {

struct MixerControlRecord {
  int32_t NumElements = 0;  // record 0 of a list: the number of records
  int32_t DeviceNumber = 0;
  int32_t ControlID = 0;
  int32_t ControlType = 0;
  int32_t MultipleItems = 0;
  int32_t ControlNum = 0;  // values kept, at positions 1..ControlNum
  std::array<int32_t, 11> ControlSetting{};
};

inline constexpr int32_t kMixerRecordCount = 501;
inline constexpr int32_t kMixerNameCodes = 100;
inline constexpr int32_t kMaxControlValues = 10;

using MixerRecords = std::array<MixerControlRecord, kMixerRecordCount>;

extern MixerRecords MixerSettings;
extern MixerRecords MixerOriginalSettings;  // the mixer as the user left it; empty when none is held
extern std::array<int32_t, kMixerNameCodes> MixerNameArray;
extern int32_t MixerNameArrayLength;
extern std::string AppFolder;

// The device index of the restored sound card, -1 when nothing was restored.
int32_t RestoreAutoMixerSettings();
void SaveAutoMixerSettingsOnExit();

bool FindSavedMixerDevice(std::span<const int32_t> codes, int32_t count, MixerRecords& records);
void GetMixerNameCodes(int32_t device, std::array<int32_t, kMixerNameCodes>& codes, int32_t& count);
void ReadMixerControls(int32_t device, MixerRecords& records);
void ApplyMixerControls(const MixerRecords& records);
bool CheckMixerResult(int32_t result, int32_t siteCode);
int32_t MixerDeviceId(int32_t device);
int32_t IsSupportedControlType(int32_t type);

// Forgets the records, the name and the snapshot (tests).
void ResetAutoMixer();

}  // namespace zentor
