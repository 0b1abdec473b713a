// The waterfall's frame and slices as drawing calls and as pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "display/plot_colours.h"
#include "platform/picture.h"
#include "support/fixture.h"
#include "support/silent_set.h"
#include "tools/waterfall_drawing.h"

namespace zentor {
namespace {

using Kind = RecordingSurface::Kind;

class WaterfallDrawingTest : public test::ZentorTest {
 protected:
  void SetUp() override {
    ZentorTest::SetUp();
    SetDefaultPlotColours();
  }
  // 20 Hz to 20020 Hz, -60 to 0 dB, a 40 ms span.
  static WaterfallFrame Frame() {
    GraphFrame axes;
    axes.XStart = 20;
    axes.XFinish = 20020;
    axes.YLow = -60;
    axes.YHigh = 0;
    WaterfallFrame f;
    SetUpWaterfallFrame(axes, f, 40);
    return f;
  }
  static bool HasLine(const RecordingSurface& rec, DrawPoint a, DrawPoint b) {
    for (const auto& c : rec.Of(Kind::Line))
      if (c.points[0] == a && c.points[1] == b) return true;
    return false;
  }
  static std::vector<DrawPoint> TextAt(const RecordingSurface& rec, const std::string& text) {
    std::vector<DrawPoint> at;
    for (const auto& c : rec.Of(Kind::Text))
      if (c.text == text) at.push_back(c.points[0]);
    return at;
  }
};

TEST_F(WaterfallDrawingTest, LevelGridStepsFollowTheRange) {
  struct Case {
    int32_t range, step, count;
  };
  for (const Case c : {Case{10, 1, 11}, {11, 3, 3}, {60, 6, 10}, {61, 10, 6}, {2000, 200, 10}}) {
    WaterfallFrame f;
    f.YLow = 0;
    f.YHigh = c.range;
    ComputeWaterfallLevelGrid(f);
    ASSERT_EQ(f.LabelCount, c.count) << c.range;
    EXPECT_EQ(f.LineCount, c.count);
    for (int32_t i = 0; i < c.count; ++i) EXPECT_EQ(f.LabelValues[size_t(i)], i * c.step) << c.range;
    EXPECT_EQ(f.LabelValues[size_t(c.count)], c.range);  // the last entry is the top
    EXPECT_EQ(f.LineValues, f.LabelValues);
  }
  WaterfallFrame wide;
  wide.YLow = 0;
  wide.YHigh = 40000;
  wide.LabelCount = 7;
  ComputeWaterfallLevelGrid(wide);
  EXPECT_EQ(wide.LabelCount, 7);  // beyond the table: left as it was
}

TEST_F(WaterfallDrawingTest, ScalesMapTheLimitsOntoTheRearmostSlice) {
  WaterfallFrame f = Frame();
  EXPECT_EQ(f.N, 35);
  EXPECT_EQ(f.DepthTitle, "Time");
  EXPECT_NEAR(20 * f.XScale + f.XOffset, 200, 1e-3);
  EXPECT_NEAR(20020 * f.XScale + f.XOffset, 1100, 1e-2);
  EXPECT_NEAR(-60 * f.YScale + f.YOffset, 800, 1e-3);
  EXPECT_NEAR(0 * f.YScale + f.YOffset, 100, 1e-3);

  f.XFinish = f.XStart;
  dialogs.ExpectMessage();
  EXPECT_FALSE(ComputeWaterfallScales(f));
  f = Frame();
  f.YHigh = f.YLow - 1;
  dialogs.ExpectMessage();
  EXPECT_FALSE(ComputeWaterfallScales(f));
  EXPECT_FALSE(ComputeWaterfallScales(f, true));
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"Error 5430", "Error 5431"}));
}

TEST_F(WaterfallDrawingTest, FrameDrawsAxesGridBaselinesAndTexts) {
  const WaterfallFrame f = Frame();
  RecordingSurface rec;
  DrawWaterfallFrame(f, rec, 20, "Not Filtered ");

  ASSERT_FALSE(rec.Of(Kind::Rectangle).empty());
  const auto back = rec.Of(Kind::Rectangle)[0];
  EXPECT_EQ(back.points[0], (DrawPoint{0, 0}));
  EXPECT_EQ(back.points[1], (DrawPoint{1200, 1200}));
  EXPECT_EQ(back.fill, PlotColours[1]);

  // Back frequency axis from XStart at 200 to XFinish at 1100, labels above it.
  EXPECT_TRUE(HasLine(rec, {200, 100}, {200, 800}));
  EXPECT_TRUE(HasLine(rec, {200, 95}, {200, 85}));
  EXPECT_TRUE(HasLine(rec, {1100, 100}, {1100, 800}));
  EXPECT_EQ(TextAt(rec, "4020"), (std::vector<DrawPoint>{{380 - 20, 60}, {380 - 150 - 20, 1119}}));
  // The front axis ends with the label of XFinish.
  EXPECT_EQ(TextAt(rec, "20020").back(), (DrawPoint{950 - 25, 1119}));
  EXPECT_TRUE(HasLine(rec, {50, 1105}, {50, 1115}));

  // Grid lines and labels at every level entry.
  for (int32_t i = 0; i <= f.LineCount; ++i) {
    const int32_t y = ToDrawUnit(f.LineValues[size_t(i)] * double(f.YScale) + f.YOffset);
    EXPECT_TRUE(HasLine(rec, {200, y}, {1100, y})) << f.LineValues[size_t(i)];
    EXPECT_EQ(TextAt(rec, std::to_string(f.LabelValues[size_t(i)])), (std::vector<DrawPoint>{{1110, y - 15}}));
  }

  // Baseline i lies 300/35 i lower and 150/35 i further left.
  for (int i = 0; i < 35; ++i) {
    const int32_t y = ToDrawUnit(300.0 / 35 * i + 800);
    EXPECT_TRUE(HasLine(rec, {ToDrawUnit(200 - 150.0 / 35 * i), y}, {ToDrawUnit(1100 - 150.0 / 35 * i), y})) << i;
  }

  EXPECT_EQ(TextAt(rec, "Time"), (std::vector<DrawPoint>{{1045, 950}}));
  EXPECT_EQ(TextAt(rec, "(40 ms )"), (std::vector<DrawPoint>{{1045, 975}}));
  EXPECT_EQ(TextAt(rec, "Gate Time"), (std::vector<DrawPoint>{{10, 70}}));
  EXPECT_EQ(TextAt(rec, "20 ms"), (std::vector<DrawPoint>{{10, 110}}));
  EXPECT_EQ(TextAt(rec, "Not Filtered "), (std::vector<DrawPoint>{{10, 20}}));
  const std::string web(kMakerWebAddress);
  EXPECT_EQ(TextAt(rec, web), (std::vector<DrawPoint>{{ToDrawUnit(1100 - 10.0 * double(web.size()) - 10), 1150}}));
  EXPECT_EQ(rec.calls().back().kind, Kind::Refresh);
}

