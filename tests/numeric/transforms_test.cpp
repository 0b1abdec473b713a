#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <fftw3.h>
#include <mutex>
#include <numbers>
#include <random>
#include <vector>

#include "platform/numeric/numeric.h"
#include "platform/numeric/numeric_internal.h"
#include "base/atomic_file.h"
#include "support/file_faults.h"
#include "support/fixture.h"

namespace zentor {
namespace {

std::vector<float> Noise(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<float> d(0.0f, 1.0f);
  std::vector<float> v(n);
  for (auto& x : v) x = d(gen);
  return v;
}

// Complex input, and real input (imaginary part all zero), which takes a real transform.
class ForwardDft : public ::testing::TestWithParam<bool> {};

TEST_P(ForwardDft, MatchesNaiveDft) {
  const int k = 10;
  const std::size_t n = 1u << k;
  std::vector<float> re = Noise(n, 1), im = GetParam() ? std::vector<float>(n, 0.0f) : Noise(n, 2);
  ASSERT_EQ(reinterpret_cast<std::uintptr_t>(re.data()) % 16, 0u);  // so the real path can run
  std::vector<std::complex<double>> ref(n);
  for (std::size_t f = 0; f < n; ++f) {
    std::complex<double> s = 0;
    for (std::size_t t = 0; t < n; ++t) {
      const double ph = -2.0 * std::numbers::pi * static_cast<double>((f * t) % n) / static_cast<double>(n);
      s += std::complex<double>(re[t], im[t]) * std::polar(1.0, ph);
    }
    ref[f] = s;
  }
  ASSERT_TRUE(fft(re, im, k));
  double err = 0, mag = 0;
  for (std::size_t f = 0; f < n; ++f) {
    err = std::max(err, std::abs(std::complex<double>(re[f], im[f]) - ref[f]));
    mag = std::max(mag, std::abs(ref[f]));
  }
  EXPECT_LT(err / mag, 1e-5);
}
INSTANTIATE_TEST_SUITE_P(Transforms, ForwardDft, ::testing::Values(false, true));

TEST(Transforms, EnvelopesComplexBinsRefusalsAndBackgroundTuning) {
  const int k = 14;
  const std::size_t n = 1u << k;
  const double fs = 48000.0, sigma = 0.002, t0 = 0.1;
  std::vector<float> x(n), env(n);
  std::vector<double> g(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double t = i / fs;
    g[i] = std::exp(-(t - t0) * (t - t0) / (2 * sigma * sigma));
    x[i] = static_cast<float>(g[i] * std::cos(2 * std::numbers::pi * 2000.0 * t));
  }
  ASSERT_TRUE(EnergyEnvelope(x, env, k));
  std::size_t peak = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (env[i] > env[peak]) peak = i;
    if (g[i] > 0.01) {
      ASSERT_NEAR(env[i] / (g[i] * g[i]), 1.0, 0.01) << i;
    }
  }
  EXPECT_NEAR(static_cast<double>(peak), t0 * fs, 1.0);  // not mirrored to N - t0
  // A whole number of periods: the envelope is flat; env may be the input array.
  for (std::size_t i = 0; i < n; ++i) x[i] = static_cast<float>(std::sin(2 * std::numbers::pi * 37.0 * i / n));
  ASSERT_TRUE(EnergyEnvelope(x, x, k));
  for (std::size_t i = 0; i < n; ++i) ASSERT_NEAR(x[i], 1.0f, 1e-4) << i;

  std::fill(x.begin(), x.end(), 0.0f);
  x[300] = 1.0f;
  ASSERT_TRUE(EnergyEnvelope(x, env, k));
  EXPECT_EQ(std::max_element(env.begin(), env.end()) - env.begin(), 300);
  EXPECT_FALSE(EnergyEnvelope(std::span<const float>(x).first(100), env, k));

