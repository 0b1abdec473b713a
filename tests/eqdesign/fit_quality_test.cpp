// Whole fits of responses with known singularities: what they find and how
// much flatter the corrected response is.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "eqdesign/filter_sets.h"
#include "eqdesign/fit/fit_bounds.h"
#include "eqdesign/fit_curves.h"
#include "eqdesign/fit_corpus.h"
#include "eqdesign/fit/group_refine.h"
#include "eqdesign/fit/fit_quality.h"

namespace zentor {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

double EntryDb(const SingularityListRecord& R, int32_t i) {
  const auto e = static_cast<size_t>(i);
  return (R.Q1[e] < 0 ? 20 : -20) * std::log10(std::fabs(R.Q1[e]) / R.Q2[e]) * -1;
}

TEST(FitQuality, MeasuresOfKnownResponses) {
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
  SingularityListRecord R;
  double qp = 0, qz = 0;
  KnownSingularityQs(s, qp, qz);
  R.Count = 1;
  R.Freq[0] = static_cast<float>(kTwoPi * 100);
  R.Q1[0] = static_cast<float>(qp);
  R.Q2[0] = static_cast<float>(qz);
  EXPECT_GT(LogWeightedRmsDb(f, dB, 50, 200), 1.0);
  EXPECT_LT(LogWeightedRmsDb(f, CorrectedResponseDb(f, dB, R), 50, 200), 1e-5);
  // Seeded noise repeats.
  EXPECT_EQ(KnownResponseDb(f, {}, 0, 0.1, 7), KnownResponseDb(f, {}, 0, 0.1, 7));
  EXPECT_NEAR(LogWeightedRmsDb(f, KnownResponseDb(f, {}, 0, 0.1, 7), 20, 20000), 0.1, 0.01);
}

TEST(FitQuality, ThreeSingularitiesAreFoundAndCorrected) {
  const KnownSingularity known[] = {{31.5, 9, 6}, {45, -8, 5}, {63, 6, 8}};
  const struct {
    std::vector<float> grid;
    int32_t view;
  } grids[] = {{BodeLikeGrid(2000), 3}, {LogGrid(2000, 20, 20000), 6}};
  for (const auto& g : grids) {
    SCOPED_TRACE(testing::Message() << "view " << g.view);
    const std::vector<float> dB = KnownResponseDb(g.grid, known);
    SingularityListRecord R = FitSetHeader(g.view, 25, 80, 1.0f / 48);
    FitEngine engine;
    ASSERT_TRUE(FitSetWithDampingRamp(g.grid, dB, R, engine));
    std::vector<bool> matched(static_cast<size_t>(R.Count), false);
    for (const KnownSingularity& s : known) {
      int32_t hits = 0;
      for (int32_t i = 0; i < R.Count; ++i) {
        const double f = R.Freq[static_cast<size_t>(i)] / kTwoPi;
        if (std::fabs(f - s.FreqHz) > 0.02 * s.FreqHz || std::fabs(EntryDb(R, i) - s.LevelDb) > 2) continue;
        // The damping rises between passes: each entry must go back into the
        // curve as it was taken out, or its Q drifts by the dampings' ratio.
        const auto e = static_cast<size_t>(i);
        EXPECT_NEAR(std::sqrt(std::fabs(R.Q1[e]) * R.Q2[e]), s.CentreQ, 0.05 * s.CentreQ) << s.FreqHz;
        ++hits;
        matched[static_cast<size_t>(i)] = true;
      }
      EXPECT_EQ(hits, 1) << s.FreqHz;
    }
    for (int32_t i = 0; i < R.Count; ++i) {
      if (!matched[static_cast<size_t>(i)]) {
        EXPECT_LE(std::fabs(EntryDb(R, i)), 3) << R.Freq[static_cast<size_t>(i)] / kTwoPi;
      }
    }
    EXPECT_LE(LogWeightedRmsDb(g.grid, CorrectedResponseDb(g.grid, dB, R), 25, 80), 1.0);
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

TEST(FitQuality, ThreeSingularitiesOnTheGatedGrid) {
  const KnownSingularity known[] = {{31.5, 9, 6}, {45, -8, 5}, {63, 6, 8}};
  const std::vector<float> grid = BodeLikeGrid(2000);
  const std::vector<float> dB = KnownResponseDb(grid, known);
  SingularityListRecord R = FitSetHeader(3, 25, 80);
  FitEngine engine;
  ASSERT_TRUE(FitSetWithDampingRamp(grid, dB, R, engine));
  for (const KnownSingularity& s : known) {
    int32_t hits = 0;
    for (int32_t i = 0; i < R.Count; ++i) {
      const double f = R.Freq[static_cast<size_t>(i)] / kTwoPi;
      hits += std::fabs(f - s.FreqHz) <= 0.02 * s.FreqHz && std::fabs(EntryDb(R, i) - s.LevelDb) <= 2;
    }
    EXPECT_EQ(hits, 1) << s.FreqHz;
  }
  const double before = LogWeightedRmsDb(grid, dB, 25, 80);
  const double after = LogWeightedRmsDb(grid, CorrectedResponseDb(grid, dB, R), 25, 80);
  EXPECT_LE(after, 0.4 * before);
}

TEST(FitBounds, NoiseReachAndResolution) {
  const std::vector<float> f = BodeLikeGrid(2000);
  const KnownSingularity peak{50, 12, 5};
  for (const bool withPeak : {false, true}) {
    const auto s = withPeak ? std::span<const KnownSingularity>(&peak, 1) : std::span<const KnownSingularity>();
    const test::KnownCurve k = test::MakeKnownCurve(f, s, 20, 300, 1.0, 0.3, 5);
    const double noise = EstimatePointNoiseDb(f, std::span(k.curve->Level).first(f.size()), 20, 300);
    EXPECT_NEAR(noise, 0.3, 0.03) << withPeak;
  }
  // The equalisers' narrowest and widest bands and their levels, the list's 20 dB at most.
  const FitBounds b1 = MakeFitBounds(1, 0), b5 = MakeFitBounds(5, 0), b2 = MakeFitBounds(2, 0);
  EXPECT_NEAR(b1.CentreQLow, 1 / (2 * std::sqrt(2.0)), 1e-4);
  EXPECT_NEAR(b1.CentreQHigh, 60 / std::sqrt(2.0), 1e-3);
  EXPECT_EQ(b1.PeakDbMax, 20);
  EXPECT_EQ(b1.DipDbMax, 16);
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
  const auto [a1, a2] = qs(6, 40.0 / (2.5 * 0.37));
  EXPECT_FALSE(ResolvedAboveNoise(f, kTwoPi * 40, a1, a2, 1.0, noisy));
  const auto [b1q, b2q] = qs(1.2, 4);
  EXPECT_FALSE(ResolvedAboveNoise(f, kTwoPi * 40, b1q, b2q, 1.0, noisy));
  const auto [c1, c2] = qs(2, 4);
  EXPECT_TRUE(ResolvedAboveNoise(f, kTwoPi * 40, c1, c2, 1.0, noisy));
}

TEST(FitQuality, OverlappingEntriesSettleTogether) {
  const KnownSingularity known[] = {{40, 9, 6}, {44, -8, 5}};
  const KnownSingularity start[] = {{41, 6, 4}, {43, -5, 7}};
  test::KnownCurve k = test::MakeKnownCurve(LogGrid(2000, 20, 20000), known);
  SingularityListRecord R = FitSetHeader(6, 25, 80, 1.0f / 48);
  const SingularityListRecord s = test::SetOf(start);
  CopyFilterSetEntries(s, R);
  std::span<double> y(k.curve->Level.data(), static_cast<size_t>(k.curve->Count));
  for (int32_t i = 0; i < R.Count; ++i) {
    const auto e = static_cast<size_t>(i);
    ApplySingularityToLevels(y, k.curve->Freq, -R.Q1[e], R.Q2[e], R.Freq[e], 1.0f, 0, k.curve->Count,
                             test::QuietSink());
  }
  RefineOverlappingGroups(R, R, *k.curve, 1.0f, MakeFitBounds(2, 0));
  ASSERT_EQ(R.Count, 2);
  const std::vector<KnownSingularity> got = test::SingularitiesOf(R);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_NEAR(got[i].FreqHz, known[i].FreqHz, 0.002 * known[i].FreqHz);
    EXPECT_NEAR(got[i].LevelDb, known[i].LevelDb, 0.05);
    EXPECT_NEAR(got[i].CentreQ, known[i].CentreQ, 0.01 * known[i].CentreQ);
  }
}

}  // namespace
}  // namespace zentor
