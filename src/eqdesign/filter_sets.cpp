#include "eqdesign/filter_sets.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "base/text_number.h"
#include "core/results_store.h"
#include "platform/dialogs.h"

namespace zentor {

const MessageSink& MessageBoxSink() {
  static const MessageSink sink = [](const std::string& text) { MsgBox(text); };
  return sink;
}

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Entries that can be read: a damaged count never takes a loop past the arrays.
int32_t UsableCount(int32_t count) { return std::clamp<int32_t>(count, 0, kMaxFilters); }

void CopyEntries(const SingularityListRecord& s, SingularityListRecord& d) {
  const auto n = static_cast<size_t>(UsableCount(s.Count));
  std::copy_n(s.Freq.begin(), n, d.Freq.begin());
  std::copy_n(s.Q1.begin(), n, d.Q1.begin());
  std::copy_n(s.Q2.begin(), n, d.Q2.begin());
  std::copy_n(s.FitError.begin(), n, d.FitError.begin());
  d.Count = s.Count;
}

// The stable order of n items under `before` (a strict "comes first"), by
// insertion: the same result as the neighbour-swapping sort for any keys, and
// no undefined behaviour when a key is NaN.
template <class Before>
void StableOrder(std::span<int32_t> order, Before before) {
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int32_t>(i);
  for (size_t i = 1; i < order.size(); ++i) {
    const int32_t item = order[i];
    size_t j = i;
    while (j > 0 && before(item, order[j - 1])) {
      order[j] = order[j - 1];
      --j;
    }
    order[j] = item;
  }
}

template <class Key>
void SortSet(SingularityListRecord& set, Key key, bool ascending) {
  const int32_t n = set.Count;
  if (n < 2 || n > kMaxFilters) return;
  std::array<int32_t, kMaxFilters> buffer{};
  const std::span<int32_t> order(buffer.data(), static_cast<size_t>(n));
  if (ascending)
    StableOrder(order, [&](int32_t a, int32_t b) { return key(set, a) < key(set, b); });
  else
    StableOrder(order, [&](int32_t a, int32_t b) { return key(set, a) > key(set, b); });
  const SingularityListRecord old = set;
  for (size_t i = 0; i < order.size(); ++i) {
    const auto from = static_cast<size_t>(order[i]);
    set.Freq[i] = old.Freq[from];
    set.Q1[i] = old.Q1[from];
    set.Q2[i] = old.Q2[from];
    set.FitError[i] = old.FitError[from];
  }
}

// |H(jω)| of one zero pair (quality qz) over one pole pair (quality qp), both at
// w0 rad/s, for ω = 2πf: the closed form of the root product, with w0² - ω²
// formed as a product so the centre suffers no cancellation.
void MultiplyBySingularity(std::span<double> levels, std::span<const float> frequencies, size_t begin,
                           size_t end, double w0, double qz, double qp) {
  const double bz = w0 / qz;
  const double bp = w0 / qp;
  for (size_t i = begin; i < end; ++i) {
    const double w = kTwoPi * frequencies[i];
    const double a = (w0 - w) * (w0 + w);
    const double a2 = a * a;
    const double z = bz * w;
    const double p = bp * w;
    const double den = a2 + p * p;
    // Only w0 = ω = 0 leaves 0/0: no response there.
    if (den > 0) levels[i] *= std::sqrt((a2 + z * z) / den);
  }
}

}  // namespace

void CopyFilterSet(const SingularityListRecord& s, SingularityListRecord& d) {
  d.Curve = s.Curve;
  d.Average = s.Average;
  d.MaxDecay = s.MaxDecay;
  d.QMinimum = s.QMinimum;
  d.RangeLow = s.RangeLow;
  d.RangeHigh = s.RangeHigh;
  d.SecondaryPolishWidth = s.SecondaryPolishWidth;
  d.NumInitialLoops = s.NumInitialLoops;
  d.Damping = s.Damping;
  d.LoudspeakerOrder = s.LoudspeakerOrder;
  d.ModeCode = s.ModeCode;
  d.SchroederFreq = s.SchroederFreq;
  d.Kind = s.Kind;
  d.SelectCode = s.SelectCode;
  d.Graphshown = s.Graphshown;
  d.Smoothing = s.Smoothing;
  d.Gatetime = s.Gatetime;
  d.SampleRate = s.SampleRate;
  CopyEntries(s, d);
}

void CopyFilterSetEntries(const SingularityListRecord& s, SingularityListRecord& d) { CopyEntries(s, d); }

void RemoveInsignificantFilters(SingularityListRecord& set) {
  const int32_t n = UsableCount(set.Count);
  int32_t kept = 0;
  for (int32_t i = 0; i < n; ++i) {
    const auto from = static_cast<size_t>(i);
    if (!(std::fabs(set.Q1[from]) > set.Q2[from])) continue;
    const auto to = static_cast<size_t>(kept++);
    set.Freq[to] = set.Freq[from];
    set.Q1[to] = set.Q1[from];
    set.Q2[to] = set.Q2[from];
    set.FitError[to] = set.FitError[from];
  }
  set.Count = kept;
}

