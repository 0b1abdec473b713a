#include "measurement/deconvolution.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <vector>

#include "base/text_number.h"
#include "core/filter_design.h"
#include "core/test_signals.h"
#include "core/work_arrays.h"
#include "measurement/audio_form.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/numeric/numeric.h"

namespace zentor {

namespace {

constexpr double kSpeedOfSound = 343.0;     // m/s
constexpr double kCrossoverCut = 0.01;      // -40 dB below the crossover
constexpr double kStoredPeak = 32000.0;     // the stored impulse's largest sample
constexpr int32_t kPeakSearchWidth = 4;
constexpr int32_t kLargestPeriodExponent = 18;

// Which bins the last pass divided (the two outputs play one period and its
// reversal, so both passes of a run divide the same bins). Sized once.
std::vector<uint8_t> g_dividedBins;

struct PassFault {};

void EnsureBinMask() {
  if (g_dividedBins.size() < (std::size_t{1} << kLargestPeriodExponent))
    g_dividedBins.assign(std::size_t{1} << kLargestPeriodExponent, 0);
}

// Mean |z|^2 over n bins of a split spectrum.
double MeanPower(const float* re, const float* im, int32_t n) {
  double s = 0;
  for (int32_t i = 0; i < n; ++i) s += double(re[i]) * re[i] + double(im[i]) * im[i];
  return s / n;
}

// The band below half the crossover, on both sides of the spectrum, times 0.01.
void CutBelowCrossover(float* re, float* im, int32_t n, double crossover, int32_t rate) {
  const int32_t k = std::clamp<int32_t>(CLng(n * crossover / 2.0 / rate), -1, n / 2);
  for (int32_t i = 0; i <= k; ++i) {
    re[i] = static_cast<float>(re[i] * kCrossoverCut);
    im[i] = static_cast<float>(im[i] * kCrossoverCut);
    if (i >= 1) {
      re[n - i] = static_cast<float>(re[n - i] * kCrossoverCut);
      im[n - i] = static_cast<float>(im[n - i] * kCrossoverCut);
    }
  }
}

int32_t PeriodExponentOf(const std::string& p) {
  const double v = Val(p);
  if (!(v >= 1 && v <= kLargestPeriodExponent) || v != std::floor(v)) throw PassFault{};
  return static_cast<int32_t>(v);
}

constexpr double kPlayedPeak = 15000.0;  // the amplitude every excitation is built to

}  // namespace

float PeakDb(float peak) { return static_cast<float>(Fix(200.0 * std::log10(peak / kPlayedPeak)) * 0.1); }
float RatioDb(float signal, float noise) {
  return static_cast<float>(Fix(100.0 * std::log10(double(signal) / noise)) / 10.0);
}
std::string PeakText(float peak) { return FormatSingle(PeakDb(peak)); }
std::string RatioText(float signal, float noise) { return FormatSingle(RatioDb(signal, noise)); }

Clipping FindClipping(std::span<const float> recording) {
  constexpr float kClipLevel = 0.999f * 32768.0f;
  Clipping c;
  int32_t run = 0;
  for (const float x : recording) {
    const float a = std::fabs(x);
    c.peak = std::max(c.peak, a);
    // A single sample at full scale may be a true peak; two in a row are the converter's limit.
    run = a >= kClipLevel ? run + 1 : 0;
    if (run == 2) c.samples += 2;
    if (run > 2) ++c.samples;
  }
  return c;
}

std::string ClippingText(std::string_view input, const Clipping& c) {
  const double db = c.peak > 0 ? 20.0 * std::log10(c.peak / 32768.0) : -300.0;
  return "Warning: the " + std::string(input) + " clipped: " + std::to_string(c.samples) +
         " samples at full scale, peak " + FormatSingle(static_cast<float>(RoundHalfEven(db * 100.0) / 100.0 + 0.0)) +
         " dB of full scale. The result may be wrong: turn the level down and measure again.";
}

std::string DistanceText(int32_t mm) { return FormatSingle(static_cast<float>((mm / 10) / 100.0)); }

void DeconvolveChannel(int32_t& q, int32_t w, std::span<float> recording, std::span<const int16_t> excitation,
                       const std::string& p, int32_t& peakPosition, float& peak, float& signalEnergy,
                       float& noiseEnergy, int16_t alignByPeak, int16_t& success) {
  try {
    success = kTrue;
    const int32_t order = PeriodExponentOf(p);
    const int32_t n = 1 << order;
    if (q < 0 || q > kLargestPeriodExponent) throw PassFault{};
    const int64_t pre = int64_t{1} << q;
    const int64_t off = static_cast<int64_t>(RoundHalfEven(static_cast<double>(pre - w)));
    if (w < 0 || w >= n || off < 0 || static_cast<std::size_t>(pre + n) > recording.size() ||
        static_cast<std::size_t>(off + n) > excitation.size() || WorkCurve.size() < std::size_t(n) ||
        WorkCurve2.size() < std::size_t(n) || WorkCurve3.size() < std::size_t(n))
      throw PassFault{};
    EnsureBinMask();

    float* x = recording.data();
    std::memmove(x, x + pre, sizeof(float) * static_cast<std::size_t>(n));
    float* xi = WorkCurve.data();
    float* s = WorkCurve2.data();
    float* si = WorkCurve3.data();
    std::fill_n(xi, n, 0.0f);
    std::fill_n(si, n, 0.0f);
    for (int32_t i = 0; i < n; ++i) s[i] = excitation[static_cast<std::size_t>(off + i)];

    float largest = 0;
    for (int32_t i = 0; i < n; ++i) largest = std::max(largest, std::fabs(x[i]));
    peak = largest;
    if (largest == 0) {
      MsgBox("User Error 3429: No input on Input channel");
      success = kFalse;
      return;
    }

    fft(recording.first(n), WorkCurve, order);
    fft(WorkCurve2, WorkCurve3, order);

    const double floor2 = kUnexcitedBinLevel * kUnexcitedBinLevel * MeanPower(s, si, n);
    for (int32_t i = 0; i < n; ++i) {
      double re = s[i], im = si[i];
      g_dividedBins[static_cast<std::size_t>(i)] = 0;
      if (re == 0 && im == 0 && i >= 1) {
        MsgBox("Error 2381: No input signal on one or both channels: n= " + std::to_string(i));
        return;
      }
      if (re * re + im * im < floor2 || !ComplexReciprocal(re, im)) {
        x[i] = 0;
        xi[i] = 0;
        continue;
      }
      double outRe = 0, outIm = 0;
      ComplexMultiply(xi[i], x[i], im, re, outIm, outRe);
      x[i] = static_cast<float>(outRe);
      xi[i] = static_cast<float>(outIm);
      g_dividedBins[static_cast<std::size_t>(i)] = 1;
    }
    const int32_t rate = MeasHeader.SampleRate;
    if (MeasHeader.MeasConfig == 42 && rate > 0) CutBelowCrossover(x, xi, n, MeasHeader.CrossoverFrequency, rate);

    ifft(recording.first(n), WorkCurve, order);
    const std::size_t clearEnd = std::min<std::size_t>(recording.size(), kLastClearedRecordIndex + 1);
    if (clearEnd > std::size_t(n)) std::fill(recording.begin() + n, recording.begin() + clearEnd, 0.0f);

    if (!MeasHeader.AutoRange && !alignByPeak) {
      if (rate <= 0) throw PassFault{};
      const double d = RoundHalfEven(MeasHeader.MicSpeakerDistance * static_cast<double>(rate) / kSpeedOfSound);
      const int32_t shift = CLng(MeasHeader.AlignmentShift - w + d);
      if (shift > 0) RotateImpulseLeftC(n, recording, shift);
      if (shift < 0) RotateImpulseRightC(n, recording, -shift);
      peakPosition = CLng(MeasHeader.AlignmentShift + d);
    } else {
      if (!AlignImpulseByPeak(recording, n, peakPosition, w, kPeakSearchWidth)) return;
      MeasHeader.AlignmentShift = static_cast<float>(peakPosition - w);
    }

    double first = 0, second = 0;
    for (int32_t i = 0; i < n / 2; ++i) first += double(x[i]) * x[i];
    for (int32_t i = n / 2; i < n; ++i) second += double(x[i]) * x[i];
    signalEnergy = static_cast<float>(first);
    noiseEnergy = static_cast<float>(second);
  } catch (const PassFault&) {
    MsgBox("Error 5289");
  } catch (const std::exception&) {
    MsgBox("Error 5289");
  }
}

bool DivideMicrophoneByReference(std::span<float> a, std::span<float> b, int32_t n, int32_t micChannel,
                                 std::string_view zeroBinMessage) {
  if (n < 1 || a.size() < std::size_t(n) || b.size() < std::size_t(n) || WorkCurve.size() < std::size_t(n) ||
      WorkCurve2.size() < std::size_t(n))
    return false;
  EnsureBinMask();
  const bool micRight = micChannel == kMicOnRightInput;
  if (!micRight && micChannel != kMicOnLeftInput) return true;
  const float* refRe = micRight ? a.data() : b.data();
  const float* refIm = micRight ? WorkCurve2.data() : WorkCurve.data();
  const float* numRe = micRight ? b.data() : a.data();
  const float* numIm = micRight ? WorkCurve.data() : WorkCurve2.data();
  float* outRe = b.data();
  float* outIm = WorkCurve.data();
  const double floor2 = kUnexcitedBinLevel * kUnexcitedBinLevel * MeanPower(refRe, refIm, n);
  for (int32_t i = 0; i < n; ++i) {
    double re = refRe[i], im = refIm[i];
    const bool divided = g_dividedBins[static_cast<std::size_t>(i)] != 0;
    if (re == 0 && im == 0 && i >= 1 && divided) {
      MsgBox(std::string(zeroBinMessage) + std::to_string(i));
      return false;
    }
    if (!divided || re * re + im * im < floor2 || !ComplexReciprocal(re, im)) {
      outRe[i] = 0;
      outIm[i] = 0;
      continue;
    }
    double r = 0, j = 0;
    ComplexMultiply(numIm[i], numRe[i], im, re, j, r);
    outRe[i] = static_cast<float>(r);
    outIm[i] = static_cast<float>(j);
  }
  return true;
}

void ScaleBelowCrossover(std::span<float> re, std::span<float> im, int32_t n, double crossover, int32_t rate) {
  if (rate <= 0 || n < 1 || re.size() < std::size_t(n) || im.size() < std::size_t(n)) return;
  CutBelowCrossover(re.data(), im.data(), n, crossover, rate);
}

bool ComputeTransferFunction(std::span<float> a, std::span<float> b, MeasurementHeader& header,
                             int32_t micChannel) {
  const int32_t order = header.PeriodExponent;
  if (order < 1 || order > kLargestPeriodExponent) {
    MsgBox("Error 5289");
    return false;
  }
  const int32_t n = 1 << order;
  if (a.size() < std::size_t(n) || b.size() < std::size_t(n) || WorkCurve.size() < std::size_t(n) ||
      WorkCurve2.size() < std::size_t(n)) {
    MsgBox("Error 5289");
    return false;
  }
  ClearArray(WorkCurve, n);
  ClearArray(WorkCurve2, n);
  if (Forms::IsLoaded<AudioForm>()) Forms::Get<AudioForm>()->DrawImpulseEnergyPictures(a, b, micChannel, header.SampleRate);
  fft(a.first(n), WorkCurve2, order);
  fft(b.first(n), WorkCurve, order);
  if (!DivideMicrophoneByReference(a, b, n, micChannel, "User Error 2391: No input signal on left Input channel: n= "))
    return false;
  b[0] = 0;
  WorkCurve[0] = 0;
  if (header.MeasConfig == 42) ScaleBelowCrossover(b, WorkCurve, n, header.CrossoverFrequency, header.SampleRate);
  ifft(b.first(n), WorkCurve, order);

  float largest = 0;
  for (int32_t i = 0; i < n; ++i) largest = std::max(largest, std::fabs(b[static_cast<std::size_t>(i)]));
  header.LevelMultiplier = largest > 0 ? static_cast<float>(kStoredPeak / largest) : 1.0f;
  return true;
}

}  // namespace zentor
