// The fit's limits: the target's shapes and files, snapping within a boost
// limit, the preamp, and on the seeded corpus the fit with a boost limit, a
// filter budget and a target against the optimum under the same bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "eqdesign/eq_list_fixture.h"
#include "eqdesign/fit_corpus.h"
#include "eqdesign/fit/fit_limits.h"

namespace zentor::test {
namespace {

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

TEST(FitTargetFile, SkipsCommentsInterpolatesInLogFrequencyAndHoldsItsEnds) {
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
}

TEST(FitTargetFile, EachMalformedFileNamesItsLineAndLeavesTheTargetAsItWas) {
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
  };
  for (const auto& row : rows) {
    std::vector<double> hz{50}, db{1};
    const std::string said = ParseTargetText(row.text, hz, db);
    EXPECT_TRUE(said.ends_with(row.said)) << row.text << " -> " << said;
    EXPECT_EQ(hz, std::vector<double>{50});
    EXPECT_EQ(db, std::vector<double>{1});
  }
}

TEST(FitTargetShape, BassLiftIsASecondOrderShelfAndTheLevelIsTheCurvesMedian) {
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
}

FilterRecord Peaking(float hz, float levelDb, float centreQ) { return MakeFilter(2, hz, levelDb, centreQ); }

TEST(FitLimitsPreamp, IsMinusTheSetsLargestPositiveResponse) {
  const struct {
    std::vector<FilterRecord> set;
    double preamp;
  } rows[] = {
      {{Peaking(100, 6, 4)}, -6},
      {{Peaking(100, -9, 4), Peaking(300, -3, 2)}, 0},
      {{Peaking(100, 3, 4), Peaking(100, 3, 4)}, -6},
      {{Peaking(1000, 4, 20), Peaking(20, -10, 1)}, -4},
  };
  // Rounded to the tenth that keeps the set at or below full scale, as every export states it.
  for (const auto& row : rows) {
    const double p = PreampDb(row.set, static_cast<int32_t>(row.set.size()));
    EXPECT_LE(p, row.preamp + 1e-9);
    EXPECT_GE(p, row.preamp - 0.1 - 1e-9);
  }
}

// ---- The fit with limits, on the seeded corpus ----------------------------------------

std::vector<SingularityListRecord> FitAll(const std::vector<float>& f, const std::vector<CorpusCurve>& corpus,
                                          int32_t code, const FitLimits& limits) {
  FitPool pool(4);
  FitEngine engine;
  engine.Pool = &pool;
  return FitCorpusCurves(f, corpus, code, engine, limits);
}

TEST(FitLimitsCorpus, BoostLimitHoldsAfterSnappingAndComesNearTheBoundedOptimum) {
  const std::vector<float> f = BodeLikeGrid(1000);
  const std::vector<CorpusCurve> corpus = MakeFitCorpus(f, 123, 4, 0);
  FitLimits limits;
  limits.MaxBoostDb = 6;
  std::vector<double> ratio;
  for (const int32_t code : {1, 5}) {
    const std::vector<SingularityListRecord> sets = FitAll(f, corpus, code, limits);
    for (size_t c = 0; c < corpus.size(); ++c) {
      SCOPED_TRACE(testing::Message() << "code " << code << ", curve " << c);
      const SingularityListRecord applied = SnapSetToEqualiser(sets[c], code, 6);
      for (int32_t e = 0; e < applied.Count; ++e) {
        // A dip (Q1 < 0) is corrected by a boost.
        EXPECT_LE(FilterBoostDb(sets[c].Q1[e], sets[c].Q2[e]), 6.001) << "as fitted";
        EXPECT_LE(FilterBoostDb(applied.Q1[e], applied.Q2[e]), 6.0001) << "as applied";
      }
      const double after = CorrectedRms(f, corpus[c].dB, applied);
      EXPECT_LE(after, CorrectedRms(f, corpus[c].dB, {}));
      std::vector<KnownSingularity> start = corpus[c].Truth;
      for (KnownSingularity& s : start) s.LevelDb = std::max(s.LevelDb, -6.0);
      const double optimum = std::min(OptimumRms(f, corpus[c].dB, start, 6),
                                      OptimumRms(f, corpus[c].dB, SingularitiesOf(sets[c]), 6));
      ratio.push_back(after / optimum);
    }
  }
  std::printf("boost limit 6 dB: median RMS / bounded optimum %.3f over %zu fits\n", Median(ratio), ratio.size());
  EXPECT_LE(Median(ratio), 1.5);
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
  const std::vector<SingularityListRecord> sets = FitAll(f, corpus, 1, limits);
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
  const std::vector<SingularityListRecord> a = FitAll(f, flat, 1, flatTarget), b = FitAll(f, lifted, 1, liftTarget);
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
