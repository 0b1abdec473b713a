#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "core/test_signals.h"
#include "support/fixture.h"

namespace zentor {
namespace {

class Signals : public test::ZentorTest {};

// True when the sequence (taken with period 2^order - 1) passes through every
// non-zero register state once: the definition of a maximum-length sequence.
template <class T>
bool VisitsEveryState(const std::vector<T>& a, int order) {
  const size_t period = (size_t{1} << order) - 1;
  std::vector<bool> seen(period + 1, false);
  uint32_t state = 0;
  auto bit = [&](size_t i) -> uint32_t { return a[i % period] < 0 ? 1u : 0u; };
  for (int k = 0; k < order; ++k) state = (state << 1) | bit(static_cast<size_t>(k));
  const uint32_t mask = (1u << order) - 1;
  for (size_t i = 0; i < period; ++i) {
    if (state == 0 || seen[state]) return false;
    seen[state] = true;
    state = ((state << 1) | bit(i + static_cast<size_t>(order))) & mask;
  }
  return true;
}

TEST_F(Signals, PinkWeightingNormalizeToPeakAndAlignImpulseByPeak) {
  std::vector<float> a(200, 99.0f);
  BuildPinkWeightingDb(a, 150);
  EXPECT_EQ(a[0], 0.0f);
  EXPECT_FLOAT_EQ(a[1], 0.0f);
  EXPECT_FLOAT_EQ(a[10], -5.0f);
  EXPECT_FLOAT_EQ(a[100], -10.0f);
  EXPECT_NEAR(a[2] - a[4], 10 * std::log10(std::sqrt(2.0)), 1e-5);  // 1.5 dB per octave
  EXPECT_EQ(a[150], 99.0f);
  std::vector<float> small(4, 99.0f);
  BuildPinkWeightingDb(small, 1000);  // held to the array
  EXPECT_FLOAT_EQ(small[3], static_cast<float>(-5 * std::log10(3.0)));
  BuildPinkWeightingDb(small, -5);

  // A signal of negative polarity is scaled by its largest magnitude.
  std::vector<float> x = {0.5f, -4.0f, 2.0f, 1.0f, 9.0f};
  ASSERT_TRUE(NormalizeToPeak(x, 1000.0f, 2));
  EXPECT_EQ(x, (std::vector<float>{125.0f, -1000.0f, 500.0f, 250.0f, 9.0f}));
  // A NaN sample does not set the peak; an infinite one is refused.
  std::vector<float> gap = {1.0f, std::numeric_limits<float>::quiet_NaN(), -2.0f, 0.5f};
  ASSERT_TRUE(NormalizeToPeak(gap, 10.0f, 2));
  EXPECT_EQ(std::pair(gap[2], gap[3]), std::pair(-10.0f, 2.5f));
  std::vector<float> wild = {1.0f, -std::numeric_limits<float>::infinity()}, silent(8, 0.0f), y(8, 1.0f);
  for (int i = 0; i < 4; ++i) dialogs.ExpectMessage();
  EXPECT_FALSE(NormalizeToPeak(wild, 10.0f, 1));
  EXPECT_FALSE(NormalizeToPeak(silent, 1000.0f, 3));
  // An order beyond the array is refused before anything is read.
  EXPECT_FALSE(NormalizeToPeak(y, 2.0f, 4));
  EXPECT_FALSE(NormalizeToPeak(y, 2.0f, -1));
  EXPECT_EQ(dialogs.MessageTexts()[0], "Error 9278");
  EXPECT_EQ(dialogs.MessageTexts()[1], "Error 2341: No input data on one or both channels");
  EXPECT_EQ(silent, std::vector<float>(8, 0.0f));
  EXPECT_EQ(y, std::vector<float>(8, 1.0f));

  const int len = 4096;
  std::vector<float> background(len);
  for (int i = 0; i < len; ++i) background[i] = 0.01f * std::sin(0.37f * i);
  struct Case {
    const char* name;
    std::vector<std::pair<int, float>> spikes;
    int32_t target, width, shift;
    bool quiet = false;  // no background
  };
  const Case cases[] = {
      {"a negative spike is still the peak", {{3000, -5.0f}, {3001, 2.0f}}, 100, 4, 2900},
      {"moving right wraps the end round; an odd window is centred too", {{3000, -5.0f}}, 3500, 3, len - 500},
      {"a peak near the start, found through the circular extension", {{1, 1.0f}}, 1, 4, 0, true},
  };
  for (const Case& c : cases) {
    std::vector<float> sig = c.quiet ? std::vector<float>(len, 0.0f) : background;
    for (auto [at, v] : c.spikes) sig[at] = v;
    const std::vector<float> original = sig;
    int32_t peak = -1;
    ASSERT_TRUE(AlignImpulseByPeak(sig, len, peak, c.target, c.width)) << c.name;
    EXPECT_EQ(peak, c.spikes[0].first) << c.name;
    for (int i = 0; i < len; ++i) ASSERT_EQ(sig[i], original[(i + c.shift) % len]) << c.name << " " << i;
  }
  // Refusals: nothing moved, the peak not written.
  std::vector<float> sig(1024, 0.0f);
  sig[10] = 1.0f;
  const std::vector<float> before = sig;
  int32_t peak = -7;
  for (auto [count, target, w] : std::vector<std::array<int32_t, 3>>{
           {1024, 0, 81}, {1024, 0, 0}, {1025, 0, 4}, {1024, 1024, 4}, {1024, -1, 4}, {0, 0, 4}}) {
    dialogs.ExpectMessage();
    EXPECT_FALSE(AlignImpulseByPeak(sig, count, peak, target, w));
    EXPECT_EQ(dialogs.MessageTexts().back(), "Error 3427");
  }
  EXPECT_EQ(sig, before);
  EXPECT_EQ(peak, -7);
  // 80 is the widest width accepted (a 400-point window).
  ASSERT_TRUE(AlignImpulseByPeak(sig, 1024, peak, 10, 80));
  EXPECT_EQ(peak, 10);
  // Data longer than the pad buffer holds are refused.
  std::vector<float> big(AlignmentPadBuffer.size(), 0.0f);
  dialogs.ExpectMessage();
  EXPECT_FALSE(AlignImpulseByPeak(big, static_cast<int32_t>(big.size()), peak, 0, 4));
}

constexpr double kPi = 3.141592653589793;

// Magnitude of bin k of the n-sample signal, by the definition of the DFT.
template <class T>
double DftMagnitude(std::span<const T> x, size_t k) {
  const size_t n = x.size();
  double re = 0, im = 0;
  for (size_t i = 0; i < n; ++i) {
    const double a = -2 * kPi * static_cast<double>((k * i) % n) / static_cast<double>(n);
    re += x[i] * std::cos(a);
    im += x[i] * std::sin(a);
  }
  return std::hypot(re, im);
}

// The start-up description of the test CD: 20 tone pairs 500 Hz apart from 10 and
// 10.25 kHz at 44.1 kHz, 2^16 samples, peak 15000.
TestCDSettings DefaultCD() {
  TestCDSettings s;
  s.ToneCount = 20;
  s.SampleRate = 44100;
  s.Amplitude = 15000;
  s.Order = 16;
  s.Shaping = 5.0f;
  s.FirstToneFreqA = 10000;
  s.FirstToneFreqB = 10250;
  s.ToneSpacing = 500;
  for (int i = 0; i < 20; ++i) {
    s.LeftToneBins[i] = static_cast<int32_t>(std::lround(65536.0 * (10250 + 500 * i) / 44100));
    s.RightToneBins[i] = static_cast<int32_t>(std::lround(65536.0 * (10000 + 500 * i) / 44100));
  }
  return s;
}

TEST_F(Signals, MLSTestCDChannelsTheirRefusalsAndSpectrumShaping) {
  for (int order = 10; order <= 20; ++order) {
    SCOPED_TRACE(order);
    const size_t n = size_t{1} << order;
    std::vector<int16_t> a(n, 7);
    std::vector<float> single(n);
    ASSERT_TRUE(BuildMLSSequence(a, order, 15000));
    ASSERT_TRUE(BuildMLSSequenceSingle(single, order, 15000));
    EXPECT_TRUE(VisitsEveryState(a, order));
    EXPECT_EQ(a[n - 1], a[0]);
    for (size_t i = 0; i < n; ++i) ASSERT_EQ(static_cast<float>(a[i]), single[i]) << i;
    // Every state once, in values of +-A only, gives the sequence's flat spectrum and balance.
    for (int16_t v : a) ASSERT_TRUE(v == 15000 || v == -15000);
    if (order == 10) {
      EXPECT_EQ(std::vector<int16_t>(a.begin(), a.begin() + 10), std::vector<int16_t>(10, -15000));
    }
  }
  // Refusals leave the arrays as they were.
  std::vector<int16_t> a(1 << 21, 7), shortArray(1023, 7);
  std::vector<float> single(1 << 21, 7.0f);
  for (int i = 0; i < 4; ++i) dialogs.ExpectMessage();
  EXPECT_FALSE(BuildMLSSequence(a, 9, 10000));
  EXPECT_FALSE(BuildMLSSequenceSingle(single, 21, 10000));
  EXPECT_FALSE(BuildMLSSequenceSingle(single, -3, 10000));
  EXPECT_FALSE(BuildMLSSequence(shortArray, 10, 10000));
  const std::vector<std::string> texts = dialogs.MessageTexts();
  EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + 3),
            (std::vector<std::string>{"Error 2364: MLS build", "Error 2365: MLS build", "Error 2364: MLS build"}));
  for (const auto* v : {&a, &shortArray}) EXPECT_TRUE(std::all_of(v->begin(), v->end(), [](int16_t x) { return x == 7; }));
  EXPECT_TRUE(std::all_of(single.begin(), single.end(), [](float v) { return v == 7.0f; }));
  // 16-bit values saturate instead of wrapping.
  std::vector<int16_t> loud(1024);
  ASSERT_TRUE(BuildMLSSequence(loud, 10, 40000));
  const auto [lo, hi] = std::minmax_element(loud.begin(), loud.end());
  EXPECT_EQ(std::pair(*lo, *hi), std::pair(int16_t{-32768}, int16_t{32767}));