bool ModeRecordFromSet(int32_t c, int32_t e, FilterRecord& mode) {
  if (c < 0 || c >= kFilterSets || e < 0 || e >= kMaxFilters) return false;
  const SingularityListRecord& s = SingularityList[static_cast<size_t>(c)];
  const auto j = static_cast<size_t>(e);
  mode.Curve = c;
  mode.Average = s.Average;
  mode.MaxDecay = s.MaxDecay;
  mode.QMinimum = s.QMinimum;
  mode.RangeLow = s.RangeLow;
  mode.RangeHigh = s.RangeHigh;
  mode.SecondaryPolishWidth = s.SecondaryPolishWidth;
  mode.NumInitialLoops = s.NumInitialLoops;
  mode.Damping = s.Damping;
  mode.LoudspeakerOrder = s.LoudspeakerOrder;
  mode.ModeCode = s.ModeCode;
  mode.SchroederFreq = s.SchroederFreq;
  mode.Kind = s.Kind;
  mode.Graphshown = s.Graphshown;
  mode.Smoothing = s.Smoothing;
  mode.Gatetime = s.Gatetime;
  mode.Freq1 = s.Freq[j];
  mode.Q1 = s.Q1[j];
  mode.Q2 = s.Q2[j];
  mode.FitError = s.FitError[j];
  return true;
}

void SortFilterSetByKey1(SingularityListRecord& set, bool ascending) {
  SortSet(set, [](const SingularityListRecord& s, int32_t i) { return s.Freq[static_cast<size_t>(i)]; }, ascending);
}

void SortFilterSetByKey2(SingularityListRecord& set, bool ascending) {
  SortSet(set, [](const SingularityListRecord& s, int32_t i) { return s.Q1[static_cast<size_t>(i)]; }, ascending);
}

void SortFilterSetByKey4(SingularityListRecord& set, bool ascending) {
  SortSet(
      set, [](const SingularityListRecord& s, int32_t i) { return s.FitError[static_cast<size_t>(i)]; }, ascending);
}

void SortFilterSetByAbsQ1(SingularityListRecord& set) {
  SortSet(
      set, [](const SingularityListRecord& s, int32_t i) { return std::fabs(s.Q1[static_cast<size_t>(i)]); },
      false);
}

void SortModesByFrequency(std::span<FilterRecord> modes, bool ascending) {
  if (modes.empty()) return;
  const int32_t n = modes[0].Count;
  if (n < 2 || static_cast<size_t>(n) > modes.size()) return;
  std::vector<int32_t> buffer(static_cast<size_t>(n));
  const auto freq = [&](int32_t i) { return modes[static_cast<size_t>(i)].Freq1; };
  if (ascending)
    StableOrder(std::span<int32_t>(buffer), [&](int32_t a, int32_t b) { return freq(a) < freq(b); });
  else
    StableOrder(std::span<int32_t>(buffer), [&](int32_t a, int32_t b) { return freq(a) > freq(b); });
  const std::vector<FilterRecord> old(modes.begin(), modes.begin() + n);
  for (size_t i = 0; i < buffer.size(); ++i) CopyFilterRecord(old[static_cast<size_t>(buffer[i])], modes[i]);
}

void ApplySingularityToLevels(std::span<double> levels, std::span<const float> frequencies, double Q1,
                              double Q2, double centre, float damping, int32_t start, int32_t count,
                              const MessageSink& say) {
  if (Q1 == 0) {
    say("Error 98361 Freq = " + FormatDouble(centre / 6.28318530717959) + "Q2 = " + FormatDouble(Q2));
    return;
  }
  if (damping > 1.0f) say("Error 5497");
  if (damping == 0) say("Error 5342");
  if (Q2 <= 0.05) say("Error 5343");
  if (Q2 == 0) say("Error 5344");
  if (Q2 < 0) say("Error 5345");
  // Without Q2 or damping there is no pair to place: a zero Q would divide by zero.
  if (damping == 0 || Q2 == 0) return;
  const double d = damping;
  const double zeroQ = d * (Q1 < 0 ? std::fabs(Q1) : std::fabs(Q2));
  const double poleQ = d * (Q1 < 0 ? std::fabs(Q2) : std::fabs(Q1));
  if (!(zeroQ > 0 && poleQ > 0) || !std::isfinite(zeroQ) || !std::isfinite(poleQ) || !std::isfinite(centre)) {
    say("Error 5329: Q < 0");
    return;
  }
  if (start < 0 || count <= 0) return;
  const size_t begin = static_cast<size_t>(start);
  const size_t end = std::min({begin + static_cast<size_t>(count), levels.size(), frequencies.size()});
  if (begin >= end) return;
  MultiplyBySingularity(levels, frequencies, begin, end, centre, zeroQ, poleQ);
}

void ApplySingularityToFitCurve(FitCurveRecord& curve, float Q1, float Q2, double centre, float sign,
                                const MessageSink& say) {
  if (sign == 0) {
    say("Error 3241");
    return;
  }
  const double a = std::fabs(Q1), b = std::fabs(Q2);
  const double zeroQ = sign < 0 ? a : b;
  const double poleQ = sign < 0 ? b : a;
  if (zeroQ == 0 || poleQ == 0) {
    say("Error 4520");
    return;
  }
  if (!std::isfinite(zeroQ) || !std::isfinite(poleQ) || !std::isfinite(centre)) {
    say("Error 5329: Q < 0");
    return;
  }
  const auto n = static_cast<size_t>(std::clamp<int32_t>(curve.Count, 0, kMaxFitPoints));
  MultiplyBySingularity(curve.Level, curve.Freq, 0, n, centre, zeroQ, poleQ);
}

}  // namespace zentor
