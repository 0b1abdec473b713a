// Reading Equalizer APO / REW generic filter text into an applied set, in one
// parametric model, snapped onto its steps.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/filter_record.h"

namespace zentor {

struct FilterImport {
  std::vector<FilterRecord> filters;  // the new applied set, count in element 0
  bool hasPreamp = false;
  double preamp_db = 0;               // the last Preamp line read
  int32_t moved = 0;                  // filters the model's steps moved
  double maxMovePercentHz = 0;        // the largest move of a centre, in percent
  double maxMoveDb = 0;               // of a level, in dB
  double maxMovePercentQ = 0;         // of a centre Q, in percent
  std::string error;                  // why the file was refused, line number first; empty when read
  int32_t errorLine = 0;              // 1-based; 0 for a fault of the whole file
  bool ok() const { return error.empty(); }
  // What was read, in a sentence or two: the count, the preamp, the moves.
  std::string Summary(int32_t modelCode) const;
};

// The filter lines of `text` into peaking filters of model `modelCode` (1..5).
// Code 2 takes the Q written for its cookbook biquad at 48 kHz back to the
// section's, so that exporting at 48 kHz writes the same values; the other
// models take the written Q as the centre Q.
FilterImport ImportFilterText(std::string_view text, int32_t modelCode);

// The same from a file; a file that is missing, a folder or too long is refused.
FilterImport ImportFilterFile(const std::string& path, int32_t modelCode);

}  // namespace zentor
