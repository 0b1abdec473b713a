// The time-domain views of the main graph (impulse, noise energy, levels check),
// the gated spectrum every frequency view leans on and the FFT-length rule, with
// their data: the stored noise spectra and the fixed sizes of their curves.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/records.h"
#include "display/graph_host.h"
#include "display/view_state.h"

namespace zentor {

constexpr int32_t kTimeViewPoints = 2000;        // points of every curve built by the time views
constexpr int32_t kNormalizeExponent = 12;       // peak found over the first 4096 samples
constexpr float kTimeViewPeak = 30.0f;           // level of that peak after normalising
constexpr int32_t kMinFFTExponent = 12;
constexpr int32_t kMaxPsdSpectrumExponent = 15;  // a noise spectrum holds at most 2^15 values
constexpr int32_t kPsdSpectrumRows = 32769;

// One column per noise recording: PsdSet[c - 1][j] is value j of the c-th spectrum.
extern std::array<std::array<float, kPsdSpectrumRows>, kMaxPsdSpectra> PsdSet;

// Set when a noise recording has handed over a spectrum in WorkCurveAux that the
// noise-energy view has not filed yet; filing clears it, so redraws never refile.
extern bool PsdRecordingPending;

// The builders: each computes and draws its view. FirstCurve as for DisplayResults;
// false when no result or more than 32 are loaded.
bool ShowMainImpulseSet(GraphHost& host, int32_t FirstCurve);
bool ShowPSDEnergy(GraphHost& host, int32_t FirstCurve);
// The impulse of the last levels check from startIndex - msBefore on, with its
// distance, level and signal-to-noise ratio listed beside the graph.
void ShowLevelsImpulse(GraphHost& host, std::span<float> impulse, int32_t startIndex, float msBefore,
                       int32_t sampleRate, int32_t impulseShift, float level, float signalToNoise);

// FFT exponent for a gate: covers 1.5 gates plus 50 ms, plus the host's display
// resolution; held to 12..the loaded set's period exponent.
int32_t GetFFTSizeFromGateTime(const GraphHost& host, float gateMs, int32_t periodExponent, int32_t sampleRate);
// Whether a gate leaves 1.2 gates inside the period of 2^periodExponent samples
// (held to 0..17).
bool GateFitsPeriod(float gateMs, int32_t sampleRate, int32_t periodExponent);
inline constexpr std::string_view kGateTooLongForCurveData =
    "User Error: Gate time chosen is too large for curve data. Reduce gate time";
// The lowest frequency a gate of gateMs resolves, one period within the gate:
// where the FFT view starts and below which a fit on a gated view has no data.
inline float GateLowestHz(float gateMs) { return 1000.0f / gateMs; }
// The gated spectrum itself over the caller's scratch (re: max(2^k, period) values,
// im: 2^k): levels in dB from 1000/gate Hz up to Nyquist, at most 2000 points.
// No messages and no shared arrays, so several threads may run it at once. False
// without a positive gate, sample rate or period, or with scratch too short.
bool GatedFFTMagnitude(std::span<const float> impulse, int32_t period, float gateMs, int32_t fs, int32_t k,
                       std::span<float> level, std::span<float> freq, int32_t& count, std::span<float> re,
                       std::span<float> im);
// Gated log magnitude from 1000/gate Hz up to Nyquist, at most 2000 points.
// False (MainBuffer cleared) when the gate is too long for the period.
bool ComputeGatedFFTMagnitude(const GraphHost& host, std::span<const float> impulse, int32_t unused,
                              std::span<float> level, std::span<float> freq, int32_t& count,
                              MeasurementHeader& header);

// Empties the curves of every view.
void ClearDisplays();

}  // namespace zentor
