// The gated FFT (Bode), fractional-octave, psychoacoustic, signal-to-noise and
// modal-slice views.
//
// Each view first settles, on the interface thread and from the headers alone, what
// every slot of the call will do (compute, stay empty, or stop the call with its
// refusal), then computes the curves on worker threads while filing, drawing, header
// writes, progress steps and messages follow in slot order here. A message is only
// shown once no worker is running, so its event loop never meets a computation.
#include "display/frequency_views.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/shared_state.h"
#include "base/text_number.h"
#include "core/records.h"
#include "core/results_store.h"
#include "display/curve_averaging.h"
#include "display/curve_workers.h"
#include "display/dispatcher.h"
#include "display/fit_to_data.h"
#include "display/graph_frame.h"
#include "display/graph_primitives.h"
#include "display/plot_colours.h"
#include "display/view_state.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/picture.h"

namespace zentor {

ResponseRoutineTable DefaultResponseRoutines() {
  ResponseRoutineTable t;
  t.GatedFFTMagnitude = GatedFFTMagnitude;
  t.GetLogResponse = GetLogResponse;
  t.GetPhsycologicalResponse = GetPhsycologicalResponse;
  t.fft = fft;
  return t;
}

ResponseRoutineTable ResponseRoutines = DefaultResponseRoutines();

namespace {

SharedStateRegistrar g_reset([] { ResponseRoutines = DefaultResponseRoutines(); });

// The refusals of a set above 32 results, each view's sentence as it stands.
constexpr std::string_view kTooManyBode =
    " measurements can be loaded at one time. Delete one result or start aa new measurement session to continue.";
constexpr std::string_view kTooMany =
    " measurements can be loaded at one time. Delete one result or start a new measurement session to continue.";
constexpr std::string_view kTooManyAz =
    " measurements can be loaded at one time. Delete one result or start Az new measurement session to continue.";

constexpr int32_t kModalPointLimit = 2000;

MeasurementHeader& SetHeader() { return ResultsDataSetInfo[0]; }

std::string SlotLabel(int32_t slot) { return Str(slot + 1); }
std::string TenthsText(float v) { return FormatDouble(Fix(static_cast<double>(v) * 10) * 0.1); }
std::string HundredthsText(float v) { return FormatDouble(Fix(static_cast<double>(v) * 100) * 0.01); }

// One curve as a worker leaves it for filing.
struct CurveResult {
  int32_t num = 0;
  int32_t fault = 0;  // the view's numbered fault; 0 when none
  std::array<float, kMaxCurvePoints> x;
  std::array<float, kMaxCurvePoints> y;
};

enum class SlotPlan : uint8_t { Compute, NoCurve, Stop };
struct SlotJob {
  int32_t slot = 0;
  SlotPlan plan = SlotPlan::Compute;
};

struct FilingEnd {
  bool stopped = false;  // at a Stop job or at a curve whose fault ends the call
  int32_t slot = -1;
  int32_t fault = 0;
};

struct FilingRules {
  CurveArray* curves = nullptr;
  std::string_view title;
  bool normalise = false;     // levels re-centred when Norm is ticked
  bool stepProgress = false;  // one step per slot while the average is on
  bool faultsStop = false;    // a fault ends the call; otherwise the slot is filed empty
  std::function<void(int32_t)> beforeFiling;  // the slot's header writes and messages
};

using ComputeCurve = std::function<void(int32_t slot, const WorkerScratch&, CurveResult&)>;

// Computes the jobs and files them in order: each slot labelled with its number
// and, with the average off, drawn at once with the legend.
FilingEnd ComputeAndFile(GraphHost& host, DrawingSurface& picture, const std::vector<SlotJob>& jobs,
                         const FilingRules& rules, const ComputeCurve& compute) {
  FilingEnd end;
  std::unique_ptr<CurveResult[]> results(new CurveResult[std::max<size_t>(jobs.size(), 1)]);
  const bool average = DisplayConfig.Average != 0;
  CurveArray& curves = *rules.curves;
  ComputeAndFileInOrder(
      static_cast<int32_t>(jobs.size()),
      [&](int32_t j, const WorkerScratch& scratch) {
        const SlotJob& job = jobs[static_cast<size_t>(j)];
        if (job.plan == SlotPlan::Compute) compute(job.slot, scratch, results[static_cast<size_t>(j)]);
      },
      [&](int32_t j, bool thrown) {
        const SlotJob& job = jobs[static_cast<size_t>(j)];
        CurveResult& r = results[static_cast<size_t>(j)];
        if (thrown && r.fault == 0) r.fault = 1;
        if (rules.stepProgress && average) host.IncrementProgress();
        if (rules.beforeFiling) rules.beforeFiling(job.slot);
        if (job.plan == SlotPlan::Stop || (r.fault != 0 && rules.faultsStop)) {
          end = {true, job.slot, job.plan == SlotPlan::Stop ? 0 : r.fault};
          return false;
        }
        const bool drawable = job.plan == SlotPlan::Compute && r.fault == 0;
        MainBuffer.Parameter = 0;
        MainBuffer.Num = drawable ? std::clamp(r.num, 0, kMaxCurvePoints) : 0;
        std::copy_n(r.x.begin(), MainBuffer.Num, MainBuffer.XValues.begin());
        std::copy_n(r.y.begin(), MainBuffer.Num, MainBuffer.YValues.begin());
        if (rules.normalise)
          NormalizeDisplayCurves(host, MainBuffer.YValues, MainBuffer.XValues, MainBuffer.Num, FreqGraphFrame.XStart,
                                 FreqGraphFrame.XFinish);
        StoreCurveRecord(curves, MainBuffer, SlotLabel(job.slot), job.slot);
        if (!average) {
          PlotCurveOnGraph(FreqGraphFrame, picture, curves[static_cast<size_t>(job.slot)], GetCurveColour(job.slot),
                           job.slot);
          DrawGraphTitleAndLegend(FreqGraphFrame, picture, curves, rules.title, kMaxResults);
        }
        return true;
      });
  return end;
}

// False, with the empty frame drawn, when no result or more than 32 are loaded.
bool SetSizeAccepted(DrawingSurface& picture, std::string_view sentence) {
  const int32_t n = SetHeader().NumInSet;
  if (n >= 1 && n <= kMaxResults) return true;
  if (n > kMaxResults) MsgBox("User Error: " + std::to_string(kMaxResults) + std::string(sentence));
  DrawGraphFrame(FreqGraphFrame, picture);
  RefreshGraph(picture);
  return false;
}

// The progress bar is back at 0 however the view ends.
class ProgressReset {
 public:
  explicit ProgressReset(GraphHost& host) : host_(host) {}
  ~ProgressReset() { host_.ClearProgress(); }
  ProgressReset(const ProgressReset&) = delete;
  ProgressReset& operator=(const ProgressReset&) = delete;

