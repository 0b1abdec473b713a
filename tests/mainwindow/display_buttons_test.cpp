// The display buttons beside the main graph: the frequency-axis switch, display
// options, colours, the redraw on resize and the hidden test-impulse button.
#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <cmath>

#include "display/color_form.h"
#include "display/dispatcher.h"
#include "display/plot_colours.h"
#include "support/curve_sets.h"
#include "views_fixture.h"

namespace zentor {
namespace {

using test::ViewsTest;
using Kind = RecordingSurface::Kind;
using test::FlatCurve;

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

// Outside the frequency views the entries leave their marks and the axis alone;
// a refused frequency view leaves the spectral-density view with no view button.
TEST_F(ViewsTest, FrequencyEntriesAndFreqButLeaveTheTimeAndSpectrumViewsAsTheyWere) {
  DisplayConfig.Graphshown = kImpulseView;
  w->TimeBut->setChecked(true);
  FreqGraphFrame.LogX = kTrue;
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

}  // namespace
}  // namespace zentor
