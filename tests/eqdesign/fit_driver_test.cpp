// The per-curve fit driver and whole fits of known responses (what they find and
// how much flatter the corrected response is), the main window's fit commands
// (curve choice, the Accumulate checks, the menus and the stop button), and the
// fit's limits.
#include <gtest/gtest.h>
#include <unistd.h>
#include <sys/stat.h>
#include <fstream>
#include <QTemporaryDir>

#include <QAction>
#include <QCoreApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "core/records.h"
#include "display/view_state.h"
#include "eqdesign/eq_list_fixture.h"
#include "eqdesign/filter_sets.h"
#include "eqdesign/fit_commands.h"
#include "eqdesign/fit_corpus.h"
#include "eqdesign/fit_curves.h"
#include "eqdesign/fit/fit_bounds.h"
#include "eqdesign/fit/fit_driver.h"
#include "eqdesign/fit/fit_limits.h"
#include "eqdesign/fit/fit_quality.h"
#include "eqdesign/fit/group_refine.h"
#include "eqdesign/fit/net_boost.h"
#include "eqdesign/fit/outside_range.h"
#include "eqdesign/user_select.h"
#include "exchange/filter_export.h"
#include "support/filter_record.h"
#include "mainwindow/main_window_links.h"
#include "platform/forms.h"

