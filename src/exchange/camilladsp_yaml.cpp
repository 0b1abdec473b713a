#include <string>

#include "exchange/filter_export.h"
#include "exchange/filter_writers.h"

namespace zentor {

std::string CamillaDspYaml(const ExportSet& set, std::span<const int32_t> channels) {
  std::string text = "# Zentor filters: " + set.source + ", " + set.models + "\n";
  text += "filters:\n";
  text += "  zentor_preamp:\n    type: Gain\n    parameters: {gain: " + ShortFixedText(set.preampDb, 1) + "}\n";
  for (size_t i = 0; i < set.written.size(); ++i) {
    const PeakingFilter& f = set.written[i];
    text += "  zentor_peq_" + std::to_string(i + 1) + ":\n    type: Biquad\n    parameters: {type: Peaking, freq: " +
            ShortFixedText(f.fcHz, 2) + ", q: " + ShortFixedText(f.q, 3) + ", gain: " + ShortFixedText(f.gainDb, 2) +
            "}\n";
  }
  text += "pipeline:\n  - type: Filter\n    channels: [" + ChannelListText(channels) + "]\n    names:\n";
  text += "      - zentor_preamp\n";
  for (size_t i = 0; i < set.written.size(); ++i) text += "      - zentor_peq_" + std::to_string(i + 1) + "\n";
  return text;
}

}  // namespace zentor
