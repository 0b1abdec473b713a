// The writers behind ExportFilters, one per format, each given the set as
// converted once.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/filter_record.h"
#include "exchange/peaking_filters.h"

namespace zentor {

struct ExportSet {
  std::vector<FilterRecord> snapped;    // the records the filters came from, count in element 0
  std::vector<PeakingFilter> filters;   // exact values
  std::vector<PeakingFilter> written;   // rounded as the text writes them
  double preampDb = 0;
  int32_t rateHz = 0;
  std::string source;
  std::string models;  // the models' names, as the comment line gives them
};

std::string ApoText(const ExportSet& set);
std::string CamillaDspYaml(const ExportSet& set, std::span<const int32_t> channels);
// Exactly `biquads` sections; the caller has checked that the filters fit.
std::string MiniDspBiquads(const ExportSet& set, int32_t biquads);
std::string FilterCsv(const ExportSet& set);
// False with the reason when the response rings past the last tap.
bool FirWav(const ExportSet& set, int32_t taps, std::vector<uint8_t>& out, std::string& error);

}  // namespace zentor
