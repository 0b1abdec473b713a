// Recording to impulse response: one channel divided by the excitation played on its
// output, and the microphone impulse divided by the reference impulse.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/records.h"

namespace zentor {

// The last index of a record buffer that a pass clears behind the impulse.
inline constexpr int32_t kLastClearedRecordIndex = (1 << 18) + (1 << 16) - 1;

// Bins whose excitation (or reference) lies this far below the spectrum's RMS bin
// carry rounding noise only; dividing by them would swamp the impulse with noise.
inline constexpr double kUnexcitedBinLevel = 1.7782794100389228e-4;  // -75 dB

// One channel of a run (MeasHeader gives rate, excitation type, crossover, range
// settings): drops the first 2^q samples, divides one period by the excitation taken
// w samples early, places the impulse at w (by its peak, or by the manual distance
// when AutoRange is clear and alignByPeak false) and measures it. Outputs: the peak
// position (placement), the largest |sample| of the period, the energies of the two
// halves. success is false only for a silent recording.
void DeconvolveChannel(int32_t& q, int32_t w, std::span<float> recording, std::span<const int16_t> excitation,
                       const std::string& p, int32_t& peakPosition, float& peak, float& signalEnergy,
                       float& noiseEnergy, int16_t alignByPeak, int16_t& success);

// Microphone impulse over reference impulse (roles by micChannel: 99 microphone in b,
// 33 microphone in a), left in b; sets header.LevelMultiplier. False, after the
// message, when the reference holds no signal in a bin the passes divided.
bool ComputeTransferFunction(std::span<float> a, std::span<float> b, MeasurementHeader& header,
                             int32_t micChannel);

}  // namespace zentor
