// The graph's drawing on a recorder: frames, grids, labels, curves, legends and waterfall slices.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "curve_fixture.h"
#include "display/graph_frame.h"
#include "display/graph_primitives.h"
#include "display/plot_colours.h"
#include "support/fixture.h"

namespace zentor {
namespace {

using test::FrameLimits;
using test::Kind;
using test::LimitsOf;
using test::TestCurve;
using test::VerticalGridX;

std::vector<int32_t> Grid(int32_t low, int32_t high) {
  GraphFrame f;
  f.YLow = low;
  f.YHigh = high;
  f.YLabelValues.fill(777);
  f.YLabelCount = 55;
  ComputeAxisGridSteps(f);
  if (f.YLabelCount == 55) return {};  // tables left alone
  EXPECT_EQ(f.YLabelCount, f.YLineCount);
  EXPECT_EQ(f.YLabelValues, f.YLineValues);
  return std::vector<int32_t>(f.YLabelValues.begin(), f.YLabelValues.begin() + f.YLabelCount + 1);
}

TEST(AxisGridSteps, StepsEndOnTheTopValueAndLabelsFollowTheRunningValue) {
  EXPECT_EQ(Grid(-30, 30), (std::vector<int32_t>{-30, -24, -18, -12, -6, 0, 6, 12, 18, 24, 30}));
  // Step one reaches the top and repeats it.
  EXPECT_EQ(Grid(0, 10), (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10}));
  EXPECT_EQ(Grid(5, 5), (std::vector<int32_t>{5, 5}));
  // The last interval may be shorter than the step.
  EXPECT_EQ(Grid(0, 25), (std::vector<int32_t>{0, 3, 6, 9, 12, 15, 18, 21, 25}));
  EXPECT_EQ(Grid(-50, 20), (std::vector<int32_t>{-50, -40, -30, -20, -10, 0, 10, 20}));
  EXPECT_EQ(Grid(0, 2000), (std::vector<int32_t>{0, 200, 400, 600, 800, 1000, 1200, 1400, 1600, 1800, 2000}));
  EXPECT_EQ(Grid(-1000, 31000).size(), 11u);  // step 3200: -1000 .. 27800, then 31000
  // An inverted range keeps its low end first.
  EXPECT_EQ(Grid(30, -30), (std::vector<int32_t>{30, -30}));
  EXPECT_TRUE(Grid(0, 40000).empty());
  EXPECT_TRUE(Grid(-2147483647 - 1, 2147483647).empty());
  // Labels follow the rule chosen by the running value.
  EXPECT_EQ(AxisLabel(1500, 1500), "1.5K");
  EXPECT_EQ(AxisLabel(12500, 12500), "12.5K");
  EXPECT_EQ(AxisLabel(2.55f, 2.55), "2.5");
  EXPECT_EQ(AxisLabel(25.678f, 25.678), "25.67");
  EXPECT_EQ(AxisLabel(150.26f, 150.26), "150.2");
  EXPECT_EQ(AxisLabel(1060.56f, 1060.56), "1.06K");
  EXPECT_EQ(AxisLabel(-10, -10), "-10");
  // The end label follows the rule of the value that passed it.
  EXPECT_EQ(AxisLabel(9999, 20000), "20K");
  EXPECT_EQ(AxisLabel(20000, 20000), "20K");
}

class Frames : public test::DrawingTest {
 protected:
  std::vector<RecordingSurface::Call> TextsAt(int32_t y) const {
    std::vector<RecordingSurface::Call> out;
    for (const auto& c : rec.Of(Kind::Text))
      if (c.points[0].y == y) out.push_back(c);
    return out;
  }
  std::vector<std::string> XLabels() const {
    std::vector<std::string> out;
    for (const auto& c : TextsAt(1120)) out.push_back(c.text);
    return out;
  }
  size_t XTicks() const {
    size_t n = 0;
    for (const auto& c : rec.Of(Kind::Line))
      if (c.points[0].y == 1105 && c.points[1].y == 1115) ++n;
    return n;
  }
};

TEST_F(Frames, DefaultsOfTheThreeFramesALinearAxisAndTheAudioFrame) {
  EXPECT_EQ(LimitsOf(FreqGraphFrame), (FrameLimits{5, 500, -30, 30}));
  EXPECT_EQ(std::tuple(FreqGraphFrame.LogX, TimeGraphFrame.LogX, TimeGraphFrame.XStart, TimeGraphFrame.XFinish),
            std::tuple(-1, 0, -10, 30));
  EXPECT_EQ(FitGraphFrame.XFinish, 0);  // left to the fit
  EXPECT_EQ((std::vector<std::string>{TimeGraphFrame.XTitle, TimeGraphFrame.YTitle, FitGraphFrame.YTitle}),
            (std::vector<std::string>{"Time [ms]", "Norm. Linear Level ", "Level (dB)"}));
  for (const GraphFrame* f : {&FreqGraphFrame, &TimeGraphFrame, &FitGraphFrame})
    EXPECT_EQ(std::tuple(f->PlotLeft, f->PlotRight, f->PlotBottom, f->PlotTop), std::tuple(100, 1100, 1100, 100));

  // The default time frame: a linear axis of ten steps and the end.
  DrawGraphFrame(TimeGraphFrame, rec);
  std::vector<int32_t> expected;
  for (int t = -10; t <= 26; t += 4) expected.push_back(25 * t + 349);
  expected.push_back(1099);
  EXPECT_EQ(VerticalGridX(rec, 100, 1100), expected);
  EXPECT_EQ(XLabels(), (std::vector<std::string>{"-10", "-6", "-2", "2", "6", "10", "14", "18", "22", "26", "30"}));
  EXPECT_EQ(XTicks(), 11u);
  EXPECT_DOUBLE_EQ(TimeGraphFrame.XScale, 25);
  EXPECT_DOUBLE_EQ(TimeGraphFrame.XOffset, 350);
  // The audio frame keeps the lines and ticks but almost no text.
  rec.Clear();
  DrawAudioGraphFrame(TimeGraphFrame, rec);
  EXPECT_EQ(VerticalGridX(rec, 100, 1100).size(), 11u);
  EXPECT_EQ(XTicks(), 11u);
  EXPECT_TRUE(rec.Of(Kind::Text).empty());

  rec.Clear();
  DrawAudioGraphFrame(FreqGraphFrame, rec);
  EXPECT_EQ(VerticalGridX(rec, 100, 1100).size(), 15u);
  EXPECT_EQ(XTicks(), 4u);
  auto texts = rec.Of(Kind::Text);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].text, "500");
  size_t yTicks = 0;
  for (const auto& c : rec.Of(Kind::Line))
    if (c.points[0].x == 90 && c.points[1].x == 95) ++yTicks;
  EXPECT_EQ(yTicks, 11u);
}

