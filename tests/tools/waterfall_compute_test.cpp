// The waterfall's slices against known decays, averages, calibrations and filters.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "display/curve_workers.h"
#include "tools/waterfall_compute.h"
#include "waterfall_fixture.h"

namespace zentor {
namespace {

using test::Nearest;
using test::WaterfallTest;

constexpr double kDbPerNeper = 8.685889638;  // 20 log10(e)

// Slice start of slice s in ms, as whole samples at 48 kHz.
double SliceStartMs(int s, float spanMs) {
  const float step = spanMs / 35.0f;
  return static_cast<double>(std::llround(static_cast<double>(static_cast<float>(s) * step) * 48.0)) / 48.0;
}

struct LineFit {
  double slope = 0;
  double worst = 0;  // largest distance from the line of the expected slope
};

// Levels at the point nearest f in slices 1..34 against their start times: the
// least-squares slope, and the distance from the best line of the expected slope.
LineFit DecayOf(const WaterfallSliceSet& slices, double f, double expectedSlope, float spanMs) {
  const size_t j = test::Nearest(slices[0], f);
  std::vector<double> t, y;
  for (int s = 1; s < 35; ++s) {
    t.push_back(SliceStartMs(s, spanMs));
    y.push_back(slices[static_cast<size_t>(s)].Levels[j]);
  }
  const double n = static_cast<double>(t.size());
  double st = 0, sy = 0, stt = 0, sty = 0;
  for (size_t i = 0; i < t.size(); ++i) {
    st += t[i];
    sy += y[i];
    stt += t[i] * t[i];
    sty += t[i] * y[i];
  }
  LineFit fit;
  fit.slope = (n * sty - st * sy) / (n * stt - st * st);
  const double intercept = (sy - expectedSlope * st) / n;
  for (size_t i = 0; i < t.size(); ++i)
    fit.worst = std::max(fit.worst, std::fabs(y[i] - (intercept + expectedSlope * t[i])));
  return fit;
}

TEST_F(WaterfallTest, DampedResonanceDecaysOnItsLine) {
  LoadSet(1);
  AddResonance(0, 1000, 10);
  ThreeDForm* f = Open();
  const WaterfallSliceSet& s = f->UnfilteredSlices;
  ASSERT_EQ(s[0].Count, 2000);
  EXPECT_NEAR(s[0].Freqs[1] - s[0].Freqs[0], 48000.0 / 4096, 1e-3);  // k = 12
  const double slope = -kDbPerNeper / 10;
  const LineFit fit = DecayOf(s, 1000, slope, 40);
  EXPECT_LT(fit.worst, 0.15);
  EXPECT_NEAR(fit.slope, slope, 0.01 * std::fabs(slope));
}

TEST_F(WaterfallTest, TwoResonancesDecayEachAtItsOwnRate) {
  LoadSet(1);
  AddResonance(0, 300, 20);
  AddResonance(0, 3000, 10);
  ThreeDForm* f = Open();
  for (auto [freq, tau] : {std::pair{300.0, 20.0}, {3000.0, 10.0}}) {
    const double slope = -kDbPerNeper / tau;
    EXPECT_NEAR(DecayOf(f->UnfilteredSlices, freq, slope, 40).slope, slope, 0.02 * std::fabs(slope)) << freq;
  }
}

TEST_F(WaterfallTest, TheThreadCountDoesNotChangeTheSlices) {
  LoadSet(5);
  for (size_t c = 0; c < 5; ++c) AddResonance(c, 200.0 + 700.0 * double(c), 5.0 + double(c));
  CurveWorkerLimit = 1;
  const WaterfallSliceSet one = Open()->UnfilteredSlices;
  Forms::Unload<ThreeDForm>();
  CurveWorkerLimit = 0;
  const WaterfallSliceSet many = Open()->UnfilteredSlices;
  for (size_t s = 0; s < 35; ++s)
    for (size_t i = 0; i < 2000; ++i) ASSERT_EQ(one[s].Levels[i], many[s].Levels[i]) << s << " " << i;
}

TEST_F(WaterfallTest, AveragesPowersAndAppliesTheCalibration) {
  const auto broadband = [](size_t c, double a) {
    ImpulseSet[c][test::kStartSample] += static_cast<float>(0.5 * a);
    AddResonance(c, 700, 8, a);
    AddResonance(c, 5000, 3, a);
  };
  LoadSet(1);
  broadband(0, 1);
  const WaterfallSliceSet one = FreshSlices();
  ASSERT_GT(one[34].Levels[100], -200);

  LoadSet(3);
  for (size_t c = 0; c < 3; ++c) broadband(c, 1);
  const WaterfallSliceSet three = FreshSlices();

  LoadSet(2);
  broadband(0, 1);
  broadband(1, 2);
  const WaterfallSliceSet pair = FreshSlices();

  LoadSet(1);
  broadband(0, 1);
  ActiveMicCal.Count = 2;
  ActiveMicCal.Freq[0] = 10;
  ActiveMicCal.Freq[1] = 30000;
  ActiveMicCal.Level[0] = ActiveMicCal.Level[1] = 3;
  const WaterfallSliceSet calibrated = FreshSlices();

  const double pairGain = 10 * std::log10((1.0 + 4.0) / 2.0);  // 3.98 dB
  for (size_t s = 0; s < 35; ++s)
    for (size_t i = 0; i < 2000; i += 7) {
      if (one[s].Levels[i] < -250) continue;  // at the floor of the dB conversion
      ASSERT_NEAR(three[s].Levels[i], one[s].Levels[i], 1e-4) << s << " " << i;
      ASSERT_NEAR(pair[s].Levels[i], one[s].Levels[i] + pairGain, 1e-3) << s << " " << i;
      ASSERT_NEAR(calibrated[s].Levels[i], one[s].Levels[i] - 3, 1e-4) << s << " " << i;
    }
}

// |H| in dB of the bilinear peaking section with zeros at quality qz and poles at qp
// about f0, from its analogue prototype at the pre-warped frequency.
double PeakingDb(double f, double f0, double qz, double qp, double fs) {
  const double w0 = 2 * fs * std::tan(std::numbers::pi * f0 / fs);
  const double w = 2 * fs * std::tan(std::numbers::pi * f / fs);
  const std::complex<double> s(0, w);
  const auto h = (s * s + s * w0 / qz + w0 * w0) / (s * s + s * w0 / qp + w0 * w0);
  return 20 * std::log10(std::abs(h));
}

TEST_F(WaterfallTest, FilteredSlicesCarryTheAppliedPeakingSection) {
  LoadSet(1);
  ImpulseSet[0][test::kStartSample] = 1;
  AppliedFilters[0].Count = 1;
  AppliedFilters[0].Freq1 = static_cast<float>(2 * std::numbers::pi * 1000);
  AppliedFilters[0].Q1 = -4;
  AppliedFilters[0].Q2 = 2;
  AppliedFilters[0].EQEmulationCode = 1;
  ThreeDForm* f = Open();
  EXPECT_EQ(f->Computations, (std::array<int32_t, 2>{1, 1}));
  const WaterfallSlice& plain = f->UnfilteredSlices[0];
  const WaterfallSlice& eq = f->FilteredSlices[0];
  ASSERT_EQ(eq.Count, plain.Count);
  const size_t at = Nearest(plain, 1000);
  EXPECT_NEAR(eq.Levels[at] - plain.Levels[at], 6.02, 0.1);
  for (size_t i = 0; i < static_cast<size_t>(plain.Count); ++i)
    ASSERT_NEAR(eq.Levels[i] - plain.Levels[i], PeakingDb(plain.Freqs[i], 1000, 2, 4, 48000), 0.2)
        << plain.Freqs[i];

  // A cut with the same qualities mirrors it.
  AppliedFilters[0].Q1 = 4;
  OpenUnasked();
  EXPECT_NEAR(f->FilteredSlices[0].Levels[at] - plain.Levels[at], -6.02, 0.1);

  // Equal magnitudes of the two qualities: flat.
  AppliedFilters[0].Q1 = -2;
  OpenUnasked();
  EXPECT_EQ(f->Computations, (std::array<int32_t, 2>{1, 3}));
  for (size_t s = 0; s < 35; ++s)
    for (size_t i = 0; i < static_cast<size_t>(plain.Count); ++i)
      ASSERT_NEAR(f->FilteredSlices[s].Levels[i], f->UnfilteredSlices[s].Levels[i], 1e-4) << s << " " << i;
}

TEST_F(WaterfallTest, ManyFiltersMultiplyTheirResponses) {
  LoadSet(1);
  ImpulseSet[0][test::kStartSample] = 1;
  constexpr int kFilters = 19;  // more than one group of sections
  AppliedFilters[0].Count = kFilters;
  for (size_t k = 0; k < kFilters; ++k) {
    FilterRecord& r = AppliedFilters[k];
    r.Freq1 = static_cast<float>(2 * std::numbers::pi * (200.0 + 900.0 * double(k)));
    r.Q1 = k % 2 == 0 ? -3.0f : 5.0f;
    r.Q2 = 2.5f;
    r.EQEmulationCode = 1;
  }
  ThreeDForm* f = Open();
  const WaterfallSlice& plain = f->UnfilteredSlices[0];
  for (size_t i = 0; i < static_cast<size_t>(plain.Count); i += 3) {
    double expected = 0;
    for (size_t k = 0; k < kFilters; ++k) {
      const double q1 = std::fabs(AppliedFilters[k].Q1), q2 = AppliedFilters[k].Q2;
      const bool boost = AppliedFilters[k].Q1 < 0;
      expected += PeakingDb(plain.Freqs[i], 200.0 + 900.0 * double(k), boost ? q2 : q1, boost ? q1 : q2, 48000);
    }
    ASSERT_NEAR(f->FilteredSlices[0].Levels[i] - plain.Levels[i], expected, 0.3) << plain.Freqs[i];
  }
}

TEST_F(WaterfallTest, FaultyFiltersAreReportedAndLeftOut) {
  LoadSet(1);
  ImpulseSet[0][test::kStartSample] = 1;
  AppliedFilters[0].Count = 3;
  AppliedFilters[0].Freq1 = 1000;
  AppliedFilters[0].Q1 = 0;  // no sign: flat, unreported
  AppliedFilters[0].Q2 = 2;
  AppliedFilters[1].Freq1 = static_cast<float>(2 * std::numbers::pi * 30000);  // above Nyquist
  AppliedFilters[1].Q1 = -4;
  AppliedFilters[1].Q2 = 2;
  AppliedFilters[1].EQEmulationCode = 1;
  AppliedFilters[2].Freq1 = static_cast<float>(2 * std::numbers::pi * 1000);
  AppliedFilters[2].Q1 = -0.04f;  // section quality below 0.05: reported, still built
  AppliedFilters[2].Q2 = 0.02f;
  AppliedFilters[2].EQEmulationCode = 1;
  dialogs.ExpectMessage(MsgAnswer::Yes);
  dialogs.ExpectMessage();
  dialogs.ExpectMessage();
  ThreeDForm* f = OpenUnasked();
  EXPECT_EQ(dialogs.MessageTexts(),
            (std::vector<std::string>{" Recalculate waterfall with new limits and/or gate time  ?", "Error 7122",
                                      "Error 4929"}));
  const size_t at = Nearest(f->UnfilteredSlices[0], 1000);
  EXPECT_NEAR(f->FilteredSlices[0].Levels[at] - f->UnfilteredSlices[0].Levels[at],
              PeakingDb(f->UnfilteredSlices[0].Freqs[at], 1000, 0.02, 0.04, 48000), 0.2);
}

TEST(WaterfallNumbers, SpanAndSlicePoints) {
  // 2^15 samples at 48 kHz hold 682.7 ms: a 200 ms gate leaves 682.7 - 360 ms.
  EXPECT_NEAR(WaterfallSpan(200, 48000, 15), 32768.0 / 48 - 360, 1e-3);
  EXPECT_FLOAT_EQ(WaterfallSpan(200, 48000, 17), 400);
  EXPECT_LE(WaterfallSpan(500, 48000, 15), 0);
  EXPECT_LE(WaterfallSpan(20, 0, 17), 0);

  SliceGeometry g;
  ASSERT_TRUE(MakeSliceGeometry(48000, 12, 20, 40, g));
  EXPECT_EQ(g.LowBin, 4);  // 50 Hz over 11.7 Hz bins
  EXPECT_EQ(g.Count, 2000);
  EXPECT_EQ(g.Reference, 2400);
  // Short transforms stop below Nyquist by the points' own frequencies.
  ASSERT_TRUE(MakeSliceGeometry(48000, 11, 2, 4, g));
  EXPECT_EQ(g.LowBin, 21);  // 500 Hz over 23.4 Hz bins
  EXPECT_EQ(g.Count, 1024 - 21);
  std::vector<float> x(2001);
  FillSliceFrequencies(g, x);
  EXPECT_LT(x[static_cast<size_t>(g.Count - 1)], 24000);
  EXPECT_FALSE(MakeSliceGeometry(48000, 12, 0, 40, g));
  EXPECT_FALSE(MakeSliceGeometry(48000, 12, 20, -1, g));
}

WaterfallSliceSet HandBuilt() {
  WaterfallSliceSet set{};
  for (size_t s = 0; s < 35; ++s) {
    set[s].Count = 4;
    for (size_t i = 0; i < 4; ++i) {
      set[s].Freqs[i] = 100.0f * float(i + 1);  // 100..400 Hz
      set[s].Levels[i] = -float(s) - float(i);
    }
  }
  set[3].Levels[1] = 12.4f;   // the peak within 150..250 Hz
  set[5].Levels[3] = 40.0f;   // outside it
  set[34].Levels[0] = 900;    // the last slice is not part of the floor
  set[29].Levels[2] = 100;
  return set;
}

TEST(WaterfallNumbers, PeakAndFloorLevels) {
  const WaterfallSliceSet set = HandBuilt();
  EXPECT_FLOAT_EQ(GetWaterfallPeakLevel(set, 150, 250), 13.4f);
  EXPECT_FLOAT_EQ(GetWaterfallPeakLevel(set, 350, 450), 41.0f);
  EXPECT_FLOAT_EQ(GetWaterfallPeakLevel(set, 200, 400), 101.0f);
  EXPECT_FLOAT_EQ(GetWaterfallPeakLevel(set, 100, 400), 901.0f);  // every slice counts
  EXPECT_FLOAT_EQ(GetWaterfallPeakLevel(set, 1000, 2000), -9999.0f);
  // Slices 29..33, points 0..3: the mean of -(s + i), with one point raised to 100.
  double sum = 0;
  for (int s = 29; s <= 33; ++s)
    for (int i = 0; i < 4; ++i) sum += -(s + i);
  sum += 100 - (-(29 + 2));
  EXPECT_NEAR(GetWaterfallFloorLevel(set), sum / 20, 1e-4);
}

TEST(WaterfallNumbers, SnapshotsCompareEveryField) {
  AppliedFilters[0].Count = 2;
  AppliedFilters[0].Freq1 = 100;
  AppliedFilters[1].Q1 = -3;
  AppliedFilters[1].Q2 = 1;
  AppliedFilters[1].EQEmulationCode = 4;
  FilterSnapshot a, b;
  SnapshotAppliedFilters(a);
  EXPECT_EQ(a.Count, 2);
  EXPECT_EQ(a.EQEmulationCode[1], 4);
  CopyFilterSnapshot(a, b);
  EXPECT_TRUE(FilterSnapshotsEqual(a, b));
  b.Q2[1] = 1.5f;
  EXPECT_FALSE(FilterSnapshotsEqual(a, b));
  b = a;
  b.Freq1[2] = 5;  // beyond the count: not compared
  EXPECT_TRUE(FilterSnapshotsEqual(a, b));
  EXPECT_TRUE(FilterSnapshotsEqual(FilterSnapshot{}, FilterSnapshot{}));
  AppliedFilters[0].Count = 999;  // a count from a damaged file
  SnapshotAppliedFilters(a);
  EXPECT_EQ(SnapshotCount(a), 75);
  AppliedFilters[0].Count = 0;
  EXPECT_EQ(GetSpanText(20), "40");
  EXPECT_TRUE(WaterfallSettingsEqual({20, 30, 40}, {20, 30, 40}));
  EXPECT_FALSE(WaterfallSettingsEqual({20, 30, 40}, {20, 30, 41}));
}

}  // namespace
}  // namespace zentor
