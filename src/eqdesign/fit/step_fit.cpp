#include "eqdesign/fit/step_fit.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <limits>
#include <vector>

#include "core/emulation.h"
#include "eqdesign/fit/fit_bounds.h"
#include "eqdesign/fit/fit_limits.h"
#include "eqdesign/fit/outside_range.h"

namespace zentor {

namespace {

constexpr double kTwoPi = 6.28318530717959;
constexpr double kDbPerNeper = 4.342944819032518;  // 10 / ln 10: dB of a power ratio
constexpr int32_t kFarSteps = 3;                   // steps either way one control is tried alone
constexpr int32_t kMaxRounds = 12;
// An added section must lower the deviation by more than this share of it.
constexpr double kAddedGain = 0.01;
constexpr int32_t kAddedPlaces = 3;  // where the residual stands out most

// One control's steps, rising, as the quantiser sets them.
struct Ladder {
  std::vector<float> v;

  int32_t Size() const { return static_cast<int32_t>(v.size()); }
  int32_t Nearest(float x) const {
    const auto it = std::lower_bound(v.begin(), v.end(), x);
    if (it == v.end()) return Size() - 1;
    if (it == v.begin()) return 0;
    const auto i = static_cast<int32_t>(it - v.begin());
    return x - v[static_cast<size_t>(i - 1)] <= v[static_cast<size_t>(i)] - x ? i - 1 : i;
  }
  // The steps either side of x (one when x is on a step or beyond the ends).
  void Bracket(float x, int32_t &lo, int32_t &hi) const {
    const auto it = std::lower_bound(v.begin(), v.end(), x);
    hi = std::min(static_cast<int32_t>(it - v.begin()), Size() - 1);
    lo = (it != v.end() && *it == x) || hi == 0 ? hi : hi - 1;
    if (it == v.end()) lo = hi;
  }
};

Ladder MakeLadder(std::span<const float> table, int32_t count, int32_t code, float low, float high) {
  Ladder l;
  count = std::clamp<int32_t>(count, 0, static_cast<int32_t>(table.size()));
  for (int32_t i = 0; i < count; ++i) {
    const float s = NearestStepValue(table[static_cast<size_t>(i)], table, static_cast<float>(count), code);
    if (s >= low && s <= high) l.v.push_back(s);
  }
  std::sort(l.v.begin(), l.v.end());
  l.v.erase(std::unique(l.v.begin(), l.v.end()), l.v.end());
  return l;
}

struct Step {
  int32_t F = 0, W = 0, L = 0;
};

// ln x for a positive finite x, to about 1e-11: the search tries thousands of
// entries on every point, and the library's logarithm would take most of its
// time. The set it settles on is judged with the library's own.
inline double QuickLn(double x) {
  constexpr double kLn2 = 0.6931471805599453, kSqrt2 = 1.4142135623730951;
  const auto bits = std::bit_cast<uint64_t>(x);
  double e = static_cast<double>(static_cast<int64_t>((bits >> 52) & 0x7ff) - 1023);
  double m = std::bit_cast<double>((bits & 0x000fffffffffffffULL) | 0x3ff0000000000000ULL);
  const bool high = m > kSqrt2;
  m = high ? 0.5 * m : m;
  e = high ? e + 1 : e;
  const double t = (m - 1) / (m + 1), u = t * t;
  const double series = 1 + u * (1.0 / 3 + u * (1.0 / 5 + u * (1.0 / 7 + u * (1.0 / 9 + u * (1.0 / 11 + u / 13)))));
  return e * kLn2 + 2 * t * series;
}

struct Entry {
  float Freq = 0, Q1 = 0, Q2 = 0, FitError = 0;
  Step At;
};

// The equaliser's centre, width and level steps, within the 20 dB the applied
// list allows and the boost limit.
class StepModel {
 public:
  // Centres only within lowHz..highHz: a step beyond the range corrects where nobody asked.
  StepModel(int32_t code, double maxBoostDb, double lowHz, double highHz) : code_(code), maxBoostDb_(maxBoostDb) {
    QuantizeEmulatedFrequency(code,
                              1000);  // makes the code's tables the current ones
    const float boostCap = maxBoostDb >= 0 ? HighestLevelWithin(code, maxBoostDb) : 20.0f;
    constexpr float kAny = std::numeric_limits<float>::max();
    const bool ranged = lowHz > 0 && highHz > lowHz;
    freq_ = MakeLadder(EmulationFreqSteps, EmulationFreqCount, code,
                       ranged ? static_cast<float>(kTwoPi * lowHz * (1 - 1e-6)) : -kAny,
                       ranged ? static_cast<float>(kTwoPi * highHz * (1 + 1e-6)) : kAny);
    width_ = MakeLadder(EmulationQSteps, EmulationQCount, code, 1e-6f, kAny);
    level_ = MakeLadder(EmulationLevelSteps, EmulationLevelCount, code, -20.0f, boostCap);
  }

