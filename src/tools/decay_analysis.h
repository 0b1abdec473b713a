// The numbers behind the large-room window: the third-octave analysis bands, the
// pairing of curves, and the energy-time, Schroeder and reverberation-time
// computations on one impulse or one pair of impulses. Nothing here draws or
// talks to a window, apart from the library's own messages on the calling thread.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <utility>

namespace zentor {

constexpr int32_t kDecayBands = 30;
// Every level of a decay curve is held at or above this.
constexpr float kDecayFloorDb = -90.0f;
// The start of the time axis: sample 0 lies this many ms before the impulse.
constexpr double kDecayLeadMs = 50.0;
// The longest reverberation time reported (ms).
constexpr float kMaxRT60Ms = 3000.0f;

struct DecayBand {
  float centre = 0;  // Hz
  float lower = 0;
  float upper = 0;
};

// Centres from 16 Hz upwards by 2^(1/3), each product kept in single precision;
// edges 2^(1/6) below and above.
const std::array<DecayBand, kDecayBands>& DecayBands();

// The 0-based curves whose product the Schroeder view of 0-based curve c
// integrates, in a set of `curves`.
std::pair<int32_t, int32_t> PickCurvePair(int32_t c, int32_t curves);

// Sample index of a time (ms) on the decay time axis, to the nearest sample.
int32_t DecayIndexOfTime(double ms, int32_t rate);
// x[i] = i * 1000 / rate - 50 for i < n.
void FillDecayTimeAxis(std::span<float> x, int32_t n, int32_t rate);

// The band-pass filter of the decay views over 2^order samples, counted (see
// DecayBandFilterRuns). Touches nothing shared.
bool DecayBandPass(std::span<float> signal, std::span<float> scratch, int32_t rate, int32_t order, float lf,
                   float hf);

// Scales values[0..n-1] so that the largest magnitude becomes `level`; false,
// with nothing changed, when they are all 0.
bool ScaleToPeak(std::span<float> values, int32_t n, float level);

// The energy-time curve of the 2^order-sample impulse y in place: its energy
// envelope smoothed by a Gaussian as wide as the band lf..hf calls for, moved back
// by the smoother's delay, in dB below its peak and not below the floor. Returns
// the number of valid points, or -1 (y untouched) when the band is empty or the
// smoother would be as long as the impulse. energy and window are scratch of
// 2^order values.
int32_t EnergyTimeCurve(std::span<float> y, int32_t order, int32_t rate, float lf, float hf,
                        std::span<float> energy, std::span<float> window);

// Work arrays of one pair's decay, each of at least 2^order values.
struct DecayScratch {
  std::span<float> first;
  std::span<float> second;
  std::span<float> kept;
  std::span<float> filter;
};

// What a band-passed product decays as.
struct ProductDecay {
  int32_t usable = 0;   // points before the backward integral first turns negative after 0 ms
  bool silent = false;  // the product was 0 throughout
};

// Band-passes copies of impulses a and b, multiplies them and integrates the
// product backwards from the first point after 0 ms where its own integral turns
// negative; that point is the count returned. On return kept[0..usable-1] holds the
// integral (not scaled). Touches nothing shared.
ProductDecay IntegrateProductDecay(std::span<const float> a, std::span<const float> b, int32_t order,
                                   int32_t rate, float lf, float hf, const DecayScratch& s);

// The Schroeder curve of a and b into y: the integrated product in dB below its
// peak (within its own points), not below the floor. Returns its point count.
ProductDecay SchroederCurve(std::span<const float> a, std::span<const float> b, int32_t order, int32_t rate,
                            float lf, float hf, const DecayScratch& s, std::span<float> y);

// One pair's decay slope in one band, fitted between indices i0 and i1 of the
// time axis. Safe to run for several bands and pairs at once, each with its own
// scratch.
struct BandSlope {
  bool counted = false;  // the usable decay reaches 1.2 x i1
  float slope = 0;       // dB per ms over i0..i1
  bool silent = false;
};
BandSlope PairBandSlope(std::span<const float> a, std::span<const float> b, int32_t order, int32_t rate,
                        const DecayBand& band, int32_t i0, int32_t i1, std::span<const float> timeAxis,
                        const DecayScratch& s);

// The RT60 of every band over all pairs of the loaded set (pairs 1-2, 3-4, ...),
// fitted between indices i0 and i1: band centres into x, times in ms into y (0
// where no majority of pairs gave a falling decay), accepted pairs per band into
// counts. pairDone runs on the calling thread after each pair. Bands the rate
// cannot carry report 0. The bands run on worker threads; the result does not
// depend on how many. False when a worker failed.
bool ComputeRT60(int32_t pairs, int32_t order, int32_t rate, int32_t i0, int32_t i1,
                 std::span<float, kDecayBands> x, std::span<float, kDecayBands> y,
                 std::span<float, kDecayBands> counts, const std::function<void(int32_t pair, bool silent)>& pairDone);

// Mean slope of the accepted pairs to RT60 (ms) under the majority and cap rules.
float RT60FromSlopes(float slopeSum, float count, int32_t pairs);

// Band filters run by the decay computations since start (both impulses of a
// pair count one each).
int64_t DecayBandFilterRuns();

}  // namespace zentor
