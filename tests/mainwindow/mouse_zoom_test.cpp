// The mouse zoom through real mouse events on the shown main window: limits from
// a drag between drawn grid lines, zooming out, the band over the picture, the
// fit range, the coordinate lock window and the window's pointer.
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cstdlib>
#include <string>
#include <vector>

#include "display/coord_lock.h"
#include "display/dispatcher.h"
#include "display/frequency_views.h"
#include "display/mouse_zoom.h"
#include "views_fixture.h"

namespace zentor {
namespace {

using Kind = RecordingSurface::Kind;

class MouseZoom : public test::ViewsTest {
 protected:
  void SetUp() override {
    ViewsTest::SetUp();
    w->Picture1->setFixedSize(1200, 1200);
    DisplayConfig.Graphshown = kBodeView;
    DisplayConfig.FFTSelected = kTrue;
    DisplayConfig.FractOctSelected = kTrue;
    w->FreqBut->setChecked(true);
    GraphFrame& f = FreqGraphFrame;
    f.LogX = kTrue;
    f.XStart = 20;
    f.XFinish = 20000;
    f.YLow = -50;
    f.YHigh = 20;
    for (auto* slot : {&ViewBuilders.ShowFFTResponseSet, &ViewBuilders.ShowFractOctResponseSet})
      *slot = [this, slot](GraphHost& h, int32_t first) {
        redraws.push_back(first);
        return slot == &ViewBuilders.ShowFFTResponseSet ? ShowFFTResponseSet(h, first)
                                                        : ShowFractOctResponseSet(h, first);
      };
    rec.Clear();
    w->DisplayResults(kRedrawFiledCurves);
    redraws.clear();
  }

  // The drawn grid line under or beside a label, found among the recorded calls.
  int GridX(const std::string& label) const { return Grid(label, true); }
  int GridY(const std::string& label) const { return Grid(label, false); }
  int Grid(const std::string& label, bool vertical) const {
    int at = -1;
    for (const auto& t : rec.Of(Kind::Text))
      if (t.text == label) at = vertical ? t.points[0].x + 5 * int(label.size()) : t.points[0].y + 15;
    int best = -1;
    for (const auto& l : rec.Of(Kind::Line)) {
      const DrawPoint a = l.points[0], b = l.points[1];
      const bool isGrid = vertical ? a.x == b.x && std::abs(a.y - b.y) >= 500 : a.y == b.y && std::abs(a.x - b.x) >= 500;
      const int pos = vertical ? a.x : a.y;
      if (isGrid && (best < 0 || std::abs(pos - at) < std::abs(best - at))) best = pos;
    }
    EXPECT_LE(std::abs(best - at), 1) << label;
    return best;
  }

  QWidget* Pic() const { return w->Picture1; }
  void Press(Qt::MouseButton b, QPoint p) { QTest::mousePress(Pic(), b, {}, p); }
  void Move(QPoint p) { QTest::mouseMove(Pic(), p); }
  void Release(Qt::MouseButton b, QPoint p) { QTest::mouseRelease(Pic(), b, {}, p); }
  void Drag(Qt::MouseButton b, QPoint from, QPoint to) {
    Press(b, from);
    Move(to);
    Release(b, to);
  }
  QImage Shown() const { return Pic()->grab().toImage().convertToFormat(QImage::Format_RGB32); }
  QImage Held() const { return w->Picture1->Image().convertToFormat(QImage::Format_RGB32); }

