// The sound card's mixer, as the automatic mixer sees it: mixer m belongs to
// recording device m of the device list (sound_devices.h). A mixer has destination
// lines, each with source lines; every line carries controls, each a type code,
// an identifier and a value per item (lists) or four channel values.
// Calls answer a result code: 0 success, 1..13 the failures of the sound system.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zentor {

namespace MixerResult {
inline constexpr int32_t NoError = 0;
inline constexpr int32_t Error = 1;
inline constexpr int32_t BadDeviceId = 2;
inline constexpr int32_t Allocated = 4;
inline constexpr int32_t InvalidHandle = 5;
inline constexpr int32_t NoMemory = 7;
inline constexpr int32_t NotSupported = 8;
inline constexpr int32_t InvalidParam = 11;
}  // namespace MixerResult

// Control type codes the automatic mixer keeps.
namespace MixerControlType {
inline constexpr int32_t Volume = 0x50030001;
inline constexpr int32_t Mute = 0x20010002;
inline constexpr int32_t OnOff = 0x20010001;
inline constexpr int32_t SingleSelect = 0x70010000;
inline constexpr int32_t Multiplexer = 0x70010001;
inline constexpr int32_t Mixer = 0x71010001;
inline constexpr int32_t MultipleSelect = 0x71010000;
inline constexpr int32_t PeakMeter = 0x10020001;  // a type that is never kept
}  // namespace MixerControlType

bool IsListControlType(int32_t type);

// Values kept per control that is not a list: one per channel, 1..4.
inline constexpr int32_t kMixerChannelValues = 4;

struct MixerLineInfo {
  int32_t connections = 0;  // source lines of a destination
  int32_t controls = 0;
};

struct MixerControlInfo {
  int32_t id = 0;
  int32_t type = 0;
  int32_t items = 0;  // 0 unless a list
};

class MixerApi {
 public:
  virtual ~MixerApi() = default;
  virtual int32_t NumDevs() = 0;
  // One mixer is open at a time; Close is harmless when none is.
  virtual int32_t Open(int32_t device) = 0;
  virtual void Close() = 0;
  // The product name (cut to 31 characters) and the number of destination lines.
  virtual int32_t Caps(std::string& productName, int32_t& destinations) = 0;
  // `source` -1 asks the destination line itself.
  virtual int32_t LineInfo(int32_t destination, int32_t source, MixerLineInfo& info) = 0;
  virtual int32_t LineControls(int32_t destination, int32_t source, std::vector<MixerControlInfo>& controls) = 0;
  // `count` values: one per item for lists, else the channel values.
  virtual int32_t GetValues(int32_t controlId, int32_t count, std::vector<int32_t>& values) = 0;
  virtual int32_t SetValues(int32_t controlId, const std::vector<int32_t>& values) = 0;
};

// The mixers in use: the installed one, else the system's (the simulated card's
// mixer for the simulated card, ALSA for the others).
MixerApi& Mixers();
// Installs a mixer (tests); nullptr restores the system's.
void SetMixerApi(MixerApi* api);

}  // namespace zentor
