// The excitation periods against analytic spectra (Butterworth corner, pink and
// shaped slopes), and the window's small buffer operations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "core/test_signals.h"
#include "measurement/excitation.h"
#include "platform/numeric/numeric.h"
#include "support/fixture.h"

namespace zentor::test {
namespace {

// Scratch of the sizes the measurement window gives a build.
struct Scratch {
  std::vector<float> sweep = std::vector<float>(1 << 18), signal = std::vector<float>((1 << 18) + 1),
                     imaginary = std::vector<float>((1 << 18) + 1), extended = std::vector<float>(312145),
                     filter = std::vector<float>(312145);
  ExcitationWork Work() { return {sweep, signal, imaginary, extended, filter}; }
};

// One period's power per bin (0 .. 2^p / 2), read in bands.
struct Spectrum {
  Spectrum(const std::vector<int16_t>& x, int32_t p, int32_t rate) : binHz(double(rate) / (1 << p)) {
    const std::size_t n = std::size_t{1} << p;
    std::vector<float> re(x.begin(), x.begin() + std::ptrdiff_t(n)), im(n, 0.0f);
    EXPECT_TRUE(fft(re, im, p));
    for (std::size_t k = 0; k <= n / 2; ++k) power.push_back(double(re[k]) * re[k] + double(im[k]) * im[k]);
  }
  // Mean power of the bins within a third of an octave around f, in dB.
  double Band(double f) const {
    double sum = 0;
    int count = 0;
    for (std::size_t k = 1; k < power.size(); ++k)
      if (const double fk = double(k) * binHz; fk >= f * std::pow(2.0, -1.0 / 6) && fk <= f * std::pow(2.0, 1.0 / 6)) {
        sum += power[k];
        ++count;
      }
    EXPECT_GT(count, 0);
    return 10 * std::log10(sum / count);
  }
  double binHz;
  std::vector<double> power;
};

// Mean over the same third-octave of |H|^2 of s^2 / (s^2 + sqrt2 wc s + wc^2), in dB.
double ButterworthHighPassBandDb(double fc, double f, double binHz) {
  double sum = 0;
  int count = 0;
  for (double fk = binHz; fk < 4 * f; fk += binHz) {
    if (fk < f * std::pow(2.0, -1.0 / 6) || fk > f * std::pow(2.0, 1.0 / 6)) continue;
    const double r = fk / fc;
    sum += std::pow(r, 4) / (std::pow(r, 4) + 1);
    ++count;
  }
  return 10 * std::log10(sum / count);
}

int PeakMagnitude(const std::vector<int16_t>& x, std::size_t n) {
  int peak = 0;
  for (std::size_t i = 0; i < n; ++i) peak = std::max(peak, std::abs(int(x[i])));
  return peak;
}

class ExcitationTest : public ZentorTest {
 protected:
  Scratch scratch;
  std::vector<float> pink = std::vector<float>(1 << 15);
  void SetUp() override {
    ZentorTest::SetUp();
    BuildPinkWeightingDb(pink, 1 << 15);
    pink[0] = pink[1];
  }
};

TEST_F(ExcitationTest, CrossoverMLSHasItsButterworthCornerAndIsScaledWhereItIsPlayed) {
  for (float fc : {200.0f, 300.0f, 2000.0f}) {
    std::vector<int16_t> out(1 << 17);
    ASSERT_TRUE(BuildCrossoverMLSExcitation(out, 17, 48000, fc, scratch.Work()));
    EXPECT_EQ(PeakMagnitude(out, out.size()), kExcitationPeak) << fc;
    const Spectrum s(out, 17, 48000);
    EXPECT_NEAR(s.Band(fc) - s.Band(10 * fc), -3.0, 0.5) << fc;
    // The whole slope follows the analogue prototype an octave below too.
    EXPECT_NEAR(s.Band(fc / 2) - s.Band(10 * fc), ButterworthHighPassBandDb(fc, fc / 2, s.binHz), 0.6) << fc;
  }
}

TEST_F(ExcitationTest, SweepStopsBelowNyquistAndFollowsThePinkShape) {
  const int32_t rate = 44100;
  std::vector<int16_t> out(1 << 17);
  ASSERT_TRUE(BuildSweepExcitation(pink, 15, out, 17, rate, scratch.Work()));
  EXPECT_EQ(PeakMagnitude(out, out.size()), kExcitationPeak);
  const Spectrum s(out, 17, rate);
  double inBand = 0, outBandMax = 0;
  int inCount = 0;
  for (std::size_t k = 1; k < s.power.size(); ++k) {
    const double f = double(k) * s.binHz;
    if (f >= 20 && f <= 0.99 * rate / 2) {
      inBand += s.power[k];
      ++inCount;
    } else if (f > 0.99 * rate / 2) {
      outBandMax = std::max(outBandMax, s.power[k]);
    }
  }
  EXPECT_LE(10 * std::log10(outBandMax / (inBand / inCount)), -60.0);
  // 10 log10(1 / sqrt(f)): 5 dB less power per decade.
  EXPECT_NEAR((s.Band(100) - s.Band(10000)) / 2, 5.0, 0.5);
}

TEST_F(ExcitationTest, HybridIsPinkAboveItsSplitAndPeaksAtTheAmplitude) {
  std::vector<int16_t> out(1 << 17);
  ASSERT_TRUE(BuildHybridExcitation(pink, 15, out, 17, 48000, scratch.Work()));
  EXPECT_EQ(PeakMagnitude(out, out.size()), kExcitationPeak);
  const Spectrum s(out, 17, 48000);
  EXPECT_NEAR(s.Band(1000) - s.Band(10000), 10.0, 1.0);
  // Both halves are there: the sweep below the split, the MLS above.
  EXPECT_GT(s.Band(50), s.Band(10000));
}

TEST_F(ExcitationTest, PinkWeightedMLSIsHighPassedAtItsCorner) {
  ASSERT_TRUE(BuildPinkWeightedMLS(scratch.signal, scratch.imaginary, 16, 15000.0f, 48000, 250.0f));
  std::vector<int16_t> x(1 << 16);
  CopySingleToInt(scratch.signal, x, 1 << 16);
  EXPECT_EQ(PeakMagnitude(x, x.size()), 15000);
  const Spectrum s(x, 16, 48000);
  // s^2/(s + w)^2 is -6 dB at the corner; the pink weighting adds 10 log10(f).
  EXPECT_NEAR(s.Band(250) + 10 * std::log10(250.0) - s.Band(8000) - 10 * std::log10(8000.0), -6.0, 0.7);
}

TEST_F(ExcitationTest, BuildersRefuseWhatTheirBuffersCannotHold) {
  std::vector<int16_t> small(1000);
  EXPECT_FALSE(BuildSweepExcitation(pink, 15, small, 17, 48000, scratch.Work()));
  EXPECT_FALSE(BuildHybridExcitation(pink, 16, small, 8, 48000, scratch.Work()));  // shape too short
  std::vector<int16_t> out(1 << 17);
  EXPECT_FALSE(BuildSweepExcitation(pink, 15, out, 17, 0, scratch.Work()));
  ExcitationWork shortWork = scratch.Work();
  shortWork.extended = shortWork.extended.first(1 << 17);
  ASSERT_TRUE(BuildMLSSequence(out, 17, kExcitationPeak));
  const std::vector<int16_t> mls = out;
  EXPECT_FALSE(HighPassCrossoverMLS(out, 17, 48000, 300.0f, shortWork));
  EXPECT_EQ(out, mls);
  // The largest period the window's arrays hold still fits.
  std::vector<int16_t> longest(1 << 18);
  EXPECT_TRUE(BuildCrossoverMLSExcitation(longest, 18, 48000, 300.0f, scratch.Work()));
}

TEST(ExcitationBuffers, PeriodicCopiesLandWhereThePeriodEnds) {
  std::vector<int16_t> b((1 << 17) + (1 << 16) + 1, -7);
  for (int i = 0; i < (1 << 17); ++i) b[i] = int16_t(i % 30000);
  ASSERT_TRUE(CopySweepPeriodicDataToNewBuffer(b, 17, 16));
  for (int j = 0; j < (1 << 16); ++j) ASSERT_EQ(b[(1 << 17) + j], b[j]) << j;
  EXPECT_EQ(b.back(), -7);
  EXPECT_FALSE(CopySweepPeriodicDataToNewBuffer(b, 18, 16));

  std::vector<int16_t> m(1 << 11, 0);
  for (int i = 0; i < 1023; ++i) m[i] = int16_t(i + 1);
  ASSERT_TRUE(CopyMLSPeriodicDataToNewBuffer(m, 10, 9));
  for (int j = 0; j < 512; ++j) ASSERT_EQ(m[1023 + j], j + 1);
  EXPECT_EQ(m[1023 + 512], 0);
  EXPECT_FALSE(CopyMLSPeriodicDataToNewBuffer(m, 11, 10));
}

TEST(ExcitationBuffers, SeedSequencesHaveFullPeriodForEveryListedOrder) {
  for (int32_t order = 12; order <= 20; ++order) {
    const std::size_t period = (std::size_t{1} << order) - 1;
    const int32_t b = order - 2;
    std::vector<int16_t> s((std::size_t{1} << order) + (std::size_t{1} << b));
    ASSERT_TRUE(BuildMLSSeed(s, order, b));
    for (std::size_t i = 0; i < std::size_t(order); ++i) ASSERT_EQ(s[i], 1);
    for (std::size_t i = 0; i + period < s.size(); ++i) ASSERT_EQ(s[i + period], s[i]) << order << " " << i;
    // No shorter period: none of period / (each prime factor) repeats.
    std::size_t rest = period;
    for (std::size_t f = 3; f <= rest; f += 2) {
      if (rest % f != 0) continue;
      while (rest % f == 0) rest /= f;
      const std::size_t d = period / f;
      bool repeats = true;
      for (std::size_t i = 0; i + d < s.size() && repeats; ++i) repeats = s[i + d] == s[i];
      EXPECT_FALSE(repeats) << order << " repeats after " << d;
    }
    // A maximum-length sequence holds 2^(order-1) ones per period.
    EXPECT_EQ(std::count(s.begin(), s.begin() + std::ptrdiff_t(period), int16_t{1}),
              std::ptrdiff_t{1} << (order - 1));
  }
  // Other orders only seed and clear; too small a buffer is refused untouched.
  std::vector<int16_t> s((1 << 10) + (1 << 4), 5);
  ASSERT_TRUE(BuildMLSSeed(s, 10, 4));
  EXPECT_EQ(std::count(s.begin(), s.begin() + 26, int16_t{1}), 26);
  EXPECT_EQ(std::count(s.begin() + 26, s.end(), int16_t{0}), std::ptrdiff_t(s.size()) - 26);
  std::vector<int16_t> shortBuffer(100, 5);
  EXPECT_FALSE(BuildMLSSeed(shortBuffer, 12, 4));
  EXPECT_EQ(shortBuffer, std::vector<int16_t>(100, 5));
}

TEST(ExcitationBuffers, FlatteningAndSweepAmplitudeFixing) {
  std::vector<float> spectrum(1024);
  for (int i = 0; i < 1024; ++i) spectrum[i] = float(i);
  FlattenEnergyDistributionAbove(12000.0f, spectrum, 10, 48000);  // k0 = 256
  EXPECT_EQ(spectrum[255], 255.0f);
  EXPECT_EQ(spectrum[256], 256.0f);
  EXPECT_EQ(spectrum[1023], 256.0f);
  std::vector<float> copy = spectrum;
  FlattenEnergyDistributionAbove(48000.0f, spectrum, 10, 48000);  // k0 = 2^a: unchanged
  FlattenEnergyDistributionAbove(96000.0f, spectrum, 10, 48000);
  FlattenEnergyDistributionAbove(-500.0f, spectrum, 10, 48000);
  EXPECT_EQ(spectrum, copy);

  // The envelope never exceeds the level: every sample from 0 scales by sqrt(level / envelope).
  std::vector<float> envelope(16, 0.5f);
  std::vector<int16_t> sweep(16, 1000);
  FixSweepAmplitude(envelope, sweep, 4, 2.0f);
  EXPECT_EQ(sweep, std::vector<int16_t>(16, 2000));
  // Otherwise it starts at the first sample above the level.
  envelope.assign(16, 1.0f);
  envelope[5] = 4.0f;
  sweep.assign(16, 1000);
  FixSweepAmplitude(envelope, sweep, 4, 1.0f);
  EXPECT_EQ(sweep[4], 1000);
  EXPECT_EQ(sweep[5], 500);
  EXPECT_EQ(sweep[6], 1000);
  // A silent envelope leaves its samples; a large factor saturates.
  envelope.assign(16, 0.0f);
  envelope[0] = 1e-6f;
  sweep.assign(16, 1000);
  FixSweepAmplitude(envelope, sweep, 4, 1e-7f);
  EXPECT_EQ(sweep[0], 316);
  EXPECT_EQ(sweep[1], 1000);
  envelope.assign(16, 1e-6f);
  FixSweepAmplitude(envelope, sweep, 4, 1.0f);
  EXPECT_EQ(sweep[1], 32767);
}

}  // namespace
}  // namespace zentor::test
