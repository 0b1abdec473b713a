#include "platform/audio/wave_streaming.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <unordered_set>
#include <vector>

#include "platform/audio/sound_devices.h"

namespace zentor {

QEvent::Type WaveEvent::EventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

namespace {

enum : int { kIdle, kPrepared, kArmed, kRunning, kDone };

constexpr int kDrainMs = 5;
constexpr int kIdleCloseMs = 1000;

std::function<int64_t()> g_clock;

int64_t NowMs() {
  if (g_clock) return g_clock();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

struct Slot {
  std::atomic<int> state{kIdle};
  std::vector<int16_t> frames;  // interleaved left, right
  int32_t count = 0;
  std::atomic<int32_t> done{0};
  std::atomic<int64_t> startFrame{-1};
  std::atomic<int64_t> endCycle{-1};
  std::atomic<uint64_t> job{0};
  std::atomic<int64_t> waited{0};  // frames spent armed, waiting for the other slot
  // UI thread only.
  QPointer<QObject> owner;
  bool posted = false;
  int64_t deadlineMs = 0;  // record job: when it must have filled (wave clock)
};

bool InUse(int state) { return state == kPrepared || state == kArmed || state == kRunning; }

// A completion on its way: posted to the engine, which hands it to the job's window
// unless the job was cancelled meanwhile or the window is gone.
class RelayEvent : public QEvent {
 public:
  RelayEvent(int32_t message, uint64_t job, QObject* target)
      : QEvent(Type()), message(message), job(job), target(target) {}
  static QEvent::Type Type() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
  }
  int32_t message;
  uint64_t job;
  QPointer<QObject> target;
};

class Streaming final : public QObject, public StreamCycle {
 public:
  explicit Streaming(QObject* parent) : QObject(parent) {
    drain_.setInterval(kDrainMs);
    QObject::connect(&drain_, &QTimer::timeout, this, [this] { Drain(); });
    idle_.setSingleShot(true);
    idle_.setInterval(kIdleCloseMs);
    QObject::connect(&idle_, &QTimer::timeout, this, [this] { CloseWhenIdle(); });
  }
  ~Streaming() override { CloseStream(false); }

  WaveStatus PlayPrep(QObject* window, int32_t id, int32_t rate, std::span<const int16_t> left,
                      std::span<const int16_t> right, int32_t count) {
    error_.clear();
    if (!window || count < 1 || count > kMaxWaveFrames || left.size() < static_cast<std::size_t>(count) ||
        right.size() < static_cast<std::size_t>(count))
      return Fail(WaveStatus::BadArgument, "The play buffers do not hold " + std::to_string(count) + " samples");
    if (play_.state.load() == kArmed || play_.state.load() == kRunning)
      return Fail(WaveStatus::DeviceBusy, "The sound card is already playing");
    if (WaveStatus s = EnsureStream(id, rate, true, rec_); s != WaveStatus::Ok) return s;
    play_.frames.resize(static_cast<std::size_t>(count) * 2);
    for (int32_t i = 0; i < count; ++i) {
      play_.frames[2 * static_cast<std::size_t>(i)] = left[static_cast<std::size_t>(i)];
      play_.frames[2 * static_cast<std::size_t>(i) + 1] = right[static_cast<std::size_t>(i)];
    }
    Load(play_, window, count);
    return WaveStatus::Ok;
  }

  WaveStatus RecPrep(QObject* window, int32_t id, int32_t rate, int32_t count) {
    error_.clear();
    if (!window || count < 1 || count > kMaxWaveFrames)
      return Fail(WaveStatus::BadArgument, "A recording of " + std::to_string(count) + " samples cannot be made");
    if (rec_.state.load() == kArmed || rec_.state.load() == kRunning)
      return Fail(WaveStatus::DeviceBusy, "The sound card is already recording");
    if (WaveStatus s = EnsureStream(id, rate, false, play_); s != WaveStatus::Ok) return s;
    rec_.frames.assign(static_cast<std::size_t>(count) * 2, 0);
    Load(rec_, window, count);
    return WaveStatus::Ok;
  }

