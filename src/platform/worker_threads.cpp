#include "platform/worker_threads.h"

namespace zentor {

WorkerThreads& WorkerThreads::Shared() {
  static WorkerThreads workers;
  return workers;
}

WorkerThreads::~WorkerThreads() {
  {
    const std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : threads_) t.join();
}

void WorkerThreads::Start(int32_t count, const std::function<void(int32_t)>& task) {
  while (threads_.size() < static_cast<size_t>(count)) {
    const auto w = static_cast<int32_t>(threads_.size());
    threads_.emplace_back([this, w] { Work(w); });
  }
  {
    const std::lock_guard lock(mutex_);
    task_ = &task;
    active_ = busy_ = count;
    ++generation_;
  }
  wake_.notify_all();
}

void WorkerThreads::Finish() {
  {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return busy_ == 0; });
    task_ = nullptr;
  }
  claimed_.store(false);
}

void WorkerThreads::Run(int32_t count, const std::function<void(int32_t)>& task) {
  WorkerThreads& kept = Shared();
  if (count > 1 && kept.Claim()) {
    // The caller does its share as number 0.
    const std::function<void(int32_t)> others = [&](int32_t w) { task(w + 1); };
    kept.Start(count - 1, others);
    task(0);
    kept.Finish();
    return;
  }
  for (int32_t w = 0; w < count; ++w) task(w);
}

void WorkerThreads::Work(int32_t w) {
  uint64_t seen = 0;
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return quit_ || generation_ != seen; });
    if (quit_) return;
    seen = generation_;
    if (w >= active_) continue;
    const std::function<void(int32_t)>& task = *task_;
    lock.unlock();
    task(w);
    lock.lock();
    if (--busy_ == 0) done_.notify_all();
  }
}

}  // namespace zentor