struct LogAxis {
  const char* name;
  int32_t start, finish;
  size_t lines, ticks;
  std::vector<std::string> labels;
  std::vector<double> at;  // the lines' values, where checked one by one
};
const LogAxis kLogAxes[] = {
    {"two decades: ends and decades labelled", 5, 500, 15, 4, {"5", "10", "100", "500"},
     {5, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 200, 300, 400, 500}},
    {"below an octave: eleven equal steps, all labelled", 1000, 1800, 11, 11,
     {"1K", "1.06K", "1.124K", "1.192K", "1.265K", "1.341K", "1.422K", "1.509K", "1.6K", "1.697K", "1.8K"}, {}},
    {"within a decade: every line labelled", 20, 100, 9, 9, {"20", "30", "40", "50", "60", "70", "80", "90", "100"},
     {20, 30, 40, 50, 60, 70, 80, 90, 100}},
    // 16, 20..90, 100..900, 1000..9000, 10000, then the end.
    {"to twenty kilohertz", 16, 20000, 1 + 8 + 9 + 9 + 1 + 1, 5, {"16", "100", "1K", "10K", "20K"}, {}},
};

TEST_F(Frames, LevelAndLogGridsTicksLabelsTitlesBackgroundAndDegenerateOrRunawayRanges) {
  DrawGraphFrame(FreqGraphFrame, rec);
  EXPECT_DOUBLE_EQ(FreqGraphFrame.YOffset, 600);
  std::vector<int32_t> gridY, tickY;
  for (const auto& c : rec.Of(Kind::Line)) {
    if (c.points[0] == DrawPoint{100, c.points[0].y} && c.points[1] == DrawPoint{1100, c.points[0].y})
      gridY.push_back(c.points[0].y);
    if (c.points[0].x == 90 && c.points[1].x == 95) tickY.push_back(c.points[0].y);
    EXPECT_EQ(c.pen, Pen{RGB(0, 0, 0)});
  }
  const std::vector<int32_t> rows = {1100, 1000, 900, 800, 700, 600, 500, 400, 300, 200, 100};
  EXPECT_EQ(gridY, rows);
  EXPECT_EQ(tickY, rows);
  std::vector<RecordingSurface::Call> yLabels;
  for (const auto& c : rec.Of(Kind::Text))
    if (c.points[0].x + 12 * int32_t(c.text.size()) == 81) yLabels.push_back(c);
  ASSERT_EQ(yLabels.size(), 11u);
  EXPECT_EQ(std::tuple(yLabels[0].text, yLabels[0].points[0], yLabels[5].text, yLabels[5].points[0], yLabels[10].text),
            std::tuple(std::string("-30"), DrawPoint{81 - 36, 1085}, std::string("0"), DrawPoint{81 - 12, 585},
                       std::string("30")));

  // The background, the titles and the web label.
  rec.Clear();
  PlotColours[1] = RGB(10, 20, 30);
  FreqGraphFrame.GraphCaption = "Gated";
  DrawGraphFrame(FreqGraphFrame, rec);
  const auto& calls = rec.calls();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(std::tuple(calls[0].kind, calls[0].colour), std::tuple(Kind::BackColor, RGB(10, 20, 30)));
  EXPECT_EQ(std::tuple(calls[1].kind, calls[1].fill, calls[1].pen.colour),
            std::tuple(Kind::Rectangle, RGB(10, 20, 30), RGB(10, 20, 30)));
  EXPECT_EQ(calls[1].points, (std::vector<DrawPoint>{{0, 0}, {1200, 1200}}));
  EXPECT_EQ(calls.back().kind, Kind::Refresh);
  EXPECT_EQ(rec.Of(Kind::Refresh).size(), 1u);

  auto caption = TextsAt(65);
  ASSERT_EQ(caption.size(), 1u);
  EXPECT_EQ(caption[0].points[0].x, 100 + (1000 - 50) / 2);
  auto bottom = TextsAt(1150);
  ASSERT_EQ(bottom.size(), 2u);
  EXPECT_EQ(std::pair(bottom[0].text, bottom[0].points[0].x), std::pair(std::string("Frequency (Hz) "), 525));
  EXPECT_EQ(std::pair(bottom[1].text, bottom[1].points[0].x), std::pair(std::string("zentor.example"), 1100 - 150));
  const auto texts = rec.Of(Kind::Text);
  const auto& yTitle = texts.back();
  EXPECT_EQ(yTitle.text, "Level (dB)");
  EXPECT_EQ(yTitle.points[0], (DrawPoint{10, 650}));
  EXPECT_EQ(yTitle.font, (FontSpec{30, 10, 900}));
  for (const auto& t : texts) EXPECT_EQ(t.colour, RGB(0, 0, 0));
  // Degenerate ranges draw one unit wide; runaway ones stay bounded.
  rec.Clear();
  TimeGraphFrame.YLow = 10;
  TimeGraphFrame.YHigh = 10;
  TimeGraphFrame.XStart = 7;
  TimeGraphFrame.XFinish = 3;
  DrawGraphFrame(TimeGraphFrame, rec);
  EXPECT_DOUBLE_EQ(TimeGraphFrame.YScale, -1000);
  EXPECT_DOUBLE_EQ(TimeGraphFrame.XScale, 1000);
  EXPECT_EQ(TimeGraphFrame.YHigh, 10);  // the record keeps its own range
  EXPECT_EQ(TimeGraphFrame.XFinish, 3);

  rec.Clear();
  FreqGraphFrame.XStart = 0;
  FreqGraphFrame.XFinish = 100;
  DrawGraphFrame(FreqGraphFrame, rec);
  EXPECT_TRUE(std::isfinite(FreqGraphFrame.XScale));
  EXPECT_EQ(VerticalGridX(rec, 100, 1100).front(), 99);  // the axis starts at 1 Hz
  EXPECT_EQ(XLabels().front(), "1");

  // Runaway axes and bad grid counts stay bounded.
  rec.Clear();
  FreqGraphFrame.XStart = 200000;  // past the decade rule
  FreqGraphFrame.XFinish = 2000000;
  DrawGraphFrame(FreqGraphFrame, rec);
  EXPECT_LE(VerticalGridX(rec, 100, 1100).size(), 3u);

  rec.Clear();
  TimeGraphFrame.XStart = 100000000;  // a step below single precision
  TimeGraphFrame.XFinish = 100000001;
  TimeGraphFrame.YLow = 0;
  TimeGraphFrame.YHigh = 100000;  // tables left as read from a file
  TimeGraphFrame.YLineCount = 5000;
  TimeGraphFrame.YLabelCount = -7;
  DrawGraphFrame(TimeGraphFrame, rec);
  EXPECT_LE(VerticalGridX(rec, 100, 1100).size(), 202u);
  size_t horizontal = 0;
  for (const auto& c : rec.Of(Kind::Line))
    if (c.points[0].y == c.points[1].y && c.points[0].x == 100) ++horizontal;
  EXPECT_LE(horizontal, 101u);
  for (const auto& c : rec.calls())
    for (DrawPoint p : c.points) {
      EXPECT_GE(p.x, 0);
      EXPECT_LE(p.x, 1200);
    }
  // Log axes: grid lines and labels by the span.
  for (const LogAxis& a : kLogAxes) {
    SCOPED_TRACE(a.name);
    rec.Clear();
    FreqGraphFrame.XStart = a.start;
    FreqGraphFrame.XFinish = a.finish;
    DrawGraphFrame(FreqGraphFrame, rec);
    const std::vector<int32_t> xs = VerticalGridX(rec, 100, 1100);
    ASSERT_EQ(xs.size(), a.lines);
    EXPECT_EQ(XLabels(), a.labels);
    EXPECT_EQ(XTicks(), a.ticks);
    const double span = std::log(double(a.finish) / a.start);
    EXPECT_NEAR(FreqGraphFrame.XScale, 1000 / span, 1e-9);
    // Each line one unit left of its value; a label centred on its line.
    for (size_t k = 0; k < a.at.size(); ++k) EXPECT_EQ(xs[k], std::lround(99 + 1000 * std::log(a.at[k] / a.start) / span));
    for (size_t k = 0; a.lines == 11 && k < 11; ++k) EXPECT_NEAR(xs[k], 99 + 100 * int(k), 1) << k;
    const auto texts = TextsAt(1120);
    for (size_t k = 0; a.labels.size() == a.lines && k < a.lines; ++k)
      EXPECT_EQ(texts[k].points[0].x, xs[k] - 5 * int32_t(texts[k].text.size())) << k;
    EXPECT_EQ(texts.back().points[0].x, 1099 - 5 * int32_t(texts.back().text.size()));
  }
}

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

