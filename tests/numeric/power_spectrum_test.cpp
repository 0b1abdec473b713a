#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "platform/numeric/numeric.h"

namespace zentor {
namespace {

TEST(PowerSpectralDensity, WhiteNoiseReadsItsVarianceInEveryBand) {
  const int32_t e = 12, count = 64 << 12;  // 63 overlapping segments
  std::mt19937 gen(7);
  std::normal_distribution<float> d(0.0f, 3.0f);
  std::vector<float> x(count);
  for (float& v : x) v = d(gen);
  std::vector<float> s((1 << e) + 1, -1.0f);
  ASSERT_TRUE(PowerSpectralDensity(x, count, s, e, 100));
  // Averaged over 256-bin bands, s^2 sits at sigma^2 = 9 within the estimate's spread.
  for (int32_t band = 1; band < 15; ++band) {
    double mean = 0;
    for (int32_t i = band * 256; i < (band + 1) * 256; ++i) mean += double(s[i]) * s[i];
    EXPECT_NEAR(mean / 256, 9.0, 0.35) << band;
  }
}

TEST(PowerSpectralDensity, SineOnABinGivesTheHannPeakAndItsTwoNeighbours) {
  // 999.76 Hz at 48 kHz falls on bin 1365 of a 65536-sample segment.
  const int32_t e = 15, len = 1 << (e + 1), count = 196608;
  const double a = 1000.0, f = 1365.0 * 48000.0 / len;
  std::vector<float> x(count);
  for (int32_t i = 0; i < count; ++i) x[i] = static_cast<float>(a * std::sin(2 * std::numbers::pi * f * i / 48000.0));
  std::vector<float> s((1 << e) + 1);
  ASSERT_TRUE(PowerSpectralDensity(x, count, s, e, 100));
  EXPECT_EQ(std::max_element(s.begin(), s.end()) - s.begin(), 1365);
  // Hann: |X_k| = a L / 4 and sum w^2 = 3 L / 8, so s^2 = a^2 L / 6; each neighbour a quarter of it.
  const double peak = a * a * len / 6.0;
  EXPECT_NEAR(double(s[1365]) * s[1365] / peak, 1.0, 1e-3);
  EXPECT_NEAR(double(s[1364]) * s[1364] / peak, 0.25, 1e-3);
  EXPECT_NEAR(double(s[1366]) * s[1366] / peak, 0.25, 1e-3);
  EXPECT_LT(double(s[1370]) * s[1370] / peak, 1e-6);
}

TEST(PowerSpectralDensity, SegmentLimitAndRefusals) {
  const int32_t e = 4, len = 32;
  // Only the third and later segments hear the tone: one segment sees silence.
  std::vector<float> x(200, 0.0f);
  for (int32_t i = 40; i < 200; ++i) x[i] = 1.0f;
  std::vector<float> s(17, -1.0f);
  ASSERT_TRUE(PowerSpectralDensity(x, 200, s, e, 1));
  EXPECT_TRUE(std::all_of(s.begin(), s.end(), [](float v) { return v == 0.0f; }));
  ASSERT_TRUE(PowerSpectralDensity(x, 200, s, e, 100));
  EXPECT_GT(s[0], 0.0f);
  // A constant c: X_0 = c L / 2, so s_0^2 = 2 c^2 L / 3.
  std::vector<float> c(len, 2.0f);
  ASSERT_TRUE(PowerSpectralDensity(c, len, s, e, 100));
  EXPECT_NEAR(double(s[0]) * s[0], 2.0 * 4.0 * len / 3.0, 1e-3);

  std::fill(s.begin(), s.end(), -1.0f);
  EXPECT_FALSE(PowerSpectralDensity(x, len - 1, s, e, 100));       // shorter than a segment
  EXPECT_FALSE(PowerSpectralDensity(x, 200, std::span<float>(s).first(16), e, 100));
  EXPECT_FALSE(PowerSpectralDensity(x, 200, s, 0, 100));
  EXPECT_FALSE(PowerSpectralDensity(x, 200, s, e, 0));
  EXPECT_FALSE(PowerSpectralDensity(x, 200, s, 30, 100));
  EXPECT_TRUE(std::all_of(s.begin(), s.end(), [](float v) { return v == -1.0f; }));
  // A count beyond the span reads the span only.
  std::vector<float> whole(17);
  ASSERT_TRUE(PowerSpectralDensity(x, 5000, s, e, 100));
  ASSERT_TRUE(PowerSpectralDensity(x, 200, whole, e, 100));
  EXPECT_EQ(s, whole);
}

}  // namespace
}  // namespace zentor
