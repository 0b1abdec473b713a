// Polishing of a filter set: each entry in turn is put back into the residual
// curve, refitted at the points about it, and the best fit of its own sign is
// divided out again in its place. Qt-free.
#pragma once

#include <cstdint>
#include <span>

#include "core/records.h"
#include "eqdesign/fit/fit_engine.h"
#include "eqdesign/fit/fit_limits.h"
#include "eqdesign/fit/fit_records.h"

namespace zentor {

// One pass over the set, strongest entries first as its SelectCode orders them;
// the curve is the residual (every entry divided out) and leaves as the new
// residual, normalised about 1 over the set's range. An entry without a fit of
// its sign stronger than |Q1| 0.05 leaves the set. A stop request undoes the
// pass: set and curve as they came, false.
bool PolishCriticalPeakValues(SingularityListRecord& set, FitCurveRecord& curve, FitEngine& engine);

// Polishes the stored set of one curve (levels in dB): the residual with the
// set divided out, the settings' NumInitialLoops passes at damping 1, and as
// many again when near duplicates were removed; then the entries that do nothing
// leave. A stop keeps the passes completed before it and returns false. With a
// target in `limits` the curve is taken relative to it at its level, as the fit takes it.
bool PolishOneCurve(std::span<const float> freqs, std::span<const float> dB, int32_t count,
                    SingularityListRecord& set, FitEngine& engine, const FitLimits& limits = {});

}  // namespace zentor
