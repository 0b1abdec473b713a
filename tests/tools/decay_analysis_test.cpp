// The decay computations against synthetic rooms of known reverberation time.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "core/filter_design.h"
#include "core/filter_run.h"
#include "core/records.h"
#include "display/curve_workers.h"
#include "support/fixture.h"
#include "tools/decay_analysis.h"
#include "tools/decay_signals.h"

namespace zentor {
namespace {

using test::AddDecayingTones;
using test::AddWhiteNoise;
using test::kDecayLength;
using test::kDecayOrder;
using test::kDecayRate;
using test::kZeroMsIndex;

constexpr size_t kBand256 = 11, kBand1024 = 17, kBand4096 = 23;

class DecayAnalysisTest : public test::ZentorTest {
 protected:
  // n curves of 2^17 samples, all silent.
  void LoadCurves(int n) {
    ResultsDataSetInfo[0].NumInSet = n;
    for (int k = 0; k < kMaxResults; ++k) ImpulseSet[static_cast<size_t>(k)].fill(0.0f);
  }
  std::span<float> Curve(int k) { return ImpulseSet[static_cast<size_t>(k)]; }

  struct RT60 {
    std::array<float, kDecayBands> x{}, y{}, counts{};
    int32_t pairsDone = 0;
  };
  // RT60 by band over the loaded pairs, fitted over 50..150 ms.
  RT60 Compute(int pairs, int32_t rate = kDecayRate) {
    RT60 r;
    const int32_t i0 = DecayIndexOfTime(50, rate), i1 = DecayIndexOfTime(150, rate);
    EXPECT_TRUE(ComputeRT60(pairs, kDecayOrder, rate, i0, i1, r.x, r.y, r.counts,
                            [&](int32_t p, bool) { EXPECT_EQ(p, r.pairsDone++); }));
    return r;
  }

