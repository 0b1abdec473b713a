// A seeded corpus of room-like responses for judging the filter fit, the
// least-squares optimum of a given number of peaking filters on each, and the
// snapping of a fitted set as the applied list snaps it. Shared by the
// acceptance test and the corpus benchmark.
#pragma once

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <span>
#include <vector>

#include "core/emulation.h"
#include "eqdesign/fit/fit_driver.h"
#include "eqdesign/fit/fit_quality.h"

namespace zentor::test {

struct CorpusCurve {
  std::vector<KnownSingularity> Truth;
  double Tilt = 0;   // dB per octave
  double Noise = 0;  // dB per point
  bool Flat = false;
  bool Isolated = false;  // no two singularities within 15 % of each other
  std::vector<float> dB;
};

constexpr float kCorpusLow = 20, kCorpusHigh = 300;

inline bool IsolatedSet(const std::vector<KnownSingularity>& s) {
  for (size_t i = 0; i < s.size(); ++i)
    for (size_t j = i + 1; j < s.size(); ++j)
      if (std::fabs(std::log(s[i].FreqHz / s[j].FreqHz)) < std::log(1.15)) return false;
  return true;
}

// `curves` curves of 2 to 6 peaks and dips between 25 and 280 Hz (±3 to ±15 dB,
// centre Q 2 to 15), two of every three with a cluster of two or three within
// ±12 %, a tilt of ±3 dB per octave and 0.1 to 0.5 dB of point noise, on the
// gated grid; then `flats` curves of noise and tilt alone.
inline std::vector<CorpusCurve> MakeFitCorpus(std::span<const float> grid, uint32_t seed, int32_t curves,
                                              int32_t flats) {
  std::mt19937 random(seed);
  const auto uniform = [&](double a, double b) { return a + (b - a) * (static_cast<double>(random()) / 4294967295.0); };
  const auto one = [&](double f) {
    const double level = uniform(3, 15);
    return KnownSingularity{f, random() % 2 ? level : -level, std::exp(uniform(std::log(2.0), std::log(15.0)))};
  };
  std::vector<CorpusCurve> out;
  for (int32_t c = 0; c < curves + flats; ++c) {
    CorpusCurve k;
    k.Flat = c >= curves;
    if (!k.Flat) {
      const auto n = static_cast<size_t>(2 + random() % 5);
      if (c % 3 != 2) {
        // A cluster of two or three, the rest anywhere.
        const double centre = std::exp(uniform(std::log(28.0), std::log(250.0)));
        const size_t cluster = std::min<size_t>(n, 2 + random() % 2);
        for (size_t i = 0; i < cluster; ++i) k.Truth.push_back(one(centre * uniform(0.88, 1.12)));
      }
      while (k.Truth.size() < n) k.Truth.push_back(one(std::exp(uniform(std::log(25.0), std::log(280.0)))));
    }
    k.Isolated = !k.Flat && IsolatedSet(k.Truth);
    k.Tilt = uniform(-3, 3);
    k.Noise = uniform(0.1, 0.5);
    k.dB = KnownResponseDb(grid, k.Truth, k.Tilt, k.Noise, seed * 1000 + static_cast<uint32_t>(c) + 1);
    out.push_back(std::move(k));
  }
  return out;
}

inline SingularityListRecord SetOf(std::span<const KnownSingularity> s) {
  SingularityListRecord R;
  for (const KnownSingularity& k : s) {
    if (R.Count >= kMaxFilters) break;
    double qp = 0, qz = 0;
    KnownSingularityQs(k, qp, qz);
    const auto e = static_cast<size_t>(R.Count++);
    R.Freq[e] = static_cast<float>(6.28318530717959 * k.FreqHz);
    // A measured peak is filed as the cut that corrects it: Q1 positive.
    R.Q1[e] = static_cast<float>(k.LevelDb >= 0 ? qp : -qz);
    R.Q2[e] = static_cast<float>(k.LevelDb >= 0 ? qz : qp);
  }
  return R;
}

inline std::vector<KnownSingularity> SingularitiesOf(const SingularityListRecord& R) {
  std::vector<KnownSingularity> s;
  for (int32_t i = 0; i < std::clamp(R.Count, 0, kMaxFilters); ++i) {
    const auto e = static_cast<size_t>(i);
    const double level = 20 * std::log10(std::fabs(R.Q1[e]) / R.Q2[e]);
    s.push_back({R.Freq[e] / 6.28318530717959, R.Q1[e] < 0 ? -level : level, std::sqrt(std::fabs(R.Q1[e]) * R.Q2[e])});
  }
  return s;
}

// The set as the user path applies it: the new-filter dialog's 20 dB limit and
// the emulated equaliser's steps.
inline SingularityListRecord SnappedSet(const SingularityListRecord& R, int32_t code) {
  SingularityListRecord S = R;
  for (int32_t i = 0; i < std::clamp(S.Count, 0, kMaxFilters); ++i) {
    const auto e = static_cast<size_t>(i);
    if (std::fabs(S.Q1[e]) * 0.1f > S.Q2[e]) S.Q2[e] = std::fabs(S.Q1[e]) * 0.1f;
    EmulateEQBand(code, S.Freq[e], S.Q1[e], S.Q2[e]);
  }
  return S;
}

// The header of a fit on the Bode view's gated response.
inline SingularityListRecord BodeHeader() {
  SingularityListRecord R;
  R.Graphshown = 3, R.ModeCode = 5, R.SelectCode = 4;
  return R;
}

inline CurveRecord CurveOf(std::span<const float> f, std::span<const float> dB) {
  CurveRecord c;
  c.NumPoints = static_cast<int32_t>(f.size());
  std::copy(f.begin(), f.end(), c.XValues.begin());
  std::copy(dB.begin(), dB.end(), c.YValues.begin());
  return c;
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

inline double CorrectedRms(std::span<const float> f, std::span<const float> dB, const SingularityListRecord& R) {
  return LogWeightedLineRmsDb(f, CorrectedResponseDb(f, dB, R), kCorpusLow, kCorpusHigh);
}

// Levenberg-Marquardt over n peaking filters (ln f, ln centre Q, level dB each)
// and a straight line in ln f, minimising the log-frequency-weighted squared
// deviation over the fit range; returns the RMS reached from that start.
// With maxBoostDb not negative, no dip is corrected by more (bounded least squares).
inline double OptimumRms(std::span<const float> f, std::span<const float> dB, std::vector<KnownSingularity> start,
                         double maxBoostDb = -1) {
  std::vector<double> x, y, w;
  for (size_t i = 0; i < f.size(); ++i) {
    if (f[i] < kCorpusLow || f[i] > kCorpusHigh) continue;
    x.push_back(f[i]);
    y.push_back(dB[i]);
    const double lo = std::log(f[i > 0 ? i - 1 : i]), hi = std::log(f[i + 1 < f.size() ? i + 1 : i]);
    w.push_back(0.5 * (hi - lo));
  }
  const size_t m = x.size(), n = start.size(), np = 3 * n + 2;
  Eigen::VectorXd p(np);
  for (size_t k = 0; k < n; ++k)
    p.segment<3>(static_cast<Eigen::Index>(3 * k)) << std::log(start[k].FreqHz), std::log(start[k].CentreQ),
        start[k].LevelDb;
  p[static_cast<Eigen::Index>(3 * n)] = 0;
  p[static_cast<Eigen::Index>(3 * n + 1)] = 0;
  const auto residuals = [&](const Eigen::VectorXd& q) {
    Eigen::VectorXd r(static_cast<Eigen::Index>(m));
    std::vector<KnownSingularity> s(n);
    for (size_t k = 0; k < n; ++k) {
      const auto b = static_cast<Eigen::Index>(3 * k);
      s[k] = {std::exp(q[b]), q[b + 2], std::exp(std::clamp(q[b + 1], std::log(0.2), std::log(500.0)))};
    }
    for (size_t i = 0; i < m; ++i) {
      const auto line = static_cast<Eigen::Index>(3 * n);
      double model = q[line] + q[line + 1] * std::log(x[i] / 100);
      for (const KnownSingularity& k : s) model += KnownSingularityDb(k, x[i]);
      r[static_cast<Eigen::Index>(i)] = std::sqrt(w[i]) * (y[i] - model);
    }
    return r;
  };
  Eigen::VectorXd r = residuals(p);
  double cost = r.squaredNorm(), lambda = 1e-3;
  for (int it = 0; it < 200 && lambda < 1e12; ++it) {
    Eigen::MatrixXd J(static_cast<Eigen::Index>(m), static_cast<Eigen::Index>(np));
    for (size_t j = 0; j < np; ++j) {
      Eigen::VectorXd q = p;
      const double h = 1e-6 * std::max(1.0, std::fabs(p[static_cast<Eigen::Index>(j)]));
      q[static_cast<Eigen::Index>(j)] += h;
      J.col(static_cast<Eigen::Index>(j)) = (r - residuals(q)) / h;
    }
    const Eigen::MatrixXd H = J.transpose() * J;
    const Eigen::VectorXd g = J.transpose() * r;
    bool improved = false;
    while (lambda < 1e12) {
      Eigen::MatrixXd A = H;
      A.diagonal() += lambda * (H.diagonal().array() + 1e-9).matrix();
      Eigen::VectorXd trial = p + A.ldlt().solve(g);
      if (maxBoostDb >= 0)
        for (size_t k = 0; k < n; ++k)
          trial[static_cast<Eigen::Index>(3 * k + 2)] = std::max(trial[static_cast<Eigen::Index>(3 * k + 2)], -maxBoostDb);
      const Eigen::VectorXd rt = residuals(trial);
      const double c = rt.squaredNorm();
      if (std::isfinite(c) && c < cost) {
        const bool small = cost - c < 1e-10 * cost;
        p = trial;
        r = rt;
        cost = c;
        lambda = std::max(lambda / 4, 1e-12);
        improved = !small;
        break;
      }
      lambda *= 4;
    }
    if (!improved) break;
  }
  double sw = 0;
  for (double v : w) sw += v;
  return std::sqrt(cost / sw);
}

// The default fit of one corpus curve over the corpus range, made for `code`
// (and ending on its steps when onSteps is set).
// The corpus curves fitted as one set, as the fit of all curves does.
inline std::vector<SingularityListRecord> FitCorpusCurves(std::span<const float> grid,
                                                          std::span<const CorpusCurve> curves, int32_t code,
                                                          FitEngine& engine, const FitLimits& limits = {},
                                                          bool onSteps = false) {
  std::vector<CurveRecord> C(curves.size());
  std::vector<SingularityListRecord> R(curves.size(), BodeHeader());
  std::vector<FitBatchItem> items;
  for (size_t i = 0; i < curves.size(); ++i) {
    C[i] = CurveOf(grid, curves[i].dB);
    FitBatchItem& item = items.emplace_back();
    item.Set = &R[i];
    item.Curve = &C[i];
  }
  FitDriverConstants constants;
  constants.MinFreq = kCorpusLow;
  constants.MaxFreq = kCorpusHigh;
  constants.Limits = limits;
  constants.OnSteps = onSteps;
  engine.Settings.MaxFreq = kCorpusHigh;
  engine.Settings.EmulationCode = code;
  FitCurveFilterSets(items, constants, engine);
  return R;
}

// The same on a pool of four threads.
inline std::vector<SingularityListRecord> FitOnPool(std::span<const float> grid, std::span<const CorpusCurve> curves,
                                                    int32_t code, const FitLimits& limits = {}) {
  FitPool pool(4);
  FitEngine engine;
  engine.Pool = &pool;
  return FitCorpusCurves(grid, curves, code, engine, limits);
}

inline SingularityListRecord FitCorpusCurve(std::span<const float> grid, const CorpusCurve& k, int32_t code,
                                            FitEngine& engine, const FitLimits& limits = {}, bool onSteps = false) {
  return FitCorpusCurves(grid, std::span(&k, 1), code, engine, limits, onSteps)[0];
}

}  // namespace zentor::test
