#include "eqdesign/fit/near_duplicates.h"

#include <algorithm>
#include <cmath>

#include "eqdesign/filter_sets.h"

namespace zentor {

bool NearlyEqual(double a, double b) {
  const double scale = std::fabs(a) > std::fabs(b) ? std::fabs(a) : std::fabs(b);
  return std::fabs(a - b) <= scale * 0.1 / 100;
}

SingularityListRecord FindNearDuplicateFilters(const SingularityListRecord& set) {
  SingularityListRecord sorted, found;
  CopyFilterSet(set, sorted);
  SortFilterSetByKey1(sorted, true);
  const int32_t n = std::clamp<int32_t>(sorted.Count, 0, kMaxFilters);
  for (int32_t i = 0; i + 1 < n; ++i) {
    const auto a = static_cast<size_t>(i), b = a + 1;
    if (!NearlyEqual(sorted.Freq[a], sorted.Freq[b]) || !NearlyEqual(sorted.Q1[a], sorted.Q1[b])) continue;
    const auto d = static_cast<size_t>(found.Count++);
    found.Freq[d] = sorted.Freq[b];
    found.Q1[d] = sorted.Q1[b];
    found.Q2[d] = sorted.Q2[b];
  }
  return found;
}

void RemoveFilterSetEntry(SingularityListRecord& set, double freq, double q1, double, const MessageSink& say) {
  const int32_t n = std::clamp<int32_t>(set.Count, 0, kMaxFilters);
  if (n < 2) {
    say("Error 6287");
    return;
  }
  int32_t e = 0;
  while (e < n && !(NearlyEqual(set.Freq[static_cast<size_t>(e)], freq) &&
                    NearlyEqual(set.Q1[static_cast<size_t>(e)], q1)))
    ++e;
  if (e == n) {
    say("Error 6286");
    return;
  }
  for (auto i = static_cast<size_t>(e); i + 1 < static_cast<size_t>(n); ++i) {
    set.Freq[i] = set.Freq[i + 1];
    set.Q1[i] = set.Q1[i + 1];
    set.Q2[i] = set.Q2[i + 1];
    set.FitError[i] = set.FitError[i + 1];
  }
  const auto last = static_cast<size_t>(n - 1);
  set.Freq[last] = set.Q1[last] = set.Q2[last] = set.FitError[last] = 0;
  set.Count = n - 1;
}

int32_t RemoveNearDuplicateFilters(SingularityListRecord& set, const MessageSink& say) {
  const SingularityListRecord d = FindNearDuplicateFilters(set);
  for (int32_t i = 0; i < d.Count; ++i) {
    const auto k = static_cast<size_t>(i);
    RemoveFilterSetEntry(set, d.Freq[k], d.Q1[k], d.Q2[k], say);
  }
  return d.Count;
}

}  // namespace zentor
