// The gated spectrum every frequency view leans on, the FFT-length rule, and
// the small operations that go with the time-domain views.
#include "display/time_views.h"

#include <algorithm>
#include <cmath>

#include "core/records.h"
#include "core/results_store.h"
#include "base/shared_state.h"
#include "base/text_number.h"
#include "core/work_arrays.h"
#include "mainwindow/data_plotter.h"
#include "platform/dialogs.h"
#include "platform/numeric/numeric.h"

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

int32_t DataPlotter::GetFFTSizeFromGateTime(float gateMs, int32_t periodExponent, int32_t sampleRate) {
  // Sizes from a file are bounded before they drive loop counts.
  const int32_t N = std::clamp(periodExponent, 0, 64);
  const double x = 1.5 * static_cast<double>(gateMs) * sampleRate / 1000.0;
  int64_t k0 = 0;
  for (int32_t k = 1; k <= N - 1; ++k)
    if (x > std::ldexp(1.0, k)) k0 = k + 1;
  int64_t k = k0 + std::clamp(DisplayRes, -64, 64);
  const double span = x + 0.05 * sampleRate;
  for (int32_t i = 0; i < N; ++i)
    if (span > std::ldexp(1.0, static_cast<int>(k))) ++k;
  if (k == 0) MsgBox("Error 3410");
  const int32_t setExponent = std::min(ResultsDataSetInfo[0].PeriodExponent, kMaxSamplesExponent);
  k = std::min<int64_t>(k, setExponent);
  k = std::max<int64_t>(k, kMinFFTExponent);
  return static_cast<int32_t>(k);
}

bool DataPlotter::ComputeGatedFFTMagnitude(std::span<const float> impulse, int32_t /*unused*/,
                                           std::span<float> level, std::span<float> freq, int32_t& count,
                                           MeasurementHeader& header) {
  if (header.PeriodExponent > kMaxSamplesExponent) header.PeriodExponent = kMaxSamplesExponent;
  const float g = header.FreqRespGateTime;
  const int32_t fs = header.SampleRate;
  const int32_t P = std::max(header.PeriodExponent, 0);
  const int32_t period = 1 << P;

  auto refuse = [](bool tellUser) {
    if (tellUser) MsgBox("User Error: Gate time chosen is too large for curve data. Reduce gate time");
    const int32_t n = std::clamp<int32_t>(MainBuffer.Num, 0, kMaxCurvePoints);
    ClearArray(MainBuffer.YValues, n);
    ClearArray(MainBuffer.XValues, n);
    return false;
  };
  if (static_cast<double>(period) < static_cast<double>(g) / 1000.0 * fs * 1.2) return refuse(true);
  // No gate or no sample rate resolves no frequency.
  if (!(g > 0.0f) || !std::isfinite(g) || fs <= 0 || !ScratchHoldsAPeriod()) return refuse(false);

  const int32_t a = CLng(0.05 * fs);
  ApplySliceGate(impulse, WorkCurve2, a, g, fs, period, 0.0f);
  const int32_t k = GetFFTSizeFromGateTime(g, P, fs);
  const int32_t N = 1 << k;
  // The transform may be longer than the data: the rest is silence, not scratch.
  if (N > period) ClearArray(std::span<float>(WorkCurve2).subspan(static_cast<size_t>(period)), N - period);
  ClearArray(WorkCurve, N);
  fft(std::span<float>(WorkCurve2).first(static_cast<size_t>(N)), std::span<float>(WorkCurve).first(static_cast<size_t>(N)),
      k);
  LogMagArray(WorkCurve, WorkCurve2, WorkCurve, N);

  const float f0 = 1000.0f / g;
  const float df = static_cast<float>(fs) / static_cast<float>(N);
  const float s = f0 / df;
  // Points run from the gate's lowest frequency up to Nyquist, never into the
  // mirrored half of the transform.
  const double nyquistBin = N / 2;
  int32_t n = 0;
  if (s <= nyquistBin) n = static_cast<int32_t>(std::min<double>(kTimeViewPoints, std::floor(nyquistBin - s) + 1));
  n = std::min({n, static_cast<int32_t>(level.size()), static_cast<int32_t>(freq.size())});
  for (int32_t i = 0; i < n; ++i) {
    const int32_t bin = std::min(CLng(static_cast<double>(s) + i), N / 2);
    freq[static_cast<size_t>(i)] = f0 + static_cast<float>(i) * df;
    level[static_cast<size_t>(i)] = WorkCurve[static_cast<size_t>(bin)];
  }
  count = n;
  return true;
}

void DataPlotter::ClearDisplays() {
  for (CurveArray* a : {&ModalCurves, &FractOctCurves, &PsycCurves, &BodeCurves, &ImpulseCurves, &NoiseCurves,
                        &PsdCurves, &FilterListCurves})
    ClearCurveRecords(*a);
}

std::string DataPlotter::GetCurrentNumericalSettingsDisplayRes() const { return GetDisplayRes(); }

}  // namespace zentor
