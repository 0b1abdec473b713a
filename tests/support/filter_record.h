// An applied filter built from what a user types: kind, centre, level and centre Q.
#pragma once

#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <span>

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

// The level (dB) at hz of the applied filters as bilinear sections at fs, worked
// out by hand: s = 2 fs (1 - 1/z) / (1 + 1/z) on (s² + W/Qz s + W²) / (s² + W/Qp s + W²),
// the centre pre-warped, W = 2 fs tan(w / 2 fs); Bristow-Johnson's Q (code 2)
// taken at the digital centre, sin w0 / w0, as its cookbook defines the width;
// a filter at half the rate or above runs as none.
inline double BilinearSetDb(std::span<const FilterRecord> set, double hz, double fs) {
  const std::complex<double> z1 = std::polar(1.0, -2 * std::numbers::pi * hz / fs), z2 = z1 * z1;
  std::complex<double> h = 1;
  for (const FilterRecord& r : set) {
    // At half the rate or above the program runs no section.
    if (!(r.Freq1 < std::numbers::pi * fs)) continue;
    const double w0 = r.Freq1 / fs, adapt = r.EQEmulationCode == 2 ? std::sin(w0) / w0 : 1;
    const double W = 2 * fs * std::tan(w0 / 2), K = 2 * fs, W2 = W * W, K2 = K * K;
    const double zq = (r.Q1 > 0 ? std::fabs(r.Q1) : r.Q2) * adapt, pq = (r.Q1 > 0 ? r.Q2 : std::fabs(r.Q1)) * adapt;
    const double b[3] = {K2 + K * W / zq + W2, 2 * (W2 - K2), K2 - K * W / zq + W2};
    const double a[3] = {K2 + K * W / pq + W2, 2 * (W2 - K2), K2 - K * W / pq + W2};
    h *= (b[0] + b[1] * z1 + b[2] * z2) / (a[0] + a[1] * z1 + a[2] * z2);
  }
  return 20 * std::log10(std::abs(h));
}

// Its highest level and where, on `points` log-spaced frequencies from lowHz to just below fs/2.
struct BilinearPeak {
  double db = -1e9, hz = 0;
};
inline BilinearPeak BilinearSetPeak(std::span<const FilterRecord> set, double fs, double lowHz = 1,
                                    int points = 400000) {
  BilinearPeak best;
  const double hi = 0.5 * fs * (1 - 1e-6);
  for (int i = 0; i < points; ++i) {
    const double hz = lowHz * std::pow(hi / lowHz, i / (points - 1.0)), db = BilinearSetDb(set, hz, fs);
    if (db > best.db) best = {db, hz};
  }
  return best;
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
