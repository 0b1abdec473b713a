// One singularity applied to, and taken off, a 2000-point fit curve: the fit and
// the polish do this thousands of times per curve. And the one-singularity fit
// itself on a seeded set of single noisy peaks and dips: the time of an
// accepted and of a refused fit, and how well the accepted ones correct.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "eqdesign/filter_sets.h"
#include "eqdesign/fit/fit_quality.h"
#include "eqdesign/fit/singularity_fit.h"
#include "eqdesign/fit/singularity_search.h"

namespace {

using namespace zentor;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

void BM_ApplySingularityToLevels(benchmark::State& state) {
  const size_t n = 2000;
  std::vector<float> hz(n);
  std::vector<double> levels(n, 1.0);
  for (size_t i = 0; i < n; ++i) hz[i] = static_cast<float>(20.0 * std::pow(1000.0, double(i) / (n - 1)));
  const double centre = 2 * std::numbers::pi * 63.0;
  const MessageSink quiet = [](const std::string&) {};
  double q1 = 12;
  for (auto _ : state) {
    ApplySingularityToLevels(levels, hz, q1, 3, centre, 0.8f, 0, static_cast<int32_t>(n), quiet);
    benchmark::DoNotOptimize(levels.data());
    q1 = -q1;  // alternately applied and divided out: the levels stay bounded
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n));
}
BENCHMARK(BM_ApplySingularityToLevels);

// One noisy single peak or dip on the gated (view 3) or the fractional-octave
// (view 6) grid.
struct Case {
  KnownSingularity truth;
  std::vector<float> freqs, dB;
  std::unique_ptr<FitCurveRecord> curve = std::make_unique<FitCurveRecord>();
  int32_t view = 3, centre = 0;
  double qmax = 0;
};

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = [] {
    std::vector<Case> v;
    std::mt19937 random(4821);
    const auto uniform = [&](double lo, double hi) {
      return lo + (hi - lo) * (static_cast<double>(random()) + 0.5) / 4294967296.0;
    };
    for (int32_t i = 0; i < 48; ++i) {
      Case c;
      c.view = i % 2 ? 6 : 3;
      const double level = uniform(3, 15) * (i % 4 < 2 ? 1 : -1);
      c.truth = {30 * std::exp(uniform(0, std::log(8.0))), level, uniform(2, 12)};
      c.freqs = c.view == 3 ? BodeLikeGrid(2000) : LogGrid(2000, 20, 20000);
      c.dB = KnownResponseDb(c.freqs, std::span(&c.truth, 1), uniform(-2, 2), uniform(0.05, 0.3),
                             static_cast<uint32_t>(100 + i));
      PrepareFitCurve(c.freqs, c.dB, 2000, 6, 4, *c.curve);
      c.centre = NearestPointIndex(c.freqs, static_cast<float>(c.truth.FreqHz), 2000, [](const std::string&) {});
      c.qmax = FitQLimit(c.freqs[static_cast<size_t>(c.centre)], 150, 1.5f, c.view, c.view == 3 ? 0 : 1.0f / 48);
      v.push_back(std::move(c));
    }
    return v;
  }();
  return cases;
}

struct Outcome {
  bool ok = false;
  double F = 0, Q1 = 0, Q2 = 0, E = 0;
};

Outcome Fit(const Case& c, int32_t n, SingularityFitWorkspace& work, SingularityFitContext& context) {
  Outcome o;
  o.ok = FitOneSingularity(n, *c.curve, work, o.F, o.Q1, o.Q2, o.E, c.qmax, 0.05, 0.5f, 4, c.view == 3 ? 5 : 6,
                           context);
  return o;
}

// The candidate points about each centre; the first pass sorts them into the
// accepted and the refused (those refused after admission, which run the passes).
struct Point {
  const Case* c;
  int32_t n;
};
void SortPoints(std::vector<Point>& accepted, std::vector<Point>& refused) {
  SingularityFitWorkspace work;
  for (const Case& c : Cases()) {
    for (int32_t n = c.centre - 3; n <= c.centre + 3; ++n) {
      SingularityFitContext context;
      const bool ok = Fit(c, n, work, context).ok;
      if (ok) accepted.push_back({&c, n});
      else if (context.Counters.PlainIterations > 0) refused.push_back({&c, n});
    }
  }
}

