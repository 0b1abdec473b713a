// The equaliser settings report: a text file telling the user how to set the
// outside equaliser's controls for each applied filter, in the steps of the
// equaliser its emulation code names. One double-quoted line each, CR LF.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/eq_setting_text.h"
#include "core/filter_record.h"
#include "eqdesign/fit/fit_limits.h"
#include "eqdesign/modes_list.h"

namespace zentor {

// Every line of the report for the list (count in element 0).
std::vector<std::string> EQReportLines(std::span<const FilterRecord> applied);

// The lines that follow the settings when the fit's limits are known: the
// limits, the target and the preamp the set needs.
std::vector<std::string> FitLimitReportLines(const FitLimits& limits, std::span<const FilterRecord> applied);

// Writes the report over `path` through a temporary file; false when it failed,
// the old file then unchanged. With limits, their lines follow the settings;
// then a line per null the fit left (NullLine).
bool WriteEQSettingsReport(const std::string& path, std::span<const FilterRecord> applied,
                           const FitLimits* limits = nullptr, std::span<const NullRange> nulls = {});

// "Textual EQ Settings List": asks for the file, confirms an overwrite and writes
// the report of AppliedFilters, with the nulls of the listed modes' fits.
void TextEQ_Click();

}  // namespace zentor