TEST_F(WaterfallDrawingTest, SpanTextKeepsOneDecimal) {
  WaterfallFrame f = Frame();
  f.Span = static_cast<float>(32768.0 / 48 - 360);  // a shortened span
  RecordingSurface rec;
  DrawWaterfallFrame(f, rec, 200, "Filtered");
  EXPECT_TRUE(test::HasText(rec, "(322.6 ms )"));
  EXPECT_TRUE(test::HasText(rec, "200 ms"));
}

WaterfallSliceSet FlatSlices(float level) {
  WaterfallSliceSet set{};
  for (WaterfallSlice& s : set) {
    s.Count = 5;
    for (size_t i = 0; i < 5; ++i) {
      s.Freqs[i] = 1000.0f + 4000.0f * float(i);  // 1 kHz to 17 kHz
      s.Levels[i] = level + float(i);
    }
  }
  return set;
}

TEST_F(WaterfallDrawingTest, EachLaterSliceIsShiftedDownAndLeft) {
  const WaterfallFrame f = Frame();
  RecordingSurface rec;
  DrawWaterfallSlices(f, rec, FlatSlices(-30));
  const auto polygons = rec.Of(Kind::Polygon);
  ASSERT_EQ(polygons.size(), 35u);
  // The waterfall is shown once, after its last slice.
  ASSERT_EQ(rec.Of(Kind::Refresh).size(), 1u);
  EXPECT_EQ(rec.calls().back().kind, Kind::Refresh);
  for (int m = 1; m <= 35; ++m) {
    const double dx = -150.0 / 35 * (m - 1), dy = 300.0 / 35 * (m - 1);
    const auto& p = polygons[size_t(m - 1)].points;
    ASSERT_EQ(p.size(), 5u + 3u) << m;
    EXPECT_EQ(p.front(), (DrawPoint{ToDrawUnit(200 + dx), ToDrawUnit(800 + dy)}));
    for (size_t i = 0; i < 5; ++i) {
      const double x = (1000.0 + 4000.0 * double(i)) * f.XScale + f.XOffset;
      const double y = (-30.0 + double(i)) * f.YScale + f.YOffset;
      EXPECT_EQ(p[i + 1], (DrawPoint{ToDrawUnit(x + dx), ToDrawUnit(y + dy)})) << m << " " << i;
    }
    EXPECT_EQ(p[6], (DrawPoint{p[5].x, ToDrawUnit(800 + dy)}));
    EXPECT_EQ(p.back(), (DrawPoint{ToDrawUnit(1100 + dx), ToDrawUnit(800 + dy)}));
    EXPECT_EQ(polygons[size_t(m - 1)].pen.colour, PlotColours[3]);
    EXPECT_EQ(polygons[size_t(m - 1)].fill, PlotColours[1]);
  }
}

TEST_F(WaterfallDrawingTest, FrontSlicesHideWhatLiesBehindThem) {
  const WaterfallFrame f = Frame();
  WaterfallSliceSet set{};
  for (size_t i = 0; i < 5; ++i) {
    set[0].Freqs[i] = set[34].Freqs[i] = 100.0f + 4900.0f * float(i);  // across the axis
    set[0].Levels[i] = -51;                                           // the rearmost slice low
    set[34].Levels[i] = -5;                                           // the front slice high
  }
  set[0].Count = set[34].Count = 5;
  PictureBox picture;
  picture.resize(1200, 1200);
  DrawWaterfallSlices(f, picture, set);
  const QImage image = picture.DrawingSpaceImage();
  const QColor background = QColor(RedOf(PlotColours[1]), GreenOf(PlotColours[1]), BlueOf(PlotColours[1]));
  const QColor curve = QColor(RedOf(PlotColours[3]), GreenOf(PlotColours[3]), BlueOf(PlotColours[3]));
  const int backY = ToDrawUnit(-51 * double(f.YScale) + f.YOffset);
  // Right of the front slice the rearmost curve shows; inside it, only background.
  EXPECT_EQ(image.pixelColor(1050, backY), curve);
  EXPECT_EQ(image.pixelColor(600, backY), background);
  EXPECT_EQ(image.pixelColor(600, backY + 1), background);
}

}  // namespace
}  // namespace zentor
