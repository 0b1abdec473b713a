#include "analysers/test_cd_extract.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

#include "base/text_number.h"
#include "mainwindow/measurement_file.h"
#include "platform/numeric/numeric.h"

namespace zentor {

namespace {

constexpr int32_t kAlignWidth = 4;
constexpr float kPeakTime = 0.05f;       // s, where the peak is put
constexpr float kCorrectionTime = 0.2f;  // s of the correction impulse kept
constexpr float kLowCutHz = 15.0f;
constexpr int32_t kResampleMargin = 800;  // extra output samples; the period starts at half of it
constexpr int32_t kDetectGuard = 800;     // recorded samples left out of the clock search
constexpr int32_t kDriftTaper = 65536;
constexpr float kWeakCentre = 0.05f;  // centre power below this share of the variants' is bridged

const std::array<int32_t, kTestCDToneSlots>& ToneTable(const TestCDSettings& p, int32_t variant) {
  return variant == kTestCDRight ? p.RightToneBins : p.LeftToneBins;
}

// Replaces H over the weak bins by a straight line between the nearest sound
// bins on either side, drawn after removing the impulse's delay (found from a
// first, noisy transform) so that what is bridged is smooth.
void BridgeWeakBins(TestCDWork& w, int32_t order) {
  const int32_t n = w.PeriodLength;
  CopySingle(w.ScratchRe, w.RoughRe, n);
  CopySingle(w.ScratchIm, w.RoughIm, n);
  ifft(w.RoughRe, w.RoughIm, order);
  int32_t delay = 0;
  for (int32_t i = 1; i < n; ++i)
    if (std::abs(w.RoughRe[static_cast<size_t>(i)]) > std::abs(w.RoughRe[static_cast<size_t>(delay)])) delay = i;
  const auto turn = [&](int32_t k, double sign) {
    const double a = sign * 2 * std::numbers::pi * static_cast<double>((int64_t{k} * delay) % n) / n;
    return std::complex<double>(std::cos(a), std::sin(a));
  };
  const auto bin = [&](int32_t k) {
    return std::complex<double>(w.ScratchRe[static_cast<size_t>(k)], w.ScratchIm[static_cast<size_t>(k)]) * turn(k, 1);
  };
  int32_t last = -1;  // last sound bin
  for (int32_t k = 0; k <= n; ++k) {
    if (k < n && w.CentreWeak[static_cast<size_t>(k)]) continue;
    if (k - last > 1 && (last >= 0 || k < n)) {
      const std::complex<double> a = last >= 0 ? bin(last) : bin(k);
      const std::complex<double> b = k < n ? bin(k) : a;
      for (int32_t j = last + 1; j < k; ++j) {
        const double t = static_cast<double>(j - last) / (k - last);
        const std::complex<double> v = (a + (b - a) * t) * turn(j, -1);
        w.ScratchRe[static_cast<size_t>(j)] = static_cast<float>(v.real());
        w.ScratchIm[static_cast<size_t>(j)] = static_cast<float>(v.imag());
      }
    }
    last = k;
  }
}

}  // namespace

int32_t TestCDRecordLength(int32_t cdRate, int32_t recordRate) {
  if (recordRate <= 0) return 0;
  return CLng(static_cast<double>(kTestCDWorkSize) * cdRate / recordRate);
}

bool TestCDWork::Prepare(const TestCDSettings& params, int32_t recordRate) {
  if (params.Order < kMinTestCDOrder || params.Order > kMaxTestCDOrder) return false;
  PeriodLength = 1 << params.Order;
  RecordRate = recordRate;
  RecordLength = TestCDRecordLength(params.SampleRate, recordRate);
  const auto n = static_cast<size_t>(PeriodLength);
  WorkSignal.assign(kTestCDWorkSize + 1, 0.0f);
  DriftSpectrum.assign(size_t{1} << kTestCDDriftOrder, 0.0f);
  DriftSpectrumIm.assign(size_t{1} << kTestCDDriftOrder, 0.0f);
  CorrectionRe.assign(kTestCDMaxCorrection, 0.0f);
  CorrectionIm.assign(kTestCDMaxCorrection, 0.0f);
  for (auto* v : {&ScratchRe, &ScratchIm, &RefRe, &RefIm, &RoughRe, &RoughIm}) v->assign(n, 0.0f);
  CentreWeak.assign(n, 0);
  CorrectionOn = false;
  ChannelCode = 0;
  MeasuredRate = 0;

  std::vector<int16_t> built(n);
  RefVariant1.assign(n, 0.0f);
  RefVariant2.assign(n, 0.0f);
  RefCentre.assign(n, 0.0f);
  if (!BuildTestCDSignal(built, params, kTestCDLeft)) return false;
  CopyIntToSingle(built, RefVariant1, PeriodLength);
  if (!BuildTestCDSignal(built, params, kTestCDRight)) return false;
  CopyIntToSingle(built, RefVariant2, PeriodLength);
  AddArray(RefVariant1, RefVariant2, RefCentre, PeriodLength);
  MultSingleByConst(RefCentre, PeriodLength, 0.5f);

  // Variant power (mean of both) against the centre's, bin by bin.
  const auto power = [&](const std::vector<float>& x, std::vector<float>& p) {
    CopySingle(x, ScratchRe, PeriodLength);
    ClearArray(ScratchIm, PeriodLength);
    fft(ScratchRe, ScratchIm, params.Order);
    MagArraySquared(ScratchRe, ScratchIm, p, PeriodLength);
  };
  power(RefVariant1, RefRe);
  power(RefVariant2, RefIm);
  AddArray(RefRe, RefIm, RoughRe, PeriodLength);
  power(RefCentre, RoughIm);
  for (size_t k = 0; k < n; ++k) CentreWeak[k] = RoughIm[k] < kWeakCentre * 0.5f * RoughRe[k] ? 1 : 0;
  for (auto* v : {&ScratchRe, &ScratchIm, &RefRe, &RefIm, &RoughRe, &RoughIm}) std::fill(v->begin(), v->end(), 0.0f);
  return true;
}

void ScoreToneComb(const TestCDSettings& params, std::span<const float> power, int32_t variant,
                   int32_t recordRate, float& correctedRate, float& score) {
  correctedRate = static_cast<float>(recordRate);
  score = 0;
  const int32_t tones = std::clamp(params.ToneCount, 0, kTestCDToneSlots);
  if (tones == 0 || recordRate <= 0 || params.Order < 1 || params.Order > kTestCDDriftOrder) return;
  const auto& table = ToneTable(params, variant);
  const double r = static_cast<float>(params.SampleRate) / static_cast<float>(recordRate);
  const double s = std::ldexp(1.0, kTestCDDriftOrder - params.Order);
  std::array<double, kTestCDToneSlots> expected{};
  for (int32_t i = 0; i < tones; ++i) expected[static_cast<size_t>(i)] = Fix(r * table[static_cast<size_t>(i)] * s + 0.5);
  const double top = r * table[static_cast<size_t>(tones - 1)] * s;
  if (!(top > 0)) return;
  const double d = (top + 1) / top - 1;  // one bin at the highest tone
  const auto m = static_cast<int32_t>(200 * s);
  const auto bins = static_cast<int64_t>(power.size());

  float best = 0;
  double bestFactor = 1.0;  // no scoring candidate: the recording's own rate
  for (int32_t k = 0; k < m; ++k) {
    const double f = 1 - d * m / 2 + d * k;
    float sum = 0;
    for (int32_t i = 0; i < tones; ++i) {
      const double e = expected[static_cast<size_t>(i)];
      const auto b = static_cast<int64_t>(Fix(f * e + 0.5));
      if (b < 1 || b + 1 >= bins) continue;
      const float pb = power[static_cast<size_t>(b)];
      if (pb > power[static_cast<size_t>(b - 1)] && pb > power[static_cast<size_t>(b + 1)])
        sum += static_cast<float>(e) * pb;
    }
    if (sum > best) {
      best = sum;
      bestFactor = f;
    }
  }
  score = best;
  if (best <= 0) {
    correctedRate = static_cast<float>((2 - bestFactor) * recordRate);
    return;
  }
  // The comb only steps a whole bin at the top tone (about 2 ppm), and a period
  // resampled 2 ppm off smears the impulse by a tenth of a sample at its end:
  // refine the factor from where the tone peaks really sit between bins.
  double found = 0, nominal = 0;
  for (int32_t i = 0; i < tones; ++i) {
    const double e = expected[static_cast<size_t>(i)];
    const auto b = static_cast<int64_t>(Fix(bestFactor * e + 0.5));
    if (b < 3 || b + 3 >= bins) continue;
    int64_t top = b;
    for (int64_t j = b - 2; j <= b + 2; ++j)
      if (power[static_cast<size_t>(j)] > power[static_cast<size_t>(top)]) top = j;
    const double lo = power[static_cast<size_t>(top - 1)], mid = power[static_cast<size_t>(top)],
                 hi = power[static_cast<size_t>(top + 1)];
    if (!(lo > 0 && mid > 0 && hi > 0)) continue;
    const double a = std::log(lo), c = std::log(mid), z = std::log(hi);
    const double bend = a - 2 * c + z;
    if (!(bend < 0)) continue;
    const double offset = 0.5 * (a - z) / bend;
    if (!(std::abs(offset) <= 1)) continue;
    found += static_cast<double>(top) + offset;
    nominal += r * table[static_cast<size_t>(i)] * s;
  }
  // A refinement further than the comb's own step is a stray peak: keep the comb.
  const double refined = nominal > 0 ? found / nominal : bestFactor;
  const double factor = std::abs(refined - bestFactor) <= 2 * d ? refined : bestFactor;
  correctedRate = static_cast<float>(recordRate / factor);
}

void DetectTestCDChannel(const TestCDSettings& params, TestCDWork& work, int32_t count) {
  auto& re = work.DriftSpectrum;
  auto& im = work.DriftSpectrumIm;
  const auto size = static_cast<int32_t>(re.size());
  count = std::clamp(count, 0, std::min(size, static_cast<int32_t>(work.WorkSignal.size())));
  ClearArray(re, size);
  ClearArray(im, size);
  CopySingle(work.WorkSignal, re, count);
  TaperEndOfImpulseC(re, kDriftTaper, count);
  TaperStartOfImpulseC(re, kDriftTaper);
  fft(re, im, kTestCDDriftOrder);
  MagArraySquared(re, im, re, size);

  float rateA = 0, scoreA = 0, rateB = 0, scoreB = 0;
  ScoreToneComb(params, re, kTestCDRight, work.RecordRate, rateA, scoreA);
  ScoreToneComb(params, re, kTestCDLeft, work.RecordRate, rateB, scoreB);
  if (scoreB > scoreA) {
    work.ChannelCode = scoreA * 10.0f > scoreB ? kTestCDCentre : kTestCDLeft;
    work.MeasuredRate = rateB;
  } else {
    work.ChannelCode = scoreB * 10.0f > scoreA ? kTestCDCentre : kTestCDRight;
    work.MeasuredRate = rateA;
  }
}

void ExtractTestCDImpulse(const TestCDSettings& params, TestCDWork& work, const std::function<void()>& step) {
  const auto advance = [&] {
    if (step) step();
  };
  const int32_t n = work.PeriodLength;
  const int32_t order = params.Order;
  const int32_t cdRate = params.SampleRate;
  auto& w = work.WorkSignal;

  // Clock and channel, then the recording in the CD's own time base.
  DetectTestCDChannel(params, work, work.RecordLength - kDetectGuard);
  ReSample(w, work.MeasuredRate, static_cast<float>(cdRate), cdRate, n + kResampleMargin, kResampleMargin / 4);
  CopySingle(std::span<const float>(w).subspan(kResampleMargin / 2), w, n);
  std::fill(w.begin() + n, w.end(), 0.0f);
  advance();

  // H = Y / X over one period: circular, so the period needs no alignment.
  const std::vector<float>& ref = work.ChannelCode == kTestCDRight  ? work.RefVariant2
                                  : work.ChannelCode == kTestCDLeft ? work.RefVariant1
                                                                    : work.RefCentre;
  CopySingle(w, work.ScratchRe, n);
  CopySingle(ref, work.RefRe, n);
  ClearArray(work.ScratchIm, n);
  ClearArray(work.RefIm, n);
  advance();
  fft(work.ScratchRe, work.ScratchIm, order);
  fft(work.RefRe, work.RefIm, order);
  advance();
  InvertComplexArrayC(work.RefRe, work.RefIm, order);
  MultiplyComplexArrays(work.ScratchRe, work.ScratchIm, work.RefRe, work.RefIm, order);
  if (work.ChannelCode == kTestCDCentre) BridgeWeakBins(work, order);
  if (work.CorrectionOn)
    MultiplyComplexArrays(work.ScratchRe, work.ScratchIm, work.CorrectionRe, work.CorrectionIm, order);
  // Both ends of the spectrum, so the real part keeps no sub-15 Hz component.
  const int32_t lowCut = std::clamp(CLng(n * kLowCutHz / static_cast<float>(cdRate)), 0, n / 2);
  for (int32_t b = 0; b < lowCut; ++b) {
    const auto lo = static_cast<size_t>(b);
    const auto hi = static_cast<size_t>((n - b) % n);
    work.ScratchRe[lo] = work.ScratchIm[lo] = 0.0f;
    work.ScratchRe[hi] = work.ScratchIm[hi] = 0.0f;
  }
  ifft(work.ScratchRe, work.ScratchIm, order);
  advance();

  // Peak to 100 ms, fade in the 50 ms before it, then move it to 50 ms.
  const int32_t shift = CLng(kPeakTime * cdRate);
  auto& h = work.ScratchRe;
  int32_t peak = 0;
  AlignImpulseByPeak(h, n, peak, 2 * shift, kAlignWidth);
  TaperEndOfImpulseC(h, shift, n);
  TaperStartOfImpulseC(std::span<float>(h).subspan(static_cast<size_t>(shift)), shift);
  ClearArray(h, shift);
  RotateImpulseLeftC(n, h, shift);
  CopySingle(h, w, n);
  advance();
}

bool TestCDSignalToNoise(std::span<const float> impulse, int32_t n, float& tenthsDb) {
  n = std::clamp(n, 0, static_cast<int32_t>(impulse.size()));
  float s1 = 0, s2 = 0;
  for (int32_t i = 0; i < n / 2; ++i) s1 += impulse[static_cast<size_t>(i)] * impulse[static_cast<size_t>(i)];
  for (int32_t i = n / 2; i < n; ++i) s2 += impulse[static_cast<size_t>(i)] * impulse[static_cast<size_t>(i)];
  if (!(s1 > 0 && s2 > 0)) return false;
  tenthsDb = 100.0f * std::log10(s1 / s2);
  return std::isfinite(tenthsDb);
}

bool LoadTestCDCorrection(const TestCDSettings& params, std::span<const uint8_t> fileBytes, TestCDWork& work) {
  work.CorrectionOn = false;
  const int32_t n = work.PeriodLength;
  if (n <= 0 || n > kTestCDMaxCorrection || static_cast<int32_t>(work.CorrectionRe.size()) < n) return false;
  MeasurementSetImage image;
  if (!ParseMeasurementFile(fileBytes, image) || image.Count() < 1 || image.Headers[0].SampleRate != params.SampleRate)
    return false;
  auto& re = work.CorrectionRe;
  auto& im = work.CorrectionIm;
  ClearArray(re, n);
  const int32_t copied = std::clamp(image.SamplesPerResult, 0, n);
  for (int32_t j = 0; j < copied; ++j) re[static_cast<size_t>(j)] = image.StoredSample(0, j);

  const int32_t keep = std::min(n, CLng(kCorrectionTime * params.SampleRate));
  const int32_t fade = CLng(kPeakTime * params.SampleRate);
  TaperEndOfImpulseC(re, fade, keep);
  TaperStartOfImpulseC(re, fade);
  std::fill(re.begin() + keep, re.begin() + n, 0.0f);
  double energy = 0;
  SquareAndSumSingle(re, n, energy);
  if (!(energy > 0) || !std::isfinite(energy)) return false;
  MultSingleByConst(re, n, static_cast<float>(1.0 / std::sqrt(energy)));
  ClearArray(im, n);
  fft(re, im, params.Order);
  InvertComplexArrayC(re, im, params.Order);
  work.CorrectionOn = true;
  return true;
}

}  // namespace zentor
