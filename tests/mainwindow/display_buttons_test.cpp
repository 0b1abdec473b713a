// The display buttons beside the main graph: the frequency-axis switch, colours,
// the redraw on resize, the hidden test-impulse button, the progress bar and avg
// box of the frequency views and the single-curve arrows.

#include "core/test_signals.h"
#include "display/color_form.h"
#include "display/coord_lock.h"
#include "display/frequency_views.h"
#include "display/mouse_zoom.h"
#include "display/single_curve_views.h"
#include "mainwindow/single_curve_links.h"
#include "window_fixtures.h"

namespace zentor {
namespace {
using test::MainViewsTest;
using Kind = RecordingSurface::Kind;
using test::FlatCurve;

TEST_F(MainViewsTest, AxisColourResizeArrowsTestImpulsesProgressBarAndAverageBox) {
  DisplayConfig.Graphshown = kImpulseView;
  w->TimeBut->setChecked(true);
  FreqGraphFrame.LogX = kTrue;
  TimeGraphFrame.LogX = kTrue;
  w->LinBut->setChecked(true);
  w->SetFrequencyAxisMode();
  EXPECT_EQ(FreqGraphFrame.LogX, kTrue);
  EXPECT_FALSE(w->LinearFreq->isChecked());
  EXPECT_EQ(TimeGraphFrame.LogX, kFalse);

  // In a frequency view the axis buttons and the View > Options entries switch alike and mark each other.
  DisplayConfig.Graphshown = kPsdView;
  for (const auto& [control, log] : std::initializer_list<std::pair<QObject*, bool>>{
           {w->LinBut, false}, {w->logbut, true}, {w->LinearFreq, false}, {w->LogFrequency, true}}) {
    if (auto* b = qobject_cast<QAbstractButton*>(control)) b->click();
    else static_cast<QAction*>(control)->trigger();
    EXPECT_EQ(FreqGraphFrame.LogX, log ? kTrue : kFalse) << control->objectName().toStdString();
    EXPECT_EQ(w->LogFrequency->isChecked() && w->logbut->isChecked(), log);
    EXPECT_EQ(w->LinearFreq->isChecked() && w->LinBut->isChecked(), !log);
  }

  // Outside the frequency views the entries leave their marks and the axis alone;
  // a refused frequency view leaves the spectral-density view with no view button.
  DisplayConfig.Graphshown = kImpulseView;
  w->TimeBut->setChecked(true);
  w->SetFrequencyAxisMode();
  const bool logMark = w->LogFrequency->isChecked(), linMark = w->LinearFreq->isChecked();
  for (QAction* a : {w->LinearFreq, w->LogFrequency, w->LinearFreq}) {
    a->trigger();
    EXPECT_EQ(w->LogFrequency->isChecked(), logMark);
    EXPECT_EQ(w->LinearFreq->isChecked(), linMark);
    EXPECT_EQ(FreqGraphFrame.LogX, kTrue);
  }

  DisplayConfig.Graphshown = kPsdView;
  DisplayConfig.PsycSelected = DisplayConfig.FractOctSelected = DisplayConfig.FFTSelected = kFalse;
  dialogs.ExpectMessage();
  w->FreqBut->click();
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"Error 5429"}));
  EXPECT_EQ(DisplayConfig.Graphshown, kPsdView);
  EXPECT_EQ(w->SelectedViewButton(), ViewButton::None);

  // The colour button and resizing redraw the graph.
  dialogs.Clear();
  ResultsDataSetInfo[0].NumInSet = 1;
  FlatCurve(ImpulseCurves, 0, 100, 3, -10, 30);
  DisplayConfig.Graphshown = kImpulseView;
  dialogs.ExpectModal([](QDialog*) { return 0; });
  w->Colorselect->click();
  ASSERT_FALSE(dialogs.calls().empty());
  EXPECT_EQ(dialogs.calls().back().kind, test::DialogCall::Modal);
  EXPECT_FALSE(test::CurvesIn(rec, GetCurveColour(0)).empty());  // redrawn from the filed curve
  rec.Clear();
  w->Picture1->resize(w->Picture1->width() + 20, w->Picture1->height() + 10);
  EXPECT_FALSE(rec.Of(Kind::Line).empty());

  // The curve arrows step through the single-curve views once their link is installed.
  w->RefreshLinkedControls();
  EXPECT_FALSE(w->RightDisplayArrow->isEnabled());
  InstallSingleCurveViewLinks();
  w->RefreshLinkedControls();
  EXPECT_TRUE(w->RightDisplayArrow->isEnabled());
  EXPECT_TRUE(w->LeftDisplayArrow->isEnabled());

  LoadSet(3, 48000, 14);
  for (size_t k = 0; k < 3; ++k) ImpulseSet[k][2400 + 10 * k] = 1.0f;
  DisplayConfig.Graphshown = kImpulseView;
  w->SetDisplayCurveNumber(1);
  w->RightDisplayArrow->click();
  EXPECT_EQ(w->CurveNoText->text().toStdString(), "2");
  EXPECT_EQ(SingleViewCurves[0].NumPoints, 2000);
  EXPECT_FLOAT_EQ(SingleViewCurves[0].YValues[480 + 10], 30.0f);  // the second impulse, 10 samples late
  EXPECT_FALSE(w->IsBusy());

  // With the average on the noise view shows curve 1, and the arrows go on from there.
  DisplayConfig.Graphshown = kNoiseView;
  DisplayConfig.Average = kTrue;
  w->RightDisplayArrow->click();
  EXPECT_EQ(w->GetDisplayCurveNumber(), 1);
  EXPECT_EQ(w->CurveNoText->text().toStdString(), "1");

  // The hidden test impulses are first-order sections.
  LoadSet(2, 48000, 17);
  ImpulseSet[31][7] = 0.5f;
  w->Command5_Click();
  EXPECT_TRUE(w->Command5->isHidden());
  EXPECT_EQ(ImpulseSet[31][7], 0.5f);  // only 31 are written
  EXPECT_EQ(w->GetDisplayCurveNumber(), 1);
  // y[n] = q x[n-1] + p y[n-1] + r x[n] with x a unit step at 2400.
  const double K = 686 / 0.14, T = 96000;
  for (int v : {0, 15, 30}) {
    const double a = 3.1415926535 / 2 - v / 30.0 * 3.1415926535;
    const double c = std::cos(a + 1.57079632675) + 1;
    const double p = (T - K) / (T + K), q = (K - 2 * c * 48000) / (T + K), r = T * c / (T + K);
    const auto& h = ImpulseSet[static_cast<size_t>(v)];
    EXPECT_EQ(h[2399], 0.0f) << v;
    EXPECT_NEAR(h[2400], r, 1e-6) << v;
    EXPECT_NEAR(h[2401], q + p * r, 1e-6) << v;
    EXPECT_NEAR(h[2405], std::pow(p, 4) * (q + p * r), 1e-5) << v;
  }

  // The progress bar and avg box follow the frequency views.
  LoadSet(4, 48000, 17);
  for (int i = 0; i < 4; ++i) ImpulseSet[i][2400] = 1.0f;
  DisplayConfig.Graphshown = kFractOctView;
  DisplayConfig.Average = kTrue;
  w->SetAverageBox(true);
  w->DisplayResults(kRecomputeAllCurves);
  EXPECT_EQ(w->ProgressBar1->maximum(), 5);
  EXPECT_EQ(w->ProgressBar1->value(), 0);
  EXPECT_EQ(AverageCurves[0].Label, "4 SPL Average");
  EXPECT_TRUE(w->avg->isChecked());

  // An average that cannot be formed clears the box as well as the flag.
  FractOctCurves[3].NumPoints = 7;
  dialogs.ExpectMessage();
  w->DisplayResults(kRedrawFiledCurves);
  EXPECT_EQ(DisplayConfig.Average, kFalse);
  EXPECT_FALSE(w->avg->isChecked());
  EXPECT_EQ(w->ProgressBar1->value(), 0);
}

