// Import of a measurement file of the maker's older analyser (.qel): one raw
// recording with a reference section after it, turned into an impulse response
// by dividing spectra and appended to the loaded set.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/records.h"

namespace zentor {

extern std::string QelFileName;

constexpr int32_t kQelSamples = 176401;          // samples 0 to 176400
constexpr int32_t kQelRecordingEnd = 154350;     // last sample of the recording section
constexpr float kQelLevelReference = 15000.0f;   // a stored impulse peak maps to this

// What the import reads of a Qel file.
struct QelFileImage {
  std::vector<int16_t> Samples;  // kQelSamples
  MicCalTable Cal;               // count and the first count points; no name
  int32_t ImpulsePosition = 0;   // P
  int32_t SampleRate = 0;        // R
  int32_t BandMarker = 0;        // B
  int32_t PeriodFlag = 0;        // F
};

// False when the file is short, a string length runs past its end or is
// negative, the calibration count is outside 0..1001 or the rate outside
// 8000..192000 Hz.
bool ParseQelFile(std::span<const uint8_t> bytes, QelFileImage& image);

// Reads and parses a whole file; "Error: Qel file could not be read" and false
// when it cannot.
bool ReadQelFile(const std::string& path, QelFileImage& image);

// Result codes of ImportQelFile.
enum QelImportCode : int16_t {
  kQelAdded = 0,
  kQelNotAdded = 1,
  kQelLowBand = 2,
  kQelOtherRateOrCalCount = 3,
  kQelOtherCalValues = 4,
  kQelNoData = 5,
};

// Reads the file and appends it as a new result; a refused file changes nothing.
int16_t ImportQelFile(const std::string& path);

}  // namespace zentor
