// The applied filters as the main window lists them: sorted by frequency, each
// given the emulation code of its family, snapped to that equaliser's steps and
// shown as one line of AppliedFilterListBox (line n is entry n).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/filter_record.h"

namespace zentor {

class DataPlotter;

// Stable sort of AppliedFilters on Freq1; fields 1 to 21 move, the count and
// the emulation code stay with their slot. Always returns "".
std::string SortAppliedSingularities();

// The list line of one entry already snapped to its code.
std::string AppliedFilterLine(const FilterRecord& f);

// Steps 4 of the refresh without the window: codes re-derived (kind 3 graphic,
// kinds 2 and 4 parametric), entries snapped, one line each. Stops with
// "Error 5823" at an entry that has no level (Q1 0, Q2 not positive, or a value
// that is not finite); the lines before it stay.
std::vector<std::string> SnapAndListAppliedFilters(int32_t graphicCode, int32_t parametricCode);

// Sorts, lays the window out again, snaps and relists into AppliedFilterListBox.
void UpdateAppliedFiltersList(DataPlotter& window);

// Removes entry e of SingularityList(c), redraws that curve's corrected
// response (curves 0..31; set 32 has no fit-curve slot) and relists its modes.
// ok is false, and nothing changes, for c outside 0..32 or e outside its set.
void RemoveResultMeasuredFilterSet(DataPlotter& window, int32_t c, int32_t e, bool& ok);

// The entry of SingularityList(c) whose frequency and Q values are the mode's;
// -1 when there is none or c is outside 0..32.
int32_t FindMeasuredEntry(int32_t c, const FilterRecord& mode);

}  // namespace zentor