 private:
  GraphHost& host_;
};

void DrawFiledSlots(DrawingSurface& picture, CurveArray& curves, int32_t count, std::string_view title) {
  for (int32_t i = 0; i < count; ++i)
    PlotCurveOnGraph(FreqGraphFrame, picture, curves[static_cast<size_t>(i)], GetCurveColour(i), i);
  DrawGraphTitleAndLegend(FreqGraphFrame, picture, curves, title, kMaxResults);
}

std::vector<SlotJob> SlotsFrom(int32_t from, int32_t n, SlotPlan plan) {
  std::vector<SlotJob> jobs;
  for (int32_t i = from; i < n; ++i) jobs.push_back({i, plan});
  return jobs;
}

// The average in place of the single curves; on a redraw without it, the filed
// curves (re-centred first where the view asks).
void ShowAverageOrFiled(GraphHost& host, DrawingSurface& picture, CurveArray& curves, int32_t kind,
                        std::string_view averageLabel, std::string_view title, bool redraw, bool renormalise) {
  if (DisplayConfig.Average != 0) {
    if (AverageCurveSet(AverageCurves, curves, kind)) {
      AverageCurves[0].Label = std::to_string(curves[0].NumCurves) + std::string(averageLabel);
      UpdateGraph(AverageCurves, FreqGraphFrame, picture, title);
    } else {
      DisplayConfig.Average = kFalse;
      host.SetAverageBox(false);
    }
  }
  if (!redraw || DisplayConfig.Average != 0) return;
  if (renormalise) {
    const int32_t n = std::clamp<int32_t>(curves[0].NumCurves, 0, kCurveSlots);
    for (int32_t i = 0; i < n; ++i) {
      CurveRecord& c = curves[static_cast<size_t>(i)];
      NormalizeDisplayCurves(host, c.YValues, c.XValues, c.NumPoints, FreqGraphFrame.XStart, FreqGraphFrame.XFinish);
    }
  }
  UpdateGraph(curves, FreqGraphFrame, picture, title);
}

}  // namespace

// ---- Bode, fractional octave, psychoacoustic ---------------------------------------

bool ShowFFTResponseSet(GraphHost& host, int32_t FirstCurve) {
  WaitCursor hourglass;
  DrawingSurface& picture = PrepareGraphDC(host.MainGraph());
  if (!SetSizeAccepted(picture, kTooManyBode)) return false;
  const int32_t N = SetHeader().NumInSet;
  const bool average = DisplayConfig.Average != 0;
  ProgressReset progress(host);
  if (average) host.InitializeProgress(N + 1);
  DrawGraphFrame(FreqGraphFrame, picture);
  const float gate = SetHeader().FreqRespGateTime;
  const std::string title = "Bode Response /" + TenthsText(gate) + " ms";
  const bool redraw = FirstCurve < 0;

  if (!redraw) {
    int32_t from = std::min(FirstCurve, N);
    if (from > 0 && !average) DrawFiledSlots(picture, BodeCurves, from, title);
    const bool changed = BodeLevelsChanged != 0;
    if (changed) {
      DrawGraphFrame(FreqGraphFrame, picture);
      from = 0;
    }
    // Each result's own rate and period; the first gate that does not fit ends the call.
    struct BodeSlot {
      int32_t k = 0, period = 0, fs = 0;
    };
    std::vector<BodeSlot> perSlot(static_cast<size_t>(N));
    std::vector<SlotJob> jobs;
    bool tellUser = false;
    for (int32_t i = from; i < N; ++i) {
      const MeasurementHeader& h = ResultsDataSetInfo[static_cast<size_t>(i)];
      const int32_t P = std::clamp(h.PeriodExponent, 0, kMaxSamplesExponent);
      if (!GateFitsPeriod(gate, h.SampleRate, P)) {
        jobs.push_back({i, SlotPlan::Stop});
        tellUser = true;
        break;
      }
      if (!(gate > 0.0f) || !std::isfinite(gate)) {
        jobs.push_back({i, SlotPlan::Stop});
        break;
      }
      if (h.SampleRate <= 0) {
        jobs.push_back({i, SlotPlan::NoCurve});
        continue;
      }
      perSlot[static_cast<size_t>(i)] = {GetFFTSizeFromGateTime(host, gate, P, h.SampleRate), 1 << P, h.SampleRate};
      jobs.push_back({i, SlotPlan::Compute});
    }
    FilingRules rules;
    rules.curves = &BodeCurves;
    rules.title = title;
    rules.normalise = true;
    rules.stepProgress = true;
    rules.beforeFiling = [gate](int32_t i) {
      MeasurementHeader& h = ResultsDataSetInfo[static_cast<size_t>(i)];
      h.FreqRespGateTime = gate;
      if (h.PeriodExponent > kMaxSamplesExponent) h.PeriodExponent = kMaxSamplesExponent;
    };
    const auto routine = ResponseRoutines.GatedFFTMagnitude;
    const FilingEnd end =
        ComputeAndFile(host, picture, jobs, rules, [&](int32_t i, const WorkerScratch& s, CurveResult& r) {
          const BodeSlot& p = perSlot[static_cast<size_t>(i)];
          if (!routine || !routine(ImpulseSet[static_cast<size_t>(i)], p.period, gate, p.fs, p.k, r.y, r.x, r.num,
                                   s.A, s.B))
            r.fault = 1;
        });
    if (end.stopped) {
      if (tellUser) MsgBox(std::string(kGateTooLongForCurveData));
      CurveRecord& emptied = BodeCurves[static_cast<size_t>(end.slot)];
      emptied.NumCurves = 0;
      emptied.NumPoints = 0;
      RefreshGraph(picture);
      return false;
    }
    if (changed) BodeLevelsChanged = kFalse;
  }
  ShowAverageOrFiled(host, picture, BodeCurves, kBodeView, " Power Average", title, redraw, true);
  RefreshGraph(picture);
  return true;
}

bool ShowFractOctResponseSet(GraphHost& host, int32_t FirstCurve) {
  WaitCursor hourglass;
  DrawingSurface& picture = PrepareGraphDC(host.MainGraph());
  if (!SetSizeAccepted(picture, kTooMany)) return false;
  const int32_t N = SetHeader().NumInSet;
  const bool average = DisplayConfig.Average != 0;
  ProgressReset progress(host);
  if (average) host.InitializeProgress(N + 1);
  DrawGraphFrame(FreqGraphFrame, picture);
  const MeasurementHeader& set = SetHeader();
  const float gate = set.FractOctGateTime;
  const float res = set.FractOctRes;
  const std::string title = "Smoothed " + HundredthsText(res) + " Oct /" + HundredthsText(gate) + " ms";
  const bool redraw = FirstCurve < 0;

  if (!redraw) {
    // The resolution divides the point count, which a curve holds at most 2001 of.
    const double wanted = 10.0 * host.DisplayResolution() / res;
    if (!(res > 0.0f) || !std::isfinite(res) || !(wanted < kMaxCurvePoints + 0.5)) {
      MsgBox("Error 5494");
      RefreshGraph(picture);
      return false;
    }
    const int32_t points = CLng(wanted);
    int32_t from = std::min(FirstCurve, N);
    if (from > 0 && !average) DrawFiledSlots(picture, FractOctCurves, from, title);
    const bool changed = FractOctLevelsChanged != 0;
    if (changed) {
      DrawGraphFrame(FreqGraphFrame, picture);
      from = 0;
    }
    const int32_t fs = set.SampleRate;
    const int32_t P = std::clamp(set.PeriodExponent, 0, kMaxSamplesExponent);
    const int32_t a = CLng(0.05 * fs);
    const int32_t k = fs > 0 && from < N ? GetFFTSizeFromGateTime(host, gate, set.PeriodExponent, fs) : 0;
    const std::vector<SlotJob> jobs = SlotsFrom(from, N, fs > 0 ? SlotPlan::Compute : SlotPlan::NoCurve);

    FilingRules rules;
    rules.curves = &FractOctCurves;
    rules.title = title;
    rules.normalise = true;
    rules.stepProgress = true;
    rules.faultsStop = true;
    rules.beforeFiling = [gate, res, points](int32_t i) {
      MeasurementHeader& h = ResultsDataSetInfo[static_cast<size_t>(i)];
      h.FractOctGateTime = gate;
      h.FractOctRes = res;
      SetHeader().FractOctPoints = points;
    };
    const MicCalTable& cal = ActiveMicCal;
    const auto routine = ResponseRoutines.GetLogResponse;
    const FilingEnd end =
        ComputeAndFile(host, picture, jobs, rules, [&](int32_t i, const WorkerScratch& s, CurveResult& r) {
          // The response reads to the end of what it is given: nothing past the period.
          const size_t period = size_t{1} << P;
          std::copy_n(ImpulseSet[static_cast<size_t>(i)].begin(), period, s.A.begin());
          std::fill(s.A.begin() + static_cast<std::ptrdiff_t>(period), s.A.begin() + kMaxSamples, 0.0f);
          if (!routine || !routine(s.A.first(kMaxSamples), gate, res, a, points, r.x, r.y, k, fs, cal.Freq,
                                   cal.Level, cal.Count)) {
            r.fault = 1;
            return;
          }
          if (points < 1 || points > kMaxCurvePoints) {
            r.fault = 3;
            return;
          }
          r.num = points;
        });
    if (end.stopped) {
      MsgBox("Numerical Error " + std::to_string(end.fault) + ": Increase Gate Time for this measurement");
      FractOctCurves[0].NumCurves = 0;
      RefreshGraph(picture);
      return true;
    }
    if (changed) FractOctLevelsChanged = kFalse;
  }
  ShowAverageOrFiled(host, picture, FractOctCurves, kFractOctView, " SPL Average", title, redraw, true);
  RefreshGraph(picture);
  return true;
}

bool ShowPsycResponseSet(GraphHost& host, int32_t FirstCurve) {
  WaitCursor hourglass;
  DrawingSurface& picture = PrepareGraphDC(host.MainGraph());
  if (!SetSizeAccepted(picture, kTooMany)) return false;
  const int32_t N = SetHeader().NumInSet;
  const bool average = DisplayConfig.Average != 0;
  ProgressReset progress(host);
  if (average) host.InitializeProgress(N + 1);
  DrawGraphFrame(FreqGraphFrame, picture);
  static constexpr std::string_view title = "PsychoAcoustic Response";
  const bool redraw = FirstCurve < 0;

  if (!redraw) {
    int32_t from = std::min(FirstCurve, N);
    if (from > 0 && !average) DrawFiledSlots(picture, PsycCurves, from, title);
    const bool changed = PsycLevelsChanged != 0;
    if (changed) {
      DrawGraphFrame(FreqGraphFrame, picture);
      from = 0;
    }
    const MeasurementHeader& set = SetHeader();
    const float lf = set.PsycLFResolution, gate = set.PsycGateTime;
    const float shelfTime = set.PsycShelfTime, shelfLevel = set.PsycShelfLevel;
    const int32_t fs = set.SampleRate;
    const int32_t P = std::clamp(set.PeriodExponent, 0, kMaxSamplesExponent);
    const int32_t a = CLng(0.05 * fs);
    const auto points =
        static_cast<int32_t>(std::clamp<int64_t>(int64_t{100} * host.DisplayResolution(), 0, kMaxCurvePoints + 1));
    // A third of an octave below Nyquist.
    const auto top = static_cast<float>(CLng((fs / 2.0) / std::pow(2.0, 0.333)));
    const std::vector<SlotJob> jobs = SlotsFrom(from, N, fs > 0 ? SlotPlan::Compute : SlotPlan::NoCurve);

    FilingRules rules;
    rules.curves = &PsycCurves;
    rules.title = title;
    rules.normalise = true;
    rules.stepProgress = true;
    rules.beforeFiling = [points](int32_t) { SetHeader().PsycDataPoints = points; };
    const MicCalTable& cal = ActiveMicCal;
    const auto routine = ResponseRoutines.GetPhsycologicalResponse;
    ComputeAndFile(host, picture, jobs, rules, [&](int32_t i, const WorkerScratch& s, CurveResult& r) {
      const auto period = static_cast<int32_t>(1 << P);
      std::copy_n(ImpulseSet[static_cast<size_t>(i)].begin(), period, s.A.begin());
      if (points < 1 || points > kMaxCurvePoints || !routine ||
          !routine(s.A.first(static_cast<size_t>(period)), period, lf, gate, shelfTime, shelfLevel, a, points, r.x,
                   r.y, fs, top, cal.Freq, cal.Level, cal.Count)) {
        r.fault = 1;
        return;
      }
      r.num = points;
    });
    if (changed) PsycLevelsChanged = kFalse;
  }
  ShowAverageOrFiled(host, picture, PsycCurves, kPsycView, " SPL Average", title, redraw, false);
  RefreshGraph(picture);
  return true;
}

// ---- Signal to noise and modal slice ----------------------------------------------

bool ShowNoiseResponseSet(GraphHost& host, int32_t FirstCurve) {
  WaitCursor hourglass;
  DrawingSurface& picture = PrepareGraphDC(host.MainGraph());
  if (!SetSizeAccepted(picture, kTooManyAz)) return false;
  const int32_t N = SetHeader().NumInSet;
  const MeasurementHeader& set = SetHeader();
  const float gate = set.NoiseGateTime;
  const std::string title = "S/N Ratio /" + TenthsText(gate) + " ms";
  DrawGraphFrame(FreqGraphFrame, picture);
  const bool average = DisplayConfig.Average != 0;
  ProgressReset progress(host);
  if (average) host.InitializeProgress(N + 1);
  const bool redraw = FirstCurve < 0;

  if (!redraw) {
    const int32_t from = std::min(FirstCurve, N);
    if (from > 0 && !average) DrawFiledSlots(picture, NoiseCurves, from, title);
    const int32_t order = std::clamp(set.PeriodExponent, 0, kMaxSamplesExponent);
    const int32_t fs = set.SampleRate;
    // The noise is read from the second half of the period, well after the gate ends.
    if (fs > 0) {
      const auto T = static_cast<float>(std::ldexp(1.0, order) * 1000.0 / fs);
      if (2.0f * (gate + 50.0f) > T) {
        ClearCurveRecords(NoiseCurves);
        MsgBox("Gate time chosen is too large for curve  test signal period length");
        RefreshGraph(picture);
        return true;
      }
    }
    const int32_t k = fs > 0 ? GetFFTSizeFromGateTime(host, gate, order, fs) : 0;
    const int32_t L = CLng(fs * 0.05);
    const int32_t P = CLng(host.DisplayResolution() * 10 / 0.3333);
    const std::vector<SlotJob> jobs = SlotsFrom(from, N, fs > 0 ? SlotPlan::Compute : SlotPlan::NoCurve);

    FilingRules rules;
    rules.curves = &NoiseCurves;
    rules.title = title;
    rules.stepProgress = true;
    rules.faultsStop = true;
    rules.beforeFiling = [gate](int32_t c) { ResultsDataSetInfo[static_cast<size_t>(c)].NoiseGateTime = gate; };
    const MicCalTable& cal = ActiveMicCal;
    const auto routine = ResponseRoutines.GetLogResponse;
    const FilingEnd end =
        ComputeAndFile(host, picture, jobs, rules, [&](int32_t c, const WorkerScratch& s, CurveResult& r) {
          const size_t period = size_t{1} << order;
          const auto& x = ImpulseSet[static_cast<size_t>(c)];
          const std::span<float> w = s.A.first(period);
          for (size_t i = 0; i < period; ++i) w[i] = static_cast<float>(x[i] + 0.00001);
          const std::span<float> signal = s.B.first(kMaxCurvePoints);
          if (!routine) {
            r.fault = 1;
            return;
          }
          if (!routine(w, gate, 0.33f, L, P, r.x, signal, k, fs, cal.Freq, cal.Level, cal.Count)) {
            r.fault = 1;
            return;
          }
          // The end of the period reversed: what is left of the excitation is noise.
          for (size_t j = 0; j < period / 2; ++j) w[j] = static_cast<float>(x[period - 1 - j] + 0.00001);
          if (!routine(w, gate, 0.33f, L, P, r.x, r.y, k, fs, cal.Freq, cal.Level, cal.Count)) {
            r.fault = 3;
            return;
          }
          if (P < 1 || P > kMaxCurvePoints) {
            r.fault = 4;
            return;
          }
          for (int32_t i = 0; i < P; ++i)
            r.y[static_cast<size_t>(i)] = signal[static_cast<size_t>(i)] - r.y[static_cast<size_t>(i)];
          r.num = P;
        });
    if (end.stopped) {
      MsgBox(end.fault == 5 ? "Numerical Error 5: MainBuffer.Num = " + std::to_string(P)
                            : "Numerical Error " + std::to_string(end.fault));
      RefreshGraph(picture);
      return true;
    }
  }
  ShowAverageOrFiled(host, picture, NoiseCurves, kNoiseView, " SPL Average", title, redraw, false);
  RefreshGraph(picture);
  return true;
}

bool ShowModalResponseSet(GraphHost& host, int32_t FirstCurve) {
  WaitCursor hourglass;
  DrawingSurface& picture = PrepareGraphDC(host.MainGraph());
  if (!SetSizeAccepted(picture, kTooManyAz)) return false;
  const int32_t N = SetHeader().NumInSet;
  const MeasurementHeader& set = SetHeader();
  const float gate = set.ModalGateTime;
  const std::string title = "Modal Slice /" + TenthsText(gate) + " ms";
  DrawGraphFrame(FreqGraphFrame, picture);
  const bool average = DisplayConfig.Average != 0;
  const bool redraw = FirstCurve < 0;

  if (!redraw) {
    const int32_t from = std::min(FirstCurve, N);
    if (from > 0 && !average) DrawFiledSlots(picture, ModalCurves, from, title);
    const int32_t exponent = set.PeriodExponent;
    const int32_t order = std::clamp(exponent, 0, kMaxSamplesExponent);
    const auto periodSamples = static_cast<float>(1 << order);
    // Transform size: the power of two below eight gate lengths, plus two.
    const double eightGates = static_cast<double>(gate) * 8 * set.SampleRate / 1000;
    int32_t k = 0;
    for (int32_t i = 1; i <= std::min(exponent - 1, 62); ++i)
      if (eightGates > std::ldexp(1.0, i)) k = i + 2;
    const bool noTransform = k == 0;
    k = std::min(k, order);

    struct ModalSlot {
      float W = 0;  // half the gate in samples
      int32_t fs = 0;
      double maxFreq = 0;
      size_t window = 0;
    };
    // A Gaussian five half-gates long whose last quarter half-gate fades to 0; one
    // per half-gate in use, shared by the workers.
    std::vector<std::pair<float, std::vector<float>>> windows;
    auto windowFor = [&windows](float W) {
      for (size_t i = 0; i < windows.size(); ++i)
        if (windows[i].first == W) return i;
      const int32_t length = CLng(5.0 * W);
      std::vector<float> w(static_cast<size_t>(std::max(length, 0)) + 1, 0.0f);
      GetSymmetricalPsycologicalGaussianWindow(w, length, W);
      for (int32_t i = std::max(CLng(4.75 * W), 0); i < length; ++i)
        w[static_cast<size_t>(i)] *= static_cast<float>(0.5 - 0.5 * std::cos(6.283185307 * (i - 5.5 * W) / (0.5 * W)));
      w.resize(static_cast<size_t>(std::max(length, 0)));
      windows.emplace_back(W, std::move(w));
      return windows.size() - 1;
    };
    std::vector<ModalSlot> perSlot(static_cast<size_t>(N));
    std::vector<SlotJob> jobs;
    for (int32_t c = from; c < N; ++c) {
      const MeasurementHeader& h = ResultsDataSetInfo[static_cast<size_t>(c)];
      const int32_t fs = h.SampleRate;
      const auto W = static_cast<float>(static_cast<double>(gate) / 1000 * fs / 2);
      if (fs <= 0) {
        jobs.push_back({c, SlotPlan::NoCurve});
        continue;
      }
      if (periodSamples < 5.0f * W) {
        jobs.push_back({c, SlotPlan::Stop});
        break;
      }
      perSlot[static_cast<size_t>(c)] = {W, fs, h.ModalSliceMaxFreq, noTransform ? 0 : windowFor(W)};
      // Without a transform no slot computes, so the message below meets no worker.
      jobs.push_back({c, noTransform ? SlotPlan::NoCurve : SlotPlan::Compute});
    }

    FilingRules rules;
    rules.curves = &ModalCurves;
    rules.title = title;
    rules.beforeFiling = [&](int32_t c) {
      ResultsDataSetInfo[static_cast<size_t>(c)].ModalGateTime = gate;
      if (noTransform && perSlot[static_cast<size_t>(c)].fs > 0) MsgBox("Error 3281");
    };
    const auto transform = ResponseRoutines.fft;
    const FilingEnd end =
        ComputeAndFile(host, picture, jobs, rules, [&](int32_t c, const WorkerScratch& s, CurveResult& r) {
          const ModalSlot& p = perSlot[static_cast<size_t>(c)];
          const std::vector<float>& window = windows[p.window].second;
          const std::span<float> re = s.A, im = s.B;
          const size_t n = size_t{1} << k;

          // From the first bin below the gate's resolution, up to the slice's top or Nyquist.
          const auto Fr = static_cast<float>(1000.0 / gate);
          const auto df = static_cast<float>(static_cast<double>(p.fs) / static_cast<double>(n));
          const auto lastBin = static_cast<int64_t>(n) - 1;
          int64_t i0 = std::clamp<int64_t>(static_cast<int64_t>(std::floor(Fr / df)), 0, lastBin);
          while (i0 < lastBin && df * static_cast<float>(i0 + 1) < Fr) ++i0;
          while (i0 > 0 && !(df * static_cast<float>(i0) < Fr)) --i0;
          int64_t count = CLng(std::ldexp(1.0, k) * p.maxFreq / p.fs);
          count = std::min<int64_t>(count, kModalPointLimit);
          count = std::min<int64_t>(count, static_cast<int64_t>(n / 2) + 1 - i0);
          count = std::max<int64_t>(count, 0);

          // The impulse from 50 ms on under the window, up to the end of the period
          // (its last sample excepted); nothing is read past the period.
          const double D = p.fs * 0.05;
          const int64_t period = int64_t{1} << order;
          const int64_t last = CLng(std::ldexp(1.0, order) - D);
          const auto& x = ImpulseSet[static_cast<size_t>(c)];
          const int64_t filled = std::min({last, static_cast<int64_t>(window.size()), static_cast<int64_t>(n)});
          // D + j - 1 rounds like D - 1 plus j unless D ends in exactly one half.
          const bool halfway = D - std::floor(D) == 0.5;
          const int64_t offset = CLng(D - 1);
          std::fill_n(re.begin(), n, 0.0f);
          std::fill_n(im.begin(), n, 0.0f);
          for (int64_t j = 0; j < filled; ++j) {
            const int64_t at = halfway ? CLng(D + static_cast<double>(j) - 1) : offset + j;
            re[static_cast<size_t>(j)] =
                window[static_cast<size_t>(j)] * (at >= 0 && at < period ? x[static_cast<size_t>(at)] : 0.0f);
          }
          if (!transform || !transform(re.first(n), im.first(n), k)) {
            r.fault = 1;
            return;
          }
          const auto firstBin = static_cast<size_t>(i0);
          LogMagArray(im.subspan(firstBin), re.subspan(firstBin), im.subspan(firstBin), static_cast<int32_t>(count));
          const auto f0 = static_cast<float>(static_cast<double>(i0) * p.fs / static_cast<double>(n));
          for (int64_t i = 0; i < count; ++i) {
            r.x[static_cast<size_t>(i)] = f0 + static_cast<float>(i) * df;
            r.y[static_cast<size_t>(i)] = im[static_cast<size_t>(i0 + i)];
          }
          r.num = static_cast<int32_t>(count);
        });
    if (end.stopped) {
      MsgBox("User Error: Gate time is too large for data set in curve " + std::to_string(end.slot + 1));
      ClearCurveRecords(ModalCurves);
      RefreshGraph(picture);
      return true;
    }
  }
  ShowAverageOrFiled(host, picture, ModalCurves, kModalSliceView, " Power Average", title, redraw, false);
  RefreshGraph(picture);
  return true;
}

}  // namespace zentor
