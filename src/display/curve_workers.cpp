// Worker threads for the curves of one view, filed in slot order on the caller.
#include "display/curve_workers.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <cstdlib>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "base/shared_state.h"
#include "platform/worker_threads.h"

namespace zentor {

int32_t CurveWorkerLimit = 0;

namespace {

SharedStateRegistrar g_reset([] { CurveWorkerLimit = 0; });

constexpr size_t kScratchValues = (size_t{1} << 18) + 1;
constexpr size_t kScratchAlignment = 64;

struct AlignedFree {
  void operator()(float* p) const { std::free(p); }
};
using AlignedFloats = std::unique_ptr<float[], AlignedFree>;

AlignedFloats AllocScratch() {
  constexpr size_t bytes = (kScratchValues * sizeof(float) + kScratchAlignment - 1) / kScratchAlignment * kScratchAlignment;
  auto* p = static_cast<float*>(std::aligned_alloc(kScratchAlignment, bytes));
  if (!p) throw std::bad_alloc();
  std::fill_n(p, kScratchValues, 0.0f);
  return AlignedFloats(p);
}

// Kept from call to call: the views run one at a time on the interface thread.
struct ScratchPair {
  AlignedFloats a, b;
};
std::vector<ScratchPair>& Pool() {
  static std::vector<ScratchPair> pool;
  return pool;
}

WorkerScratch ScratchOf(int32_t w) {
  std::vector<ScratchPair>& pool = Pool();
  while (pool.size() <= static_cast<size_t>(w)) pool.push_back({AllocScratch(), AllocScratch()});
  ScratchPair& p = pool[static_cast<size_t>(w)];
  return {std::span<float>(p.a.get(), kScratchValues), std::span<float>(p.b.get(), kScratchValues)};
}

enum : int8_t { kPending = 0, kDone = 1, kFaulted = 2 };

}  // namespace

int32_t CurveWorkerCount(int32_t jobs) {
  int32_t n = CurveWorkerLimit;
  if (n <= 0) n = static_cast<int32_t>(std::max(1u, std::thread::hardware_concurrency()));
  return std::clamp(jobs, 1, n);
}

void ComputeAndFileInOrder(int32_t jobs, const std::function<void(int32_t, const WorkerScratch&)>& compute,
                           const std::function<bool(int32_t, bool)>& file) {
  if (jobs <= 0) return;
  WorkerThreads& kept = WorkerThreads::Shared();
  // A call made while filing another (a view drawn from a message box, say)
  // finds the threads taken, and runs on the calling thread.
  const bool claimed = kept.Claim();
  const int32_t workers = claimed ? CurveWorkerCount(jobs) : 1;
  std::vector<WorkerScratch> scratch;
  if (claimed) {
    for (int32_t w = 0; w < workers; ++w) scratch.push_back(ScratchOf(w));
  } else {
    // Its own scratch: the threads' is in use. One serves every depth, as a call
    // on this thread files (and may nest) only after its computation ends.
    static ScratchPair nested{AllocScratch(), AllocScratch()};
    scratch.push_back({std::span<float>(nested.a.get(), kScratchValues), std::span<float>(nested.b.get(), kScratchValues)});
  }

  auto run = [&](int32_t j, int32_t w) {
    try {
      compute(j, scratch[static_cast<size_t>(w)]);
      return kDone;
    } catch (...) {
      return kFaulted;
    }
  };
  if (workers == 1) {
    for (int32_t j = 0; j < jobs; ++j)
      if (!file(j, run(j, 0) == kFaulted)) break;
    if (claimed) kept.Finish();
    return;
  }

  std::unique_ptr<std::atomic<int8_t>[]> state(new std::atomic<int8_t>[static_cast<size_t>(jobs)]);
  for (int32_t j = 0; j < jobs; ++j) state[static_cast<size_t>(j)].store(kPending);
  std::atomic<int32_t> next{0};
  std::atomic<bool> stop{false};
  const std::function<void(int32_t)> task = [&](int32_t w) {
    while (!stop.load(std::memory_order_relaxed)) {
      const int32_t j = next.fetch_add(1);
      if (j >= jobs) return;
      std::atomic<int8_t>& s = state[static_cast<size_t>(j)];
      s.store(run(j, w), std::memory_order_release);
      s.notify_one();
    }
  };
  kept.Start(workers, task);
  for (int32_t j = 0; j < jobs; ++j) {
    std::atomic<int8_t>& s = state[static_cast<size_t>(j)];
    s.wait(kPending, std::memory_order_acquire);
    if (!file(j, s.load(std::memory_order_acquire) == kFaulted)) {
      stop.store(true);
      break;
    }
  }
  kept.Finish();
}

}  // namespace zentor
