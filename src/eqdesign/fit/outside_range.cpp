#include "eqdesign/fit/outside_range.h"

#include <algorithm>
#include <cmath>


#include "eqdesign/fit/fit_limits.h"
#include "eqdesign/fit/fit_quality.h"

namespace zentor {

namespace {

constexpr double kTwoPi = 6.28318530717959;
constexpr double kLowestHz = 1;
constexpr double kStep = 1.0594630943592953;  // 2^(1/12)
constexpr double kNoLevelDb = 0.05;
constexpr double kNarrowestWidened = 3;  // centre Q up to which an entry is narrowed rather than lowered

int32_t Entries(const SingularityListRecord& set) { return std::clamp<int32_t>(set.Count, 0, kMaxFilters); }

// The entry's correction (dB, positive for a boost) at each of the frequencies.
void AddEntryDb(const SingularityListRecord& set, size_t e, const std::vector<double>& hz, std::vector<double>& out) {
  const double q1 = std::fabs(static_cast<double>(set.Q1[e])), q2 = set.Q2[e], f0 = set.Freq[e] / kTwoPi;
  if (!(q1 > 0 && q2 > 0) || q1 == q2 || !(f0 > 0)) return;
  // Divided out of a curve: a dip's entry (Q1 < 0) has its poles' Q the larger.
  const double zeroQ = set.Q1[e] > 0 ? q1 : q2, poleQ = set.Q1[e] > 0 ? q2 : q1;
  const double gz = 1 / (zeroQ * zeroQ), gp = 1 / (poleQ * poleQ);
  for (size_t i = 0; i < hz.size(); ++i) {
    const double s = hz[i] * hz[i] / (f0 * f0), a = (1 - s) * (1 - s);
    out[i] += 10 * std::log10((a + s * gz) / (a + s * gp));
  }
}

}  // namespace

std::vector<double> OutsideRangeHz(double low, double high, int32_t rateHz) {
  std::vector<double> hz;
  // Just below half the rate: the top the sections run to.
  const double top = 0.4999 * (rateHz > 0 ? rateHz : 48000);
  if (!(low > 0 && high > low)) return hz;
  for (double f = low / 2; f >= kLowestHz; f /= kStep) hz.push_back(f);
  std::reverse(hz.begin(), hz.end());
  for (double f = 2 * high; f <= top; f *= kStep) hz.push_back(f);
  return hz;
}

OutsideChange LargestChangeOutside(const SingularityListRecord& set) {
  const std::vector<double> hz = OutsideRangeHz(set.RangeLow, set.RangeHigh, set.SampleRate);
  std::vector<double> db(hz.size(), 0.0);
  for (int32_t e = 0; e < Entries(set); ++e) AddEntryDb(set, static_cast<size_t>(e), hz, db);
  OutsideChange out;
  for (size_t i = 0; i < hz.size(); ++i)
    if (std::fabs(db[i]) > std::fabs(out.Db)) out = {db[i], hz[i]};
  return out;
}

int32_t HoldOutsideRange(SingularityListRecord& set, int32_t code, double maxBoostDb) {
  if (maxBoostDb < 0) return 0;
  std::vector<bool> touched(static_cast<size_t>(kMaxFilters), false);
  double grow = 1, lastExcess = 1e300;
  for (int32_t round = 0; round < 200; ++round) {
    const SingularityListRecord applied = SnapEachToEqualiser(set, code, maxBoostDb);
    const OutsideChange worst = LargestChangeOutside(applied);
    const double excess = std::fabs(worst.Db) - kOutsideRangeDb;
    if (!(excess > 1e-3)) break;
    // A change the equaliser's steps round away leaves the set as it was: the
    // next is made twice as large, until the applied set moves.
    grow = excess < lastExcess - 1e-4 ? 1 : std::min(grow * 2, 1024.0);
    lastExcess = excess;
    // Each entry changing the level that way gives up level in proportion to
    // what it adds there, weighed by how much lowering it buys.
    const std::vector<double> at{worst.Hz};
    std::vector<double> part(static_cast<size_t>(Entries(set)), 0.0);
    double weight = 0;
    for (int32_t e = 0; e < Entries(set); ++e) {
      const auto k = static_cast<size_t>(e);
      std::vector<double> db{0.0};
      AddEntryDb(applied, k, at, db);
      part[k] = std::max(0.0, worst.Db > 0 ? db[0] : -db[0]);
      weight += part[k] * part[k] / std::max(std::fabs(FilterBoostDb(applied.Q1[k], applied.Q2[k])), 1e-6);
    }
    if (!(weight > 0)) break;
    const double scale = (excess + 0.005) / weight;
    for (int32_t e = Entries(set) - 1; e >= 0; --e) {
      const auto k = static_cast<size_t>(e);
      if (!(part[k] > 0)) continue;
      const double was = std::fabs(FilterBoostDb(set.Q1[k], set.Q2[k])), lower = std::min(std::max(scale * part[k], 0.02) * grow, was);
      double level = was - lower, centre = CentreQ(set.Q1[k], set.Q2[k]);
      touched[k] = true;
      // A wide entry is first made narrower: it keeps its level where it
      // corrects and reaches less far.
      if (centre < kNarrowestWidened) {
        centre = std::min(kNarrowestWidened, centre * (1 + std::min(1.0, lower / std::max(was, 1e-6))));
        level = was;
      }
      if (level < kNoLevelDb) {
        RemoveEntry(set, e);
        std::rotate(touched.begin() + e, touched.begin() + e + 1, touched.end());
        touched.back() = true;
        continue;
      }
      const double half = std::pow(10.0, level / 40);
      const float sign = set.Q1[k] < 0 ? -1.0f : 1.0f;
      set.Q1[k] = sign * static_cast<float>(centre * half);
      set.Q2[k] = static_cast<float>(centre / half);
    }
  }
  return static_cast<int32_t>(std::count(touched.begin(), touched.end(), true));
}

}  // namespace zentor
