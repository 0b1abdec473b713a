#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <numbers>
#include <numeric>
#include <tuple>
#include <vector>

#include "base/text_number.h"
#include "platform/numeric/numeric.h"

namespace zentor {
namespace {

constexpr double kPi = std::numbers::pi;

TEST(Arrays, ExtremesPeakSumsAndRotationOverTheFirstNOnly) {
  const std::vector<float> a{0.5f, -3.0f, 2.0f, 3.0f, -7.0f, 7.0f};
  float mx = 0, mn = 0;
  FindMaxValue(a, 4, mx);
  FindMinValue(a, 4, mn);
  EXPECT_EQ(std::pair(mn, mx), std::pair(-3.0f, 3.0f));
  int32_t first = -1, negative = -1;
  FindImpulseC(a, 4, first);
  FindImpulseC(a, 6, negative);
  EXPECT_EQ(std::pair(first, negative), std::pair(1, 4));  // |-3| ties |3|: the first wins; a negative peak
  std::vector<float> many(10000000, 0.1f);
  double sum = 0;
  IntegrateSingle(many, 0, 10000000, sum);
  EXPECT_NEAR(sum, 1e7 * static_cast<double>(0.1f), 1e-3);  // a float accumulator would drift by thousands
  IntegrateSingle(a, 4, 10, sum);           // clipped at the end
  EXPECT_EQ(sum, 0.0);
  SquareAndSumSingle(a, 3, sum);
  EXPECT_DOUBLE_EQ(sum, 0.25 + 9 + 4);
  const std::vector<float> x{0, 1, 2, 3, 4}, y{5, 3, 1, -1, -3};
  std::vector<float> out(3, 9.0f);
  LinearExtrapolationC(x, y, 1, 4, out);
  EXPECT_FLOAT_EQ(out[0], -2.0f);
  double r = 0;
  SquareRootC(-4.0, r);
  EXPECT_EQ(r, 0.0);
  TangentC(kPi / 4, r);
  EXPECT_NEAR(r, 1.0, 1e-12);

  // Rotation is circular over the first n only.
  std::vector<float> rot(12);
  std::iota(rot.begin(), rot.end(), 0.0f);
  const std::vector<float> orig = rot;
  RotateImpulseLeftC(10, rot, 3);
  EXPECT_EQ(std::tuple(rot[0], rot[9], rot[10]), std::tuple(3.0f, 2.0f, 10.0f));
  RotateImpulseRightC(10, rot, 3);
  EXPECT_EQ(rot, orig);
  RotateImpulseLeftC(10, rot, 23);  // 23 mod 10
  RotateImpulseRightC(10, rot, 3);
  EXPECT_EQ(rot, orig);
  RotateImpulseRightC(10, rot, -2);  // negative shift turns the other way
  RotateImpulseLeftC(10, rot, -2);
  EXPECT_EQ(rot, orig);
  RotateImpulseLeftC(50, rot, 5);  // n clamped to the array
  EXPECT_EQ(rot[0], 5.0f);
}

// Powers are taken to dB four at a time: every float power, the extremes among
// them, reads as the library's 10·log10 does.
TEST(Arrays, PowerLevelsDifferencesAndOutputsAliasingInputs) {
  std::vector<float> p;
  for (uint32_t bits = 0; bits < 0x7F800000u; bits += 9973) p.push_back(std::bit_cast<float>(bits));
  for (float v : {std::numeric_limits<float>::infinity(), std::numeric_limits<float>::max(),
                  std::numeric_limits<float>::denorm_min(), -std::numeric_limits<float>::infinity(), 1e-30f, 1.0f})
    p.push_back(v);
  std::vector<float> dB = p;
  TenLogTenArray(dB, static_cast<int32_t>(dB.size()));
  int32_t apart = 0;
  for (size_t i = 0; i < p.size(); ++i) {
    const auto want = static_cast<float>(10.0 * std::log10(std::max(static_cast<double>(p[i]), 1e-30)));
    if (dB[i] == want) continue;
    ++apart;
    EXPECT_LE(std::fabs(dB[i] - want), std::fabs(want) * 1.2e-7f) << p[i];
  }
  EXPECT_LE(apart, 2) << "of " << p.size();
  // Forward differences end in zero.
  std::vector<double> a{1, 4, 9, 16, 7};
  DifferentiateDouble(a, 0, 4);
  EXPECT_EQ(a, (std::vector<double>{3, 5, 7, 0, 7}));  // the fifth value is past the count
  std::vector<double> one{5};
  DifferentiateDouble(one, 0, 3);  // a count beyond the array is held to it
  EXPECT_EQ(one, (std::vector<double>{0}));
  DifferentiateDouble(one, 0, -2);
  EXPECT_EQ(one, (std::vector<double>{0}));

  // Outputs may alias inputs where allowed.
  std::vector<float> av{1, 2, 3}, b{10, 20, 30};
  AddArray(av, b, b, 3);
  EXPECT_EQ(b, (std::vector<float>{11, 22, 33}));
  SubtractCurves(b, av, b, 3);
  EXPECT_EQ(b, (std::vector<float>{10, 20, 30}));
  MultiplyArray(av, b, av, 3);
  EXPECT_EQ(av, (std::vector<float>{10, 40, 90}));
  std::vector<float> re{3, 1}, im{4, 1};
  MagArraySquared(re, im, re, 2);
  EXPECT_EQ(re, (std::vector<float>{25, 2}));
  std::vector<float> c{1, 2, 3, 4, 5};
  CopySingle(c, std::span<float>(c).subspan(1), 4);  // overlapping copy
  EXPECT_EQ(c, (std::vector<float>{1, 1, 2, 3, 4}));
  MultSingleByConst(c, 2, 0.5f);
  MultSingleByConst(c, 3.0f, 1);
  EXPECT_EQ(std::tuple(c[0], c[1], c[2]), std::tuple(1.5f, 0.5f, 2.0f));
  std::vector<int16_t> i16(4);
  const std::vector<float> f{40000.0f, -2.5f, 3.5f, std::numeric_limits<float>::quiet_NaN()};
  CopySingleToInt(f, i16, 4);
  EXPECT_EQ(i16, (std::vector<int16_t>{32767, -2, 4, 0}));
  // The same as CInt one value at a time, halves and the saturation edges included.
  const float inf = std::numeric_limits<float>::infinity();
  const std::vector<float> edges{0.5f, 1.5f, -0.5f, -1.5f, 2.4999998f, 32766.5f, 32767.5f, -32767.5f,
                                 -32768.5f, -40000.0f, 1e30f, -inf, inf, -0.0f, 12345.678f, -9.5f};
  std::vector<int16_t> fast(edges.size());
  CopySingleToInt(edges, fast, static_cast<int32_t>(edges.size()));
  for (size_t k = 0; k < edges.size(); ++k) EXPECT_EQ(fast[k], CInt(edges[k])) << edges[k];
  std::vector<float> g(4);
  CopyIntToSingle(i16, g, 4);
  EXPECT_EQ(g[0], 32767.0f);
  ClearArray(g, 99);  // clamped to the array
  EXPECT_EQ(g, std::vector<float>(4, 0.0f));
}

TEST(Arrays, LevelsNeverInfOrNaNUnitImpulseIsZeroDbAndTapersAreHalfHann) {
  std::vector<float> re{0.0f, 1.0f, -0.0f, 10.0f}, im{0.0f, 0.0f, 0.0f, 0.0f}, out(4);
  LogMagArray(out, re, im, 4);
  EXPECT_NEAR(out[0], -300.0f, 1e-3);
  EXPECT_EQ(out[1], 0.0f);  // the unit impulse
  EXPECT_NEAR(out[3], 20.0f, 1e-5);
  std::vector<float> p{-1.0f, 0.0f, std::numeric_limits<float>::quiet_NaN(), 100.0f};
  TenLogTenArray(p, 4);
  for (float v : p) EXPECT_TRUE(std::isfinite(v));
  EXPECT_FLOAT_EQ(p[3], 20.0f);
  std::vector<double> d{0.0, -2.0, 10.0};
  TwentyLogTenDoubleArray(d, 3);
  EXPECT_NEAR(d[0], -300.0, 1e-9);
  EXPECT_NEAR(d[1], 20 * std::log10(2.0), 1e-9);  // magnitude: sign does not matter
  EXPECT_NEAR(d[2], 20.0, 1e-12);
  std::vector<double> e{0.0, -1.0};
  TenLogTenDoubleArray(e, 2);
  EXPECT_EQ(e[0], -300.0);
  std::vector<double> back{20.0, -10.0};
  TenPowerValueOverTen(back, 1);
  TenPowerValueOverTwenty(std::span<double>(back).subspan(1), 1);
  EXPECT_NEAR(back[0], 100.0, 1e-9);
  EXPECT_NEAR(back[1], std::pow(10.0, -0.5), 1e-12);
  std::vector<float> neg{-5.0f, 0.0f, std::numeric_limits<float>::quiet_NaN(), 2.0f};
  CheckForNegatives(neg, 4);
  for (int i = 0; i < 3; ++i) EXPECT_GT(neg[i], 0.0f);
  EXPECT_EQ(neg[3], 2.0f);
  // Tapers are half a Hann window, clamped to the array.
  std::vector<float> a(10, 1.0f);
  TaperStartOfImpulseC(a, 4);
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(a[i], 0.5 * (1 - std::cos(kPi * i / 4)), 1e-7);
  for (int i = 4; i < 10; ++i) EXPECT_EQ(a[i], 1.0f);
  std::vector<float> b(10, 1.0f);
  TaperEndOfImpulseC(b, 4, 8);  // the last 4 of the first 8, mirrored
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(b[7 - i], a[i], 1e-7);
  EXPECT_EQ(std::pair(b[3], b[8]), std::pair(1.0f, 1.0f));  // b[8] is beyond n: untouched
  std::vector<float> c(6, 2.0f);
  TaperStartOfImpulseC(c, 0);
  TaperEndOfImpulseC(c, -3, 6);
  EXPECT_EQ(c, std::vector<float>(6, 2.0f));
  TaperEndOfImpulseC(c, 100, 6);  // L > n: the whole n fades
  EXPECT_EQ(c[5], 0.0f);
  EXPECT_NEAR(c[0], 2.0f * 0.5 * (1 - std::cos(kPi * 5 / 6)), 1e-6);
  std::vector<int16_t> s(8, 10000);
  TaperStartOfIntegerArrayC(s, 4);
  TaperEndOfIntegerArrayC(s, 4, 8);
  EXPECT_EQ(std::tuple(s[0], s[2], s[5], s[7]), std::tuple(0, 5000, 5000, 0));
}

TEST(Analyser, SineOnABinResampledSineAndShapedSweepFollowTheirOracles) {
  const int k = 12, n = 1 << k;
  std::vector<float> s(n);
  for (int i = 0; i < n; ++i) s[i] = static_cast<float>(std::sin(2 * kPi * 100.0 * i / n));
  const std::vector<float> bins{100.0f, 300.0f};
  ASSERT_TRUE(GetRTASingleResponse(bins, s, 2, k));
  EXPECT_NEAR(s[0], 0.0f, 1e-3);
  EXPECT_LT(s[1], -100.0f);
  // Unwindowed: amplitude A reads 20 log10 A, and the next bin holds nothing of it.
  for (int i = 0; i < n; ++i) s[i] = static_cast<float>(1000.0 * std::cos(2 * kPi * 37.0 * i / n + 0.3));
  const std::vector<float> near{37.0f, 38.0f};
  ASSERT_TRUE(GetRTASingleResponse(near, s, 2, k));
  EXPECT_NEAR(s[0], 60.0f, 0.01);
  EXPECT_LT(s[1], -60.0f);
  // 1 kHz at 48 kHz to 44.1 kHz: output sample j is the sine at time j / 44100.
  std::vector<float> x(20000);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = static_cast<float>(std::sin(2 * kPi * 1000.0 * i / 48000.0));
  ASSERT_TRUE(ReSample(x, 48000.0f, 44100.0f, 44100, 15000, 0));
  for (int j = 200; j < 15000; j += 7) ASSERT_NEAR(x[j], std::sin(2 * kPi * 1000.0 * j / 44100.0), 2e-3) << j;
  EXPECT_FALSE(ReSample(x, 0.0f, 44100.0f, 44100, 100, 0));

  // The shaped sweep follows its shape, at its peak amplitude.
  const int ks = 14, ns = 1 << ks, fs = 48000;
  std::vector<float> shape(ns / 2);
  for (int i = 0; i < ns / 2; ++i) shape[i] = -5.0f * std::log10(static_cast<float>(std::max(i, 1)));  // pink slope
  std::vector<int16_t> out(ns + 8, 77);
  std::vector<float> scratch(ns);
  ASSERT_TRUE(BuildTestSignal(shape, ns / 2, out, ns, 15000, fs, 5.0f, 20000.0f, scratch));
  int peak = 0;
  for (int i = 0; i < ns; ++i) peak = std::max(peak, std::abs(static_cast<int>(out[i])));
  EXPECT_EQ(peak, 15000);
  EXPECT_EQ(out[ns], 77);  // nothing past the period
  std::vector<float> re(ns), im(ns, 0.0f);
  for (int i = 0; i < ns; ++i) re[i] = out[i];
  ASSERT_TRUE(fft(re, im, ks));
  auto levelAt = [&](double f) {
    const int b = static_cast<int>(std::lround(f * ns / fs));
    double p = 0;
    for (int j = b - 4; j <= b + 4; ++j) p += double(re[j]) * re[j] + double(im[j]) * im[j];
    return 10 * std::log10(p / 9);
  };
  // The spectrum follows the shape: 10 times the frequency, 5 dB down.
  EXPECT_NEAR(levelAt(200.0) - levelAt(2000.0), 5.0, 0.5);
  EXPECT_NEAR(levelAt(1000.0) - levelAt(10000.0), 5.0, 0.5);
  EXPECT_LT(levelAt(22000.0), levelAt(10000.0) - 40.0);  // nothing above the upper frequency
  EXPECT_FALSE(BuildTestSignal(shape, ns / 2, out, 1000, 15000, fs, 5.0f, 20000.0f, scratch));  // not 2^k
}

TEST(Arrays, PinkWeightingFallsTenDecibelsPerDecadeAndFitLevelsAreNormalised) {
  const int32_t N = 10, fs = 1024;  // one hertz per bin
  std::vector<float> a(1 << N, 4.0f);
  ASSERT_TRUE(PinkEnergyWeightArray(a, N, fs));
  EXPECT_EQ(a[0], 0.0f);
  EXPECT_FLOAT_EQ(a[1], 4.0f);
  EXPECT_FLOAT_EQ(a[100], 0.4f);
  EXPECT_FLOAT_EQ(a[1024 - 100], 0.4f);
  EXPECT_FLOAT_EQ(a[512], 4.0f / std::sqrt(512.0f));  // Nyquist weighted once
  EXPECT_NEAR(10 * std::log10(double(a[10]) * a[10] / (double(a[100]) * a[100])), 10.0, 1e-5);
  std::vector<float> b(100, 1.0f);
  EXPECT_FALSE(PinkEnergyWeightArray(b, 10, fs));
  EXPECT_FALSE(PinkEnergyWeightArray(a, 10, 0));
  EXPECT_EQ(b, std::vector<float>(100, 1.0f));
  // Fit levels are normalised by the geometric mean in range.
  const std::vector<float> f{10, 20, 30, 40, 50};
  std::vector<double> y{8, 2, 8, -1, 100};
  FixDoubleLinearLevelAboutOneBetweenLimits(f, y, 5, 15, 45);  // 2, 8 and a skipped -1: mean 4
  EXPECT_EQ(std::tuple(y[0], y[1], y[4]), std::tuple(2.0, 0.5, 25.0));
  y = {1, 4, 16, 0, 0};
  FixDoubleLinearLevelAboutOneBetweenLimits(f, y, 3, 0, 0);  // no range: the whole curve
  EXPECT_DOUBLE_EQ(y[1], 1);
  y = {1, 4, 16, 0, 0};
  FixDoubleLinearLevelAboutOneBetweenLimits(f, y, 5, 60, 90);  // nothing in range: the whole curve
  EXPECT_DOUBLE_EQ(y[2], 4);
  y = {0, -2, NAN};
  FixDoubleLinearLevelAboutOneBetweenLimits(f, y, 9, 0, 0);  // nothing usable: unchanged
  EXPECT_EQ(y[1], -2);
  std::vector<double> z{3, 5};
  LoudspeakerOriginZerosCompensation(f, z, 2, 4);
  EXPECT_EQ(z, (std::vector<double>{3, 5}));
}

}  // namespace
}  // namespace zentor