  std::vector<float> re{3.0f, 0.0f, 0.0f, 1.0f}, im{4.0f, 0.0f, 2.0f, -1.0f};
  ASSERT_TRUE(InvertComplexArrayC(re, im, 2));
  EXPECT_NEAR(re[0], 0.12f, 1e-7);  // 1/(3+4j) = (3-4j)/25
  EXPECT_NEAR(im[0], -0.16f, 1e-7);
  EXPECT_EQ(std::pair(re[1], im[1]), std::pair(0.0f, 0.0f));  // 1/0 gives 0, not NaN
  EXPECT_NEAR(im[2], -0.5f, 1e-7);
  std::vector<float> br{3.0f, 5.0f, 0.0f, 1.0f}, bi{4.0f, 5.0f, 2.0f, -1.0f};
  ASSERT_TRUE(MultiplyComplexArrays(re, im, br, bi, 2));
  for (int i : {0, 2, 3}) EXPECT_NEAR(re[i], 1.0f, 1e-6) << i;
  EXPECT_NEAR(im[0], 0.0f, 1e-6);
  EXPECT_EQ(re[1], 0.0f);
  EXPECT_FALSE(InvertComplexArrayC(re, im, 3));  // 8 bins asked of 4

  // Refusals leave the arrays untouched.
  std::vector<float> r8(8, 1.0f), i8(8, 2.0f);
  EXPECT_FALSE(fft(r8, i8, 0));
  EXPECT_FALSE(fft(r8, i8, 21));
  EXPECT_FALSE(ifft(r8, i8, -3));
  EXPECT_FALSE(fft(r8, i8, 4));  // 16 points asked of 8-element arrays
  EXPECT_FALSE(fft(r8, r8, 3));  // the same array for both parts
  EXPECT_EQ(r8, std::vector<float>(8, 1.0f));
  EXPECT_EQ(i8, std::vector<float>(8, 2.0f));
  // Unaligned arrays (odd offset into a buffer) still transform correctly.
  std::vector<float> big(40, 0.0f), bigi(40, 0.0f);
  big[1] = 1.0f;
  ASSERT_TRUE(fft(std::span<float>(big).subspan(1, 32), std::span<float>(bigi).subspan(1, 32), 5));
  for (int i = 1; i <= 32; ++i) EXPECT_NEAR(big[i], 1.0f, 1e-6);
  EXPECT_EQ(std::pair(big[0], big[33]), std::pair(0.0f, 0.0f));

