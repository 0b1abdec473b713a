// What a fit point can carry, and the fit's small numeric routines.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "eqdesign/message_log.h"
#include "eqdesign/fit/peak_dip.h"
#include "support/fixture.h"

namespace zentor {
namespace {

using Texts = std::vector<std::string>;

class PeakDipTest : public test::ZentorTest {
 protected:
  int32_t Kind(int32_t n, const std::vector<double>& y, int32_t mode = 6) {
    return CheckPeakOrDip(n, y, static_cast<int32_t>(y.size()), mode, log.sink());
  }
  test::MessageLog log;
};

TEST_F(PeakDipTest, PeaksAndDipsAreToldByTheirNeighbours) {
  std::vector<double> y{1, 1, 1, 1, 2, 5, 2, 1, 1, 1, 1};
  EXPECT_EQ(Kind(5, y), kPointPeak);
  y[5] = 0;
  EXPECT_EQ(Kind(5, y), kPointDip);
  // One side level still counts.
  EXPECT_EQ(Kind(5, {0, 0, 0, 0, 1, 3, 3, 1, 0, 0, 0}), kPointPeak);
  EXPECT_EQ(Kind(5, {3, 3, 3, 3, 2, 0, 0, 2, 3, 3, 3}), kPointDip);
  EXPECT_TRUE(log.texts.empty());
}

TEST_F(PeakDipTest, AShoulderIsJudgedByItsCurvature) {
  std::vector<double> line, flat(11, 2.0), bendingUp, bendingDown;
  for (int i = 0; i < 11; ++i) {
    line.push_back(3.0 * i);
    bendingUp.push_back(double(i) * i);
    bendingDown.push_back(-double(i) * i + 40.0 * i);
  }
  EXPECT_EQ(Kind(5, line), kPointPeak);  // no second difference above 0
  EXPECT_EQ(Kind(5, flat), kPointPeak);
  EXPECT_EQ(Kind(5, bendingDown), kPointPeak);
  EXPECT_EQ(Kind(5, bendingUp), kPointDip);
  EXPECT_EQ(Kind(5, bendingUp, kModeCodeBode), kPointNeither);
  EXPECT_EQ(Kind(5, {0, 0, 0, 1, 3, 4, 5, 7, 8, 9, 9}), kPointNeither);  // bends both ways
}

TEST_F(PeakDipTest, PointsNearEitherEndAndNonFiniteLevelsAreNeither) {
  const std::vector<double> y{1, 1, 1, 1, 1, 9, 1, 1, 1, 1};
  EXPECT_EQ(Kind(4, y), kPointNeither);
  EXPECT_EQ(Kind(5, y), kPointPeak);  // count 10, n 5: tested
  EXPECT_EQ(Kind(6, y), kPointNeither);  // n = count - 4
  EXPECT_EQ(CheckPeakOrDip(6, y, 1000, 6, log.sink()), kPointNeither);  // the count is cut to the levels
  EXPECT_TRUE(log.texts.empty());

  std::vector<double> bad(11, 1.0);
  bad[7] = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(Kind(5, bad), kPointNeither);
  bad[7] = std::numeric_limits<double>::infinity();
  EXPECT_EQ(Kind(5, bad), kPointNeither);
  EXPECT_EQ(log.texts, (Texts{"Error 6543", "Error 6543"}));
}

TEST_F(PeakDipTest, SmallRoutines) {
  SingularityListRecord s;
  s.Count = 2;
  s.Freq = {1000, 2000, 3000};  // the third past the count
  EXPECT_TRUE(NearExistingFilter(2006.2, s, 1.0f));
  EXPECT_TRUE(NearExistingFilter(993.8, s, 1.0f));
  EXPECT_FALSE(NearExistingFilter(2006.3, s, 1.0f));
  EXPECT_FALSE(NearExistingFilter(3000, s, 1.0f));
  s.Count = -7;
  EXPECT_FALSE(NearExistingFilter(1000, s, 1.0f));

  EXPECT_DOUBLE_EQ(FitErrorToScore(0.001), 1.0);
  EXPECT_DOUBLE_EQ(FitErrorToScore(-0.002), 4.0);
  // 60 dB in T seconds is a time constant of T / 6.9: Q = π f T / 6.9.
  EXPECT_NEAR(DecayTimeToQ(50, 0.5f), std::numbers::pi * 50 * 0.5 / 6.9, 1e-5);
  EXPECT_NEAR(DecayTimeToQ(50, 0.5f), 11.38, 0.005);

  double b = 2;
  EXPECT_TRUE(TakeIfSmaller(1, b));
  EXPECT_EQ(b, 1.0);
  EXPECT_FALSE(TakeIfSmaller(1, b));
  EXPECT_EQ(b, 1.0);
  EXPECT_FALSE(NoSingularityFitted());

  SingularityFitWork w;
  w.NumPoints = 2;
  w.ResultB[0] = 2;
  w.ResultB[1] = 0.5;
  w.ResultB[2] = 8;  // past the window
  double q = 3;
  EXPECT_FALSE(InvertDipResponse(w, q, kPointPeak));
  EXPECT_EQ(q, 3.0);
  EXPECT_EQ(w.ResultB[0], 2.0);
  EXPECT_FALSE(InvertDipResponse(w, q, kPointDip));
  EXPECT_EQ(q, -3.0);
  EXPECT_EQ((std::vector<double>{w.ResultB[0], w.ResultB[1], w.ResultB[2]}), (std::vector<double>{0.5, 2, 8}));
}

TEST_F(PeakDipTest, TheReferenceWindowAndMatrix) {
  std::vector<double> y;
  std::vector<float> x;
  for (int i = 0; i < 30; ++i) {
    y.push_back(1.0 + i);
    x.push_back(80.0f + 2.0f * i);  // x(10) = 100 Hz
  }
  SingularityFitWork w;
  w.NumPoints = 5;
  LoadLevelWindow(w, kPointPeak, 10, y, log.sink());
  EXPECT_EQ(w.Level[0], 81.0);  // y(8)^2
  LoadLevelWindow(w, kPointDip, 10, y, log.sink());
  EXPECT_DOUBLE_EQ(w.Level[2], 1.0 / 121.0);
  EXPECT_TRUE(log.texts.empty());
  LoadLevelWindow(w, kPointPeak, 1, y, log.sink());  // would start before point 0
  EXPECT_EQ(log.texts, (Texts{"Error 4532"}));

  w.NumPoints = 7;
  w.NumQ = 3;
  w.NumFreq = 2;
  w.QGrid = {0, 0.707, 5};
  w.TrialFreq = {2 * std::numbers::pi * 100, 2 * std::numbers::pi * 90};
  ResponseMatrix M;
  log.texts.clear();
  EXPECT_FALSE(BuildResponseMatrix(w, M, x, 10, log.sink()));
  EXPECT_TRUE(log.texts.empty());
  EXPECT_DOUBLE_EQ(w.MatrixBlock[0], 2 * std::numbers::pi * 94);  // x(10 - 3)
  EXPECT_EQ(M(2, 0, 1), 1.0);  // Q 0: flat
  EXPECT_NEAR(M(5, 1, 1), 1.0, 1e-12);  // the pole pair's own Q: flat
  EXPECT_NEAR(M(3, 2, 0), std::pow(0.707 / 5, 2), 1e-12);  // at the pairs' centre
  const double wi = 2 * std::numbers::pi * x[9], F = w.TrialFreq[1], re = F * F - wi * wi;
  const double want = (re * re + std::pow(F * wi / 5, 2)) / (re * re + std::pow(F * wi / 0.707, 2));
  EXPECT_NEAR(M(2, 2, 1), want, 1e-12 * want);
  EXPECT_FALSE(BuildResponseMatrix(w, M, x, 2, log.sink()));  // starts before point 0
  EXPECT_EQ(log.texts, (Texts{"Error 3973"}));

  const std::vector<std::vector<double>> m{{0, 1}, {0, 3}, {0, 4}, {0, 4}};
  const std::vector<float> weights{2, 1, 5};
  log.texts.clear();
  EXPECT_DOUBLE_EQ(WeightedColumnDifferenceSum(m, 4, 1, weights, log.sink()), 4.0 * 2 + 1.0);
  EXPECT_DOUBLE_EQ(WeightedColumnDifferenceSum(m, 201, 1, weights, log.sink()), 0.0);
  EXPECT_DOUBLE_EQ(WeightedColumnDifferenceSum(m, 6, 1, weights, log.sink()), 9.0);  // the sum so far
  EXPECT_EQ(log.texts, (Texts{"Error 4382", "ResultLen = 6", "Index = 1"}));
}

}  // namespace
}  // namespace zentor
