// Microphone calibration text: the table it gives is always in order and bounded.
#include <cmath>
#include <cstdint>
#include <string_view>

#include "measurement/mic_calibration_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zentor::MicTextReading r;
  if (!zentor::ParseMicCalibrationText(std::string_view(reinterpret_cast<const char*>(data), size), r).empty()) return 0;
  const zentor::CalibrationReading& t = r.Table;
  if (t.Count < 1 || t.Count > zentor::kMaxMicTextPoints) __builtin_trap();
  for (int32_t i = 0; i < t.Count; ++i) {
    const auto k = static_cast<size_t>(i);
    if (!(t.Freq[k] > 0) || !std::isfinite(t.Freq[k]) || !std::isfinite(t.Level[k])) __builtin_trap();
    if (i > 0 && !(t.Freq[k] > t.Freq[k - 1])) __builtin_trap();
  }
  return 0;
}
