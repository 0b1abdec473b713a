#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <complex>
#include <cstring>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

#include "core/filter_design.h"
#include "core/filter_run.h"
#include "support/fixture.h"

namespace zentor {
namespace {

using test::ZentorTest;
using cd = std::complex<double>;
constexpr double kPi = std::numbers::pi;

// Level in dB of a (long enough) impulse response at f Hz: a direct DFT sum.
double MeasuredDb(const std::vector<float>& h, double f, double fs) {
  cd sum = 0;
  for (size_t k = 0; k < h.size(); ++k) sum += double(h[k]) * std::polar(1.0, -2 * kPi * f * k / fs);
  return 20 * std::log10(std::abs(sum));
}

std::vector<float> Impulse(size_t n) {
  std::vector<float> x(n, 0.0f);
  x[0] = 1.0f;
  return x;
}

std::vector<double> LogFrequencies(double lo, double hi, int count) {
  std::vector<double> f;
  for (int i = 0; i < count; ++i) f.push_back(lo * std::pow(hi / lo, double(i) / (count - 1)));
  return f;
}

// Analogue frequency that a bilinear design at fs maps onto f.
double Warped(double f, double fs) { return 2 * fs * std::tan(kPi * f / fs); }

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
  static FilterRecord Peaking(float hz, float q1, float q2, int code = 1) {
    FilterRecord r;
    r.Freq1 = static_cast<float>(2 * kPi * hz);
    r.Q1 = q1;
    r.Q2 = q2;
    r.EQEmulationCode = code;
    return r;
  }
  // Runs a set over an impulse of 2^order samples.
  std::vector<float> ChainImpulse(std::vector<FilterRecord> records, int order, int fs) {
    if (!records.empty()) records[0].Count = static_cast<int32_t>(records.size());
    std::vector<float> x = Impulse(size_t{1} << order), scratch(x.size());
    EXPECT_TRUE(RunFilterChainOnSignal(x, scratch, order, fs, WorkFilterBlock, records));
    return x;
  }
};
using FilterRunTest = FilterDesignTest;

// Each design at its pre-warped corner against |H| in closed form (r = W / Wc): as
// analogue roots, and run digitally in sections over an impulse, read on the warped
// axis; poles in the left half plane, each complex pole beside its conjugate.
TEST_F(FilterDesignTest, DesignsMatchTheirClosedFormsAsAnalogueAndRunInSections) {
  const auto lowPass = [](int n) { return [n](double r) { return 1 / std::sqrt(1 + std::pow(r, 2 * n)); }; };
  const auto highPass = [](int n) { return [n](double r) { return std::pow(r, n) / std::sqrt(1 + std::pow(r, 2 * n)); }; };
  const auto lr = [](int n) { return [n](double r) { return 1 / (1 + std::pow(r, n)); }; };
  const auto hp = [](FilterBlock& b) { return BuildButterworthPoles(b) && LowPassToHighPass(b, 1.0); };
  const double g = std::pow(10.0, 0.3);
  struct Case {
    const char* name;
    int order, type, fs;  // fs 0: analogue only, fc in rad/s
    double fc;
    std::function<bool(FilterBlock&)> design;
    std::function<double(double)> magnitude;
  };
  const Case cases[] = {
      {"Butterworth 2", 2, kFilterTypeButterworth, 0, 1, BuildButterworthPoles, lowPass(2)},
      {"Butterworth 3", 3, kFilterTypeButterworth, 48000, 3000, BuildButterworthPoles, lowPass(3)},
      {"Butterworth 4", 4, kFilterTypeButterworth, 48000, 3000, BuildButterworthPoles, lowPass(4)},
      {"Butterworth 75", 75, kFilterTypeButterworth, 0, 1, BuildButterworthPoles, lowPass(75)},
      {"HP 1", 1, kFilterTypeButterworth, 48000, 2000, hp, highPass(1)},
      {"HP 4", 4, kFilterTypeButterworth, 0, 1, hp, highPass(4)},
      // The real pole goes into the first section, the last is a pair.
      {"HP 5", 5, kFilterTypeButterworth, 48000, 1000, hp, highPass(5)},
      {"LR 4", 4, kFilterTypeLinkwitzRiley, 0, 1, BuildLinkwitzRileyPrototype, lr(4)},
      {"LR 6", 6, kFilterTypeLinkwitzRiley, 0, 100, BuildLinkwitzRileyPrototype, lr(6)},
      {"LR 8", 8, kFilterTypeLinkwitzRiley, 48000, 2000, BuildLinkwitzRileyPrototype, lr(8)},
      {"LR 8 HP", 8, kFilterTypeLinkwitzRiley, 48000, 2000,
       [](FilterBlock& b) { return BuildLinkwitzRileyPrototype(b) && LowPassToHighPass(b, 1.0); },
       [](double r) { return std::pow(r, 8) / (1 + std::pow(r, 8)); }},
      // The first section alone would carry w^8 if the others had unit gain: beyond float range.
      {"LR 10 at 15 kHz", 10, kFilterTypeLinkwitzRiley, 96000, 15000, BuildLinkwitzRileyPrototype, lr(10)},
      {"Bessel 1", 1, kFilterTypeBessel, 48000, 1000, BuildBesselPrototype, lowPass(1)},
      // g (jW + w0/g) / (jW + w0) with g = 6 dB.
      {"shelf", 0, 0, 48000, 500, [](FilterBlock& b) { return BuildShelfPrototype(b, 6.0f); },
       [g](double r) { return g * std::abs(cd(1 / g, r) / cd(1, r)); }},
  };
  std::vector<float> lr8sum(16384, 0.0f);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FilterBlock b = Prototype(c.order);
    b.samplerate = c.fs;
    ASSERT_TRUE(c.design(b));
    EXPECT_EQ(b.FilterType, c.type ? c.type : b.FilterType);
    const double wc = c.fs ? PrewarpFrequency(2 * kPi * c.fc, c.fs) : c.fc;
    ASSERT_TRUE(ScaleFilterBlockFrequency(b, wc));
    for (double r : {0.0, 0.3, 1.0, 3.0, 1e6}) EXPECT_NEAR(std::abs(Analog(b, cd(0, r * wc))), c.magnitude(r), 1e-6) << r;
    for (int i = 0; i < b.NumPoles; ++i) {
      EXPECT_LT(b.PoleRe[i], 0) << i;
      if (std::fabs(b.PoleIm[i]) < 1e-9 * wc) continue;
      EXPECT_NEAR(std::abs(cd(b.PoleRe[i], b.PoleIm[i]) - cd(b.PoleRe[i + 1], -b.PoleIm[i + 1])), 0, 1e-9 * wc) << i;
      ++i;
    }
    if (!c.fs) continue;
    std::vector<float> x = Impulse(16384), scratch(16384);
    ASSERT_TRUE(RunFilterBlockInSections(x, scratch, c.fs, 16384, b));
    for (double f : LogFrequencies(20, 20000, 40)) {
      const double want = 20 * std::log10(c.magnitude(Warped(f, c.fs) / Warped(c.fc, c.fs)));
      // Single-precision samples give a floor far below the pass band.
      if (want > -70) {
        EXPECT_NEAR(MeasuredDb(x, f, c.fs), want, 0.05) << f;
      } else {
        EXPECT_LT(MeasuredDb(x, f, c.fs), -65) << f;
      }
    }
    EXPECT_TRUE(c.order != 5 || (SectionFilterBlock.NumPoles == 2 && std::fabs(SectionFilterBlock.PoleIm[0]) > 1e-3));
    if (c.order == 4) {  // the block is not changed: a second run gives the same samples
      std::vector<float> again = Impulse(16384);
      ASSERT_TRUE(RunFilterBlockInSections(again, scratch, c.fs, 16384, b));
      EXPECT_EQ(again, x);
      EXPECT_EQ(b.Domain, kDomainSPlane);
    }
    if (c.order == 8)
      for (size_t i = 0; i < x.size(); ++i) lr8sum[i] += x[i];
  }
  // The Linkwitz-Riley pair sums flat.
  for (double f : LogFrequencies(20, 20000, 40)) EXPECT_NEAR(MeasuredDb(lr8sum, f, 48000), 0.0, 0.1) << f;
  // Butterworth keeps its real pole last and writes only the entries in use; Linkwitz-Riley
  // puts its real poles first.
  FilterBlock b = Prototype(3);
  ASSERT_TRUE(BuildButterworthPoles(b));
  ExpectPole(b, 2, -1.0, 0.0);
  EXPECT_EQ(b.PoleRe[3], 0.0);
  b = Prototype(10);
  ASSERT_TRUE(BuildLinkwitzRileyPrototype(b));
  ExpectPole(b, 0, -1, 0);
  ExpectPole(b, 1, -1, 0);

