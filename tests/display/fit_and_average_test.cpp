// Limits from the curve sets, average and difference curves, filtered responses, room averages, similarities.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/emulation.h"
#include "core/filter_design.h"
#include "core/filter_run.h"
#include "core/results_store.h"
#include "display/average_response.h"
#include "display/curve_averaging.h"
#include "display/curve_similarity.h"
#include "display/filtered_response.h"
#include "display/fit_to_data.h"
#include "display/plot_colours.h"
#include "support/filter_record.h"
#include "support/curve_sets.h"
#include "views_fixture.h"

namespace zentor {
namespace {

using test::ViewsTest;
using Kind = RecordingSurface::Kind;
using test::FlatCurve;
using test::FrameLimits;
using test::LimitsOf;
using test::SetLimits;
constexpr int32_t kFs = 48000;
constexpr float kTwoPi = 2 * std::numbers::pi_v<float>;
using Texts = std::vector<std::string>;

TEST_F(ViewsTest, FitFollowsTheLockOrTheDataInWholeNumbersLevelsNormaliseAndTheCurveNumberIsRead) {
  ResultsDataSetInfo[0].NumInSet = 2;
  FlatCurve(BodeCurves, 0, 100, -80);
  FlatCurve(BodeCurves, 1, 100, 35);
  DisplayConfig.Graphshown = kBodeView;
  FitGraphToData(host);
  EXPECT_EQ(LimitsOf(FreqGraphFrame), (FrameLimits{16, 20000, -50, 20}));

  // A lock level range 2 dB wide is widened to 10 dB.
  CoOrdLockLimits.FreqLowLevel = 0;
  CoOrdLockLimits.FreqHighLevel = 2;
  FitGraphToData(host);
  EXPECT_EQ(LimitsOf(FreqGraphFrame), (FrameLimits{16, 20000, -4, 6}));

  // An empty frequency lock still gives a log axis from 1 Hz.
  CoOrdLockLimits.FreqDomainStartFreq = 0;
  CoOrdLockLimits.FreqDomainFinishFreq = 0;
  FreqGraphFrame.LogX = kTrue;
  FitGraphToData(host);
  EXPECT_GE(FreqGraphFrame.XStart, 1);
  EXPECT_GT(FreqGraphFrame.XFinish, FreqGraphFrame.XStart);

  DisplayConfig.Graphshown = kNoiseView;
  FitGraphToData(host);
  EXPECT_EQ(LimitsOf(FreqGraphFrame), (FrameLimits{16, 20000, -10, 75}));

  // In the impulse view the fit follows the data within the lock.
  FlatCurve(ImpulseCurves, 0, 2000, 0, -10, 30);
  DisplayConfig.Graphshown = kImpulseView;
  SetLimits(TimeGraphFrame, {3, 9, -30, 30});
  const auto fitWithin = [&](float start, float finish) {
    CoOrdLockLimits.TimeStart = start;
    CoOrdLockLimits.TimeFinish = finish;
    FitGraphToData(host);
    return LimitsOf(TimeGraphFrame);
  };
  EXPECT_EQ(fitWithin(-50, 250), (FrameLimits{3, 9, -30, 30})) << "a flat set keeps the time limits";
  ImpulseCurves[0].YValues[5] = 12;
  EXPECT_EQ(fitWithin(-5, 25), (FrameLimits{-5, 25, -30, 30}));
  EXPECT_EQ(fitWithin(-50, 100), (FrameLimits{-10, 31, -30, 30})) << "a wider lock leaves the data's own extent";
  // Normalised levels use the mean in range; the main curve number comes from the box.
  std::array<float, 5> x{10, 100, 1000, 10000, 20000};
  std::array<float, 5> y{1, 2, 4, 9, 100};
  host.norm = false;
  NormalizeDisplayCurves(host, y, x, 5, 50, 12000);
  EXPECT_EQ(y[0], 1);
  host.norm = true;
  NormalizeDisplayCurves(host, y, x, 5, 20001, 30000);  // no point in range
  EXPECT_EQ(y[4], 100);
  NormalizeDisplayCurves(host, y, x, 5, 50, 12000);  // mean of 2, 4, 9 = 5
  EXPECT_FLOAT_EQ(y[0], -4);
  EXPECT_FLOAT_EQ(y[2], -1);
  EXPECT_FLOAT_EQ(y[4], 95);
  NormalizeDisplayCurves(host, y, x, 99, 0, 100000);  // count held to the arrays

  // The main curve number comes from the box.
  const std::vector<std::pair<const char*, int32_t>> cases = {{"7", 7}, {"7.5", 8}, {"6.5", 6}, {"32", 32}};
  for (auto [text, n] : cases) {
    host.curveNoText.setText(text);
    EXPECT_EQ(GetMainCurveNumber(host), n) << text;
  }
  for (const char* bad : {"40", "abc"}) {
    host.curveNoText.setText(bad);
    dialogs.ExpectMessage();
    EXPECT_EQ(GetMainCurveNumber(host), 1) << bad;
  }
  // The extent of a set encloses every curve in whole numbers; narrow levels widen and spans stay drawable.
  auto set = std::make_unique<CurveArray>();
  const auto extent = [&set](FrameLimits l) {
    FindCurveSetExtent(l.XStart, l.XFinish, l.YLow, l.YHigh, *set);
    return l;
  };
  const FrameLimits unset{1, 2, 3, 4};
  EXPECT_EQ(extent(unset), unset);  // empty
  FlatCurve(*set, 0, 50, -4, 20.5f, 19000.2f);
  FlatCurve(*set, 1, 50, -4, 16.9f, 18000.0f);
  EXPECT_EQ(extent(unset), unset);  // flat
  (*set)[0].YValues[7] = 12.2f;
  (*set)[1].YValues[9] = -10.2f;
  EXPECT_EQ(extent(unset), (FrameLimits{16, 19001, -10, 13}));  // cut towards zero; the upper ends one above
  (*set)[1].YValues[3] = std::numeric_limits<float>::quiet_NaN();
  (*set)[0].NumCurves = 40;  // a corrupt count is held to the array
  const FrameLimits l = extent(unset);
  EXPECT_TRUE(l.YHigh > l.YLow || l == unset);

  // The lock's own limits and the 2 dB widening are followed through FitGraphToData.
  GraphFrame f;
  f.YLow = 3, f.YHigh = 3;  // m = 3: halves go to the even neighbour
  WidenNarrowLevelRange(f);
  EXPECT_EQ(std::pair(f.YLow, f.YHigh), std::pair(-2, 8));
  f.XStart = 30, f.XFinish = -5, f.YLow = 10, f.YHigh = 10;
  KeepFrameValid(f, false);
  EXPECT_LT(f.XStart, f.XFinish);
  EXPECT_LT(f.YLow, f.YHigh);
  f.XStart = 0, f.XFinish = 0;
  KeepFrameValid(f, true);
  EXPECT_EQ(std::pair(f.XStart, f.XFinish), std::pair(1, 2));
}

TEST_F(ViewsTest, AveragesDifferencesUpdatesOfFiledSlotsAndSimilaritiesOfShiftedAndMirroredCurves) {
  ResultsDataSetInfo[0].NumInSet = 2;
  FlatCurve(BodeCurves, 0, 120, 0);
  FlatCurve(BodeCurves, 1, 120, -10);
  ASSERT_TRUE(AverageCurveSet(AverageCurves, BodeCurves, kBodeView));
  EXPECT_NEAR(AverageCurves[0].YValues[60], 10 * std::log10(0.55), 1e-4);  // about -2.60
  EXPECT_EQ(AverageCurves[0].NumPoints, 120);
  EXPECT_EQ(AverageCurves[0].NumCurves, 1);
  EXPECT_FLOAT_EQ(AverageCurves[0].XValues[119], 20000);
  for (int kind : {kModalSliceView, kNoiseView, kPsdView, kFractOctView, kPsycView}) {
    ASSERT_TRUE(AverageCurveSet(AverageCurves, BodeCurves, kind)) << kind;
    EXPECT_FLOAT_EQ(AverageCurves[0].YValues[60], -5) << kind;
  }
  // One curve averages to itself.
  ResultsDataSetInfo[0].NumInSet = 1;
  FlatCurve(FractOctCurves, 0, 50, -7.25f);
  for (int kind : {kBodeView, kFractOctView}) {
    ASSERT_TRUE(AverageCurveSet(AverageCurves, FractOctCurves, kind));
    EXPECT_NEAR(AverageCurves[0].YValues[3], -7.25f, 1e-4);
  }

  // The source is checked: two curves for three results are reported and still averaged.
  ResultsDataSetInfo[0].NumInSet = 3;
  EXPECT_EQ(MessageOf([&] { EXPECT_TRUE(AverageCurveSet(AverageCurves, BodeCurves, kFractOctView)); }), "Error 4353");

  ResultsDataSetInfo[0].NumInSet = 2;
  FlatCurve(BodeCurves, 1, 150, -10);
  AverageCurves[0].YValues[0] = 42;
  EXPECT_EQ(MessageOf([&] { EXPECT_FALSE(AverageCurveSet(AverageCurves, BodeCurves, kBodeView)); }), "8734 ");
  EXPECT_EQ(AverageCurves[0].YValues[0], 42);

  auto empty = std::make_unique<CurveArray>();
  EXPECT_FALSE(AverageCurveSet(AverageCurves, *empty, kBodeView));
  EXPECT_EQ(AverageCurves[0].YValues[0], 42);

  // Spectra are not results: no comparison with the result count.
  ResultsDataSetInfo[0].NumInSet = 0;
  FlatCurve(PsdCurves, 0, 10, -20);
  FlatCurve(PsdCurves, 1, 10, -40);
  EXPECT_TRUE(AverageCurveSet(AverageCurves, PsdCurves, kPsdView));
  dialogs.ExpectMessage();
  EXPECT_EQ(MessageOf([&] { EXPECT_TRUE(AverageCurveSet(AverageCurves, PsdCurves, kFractOctView)); }), "Error 4392");
  // Differences against curve one.
  ResultsDataSetInfo[0].NumInSet = 3;
  ClearCurveRecords(BodeCurves);
  FlatCurve(BodeCurves, 0, 100, -1);
  FlatCurve(BodeCurves, 1, 100, -3);
  FlatCurve(BodeCurves, 2, 100, 2);
  DisplayConfig.Graphshown = kBodeView;
  FreqGraphFrame.YLow = -1;
  FreqGraphFrame.YHigh = 2;
  ShowDifferenceCurves(host, 3);
  EXPECT_LE(FreqGraphFrame.YLow, -6);
  EXPECT_GE(FreqGraphFrame.YHigh, 6);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(CurvesIn(GetCurveColour(i)).size(), 1u) << i;
  EXPECT_FLOAT_EQ(SingleViewCurves[0].YValues[50], 3);  // curve 3 minus curve 1, the last drawn
  EXPECT_EQ(SingleViewCurves[0].NumPoints, 100);
  EXPECT_TRUE(HasText("Curve Differences"));
  EXPECT_TRUE(HasText(" 3"));
  // The first pass is the 0 dB line, drawn where level 0 sits.
  const auto zero = CurvesIn(GetCurveColour(0));
  const int32_t y0 = static_cast<int32_t>(std::lround(FreqGraphFrame.YOffset));
  EXPECT_NEAR(zero[0].points.front().y, y0, 1);

  ShowDifferenceCurves(host, 2);
  EXPECT_FLOAT_EQ(SingleViewCurves[0].YValues[50], -3);

  // Other views and modes: only the frame, with the widened levels.
  rec.Clear();
  DisplayConfig.Graphshown = kImpulseView;
  FreqGraphFrame.YLow = 0;
  FreqGraphFrame.YHigh = 1;
  ShowDifferenceCurves(host, 3);
  EXPECT_TRUE(rec.Of(Kind::Polyline).empty());
  EXPECT_EQ(FreqGraphFrame.YLow, -6);
  EXPECT_EQ(FreqGraphFrame.YHigh, 6);
  DisplayConfig.Graphshown = kBodeView;
  ShowDifferenceCurves(host, 1);
  EXPECT_TRUE(rec.Of(Kind::Polyline).empty());

  // Updating a graph draws the filed slots only.
  rec.Clear();
  FreqGraphFrame.XStart = 20;
  FreqGraphFrame.XFinish = 20000;
  FlatCurve(NoiseCurves, 0, 10, 1);
  FlatCurve(NoiseCurves, 1, 10, 2);
  NoiseCurves[1].CurveIndex = 5;  // not the record of its slot
  UpdateGraph(NoiseCurves, FreqGraphFrame, rec, "T");
  EXPECT_EQ(CurvesIn(GetCurveColour(0)).size(), 1u);
  EXPECT_TRUE(CurvesIn(GetCurveColour(1)).empty());
  EXPECT_TRUE(HasText("T"));
  rec.Clear();
  UpdateGraph(*empty, FreqGraphFrame, rec, "T");
  EXPECT_TRUE(rec.calls().empty());
  // Similarities: shifted curves follow, mirrored curves oppose, empty ones list only the header.
  // Curve i with the given linear amplitudes at 100, 200, ... Hz.
  const auto Curve = [](int i, std::vector<double> amplitude) {
    FlatCurve(BodeCurves, i, static_cast<int>(amplitude.size()), 0, 100, 100.0f * static_cast<float>(amplitude.size()));
    for (size_t j = 0; j < amplitude.size(); ++j) BodeCurves[size_t(i)].YValues[j] = float(20 * std::log10(amplitude[j]));
  };
  const auto List = [&](float lo, float hi, int32_t k) {
    EXPECT_EQ(ListCurveSimilarities(host, BodeCurves, lo, hi, k), "");
    return host.lines;
  };
  LoadSet(3, kFs, 17);
  ClearCurveRecords(BodeCurves);
  Curve(0, {1, 3, 2, 5, 4, 6});
  Curve(1, {2, 6, 4, 10, 8, 12});  // 6 dB above
  // Mirrored about the mean level in dB: 1/x.
  Curve(2, {1, 1 / 3.0, 1 / 2.0, 1 / 5.0, 1 / 4.0, 1 / 6.0});
  const Texts heads{" Curve Similarities", " "};
  Texts most = heads;
  most.insert(most.end(), {" Corr 1 - 2 = 1", " Corr 1 - 3 = -1"});
  EXPECT_EQ(List(50, 650, 0), most);
  EXPECT_EQ(CurveSimilarityCount, 3);
  EXPECT_EQ(CurveSimilarityOrder[0], 0);  // the reference scores 1, first by number

  host.mostSimilarFirst = false;
  Texts least = heads;
  least.insert(least.end(), {" Corr 1 - 3 = -1", " Corr 1 - 2 = 1"});
  EXPECT_EQ(List(50, 650, 0), least);

  // Values are cut toward zero to two decimals: S1/S2 = (1 - b)/(1 + b) = 0.876.
  const double b = (1 - 0.876) / 1.876;
  Curve(0, {1, 2, 3, 5, 5, 5});
  Curve(1, {1, 2, 2 - b, 5, 5, 5});
  Curve(2, {3, 2, 2 + b, 5, 5, 5});
  host.mostSimilarFirst = true;
  EXPECT_EQ(List(50, 450, 0), (Texts{" Curve Similarities", " ", " Corr 1 - 2 = 0.87", " Corr 1 - 3 = -0.87"}));
  EXPECT_EQ(List(50, 450, 2)[2], " Corr 3 - 1 = -0.87");

  // An empty window or curve lists only the header.
  Curve(0, {1, 2, 3, 4});
  Curve(1, {1, 2, 3, 4});
  BodeCurves[2].NumPoints = 0;  // left out, not ranked on a stale value
  EXPECT_EQ(List(50, 450, 0).size(), 3u);
  EXPECT_EQ(CurveSimilarityCount, 2);
  dialogs.ExpectMessage();
  EXPECT_EQ(List(300, 300, 0), (Texts{" Curve Similarities", " "}));
  EXPECT_EQ(LastMessage(), "Error 5428");
  EXPECT_EQ(List(50, 450, 2), (Texts{" Curve Similarities", " "}));
  EXPECT_EQ(List(50, 450, 40), (Texts{" Curve Similarities", " "}));
}

// One applied filter of `level` dB (boost above 0) with centre Q q at f Hz.
FilterRecord Peak(float f, float level, float q, int32_t code) {
  FilterRecord r = test::MakeFilter(2, f, level, q, code);
  r.Graphshown = 0;
  return r;
}

void Apply(std::vector<FilterRecord> filters) {
  for (size_t i = 0; i < filters.size(); ++i) AppliedFilters[i] = filters[i];
  AppliedFilters[0].Count = static_cast<int32_t>(filters.size());
}

using EqualiserViewsTest = ViewsTest;

TEST_F(EqualiserViewsTest, FilteredBodeResponseIsEachPeaksAnalogueResponseAndRoomAveragesWithAndWithoutTheFilters) {
  LoadDeltas(1, kFs, 17);
  host.displayRes = 0;
  // Its lowest frequency falls on a bin of the 4096-point transform.
  ResultsDataSetInfo[0].FreqRespGateTime = 1000.0f / 46.875f;
  for (float level : {6.0f, -6.0f}) {
    Apply({Peak(1000, level, 4, 3), Peak(3000, 3, 2, 3)});
    AppliedFilters[1].Q1 = -AppliedFilters[1].Q2;  // |Q1| = |Q2|: changes nothing
    CurveRecord c;
    ASSERT_TRUE(ComputeFilteredResponse(host, c, AppliedFilters, WorkFilterBlock, kFs, kBodeView, 0));
    ASSERT_GT(c.NumPoints, 1000);
    std::vector<float> oracle(static_cast<size_t>(c.NumPoints), 1.0f);
    ComputeFilterBlockResponseDb(oracle, c.XValues, c.NumPoints, kFs, kTwoPi * 1000.0, AppliedFilters[0].Q1,
                                 AppliedFilters[0].Q2);
    int compared = 0;
    for (size_t i = 0; i < size_t(c.NumPoints); ++i) {
      const float f = c.XValues[i];
      if (f < 50 || f > 15000) continue;
      ASSERT_NEAR(c.YValues[i], oracle[i], 0.05) << f << " Hz";
      if (std::fabs(f - 1000) < 6) {
        EXPECT_NEAR(c.YValues[i], level, 0.1);
      }
      ++compared;
    }
    EXPECT_GT(compared, 1000);
  }
  CurveRecord untouched;
  EXPECT_FALSE(ComputeFilteredResponse(host, untouched, AppliedFilters, WorkFilterBlock, kFs, kBodeView, 1));
  EXPECT_FALSE(ComputeFilteredResponse(host, untouched, AppliedFilters, WorkFilterBlock, kFs, kImpulseView, 0));
  EXPECT_EQ(untouched.NumPoints, 0);
  // Pole-side Q values at their limits are reported.
  FilterBlock block;
  std::vector<FilterRecord> f(2);
  f[0] = Peak(1000, -6, 4, 3);
  f[0].Q2 = 0.05f;
  f[0].Q1 = 0.1f;
  f[0].Count = 1;
  EXPECT_EQ(BuildPeakingSections(f, block, kFs).size(), 1u);

  f[0].Q2 = std::nextafter(0.05f, 0.0f);
  dialogs.ExpectMessage();
  EXPECT_EQ(BuildPeakingSections(f, block, kFs).size(), 1u);  // reported, and still run
  EXPECT_EQ(Messages(), (Texts{"Error 7392"}));

  // Only above half the sample rate does the cookbook's adapted Q turn negative,
  // and there the section has no digital form.
  dialogs.Clear();
  f[0] = Peak(1.5f * kFs / 2, 6, 2, 2);
  f[0].Count = 1;
  for (int m = 0; m < 3; ++m) dialogs.ExpectMessage();
  EXPECT_TRUE(BuildPeakingSections(f, block, kFs).empty());
  EXPECT_EQ(Messages(), (Texts{"Error 7392", "Error 7393", "Error 7122"}));
  // Room averages: in power for Bode, in decibels elsewhere; rebuilt for new settings, with the filters applied.
  LoadSet(2, kFs, 17);
  dialogs.Clear();
  AppliedFilters = {};
  host.displayRes = 4;
  MeasurementHeader& set = ResultsDataSetInfo[0];
  set.FreqRespGateTime = 5.5f;
  test::FlatCurve(BodeCurves, 0, 100, 0.0f);
  test::FlatCurve(BodeCurves, 1, 100, -10.0f);
  BodeCurves[0].Label = "filed";
  CurveRecord plain, filtered;
  float unused = 0, gate = 5.5f, res = 0.25f;
  ComputeAverageResponse(host, BodeCurves, plain, filtered, AppliedFilters, FreqGraphFrame, kBodeView, unused, gate,
                         res);
  ASSERT_EQ(plain.NumPoints, 100);
  EXPECT_NEAR(plain.YValues[50], 10 * std::log10((1 + 0.1) / 2), 1e-4);  // -2.596 dB
  EXPECT_EQ(plain.XValues[99], 20000.0f);
  EXPECT_EQ(Texts({plain.Label, filtered.Label}), (Texts{"FFT mag 5.5 ms", "FFT mag 5.5 ms*"}));
  EXPECT_EQ(filtered.NumPoints, 100);
  EXPECT_EQ(std::tuple(DisplayConfig.Graphshown, DisplayConfig.Average), std::tuple(kBodeView, kTrue));
  // The filed curves were current: no rebuild, and the bar moved only for the filtered pass.
  EXPECT_EQ(BodeCurves[0].Label, "filed");
  EXPECT_EQ(host.progressMaxima, (std::vector<int32_t>{3}));
  EXPECT_EQ(host.progressValue, 0);

  set.FractOctGateTime = 100;
  set.FractOctRes = 1.0f / 3;
  test::FlatCurve(FractOctCurves, 0, 100, 0.0f);
  test::FlatCurve(FractOctCurves, 1, 100, -10.0f);
  float octGate = 100, octRes = 1.0f / 3;
  ComputeAverageResponse(host, FractOctCurves, plain, filtered, AppliedFilters, FreqGraphFrame, kFractOctView, unused,
                         octGate, octRes);
  EXPECT_NEAR(plain.YValues[0], -5.0f, 1e-5);
  EXPECT_EQ(Texts({plain.Label, filtered.Label}), (Texts{"FractOct 0.33 Oct/100 ms", "FractOct 0.33 Oct/100 ms*"}));

  // The average of no curve ends with its error and the view's name.
  LoadSet(0, kFs, 17);
  gate = ResultsDataSetInfo[0].FreqRespGateTime;
  ClearCurveRecords(BodeCurves);
  dialogs.ExpectMessage();
  dialogs.ExpectMessage();
  ComputeAverageResponse(host, BodeCurves, plain, filtered, AppliedFilters, FreqGraphFrame, kBodeView, unused, gate, res);
  EXPECT_EQ(Messages(), (Texts{"Error 4584", "FREQRESPSHOWN "}));
  // The average rebuilds the curves for new settings and applies the filters.
  LoadDeltas(2, kFs, 17, 2.0f);  // +6.02 dB flat
  set.FreqRespGateTime = 5.5f;
  host.displayRes = 0;
  test::FlatCurve(BodeCurves, 0, 100, 40.0f);
  test::FlatCurve(BodeCurves, 1, 100, 40.0f);
  BodeCurves[0].Label = BodeCurves[1].Label = "filed";
  Apply({Peak(1000, 6, 2, 3)});
  gate = 1000.0f / 46.875f;
  res = 0;
  host.progressMaxima.clear();
  ComputeAverageResponse(host, BodeCurves, plain, filtered, AppliedFilters, FreqGraphFrame, kBodeView, unused, gate,
                         res);
  EXPECT_EQ(set.FreqRespGateTime, gate);
  EXPECT_EQ(Texts({BodeCurves[0].Label, BodeCurves[1].Label}), (Texts{" 1", " 2"}));
  EXPECT_EQ(host.progressMaxima, (std::vector<int32_t>{3, 3}));
  ASSERT_GT(plain.NumPoints, 100);
  const float twice = 20 * std::log10(2.0f);
  for (size_t i = 0; i < size_t(plain.NumPoints); ++i) {
    const float f = plain.XValues[i];
    EXPECT_NEAR(plain.YValues[i], twice, 1e-3) << f;
    if (std::fabs(f - 1000) < 6) {
      EXPECT_NEAR(filtered.YValues[i], twice + 6, 0.05);
    }
    if (f > 100 && f < 150) {
      EXPECT_NEAR(filtered.YValues[i], twice, 0.2);
    }
  }
}

}  // namespace
}  // namespace zentor
