#include "tools/result_set_operations.h"

#include <algorithm>

#include "base/text_number.h"
#include "core/results_store.h"
#include "platform/numeric/numeric.h"

namespace zentor {

namespace {

// Quiet samples put before the impulse so that the interpolation kernel sees
// silence, not the wrapped end, at time zero.
constexpr int32_t kLeadIn = 100;
constexpr int32_t kTail = 200;

}  // namespace

bool SwapResults(int32_t a, int32_t b) {
  const int32_t n = std::clamp(ResultsDataSetInfo[0].NumInSet, 0, kMaxResults);
  if (a < 0 || b < 0 || a >= n || b >= n) return false;
  if (a == b) return true;
  MeasurementHeader& ha = ResultsDataSetInfo[static_cast<size_t>(a)];
  MeasurementHeader& hb = ResultsDataSetInfo[static_cast<size_t>(b)];
  const MeasurementHeader keep = ha;
  CopyMeasurementHeader(hb, ha);
  CopyMeasurementHeader(keep, hb);
  std::swap(ImpulseSet[static_cast<size_t>(a)], ImpulseSet[static_cast<size_t>(b)]);
  return true;
}

ResamplePlan PlanResample(int32_t oldRate, int32_t newRate, int32_t periodExponent) {
  ResamplePlan p;
  p.OldRate = oldRate;
  p.NewRate = newRate;
  p.L = 1 << std::clamp(periodExponent, 0, kMaxSamplesExponent);
  p.r = static_cast<float>(oldRate) / static_cast<float>(newRate);
  p.u = 1.0f / p.r;
  const double span = static_cast<double>(p.u) * p.L;
  p.K = 0;
  for (int32_t i = 0; i <= kMaxSamplesExponent; ++i)
    if (static_cast<double>(int64_t{1} << i) <= span) p.K = i;
  p.M = 1 << p.K;
  p.T = ImpulseTaperLength(oldRate);
  return p;
}

bool ResampleImpulse(const ResamplePlan& p, std::span<const float> impulse, std::span<float> buffer) {
  const auto size = static_cast<int32_t>(std::min<size_t>(buffer.size(), kResampleBufferPoints));
  if (size < p.L + kTail || size < p.M + 2 * kTail || static_cast<int32_t>(impulse.size()) < p.L) return false;
  std::fill(buffer.begin(), buffer.end(), 0.0f);
  std::copy_n(impulse.begin(), p.L, buffer.begin());
  TaperEndOfImpulseC(buffer, p.T, p.L + kTail);
  RotateImpulseRightC(p.L + kTail, buffer, kLeadIn);
  if (!ReSample(buffer, static_cast<float>(p.OldRate), static_cast<float>(p.NewRate), p.NewRate, p.M + 2 * kTail,
                kLeadIn))
    return false;
  // The lead-in is now 100 u samples long.
  const int32_t span = std::min<int32_t>(CLng(p.M + kTail * static_cast<double>(p.u)), size);
  RotateImpulseLeftC(span, buffer, CLng(kLeadIn * static_cast<double>(p.u)));
  // The whole time span is kept: faded and cut at the new length.
  TaperEndOfImpulseC(buffer, p.T, p.M);
  std::fill(buffer.begin() + p.M, buffer.end(), 0.0f);
  // The level follows the rate ratio, so that the sum of an impulse stays.
  for (int32_t j = 0; j < p.M; ++j) buffer[static_cast<size_t>(j)] *= p.r;
  return true;
}

void CompressImpulse(std::span<float> impulse, int32_t n, int32_t taper) {
  n = std::clamp<int32_t>(n, 0, static_cast<int32_t>(impulse.size()));
  if (n == 0) return;
  // Removing the DC bin of an n-point transform is subtracting the n-sample mean.
  double sum = 0;
  for (int32_t j = 0; j < n; ++j) sum += impulse[static_cast<size_t>(j)];
  const double mean = sum / n;
  for (int32_t j = 0; j < n; ++j)
    impulse[static_cast<size_t>(j)] = static_cast<float>(impulse[static_cast<size_t>(j)] - mean);
  TaperEndOfImpulseC(impulse, taper, n);
  std::fill(impulse.begin() + n, impulse.end(), 0.0f);
}

}  // namespace zentor
