// The filter editor, the click on an applied filter that opens it, and removing
// an applied filter, on the started main window.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "core/emulation.h"
#include "core/records.h"
#include "display/graph_frame.h"
#include "display/view_state.h"
#include "eqdesign/applied_filter_list.h"
#include "eqdesign/filter_edit_links.h"
#include "eqdesign/fit_limits_store.h"
#include "eqdesign/level_set.h"
#include "mainwindow/main_window_fixture.h"
#include "mainwindow/main_window_links.h"
#include "platform/help.h"
#include "support/curve_sets.h"
#include "support/silent_set.h"

namespace zentor {
namespace {

constexpr float kTwoPi = 2 * std::numbers::pi_v<float>;
using Texts = std::vector<std::string>;

// A filter of `level` dB (boost above 0) with centre Q q at f Hz.
FilterRecord Filter(int32_t kind, float f, float level, float q, int32_t code = 2) {
  FilterRecord r;
  r.Kind = kind;
  r.Graphshown = kBodeView;
  r.Freq1 = kTwoPi * f;
  r.Q1 = ConvertQForFilterType(q, level, code);
  r.Q2 = std::fabs(r.Q1) / std::pow(10.0f, std::fabs(level) / 20);
  r.EQEmulationCode = code;
  return r;
}

class LevelSetTest : public test::MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    w = Start();
    w->MainGraphOverride = &rec;
    InstallFilterEditLinks();
    w->RefreshLinkedControls();
    test::LoadSilentSet(1, 48000, 17, 20);
    ImpulseSet[0][2400] = 1.0f;
    DisplayConfig.Graphshown = kBodeView;
    w->SetParametricEmulation(2);
    w->SetGraphicEmulation(3);
    // The editor's own range, not the stored boost limit, is under test here.
    FitLimits limits = DefaultFitLimits();
    limits.MaxBoostDb = 20;
    SaveFitLimits(limits);
  }
  // A fresh editor set up for the only applied filter.
  LevelSet* Open(const FilterRecord& f) {
    Forms::Unload<LevelSet>();
    AppliedFilters[0] = f;
    AppliedFilters[0].Count = 1;
    editor = Forms::Get<LevelSet>();
    opened = editor->InitializeLevelSet(0);
    return editor;
  }
  bool Shown(QWidget* c) const { return c->isVisibleTo(editor); }
  std::string Text(QLineEdit* e) const { return e->text().toStdString(); }
  void Screenshot(const char* name) {
    editor->adjustSize();
    editor->grab().save(QDir::temp().filePath(name));
  }

  DataPlotter* w = nullptr;
  LevelSet* editor = nullptr;
  bool opened = false;
  RecordingSurface rec;
};

TEST_F(LevelSetTest, EachKindLaysOutItsOwnControls) {
  Open(Filter(2, 1000, -6, 4));
  EXPECT_EQ(editor->windowTitle(), "Parametric Control");
  EXPECT_EQ(editor->EmulationLabel->text(), "Bristow-Johnson");
  EXPECT_EQ(editor->QLabel->text(), "Q[NA]");
  EXPECT_TRUE(Shown(editor->Qslider) && Shown(editor->FreqSlider) && Shown(editor->QText));
  EXPECT_FALSE(Shown(editor->DecayText));
  EXPECT_EQ(Text(editor->FreqText), " 1000");
  EXPECT_EQ(Text(editor->LevelText), "-6");
  Screenshot("zentor_level_set_parametric.png");

  Open(Filter(3, 1000, 4, 1.4f, 3));
  EXPECT_EQ(editor->windowTitle(), "Graphic Control");
  EXPECT_EQ(editor->EmulationLabel->text(), "Classic Audio");
  EXPECT_FALSE(Shown(editor->Qslider) || Shown(editor->FreqSlider) || Shown(editor->QText) ||
               Shown(editor->DecayText));
  EXPECT_TRUE(editor->FreqText->isReadOnly());
  Screenshot("zentor_level_set_graphic.png");

  Open(Filter(4, 50, -12, 10));
  EXPECT_EQ(editor->windowTitle(), "Damped Parametric Control");
  EXPECT_TRUE(Shown(editor->DecayText) && Shown(editor->Label2) && Shown(editor->FreqSlider));
  EXPECT_FALSE(Shown(editor->Qslider));
  EXPECT_EQ(editor->Label2->text(), "s/60 dB Decay");
  Screenshot("zentor_level_set_damped.png");

  // Codes whose equalisers have no damped mode edit it as a parametric filter.
  for (int32_t code : {1, 4, 5}) {
    w->SetParametricEmulation(code);
    Open(Filter(4, 50, -12, 10, code));
    EXPECT_EQ(editor->windowTitle(), "Parametric Control") << code;
    EXPECT_TRUE(Shown(editor->Qslider));
    EXPECT_EQ(editor->QLabel->text(), code == 5 ? "Q[NA]" : "BW/60");
  }
  EXPECT_TRUE(dialogs.MessageTexts().empty());
}

