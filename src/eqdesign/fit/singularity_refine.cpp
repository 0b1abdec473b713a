#include "eqdesign/fit/singularity_refine.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <utility>

#include "platform/numeric/vector_log.h"

namespace zentor {

namespace {

constexpr int kCapacity = 256;
// A relative fall of the cost below which the fit has converged, and the
// smaller fall a step must promise to be worth evaluating: the fit then stops
// within a part in 10¹² of where it would have gone on to.
constexpr double kConverged = 1e-10;
constexpr double kWorthTrying = 1e-12;

// Four window points per vector. Every lane sees the same operations in the
// same order whatever the vector width, so the wide and the plain builds give
// the same bits.
using vec::Quad;
constexpr int kQuads = kCapacity / 4;

double Sum(const Quad& v) { return (v[0] + v[1]) + (v[2] + v[3]); }

using vec::Log;  // a NaN there is refused as a non-finite cost

// The window as the iterations read it, padded to whole vectors with points of
// no weight.
struct Window {
  Quad omega[kQuads], lnT[kQuads], w[kQuads], t[kQuads];  // t: ln ω about the middle point
  int quads = 0;
  double sw = 0, st = 0, stt = 0;
};

// Parameters: ln Ω, ln PoleQ, ln ZeroQ, ln Baseline and its slope over ln ω.
using Vec5 = Eigen::Matrix<double, 5, 1>;
using Mat5 = Eigen::Matrix<double, 5, 5>;

// The model's parts at one parameter set, everything divided by Ω⁴ so the
// values stay near 1 whatever the frequency: x² = (ω/Ω)², d = 1 − x², the
// numerator and denominator, and the residuals.
struct Evaluation {
  Quad x2[kQuads], d[kQuads], N[kQuads], D[kQuads], r[kQuads];
  double cost = 0;
};

struct Normal {
  Mat5 H = Mat5::Zero();
  Vec5 g = Vec5::Zero();
};

struct Parameters {
  double inverseOmega, gp, gz, level, slope;
};

Parameters Unpack(const Vec5& p) {
  return {std::exp(-p[0]), std::exp(-2 * p[1]), std::exp(-2 * p[2]), p[3], p[4]};
}

[[gnu::always_inline]] inline void EvaluateBody(const Window& win, const Parameters& q, Evaluation& e) {
  Quad cost = {};
  for (int k = 0; k < win.quads; ++k) {
    const Quad x = win.omega[k] * q.inverseOmega, x2 = x * x, d = 1.0 - x2, a = d * d;
    const Quad N = a + x2 * q.gz, D = a + x2 * q.gp;
    Quad log;
    Log(N / D, log);
    const Quad r = win.lnT[k] - q.level - q.slope * win.t[k] - log;
    e.x2[k] = x2;
    e.d[k] = d;
    e.N[k] = N;
    e.D[k] = D;
    e.r[k] = r;
    cost += win.w[k] * (r * r);
  }
  e.cost = Sum(cost);
}

// The Gauss-Newton normal equations at an evaluation, from the analytic
// derivatives of the model: the level's ln Ω, ln PoleQ and ln ZeroQ
// derivatives, 1 for the baseline and t for its slope.
[[gnu::always_inline]] inline void LineariseBody(const Window& win, const Parameters& q, const Evaluation& e,
                                                 Normal& n) {
  // Σw·j_a·j_b for the three shape derivatives against all five, and Σw·r·j.
  enum { k00, k01, k02, k03, k04, k11, k12, k13, k14, k22, k23, k24, g0, g1, g2, g3, g4, kSums };
  Quad s[kSums] = {};
  for (int k = 0; k < win.quads; ++k) {
    const Quad iN = 1.0 / e.N[k], iD = 1.0 / e.D[k], x2 = e.x2[k];
    const Quad j1 = 2 * q.gp * x2 * iD, j2 = -2 * q.gz * x2 * iN;
    const Quad j0 = 4 * e.d[k] * (iN - iD) - j1 - j2;
    const Quad w = win.w[k], t = win.t[k], wj0 = w * j0, wj1 = w * j1, wj2 = w * j2, wr = w * e.r[k];
    s[k00] += wj0 * j0;
    s[k01] += wj0 * j1;
    s[k02] += wj0 * j2;
    s[k03] += wj0;
    s[k04] += wj0 * t;
    s[k11] += wj1 * j1;
    s[k12] += wj1 * j2;
    s[k13] += wj1;
    s[k14] += wj1 * t;
    s[k22] += wj2 * j2;
    s[k23] += wj2;
    s[k24] += wj2 * t;
    s[g0] += wr * j0;
    s[g1] += wr * j1;
    s[g2] += wr * j2;
    s[g3] += wr;
    s[g4] += wr * t;
  }
  n.H << Sum(s[k00]), Sum(s[k01]), Sum(s[k02]), Sum(s[k03]), Sum(s[k04]),  //
      0, Sum(s[k11]), Sum(s[k12]), Sum(s[k13]), Sum(s[k14]),             //
      0, 0, Sum(s[k22]), Sum(s[k23]), Sum(s[k24]),                       //
      0, 0, 0, win.sw, win.st,                                           //
      0, 0, 0, 0, win.stt;
  n.H.triangularView<Eigen::StrictlyLower>() = n.H.transpose();
  n.g << Sum(s[g0]), Sum(s[g1]), Sum(s[g2]), Sum(s[g3]), Sum(s[g4]);
}

#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("avx2"))) void EvaluateWide(const Window& win, const Parameters& q, Evaluation& e) {
  EvaluateBody(win, q, e);
}
__attribute__((target("avx2"))) void LineariseWide(const Window& win, const Parameters& q, const Evaluation& e,
                                                   Normal& n) {
  LineariseBody(win, q, e, n);
}
bool Wide() {
  static const bool wide = __builtin_cpu_supports("avx2");
  return wide;
}
#endif

void Evaluate(const Window& win, const Vec5& p, Evaluation& e) {
  const Parameters q = Unpack(p);
#if defined(__x86_64__) && defined(__GNUC__)
  if (Wide()) return EvaluateWide(win, q, e);
#endif
  EvaluateBody(win, q, e);
}

Normal Linearise(const Window& win, const Vec5& p, const Evaluation& e) {
  const Parameters q = Unpack(p);
  Normal n;
#if defined(__x86_64__) && defined(__GNUC__)
  if (Wide()) {
    LineariseWide(win, q, e, n);
    return n;
  }
#endif
  LineariseBody(win, q, e, n);
  return n;
}

// Copies the window into whole vectors; the padding repeats the last point
// with no weight, so it adds exact zeros to every sum.
bool Load(std::span<const double> omega, std::span<const double> lnTarget, std::span<const float> w, Window& win) {
  const size_t m = omega.size();
  win.quads = static_cast<int>((m + 3) / 4);
  std::memcpy(win.omega, omega.data(), m * sizeof(double));
  std::memcpy(win.lnT, lnTarget.data(), m * sizeof(double));
  for (size_t i = 0; i < 4 * static_cast<size_t>(win.quads); ++i) {
    const size_t k = i / 4, l = i % 4;
    win.w[k][l] = i < m ? static_cast<double>(w[i]) : 0.0;
    if (i < m) continue;
    win.omega[k][l] = omega[m - 1];
    win.lnT[k][l] = lnTarget[m - 1];
  }
  const double lnMiddle = std::log(omega[m / 2]);
  Quad sw = {}, st = {}, stt = {};
  for (int k = 0; k < win.quads; ++k) {
    Log(win.omega[k], win.t[k]);
    win.t[k] -= lnMiddle;
    sw += win.w[k];
    st += win.w[k] * win.t[k];
    stt += win.w[k] * (win.t[k] * win.t[k]);
  }
  win.sw = Sum(sw);
  win.st = Sum(st);
  win.stt = Sum(stt);
  return win.sw > 0;
}

}  // namespace

