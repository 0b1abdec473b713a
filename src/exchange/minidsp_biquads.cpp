#include <string>

#include "exchange/filter_writers.h"

namespace zentor {

std::string MiniDspBiquads(const ExportSet& set, int32_t biquads) {
  std::string text;
  auto line = [&](const std::string& s, bool last) { text += s + (last ? "\n" : ",\n"); };
  for (int32_t k = 0; k < biquads; ++k) {
    PeakingSection s;  // unused sections pass the signal through
    s.b = {1, 0, 0};
    s.a = {1, 0, 0};
    if (static_cast<size_t>(k) < set.filters.size())
      s = CookbookPeaking(set.filters[static_cast<size_t>(k)], set.rateHz);
    const bool lastSection = k + 1 == biquads;
    line("biquad" + std::to_string(k + 1), false);
    line("b0=" + GeneralText(s.b[0], 10), false);
    line("b1=" + GeneralText(s.b[1], 10), false);
    line("b2=" + GeneralText(s.b[2], 10), false);
    // The unit's feedback coefficients carry the opposite sign.
    line("a1=" + GeneralText(-s.a[1], 10), false);
    line("a2=" + GeneralText(-s.a[2], 10), lastSection);
  }
  return text;
}

}  // namespace zentor
