#include "eqdesign/fit/singularity_fit.h"

#include <Eigen/Core>
#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <span>

#include "eqdesign/fit/fit_kernel.h"
#include "eqdesign/fit/peak_dip.h"
#include "eqdesign/fit/singularity_refine.h"

namespace zentor {

namespace {

constexpr double kTwoPi = 6.28318530717959;
constexpr double kQuarterPi = 0.7853981633974487;
constexpr int32_t kGridQ = 10;
constexpr int32_t kCoarseTrials = 39;
constexpr int32_t kLastCoarseTrials = 11;  // nearest(10.75), made odd
constexpr int32_t kMaxWindow = 200;
// How many points either side of the candidate the refined centre may lie:
// one point is too few on a noisy curve, where the point nearest the centre is
// often not a peak or dip of its own; candidates this close merge when filed.
constexpr int32_t kCentreReach = 3;

bool Stopped(const SingularityFitContext& c) {
  return c.Stop != nullptr && c.Stop->load(std::memory_order_relaxed);
}

// Narrows the Q range about Q to the distance of the grid values either side
// of the one at or just below it; all in single precision.
void NarrowByDistance(SingularityFitWork& w, double Q) {
  const auto q = static_cast<float>(Q);
  bool found = false;
  float low = 0, high = 0;
  for (int32_t i = 0; i + 1 < w.NumQ; ++i) {
    const auto g = static_cast<float>(w.QGrid[static_cast<size_t>(i)]);
    if (!(g <= q)) continue;
    const float a = std::fabs(g - q);
    const float b = std::fabs(static_cast<float>(w.QGrid[static_cast<size_t>(i + 1)]) - q);
    const float d = a > b ? a : b;
    low = q - d;
    high = q + d;
    found = true;
  }
  if (!found) return;
  w.QLow = low;
  w.QHigh = high;
}

// Narrows to the grid neighbours of the chosen value (which is a grid value).
void NarrowByNeighbours(SingularityFitWork& w, double Q) {
  const int32_t last = w.NumQ - 1;
  const auto at = [&](int32_t i) { return w.QGrid[static_cast<size_t>(i)]; };
  if (Q == at(0)) {
    w.QLow = at(0);
    w.QHigh = at(1);
  } else if (Q == at(last)) {
    w.QLow = at(last - 1);
    w.QHigh = at(last);
  } else {
    for (int32_t i = 1; i < last; ++i) {
      if (Q != at(i)) continue;
      w.QLow = at(i - 1);
      w.QHigh = at(i + 1);
      break;
    }
  }
}

void ClampRange(SingularityFitWork& w, float lower, float upper) {
  if (static_cast<float>(w.QLow) < lower) w.QLow = lower;
  if (static_cast<float>(w.QHigh) > upper) w.QHigh = upper;
  if (static_cast<float>(w.QHigh) < lower) w.QHigh = lower;
  if (static_cast<float>(w.QHigh) < static_cast<float>(w.QLow)) w.QLow = w.QHigh * 0.5;
}

// Bandwidth in curve points of a singularity of quality Q at Freq rad/s.
float BandwidthPoints(double Freq, double Q, double spacing) {
  return static_cast<float>(std::fabs(Freq / (Q * kTwoPi * spacing)));
}

bool Between(float low, double f, float high) {
  const auto s = static_cast<float>(f);
  return low < s && s < high;
}

// A first guess of the singularity at point n from the curve alone: its level
// relative to 1, and its centre Q from the width at half that level in dB.
template <typename X, typename LnLevel>
SingularityEstimate ShapeOfPoint(int32_t n, int32_t count, const X& x, const LnLevel& lnLevel, float lower,
                                 float upper) {
  const double peak = std::max(lnLevel(n), 0.05);
  int32_t l = n, r = n;
  while (l > 0 && n - l < kMaxWindow / 2 && lnLevel(l) > 0.5 * peak) --l;
  while (r < count - 1 && r - n < kMaxWindow / 2 && lnLevel(r) > 0.5 * peak) ++r;
  const double width = static_cast<double>(x(r)) - x(l);
  const double centreQ = std::clamp(width > 0 ? x(n) / width : 5.0, static_cast<double>(lower), static_cast<double>(upper));
  const double root = std::exp(0.25 * peak);  // √G with G² = e^peak
  return {.Omega = kTwoPi * x(n), .PoleQ = centreQ * root, .ZeroQ = centreQ / root};
}

// What GetSymmetricalPsycologicalGaussianWindow and then SquareSingle make of
// the first W weights, bit for bit: the window is symmetric about its middle,
// so each exponential serves the two points that mirror each other.
void SquaredGaussianWeights(std::span<float> weights, int32_t W, float width) {
  const double c = (static_cast<double>(W) - 1.0) / 2.0;
  for (int32_t i = 0; i < (W + 1) / 2; ++i) {
    float v = 1.0f;
    if (width > 0.0f) {
      const double u = (static_cast<double>(i) - c) / width;
      v = static_cast<float>(std::exp(-0.5 * u * u));
    }
    v *= v;
    weights[static_cast<size_t>(i)] = weights[static_cast<size_t>(W - 1 - i)] = v;
  }
}

const MessageSink& Quiet() {
  static const MessageSink sink = [](const std::string&) {};
  return sink;
}

}  // namespace

FitCounters& FitCounters::operator+=(const FitCounters& o) {
  Calls += o.Calls;
  Acceptances += o.Acceptances;
  Evaluations += o.Evaluations;
  PlainIterations += o.PlainIterations;
  LevelIterations += o.LevelIterations;
  WeightedIterations += o.WeightedIterations;
  OuterPasses += o.OuterPasses;
  PolishPasses += o.PolishPasses;
  return *this;
}

int32_t FitWindowWidth(float bandwidth, float widthFactor, int32_t n, int32_t count, int32_t floor) {
  const float v = widthFactor * 5.0f * bandwidth;
  if (std::isnan(v)) return -1;
  // Anything wider than the curve ends up cut to it; the clamp keeps the cast defined.
  int64_t W = static_cast<int64_t>(std::nearbyint(std::clamp<double>(v, 0.0, 1e7)));
  if (W % 2 == 0) W -= 1;
  if ((W - 1) / 2 + n > count - 1) W = 2 * (static_cast<int64_t>(count) - n) - 1;
  if (n - (W - 1) / 2 < 0) {
    W = 2 * (static_cast<int64_t>(n) - 1);
    if (W < floor) return -1;
  }
  return static_cast<int32_t>(std::clamp<int64_t>(W, floor, kMaxWindow));
}

bool FitOneSingularity(int32_t n, const FitCurveRecord& curve, SingularityFitWorkspace& work, double& Freq,
                       double& Q1, double& Q2, double& FitError, double QMax, double QMin, float WidthFactor,
                       int32_t SelectCode, int32_t ModeCode, SingularityFitContext& context) {
  FitCounters& counters = context.Counters;
  ++counters.Calls;
  const int32_t count = std::clamp<int32_t>(curve.Count, 0, kMaxFitPoints);
  if (n < 5 || n > count - 5) return false;
  if (Stopped(context)) return false;

  const auto x = [&](int32_t i) { return curve.Freq[static_cast<size_t>(i)]; };
  const std::span<const double> y(curve.Level.data(), static_cast<size_t>(count));
  const auto refuse = [&] {
    context.Fault = true;
    return false;
  };
  if (!(x(n - 1) < x(n) && x(n) < x(n + 1)) || !std::isfinite(x(n + 1))) return refuse();
  for (int32_t i = n - 2; i <= n + 2; ++i)
    if (!std::isfinite(y[static_cast<size_t>(i)])) return refuse();

  const int32_t kind = CheckPeakOrDip(n, y, count, ModeCode, Quiet());
  const bool accepted = SelectCode == 2   ? kind == kPointPeak
                        : SelectCode == 3 ? kind == kPointDip
                        : (SelectCode == 1 || SelectCode == 4) ? kind != kPointNeither
                                                               : true;
  if (!accepted) return false;

  const bool bodeDip = ModeCode == kModeCodeBode && kind == kPointDip;
  const auto upper = static_cast<float>(bodeDip ? 100.0 * QMax : QMax);
  const auto lower = static_cast<float>(QMin);
  const int32_t B = (bodeDip ? 5 : 3) - (context.Quick ? 1 : 0);

  SingularityFitWork& fw = work.FitWork;
  SingularityFitWork& lw = work.LevelFitWork;
  for (SingularityFitWork* w : {&fw, &lw}) {
    w->NumQ = kGridQ;
    w->NumQFixed = 1;
    w->NumFreq = kCoarseTrials;
  }
  const float delta = x(n + 1) - x(n);
  const double spacing = static_cast<double>(x(n)) - x(n - 1);
  const auto FLo = static_cast<float>(kTwoPi * x(n - 1));
  const auto FHi = static_cast<float>(kTwoPi * x(n + 1));
  FitCells cells;

  // Coarse search of frequency and Q1 on three points.
  fw.NumPoints = 3;
  std::fill_n(fw.Weights.begin(), 3, 1.0f);
  SetUpFreqArrayC(fw.TrialFreq, kTwoPi * (x(n) - 0.6 * delta), kTwoPi * (x(n) + 0.6 * delta), fw.NumFreq);
  fw.QLow = lower;
  fw.QHigh = upper;
  for (int32_t r = 0; r <= B; ++r) {
    if (Stopped(context)) return false;
    ++counters.PlainIterations;
    if (r == B) {
      fw.NumFreq = kLastCoarseTrials;
      SetUpFreqArrayC(fw.TrialFreq, Freq - delta * kQuarterPi, Freq + delta * kQuarterPi, fw.NumFreq);
    }
    SetUpQ2ArrayC(fw.QGrid, fw.QLow, fw.QHigh, fw.NumQ);
    fw.QFixed = 0.5;
    if (!LoadLevelArrayC(fw.Level, fw.NumPoints, kind, n, y, count)) return refuse();
    FixDoubleLinearLevelAboutOne(fw.Level, fw.NumPoints);
    if (!FitMatrixC(fw, curve.Freq, count, n, cells, &counters.Evaluations, true)) return refuse();
    Freq = cells.FitBestFreq;
    Q1 = std::fabs(cells.FitBestQ);
    Q2 = QMin;
    NarrowByDistance(fw, Q1);
    ClampRange(fw, lower, upper);
    if (!Between(FLo, Freq, FHi)) return false;
  }
  if (static_cast<float>(Q1) == lower || static_cast<float>(Q1) == upper) return false;

  // Alternating refinement: Q2 on the level-normalised window with Q1 held,
  // then Q1 on the weighted window with Q2 held.
  const int32_t L = std::max(context.NumInitialLoops, 4);
  // Q2 is searched as the pole Q of the reciprocal shape.
  const int32_t levelKind = kind == kPointDip ? kPointPeak : kPointDip;
  // An outer pass is a function of Freq, Q1 and Q2 alone: every range, grid and
  // window is set afresh. Once a pass leaves the three as it found them, each
  // later pass would repeat it exactly, so those are only counted (and the stop
  // request still polled), with the evaluations the repeated pass made.
  bool settled = false;
  std::array<int64_t, 6> levelEvaluations{}, weightedEvaluations{};
  // The windows' levels and weights depend only on their width (and the width
  // the weights were made for), so an unchanged window is not built again.
  int32_t levelLoaded = -1, fitLoaded = -1, weightsBuilt = -1;
  float weightsWidth = 0;
  for (int32_t k = 0; k <= L; ++k) {
    ++counters.OuterPasses;
    if (settled) {
      for (int32_t r = 0; r <= B; ++r) {
        if (Stopped(context)) return false;
        ++counters.LevelIterations;
        counters.Evaluations += levelEvaluations[static_cast<size_t>(r)];
      }
      for (int32_t r = 0; r <= B; ++r) {
        if (Stopped(context)) return false;
        ++counters.WeightedIterations;
        counters.Evaluations += weightedEvaluations[static_cast<size_t>(r)];
      }
      continue;
    }
    const double startFreq = Freq, startQ1 = Q1, startQ2 = Q2;
    lw.QLow = lower;
    lw.QHigh = upper;
    for (int32_t r = 0; r <= B; ++r) {
      if (Stopped(context)) return false;
      ++counters.LevelIterations;
      const int32_t W = FitWindowWidth(BandwidthPoints(Freq, Q2, spacing), WidthFactor, n, count, 9);
      if (W < 0) return false;
      lw.NumPoints = W;
      std::fill_n(lw.Weights.begin(), W, 1.0f);
      SetUpQ2ArrayC(lw.QGrid, lw.QLow, lw.QHigh, lw.NumQ);
      if (W != levelLoaded) {
        if (!LoadLevelArrayC(lw.Level, W, levelKind, n, y, count)) return refuse();
        FixDoubleLinearLevelAboutOne(lw.Level, W);
        levelLoaded = W;
      }
      lw.QFixed = Q1;
      lw.NumFreq = 1;
      lw.TrialFreq[0] = Freq;
      const int64_t before = counters.Evaluations;
      if (!FitMatrixC(lw, curve.Freq, count, n, cells, &counters.Evaluations, true)) return refuse();
      levelEvaluations[static_cast<size_t>(r)] = counters.Evaluations - before;
      Q2 = std::fabs(cells.FitBestQ);
      Freq = cells.FitBestFreq;
      NarrowByNeighbours(lw, Q2);
      ClampRange(lw, lower, upper);
    }

    fw.QLow = lower;
    fw.QHigh = upper;
    int32_t weighted = 0;  // the width the weights were made for
    for (int32_t r = 0; r <= B; ++r) {
      if (Stopped(context)) return false;
      ++counters.WeightedIterations;
      const float bw = BandwidthPoints(Freq, Q1, spacing);
      const int32_t W = FitWindowWidth(bw, WidthFactor, n, count, 5);
      if (W < 0) return false;
      fw.NumPoints = W;
      if (W != weighted) {
        if (W != weightsBuilt || bw * WidthFactor != weightsWidth) {
          SquaredGaussianWeights(fw.Weights, W, bw * WidthFactor);
          weightsBuilt = W;
          weightsWidth = bw * WidthFactor;
        }
        weighted = W;
      }
      SetUpQ2ArrayC(fw.QGrid, fw.QLow, fw.QHigh, fw.NumQ);
      fw.QFixed = Q2;
      if (!Between(FLo, Freq, FHi)) return false;
      fw.NumFreq = 1;
      fw.TrialFreq[0] = Freq;
      if (W != fitLoaded) {
        if (!LoadLevelArrayC(fw.Level, W, kind, n, y, count)) return refuse();
        fitLoaded = W;
      }
      const int64_t before = counters.Evaluations;
      if (!FitMatrixC(fw, curve.Freq, count, n, cells, &counters.Evaluations)) return refuse();
      weightedEvaluations[static_cast<size_t>(r)] = counters.Evaluations - before;
      Freq = cells.FitBestFreq;
      Q1 = std::fabs(cells.FitBestQ);
      FitError = FitErrorToScore(cells.FitBestError);
      NarrowByDistance(fw, Q1);
      ClampRange(fw, lower, upper);
    }
    settled = Freq == startFreq && Q1 == startQ1 && Q2 == startQ2;
  }

  // The searches leave the frequency on a grid and the two Q values where the
  // alternation stopped; a continuous fit on a local baseline finishes the job.
  // A centre that then leaves the point's neighbours belongs to another point,
  // and a shape of the other kind is no singularity of this one.
  const double sign = kind == kPointDip ? -2.0 : 2.0;
  const auto lnLevel = [&](int32_t i) { return sign * std::log(std::max(y[static_cast<size_t>(i)], 1e-30)); };
  const auto reachLow = static_cast<float>(kTwoPi * x(n - kCentreReach));
  const auto reachHigh = static_cast<float>(kTwoPi * x(n + kCentreReach));
  const auto acceptable = [&](const SingularityEstimate& e) {
    return Between(reachLow, e.Omega, reachHigh) &&
           (!(kind == kPointPeak || kind == kPointDip) || e.PoleQ > e.ZeroQ) &&
           // A singularity that explains little more than a sloping line would is noise.
           e.Residual < 0.7 * e.Plain;
  };
  SingularityEstimate est = ShapeOfPoint(n, count, x, lnLevel, lower, upper);
  using Column = Eigen::Array<double, Eigen::Dynamic, 1, Eigen::ColMajor, kMaxWindow, 1>;
  Column omega, lnTarget;
  for (int32_t round = 0; round < 3; ++round) {
    const double centreQ = std::sqrt(est.PoleQ * est.ZeroQ);
    const int32_t W = FitWindowWidth(BandwidthPoints(est.Omega, centreQ, spacing), WidthFactor, n, count, 9);
    if (W < 0) return false;
    if (round > 0 && W == fw.NumPoints) break;
    const int32_t start = FitWindowStart(n, W);
    fw.NumPoints = W;
    // Whole columns at once, so the logs and exponentials run on vector registers.
    lnTarget.resize(W);
    for (int32_t i = 0; i < W; ++i) lnTarget[i] = std::max(y[static_cast<size_t>(start + i)], 1e-30);
    lnTarget = sign * lnTarget.log();
    omega = kTwoPi * Eigen::Map<const Eigen::ArrayXf>(&curve.Freq[static_cast<size_t>(start)], W).cast<double>();
    const double sigma = 0.25 * (W - 1);
    const Column u = (Eigen::ArrayXd::LinSpaced(W, 0, W - 1) - 0.5 * (W - 1)) / sigma;
    Eigen::Map<Eigen::ArrayXf>(fw.Weights.data(), W) = (-0.5 * u.square()).exp().cast<float>();
    Eigen::Map<Eigen::ArrayXd>(fw.Level.data(), W) = lnTarget.exp();
    const auto points = static_cast<size_t>(W);
    const auto refine = [&](SingularityEstimate& e) {
      counters.Evaluations += W;
      return RefineSingularity(std::span<const double>(omega.data(), points),
                               std::span<const double>(lnTarget.data(), points),
                               std::span(fw.Weights).first(points), lower, upper, e);
    };
    if (round > 0) {
      if (!refine(est)) return false;
      continue;
    }
    // The searches' answer and the curve's own shape each start a fit and the
    // better is kept: next to a stronger neighbour an acceptable start from the
    // searches can still settle on a shoulder that the shape start avoids.
    SingularityEstimate searched{.Omega = Freq, .PoleQ = std::fabs(Q1), .ZeroQ = Q2};
    const bool fromSearch = refine(searched);
    const bool fromShape = refine(est);
    if (fromSearch && (!fromShape || searched.Residual < est.Residual)) est = searched;
    else if (!fromShape) return false;
  }
  if (!acceptable(est)) return false;
  Freq = est.Omega;
  Q1 = est.PoleQ;
  Q2 = est.ZeroQ;
  FitError = FitErrorToScore(est.Residual);

  if (kind == kPointDip) Q1 = -Q1;
  if (FitError < 1.0) FitError = 1.0;
  ++counters.Acceptances;
  return true;
}

}  // namespace zentor
