// The singularity search: the filter set of one prepared curve, found by
// fitting one singularity at every point of the fit range, filing the
// candidates that stand apart, and refining each filed one. Qt-free.
#pragma once

#include <cstdint>
#include <span>

#include "core/records.h"
#include "eqdesign/fit/fit_engine.h"
#include "eqdesign/fit/fit_records.h"

namespace zentor {

// Loads a curve for the fit: frequencies (Hz), levels from dB to linear, and
// for the gated response (ModeCode 5) the loudspeaker compensation of the given
// order. The fit and the polish both start from it. False, curve empty, for no
// points; more than a curve holds are cut.
bool PrepareFitCurve(std::span<const float> freqs, std::span<const float> dB, int32_t count, int32_t ModeCode,
                     int32_t LoudspeakerOrder, FitCurveRecord& curve);
// Normalises the levels about 1 between low and high Hz (0, 0: the whole curve).
void NormaliseFitCurve(FitCurveRecord& curve, float low, float high);

// Upper bound of Q for a fit at x Hz on the given view: the gated response
// (3) the Q of a resonance decaying 60 dB in maxDecay seconds, at most 100; the
// fractional-octave view (6) the Q of the smoothing band; the psychoacoustic
// view (7) that of its low-frequency resolution below the Schroeder frequency
// and of a third octave above. Other views 0.
float FitQLimit(float x, float schroederFreq, float maxDecay, int32_t view, float smoothing);

// Index of the point nearest f Hz; a tie takes the higher index, below the
// first point 0, above the last count-1. f = 0 reports "Error 5330".
int32_t NearestPointIndex(std::span<const float> x, float f, int32_t count, const MessageSink& say);
// Frequency step (Hz) at the point nearest f.
float LocalPointSpacing(std::span<const float> x, float f, int32_t count, const MessageSink& say);

// Fills R (whose header carries the fit range and constants, its count 0) from
// the curve, which leaves with every filed singularity divided out, normalised
// about 1 over R's range. True when the first stage accepted a singularity.
// A stop request abandons the search: curve and R as they were, false.
bool SearchSingularities(SingularityListRecord& R, FitCurveRecord& curve, FitEngine& engine);

// Searches what R leaves in the curve (its residual, R's entries taken out at
// R's damping) and adds what that search files, then refines overlapping
// entries of R together; again, up to `rounds` times, while it finds anything.
// A singularity beside a stronger one is often no peak or dip of the curve
// until that one is divided out. False when a stop request ended it: the round
// in progress is undone.
bool SearchResidual(SingularityListRecord& R, FitCurveRecord& curve, FitEngine& engine, int32_t rounds);

}  // namespace zentor
