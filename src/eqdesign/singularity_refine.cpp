#include "eqdesign/singularity_refine.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <utility>

namespace zentor {

namespace {

constexpr int kCapacity = 256;
// A relative fall of the cost below which the fit has converged.
constexpr double kConverged = 1e-10;
// One value per window point; the storage is fixed, so nothing is allocated,
// and whole-column expressions run on vector registers (log included).
using Column = Eigen::Array<double, Eigen::Dynamic, 1, Eigen::ColMajor, kCapacity, 1>;
// Parameters: ln Ω, ln PoleQ, ln ZeroQ, ln Baseline and its slope over ln ω.
using Vec5 = Eigen::Matrix<double, 5, 1>;
using Mat5 = Eigen::Matrix<double, 5, 5>;

// The window as the iterations read it.
struct Window {
  Column omega, lnT, w, t;  // t: ln ω about the middle point
  double sw = 0, st = 0, stt = 0;
};

// The model's parts at one parameter set, everything divided by Ω⁴ so the
// values stay near 1 whatever the frequency: x² = (ω/Ω)², d = 1 − x², the
// numerator, the reciprocal of the denominator, and the residuals.
struct Evaluation {
  Column x2, d, N, inverseD, r;
  double cost = 0;
};

struct Normal {
  Mat5 H = Mat5::Zero();
  Vec5 g = Vec5::Zero();
};

void Evaluate(const Window& win, const Vec5& p, Evaluation& e) {
  const double inverseOmega = std::exp(-p[0]), gp = std::exp(-2 * p[1]), gz = std::exp(-2 * p[2]);
  e.x2 = (win.omega * inverseOmega).square();
  e.d = 1 - e.x2;
  e.N = e.d.square() + e.x2 * gz;
  e.inverseD = (e.d.square() + e.x2 * gp).inverse();
  e.r = win.lnT - p[3] - p[4] * win.t - (e.N * e.inverseD).log();
  e.cost = (win.w * e.r.square()).sum();
}

// The Gauss-Newton normal equations at an evaluation, from the analytic
// derivatives of the model: the level's ln Ω, ln PoleQ and ln ZeroQ
// derivatives, 1 for the baseline and t for its slope.
Normal Linearise(const Window& win, const Vec5& p, const Evaluation& e, Column& j0, Column& j1, Column& j2) {
  const double gp = std::exp(-2 * p[1]), gz = std::exp(-2 * p[2]);
  j1 = 2 * gp * e.x2 * e.inverseD;
  j2 = -2 * gz * e.x2 / e.N;
  j0 = 4 * e.d * (e.N.inverse() - e.inverseD) - j1 - j2;
  const auto dot = [&](const Column& a, const Column& b) { return (win.w * a * b).sum(); };
  Normal n;
  n.H(0, 0) = dot(j0, j0);
  n.H(0, 1) = dot(j0, j1);
  n.H(0, 2) = dot(j0, j2);
  n.H(0, 3) = (win.w * j0).sum();
  n.H(0, 4) = dot(j0, win.t);
  n.H(1, 1) = dot(j1, j1);
  n.H(1, 2) = dot(j1, j2);
  n.H(1, 3) = (win.w * j1).sum();
  n.H(1, 4) = dot(j1, win.t);
  n.H(2, 2) = dot(j2, j2);
  n.H(2, 3) = (win.w * j2).sum();
  n.H(2, 4) = dot(j2, win.t);
  n.H(3, 3) = win.sw;
  n.H(3, 4) = win.st;
  n.H(4, 4) = win.stt;
  n.H.triangularView<Eigen::StrictlyLower>() = n.H.transpose();
  n.g << dot(e.r, j0), dot(e.r, j1), dot(e.r, j2), (win.w * e.r).sum(), dot(e.r, win.t);
  return n;
}

}  // namespace

bool RefineSingularity(std::span<const double> omega, std::span<const double> lnTarget,
                       std::span<const float> w, double qLow, double qHigh, SingularityEstimate& estimate) {
  const size_t m = std::min({omega.size(), lnTarget.size(), w.size()});
  if (m < 5 || m > static_cast<size_t>(kCapacity) || !(qLow > 0) || !(qHigh >= qLow) || !(estimate.Omega > 0))
    return false;
  const auto points = static_cast<Eigen::Index>(m);
  Window win;
  win.omega = Eigen::Map<const Column>(omega.data(), points);
  win.lnT = Eigen::Map<const Column>(lnTarget.data(), points);
  win.w = Eigen::Map<const Eigen::Array<float, Eigen::Dynamic, 1>>(w.data(), points).cast<double>();
  win.sw = win.w.sum();
  if (!(win.sw > 0)) return false;
  win.t = win.omega.log() - std::log(omega[m / 2]);
  win.st = (win.w * win.t).sum();
  win.stt = (win.w * win.t.square()).sum();

  const double lo = std::log(qLow), hi = std::log(qHigh);
  const auto clampQ = [&](Vec5& p) {
    p[1] = std::clamp(p[1], lo, hi);
    p[2] = std::clamp(p[2], lo, hi);
  };
  Vec5 p;
  p << std::log(estimate.Omega), std::log(std::max(estimate.PoleQ, qLow)), std::log(std::max(estimate.ZeroQ, qLow)),
      0.0, 0.0;
  clampQ(p);
  // The baseline that best matches the shape as it starts: the weighted mean
  // of the residuals without one.
  Evaluation current, trial;
  Evaluate(win, p, current);
  p[3] = (win.w * current.r).sum() / win.sw;
  current.r -= p[3];
  current.cost = (win.w * current.r.square()).sum();
  if (!std::isfinite(current.cost)) return false;

  Column j0, j1, j2;
  Normal n = Linearise(win, p, current, j0, j1, j2);
  double lambda = 1e-3;
  for (int iteration = 0; iteration < 40 && lambda < 1e10; ++iteration) {
    Mat5 A = n.H;
    A.diagonal() += lambda * (n.H.diagonal().array() + 1e-12).matrix();
    const Vec5 step = A.ldlt().solve(n.g);
    // What the linearised model says the step gains: when that is next to
    // nothing the fit has converged, and evaluating the step would waste a pass.
    if (step.dot(2 * n.g - n.H * step) <= kConverged * current.cost) break;
    Vec5 next = p + step;
    clampQ(next);
    Evaluate(win, next, trial);
    if (std::isfinite(trial.cost) && trial.cost < current.cost) {
      const double gain = current.cost - trial.cost;
      p = next;
      std::swap(current, trial);
      n = Linearise(win, p, current, j0, j1, j2);
      lambda = std::max(lambda / 3, 1e-9);
      if (gain <= kConverged * (current.cost + 1e-30)) break;
    } else {
      lambda *= 4;
    }
  }
  if (!p.allFinite() || !std::isfinite(current.cost)) return false;
  estimate.Omega = std::exp(p[0]);
  estimate.PoleQ = std::exp(p[1]);
  estimate.ZeroQ = std::exp(p[2]);
  estimate.Baseline = std::exp(p[3]);
  estimate.Slope = p[4];
  estimate.Residual = std::sqrt(current.cost / win.sw);
  // The straight line in ln ω through the targets, by weighted least squares.
  const double sy = (win.w * win.lnT).sum(), sty = (win.w * win.t * win.lnT).sum();
  const double det = win.sw * win.stt - win.st * win.st;
  const double slope = det > 0 ? (win.sw * sty - win.st * sy) / det : 0, level = (sy - slope * win.st) / win.sw;
  const double plain = (win.w * (win.lnT - level - slope * win.t).square()).sum();
  estimate.Plain = std::sqrt(plain / win.sw);
  return true;
}

}  // namespace zentor
