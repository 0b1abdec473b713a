#include "core/filter_run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

#include "support/fixture.h"

namespace zentor {
namespace {

using test::ZentorTest;
using cd = std::complex<double>;
constexpr double kPi = std::numbers::pi;

// Level in dB of a (long enough) impulse response at f Hz: a direct DFT sum.
double MeasuredDb(const std::vector<float>& h, double f, double fs) {
  cd sum = 0;
  for (size_t k = 0; k < h.size(); ++k) sum += double(h[k]) * std::polar(1.0, -2 * kPi * f * k / fs);
  return 20 * std::log10(std::abs(sum));
}

std::vector<float> Impulse(size_t n) {
  std::vector<float> x(n, 0.0f);
  x[0] = 1.0f;
  return x;
}

std::vector<double> LogFrequencies(double lo, double hi, int count) {
  std::vector<double> f;
  for (int i = 0; i < count; ++i) f.push_back(lo * std::pow(hi / lo, double(i) / (count - 1)));
  return f;
}

// Analogue frequency that a bilinear design at fs maps onto f.
double Warped(double f, double fs) { return 2 * fs * std::tan(kPi * f / fs); }

class FilterRunTest : public ZentorTest {
 protected:
  static FilterBlock SPlane(int order, int fs) {
    FilterBlock b;
    b.Domain = kDomainSPlane;
    b.NumPoles = order;
    b.samplerate = fs;
    return b;
  }
  static FilterRecord Peaking(float hz, float q1, float q2, int code = 1) {
    FilterRecord r;
    r.Freq1 = static_cast<float>(2 * kPi * hz);
    r.Q1 = q1;
    r.Q2 = q2;
    r.EQEmulationCode = code;
    return r;
  }
  // Runs a set over an impulse of 2^order samples.
  std::vector<float> ChainImpulse(std::vector<FilterRecord> records, int order, int fs) {
    if (!records.empty()) records[0].Count = static_cast<int32_t>(records.size());
    std::vector<float> x = Impulse(size_t{1} << order), scratch(x.size());
    EXPECT_TRUE(RunFilterChainOnSignal(x, scratch, order, fs, WorkFilterBlock, records));
    return x;
  }
};

TEST_F(FilterRunTest, ButterworthLowPassIsThreeDbDownAtThePrewarpedCorner) {
  const int fs = 48000;
  const double fc = 3000;
  FilterBlock b = SPlane(4, fs);
  ASSERT_TRUE(BuildButterworthPoles(b));
  ASSERT_TRUE(ScaleFilterBlockFrequency(b, PrewarpFrequency(2 * kPi * fc, fs)));
  std::vector<float> x = Impulse(8192), scratch(8192);
  ASSERT_TRUE(RunFilterBlockInSections(x, scratch, fs, 8192, b));
  EXPECT_NEAR(MeasuredDb(x, fc, fs), -3.0103, 0.01);
  EXPECT_NEAR(MeasuredDb(x, 20, fs), 0.0, 0.01);
  // Closed form on the warped axis: |H|^2 = 1 / (1 + (W/Wc)^8).
  for (double f : {500.0, 2000.0, 6000.0, 12000.0}) {
    const double r = Warped(f, fs) / Warped(fc, fs);
    EXPECT_NEAR(MeasuredDb(x, f, fs), -10 * std::log10(1 + std::pow(r, 8)), 0.02) << f;
  }
  // The block was not changed, so a second run gives the same samples.
  std::vector<float> again = Impulse(8192);
  ASSERT_TRUE(RunFilterBlockInSections(again, scratch, fs, 8192, b));
  EXPECT_EQ(again, x);
  EXPECT_EQ(b.Domain, kDomainSPlane);
}

TEST_F(FilterRunTest, SectionsGroupPolesInPairsWithAnOddFirstSection) {
  std::array<FilterSection, kMaxFilterRoots> s;
  ASSERT_EQ(FilterSectionLayout(6, s), 3);
  EXPECT_EQ((std::vector<int>{s[0].start, s[0].count, s[1].start, s[1].count, s[2].start, s[2].count}),
            (std::vector<int>{0, 2, 2, 2, 4, 2}));
  ASSERT_EQ(FilterSectionLayout(5, s), 2);
  EXPECT_EQ((std::vector<int>{s[0].start, s[0].count, s[1].start, s[1].count}),
            (std::vector<int>{0, 3, 3, 2}));
  ASSERT_EQ(FilterSectionLayout(3, s), 1);
  EXPECT_EQ(s[0].count, 3);
  EXPECT_EQ(FilterSectionLayout(76, s), 0);

  // A fifth-order Butterworth high-pass run in sections: the last section is a pair,
  // the real pole went into the first, and the cascade is the whole filter.
  const int fs = 48000;
  const double fc = 1000;
  FilterBlock b = SPlane(5, fs);
  ASSERT_TRUE(BuildButterworthPoles(b));
  ASSERT_TRUE(LowPassToHighPass(b, 1.0));
  ASSERT_TRUE(ScaleFilterBlockFrequency(b, PrewarpFrequency(2 * kPi * fc, fs)));
  std::vector<float> x = Impulse(16384), scratch(16384);
  ASSERT_TRUE(RunFilterBlockInSections(x, scratch, fs, 16384, b));
  EXPECT_EQ(SectionFilterBlock.NumPoles, 2);
  EXPECT_GT(std::fabs(SectionFilterBlock.PoleIm[0]), 1e-3);
  for (double f : {200.0, 700.0, 1000.0, 1500.0, 10000.0}) {
    const double r = Warped(f, fs) / Warped(fc, fs);
    EXPECT_NEAR(MeasuredDb(x, f, fs), -10 * std::log10(1 + std::pow(r, -10)), 0.02) << f;
  }
}

TEST_F(FilterRunTest, HighOrderLowPassAtHighCornerKeepsItsLevel) {
  // A tenth-order Linkwitz-Riley at 15 kHz: the first section alone would carry a gain
  // of w^8 if the others had unit gain, beyond the range of single-precision samples.
  const int fs = 96000;
  const double fc = 15000;
  FilterBlock b = SPlane(10, fs);
  ASSERT_TRUE(BuildLinkwitzRileyPrototype(b));
  ASSERT_TRUE(ScaleFilterBlockFrequency(b, PrewarpFrequency(2 * kPi * fc, fs)));
  std::vector<float> x = Impulse(4096), scratch(4096);
  ASSERT_TRUE(RunFilterBlockInSections(x, scratch, fs, 4096, b));
  for (float v : x) ASSERT_TRUE(std::isfinite(v));
  EXPECT_NEAR(MeasuredDb(x, 100, fs), 0.0, 0.01);
  EXPECT_NEAR(MeasuredDb(x, fc, fs), -6.0206, 0.02);
}

TEST_F(FilterRunTest, LinkwitzRileyPairMatchesClosedFormAndSumsFlat) {
  const int fs = 48000;
  const double fc = 2000;
  const size_t n = 16384;
  auto run = [&](bool highPass) {
    FilterBlock b = SPlane(8, fs);
    EXPECT_TRUE(BuildLinkwitzRileyPrototype(b));
    if (highPass) {
      EXPECT_TRUE(LowPassToHighPass(b, 1.0));
    }
    EXPECT_TRUE(ScaleFilterBlockFrequency(b, PrewarpFrequency(2 * kPi * fc, fs)));
    std::vector<float> x = Impulse(n), scratch(n);
    EXPECT_TRUE(RunFilterBlockInSections(x, scratch, fs, static_cast<int32_t>(n), b));
    return x;
  };
  const std::vector<float> lp = run(false), hp = run(true);
  std::vector<float> sum(n);
  for (size_t i = 0; i < n; ++i) sum[i] = lp[i] + hp[i];
  for (double f : LogFrequencies(20, 20000, 40)) {
    // LR8 = Butterworth 4 squared: |H_lp| = 1 / (1 + r^8), |H_hp| = r^8 / (1 + r^8).
    const double r8 = std::pow(Warped(f, fs) / Warped(fc, fs), 8);
    const double lpDb = -20 * std::log10(1 + r8), hpDb = 20 * std::log10(r8 / (1 + r8));
    // Single-precision samples give a floor far below the pass band: compare levels above it.
    if (lpDb > -70) {
      EXPECT_NEAR(MeasuredDb(lp, f, fs), lpDb, 0.05) << f;
    } else {
      EXPECT_LT(MeasuredDb(lp, f, fs), -65) << f;
    }
    if (hpDb > -70) {
      EXPECT_NEAR(MeasuredDb(hp, f, fs), hpDb, 0.05) << f;
    } else {
      EXPECT_LT(MeasuredDb(hp, f, fs), -65) << f;
    }
    EXPECT_NEAR(MeasuredDb(sum, f, fs), 0.0, 0.1) << f;
  }
}

TEST_F(FilterRunTest, ShelfMatchesItsClosedForm) {
  const int fs = 48000;
  const double f0 = 500;
  const float level = 6;
  FilterBlock b = SPlane(0, fs);
  ASSERT_TRUE(BuildShelfPrototype(b, level));
  const double w0 = PrewarpFrequency(2 * kPi * f0, fs);
  ASSERT_TRUE(ScaleFilterBlockFrequency(b, w0));
  std::vector<float> x = Impulse(16384), scratch(16384);
  ASSERT_TRUE(RunFilterBlockInSections(x, scratch, fs, 16384, b));
  const double g = std::pow(10.0, level / 20.0);
  for (double f : LogFrequencies(20, 20000, 40)) {
    // g (jW + w0/g) / (jW + w0)
    const double W = Warped(f, fs);
    const double expect = 20 * std::log10(g * std::abs(cd(w0 / g, W) / cd(w0, W)));
    EXPECT_NEAR(MeasuredDb(x, f, fs), expect, 0.05) << f;
  }
}

TEST_F(FilterRunTest, PeakingSetBoostsCutsAndSkipsFlatRecords) {
  const int fs = 48000;
  EXPECT_NEAR(MeasuredDb(ChainImpulse({Peaking(1000, -4, 2)}, 14, fs), 1000, fs), 6.0206, 0.05);
  EXPECT_NEAR(MeasuredDb(ChainImpulse({Peaking(1000, 4, 2)}, 14, fs), 1000, fs), -6.0206, 0.05);
  const std::vector<float> flat = ChainImpulse({Peaking(1000, -4, 4)}, 14, fs);
  EXPECT_EQ(flat, Impulse(flat.size()));
  // Two sections in a row add in dB; far from their centres the response is flat.
  const std::vector<float> two = ChainImpulse({Peaking(1000, -4, 2), Peaking(1000, -6, 3)}, 14, fs);
  EXPECT_NEAR(MeasuredDb(two, 1000, fs), 12.041, 0.05);
  EXPECT_NEAR(MeasuredDb(two, 20, fs), 0.0, 0.05);
  EXPECT_NEAR(MeasuredDb(two, 20000, fs), 0.0, 0.05);
  EXPECT_TRUE(dialogs.calls().empty());
}

TEST_F(FilterRunTest, ManySectionsMatchTheSumOfTheirClosedFormsInDb) {
  // Eleven sections at spread centres, then 27 (a full pass of the cascade and a padded
  // one); passes of one, two, three and four wavefronts are all reached.
  const int fs = 48000;
  std::vector<FilterRecord> set;
  const double centres[] = {40, 50, 180, 400, 700, 1500, 2500, 4000, 6000, 11000, 15000};
  for (int i = 0; i < 11; ++i)
    set.push_back(Peaking(static_cast<float>(centres[i]), i % 2 ? 3.0f : -3.0f, 1.0f + 0.25f * i));
  std::vector<FilterRecord> many;
  for (int i = 0; i < 27; ++i)
    many.push_back(Peaking(static_cast<float>(30 * std::pow(1.25, i)), i % 3 ? 2.5f : -2.5f, 1.0f + 0.05f * i));
  for (const std::vector<FilterRecord>* records : {&set, &many}) {
    const std::vector<float> h = ChainImpulse(*records, 15, fs);
    for (double f : LogFrequencies(20, 20000, 30)) {
      const cd s(0, Warped(f, fs));
      double expect = 0;
      for (const FilterRecord& r : *records) {
        const double wc = Warped(r.Freq1 / (2 * kPi), fs);
        const double qz = r.Q1 > 0 ? r.Q1 : r.Q2, qp = r.Q1 > 0 ? r.Q2 : -r.Q1;
        expect += 20 * std::log10(std::abs((s * s + wc / qz * s + wc * wc) / (s * s + wc / qp * s + wc * wc)));
      }
      EXPECT_NEAR(MeasuredDb(h, f, fs), expect, 0.05) << records->size() << " sections, " << f << " Hz";
    }
  }
}

TEST_F(FilterRunTest, CookbookEmulationNarrowsBothQValues) {
  // Code 2 scales both Q values by sin(w0)/w0 with w0 = w/fs; the centre level stays.
  // Oracle: the analogue section at the pre-warped centre, read on the warped axis.
  const int fs = 48000;
  const double hz = 8000, w = 2 * kPi * hz;
  const std::vector<float> h = ChainImpulse({Peaking(hz, 8, 1, 2)}, 14, fs);
  const double w0 = static_cast<float>(w) / fs, k = std::sin(w0) / w0;
  const double qz = 8 * k, qp = 1 * k, wc = Warped(hz, fs);
  for (double f : {2000.0, 6000.0, 7500.0, 8000.0, 9000.0, 12000.0}) {
    const cd s(0, Warped(f, fs));
    const double expect =
        20 * std::log10(std::abs((s * s + wc / qz * s + wc * wc) / (s * s + wc / qp * s + wc * wc)));
    EXPECT_NEAR(MeasuredDb(h, f, fs), expect, 0.05) << f;
  }
  EXPECT_NEAR(MeasuredDb(h, hz, fs), -18.062, 0.05);
}

TEST_F(FilterRunTest, EmptyOrUnusableSetsLeaveTheSignalBitIdentical) {
  std::mt19937 gen(7);
  std::normal_distribution<float> noise;
  std::vector<float> x(4096), scratch(4096);
  for (float& v : x) v = noise(gen);
  const std::vector<float> original = x;

  std::vector<FilterRecord> none(1);
  ASSERT_TRUE(RunFilterChainOnSignal(x, scratch, 12, 48000, WorkFilterBlock, none));
  ASSERT_TRUE(RunFilterChainOnSignal(x, scratch, 12, 48000, WorkFilterBlock, {}));
  EXPECT_EQ(x, original);

  // Q1 = 0 or a non-finite Q: the message, then the record counts as flat.
  std::vector<FilterRecord> bad = {Peaking(1000, 0, 2), Peaking(1000, -4, NAN)};
  bad[0].Count = 2;
  dialogs.ExpectMessage();
  dialogs.ExpectMessage();
  ASSERT_TRUE(RunFilterChainOnSignal(x, scratch, 12, 48000, WorkFilterBlock, bad));
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"error 4823", "error 4823"}));
  EXPECT_EQ(x, original);

  // A count beyond the list, or a signal shorter than 2^order, is not read past.
  std::vector<FilterRecord> overCount = {Peaking(1000, -4, 4)};
  overCount[0].Count = 75;
  ASSERT_TRUE(RunFilterChainOnSignal(x, scratch, 12, 48000, WorkFilterBlock, overCount));
  EXPECT_FALSE(RunFilterChainOnSignal(x, scratch, 13, 48000, WorkFilterBlock, none));
  EXPECT_EQ(x, original);
}

