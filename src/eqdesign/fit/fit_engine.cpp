#include "eqdesign/fit/fit_engine.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "eqdesign/filter_sets.h"
#include "eqdesign/fit/fit_bounds.h"

namespace zentor {

FitPool::FitPool(int32_t threads) {
  for (int32_t slot = 1; slot < std::max(threads, 1); ++slot) workers_.emplace_back([this, slot] { Work(slot); });
}

FitPool::~FitPool() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : workers_) t.join();
}

void FitPool::Drain(int32_t slot) {
  for (int32_t item = next_.fetch_add(1); item < count_; item = next_.fetch_add(1)) (*job_)(item, slot);
}

void FitPool::Work(int32_t slot) {
  uint64_t seen = 0;
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return quit_ || generation_ != seen; });
    if (quit_) return;
    seen = generation_;
    lock.unlock();
    Drain(slot);
    lock.lock();
    if (--busy_ == 0) finished_.notify_all();
  }
}

void FitPool::Run(int32_t count, const std::function<void(int32_t, int32_t)>& job,
                  const std::function<void()>& poll, std::chrono::microseconds every, PollClock& clock) {
  const auto maybePoll = [&] {
    if (poll && clock.Due(every)) poll();
  };
  if (count <= 0) return;
  if (workers_.empty()) {
    for (int32_t item = 0; item < count; ++item) {
      job(item, 0);
      maybePoll();
    }
    return;
  }
  {
    std::lock_guard lock(mutex_);
    job_ = &job;
    count_ = count;
    next_.store(0);
    busy_ = static_cast<int32_t>(workers_.size());
    ++generation_;
  }
  wake_.notify_all();
  for (int32_t item = next_.fetch_add(1); item < count; item = next_.fetch_add(1)) {
    job(item, 0);
    maybePoll();
  }
  const auto wait = std::max<std::chrono::microseconds>(every, std::chrono::microseconds(1000));
  std::unique_lock lock(mutex_);
  while (busy_ > 0) {
    finished_.wait_for(lock, wait, [&] { return busy_ == 0; });
    lock.unlock();
    maybePoll();
    lock.lock();
  }
  job_ = nullptr;
  lock.unlock();
  // A batch the workers finished before the calling thread checked still polls when due.
  maybePoll();
}

SingularityFitRunner::SingularityFitRunner(FitEngine& engine) : engine_(engine) {
  const size_t slots = engine.Pool ? static_cast<size_t>(engine.Pool->Threads()) : 1;
  spaces_.resize(slots);
  contexts_.resize(slots);
  for (SingularityFitContext& c : contexts_) {
    c.Quick = engine.Settings.Quick;
    c.NumInitialLoops = engine.Settings.NumInitialLoops;
    c.Stop = engine.Callbacks.Stop;
  }
}

SingularityFitRunner::~SingularityFitRunner() {
  for (const SingularityFitContext& c : contexts_) engine_.Counters += c.Counters;
}

bool SingularityFitRunner::Run(const FitCurveRecord& curve, std::span<SingularityFitJob> jobs, int32_t SelectCode,
                               int32_t ModeCode) {
  const FitBounds bounds = MakeFitBounds(engine_.Settings.EmulationCode, curve.NoiseDb, engine_.Settings.MaxBoostDb);
  const std::span<const float> x(curve.Freq.data(), static_cast<size_t>(std::clamp(curve.Count, 0, kMaxFitPoints)));
  const std::function<void(int32_t, int32_t)> job = [&](int32_t item, int32_t slot) {
    SingularityFitJob& j = jobs[static_cast<size_t>(item)];
    const auto s = static_cast<size_t>(slot);
    j.Accepted = FitOneSingularity(j.Point, curve, spaces_[s], j.Freq, j.Q1, j.Q2, j.FitError, j.QMax, j.QMin,
                                   j.WidthFactor, SelectCode, ModeCode, contexts_[s]);
    // A singularity the curve does not resolve, or one lost in its noise, is
    // none; one beyond the equaliser's reach is brought within it.
    if (j.Accepted) j.Accepted = ResolvedAboveNoise(x, j.Freq, j.Q1, j.Q2, 1.0, bounds);
    if (j.Accepted) BoundToReach(j.Q1, j.Q2, 1.0, bounds);
    if (j.Accepted && bounds.BoostLimited && j.Q1 < 0)
      j.Accepted = LevelAboveNoise(20 * std::log10(std::fabs(j.Q1) / j.Q2), bounds);
  };
  const auto count = static_cast<int32_t>(jobs.size());
  if (engine_.Pool)
    engine_.Pool->Run(count, job, engine_.Callbacks.Poll, engine_.Settings.PollEvery, engine_.Polling);
  else
    FitPool(1).Run(count, job, engine_.Callbacks.Poll, engine_.Settings.PollEvery, engine_.Polling);
  bool fault = false;
  for (SingularityFitContext& c : contexts_) {
    fault = fault || c.Fault;
    c.Fault = false;
  }
  return !fault;
}

