// The modes list beside the main graph: one curve's measured filter set turned
// into mode records (ModesListContents) and one text line per mode (ModesList).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/filter_record.h"
#include "eqdesign/fit/fit_records.h"

namespace zentor {

class DataPlotter;

// The line of one mode: "P 100 Hz, Q:20/0.43 L:-12 E:0" for a peak of the
// response (Q1 > 0: Q, decay time in s per 60 dB, correcting level in dB, error
// class), "Z 100 Hz, Q:20 L:12 E:0" otherwise. A mode whose Q2 is 0 has no level
// and its line no " L:" part.
std::string ModesListLine(const FilterRecord& mode);

// Rebuilds ModesListContents from SingularityList(k) and returns its lines in
// `lines` ("No Modes Found" when there is none). True when set k holds entries.
bool BuildModesList(int32_t k, std::vector<std::string>& lines, const MessageSink& say = MessageBoxSink());

// A stretch of a fit range deeper than the boost limit, in Hz.
struct NullRange {
  float LowHz = 0;
  float HighHz = 0;
};
// Whether the listed mode is a boost on a null of its curve's set.
bool ModeOnNull(const FilterRecord& mode);
// The nulls of the sets whose modes are listed, each set once, in list order.
std::vector<NullRange> ListedNulls();
// "Null 58.6 to 61.5 Hz: not corrected beyond the boost limit".
std::string NullLine(const NullRange& null);

// The same, shown in the main window's ModesList.
bool CheckForCurveSingularities(DataPlotter& window, int32_t k, const MessageSink& say = MessageBoxSink());

// The line of one mode in the list of all modes: "3. 100.25 Hz, Q:5.2 L: -6.3",
// curve numbered from 1, frequency and Q truncated.
std::string AllModesLine(const FilterRecord& mode);

// Gathers the narrow cuts (Q1 above 1.0) of the sets of curves 0..31 into
// ModesListContents, sorted by frequency (stable), and returns their lines. At
// 2000 entries it says so and stops: those 2000 are listed in the order found.
std::vector<std::string> BuildAllModesList(bool ascending, const MessageSink& say = MessageBoxSink());

// "List All Modes": flips ModeSortAscending and lists; nothing while Busy.
void CompModes_Click(DataPlotter& window);

// A click on line `row` of ModesList: the new-filter dialog for that mode,
// when the line names one; nothing while Busy.
void ModesList_Click(DataPlotter& window, int32_t row);

}  // namespace zentor
