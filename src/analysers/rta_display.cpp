#include "analysers/rta_display.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "base/shared_state.h"
#include "core/filter_design.h"
#include "core/filter_run.h"
#include "core/records.h"
#include "core/test_signals.h"
#include "core/work_arrays.h"
#include "display/graph_frame.h"
#include "display/graph_primitives.h"
#include "display/plot_colours.h"
#include "mainwindow/data_plotter.h"
#include "measurement/eq_audio_module.h"
#include "measurement/wave_clients.h"
#include "platform/forms.h"
#include "platform/numeric/numeric.h"

namespace zentor {

int32_t RtaOrder = 0;
int32_t RtaBlockSize = 0;
ColourRef RtaColour = 0;
bool RtaReady = false;
int32_t RtaSampleRate = 0;
int32_t RtaView = 2;
int32_t RtaFilterOn = 0;
float RtaLowerFreq = 0, RtaUpperFreq = 0;
float RtaStartTime = 0, RtaFinishTime = 0;
int32_t RtaShift = 0;
RtaDisplayLinks RtaDisplayHooks;

namespace {

constexpr int32_t kMinRtaOrder = 12;
constexpr int32_t kMaxRtaOrder = 15;
constexpr int32_t kMaxDspOrder = 18;  // the work arrays hold 2^18 + 1 points
constexpr int32_t kImpulseAt = 151;
constexpr int32_t kFilterRotation = 200;
constexpr int32_t kFilterRotationSpan = 4096;
constexpr int32_t kEtcPoints = 2000;
constexpr ColourRef kFlashBusy = RGB(255, 0, 0);
constexpr ColourRef kFlashIdle = RGB(224, 224, 224);

SharedStateRegistrar g_reset([] {
  RtaOrder = RtaBlockSize = 0;
  RtaColour = 0;
  RtaReady = false;
  RtaSampleRate = 0;
  RtaView = 2;
  RtaFilterOn = 0;
  RtaLowerFreq = RtaUpperFreq = RtaStartTime = RtaFinishTime = 0;
  RtaShift = 0;
  RtaDisplayHooks = {};
});

CurveRecord& Shown() { return SingleViewCurves[0]; }
CurveRecord& Frame() { return SingleViewCurves[1]; }
CurveRecord& Bins() { return SingleViewCurves[2]; }
CurveRecord& FilterResponse() { return SingleViewCurves[3]; }

void Flash(ColourRef c) {
  if (RtaDisplayHooks.Flash) RtaDisplayHooks.Flash(c);
}

int32_t AppliedCount() { return std::clamp<int32_t>(AppliedFilters[0].Count, 0, kMaxFilters); }

// Work arrays of at least n + 1 points (a test may start without the main window's sizing).
void EnsureWorkArrays(int32_t n) {
  if (WorkCurve.size() < static_cast<size_t>(n) + 1) AllocateWorkArrays(std::max(n, kWorkArrayPoints));
}

// The applied set as a DSP equaliser at dspRate runs it, read at the analyser's bins.
void DspFilterResponse(int32_t count, int32_t rate, int32_t dspRate) {
  const int32_t ratio = std::max(1, static_cast<int32_t>(std::lround(static_cast<double>(dspRate) / rate)));
  const int32_t k = std::min(kMaxDspOrder, RtaOrder + ratio);
  const int32_t m = int32_t{1} << k;
  EnsureWorkArrays(m);
  ClearArray(WorkCurve, m);
  WorkCurve[kImpulseAt] = 1.0f;
  ClearArray(WorkCurve2, m);
  RunFilterChainOnSignal(WorkCurve, WorkCurve2, k, dspRate, WorkFilterBlock, AppliedFilters);
  if (k < 17) {
    std::copy(WorkCurve.begin() + kImpulseAt, WorkCurve.begin() + m, WorkCurve.begin());
    std::fill(WorkCurve.begin() + (m - kImpulseAt), WorkCurve.begin() + m, 0.0f);
  }
  ClearArray(WorkCurve2, m);
  fft(WorkCurve, WorkCurve2, k);
  const double df = static_cast<double>(rate) / RtaBlockSize;
  for (int32_t i = 0; i < count; ++i) {
    // The analyser bin's frequency on the finer grid of the equaliser's rate.
    const double hz = Bins().XValues[static_cast<size_t>(i)] * df;
    const auto j = std::clamp<int64_t>(std::llround(hz * m / dspRate), 0, m / 2);
    const double re = WorkCurve[static_cast<size_t>(j)], im = WorkCurve2[static_cast<size_t>(j)];
    FilterResponse().YValues[static_cast<size_t>(i)] =
        static_cast<float>(10.0 * std::log10(std::max(re * re + im * im, 1e-30)));
  }
}

// The applied set as analogue sections; their dB responses add.
void AnalogueFilterResponse(int32_t count, int32_t rate) {
  std::fill_n(FilterResponse().YValues.begin(), count, 0.0f);
  std::array<float, kMaxCurvePoints> one{};
  for (int32_t f = 0; f < AppliedCount(); ++f) {
    const FilterRecord& r = AppliedFilters[static_cast<size_t>(f)];
    std::fill_n(one.begin(), count, 1.0f);
    ComputeFilterBlockResponseDb(one, Shown().XValues, count, rate, r.Freq1, r.Q1, r.Q2);
    for (int32_t i = 0; i < count; ++i) FilterResponse().YValues[static_cast<size_t>(i)] += one[static_cast<size_t>(i)];
  }
}

// Running frames are drawn with the XOR pen and not kept for repaints.
void KeepRunningMode(DrawingSurface& pic) {
  pic.SetDrawMode(DrawMode::XorPen);
  pic.SetAutoRedraw(false);
}

bool BlocksReady(int32_t n) {
  return n > 0 && RecordBufferA.size() >= static_cast<size_t>(n) && RecordBufferB.size() >= static_cast<size_t>(n);
}

}  // namespace

DrawingSurface& RtaPicture() { return Forms::Get<DataPlotter>()->MainGraph(); }

bool BuildRtaFrequencyAxis(std::span<float> binIndexes, std::span<float> frequencies, int32_t& count,
                           int32_t order, int32_t rate) {
  bool ok = true;
  if (order < kMinRtaOrder || order > kMaxRtaOrder) {
    MsgBox("Error 8230");
    ok = false;
  }
  count = 0;
  if (order < 1 || order > 20 || rate <= 0) return false;
  const int32_t n = int32_t{1} << order;
  const int32_t usable = n / 2;
  const double df = static_cast<double>(rate) / n;
  // Two bins short of the Nyquist frequency at the low special rates.
  const double top = std::min(20000.0, rate / 2.0 - 2.0 * df);
  if (top <= df) return false;
  const auto octaves = std::llround(std::log2(top / df) + 1.0);
  const auto candidates = std::llround(static_cast<double>(octaves) / 0.01 - 1.0);
  std::vector<int32_t> nearest;
  nearest.reserve(static_cast<size_t>(std::max<int64_t>(candidates + 1, 0)));
  for (int64_t k = 0; k <= candidates; ++k) {
    const double f = std::exp2(0.01 * static_cast<double>(k)) * df;
    if (f > df + top) break;
    // Nearest bin, the lower one on a tie.
    const double x = f / df;
    auto j = static_cast<int32_t>(std::floor(x));
    if (x - j > (j + 1) - x) ++j;
    nearest.push_back(std::clamp(j, 0, usable - 1));
  }
  const int32_t limit = std::min<int32_t>(static_cast<int32_t>(std::min(binIndexes.size(), frequencies.size())),
                                          kMaxCurvePoints);
  // A bin is kept where the next point moves on; the last point is never kept.
  for (size_t j = 0; j + 1 < nearest.size() && count < limit; ++j) {
    if (nearest[j + 1] <= nearest[j]) continue;
    binIndexes[static_cast<size_t>(count)] = static_cast<float>(nearest[j]);
    frequencies[static_cast<size_t>(count)] = static_cast<float>(df * nearest[j]);
    ++count;
  }
  return ok;
}

bool InitializeEQRTA(int32_t order, int32_t sampleRate, int32_t dspSampleRate, int32_t eqType) {
  RtaOrder = order;
  RtaBlockSize = int32_t{1} << std::clamp(order, 0, 20);
  RtaSampleRate = sampleRate;
  DrawingSurface& pic = RtaPicture();
  pic.SetDrawMode(DrawMode::CopyPen);
  pic.SetAutoRedraw(true);
  FreqGraphFrame.LogX = -1;
  DrawGraphFrame(FreqGraphFrame, pic);
  int32_t count = 0;
  if (!BuildRtaFrequencyAxis(Bins().XValues, Shown().XValues, count, order, sampleRate)) {
    MsgBox("Error 8279");
    return false;
  }
  Shown().NumPoints = count;
  Bins().NumPoints = count;
  Frame().NumPoints = count;
  DrawLegendAndTitle(pic, {}, "RTA for EQ setting", 0);
  RtaColour = PlotColours[1] ^ PlotColours[3];
  KeepRunningMode(pic);
  PlotCurve(FreqGraphFrame, pic, Shown(), RtaColour);
  KeepRunningMode(pic);
  if (AppliedCount() > 0) {
    if (eqType == 1)
      DspFilterResponse(count, sampleRate, dspSampleRate);
    else
      AnalogueFilterResponse(count, sampleRate);
    FilterResponse().NumPoints = count;
  } else {
    FilterResponse().NumPoints = 0;
  }
  RtaReady = true;
  return true;
}

void UpdateEQRTA() {
  if (!RtaReady) return;
  RtaReady = false;
  Flash(kFlashBusy);
  const int32_t n = RtaBlockSize;
  const int32_t count = Shown().NumPoints;
  if (BlocksReady(n)) {
    EnsureWorkArrays(n);
    const bool micRight = GetMicChannel() != kMicOnLeftInput;
    CopySingle(micRight ? RecordBufferB : RecordBufferA, WorkCurve, n);
    CopySingle(micRight ? RecordBufferA : RecordBufferB, WorkCurve2, n);
    GetRTASingleResponse(Bins().XValues, WorkCurve, count, RtaOrder);
    GetRTASingleResponse(Bins().XValues, WorkCurve2, count, RtaOrder);
    SubtractCurves(WorkCurve, WorkCurve2, Frame().YValues, count);
    if (FilterResponse().NumPoints > 0)
      SubtractCurves(Frame().YValues, FilterResponse().YValues, Frame().YValues, count);
    DrawingSurface& pic = RtaPicture();
    PlotCurve(FreqGraphFrame, pic, Shown(), RtaColour);
    std::copy_n(Frame().YValues.begin(), count, Shown().YValues.begin());
    PlotCurve(FreqGraphFrame, pic, Shown(), RtaColour);
    KeepRunningMode(pic);
  }
  Flash(kFlashIdle);
  RtaReady = true;
}

void CloseRTA() {
  DrawingSurface& pic = RtaPicture();
  pic.SetDrawMode(DrawMode::CopyPen);
  pic.SetAutoRedraw(true);
}

bool InitializeImpRTA(int32_t order, int32_t sampleRate, int32_t view, int32_t filterOn, float lowerFreq,
                      float upperFreq, float startTime, float finishTime) {
  RtaOrder = order;
  RtaSampleRate = sampleRate;
  RtaView = view;
  RtaFilterOn = filterOn;
  RtaLowerFreq = lowerFreq;
  RtaUpperFreq = upperFreq;
  RtaStartTime = startTime;
  RtaFinishTime = finishTime;
  RtaBlockSize = int32_t{1} << std::clamp(order, 0, 20);
  RtaShift = static_cast<int32_t>(std::lround(std::fabs(static_cast<double>(startTime) * sampleRate / 1000.0)));
  TimeGraphFrame.YTitle = view == 8 ? "Norm. Level [dB]" : "Norm. Level";
  TimeGraphFrame.YLow = view == 8 ? 0 : -30;
  TimeGraphFrame.YHigh = 30;
  TimeGraphFrame.XStart = static_cast<int32_t>(std::lround(startTime));
  TimeGraphFrame.XFinish = static_cast<int32_t>(std::lround(finishTime));
  ComputeAxisGridSteps(TimeGraphFrame);
  DrawingSurface& pic = RtaPicture();
  pic.SetDrawMode(DrawMode::CopyPen);
  DrawGraphFrame(TimeGraphFrame, pic);
  DrawLegendAndTitle(pic, {}, view == 8 ? "Energy Time Curve" : "Impulse Response", 0);
  CurveRecord& c = Shown();
  c.NumCurves = 1;
  c.NumPoints = kEtcPoints;
  for (int32_t i = 0; i < kEtcPoints; ++i) {
    c.XValues[static_cast<size_t>(i)] = startTime + static_cast<float>(i) * 1000.0f / static_cast<float>(sampleRate);
    c.YValues[static_cast<size_t>(i)] = 0.0f;
  }
  PlotCurve(TimeGraphFrame, pic, c, PlotColours[3]);
  RtaReady = true;
  return true;
}

void UpdateImpRTA() {
  if (!RtaReady) return;
  RtaReady = false;
  Flash(kFlashBusy);
  const int32_t n = RtaBlockSize;
  if (!BlocksReady(n)) {
    Flash(kFlashIdle);
    RtaReady = true;
    return;
  }
  EnsureWorkArrays(n);
  ClearArray(WorkCurve, n);
  ClearArray(WorkCurve2, n);
  CopySingle(RecordBufferA, WorkCurve4, n);
  CopySingle(RecordBufferB, WorkCurve3, n);
  fft(WorkCurve3, WorkCurve, RtaOrder);   // right input
  fft(WorkCurve4, WorkCurve2, RtaOrder);  // left input
  const bool micRight = GetMicChannel() != kMicOnLeftInput;
  for (int32_t i = 0; i < n; ++i) {
    const auto u = static_cast<size_t>(i);
    double numRe = micRight ? WorkCurve3[u] : WorkCurve4[u], numIm = micRight ? WorkCurve[u] : WorkCurve2[u];
    double denRe = micRight ? WorkCurve4[u] : WorkCurve3[u], denIm = micRight ? WorkCurve2[u] : WorkCurve[u];
    if (!ComplexReciprocal(denRe, denIm)) {
      // No further frame until the analyser is started again.
      MsgBox("User Error 2391: No input signal on left Input channel: n= " + std::to_string(i));
      return;
    }
    double hRe = 0, hIm = 0;
    ComplexMultiply(numIm, numRe, denIm, denRe, hIm, hRe);
    WorkCurve3[u] = static_cast<float>(hRe);
    WorkCurve[u] = static_cast<float>(hIm);
  }
  WorkCurve3[0] = 0.0f;
  WorkCurve[0] = 0.0f;
  ifft(WorkCurve3, WorkCurve, RtaOrder);
  if (RtaStartTime > 0)
    RotateImpulseLeftC(n, WorkCurve3, RtaShift);
  else if (RtaStartTime < 0)
    RotateImpulseRightC(n, WorkCurve3, RtaShift);
  const bool impulse = RtaView != 8;
  if (impulse) NormalizeToPeak(WorkCurve3, 30.0f, RtaOrder);
  if (RtaFilterOn == 1) {
    const int32_t span = std::min(kFilterRotationSpan, n);
    RotateImpulseRightC(span, WorkCurve3, kFilterRotation);
    BandPassFilterSignal(WorkCurve3, WorkCurve, RtaSampleRate, RtaOrder, RtaLowerFreq, RtaUpperFreq, WorkFilterBlock);
    RotateImpulseLeftC(span, WorkCurve3, kFilterRotation);
    if (impulse) NormalizeToPeak(WorkCurve3, 30.0f, RtaOrder);
  }
  CurveRecord& c = Shown();
  if (impulse) {
    const auto points = std::llround(static_cast<double>(RtaFinishTime - RtaStartTime) * RtaSampleRate / 1000.0);
    c.NumPoints = static_cast<int32_t>(std::clamp<int64_t>(points, 0, std::min<int64_t>(kMaxCurvePoints, n)));
    std::copy_n(WorkCurve3.begin(), c.NumPoints, c.YValues.begin());
  } else {
    ComputeEnergyTimeCurve(WorkCurve3, RtaOrder, RtaSampleRate, RtaLowerFreq, RtaUpperFreq);
    std::copy_n(WorkCurve3.begin(), std::min(kEtcPoints, n), c.YValues.begin());
  }
  DrawingSurface& pic = RtaPicture();
  pic.SetDrawMode(DrawMode::CopyPen);
  DrawGraphFrame(TimeGraphFrame, pic);
  DrawLegendAndTitle(pic, {}, impulse ? "Impulse Response" : "Energy Time Curve", 0);
  PlotCurve(TimeGraphFrame, pic, c, PlotColours[3]);
  Flash(kFlashIdle);
  RtaReady = true;
}

void ComputeEnergyTimeCurve(std::span<float> x, int32_t order, int32_t rate, float lower, float upper) {
  if (order < 1 || order > 20) return;
  const int32_t m = int32_t{1} << order;
  if (x.size() < static_cast<size_t>(m)) return;
  EnsureWorkArrays(m);
  EnergyEnvelope(x, WorkCurve, order);
  NormalizeToPeak(WorkCurve, 10.0f, order);
  for (int32_t i = 0; i < m; ++i) WorkCurve[static_cast<size_t>(i)] = std::max(WorkCurve[static_cast<size_t>(i)], 1e-6f);
  const double width = upper > lower ? 0.5 * rate / (upper - lower) : 1.0;
  const auto taps = static_cast<int32_t>(std::clamp<int64_t>(std::llround(3.0 * width), 1, m));
  GetSymmetricalPsycologicalGaussianWindow(WorkCurve2, taps, static_cast<float>(width));
  Convolute(WorkCurve, WorkCurve3, WorkCurve2, m, taps);
  // The symmetric window delays by half its length; centre it on the impulse.
  RotateImpulseLeftC(m, WorkCurve3, (taps - 1) / 2);
  NormalizeToPeak(WorkCurve3, 1000.0f, order);
  for (int32_t i = 0; i < m; ++i)
    WorkCurve3[static_cast<size_t>(i)] = std::max(WorkCurve3[static_cast<size_t>(i)], 1e-10f);
  TenLogTenArray(WorkCurve3, std::min(kEtcPoints, m));
  if (x.data() != WorkCurve3.data()) std::copy_n(WorkCurve3.begin(), std::min(kEtcPoints, m), x.begin());
}

void InstallRtaDisplayLinks() {
  WaveClientHooks.UpdateEQRTA = [] { UpdateEQRTA(); };
  WaveClientHooks.UpdateImpRTA = [] { UpdateImpRTA(); };
}

}  // namespace zentor
