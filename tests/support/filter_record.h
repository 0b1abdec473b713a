// An applied filter built from what a user types: kind, centre, level and centre Q.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>

#include "core/emulation.h"
#include "core/records.h"

namespace zentor::test {

constexpr float kTwoPiF = 2 * std::numbers::pi_v<float>;

// A filter of `level` dB (boost above 0) with centre Q q at f Hz.
inline FilterRecord MakeFilter(int32_t kind, float f, float level, float q, int32_t code = 2) {
  FilterRecord r;
  r.Kind = kind;
  r.Graphshown = 3;
  r.Freq1 = kTwoPiF * f;
  r.Q1 = ConvertQForFilterType(q, level, code);
  r.Q2 = std::fabs(r.Q1) / std::pow(10.0f, std::fabs(level) / 20);
  r.EQEmulationCode = code;
  return r;
}

}  // namespace zentor::test