TEST_F(FilterRunTest, RecordsAboveNyquistAreSkipped) {
  const int fs = 44100;
  std::vector<FilterRecord> set = {Peaking(30000, -4, 2)};
  set[0].Count = 1;
  std::vector<float> x = Impulse(1024), scratch(1024);
  dialogs.ExpectMessage();
  ASSERT_TRUE(RunFilterChainOnSignal(x, scratch, 10, fs, WorkFilterBlock, set));
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Error 7122"});
  EXPECT_EQ(x, Impulse(1024));
}

TEST_F(FilterRunTest, MeasuredPeakingResponseMatchesTheComputedOne) {
  const int fs = 96000;
  const float hz = 1000;
  const std::vector<float> h = ChainImpulse({Peaking(hz, -4, 2)}, 15, fs);
  const std::vector<double> fd = LogFrequencies(20, 20000, 60);
  std::vector<float> freqs(fd.begin(), fd.end()), curve(fd.size(), 1.0f);
  const double w = PrewarpFrequency(2 * kPi * hz, fs);
  ASSERT_TRUE(ComputeFilterBlockResponseDb(curve, freqs, static_cast<int32_t>(curve.size()), fs, w, -4, 2));
  for (size_t i = 0; i < fd.size(); ++i) EXPECT_NEAR(MeasuredDb(h, fd[i], fs), curve[i], 0.05) << fd[i];
}