  std::array<FilterSection, kMaxFilterRoots> s;
  for (const auto& [order, layout] : std::vector<std::pair<int, std::vector<int>>>{
           {6, {0, 2, 2, 2, 4, 2}}, {5, {0, 3, 3, 2}}, {3, {0, 3}}, {76, {}}}) {
    ASSERT_EQ(FilterSectionLayout(order, s), static_cast<int>(layout.size() / 2)) << order;
    for (size_t i = 0; i < layout.size(); i += 2)
      EXPECT_EQ(std::pair(s[i / 2].start, s[i / 2].count), std::pair(layout[i], layout[i + 1])) << order;
  }
}

// Every refusal of the design steps: its message (if any), false, the block untouched.
TEST_F(FilterDesignTest, RefusalsBilinearTransformAndBesselPrototypes) {
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

  // Past order 1 (in the first table) Bessel has no short closed form: unit gain at DC,
  // near -3 dB at 1 rad/s, poles on the left.
  for (int order = 2; order <= 8; ++order) {
    FilterBlock p = Prototype(order);
    p.Domain = 0;
    ASSERT_TRUE(BuildBesselPrototype(p));
    EXPECT_EQ(p.Domain, kDomainSPlane);
    EXPECT_NEAR(std::abs(Analog(p, cd(0, 0))), 1.0, 1e-12) << order;
    EXPECT_NEAR(20 * std::log10(std::abs(Analog(p, cd(0, 1)))), -3.0, 0.1) << order;
    for (int i = 0; i < order; ++i) EXPECT_LT(p.PoleRe[i], 0) << order;
    if (order == 5) ExpectPole(p, 4, -1.5069, 0);
  }
}

