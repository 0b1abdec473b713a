// Synthetic room impulses with known decay: tones that fall by 60 dB in a given
// time, starting at the 0 ms point of the decay time axis, and white noise.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <span>
#include <vector>

namespace zentor::test {

struct DecayTone {
  double freq;  // Hz
  double rt60;  // s
};

constexpr int32_t kDecayRate = 48000;
constexpr int32_t kDecayOrder = 17;
constexpr int32_t kDecayLength = 1 << kDecayOrder;
constexpr int32_t kZeroMsIndex = 2400;  // 50 ms at 48 kHz

// Adds each tone, amplitude 1 at its start, falling 60 dB in its rt60.
inline void AddDecayingTones(std::span<float> x, std::initializer_list<DecayTone> tones, double gain = 1.0,
                             int32_t start = kZeroMsIndex, int32_t rate = kDecayRate) {
  for (const DecayTone& t : tones)
    for (size_t i = static_cast<size_t>(start); i < x.size(); ++i) {
      const double s = double(i - static_cast<size_t>(start)) / rate;
      x[i] += static_cast<float>(gain * std::exp(-3.0 * std::numbers::ln10 * s / t.rt60) *
                                 std::sin(2 * std::numbers::pi * t.freq * s));
    }
}

// White noise of the given RMS over the whole array.
inline void AddWhiteNoise(std::span<float> x, double rms, uint32_t seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> d(0.0, rms);
  for (float& v : x) v += static_cast<float>(d(gen));
}

// The slope (per x unit) of the least-squares line through the points whose y
// lies within [low, high], taken from the first such point to the last.
inline double SlopeBetweenLevels(std::span<const float> x, std::span<const float> y, size_t count, double high,
                                 double low) {
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  double n = 0;
  for (size_t i = 0; i < count; ++i) {
    if (y[i] > high || y[i] < low) continue;
    sx += x[i];
    sy += y[i];
    sxx += double(x[i]) * x[i];
    sxy += double(x[i]) * y[i];
    n += 1;
  }
  return (n * sxy - sx * sy) / (n * sxx - sx * sx);
}

}  // namespace zentor::test