TEST_F(FilterRunTest, ComputedResponseInDbOfPeakingSections) {
  const double w = 2 * kPi * 1000;
  std::vector<float> freqs = {1000, 10, 100000}, curve = {1, 1, 1};
  ASSERT_TRUE(ComputeFilterBlockResponseDb(curve, freqs, 3, 48000, w, -4, 2));
  EXPECT_NEAR(curve[0], 6.0206, 1e-4);
  EXPECT_NEAR(curve[1], 0.0, 1e-3);
  EXPECT_NEAR(curve[2], 0.0, 1e-3);
  EXPECT_EQ(WorkFilterBlock.NumPoles, 2);

  // The curve holds linear factors: a factor of 2 adds 6 dB to the cut of 6 dB.
  curve = {2, 2, 2};
  ASSERT_TRUE(ComputeFilterBlockResponseDb(curve, freqs, 3, 48000, w, 4, 2));
  EXPECT_NEAR(curve[0], 0.0, 1e-4);
  EXPECT_NEAR(curve[1], 6.0206, 1e-3);

  // Q1 = 0 builds no section: the curve only goes to dB.
  curve = {1, 10, 0};
  ASSERT_TRUE(ComputeFilterBlockResponseDb(curve, freqs, 3, 48000, w, 0, 2));
  EXPECT_EQ(curve[0], 0.0f);
  EXPECT_NEAR(curve[1], 20.0, 1e-5);
  EXPECT_TRUE(std::isfinite(curve[2]));

  dialogs.ExpectMessage();
  curve = {1, 1, 1};
  ASSERT_TRUE(ComputeFilterBlockResponseDb(curve, freqs, 3, 48000, w, -1, 0.04));
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Error 4929"});
  EXPECT_NEAR(curve[0], 20 * std::log10(1 / 0.04), 1e-3);

  EXPECT_FALSE(ComputeFilterBlockResponseDb(curve, freqs, 4, 48000, w, -4, 2));
}

