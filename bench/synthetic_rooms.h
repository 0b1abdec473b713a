// 32 results of one synthetic room each (48 kHz, 2^17 samples): an impulse at
// 50 ms, one decaying mode between 40 and 319 Hz and faint noise, seeded.
#pragma once

#include <cmath>
#include <numbers>
#include <random>

#include "core/records.h"

namespace zentor {

// The start-up header for a set of numInSet results at 48 kHz and 2^17
// samples, in the first `records` result records.
inline void SetBenchHeaders(int32_t numInSet, size_t records) {
  MeasurementHeader& s = ResultsDataSetInfo[0];
  s = EQConfig;
  s.NumInSet = numInSet;
  s.SampleRate = 48000;
  s.PeriodExponent = 17;
  for (size_t k = 1; k < records; ++k) ResultsDataSetInfo[k] = s;
}

inline void FillSyntheticRooms(int32_t numInSet) {
  SetBenchHeaders(numInSet, 32);
  std::mt19937 random(5);
  std::normal_distribution<double> noise(0, 1e-4);
  for (size_t k = 0; k < 32; ++k) {
    auto& x = ImpulseSet[k];
    for (float& v : x) v = static_cast<float>(noise(random));
    const double f = 40.0 + 9.0 * static_cast<double>(k);
    for (size_t i = 0; i + 2400 < x.size(); ++i) {
      const double t = static_cast<double>(i) / 48000.0;
      x[2400 + i] += static_cast<float>(std::exp(-t * 10) * std::sin(2 * std::numbers::pi * f * t));
    }
    x[2400] += 1.0f;
  }
}

}  // namespace zentor