namespace {

bool SameSign(double a, double b) { return (a > 0 && b > 0) || (a < 0 && b < 0); }

double Strength(double q1, double q2, double error) { return std::fabs(q1 * q1 / (q2 * q2 * error)); }

// Whether dividing the entry out lowers the spread of the log levels over one
// bandwidth either side of its centre.
bool StillFlattens(float Freq, float Q1, float Q2, std::span<const float> x, std::span<const double> y,
                   float damping) {
  const double centreQ = damping * std::sqrt(std::fabs(Q1) * Q2);
  if (!(centreQ > 0 && Freq > 0) || !std::isfinite(centreQ)) return false;
  const double f0 = Freq / 6.28318530717959, reach = f0 / centreQ;
  const size_t count = std::min(x.size(), y.size());
  const auto first = static_cast<size_t>(std::lower_bound(x.begin(), x.begin() + count, f0 - reach) - x.begin());
  const auto last = static_cast<size_t>(std::upper_bound(x.begin(), x.begin() + count, f0 + reach) - x.begin());
  if (last < first + 5) return false;
  std::vector<double> rest(y.begin() + first, y.begin() + last);
  const MessageSink quiet = [](const std::string&) {};
  ApplySingularityToLevels(rest, x.subspan(first, last - first), -Q1, Q2, Freq, damping, 0,
                           static_cast<int32_t>(rest.size()), quiet);
  const auto spread = [](const auto& levels) {
    double n = 0, s = 0, ss = 0;
    for (double v : levels) {
      if (!(v > 0)) continue;
      const double l = std::log(v);
      n += 1;
      s += l;
      ss += l * l;
    }
    return n > 0 ? ss - s * s / n : 0.0;
  };
  return spread(rest) < spread(y.subspan(first, last - first));
}

}  // namespace

bool InsideRange(float Freq, const SingularityListRecord& set) {
  const double hz = Freq / 6.28318530717959;
  return hz >= set.RangeLow && hz <= set.RangeHigh;
}

SingularityFitJob BestRefit(std::span<const SingularityFitJob> tried, float Freq, float Q1, float Q2, float error,
                            std::span<const float> x, std::span<const double> y, float damping) {
  SingularityFitJob best;
  bool anyAccepted = false;
  for (const SingularityFitJob& c : tried) {
    anyAccepted = anyAccepted || c.Accepted;
    if (!c.Accepted || !SameSign(c.Q1, Q1)) continue;
    if (best.FitError <= 0 || best.Q2 < 0.05 ||
        Strength(c.Q1, c.Q2, c.FitError) > Strength(best.Q1, best.Q2, best.FitError))
      best = c;
  }
  if (!anyAccepted && !tried.empty() && StillFlattens(Freq, Q1, Q2, x, y, damping))
    best = {.Accepted = true, .Freq = Freq, .Q1 = Q1, .Q2 = Q2, .FitError = error};
  return best;
}

void FileRefit(SingularityListRecord& set, const SingularityFitJob& best, std::span<double> y,
               std::span<const float> x, float damping, int32_t count, const MessageSink& say) {
  const auto w = static_cast<size_t>(set.Count++);
  set.Freq[w] = static_cast<float>(best.Freq);
  set.Q1[w] = static_cast<float>(best.Q1);
  set.Q2[w] = static_cast<float>(best.Q2);
  set.FitError[w] = static_cast<float>(best.FitError);
  ApplySingularityToLevels(y, x, -set.Q1[w], set.Q2[w], set.Freq[w], damping, 0, count, say);
}

}  // namespace zentor
