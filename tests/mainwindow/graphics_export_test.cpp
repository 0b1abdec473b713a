// The main window's "&Graphics Export" entries and its display options window.
#include <QAction>
#include <QDir>
#include <QImageReader>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QPainter>
#include <QSvgRenderer>
#include <QFile>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "core/records.h"
#include "display/display_options.h"
#include "display/plot_colours.h"
#include "display/view_state.h"
#include "main_window_fixture.h"
#include "mainwindow/graphics_export.h"
#include "platform/imaging.h"
#include "support/image_compare.h"
#include "support/silent_set.h"

namespace zentor {
namespace {

class PrinterDouble : public PrinterService {
 public:
  bool HasDefaultPrinter() override { return true; }
  bool PrintOnDefaultPrinter(const QImage& image) override {
    printed.push_back(image);
    return true;
  }
  std::vector<QImage> printed;
};

class GraphicsExportTest : public test::MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    SetPrinterService(&printer);
    w = Start();
  }
  void TearDown() override {
    SetPrinterService(nullptr);
    MainWindowTest::TearDown();
  }

  // Two decaying tones, shown in the impulse view.
  void ShowSyntheticImpulses() {
    test::LoadSilentSet(2, 48000, 15, 20.0f);
    for (size_t k = 0; k < 2; ++k)
      for (size_t i = 0; i < 4000; ++i)
        ImpulseSet[k][2400 + i] = static_cast<float>(std::exp(-double(i) / 300) * std::sin(0.05 * (k + 1) * double(i)));
    w->TimeBut_Click();
  }

  QImage ExportMain(const std::string& name) {
    dialogs.ExpectSaveFile(TempPath(name));
    w->ExportJPGMain->trigger();
    return QImageReader(QString::fromStdString(TempPath(name))).read();
  }

  PrinterDouble printer;
  DataPlotter* w = nullptr;
};

TEST_F(GraphicsExportTest, MainGraphIsTheSamePictureWhateverTheWindowSize) {
  w->resize(700, 450);
  ShowSyntheticImpulses();
  const QSize smallPicture = w->Picture1->size();
  const QImage small = w->Picture1->DrawingSpaceImage();
  const QImage smallJpeg = ExportMain("small.jpg");

  w->resize(1600, 1000);
  w->TimeBut_Click();
  ASSERT_NE(w->Picture1->size(), smallPicture);
  const QImage large = w->Picture1->DrawingSpaceImage();
  const QImage largeJpeg = ExportMain("large.jpg");
  if (const char* path = std::getenv("ZENTOR_EXPORT_PNG")) {
    EXPECT_TRUE(large.save(path));
  }

  ASSERT_EQ(smallJpeg.size(), QSize(1200, 1200));
  EXPECT_GE(test::Psnr(small, large), 30.0);
  EXPECT_GE(test::Psnr(smallJpeg, small), 30.0);
  EXPECT_GE(test::Psnr(smallJpeg, largeJpeg), 30.0);
  // The curves are in it: the first curve colour appears.
  const QColor curve(RedOf(PlotColours[3]), GreenOf(PlotColours[3]), BlueOf(PlotColours[3]));
  bool found = false;
  for (int y = 0; y < 1200 && !found; y += 2)
    for (int x = 0; x < 1200 && !found; ++x) found = large.pixelColor(x, y) == curve;
  EXPECT_TRUE(found);

  // A band being dragged over the graph stays out of the export and the print.
  w->Picture1->SetDrawMode(DrawMode::XorPen);
  w->Picture1->Rectangle({200, 200}, {900, 800}, Pen{RGB(255, 255, 255), PenStyle::Dash}, std::nullopt);
  w->Picture1->SetDrawMode(DrawMode::CopyPen);
  EXPECT_GE(test::Psnr(ExportMain("band.jpg"), large), 30.0);
  EXPECT_EQ(test::Psnr(ExportMain("band.jpg"), largeJpeg), std::numeric_limits<double>::infinity());
  w->MainPrint->trigger();
  ASSERT_EQ(printer.printed.size(), 1u);
  EXPECT_EQ(printer.printed[0], large);
}

