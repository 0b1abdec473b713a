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
#include "platform/numeric/numeric.h"
#include "support/fixture.h"

namespace zentor {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

struct Said {
  std::vector<std::string> texts;
  MessageSink sink() {
    return [this](const std::string& t) { texts.push_back(t); };
  }
};

SingularityListRecord SetOf(std::vector<float> freq, std::vector<float> q1, std::vector<float> q2,
                            std::vector<float> score) {
  SingularityListRecord s;
  s.Count = static_cast<int32_t>(freq.size());
  for (size_t i = 0; i < freq.size(); ++i) {
    s.Freq[i] = freq[i];
    s.Q1[i] = q1[i];
    s.Q2[i] = q2[i];
    s.FitError[i] = score[i];
  }
  return s;
}

std::vector<float> Column(const std::array<float, kMaxFilters>& a, int32_t n) {
  return std::vector<float>(a.begin(), a.begin() + n);
}

class FilterSetsTest : public test::ZentorTest {};

// ---- Records ------------------------------------------------------------------

TEST_F(FilterSetsTest, RemovingInsignificantEntriesKeepsTheFourArraysAligned) {
  const float q2 = 2.0f;
  const float above = std::nextafter(q2, 10.0f);
  SingularityListRecord s = SetOf({100, 200, 300, 400, 500}, {q2, -3, above, 1, -q2}, {q2, 1, q2, 2, q2},
                                  {11, 22, 33, 44, 55});
  s.Freq[5] = 999;  // past the count: untouched
  RemoveInsignificantFilters(s);
  ASSERT_EQ(s.Count, 2);  // |Q1| = Q2 goes, one float step above stays
  EXPECT_EQ(Column(s.Freq, 2), (std::vector<float>{200, 300}));
  EXPECT_EQ(Column(s.Q1, 2), (std::vector<float>{-3, above}));
  EXPECT_EQ(Column(s.Q2, 2), (std::vector<float>{1, q2}));
  EXPECT_EQ(Column(s.FitError, 2), (std::vector<float>{22, 33}));
  EXPECT_EQ(s.Freq[2], 300.0f);  // the old tail is not cleared
  EXPECT_EQ(s.Freq[5], 999.0f);

  SingularityListRecord none = SetOf({1, 2}, {0.5f, -1}, {1, 1}, {1, 1});
  RemoveInsignificantFilters(none);
  EXPECT_EQ(none.Count, 0);
  RemoveInsignificantFilters(none);
  EXPECT_EQ(none.Count, 0);

  SingularityListRecord damaged = SetOf({1}, {5}, {1}, {1});
  damaged.Count = 1000;  // read no further than the arrays
  RemoveInsignificantFilters(damaged);
  EXPECT_EQ(damaged.Count, 1);
}

TEST_F(FilterSetsTest, CopiesTakeTheEntriesAndOnlyCopyFilterSetTheHeader) {
  SingularityListRecord src = SetOf({10, 20}, {4, -4}, {1, 2}, {1, 3});
  src.Curve = 5;
  src.Graphshown = 6;
  src.Gatetime = 120;
  src.RangeLow = 20;
  src.RangeHigh = 200;
  src.Kind = 4;
  src.SelectCode = 4;

  SingularityListRecord dst = SetOf({7, 7, 7}, {7, 7, 7}, {7, 7, 7}, {7, 7, 7});
  dst.Graphshown = 3;
  dst.Gatetime = 50;
  dst.RangeLow = 1;
  dst.RangeHigh = 2;
  CopyFilterSetEntries(src, dst);
  EXPECT_EQ(dst.Count, 2);
  EXPECT_EQ(Column(dst.Freq, 3), (std::vector<float>{10, 20, 7}));
  EXPECT_EQ(Column(dst.FitError, 2), (std::vector<float>{1, 3}));
  EXPECT_EQ(dst.Graphshown, 3);
  EXPECT_EQ(dst.Gatetime, 50.0f);
  EXPECT_EQ(dst.RangeLow, 1.0f);
  EXPECT_EQ(dst.RangeHigh, 2.0f);
  EXPECT_EQ(dst.Curve, 0);

  CopyFilterSet(src, dst);
  EXPECT_EQ(dst.Curve, 5);
  EXPECT_EQ(dst.Graphshown, 6);
  EXPECT_EQ(dst.Gatetime, 120.0f);
  EXPECT_EQ(dst.RangeHigh, 200.0f);
  EXPECT_EQ(dst.SelectCode, 4);
  EXPECT_EQ(dst.Freq[2], 7.0f);  // beyond the count: as it was
  EXPECT_EQ(Column(dst.Q1, 2), (std::vector<float>{4, -4}));
}

TEST_F(FilterSetsTest, AModeRecordTakesTheHeaderAndOneEntry) {
  SingularityListRecord& s = SingularityList[3];
  s = SetOf({628, 1256}, {20, -8}, {5, 2}, {1.5f, 2.5f});
  s.Average = -1;
  s.MaxDecay = 1.5f;
  s.QMinimum = 0.05f;
  s.RangeLow = 25;
  s.RangeHigh = 80;
  s.SecondaryPolishWidth = 0.5f;
  s.NumInitialLoops = 8;
  s.Damping = 0.8f;
  s.LoudspeakerOrder = 4;
  s.ModeCode = 6;
  s.SchroederFreq = 150;
  s.Kind = 4;
  s.SelectCode = 4;
  s.Graphshown = 6;
  s.Smoothing = 0.33f;
  s.Gatetime = 300;

  FilterRecord m;
  m.Count = 9;
  m.SelectCode = 77;
  m.Unused22 = 22;
  m.Unused23 = 23;
  m.EQEmulationCode = 3;
  ASSERT_TRUE(ModeRecordFromSet(3, 1, m));
  EXPECT_EQ(m.Curve, 3);
  EXPECT_EQ(m.Average, -1);
  EXPECT_EQ(m.MaxDecay, 1.5f);
  EXPECT_EQ(m.QMinimum, 0.05f);
  EXPECT_EQ(m.RangeLow, 25.0f);
  EXPECT_EQ(m.RangeHigh, 80.0f);
  EXPECT_EQ(m.SecondaryPolishWidth, 0.5f);
  EXPECT_EQ(m.NumInitialLoops, 8);
  EXPECT_EQ(m.Damping, 0.8f);
  EXPECT_EQ(m.LoudspeakerOrder, 4);
  EXPECT_EQ(m.ModeCode, 6);
  EXPECT_EQ(m.SchroederFreq, 150.0f);
  EXPECT_EQ(m.Kind, 4);
  EXPECT_EQ(m.Graphshown, 6);
  EXPECT_EQ(m.Smoothing, 0.33f);
  EXPECT_EQ(m.Gatetime, 300.0f);
  EXPECT_EQ(m.Freq1, 1256.0f);
  EXPECT_EQ(m.Q1, -8.0f);
  EXPECT_EQ(m.Q2, 2.0f);
  EXPECT_EQ(m.FitError, 2.5f);
  // Untouched: the list count, the select code and the words after the score.
  EXPECT_EQ(m.Count, 9);
  EXPECT_EQ(m.SelectCode, 77);
  EXPECT_EQ(m.Unused22, 22);
  EXPECT_EQ(m.Unused23, 23);
  EXPECT_EQ(m.EQEmulationCode, 3);

  const FilterRecord before = m;
  EXPECT_FALSE(ModeRecordFromSet(33, 0, m));
  EXPECT_FALSE(ModeRecordFromSet(-1, 0, m));
  EXPECT_FALSE(ModeRecordFromSet(0, 75, m));
  EXPECT_EQ(m.Curve, before.Curve);
  EXPECT_EQ(m.Freq1, before.Freq1);
}

// ---- Sorts --------------------------------------------------------------------

TEST_F(FilterSetsTest, SortsMoveWholeEntriesAndKeepEqualKeysInOrder) {
  SingularityListRecord s = SetOf({300, 100, 200}, {3, 1, 2}, {30, 10, 20}, {0.3f, 0.1f, 0.2f});
  s.Graphshown = 6;
  SortFilterSetByKey1(s, true);
  EXPECT_EQ(Column(s.Freq, 3), (std::vector<float>{100, 200, 300}));
  EXPECT_EQ(Column(s.Q1, 3), (std::vector<float>{1, 2, 3}));
  EXPECT_EQ(Column(s.Q2, 3), (std::vector<float>{10, 20, 30}));
  EXPECT_EQ(Column(s.FitError, 3), (std::vector<float>{0.1f, 0.2f, 0.3f}));
  EXPECT_EQ(s.Graphshown, 6);

  // Equal frequencies, told apart by Q1: their order survives both directions.
  SingularityListRecord ties = SetOf({50, 100, 50, 100}, {1, 2, 3, 4}, {1, 1, 1, 1}, {1, 1, 1, 1});
  SortFilterSetByKey1(ties, true);
  EXPECT_EQ(Column(ties.Q1, 4), (std::vector<float>{1, 3, 2, 4}));
  SortFilterSetByKey1(ties, false);
  EXPECT_EQ(Column(ties.Q1, 4), (std::vector<float>{2, 4, 1, 3}));

  SingularityListRecord q = SetOf({1, 2, 3}, {-4, 6, 2}, {1, 1, 1}, {1, 1, 1});
  SortFilterSetByKey2(q, false);
  EXPECT_EQ(Column(q.Q1, 3), (std::vector<float>{6, 2, -4}));
  EXPECT_EQ(Column(q.Freq, 3), (std::vector<float>{2, 3, 1}));
  SortFilterSetByKey2(q, true);
  EXPECT_EQ(Column(q.Q1, 3), (std::vector<float>{-4, 2, 6}));
  SortFilterSetByAbsQ1(q);
  EXPECT_EQ(Column(q.Q1, 3), (std::vector<float>{6, -4, 2}));

  SingularityListRecord e = SetOf({1, 2, 3}, {1, 2, 3}, {1, 1, 1}, {5, 9, 7});
  SortFilterSetByKey4(e, false);
  EXPECT_EQ(Column(e.FitError, 3), (std::vector<float>{9, 7, 5}));
  EXPECT_EQ(Column(e.Freq, 3), (std::vector<float>{2, 3, 1}));

  // A damaged count and a NaN key leave the arrays readable and in place.
  SingularityListRecord bad = SetOf({3, 2, 1}, {1, 1, 1}, {1, 1, 1}, {1, 1, 1});
  bad.Count = 76;
  SortFilterSetByKey1(bad, true);
  EXPECT_EQ(Column(bad.Freq, 3), (std::vector<float>{3, 2, 1}));
  SingularityListRecord nan = SetOf({3, std::numeric_limits<float>::quiet_NaN(), 1}, {1, 2, 3}, {1, 1, 1},
                                    {1, 1, 1});
  SortFilterSetByKey1(nan, true);
  EXPECT_EQ(nan.Count, 3);
}

TEST_F(FilterSetsTest, SortingModesMovesFieldsOneToTwentyOneTogether) {
  std::vector<FilterRecord> modes(4);
  for (int i = 0; i < 3; ++i) {
    FilterRecord& m = modes[static_cast<size_t>(i)];
    m.Curve = i;
    m.Average = -i;
    m.Graphshown = 3 + i;
    m.Gatetime = 100.0f * (i + 1);
    m.Kind = 4;
    m.SelectCode = 10 + i;
    m.Freq1 = std::vector<float>{300, 100, 200}[static_cast<size_t>(i)];
    m.Q1 = 1.0f + i;
    m.FitError = 5.0f + i;
    m.Unused22 = 22 + i;
    m.EQEmulationCode = 1 + i;
  }
  modes[0].Count = 3;
  modes[3].Freq1 = 1;  // past the count
  SortModesByFrequency(modes, true);
  EXPECT_EQ(modes[0].Count, 3);
  EXPECT_EQ(modes[0].Freq1, 100.0f);
  EXPECT_EQ(modes[0].Curve, 1);
  EXPECT_EQ(modes[0].Average, -1);
  EXPECT_EQ(modes[0].Graphshown, 4);
  EXPECT_EQ(modes[0].Gatetime, 200.0f);
  EXPECT_EQ(modes[0].SelectCode, 11);
  EXPECT_EQ(modes[0].Q1, 2.0f);
  EXPECT_EQ(modes[0].FitError, 6.0f);
  EXPECT_EQ(modes[0].Unused22, 22);  // the words after the score stay
  EXPECT_EQ(modes[0].EQEmulationCode, 1);
  EXPECT_EQ(modes[2].Freq1, 300.0f);
  EXPECT_EQ(modes[2].Graphshown, 3);
  EXPECT_EQ(modes[3].Freq1, 1.0f);

  SortModesByFrequency(modes, false);
  EXPECT_EQ(modes[0].Freq1, 300.0f);
  EXPECT_EQ(modes[0].Curve, 0);
  EXPECT_EQ(modes[0].Count, 3);

  modes[0].Count = 5;  // more than the array holds: left alone
  SortModesByFrequency(modes, true);
  EXPECT_EQ(modes[0].Freq1, 300.0f);
}

// ---- One singularity on a curve ----------------------------------------------

// The oracle: the same zero and pole pairs as roots, evaluated by the library.
std::vector<double> RootProduct(const std::vector<double>& levels, const std::vector<float>& hz, double centre,
                                double zeroQ, double poleQ) {
  FilterBlock b;
  b.Domain = kDomainSPlane;
  b.NumPoles = b.NumZeros = 2;
  EXPECT_TRUE(ResonanceRoots(zeroQ, centre, b.ZeroRe[0], b.ZeroIm[0], b.ZeroRe[1], b.ZeroIm[1]));
  EXPECT_TRUE(ResonanceRoots(poleQ, centre, b.PoleRe[0], b.PoleIm[0], b.PoleRe[1], b.PoleIm[1]));
  std::vector<double> out = levels;
  FilterFrequencyDomainLinArrayC(out, hz, static_cast<int32_t>(out.size()), 48000, b.PoleRe, b.PoleIm, b.ZeroRe,
                                 b.ZeroIm, 2, 2, b.Domain, b.AnalogGain, b.DigitalGain);
  return out;
}

struct Curve {
  std::vector<float> hz;
  std::vector<double> levels;
};

Curve LogCurve(int n) {
  Curve c;
  for (int i = 0; i < n; ++i) {
    c.hz.push_back(static_cast<float>(10.0 * std::pow(2000.0, i / double(n - 1))));
    c.levels.push_back(1.0 + 0.25 * std::sin(i * 0.1));
  }
  return c;
}

TEST_F(FilterSetsTest, APeakMultipliesItsCentreByTheQRatioAndItsNegationUndoesIt) {
  Said said;
  Curve c = LogCurve(400);
  c.hz[123] = 100.0f;
  const double centre = kTwoPi * 100.0;
  const std::vector<double> original = c.levels;
  ApplySingularityToLevels(c.levels, c.hz, 4, 1, centre, 1.0f, 0, 400, said.sink());
  EXPECT_NEAR(c.levels[123] / original[123], 4.0, 1e-12);
  // A decade below, with r = 0.1: |H|^2 = ((1 - r^2)^2 + r^2) / ((1 - r^2)^2 + r^2 / 16).
  EXPECT_NEAR(c.levels[0] / original[0], std::sqrt((0.9801 + 0.01) / (0.9801 + 0.000625)), 1e-12);
  ApplySingularityToLevels(c.levels, c.hz, -4, 1, centre, 1.0f, 0, 400, said.sink());
  for (size_t i = 0; i < original.size(); ++i) EXPECT_NEAR(c.levels[i], original[i], 1e-12 * original[i]) << i;
  EXPECT_TRUE(said.texts.empty());
}

TEST_F(FilterSetsTest, TheClosedFormEqualsTheRootProduct) {
  struct Case {
    double q1, q2;
    float damping;
  };
  // Peaks and dips, complex and real roots (a Q below 0.5), damped.
  for (const Case k : {Case{8, 2, 1}, Case{-8, 2, 1}, Case{12, 0.3, 1}, Case{-0.4, 3, 1}, Case{6, 1.5, 0.8f},
                       Case{-6, 1.5, 0.8f}, Case{0.45, 0.2, 0.8f}}) {
    Said said;
    const Curve c = LogCurve(2000);
    const double centre = kTwoPi * 250.0;
    std::vector<double> got = c.levels;
    ApplySingularityToLevels(got, c.hz, k.q1, k.q2, centre, k.damping, 0, 2000, said.sink());
    const double d = k.damping;
    const double zeroQ = d * (k.q1 < 0 ? std::fabs(k.q1) : k.q2);
    const double poleQ = d * (k.q1 < 0 ? k.q2 : std::fabs(k.q1));
    const std::vector<double> want = RootProduct(c.levels, c.hz, centre, zeroQ, poleQ);
    for (size_t i = 0; i < want.size(); ++i)
      ASSERT_NEAR(got[i], want[i], 1e-12 * std::fabs(want[i])) << "Q1 " << k.q1 << " Q2 " << k.q2 << " at " << i;
  }
}

TEST_F(FilterSetsTest, OnlyTheRangeFromTheStartIndexIsTouched) {
  Said said;
  Curve c = LogCurve(100);
  const std::vector<double> original = c.levels;
  ApplySingularityToLevels(c.levels, c.hz, 10, 1, kTwoPi * c.hz[50], 1.0f, 40, 20, said.sink());
  for (size_t i = 0; i < 100; ++i) {
    if (i < 40 || i >= 60)
      EXPECT_EQ(c.levels[i], original[i]) << i;
    else
      EXPECT_NE(c.levels[i], original[i]) << i;
  }
  // A range reaching past the arrays stops at their end; a negative start does nothing.
  ApplySingularityToLevels(c.levels, c.hz, 10, 1, kTwoPi * c.hz[50], 1.0f, 90, 5000, said.sink());
  ApplySingularityToLevels(c.levels, c.hz, 10, 1, kTwoPi * c.hz[50], 1.0f, -5, 10, said.sink());
  EXPECT_EQ(c.levels[0], original[0]);
  EXPECT_TRUE(said.texts.empty());
}

TEST_F(FilterSetsTest, DoubtfulArgumentsAreReportedAndTheUnusableOnesApplyNothing) {
  const double centre = 6.28318530717959 * 100.0;  // 100 Hz as the message divides
  const Curve c = LogCurve(200);
  auto run = [&](double q1, double q2, float d, Said& said) {
    std::vector<double> v = c.levels;
    ApplySingularityToLevels(v, c.hz, q1, q2, centre, d, 0, 200, said.sink());
    return v;
  };
  {
    Said said;
    EXPECT_EQ(run(0, 2.5, 1, said), c.levels);
    EXPECT_EQ(said.texts, (std::vector<std::string>{"Error 98361 Freq = 100Q2 = 2.5"}));
  }
  {
    Said said;
    EXPECT_NE(run(4, 0.05, 1, said), c.levels);
    EXPECT_EQ(said.texts, (std::vector<std::string>{"Error 5343"}));
  }
  {
    Said said, quiet;
    EXPECT_NE(run(4, 1, 1.01f, said), c.levels);
    EXPECT_EQ(said.texts, (std::vector<std::string>{"Error 5497"}));
    run(4, 1, 1.0f, quiet);
    EXPECT_TRUE(quiet.texts.empty());
  }
  {
    Said said;
    EXPECT_EQ(run(4, 0, 1, said), c.levels);  // no NaN, nothing applied
    EXPECT_EQ(said.texts, (std::vector<std::string>{"Error 5343", "Error 5344"}));
  }
  {
    Said said;
    EXPECT_EQ(run(4, 1, 0, said), c.levels);
    EXPECT_EQ(said.texts, (std::vector<std::string>{"Error 5342"}));
  }
  {
    Said said, plain;
    EXPECT_EQ(run(4, -1, 0.8f, said), run(4, 1, 0.8f, plain));
    EXPECT_EQ(said.texts, (std::vector<std::string>{"Error 5343", "Error 5345"}));
  }
  {
    Said said;
    const std::vector<double> v = run(std::numeric_limits<double>::quiet_NaN(), 1, 1, said);
    EXPECT_EQ(v, c.levels);
    EXPECT_EQ(said.texts.size(), 1u);
  }
}

TEST_F(FilterSetsTest, TheMessagesGoToAMessageBoxByDefault) {
  std::vector<double> v{1.0};
  const std::vector<float> f{100.0f};
  dialogs.ExpectMessage();
  ApplySingularityToLevels(v, f, 0, 1, 6.28318530717959 * 50.0, 1.0f, 0, 1);
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"Error 98361 Freq = 50Q2 = 1"}));
  EXPECT_EQ(v[0], 1.0);
}

