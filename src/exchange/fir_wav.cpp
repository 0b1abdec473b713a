#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "base/binary_io.h"
#include "exchange/filter_export.h"
#include "exchange/filter_writers.h"

namespace zentor {

namespace {

// Past the last tap a sample may hold this much of the largest.
constexpr double kTailRatio = 1e-5;
// How far the response is followed to find where it has died away.
constexpr size_t kLongestFollowed = size_t{1} << 20;
constexpr size_t kQuietWindow = 4096;

void AppendTag(BinaryWriter& w, const char* tag) {
  for (int i = 0; i < 4; ++i) w.Bytes(std::span(reinterpret_cast<const uint8_t*>(tag + i), 1));
}

std::vector<uint8_t> FloatWav(std::span<const float> samples, int32_t rate) {
  const auto n = static_cast<int32_t>(samples.size());
  BinaryWriter w;
  AppendTag(w, "RIFF");
  w.Long(4 + (8 + 18) + (8 + 4) + 8 + 4 * n);
  AppendTag(w, "WAVE");
  AppendTag(w, "fmt ");
  w.Long(18);
  w.Integer(3);  // IEEE float
  w.Integer(1);
  w.Long(rate);
  w.Long(rate * 4);
  w.Integer(4);
  w.Integer(32);
  w.Integer(0);
  AppendTag(w, "fact");
  w.Long(4);
  w.Long(n);
  AppendTag(w, "data");
  w.Long(4 * n);
  w.Singles(samples);
  return std::move(w.data());
}

}  // namespace

bool FirWav(const ExportSet& set, int32_t taps, std::vector<uint8_t>& out, std::string& error) {
  struct Stage {
    double b0, b1, b2, a1, a2, s1 = 0, s2 = 0;
  };
  std::vector<Stage> stages;
  for (const PeakingFilter& f : set.filters) {
    const PeakingSection s = CookbookPeaking(f, set.rateHz);
    stages.push_back({s.b[0], s.b[1], s.b[2], s.a[1], s.a[2]});
  }
  const double gain = std::pow(10.0, set.preampDb / 20);
  // Followed past the last tap until a long stretch lies far below the limit.
  std::vector<double> h;
  double peak = 0;
  size_t quietSince = 0;
  for (size_t n = 0; n < kLongestFollowed; ++n) {
    double x = n == 0 ? gain : 0.0;
    for (Stage& st : stages) {
      const double y = st.b0 * x + st.s1;
      st.s1 = st.b1 * x - st.a1 * y + st.s2;
      st.s2 = st.b2 * x - st.a2 * y;
      x = y;
    }
    h.push_back(x);
    peak = std::max(peak, std::fabs(x));
    if (std::fabs(x) > 1e-3 * kTailRatio * peak) quietSince = n + 1;
    if (n + 1 >= static_cast<size_t>(taps) && n + 1 - quietSince >= kQuietWindow) break;
  }
  const double limit = kTailRatio * peak;
  size_t last = 0;  // one past the last sample above the limit
  for (size_t n = h.size(); n > 0; --n)
    if (std::fabs(h[n - 1]) > limit) {
      last = n;
      break;
    }
  // Every sample at or after the last tap must be within the limit.
  if (last >= static_cast<size_t>(taps)) {
    const size_t needed = std::max<size_t>(last + 1, kFirTapsLowest);
    if (needed > static_cast<size_t>(kFirTapsHighest) || h.size() == kLongestFollowed)
      error = "The filters ring for longer than " + std::to_string(kFirTapsHighest) +
              " taps, the most a FIR file holds.";
    else
      error = "The filters ring for longer than " + std::to_string(taps) + " taps: " + std::to_string(needed) +
              " taps or more are needed.";
    return false;
  }
  std::vector<float> samples(static_cast<size_t>(taps));
  for (size_t n = 0; n < samples.size(); ++n) samples[n] = static_cast<float>(h[n]);
  out = FloatWav(samples, set.rateHz);
  return true;
}

}  // namespace zentor
