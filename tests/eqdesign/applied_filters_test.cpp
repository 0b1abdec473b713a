// The applied-filter list, the list of all modes, the new-filter, emulation and
// filter-editor dialogs, the equaliser settings report and the fit limits, on
// the started main window.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QFileDevice>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <set>

#include "base/atomic_file.h"
#include "base/text_number.h"
#include "display/graph_frame.h"
#include "display/view_state.h"
#include "eqdesign/applied_filter_list.h"
#include "eqdesign/applied_filters.h"
#include "eqdesign/eq_list_fixture.h"
#include "eqdesign/eq_opt.h"
#include "eqdesign/eq_report.h"
#include "eqdesign/fit_corpus.h"
#include "eqdesign/filter_edit_links.h"
#include "eqdesign/fit_commands.h"
#include "eqdesign/fit_limits_form.h"
#include "eqdesign/fit_limits_store.h"
#include "eqdesign/level_set.h"
#include "eqdesign/modes_list.h"
#include "mainwindow/filter_file.h"
#include "mainwindow/measurement_file.h"
#include "platform/help.h"
#include "support/curve_sets.h"

namespace zentor {
namespace {

using test::AddMeasured;
using test::Lines;
using test::MakeFilter;
using test::HalfGainWidthOctaves;
using test::SetApplied;
using Texts = std::vector<std::string>;

class AppliedListTest : public test::EqListTest {
 protected:
  Texts Relist() {
    w->RefreshAppliedFiltersList();
    return Lines(w->AppliedFilterListBox);
  }
};

TEST_F(AppliedListTest, LinesShowLevelWidthAndRoundedFrequency) {
  FilterRecord boost;
  boost.Kind = 2, boost.Freq1 = test::kTwoPiF * 1000, boost.Q1 = -4, boost.Q2 = 2;
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
  for (int pass = 0; pass < 3; ++pass) {  // equal frequencies keep their order: curves 1 then 2
    EXPECT_EQ((std::vector<int32_t>{static_cast<int32_t>(Relist().size()), AppliedFilters[0].Count,
                                    AppliedFilters[0].Kind, AppliedFilters[1].Curve, AppliedFilters[2].Curve}),
              (std::vector<int32_t>{3, 3, 3, 1, 2}));
  }
  const float unsnapped = AppliedFilters[1].Freq1;
  w->SetParametricEmulation(4);
  Relist();
  for (size_t i : {1u, 2u})
    EXPECT_EQ(std::pair(AppliedFilters[i].EQEmulationCode, AppliedFilters[i].Freq1),
              std::pair(4, QuantizeEmulatedFrequency(4, AppliedFilters[i].Freq1)));
  EXPECT_NE(AppliedFilters[1].Freq1, unsnapped);
  EXPECT_EQ(AppliedFilters[0].EQEmulationCode, 3);
  w->SetGraphicEmulation(5);
  Relist();
  EXPECT_EQ(std::pair(AppliedFilters[0].EQEmulationCode, AppliedFilters[0].Freq1),
            std::pair(5, QuantizeEmulatedFrequency(5, AppliedFilters[0].Freq1)));
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

TEST_F(AppliedListTest, ListsNarrowCutsOfAllCurvesInAlternatingOrder) {
  AddMeasured(0, 200, 5, 2);
  AddMeasured(0, 60, 1.0f, 0.5f);  // Q1 of 1.0: not listed
  AddMeasured(0, 80, -5, 2);       // a boost: not listed
  AddMeasured(2, 100, 8, 2);
  AddMeasured(32, 50, 8, 2);  // the average's set is not listed
  // Opening a filter file gets the real list, and the list's controls are on.
  EXPECT_TRUE(static_cast<bool>(FileCommandHooks.UpdateAppliedFiltersList));
  const std::set<std::string> on{"CompModes", "ModesList", "TextEQ", "ErrSelect", "EQEmulation"};
  for (const auto& c : w->LinkedControls()) EXPECT_TRUE(c.enabled || !on.contains(c.control)) << c.control;
  MainWindowHooks.CompModes_Click();
  EXPECT_EQ(Lines(w->ModesList), (Texts{"3. 100 Hz, Q:8 L: -12", "1. 200 Hz, Q:5 L: -7.9"}));
  EXPECT_EQ(std::pair(ModesListContents[0].Count, ModesListContents[0].Curve), std::pair(2, 2));
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
  const Texts lines = Lines(w->ModesList);
  ASSERT_EQ(std::pair(ModesListContents[0].Count, lines.size()), std::pair(2000, size_t{2000}));
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
        EXPECT_EQ(std::pair(m.Freq1, m.Kind), std::pair(test::kTwoPiF * 100, 4)) << "the kind kept";
        EXPECT_EQ(u->FreqText->text() + " " + u->QText->text(), "100 40");
      } else {
        EXPECT_EQ(m.Kind, 2) << code;
        EXPECT_EQ(m.Freq1, QuantizeEmulatedFrequency(code, m.Freq1));
      }
      if (code == 2) Screenshot(u, "zentor_user_select.png");
      u->Cancel->click();
    });
  }
  ClickMode(1, [](UserSelect* u) { EXPECT_FALSE(u->WarningAverageLabel->isVisibleTo(u)); u->Cancel->click(); });
  EXPECT_EQ((std::vector<int32_t>{AppliedFilters[0].Count, SingularityList[0].Count, w->EQResultsTakenButNotSaved}),
            (std::vector<int32_t>{0, 1, 0}))
      << "Cancel adds nothing";

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
  EXPECT_EQ(std::pair(AppliedFilters[0].Curve, AppliedFilters[1].Curve), std::pair(1, 0));
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
  EXPECT_EQ(std::pair(SingularityList[3].Freq[0], SingularityList[3].Freq[1]), std::pair(test::kTwoPiF * 400, 0.0f));
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
  EXPECT_TRUE(ok && SingularityList[32].Count == 0);
  RemoveResultMeasuredFilterSet(*w, 33, 0, ok);
  EXPECT_FALSE(ok);
}

