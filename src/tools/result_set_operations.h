// Operations on the whole result set that the file-operations window offers:
// swapping two results, resampling to a higher rate and shortening every
// impulse. The window does the checks and the messages.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "core/records.h"

namespace zentor {

// Exchanges results a and b (0-based): samples and headers, each element keeping
// its count field. Indexes outside the held set change nothing (false).
bool SwapResults(int32_t a, int32_t b);

// The lengths and factors of one resample run.
struct ResamplePlan {
  int32_t OldRate = 0;
  int32_t NewRate = 0;
  int32_t L = 0;  // samples of a stored impulse, 2^min(PeriodExponent, 17)
  int32_t K = 0;  // new period exponent: largest i <= 17 with 2^i <= u L
  int32_t M = 0;  // 2^K
  int32_t T = 0;  // end taper: 12.5 ms at the old rate
  float r = 1;    // OldRate / NewRate
  float u = 1;    // 1 / r
};
ResamplePlan PlanResample(int32_t oldRate, int32_t newRate, int32_t periodExponent);
constexpr int32_t kResampleBufferPoints = 262144;
// Resamples impulse[0..L) into buffer[0..M), scaled by r; buffer (at least
// kResampleBufferPoints) is zero from M on. False when the transform refused.
bool ResampleImpulse(const ResamplePlan& plan, std::span<const float> impulse, std::span<float> buffer);

// Shortens one stored impulse to n samples: the mean of its first n samples (its
// DC term) removed, the last taper samples faded to zero, zero from n on.
void CompressImpulse(std::span<float> impulse, int32_t n, int32_t taper);

}  // namespace zentor
