// The per-curve filter fit: prepares one curve's response, runs the search and
// the polish passes with the damping climbing to 1, merges an existing set back
// when accumulating, and files the result. Qt-free.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/records.h"
#include "eqdesign/fit_engine.h"

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