  std::vector<int32_t> redraws;
};

TEST_F(MouseZoom, DragBetweenGridLinesZoomsToThem) {
  ASSERT_TRUE(w->isVisible());
  ASSERT_EQ(Pic()->size(), QSize(1200, 1200));
  // The frame draws each x grid line one unit left of its value.
  const int x100 = GridX("100") + 1, x1k = GridX("1K") + 1;
  const int y10 = GridY("10"), yMinus20 = GridY("-20");
  Drag(Qt::LeftButton, QPoint(x100, y10), QPoint(x1k, yMinus20));

  const GraphFrame& f = FreqGraphFrame;
  EXPECT_NEAR(f.XStart, 100, 0.4);
  EXPECT_NEAR(f.XFinish, 1000, 4);
  EXPECT_EQ(f.YLow, -20);
  EXPECT_EQ(f.YHigh, 10);
  EXPECT_EQ(f.LogX, kTrue);
  EXPECT_EQ(w->GetModalConstants().MinFreq, f.XStart);
  EXPECT_EQ(w->GetModalConstants().MaxFreq, f.XFinish);
  EXPECT_EQ(FitGraphFrame.XStart, f.XStart);
  EXPECT_EQ(FitGraphFrame.XFinish, f.XFinish);
  EXPECT_EQ(FitGraphFrame.LogX, kTrue);
  EXPECT_EQ(redraws, (std::vector<int32_t>{kRedrawFiledCurves}));
  EXPECT_EQ(RubberBandState.ButtonDown, kFalse);
}

TEST_F(MouseZoom, ClicksLeftwardAndUpwardDragsZoomOutToTheLock) {
  const QPoint a(400, 300), b(800, 700);
  for (int i = 0; i < 3; ++i) {
    FreqGraphFrame.XStart = 100;
    FreqGraphFrame.XFinish = 1000;
    w->DisplayResults(kRedrawFiledCurves);
    redraws.clear();
    if (i == 0) QTest::mouseClick(Pic(), Qt::LeftButton, {}, a);
    if (i == 1) Drag(Qt::LeftButton, b, a);
    if (i == 2) Drag(Qt::LeftButton, QPoint(a.x(), b.y()), QPoint(b.x(), a.y()));
    const GraphFrame& f = FreqGraphFrame;
    EXPECT_EQ(f.XStart, 16) << i;
    EXPECT_EQ(f.XFinish, 20000) << i;
    EXPECT_EQ(f.YLow, -50) << i;
    EXPECT_EQ(f.YHigh, 20) << i;
    EXPECT_EQ(redraws, (std::vector<int32_t>{kRedrawFiledCurves})) << i;
    EXPECT_EQ(RubberBandState.ButtonDown, kFalse) << i;
  }
}

// The left button's band is solid over the Bode view, the right button's dashed
// over the octave view; neither reaches the picture held.
TEST_F(MouseZoom, BandShowsOverThePictureAndNeverInIt) {
  w->MainGraphOverride = nullptr;
  const QPoint a(300, 250), b(700, 650);
  const QRgb black = qRgb(0, 0, 0);
  for (const Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
    DisplayConfig.Graphshown = button == Qt::LeftButton ? kBodeView : kFractOctView;
    w->DisplayResults(kRedrawFiledCurves);
    const QImage held = Held();
    Press(button, a);
    Move(b);
    const QImage shown = Shown();
    EXPECT_EQ(Held(), held);
    if (button == Qt::LeftButton) {
      int off = 0;
      for (int x = a.x(); x <= b.x(); ++x) off += (shown.pixel(x, a.y()) != black) + (shown.pixel(x, b.y()) != black);
      for (int y = a.y(); y <= b.y(); ++y) off += (shown.pixel(a.x(), y) != black) + (shown.pixel(b.x(), y) != black);
      EXPECT_EQ(off, 0);
      EXPECT_EQ(shown.pixel(500, 451), held.pixel(500, 451));  // the inside is left alone
      EXPECT_TRUE(shown.save(QString::fromStdString(TempPath("rubber_band.png"))));
      if (const char* keep = std::getenv("ZENTOR_KEEP_PNG")) shown.save(keep);
    } else {
      int inked = 0, gaps = 0;
      for (int x = a.x(); x <= b.x(); ++x) {
        inked += shown.pixel(x, a.y()) == black;
        gaps += shown.pixel(x, a.y()) == held.pixel(x, a.y()) && held.pixel(x, a.y()) != black;
      }
      EXPECT_GT(inked, 100);
      EXPECT_GT(gaps, 50);
      if (const char* keep = std::getenv("ZENTOR_KEEP_DASHED_PNG")) shown.save(keep);
    }
    Release(button, b);
    EXPECT_FALSE(w->Picture1->CurrentOverlay());
    EXPECT_EQ(Shown(), Held());
  }
}

TEST_F(MouseZoom, RightZoomStartsANewFitOrKeepsToTheAccumulatedRange) {
  std::vector<int32_t> checks;
  MouseZoomHooks.CheckAccumulateSettings = [&](int32_t view, auto&) { checks.push_back(view); };
  w->ModesList->addItem("a mode");
  Drag(Qt::RightButton, QPoint(300, 300), QPoint(700, 700));
  EXPECT_EQ(w->ModesList->count(), 0);
  EXPECT_EQ(checks, (std::vector<int32_t>{kBodeView}));
  EXPECT_EQ(w->GetModalConstants().MinFreq, FreqGraphFrame.XStart);

  // Ticked, the fit's set (record 0, no range stored) refuses the zoom as a fit range.
  w->AccCheck->setChecked(true);
  dialogs.ExpectMessage();
  Drag(Qt::RightButton, QPoint(300, 300), QPoint(700, 700));
  EXPECT_EQ(dialogs.MessageTexts().size(), 1u);
  EXPECT_EQ(checks.size(), 1u);
}

// The lock window opens from the button and the menu; SetMouseZero puts back the window's pointer.
TEST_F(MouseZoom, LockWindowOpensFromTheButtonAndTheMenuAndThePointerIsPutBack) {
  std::vector<std::string> titles;
  for (int i = 0; i < 2; ++i)
    dialogs.ExpectModal([&](QDialog* d) {
      titles.push_back(d->windowTitle().toStdString());
      EXPECT_EQ(dynamic_cast<CoOrdLock*>(d)->FreqDomainStartFreq->text(), "16");
      return 0;
    });
  w->Command4->click();
  w->CoOrdinateLocker->trigger();
  EXPECT_EQ(titles, (std::vector<std::string>{"Coordinate Lock", "Coordinate Lock"}));

  w->setCursor(Qt::CrossCursor);
  const GraphFrame before = FreqGraphFrame;
  redraws.clear();
  w->SetMouseZero();
  EXPECT_EQ(w->cursor().shape(), Qt::ArrowCursor);
  EXPECT_EQ(FreqGraphFrame.XStart, before.XStart);
  EXPECT_TRUE(redraws.empty());
}

}  // namespace
}  // namespace zentor
