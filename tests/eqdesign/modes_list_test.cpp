// The modes list: the line of each mode, the mode records of one curve's set,
// and the main window's sort buttons and list once the links are installed.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QPushButton>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "base/text_number.h"
#include "core/records.h"
#include "eqdesign/filter_set_links.h"
#include "eqdesign/filter_sets.h"
#include "eqdesign/modes_list.h"
#include "mainwindow/main_window_fixture.h"
#include "mainwindow/main_window_links.h"

namespace zentor {
namespace {

const float k100Hz = static_cast<float>(2 * std::numbers::pi * 100);

FilterRecord Mode(float freq, float q1, float q2, float score) {
  FilterRecord m;
  m.Freq1 = freq;
  m.Q1 = q1;
  m.Q2 = q2;
  m.FitError = score;
  return m;
}

std::vector<std::string> ListLines(const QListWidget* list) {
  std::vector<std::string> lines;
  for (int i = 0; i < list->count(); ++i) lines.push_back(list->item(i)->text().toStdString());
  return lines;
}

class ModesListTest : public test::MainWindowTest {
 protected:
  std::vector<std::string> said;
  MessageSink sink() {
    return [this](const std::string& t) { said.push_back(t); };
  }
};

TEST_F(ModesListTest, EachModeIsOneLineOfTruncatedNumbers) {
  // T = 20 x 13.8 / 628.3 = 0.439 s; L = 20 log10(4) = 12.04 dB.
  EXPECT_EQ(ModesListLine(Mode(k100Hz, 20, 5, 0)), "P 100 Hz, Q:20/0.43 L:-12 E:0");
  EXPECT_EQ(ModesListLine(Mode(k100Hz, -20, 5, 0)), "Z 100 Hz, Q:20 L:12 E:0");
  // The error class: 10 log10(score + 1), truncated.
  EXPECT_EQ(ModesListLine(Mode(k100Hz, -20, 5, 9)), "Z 100 Hz, Q:20 L:12 E:10");
  EXPECT_EQ(ModesListLine(Mode(k100Hz, -20, 5, 1)), "Z 100 Hz, Q:20 L:12 E:3");
  // Frequencies cut to 0.01 Hz and Q to 0.1, toward zero.
  const float f = static_cast<float>(2 * std::numbers::pi * 47.679);
  EXPECT_EQ(ModesListLine(Mode(f, -3.47f, 1, 1)), "Z 47.67 Hz, Q:3.4 L:10.8 E:3");
  // A cut of under 0.1 dB shows 0, not -0.
  EXPECT_EQ(ModesListLine(Mode(k100Hz, 1.001f, 1, 0)), "P 100 Hz, Q:1/0.02 L:0 E:0");
  // Without Q2 there is no level to show.
  EXPECT_EQ(ModesListLine(Mode(k100Hz, 20, 0, 0)), "P 100 Hz, Q:20/0.43 E:0");
  EXPECT_EQ(ModesListLine(Mode(k100Hz, -20, 0, 0)), "Z 100 Hz, Q:20 E:0");
}

TEST_F(ModesListTest, TheModeRecordsCarryTheSetsHeader) {
  std::vector<std::string> lines;
  ModesListContents[0].Count = 9;
  EXPECT_FALSE(BuildModesList(2, lines, sink()));
  EXPECT_EQ(lines, (std::vector<std::string>{"No Modes Found"}));
  EXPECT_EQ(ModesListContents[0].Count, 0);

  SingularityListRecord& s = SingularityList[2];
  s.Count = 2;
  s.Freq = {k100Hz, 2 * k100Hz};
  s.Q1 = {20, -20};
  s.Q2 = {5, 5};
  s.FitError = {0, 9};
  s.Average = -1;  // word 2
  s.Kind = 4;      // word 13
  s.SelectCode = 4;
  s.Graphshown = 6;  // words 15 to 17
  s.Smoothing = 0.33f;
  s.Gatetime = 250;
  ModesListContents[1].SelectCode = 55;
  ModesListContents[1].EQEmulationCode = 3;
  EXPECT_TRUE(BuildModesList(2, lines, sink()));
  EXPECT_EQ(lines, (std::vector<std::string>{"P 100 Hz, Q:20/0.43 L:-12 E:0", "Z 200 Hz, Q:20 L:12 E:10"}));
  EXPECT_EQ(ModesListContents[0].Count, 2);
  const FilterRecord& m = ModesListContents[1];
  EXPECT_EQ((std::vector<double>{double(m.Curve), double(m.Average), double(m.Kind), double(m.Graphshown),
                                 m.Smoothing, m.Gatetime, m.Freq1, m.Q1, m.FitError}),
            (std::vector<double>{2, -1, 4, 6, 0.33f, 250, 2 * k100Hz, -20, 9}));
  EXPECT_EQ(m.SelectCode, 55);  // not written
  EXPECT_EQ(m.EQEmulationCode, 3);
  EXPECT_TRUE(said.empty());
  FilterRecord untouched = m;
  EXPECT_FALSE(ModeRecordFromSet(33, 0, untouched));
  EXPECT_FALSE(ModeRecordFromSet(2, 75, untouched));
  EXPECT_EQ(untouched.Freq1, m.Freq1);

  s.Q2[1] = 0;
  EXPECT_TRUE(BuildModesList(2, lines, sink()));
  EXPECT_EQ(lines[1], "Z 200 Hz, Q:20 E:10");
  EXPECT_EQ(said, (std::vector<std::string>{"CheckForCurveSingularities: Q2=0 Error ModesListContents.Freq1(1) = " +
                                            FormatSingle(2 * k100Hz)}));

  // A damaged count lists what the arrays hold; a curve outside the sets lists nothing.
  s.Count = 500;
  said.clear();
  EXPECT_TRUE(BuildModesList(2, lines, [](const std::string&) {}));
  EXPECT_EQ(lines.size(), 75u);
  EXPECT_FALSE(BuildModesList(33, lines, sink()));
  EXPECT_EQ(lines, (std::vector<std::string>{"No Modes Found"}));
}

TEST_F(ModesListTest, TheSortButtonsSortEveryCurvesSetAndListTheSelectedOne) {
  DataPlotter* w = Start();
  InstallFilterSetLinks();
  w->RefreshLinkedControls();
  ASSERT_TRUE(w->FreqSelect->isEnabled());
  ASSERT_TRUE(w->QSelect->isEnabled());

  for (size_t k : {0u, 5u}) {
    SingularityListRecord& s = SingularityList[k];
    s.Count = 3;
    s.Freq = {3 * k100Hz, k100Hz, 2 * k100Hz};
    s.Q1 = {-8, 20, 4};
    s.Q2 = {2, 5, 2};
    s.FitError = {0, 0, 0};
  }
  w->FreqSelect->click();  // ascending first
  EXPECT_EQ(SingularityList[5].Freq[0], k100Hz);
  EXPECT_EQ(SingularityList[5].Q1[0], 20.0f);
  EXPECT_EQ(ListLines(w->ModesList), (std::vector<std::string>{"P 100 Hz, Q:20/0.43 L:-12 E:0",
                                                               "P 200 Hz, Q:4/0.04 L:-6 E:0",
                                                               "Z 300 Hz, Q:8 L:12 E:0"}));
  w->QSelect->click();  // the direction flips: descending on Q1
  EXPECT_EQ(ListLines(w->ModesList).front(), "P 100 Hz, Q:20/0.43 L:-12 E:0");
  EXPECT_EQ(ListLines(w->ModesList).back(), "Z 300 Hz, Q:8 L:12 E:0");
  w->QSelect->click();
  EXPECT_EQ(ListLines(w->ModesList).front(), "Z 300 Hz, Q:8 L:12 E:0");
  EXPECT_EQ(SingularityList[5].Q1[0], -8.0f);

  SingularityList[0].Count = 0;
  EXPECT_FALSE(MainWindowHooks.CheckForCurveSingularities(0));
  EXPECT_EQ(ListLines(w->ModesList), (std::vector<std::string>{"No Modes Found"}));
  EXPECT_TRUE(MainWindowHooks.CheckForCurveSingularities(5));
  EXPECT_EQ(ListLines(w->ModesList).size(), 3u);
  EXPECT_TRUE(MainWindowHooks.SortFilterSetByKey4);
}

}  // namespace
}  // namespace zentor
