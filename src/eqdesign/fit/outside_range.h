// What a set does outside its fit range: a bass correction that lifts the voice
// range, or cuts below the loudspeaker's own roll-off, changes what nobody asked
// to change. Qt-free.
#pragma once

#include <cstdint>
#include <vector>

#include "core/records.h"
#include "eqdesign/fit/fit_records.h"

namespace zentor {

// The most a limited set may change the level below half the range's low end
// and above twice its high end.
constexpr double kOutsideRangeDb = 1.0;

// The frequencies (Hz) the change outside low..high Hz is judged at: below
// low/2 and above 2·high up to just below half the rate (0: 48000 Hz), a
// twelfth of an octave apart.
std::vector<double> OutsideRangeHz(double low, double high, int32_t rateHz);

// The largest change (dB, either sign) the set's correction makes there, and where.
struct OutsideChange {
  double Db = 0;
  double Hz = 0;
};
OutsideChange LargestChangeOutside(const SingularityListRecord& set);

// Lowers the entries that make the change outside the set's range pass
// kOutsideRangeDb, those that add most there first, until the set as the
// applied list would set it (each entry snapped to equaliser `code` within
// maxBoostDb) keeps it. An entry left with nothing goes. Returns the number of
// entries lowered or removed; nothing is done for a negative limit.
int32_t HoldOutsideRange(SingularityListRecord& set, int32_t code, double maxBoostDb);

}  // namespace zentor
