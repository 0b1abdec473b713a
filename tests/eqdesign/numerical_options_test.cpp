// The numerical options window on the started main window: what it shows, what
// Apply checks and takes over, and the commands that open it.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <string>
#include <vector>

#include "eqdesign/eq_dialog_links.h"
#include "eqdesign/numerical_options.h"
#include "mainwindow/main_window_fixture.h"
#include "platform/help.h"

namespace zentor {
namespace {

using Texts = std::vector<std::string>;

class NumericalOptionsTest : public test::MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    w = Start();
    InstallEQDialogLinks();
    w->RefreshLinkedControls();
    Reopen();
  }
  void Reopen() {
    Forms::Unload<Numerical>();
    n = Forms::Get<Numerical>();
    n->InitializeNumericalValues();
  }
  // Every field valid, with values unlike the start-up ones.
  void FillValid() {
    n->MinFreqText->setText("30");
    n->MaxFreqText->setText("200");
    n->SecondaryPolishWidthText->setText("1.5");
    n->DampingText->setText("0.9");
    n->PolishingEffortText->setText("20");
    n->LoudspeakerText->setText("6");
    n->MaxDecayText->setText("2");
    n->MinQText->setText("0.2");
    n->SchroederText->setText("250");
  }
  std::string Text(QLineEdit* e) const { return e->text().toStdString(); }

  DataPlotter* w = nullptr;
  Numerical* n = nullptr;
};

TEST_F(NumericalOptionsTest, ShowsTheMainWindowsConstants) {
  EXPECT_EQ(n->windowTitle(), "DSP/EQ Options");
  EXPECT_EQ(Text(n->MinFreqText), "25");
  EXPECT_EQ(Text(n->MaxFreqText), "80");
  EXPECT_EQ(Text(n->MinQText), "0.05");
  EXPECT_EQ(Text(n->DampingText), "0.8");
  EXPECT_EQ(Text(n->PolishingEffortText), "8");
  EXPECT_EQ(Text(n->LoudspeakerText), "4");
  EXPECT_EQ(Text(n->SchroederText), "150");
  EXPECT_TRUE(n->SortLargest->isChecked());
  EXPECT_EQ(n->ApplyFiltersCheck->isChecked(), w->GetIncludeFilters() != 0);

  w->SetSimSort(false);
  w->IncludeExistingFiltersinFit(1);
  Reopen();
  EXPECT_TRUE(n->SortSmallest->isChecked());
  EXPECT_TRUE(n->ApplyFiltersCheck->isChecked());
}

TEST_F(NumericalOptionsTest, ApplyChecksEachRangeInOrder) {
  n->MinFreqText->setText("25");
  n->MaxFreqText->setText("26");
  n->Set_Click();
  EXPECT_FLOAT_EQ(w->GetModalCurveMaxFreq(), 26.0f);

  auto refused = [&](QLineEdit* field, const char* text) {
    const float before = w->GetModalCurveMaxFreq();
    dialogs.ExpectMessage();
    field->setText(text);
    n->Set_Click();
    EXPECT_EQ(field->palette().color(QPalette::Base), QColor(128, 0, 0)) << text;
    EXPECT_EQ(w->GetModalCurveMaxFreq(), before) << text;
  };
  refused(n->MaxFreqText, "25.5");
  n->MaxFreqText->setText("26");
  refused(n->MinFreqText, "11");
  n->MinFreqText->setText("12");
  refused(n->PolishingEffortText, "0.5");
  EXPECT_EQ(dialogs.MessageTexts(), (Texts{"User Error: Input must be between 26 and 20000",
                                           "User Error: Input must be between 12 and 20000",
                                           "User Error: Input must be between 1 and 100"}));

  // Whole numbers round half to even.
  n->PolishingEffortText->setText("2.5");
  n->LoudspeakerText->setText("4.6");
  n->Set_Click();
  EXPECT_FLOAT_EQ(w->GetModalCurveMinFreq(), 12.0f);
  EXPECT_EQ(w->GetLoudspeakerOrder(), 5);
  EXPECT_FLOAT_EQ(w->GetModalCurveNumInitialLoops(), 2.0f);

  n->DampingText->setText("0.856");
  n->Set_Click();
  Reopen();
  EXPECT_EQ(Text(n->DampingText), "0.85");
}

