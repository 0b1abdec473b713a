#include "eqdesign/modes_list.h"

#include <algorithm>
#include <cmath>

#include "base/text_number.h"
#include "core/records.h"
#include "eqdesign/applied_filters.h"
#include "eqdesign/filter_sets.h"
#include "eqdesign/fit/net_boost.h"
#include "eqdesign/user_select.h"
#include "mainwindow/data_plotter.h"
#include "platform/dialogs.h"
#include "platform/forms.h"

namespace zentor {

namespace {

// A boost on a dip deeper than the boost limit fills it only to the limit.
constexpr const char* kNullMark = "null: not corrected beyond the boost limit";

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
  std::vector<bool> onNull;
  if (k >= 0 && k < kFilterSets) {
    const SingularityListRecord& set = SingularityList[static_cast<size_t>(k)];
    const int32_t entries = std::clamp<int32_t>(set.Count, 0, kMaxFilters);
    for (int32_t j = 0; j < entries; ++j) {
      ModeRecordFromSet(k, j, ModesListContents[static_cast<size_t>(count)]);
      ModesListContents[0].Count = ++count;
      onNull.push_back(BoostOnNull(set, j));
    }
  }
  for (int32_t i = 0; i < count; ++i) {
    const FilterRecord& mode = ModesListContents[static_cast<size_t>(i)];
    if (mode.Q2 == 0)
      say("CheckForCurveSingularities: Q2=0 Error ModesListContents.Freq1(" + std::to_string(i) +
          ") = " + FormatSingle(mode.Freq1));
    lines.push_back(ModesListLine(mode) + (onNull[static_cast<size_t>(i)] ? std::string("  ") + kNullMark : ""));
  }
  if (count == 0) lines.emplace_back("No Modes Found");
  return count > 0;
}

bool ModeOnNull(const FilterRecord& mode) {
  const int32_t e = FindMeasuredEntry(mode.Curve, mode);
  return e >= 0 && BoostOnNull(SingularityList[static_cast<size_t>(mode.Curve)], e);
}

std::vector<NullRange> ListedNulls() {
  std::vector<NullRange> nulls;
  std::vector<int32_t> seen;
  for (int32_t i = 0; i < std::clamp<int32_t>(ModesListContents[0].Count, 0, kMaxModes); ++i) {
    const int32_t c = ModesListContents[static_cast<size_t>(i)].Curve;
    if (c < 0 || c >= kFilterSets || std::find(seen.begin(), seen.end(), c) != seen.end()) continue;
    seen.push_back(c);
    const SingularityListRecord& set = SingularityList[static_cast<size_t>(c)];
    for (int32_t k = 0; k < std::clamp<int32_t>(set.NullCount, 0, kMaxFilters); ++k)
      nulls.push_back({set.NullLowHz[static_cast<size_t>(k)], set.NullHighHz[static_cast<size_t>(k)]});
  }
  return nulls;
}

std::string NullLine(const NullRange& null) {
  const auto tenth = [](float hz) { return FormatDouble(std::round(hz * 10.0) / 10); };
  std::string mark = kNullMark;
  return "Null " + tenth(null.LowHz) + " to " + tenth(null.HighHz) + " Hz:" + mark.substr(5);
}

bool CheckForCurveSingularities(DataPlotter& window, int32_t k, const MessageSink& say) {
  window.ClearModesList();
  std::vector<std::string> lines;
  const bool found = BuildModesList(k, lines, say);
  window.ShowModesLines(lines);
  return found;
}

std::string AllModesLine(const FilterRecord& mode) {
  const double hz = Fix(mode.Freq1 * 100.0 / 6.28318530717959) / 100;
  const double q = Fix(mode.Q1 * 10.0) * 0.1;
  const double dB = Fix(10 * (20 / std::log(10.0)) * std::log(std::fabs(double(mode.Q2) / mode.Q1))) * 0.1;
  return std::to_string(mode.Curve + 1) + ". " + Number(hz) + " Hz, Q:" + Number(q) + " L: " + Number(dB);
}

std::vector<std::string> BuildAllModesList(bool ascending, const MessageSink& say) {
  constexpr int32_t kListLimit = 2000;
  ModesListContents[0].Count = 0;
  int32_t count = 0;
  bool full = false;
  for (int32_t c = 0; c < kCurveSlots && !full; ++c) {
    const SingularityListRecord& set = SingularityList[static_cast<size_t>(c)];
    const int32_t n = std::clamp<int32_t>(set.Count, 0, kMaxFilters);
    for (int32_t e = 0; e < n && !full; ++e) {
      if (!(set.Q1[static_cast<size_t>(e)] > 1.0f)) continue;
      ModeRecordFromSet(c, e, ModesListContents[static_cast<size_t>(count)]);
      ModesListContents[0].Count = ++count;
      full = count >= kListLimit;
    }
  }
  if (full)
    say("User Error: Too many filters are found to list all of them: Grab a smaller frequency range for filter "
        "fit or delete some measurement results");
  else
    SortModesByFrequency(ModesListContents, ascending);
  std::vector<std::string> lines;
  lines.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) lines.push_back(AllModesLine(ModesListContents[static_cast<size_t>(i)]));
  return lines;
}

void CompModes_Click(DataPlotter& window) {
  window.ModeSortAscending = window.ModeSortAscending == kTrue ? kFalse : kTrue;
  if (window.GetBusy()) return;
  window.ShowModesLines(BuildAllModesList(window.ModeSortAscending == kTrue));
}

void ModesList_Click(DataPlotter& window, int32_t row) {
  if (window.GetBusy()) return;
  if (row < 0 || row >= std::clamp<int32_t>(ModesListContents[0].Count, 0, kMaxModes)) return;
  UserSelect* dialog = Forms::Get<UserSelect>();
  dialog->InitializeUserSelect(row);
  ShowModal(dialog);
}

}  // namespace zentor
