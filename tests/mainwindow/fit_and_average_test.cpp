// Fit to data, the axis switch, the display buttons, the average curves and
// the difference curves of the main window.
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cmath>

#include "core/helpers.h"
#include "display/plot_colours.h"
#include "display/color_form.h"
#include "views_fixture.h"

namespace zentor {
namespace {

using test::ViewsTest;
using Kind = RecordingSurface::Kind;

void FlatCurve(CurveArray& set, int i, int points, float level, float x0 = 20, float x1 = 20000) {
  CurveRecord& c = set[static_cast<size_t>(i)];
  c.NumPoints = points;
  c.CurveIndex = i;
  c.Label = " " + std::to_string(i + 1);
  for (int j = 0; j < points; ++j) {
    c.XValues[static_cast<size_t>(j)] = x0 + (x1 - x0) * j / (points - 1);
    c.YValues[static_cast<size_t>(j)] = level;
  }
  for (int k = 0; k <= i; ++k) set[static_cast<size_t>(k)].NumCurves = i + 1;
}

// ---- fit to data ------------------------------------------------------------------

TEST_F(ViewsTest, FitInFrequencyViewsReturnsToTheLock) {
  ResultsDataSetInfo[0].NumInSet = 2;
  FlatCurve(BodeCurves, 0, 100, -80);
  FlatCurve(BodeCurves, 1, 100, 35);
  DisplayConfig.Graphshown = kBodeView;
  CoOrdLockLimits = {-5, 25, 16, 20000, 20, -50, 16, 20000, 75, -10};
  w->FitGraphToData();
  EXPECT_EQ(FreqGraphFrame.XStart, 16);
  EXPECT_EQ(FreqGraphFrame.XFinish, 20000);
  EXPECT_EQ(FreqGraphFrame.YLow, -50);
  EXPECT_EQ(FreqGraphFrame.YHigh, 20);

  // A lock level range 2 dB wide is widened to 10 dB.
  CoOrdLockLimits.FreqLowLevel = 0;
  CoOrdLockLimits.FreqHighLevel = 2;
  w->FitGraphToData();
  EXPECT_EQ(FreqGraphFrame.YLow, -4);
  EXPECT_EQ(FreqGraphFrame.YHigh, 6);

  // An empty frequency lock still gives a log axis from 1 Hz.
  CoOrdLockLimits.FreqDomainStartFreq = 0;
  CoOrdLockLimits.FreqDomainFinishFreq = 0;
  FreqGraphFrame.LogX = kTrue;
  w->FitGraphToData();
  EXPECT_GE(FreqGraphFrame.XStart, 1);
  EXPECT_GT(FreqGraphFrame.XFinish, FreqGraphFrame.XStart);

  DisplayConfig.Graphshown = kNoiseView;
  w->FitGraphToData();
  EXPECT_EQ(FreqGraphFrame.XStart, 16);
  EXPECT_EQ(FreqGraphFrame.YHigh, 75);
  EXPECT_EQ(FreqGraphFrame.YLow, -10);
}

TEST_F(ViewsTest, FitInTheImpulseViewFollowsTheDataWithinTheLock) {
  ResultsDataSetInfo[0].NumInSet = 1;
  CurveRecord& c = ImpulseCurves[0];
  FlatCurve(ImpulseCurves, 0, 2000, 0, -10, 30);
  c.YValues[5] = 12;
  DisplayConfig.Graphshown = kImpulseView;
  CoOrdLockLimits = {-5, 25, 16, 20000, 20, -50, 16, 20000, 75, -10};
  w->FitGraphToData();
  EXPECT_EQ(TimeGraphFrame.XStart, -5);
  EXPECT_EQ(TimeGraphFrame.XFinish, 25);
  EXPECT_EQ(TimeGraphFrame.YLow, -30);
  EXPECT_EQ(TimeGraphFrame.YHigh, 30);
  // A wider lock leaves the data's own extent.
  CoOrdLockLimits.TimeStart = -50;
  CoOrdLockLimits.TimeFinish = 100;
  w->FitGraphToData();
  EXPECT_EQ(TimeGraphFrame.XStart, -10);
  EXPECT_EQ(TimeGraphFrame.XFinish, 31);
}

TEST_F(ViewsTest, FitWithAFlatSetKeepsTheTimeLimits) {
  ResultsDataSetInfo[0].NumInSet = 1;
  FlatCurve(ImpulseCurves, 0, 2000, 0, -10, 30);
  DisplayConfig.Graphshown = kImpulseView;
  CoOrdLockLimits = {-50, 250, 16, 20000, 20, -50, 16, 20000, 75, -10};
  TimeGraphFrame.XStart = 3;
  TimeGraphFrame.XFinish = 9;
  w->FitGraphToData();
  EXPECT_EQ(TimeGraphFrame.XStart, 3);
  EXPECT_EQ(TimeGraphFrame.XFinish, 9);
}

// ---- axis switch and buttons ---------------------------------------------------------

TEST_F(ViewsTest, FrequencyAxisSwitchActsOnlyInFrequencyViews) {
  DisplayConfig.Graphshown = kImpulseView;
  w->TimeBut->setChecked(true);
  FreqGraphFrame.LogX = kTrue;
  TimeGraphFrame.LogX = kTrue;
  w->LinBut->setChecked(true);
  w->SetFrequencyAxisMode();
  EXPECT_EQ(FreqGraphFrame.LogX, kTrue);
  EXPECT_FALSE(w->LinearFreq->isChecked());
  EXPECT_EQ(TimeGraphFrame.LogX, kFalse);

  DisplayConfig.Graphshown = kPsdView;
  w->LinBut->click();
  EXPECT_EQ(FreqGraphFrame.LogX, kFalse);
  EXPECT_TRUE(w->LinearFreq->isChecked());
  EXPECT_FALSE(w->LogFrequency->isChecked());
  w->logbut->click();
  EXPECT_EQ(FreqGraphFrame.LogX, kTrue);
  EXPECT_TRUE(w->LogFrequency->isChecked());
  EXPECT_FALSE(w->LinearFreq->isChecked());

  // The View > Options menu entries move the axis buttons and switch the same way.
  w->LinearFreq->trigger();
  EXPECT_TRUE(w->LinBut->isChecked());
  EXPECT_EQ(FreqGraphFrame.LogX, kFalse);
  w->LogFrequency->trigger();
  EXPECT_TRUE(w->logbut->isChecked());
  EXPECT_EQ(FreqGraphFrame.LogX, kTrue);
}

TEST_F(ViewsTest, DisplayOptionsOpenForTheViewShown) {
  std::vector<int32_t> opened;
  ViewWindowHooks.ShowDisplayOptions = [&](int32_t n) { opened.push_back(n); };
  dialogs.ExpectMessage();
  w->ShowDisplayOptions();
  EXPECT_TRUE(opened.empty());
  ASSERT_FALSE(dialogs.calls().empty());
  EXPECT_EQ(dialogs.calls().back().text, " Data must be loaded before parameters can be set");
  EXPECT_EQ(dialogs.calls().back().title, "Mirabelt Zentor");
  EXPECT_EQ(dialogs.calls().back().icon, MsgIcon::Exclamation);

  ResultsDataSetInfo[0].NumInSet = 1;
  w->TimeBut->setChecked(true);
  w->Display->click();
  w->FreqBut->setChecked(true);
  w->ShowDisplayOptions();
  w->SetBusy(kTrue);
  w->ShowDisplayOptions();
  w->SetBusy(kFalse);
  EXPECT_EQ(opened, (std::vector<int32_t>{3, 4}));
}

TEST_F(ViewsTest, ColourButtonShowsTheColourWindowThenRedraws) {
  ResultsDataSetInfo[0].NumInSet = 1;
  FlatCurve(ImpulseCurves, 0, 100, 3, -10, 30);
  DisplayConfig.Graphshown = kImpulseView;
  dialogs.ExpectModal([](QDialog*) { return 0; });
  rec.Clear();
  w->Colorselect->click();
  ASSERT_FALSE(dialogs.calls().empty());
  EXPECT_EQ(dialogs.calls().back().kind, test::DialogCall::Modal);
  EXPECT_FALSE(CurvesIn(GetCurveColour(0)).empty());  // redrawn from the filed curve
}

TEST_F(ViewsTest, ResizingTheGraphRedrawsIt) {
  DisplayConfig.Graphshown = kImpulseView;
  rec.Clear();
  w->Picture1->resize(w->Picture1->width() + 20, w->Picture1->height() + 10);
  EXPECT_FALSE(rec.Of(Kind::Line).empty());
}

TEST_F(ViewsTest, NormalizedLevelsUseTheMeanInRange) {
  std::array<float, 5> x{10, 100, 1000, 10000, 20000};
  std::array<float, 5> y{1, 2, 4, 9, 100};
  w->Norm->setChecked(false);
  w->NormalizeDisplayCurves(y, x, 5, 50, 12000);
  EXPECT_EQ(y[0], 1);
  w->Norm->setChecked(true);
  w->NormalizeDisplayCurves(y, x, 5, 20001, 30000);  // no point in range
  EXPECT_EQ(y[4], 100);
  w->NormalizeDisplayCurves(y, x, 5, 50, 12000);  // mean of 2, 4, 9 = 5
  EXPECT_FLOAT_EQ(y[0], -4);
  EXPECT_FLOAT_EQ(y[2], -1);
  EXPECT_FLOAT_EQ(y[4], 95);
  w->NormalizeDisplayCurves(y, x, 99, 0, 100000);  // count held to the arrays
}

TEST_F(ViewsTest, TestImpulsesAreFirstOrderSections) {
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
}

// ---- averaging --------------------------------------------------------------------

TEST_F(ViewsTest, BodeAveragesPowerOtherViewsAverageDecibels) {
  ResultsDataSetInfo[0].NumInSet = 2;
  FlatCurve(BodeCurves, 0, 120, 0);
  FlatCurve(BodeCurves, 1, 120, -10);
  ASSERT_TRUE(w->AverageCurveSet(AverageCurves, BodeCurves, kBodeView));
  EXPECT_NEAR(AverageCurves[0].YValues[60], 10 * std::log10(0.55), 1e-4);  // about -2.60
  EXPECT_EQ(AverageCurves[0].NumPoints, 120);
  EXPECT_EQ(AverageCurves[0].NumCurves, 1);
  EXPECT_FLOAT_EQ(AverageCurves[0].XValues[119], 20000);
  for (int kind : {kModalSliceView, kNoiseView, kPsdView, kFractOctView, kPsycView}) {
    ASSERT_TRUE(w->AverageCurveSet(AverageCurves, BodeCurves, kind)) << kind;
    EXPECT_FLOAT_EQ(AverageCurves[0].YValues[60], -5) << kind;
  }
  // One curve averages to itself.
  ResultsDataSetInfo[0].NumInSet = 1;
  FlatCurve(FractOctCurves, 0, 50, -7.25f);
  for (int kind : {kBodeView, kFractOctView}) {
    ASSERT_TRUE(w->AverageCurveSet(AverageCurves, FractOctCurves, kind));
    EXPECT_NEAR(AverageCurves[0].YValues[3], -7.25f, 1e-4);
  }
}

TEST_F(ViewsTest, AveragingChecksItsSource) {
  ResultsDataSetInfo[0].NumInSet = 3;
  FlatCurve(BodeCurves, 0, 120, 0);
  FlatCurve(BodeCurves, 1, 120, -10);
  dialogs.ExpectMessage();  // two curves, three results: reported, still averaged
  EXPECT_TRUE(w->AverageCurveSet(AverageCurves, BodeCurves, kFractOctView));
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 4353");

  ResultsDataSetInfo[0].NumInSet = 2;
  FlatCurve(BodeCurves, 1, 150, -10);
  AverageCurves[0].YValues[0] = 42;
  dialogs.ExpectMessage();
  EXPECT_FALSE(w->AverageCurveSet(AverageCurves, BodeCurves, kBodeView));
  EXPECT_EQ(dialogs.MessageTexts().back(), "8734 ");
  EXPECT_EQ(AverageCurves[0].YValues[0], 42);

  auto empty = std::make_unique<CurveArray>();
  EXPECT_FALSE(w->AverageCurveSet(AverageCurves, *empty, kBodeView));
  EXPECT_EQ(AverageCurves[0].YValues[0], 42);

  // Spectra are not results: no comparison with the result count.
  ResultsDataSetInfo[0].NumInSet = 0;
  FlatCurve(PsdCurves, 0, 10, -20);
  FlatCurve(PsdCurves, 1, 10, -40);
  const size_t before = dialogs.calls().size();
  EXPECT_TRUE(w->AverageCurveSet(AverageCurves, PsdCurves, kPsdView));
  EXPECT_EQ(dialogs.calls().size(), before);
  dialogs.ExpectMessage();
  dialogs.ExpectMessage();
  EXPECT_TRUE(w->AverageCurveSet(AverageCurves, PsdCurves, kFractOctView));
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 4392");
}

TEST_F(ViewsTest, MainCurveNumberFromTheBox) {
  const std::vector<std::pair<const char*, int32_t>> cases = {{"7", 7}, {"7.5", 8}, {"6.5", 6}, {"32", 32}};
  for (auto [text, n] : cases) {
    w->CurveNoText->setText(text);
    EXPECT_EQ(w->GetMainCurveNumber(), n) << text;
  }
  for (const char* bad : {"40", "abc"}) {
    w->CurveNoText->setText(bad);
    dialogs.ExpectMessage();
    EXPECT_EQ(w->GetMainCurveNumber(), 1) << bad;
  }
}

// ---- differences ------------------------------------------------------------------

TEST_F(ViewsTest, DifferencesAgainstCurveOne) {
  ResultsDataSetInfo[0].NumInSet = 3;
  FlatCurve(BodeCurves, 0, 100, -1);
  FlatCurve(BodeCurves, 1, 100, -3);
  FlatCurve(BodeCurves, 2, 100, 2);
  DisplayConfig.Graphshown = kBodeView;
  FreqGraphFrame.YLow = -1;
  FreqGraphFrame.YHigh = 2;
  w->ShowDifferenceCurves(3);
  EXPECT_LE(FreqGraphFrame.YLow, -6);
  EXPECT_GE(FreqGraphFrame.YHigh, 6);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(CurvesIn(GetCurveColour(i)).size(), 1u) << i;
  EXPECT_FLOAT_EQ(SingleViewCurves[0].YValues[50], 3);  // curve 3 minus curve 1, the last drawn
  EXPECT_EQ(SingleViewCurves[0].NumPoints, 100);
  EXPECT_TRUE(HasText("Curve Differences"));
  EXPECT_TRUE(HasText(" 3"));
  // The first pass is the 0 dB line, drawn where level 0 sits.
  const auto zero = CurvesIn(GetCurveColour(0));
  const int32_t y0 = static_cast<int32_t>(std::lround(FreqGraphFrame.YOffset));
  EXPECT_NEAR(zero[0].points.front().y, y0, 1);

  w->ShowDifferenceCurves(2);
  EXPECT_FLOAT_EQ(SingleViewCurves[0].YValues[50], -3);

  // Other views and modes: only the frame, with the widened levels.
  rec.Clear();
  DisplayConfig.Graphshown = kImpulseView;
  FreqGraphFrame.YLow = 0;
  FreqGraphFrame.YHigh = 1;
  w->ShowDifferenceCurves(3);
  EXPECT_TRUE(rec.Of(Kind::Polyline).empty());
  EXPECT_EQ(FreqGraphFrame.YLow, -6);
  EXPECT_EQ(FreqGraphFrame.YHigh, 6);
  DisplayConfig.Graphshown = kBodeView;
  w->ShowDifferenceCurves(1);
  EXPECT_TRUE(rec.Of(Kind::Polyline).empty());
}

TEST_F(ViewsTest, UpdateGraphDrawsTheFiledSlotsOnly) {
  FreqGraphFrame.XStart = 20;
  FreqGraphFrame.XFinish = 20000;
  FlatCurve(NoiseCurves, 0, 10, 1);
  FlatCurve(NoiseCurves, 1, 10, 2);
  NoiseCurves[1].CurveIndex = 5;  // not the record of its slot
  w->UpdateGraph(NoiseCurves, FreqGraphFrame, rec, "T");
  EXPECT_EQ(CurvesIn(GetCurveColour(0)).size(), 1u);
  EXPECT_TRUE(CurvesIn(GetCurveColour(1)).empty());
  EXPECT_TRUE(HasText("T"));
  rec.Clear();
  auto empty = std::make_unique<CurveArray>();
  w->UpdateGraph(*empty, FreqGraphFrame, rec, "T");
  EXPECT_TRUE(rec.calls().empty());
}

}  // namespace
}  // namespace zentor
