// Analyser block levels, sample-rate conversion, the shaped sweep and pink weighting.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "platform/numeric/numeric.h"
#include "platform/numeric/numeric_internal.h"

namespace zentor {

using namespace numeric_detail;

bool GetRTASingleResponse(std::span<const float> bins, std::span<float> samples, int32_t count, int32_t order) {
  if (order < 1 || order > kMaxRealOrder) return false;
  const std::size_t n = std::size_t{1} << order;
  if (samples.size() < n) return false;
  const int32_t m = std::min(Clamp(bins, count), Clamp(samples, count));
  DoubleBuffer t = AllocDoubles(n);
  ComplexBuffer spectrum = AllocComplex(n / 2 + 1);
  // No window: each block is one whole period of a periodic signal, where a window
  // would only mix neighbouring bins.
  for (std::size_t i = 0; i < n; ++i) t[i] = samples[i];
  ForwardReal(order, t.get(), spectrum.get());
  // A sine of amplitude 1 on a bin gives |X| = N/2: 0 dB.
  const double scale = 2.0 / static_cast<double>(n);
  for (int32_t i = 0; i < m; ++i) {
    const float b = bins[i];
    std::size_t idx = 0;
    if (b > 0.0f) idx = std::min(static_cast<std::size_t>(std::lround(b)), n / 2);
    const double p = (spectrum[idx][0] * spectrum[idx][0] + spectrum[idx][1] * spectrum[idx][1]) * scale * scale;
    samples[i] = static_cast<float>(10.0 * std::log10(std::max(p, 1e-30)));
  }
  return true;
}

bool ReSample(std::span<float> a, float old_rate, float new_rate, int32_t /*new_rate_int*/, int32_t count,
              int32_t /*lead_in*/) {
  if (!(old_rate > 0.0f) || !(new_rate > 0.0f) || !std::isfinite(old_rate) || !std::isfinite(new_rate)) return false;
  const int32_t m = Clamp(a, count);
  if (m <= 0) return true;
  const double step = static_cast<double>(old_rate) / new_rate;  // input samples per output sample
  // Low-pass at the lower of the two Nyquist frequencies, a little inside it.
  const double fc = std::min(1.0, 1.0 / step) * 0.95;
  const double half = 24.0 / fc;  // kernel half-width in input samples
  const double lastNeeded = (m - 1) * step + half + 1.0;
  const std::size_t keep = std::min(a.size(), static_cast<std::size_t>(std::max(0.0, lastNeeded)) + 1);
  const std::vector<float> src(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(keep));
  const auto size = static_cast<int64_t>(src.size());
  // Kaiser-windowed sinc (beta 8, side lobes near -80 dB), tabulated finely and read
  // with linear interpolation.
  constexpr int kPerSample = 512;
  const double beta = 8.0;
  const double i0beta = std::cyl_bessel_i(0.0, beta);
  const auto tableSize = static_cast<std::size_t>(std::ceil(half * kPerSample)) + 2;
  std::vector<double> kernel(tableSize);
  for (std::size_t i = 0; i < tableSize; ++i) {
    const double d = static_cast<double>(i) / kPerSample;
    const double u = d / half;
    const double win = u >= 1.0 ? 0.0 : std::cyl_bessel_i(0.0, beta * std::sqrt(1.0 - u * u)) / i0beta;
    const double x = std::numbers::pi * fc * d;
    kernel[i] = fc * (i == 0 ? 1.0 : std::sin(x) / x) * win;
  }
  for (int32_t j = 0; j < m; ++j) {
    const double t = j * step;
    const int64_t lo = std::max<int64_t>(0, static_cast<int64_t>(std::ceil(t - half)));
    const int64_t hi = std::min<int64_t>(size - 1, static_cast<int64_t>(std::floor(t + half)));
    double acc = 0.0;
    for (int64_t i = lo; i <= hi; ++i) {
      const double pos = std::fabs(t - static_cast<double>(i)) * kPerSample;
      const auto k0 = static_cast<std::size_t>(pos);
      if (k0 + 1 >= tableSize) continue;
      const double frac = pos - static_cast<double>(k0);
      acc += src[static_cast<std::size_t>(i)] * (kernel[k0] + frac * (kernel[k0 + 1] - kernel[k0]));
    }
    a[j] = static_cast<float>(acc);
  }
  return true;
}

bool BuildTestSignal(std::span<const float> shape, int32_t shape_len, std::span<int16_t> out, int32_t period,
                     int32_t amplitude, int32_t rate, float f_low, float f_high, std::span<float> /*scratch*/) {
  const int32_t shapeCount = Clamp(shape, shape_len);
  if (period < 4 || (period & (period - 1)) != 0 || out.size() < static_cast<std::size_t>(period) || rate <= 0 ||
      shapeCount <= 0 || !std::isfinite(f_low) || !std::isfinite(f_high))
    return false;
  const int k = OrderFor(static_cast<std::size_t>(period));
  if (k > 20) return false;
  const int32_t half = period / 2;
  const double binHz = static_cast<double>(rate) / period;
  const double lo = std::max(0.0f, f_low), hi = std::min<double>(f_high, rate / 2.0);
  if (!(hi > lo)) return false;
  // Power density per bin from the shape (linear in dB between its points).
  std::vector<double> density(static_cast<std::size_t>(half) + 1, 0.0);
  double total = 0.0;
  for (int32_t b = 1; b < half; ++b) {
    const double f = b * binHz;
    if (f < lo || f > hi) continue;
    const double pos = std::min(f / (rate / 2.0) * shapeCount, static_cast<double>(shapeCount - 1));
    const auto i = static_cast<int32_t>(pos);
    const double r = pos - i;
    const double db = i + 1 < shapeCount ? shape[i] + r * (shape[i + 1] - shape[i]) : shape[i];
    density[static_cast<std::size_t>(b)] = std::isfinite(db) ? std::pow(10.0, std::clamp(db, -200.0, 200.0) / 10.0) : 0.0;
    total += density[static_cast<std::size_t>(b)];
  }
  if (!(total > 0.0)) return false;
  // Group delay grows with the accumulated density over the whole period; the phase is
  // its integral, so each frequency sounds at its own time (a constant-envelope sweep).
  std::vector<float> re(static_cast<std::size_t>(period), 0.0f), im(static_cast<std::size_t>(period), 0.0f);
  const double periodSeconds = static_cast<double>(period) / rate;
  double accumulated = 0.0, phase = 0.0;
  for (int32_t b = 1; b < half; ++b) {
    const double d = density[static_cast<std::size_t>(b)];
    accumulated += d;
    const double delay = periodSeconds * (accumulated - 0.5 * d) / total;
    phase -= 2.0 * std::numbers::pi * delay * binHz;
    if (d == 0.0) continue;  // out of band: the bin stays 0
    const double mag = std::sqrt(d);
    re[static_cast<std::size_t>(b)] = static_cast<float>(mag * std::cos(phase));
    im[static_cast<std::size_t>(b)] = static_cast<float>(mag * std::sin(phase));
    re[static_cast<std::size_t>(period - b)] = re[static_cast<std::size_t>(b)];
    im[static_cast<std::size_t>(period - b)] = -im[static_cast<std::size_t>(b)];
  }
  if (!ifft(re, im, k)) return false;
  float peak = 0.0f;
  for (float v : re) peak = std::max(peak, std::fabs(v));
  if (!(peak > 0.0f)) return false;
  const double scale = std::clamp(amplitude, 0, 32767) / static_cast<double>(peak);
  for (int32_t i = 0; i < period; ++i)
    out[static_cast<std::size_t>(i)] =
        static_cast<int16_t>(std::clamp(std::lround(re[static_cast<std::size_t>(i)] * scale), -32768L, 32767L));
  return true;
}

bool PinkEnergyWeightArray(std::span<float> a, int32_t N, int32_t fs) {
  if (N < 1 || N > 20 || fs <= 0) return false;
  const std::size_t n = std::size_t{1} << N;
  if (a.size() < n) return false;
  const double binHz = static_cast<double>(fs) / static_cast<double>(n);
  a[0] = 0.0f;
  for (std::size_t k = 1; k <= n / 2; ++k) {
    const auto w = static_cast<float>(1.0 / std::sqrt(static_cast<double>(k) * binHz));
    a[k] *= w;
    if (k != n / 2) a[n - k] *= w;  // the Nyquist bin is its own mirror
  }
  return true;
}

}  // namespace zentor
