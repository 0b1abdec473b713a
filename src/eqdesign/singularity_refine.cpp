#include "eqdesign/singularity_refine.h"

#include <Eigen/Dense>
#include <algorithm>
#include <array>
#include <cmath>

namespace zentor {

namespace {

using Vec4 = Eigen::Matrix<double, 5, 1>;
using Mat4 = Eigen::Matrix<double, 5, 5>;

// Parameters: ln Ω, ln PoleQ, ln ZeroQ, ln Baseline and its slope over ln ω.
struct Normal {
  Mat4 H = Mat4::Zero();
  Vec4 g = Vec4::Zero();
  double cost = 0;
};

// The residual of the target at point i against the model.
double Residual(double omega, double lnT, double t, const Vec4& p, double Omega, double gp, double gz) {
  const double x = omega / Omega, x2 = x * x, a = (1 - x2) * (1 - x2);
  return lnT - (p[3] + p[4] * t + std::log((a + x2 * gz) / (a + x2 * gp)));
}

double Cost(std::span<const double> omega, std::span<const double> lnT, std::span<const float> w, const Vec4& p,
            const double* t) {
  const double Omega = std::exp(p[0]), gp = std::exp(-2 * p[1]), gz = std::exp(-2 * p[2]);
  double cost = 0;
  for (size_t i = 0; i < omega.size(); ++i) {
    const double r = Residual(omega[i], lnT[i], t[i], p, Omega, gp, gz);
    cost += w[i] * r * r;
  }
  return cost;
}

Normal Linearise(std::span<const double> omega, std::span<const double> lnT, std::span<const float> w,
                 const Vec4& p, const double* t) {
  Normal n;
  const double Omega = std::exp(p[0]), gp = std::exp(-2 * p[1]), gz = std::exp(-2 * p[2]);
  for (size_t i = 0; i < omega.size(); ++i) {
    // Everything divided by Ω⁴, so the sums stay near 1 whatever the frequency.
    const double x = omega[i] / Omega, x2 = x * x, d = 1 - x2, a = d * d;
    const double N = a + x2 * gz, D = a + x2 * gp;
    const double r = Residual(omega[i], lnT[i], t[i], p, Omega, gp, gz);
    const double dA = 4 * d;
    Vec4 j;
    j[0] = (dA + 2 * x2 * gz) / N - (dA + 2 * x2 * gp) / D;
    j[1] = 2 * x2 * gp / D;
    j[2] = -2 * x2 * gz / N;
    j[3] = 1;
    j[4] = t[i];
    const double wi = w[i];
    n.H.noalias() += wi * j * j.transpose();
    n.g += wi * r * j;
    n.cost += wi * r * r;
  }
  return n;
}

}  // namespace

bool RefineSingularity(std::span<const double> omega, std::span<const double> lnTarget,
                       std::span<const float> w, double qLow, double qHigh, SingularityEstimate& estimate) {
  const size_t m = std::min({omega.size(), lnTarget.size(), w.size()});
  omega = omega.first(m);
  lnTarget = lnTarget.first(m);
  w = w.first(m);
  double weightSum = 0;
  for (float v : w) weightSum += v;
  if (m < 5 || !(weightSum > 0) || !(qLow > 0) || !(qHigh >= qLow) || !(estimate.Omega > 0)) return false;
  const double lo = std::log(qLow), hi = std::log(qHigh);
  const auto clampQ = [&](Vec4& p) {
    p[1] = std::clamp(p[1], lo, hi);
    p[2] = std::clamp(p[2], lo, hi);
  };

  // ln ω about the middle point, for the baseline's slope.
  std::array<double, 256> t{};
  if (m > t.size()) return false;
  const double lnCentre = std::log(omega[m / 2]);
  for (size_t i = 0; i < m; ++i) t[i] = std::log(omega[i]) - lnCentre;
  Vec4 p;
  p << std::log(estimate.Omega), std::log(std::max(estimate.PoleQ, qLow)), std::log(std::max(estimate.ZeroQ, qLow)),
      0.0, 0.0;
  clampQ(p);
  // The baseline that best matches the shape as it starts.
  {
    Vec4 q = p;
    q[3] = 0;
    const Normal n = Linearise(omega, lnTarget, w, q, t.data());
    p[3] = n.g[3] / weightSum;
  }

  Normal n = Linearise(omega, lnTarget, w, p, t.data());
  if (!std::isfinite(n.cost)) return false;
  double lambda = 1e-3;
  for (int iteration = 0; iteration < 40 && lambda < 1e10; ++iteration) {
    Mat4 A = n.H;
    A.diagonal() += lambda * (n.H.diagonal().array() + 1e-12).matrix();
    const Vec4 step = A.ldlt().solve(n.g);
    Vec4 trial = p + step;
    clampQ(trial);
    const double cost = Cost(omega, lnTarget, w, trial, t.data());
    if (std::isfinite(cost) && cost < n.cost) {
      const double gain = n.cost - cost;
      p = trial;
      n = Linearise(omega, lnTarget, w, p, t.data());
      lambda = std::max(lambda / 3, 1e-9);
      if (gain <= 1e-10 * (n.cost + 1e-30)) break;
    } else {
      lambda *= 4;
    }
  }
  if (!p.allFinite() || !std::isfinite(n.cost)) return false;
  estimate.Omega = std::exp(p[0]);
  estimate.PoleQ = std::exp(p[1]);
  estimate.ZeroQ = std::exp(p[2]);
  estimate.Baseline = std::exp(p[3]);
  estimate.Slope = p[4];
  estimate.Residual = std::sqrt(n.cost / weightSum);
  // The straight line in ln ω through the targets, by weighted least squares.
  double sw = 0, st = 0, stt = 0, sy = 0, sty = 0;
  for (size_t i = 0; i < m; ++i) {
    const double wi = w[i];
    sw += wi;
    st += wi * t[i];
    stt += wi * t[i] * t[i];
    sy += wi * lnTarget[i];
    sty += wi * t[i] * lnTarget[i];
  }
  const double det = sw * stt - st * st;
  const double slope = det > 0 ? (sw * sty - st * sy) / det : 0, level = (sy - slope * st) / sw;
  double plain = 0;
  for (size_t i = 0; i < m; ++i) {
    const double r = lnTarget[i] - level - slope * t[i];
    plain += w[i] * r * r;
  }
  estimate.Plain = std::sqrt(plain / weightSum);
  return true;
}

}  // namespace zentor
