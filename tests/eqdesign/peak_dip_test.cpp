// What a fit point can carry, and the fit's small numeric routines.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "eqdesign/peak_dip.h"
#include "support/fixture.h"

namespace zentor {
namespace {

struct Said {
  std::vector<std::string> texts;
  MessageSink sink() {
    return [this](const std::string& t) { texts.push_back(t); };
  }
};

class PeakDipTest : public test::ZentorTest {
 protected:
  int32_t Kind(int32_t n, const std::vector<double>& y, int32_t mode = 6) {
    return CheckPeakOrDip(n, y, static_cast<int32_t>(y.size()), mode, said.sink());
  }
  Said said;
};

TEST_F(PeakDipTest, PeaksAndDipsAreToldByTheirNeighbours) {
  std::vector<double> y{1, 1, 1, 1, 2, 5, 2, 1, 1, 1, 1};
  EXPECT_EQ(Kind(5, y), kPointPeak);
  y[5] = 0;
  EXPECT_EQ(Kind(5, y), kPointDip);
  // One side level still counts; both sides level is a flat stretch.
  EXPECT_EQ(Kind(5, {0, 0, 0, 0, 1, 3, 3, 1, 0, 0, 0}), kPointPeak);
  EXPECT_EQ(Kind(5, {3, 3, 3, 3, 2, 0, 0, 2, 3, 3, 3}), kPointDip);
  EXPECT_TRUE(said.texts.empty());
}

TEST_F(PeakDipTest, AShoulderIsJudgedByItsCurvature) {
  std::vector<double> line, flat(11, 2.0), bendingUp, bendingDown, sCurve;
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
  // Bending up and down within the five points: neither.
  sCurve = {0, 0, 0, 1, 3, 4, 5, 7, 8, 9, 9};
  EXPECT_EQ(Kind(5, sCurve), kPointNeither);
  EXPECT_TRUE(said.texts.empty());
}

TEST_F(PeakDipTest, PointsNearEitherEndAreNeither) {
  const std::vector<double> y{1, 1, 1, 1, 9, 1, 1, 1, 1, 1};  // a peak at 4
  EXPECT_EQ(Kind(4, y), kPointNeither);
  std::vector<double> ten{1, 1, 1, 1, 1, 9, 1, 1, 1, 1};
  EXPECT_EQ(Kind(5, ten), kPointPeak);  // count 10, n 5: tested
  EXPECT_EQ(Kind(6, ten), kPointNeither);  // n = count - 4
  // A count larger than the levels held is cut to them.
  EXPECT_EQ(CheckPeakOrDip(5, ten, 1000, 6, said.sink()), kPointPeak);
  EXPECT_EQ(CheckPeakOrDip(6, ten, 1000, 6, said.sink()), kPointNeither);
  EXPECT_EQ(CheckPeakOrDip(-3, ten, 10, 6, said.sink()), kPointNeither);
  EXPECT_TRUE(said.texts.empty());
}

TEST_F(PeakDipTest, ANonFiniteLevelIsReported) {
  std::vector<double> y(11, 1.0);
  y[7] = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(Kind(5, y), kPointNeither);
  y[7] = std::numeric_limits<double>::infinity();
  EXPECT_EQ(Kind(5, y), kPointNeither);
  EXPECT_EQ(said.texts, (std::vector<std::string>{"Error 6543", "Error 6543"}));
}

TEST_F(PeakDipTest, SmallRoutines) {
  SingularityListRecord s;
  s.Count = 2;
  s.Freq[0] = 1000;
  s.Freq[1] = 2000;
  s.Freq[2] = 3000;  // past the count
  EXPECT_TRUE(NearExistingFilter(2006.2, s, 1.0f));
  EXPECT_TRUE(NearExistingFilter(993.8, s, 1.0f));
  EXPECT_FALSE(NearExistingFilter(2006.3, s, 1.0f));
  EXPECT_FALSE(NearExistingFilter(3000, s, 1.0f));
  s.Count = 0;
  EXPECT_FALSE(NearExistingFilter(1000, s, 1.0f));
  s.Count = -7;
  EXPECT_FALSE(NearExistingFilter(1000, s, 1.0f));

  EXPECT_DOUBLE_EQ(FitErrorToScore(0.001), 1.0);
  EXPECT_DOUBLE_EQ(FitErrorToScore(-0.002), 4.0);

  // 60 dB in T seconds: a time constant of T / 6.9, so Q = π f T / 6.9.
  EXPECT_NEAR(DecayTimeToQ(50, 0.5f), std::numbers::pi * 50 * 0.5 / 6.9, 1e-5);
  EXPECT_NEAR(DecayTimeToQ(50, 0.5f), 11.38, 0.005);

  double b = 2;
  EXPECT_TRUE(TakeIfSmaller(1, b));
  EXPECT_EQ(b, 1.0);
  EXPECT_FALSE(TakeIfSmaller(1, b));
  EXPECT_FALSE(TakeIfSmaller(5, b));
  EXPECT_EQ(b, 1.0);
  EXPECT_FALSE(NoSingularityFitted());
}

TEST_F(PeakDipTest, OnlyADipInvertsItsResult) {
  SingularityFitWork w;
  w.NumPoints = 3;
  w.ResultB = {};
  w.ResultB[0] = 2;
  w.ResultB[1] = 4;
  w.ResultB[2] = 0.5;
  w.ResultB[3] = 8;  // past the window
  double q = 3;
  EXPECT_FALSE(InvertDipResponse(w, q, kPointPeak));
  EXPECT_FALSE(InvertDipResponse(w, q, kPointNeither));
  EXPECT_EQ(q, 3.0);
  EXPECT_EQ(w.ResultB[0], 2.0);
  EXPECT_FALSE(InvertDipResponse(w, q, kPointDip));
  EXPECT_EQ(q, -3.0);
  EXPECT_EQ(w.ResultB[0], 0.5);
  EXPECT_EQ(w.ResultB[1], 0.25);
  EXPECT_EQ(w.ResultB[2], 2.0);
  EXPECT_EQ(w.ResultB[3], 8.0);
  w.NumPoints = 100000;  // damaged: stops at the array's end
  InvertDipResponse(w, q, kPointDip);
  EXPECT_EQ(w.ResultB[3], 0.125);
}

TEST_F(PeakDipTest, TheLevelWindowHoldsSquaresOrInverseSquares) {
  std::vector<double> y;
  for (int i = 0; i < 20; ++i) y.push_back(1.0 + i);
  SingularityFitWork w;
  w.NumPoints = 5;
  LoadLevelWindow(w, kPointPeak, 10, y, said.sink());
  EXPECT_EQ(w.Level[0], 81.0);   // y(8)
  EXPECT_EQ(w.Level[4], 169.0);  // y(12)
  LoadLevelWindow(w, kPointDip, 10, y, said.sink());
  EXPECT_DOUBLE_EQ(w.Level[2], 1.0 / 121.0);
  EXPECT_TRUE(said.texts.empty());

  LoadLevelWindow(w, kPointPeak, 1, y, said.sink());  // would start at -1
  LoadLevelWindow(w, kPointPeak, 18, y, said.sink());  // would end past the curve
  EXPECT_EQ(said.texts, (std::vector<std::string>{"Error 4532", "Error 4532"}));
  EXPECT_DOUBLE_EQ(w.Level[2], 1.0 / 121.0);
}

TEST_F(PeakDipTest, TheResponseMatrixIsAZeroPairOverAPolePair) {
  std::vector<float> x;
  for (int i = 0; i < 30; ++i) x.push_back(80.0f + 2.0f * i);
  SingularityFitWork w;
  w.NumPoints = 7;
  w.NumQ = 3;
  w.NumFreq = 2;
  w.QGrid[0] = 0;
  w.QGrid[1] = 0.707;  // equal to the pole Q: flat
  w.QGrid[2] = 5;
  w.TrialFreq[0] = 2 * std::numbers::pi * 100;
  w.TrialFreq[1] = 2 * std::numbers::pi * 90;
  ResponseMatrix M;
  EXPECT_FALSE(BuildResponseMatrix(w, M, x, 10, said.sink()));
  EXPECT_TRUE(said.texts.empty());
  EXPECT_DOUBLE_EQ(w.MatrixBlock[0], 2 * std::numbers::pi * 94);  // x(10 - 3)
  for (int i = 0; i < 7; ++i)
    for (int k = 0; k < 2; ++k) {
      EXPECT_EQ(M(i, 0, k), 1.0);
      EXPECT_NEAR(M(i, 1, k), 1.0, 1e-12);
    }
  // At its own frequency the pair gives (0.707 / Q)^2; x(10) = 100 Hz.
  EXPECT_NEAR(M(3, 2, 0), std::pow(0.707 / 5, 2), 1e-12);
  // Elsewhere, against |H(jω)|^2 from the pairs' polynomials.
  const double wi = 2 * std::numbers::pi * x[9], F = w.TrialFreq[1];
  const double re = F * F - wi * wi;
  const double want = (re * re + std::pow(F * wi / 5, 2)) / (re * re + std::pow(F * wi / 0.707, 2));
  EXPECT_NEAR(M(2, 2, 1), want, 1e-12 * want);

  EXPECT_FALSE(BuildResponseMatrix(w, M, x, 2, said.sink()));  // starts before point 0
  w.NumPoints = 41;
  EXPECT_FALSE(BuildResponseMatrix(w, M, x, 25, said.sink()));  // more than the matrix holds
  EXPECT_EQ(said.texts, (std::vector<std::string>{"Error 3973", "Error 3973"}));
}

TEST_F(PeakDipTest, WeightedColumnDifferences) {
  const std::vector<std::vector<double>> M{{0, 1}, {0, 3}, {0, 4}, {0, 4}};
  const std::vector<float> w{2, 1, 5};
  EXPECT_DOUBLE_EQ(WeightedColumnDifferenceSum(M, 4, 1, w, said.sink()), 4.0 * 2 + 1.0 * 1 + 0.0);
  EXPECT_DOUBLE_EQ(WeightedColumnDifferenceSum(M, 1, 1, w, said.sink()), 0.0);
  EXPECT_TRUE(said.texts.empty());

  EXPECT_DOUBLE_EQ(WeightedColumnDifferenceSum(M, 201, 1, w, said.sink()), 0.0);
  EXPECT_EQ(said.texts, (std::vector<std::string>{"Error 4382"}));
  said.texts.clear();
  // Past the matrix: the sum so far, and where it stopped.
  EXPECT_DOUBLE_EQ(WeightedColumnDifferenceSum(M, 6, 1, w, said.sink()), 9.0);
  EXPECT_EQ(said.texts, (std::vector<std::string>{"ResultLen = 6", "Index = 1"}));
}

}  // namespace
}  // namespace zentor
