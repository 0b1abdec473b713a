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

// The width in octaves between the two points at half its gain in dB of the
// analogue peaking filter of gainDb and Q q, found on its response by bisection.
inline double HalfGainWidthOctaves(double gainDb, double q) {
  const double A = std::pow(10.0, gainDb / 40);
  const auto excess = [&](double x) {
    const double u = (1 - x * x) * (1 - x * x);
    return 10 * std::log10((u + x * x * A * A / (q * q)) / (u + x * x / (A * A * q * q))) - gainDb / 2;
  };
  double edge[2] = {1e-3, 1e3};  // each bisected towards the centre, where the sign of excess turns
  for (double& e : edge)
    for (double inner = 1, i = 0; i < 200; ++i) (excess(std::sqrt(e * inner)) * excess(e) > 0 ? e : inner) = std::sqrt(e * inner);
  return std::log2(edge[1] / edge[0]);
}

}  // namespace zentor::test
