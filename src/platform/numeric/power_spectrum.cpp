// Averaged power spectrum of a long recording (Welch's method).
#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/numeric/numeric.h"
#include "platform/numeric/numeric_internal.h"

namespace zentor {

using namespace numeric_detail;

bool PowerSpectralDensity(std::span<const float> samples, int32_t count, std::span<float> spectrum, int32_t e,
                          int32_t maxSegments) {
  if (e < 1 || e + 1 > kMaxRealOrder || maxSegments < 1) return false;
  const int32_t order = e + 1;
  const std::size_t len = std::size_t{1} << order, bins = len / 2 + 1;
  const std::size_t available = static_cast<std::size_t>(Clamp(samples, count));
  if (available < len || spectrum.size() < bins) return false;
  const std::size_t hop = len / 2;
  const std::size_t segments = std::min<std::size_t>((available - len) / hop + 1, static_cast<std::size_t>(maxSegments));

  DoubleBuffer window = AllocDoubles(len);
  DoubleBuffer t = AllocDoubles(len);
  DoubleBuffer power = AllocDoubles(bins);
  ComplexBuffer x = AllocComplex(bins);
  // Periodic Hann: its overlapping halves add to one.
  double windowPower = 0;
  for (std::size_t j = 0; j < len; ++j) {
    window[j] = 0.5 * (1.0 - std::cos(2.0 * std::numbers::pi * static_cast<double>(j) / static_cast<double>(len)));
    windowPower += window[j] * window[j];
  }
  for (std::size_t s = 0; s < segments; ++s) {
    const float* seg = samples.data() + s * hop;
    for (std::size_t j = 0; j < len; ++j) t[j] = seg[j] * window[j];
    ForwardReal(order, t.get(), x.get());
    for (std::size_t i = 0; i < bins; ++i) power[i] += x[i][0] * x[i][0] + x[i][1] * x[i][1];
  }
  const double scale = 1.0 / (static_cast<double>(segments) * windowPower);
  for (std::size_t i = 0; i < bins; ++i) spectrum[i] = static_cast<float>(std::sqrt(power[i] * scale));
  return true;
}

}  // namespace zentor
