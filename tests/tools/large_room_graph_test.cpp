// The large-room graph: what its frame draws, the mouse zoom through real mouse
// events on the shown window, and the pictures of the Schroeder and RT60 views.
#include <QDir>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <string>

#include "base/text_number.h"
#include "display/graph_primitives.h"
#include "display/plot_colours.h"
#include "display/view_state.h"
#include "tools/large_room_fixture.h"

namespace zentor {
namespace {

using Kind = RecordingSurface::Kind;

class LargeRoomGraph : public test::LargeRoomTest {
 protected:
  DataIntegrityForm* OpenFullSize() {
    DataIntegrityForm* f = Open();
    // One pixel of the picture is one drawing unit.
    f->resize(1200 + 16, 1200 + 140);
    EXPECT_EQ(f->Picture1->size(), QSize(1200, 1200));
    return f;
  }
  QPoint At(const DataIntegrityForm* f, double x, double y) const {
    const GraphFrame& g = f->DecayFrame;
    const double px = (g.LogX != 0 ? std::log(x) : x) * g.XScale + g.XOffset;
    return QPoint(int(std::lround(px)), int(std::lround(y * g.YScale + g.YOffset)));
  }
  void Drag(DataIntegrityForm* f, Qt::MouseButton b, QPoint from, QPoint to) {
    QTest::mousePress(f->Picture1, b, {}, from);
    QTest::mouseMove(f->Picture1, to);
    QTest::mouseRelease(f->Picture1, b, {}, to);
  }
  const RecordingSurface::Call* TextCall(const std::string& text) const {
    for (const auto& c : rec.calls())
      if (c.kind == Kind::Text && c.text == text) return &c;
    return nullptr;
  }
  // Where pictures are kept for a look: ZENTOR_RENDER_DIR, else the test's folder.
  std::string RenderPath(const std::string& name) const {
    const char* dir = std::getenv("ZENTOR_RENDER_DIR");
    return dir ? std::string(dir) + "/" + name : TempPath(name);
  }

