// The views of one result alone, reached with the curve arrows: its impulse
// (band-passed, decimated, with its equalised twin and a short report), its
// energy-time curves in up to three bands, its frequency responses with their
// equalised twins, its signal-to-noise curve, and the averaged variants. Also the
// rotation of one stored impulse in time.
#pragma once

#include <cstdint>
#include <string>

#include "display/graph_host.h"

namespace zentor {

// Shows result n (1-based) in the single-curve form of the view in Graphshown.
// With the average on, n becomes 1.
void ShowCurveView(GraphHost& host, int32_t& n);

// Impulse (or, with ShowETC, energy-time) view of result k (0-based). Holds the
// host busy for its run and returns at once when it finds it busy.
void ShowImpulseCurve(GraphHost& host, int32_t k);

// One band's energy-time curve of result k over 2^order samples into slot s of
// SingleViewCurves, plotted; ratio = direct / reverberant energy. False, after
// the failing routine's message, when the band-pass could not run.
bool ComputeETC(GraphHost& host, int32_t k, int32_t order, double low, double high, int32_t s, float& ratio);

void ShowFrequencyCurve(GraphHost& host, int32_t k);
void ShowNoiseCurve(GraphHost& host, int32_t k);
void ShowSPLAverageCurve(GraphHost& host);
void ShowAverageCurve(GraphHost& host);

// True when the applied filters equal the cache of view 3, 6 or 7 (any other view:
// true); the cache then takes the applied filters.
bool FilterSetUnchanged(int32_t view);

// Rotate impulse n (1-based) by k samples, move its ImpulseShift with it, mark
// the set unsaved and show the impulse again.
void ShiftImpulseLeft(GraphHost& host, int32_t n, int32_t k);
void ShiftImpulseRight(GraphHost& host, int32_t n, int32_t k);

// The report line of the microphone distance: sound travel over the 50 ms
// lead-in plus the shift, folded into one test-signal period of travel.
std::string MicSpeakerDistanceLine(int32_t sampleRate, int32_t impulseShift, int32_t periodExponent);

// Connects the shift buttons of the display options.
void InstallImpulseShiftLinks();

}  // namespace zentor
