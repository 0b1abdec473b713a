// Filter-set records, their sorts, and one singularity's response on a curve,
// checked against the root product of the filter library.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "core/filter_design.h"
#include "core/records.h"
#include "eqdesign/filter_sets.h"
#include "eqdesign/message_log.h"
#include "platform/numeric/numeric.h"
#include "support/fixture.h"

namespace zentor {
namespace {

using Texts = std::vector<std::string>;
using Floats = std::vector<float>;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Entries given as {frequency, Q1, Q2, score}.
SingularityListRecord SetOf(std::vector<std::array<float, 4>> entries) {
  SingularityListRecord s;
  s.Count = static_cast<int32_t>(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    s.Freq[i] = entries[i][0];
    s.Q1[i] = entries[i][1];
    s.Q2[i] = entries[i][2];
    s.FitError[i] = entries[i][3];
  }
  return s;
}

Floats Column(const std::array<float, kMaxFilters>& a, int32_t n) { return Floats(a.begin(), a.begin() + n); }

class FilterSetsTest : public test::ZentorTest {};

TEST_F(FilterSetsTest, RemovingInsignificantEntriesKeepsTheFourArraysAligned) {
  const float above = std::nextafter(2.0f, 10.0f);
  SingularityListRecord s = SetOf({{100, 2, 2, 11}, {200, -3, 1, 22}, {300, above, 2, 33}, {400, 1, 2, 44}});
  RemoveInsignificantFilters(s);
  ASSERT_EQ(s.Count, 2);  // |Q1| = Q2 goes, one float step above stays
  EXPECT_EQ(Column(s.Freq, 3), (Floats{200, 300, 300}));  // the old tail is not cleared
  EXPECT_EQ(Column(s.Q1, 2), (Floats{-3, above}));
  EXPECT_EQ(Column(s.Q2, 2), (Floats{1, 2}));
  EXPECT_EQ(Column(s.FitError, 2), (Floats{22, 33}));

  SingularityListRecord none = SetOf({{1, 0.5f, 1, 1}, {2, -1, 1, 1}});
  RemoveInsignificantFilters(none);
  EXPECT_EQ(none.Count, 0);
  SingularityListRecord damaged = SetOf({{1, 5, 1, 1}});
  damaged.Count = 1000;  // read no further than the arrays
  RemoveInsignificantFilters(damaged);
  EXPECT_EQ(damaged.Count, 1);
}

TEST_F(FilterSetsTest, CopiesTakeTheEntriesAndOnlyCopyFilterSetTheHeader) {
  SingularityListRecord src = SetOf({{10, 4, 1, 1}, {20, -4, 2, 3}});
  src.Curve = 5;
  src.Graphshown = 6;
  src.Gatetime = 120;
  src.RangeHigh = 200;
  SingularityListRecord dst = SetOf({{7, 7, 7, 7}, {7, 7, 7, 7}, {7, 7, 7, 7}});
  dst.Graphshown = 3;
  dst.Gatetime = 50;
  dst.RangeLow = 1;
  dst.RangeHigh = 2;
  CopyFilterSetEntries(src, dst);
  EXPECT_EQ(dst.Count, 2);
  EXPECT_EQ(Column(dst.Freq, 3), (Floats{10, 20, 7}));
  EXPECT_EQ(Column(dst.FitError, 2), (Floats{1, 3}));
  EXPECT_EQ(dst.Graphshown, 3);
  EXPECT_EQ(dst.Gatetime, 50.0f);
  EXPECT_EQ(dst.RangeLow, 1.0f);
  EXPECT_EQ(dst.RangeHigh, 2.0f);

  CopyFilterSet(src, dst);
  EXPECT_EQ(dst.Curve, 5);
  EXPECT_EQ(dst.Graphshown, 6);
  EXPECT_EQ(dst.Gatetime, 120.0f);
  EXPECT_EQ(dst.RangeHigh, 200.0f);
  EXPECT_EQ(dst.Freq[2], 7.0f);  // beyond the count: as it was
}

TEST_F(FilterSetsTest, SortsMoveWholeEntriesAndKeepEqualKeysInOrder) {
  SingularityListRecord s = SetOf({{300, 3, 30, 0.3f}, {100, 1, 10, 0.1f}, {200, 2, 20, 0.2f}});
  SortFilterSetByKey1(s, true);
  EXPECT_EQ(Column(s.Freq, 3), (Floats{100, 200, 300}));
  EXPECT_EQ(Column(s.Q1, 3), (Floats{1, 2, 3}));
  EXPECT_EQ(Column(s.Q2, 3), (Floats{10, 20, 30}));
  EXPECT_EQ(Column(s.FitError, 3), (Floats{0.1f, 0.2f, 0.3f}));

  // Equal frequencies, told apart by Q1: their order survives both directions.
  SingularityListRecord ties = SetOf({{50, 1, 1, 1}, {100, 2, 1, 1}, {50, 3, 1, 1}, {100, 4, 1, 1}});
  SortFilterSetByKey1(ties, true);
  EXPECT_EQ(Column(ties.Q1, 4), (Floats{1, 3, 2, 4}));
  SortFilterSetByKey1(ties, false);
  EXPECT_EQ(Column(ties.Q1, 4), (Floats{2, 4, 1, 3}));

  SingularityListRecord q = SetOf({{1, -4, 1, 5}, {2, 6, 1, 9}, {3, 2, 1, 7}});
  SortFilterSetByKey2(q, false);
  EXPECT_EQ(Column(q.Q1, 3), (Floats{6, 2, -4}));
  SortFilterSetByKey2(q, true);
  EXPECT_EQ(Column(q.Q1, 3), (Floats{-4, 2, 6}));
  SortFilterSetByAbsQ1(q);
  EXPECT_EQ(Column(q.Q1, 3), (Floats{6, -4, 2}));
  SortFilterSetByKey4(q, false);
  EXPECT_EQ(Column(q.FitError, 3), (Floats{9, 7, 5}));
  EXPECT_EQ(Column(q.Freq, 3), (Floats{2, 3, 1}));

  SingularityListRecord bad = SetOf({{3, 1, 1, 1}, {std::numeric_limits<float>::quiet_NaN(), 1, 1, 1}, {1, 1, 1, 1}});
  SortFilterSetByKey1(bad, true);  // a NaN key sorts without harm
  bad.Count = 76;                  // a damaged count is not sorted
  const SingularityListRecord before = bad;
  SortFilterSetByKey1(bad, true);
  EXPECT_EQ(bad.Freq[0], before.Freq[0]);
}

TEST_F(FilterSetsTest, SortingModesMovesFieldsOneToTwentyOneTogether) {
  std::vector<FilterRecord> modes(4);
  const Floats freq{300, 100, 200, 1};
  for (int i = 0; i < 4; ++i) {
    FilterRecord& m = modes[static_cast<size_t>(i)];
    m.Curve = i;
    m.Graphshown = 3 + i;  // fields 2 to 17 move too
    m.Freq1 = freq[static_cast<size_t>(i)];
    m.FitError = 5.0f + i;
    m.Unused22 = 22 + i;
    m.EQEmulationCode = 1 + i;
  }
  modes[0].Count = 3;  // the fourth is past the count
  SortModesByFrequency(modes, true);
  EXPECT_EQ(modes[0].Count, 3);
  EXPECT_EQ((Floats{modes[0].Freq1, modes[1].Freq1, modes[2].Freq1, modes[3].Freq1}), (Floats{100, 200, 300, 1}));
  EXPECT_EQ(modes[0].Curve, 1);
  EXPECT_EQ(modes[0].Graphshown, 4);
  EXPECT_EQ(modes[0].FitError, 6.0f);
  EXPECT_EQ(modes[0].Unused22, 22);  // the words after the score stay
  EXPECT_EQ(modes[0].EQEmulationCode, 1);
  SortModesByFrequency(modes, false);
  EXPECT_EQ(modes[0].Freq1, 300.0f);
  EXPECT_EQ(modes[0].Curve, 0);
  modes[0].Count = 5;  // more than the array holds: left alone
  SortModesByFrequency(modes, true);
  EXPECT_EQ(modes[0].Freq1, 300.0f);
}

// ---- One singularity on a curve ----------------------------------------------

// The oracle: the same zero and pole pairs as roots, evaluated by the library.
std::vector<double> RootProduct(std::vector<double> levels, const Floats& hz, double centre, double zeroQ,
                                double poleQ) {
  FilterBlock b;
  EXPECT_TRUE(ResonanceRoots(zeroQ, centre, b.ZeroRe[0], b.ZeroIm[0], b.ZeroRe[1], b.ZeroIm[1]));
  EXPECT_TRUE(ResonanceRoots(poleQ, centre, b.PoleRe[0], b.PoleIm[0], b.PoleRe[1], b.PoleIm[1]));
  FilterFrequencyDomainLinArrayC(levels, hz, static_cast<int32_t>(levels.size()), 48000, b.PoleRe, b.PoleIm,
                                 b.ZeroRe, b.ZeroIm, 2, 2, kDomainSPlane, 1.0, 1.0);
  return levels;
}

struct Curve {
  Floats hz;
  std::vector<double> levels;
};

// Log-spaced from 10 Hz to 20 kHz, levels rippling about 1.
Curve LogCurve(int n) {
  Curve c;
  for (int i = 0; i < n; ++i) {
    c.hz.push_back(static_cast<float>(10.0 * std::pow(2000.0, i / double(n - 1))));
    c.levels.push_back(1.0 + 0.25 * std::sin(i * 0.1));
  }
  return c;
}

void ExpectNear(const std::vector<double>& got, const std::vector<double>& want, double rel) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) ASSERT_NEAR(got[i], want[i], rel * std::fabs(want[i])) << "at " << i;
}

