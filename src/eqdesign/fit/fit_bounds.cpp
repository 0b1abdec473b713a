#include "eqdesign/fit/fit_bounds.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/emulation.h"

namespace zentor {

namespace {

constexpr double kTwoPi = 6.28318530717959;
// A level this many noise deviations high is no chance arrangement of the
// noise over the three or more points a resolved singularity spans.
constexpr double kNoiseLevels = 3.0;
constexpr double kMinSpacings = 3.0;

}  // namespace

FitBounds MakeFitBounds(int32_t code, double noiseDb, double maxBoostDb) {
  FitBounds b;
  b.NoiseDb = std::isfinite(noiseDb) && noiseDb > 0 ? noiseDb : 0;
  if (maxBoostDb >= 0) {
    b.DipDbMax = std::min(b.DipDbMax, maxBoostDb);
    b.BoostLimited = true;
  }
  if (code != 1 && code != 4 && code != 5) return b;
  const double narrowest = QuantizeEmulatedQ(code, 1e-6f), widest = QuantizeEmulatedQ(code, 1e6f);
  // Levels as the filter sets them: a boost corrects a dip, a cut a peak.
  b.DipDbMax = std::min<double>(b.DipDbMax, QuantizeEmulatedLevel(code, 1e6f));
  b.PeakDbMax = std::min<double>(b.PeakDbMax, -QuantizeEmulatedLevel(code, -1e6f));
  const double root = std::pow(10.0, std::max(b.DipDbMax, b.PeakDbMax) / 40);
  b.LevelFloorDb = 0.5 * QuantizeEmulatedLevel(code, 1e-3f);
  for (float step = 0.01f; b.LevelFloorDb <= 0 && step < 10; step *= 1.25f)
    b.LevelFloorDb = 0.5 * QuantizeEmulatedLevel(code, step);
  if (code == 5) {
    b.LargerQLow = narrowest;
    b.LargerQHigh = widest;
  } else {
    // Widths in sixtieths of an octave: the widest band has the lowest Q.
    b.CentreQLow = BandwidthToQForFilterType(static_cast<float>(widest / 60), code);
    b.CentreQHigh = BandwidthToQForFilterType(static_cast<float>(narrowest / 60), code);
  }
  b.QCeiling = code == 5 ? b.LargerQHigh : b.CentreQHigh * root;
  return b;
}

double SearchQLimit(double qLimit, const FitBounds& bounds) { return std::max(qLimit, bounds.QCeiling); }

double EstimatePointNoiseDb(std::span<const float> x, std::span<const double> y, float low, float high) {
  const size_t n = std::min(x.size(), y.size());
  std::vector<double> d;
  for (size_t i = 1; i + 1 < n; ++i) {
    if (!(x[i] >= low && x[i] <= high)) continue;
    if (!(y[i - 1] > 0 && y[i] > 0 && y[i + 1] > 0)) continue;
    d.push_back(std::fabs(20 * std::log10(y[i - 1] * y[i + 1] / (y[i] * y[i]))));
  }
  if (d.size() < 8) return 0;
  const auto mid = d.begin() + static_cast<std::ptrdiff_t>(d.size() / 2);
  std::nth_element(d.begin(), mid, d.end());
  // The median absolute second difference of white noise is 0.6745·√6·σ.
  return *mid / (0.6744897501960817 * std::sqrt(6.0));
}

bool ResolvedAboveNoise(std::span<const float> x, double Freq, double Q1, double Q2, double damping,
                        const FitBounds& bounds) {
  const double q1 = std::fabs(Q1);
  if (!(q1 > 0 && Q2 > 0 && Freq > 0 && damping > 0)) return false;
  const double f0 = Freq / kTwoPi, centreQ = damping * std::sqrt(q1 * Q2);
  const auto at = std::lower_bound(x.begin(), x.end(), static_cast<float>(f0));
  if (x.size() < 2) return false;
  const auto last = static_cast<std::ptrdiff_t>(x.size()) - 1;
  const auto i = static_cast<size_t>(std::clamp<std::ptrdiff_t>(at - x.begin(), 1, last));
  const double spacing = static_cast<double>(x[i]) - x[i - 1];
  if (!(f0 / centreQ >= kMinSpacings * spacing)) return false;
  return LevelAboveNoise(20 * std::log10(std::max(q1, Q2) / std::min(q1, Q2)), bounds);
}

bool LevelAboveNoise(double levelDb, const FitBounds& bounds) {
  return std::fabs(levelDb) > std::max(kNoiseLevels * bounds.NoiseDb, bounds.LevelFloorDb);
}

void BoundToReach(double& Q1, double& Q2, double damping, const FitBounds& b) {
  const double q1 = std::fabs(Q1);
  if (!(q1 > 0 && Q2 > 0 && damping > 0)) return;
  const bool peak = Q1 > 0;
  // Q1 is the larger of the pair; the level is their ratio in dB.
  double level = 20 * std::log10(q1 / Q2);
  double centreQ = damping * std::sqrt(q1 * Q2);
  level = std::min(level, peak ? b.PeakDbMax : b.DipDbMax);
  centreQ = std::clamp(centreQ, b.CentreQLow, std::max(b.CentreQLow, b.CentreQHigh));
  const double root = std::pow(10.0, level / 40);
  const double larger = std::clamp(centreQ * root, b.LargerQLow, std::max(b.LargerQLow, b.LargerQHigh));
  centreQ = larger / root;
  Q1 = (peak ? 1 : -1) * larger / damping;
  Q2 = centreQ / root / damping;
}

}  // namespace zentor