  // Sizes in steady use are measured in the background; a running program keeps its
  // plans, so the same input still gives the same bits afterwards; each round trip
  // gives the input back.
  const int kb = 9, nb = 1 << kb;
  const std::vector<float> noise = Noise(nb, 9);
  std::vector<float> first;
  for (int pass = 0; pass < 2; ++pass) {
    std::vector<float> r8 = noise, i8(nb, 0.0f), env(nb);
    for (int i = 0; i < 4; ++i) {
      ASSERT_TRUE(fft(r8, i8, kb));
      ASSERT_TRUE(ifft(r8, i8, kb));
    }
    ASSERT_TRUE(EnergyEnvelope(noise, env, kb));
    for (int i = 0; i < nb; ++i) {
      ASSERT_NEAR(r8[i], noise[i], 1e-5) << pass;
      ASSERT_NEAR(i8[i], 0.0f, 1e-5) << pass;
    }
    r8.insert(r8.end(), env.begin(), env.end());
    if (pass == 0) first = r8;
    else EXPECT_EQ(r8, first);
    numeric_detail::WaitForTransformTuning();
  }
}

// The planner's wisdom goes through the atomic writer: a failed write keeps the
// old file whole and leaves nothing beside it; a good one is wisdom FFTW reads back.
class WisdomFile : public test::ZentorTest {};

TEST_F(WisdomFile, IsWrittenWholeOrNotAtAll) {
  const std::string file = TempPath("fftw-wisdom-double");
  ASSERT_TRUE(WriteWholeFileAtomic(file, std::string_view("old wisdom")));
  std::lock_guard lock(numeric_detail::DoublePlannerMutex());
  for (test::FileFault fault : test::kEveryFileFault) {
    test::InjectedFileFault injected(fault);
    EXPECT_FALSE(numeric_detail::WriteFftWisdom(true, file)) << test::FaultName(fault);
  }
  EXPECT_EQ(test::FolderEntries(tempDir.path().toStdString()), std::vector<std::string>{"fftw-wisdom-double"});
  ASSERT_TRUE(numeric_detail::WriteFftWisdom(true, file));
  EXPECT_NE(fftw_import_wisdom_from_filename(file.c_str()), 0);
}

TEST(PowerSpectralDensity, NoiseSineSegmentLimitAndRefusals) {
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

  // 999.76 Hz at 48 kHz falls on bin 1365 of a 65536-sample segment.
  const int32_t se = 15, len = 1 << (se + 1), scount = 196608;
  const double a = 1000.0, f = 1365.0 * 48000.0 / len;
  std::vector<float> tone(scount);
  for (int32_t i = 0; i < scount; ++i) tone[i] = static_cast<float>(a * std::sin(2 * std::numbers::pi * f * i / 48000.0));
  std::vector<float> density((1 << se) + 1);
  ASSERT_TRUE(PowerSpectralDensity(tone, scount, density, se, 100));
  EXPECT_EQ(std::max_element(density.begin(), density.end()) - density.begin(), 1365);
  // Hann: |X_k| = a L / 4 and sum w^2 = 3 L / 8, so s^2 = a^2 L / 6; each neighbour a quarter of it.
  const double peak = a * a * len / 6.0;
  for (const int k : {1364, 1365, 1366}) EXPECT_NEAR(double(density[k]) * density[k] / peak, k == 1365 ? 1.0 : 0.25, 1e-3) << k;
  EXPECT_LT(double(density[1370]) * density[1370] / peak, 1e-6);

  // The segment limit, and refusals.
  const int32_t le = 4, seg = 32;
  // Only the third and later segments hear the tone: one segment sees silence.
  std::vector<float> step(200, 0.0f);
  for (int32_t i = 40; i < 200; ++i) step[i] = 1.0f;
  std::vector<float> out(17, -1.0f);
  ASSERT_TRUE(PowerSpectralDensity(step, 200, out, le, 1));
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float v) { return v == 0.0f; }));
  ASSERT_TRUE(PowerSpectralDensity(step, 200, out, le, 100));
  EXPECT_GT(out[0], 0.0f);
  // A constant c: X_0 = c L / 2, so s_0^2 = 2 c^2 L / 3.
  std::vector<float> flat(seg, 2.0f);
  ASSERT_TRUE(PowerSpectralDensity(flat, seg, out, le, 100));
  EXPECT_NEAR(double(out[0]) * out[0], 2.0 * 4.0 * seg / 3.0, 1e-3);

  std::fill(out.begin(), out.end(), -1.0f);
  EXPECT_FALSE(PowerSpectralDensity(step, seg - 1, out, le, 100));       // shorter than a segment
  EXPECT_FALSE(PowerSpectralDensity(step, 200, std::span<float>(out).first(16), le, 100));
  EXPECT_FALSE(PowerSpectralDensity(step, 200, out, 0, 100));
  EXPECT_FALSE(PowerSpectralDensity(step, 200, out, le, 0));
  EXPECT_FALSE(PowerSpectralDensity(step, 200, out, 30, 100));
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float v) { return v == -1.0f; }));
  // A count beyond the span reads the span only.
  std::vector<float> whole(17);
  ASSERT_TRUE(PowerSpectralDensity(step, 5000, out, le, 100));
  ASSERT_TRUE(PowerSpectralDensity(step, 200, whole, le, 100));
  EXPECT_EQ(out, whole);
}

}  // namespace
}  // namespace zentor