TEST_F(FilterSetsTest, APeakMultipliesItsCentreByTheQRatioAndItsNegationUndoesIt) {
  test::MessageLog log;
  Curve c = LogCurve(400);
  c.hz[123] = 100.0f;
  const std::vector<double> original = c.levels;
  ApplySingularityToLevels(c.levels, c.hz, 4, 1, kTwoPi * 100, 1.0f, 0, 400, log.sink());
  EXPECT_NEAR(c.levels[123] / original[123], 4.0, 1e-12);
  // A decade below, r = 0.1: |H|^2 = ((1 - r^2)^2 + r^2) / ((1 - r^2)^2 + r^2 / 16).
  EXPECT_NEAR(c.levels[0] / original[0], std::sqrt((0.9801 + 0.01) / (0.9801 + 0.000625)), 1e-12);
  ApplySingularityToLevels(c.levels, c.hz, -4, 1, kTwoPi * 100, 1.0f, 0, 400, log.sink());
  ExpectNear(c.levels, original, 1e-12);
  EXPECT_TRUE(log.texts.empty());
}

TEST_F(FilterSetsTest, TheClosedFormEqualsTheRootProduct) {
  struct Case {
    double q1, q2;
    float damping;
  };
  // Peaks and dips, complex and real roots (a Q below 0.5), damped.
  for (const Case k : {Case{8, 2, 1}, Case{-8, 2, 1}, Case{12, 0.3, 1}, Case{-0.4, 3, 1}, Case{6, 1.5, 0.8f},
                       Case{-6, 1.5, 0.8f}, Case{0.45, 0.2, 0.8f}}) {
    SCOPED_TRACE(testing::Message() << "Q1 " << k.q1 << " Q2 " << k.q2 << " damping " << k.damping);
    test::MessageLog log;
    const Curve c = LogCurve(2000);
    std::vector<double> got = c.levels;
    ApplySingularityToLevels(got, c.hz, k.q1, k.q2, kTwoPi * 250, k.damping, 0, 2000, log.sink());
    const double d = k.damping;
    const double zeroQ = d * (k.q1 < 0 ? -k.q1 : k.q2);
    const double poleQ = d * (k.q1 < 0 ? k.q2 : k.q1);
    ExpectNear(got, RootProduct(c.levels, c.hz, kTwoPi * 250, zeroQ, poleQ), 1e-12);
  }
}

