#include "measurement/excitation.h"

#include <algorithm>
#include <cmath>

#include "base/text_number.h"
#include "core/filter_design.h"
#include "core/filter_run.h"
#include "core/test_signals.h"
#include "platform/dialogs.h"
#include "platform/numeric/numeric.h"

namespace zentor {

namespace {

constexpr double kHybridTwoPi = 6.28318530717959;
constexpr double kCrossoverTwoPi = 6.283;  // the corner the crossover was always built with
constexpr int32_t kMaxPeriodExponent = 20;

bool Holds(std::span<const float> a, std::size_t n) { return a.size() >= n; }

bool PeriodFits(std::span<const int16_t> out, int32_t p) {
  return p >= 2 && p <= kMaxPeriodExponent && out.size() >= (std::size_t{1} << p);
}

bool ShapeFits(std::span<const float> shape, int32_t e) {
  return e >= 0 && e <= kMaxPeriodExponent && shape.size() >= (std::size_t{1} << e);
}

}  // namespace

bool BuildSweepExcitation(std::span<const float> shape, int32_t e, std::span<int16_t> out, int32_t p, int32_t rate,
                          const ExcitationWork& work) {
  if (!PeriodFits(out, p) || !ShapeFits(shape, e) || rate <= 0) return false;
  const auto upper = static_cast<float>(0.99 * static_cast<double>(rate) / 2.0);
  return BuildTestSignal(shape, 1 << e, out, 1 << p, kExcitationPeak, rate, kSweepLowestHz, upper, work.sweep);
}

bool BuildPinkWeightedMLS(std::span<float> signal, std::span<float> imaginary, int32_t n, float amplitude,
                          int32_t fs, float cornerHz) {
  if (n < kMinMLSOrder || n > kMaxMLSOrder || fs <= 0) return false;
  const std::size_t len = std::size_t{1} << n;
  if (!Holds(signal, len) || !Holds(imaginary, len)) return false;
  const auto count = static_cast<int32_t>(len);
  ClearArray(imaginary, count);
  if (!BuildMLSSequenceSingle(signal, n, CLng(amplitude))) return false;
  if (!fft(signal, imaginary, n)) return false;

  // s^2 / (s + w)^2: a double real pole at -w and two zeros at the origin.
  double re1 = 0, im1 = 0, re2 = 0, im2 = 0;
  ResonanceRoots(0.5, kHybridTwoPi * cornerHz, re1, im1, re2, im2);
  FilterBlock& block = WorkFilterBlock;
  ClearFilterBlock(block);
  block.samplerate = fs;
  block.Domain = kDomainSPlane;
  block.NumPoles = 2;
  block.PoleRe[0] = re1;
  block.PoleIm[0] = im1;
  block.PoleRe[1] = re2;
  block.PoleIm[1] = im2;
  block.NumZeros = 2;
  block.AnalogGain = block.DigitalGain = 1.0;
  if (BilinearTransformFilterBlock(block))
    ComplexZFilterC(signal, imaginary, count, fs, block.PoleRe, block.PoleIm, block.ZeroRe, block.ZeroIm,
                    block.NumPoles, block.NumZeros, block.Domain, block.AnalogGain, block.DigitalGain);
  else
    MsgBox("Error 7119");

  PinkEnergyWeightArray(signal, n, fs);
  PinkEnergyWeightArray(imaginary, n, fs);
  if (!ifft(signal, imaginary, n)) return false;
  NormalizeToPeak(signal, amplitude, n);
  return true;
}

bool BuildHybridExcitation(std::span<const float> shape, int32_t e, std::span<int16_t> out, int32_t p, int32_t rate,
                           const ExcitationWork& work) {
  if (!PeriodFits(out, p) || !ShapeFits(shape, e) || rate <= 0) return false;
  const int32_t n = 1 << p;
  if (!BuildTestSignal(shape, 1 << e, out, n, kExcitationPeak, rate, kSweepLowestHz, kHybridSplitHz, work.sweep))
    return false;
  if (!BuildPinkWeightedMLS(work.signal, work.imaginary, p, static_cast<float>(kExcitationPeak), rate,
                            kHybridSplitHz))
    return false;
  for (int32_t i = 0; i < n; ++i) work.signal[static_cast<std::size_t>(i)] += out[static_cast<std::size_t>(i)];
  NormalizeToPeak(work.signal, static_cast<float>(kExcitationPeak), p);
  CopySingleToInt(work.signal, out, n);
  return true;
}

bool HighPassCrossoverMLS(std::span<int16_t> out, int32_t p, int32_t rate, float crossoverHz,
                          const ExcitationWork& work) {
  if (!PeriodFits(out, p) || p < 8 || rate <= 0) return false;
  const int32_t n = 1 << p;
  const auto runLength = static_cast<std::size_t>(n) + kCrossoverRunOn;
  if (!Holds(work.extended, runLength) || !Holds(work.filterScratch, runLength)) return false;

  // The period with the last 100 samples before it and the first 100 after it.
  std::span<float> ext = work.extended;
  CopyIntToSingle(out.subspan(static_cast<std::size_t>(n - kCrossoverLead)), ext, kCrossoverLead);
  CopyIntToSingle(out, ext.subspan(kCrossoverLead), n);
  CopyIntToSingle(out, ext.subspan(static_cast<std::size_t>(n + kCrossoverLead)), kCrossoverLead);
  // What follows is only run-on for the filter; cleared so a build never depends on the last one.
  const auto tail = static_cast<std::size_t>(n + 2 * kCrossoverLead);
  ClearArray(ext.subspan(tail), static_cast<int32_t>(ext.size() - tail));

  FilterBlock& block = WorkFilterBlock;
  ClearFilterBlock(block);
  block.samplerate = rate;
  block.Domain = kDomainSPlane;
  block.NumPoles = 2;
  block.NumZeros = 0;
  block.AnalogGain = block.DigitalGain = 1.0;
  BuildButterworthPoles(block);
  LowPassToHighPass(block, 1.0);
  ScaleFilterBlockFrequency(block, kCrossoverTwoPi * crossoverHz);
  RunFilterBlockInSections(ext, work.filterScratch, rate, static_cast<int32_t>(runLength), block);

  // The window that is played is the one scaled: its last samples lie past 2^P.
  std::span<float> period = ext.subspan(kCrossoverLead);
  NormalizeToPeak(period, static_cast<float>(kExcitationPeak), p);
  CopySingleToInt(period, out, n);
  return true;
}

bool BuildCrossoverMLSExcitation(std::span<int16_t> out, int32_t p, int32_t rate, float crossoverHz,
                                 const ExcitationWork& work) {
  if (!BuildMLSSequence(out, p, kExcitationPeak)) return false;
  return HighPassCrossoverMLS(out, p, rate, crossoverHz, work);
}

// ---- Small operations ------------------------------------------------------------

bool CopySweepPeriodicDataToNewBuffer(std::span<int16_t> buffer, int32_t p, int32_t q) {
  if (p < 0 || p > 30 || q < 0 || q > 30) return false;
  const std::size_t from = std::size_t{1} << p, count = std::size_t{1} << q;
  if (buffer.size() < from + count || count > from) return false;
  std::copy_n(buffer.begin(), count, buffer.begin() + static_cast<std::ptrdiff_t>(from));
  return true;
}

bool CopyMLSPeriodicDataToNewBuffer(std::span<int16_t> buffer, int32_t a, int32_t b) {
  if (a < 1 || a > 30 || b < 0 || b > 30) return false;
  const std::size_t from = (std::size_t{1} << a) - 1, count = std::size_t{1} << b;
  if (buffer.size() < from + count || count > from) return false;
  std::copy_n(buffer.begin(), count, buffer.begin() + static_cast<std::ptrdiff_t>(from));
  return true;
}

namespace {

// Cell i + order is the exclusive or of cell i and cells i + t of the order's list.
struct SeedTaps {
  int32_t order;
  int count;
  int t[3];
};
constexpr SeedTaps kSeedTaps[] = {
    {20, 1, {17}},         {19, 3, {13, 14, 18}}, {18, 1, {11}},         {17, 1, {14}},         {16, 3, {11, 13, 14}},
    {15, 1, {14}},         {14, 3, {2, 3, 13}},   {13, 3, {9, 10, 12}},  {12, 3, {5, 8, 9}},
};
constexpr std::size_t kSeedCells = 26;

}  // namespace

bool BuildMLSSeed(std::span<int16_t> buffer, int32_t order, int32_t b) {
  if (order < 0 || order > 24 || b < 0 || b > 24) return false;
  const std::size_t total = (std::size_t{1} << order) + (std::size_t{1} << b);
  if (buffer.size() < total) return false;
  std::fill_n(buffer.begin(), std::min(kSeedCells, total), int16_t{1});
  if (total > kSeedCells) std::fill(buffer.begin() + kSeedCells, buffer.begin() + static_cast<std::ptrdiff_t>(total), 0);
  const auto* taps = std::find_if(std::begin(kSeedTaps), std::end(kSeedTaps),
                                  [order](const SeedTaps& s) { return s.order == order; });
  if (taps == std::end(kSeedTaps)) return true;
  const auto o = static_cast<std::size_t>(order);
  for (std::size_t i = 0; i + o < total; ++i) {
    int16_t bit = buffer[i];
    for (int k = 0; k < taps->count; ++k) bit ^= buffer[i + static_cast<std::size_t>(taps->t[k])];
    buffer[i + o] = bit;
  }
  return true;
}

void FlattenEnergyDistributionAbove(float f, std::span<float> spectrum, int32_t a, int32_t fs) {
  if (a < 0 || a > 30 || fs <= 0 || !std::isfinite(f)) return;
  const std::size_t n = std::min(std::size_t{1} << a, spectrum.size());
  const double k = std::nearbyint(std::ldexp(static_cast<double>(f), a) / fs);
  if (k < 0 || k >= static_cast<double>(n)) return;
  const auto k0 = static_cast<std::size_t>(k);
  std::fill(spectrum.begin() + static_cast<std::ptrdiff_t>(k0), spectrum.begin() + static_cast<std::ptrdiff_t>(n),
            spectrum[k0]);
}

void FixSweepAmplitude(std::span<const float> envelope, std::span<int16_t> sweep, int32_t order, float level) {
  if (order < 0 || order > 30) return;
  const std::size_t n = std::min({std::size_t{1} << order, envelope.size(), sweep.size()});
  std::size_t k = 0;
  while (k < n && !(envelope[k] > level)) ++k;
  if (k == n) k = 0;
  for (std::size_t i = k; i < n; ++i) {
    const double ratio = static_cast<double>(level) / envelope[i];
    if (!(ratio >= 0) || !std::isfinite(ratio)) continue;  // no envelope there: nothing to scale by
    sweep[i] = CInt(sweep[i] * std::sqrt(ratio));
  }
}

}  // namespace zentor
