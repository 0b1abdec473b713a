#include "eqdesign/fit/fit_driver.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "eqdesign/filter_sets.h"
#include "eqdesign/fit/fit_bounds.h"
#include "eqdesign/fit/fit_quality.h"
#include "eqdesign/fit/group_refine.h"
#include "eqdesign/fit/net_boost.h"
#include "eqdesign/fit/outside_range.h"
#include "eqdesign/fit/polish.h"
#include "eqdesign/fit/singularity_search.h"
#include "eqdesign/fit/step_fit.h"

namespace zentor {

namespace {
constexpr int32_t kResidualRounds = 2;

void ClearEntries(SingularityListRecord& R) {
  R.Count = 0;
  R.Freq.fill(0);
  R.Q1.fill(0);
  R.Q2.fill(0);
  R.FitError.fill(0);
}

void AppendEntry(SingularityListRecord& to, const SingularityListRecord& from, int32_t i) {
  const int32_t n = to.Count;
  to.Freq[n] = from.Freq[i];
  to.Q1[n] = from.Q1[i];
  to.Q2[n] = from.Q2[i];
  to.FitError[n] = from.FitError[i];
  to.Count = n + 1;
}

// The engine's boost limit for one fit, when the fit's constants set one.
class BoostLimitScope {
 public:
  BoostLimitScope(FitEngine& engine, double maxBoostDb) : engine_(engine), kept_(engine.Settings.MaxBoostDb) {
    if (maxBoostDb >= 0) engine_.Settings.MaxBoostDb = maxBoostDb;
  }
  ~BoostLimitScope() { engine_.Settings.MaxBoostDb = kept_; }
  BoostLimitScope(const BoostLimitScope&) = delete;
  BoostLimitScope& operator=(const BoostLimitScope&) = delete;

