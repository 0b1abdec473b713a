// The frequency-domain views of the main graph: gated FFT (Bode), fractional
// octave, psychoacoustic, signal to noise and the modal slice. Each draws every
// loaded result, or their average with the avg box ticked, and files the curves
// it computes in its view's array so that later redraws reuse them.
//
// FirstCurve as for DisplayResults: kRedrawFiledCurves redraws the filed curves,
// k >= 0 keeps slots 0..k-1 and computes the rest (a k above the count keeps all).
// False when no result or more than 32 are loaded, and for the Bode view when a
// gate is too long; true otherwise.
#pragma once

#include <cstdint>
#include <functional>

#include "display/graph_host.h"
#include "display/time_views.h"
#include "platform/numeric/numeric.h"

namespace zentor {

bool ShowFFTResponseSet(GraphHost& host, int32_t FirstCurve);
bool ShowFractOctResponseSet(GraphHost& host, int32_t FirstCurve);
bool ShowPsycResponseSet(GraphHost& host, int32_t FirstCurve);
bool ShowNoiseResponseSet(GraphHost& host, int32_t FirstCurve);
bool ShowModalResponseSet(GraphHost& host, int32_t FirstCurve);

// The per-curve routines of these views: the gated spectrum (Bode), the smoothed
// responses (fractional octave, noise), the psychoacoustic response and the
// transform of the modal slice. They run on worker threads; a replacement must be
// safe there too.
struct ResponseRoutineTable {
  std::function<decltype(zentor::GatedFFTMagnitude)> GatedFFTMagnitude;
  std::function<decltype(zentor::GetLogResponse)> GetLogResponse;
  std::function<decltype(zentor::GetPhsycologicalResponse)> GetPhsycologicalResponse;
  std::function<decltype(zentor::fft)> fft;
};
ResponseRoutineTable DefaultResponseRoutines();
extern ResponseRoutineTable ResponseRoutines;

}  // namespace zentor