namespace zentor::test {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
const KnownSingularity kThree[] = {{31.5, 9, 6}, {45, -8, 5}, {63, 6, 8}};

CurveRecord KnownCurveRecord(const std::vector<float>& f, std::span<const KnownSingularity> s) {
  return CurveOf(f, KnownResponseDb(f, s));
}

// Entries within fTol of the singularity's frequency and dBTol of its level;
// with qTol, their centre Q must lie within qTol of its own.
int32_t Matches(const SingularityListRecord& R, const KnownSingularity& s, double fTol, double dBTol,
                double qTol = 0) {
  int32_t hits = 0;
  for (const KnownSingularity& e : SingularitiesOf(R)) {
    if (std::fabs(e.FreqHz - s.FreqHz) > fTol * s.FreqHz || std::fabs(e.LevelDb - s.LevelDb) > dBTol) continue;
    EXPECT_TRUE(qTol == 0 || std::fabs(e.CentreQ - s.CentreQ) <= qTol * s.CentreQ) << s.FreqHz << ": Q " << e.CentreQ;
    ++hits;
  }
  return hits;
}

TEST(FitDriver, DefaultFitRampsTheDampingAndRecoversThreeSingularitiesAndAQuickFitDoesNotPolish) {
  const std::vector<float> f = BodeLikeGrid(2000);
  const CurveRecord C = KnownCurveRecord(f, kThree);
  SingularityListRecord R = BodeHeader();
  FitEngine engine;
  const FitCurveOutcome out = FitCurveFilterSet(R, C, 0, 2, 0, FitDriverConstants{}, engine);
  EXPECT_TRUE(!out.Stopped && out.Found);
  const std::vector<float> ramp = {0.8f, 0.825f, 0.85f, 0.875f, 0.9f, 0.925f, 0.95f, 0.975f, 1.0f};
  ASSERT_EQ(engine.PassDampings.size(), ramp.size());
  for (size_t i = 0; i < ramp.size(); ++i) EXPECT_NEAR(engine.PassDampings[i], ramp[i], 1e-5) << i;
  EXPECT_EQ((std::vector<float>{float(R.Kind), float(R.Curve), float(R.NumInitialLoops), R.Damping, R.RangeLow,
                                R.RangeHigh}),
            (std::vector<float>{4, 2, 8, 0.8f, 25, 80}));
  for (const KnownSingularity& s : kThree) EXPECT_EQ(Matches(R, s, 0.02, 1.5), 1) << s.FreqHz;
  for (int32_t i = 1; i < R.Count; ++i) EXPECT_LE(R.Freq[static_cast<size_t>(i - 1)], R.Freq[static_cast<size_t>(i)]);
  const std::vector<float> dB(C.YValues.begin(), C.YValues.begin() + C.NumPoints);
  const double before = LogWeightedRmsDb(f, dB, 25, 80);
  const double after = LogWeightedRmsDb(f, CorrectedResponseDb(f, dB, R), 25, 80);
  EXPECT_LE(after, std::min(1.0, 0.3 * before));

  FitEngine quick;
  quick.Settings.Quick = true;
  R = BodeHeader();
  FitCurveFilterSet(R, C, 0, 0, -1, FitDriverConstants{}, quick);
  EXPECT_TRUE(quick.PassDampings.empty());
  EXPECT_EQ((std::vector<float>{float(R.Kind), float(R.Average), float(R.NumInitialLoops), R.Damping}),
            (std::vector<float>{4, -1, 8, 0.8f}));
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

TEST(FitDriver, AccumulatingMergesUpToTheBufferRejectsTheEntriesBeyondAndAStopLeavesTheSetAsItCame) {
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
  EXPECT_EQ((std::vector<float>{float(R.Count), R.RangeLow, R.RangeHigh}), (std::vector<float>{74, 25, 80}));
  EXPECT_TRUE(said.empty());

  const SingularityListRecord full = ExistingSet(75 - found);
  R = full;
  FitCurveFilterSet(R, C, 1, 0, 0, FitDriverConstants{}, engine);
  ASSERT_EQ(said, std::vector<std::string>{" User Error: Filter Buffer Overload: Rejecting all filters"});
  EXPECT_TRUE(SameBits(R.Freq, full.Freq));
  EXPECT_EQ((std::vector<float>{float(R.Count), R.RangeLow, R.RangeHigh}),
            (std::vector<float>{float(full.Count), 30, 60}));

  // Nothing to add to: a fresh fit, and the box is to be unticked.
  R = BodeHeader();
  out = FitCurveFilterSet(R, C, 1, 0, 0, FitDriverConstants{}, engine);
  EXPECT_TRUE(out.UntickAccumulate && R.Count == found);

  // A stop in the search leaves the set as it came; one requested just before a curve's fit, while the poll clock is
  // fresh, is seen at the start of the search, not only once a long batch has run.
  const SingularityListRecord before = ExistingSet(5);
  for (const bool fresh : {false, true}) {
    SingularityListRecord R = before;
    std::atomic<bool> stop{false};
    int polls = 0;
    FitEngine engine;
    engine.Settings.PollEvery = fresh ? std::chrono::microseconds(std::chrono::hours(1)) : std::chrono::microseconds(0);
    if (fresh) engine.Polling.Last = std::chrono::steady_clock::now();
    engine.Callbacks.Stop = &stop;
    engine.Callbacks.Poll = [&] {
      if (++polls == (fresh ? 1 : 3)) stop = true;
    };
    const FitCurveOutcome out =
        FitCurveFilterSet(R, KnownCurveRecord(f, kThree), 1, 0, 0, FitDriverConstants{}, engine);
    EXPECT_TRUE(!fresh || polls == 1) << polls;
    EXPECT_TRUE(out.Stopped && out.Kept) << fresh;
    EXPECT_TRUE(SameBits(R, before)) << fresh;
  }
}

// A set fitted side by side is each curve's fit alone, whatever the threads,
// and its messages and counters are each curve's own, in order.
TEST(FitDriver, ABatchFitsEachCurveAsAloneWhateverTheThreadsAndKeepsEachMessageOnce) {
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
    for (size_t k = 0; k < 3; ++k)
      items[k].Set = &sets[k], items[k].Curve = &curves[k], items[k].Index = static_cast<int32_t>(k);
    FitCurveFilterSets(items, FitDriverConstants{}, engine, [&](int32_t k) { current.push_back(k); });
    std::vector<std::string> said;
    for (int32_t k = 0; k < 3; ++k) {
      const auto i = static_cast<size_t>(k);
      EXPECT_TRUE(SameBits(sets[i], alone[i])) << threads << " " << k;
      EXPECT_FALSE(items[i].Outcome.Kept);
      said.insert(said.end(), items[i].Said.begin(), items[i].Said.end());
    }
    EXPECT_EQ(said, aloneSaid);
    EXPECT_EQ(engine.Counters.Calls, one.Counters.Calls);
    EXPECT_EQ(engine.PassDampings, one.PassDampings);
    ASSERT_FALSE(current.empty());
    EXPECT_TRUE(std::is_sorted(current.begin(), current.end()));
  }

  // Each message is kept once, in the order first raised.
  FitMessages m;
  for (int i = 0; i < 40; ++i) m.Add("Error 5343");
  m.Add("Error 7831");
  EXPECT_EQ(m.TakeNew(), (std::vector<std::string>{"Error 5343", "Error 7831"}));
  m.Add("Error 5343");
  EXPECT_TRUE(m.TakeNew().empty());
}

// ---- Whole fits of known responses: what they find, how much flatter the result ----

TEST(FitQuality, MeasuresOfKnownResponsesAndTheBoundsNoiseReachAndResolution) {
  const std::vector<float> f = LogGrid(2000, 20, 20000);
  const KnownSingularity s{100, 6, 4};
  const std::vector<float> dB = KnownResponseDb(f, std::span(&s, 1));
  // The singularity's centre gain, and nothing far away.
  EXPECT_NEAR(KnownSingularityDb(s, 100), 6, 1e-12);
  EXPECT_NEAR(dB[0], 0, 0.03);
  // A straight tilt of t dB per octave over one decade spreads by t × log2(10)/√12.
  const std::vector<float> tilt = KnownResponseDb(f, {}, 3.0);
  EXPECT_NEAR(LogWeightedRmsDb(f, tilt, 100, 1000), 3.0 * std::log2(10.0) / std::sqrt(12.0), 0.01);
  // Dividing the singularity out leaves the flat line.
  EXPECT_GT(LogWeightedRmsDb(f, dB, 50, 200), 1.0);
  EXPECT_LT(LogWeightedRmsDb(f, CorrectedResponseDb(f, dB, SetOf(std::span(&s, 1))), 50, 200), 1e-5);
  // Seeded noise repeats.
  EXPECT_EQ(KnownResponseDb(f, {}, 0, 0.1, 7), KnownResponseDb(f, {}, 0, 0.1, 7));
  EXPECT_NEAR(LogWeightedRmsDb(f, KnownResponseDb(f, {}, 0, 0.1, 7), 20, 20000), 0.1, 0.01);

  // The bounds: the noise, the equalisers' reach and the resolution.
  const std::vector<float> bode = BodeLikeGrid(2000);
  const KnownSingularity peak{50, 12, 5};
  for (const bool withPeak : {false, true}) {
    const auto s = withPeak ? std::span<const KnownSingularity>(&peak, 1) : std::span<const KnownSingularity>();
    const KnownCurve k = MakeKnownCurve(bode, s, 20, 300, 1.0, 0.3, 5);
    const double noise = EstimatePointNoiseDb(bode, std::span(k.curve->Level).first(bode.size()), 20, 300);
    EXPECT_NEAR(noise, 0.3, 0.03) << withPeak;
  }
  // The equalisers' narrowest and widest bands and their levels, the list's 20 dB at most.
  const FitBounds b1 = MakeFitBounds(1, 0), b5 = MakeFitBounds(5, 0), b2 = MakeFitBounds(2, 0);
  EXPECT_NEAR(b1.CentreQLow, 1 / (2 * std::sqrt(2.0)), 1e-4);
  EXPECT_NEAR(b1.CentreQHigh, 60 / std::sqrt(2.0), 1e-3);
  EXPECT_EQ(std::pair(b1.PeakDbMax, b1.DipDbMax), std::pair(20.0, 16.0));
  EXPECT_NEAR(b5.LargerQHigh, 10, 1e-4);
  EXPECT_NEAR(b5.PeakDbMax, 15, 1e-4);
  EXPECT_NEAR(b5.DipDbMax, 10, 1e-4);
  EXPECT_EQ(b2.CentreQHigh, 1e30);
  // A +12 dB peak of centre Q 15 within the DCX 2496's reach: its larger Q 10, its level kept.
  double q1 = 15 * std::pow(10.0, 12.0 / 40), q2 = 15 / std::pow(10.0, 12.0 / 40);
  BoundToReach(q1, q2, 1.0, b5);
  EXPECT_NEAR(q1, 10, 1e-9);
  EXPECT_NEAR(20 * std::log10(q1 / q2), 12, 1e-9);
  // Three points wide at the least, and above three noise deviations.
  const FitBounds noisy = MakeFitBounds(2, 0.5);
  const auto qs = [](double dB, double q) {
    return std::pair{q * std::pow(10.0, dB / 40), q / std::pow(10.0, dB / 40)};
  };
  // Too narrow, too small, and wide and large enough.
  for (const auto& [dB, q, resolved] :
       {std::tuple{6.0, 40.0 / (2.5 * 0.37), false}, {1.2, 4.0, false}, {2.0, 4.0, true}}) {
    const auto [q1, q2] = qs(dB, q);
    EXPECT_EQ(ResolvedAboveNoise(bode, kTwoPi * 40, q1, q2, 1.0, noisy), resolved) << dB << " dB, Q " << q;
  }
}

TEST(FitQuality, ThreeSingularitiesAreFoundAndCorrectedAndOverlappingEntriesSettleTogether) {
  for (const FitGrid& g : FitGrids()) {
    SCOPED_TRACE(testing::Message() << "view " << g.view);
    const std::vector<float> dB = KnownResponseDb(g.grid, kThree);
    SingularityListRecord R = FitSetHeader(g.view, 25, 80, g.smoothing);
    FitEngine engine;
    ASSERT_TRUE(FitSetWithDampingRamp(g.grid, dB, R, engine));
    // The damping rises between passes: each entry must go back into the curve
    // as it was taken out, or its Q drifts by the dampings' ratio.
    for (const KnownSingularity& s : kThree) EXPECT_EQ(Matches(R, s, 0.02, 2, 0.05), 1) << s.FreqHz;
    const std::vector<KnownSingularity> got = SingularitiesOf(R);  // every other entry is small
    EXPECT_EQ(std::count_if(got.begin(), got.end(), [](const auto& e) { return std::fabs(e.LevelDb) > 3; }), 3);
    const double after = LogWeightedRmsDb(g.grid, CorrectedResponseDb(g.grid, dB, R), 25, 80);
    EXPECT_LE(after, std::min(1.0, 0.4 * LogWeightedRmsDb(g.grid, dB, 25, 80)));
  }

  // Overlapping entries settle together.
  const KnownSingularity known[] = {{40, 9, 6}, {44, -8, 5}};
  const KnownSingularity start[] = {{41, 6, 4}, {43, -5, 7}};
  KnownCurve k = MakeKnownCurve(LogGrid(2000, 20, 20000), known);
  SingularityListRecord R = FitSetHeader(6, 25, 80, 1.0f / 48);
  CopyFilterSetEntries(SetOf(start), R);
  std::span<double> y(k.curve->Level.data(), static_cast<size_t>(k.curve->Count));
  for (int32_t i = 0; i < R.Count; ++i) {
    const auto e = static_cast<size_t>(i);
    ApplySingularityToLevels(y, k.curve->Freq, -R.Q1[e], R.Q2[e], R.Freq[e], 1.0f, 0, k.curve->Count, QuietSink());
  }
  RefineOverlappingGroups(R, R, *k.curve, 1.0f, MakeFitBounds(2, 0));
  ASSERT_EQ(R.Count, 2);
  const std::vector<KnownSingularity> got = SingularitiesOf(R);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_NEAR(got[i].FreqHz, known[i].FreqHz, 0.002 * known[i].FreqHz);
    EXPECT_NEAR(got[i].LevelDb, known[i].LevelDb, 0.05);
    EXPECT_NEAR(got[i].CentreQ, known[i].CentreQ, 0.01 * known[i].CentreQ);
  }
}

