// What the filter-fit engine runs with: its settings, the callbacks to the
// window that drives it, and a persistent pool of worker threads. Qt-free.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "core/records.h"
#include "eqdesign/fit/fit_records.h"
#include "eqdesign/fit/singularity_fit.h"

namespace zentor {

// When a fit's poll last ran, and the clock it reads. steady_clock counts from
// boot, so no time point can stand for "long ago": a clock that has never
// polled says so, and its first check polls whatever the clock reads.
struct PollClock {
  using Clock = std::chrono::steady_clock;
  std::optional<Clock::time_point> Last;   // none: never polled
  std::function<Clock::time_point()> Now;  // unset: steady_clock::now (tests inject one)

  Clock::time_point Read() const { return Now ? Now() : Clock::now(); }
  // True, and the poll counted as run now, when none has run yet or `every`
  // has passed since the last.
  bool Due(std::chrono::microseconds every) {
    const Clock::time_point now = Read();
    if (Last && now - *Last < every) return false;
    Last = now;
    return true;
  }
};

// Runs numbered jobs on persistent threads. The calling thread works too and
// keeps polling; jobs write only their own results, so the outcome does not
// depend on the number of threads.
class FitPool {
 public:
  // threads counts the calling thread: 1 gives no workers.
  explicit FitPool(int32_t threads);
  ~FitPool();
  FitPool(const FitPool&) = delete;
  FitPool& operator=(const FitPool&) = delete;

  int32_t Threads() const { return static_cast<int32_t>(workers_.size()) + 1; }

  // job(item, slot) for every item in 0..count-1, slot 0 being the calling
  // thread's. poll() runs on the calling thread when the clock has never
  // polled or `every` has passed since it last did: a caller keeps one clock
  // over many short batches, so a stop is seen however the work is cut up.
  void Run(int32_t count, const std::function<void(int32_t, int32_t)>& job, const std::function<void()>& poll,
           std::chrono::microseconds every, PollClock& clock);

 private:
  void Work(int32_t slot);
  void Drain(int32_t slot);

  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable wake_, finished_;
  const std::function<void(int32_t, int32_t)>* job_ = nullptr;
  int32_t count_ = 0;
  std::atomic<int32_t> next_{0};
  int32_t busy_ = 0;         // workers inside the current batch
  uint64_t generation_ = 0;  // batches started
  bool quit_ = false;
};

struct FitEngineSettings {
  float DisplayRes = 4;         // candidates closer than this many point spacings merge
  float MaxFreq = 80;           // Hz: the refinement's upper limit
  bool Quick = false;           // the quick-fit box
  int32_t NumInitialLoops = 8;  // the main window's constant
  // The main window's ParametricEQEmulation: 1, 4 and 5 bound the fitted
  // entries to what that equaliser can be set to.
  int32_t EmulationCode = 1;
  double MaxBoostDb = -1;  // below 0: no boost limit beyond the equaliser's
  std::chrono::microseconds PollEvery{50000};
};

struct FitEngineCallbacks {
  const std::atomic<bool>* Stop = nullptr;  // the stop request
  std::function<void()> Poll;               // on the calling thread, while the fit runs
  std::function<void(int32_t done, int32_t total)> Progress;  // total 0: reset
  MessageSink Say;                          // unset: messages are dropped
};

struct FitEngine {
  FitEngineSettings Settings;
  FitEngineCallbacks Callbacks;
  FitPool* Pool = nullptr;  // none: everything on the calling thread
  FitCounters Counters;     // summed over the engine's calls
  // The damping of each completed polish pass, the latest last (at most 256).
  std::vector<float> PassDampings;

  // When the poll last ran; the clock runs over all of the engine's calls.
  PollClock Polling;

  bool Stopped() const { return Callbacks.Stop != nullptr && Callbacks.Stop->load(); }
  // Polls now: a request made before a stage starts is seen at its start.
  void PollNow() {
    Polling.Last = Polling.Read();
    if (Callbacks.Poll) Callbacks.Poll();
  }
  void Say(const std::string& text) const {
    if (Callbacks.Say) Callbacks.Say(text);
  }
  void Progress(int32_t done, int32_t total) const {
    if (Callbacks.Progress) Callbacks.Progress(done, total);
  }
};

// One fit request on a point, and what came of it.
struct SingularityFitJob {
  int32_t Point = 0;
  double QMax = 0;
  double QMin = 0;
  float WidthFactor = 0.5f;
  bool Accepted = false;
  double Freq = 0, Q1 = 0, Q2 = 0, FitError = 0;
};

// The fits of one engine call: a workspace and a context per thread, made
// once when the call starts.
class SingularityFitRunner {
 public:
  explicit SingularityFitRunner(FitEngine& engine);
  ~SingularityFitRunner();  // adds the counters to the engine's

  // FitOneSingularity for every job, on the engine's pool; each job's results
  // are its own, so they do not depend on the thread count. False when a point
  // was refused for a damaged curve.
  bool Run(const FitCurveRecord& curve, std::span<SingularityFitJob> jobs, int32_t SelectCode, int32_t ModeCode);

 private:
  FitEngine& engine_;
  std::vector<SingularityFitWorkspace> spaces_;
  std::vector<SingularityFitContext> contexts_;
};

// The refit that replaces an entry (Freq rad/s, Q1, Q2, error) put back into
// the curve: of the jobs tried about it, the accepted one of the entry's sign
// with the largest Q1²/(Q2²·error). When jobs were tried and none was accepted
// at all (on a noisy curve the points by the centre need not be peaks or dips
// of their own), the entry itself, if it still flattens the curve about its
// centre at that damping: dropping it would leave its singularity in the curve,
// where no later pass looks. Otherwise nothing (Q1 0).
SingularityFitJob BestRefit(std::span<const SingularityFitJob> tried, float Freq, float Q1, float Q2, float error,
                            std::span<const float> x, std::span<const double> y, float damping);

// Whether a centre (rad/s) lies within the set's fit range.
bool InsideRange(float Freq, const SingularityListRecord& set);

// Files a refit entry at the end of `set` and divides it out of the levels, so
// the next entry is refitted against what this one leaves.
void FileRefit(SingularityListRecord& set, const SingularityFitJob& best, std::span<double> y,
               std::span<const float> x, float damping, int32_t count, const MessageSink& say);

}  // namespace zentor
