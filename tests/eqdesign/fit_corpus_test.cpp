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
      const SingularityListRecord R = FitOnPool(f, std::span(&k, 1), code)[0];
      const double snapped = CorrectedRms(f, k.dB, SnappedSet(R, code)), as = CorrectedRms(f, k.dB, R);
      if (k.Flat) {
        EXPECT_LE(R.Count, 2);
        EXPECT_LE(std::max(as, snapped), before + 0.02);
        continue;
      }
      EXPECT_LE(std::max(snapped, as), before);
      if (code == 1)
        toOptimum.push_back(as / std::min(OptimumRms(f, k.dB, k.Truth), OptimumRms(f, k.dB, SingularitiesOf(R))));
      toSnappedTruth.push_back(snapped / CorrectedRms(f, k.dB, SnappedSet(SetOf(k.Truth), code)));
    }
  }
  EXPECT_LE(Median(toOptimum), 1.5);
  EXPECT_LE(Median(toSnappedTruth), 1.2);
}

// Ending on the equaliser's steps: per code, the median of the corrected
// deviation over the unquantised optimum of the continuous fit's count (a few
// curves here, held loosely; the benchmark eq_fit_steps measures the corpus),
// and never worse than snapping the continuous fit entry by entry or than none.
struct StepCase {
  int32_t Code;
  double MedianToOptimum;
};
constexpr StepCase kStepCases[] = {{1, 1.20}, {4, 1.25}, {5, 1.30}};

TEST(FitCorpus, OnStepsComesNearTheUnquantisedOptimumAndNeverLosesToSnappingAfter) {
  const std::vector<float> f = BodeLikeGrid(2000);
  const std::vector<CorpusCurve> corpus = MakeFitCorpus(f, 78, 2, 1);
  FitPool pool(4);
  FitEngine engine;
  engine.Pool = &pool;
  for (const StepCase& t : kStepCases) {
    SCOPED_TRACE(testing::Message() << "code " << t.Code);
    const std::vector<SingularityListRecord> R = FitCorpusCurves(f, corpus, t.Code, engine);
    const std::vector<SingularityListRecord> S = FitCorpusCurves(f, corpus, t.Code, engine, {}, true);
    std::vector<double> toOptimum;
    for (size_t c = 0; c < corpus.size(); ++c) {
      const CorpusCurve& k = corpus[c];
      SCOPED_TRACE(testing::Message() << "curve " << c);
      const double stepped = CorrectedRms(f, k.dB, S[c]);
      if (c == 0 && t.Code == 5) {
        // Fitted alone, the stage trying its candidates on the pool's four threads,
        // as in the batch, where each curve's stage runs on one.
        FitEngine alone;
        alone.Pool = &pool;
        const SingularityListRecord one = FitCorpusCurve(f, k, t.Code, alone, {}, true);
        EXPECT_TRUE(one.Count == S[c].Count && one.Freq == S[c].Freq && one.Q1 == S[c].Q1 && one.Q2 == S[c].Q2);
      }
      EXPECT_EQ(CorrectedRms(f, k.dB, SnappedSet(S[c], t.Code)), stepped) << "every entry on a step";
      EXPECT_LE(stepped, CorrectedRms(f, k.dB, SnappedSet(R[c], t.Code)));
      EXPECT_LE(stepped, LogWeightedLineRmsDb(f, k.dB, kCorpusLow, kCorpusHigh));
      if (k.Flat) {
        EXPECT_LE(S[c].Count, 2);
        continue;
      }
      // The optimum of as many filters as the continuous fit left.
      double same = OptimumRms(f, k.dB, SingularitiesOf(R[c]));
      if (k.Truth.size() == static_cast<size_t>(R[c].Count)) same = std::min(same, OptimumRms(f, k.dB, k.Truth));
      toOptimum.push_back(stepped / same);
    }
    EXPECT_LE(Median(toOptimum), t.MedianToOptimum);
  }
}

}  // namespace
}  // namespace zentor::test
