// The model run on a loaded set: grouping, headers, sums against closed forms.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "crossover/xover_form.h"
#include "crossover/xover_model.h"
#include "tools/tools_fixture.h"

namespace zentor::test {
namespace {

constexpr int32_t kRate = 48000;
constexpr int32_t kExp = 15;
constexpr int32_t kLen = 1 << kExp;
constexpr int32_t kAt = 4000;  // the measured impulse, clear of the 25 ms tapers

std::complex<double> Dft(int32_t curve, double hz) {
  std::complex<double> acc = 0;
  const double w = 2 * std::numbers::pi * hz / kRate;
  for (int32_t i = 0; i < kLen; ++i) acc += double(ImpulseSet[size_t(curve)][size_t(i)]) * std::polar(1.0, -w * i);
  return acc * std::polar(1.0, w * kAt);
}

// Analogue fourth-order Linkwitz-Riley at the corner the chain designs, evaluated
// where the bilinear transform maps hz.
std::complex<double> Lr4(double hz, double cornerHz, bool high) {
  const double omega = 2.0 * kRate * std::tan(std::numbers::pi * hz / kRate);
  const std::complex<double> s(0, omega / (cornerHz * 6.283));
  const std::complex<double> b2 = 1.0 / (s * s + std::sqrt(2.0) * s + 1.0);
  return high ? (s * s * b2) * (s * s * b2) : b2 * b2;
}

XoverSetRecord Lr(bool high, int32_t order, float corner) {
  XoverSetRecord r;
  (high ? r.HPOn : r.LPOn) = 1;
  (high ? r.HPType : r.LPType) = kFilterTypeLinkwitzRiley;
  (high ? r.HPOrder : r.LPOrder) = order;
  (high ? r.HPCorner : r.LPCorner) = corner;
  return r;
}

class XoverModelTest : public ToolsTest {
 protected:
  void Load(int32_t n) {
    SetMainDisplayForXover();
    LoadSet(n, kRate, kExp, [](int32_t k, int32_t i) { return i == kAt ? 1.0f + 0.25f * float(k) : 0.0f; });
    model.TakeBackup();
  }
  // The same unit impulse in every curve.
  void LoadSame(int32_t n) {
    SetMainDisplayForXover();
    LoadSet(n, kRate, kExp, [](int32_t, int32_t i) { return i == kAt ? 1.0f : 0.0f; });
    model.TakeBackup();
  }
  bool Run(const XoverSetArray& sets, XoverView view) { return RunXoverModel(model, sets, view, *w); }
  XoverModel model;
};

TEST_F(XoverModelTest, TwoWayLinkwitzRileySumsAreFlat) {
  for (int32_t order : {4, 8}) {
    LoadSame(2);
    XoverSetArray sets{Lr(false, order, 2000), Lr(true, order, 2000), {}};
    sets[0].Ways = 2;
    ASSERT_TRUE(Run(sets, XoverView::Sum));
    ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
    for (double f = 20; f <= 20000; f *= 1.25)
      EXPECT_NEAR(20 * std::log10(std::abs(Dft(0, f))), 20 * std::log10(0.5), 0.1) << order << " " << f;
  }
}

TEST_F(XoverModelTest, ThreeWaySumFollowsTheClosedForm) {
  LoadSame(3);
  XoverSetRecord mid = Lr(true, 4, 200);
  mid.LPOn = 1, mid.LPType = kFilterTypeLinkwitzRiley, mid.LPOrder = 4, mid.LPCorner = 2000;
  XoverSetArray sets{Lr(false, 4, 200), mid, Lr(true, 4, 2000)};
  sets[0].Ways = 3;
  ASSERT_TRUE(Run(sets, XoverView::Sum));
  double deepest = 0;
  for (double f = 20; f <= 20000; f *= 1.2) {
    const std::complex<double> want =
        Lr4(f, 200, false) + Lr4(f, 200, true) * Lr4(f, 2000, false) + Lr4(f, 2000, true);
    const double db = 20 * std::log10(std::abs(Dft(0, f)) / (0.3333 * std::abs(want)));
    EXPECT_NEAR(db, 0.0, 0.05) << f;
    deepest = std::min(deepest, 20 * std::log10(std::abs(want)));
  }
  EXPECT_LT(deepest, -0.05);  // the closed form has its dip
}

TEST_F(XoverModelTest, DelayedWayGivesACombFilter) {
  LoadSame(2);
  XoverSetArray sets{};
  sets[0].Ways = 2;
  sets[1].DelayMs = 0.5f;
  ASSERT_TRUE(Run(sets, XoverView::Sum));
  for (double f = 20; f <= 20000; f *= 1.1) {
    const double want = std::abs(std::cos(std::numbers::pi * f * 0.0005));
    if (20 * std::log10(want) < -20) continue;
    EXPECT_NEAR(20 * std::log10(std::abs(Dft(0, f)) / want), 0.0, 0.1) << f;
  }
}

TEST_F(XoverModelTest, GroupsTakeTheirWaysCurvesAndBaseHeaders) {
  Load(4);
  for (int32_t k = 0; k < 4; ++k) ResultsDataSetInfo[size_t(k)].MeasuredDistance = float(k + 1);
  ResultsDataSetInfo[3].PeriodExponent = 16;
  model.TakeBackup();
  XoverSetArray sets{};
  sets[0].Ways = 2;
  ASSERT_TRUE(Run(sets, XoverView::Set2));
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 2);
  EXPECT_EQ(ImpulseSet[0][kAt], 1.25f);
  EXPECT_EQ(ImpulseSet[1][kAt], 1.75f);
  EXPECT_EQ(ResultsDataSetInfo[0].MeasuredDistance, 1.0f);
  EXPECT_EQ(ResultsDataSetInfo[1].MeasuredDistance, 3.0f);
  EXPECT_EQ(ResultsDataSetInfo[0].PeriodExponent, 15);
  EXPECT_EQ(ResultsDataSetInfo[1].PeriodExponent, 16);
  const QByteArray once = StoreFingerprint();
  ASSERT_TRUE(Run(sets, XoverView::Set2));
  EXPECT_EQ(StoreFingerprint(), once);