TEST_F(FilterRunTest, RunRefusalsLeaveTheSignalUnchanged) {
  std::vector<float> x = {1, 2, 3, 4}, scratch(4);
  FilterBlock b = SPlane(2, 48000);
  ASSERT_TRUE(BuildButterworthPoles(b));
  dialogs.ExpectMessage();
  EXPECT_FALSE(RunFilterBlockOnSignal(x, scratch, 4, b));
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Error 5440"});
  EXPECT_EQ(x, (std::vector<float>{1, 2, 3, 4}));

  // A block with no sample rate cannot be made digital: nothing runs.
  dialogs.Clear();
  b.samplerate = 0;
  dialogs.ExpectMessage();
  dialogs.ExpectMessage();
  EXPECT_FALSE(RunFilterBlockInSections(x, scratch, 48000, 4, b));
  EXPECT_EQ(dialogs.MessageTexts(),
            (std::vector<std::string>{"Error 3426: Filter sample rate not set -normally EQConfig.samplerate",
                                      "Error 7123"}));
  EXPECT_EQ(x, (std::vector<float>{1, 2, 3, 4}));

  dialogs.Clear();
  FilterBlock six = SPlane(6, 0);
  ASSERT_TRUE(BuildButterworthPoles(six));
  dialogs.ExpectMessage();
  dialogs.ExpectMessage();
  EXPECT_FALSE(RunFilterBlockInSections(x, scratch, 48000, 4, six));
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 7127");
  EXPECT_EQ(x, (std::vector<float>{1, 2, 3, 4}));

  // Lengths beyond the arrays are refused.
  EXPECT_FALSE(RunFilterBlockInSections(x, scratch, 48000, 5, b));
  EXPECT_FALSE(RunFilterBlockOnSignal(x, scratch, -1, b));
}

