// Writing the applied filters for other equalisers: Equalizer APO text (also
// REW's generic filter text), a CamillaDSP snippet, miniDSP biquads, a FIR WAV
// for convolution engines, and CSV. One call makes the whole file in memory;
// the caller writes it through the atomic writer.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/peaking_filters.h"

#include "core/filter_record.h"

namespace zentor {

enum class FilterFormat { Apo, CamillaDsp, MiniDsp, Fir, Csv };

// The formats by their command-line names, in the order the dialog lists them.
constexpr std::string_view kFilterFormatNames[] = {"apo", "camilladsp", "minidsp", "fir", "csv"};
std::string_view FilterFormatName(FilterFormat format);
// False for a name that is no format.
bool ParseFilterFormat(std::string_view name, FilterFormat& format);
// The usual file name ending of a format ("txt", "yml", "txt", "wav", "csv").
std::string_view FilterFormatExtension(FilterFormat format);

constexpr int32_t kExportRateLowest = 8000, kExportRateHighest = 384000, kExportRateDefault = 48000;
constexpr int32_t kFirTapsLowest = 4096, kFirTapsHighest = 262144, kFirTapsDefault = 65536;
constexpr int32_t kBiquadsLowest = 1, kBiquadsHighest = 75, kBiquadsDefault = 10;

struct FilterExportOptions {
  FilterFormat format = FilterFormat::Apo;
  int32_t rateHz = kExportRateDefault;
  int32_t taps = kFirTapsDefault;           // fir
  std::vector<int32_t> channels = {0, 1};   // camilladsp
  int32_t biquads = kBiquadsDefault;        // minidsp
  std::string source;                       // named in the file's comment line
};

// One filter as the file states it: the values rounded as written.
struct WrittenFilter {
  double fc_hz = 0;
  double gain_db = 0;
  double q = 0;
};

struct FilterExport {
  std::vector<uint8_t> bytes;          // the whole file; empty when refused
  double preamp_db = 0;                // the gain to set before the filters
  std::vector<WrittenFilter> filters;  // in file order
  std::string error;                   // why nothing was made; empty on success
  bool ok() const { return error.empty(); }
};

// The file of the applied set (count in element 0) in options.format. A set
// that cannot be written (more filters than biquads, taps too short for the
// ring, a filter at or above half the rate, an option out of range) gives the
// reason in `error` and no bytes.
FilterExport ExportFilters(std::span<const FilterRecord> applied, const FilterExportOptions& options);

// The applied set's largest net gain and where, every entry as it runs at
// rateHz (see SetLevel), as the export's preamp is taken from it; hz 0 when
// the set nowhere rises above 0 dB.
PeakLevel AppliedSetPeak(std::span<const FilterRecord> applied, int32_t rateHz = kJudgedRateDefault);
// "Largest net boost: 5.8 dB at 62.5 Hz" (to the tenth its preamp takes), or that the set only cuts.
std::string NetBoostText(const PeakLevel& peak);

// "0,1" into channel numbers 0..63, each once; false with the reason.
bool ParseChannelList(std::string_view text, std::vector<int32_t>& channels, std::string& error);
// The channels as the list is typed: "0,1".
std::string ChannelListText(std::span<const int32_t> channels);

// "Preamp: -6.3 dB", as the text formats state it and as the gain to set on a unit.
std::string PreampText(double preampDb);

// {"format", "rate_hz", "preamp_db", "filters": [{"fc_hz", "gain_db", "q"}...]} of a
// made export, the values as written.
std::string ExportSummaryJson(const FilterExport& made, const FilterExportOptions& options);

}  // namespace zentor
