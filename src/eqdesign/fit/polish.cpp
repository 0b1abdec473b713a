#include "eqdesign/fit/polish.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "eqdesign/filter_sets.h"
#include "eqdesign/fit/fit_bounds.h"
#include "eqdesign/fit/fit_quality.h"
#include "eqdesign/fit/group_refine.h"
#include "eqdesign/fit/near_duplicates.h"
#include "eqdesign/fit/singularity_search.h"

namespace zentor {

namespace {

constexpr double kTwoPi = 6.28318530717959;
constexpr int32_t kNeighbours = 4;

}  // namespace

bool PolishCriticalPeakValues(SingularityListRecord& set, FitCurveRecord& curve, FitEngine& engine) {
  const MessageSink say = [&](const std::string& t) { engine.Say(t); };
  if (set.SelectCode == 0) engine.Say("Error 4321");
  if (engine.Stopped()) return false;
  const auto curveBefore = std::make_unique<FitCurveRecord>(curve);
  const SingularityListRecord setBefore = set;
  const auto undo = [&] {
    curve = *curveBefore;
    set = setBefore;
    engine.Progress(0, 0);
    return false;
  };

  SingularityListRecord WorkFilterSet;
  switch (set.SelectCode) {
    case 1:
    case 2:
      SortFilterSetByKey2(set, false);
      break;
    case 3:
      SortFilterSetByKey2(set, true);
      break;
    case 4:
      SortFilterSetByAbsQ1(set);
      break;
    default:
      break;
  }
  const int32_t entries = std::clamp<int32_t>(set.Count, 0, kMaxFilters);
  const int32_t count = std::clamp<int32_t>(curve.Count, 0, kMaxFitPoints);
  const std::span<const float> x(curve.Freq.data(), static_cast<size_t>(count));
  const std::span<double> y(curve.Level.data(), static_cast<size_t>(count));
  const float putBack = curve.TakenOutDamping > 0 ? curve.TakenOutDamping : set.Damping;
  const int32_t steps = 2 * entries + 1;
  int32_t done = 0;
  engine.Progress(0, steps);
  SingularityFitRunner fits(engine);
  bool faultShown = false;
  std::array<SingularityFitJob, 2 * kNeighbours + 1> near{};
  const FitBounds bounds = MakeFitBounds(engine.Settings.EmulationCode, curve.NoiseDb, engine.Settings.MaxBoostDb);

  for (int32_t i = 0; i < entries; ++i) {
    engine.Progress(++done, steps);
    const auto e = static_cast<size_t>(i);
    const float F = set.Freq[e], Q1 = set.Q1[e], Q2 = set.Q2[e];
    if (Q1 == 0) engine.Say("Error 9876");
    if (Q2 == 0) engine.Say("Error 9877");
    if (F == 0) engine.Say("Error 9878");
    if (set.QMinimum <= 0) engine.Say("Error 9879");
    ApplySingularityToLevels(y, x, Q1, Q2, F, putBack, 0, count, say);
    const int32_t P = NearestPointIndex(x, static_cast<float>(F / kTwoPi), count, say);
    engine.Progress(++done, steps);

    size_t tried = 0;
    for (int32_t p = P - kNeighbours; p <= P + kNeighbours; ++p) {
      if (set.QMinimum == 0) engine.Say("SecondaryPolishLoop in PolishCriticalPeakValues: Qmin = 0");
      if (p < 0 || p >= count) continue;
      const float f = x[static_cast<size_t>(p)];
      if (!(set.RangeLow < f && f < set.RangeHigh)) continue;
      near[tried++] = {.Point = p,
                       .QMax = SearchQLimit(
                           FitQLimit(f, set.SchroederFreq, set.MaxDecay, set.Graphshown, set.Smoothing), bounds),
                       .QMin = set.QMinimum,
                       .WidthFactor = set.SecondaryPolishWidth};
    }
    if (!fits.Run(curve, std::span(near.data(), tried), set.SelectCode, set.ModeCode) && !faultShown) {
      engine.Say("Error 7831");
      faultShown = true;
    }
    if (engine.Stopped()) return undo();

    const SingularityFitJob best = BestRefit(std::span(near.data(), tried), F, Q1, Q2, set.FitError[e], x, y, putBack);
    if (!(std::fabs(best.Q1) > 0.05) || !InsideRange(static_cast<float>(best.Freq), set)) continue;
    FileRefit(WorkFilterSet, best, y, x, set.Damping, count, say);
  }

  engine.Progress(0, 0);
  curve.TakenOutDamping = set.Damping;
  RefineOverlappingGroups(WorkFilterSet, set, curve, set.Damping, bounds);
  NormaliseFitCurve(curve, set.RangeLow, set.RangeHigh);
  CopyFilterSetEntries(WorkFilterSet, set);
  ++engine.Counters.PolishPasses;
  if (engine.PassDampings.size() >= 256) engine.PassDampings.erase(engine.PassDampings.begin());
  engine.PassDampings.push_back(set.Damping);
  return true;
}

bool PolishOneCurve(std::span<const float> freqs, std::span<const float> dB, int32_t count,
                    SingularityListRecord& set, FitEngine& engine, const FitLimits& limits) {
  const MessageSink say = [&](const std::string& t) { engine.Say(t); };
  const auto curve = std::make_unique<FitCurveRecord>();
  std::vector<float> relative;
  if (limits.Target.Set()) {
    const size_t m = std::min({freqs.size(), dB.size(), static_cast<size_t>(std::max(count, 0))});
    relative.assign(dB.begin(), dB.begin() + static_cast<std::ptrdiff_t>(m));
    const std::vector<float> target =
        AnchoredTargetDb(limits, freqs.first(m), dB.first(m), set.RangeLow, set.RangeHigh);
    for (size_t i = 0; i < m; ++i) relative[i] -= target[i];
    dB = relative;
  }
  if (!PrepareFitCurve(freqs, dB, count, set.ModeCode, set.LoudspeakerOrder, *curve)) return true;
  curve->Anchored = limits.Target.Set();
  const int32_t n = curve->Count;
  curve->NoiseDb = EstimatePointNoiseDb(std::span(curve->Freq).first(static_cast<size_t>(n)),
                                        std::span(curve->Level).first(static_cast<size_t>(n)), set.RangeLow,
                                        set.RangeHigh);
  const int32_t entries = std::clamp<int32_t>(set.Count, 0, kMaxFilters);
  for (int32_t i = 0; i < entries; ++i) {
    const auto e = static_cast<size_t>(i);
    ApplySingularityToLevels(curve->Level, curve->Freq, -set.Q1[e], set.Q2[e], set.Freq[e], 1.0f, 0, n, say);
  }
  SingularityListRecord PolishFilterSet;
  CopyFilterSet(set, PolishFilterSet);
  curve->TakenOutDamping = 1.0f;
  NormaliseFitCurve(*curve, PolishFilterSet.RangeLow, PolishFilterSet.RangeHigh);
  const float damping = PolishFilterSet.Damping;
  PolishFilterSet.Damping = 1.0f;

  bool finished = true;
  const auto passes = [&] {
    for (int32_t k = 0; k < engine.Settings.NumInitialLoops && finished; ++k)
      finished = PolishCriticalPeakValues(PolishFilterSet, *curve, engine);
  };
  passes();
  if (finished && RemoveNearDuplicateFilters(PolishFilterSet, say) > 0) passes();

  PolishFilterSet.Damping = damping;
  RemoveInsignificantFilters(PolishFilterSet);
  RemoveWorseningEntries(PolishFilterSet, freqs.first(static_cast<size_t>(n)), dB.first(static_cast<size_t>(n)),
                         engine.Settings.EmulationCode,
                         {.Anchored = limits.Target.Set(), .MaxBoostDb = engine.Settings.MaxBoostDb});
  CopyFilterSet(PolishFilterSet, set);
  return finished;
}

}  // namespace zentor
