#include "platform/audio/simulated_sound_card.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <numbers>
#include <mutex>
#include <set>
#include <span>
#include <thread>

#include "base/binary_io.h"
#include "platform/audio/partitioned_convolver.h"
#include "platform/audio/sound_devices.h"

namespace zentor {

SimulatedCardLinks SimulatedCardHooks;

namespace {

constexpr double kFullScale = 32768.0;
constexpr int32_t kHeadBlock = 128;   // partition of the room's first taps
constexpr int32_t kTailBlock = 2048;  // partition of the rest, which starts at this tap
constexpr int32_t kMaxBlockSize = 8192;
constexpr int32_t kMaxLatency = 1 << 16;
constexpr std::size_t kMaxRoomTaps = std::size_t{1} << 17;

uint64_t Mix(uint64_t z) {
  z += 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double Unit(uint64_t bits) { return (static_cast<double>(bits >> 11) + 0.5) * 0x1.0p-53; }

// Two independent unit Gaussians for one key (Box-Muller).
void GaussPair(uint64_t seed, uint64_t job, uint64_t frame, double& a, double& b) {
  const uint64_t k = Mix(Mix(Mix(seed) ^ job) ^ frame);
  const double r = std::sqrt(-2.0 * std::log(Unit(k)));
  const double phi = 2.0 * std::numbers::pi * Unit(Mix(k));
  a = r * std::cos(phi);
  b = r * std::sin(phi);
}

int16_t ToSample(double v) {
  const double r = std::nearbyint(v);  // half to even under the default rounding mode
  return static_cast<int16_t>(std::clamp(r, -32768.0, 32767.0));
}

// 2nd-order Butterworth section by the bilinear transform, run in place.
void Butterworth(std::vector<double>& x, double f0, double rate, bool highPass) {
  if (f0 <= 0.0 || f0 >= 0.49 * rate) return;
  const double w0 = 2.0 * std::numbers::pi * f0 / rate, c = std::cos(w0);
  const double alpha = std::sin(w0) / std::numbers::sqrt2;  // Q = 1/sqrt(2)
  const double b0 = highPass ? (1.0 + c) / 2.0 : (1.0 - c) / 2.0;
  const double b1 = highPass ? -(1.0 + c) : 1.0 - c;
  const double a0 = 1.0 + alpha, a1 = -2.0 * c, a2 = 1.0 - alpha;
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  for (double& v : x) {
    const double y = (b0 * v + b1 * x1 + b0 * x2 - a1 * y1 - a2 * y2) / a0;
    x2 = x1;
    x1 = v;
    y2 = y1;
    y1 = y;
    v = y;
  }
}

uint32_t Le32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

std::vector<double> DefaultRoomImpulse(int32_t rate) {
  if (rate <= 0) return {1.0};
  const double r = rate;
  const auto len = static_cast<std::size_t>(std::nearbyint(0.45 * r));
  std::vector<double> h(std::max<std::size_t>(len, 1), 0.0);
  const auto at = [&](double seconds) { return static_cast<std::size_t>(std::nearbyint(seconds * r)); };
  const std::size_t direct = static_cast<std::size_t>(std::nearbyint(2.0 * r / 343.0));
  const auto add = [&](std::size_t i, double v) {
    if (i < h.size()) h[i] += v;
  };
  add(direct, 0.1);
  const double delays[] = {2.9e-3, 5.3e-3, 8.1e-3, 13.7e-3};
  const double gains[] = {0.06, -0.044, 0.03, 0.02};
  for (int i = 0; i < 4; ++i) add(direct + at(delays[i]), gains[i]);
  // Energy falls 60 dB in T60: amplitude 10^(-3 t / T60).
  const double t60 = 0.25;
  const auto decay = [&](double t) { return std::pow(10.0, -3.0 * t / t60); };
  const std::size_t tail = direct + at(15e-3);
  for (std::size_t i = tail; i < h.size(); ++i) {
    double g, unused;
    GaussPair(0x5EED, 0, i, g, unused);
    h[i] += 0.006 * g * decay(static_cast<double>(i - tail) / r);
  }
  for (std::size_t i = direct; i < h.size(); ++i) {
    const double t = static_cast<double>(i - direct) / r;
    h[i] += 0.002 * (std::sin(2 * std::numbers::pi * 47.0 * t) + std::sin(2 * std::numbers::pi * 83.0 * t)) *
            decay(t);
  }
  Butterworth(h, 45.0, r, true);
  Butterworth(h, std::min(18000.0, 0.4 * r), r, false);
  return h;
}

bool ReadRoomWave(const std::string& path, int32_t rate, std::vector<double>& samples, std::string& why) {
  samples.clear();
  // A FIFO or a device would block or never end; the taps read are bounded below.
  if (const std::string problem = FileReadProblem(path, std::numeric_limits<int64_t>::max()); !problem.empty()) {
    why = problem == "not found" ? "cannot be opened"
          : problem == "not a regular file" || problem.starts_with("larger") ? "is " + problem
                                                                              : "cannot be opened: " + problem;
    return false;
  }
  std::ifstream f(path, std::ios::binary);
  if (!f) {
    why = "cannot be opened";
    return false;
  }
  unsigned char riff[12];
  if (!f.read(reinterpret_cast<char*>(riff), 12) || std::memcmp(riff, "RIFF", 4) != 0 ||
      std::memcmp(riff + 8, "WAVE", 4) != 0) {
    why = "is not a WAV file";
    return false;
  }
  int format = 0, channels = 0, bits = 0;
  uint32_t fileRate = 0;
  bool haveFormat = false;
  unsigned char head[8];
  while (f.read(reinterpret_cast<char*>(head), 8)) {
    const uint32_t size = Le32(head + 4);
    if (std::memcmp(head, "fmt ", 4) == 0) {
      if (size < 16 || size > 64) break;
      unsigned char fmt[64];
      if (!f.read(reinterpret_cast<char*>(fmt), size)) break;
      format = Le16(fmt);
      channels = Le16(fmt + 2);
      fileRate = Le32(fmt + 4);
      bits = Le16(fmt + 14);
      if (format == 0xFFFE && size >= 26) format = Le16(fmt + 24);  // extensible: the sub-format
      haveFormat = true;
      if (size & 1) f.ignore(1);
    } else if (std::memcmp(head, "data", 4) == 0) {
      if (!haveFormat) break;
      if (channels != 1) {
        why = "is not mono";
        return false;
      }
      if (!((format == 1 && bits == 16) || (format == 3 && bits == 32))) {
        why = "is not 16-bit PCM or 32-bit float";
        return false;
      }
      if (fileRate != static_cast<uint32_t>(rate)) {
        why = "has the rate " + std::to_string(fileRate) + " Hz, not " + std::to_string(rate) + " Hz";
        return false;
      }
      const std::size_t bytes = static_cast<std::size_t>(bits / 8);
      const std::size_t count = size / bytes;
      if (count == 0) {
        why = "holds no samples";
        return false;
      }
      if (count > kMaxRoomTaps) {
        why = "holds more than " + std::to_string(kMaxRoomTaps) + " samples";
        return false;
      }
      std::vector<unsigned char> raw(count * bytes);
      if (!f.read(reinterpret_cast<char*>(raw.data()), static_cast<std::streamsize>(raw.size()))) {
        why = "is cut short";
        return false;
      }
      samples.resize(count);
      for (std::size_t i = 0; i < count; ++i) {
        if (bits == 16) {
          samples[i] = static_cast<int16_t>(Le16(&raw[2 * i])) / kFullScale;
        } else {
          const uint32_t u = Le32(&raw[4 * i]);
          float v;
          std::memcpy(&v, &u, 4);
          samples[i] = std::isfinite(v) ? v : 0.0;
        }
      }
      return true;
    } else {
      f.ignore(static_cast<std::streamsize>(size) + (size & 1));
    }
  }
  why = "has no readable format and data";
  return false;
}

namespace {

using ToldProblems = std::set<std::pair<std::string, std::string>>;

// The room file's samples, or the card's message when it is refused; each reader
// (the terminal, the window) keeps its own record of what it was told.
struct RoomFile {
  std::string path, origin;
};
RoomFile g_roomFile;

std::vector<double> RoomFromEnvironment(int32_t rate, SimulatedRoom& said, ToldProblems& told) {
  said = SimulatedRoom{"built-in, 2 m", "", false};
  const char* named = std::getenv("ZENTOR_SIM_ROOM");
  const RoomFile file = !g_roomFile.path.empty() ? g_roomFile
                        : named && *named       ? RoomFile{named, "ZENTOR_SIM_ROOM"}
                                                : RoomFile{};
  if (file.path.empty()) return {};
  const std::string& path = file.path;
  std::vector<double> room;
  std::string why;
  if (ReadRoomWave(path, rate, room, why)) {
    said.name = path;
    return room;
  }
  said.problem = file.origin + ": " + path + " " + why;
  static std::mutex toldMutex;
  std::lock_guard lock(toldMutex);
  said.firstTime = told.insert({path, why}).second;
  return {};
}

}  // namespace

void SetSimulatedRoomFile(const std::string& path, const std::string& origin) { g_roomFile = {path, origin}; }

SimulatedRoom DescribeSimulatedRoom(int32_t rate) {
  static ToldProblems told;
  SimulatedRoom said;
  RoomFromEnvironment(rate, said, told);
  return said;
}

std::vector<double> KnownMicImpulse(int32_t rate) {
  static ToldProblems told;
  SimulatedRoom said;
  std::vector<double> room = RoomFromEnvironment(rate, said, told);
  // A refused file is said by the window that shows the room.
  return room.empty() ? DefaultRoomImpulse(rate) : room;
}

// ---------------------------------------------------------------- the render state

struct SimulatedSoundCard::Engine {
  Engine(const SimulatedCardSettings& s, std::vector<double> room, int32_t rate)
      : s(s), room(std::move(room)), rate(rate) {
    direct = this->room.size() <= static_cast<std::size_t>(kShortRoom);
    latency = std::clamp(s.latency, 0, kMaxLatency);
    if (!direct) {
      latency = std::max(latency, kMinPartitionedLatency);
      const std::span<const double> taps(this->room);
      head = std::make_unique<PartitionedConvolver>(taps.first(std::min<std::size_t>(taps.size(), kTailBlock)),
                                                    kHeadBlock);
      if (taps.size() > static_cast<std::size_t>(kTailBlock))
        tail = std::make_unique<PartitionedConvolver>(taps.subspan(kTailBlock), kTailBlock);
    }
    std::size_t size = 1;
    while (size < static_cast<std::size_t>(latency) + 2 * kTailBlock + kMaxBlockSize + kHeadBlock + kShortRoom) size *= 2;
    mask = size - 1;
    mic.assign(size, 0.0);
    ref.assign(size, 0.0);
    speaker.assign(size, 0.0);
    headIn.assign(kHeadBlock, 0.0);
    headOut.assign(kHeadBlock, 0.0);
    tailIn.assign(kTailBlock, 0.0);
    tailOut.assign(kTailBlock, 0.0);
    out.assign(2 * static_cast<std::size_t>(kMaxBlockSize), 0);
    in.assign(2 * static_cast<std::size_t>(kMaxBlockSize), 0);
  }

  void Clear() {
    std::fill(mic.begin(), mic.end(), 0.0);
    std::fill(ref.begin(), ref.end(), 0.0);
    std::fill(speaker.begin(), speaker.end(), 0.0);
    if (head) head->Reset();
    if (tail) tail->Reset();
    headFill = tailFill = 0;
    t = 0;
  }

  // One speaker sample in at time t; the room's output accumulates in `mic`.
  void Push(double x) {
    speaker[t & mask] = x;
    if (direct) {
      double y = 0;
      const int64_t taps = std::min<int64_t>(static_cast<int64_t>(room.size()), t + 1);
      for (int64_t k = 0; k < taps; ++k) y += room[static_cast<std::size_t>(k)] * speaker[(t - k) & mask];
      mic[t & mask] += y;
    } else {
      headIn[static_cast<std::size_t>(headFill++)] = x;
      if (tail) tailIn[static_cast<std::size_t>(tailFill++)] = x;
    }
    ++t;
    if (!direct && headFill == kHeadBlock) {
      std::fill(headOut.begin(), headOut.end(), 0.0);
      head->Process(headIn.data(), headOut.data());
      for (int32_t i = 0; i < kHeadBlock; ++i) mic[(t - kHeadBlock + i) & mask] += headOut[static_cast<std::size_t>(i)];
      headFill = 0;
    }
    if (tail && tailFill == kTailBlock) {
      // The tail starts at tap kTailBlock: this block's output lands one block later.
      std::fill(tailOut.begin(), tailOut.end(), 0.0);
      tail->Process(tailIn.data(), tailOut.data());
      for (int32_t i = 0; i < kTailBlock; ++i) mic[(t + i) & mask] += tailOut[static_cast<std::size_t>(i)];
      tailFill = 0;
    }
  }

  SimulatedCardSettings s;
  std::vector<double> room;
  int32_t rate;
  int32_t latency = 0;
  bool direct = true;
  std::unique_ptr<PartitionedConvolver> head, tail;
  std::size_t mask = 0;
  std::vector<double> mic, ref, speaker;  // rings indexed by room time
  std::vector<double> headIn, headOut, tailIn, tailOut;
  int32_t headFill = 0, tailFill = 0;
  int64_t t = 0;  // room time: speaker samples since the room last cleared
  bool wasActive = false;
  int32_t micChannel = kSimMicRight;
  int64_t lastRecordJob = 0;
  uint64_t jobOrdinal = 0;
  int64_t frames = 0;     // device frames since the stream opened
  std::size_t external = 0;
  std::vector<int16_t> out, in;
};

SimulatedSoundCard::SimulatedSoundCard() = default;

SimulatedSoundCard::~SimulatedSoundCard() { Close(); }

SimulatedSoundCard& SimulatedSoundCard::Instance() {
  static SimulatedSoundCard card;
  return card;
}

std::string SimulatedSoundCard::Name() const { return kSimulatedCardName; }

SimulatedSoundCard::Timing SimulatedSoundCard::TimingSinceOpen() const {
  Timing t;
  t.cycles = cycles_.load();
  t.misses = misses_.load();
  t.worstRenderMs = static_cast<double>(worstRenderNs_.load()) * 1e-6;
  int64_t seen = 0;
  for (int i = 0; i < kLatenessSteps; ++i) {
    seen += lateness_[static_cast<std::size_t>(i)].load();
    if (t.cycles > 0 && seen * 100 >= t.cycles * 99) {
      t.p99LatenessMs = 0.1 * i;
      break;
    }
  }
  return t;
}

void SimulatedSoundCard::SetSettings(const SimulatedCardSettings& s) {
  settings_ = s;
  settings_.blockSize = std::clamp(settings_.blockSize, 16, kMaxBlockSize);
  settings_.latency = std::clamp(settings_.latency, 0, kMaxLatency);
  if (settings_.room.size() > kMaxRoomTaps) settings_.room.resize(kMaxRoomTaps);
  changed_ = true;
}

bool SimulatedSoundCard::SupportsRate(bool, int32_t rate) {
  if (rate <= 0) return false;
  return settings_.rates.empty() || std::find(settings_.rates.begin(), settings_.rates.end(), rate) !=
                                        settings_.rates.end();
}

WaveStatus SimulatedSoundCard::Open(int32_t rate, bool, StreamCycle* cycle, std::string& error) {
  Close();
  if (!SupportsRate(true, rate)) {
    error = "The sound card does not support a sample rate of " + std::to_string(rate) + " Hz";
    return WaveStatus::RateNotSupported;
  }
  if (settings_.refuseOpen) {
    error = "The sound card refused to start";
    return WaveStatus::OpenFailed;
  }
  running_ = settings_;
  changed_ = false;
  engine_ = std::make_unique<Engine>(running_, running_.room.empty() ? KnownMicImpulse(rate) : running_.room, rate);
  latencyInUse_ = engine_->latency;
  cycle_ = cycle;
  open_ = true;
  stop_ = false;
  for (auto& l : lateness_) l.store(0);
  cycles_ = misses_ = worstRenderNs_ = 0;
  lost_ = false;
  if (running_.clock != SimulatedCardSettings::Clock::Manual) thread_ = std::thread([this] { ThreadMain(); });
  return WaveStatus::Ok;
}

void SimulatedSoundCard::Close() {
  if (!open_) return;
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  open_ = false;
  cycle_ = nullptr;
  engine_.reset();
}

void SimulatedSoundCard::JobArmed() {
  armedMicChannel_.store(SimulatedCardHooks.MicChannel ? SimulatedCardHooks.MicChannel() : kSimMicRight);
}

void SimulatedSoundCard::Advance(int64_t frames) {
  if (!open_ || running_.clock != SimulatedCardSettings::Clock::Manual) return;
  for (int64_t done = 0; done < frames && !lost_; done += running_.blockSize) RunCycle();
}

void SimulatedSoundCard::ThreadMain() {
  using Clock = std::chrono::steady_clock;
  const auto period = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(static_cast<double>(running_.blockSize) / engine_->rate));
  auto next = Clock::now();
  while (!stop_.load()) {
    if (lost_.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    const bool flatOut = running_.clock == SimulatedCardSettings::Clock::Instant && engine_->wasActive;
    if (flatOut) {
      next = Clock::now();
      RunCycle();
      continue;
    }
    next += period;
    if (next < Clock::now() - std::chrono::seconds(1)) next = Clock::now();  // after a stall, no burst
    std::this_thread::sleep_until(next);
    const auto start = Clock::now();
    RunCycle();
    const auto end = Clock::now();
    const int64_t late = std::chrono::duration_cast<std::chrono::microseconds>(start - next).count() / 100;
    lateness_[static_cast<std::size_t>(std::clamp<int64_t>(late, 0, kLatenessSteps - 1))].fetch_add(1);
    cycles_.fetch_add(1);
    if (end > next + period) misses_.fetch_add(1);
    const int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(end - start).count();
    if (ns > worstRenderNs_.load()) worstRenderNs_.store(ns);
  }
}

void SimulatedSoundCard::RunCycle() {
  Engine& e = *engine_;
  const SimulatedCardSettings& s = e.s;
  if (s.loseStreamAfter >= 0 && e.frames >= s.loseStreamAfter) {
    lost_ = true;
    cycle_->StreamLost();
    return;
  }
  const int32_t n = s.blockSize;
  int16_t* out = e.out.data();
  int16_t* in = e.in.data();
  const StreamCycle::Plan plan = cycle_->RenderOutput(out, n);
  if (plan.active && !e.wasActive) e.Clear();
  if (plan.started) e.micChannel = armedMicChannel_.load();
  e.wasActive = plan.active;
  if (plan.recording && plan.recordJob != e.lastRecordJob) {
    e.lastRecordJob = plan.recordJob;
    ++e.jobOrdinal;
  }
  const bool micRight = e.micChannel != kSimMicLeft;
  const int64_t t0 = e.t;
  if (plan.active) {
    for (int32_t i = 0; i < n; ++i) {
      const double left = out[2 * i], right = out[2 * i + 1];
      const double x = (micRight ? right : left) / kFullScale;
      e.ref[e.t & e.mask] = s.referenceGain * (micRight ? left : right);
      e.Push((x + s.a2 * x * x + s.a3 * x * x * x) * kFullScale);
    }
  }
  const std::vector<double>& ext = s.externalSource;
  for (int32_t i = 0; i < n; ++i) {
    double mic = 0, ref = 0;
    const int64_t tau = t0 + i - e.latency;
    if (plan.active && tau >= 0) {
      mic = e.mic[tau & e.mask];
      ref = e.ref[tau & e.mask];
      e.mic[tau & e.mask] = 0.0;  // the slot is reused for a later time
    }
    const double m = mic + s.crosstalk * ref, r = ref + s.crosstalk * mic;
    mic = m;
    ref = r;
    if (e.external < ext.size()) {
      mic += ext[e.external++];
      if (s.loopExternalSource && e.external == ext.size()) e.external = 0;
    }
    if (plan.recording && (s.micNoise != 0.0 || s.refNoise != 0.0)) {
      double g1, g2;
      GaussPair(s.seed, e.jobOrdinal, static_cast<uint64_t>(plan.recordFrame + i), g1, g2);
      mic += s.micNoise * g1;
      ref += s.refNoise * g2;
    }
    int16_t mi = ToSample(mic * s.inputGain), ri = ToSample(ref * s.inputGain);
    if (s.silentInput) mi = ri = 0;
    in[2 * i] = micRight ? ri : mi;
    in[2 * i + 1] = micRight ? mi : ri;
  }
  e.frames += n;
  cycle_->CaptureInput(in, s.recordNeverCompletes ? 0 : n);
}

}  // namespace zentor