  const TestCDSettings cd = DefaultCD();
  for (int variant : {-1, -2}) {
    SCOPED_TRACE(variant);
    std::vector<int16_t> a(65536, 1), b(65536, 2);
    ASSERT_TRUE(BuildTestCDSignal(a, cd, variant));
    ASSERT_TRUE(BuildTestCDSignal(b, cd, variant));
    EXPECT_EQ(a, b);  // the same bytes on every run

    int peak = 0;
    for (int16_t v : a) peak = std::max(peak, std::abs(static_cast<int>(v)));
    EXPECT_NEAR(peak, 15000, 1);

    const std::span<const int16_t> s(a);
    const auto& bins = variant == -1 ? cd.LeftToneBins : cd.RightToneBins;
    for (int32_t bin : bins) {
      const double tone = DftMagnitude(s, static_cast<size_t>(bin));
      EXPECT_GT(20 * std::log10(tone / DftMagnitude(s, static_cast<size_t>(bin - 1))), 20.0) << bin;
      EXPECT_GT(20 * std::log10(tone / DftMagnitude(s, static_cast<size_t>(bin + 1))), 20.0) << bin;
    }
    // Nothing below the shaping cut (k0 = 3) and no DC, but real content under 250 Hz.
    EXPECT_LT(DftMagnitude(s, 0), 65536.0 * 2);
    EXPECT_GT(DftMagnitude(s, 100), DftMagnitude(s, 2) * 10);
    double energy = 0;
    for (int16_t v : a) energy += static_cast<double>(v) * v;
    EXPECT_GT(std::sqrt(energy / 65536), 1000.0);
  }
  // Refusals of bad settings write nothing.
  std::vector<TestCDSettings> bad(9, cd);
  bad[0].Order = 9;
  bad[1].Order = 17;
  bad[2].ToneCount = 21;
  bad[3].ToneCount = -1;
  bad[4].LeftToneBins[19] = 0;
  bad[5].RightToneBins[0] = 32768;  // n/2
  bad[6].SampleRate = 0;
  bad[7].Amplitude = 0;
  bad[8].Shaping = std::nanf("");
  std::vector<int16_t> out(65536, 3);
  for (size_t i = 0; i < bad.size(); ++i) {
    dialogs.ExpectMessage();
    EXPECT_FALSE(BuildTestCDSignal(out, bad[i], -1)) << i;
    EXPECT_EQ(dialogs.MessageTexts().back(), "Error 7121: Invalid test CD settings");
  }
  dialogs.ExpectMessage();
  EXPECT_FALSE(BuildTestCDSignal(out, cd, 0));
  std::vector<int16_t> shortOut(65535, 3);
  dialogs.ExpectMessage();
  EXPECT_FALSE(BuildTestCDSignal(shortOut, cd, -1));
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t v) { return v == 3; }));
  EXPECT_TRUE(std::all_of(shortOut.begin(), shortOut.end(), [](int16_t v) { return v == 3; }));
  // Tone bins past the tone count are not looked at; a shorter order fits a shorter array.
  TestCDSettings fewer = cd;
  fewer.ToneCount = 2;
  fewer.Order = 12;
  for (int i = 0; i < 20; ++i) fewer.LeftToneBins[i] = fewer.RightToneBins[i] = i < 2 ? 900 + i * 10 : -5;
  std::vector<int16_t> small(4096);
  ASSERT_TRUE(BuildTestCDSignal(small, fewer, -2));
  const std::span<const int16_t> s(small);
  EXPECT_GT(DftMagnitude(s, 900), 10 * DftMagnitude(s, 899));

  const int order = 10, n = 1024, rate = 8192;  // df = 8 Hz
  const double df = 8.0;
  std::vector<float> x(n);
  const int kept = 40, dropped = 3;
  for (int i = 0; i < n; ++i)
    x[i] = static_cast<float>(std::cos(2 * kPi * kept * i / n) + 0.5 * std::sin(2 * kPi * dropped * i / n) + 0.25);
  // p = 0.5 gives k0 = 0.5 x 8192 / 1024 = 4: bins 0..3 go, bin 40 is weighted by
  // 1/sqrt(40 df) and its mirror by the law one bin lower, 1/sqrt(39 df).
  ASSERT_TRUE(ShapeSpectrumBySqrt(order, x, rate, 0.5f));
  const double gain = 0.5 * (1 / std::sqrt(kept * df) + 1 / std::sqrt((kept - 1) * df));
  for (int i = 0; i < n; ++i) ASSERT_NEAR(x[i], gain * std::cos(2 * kPi * kept * i / n), 1e-5) << i;
  // p = 0 keeps every bin: the zero-frequency bin is dropped, never divided by zero.
  for (int i = 0; i < n; ++i) x[i] = static_cast<float>(1.0 + std::cos(2 * kPi * 2 * i / n));
  ASSERT_TRUE(ShapeSpectrumBySqrt(order, x, rate, 0.0f));
  const double g2 = 0.5 * (1 / std::sqrt(2 * df) + 1 / std::sqrt(1 * df));
  for (int i = 0; i < n; ++i) ASSERT_NEAR(x[i], g2 * std::cos(2 * kPi * 2 * i / n), 1e-5) << i;
  // A shaping value beyond half the rate removes everything, without a fault.
  ASSERT_TRUE(ShapeSpectrumBySqrt(order, x, rate, 1e9f));
  for (float v : x) ASSERT_EQ(v, 0.0f);

  std::vector<float> y(n, 1.0f);
  for (auto [o, r, p] : std::vector<std::tuple<int, int, float>>{{11, rate, 1.0f}, {17, rate, 1.0f}, {order, 0, 1.0f},
                                                                 {order, rate, std::nanf("")}}) {
    dialogs.ExpectMessage();
    EXPECT_FALSE(ShapeSpectrumBySqrt(o, y, r, p));
  }
  EXPECT_EQ(y, std::vector<float>(n, 1.0f));
}

}  // namespace
}  // namespace zentor
