#include "tools/decay_analysis.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

#include "base/text_number.h"
#include "core/filter_design.h"
#include "core/filter_run.h"
#include "core/records.h"
#include "core/test_signals.h"
#include "display/curve_workers.h"
#include "platform/numeric/numeric.h"

namespace zentor {

namespace {

std::atomic<int64_t> bandFilterRuns{0};

// Highest fraction of the sample rate a band's upper edge may reach: above it the
// bilinear filter folds the band far below its label.
constexpr double kBandRateLimit = 0.45;

std::array<DecayBand, kDecayBands> MakeBands() {
  std::array<DecayBand, kDecayBands> bands{};
  float centre = 16.0f;
  for (DecayBand& b : bands) {
    // Each product is kept in single precision; the powers of two come out exact.
    centre = static_cast<float>(double(centre) * 1.2599210497);
    b.centre = centre;
    b.lower = static_cast<float>(double(centre) / 1.122462048);
    b.upper = static_cast<float>(double(centre) * 1.122462048);
  }
  return bands;
}

// Backward sum of values[0..n-1] in place (n >= 1 and within the span).
void SumBackward(std::span<float> values, int32_t n) {
  if (n >= 1 && static_cast<size_t>(n) <= values.size()) IntegrateBackward(values, n);
}

// Ten log ten of values[0..n-1] scaled to a peak of 1, negatives and zeros lifted
// to the library's floor first.
void ToDecibelsBelowPeak(std::span<float> values, int32_t n) {
  ScaleToPeak(values, n, 1.0f);
  CheckForNegatives(values, n);
  TenLogTenArray(values, n);
}

}  // namespace

bool DecayBandPass(std::span<float> signal, std::span<float> scratch, int32_t rate, int32_t order, float lf,
                   float hf) {
  FilterBlock block, section;
  ClearFilterBlock(block);
  ClearFilterBlock(section);
  bandFilterRuns.fetch_add(1, std::memory_order_relaxed);
  return BandPassFilterSignal(signal, scratch, rate, order, lf, hf, block, section);
}

const std::array<DecayBand, kDecayBands>& DecayBands() {
  static const std::array<DecayBand, kDecayBands> bands = MakeBands();
  return bands;
}

std::pair<int32_t, int32_t> PickCurvePair(int32_t c, int32_t curves) {
  if (curves <= 2) return {0, 1};
  if (c % 2 == 0) return c >= curves - 1 ? std::pair<int32_t, int32_t>{0, 1} : std::pair<int32_t, int32_t>{c, c + 1};
  return {c, c - 1};
}

int32_t DecayIndexOfTime(double ms, int32_t rate) { return CLng((ms / 1000.0 + kDecayLeadMs / 1000.0) * rate); }

void FillDecayTimeAxis(std::span<float> x, int32_t n, int32_t rate) {
  n = std::clamp<int32_t>(n, 0, static_cast<int32_t>(x.size()));
  if (rate <= 0) return;
  const double step = 1000.0 / rate;
  for (int32_t i = 0; i < n; ++i) x[static_cast<size_t>(i)] = static_cast<float>(i * step - kDecayLeadMs);
}

bool ScaleToPeak(std::span<float> values, int32_t n, float level) {
  n = std::clamp<int32_t>(n, 0, static_cast<int32_t>(values.size()));
  int32_t at = 0;
  FindImpulseC(values, n, at);
  if (n == 0) return false;
  const float peak = std::fabs(values[static_cast<size_t>(at)]);
  if (!(peak > 0) || !std::isfinite(peak)) return false;
  MultSingleByConst(values, n, level / peak);
  return true;
}

int32_t EnergyTimeCurve(std::span<float> y, int32_t order, int32_t rate, float lf, float hf,
                        std::span<float> energy, std::span<float> window) {
  if (order < 1 || order > 17) return -1;
  const int32_t n = int32_t{1} << order;
  if (y.size() < static_cast<size_t>(n) || energy.size() < static_cast<size_t>(n) ||
      window.size() < static_cast<size_t>(n))
    return -1;
  if (!(hf - lf > 0)) return -1;
  const float w = static_cast<float>(0.5 * rate / (double(hf) - double(lf)));
  const int32_t taps = CLng(3.0 * double(w));
  // The delay removal must leave points to show.
  if (taps < 1 || taps >= n) return -1;
  if (!EnergyEnvelope(y, energy, order)) return -1;
  GetSymmetricalPsycologicalGaussianWindow(window, taps, w);
  if (!Convolute(energy, y, window, n, taps)) return -1;
  const int32_t shift = CLng(taps / 2.0);
  const int32_t count = n - shift;
  CopySingle(y.subspan(static_cast<size_t>(shift)), y, count);
  NormalizeToPeak(y, 1.0f, order);
  CheckForNegatives(y, count);
  TenLogTenArray(y, count);
  for (int32_t i = 0; i < count; ++i) y[static_cast<size_t>(i)] = std::max(y[static_cast<size_t>(i)], kDecayFloorDb);
  return count;
}

ProductDecay IntegrateProductDecay(std::span<const float> a, std::span<const float> b, int32_t order,
                                   int32_t rate, float lf, float hf, const DecayScratch& s) {
  ProductDecay out;
  if (order < 0 || order > 17) return out;
  const int32_t n = int32_t{1} << order;
  for (std::span<float> w : {s.first, s.second, s.kept, s.filter})
    if (w.size() < static_cast<size_t>(n)) return out;
  if (a.size() < static_cast<size_t>(n) || b.size() < static_cast<size_t>(n)) return out;
  CopySingle(a, s.first, n);
  CopySingle(b, s.second, n);
  DecayBandPass(s.first, s.filter, rate, order, lf, hf);
  DecayBandPass(s.second, s.filter, rate, order, lf, hf);
  MultiplyArray(s.first, s.second, s.first, n);
  out.silent = !ScaleToPeak(s.first, n, 1.0f);
  CopySingle(s.first, s.kept, n);

  // Past the point where the integral of the product turns negative, noise that
  // differs between the two curves dominates: the decay is cut there.
  SumBackward(s.first, n);
  out.usable = n;
  for (int32_t i = std::max(0, CLng(rate * 0.05)); i < n; ++i)
    if (s.first[static_cast<size_t>(i)] < 0) {
      out.usable = i;
      break;
    }
  ClearArray(s.kept.subspan(static_cast<size_t>(out.usable)), n - out.usable);
  SumBackward(s.kept, out.usable);
  return out;
}

ProductDecay SchroederCurve(std::span<const float> a, std::span<const float> b, int32_t order, int32_t rate,
                            float lf, float hf, const DecayScratch& s, std::span<float> y) {
  const ProductDecay d = IntegrateProductDecay(a, b, order, rate, lf, hf, s);
  const int32_t m = std::min<int32_t>(d.usable, static_cast<int32_t>(y.size()));
  CopySingle(s.kept, y, m);
  ToDecibelsBelowPeak(y, m);
  for (int32_t i = 0; i < m; ++i) y[static_cast<size_t>(i)] = std::max(y[static_cast<size_t>(i)], kDecayFloorDb);
  return {m, d.silent};
}

BandSlope PairBandSlope(std::span<const float> a, std::span<const float> b, int32_t order, int32_t rate,
                        const DecayBand& band, int32_t i0, int32_t i1, std::span<const float> timeAxis,
                        const DecayScratch& s) {
  BandSlope out;
  const ProductDecay d = IntegrateProductDecay(a, b, order, rate, band.lower, band.upper, s);
  out.silent = d.silent;
  // The usable decay must reach a fifth beyond the end of the fit range.
  if (!(d.usable >= 1.2 * i1)) return out;
  out.counted = true;
  ToDecibelsBelowPeak(s.kept, d.usable);
  float fit[1] = {0};
  LinearExtrapolationC(timeAxis, s.kept.first(static_cast<size_t>(d.usable)), i0, i1, fit);
  out.slope = fit[0];
  return out;
}

float RT60FromSlopes(float slopeSum, float count, int32_t pairs) {
  // More than half of the pairs must give a falling decay.
  if (!(count > static_cast<float>(pairs) / 2.0f)) return 0.0f;
  const float mean = slopeSum / count;
  if (mean >= -0.0001f) return 0.0f;
  return std::min(-60.0f / mean, kMaxRT60Ms);
}

bool ComputeRT60(int32_t pairs, int32_t order, int32_t rate, int32_t i0, int32_t i1,
                 std::span<float, kDecayBands> x, std::span<float, kDecayBands> y,
                 std::span<float, kDecayBands> counts,
                 const std::function<void(int32_t pair, bool silent)>& pairDone) {
  const std::array<DecayBand, kDecayBands>& bands = DecayBands();
  std::fill(y.begin(), y.end(), 0.0f);
  std::fill(counts.begin(), counts.end(), 0.0f);
  for (int32_t b = 0; b < kDecayBands; ++b) x[static_cast<size_t>(b)] = bands[static_cast<size_t>(b)].centre;
  pairs = std::min(pairs, kMaxResults / 2);
  if (pairs <= 0 || order < 0 || order > 17 || rate <= 0) return true;
  const int32_t n = int32_t{1} << order;
  std::vector<float> time(static_cast<size_t>(n));
  FillDecayTimeAxis(time, n, rate);

  // One job per band of each pair, filed in order so that the sums do not depend on
  // which worker finished first.
  const int32_t jobs = pairs * kDecayBands;
  std::vector<BandSlope> results(static_cast<size_t>(jobs));
  const auto compute = [&](int32_t job, const WorkerScratch& w) {
    const int32_t p = job / kDecayBands;
    const DecayBand& band = bands[static_cast<size_t>(job % kDecayBands)];
    if (band.upper >= kBandRateLimit * rate) return;
    const auto half = [n](std::span<float> v, int32_t k) {
      return v.subspan(static_cast<size_t>(k) * static_cast<size_t>(n), static_cast<size_t>(n));
    };
    const DecayScratch s{half(w.A, 0), half(w.A, 1), half(w.B, 0), half(w.B, 1)};
    results[static_cast<size_t>(job)] = PairBandSlope(ImpulseSet[static_cast<size_t>(2 * p + 1)],
                                                      ImpulseSet[static_cast<size_t>(2 * p)], order, rate, band,
                                                      i0, i1, time, s);
  };
  bool faulted = false;
  bool pairSilent = false;
  std::array<float, kDecayBands> sums{};
  const auto file = [&](int32_t job, bool fault) {
    if (fault) {
      faulted = true;
      return false;
    }
    const int32_t b = job % kDecayBands;
    const BandSlope& r = results[static_cast<size_t>(job)];
    pairSilent = pairSilent || r.silent;
    if (r.counted && r.slope < 0) {
      sums[static_cast<size_t>(b)] += r.slope;
      counts[static_cast<size_t>(b)] += 1.0f;
    }
    if (b == kDecayBands - 1) {
      if (pairDone) pairDone(job / kDecayBands, pairSilent);
      pairSilent = false;
    }
    return true;
  };
  ComputeAndFileInOrder(jobs, compute, file);
  if (faulted) return false;
  for (int32_t b = 0; b < kDecayBands; ++b)
    y[static_cast<size_t>(b)] = RT60FromSlopes(sums[static_cast<size_t>(b)], counts[static_cast<size_t>(b)], pairs);
  return true;
}

int64_t DecayBandFilterRuns() { return bandFilterRuns.load(); }

}  // namespace zentor
