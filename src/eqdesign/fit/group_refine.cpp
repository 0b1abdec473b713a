#include "eqdesign/fit/group_refine.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "eqdesign/filter_sets.h"
#include "eqdesign/fit/peak_dip.h"
#include "eqdesign/fit/singularity_search.h"

namespace zentor {

namespace {

constexpr double kTwoPi = 6.28318530717959;
constexpr double kDbPerNeper = 8.685889638065035;  // 20 / ln 10, for |H|: 10/ln 10 on |H|²
constexpr double kLevelToLnQ = 0.05756462732485115;  // ln 10 / 40
constexpr int32_t kIterations = 30;
constexpr double kReach = 2.5;  // window: this many bandwidths beyond the group's outer entries

struct Entry {
  double LnF = 0;  // ln Hz
  double LnQ = 0;  // ln centre Q at the damping in force
  double Level = 0;  // dB, positive for a peak of the curve
};

// dB of one singularity at s = (f/f0)², and its derivatives over ln f0,
// ln centre Q and level.
struct Shape {
  double S, dU, dV, dL;
};

// What a singularity's shape needs of its parameters, the same at every point:
// 1/f0, and 1/Q² of its pole and zero pairs.
struct Terms {
  double InvF = 0, Gp = 0, Gz = 0;
};

Terms TermsOf(double lnF, double lnQ, double level) {
  const double lp = lnQ + kLevelToLnQ * level, lz = lnQ - kLevelToLnQ * level;
  return {std::exp(-lnF), std::exp(-2 * lp), std::exp(-2 * lz)};
}

Shape ShapeAt(double s, const Terms& q) {
  const double gp = q.Gp, gz = q.Gz;
  const double a = (1 - s) * (1 - s), N = a + s * gz, D = a + s * gp;
  const double c = 0.5 * kDbPerNeper;  // 10 / ln 10
  const double da = 4 * s * (1 - s);
  const double pz = 2 * s * gz / N, pp = 2 * s * gp / D;
  return {c * std::log(N / D), c * ((da - 2 * s * gz) / N - (da - 2 * s * gp) / D), c * (pp - pz),
          c * kLevelToLnQ * (pp + pz)};
}

struct Problem {
  std::vector<double> f, t, target, w;  // Hz, ln(f/f_mid), dB, weights
  size_t entries = 0;
  // Bounds per entry.
  std::vector<double> lnFLow, lnFHigh, lnQResolved, largerQMax;
  std::vector<bool> peak;
  const FitBounds* bounds = nullptr;
  double smallerQMin = 0.06;
  // A curve taken relative to an anchored target keeps its level: no line.
  bool fixedBaseline = false;

  size_t Params() const { return 3 * entries + 2; }

  void Project(Eigen::VectorXd& p) const {
    const FitBounds& b = *bounds;
    for (size_t k = 0; k < entries; ++k) {
      const auto i = static_cast<Eigen::Index>(3 * k);
      // An entry centred outside the group's window has an empty span: it stays at the low end.
      p[i] = std::clamp(p[i], lnFLow[k], std::max(lnFLow[k], lnFHigh[k]));
      double& lnQ = p[i + 1];
      double& level = p[i + 2];
      // An entry keeps its kind: a pair of opposite kinds at one centre could
      // otherwise cancel each other to any depth.
      level = peak[k] ? std::clamp(level, 0.0, b.PeakDbMax) : std::clamp(level, -b.DipDbMax, 0.0);
      const double lnRoot = kLevelToLnQ * std::fabs(level);
      lnQ = std::clamp(lnQ, std::log(std::max(b.CentreQLow, 1e-3)), std::log(std::min(b.CentreQHigh, 1e6)));
      lnQ = std::min(lnQ, std::log(std::min(b.LargerQHigh, largerQMax[k])) - lnRoot);
      lnQ = std::min(lnQ, lnQResolved[k]);
      lnQ = std::max(lnQ, std::log(std::max(b.LargerQLow, 1e-6)) - lnRoot);
      lnQ = std::max(lnQ, std::log(smallerQMin) + lnRoot);
    }
    // Neighbours of opposite kinds stay a quarter of the narrower one's
    // bandwidth apart: a peak and a dip on one centre could trade level
    // between them without end.
    for (size_t k = 1; k < entries; ++k) {
      const auto i = static_cast<Eigen::Index>(3 * k);
      if (peak[k] == peak[k - 1]) continue;
      const double gap = 0.25 * std::exp(-std::max(p[i + 1], p[i - 2]));
      p[i] = std::max(p[i], p[i - 3] + gap);
    }
  }

