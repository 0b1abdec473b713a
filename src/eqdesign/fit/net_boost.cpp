#include "eqdesign/fit/net_boost.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "core/set_peak.h"
#include "eqdesign/fit/fit_limits.h"
#include "eqdesign/fit/fit_quality.h"

namespace zentor {

namespace {

constexpr double kTwoPi = 6.28318530717959;
// Below this the equaliser's level control stays at 0 dB.
constexpr double kNoLevelDb = 0.05;

int32_t Entries(const SingularityListRecord& set) { return std::clamp<int32_t>(set.Count, 0, kMaxFilters); }

bool IsBoost(const SingularityListRecord& set, size_t e) { return set.Q1[e] < 0 && std::fabs(set.Q1[e]) > set.Q2[e]; }

double LevelOf(const SingularityListRecord& set, size_t e) { return std::fabs(FilterBoostDb(set.Q1[e], set.Q2[e])); }

// Sets the entry's level (dB, its sign kept), keeping its centre Q.
void SetEntryLevel(SingularityListRecord& set, size_t e, double levelDb) {
  const double centre = CentreQ(set.Q1[e], set.Q2[e]), half = std::pow(10.0, levelDb / 40);
  const float sign = set.Q1[e] < 0 ? -1.0f : 1.0f;
  set.Q1[e] = sign * static_cast<float>(centre * half);
  set.Q2[e] = static_cast<float>(centre / half);
}

// The set's sections as they run on equaliser `code` at the set's rate; entry
// e's section is number section[e], or none (-1) when it runs none.
SetLevel SectionsOf(const SingularityListRecord& set, int32_t code, std::vector<int32_t>* section = nullptr) {
  SetLevel level(set.SampleRate);
  if (section) section->assign(static_cast<size_t>(Entries(set)), -1);
  for (int32_t e = 0; e < Entries(set); ++e) {
    const auto k = static_cast<size_t>(e);
    const auto next = static_cast<int32_t>(level.Count());
    if (level.Add(set.Freq[k], set.Q1[k], set.Q2[k], code) && section) (*section)[k] = next;
  }
  return level;
}

}  // namespace

NetBoost MaxNetBoost(const SingularityListRecord& set, int32_t code) {
  const PeakLevel peak = SectionsOf(set, code).Peak();
  return {peak.db, peak.hz};
}

int32_t HoldNetBoost(SingularityListRecord& set, int32_t code, double maxBoostDb) {
  if (maxBoostDb < 0) return 0;
  std::vector<bool> touched(static_cast<size_t>(kMaxFilters), false);
  std::vector<int32_t> section;
  for (int32_t round = 0; round < 400; ++round) {
    const SingularityListRecord applied = SnapEachToEqualiser(set, code, maxBoostDb);
    const SetLevel sections = SectionsOf(applied, code, &section);
    const PeakLevel net = sections.Peak();
    const double excess = net.db - maxBoostDb;
    if (!(excess > 1e-3)) break;
    // Each boost gives up level in proportion to what it adds at the top,
    // weighed by how much lowering it there buys.
    double weight = 0;
    std::vector<double> part(static_cast<size_t>(Entries(set)), 0.0);
    for (int32_t e = 0; e < Entries(set); ++e) {
      const auto k = static_cast<size_t>(e);
      if (!IsBoost(applied, k) || !IsBoost(set, k) || section[k] < 0) continue;
      part[k] = std::max(0.0, sections.SectionDb(static_cast<size_t>(section[k]), net.hz));
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
      SetEntryLevel(set, k, level);
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

void FillNullsToLimit(std::span<const float> hz, std::span<float> dB, double maxBoostDb, double low, double high,
                      bool anchored) {
  if (!(maxBoostDb > 0)) return;
  const size_t n = std::min(hz.size(), dB.size());
  const auto inside = [&](size_t i) { return hz[i] >= low && hz[i] <= high && std::isfinite(dB[i]); };
  double level = 0;
  if (!anchored) {
    // Weighted by ln f, as the set is judged: the linear grid's top octave would be the median alone.
    std::vector<std::pair<float, double>> at;
    double total = 0;
    for (size_t i = 1; i + 1 < n; ++i) {
      const double w = 0.5 * std::log(static_cast<double>(hz[i + 1]) / hz[i - 1]);
      if (!inside(i) || !(w > 0) || !std::isfinite(w)) continue;
      at.emplace_back(dB[i], w);
      total += w;
    }
    if (at.empty()) return;
    std::sort(at.begin(), at.end());
    double sum = 0;
    for (const auto& [db, w] : at)
      if ((sum += w) >= total / 2) {
        level = db;
        break;
      }
  }
  const auto floor = static_cast<float>(level - maxBoostDb);
  for (size_t i = 0; i < n; ++i)
    if (inside(i) && dB[i] < floor) dB[i] = floor;
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
