// One equaliser filter or room mode: 25 four-byte fields, in file order.
// Field numbers are shared with the filter-set record of the fit; a list kept in
// an array of these holds its count in Count of element 0.
#pragma once

#include <cstdint>

namespace zentor {

struct FilterRecord {
  int32_t Count = 0;                 // 0: element 0 of a list: number of entries
  int32_t Curve = 0;                 // 1: curve the filter was found on
  int32_t Average = 0;               // 2: -1 when the average curve was fitted
  float MaxDecay = 0;                // 3
  float QMinimum = 0;                // 4
  float RangeLow = 0;                // 5: Hz
  float RangeHigh = 0;               // 6: Hz
  float SecondaryPolishWidth = 0;    // 7
  int32_t NumInitialLoops = 0;       // 8
  float Damping = 0;                 // 9
  int32_t LoudspeakerOrder = 0;      // 10
  int32_t ModeCode = 0;              // 11: 5 Bode, 6 fractional octave, 7 psychoacoustic
  float SchroederFreq = 0;           // 12: Hz
  int32_t Kind = 0;                  // 13: 2 parametric, 3 graphic, 4 damped parametric
  int32_t SelectCode = 0;            // 14
  int32_t Graphshown = 0;            // 15
  float Smoothing = 0;               // 16: resolution / bandwidth in octaves
  float Gatetime = 0;                // 17: ms, or the band value of a graphic filter
  float Freq1 = 0;                   // 18: centre frequency, rad/s
  float Q1 = 0;                      // 19: negative boosts, positive cuts
  float Q2 = 0;                      // 20: positive; level = 20 log10(|Q1| / Q2) dB
  float FitError = 0;                // 21: error score (the level field on file)
  int32_t Unused22 = 0;              // 22
  int32_t Unused23 = 0;              // 23
  int32_t EQEmulationCode = 0;       // 24: 1..5
};
static_assert(sizeof(FilterRecord) == 100, "FilterRecord is 25 four-byte fields");

}  // namespace zentor
