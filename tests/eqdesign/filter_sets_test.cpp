// Filter-set records, their sorts, one singularity's response on a curve and the
// fit graph's corrected curve, against the root product of the filter library
// and analytic section responses; the level-matching averages drawn while a
// filter is edited; what a fit point can carry, and the fit's small numeric routines;
// the modes list's lines and records, and the main window's sort buttons.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QListWidget>
#include <QPushButton>
#include <limits>

#include "base/text_number.h"
#include "core/filter_design.h"
#include "core/work_arrays.h"
#include "display/graph_frame.h"
#include "display/plot_colours.h"
#include "display/views_fixture.h"
#include "display/view_state.h"
#include "eqdesign/corrected_response.h"
#include "eqdesign/eq_list_fixture.h"
#include "eqdesign/filter_set_links.h"
#include "eqdesign/filter_sets.h"
#include "eqdesign/fit_curves.h"
#include "eqdesign/fit/peak_dip.h"
#include "eqdesign/level_matching.h"
#include "eqdesign/modes_list.h"
#include "mainwindow/main_window_links.h"
#include "platform/numeric/numeric.h"
#include "support/curve_sets.h"

namespace zentor {
namespace {

using Texts = std::vector<std::string>;
using Floats = std::vector<float>;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

using test::Entries;
using test::SameBits;

Floats Column(const std::array<float, kMaxFilters>& a, int32_t n) { return Floats(a.begin(), a.begin() + n); }

class FilterSetsTest : public test::ZentorTest {};

TEST_F(FilterSetsTest, RemovingInsignificantEntriesKeepsTheArraysAlignedAndCopiesTakeTheEntries) {
  const float above = std::nextafter(2.0f, 10.0f);
  SingularityListRecord s = Entries({{100, 2, 2, 11}, {200, -3, 1, 22}, {300, above, 2, 33}, {400, 1, 2, 44}});
  RemoveInsignificantFilters(s);
  ASSERT_EQ(s.Count, 2);  // |Q1| = Q2 goes, one float step above stays
  EXPECT_EQ(Column(s.Freq, 3), (Floats{200, 300, 300}));  // the old tail is not cleared
  EXPECT_EQ(Column(s.Q1, 2), (Floats{-3, above}));
  EXPECT_EQ(Column(s.Q2, 2), (Floats{1, 2}));
  EXPECT_EQ(Column(s.FitError, 2), (Floats{22, 33}));

  SingularityListRecord none = Entries({{1, 0.5f, 1, 1}, {2, -1, 1, 1}});
  RemoveInsignificantFilters(none);
  EXPECT_EQ(none.Count, 0);
  SingularityListRecord damaged = Entries({{1, 5, 1, 1}});
  damaged.Count = 1000;  // read no further than the arrays
  RemoveInsignificantFilters(damaged);
  EXPECT_EQ(damaged.Count, 1);

  // Copies take the entries, and only CopyFilterSet the header.
  SingularityListRecord src = Entries({{10, 4, 1, 1}, {20, -4, 2, 3}});
  src.Curve = 5, src.Graphshown = 6, src.Gatetime = 120, src.RangeHigh = 200;
  SingularityListRecord dst = Entries({{7, 7, 7, 7}, {7, 7, 7, 7}, {7, 7, 7, 7}});
  dst.Graphshown = 3, dst.Gatetime = 50, dst.RangeLow = 1, dst.RangeHigh = 2;
  const auto header = [&] {
    return Floats{float(dst.Curve), float(dst.Graphshown), dst.Gatetime, dst.RangeLow, dst.RangeHigh};
  };
  CopyFilterSetEntries(src, dst);
  EXPECT_EQ(dst.Count, 2);
  EXPECT_EQ(Column(dst.Freq, 3), (Floats{10, 20, 7}));
  EXPECT_EQ(Column(dst.FitError, 2), (Floats{1, 3}));
  EXPECT_EQ(header(), (Floats{0, 3, 50, 1, 2}));
  CopyFilterSet(src, dst);
  EXPECT_EQ(header(), (Floats{5, 6, 120, 0, 200}));
  EXPECT_EQ(dst.Freq[2], 7.0f);  // beyond the count: as it was
}

TEST_F(FilterSetsTest, SortsMoveWholeEntriesAndKeepEqualKeysInOrder) {
  SingularityListRecord s = Entries({{300, 3, 30, 0.3f}, {100, 1, 10, 0.1f}, {200, 2, 20, 0.2f}});
  SortFilterSetByKey1(s, true);
  EXPECT_TRUE(SameBits(s, Entries({{100, 1, 10, 0.1f}, {200, 2, 20, 0.2f}, {300, 3, 30, 0.3f}})));

  // Equal frequencies, told apart by Q1: their order survives both directions.
  SingularityListRecord ties = Entries({{50, 1, 1, 1}, {100, 2, 1, 1}, {50, 3, 1, 1}, {100, 4, 1, 1}});
  SortFilterSetByKey1(ties, true);
  EXPECT_EQ(Column(ties.Q1, 4), (Floats{1, 3, 2, 4}));
  SortFilterSetByKey1(ties, false);
  EXPECT_EQ(Column(ties.Q1, 4), (Floats{2, 4, 1, 3}));

  SingularityListRecord q = Entries({{1, -4, 1, 5}, {2, 6, 1, 9}, {3, 2, 1, 7}});
  SortFilterSetByKey2(q, false);
  EXPECT_EQ(Column(q.Q1, 3), (Floats{6, 2, -4}));
  SortFilterSetByKey2(q, true);
  EXPECT_EQ(Column(q.Q1, 3), (Floats{-4, 2, 6}));
  SortFilterSetByAbsQ1(q);
  EXPECT_EQ(Column(q.Q1, 3), (Floats{6, -4, 2}));
  SortFilterSetByKey4(q, false);
  EXPECT_EQ(Column(q.FitError, 3), (Floats{9, 7, 5}));
  EXPECT_EQ(Column(q.Freq, 3), (Floats{2, 3, 1}));

  SingularityListRecord bad = Entries({{3, 1, 1, 1}, {std::numeric_limits<float>::quiet_NaN(), 1, 1, 1}, {1, 1, 1, 1}});
  SortFilterSetByKey1(bad, true);  // a NaN key sorts without harm
  bad.Count = 76;                  // a damaged count is not sorted
  const SingularityListRecord before = bad;
  SortFilterSetByKey1(bad, true);
  EXPECT_EQ(bad.Freq[0], before.Freq[0]);

  // The modes' sort moves fields 1 to 21 together.
  std::vector<FilterRecord> modes(4);
  const Floats freq{300, 100, 200, 1};
  for (int i = 0; i < 4; ++i) {
    FilterRecord& m = modes[static_cast<size_t>(i)];
    m.Curve = i, m.Graphshown = 3 + i;  // fields 2 to 17 move too
    m.Freq1 = freq[static_cast<size_t>(i)], m.FitError = 5.0f + i, m.Unused22 = 22 + i, m.EQEmulationCode = 1 + i;
  }
  modes[0].Count = 3;  // the fourth is past the count
  SortModesByFrequency(modes, true);
  EXPECT_EQ((Floats{modes[0].Freq1, modes[1].Freq1, modes[2].Freq1, modes[3].Freq1}), (Floats{100, 200, 300, 1}));
  // The words after the score stay.
  EXPECT_EQ((std::vector<double>{double(modes[0].Count), double(modes[0].Curve), double(modes[0].Graphshown),
                                 modes[0].FitError, double(modes[0].Unused22), double(modes[0].EQEmulationCode)}),
            (std::vector<double>{3, 1, 4, 6, 22, 1}));
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

TEST_F(FilterSetsTest, TheClosedFormEqualsTheRootProductAndItsNegationUndoesIt) {
  struct Case {
    double q1, q2;
    float damping;
  };
  test::MessageLog log;
  // Peaks and dips, complex and real roots (a Q below 0.5), damped.
  for (const Case k : {Case{8, 2, 1}, Case{-8, 2, 1}, Case{12, 0.3, 1}, Case{-0.4, 3, 1}, Case{6, 1.5, 0.8f},
                       Case{-6, 1.5, 0.8f}, Case{0.45, 0.2, 0.8f}}) {
    SCOPED_TRACE(testing::Message() << "Q1 " << k.q1 << " Q2 " << k.q2 << " damping " << k.damping);
    const Curve c = LogCurve(2000);
    std::vector<double> got = c.levels;
    ApplySingularityToLevels(got, c.hz, k.q1, k.q2, kTwoPi * 250, k.damping, 0, 2000, log.sink());
    const double d = k.damping;
    const double zeroQ = d * (k.q1 < 0 ? -k.q1 : k.q2);
    const double poleQ = d * (k.q1 < 0 ? k.q2 : k.q1);
    ExpectNear(got, RootProduct(c.levels, c.hz, kTwoPi * 250, zeroQ, poleQ), 1e-12);
    ApplySingularityToLevels(got, c.hz, -k.q1, k.q2, kTwoPi * 250, k.damping, 0, 2000, log.sink());
    ExpectNear(got, c.levels, 1e-12);
  }
  // A peak multiplies its centre by the Q ratio; a decade below, r = 0.1:
  // |H|^2 = ((1 - r^2)^2 + r^2) / ((1 - r^2)^2 + r^2 / 16).
  Curve c = LogCurve(400);
  c.hz[123] = 100.0f;
  const std::vector<double> original = c.levels;
  ApplySingularityToLevels(c.levels, c.hz, 4, 1, kTwoPi * 100, 1.0f, 0, 400, log.sink());
  EXPECT_NEAR(c.levels[123] / original[123], 4.0, 1e-12);
  EXPECT_NEAR(c.levels[0] / original[0], std::sqrt((0.9801 + 0.01) / (0.9801 + 0.000625)), 1e-12);
  EXPECT_TRUE(log.texts.empty());
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
  const struct {
    double q1, q2;
    float damping;
    bool applied;
    Texts said;
  } rows[] = {
      {0, 2.5, 1, false, {"Error 98361 Freq = 100Q2 = 2.5"}},
      {4, 0.05, 1, true, {"Error 5343"}},
      {4, 1, 1.01f, true, {"Error 5497"}},
      {4, 1, 1, true, {}},
      {4, 0, 1, false, {"Error 5343", "Error 5344"}},  // no NaN: nothing applied
      {4, 1, 0, false, {"Error 5342"}},
      {4, -1, 0.8f, true, {"Error 5343", "Error 5345"}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(run(row.q1, row.q2, row.damping) != c.levels, row.applied) << row.q1 << " " << row.q2;
    EXPECT_EQ(log.texts, row.said) << row.q1 << " " << row.q2 << " " << row.damping;
  }
  const std::vector<double> negative = run(4, -1, 0.8f);
  EXPECT_EQ(negative, run(4, 1, 0.8f)) << "a negative Q2 counts as positive";
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

class PeakDipTest : public test::ZentorTest {
 protected:
  int32_t Kind(int32_t n, const std::vector<double>& y, int32_t mode = 6) {
    return CheckPeakOrDip(n, y, static_cast<int32_t>(y.size()), mode, log.sink());
  }
  test::MessageLog log;
};

TEST_F(PeakDipTest, PointsAreToldByTheirNeighboursOrTheirCurvatureAndTheSmallRoutines) {
  std::vector<double> line, flat(11, 2.0), up, down;
  for (int i = 0; i < 11; ++i) {
    line.push_back(3.0 * i);
    up.push_back(double(i) * i);
    down.push_back(-double(i) * i + 40.0 * i);
  }
  const std::vector<double> spike{1, 1, 1, 1, 1, 9, 1, 1, 1, 1};
  const struct {
    const char* name;
    std::vector<double> y;
    int32_t n, mode, want;
  } rows[] = {
      {"peak", {1, 1, 1, 1, 2, 5, 2, 1, 1, 1, 1}, 5, 6, kPointPeak},
      {"dip", {1, 1, 1, 1, 2, 0, 2, 1, 1, 1, 1}, 5, 6, kPointDip},
      {"peak, one side level", {0, 0, 0, 0, 1, 3, 3, 1, 0, 0, 0}, 5, 6, kPointPeak},
      {"dip, one side level", {3, 3, 3, 3, 2, 0, 0, 2, 3, 3, 3}, 5, 6, kPointDip},
      {"line: no second difference above 0", line, 5, 6, kPointPeak},
      {"flat", flat, 5, 6, kPointPeak},
      {"bending down", down, 5, 6, kPointPeak},
      {"bending up", up, 5, 6, kPointDip},
      {"bending up, Bode", up, 5, kModeCodeBode, kPointNeither},
      {"bends both ways", {0, 0, 0, 1, 3, 4, 5, 7, 8, 9, 9}, 5, 6, kPointNeither},
      {"near the start", spike, 4, 6, kPointNeither},
      {"count 10, n 5: tested", spike, 5, 6, kPointPeak},
      {"near the end: n = count - 4", spike, 6, 6, kPointNeither},
  };
  for (const auto& row : rows) EXPECT_EQ(Kind(row.n, row.y, row.mode), row.want) << row.name;
  EXPECT_EQ(CheckPeakOrDip(6, spike, 1000, 6, log.sink()), kPointNeither);  // the count is cut to the levels
  EXPECT_TRUE(log.texts.empty());

  std::vector<double> bad(11, 1.0);
  for (double v : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    bad[7] = v;
    EXPECT_EQ(Kind(5, bad), kPointNeither);
  }
  EXPECT_EQ(log.texts, (Texts{"Error 6543", "Error 6543"}));

  // The small routines.
  SingularityListRecord s;
  s.Count = 2;
  s.Freq = {1000, 2000, 3000};  // the third past the count
  for (const auto& [hz, near] : {std::pair{2006.2, true}, {993.8, true}, {2006.3, false}, {3000.0, false}})
    EXPECT_EQ(NearExistingFilter(hz, s, 1.0f), near) << hz;
  s.Count = -7;
  EXPECT_FALSE(NearExistingFilter(1000, s, 1.0f));

  for (const auto& [error, score] : {std::pair{0.001, 1.0}, {-0.002, 4.0}, {0.002, 4.0}})
    EXPECT_DOUBLE_EQ(FitErrorToScore(error), score) << error;
  // 60 dB in T seconds is a time constant of T / 6.9: Q = π f T / 6.9.
  EXPECT_NEAR(DecayTimeToQ(50, 0.5f), 11.3826, 1e-4);

  double b = 2;
  EXPECT_TRUE(TakeIfSmaller(1, b) && !TakeIfSmaller(1, b) && b == 1.0 && !NoSingularityFitted());

  SingularityFitWork w;
  w.NumPoints = 2;
  w.ResultB = {2, 0.5, 8};  // the third past the window
  double q = 3;
  EXPECT_FALSE(InvertDipResponse(w, q, kPointPeak));
  EXPECT_EQ(std::pair(q, w.ResultB[0]), std::pair(3.0, 2.0));
  EXPECT_FALSE(InvertDipResponse(w, q, kPointDip));
  EXPECT_EQ((std::vector<double>{q, w.ResultB[0], w.ResultB[1], w.ResultB[2]}), (std::vector<double>{-3, 0.5, 2, 8}));
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

  w.NumPoints = 7, w.NumQ = 3, w.NumFreq = 2;
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

using test::kTwoPiF;

// n log-spaced points from f0 to f1 Hz at `level` dB.
CurveRecord LogCurve(int n, float f0, float f1, float level = 0) {
  CurveRecord c;
  c.NumPoints = n;
  for (int i = 0; i < n; ++i) {
    c.XValues[static_cast<size_t>(i)] = f0 * std::pow(f1 / f0, float(i) / float(n - 1));
    c.YValues[static_cast<size_t>(i)] = level;
  }
  return c;
}

int IndexNear(const CurveRecord& c, float f) {
  int best = 0;
  for (int i = 0; i < c.NumPoints; ++i)
    if (std::fabs(c.XValues[static_cast<size_t>(i)] - f) < std::fabs(c.XValues[static_cast<size_t>(best)] - f)) best = i;
  return best;
}

class CorrectedResponseTest : public test::ZentorTest {
 protected:
  void SetUp() override {
    ZentorTest::SetUp();
    SetDefaultGraphFrames();
    SetDefaultPlotColours();
  }
  test::RecordingHost host;
  FilterBlock block;
};

TEST_F(CorrectedResponseTest, EachEntryMultipliesInItsSectionsMagnitude) {
  // 2 dB ripple, so that a copy cannot pass for a correction.
  CurveRecord response = LogCurve(401, 10, 1000);
  for (int i = 0; i < response.NumPoints; ++i) response.YValues[static_cast<size_t>(i)] = 2 * std::sin(0.05f * i);
  const int at100 = IndexNear(response, 100), at10 = 0, at1k = 400;
  ASSERT_NEAR(response.XValues[static_cast<size_t>(at100)], 100, 0.01);
  SingularityListRecord set;
  for (float q1 : {10.0f, -10.0f}) {
    set = Entries({{kTwoPiF * 100, q1, 2.5f}});
    CurveRecord corrected;
    BuildCorrectedCurve(response, corrected, set, block, 48000);
    ASSERT_EQ(corrected.NumPoints, 401);
    const float change = corrected.YValues[static_cast<size_t>(at100)] - response.YValues[static_cast<size_t>(at100)];
    EXPECT_NEAR(change, q1 > 0 ? -12.04f : 12.04f, 0.01f);  // 20 log10(4)
    for (int i : {at10, at1k})
      EXPECT_NEAR(corrected.YValues[static_cast<size_t>(i)], response.YValues[static_cast<size_t>(i)], 0.05f);
    EXPECT_EQ(corrected.XValues[static_cast<size_t>(at100)], response.XValues[static_cast<size_t>(at100)]);
  }
  // Entries with no direction (Q1 = 0) or no pole-side Q contribute nothing.
  set = Entries({{kTwoPiF * 100, 0, 2.5f}, {kTwoPiF * 100, 10, 0}, {kTwoPiF * 100, -10, -2}});
  CurveRecord corrected;
  BuildCorrectedCurve(response, corrected, set, block, 48000);
  for (int i = 0; i < response.NumPoints; ++i)
    ASSERT_NEAR(corrected.YValues[static_cast<size_t>(i)], response.YValues[static_cast<size_t>(i)], 1e-4) << i;
  EXPECT_TRUE(dialogs.MessageTexts().empty());
}

TEST_F(CorrectedResponseTest, LevelLimitsCoverTheResponseButTheCorrectionOnlyInsideTheRange) {
  CurveRecord response = LogCurve(5, 10, 10000, 0);
  CurveRecord corrected = response;
  const float c[] = {-30, 7.4f, 3, 50, -60};  // at 10, 56, 316, 1778, 10000 Hz
  for (int i = 0; i < 5; ++i) corrected.YValues[static_cast<size_t>(i)] = c[i];
  response.YValues[4] = -9.6f;
  GraphFrame frame;
  frame.XStart = 50;
  frame.XFinish = 1000;
  ScaleFitGraphLevels(frame, response, corrected);
  // Points 1 and 2 seed 3..7; inside (50, 1000) nothing further; the response adds -10.
  EXPECT_EQ(std::pair(frame.YLow, frame.YHigh), std::pair(-10 - 2, 7 + 2));
  frame.XFinish = 2000;  // now 50 dB lies inside
  ScaleFitGraphLevels(frame, response, corrected);
  EXPECT_EQ(frame.YHigh, 52);
  // Short curves seed from what exists; with nothing at all the limits are -2..2.
  CurveRecord none;
  ScaleFitGraphLevels(frame, none, none);
  EXPECT_EQ(std::pair(frame.YLow, frame.YHigh), std::pair(-2, 2));
  CurveRecord two = LogCurve(2, 10, 20, 5);
  ScaleFitGraphLevels(frame, two, two);
  EXPECT_EQ(std::pair(frame.YLow, frame.YHigh), std::pair(3, 7));
}

TEST_F(CorrectedResponseTest, DrawsBothCurvesWithTheLegendOfTheSelectedSet) {
  CurveRecord& response = FitInputCurves[3];
  response = LogCurve(300, 20, 2000, 1);
  response.Label = " 4";
  SingularityListRecord& set = SingularityList[3];
  set.RangeLow = 30.4f;
  set.RangeHigh = 1500.5f;
  const std::pair<int32_t, std::string> titles[] = {{5, "Bode/gated FFT Parametric Fit"},
                                                   {6, "0.33 Oct Parametric Fit"},
                                                   {7, "Psychoacoustic Response Fit"}};
  host.fitSet = 2;  // the legend follows the set of the modes area, not the curve's
  for (const auto& [code, title] : titles) {
    SingularityList[2].ModeCode = code;
    SingularityList[2].Smoothing = 1.0f / 3;
    host.rec.Clear();
    ShowCorrectedResponse(host, response, FitStoredCurves[3], set, 3, block, 48000, FitGraphFrame);
    EXPECT_TRUE(test::HasText(host.rec, title)) << code;
  }
  EXPECT_EQ(std::pair(FitGraphFrame.XStart, FitGraphFrame.XFinish), std::pair(30, 1500));  // halves to even
  EXPECT_EQ(FitStoredCurves[3].Label, " 4 Corrected");  // also for an empty set
  EXPECT_TRUE(test::HasText(host.rec, " 4") && test::HasText(host.rec, " 4 Corrected"));
  const auto polylines = host.rec.Of(RecordingSurface::Kind::Polyline);
  ASSERT_GE(polylines.size(), 3u);
  EXPECT_EQ(std::pair(polylines[polylines.size() - 3].pen.colour, polylines[polylines.size() - 2].pen.colour),
            std::pair(PlotColours[3], PlotColours[4]));
  // Last, the flat target of the start-up limits, dashed.
  EXPECT_EQ(polylines.back().pen, (Pen{PlotColours[4], PenStyle::Dash}));
  // The stored counts become the slot index.
  EXPECT_EQ(std::pair(FitInputCurves[0].NumCurves, FitStoredCurves[0].NumCurves), std::pair(3, 3));

  for (int n : {1, 2}) {
    response = LogCurve(n == 1 ? 2 : n, 100, 200, 4);
    response.NumPoints = n;
    ShowCorrectedResponse(host, response, FitStoredCurves[3], set, 3, block, 48000, FitGraphFrame);
    EXPECT_EQ(FitStoredCurves[3].NumPoints, n);
  }
}

TEST_F(CorrectedResponseTest, TheTrueSetFlattensThreeFilterSyntheticCurve) {
  // Applying a set with Q1 negated puts its filters into a flat curve; the set
  // itself takes them out again.
  SingularityListRecord truth;
  truth = Entries({{kTwoPiF * 45, 12, 3}, {kTwoPiF * 160, -6, 2}, {kTwoPiF * 700, 8, 2.2f}});
  SingularityListRecord inverse = truth;
  for (int i = 0; i < 3; ++i) inverse.Q1[static_cast<size_t>(i)] = -truth.Q1[static_cast<size_t>(i)];
  CurveRecord& response = FitInputCurves[0];
  BuildCorrectedCurve(LogCurve(2000, 20, 2000, 0), response, inverse, block, 48000);
  response.Label = " 1";
  truth.RangeLow = 20;
  truth.RangeHigh = 2000;
  truth.ModeCode = 6;
  truth.Smoothing = 1.0f / 6;
  SingularityList[0] = truth;
  PictureBox picture;
  picture.resize(1200, 1200);
  host.picture = &picture;
  FitGraphFrame.LogX = kTrue;
  ShowCorrectedResponse(host, response, FitStoredCurves[0], truth, 0, block, 48000, FitGraphFrame);
  float worst = 0;
  for (int i = 0; i < 2000; ++i) worst = std::max(worst, std::fabs(FitStoredCurves[0].YValues[static_cast<size_t>(i)]));
  EXPECT_LT(worst, 0.01f);
  // The peak the 12/3 entry cuts lies in the response, and the dip the -6/2 entry fills.
  EXPECT_TRUE(FitGraphFrame.YHigh >= 14 && FitGraphFrame.YLow <= -11)
      << FitGraphFrame.YLow << " " << FitGraphFrame.YHigh;
  const QString path = QDir::temp().filePath("zentor_fit_graph_corrected.png");
  EXPECT_TRUE(picture.DrawingSpaceImage().save(path));
}

// ---- Level matching ------------------------------------------------------------------

class LevelMatchingTest : public CorrectedResponseTest {
 protected:
  void SetUp() override {
    CorrectedResponseTest::SetUp();
    AllocateWorkArrays(kWorkArrayPoints);
    SetDefaultMeasurementHeader(EQConfig);
    EQConfig.PeriodExponent = 17;
    host.displayRes = 0;
  }
  void TearDown() override {
    FreeWorkArrays();
    CorrectedResponseTest::TearDown();
  }
  // n results holding an impulse of `amplitude` at time zero.
  void LoadImpulses(int32_t n, float amplitude) {
    test::LoadSilentSet(n, 48000, 17, 20);
    for (int32_t i = 0; i < n; ++i) ImpulseSet[static_cast<size_t>(i)][2400] = amplitude;
    ResultsDataSetInfo[0].FreqRespGateTime = 1000.0f / 46.875f;
  }
};

TEST_F(LevelMatchingTest, LevelsSitOneDecibelClearOfTheAveragesAndTheFilterIsWrittenWithTheViewsTitle) {
  LoadImpulses(2, 2.0f);  // both averages flat at 6.02 dB without filters
  DisplayConfig.Graphshown = kBodeView;
  FreqGraphFrame.XStart = 100;
  FreqGraphFrame.XFinish = 1000;
  EXPECT_TRUE(AjustLevelGraphics(host, 0, kTwoPiF * 900, 1, 1, 0));
  EXPECT_EQ(std::pair(FreqGraphFrame.YLow, FreqGraphFrame.YHigh), std::pair(5, 7));
  FreqGraphFrame.XStart = 15000;  // the Bode points end below
  FreqGraphFrame.XFinish = 20000;
  host.displayRes = 2;
  BodeCurves[0].NumCurves = 0;
  EXPECT_TRUE(AjustLevelGraphics(host, 0, kTwoPiF * 900, 1, 1, 0));
  EXPECT_EQ(std::pair(FreqGraphFrame.YLow, FreqGraphFrame.YHigh), std::pair(-1, 1));

  test::SetApplied({test::MakeFilter(2, 1000, 6, 2, 3)});
  host.displayRes = 4;
  FreqGraphFrame.XStart = 5;
  FreqGraphFrame.XFinish = 30000;
  const std::pair<int32_t, std::string> views[] = {
      {kBodeView, " Power Average"}, {kFractOctView, " SPL Average"}, {kPsycView, " SPL Average"}};
  for (const auto& [view, title] : views) {
    DisplayConfig.Graphshown = view;
    host.rec.Clear();
    EXPECT_TRUE(AjustLevelGraphics(host, 0, kTwoPiF * 900, 1.5f, -3.0f, 0));
    EXPECT_TRUE(test::HasText(host.rec, title)) << view;
    EXPECT_EQ(SingleViewCurves[0].NumCurves, 2);
    EXPECT_EQ(SingleViewCurves[1].Label.back(), '*');
  }
  const FilterRecord& r = AppliedFilters[0];
  EXPECT_EQ((std::vector<float>{r.Freq1, r.Q1, r.Q2}), (std::vector<float>{kTwoPiF * 900, -3, 1.5f}));
  EXPECT_EQ(std::pair(FreqGraphFrame.XStart, FreqGraphFrame.XFinish), std::pair(10, 24000));

  DisplayConfig.Graphshown = kImpulseView;
  dialogs.ExpectMessage();
  dialogs.ExpectMessage();
  EXPECT_TRUE(AjustLevelGraphics(host, 0, kTwoPiF * 900, 1.5f, 0, 0));
  EXPECT_EQ(dialogs.MessageTexts(), (Texts{"Error 5420", "Error 4763"}));
  EXPECT_EQ(r.Q1, 0.0f);  // written all the same
  EXPECT_FALSE(AjustLevelGraphics(host, 75, 1, 1, 1, 0));
  AjustDeltaLevelGraphics(1, 2, 3, 4);
}

TEST_F(LevelMatchingTest, TheFilteredAverageShowsInTheSecondCurveColourOverTheBackground) {
  LoadImpulses(2, 1.0f);
  test::SetApplied({test::MakeFilter(2, 1000, 9, 2, 3)});
  DisplayConfig.Graphshown = kBodeView;
  FreqGraphFrame.XStart = 100;
  FreqGraphFrame.XFinish = 10000;
  FreqGraphFrame.LogX = kTrue;
  PictureBox picture;
  picture.resize(1200, 1200);
  host.picture = &picture;
  ASSERT_TRUE(AjustLevelGraphics(host, 0, AppliedFilters[0].Freq1, AppliedFilters[0].Q2, AppliedFilters[0].Q1, 0));
  EXPECT_EQ(picture.GetDrawMode(), DrawMode::CopyPen);
  const QImage image = picture.Image().convertToFormat(QImage::Format_RGB32);
  image.save(QDir::temp().filePath("zentor_level_matching.png"));
  // The peak of the filtered average at 1 kHz, 9 dB above the plain one at 0 dB.
  const CurveRecord& filtered = SingleViewCurves[1];
  const int i = IndexNear(filtered, 1000);
  const GraphFrame& f = FreqGraphFrame;
  const int x = ToDrawUnit(std::log(filtered.XValues[static_cast<size_t>(i)]) * f.XScale + f.XOffset);
  const int y = ToDrawUnit(filtered.YValues[static_cast<size_t>(i)] * f.YScale + f.YOffset);
  const QColor second(RedOf(PlotColours[4]), GreenOf(PlotColours[4]), BlueOf(PlotColours[4]));
  bool found = false;
  for (int dx = -2; dx <= 2 && !found; ++dx)
    for (int dy = -2; dy <= 2 && !found; ++dy) found = image.pixelColor(x + dx, y + dy) == second;
  EXPECT_TRUE(found) << x << "," << y;
}

// ---- The modes list ------------------------------------------------------------------

const float k100Hz = test::kTwoPiF * 100;

FilterRecord Mode(float freq, float q1, float q2, float score) {
  FilterRecord m;
  m.Freq1 = freq, m.Q1 = q1, m.Q2 = q2, m.FitError = score;
  return m;
}

class ModesListTest : public test::MainWindowTest {
 protected:
  test::MessageLog log;
};

TEST_F(ModesListTest, EachModeIsOneLineItsRecordCarriesTheSetsHeaderAndTheSortButtonsSortEverySet) {
  // T = 20 x 13.8 / 628.3 = 0.439 s; L = 20 log10(4) = 12.04 dB.
  EXPECT_EQ(ModesListLine(Mode(k100Hz, 20, 5, 0)), "P 100 Hz, Q:20/0.43 L:-12 E:0");
  EXPECT_EQ(ModesListLine(Mode(k100Hz, -20, 5, 0)), "Z 100 Hz, Q:20 L:12 E:0");
  // The error class: 10 log10(score + 1), truncated.
  EXPECT_EQ(ModesListLine(Mode(k100Hz, -20, 5, 9)), "Z 100 Hz, Q:20 L:12 E:10");
  EXPECT_EQ(ModesListLine(Mode(k100Hz, -20, 5, 1)), "Z 100 Hz, Q:20 L:12 E:3");
  // Frequencies cut to 0.01 Hz and Q to 0.1, toward zero.
  const float f = static_cast<float>(2 * std::numbers::pi * 47.679);
  EXPECT_EQ(ModesListLine(Mode(f, -3.47f, 1, 1)), "Z 47.67 Hz, Q:3.4 L:10.8 E:3");
  // A cut of under 0.1 dB shows 0, not -0.
  EXPECT_EQ(ModesListLine(Mode(k100Hz, 1.001f, 1, 0)), "P 100 Hz, Q:1/0.02 L:0 E:0");
  // Without Q2 there is no level to show.
  EXPECT_EQ(ModesListLine(Mode(k100Hz, 20, 0, 0)), "P 100 Hz, Q:20/0.43 E:0");
  EXPECT_EQ(ModesListLine(Mode(k100Hz, -20, 0, 0)), "Z 100 Hz, Q:20 E:0");

  std::vector<std::string> lines;
  ModesListContents[0].Count = 9;
  EXPECT_FALSE(BuildModesList(2, lines, log.sink()));
  EXPECT_EQ(lines, (Texts{"No Modes Found"}));
  EXPECT_EQ(ModesListContents[0].Count, 0);

  SingularityListRecord& s = SingularityList[2];
  s = Entries({{k100Hz, 20, 5, 0}, {2 * k100Hz, -20, 5, 9}});
  s.Average = -1;  // word 2
  s.Kind = 4;      // word 13
  s.SelectCode = 4;
  s.Graphshown = 6;  // words 15 to 17
  s.Smoothing = 0.33f;
  s.Gatetime = 250;
  ModesListContents[1].SelectCode = 55;
  ModesListContents[1].EQEmulationCode = 3;
  EXPECT_TRUE(BuildModesList(2, lines, log.sink()));
  EXPECT_EQ(lines, (Texts{"P 100 Hz, Q:20/0.43 L:-12 E:0", "Z 200 Hz, Q:20 L:12 E:10"}));
  EXPECT_EQ(ModesListContents[0].Count, 2);
  const FilterRecord& m = ModesListContents[1];
  EXPECT_EQ((std::vector<double>{double(m.Curve), double(m.Average), double(m.Kind), double(m.Graphshown),
                                 m.Smoothing, m.Gatetime, m.Freq1, m.Q1, m.FitError}),
            (std::vector<double>{2, -1, 4, 6, 0.33f, 250, 2 * k100Hz, -20, 9}));
  EXPECT_EQ(m.SelectCode, 55);  // not written
  EXPECT_EQ(m.EQEmulationCode, 3);
  EXPECT_TRUE(log.texts.empty());
  FilterRecord untouched = m;
  EXPECT_FALSE(ModeRecordFromSet(33, 0, untouched));
  EXPECT_FALSE(ModeRecordFromSet(2, 75, untouched));
  EXPECT_EQ(untouched.Freq1, m.Freq1);

  s.Q2[1] = 0;
  EXPECT_TRUE(BuildModesList(2, lines, log.sink()));
  EXPECT_EQ(lines[1], "Z 200 Hz, Q:20 E:10");
  EXPECT_EQ(log.texts, (Texts{"CheckForCurveSingularities: Q2=0 Error ModesListContents.Freq1(1) = " +
                                            FormatSingle(2 * k100Hz)}));

  // A damaged count lists what the arrays hold; a curve outside the sets lists nothing.
  s.Count = 500;
  log.texts.clear();
  EXPECT_TRUE(BuildModesList(2, lines, [](const std::string&) {}));
  EXPECT_EQ(lines.size(), 75u);
  EXPECT_FALSE(BuildModesList(33, lines, log.sink()));
  EXPECT_EQ(lines, (Texts{"No Modes Found"}));

  // The sort buttons sort every curve's set and list the selected one.
  DataPlotter* w = Start();
  InstallFilterSetLinks();
  w->RefreshLinkedControls();
  ASSERT_TRUE(w->FreqSelect->isEnabled() && w->QSelect->isEnabled());

  for (size_t k : {0u, 5u}) SingularityList[k] = Entries({{3 * k100Hz, -8, 2}, {k100Hz, 20, 5}, {2 * k100Hz, 4, 2}});
  w->FreqSelect->click();  // ascending first
  EXPECT_EQ(std::pair(SingularityList[5].Freq[0], SingularityList[5].Q1[0]), std::pair(k100Hz, 20.0f));
  EXPECT_EQ(test::Lines(w->ModesList), (Texts{"P 100 Hz, Q:20/0.43 L:-12 E:0",
                                                               "P 200 Hz, Q:4/0.04 L:-6 E:0",
                                                               "Z 300 Hz, Q:8 L:12 E:0"}));
  w->QSelect->click();  // the direction flips: descending on Q1
  EXPECT_EQ(test::Lines(w->ModesList).front(), "P 100 Hz, Q:20/0.43 L:-12 E:0");
  EXPECT_EQ(test::Lines(w->ModesList).back(), "Z 300 Hz, Q:8 L:12 E:0");
  w->QSelect->click();
  EXPECT_EQ(test::Lines(w->ModesList).front(), "Z 300 Hz, Q:8 L:12 E:0");
  EXPECT_EQ(SingularityList[5].Q1[0], -8.0f);

  SingularityList[0].Count = 0;
  EXPECT_FALSE(MainWindowHooks.CheckForCurveSingularities(0));
  EXPECT_EQ(test::Lines(w->ModesList), (Texts{"No Modes Found"}));
  EXPECT_TRUE(MainWindowHooks.CheckForCurveSingularities(5));
  EXPECT_EQ(test::Lines(w->ModesList).size(), 3u);
  EXPECT_TRUE(MainWindowHooks.SortFilterSetByKey4);
}

}  // namespace
}  // namespace zentor
