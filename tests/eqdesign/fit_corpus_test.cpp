// The fit on a seeded corpus of room-like responses: it never makes a curve
// worse, snapped or not, leaves noise alone, and comes near the least-squares
// optimum of as many peaking filters. A subset runs here; the benchmark
// eq_fit_corpus runs the whole corpus and prints its figures.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "eqdesign/fit_corpus.h"
#include "eqdesign/fit/fit_driver.h"

namespace zentor::test {
namespace {

SingularityListRecord Fit(const std::vector<float>& f, const CorpusCurve& k, int32_t code) {
  FitPool pool(4);
  FitEngine engine;
  engine.Pool = &pool;
  return FitCorpusCurve(f, k, code, engine);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

TEST(FitCorpus, NeverWorseLeavesNoiseAloneAndComesNearTheOptimum) {
  const std::vector<float> f = BodeLikeGrid(2000);
  const std::vector<CorpusCurve> corpus = MakeFitCorpus(f, 77, 3, 1);
  std::vector<double> toOptimum, toSnappedTruth;
  for (size_t c = 0; c < corpus.size(); ++c) {
    const CorpusCurve& k = corpus[c];
    SCOPED_TRACE(testing::Message() << "curve " << c);
    const double before = LogWeightedLineRmsDb(f, k.dB, kCorpusLow, kCorpusHigh);
    for (const int32_t code : {1, 5}) {
      SCOPED_TRACE(testing::Message() << "code " << code);
      const SingularityListRecord R = Fit(f, k, code);
      const double snapped = CorrectedRms(f, k.dB, SnappedSet(R, code)), as = CorrectedRms(f, k.dB, R);
      if (k.Flat) {
        EXPECT_LE(R.Count, 2);
        EXPECT_LE(std::max(as, snapped), before + 0.02);
        continue;
      }
      EXPECT_LE(snapped, before);
      EXPECT_LE(as, before);
      if (code == 1)
        toOptimum.push_back(as / std::min(OptimumRms(f, k.dB, k.Truth), OptimumRms(f, k.dB, SingularitiesOf(R))));
      toSnappedTruth.push_back(snapped / CorrectedRms(f, k.dB, SnappedSet(SetOf(k.Truth), code)));
    }
  }
  EXPECT_LE(Median(toOptimum), 1.5);
  EXPECT_LE(Median(toSnappedTruth), 1.2);
}

}  // namespace
}  // namespace zentor::test