  Load(7);
  sets[0].Ways = 3;
  ASSERT_TRUE(Run(sets, XoverView::Set3));
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 2);
  EXPECT_EQ(ImpulseSet[1][kAt], 1.0f + 0.25f * 5);
}

TEST_F(XoverModelTest, RefusalsAndRestore) {
  Load(1);
  XoverSetArray sets{};
  sets[0].Ways = 2;
  dialogs.Clear();
  dialogs.ExpectMessage();
  EXPECT_FALSE(Run(sets, XoverView::Sum));
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"User Error: Not Enough Measurements To Run This Filter"});
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 0);

  Load(4);
  const QByteArray measured = StoreFingerprint();
  sets[1].HPOn = 1, sets[1].HPType = kFilterTypeButterworth, sets[1].HPOrder = 2, sets[1].HPCorner = 22000;
  dialogs.Clear();
  dialogs.ExpectMessage();
  EXPECT_FALSE(Run(sets, XoverView::Sum));
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{
      "Error 8730: Crossover frequencies must lie between 15 Hz and 0.45 times the sample rate"});
  EXPECT_EQ(StoreFingerprint(), measured);
  EXPECT_TRUE(Run(sets, XoverView::Set1));  // set 2's corner is not used there
  EXPECT_NE(StoreFingerprint(), measured);
  model.RestoreBackup();
  EXPECT_EQ(StoreFingerprint(), measured);
}

TEST_F(XoverModelTest, RateCheckTakesOnlyTheCurvesOfTheRun) {
  XoverSetArray sets{};
  sets[0] = Lr(false, 4, 8000);  // below 0.45 x 48 kHz, above 0.45 x 12 kHz
  sets[0].Ways = 2;
  Load(5);
  model.SavedHeaders[1].SampleRate = model.SavedHeaders[4].SampleRate = 12000;  // set 2's, and an unused one
  EXPECT_TRUE(Run(sets, XoverView::Set1));
  dialogs.ExpectMessage();
  EXPECT_FALSE(Run(sets, XoverView::Sum));  // the sum filters curve 2 as well
}

}  // namespace
}  // namespace zentor::test
