// One period of each excitation the measurement runs play (42 MLS through a
// crossover high-pass, 43 hybrid, 87 shaped sweep), and the window's small signal
// operations on 16-bit play buffers. Every excitation peaks at 15000.
//
// The builders work only in the spans they are given, so the main test and the
// levels check each pass their own buffers. They return false, with nothing
// reported, when a span is too short, an exponent is out of range or the numeric
// library refuses; the caller reports that as a fault of its stage. The filter
// routines report their own failures and the build goes on, as it does after a
// silent period ("Error 2341").
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/work_arrays.h"

namespace zentor {

inline constexpr int32_t kExcitationPeak = 15000;
inline constexpr float kHybridSplitHz = 250.0f;
inline constexpr float kSweepLowestHz = 5.0f;
// Samples of the periodic signal placed before and after the MLS period while it is
// filtered, so that the filter's start transient falls outside the period.
inline constexpr int32_t kCrossoverLead = 100;
// Samples the crossover filter runs over beyond the period.
inline constexpr int32_t kCrossoverRunOn = 50000;

// The scratch a build may use.
struct ExcitationWork {
  std::span<float> sweep;      // the sweep builder's work array (2^18)
  std::span<float> signal;     // the pink-weighted MLS (2^P)
  std::span<float> imaginary;  // its spectrum's imaginary part (2^P)
  std::span<float> extended;   // the periodically extended MLS (2^P + 50000)
  std::span<float> filterScratch;
};

// The spectral shape of the sweep, in dB: the first `bins` values of WorkCurveAux,
// which must hold them.
inline std::span<float> ExcitationShape(std::size_t bins) { return {WorkCurveAux.data(), bins}; }

// 87: a sweep up to 0.99 x rate / 2 whose rate follows the dB shape of 2^e values.
bool BuildSweepExcitation(std::span<const float> shape, int32_t e, std::span<int16_t> out, int32_t p, int32_t rate,
                          const ExcitationWork& work);

// 43: the sweep below 250 Hz plus the pink-weighted MLS above it, normalised together.
bool BuildHybridExcitation(std::span<const float> shape, int32_t e, std::span<int16_t> out, int32_t p, int32_t rate,
                           const ExcitationWork& work);

// 42: the MLS of order p, then its high-pass at the crossover frequency (Hz).
// HighPassCrossoverMLS filters a period already in out; the run validates the
// frequency between the two steps.
bool BuildCrossoverMLSExcitation(std::span<int16_t> out, int32_t p, int32_t rate, float crossoverHz,
                                 const ExcitationWork& work);
bool HighPassCrossoverMLS(std::span<int16_t> out, int32_t p, int32_t rate, float crossoverHz,
                          const ExcitationWork& work);

// The high-passed (s^2 / (s + w)^2, w = 2 pi corner), pink-weighted MLS of order n
// into signal, peak = amplitude; imaginary is scratch. "Error 7119" when the
// high-pass cannot be made digital: the MLS is then only weighted.
bool BuildPinkWeightedMLS(std::span<float> signal, std::span<float> imaginary, int32_t n, float amplitude,
                          int32_t fs, float cornerHz);

// Samples 0 .. 2^q - 1 copied to 2^p .. 2^p + 2^q - 1.
bool CopySweepPeriodicDataToNewBuffer(std::span<int16_t> buffer, int32_t p, int32_t q);
// Samples 0 .. 2^b - 1 copied to 2^a - 1 .. 2^a + 2^b - 2 (an MLS period is 2^a - 1).
bool CopyMLSPeriodicDataToNewBuffer(std::span<int16_t> buffer, int32_t a, int32_t b);
// A shift-register sequence of ones and zeros in cells 0 .. 2^order + 2^b - 1: the
// all-ones seed, then the recurrence of the order (12..20; other orders only seed
// and clear).
bool BuildMLSSeed(std::span<int16_t> buffer, int32_t order, int32_t b);
// With k0 = nint(2^a f / fs): values k0 .. 2^a - 1 take the value at k0.
void FlattenEnergyDistributionAbove(float f, std::span<float> spectrum, int32_t a, int32_t fs);
// From the first sample whose envelope exceeds level (0 when none does), every
// sample is scaled by sqrt(level / its envelope) and rounded.
void FixSweepAmplitude(std::span<const float> envelope, std::span<int16_t> sweep, int32_t order, float level);

}  // namespace zentor
