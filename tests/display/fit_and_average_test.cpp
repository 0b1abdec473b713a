// Axis limits from curve sets and the coordinate lock, fit to data, the average
// curves and the difference curves of the main graph, without the main window.
#include <cmath>
#include <limits>
#include <utility>
#include <memory>

#include "display/curve_averaging.h"
#include "display/fit_to_data.h"
#include "display/plot_colours.h"
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

struct Limits {
  int32_t xs = 1, xf = 2, yl = 3, yh = 4;
  bool operator==(const Limits&) const = default;
};

void SetCurve(CurveArray& set, int i, int points, float x0, float x1, float y0, float y1) {
  CurveRecord& c = set[static_cast<size_t>(i)];
  c.NumPoints = points;
  for (int j = 0; j < points; ++j) {
    c.XValues[static_cast<size_t>(j)] = x0 + (x1 - x0) * j / (points - 1);
    c.YValues[static_cast<size_t>(j)] = y0 + (y1 - y0) * j / (points - 1);
  }
  set[0].NumCurves = std::max(set[0].NumCurves, i + 1);
}

TEST(FindCurveSetExtent, EnclosesEveryCurveWithWholeNumbersOrLeavesTheLimits) {
  auto set = std::make_unique<CurveArray>();
  SetCurve(*set, 0, 50, 20.5f, 19000.2f, -3.7f, 12.2f);
  SetCurve(*set, 1, 50, 16.9f, 18000.0f, -10.2f, 0.0f);
  Limits l;
  FindCurveSetExtent(l.xs, l.xf, l.yl, l.yh, *set);
  EXPECT_EQ(l, (Limits{16, 19001, -10, 13}));  // cut towards zero; the upper ends one above

  set = std::make_unique<CurveArray>();
  l = Limits{};
  FindCurveSetExtent(l.xs, l.xf, l.yl, l.yh, *set);  // empty
  EXPECT_EQ(l, Limits{});
  SetCurve(*set, 0, 10, 0, 100, -4, -4);  // flat
  SetCurve(*set, 1, 10, 0, 100, -4, -4);
  FindCurveSetExtent(l.xs, l.xf, l.yl, l.yh, *set);
  EXPECT_EQ(l, Limits{});
  (*set)[1].YValues[3] = std::numeric_limits<float>::quiet_NaN();
  (*set)[0].YValues[3] = 5;
  (*set)[0].NumCurves = 40;  // a corrupt count is held to the array
  FindCurveSetExtent(l.xs, l.xf, l.yl, l.yh, *set);
  EXPECT_TRUE(l.yh > l.yl || l == Limits{});
}

// The lock's own limits and the 2 dB widening are followed through FitGraphToData.
TEST(FrameRules, NarrowLevelsWidenAboutAnEvenMiddleAndSpansStayDrawable) {
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


TEST_F(ViewsTest, FitInFrequencyViewsReturnsToTheLock) {
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
}

TEST_F(ViewsTest, FitInTheImpulseViewFollowsTheDataWithinTheLock) {
  ResultsDataSetInfo[0].NumInSet = 1;
  FlatCurve(ImpulseCurves, 0, 2000, 0, -10, 30);
  DisplayConfig.Graphshown = kImpulseView;
  // A flat set keeps the time limits.
  CoOrdLockLimits.TimeStart = -50;
  CoOrdLockLimits.TimeFinish = 250;
  SetLimits(TimeGraphFrame, {3, 9, -30, 30});
  FitGraphToData(host);
  EXPECT_EQ(LimitsOf(TimeGraphFrame), (FrameLimits{3, 9, -30, 30}));

  ImpulseCurves[0].YValues[5] = 12;
  CoOrdLockLimits.TimeStart = -5;
  CoOrdLockLimits.TimeFinish = 25;
  FitGraphToData(host);
  EXPECT_EQ(LimitsOf(TimeGraphFrame), (FrameLimits{-5, 25, -30, 30}));
  // A wider lock leaves the data's own extent.
  CoOrdLockLimits.TimeStart = -50;
  CoOrdLockLimits.TimeFinish = 100;
  FitGraphToData(host);
  EXPECT_EQ(LimitsOf(TimeGraphFrame), (FrameLimits{-10, 31, -30, 30}));
}

TEST_F(ViewsTest, NormalizedLevelsUseTheMeanInRange) {
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
}

TEST_F(ViewsTest, BodeAveragesPowerOtherViewsAverageDecibels) {
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
}

TEST_F(ViewsTest, AveragingChecksItsSource) {
  ResultsDataSetInfo[0].NumInSet = 3;
  FlatCurve(BodeCurves, 0, 120, 0);
  FlatCurve(BodeCurves, 1, 120, -10);
  dialogs.ExpectMessage();  // two curves, three results: reported, still averaged
  EXPECT_TRUE(AverageCurveSet(AverageCurves, BodeCurves, kFractOctView));
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 4353");

  ResultsDataSetInfo[0].NumInSet = 2;
  FlatCurve(BodeCurves, 1, 150, -10);
  AverageCurves[0].YValues[0] = 42;
  dialogs.ExpectMessage();
  EXPECT_FALSE(AverageCurveSet(AverageCurves, BodeCurves, kBodeView));
  EXPECT_EQ(dialogs.MessageTexts().back(), "8734 ");
  EXPECT_EQ(AverageCurves[0].YValues[0], 42);

  auto empty = std::make_unique<CurveArray>();
  EXPECT_FALSE(AverageCurveSet(AverageCurves, *empty, kBodeView));
  EXPECT_EQ(AverageCurves[0].YValues[0], 42);

  // Spectra are not results: no comparison with the result count.
  ResultsDataSetInfo[0].NumInSet = 0;
  FlatCurve(PsdCurves, 0, 10, -20);
  FlatCurve(PsdCurves, 1, 10, -40);
  const size_t before = dialogs.calls().size();
  EXPECT_TRUE(AverageCurveSet(AverageCurves, PsdCurves, kPsdView));
  EXPECT_EQ(dialogs.calls().size(), before);
  dialogs.ExpectMessage();
  dialogs.ExpectMessage();
  EXPECT_TRUE(AverageCurveSet(AverageCurves, PsdCurves, kFractOctView));
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 4392");
}

TEST_F(ViewsTest, MainCurveNumberFromTheBox) {
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
}

TEST_F(ViewsTest, DifferencesAgainstCurveOne) {
  ResultsDataSetInfo[0].NumInSet = 3;
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
}

TEST_F(ViewsTest, UpdateGraphDrawsTheFiledSlotsOnly) {
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
  auto empty = std::make_unique<CurveArray>();
  UpdateGraph(*empty, FreqGraphFrame, rec, "T");
  EXPECT_TRUE(rec.calls().empty());
}

}  // namespace
}  // namespace zentor
