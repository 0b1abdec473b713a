// Microphone calibration files: the program's own ".cal" text files (written and
// read) and the outside ".mic" files (read). A reading fills a table of its own;
// only a completed reading is committed to the last-read table, so a cancelled or
// failed one leaves the calibration in force alone.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "core/records.h"

namespace zentor {

constexpr int32_t kMaxCalFilePoints = 999;    // points read from, or typed for, a .cal file
constexpr int32_t kMaxMicFilePairs = 32769;   // frequency/level pairs read from a .mic file
constexpr int32_t kMaxMicFileKept = 1000;     // points kept of a .mic file
constexpr int32_t kMicFileHeaderLines = 6;    // lines searched for the 0 Hz line

// What a reading found: the table and, for a .cal file, its two free-text lines.
struct CalibrationReading {
  int32_t Count = 0;
  std::array<float, kMaxMicCalPoints> Freq{};
  std::array<float, kMaxMicCalPoints> Level{};
  bool HasTextLines = false;  // a .cal file: LineOne and LineTwo were read
  std::string LineOne, LineTwo;
  // The points as the calibration window lists them, one per line.
  std::string PointsText;
  // Why the file was refused ("PATH: not found", "PATH: line 7 ..."); empty when read.
  std::string Fault;
};

enum class CalibrationRead {
  Completed,  // the table is good (perhaps empty: a .cal file with nothing after line 2)
  NotOpened,  // no such file, or an extension that is neither "cal" nor "mic"
  Failed,     // the file opened but a line was missing, too long or out of range
  Abandoned,  // a .mic file whose 0 Hz level is not a number ("Error 3298" shown)
};

// Reads a .cal file. Shows "Calibration File Input Error 1" when nothing follows
// line 2 (the reading completes with no point).
CalibrationRead ReadMicCalFile(const std::string& path, CalibrationReading& out);

// Reads a .mic file. Shows "Error 7619" when none of the first six lines is 0 (the
// reading goes on), "Error 3298" when the 0 Hz level is not a number (abandoned) and
// "Error 9231" when the pair limit is reached (the pairs read are kept).
CalibrationRead ReadTactMicFile(const std::string& path, CalibrationReading& out);

// Chooses the reader by the file's extension, in any case.
CalibrationRead ReadCalibrationFile(const std::string& path, CalibrationReading& out);
// The window's message code followed by the reading's fault, when it has one.
std::string CalibrationFault(const std::string& code, const CalibrationReading& r);

// Makes a completed reading the last-read table under the given file name.
void CommitCalibrationReading(const CalibrationReading& reading, const std::string& fileName);

// "###0.000" with the decimal mark of the user's locale.
std::string FormatCalibrationNumber(float value);

// A number typed or read in a calibration table, with "," or "." as the decimal
// mark. False when it does not fit a Single.
bool CalibrationNumber(const std::string& text, float& value);

// One table line as the calibration window lists points: "f    level    0.0".
std::string CalibrationPointLine(float freq, float level);

// Writes a .cal file: the two free-text lines, then count points of frequency,
// level and phase, each line ended by CR LF, through the atomic writer. False
// when the file cannot be written; an old file at the path stays as it was.
bool WriteMicCalFile(const std::string& path, const std::string& lineOne, const std::string& lineTwo,
                     std::span<const float> freq, std::span<const float> level, std::span<const float> phase,
                     int32_t count);

}  // namespace zentor
