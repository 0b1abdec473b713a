#include "core/filter_design.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <array>
#include <cstring>
#include <numbers>

#include "support/fixture.h"

namespace zentor {
namespace {

using test::ZentorTest;
using cd = std::complex<double>;

class FilterDesignTest : public ZentorTest {
 protected:
  FilterBlock Prototype(int order) {
    FilterBlock b;
    ClearFilterBlock(b);
    b.Domain = kDomainSPlane;
    b.NumPoles = order;
    return b;
  }
  static bool Same(const FilterBlock& a, const FilterBlock& b) {
    return std::memcmp(&a, &b, sizeof(FilterBlock)) == 0;
  }
  static void ExpectPole(const FilterBlock& b, int i, double re, double im, double tol = 1e-5) {
    EXPECT_NEAR(b.PoleRe[i], re, tol) << "pole " << i;
    EXPECT_NEAR(b.PoleIm[i], im, tol) << "pole " << i;
  }
  // H(s) straight from the roots.
  static cd Analog(const FilterBlock& b, cd s) {
    cd h = b.AnalogGain;
    for (int i = 0; i < b.NumZeros; ++i) h *= s - cd(b.ZeroRe[i], b.ZeroIm[i]);
    for (int i = 0; i < b.NumPoles; ++i) h /= s - cd(b.PoleRe[i], b.PoleIm[i]);
    return h;
  }
};

TEST_F(FilterDesignTest, ButterworthPolesLieOnTheUnitCircleWithTheRealPoleLast) {
  FilterBlock b = Prototype(2);
  ASSERT_TRUE(BuildButterworthPoles(b));
  ExpectPole(b, 0, -0.70711, 0.70711);
  ExpectPole(b, 1, -0.70711, -0.70711);
  EXPECT_EQ(b.FilterType, kFilterTypeButterworth);
  EXPECT_DOUBLE_EQ(b.AnalogGain, 1.0);
  b = Prototype(3);
  ASSERT_TRUE(BuildButterworthPoles(b));
  ExpectPole(b, 0, -0.5, 0.86603);
  ExpectPole(b, 2, -1.0, 0.0);
  EXPECT_EQ(b.PoleRe[3], 0.0) << "only the n entries in use are written";
  // Order 75 fills the whole list; every pole at |s| = 1, |H(j)| = -3 dB.
  b = Prototype(75);
  ASSERT_TRUE(BuildButterworthPoles(b));
  for (int i = 0; i < 75; ++i) EXPECT_NEAR(std::hypot(b.PoleRe[i], b.PoleIm[i]), 1.0, 1e-12);
  EXPECT_NEAR(20 * std::log10(std::abs(Analog(b, cd(0, 1)))), -3.0103, 1e-3);
}

// Every refusal of the design steps: its message (if any), false, the block untouched.
TEST_F(FilterDesignTest, RefusalsReportAndLeaveTheBlockUnchanged) {
  using Step = bool (*)(FilterBlock&);
  using Prep = void (*)(FilterBlock&);
  const Step butterworth = BuildButterworthPoles, lr = BuildLinkwitzRileyPrototype, bessel = BuildBesselPrototype,
             bilinear = BilinearTransformFilterBlock;
  const Step highPass = [](FilterBlock& b) { return LowPassToHighPass(b, 1.0); };
  const Step scale = [](FilterBlock& b) { return ScaleFilterBlockFrequency(b, 100); };
  const Prep none = [](FilterBlock&) {};
  const Prep inZ = [](FilterBlock& b) { BuildButterworthPoles(b); b.Domain = kDomainZPlane; };
  struct Case {
    const char* name;
    int order;
    Prep prepare;
    Step step;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"Butterworth 0", 0, none, butterworth, {}},
      {"Butterworth -1", -1, none, butterworth, {}},
      {"Butterworth 76", 76, none, butterworth, {}},
      {"Butterworth 1000", 1000, none, butterworth, {}},
      {"uncleared", 2, [](FilterBlock& b) { b.NumZeros = 1; }, butterworth, {"Error 7193: Uncleared filterblock"}},
      {"LR odd", 5, none, lr, {"Error 2834: Even valued of filter order required for LP LW response"}},
      {"LR 12", 12, none, lr, {"error 3430"}},
      {"LR 0", 0, none, lr, {"Error 8723: Butterworth filter execution error"}},
      {"Bessel 9", 9, none, bessel, {"Error 4523"}},
      {"HP in z", 2, inZ, highPass, {"Error 7021: Incorrect domain"}},
      {"HP zeros", 2, [](FilterBlock& b) { BuildButterworthPoles(b); b.NumZeros = 2; }, highPass, {"Error 0273: #zeros >= # poles"}},
      {"HP not LP", 2, [](FilterBlock& b) { BuildButterworthPoles(b); b.NumZeros = 1; }, highPass,
       {"Error 2943: Incorrect HP Transformation - Filter Not LP"}},
      {"HP pole at 0", 2, [](FilterBlock& b) { BuildButterworthPoles(b); b.PoleRe[1] = b.PoleIm[1] = 0; }, highPass,
       {"Error 9127: Poles at s= 0 in LP filter: Cannot transform to HP"}},
      {"scale in z", 2, inZ, scale, {"Error 6201: Incorrect Domain"}},
      {"bilinear in z", 2, inZ, bilinear, {"Error 7051: Incorrect domain"}},
      {"bilinear no rate", 1, [](FilterBlock& b) { b.PoleRe[0] = -1; }, bilinear,
       {"Error 3426: Filter sample rate not set -normally EQConfig.samplerate"}},
      {"bilinear zeros", 1, [](FilterBlock& b) { b.PoleRe[0] = -1, b.samplerate = 48000, b.NumZeros = 2; }, bilinear,
       {"Error 0213: #zeros <> # poles"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dialogs.Clear();
    for (size_t i = 0; i < c.messages.size(); ++i) dialogs.ExpectMessage();
    FilterBlock b = Prototype(c.order);
    c.prepare(b);
    const FilterBlock before = b;
    EXPECT_FALSE(c.step(b));
    EXPECT_EQ(dialogs.MessageTexts(), c.messages);
    EXPECT_TRUE(Same(b, before));
  }
  dialogs.Clear();
  dialogs.ExpectMessage();
  EXPECT_EQ(PrewarpFrequency(100, 0), 100);
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Error 4834"});
}

TEST_F(FilterDesignTest, LinkwitzRileyTakesTheButterworthSetTwiceInSections) {
  FilterBlock b = Prototype(4);
  ASSERT_TRUE(BuildLinkwitzRileyPrototype(b));
  EXPECT_EQ(b.NumPoles, 4);
  EXPECT_EQ(b.FilterType, kFilterTypeLinkwitzRiley);
  for (int i : {0, 2}) ExpectPole(b, i, -0.70711, 0.70711), ExpectPole(b, i + 1, -0.70711, -0.70711);
  // -6 dB at the corner, the Butterworth response squared.
  EXPECT_NEAR(20 * std::log10(std::abs(Analog(b, cd(0, 1)))), -6.0206, 1e-3);
  b = Prototype(6);
  ASSERT_TRUE(BuildLinkwitzRileyPrototype(b));
  ExpectPole(b, 1, -1, 0);
  for (int i : {2, 4}) ExpectPole(b, i, -0.5, 0.86603), ExpectPole(b, i + 1, -0.5, -0.86603);
  b = Prototype(10);
  ASSERT_TRUE(BuildLinkwitzRileyPrototype(b));
  ExpectPole(b, 0, -1, 0);
  ExpectPole(b, 1, -1, 0);
  for (int i = 2; i < 10; i += 2) {
    EXPECT_NEAR(b.PoleIm[i], -b.PoleIm[i + 1], 1e-12) << "a conjugate pair at " << i;
    EXPECT_GT(b.PoleIm[i], 0.1);
  }
  EXPECT_EQ(b.PoleRe[2], b.PoleRe[4]);
  EXPECT_NE(b.PoleRe[2], b.PoleRe[6]);
  EXPECT_NEAR(20 * std::log10(std::abs(Analog(b, cd(0, 1)))), -6.0206, 1e-3);
}

TEST_F(FilterDesignTest, BesselPrototypeHasUnitGainAtDcAndScalesToTheCorner) {
  FilterBlock b = Prototype(1);
  b.Domain = 0;
  ASSERT_TRUE(BuildBesselPrototype(b));
  EXPECT_EQ(b.Domain, kDomainSPlane);
  EXPECT_EQ(b.FilterType, kFilterTypeBessel);
  ASSERT_TRUE(ScaleFilterBlockFrequency(b, 1000));
  ExpectPole(b, 0, -1000, 0);
  EXPECT_NEAR(b.AnalogGain, 1000, 1e-9);
  for (int order = 1; order <= 8; ++order) {
    b = Prototype(order);
    ASSERT_TRUE(BuildBesselPrototype(b));
    EXPECT_NEAR(std::abs(Analog(b, cd(0, 0))), 1.0, 1e-12) << order;
    // Near -3 dB at 1 rad/s, poles in the left half plane.
    EXPECT_NEAR(20 * std::log10(std::abs(Analog(b, cd(0, 1)))), -3.0, 0.1) << order;
    for (int i = 0; i < order; ++i) EXPECT_LT(b.PoleRe[i], 0) << order;
    if (order == 5) ExpectPole(b, 4, -1.5069, 0);
  }
}

// High-pass (first and fourth order) and shelf against their closed forms.
TEST_F(FilterDesignTest, HighPassAndShelfFromThePrototypes) {
  FilterBlock b = Prototype(1);
  ASSERT_TRUE(BuildButterworthPoles(b));
  ASSERT_TRUE(LowPassToHighPass(b, 1.0));
  ASSERT_TRUE(ScaleFilterBlockFrequency(b, 2000));
  EXPECT_EQ(b.NumZeros, 1);
  EXPECT_EQ(std::hypot(b.ZeroRe[0], b.ZeroIm[0]), 0.0);
  ExpectPole(b, 0, -2000, 0, 1e-6);
  // In phase with the input far above the corner, -3 dB at it.
  EXPECT_NEAR(Analog(b, cd(0, 1e9)).real(), 1.0, 1e-5);
  EXPECT_NEAR(std::abs(Analog(b, cd(0, 2000))), std::sqrt(0.5), 1e-6);
  // Fourth order: |H(jw)|^2 = w^8 / (1 + w^8) for the normalised Butterworth high-pass.
  b = Prototype(4);
  ASSERT_TRUE(BuildButterworthPoles(b));
  ASSERT_TRUE(LowPassToHighPass(b, 1.0));
  for (double w : {0.1, 0.5, 1.0, 3.0, 1e6})
    EXPECT_NEAR(std::abs(Analog(b, cd(0, w))), std::sqrt(std::pow(w, 8) / (1 + std::pow(w, 8))), 1e-6) << w;
  // The shelf goes from unity at DC to its level above.
  b = Prototype(0);
  ASSERT_TRUE(BuildShelfPrototype(b, 6.0f));
  EXPECT_EQ(b.NumPoles + b.NumZeros, 2);
  EXPECT_NEAR(b.ZeroRe[0], -std::pow(10.0, -0.3), 1e-6);
  EXPECT_EQ(b.PoleRe[0], -1.0);
  ASSERT_TRUE(ScaleFilterBlockFrequency(b, 500));
  EXPECT_NEAR(20 * std::log10(std::abs(Analog(b, cd(0, 0)))), 0.0, 1e-5);
  EXPECT_NEAR(20 * std::log10(std::abs(Analog(b, cd(0, 1e9)))), 6.0, 1e-5);
}

TEST_F(FilterDesignTest, BilinearTransformMapsPolesAndFillsZerosAtMinusOne) {
  FilterBlock b = Prototype(1);
  b.samplerate = 48000;
  b.PoleRe[0] = -1000;
  b.AnalogGain = 1000;  // unit gain at DC
  ASSERT_TRUE(BilinearTransformFilterBlock(b));
  EXPECT_EQ(b.Domain, kDomainZPlane);
  EXPECT_NEAR(b.PoleRe[0], 95000.0 / 97000.0, 1e-12);
  EXPECT_NEAR(b.PoleIm[0], 0, 1e-15);
  EXPECT_EQ(b.NumZeros, 1);
  EXPECT_EQ(b.ZeroRe[0], -1.0);
  // H(z = 1) = g (1 + 1) / (1 - p) keeps unit DC gain.
  EXPECT_NEAR(b.DigitalGain * 2 / (1 - b.PoleRe[0]), 1.0, 1e-12);
  // A pole pair at the pre-warped corner lands on the unit circle's angle for that corner.
  const double fs = 48000, f = 5000;
  const double wa = PrewarpFrequency(2 * std::numbers::pi * f, fs);
  EXPECT_NEAR(wa, 2 * fs * std::tan(std::numbers::pi * f / fs), 1e-9);
  FilterBlock r = Prototype(2);
  r.samplerate = 48000;
  r.PoleRe[0] = r.PoleRe[1] = -1e-3 * wa;  // nearly undamped
  r.PoleIm[0] = wa;
  r.PoleIm[1] = -wa;
  ASSERT_TRUE(BilinearTransformFilterBlock(r));
  EXPECT_NEAR(std::atan2(r.PoleIm[0], r.PoleRe[0]), 2 * std::numbers::pi * f / fs, 1e-3);
}

TEST_F(FilterDesignTest, QuadraticAndResonanceRoots) {
  using Four = std::array<double, 4>;
  Four r{};
  ASSERT_TRUE(QuadraticRoots(1, 2, 5, r[0], r[1], r[2], r[3]));
  EXPECT_EQ(r, (Four{-1, 2, -1, -2}));
  ASSERT_TRUE(QuadraticRoots(1, -3, 2, r[0], r[1], r[2], r[3]));
  EXPECT_EQ(r, (Four{2, 0, 1, 0}));
  // Q = 0.5 is critical damping: a double real root at -w.
  ASSERT_TRUE(ResonanceRoots(0.5, 1570.8, r[0], r[1], r[2], r[3]));
  EXPECT_NEAR(r[0], -1570.8, 1e-9);
  EXPECT_NEAR(r[2], -1570.8, 1e-9);
  // Otherwise a pair on the circle of radius w with damping 1/(2Q).
  ASSERT_TRUE(ResonanceRoots(4, 1000, r[0], r[1], r[2], r[3]));
  EXPECT_NEAR(std::hypot(r[0], r[1]), 1000, 1e-9);
  EXPECT_NEAR(-r[0] / 1000, 1.0 / 8, 1e-12);

  r.fill(7);
  for (int i = 0; i < 3; ++i) dialogs.ExpectMessage();
  EXPECT_FALSE(QuadraticRoots(0, 1, 1, r[0], r[1], r[2], r[3]));
  EXPECT_FALSE(ResonanceRoots(0, 1000, r[0], r[1], r[2], r[3]));
  EXPECT_FALSE(ResonanceRoots(-2, 1000, r[0], r[1], r[2], r[3]));
  EXPECT_EQ(dialogs.MessageTexts(),
            (std::vector<std::string>{"Error 9283: Non Quadratic", "Error 4520", "Error 5329: Q < 0"}));
  EXPECT_EQ(r, (Four{7, 7, 7, 7}));
}

TEST_F(FilterDesignTest, ComplexHelpersAndPolynomialExpansion) {
  double re = 0, im = 0;
  EXPECT_FALSE(ComplexReciprocal(re, im));
  EXPECT_EQ(std::hypot(re, im), 0);
  re = 3, im = 4;
  ASSERT_TRUE(ComplexReciprocal(re, im));
  EXPECT_DOUBLE_EQ(re, 0.12);
  EXPECT_DOUBLE_EQ(im, -0.16);
  // The output may be one of the inputs: (1 + 2j)(3 - j) = 5 + 5j.
  double aRe = 1, aIm = 2;
  ComplexMultiply(aIm, aRe, -1, 3, aIm, aRe);
  EXPECT_EQ(std::pair(aRe, aIm), std::pair(5.0, 5.0));

  std::array<double, 4> pr{}, pi{};
  const double rr[] = {-1, -1, 2}, ri[] = {2, -2, 0};
  ASSERT_TRUE(ExpandRootsToPolynomial(pr.data(), pi.data(), 3, rr, ri));
  // (x^2 + 2x + 5)(x - 2) = x^3 + 0x^2 + x - 10
  const double expect[] = {1, 0, 1, -10};
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(std::abs(cd(pr[i], pi[i]) - expect[i]), 0, 1e-12) << i;
  dialogs.ExpectMessage();
  EXPECT_FALSE(ExpandRootsToPolynomial(pr.data(), pi.data(), 0, rr, ri));
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Error 8723: Expansion not necessary"});
}

TEST_F(FilterDesignTest, RealRootFirstAndSectionCopy) {
  FilterBlock b = Prototype(5);
  ASSERT_TRUE(BuildButterworthPoles(b));
  b.NumZeros = 3;
  b.ZeroIm = {1, -1, 0};
  b.ZeroRe = {0, 0, 5};
  const double pair0 = b.PoleIm[0];
  MoveRealRootFirst(b);
  ExpectPole(b, 0, -1, 0);
  EXPECT_EQ(b.PoleIm[1], pair0);
  EXPECT_EQ(std::pair(b.ZeroRe[0], b.ZeroIm[1]), std::pair(5.0, 1.0));

  FilterBlock t;
  ASSERT_TRUE(CopyFilterBlockSection(b, t, 1, 2));
  EXPECT_EQ(std::pair(t.NumPoles, t.NumZeros), std::pair(2, 2));
  EXPECT_EQ(t.PoleRe[0], b.PoleRe[1]);
  EXPECT_EQ(t.ZeroIm[1], b.ZeroIm[2]);
  ASSERT_TRUE(CopyFilterBlockSection(b, t, 3, 2));
  EXPECT_EQ(t.NumZeros, 0);
  b.Domain = kDomainZPlane;
  dialogs.ExpectMessage();
  EXPECT_FALSE(CopyFilterBlockSection(b, t, 0, 2));
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Error 8321"});
}

TEST_F(FilterDesignTest, EmulationQAdaptationAndQFromBandwidth) {
  const int fs = 48000;
  EXPECT_NEAR(AdaptEmulationQ(1, static_cast<float>(std::numbers::pi * fs / 2), 2, fs), 2 / std::numbers::pi, 1e-6);
  for (int code : {1, 3, 4, 5}) EXPECT_FLOAT_EQ(AdaptEmulationQ(2.5f, 6283, code, fs), 2.5f);
  EXPECT_EQ(AdaptEmulationQ(2.5f, 6283, 9, fs), 0);
  // Zero frequency or rate: the limit of the correction, q, after the message.
  for (int i = 0; i < 3; ++i) dialogs.ExpectMessage();
  EXPECT_FLOAT_EQ(AdaptEmulationQ(3, 0, 2, fs), 3);
  EXPECT_FLOAT_EQ(AdaptEmulationQ(3, 6283, 2, 0), 3);
  EXPECT_EQ(AdaptEmulationQ(0, 6283, 2, fs), 0);
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"Error 7234", "Error 7235", "Error 7236"}));
  EXPECT_FLOAT_EQ(AdaptEmulationQ(3, INFINITY, 2, fs), 3);

  EXPECT_NEAR(QFromBandwidthOctaves(1), std::sqrt(2.0), 1e-5);
  EXPECT_NEAR(QFromBandwidthOctaves(1.0f / 3), 4.318, 1e-3);
  EXPECT_EQ(QFromBandwidthOctaves(0), 0);
}

}  // namespace
}  // namespace zentor
