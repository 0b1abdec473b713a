#include "eqdesign/fit/fit_kernel.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace zentor {

namespace {

constexpr int kMaxWindowPoints = 200;
constexpr int kMaxGridQ = 10;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

void Linear(std::span<double> out, double low, double high, int32_t count) {
  const auto n = static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(std::max(count, 0)), out.size()));
  if (n <= 0) return;
  out[0] = low;
  if (n == 1) return;
  const double step = (high - low) / static_cast<double>(n - 1);
  for (int32_t i = 1; i < n - 1; ++i) out[static_cast<size_t>(i)] = low + step * i;
  out[static_cast<size_t>(n - 1)] = high;
}

// The grid Q values in two vectors of four and one of two: the ten of the grid.
constexpr int kLanes = 10;
using Quad = double __attribute__((vector_size(32)));
using Pair = double __attribute__((vector_size(16)));

struct GridInput {
  const float* freqs;  // Hz, the window's curve points
  const double* target;
  const float* weight;
  int32_t points;
  const double* trialFreq;  // rad/s
  int32_t trials;
  const double* g;  // 1/Q² for each lane
  double h;         // 1/QFixed²
  bool endNormalised;
};

struct GridBest {
  double residual = std::numeric_limits<double>::infinity();  // Σw(T − M)² of the best trial
  int32_t k = -1, j = -1;
  double weightSum = 0;
};

// Models every trial against the window and keeps the least Σw(T − M)²; the
// first trial wins a tie, frequencies outer and Q values inner. Each lane sees
// the same operations in the same order whatever the vector width, so the wide
// and the plain builds agree bit for bit. The divisions bound the fit's time,
// and a 4-wide divide does twice the work of a 2-wide one.
[[gnu::always_inline]] inline GridBest GridSearchBody(const GridInput& in, int32_t qs) {
  Quad G[2];
  Pair G2;
  __builtin_memcpy(G, in.g, sizeof G);
  __builtin_memcpy(&G2, in.g + 8, sizeof G2);
  const double h = in.h;
  GridBest best;
  for (int32_t k = 0; k < in.trials; ++k) {
    const double w0 = in.trialFreq[k];
    // (Ω² − ω²)² formed as a product: no cancellation at the centre.
    const auto parts = [&](int32_t i, double& a, double& b, double& z) {
      const double omega = kTwoPi * in.freqs[i];
      const double d = (w0 - omega) * (w0 + omega), c = w0 * omega;
      a = d * d;
      b = c * c;
      z = a + b * h;
    };
    Quad S[2] = {};
    Pair S2 = {};
    // A target divided by the mean of its end values is met by a model treated alike.
    if (in.endNormalised) {
      double a0, b0, z0, ae, be, ze;
      parts(0, a0, b0, z0);
      parts(in.points - 1, ae, be, ze);
      for (int l = 0; l < 2; ++l) S[l] = 2.0 / (z0 / (a0 + b0 * G[l]) + ze / (ae + be * G[l]));
      S2 = 2.0 / (z0 / (a0 + b0 * G2) + ze / (ae + be * G2));
    } else {
      for (int l = 0; l < 2; ++l) S[l] = S[l] + 1.0;
      S2 = S2 + 1.0;
    }
    Quad R[2] = {};
    Pair R2 = {};
    double weightSum = 0;
    for (int32_t i = 0; i < in.points; ++i) {
      double a, b, z;
      parts(i, a, b, z);
      const double t = in.target[i], w = in.weight[i];
      weightSum += w;
      for (int l = 0; l < 2; ++l) {
        const Quad d = t - S[l] * (z / (a + b * G[l]));
        R[l] += w * (d * d);
      }
      const Pair d = t - S2 * (z / (a + b * G2));
      R2 += w * (d * d);
    }
    best.weightSum = weightSum;
    double r[kLanes];
    __builtin_memcpy(r, R, sizeof R);
    __builtin_memcpy(r + 8, &R2, sizeof R2);
    for (int32_t j = 0; j < qs; ++j) {
      if (r[j] < best.residual) {
        best.residual = r[j];
        best.k = k;
        best.j = j;
      }
    }
  }
  return best;
}

#if defined(__x86_64__) && defined(__GNUC__)
bool Wide() {
  static const bool wide = __builtin_cpu_supports("avx");
  return wide;
}

__attribute__((target("avx"))) GridBest GridSearchWide(const GridInput& in, int32_t qs) {
  return GridSearchBody(in, qs);
}
#endif

GridBest GridSearch(const GridInput& in, int32_t qs) {
#if defined(__x86_64__) && defined(__GNUC__)
  if (Wide()) return GridSearchWide(in, qs);
#endif
  return GridSearchBody(in, qs);
}

