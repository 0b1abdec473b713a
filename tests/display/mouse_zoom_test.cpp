// The mouse zoom over a recording host: the frame limits a box gives, the
// rubber band's life, and the fit range the right button picks.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "display/dispatcher.h"
#include "display/graph_primitives.h"
#include "display/mouse_zoom.h"
#include "support/builder_recorder.h"
#include "views_fixture.h"

namespace zentor {
namespace {

using test::ViewsTest;

// Where a value lies in drawing units, by the mapping the frame drawing set up.
float DX(const GraphFrame& f, double x) { return float((f.LogX != 0 ? std::log(x) : x) * f.XScale + f.XOffset); }
float DY(const GraphFrame& f, double y) { return float(y * f.YScale + f.YOffset); }

using test::FrameLimits;
using test::LimitsOf;

class Zoom : public ViewsTest {
 protected:
  void SetUp() override {
    ViewsTest::SetUp();
    builders.Install();
  }
  // A frame drawn over the given range, so its mapping is known.
  void Draw(GraphFrame& f, bool log, int32_t x0, int32_t x1, int32_t y0, int32_t y1) {
    f.LogX = log ? kTrue : kFalse;
    test::SetLimits(f, {x0, x1, y0, y1});
    DrawGraphFrame(f, rec);
  }
  // Press at the first corner, one move to the second (none for a click), release there.
  void Drag(int button, float x1, float y1, float x2, float y2) {
    Picture1_MouseDown(host, button, 0, x1, y1);
    if (x1 != x2 || y1 != y2) Picture1_MouseMove(host, button, 0, x2, y2);
    Picture1_MouseUp(host, button, 0, x2, y2);
  }
  void DragData(int button, const GraphFrame& f, double x1, double y1, double x2, double y2) {
    Drag(button, DX(f, x1), DY(f, y1), DX(f, x2), DY(f, y2));
  }
  int Redraws() const { return static_cast<int>(builders.calls.size()); }
  std::pair<double, double> FitRangeIs() const { return {host.fitMin, host.fitMax}; }