  // Scratch for one pair's decay.
  std::vector<float> a = std::vector<float>(kDecayLength), b = std::vector<float>(kDecayLength),
                     c = std::vector<float>(kDecayLength), d = std::vector<float>(kDecayLength);
  DecayScratch Scratch() { return {a, b, c, d}; }
};

TEST_F(DecayAnalysisTest, BandsAreThirdOctavesFromSixteenHertz) {
  const auto& bands = DecayBands();
  EXPECT_NEAR(bands[0].centre, 20.16, 0.005);
  for (const auto& [k, centre] :
       {std::pair{kBand256, 256.0f}, {kBand1024, 1024.0f}, {kBand4096, 4096.0f}, {size_t{29}, 16384.0f}})
    EXPECT_EQ(bands[k].centre, centre) << k;
  EXPECT_NEAR(bands[0].lower, 17.96, 0.005);
  EXPECT_NEAR(bands[0].upper, 22.63, 0.005);
  EXPECT_NEAR(bands[29].lower, 14596, 0.5);
  EXPECT_NEAR(bands[29].upper, 18390, 0.5);
  for (size_t k = 1; k < bands.size(); ++k) EXPECT_NEAR(bands[k].lower, bands[k - 1].upper, 0.01 * bands[k].lower);
}

TEST_F(DecayAnalysisTest, CurvesPairOffOneTwoThreeFour) {
  // (the last curve of an odd set has no partner)
  for (const auto& [curve, count, a, b] : {std::tuple{0, 2, 0, 1}, {1, 2, 0, 1}, {1, 1, 0, 1}, {2, 3, 0, 1},
                                           {1, 3, 1, 0}, {2, 4, 2, 3}, {3, 4, 3, 2}, {4, 5, 0, 1}})
    EXPECT_EQ(PickCurvePair(curve, count), std::pair(a, b)) << curve << " of " << count;
}

TEST_F(DecayAnalysisTest, TimeAxisStartsFiftyMillisecondsEarly) {
  EXPECT_EQ(DecayIndexOfTime(0, 48000), 2400);
  EXPECT_EQ(DecayIndexOfTime(150, 48000), 9600);
  EXPECT_EQ(DecayIndexOfTime(-50, 44100), 0);
  std::vector<float> x(4);
  FillDecayTimeAxis(x, 4, 1000);
  EXPECT_EQ(x, (std::vector<float>{-50, -49, -48, -47}));
}

TEST_F(DecayAnalysisTest, EnergyTimeCurveFallsAtTheToneDecayRate) {
  AddDecayingTones(a, {{1000, 0.5}});
  const int32_t count = EnergyTimeCurve(a, kDecayOrder, kDecayRate, 900, 1100, b, c);
  ASSERT_GT(count, 48000);
  // 60 dB in 500 ms: 0.12 dB per ms, read between 50 and 300 ms.
  const double perMs = (a[kZeroMsIndex + 300 * 48] - a[kZeroMsIndex + 50 * 48]) / 250.0;
  EXPECT_NEAR(perMs, -0.12, 0.12 * 0.02);
}

TEST_F(DecayAnalysisTest, EnergyTimeCurveRefusesAnEmptyBandOrAWindowAsLongAsTheImpulse) {
  a[10] = 1;
  const std::vector<float> before = a;
  EXPECT_EQ(EnergyTimeCurve(a, kDecayOrder, kDecayRate, 1000, 1000, b, c), -1);
  // 2 Hz wide at 48 kHz: 36000 taps, more than 2^15 samples.
  EXPECT_EQ(EnergyTimeCurve(a, 15, kDecayRate, 1000, 1002, b, c), -1);
  EXPECT_EQ(a, before);
  EXPECT_GT(EnergyTimeCurve(a, 16, kDecayRate, 1000, 1002, b, c), 0);
}

TEST_F(DecayAnalysisTest, SchroederCurveOfIdenticalDecaysFallsAtTheirRate) {
  std::vector<float> h(kDecayLength), y(kDecayLength);
  AddDecayingTones(h, {{1024, 0.8}});
  const ProductDecay r = SchroederCurve(h, h, kDecayOrder, kDecayRate, 912, 1149, Scratch(), y);
  // The product of one curve with itself never turns the integral negative.
  EXPECT_EQ(r.usable, kDecayLength);
  EXPECT_FALSE(r.silent);
  EXPECT_NEAR(y[0], 0.0f, 1e-5);
  const double perMs = (y[kZeroMsIndex + 400 * 48] - y[kZeroMsIndex + 100 * 48]) / 300.0;
  EXPECT_NEAR(perMs, -60 / 800.0, 0.075 * 0.03);
  EXPECT_GE(*std::min_element(y.begin(), y.end()), kDecayFloorDb);
}

TEST_F(DecayAnalysisTest, SchroederCurveIsCutWhereIndependentNoiseTakesOver) {
  std::vector<float> h1(kDecayLength), h2(kDecayLength), y(kDecayLength);
  AddDecayingTones(h1, {{1024, 0.3}});
  AddDecayingTones(h2, {{1024, 0.3}});
  AddWhiteNoise(h1, 1e-3, 1);
  AddWhiteNoise(h2, 1e-3, 2);
  const ProductDecay cut = SchroederCurve(h1, h2, kDecayOrder, kDecayRate, 500, 5000, Scratch(), y);
  // The decay meets the floor (some 67 dB down in this band) after about 300 ms.
  EXPECT_LT(cut.usable, kDecayLength);
  EXPECT_GT(cut.usable, kZeroMsIndex + 48 * 150);

  // The same floor in both curves: the product is a square and never negative.
  const ProductDecay whole = SchroederCurve(h1, h1, kDecayOrder, kDecayRate, 500, 5000, Scratch(), y);
  EXPECT_EQ(whole.usable, kDecayLength);

  // A curve against its own negative is cut at the 0 ms point.
  std::vector<float> minus(h1);
  for (float& v : minus) v = -v;
  EXPECT_EQ(SchroederCurve(h1, minus, kDecayOrder, kDecayRate, 500, 5000, Scratch(), y).usable, kZeroMsIndex);

  // A silent product is reported, not scaled.
  const std::vector<float> silent(kDecayLength);
  EXPECT_TRUE(SchroederCurve(silent, silent, kDecayOrder, kDecayRate, 500, 5000, Scratch(), y).silent);
  EXPECT_EQ(y[0], kDecayFloorDb);
}

TEST_F(DecayAnalysisTest, RT60OfThreeDecayingTonesInTheirBands) {
  LoadCurves(2);
  for (int k : {0, 1}) AddDecayingTones(Curve(k), {{256, 1.2}, {1024, 0.8}, {4096, 0.5}});
  const RT60 r = Compute(1);
  EXPECT_EQ(r.pairsDone, 1);
  EXPECT_EQ(r.x[kBand1024], 1024.0f);
  EXPECT_NEAR(r.y[kBand256], 1200, 60);
  EXPECT_NEAR(r.y[kBand1024], 800, 40);
  EXPECT_NEAR(r.y[kBand4096], 500, 25);
  EXPECT_EQ(r.counts[kBand1024], 1.0f);
}

TEST_F(DecayAnalysisTest, PairsThatCancelDoNotCount) {
  LoadCurves(6);
  AddDecayingTones(Curve(0), {{1024, 1.0}});
  AddDecayingTones(Curve(1), {{1024, 1.0}});
  AddDecayingTones(Curve(2), {{1024, 0.7}});
  AddDecayingTones(Curve(3), {{1024, 0.7}}, -1.0);
  AddDecayingTones(Curve(4), {{1024, 0.5}});
  AddDecayingTones(Curve(5), {{1024, 0.5}});
  // Two of three pairs fall: the mean of their slopes, 0.06 and 0.12 dB per ms.
  const RT60 three = Compute(3);
  EXPECT_EQ(three.counts[kBand1024], 2.0f);
  EXPECT_NEAR(three.y[kBand1024], 60 / 0.09, 60 / 0.09 * 0.05);

  // Four pairs, two of them cancelling: two is not more than half.
  ResultsDataSetInfo[0].NumInSet = 8;
  AddDecayingTones(Curve(6), {{1024, 0.6}});
  AddDecayingTones(Curve(7), {{1024, 0.6}}, -1.0);
  const RT60 four = Compute(4);
  EXPECT_EQ(four.counts[kBand1024], 2.0f);
  EXPECT_EQ(four.y[kBand1024], 0.0f);
  EXPECT_EQ(four.pairsDone, 4);
}

TEST_F(DecayAnalysisTest, LongDecaysReadAtMostThreeSeconds) {
  LoadCurves(2);
  for (int k : {0, 1}) AddDecayingTones(Curve(k), {{1024, 4.0}});
  EXPECT_EQ(Compute(1).y[kBand1024], 3000.0f);
  for (const auto& [slopes, count, pairs, rt] : {std::tuple{-0.00005f, 1, 1, 0.0f}, {-0.1f, 1, 1, 600.0f},
                                                {-0.2f, 2, 3, 600.0f}, {-0.2f, 2, 4, 0.0f}, {0.1f, 0, 0, 0.0f}})
    EXPECT_EQ(RT60FromSlopes(slopes, count, pairs), rt) << slopes << " " << count << " of " << pairs;
}

TEST_F(DecayAnalysisTest, BandsTheRateCannotCarryReportNothingAndRunNoFilter) {
  LoadCurves(2);
  for (int k : {0, 1}) AddDecayingTones(Curve(k), {{1024, 0.8}}, 1.0, 1200, 24000);
  const int64_t before = DecayBandFilterRuns();
  const RT60 r = Compute(1, 24000);
  // At 24 kHz the bands from 10.3 kHz up reach 0.45 x rate.
  EXPECT_EQ(DecayBandFilterRuns() - before, 2 * 27);
  for (size_t k = 27; k < kDecayBands; ++k) EXPECT_EQ(r.y[k], 0.0f) << k;
  EXPECT_NEAR(r.y[kBand1024], 800, 40);
}

TEST_F(DecayAnalysisTest, ResultDoesNotDependOnTheNumberOfWorkers) {
  LoadCurves(4);
  for (int k = 0; k < 4; ++k) {
    AddDecayingTones(Curve(k), {{500, 0.9}, {2000, 0.6}});
    AddWhiteNoise(Curve(k), 1e-3, 20 + k);
  }
  CurveWorkerLimit = 1;
  const RT60 one = Compute(2);
  CurveWorkerLimit = 0;
  const RT60 many = Compute(2);
  EXPECT_EQ(one.y, many.y);
  EXPECT_EQ(one.counts, many.counts);
}

TEST_F(DecayAnalysisTest, BandPassWithItsOwnSectionMatchesTheSharedOne) {
  std::vector<float> x(16384), y(16384), scratch(16384);
  AddWhiteNoise(x, 1.0, 3);
  y = x;
  FilterBlock block, section;
  ClearFilterBlock(SectionFilterBlock);
  ASSERT_TRUE(BandPassFilterSignal(x, scratch, 48000, 14, 200, 3000, block, section));
  EXPECT_EQ(SectionFilterBlock.NumPoles, 0);  // the shared section is not touched
  ASSERT_TRUE(BandPassFilterSignal(y, scratch, 48000, 14, 200, 3000, block));
  EXPECT_EQ(x, y);
}

}  // namespace
}  // namespace zentor
