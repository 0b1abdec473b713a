#include "eqdesign/modes_list.h"

#include <algorithm>
#include <cmath>

#include "base/text_number.h"
#include "core/records.h"
#include "eqdesign/filter_sets.h"
#include "mainwindow/data_plotter.h"

namespace zentor {

namespace {

// Values truncated toward zero print "-0" when negative; the list shows 0.
std::string Number(double v) { return FormatDouble(v + 0.0); }

}  // namespace

std::string ModesListLine(const FilterRecord& mode) {
  const float f = mode.Freq1, q1 = mode.Q1, q2 = mode.Q2, e = mode.FitError;
  const auto c = static_cast<float>(20.0 / std::log(10.0));
  const double hz = Fix(static_cast<float>(f * 100.0f) / 6.28318530717959) / 100.0;
  const double dB = Fix(static_cast<float>(10.0f * c) * std::log(static_cast<double>(std::fabs(q1 / q2))));
  const std::string level = q2 == 0 ? "" : " L:" + Number(dB * (q1 > 0 ? -0.1 : 0.1));
  const std::string error = " E:" + Number(Fix(10.0 * std::log(static_cast<double>(e + 1.0f)) / std::log(10.0)));
  const double q = Fix(static_cast<float>(q1 * 10.0f)) * 0.1;
  if (q1 > 0) {
    // Decay time of the resonance, seconds per 60 dB.
    const auto T = static_cast<float>(static_cast<double>(q1) * 13.8 / f);
    const float shownT = static_cast<float>(Fix(static_cast<float>(T * 100.0f))) / 100.0f;
    return "P " + Number(hz) + " Hz, Q:" + Number(q) + "/" + FormatSingle(shownT + 0.0f) + level + error;
  }
  return "Z " + Number(hz) + " Hz, Q:" + Number(std::fabs(q)) + level + error;
}

bool BuildModesList(int32_t k, std::vector<std::string>& lines, const MessageSink& say) {
  lines.clear();
  ModesListContents[0].Count = 0;
  int32_t count = 0;
  if (k >= 0 && k < kFilterSets) {
    const int32_t entries = std::clamp<int32_t>(SingularityList[static_cast<size_t>(k)].Count, 0, kMaxFilters);
    for (int32_t j = 0; j < entries; ++j) {
      ModeRecordFromSet(k, j, ModesListContents[static_cast<size_t>(count)]);
      ModesListContents[0].Count = ++count;
    }
  }
  for (int32_t i = 0; i < count; ++i) {
    const FilterRecord& mode = ModesListContents[static_cast<size_t>(i)];
    if (mode.Q2 == 0)
      say("CheckForCurveSingularities: Q2=0 Error ModesListContents.Freq1(" + std::to_string(i) +
          ") = " + FormatSingle(mode.Freq1));
    lines.push_back(ModesListLine(mode));
  }
  if (count == 0) lines.emplace_back("No Modes Found");
  return count > 0;
}

bool CheckForCurveSingularities(DataPlotter& window, int32_t k, const MessageSink& say) {
  window.ClearModesList();
  std::vector<std::string> lines;
  const bool found = BuildModesList(k, lines, say);
  window.ShowListLines(lines);
  return found;
}

}  // namespace zentor
