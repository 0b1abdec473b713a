#include "eqdesign/fit/peak_dip.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string>

namespace zentor {

namespace {
constexpr double kTwoPi = 2.0 * std::numbers::pi;
}  // namespace

int32_t CheckPeakOrDip(int32_t n, std::span<const double> y, int32_t count, int32_t modeCode,
                       const MessageSink& say) {
  count = std::min<int64_t>(count, static_cast<int64_t>(y.size()));
  if (count - n < 5 || n < 5) return kPointNeither;
  const auto at = [&](int32_t i) { return y[static_cast<size_t>(i)]; };
  for (int32_t i = n - 2; i <= n + 2; ++i) {
    if (!std::isfinite(at(i))) {
      say("Error 6543");
      return kPointNeither;
    }
  }
  const double prev = at(n - 1), here = at(n), next = at(n + 1);
  if ((here > prev && here >= next) || (here >= prev && here > next)) return kPointPeak;
  if ((here < prev && here <= next) || (here <= prev && here < next)) return kPointDip;

  // A shoulder or a flat stretch: its curvature over five points decides.
  std::array<double, 4> d{};
  for (int32_t k = 0; k < 4; ++k) d[static_cast<size_t>(k)] = at(n - 1 + k) - at(n - 2 + k);
  bool above = false, below = false;
  for (size_t k = 0; k < 3; ++k) {
    const auto c = static_cast<float>(d[k + 1] - d[k]);
    above = above || c > 0;
    below = below || c < 0;
  }
  if (!above) return kPointPeak;
  if (modeCode == kModeCodeBode) return kPointNeither;
  return below ? kPointNeither : kPointDip;
}

double FitErrorToScore(double x) {
  const double s = x * 1000.0;
  return s * s;
}

bool NearExistingFilter(double frequency, const SingularityListRecord& set, float tolerance) {
  const int32_t n = std::clamp<int32_t>(set.Count, 0, kMaxFilters);
  const double limit = kTwoPi * tolerance;
  for (int32_t i = 0; i < n; ++i)
    if (std::fabs(set.Freq[static_cast<size_t>(i)] - frequency) < limit) return true;
  return false;
}

float DecayTimeToQ(float f, float T) {
  // ln(10^3) = 6.9: a 60 dB fall; the Q is π f T / 6.9.
  return static_cast<float>(static_cast<double>(f) * T * kTwoPi / 13.8);
}

bool InvertDipResponse(SingularityFitWork& work, double& Q, int32_t kind) {
  if (kind != kPointDip) return false;
  Q = -Q;
  const int32_t n = std::clamp<int32_t>(work.NumPoints, 0, kFitWindowSize);
  for (int32_t i = 0; i < n; ++i) {
    double& r = work.ResultB[static_cast<size_t>(i)];
    r = 1.0 / r;
  }
  return false;
}

bool LoadLevelWindow(SingularityFitWork& work, int32_t kind, int32_t n, std::span<const double> y,
                     const MessageSink& say) {
  const int32_t points = work.NumPoints;
  const int32_t h = points / 2;
  const int64_t first = static_cast<int64_t>(n) - h;
  if (first < 0 || points < 0 || points > kFitWindowSize ||
      first + points > static_cast<int64_t>(y.size())) {
    say("Error 4532");
    return false;
  }
  if (kind != kPointPeak && kind != kPointDip) return false;
  for (int32_t i = 0; i < points; ++i) {
    const double v = y[static_cast<size_t>(first + i)];
    work.Level[static_cast<size_t>(i)] = kind == kPointPeak ? v * v : 1.0 / (v * v);
  }
  return false;
}

bool BuildResponseMatrix(SingularityFitWork& work, ResponseMatrix& M, std::span<const float> x, int32_t n,
                         const MessageSink& say) {
  const int32_t points = work.NumPoints;
  const int32_t h = (points - 1) / 2;
  const int64_t first = static_cast<int64_t>(n) - h;
  if (n < h || points < 0 || points > kMaxMatrixPoints || work.NumQ < 0 || work.NumQ > kQGridSize ||
      work.NumFreq < 0 || work.NumFreq > kMaxTrialFreqs || first + points > static_cast<int64_t>(x.size())) {
    say("Error 3973");
    return false;
  }
  for (int32_t i = 0; i < points; ++i)
    work.MatrixBlock[static_cast<size_t>(i)] = kTwoPi * x[static_cast<size_t>(first + i)];
  for (int32_t i = 0; i < points; ++i) {
    const double w = work.MatrixBlock[static_cast<size_t>(i)];
    for (int32_t j = 0; j < work.NumQ; ++j) {
      const double Q = work.QGrid[static_cast<size_t>(j)];
      for (int32_t k = 0; k < work.NumFreq; ++k) {
        if (Q == 0) {
          M(i, j, k) = 1.0;
          continue;
        }
        const double F = work.TrialFreq[static_cast<size_t>(k)];
        const double a = (w - F) * (w + F);
        const double z = F * w / Q;
        const double p = F * w / 0.707;
        M(i, j, k) = (a * a + z * z) / (a * a + p * p);
      }
    }
  }
  return false;
}

double WeightedColumnDifferenceSum(std::span<const std::vector<double>> M, int32_t count, int32_t column,
                                   std::span<const float> w, const MessageSink& say) {
  if (count > 200) {
    say("Error 4382");
    return 0;
  }
  double sum = 0;
  for (int32_t i = 0; i + 1 < count; ++i) {
    const auto r = static_cast<size_t>(i);
    const bool inside = column >= 0 && r + 1 < M.size() && static_cast<size_t>(column) < M[r].size() &&
                        static_cast<size_t>(column) < M[r + 1].size() && r < w.size();
    if (!inside) {
      say("ResultLen = " + std::to_string(count));
      say("Index = " + std::to_string(column));
      return sum;
    }
    const double diff = M[r][static_cast<size_t>(column)] - M[r + 1][static_cast<size_t>(column)];
    sum += diff * diff * w[r];
  }
  return sum;
}

bool TakeIfSmaller(double a, double& b) {
  if (!(a < b)) return false;
  b = a;
  return true;
}

bool NoSingularityFitted() { return false; }

}  // namespace zentor
