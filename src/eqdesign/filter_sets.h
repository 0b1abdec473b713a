// Operations on measured filter sets (SingularityListRecord) and mode records:
// copying, pruning, sorting, and applying one singularity's magnitude response
// to a curve's linear levels. Qt-free.
//
// A singularity is a zero pair and a pole pair at one centre frequency. A peak
// (Q1 > 0) has pole Q d|Q1| and zero Q d|Q2|, so its centre gain is |Q1|/|Q2|;
// a dip (Q1 < 0) swaps the two, so applying an entry with Q1 negated divides
// it out again.
#pragma once

#include <cstdint>
#include <span>

#include "core/filter_record.h"
#include "core/records.h"
#include "eqdesign/fit/fit_records.h"

namespace zentor {

// ---- Records ------------------------------------------------------------------

// Count, header words 1 to 17 and entries 0..Count-1; later entries of the
// destination stay as they were.
void CopyFilterSet(const SingularityListRecord& source, SingularityListRecord& destination);
// Count and entries 0..Count-1; the destination's header stays.
void CopyFilterSetEntries(const SingularityListRecord& source, SingularityListRecord& destination);
// Keeps, in order, the entries with |Q1| > Q2 (as Single); the four arrays move
// together and the entries past the new count are not cleared.
void RemoveInsignificantFilters(SingularityListRecord& set);

// Fills mode record `mode` from entry e of SingularityList(c): field 1 = c,
// fields 2-13 and 15-17 from the header, 18-21 from the entry. Fields 0, 14 and
// 22-24 keep their values. False, nothing written, for c or e out of range.
bool ModeRecordFromSet(int32_t c, int32_t e, FilterRecord& mode);

// ---- Sorts --------------------------------------------------------------------
// Stable: equal keys keep their order in either direction. Keys are compared
// as stored (Single). A set whose count is below 2 or above 75 is left alone.

void SortFilterSetByKey1(SingularityListRecord& set, bool ascending);  // frequency
void SortFilterSetByKey2(SingularityListRecord& set, bool ascending);  // signed Q1
void SortFilterSetByKey4(SingularityListRecord& set, bool ascending);  // error score
// Largest |Q1| first.
void SortFilterSetByAbsQ1(SingularityListRecord& set);
// Mode records (count in element 0) on Freq1. Fields 1 to 21 move together;
// the count, the spare words and the emulation code stay in place.
void SortModesByFrequency(std::span<FilterRecord> modes, bool ascending);

// ---- Responses ----------------------------------------------------------------

// Multiplies levels(start .. start+count-1) by |H(j2πf)| of one singularity
// centred on `centre` rad/s, frequencies f in Hz, both Q values scaled by the
// damping factor. Q1 = 0, Q2 = 0 and a damping of 0 apply nothing after their
// messages; indices outside either array are skipped.
void ApplySingularityToLevels(std::span<double> levels, std::span<const float> frequencies, double Q1,
                              double Q2, double centre, float damping, int32_t start, int32_t count,
                              const MessageSink& say = MessageBoxSink());

// The same over a whole fit curve, undamped; the sign of `sign` chooses peak
// (> 0) or dip (< 0), the two Q values are taken as magnitudes.
void ApplySingularityToFitCurve(FitCurveRecord& curve, float Q1, float Q2, double centre, float sign,
                                const MessageSink& say = MessageBoxSink());

}  // namespace zentor
