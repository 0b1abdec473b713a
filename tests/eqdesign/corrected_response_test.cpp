// The fit graph's corrected curve against analytic section responses, its level
// limits and drawing, and the level-matching averages drawn while a filter is
// edited.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "core/emulation.h"
#include "core/filter_design.h"
#include "core/records.h"
#include "core/work_arrays.h"
#include "display/graph_frame.h"
#include "display/plot_colours.h"
#include "display/recording_host.h"
#include "display/view_state.h"
#include "eqdesign/corrected_response.h"
#include "eqdesign/level_matching.h"
#include "support/curve_sets.h"
#include "support/fixture.h"
#include "support/silent_set.h"

namespace zentor {
namespace {

constexpr float kTwoPi = 2 * std::numbers::pi_v<float>;
using Texts = std::vector<std::string>;

// n log-spaced points from f0 to f1 Hz at `level` dB.
CurveRecord LogCurve(int n, float f0, float f1, float level = 0) {
  CurveRecord c;
  c.NumPoints = n;
  for (int i = 0; i < n; ++i) {
    c.XValues[static_cast<size_t>(i)] = f0 * std::pow(f1 / f0, float(i) / float(n - 1));
    c.YValues[static_cast<size_t>(i)] = level;
  }
  return c;
}

int IndexNear(const CurveRecord& c, float f) {
  int best = 0;
  for (int i = 0; i < c.NumPoints; ++i)
    if (std::fabs(c.XValues[static_cast<size_t>(i)] - f) < std::fabs(c.XValues[static_cast<size_t>(best)] - f)) best = i;
  return best;
}

void SetEntries(SingularityListRecord& s, std::vector<std::array<float, 3>> entries) {
  s.Count = static_cast<int32_t>(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    s.Freq[i] = entries[i][0];
    s.Q1[i] = entries[i][1];
    s.Q2[i] = entries[i][2];
  }
}

class CorrectedResponseTest : public test::ZentorTest {
 protected:
  void SetUp() override {
    ZentorTest::SetUp();
    SetDefaultGraphFrames();
    SetDefaultPlotColours();
  }
  test::RecordingHost host;
  FilterBlock block;
};

TEST_F(CorrectedResponseTest, EachEntryMultipliesInItsSectionsMagnitude) {
  // 2 dB ripple, so that a copy cannot pass for a correction.
  CurveRecord response = LogCurve(401, 10, 1000);
  for (int i = 0; i < response.NumPoints; ++i) response.YValues[static_cast<size_t>(i)] = 2 * std::sin(0.05f * i);
  const int at100 = IndexNear(response, 100), at10 = 0, at1k = 400;
  ASSERT_NEAR(response.XValues[static_cast<size_t>(at100)], 100, 0.01);
  SingularityListRecord set;
  for (float q1 : {10.0f, -10.0f}) {
    SetEntries(set, {{kTwoPi * 100, q1, 2.5f}});
    CurveRecord corrected;
    BuildCorrectedCurve(response, corrected, set, block, 48000);
    ASSERT_EQ(corrected.NumPoints, 401);
    const float change = corrected.YValues[static_cast<size_t>(at100)] - response.YValues[static_cast<size_t>(at100)];
    EXPECT_NEAR(change, q1 > 0 ? -12.04f : 12.04f, 0.01f);  // 20 log10(4)
    for (int i : {at10, at1k})
      EXPECT_NEAR(corrected.YValues[static_cast<size_t>(i)], response.YValues[static_cast<size_t>(i)], 0.05f);
    EXPECT_EQ(corrected.XValues[static_cast<size_t>(at100)], response.XValues[static_cast<size_t>(at100)]);
  }
  // Entries with no direction (Q1 = 0) or no pole-side Q contribute nothing.
  SetEntries(set, {{kTwoPi * 100, 0, 2.5f}, {kTwoPi * 100, 10, 0}, {kTwoPi * 100, -10, -2}});
  CurveRecord corrected;
  BuildCorrectedCurve(response, corrected, set, block, 48000);
  for (int i = 0; i < response.NumPoints; ++i)
    ASSERT_NEAR(corrected.YValues[static_cast<size_t>(i)], response.YValues[static_cast<size_t>(i)], 1e-4) << i;
  EXPECT_TRUE(dialogs.MessageTexts().empty());
}

TEST_F(CorrectedResponseTest, LevelLimitsCoverTheResponseButTheCorrectionOnlyInsideTheRange) {
  CurveRecord response = LogCurve(5, 10, 10000, 0);
  CurveRecord corrected = response;
  const float c[] = {-30, 7.4f, 3, 50, -60};  // at 10, 56, 316, 1778, 10000 Hz
  for (int i = 0; i < 5; ++i) corrected.YValues[static_cast<size_t>(i)] = c[i];
  response.YValues[4] = -9.6f;
  GraphFrame frame;
  frame.XStart = 50;
  frame.XFinish = 1000;
  ScaleFitGraphLevels(frame, response, corrected);
  // Points 1 and 2 seed 3..7; inside (50, 1000) nothing further; the response adds -10.
  EXPECT_EQ(frame.YLow, -10 - 2);
  EXPECT_EQ(frame.YHigh, 7 + 2);
  frame.XFinish = 2000;  // now 50 dB lies inside
  ScaleFitGraphLevels(frame, response, corrected);
  EXPECT_EQ(frame.YHigh, 52);
  // Short curves seed from what exists; with nothing at all the limits are -2..2.
  CurveRecord none;
  ScaleFitGraphLevels(frame, none, none);
  EXPECT_EQ(frame.YLow, -2);
  EXPECT_EQ(frame.YHigh, 2);
  CurveRecord two = LogCurve(2, 10, 20, 5);
  ScaleFitGraphLevels(frame, two, two);
  EXPECT_EQ(frame.YLow, 3);
  EXPECT_EQ(frame.YHigh, 7);
}

TEST_F(CorrectedResponseTest, DrawsBothCurvesWithTheLegendOfTheSelectedSet) {
  CurveRecord& response = FitInputCurves[3];
  response = LogCurve(300, 20, 2000, 1);
  response.Label = " 4";
  SingularityListRecord& set = SingularityList[3];
  set.RangeLow = 30.4f;
  set.RangeHigh = 1500.5f;
  const std::pair<int32_t, std::string> titles[] = {{5, "Bode/gated FFT Parametric Fit"},
                                                   {6, "0.33 Oct Parametric Fit"},
                                                   {7, "Psychoacoustic Response Fit"}};
  host.fitSet = 2;  // the legend follows the set of the modes area, not the curve's
  for (const auto& [code, title] : titles) {
    SingularityList[2].ModeCode = code;
    SingularityList[2].Smoothing = 1.0f / 3;
    host.rec.Clear();
    ShowCorrectedResponse(host, response, FitStoredCurves[3], set, 3, block, 48000, FitGraphFrame);
    EXPECT_TRUE(test::HasText(host.rec, title)) << code;
  }
  EXPECT_EQ(FitGraphFrame.XStart, 30);
  EXPECT_EQ(FitGraphFrame.XFinish, 1500);  // halves to even
  EXPECT_EQ(FitStoredCurves[3].Label, " 4 Corrected");  // also for an empty set
  EXPECT_TRUE(test::HasText(host.rec, " 4"));
  EXPECT_TRUE(test::HasText(host.rec, " 4 Corrected"));
  const auto polylines = host.rec.Of(RecordingSurface::Kind::Polyline);
  ASSERT_GE(polylines.size(), 3u);
  EXPECT_EQ(polylines[polylines.size() - 3].pen.colour, PlotColours[3]);
  EXPECT_EQ(polylines[polylines.size() - 2].pen.colour, PlotColours[4]);
  // Last, the flat target of the start-up limits, dashed.
  EXPECT_EQ(polylines.back().pen, (Pen{PlotColours[4], PenStyle::Dash}));
  // The stored counts become the slot index.
  EXPECT_EQ(FitInputCurves[0].NumCurves, 3);
  EXPECT_EQ(FitStoredCurves[0].NumCurves, 3);

  for (int n : {1, 2}) {
    response = LogCurve(n == 1 ? 2 : n, 100, 200, 4);
    response.NumPoints = n;
    ShowCorrectedResponse(host, response, FitStoredCurves[3], set, 3, block, 48000, FitGraphFrame);
    EXPECT_EQ(FitStoredCurves[3].NumPoints, n);
  }
}

TEST_F(CorrectedResponseTest, TheTrueSetFlattensThreeFilterSyntheticCurve) {
  // Applying a set with Q1 negated puts its filters into a flat curve; the set
  // itself takes them out again.
  SingularityListRecord truth;
  SetEntries(truth, {{kTwoPi * 45, 12, 3}, {kTwoPi * 160, -6, 2}, {kTwoPi * 700, 8, 2.2f}});
  SingularityListRecord inverse = truth;
  for (int i = 0; i < 3; ++i) inverse.Q1[static_cast<size_t>(i)] = -truth.Q1[static_cast<size_t>(i)];
  CurveRecord& response = FitInputCurves[0];
  BuildCorrectedCurve(LogCurve(2000, 20, 2000, 0), response, inverse, block, 48000);
  response.Label = " 1";
  truth.RangeLow = 20;
  truth.RangeHigh = 2000;
  truth.ModeCode = 6;
  truth.Smoothing = 1.0f / 6;
  SingularityList[0] = truth;
  PictureBox picture;
  picture.resize(1200, 1200);
  host.picture = &picture;
  FitGraphFrame.LogX = kTrue;
  ShowCorrectedResponse(host, response, FitStoredCurves[0], truth, 0, block, 48000, FitGraphFrame);
  float worst = 0;
  for (int i = 0; i < 2000; ++i) worst = std::max(worst, std::fabs(FitStoredCurves[0].YValues[static_cast<size_t>(i)]));
  EXPECT_LT(worst, 0.01f);
  EXPECT_GE(FitGraphFrame.YHigh, 14);  // the peak the 12/3 entry cuts lies in the response
  EXPECT_LE(FitGraphFrame.YLow, -11);  // and the dip the -6/2 entry fills
  const QString path = QDir::temp().filePath("zentor_fit_graph_corrected.png");
  EXPECT_TRUE(picture.DrawingSpaceImage().save(path));
}

// ---- Level matching ------------------------------------------------------------------

class LevelMatchingTest : public CorrectedResponseTest {
 protected:
  void SetUp() override {
    CorrectedResponseTest::SetUp();
    AllocateWorkArrays(kWorkArrayPoints);
    SetDefaultMeasurementHeader(EQConfig);
    EQConfig.PeriodExponent = 17;
    host.displayRes = 0;
  }
  void TearDown() override {
    FreeWorkArrays();
    CorrectedResponseTest::TearDown();
  }
  // n results holding an impulse of `amplitude` at time zero.
  void LoadImpulses(int32_t n, float amplitude) {
    test::LoadSilentSet(n, 48000, 17, 20);
    for (int32_t i = 0; i < n; ++i) ImpulseSet[static_cast<size_t>(i)][2400] = amplitude;
    ResultsDataSetInfo[0].FreqRespGateTime = 1000.0f / 46.875f;
  }
  void AddFilter(float f, float level) {
    FilterRecord& r = AppliedFilters[0];
    r.Kind = 2;
    r.Freq1 = kTwoPi * f;
    r.Q1 = ConvertQForFilterType(2, level, 3);
    r.Q2 = std::fabs(r.Q1) / std::pow(10.0f, std::fabs(level) / 20);
    r.EQEmulationCode = 3;
    r.Count = 1;
  }
};

TEST_F(LevelMatchingTest, WritesTheFilterAndTitlesTheAverageByView) {
  LoadImpulses(2, 2.0f);
  AddFilter(1000, 6);
  host.displayRes = 4;
  FreqGraphFrame.XStart = 5;
  FreqGraphFrame.XFinish = 30000;
  const std::pair<int32_t, std::string> views[] = {
      {kBodeView, " Power Average"}, {kFractOctView, " SPL Average"}, {kPsycView, " SPL Average"}};
  for (const auto& [view, title] : views) {
    DisplayConfig.Graphshown = view;
    host.rec.Clear();
    EXPECT_TRUE(AjustLevelGraphics(host, 0, kTwoPi * 900, 1.5f, -3.0f, 0));
    EXPECT_TRUE(test::HasText(host.rec, title)) << view;
    EXPECT_EQ(SingleViewCurves[0].NumCurves, 2);
    EXPECT_EQ(SingleViewCurves[1].Label.back(), '*');
  }
  EXPECT_EQ(AppliedFilters[0].Freq1, kTwoPi * 900);
  EXPECT_EQ(AppliedFilters[0].Q1, -3.0f);
  EXPECT_EQ(AppliedFilters[0].Q2, 1.5f);
  EXPECT_EQ(FreqGraphFrame.XStart, 10);
  EXPECT_EQ(FreqGraphFrame.XFinish, 24000);

  DisplayConfig.Graphshown = kImpulseView;
  dialogs.ExpectMessage();
  dialogs.ExpectMessage();
  EXPECT_TRUE(AjustLevelGraphics(host, 0, kTwoPi * 900, 1.5f, 0, 0));
  EXPECT_EQ(dialogs.MessageTexts(), (Texts{"Error 5420", "Error 4763"}));
  EXPECT_EQ(AppliedFilters[0].Q1, 0.0f);  // written all the same
  EXPECT_FALSE(AjustLevelGraphics(host, 75, 1, 1, 1, 0));
  AjustDeltaLevelGraphics(1, 2, 3, 4);
}

TEST_F(LevelMatchingTest, LevelsSitOneDecibelClearOfTheAveragesInRange) {
  LoadImpulses(2, 2.0f);  // both averages flat at 6.02 dB without filters
  DisplayConfig.Graphshown = kBodeView;
  FreqGraphFrame.XStart = 100;
  FreqGraphFrame.XFinish = 1000;
  EXPECT_TRUE(AjustLevelGraphics(host, 0, kTwoPi * 900, 1, 1, 0));
  EXPECT_EQ(FreqGraphFrame.YLow, 5);
  EXPECT_EQ(FreqGraphFrame.YHigh, 7);
  FreqGraphFrame.XStart = 15000;  // the Bode points end below
  FreqGraphFrame.XFinish = 20000;
  host.displayRes = 2;
  BodeCurves[0].NumCurves = 0;
  EXPECT_TRUE(AjustLevelGraphics(host, 0, kTwoPi * 900, 1, 1, 0));
  EXPECT_EQ(FreqGraphFrame.YLow, -1);
  EXPECT_EQ(FreqGraphFrame.YHigh, 1);
}

TEST_F(LevelMatchingTest, TheFilteredAverageShowsInTheSecondCurveColourOverTheBackground) {
  LoadImpulses(2, 1.0f);
  AddFilter(1000, 9);
  DisplayConfig.Graphshown = kBodeView;
  FreqGraphFrame.XStart = 100;
  FreqGraphFrame.XFinish = 10000;
  FreqGraphFrame.LogX = kTrue;
  PictureBox picture;
  picture.resize(1200, 1200);
  host.picture = &picture;
  ASSERT_TRUE(AjustLevelGraphics(host, 0, AppliedFilters[0].Freq1, AppliedFilters[0].Q2, AppliedFilters[0].Q1, 0));
  EXPECT_EQ(picture.GetDrawMode(), DrawMode::CopyPen);
  const QImage image = picture.Image().convertToFormat(QImage::Format_RGB32);
  image.save(QDir::temp().filePath("zentor_level_matching.png"));
  // The peak of the filtered average at 1 kHz, 9 dB above the plain one at 0 dB.
  const CurveRecord& filtered = SingleViewCurves[1];
  const int i = IndexNear(filtered, 1000);
  const GraphFrame& f = FreqGraphFrame;
  const int x = ToDrawUnit(std::log(filtered.XValues[static_cast<size_t>(i)]) * f.XScale + f.XOffset);
  const int y = ToDrawUnit(filtered.YValues[static_cast<size_t>(i)] * f.YScale + f.YOffset);
  const QColor second(RedOf(PlotColours[4]), GreenOf(PlotColours[4]), BlueOf(PlotColours[4]));
  bool found = false;
  for (int dx = -2; dx <= 2 && !found; ++dx)
    for (int dy = -2; dy <= 2 && !found; ++dy) found = image.pixelColor(x + dx, y + dy) == second;
  EXPECT_TRUE(found) << x << "," << y;
}

}  // namespace
}  // namespace zentor
