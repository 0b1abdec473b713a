// The frequency-domain views of the main graph: gated FFT (Bode), fractional
// octave, psychoacoustic, signal to noise and the modal slice. Each takes
// FirstCurve as DisplayResults does; false when no result or more than 32 are
// loaded. Until a view is built it shows its empty frame, so every redraw still
// lands on the picture.
#pragma once

#include <cstdint>

#include "display/graph_host.h"

namespace zentor {

bool ShowFFTResponseSet(GraphHost& host, int32_t FirstCurve);
bool ShowFractOctResponseSet(GraphHost& host, int32_t FirstCurve);
bool ShowPsycResponseSet(GraphHost& host, int32_t FirstCurve);
bool ShowNoiseResponseSet(GraphHost& host, int32_t FirstCurve);
bool ShowModalResponseSet(GraphHost& host, int32_t FirstCurve);

}  // namespace zentor