  bool Usable() const { return freq_.Size() > 0 && width_.Size() > 0 && level_.Size() > 0; }

  // The entry at a step, as the applied list sets it; false off the ladders.
  bool Make(const Step &s, Entry &e) const {
    if (s.F < 0 || s.F >= freq_.Size() || s.W < 0 || s.W >= width_.Size() || s.L < 0 || s.L >= level_.Size())
      return false;
    const float w = width_.v[static_cast<size_t>(s.W)], width = code_ == 5 ? w : w / 60.0f;
    const float level = level_.v[static_cast<size_t>(s.L)];
    float q1 = ConvertEmulatedQ(width, level, code_);
    if (q1 == 0) return false;
    float q2 = std::fabs(q1 / std::pow(10.0f, std::fabs(level) * 0.05f));
    float f = freq_.v[static_cast<size_t>(s.F)];
    if (!SnapWithinLimits(code_, f, q1, q2, maxBoostDb_)) q2 = std::fabs(q1);
    e.Freq = f;
    e.Q1 = q1;
    e.Q2 = q2;
    e.At = s;
    return true;
  }

  // Where an entry lies on the three ladders, read as the quantiser reads it.
  void Place(float F, float Q1, float Q2, float &f, float &w, float &l) const {
    if (std::fabs(Q1) * 0.1f > Q2) Q2 = std::fabs(Q1) * 0.1f;
    f = F;
    const float bw = ConvertEmulatedBandwidth(Q1, Q2, code_);
    w = code_ == 5 ? bw : 60.0f * bw;
    const float g = 20.0f * std::log10(std::fabs(Q1 / Q2));
    l = Q1 < 0 ? g : -g;
  }

  // The steps bracketing a continuous entry, every combination.
  std::vector<Step> Brackets(float F, float Q1, float Q2) const {
    float f = 0, w = 0, l = 0;
    Place(F, Q1, Q2, f, w, l);
    int32_t f0 = 0, f1 = 0, w0 = 0, w1 = 0, l0 = 0, l1 = 0;
    freq_.Bracket(f, f0, f1);
    width_.Bracket(w, w0, w1);
    level_.Bracket(l, l0, l1);
    std::vector<Step> out;
    for (const int32_t a : {f0, f1})
      for (const int32_t b : {w0, w1})
        for (const int32_t c : {l0, l1}) out.push_back({a, b, c});
    return out;
  }

  Step Nearest(float F, float widthValue, float levelDb) const {
    return {freq_.Nearest(F), width_.Nearest(widthValue), level_.Nearest(levelDb)};
  }
  int32_t Widths() const { return width_.Size(); }

 private:
  int32_t code_;
  double maxBoostDb_;
  Ladder freq_, width_, level_;
};

// The judged deviation of the curve corrected by a set of entries, each
// entry's correction in dB kept so that trying another value for one entry
// costs one pass over the points.
class SetScore {
 public:
  SetScore(std::span<const float> f, std::span<const float> dB, double low, double high, bool anchored,
           double maxBoostDb = -1, int32_t rateHz = 0)
      : anchored_(anchored), maxBoostDb_(maxBoostDb) {
    Load(f, dB, low, high);
    inside_ = base_.size();
    // With a limit, the change beyond the range is watched at points of no
    // weight: past kOutsideRangeDb it costs as a boost past the limit does.
    if (maxBoostDb >= 0)
      for (const double hz : OutsideRangeHz(low, high, rateHz)) {
        hz_.push_back(hz);
        omega_.push_back(kTwoPi * hz);
        w_.push_back(0);
        t_.push_back(0);
        base_.push_back(0);
      }
    scratch_.resize(base_.size());
  }

  size_t Points() const { return inside_; }

 private:
  void Load(std::span<const float> f, std::span<const float> dB, double low, double high) {
    const size_t n = std::min(f.size(), dB.size());
    for (size_t i = 0; i < n; ++i) {
      if (!(f[i] >= low && f[i] <= high && f[i] > 0)) continue;
      // As the judged deviation weighs them: half the log gap to either
      // neighbour.
      const double lo = std::log(f[i > 0 ? i - 1 : i]), hi = std::log(f[i + 1 < n ? i + 1 : i]);
      const double w = 0.5 * (hi - lo), t = std::log(f[i] / 100.0);
      hz_.push_back(f[i]);
      omega_.push_back(kTwoPi * f[i]);
      w_.push_back(w);
      t_.push_back(t);
      base_.push_back(dB[i]);
      sw_ += w;
      st_ += w * t;
      stt_ += w * t * t;
    }
  }

