// The picture against the painter's own drawing, its replay in the drawing space, and its export and print.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/helpers.h"
#include "curve_fixture.h"
#include "display/graph_export.h"
#include "display/graph_frame.h"
#include "display/graph_primitives.h"
#include "display/plot_colours.h"
#include "platform/imaging.h"
#include "support/fixture.h"
#include "support/image_compare.h"

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

using Pixels = test::DrawingTest;

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
TEST_F(Pixels, XorRestoresSlicesHideUnitsRoundCurvesLandOnThePaintersPixelsAndRunsAsOneByOne) {
  PictureBox pic;
  pic.resize(1200, 1200);
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
  pic.SetDrawMode(DrawMode::CopyPen);

  // A waterfall slice hides what lies behind.
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
  // Drawing units round half to even and stay in the drawing space.
  EXPECT_EQ(ToDrawUnit(2.5), 2);
  EXPECT_EQ(ToDrawUnit(3.5), 4);
  EXPECT_EQ(ToDrawUnit(-7), 0);
  EXPECT_EQ(ToDrawUnit(1e300), 1200);
  EXPECT_EQ(ToDrawUnit(-std::numeric_limits<double>::infinity()), 0);
  EXPECT_EQ(ToDrawUnit(std::numeric_limits<double>::quiet_NaN()), 0);
  // Curves against the painter's own drawing; a run of curves draws as one by one.
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
  // A run of curves (a waterfall's slices, each in front of the last) drawn together, their outlines side by side, gives the image drawing them one by one does.
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

// Prints into an image, or fails on request.
class PrinterDouble : public PrinterService {
 public:
  bool HasDefaultPrinter() override { return installed; }
  bool PrintOnDefaultPrinter(const QImage& image) override {
    printed.push_back(image);
    return works;
  }
  bool installed = true;
  bool works = true;
  std::vector<QImage> printed;
};

class ExportTest : public test::DrawingTest {
 protected:
  void SetUp() override {
    DrawingTest::SetUp();
    SetPrinterService(&printer);
  }
  void TearDown() override {
    SetPrinterService(nullptr);
    ZentorTest::TearDown();
  }

  // A frequency graph with a rising and a falling curve.
  static void DrawGraph(PictureBox& pic) {
    DrawGraphFrame(FreqGraphFrame, pic);
    test::TestCurve up, down;
    up.NumPoints = down.NumPoints = 500;
    for (size_t i = 0; i < 500; ++i) {
      const float f = static_cast<float>(20 * std::pow(1000.0, double(i) / 499));
      up.XValues[i] = down.XValues[i] = f;
      up.YValues[i] = static_cast<float>(-20 + 10 * std::log10(f / 20));
      down.YValues[i] = static_cast<float>(15 - 10 * std::log10(f / 20));
    }
    PlotCurve(FreqGraphFrame, pic, up, PlotColours[3]);
    PlotCurve(FreqGraphFrame, pic, down, PlotColours[6]);
  }

  PrinterDouble printer;
};

TEST_F(ExportTest, ReplayIsThePictureAtFullSizeWithoutXorDrawingAndTheExportAndPrintOfIt) {
  PictureBox small, full;
  small.resize(700, 450);
  full.resize(kDrawingSpace, kDrawingSpace);
  DrawGraph(small);
  DrawGraph(full);
  const QImage replay = small.DrawingSpaceImage();
  ASSERT_EQ(replay.size(), QSize(1200, 1200));
  EXPECT_EQ(replay, full.Image().convertToFormat(replay.format())) << "one pixel per drawing unit";
  EXPECT_EQ(full.DrawingSpaceImage(), replay);
  EXPECT_EQ(small.Image().size(), QSize(700, 450)) << "the window's own image is left as it was";

  // Only what follows the last clear is replayed, and no XOR drawing.
  PictureBox pic;
  pic.resize(700, 450);
  pic.SetBackColor(RGB(0, 0, 0));
  pic.Line({0, 0}, {1199, 1199}, Pen{RGB(255, 255, 255)});
  DrawGraph(pic);  // clears to the background first
  // A rubber band drawn as the zoom draws it: with the XOR pen.
  pic.SetDrawMode(DrawMode::XorPen);
  pic.Rectangle({300, 300}, {700, 600}, Pen{RGB(255, 255, 255), PenStyle::Dash}, std::nullopt);
  pic.SetDrawMode(DrawMode::CopyPen);
  EXPECT_NE(pic.Image(), small.Image()) << "the band is on screen";
  EXPECT_EQ(pic.DrawingSpaceImage(), replay);
  // The export writes the full picture as a JPEG under the name with its extension, and reports a failed write.
  EXPECT_EQ(JpegExportName("/d/graph.second.jpg"), "/d/graph.second.jpg");
  EXPECT_EQ(JpegExportName("/d/graph"), "/d/graph.jpg");
  EXPECT_EQ(JpegExportName("/d/a.b/x"), "/d/a.b/x.jpg");
  EXPECT_EQ(JpegExportName("/d/a.b/x.png"), "/d/a.b/x.jpg");
  pic.resize(640, 480);
  DrawGraph(pic);
  dialogs.ExpectSaveFile(TempPath("graph.second.JPG"));
  ExportPictureAsJpeg(pic);
  ASSERT_EQ(dialogs.calls().size(), 1u);
  const test::DialogCall& ask = dialogs.calls()[0];
  EXPECT_EQ(std::tuple(ask.kind, ask.title, ask.filter, ask.fileName),
            std::tuple(test::DialogCall::SaveFile, std::string("Save *.jpg File"),
                       std::string("JPG Graphic Export (*.jpg)|*.jpg"), std::string("ZentorGraphic.jpg")));
  EXPECT_EQ(QDir(tempDir.path()).entryList(QDir::Files), QStringList{"graph.second.jpg"});

  QImageReader reader(QString::fromStdString(TempPath("graph.second.jpg")));
  EXPECT_EQ(reader.format(), "jpeg");
  const QImage jpeg = reader.read();
  ASSERT_EQ(jpeg.size(), QSize(1200, 1200));
  EXPECT_GE(test::Psnr(jpeg, pic.DrawingSpaceImage()), 30.0);

  // A cancel is quiet and a failed write is reported.
  dialogs.ExpectSaveFile(std::nullopt);
  ExportPictureAsJpeg(pic);
  EXPECT_EQ(QDir(tempDir.path()).entryList(QDir::Files), QStringList{"graph.second.jpg"});

  // A folder that cannot hold files, whoever runs the test: a file stands in its place.
  QFile blocker(QString::fromStdString(TempPath("notafolder")));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  const std::string name = TempPath("notafolder/x.y.jpg");
  dialogs.ExpectSaveFile(TempPath("notafolder/x.y.jpg"));
  dialogs.ExpectMessage();
  ExportPictureAsJpeg(pic);
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Error 4977: Error writing file " + name});
  EXPECT_FALSE(QFile::exists(QString::fromStdString(name)));
  // A print goes to the default printer without a dialog, or else to a PDF file.
  dialogs.Clear();
  pic.resize(300, 900);
  DrawGraph(pic);
  PrintPicture(pic);
  ASSERT_EQ(printer.printed.size(), 1u);
  EXPECT_EQ(printer.printed[0], pic.DrawingSpaceImage());

  printer.works = false;
  dialogs.ExpectMessage();
  PrintPicture(pic);
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Error 4978: Error printing graph"});
  // The picture goes on working after the failure.
  pic.Line({0, 0}, {100, 100}, Pen{0});
  EXPECT_EQ(pic.DrawingSpaceImage().pixelColor(50, 50), QColor(0, 0, 0));
  // A page prints the largest centred square.
  EXPECT_EQ(LargestCentredSquare(QRect(0, 0, 800, 600)), QRect(100, 0, 600, 600));
  EXPECT_EQ(LargestCentredSquare(QRect(10, 20, 500, 900)), QRect(10, 220, 500, 500));
  EXPECT_EQ(LargestCentredSquare(QRect(0, 0, 0, 50)), QRect(0, 25, 0, 0));

  // Without a printer the picture goes into a PDF file.
  printer.installed = false;
  printer.printed.clear();
  dialogs.Clear();
  const std::string path = TempPath("print.pdf");
  dialogs.ExpectSaveFile(path);
  PrintPicture(pic);
  ASSERT_EQ(dialogs.calls().size(), 1u);
  const test::DialogCall& pdfAsk = dialogs.calls()[0];
  EXPECT_EQ(std::tuple(pdfAsk.title, pdfAsk.filter, pdfAsk.fileName),
            std::tuple(std::string("Save *.pdf File"), std::string("PDF File (*.pdf)|*.pdf"),
                       std::string("ZentorGraphic.pdf")));
  EXPECT_TRUE(printer.printed.empty());
  QFile pdf(QString::fromStdString(path));
  ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
  EXPECT_TRUE(pdf.read(5) == "%PDF-");
  EXPECT_GT(pdf.size(), 10000) << "the picture is in it";

  dialogs.ExpectSaveFile(std::nullopt);
  PrintPicture(pic);
  dialogs.ExpectSaveFile(TempPath("missing/print.pdf"));
  dialogs.ExpectMessage();
  PrintPicture(pic);
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Error 4978: Error printing graph"});
}

}  // namespace
}  // namespace zentor
