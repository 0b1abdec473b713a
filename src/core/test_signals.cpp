#include "core/test_signals.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/shared_state.h"
#include "core/text_number.h"
#include "platform/dialogs.h"

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
  float peak = 0.0f;
  for (size_t i = 0; i < m; ++i) peak = std::max(peak, std::fabs(x[i]));
  if (peak == 0.0f) {
    MsgBox("Error 2341: No input data on one or both channels");
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
  for (int64_t k = 0; k < n + 2 * H; ++k) {
    int64_t j = (k - H) % n;
    if (j < 0) j += n;
    AlignmentPadBuffer[static_cast<size_t>(k)] = x[static_cast<size_t>(j)];
  }
  std::vector<float> window(static_cast<size_t>(W));
  const double c = (W - 1) / 2.0;
  for (int64_t j = 0; j < W; ++j) {
    const double u = (j - c) / w;
    window[static_cast<size_t>(j)] = static_cast<float>(std::exp(-0.5 * u * u));
  }
  // Only the n smoothed values that can hold the peak are computed; the offset
  // centres the window on sample i (half a sample late for an even width).
  const int64_t offset = H - W / 2;
  int32_t best = 0;
  float bestMag = -1.0f;
  for (int64_t i = 0; i < n; ++i) {
    const float* p = AlignmentPadBuffer.data() + i + offset;
    float s = 0.0f;
    for (int64_t j = 0; j < W; ++j) s += p[j] * window[static_cast<size_t>(j)];
    const float m = std::fabs(s);
    if (m > bestMag) {
      bestMag = m;
      best = static_cast<int32_t>(i);
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

}  // namespace zentor