 public:
  double Hz(size_t i) const { return hz_[i]; }

  void Set(const std::vector<Entry> &entries) {
    parts_.assign(entries.size(), std::vector<double>(base_.size()));
    total_ = base_;
    for (size_t k = 0; k < entries.size(); ++k) {
      Correction(entries[k], parts_[k]);
      for (size_t i = 0; i < total_.size(); ++i) total_[i] += parts_[k][i];
    }
  }
  double Rms() const {
    return RmsOf([&](size_t i) { return total_[i]; });
  }
  // With entry k replaced by e (k past the end: e added); `scratch` holds e's
  // correction.
  double RmsWith(size_t k, const Entry &e, std::vector<double> &scratch) const {
    scratch.resize(base_.size());
    Correction(e, scratch);
    if (k >= parts_.size()) return RmsOf([&](size_t i) { return total_[i] + scratch[i]; });
    const std::vector<double> &old = parts_[k];
    return RmsOf([&](size_t i) { return total_[i] - old[i] + scratch[i]; });
  }
  double RmsWith(size_t k, const Entry &e) { return RmsWith(k, e, scratch_); }
  // With entries j and k (j != k, both in the set) replaced by entries whose
  // corrections are a and b.
  double RmsWith(size_t j, const std::vector<double> &a, size_t k, const std::vector<double> &b) const {
    const std::vector<double> &oj = parts_[j], &ok = parts_[k];
    return RmsOf([&](size_t i) { return total_[i] - oj[i] - ok[i] + a[i] + b[i]; });
  }
  std::vector<double> CorrectionOf(const Entry &e) const {
    std::vector<double> out(base_.size());
    Correction(e, out);
    return out;
  }
  void Replace(size_t k, const Entry &e) {
    if (k >= parts_.size()) {
      parts_.emplace_back(base_.size(), 0.0);
      k = parts_.size() - 1;
    }
    Correction(e, scratch_);
    for (size_t i = 0; i < total_.size(); ++i) {
      total_[i] += scratch_[i] - parts_[k][i];
      parts_[k][i] = scratch_[i];
    }
  }
  // The corrected levels less the judged baseline (the best line, or 0 dB with
  // a target).
  std::vector<double> Residual() const {
    double a = 0, b = 0;
    if (!anchored_) Line([&](size_t i) { return total_[i]; }, a, b);
    std::vector<double> r(inside_);
    for (size_t i = 0; i < r.size(); ++i) r[i] = total_[i] - a - b * t_[i];
    return r;
  }

 private:
  // dB the entry adds when divided out of the curve, as CorrectedResponseDb
  // does.
  void Correction(const Entry &e, std::vector<double> &out) const {
    const double q1 = std::fabs(e.Q1), q2 = e.Q2;
    if (!(q1 > 0 && q2 > 0) || q1 == q2) {
      std::fill(out.begin(), out.end(), 0.0);
      return;
    }
    const double zeroQ = e.Q1 > 0 ? q1 : q2, poleQ = e.Q1 > 0 ? q2 : q1, w0 = e.Freq;
    const double bz = w0 / zeroQ, bp = w0 / poleQ;
    for (size_t i = 0; i < out.size(); ++i) {
      const double w = omega_[i], a = (w0 - w) * (w0 + w), a2 = a * a, z = bz * w, p = bp * w;
      out[i] = kDbPerNeper * QuickLn((a2 + z * z) / (a2 + p * p));
    }
  }
  template <typename Level>
  void Line(const Level &y, double &a, double &b) const {
    double sy = 0, sty = 0;
    for (size_t i = 0; i < base_.size(); ++i) {
      sy += w_[i] * y(i);
      sty += w_[i] * t_[i] * y(i);
    }
    const double ct = stt_ - st_ * st_ / sw_;
    b = ct > 0 ? (sty - st_ * sy / sw_) / ct : 0;
    a = sw_ > 0 ? (sy - b * st_) / sw_ : 0;
  }
  template <typename Level>
  double RmsOf(const Level &y) const {
    if (!(sw_ > 0)) return 0;
    double sy = 0, sty = 0, syy = 0, boost = 0, outside = 0;
    for (size_t i = 0; i < base_.size(); ++i) {
      const double v = y(i), wv = w_[i] * v;
      sy += wv;
      sty += wv * t_[i];
      syy += wv * v;
      boost = std::max(boost, v - base_[i]);
      if (i >= inside_) outside = std::max(outside, std::fabs(v));
    }
    // A set boosting past the limit loses to any that keeps it, and the less
    // it exceeds the better, so a move back within the limit always pays.
    double penalty = maxBoostDb_ >= 0 && boost > maxBoostDb_ ? 100 * (1 + boost - maxBoostDb_) : 0;
    if (outside > kOutsideRangeDb) penalty += 100 * (1 + outside - kOutsideRangeDb);
    if (anchored_) return std::sqrt(std::max(0.0, syy / sw_)) + penalty;
    const double ct = stt_ - st_ * st_ / sw_, cy = syy - sy * sy / sw_, cty = sty - st_ * sy / sw_;
    const double rss = ct > 0 ? cy - cty * cty / ct : cy;
    return std::sqrt(std::max(0.0, rss / sw_)) + penalty;
  }

