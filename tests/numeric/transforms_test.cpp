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

TEST(Transforms, RoundTripParsevalAndDelta) {
  const int k = 17;
  const std::size_t n = 1u << k;
  std::vector<float> x = Noise(n, 3);
  std::vector<float> re = x, im(n, 0.0f);
  ASSERT_TRUE(fft(re, im, k));
  double et = 0, ef = 0;
  for (std::size_t i = 0; i < n; ++i) {
    et += double(x[i]) * x[i];
    ef += double(re[i]) * re[i] + double(im[i]) * im[i];
  }
  EXPECT_NEAR(ef / n / et, 1.0, 1e-5);
  ASSERT_TRUE(ifft(re, im, k));
  const float peak = *std::max_element(x.begin(), x.end(), [](float a, float b) { return std::fabs(a) < std::fabs(b); });
  for (std::size_t i = 0; i < n; ++i) {
    ASSERT_NEAR(re[i], x[i], 1e-5 * std::fabs(peak)) << i;
    ASSERT_NEAR(im[i], 0.0f, 1e-5 * std::fabs(peak)) << i;
  }

  // A delta at 0 has a flat spectrum; at 1 its phase turns by -2π/N per bin.
  std::vector<float> dr(1024, 0.0f), di(1024, 0.0f);
  dr[0] = 1.0f;
  ASSERT_TRUE(fft(dr, di, 10));
  for (int i = 0; i < 1024; ++i) {
    ASSERT_NEAR(dr[i], 1.0f, 1e-6);
    ASSERT_NEAR(di[i], 0.0f, 1e-6);
  }
  std::fill(dr.begin(), dr.end(), 0.0f);
  std::fill(di.begin(), di.end(), 0.0f);
  dr[1] = 1.0f;
  ASSERT_TRUE(fft(dr, di, 10));
  EXPECT_NEAR(di[256], -1.0f, 1e-6);  // e^(-jπ/2)
}

TEST(Transforms, RefusesBadOrdersAndShortArraysUntouched) {
  std::vector<float> re(8, 1.0f), im(8, 2.0f);
  EXPECT_FALSE(fft(re, im, 0));
  EXPECT_FALSE(fft(re, im, 21));
  EXPECT_FALSE(ifft(re, im, -3));
  EXPECT_FALSE(fft(re, im, 4));  // 16 points asked of 8-element arrays
  EXPECT_FALSE(fft(re, re, 3));  // the same array for both parts
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(re[i], 1.0f);
    EXPECT_EQ(im[i], 2.0f);
  }
  // Unaligned arrays (odd offset into a buffer) still transform correctly.
  std::vector<float> big(40, 0.0f), bigi(40, 0.0f);
  big[1] = 1.0f;
  ASSERT_TRUE(fft(std::span<float>(big).subspan(1, 32), std::span<float>(bigi).subspan(1, 32), 5));
  for (int i = 1; i <= 32; ++i) EXPECT_NEAR(big[i], 1.0f, 1e-6);
  EXPECT_EQ(big[0], 0.0f);
  EXPECT_EQ(big[33], 0.0f);
}

}  // namespace
}  // namespace zentor

namespace zentor {
namespace {

TEST(Envelope, GaussianBurstSineAndDelta) {
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
}

TEST(ComplexBins, ReciprocalAndProductWithZeroGuard) {
  std::vector<float> re{3.0f, 0.0f, 0.0f, 1.0f}, im{4.0f, 0.0f, 2.0f, -1.0f};
  ASSERT_TRUE(InvertComplexArrayC(re, im, 2));
  EXPECT_NEAR(re[0], 0.12f, 1e-7);  // 1/(3+4j) = (3-4j)/25
  EXPECT_NEAR(im[0], -0.16f, 1e-7);
  EXPECT_EQ(re[1], 0.0f);  // 1/0 gives 0, not NaN
  EXPECT_EQ(im[1], 0.0f);
  EXPECT_NEAR(im[2], -0.5f, 1e-7);
  std::vector<float> br{3.0f, 5.0f, 0.0f, 1.0f}, bi{4.0f, 5.0f, 2.0f, -1.0f};
  ASSERT_TRUE(MultiplyComplexArrays(re, im, br, bi, 2));
  EXPECT_NEAR(re[0], 1.0f, 1e-6);
  EXPECT_NEAR(im[0], 0.0f, 1e-6);
  EXPECT_NEAR(re[2], 1.0f, 1e-6);
  EXPECT_NEAR(re[3], 1.0f, 1e-6);
  EXPECT_EQ(re[1], 0.0f);
  EXPECT_FALSE(InvertComplexArrayC(re, im, 3));  // 8 bins asked of 4
}

}  // namespace
}  // namespace zentor

namespace zentor {
namespace {

// Sizes in steady use are measured in the background; a running program keeps its
// plans, so the same input still gives the same bits afterwards.
TEST(Transforms, BackgroundTuningLeavesResultsBitIdentical) {
  const int k = 9, n = 1 << k;
  const std::vector<float> x = Noise(n, 9);
  std::vector<float> first;
  for (int pass = 0; pass < 2; ++pass) {
    std::vector<float> re = x, im(n, 0.0f), env(n);
    for (int i = 0; i < 4; ++i) {
      ASSERT_TRUE(fft(re, im, k));
      ASSERT_TRUE(ifft(re, im, k));
    }
    ASSERT_TRUE(EnergyEnvelope(x, env, k));
    for (int i = 0; i < n; ++i) ASSERT_NEAR(re[i], x[i], 1e-5) << pass;
    re.insert(re.end(), env.begin(), env.end());
    if (pass == 0) first = re;
    else EXPECT_EQ(re, first);
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

}  // namespace
}  // namespace zentor
