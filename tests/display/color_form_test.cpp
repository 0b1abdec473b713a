#include <gtest/gtest.h>

#include <QCheckBox>
#include <QTest>
#include <limits>

#include "core/records.h"
#include "display/color_form.h"
#include "display/plot_colours.h"
#include "platform/forms.h"
#include "support/fixture.h"

namespace zentor {
namespace {

class Colours : public test::ZentorTest {
 protected:
  void SetUp() override {
    ZentorTest::SetUp();
    SetDefaultPlotColours();
  }
  ColorForm* Open() {
    ColorForm* form = Forms::Get<ColorForm>();
    form->show();
    return form;
  }
};

TEST_F(Colours, Defaults) {
  PlotColours[0] = 77;
  PlotColours[12] = 78;
  SetDefaultPlotColours();
  const std::array<ColourRef, 13> expected = {
      77, RGB(192, 192, 192), RGB(192, 192, 192), RGB(0, 0, 255),     RGB(0, 255, 0),    RGB(0, 255, 255), RGB(255, 0, 0),
      RGB(255, 0, 255), RGB(255, 255, 0), RGB(0, 0, 0), RGB(128, 128, 128), RGB(255, 0, 0), 78};
  EXPECT_EQ(PlotColours, expected);
}

TEST_F(Colours, WindowShowsTheTableAndPicksThroughTheColourDialog) {
  ColorForm* form = Open();
  EXPECT_EQ(form->windowTitle(), "Color Selection");
  EXPECT_EQ(form->SaveAsDefault->text(), "Save As Default");
  EXPECT_EQ(form->SaveAsDefault->toolTip(), "Save colors as default choice");
  for (size_t k = 1; k <= 10; ++k) EXPECT_EQ(form->Box(int(k))->BackColor(), PlotColours[k]);

  // The background takes the grid face with it.
  dialogs.ExpectColour(RGB(255, 0, 0));
  QTest::mouseClick(form->Picture1, Qt::LeftButton);
  EXPECT_EQ(PlotColours[1], 255);
  EXPECT_EQ(PlotColours[2], 255);
  EXPECT_EQ(form->Picture2->BackColor(), 255);
  EXPECT_EQ(dialogs.calls().back().kind, test::DialogCall::Colour);

  auto before = PlotColours;
  dialogs.ExpectColour(RGB(1, 2, 3));
  QTest::mouseClick(form->Picture10, Qt::LeftButton);
  before[10] = RGB(1, 2, 3);
  EXPECT_EQ(PlotColours, before);

  // The label of the background picks too; the grid face box itself does not.
  dialogs.ExpectColour(RGB(0, 0, 9));
  QTest::mouseClick(form->Label1, Qt::LeftButton);
  EXPECT_EQ(PlotColours[2], RGB(0, 0, 9));
  QTest::mouseClick(form->Picture2, Qt::LeftButton);  // no dialog expected

  dialogs.ExpectColour(std::nullopt);
  form->Picture5_Click();
  EXPECT_EQ(PlotColours[5], RGB(0, 255, 255));
  EXPECT_EQ(form->Picture5->BackColor(), RGB(0, 255, 255));
}

TEST_F(Colours, ClosingRedrawsAndSavesOnlyWhenTickedAndReopeningShowsTheTable) {
  int redraws = 0, saves = 0;
  ColorFormHooks.DisplayResults = [&] { ++redraws; };
  ColorFormHooks.SaveUserSettings = [&] { ++saves; };

  ColorForm* form = Open();
  EXPECT_EQ(form->GetSaveAsDefault(), 0);
  form->close();
  EXPECT_EQ(redraws, 1);
  EXPECT_EQ(saves, 0);

  form = Open();
  form->SaveAsDefault->setChecked(true);
  form->close();
  EXPECT_EQ(redraws, 2);
  EXPECT_EQ(saves, 1);

  // The tick outlives the closed window, for the main window's check at exit; reopened,
  // the window shows the table in force.
  EXPECT_EQ(Forms::Get<ColorForm>()->GetSaveAsDefault(), -1);
  PlotColours[7] = RGB(4, 5, 6);
  form = Open();
  EXPECT_EQ(form->Picture7->BackColor(), RGB(4, 5, 6));
  // Any state but ticked reads as not ticked, and is cleared.
  form->SaveAsDefault->setTristate(true);
  form->SaveAsDefault->setCheckState(Qt::PartiallyChecked);
  EXPECT_EQ(form->GetSaveAsDefault(), 0);
  EXPECT_EQ(form->SaveAsDefault->checkState(), Qt::Unchecked);
}

TEST_F(Colours, CurveColourWrapsEveryEightCurves) {
  for (int i = 0; i < kNumPlotColours; ++i) PlotColours[static_cast<size_t>(i)] = 100 + i;
  EXPECT_EQ(GetCurveColour(0), PlotColours[3]);
  EXPECT_EQ(GetCurveColour(7), PlotColours[10]);
  EXPECT_EQ(GetCurveColour(9), PlotColours[4]);
  EXPECT_EQ(GetCurveColour(-1), PlotColours[10]);
  EXPECT_EQ(GetCurveColour(std::numeric_limits<int32_t>::min()), PlotColours[3]);
}

}  // namespace
}  // namespace zentor
