#include <string>

#include "exchange/filter_export.h"
#include "exchange/filter_writers.h"

namespace zentor {

std::string ApoText(const ExportSet& set) {
  std::string text = "# Zentor filters: " + set.source + ", " + set.models + "\n";
  text += PreampText(set.preampDb) + "\n";
  for (size_t i = 0; i < set.written.size(); ++i) {
    const PeakingFilter& f = set.written[i];
    text += "Filter " + std::to_string(i + 1) + ": ON PK Fc " + FixedText(f.fcHz, 2) + " Hz Gain " +
            FixedText(f.gainDb, 2) + " dB Q " + FixedText(f.q, 3) + "\n";
  }
  return text;
}

}  // namespace zentor
