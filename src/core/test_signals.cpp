#include "core/test_signals.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <vector>

#include "core/filter_design.h"
#include "base/shared_state.h"
#include "base/text_number.h"
#include "platform/dialogs.h"
#include "platform/numeric/numeric.h"

namespace zentor {

TestCDSettings CDSignalParams{};
std::array<float, 262545> AlignmentPadBuffer{};
std::array<int16_t, 65536> TestSignalBuffer{};

namespace {

SharedStateRegistrar resetSignals([] {
  CDSignalParams = TestCDSettings{};
  AlignmentPadBuffer.fill(0);
  TestSignalBuffer.fill(0);
});

// Feedback taps of each order's shift register: bit i + N is bit i exclusive-ored
// with bits i + t. Every set gives a sequence of period 2^N - 1.
struct Taps {
  int count;
  int t[3];
};
constexpr Taps kMLSTaps[] = {
    {1, {3}},          // 10
    {1, {9}},          // 11
    {3, {5, 8, 9}},    // 12
    {3, {9, 10, 12}},  // 13
    {3, {2, 3, 13}},   // 14
    {1, {14}},         // 15
    {3, {11, 13, 14}}, // 16
    {1, {14}},         // 17
    {1, {11}},         // 18
    {3, {13, 14, 18}}, // 19
    {1, {17}},         // 20
};

// Runs the recurrence on 0/1 values held in the array itself, then maps each bit
// to -amplitude (1) or +amplitude (0).
template <class T>
bool BuildMLS(std::span<T> a, int32_t order, T minusA, T plusA) {
  if (order < kMinMLSOrder) {
    MsgBox("Error 2364: MLS build");
    return false;
  }
  if (order > kMaxMLSOrder) {
    MsgBox("Error 2365: MLS build");
    return false;
  }
  const size_t n = size_t{1} << order;
  if (a.size() < n) {
    MsgBox("Error 2365: MLS build");
    return false;
  }
  const Taps& taps = kMLSTaps[order - kMinMLSOrder];
  const size_t N = static_cast<size_t>(order);
  for (size_t i = 0; i < N; ++i) a[i] = T(1);
  for (size_t i = 0; i + N < n; ++i) {
    int bit = a[i] != T(0);
    for (int k = 0; k < taps.count; ++k) bit ^= a[i + static_cast<size_t>(taps.t[k])] != T(0);
    a[i + N] = T(bit);
  }
  for (size_t i = 0; i < n; ++i) a[i] = a[i] != T(0) ? minusA : plusA;
  return true;
}

}  // namespace

bool BuildMLSSequence(std::span<int16_t> a, int32_t order, int32_t amplitude) {
  return BuildMLS<int16_t>(a, order, CInt(-static_cast<double>(amplitude)), CInt(static_cast<double>(amplitude)));
}

bool BuildMLSSequenceSingle(std::span<float> a, int32_t order, int32_t amplitude) {
  return BuildMLS<float>(a, order, -static_cast<float>(amplitude), static_cast<float>(amplitude));
}

void BuildPinkWeightingDb(std::span<float> a, int32_t n) {
  const size_t m = std::min(static_cast<size_t>(std::max(n, 0)), a.size());
  for (size_t i = 1; i < m; ++i) a[i] = static_cast<float>(10.0 * std::log10(1.0 / std::sqrt(static_cast<double>(i))));
  if (m > 0) a[0] = 0.0f;  // the flat extension of bin 1, which is 0 dB
}

bool NormalizeToPeak(std::span<float> x, float level, int32_t order) {
  if (order < 0 || order > 30 || (size_t{1} << order) > x.size()) {
    MsgBox("Error 9277");
    return false;
  }
  const size_t m = size_t{1} << order;
  // The largest magnitude, so that a signal of negative polarity reaches the level too.
  // On the magnitude bits, which order like the values and let the loop vectorise; a
  // NaN is passed over as std::max passes over it.
  uint32_t top = 0;
  for (size_t i = 0; i < m; ++i) {
    const uint32_t bits = std::bit_cast<uint32_t>(x[i]) & 0x7fffffffu;
    top = std::max(top, bits > 0x7f800000u ? 0u : bits);
  }
  const float peak = std::bit_cast<float>(top);
  if (peak == 0.0f) {
    MsgBox(kNoInputDataMessage);
    return false;
  }
  const float scale = level / peak;
  if (!std::isfinite(scale) || !std::isfinite(peak)) {
    MsgBox("Error 9278");
    return false;
  }
  for (size_t i = 0; i < m; ++i) x[i] *= scale;
  return true;
}

bool AlignImpulseByPeak(std::span<float> x, int32_t n, int32_t& peak, int32_t target, int32_t w) {
  const int64_t W = 5 * static_cast<int64_t>(w);
  if (W > 400 || w < 1) {
    MsgBox("Error 3427");
    return false;
  }
  const int64_t H = static_cast<int64_t>(RoundHalfEven(static_cast<double>(W) / 2.0));
  if (n < 1 || static_cast<size_t>(n) > x.size() || static_cast<size_t>(n + 2 * H) > AlignmentPadBuffer.size() ||
      target < 0 || target >= n) {
    MsgBox("Error 3427");
    return false;
  }
  // Circular extension: the last H samples, the signal, the first H samples.
  if (H <= n) {
    float* pad = AlignmentPadBuffer.data();
    std::copy_n(x.begin() + (n - H), H, pad);
    std::copy_n(x.begin(), n, pad + H);
    std::copy_n(x.begin(), H, pad + H + n);
  } else {
    for (int64_t k = 0; k < n + 2 * H; ++k) {
      int64_t j = (k - H) % n;
      if (j < 0) j += n;
      AlignmentPadBuffer[static_cast<size_t>(k)] = x[static_cast<size_t>(j)];
    }
  }
  std::array<float, 400> window{};
  GetSymmetricalPsycologicalGaussianWindow(window, static_cast<int32_t>(W), static_cast<float>(w));
  // Only the n smoothed values that can hold the peak are computed; the offset
  // centres the window on sample i (half a sample late for an even width). A block
  // of outputs is summed tap by tap so the inner loop runs across outputs (and
  // vectorises) while each output still adds its taps in the same order.
  const int64_t offset = H - W / 2;
  constexpr int64_t kBlock = 512;
  std::array<float, kBlock> sum{};
  int32_t best = 0;
  float bestMag = -1.0f;
  for (int64_t i0 = 0; i0 < n; i0 += kBlock) {
    const int64_t m = std::min<int64_t>(kBlock, n - i0);
    const float* base = AlignmentPadBuffer.data() + i0 + offset;
    std::fill_n(sum.begin(), m, 0.0f);
    for (int64_t j = 0; j < W; ++j) {
      const float c = window[static_cast<size_t>(j)];
      const float* p = base + j;
      float* out = sum.data();
      for (int64_t k = 0; k < m; ++k) out[k] += p[k] * c;
    }
    for (int64_t k = 0; k < m; ++k) {
      const float mag = std::fabs(sum[static_cast<size_t>(k)]);
      if (mag > bestMag) {
        bestMag = mag;
        best = static_cast<int32_t>(i0 + k);
      }
    }
  }
  peak = best;
  auto first = x.begin();
  auto last = x.begin() + n;
  if (peak > target)
    std::rotate(first, first + (peak - target), last);
  else if (peak < target)
    std::rotate(first, last - (target - peak), last);
  return true;
}

namespace {

constexpr size_t kMaxCDLength = size_t{1} << kMaxTestCDOrder;

// Scratch of the test-CD builder and of the spectral shaping, one signal each.
std::array<float, kMaxCDLength> cdMls, cdMlsIm, cdMix, cdMixIm, cdPink, shapeRe, shapeIm;

constexpr const char* kBadCDSettings = "Error 7121: Invalid test CD settings";

// One period (n samples) of a sweep from lowHz to highHz whose time spent at each
// frequency follows the power of the dB shape (shapeDb[k] for transform bin k, the
// last entry beyond its end), peak amplitude, into out. It is made in the frequency
// domain: the group delay of bin k is the period times the share of the energy up
// to k, so the sweep fills the whole period without a gap.
void BuildShapedSweep(std::span<const float> shapeDb, int32_t count, std::span<int16_t> out, int32_t order,
                      int16_t amplitude, int32_t rate, float lowHz, float highHz) {
  const size_t n = size_t{1} << order;
  std::span<float> re(shapeRe.data(), n), im(shapeIm.data(), n);
  if (shapeDb.empty()) return;
  std::fill(re.begin(), re.end(), 0.0f);
  std::fill(im.begin(), im.end(), 0.0f);
  const size_t m = std::min(static_cast<size_t>(std::max(count, 1)), shapeDb.size());
  const double df = static_cast<double>(rate) / static_cast<double>(n);
  std::vector<double> power(n / 2, 0.0);
  double total = 0.0;
  for (size_t k = 1; k < n / 2; ++k) {
    const double f = static_cast<double>(k) * df;
    if (f < lowHz || f > highHz) continue;
    power[k] = std::pow(10.0, shapeDb[std::min(k, m - 1)] / 10.0);
    total += power[k];
  }
  if (total > 0) {
    constexpr double kTwoPi = 6.283185307179586;
    double energy = 0.0, phase = 0.0;
    for (size_t k = 1; k < n / 2; ++k) {
      if (power[k] == 0) continue;
      energy += power[k];
      phase -= kTwoPi * (energy / total);  // delay of (energy share) x n samples over one bin
      const double mag = std::sqrt(power[k]);
      re[k] = static_cast<float>(mag * std::cos(phase));
      im[k] = static_cast<float>(mag * std::sin(phase));
      re[n - k] = re[k];
      im[n - k] = -im[k];
    }
    ifft(re, im, order);
  }
  float peak = 0.0f;
  for (size_t i = 0; i < n; ++i) peak = std::max(peak, std::fabs(re[i]));
  const double scale = peak > 0 ? amplitude / static_cast<double>(peak) : 0.0;
  for (size_t i = 0; i < n; ++i) out[i] = CInt(re[i] * scale);
}

bool ToneBinsValid(const std::array<int32_t, kTestCDToneSlots>& bins, int32_t count, size_t n) {
  for (int32_t i = 0; i < count; ++i) {
    const int32_t b = bins[static_cast<size_t>(i)];
    if (b <= 0 || static_cast<size_t>(b) >= n / 2) return false;
  }
  return true;
}

}  // namespace

bool ShapeSpectrumBySqrt(int32_t order, std::span<float> x, int32_t rate, float p) {
  if (order < 1 || order > kMaxTestCDOrder || x.size() < (size_t{1} << order) || rate <= 0 || !std::isfinite(p)) {
    MsgBox(kBadCDSettings);
    return false;
  }
  const size_t n = size_t{1} << order;
  std::span<float> re(shapeRe.data(), n), im(shapeIm.data(), n);
  std::copy_n(x.begin(), n, re.begin());
  std::fill(im.begin(), im.end(), 0.0f);
  fft(re, im, order);

  const float df = static_cast<float>(rate) / static_cast<float>(n);
  const int64_t k0 = std::clamp<int64_t>(CLng(p * static_cast<float>(rate) / static_cast<float>(n)), 0,
                                         static_cast<int64_t>(n / 2));
  const int64_t upperZero = std::max<int64_t>(static_cast<int64_t>(n) - k0 - 1, 0);
  auto zeroed = [&](int64_t k) { return k < k0 || k >= upperZero; };
  auto weight = [&](int64_t k, float f) {
    const size_t i = static_cast<size_t>(k);
    if (zeroed(k)) {
      re[i] = im[i] = 0.0f;
    } else if (f > 0) {
      const float g = 1.0f / std::sqrt(f);
      re[i] *= g;
      im[i] *= g;
    } else {
      re[i] = im[i] = 0.0f;  // a zero frequency has no finite weight: the bin is dropped
    }
  };
  const int64_t half = static_cast<int64_t>(n / 2);
  for (int64_t k = 0; k < half; ++k) weight(k, static_cast<float>(k) * df);
  // The upper half takes the law at (n/2 - 1 - (k - n/2)) df, one bin off the exact
  // mirror; the test-CD measurement expects this.
  for (int64_t k = half; k < static_cast<int64_t>(n); ++k)
    weight(k, static_cast<float>(half - 1) * df - static_cast<float>(k - half) * df);

  ifft(re, im, order);
  std::copy_n(re.begin(), n, x.begin());
  return true;
}

bool BuildTestCDSignal(std::span<int16_t> dest, const TestCDSettings& settings, int32_t variant) {
  const int32_t N = settings.Order;
  const bool orderOk = N >= kMinTestCDOrder && N <= kMaxTestCDOrder;
  const size_t n = orderOk ? size_t{1} << N : 0;
  if (!orderOk || dest.size() < n || (variant != -1 && variant != -2) || settings.ToneCount < 0 ||
      settings.ToneCount > kTestCDToneSlots || !ToneBinsValid(settings.LeftToneBins, settings.ToneCount, n) ||
      !ToneBinsValid(settings.RightToneBins, settings.ToneCount, n) || settings.SampleRate <= 0 ||
      !(settings.Amplitude >= 1.0f && settings.Amplitude <= 32767.0f) || !std::isfinite(settings.Shaping)) {
    MsgBox(kBadCDSettings);
    return false;
  }
  const int32_t rate = settings.SampleRate;
  const float amplitude = settings.Amplitude;
  std::span<float> mls(cdMls.data(), n), mlsIm(cdMlsIm.data(), n);
  std::span<float> mix(cdMix.data(), n), mixIm(cdMixIm.data(), n);

  // High-passed MLS: a second-order Butterworth high-pass at 250 Hz on its spectrum.
  if (!BuildMLSSequenceSingle(mls, N, CLng(amplitude))) return false;
  std::fill(mlsIm.begin(), mlsIm.end(), 0.0f);
  fft(mls, mlsIm, N);
  double re1 = 0, im1 = 0, re2 = 0, im2 = 0;
  ResonanceRoots(0.7071067811865475, 1570.7963267948974, re1, im1, re2, im2);
  FilterBlock& block = WorkFilterBlock;
  ClearFilterBlock(block);
  block.samplerate = rate;
  block.Domain = kDomainSPlane;
  block.AnalogGain = block.DigitalGain = 1.0;
  block.NumPoles = 2;
  block.PoleRe[0] = re1;
  block.PoleIm[0] = im1;
  block.PoleRe[1] = re2;
  block.PoleIm[1] = im2;
  block.NumZeros = 2;  // both at the origin
  if (BilinearTransformFilterBlock(block))
    ComplexZFilterC(mls, mlsIm, static_cast<int32_t>(n), rate, block.PoleRe, block.PoleIm, block.ZeroRe, block.ZeroIm,
                    block.NumPoles, block.NumZeros, block.Domain, block.AnalogGain, block.DigitalGain);
  else
    MsgBox("Error 7120");
  ifft(mls, mlsIm, N);
  if (!NormalizeToPeak(mls, amplitude, N)) return false;

  // Pink-weighted sweep below 250 Hz, mixed half and half with the MLS.
  BuildPinkWeightingDb(cdPink, static_cast<int32_t>(n / 2));
  BuildShapedSweep(cdPink, static_cast<int32_t>(n / 2), TestSignalBuffer, N, CInt(amplitude), rate, 5.0f, 250.0f);
  for (size_t i = 0; i < n; ++i) {
    const float v = (static_cast<float>(TestSignalBuffer[i]) + mls[i]) * 0.5f;
    if (variant == -2)
      mix[n - 1 - i] = v;
    else
      mix[i] = v;
  }

  // The measurement tones replace their bins.
  std::fill(mixIm.begin(), mixIm.end(), 0.0f);
  fft(mix, mixIm, N);
  const float toneValue = static_cast<float>(n) * amplitude / 15.0f;
  const auto& bins = variant == -2 ? settings.RightToneBins : settings.LeftToneBins;
  for (int32_t i = 0; i < settings.ToneCount; ++i) {
    const size_t b = static_cast<size_t>(bins[static_cast<size_t>(i)]);
    mix[b] = 0.0f;
    mixIm[b] = toneValue;
  }
  ifft(mix, mixIm, N);

  if (!ShapeSpectrumBySqrt(N, mix, rate, settings.Shaping)) return false;
  if (!NormalizeToPeak(mix, amplitude, N)) return false;
  for (size_t i = 0; i < n; ++i) dest[i] = CInt(mix[i]);
  return true;
}

}  // namespace zentor
