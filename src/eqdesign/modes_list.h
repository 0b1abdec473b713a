// The modes list beside the main graph: one curve's measured filter set turned
// into mode records (ModesListContents) and one text line per mode (ModesList).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/filter_record.h"
#include "eqdesign/fit_records.h"

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

// The same, shown in the main window's ModesList.
bool CheckForCurveSingularities(DataPlotter& window, int32_t k, const MessageSink& say = MessageBoxSink());

}  // namespace zentor
