// The curve arrows of the main window step through the single-curve views once
// their link is installed.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>

#include "core/records.h"
#include "display/single_curve_views.h"
#include "mainwindow/single_curve_links.h"
#include "views_fixture.h"

namespace zentor::test {
namespace {

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
}  // namespace zentor::test
