// The applied-filter list, the list of all modes and the new-filter and
// emulation dialogs, on the started main window.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "base/text_number.h"
#include "eqdesign/applied_filters.h"
#include "eqdesign/eq_list_fixture.h"
#include "eqdesign/eq_opt.h"
#include "eqdesign/modes_list.h"
#include "eqdesign/user_select.h"
#include "mainwindow/main_window_links.h"
#include "mainwindow/measurement_file.h"

namespace zentor {
namespace {

using test::AddMeasured;
using test::Lines;
using test::MakeFilter;
using test::SetApplied;
using Texts = std::vector<std::string>;

class AppliedListTest : public test::EqListTest {
 protected:
  void SetUp() override {
    EqListTest::SetUp();
    w->SetGraphicEmulation(3);
    w->SetParametricEmulation(2);
  }
  Texts Relist() {
    w->RefreshAppliedFiltersList();
    return Lines(w->AppliedFilterListBox);
  }
  // Clicks line `row` of the modes list; `inside` acts on the shown dialog.
  void ClickMode(int row, const std::function<void(UserSelect*)>& inside) {
    dialogs.ExpectModal([inside](QDialog* d) {
      auto* u = qobject_cast<UserSelect*>(d);
      EXPECT_NE(u, nullptr);
      if (u != nullptr) inside(u);
      return d->result();
    });
    MainWindowHooks.ModesList_Click(row);
  }
};

TEST_F(AppliedListTest, LinesShowLevelWidthAndRoundedFrequency) {
  FilterRecord boost;
  boost.Kind = 2;
  boost.Freq1 = test::kTwoPiF * 1000;
  boost.Q1 = -4;
  boost.Q2 = 2;
  FilterRecord cut = boost;
  cut.Freq1 = test::kTwoPiF * 2000.006f;
  cut.Q1 = 4;
  SetApplied({cut, boost});
  EXPECT_EQ(Relist(), (Texts{"1000 Hz, Q:2.83 L:6.02 dB", "2000.01 Hz, Q:2.83 L:-6.02 dB"}));

  // The modes list truncates the same frequency.
  ModesListContents[0] = AppliedFilters[1];
  EXPECT_EQ(AllModesLine(ModesListContents[0]).substr(0, 11), "1. 2000 Hz,");

  for (int32_t code : {1, 4}) {
    w->SetParametricEmulation(code);
    for (const std::string& line : Relist()) {
      const size_t bw = line.find(" Hz, BW:"), per60 = line.find("/60 L:");
      EXPECT_TRUE(bw != std::string::npos && per60 > bw + 8 && line.ends_with(" dB")) << code << ": " << line;
    }
  }
  w->SetParametricEmulation(5);
  for (const std::string& line : Relist()) EXPECT_NE(line.find(" Hz, Q:"), std::string::npos) << line;
  EXPECT_TRUE(dialogs.MessageTexts().empty());
}

TEST_F(AppliedListTest, SortsStablyAndFollowsEachFamilysCode) {
  FilterRecord a = MakeFilter(2, 500, -6, 3), b = MakeFilter(4, 500, 4, 2), c = MakeFilter(3, 100, 3, 1.4f, 3);
  a.Curve = 1;
  b.Curve = 2;
  SetApplied({a, b, c});
  for (int pass = 0; pass < 3; ++pass) {
    EXPECT_EQ(Relist().size(), 3u);
    EXPECT_EQ(AppliedFilters[0].Count, 3);
    EXPECT_EQ(AppliedFilters[0].Kind, 3);
    EXPECT_EQ(AppliedFilters[1].Curve, 1) << "equal frequencies keep their order";
    EXPECT_EQ(AppliedFilters[2].Curve, 2);
  }
  const float unsnapped = AppliedFilters[1].Freq1;
  w->SetParametricEmulation(4);
  Relist();
  for (size_t i : {1u, 2u}) {
    EXPECT_EQ(AppliedFilters[i].EQEmulationCode, 4);
    EXPECT_EQ(AppliedFilters[i].Freq1, QuantizeEmulatedFrequency(4, AppliedFilters[i].Freq1));
  }
  EXPECT_NE(AppliedFilters[1].Freq1, unsnapped);
  EXPECT_EQ(AppliedFilters[0].EQEmulationCode, 3);
  w->SetGraphicEmulation(5);
  Relist();
  EXPECT_EQ(AppliedFilters[0].EQEmulationCode, 5);
  EXPECT_EQ(AppliedFilters[0].Freq1, QuantizeEmulatedFrequency(5, AppliedFilters[0].Freq1));
}

TEST_F(AppliedListTest, EveryEntryGetsItsLineUntilOneHasNoLevel) {
  FilterRecord odd = MakeFilter(7, 100, -6, 3);
  odd.EQEmulationCode = 9;
  FilterRecord broken = MakeFilter(2, 300, -6, 3);
  broken.Q1 = 0;
  SetApplied({odd, MakeFilter(2, 200, -6, 3), broken, MakeFilter(2, 400, -6, 3)});
  dialogs.ExpectMessage();
  const Texts lines = Relist();
  EXPECT_EQ(dialogs.MessageTexts(), Texts{"Error 5823"});
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "100 Hz, Q:" + FormatSingle(odd.Q1) + " L:-6 dB");  // its Q as stored
  EXPECT_EQ(AppliedFilters[0].EQEmulationCode, 9);
}

TEST_F(AppliedListTest, OpeningAFilterFileGetsTheRealList) {
  EXPECT_TRUE(static_cast<bool>(FileCommandHooks.UpdateAppliedFiltersList));
  for (const auto& c : w->LinkedControls()) {
    if (c.control == "CompModes" || c.control == "ModesList" || c.control == "TextEQ" ||
        c.control == "ErrSelect" || c.control == "EQEmulation") {
      EXPECT_TRUE(c.enabled) << c.control;
    }
  }
}

TEST_F(AppliedListTest, ListsNarrowCutsOfAllCurvesInAlternatingOrder) {
  AddMeasured(0, 200, 5, 2);
  AddMeasured(0, 60, 1.0f, 0.5f);  // Q1 of 1.0: not listed
  AddMeasured(0, 80, -5, 2);       // a boost: not listed
  AddMeasured(2, 100, 8, 2);
  AddMeasured(32, 50, 8, 2);  // the average's set is not listed
  MainWindowHooks.CompModes_Click();
  EXPECT_EQ(Lines(w->ModesList), (Texts{"3. 100 Hz, Q:8 L: -12", "1. 200 Hz, Q:5 L: -7.9"}));
  EXPECT_EQ(ModesListContents[0].Count, 2);
  EXPECT_EQ(ModesListContents[0].Curve, 2);
  MainWindowHooks.CompModes_Click();
  EXPECT_EQ(Lines(w->ModesList), (Texts{"1. 200 Hz, Q:5 L: -7.9", "3. 100 Hz, Q:8 L: -12"}));

  w->SetBusy(kTrue);
  MainWindowHooks.CompModes_Click();
  MainWindowHooks.ModesList_Click(0);  // no dialog while busy
  EXPECT_EQ(Lines(w->ModesList).front(), "1. 200 Hz, Q:5 L: -7.9");
  w->SetBusy(kFalse);

  // Lines of other writers name no mode.
  w->ShowListLines(std::vector<std::string>{"Similarity"});
  EXPECT_EQ(ModesListContents[0].Count, 0);
  MainWindowHooks.ModesList_Click(0);
}

TEST_F(AppliedListTest, StopsAtTwoThousandModes) {
  for (int32_t c = 0; c < 27; ++c)
    for (int32_t e = 0; e < 75; ++e) AddMeasured(c, 2000.0f - static_cast<float>(c * 75 + e) * 0.5f, 3, 1);
  dialogs.ExpectMessage();
  MainWindowHooks.CompModes_Click();
  EXPECT_EQ(dialogs.MessageTexts(),
            Texts{"User Error: Too many filters are found to list all of them: Grab a smaller frequency range for "
                  "filter fit or delete some measurement results"});
  EXPECT_EQ(ModesListContents[0].Count, 2000);
  const Texts lines = Lines(w->ModesList);
  ASSERT_EQ(lines.size(), 2000u);
  EXPECT_EQ(lines.front().substr(0, 12), "1. 2000 Hz, ") << "in the order found";
  EXPECT_EQ(lines.back().substr(0, 4), "27. ");
}

TEST_F(AppliedListTest, NewFilterLimitsSnapsAndWarns) {
  AddMeasured(0, 100, 40, 2);  // a 26 dB peak
  SingularityList[1].Average = kTrue;
  AddMeasured(1, 150, 6, 2);
  AddMeasured(1, 250, 0, 2);
  MainWindowHooks.CompModes_Click();
  ASSERT_EQ(ModesListContents[0].Count, 2);

  for (int32_t code : {2, 3, 1, 4, 5}) {
    w->SetParametricEmulation(code);
    ClickMode(0, [&](UserSelect* u) {
      const FilterRecord& m = u->Working();
      EXPECT_EQ(u->windowTitle(), "Cut Filter");
      EXPECT_TRUE(u->WarningAverageLabel->isVisibleTo(u));
      if (code == 2 || code == 3) {
        EXPECT_FLOAT_EQ(m.Q2, 4.0f) << "held to 20 dB";
        EXPECT_EQ(m.Freq1, test::kTwoPiF * 100);
        EXPECT_EQ(u->FreqText->text(), "100");
        EXPECT_EQ(u->QText->text(), "40");
        EXPECT_EQ(m.Kind, 4) << "kept";
      } else {
        EXPECT_EQ(m.Kind, 2) << code;
        EXPECT_EQ(m.Freq1, QuantizeEmulatedFrequency(code, m.Freq1));
      }
      if (code == 2) Screenshot(u, "zentor_user_select.png");
      u->Cancel->click();
    });
  }
  ClickMode(1, [](UserSelect* u) { EXPECT_FALSE(u->WarningAverageLabel->isVisibleTo(u)); u->Cancel->click(); });
  EXPECT_EQ(AppliedFilters[0].Count, 0) << "Cancel adds nothing";
  EXPECT_EQ(SingularityList[0].Count, 1);
  EXPECT_EQ(w->EQResultsTakenButNotSaved, 0);

  // A mode with no level keeps the caption it had.
  w->SetParametricEmulation(2);
  SingularityList[0].Q1[0] = 0;
  ModesListContents[0].Q1 = 0;
  dialogs.ExpectMessage();
  ClickMode(0, [](UserSelect* u) { EXPECT_EQ(u->windowTitle(), "Cut Filter"); u->Cancel->click(); });
  EXPECT_EQ(dialogs.MessageTexts(), Texts{"Error 8729"});
}

TEST_F(AppliedListTest, ApplyAddsInFrequencyOrderUpToTheLimit) {
  AddMeasured(0, 300, 6, 2);
  AddMeasured(1, 120, 5, 2);
  MainWindowHooks.CompModes_Click();
  MainWindowHooks.CompModes_Click();  // descending: 300 Hz first
  ClickMode(0, [](UserSelect* u) { u->Apply->click(); });
  ClickMode(1, [](UserSelect* u) { u->Apply->click(); });
  ASSERT_EQ(AppliedFilters[0].Count, 2);
  EXPECT_EQ(AppliedFilters[0].Curve, 1);
  EXPECT_EQ(AppliedFilters[1].Curve, 0);
  EXPECT_EQ(Lines(w->AppliedFilterListBox).size(), 2u);
  EXPECT_EQ(AppliedFilters[1].Kind, 4) << "codes 2 and 3 keep the measured kind";
  EXPECT_EQ(w->EQResultsTakenButNotSaved, kTrue);

  std::vector<FilterRecord> full(75, MakeFilter(2, 1000, -3, 2));
  SetApplied(full);
  dialogs.ExpectMessage();
  ClickMode(0, [](UserSelect* u) {
    u->setResult(-5);
    u->Apply->click();
    EXPECT_EQ(u->result(), -5) << "stays open";
    u->Cancel->click();
  });
  EXPECT_EQ(dialogs.MessageTexts(),
            Texts{"Error 5852: 75 filters are applied already. Delete one before adding another."});
  EXPECT_EQ(AppliedFilters[0].Count, 75);
}

TEST_F(AppliedListTest, ApplyAllTakesEveryModeAsTheDialogWouldAndAsksBeforeReplacing) {
  AddMeasured(0, 100, 40, 2);  // held to 20 dB
  AddMeasured(0, 233, -3, 1);  // a boost
  AddMeasured(0, 150, 6, 2);
  AddMeasured(0, 250, 0, 2);  // no level: the dialog refuses it, Apply All leaves it out
  for (int32_t code : {2, 1, 4, 5}) {
    w->SetParametricEmulation(code);
    ASSERT_TRUE(CheckForCurveSingularities(*w, 0));
    const int32_t listed = ModesListContents[0].Count;
    ASSERT_EQ(listed, 4);
    std::vector<FilterRecord> byDialog;
    for (int row = 0; row < listed; ++row) {
      if (ModesListContents[static_cast<size_t>(row)].Q1 == 0) continue;
      ClickMode(row, [&](UserSelect* u) { byDialog.push_back(u->Working()); u->Cancel->click(); });
    }
    SetApplied({MakeFilter(2, 1000, -3, 2)});
    dialogs.ExpectMessage(MsgAnswer::No);
    w->ApplyAll->click();
    EXPECT_EQ(AppliedFilters[0].Count, 1) << "kept when the user says no";

    dialogs.ExpectMessage(MsgAnswer::Yes);
    w->ApplyAllModes->trigger();
    ASSERT_EQ(AppliedFilters[0].Count, 3) << code;
    SetApplied(byDialog);
    const Texts oneByOne = Relist();
    dialogs.Clear();
    SetApplied({});
    EXPECT_EQ(ApplyAllModes(*w), 3) << "an empty list is replaced without asking";
    EXPECT_EQ(Lines(w->AppliedFilterListBox), oneByOne) << code;
    EXPECT_EQ(w->EQResultsTakenButNotSaved, kTrue);
  }
  EXPECT_EQ(dialogs.MessageTexts(), Texts{});

  // More modes than the list holds: the first 75 are applied and the rest named.
  for (int i = 0; i < 80; ++i) AddMeasured(2 + i / 70, 40.0f + static_cast<float>(i), 5, 2);
  MainWindowHooks.CompModes_Click();  // the cuts of every curve: 82
  dialogs.ExpectMessage(MsgAnswer::Yes);
  dialogs.ExpectMessage();
  EXPECT_EQ(ApplyAllModes(*w), 75);
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 5855: 7 modes were left out: the applied list holds 75 filters.");
}

TEST_F(AppliedListTest, DelRemovesTheClickedCurvesEntry) {
  AddMeasured(0, 100, 5, 2);
  AddMeasured(0, 200, 5, 2);
  AddMeasured(3, 150, 7, 2);
  AddMeasured(3, 400, 7, 2);
  MainWindowHooks.CompModes_Click();  // 100 (1), 150 (4), 200 (1), 400 (4)
  ClickMode(1, [](UserSelect* u) { u->Delete->click(); });
  EXPECT_EQ(SingularityList[0].Count, 2);
  ASSERT_EQ(SingularityList[3].Count, 1);
  EXPECT_EQ(SingularityList[3].Freq[0], test::kTwoPiF * 400);
  EXPECT_EQ(SingularityList[3].Freq[1], 0);
  EXPECT_EQ(Lines(w->ModesList).size(), 1u) << "the curve's remaining modes are listed";

  // The entry is gone already: the dialog stays open.
  MainWindowHooks.CompModes_Click();
  ModesListContents[0].Curve = 40;
  dialogs.ExpectMessage();
  ClickMode(0, [](UserSelect* u) { u->Delete->click(); u->Cancel->click(); });
  EXPECT_EQ(dialogs.MessageTexts(), Texts{" Error 8724"});

  // The average's set removes and relists but has no fit curve to draw.
  AddMeasured(32, 90, 5, 2);
  bool ok = false;
  RemoveResultMeasuredFilterSet(*w, 32, 0, ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(SingularityList[32].Count, 0);
  RemoveResultMeasuredFilterSet(*w, 33, 0, ok);
  EXPECT_FALSE(ok);
}

TEST_F(AppliedListTest, EmulationChoiceTakesOverOnEveryClose) {
  SetApplied({MakeFilter(2, 1003, -6, 3), MakeFilter(3, 100, 3, 1.4f, 3)});
  const float unsnapped = AppliedFilters[0].Freq1;  // 1003 Hz, listed second
  // Closed without a click: codes stay, the list is built again all the same.
  dialogs.ExpectModal([this](QDialog* d) {
    auto* o = qobject_cast<EQOpt*>(d);
    EXPECT_TRUE(o->CookParametric->isChecked() && o->GraphicClassicEng->isChecked());
    Screenshot(o, "zentor_eq_opt.png");
    o->reject();
    return o->result();
  });
  w->ErrSelect->click();
  EXPECT_EQ(w->GetParametricEQEmulation(), 2);
  EXPECT_EQ(w->GetGraphicEQEmulation(), 3);
  EXPECT_EQ(Lines(w->AppliedFilterListBox).size(), 2u);
  EXPECT_EQ(w->EQResultsTakenButNotSaved, 0);
  EXPECT_EQ(AppliedFilters[1].Freq1, unsnapped);

  dialogs.ExpectModal([](QDialog* d) {
    auto* o = qobject_cast<EQOpt*>(d);
    o->show();
    o->BehringerFBQ2496Parm->click();
    o->close();  // the title bar's close box
    return o->result();
  });
  w->EQEmulation->trigger();
  EXPECT_EQ(w->GetParametricEQEmulation(), 4);
  EXPECT_EQ(w->EQResultsTakenButNotSaved, kTrue);
  const Texts lines = Lines(w->AppliedFilterListBox);
  EXPECT_NE(lines[1].find(" Hz, BW:"), std::string::npos) << lines[1];
  EXPECT_EQ(AppliedFilters[1].Freq1, QuantizeEmulatedFrequency(4, AppliedFilters[1].Freq1));

  // Clicking the button already ticked still marks the set changed.
  w->EQResultsTakenButNotSaved = 0;
  dialogs.ExpectModal([](QDialog* d) {
    auto* o = qobject_cast<EQOpt*>(d);
    o->GraphicClassicEng->click();
    o->accept();
    return o->result();
  });
  w->ErrSelect->click();
  EXPECT_EQ(w->EQResultsTakenButNotSaved, kTrue);
  EXPECT_EQ(w->GetGraphicEQEmulation(), 3);
}

}  // namespace
}  // namespace zentor