TEST_F(GraphicsExportTest, WaterfallAndLargeRoomEntriesFollowTheirLinks) {
  for (QAction* a : {w->ExportJPGWaterfall, w->PrintWaterfall, w->ExportJPGLargeRoom, w->PrintLargeRoom})
    EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
  EXPECT_TRUE(w->ExportJPGMain->isEnabled());
  w->ExportJPGWaterfall->trigger();  // nothing asked, nothing written

  PictureBox waterfall, largeRoom;
  int created = 0;
  waterfall.resize(300, 200);
  waterfall.SetBackColor(RGB(0, 128, 0));
  largeRoom.SetBackColor(RGB(0, 0, 128));
  GraphicsExportHooks.WaterfallPicture = [&] {
    ++created;
    return &waterfall;
  };
  GraphicsExportHooks.LargeRoomPicture = [&] { return &largeRoom; };
  QMetaObject::invokeMethod(w->GraphicBut, "aboutToShow");
  for (QAction* a : {w->ExportJPGWaterfall, w->PrintWaterfall, w->ExportJPGLargeRoom, w->PrintLargeRoom})
    EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();

  dialogs.ExpectSaveFile(TempPath("fall"));
  w->ExportJPGWaterfall->trigger();
  const QImage fall = QImageReader(QString::fromStdString(TempPath("fall.jpg"))).read();
  ASSERT_EQ(fall.size(), QSize(1200, 1200));
  EXPECT_NEAR(fall.pixelColor(600, 600).green(), 128, 16);
  EXPECT_LT(fall.pixelColor(600, 600).blue(), 16);
  EXPECT_EQ(created, 1);
  w->PrintLargeRoom->trigger();
  ASSERT_EQ(printer.printed.size(), 1u);
  EXPECT_EQ(printer.printed[0].pixelColor(600, 600), QColor(0, 0, 128));

  // PNG and SVG at the picture's own size.
  const std::tuple<QAction*, const char*, PictureBox*> entries[] = {
      {w->ExportPNGWaterfall, "fall.png", &waterfall}, {w->ExportSVGWaterfall, "fall.svg", &waterfall},
      {w->ExportPNGLargeRoom, "room.png", &largeRoom}, {w->ExportSVGLargeRoom, "room.svg", &largeRoom}};
  for (const auto& [entry, name, picture] : entries) {
    dialogs.ExpectSaveFile(TempPath(name));
    entry->trigger();
    QImage image(picture->size(), QImage::Format_RGB32);
    if (std::string(name).ends_with(".png")) {
      image = QImageReader(QString::fromStdString(TempPath(name))).read();
    } else {
      QSvgRenderer r(QString::fromStdString(TempPath(name)));
      ASSERT_TRUE(r.isValid()) << name;
      QPainter p(&image);
      r.render(&p);
    }
    ASSERT_EQ(image.size(), picture->size()) << name;
    EXPECT_EQ(image.pixelColor(10, 10).rgb(), picture->ViewSizeImage().pixelColor(10, 10).rgb()) << name;
  }
}

