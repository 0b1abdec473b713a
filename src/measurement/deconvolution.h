// Recording to impulse response: one channel divided by the excitation played on its
// output, and the microphone impulse divided by the reference impulse.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/records.h"

namespace zentor {

// The last index of a record buffer that a pass clears behind the impulse.
inline constexpr int32_t kLastClearedRecordIndex = (1 << 18) + (1 << 16) - 1;

// Bins whose excitation (or reference) lies this far below the spectrum's RMS bin
// carry rounding noise only; dividing by them would swamp the impulse with noise.
inline constexpr double kUnexcitedBinLevel = 1.7782794100389228e-4;  // -75 dB

// A recording that reached full scale: the samples in runs of two or more at or
// above 0.999 of 16-bit full scale, and the largest |sample| of the recording.
struct Clipping {
  int32_t samples = 0;
  float peak = 0;
};
Clipping FindClipping(std::span<const float> recording);
// The warning for one input that clipped, `input` naming it ("right input (microphone)").
std::string ClippingText(std::string_view input, const Clipping& c);

// A pass's peak (dB re the played 15000) and signal-to-noise ratio as the window
// shows them: to 0.1 dB, cut toward zero.
std::string PeakText(float peak);
std::string RatioText(float signal, float noise);
// The same as numbers.
float PeakDb(float peak);
float RatioDb(float signal, float noise);
// A distance of mm whole millimetres as the window shows it: metres cut toward
// zero to 0.01 m, worked in whole numbers, so 2330 mm shows 2.33.
std::string DistanceText(int32_t mm);

// One channel of a run (MeasHeader gives rate, excitation type, crossover, range
// settings): drops the first 2^q samples, divides one period by the excitation taken
// w samples early, places the impulse at w (by its peak, or by the manual distance
// when AutoRange is clear and alignByPeak false) and measures it. Outputs: the peak
// position (placement), the largest |sample| of the period, the energies of the two
// halves. success is false only for a silent recording.
void DeconvolveChannel(int32_t& q, int32_t w, std::span<float> recording, std::span<const int16_t> excitation,
                       const std::string& p, int32_t& peakPosition, float& peak, float& signalEnergy,
                       float& noiseEnergy, int16_t alignByPeak, int16_t& success);

// The division of a run's two spectra (a: real in a, imaginary in WorkCurve2; b: in
// b and WorkCurve), microphone over reference by the channel code, into b and
// WorkCurve; bins the passes left undivided, or far below the reference's RMS bin,
// give 0. False, after zeroBinMessage and the bin index, when the reference is
// exactly zero in a bin >= 1 the passes divided.
bool DivideMicrophoneByReference(std::span<float> a, std::span<float> b, int32_t n, int32_t micChannel,
                                 std::string_view zeroBinMessage);
// Both parts of bins 0 .. nint(n crossover / 2 / rate) and their mirrors times 0.01.
void ScaleBelowCrossover(std::span<float> re, std::span<float> im, int32_t n, double crossover, int32_t rate);

// Microphone impulse over reference impulse (roles by micChannel: 99 microphone in b,
// 33 microphone in a), left in b; sets header.LevelMultiplier. False, after the
// message, when the reference holds no signal in a bin the passes divided.
bool ComputeTransferFunction(std::span<float> a, std::span<float> b, MeasurementHeader& header,
                             int32_t micChannel);

}  // namespace zentor
