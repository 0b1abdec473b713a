// A deterministic sound card with a loudspeaker in a room on one input and a
// loopback reference on the other, so that the program measures without hardware.
//
// Signal model, in double, per device frame t since the room last fell idle:
//   speaker(t) = output on the microphone's side (MicChannel at job start: 99 the
//                right output feeds the speaker and the right input is the
//                microphone, 33 the left), through y = x + a2 x^2 + a3 x^3 with x
//                over full scale (32768);
//   mic(t)     = (room ⊛ speaker)(t - latency) + crosstalk * ref(t) + external source;
//   ref(t)     = referenceGain * other output(t - latency) + crosstalk * mic(t);
//   each input gets inputGain, Gaussian noise (sigma in LSB) drawn from a generator
//   keyed by (seed, record job, frame of that job), so timing never changes a result;
//   round half to even, clip to 16 bits.
// The room is convolved by FFT partitions (a short room directly); a room longer than
// kShortRoom taps needs latency >= kMinPartitionedLatency, which Open enforces.
// Room state (the history the room rings from) clears when no job runs.
//
// Settings are read when the stream opens; the engine reopens at the next Prep that
// finds the card unused after a setting changed. Setters are for the UI thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/audio_device.h"

namespace zentor {

// The microphone channel codes (records of the core layer hold the setting).
inline constexpr int32_t kSimMicRight = 99;
inline constexpr int32_t kSimMicLeft = 33;

// The microphone channel in force when a job is armed; the measurement layer sets
// it at start-up. Unset: the right input.
struct SimulatedCardLinks {
  std::function<int32_t()> MicChannel;
};
extern SimulatedCardLinks SimulatedCardHooks;

struct SimulatedCardSettings {
  enum class Clock { RealTime, Instant, Manual };
  // RealTime: own thread, paced by the wall clock (the program's default). Instant:
  // own thread, as fast as it goes while a job runs. Manual: cycles run only in
  // Advance(), on the caller's thread.
  Clock clock = Clock::RealTime;
  int32_t blockSize = 1024;          // frames per device cycle, 16..8192
  int32_t latency = 480;             // frames, both inputs
  double referenceGain = 0.5;
  double crosstalk = 0.0;
  double a2 = 0.0, a3 = 0.0;         // loudspeaker distortion
  double micNoise = 1.0;             // sigma, LSB
  double refNoise = 0.5;
  double inputGain = 1.0;            // on both inputs, before rounding (clipping tests)
  uint64_t seed = 1;
  // The room's impulse response; empty: ZENTOR_SIM_ROOM or the default room.
  std::vector<double> room;
  // Rates the card opens; empty: every rate.
  std::vector<int32_t> rates;
  // Faults.
  bool silentInput = false;          // both inputs read 0
  bool recordNeverCompletes = false; // record jobs take no frames
  bool recordCompletionFirst = false;// MM_WIM_DATA before MM_WOM_DONE in one cycle
  int64_t loseStreamAfter = -1;      // the stream dies after this many frames
  bool refuseOpen = false;           // the stream will not open
  // Added to the microphone input from the first cycle after the stream opens,
  // once or repeated.
  std::vector<double> externalSource;
  bool loopExternalSource = false;
};

class SimulatedSoundCard final : public AudioDevice {
 public:
  static constexpr int32_t kShortRoom = 64;
  static constexpr int32_t kMinPartitionedLatency = 127;

  SimulatedSoundCard();
  ~SimulatedSoundCard() override;

  // The card the device list offers.
  static SimulatedSoundCard& Instance();

  const SimulatedCardSettings& Settings() const { return settings_; }
  void SetSettings(const SimulatedCardSettings& s);
  // Back to the defaults (tests).
  void ResetSettings() { SetSettings(SimulatedCardSettings{}); }

  // Manual clock: runs whole cycles until at least `frames` frames have passed (no
  // effect while the stream is closed). UI thread.
  void Advance(int64_t frames);

  // How the paced clock kept time since the stream opened (RealTime and Instant).
  struct Timing {
    int64_t cycles = 0;
    int64_t misses = 0;          // cycles that ended after their deadline
    double worstRenderMs = 0;    // longest cycle
    double p99LatenessMs = 0;    // how late cycles started, 99th percentile
  };
  Timing TimingSinceOpen() const;

  std::string Name() const override;
  bool SupportsRate(bool input, int32_t rate) override;
  bool HasOutput() const override { return true; }
  WaveStatus Open(int32_t rate, bool withOutput, StreamCycle* cycle, std::string& error) override;
  void Close() override;
  int32_t OutputLatencyFrames() const override { return latencyInUse_; }
  void JobArmed() override;
  bool NeedsReopen() const override { return changed_; }
  bool RecordCompletionFirst() const override { return running_.recordCompletionFirst; }

 private:
  struct Engine;  // the render state, owned by the device thread while open

  void RunCycle();
  void ThreadMain();

  SimulatedCardSettings settings_;  // as set (UI thread)
  SimulatedCardSettings running_;   // as opened
  bool changed_ = false;
  bool open_ = false;
  int32_t latencyInUse_ = 0;
  StreamCycle* cycle_ = nullptr;
  std::unique_ptr<Engine> engine_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> lost_{false};
  std::atomic<uint32_t> wake_{0};
  std::atomic<int32_t> armedMicChannel_{kSimMicRight};
  // Timing of the paced clock: lateness in 0.1 ms steps, the last step open-ended.
  static constexpr int kLatenessSteps = 512;
  std::array<std::atomic<int64_t>, kLatenessSteps> lateness_{};
  std::atomic<int64_t> cycles_{0}, misses_{0}, worstRenderNs_{0};
};

// The room the card uses at `rate`, which is the tests' oracle: the file named by
// ZENTOR_SIM_ROOM when it holds a mono WAV at that rate, else the default room.
std::vector<double> KnownMicImpulse(int32_t rate);
// The room the card measures at `rate`, named for the window ("built-in, 2 m" or the
// file's path), and why a file named by ZENTOR_SIM_ROOM (or SetSimulatedRoomFile)
// was refused, naming where it was named ("" when it was taken or none was named).
// `firstTime` is true only the first time this process meets that file with that problem.
struct SimulatedRoom {
  std::string name;
  std::string problem;
  bool firstTime = false;
};
SimulatedRoom DescribeSimulatedRoom(int32_t rate);
// A room file in place of ZENTOR_SIM_ROOM's; `origin` names it in the card's
// messages ("--room"). An empty path gives ZENTOR_SIM_ROOM its place back.
void SetSimulatedRoomFile(const std::string& path, const std::string& origin);
// The default room at `rate`: direct sound 0.1 after 2 m (nint(2 rate / 343)
// samples) through 2nd-order Butterworth high-pass 45 Hz and low-pass
// min(18 kHz, 0.4 rate); reflections; a noise tail and two modes decaying with
// T60 0.25 s; 0.45 s long.
std::vector<double> DefaultRoomImpulse(int32_t rate);
// Reads a mono 16-bit PCM or 32-bit float WAV at `rate` (at most 2^17 samples);
// false with the reason in `why`.
bool ReadRoomWave(const std::string& path, int32_t rate, std::vector<double>& samples, std::string& why);

}  // namespace zentor
