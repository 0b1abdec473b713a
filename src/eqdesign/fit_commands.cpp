#include "eqdesign/fit_commands.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/text_number.h"
#include "core/filter_design.h"
#include "display/average_response.h"
#include "display/filtered_response.h"
#include "display/graph_frame.h"
#include "display/mouse_zoom.h"
#include "display/time_views.h"
#include "display/view_state.h"
#include "eqdesign/corrected_response.h"
#include "eqdesign/fit/fit_driver.h"
#include "eqdesign/fit_limits_form.h"
#include "eqdesign/fit_limits_store.h"
#include "eqdesign/modes_list.h"
#include "eqdesign/fit/polish.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/main_window_links.h"
#include "platform/dialogs.h"
#include "platform/forms.h"

namespace zentor {

namespace {

int32_t requestedThreads = 0;
std::unique_ptr<FitPool> pool;
FitEngine lastEngine;

FitPool& Pool() {
  const int32_t want =
      requestedThreads > 0 ? requestedThreads : std::max(1, static_cast<int32_t>(std::thread::hardware_concurrency()));
  if (!pool || pool->Threads() != want) pool = std::make_unique<FitPool>(want);
  return *pool;
}

// While a fit runs, the only input that reaches a widget is the stop button's,
// and closing the main window asks the fit to stop instead.
class FitInputGate : public QObject {
 public:
  explicit FitInputGate(DataPlotter& w) : w_(w) { qApp->installEventFilter(this); }
  ~FitInputGate() override { qApp->removeEventFilter(this); }
  FitInputGate(const FitInputGate&) = delete;
  FitInputGate& operator=(const FitInputGate&) = delete;

  bool eventFilter(QObject* o, QEvent* e) override {
    switch (e->type()) {
      case QEvent::Close:
        if (o == &w_) {
          w_.SetStopModalFlag(-1);
          e->ignore();
          return true;
        }
        return false;
      case QEvent::Shortcut:
      case QEvent::ShortcutOverride:
        return true;
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
      case QEvent::Wheel:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ContextMenu:
        // Window-level events pass so that they can reach the stop button.
        return o->isWidgetType() && o != w_.StopModal;
      default:
        return false;
    }
  }

 private:
  DataPlotter& w_;
};

// What one fit or polish command runs with: the engine wired to the window,
// the busy mark, the wait cursor and the input gate, all released on return.
class FitRun {
 public:
  explicit FitRun(DataPlotter& w) : w_(w), gate_(w) {
    w_.SetBusy(-1);
    w_.SetStopModalFlag(0);
    const ModalConstants& m = w_.GetModalConstants();
    engine_.Settings.DisplayRes = static_cast<float>(w_.DisplayResolution());
    engine_.Settings.MaxFreq = static_cast<float>(m.MaxFreq);
    engine_.Settings.Quick = w_.QkCheck->isChecked();
    engine_.Settings.NumInitialLoops = m.NumInitialLoops;
    engine_.Settings.EmulationCode = w_.GetParametricEQEmulation();
    engine_.Settings.MaxBoostDb = LoadFitLimits().MaxBoostDb;
    engine_.Pool = &Pool();
    engine_.Callbacks.Stop = &stop_;
    engine_.Callbacks.Poll = [this] {
      QCoreApplication::processEvents();
      stop_ = w_.GetStopModalFlag();
    };
    engine_.Callbacks.Progress = [this](int32_t done, int32_t total) {
      if (total <= 0)
        w_.ClearProgressBar1();
      else if (done == 0)
        w_.InitializeProgressBar1(total);
      else
        w_.IncrementProgressBar1();
    };
    engine_.Callbacks.Say = [this](const std::string& text) {
      const std::lock_guard lock(mutex_);
      messages_.Add(text);
    };
  }
  ~FitRun() {
    lastEngine.Settings = engine_.Settings;
    lastEngine.Counters = engine_.Counters;
    lastEngine.PassDampings = engine_.PassDampings;
    w_.SetBusy(0);
  }
  FitRun(const FitRun&) = delete;
  FitRun& operator=(const FitRun&) = delete;

