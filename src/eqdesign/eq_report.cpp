#include "eqdesign/eq_report.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "base/binary_io.h"
#include "base/text_number.h"
#include "core/emulation.h"
#include "core/helpers.h"
#include "core/records.h"
#include "eqdesign/fit_limits_store.h"
#include "exchange/filter_export.h"
#include "platform/dialogs.h"

namespace zentor {

namespace {

bool Listed(const FilterRecord& f, int32_t kind) {
  return f.Kind == kind && f.Q1 != 0 && std::fabs(f.Q1) != f.Q2;
}

}  // namespace

std::vector<std::string> EQReportLines(std::span<const FilterRecord> applied) {
  const int32_t count =
      applied.empty() ? 0 : std::clamp<int32_t>(applied[0].Count, 0, static_cast<int32_t>(applied.size()));
  const std::string footer = count == 0 ? "No Settings Required" : "Controls set to zero dB are not listed";
  std::vector<std::string> lines{"Mirabelt Zentor EQ Settings", ""};
  const std::array<std::pair<const char*, int32_t>, 3> sections{
      {{"Graphic EQ Settings", 3}, {"Parametric EQ Settings", 2}, {"Modal EQ Parametric Settings", 4}}};
  for (const auto& [heading, kind] : sections) {
    lines.emplace_back(heading);
    for (int32_t i = 0; i < count; ++i)
      if (Listed(applied[static_cast<size_t>(i)], kind))
        lines.push_back(EQReportLine(applied[static_cast<size_t>(i)], kind == 3));
    lines.emplace_back("");
    lines.push_back(footer);
    if (kind != 4) lines.insert(lines.end(), 2, "");
  }
  return lines;
}

std::vector<std::string> FitLimitReportLines(const FitLimits& limits, std::span<const FilterRecord> applied) {
  const int32_t count =
      applied.empty() ? 0 : std::clamp<int32_t>(applied[0].Count, 0, static_cast<int32_t>(applied.size()));
  const int32_t rate = JudgedRateHz();
  const double preamp = PreampDb(applied, count, rate);
  std::vector<FilterRecord> set(applied.begin(), applied.begin() + count);
  if (!set.empty()) set[0].Count = count;
  return {"", "Fit Limits: " + DescribeFitLimits(limits), NetBoostText(AppliedSetPeak(set, rate)),
          "Preamp = " + FormatDouble(std::round(preamp * 10) * 0.1 + 0.0) + " dB (the set's largest boost, taken off before it)"};
}

bool WriteEQSettingsReport(const std::string& path, std::span<const FilterRecord> applied, const FitLimits* limits,
                           std::span<const NullRange> nulls) {
  std::vector<std::string> lines = EQReportLines(applied);
  if (limits) {
    const std::vector<std::string> more = FitLimitReportLines(*limits, applied);
    lines.insert(lines.end(), more.begin(), more.end());
  }
  if (!nulls.empty()) lines.emplace_back("");
  for (const NullRange& null : nulls) lines.push_back(NullLine(null));
  std::string text;
  for (const std::string& line : lines) text += "\"" + line + "\"\r\n";
  return WriteWholeFileAtomic(path, text);
}

void TextEQ_Click() {
  FileDialogRequest request;
  request.fileName = "EQSettings";
  request.title = "Save EQ Settings Text File";
  request.filter = "EQ settings (*.txt)|*.txt";
  const std::optional<std::string> chosen = FileSaveDialog(request);
  if (!chosen || chosen->empty()) return;
  const std::optional<std::string> path = SaveFileNameOrSay(*chosen, "txt");
  if (!path || !MayReplaceFile(*path, *path + " Already Exists, Overwrite ?", MsgButtons::YesNoCancel, "EQ Settings"))
    return;
  const FitLimits limits = LoadFitLimits();
  if (!WriteEQSettingsReport(*path, AppliedFilters, &limits, ListedNulls())) MsgBox("Error 5853: The EQ settings file could not be written.");
}

}  // namespace zentor
