#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/numeric/numeric.h"

namespace zentor {
namespace {

TEST(FitLevels, NormalisedByTheGeometricMeanInRange) {
  const std::vector<float> f{10, 20, 30, 40, 50};
  std::vector<double> y{8, 2, 8, -1, 100};
  FixDoubleLinearLevelAboutOneBetweenLimits(f, y, 5, 15, 45);  // 2, 8 and a skipped -1: mean 4
  EXPECT_DOUBLE_EQ(y[0], 2);
  EXPECT_DOUBLE_EQ(y[1], 0.5);
  EXPECT_DOUBLE_EQ(y[4], 25);
  y = {1, 4, 16, 0, 0};
  FixDoubleLinearLevelAboutOneBetweenLimits(f, y, 3, 0, 0);  // no range: the whole curve
  EXPECT_DOUBLE_EQ(y[1], 1);
  y = {1, 4, 16, 0, 0};
  FixDoubleLinearLevelAboutOneBetweenLimits(f, y, 5, 60, 90);  // nothing in range: the whole curve
  EXPECT_DOUBLE_EQ(y[2], 4);
  y = {0, -2, NAN};
  FixDoubleLinearLevelAboutOneBetweenLimits(f, y, 9, 0, 0);  // nothing usable: unchanged
  EXPECT_EQ(y[1], -2);
  std::vector<double> z{3, 5};
  LoudspeakerOriginZerosCompensation(f, z, 2, 4);
  EXPECT_EQ(z, (std::vector<double>{3, 5}));
}

}  // namespace
}  // namespace zentor