TEST(FitQuality, CorrectionNeverWorsensASeededCorpus) {
  std::mt19937 random(2027);
  const auto uniform = [&](double a, double b) {
    return a + (b - a) * (static_cast<double>(random()) / 4294967295.0);
  };
  for (int32_t curve = 0; curve < 40; ++curve) {
    const bool log = curve % 2 == 1;
    const std::vector<float> f = log ? LogGrid(2000, 20, 20000) : BodeLikeGrid(2000);
    std::vector<KnownSingularity> known(static_cast<size_t>(curve % 7));
    for (KnownSingularity& s : known) {
      const double level = uniform(3, 15);
      s = {std::exp(uniform(std::log(27.0), std::log(75.0))), random() % 2 ? level : -level, uniform(2, 15)};
    }
    const std::vector<float> dB = KnownResponseDb(f, known, uniform(-3, 3), 0.1, static_cast<uint32_t>(curve + 1));
    SingularityListRecord R = FitSetHeader(log ? 6 : 3, 25, 80, 1.0f / 48);
    FitEngine engine;
    FitSetWithDampingRamp(f, dB, R, engine);
    const double before = LogWeightedRmsDb(f, dB, 25, 80);
    const double after = LogWeightedRmsDb(f, CorrectedResponseDb(f, dB, R), 25, 80);
    EXPECT_LE(after, before) << "curve " << curve << " with " << known.size() << " singularities";
  }
}

// A click as the user makes it: press and release through the event queue.
void PostClick(QWidget* b) {
  const QPointF at(b->width() / 2.0, b->height() / 2.0);
  for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
    QCoreApplication::postEvent(b, new QMouseEvent(t, at, b->mapToGlobal(at), Qt::LeftButton,
                                                   t == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                                   Qt::NoModifier));
}

