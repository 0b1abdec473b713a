#include "core/set_peak.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/filter_design.h"

namespace zentor {

namespace {

constexpr double kLn2 = std::numbers::ln2;
// The whole-range grid, in ln frequency: fine against every section wider
// than eight of its steps; a narrower one gets a grid of its own.
constexpr double kCoarseStep = kLn2 / 32;
constexpr double kFinePerWidth = 8, kFineWidths = 2;
// A sampled top this far below the highest may still be the highest between
// the points (a grid of eight points a width misses at most 0.07 dB of a 20 dB top).
constexpr double kTopMarginDb = 0.5;
constexpr double kRefinedWidth = 1e-7;
// Just below half the rate, where the pre-warped axis ends.
constexpr double kTopOfBand = 0.5 * (1 - 1e-6);

}  // namespace

SetLevel::SetLevel(int32_t fs) : fs_(fs > 0 ? fs : kJudgedRateDefault) {}

bool SetLevel::Add(double w, float Q1, float Q2, int32_t code) {
  const double q1 = std::fabs(static_cast<double>(Q1)), q2 = Q2;
  if (!(q1 > 0) || !(q2 > 0) || !std::isfinite(q1) || !std::isfinite(q2) || q1 == q2 || !(w > 0) ||
      !(w < std::numbers::pi * fs_))
    return false;
  // As the program runs it: a code without a rule of its own keeps its Q.
  const auto adapt = [&](double q) {
    const double a = AdaptEmulationQ(static_cast<float>(q), static_cast<float>(w), code, fs_);
    return a > 0 && std::isfinite(a) ? a : q;
  };
  const double a = adapt(q1), b = adapt(q2);
  const double zeroQ = Q1 > 0 ? a : b, poleQ = Q1 > 0 ? b : a;
  const double centre = PrewarpFrequency(w, fs_);
  if (!(centre > 0) || !std::isfinite(centre)) return false;
  Section s;
  s.w2 = centre * centre;
  s.z2 = s.w2 / (zeroQ * zeroQ);
  s.p2 = s.w2 / (poleQ * poleQ);
  s.lnW = std::log(centre);
  s.width = 1 / std::max(zeroQ, poleQ);
  sections_.push_back(s);
  boosts_ = boosts_ || poleQ > zeroQ;
  return true;
}

double SetLevel::Omega(double hz) const { return 2.0 * fs_ * std::tan(std::numbers::pi * hz / fs_); }

double SetLevel::Hz(double lnOmega) const {
  return fs_ / std::numbers::pi * std::atan(std::exp(lnOmega) / (2.0 * fs_));
}

double SetLevel::SectionPower(const Section& s, double omega2) {
  const double a = s.w2 - omega2, a2 = a * a;
  return (a2 + s.z2 * omega2) / (a2 + s.p2 * omega2);
}

double SetLevel::PowerAt(double omega2) const {
  double power = 1;
  for (const Section& s : sections_) power *= SectionPower(s, omega2);
  return power;
}

double SetLevel::LevelDb(double hz) const {
  const double o = Omega(hz);
  return 10 * std::log10(PowerAt(o * o));
}

double SetLevel::SectionDb(size_t i, double hz) const {
  if (i >= sections_.size()) return 0;
  const double o = Omega(hz);
  return 10 * std::log10(SectionPower(sections_[i], o * o));
}

PeakLevel SetLevel::Peak() const {
  // Only a boost lifts the product above 0 dB.
  if (!boosts_) return {};
  const double lowHz = std::min(kLowestShownHz, 0.25 * fs_);
  const double domainLo = std::log(Omega(lowHz)), domainHi = std::log(Omega(kTopOfBand * fs_));
  // Far beyond every section the product only falls back to 0 dB.
  double lo = domainHi, hi = domainLo;
  for (const Section& s : sections_) {
    const double reach = 4 * kLn2 + 3 * std::sqrt(s.p2 > s.z2 ? s.p2 / s.w2 : s.z2 / s.w2);
    lo = std::min(lo, s.lnW - reach);
    hi = std::max(hi, s.lnW + reach);
  }
  lo = std::max(lo, domainLo);
  hi = std::min(hi, domainHi);
  if (!(hi > lo)) return {};

  // Power at u = ln Ω; dB only where compared.
  const auto at = [&](double u) {
    const double o = std::exp(u);
    return PowerAt(o * o);
  };
  double bestPower = 0, bestU = lo;
  std::vector<double> u, p;
  struct Top {
    double a, b, u, p;
  };
  std::vector<Top> tops;
  const auto scan = [&](double from, double to, double step) {
    from = std::max(from, lo);
    to = std::min(to, hi);
    if (!(to > from)) return;
    const auto n = static_cast<size_t>(std::ceil((to - from) / step)) + 1;
    const double h = (to - from) / static_cast<double>(n - 1);
    u.resize(n);
    p.resize(n);
    for (size_t i = 0; i < n; ++i) {
      u[i] = from + h * static_cast<double>(i);
      p[i] = at(u[i]);
      if (p[i] > bestPower) bestPower = p[i], bestU = u[i];
    }
    for (size_t i = 0; i < n; ++i)
      if ((i == 0 || p[i] >= p[i - 1]) && (i + 1 == n || p[i] >= p[i + 1]))
        tops.push_back({u[i > 0 ? i - 1 : i], u[i + 1 < n ? i + 1 : i], u[i], p[i]});
  };
  scan(lo, hi, kCoarseStep);
  for (const Section& s : sections_)
    if (s.width < kFinePerWidth * kCoarseStep)
      scan(s.lnW - kFineWidths * s.width, s.lnW + kFineWidths * s.width, s.width / kFinePerWidth);

  // Each top near the highest refined by golden section between its neighbours.
  const double margin = std::pow(10.0, -kTopMarginDb / 10);
  constexpr double kGolden = 0.6180339887498949;
  for (const Top& t : tops) {
    if (!(t.p > bestPower * margin) || !(t.b > t.a)) continue;
    double a = t.a, b = t.b;
    double x1 = b - kGolden * (b - a), x2 = a + kGolden * (b - a);
    double f1 = at(x1), f2 = at(x2);
    while (b - a > kRefinedWidth) {
      if (f1 < f2) {
        a = x1, x1 = x2, f1 = f2, x2 = a + kGolden * (b - a), f2 = at(x2);
      } else {
        b = x2, x2 = x1, f2 = f1, x1 = b - kGolden * (b - a), f1 = at(x1);
      }
    }
    if (f1 > bestPower) bestPower = f1, bestU = x1;
    if (f2 > bestPower) bestPower = f2, bestU = x2;
  }
  const double db = 10 * std::log10(bestPower);
  if (!(db > 0)) return {};
  return {db, Hz(bestU)};
}

SetLevel AppliedSetLevel(std::span<const FilterRecord> applied, int32_t fs) {
  SetLevel level(fs);
  const int32_t count = applied.empty() ? 0 : std::clamp<int32_t>(applied[0].Count, 0, static_cast<int32_t>(applied.size()));
  for (int32_t i = 0; i < count; ++i) level.Add(applied[static_cast<size_t>(i)]);
  return level;
}

}  // namespace zentor
