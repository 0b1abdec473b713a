// The impulse, noise-energy and levels views, the gated spectrum every frequency
// view leans on, the FFT-length rule and the clearing of the views.
#include "display/time_views.h"

#include <algorithm>
#include <cmath>

#include "base/shared_state.h"
#include "base/text_number.h"
#include "core/records.h"
#include "core/results_store.h"
#include "core/test_signals.h"
#include "core/work_arrays.h"
#include "display/curve_averaging.h"
#include "display/fit_to_data.h"
#include "display/graph_frame.h"
#include "display/graph_primitives.h"
#include "display/plot_colours.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/numeric/numeric.h"
#include "platform/picture.h"

namespace zentor {

std::array<std::array<float, kPsdSpectrumRows>, kMaxPsdSpectra> PsdSet{};
bool PsdRecordingPending = false;

namespace {
SharedStateRegistrar g_reset([] {
  for (auto& column : PsdSet) column.fill(0.0f);
  PsdRecordingPending = false;
});

// Scratch the gated spectrum needs: a whole period plus the transform.
bool ScratchHoldsAPeriod() {
  return WorkCurve.size() >= static_cast<size_t>(kMaxSamples) && WorkCurve2.size() >= static_cast<size_t>(kMaxSamples);
}
}  // namespace

int32_t GetFFTSizeFromGateTime(const GraphHost& host, float gateMs, int32_t periodExponent, int32_t sampleRate) {
  // Sizes from a file are bounded before they drive loop counts.
  const int32_t N = std::clamp(periodExponent, 0, 64);
  const double x = 1.5 * static_cast<double>(gateMs) * sampleRate / 1000.0;
  int64_t k0 = 0;
  for (int32_t k = 1; k <= N - 1; ++k)
    if (x > std::ldexp(1.0, k)) k0 = k + 1;
  int64_t k = k0 + std::clamp(host.DisplayResolution(), -64, 64);
  const double span = x + 0.05 * sampleRate;
  for (int32_t i = 0; i < N; ++i)
    if (span > std::ldexp(1.0, static_cast<int>(k))) ++k;
  if (k == 0) MsgBox("Error 3410");
  const int32_t setExponent = std::min(ResultsDataSetInfo[0].PeriodExponent, kMaxSamplesExponent);
  k = std::min<int64_t>(k, setExponent);
  k = std::max<int64_t>(k, kMinFFTExponent);
  return static_cast<int32_t>(k);
}

bool GateFitsPeriod(float gateMs, int32_t sampleRate, int32_t periodExponent) {
  const int32_t period = 1 << std::clamp(periodExponent, 0, kMaxSamplesExponent);
  return !(static_cast<double>(period) < static_cast<double>(gateMs) / 1000.0 * sampleRate * 1.2);
}

bool GatedFFTMagnitude(std::span<const float> impulse, int32_t period, float gateMs, int32_t fs, int32_t k,
                       std::span<float> level, std::span<float> freq, int32_t& count, std::span<float> re,
                       std::span<float> im) {
  const float g = gateMs;
  // No gate or no sample rate resolves no frequency.
  if (!(g > 0.0f) || !std::isfinite(g) || fs <= 0 || period <= 0 || k < 1 || k > kMaxSamplesExponent) return false;
  const int32_t N = 1 << k;
  if (re.size() < static_cast<size_t>(std::max(N, period)) || im.size() < static_cast<size_t>(N)) return false;

  const int32_t a = CLng(0.05 * fs);
  ApplySliceGate(impulse, re, a, g, fs, period, 0.0f);
  // The transform may be longer than the data: the rest is silence, not scratch.
  if (N > period) ClearArray(re.subspan(static_cast<size_t>(period)), N - period);
  ClearArray(im, N);
  fft(re.first(static_cast<size_t>(N)), im.first(static_cast<size_t>(N)), k);

  const float f0 = GateLowestHz(g);
  const float df = static_cast<float>(fs) / static_cast<float>(N);
  const float s = f0 / df;
  // Points run from the gate's lowest frequency up to Nyquist, never into the
  // mirrored half of the transform.
  const double nyquistBin = N / 2;
  int32_t n = 0;
  if (s <= nyquistBin) n = static_cast<int32_t>(std::min<double>(kTimeViewPoints, std::floor(nyquistBin - s) + 1));
  n = std::min({n, static_cast<int32_t>(level.size()), static_cast<int32_t>(freq.size())});
  // Only the bins the points read are turned into dB.
  if (n > 0) {
    const int32_t lo = std::min(CLng(static_cast<double>(s)), N / 2);
    const int32_t hi = std::min(CLng(static_cast<double>(s) + n - 1), N / 2);
    const auto from = static_cast<size_t>(lo);
    LogMagArray(im.subspan(from), re.subspan(from), im.subspan(from), hi - lo + 1);
  }
  for (int32_t i = 0; i < n; ++i) {
    const int32_t bin = std::min(CLng(static_cast<double>(s) + i), N / 2);
    freq[static_cast<size_t>(i)] = f0 + static_cast<float>(i) * df;
    level[static_cast<size_t>(i)] = im[static_cast<size_t>(bin)];
  }
  count = n;
  return true;
}

bool ComputeGatedFFTMagnitude(const GraphHost& host, std::span<const float> impulse, int32_t /*unused*/,
                              std::span<float> level, std::span<float> freq, int32_t& count,
                              MeasurementHeader& header) {
  if (header.PeriodExponent > kMaxSamplesExponent) header.PeriodExponent = kMaxSamplesExponent;
  const float g = header.FreqRespGateTime;
  const int32_t fs = header.SampleRate;
  const int32_t P = std::max(header.PeriodExponent, 0);

  auto refuse = [](bool tellUser) {
    if (tellUser) MsgBox(std::string(kGateTooLongForCurveData));
    const int32_t n = std::clamp<int32_t>(MainBuffer.Num, 0, kMaxCurvePoints);
    ClearArray(MainBuffer.YValues, n);
    ClearArray(MainBuffer.XValues, n);
    return false;
  };
  if (!GateFitsPeriod(g, fs, P)) return refuse(true);
  if (!(g > 0.0f) || !std::isfinite(g) || fs <= 0 || !ScratchHoldsAPeriod()) return refuse(false);
  const int32_t k = GetFFTSizeFromGateTime(host, g, P, fs);
  std::array<float, kTimeViewPoints> lv{}, fr{};
  int32_t n = 0;
  if (!GatedFFTMagnitude(impulse, 1 << P, g, fs, k, lv, fr, n, WorkCurve2, WorkCurve)) return refuse(false);
  n = std::min({n, static_cast<int32_t>(level.size()), static_cast<int32_t>(freq.size())});
  std::copy_n(lv.begin(), n, level.begin());
  std::copy_n(fr.begin(), n, freq.begin());
  count = n;
  return true;
}

void ClearDisplays() {
  for (CurveArray* a : {&ModalCurves, &FractOctCurves, &PsycCurves, &BodeCurves, &ImpulseCurves, &NoiseCurves,
                        &PsdCurves, &FilterListCurves})
    ClearCurveRecords(*a);
}

// ---- The time-domain views ------------------------------------------------------

bool ShowMainImpulseSet(GraphHost& host, int32_t FirstCurve) {
  WaitCursor hourglass;
  DrawingSurface& picture = PrepareGraphDC(host.MainGraph());
  TimeGraphFrame.YHigh = 30;
  TimeGraphFrame.YLow = -30;
  const int32_t count = ResultsDataSetInfo[0].NumInSet;
  if (count < 1) {
    DrawGraphFrame(TimeGraphFrame, picture);
    return false;
  }
  if (count > kMaxResults) {
    MsgBox("User Error: " + std::to_string(kMaxResults) +
           " measurements can be loaded at one time. Delete one result or start Az new measurement session to "
           "continue.");
    DrawGraphFrame(TimeGraphFrame, picture);
    return false;
  }
  DrawGraphFrame(TimeGraphFrame, picture);
  static constexpr std::string_view title = "Impulse Response [ms]";
  if (FirstCurve == kRedrawFiledCurves) {
    host.SelectViewButton(ViewButton::Time);
    UpdateGraph(ImpulseCurves, TimeGraphFrame, picture, title);
    return true;
  }
  if (FirstCurve < kRedrawFiledCurves) return true;
  if (WorkCurve.size() < static_cast<size_t>(kMaxSamples) || WorkCurve2.size() < static_cast<size_t>(kMaxSamples))
    return true;

  const MeasurementHeader& first = ResultsDataSetInfo[0];
  const int32_t P = std::clamp(first.PeriodExponent, 0, kMaxSamplesExponent);
  const int32_t period = 1 << P;
  const double preMs = first.SampleRate <= 48000 ? 10.0 : 2.0;
  for (int32_t i = 0; i < count; ++i) {
    MeasurementHeader& h = ResultsDataSetInfo[static_cast<size_t>(i)];
    h.ImpulseGateTime = first.ImpulseGateTime;
    const float gate = h.ImpulseGateTime;
    const int32_t fs = h.SampleRate;
    if (static_cast<double>(period) < static_cast<double>(gate) / 1000.0 * fs * 1.2) {
      MsgBox("User Error: Gate time chosen is too large for curve " + std::to_string(i + 1) +
             " test signal period length");
      return true;
    }
    if (fs <= 0) continue;  // no time axis without a sample rate
    const int32_t a = CLng(0.05 * fs);
    const int32_t p = CLng(preMs / 1000.0 * fs);
    const int64_t s = int64_t{a} - p;

    const auto& column = ImpulseSet[static_cast<size_t>(i)];
    std::copy_n(column.begin(), period, WorkCurve.begin());
    ApplySliceGate(WorkCurve, WorkCurve2, a, gate, fs, period, 0.0f);
    // The window may reach past the period: nothing was recorded there.
    for (int64_t j = 0; j < kTimeViewPoints; ++j) {
      const int64_t from = j + s;
      WorkCurve2[static_cast<size_t>(j)] = from >= 0 && from < period ? WorkCurve2[static_cast<size_t>(from)] : 0.0f;
    }
    ClearArray(std::span<float>(WorkCurve2).subspan(kTimeViewPoints), kMaxSamples - kTimeViewPoints);
    NormalizeToPeak(WorkCurve2, kTimeViewPeak, kNormalizeExponent);

    MainBuffer.Parameter = 0;
    MainBuffer.Num = kTimeViewPoints;
    for (int32_t j = 0; j < kTimeViewPoints; ++j) {
      MainBuffer.XValues[static_cast<size_t>(j)] = static_cast<float>((j - p) * 1000.0 / fs);
      MainBuffer.YValues[static_cast<size_t>(j)] = WorkCurve2[static_cast<size_t>(j)];
    }
    StoreCurveRecord(ImpulseCurves, MainBuffer, Str(i + 1), i);
    PlotCurveOnGraph(TimeGraphFrame, picture, ImpulseCurves[static_cast<size_t>(i)], GetCurveColour(i), i);
    DrawGraphTitleAndLegend(TimeGraphFrame, picture, ImpulseCurves, title, kMaxResults);
  }
  RefreshGraph(picture);
  return true;
}

bool ShowPSDEnergy(GraphHost& host, int32_t FirstCurve) {
  static constexpr std::string_view title = "Noise Energy";
  DrawingSurface& picture = PrepareGraphDC(host.MainGraph());
  const int32_t held = std::clamp<int32_t>(PsdCurves[0].NumCurves, 0, kCurveSlots);
  const bool fileNew = FirstCurve >= 0 && PsdRecordingPending;
  if (fileNew && held >= kMaxPsdSpectra) {
    MsgBox("User Error: only " + std::to_string(kMaxPsdSpectra) + " curves can be stored at once. Delete one to continue.");
    return false;
  }
  DrawGraphFrame(FreqGraphFrame, picture);
  if (fileNew) {
    PsdRecordingPending = false;
    const int32_t c = PsdParameters[0].Count;
    if (c >= 1 && c <= kMaxPsdSpectra) {
      const PsdParameterEntry& entry = PsdParameters[static_cast<size_t>(c - 1)];
      const int32_t e = entry.Exponent;
      const int32_t r = entry.SampleRate;
      if (e >= 0 && e <= kMaxPsdSpectrumExponent && r > 0) {
        const int32_t values = 1 << e;
        auto& column = PsdSet[static_cast<size_t>(c - 1)];
        std::fill(column.begin(), column.end(), 0.0f);
        CopySingle(WorkCurveAux, column, values);
        // 2^e one-sided values spread over 0..fs/2.
        const double step = static_cast<double>(r) / std::ldexp(1.0, e + 1);
        MainBuffer.Parameter = 0;
        MainBuffer.Num = std::min(kTimeViewPoints, values);
        for (int32_t j = 0; j < MainBuffer.Num; ++j) {
          MainBuffer.XValues[static_cast<size_t>(j)] = static_cast<float>(j * step);
          MainBuffer.YValues[static_cast<size_t>(j)] = column[static_cast<size_t>(j)];
        }
        StoreCurveRecord(PsdCurves, MainBuffer, Str(c), c - 1);
        DrawGraphTitleAndLegend(FreqGraphFrame, picture, PsdCurves, title, kMaxPsdSpectra);
      }
    }
  }
  if (DisplayConfig.Average != 0) {
    if (AverageCurveSet(AverageCurves, PsdCurves, kPsdView)) {
      AverageCurves[0].Label = " Power Average";
      UpdateGraph(AverageCurves, FreqGraphFrame, picture, title);
    } else {
      DisplayConfig.Average = kFalse;
      host.SetAverageBox(false);
    }
  }
  if (DisplayConfig.Average == 0) UpdateGraph(PsdCurves, FreqGraphFrame, picture, title);
  RefreshGraph(picture);
  return true;
}

void ShowLevelsImpulse(GraphHost& host, std::span<float> impulse, int32_t startIndex, float msBefore,
                       int32_t sampleRate, int32_t impulseShift, float level, float signalToNoise) {
  if (sampleRate <= 0) {
    MsgBox("Error 3012");
    return;
  }
  static constexpr std::string_view title = "Continuity Check";
  host.SelectViewButton(ViewButton::Time);
  DisplayConfig.Graphshown = kLevelsView;
  LevelsCurves[0].NumCurves = 0;
  const int32_t p = CLng(static_cast<double>(msBefore) / 1000.0 * sampleRate);
  const int64_t firstSample = int64_t{startIndex} - p;
  const double dt = 1000.0 / sampleRate;
  constexpr int32_t window = 1 << kNormalizeExponent;

  MainBuffer.Parameter = 0;
  MainBuffer.Num = kTimeViewPoints;
  if (firstSample < 0 || firstSample + window > static_cast<int64_t>(impulse.size()) ||
      WorkCurve.size() < static_cast<size_t>(window)) {
    MsgBox("Error 8715");
    return;
  }
  CopySingle(impulse.subspan(static_cast<size_t>(firstSample)), WorkCurve, window);
  NormalizeToPeak(WorkCurve, kTimeViewPeak, kNormalizeExponent);
  for (int32_t j = 0; j < kTimeViewPoints; ++j) {
    MainBuffer.XValues[static_cast<size_t>(j)] = static_cast<float>((j - p) * dt);
    MainBuffer.YValues[static_cast<size_t>(j)] = WorkCurve[static_cast<size_t>(j)];
  }

  // Sound travels 343 m/s over the 50 ms lead-in plus the shift.
  const double mm = Fix((0.05 * sampleRate + impulseShift) * 1000.0 * 343.0 / sampleRate);
  const std::string lines[] = {"Mic-Spkr Dist = " + FormatDouble(mm / 1000.0) + " m",
                               "Input Signal = " + FormatSingle(level) + " dB",
                               "Input Signal S/N = " + FormatSingle(signalToNoise) + " dB"};
  host.ShowListLines(lines);

  StoreCurveRecord(LevelsCurves, MainBuffer, "Levels Test", 0);
  DrawingSurface& picture = PrepareGraphDC(host.MainGraph());
  DrawGraphFrame(TimeGraphFrame, picture);
  UpdateGraph(LevelsCurves, TimeGraphFrame, picture, title);
  RefreshGraph(picture);
}

}  // namespace zentor
