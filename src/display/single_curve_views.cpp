#include "display/single_curve_views.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>
#include <vector>

#include "base/shared_state.h"
#include "base/text_number.h"
#include "core/emulation.h"
#include "core/filter_design.h"
#include "core/filter_run.h"
#include "core/helpers.h"
#include "core/records.h"
#include "core/results_store.h"
#include "core/test_signals.h"
#include "core/work_arrays.h"
#include "display/average_response.h"
#include "display/curve_similarity.h"
#include "display/dispatcher.h"
#include "display/display_options.h"
#include "display/filtered_response.h"
#include "display/fit_to_data.h"
#include "display/graph_frame.h"
#include "display/graph_primitives.h"
#include "display/plot_colours.h"
#include "display/time_views.h"
#include "display/view_state.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/numeric/numeric.h"

namespace zentor {

namespace {

constexpr int32_t kPoints = kTimeViewPoints;
constexpr double kSoundSpeed = 343.0;  // m/s
constexpr int32_t kTitleLegendTime = 4;
constexpr int32_t kTitleLegendFrequency = 6;

// The applied filters of one view as last compared: Freq1, Q1, Q2, level.
std::array<std::array<std::array<float, 4>, kMaxFilters>, 3> filterCaches{};

SharedStateRegistrar g_reset([] { filterCaches = {}; });

int32_t LoadedCount() { return std::clamp(ResultsDataSetInfo[0].NumInSet, 0, kMaxResults); }
bool IsLoaded(int32_t k) { return k >= 0 && k < LoadedCount(); }
int32_t AppliedCount() { return std::clamp<int32_t>(AppliedFilters[0].Count, 0, kMaxFilters); }

bool Usable(const CurveArray& set, int32_t k) {
  return k >= 0 && k < kCurveSlots && set[0].NumCurves > k && set[static_cast<size_t>(k)].NumPoints >= 1;
}

std::string Text(int32_t v) { return std::to_string(v); }

// The host is busy, and the cursor an hourglass, for the whole of a view; both
// are given back on every way out.
class BusyView {
 public:
  explicit BusyView(GraphHost& host) : host_(host) { host_.SetBusyFlag(true); }
  ~BusyView() { host_.SetBusyFlag(false); }
  BusyView(const BusyView&) = delete;
  BusyView& operator=(const BusyView&) = delete;

