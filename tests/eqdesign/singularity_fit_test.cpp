// The fit kernel and the one-singularity fit.
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <numbers>
#include <vector>

#include "eqdesign/fit_curves.h"
#include "eqdesign/fit/fit_kernel.h"
#include "eqdesign/fit/peak_dip.h"
#include "eqdesign/fit/singularity_fit.h"

// Counts the allocations of the thread that asks to be watched.
namespace {
thread_local bool watchAllocations = false;
thread_local long allocations = 0;
}  // namespace

void* operator new(std::size_t size) {
  if (watchAllocations) ++allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace zentor {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// |H|² of a pole pair (qp) over a zero pair (qz) at w0, at ω: written out
// directly, not as the kernel arranges it.
double Model(double w0, double qp, double qz, double w) {
  const double d = w0 * w0 - w * w;
  return (d * d + std::pow(w0 * w / qz, 2)) / (d * d + std::pow(w0 * w / qp, 2));
}

SingularityFitWork GridWork(int32_t trials, int32_t qs, int32_t points, double f0) {
  SingularityFitWork w;
  w.NumFreq = trials;
  w.NumQ = qs;
  w.NumPoints = points;
  SetUpFreqArrayC(w.TrialFreq, kTwoPi * (f0 - 2), kTwoPi * (f0 + 2), trials);
  SetUpQ2ArrayC(w.QGrid, 0.7, 12, qs);
  w.QFixed = 1.7;
  for (int32_t i = 0; i < points; ++i) {
    w.Level[static_cast<size_t>(i)] = 1.0 + 0.3 * std::sin(0.37 * i);
    w.Weights[static_cast<size_t>(i)] = static_cast<float>(0.2 + 0.8 * std::exp(-0.01 * i * i));
  }
  return w;
}

std::vector<float> Linear(int32_t count, double step) {
  std::vector<float> f(static_cast<size_t>(count));
  for (size_t i = 0; i < f.size(); ++i) f[i] = static_cast<float>(step * static_cast<double>(i + 1));
  return f;
}

TEST(FitKernel, GridsRiseLinearlyBetweenExactEnds) {
  std::array<double, 40> a{};
  SetUpFreqArrayC(a, 0.1, 0.7, 39);
  EXPECT_EQ(a[0], 0.1);
  EXPECT_EQ(a[38], 0.7);
  for (size_t i = 1; i < 39; ++i) EXPECT_GT(a[i], a[i - 1]);
  EXPECT_NEAR(a[19], 0.4, 1e-15);
  std::array<double, 11> q{};
  q.fill(-1);
  SetUpQ2ArrayC(q, 3.3, 17.1, 10);
  EXPECT_EQ(q[0], 3.3);
  EXPECT_EQ(q[9], 17.1);
  EXPECT_EQ(q[10], -1);  // nothing past the count
  SetUpQ2ArrayC(q, 2.5, 9, 1);
  EXPECT_EQ(q[0], 2.5);
  SetUpFreqArrayC(std::span(a).first(3), 1, 2, 39);  // cut to the array
  EXPECT_EQ(a[2], 2.0);
}

TEST(FitKernel, LevelWindowsAndTheirNormalisation) {
  const std::vector<double> y{1, 2, 4, 0, -1, 0.5, 3};
  std::array<double, 201> level{};
  ASSERT_TRUE(LoadLevelArrayC(level, 3, 2, 2, y, 7));  // starts at n - 1
  EXPECT_EQ(level[0], 4);
  EXPECT_EQ(level[1], 16);
  EXPECT_DOUBLE_EQ(level[2], 1e-60);  // a level of 0 counts as 1e-30
  ASSERT_TRUE(LoadLevelArrayC(level, 4, 3, 2, y, 7));  // even width: one more after n
  EXPECT_EQ(level[0], 0.25);
  EXPECT_DOUBLE_EQ(level[3], 1e60);  // -1 too
  EXPECT_FALSE(LoadLevelArrayC(level, 5, 2, 1, y, 7));
  EXPECT_FALSE(LoadLevelArrayC(level, 3, 2, 6, y, 7));
  EXPECT_FALSE(LoadLevelArrayC(level, 3, 2, 5, y, 5));

  std::array<double, 4> w{2, 5, 7, 6};
  FixDoubleLinearLevelAboutOne(w, 4);
  EXPECT_EQ(w[0], 0.5);
  EXPECT_EQ(w[1], 1.25);
  EXPECT_EQ(w[3], 1.5);
}

TEST(FitKernel, EvaluatorAgreesWithAPlainLoopOverEveryShape) {
  const std::vector<float> f = Linear(400, 0.37);
  const struct {
    int32_t trials, qs, points;
  } shapes[] = {{39, 10, 3}, {11, 10, 3}, {1, 10, 25}, {1, 10, 200}, {7, 4, 9}};
  for (const auto& s : shapes) {
    const int32_t n = 200;
    const SingularityFitWork w = GridWork(s.trials, s.qs, s.points, f[static_cast<size_t>(n)]);
    FitCells cells;
    int64_t evaluations = 0;
    ASSERT_TRUE(FitMatrixC(w, f, 400, n, cells, &evaluations));
    EXPECT_EQ(evaluations, int64_t{s.trials} * s.qs * s.points);

    double best = INFINITY;
    int bk = -1, bj = -1;
    const int start = n - (s.points - 1) / 2;
    for (int k = 0; k < s.trials; ++k) {
      for (int j = 0; j < s.qs; ++j) {
        double num = 0, den = 0;
        for (int i = 0; i < s.points; ++i) {
          const double m = Model(w.TrialFreq[k], w.QGrid[j], w.QFixed, kTwoPi * f[static_cast<size_t>(start + i)]);
          num += w.Weights[i] * std::pow(w.Level[i] - m, 2);
          den += w.Weights[i];
        }
        const double r = std::sqrt(num / den);
        if (r < best) best = r, bk = k, bj = j;
      }
    }
    EXPECT_NEAR(cells.FitBestError, best, 1e-12 * std::max(1.0, best)) << s.trials << "x" << s.qs << "x" << s.points;
    EXPECT_EQ(cells.FitBestFreq, w.TrialFreq[bk]);
    EXPECT_EQ(cells.FitBestQ, w.QGrid[bj]);
  }
}

TEST(FitKernel, RecoversTheTrialATargetWasBuiltFrom) {
  const std::vector<float> f = Linear(400, 0.37);
  SingularityFitWork w = GridWork(39, 10, 25, f[150]);
  const int k0 = 23, j0 = 6;
  for (int i = 0; i < 25; ++i)
    w.Level[i] = Model(w.TrialFreq[k0], w.QGrid[j0], w.QFixed, kTwoPi * f[static_cast<size_t>(150 - 12 + i)]);
  FitCells cells;
  ASSERT_TRUE(FitMatrixC(w, f, 400, 150, cells));
  EXPECT_LT(cells.FitBestError, 1e-12);
  EXPECT_EQ(cells.FitBestFreq, w.TrialFreq[k0]);
  EXPECT_EQ(cells.FitBestQ, w.QGrid[j0]);  // the grid value itself, bit for bit

  // Equal grid values tie; the first wins.
  for (size_t j = 0; j < 10; ++j) w.QGrid[j] = w.QGrid[j0];
  ASSERT_TRUE(FitMatrixC(w, f, 400, 150, cells));
  EXPECT_EQ(cells.FitBestFreq, w.TrialFreq[k0]);
  EXPECT_EQ(cells.FitBestQ, w.QGrid[0]);

  // A window off the curve, counts past the arrays, no weight, a non-finite level.
  EXPECT_FALSE(FitMatrixC(w, f, 160, 150, cells));
  SingularityFitWork bad = w;
  bad.NumPoints = 201;
  EXPECT_FALSE(FitMatrixC(bad, f, 400, 150, cells));
  bad = w;
  bad.NumFreq = 41;
  EXPECT_FALSE(FitMatrixC(bad, f, 400, 150, cells));
  bad = w;
  bad.Weights.fill(0);
  EXPECT_FALSE(FitMatrixC(bad, f, 400, 150, cells));
  bad = w;
  bad.Level[3] = NAN;
  EXPECT_FALSE(FitMatrixC(bad, f, 400, 150, cells));
}

TEST(FitKernel, WindowsStayInsideTheCurve) {
  for (int32_t count : {11, 12, 60, 400, 2001}) {
    for (int32_t n = 5; n <= count - 5; ++n) {
      for (float bw : {0.0f, 0.3f, 1.7f, 4.0f, 9.5f, 33.3f, 150.0f, 1e5f, INFINITY}) {
        for (int32_t floor : {5, 9}) {
          const int32_t W = FitWindowWidth(bw, 0.5f, n, count, floor);
          if (W < 0) continue;
          EXPECT_GE(W, floor);
          EXPECT_LE(W, 200);
          EXPECT_GE(FitWindowStart(n, W), 0) << count << " " << n << " " << bw;
          EXPECT_LE(FitWindowStart(n, W) + W, count) << count << " " << n << " " << bw;
        }
      }
    }
  }
  EXPECT_EQ(FitWindowWidth(NAN, 0.5f, 100, 400, 9), -1);
  EXPECT_EQ(FitWindowWidth(4.0f, 0.5f, 100, 400, 5), 9);  // 10 made odd
  EXPECT_EQ(FitWindowWidth(1e4f, 0.5f, 300, 2001, 9), 200);
  EXPECT_EQ(FitWindowWidth(1e4f, 0.5f, 5, 2001, 9), -1);  // cut to 8 at the low end
  EXPECT_EQ(FitWindowWidth(1e4f, 0.5f, 5, 2001, 5), 8);
}

// ---- The one-singularity fit ------------------------------------------------------

struct Fit {
  bool ok = false;
  double F = 0, Q1 = 0, Q2 = 0, E = 0;
  SingularityFitContext context;
  SingularityFitWorkspace work;
};

Fit RunFit(const FitCurveRecord& c, int32_t n, double qmax, int32_t select = 4, int32_t mode = 6,
           bool quick = false, int32_t loops = 8, float width = 0.5f) {
  Fit r;
  r.context.Quick = quick;
  r.context.NumInitialLoops = loops;
  r.ok = FitOneSingularity(n, c, r.work, r.F, r.Q1, r.Q2, r.E, qmax, 0.05, width, select, mode, r.context);
  return r;
}

const KnownSingularity kPeak{50, 12, 5};
const KnownSingularity kDip{50, -12, 5};

int32_t Nearest(const test::KnownCurve& k, double f) {
  return NearestPointIndex(k.freqs, static_cast<float>(f), static_cast<int32_t>(k.freqs.size()), test::QuietSink());
}

TEST(OneSingularityFit, AdmitsPointsFiveFromEitherEnd) {
  // A curve of alternating peaks and dips: every point is one or the other.
  auto k = test::MakeKnownCurve(Linear(60, 1.0), {});
  for (int32_t i = 0; i < 60; ++i) k.curve->Level[static_cast<size_t>(i)] = i % 2 ? 1.2 : 0.8;
  for (int32_t n : {4, 56}) EXPECT_EQ(RunFit(*k.curve, n, 20, 0).context.Counters.PlainIterations, 0) << n;
  for (int32_t n : {5, 55}) EXPECT_GT(RunFit(*k.curve, n, 20, 0).context.Counters.PlainIterations, 0) << n;
}

TEST(OneSingularityFit, SelectCodeChoosesTheKindsOfPoint) {
  auto k = test::MakeKnownCurve(Linear(60, 1.0), {});
  FitCurveRecord& c = *k.curve;
  for (int32_t i = 0; i < 60; ++i) c.Level[static_cast<size_t>(i)] = 1.0;
  c.Level[20] = 2.0;  // a peak
  c.Level[30] = 0.5;  // a dip
  for (int32_t i = 38; i < 46; ++i) c.Level[static_cast<size_t>(i)] = 1.0 + 0.1 * (i - 38);  // a straight rise
  c.Level[40] = 1.21;  // a shoulder bending up: neither on the gated response
  const struct {
    int32_t point, select;
    bool admitted;
  } cases[] = {{20, 2, true},  {30, 2, false}, {20, 3, false}, {30, 3, true},  {20, 1, true},
               {30, 1, true},  {40, 1, false}, {40, 4, false}, {20, 4, true},  {30, 4, true},
               {40, 0, true},  {40, 7, true},  {30, 0, true}};
  for (const auto& t : cases) {
    const Fit f = RunFit(c, t.point, 20, t.select, 5);
    EXPECT_EQ(f.context.Counters.PlainIterations > 0, t.admitted) << t.point << " select " << t.select;
  }
}

TEST(OneSingularityFit, IterationsFollowQuickModeAndLoops) {
  const auto peak = test::MakeKnownCurve(Linear(400, 0.37), std::span(&kPeak, 1));
  const auto dip = test::MakeKnownCurve(Linear(400, 0.37), std::span(&kDip, 1));
  const int32_t n = Nearest(peak, 50);
  const struct {
    const test::KnownCurve* k;
    int32_t mode;
    bool quick;
    int32_t loops, inner, outer;
  } cases[] = {{&peak, 5, false, 8, 4, 9}, {&peak, 5, true, 8, 3, 9}, {&dip, 5, false, 8, 6, 9},
               {&dip, 5, true, 8, 5, 9},   {&dip, 6, false, 8, 4, 9}, {&peak, 5, false, 3, 4, 5},
               {&peak, 5, false, 0, 4, 5}, {&peak, 6, true, 4, 3, 5}};
  for (const auto& t : cases) {
    const Fit f = RunFit(*t.k->curve, n, 34, 4, t.mode, t.quick, t.loops);
    ASSERT_TRUE(f.ok) << t.mode << t.quick << t.loops;
    const FitCounters& c = f.context.Counters;
    EXPECT_EQ(c.PlainIterations, t.inner);
    EXPECT_EQ(c.OuterPasses, t.outer);
    EXPECT_EQ(c.LevelIterations, t.inner * t.outer);
    EXPECT_EQ(c.WeightedIterations, t.inner * t.outer);
    EXPECT_EQ(c.Calls, 1);
    EXPECT_EQ(c.Acceptances, 1);
  }
}

TEST(OneSingularityFit, RefusalsAtTheBoundsAndTheLowEnd) {
  const auto peak = test::MakeKnownCurve(Linear(400, 0.37), std::span(&kPeak, 1));
  const int32_t n = Nearest(peak, 50);
  // A Q bound below the peak's Q ends the coarse search on the bound.
  Fit f = RunFit(*peak.curve, n, 1.0);
  EXPECT_FALSE(f.ok);
  EXPECT_EQ(f.context.Counters.OuterPasses, 0);

  // A broad peak at point 5: the level window is cut to 8 points there.
  std::vector<float> x = Linear(400, 0.37);
  const KnownSingularity low{x[5], 9, 0.7};
  const auto edge = test::MakeKnownCurve(x, std::span(&low, 1));
  f = RunFit(*edge.curve, 5, 100);
  EXPECT_FALSE(f.ok);
  EXPECT_EQ(f.context.Counters.OuterPasses, 1);
  EXPECT_EQ(f.context.Counters.LevelIterations, 1);
  EXPECT_EQ(f.context.Counters.WeightedIterations, 0);

  // A broad peak mid-curve: its windows are capped at 200 points.
  const KnownSingularity broad{x[250], 9, 0.7};
  const auto wide = test::MakeKnownCurve(x, std::span(&broad, 1));
  f = RunFit(*wide.curve, 250, 100, 4, 6, false, 8, 4.0f);
  EXPECT_EQ(f.work.LevelFitWork.NumPoints, 200);
  EXPECT_EQ(f.work.FitWork.NumPoints, 200);

  // Damaged curves: a level that is not a number, two points at one frequency.
  auto damaged = test::MakeKnownCurve(Linear(400, 0.37), std::span(&kPeak, 1));
  damaged.curve->Level[static_cast<size_t>(n + 2)] = NAN;
  f = RunFit(*damaged.curve, n, 34);
  EXPECT_FALSE(f.ok);
  EXPECT_TRUE(f.context.Fault);
  damaged = test::MakeKnownCurve(Linear(400, 0.37), std::span(&kPeak, 1));
  damaged.curve->Freq[static_cast<size_t>(n - 1)] = damaged.curve->Freq[static_cast<size_t>(n)];
  f = RunFit(*damaged.curve, n, 34);
  EXPECT_FALSE(f.ok);
  EXPECT_TRUE(f.context.Fault);
}

TEST(OneSingularityFit, AStopRequestRefusesAtOnce) {
  const auto peak = test::MakeKnownCurve(Linear(400, 0.37), std::span(&kPeak, 1));
  std::atomic<bool> stop{true};
  Fit f;
  f.context.Stop = &stop;
  EXPECT_FALSE(FitOneSingularity(Nearest(peak, 50), *peak.curve, f.work, f.F, f.Q1, f.Q2, f.E, 34, 0.05, 0.5f, 4,
                                 6, f.context));
  EXPECT_EQ(f.context.Counters.PlainIterations, 0);
}

TEST(OneSingularityFit, ErrorScoreIsFlooredAtOne) {
  // A flat stretch is a peak of zero height: it fits perfectly.
  auto flat = test::MakeKnownCurve(Linear(400, 0.37), {});
  const Fit f = RunFit(*flat.curve, 200, 20, 0);
  if (f.ok) {
    EXPECT_EQ(f.E, 1.0);
  }
  EXPECT_EQ(FitErrorToScore(0.002), 4.0);
}

// ---- Accuracy against the continuous least-squares optimum ------------------------

// Weighted residual of the model on the fit's last window.
double WindowResidual(const test::KnownCurve& k, const SingularityFitWork& w, int32_t n, const Eigen::Vector3d& p) {
  const int32_t start = FitWindowStart(n, w.NumPoints);
  double num = 0, den = 0;
  for (int32_t i = 0; i < w.NumPoints; ++i) {
    const double m = Model(std::exp(p[0]), std::exp(p[1]), std::exp(p[2]),
                           kTwoPi * k.curve->Freq[static_cast<size_t>(start + i)]);
    num += w.Weights[static_cast<size_t>(i)] * std::pow(w.Level[static_cast<size_t>(i)] - m, 2);
    den += w.Weights[static_cast<size_t>(i)];
  }
  return std::sqrt(num / den);
}

// Damped Gauss-Newton over ln Ω, ln Qp, ln Qz from a start.
double LeastSquaresOptimum(const test::KnownCurve& k, const SingularityFitWork& w, int32_t n, Eigen::Vector3d p) {
  const int32_t start = FitWindowStart(n, w.NumPoints);
  const int32_t m = w.NumPoints;
  const auto residuals = [&](const Eigen::Vector3d& q) {
    Eigen::VectorXd r(m);
    for (int32_t i = 0; i < m; ++i) {
      const double model = Model(std::exp(q[0]), std::exp(q[1]), std::exp(q[2]),
                                 kTwoPi * k.curve->Freq[static_cast<size_t>(start + i)]);
      r[i] = std::sqrt(static_cast<double>(w.Weights[static_cast<size_t>(i)])) *
             (w.Level[static_cast<size_t>(i)] - model);
    }
    return r;
  };
  double lambda = 1e-3;
  Eigen::VectorXd r = residuals(p);
  for (int iteration = 0; iteration < 200; ++iteration) {
    Eigen::MatrixXd J(m, 3);
    for (int c = 0; c < 3; ++c) {
      Eigen::Vector3d q = p;
      const double h = 1e-7;
      q[c] += h;
      J.col(c) = (residuals(q) - r) / h;
    }
    Eigen::MatrixXd A(m + 3, 3);
    A << J, std::sqrt(lambda) * Eigen::Matrix3d::Identity();
    Eigen::VectorXd b(m + 3);
    b << -r, Eigen::Vector3d::Zero();
    const Eigen::Vector3d step = A.colPivHouseholderQr().solve(b);
    const Eigen::VectorXd trial = residuals(p + step);
    if (trial.squaredNorm() < r.squaredNorm()) {
      p += step;
      r = trial;
      lambda = std::max(lambda * 0.3, 1e-12);
    } else {
      lambda *= 10;
    }
  }
  return WindowResidual(k, w, n, p);
}

TEST(OneSingularityFit, RecoversAKnownPeakOrDipOnBothGrids) {
  const struct {
    std::vector<float> grid;
    int32_t view;
    float smoothing;
  } grids[] = {{BodeLikeGrid(2000), 3, 0}, {LogGrid(2000, 20, 20000), 6, 1.0f / 48}};
  for (const auto& g : grids) {
    for (const KnownSingularity& s : {kPeak, kDip}) {
      {
        SCOPED_TRACE(testing::Message() << "view " << g.view << " level " << s.LevelDb);
        const auto k = test::MakeKnownCurve(g.grid, std::span(&s, 1));
        const int32_t n = Nearest(k, 50);
        const double qmax = FitQLimit(k.freqs[static_cast<size_t>(n)], 150, 1.5f, g.view, g.smoothing);
        const Fit f = RunFit(*k.curve, n, qmax, 4, g.view == 3 ? 5 : 6);
        ASSERT_TRUE(f.ok);
        EXPECT_EQ(f.Q1 < 0, s.LevelDb < 0);
        EXPECT_GT(f.Q2, 0);
        EXPECT_GE(f.E, 1.0);
        const double delta = k.freqs[static_cast<size_t>(n + 1)] - k.freqs[static_cast<size_t>(n)];
        EXPECT_NEAR(f.F / kTwoPi, s.FreqHz, std::max(delta / 8, 0.003 * s.FreqHz));
        EXPECT_NEAR(20 * std::log10(std::fabs(f.Q1) / f.Q2), std::fabs(s.LevelDb), 1.5);
        EXPECT_NEAR(std::sqrt(std::fabs(f.Q1) * f.Q2), s.CentreQ, 0.3 * s.CentreQ);

        const Eigen::Vector3d fitted(std::log(f.F), std::log(std::fabs(f.Q1)), std::log(f.Q2));
        double qp = 0, qz = 0;
        KnownSingularityQs(s, qp, qz);
        // The window holds the inverse of a dip: a peak with the two Q values swapped.
        const Eigen::Vector3d truth(std::log(kTwoPi * s.FreqHz), std::log(s.LevelDb > 0 ? qp : qz),
                                    std::log(s.LevelDb > 0 ? qz : qp));
        const double optimum =
            std::min(LeastSquaresOptimum(k, f.work.FitWork, n, fitted), LeastSquaresOptimum(k, f.work.FitWork, n, truth));
        const double residual = WindowResidual(k, f.work.FitWork, n, fitted);
        // The target is one of the model's own shapes: the fit must reach the optimum.
        EXPECT_LE(residual, 1.25 * optimum + 1e-6) << "optimum " << optimum;
      }
    }
  }
}

TEST(OneSingularityFit, AllocatesNothingOnceWarm) {
  const auto k = test::MakeKnownCurve(BodeLikeGrid(2000), std::span(&kDip, 1));
  const int32_t n = Nearest(k, 50);
  Fit f = RunFit(*k.curve, n, 34, 4, 5);
  ASSERT_TRUE(f.ok);
  allocations = 0;
  watchAllocations = true;
  for (int32_t p = n - 20; p <= n + 20; ++p)
    FitOneSingularity(p, *k.curve, f.work, f.F, f.Q1, f.Q2, f.E, 34, 0.05, 0.5f, 4, 5, f.context);
  watchAllocations = false;
  EXPECT_EQ(allocations, 0);
}

}  // namespace
}  // namespace zentor
