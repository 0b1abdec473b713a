#include "eqdesign/applied_filters.h"

#include <QListWidget>
#include <algorithm>
#include <cmath>

#include "base/text_number.h"
#include "core/emulation.h"
#include "core/eq_setting_text.h"
#include "core/filter_design.h"
#include "core/records.h"
#include "core/results_store.h"
#include "display/graph_frame.h"
#include "eqdesign/corrected_response.h"
#include "eqdesign/fit/fit_limits.h"
#include "eqdesign/modes_list.h"
#include "mainwindow/data_plotter.h"
#include "platform/dialogs.h"

namespace zentor {

namespace {

constexpr double kTwoPi = 6.28318530717959;

// The temporary of a swap in the sort.
FilterRecord SpareFilter;

int32_t AppliedCount() { return std::clamp(AppliedFilters[0].Count, 0, kMaxFilters); }

// A truncated or rounded value must not print as "-0".
std::string Num(double v) { return FormatDouble(v + 0.0); }
std::string Num(float v) { return FormatSingle(v + 0.0f); }

bool HasLevel(const FilterRecord& f) {
  return std::isfinite(f.Freq1) && std::isfinite(f.Q1) && std::isfinite(f.Q2) && f.Q1 != 0 && f.Q2 > 0;
}

}  // namespace

std::string SortAppliedSingularities() {
  for (int32_t pass = 0; pass < AppliedCount(); ++pass) {
    for (int32_t j = 0; j + 1 < AppliedCount(); ++j) {
      FilterRecord& a = AppliedFilters[static_cast<size_t>(j)];
      FilterRecord& b = AppliedFilters[static_cast<size_t>(j + 1)];
      if (a.Freq1 > b.Freq1) {
        CopyFilterRecord(a, SpareFilter);
        CopyFilterRecord(b, a);
        CopyFilterRecord(SpareFilter, b);
      }
    }
  }
  return {};
}

std::string AppliedFilterLine(const FilterRecord& f) {
  const int32_t code = f.EQEmulationCode;
  const auto db = static_cast<float>(20.0 / std::log(10.0) * std::log(std::fabs(double(f.Q1) / f.Q2)));
  const float level = QuantizeEmulatedLevel(code, f.Q1 < 0 ? db : -db);
  const std::string hz = Num(Fix(f.Freq1 * 100.0 / kTwoPi + 0.5) * 0.01);
  const std::string tail = " L:" + Num(level) + " dB";
  switch (code) {
    case 1:
    case 4:
      return hz + " Hz, BW:" + Num(QuantizeEmulatedQ(code, 60.0f * ConvertEmulatedBandwidth(f.Q1, f.Q2, code))) +
             "/60" + tail;
    case 5: return hz + " Hz, Q:" + Num(QuantizeEmulatedQ(5, ConvertEmulatedBandwidth(f.Q1, f.Q2, 5))) + tail;
    case 2:
    case 3: return hz + " Hz, Q:" + Num(QuantizeEmulatedQ(code, ScaleQByGain(level, f.Q1))) + tail;
    default: return hz + " Hz, Q:" + Num(f.Q1) + tail;  // no equaliser to read it: Q as stored
  }
}

std::vector<std::string> SnapAndListAppliedFilters(int32_t graphicCode, int32_t parametricCode) {
  std::vector<std::string> lines;
  if (AppliedFilters[0].Count < 0 || AppliedFilters[0].Count > kMaxFilters) {
    MsgBox("Error 5823");
    return lines;
  }
  for (int32_t i = 0; i < AppliedCount(); ++i) {
    FilterRecord& f = AppliedFilters[static_cast<size_t>(i)];
    if (f.Kind == 3)
      f.EQEmulationCode = graphicCode;
    else if (f.Kind == 2 || f.Kind == 4)
      f.EQEmulationCode = parametricCode;
    if (!HasLevel(f)) {
      MsgBox("Error 5823");
      break;
    }
    EmulateEQBand(f.EQEmulationCode, f.Freq1, f.Q1, f.Q2);
    lines.push_back(AppliedFilterLine(f));
  }
  return lines;
}

void UpdateAppliedFiltersList(DataPlotter& window) {
  window.AppliedFilterListBox->clear();
  SortAppliedSingularities();
  window.ArrangeMainWindow();
  const std::vector<std::string> lines =
      SnapAndListAppliedFilters(window.GetGraphicEQEmulation(), window.GetParametricEQEmulation());
  for (size_t n = 0; n < lines.size(); ++n) {
    window.AppliedFilterListBox->addItem(QString::fromStdString(lines[n]));
    const FilterRecord& f = AppliedFilters[n];
    window.AppliedFilterListBox->item(static_cast<int>(n))->setToolTip(QString::fromStdString(WrittenFilterText(f)));
  }
  window.AppliedFilterListBox->update();
}

int32_t FindMeasuredEntry(int32_t c, const FilterRecord& mode) {
  if (c < 0 || c >= kFilterSets) return -1;
  const SingularityListRecord& set = SingularityList[static_cast<size_t>(c)];
  const int32_t n = std::clamp(set.Count, 0, kMaxFilters);
  for (int32_t j = 0; j < n; ++j) {
    const auto k = static_cast<size_t>(j);
    if (set.Freq[k] == mode.Freq1 && set.Q1[k] == mode.Q1 && set.Q2[k] == mode.Q2) return j;
  }
  return -1;
}

void RemoveResultMeasuredFilterSet(DataPlotter& window, int32_t c, int32_t e, bool& ok) {
  ok = false;
  if (c < 0 || c >= kFilterSets) return;
  SingularityListRecord& set = SingularityList[static_cast<size_t>(c)];
  const int32_t n = set.Count;
  if (n < 1 || n > kMaxFilters || e < 0 || e >= n) return;
  for (int32_t j = e; j < n - 1; ++j) {
    const auto k = static_cast<size_t>(j);
    set.Freq[k] = set.Freq[k + 1];
    set.Q1[k] = set.Q1[k + 1];
    set.Q2[k] = set.Q2[k + 1];
    set.FitError[k] = set.FitError[k + 1];
  }
  const auto last = static_cast<size_t>(n - 1);
  set.Freq[last] = set.Q1[last] = set.Q2[last] = set.FitError[last] = 0;
  set.Count = n - 1;
  ok = true;
  if (c < kCurveSlots) {
    const auto k = static_cast<size_t>(c);
    ShowCorrectedResponse(window, FitInputCurves[k], FitStoredCurves[k], set, c, WorkFilterBlock,
                          ResultsDataSetInfo[0].SampleRate, FitGraphFrame);
  }
  CheckForCurveSingularities(window, c);
}

}  // namespace zentor
