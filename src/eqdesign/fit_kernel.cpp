#include "eqdesign/fit_kernel.h"

#include <Eigen/Core>
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

// Window points along a column; the capacity is fixed, so nothing is allocated.
using WindowArray = Eigen::Array<double, Eigen::Dynamic, 1, Eigen::ColMajor, kMaxWindowPoints, 1>;
// One value per grid Q, worked on together.
using GridArray = Eigen::Array<double, kMaxGridQ, 1>;

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
  for (int32_t i = 0; i < points; ++i) {
    double y = curveLevels[static_cast<size_t>(start + i)];
    if (y <= 0) y = 1e-30;
    const double y2 = y * y;
    level[static_cast<size_t>(i)] = kind == 3 ? 1.0 / y2 : y2;
  }
  return true;
}

void FixDoubleLinearLevelAboutOne(std::span<double> level, int32_t points) {
  const auto n = std::min<size_t>(static_cast<size_t>(std::max(points, 0)), level.size());
  if (n == 0) return;
  const double mean = 0.5 * (level[0] + level[n - 1]);
  if (!(mean > 0) || !std::isfinite(mean)) return;
  for (size_t i = 0; i < n; ++i) level[i] /= mean;
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
  GridArray g;
  for (int j = 0; j < kMaxGridQ; ++j) {
    const double q = work.QGrid[static_cast<size_t>(std::min(j, qs - 1))];
    g[j] = 1.0 / (q * q);
  }
  const double h = 1.0 / (work.QFixed * work.QFixed);

  WindowArray omega(points), target(points), weight(points);
  double weightSum = 0;
  for (int32_t i = 0; i < points; ++i) {
    omega[i] = kTwoPi * curveFreqs[static_cast<size_t>(start + i)];
    target[i] = work.Level[static_cast<size_t>(i)];
    weight[i] = work.Weights[static_cast<size_t>(i)];
    weightSum += weight[i];
  }
  if (!(weightSum > 0)) return false;

  WindowArray a(points), b(points), zeros(points);
  double best = std::numeric_limits<double>::infinity();
  int32_t bestK = -1, bestJ = -1;
  for (int32_t k = 0; k < trials; ++k) {
    const double w0 = work.TrialFreq[static_cast<size_t>(k)];
    // (Ω² − ω²)² formed as a product: no cancellation at the centre.
    a = ((w0 - omega) * (w0 + omega)).square();
    b = (w0 * omega).square();
    zeros = a + b * h;
    GridArray r = GridArray::Zero();
    // A target divided by the mean of its end values is met by a model treated alike.
    GridArray scale = GridArray::Ones();
    if (endNormalised) {
      const int32_t e = points - 1;
      scale = 2.0 / (zeros[0] / (a[0] + b[0] * g) + zeros[e] / (a[e] + b[e] * g));
    }
    for (int32_t i = 0; i < points; ++i) {
      const GridArray d = target[i] - scale * (zeros[i] / (a[i] + b[i] * g));
      r += weight[i] * d.square();
    }
    for (int32_t j = 0; j < qs; ++j) {
      if (r[j] < best) {
        best = r[j];
        bestK = k;
        bestJ = j;
      }
    }
  }
  if (evaluations) *evaluations += static_cast<int64_t>(trials) * qs * points;
  if (bestK < 0 || !std::isfinite(best)) return false;
  cells.FitBestFreq = work.TrialFreq[static_cast<size_t>(bestK)];
  cells.FitBestQ = work.QGrid[static_cast<size_t>(bestJ)];
  const double ratio = cells.FitBestQ / work.QFixed;
  cells.FitBestLevel = ratio * ratio;
  cells.FitBestError = std::sqrt(best / weightSum);
  return true;
}

}  // namespace zentor