  bool anchored_;
  double maxBoostDb_;
  size_t inside_ = 0;  // the points of the range; those after it lie outside
  std::vector<double> hz_, omega_, w_, t_, base_, total_, scratch_;
  std::vector<std::vector<double>> parts_;
  double sw_ = 0, st_ = 0, stt_ = 0;
};

// job(item, slot) for every item, on the pool's threads when there are
// several; jobs write only their own results, so the outcome does not depend
// on the thread count. A stop asked for meanwhile is seen after the batch.
void RunEach(FitPool *pool, int32_t count, const std::function<void(int32_t, int32_t)> &job) {
  if (pool != nullptr && pool->Threads() > 1 && count > 1) {
    PollClock clock;
    pool->Run(count, job, {}, std::chrono::microseconds(0), clock);
  } else {
    for (int32_t i = 0; i < count; ++i) job(i, 0);
  }
}

// The deviation with entry k replaced by each candidate (k past the end:
// added).
std::vector<double> TryEach(const SetScore &score, size_t k, const std::vector<Entry> &candidates, FitPool *pool) {
  std::vector<double> rms(candidates.size());
  std::vector<std::vector<double>> scratch(static_cast<size_t>(pool != nullptr ? pool->Threads() : 1));
  RunEach(pool, static_cast<int32_t>(candidates.size()), [&](int32_t i, int32_t slot) {
    rms[static_cast<size_t>(i)] =
        score.RmsWith(k, candidates[static_cast<size_t>(i)], scratch[static_cast<size_t>(slot)]);
  });
  return rms;
}

// The first candidate lowest of all and below `bound`, or none.
int32_t Lowest(const std::vector<double> &rms, double bound) {
  int32_t best = -1;
  for (size_t i = 0; i < rms.size(); ++i)
    if (rms[i] < bound && (best < 0 || rms[i] < rms[static_cast<size_t>(best)])) best = static_cast<int32_t>(i);
  return best;
}

double LevelDb(float Q1, float Q2) { return 20.0 * std::log10(std::fabs(Q1) / Q2); }

void Store(const std::vector<Entry> &entries, SingularityListRecord &to) {
  to.Freq.fill(0);
  to.Q1.fill(0);
  to.Q2.fill(0);
  to.FitError.fill(0);
  to.Count = 0;
  for (const Entry &e : entries) {
    if (to.Count >= kMaxFilters) break;
    const auto k = static_cast<size_t>(to.Count++);
    to.Freq[k] = e.Freq;
    to.Q1[k] = e.Q1;
    to.Q2[k] = e.Q2;
    to.FitError[k] = e.FitError;
  }
}

Entry EntryOf(const SingularityListRecord &s, int32_t i) {
  const auto k = static_cast<size_t>(i);
  return {s.Freq[k], s.Q1[k], s.Q2[k], s.FitError[k], {}};
}

void RemoveAt(SingularityListRecord &s, int32_t i) {
  std::vector<Entry> kept;
  for (int32_t j = 0; j < std::clamp<int32_t>(s.Count, 0, kMaxFilters); ++j)
    if (j != i) kept.push_back(EntryOf(s, j));
  Store(kept, s);
}

// Two entries whose bands overlap: moving one changes what suits the other.
bool Overlap(const Entry &a, const Entry &b) {
  const auto band = [](const Entry &e) { return e.Freq / std::sqrt(std::fabs(e.Q1) * e.Q2); };
  return std::fabs(a.Freq - b.Freq) < 3 * std::max(band(a), band(b));
}

// The entries snapped one at a time, strongest first: each takes the
// bracketing step that leaves the set's deviation least with the entries not
// yet snapped as they are, then those are refitted about it.
bool SnapOneAtATime(const SingularityListRecord &set, const StepFitInput &in, const StepModel &model, SetScore &score,
                    std::vector<Entry> &fixed) {
  SingularityListRecord free = set, held = set;
  held.Count = 0;
  while (free.Count > 0) {
    if (in.Stopped && in.Stopped()) return false;
    int32_t k = 0;
    for (int32_t i = 1; i < free.Count; ++i)
      if (std::fabs(LevelDb(free.Q1[static_cast<size_t>(i)], free.Q2[static_cast<size_t>(i)])) >
          std::fabs(LevelDb(free.Q1[static_cast<size_t>(k)], free.Q2[static_cast<size_t>(k)])))
        k = i;
    std::vector<Entry> all = fixed;
    for (int32_t i = 0; i < free.Count; ++i) all.push_back(EntryOf(free, i));
    score.Set(all);
    const size_t at = fixed.size() + static_cast<size_t>(k);
    const Entry &e = all[at];
    Entry best;
    double bestRms = std::numeric_limits<double>::infinity();
    for (const Step &s : model.Brackets(e.Freq, e.Q1, e.Q2)) {
      Entry c;
      if (!model.Make(s, c)) continue;
      const double r = score.RmsWith(at, c);
      if (r < bestRms) {
        bestRms = r;
        best = c;
      }
    }
    RemoveAt(free, k);
    const bool snapped = std::isfinite(bestRms);
    if (snapped) {
      best.FitError = e.FitError;
      fixed.push_back(best);
    }
    if (free.Count <= 0 || !in.Refine) continue;
    // Only the entries whose ground the snap moved are refitted; the others
    // keep the place the continuous fit gave them, held with the snapped ones.
    std::vector<Entry> moved, kept;
    for (int32_t i = 0; i < free.Count; ++i) {
      const Entry f = EntryOf(free, i);
      (Overlap(f, e) || (snapped && Overlap(f, best)) ? moved : kept).push_back(f);
    }
    if (moved.empty()) continue;
    std::vector<Entry> others = fixed;
    others.insert(others.end(), kept.begin(), kept.end());
    Store(others, held);
    Store(moved, free);
    in.Refine(free, held);
    for (int32_t i = 0; i < free.Count; ++i) kept.insert(kept.begin() + i, EntryOf(free, i));
    Store(kept, free);
  }
  return true;
}

// Each entry in turn moves to the neighbouring step (up to one of every
// control together, or up to kFarSteps of one alone) that lowers the
// deviation most, round after round while any does. An entry is tried again
// only once an entry overlapping it has moved; `fresh` marks those to try first
// (all when empty).
bool SearchNeighbours(std::vector<Entry> &entries, const StepFitInput &in, const StepModel &model, SetScore &score,
                      std::vector<bool> fresh = {}) {
  score.Set(entries);
  double now = score.Rms();
  std::vector<Step> moves;
  for (int32_t a = -1; a <= 1; ++a)
    for (int32_t b = -1; b <= 1; ++b)
      for (int32_t c = -1; c <= 1; ++c)
        if (a != 0 || b != 0 || c != 0) moves.push_back({a, b, c});
  for (int32_t d = 2; d <= kFarSteps; ++d)
    for (const int32_t s : {-d, d}) {
      moves.push_back({s, 0, 0});
      moves.push_back({0, s, 0});
      moves.push_back({0, 0, s});
      // A level a step off is made up for by a width some steps off.
      moves.push_back({0, s, 1});
      moves.push_back({0, s, -1});
    }
  std::vector<bool> due = fresh.size() == entries.size() ? fresh : std::vector<bool>(entries.size(), true);
  for (int32_t round = 0; round < kMaxRounds; ++round) {
    bool moved = false;
    for (size_t k = 0; k < entries.size(); ++k) {
      if (!due[k]) continue;
      due[k] = false;
      if (in.Stopped && in.Stopped()) return false;
      const Step at = entries[k].At;
      std::vector<Entry> candidates;
      for (const Step &m : moves) {
        Entry c;
        if (model.Make({at.F + m.F, at.W + m.W, at.L + m.L}, c)) candidates.push_back(c);
      }
      const std::vector<double> rms = TryEach(score, k, candidates, in.Pool);
      const int32_t chosen = Lowest(rms, now * (1 - 1e-9));
      if (chosen >= 0) {
        Entry best = candidates[static_cast<size_t>(chosen)];
        const double bestRms = rms[static_cast<size_t>(chosen)];
        best.FitError = entries[k].FitError;
        const Entry was = entries[k];
        entries[k] = best;
        score.Replace(k, best);
        now = bestRms;
        moved = true;
        for (size_t j = 0; j < entries.size(); ++j)
          due[j] = due[j] || j == k || Overlap(entries[j], was) || Overlap(entries[j], best);
      }
    }
    if (!moved) break;
  }
  return true;
}

// The refits a loop asks for one at a time, item by item, each against the
// entries as they stand when the loop reaches it. They are run ahead on the
// pool's threads against the entries as they stand now; a change to the
// entries spoils those not reached yet, which are run again when asked for.
// So the loop's outcome is the same for any number of threads.
class RefitAhead {
 public:
  using Refit = std::function<SingularityListRecord(size_t item)>;
  RefitAhead(size_t items, Refit refit, FitPool *pool)
      : refit_(std::move(refit)), pool_(pool), done_(items), made_(items, false) {}

