// The equaliser settings report: a text file telling the user how to set the
// outside equaliser's controls for each applied filter, in the steps of the
// equaliser its emulation code names. One double-quoted line each, CR LF.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/filter_record.h"
#include "eqdesign/fit_limits.h"

namespace zentor {

// The ISO third-octave band (20 Hz .. 16 kHz) nearest to a filter at freq1 rad/s
// (the geometric mean goes to the lower band), and the distance from it in
// sixtieths of an octave, truncated to 0.1.
void ISOBandOf(float freq1, double& band, double& offset);

// A bandwidth w in 1/60 octave as written: "5/60" up to 5, else octaves ("0.1").
std::string BandwidthText(double w);

// The report line of one filter; `graphic` for the graphic section.
std::string EQReportLine(const FilterRecord& f, bool graphic);

// Every line of the report for the list (count in element 0).
std::vector<std::string> EQReportLines(std::span<const FilterRecord> applied);

// The lines that follow the settings when the fit's limits are known: the
// limits, the target and the preamp the set needs.
std::vector<std::string> FitLimitReportLines(const FitLimits& limits, std::span<const FilterRecord> applied);

// Writes the report over `path` through a temporary file; false when it failed,
// the old file then unchanged. With limits, their lines follow the settings.
bool WriteEQSettingsReport(const std::string& path, std::span<const FilterRecord> applied,
                           const FitLimits* limits = nullptr);

// "Textual EQ Settings List": asks for the file, confirms an overwrite and writes
// the report of AppliedFilters.
void TextEQ_Click();

}  // namespace zentor