  WaveStatus Arm(Slot& s, const char* what) {
    error_.clear();
    if (s.state.load() != kPrepared || !open_)
      return Fail(WaveStatus::NotPrepared, std::string(what) + " was called before its preparation");
    s.waited.store(0);
    if (&s == &rec_ && rate_ > 0) s.deadlineMs = NowMs() + int64_t{s.count} * 1000 / rate_ + kRecordGraceMs;
    if (&s == &rec_) xrunsAtArm_ = device_->Xruns();
    device_->JobArmed();
    s.state.store(kArmed);
    return WaveStatus::Ok;
  }

  void Clean(Slot& s) {
    const int st = s.state.load();
    if (st == kArmed || st == kRunning || st == kIdle) return;
    if (st == kDone) {
      WaitForCycle();
      Drain();  // a finished job delivers even when released before the timer saw it
    }
    s.state.store(kIdle);
    s.owner = nullptr;
    UpdateTimers();
  }

  void Cancel(Slot& s) {
    const int old = s.state.exchange(kIdle);
    WaitForCycle();
    if (old != kIdle) {
      const uint64_t job = s.job.load();
      if (pending_.count(job)) cancelled_.insert(job);
    }
    s.owner = nullptr;
    s.posted = true;
    UpdateTimers();
  }

  int32_t RecData(std::span<float> left, std::span<float> right) {
    if (rec_.state.load() != kDone) {
      error_ = "No recording is ready";
      return 0;
    }
    const std::size_t n = std::min({static_cast<std::size_t>(rec_.count), left.size(), right.size()});
    for (std::size_t i = 0; i < n; ++i) {
      left[i] = rec_.frames[2 * i];
      right[i] = rec_.frames[2 * i + 1];
    }
    return static_cast<int32_t>(n);
  }

  int32_t TimePointer() const {
    const int st = play_.state.load();
    if (st == kIdle || st == kPrepared || st == kArmed) return 0;
    const int32_t latency = device_ && open_ ? device_->OutputLatencyFrames() : 0;
    return std::clamp(play_.done.load() - latency, 0, play_.count);
  }

  StreamingView View() const {
    StreamingView v;
    v.play = static_cast<SlotState>(play_.state.load());
    v.record = static_cast<SlotState>(rec_.state.load());
    v.playJob = play_.job.load();
    v.recordJob = rec_.job.load();
    v.playStartFrame = play_.startFrame.load();
    v.recordStartFrame = rec_.startFrame.load();
    v.playFramesDone = play_.done.load();
    v.recordFramesDone = rec_.done.load();
    v.streamOpen = open_;
    v.streamDevice = deviceId_;
    v.streamRate = rate_;
    v.deviceFrames = frame_.load();
    v.xruns = device_ && open_ ? device_->Xruns() : 0;
    return v;
  }

  // ---- device thread ----
  Plan RenderOutput(int16_t* out, int32_t frames) override {
    cycleActive_.store(true);
    const int64_t frame = frame_.load(std::memory_order_relaxed);
    cycleFrames_ = frames;
    const int ps = play_.state.load(), rs = rec_.state.load();
    Plan plan;
    if (ps == kArmed) plan.started |= TryStart(play_, rs, frame, frames);
    if (rs == kArmed) plan.started |= TryStart(rec_, ps, frame, frames);
    const int64_t cycle = cycle_.load(std::memory_order_relaxed);
    int32_t n = 0;
    if (play_.state.load(std::memory_order_acquire) == kRunning) {
      const int32_t done = play_.done.load(std::memory_order_relaxed);
      n = std::min(frames, play_.count - done);
      std::memcpy(out, play_.frames.data() + 2 * static_cast<std::size_t>(done),
                  sizeof(int16_t) * 2 * static_cast<std::size_t>(n));
      play_.done.store(done + n, std::memory_order_release);
      plan.active = true;
      if (done + n == play_.count) Finish(play_, cycle);
    }
    std::memset(out + 2 * static_cast<std::size_t>(n), 0, sizeof(int16_t) * 2 * static_cast<std::size_t>(frames - n));
    if (rec_.state.load(std::memory_order_acquire) == kRunning) {
      plan.active = plan.recording = true;
      plan.recordJob = static_cast<int64_t>(rec_.job.load(std::memory_order_relaxed));
      plan.recordFrame = rec_.done.load(std::memory_order_relaxed);
    }
    return plan;
  }