// arg 0: accepted points, 1: points refused after admission. Time per call.
void BM_FitOneSingularityCorpus(benchmark::State& state) {
  std::vector<Point> accepted, refused;
  SortPoints(accepted, refused);
  const std::vector<Point>& points = state.range(0) == 0 ? accepted : refused;
  SingularityFitWorkspace work;
  SingularityFitContext context;
  for (auto _ : state) {
    for (const Point& p : points) benchmark::DoNotOptimize(Fit(*p.c, p.n, work, context));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(points.size()));
  state.counters["points"] = static_cast<double>(points.size());
  // Seconds per fit over 1e-6: microseconds.
  state.counters["us/fit"] = benchmark::Counter(1e-6 * static_cast<double>(points.size()),
                                                benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FitOneSingularityCorpus)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// dB RMS about a straight line in ln f of the curve with `dBOff` taken off,
// over ±2 bandwidths of the true singularity.
template <typename Off>
double LocalRmsDb(const Case& c, const Off& dBOff) {
  const double f0 = c.truth.FreqHz, bw = f0 / c.truth.CentreQ;
  double sw = 0, st = 0, stt = 0, sy = 0, sty = 0, syy = 0;
  for (size_t i = 0; i < c.freqs.size(); ++i) {
    const double f = c.freqs[i];
    if (std::fabs(f - f0) > 2 * bw) continue;
    const double t = std::log(f / f0), y = 20 * std::log10(c.curve->Level[i]) - dBOff(f);
    sw += 1, st += t, stt += t * t, sy += y, sty += t * y, syy += y * y;
  }
  const double det = sw * stt - st * st, b = (sw * sty - st * sy) / det, a = (sy - b * st) / sw;
  return std::sqrt(std::max(0.0, (syy - a * sy - b * sty) / sw));
}

// How well the accepted fits correct: the local RMS after dividing out the fitted
// singularity over that after dividing out the true one (the noise floor), and
// the fit's own residual. Counters only; the time means nothing.
void BM_FitOneSingularityResidual(benchmark::State& state) {
  std::vector<double> ratio, own;
  int32_t accepted = 0, refused = 0;
  for (auto _ : state) {
    ratio.clear();
    own.clear();
    accepted = refused = 0;
    SingularityFitWorkspace work;
    for (const Case& c : Cases()) {
      const double floor = LocalRmsDb(c, [&](double f) { return KnownSingularityDb(c.truth, f); });
      for (int32_t n = c.centre - 3; n <= c.centre + 3; ++n) {
        SingularityFitContext context;
        const Outcome o = Fit(c, n, work, context);
        if (!o.ok) {
          refused += context.Counters.PlainIterations > 0;
          continue;
        }
        ++accepted;
        const double sign = o.Q1 < 0 ? -1 : 1, qp = std::fabs(o.Q1), qz = o.Q2;
        const auto fitted = [&](double f) {
          const double w = kTwoPi * f, d = (o.F - w) * (o.F + w), b = o.F * w;
          return sign * 10 * std::log10((d * d + b * b / (qz * qz)) / (d * d + b * b / (qp * qp)));
        };
        ratio.push_back(LocalRmsDb(c, fitted) / floor);
        own.push_back(std::sqrt(o.E) / 1000);
      }
    }
  }
  std::sort(ratio.begin(), ratio.end());
  const auto at = [&](double q) { return ratio.empty() ? 0.0 : ratio[static_cast<size_t>(q * (ratio.size() - 1))]; };
  double sumRatio = 0, sumOwn = 0;
  for (double r : ratio) sumRatio += r;
  for (double r : own) sumOwn += r;
  state.counters["accepted"] = accepted;
  state.counters["refused"] = refused;
  state.counters["rms/floor_median"] = at(0.5);
  state.counters["rms/floor_p90"] = at(0.9);
  state.counters["rms/floor_max"] = at(1.0);
  state.counters["rms/floor_mean"] = ratio.empty() ? 0 : sumRatio / static_cast<double>(ratio.size());
  state.counters["residual_mean"] = own.empty() ? 0 : sumOwn / static_cast<double>(own.size());
}
BENCHMARK(BM_FitOneSingularityResidual)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
