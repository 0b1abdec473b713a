// Worker threads kept from call to call: starting threads anew costs more than a
// small view's whole computation. One caller at a time holds them; a caller
// that finds them held (a view drawn while another one files its curves) does
// its work on its own thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace zentor {

class WorkerThreads {
 public:
  static WorkerThreads& Shared();
  ~WorkerThreads();

  // Claims the threads for a call; false while another call holds them.
  bool Claim() { return !claimed_.exchange(true); }
  // task(w) on threads 0..count-1, the caller going on meanwhile.
  void Start(int32_t count, const std::function<void(int32_t)>& task);
  // Waits for the started tasks and frees the threads for the next call.
  void Finish();

  // task(w) for w in 0..count-1, 0 on the caller and the rest on the threads, or
  // all on the caller when they are held; returns when every one has ended.
  static void Run(int32_t count, const std::function<void(int32_t)>& task);

 private:
  void Work(int32_t w);

  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  const std::function<void(int32_t)>* task_ = nullptr;
  int32_t active_ = 0, busy_ = 0;
  uint64_t generation_ = 0;
  bool quit_ = false;
  std::atomic<bool> claimed_{false};
};

}  // namespace zentor
