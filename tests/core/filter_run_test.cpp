#include "core/filter_run.h"

#include <gtest/gtest.h>

#include <array>
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

// Designs run in sections against their closed forms on the warped axis (r = W / Wc).
TEST_F(FilterRunTest, SectionRunsMatchTheirClosedForms) {
  struct Case {
    const char* name;
    int order, fs;
    double fc;
    bool (*design)(FilterBlock&);
    double (*db)(double r);  // expected level at ratio r
  };
  const Case cases[] = {
      {"Butterworth LP4", 4, 48000, 3000, BuildButterworthPoles,
       [](double r) { return -10 * std::log10(1 + std::pow(r, 8)); }},
      // Fifth-order high-pass: the real pole goes into the first section, the last is a pair.
      {"Butterworth HP5", 5, 48000, 1000, [](FilterBlock& b) { return BuildButterworthPoles(b) && LowPassToHighPass(b, 1.0); },
       [](double r) { return -10 * std::log10(1 + std::pow(r, -10)); }},
      // The first section alone would carry w^8 if the others had unit gain: beyond float range.
      {"LR10 at 15 kHz", 10, 96000, 15000, BuildLinkwitzRileyPrototype,
       [](double r) { return -20 * std::log10(1 + std::pow(r, 10)); }},
      {"LR8 LP", 8, 48000, 2000, BuildLinkwitzRileyPrototype, [](double r) { return -20 * std::log10(1 + std::pow(r, 8)); }},
      {"LR8 HP", 8, 48000, 2000, [](FilterBlock& b) { return BuildLinkwitzRileyPrototype(b) && LowPassToHighPass(b, 1.0); },
       [](double r) { return 20 * std::log10(std::pow(r, 8) / (1 + std::pow(r, 8))); }},
      // g (jW + w0/g) / (jW + w0) with g = 6 dB.
      {"shelf", 0, 48000, 500, [](FilterBlock& b) { return BuildShelfPrototype(b, 6); },
       [](double r) {
         const double g = std::pow(10.0, 6.0 / 20);
         return 20 * std::log10(g * std::abs(cd(1 / g, r) / cd(1, r)));
       }},
  };
  std::vector<float> lr8sum(16384, 0.0f);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FilterBlock b = SPlane(c.order, c.fs);
    ASSERT_TRUE(c.design(b));
    ASSERT_TRUE(ScaleFilterBlockFrequency(b, PrewarpFrequency(2 * kPi * c.fc, c.fs)));
    std::vector<float> x = Impulse(16384), scratch(16384);
    ASSERT_TRUE(RunFilterBlockInSections(x, scratch, c.fs, 16384, b));
    for (double f : LogFrequencies(20, 20000, 40)) {
      const double want = c.db(Warped(f, c.fs) / Warped(c.fc, c.fs));
      // Single-precision samples give a floor far below the pass band.
      if (want > -70) {
        EXPECT_NEAR(MeasuredDb(x, f, c.fs), want, 0.05) << f;
      } else {
        EXPECT_LT(MeasuredDb(x, f, c.fs), -65) << f;
      }
    }
    if (c.order == 5) {
      EXPECT_TRUE(SectionFilterBlock.NumPoles == 2 && std::fabs(SectionFilterBlock.PoleIm[0]) > 1e-3);
    }
    if (c.order == 4) {  // the block is not changed: a second run gives the same samples
      std::vector<float> again = Impulse(16384);
      ASSERT_TRUE(RunFilterBlockInSections(again, scratch, c.fs, 16384, b));
      EXPECT_EQ(again, x);
      EXPECT_EQ(b.Domain, kDomainSPlane);
    }
    if (c.order == 8)
      for (size_t i = 0; i < x.size(); ++i) lr8sum[i] += x[i];
  }
  // The Linkwitz-Riley pair sums flat.
  for (double f : LogFrequencies(20, 20000, 40)) EXPECT_NEAR(MeasuredDb(lr8sum, f, 48000), 0.0, 0.1) << f;

  std::array<FilterSection, kMaxFilterRoots> s;
  ASSERT_EQ(FilterSectionLayout(6, s), 3);
  EXPECT_EQ((std::vector<int>{s[0].start, s[0].count, s[1].start, s[1].count, s[2].start, s[2].count}),
            (std::vector<int>{0, 2, 2, 2, 4, 2}));
  ASSERT_EQ(FilterSectionLayout(5, s), 2);
  EXPECT_EQ((std::vector<int>{s[0].start, s[0].count, s[1].start, s[1].count}), (std::vector<int>{0, 3, 3, 2}));
  ASSERT_EQ(FilterSectionLayout(3, s), 1);
  EXPECT_EQ(s[0].count, 3);
  EXPECT_EQ(FilterSectionLayout(76, s), 0);
}

