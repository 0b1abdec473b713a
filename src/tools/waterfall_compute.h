// The waterfall's numbers: gated power spectra of successive slices of each
// impulse, their power average in dB, the equaliser applied in the frequency
// domain, and the level limits read from the slices. The window that drives them
// is ThreeDForm; these parts touch no window.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/filter_record.h"
#include "core/records.h"

namespace zentor {

constexpr int32_t kWaterfallSlices = 35;
constexpr int32_t kWaterfallPoints = 2000;         // points of one slice that are filled
constexpr int32_t kWaterfallSliceSize = 2001;      // levels and frequencies held per slice
constexpr int32_t kWaterfallStoreCurves = 33;      // results kept for the single-result view
constexpr int32_t kWaterfallOrder = 17;            // impulse samples used per result: 2^17
constexpr float kWaterfallReferenceMs = 50.0f;     // time zero of every slice gate

// One slice: Count valid points; levels are linear power in the per-result sets and
// dB in the averaged sets; frequencies in Hz.
struct WaterfallSlice {
  int32_t Count = 0;
  std::array<float, kWaterfallSliceSize> Levels{};
  std::array<float, kWaterfallSliceSize> Freqs{};
};
// Slice 0 starts earliest.
using WaterfallSliceSet = std::array<WaterfallSlice, kWaterfallSlices>;

struct WaterfallSettings {
  float GateTime = 0;  // ms
  float Lower = 0;     // Hz
  float Upper = 0;     // Hz
};
bool WaterfallSettingsEqual(const WaterfallSettings& a, const WaterfallSettings& b);

// The applied filters a filtered waterfall was computed with.
struct FilterSnapshot {
  std::array<float, kMaxFilters> Freq1{};  // rad/s
  std::array<float, kMaxFilters> Q1{};
  std::array<float, kMaxFilters> Q2{};
  std::array<int32_t, kMaxFilters> EQEmulationCode{};
  float Count = 0;
};
// Count clamped to 0..75 (a filter file may carry any count).
int32_t SnapshotCount(const FilterSnapshot& s);
void SnapshotAppliedFilters(FilterSnapshot& into);
void CopyFilterSnapshot(const FilterSnapshot& from, FilterSnapshot& to);
bool FilterSnapshotsEqual(const FilterSnapshot& a, const FilterSnapshot& b);

// The text of 2 x gate.
std::string GetSpanText(float gate);

// The span (ms) the slices start within: 2 x gate, shortened so that the last slice
// still ends inside the stored impulse of 2^storedExponent samples. Not positive
// when the gate alone is too long.
float WaterfallSpan(float gate, int32_t rate, int32_t storedExponent);

// Where the slices lie in each transform; the same for every result of a set.
struct SliceGeometry {
  int32_t Rate = 0;
  int32_t K = 0;        // transform of 2^K points
  double Bin = 0;       // Hz per bin
  int32_t LowBin = 0;   // bin of the lowest frequency the gate resolves
  int32_t Count = 0;    // points per slice
  float Gate = 0;       // ms
  float Step = 0;       // ms between slice starts
  int32_t Reference = 0;  // samples to time zero of the gate
};
// False (and Count 0) when the rate, gate, span or transform size cannot make slices.
bool MakeSliceGeometry(int32_t rate, int32_t k, float gate, float span, SliceGeometry& g);
// x(j) = (LowBin + j) x Bin for j < Count.
void FillSliceFrequencies(const SliceGeometry& g, std::span<float> freqs);

// The combined response of the filters of a snapshot over 2^order bins at a rate,
// one bilinear peaking section per filter; bins above the middle hold the conjugate
// response. Shows "Error 4929" for a section quality below 0.05 and "Error 7122"
// when a section cannot be made digital; such faults do not stop the others.
// Runs on the calling thread with the dialogs; the sections are evaluated on workers.
// The number of sections formed (0: the response is flat), -1 when refused.
int32_t FormEqualiserResponse(const FilterSnapshot& filters, int32_t rate, int32_t order, std::span<float> hRe,
                           std::span<float> hIm);

// Filters the impulse in re (2^order samples) by a combined response: transform,
// multiply, inverse transform. im is scratch of 2^order. False when a transform
// was refused (re then holds what was done so far).
bool ApplyEqualiserToImpulse(std::span<float> re, std::span<float> im, int32_t order, std::span<const float> hRe,
                             std::span<const float> hIm);

// The power spectra (|X|^2) of the 35 slices of one impulse of 2^kWaterfallOrder
// samples, slice s in levels[s * kWaterfallPoints ...], g.Count points each.
// scratchA and scratchB hold at least 2^18 values each. With a response the impulse
// is filtered first; false when that filtering failed (the slices are still made).
// Only slices firstSlice..endSlice-1 are made, so one impulse's slices can be
// shared out among workers.
bool ComputeCurveSlices(std::span<const float> impulse, const SliceGeometry& g, std::span<const float> hRe,
                        std::span<const float> hIm, std::span<float> levels, std::span<float> scratchA,
                        std::span<float> scratchB, int32_t firstSlice = 0, int32_t endSlice = kWaterfallSlices);

// The largest level within lower..upper Hz (inclusive) over all slices, plus 1 dB;
// -9999 when no point lies there.
float GetWaterfallPeakLevel(const WaterfallSliceSet& slices, float lower, float upper);
// The mean level of slices 29 to 33; "error 5297" and 0 when they hold no point.
float GetWaterfallFloorLevel(const WaterfallSliceSet& slices);

}  // namespace zentor