TEST_F(AppliedListTest, EmulationChoiceTakesOverOnEveryClose) {
  SetApplied({MakeFilter(2, 1003, -6, 3), MakeFilter(3, 100, 3, 1.4f, 3)});
  const float unsnapped = AppliedFilters[0].Freq1;  // 1003 Hz, listed second
  // Closed without a click: codes stay, the list is built again all the same.
  Expect<EQOpt>([](EQOpt* o) {
    EXPECT_TRUE(o->CookParametric->isChecked() && o->GraphicClassicEng->isChecked());
    Screenshot(o, "zentor_eq_opt.png");
    o->reject();
  });
  w->ErrSelect->click();
  EXPECT_EQ(std::pair(w->GetParametricEQEmulation(), w->GetGraphicEQEmulation()), std::pair(2, 3));
  EXPECT_TRUE(Lines(w->AppliedFilterListBox).size() == 2 && w->EQResultsTakenButNotSaved == 0);
  EXPECT_EQ(AppliedFilters[1].Freq1, unsnapped);

  Expect<EQOpt>([](EQOpt* o) {
    o->show();
    o->BehringerFBQ2496Parm->click();
    o->close();  // the title bar's close box
  });
  w->EQEmulation->trigger();
  EXPECT_EQ(std::pair(w->GetParametricEQEmulation(), w->EQResultsTakenButNotSaved), std::pair(4, kTrue));
  const Texts lines = Lines(w->AppliedFilterListBox);
  EXPECT_NE(lines[1].find(" Hz, BW:"), std::string::npos) << lines[1];
  EXPECT_EQ(AppliedFilters[1].Freq1, QuantizeEmulatedFrequency(4, AppliedFilters[1].Freq1));

  // Clicking the button already ticked still marks the set changed.
  w->EQResultsTakenButNotSaved = 0;
  Expect<EQOpt>([](EQOpt* o) {
    o->GraphicClassicEng->click();
    o->accept();
  });
  w->ErrSelect->click();
  EXPECT_EQ(std::pair(w->EQResultsTakenButNotSaved, w->GetGraphicEQEmulation()), std::pair(kTrue, 3));
}

std::string Slurp(const std::string& path) {
  QFile f(QString::fromStdString(path));
  return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : "";
}

std::string Quoted(const Texts& lines) {
  std::string out;
  for (const std::string& l : lines) out += "\"" + l + "\"\r\n";
  return out;
}

Texts Report(const std::string& graphic, const std::string& parametric, const std::string& modal,
             const std::string& footer) {
  Texts t{"Mirabelt Zentor EQ Settings", "", "Graphic EQ Settings"};
  if (!graphic.empty()) t.push_back(graphic);
  t.insert(t.end(), {"", footer, "", "", "Parametric EQ Settings"});
  if (!parametric.empty()) t.push_back(parametric);
  t.insert(t.end(), {"", footer, "", "", "Modal EQ Parametric Settings"});
  if (!modal.empty()) t.push_back(modal);
  t.insert(t.end(), {"", footer});
  return t;
}

using EqReportTest = AppliedListTest;

TEST_F(EqReportTest, WholeFilesByteForByteAndLinesByEmulationCode) {
  const std::string path = TempPath("r.txt");
  SetApplied({});
  ASSERT_TRUE(WriteEQSettingsReport(path, AppliedFilters));
  EXPECT_EQ(Slurp(path), Quoted(Report("", "", "", "No Settings Required")));

  FilterRecord boost;
  boost.Kind = 2, boost.EQEmulationCode = 2, boost.Freq1 = test::kTwoPiF * 1000, boost.Q1 = -4, boost.Q2 = 2;
  FilterRecord flat = MakeFilter(2, 500, 0, 2);  // 0 dB: not listed
  flat.Q2 = std::fabs(flat.Q1);
  SetApplied({flat, boost});
  ASSERT_TRUE(WriteEQSettingsReport(path, AppliedFilters));
  EXPECT_EQ(Slurp(path),
            Quoted(Report("", "Freq = 1000Hz  Level = 6 dB Q:2.8", "", "Controls set to zero dB are not listed")));

  // ISO bands, given without relisting.
  auto iso = [](float hz) {
    FilterRecord f = MakeFilter(3, hz, -3, 2, 1);
    f.Freq1 = test::kTwoPiF * hz;
    const std::string line = EQReportLine(f, true);
    return line.substr(0, line.find("/60 Oct"));
  };
  EXPECT_EQ((Texts{iso(25000), iso(15)}), (Texts{"ISO Freq = 16000Hz + 38.6", "ISO Freq = 20Hz + -24.9"}));
  double band = 0, offset = 0;
  for (float hz : {20.0f, 16000.0f}) {
    ISOBandOf(static_cast<float>(hz * 6.283185307), band, offset);
    EXPECT_EQ(std::pair(band, offset), std::pair(double(hz), 0.0));
  }
  // At the geometric mean of 1000 and 1250 Hz: the lower band.
  const double mean = std::sqrt(1000.0 * 1250.0);
  auto atMean = static_cast<float>(mean * 6.283185307);
  while (atMean / 6.283185307 > mean) atMean = std::nextafter(atMean, 0.0f);
  ISOBandOf(atMean, band, offset);
  EXPECT_EQ(band, 1000);
  ISOBandOf(std::nextafter(std::nextafter(atMean, 1e9f), 1e9f), band, offset);
  EXPECT_EQ(band, 1250);

  const FilterRecord cut = MakeFilter(3, 1000, -6, 1.4f, 1);
  const std::string line1 = EQReportLine(cut, true);
  EXPECT_EQ(line1.substr(0, 47), "ISO Freq = 1000Hz + 0/60 Oct  Level = -6 dB BW:");
  EXPECT_TRUE(line1.ends_with("/60 ")) << line1;

  EXPECT_EQ(BandwidthText(6), "0.1");
  EXPECT_EQ(BandwidthText(5), "5/60");
  FilterRecord fbq = MakeFilter(2, 1000, 4, 1, 4);
  fbq.Q1 = ConvertEmulatedQ(0.1f, 4, 4);  // 6/60 octave
  fbq.Q2 = std::fabs(fbq.Q1) / std::pow(10.0f, 0.2f);
  EXPECT_TRUE(EQReportLine(fbq, false).ends_with(" Hz, Level = 4 dB BW:0.1")) << EQReportLine(fbq, false);

  const FilterRecord dcx = MakeFilter(2, 1000, -6, 4, 5);
  const std::string graphic = EQReportLine(dcx, true), other = EQReportLine(dcx, false);
  EXPECT_NE(graphic.find(" dB Q: 3."), std::string::npos) << graphic;
  EXPECT_NE(other.find(" dB BW:3."), std::string::npos) << other;
  EXPECT_EQ(graphic.substr(0, graphic.find(" dB Q:")), other.substr(0, other.find(" dB BW:")));
  FilterRecord modal = dcx;
  modal.Kind = 4;
  SetApplied({modal});
  EXPECT_EQ(EQReportLines(AppliedFilters)[13], other);

  // The report ends with the limits, the set's largest net boost and the preamp.
  SetApplied({MakeFilter(2, 100, 4.5, 3), MakeFilter(2, 3000, -6, 2)});
  EXPECT_EQ(FitLimitReportLines(DefaultFitLimits(), AppliedFilters),
            (Texts{"",
                   "Fit Limits: Max boost 6 dB, at most 75 filters, target flat at the curve's median level over "
                   "the fit range",
                   "Largest net boost: 4.5 dB at 100 Hz",
                   "Preamp = -4.5 dB (the set's largest boost, taken off before it)"}));
}