// y² of each level, or 1/y² for a dip; a level <= 0 counts as 1e-30. Four at a
// time with a select rather than a branch, so the loop runs on vectors.
[[gnu::always_inline]] inline void LoadLevelsBody(double* level, const double* y, int32_t points, bool inverse) {
  const auto one = [&](double v) {
    v = v <= 0 ? 1e-30 : v;
    return inverse ? 1.0 / (v * v) : v * v;
  };
  int32_t i = 0;
  for (; i + 4 <= points; i += 4) {
    Quad v;
    __builtin_memcpy(&v, y + i, sizeof v);
    const Quad floor = {1e-30, 1e-30, 1e-30, 1e-30};
    v = v <= 0.0 ? floor : v;
    v = inverse ? 1.0 / (v * v) : v * v;
    __builtin_memcpy(level + i, &v, sizeof v);
  }
  for (; i < points; ++i) level[i] = one(y[i]);
}

[[gnu::always_inline]] inline void DivideLevelsBody(double* level, int32_t points, double by) {
  for (int32_t i = 0; i < points; ++i) level[i] /= by;
}

#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("avx"))) void LoadLevelsWide(double* level, const double* y, int32_t points, bool inverse) {
  LoadLevelsBody(level, y, points, inverse);
}
__attribute__((target("avx"))) void DivideLevelsWide(double* level, int32_t points, double by) {
  DivideLevelsBody(level, points, by);
}
#endif

void LoadLevels(double* level, const double* y, int32_t points, bool inverse) {
#if defined(__x86_64__) && defined(__GNUC__)
  if (Wide()) return LoadLevelsWide(level, y, points, inverse);
#endif
  LoadLevelsBody(level, y, points, inverse);
}

void DivideLevels(double* level, int32_t points, double by) {
#if defined(__x86_64__) && defined(__GNUC__)
  if (Wide()) return DivideLevelsWide(level, points, by);
#endif
  DivideLevelsBody(level, points, by);
}

}  // namespace

void SetUpFreqArrayC(std::span<double> trial, double low, double high, int32_t count) {
  Linear(trial, low, high, count);
}

void SetUpQ2ArrayC(std::span<double> grid, double low, double high, int32_t count) {
  Linear(grid, low, high, count);
}

bool LoadLevelArrayC(std::span<double> level, int32_t points, int32_t kind, int32_t n,
                     std::span<const double> curveLevels, int32_t count) {
  const int64_t usable = std::min<int64_t>(count, static_cast<int64_t>(curveLevels.size()));
  const int32_t start = FitWindowStart(n, points);
  if (points < 1 || static_cast<size_t>(points) > level.size() || start < 0 ||
      static_cast<int64_t>(start) + points > usable)
    return false;
  LoadLevels(level.data(), &curveLevels[static_cast<size_t>(start)], points, kind == 3);
  return true;
}

void FixDoubleLinearLevelAboutOne(std::span<double> level, int32_t points) {
  const auto n = std::min<size_t>(static_cast<size_t>(std::max(points, 0)), level.size());
  if (n == 0) return;
  const double mean = 0.5 * (level[0] + level[n - 1]);
  if (!(mean > 0) || !std::isfinite(mean)) return;
  DivideLevels(level.data(), static_cast<int32_t>(n), mean);
}

bool FitMatrixC(const SingularityFitWork& work, std::span<const float> curveFreqs, int32_t count, int32_t n,
                FitCells& cells, int64_t* evaluations, bool endNormalised) {
  const int32_t points = work.NumPoints, trials = work.NumFreq, qs = work.NumQ;
  if (points < 1 || points > kMaxWindowPoints || trials < 1 || trials > kMaxTrialFreqs || qs < 1 ||
      qs > kMaxGridQ)
    return false;
  const int64_t usable = std::min<int64_t>(count, static_cast<int64_t>(curveFreqs.size()));
  const int32_t start = FitWindowStart(n, points);
  if (start < 0 || static_cast<int64_t>(start) + points > usable) return false;

  // Unused grid places repeat the last Q; only the first qs are ever chosen.
  alignas(32) double g[kLanes];
  static_assert(kLanes == kMaxGridQ);
  for (int j = 0; j < kLanes; ++j) {
    const double q = work.QGrid[static_cast<size_t>(std::min(j, qs - 1))];
    g[j] = 1.0 / (q * q);
  }
  const GridInput in{.freqs = &curveFreqs[static_cast<size_t>(start)],
                     .target = work.Level.data(),
                     .weight = work.Weights.data(),
                     .points = points,
                     .trialFreq = work.TrialFreq.data(),
                     .trials = trials,
                     .g = g,
                     .h = 1.0 / (work.QFixed * work.QFixed),
                     .endNormalised = endNormalised};
  const GridBest found = GridSearch(in, qs);
  if (!(found.weightSum > 0)) return false;
  if (evaluations) *evaluations += static_cast<int64_t>(trials) * qs * points;
  const double best = found.residual;
  const int32_t bestK = found.k, bestJ = found.j;
  if (bestK < 0 || !std::isfinite(best)) return false;
  cells.FitBestFreq = work.TrialFreq[static_cast<size_t>(bestK)];
  cells.FitBestQ = work.QGrid[static_cast<size_t>(bestJ)];
  const double ratio = cells.FitBestQ / work.QFixed;
  cells.FitBestLevel = ratio * ratio;
  cells.FitBestError = std::sqrt(best / found.weightSum);
  return true;
}

}  // namespace zentor