  void CaptureInput(const int16_t* in, int32_t frames) override {
    const int64_t cycle = cycle_.load(std::memory_order_relaxed);
    if (frames > 0 && rec_.state.load(std::memory_order_acquire) == kRunning) {
      const int32_t done = rec_.done.load(std::memory_order_relaxed);
      const int32_t n = std::min(frames, rec_.count - done);
      std::memcpy(rec_.frames.data() + 2 * static_cast<std::size_t>(done), in,
                  sizeof(int16_t) * 2 * static_cast<std::size_t>(n));
      rec_.done.store(done + n, std::memory_order_release);
      if (done + n == rec_.count) Finish(rec_, cycle);
    }
    frame_.store(frame_.load(std::memory_order_relaxed) + cycleFrames_, std::memory_order_release);
    cycle_.store(cycle + 1, std::memory_order_release);
    cycleActive_.store(false);
  }

  void StreamLost() override { lost_.store(true); }

  // ---- UI thread ----
  void Drain() {
    CountDropouts();
    if (lost_.exchange(false) || (open_ && device_->Lost())) HandleLoss("The sound card stopped");
    else if (RecordOverdue()) HandleLoss(open_ ? device_->OverdueText() : kNoRecordingInTime);
    const int64_t completed = cycle_.load(std::memory_order_acquire);
    Slot* ready[2];
    int n = 0;
    for (Slot* s : {&play_, &rec_})
      if (s->state.load() == kDone && !s->posted && s->endCycle.load() < completed) ready[n++] = s;
    if (n == 2) {
      const bool recFirst = device_ && device_->RecordCompletionFirst();
      const int64_t pe = play_.endCycle.load(), re = rec_.endCycle.load();
      if (re < pe || (re == pe && recFirst)) std::swap(ready[0], ready[1]);
    }
    for (int i = 0; i < n; ++i) Post(*ready[i], ready[i] == &play_ ? MM_WOM_DONE : MM_WIM_DATA);
    UpdateTimers();
  }

  void CloseWhenIdle() {
    if (InUse(play_.state.load()) || InUse(rec_.state.load())) return;
    CloseStream();
  }

  bool event(QEvent* e) override {
    if (e->type() != RelayEvent::Type()) return QObject::event(e);
    auto* r = static_cast<RelayEvent*>(e);
    pending_.erase(r->job);
    const bool cancelled = cancelled_.erase(r->job) > 0;
    if (pending_.empty()) cancelled_.clear();
    if (!cancelled && r->target) {
      WaveEvent wave(r->message, r->job);
      QCoreApplication::sendEvent(r->target, &wave);
    }
    return true;
  }

  Slot play_, rec_;
  std::string error_;
  int64_t dropouts_ = 0;  // of the last record job done

 private:
  WaveStatus Fail(WaveStatus s, std::string text) {
    error_ = std::move(text);
    return s;
  }

  void Load(Slot& s, QObject* window, int32_t count) {
    s.count = count;
    s.done.store(0);
    s.startFrame.store(-1);
    s.endCycle.store(-1);
    s.waited.store(0);
    s.job.store(++nextJob_);
    s.owner = window;
    s.posted = false;
    s.state.store(kPrepared);
    UpdateTimers();
  }