  const SingularityListRecord &At(size_t item) {
    if (!made_[item]) {
      // On one thread a refit run ahead may be spoiled before it is asked for.
      const bool alone = pool_ == nullptr || pool_->Threads() <= 1;
      std::vector<size_t> ahead;
      for (size_t i = item; i < (alone ? item + 1 : done_.size()); ++i) ahead.push_back(i);
      RunEach(pool_, static_cast<int32_t>(ahead.size()), [&](int32_t a, int32_t) {
        done_[ahead[static_cast<size_t>(a)]] = refit_(ahead[static_cast<size_t>(a)]);
      });
      for (const size_t i : ahead) made_[i] = true;
    }
    return done_[item];
  }
  void Spoil() { std::fill(made_.begin(), made_.end(), false); }

 private:
  Refit refit_;
  FitPool *pool_;
  std::vector<SingularityListRecord> done_;
  std::vector<bool> made_;
};

// Each entry, strongest first, refitted continuously with the others held on
// their steps and snapped again to the best step about where it settles: the
// neighbour search cannot leave a basin that this finds.
bool SnapEachAgain(std::vector<Entry> &entries, const SingularityListRecord &header, const StepFitInput &in,
                   const StepModel &model, SetScore &score, std::vector<bool> only = {}) {
  if (!in.Refine) return true;
  if (only.size() != entries.size()) only.assign(entries.size(), true);
  std::vector<size_t> order;
  for (size_t k = 0; k < entries.size(); ++k)
    if (only[k]) order.push_back(k);
  // Ties keep their order; no temporary buffer, which a stable sort may take.
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const double la = std::fabs(LevelDb(entries[a].Q1, entries[a].Q2));
    const double lb = std::fabs(LevelDb(entries[b].Q1, entries[b].Q2));
    return la > lb || (la == lb && a < b);
  });
  // The entries in `moved` refitted with all the others held.
  const auto refit = [&](std::initializer_list<size_t> moved) {
    SingularityListRecord free = header, held = header;
    std::vector<Entry> others, mine;
    for (size_t i = 0; i < entries.size(); ++i)
      (std::find(moved.begin(), moved.end(), i) != moved.end() ? mine : others).push_back(entries[i]);
    Store(others, held);
    Store(mine, free);
    in.Refine(free, held);
    return free;
  };
  std::vector<bool> changed(entries.size(), false);
  score.Set(entries);
  double now = score.Rms();
  RefitAhead singles(
      order.size(), [&](size_t i) { return refit({order[i]}); }, in.Pool);
  for (size_t i = 0; i < order.size(); ++i) {
    if (in.Stopped && in.Stopped()) return false;
    const size_t k = order[i];
    const SingularityListRecord &free = singles.At(i);
    if (free.Count != 1) continue;
    for (const Step &s : model.Brackets(free.Freq[0], free.Q1[0], free.Q2[0])) {
      Entry c;
      if (!model.Make(s, c)) continue;
      const double r = score.RmsWith(k, c);
      if (r < now * (1 - 1e-9)) {
        c.FitError = entries[k].FitError;
        entries[k] = c;
        score.Replace(k, c);
        now = r;
        changed[k] = true;
        singles.Spoil();
      }
    }
  }
  // Overlapping pairs likewise, together: one step of either alone may not
  // pay where a step of both does. The pairs are refitted side by side about
  // the set as the single entries left it; each is then judged on the set as it
  // stands.
  std::vector<std::pair<size_t, size_t>> pairs;
  for (size_t j = 0; j < entries.size(); ++j)
    for (size_t k = j + 1; k < entries.size(); ++k)
      if ((only[j] || only[k]) && Overlap(entries[j], entries[k])) pairs.emplace_back(j, k);
  if (in.Stopped && in.Stopped()) return false;
  // Each pair's steps about where it settles, with their corrections.
  struct Near {
    std::vector<Entry> at[2];
    std::vector<std::vector<double>> part[2];
    float fitError[2] = {0, 0};
  };
  std::vector<Near> nears(pairs.size());
  RunEach(in.Pool, static_cast<int32_t>(pairs.size()), [&](int32_t p, int32_t) {
    const SingularityListRecord free =
        refit({pairs[static_cast<size_t>(p)].first, pairs[static_cast<size_t>(p)].second});
    if (free.Count != 2) return;
    // The refit keeps the entries' order.
    Near &n = nears[static_cast<size_t>(p)];
    for (int32_t e = 0; e < 2; ++e) {
      n.fitError[e] = free.FitError[static_cast<size_t>(e)];
      for (const Step &s : model.Brackets(free.Freq[e], free.Q1[e], free.Q2[e])) {
        Entry c;
        if (!model.Make(s, c)) continue;
        n.at[e].push_back(c);
        n.part[e].push_back(score.CorrectionOf(c));
      }
    }
  });
  for (size_t p = 0; p < pairs.size(); ++p) {
    const auto [j, k] = pairs[p];
    const Near &n = nears[p];
    for (size_t a = 0; a < n.at[0].size(); ++a)
      for (size_t b = 0; b < n.at[1].size(); ++b) {
        const double r = score.RmsWith(j, n.part[0][a], k, n.part[1][b]);
        if (!(r < now * (1 - 1e-9))) continue;
        entries[j] = n.at[0][a];
        entries[k] = n.at[1][b];
        entries[j].FitError = n.fitError[0];
        entries[k].FitError = n.fitError[1];
        score.Replace(j, n.at[0][a]);
        score.Replace(k, n.at[1][b]);
        now = r;
        changed[j] = changed[k] = true;
      }
  }
  std::vector<bool> fresh(entries.size(), false);
  for (size_t j = 0; j < entries.size(); ++j)
    for (size_t k = 0; k < entries.size(); ++k) fresh[j] = fresh[j] || (changed[k] && Overlap(entries[j], entries[k]));
  return SearchNeighbours(entries, in, model, score, fresh);
}

