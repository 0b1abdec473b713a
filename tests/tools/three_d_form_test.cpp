// The waterfall window: when it asks and recomputes, its controls, closing and
// unloading, its links from the main window, and what it shows.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QtTest/qtestspontaneevent.h>
#include <cstdlib>
#include <string>

#include "display/plot_colours.h"
#include "display/view_state.h"
#include "mainwindow/main_window_links.h"
#include "platform/text_boxes.h"
#include "platform/window_placement.h"
#include "support/image_compare.h"
#include "waterfall_fixture.h"

namespace zentor {
namespace {

class ThreeDFormTest : public test::WaterfallTest {
 protected:
  bool MenuShown() const { return main->WaterfallGraphic->menuAction()->isVisible(); }
  void ApplyPeak(float q1) {
    AppliedFilters[0].Count = 1;
    AppliedFilters[0].Freq1 = 6283;
    AppliedFilters[0].Q1 = q1;
    AppliedFilters[0].Q2 = 2;
    AppliedFilters[0].EQEmulationCode = 1;
  }
  static QColor Colour(ColourRef c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }
  // Pixels of the picture in a colour.
  static int64_t Count(const QImage& image, const QColor& c) {
    int64_t n = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) n += image.pixelColor(x, y) == c;
    return n;
  }
};

TEST_F(ThreeDFormTest, AsksOnceAndRecomputesOnlyWhatChanged) {
  LoadSet(2);
  AddResonance(0, 500, 10);
  AddResonance(1, 2000, 5);
  for (MsgAnswer refuse : {MsgAnswer::No, MsgAnswer::Cancel}) {
    ThreeDForm* f = Open(refuse);
    EXPECT_FALSE(f->isVisible());
    EXPECT_FALSE(main->GetBusy());
    EXPECT_FALSE(MenuShown());
    EXPECT_EQ(f->Computations, (std::array<int32_t, 2>{0, 0}));
  }
  const test::DialogCall& question = dialogs.calls().front();
  EXPECT_EQ(question.text, " Recalculate waterfall with new limits and/or gate time  ?");
  EXPECT_EQ(question.title, "Mirabelt Zentor");
  EXPECT_EQ(question.buttons, MsgButtons::YesNoCancel);
  EXPECT_EQ(question.icon, MsgIcon::Exclamation);

  ThreeDForm* f = Open();
  EXPECT_EQ(f->Computations, (std::array<int32_t, 2>{1, 0}));
  EXPECT_TRUE(f->isVisible());
  EXPECT_TRUE(MenuShown());
  EXPECT_FALSE(main->GetBusy());
  EXPECT_EQ(f->windowTitle().toStdString(), "Waterfall Plot /room.cfa");
  EXPECT_EQ(f->CurveCount, 2);
  OpenUnasked();
  EXPECT_EQ(f->Computations, (std::array<int32_t, 2>{1, 0}));

  ApplyPeak(-4);  // a filter alone: the filtered set, unasked
  OpenUnasked();
  EXPECT_EQ(f->Computations, (std::array<int32_t, 2>{1, 1}));
  OpenUnasked();
  EXPECT_EQ(f->Computations, (std::array<int32_t, 2>{1, 1}));

  AppliedFilters[0].Count = 0;  // no filter: the unfiltered slices, nothing computed
  OpenUnasked();
  EXPECT_EQ(f->Computations, (std::array<int32_t, 2>{1, 1}));
  for (size_t s = 0; s < 35; ++s) {
    ASSERT_EQ(f->FilteredSlices[s].Count, f->UnfilteredSlices[s].Count);
    ASSERT_EQ(f->FilteredSlices[s].Levels, f->UnfilteredSlices[s].Levels);
  }
  EXPECT_EQ(f->FilteredFrame.Span, f->UnfilteredFrame.Span);
  EXPECT_EQ(f->FilteredFrame.YHigh, f->UnfilteredFrame.YHigh);

  ApplyPeak(-4);  // the same filter again is filtered again
  OpenUnasked();
  EXPECT_EQ(f->Computations, (std::array<int32_t, 2>{1, 2}));

  ResultsDataSetInfo[0].FreqRespGateTime = 30;  // a new gate: both, after asking
  Open();
  EXPECT_EQ(f->Computations, (std::array<int32_t, 2>{2, 3}));

  main->SetBusy(kTrue);
  f->setWindowTitle("kept");
  ResultsDataSetInfo[0].FreqRespGateTime = 40;
  OpenUnasked();
  EXPECT_EQ(f->windowTitle().toStdString(), "kept");
  EXPECT_EQ(f->Computations, (std::array<int32_t, 2>{2, 3}));
  EXPECT_TRUE(main->GetBusy());
  main->SetBusy(kFalse);
}

TEST_F(ThreeDFormTest, AGateTooLongForTheImpulseComputesNothing) {
  LoadSet(1, 200, 15);
  AddResonance(0, 1000, 10);
  ThreeDForm* f = Open();  // 682.7 ms hold a span of 682.7 - 360 ms
  EXPECT_NEAR(f->UnfilteredFrame.Span, 32768.0 / 48 - 360, 1e-3);
  const float kept = f->CurveSliceStore[0].Levels[10];

  ResultsDataSetInfo[0].FreqRespGateTime = 500;
  dialogs.ExpectMessage(MsgAnswer::Yes);
  dialogs.ExpectMessage();
  OpenUnasked();
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 5492: Gate time too long for a waterfall of this impulse length");
  EXPECT_FALSE(f->isVisible());
  EXPECT_FALSE(main->GetBusy());
  EXPECT_EQ(f->CurveSliceStore[0].Levels[10], kept);
  EXPECT_TRUE(WaterfallSettingsEqual(f->StoredSettings, WaterfallSettings{}));
  ResultsDataSetInfo[0].FreqRespGateTime = 200;
  Open();  // asks again
  EXPECT_TRUE(f->isVisible());
}

TEST_F(ThreeDFormTest, NoPointWithinTheLimitsLeavesOnlyTheBackground) {
  LoadSet(1);
  AddResonance(0, 1000, 10);
  FreqGraphFrame.XStart = 23500;  // above the last slice point
  FreqGraphFrame.XFinish = 23900;
  BodeCurves[0].XValues[1] = 24000;
  dialogs.ExpectMessage(MsgAnswer::Yes);
  dialogs.ExpectMessage();
  ThreeDForm* f = OpenUnasked();
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 5431");
  const QImage image = f->Picture1->DrawingSpaceImage();
  EXPECT_EQ(Count(image, Colour(PlotColours[1])), int64_t{1200} * 1200);
}

TEST_F(ThreeDFormTest, ArrowsAndCurveNumberShowSingleResults) {
  LoadSet(3);
  for (size_t c = 0; c < 3; ++c) AddResonance(c, 1500, 6);  // identical results
  ThreeDForm* f = Open();
  f->Filter->click();
  EXPECT_TRUE(f->Filter->isChecked());

  f->RightArrowBut->click();
  EXPECT_EQ(f->CurrentCurve, 2);
  EXPECT_EQ(f->CurveNoText->text(), "2");
  EXPECT_EQ(f->Label1->text(), "Single Impulse");
  EXPECT_TRUE(f->Unfiltered->isChecked());
  // One of identical results: its slices are the average, no correction applied.
  for (size_t s = 0; s < 35; ++s) {
    ASSERT_EQ(f->CurveWorkSlices[s].Count, f->UnfilteredSlices[s].Count);
    for (size_t i = 0; i < 2000; i += 11)
      ASSERT_NEAR(f->CurveWorkSlices[s].Levels[i], f->UnfilteredSlices[s].Levels[i], 1e-4) << s << " " << i;
  }
  f->RightArrowBut->click();
  f->RightArrowBut->click();
  EXPECT_EQ(f->CurrentCurve, 1);  // past the last: back to 1
  f->LeftArrowBut->click();
  EXPECT_EQ(f->CurrentCurve, 3);  // below 1: to the last
  EXPECT_EQ(f->CurveNoText->text(), "3");

  const QImage single = f->Picture1->DrawingSpaceImage();
  for (const char* bad : {"0", "4"}) {
    f->CurveNoText->setText(bad);
    dialogs.ExpectMessage();
    f->CurveNoText_KeyPress(13);
    EXPECT_EQ(dialogs.MessageTexts().back(), "User Error: Input must be between 1 and 3");
    EXPECT_EQ(f->CurveNoText->palette().color(QPalette::Base), QColor(kInvalidFieldRed, 0, 0));
    EXPECT_EQ(f->Picture1->DrawingSpaceImage(), single) << bad;
  }
  f->CurveNoText->setText("2");
  f->CurveNoText_KeyPress(13);
  EXPECT_EQ(f->CurrentCurve, 2);
  EXPECT_EQ(f->Label1->text(), "Single Impulse");

  f->Filter->click();
  EXPECT_TRUE(f->Filter->isChecked());
  EXPECT_EQ(f->Label1->text(), "Averaged");
  EXPECT_NE(f->Picture1->DrawingSpaceImage(), single);
}

TEST_F(ThreeDFormTest, UserCloseHidesAndProgramUnloadDrops) {
  LoadSet(1);
  AddResonance(0, 800, 10);
  ThreeDForm* f = Open();
  QCloseEvent byUser;
  QSpontaneKeyEvent::setSpontaneous(&byUser);
  QApplication::instance()->notify(f, &byUser);  // as the window system delivers it
  EXPECT_FALSE(byUser.isAccepted());
  EXPECT_FALSE(f->isVisible());
  EXPECT_FALSE(MenuShown());
  ASSERT_TRUE(Forms::IsLoaded<ThreeDForm>());

  OpenUnasked();  // the stored waterfall again, nothing recomputed
  EXPECT_TRUE(f->isVisible());
  EXPECT_TRUE(MenuShown());
  EXPECT_EQ(f->Computations, (std::array<int32_t, 2>{1, 0}));

  EXPECT_TRUE(f->close());  // closed by the program: goes ahead
  EXPECT_FALSE(MenuShown());
  OpenUnasked();
  EXPECT_TRUE(main->ClearExtDisplay());
  EXPECT_FALSE(Forms::IsLoaded<ThreeDForm>());
  EXPECT_FALSE(MenuShown());
  EXPECT_EQ(Open()->Computations, (std::array<int32_t, 2>{1, 0}));  // a new window asks again
}

TEST_F(ThreeDFormTest, MainWindowOpensExportsAndPrintsThroughItsLinks) {
  LoadSet(1);
  AddResonance(0, 800, 10);
  EXPECT_TRUE(main->ThreeDBut->isEnabled());
  EXPECT_TRUE(main->Waterfall->isEnabled());

  // The picture link creates the window without computing.
  QMetaObject::invokeMethod(main->GraphicBut, "aboutToShow");
  dialogs.ExpectSaveFile(TempPath("empty"));
  main->ExportJPGWaterfall->trigger();
  ASSERT_TRUE(Forms::IsLoaded<ThreeDForm>());
  ThreeDForm* f = Forms::Get<ThreeDForm>();
  EXPECT_EQ(f->Computations, (std::array<int32_t, 2>{0, 0}));
  EXPECT_FALSE(f->isVisible());

  DisplayConfig.Graphshown = kBodeView;
  ResultFileName = "hall.cfa";
  dialogs.ExpectMessage(MsgAnswer::Yes);
  main->ThreeDBut->click();
  EXPECT_EQ(f->windowTitle().toStdString(), "Waterfall Plot /hall.cfa");
  EXPECT_EQ(f->Computations, (std::array<int32_t, 2>{1, 0}));

  dialogs.ExpectSaveFile(TempPath("fall"));
  main->ExportJPGWaterfall->trigger();
  const QImage jpeg = QImageReader(QString::fromStdString(TempPath("fall.jpg"))).read();
  ASSERT_EQ(jpeg.size(), QSize(1200, 1200));
  EXPECT_GT(test::Psnr(jpeg, f->Picture1->DrawingSpaceImage()), 25);
}

TEST_F(ThreeDFormTest, ResizeLaysOutAndRedraws) {
  LoadSet(1);
  AddResonance(0, 800, 10);
  ThreeDForm* f = Open();
  f->resize(900, 820);
  const double w = PixelsToTwips(900), h = PixelsToTwips(820);
  EXPECT_EQ(f->Picture1->x(), TwipsToPixels(25));
  EXPECT_EQ(f->Picture1->width(), TwipsToPixels(w - 50));
  EXPECT_EQ(f->Picture1->height(), TwipsToPixels(h - PixelsToTwips(f->Filter->height()) - 500));
  EXPECT_EQ(f->Filter->y(), f->Picture1->height());
  EXPECT_EQ(f->Unfiltered->y(), f->Picture1->height());
  EXPECT_EQ(f->CurveNoText->y(), f->Picture1->height() + f->CurveNoText->height() / 10);
  const QImage& shown = f->Picture1->Image();
  EXPECT_EQ(shown.size(), f->Picture1->size());
  EXPECT_GT(Count(shown, Colour(PlotColours[3])), 1000);  // the slices, drawn at the new size
}

// The two-resonance waterfall, averaged and single, saved for looking at when
// ZENTOR_WATERFALL_PNG names a path prefix.
TEST_F(ThreeDFormTest, RendersTheTwoResonanceWaterfall) {
  LoadSet(2);
  AddResonance(0, 300, 20);
  AddResonance(0, 3000, 10);
  AddResonance(1, 300, 20, 0.5);
  AddResonance(1, 3000, 10, 0.5);
  FreqGraphFrame.XFinish = 6000;
  ThreeDForm* f = Open();
  const QImage averaged = f->Picture1->DrawingSpaceImage();
  f->RightArrowBut->click();
  const QImage single = f->Picture1->DrawingSpaceImage();
  EXPECT_GT(Count(averaged, Colour(PlotColours[3])), 5000);
  EXPECT_NE(averaged, single);
  if (const char* prefix = std::getenv("ZENTOR_WATERFALL_PNG")) {
    EXPECT_TRUE(averaged.save(QString::fromUtf8(prefix) + "averaged.png"));
    EXPECT_TRUE(single.save(QString::fromUtf8(prefix) + "single.png"));
    EXPECT_TRUE(f->grab().save(QString::fromUtf8(prefix) + "window.png"));
  }
}

// A window lands inside the screen's available area as it is shown: where it fits it
// keeps its size and place, otherwise it is shrunk and moved onto the screen.
TEST_F(ThreeDFormTest, WindowsOpenInsideTheScreen) {
  const QRect desktop(0, 0, 1600, 1000), small(0, 24, 1024, 676);
  EXPECT_EQ(PlaceInside({100, 50, 800, 700}, {}, desktop), QRect(100, 50, 800, 700));
  EXPECT_EQ(PlaceInside({1000, 500, 800, 700}, {}, desktop), QRect(800, 300, 800, 700));
  EXPECT_EQ(PlaceInside({-20, 10, 2000, 700}, {}, small), QRect(0, 24, 1024, 676));
  EXPECT_EQ(PlaceInside({300, 300, 900, 900}, {1100, 400}, small), QRect(0, 24, 1100, 676));

  QRect area = desktop;
  const WindowsOnScreen onScreen([&](const QWidget&) { return area; });
  LoadSet(1);
  ThreeDForm* f = Forms::Get<ThreeDForm>();
  f->move(300, 200);
  dialogs.ExpectMessage(MsgAnswer::Yes);
  f->Initialize("room.cfa");
  ASSERT_TRUE(f->isVisible());
  EXPECT_EQ(f->pos(), QPoint(300, 200));
  EXPECT_EQ(f->size(), QSize(800, 700));

  const auto reshow = [](QWidget* window) {
    window->hide();
    window->move(700, 400);
    window->show();
  };
  area = small;
  reshow(f);
  EXPECT_TRUE(area.contains(f->geometry()));
  EXPECT_LT(f->height(), 700);
  // The main window's panel needs more width than this screen has: it keeps its
  // minimum width from the left edge, its height fitted and its panel arranged anew.
  reshow(main);
  EXPECT_EQ(main->x(), 0);
  EXPECT_EQ(main->width(), main->minimumWidth());
  EXPECT_TRUE(area.contains(QRect(0, main->y(), 1, main->height())));
  EXPECT_LT(main->Picture1->geometry().bottom(), main->centralWidget()->height());
  area = desktop;
  reshow(main);
  EXPECT_TRUE(area.contains(main->geometry()));
  if (const char* prefix = std::getenv("ZENTOR_WATERFALL_PNG")) {
    EXPECT_TRUE(main->grab().save(QString::fromUtf8(prefix) + "main_small_screen.png"));
    EXPECT_TRUE(f->grab().save(QString::fromUtf8(prefix) + "window_small_screen.png"));
  }
}

}  // namespace
}  // namespace zentor
