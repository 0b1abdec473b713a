// A fit's target curve: read points are finite, rising in frequency.
#include <cmath>
#include <cstdint>
#include <string_view>
#include <vector>

#include "eqdesign/fit/fit_limits.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<double> hz, db;
  if (!zentor::ParseTargetText(std::string_view(reinterpret_cast<const char*>(data), size), hz, db).empty()) return 0;
  if (hz.empty() || hz.size() != db.size()) __builtin_trap();
  for (size_t i = 0; i < hz.size(); ++i) {
    if (!std::isnormal(hz[i]) || !std::isfinite(db[i])) __builtin_trap();
    if (i > 0 && !(hz[i] > hz[i - 1])) __builtin_trap();
  }
  return 0;
}