TEST_F(FilterSetsTest, AFitCurveTakesTheSignOfItsSignedValue) {
  Said said;
  FitCurveRecord curve;
  curve.Count = 300;
  const Curve c = LogCurve(300);
  for (size_t i = 0; i < 300; ++i) {
    curve.Freq[i] = c.hz[i];
    curve.Level[i] = c.levels[i];
  }
  curve.Level[300] = 7;  // past the count
  const double centre = kTwoPi * 500.0;
  ApplySingularityToFitCurve(curve, -5, 2, centre, 1.0f, said.sink());  // a peak: magnitudes
  std::vector<double> want = RootProduct(c.levels, c.hz, centre, 2, 5);
  for (size_t i = 0; i < 300; ++i) ASSERT_NEAR(curve.Level[i], want[i], 1e-12 * want[i]) << i;
  ApplySingularityToFitCurve(curve, 5, 2, centre, -0.5f, said.sink());  // a dip divides it out
  for (size_t i = 0; i < 300; ++i) ASSERT_NEAR(curve.Level[i], c.levels[i], 1e-12 * c.levels[i]) << i;
  EXPECT_EQ(curve.Level[300], 7.0);
  EXPECT_TRUE(said.texts.empty());

  ApplySingularityToFitCurve(curve, 5, 2, centre, 0.0f, said.sink());
  EXPECT_EQ(said.texts, (std::vector<std::string>{"Error 3241"}));
  for (size_t i = 0; i < 300; ++i) ASSERT_NEAR(curve.Level[i], c.levels[i], 1e-12 * c.levels[i]) << i;

  curve.Count = 5000;  // damaged: the arrays' end bounds it
  ApplySingularityToFitCurve(curve, 5, 2, centre, 1.0f, said.sink());
  EXPECT_EQ(said.texts.size(), 1u);
}

}  // namespace
}  // namespace zentor
