// The singularity search, near-duplicate removal and the polish pass.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <numbers>
#include <vector>

#include "eqdesign/filter_sets.h"
#include "eqdesign/fit_curves.h"
#include "eqdesign/message_log.h"
#include "eqdesign/fit/near_duplicates.h"
#include "eqdesign/fit/polish.h"
#include "eqdesign/fit/singularity_search.h"

namespace zentor {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
using Texts = std::vector<std::string>;

bool SameBits(const SingularityListRecord& a, const SingularityListRecord& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}
bool SameBits(const FitCurveRecord& a, const FitCurveRecord& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

SingularityListRecord Entries(std::initializer_list<std::array<float, 3>> e) {
  SingularityListRecord s;
  for (const auto& v : e) {
    const auto i = static_cast<size_t>(s.Count++);
    s.Freq[i] = v[0];
    s.Q1[i] = v[1];
    s.Q2[i] = v[2];
    s.FitError[i] = 1 + static_cast<float>(i);
  }
  return s;
}

// ---- Small operations ---------------------------------------------------------------

TEST(SingularitySearch, QLimitsByView) {
  EXPECT_NEAR(FitQLimit(100, 150, 1.5f, 3, 0), 68.3, 0.05);
  EXPECT_EQ(FitQLimit(200, 150, 1.5f, 3, 0), 100);
  EXPECT_NEAR(FitQLimit(150, 150, 1.5f, 7, 0.1f), 3.85, 0.01);  // a third octave at the Schroeder frequency
  EXPECT_NEAR(FitQLimit(100, 150, 1.5f, 7, 0.1f), 1 / (std::pow(2, 0.1) - 1), 1e-4);
  EXPECT_NEAR(FitQLimit(100, 150, 1.5f, 6, 1.0f / 3), 4.32, 0.01);
  EXPECT_EQ(FitQLimit(100, 150, 1.5f, 2, 0.1f), 0);
}

TEST(SingularitySearch, NearestPointAndSpacing) {
  const std::vector<float> x{10, 20, 30, 50};
  test::MessageLog log;
  EXPECT_EQ(NearestPointIndex(x, 14, 4, log.sink()), 0);
  EXPECT_EQ(NearestPointIndex(x, 15, 4, log.sink()), 1);  // a tie takes the higher
  EXPECT_EQ(NearestPointIndex(x, 5, 4, log.sink()), 0);
  EXPECT_EQ(NearestPointIndex(x, 99, 4, log.sink()), 3);
  EXPECT_EQ(NearestPointIndex(x, 99, 3, log.sink()), 2);
  EXPECT_TRUE(log.texts.empty());
  EXPECT_EQ(NearestPointIndex(x, 0, 4, log.sink()), 0);
  EXPECT_EQ(log.texts, Texts{"Error 5330"});
  EXPECT_EQ(LocalPointSpacing(x, 11, 4, log.sink()), 10);
  EXPECT_EQ(LocalPointSpacing(x, 48, 4, log.sink()), 20);
  EXPECT_EQ(LocalPointSpacing(x, 48, 1, log.sink()), 0);
}

TEST(NearDuplicates, ToleranceAndRemoval) {
  EXPECT_TRUE(NearlyEqual(100.0, 100.05));
  EXPECT_FALSE(NearlyEqual(100.0, 100.2));
  EXPECT_TRUE(NearlyEqual(0, 0));
  EXPECT_FALSE(NearlyEqual(0, 1e-9));
  test::MessageLog log;

  SingularityListRecord s = Entries({{300, 4, 2}, {100, 5, 2}, {100.05f, 5, 3}});
  EXPECT_EQ(RemoveNearDuplicateFilters(s, log.sink()), 1);
  ASSERT_EQ(s.Count, 2);
  // The first match in the set's own order leaves; the others move down whole.
  EXPECT_EQ(s.Freq[0], 300);
  EXPECT_EQ(s.Freq[1], 100.05f);
  EXPECT_EQ(s.Q2[1], 3);
  EXPECT_EQ(s.FitError[1], 3);
  EXPECT_EQ(s.Freq[2], 0);

  s = Entries({{100, 5, 2}, {100, -5, 2}});  // a boost and a cut
  EXPECT_EQ(RemoveNearDuplicateFilters(s, log.sink()), 0);
  EXPECT_EQ(s.Count, 2);
  s = Entries({{100, 5, 2}, {100.02f, 5, 2}, {100.04f, 5, 2}});
  EXPECT_EQ(RemoveNearDuplicateFilters(s, log.sink()), 2);
  EXPECT_EQ(s.Count, 1);
  s = Entries({{100, 5, 2}, {200, 5, 2}});
  const SingularityListRecord before = s;
  EXPECT_EQ(RemoveNearDuplicateFilters(s, log.sink()), 0);
  EXPECT_TRUE(SameBits(s, before));
  EXPECT_TRUE(log.texts.empty());

  RemoveFilterSetEntry(s, 300, 5, 2, log.sink());
  s.Count = 1;
  RemoveFilterSetEntry(s, 100, 5, 2, log.sink());
  EXPECT_EQ(log.texts, (Texts{"Error 6286", "Error 6287"}));
}

// ---- The search ---------------------------------------------------------------------

struct Search {
  SingularityListRecord R;
  test::KnownCurve k;
  FitEngine engine;
  test::MessageLog log;
  bool found = false;

  Search(std::vector<float> grid, std::vector<KnownSingularity> s, float low, float high, int32_t view = 3) {
    R = FitSetHeader(view, low, high, 1.0f / 48);
    k = test::MakeKnownCurve(std::move(grid), s, low, high);
    engine.Settings.MaxFreq = high;
    engine.Callbacks.Say = log.sink();
  }
  bool Run() { return found = SearchSingularities(R, *k.curve, engine); }
};

TEST(SingularitySearch, FindsSeparatePeaksAndDropsNearCandidates) {
  Search s(BodeLikeGrid(2000), {{40, 10, 5}, {60, -9, 5}}, 25, 80);
  ASSERT_TRUE(s.Run());
  // Stage-one candidates one point apart never both survive the filing.
  for (int32_t i = 0; i < s.R.Count; ++i)
    for (int32_t j = i + 1; j < s.R.Count; ++j)
      EXPECT_GT(std::fabs(s.R.Freq[static_cast<size_t>(i)] - s.R.Freq[static_cast<size_t>(j)]), kTwoPi * 0.37 * 0.99);
  bool peak = false;
  for (int32_t i = 0; i < s.R.Count; ++i) {
    const double f = s.R.Freq[static_cast<size_t>(i)] / kTwoPi;
    peak = peak || (std::fabs(f - 40) < 0.8 && s.R.Q1[static_cast<size_t>(i)] > 0);
  }
  EXPECT_TRUE(peak);
  EXPECT_GT(s.engine.Counters.Calls, 0);
  EXPECT_TRUE(s.log.texts.empty()) << s.log.texts.front();
}

TEST(SingularitySearch, CandidatesWithinTheDisplayResolutionMerge) {
  // A peak between two points: the points about it each fit it on their own.
  Search s(BodeLikeGrid(400), {{50.1, 10, 5}}, 25, 80);
  int32_t accepted = 0;
  SingularityFitWorkspace work;
  for (int32_t n = 100; n < 175; ++n) {
    SingularityFitContext c;
    double F = 0, Q1 = 0, Q2 = 0, E = 0;
    accepted += FitOneSingularity(n, *s.k.curve, work, F, Q1, Q2, E, 68, 0.05, 0.5f, 4, 5, c);
  }
  EXPECT_GE(accepted, 2);
  ASSERT_TRUE(s.Run());
  EXPECT_EQ(s.R.Count, 1);
}

TEST(SingularitySearch, NothingAcceptedLeavesAnEmptySet) {
  Search s(BodeLikeGrid(400), {{50, 10, 5}}, 25, 80);
  s.R.SelectCode = 3;  // dips only, and there are none
  for (int32_t i = 0; i < 400; ++i) s.k.curve->Level[static_cast<size_t>(i)] = 1 + 1e-3 * i;
  EXPECT_FALSE(s.Run());
  EXPECT_EQ(s.R.Count, 0);
}

TEST(SingularitySearch, ARangeBeyondTheCurveSearchesToItsLastPoint) {
  Search s(BodeLikeGrid(200), {{66, 10, 5}}, 25, 500);
  ASSERT_TRUE(s.Run());
  // Points up to count - 5 are fitted: the range ran to the last point.
  EXPECT_EQ(s.engine.Counters.Calls - 9 * s.R.Count, 200 - 67);
  ASSERT_GE(s.R.Count, 1);
}

TEST(SingularitySearch, MoreThan75FiltersKeepTheFirst75) {
  std::vector<KnownSingularity> peaks;
  for (int32_t i = 0; i < 80; ++i) peaks.push_back({30.0 * std::pow(1.085, i), 10, 30});
  Search s(LogGrid(2000, 20, 20000), peaks, 25, 19000, 6);
  s.R.SelectCode = 2;
  EXPECT_TRUE(s.Run());
  EXPECT_EQ(s.R.Count, 75);
  EXPECT_EQ(std::count(s.log.texts.begin(), s.log.texts.end(),
                       "Error 5851: More than 75 filters were found in the fit range; the first 75 are kept. "
                       "Narrow the frequency range of the fit."),
            1);
}

TEST(SingularitySearch, AStopLeavesCurveAndSetAsTheyWere) {
  const auto make = [] {
    return std::make_unique<Search>(BodeLikeGrid(2000), std::vector<KnownSingularity>{{40, 10, 5}, {60, -9, 5}}, 25,
                                    80);
  };
  int32_t total = 0;
  {
    auto s = make();
    s->engine.Callbacks.Poll = [&] { ++total; };
    s->engine.Settings.PollEvery = std::chrono::microseconds(0);
    ASSERT_TRUE(s->Run());
  }
  ASSERT_GT(total, 4);
  for (int32_t polls : {1, total / 2, total - 1}) {
    auto owner = make();
    Search& s = *owner;
    const auto before = std::make_unique<FitCurveRecord>(*s.k.curve);
    const SingularityListRecord set = s.R;
    std::atomic<bool> stop{false};
    int32_t seen = 0;
    s.engine.Callbacks.Stop = &stop;
    s.engine.Callbacks.Poll = [&] {
      if (++seen == polls) stop = true;
    };
    s.engine.Settings.PollEvery = std::chrono::microseconds(0);
    EXPECT_FALSE(s.Run());
    EXPECT_TRUE(SameBits(*s.k.curve, *before)) << polls;
    EXPECT_TRUE(SameBits(s.R, set)) << polls;
  }
}

TEST(SingularitySearch, SetsDoNotDependOnThreadsOrRepetition) {
  const std::vector<KnownSingularity> known{{31.5, 9, 6}, {45, -8, 5}, {63, 6, 8}};
  std::vector<SingularityListRecord> sets;
  std::vector<std::unique_ptr<FitCurveRecord>> curves;
  for (int32_t threads : {1, 8, 1, 3}) {
    Search s(BodeLikeGrid(2000), known, 25, 80);
    FitPool pool(threads);
    s.engine.Pool = &pool;
    s.Run();
    PolishCriticalPeakValues(s.R, *s.k.curve, s.engine);
    sets.push_back(s.R);
    curves.push_back(std::make_unique<FitCurveRecord>(*s.k.curve));
  }
  for (size_t i = 1; i < sets.size(); ++i) {
    EXPECT_TRUE(SameBits(sets[i], sets[0])) << i;
    EXPECT_TRUE(SameBits(*curves[i], *curves[0])) << i;
  }
}

// A clock that reads what the test says: `since` after boot.
struct FakeClock {
  std::chrono::steady_clock::duration since;
  std::function<std::chrono::steady_clock::time_point()> Reader() {
    return [this] { return std::chrono::steady_clock::time_point{} + since; };
  }
};

// Many short batches share one poll clock: the first batch polls (nothing has
// polled yet), later ones when the interval has passed since the last poll,
// whichever batch is running.
TEST(FitPoolPolling, BatchesShareOnePollClock) {
  for (int32_t threads : {1, 3}) {
    FitPool pool(threads);
    int32_t polls = 0, items = 0;
    std::atomic<int32_t> done{0};
    const std::function<void(int32_t, int32_t)> job = [&](int32_t, int32_t) { ++done; };
    const std::function<void()> poll = [&] { ++polls; };
    FakeClock now{std::chrono::seconds(1)};  // a machine booted a second ago
    PollClock clock;
    clock.Now = now.Reader();
    for (int32_t batch = 0; batch < 5; ++batch) {
      pool.Run(9, job, poll, std::chrono::hours(1), clock);
      items += 9;
    }
    EXPECT_EQ(polls, 1) << threads;
    EXPECT_EQ(done.load(), items);
    now.since += std::chrono::minutes(59);
    pool.Run(9, job, poll, std::chrono::hours(1), clock);
    EXPECT_EQ(polls, 1) << threads;
    now.since += std::chrono::minutes(1);
    pool.Run(9, job, poll, std::chrono::hours(1), clock);
    EXPECT_EQ(polls, 2) << threads;
    clock.Last.reset();  // never polled again: the next batch polls at once
    pool.Run(9, job, poll, std::chrono::hours(1), clock);
    EXPECT_EQ(polls, 3) << threads;
  }
}

// The same on the real clock, whatever it reads: a fresh clock polls at its
// first batch even on a machine booted less than an interval ago.
TEST(FitPoolPolling, AFreshClockPollsAtOnceOnTheRealClock) {
  FitPool pool(2);
  int32_t polls = 0;
  const std::function<void(int32_t, int32_t)> job = [](int32_t, int32_t) {};
  PollClock clock;
  pool.Run(4, job, [&] { ++polls; }, std::chrono::hours(24 * 365 * 100), clock);
  EXPECT_EQ(polls, 1);
  ASSERT_TRUE(clock.Last.has_value());
}

// The engine polls at its first batch of fits, whatever the clock reads: here
// one that reads a second after boot, with an hour between polls.
TEST(FitPoolPolling, TheEnginePollsAtItsFirstBatchJustAfterBoot) {
  for (int32_t threads : {0, 1, 3}) {
    Search s(BodeLikeGrid(400), {{50, 6, 5}}, 25, 80);
    std::unique_ptr<FitPool> pool;
    if (threads > 0) {
      pool = std::make_unique<FitPool>(threads);
      s.engine.Pool = pool.get();
    }
    FakeClock now{std::chrono::seconds(1)};
    s.engine.Polling.Now = now.Reader();
    s.engine.Settings.PollEvery = std::chrono::hours(1);
    int32_t polls = 0;
    s.engine.Callbacks.Poll = [&] { ++polls; };
    std::vector<SingularityFitJob> jobs(3);
    for (size_t i = 0; i < jobs.size(); ++i) {
      jobs[i].Point = 150 + 10 * static_cast<int32_t>(i);
      jobs[i].QMax = 50;
      jobs[i].QMin = 0.5;
    }
    {
      SingularityFitRunner fits(s.engine);
      fits.Run(*s.k.curve, jobs, s.R.SelectCode, s.R.ModeCode);
      EXPECT_EQ(polls, 1) << threads;
      fits.Run(*s.k.curve, jobs, s.R.SelectCode, s.R.ModeCode);
      EXPECT_EQ(polls, 1) << threads;  // the same clock: not yet due again
      now.since += std::chrono::hours(1);
      fits.Run(*s.k.curve, jobs, s.R.SelectCode, s.R.ModeCode);
      EXPECT_EQ(polls, 2) << threads;
    }
    ASSERT_TRUE(s.engine.Polling.Last.has_value());
    EXPECT_EQ(*s.engine.Polling.Last, std::chrono::steady_clock::time_point{} + now.since);
  }
}

// ---- Polishing ----------------------------------------------------------------------

TEST(Polish, AnEmptySetOnlyResetsProgressAndNormalises) {
  Search s(BodeLikeGrid(400), {}, 25, 80);
  for (int32_t i = 0; i < 400; ++i) s.k.curve->Level[static_cast<size_t>(i)] = 3.0;
  std::vector<std::pair<int32_t, int32_t>> progress;
  s.engine.Callbacks.Progress = [&](int32_t done, int32_t total) { progress.emplace_back(done, total); };
  EXPECT_TRUE(PolishCriticalPeakValues(s.R, *s.k.curve, s.engine));
  EXPECT_EQ(s.R.Count, 0);
  EXPECT_EQ(progress, (std::vector<std::pair<int32_t, int32_t>>{{0, 1}, {0, 0}}));
  EXPECT_NEAR(s.k.curve->Level[100], 1.0, 1e-14);
}

TEST(Polish, EntriesAreRefittedOrDropped) {
  const KnownSingularity peak{50, 10, 5};
  Search s(BodeLikeGrid(2000), {peak}, 25, 80);
  double qp = 0, qz = 0;
  KnownSingularityQs(peak, qp, qz);
  // A true peak, a peak placed where the curve only has dips to offer, and the
  // same true peak sorted after a deep dip.
  s.R = FitSetHeader(3, 25, 80);
  s.R.Damping = 1;
  s.R.Count = 2;
  s.R.Freq[0] = static_cast<float>(kTwoPi * 50.2);
  s.R.Q1[0] = static_cast<float>(qp * 0.8);
  s.R.Q2[0] = static_cast<float>(qz);
  s.R.Freq[1] = static_cast<float>(kTwoPi * 70);
  s.R.Q1[1] = 8;
  s.R.Q2[1] = 4;
  // The residual: the curve with both entries divided out.
  ApplySingularityToLevels(s.k.curve->Level, s.k.curve->Freq, -s.R.Q1[0], s.R.Q2[0], s.R.Freq[0], 1, 0, 2000);
  ApplySingularityToLevels(s.k.curve->Level, s.k.curve->Freq, -s.R.Q1[1], s.R.Q2[1], s.R.Freq[1], 1, 0, 2000);
  std::vector<std::pair<int32_t, int32_t>> progress;
  s.engine.Callbacks.Progress = [&](int32_t done, int32_t total) { progress.emplace_back(done, total); };
  ASSERT_TRUE(PolishCriticalPeakValues(s.R, *s.k.curve, s.engine));
  ASSERT_EQ(s.R.Count, 1);
  EXPECT_NEAR(s.R.Freq[0] / kTwoPi, 50, 0.2);
  EXPECT_GT(s.R.Q1[0], s.R.Q2[0]);  // still a peak
  EXPECT_EQ(progress.front(), std::make_pair(0, 5));
  EXPECT_EQ(progress[4], std::make_pair(4, 5));
  EXPECT_EQ(progress.back(), std::make_pair(0, 0));
  EXPECT_TRUE(s.log.texts.empty());
}

TEST(Polish, OrderFollowsTheSelectCode) {
  // Entries far outside the range are tried nowhere and dropped, in the order
  // polished; the messages of damaged entries show that order.
  Search s(BodeLikeGrid(400), {}, 25, 80);
  const SingularityListRecord entries = Entries({{kTwoPi * 50, 2, 0}, {kTwoPi * 60, -9, 0}, {kTwoPi * 70, -3, 0}});
  for (int32_t code : {3, 4, 2}) {
    s.R = FitSetHeader(3, 25, 80);
    CopyFilterSetEntries(entries, s.R);
    s.R.SelectCode = code;
    std::vector<float> order;
    s.log.texts.clear();
    s.engine.Callbacks.Progress = [&](int32_t done, int32_t total) {
      if (done % 2 == 1 && total > 0) order.push_back(s.R.Q1[static_cast<size_t>(done / 2)]);
    };
    PolishCriticalPeakValues(s.R, *s.k.curve, s.engine);
    const std::vector<float> expected = code == 3 ? std::vector<float>{-9, -3, 2}
                                        : code == 4 ? std::vector<float>{-9, -3, 2}
                                                    : std::vector<float>{2, -3, -9};
    EXPECT_EQ(order, expected) << code;
  }
  s.engine.Callbacks.Progress = nullptr;
  s.R = FitSetHeader(3, 25, 80);
  s.R.SelectCode = 0;
  s.R.QMinimum = 0;
  CopyFilterSetEntries(Entries({{0, 0, 0}}), s.R);
  s.log.texts.clear();
  PolishCriticalPeakValues(s.R, *s.k.curve, s.engine);
  EXPECT_EQ(s.log.texts[0], "Error 4321");
  EXPECT_EQ(Texts(s.log.texts.begin() + 1, s.log.texts.begin() + 5),
            (Texts{"Error 9876", "Error 9877", "Error 9878", "Error 9879"}));
  EXPECT_EQ(std::count(s.log.texts.begin(), s.log.texts.end(),
                       "SecondaryPolishLoop in PolishCriticalPeakValues: Qmin = 0"),
            9);
}

TEST(Polish, AStopUndoesThePassInProgress) {
  const auto searched = [] {
    auto s = std::make_unique<Search>(BodeLikeGrid(2000), std::vector<KnownSingularity>{{31.5, 9, 6}, {45, -8, 5}, {63, 6, 8}}, 25, 80);
    s->Run();
    return s;
  };
  int32_t total = 0;
  {
    auto s = searched();
    s->engine.Callbacks.Poll = [&] { ++total; };
    s->engine.Settings.PollEvery = std::chrono::microseconds(0);
    ASSERT_TRUE(PolishCriticalPeakValues(s->R, *s->k.curve, s->engine));
  }
  ASSERT_GT(total, 2);
  for (int32_t polls : {1, total / 2, total - 1}) {
    auto owner = searched();
    Search& s = *owner;
    ASSERT_GT(s.R.Count, 1);
    const auto curve = std::make_unique<FitCurveRecord>(*s.k.curve);
    const SingularityListRecord set = s.R;
    std::atomic<bool> stop{false};
    int32_t seen = 0;
    s.engine.Callbacks.Stop = &stop;
    s.engine.Callbacks.Poll = [&] {
      if (++seen == polls) stop = true;
    };
    s.engine.Settings.PollEvery = std::chrono::microseconds(0);
    EXPECT_FALSE(PolishCriticalPeakValues(s.R, *s.k.curve, s.engine)) << polls;
    EXPECT_TRUE(SameBits(s.R, set)) << polls;
    EXPECT_TRUE(SameBits(*s.k.curve, *curve)) << polls;
  }
}

TEST(Polish, PassesOfOneCurve) {
  const std::vector<KnownSingularity> known{{40, 8, 5}, {60, -6, 5}};
  const std::vector<float> f = BodeLikeGrid(2000);
  const std::vector<float> dB = KnownResponseDb(f, known);
  SingularityListRecord R = FitSetHeader(3, 25, 80);
  FitEngine engine;
  engine.Settings.NumInitialLoops = 3;
  FitSetWithDampingRamp(f, dB, R, engine);
  ASSERT_GE(R.Count, 2);

  engine.Counters = {};
  SingularityListRecord polished = R;
  EXPECT_TRUE(PolishOneCurve(f, dB, 2000, polished, engine));
  EXPECT_EQ(engine.Counters.PolishPasses, 3);
  EXPECT_EQ(polished.Damping, R.Damping);

}

}  // namespace
}  // namespace zentor
