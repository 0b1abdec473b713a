#include "eqdesign/applied_filter_list.h"

#include <QListWidget>
#include <algorithm>
#include <cmath>

#include "core/emulation.h"
#include "core/records.h"
#include "core/results_store.h"
#include "display/graph_frame.h"
#include "display/view_state.h"
#include "eqdesign/level_set.h"
#include "mainwindow/data_plotter.h"
#include "platform/dialogs.h"
#include "platform/forms.h"

namespace zentor {

namespace {

constexpr double kTwoPi = 6.28318530717959;

// The shown view's curves while the editor draws its averages over them.
CurveArray SpareCurves;

int SelectedLine(const QListWidget* list) {
  const QListWidgetItem* item = list->currentItem();
  return item != nullptr && item->isSelected() ? list->currentRow() : -1;
}

CurveArray* ViewCurves(int32_t graphshown) {
  switch (graphshown) {
    case kBodeView: return &BodeCurves;
    case kFractOctView: return &FractOctCurves;
    case kPsycView: return &PsycCurves;
    default: return nullptr;
  }
}

// The header settings the editor's averaging may rewrite for a view.
struct KeptSettings {
  float bodeGate = 0, fractOctGate = 0, fractOctRes = 0, psycLF = 0, psycGate = 0;
};

KeptSettings Keep(const MeasurementHeader& h) {
  return {h.FreqRespGateTime, h.FractOctGateTime, h.FractOctRes, h.PsycLFResolution, h.PsycGateTime};
}

void Restore(MeasurementHeader& h, const KeptSettings& k, int32_t graphshown) {
  switch (graphshown) {
    case kBodeView: h.FreqRespGateTime = k.bodeGate; break;
    case kFractOctView:
      h.FractOctGateTime = k.fractOctGate;
      h.FractOctRes = k.fractOctRes;
      break;
    case kPsycView:
      h.PsycLFResolution = k.psycLF;
      h.PsycGateTime = k.psycGate;
      break;
    default: break;
  }
}

// The range the editor works in: kind 4 from 0.75 f to 1.5 f; kind 2 three of its
// bandwidths either side, held to 5 Hz and half the sample rate.
void SetWorkingRange(FilterRecord& f, int32_t sampleRate) {
  const double hz = f.Freq1 / kTwoPi;
  if (f.Kind == 4) {
    f.RangeLow = static_cast<float>(0.75 * hz);
    f.RangeHigh = static_cast<float>(1.5 * hz);
  } else if (f.Kind == 2) {
    const double g = 20 * std::fabs(std::log(std::fabs(double(f.Q1) / f.Q2))) / std::log(10.0);
    const double q = ScaleQByGain(static_cast<float>(g), f.Q1);
    double w = 1 / (2 * q);
    if (!(w >= 0.05)) w = w < 0.05 ? 0.05 : 1.0;  // NaN (no Q) takes the widest
    w = std::min(w, 1.0);
    const double step = std::pow(2.0, w);
    f.Smoothing = static_cast<float>(w);
    f.Gatetime = static_cast<float>(step * 1.5 * kTwoPi * 1000 / ((step - 1) * hz));
    f.RangeLow = static_cast<float>(std::max(hz / std::pow(2.0, 3 * w), 5.0));
    f.RangeHigh = static_cast<float>(std::min(hz * std::pow(2.0, 3 * w), sampleRate / 2.0));
  }
}

}  // namespace

void RemoveFromAppliedList(DataPlotter& window, int32_t k) {
  const int32_t count = AppliedFilters[0].Count;
  if (count != 0) {
    if (count < 0 || count > kMaxFilters || k < 0 || k >= count) {
      MsgBox("Error 8772");
      return;
    }
    for (int32_t i = k; i < count - 1; ++i)
      CopyFilterRecord(AppliedFilters[static_cast<size_t>(i + 1)], AppliedFilters[static_cast<size_t>(i)]);
    CopyFilterRecord(FilterRecord{}, AppliedFilters[static_cast<size_t>(count - 1)]);
    AppliedFilters[0].Count = count - 1;
  }
  window.RefreshAppliedFiltersList();
}

void AppliedFilterListBox_Click(DataPlotter& window) {
  const int32_t view = DisplayConfig.Graphshown;
  if (view != kBodeView && view != kFractOctView && view != kPsycView) {
    MsgBox("User Error: A frequency response must be shown to make filter adjustments");
    return;
  }
  if (ResultsDataSetInfo[0].NumInSet < 1) {
    MsgBox("User Error: Measurement data must be loaded to set EQ control");
    return;
  }
  const int32_t sampleRate = ResultsDataSetInfo[0].SampleRate;
  if (!CheckEmulationSampleRate(AppliedFilters, sampleRate)) return;

  int32_t i = -1;
  int32_t shownBy = 0;
  GraphFrame kept;
  int16_t keptAverage = 0;
  {
    WaitCursor hourglass;
    i = SelectedLine(window.AppliedFilterListBox);
    const int32_t count = std::clamp(AppliedFilters[0].Count, 0, kMaxFilters);
    if (i < 0 || i >= count) {
      MsgBox("Error 8234");
      return;
    }
    FilterRecord& f = AppliedFilters[static_cast<size_t>(i)];
    if (f.Kind != 2 && f.Kind != 3 && f.Kind != 4) MsgBox("Error: 6557");
    shownBy = f.Graphshown;
    if (const CurveArray* curves = ViewCurves(shownBy)) SpareCurves = *curves;
    kept = FreqGraphFrame;
    keptAverage = DisplayConfig.Average;
    DisplayConfig.Average = kTrue;
    SetWorkingRange(f, sampleRate);
  }
  const KeptSettings settings = Keep(ResultsDataSetInfo[0]);

  LevelSet* editor = Forms::Get<LevelSet>();
  if (editor->InitializeLevelSet(i)) ShowModal(editor);
  Forms::Unload<LevelSet>();

  WaitCursor hourglass;
  // Delete relists the box, which leaves no line selected: the view's curves then
  // stay as the editor left them.
  if (SelectedLine(window.AppliedFilterListBox) >= 0 && i < std::clamp(AppliedFilters[0].Count, 0, kMaxFilters)) {
    const int32_t now = AppliedFilters[static_cast<size_t>(i)].Graphshown;
    if (CurveArray* curves = ViewCurves(now)) *curves = SpareCurves;
    Restore(ResultsDataSetInfo[0], settings, shownBy);
  }
  DisplayConfig.Graphshown = view;
  FreqGraphFrame.XStart = kept.XStart;
  FreqGraphFrame.XFinish = kept.XFinish;
  FreqGraphFrame.YLow = kept.YLow;
  FreqGraphFrame.YHigh = kept.YHigh;
  FreqGraphFrame.LogX = kept.LogX;
  DisplayConfig.Average = keptAverage;
  window.SetAverageBox(keptAverage != 0);
  window.RefreshAppliedFiltersList();
  window.DisplayResults(kRedrawFiledCurves);
}

}  // namespace zentor