TEST_F(LevelSetTest, OpensUpToHalfTheSampleRateAndNoFurther) {
  w->SetParametricEmulation(3);
  FilterRecord f = Filter(2, 24000, -6, 4, 3);
  f.Freq1 = static_cast<float>(std::numbers::pi * 48000);
  dialogs.ExpectMessage();  // the averages cannot run a section at half the rate
  Open(f);
  EXPECT_TRUE(opened);
  EXPECT_FALSE(editor->Unloaded());
  f.Freq1 = std::nextafter(f.Freq1, 1e9f);
  dialogs.ExpectMessage();
  Open(f);
  EXPECT_FALSE(opened);
  EXPECT_TRUE(editor->Unloaded());
  EXPECT_EQ(dialogs.MessageTexts(),
            (Texts{"Error 7122", "Error: This frequency is too high using the current sample rate."}));
}

TEST_F(LevelSetTest, RangesHoldTheFiltersValueWithinTheModelsLimits) {
  Open(Filter(3, 1000, 0, 2, 3));
  EXPECT_EQ(Text(editor->LevelText), "0.0");
  EXPECT_EQ(editor->LevelSlider->value(), 1250);

  Open(Filter(2, 1000, -6, 40));
  EXPECT_NEAR(editor->QRange().first, 20, 1e-4);
  EXPECT_EQ(editor->QRange().second, 50);
  Open(Filter(2, 1000, -6, 0.15f));
  EXPECT_EQ(editor->QRange().first, 0.1);
  EXPECT_NEAR(editor->QRange().second, 0.3, 1e-6);
  EXPECT_NEAR(editor->FreqRange().first, kTwoPi * 1000 / std::pow(10.0, 0.1), 0.01);
  double lo = 0, hi = 0;
  EditorQRange(1, 1.5, lo, hi);
  EXPECT_EQ(std::pair(lo, hi), std::pair(1.0, 3.0));
  EditorQRange(1, 100, lo, hi);
  EXPECT_EQ(std::pair(lo, hi), std::pair(50.0, 120.0));
  EditorQRange(2, 80, lo, hi);  // widened to hold the value
  EXPECT_EQ(std::pair(lo, hi), std::pair(40.0, 80.0));
}

TEST_F(LevelSetTest, DampedLevelRunsFromNoChangeToTwentyDecibels) {
  Open(Filter(4, 50, -12, 10));
  const float q1 = AppliedFilters[0].Q1;
  editor->LevelSlider->setValue(0);
  EXPECT_EQ(AppliedFilters[0].Q2, std::fabs(q1));
  EXPECT_EQ(Text(editor->LevelText), " 0");
  editor->LevelSlider->setValue(2000);
  EXPECT_NEAR(AppliedFilters[0].Q2, std::fabs(q1) / 10, 1e-4 * std::fabs(q1));
  EXPECT_EQ(AppliedFilters[0].Q1, q1);  // the zero pair stays on the mode
}

TEST_F(LevelSetTest, ADragShowsTheValueAndOnlyTheReleaseWritesIt) {
  Open(Filter(2, 1000, -6, 4));
  const FilterRecord before = AppliedFilters[0];
  editor->LevelSlider->setSliderDown(true);
  editor->LevelSlider->setSliderPosition(1750);  // +8 dB
  EXPECT_EQ(Text(editor->LevelText), " 8");
  EXPECT_EQ(AppliedFilters[0].Q1, before.Q1);
  EXPECT_EQ(AppliedFilters[0].Q2, before.Q2);
  editor->LevelSlider->setSliderDown(false);
  EXPECT_LT(AppliedFilters[0].Q1, 0);  // now a boost
  EXPECT_NEAR(20 * std::log10(std::fabs(AppliedFilters[0].Q1) / AppliedFilters[0].Q2), 8, 1e-4);

  // Out of range: the validator's message, and nothing moves.
  const FilterRecord written = AppliedFilters[0];
  editor->LevelText->setText("13");
  dialogs.ExpectMessage();
  QTest::keyClick(editor->LevelText, Qt::Key_Return);
  EXPECT_EQ(dialogs.MessageTexts(), (Texts{"User Error: Input must be between -20 and 12"}));
  EXPECT_EQ(AppliedFilters[0].Q1, written.Q1);
  EXPECT_EQ(editor->LevelSlider->value(), 1750);
  // In range, Enter writes it, to the slider's resolution.
  editor->LevelText->setText("-3");
  QTest::keyClick(editor->LevelText, Qt::Key_Return);
  EXPECT_NEAR(20 * std::log10(std::fabs(AppliedFilters[0].Q1) / AppliedFilters[0].Q2), 3, 0.016);
  EXPECT_GT(AppliedFilters[0].Q1, 0);
  EXPECT_EQ(AppliedFilters[0].Count, 1);
}