  WaveStatus EnsureStream(int32_t id, int32_t rate, bool needOutput, const Slot& other) {
    AudioDevice* dev = ResolveWaveDevice(id);
    if (!dev) return Fail(WaveStatus::NoDevice, "There is no sound card number " + std::to_string(id));
    const bool otherInUse = InUse(other.state.load());
    // A stream that died while idle is opened afresh.
    if (open_ && !otherInUse && device_->Lost()) CloseStream();
    if (open_) {
      // A stream that died while no job ran is opened afresh, not reused.
      const bool lost = lost_.load();
      const bool same = dev == device_ && rate == rate_ && (!needOutput || withOutput_);
      if (same && !lost && (!dev->NeedsReopen() || otherInUse)) return WaveStatus::Ok;
      if (otherInUse && !lost) return Fail(WaveStatus::DeviceBusy, "The sound card is in use with other settings");
      CloseStream();
    }
    if (needOutput && !dev->HasOutput()) return Fail(WaveStatus::NoDevice, "The sound card has no output");
    const bool withOutput = dev->HasOutput();
    if (std::string s = ChannelShortageText(dev->InputChannels(), dev->OutputChannels(), withOutput); !s.empty())
      return Fail(WaveStatus::OpenFailed, std::move(s));
    if (rate <= 0 || !dev->SupportsRate(true, rate) || (withOutput && !dev->SupportsRate(false, rate)))
      return Fail(WaveStatus::RateNotSupported,
                  "The sound card does not support a sample rate of " + std::to_string(rate) + " Hz");
    std::string text;
    if (WaveStatus s = dev->Open(rate, withOutput, this, text); s != WaveStatus::Ok) return Fail(s, text);
    open_ = true;
    device_ = dev;
    deviceId_ = id;
    rate_ = rate;
    withOutput_ = withOutput;
    lost_.store(false);
    return WaveStatus::Ok;
  }

  // After the device stops, every finished cycle is counted, so what ended in the
  // last one is posted too.
  void CloseStream(bool drain = true) {
    if (!open_) return;
    CountDropouts();
    device_->Close();
    open_ = false;
    idle_.stop();
    if (drain) Drain();
    device_ = nullptr;  // the list may be built afresh while no stream is open
  }

  // The device's xruns since the record job was armed, once it is done and until
  // it is posted: the next cycle's may belong to the next job.
  void CountDropouts() {
    if (open_ && rec_.state.load() == kDone && !rec_.posted) dropouts_ = device_->Xruns() - xrunsAtArm_;
  }

  bool TryStart(Slot& s, int otherState, int64_t frame, int32_t frames) {
    if (otherState == kPrepared && s.waited.load(std::memory_order_relaxed) < rate_ / 4) {
      s.waited.fetch_add(frames, std::memory_order_relaxed);
      return false;
    }
    int expected = kArmed;
    if (!s.state.compare_exchange_strong(expected, kRunning)) return false;
    s.startFrame.store(frame, std::memory_order_relaxed);
    return true;
  }

  static void Finish(Slot& s, int64_t cycle) {
    s.endCycle.store(cycle, std::memory_order_relaxed);
    int expected = kRunning;
    s.state.compare_exchange_strong(expected, kDone);
  }

  // The device cycle in progress, if any, ends before this returns.
  void WaitForCycle() const {
    while (cycleActive_.load()) std::this_thread::yield();
  }

  void Post(Slot& s, int32_t message) {
    s.posted = true;
    const uint64_t job = s.job.load();
    if (!s.owner) return;
    pending_.insert(job);
    QCoreApplication::postEvent(this, new RelayEvent(message, job, s.owner));
  }

  // A record job armed or running past its deadline: the card takes no input.
  bool RecordOverdue() const {
    const int st = rec_.state.load();
    return (st == kArmed || st == kRunning) && NowMs() >= rec_.deadlineMs;
  }

