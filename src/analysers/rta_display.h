// The main window's side of the two real-time analysers: the frame computations
// and the drawing into the main graph. The analyser windows call the Initialize
// operations before they stream; the wave procedures call the Update operations
// through WaveClientHooks once per analysed record block.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "platform/dialogs.h"

namespace zentor {

class DrawingSurface;

extern int32_t RtaOrder;
extern int32_t RtaBlockSize;
extern ColourRef RtaColour;
extern bool RtaReady;
extern int32_t RtaSampleRate;
extern int32_t RtaView;  // 2 impulse, 8 energy-time curve
extern int32_t RtaFilterOn;
extern float RtaLowerFreq, RtaUpperFreq;    // Hz
extern float RtaStartTime, RtaFinishTime;  // ms
extern int32_t RtaShift;

// The running analyser's activity indicator; unset draws no flash.
struct RtaDisplayLinks {
  std::function<void(ColourRef)> Flash;
};
extern RtaDisplayLinks RtaDisplayHooks;

// eqType 1 DSP equaliser (filters run at dspSampleRate), 2 analogue.
bool InitializeEQRTA(int32_t order, int32_t sampleRate, int32_t dspSampleRate, int32_t eqType);
void UpdateEQRTA();
void CloseRTA();
bool InitializeImpRTA(int32_t order, int32_t sampleRate, int32_t view, int32_t filterOn, float lowerFreq,
                      float upperFreq, float startTime, float finishTime);
void UpdateImpRTA();

// Analyser points: 1/100-octave steps from df = rate / 2^order, each on its
// nearest bin, one point per bin where the steps are closer than a bin.
bool BuildRtaFrequencyAxis(std::span<float> binIndexes, std::span<float> frequencies, int32_t& count,
                           int32_t order, int32_t rate);
// The energy-time curve in dB (peak 30) of x over its first 2000 samples.
void ComputeEnergyTimeCurve(std::span<float> x, int32_t order, int32_t rate, float lower, float upper);

// The picture the analysers draw into: the main window's graph.
DrawingSurface& RtaPicture();

// Makes the frame procedures reachable from the wave procedures.
void InstallRtaDisplayLinks();

}  // namespace zentor