  // Cost, and when asked the normal equations, at p.
  double Evaluate(const Eigen::VectorXd& p, Eigen::MatrixXd* H, Eigen::VectorXd* g) const {
    const auto np = static_cast<Eigen::Index>(Params());
    if (H) {
      H->setZero(np, np);
      g->setZero(np);
    }
    Eigen::VectorXd j(np);
    std::vector<Terms> q(entries);
    for (size_t k = 0; k < entries; ++k) q[k] = TermsOf(p[3 * k], p[3 * k + 1], p[3 * k + 2]);
    double cost = 0;
    const double b0 = p[np - 2], b1 = p[np - 1];
    for (size_t i = 0; i < f.size(); ++i) {
      double model = b0 + b1 * t[i];
      for (size_t k = 0; k < entries; ++k) {
        const auto e = static_cast<Eigen::Index>(3 * k);
        const double x = f[i] * q[k].InvF;
        const Shape s = ShapeAt(x * x, q[k]);
        model += s.S;
        if (H) {
          j[e] = s.dU;
          j[e + 1] = s.dV;
          j[e + 2] = s.dL;
        }
      }
      const double r = target[i] - model;
      cost += w[i] * r * r;
      if (H) {
        j[np - 2] = fixedBaseline ? 0 : 1;
        j[np - 1] = fixedBaseline ? 0 : t[i];
        H->selfadjointView<Eigen::Lower>().rankUpdate(j, w[i]);
        *g += (w[i] * r) * j;
      }
    }
    if (H) *H = H->selfadjointView<Eigen::Lower>();
    return cost;
  }
};

// The straight line that best fits the target less the entries' shapes.
void FitBaseline(const Problem& pr, Eigen::VectorXd& p) {
  const auto np = static_cast<Eigen::Index>(pr.Params());
  if (pr.fixedBaseline) {
    p[np - 1] = p[np - 2] = 0;
    return;
  }
  double sw = 0, st = 0, stt = 0, sy = 0, sty = 0;
  std::vector<Terms> q(pr.entries);
  for (size_t k = 0; k < pr.entries; ++k) q[k] = TermsOf(p[3 * k], p[3 * k + 1], p[3 * k + 2]);
  for (size_t i = 0; i < pr.f.size(); ++i) {
    double y = pr.target[i];
    for (size_t k = 0; k < pr.entries; ++k) {
      const double x = pr.f[i] * q[k].InvF;
      y -= ShapeAt(x * x, q[k]).S;
    }
    sw += pr.w[i];
    st += pr.w[i] * pr.t[i];
    stt += pr.w[i] * pr.t[i] * pr.t[i];
    sy += pr.w[i] * y;
    sty += pr.w[i] * pr.t[i] * y;
  }
  const double det = sw * stt - st * st;
  p[np - 1] = det > 0 ? (sw * sty - st * sy) / det : 0;
  p[np - 2] = sw > 0 ? (sy - p[np - 1] * st) / sw : 0;
}

}  // namespace

void RefineOverlappingGroups(SingularityListRecord& set, const SingularityListRecord& header, FitCurveRecord& curve,
                             float damping, const FitBounds& bounds) {
  const MessageSink quiet = [](const std::string&) {};
  const int32_t entries = std::clamp<int32_t>(set.Count, 0, kMaxFilters);
  const int32_t count = std::clamp<int32_t>(curve.Count, 0, kMaxFitPoints);
  if (entries == 0 || count < 16 || !(damping > 0)) return;
  const std::span<const float> x(curve.Freq.data(), static_cast<size_t>(count));
  const std::span<double> y(curve.Level.data(), static_cast<size_t>(count));

  std::vector<Entry> e(static_cast<size_t>(entries));
  std::vector<size_t> order(e.size());
  for (size_t k = 0; k < e.size(); ++k) {
    const double q1 = std::fabs(set.Q1[k]), q2 = set.Q2[k];
    if (!(q1 > 0 && q2 > 0 && set.Freq[k] > 0)) return;
    e[k] = {std::log(set.Freq[k] / kTwoPi), std::log(damping * std::sqrt(q1 * q2)),
            (set.Q1[k] > 0 ? 20 : -20) * std::log10(q1 / q2)};
  }
  std::iota(order.begin(), order.end(), size_t{0});
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return e[a].LnF < e[b].LnF || (e[a].LnF == e[b].LnF && a < b); });
  const auto bandwidth = [&](const Entry& v) { return std::exp(v.LnF - v.LnQ); };

  std::vector<bool> dropped(e.size(), false);
  for (size_t first = 0; first < order.size();) {
    size_t last = first + 1;
    while (last < order.size()) {
      const Entry &a = e[order[last - 1]], &b = e[order[last]];
      if (std::exp(b.LnF) - std::exp(a.LnF) > 2 * std::max(bandwidth(a), bandwidth(b))) break;
      ++last;
    }
    const std::vector<size_t> group(order.begin() + static_cast<std::ptrdiff_t>(first),
                                    order.begin() + static_cast<std::ptrdiff_t>(last));
    first = last;

    double lowHz = 1e30, highHz = 0;
    for (size_t k : group) {
      lowHz = std::min(lowHz, std::exp(e[k].LnF) - kReach * bandwidth(e[k]));
      highHz = std::max(highHz, std::exp(e[k].LnF) + kReach * bandwidth(e[k]));
    }
    lowHz = std::max<double>(lowHz, header.RangeLow);
    highHz = std::min<double>(highHz, header.RangeHigh);
    Problem pr;
    pr.entries = group.size();
    pr.bounds = &bounds;
    pr.fixedBaseline = curve.Anchored;
    pr.smallerQMin = std::max(0.06, damping * static_cast<double>(header.QMinimum));
    size_t i0 = 0, i1 = 0;
    for (size_t i = 1; i + 1 < static_cast<size_t>(count); ++i) {
      if (!(x[i] >= lowHz && x[i] <= highHz && y[i] > 0)) continue;
      if (pr.f.empty()) i0 = i;
      i1 = i;
      pr.f.push_back(x[i]);
      pr.w.push_back(0.5 * std::log(static_cast<double>(x[i + 1]) / x[i - 1]));
    }
    if (pr.f.size() < pr.Params() + 8) continue;
    const double mid = std::log(0.5 * (pr.f.front() + pr.f.back()));
    const double spacing = (pr.f.back() - pr.f.front()) / static_cast<double>(i1 - i0);
    std::vector<double> dB(pr.f.size());
    for (size_t i = 0; i < pr.f.size(); ++i) {
      pr.t.push_back(std::log(pr.f[i]) - mid);
      dB[i] = 20 * std::log10(y[i0 + i]);
    }
    Eigen::VectorXd p0(static_cast<Eigen::Index>(pr.Params()));
    for (size_t g = 0; g < group.size(); ++g) {
      const Entry& v = e[group[g]];
      const auto b = static_cast<Eigen::Index>(3 * g);
      p0.segment<3>(b) << v.LnF, v.LnQ, v.Level;
      const double f0 = std::exp(v.LnF);
      // The centre stays within the group's window and a bandwidth of where it was.
      pr.lnFLow.push_back(std::log(std::max(pr.f.front(), f0 - bandwidth(v))));
      pr.lnFHigh.push_back(std::log(std::min(pr.f.back(), f0 + bandwidth(v))));
      const double fHigh = std::min(pr.f.back(), f0 + bandwidth(v));
      pr.lnQResolved.push_back(std::log(f0 / (3 * spacing)));
      const float limit = FitQLimit(static_cast<float>(fHigh), header.SchroederFreq, header.MaxDecay, header.Graphshown,
                                    header.Smoothing);
      const bool bodeDip = header.ModeCode == kModeCodeBode && v.Level < 0;
      pr.largerQMax.push_back(limit > 0 ? damping * SearchQLimit((bodeDip ? 100.0 : 1.0) * limit, bounds) : 1e6);
      pr.peak.push_back(v.Level > 0);
    }
    // The target: the residual with the group put back.
    pr.target = dB;
    for (size_t g = 0; g < group.size(); ++g) {
      const Entry& v = e[group[g]];
      const Terms q = TermsOf(v.LnF, v.LnQ, v.Level);
      const double f0 = std::exp(v.LnF);
      for (size_t i = 0; i < pr.f.size(); ++i) {
        const double r = pr.f[i] / f0;
        pr.target[i] += ShapeAt(r * r, q).S;
      }
    }
    FitBaseline(pr, p0);
    const double startCost = pr.Evaluate(p0, nullptr, nullptr);
    Eigen::VectorXd p = p0;
    pr.Project(p);
    const bool feasible = (p - p0).cwiseAbs().maxCoeff() < 1e-12;
    if (!feasible) FitBaseline(pr, p);
    Eigen::MatrixXd H;
    Eigen::VectorXd g;
    double cost = pr.Evaluate(p, &H, &g), lambda = 1e-3;
    if (!std::isfinite(cost)) continue;
    for (int32_t it = 0; it < kIterations && lambda < 1e10; ++it) {
      Eigen::MatrixXd A = H;
      A.diagonal() += lambda * (H.diagonal().array() + 1e-9).matrix();
      Eigen::VectorXd trial = p + A.ldlt().solve(g);
      pr.Project(trial);
      const double c = pr.Evaluate(trial, nullptr, nullptr);
      if (std::isfinite(c) && c < cost) {
        const double gain = cost - c;
        p = trial;
        cost = pr.Evaluate(p, &H, &g);
        lambda = std::max(lambda / 4, 1e-9);
        if (gain <= 1e-9 * cost) break;
      } else {
        lambda *= 4;
      }
    }
    if (!p.allFinite() || !(feasible ? cost < startCost : std::isfinite(cost))) continue;

    // Keep the group's new values: the old ones go back into the curve, the
    // new ones come out.
    for (size_t k : group) {
      const auto s = static_cast<size_t>(k);
      ApplySingularityToLevels(y, x, set.Q1[s], set.Q2[s], set.Freq[s], damping, 0, count, quiet);
    }
    for (size_t gi = 0; gi < group.size(); ++gi) {
      const auto s = group[gi];
      const auto b = static_cast<Eigen::Index>(3 * gi);
      const double level = p[b + 2], root = std::pow(10.0, std::fabs(level) / 40);
      const double centreQ = std::exp(p[b + 1]) / damping;
      set.Freq[s] = static_cast<float>(kTwoPi * std::exp(p[b]));
      set.Q1[s] = static_cast<float>((level >= 0 ? 1 : -1) * centreQ * root);
      set.Q2[s] = static_cast<float>(centreQ / root);
      if (!LevelAboveNoise(level, bounds) || set.Q1[s] == 0) {
        dropped[s] = true;
        continue;
      }
      ApplySingularityToLevels(y, x, -set.Q1[s], set.Q2[s], set.Freq[s], damping, 0, count, quiet);
    }
  }

  int32_t kept = 0;
  for (size_t k = 0; k < e.size(); ++k) {
    if (dropped[k]) continue;
    const auto to = static_cast<size_t>(kept++);
    set.Freq[to] = set.Freq[k];
    set.Q1[to] = set.Q1[k];
    set.Q2[to] = set.Q2[k];
    set.FitError[to] = set.FitError[k];
  }
  for (auto k = static_cast<size_t>(kept); k < e.size(); ++k) set.Freq[k] = set.Q1[k] = set.Q2[k] = set.FitError[k] = 0;
  set.Count = kept;
}

}  // namespace zentor
