// A JACK server (or PipeWire's JACK service) as a sound card, on libjack itself.
// Each Open is one client named "Zentor" with four ports named for their role; the
// wiring a user makes to them is remembered for the program's run and made again
// when the next client opens, so a patchbay sees the same ports every time. The
// rate is the server's; a server that goes away is a lost stream; its xruns are
// counted. Every call that may wait on the server runs on one thread of its own,
// and the caller waits for it at most kJackAnswerMs: a stalled server never holds
// up the window.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "platform/audio/audio_device.h"

namespace zentor {

// The client's name and its ports: the left input takes the reference, the right
// the microphone (the sound-card window's box swaps the two).
inline constexpr const char* kJackClientName = "Zentor";
inline constexpr const char* kJackPortNames[4] = {"reference_in", "mic_in", "left_out", "right_out"};
// The list's name for a JACK server: its hardware ports' client.
inline constexpr const char* kJackDeviceName = "system";

inline constexpr const char* kJackNotRunning = "The JACK server is not running";
inline constexpr const char* kJackNotAnswering = "The JACK server does not answer";
// How long a caller waits for the server: a live one answers well within it.
inline constexpr int kJackAnswerMs = 2000;
// The wait in force: kJackAnswerMs, or ZENTOR_JACK_ANSWER_MS (100 to 60000) where
// a machine too busy for a live server to answer in time is set to wait longer.
int JackAnswerMs();

// libjack hears a new client's notifications on a socket named for the client and
// the user alone, not for the server, from the open until the activation or the
// close, and a first open sets up files every client shares: two of the user's
// programs opening at once, each on a server of its own, take each other's socket
// or meet half-made files. Opens take turns across the user's programs, each
// waiting at most `waitMs` for its turn, so that one held up by a frozen server
// of its own makes no other look as if its server did not answer.
class JackOpenTurn {
 public:
  explicit JackOpenTurn(int waitMs);
  ~JackOpenTurn();
  JackOpenTurn(const JackOpenTurn&) = delete;
  JackOpenTurn& operator=(const JackOpenTurn&) = delete;

 private:
  int fd_;
};
// A look at the server waits no longer for its turn.
inline constexpr int kLookTurnMs = 200;

// What a look at the server found: its rate and its hardware ports.
struct JackServerInfo {
  int32_t rate = 0;
  int32_t captures = 0, playbacks = 0;
  bool answering = true;  // false: a server is there but did not answer in time
};
// Asks the default server (JACK_DEFAULT_SERVER); false when none is running. A
// server that does not answer within kJackAnswerMs is there, marked not answering.
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
  std::string OverdueText() const override { return kJackNotAnswering; }
  std::string NotAnsweringText() const override { return server_.answering ? "" : kJackNotAnswering; }

  struct Session;

 private:
  JackServerInfo server_;
  std::shared_ptr<Session> session_;
  int32_t latencyFrames_ = 0;
};

// Forgets the wiring of the clients before, as at the program's start (tests).
void ForgetJackWiring();

// Waits, for at most `ms`, until every call to the server asked so far is done
// (tests; the program's exit).
bool WaitForJackClosed(int ms);

// True while a call to the server that did not answer in time is still under
// way: libjack then holds every other client's open, PortAudio's too.
bool JackServerNotAnswering();

// The remembered wiring, "client:port" pairs from source to destination with the
// program's own ports written ":name" (tests).
std::set<std::pair<std::string, std::string>> RememberedJackWiring();

}  // namespace zentor
