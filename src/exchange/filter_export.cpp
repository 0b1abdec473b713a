#include "exchange/filter_export.h"

#include <algorithm>
#include <charconv>
#include <set>

#include "core/filter_run.h"
#include "exchange/filter_writers.h"
#include "exchange/peaking_filters.h"

namespace zentor {

namespace {

constexpr int32_t kHighestChannel = 63;

// The value a text of `decimals` places reads back as.
double AsWritten(double v, int decimals) {
  const std::string s = FixedText(v, decimals);
  double out = 0;
  std::from_chars(s.data(), s.data() + s.size(), out);
  return out;
}

std::string Range(const char* what, int32_t lo, int32_t hi) {
  return std::string(what) + " must lie between " + std::to_string(lo) + " and " + std::to_string(hi) + ".";
}

std::string CheckOptions(const FilterExportOptions& o) {
  if (o.rateHz < kExportRateLowest || o.rateHz > kExportRateHighest)
    return Range("The sample rate (Hz)", kExportRateLowest, kExportRateHighest);
  if (o.format == FilterFormat::Fir && (o.taps < kFirTapsLowest || o.taps > kFirTapsHighest))
    return Range("The number of taps", kFirTapsLowest, kFirTapsHighest);
  if (o.format == FilterFormat::MiniDsp && (o.biquads < kBiquadsLowest || o.biquads > kBiquadsHighest))
    return Range("The number of biquads", kBiquadsLowest, kBiquadsHighest);
  if (o.format == FilterFormat::CamillaDsp) {
    std::string error;
    std::vector<int32_t> channels;
    if (!ParseChannelList(ChannelListText(o.channels), channels, error)) return error;
  }
  return {};
}

}  // namespace

std::string_view FilterFormatName(FilterFormat format) { return kFilterFormatNames[static_cast<size_t>(format)]; }

bool ParseFilterFormat(std::string_view name, FilterFormat& format) {
  for (size_t i = 0; i < std::size(kFilterFormatNames); ++i)
    if (kFilterFormatNames[i] == name) {
      format = static_cast<FilterFormat>(i);
      return true;
    }
  return false;
}

std::string_view FilterFormatExtension(FilterFormat format) {
  switch (format) {
    case FilterFormat::CamillaDsp: return "yml";
    case FilterFormat::Fir: return "wav";
    case FilterFormat::Csv: return "csv";
    default: return "txt";
  }
}

bool ParseChannelList(std::string_view text, std::vector<int32_t>& channels, std::string& error) {
  std::vector<int32_t> out;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find(',', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view item = text.substr(pos, end - pos);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
    int32_t c = -1;
    const auto r = std::from_chars(item.data(), item.data() + item.size(), c);
    if (item.empty() || r.ec != std::errc() || r.ptr != item.data() + item.size() || c < 0 || c > kHighestChannel) {
      error = "Channels are numbers from 0 to " + std::to_string(kHighestChannel) + " separated by commas, as 0,1.";
      return false;
    }
    if (std::find(out.begin(), out.end(), c) != out.end()) {
      error = "Channel " + std::to_string(c) + " is listed twice.";
      return false;
    }
    out.push_back(c);
    pos = end + 1;
  }
  channels = std::move(out);
  return true;
}

std::string ChannelListText(std::span<const int32_t> channels) {
  std::string s;
  for (int32_t c : channels) s += (s.empty() ? "" : ", ") + std::to_string(c);
  return s;
}

std::string PreampText(double preampDb) { return "Preamp: " + FixedText(preampDb, 1) + " dB"; }

PeakLevel AppliedSetPeak(std::span<const FilterRecord> applied, int32_t rateHz) {
  // Every entry as it runs, whatever its level: a level no export takes is
  // refused by the export, never left out of the set's boost.
  return AppliedSetLevel(applied, rateHz).Peak();
}

std::string NetBoostText(const PeakLevel& peak) {
  if (!(peak.hz > 0)) return "Largest net boost: none (the set only cuts)";
  return "Largest net boost: " + FixedText(NearestTenth(peak.db), 1) + " dB at " + ShortFixedText(peak.hz, 1) + " Hz";
}

FilterExport ExportFilters(std::span<const FilterRecord> applied, const FilterExportOptions& options) {
  FilterExport made;
  made.error = CheckOptions(options);
  if (!made.ok()) return made;
  ExportSet set;
  set.rateHz = options.rateHz;
  set.source = options.source.empty() ? "applied filters" : options.source;
  if (!ToPeakingFilters(applied, options.rateHz, set.snapped, set.filters, made.error)) return made;
  std::vector<int32_t> codes;
  for (const PeakingFilter& f : set.filters)
    if (std::find(codes.begin(), codes.end(), f.code) == codes.end()) codes.push_back(f.code);
  for (int32_t c : codes) set.models += (set.models.empty() ? "" : " + ") + std::string(EmulationModelName(c));
  if (codes.empty()) set.models = "no filters";
  set.preampDb = PreampFor(AppliedSetLevel(set.snapped, options.rateHz).Peak().db);
  for (const PeakingFilter& f : set.filters) {
    set.written.push_back({AsWritten(f.fcHz, 2), AsWritten(f.gainDb, 2), AsWritten(f.q, 3), f.code});
    made.filters.push_back({set.written.back().fcHz, set.written.back().gainDb, set.written.back().q});
  }
  made.preamp_db = set.preampDb;
  std::string text;
  switch (options.format) {
    case FilterFormat::Apo: text = ApoText(set); break;
    case FilterFormat::CamillaDsp: text = CamillaDspYaml(set, options.channels); break;
    case FilterFormat::Csv: text = FilterCsv(set); break;
    case FilterFormat::MiniDsp:
      if (set.filters.size() > static_cast<size_t>(options.biquads)) {
        made.error = "The set has " + std::to_string(set.filters.size()) + " filters but the unit takes " +
                     std::to_string(options.biquads) + " biquads.";
        made.filters.clear();
        return made;
      }
      text = MiniDspBiquads(set, options.biquads);
      break;
    case FilterFormat::Fir:
      if (!FirWav(set, options.taps, made.bytes, made.error)) made.filters.clear();
      return made;
  }
  made.bytes.assign(text.begin(), text.end());
  return made;
}

std::string ExportSummaryJson(const FilterExport& made, const FilterExportOptions& options) {
  std::string json = "{\"format\": \"" + std::string(FilterFormatName(options.format)) +
                     "\", \"rate_hz\": " + std::to_string(options.rateHz) +
                     ", \"preamp_db\": " + ShortFixedText(made.preamp_db, 1) + ", \"filters\": [";
  for (size_t i = 0; i < made.filters.size(); ++i) {
    const WrittenFilter& f = made.filters[i];
    json += (i ? ", " : "") + std::string("{\"fc_hz\": ") + ShortFixedText(f.fc_hz, 2) +
            ", \"gain_db\": " + ShortFixedText(f.gain_db, 2) + ", \"q\": " + ShortFixedText(f.q, 3) + "}";
  }
  return json + "]}";
}

}  // namespace zentor