// One more section where the residual stands out most, when it pays clearly
// and its level stands out of the noise.
bool AddSection(std::vector<Entry> &entries, const SingularityListRecord &header, const StepFitInput &in,
                const StepModel &model, SetScore &score) {
  score.Set(entries);
  const double now = score.Rms();
  const std::vector<double> r = score.Residual();
  const size_t n = r.size();
  if (n < 8) return true;
  // A few points' mean, so that one noisy point does not place it.
  std::vector<double> smooth(n);
  for (size_t i = 0; i < n; ++i) {
    const size_t a = i >= 3 ? i - 3 : 0, b = std::min(n - 1, i + 3);
    double s = 0;
    for (size_t j = a; j <= b; ++j) s += r[j];
    smooth[i] = s / static_cast<double>(b - a + 1);
  }
  std::vector<size_t> places;
  for (int32_t p = 0; p < kAddedPlaces; ++p) {
    size_t best = n;
    for (size_t i = 0; i < n; ++i) {
      bool near = false;
      for (const size_t q : places) near = near || std::fabs(std::log(score.Hz(i) / score.Hz(q))) < std::log(1.1);
      if (!near && (best == n || std::fabs(smooth[i]) > std::fabs(smooth[best]))) best = i;
    }
    if (best == n) break;
    places.push_back(best);
  }
  const FitBounds bounds = MakeFitBounds(in.Code, in.NoiseDb, in.Judging.MaxBoostDb);
  // Each place is tried on its own, side by side (the trials share nothing
  // and none polls); then the neighbour search takes them best first, and the
  // first that pays clearly is kept.
  struct Trial {
    std::vector<Entry> set;
    double rms = std::numeric_limits<double>::infinity();
  };
  std::vector<Trial> trials(places.size());
  RunEach(in.Pool, static_cast<int32_t>(places.size()), [&](int32_t t, int32_t) {
    SetScore mine = score;
    const size_t p = places[static_cast<size_t>(t)];
    // The best width at the place, refitted continuously about the others
    // and snapped again.
    const Step at = model.Nearest(static_cast<float>(kTwoPi * mine.Hz(p)), 0, static_cast<float>(-smooth[p]));
    std::vector<Entry> candidates;
    for (int32_t w = 0; w < model.Widths(); ++w) {
      Entry c;
      if (model.Make({at.F, w, at.L}, c)) candidates.push_back(c);
    }
    std::vector<double> rms = TryEach(mine, entries.size(), candidates, nullptr);
    const int32_t chosen = Lowest(rms, now);
    if (chosen < 0) return;
    Entry first = candidates[static_cast<size_t>(chosen)];
    double firstRms = rms[static_cast<size_t>(chosen)];
    if (in.Refine) {
      SingularityListRecord free = header, held = header;
      Store(entries, held);
      Store({first}, free);
      in.Refine(free, held);
      if (free.Count == 1) {
        candidates.clear();
        for (const Step &s : model.Brackets(free.Freq[0], free.Q1[0], free.Q2[0])) {
          Entry c;
          if (model.Make(s, c)) candidates.push_back(c);
        }
        rms = TryEach(mine, entries.size(), candidates, nullptr);
        const int32_t snapped = Lowest(rms, firstRms);
        if (snapped >= 0) {
          first = candidates[static_cast<size_t>(snapped)];
          firstRms = rms[static_cast<size_t>(snapped)];
        }
      }
    }
    Trial &trial = trials[static_cast<size_t>(t)];
    trial.set = entries;
    trial.set.push_back(first);
    trial.rms = firstRms;
  });
  std::vector<size_t> byRms;
  for (size_t t = 0; t < trials.size(); ++t)
    if (!trials[t].set.empty()) byRms.push_back(t);
  std::sort(byRms.begin(), byRms.end(), [&](size_t a, size_t b) {
    return trials[a].rms < trials[b].rms || (trials[a].rms == trials[b].rms && a < b);
  });
  std::vector<Entry> bestSet;
  for (const size_t t : byRms) {
    std::vector<Entry> &trial = trials[t].set;
    const Entry &first = trial.back();
    std::vector<bool> fresh(trial.size(), false);
    for (size_t j = 0; j < trial.size(); ++j) fresh[j] = Overlap(trial[j], first);
    if (!SearchNeighbours(trial, in, model, score, fresh)) return false;
    const Entry &added = trial.back();
    if (score.Rms() < now * (1 - kAddedGain) && LevelAboveNoise(LevelDb(added.Q1, added.Q2), bounds)) {
      bestSet = trial;
      break;
    }
  }
  if (bestSet.empty()) return true;
  entries = bestSet;
  // Only the added section and the entries it overlaps have new ground.
  std::vector<bool> near(entries.size(), false);
  for (size_t j = 0; j < entries.size(); ++j) near[j] = Overlap(entries[j], entries.back());
  return SnapEachAgain(entries, header, in, model, score, near);
}

