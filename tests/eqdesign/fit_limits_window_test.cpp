// The fit limits in the windows: the dialog and the settings store, the boost
// limit in the new-filter dialog, Apply All and the filter editor, the centre Q
// shown, the report's added lines, and why a fit range misses the curve.
#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include "base/text_number.h"
#include "display/view_state.h"
#include "eqdesign/eq_list_fixture.h"
#include "eqdesign/eq_report.h"
#include "eqdesign/fit_corpus.h"
#include "eqdesign/filter_edit_links.h"
#include "eqdesign/fit_commands.h"
#include "eqdesign/fit_limits_form.h"
#include "eqdesign/fit_limits_store.h"
#include "eqdesign/level_set.h"
#include "eqdesign/modes_list.h"
#include "eqdesign/user_select.h"
#include "mainwindow/main_window_links.h"
#include "support/silent_set.h"

namespace zentor {
namespace {

using test::AddMeasured;
using test::MakeFilter;
using test::SetApplied;
using Texts = std::vector<std::string>;

class FitLimitsWindowTest : public test::EqListTest {
 protected:
  void SetUp() override {
    EqListTest::SetUp();
    InstallFitCommandLinks();
    InstallFilterEditLinks();
    w->RefreshLinkedControls();
    w->SetParametricEmulation(2);
    w->SetGraphicEmulation(3);
    test::LoadSilentSet(1, 48000, 17, 20);  // the editor redraws the room's response
    ImpulseSet[0][2400] = 1.0f;
    DisplayConfig.Graphshown = kBodeView;
  }
  // Opens Fit Limits from its menu entry; `inside` acts on the shown dialog.
  void InDialog(const std::function<void(FitLimitsForm*)>& inside) {
    dialogs.ExpectModal([inside](QDialog* d) {
      inside(qobject_cast<FitLimitsForm*>(d));
      return d->result();
    });
    w->FitLimits->trigger();
  }
  std::string TempFile(const char* name, const char* text) {
    const std::string path = TempPath(name);
    QFile f(QString::fromStdString(path));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
    return path;
  }
};

TEST_F(FitLimitsWindowTest, TheDialogStoresWhatItChecksAndRefusesABadTargetFile) {
  InDialog([](FitLimitsForm* d) {
    EXPECT_EQ(d->MaxBoostText->text(), "6");
    EXPECT_EQ(d->MaxFiltersText->text(), "75");
    EXPECT_TRUE(d->TargetFlat->isChecked() && d->LevelMedian->isChecked());
    d->MaxBoostText->setText("3.5");
    d->MaxFiltersText->setText("10");
    d->TargetBassLift->setChecked(true);
    d->BassLiftText->setText("4");
    d->BassCornerText->setText("80");
    d->LevelBand->setChecked(true);
    d->BandLowText->setText("30");
    d->BandHighText->setText("150");
    d->OK->click();
  });
  EXPECT_EQ(DescribeFitLimits(LoadFitLimits()),
            "Max boost 3.5 dB, at most 10 filters, target bass lift 4 dB below 80 Hz at the curve's median level "
            "from 30 to 150 Hz");

  const std::string bad = TempFile("bad.txt", "20 3\n40 x\n"), good = TempFile("good.txt", "# house\n20 6\n200 0\n");
  dialogs.ExpectMessage();  // the boost out of range
  dialogs.ExpectMessage();  // the bad file
  InDialog([&](FitLimitsForm* d) {
    EXPECT_EQ(d->MaxBoostText->text(), "3.5");
    d->MaxBoostText->setText("25");
    d->OK->click();  // out of range: refused, stays open
    d->MaxBoostText->setText("0");
    d->TargetFile->setChecked(true);
    d->TargetFileText->setText(QString::fromStdString(bad));
    d->OK->click();
    d->TargetFileText->setText(QString::fromStdString(good));
    d->OK->click();
  });
  ASSERT_GE(dialogs.MessageTexts().size(), 2u);
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 5857: Line 2 of the target file is not a frequency and a level in dB.");
  const FitLimits l = LoadFitLimits();
  EXPECT_EQ(l.Target.Hz, (std::vector<double>{20, 200}));
  EXPECT_EQ(DescribeFitLimits(l), "Cuts only, at most 10 filters, target file " + good +
                                      " at the curve's median level from 30 to 150 Hz");
}

TEST_F(FitLimitsWindowTest, BoostsAboveTheLimitAreRefusedByTheDialogsAndHeldByApplyAll) {
  AddMeasured(0, 60, -9, 3);   // a dip: corrected by a 9 dB boost
  AddMeasured(0, 90, 12, 4);   // a peak: a cut
  ASSERT_TRUE(CheckForCurveSingularities(*w, 0));
  dialogs.ExpectModal([](QDialog* d) {
    auto* u = qobject_cast<UserSelect*>(d);
    EXPECT_EQ(u->CentreQText->text(), "6.93") << "√(12·4)";
    u->Cancel->click();
    return d->result();
  });
  MainWindowHooks.ModesList_Click(1);
  dialogs.ExpectModal([](QDialog* d) {
    auto* u = qobject_cast<UserSelect*>(d);
    u->Apply->click();
    u->Cancel->click();
    return d->result();
  });
  dialogs.ExpectMessage();
  MainWindowHooks.ModesList_Click(0);
  EXPECT_EQ(dialogs.MessageTexts(),
            Texts{"Error 5862: This filter boosts 9.5 dB, more than the Max boost of 6 dB (Filters > Curve Fit > "
                  "Fit Limits)."});
  EXPECT_EQ(AppliedFilters[0].Count, 0);

  EXPECT_EQ(ApplyAllModes(*w), 2);
  EXPECT_NEAR(FilterBoostDb(AppliedFilters[0].Q1, AppliedFilters[0].Q2), 6, 1e-4) << "held to the limit";
  EXPECT_NEAR(FilterBoostDb(AppliedFilters[1].Q1, AppliedFilters[1].Q2), -20 * std::log10(3.0), 1e-4);
  EXPECT_TRUE(w->AppliedFilterListBox->item(0)->toolTip().startsWith(QString::fromStdString(
      "Centre Q " + FormatDouble(std::round(CentreQ(AppliedFilters[0].Q1, AppliedFilters[0].Q2) * 100) / 100))));
  dialogs.Clear();
  dialogs.ExpectMessage(MsgAnswer::Yes);
  EXPECT_EQ(ApplyAllModes(*w, true, 0.0), 1) << "cuts only: the boost is left out";

  // The filter editor refuses a typed boost above the limit and keeps the filter.
  SetApplied({MakeFilter(2, 1000, 3, 2)});
  LevelSet* editor = Forms::Get<LevelSet>();
  ASSERT_TRUE(editor->InitializeLevelSet(0));
  const FilterRecord kept = AppliedFilters[0];
  dialogs.Clear();
  dialogs.ExpectMessage();
  editor->LevelText->setText("8");
  editor->LevelText_KeyPress(13);
  EXPECT_EQ(dialogs.MessageTexts(), Texts{"Error 5862: This filter boosts 8 dB, more than the Max boost of 6 dB "
                                          "(Filters > Curve Fit > Fit Limits)."});
  EXPECT_EQ(AppliedFilters[0].Q2, kept.Q2);
  EXPECT_TRUE(editor->CentreQLabel->text().startsWith("Centre Q "));
  Forms::Unload<LevelSet>();
}

TEST_F(FitLimitsWindowTest, TheReportEndsWithTheLimitsAndThePreamp) {
  SetApplied({MakeFilter(2, 100, 4.5, 3), MakeFilter(2, 3000, -6, 2)});
  EXPECT_EQ(FitLimitReportLines(DefaultFitLimits(), AppliedFilters),
            (Texts{"", "Fit Limits: Max boost 6 dB, at most 75 filters, target flat at the curve's median level over "
                   "the fit range", "Preamp = -4.5 dB (the set's largest boost, taken off before it)"}));
}

// A set fitted on the equaliser's steps, with the window's limits, is applied
// as it is listed: neither the new-filter dialog nor Apply All moves a filter.
TEST_F(FitLimitsWindowTest, ModesFittedOnStepsAreAppliedAsListed) {
  const std::vector<float> f = BodeLikeGrid(2000);
  const std::vector<test::CorpusCurve> corpus = test::MakeFitCorpus(f, 79, 1, 0);
  FitEngine engine;
  const auto filters = [](std::span<const FilterRecord> r, int32_t n) {
    std::vector<std::array<float, 3>> out;
    for (int32_t i = 0; i < n; ++i) out.push_back({r[i].Freq1, r[i].Q1, r[i].Q2});
    std::sort(out.begin(), out.end());
    return out;
  };
  for (const int32_t code : {1, 4, 5}) {
    SCOPED_TRACE(testing::Message() << "code " << code);
    w->SetParametricEmulation(code);
    SingularityList[0] = test::FitCorpusCurve(f, corpus[0], code, engine, LoadFitLimits(), true);
    ASSERT_TRUE(CheckForCurveSingularities(*w, 0));
    const auto listed = filters(ModesListContents, ModesListContents[0].Count);
    SetApplied({});
    ApplyEachModeByDialog();
    EXPECT_EQ(filters(AppliedFilters, AppliedFilters[0].Count), listed);
    SetApplied({});
    ASSERT_EQ(ApplyAllModes(*w), ModesListContents[0].Count);
    EXPECT_EQ(filters(AppliedFilters, AppliedFilters[0].Count), listed);
  }
}

}  // namespace
}  // namespace zentor
