#include "eqdesign/fit/singularity_search.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "base/text_number.h"
#include "core/filter_design.h"
#include "eqdesign/filter_sets.h"
#include "eqdesign/fit/fit_bounds.h"
#include "eqdesign/fit/group_refine.h"
#include "eqdesign/fit/peak_dip.h"
#include "platform/numeric/numeric.h"

namespace zentor {

namespace {

constexpr double kTwoPi = 6.28318530717959;
constexpr int32_t kNeighbours = 4;  // refits try the points within this many of an entry
constexpr double kPointDeviations = 2.0;

int32_t CurveCount(const FitCurveRecord& c) { return std::clamp<int32_t>(c.Count, 0, kMaxFitPoints); }


}  // namespace

bool PrepareFitCurve(std::span<const float> freqs, std::span<const float> dB, int32_t count, int32_t ModeCode,
                     int32_t LoudspeakerOrder, FitCurveRecord& curve) {
  const auto n = static_cast<int32_t>(
      std::min({static_cast<size_t>(std::max(count, 0)), freqs.size(), dB.size(), size_t{kMaxFitPoints}}));
  curve.Count = n;
  if (n == 0) return false;
  CopySingle(freqs, curve.Freq, n);
  CopySingleToDouble(dB, curve.Level, n);
  TenPowerValueOverTwenty(curve.Level, n);
  if (ModeCode == kModeCodeBode) LoudspeakerOriginZerosCompensation(curve.Freq, curve.Level, n, LoudspeakerOrder);
  return true;
}

void NormaliseFitCurve(FitCurveRecord& curve, float low, float high) {
  if (curve.Anchored) return;
  FixDoubleLinearLevelAboutOneBetweenLimits(curve.Freq, curve.Level, CurveCount(curve), low, high);
}

float FitQLimit(float x, float schroederFreq, float maxDecay, int32_t view, float smoothing) {
  switch (view) {
    case 3: {
      const double q = static_cast<double>(x) * maxDecay * kTwoPi / 13.8;
      return static_cast<float>(q > 100 ? 100 : q);
    }
    case 6:
      return QFromBandwidthOctaves(smoothing);
    case 7: {
      const double b = x < schroederFreq ? smoothing : 0.333;
      return static_cast<float>(1.0 / (std::pow(2.0, b) - 1.0));
    }
    default:
      return 0;
  }
}

int32_t NearestPointIndex(std::span<const float> x, float f, int32_t count, const MessageSink& say) {
  if (f == 0) say("Error 5330");
  const auto n = static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(std::max(count, 0)), x.size()));
  if (n <= 1) return 0;
  const auto at = [&](int32_t i) { return static_cast<double>(x[static_cast<size_t>(i)]); };
  for (int32_t i = 0; i + 1 < n; ++i) {
    if (at(i) <= f && f < at(i + 1)) return std::fabs(at(i) - f) < std::fabs(at(i + 1) - f) ? i : i + 1;
  }
  return f >= at(n - 1) ? n - 1 : 0;
}

float LocalPointSpacing(std::span<const float> x, float f, int32_t count, const MessageSink& say) {
  const auto n = static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(std::max(count, 0)), x.size()));
  if (n < 2) return 0;
  const int32_t i = NearestPointIndex(x, f, n, say);
  const auto at = [&](int32_t k) { return x[static_cast<size_t>(k)]; };
  return i == 0 ? at(1) - at(0) : at(i) - at(i - 1);
}

