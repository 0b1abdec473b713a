// The per-curve filter fit: prepares one curve's response, runs the search and
// the polish passes with the damping climbing to 1, merges an existing set back
// when accumulating, and files the result. Qt-free.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/records.h"
#include "eqdesign/fit/fit_engine.h"
#include "eqdesign/fit/fit_limits.h"
#include "platform/kept_messages.h"

namespace zentor {

// The main window's fit constants, read when a fit starts.
struct FitDriverConstants {
  double MinFreq = 25;  // Hz: the fit range
  double MaxFreq = 80;
  double MaxDecay = 1.5;
  float QMinimum = 0.05f;
  float SchroederFreq = 150;
  double SecondaryPolishWidth = 0.5;
  int32_t NumInitialLoops = 8;
  double Damping = 0.8;
  int32_t LoudspeakerOrder = 4;
  // Boost limit, filter budget and target; unset, the fit is as it always was.
  FitLimits Limits;
  // The set ends on the steps of the engine's equaliser when it has them
  // (codes 1, 4, 5), chosen for the whole set; unset, it is left continuous
  // and the applied list snaps each entry alone.
  bool OnSteps = false;
};

struct FitCurveOutcome {
  bool UntickAccumulate = false;  // accumulating into an empty set: fitted fresh
  bool Stopped = false;           // a stop request ended this curve's fit
  bool Kept = false;              // it came in the search: the set is as it was
  bool Found = false;             // the search accepted a singularity
};

// Fits curve C (levels in dB) into R, whose header words Graphshown, ModeCode,
// SelectCode, Gatetime and Smoothing are already stamped. average is the Average
// word to stamp (-1 or 0). A stop during the search leaves R as it came; one
// during the polish keeps the last complete pass and finishes the set.
FitCurveOutcome FitCurveFilterSet(SingularityListRecord& R, const CurveRecord& C, int32_t accumulate, int32_t k,
                                  int32_t average, const FitDriverConstants& constants, FitEngine& engine);

// One curve of a batch fit, and what its fit made.
struct FitBatchItem {
  SingularityListRecord* Set = nullptr;  // header stamped, as FitCurveFilterSet takes it
  const CurveRecord* Curve = nullptr;
  int32_t Accumulate = 0;
  int32_t Index = 0;  // the curve's place in the set
  int32_t Average = 0;
  FitCurveOutcome Outcome;
  std::vector<std::string> Said;   // the engine's messages, in the order raised
  std::vector<KeptMessage> Boxes;  // message boxes raised while fitting, in order
};

// Fits the items' curves into their sets. With several items and a pool of
// several threads the curves are fitted side by side, one to a thread, each as
// it would be fitted alone (so the sets do not depend on the thread count); the
// calling thread polls and tells `current` the first curve not yet finished.
// Otherwise they are fitted one after another on the engine as it is.
// Either way the batch ends as fitting one curve after another would: at the
// first curve a stop ended, after which every set stays as it came (in a
// side-by-side batch the curve shown as current when the stop came stays as it
// came too, as none of its passes is more complete than another's).
void FitCurveFilterSets(std::span<FitBatchItem> items, const FitDriverConstants& constants, FitEngine& engine,
                        const std::function<void(int32_t index)>& current = {});

// Messages of one command, each distinct text kept once in the order first
// raised; the caller shows the new ones after each curve.
class FitMessages {
 public:
  void Add(const std::string& text);
  std::vector<std::string> TakeNew();

 private:
  std::unordered_set<std::string> seen_;
  std::vector<std::string> pending_;
};

}  // namespace zentor
