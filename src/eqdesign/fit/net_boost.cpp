#include "eqdesign/fit/net_boost.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "eqdesign/fit/fit_limits.h"
#include "eqdesign/fit/fit_quality.h"

namespace zentor {

namespace {

constexpr double kTwoPi = 6.28318530717959;
constexpr double kLowestHz = 5, kHighestHz = 24000;
constexpr int32_t kPointsPerOctave = 96;
// Below this the equaliser's level control stays at 0 dB.
constexpr double kNoLevelDb = 0.05;

int32_t Entries(const SingularityListRecord& set) { return std::clamp<int32_t>(set.Count, 0, kMaxFilters); }

// dB the entry adds at w rad/s when divided out of a curve.
double EntryDb(const SingularityListRecord& set, size_t e, double w) {
  const double q1 = std::fabs(static_cast<double>(set.Q1[e])), q2 = set.Q2[e], w0 = set.Freq[e];
  if (!(q1 > 0 && q2 > 0) || q1 == q2 || !(w0 > 0)) return 0;
  const double zeroQ = set.Q1[e] > 0 ? q1 : q2, poleQ = set.Q1[e] > 0 ? q2 : q1;
  const double a = (w0 - w) * (w0 + w), a2 = a * a, z = w0 / zeroQ * w, p = w0 / poleQ * w;
  return 10 * std::log10((a2 + z * z) / (a2 + p * p));
}

double NetDb(const SingularityListRecord& set, double w) {
  double sum = 0;
  for (int32_t e = 0; e < Entries(set); ++e) sum += EntryDb(set, static_cast<size_t>(e), w);
  return sum;
}

bool IsBoost(const SingularityListRecord& set, size_t e) { return set.Q1[e] < 0 && std::fabs(set.Q1[e]) > set.Q2[e]; }

double LevelOf(const SingularityListRecord& set, size_t e) { return std::fabs(FilterBoostDb(set.Q1[e], set.Q2[e])); }

// Sets the entry's level (dB, its sign kept), keeping its centre Q.
void SetLevel(SingularityListRecord& set, size_t e, double levelDb) {
  const double centre = CentreQ(set.Q1[e], set.Q2[e]), half = std::pow(10.0, levelDb / 40);
  const float sign = set.Q1[e] < 0 ? -1.0f : 1.0f;
  set.Q1[e] = sign * static_cast<float>(centre * half);
  set.Q2[e] = static_cast<float>(centre / half);
}

}  // namespace

NetBoost MaxNetBoost(const SingularityListRecord& set) {
  // Only a boost lifts the product above 0 dB, and only near the boosts.
  double low = kHighestHz, high = kLowestHz;
  for (int32_t e = 0; e < Entries(set); ++e)
    if (IsBoost(set, static_cast<size_t>(e))) {
      const double hz = set.Freq[static_cast<size_t>(e)] / kTwoPi;
      low = std::min(low, hz / 4);
      high = std::max(high, hz * 4);
    }
  low = std::max(low, kLowestHz);
  high = std::min(high, kHighestHz);
  NetBoost out;
  if (!(high > low)) return out;
  const double step = std::log(2.0) / kPointsPerOctave;
  const auto points = static_cast<int32_t>(std::ceil(std::log(high / low) / step)) + 1;
  const auto at = [&](double x) { return NetDb(set, kTwoPi * low * std::exp(x)); };
  std::vector<double> grid(static_cast<size_t>(points));
  for (int32_t i = 0; i < points; ++i) grid[static_cast<size_t>(i)] = at(step * i);
  const double gridBest = *std::max_element(grid.begin(), grid.end());
  // Every top of the grid near the highest, and every boost's centre, refined
  // by golden section: a narrow boost peaks between the points, and another
  // top may then be the highest.
  std::vector<double> starts;
  for (int32_t i = 0; i < points; ++i) {
    const auto k = static_cast<size_t>(i);
    const bool top = (i == 0 || grid[k] >= grid[k - 1]) && (i + 1 == points || grid[k] >= grid[k + 1]);
    if (top && grid[k] > gridBest - 1.0) starts.push_back(step * i);
  }
  for (int32_t e = 0; e < Entries(set); ++e)
    if (IsBoost(set, static_cast<size_t>(e))) starts.push_back(std::log(set.Freq[static_cast<size_t>(e)] / kTwoPi / low));
  double best = -1e30, bestX = 0;
  constexpr double kGolden = 0.6180339887498949;
  for (const double x0 : starts) {
    double a = x0 - step, b = x0 + step;
    double x1 = b - kGolden * (b - a), x2 = a + kGolden * (b - a);
    double f1 = at(x1), f2 = at(x2);
    for (int32_t i = 0; i < 40; ++i) {
      if (f1 < f2) {
        a = x1, x1 = x2, f1 = f2, x2 = a + kGolden * (b - a), f2 = at(x2);
      } else {
        b = x2, x2 = x1, f2 = f1, x1 = b - kGolden * (b - a), f1 = at(x1);
      }
    }
    const double g0 = at(x0);
    if (g0 > best) best = g0, bestX = x0;
    if (f1 > best) best = f1, bestX = x1;
    if (f2 > best) best = f2, bestX = x2;
  }
  if (best > 0) out = {best, low * std::exp(bestX)};
  return out;
}

int32_t HoldNetBoost(SingularityListRecord& set, int32_t code, double maxBoostDb) {
  if (maxBoostDb < 0) return 0;
  std::vector<bool> touched(static_cast<size_t>(kMaxFilters), false);
  for (int32_t round = 0; round < 400; ++round) {
    const SingularityListRecord applied = SnapEachToEqualiser(set, code, maxBoostDb);
    const NetBoost net = MaxNetBoost(applied);
    const double excess = net.Db - maxBoostDb;
    if (!(excess > 1e-3)) break;
    // Each boost gives up level in proportion to what it adds at the top,
    // weighed by how much lowering it there buys.
    const double w = kTwoPi * net.Hz;
    double weight = 0;
    std::vector<double> part(static_cast<size_t>(Entries(set)), 0.0);
    for (int32_t e = 0; e < Entries(set); ++e) {
      const auto k = static_cast<size_t>(e);
      if (!IsBoost(applied, k) || !IsBoost(set, k)) continue;
      part[k] = std::max(0.0, EntryDb(applied, k, w));
      weight += part[k] * part[k] / std::max(LevelOf(applied, k), 1e-6);
    }
    if (!(weight > 0)) break;
    const double scale = (excess + 0.005) / weight;
    for (int32_t e = Entries(set) - 1; e >= 0; --e) {
      const auto k = static_cast<size_t>(e);
      if (!(part[k] > 0)) continue;
      const double lower = std::max(scale * part[k], 0.02);
      const double level = LevelOf(set, k) - lower;
      touched[k] = true;
      if (level < kNoLevelDb) {
        RemoveEntry(set, e);
        std::rotate(touched.begin() + e, touched.begin() + e + 1, touched.end());
        touched.back() = true;  // counts the removed entry
        continue;
      }
      SetLevel(set, k, level);
    }
  }
  return static_cast<int32_t>(std::count(touched.begin(), touched.end(), true));
}

void FindNulls(const FitCurveRecord& curve, double maxBoostDb, SingularityListRecord& set) {
  set.NullCount = 0;
  set.NullLowHz.fill(0);
  set.NullHighHz.fill(0);
  if (maxBoostDb < 0) return;
  const double floor = std::pow(10.0, -maxBoostDb / 20);
  const int32_t n = std::clamp<int32_t>(curve.Count, 0, kMaxFitPoints);
  for (int32_t i = 0; i < n && set.NullCount < kMaxFilters;) {
    const auto k = static_cast<size_t>(i);
    const float hz = curve.Freq[k];
    if (!(curve.Level[k] < floor) || hz < set.RangeLow || hz > set.RangeHigh) {
      ++i;
      continue;
    }
    int32_t j = i;
    while (j + 1 < n && curve.Level[static_cast<size_t>(j + 1)] < floor &&
           curve.Freq[static_cast<size_t>(j + 1)] <= set.RangeHigh)
      ++j;
    const auto c = static_cast<size_t>(set.NullCount++);
    set.NullLowHz[c] = hz;
    set.NullHighHz[c] = curve.Freq[static_cast<size_t>(j)];
    i = j + 1;
  }
}

bool BoostOnNull(const SingularityListRecord& set, int32_t i) {
  if (i < 0 || i >= Entries(set) || !IsBoost(set, static_cast<size_t>(i))) return false;
  // A twelfth of an octave either side: the boost that fills a null sits by it.
  const double hz = set.Freq[static_cast<size_t>(i)] / kTwoPi, reach = std::pow(2.0, 1.0 / 12);
  for (int32_t k = 0; k < std::clamp<int32_t>(set.NullCount, 0, kMaxFilters); ++k) {
    const auto c = static_cast<size_t>(k);
    if (hz >= set.NullLowHz[c] / reach && hz <= set.NullHighHz[c] * reach) return true;
  }
  return false;
}

}  // namespace zentor
