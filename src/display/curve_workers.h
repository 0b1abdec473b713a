// The curves of one view computed on worker threads while the interface thread
// files and draws them in slot order. Workers own their scratch and touch no shared
// array, so a call gives the same curves whatever the number of workers.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

namespace zentor {

// Most workers one call uses; 0: one per hardware thread; 1: all on the calling thread.
extern int32_t CurveWorkerLimit;

// Workers a call with `jobs` curves uses.
int32_t CurveWorkerCount(int32_t jobs);

// Scratch owned by one worker: two arrays of 2^18 + 1 values, aligned for the transforms.
struct WorkerScratch {
  std::span<float> A;
  std::span<float> B;
};

// compute(j, scratch) runs on a worker for j = 0..jobs-1; file(j, faulted) runs on
// the calling thread for j in order, each once its compute has ended (faulted when it
// threw). file returning false stops the call: jobs not yet started are dropped and
// the call returns once every worker has ended.
void ComputeAndFileInOrder(int32_t jobs, const std::function<void(int32_t, const WorkerScratch&)>& compute,
                           const std::function<bool(int32_t, bool)>& file);

}  // namespace zentor
