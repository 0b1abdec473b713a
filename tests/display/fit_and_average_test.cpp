// Fit to data, the average curves and the difference curves of the main graph,
// without the main window.
#include <cmath>
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

// ---- fit to data ------------------------------------------------------------------

TEST_F(ViewsTest, FitInFrequencyViewsReturnsToTheLock) {
  ResultsDataSetInfo[0].NumInSet = 2;
  FlatCurve(BodeCurves, 0, 100, -80);
  FlatCurve(BodeCurves, 1, 100, 35);
  DisplayConfig.Graphshown = kBodeView;
  CoOrdLockLimits = {-5, 25, 16, 20000, 20, -50, 16, 20000, 75, -10};
  FitGraphToData(host);
  EXPECT_EQ(FreqGraphFrame.XStart, 16);
  EXPECT_EQ(FreqGraphFrame.XFinish, 20000);
  EXPECT_EQ(FreqGraphFrame.YLow, -50);
  EXPECT_EQ(FreqGraphFrame.YHigh, 20);

  // A lock level range 2 dB wide is widened to 10 dB.
  CoOrdLockLimits.FreqLowLevel = 0;
  CoOrdLockLimits.FreqHighLevel = 2;
  FitGraphToData(host);
  EXPECT_EQ(FreqGraphFrame.YLow, -4);
  EXPECT_EQ(FreqGraphFrame.YHigh, 6);

  // An empty frequency lock still gives a log axis from 1 Hz.
  CoOrdLockLimits.FreqDomainStartFreq = 0;
  CoOrdLockLimits.FreqDomainFinishFreq = 0;
  FreqGraphFrame.LogX = kTrue;
  FitGraphToData(host);
  EXPECT_GE(FreqGraphFrame.XStart, 1);
  EXPECT_GT(FreqGraphFrame.XFinish, FreqGraphFrame.XStart);

  DisplayConfig.Graphshown = kNoiseView;
  FitGraphToData(host);
  EXPECT_EQ(FreqGraphFrame.XStart, 16);
  EXPECT_EQ(FreqGraphFrame.YHigh, 75);
  EXPECT_EQ(FreqGraphFrame.YLow, -10);
}

TEST_F(ViewsTest, FitInTheImpulseViewFollowsTheDataWithinTheLock) {
  ResultsDataSetInfo[0].NumInSet = 1;
  CurveRecord& c = ImpulseCurves[0];
  FlatCurve(ImpulseCurves, 0, 2000, 0, -10, 30);
  c.YValues[5] = 12;
  DisplayConfig.Graphshown = kImpulseView;
  CoOrdLockLimits = {-5, 25, 16, 20000, 20, -50, 16, 20000, 75, -10};
  FitGraphToData(host);
  EXPECT_EQ(TimeGraphFrame.XStart, -5);
  EXPECT_EQ(TimeGraphFrame.XFinish, 25);
  EXPECT_EQ(TimeGraphFrame.YLow, -30);
  EXPECT_EQ(TimeGraphFrame.YHigh, 30);
  // A wider lock leaves the data's own extent.
  CoOrdLockLimits.TimeStart = -50;
  CoOrdLockLimits.TimeFinish = 100;
  FitGraphToData(host);
  EXPECT_EQ(TimeGraphFrame.XStart, -10);
  EXPECT_EQ(TimeGraphFrame.XFinish, 31);
}

TEST_F(ViewsTest, FitWithAFlatSetKeepsTheTimeLimits) {
  ResultsDataSetInfo[0].NumInSet = 1;
  FlatCurve(ImpulseCurves, 0, 2000, 0, -10, 30);
  DisplayConfig.Graphshown = kImpulseView;
  CoOrdLockLimits = {-50, 250, 16, 20000, 20, -50, 16, 20000, 75, -10};
  TimeGraphFrame.XStart = 3;
  TimeGraphFrame.XFinish = 9;
  FitGraphToData(host);
  EXPECT_EQ(TimeGraphFrame.XStart, 3);
  EXPECT_EQ(TimeGraphFrame.XFinish, 9);
}

// ---- axis switch and buttons ---------------------------------------------------------

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

// ---- averaging --------------------------------------------------------------------

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

// ---- differences ------------------------------------------------------------------

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
