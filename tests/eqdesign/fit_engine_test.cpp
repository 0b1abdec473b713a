// The fit kernel, the one-singularity fit, the singularity search, near-duplicate
// removal and the polish pass.
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <numbers>
#include <vector>

#include "eqdesign/filter_sets.h"
#include "eqdesign/fit_corpus.h"
#include "eqdesign/fit_curves.h"
#include "eqdesign/fit/fit_kernel.h"
#include "eqdesign/fit/near_duplicates.h"
#include "eqdesign/fit/peak_dip.h"
#include "eqdesign/fit/polish.h"
#include "eqdesign/fit/singularity_fit.h"
#include "eqdesign/fit/singularity_search.h"

// Counts the allocations of the thread that asks to be watched.
namespace {
thread_local bool watchAllocations = false;
thread_local long allocations = 0;
}  // namespace

void* operator new(std::size_t size) {
  if (watchAllocations) ++allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace zentor {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
using Texts = std::vector<std::string>;
const std::vector<KnownSingularity> kThree = {{31.5, 9, 6}, {45, -8, 5}, {63, 6, 8}};

using test::Entries;
using test::SameBits;

// ---- Small operations ---------------------------------------------------------------

TEST(SingularitySearch, QLimitsByViewNearestPointAndSpacing) {
  EXPECT_NEAR(FitQLimit(100, 150, 1.5f, 3, 0), 68.3, 0.05);
  EXPECT_EQ(FitQLimit(200, 150, 1.5f, 3, 0), 100);
  EXPECT_NEAR(FitQLimit(150, 150, 1.5f, 7, 0.1f), 3.85, 0.01);  // a third octave at the Schroeder frequency
  EXPECT_NEAR(FitQLimit(100, 150, 1.5f, 7, 0.1f), 1 / (std::pow(2, 0.1) - 1), 1e-4);
  EXPECT_NEAR(FitQLimit(100, 150, 1.5f, 6, 1.0f / 3), 4.32, 0.01);
  EXPECT_EQ(FitQLimit(100, 150, 1.5f, 2, 0.1f), 0);

  const std::vector<float> x{10, 20, 30, 50};
  test::MessageLog log;
  // A tie takes the higher.
  for (const auto& [hz, n, want] : {std::tuple{14.0f, 4, 0}, {15.0f, 4, 1}, {5.0f, 4, 0}, {99.0f, 4, 3}, {99.0f, 3, 2}})
    EXPECT_EQ(NearestPointIndex(x, hz, n, log.sink()), want) << hz << " " << n;
  EXPECT_TRUE(log.texts.empty());
  EXPECT_EQ(NearestPointIndex(x, 0, 4, log.sink()), 0);
  EXPECT_EQ(log.texts, Texts{"Error 5330"});
  EXPECT_EQ((std::vector<float>{LocalPointSpacing(x, 11, 4, log.sink()), LocalPointSpacing(x, 48, 4, log.sink()),
                                LocalPointSpacing(x, 48, 1, log.sink())}),
            (std::vector<float>{10, 20, 0}));
}

TEST(NearDuplicates, ToleranceAndRemoval) {
  EXPECT_TRUE(NearlyEqual(100.0, 100.05) && NearlyEqual(0, 0));
  EXPECT_FALSE(NearlyEqual(100.0, 100.2) || NearlyEqual(0, 1e-9));
  test::MessageLog log;

  SingularityListRecord s = Entries({{300, 4, 2, 1}, {100, 5, 2, 2}, {100.05f, 5, 3, 3}});
  EXPECT_EQ(RemoveNearDuplicateFilters(s, log.sink()), 1);
  ASSERT_EQ(s.Count, 2);
  // The first match in the set's own order leaves; the others move down whole.
  EXPECT_EQ((std::vector<float>{s.Freq[0], s.Freq[1], s.Q2[1], s.FitError[1], s.Freq[2]}),
            (std::vector<float>{300, 100.05f, 3, 3, 0}));

  s = Entries({{100, 5, 2}, {100, -5, 2}});  // a boost and a cut
  EXPECT_EQ((std::pair{RemoveNearDuplicateFilters(s, log.sink()), s.Count}), std::pair(0, 2));
  s = Entries({{100, 5, 2}, {100.02f, 5, 2}, {100.04f, 5, 2}});
  EXPECT_EQ((std::pair{RemoveNearDuplicateFilters(s, log.sink()), s.Count}), std::pair(2, 1));
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
  const std::vector<KnownSingularity> got = test::SingularitiesOf(s.R);
  EXPECT_TRUE(std::any_of(got.begin(), got.end(),
                          [](const auto& e) { return std::fabs(e.FreqHz - 40) < 0.8 && e.LevelDb > 0; }));
  EXPECT_GT(s.engine.Counters.Calls, 0);
  EXPECT_TRUE(s.log.texts.empty()) << s.log.texts.front();
}

TEST(SingularitySearch, CandidatesWithinTheResolutionMergeAndARangeBeyondTheCurveEndsAtItsLastPoint) {
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
  EXPECT_TRUE(s.Run() && s.R.Count == 1) << s.R.Count;

  // Nothing accepted leaves an empty set; a range beyond the curve searches to its last point.
  Search none(BodeLikeGrid(400), {{50, 10, 5}}, 25, 80);
  none.R.SelectCode = 3;  // dips only, and there are none
  for (int32_t i = 0; i < 400; ++i) none.k.curve->Level[static_cast<size_t>(i)] = 1 + 1e-3 * i;
  EXPECT_FALSE(none.Run() || none.R.Count != 0);
  Search beyond(BodeLikeGrid(200), {{66, 10, 5}}, 25, 500);
  ASSERT_TRUE(beyond.Run());
  ASSERT_GE(beyond.R.Count, 1);
  // Points up to count - 5 are fitted.
  EXPECT_EQ(beyond.engine.Counters.Calls - 9 * beyond.R.Count, 200 - 67);
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

// Stops `run` at its first, middle and last poll, as counted on a run that is
// not stopped: it reports the stop and leaves curve and set as they came.
void ExpectAStopUndoes(const std::function<std::unique_ptr<Search>()>& make, const std::function<bool(Search&)>& run) {
  int32_t total = 0;
  {
    auto s = make();
    s->engine.Callbacks.Poll = [&] { ++total; };
    s->engine.Settings.PollEvery = std::chrono::microseconds(0);
    ASSERT_TRUE(run(*s));
  }
  ASSERT_GT(total, 2);
  for (int32_t polls : {1, total / 2, total - 1}) {
    auto owner = make();
    Search& s = *owner;
    const auto curve = std::make_unique<FitCurveRecord>(*s.k.curve);
    const SingularityListRecord set = s.R;
    std::atomic<bool> stop{false};
    int32_t seen = 0;
    s.engine.Callbacks.Stop = &stop;
    s.engine.Callbacks.Poll = [&] {
      if (++seen == polls) stop = true;
    };
    s.engine.Settings.PollEvery = std::chrono::microseconds(0);
    EXPECT_FALSE(run(s)) << polls;
    EXPECT_TRUE(SameBits(*s.k.curve, *curve)) << polls;
    EXPECT_TRUE(SameBits(s.R, set)) << polls;
  }
}

// In the search, and in the polish of a searched set.
TEST(SingularitySearch, AStopLeavesCurveAndSetAsTheyWere) {
  const auto make = [](bool searched) {
    auto s = std::make_unique<Search>(
        BodeLikeGrid(2000), searched ? kThree : std::vector<KnownSingularity>{{40, 10, 5}, {60, -9, 5}}, 25, 80);
    if (searched) s->Run();
    return s;
  };
  ExpectAStopUndoes([&] { return make(false); }, [](Search& s) { return s.Run(); });
  ExpectAStopUndoes([&] { return make(true); },
                    [](Search& s) { return PolishCriticalPeakValues(s.R, *s.k.curve, s.engine); });
}

TEST(SingularitySearch, SetsDoNotDependOnThreadsOrRepetition) {
  const std::vector<KnownSingularity>& known = kThree;
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
    EXPECT_TRUE(SameBits(sets[i], sets[0]) && SameBits(*curves[i], *curves[0])) << i;
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
TEST(FitPoolPolling, BatchesShareOnePollClockAndTheEnginePollsAtItsFirstBatchJustAfterBoot) {
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
    EXPECT_EQ(std::pair(polls, done.load()), std::pair(1, items)) << threads;
    now.since += std::chrono::minutes(59);
    pool.Run(9, job, poll, std::chrono::hours(1), clock);
    EXPECT_EQ(polls, 1) << threads;
    now.since += std::chrono::minutes(1);
    pool.Run(9, job, poll, std::chrono::hours(1), clock);
    EXPECT_EQ(polls, 2) << threads;
    clock.Last.reset();  // never polled again: the next batch polls at once
    pool.Run(9, job, poll, std::chrono::hours(1), clock);
    EXPECT_EQ(polls, 3) << threads;
    // So on the real clock too, even on a machine booted less than an interval ago.
    PollClock real;
    pool.Run(4, job, poll, std::chrono::hours(24 * 365 * 100), real);
    EXPECT_TRUE(polls == 4 && real.Last.has_value()) << threads;
  }

  // The engine polls at its first batch of fits, whatever the clock reads: here one that reads a second after boot,
  // with an hour between polls.
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

TEST(Polish, EntriesAreRefittedOrDroppedAndAnEmptySetOnlyNormalises) {
  const KnownSingularity peak{50, 10, 5};
  Search s(BodeLikeGrid(2000), {peak}, 25, 80);
  double qp = 0, qz = 0;
  KnownSingularityQs(peak, qp, qz);
  // A true peak, a peak placed where the curve only has dips to offer, and the
  // same true peak sorted after a deep dip.
  s.R = FitSetHeader(3, 25, 80);
  s.R.Damping = 1;
  CopyFilterSetEntries(Entries({{float(kTwoPi * 50.2), float(qp * 0.8), float(qz)}, {float(kTwoPi * 70), 8, 4}}), s.R);
  // The residual: the curve with both entries divided out.
  ApplySingularityToLevels(s.k.curve->Level, s.k.curve->Freq, -s.R.Q1[0], s.R.Q2[0], s.R.Freq[0], 1, 0, 2000);
  ApplySingularityToLevels(s.k.curve->Level, s.k.curve->Freq, -s.R.Q1[1], s.R.Q2[1], s.R.Freq[1], 1, 0, 2000);
  std::vector<std::pair<int32_t, int32_t>> progress;
  s.engine.Callbacks.Progress = [&](int32_t done, int32_t total) { progress.emplace_back(done, total); };
  ASSERT_TRUE(PolishCriticalPeakValues(s.R, *s.k.curve, s.engine));
  ASSERT_EQ(s.R.Count, 1);
  EXPECT_NEAR(s.R.Freq[0] / kTwoPi, 50, 0.2);
  EXPECT_GT(s.R.Q1[0], s.R.Q2[0]);  // still a peak
  EXPECT_EQ((std::vector{progress.front(), progress[4], progress.back()}),
            (std::vector<std::pair<int32_t, int32_t>>{{0, 5}, {4, 5}, {0, 0}}));
  EXPECT_TRUE(s.log.texts.empty());

  // An empty set only resets the progress and normalises the curve.
  Search empty(BodeLikeGrid(400), {}, 25, 80);
  for (int32_t i = 0; i < 400; ++i) empty.k.curve->Level[static_cast<size_t>(i)] = 3.0;
  progress.clear();
  empty.engine.Callbacks.Progress = s.engine.Callbacks.Progress;
  EXPECT_TRUE(PolishCriticalPeakValues(empty.R, *empty.k.curve, empty.engine) && empty.R.Count == 0);
  EXPECT_EQ(progress, (std::vector<std::pair<int32_t, int32_t>>{{0, 1}, {0, 0}}));
  EXPECT_NEAR(empty.k.curve->Level[100], 1.0, 1e-14);
}

TEST(Polish, OrderFollowsTheSelectCodeAndPassesOfOneCurve) {
  // Entries far outside the range are tried nowhere and dropped, in the order
  // polished; the messages of damaged entries show that order.
  Search s(BodeLikeGrid(400), {}, 25, 80);
  const SingularityListRecord entries =
      Entries({{kTwoPi * 50, 2, 0, 1}, {kTwoPi * 60, -9, 0, 2}, {kTwoPi * 70, -3, 0, 3}});
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
    EXPECT_EQ(order, (code == 2 ? std::vector<float>{2, -3, -9} : std::vector<float>{-9, -3, 2})) << code;
  }
  s.engine.Callbacks.Progress = nullptr;
  s.R = FitSetHeader(3, 25, 80);
  s.R.SelectCode = 0;
  s.R.QMinimum = 0;
  CopyFilterSetEntries(Entries({{0, 0, 0, 1}}), s.R);
  s.log.texts.clear();
  PolishCriticalPeakValues(s.R, *s.k.curve, s.engine);
  EXPECT_EQ(s.log.texts[0], "Error 4321");
  EXPECT_EQ(Texts(s.log.texts.begin() + 1, s.log.texts.begin() + 5),
            (Texts{"Error 9876", "Error 9877", "Error 9878", "Error 9879"}));
  EXPECT_EQ(
      std::count(s.log.texts.begin(), s.log.texts.end(), "SecondaryPolishLoop in PolishCriticalPeakValues: Qmin = 0"),
      9);

  // The passes of one curve keep its damping.
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

// ---- The fit kernel and the one-singularity fit ----------------------------------------

// |H|² of a pole pair (qp) over a zero pair (qz) at w0, at ω: written out
// directly, not as the kernel arranges it.
double Model(double w0, double qp, double qz, double w) {
  const double d = w0 * w0 - w * w;
  return (d * d + std::pow(w0 * w / qz, 2)) / (d * d + std::pow(w0 * w / qp, 2));
}

SingularityFitWork GridWork(int32_t trials, int32_t qs, int32_t points, double f0) {
  SingularityFitWork w;
  w.NumFreq = trials;
  w.NumQ = qs;
  w.NumPoints = points;
  SetUpFreqArrayC(w.TrialFreq, kTwoPi * (f0 - 2), kTwoPi * (f0 + 2), trials);
  SetUpQ2ArrayC(w.QGrid, 0.7, 12, qs);
  w.QFixed = 1.7;
  for (int32_t i = 0; i < points; ++i) {
    w.Level[static_cast<size_t>(i)] = 1.0 + 0.3 * std::sin(0.37 * i);
    w.Weights[static_cast<size_t>(i)] = static_cast<float>(0.2 + 0.8 * std::exp(-0.01 * i * i));
  }
  return w;
}

std::vector<float> Linear(int32_t count, double step) {
  std::vector<float> f(static_cast<size_t>(count));
  for (size_t i = 0; i < f.size(); ++i) f[i] = static_cast<float>(step * static_cast<double>(i + 1));
  return f;
}

TEST(FitKernel, GridsRiseLinearlyBetweenExactEndsAndLevelWindowsAreNormalised) {
  std::array<double, 40> a{};
  SetUpFreqArrayC(a, 0.1, 0.7, 39);
  EXPECT_EQ(std::pair(a[0], a[38]), std::pair(0.1, 0.7));
  for (size_t i = 1; i < 39; ++i) EXPECT_GT(a[i], a[i - 1]);
  EXPECT_NEAR(a[19], 0.4, 1e-15);
  std::array<double, 11> q{};
  q.fill(-1);
  SetUpQ2ArrayC(q, 3.3, 17.1, 10);
  EXPECT_EQ((std::vector<double>{q[0], q[9], q[10]}), (std::vector<double>{3.3, 17.1, -1}));  // nothing past the count
  SetUpQ2ArrayC(q, 2.5, 9, 1);
  SetUpFreqArrayC(std::span(a).first(3), 1, 2, 39);  // cut to the array
  EXPECT_EQ(std::pair(q[0], a[2]), std::pair(2.5, 2.0));

  const std::vector<double> y{1, 2, 4, 0, -1, 0.5, 3};
  std::array<double, 201> level{};
  ASSERT_TRUE(LoadLevelArrayC(level, 3, 2, 2, y, 7));  // starts at n - 1
  EXPECT_EQ(std::pair(level[0], level[1]), std::pair(4.0, 16.0));
  EXPECT_DOUBLE_EQ(level[2], 1e-60);  // a level of 0 counts as 1e-30
  ASSERT_TRUE(LoadLevelArrayC(level, 4, 3, 2, y, 7));  // even width: one more after n
  EXPECT_EQ(level[0], 0.25);
  EXPECT_DOUBLE_EQ(level[3], 1e60);  // -1 too
  EXPECT_FALSE(LoadLevelArrayC(level, 5, 2, 1, y, 7) || LoadLevelArrayC(level, 3, 2, 6, y, 7) ||
               LoadLevelArrayC(level, 3, 2, 5, y, 5));

  std::array<double, 4> w{2, 5, 7, 6};
  FixDoubleLinearLevelAboutOne(w, 4);
  EXPECT_EQ(w, (std::array<double, 4>{0.5, 1.25, 1.75, 1.5}));
}

TEST(FitKernel, EvaluatorAgreesWithAPlainLoopOverEveryShapeAndWindowsStayInsideTheCurve) {
  const std::vector<float> f = Linear(400, 0.37);
  const struct {
    int32_t trials, qs, points;
  } shapes[] = {{39, 10, 3}, {11, 10, 3}, {1, 10, 25}, {1, 10, 200}, {7, 4, 9}};
  for (const auto& s : shapes) {
    const int32_t n = 200;
    const SingularityFitWork w = GridWork(s.trials, s.qs, s.points, f[static_cast<size_t>(n)]);
    FitCells cells;
    int64_t evaluations = 0;
    ASSERT_TRUE(FitMatrixC(w, f, 400, n, cells, &evaluations));
    EXPECT_EQ(evaluations, int64_t{s.trials} * s.qs * s.points);

    double best = INFINITY;
    int bk = -1, bj = -1;
    const int start = n - (s.points - 1) / 2;
    for (int k = 0; k < s.trials; ++k) {
      for (int j = 0; j < s.qs; ++j) {
        double num = 0, den = 0;
        for (int i = 0; i < s.points; ++i) {
          const double m = Model(w.TrialFreq[k], w.QGrid[j], w.QFixed, kTwoPi * f[static_cast<size_t>(start + i)]);
          num += w.Weights[i] * std::pow(w.Level[i] - m, 2);
          den += w.Weights[i];
        }
        const double r = std::sqrt(num / den);
        if (r < best) best = r, bk = k, bj = j;
      }
    }
    EXPECT_NEAR(cells.FitBestError, best, 1e-12 * std::max(1.0, best)) << s.trials << "x" << s.qs << "x" << s.points;
    EXPECT_EQ(cells.FitBestFreq, w.TrialFreq[bk]);
    EXPECT_EQ(cells.FitBestQ, w.QGrid[bj]);
  }

  // Every window of every width lies inside the curve.
  for (int32_t count : {11, 12, 60, 400, 2001}) {
    for (int32_t n = 5; n <= count - 5; ++n) {
      for (float bw : {0.0f, 0.3f, 1.7f, 4.0f, 9.5f, 33.3f, 150.0f, 1e5f, INFINITY}) {
        for (int32_t floor : {5, 9}) {
          const int32_t W = FitWindowWidth(bw, 0.5f, n, count, floor);
          if (W < 0) continue;
          EXPECT_GE(W, floor);
          EXPECT_LE(W, 200);
          EXPECT_GE(FitWindowStart(n, W), 0) << count << " " << n << " " << bw;
          EXPECT_LE(FitWindowStart(n, W) + W, count) << count << " " << n << " " << bw;
        }
      }
    }
  }
  EXPECT_EQ(FitWindowWidth(NAN, 0.5f, 100, 400, 9), -1);
  EXPECT_EQ(FitWindowWidth(4.0f, 0.5f, 100, 400, 5), 9);  // 10 made odd
  EXPECT_EQ(FitWindowWidth(1e4f, 0.5f, 300, 2001, 9), 200);
  EXPECT_EQ(FitWindowWidth(1e4f, 0.5f, 5, 2001, 9), -1);  // cut to 8 at the low end
  EXPECT_EQ(FitWindowWidth(1e4f, 0.5f, 5, 2001, 5), 8);
}

TEST(FitKernel, RecoversTheTrialATargetWasBuiltFrom) {
  const std::vector<float> f = Linear(400, 0.37);
  SingularityFitWork w = GridWork(39, 10, 25, f[150]);
  const int k0 = 23, j0 = 6;
  for (int i = 0; i < 25; ++i)
    w.Level[i] = Model(w.TrialFreq[k0], w.QGrid[j0], w.QFixed, kTwoPi * f[static_cast<size_t>(150 - 12 + i)]);
  FitCells cells;
  ASSERT_TRUE(FitMatrixC(w, f, 400, 150, cells));
  EXPECT_LT(cells.FitBestError, 1e-12);
  EXPECT_EQ(cells.FitBestFreq, w.TrialFreq[k0]);
  EXPECT_EQ(cells.FitBestQ, w.QGrid[j0]);  // the grid value itself, bit for bit

  // Equal grid values tie; the first wins.
  for (size_t j = 0; j < 10; ++j) w.QGrid[j] = w.QGrid[j0];
  ASSERT_TRUE(FitMatrixC(w, f, 400, 150, cells));
  EXPECT_EQ(cells.FitBestFreq, w.TrialFreq[k0]);
  EXPECT_EQ(cells.FitBestQ, w.QGrid[0]);

  // A window off the curve, counts past the arrays, no weight, a non-finite level.
  EXPECT_FALSE(FitMatrixC(w, f, 160, 150, cells));
  const std::function<void(SingularityFitWork&)> spoils[] = {
      [](auto& b) { b.NumPoints = 201; }, [](auto& b) { b.NumFreq = 41; }, [](auto& b) { b.Weights.fill(0); },
      [](auto& b) { b.Level[3] = NAN; }};
  for (const auto& spoil : spoils) {
    SingularityFitWork bad = w;
    spoil(bad);
    EXPECT_FALSE(FitMatrixC(bad, f, 400, 150, cells));
  }
}

// ---- The one-singularity fit ------------------------------------------------------

struct Fit {
  bool ok = false;
  double F = 0, Q1 = 0, Q2 = 0, E = 0;
  SingularityFitContext context;
  SingularityFitWorkspace work;
};

Fit RunFit(const FitCurveRecord& c, int32_t n, double qmax, int32_t select = 4, int32_t mode = 6,
           bool quick = false, int32_t loops = 8, float width = 0.5f) {
  Fit r;
  r.context.Quick = quick;
  r.context.NumInitialLoops = loops;
  r.ok = FitOneSingularity(n, c, r.work, r.F, r.Q1, r.Q2, r.E, qmax, 0.05, width, select, mode, r.context);
  return r;
}

const KnownSingularity kPeak{50, 12, 5};
const KnownSingularity kDip{50, -12, 5};

int32_t Nearest(const test::KnownCurve& k, double f) {
  return NearestPointIndex(k.freqs, static_cast<float>(f), static_cast<int32_t>(k.freqs.size()), test::QuietSink());
}

TEST(OneSingularityFit, SelectCodeChoosesTheKindsOfPointFiveFromEitherEnd) {
  auto k = test::MakeKnownCurve(Linear(60, 1.0), {});
  FitCurveRecord& c = *k.curve;
  for (int32_t i = 0; i < 60; ++i) c.Level[static_cast<size_t>(i)] = 1.0;
  c.Level[20] = 2.0;  // a peak
  c.Level[30] = 0.5;  // a dip
  for (int32_t i = 38; i < 46; ++i) c.Level[static_cast<size_t>(i)] = 1.0 + 0.1 * (i - 38);  // a straight rise
  c.Level[40] = 1.21;  // a shoulder bending up: neither on the gated response
  const struct {
    int32_t point, select;
    bool admitted;
  } cases[] = {{20, 2, true},  {30, 2, false}, {20, 3, false}, {30, 3, true},  {20, 1, true},
               {30, 1, true},  {40, 1, false}, {40, 4, false}, {20, 4, true},  {30, 4, true},
               {40, 0, true},  {40, 7, true},  {30, 0, true},
               // Only points five or more from either end are fitted.
               {4, 0, false},  {5, 0, true},   {55, 0, true},  {56, 0, false}};
  for (const auto& t : cases) {
    const Fit f = RunFit(c, t.point, 20, t.select, 5);
    EXPECT_EQ(f.context.Counters.PlainIterations > 0, t.admitted) << t.point << " select " << t.select;
  }
}

TEST(OneSingularityFit, IterationsFollowQuickModeAndLoopsAndRefusalsAtTheBoundsTheLowEndAndAStop) {
  const auto peak = test::MakeKnownCurve(Linear(400, 0.37), std::span(&kPeak, 1));
  const auto dip = test::MakeKnownCurve(Linear(400, 0.37), std::span(&kDip, 1));
  const int32_t n = Nearest(peak, 50);
  const struct {
    const test::KnownCurve* k;
    int32_t mode;
    bool quick;
    int32_t loops, inner, outer;
  } cases[] = {{&peak, 5, false, 8, 4, 9}, {&peak, 5, true, 8, 3, 9}, {&dip, 5, false, 8, 6, 9},
               {&dip, 5, true, 8, 5, 9},   {&dip, 6, false, 8, 4, 9}, {&peak, 5, false, 3, 4, 5},
               {&peak, 5, false, 0, 4, 5}, {&peak, 6, true, 4, 3, 5}};
  for (const auto& t : cases) {
    const Fit f = RunFit(*t.k->curve, n, 34, 4, t.mode, t.quick, t.loops);
    ASSERT_TRUE(f.ok) << t.mode << t.quick << t.loops;
    const FitCounters& c = f.context.Counters;
    EXPECT_EQ((std::vector<int64_t>{c.PlainIterations, c.OuterPasses, c.LevelIterations, c.WeightedIterations, c.Calls,
                                    c.Acceptances}),
              (std::vector<int64_t>{t.inner, t.outer, t.inner * t.outer, t.inner * t.outer, 1, 1}));
  }

  // A Q bound below the peak's Q ends the coarse search on the bound.
  Fit f = RunFit(*peak.curve, n, 1.0);
  EXPECT_TRUE(!f.ok && f.context.Counters.OuterPasses == 0);

  // A broad peak at point 5: the level window is cut to 8 points there.
  std::vector<float> x = Linear(400, 0.37);
  const KnownSingularity low{x[5], 9, 0.7};
  const auto edge = test::MakeKnownCurve(x, std::span(&low, 1));
  f = RunFit(*edge.curve, 5, 100);
  EXPECT_FALSE(f.ok);
  const FitCounters& c = f.context.Counters;
  EXPECT_EQ((std::vector<int64_t>{c.OuterPasses, c.LevelIterations, c.WeightedIterations}),
            (std::vector<int64_t>{1, 1, 0}));

  // A broad peak mid-curve: its windows are capped at 200 points.
  const KnownSingularity broad{x[250], 9, 0.7};
  const auto wide = test::MakeKnownCurve(x, std::span(&broad, 1));
  f = RunFit(*wide.curve, 250, 100, 4, 6, false, 8, 4.0f);
  EXPECT_EQ(std::pair(f.work.LevelFitWork.NumPoints, f.work.FitWork.NumPoints), std::pair(200, 200));

  // Damaged curves: a level that is not a number, two points at one frequency.
  for (const bool nan : {true, false}) {
    auto damaged = test::MakeKnownCurve(Linear(400, 0.37), std::span(&kPeak, 1));
    FitCurveRecord& d = *damaged.curve;
    const auto e = static_cast<size_t>(n);
    nan ? d.Level[e + 2] = NAN : d.Freq[e - 1] = d.Freq[e];
    f = RunFit(d, n, 34);
    EXPECT_TRUE(!f.ok && f.context.Fault) << nan;
  }

  // A stop requested before the fit refuses at once.
  std::atomic<bool> stop{true};
  f = Fit{};
  f.context.Stop = &stop;
  EXPECT_FALSE(FitOneSingularity(n, *peak.curve, f.work, f.F, f.Q1, f.Q2, f.E, 34, 0.05, 0.5f, 4, 6, f.context));
  EXPECT_EQ(f.context.Counters.PlainIterations, 0);

  // A flat stretch is a peak of zero height: it fits perfectly, its score floored at 1.
  const auto flat = test::MakeKnownCurve(Linear(400, 0.37), {});
  f = RunFit(*flat.curve, 200, 20, 0);
  EXPECT_TRUE(!f.ok || f.E == 1.0) << f.E;
}

// ---- Accuracy against the continuous least-squares optimum ------------------------

// The model's weighted residuals on the fit's last window, at ln Ω, ln Qp, ln Qz.
Eigen::VectorXd Residuals(const test::KnownCurve& k, const SingularityFitWork& w, int32_t n, const Eigen::Vector3d& p) {
  const int32_t start = FitWindowStart(n, w.NumPoints);
  Eigen::VectorXd r(w.NumPoints);
  for (int32_t i = 0; i < w.NumPoints; ++i) {
    const auto e = static_cast<size_t>(i);
    const double model =
        Model(std::exp(p[0]), std::exp(p[1]), std::exp(p[2]), kTwoPi * k.curve->Freq[static_cast<size_t>(start + i)]);
    r[i] = std::sqrt(static_cast<double>(w.Weights[e])) * (w.Level[e] - model);
  }
  return r;
}

double WindowResidual(const test::KnownCurve& k, const SingularityFitWork& w, int32_t n, const Eigen::Vector3d& p) {
  double den = 0;
  for (int32_t i = 0; i < w.NumPoints; ++i) den += w.Weights[static_cast<size_t>(i)];
  return std::sqrt(Residuals(k, w, n, p).squaredNorm() / den);
}

// Damped Gauss-Newton over ln Ω, ln Qp, ln Qz from a start.
double LeastSquaresOptimum(const test::KnownCurve& k, const SingularityFitWork& w, int32_t n, Eigen::Vector3d p) {
  const int32_t m = w.NumPoints;
  const auto residuals = [&](const Eigen::Vector3d& q) { return Residuals(k, w, n, q); };
  double lambda = 1e-3;
  Eigen::VectorXd r = residuals(p);
  for (int iteration = 0; iteration < 200; ++iteration) {
    Eigen::MatrixXd J(m, 3);
    for (int c = 0; c < 3; ++c) {
      Eigen::Vector3d q = p;
      const double h = 1e-7;
      q[c] += h;
      J.col(c) = (residuals(q) - r) / h;
    }
    Eigen::MatrixXd A(m + 3, 3);
    A << J, std::sqrt(lambda) * Eigen::Matrix3d::Identity();
    Eigen::VectorXd b(m + 3);
    b << -r, Eigen::Vector3d::Zero();
    const Eigen::Vector3d step = A.colPivHouseholderQr().solve(b);
    const Eigen::VectorXd trial = residuals(p + step);
    if (trial.squaredNorm() < r.squaredNorm()) {
      p += step;
      r = trial;
      lambda = std::max(lambda * 0.3, 1e-12);
    } else {
      lambda *= 10;
    }
  }
  return WindowResidual(k, w, n, p);
}

TEST(OneSingularityFit, RecoversAKnownPeakOrDipOnBothGridsAndAllocatesNothingOnceWarm) {
  for (const test::FitGrid& g : test::FitGrids()) {
    for (const KnownSingularity& s : {kPeak, kDip}) {
      SCOPED_TRACE(testing::Message() << "view " << g.view << " level " << s.LevelDb);
      const auto k = test::MakeKnownCurve(g.grid, std::span(&s, 1));
      const int32_t n = Nearest(k, 50);
      const double qmax = FitQLimit(k.freqs[static_cast<size_t>(n)], 150, 1.5f, g.view, g.smoothing);
      const Fit f = RunFit(*k.curve, n, qmax, 4, g.view == 3 ? 5 : 6);
      ASSERT_TRUE(f.ok);
      EXPECT_TRUE((f.Q1 < 0) == (s.LevelDb < 0) && f.Q2 > 0 && f.E >= 1.0) << f.Q1 << " " << f.Q2 << " " << f.E;
      const double delta = k.freqs[static_cast<size_t>(n + 1)] - k.freqs[static_cast<size_t>(n)];
      EXPECT_NEAR(f.F / kTwoPi, s.FreqHz, std::max(delta / 8, 0.003 * s.FreqHz));
      EXPECT_NEAR(20 * std::log10(std::fabs(f.Q1) / f.Q2), std::fabs(s.LevelDb), 1.5);
      EXPECT_NEAR(std::sqrt(std::fabs(f.Q1) * f.Q2), s.CentreQ, 0.3 * s.CentreQ);

      const Eigen::Vector3d fitted(std::log(f.F), std::log(std::fabs(f.Q1)), std::log(f.Q2));
      double qp = 0, qz = 0;
      KnownSingularityQs(s, qp, qz);
      // The window holds the inverse of a dip: a peak with the two Q values swapped.
      const Eigen::Vector3d truth(std::log(kTwoPi * s.FreqHz), std::log(s.LevelDb > 0 ? qp : qz),
                                  std::log(s.LevelDb > 0 ? qz : qp));
      const double optimum =
          std::min(LeastSquaresOptimum(k, f.work.FitWork, n, fitted), LeastSquaresOptimum(k, f.work.FitWork, n, truth));
      const double residual = WindowResidual(k, f.work.FitWork, n, fitted);
      // The target is one of the model's own shapes: the fit must reach the optimum.
      EXPECT_LE(residual, 1.25 * optimum + 1e-6) << "optimum " << optimum;
    }
  }

  // Once warm, the fit allocates nothing.
  const auto k = test::MakeKnownCurve(BodeLikeGrid(2000), std::span(&kDip, 1));
  const int32_t n = Nearest(k, 50);
  Fit f = RunFit(*k.curve, n, 34, 4, 5);
  ASSERT_TRUE(f.ok);
  allocations = 0;
  watchAllocations = true;
  for (int32_t p = n - 20; p <= n + 20; ++p)
    FitOneSingularity(p, *k.curve, f.work, f.F, f.Q1, f.Q2, f.E, 34, 0.05, 0.5f, 4, 5, f.context);
  watchAllocations = false;
  EXPECT_EQ(allocations, 0);
}

}  // namespace
}  // namespace zentor