TEST_F(FilterDesignTest, RootsComplexHelpersSectionCopyAndEmulationQ) {
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

  dialogs.Clear();
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

  dialogs.Clear();
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

  dialogs.Clear();
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

// Level of a set of peaking records in dB: the analogue sections at their pre-warped
// centres read on the warped axis; code 2 narrows both Q values by sin(w0)/w0, w0 = w/fs.
double SetDb(const std::vector<FilterRecord>& set, double f, int fs) {
  const cd s(0, Warped(f, fs));
  double db = 0;
  for (const FilterRecord& r : set) {
    const double w0 = r.Freq1 / fs, k = r.EQEmulationCode == 2 ? std::sin(w0) / w0 : 1.0;
    const double wc = Warped(r.Freq1 / (2 * kPi), fs);
    const double qz = (r.Q1 > 0 ? r.Q1 : r.Q2) * k, qp = (r.Q1 > 0 ? r.Q2 : -r.Q1) * k;
    db += 20 * std::log10(std::abs((s * s + wc / qz * s + wc * wc) / (s * s + wc / qp * s + wc * wc)));
  }
  return db;
}

TEST_F(FilterRunTest, PeakingSetsResponsesRefusedRunsZPlaneBandPassAndIntegration) {
  const int fs = 48000;
  // Eleven sections at spread centres, then 27 (a full pass of the cascade and a padded
  // one): passes of one, two, three and four wavefronts are all reached.
  std::vector<FilterRecord> eleven, many;
  const double centres[] = {40, 50, 180, 400, 700, 1500, 2500, 4000, 6000, 11000, 15000};
  for (int i = 0; i < 11; ++i)
    eleven.push_back(Peaking(static_cast<float>(centres[i]), i % 2 ? 3.0f : -3.0f, 1.0f + 0.25f * i));
  for (int i = 0; i < 27; ++i)
    many.push_back(Peaking(static_cast<float>(30 * std::pow(1.25, i)), i % 3 ? 2.5f : -2.5f, 1.0f + 0.05f * i));
  struct Case {
    const char* name;
    std::vector<FilterRecord> set;
    int order;
    double centre, centreDb;
  };
  const Case cases[] = {
      {"boost", {Peaking(1000, -4, 2)}, 14, 1000, 6.0206},
      {"cut", {Peaking(1000, 4, 2)}, 14, 1000, -6.0206},
      {"two in a row add in dB", {Peaking(1000, -4, 2), Peaking(1000, -6, 3)}, 14, 1000, 12.041},
      {"cookbook code 2", {Peaking(8000, 8, 1, 2)}, 14, 8000, -18.062},
      {"eleven", eleven, 15, 1000, SetDb(eleven, 1000, fs)},
      {"27", many, 15, 1000, SetDb(many, 1000, fs)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<float> h = ChainImpulse(c.set, c.order, fs);
    EXPECT_NEAR(MeasuredDb(h, c.centre, fs), c.centreDb, 0.05);
    for (double f : LogFrequencies(20, 20000, 30)) EXPECT_NEAR(MeasuredDb(h, f, fs), SetDb(c.set, f, fs), 0.05) << f;
  }
  EXPECT_EQ(ChainImpulse({Peaking(1000, -4, 4)}, 14, fs), Impulse(16384));  // equal Q values: skipped
  EXPECT_TRUE(dialogs.calls().empty());

  // The computed response against the measured one of the same section.
  const int fs96 = 96000;
  const std::vector<float> h = ChainImpulse({Peaking(1000, -4, 2)}, 15, fs96);
  const std::vector<double> fd = LogFrequencies(20, 20000, 60);
  std::vector<float> freqs(fd.begin(), fd.end()), curve(fd.size(), 1.0f);
  const double pw = PrewarpFrequency(2 * kPi * 1000, fs96);
  ASSERT_TRUE(ComputeFilterBlockResponseDb(curve, freqs, static_cast<int32_t>(curve.size()), fs96, pw, -4, 2));
  for (size_t i = 0; i < fd.size(); ++i) EXPECT_NEAR(MeasuredDb(h, fd[i], fs96), curve[i], 0.05) << fd[i];

  const double w = 2 * kPi * 1000;
  freqs = {1000, 10, 100000};
  curve = {1, 1, 1};
  ASSERT_TRUE(ComputeFilterBlockResponseDb(curve, freqs, 3, 48000, w, -4, 2));
  EXPECT_NEAR(curve[0], 6.0206, 1e-4);
  EXPECT_NEAR(std::hypot(curve[1], curve[2]), 0.0, 1e-3);
  EXPECT_EQ(WorkFilterBlock.NumPoles, 2);
  // The curve holds linear factors: a factor of 2 adds 6 dB to the cut of 6 dB.
  curve = {2, 2, 2};
  ASSERT_TRUE(ComputeFilterBlockResponseDb(curve, freqs, 3, 48000, w, 4, 2));
  EXPECT_NEAR(curve[0], 0.0, 1e-4);
  EXPECT_NEAR(curve[1], 6.0206, 1e-3);
  // Q1 = 0 builds no section: the curve only goes to dB.
  curve = {1, 10, 0};
  ASSERT_TRUE(ComputeFilterBlockResponseDb(curve, freqs, 3, 48000, w, 0, 2));
  EXPECT_EQ(curve[0], 0.0f);
  EXPECT_NEAR(curve[1], 20.0, 1e-5);
  EXPECT_TRUE(std::isfinite(curve[2]));
  dialogs.ExpectMessage();
  curve = {1, 1, 1};
  ASSERT_TRUE(ComputeFilterBlockResponseDb(curve, freqs, 3, 48000, w, -1, 0.04));
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Error 4929"});
  EXPECT_NEAR(curve[0], 20 * std::log10(1 / 0.04), 1e-3);
  EXPECT_FALSE(ComputeFilterBlockResponseDb(curve, freqs, 4, 48000, w, -4, 2));

  // Empty, unusable or refused runs leave the signal bit-identical.
  dialogs.Clear();
  std::mt19937 gen(7);
  std::normal_distribution<float> noise;
  std::vector<float> x(4096), scratch(4096);
  for (float& v : x) v = noise(gen);
  const std::vector<float> original = x;
  std::vector<FilterRecord> none(1);
  ASSERT_TRUE(RunFilterChainOnSignal(x, scratch, 12, 48000, WorkFilterBlock, none));
  ASSERT_TRUE(RunFilterChainOnSignal(x, scratch, 12, 48000, WorkFilterBlock, {}));
  // Q1 = 0, a non-finite Q or a centre above Nyquist: the message, then the record counts as flat.
  std::vector<FilterRecord> bad = {Peaking(1000, 0, 2), Peaking(1000, -4, NAN), Peaking(30000, -4, 2)};
  bad[0].Count = 3;
  for (int i = 0; i < 3; ++i) dialogs.ExpectMessage();
  ASSERT_TRUE(RunFilterChainOnSignal(x, scratch, 12, 44100, WorkFilterBlock, bad));
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"error 4823", "error 4823", "Error 7122"}));
  // A count beyond the list, or a signal shorter than 2^order, is not read past.
  std::vector<FilterRecord> overCount = {Peaking(1000, -4, 4)};
  overCount[0].Count = 75;
  ASSERT_TRUE(RunFilterChainOnSignal(x, scratch, 12, 48000, WorkFilterBlock, overCount));
  EXPECT_FALSE(RunFilterChainOnSignal(x, scratch, 13, 48000, WorkFilterBlock, none));
  // A block still in the s-plane, or one with no sample rate that cannot be made digital.
  FilterBlock b = Prototype(2), six = Prototype(6);
  b.samplerate = 48000;
  ASSERT_TRUE(BuildButterworthPoles(b) && BuildButterworthPoles(six));
  dialogs.Clear();
  for (int i = 0; i < 5; ++i) dialogs.ExpectMessage();
  EXPECT_FALSE(RunFilterBlockOnSignal(x, scratch, 4, b));
  b.samplerate = 0;
  EXPECT_FALSE(RunFilterBlockInSections(x, scratch, 48000, 4, b));
  EXPECT_FALSE(RunFilterBlockInSections(x, scratch, 48000, 4, six));
  const std::vector<std::string> t = dialogs.MessageTexts();
  EXPECT_EQ(std::vector(t.begin(), t.begin() + 3),
            (std::vector<std::string>{"Error 5440", "Error 3426: Filter sample rate not set -normally EQConfig.samplerate", "Error 7123"}));
  EXPECT_EQ(t.back(), "Error 7127");
  // Lengths beyond the arrays are refused.
  EXPECT_FALSE(RunFilterBlockInSections(x, scratch, 48000, 4097, b));
  EXPECT_FALSE(RunFilterBlockOnSignal(x, scratch, -1, b));
  EXPECT_EQ(x, original);

  // One pole at 0.5 with gain 1: y[i] = x[i] + 0.5 y[i-1] (and a zero at 0 leaves b = 1, 0).
  FilterBlock z;
  z.Domain = kDomainZPlane;
  z.NumPoles = z.NumZeros = 1;
  z.PoleRe[0] = 0.5;
  x = {1, 0, 0, 2};
  ASSERT_TRUE(RunFilterBlockOnSignal(x, scratch, 4, z));
  EXPECT_EQ(x, (std::vector<float>{1, 0.5f, 0.25f, 2.125f}));
  // No roots at all: a plain gain.
  FilterBlock g;
  g.Domain = kDomainZPlane;
  g.DigitalGain = 3;
  ASSERT_TRUE(RunFilterBlockOnSignal(x, scratch, 4, g));
  EXPECT_EQ(x, (std::vector<float>{3, 1.5f, 0.75f, 6.375f}));

  // A band pass keeps the band.
  x = Impulse(16384), scratch.resize(16384);
  FilterBlock band;
  ASSERT_TRUE(BandPassFilterSignal(x, scratch, fs, 14, 250, 4000, band));
  EXPECT_NEAR(MeasuredDb(x, 1000, fs), 0.0, 0.5);
  EXPECT_LT(MeasuredDb(x, 30, fs), -30);
  EXPECT_LT(MeasuredDb(x, 20000, fs), -25);
  // Both edges of a 4th-order Bessel are about 3 dB down.
  EXPECT_NEAR(MeasuredDb(x, 4000 * 6.283 / (2 * kPi), fs), -3.0, 0.5);
  EXPECT_NEAR(MeasuredDb(x, 250 * 6.283 / (2 * kPi), fs), -3.0, 0.5);

  std::vector<float> v = {1, 2, 3};
  ASSERT_TRUE(IntegrateBackward(v, 3));
  EXPECT_EQ(v, (std::vector<float>{6, 5, 3}));
  v = {1, 2, 3};
  ASSERT_TRUE(IntegrateBackward(v, 2));
  EXPECT_EQ(v, (std::vector<float>{3, 2, 3}));
  dialogs.Clear();
  dialogs.ExpectMessage();
  dialogs.ExpectMessage();
  EXPECT_FALSE(IntegrateBackward(v, 0));
  EXPECT_FALSE(IntegrateBackward(v, 4));
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"Error 2905", "Error 2901"}));
}

}  // namespace
}  // namespace zentor