  RecordingSurface rec;
};

TEST_F(LargeRoomGraph, FrameOfTheRT60View) {
  Load(2, {{1024, 0.8}});
  DataIntegrityForm* f = Open();
  Click(f->RTBut);
  f->GraphOverride = &rec;
  f->RedrawDecayGraph();
  f->GraphOverride = nullptr;
  EXPECT_NE(TextCall("Frequency [Hz]"), nullptr);
  EXPECT_NE(TextCall("20"), nullptr);
  EXPECT_NE(TextCall("16384"), nullptr);
  const auto* y = TextCall("Time [ms] ");
  ASSERT_NE(y, nullptr);
  EXPECT_EQ(y->font.escapement, 900);
  EXPECT_EQ(y->points[0], (DrawPoint{10, 600 + 50}));
  const auto* web = TextCall(std::string(kMakerWebAddress));
  ASSERT_NE(web, nullptr);
  EXPECT_EQ(web->points[0], (DrawPoint{1150 - 10 * int(kMakerWebAddress.size()) - 10, 1150}));
  const auto* title = TextCall("RT60:  50 ms -  150 ms");
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(title->points[0], (DrawPoint{300, 5}));
  EXPECT_EQ(title->font, (FontSpec{45, 15, 0}));
  EXPECT_EQ(title->colour, PlotColours[0]);
  // The y labels carry the leading blank of a positive number.
  EXPECT_NE(TextCall(Str(static_cast<int32_t>(f->DecayFrame.YHigh))), nullptr);
  EXPECT_EQ(test::CurvesIn(rec, PlotColours[3]).size(), 1u);
}

TEST_F(LargeRoomGraph, XLabelsAreCutByTheirSize) {
  Load(2, {{1000, 0.5}});
  DataIntegrityForm* f = Open();
  f->DecayFrame.XStart = 0;
  f->DecayFrame.XFinish = 1;
  f->GraphOverride = &rec;
  f->DrawDecayFrame();
  EXPECT_NE(TextCall("0.3"), nullptr);
  EXPECT_NE(TextCall("1"), nullptr);
  rec.Clear();
  f->DecayFrame.XStart = 1000;
  f->DecayFrame.XFinish = 2003;
  f->DrawDecayFrame();
  EXPECT_NE(TextCall("1100"), nullptr);  // 1100.3 cut to a whole number
  EXPECT_NE(TextCall("2003"), nullptr);
  f->GraphOverride = nullptr;
}

TEST_F(LargeRoomGraph, MouseZoomOnTheSchroederView) {
  Load(2, {{1000, 0.5}});
  DataIntegrityForm* f = OpenFullSize();
  Click(f->SchroederBut);
  const GraphFrame full = f->DecayFrame;
  EXPECT_EQ(full.XStart, -50);
  EXPECT_EQ(full.YHigh, 0);
  EXPECT_EQ(full.YLow, -90);

  // The band follows the drag, dashed for the right button on this view.
  QTest::mousePress(f->Picture1, Qt::RightButton, {}, QPoint(300, 300));
  QTest::mouseMove(f->Picture1, QPoint(500, 600));
  ASSERT_TRUE(f->Picture1->CurrentOverlay().has_value());
  EXPECT_EQ(f->Picture1->CurrentOverlay()->pen.style, PenStyle::Dash);
  QTest::mouseRelease(f->Picture1, Qt::RightButton, {}, QPoint(500, 600));
  EXPECT_FALSE(f->Picture1->CurrentOverlay().has_value());
  EXPECT_EQ(RubberBandState.EndY, 0.0f);
  EXPECT_GT(f->DecayFrame.XStart, full.XStart);
  EXPECT_EQ(f->FitStartMs, float(f->DecayFrame.XStart));

  // A click without a drag shows everything again.
  QTest::mouseClick(f->Picture1, Qt::LeftButton, {}, QPoint(600, 600));
  EXPECT_EQ(f->DecayFrame.XStart, full.XStart);
  EXPECT_EQ(f->DecayFrame.XFinish, full.XFinish);
  EXPECT_EQ(f->DecayFrame.YLow, full.YLow);

  // A drag starting left of -50 ms zooms from -50.
  Drag(f, Qt::LeftButton, At(f, -80, -10), At(f, 100, -40));
  // (a pixel is some 2.6 ms here, 0.09 dB)
  EXPECT_EQ(f->DecayFrame.XStart, -50);
  EXPECT_NEAR(f->DecayFrame.XFinish, 100, 2);
  EXPECT_EQ(f->DecayFrame.YHigh, -10);
  EXPECT_EQ(f->DecayFrame.YLow, -40);

  // Narrower than 1 ms and shallower than 5 dB: widened about the middle.
  Drag(f, Qt::LeftButton, At(f, 20.1, -20), At(f, 20.5, -21));
  EXPECT_EQ(f->DecayFrame.XFinish - f->DecayFrame.XStart, 1);
  EXPECT_EQ(f->DecayFrame.YHigh - f->DecayFrame.YLow, 5);

  // Upwards or to the left: back to the full view.
  Drag(f, Qt::LeftButton, QPoint(300, 900), QPoint(600, 400));
  EXPECT_EQ(f->DecayFrame.XFinish, full.XFinish);
  Drag(f, Qt::LeftButton, QPoint(300, 300), QPoint(600, 600));
  Drag(f, Qt::LeftButton, QPoint(600, 300), QPoint(300, 600));
  EXPECT_EQ(f->DecayFrame.XStart, full.XStart);
  EXPECT_EQ(f->DecayFrame.YHigh, full.YHigh);

  // A left drag does not touch the fit range.
  const float fitStart = f->FitStartMs;
  Drag(f, Qt::LeftButton, QPoint(400, 300), QPoint(600, 600));
  EXPECT_EQ(f->FitStartMs, fitStart);
}

TEST_F(LargeRoomGraph, ZoomOnTheLogarithmicRT60Axis) {
  Load(2, {{1024, 0.8}});
  DataIntegrityForm* f = OpenFullSize();
  Click(f->RTBut);
  EXPECT_EQ(f->DecayFrame.XStart, 20);
  EXPECT_EQ(f->DecayFrame.XFinish, 16384);
  const QPoint from = At(f, 500, f->DecayFrame.YHigh), to = At(f, 2000, f->DecayFrame.YLow);
  QTest::mousePress(f->Picture1, Qt::RightButton, {}, from);
  QTest::mouseMove(f->Picture1, to);
  ASSERT_TRUE(f->Picture1->CurrentOverlay().has_value());
  EXPECT_EQ(f->Picture1->CurrentOverlay()->pen.style, PenStyle::Solid);
  QTest::mouseRelease(f->Picture1, Qt::RightButton, {}, to);
  EXPECT_NEAR(f->DecayFrame.XStart, 500, 5);
  EXPECT_NEAR(f->DecayFrame.XFinish, 2000, 20);
  EXPECT_EQ(f->FitStartMs, 50.0f);
}

TEST_F(LargeRoomGraph, PicturesOfTheSchroederAndRT60Views) {
  Load(2, {{256, 1.2}, {1024, 0.8}, {4096, 0.5}});
  for (int k : {0, 1}) test::AddWhiteNoise(ImpulseSet[static_cast<size_t>(k)], 1e-3, 40 + k);
  DataIntegrityForm* f = OpenFullSize();
  for (auto [button, name] : {std::pair{f->SchroederBut, "large_room_sch.png"}, {f->RTBut, "large_room_rt.png"}}) {
    Click(button);
    const QImage image = f->Picture1->DrawingSpaceImage();
    ASSERT_TRUE(image.save(QString::fromStdString(RenderPath(name))));
    int curvePixels = 0;
    for (int y = 100; y <= 1100; ++y)
      for (int x = 100; x <= 1150; ++x)
        if ((image.pixel(x, y) & 0xFFFFFF) == (QColor(RedOf(PlotColours[3]), GreenOf(PlotColours[3]),
                                                      BlueOf(PlotColours[3])).rgb() & 0xFFFFFF))
          ++curvePixels;
    EXPECT_GT(curvePixels, 500) << name;
  }
  f->resize(820, 660);
  EXPECT_TRUE(f->grab().save(QString::fromStdString(RenderPath("large_room_window.png"))));
}

}  // namespace
}  // namespace zentor