class FitCommandsTest : public LinkedWindowTest {
 protected:
  void SetUp() override {
    LinkedWindowTest::SetUp();
    StartWith({InstallFitCommandLinks});
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

TEST_F(FitCommandsTest, AllOffFitsTheModesCurveOnlyAllOnEveryCurveInOrderAndTheMenusToggleTheBoxes) {
  LoadCurves(3);
  w->All->setChecked(false);
  w->AccCheck->setChecked(false);
  w->QkCheck->setChecked(true);
  SingularityList[2] = ExistingSet(4);
  SingularityList[2].Graphshown = 6;
  const SingularityListRecord kept = SingularityList[2];
  w->FitFiltersBut->click();
  EXPECT_GT(SingularityList[0].Count, 0);  // ModesCurveNumber 0
  EXPECT_EQ(std::pair(SingularityList[1].Count, SingularityList[1].Graphshown), std::pair(0, 3));  // empty: stamped
  EXPECT_TRUE(SameBits(SingularityList[2], kept));
  EXPECT_TRUE(!w->GetBusy() && WaitCursor::Depth() == 0);
  EXPECT_EQ(w->CurveNumberText->text().toStdString(), "1");

  // All on: every curve in order.
  w->All->setChecked(true);
  std::vector<std::string> shown;
  QObject::connect(w->CurveNumberText, &QLineEdit::textChanged,
                   [&](const QString& t) { shown.push_back(t.toStdString()); });
  w->FitFiltersBut->click();
  for (int32_t k = 0; k < 3; ++k) {
    const SingularityListRecord& s = SingularityList[static_cast<size_t>(k)];
    EXPECT_TRUE(s.Curve == k && s.Kind == 4 && s.Count > 0) << k;
  }
  // The curves run side by side: the number climbs, and ends on the last.
  ASSERT_FALSE(shown.empty());
  EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
  EXPECT_EQ(shown.back(), "3");

  w->AccCheck->setChecked(true);
  w->FitFilter->trigger();
  EXPECT_FALSE(w->AccCheck->isChecked());
  w->AddFilter->trigger();
  EXPECT_TRUE(w->AccCheck->isChecked());
  for (auto [box, entry] : {std::pair{w->All, w->AllCurves}, std::pair{w->QkCheck, w->QuickFit}}) {
    const bool was = box->isChecked();
    for (const bool now : {!was, was}) {
      entry->trigger();
      EXPECT_EQ(std::pair(box->isChecked(), entry->isChecked()), std::pair(now, now));
    }
  }
  EXPECT_TRUE(w->FitFilter->isEnabled() && w->Polish->isEnabled());
  // The stop button at rest leaves the flag clear.
  EXPECT_EQ(w->StopModal->text().toStdString(), "Stop Analysis");
  EXPECT_FALSE(w->Command7->isVisibleTo(w));
  w->StopModal->click();
  EXPECT_FALSE(w->GetStopModalFlag());
}

// An Accumulate that does not match is refused; other views fit nothing.
TEST_F(FitCommandsTest, AnAccumulateThatDoesNotMatchAndOtherViewsChangeNothing) {
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
  EXPECT_FALSE(w->GetBusy());
  w->AccCheck->setChecked(false);
  DisplayConfig.Graphshown = 2;
  w->FitFiltersBut->click();
  EXPECT_TRUE(SameBits(SingularityList, before));
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
    EXPECT_EQ(SameBits(SingularityList[k], before[k]), k >= stopped) << k;
    if (k < stopped) {
      EXPECT_EQ(SingularityList[k].Kind, 4);
    }
  }
  EXPECT_EQ(w->CurveNumberText->text().toStdString(), at);
  EXPECT_TRUE(!w->GetBusy() && WaitCursor::Depth() == 0);
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 4);  // the queued Delete Curve was dropped
}

// ---- The fit's limits: the target's shapes and files, the preamp, and on the seeded ----
// corpus the fit with a boost limit, a filter budget and a target against the
// optimum under the same bounds.

