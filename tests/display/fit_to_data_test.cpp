// Axis limits from curve sets and the coordinate lock.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/records.h"
#include "display/fit_to_data.h"
#include "display/view_state.h"

namespace zentor {
namespace {

struct Limits {
  int32_t xs = 1, xf = 2, yl = 3, yh = 4;
  bool operator==(const Limits&) const = default;
};

void SetCurve(CurveArray& set, int i, int points, float x0, float x1, float y0, float y1) {
  CurveRecord& c = set[static_cast<size_t>(i)];
  c.NumPoints = points;
  for (int j = 0; j < points; ++j) {
    c.XValues[static_cast<size_t>(j)] = x0 + (x1 - x0) * j / (points - 1);
    c.YValues[static_cast<size_t>(j)] = y0 + (y1 - y0) * j / (points - 1);
  }
  set[0].NumCurves = std::max(set[0].NumCurves, i + 1);
}

TEST(FindCurveSetExtent, EnclosesEveryCurveWithWholeNumbers) {
  auto set = std::make_unique<CurveArray>();
  SetCurve(*set, 0, 50, 20.5f, 19000.2f, -3.7f, 12.2f);
  SetCurve(*set, 1, 50, 16.9f, 18000.0f, -10.2f, 0.0f);
  Limits l;
  FindCurveSetExtent(l.xs, l.xf, l.yl, l.yh, *set);
  EXPECT_EQ(l, (Limits{16, 19001, -10, 13}));  // cut towards zero; the upper ends one above
}

TEST(FindCurveSetExtent, SetsWithoutExtentLeaveTheLimits) {
  auto set = std::make_unique<CurveArray>();
  Limits l;
  FindCurveSetExtent(l.xs, l.xf, l.yl, l.yh, *set);  // empty
  EXPECT_EQ(l, Limits{});
  SetCurve(*set, 0, 10, 0, 100, -4, -4);  // flat
  SetCurve(*set, 1, 10, 0, 100, -4, -4);
  FindCurveSetExtent(l.xs, l.xf, l.yl, l.yh, *set);
  EXPECT_EQ(l, Limits{});
  (*set)[1].YValues[3] = std::numeric_limits<float>::quiet_NaN();
  (*set)[0].YValues[3] = 5;
  (*set)[0].NumCurves = 40;  // a corrupt count is held to the array
  FindCurveSetExtent(l.xs, l.xf, l.yl, l.yh, *set);
  EXPECT_TRUE(l.yh > l.yl || l == Limits{});
}

TEST(ApplyCoOrdLockLimits, TimeNarrowsFrequencyAndNoiseReplace) {
  CoOrdLockLimits = {-5, 25, 16, 20000, 20, -50, 20, 2000, 75, -10};
  Limits l{-10, 30, -7, 7};
  ApplyCoOrdLockLimits(l.xs, l.xf, l.yl, l.yh, kLockTime);
  EXPECT_EQ(l, (Limits{-5, 25, -7, 7}));
  l = {0, 10, -7, 7};
  ApplyCoOrdLockLimits(l.xs, l.xf, l.yl, l.yh, kLockTime);
  EXPECT_EQ(l, (Limits{0, 10, -7, 7}));  // already inside
  ApplyCoOrdLockLimits(l.xs, l.xf, l.yl, l.yh, kLockFrequency);
  EXPECT_EQ(l, (Limits{16, 20000, -50, 20}));
  ApplyCoOrdLockLimits(l.xs, l.xf, l.yl, l.yh, kLockNoise);
  EXPECT_EQ(l, (Limits{20, 2000, -10, 75}));
  CoOrdLockLimits = {};
}

TEST(FrameRules, NarrowLevelsWidenAndSpansStayDrawable) {
  GraphFrame f;
  f.YLow = 0, f.YHigh = 2;
  WidenNarrowLevelRange(f);
  EXPECT_EQ(f.YLow, -4);
  EXPECT_EQ(f.YHigh, 6);
  f.YLow = 3, f.YHigh = 3;  // m = 3: halves go to the even neighbour
  WidenNarrowLevelRange(f);
  EXPECT_EQ(f.YLow, -2);
  EXPECT_EQ(f.YHigh, 8);
  f.YLow = -50, f.YHigh = 20;
  WidenNarrowLevelRange(f);
  EXPECT_EQ(f.YLow, -50);

  f.XStart = 0, f.XFinish = 0;
  KeepFrameValid(f, true);
  EXPECT_EQ(f.XStart, 1);
  EXPECT_EQ(f.XFinish, 2);
  f.XStart = 30, f.XFinish = -5;
  KeepFrameValid(f, false);
  EXPECT_LT(f.XStart, f.XFinish);
  f.YLow = 10, f.YHigh = 10;
  KeepFrameValid(f, false);
  EXPECT_LT(f.YLow, f.YHigh);
}

}  // namespace
}  // namespace zentor