  void HandleLoss(std::string why) {
    std::vector<QPointer<QObject>> owners;
    for (Slot* s : {&play_, &rec_}) {
      if (!InUse(s->state.load())) continue;
      if (s->owner && std::find(owners.begin(), owners.end(), s->owner) == owners.end()) owners.push_back(s->owner);
      Cancel(*s);
    }
    CloseStream();
    error_ = std::move(why);
    for (const auto& owner : owners) {
      const uint64_t job = ++nextJob_;
      pending_.insert(job);
      QCoreApplication::postEvent(this, new RelayEvent(WaveError, job, owner));
    }
  }

  void UpdateTimers() {
    bool busy = false;
    for (const Slot* s : {&play_, &rec_}) {
      const int st = s->state.load();
      busy = busy || InUse(st) || (st == kDone && !s->posted);
    }
    if (busy) {
      idle_.stop();
      if (!drain_.isActive()) drain_.start();
    } else {
      drain_.stop();
      if (open_ && !idle_.isActive()) idle_.start();
    }
  }

  AudioDevice* device_ = nullptr;
  bool open_ = false, withOutput_ = false;
  int32_t deviceId_ = 0, rate_ = 0;
  uint64_t nextJob_ = 0;
  int64_t xrunsAtArm_ = 0;
  std::unordered_set<uint64_t> pending_, cancelled_;
  QTimer drain_, idle_;
  // Shared with the device thread. The counters run over the engine's life.
  std::atomic<bool> cycleActive_{false};
  std::atomic<bool> lost_{false};
  std::atomic<int64_t> frame_{0};
  std::atomic<int64_t> cycle_{0};
  int32_t cycleFrames_ = 0;  // device thread only
};

Streaming& Engine() {
  static QPointer<Streaming> engine;
  if (!engine) engine = new Streaming(QCoreApplication::instance());
  return *engine;
}

}  // namespace

WaveStatus PlayOutPrep(QObject* window, int32_t waveDeviceId, int32_t rate, std::span<const int16_t> left,
                       std::span<const int16_t> right, int32_t count) {
  return Engine().PlayPrep(window, waveDeviceId, rate, left, right, count);
}
WaveStatus PlayOut() { return Engine().Arm(Engine().play_, "PlayOut"); }
void CleanPlayOut() { Engine().Clean(Engine().play_); }
void ResetPlayAudio() { Engine().Cancel(Engine().play_); }
WaveStatus RecInPrep(QObject* window, int32_t waveDeviceId, int32_t rate, int32_t count) {
  return Engine().RecPrep(window, waveDeviceId, rate, count);
}
WaveStatus RecIn() { return Engine().Arm(Engine().rec_, "RecIn"); }
int32_t GetRecInData(std::span<float> left, std::span<float> right) { return Engine().RecData(left, right); }
void CleanRecIn() { Engine().Clean(Engine().rec_); }
void ResetAudio() {
  Engine().Cancel(Engine().play_);
  Engine().Cancel(Engine().rec_);
}
int32_t GetTimePointer() { return Engine().TimePointer(); }
void GetTimePointer(int32_t& position) { position = Engine().TimePointer(); }
std::string AudioLastErrorText() { return Engine().error_; }
std::string StreamLostText() { return "Error 3852: Sound card stopped during the recording: " + Engine().error_; }
StreamingView InspectStreaming() { return Engine().View(); }
int64_t RecordingDropouts() { return Engine().dropouts_; }
bool RefreshSoundDevices() {
  Streaming& e = Engine();
  if (InUse(e.play_.state.load()) || InUse(e.rec_.state.load())) return false;
  e.CloseWhenIdle();
  ForgetSoundDevices();
  return true;
}
void DrainWaveCompletions() { Engine().Drain(); }
void CloseIdleWaveStream() { Engine().CloseWhenIdle(); }
void SetWaveClock(std::function<int64_t()> nowMs) { g_clock = std::move(nowMs); }

}  // namespace zentor