TEST_F(NumericalOptionsTest, InclusionIsTakenEvenWhenAFieldIsRefused) {
  w->IncludeExistingFiltersinFit(1);
  Reopen();
  const ModalConstants before = w->GetModalConstants();
  FillValid();
  n->ApplyFiltersCheck->setChecked(false);
  n->SortSmallest->setChecked(true);
  n->SchroederText->setText("10");
  dialogs.ExpectMessage();
  n->Set_Click();
  EXPECT_EQ(w->GetIncludeFilters(), 0);
  EXPECT_EQ(w->GetSimSort(), "True");
  EXPECT_EQ(w->GetModalConstants().MaxFreq, before.MaxFreq);
  EXPECT_EQ(w->GetModalConstants().Damping, before.Damping);
  EXPECT_EQ(w->GetModalConstants().SchroederFreq, before.SchroederFreq);
  EXPECT_EQ(dialogs.MessageTexts(), Texts{"User Error: Input must be between 20 and 300"});
}

TEST_F(NumericalOptionsTest, ValidApplySetsEveryConstant) {
  w->CurveNumberText->setText("3");
  FillValid();
  n->SortSmallest->setChecked(true);
  n->ApplyFiltersCheck->setChecked(true);
  n->Set_Click();
  const ModalConstants& m = w->GetModalConstants();
  EXPECT_FLOAT_EQ(static_cast<float>(m.MinFreq), 30.0f);
  EXPECT_FLOAT_EQ(static_cast<float>(m.MaxFreq), 200.0f);
  EXPECT_FLOAT_EQ(static_cast<float>(m.SecondaryPolishWidth), 1.5f);
  EXPECT_FLOAT_EQ(static_cast<float>(m.Damping), 0.9f);
  EXPECT_EQ(m.NumInitialLoops, 20);
  EXPECT_EQ(m.LoudspeakerOrder, 6);
  EXPECT_FLOAT_EQ(static_cast<float>(m.MaxDecay), 2.0f);
  EXPECT_FLOAT_EQ(m.QMinimum, 0.2f);
  EXPECT_FLOAT_EQ(m.SchroederFreq, 250.0f);
  EXPECT_EQ(w->GetSimSort(), "False");
  EXPECT_NE(w->GetIncludeFilters(), 0);
  EXPECT_EQ(w->GetModesCurveNumber(), 0);
  EXPECT_EQ(w->CurveNumberText->text(), "1");
  EXPECT_TRUE(dialogs.MessageTexts().empty());

  n->Command2->click();
  EXPECT_EQ(GetHelpLog().topics.back(), 410);
}

TEST_F(NumericalOptionsTest, MenuAndButtonOpenTheFilledWindow) {
  w->SetModalNumericalConstants(0, 40, 90, 1.5f, 0.5f, 8, 0.8f, 4, 0.05f, 150);
  for (auto open : {+[](DataPlotter* p) { p->NumericalOptions->trigger(); },
                    +[](DataPlotter* p) { p->NumOptBut->click(); }}) {
    std::string shown;
    dialogs.ExpectModal([&](QDialog* d) {
      auto* opened = static_cast<Numerical*>(d);
      shown = d->windowTitle().toStdString() + " " + opened->MinFreqText->text().toStdString();
      return static_cast<int>(QDialog::Accepted);
    });
    ASSERT_TRUE(w->NumOptBut->isEnabled() && w->NumericalOptions->isEnabled());
    open(w);
    EXPECT_EQ(shown, "DSP/EQ Options 40");
  }
}

TEST_F(NumericalOptionsTest, Screenshot) {
  n->adjustSize();
  ASSERT_TRUE(n->grab().save(QDir::temp().filePath("zentor_numerical_options.png")));
}

}  // namespace
}  // namespace zentor