  test::BuilderRecorder builders;
};

// A box from (x1, y1) to (x2, y2) in data values on a linear frame.
struct BoxCase {
  const char* name;
  bool time;
  FrameLimits drawn;
  double x1, y1, x2, y2;
  std::optional<FrameLimits> zoomed;  // none: refused, the frame left as it was
};
const BoxCase kBoxes[] = {
    {"narrow time box widens about its middle", true, {-10, 30, -30, 30}, 10.3, 3.5, 10.7, 1.5, {{10, 11, 0, 5}}},
    {"narrow frequency box ends 1 Hz after its start", false, {0, 100, -30, 30}, 40.2, 20, 40.6, -20,
     {{40, 41, -20, 20}}},
    {"frequency box starts at 1 Hz at the earliest", false, {0, 100, -30, 30}, 0.3, 10, 20, -10, {{1, 20, -10, 10}}},
    {"dragged upwards", true, {-20, 30, -30, 30}, 0, -10, 10, 10, std::nullopt},
    {"wholly before -10 ms", true, {-20, 30, -30, 30}, -19, 10, -15, -10, std::nullopt},
};

TEST_F(Zoom, BoxesZoomTheFrameOrAreRefused) {
  for (const BoxCase& b : kBoxes) {
    SCOPED_TRACE(b.name);
    GraphFrame& f = b.time ? TimeGraphFrame : FreqGraphFrame;
    Draw(f, false, b.drawn.XStart, b.drawn.XFinish, b.drawn.YLow, b.drawn.YHigh);
    EXPECT_EQ(ZoomFrameToBox(f, DX(f, b.x1), DY(f, b.y1), DX(f, b.x2), DY(f, b.y2),
                             b.time ? kZoomTimeGraph : kZoomFrequencyGraph),
              b.zoomed.has_value());
    EXPECT_EQ(LimitsOf(f), b.zoomed.value_or(b.drawn));
  }

  // Far beyond the picture on a log axis the limit no longer fits a whole-number field.
  GraphFrame& f = FreqGraphFrame;
  Draw(f, true, 20, 20000, -50, 20);
  EXPECT_FALSE(ZoomFrameToBox(f, DX(f, 100), DY(f, 10), 40000.0f, DY(f, -10), kZoomFrequencyGraph));
  EXPECT_EQ(LimitsOf(f), (FrameLimits{20, 20000, -50, 20}));

  // A frame never drawn has no mapping back from the picture.
  GraphFrame fresh;
  EXPECT_FALSE(ZoomFrameToBox(fresh, 100, 100, 500, 500, kZoomFrequencyGraph));
}

TEST_F(Zoom, BandFollowsTheDragAndGoesAtTheRelease) {
  DisplayConfig.Graphshown = kBodeView;
  Draw(FreqGraphFrame, true, 20, 20000, -50, 20);
  Picture1_MouseDown(host, kLeftButton, 0, 300.4f, 200.6f);
  EXPECT_EQ(RubberBandState.ButtonDown, kTrue);
  EXPECT_FALSE(host.band);
  Picture1_MouseMove(host, kLeftButton, 0, 500.5f, 401.5f);
  ASSERT_TRUE(host.band);
  // Corners in whole drawing units, halves to even.
  EXPECT_EQ(host.band->a, (DrawPoint{300, 201}));
  EXPECT_EQ(host.band->b, (DrawPoint{500, 402}));
  EXPECT_EQ(host.band->pen, (Pen{RGB(0, 0, 0), PenStyle::Solid}));
  EXPECT_EQ(RubberBandState.BoxErased, kFalse);
  Picture1_MouseMove(host, kLeftButton, 0, 600, 500);
  EXPECT_EQ(host.band->b, (DrawPoint{600, 500}));
  EXPECT_EQ(host.bandHides, 1);
  // A move to the same place leaves the band away until the next one.
  Picture1_MouseMove(host, kLeftButton, 0, 600, 500);
  EXPECT_FALSE(host.band);
  EXPECT_EQ(RubberBandState.BoxErased, kTrue);
  Picture1_MouseMove(host, 4, 0, 700, 600);  // not a button of the zoom
  EXPECT_FALSE(host.band);
  Picture1_MouseMove(host, kLeftButton, 0, 650, 550);
  ASSERT_TRUE(host.band);
  Picture1_MouseUp(host, kLeftButton, 0, 650, 550);
  EXPECT_FALSE(host.band);
  EXPECT_EQ(RubberBandState.BoxErased, kTrue);
  EXPECT_EQ(RubberBandState.ButtonDown, kFalse);
  EXPECT_EQ(RubberBandState.EndY, 0);
}

TEST_F(Zoom, BandPenShowsOnTheBackgroundAndDashesForTheFitRange) {
  const ColourRef black = RGB(0, 0, 0), white = RGB(255, 255, 255);
  EXPECT_EQ(RubberBandPen(kLeftButton, kBodeView, RGB(128, 128, 128)), (Pen{black, PenStyle::Solid}));
  EXPECT_EQ(RubberBandPen(kLeftButton, kBodeView, RGB(127, 127, 127)), (Pen{white, PenStyle::Solid}));
  EXPECT_EQ(RubberBandPen(kLeftButton, kBodeView, RGB(0, 0, 255)).colour, white);
  EXPECT_EQ(RubberBandPen(kLeftButton, kBodeView, RGB(255, 255, 0)).colour, black);
  for (int32_t view = kModalSliceView; view <= kPsycView; ++view) {
    const bool fitView = view == kBodeView || view == kFractOctView || view == kPsycView;
    EXPECT_EQ(RubberBandPen(kRightButton, view, white).style, fitView ? PenStyle::Dash : PenStyle::Solid) << view;
  }
  // The press takes the background in force.
  PlotColours[1] = RGB(10, 10, 40);
  DisplayConfig.Graphshown = kFractOctView;
  Picture1_MouseDown(host, kRightButton, 0, 100, 100);
  Picture1_MouseMove(host, kRightButton, 0, 200, 200);
  ASSERT_TRUE(host.band);
  EXPECT_EQ(host.band->pen, (Pen{white, PenStyle::Dash}));
}

TEST_F(Zoom, EveryReleaseEndsTheDrag) {
  DisplayConfig.Graphshown = kImpulseView;
  Draw(TimeGraphFrame, false, -10, 30, -30, 30);
  const GraphFrame& t = TimeGraphFrame;
  // A click, a leftward drag, a refused (upward) box and a zoom.
  for (const auto& [button, x1, y1, x2, y2] : {std::tuple{kLeftButton, 500.0f, 500.0f, 500.0f, 500.0f},
                                               {kRightButton, 600.0f, 400.0f, 500.0f, 500.0f},
                                               {kLeftButton, DX(t, 0), DY(t, -10), DX(t, 10), DY(t, 10)},
                                               {kLeftButton, DX(t, 0), DY(t, 10), DX(t, 10), DY(t, -10)}}) {
    Drag(button, x1, y1, x2, y2);
    EXPECT_EQ(RubberBandState.ButtonDown, kFalse) << x1 << "," << y1;
  }
  // So a later move with no press draws nothing.
  Picture1_MouseMove(host, kLeftButton, 0, 900, 900);
  EXPECT_FALSE(host.band);

  // Another button ends nothing: it only forgets the end corner.
  Picture1_MouseDown(host, kLeftButton, 0, 500, 500);
  Picture1_MouseMove(host, kLeftButton, 0, 600, 600);
  builders.calls.clear();
  Picture1_MouseDown(host, 4, 0, 10, 10);
  Picture1_MouseUp(host, 4, 0, 10, 10);
  EXPECT_EQ(RubberBandState.ButtonDown, kTrue);
  EXPECT_EQ(RubberBandState.StartX, 500);
  EXPECT_EQ(RubberBandState.EndY, 0);
  EXPECT_TRUE(host.band);
  EXPECT_EQ(Redraws(), 0);
}

TEST_F(Zoom, ARedrawTakesTheBandSoTheNextPressErasesNothing) {
  DisplayConfig.Graphshown = kBodeView;
  Picture1_MouseDown(host, kLeftButton, 0, 100, 100);
  Picture1_MouseMove(host, kLeftButton, 0, 300, 300);
  ASSERT_TRUE(host.band);
  DisplayResults(host, kRedrawFiledCurves);
  EXPECT_FALSE(host.band);
  EXPECT_EQ(host.bandHides, 1);
  EXPECT_EQ(RubberBandState.BoxErased, kTrue);
  const int shows = host.bandShows;
  Picture1_MouseDown(host, kLeftButton, 0, 400, 400);
  EXPECT_EQ(host.bandHides, 1);
  EXPECT_EQ(host.bandShows, shows);
}

TEST_F(Zoom, TimeZoomStartsNoEarlierThanMinus10MsAndLeavesTheFitRange) {
  DisplayConfig.Graphshown = kImpulseView;
  GraphFrame& t = TimeGraphFrame;
  Draw(t, false, -20, 30, -30, 30);
  host.fitMin = 100;
  host.fitMax = 500;
  FitGraphFrame.XStart = 100;
  DragData(kLeftButton, t, -12, 10, 5, -10);
  EXPECT_EQ(LimitsOf(t), (FrameLimits{-10, 5, -10, 10}));
  EXPECT_EQ(FitRangeIs(), std::pair(100.0, 500.0));
  EXPECT_EQ(FitGraphFrame.XStart, 100);
  EXPECT_EQ(builders.calls, (std::vector<test::BuilderCall>{{"ShowMainImpulseSet", kRedrawFiledCurves}}));
}

class FitRange : public Zoom {
 protected:
  void SetUp() override {
    Zoom::SetUp();
    DisplayConfig.Graphshown = kFractOctView;
    Draw(FreqGraphFrame, false, 0, 1000, -30, 30);
    for (int i = 0; i < kFilterSets; ++i) SingularityList[static_cast<size_t>(i)].Count = 7;
    for (int i = 0; i < kMaxResults; ++i) FitStoredCurves[static_cast<size_t>(i)].NumPoints = 9;
    ModesListContents[0].Count = 4;
    host.lines = {"a mode"};
    host.fitSet = 5;
    MouseZoomHooks.CheckAccumulateSettings = [this](int32_t view, std::array<SingularityListRecord, kFilterSets>& sets) {
      checks.push_back(view);
      EXPECT_EQ(&sets, &SingularityList);
    };
  }
  void StoreRange(float lo, float hi) {
    SingularityList[5].RangeLow = lo;
    SingularityList[5].RangeHigh = hi;
  }
  void ZoomTo(double lo, double hi) {
    Draw(FreqGraphFrame, false, 0, 1000, -30, 30);
    DragData(kRightButton, FreqGraphFrame, lo, 20, hi, -20);
  }
  std::vector<int32_t> checks;
};

TEST_F(FitRange, ANewFitForgetsTheFiltersFittedSoFar) {
  ZoomTo(200.1, 599.9);
  for (size_t i = 0; i < kMaxResults; ++i)
    EXPECT_EQ(std::tuple(SingularityList[i].Count, FitStoredCurves[i].NumPoints), std::tuple(0, 0)) << i;
  EXPECT_EQ(SingularityList[32].Count, 7);  // the set of the average is not one of them
  EXPECT_EQ(ModesListContents[0].Count, 0);
  EXPECT_TRUE(host.lines.empty());
  EXPECT_EQ(checks, (std::vector<int32_t>{kFractOctView}));
  EXPECT_EQ(FitRangeIs(), std::pair(200.0, 600.0));
  EXPECT_TRUE(dialogs.calls().empty());
}

TEST_F(FitRange, AccumulatingKeepsToTheStoredRange) {
  host.accumulate = true;
  StoreRange(50, 200);
  dialogs.ExpectMessage();
  ZoomTo(30.1, 149.9);
  ASSERT_EQ(dialogs.MessageTexts(),
            (std::vector<std::string>{"User Error:UnCheck 'Accumulate' in Filters frame to begin a new session"}));
  EXPECT_EQ(FitRangeIs(), std::pair(50.0, 200.0));
  for (const GraphFrame* f : {&FitGraphFrame, &FreqGraphFrame}) EXPECT_EQ(std::pair(f->XStart, f->XFinish), std::pair(50, 200));
  EXPECT_TRUE(checks.empty());
  EXPECT_EQ(SingularityList[0].Count, 7);  // nothing forgotten
  EXPECT_EQ(host.lines.size(), 1u);

  // The upper end alone beyond the range is refused too.
  dialogs.ExpectMessage();
  ZoomTo(60.1, 249.9);
  EXPECT_EQ(dialogs.MessageTexts().size(), 2u);
  EXPECT_EQ(host.fitMax, 200);

  // Inside the range the settings are checked, then the range follows the fit graph.
  ZoomTo(80.1, 149.9);
  EXPECT_EQ(checks, (std::vector<int32_t>{kFractOctView}));
  EXPECT_EQ(FitRangeIs(), std::pair(80.0, 150.0));
  EXPECT_EQ(FitGraphFrame.XStart, 80);
  EXPECT_EQ(dialogs.MessageTexts().size(), 2u);

  // With no range stored (nor a set to hold one) the zoom is refused and nothing restored.
  for (int32_t set : {5, 40}) {
    host.fitSet = set;
    StoreRange(0, 0);
    dialogs.ExpectMessage();
    ZoomTo(100.1, 199.9);
    EXPECT_EQ(FitRangeIs(), std::pair(100.0, 200.0));
    EXPECT_EQ(FreqGraphFrame.XStart, 100);
  }
  EXPECT_EQ(dialogs.MessageTexts().size(), 4u);
  EXPECT_EQ(checks.size(), 1u);
}

TEST_F(FitRange, RightZoomInATimeViewStillSetsTheFitRange) {
  DisplayConfig.Graphshown = kImpulseView;
  test::SetLimits(FreqGraphFrame, {40, 400, -30, 30});
  FreqGraphFrame.LogX = kTrue;
  Draw(TimeGraphFrame, false, -10, 30, -30, 30);
  DragData(kRightButton, TimeGraphFrame, 0, 10, 10, -10);
  EXPECT_EQ(TimeGraphFrame.XStart, 0);
  EXPECT_EQ(FitRangeIs(), std::pair(40.0, 400.0));
  EXPECT_EQ(FitGraphFrame.LogX, kTrue);
  EXPECT_EQ(checks, (std::vector<int32_t>{kImpulseView}));
  EXPECT_EQ(SingularityList[0].Count, 0);
}

}  // namespace
}  // namespace zentor