bool RefineSingularity(std::span<const double> omega, std::span<const double> lnTarget,
                       std::span<const float> w, double qLow, double qHigh, SingularityEstimate& estimate) {
  const size_t m = std::min({omega.size(), lnTarget.size(), w.size()});
  if (m < 5 || m > static_cast<size_t>(kCapacity) || !(qLow > 0) || !(qHigh >= qLow) || !(estimate.Omega > 0))
    return false;
  Window win;
  if (!Load(omega.first(m), lnTarget.first(m), w.first(m), win)) return false;

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
  Evaluation evaluations[2];
  Evaluation* current = &evaluations[0];
  Evaluation* trial = &evaluations[1];
  Evaluate(win, p, *current);
  {
    Quad sum = {};
    for (int k = 0; k < win.quads; ++k) sum += win.w[k] * current->r[k];
    p[3] = Sum(sum) / win.sw;
    Quad cost = {};
    for (int k = 0; k < win.quads; ++k) {
      current->r[k] -= p[3];
      cost += win.w[k] * (current->r[k] * current->r[k]);
    }
    current->cost = Sum(cost);
  }
  if (!std::isfinite(current->cost)) return false;

  Normal n = Linearise(win, p, *current);
  double lambda = 1e-3;
  for (int iteration = 0; iteration < 40 && lambda < 1e10; ++iteration) {
    Mat5 A = n.H;
    A.diagonal() += lambda * (n.H.diagonal().array() + 1e-12).matrix();
    const Vec5 step = A.ldlt().solve(n.g);
    // What the linearised model says the step gains: when that is next to
    // nothing the fit has converged, and evaluating the step would waste a pass.
    if (step.dot(2 * n.g - n.H * step) <= kWorthTrying * current->cost) break;
    Vec5 next = p + step;
    clampQ(next);
    Evaluate(win, next, *trial);
    if (std::isfinite(trial->cost) && trial->cost < current->cost) {
      const double gain = current->cost - trial->cost;
      p = next;
      std::swap(current, trial);
      n = Linearise(win, p, *current);
      lambda = std::max(lambda / 3, 1e-9);
      if (gain <= kConverged * (current->cost + 1e-30)) break;
    } else {
      lambda *= 4;
    }
  }
  if (!p.allFinite() || !std::isfinite(current->cost)) return false;
  estimate.Omega = std::exp(p[0]);
  estimate.PoleQ = std::exp(p[1]);
  estimate.ZeroQ = std::exp(p[2]);
  estimate.Baseline = std::exp(p[3]);
  estimate.Slope = p[4];
  estimate.Residual = std::sqrt(current->cost / win.sw);
  // The straight line in ln ω through the targets, by weighted least squares.
  Quad sy = {}, sty = {};
  for (int k = 0; k < win.quads; ++k) {
    sy += win.w[k] * win.lnT[k];
    sty += win.w[k] * (win.t[k] * win.lnT[k]);
  }
  const double det = win.sw * win.stt - win.st * win.st;
  const double slope = det > 0 ? (win.sw * Sum(sty) - win.st * Sum(sy)) / det : 0;
  const double level = (Sum(sy) - slope * win.st) / win.sw;
  Quad plain = {};
  for (int k = 0; k < win.quads; ++k) {
    const Quad r = win.lnT[k] - level - slope * win.t[k];
    plain += win.w[k] * (r * r);
  }
  estimate.Plain = std::sqrt(Sum(plain) / win.sw);
  return true;
}

}  // namespace zentor
