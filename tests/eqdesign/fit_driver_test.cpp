// The per-curve fit driver on known responses, and the main window's fit
// commands: curve choice, the Accumulate checks, the menus and the stop button.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "core/records.h"
#include "display/view_state.h"
#include "eqdesign/fit_commands.h"
#include "eqdesign/fit/fit_driver.h"
#include "eqdesign/fit/fit_quality.h"
#include "mainwindow/main_window_fixture.h"
#include "mainwindow/main_window_links.h"
#include "platform/forms.h"

namespace zentor {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
const KnownSingularity kThree[] = {{31.5, 9, 6}, {45, -8, 5}, {63, 6, 8}};

CurveRecord KnownCurveRecord(const std::vector<float>& f, std::span<const KnownSingularity> s) {
  CurveRecord c;
  const std::vector<float> dB = KnownResponseDb(f, s);
  c.NumPoints = static_cast<int32_t>(f.size());
  std::copy(f.begin(), f.end(), c.XValues.begin());
  std::copy(dB.begin(), dB.end(), c.YValues.begin());
  return c;
}

SingularityListRecord BodeHeader() {
  SingularityListRecord R;
  R.Graphshown = 3;
  R.ModeCode = 5;
  R.SelectCode = 4;
  return R;
}

double EntryDb(const SingularityListRecord& R, int32_t i) {
  const auto e = static_cast<size_t>(i);
  // A measured peak is filed as the cut that corrects it.
  const double level = 20 * std::log10(std::fabs(R.Q1[e]) / R.Q2[e]);
  return R.Q1[e] < 0 ? -level : level;
}

int32_t Matches(const SingularityListRecord& R, const KnownSingularity& s, double fTol, double dBTol) {
  int32_t hits = 0;
  for (int32_t i = 0; i < R.Count; ++i) {
    const double f = R.Freq[static_cast<size_t>(i)] / kTwoPi;
    hits += std::fabs(f - s.FreqHz) <= fTol * s.FreqHz && std::fabs(EntryDb(R, i) - s.LevelDb) <= dBTol;
  }
  return hits;
}

TEST(FitDriver, DefaultFitRampsTheDampingAndRecoversThreeSingularities) {
  const std::vector<float> f = BodeLikeGrid(2000);
  const CurveRecord C = KnownCurveRecord(f, kThree);
  SingularityListRecord R = BodeHeader();
  FitEngine engine;
  const FitCurveOutcome out = FitCurveFilterSet(R, C, 0, 2, 0, FitDriverConstants{}, engine);
  EXPECT_FALSE(out.Stopped);
  EXPECT_TRUE(out.Found);
  const std::vector<float> ramp = {0.8f, 0.825f, 0.85f, 0.875f, 0.9f, 0.925f, 0.95f, 0.975f, 1.0f};
  ASSERT_EQ(engine.PassDampings.size(), ramp.size());
  for (size_t i = 0; i < ramp.size(); ++i) EXPECT_NEAR(engine.PassDampings[i], ramp[i], 1e-5) << i;
  EXPECT_EQ(R.Kind, 4);
  EXPECT_EQ(R.Curve, 2);
  EXPECT_EQ(R.NumInitialLoops, 8);
  EXPECT_FLOAT_EQ(R.Damping, 0.8f);
  EXPECT_FLOAT_EQ(R.RangeLow, 25);
  EXPECT_FLOAT_EQ(R.RangeHigh, 80);
  for (const KnownSingularity& s : kThree) EXPECT_EQ(Matches(R, s, 0.02, 1.5), 1) << s.FreqHz;
  for (int32_t i = 1; i < R.Count; ++i) EXPECT_LE(R.Freq[static_cast<size_t>(i - 1)], R.Freq[static_cast<size_t>(i)]);
  const std::vector<float> dB(C.YValues.begin(), C.YValues.begin() + C.NumPoints);
  const double before = LogWeightedRmsDb(f, dB, 25, 80);
  const double after = LogWeightedRmsDb(f, CorrectedResponseDb(f, dB, R), 25, 80);
  EXPECT_LE(after, 1.0);
  EXPECT_LE(after, 0.3 * before);
}

TEST(FitDriver, QuickFitRunsNoPolishAndKeepsTheConstants) {
  const std::vector<float> f = BodeLikeGrid(2000);
  SingularityListRecord R = BodeHeader();
  FitEngine engine;
  engine.Settings.Quick = true;
  FitCurveFilterSet(R, KnownCurveRecord(f, kThree), 0, 0, -1, FitDriverConstants{}, engine);
  EXPECT_TRUE(engine.PassDampings.empty());
  EXPECT_EQ(R.Kind, 4);
  EXPECT_EQ(R.Average, -1);
  EXPECT_EQ(R.NumInitialLoops, 8);
  EXPECT_FLOAT_EQ(R.Damping, 0.8f);
  for (const KnownSingularity& s : kThree) EXPECT_EQ(Matches(R, s, 0.03, 2), 1) << s.FreqHz;
}

// Narrow boosts far above the fit range, which the fit leaves alone.
SingularityListRecord ExistingSet(int32_t n) {
  SingularityListRecord R = BodeHeader();
  R.RangeLow = 30;
  R.RangeHigh = 60;
  R.Count = n;
  for (int32_t i = 0; i < n; ++i) {
    const auto e = static_cast<size_t>(i);
    R.Freq[e] = static_cast<float>(kTwoPi * (4000 + 100 * i));
    R.Q1[e] = -40;
    R.Q2[e] = 20;
  }
  return R;
}

TEST(FitDriver, AccumulatingMergesUpToTheBufferAndRejectsTheNewEntriesBeyond) {
  const std::vector<float> f = BodeLikeGrid(2000);
  const CurveRecord C = KnownCurveRecord(f, kThree);
  SingularityListRecord fresh = BodeHeader();
  FitEngine engine;
  FitCurveFilterSet(fresh, C, 0, 0, 0, FitDriverConstants{}, engine);
  const int32_t found = fresh.Count;
  ASSERT_GT(found, 0);

  std::vector<std::string> said;
  engine.Callbacks.Say = [&](const std::string& t) { said.push_back(t); };
  SingularityListRecord R = ExistingSet(74 - found);
  FitCurveOutcome out = FitCurveFilterSet(R, C, 1, 0, 0, FitDriverConstants{}, engine);
  EXPECT_FALSE(out.UntickAccumulate);
  EXPECT_EQ(R.Count, 74);
  EXPECT_FLOAT_EQ(R.RangeLow, 25);
  EXPECT_FLOAT_EQ(R.RangeHigh, 80);
  EXPECT_TRUE(said.empty());

  const SingularityListRecord full = ExistingSet(75 - found);
  R = full;
  FitCurveFilterSet(R, C, 1, 0, 0, FitDriverConstants{}, engine);
  ASSERT_EQ(said, std::vector<std::string>{" User Error: Filter Buffer Overload: Rejecting all filters"});
  EXPECT_EQ(R.Count, full.Count);
  EXPECT_EQ(0, std::memcmp(R.Freq.data(), full.Freq.data(), sizeof(R.Freq)));
  EXPECT_FLOAT_EQ(R.RangeLow, 30);
  EXPECT_FLOAT_EQ(R.RangeHigh, 60);

  // Nothing to add to: a fresh fit, and the box is to be unticked.
  R = BodeHeader();
  out = FitCurveFilterSet(R, C, 1, 0, 0, FitDriverConstants{}, engine);
  EXPECT_TRUE(out.UntickAccumulate);
  EXPECT_EQ(R.Count, found);
}

TEST(FitDriver, AStopInTheSearchLeavesTheSetAsItCame) {
  const std::vector<float> f = BodeLikeGrid(2000);
  const SingularityListRecord before = ExistingSet(5);
  SingularityListRecord R = before;
  std::atomic<bool> stop{false};
  int polls = 0;
  FitEngine engine;
  engine.Settings.PollEvery = std::chrono::microseconds(0);
  engine.Callbacks.Stop = &stop;
  engine.Callbacks.Poll = [&] {
    if (++polls == 3) stop = true;
  };
  const FitCurveOutcome out = FitCurveFilterSet(R, KnownCurveRecord(f, kThree), 1, 0, 0, FitDriverConstants{}, engine);
  EXPECT_TRUE(out.Stopped);
  EXPECT_TRUE(out.Kept);
  EXPECT_EQ(0, std::memcmp(&R, &before, sizeof(R)));
}

// A stop requested just before a curve's fit, while the poll clock is fresh,
// is seen at the start of the search, not only once a long batch has run.
TEST(FitDriver, AStopRequestedBeforeTheSearchIsSeenAtItsStart) {
  const std::vector<float> f = BodeLikeGrid(2000);
  const SingularityListRecord before = ExistingSet(5);
  SingularityListRecord R = before;
  std::atomic<bool> stop{false};
  int polls = 0;
  FitEngine engine;
  engine.Settings.PollEvery = std::chrono::hours(1);
  engine.Polling.Last = std::chrono::steady_clock::now();
  engine.Callbacks.Stop = &stop;
  engine.Callbacks.Poll = [&] {
    ++polls;
    stop = true;
  };
  const FitCurveOutcome out = FitCurveFilterSet(R, KnownCurveRecord(f, kThree), 1, 0, 0, FitDriverConstants{}, engine);
  EXPECT_EQ(polls, 1);
  EXPECT_TRUE(out.Kept);
  EXPECT_EQ(0, std::memcmp(&R, &before, sizeof(R)));
}

// A set fitted side by side is each curve's fit alone, whatever the threads,
// and its messages and counters are each curve's own, in order.
TEST(FitDriver, ABatchFitsEachCurveAsAloneWhateverTheThreads) {
  const std::vector<float> f = BodeLikeGrid(2000);
  const KnownSingularity second[] = {{38, -7, 4}, {70, 8, 7}};
  std::vector<CurveRecord> curves = {KnownCurveRecord(f, kThree), KnownCurveRecord(f, second),
                                     KnownCurveRecord(f, kThree)};
  curves[1].NumPoints = 4;  // too short for a fit: says so
  std::vector<SingularityListRecord> alone;
  std::vector<std::string> aloneSaid;
  FitEngine one;
  one.Settings.Quick = true;
  one.Callbacks.Say = [&](const std::string& t) { aloneSaid.push_back(t); };
  for (int32_t k = 0; k < 3; ++k) {
    alone.push_back(BodeHeader());
    FitCurveFilterSet(alone.back(), curves[static_cast<size_t>(k)], 0, k, 0, FitDriverConstants{}, one);
  }
  ASSERT_GT(alone[0].Count, 0);
  for (const int32_t threads : {1, 3}) {
    FitPool pool(threads);
    FitEngine engine;
    engine.Settings.Quick = true;
    engine.Pool = &pool;
    std::vector<SingularityListRecord> sets(3, BodeHeader());
    std::vector<FitBatchItem> items(3);
    std::vector<int32_t> current;
    for (int32_t k = 0; k < 3; ++k) {
      items[static_cast<size_t>(k)].Set = &sets[static_cast<size_t>(k)];
      items[static_cast<size_t>(k)].Curve = &curves[static_cast<size_t>(k)];
      items[static_cast<size_t>(k)].Index = k;
    }
    FitCurveFilterSets(items, FitDriverConstants{}, engine, [&](int32_t k) { current.push_back(k); });
    std::vector<std::string> said;
    for (int32_t k = 0; k < 3; ++k) {
      const auto i = static_cast<size_t>(k);
      EXPECT_EQ(0, std::memcmp(&sets[i], &alone[i], sizeof(SingularityListRecord))) << threads << " " << k;
      EXPECT_FALSE(items[i].Outcome.Kept);
      said.insert(said.end(), items[i].Said.begin(), items[i].Said.end());
    }
    EXPECT_EQ(said, aloneSaid);
    EXPECT_EQ(engine.Counters.Calls, one.Counters.Calls);
    EXPECT_EQ(engine.PassDampings, one.PassDampings);
    ASSERT_FALSE(current.empty());
    EXPECT_TRUE(std::is_sorted(current.begin(), current.end()));
  }
}

TEST(FitDriver, EachMessageIsKeptOnceInTheOrderFirstRaised) {
  FitMessages m;
  for (int i = 0; i < 40; ++i) m.Add("Error 5343");
  m.Add("Error 7831");
  EXPECT_EQ(m.TakeNew(), (std::vector<std::string>{"Error 5343", "Error 7831"}));
  m.Add("Error 5343");
  EXPECT_TRUE(m.TakeNew().empty());
}

// A click as the user makes it: press and release through the event queue.
void PostClick(QWidget* b) {
  const QPointF at(b->width() / 2.0, b->height() / 2.0);
  for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
    QCoreApplication::postEvent(b, new QMouseEvent(t, at, b->mapToGlobal(at), Qt::LeftButton,
                                                   t == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                                   Qt::NoModifier));
}

class FitCommandsTest : public test::MainWindowTest {
 protected:
  DataPlotter* w = nullptr;
  void SetUp() override {
    MainWindowTest::SetUp();
    w = Start();
    InstallFitCommandLinks();
    w->RefreshLinkedControls();
    SetFitThreads(2);
  }
  // n curves of the three singularities in the Bode view, at 48 kHz.
  void LoadCurves(int32_t n) {
    const std::vector<float> f = BodeLikeGrid(2000);
    ResultsDataSetInfo[0].NumInSet = n;
    for (int32_t k = 0; k < n; ++k) {
      ResultsDataSetInfo[static_cast<size_t>(k)].SampleRate = 48000;
      ResultsDataSetInfo[static_cast<size_t>(k)].FreqRespGateTime = 1000;
      BodeCurves[static_cast<size_t>(k)] = KnownCurveRecord(f, kThree);
    }
    DisplayConfig.Graphshown = 3;
    DisplayConfig.Average = 0;
  }
};

TEST_F(FitCommandsTest, MenusSetAndToggleTheFitBoxes) {
  w->AccCheck->setChecked(true);
  w->FitFilter->trigger();
  EXPECT_FALSE(w->AccCheck->isChecked());
  w->AddFilter->trigger();
  EXPECT_TRUE(w->AccCheck->isChecked());
  for (auto [box, entry] : {std::pair{w->All, w->AllCurves}, std::pair{w->QkCheck, w->QuickFit}}) {
    const bool was = box->isChecked();
    entry->trigger();
    EXPECT_EQ(box->isChecked(), !was);
    EXPECT_EQ(entry->isChecked(), !was);
    entry->trigger();
    EXPECT_EQ(box->isChecked(), was);
    EXPECT_EQ(entry->isChecked(), was);
  }
  EXPECT_TRUE(w->FitFilter->isEnabled());
  EXPECT_TRUE(w->Polish->isEnabled());
}

TEST_F(FitCommandsTest, TheStopButtonAtRestLeavesTheFlagClear) {
  EXPECT_EQ(w->StopModal->text().toStdString(), "Stop Analysis");
  EXPECT_FALSE(w->Command7->isVisibleTo(w));
  w->StopModal->click();
  EXPECT_FALSE(w->GetStopModalFlag());
}

TEST_F(FitCommandsTest, AllOffFitsTheModesCurveAndStampsOnlyWhatItRebuilds) {
  LoadCurves(3);
  w->All->setChecked(false);
  w->AccCheck->setChecked(false);
  w->QkCheck->setChecked(true);
  SingularityList[2] = ExistingSet(4);
  SingularityList[2].Graphshown = 6;
  const SingularityListRecord kept = SingularityList[2];
  w->FitFiltersBut->click();
  EXPECT_GT(SingularityList[0].Count, 0);  // ModesCurveNumber 0
  EXPECT_EQ(SingularityList[1].Count, 0);
  EXPECT_EQ(SingularityList[1].Graphshown, 3);  // empty: stamped
  EXPECT_EQ(0, std::memcmp(&SingularityList[2], &kept, sizeof(kept)));
  EXPECT_FALSE(w->GetBusy());
  EXPECT_EQ(WaitCursor::Depth(), 0);
  EXPECT_EQ(w->CurveNumberText->text().toStdString(), "1");
}

TEST_F(FitCommandsTest, AllOnFitsEveryCurveInOrder) {
  LoadCurves(3);
  w->All->setChecked(true);
  w->AccCheck->setChecked(false);
  w->QkCheck->setChecked(true);
  std::vector<std::string> shown;
  QObject::connect(w->CurveNumberText, &QLineEdit::textChanged,
                   [&](const QString& t) { shown.push_back(t.toStdString()); });
  w->FitFiltersBut->click();
  for (size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(SingularityList[k].Curve, static_cast<int32_t>(k));
    EXPECT_EQ(SingularityList[k].Kind, 4);
    EXPECT_GT(SingularityList[k].Count, 0);
  }
  // The curves run side by side: the number climbs, and ends on the last.
  ASSERT_FALSE(shown.empty());
  EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
  EXPECT_EQ(shown.back(), "3");
}

TEST_F(FitCommandsTest, AnAccumulateThatDoesNotMatchIsRefusedWithNothingChanged) {
  LoadCurves(2);
  DisplayConfig.Average = -1;
  w->AccCheck->setChecked(true);
  SingularityList[0] = ExistingSet(3);
  SingularityList[0].Average = -1;
  SingularityList[0].Gatetime = 500;
  SingularityList[1] = ExistingSet(2);
  const auto before = SingularityList;
  dialogs.ExpectMessage();
  dialogs.ExpectMessage();
  w->FitFiltersBut->click();
  EXPECT_EQ(dialogs.MessageTexts(),
            (std::vector<std::string>{"ResultsDataSetInfo(0).FreqRespGateTime <> SingularityList(k).Gatetime",
                                      "User Error: Existing filters cannot be added with new analysis when gate "
                                      "time or smoothing is changed. Uncheck 'Accumulate' in the Filters frame box."}));
  EXPECT_EQ(0, std::memcmp(&SingularityList, &before, sizeof(before)));
  EXPECT_FALSE(w->GetBusy());
}

TEST_F(FitCommandsTest, OtherViewsFitNothing) {
  LoadCurves(2);
  DisplayConfig.Average = -1;
  DisplayConfig.Graphshown = 2;
  SingularityList[1] = ExistingSet(2);
  const auto before = SingularityList;
  w->FitFiltersBut->click();
  EXPECT_EQ(0, std::memcmp(&SingularityList, &before, sizeof(before)));
}

TEST_F(FitCommandsTest, AStopKeepsTheCurvesFinishedBeforeTheOneShownAndLeavesTheRest) {
  LoadCurves(4);
  w->All->setChecked(true);
  w->AccCheck->setChecked(false);
  w->QkCheck->setChecked(false);
  for (size_t k = 0; k < 4; ++k) SingularityList[k] = ExistingSet(3 + static_cast<int32_t>(k));
  const auto before = SingularityList;
  std::string at;  // the curve on the screen when the user stops
  QObject::connect(w->CurveNumberText, &QLineEdit::textChanged, [&](const QString& t) {
    if (!at.empty() || t == "1") return;
    at = t.toStdString();
    PostClick(w->StopModal);
    PostClick(w->DelCurve);
    PostClick(w->FitFiltersBut);
  });
  w->FitFiltersBut->click();
  ASSERT_FALSE(at.empty());
  const size_t stopped = std::stoul(at) - 1;
  for (size_t k = 0; k < 4; ++k) {
    const bool same = std::memcmp(&SingularityList[k], &before[k], sizeof(SingularityListRecord)) == 0;
    EXPECT_EQ(same, k >= stopped) << k;
    if (k < stopped) {
      EXPECT_EQ(SingularityList[k].Kind, 4);
    }
  }
  EXPECT_EQ(w->CurveNumberText->text().toStdString(), at);
  EXPECT_FALSE(w->GetBusy());
  EXPECT_EQ(WaitCursor::Depth(), 0);
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 4);  // the queued Delete Curve was dropped
}

}  // namespace
}  // namespace zentor
