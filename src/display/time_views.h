// Data of the time-domain views: the stored noise spectra and the fixed sizes of
// the impulse, levels and gated-spectrum curves.
#pragma once

#include <array>
#include <cstdint>

#include "mainwindow/view_state.h"

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

}  // namespace zentor
