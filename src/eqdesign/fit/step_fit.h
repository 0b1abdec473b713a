// The fit's last stage on an equaliser with steps (codes 1, 4, 5): every
// entry's centre, width and level chosen from the equaliser's own steps so
// that the whole set corrects the curve best, rather than each entry rounded
// alone. Rounding alone leaves a narrow entry a third of its band off, and
// nothing moves its neighbours to make up for it. Qt-free.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "core/records.h"
#include "eqdesign/fit/fit_engine.h"
#include "eqdesign/fit/fit_quality.h"

namespace zentor {

struct StepFitInput {
  std::span<const float> Freqs;  // Hz, rising: the curve the set corrects
  std::span<const float> Db;
  int32_t Code = 0;              // the equaliser: 1, 4 or 5
  FitJudging Judging;            // the target's anchoring and the boost limit
  int32_t MaxEntries = kMaxFilters;
  double NoiseDb = 0;            // the curve's point noise: an added section must stand out of it
  // Refits `free` continuously against the curve with `fixed` (already on
  // steps) and `free` taken out; may drop entries. Unset: no refit.
  std::function<void(SingularityListRecord& free, const SingularityListRecord& fixed)> Refine;
  FitPool* Pool = nullptr;  // the engine's threads, when it has them
  // True when a stop was asked for (polled between the stage's steps).
  std::function<bool()> Stopped;
};

// Moves the set onto equaliser in.Code's steps: the entries snapped one at a
// time, strongest first, the rest refitted after each; then each entry moved
// by up to three steps of centre, width and level while the deviation falls;
// then each entry, and each overlapping pair together, refitted with the rest
// held and snapped again; then one more section when the set has room and it
// lowers the deviation clearly. The result is kept only when it beats snapping each entry alone
// (SnapSetToEqualiser), which the set becomes otherwise, and on a stop.
// Every entry it leaves is a fixed point of SnapSetToEqualiser. False on a stop.
bool FitSetOnSteps(SingularityListRecord& set, const StepFitInput& in);

}  // namespace zentor