TEST(FitTargetFile, SkipsCommentsInterpolatesInLogFrequencyAndRefusesMalformedLines) {
  std::vector<double> hz, db;
  ASSERT_EQ(ParseTargetText("* by hand\r\n\n# house curve\n; x\n\"Freq\" \"dB\"\n20 6\n  200\t0\r\n+2000, -3\n", hz, db),
            "");
  EXPECT_EQ(hz, (std::vector<double>{20, 200, 2000}));
  EXPECT_EQ(db, (std::vector<double>{6, 0, -3}));
  FitTarget t;
  t.Kind = FitTarget::Shape::File;
  t.Hz = hz;
  t.Db = db;
  EXPECT_DOUBLE_EQ(t.ShapeDb(5), 6);
  EXPECT_DOUBLE_EQ(t.ShapeDb(20000), -3);
  EXPECT_NEAR(t.ShapeDb(std::sqrt(20.0 * 200.0)), 3, 1e-12);  // halfway in log frequency
  EXPECT_NEAR(t.ShapeDb(200 * std::pow(10.0, 0.25)), -0.75, 1e-12);

  // Each malformed file names its line and leaves the target as it was.
  const struct {
    const char* text;
    const char* said;
  } rows[] = {
      {"20 6\nabc 3\n", "Line 2 of the target file is not a frequency and a level in dB."},
      {"# only a frequency\n20\n", "Line 2 of the target file is not a frequency and a level in dB."},
      {"20 6 7\n", "Line 1 of the target file holds more than a frequency and a level."},
      {"20 6\n\n0 3\n", "Line 3 of the target file has a frequency that is not above 0 Hz."},
      {"-20 3\n", "Line 1 of the target file has a frequency that is not above 0 Hz."},
      {"20 6\n10 3\n", "Line 2 of the target file has a frequency that is not above the line before."},
      {"20 6\n20 3\n", "Line 2 of the target file has a frequency that is not above the line before."},
      {"20 1e999\n", "Line 1 of the target file is not a frequency and a level in dB."},
      {"20 6\n200 150\n", "Line 2 of the target file has a level beyond 100 dB either way."},
      {"20 6\n100,5 2\n", "Line 2 of the target file holds more than a frequency and a level."},
      {"# nothing\n\n", "Error 5858: The target file holds no frequency and level."},
      {"\xEF\xBB\xBF" "20 6\n1e-320 3\n", "Line 2 of the target file has a frequency outside 0.1 Hz to 1 MHz."},
      {"20 6\n2e6 3\n", "Line 2 of the target file has a frequency outside 0.1 Hz to 1 MHz."},
  };
  for (const auto& row : rows) {
    std::vector<double> hz{50}, db{1};
    const std::string said = ParseTargetText(row.text, hz, db);
    EXPECT_TRUE(said.ends_with(row.said)) << row.text << " -> " << said;
    EXPECT_EQ(hz, std::vector<double>{50});
    EXPECT_EQ(db, std::vector<double>{1});
  }
  // A byte-order mark is no part of the first line.
  ASSERT_EQ(ParseTargetText("\xEF\xBB\xBF" "20 6\n200 0\n", hz, db), "");
  EXPECT_EQ(hz, (std::vector<double>{20, 200}));

  // What cannot be read whole is refused before it is read, the file named.
  QTemporaryDir dir;
  const std::string fifo = dir.filePath("pipe").toStdString(), huge = dir.filePath("huge").toStdString();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::ofstream(huge) << "20 1\n";
  ASSERT_EQ(truncate(huge.c_str(), 17 << 20), 0);
  for (const auto& [path, why] : {std::pair{fifo, "not a regular file"}, std::pair{std::string("/dev/zero"), "not a regular file"},
                                  std::pair{huge, "larger than 16 MiB, more than any such file"},
                                  std::pair{dir.filePath("none").toStdString(), "not found"}}) {
    FitTarget t;
    EXPECT_EQ(LoadTargetFile(path, t), "Error 5859: The target file " + path + " could not be read: " + why + ".");
    EXPECT_TRUE(t.Hz.empty());
  }
}

TEST(FitTargetShape, BassLiftIsASecondOrderShelfTheLevelIsTheCurvesMedianAndThePreampItsLargestBoost) {
  for (const double lift : {3.0, 6.0, 12.0}) {
    for (const double corner : {40.0, 100.0, 300.0}) {
      FitTarget t;
      t.Kind = FitTarget::Shape::BassLift;
      t.LiftDb = lift;
      t.CornerHz = corner;
      EXPECT_NEAR(t.ShapeDb(corner / 1000), lift, 1e-4);
      EXPECT_NEAR(t.ShapeDb(corner), lift / 2, 1e-9);  // a shelf's corner is its midpoint in dB
      EXPECT_LT(t.ShapeDb(corner * 10), 0.02 * lift);  // second order: gone a decade out
    }
  }
  FitLimits l;
  l.Target.Kind = FitTarget::Shape::BassLift;
  l.Target.LiftDb = 6;
  const std::vector<float> f = LogGrid(201, 20, 2000);
  std::vector<float> dB(f.size());
  for (size_t i = 0; i < f.size(); ++i) dB[i] = static_cast<float>(70 + l.Target.ShapeDb(f[i]) + (i % 7 == 0 ? 9 : 0));
  EXPECT_NEAR(TargetLevelDb(l, f, dB, 20, 2000), 70, 1e-4) << "the median, not the mean, and less the shape";
  l.LevelMode = TargetLevelMode::Level;
  l.LevelDb = 63;
  EXPECT_EQ(AnchoredTargetDb(l, f, dB, 20, 2000)[200], static_cast<float>(63 + l.Target.ShapeDb(f[200])));

  // The preamp is minus the set's largest positive response.
  const struct {
    std::vector<FilterRecord> set;
    double preamp;
  } rows[] = {
      {{MakeFilter(2, 100, 6, 4)}, -6},
      {{MakeFilter(2, 100, -9, 4), MakeFilter(2, 300, -3, 2)}, 0},
      {{MakeFilter(2, 100, 3, 4), MakeFilter(2, 100, 3, 4)}, -6},
      {{MakeFilter(2, 1000, 4, 20), MakeFilter(2, 20, -10, 1)}, -4},
  };
  // Rounded to the tenth that keeps the set at or below full scale, as every export states it.
  for (const auto& row : rows) {
    const double p = PreampDb(row.set, static_cast<int32_t>(row.set.size()));
    EXPECT_LE(p, row.preamp + 1e-9);
    EXPECT_GE(p, row.preamp - 0.1 - 1e-9);
  }
}

// ---- The fit with limits, on the seeded corpus ----------------------------------------