// The set as the applied list leaves it when it snaps it again: its fixed
// point.
SingularityListRecord Settled(SingularityListRecord s, int32_t code, double maxBoostDb) {
  for (int32_t i = 0; i < 4; ++i) {
    const SingularityListRecord again = SnapSetToEqualiser(s, code, maxBoostDb);
    if (again.Freq == s.Freq && again.Q1 == s.Q1 && again.Q2 == s.Q2) break;
    s = again;
  }
  return s;
}

}  // namespace

bool FitSetOnSteps(SingularityListRecord &set, const StepFitInput &in) {
  const double maxBoost = in.Judging.MaxBoostDb;
  const SingularityListRecord alone = Settled(SnapSetToEqualiser(set, in.Code, maxBoost), in.Code, maxBoost);
  const double low = set.RangeLow, high = set.RangeHigh;
  const StepModel model(in.Code, maxBoost, low, high);
  if (!model.Usable() || set.Count <= 0) {
    set = alone;
    return true;
  }
  SetScore score(in.Freqs, in.Db, low, high, in.Judging.Anchored, in.Judging.MaxBoostDb, set.SampleRate);
  std::vector<Entry> entries;
  bool finished = SnapOneAtATime(set, in, model, score, entries);
  finished = finished && SearchNeighbours(entries, in, model, score);
  finished = finished && SnapEachAgain(entries, set, in, model, score);
  const int32_t room = std::min(in.MaxEntries, kMaxFilters);
  if (finished && static_cast<int32_t>(entries.size()) < room) finished = AddSection(entries, set, in, model, score);
  if (!finished) {
    set = alone;
    return false;
  }
  SingularityListRecord stepped = set;
  Store(entries, stepped);
  stepped = Settled(stepped, in.Code, maxBoost);
  // Judged as the fit judges every set, over the range and its neighbours.
  const auto judged = [&](const SingularityListRecord &s) {
    return JudgedRmsDb(in.Freqs, CorrectedResponseDb(in.Freqs, in.Db, s), low, high, in.Judging);
  };
  const double uncorrected = JudgedRmsDb(in.Freqs, in.Db, low, high, in.Judging);
  const double mine = judged(stepped);
  set = mine < judged(alone) && mine <= uncorrected ? stepped : alone;
  return true;
}

}  // namespace zentor
