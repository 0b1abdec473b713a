// Outside-equaliser emulation: the frequency, width and level steps that each
// emulated equaliser offers, the quantisers that snap a filter onto them, the
// conversions between a filter's Q pair and the equaliser's width control, and
// the sample-rate check that an emulation needs.
//
// EQEmulationCode: 1 DSP 1124P, 2 Bristow-Johnson cookbook, 3 Classic Audio,
// 4 FBQ2496, 5 DCX 2496. Only 1, 4 and 5 have steps.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "core/filter_record.h"

namespace zentor {

// Step tables of the model whose code is EmulationModel (0 at start-up: none built).
extern int32_t EmulationModel;
extern std::array<float, 2001> EmulationFreqSteps;  // rad/s
extern int32_t EmulationFreqCount;
extern std::array<float, 201> EmulationQSteps;  // 1/60 octave (codes 1, 4) or Q (code 5)
extern int32_t EmulationQCount;
extern std::array<float, 401> EmulationLevelSteps;  // dB
extern int32_t EmulationLevelCount;
extern std::array<float, 31> ISOBandCentres;  // Hz, 20 .. 20000

// Set by the main window at start-up. OpenResampleWindow is offered by
// CheckEmulationSampleRate after its resample message for codes 4 and 5; unset
// means no offer.
struct EmulationLinks {
  std::function<void()> OpenResampleWindow;
};
extern EmulationLinks EmulationHooks;

// The 31 ISO third-octave centres (Hz) into bands[0..30]; a shorter array gets
// as many as it holds.
void FillISOThirdOctaveBands(std::span<float> bands);

// Makes the tables of `code` the current ones. Each code's tables are computed
// once and kept, so switching models only copies them. Codes without steps
// become the model with empty tables.
void BuildEmulationStepTables(int32_t code);

// The entry of table[0..count-1] nearest to value (codes 1, 4, 5; the lower index
// wins a tie) or, for other codes, the value itself, rounded to two decimals half
// away from zero.
float NearestStepValue(float value, std::span<const float> table, float count, int32_t code);
// The same as text in its shortest form, for display.
std::string NearestStepText(float value, std::span<const float> table, float count, int32_t code);

// Nearest allowed centre frequency (rad/s), width, level (dB) of the model.
float QuantizeEmulatedFrequency(int32_t code, float value);
float QuantizeEmulatedQ(int32_t code, float value);
float QuantizeEmulatedLevel(int32_t code, float value);

// Centre Q from the model's width: code 1: 1/(x sqrt 2); code 4: sqrt 2/x; code 5: x.
float BandwidthToQForFilterType(float x, int32_t code);
// Q1 from the model's width x and level L (dB); negative (boost) when L > 0.
float ConvertEmulatedQ(float x, float L, int32_t code);
// The model's width from a filter's Q pair: octaves for codes 1 and 4, |Q1| for 5.
float ConvertEmulatedBandwidth(float Q1, float Q2, int32_t code);
// Q1 from a centre Q x and level L; negative when L > 0.
float ConvertQForFilterType(float x, float L, int32_t code);
// Centre Q of a filter whose larger Q is x at level L: |x| 10^(-|L|/40).
float ScaleQByGain(float L, float x);

// Snaps one filter (centre rad/s, Q1, Q2) onto the steps of codes 1, 4 and 5;
// other codes leave it unchanged.
void EmulateEQBand(int32_t code, float& Freq1, float& Q1, float& Q2);

// True when every filter of the set (count in element 0) may run at the rate.
bool CheckEmulationSampleRate(std::span<const FilterRecord> filters, int32_t sampleRate);

}  // namespace zentor