// The mouse zoom through real mouse events on the shown main window: limits from
// a drag between drawn grid lines, zooming out, the band over the picture, the
// fit range, the coordinate lock window and the window's pointer.

class MouseZoom : public test::MainViewsTest {
 protected:
  void SetUp() override {
    MainViewsTest::SetUp();
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

TEST_F(MouseZoom, DragsZoomTheBandShowsOverThePictureTheRightZoomFitsAndTheLockWindowOpens) {
  ASSERT_TRUE(w->isVisible());
  ASSERT_EQ(Pic()->size(), QSize(1200, 1200));
  // The frame draws each x grid line one unit left of its value.
  const int x100 = Grid("100", true) + 1, x1k = Grid("1K", true) + 1;
  const int y10 = Grid("10", false), yMinus20 = Grid("-20", false);
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

  // Clicks, leftward and upward drags zoom out to the lock.
  QPoint a(400, 300), b(800, 700);
  for (int i = 0; i < 3; ++i) {
    FreqGraphFrame.XStart = 100;
    FreqGraphFrame.XFinish = 1000;
    w->DisplayResults(kRedrawFiledCurves);
    redraws.clear();
    if (i == 0) QTest::mouseClick(Pic(), Qt::LeftButton, {}, a);
    if (i == 1) Drag(Qt::LeftButton, b, a);
    if (i == 2) Drag(Qt::LeftButton, QPoint(a.x(), b.y()), QPoint(b.x(), a.y()));
    const GraphFrame& f = FreqGraphFrame;
    EXPECT_EQ((std::vector<int32_t>{f.XStart, f.XFinish, f.YLow, f.YHigh}), (std::vector<int32_t>{16, 20000, -50, 20})) << i;
    EXPECT_EQ(redraws, (std::vector<int32_t>{kRedrawFiledCurves})) << i;
    EXPECT_EQ(RubberBandState.ButtonDown, kFalse) << i;
  }

  // The left button's band is solid over the Bode view, the right button's dashed over
  // the octave view; neither reaches the picture held.
  w->MainGraphOverride = nullptr;
  a = {300, 250}, b = {700, 650};
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
    } else {
      int inked = 0, gaps = 0;
      for (int x = a.x(); x <= b.x(); ++x) {
        inked += shown.pixel(x, a.y()) == black;
        gaps += shown.pixel(x, a.y()) == held.pixel(x, a.y()) && held.pixel(x, a.y()) != black;
      }
      EXPECT_GT(inked, 100);
      EXPECT_GT(gaps, 50);
    }
    Release(button, b);
    EXPECT_FALSE(w->Picture1->CurrentOverlay());
    EXPECT_EQ(Shown(), Held());
  }

