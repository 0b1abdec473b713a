#include <algorithm>
#include <cmath>

#include "platform/numeric/numeric.h"

namespace zentor {

void FixDoubleLinearLevelAboutOneBetweenLimits(std::span<const float> freqs, std::span<double> levels,
                                               int32_t count, float low, float high) {
  const auto n = std::min({static_cast<size_t>(std::max<int32_t>(count, 0)), freqs.size(), levels.size()});
  const auto logMean = [&](bool whole, double& mean) {
    double sum = 0;
    size_t used = 0;
    for (size_t i = 0; i < n; ++i) {
      const double y = levels[i];
      if (!(y > 0) || !std::isfinite(y)) continue;
      if (!whole && !(freqs[i] >= low && freqs[i] <= high)) continue;
      sum += std::log(y);
      ++used;
    }
    if (used == 0) return false;
    mean = sum / static_cast<double>(used);
    return true;
  };
  double mean = 0;
  const bool ranged = low < high && logMean(false, mean);
  if (!ranged && !logMean(true, mean)) return;
  const double scale = std::exp(-mean);
  for (size_t i = 0; i < n; ++i) levels[i] *= scale;
}

void LoudspeakerOriginZerosCompensation(std::span<const float>, std::span<double>, int32_t, int32_t) {}

}  // namespace zentor