// PNG and SVG beside the JPEG: the PNG is the view at its size, lossless; the SVG
// draws the curves as paths and the text as text, and renders to nearly the PNG.
TEST_F(GraphicsExportTest, PngAndSvgExportsShowTheViewAtItsSize) {
  w->resize(1000, 700);
  ShowSyntheticImpulses();
  dialogs.ExpectSaveFile(TempPath("view.main.png"));
  w->ExportPNGMain->trigger();
  const QImage png = QImageReader(QString::fromStdString(TempPath("view.png"))).read();
  ASSERT_EQ(png.size(), w->Picture1->size());
  EXPECT_EQ(png.convertToFormat(QImage::Format_RGB32), w->Picture1->ViewSizeImage());

  dialogs.ExpectSaveFile(TempPath("view"));
  w->ExportSVGMain->trigger();
  QFile file(QString::fromStdString(TempPath("view.svg")));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray svg = file.readAll();
  EXPECT_FALSE(svg.contains("<image"));
  EXPECT_GE(svg.count("<path") + svg.count("<polyline"), 2);
  EXPECT_TRUE(svg.contains(">zentor.example</text>"));

  QSvgRenderer renderer(svg);
  ASSERT_TRUE(renderer.isValid());
  QImage drawn(png.size(), QImage::Format_RGB32);
  drawn.fill(Qt::white);
  {
    QPainter p(&drawn);
    renderer.render(&p);
  }
  const QImage flat = png.convertToFormat(QImage::Format_RGB32);
  // The renderer smooths edges, so a one-pixel line lands half on each of two
  // pixels. A pixel counts as different when a channel moves by more than a third;
  // over 4 x 4 blocks the smoothing averages out and only real differences remain.
  const auto differing = [](const QImage& a, const QImage& b) {
    int64_t n = 0;
    for (int y = 0; y < a.height(); ++y)
      for (int x = 0; x < a.width(); ++x) {
        const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
        n += std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))}) > 85;
      }
    return double(n) / (double(a.width()) * a.height());
  };
  const QSize blocks = flat.size() / 4;
  const double pixelFraction = differing(drawn, flat);
  const double blockFraction = differing(drawn.scaled(blocks, Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
                                         flat.scaled(blocks, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
  RecordProperty("svg_png_differing_pixels", std::to_string(pixelFraction));
  RecordProperty("svg_png_differing_blocks", std::to_string(blockFraction));
  EXPECT_LT(pixelFraction, 0.05);
  EXPECT_LT(blockFraction, 0.005);
  if (const char* path = std::getenv("ZENTOR_EXPORT_SVG_PNG")) {
    EXPECT_TRUE(drawn.save(path));
    EXPECT_TRUE(flat.save(QString(path) + ".view.png"));
    QFile copy(QString(path) + ".svg");
    EXPECT_TRUE(copy.open(QIODevice::WriteOnly) && copy.write(svg) == svg.size());
  }

}

// Opened from the Display button for the view shown, it acts on the main window
// and leaves the window's pointer restored.
TEST_F(GraphicsExportTest, OptionsWindowActsOnTheMainWindowAndRestoresTheCursor) {
  ShowSyntheticImpulses();
  w->setCursor(Qt::CrossCursor);
  w->SetDisplayRes(2);
  BodeCurves[0].NumCurves = 2;
  std::vector<int> modes;
  dialogs.ExpectModal([&](QDialog* d) {
    modes.push_back(static_cast<DisplayControlForm*>(d)->Mode);
    return d->reject(), 0;
  });
  w->TimeBut->setChecked(true);
  w->Display->click();
  EXPECT_EQ(w->cursor().shape(), Qt::ArrowCursor);
  dialogs.ExpectModal([&](QDialog* d) {
    auto* f = static_cast<DisplayControlForm*>(d);
    modes.push_back(f->Mode);
    f->DisplayResText->setText("4.7");
    f->Apply->click();
    f->CurveNoText->setText("2");
    f->LevelText->setText("-3");
    f->Boost->click();
    return 0;
  });
  w->FreqBut->setChecked(true);
  w->Display->click();
  EXPECT_EQ(modes, (std::vector<int>{3, 4}));
  EXPECT_EQ(w->GetDisplayRes(), "4");
  EXPECT_EQ(BodeCurves[0].NumCurves, 0) << "the frequency caches were emptied";
  EXPECT_EQ(w->ResultsTakenButNotSaved, kTrue);
}

}  // namespace
}  // namespace zentor
