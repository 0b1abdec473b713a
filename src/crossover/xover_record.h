// The crossover set: one way's sections, shelves, gain, delay, polarity and
// optional .EQ filters, and the .XVR file of three sets (12006 bytes, no header).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/filter_record.h"

namespace zentor {

constexpr int kXoverSets = 3;
constexpr int kXoverPathCodes = 501;  // element 0 unused
constexpr int kXoverMaxPath = 500;
constexpr int kXoverEQFilters = 75;
constexpr int kXoverSpareBytes = 80;
constexpr size_t kXoverRecordBytes = 4002;
constexpr size_t kXoverFileBytes = kXoverRecordBytes * kXoverSets;

constexpr int32_t kXoverNoFilter = 0;
constexpr int32_t kXoverConstantSum = 10;

struct XoverSetRecord {
  int32_t Ways = 0;
  int32_t HPType = 0, LPType = 0, HPOrder = 0, LPOrder = 0;
  float HPCorner = 0, LPCorner = 0;
  int32_t HPOn = 0, LPOn = 0;
  int32_t HP2Type = 0, LP2Type = 0, HP2Order = 0, LP2Order = 0;
  float HP2Corner = 0, LP2Corner = 0;
  int32_t HP2On = 0, LP2On = 0;
  float Shelf1Level = 0;
  int32_t Shelf1On = 0, Shelf1Freq = 0;
  float Shelf2Level = 0;
  int32_t Shelf2On = 0, Shelf2Freq = 0;
  float GainDb = 0;
  float DelayMs = 0;
  int16_t InvertFlag = 0;
  std::array<int32_t, kXoverPathCodes> EQPathCodes{};
  int32_t EQPathLength = 0;
  int32_t EQFilterCount = 0;
  int32_t EQFileOn = 0;
  int32_t EQEmulationCode = 0;
  std::array<double, kXoverEQFilters> EQFreq{};  // rad/s
  std::array<double, kXoverEQFilters> EQQ1{};
  std::array<double, kXoverEQFilters> EQQ2{};
  std::array<uint8_t, kXoverSpareBytes> Spare{};  // kept as read
};

using XoverSetArray = std::array<XoverSetRecord, kXoverSets>;

// The record's file form, field by field with no gap after InvertFlag.
void AppendXoverRecord(std::vector<uint8_t>& out, const XoverSetRecord& r);
std::vector<uint8_t> BuildXoverFile(const XoverSetArray& sets);
// Parses the first 12006 bytes into sets; false (sets untouched) for a shorter
// image, a path length outside 0..500, a filter count outside 0..75, an order
// outside 0..8 or a number that is not finite.
bool ParseXoverFile(std::span<const uint8_t> bytes, XoverSetArray& sets);

// "EQ File Error 4332" and false when the file cannot be read or is refused;
// sets untouched then.
bool ReadXoverFile(const std::string& path, XoverSetArray& sets);
// Replaces the file with exactly 12006 bytes; "EQ File Error 4337" and false on failure.
bool WriteXoverFile(const std::string& path, const XoverSetArray& sets);

// Zeroes the sections, shelves, gain, delay, path length, .EQ switch and code and
// the filters in use; Ways, InvertFlag and the path codes stay.
void ClearXoverSets(XoverSetArray& sets);

// Caption of a type code; empty for a code without one.
std::string XoverTypeCaption(int32_t code);

// The path held in the record's codes.
std::string XoverEQPath(const XoverSetRecord& r);

// Reads an .EQ file into filters (count in Count of entry 0); "EQ File Error 4337"
// and false, filters untouched, when it cannot be read or is refused.
bool LoadXoverEQFile(const std::string& path, std::span<FilterRecord, kXoverEQFilters> filters);
// Takes the path, the first filter's emulation code and each filter's frequency
// and two Q values (not its level) into the set; entries past the count stay.
// False, set unchanged, for a path longer than 500 characters.
bool TakeXoverEQFilters(XoverSetRecord& set, const std::string& path,
                        std::span<const FilterRecord, kXoverEQFilters> filters);

}  // namespace zentor
