// The settings of one filter in the words of the equaliser its emulation code
// names, as the settings report writes them: centre, level and width on the
// model's steps.
#pragma once

#include <string>

#include "core/filter_record.h"

namespace zentor {

// The ISO third-octave band (20 Hz .. 16 kHz) nearest to a filter at freq1 rad/s
// (the geometric mean goes to the lower band), and the distance from it in
// sixtieths of an octave, to the nearest 0.1.
void ISOBandOf(float freq1, double& band, double& offset);

// A bandwidth w in 1/60 octave as written: "5/60" up to 5, else octaves ("0.1").
std::string BandwidthText(double w);

// The -3 dB bandwidth in octaves of a peaking filter of Q q: between the points
// at half its gain in dB, the -3 dB points of the band-pass of that Q.
double Minus3dBBandwidthOctaves(double q);
// What the unit's bandwidth control is set to, in octaves, for the models whose
// width is a bandwidth (DSP 1124P, FBQ2496: the "BW:" of the setting text / 60);
// 0 for the models that set a Q.
double UnitBandwidthOctaves(const FilterRecord& f);

// The peaking filter the exports write for f, in the CSV's words: "Written
// filter: Q 14.14, -3 dB bandwidth 0.1019 octave" (Q rounded to 0.01).
std::string WrittenFilterText(const FilterRecord& f);

// The report line of one filter; `graphic` for the graphic section.
std::string EQReportLine(const FilterRecord& f, bool graphic);

}  // namespace zentor
