// The filter set file (.EQ): the applied filter set with the main window's
// parametric and graphic emulation codes; 12 + 100 N bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/binary_io.h"
#include "core/filter_record.h"
#include "core/records.h"

namespace zentor {

constexpr size_t kFilterRecordBytes = 100;
constexpr size_t kEQFileHeaderBytes = 12;

void WriteFilterRecord(BinaryWriter& w, const FilterRecord& f);
bool ReadFilterRecord(BinaryReader& r, FilterRecord& f);

// A whole .EQ file, parsed and validated.
struct FilterSetImage {
  int32_t ParametricCode = 0;
  int32_t GraphicCode = 0;
  std::vector<FilterRecord> Filters;  // record 0's count field holds the number of filters
};

// The largest .EQ file: the header and 75 filters.
constexpr int64_t kLargestEQFileBytes = 12 + kMaxFilters * static_cast<int64_t>(kFilterRecordBytes);
// A filter's centre (rad/s) and level no equaliser goes past (an import takes
// 30 dB, its model's steps may round past it); the slack lets a 0 dB filter's
// rounding through.
constexpr float kLargestFilterFreq1 = 628318.5f;
constexpr double kLargestFilterLevelDb = 40, kLevelSlackDb = 0.01;

// False when the file is short, holds more than 75 filters, an emulation code
// outside 1..5, a frequency or Q that is not a finite number, or a filter no
// equaliser holds; `why` (when given) receives the reason.
bool ParseEQFile(std::span<const uint8_t> bytes, FilterSetImage& image, std::string* why = nullptr);
// Reads and parses a file; false with "PATH: reason" in why.
bool ReadEQFile(const std::string& path, FilterSetImage& image, std::string& why);
// "Error 8733": the file was refused and the applied filters stay.
std::string FiltersKeptMessage(const std::string& path);
// The bytes SaveEQFile writes; false when the held count is outside 0..75.
bool BuildEQFile(int32_t parametricCode, int32_t graphicCode, std::vector<uint8_t>& out);

// Writes AppliedFilters and the two codes; "EQ File Save Error 3942" and false
// when it cannot. The old file is replaced only by a complete new one.
bool SaveEQFile(const std::string& path);
// Replaces AppliedFilters and the two codes; "EQ File Error 4329", false and
// nothing changed on any fault.
bool LoadEQFile(const std::string& path);
void OpenEQFile();
// True when the applied list is empty or the user agrees to replace it.
bool MayReplaceAppliedFilters();

}  // namespace zentor
