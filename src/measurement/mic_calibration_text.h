// The calibration text USB measurement microphones ship: lines of frequency (Hz),
// level (dB) and an optional phase (degrees), separated by blanks, tabs, commas or
// semicolons; where blanks or semicolons part the numbers a comma within one is
// its decimal mark ("31,5 -0,75"). Lines starting with "*", "#", ";" or a double quote are notes, as are
// blank lines; a note may give the microphone's sensitivity ("Sens Factor =-1.23dB")
// and serial number ("SERNO: 7001234").
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "measurement/mic_calibration_files.h"

namespace zentor {

// The most points a table takes: what a .cal file gives back whole when read.
constexpr int32_t kMaxMicTextPoints = kMaxCalFilePoints;
// A level further from 0 dB than this is no microphone correction.
constexpr float kMaxMicTextLevel = 50.0f;

struct MicTextReading {
  CalibrationReading Table;  // Count, Freq, Level and the points as the window lists them
  std::array<float, kMaxMicCalPoints> Phase{};
  std::string Sensitivity;   // "-1.23 dB", or empty when the file does not say
  std::string Serial;
  int32_t PointsInFile = 0;  // more than kMaxMicTextPoints: the table is resampled
  bool Resampled() const { return PointsInFile > Table.Count; }
};

// Parses the text; empty when it is good, else the refusal naming the line.
// `out` is complete only when the text is good.
std::string ParseMicCalibrationText(std::string_view text, MicTextReading& out);

// Reads and parses the file.
std::string ReadMicCalibrationText(const std::string& path, MicTextReading& out);

// What the window says after resampling.
std::string MicTextResampledMessage(const MicTextReading& r);

}  // namespace zentor
