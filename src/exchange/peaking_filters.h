// The applied filters as the standard peaking equaliser every other program
// takes: centre, level and Q, chosen so that the cookbook biquad of each at the
// export rate is the section the program itself runs at that rate.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/filter_record.h"
#include "core/filter_run.h"
#include "core/set_peak.h"

namespace zentor {

struct PeakingFilter {
  double fcHz = 0;
  double gainDb = 0;
  double q = 0;
  int32_t code = 0;  // the emulation it came from
};

// The model as the equaliser options name it ("DSP 1124P"); "" for no model.
std::string_view EmulationModelName(int32_t code);

// Every entry of the set (count in element 0) that changes the level, snapped
// onto its model's steps, as a peaking filter at rateHz; entries at 0 dB are
// left out, as the settings report leaves them out. False with the reason for a
// set that cannot be written at that rate.
bool ToPeakingFilters(std::span<const FilterRecord> applied, int32_t rateHz, std::vector<FilterRecord>& snapped,
                      std::vector<PeakingFilter>& out, std::string& error);

// The cookbook peaking biquad of f at rateHz (bilinear transform pre-warped at
// the centre), in double precision, a[0] = 1.
PeakingSection CookbookPeaking(const PeakingFilter& f, int32_t rateHz);

// The gain (dB, to the tenth the net boost is shown to) that takes a set
// peaking at peakDb back to 0 dB: 0 when it does not rise above 0 dB.
double PreampFor(double peakDb);
// A level to that tenth.
double NearestTenth(double db);

// A number with `decimals` places and a full stop, never "-0.00".
std::string FixedText(double v, int decimals);
// A number with `digits` significant digits, as printf's %g writes it in the C locale.
std::string GeneralText(double v, int digits);
// FixedText without the trailing zeros (and a bare full stop).
std::string ShortFixedText(double v, int decimals);

}  // namespace zentor
