// What the equaliser design reads of the frequency views: a result's response
// after the applied filters, the room averages with and without them, and the
// similarity listing of the curves.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "core/emulation.h"
#include "core/filter_design.h"
#include "core/filter_run.h"
#include "display/average_response.h"
#include "display/curve_similarity.h"
#include "display/filtered_response.h"
#include "support/curve_sets.h"
#include "views_fixture.h"

namespace zentor {
namespace {

constexpr int32_t kFs = 48000;
constexpr float kTwoPi = 2 * std::numbers::pi_v<float>;
using Texts = std::vector<std::string>;

// One applied filter of `level` dB (boost above 0) with centre Q q at f Hz.
FilterRecord Peak(float f, float level, float q, int32_t code) {
  FilterRecord r;
  r.Kind = 2;
  r.Freq1 = kTwoPi * f;
  r.Q1 = ConvertQForFilterType(q, level, code);
  r.Q2 = std::fabs(r.Q1) / std::pow(10.0f, std::fabs(level) / 20);
  r.EQEmulationCode = code;
  return r;
}

void Apply(std::vector<FilterRecord> filters) {
  for (size_t i = 0; i < filters.size(); ++i) AppliedFilters[i] = filters[i];
  AppliedFilters[0].Count = static_cast<int32_t>(filters.size());
}

class EqualiserViewsTest : public test::ViewsTest {
 protected:
  // n results holding a unit impulse at time zero (50 ms in), scaled by `amplitude`.
  void LoadImpulses(int32_t n, float amplitude = 1.0f) {
    LoadSet(n, kFs, 17);
    for (int32_t i = 0; i < n; ++i) ImpulseSet[static_cast<size_t>(i)][2400] = amplitude;
  }
};

TEST_F(EqualiserViewsTest, FilteredBodeResponseOfAUnitImpulseIsEachPeaksAnalogueResponse) {
  LoadImpulses(1);
  host.displayRes = 0;
  // Its lowest frequency falls on a bin of the 4096-point transform.
  ResultsDataSetInfo[0].FreqRespGateTime = 1000.0f / 46.875f;
  for (float level : {6.0f, -6.0f}) {
    Apply({Peak(1000, level, 4, 3), Peak(3000, 3, 2, 3)});
    AppliedFilters[1].Q1 = -AppliedFilters[1].Q2;  // |Q1| = |Q2|: changes nothing
    CurveRecord c;
    ASSERT_TRUE(ComputeFilteredResponse(host, c, AppliedFilters, WorkFilterBlock, kFs, kBodeView, 0));
    ASSERT_GT(c.NumPoints, 1000);
    std::vector<float> oracle(static_cast<size_t>(c.NumPoints), 1.0f);
    ComputeFilterBlockResponseDb(oracle, c.XValues, c.NumPoints, kFs, kTwoPi * 1000.0, AppliedFilters[0].Q1,
                                 AppliedFilters[0].Q2);
    int compared = 0;
    for (size_t i = 0; i < size_t(c.NumPoints); ++i) {
      const float f = c.XValues[i];
      if (f < 50 || f > 15000) continue;
      ASSERT_NEAR(c.YValues[i], oracle[i], 0.05) << f << " Hz";
      if (std::fabs(f - 1000) < 6) {
        EXPECT_NEAR(c.YValues[i], level, 0.1);
      }
      ++compared;
    }
    EXPECT_GT(compared, 1000);
  }
  EXPECT_TRUE(Messages().empty());
  CurveRecord untouched;
  EXPECT_FALSE(ComputeFilteredResponse(host, untouched, AppliedFilters, WorkFilterBlock, kFs, kBodeView, 1));
  EXPECT_FALSE(ComputeFilteredResponse(host, untouched, AppliedFilters, WorkFilterBlock, kFs, kImpulseView, 0));
  EXPECT_EQ(untouched.NumPoints, 0);
}

TEST_F(EqualiserViewsTest, PoleSideQValuesAtTheirLimitsAreReported) {
  FilterBlock block;
  std::vector<FilterRecord> f(2);
  f[0] = Peak(1000, -6, 4, 3);
  f[0].Q2 = 0.05f;
  f[0].Q1 = 0.1f;
  f[0].Count = 1;
  EXPECT_EQ(BuildPeakingSections(f, block, kFs).size(), 1u);
  EXPECT_TRUE(Messages().empty());

  f[0].Q2 = std::nextafter(0.05f, 0.0f);
  dialogs.ExpectMessage();
  EXPECT_EQ(BuildPeakingSections(f, block, kFs).size(), 1u);  // reported, and still run
  EXPECT_EQ(Messages(), (Texts{"Error 7392"}));

  // Only above half the sample rate does the cookbook's adapted Q turn negative,
  // and there the section has no digital form.
  dialogs.Clear();
  f[0] = Peak(1.5f * kFs / 2, 6, 2, 2);
  f[0].Count = 1;
  for (int m = 0; m < 3; ++m) dialogs.ExpectMessage();
  EXPECT_TRUE(BuildPeakingSections(f, block, kFs).empty());
  EXPECT_EQ(Messages(), (Texts{"Error 7392", "Error 7393", "Error 7122"}));
}

TEST_F(EqualiserViewsTest, BodeAveragesInPowerAndTheOtherViewsInDecibels) {
  LoadSet(2, kFs, 17);
  MeasurementHeader& set = ResultsDataSetInfo[0];
  set.FreqRespGateTime = 5.5f;
  test::FlatCurve(BodeCurves, 0, 100, 0.0f);
  test::FlatCurve(BodeCurves, 1, 100, -10.0f);
  BodeCurves[0].Label = "filed";
  CurveRecord plain, filtered;
  float unused = 0, gate = 5.5f, res = 0.25f;
  ComputeAverageResponse(host, BodeCurves, plain, filtered, AppliedFilters, FreqGraphFrame, kBodeView, unused, gate,
                         res);
  ASSERT_EQ(plain.NumPoints, 100);
  EXPECT_NEAR(plain.YValues[50], 10 * std::log10((1 + 0.1) / 2), 1e-4);  // -2.596 dB
  EXPECT_EQ(plain.XValues[99], 20000.0f);
  EXPECT_EQ(Texts({plain.Label, filtered.Label}), (Texts{"FFT mag 5.5 ms", "FFT mag 5.5 ms*"}));
  EXPECT_EQ(filtered.NumPoints, 100);
  EXPECT_EQ(std::tuple(DisplayConfig.Graphshown, DisplayConfig.Average), std::tuple(kBodeView, kTrue));
  // The filed curves were current: no rebuild, and the bar moved only for the filtered pass.
  EXPECT_EQ(BodeCurves[0].Label, "filed");
  EXPECT_EQ(host.progressMaxima, (std::vector<int32_t>{3}));
  EXPECT_EQ(host.progressValue, 0);

  set.FractOctGateTime = 100;
  set.FractOctRes = 1.0f / 3;
  test::FlatCurve(FractOctCurves, 0, 100, 0.0f);
  test::FlatCurve(FractOctCurves, 1, 100, -10.0f);
  float octGate = 100, octRes = 1.0f / 3;
  ComputeAverageResponse(host, FractOctCurves, plain, filtered, AppliedFilters, FreqGraphFrame, kFractOctView, unused,
                         octGate, octRes);
  EXPECT_NEAR(plain.YValues[0], -5.0f, 1e-5);
  EXPECT_EQ(Texts({plain.Label, filtered.Label}), (Texts{"FractOct 0.33 Oct/100 ms", "FractOct 0.33 Oct/100 ms*"}));
  EXPECT_TRUE(Messages().empty());
}

TEST_F(EqualiserViewsTest, AverageRebuildsTheCurvesForNewSettingsAndAppliesTheFilters) {
  LoadImpulses(2, 2.0f);  // +6.02 dB flat
  MeasurementHeader& set = ResultsDataSetInfo[0];
  set.FreqRespGateTime = 5.5f;
  host.displayRes = 0;
  test::FlatCurve(BodeCurves, 0, 100, 40.0f);
  test::FlatCurve(BodeCurves, 1, 100, 40.0f);
  BodeCurves[0].Label = BodeCurves[1].Label = "filed";
  Apply({Peak(1000, 6, 2, 3)});
  CurveRecord plain, filtered;
  float unused = 0, gate = 1000.0f / 46.875f, res = 0;
  ComputeAverageResponse(host, BodeCurves, plain, filtered, AppliedFilters, FreqGraphFrame, kBodeView, unused, gate,
                         res);
  EXPECT_EQ(set.FreqRespGateTime, gate);
  EXPECT_EQ(Texts({BodeCurves[0].Label, BodeCurves[1].Label}), (Texts{" 1", " 2"}));
  EXPECT_EQ(host.progressMaxima, (std::vector<int32_t>{3, 3}));
  ASSERT_GT(plain.NumPoints, 100);
  const float twice = 20 * std::log10(2.0f);
  for (size_t i = 0; i < size_t(plain.NumPoints); ++i) {
    const float f = plain.XValues[i];
    EXPECT_NEAR(plain.YValues[i], twice, 1e-3) << f;
    if (std::fabs(f - 1000) < 6) {
      EXPECT_NEAR(filtered.YValues[i], twice + 6, 0.05);
    }
    if (f > 100 && f < 150) {
      EXPECT_NEAR(filtered.YValues[i], twice, 0.2);
    }
  }
}

TEST_F(EqualiserViewsTest, AverageOfNoCurveEndsWithItsErrorAndTheViewName) {
  LoadSet(0, kFs, 17);
  CurveRecord plain, filtered;
  float p7 = 0, gate = ResultsDataSetInfo[0].FreqRespGateTime, p9 = 0;
  dialogs.ExpectMessage();
  dialogs.ExpectMessage();
  ComputeAverageResponse(host, BodeCurves, plain, filtered, AppliedFilters, FreqGraphFrame, kBodeView, p7, gate, p9);
  EXPECT_EQ(Messages(), (Texts{"Error 4584", "FREQRESPSHOWN "}));
}

class SimilarityTest : public EqualiserViewsTest {
 protected:
  // Curve i with the given linear amplitudes at 100, 200, ... Hz.
  void Curve(int i, std::vector<double> amplitude) {
    test::FlatCurve(BodeCurves, i, static_cast<int>(amplitude.size()), 0, 100,
                    100.0f * static_cast<float>(amplitude.size()));
    for (size_t j = 0; j < amplitude.size(); ++j)
      BodeCurves[static_cast<size_t>(i)].YValues[j] = static_cast<float>(20 * std::log10(amplitude[j]));
  }
  Texts List(float lo, float hi, int32_t k) {
    EXPECT_EQ(ListCurveSimilarities(host, BodeCurves, lo, hi, k), "");
    return host.lines;
  }
};

TEST_F(SimilarityTest, ShiftedCurvesFollowAndMirroredCurvesOppose) {
  LoadSet(3, kFs, 17);
  Curve(0, {1, 3, 2, 5, 4, 6});
  Curve(1, {2, 6, 4, 10, 8, 12});  // 6 dB above
  // Mirrored about the mean level in dB: 1/x.
  Curve(2, {1, 1 / 3.0, 1 / 2.0, 1 / 5.0, 1 / 4.0, 1 / 6.0});
  const Texts heads{" Curve Similarities", " "};
  Texts most = heads;
  most.insert(most.end(), {" Corr 1 - 2 = 1", " Corr 1 - 3 = -1"});
  EXPECT_EQ(List(50, 650, 0), most);
  EXPECT_EQ(CurveSimilarityCount, 3);
  EXPECT_EQ(CurveSimilarityOrder[0], 0);  // the reference scores 1, first by number

  host.mostSimilarFirst = false;
  Texts least = heads;
  least.insert(least.end(), {" Corr 1 - 3 = -1", " Corr 1 - 2 = 1"});
  EXPECT_EQ(List(50, 650, 0), least);

  // Values are cut toward zero to two decimals: S1/S2 = (1 - b)/(1 + b) = 0.876.
  const double b = (1 - 0.876) / 1.876;
  Curve(0, {1, 2, 3, 5, 5, 5});
  Curve(1, {1, 2, 2 - b, 5, 5, 5});
  Curve(2, {3, 2, 2 + b, 5, 5, 5});
  host.mostSimilarFirst = true;
  EXPECT_EQ(List(50, 450, 0), (Texts{" Curve Similarities", " ", " Corr 1 - 2 = 0.87", " Corr 1 - 3 = -0.87"}));
  EXPECT_EQ(List(50, 450, 2)[2], " Corr 3 - 1 = -0.87");
  EXPECT_TRUE(Messages().empty());
}

TEST_F(SimilarityTest, AnEmptyWindowOrCurveListsOnlyTheHeader) {
  LoadSet(3, kFs, 17);
  Curve(0, {1, 2, 3, 4});
  Curve(1, {1, 2, 3, 4});
  BodeCurves[2].NumPoints = 0;  // left out, not ranked on a stale value
  EXPECT_EQ(List(50, 450, 0).size(), 3u);
  EXPECT_EQ(CurveSimilarityCount, 2);
  dialogs.ExpectMessage();
  EXPECT_EQ(List(300, 300, 0), (Texts{" Curve Similarities", " "}));
  EXPECT_EQ(Messages(), (Texts{"Error 5428"}));
  EXPECT_EQ(List(50, 450, 2), (Texts{" Curve Similarities", " "}));
  EXPECT_EQ(List(50, 450, 40), (Texts{" Curve Similarities", " "}));
}

}  // namespace
}  // namespace zentor