struct AudioCurve {
  int32_t NumPoints = 0;
  std::array<float, 8001> YValues{};
  std::array<float, 8001> XValues{};
};

TEST_F(Curves, StartsAtTheFirstVisiblePointSkipsOffPlotClampsLevelsAndKeepsBadValuesInTheSpace) {
  TestCurve c({0, 5, 10, 30, 120, 60, 80}, {1000, 1000, 1000, 1150, 500, -50, 600});
  PlotCurve(frame, rec, c, RGB(0, 0, 255));
  // Point 2 sits on the left edge; point 4 lies right of the plot and is skipped,
  // so point 5 joins point 3; levels beyond the plot lie on its edges.
  EXPECT_EQ(OnlyPolyline(), (std::vector<DrawPoint>{{100, 200}, {300, 100}, {600, 1100}, {800, 600}}));
  auto line = rec.Of(Kind::Polyline)[0];
  EXPECT_EQ(std::tuple(line.pen, line.mode), std::tuple(Pen{RGB(0, 0, 255)}, DrawMode::CopyPen));
  EXPECT_EQ(rec.calls().back().kind, Kind::Refresh);
  EXPECT_TRUE(rec.AutoRedraw());
  // On a log axis low x before the first visible point is set to one.
  frame.LogX = -1;
  frame.XScale = 1000 / std::log(100.0);  // 5 .. 500 Hz
  frame.XOffset = 100 - std::log(5.0) * frame.XScale;
  rec.Clear();
  c = TestCurve({0, 0.5f, 3, 10, 0.2f, 50}, {600, 600, 600, 600, 600, 600});
  PlotCurve(frame, rec, c, 0);
  // Point 4, after the start, is skipped, not changed.
  EXPECT_EQ(std::vector<float>(c.XValues.begin(), c.XValues.begin() + 6), (std::vector<float>{1, 1, 3, 10, 0.2f, 50}));
  const int32_t x10 = static_cast<int32_t>(std::lround(100 + 500 * std::log10(2.0)));
  EXPECT_EQ(OnlyPolyline(), (std::vector<DrawPoint>{{x10, 600}, {600, 600}}));
  // Counts are checked and bad values stay in the drawing space.
  rec.Clear();
  frame.LogX = 0, frame.XScale = 10, frame.XOffset = 0;
  TestCurve left({0, 1, 2}, {600, 600, 600});
  PlotCurveOnGraph(frame, rec, left, 0, 7);
  EXPECT_TRUE(rec.Of(Kind::Polyline).empty()) << "every point left of the plot";

  c = TestCurve({20, 30, 40}, {600, 600, 600});
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

  // An audio curve draws exactly its count.
  rec.Clear();
  frame.LogX = 0;
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

TEST_F(Curves, LegendColumnsAndRowsTheFitLegendsTitleAndWaterfallSlicesShiftedByTheirDepth) {
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

  struct FitSet {
    int32_t ModeCode;
    float Smoothing;
  };
  // The fit legend's title follows the fitted view.
  rec.Clear();
  TestCurve c;
  c.Label = "Curve 2";
  DrawFitLegend(frame, rec, c, 1, FitSet{6, 0.333f});
  texts = rec.Of(Kind::Text);
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
  // A waterfall slice is shifted left and down by its depth; bad counts and an empty frame are harmless.
  const auto Slice = [](std::vector<float> x, std::vector<float> level) {
    std::array<float, kWaterfallSliceCells> s{};
    s[0] = float(x.size());
    for (size_t i = 0; i < x.size(); ++i) s[1 + i] = level[i], s[2002 + i] = x[i];
    return s;
  };
  rec.Clear();
  PlotColours[1] = RGB(50, 60, 70);
  // Screen x = f + 200; screen y = 200 - 10 level.
  auto slice = Slice({-50, 100, 500, 950, 800}, {0, -10, 20, 0, -70});
  DrawWaterfallSlice(test::TestProjection(), rec, slice, RGB(0, 0, 255), 3, 0);
  // Slice 3 sits two steps of (-150/35, +300/35) from the back.
  const std::vector<DrawPoint> expected = {{191, 817}, {291, 317}, {691, 117}, {991, 817}, {991, 817}, {1091, 817}};
  auto polys = rec.Of(Kind::Polygon);
  ASSERT_EQ(polys.size(), 1u);
  EXPECT_EQ(polys[0].points, expected);
  EXPECT_EQ(std::tuple(polys[0].pen, polys[0].fill), std::tuple(Pen{RGB(0, 0, 255)}, RGB(50, 60, 70)));
  EXPECT_EQ(std::vector<DrawPoint>(WaterfallPoints.begin(), WaterfallPoints.begin() + 6), expected);

  rec.Clear();
  DrawWaterfallSlice(test::TestProjection(), rec, slice, 0, 1, 0);
  EXPECT_EQ(rec.Of(Kind::Polygon)[0].points.front(), (DrawPoint{200, 800}));
  EXPECT_EQ(rec.Of(Kind::Polygon)[0].points.back(), (DrawPoint{1100, 800}));

  // Bad counts and an empty frame are harmless.
  rec.Clear();
  slice = Slice({100, 200}, {0, 0});
  slice[0] = 1e9f;
  DrawWaterfallSlice(test::TestProjection(), rec, slice, 0, 35, 0);
  EXPECT_LE(rec.Of(Kind::Polygon)[0].points.size(), size_t(kWaterfallPolygonSize));

  rec.Clear();
  slice[0] = -3;
  DrawWaterfallSlice(test::TestProjection(), rec, slice, 0, 2, 0);
  EXPECT_EQ(rec.Of(Kind::Polygon)[0].points.size(), 3u);

  rec.Clear();
  WaterfallProjection none = test::TestProjection();
  none.N = 0;
  DrawWaterfallSlice(none, rec, Slice({100}, {0}), 0, 9, 0);
  EXPECT_EQ(rec.Of(Kind::Polygon)[0].points.front(), (DrawPoint{200, 800}));
}

}  // namespace
}  // namespace zentor
