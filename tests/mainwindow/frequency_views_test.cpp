// The frequency views on the main window: its progress bar and avg box follow them.
#include <QCheckBox>
#include <QProgressBar>

#include "display/dispatcher.h"
#include "display/view_state.h"
#include "views_fixture.h"

namespace zentor {
namespace {

using test::ViewsTest;

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

}  // namespace
}  // namespace zentor
