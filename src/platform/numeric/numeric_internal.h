// Shared pieces of the numeric library's own implementation (not for other modules).
#pragma once

#include <fftw3.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>

namespace zentor::numeric_detail {

struct FftwFree {
  void operator()(void* p) const { fftw_free(p); }
};
using DoubleBuffer = std::unique_ptr<double[], FftwFree>;
using ComplexBuffer = std::unique_ptr<fftw_complex[], FftwFree>;

// Aligned, zero-filled buffers (FFTW's alignment, so cached plans run on them).
DoubleBuffer AllocDoubles(std::size_t n);
ComplexBuffer AllocComplex(std::size_t n);

inline constexpr int kMaxRealOrder = 22;

// Real transforms in double precision on buffers from the allocators above:
// in[2^k] -> out[2^(k-1) + 1], and back (unscaled; destroys its input).
void ForwardReal(int k, double* in, fftw_complex* out);
void InverseReal(int k, fftw_complex* in, double* out);

// FFTW's planners (single, double) are not re-entrant and a background worker uses
// them: any other planning in the program must hold these.
std::mutex& SinglePlannerMutex();
std::mutex& DoublePlannerMutex();

// Writes the planner's wisdom (double or single precision) to the file through the
// atomic writer; the caller holds that precision's planner mutex.
bool WriteFftWisdom(bool doublePrecision, const std::string& file);

// Blocks until the background worker has measured every size handed to it so far
// (benchmarks use it to time the plans a program in steady use runs).
void WaitForTransformTuning();
// Waits for the worker, then runs the measured plans from now on, as the next start
// would (benchmarks only: the program never changes plans mid-run).
void AdoptTunedPlans();

// Smallest k with 2^k >= n (n >= 1).
int OrderFor(std::size_t n);

// Both convolution paths, so each can be checked against the other.
void ConvoluteDirect(const float* in, float* out, const float* win, int32_t n, int32_t L);
void ConvoluteFft(const float* in, float* out, const float* win, int32_t n, int32_t L);

// Clamp a requested count to what a span holds (negative gives 0).
template <class T>
inline int32_t Clamp(std::span<T> s, int32_t n) {
  if (n <= 0) return 0;
  return static_cast<std::size_t>(n) > s.size() ? static_cast<int32_t>(s.size()) : n;
}

}  // namespace zentor::numeric_detail
