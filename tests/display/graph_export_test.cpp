// The picture replayed in the whole drawing space, and its export as a JPEG file
// or a print through the imaging seam.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <cmath>
#include <tuple>
#include <string>
#include <vector>

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

TEST_F(ExportTest, ReplayIsThePictureAtFullSizeWhateverTheWindowWithoutXorDrawing) {
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
}

TEST_F(ExportTest, JpegNameTakesTheStemOfTheFileNameOnly) {
  EXPECT_EQ(JpegExportName("/d/graph.second.jpg"), "/d/graph.jpg");
  EXPECT_EQ(JpegExportName("/d/graph"), "/d/graph.jpg");
  EXPECT_EQ(JpegExportName("/d/a.b/x"), "/d/a.b/x.jpg");
  EXPECT_EQ(JpegExportName("/d/a.b/x.png"), "/d/a.b/x.jpg");
}

TEST_F(ExportTest, ExportWritesTheFullPictureAsJpeg) {
  PictureBox pic;
  pic.resize(640, 480);
  DrawGraph(pic);
  dialogs.ExpectSaveFile(TempPath("graph.second.jpg"));
  ExportPictureAsJpeg(pic);
  ASSERT_EQ(dialogs.calls().size(), 1u);
  const test::DialogCall& ask = dialogs.calls()[0];
  EXPECT_EQ(std::tuple(ask.kind, ask.title, ask.filter, ask.fileName),
            std::tuple(test::DialogCall::SaveFile, std::string("Save *.jpg File"),
                       std::string("JPG Graphic Export (*.jpg)|*.jpg"), std::string("ZentorGraphic.jpg")));
  EXPECT_EQ(QDir(tempDir.path()).entryList(QDir::Files), QStringList{"graph.jpg"});

  QImageReader reader(QString::fromStdString(TempPath("graph.jpg")));
  EXPECT_EQ(reader.format(), "jpeg");
  const QImage jpeg = reader.read();
  ASSERT_EQ(jpeg.size(), QSize(1200, 1200));
  EXPECT_GE(test::Psnr(jpeg, pic.DrawingSpaceImage()), 30.0);
  const QColor back(RedOf(PlotColours[1]), GreenOf(PlotColours[1]), BlueOf(PlotColours[1]));
  for (int y = 5; y < 25; ++y)
    for (int x = 5; x < 25; ++x) {
      const QColor c = jpeg.pixelColor(x, y);
      ASSERT_LE(std::max({std::abs(c.red() - back.red()), std::abs(c.green() - back.green()),
                          std::abs(c.blue() - back.blue())}),
                16)
          << x << "," << y;
    }
}

TEST_F(ExportTest, CancelIsQuietAndAFailedWriteIsReported) {
  PictureBox pic;
  DrawGraph(pic);
  dialogs.ExpectSaveFile(std::nullopt);
  ExportPictureAsJpeg(pic);
  EXPECT_TRUE(dialogs.MessageTexts().empty());
  EXPECT_TRUE(QDir(tempDir.path()).entryList(QDir::Files).isEmpty());

  // A folder that cannot hold files, whoever runs the test: a file stands in its place.
  QFile blocker(QString::fromStdString(TempPath("notafolder")));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  const std::string name = TempPath("notafolder/x.jpg");
  dialogs.ExpectSaveFile(TempPath("notafolder/x.y.jpg"));
  dialogs.ExpectMessage();
  ExportPictureAsJpeg(pic);
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Error 4977: Error writing file " + name});
  EXPECT_FALSE(QFile::exists(QString::fromStdString(name)));
}

TEST_F(ExportTest, PrintGoesToTheDefaultPrinterWithoutADialog) {
  PictureBox pic;
  pic.resize(300, 900);
  DrawGraph(pic);
  PrintPicture(pic);
  EXPECT_TRUE(dialogs.calls().empty());
  ASSERT_EQ(printer.printed.size(), 1u);
  EXPECT_EQ(printer.printed[0], pic.DrawingSpaceImage());

  printer.works = false;
  dialogs.ExpectMessage();
  PrintPicture(pic);
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Error 4978: Error printing graph"});
  // The picture goes on working after the failure.
  pic.Line({0, 0}, {100, 100}, Pen{0});
  EXPECT_EQ(pic.DrawingSpaceImage().pixelColor(50, 50), QColor(0, 0, 0));
}

TEST_F(ExportTest, WithoutAPrinterThePictureGoesIntoAPdfFile) {
  printer.installed = false;
  PictureBox pic;
  DrawGraph(pic);
  const std::string path = TempPath("print.pdf");
  dialogs.ExpectSaveFile(path);
  PrintPicture(pic);
  ASSERT_EQ(dialogs.calls().size(), 1u);
  const test::DialogCall& ask = dialogs.calls()[0];
  EXPECT_EQ(std::tuple(ask.title, ask.filter, ask.fileName),
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

TEST(PrintedPage, LargestCentredSquare) {
  EXPECT_EQ(LargestCentredSquare(QRect(0, 0, 800, 600)), QRect(100, 0, 600, 600));
  EXPECT_EQ(LargestCentredSquare(QRect(10, 20, 500, 900)), QRect(10, 220, 500, 500));
  EXPECT_EQ(LargestCentredSquare(QRect(0, 0, 0, 50)), QRect(0, 25, 0, 0));
}

}  // namespace
}  // namespace zentor
