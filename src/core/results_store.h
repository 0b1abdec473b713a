// The results store (up to 32 impulse responses with their headers) and the
// operations that fill, copy, clear and shrink the shared records.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "core/records.h"

namespace zentor {

// What a new result tells the windows above the store; set by the main window at
// start-up. Unset, nothing is told.
struct ResultsStoreLinks {
  // Makes the calibration read last the one in force.
  std::function<void()> LoadMicCal;
  // The curve selector follows the newest result (1-based).
  std::function<void(int32_t)> SetDisplayCurveNumber;
  // Levels, signal-to-noise ratios and distance of the new result.
  std::function<void(const std::string& rightSN, const std::string& leftSN, const std::string& distance,
                     const std::string& rightLevel, const std::string& leftLevel)>
      ShowMeasParms;
  // The set now holds results that were never saved.
  std::function<void()> MarkResultsUnsaved;
};
extern ResultsStoreLinks ResultsStoreHooks;

// Appends one result: tapers the samples in place over 12.5 ms at both ends and
// stores the first 2^min(PeriodExponent, 17) of them. "True" when added, "False"
// (after the user error) when 32 results are held. LoadMicCal runs first in
// either case.
std::string AddMeasurementToResults(std::span<float> samples, const MeasurementHeader& header,
                                    const std::string& rightSN, const std::string& leftSN,
                                    const std::string& distance, const std::string& rightLevel,
                                    const std::string& leftLevel);

// The refusal of a new result while the store is full.
std::string ResultsStoreFullMessage();

// Removes result k (1-based) and closes the gap; k outside 1..count does nothing.
void RemoveResultFromStore(int32_t k);

// Every field but NumInSet.
void CopyMeasurementHeader(const MeasurementHeader& source, MeasurementHeader& destination);
// Zeroes the run-dependent fields; the set count and the lasting settings stay.
void ClearMeasurementHeader(MeasurementHeader& header);

// Files the buffer as slot k (0-based) and raises the array's count to k+1 when
// needed. False (nothing changed) for a slot above 31 or a point count above 2001.
bool StoreCurveRecord(CurveArray& curves, const WorkCurveBuffer& buffer, const std::string& label, int32_t k);
// Copies the held curves (not their labels). False, nothing copied, when the
// source holds more than 32 curves or a curve of more than 2001 points.
bool CopyCurveRecords(const CurveArray& source, CurveArray& destination);
// Empties all 32 records; Name and Parameter keep their values.
void ClearCurveRecords(CurveArray& curves);
// Removes curve k (1-based) and moves the later ones down; k above the count
// changes nothing, k above 2000 reports "Error 3421".
void RemoveCurveRecord(int32_t k, CurveArray& curves);

// A copy of ModesListContents(i) with fields 22 and 23 zero (a zero record for i
// outside 0..2000).
FilterRecord GetModesListEntry(int32_t i);
// Fields 1 to 21; the destination's count, spare words and emulation code stay.
void CopyFilterRecord(const FilterRecord& source, FilterRecord& destination);
void ClearAppliedFilters();
// Empties all 33 measured filter sets and every mode record.
void ClearAllFilterSets();

// Samples faded at each end of a new result: 12.5 ms, rounded half to even.
int32_t ImpulseTaperLength(int32_t sampleRate);

}  // namespace zentor