// Level of a set of peaking records in dB: the analogue sections at their pre-warped
// centres read on the warped axis; code 2 narrows both Q values by sin(w0)/w0, w0 = w/fs.
double SetDb(const std::vector<FilterRecord>& set, double f, int fs) {
  const cd s(0, Warped(f, fs));
  double db = 0;
  for (const FilterRecord& r : set) {
    const double w0 = r.Freq1 / fs, k = r.EQEmulationCode == 2 ? std::sin(w0) / w0 : 1.0;
    const double wc = Warped(r.Freq1 / (2 * kPi), fs);
    const double qz = (r.Q1 > 0 ? r.Q1 : r.Q2) * k, qp = (r.Q1 > 0 ? r.Q2 : -r.Q1) * k;
    db += 20 * std::log10(std::abs((s * s + wc / qz * s + wc * wc) / (s * s + wc / qp * s + wc * wc)));
  }
  return db;
}

TEST_F(FilterRunTest, PeakingSetsMatchTheSumOfTheirClosedFormsInDb) {
  const int fs = 48000;
  // Eleven sections at spread centres, then 27 (a full pass of the cascade and a padded
  // one): passes of one, two, three and four wavefronts are all reached.
  std::vector<FilterRecord> eleven, many;
  const double centres[] = {40, 50, 180, 400, 700, 1500, 2500, 4000, 6000, 11000, 15000};
  for (int i = 0; i < 11; ++i)
    eleven.push_back(Peaking(static_cast<float>(centres[i]), i % 2 ? 3.0f : -3.0f, 1.0f + 0.25f * i));
  for (int i = 0; i < 27; ++i)
    many.push_back(Peaking(static_cast<float>(30 * std::pow(1.25, i)), i % 3 ? 2.5f : -2.5f, 1.0f + 0.05f * i));
  struct Case {
    const char* name;
    std::vector<FilterRecord> set;
    int order;
    double centre, centreDb;
  };
  const Case cases[] = {
      {"boost", {Peaking(1000, -4, 2)}, 14, 1000, 6.0206},
      {"cut", {Peaking(1000, 4, 2)}, 14, 1000, -6.0206},
      {"two in a row add in dB", {Peaking(1000, -4, 2), Peaking(1000, -6, 3)}, 14, 1000, 12.041},
      {"cookbook code 2", {Peaking(8000, 8, 1, 2)}, 14, 8000, -18.062},
      {"eleven", eleven, 15, 1000, SetDb(eleven, 1000, fs)},
      {"27", many, 15, 1000, SetDb(many, 1000, fs)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<float> h = ChainImpulse(c.set, c.order, fs);
    EXPECT_NEAR(MeasuredDb(h, c.centre, fs), c.centreDb, 0.05);
    for (double f : LogFrequencies(20, 20000, 30)) EXPECT_NEAR(MeasuredDb(h, f, fs), SetDb(c.set, f, fs), 0.05) << f;
  }
  EXPECT_EQ(ChainImpulse({Peaking(1000, -4, 4)}, 14, fs), Impulse(16384));  // equal Q values: skipped
  EXPECT_TRUE(dialogs.calls().empty());
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
  // Q1 = 0, a non-finite Q or a centre above Nyquist: the message, then the record counts as flat.
  std::vector<FilterRecord> bad = {Peaking(1000, 0, 2), Peaking(1000, -4, NAN), Peaking(30000, -4, 2)};
  bad[0].Count = 3;
  for (int i = 0; i < 3; ++i) dialogs.ExpectMessage();
  ASSERT_TRUE(RunFilterChainOnSignal(x, scratch, 12, 44100, WorkFilterBlock, bad));
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"error 4823", "error 4823", "Error 7122"}));
  // A count beyond the list, or a signal shorter than 2^order, is not read past.
  std::vector<FilterRecord> overCount = {Peaking(1000, -4, 4)};
  overCount[0].Count = 75;
  ASSERT_TRUE(RunFilterChainOnSignal(x, scratch, 12, 48000, WorkFilterBlock, overCount));
  EXPECT_FALSE(RunFilterChainOnSignal(x, scratch, 13, 48000, WorkFilterBlock, none));
  EXPECT_EQ(x, original);
}

