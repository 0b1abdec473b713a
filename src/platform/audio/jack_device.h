// A JACK server (or PipeWire's JACK service) as a sound card, on libjack itself.
// Each Open is one client named "Zentor" with four ports named for their role; the
// wiring a user makes to them is remembered for the program's run and made again
// when the next client opens, so a patchbay sees the same ports every time. The
// rate is the server's; a server that goes away is a lost stream; its xruns are
// counted. The client closes on a thread of its own: a stalled server never holds
// up the caller.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/audio/audio_device.h"

namespace zentor {

// The client's name and its ports: the left input takes the reference, the right
// the microphone (the sound-card window's box swaps the two).
inline constexpr const char* kJackClientName = "Zentor";
inline constexpr const char* kJackPortNames[4] = {"reference_in", "mic_in", "left_out", "right_out"};
// The list's name for a JACK server: its hardware ports' client.
inline constexpr const char* kJackDeviceName = "system";

inline constexpr const char* kJackNotRunning = "The JACK server is not running";

// What a look at the server found: its rate and its hardware ports.
struct JackServerInfo {
  int32_t rate = 0;
  int32_t captures = 0, playbacks = 0;
};
// Asks the default server (JACK_DEFAULT_SERVER); false when none answers.
bool ProbeJackServer(JackServerInfo& info);

class JackDevice final : public AudioDevice {
 public:
  explicit JackDevice(const JackServerInfo& server) : server_(server) {}
  ~JackDevice() override;

  std::string Name() const override { return kJackDeviceName; }
  bool SupportsRate(bool input, int32_t rate) override;
  bool HasOutput() const override { return true; }
  int32_t InputChannels() const override { return server_.captures; }
  int32_t OutputChannels() const override { return server_.playbacks; }
  WaveStatus Open(int32_t rate, bool withOutput, StreamCycle* cycle, std::string& error) override;
  void Close() override;
  int32_t OutputLatencyFrames() const override { return latencyFrames_; }
  int64_t Xruns() const override;
  bool Lost() const override;

  struct Session;

 private:
  JackServerInfo server_;
  std::shared_ptr<Session> session_;
  int32_t latencyFrames_ = 0;
};

// Forgets the wiring of the clients before, as at the program's start (tests).
void ForgetJackWiring();

// Waits, for at most `ms`, until the clients closed on their own threads are gone
// (tests; the program's exit).
bool WaitForJackClosed(int ms);

}  // namespace zentor
