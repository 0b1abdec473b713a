// The filter chain against analytic responses, measured by a direct DFT of the
// filtered impulse at single frequencies.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "crossover/xover_chain.h"
#include "support/fixture.h"

namespace zentor::test {
namespace {

constexpr int32_t kRate = 48000;
constexpr int32_t kN = 1 << 15;

struct Chain {
  std::vector<float> x = std::vector<float>(kN), scratch = std::vector<float>(kN);
  FilterBlock block{}, section{};
  XoverChainContext ctx{scratch, &block, &section, kRate};
  Chain() { x[0] = 1.0f; }
  bool Run(const XoverSetRecord& s, int32_t set = 0) { return ApplyXoverSet(s, set, x, kN, ctx); }
  std::complex<double> At(double hz) const {
    std::complex<double> acc = 0;
    const double w = 2 * std::numbers::pi * hz / kRate;
    for (int32_t i = 0; i < kN; ++i) acc += double(x[size_t(i)]) * std::polar(1.0, -w * i);
    return acc;
  }
  double Db(double hz) const { return 20 * std::log10(std::abs(At(hz))); }
};

// Analogue corner lands here after the bilinear transform without prewarp.
double Warped(double hz) { return kRate / std::numbers::pi * std::atan(std::numbers::pi * hz * 6.283 /
                                                                     (2 * std::numbers::pi) / kRate); }

class XoverChainTest : public ZentorTest {};

TEST_F(XoverChainTest, PlainSetGainInversionAndDelay) {
  Chain c;
  for (int32_t i = 0; i < kN; ++i) c.x[size_t(i)] = std::sin(0.37f * float(i)) + 0.1f;
  const std::vector<float> orig = c.x;
  XoverSetRecord s;
  ASSERT_TRUE(c.Run(s));
  EXPECT_EQ(c.x, orig);
  s.InvertFlag = 1;
  ASSERT_TRUE(c.Run(s));
  for (int32_t i = 0; i < kN; ++i) ASSERT_EQ(c.x[size_t(i)], -orig[size_t(i)]);
  EXPECT_EQ(XoverDelaySamples(1.0f, 48000), 48);
  EXPECT_EQ(XoverDelaySamples(0.010f, 48000), 0);
  EXPECT_EQ(XoverDelaySamples(0.011f, 48000), 1);
  EXPECT_EQ(XoverDelaySamples(0.0f, 48000), 0);
  Chain d;
  XoverSetRecord del;
  del.DelayMs = 1.0f;
  ASSERT_TRUE(d.Run(del));
  EXPECT_EQ(d.x[48], 1.0f);
  EXPECT_EQ(d.x[0], 0.0f);
}

TEST_F(XoverChainTest, ButterworthHighPassAndShelfMatchTheirAnalyticLevels) {
  Chain c;
  XoverSetRecord s;
  s.HPOn = 1;
  s.HPType = kFilterTypeButterworth;
  s.HPOrder = 4;
  s.HPCorner = 1000;
  ASSERT_TRUE(c.Run(s));
  EXPECT_NEAR(c.Db(Warped(1000)), -3.01, 0.05);
  EXPECT_NEAR(c.Db(10000), 0.0, 0.05);
  Chain sh;
  XoverSetRecord t;
  t.Shelf1On = 1;
  t.Shelf1Freq = 1000;
  t.Shelf1Level = 6.0206f;
  ASSERT_TRUE(sh.Run(t));
  EXPECT_NEAR(sh.Db(20), 0.0, 0.05);
  EXPECT_NEAR(sh.Db(20000), 6.02, 0.05);
}

TEST_F(XoverChainTest, FailingSectionsEndTheChain) {
  Chain c;
  XoverSetRecord s;
  s.LPOn = 1;
  s.LPType = kFilterTypeLinkwitzRiley;
  s.LPOrder = 3;
  s.GainDb = 6;
  dialogs.ExpectMessage();
  EXPECT_FALSE(c.Run(s));
  EXPECT_EQ(dialogs.MessageTexts().size(), 1u);
  EXPECT_EQ(c.x[0], 1.0f);  // gain never applied
  dialogs.Clear();
  s.LPType = kXoverNoFilter;
  dialogs.ExpectMessage();
  EXPECT_FALSE(c.Run(s, 1));
  EXPECT_EQ(dialogs.MessageTexts(),
            std::vector<std::string>{"Error 8728: Crossover set 2: a ticked section has no filter type"});
  // Constant Sum and order 0 are passed over.
  Chain d;
  XoverSetRecord t;
  t.HPOn = 1;
  t.HPType = kXoverConstantSum;
  t.HPOrder = 4;
  t.LPOn = 1;
  t.LPType = kFilterTypeButterworth;
  t.LPOrder = 0;
  EXPECT_TRUE(d.Run(t));
  EXPECT_EQ(d.x[0], 1.0f);
}

// Two ways behind a Linkwitz-Riley pair: the averaged sum is 0.5 x allpass; order 2
// needs one way inverted.
TEST_F(XoverChainTest, LinkwitzRileyPairsSumFlat) {
  for (int32_t order : {2, 4, 8}) {
    Chain lo, hi;
    XoverSetRecord a, b;
    a.LPOn = 1, a.LPType = kFilterTypeLinkwitzRiley, a.LPOrder = order, a.LPCorner = 2000;
    b.HPOn = 1, b.HPType = kFilterTypeLinkwitzRiley, b.HPOrder = order, b.HPCorner = 2000;
    b.InvertFlag = order == 2 ? 1 : 0;
    ASSERT_TRUE(lo.Run(a));
    ASSERT_TRUE(hi.Run(b, 1));
    for (double f : {20.0, 200.0, 1000.0, 2000.0, 4000.0, 20000.0})
      EXPECT_NEAR(20 * std::log10(std::abs(0.5 * (lo.At(f) + hi.At(f)))), 20 * std::log10(0.5), 0.1)
          << order << " " << f;
    if (order == 2) {
      Chain hi2;
      b.InvertFlag = 0;
      ASSERT_TRUE(hi2.Run(b, 1));
      EXPECT_LT(20 * std::log10(std::abs(lo.At(Warped(2000)) + hi2.At(Warped(2000)))), -20.0);
    }
  }
}

}  // namespace
}  // namespace zentor::test