TEST_F(FilterRunTest, ZPlaneBlockRunsItsRecursion) {
  // One pole at 0.5 with gain 1: y[i] = x[i] + 0.5 y[i-1] (and a zero at 0 leaves b = 1, 0).
  FilterBlock b;
  b.Domain = kDomainZPlane;
  b.NumPoles = 1;
  b.NumZeros = 1;
  b.PoleRe[0] = 0.5;
  std::vector<float> x = {1, 0, 0, 2}, scratch(4);
  ASSERT_TRUE(RunFilterBlockOnSignal(x, scratch, 4, b));
  EXPECT_EQ(x, (std::vector<float>{1, 0.5f, 0.25f, 2.125f}));
  // No roots at all: a plain gain.
  FilterBlock g;
  g.Domain = kDomainZPlane;
  g.DigitalGain = 3;
  ASSERT_TRUE(RunFilterBlockOnSignal(x, scratch, 4, g));
  EXPECT_EQ(x, (std::vector<float>{3, 1.5f, 0.75f, 6.375f}));
}

TEST_F(FilterRunTest, BandPassKeepsTheBandAndRejectsOutside) {
  const int fs = 48000;
  std::vector<float> x = Impulse(16384), scratch(16384);
  FilterBlock b;
  ASSERT_TRUE(BandPassFilterSignal(x, scratch, fs, 14, 250, 4000, b));
  EXPECT_NEAR(MeasuredDb(x, 1000, fs), 0.0, 0.5);
  EXPECT_LT(MeasuredDb(x, 30, fs), -30);
  EXPECT_LT(MeasuredDb(x, 20000, fs), -25);
  // Both edges of a 4th-order Bessel are about 3 dB down.
  EXPECT_NEAR(MeasuredDb(x, 4000 * 6.283 / (2 * kPi), fs), -3.0, 0.5);
  EXPECT_NEAR(MeasuredDb(x, 250 * 6.283 / (2 * kPi), fs), -3.0, 0.5);
}

TEST_F(FilterRunTest, IntegrateBackwardSumsTheTail) {
  std::vector<float> v = {1, 2, 3};
  ASSERT_TRUE(IntegrateBackward(v, 3));
  EXPECT_EQ(v, (std::vector<float>{6, 5, 3}));
  v = {1, 2, 3};
  ASSERT_TRUE(IntegrateBackward(v, 2));
  EXPECT_EQ(v, (std::vector<float>{3, 2, 3}));
  dialogs.ExpectMessage();
  dialogs.ExpectMessage();
  EXPECT_FALSE(IntegrateBackward(v, 0));
  EXPECT_FALSE(IntegrateBackward(v, 4));
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"Error 2905", "Error 2901"}));
}

}  // namespace
}  // namespace zentor
