// Level change of one curve: typed or from the slider, applied to the stored
// samples of that curve only, then back to 0 dB.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <cmath>

#include "platform/forms.h"
#include "tools/levels_form.h"
#include "tools_fixture.h"

namespace zentor::test {

namespace {

class LevelsTest : public ToolsTest {
 protected:
  void SetUp() override {
    ToolsTest::SetUp();
    LoadSet(3, 48000, 14, [](int32_t k, int32_t i) { return std::cos(0.01f * float(i * (k + 1))) * 0.5f; });
    for (int32_t k = 0; k < 3; ++k) before.emplace_back(ImpulseSet[size_t(k)].begin(), ImpulseSet[size_t(k)].end());
  }
  Levels* Form() { return Forms::Get<Levels>(); }

  // Curve k (0-based) against its samples at set-up times the gain.
  void ExpectScaled(int32_t k, double dB) {
    const double g = std::pow(10.0, dB / 20.0);
    for (int32_t i = 0; i < 16384; i += 7)
      ASSERT_NEAR(ImpulseSet[size_t(k)][size_t(i)], before[size_t(k)][size_t(i)] * g, 1e-5) << k << " " << i;
  }

  std::vector<std::vector<float>> before;
};

TEST_F(LevelsTest, TypedChangeScalesOnlyThatCurveThenResets) {
  Levels* f = Form();
  EXPECT_EQ(f->LevelCurveCount, 3);
  EXPECT_EQ(f->CurveNoText->text(), "1");
  f->CurveNoText->setText("2");
  f->LevelText->setText("3.5");
  QTest::keyClick(f->LevelText, Qt::Key_Return);
  ExpectScaled(1, 3.5);
  ExpectScaled(0, 0);
  ExpectScaled(2, 0);
  EXPECT_EQ(f->LevelText->text(), " 0");
  EXPECT_EQ(f->Slider1->value(), 0);
  EXPECT_EQ(f->LevelChangeDb, 0.0f);
  EXPECT_EQ(w->ResultsTakenButNotSaved, kTrue);
}

TEST_F(LevelsTest, OutOfRangeChangeAndCurveAreRefused) {
  Levels* f = Form();
  f->LevelText->setText("25");
  dialogs.ExpectMessage();
  f->LevelText_KeyPress(13);
  EXPECT_EQ(dialogs.MessageTexts().back(), "User Error: Input must be between -20 and 20");
  f->LevelText->setText("-2");
  f->CurveNoText->setText("4");
  dialogs.ExpectMessage();
  f->LevelText_KeyPress(13);
  EXPECT_EQ(dialogs.MessageTexts().back(), "User Error: Input must be between 1 and 3");
  EXPECT_EQ(f->Slider1->value(), -20);  // the slider keeps the typed change
  for (int32_t k = 0; k < 3; ++k) ExpectScaled(k, 0);

  f->CurveNoText->setText("2.6");  // rounds to curve 3
  f->LevelText_KeyPress(13);
  ExpectScaled(2, -2);
  ExpectScaled(1, 0);
}

TEST_F(LevelsTest, SliderShowsWhileMovingAndAppliesOnCommit) {
  Levels* f = Form();
  f->CurveNoText->setText("3");
  f->Slider1->setSliderDown(true);
  f->Slider1->setValue(123);
  EXPECT_EQ(f->LevelText->text(), " 12.3");
  ExpectScaled(2, 0);
  f->Slider1->setSliderDown(false);
  ExpectScaled(2, 12.3);
  EXPECT_EQ(f->Slider1->value(), 0);
  EXPECT_EQ(f->LevelText->text(), " 0");

  // A key on the slider commits at once.
  QTest::keyClick(f->Slider1, Qt::Key_Left);
  ExpectScaled(2, 12.2);
}

TEST_F(LevelsTest, OpensModallyFromTheMenu) {
  dialogs.ExpectModal([](QDialog* d) {
    EXPECT_EQ(d->windowTitle(), "Levels");
    return 0;
  });
  w->AdjustLevels_Click();
  EXPECT_FALSE(Forms::IsLoaded<Levels>());
}

}  // namespace

}  // namespace zentor::test