 private:
  FitEngine& engine_;
  double kept_;
};

// Refits the set's overlapping groups against the curve with every entry taken
// out at damping 1, as the set stands once fitted; the entries of `held`, when
// given, are taken out too and stay as they are.
void RefitAtFullDamping(SingularityListRecord& s, const CurveRecord& source, int32_t points,
                        const FitCurveRecord& fitted, const FitEngine& engine,
                        const SingularityListRecord* held = nullptr) {
  auto curve = std::make_unique<FitCurveRecord>();
  PrepareFitCurve(source.XValues, source.YValues, points, s.ModeCode, s.LoudspeakerOrder, *curve);
  curve->Anchored = fitted.Anchored;
  curve->NoiseDb = fitted.NoiseDb;
  NormaliseFitCurve(*curve, s.RangeLow, s.RangeHigh);
  std::span<double> levels(curve->Level.data(), static_cast<size_t>(curve->Count));
  const MessageSink quiet = [](const std::string&) {};
  for (int32_t i = 0; i < s.Count; ++i)
    ApplySingularityToLevels(levels, curve->Freq, -s.Q1[i], s.Q2[i], s.Freq[i], 1.0f, 0, curve->Count, quiet);
  for (int32_t i = 0; held != nullptr && i < std::clamp<int32_t>(held->Count, 0, kMaxFilters); ++i)
    ApplySingularityToLevels(levels, curve->Freq, -held->Q1[i], held->Q2[i], held->Freq[i], 1.0f, 0, curve->Count,
                             quiet);
  curve->TakenOutDamping = 1.0f;
  RefineOverlappingGroups(s, s, *curve, 1.0f,
                          MakeFitBounds(engine.Settings.EmulationCode, curve->NoiseDb, engine.Settings.MaxBoostDb));
}

// Holds the set's net boost to the engine's limit; the entries the limit does
// not bind are then refitted about the held boosts, and the set judged best
// of the two kept.
void HoldNetBoostAndRefit(SingularityListRecord& R, const CurveRecord& source, int32_t points,
                          const FitCurveRecord& fitted, const FitEngine& engine, const FitJudging& judging) {
  const int32_t code = engine.Settings.EmulationCode;
  const double limit = engine.Settings.MaxBoostDb;
  SingularityListRecord held = R;
  if (HoldOutsideRange(held, code, limit) + HoldNetBoost(held, code, limit) == 0) return;
  SingularityListRecord boosts = held, others = held;
  boosts.Count = others.Count = 0;
  for (int32_t i = 0; i < std::clamp<int32_t>(held.Count, 0, kMaxFilters); ++i)
    AppendEntry(held.Q1[static_cast<size_t>(i)] < 0 ? boosts : others, held, i);
  R = held;
  if (others.Count == 0 || boosts.Count == 0) return;
  RefitAtFullDamping(others, source, points, fitted, engine, &boosts);
  SingularityListRecord refitted = others;
  for (int32_t i = 0; i < boosts.Count && refitted.Count < kMaxFilters; ++i) AppendEntry(refitted, boosts, i);
  HoldOutsideRange(refitted, code, limit);
  HoldNetBoost(refitted, code, limit);
  const auto n = static_cast<size_t>(points);
  const std::span<const float> f = std::span(source.XValues).first(n), dB = std::span(source.YValues).first(n);
  const auto rms = [&](const SingularityListRecord& s) {
    return JudgedRmsDb(f, CorrectedResponseDb(f, dB, SnapSetToEqualiser(s, code, limit)), R.RangeLow, R.RangeHigh,
                       judging);
  };
  if (rms(refitted) < rms(R)) R = refitted;
}

// Two entries of one sign within a twelfth of an octave spend two of the
// equaliser's sections where one nearly does. The pair is merged (the weaker
// dropped, or both made one of their summed level) and the merged entry
// refitted with the rest held, unless keeping both lowers the judged deviation
// by a tenth.
void MergeCloseEntries(SingularityListRecord& R, const CurveRecord& source, int32_t points,
                       const FitCurveRecord& fitted, const FitEngine& engine, const FitJudging& judging) {
  constexpr double kMeasurably = 0.10;  // the pair must take a tenth off the merged set's deviation
  const int32_t code = engine.Settings.EmulationCode;
  const double limit = engine.Settings.MaxBoostDb;
  const auto n = static_cast<size_t>(points);
  const std::span<const float> f = std::span(source.XValues).first(n), dB = std::span(source.YValues).first(n);
  const auto rms = [&](const SingularityListRecord& s) {
    return JudgedRmsDb(f, CorrectedResponseDb(f, dB, SnapSetToEqualiser(s, code, limit)), R.RangeLow, R.RangeHigh,
                       judging);
  };
  // Pairs tried and kept are not tried again.
  std::vector<std::pair<float, float>> kept;
  const auto close = [&](size_t a, size_t b) {
    return (R.Q1[a] < 0) == (R.Q1[b] < 0) && std::fabs(std::log2(R.Freq[b] / R.Freq[a])) <= 1.0 / 12;
  };
  for (bool merged = true; merged;) {
    merged = false;
    SortFilterSetByKey1(R, true);
    const int32_t count = std::clamp<int32_t>(R.Count, 0, kMaxFilters);
    double now = -1;
    for (int32_t i = 0; i < count && !merged; ++i)
      for (int32_t j = i + 1; j < count && !merged; ++j) {
        const auto a = static_cast<size_t>(i), b = static_cast<size_t>(j);
        if (!close(a, b) || std::find(kept.begin(), kept.end(), std::pair(R.Freq[a], R.Freq[b])) != kept.end())
          continue;
        if (now < 0) now = rms(R);
        const double la = FilterBoostDb(R.Q1[a], R.Q2[a]), lb = FilterBoostDb(R.Q1[b], R.Q2[b]);
        const size_t stronger = std::fabs(la) < std::fabs(lb) ? b : a;
        SingularityListRecord held = R;
        held.Count = 0;
        for (int32_t k = 0; k < count; ++k)
          if (k != i && k != j) AppendEntry(held, R, k);
        // The stronger alone, and one entry of both levels at their
        // level-weighted centre with the stronger's width.
        SingularityListRecord alone = R, joined = R;
        alone.Count = joined.Count = 0;
        AppendEntry(alone, R, static_cast<int32_t>(stronger));
        AppendEntry(joined, R, static_cast<int32_t>(stronger));
        const double wa = std::fabs(la), wb = std::fabs(lb);
        joined.Freq[0] = static_cast<float>(
            std::exp((wa * std::log(R.Freq[a]) + wb * std::log(R.Freq[b])) / std::max(wa + wb, 1e-9)));
        const double level = std::min(wa + wb, 20.0), centre = CentreQ(R.Q1[stronger], R.Q2[stronger]);
        const double half = std::pow(10.0, level / 40);
        joined.Q1[0] = (R.Q1[stronger] < 0 ? -1.0f : 1.0f) * static_cast<float>(centre * half);
        joined.Q2[0] = static_cast<float>(centre / half);
        SingularityListRecord best;
        double bestRms = 0;
        for (SingularityListRecord* one : {&alone, &joined}) {
          RefitAtFullDamping(*one, source, points, fitted, engine, &held);
          SingularityListRecord whole = held;
          for (int32_t k = 0; k < one->Count; ++k) AppendEntry(whole, *one, k);
          const double r = rms(whole);
          if (best.Count == 0 || r < bestRms) best = whole, bestRms = r;
        }
        if (best.Count > 0 && !(now <= bestRms * (1 - kMeasurably))) {
          R = best;
          merged = true;
        } else {
          kept.emplace_back(R.Freq[a], R.Freq[b]);
        }
      }
  }
}

}  // namespace

FitCurveOutcome FitCurveFilterSet(SingularityListRecord& R, const CurveRecord& C, int32_t accumulate, int32_t k,
                                  int32_t average, const FitDriverConstants& constants, FitEngine& engine) {
  FitCurveOutcome out;
  const SingularityListRecord before = R;
  const MessageSink say = [&engine](const std::string& t) { engine.Say(t); };
  const FitLimits& limits = constants.Limits;
  const BoostLimitScope boostScope(engine, limits.MaxBoostDb);

  R.Average = average;
  auto curve = std::make_unique<FitCurveRecord>();
  const int32_t points = std::clamp(C.NumPoints, 0, static_cast<int32_t>(C.YValues.size()));
  // With a target the fit works on the curve less the target at its level.
  std::unique_ptr<CurveRecord> relative;
  if (limits.Target.Set()) {
    relative = std::make_unique<CurveRecord>(C);
    const auto n = static_cast<size_t>(points);
    const std::vector<float> target = AnchoredTargetDb(limits, std::span(C.XValues).first(n),
                                                       std::span(C.YValues).first(n), constants.MinFreq,
                                                       constants.MaxFreq);
    for (size_t i = 0; i < n; ++i) relative->YValues[i] -= target[i];
  }
  const CurveRecord& measured = relative ? *relative : C;
  // Under a boost limit a null counts only as far as the set may fill it: the
  // set is judged and refitted on the curve so filled, or the nulls it cannot
  // reach outweigh the peaks it can cut. The search keeps the curve as it is,
  // where a flat floor would read as no singularity's shape.
  std::unique_ptr<CurveRecord> filled;
  if (engine.Settings.MaxBoostDb > 0) {
    filled = std::make_unique<CurveRecord>(measured);
    const auto n = static_cast<size_t>(points);
    FillNullsToLimit(std::span(filled->XValues).first(n), std::span(filled->YValues).first(n), engine.Settings.MaxBoostDb,
                     constants.MinFreq, constants.MaxFreq, limits.Target.Set());
  }
  const CurveRecord& source = filled ? *filled : measured;
  PrepareFitCurve(measured.XValues, measured.YValues, points, R.ModeCode, constants.LoudspeakerOrder, *curve);
  curve->Anchored = limits.Target.Set();

  R.MaxDecay = static_cast<float>(constants.MaxDecay);
  R.QMinimum = constants.QMinimum;
  R.SchroederFreq = constants.SchroederFreq;
  R.SecondaryPolishWidth = static_cast<float>(constants.SecondaryPolishWidth);
  R.NumInitialLoops = constants.NumInitialLoops;
  R.Damping = static_cast<float>(constants.Damping);
  R.LoudspeakerOrder = constants.LoudspeakerOrder;
  R.Kind = 2;
  R.Curve = k;
  const int32_t loops = R.NumInitialLoops;
  const float damping = R.Damping;

  // The range of this fit, in Hz: the one stored is the previous fit's.
  NormaliseFitCurve(*curve, static_cast<float>(constants.MinFreq), static_cast<float>(constants.MaxFreq));

  SingularityListRecord existing;
  if (accumulate == 1) {
    if (R.Count <= 0) {
      accumulate = 0;
      out.UntickAccumulate = true;
    } else {
      existing.RangeLow = R.RangeLow;
      existing.RangeHigh = R.RangeHigh;
      CopyFilterSetEntries(R, existing);
      std::span<double> levels(curve->Level.data(), static_cast<size_t>(curve->Count));
      for (int32_t i = 0; i < existing.Count; ++i) {
        if (existing.Q1[i] == 0) say("Err 98364: n= " + std::to_string(i));
        ApplySingularityToLevels(levels, curve->Freq, -existing.Q1[i], existing.Q2[i], existing.Freq[i], 1.0f, 0,
                                 curve->Count, say);
      }
    }
  }

  ClearEntries(R);
  R.RangeLow = static_cast<float>(constants.MinFreq);
  R.RangeHigh = static_cast<float>(constants.MaxFreq);
  // With a boost limit, a dip deeper than the limit is filled only as far as
  // the limit goes; the modes list names such nulls.
  const double boostLimit = engine.Settings.MaxBoostDb;
  FindNulls(*curve, boostLimit, R);
  if (engine.Settings.Quick) {
    R.Damping = 1.0f;
    R.NumInitialLoops = 1;
  }

  if (R.SelectCode == 4) {
    R.Damping = damping;
    out.Found = SearchSingularities(R, *curve, engine);
    if (engine.Stopped()) {
      R = before;
      out.Stopped = out.Kept = true;
      out.UntickAccumulate = false;
      return out;
    }
    if (R.NumInitialLoops > 1) {
      const float step = (1.0f - R.Damping) / static_cast<float>(R.NumInitialLoops);
      for (int32_t i = 0; i < R.NumInitialLoops && !out.Stopped; ++i) {
        if (!PolishCriticalPeakValues(R, *curve, engine)) out.Stopped = engine.Stopped();
        R.Damping += step;
      }
    }
  }
  if (R.NumInitialLoops > 1 && !out.Stopped) {
    R.Damping = 1.0f;
    if (!PolishCriticalPeakValues(R, *curve, engine)) out.Stopped = engine.Stopped();
  }
  if (R.SelectCode == 4 && !out.Stopped && !SearchResidual(R, *curve, engine, kResidualRounds))
    out.Stopped = engine.Stopped();

  const FitJudging judging{.Anchored = limits.Target.Set(), .MaxBoostDb = boostLimit};
  if (boostLimit >= 0 && !out.Stopped) HoldNetBoostAndRefit(R, source, points, *curve, engine, judging);
  // The new entries answer for what they do to the curve the earlier ones leave.
  {
    const auto n = static_cast<size_t>(points);
    const std::span<const float> f = std::span(C.XValues).first(n);
    const std::vector<float> left = CorrectedResponseDb(f, std::span(source.YValues).first(n), existing);
    RemoveWorseningEntries(R, f, left, engine.Settings.EmulationCode, judging);
  }
  if (accumulate == 1) {
    if (existing.Count > 0) {
      R.Damping = 1.0f;
      if (existing.Count + R.Count >= kMaxFilters) {
        // The new entries go; the set the user built up stays.
        say(" User Error: Filter Buffer Overload: Rejecting all filters");
        ClearEntries(R);
        for (int32_t i = 0; i < existing.Count; ++i) AppendEntry(R, existing, i);
        R.RangeLow = existing.RangeLow;
        R.RangeHigh = existing.RangeHigh;
      } else {
        std::span<double> levels(curve->Level.data(), static_cast<size_t>(curve->Count));
        for (int32_t i = 0; i < existing.Count; ++i) {
          AppendEntry(R, existing, i);
          ApplySingularityToLevels(levels, curve->Freq, existing.Q1[i], existing.Q2[i], existing.Freq[i], 1.0f, 0,
                                   curve->Count, say);
        }
      }
    }
    R.RangeLow = std::min(R.RangeLow, existing.RangeLow);
    R.RangeHigh = std::max(R.RangeHigh, existing.RangeHigh);
  }

  if (R.Count > limits.MaxFilters) {
    const auto n = static_cast<size_t>(points);
    KeepMostUsefulEntries(R, std::span(source.XValues).first(n), std::span(source.YValues).first(n),
                          engine.Settings.EmulationCode, limits.MaxFilters, judging,
                          [&](SingularityListRecord& s) { RefitAtFullDamping(s, source, points, *curve, engine); });
  }

  // Merged before the step stage, whose last step may add a section where it pays.
  if (boostLimit >= 0 && !out.Stopped) MergeCloseEntries(R, source, points, *curve, engine, judging);

  const int32_t code = engine.Settings.EmulationCode;
  if (constants.OnSteps && (code == 1 || code == 4 || code == 5)) {
    const auto n = static_cast<size_t>(points);
    StepFitInput in;
    in.Freqs = std::span(source.XValues).first(n);
    in.Db = std::span(source.YValues).first(n);
    in.Code = code;
    in.Judging = judging;
    in.MaxEntries = limits.MaxFilters;
    in.NoiseDb = curve->NoiseDb;
    in.Pool = engine.Pool;
    in.Refine = [&](SingularityListRecord& free, const SingularityListRecord& held) {
      RefitAtFullDamping(free, source, points, *curve, engine, &held);
    };
    // A stop before or during the stage leaves the set snapped entry by entry.
    in.Stopped = [&] {
      if (engine.Callbacks.Poll && engine.Polling.Due(engine.Settings.PollEvery)) engine.Callbacks.Poll();
      return out.Stopped || engine.Stopped();
    };
    if (!FitSetOnSteps(R, in)) out.Stopped = true;
    // The stage moves and adds sections: a pair it brings together is merged,
    // and the set put back on the steps.
    if (boostLimit >= 0 && !out.Stopped) {
      const int32_t before = R.Count;
      MergeCloseEntries(R, source, points, *curve, engine, judging);
      if (R.Count < before)
        for (int32_t i = 0; i < 4; ++i) R = SnapSetToEqualiser(R, code, boostLimit);
    }
  }

  SortFilterSetByKey1(R, true);
  R.NumInitialLoops = loops;
  R.Damping = damping;
  R.Kind = 4;
  RemoveInsignificantFilters(R);
  // Whatever ended the fit, the set as it will be applied keeps the limit
  // and leaves the level outside the range as it was; lowering a cut may
  // free a boost it held down, so the boost is held last.
  HoldOutsideRange(R, code, boostLimit);
  HoldNetBoost(R, code, boostLimit);
  if (boostLimit >= 0 && !out.Stopped && accumulate != 1) {
    // What the holds took may leave an entry doing harm.
    const auto n = static_cast<size_t>(points);
    if (RemoveWorseningEntries(R, std::span(C.XValues).first(n), std::span(source.YValues).first(n), code, judging) > 0) {
      HoldOutsideRange(R, code, boostLimit);
      HoldNetBoost(R, code, boostLimit);
    }
  }
  for (int32_t i = 0; i < R.Count; ++i)
    if (R.Q1[i] == 0) say("Err Modal Analysis Q1 = 0,  n= " + std::to_string(i));
  return out;
}

namespace {

void AddPassDampings(FitEngine& to, const std::vector<float>& dampings) {
  for (const float d : dampings) {
    if (to.PassDampings.size() >= 256) to.PassDampings.erase(to.PassDampings.begin());
    to.PassDampings.push_back(d);
  }
}

bool EndsBatch(const FitCurveOutcome& o) { return o.Stopped || o.Kept; }

void FitOneAfterAnother(std::span<FitBatchItem> items, const FitDriverConstants& constants, FitEngine& engine,
                        const std::function<void(int32_t)>& current) {
  const FitEngineCallbacks callbacks = engine.Callbacks;
  for (size_t i = 0; i < items.size(); ++i) {
    FitBatchItem& item = items[i];
    if (i > 0 && EndsBatch(items[i - 1].Outcome)) {
      item.Outcome = {.Kept = true};
      continue;
    }
    if (current) current(item.Index);
    engine.Callbacks.Say = [&item](const std::string& t) { item.Said.push_back(t); };
    item.Outcome =
        FitCurveFilterSet(*item.Set, *item.Curve, item.Accumulate, item.Index, item.Average, constants, engine);
    engine.Callbacks = callbacks;
  }
}

}  // namespace

void FitCurveFilterSets(std::span<FitBatchItem> items, const FitDriverConstants& constants, FitEngine& engine,
                        const std::function<void(int32_t)>& current) {
  if (items.size() < 2 || engine.Pool == nullptr || engine.Pool->Threads() < 2) {
    FitOneAfterAnother(items, constants, engine, current);
    return;
  }
  // The step tables are built on first use: build them here, before the threads read them.
  MakeFitBounds(engine.Settings.EmulationCode, 0);

  const auto count = static_cast<int32_t>(items.size());
  std::vector<SingularityListRecord> before;
  before.reserve(items.size());
  for (const FitBatchItem& item : items) before.push_back(*item.Set);
  std::vector<FitEngine> engines(items.size());
  std::unique_ptr<std::atomic<bool>[]> finished(new std::atomic<bool>[items.size()]);
  for (int32_t i = 0; i < count; ++i) finished[static_cast<size_t>(i)] = false;
  int32_t shown = -1, reported = 0, cut = count;

  // On the calling thread only: the first unfinished curve and the progress
  // are shown before the window's own poll, so a stop the user makes sees
  // the curve that was on the screen.
  const auto poll = [&] {
    int32_t first = 0;
    while (first < count && finished[static_cast<size_t>(first)]) ++first;
    for (; reported < first; ++reported) engine.Progress(reported + 1, count);
    if (first < count && first != shown && current) current(items[static_cast<size_t>(first)].Index);
    shown = first;
    if (engine.Callbacks.Poll) engine.Callbacks.Poll();
    if (cut == count && engine.Stopped()) cut = first;
  };
  const std::function<void(int32_t, int32_t)> job = [&](int32_t i, int32_t slot) {
    const auto k = static_cast<size_t>(i);
    FitBatchItem& item = items[k];
    FitEngine& e = engines[k];
    e.Settings = engine.Settings;
    e.Callbacks.Stop = engine.Callbacks.Stop;
    e.Callbacks.Say = [&item](const std::string& t) { item.Said.push_back(t); };
    if (slot == 0) {
      e.Callbacks.Poll = poll;
      e.Polling.Now = engine.Polling.Now;
    }
    {
      const KeepMessages keep(item.Boxes);
      item.Outcome = FitCurveFilterSet(*item.Set, *item.Curve, item.Accumulate, item.Index, item.Average, constants, e);
    }
    finished[k] = true;
  };
  engine.Progress(0, count);
  engine.Pool->Run(count, job, poll, engine.Settings.PollEvery, engine.Polling);
  engine.Progress(0, 0);

  for (int32_t i = 0; i < count; ++i) {
    const auto k = static_cast<size_t>(i);
    engine.Counters += engines[k].Counters;
    AddPassDampings(engine, engines[k].PassDampings);
    if (i < cut && EndsBatch(items[k].Outcome)) cut = i;
  }
  for (int32_t i = cut; i < count; ++i) {
    const auto k = static_cast<size_t>(i);
    FitBatchItem& item = items[k];
    // The curve the batch ended at keeps what it said; the later ones were never reached.
    if (i > cut) {
      item.Said.clear();
      item.Boxes.clear();
    }
    item.Outcome = {.Stopped = true, .Kept = true};
    *item.Set = before[k];
  }
}

void FitMessages::Add(const std::string& text) {
  if (seen_.insert(text).second) pending_.push_back(text);
}

std::vector<std::string> FitMessages::TakeNew() {
  std::vector<std::string> out;
  out.swap(pending_);
  return out;
}

}  // namespace zentor
