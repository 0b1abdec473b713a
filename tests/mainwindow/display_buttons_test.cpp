// The display buttons beside the main graph: the frequency-axis switch, colours,
// the redraw on resize, the hidden test-impulse button, the progress bar and avg
// box of the frequency views and the single-curve arrows.
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <cmath>

#include "display/color_form.h"
#include "display/dispatcher.h"
#include "display/plot_colours.h"
#include "display/single_curve_views.h"
#include "mainwindow/single_curve_links.h"
#include "support/curve_sets.h"
#include "views_fixture.h"

namespace zentor {
namespace {

using test::ViewsTest;
using Kind = RecordingSurface::Kind;
using test::FlatCurve;

TEST_F(ViewsTest, FrequencyAxisSwitchAndEntriesActOnlyInFrequencyViews) {
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
}

TEST_F(ViewsTest, ColourButtonAndResizingRedrawTheGraph) {
  ResultsDataSetInfo[0].NumInSet = 1;
  FlatCurve(ImpulseCurves, 0, 100, 3, -10, 30);
  DisplayConfig.Graphshown = kImpulseView;
  dialogs.ExpectModal([](QDialog*) { return 0; });
  w->Colorselect->click();
  ASSERT_FALSE(dialogs.calls().empty());
  EXPECT_EQ(dialogs.calls().back().kind, test::DialogCall::Modal);
  EXPECT_FALSE(CurvesIn(GetCurveColour(0)).empty());  // redrawn from the filed curve
  rec.Clear();
  w->Picture1->resize(w->Picture1->width() + 20, w->Picture1->height() + 10);
  EXPECT_FALSE(rec.Of(Kind::Line).empty());
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

// The progress bar and avg box follow the frequency views.
TEST_F(ViewsTest, ProgressBarAndAverageBoxFollowTheFrequencyViews) {
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

// The curve arrows step through the single-curve views once their link is installed.
TEST_F(ViewsTest, ArrowsStepThroughTheSingleCurveImpulses) {
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
}

}  // namespace
}  // namespace zentor