 private:
  GraphHost& host_;
  WaitCursor hourglass_;
};

bool WorkArraysHold(int32_t n) {
  const auto need = static_cast<size_t>(n);
  for (const std::vector<float>* a : {&WorkCurve, &WorkCurve2, &WorkCurve3, &WorkCurve4})
    if (a->size() < need) return false;
  return true;
}

// Record r of the single-curve views filled from work(d i + s0), 2000 points from
// t0 ms; samples at or past n were not recorded and read as silence.
void FillTimeRecord(CurveRecord& r, std::span<const float> work, int32_t n, int32_t d, int32_t s0, double t0,
                    int32_t fs, const std::string& label) {
  r.NumPoints = kPoints;
  for (int32_t i = 0; i < kPoints; ++i) {
    const int64_t from = int64_t{d} * i + s0;
    r.YValues[static_cast<size_t>(i)] = from >= 0 && from < n ? work[static_cast<size_t>(from)] : 0.0f;
    r.XValues[static_cast<size_t>(i)] = static_cast<float>(t0 + static_cast<double>(i) * d * 1000.0 / fs);
  }
  r.Label = label;
}

// ---- Impulse mode -----------------------------------------------------------------

void ShowImpulseMode(GraphHost& host, int32_t k, int32_t order, int32_t fs) {
  const int32_t n = 1 << order;
  const double t0 = fs > 48000 ? -2.0 : -10.0;
  const int32_t s0 = CLng((t0 / 1000.0 + 0.05) * fs);
  const std::span<float> work(WorkCurve4);
  const ImpulseDisplayConfigRecord& cfg = ImpulseDisplayConfig;

  TimeGraphFrame.YLow = -30;
  TimeGraphFrame.YHigh = 30;
  std::copy_n(ImpulseSet[static_cast<size_t>(k)].begin(), n, work.begin());
  int32_t d = 1;
  NormalizeToPeak(work, kTimeViewPeak, order);
  const bool filtered = cfg.FilterOn != 0;
  std::string label = "Impulse Response ";
  if (filtered) {
    if (!BandPassFilterSignal(work, WorkCurve2, fs, order, cfg.LowerCutoffFreq, cfg.UpperCutoffFreq,
                              WorkFilterBlock)) {
      MsgBox("Error 4319");
      return;
    }
    // A low band needs a longer window to show a few of its periods.
    if (cfg.UpperCutoffFreq < 300.0f) d = fs >= 44100 ? 16 : fs >= 12000 ? 4 : 1;
    label = "Filtered Impulse Response ";
  }
  NormalizeToPeak(work, kTimeViewPeak, order);
  CurveRecord& plain = SingleViewCurves[0];
  FillTimeRecord(plain, work, n, d, s0, t0, fs, label);
  if (filtered && cfg.UpperCutoffFreq < 300.0f) {
    TimeGraphFrame.XStart = CLng(plain.XValues[0]);
    TimeGraphFrame.XFinish = CLng(plain.XValues[kPoints - 1]);
  }
  SingleViewCurves[0].NumCurves = 1;
  DrawingSurface& picture = PrepareGraphDC(host.MainGraph());
  DrawGraphFrame(TimeGraphFrame, picture);
  PlotCurve(TimeGraphFrame, picture, plain, PlotColours[3]);

  const MeasurementHeader& h = ResultsDataSetInfo[static_cast<size_t>(k)];
  const std::string lines[] = {MicSpeakerDistanceLine(fs, h.ImpulseShift, h.PeriodExponent),
                               "Input Signal = " + FormatSingle(h.PeakLevel) + " dB",
                               "Input Signal S/N = " + FormatSingle(h.NoiseEnergy) + " dB"};
  host.ShowListLines(lines);

  if (AppliedCount() >= 1) {
    NormalizeToPeak(work, kTimeViewPeak, order);
    if (!RunFilterChainOnSignal(work, WorkCurve2, order, fs, WorkFilterBlock, AppliedFilters)) {
      MsgBox("Error 4319");
      return;
    }
    CurveRecord& twin = SingleViewCurves[1];
    FillTimeRecord(twin, work, n, d, s0, t0, fs,
                   filtered ? "EQ + Filtered Impulse Response*" : "Filtered Impulse Response*");
    SingleViewCurves[0].NumCurves = 2;
    PlotCurve(TimeGraphFrame, picture, twin, PlotColours[4]);
  }
  DrawGraphTitleAndLegend(TimeGraphFrame, picture, SingleViewCurves, Text(k + 1) + " ", kTitleLegendTime);
  host.SetCurveNoText(Text(k + 1));
  RefreshGraph(picture);
}

// ---- Energy-time mode -------------------------------------------------------------

void ShowEnergyTimeMode(GraphHost& host, int32_t k, int32_t order) {
  const ImpulseDisplayConfigRecord& cfg = ImpulseDisplayConfig;
  GraphFrame& f = TimeGraphFrame;
  const std::array<int32_t, 4> saved{f.XStart, f.XFinish, f.YLow, f.YHigh};
  f.XStart = -10;
  f.XFinish = 30;
  f.YLow = -30;
  f.YHigh = 0;
  DrawingSurface& picture = PrepareGraphDC(host.MainGraph());
  DrawGraphFrame(f, picture);
  SingleViewCurves[0].NumCurves = 0;
  std::vector<std::string> lines{
      "Dir. Energy Time: " + FormatDouble(Fix(static_cast<double>(cfg.ETCDRTime) * 10) * 0.1) + " ms",
      "Total Energy Time: " + FormatDouble(Fix(static_cast<double>(cfg.ETCDRPlusRev) * 10) * 0.1) + " ms"};
  host.ShowListLines(lines);

  struct Band {
    int16_t on;
    double low, high;
    const char* error;
  };
  const Band bands[] = {{cfg.ApplyLowETC, cfg.ETCMinLow, cfg.ETCMinHigh, "Error 4324"},
                        {cfg.ApplyMidETC, cfg.ETCMidLow, cfg.ETCMidHigh, "Error 4325"},
                        {cfg.ApplyHighETC, cfg.ETCHighLow, cfg.ETCHighHigh, "Error 4326"}};
  int32_t s = 0;
  for (const Band& b : bands) {
    if (b.on == 0) continue;
    if (!(b.high - b.low > 0) || !(b.low > 0) || !std::isfinite(b.high)) {
      MsgBox(b.error);
      RefreshGraph(picture);
      return;
    }
    SingleViewCurves[0].NumCurves = s + 1;
    float ratio = 1;
    if (!ComputeETC(host, k, order, b.low, b.high, s, ratio)) {
      SingleViewCurves[0].NumCurves = s;
      MsgBox("Error 4319");
      RefreshGraph(picture);
      return;
    }
    DrawGraphTitleAndLegend(f, picture, SingleViewCurves, Text(k + 1) + " ", kTitleLegendTime);
    host.SetCurveNoText(Text(k + 1));
    ++s;
    lines.push_back(FormatDouble(b.low) + " Hz - " + FormatDouble(b.high) +
                    " Hz = " + FormatDouble(Fix(100.0 * std::log10(ratio)) * 0.1) + " dB");
    host.ShowListLines(lines);
  }
  f.XStart = saved[0];
  f.XFinish = saved[1];
  f.YLow = saved[2];
  f.YHigh = saved[3];
  RefreshGraph(picture);
}

// ---- Shifts -------------------------------------------------------------------------

void ShiftImpulse(GraphHost& host, int32_t n, int32_t k, bool right) {
  if (n > LoadedCount()) {
    MsgBox("User Error: Curve Number exceeds that available");
    return;
  }
  if (n < 1) {
    MsgBox("User Error: Curve Number must be between 1 and the number of curves available");
    return;
  }
  WaitCursor hourglass;
  const int32_t N = 1 << std::clamp(ResultsDataSetInfo[0].PeriodExponent, 0, kMaxSamplesExponent);
  if (WorkCurve2.size() < static_cast<size_t>(N)) {
    MsgBox(right ? "Error 5533" : "Error 4533");
    return;
  }
  auto& column = ImpulseSet[static_cast<size_t>(n - 1)];
  std::copy_n(column.begin(), N, WorkCurve2.begin());
  if (right)
    RotateImpulseRightC(N, WorkCurve2, k);
  else
    RotateImpulseLeftC(N, WorkCurve2, k);
  std::copy_n(WorkCurve2.begin(), N, column.begin());
  MeasurementHeader& h = ResultsDataSetInfo[static_cast<size_t>(n - 1)];
  const int64_t moved = int64_t{h.ImpulseShift} + (right ? int64_t{k} : -int64_t{k});
  h.ImpulseShift = static_cast<int32_t>(std::clamp<int64_t>(moved, INT32_MIN, INT32_MAX));
  // The rotated samples are saved with the set; leaving unasked would lose them.
  if (ResultsStoreHooks.MarkResultsUnsaved) ResultsStoreHooks.MarkResultsUnsaved();
  SetPlotterToUpdate();
  ShowImpulseCurve(host, n - 1);
}

// ---- Frequency views ----------------------------------------------------------------

void DrawFrequencyRecords(GraphHost& host, int32_t count, std::string_view title) {
  DrawingSurface& picture = PrepareGraphDC(host.MainGraph());
  DrawGraphFrame(FreqGraphFrame, picture);
  for (int32_t i = 0; i < count; ++i)
    PlotCurve(FreqGraphFrame, picture, SingleViewCurves[static_cast<size_t>(i)], GetCurveColour(i));
  DrawGraphTitleAndLegend(FreqGraphFrame, picture, SingleViewCurves, title, kTitleLegendFrequency);
  RefreshGraph(picture);
}

void NormalizeRecord(GraphHost& host, CurveRecord& r) {
  NormalizeDisplayCurves(host, r.YValues, r.XValues, std::clamp(r.NumPoints, 0, kMaxCurvePoints),
                         FreqGraphFrame.XStart, FreqGraphFrame.XFinish);
}

void CopyCurve(const CurveRecord& from, CurveRecord& to) {
  const int32_t n = std::clamp(from.NumPoints, 0, kMaxCurvePoints);
  std::copy_n(from.YValues.begin(), n, to.YValues.begin());
  std::copy_n(from.XValues.begin(), n, to.XValues.begin());
  to.NumPoints = n;
}

// The noise views' level range over the frame's x range.
void FitNoiseLevels(int32_t count) {
  GraphFrame& f = FreqGraphFrame;
  bool any = false;
  for (int32_t c = 0; c < count && !any; ++c) {
    const CurveRecord& r = SingleViewCurves[static_cast<size_t>(c)];
    const int32_t n = std::clamp(r.NumPoints, 0, kMaxCurvePoints);
    for (int32_t i = 0; i < n && !any; ++i)
      any = static_cast<float>(f.XStart) <= r.XValues[static_cast<size_t>(i)] &&
            r.XValues[static_cast<size_t>(i)] <= static_cast<float>(f.XFinish);
  }
  if (!any) return;
  const CurveRecord& first = SingleViewCurves[0];
  const auto x0 = static_cast<float>(f.XStart), x1 = static_cast<float>(f.XFinish);
  int32_t lo = CLng(GetFirstValueInRange(x0, x1, first.XValues, first.YValues, first.NumPoints));
  int32_t hi = lo;
  for (int32_t c = 0; c < count; ++c) {
    const CurveRecord& r = SingleViewCurves[static_cast<size_t>(c)];
    lo = CLng(GetMinValueInRange(x0, x1, r.XValues, r.YValues, r.NumPoints, static_cast<float>(lo)));
    hi = CLng(GetMaxValueInRange(x0, x1, r.XValues, r.YValues, r.NumPoints, static_cast<float>(hi)));
  }
  f.YLow = lo;
  f.YHigh = hi;
}

std::string NoiseLabel() { return "S/N ratio " + FormatSingle(ResultsDataSetInfo[0].NoiseGateTime) + " ms"; }

int32_t CacheIndex(int32_t view) { return view == kBodeView ? 0 : view == kFractOctView ? 1 : 2; }

}  // namespace

// ---- The dispatcher -----------------------------------------------------------------

void ShowCurveView(GraphHost& host, int32_t& n) {
  MeasurementHeader& set = ResultsDataSetInfo[0];
  if (!CheckEmulationSampleRate(AppliedFilters, set.SampleRate)) return;
  WaitCursor hourglass;
  const int32_t view = DisplayConfig.Graphshown;
  if (view == kPsdView || LoadedCount() < 1) return;
  const bool average = DisplayConfig.Average != 0;
  switch (view) {
    case kImpulseView:
      ShowImpulseCurve(host, n - 1);
      host.SetCurveNoText(Text(n));
      break;
    case kModalSliceView:
    case kNoiseView:
      if (average) {
        n = 1;
        host.SetCurveNoText("1");
        ShowSPLAverageCurve(host);
      } else {
        host.SetCurveNoText(Text(n));
        ShowNoiseCurve(host, n - 1);
      }
      break;
    case kBodeView:
    case kFractOctView:
    case kPsycView: {
      DisplayConfigRecord& c = DisplayConfig;
      if (!(c.ShowBodeInSingleView != 0 && c.ShowPsycInSingleView != 0 && c.ShowFractOctInSingleView != 0))
        (view == kBodeView ? c.ShowBodeInSingleView : view == kFractOctView ? c.ShowFractOctInSingleView
                                                                            : c.ShowPsycInSingleView) = 1;
      if (SingularityList[0].Average != -1) {
        const CurveArray& curves = view == kBodeView ? BodeCurves : view == kFractOctView ? FractOctCurves : PsycCurves;
        ListCurveSimilarities(host, curves, static_cast<float>(FreqGraphFrame.XStart),
                              static_cast<float>(FreqGraphFrame.XFinish), n - 1);
      }
      if (average) {
        n = 1;
        host.SetCurveNoText("1");
        ShowAverageCurve(host);
      } else {
        host.SetCurveNoText(Text(n));
        ShowFrequencyCurve(host, n - 1);
      }
      break;
    }
    default: break;
  }
}

// ---- Impulse and energy-time views -----------------------------------------------------

void ShowImpulseCurve(GraphHost& host, int32_t k) {
  if (host.IsBusy()) return;
  BusyView busy(host);
  const MeasurementHeader& set = ResultsDataSetInfo[0];
  const int32_t fs = set.SampleRate;
  if (!IsLoaded(k) || fs <= 0) return;
  const int32_t order = std::clamp(set.PeriodExponent, 0, kMaxSamplesExponent);
  const int32_t n = 1 << order;
  if (!WorkArraysHold(n)) return;
  ClearArray(WorkCurve4, n);
  if (ImpulseDisplayConfig.ShowETC != 0)
    ShowEnergyTimeMode(host, k, order);
  else
    ShowImpulseMode(host, k, order, fs);
}

bool ComputeETC(GraphHost& host, int32_t k, int32_t order, double low, double high, int32_t s, float& ratio) {
  const int32_t fs = ResultsDataSetInfo[0].SampleRate;
  if (!IsLoaded(k) || fs <= 0 || s < 0 || s >= kCurveSlots) return false;
  order = std::clamp(order, 1, kMaxSamplesExponent);
  const int32_t n = 1 << order;
  if (!WorkArraysHold(n)) return false;
  const std::span<float> band(WorkCurve4), energy(WorkCurve), window(WorkCurve2), smooth(WorkCurve3);
  ClearArray(band, n);
  std::copy_n(ImpulseSet[static_cast<size_t>(k)].begin(), n, band.begin());
  if (!BandPassFilterSignal(band, WorkCurve2, fs, order, static_cast<float>(low), static_cast<float>(high),
                            WorkFilterBlock))
    return false;
  NormalizeToPeak(band, 1.0f, order);
  if (!EnergyEnvelope(band.first(static_cast<size_t>(n)), energy, order)) return false;
  NormalizeToPeak(energy, 10.0f, order);
  for (int32_t i = 0; i < n; ++i) energy[static_cast<size_t>(i)] = std::max(energy[static_cast<size_t>(i)], 1e-6f);

  // Both sums start 50 ms before time zero and end within the data.
  const ImpulseDisplayConfigRecord& cfg = ImpulseDisplayConfig;
  auto samplesTo = [&](float ms) {
    const double v = (static_cast<double>(ms) + 50.0) * fs / 1000.0;
    return std::isfinite(v) ? static_cast<int32_t>(std::clamp<double>(std::nearbyint(v), 0, n)) : 0;
  };
  double e1 = 0, e2 = 0;
  IntegrateSingle(energy, 0, samplesTo(cfg.ETCDRTime), e1);
  IntegrateSingle(energy, 0, samplesTo(cfg.ETCDRPlusRev), e2);
  if (e2 - e1 <= 0) {
    ratio = 1.0f;
    MsgBox("Error 4529");
  } else {
    ratio = static_cast<float>(e1 / (e2 - e1));
  }

  // Smoothing over about half a period of the band's width; a narrow low band
  // would ask for a window longer than the data.
  const float w = static_cast<float>(0.5 * fs / (high - low));
  const int32_t L = std::clamp(CLng(3.0 * w), 1, n);
  GetSymmetricalPsycologicalGaussianWindow(window, L, w);
  if (!Convolute(energy, smooth, window, n, L)) return false;
  NormalizeToPeak(smooth, 1.0f, order);
  const int32_t d = fs > 48000 ? 2 : 1;
  const double offset = 1.5 * static_cast<double>(w) + CLng(0.04 * fs);
  CurveRecord& r = SingleViewCurves[static_cast<size_t>(s)];
  r.NumPoints = kPoints;
  for (int32_t i = 0; i < kPoints; ++i) {
    const double at = std::nearbyint(static_cast<double>(d) * i + offset);
    float v = at >= 0 && at < n ? smooth[static_cast<size_t>(at)] : 0.0f;
    v = std::max(v, 1e-10f);  // -100 dB floor
    r.YValues[static_cast<size_t>(i)] = 10.0f * std::log10(v);
    r.XValues[static_cast<size_t>(i)] = static_cast<float>(static_cast<double>(i) * d * 1000.0 / fs - 10.0);
  }
  r.Label = " ETC [dB] " + FormatDouble(Fix(low * 0.01) * 0.1) + " KHz to " + FormatDouble(Fix(high * 0.01) * 0.1) +
            " KHz";
  DrawingSurface& picture = PrepareGraphDC(host.MainGraph());
  PlotCurve(TimeGraphFrame, picture, r, PlotColours[static_cast<size_t>(std::clamp(s + 3, 0, kNumPlotColours - 1))]);
  return true;
}

std::string MicSpeakerDistanceLine(int32_t sampleRate, int32_t impulseShift, int32_t periodExponent) {
  if (sampleRate <= 0) return "Mic-Spkr Dist = 0 m";
  const double dist = (0.05 * sampleRate + impulseShift) / sampleRate * kSoundSpeed;
  const double period = std::ldexp(1.0, std::clamp(periodExponent, 0, 30)) / sampleRate * kSoundSpeed;
  // Whole millimetres, so that 17.15 m does not read 17.14 through binary fractions.
  const int64_t distMm = std::llround(std::nearbyint(dist * 1000.0));
  const auto periodMm = static_cast<int64_t>(Fix(period * 1000.0));
  int64_t mm = distMm;
  if (periodMm > 0) mm = ((distMm % periodMm) + periodMm) % periodMm;
  return "Mic-Spkr Dist = " + FormatDouble(static_cast<double>(mm / 10) / 100.0) + " m";
}

// ---- Frequency and noise views -----------------------------------------------------------

void ShowFrequencyCurve(GraphHost& host, int32_t k) {
  const MeasurementHeader& set = ResultsDataSetInfo[0];
  const std::string bodeGate = FormatSingle(set.FreqRespGateTime);
  const std::string res = FormatDouble(Fix(static_cast<double>(set.FractOctRes) * 100) * 0.01);
  const std::string octGate = FormatDouble(Fix(static_cast<double>(set.FractOctGateTime) * 10) * 0.1);
  struct Response {
    int32_t on;
    const CurveArray& set;
    int32_t view;
    std::string label, twin;
  };
  const Response responses[] = {
      {DisplayConfig.ShowBodeInSingleView, BodeCurves, kBodeView, "Bode " + bodeGate + " ms",
       "Bode " + bodeGate + " ms*"},
      {DisplayConfig.ShowPsycInSingleView, PsycCurves, kPsycView, "PsychoAcoustic", "PsychoAcoustic*"},
      {DisplayConfig.ShowFractOctInSingleView, FractOctCurves, kFractOctView, res + "Oct / " + octGate + "ms",
       res + "Oct/" + octGate + "ms*"}};
  int32_t s = 0;
  SingleViewCurves[0].NumCurves = 0;
  for (const Response& r : responses) {
    if (r.on != 1 || !Usable(r.set, k)) continue;
    CurveRecord& plain = SingleViewCurves[static_cast<size_t>(s)];
    CopyCurve(r.set[static_cast<size_t>(k)], plain);
    SingleViewCurves[0].NumCurves = s + 1;
    NormalizeRecord(host, plain);
    plain.Label = r.label;
    ++s;
    if (AppliedCount() >= 1) {
      CurveRecord& twin = SingleViewCurves[static_cast<size_t>(s)];
      CopyCurve(plain, twin);
      SingleViewCurves[0].NumCurves = s + 1;
      ComputeFilteredResponse(host, twin, AppliedFilters, WorkFilterBlock, set.SampleRate, r.view, k);
      NormalizeRecord(host, twin);
      twin.Label = r.twin;
      ++s;
    }
  }
  if (s == 0) {
    MsgBox("User Error: You must click the SC view checkbox in the Result Options window to see results");
    return;
  }
  DrawFrequencyRecords(host, s, Text(k + 1) + " ");
}

void ShowNoiseCurve(GraphHost& host, int32_t k) {
  SingleViewCurves[0].NumCurves = 0;
  if (Usable(NoiseCurves, k)) {
    CopyCurve(NoiseCurves[static_cast<size_t>(k)], SingleViewCurves[0]);
    SingleViewCurves[0].NumCurves = 1;
    SingleViewCurves[0].Label = NoiseLabel();
    FitNoiseLevels(1);
  }
  DrawFrequencyRecords(host, SingleViewCurves[0].NumCurves, Text(k + 1) + " ");
}

void ShowSPLAverageCurve(GraphHost& host) {
  SingleViewCurves[0].NumCurves = 0;
  const int32_t held = std::clamp(NoiseCurves[0].NumCurves, 0, kCurveSlots);
  const int32_t points = std::clamp(NoiseCurves[0].NumPoints, 0, kMaxCurvePoints);
  if (held >= 1 && points >= 1) {
    std::vector<double> sum(static_cast<size_t>(points), 0.0);
    int32_t m = 0;
    CurveRecord& r = SingleViewCurves[0];
    for (int32_t c = 0; c < held; ++c) {
      const CurveRecord& from = NoiseCurves[static_cast<size_t>(c)];
      if (from.NumPoints != points) continue;
      CopyCurve(from, r);
      for (int32_t i = 0; i < points; ++i) sum[static_cast<size_t>(i)] += from.YValues[static_cast<size_t>(i)];
      ++m;
    }
    if (m > 0) {
      for (int32_t i = 0; i < points; ++i) r.YValues[static_cast<size_t>(i)] = static_cast<float>(sum[i] / m);
      r.Label = NoiseLabel();
      r.NumCurves = 1;
      FitNoiseLevels(1);
      FreqGraphFrame.YLow -= 1;
      FreqGraphFrame.YHigh += 1;
    }
  }
  DrawFrequencyRecords(host, SingleViewCurves[0].NumCurves, " SPL Average");
}

void ShowAverageCurve(GraphHost& host) {
  MeasurementHeader& set = ResultsDataSetInfo[0];
  SingleViewCurves[0].NumCurves = 0;
  struct Response {
    int32_t on;
    CurveArray& curves;
    int32_t view;
    float p7, p8, p9;
  };
  const Response responses[] = {
      {DisplayConfig.ShowBodeInSingleView, BodeCurves, kBodeView, 0, set.FreqRespGateTime, set.FractOctRes},
      {DisplayConfig.ShowPsycInSingleView, PsycCurves, kPsycView, set.PsycShelfLevel, set.PsycGateTime,
       set.PsycLFResolution},
      {DisplayConfig.ShowFractOctInSingleView, FractOctCurves, kFractOctView, 0, set.FractOctGateTime,
       set.FractOctRes}};
  int32_t count = 0;
  for (Response r : responses) {
    if (r.on != 1) continue;
    bool any = false;
    for (int32_t c = 0; c < std::clamp(r.curves[0].NumCurves, 0, kCurveSlots) && !any; ++c)
      any = r.curves[static_cast<size_t>(c)].NumPoints > 0;
    if (!any || count + 2 > kCurveSlots) continue;
    ComputeAverageResponse(host, r.curves, SingleViewCurves[static_cast<size_t>(count)],
                           SingleViewCurves[static_cast<size_t>(count + 1)], AppliedFilters, FreqGraphFrame, r.view,
                           r.p7, r.p8, r.p9);
    count += 2;
    SingleViewCurves[0].NumCurves = count;
  }
  if (count == 0)
    MsgBox("User Error: You must select the filter check box in one or more curves in display options under default "
           "frequency display");
  DrawFrequencyRecords(host, count, "Average ");
}

bool FilterSetUnchanged(int32_t view) {
  if (view != kBodeView && view != kFractOctView && view != kPsycView) return true;
  auto& cache = filterCaches[static_cast<size_t>(CacheIndex(view))];
  bool same = true;
  const int32_t count = AppliedCount();
  for (int32_t i = 0; i < count; ++i) {
    const FilterRecord& f = AppliedFilters[static_cast<size_t>(i)];
    const std::array<float, 4> now{f.Freq1, f.Q1, f.Q2, f.FitError};  // FitError: the level field
    if (cache[static_cast<size_t>(i)] != now) same = false;
    cache[static_cast<size_t>(i)] = now;
  }
  return same;
}

void ShiftImpulseLeft(GraphHost& host, int32_t n, int32_t k) { ShiftImpulse(host, n, k, false); }
void ShiftImpulseRight(GraphHost& host, int32_t n, int32_t k) { ShiftImpulse(host, n, k, true); }

void InstallImpulseShiftLinks() {
  ImpulseShiftHooks.ShiftImpulseLeft = ShiftImpulseLeft;
  ImpulseShiftHooks.ShiftImpulseRight = ShiftImpulseRight;
}

}  // namespace zentor