TEST_F(FilterSetsTest, OnlyTheRangeFromTheStartIndexIsTouched) {
  test::MessageLog log;
  Curve c = LogCurve(100);
  const std::vector<double> original = c.levels;
  const double centre = kTwoPi * c.hz[50];
  ApplySingularityToLevels(c.levels, c.hz, 10, 1, centre, 1.0f, 40, 20, log.sink());
  for (size_t i = 0; i < 100; ++i) EXPECT_EQ(c.levels[i] == original[i], i < 40 || i >= 60) << i;
  // Past the arrays' end, or from a negative start: nothing outside them.
  ApplySingularityToLevels(c.levels, c.hz, 10, 1, centre, 1.0f, 90, 5000, log.sink());
  ApplySingularityToLevels(c.levels, c.hz, 10, 1, centre, 1.0f, -5, 10, log.sink());
  EXPECT_EQ(c.levels[0], original[0]);
  EXPECT_TRUE(log.texts.empty());
}

TEST_F(FilterSetsTest, DoubtfulArgumentsAreReportedAndTheUnusableOnesApplyNothing) {
  const Curve c = LogCurve(200);
  test::MessageLog log;
  auto run = [&](double q1, double q2, float d) {
    log.texts.clear();
    std::vector<double> v = c.levels;
    ApplySingularityToLevels(v, c.hz, q1, q2, 6.28318530717959 * 100, d, 0, 200, log.sink());
    return v;
  };
  EXPECT_EQ(run(0, 2.5, 1), c.levels);
  EXPECT_EQ(log.texts, (Texts{"Error 98361 Freq = 100Q2 = 2.5"}));
  EXPECT_NE(run(4, 0.05, 1), c.levels);
  EXPECT_EQ(log.texts, (Texts{"Error 5343"}));
  EXPECT_NE(run(4, 1, 1.01f), c.levels);
  EXPECT_EQ(log.texts, (Texts{"Error 5497"}));
  run(4, 1, 1.0f);
  EXPECT_TRUE(log.texts.empty());
  EXPECT_EQ(run(4, 0, 1), c.levels);  // no NaN: nothing applied
  EXPECT_EQ(log.texts, (Texts{"Error 5343", "Error 5344"}));
  EXPECT_EQ(run(4, 1, 0), c.levels);
  EXPECT_EQ(log.texts, (Texts{"Error 5342"}));
  const std::vector<double> positive = run(4, 1, 0.8f);
  EXPECT_EQ(run(4, -1, 0.8f), positive);
  EXPECT_EQ(log.texts, (Texts{"Error 5343", "Error 5345"}));
  EXPECT_EQ(run(std::numeric_limits<double>::quiet_NaN(), 1, 1), c.levels);
  EXPECT_EQ(log.texts.size(), 1u);

  std::vector<double> v{1.0};  // by default the message is a message box
  dialogs.ExpectMessage();
  ApplySingularityToLevels(v, Floats{100.0f}, 0, 1, 6.28318530717959 * 50, 1.0f, 0, 1);
  EXPECT_EQ(dialogs.MessageTexts(), (Texts{"Error 98361 Freq = 50Q2 = 1"}));
}