  FitEngine& Engine() { return engine_; }
  bool Stopped() {
    QCoreApplication::processEvents();
    stop_ = w_.GetStopModalFlag();
    return stop_;
  }
  void Say(const std::string& text) { engine_.Say(text); }
  // Shows the messages raised since the last call, each text once a command.
  void ShowMessages() {
    std::vector<std::string> texts;
    {
      const std::lock_guard lock(mutex_);
      texts = messages_.TakeNew();
    }
    for (const std::string& t : texts) MsgBox(t);
  }

 private:
  DataPlotter& w_;
  WaitCursor cursor_;
  FitInputGate gate_;
  std::atomic<bool> stop_{false};
  FitEngine engine_;
  std::mutex mutex_;
  FitMessages messages_;
};

FitDriverConstants ConstantsOf(const DataPlotter& w, std::string* fault = nullptr) {
  const ModalConstants& m = w.GetModalConstants();
  FitDriverConstants c;
  c.MinFreq = m.MinFreq;
  c.MaxFreq = m.MaxFreq;
  c.MaxDecay = m.MaxDecay;
  c.QMinimum = m.QMinimum;
  c.SchroederFreq = m.SchroederFreq;
  c.SecondaryPolishWidth = m.SecondaryPolishWidth;
  c.NumInitialLoops = m.NumInitialLoops;
  c.Damping = m.Damping;
  c.LoudspeakerOrder = m.LoudspeakerOrder;
  c.Limits = LoadFitLimits(fault);
  c.OnSteps = true;
  return c;
}

int32_t LoadedCurves() { return std::clamp(ResultsDataSetInfo[0].NumInSet, 0, kMaxResults); }

CurveArray* ViewCurves(int32_t view) {
  switch (view) {
    case kBodeView: return &BodeCurves;
    case kFractOctView: return &FractOctCurves;
    case kPsycView: return &PsycCurves;
    default: return nullptr;
  }
}

void CopyCurve(const CurveRecord& from, CurveRecord& to) {
  to.Label = from.Label;
  to.NumPoints = std::clamp(from.NumPoints, 0, kMaxCurvePoints);
  to.XValues = from.XValues;
  to.YValues = from.YValues;
}

// A stored set fitted on another analysis cannot take more filters.
bool SetMatches(const SingularityListRecord& s, int32_t view) {
  if (s.Average != static_cast<int32_t>(DisplayConfig.Average)) return false;
  if (s.Graphshown != view) {
    MsgBox("DisplayConfig.Graphshown <> SingularityList(k).Graphshown");
    return false;
  }
  const MeasurementHeader& h = ResultsDataSetInfo[0];
  if (view == kFractOctView) return h.FractOctRes == s.Smoothing && h.FractOctGateTime == s.Gatetime;
  if (view == kBodeView && h.FreqRespGateTime != s.Gatetime) {
    MsgBox("ResultsDataSetInfo(0).FreqRespGateTime <> SingularityList(k).Gatetime");
    return false;
  }
  return true;
}

// The gate (ms) that bounds the low end of the curve the view shows; 0 for the
// psychoacoustic view, whose shelf carries the response on past its gate.
double GateOfView(int32_t view, int32_t k) {
  const MeasurementHeader& r = ResultsDataSetInfo[static_cast<size_t>(std::clamp(k, 0, kMaxResults - 1))];
  if (view == kBodeView) return r.FreqRespGateTime;
  if (view == kFractOctView) return r.FractOctGateTime;
  return 0;
}

}  // namespace

std::string FitRangeMisses(const CurveRecord& curve, double low, double high, double gateMs) {
  const int32_t n = std::clamp(curve.NumPoints, 0, kMaxCurvePoints);
  if (n == 0) return "";
  int32_t inside = 0;
  for (int32_t i = 0; i < n; ++i) {
    const float f = curve.XValues[static_cast<size_t>(i)];
    if (f >= low && f <= high) ++inside;
  }
  const auto tenth = [](double v) { return FormatDouble(std::round(v * 10) / 10); };
  const float first = curve.XValues[0], last = curve.XValues[static_cast<size_t>(n - 1)];
  // Below what the gate resolves a gated view shows the gate's own spectrum, not the response.
  const float gated = gateMs > 0 ? GateLowestHz(static_cast<float>(gateMs)) : 0.0f;
  const float lowest = std::max(first, gated);
  const std::string range = "The fit range " + tenth(low) + " to " + tenth(high) + " Hz ";
  // A Single's rounding below the first point is no reach below it.
  if (low < lowest * (1 - 1e-6)) {
    const std::string where = range + (high <= lowest ? "lies below " : "reaches below ");
    if (gated < first)
      return "Error 5861: " + where + "the curve shown, which starts at " + tenth(first) + " Hz" +
             (gateMs > 0 ? " with a " + tenth(gateMs) + " ms gate" : "") + ". Raise the fit range.";
    const std::string gate = tenth(gateMs) + " ms gate";
    const std::string what = gated == first
                                 ? "the curve shown, which starts at " + tenth(first) + " Hz with a " + gate
                                 : tenth(gated) + " Hz, the lowest frequency the view resolves with a " + gate;
    const double need = std::ceil(1000.0 / std::max(low, 0.5) - 1e-9);
    return "Error 5861: " + where + what + ". Lengthen the gate to at least " + FormatDouble(need) +
           " ms (Large Gate Times) or raise the fit range.";
  }
  if (inside >= kFitPointsNeeded) return "";
  if (low >= last)
    return "Error 5861: " + range + "lies above the curve shown, which ends at " + tenth(last) +
           " Hz. Lower the fit range.";
  return "Error 5861: " + range + "holds " + std::to_string(inside) + " points of the curve shown; a fit needs " +
         std::to_string(kFitPointsNeeded) + ". Widen the fit range.";
}

namespace {

void StampHeader(SingularityListRecord& s, int32_t view, int32_t k) {
  const MeasurementHeader& r = ResultsDataSetInfo[static_cast<size_t>(k)];
  const MeasurementHeader& r0 = ResultsDataSetInfo[0];
  s.Graphshown = view;
  s.SelectCode = 4;
  s.SampleRate = r.SampleRate;
  if (view == kBodeView) {
    s.ModeCode = 5;
    s.Gatetime = r.FreqRespGateTime;
    s.Smoothing = 0;
  } else if (view == kFractOctView) {
    s.ModeCode = 6;
    s.Gatetime = r.FractOctGateTime;
    s.Smoothing = r.FractOctRes;
  } else {
    s.ModeCode = 7;
    s.Gatetime = r0.PsycGateTime;
    s.Smoothing = r0.PsycLFResolution;
  }
}

void FitFilterSets(DataPlotter& w, FitRun& run, CurveArray& curves, std::array<SingularityListRecord, kFilterSets>& sets,
                   int32_t first, int32_t last, int32_t accumulate, bool average, int32_t view) {
  const ModalConstants& m = w.GetModalConstants();
  FitGraphFrame.XStart = CLng(m.MinFreq);
  FitGraphFrame.XFinish = CLng(m.MaxFreq);
  FitGraphFrame.LogX = FreqGraphFrame.LogX;
  std::string fault;
  const FitDriverConstants constants = ConstantsOf(w, &fault);
  if (!fault.empty()) run.Say(fault);
  const MeasurementHeader& h0 = ResultsDataSetInfo[0];
  if (run.Stopped()) return;
  // Each curve's input is made here, where the windows and filters live; the
  // fits then run together, and each curve is shown in order once they end.
  std::vector<FitBatchItem> items;
  std::vector<SingularityListRecord> unfitted;
  for (int32_t k = first; k <= last; ++k) {
    const auto i = static_cast<size_t>(k);
    if (curves[i].NumPoints <= 0) {
      run.Say("User Error: Curve " + std::to_string(k + 1) + " has no data loaded");
      run.ShowMessages();
      continue;
    }
    if (h0.SampleRate <= 0) continue;
    if (const std::string why = FitRangeMisses(curves[i], constants.MinFreq, constants.MaxFreq,
                                               GateOfView(view, static_cast<int32_t>(k)));
        !why.empty()) {
      run.Say(why);
      run.ShowMessages();
      continue;
    }
    CopyCurve(curves[i], FitInputCurves[i]);
    if (w.GetIncludeFilters() != 0) {
      FitInputCurves[i].Label = "*" + FitInputCurves[i].Label;
      if (average) {
        float p7 = h0.PsycShelfLevel, p8 = 0, p9 = 0;
        if (view == kBodeView) {
          p8 = h0.FreqRespGateTime;
          p9 = h0.FractOctRes;
        } else if (view == kFractOctView) {
          p8 = h0.FractOctGateTime;
          p9 = h0.FractOctRes;
        } else {
          p8 = h0.PsycGateTime;
          p9 = h0.PsycLFResolution;
        }
        ComputeAverageResponse(w, *ViewCurves(view), SingleViewCurves[0], FitInputCurves[0], AppliedFilters,
                               FreqGraphFrame, view, p7, p8, p9);
      } else {
        ComputeFilteredResponse(w, FitInputCurves[i], AppliedFilters, WorkFilterBlock, h0.SampleRate, view, k);
      }
    }
    CopyCurve(FitInputCurves[i], FitStoredCurves[i]);
    unfitted.push_back(sets[i]);
    StampHeader(sets[i], view, k);
    FitBatchItem& item = items.emplace_back();
    item.Set = &sets[i];
    item.Curve = &FitStoredCurves[i];
    item.Accumulate = accumulate;
    item.Index = k;
    item.Average = average ? -1 : 0;
  }
  FitCurveFilterSets(items, constants, run.Engine(),
                     [&w](int32_t k) { w.CurveNumberText->setText(QString::number(k + 1)); });

  for (size_t n = 0; n < items.size(); ++n) {
    const FitBatchItem& item = items[n];
    const auto i = static_cast<size_t>(item.Index);
    const FitCurveOutcome& out = item.Outcome;
    ShowKeptMessages(item.Boxes);
    for (const std::string& t : item.Said) run.Say(t);
    if (out.UntickAccumulate) w.AccCheck->setChecked(false);
    if (out.Kept) {
      // The stop ended the fit here: this curve and the ones after it stay as they came.
      w.CurveNumberText->setText(QString::number(item.Index + 1));
      for (size_t m = n; m < items.size(); ++m) sets[static_cast<size_t>(items[m].Index)] = unfitted[m];
      run.ShowMessages();
      break;
    }
    // The number ends on the last curve fitted, as it would one curve at a time.
    if (n + 1 == items.size()) w.CurveNumberText->setText(QString::number(item.Index + 1));
    ShowCorrectedResponse(w, FitInputCurves[i], FitStoredCurves[i], sets[i], item.Index, WorkFilterBlock,
                          ResultsDataSetInfo[i].SampleRate, FitGraphFrame);
    CheckForCurveSingularities(w, item.Index, [&run](const std::string& t) { run.Say(t); });
    run.ShowMessages();
    if (out.Stopped) break;
  }
}

}  // namespace

void SetFitThreads(int32_t threads) { requestedThreads = std::max(0, threads); }
const FitEngine& LastFitEngine() { return lastEngine; }

void CheckAccumulateSettings(int32_t view, std::array<SingularityListRecord, kFilterSets>& sets) {
  DataPlotter& w = *Forms::Get<DataPlotter>();
  if (w.GetBusy()) return;
  CurveArray* curves = ViewCurves(view);
  if (curves == nullptr) return;
  const bool average = DisplayConfig.Average != 0;
  int32_t first = 0, last = 0;
  if (!average) {
    if (w.All->isChecked()) {
      last = LoadedCurves() - 1;
    } else {
      first = last = std::clamp(w.GetModesCurveNumber(), 0, kMaxResults - 1);
    }
  }
  const bool accumulating = w.AccCheck->isChecked();
  bool ok = accumulating;
  if (accumulating) {
    for (int32_t k = first; k <= last && ok; ++k) {
      const SingularityListRecord& s = sets[static_cast<size_t>(k)];
      ok = view == kPsycView ? s.Average == static_cast<int32_t>(DisplayConfig.Average) && s.Graphshown == view
                             : SetMatches(s, view);
    }
    if (!ok) {
      MsgBox(
          "User Error: Existing filters cannot be added with new analysis when gate time or smoothing is changed. "
          "Uncheck 'Accumulate' in the Filters frame box.");
      return;
    }
  }
  if (average) {
    for (size_t k = 1; k < kMaxResults; ++k) {
      sets[k].Count = 0;
      FitStoredCurves[k].NumPoints = 0;
      FitInputCurves[k].NumPoints = 0;
    }
  }
  FitRun run(w);
  // Empty records take the new header now, those being fitted as their fit starts.
  for (int32_t k = 0; k < LoadedCurves(); ++k) {
    SingularityListRecord& s = sets[static_cast<size_t>(k)];
    if ((k < first || k > last) && s.Count == 0) StampHeader(s, view, k);
  }
  FitFilterSets(w, run, average ? AverageCurves : *curves, sets, first, last, ok ? 1 : 0, average, view);
}

void PolishFilters() {
  DataPlotter& w = *Forms::Get<DataPlotter>();
  if (w.GetBusy()) return;
  int32_t first = 0, last = 0;
  if (SingularityList[0].Average == 0) {
    if (w.All->isChecked())
      last = LoadedCurves() - 1;
    else
      first = last = std::clamp(w.GetModesCurveNumber(), 0, kMaxResults - 1);
  }
  FitRun run(w);
  const int32_t fs = ResultsDataSetInfo[0].SampleRate;
  for (int32_t k = first; k <= last; ++k) {
    if (run.Stopped()) break;
    const auto i = static_cast<size_t>(k);
    w.CurveNumberText->setText(QString::number(k + 1));
    CurveRecord& input = FitInputCurves[i];
    if (input.NumPoints <= 0) continue;
    if (first == last)
      ShowCorrectedResponse(w, input, FitStoredCurves[i], SingularityList[i], k, WorkFilterBlock, fs, FitGraphFrame);
    const int32_t n = std::clamp(input.NumPoints, 0, kMaxCurvePoints);
    const bool finished =
        PolishOneCurve(input.XValues, input.YValues, n, SingularityList[i], run.Engine(), LoadFitLimits());
    CheckForCurveSingularities(w, k, [&run](const std::string& t) { run.Say(t); });
    ShowCorrectedResponse(w, input, FitStoredCurves[i], SingularityList[i], k, WorkFilterBlock, fs, FitGraphFrame);
    run.ShowMessages();
    if (!finished) break;
  }
}

void FitFiltersBut_Click() {
  const DataPlotter& w = *Forms::Get<DataPlotter>();
  const ModalConstants& m = w.GetModalConstants();
  FreqGraphFrame.XStart = FitGraphFrame.XStart = CLng(m.MinFreq);
  FreqGraphFrame.XFinish = FitGraphFrame.XFinish = CLng(m.MaxFreq);
  CheckAccumulateSettings(DisplayConfig.Graphshown, SingularityList);
}

void FitFilter_Click() {
  DataPlotter& w = *Forms::Get<DataPlotter>();
  w.AccCheck->setChecked(false);
  w.FitFiltersBut->setFocus();
  FitFiltersBut_Click();
}

void AddFilter_Click() {
  Forms::Get<DataPlotter>()->AccCheck->setChecked(true);
  FitFiltersBut_Click();
}

void PolishFilter_Click() {
  DataPlotter& w = *Forms::Get<DataPlotter>();
  w.FitFiltersBut->setFocus();
  w.Polish_Click();
}

void AllCurves_Click() {
  DataPlotter& w = *Forms::Get<DataPlotter>();
  w.All->setChecked(!w.All->isChecked());
  w.AllCurves->setChecked(w.All->isChecked());
}

void QuickFit_Click() {
  DataPlotter& w = *Forms::Get<DataPlotter>();
  w.QkCheck->setChecked(!w.QkCheck->isChecked());
  w.QuickFit->setChecked(w.QkCheck->isChecked());
}

void InstallFitCommandLinks() {
  MainWindowHooks.FitFiltersBut_Click = [] { FitFiltersBut_Click(); };
  MainWindowHooks.FitFilter_Click = [] { FitFilter_Click(); };
  MainWindowHooks.AddFilter_Click = [] { AddFilter_Click(); };
  MainWindowHooks.PolishFilter_Click = [] { PolishFilter_Click(); };
  MainWindowHooks.AllCurves_Click = [] { AllCurves_Click(); };
  MainWindowHooks.QuickFit_Click = [] { QuickFit_Click(); };
  MainWindowHooks.PolishFilters = [] { PolishFilters(); };
  MainWindowHooks.ShowFitLimits = [] { ShowFitLimits(); };
  MouseZoomHooks.CheckAccumulateSettings = [](int32_t view, std::array<SingularityListRecord, kFilterSets>& sets) {
    CheckAccumulateSettings(view, sets);
  };
}

}  // namespace zentor
