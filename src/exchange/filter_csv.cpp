#include <string>

#include "core/eq_setting_text.h"
#include "exchange/filter_writers.h"

namespace zentor {

namespace {

// A field with a comma or a quote goes in quotes, its quotes doubled.
std::string Field(const std::string& s) {
  if (s.find_first_of(",\"\n") == std::string::npos) return s;
  std::string q = "\"";
  for (char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

}  // namespace

std::string FilterCsv(const ExportSet& set) {
  // Two widths: the written filter's, which any program reads from its q, and
  // the unit's own bandwidth control, which is defined otherwise.
  std::string text = "fc_hz,gain_db,q,bandwidth_3db_octaves,unit_bandwidth_octaves,model,setting\n";
  for (size_t i = 0; i < set.written.size(); ++i) {
    const PeakingFilter& f = set.written[i];
    const FilterRecord& r = set.snapped[i];
    const double unit = UnitBandwidthOctaves(r);
    text += ShortFixedText(f.fcHz, 2) + "," + ShortFixedText(f.gainDb, 2) + "," + ShortFixedText(f.q, 3) + "," +
            FixedText(Minus3dBBandwidthOctaves(f.q), 4) + "," + (unit > 0 ? FixedText(unit, 4) : "") + "," +
            Field(std::string(EmulationModelName(f.code))) + "," + Field(EQReportLine(r, r.Kind == 3)) + "\n";
  }
  return text;
}

}  // namespace zentor