namespace {

// Marks the points of the range where the curve departs from a straight line
// by more than its noise explains, over a window of ±16 or ±64 points, and the
// point itself lies off that line by more than twice the noise: in what a set
// leaves, only there can a singularity be left to find. A singularity the fit
// keeps stands three deviations out, so the points by its centre stand out too.
std::vector<bool> StandsOut(std::span<const float> x, std::span<const double> y, int32_t first, int32_t last,
                            double noiseDb) {
  const auto n = static_cast<int32_t>(std::min(x.size(), y.size()));
  std::vector<bool> out(static_cast<size_t>(std::max(n, 0)), false);
  if (n < 8 || !(noiseDb > 0)) return std::vector<bool>(out.size(), true);
  std::vector<double> level(static_cast<size_t>(n));
  for (size_t k = 0; k < level.size(); ++k) level[k] = y[k] > 0 ? 20 * std::log10(y[k]) : 0;
  // Prefix sums of 1, t, t², v, tv, v² for the least-squares line of any run.
  std::vector<std::array<double, 6>> sum(static_cast<size_t>(n) + 1, std::array<double, 6>{});
  for (int32_t i = 0; i < n; ++i) {
    const auto k = static_cast<size_t>(i);
    const double t = static_cast<double>(i), v = level[k];
    const std::array<double, 6> add{1, t, t * t, v, t * v, v * v};
    for (size_t j = 0; j < 6; ++j) sum[k + 1][j] = sum[k][j] + add[j];
  }
  for (const int32_t half : {16, 64}) {
    const int32_t m = 2 * half + 1;
    const double limit = noiseDb * (1 + 4 / std::sqrt(2.0 * m));
    for (int32_t i = std::max(first, 0); i <= std::min(last, n - 1); ++i) {
      const int32_t a = std::max(i - half, 0), b = std::min(i + half, n - 1);
      std::array<double, 6> s{};
      for (size_t j = 0; j < 6; ++j) s[j] = sum[static_cast<size_t>(b) + 1][j] - sum[static_cast<size_t>(a)][j];
      const double ct = s[2] - s[1] * s[1] / s[0], cv = s[5] - s[3] * s[3] / s[0], ctv = s[4] - s[1] * s[3] / s[0];
      const double rss = ct > 0 ? cv - ctv * ctv / ct : cv;
      if (!(std::sqrt(std::max(rss, 0.0) / s[0]) > limit)) continue;
      const double slope = ct > 0 ? ctv / ct : 0, mt = s[1] / s[0], mv = s[3] / s[0];
      if (std::fabs(level[static_cast<size_t>(i)] - (mv + slope * (i - mt))) > kPointDeviations * noiseDb)
        out[static_cast<size_t>(i)] = true;
    }
  }
  return out;
}

bool Search(SingularityListRecord& R, FitCurveRecord& curve, FitEngine& engine, bool residual);

}  // namespace

bool SearchSingularities(SingularityListRecord& R, FitCurveRecord& curve, FitEngine& engine) {
  return Search(R, curve, engine, false);
}

namespace {

bool Search(SingularityListRecord& R, FitCurveRecord& curve, FitEngine& engine, bool residual) {
  const MessageSink say = [&](const std::string& t) { engine.Say(t); };
  engine.PollNow();
  if (engine.Stopped()) return false;
  // A stop puts everything back as it was.
  const auto curveBefore = std::make_unique<FitCurveRecord>(curve);
  const SingularityListRecord setBefore = R;
  const auto abandon = [&] {
    curve = *curveBefore;
    R = setBefore;
    return false;
  };

  const int32_t count = CurveCount(curve);
  const std::span<const float> x(curve.Freq.data(), static_cast<size_t>(count));
  const std::span<double> y(curve.Level.data(), static_cast<size_t>(count));
  curve.NoiseDb = EstimatePointNoiseDb(x, y, R.RangeLow, R.RangeHigh);
  SingularityFitRunner fits(engine);
  bool faultShown = false;
  const FitBounds bounds = MakeFitBounds(engine.Settings.EmulationCode, curve.NoiseDb, engine.Settings.MaxBoostDb);
  const auto run = [&](std::span<SingularityFitJob> jobs, float width) {
    for (SingularityFitJob& j : jobs) {
      const float f = x[static_cast<size_t>(j.Point)];
      j.QMax = SearchQLimit(FitQLimit(f, R.SchroederFreq, R.MaxDecay, R.Graphshown, R.Smoothing), bounds);
      j.QMin = R.QMinimum;
      j.WidthFactor = width;
    }
    if (!fits.Run(curve, jobs, R.SelectCode, R.ModeCode) && !faultShown) {
      engine.Say("Error 7831");
      faultShown = true;
    }
  };

  // Every point of the range is fitted on the curve as it came.
  const int32_t first = NearestPointIndex(x, R.RangeLow, count, say);
  const int32_t last = NearestPointIndex(x, R.RangeHigh, count, say);
  std::vector<SingularityFitJob> candidates;
  const std::vector<bool> tried =
      residual ? StandsOut(x, y, first, last, curve.NoiseDb) : std::vector<bool>(static_cast<size_t>(count), true);
  for (int32_t i = first; i <= last && count > 0; ++i)
    if (tried[static_cast<size_t>(i)]) candidates.push_back({.Point = i});
  run(candidates, 0.5f);
  if (engine.Stopped()) return abandon();
  std::erase_if(candidates, [](const SingularityFitJob& j) { return !j.Accepted; });
  const bool found = !candidates.empty();

  // Filing: a candidate close to one filed before it is dropped; each filed one
  // leaves the curve.
  const int32_t mode = R.ModeCode;
  for (const SingularityFitJob& c : candidates) {
    const auto F = static_cast<float>(c.Freq), Q1 = static_cast<float>(c.Q1), Q2 = static_cast<float>(c.Q2);
    float width = LocalPointSpacing(x, static_cast<float>(F / kTwoPi), count, say);
    if (mode == 5 || mode == 6 || mode == 7)
      width *= engine.Settings.DisplayRes;
    else
      engine.Say("Error: 5432");
    // A centre the fit settled on beyond the range corrects where nobody asked.
    if (!InsideRange(F, R)) continue;
    if (NearExistingFilter(F, R, width)) continue;
    if (R.Count >= kMaxFilters) {
      engine.Say(
          "Error 5851: More than 75 filters were found in the fit range; the first 75 are kept. Narrow the "
          "frequency range of the fit.");
      break;
    }
    ApplySingularityToLevels(y, x, -Q1, Q2, F, R.Damping, 0, count, say);
    const auto e = static_cast<size_t>(R.Count++);
    R.Freq[e] = F;
    R.Q1[e] = Q1;
    R.Q2[e] = Q2;
    R.FitError[e] = static_cast<float>(c.FitError);
  }

  // Refinement: each entry, strongest first, is put back and refitted at the
  // points about it; the best fit of its own sign replaces it.
  SingularityListRecord WorkFilterSet;
  SortFilterSetByAbsQ1(R);
  const int32_t entries = std::clamp<int32_t>(R.Count, 0, kMaxFilters);
  std::array<SingularityFitJob, 2 * kNeighbours + 1> near{};
  for (int32_t j = 0; j < entries; ++j) {
    const auto e = static_cast<size_t>(j);
    const float F = R.Freq[e], Q1 = R.Q1[e], Q2 = R.Q2[e];
    if (Q1 == 0) {
      engine.Say("Error 8737: Q1=0");
      engine.Say("Freq(" + FormatDouble(j) + ") = " + FormatDouble(F / kTwoPi));
      engine.Say("SingNum = " + FormatDouble(R.Count));
    }
    ApplySingularityToLevels(y, x, Q1, Q2, F, R.Damping, 0, count, say);
    const int32_t c0 = NearestPointIndex(x, static_cast<float>(F / kTwoPi), count, say);
    size_t tried = 0;
    for (int32_t p = c0 - kNeighbours; p <= c0 + kNeighbours; ++p) {
      if (p < 0 || p >= count) continue;
      const float f = x[static_cast<size_t>(p)];
      if (!(R.RangeLow < f && f < engine.Settings.MaxFreq && f < R.RangeHigh)) continue;
      near[tried++] = {.Point = p};
    }
    run(std::span(near.data(), tried), R.SecondaryPolishWidth);
    if (engine.Stopped()) return abandon();
    const SingularityFitJob best = BestRefit(std::span(near.data(), tried), F, Q1, Q2, R.FitError[e], x, y, R.Damping);
    if (!(std::fabs(best.Q1) > 0.05) || !InsideRange(static_cast<float>(best.Freq), R)) continue;
    if (WorkFilterSet.Count >= kMaxFilters) {
      engine.Say("Buffer size exceeded by number of filters");
      continue;
    }
    FileRefit(WorkFilterSet, best, y, x, R.Damping, count, say);
  }

  curve.TakenOutDamping = R.Damping;
  RefineOverlappingGroups(WorkFilterSet, R, curve, R.Damping, bounds);
  NormaliseFitCurve(curve, R.RangeLow, R.RangeHigh);
  CopyFilterSetEntries(WorkFilterSet, R);
  return found;
}

}  // namespace