TEST(FitLimitsCorpus, BoostLimitHoldsAfterSnappingAndComesNearTheBoundedOptimum) {
  const std::vector<float> f = BodeLikeGrid(1000);
  const std::vector<CorpusCurve> corpus = MakeFitCorpus(f, 123, 4, 0);
  FitLimits limits;
  limits.MaxBoostDb = 6;
  const int32_t codes[] = {1, 5};
  std::vector<std::vector<SingularityListRecord>> sets;
  for (const int32_t code : codes) sets.push_back(FitOnPool(f, corpus, code, limits));
  std::vector<double> ratio;
  for (size_t c = 0; c < corpus.size(); ++c) {
    // The optimiser is local, and from one start its end moves with the last
    // bits of the maths library: the floor is the best it reaches from the
    // truth and from every fit of the curve.
    std::vector<KnownSingularity> start = corpus[c].Truth;
    for (KnownSingularity& s : start) s.LevelDb = std::max(s.LevelDb, -6.0);
    double optimum = OptimumRms(f, corpus[c].dB, start, 6);
    for (const auto& byCode : sets) optimum = std::min(optimum, OptimumRms(f, corpus[c].dB, SingularitiesOf(byCode[c]), 6));
    for (size_t k = 0; k < std::size(codes); ++k) {
      const int32_t code = codes[k];
      const SingularityListRecord& set = sets[k][c];
      SCOPED_TRACE(testing::Message() << "code " << code << ", curve " << c);
      const SingularityListRecord applied = SnapSetToEqualiser(set, code, 6);
      EXPECT_LE(MaxNetBoost(SnapEachToEqualiser(set, code, 6), code).Db, 6.001) << "the set in all";
      for (int32_t e = 0; e < applied.Count; ++e) {
        // A dip (Q1 < 0) is corrected by a boost.
        EXPECT_LE(FilterBoostDb(set.Q1[e], set.Q2[e]), 6.001) << "as fitted";
        EXPECT_LE(FilterBoostDb(applied.Q1[e], applied.Q2[e]), 6.0001) << "as applied";
      }
      const double after = CorrectedRms(f, corpus[c].dB, applied);
      EXPECT_LE(after, CorrectedRms(f, corpus[c].dB, {}) * 0.8);
      ratio.push_back(after / optimum);
    }
  }
  std::printf("boost limit 6 dB: median RMS / bounded optimum %.3f over %zu fits\n", Median(ratio), ratio.size());
  // The optimum bounds each filter alone: on a cluster of dips its filters
  // boost far past what the set may in all, so it is a floor, not a goal.
  // Against the best of its starts the median sits near 3.9.
  EXPECT_LE(Median(ratio), 4.2);
}

TEST(FitLimitsCorpus, LoudspeakerSetsKeepTheLimitAsTheyRunAtEachRate) {
  // Peaks and dips of 3 to 10 dB, Q 1.5 to 8, between 4 and 16 kHz, fitted
  // over 2 to 20 kHz: near half the rate the bilinear sections boost more than
  // their analogue models.
  const std::vector<float> f = LogGrid(700, 1000, 21000);
  std::mt19937 random(73);
  std::vector<std::vector<KnownSingularity>> speakers(8);
  for (auto& s : speakers)
    for (int i = 0; i < 7; ++i) {
      const double level = std::uniform_real_distribution<double>(3, 10)(random) * (random() % 2 ? 1 : -1);
      s.push_back({4000 * std::pow(4.0, std::uniform_real_distribution<double>(0, 1)(random)), level,
                   std::uniform_real_distribution<double>(1.5, 8)(random)});
    }
  double worst = -1e9;
  for (const int32_t code : {1, 2})
    for (const int32_t rate : {44100, 48000, 96000})
      for (const double limit : {3.0, 6.0}) {
        std::vector<CurveRecord> C(speakers.size());
        std::vector<SingularityListRecord> R(speakers.size(), FitSetHeader(6, 2000, 20000, 1.0f / 6));
        std::vector<FitBatchItem> items(speakers.size());
        for (size_t i = 0; i < speakers.size(); ++i) {
          C[i] = KnownCurveRecord(f, speakers[i]);
          R[i].SampleRate = rate;
          items[i].Set = &R[i];
          items[i].Curve = &C[i];
        }
        FitDriverConstants constants;
        constants.MinFreq = 2000, constants.MaxFreq = 20000;
        constants.Limits.MaxBoostDb = limit;
        constants.OnSteps = true;
        FitPool pool(4);
        FitEngine engine;
        engine.Pool = &pool;
        engine.Settings.MaxFreq = 20000;
        engine.Settings.EmulationCode = code;
        FitCurveFilterSets(items, constants, engine);
        for (size_t i = 0; i < speakers.size(); ++i) {
          SCOPED_TRACE(testing::Message() << "code " << code << ", " << rate << " Hz, limit " << limit << ", seed " << i);
          // The list as Apply All takes it.
          std::vector<FilterRecord> applied;
          for (int32_t e = 0; e < R[i].Count; ++e) {
            FilterRecord mode;
            mode.Kind = 2;
            mode.Freq1 = R[i].Freq[static_cast<size_t>(e)];
            mode.Q1 = R[i].Q1[static_cast<size_t>(e)];
            mode.Q2 = R[i].Q2[static_cast<size_t>(e)];
            applied.push_back(FilterFromMode(mode, code, limit));
          }
          if (applied.empty()) continue;
          applied[0].Count = static_cast<int32_t>(applied.size());
          const double peak = BilinearSetPeak(applied, rate, 1000, 60000).db;
          worst = std::max(worst, peak - limit);
          EXPECT_LE(peak, limit + 0.05) << "as it runs";
          // Apply All refuses nothing the judge passes.
          EXPECT_LE(AppliedSetPeak(applied, rate).db, limit + kNetBoostSlackDb);
          const std::span<const float> dB = std::span(C[i].YValues).first(f.size());
          // Held, the set is still never worse than none.
          EXPECT_LE(LogWeightedLineRmsDb(f, CorrectedResponseDb(f, dB, R[i]), 2000, 20000),
                    LogWeightedLineRmsDb(f, dB, 2000, 20000) + 1e-3);
        }
      }
  std::printf("loudspeaker sets: largest peak above the limit as run %.4f dB\n", worst);
}

// The fit on equaliser 1's steps over low..high Hz within `limit` dB of net boost (negative: none).
SingularityListRecord FitOnSteps(const CurveRecord& C, float low, float high, double limit) {
  SingularityListRecord R = BodeHeader();
  FitEngine engine;
  engine.Settings.EmulationCode = 1;
  FitDriverConstants constants;
  constants.MinFreq = low, constants.MaxFreq = high;
  constants.Limits.MaxBoostDb = limit;
  constants.OnSteps = true;
  FitCurveFilterSet(R, C, 0, 0, 0, constants, engine);
  return R;
}

