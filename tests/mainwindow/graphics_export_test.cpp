// The main window's "&Graphics Export" entries and its display options window.
#include <QAction>
#include <QDir>
#include <QImageReader>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
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
}

TEST_F(GraphicsExportTest, OptionsWindowOpensFromTheDisplayButtonAndRestoresTheCursor) {
  test::LoadSilentSet(2, 48000, 15, 20.0f);
  w->setCursor(Qt::CrossCursor);
  int mode = 0;
  dialogs.ExpectModal([&](QDialog* d) {
    auto* f = qobject_cast<DisplayControlForm*>(d);
    if (!f) return 0;
    mode = f->Mode;
    f->reject();
    return 0;
  });
  w->TimeBut->setChecked(true);
  w->Display->click();
  EXPECT_EQ(mode, 3);
  EXPECT_EQ(w->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(GraphicsExportTest, OptionsWindowActsOnTheMainWindow) {
  ShowSyntheticImpulses();
  w->SetDisplayRes(2);
  BodeCurves[0].NumCurves = 2;
  dialogs.ExpectModal([&](QDialog* d) {
    auto* f = qobject_cast<DisplayControlForm*>(d);
    if (!f) return 0;
    f->DisplayResText->setText("4.7");
    f->Apply->click();
    f->CurveNoText->setText("2");
    f->LevelText->setText("-3");
    f->Boost->click();
    return 0;
  });
  w->FreqBut->setChecked(true);
  w->Display->click();
  EXPECT_EQ(w->GetDisplayRes(), "4");
  EXPECT_EQ(BodeCurves[0].NumCurves, 0) << "the frequency caches were emptied";
  EXPECT_EQ(w->ResultsTakenButNotSaved, kTrue);
}

}  // namespace
}  // namespace zentor
