#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>
#include <vector>

#include "core/helpers.h"
#include "curve_fixture.h"
#include "display/graph_primitives.h"
#include "display/plot_colours.h"
#include "support/fixture.h"

namespace zentor {
namespace {

using test::TestCurve;

QRgb Rgb(ColourRef c) { return qRgb(RedOf(c), GreenOf(c), BlueOf(c)); }

bool Near(const QImage& img, int x, int y, QRgb colour, int radius = 1) {
  for (int dy = -radius; dy <= radius; ++dy)
    for (int dx = -radius; dx <= radius; ++dx) {
      const int px = x + dx, py = y + dy;
      if (px >= 0 && py >= 0 && px < img.width() && py < img.height() && img.pixel(px, py) == colour) return true;
    }
  return false;
}

// Level rising by 10 dB per decade from -20 dB at 2 Hz.
TestCurve Slope(float levelAt2Hz) {
  TestCurve c;
  c.NumPoints = 2000;
  for (size_t i = 0; i < 2000; ++i) {
    c.XValues[i] = static_cast<float>(2 * std::pow(10.0, 3.0 * double(i) / 1999));  // 2 Hz .. 2 kHz
    c.YValues[i] = levelAt2Hz + 10 * std::log10(c.XValues[i] / 2);
  }
  return c;
}

TEST(DrawUnits, RoundHalfToEvenAndStayInTheDrawingSpace) {
  EXPECT_EQ(ToDrawUnit(2.5), 2);
  EXPECT_EQ(ToDrawUnit(3.5), 4);
  EXPECT_EQ(ToDrawUnit(-7), 0);
  EXPECT_EQ(ToDrawUnit(1e300), 1200);
  EXPECT_EQ(ToDrawUnit(-std::numeric_limits<double>::infinity()), 0);
  EXPECT_EQ(ToDrawUnit(std::numeric_limits<double>::quiet_NaN()), 0);
}

class Pixels : public test::DrawingTest {
 protected:
  void SetUp() override {
    DrawingTest::SetUp();
    pic.resize(1200, 1200);
  }
  PictureBox pic;
};

// With ZENTOR_FRAME_PNG set the picture is kept there.
TEST_F(Pixels, FrameGridCurveAndTextLandWhereComputed) {
  FreqGraphFrame.GraphCaption = "Gated FFT 10 ms";
  DrawGraphFrame(FreqGraphFrame, pic);
  std::array<TestCurve, 32> set;
  set[0] = Slope(-20);
  set[0].NumCurves = 1;
  set[0].Label = "Curve 1";
  PlotCurve(FreqGraphFrame, pic, set[0], PlotColours[3]);
  DrawGraphTitleAndLegend(FreqGraphFrame, pic, set, "Bode", 32);
  const QImage& img = pic.Image();
  ASSERT_EQ(img.size(), QSize(1200, 1200));
  if (const char* path = std::getenv("ZENTOR_FRAME_PNG")) {
    EXPECT_TRUE(img.save(path));
  }

  const QRgb back = Rgb(PlotColours[1]), black = qRgb(0, 0, 0), blue = Rgb(PlotColours[3]);
  for (QPoint p : {QPoint(0, 0), QPoint(1199, 0), QPoint(0, 1199), QPoint(1199, 1199)}) EXPECT_EQ(img.pixel(p), back);
  EXPECT_EQ(img.pixel(700, 600), black);  // 0 dB row
  EXPECT_EQ(img.pixel(700, 100), black);  // top row, 30 dB
  EXPECT_EQ(img.pixel(250, 350), black);  // 10 Hz line: 99 + 500 log10(2) = 249.5 -> 250
  EXPECT_EQ(img.pixel(99, 350), black);   // 5 Hz, the left end
  EXPECT_EQ(img.pixel(1099, 350), black);
  EXPECT_EQ(img.pixel(260, 350), back);
  const TestCurve& c = set[0];
  for (size_t i = 0; i < 2000; i += 97) {
    const double f = c.XValues[i];
    if (f < 5 || f > 500) continue;
    const int x = static_cast<int>(std::lround(100 + 500 * std::log10(f / 5)));
    const int y = static_cast<int>(std::lround(600 - c.YValues[i] * 1000 / 60));
    EXPECT_TRUE(Near(img, x, y, blue)) << f;
  }
  for (int y = 100; y < 1200; ++y)
    for (int x = 1101; x < 1200; ++x) ASSERT_NE(img.pixel(x, y), blue) << x << "," << y;
  // Text shows: the legend's entry and the web label leave their colours.
  bool legend = false, web = false;
  for (int y = 5; y < 35; ++y)
    for (int x = 0; x < 30; ++x) legend |= img.pixel(x, y) == blue;
  for (int y = 1150; y < 1180; ++y)
    for (int x = 950; x < 1090; ++x) web |= img.pixel(x, y) == black;
  EXPECT_TRUE(legend);
  EXPECT_TRUE(web);
}

TEST_F(Pixels, XorDrawingTwiceRestoresThePicture) {
  DrawGraphFrame(FreqGraphFrame, pic);
  const QImage before = pic.Image().copy();
  pic.SetDrawMode(DrawMode::XorPen);
  TestCurve c = Slope(-25);
  // Background XOR curve colour shows the curve colour over the background.
  const ColourRef pen = PlotColours[1] ^ PlotColours[3];
  PlotCurve(FreqGraphFrame, pic, c, pen);
  const QImage& drawn = pic.Image();
  const int x = static_cast<int>(std::lround(100 + 500 * std::log10(30.0 / 5)));
  const int y = static_cast<int>(std::lround(600 - (-25 + 10 * std::log10(15.0)) * 1000 / 60));
  EXPECT_TRUE(Near(drawn, x, y, Rgb(PlotColours[3])));
  PlotCurve(FreqGraphFrame, pic, c, pen);
  EXPECT_EQ(pic.Image(), before);
}

TEST_F(Pixels, DrawingSpaceStretchesOverTheWidget) {
  pic.resize(600, 300);
  DrawGraphFrame(FreqGraphFrame, pic);
  const QImage& img = pic.Image();
  ASSERT_EQ(img.size(), QSize(600, 300));
  EXPECT_EQ(img.pixel(599, 299), Rgb(PlotColours[1]));
  EXPECT_TRUE(Near(img, 350, 150, qRgb(0, 0, 0)));  // 0 dB row at 600 of 1200
  EXPECT_TRUE(Near(img, 125, 80, qRgb(0, 0, 0)));   // 10 Hz line at 250 of 1200
}

TEST_F(Pixels, WaterfallSliceHidesWhatLiesBehind) {
  pic.SetBackColor(PlotColours[1]);
  WaterfallProjection w = test::TestProjection();
  std::array<float, kWaterfallSliceCells> slice{};
  slice[0] = 2;
  slice[1] = 30;  // levels: screen y 100 (clamped)
  slice[2] = 30;
  slice[2002] = 0;
  slice[2003] = 900;
  pic.Line({100, 500}, {1150, 500}, Pen{RGB(255, 0, 0)});
  DrawWaterfallSlice(w, pic, slice, RGB(0, 0, 255), 1);
  const QImage& img = pic.Image();
  EXPECT_EQ(img.pixel(600, 500), Rgb(PlotColours[1]));  // covered by the slice's fill
  EXPECT_EQ(img.pixel(150, 500), qRgb(255, 0, 0));      // outside it
  EXPECT_EQ(img.pixel(600, 100), qRgb(0, 0, 255));      // the outline
}

// The painter's own drawing, on a red line, of a wiggly curve standing on the baseline
// y = 900 with a point every `step` units and a spike every seventh: the oracle.
QImage PainterPicture(QSize size, const std::vector<DrawPoint>& points) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(QColor::fromRgb(Rgb(PlotColours[1])));
  QPainter p(&image);
  p.setWindow(0, 0, kDrawingSpace, kDrawingSpace);
  p.setViewport(0, 0, size.width(), size.height());
  p.setPen(QPen(Qt::red, 0));
  p.drawLine(0, 700, 1200, 700);
  p.setPen(QPen(Qt::blue, 0));
  p.setBrush(Qt::white);
  QPolygon polygon;
  for (const DrawPoint& q : points) polygon << QPoint(q.x, q.y);
  p.drawPolygon(polygon, Qt::OddEvenFill);
  return image;
}

// With at most one point to a pixel column the curve lands on the painter's very
// pixels at any scale. With many, the fill still does and the outline reaches the same
// top and bottom in every column; a few pixels of steep stretches may move sideways.
TEST_F(Pixels, CurveOverBaseDrawsAsThePainter) {
  for (const auto& [step, size] : {std::pair{3, QSize(1200, 1200)}, {3, QSize(797, 647)}, {3, QSize(1500, 1100)},
                                   {3, QSize(400, 1300)}, {1, QSize(240, 180)}, {1, QSize(797, 647)}}) {
    std::vector<DrawPoint> points{{100, 900}};
    for (int k = 0; 100 + step * k <= 1100; ++k) {
      const double y = 500 + 250 * std::sin(k * 0.05) + 120 * std::sin(k * 1.7) - (k % 7 == 0 ? 200 : 0);
      points.push_back({100 + step * k, std::clamp(static_cast<int>(std::lround(y)), 0, 900)});
    }
    points.insert(points.end(), {{points.back().x, 900}, {1100, 900}});
    pic.resize(size);
    pic.SetBackColor(PlotColours[1]);
    pic.Line({0, 700}, {1200, 700}, Pen{RGB(255, 0, 0)});
    pic.Polygon(points, Pen{RGB(0, 0, 255)}, RGB(255, 255, 255));
    const QImage& drawn = pic.Image();
    const QImage oracle = PainterPicture(size, points);
    if (step > 1) {
      EXPECT_EQ(drawn, oracle) << size.width();
      EXPECT_EQ(pic.DrawingSpaceImage(), PainterPicture(QSize(1200, 1200), points));
      continue;
    }
    int differing = 0, inked = 0, elsewhere = 0;
    for (int x = 0; x < size.width(); ++x) {
      int top[2] = {-1, -1}, bottom[2] = {-1, -1};
      for (int y = 0; y < size.height(); ++y) {
        const bool outline[2] = {drawn.pixel(x, y) == qRgb(0, 0, 255), oracle.pixel(x, y) == qRgb(0, 0, 255)};
        if (drawn.pixel(x, y) != oracle.pixel(x, y)) ++differing, elsewhere += !outline[0] && !outline[1];
        inked += outline[1];
        for (size_t k = 0; k < 2; ++k)
          if (outline[k]) top[k] = top[k] < 0 ? y : top[k], bottom[k] = y;
      }
      EXPECT_EQ(std::pair(top[0], bottom[0]), std::pair(top[1], bottom[1])) << size.width() << " column " << x;
    }
    EXPECT_EQ(elsewhere, 0) << size.width();
    EXPECT_LT(differing, inked / 20) << size.width();
  }
}

// A run of curves (a waterfall's slices, each in front of the last) is drawn
// together, their outlines side by side: the image is the one drawing them one by one gives.
TEST_F(Pixels, ARunOfCurvesDrawsAsOneByOne) {
  const auto curve = [](int k) {
    const int shift = 23 * k, base = 700 + 9 * k;
    std::vector<DrawPoint> points{{80 - shift, base}};
    for (int x = 80; x <= 1000; x += 2) {
      const double y = base - 300 + 140 * std::sin(x * 0.013 + k) + 60 * std::sin(x * 0.71 * (k + 1));
      points.push_back({x - shift, std::clamp(static_cast<int>(std::lround(y)), 0, base)});
    }
    points.insert(points.end(), {{points.back().x, base}, {1100 - shift, base}});
    return points;
  };
  QImage images[2];
  for (const bool oneByOne : {true, false}) {
    pic.resize(797, 647);
    pic.SetBackColor(PlotColours[1]);
    for (int k = 0; k < 12; ++k) {
      if (k == 6) pic.Line({0, 400}, {1200, 420}, Pen{RGB(255, 0, 0)});
      pic.Polygon(curve(k), Pen{RGB(0, 0, 40 * (k % 6)), k == 3 ? PenStyle::Dash : PenStyle::Solid},
                  RGB(255, 255, 20 * k));
      if (oneByOne) pic.Image();
    }
    images[oneByOne] = pic.Image().copy();
  }
  EXPECT_EQ(images[0], images[1]);
}

}  // namespace
}  // namespace zentor