// A level of `dB` whose single-precision magnitude lies on `side` of the step
// (-1 a hair under, as 2.9999998 for 3; +1 a hair over; 0 as typed).
FilterRecord HairFromStep(int32_t code, float dB, int side) {
  FilterRecord f = MakeFilter(2, 100, dB, 2, code);
  const auto off = [&f, step = std::fabs(dB)] {
    return static_cast<float>(20 * std::log10(std::fabs(f.Q1 / f.Q2))) - step;
  };
  for (int i = 0; i < 64 && side != 0 && !(side < 0 ? off() < 0 : off() > 0); ++i)
    f.Q2 = std::nextafter(f.Q2, side < 0 ? 1e9f : 0.0f);
  return f;
}

// Every model shows its step, so the report prints that step, not the digit under it.
TEST_F(EqReportTest, ValuesAHairFromAStepPrintTheStepTheEqualiserShows) {
  const struct {
    int32_t code;
    float dB;
    const char* level;
  } levels[] = {{1, 3, "Level = 3 dB"},     {1, -8, "Level = -8 dB"}, {2, 3, "Level = 3 dB"},
                {3, -8, "Level = -8 dB"},   {4, 2.5f, "Level = 2.5 dB"}, {4, -8, "Level = -8 dB"},
                {5, 3, "Level = 3 dB"},     {5, -7.9f, "Level = -7.9 dB"}, {5, 0.3f, "Level = 0.3 dB"}};
  for (const auto& row : levels)
    for (int side : {-1, 0, 1}) {
      const FilterRecord f = HairFromStep(row.code, row.dB, side);
      const float off = static_cast<float>(20 * std::log10(std::fabs(f.Q1 / f.Q2))) - std::fabs(row.dB);
      ASSERT_LT(std::fabs(off), 1e-5f);
      ASSERT_TRUE(side == 0 || (side < 0) == (off < 0));
      const std::string line = EQReportLine(f, false);
      EXPECT_NE(line.find(row.level), std::string::npos) << row.code << " " << side << ": " << line;
    }

  // Whole hertz, tenths of Q and the ISO offset, each from a Single just under the value.
  FilterRecord cook = MakeFilter(2, 100, -6, 2, 2);
  while (cook.Freq1 / 6.28318530717959 >= 100) cook.Freq1 = std::nextafter(cook.Freq1, 0.0f);
  EXPECT_EQ(EQReportLine(cook, false), "Freq = 100Hz  Level = -6 dB Q:2");
  FilterRecord iso = MakeFilter(3, 1000, 4, 2, 1);
  iso.Freq1 = QuantizeEmulatedFrequency(1, static_cast<float>(1000 * std::pow(2.0, 3 / 60.0) * 6.28318530717959));
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(EQReportLine(iso, true).starts_with("ISO Freq = 1000Hz + 3/60 Oct  Level = 4 dB"))
        << EQReportLine(iso, true);
    iso.Freq1 = std::nextafter(iso.Freq1, 0.0f);
  }
  const std::pair<float, const char*> widths[] = {
      {std::nextafter(5.0f, 0.0f), "5/60"}, {10.002f, "0.17"}, {19.998f, "0.33"}, {std::nextafter(90.0f, 0.0f), "1.5"}};
  for (const auto& [w, text] : widths) EXPECT_EQ(BandwidthText(w), text) << w;
}

