#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "curve_fixture.h"
#include "display/graph_primitives.h"
#include "display/plot_colours.h"
#include "support/fixture.h"

namespace zentor {
namespace {

using test::Kind;
using test::TestCurve;

class Curves : public test::DrawingTest {
 protected:
  void SetUp() override {
    DrawingTest::SetUp();
    // x: ten units per value; y: 1200 - value.
    frame.PlotLeft = 100;
    frame.PlotRight = 1100;
    frame.PlotTop = 100;
    frame.PlotBottom = 1100;
    frame.XScale = 10;
    frame.XOffset = 0;
    frame.YScale = -1;
    frame.YOffset = 1200;
  }
  std::vector<DrawPoint> OnlyPolyline() const {
    auto lines = rec.Of(Kind::Polyline);
    EXPECT_EQ(lines.size(), 1u);
    return lines.empty() ? std::vector<DrawPoint>{} : lines[0].points;
  }
  GraphFrame frame;
};

TEST_F(Curves, StartsAtFirstVisiblePointSkipsOffPlotAndClampsLevels) {
  TestCurve c({0, 5, 10, 30, 120, 60, 80}, {1000, 1000, 1000, 1150, 500, -50, 600});
  PlotCurve(frame, rec, c, RGB(0, 0, 255));
  // Point 2 sits on the left edge; point 4 lies right of the plot and is skipped,
  // so point 5 joins point 3; levels beyond the plot lie on its edges.
  EXPECT_EQ(OnlyPolyline(), (std::vector<DrawPoint>{{100, 200}, {300, 100}, {600, 1100}, {800, 600}}));
  auto line = rec.Of(Kind::Polyline)[0];
  EXPECT_EQ(std::tuple(line.pen, line.mode), std::tuple(Pen{RGB(0, 0, 255)}, DrawMode::CopyPen));
  EXPECT_EQ(rec.calls().back().kind, Kind::Refresh);
  EXPECT_TRUE(rec.AutoRedraw());
}

TEST_F(Curves, LogAxisSetsLowXToOneBeforeTheFirstVisiblePoint) {
  frame.LogX = -1;
  frame.XScale = 1000 / std::log(100.0);  // 5 .. 500 Hz
  frame.XOffset = 100 - std::log(5.0) * frame.XScale;
  TestCurve c({0, 0.5f, 3, 10, 0.2f, 50}, {600, 600, 600, 600, 600, 600});
  PlotCurve(frame, rec, c, 0);
  // Point 4, after the start, is skipped, not changed.
  EXPECT_EQ(std::vector<float>(c.XValues.begin(), c.XValues.begin() + 6), (std::vector<float>{1, 1, 3, 10, 0.2f, 50}));
  const int32_t x10 = static_cast<int32_t>(std::lround(100 + 500 * std::log10(2.0)));
  EXPECT_EQ(OnlyPolyline(), (std::vector<DrawPoint>{{x10, 600}, {600, 600}}));
}

TEST_F(Curves, CountsAreCheckedAndBadValuesStayInTheDrawingSpace) {
  TestCurve left({0, 1, 2}, {600, 600, 600});
  PlotCurveOnGraph(frame, rec, left, 0, 7);
  EXPECT_TRUE(rec.Of(Kind::Polyline).empty()) << "every point left of the plot";

  TestCurve c({20, 30, 40}, {600, 600, 600});
  c.NumPoints = 50000;
  PlotCurve(frame, rec, c, 0);  // the rest of the array is zeros: left of the plot after point 2
  EXPECT_EQ(OnlyPolyline().size(), 3u);

  rec.Clear();
  c.NumPoints = -4;
  PlotCurve(frame, rec, c, 0);
  EXPECT_TRUE(rec.Of(Kind::Polyline).empty());

  rec.Clear();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  TestCurve bad({nan, 20, 30, 40, inf, 50}, {600, nan, inf, -inf, 600, 1e30f});
  PlotCurve(frame, rec, bad, 0);
  EXPECT_EQ(OnlyPolyline(), (std::vector<DrawPoint>{{200, 1100}, {300, 100}, {400, 1100}, {500, 100}}));

  rec.Clear();
  frame.LogX = -1;
  TestCurve negative({-5, 20, -1, 30}, {600, 600, 600, 600});
  PlotCurve(frame, rec, negative, 0);
  // Every point lies left of the plot here, so the search meets them all.
  EXPECT_EQ(negative.XValues[0], 1.0f);
  EXPECT_EQ(negative.XValues[2], 1.0f);
  EXPECT_TRUE(rec.Of(Kind::Polyline).empty());
}

struct AudioCurve {
  int32_t NumPoints = 0;
  std::array<float, 8001> YValues{};
  std::array<float, 8001> XValues{};
};

TEST_F(Curves, AudioCurveDrawsExactlyItsCount) {
  AudioCurve a;
  for (int i = 0; i < 8001; ++i) {
    a.XValues[size_t(i)] = 20 + i;
    a.YValues[size_t(i)] = 600;
  }
  a.NumPoints = 3;
  PlotAudioCurve(frame, rec, a, 0);
  EXPECT_EQ(OnlyPolyline(), (std::vector<DrawPoint>{{200, 600}, {210, 600}, {220, 600}}));
  rec.Clear();
  a.NumPoints = 8001;
  frame.XScale = 0.1;
  PlotAudioCurve(frame, rec, a, 0);
  EXPECT_FALSE(OnlyPolyline().empty());
}

TEST_F(Curves, LegendColumnsAndRows) {
  std::array<TestCurve, 32> set;
  set[0].NumCurves = 5;
  const char* names[] = {"one", "two", "three", "four", "five"};
  for (int k = 0; k < 5; ++k) set[size_t(k)].Label = names[k];
  PlotColours[0] = RGB(9, 8, 7);
  DrawGraphTitleAndLegend(frame, rec, set, "Bode", 32);
  auto texts = rec.Of(Kind::Text);
  ASSERT_EQ(texts.size(), 6u);
  const std::vector<DrawPoint> at = {{0, 5}, {0, 40}, {33, 5}, {33, 40}, {66, 5}};
  for (size_t k = 0; k < 5; ++k) {
    EXPECT_EQ(std::tuple(texts[k].text, texts[k].points[0], texts[k].colour, texts[k].font),
              std::tuple(std::string(names[k]), at[k], PlotColours[k % 8 + 3], FontSpec{30, 10, 0}));
  }
  EXPECT_EQ(std::tuple(texts[5].text, texts[5].points[0], texts[5].colour, texts[5].font),
            std::tuple(std::string("Bode"), DrawPoint{650, 5}, RGB(9, 8, 7), FontSpec{45, 15, 0}));

  for (auto [n, w] : {std::pair{6, 157}, std::pair{4, 220}}) {
    rec.Clear();
    DrawGraphTitleAndLegend(frame, rec, set, "t", n);
    EXPECT_EQ(rec.Of(Kind::Text)[2].points[0], (DrawPoint{w, 5}));
    EXPECT_EQ(rec.Of(Kind::Text)[4].points[0], (DrawPoint{2 * w, 5}));
  }

  rec.Clear();
  for (auto& curve : set) curve.Label = 'x';
  set[0].NumCurves = 1000;
  DrawGraphTitleAndLegend(frame, rec, set, "t", -1);
  EXPECT_EQ(rec.Of(Kind::Text).size(), 33u);
}

TEST_F(Curves, FitLegendTitleFollowsTheFittedView) {
  struct FitSet {
    int32_t ModeCode;
    float Smoothing;
  };
  TestCurve c;
  c.Label = "Curve 2";
  DrawFitLegend(frame, rec, c, 1, FitSet{6, 0.333f});
  auto texts = rec.Of(Kind::Text);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(std::tuple(texts[0].points[0], texts[0].colour), std::tuple(DrawPoint{100, 40}, PlotColours[4]));
  EXPECT_EQ(std::tuple(texts[1].text, texts[1].points[0], texts[1].colour, texts[1].font),
            std::tuple(std::string("0.33 Oct Parametric Fit"), DrawPoint{400, 20}, RGB(0, 0, 0), FontSpec{45, 15, 0}));

  const std::vector<std::pair<int32_t, std::string>> titles = {
      {5, "Bode/gated FFT Parametric Fit"}, {7, "Psychoacoustic Response Fit"}, {2, "Curve 2"}};
  for (const auto& [code, title] : titles) {
    rec.Clear();
    DrawFitLegend(frame, rec, c, 0, FitSet{code, 0});
    EXPECT_EQ(rec.Of(Kind::Text)[0].points[0], (DrawPoint{100, 5}));
    EXPECT_EQ(rec.Of(Kind::Text)[1].text, title);
  }
}

class Waterfall : public Curves {
 protected:
  WaterfallProjection Projection() const { return test::TestProjection(); }
  std::array<float, kWaterfallSliceCells> Slice(std::vector<float> x, std::vector<float> level) const {
    std::array<float, kWaterfallSliceCells> s{};
    s[0] = float(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
      s[1 + i] = level[i];
      s[2002 + i] = x[i];
    }
    return s;
  }
};

TEST_F(Waterfall, SliceShiftedLeftAndDownByItsDepth) {
  PlotColours[1] = RGB(50, 60, 70);
  // Screen x = f + 200; screen y = 200 - 10 level.
  auto slice = Slice({-50, 100, 500, 950, 800}, {0, -10, 20, 0, -70});
  DrawWaterfallSlice(Projection(), rec, slice, RGB(0, 0, 255), 3, 0);
  // Slice 3 sits two steps of (-150/35, +300/35) from the back.
  const std::vector<DrawPoint> expected = {{191, 817}, {291, 317}, {691, 117}, {991, 817}, {991, 817}, {1091, 817}};
  auto polys = rec.Of(Kind::Polygon);
  ASSERT_EQ(polys.size(), 1u);
  EXPECT_EQ(polys[0].points, expected);
  EXPECT_EQ(std::tuple(polys[0].pen, polys[0].fill), std::tuple(Pen{RGB(0, 0, 255)}, RGB(50, 60, 70)));
  EXPECT_EQ(std::vector<DrawPoint>(WaterfallPoints.begin(), WaterfallPoints.begin() + 6), expected);

  rec.Clear();
  DrawWaterfallSlice(Projection(), rec, slice, 0, 1, 0);
  EXPECT_EQ(rec.Of(Kind::Polygon)[0].points.front(), (DrawPoint{200, 800}));
  EXPECT_EQ(rec.Of(Kind::Polygon)[0].points.back(), (DrawPoint{1100, 800}));
}

TEST_F(Waterfall, BadCountsAndAnEmptyFrameAreHarmless) {
  auto slice = Slice({100, 200}, {0, 0});
  slice[0] = 1e9f;
  DrawWaterfallSlice(Projection(), rec, slice, 0, 35, 0);
  EXPECT_LE(rec.Of(Kind::Polygon)[0].points.size(), size_t(kWaterfallPolygonSize));

  rec.Clear();
  slice[0] = -3;
  DrawWaterfallSlice(Projection(), rec, slice, 0, 2, 0);
  EXPECT_EQ(rec.Of(Kind::Polygon)[0].points.size(), 3u);

  rec.Clear();
  WaterfallProjection none = Projection();
  none.N = 0;
  DrawWaterfallSlice(none, rec, Slice({100}, {0}), 0, 9, 0);
  EXPECT_EQ(rec.Of(Kind::Polygon)[0].points.front(), (DrawPoint{200, 800}));
}

}  // namespace
}  // namespace zentor