TEST(FitLimits, TheWholeSetsBoostIsHeldAndADeepNullIsFilledOnlyToTheLimit) {
  // Two 4 dB boosts at one centre make 8 dB there: held to 6 dB in all, not
  // each to 6, on a unit without steps and on one with them; cuts stay.
  const KnownSingularity twice[] = {{63, -4, 4}, {63, -4, 4}, {120, 5, 3}};
  for (const int32_t code : {2, 1}) {
    SingularityListRecord set = SetOf(twice);
    const NetBoost before = MaxNetBoost(set, code);
    const std::vector<float> at{63}, flat{0};
    EXPECT_NEAR(before.Db, CorrectedResponseDb(at, flat, set)[0], 0.01);
    EXPECT_GT(before.Db, 7.5);
    EXPECT_NEAR(before.Hz, 63, 1);
    EXPECT_GT(HoldNetBoost(set, code, 6), 0);
    const NetBoost after = MaxNetBoost(SnapEachToEqualiser(set, code, 6), code);
    EXPECT_LE(after.Db, 6.001) << "code " << code;
    EXPECT_GE(after.Db, 5.4) << "held, not emptied";
    EXPECT_EQ(set.Q1[2], SetOf(twice).Q1[2]) << "the cut is no boost";
    SingularityListRecord cutsOnly = SetOf(twice);
    HoldNetBoost(cutsOnly, code, 0);
    EXPECT_EQ(MaxNetBoost(SnapEachToEqualiser(cutsOnly, code, 0), code).Hz, 0) << "nothing rises above 0 dB";
  }

  // A 16 dB dip beside a peak: without a limit the dip is filled; with 6 dB
  // the set boosts no more in all, and the modes list hears of the null.
  const std::vector<float> f = BodeLikeGrid(800);
  const KnownSingularity null[] = {{55, -16, 6}, {90, 7, 5}};
  const CurveRecord C = KnownCurveRecord(f, null);
  for (const double limit : {-1.0, 6.0, 0.0}) {
    SCOPED_TRACE(limit);
    const SingularityListRecord R = FitOnSteps(C, 25, 200, limit);
    const NetBoost net = MaxNetBoost(SnapEachToEqualiser(R, 1, limit), 1);
    int32_t onNull = 0;
    for (int32_t i = 0; i < R.Count; ++i) onNull += BoostOnNull(R, i);
    if (limit < 0) {
      EXPECT_GT(net.Db, 12) << "no limit: the dip is filled";
      EXPECT_EQ(R.NullCount, 0);
    } else {
      EXPECT_LE(net.Db, limit + 0.001);
      EXPECT_EQ(R.NullCount, 1);
      EXPECT_EQ(onNull, limit > 0 ? 1 : 0);
    }
    // Cuts alone cannot touch the null: the set only makes nothing worse over
    // the range it was fitted on.
    const std::span<const float> dB = std::span(C.YValues).first(f.size());
    const auto fitted = [&](const SingularityListRecord& s) {
      return LogWeightedLineRmsDb(f, CorrectedResponseDb(f, dB, s), 25, 200);
    };
    EXPECT_LT(fitted(R), fitted({}) * (limit == 0 ? 1.0 : 0.8));
  }
}

TEST(FitLimits, ANullCountsOnlyAsFarAsTheLimitMayFillIt) {
  // On the linear grid: 0 dB from 20 to 80 Hz and -2 dB above, so the median
  // weighted by ln f is 0 dB (by points it would be -2); a 20 dB null at 40 Hz
  // inside the range and one at 190 Hz beyond it; a 9 dB peak at 120 Hz.
  const std::vector<float> f = BodeLikeGrid(600);
  std::vector<float> dB(f.size());
  for (size_t i = 0; i < f.size(); ++i) {
    dB[i] = f[i] < 80 ? 0.0f : -2.0f;
    if (std::fabs(f[i] - 40) < 1 || std::fabs(f[i] - 190) < 1) dB[i] -= 20;
    if (std::fabs(f[i] - 120) < 2) dB[i] += 9;
  }
  const auto filled = [&](double limit, bool anchored, float offset) {
    std::vector<float> out = dB;
    for (float& v : out) v += offset;
    FillNullsToLimit(f, out, limit, 25, 180, anchored);
    for (float& v : out) v -= offset;
    return out;
  };
  // About the curve's own level, and about 0 dB for a curve relative to an anchored target.
  for (const auto& [anchored, offset, floor] : {std::tuple{false, 10.0f, -6.0f}, std::tuple{true, 10.0f, -16.0f}}) {
    const std::vector<float> out = filled(6, anchored, offset);
    for (size_t i = 0; i < f.size(); ++i) {
      const bool raised = f[i] >= 25 && f[i] <= 180 && dB[i] < floor;
      EXPECT_NEAR(out[i], raised ? floor : dB[i], 1e-4) << f[i] << " Hz, anchored " << anchored;
    }
  }
  // No limit, and cuts only, leave the curve as it is.
  for (const double limit : {-1.0, 0.0}) EXPECT_EQ(filled(limit, false, 0), dB);
}

// The largest change (dB, either sign) of the set's analogue correction below
// low/2 and above 2·high, up to 24 kHz, from the singularities' own response.
double LargestChangeBeyond(const SingularityListRecord& R, double low, double high) {
  double worst = 0;
  for (double f = 1; f <= 24000; f *= std::pow(2.0, 1.0 / 48)) {
    if (f > low / 2 && f < 2 * high) continue;
    double db = 0;
    for (const KnownSingularity& e : SingularitiesOf(R)) db -= KnownSingularityDb(e, f);
    worst = std::max(worst, std::fabs(db));
  }
  return worst;
}