bool SearchResidual(SingularityListRecord& R, FitCurveRecord& curve, FitEngine& engine, int32_t rounds) {
  const MessageSink say = [&](const std::string& t) { engine.Say(t); };
  for (int32_t round = 0; round < rounds; ++round) {
    SingularityListRecord extra = R;
    CopyFilterSetEntries(SingularityListRecord{}, extra);
    Search(extra, curve, engine, true);
    if (engine.Stopped()) return false;
    if (extra.Count <= 0) break;
    const int32_t count = CurveCount(curve);
    if (R.Count + extra.Count > kMaxFilters) {
      // No room: what the search took out goes back.
      for (int32_t i = 0; i < extra.Count; ++i) {
        const auto e = static_cast<size_t>(i);
        ApplySingularityToLevels(std::span(curve.Level).first(static_cast<size_t>(count)),
                                 std::span(curve.Freq).first(static_cast<size_t>(count)), extra.Q1[e], extra.Q2[e],
                                 extra.Freq[e], extra.Damping, 0, count, say);
      }
      break;
    }
    for (int32_t i = 0; i < extra.Count; ++i) {
      const auto e = static_cast<size_t>(i), to = static_cast<size_t>(R.Count++);
      R.Freq[to] = extra.Freq[e];
      R.Q1[to] = extra.Q1[e];
      R.Q2[to] = extra.Q2[e];
      R.FitError[to] = extra.FitError[e];
    }
    RefineOverlappingGroups(R, R, curve, R.Damping, MakeFitBounds(engine.Settings.EmulationCode, curve.NoiseDb, engine.Settings.MaxBoostDb));
    NormaliseFitCurve(curve, R.RangeLow, R.RangeHigh);
  }
  return true;
}

}  // namespace zentor