TEST_F(FilterRunTest, ComputedResponseInDbOfPeakingSections) {
  // Against the measured response of the same section.
  const int fs = 96000;
  const std::vector<float> h = ChainImpulse({Peaking(1000, -4, 2)}, 15, fs);
  const std::vector<double> fd = LogFrequencies(20, 20000, 60);
  std::vector<float> freqs(fd.begin(), fd.end()), curve(fd.size(), 1.0f);
  const double pw = PrewarpFrequency(2 * kPi * 1000, fs);
  ASSERT_TRUE(ComputeFilterBlockResponseDb(curve, freqs, static_cast<int32_t>(curve.size()), fs, pw, -4, 2));
  for (size_t i = 0; i < fd.size(); ++i) EXPECT_NEAR(MeasuredDb(h, fd[i], fs), curve[i], 0.05) << fd[i];

  const double w = 2 * kPi * 1000;
  freqs = {1000, 10, 100000};
  curve = {1, 1, 1};
  ASSERT_TRUE(ComputeFilterBlockResponseDb(curve, freqs, 3, 48000, w, -4, 2));
  EXPECT_NEAR(curve[0], 6.0206, 1e-4);
  EXPECT_NEAR(std::hypot(curve[1], curve[2]), 0.0, 1e-3);
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
  const std::vector<float> original = {1, 2, 3, 4};
  std::vector<float> x = original, scratch(4);
  FilterBlock b = SPlane(2, 48000), six = SPlane(6, 0);
  ASSERT_TRUE(BuildButterworthPoles(b));
  ASSERT_TRUE(BuildButterworthPoles(six));
  dialogs.ExpectMessage();
  EXPECT_FALSE(RunFilterBlockOnSignal(x, scratch, 4, b));  // still in the s-plane
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Error 5440"});
  // A block with no sample rate cannot be made digital: nothing runs.
  b.samplerate = 0;
  for (int i = 0; i < 4; ++i) dialogs.ExpectMessage();
  EXPECT_FALSE(RunFilterBlockInSections(x, scratch, 48000, 4, b));
  EXPECT_EQ(dialogs.MessageTexts()[1], "Error 3426: Filter sample rate not set -normally EQConfig.samplerate");
  EXPECT_EQ(dialogs.MessageTexts()[2], "Error 7123");
  EXPECT_FALSE(RunFilterBlockInSections(x, scratch, 48000, 4, six));
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 7127");
  // Lengths beyond the arrays are refused.
  EXPECT_FALSE(RunFilterBlockInSections(x, scratch, 48000, 5, b));
  EXPECT_FALSE(RunFilterBlockOnSignal(x, scratch, -1, b));
  EXPECT_EQ(x, original);
}

TEST_F(FilterRunTest, ZPlaneBlockRunsItsRecursion) {
  // One pole at 0.5 with gain 1: y[i] = x[i] + 0.5 y[i-1] (and a zero at 0 leaves b = 1, 0).
  FilterBlock b;
  b.Domain = kDomainZPlane;
  b.NumPoles = b.NumZeros = 1;
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

TEST_F(FilterRunTest, BandPassKeepsTheBandAndIntegrateBackwardSumsTheTail) {
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