TEST(FitLimits, EveryCentreLiesInTheRangeAndTheLevelOutsideItHardlyChanges) {
  // A wide cut at the range's top edge reaches far beyond it; a narrow one in
  // the middle does not. Held on a unit without steps and on one with them.
  const KnownSingularity edge[] = {{190, 12, 0.5}, {100, 6, 8}};
  for (const int32_t code : {2, 1}) {
    SingularityListRecord set = SetOf(edge);
    set.RangeLow = 20, set.RangeHigh = 200;
    EXPECT_GT(LargestChangeBeyond(set, 20, 200), 3);
    EXPECT_GT(HoldOutsideRange(set, code, 6), 0);
    const SingularityListRecord applied = SnapEachToEqualiser(set, code, 6);
    EXPECT_LE(LargestChangeBeyond(applied, 20, 200), 1.02) << "code " << code;
    ASSERT_EQ(applied.Count, 2);
    EXPECT_NEAR(FilterBoostDb(applied.Q1[1], applied.Q2[1]), -6, 0.5) << "the narrow cut keeps its level";
    for (int32_t i = 0; i < applied.Count; ++i) EXPECT_LE(applied.Freq[static_cast<size_t>(i)] / kTwoPi, 200.0);
  }

  // A response with a broad peak and a dip by the range's ends and a broad
  // rise beyond its top: fitted over 25 to 180 Hz the set stays inside, with
  // no limit too, and with one it hardly changes the level outside.
  const std::vector<float> f = BodeLikeGrid(1200);
  const KnownSingularity near[] = {{27, 8, 1.2}, {60, -7, 4}, {95, 6, 6}, {175, 9, 1.5}, {320, 10, 0.8}};
  const CurveRecord C = KnownCurveRecord(f, near);
  for (const double limit : {-1.0, 6.0, 20.0}) {
    SCOPED_TRACE(limit);
    const SingularityListRecord R = FitOnSteps(C, 25, 180, limit);
    ASSERT_GT(R.Count, 0);
    for (const KnownSingularity& e : SingularitiesOf(R)) {
      EXPECT_GE(e.FreqHz, 25 * (1 - 1e-4));
      EXPECT_LE(e.FreqHz, 180 * (1 + 1e-4));
    }
    if (limit >= 0) {
      EXPECT_LE(LargestChangeBeyond(R, 25, 180), 1.02);
    }
    // The peaks are still cut.
    EXPECT_LT(CorrectedRms(f, std::span(C.YValues).first(f.size()), R),
              0.6 * CorrectedRms(f, std::span(C.YValues).first(f.size()), {}));
  }
}

TEST(FitLimitsCorpus, FilterBudgetKeepsTheMostUsefulEntries) {
  const std::vector<float> f = BodeLikeGrid(1000);
  std::vector<CorpusCurve> corpus = MakeFitCorpus(f, 321, 7, 0);
  std::erase_if(corpus, [](const CorpusCurve& k) { return k.Truth.size() < 4; });
  ASSERT_GE(corpus.size(), 3u);
  std::vector<double> ratio;
  const int32_t budget = 3;
  FitLimits limits;
  limits.MaxFilters = budget;
  const std::vector<SingularityListRecord> sets = FitOnPool(f, corpus, 1, limits);
  for (size_t c = 0; c < corpus.size(); ++c) {
    EXPECT_LE(sets[c].Count, budget);
    std::vector<KnownSingularity> largest = corpus[c].Truth;
    std::sort(largest.begin(), largest.end(),
              [](const auto& a, const auto& b) { return std::fabs(a.LevelDb) > std::fabs(b.LevelDb); });
    largest.resize(static_cast<size_t>(budget));
    const double optimum =
        std::min(OptimumRms(f, corpus[c].dB, largest), OptimumRms(f, corpus[c].dB, SingularitiesOf(sets[c])));
    ratio.push_back(CorrectedRms(f, corpus[c].dB, sets[c]) / optimum);
  }
  std::printf("filter budget: median RMS / optimum of as many %.3f over %zu fits\n", Median(ratio), ratio.size());
  EXPECT_LE(Median(ratio), 1.3);
}

TEST(FitLimitsCorpus, ABassLiftTargetIsFittedAsWellAsFlatAndTheLevelHolds) {
  const std::vector<float> f = BodeLikeGrid(1000);
  std::vector<CorpusCurve> flat = MakeFitCorpus(f, 55, 3, 0), lifted = flat;
  FitLimits flatTarget, liftTarget;
  flatTarget.Target.Kind = FitTarget::Shape::Flat;
  liftTarget.Target.Kind = FitTarget::Shape::BassLift;
  liftTarget.Target.LiftDb = 8;
  liftTarget.Target.CornerHz = 90;
  for (CorpusCurve& k : flat) k.dB = KnownResponseDb(f, k.Truth, 0, k.Noise, 9);
  for (size_t c = 0; c < flat.size(); ++c)
    for (size_t i = 0; i < f.size(); ++i)
      lifted[c].dB[i] = flat[c].dB[i] + static_cast<float>(liftTarget.Target.ShapeDb(f[i]));
  const std::vector<SingularityListRecord> a = FitOnPool(f, flat, 1, flatTarget),
                                           b = FitOnPool(f, lifted, 1, liftTarget);
  std::vector<double> ratio;
  for (size_t c = 0; c < flat.size(); ++c) {
    // Deviations from each curve's own target at its level.
    const auto deviation = [&](const CorpusCurve& k, const SingularityListRecord& R, const FitLimits& l) {
      const std::vector<float> target = AnchoredTargetDb(l, f, k.dB, kCorpusLow, kCorpusHigh);
      std::vector<float> left = CorrectedResponseDb(f, k.dB, R);
      double mean = 0, weight = 0;
      for (size_t i = 0; i < f.size(); ++i) {
        left[i] -= target[i];
        if (f[i] >= kCorpusLow && f[i] <= kCorpusHigh) mean += left[i], weight += 1;
      }
      EXPECT_LT(std::fabs(mean / weight), 1.0) << "the corrected mean stays at the target's level";
      return LogWeightedZeroRmsDb(f, left, kCorpusLow, kCorpusHigh);
    };
    ratio.push_back(deviation(lifted[c], b[c], liftTarget) / deviation(flat[c], a[c], flatTarget));
  }
  std::printf("bass-lift target: median deviation / flat %.3f over %zu curves\n", Median(ratio), ratio.size());
  EXPECT_LE(Median(ratio), 1.05);
}

}  // namespace
}  // namespace zentor::test
