#include "eqdesign/fit_engine.h"

#include <algorithm>

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
                  const std::function<void()>& poll, std::chrono::microseconds every,
                  std::chrono::steady_clock::time_point& lastPoll) {
  using Clock = std::chrono::steady_clock;
  const auto maybePoll = [&] {
    if (!poll) return;
    const auto now = Clock::now();
    if (now - lastPoll < every) return;
    lastPoll = now;
    poll();
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
  const std::function<void(int32_t, int32_t)> job = [&](int32_t item, int32_t slot) {
    SingularityFitJob& j = jobs[static_cast<size_t>(item)];
    const auto s = static_cast<size_t>(slot);
    j.Accepted = FitOneSingularity(j.Point, curve, spaces_[s], j.Freq, j.Q1, j.Q2, j.FitError, j.QMax, j.QMin,
                                   j.WidthFactor, SelectCode, ModeCode, contexts_[s]);
  };
  const auto count = static_cast<int32_t>(jobs.size());
  if (engine_.Pool)
    engine_.Pool->Run(count, job, engine_.Callbacks.Poll, engine_.Settings.PollEvery, engine_.LastPoll);
  else
    FitPool(1).Run(count, job, engine_.Callbacks.Poll, engine_.Settings.PollEvery, engine_.LastPoll);
  bool fault = false;
  for (SingularityFitContext& c : contexts_) {
    fault = fault || c.Fault;
    c.Fault = false;
  }
  return !fault;
}

}  // namespace zentor