TEST_F(LevelSetTest, OpeningAndClosingLeavesTheFilterAsItWas) {
  w->SetParametricEmulation(1);
  FilterRecord boost = Filter(2, 1000, 16, 1, 1);
  boost.Q1 = ConvertEmulatedQ(20.0f / 60, 16, 1);
  boost.Q2 = std::fabs(boost.Q1) / std::pow(10.0f, 16.0f / 20);
  EmulateEQBand(1, boost.Freq1, boost.Q1, boost.Q2);
  Open(boost);
  Forms::Unload<LevelSet>();
  EXPECT_NEAR(AppliedFilters[0].Freq1, boost.Freq1, 1e-6 * boost.Freq1);
  EXPECT_NEAR(AppliedFilters[0].Q1, boost.Q1, 1e-6 * std::fabs(boost.Q1));
  EXPECT_NEAR(AppliedFilters[0].Q2, boost.Q2, 1e-6 * boost.Q2);

  w->SetParametricEmulation(2);
  Open(Filter(2, 1000, -6, 80));
  EXPECT_NEAR(ScaleQByGain(-6, AppliedFilters[0].Q1), 80, 1e-3);
  EXPECT_TRUE(dialogs.MessageTexts().empty());
}

TEST_F(LevelSetTest, DeleteRemovesTheFilterWithoutAQuestion) {
  Open(Filter(2, 1000, -6, 4));
  editor->Delete->click();
  EXPECT_EQ(AppliedFilters[0].Count, 0);
  EXPECT_EQ(AppliedFilters[0].Freq1, 0.0f);
  EXPECT_TRUE(editor->Unloaded());
  EXPECT_TRUE(dialogs.MessageTexts().empty());
}

TEST_F(LevelSetTest, RefusalsAndHelp) {
  dialogs.ExpectMessage();
  Open(Filter(5, 1000, -6, 4));
  EXPECT_TRUE(opened);  // shown unconfigured
  FilterRecord noPole = Filter(2, 1000, -6, 4);
  noPole.Q1 = 4;
  noPole.Q2 = -2;
  dialogs.ExpectMessage();
  Open(noPole);
  FilterRecord broken = Filter(2, 1000, -6, 4);
  broken.Q1 = std::nanf("");
  dialogs.ExpectMessage();
  Open(broken);
  EXPECT_EQ(dialogs.MessageTexts(), (Texts{"Error 5419", "Error 5421", "Error 9054 "}));
  editor->Help->click();
  EXPECT_EQ(GetHelpLog().topics.back(), 910);
}

// ---- The applied-filter list --------------------------------------------------------

TEST_F(LevelSetTest, RemovingEntriesClosesTheGapInOrder) {
  for (int32_t i = 0; i < kMaxFilters; ++i) AppliedFilters[static_cast<size_t>(i)].Freq1 = float(i + 1);
  AppliedFilters[0].Count = kMaxFilters;
  RemoveFromAppliedList(*w, 0);
  ASSERT_EQ(AppliedFilters[0].Count, 74);
  for (int32_t i = 0; i < 74; ++i) ASSERT_EQ(AppliedFilters[static_cast<size_t>(i)].Freq1, float(i + 2));
  EXPECT_EQ(AppliedFilters[74].Freq1, 0.0f);
  dialogs.ExpectMessage();
  RemoveFromAppliedList(*w, 74);
  EXPECT_EQ(dialogs.MessageTexts(), (Texts{"Error 8772"}));
  EXPECT_EQ(AppliedFilters[0].Count, 74);
  AppliedFilters[0].Count = 1;
  RemoveFromAppliedList(*w, 0);
  EXPECT_EQ(AppliedFilters[0].Count, 0);
  RemoveFromAppliedList(*w, 0);  // an empty list only relists
  EXPECT_EQ(AppliedFilters[0].Count, 0);
}