TEST_F(EqReportTest, SaveDialogNameAndOverwriteQuestion) {
  SetApplied({MakeFilter(2, 100, -6, 2)});
  dialogs.ExpectSaveFile(TempPath("settings.old.EQ"));
  w->TextEQ->trigger();
  const std::string path = TempPath("settings.old.txt");
  ASSERT_TRUE(QFile::exists(QString::fromStdString(path)));
  const test::DialogCall& save = dialogs.calls().front();
  EXPECT_EQ((Texts{save.title, save.filter, save.fileName}),
            (Texts{"Save EQ Settings Text File", "EQ settings (*.txt)|*.txt", "EQSettings"}));

  SetApplied({});
  for (MsgAnswer answer : {MsgAnswer::No, MsgAnswer::Cancel}) {
    dialogs.ExpectSaveFile(path);
    dialogs.ExpectMessage(answer);
    w->TextEQ->trigger();
    EXPECT_EQ(Slurp(path).find("No Settings Required"), std::string::npos) << "unchanged";
  }
  const test::DialogCall& ask = dialogs.calls().back();
  EXPECT_EQ(ask.text, path + " Already Exists, Overwrite ?");
  EXPECT_TRUE(ask.buttons == MsgButtons::YesNoCancel && ask.icon == MsgIcon::Exclamation && ask.title == "EQ Settings");
  dialogs.ExpectSaveFile(path);
  dialogs.ExpectMessage(MsgAnswer::Yes);
  w->TextEQ->trigger();
  EXPECT_NE(Slurp(path).find("No Settings Required"), std::string::npos);

  dialogs.ExpectSaveFile(std::nullopt);  // cancelled: silent
  w->TextEQ->trigger();

  const QString locked = QString::fromStdString(TempPath("locked"));
  ASSERT_TRUE(QDir().mkdir(locked));
  QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
  if (!QFile(locked + "/probe").open(QIODevice::WriteOnly)) {  // not so for root
    dialogs.ExpectSaveFile(TempPath("locked/EQSettings"));
    dialogs.ExpectMessage();
    w->TextEQ->trigger();
    EXPECT_EQ(dialogs.MessageTexts().back(), "Error 5853: The EQ settings file could not be written.");
  }
  QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// A fitted set of three room modes on curve 1, as the fit leaves it, taken into
// the applied list under each parametric emulation chosen in its window: the
// report shows the three corrections.
TEST_F(EqReportTest, FittedModesBecomeTheReportedCorrections) {
  struct Mode { float hz, dB, q; };
  const Mode modes[] = {{45, 9, 6}, {83, 6, 10}, {131, 12, 4}};
  for (const Mode& m : modes) test::AddMeasured(0, m.hz, m.q, m.q / std::pow(10.0f, m.dB / 20));
  QRadioButton* EQOpt::*parametric[] = {&EQOpt::ParametricBFDEmulatorBut, &EQOpt::CookParametric,
                                        &EQOpt::ParametricClassicEng, &EQOpt::BehringerFBQ2496Parm,
                                        &EQOpt::BehringerDCX2496Parm};
  for (int32_t code = 1; code <= 5; ++code) {
    SetApplied({});
    Expect<EQOpt>([&](EQOpt* o) {
      (o->*parametric[code - 1])->click();
      o->accept();
    });
    w->ErrSelect->click();
    ASSERT_EQ(w->GetParametricEQEmulation(), code);
    ASSERT_TRUE(w->CompModes->isEnabled());
    w->CompModes->click();
    if (w->ModeSortAscending != kTrue) w->CompModes->click();
    ApplyEachModeByDialog();
    ASSERT_EQ(AppliedFilters[0].Count, 3);
    const Texts report = EQReportLines(AppliedFilters);
    for (size_t i = 0; i < 3; ++i) {
      const std::string& line = report[(code == 2 || code == 3 ? 13 : 8) + i];  // kind 4 stays modal
      double hz = std::stod(line.substr(code == 1 ? 11 : 7));
      if (code == 1) hz *= std::pow(2.0, std::stod(line.substr(line.find("Hz + ") + 5)) / 60);
      EXPECT_NEAR(std::log2(hz / modes[i].hz), 0, 1.0 / 24) << code << ": " << line;
      EXPECT_NEAR(std::stod(line.substr(line.find("Level = ") + 8)), -modes[i].dB, 0.6) << code << ": " << line;
    }
    if (code == 4) Screenshot(w, "zentor_applied_list.png");
  }
}

class FitLimitsWindowTest : public test::EqListTest {
 protected:
  // Opens Fit Limits from its menu entry; `inside` acts on the shown dialog.
  void InDialog(const std::function<void(FitLimitsForm*)>& inside) {
    Expect<FitLimitsForm>(inside);
    w->FitLimits->trigger();
  }
};

TEST_F(FitLimitsWindowTest, TheDialogStoresWhatItChecksAndRefusesABadTargetFile) {
  InDialog([](FitLimitsForm* d) {
    EXPECT_EQ(d->MaxBoostText->text() + " " + d->MaxFiltersText->text(), "6 75");
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

  const std::string bad = TempPath("bad.txt"), good = TempPath("good.txt");
  ASSERT_TRUE(WriteWholeFileAtomic(bad, "20 3\n40 x\n") && WriteWholeFileAtomic(good, "# house\n20 6\n200 0\n"));
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
  ClickMode(1, [](UserSelect* u) {
    EXPECT_EQ(u->CentreQText->text(), "6.93") << "√(12·4)";
    u->Cancel->click();
  });
  EXPECT_EQ(RefusedApply(0),
            Texts{"Error 5862: This filter boosts 9.5 dB, more than the Max boost of 6 dB (Filters > Curve Fit > "
                  "Fit Limits)."});
  EXPECT_EQ(AppliedFilters[0].Count, 0);

  EXPECT_EQ(ApplyAllModes(*w), 2);
  EXPECT_NEAR(FilterBoostDb(AppliedFilters[0].Q1, AppliedFilters[0].Q2), 6, 1e-4) << "held to the limit";
  EXPECT_NEAR(FilterBoostDb(AppliedFilters[1].Q1, AppliedFilters[1].Q2), -20 * std::log10(3.0), 1e-4);
  EXPECT_EQ(w->AppliedFilterListBox->item(0)->toolTip().toStdString(), WrittenFilterText(AppliedFilters[0]));
  dialogs.Clear();
  dialogs.ExpectMessage(MsgAnswer::Yes);
  EXPECT_EQ(ApplyAllModes(*w, true, 0.0), 1) << "cuts only: the boost is left out";

  // Two boosts of 4 dB on one dip would boost it 8 dB in all: the second is
  // refused, by Apply All and by the dialog alike, naming where and how much.
  SingularityList[0].Count = 0;
  const float q1 = -3 * std::pow(10.0f, 4.0f / 20);
  AddMeasured(0, 60, q1, 3);
  AddMeasured(0, 61, q1, 3);
  SingularityList[0].NullCount = 1;  // the fit found the dip deeper than the limit
  SingularityList[0].NullLowHz[0] = 59, SingularityList[0].NullHighHz[0] = 61.5;
  ASSERT_TRUE(CheckForCurveSingularities(*w, 0));
  EXPECT_TRUE(Lines(w->ModesList).at(0).ends_with("  null: not corrected beyond the boost limit"));
  {  // The narrow list shows the whole line, wrapped within its width and on hover; the report names the null.
    w->resize(1000, 700);
    w->show();
    QListWidgetItem* item = w->ModesList->item(0);
    const QRect rect = w->ModesList->visualItemRect(item);
    const QFontMetrics metrics(w->ModesList->font());
    const QRect needed = metrics.boundingRect(QRect(0, 0, rect.width(), 10000), Qt::TextWordWrap, item->text());
    EXPECT_TRUE(item->toolTip() == item->text() && needed.height() > metrics.height());
    EXPECT_TRUE(rect.height() >= needed.height() && rect.width() <= w->ModesList->viewport()->width());
    dialogs.ExpectSaveFile(TempPath("nulls.txt"));
    w->TextEQ->trigger();
    EXPECT_TRUE(Slurp(TempPath("nulls.txt")).ends_with("\r\n\"\"\r\n\"Null 59 to 61.5 Hz: not corrected beyond the boost limit\"\r\n"));
  }
  const std::string refusal = " would take the set's net boost to 8 dB at 6";
  const std::string limit = " Hz, more than the Max boost of 6 dB (Filters > Curve Fit > Fit Limits).";
  dialogs.Clear();
  dialogs.ExpectMessage(MsgAnswer::Yes);
  dialogs.ExpectMessage();
  EXPECT_EQ(ApplyAllModes(*w, true), 1);
  // The two boosts lie either side of the top: either may be the one left out.
  EXPECT_TRUE(dialogs.MessageTexts().back().starts_with("Error 5863: The mode at 6")) << dialogs.MessageTexts().back();
  EXPECT_NE(dialogs.MessageTexts().back().find(refusal), std::string::npos);
  EXPECT_TRUE(dialogs.MessageTexts().back().ends_with(limit));
  const Texts refused = RefusedApply(0);
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_TRUE(refused[0].starts_with("Error 5863: This filter" + refusal)) << refused[0];
  EXPECT_EQ(AppliedFilters[0].Count, 1);
  // A file's set is the user's: kept as it is, with a note.
  const std::string path = TempPath("over.EQ");
  SetApplied({MakeFilter(2, 60, 4, 3.8f), MakeFilter(2, 61, 4, 3.8f)});
  ASSERT_TRUE(SaveEQFile(path));
  SetApplied({});
  dialogs.Clear();
  dialogs.ExpectOpenFile(path);
  dialogs.ExpectMessage();
  OpenEQFile();
  EXPECT_EQ(AppliedFilters[0].Count, 2);
  ASSERT_EQ(dialogs.MessageTexts().size(), 1u);
  EXPECT_TRUE(dialogs.MessageTexts()[0].starts_with("Note: The filters of this file boost 8 dB at 6"))
      << dialogs.MessageTexts().back();
}

// A level no export takes, or a top above 20 kHz, is still the set's boost:
// the report, the note, the dialog and the preamp name the top of the set as
// it runs, and a figure and its preamp read alike.
TEST_F(FitLimitsWindowTest, EveryFigureIsTheTrueTopOfTheSetAsItRuns) {
  ResultsDataSetInfo[0].SampleRate = 48000;
  const auto figure = [](const std::string& line, const char* lead) {
    EXPECT_TRUE(line.starts_with(lead)) << line;
    return std::stod(line.substr(std::string(lead).size()));
  };
  AddMeasured(0, 1000, -3 * std::pow(10.0f, 1.0f / 20), 3);  // a dip: a 1 dB boost
  ASSERT_TRUE(CheckForCurveSingularities(*w, 0));
  const std::vector<std::vector<FilterRecord>> sets = {
      {MakeFilter(2, 100, 25, 2)},
      {MakeFilter(2, 100, -25, 2), MakeFilter(2, 40, 9, 2), MakeFilter(2, 250, 9, 2)},
      {MakeFilter(2, 22000, 6, 4), MakeFilter(2, 22600, 6, 4)},
  };
  for (const std::vector<FilterRecord>& set : sets) {
    SetApplied(set);
    const test::BilinearPeak truth = test::BilinearSetPeak(set, JudgedRateHz());
    SCOPED_TRACE(truth.db);
    const std::vector<std::string> lines = FitLimitReportLines(LoadFitLimits(), AppliedFilters);
    EXPECT_NEAR(figure(lines.at(2), "Largest net boost: "), truth.db, 0.05);
    EXPECT_EQ(-figure(lines.at(3), "Preamp = "), figure(lines.at(2), "Largest net boost: "));
    const std::string note = OverLimitNote(AppliedFilters, 6);
    EXPECT_NEAR(figure(note, "Note: The filters of this file boost "), truth.db, 0.05);
    const Texts refused = RefusedApply(0);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_NEAR(figure(refused[0], "Error 5863: This filter would take the set's net boost to "), truth.db, 0.06);
    EXPECT_EQ(AppliedFilters[0].Count, static_cast<int32_t>(set.size()));
  }
  // A single 6 dB filter (6.0000005 in Singles) reads 6 dB beside a 6 dB preamp.
  SetApplied({MakeFilter(2, 100, 6, 2)});
  const std::vector<std::string> lines = FitLimitReportLines(LoadFitLimits(), AppliedFilters);
  EXPECT_TRUE(lines.at(2).starts_with("Largest net boost: 6.0 dB at 100 Hz")) << lines.at(2);
  EXPECT_TRUE(lines.at(3).starts_with("Preamp = -6 dB")) << lines.at(3);
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

constexpr float kTwoPi = test::kTwoPiF;

class LevelSetTest : public test::EqListTest {
 protected:
  void SetUp() override {
    EqListTest::SetUp();
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
  double LevelDb() const { return 20 * std::log10(std::fabs(AppliedFilters[0].Q1) / AppliedFilters[0].Q2); }

  LevelSet* editor = nullptr;
  bool opened = false;
};

TEST_F(LevelSetTest, EachKindLaysOutItsOwnControls) {
  Open(MakeFilter(2, 1000, -6, 4));
  EXPECT_EQ(editor->windowTitle(), "Parametric Control");
  EXPECT_EQ(editor->EmulationLabel->text(), "Bristow-Johnson");
  EXPECT_EQ(editor->QLabel->text(), "Q[NA]");
  EXPECT_TRUE(Shown(editor->Qslider) && Shown(editor->FreqSlider) && Shown(editor->QText));
  EXPECT_FALSE(Shown(editor->DecayText));
  EXPECT_EQ(Text(editor->FreqText) + Text(editor->LevelText), " 1000-6");
  EXPECT_TRUE(editor->CentreQLabel->text().startsWith("Written filter: Q "));
  Screenshot(editor, "zentor_level_set_parametric.png");

  Open(MakeFilter(3, 1000, 4, 1.4f, 3));
  EXPECT_EQ(editor->windowTitle(), "Graphic Control");
  EXPECT_EQ(editor->EmulationLabel->text(), "Classic Audio");
  EXPECT_FALSE(Shown(editor->Qslider) || Shown(editor->FreqSlider) || Shown(editor->QText) ||
               Shown(editor->DecayText));
  EXPECT_TRUE(editor->FreqText->isReadOnly());
  Screenshot(editor, "zentor_level_set_graphic.png");

  Open(MakeFilter(4, 50, -12, 10));
  EXPECT_EQ(editor->windowTitle(), "Damped Parametric Control");
  EXPECT_TRUE(Shown(editor->DecayText) && Shown(editor->Label2) && Shown(editor->FreqSlider));
  EXPECT_FALSE(Shown(editor->Qslider));
  EXPECT_EQ(editor->Label2->text(), "s/60 dB Decay");
  Screenshot(editor, "zentor_level_set_damped.png");

  // Codes whose equalisers have no damped mode edit it as a parametric filter.
  for (int32_t code : {1, 4, 5}) {
    w->SetParametricEmulation(code);
    Open(MakeFilter(4, 50, -12, 10, code));
    EXPECT_EQ(editor->windowTitle(), "Parametric Control") << code;
    EXPECT_TRUE(Shown(editor->Qslider));
    EXPECT_EQ(editor->QLabel->text(), code == 5 ? "Q[NA]" : "BW/60");
  }
  EXPECT_TRUE(dialogs.MessageTexts().empty());
}

// The editor names its figures as the CSV export does: the written filter's Q and
// -3 dB bandwidth, and which control the unit itself takes.
TEST_F(LevelSetTest, TheLabelNamesTheWrittenFilterAndTheUnitsOwnControl) {
  w->SetParametricEmulation(1);
  const double q = 1 / (0.05 * std::sqrt(2.0));  // BW 3/60 on the DSP 1124P
  Open(MakeFilter(2, 100, -6, static_cast<float>(q), 1));
  double shownQ = 0, octaves = 0, unit = 0;
  ASSERT_EQ(std::sscanf(editor->CentreQLabel->text().toStdString().c_str(),
                        "Written filter: Q %lf, -3 dB bandwidth %lf octave\nUnit bandwidth %lf octave: the BW/60 above",
                        &shownQ, &octaves, &unit), 3);
  EXPECT_NEAR(shownQ, q, 0.005);
  EXPECT_NEAR(octaves, HalfGainWidthOctaves(-6, q), 1e-4);
  EXPECT_EQ(Text(editor->QText) + " " + FormatDouble(unit), " 3 0.05");
  w->SetParametricEmulation(5);
  Open(MakeFilter(2, 100, -6, 4, 5));
  EXPECT_TRUE(editor->CentreQLabel->text().endsWith("\nUnit Q: the Q[NA] above"));
}

TEST_F(LevelSetTest, RangesHoldTheFiltersValueWithinTheModelsLimits) {
  Open(MakeFilter(3, 1000, 0, 2, 3));
  EXPECT_EQ(Text(editor->LevelText), "0.0");
  EXPECT_EQ(editor->LevelSlider->value(), 1250);

  Open(MakeFilter(2, 1000, -6, 40));
  EXPECT_NEAR(editor->QRange().first, 20, 1e-4);
  EXPECT_EQ(editor->QRange().second, 50);
  Open(MakeFilter(2, 1000, -6, 0.15f));
  EXPECT_EQ(editor->QRange().first, 0.1);
  EXPECT_NEAR(editor->QRange().second, 0.3, 1e-6);
  EXPECT_NEAR(editor->FreqRange().first, kTwoPi * 1000 / std::pow(10.0, 0.1), 0.01);
  // The last is widened to hold the value.
  for (const auto& [code, q, lo, hi] : {std::tuple{1, 1.5, 1.0, 3.0}, {1, 100.0, 50.0, 120.0}, {2, 80.0, 40.0, 80.0}}) {
    double l = 0, h = 0;
    EditorQRange(code, q, l, h);
    EXPECT_EQ(std::pair(l, h), std::pair(lo, hi)) << q;
  }
}

// A damped level runs from no change to 20 dB, and Delete removes it.
TEST_F(LevelSetTest, LevelsAreWrittenOnReleaseOrEnterAndOpeningAndClosingKeepsTheFilter) {
  Open(MakeFilter(4, 50, -12, 10));
  const float q1 = AppliedFilters[0].Q1;
  editor->LevelSlider->setValue(0);
  EXPECT_EQ(AppliedFilters[0].Q2, std::fabs(q1));
  EXPECT_EQ(Text(editor->LevelText), " 0");
  editor->LevelSlider->setValue(2000);
  EXPECT_NEAR(AppliedFilters[0].Q2, std::fabs(q1) / 10, 1e-4 * std::fabs(q1));
  EXPECT_EQ(AppliedFilters[0].Q1, q1);  // the zero pair stays on the mode
  editor->Delete->click();  // without a question
  EXPECT_TRUE(AppliedFilters[0].Count == 0 && AppliedFilters[0].Freq1 == 0 && editor->Unloaded());

  // A drag shows the value and only the release writes it.
  Open(MakeFilter(2, 1000, -6, 4));
  const FilterRecord before = AppliedFilters[0];
  editor->LevelSlider->setSliderDown(true);
  editor->LevelSlider->setSliderPosition(1750);  // +8 dB
  EXPECT_EQ(Text(editor->LevelText), " 8");
  EXPECT_EQ(std::pair(AppliedFilters[0].Q1, AppliedFilters[0].Q2), std::pair(before.Q1, before.Q2));
  editor->LevelSlider->setSliderDown(false);
  EXPECT_LT(AppliedFilters[0].Q1, 0);  // now a boost
  EXPECT_NEAR(LevelDb(), 8, 1e-4);

  // Enter writes a typed level, to the slider's resolution.
  editor->LevelText->setText("-3");
  QTest::keyClick(editor->LevelText, Qt::Key_Return);
  EXPECT_NEAR(LevelDb(), 3, 0.016);
  EXPECT_GT(AppliedFilters[0].Q1, 0);
  EXPECT_EQ(AppliedFilters[0].Count, 1);

  // Opening and closing leaves the filter as it was.
  w->SetParametricEmulation(1);
  FilterRecord boost = MakeFilter(2, 1000, 16, 1, 1);
  boost.Q1 = ConvertEmulatedQ(20.0f / 60, 16, 1);
  boost.Q2 = std::fabs(boost.Q1) / std::pow(10.0f, 16.0f / 20);
  EmulateEQBand(1, boost.Freq1, boost.Q1, boost.Q2);
  Open(boost);
  Forms::Unload<LevelSet>();
  EXPECT_NEAR(AppliedFilters[0].Freq1, boost.Freq1, 1e-6 * boost.Freq1);
  EXPECT_NEAR(AppliedFilters[0].Q1, boost.Q1, 1e-6 * std::fabs(boost.Q1));
  EXPECT_NEAR(AppliedFilters[0].Q2, boost.Q2, 1e-6 * boost.Q2);

  w->SetParametricEmulation(2);
  Open(MakeFilter(2, 1000, -6, 80));
  EXPECT_NEAR(ScaleQByGain(-6, AppliedFilters[0].Q1), 80, 1e-3);
  EXPECT_TRUE(dialogs.MessageTexts().empty());
}

// The editor judges the whole set as the new-filter dialog does: a change
// that takes the net boost past Max boost is refused, and the filter stays.
TEST_F(LevelSetTest, AChangePastTheNetBoostLimitIsRefusedAsTheDialogRefusesIt) {
  FitLimits limits = DefaultFitLimits();
  SaveFitLimits(limits);
  Forms::Unload<LevelSet>();
  SetApplied({MakeFilter(2, 63, 3, 4), MakeFilter(2, 63, 3, 1)});
  editor = Forms::Get<LevelSet>();
  ASSERT_TRUE(editor->InitializeLevelSet(0));
  const FilterRecord before = AppliedFilters[0];
  dialogs.ExpectMessage();
  editor->LevelText->setText("6");
  QTest::keyClick(editor->LevelText, Qt::Key_Return);
  ASSERT_EQ(dialogs.MessageTexts().size(), 1u);
  EXPECT_EQ(dialogs.MessageTexts()[0],
            "Error 5863: This filter would take the set's net boost to 9 dB at 63 Hz, more than the Max boost of "
            "6 dB (Filters > Curve Fit > Fit Limits).");
  EXPECT_EQ(std::pair(AppliedFilters[0].Q1, AppliedFilters[0].Q2), std::pair(before.Q1, before.Q2));
  EXPECT_FALSE(editor->Unloaded());
  // Down is always taken, and so is a set past the limit coming down.
  editor->LevelText->setText("1");
  QTest::keyClick(editor->LevelText, Qt::Key_Return);
  EXPECT_NEAR(LevelDb(), 1, 0.016);
  limits.MaxBoostDb = 2;
  SaveFitLimits(limits);
  editor->LevelText->setText("0.5");
  QTest::keyClick(editor->LevelText, Qt::Key_Return);
  EXPECT_NEAR(LevelDb(), 0.5, 0.016);
  EXPECT_EQ(dialogs.MessageTexts().size(), 1u);
  // Deleting the cut that holds a boost down is refused too.
  limits.MaxBoostDb = 6;
  SaveFitLimits(limits);
  Forms::Unload<LevelSet>();
  SetApplied({MakeFilter(2, 63, -3, 2), MakeFilter(2, 63, 8, 2)});
  editor = Forms::Get<LevelSet>();
  ASSERT_TRUE(editor->InitializeLevelSet(0));
  dialogs.ExpectMessage();
  editor->Delete->click();
  ASSERT_EQ(dialogs.MessageTexts().size(), 2u);
  EXPECT_EQ(dialogs.MessageTexts()[1],
            "Error 5863: Deleting this filter would take the set's net boost to 8 dB at 63 Hz, more than the Max "
            "boost of 6 dB (Filters > Curve Fit > Fit Limits).");
  EXPECT_EQ(AppliedFilters[0].Count, 2);
  EXPECT_FALSE(editor->Unloaded());
}

TEST_F(LevelSetTest, RemovingEntriesClosesTheGapInOrder) {
  SetApplied(std::vector<FilterRecord>(kMaxFilters, MakeFilter(2, 100, -6, 2)));
  for (int32_t i = 0; i < kMaxFilters; ++i) AppliedFilters[static_cast<size_t>(i)].Freq1 = float(i + 1);
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

TEST_F(ListClickTest, SetsTheWorkingRangePutsTheViewBackAndRefusalsSayWhyAndKeepTheFilter) {
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
  Click(MakeFilter(2, 20, -6, 0.5f));  // w = 1 octave
  EXPECT_EQ((std::vector<float>{low, AppliedFilters[0].Smoothing, ResultsDataSetInfo[0].FreqRespGateTime}),
            (std::vector<float>{5, 1, 20}));  // the low end 5 Hz, not 2.5
  EXPECT_EQ(BodeCurves[0].Label, "kept");
  EXPECT_EQ(
      (std::vector<int32_t>{FreqGraphFrame.XStart, FreqGraphFrame.XFinish, FreqGraphFrame.YLow, FreqGraphFrame.YHigh,
                            FreqGraphFrame.LogX, DisplayConfig.Average, DisplayConfig.Graphshown}),
      (std::vector<int32_t>{30, 5000, -7, 9, kTrue, kFalse, kBodeView}));
  EXPECT_FALSE(w->avg->isChecked());

  dialogs.ExpectModal(editAndClose);
  Click(MakeFilter(2, 20000, -6, 0.5f));
  EXPECT_EQ(high, 24000.0f);

  // After Delete the box has no line selected: all but the curves come back.
  dialogs.ExpectModal([](QDialog* d) {
    BodeCurves[0].Label = "changed";
    static_cast<LevelSet*>(d)->Delete->click();
    return 0;
  });
  Click(MakeFilter(4, 60, -6, 8));
  EXPECT_TRUE(AppliedFilters[0].Count == 0 && FreqGraphFrame.YHigh == 9 && dialogs.MessageTexts().empty());
  EXPECT_EQ(BodeCurves[0].Label, "changed");

  // Each refusal of the filter editor and of a click on the applied list says why and leaves the filter as it was.
  const float half = static_cast<float>(std::numbers::pi * 48000);
  FilterRecord noPole = MakeFilter(2, 1000, -6, 4), broken = noPole;
  noPole.Q1 = 4, noPole.Q2 = -2;
  broken.Q1 = std::nanf("");
  const auto opens = [&](FilterRecord f, bool shown, int32_t code = 2) {
    return [&, f, shown, code] {
      w->SetParametricEmulation(code);
      Open(f);
      EXPECT_EQ(std::pair(opened, editor->Unloaded()), std::pair(shown, !shown));
    };
  };
  const auto at = [](float omega) {
    FilterRecord f = MakeFilter(2, 1000, -6, 4, 3);
    f.Freq1 = omega;
    return f;
  };
  const auto typed = [&](const char* level, double maxBoostDb) {
    return [&, level, maxBoostDb] {
      FitLimits limits = DefaultFitLimits();
      limits.MaxBoostDb = maxBoostDb;
      SaveFitLimits(limits);
      Open(MakeFilter(2, 1000, 3, 2));
      const FilterRecord kept = AppliedFilters[0];
      editor->LevelText->setText(level);
      QTest::keyClick(editor->LevelText, Qt::Key_Return);
      EXPECT_EQ(std::pair(AppliedFilters[0].Q1, AppliedFilters[0].Q2), std::pair(kept.Q1, kept.Q2));
    };
  };
  const auto click = [&](int32_t view, int32_t results) {
    return [&, view, results] {
      DisplayConfig.Graphshown = view;
      ResultsDataSetInfo[0].NumInSet = results;
      Click(MakeFilter(2, 1000, -6, 4));
      DisplayConfig.Graphshown = kBodeView;
      ResultsDataSetInfo[0].NumInSet = 1;
    };
  };
  const struct {
    const char* name;
    std::function<void()> act;
    Texts said;
  } rows[] = {
      {"a kind it cannot edit, shown unconfigured", opens(MakeFilter(5, 1000, -6, 4), true), {"Error 5419"}},
      {"no pole", opens(noPole, true), {"Error 5421"}},
      {"a Q that is not a number", opens(broken, true), {"Error 9054 "}},
      // The averages cannot run a section at half the rate, but the editor opens.
      {"at half the sample rate", opens(at(half), true, 3), {"Error 7122"}},
      {"above half the sample rate", opens(at(std::nextafter(half, 1e9f)), false, 3),
       {"Error: This frequency is too high using the current sample rate."}},
      {"beyond the editor's range", typed("13", 20), {"User Error: Input must be between -20 and 12"}},
      {"above the boost limit", typed("8", 6),
       {"Error 5862: This filter boosts 8 dB, more than the Max boost of 6 dB (Filters > Curve Fit > Fit Limits)."}},
      {"no frequency view", click(kImpulseView, 1),
       {"User Error: A frequency response must be shown to make filter adjustments"}},
      {"no results", click(kFractOctView, 0), {"User Error: Measurement data must be loaded to set EQ control"}},
      {"no line", [&] { w->AppliedFilterListBox->clear(); MainWindowHooks.AppliedFilterListBox_Click(); },
       {"Error 8234"}},
  };
  for (const auto& row : rows) {
    dialogs.Clear();
    for (size_t i = 0; i < row.said.size(); ++i) dialogs.ExpectMessage();
    row.act();
    EXPECT_EQ(dialogs.MessageTexts(), row.said) << row.name;
  }
  editor->Help->click();
  EXPECT_EQ(GetHelpLog().topics.back(), 910);
}

}  // namespace
}  // namespace zentor
