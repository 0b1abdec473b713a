// Equalizer APO / REW filter text into each parametric model.
#include <cstdint>
#include <string_view>

#include "exchange/filter_import.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const zentor::FilterImport read = zentor::ImportFilterText(text, static_cast<int32_t>(1 + size % 5));
  if (read.ok() && (read.filters.empty() || read.filters[0].Count != static_cast<int32_t>(read.filters.size())))
    __builtin_trap();
  return 0;
}