TEST_F(FilterSetsTest, AFitCurveTakesTheSignOfItsSignedValue) {
  test::MessageLog log;
  const Curve c = LogCurve(300);
  FitCurveRecord curve;
  curve.Count = 300;
  std::copy(c.hz.begin(), c.hz.end(), curve.Freq.begin());
  std::copy(c.levels.begin(), c.levels.end(), curve.Level.begin());
  curve.Level[300] = 7;  // past the count
  const auto levels = [&] { return std::vector<double>(curve.Level.begin(), curve.Level.begin() + 300); };
  const double centre = kTwoPi * 500;
  ApplySingularityToFitCurve(curve, -5, 2, centre, 1.0f, log.sink());  // a peak, on magnitudes
  ExpectNear(levels(), RootProduct(c.levels, c.hz, centre, 2, 5), 1e-12);
  ApplySingularityToFitCurve(curve, 5, 2, centre, -0.5f, log.sink());  // a dip divides it out
  ExpectNear(levels(), c.levels, 1e-12);
  EXPECT_EQ(curve.Level[300], 7.0);
  EXPECT_TRUE(log.texts.empty());
  ApplySingularityToFitCurve(curve, 5, 2, centre, 0.0f, log.sink());
  EXPECT_EQ(log.texts, (Texts{"Error 3241"}));
  ExpectNear(levels(), c.levels, 1e-12);
}

}  // namespace
}  // namespace zentor
