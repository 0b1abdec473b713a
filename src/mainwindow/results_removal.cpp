// Removing results: one result with everything derived from it, or the whole set;
// the two Delete Curve buttons; a stored noise spectrum.
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <algorithm>
#include <cmath>

#include "base/text_number.h"
#include "core/records.h"
#include "core/results_store.h"
#include "display/time_views.h"
#include "display/view_state.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/main_window_links.h"
#include "platform/dialogs.h"
#include "platform/forms.h"

namespace zentor {

namespace {

int32_t LoadedCount() { return std::clamp(ResultsDataSetInfo[0].NumInSet, 0, kMaxResults); }

// The view caches of one result, in the order a removal works through them.
std::array<CurveArray*, 8> ResultCaches() {
  return {&NoiseCurves, &ImpulseCurves, &BodeCurves, &ModalCurves,
          &PsycCurves,  &FractOctCurves, &FitStoredCurves, &FitInputCurves};
}

void SetFitCounts(int32_t n) {
  FitStoredCurves[0].NumCurves = n;
  FitInputCurves[0].NumCurves = n;
}

// Removes stored spectrum k (1-based): the later columns move down whole with
// their own exponent and rate, and the freed last column is emptied.
void RemovePsdSpectrum(int32_t k) {
  const int32_t count = PsdParameters[0].Count;
  if (count < 1 || count > kMaxPsdSpectra || k < 1 || k > count) return;
  for (int32_t j = k - 1; j <= count - 2; ++j) {
    PsdSet[static_cast<size_t>(j)] = PsdSet[static_cast<size_t>(j + 1)];
    PsdParameters[static_cast<size_t>(j)].Exponent = PsdParameters[static_cast<size_t>(j + 1)].Exponent;
    PsdParameters[static_cast<size_t>(j)].SampleRate = PsdParameters[static_cast<size_t>(j + 1)].SampleRate;
  }
  PsdSet[static_cast<size_t>(count - 1)].fill(0.0f);
  PsdParameters[static_cast<size_t>(count - 1)].Exponent = 0;
  PsdParameters[static_cast<size_t>(count - 1)].SampleRate = 0;
  PsdParameters[0].Count = count - 1;
}

}  // namespace

void DataPlotter::RemoveResult(int32_t k) {
  const int32_t n = LoadedCount();
  if (k < 1 || k > n) return;
  SetFitCounts(n);
  for (CurveArray* cache : ResultCaches()) RemoveCurveRecord(k, *cache);
  RemoveResultFromStore(k);
  for (int32_t j = k; j < kMaxResults; ++j)
    SingularityList[static_cast<size_t>(j - 1)] = SingularityList[static_cast<size_t>(j)];
  SingularityList[kMaxResults - 1].Count = 0;
  for (int32_t r = 0; r < kMaxResults; ++r) SingularityList[static_cast<size_t>(r)].Curve = r;
  ClearModesList();
}

void DataPlotter::RemoveResultQuickly(int32_t i) {
  if (i < 0 || i >= kMaxResults) return;
  SetFitCounts(ResultsDataSetInfo[0].NumInSet);
  for (CurveArray* cache : ResultCaches()) {
    CurveRecord& r = (*cache)[static_cast<size_t>(i)];
    r.NumCurves = 0;
    r.NumPoints = 0;
  }
  ImpulseCurves[static_cast<size_t>(i)].CurveIndex = 0;
  SingularityList[static_cast<size_t>(i)].Count = 0;
  ClearModesList();
}

void DataPlotter::ClearMeasurementBuffers() {
  const int32_t n = LoadedCount();
  if (n < 1) return;
  WaitCursor hourglass;
  InitializeProgressBar1(n);
  for (int32_t i = 0; i < n; ++i) {
    RemoveResult(1);
    // Stepped to the count itself: the wrapping increment would show 1 at the last step.
    ProgressBar1->setValue(i + 1);
  }
  ProgressBar1->setValue(0);
  ResultsDataSetInfo[0].NumInSet = 0;
  DisplayResults(kRecomputeAllCurves);
}

void DataPlotter::ClearMeasurementBuffersQuickly() {
  const int32_t n = LoadedCount();
  if (n < 1) return;
  for (int32_t i = 0; i < n; ++i) {
    RemoveResultQuickly(i);
    ResultsDataSetInfo[static_cast<size_t>(i)].NumInSet = 0;
  }
  DisplayResults(kRecomputeAllCurves);
}

void DataPlotter::RemoveCurve_Click() {
  if (DisplayConfig.Average != 0) {
    MsgBox("User Error: Curves cannot be deleted while an average is shown");
    return;
  }
  const bool psd = DisplayConfig.Graphshown == kPsdView;
  const int32_t count = psd ? std::clamp(PsdCurves[0].NumCurves, 0, kCurveSlots) : LoadedCount();
  if (count >= 1) {
    const std::string text = CurveNoText->text().toStdString();
    if (!IsNumeric(text) || std::isnan(Val(text))) {
      MsgBox("User Error: Non Numeric Input");
      return;
    }
    const double v = Fix(Val(text));
    const int32_t k = v < 1 ? 1 : v > count ? count : static_cast<int32_t>(v);
    if (psd) RemoveCurveRecord(k, PsdCurves);
    CurveNoText->setText(QString::number(k));
    if (psd)
      RemovePsdSpectrum(k);
    else
      RemoveResult(k);
  }
  DisplayResults(kRedrawFiledCurves);
}

void DataPlotter::DelCurve_Click() {
  if (Busy != 0) return;
  if (ResultsTakenButNotSaved != 0) {
    if (ResultsDataSetInfo[0].NumInSet > 3) MsgBox("User Error: Results should be saved before deleting curves");
    return;
  }
  if (SingularityList[0].Average == kTrue) {
    ModesCurveNumber = 0;
    CurveNumberText->setText("1");
    return;
  }
  const int32_t index = ModesCurveNumber;
  if (index < 0 || index >= kCurveSlots || FitInputCurves[static_cast<size_t>(index)].NumPoints < 1 ||
      LoadedCount() < 1)
    return;
  RemoveResult(index + 1);
  ModesCurveNumber = index - 1;
  CurveNumberText->setText(QString::number(ModesCurveNumber + 1));
  const int32_t n = ResultsDataSetInfo[0].NumInSet;
  SetFitCounts(n);
  if (ModesCurveNumber > n - 1) ModesCurveNumber = n - 1;
  if (ModesCurveNumber < 0) ModesCurveNumber = 0;
  ShowCorrectedResponseOf(ModesCurveNumber);
}

void DataPlotter::ShowCorrectedResponseOf(int32_t index) {
  if (!MainWindowHooks.ShowCorrectedResponse || index < 0 || index >= kCurveSlots) return;
  const auto i = static_cast<size_t>(index);
  MainWindowHooks.ShowCorrectedResponse(FitInputCurves[i], FitStoredCurves[i], SingularityList[i], index);
}

}  // namespace zentor