class ListClickTest : public LevelSetTest {
 protected:
  void SetUp() override {
    LevelSetTest::SetUp();
    ResultsDataSetInfo[0].FreqRespGateTime = 20;
    test::FlatCurve(BodeCurves, 0, 50, 3.0f);
    BodeCurves[0].Label = "kept";
    FreqGraphFrame.XStart = 30;
    FreqGraphFrame.XFinish = 5000;
    FreqGraphFrame.YLow = -7;
    FreqGraphFrame.YHigh = 9;
    FreqGraphFrame.LogX = kTrue;
    DisplayConfig.Average = kFalse;
  }
  // Lists the filter and clicks its line.
  void Click(const FilterRecord& f) {
    AppliedFilters[0] = f;
    AppliedFilters[0].Count = 1;
    w->AppliedFilterListBox->clear();
    w->AppliedFilterListBox->addItem("filter");
    w->AppliedFilterListBox->setCurrentRow(0);
    MainWindowHooks.AppliedFilterListBox_Click();
  }
};

TEST_F(ListClickTest, RefusesWithoutAFrequencyViewOrResults) {
  DisplayConfig.Graphshown = kImpulseView;
  dialogs.ExpectMessage();
  Click(Filter(2, 1000, -6, 4));
  ResultsDataSetInfo[0].NumInSet = 0;
  DisplayConfig.Graphshown = kFractOctView;
  dialogs.ExpectMessage();
  Click(Filter(2, 1000, -6, 4));
  EXPECT_EQ(dialogs.MessageTexts(), (Texts{"User Error: A frequency response must be shown to make filter adjustments",
                                           "User Error: Measurement data must be loaded to set EQ control"}));
  ResultsDataSetInfo[0].NumInSet = 1;
  DisplayConfig.Graphshown = kBodeView;
  dialogs.Clear();
  w->AppliedFilterListBox->clear();
  dialogs.ExpectMessage();
  MainWindowHooks.AppliedFilterListBox_Click();
  EXPECT_EQ(dialogs.MessageTexts(), (Texts{"Error 8234"}));
}

TEST_F(ListClickTest, SetsTheWorkingRangeAndPutsTheViewBackAfterwards) {
  float low = 0, high = 0;
  auto editAndClose = [&](QDialog* d) {
    low = AppliedFilters[0].RangeLow;
    high = AppliedFilters[0].RangeHigh;
    EXPECT_EQ(DisplayConfig.Average, kTrue);
    auto* e = static_cast<LevelSet*>(d);
    e->LevelSlider->setValue(1000);  // a completed change redraws the averages
    BodeCurves[0].Label = "changed";
    FreqGraphFrame.LogX = kFalse;
    ResultsDataSetInfo[0].FreqRespGateTime = 33;
    return 0;
  };
  dialogs.ExpectModal(editAndClose);
  Click(Filter(2, 20, -6, 0.5f));  // w = 1 octave
  EXPECT_EQ(low, 5.0f);  // not 2.5
  EXPECT_EQ(AppliedFilters[0].Smoothing, 1.0f);
  EXPECT_EQ(BodeCurves[0].Label, "kept");
  EXPECT_EQ(ResultsDataSetInfo[0].FreqRespGateTime, 20.0f);
  EXPECT_EQ(FreqGraphFrame.LogX, kTrue);
  EXPECT_EQ(std::vector<int32_t>({FreqGraphFrame.XStart, FreqGraphFrame.XFinish, FreqGraphFrame.YLow,
                                  FreqGraphFrame.YHigh}),
            std::vector<int32_t>({30, 5000, -7, 9}));
  EXPECT_EQ(DisplayConfig.Average, kFalse);
  EXPECT_FALSE(w->avg->isChecked());
  EXPECT_EQ(DisplayConfig.Graphshown, kBodeView);

  dialogs.ExpectModal(editAndClose);
  Click(Filter(2, 20000, -6, 0.5f));
  EXPECT_EQ(high, 24000.0f);

  // After Delete the box has no line selected: all but the curves come back.
  dialogs.ExpectModal([](QDialog* d) {
    BodeCurves[0].Label = "changed";
    static_cast<LevelSet*>(d)->Delete->click();
    return 0;
  });
  Click(Filter(4, 60, -6, 8));
  EXPECT_EQ(AppliedFilters[0].Count, 0);
  EXPECT_EQ(BodeCurves[0].Label, "changed");
  EXPECT_EQ(FreqGraphFrame.YHigh, 9);
  EXPECT_TRUE(dialogs.MessageTexts().empty());
}

}  // namespace
}  // namespace zentor