  // The right zoom starts a new fit or keeps to the accumulated range.
  DisplayConfig.Graphshown = kBodeView;
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

  // The lock window opens from the button and the menu; SetMouseZero puts back the pointer.
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

// The one redraw road of the main window: which builder runs with which reuse
// count, the gate controls, the view buttons and menus, and the accessors.
using test::BuilderCall;

using DispatchTest = test::RecordedWindowTest;

using Calls = std::vector<BuilderCall>;

TEST_F(DispatchTest, StartUpTwoToneTableGateSliderAndViewButtonsRedrawTheirCaches) {
  MeasurementHeader& set = ResultsDataSetInfo[0];
  ASSERT_FALSE(startup.empty());
  for (const BuilderCall& c : startup) EXPECT_EQ(c, (BuilderCall{"ShowMainImpulseSet", kRedrawFiledCurves}));
  EXPECT_TRUE(w->TimeBut->isChecked());
  EXPECT_EQ(w->GateText->text(), "0");  // nothing loaded: a zero gate in the small range
  EXPECT_TRUE(w->SmallGate->isChecked());
  EXPECT_EQ(FractOctLevelsChanged, kFalse);

  const TestCDSettings& p = CDSignalParams;
  EXPECT_EQ(p.ToneCount, 20);
  EXPECT_EQ(p.SampleRate, 44100);
  EXPECT_EQ(p.Order, 16);
  EXPECT_FLOAT_EQ(p.FirstToneFreqA, 10000.0f);
  EXPECT_FLOAT_EQ(p.FirstToneFreqB, 10250.0f);
  for (int i = 0; i < 20; ++i) {
    // Bin spacing of a 2^16-point transform at 44.1 kHz; no value lies near a half.
    EXPECT_EQ(p.LeftToneBins[i], std::lround((10250.0 + 500.0 * i) / (44100.0 / 65536.0))) << i;
    EXPECT_EQ(p.RightToneBins[i], std::lround((10000.0 + 500.0 * i) / (44100.0 / 65536.0))) << i;
  }

  ASSERT_TRUE(ColorFormHooks.DisplayResults);  // the colour window redraws through the main window
  ColorFormHooks.DisplayResults();
  EXPECT_EQ(rb.Take(), (Calls{{"ShowMainImpulseSet", kRedrawFiledCurves}}));

  // The slider moves the gate of the view shown.
  Load(2);
  DisplayConfig.Graphshown = kNoiseView;
  set.NoiseGateTime = 10;
  zentor::UpdateGateControls(*w);
  ASSERT_TRUE(w->SmallGate->isChecked());

  // Small range: hundredths, never below 1 ms; scrolling shows but does not redraw.
  w->Slider1->setSliderDown(true);
  w->Slider1->setSliderPosition(50);
  EXPECT_FLOAT_EQ(set.NoiseGateTime, 1.0f);
  EXPECT_EQ(w->GateText->text(), "1");
  EXPECT_TRUE(rb.Take().empty());
  w->Slider1->setSliderPosition(1555);
  EXPECT_FLOAT_EQ(set.NoiseGateTime, 15.55f);
  w->Slider1->setSliderDown(false);  // release: the change applies
  EXPECT_EQ(rb.Take(), (Calls{{"ShowNoiseResponseSet", 0}}));
  EXPECT_FLOAT_EQ(StaticConfig.NoiseGateTime, 15.55f);

  // A keyboard step is a change without a press.
  w->Largegate->click();
  w->Slider1->setValue(300);
  EXPECT_FLOAT_EQ(set.NoiseGateTime, 300.0f);
  EXPECT_EQ(w->GateText->text(), "300");
  EXPECT_EQ(rb.Take(), (Calls{{"ShowNoiseResponseSet", 0}}));

  // The levels view moves the impulse gate; the noise-energy view redraws its cache.
  DisplayConfig.Graphshown = kLevelsView;
  w->Slider1->setValue(40);
  EXPECT_FLOAT_EQ(set.ImpulseGateTime, 40.0f);
  EXPECT_TRUE(rb.Take().empty());
  DisplayConfig.Graphshown = kPsdView;
  w->Slider1->setValue(41);
  EXPECT_EQ(rb.Take(), (Calls{{"ShowPSDEnergy", 2}}));

  // In the gate box only Enter acts.
  DisplayConfig.Graphshown = kNoiseView;
  w->UpdateNoiseDisplay();
  rb.Take();
  QTest::keyClick(w->GateText, Qt::Key_A);
  QTest::keyClick(w->GateText, Qt::Key_Tab);
  EXPECT_TRUE(rb.Take().empty());
  w->GateText->setText("2");
  QTest::keyClick(w->GateText, Qt::Key_Return);
  EXPECT_FLOAT_EQ(set.NoiseGateTime, 2.0f);
  EXPECT_EQ(rb.Take(), (Calls{{"ShowNoiseResponseSet", 0}}));

  // The view buttons redraw their caches; filling controls from code never changes the view.
  Load(3);
  QTest::mouseClick(w->NoiseBut, Qt::LeftButton);
  QTest::mouseClick(w->ModalBut, Qt::LeftButton);
  w->SNRatioMenu->trigger();
  EXPECT_EQ(rb.Take(), (Calls{{"ShowNoiseResponseSet", 3}, {"ShowModalResponseSet", 3}, {"ShowNoiseResponseSet", 3}}));
  EXPECT_TRUE(w->NoiseBut->isChecked());
  EXPECT_EQ(DisplayConfig.Graphshown, kNoiseView);

  Load(2);
  DisplayConfig.FFTSelected = kTrue;
  DisplayConfig.Graphshown = kBodeView;
  w->FreqBut_Click();
  rb.Take();
  const MeasurementHeader before = set;
  for (float g : {0.1f, 19.99f, 20.0f, 20.5f, 900.0f, 5.0f}) {
    set.FreqRespGateTime = g;
    zentor::UpdateGateControls(*w);
    EXPECT_FLOAT_EQ(set.FreqRespGateTime, g);
  }
  set.FreqRespGateTime = before.FreqRespGateTime;
  w->ShowNewGraphic();           // selects FreqBut from code
  DisplayConfig.Graphshown = kNoiseView;
  w->ShowNewGraphic();           // selects NoiseBut from code
  DisplayConfig.Graphshown = kImpulseView;
  w->ShowNewGraphic();           // selects TimeBut from code
  EXPECT_EQ(DisplayConfig.Graphshown, kImpulseView);
  EXPECT_EQ(rb.Take(), (Calls{{"ShowFFTResponseSet", 2}, {"ShowNoiseResponseSet", 2}, {"ShowMainImpulseSet", 2}}));
  EXPECT_FLOAT_EQ(set.ImpulseGateTime, before.ImpulseGateTime);
  EXPECT_FLOAT_EQ(set.NoiseGateTime, before.NoiseGateTime);
}


}  // namespace
}  // namespace zentor
