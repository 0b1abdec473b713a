#include "eqdesign/fit/fit_quality.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <utility>
#include <vector>

#include "core/emulation.h"
#include "eqdesign/filter_sets.h"
#include "eqdesign/fit/fit_limits.h"
#include "eqdesign/fit/net_boost.h"
#include "eqdesign/fit/outside_range.h"
#include "eqdesign/fit/polish.h"
#include "eqdesign/fit/singularity_search.h"

namespace zentor {

namespace {
constexpr double kTwoPi = 6.28318530717959;
}  // namespace

void KnownSingularityQs(const KnownSingularity& s, double& poleQ, double& zeroQ) {
  const double root = std::pow(10.0, std::fabs(s.LevelDb) / 40.0);
  const double high = s.CentreQ * root, low = s.CentreQ / root;
  poleQ = s.LevelDb >= 0 ? high : low;
  zeroQ = s.LevelDb >= 0 ? low : high;
}

double KnownSingularityDb(const KnownSingularity& s, double f) {
  double qp = 0, qz = 0;
  KnownSingularityQs(s, qp, qz);
  const double w0 = s.FreqHz, a = (w0 * w0 - f * f) * (w0 * w0 - f * f), b = w0 * f * w0 * f;
  return 10.0 * std::log10((a + b / (qz * qz)) / (a + b / (qp * qp)));
}

std::vector<float> BodeLikeGrid(int32_t count) {
  std::vector<float> f(static_cast<size_t>(std::max(count, 0)));
  for (size_t i = 0; i < f.size(); ++i) f[i] = static_cast<float>(0.37 * static_cast<double>(i + 1));
  return f;
}

std::vector<float> LogGrid(int32_t count, double low, double high) {
  std::vector<float> f(static_cast<size_t>(std::max(count, 0)));
  for (size_t i = 0; i < f.size(); ++i)
    f[i] = static_cast<float>(low * std::pow(high / low, static_cast<double>(i) / static_cast<double>(count - 1)));
  return f;
}

std::vector<float> KnownResponseDb(std::span<const float> freqs, std::span<const KnownSingularity> singularities,
                                   double tiltDbPerOctave, double noiseDb, uint32_t seed) {
  std::mt19937 random(seed);
  const auto uniform = [&] { return (static_cast<double>(random()) + 0.5) / 4294967296.0; };
  std::vector<float> dB(freqs.size());
  for (size_t i = 0; i < freqs.size(); ++i) {
    double level = tiltDbPerOctave * std::log2(freqs[i] / 100.0);
    for (const KnownSingularity& s : singularities) level += KnownSingularityDb(s, freqs[i]);
    if (noiseDb > 0)  // Box-Muller: the same numbers on every library
      level += noiseDb * std::sqrt(-2.0 * std::log(uniform())) * std::cos(2.0 * std::numbers::pi * uniform());
    dB[i] = static_cast<float>(level);
  }
  return dB;
}

double LogWeightedRmsDb(std::span<const float> freqs, std::span<const float> dB, double low, double high) {
  const size_t n = std::min(freqs.size(), dB.size());
  double sw = 0, swl = 0, swll = 0;
  for (size_t i = 0; i < n; ++i) {
    if (freqs[i] < low || freqs[i] > high) continue;
    // Each point stands for half the log-frequency gap to either neighbour.
    const double lo = std::log(freqs[i > 0 ? i - 1 : i]), hi = std::log(freqs[i + 1 < n ? i + 1 : i]);
    const double w = 0.5 * (hi - lo);
    sw += w;
    swl += w * dB[i];
    swll += w * dB[i] * dB[i];
  }
  if (!(sw > 0)) return 0;
  const double mean = swl / sw;
  return std::sqrt(std::max(0.0, swll / sw - mean * mean));
}

double LogWeightedZeroRmsDb(std::span<const float> freqs, std::span<const float> dB, double low, double high) {
  const size_t n = std::min(freqs.size(), dB.size());
  double sw = 0, swll = 0;
  for (size_t i = 0; i < n; ++i) {
    if (!(freqs[i] >= low && freqs[i] <= high && freqs[i] > 0)) continue;
    const double lo = std::log(freqs[i > 0 ? i - 1 : i]), hi = std::log(freqs[i + 1 < n ? i + 1 : i]);
    const double w = 0.5 * (hi - lo);
    sw += w;
    swll += w * dB[i] * dB[i];
  }
  return sw > 0 ? std::sqrt(swll / sw) : 0;
}

double JudgedRmsDb(std::span<const float> freqs, std::span<const float> dB, double low, double high,
                   const FitJudging& judging) {
  return judging.Anchored ? LogWeightedZeroRmsDb(freqs, dB, low, high) : LogWeightedLineRmsDb(freqs, dB, low, high);
}

double LogWeightedLineRmsDb(std::span<const float> freqs, std::span<const float> dB, double low, double high) {
  const size_t n = std::min(freqs.size(), dB.size());
  double sw = 0, st = 0, stt = 0, sy = 0, sty = 0, syy = 0;
  for (size_t i = 0; i < n; ++i) {
    if (!(freqs[i] >= low && freqs[i] <= high && freqs[i] > 0)) continue;
    const double lo = std::log(freqs[i > 0 ? i - 1 : i]), hi = std::log(freqs[i + 1 < n ? i + 1 : i]);
    const double w = 0.5 * (hi - lo), t = std::log(freqs[i] / 100.0), v = dB[i];
    sw += w;
    st += w * t;
    stt += w * t * t;
    sy += w * v;
    sty += w * t * v;
    syy += w * v * v;
  }
  if (!(sw > 0)) return 0;
  // Residual sum of squares of the weighted straight-line fit.
  const double ct = stt - st * st / sw, cy = syy - sy * sy / sw, cty = sty - st * sy / sw;
  const double rss = ct > 0 ? cy - cty * cty / ct : cy;
  return std::sqrt(std::max(0.0, rss / sw));
}

std::vector<float> CorrectedResponseDb(std::span<const float> freqs, std::span<const float> dB,
                                       const SingularityListRecord& set) {
  const size_t n = std::min(freqs.size(), dB.size());
  std::vector<double> level(n);
  for (size_t i = 0; i < n; ++i) level[i] = std::pow(10.0, dB[i] / 20.0);
  const MessageSink quiet = [](const std::string&) {};
  for (int32_t e = 0; e < std::clamp<int32_t>(set.Count, 0, kMaxFilters); ++e) {
    const auto k = static_cast<size_t>(e);
    ApplySingularityToLevels(level, freqs, -set.Q1[k], set.Q2[k], set.Freq[k], 1.0f, 0,
                             static_cast<int32_t>(n), quiet);
  }
  std::vector<float> out(n);
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<float>(20.0 * std::log10(level[i]));
  return out;
}

SingularityListRecord SnapSetToEqualiser(const SingularityListRecord& set, int32_t code, double maxBoostDb) {
  if (maxBoostDb < 0) return SnapEachToEqualiser(set, code, maxBoostDb);
  SingularityListRecord held = set;
  HoldOutsideRange(held, code, maxBoostDb);
  HoldNetBoost(held, code, maxBoostDb);
  return SnapEachToEqualiser(held, code, maxBoostDb);
}

SingularityListRecord SnapEachToEqualiser(const SingularityListRecord& set, int32_t code, double maxBoostDb) {
  SingularityListRecord out = set;
  const bool ranged = set.RangeLow > 0 && set.RangeHigh > set.RangeLow;
  for (int32_t i = 0; i < std::clamp<int32_t>(out.Count, 0, kMaxFilters); ++i) {
    const auto e = static_cast<size_t>(i);
    const auto snap = [&](float F) {
      out.Freq[e] = F, out.Q1[e] = set.Q1[e], out.Q2[e] = set.Q2[e];
      if (maxBoostDb >= 0) {
        if (!SnapWithinLimits(code, out.Freq[e], out.Q1[e], out.Q2[e], maxBoostDb)) out.Q2[e] = std::fabs(out.Q1[e]);
        return;
      }
      if (std::fabs(out.Q1[e]) * 0.1f > out.Q2[e]) out.Q2[e] = std::fabs(out.Q1[e]) * 0.1f;
      EmulateEQBand(code, out.Freq[e], out.Q1[e], out.Q2[e]);
    };
    snap(set.Freq[e]);
    // The step nearest a centre at the range's edge may lie beyond it: the
    // nearest step inside is taken.
    float F = set.Freq[e];
    for (int32_t tries = 0; ranged && tries < 240 && !InsideRange(out.Freq[e], set); ++tries) {
      F *= out.Freq[e] / kTwoPi > set.RangeHigh ? 0.99711535f : 1.00289302f;  // 2^(∓1/240)
      snap(F);
    }
  }
  return out;
}

void RemoveEntry(SingularityListRecord& set, int32_t i) {
  const int32_t n = std::clamp<int32_t>(set.Count, 0, kMaxFilters);
  if (i < 0 || i >= n) return;
  for (int32_t j = i; j + 1 < n; ++j) {
    const auto k = static_cast<size_t>(j);
    set.Freq[k] = set.Freq[k + 1];
    set.Q1[k] = set.Q1[k + 1];
    set.Q2[k] = set.Q2[k + 1];
    set.FitError[k] = set.FitError[k + 1];
  }
  if (n > 0) {
    const auto last = static_cast<size_t>(n - 1);
    set.Freq[last] = set.Q1[last] = set.Q2[last] = set.FitError[last] = 0;
    set.Count = n - 1;
  }
}

namespace {

// The range and the points either side of it: only they weigh.
void CutToRange(std::span<const float>& freqs, std::span<const float>& dB, double low, double high) {
  const size_t n = std::min(freqs.size(), dB.size());
  size_t first = 0, last = n;
  while (first + 1 < n && freqs[first + 1] < low) ++first;
  while (last > first + 1 && freqs[last - 2] > high) --last;
  freqs = freqs.subspan(first, last - first);
  dB = dB.subspan(first, last - first);
}

}  // namespace


namespace {

// The entry whose removal leaves the set's deviation lowest, and that deviation.
template <typename Rms>
int32_t LeastUsefulEntry(const SingularityListRecord& set, const Rms& rms, double& bestRms) {
  int32_t best = -1;
  for (int32_t i = 0; i < set.Count; ++i) {
    SingularityListRecord without = set;
    RemoveEntry(without, i);
    const double r = rms(without);
    if (best < 0 || r < bestRms) {
      best = i;
      bestRms = r;
    }
  }
  return best;
}

}  // namespace

int32_t KeepMostUsefulEntries(SingularityListRecord& set, std::span<const float> freqs, std::span<const float> dB,
                              int32_t code, int32_t keep, const FitJudging& judging,
                              const std::function<void(SingularityListRecord&)>& refit) {
  const double low = set.RangeLow, high = set.RangeHigh;
  CutToRange(freqs, dB, low, high);
  const auto rms = [&](const SingularityListRecord& s) {
    return JudgedRmsDb(freqs, CorrectedResponseDb(freqs, dB, SnapSetToEqualiser(s, code, judging.MaxBoostDb)), low,
                       high, judging);
  };
  keep = std::clamp<int32_t>(keep, 0, kMaxFilters);
  int32_t removed = 0;
  while (std::clamp<int32_t>(set.Count, 0, kMaxFilters) > keep) {
    // Beyond twice the budget, half of what lies beyond goes at once, those
    // doing least first: one entry a round would judge every entry once for
    // each it removes. The last choices are made one at a time.
    const int32_t count = std::clamp<int32_t>(set.Count, 0, kMaxFilters);
    const int32_t drop = std::max(1, (count - 2 * keep) / 2);
    std::vector<std::pair<double, int32_t>> without(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
      SingularityListRecord less = set;
      RemoveEntry(less, i);
      without[static_cast<size_t>(i)] = {rms(less), i};
    }
    std::sort(without.begin(), without.end());
    std::vector<int32_t> going;
    for (int32_t k = 0; k < drop; ++k) going.push_back(without[static_cast<size_t>(k)].second);
    std::sort(going.rbegin(), going.rend());
    for (const int32_t i : going) RemoveEntry(set, i);
    removed += drop;
    const double bestRms = drop == 1 ? without[0].first : rms(set);
    if (refit) {
      // The refit may only improve on the set as it stands.
      SingularityListRecord refitted = set;
      refit(refitted);
      if (refitted.Count <= set.Count && rms(refitted) <= bestRms) set = refitted;
    }
  }
  return removed;
}

int32_t RemoveWorseningEntries(SingularityListRecord& set, std::span<const float> freqs, std::span<const float> dB,
                               int32_t code, const FitJudging& judging) {
  const double low = set.RangeLow, high = set.RangeHigh;
  CutToRange(freqs, dB, low, high);
  const auto rms = [&](const SingularityListRecord& s) {
    return JudgedRmsDb(freqs, CorrectedResponseDb(freqs, dB, SnapSetToEqualiser(s, code, judging.MaxBoostDb)), low,
                       high, judging);
  };
  const double uncorrected = JudgedRmsDb(freqs, dB, low, high, judging);
  double now = rms(set);
  int32_t removed = 0;
  while (set.Count > 0) {
    double bestRms = 0;
    const int32_t best = LeastUsefulEntry(set, rms, bestRms);
    // Lower or the same (an entry the equaliser's steps reduce to nothing), or
    // the set still worse than none.
    if (!(bestRms <= now || now > uncorrected)) break;
    RemoveEntry(set, best);
    now = bestRms;
    ++removed;
  }
  return removed;
}

bool FitSetWithDampingRamp(std::span<const float> freqs, std::span<const float> dB, SingularityListRecord& R,
                           FitEngine& engine) {
  const auto curve = std::make_unique<FitCurveRecord>();
  PrepareFitCurve(freqs, dB, static_cast<int32_t>(std::min(freqs.size(), dB.size())), R.ModeCode,
                  R.LoudspeakerOrder, *curve);
  NormaliseFitCurve(*curve, R.RangeLow, R.RangeHigh);
  const int32_t loops = R.NumInitialLoops;
  const float damping = R.Damping;
  R.Count = 0;
  R.Kind = 2;
  const bool found = SearchSingularities(R, *curve, engine);
  if (loops > 1) {
    const float step = (1.0f - R.Damping) / static_cast<float>(loops);
    for (int32_t k = 0; k < loops; ++k) {
      PolishCriticalPeakValues(R, *curve, engine);
      R.Damping += step;
    }
    R.Damping = 1.0f;
    PolishCriticalPeakValues(R, *curve, engine);
  }
  SearchResidual(R, *curve, engine, 2);
  SortFilterSetByKey1(R, true);
  R.NumInitialLoops = loops;
  R.Damping = damping;
  R.Kind = 4;
  RemoveInsignificantFilters(R);
  RemoveWorseningEntries(R, freqs, dB, engine.Settings.EmulationCode);
  return found;
}

SingularityListRecord FitSetHeader(int32_t view, float low, float high, float smoothing) {
  SingularityListRecord R;
  R.MaxDecay = 1.5f;
  R.QMinimum = 0.05f;
  R.RangeLow = low;
  R.RangeHigh = high;
  R.SecondaryPolishWidth = 0.5f;
  R.NumInitialLoops = 8;
  R.Damping = 0.8f;
  R.LoudspeakerOrder = 4;
  R.SchroederFreq = 150;
  R.SelectCode = 4;
  R.Graphshown = view;
  R.ModeCode = view == 3 ? 5 : view;
  R.Smoothing = view == 3 ? 0 : smoothing;
  R.Kind = 2;
  return R;
}

}  // namespace zentor
