// The view builders of the main graph. Until a view is built it shows its
// empty frame, so every redraw still lands on the picture. The time-domain views
// (impulse, noise energy, levels check) are built here.
#include <QListWidget>
#include <QRadioButton>
#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>

#include "core/helpers.h"
#include "core/records.h"
#include "core/results_store.h"
#include "core/test_signals.h"
#include "base/text_number.h"
#include "core/work_arrays.h"
#include "display/graph_frame.h"
#include "display/graph_primitives.h"
#include "display/plot_colours.h"
#include "display/time_views.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/view_state.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/numeric/numeric.h"

namespace zentor {

namespace {

bool SetLoaded() {
  const int32_t n = ResultsDataSetInfo[0].NumInSet;
  return n >= 1 && n <= kMaxResults;
}

void EmptyFrame(GraphFrame& frame, PictureBox& picture) {
  DrawingSurface& dc = PrepareGraphDC(picture);
  DrawGraphFrame(frame, dc);
  RefreshGraph(dc);
}

}  // namespace

// ---- Time-domain views -----------------------------------------------------------

bool DataPlotter::ShowMainImpulseSet(int32_t FirstCurve) {
  WaitCursor hourglass;
  DrawingSurface& picture = PrepareGraphDC(MainGraph());
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
    SelectViewButton(TimeBut);
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
    StoreCurveRecord(ImpulseCurves, MainBuffer, " " + std::to_string(i + 1), i);
    PlotCurveOnGraph(TimeGraphFrame, picture, ImpulseCurves[static_cast<size_t>(i)], GetCurveColour(i), i);
    DrawGraphTitleAndLegend(TimeGraphFrame, picture, ImpulseCurves, title, kMaxResults);
  }
  RefreshGraph(picture);
  return true;
}

bool DataPlotter::ShowPSDEnergy(int32_t FirstCurve) {
  static constexpr std::string_view title = "Noise Energy";
  DrawingSurface& picture = PrepareGraphDC(MainGraph());
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
        StoreCurveRecord(PsdCurves, MainBuffer, " " + std::to_string(c), c - 1);
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
    }
  }
  if (DisplayConfig.Average == 0) UpdateGraph(PsdCurves, FreqGraphFrame, picture, title);
  RefreshGraph(picture);
  return true;
}

void DataPlotter::ShowLevelsImpulse(std::span<float> impulse, int32_t startIndex, float msBefore, int32_t sampleRate,
                                    int32_t impulseShift, float level, float signalToNoise) {
  if (sampleRate <= 0) {
    MsgBox("Error 3012");
    return;
  }
  static constexpr std::string_view title = "Continuity Check";
  SelectViewButton(TimeBut);
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
  ModesList->clear();
  ModesList->addItem(QString::fromStdString("Mic-Spkr Dist = " + FormatDouble(mm / 1000.0) + " m"));
  ModesList->addItem(QString::fromStdString("Input Signal = " + FormatSingle(level) + " dB"));
  ModesList->addItem(QString::fromStdString("Input Signal S/N = " + FormatSingle(signalToNoise) + " dB"));

  StoreCurveRecord(LevelsCurves, MainBuffer, "Levels Test", 0);
  DrawingSurface& picture = PrepareGraphDC(MainGraph());
  DrawGraphFrame(TimeGraphFrame, picture);
  UpdateGraph(LevelsCurves, TimeGraphFrame, picture, title);
  RefreshGraph(picture);
}

// ---- Views still to be built: their empty frames --------------------------------------

bool DataPlotter::ShowFFTResponseSet(int32_t /*FirstCurve*/) {
  EmptyFrame(FreqGraphFrame, *Picture1);
  return SetLoaded();
}

bool DataPlotter::ShowFractOctResponseSet(int32_t /*FirstCurve*/) {
  EmptyFrame(FreqGraphFrame, *Picture1);
  return SetLoaded();
}

bool DataPlotter::ShowPsycResponseSet(int32_t /*FirstCurve*/) {
  EmptyFrame(FreqGraphFrame, *Picture1);
  return SetLoaded();
}

bool DataPlotter::ShowNoiseResponseSet(int32_t /*FirstCurve*/) {
  EmptyFrame(FreqGraphFrame, *Picture1);
  return SetLoaded();
}

bool DataPlotter::ShowModalResponseSet(int32_t /*FirstCurve*/) {
  EmptyFrame(FreqGraphFrame, *Picture1);
  return SetLoaded();
}

void DataPlotter::ShowImpulseCurve(int32_t /*k*/) { EmptyFrame(TimeGraphFrame, *Picture1); }

}  // namespace zentor
