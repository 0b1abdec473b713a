// A private JACK server for the tests that measure through a real audio server:
// the dummy driver (real time, no sound hardware), no real-time scheduling, period
// 1024, two capture and two playback ports unless told otherwise, a name no other
// running server has, so that test programs running side by side never meet. The
// server dies with the test program, however that ends.
//
// It runs synchronously: each cycle waits for its clients (up to the client
// timeout), so that a loaded machine delays cycles instead of dropping them. An
// asynchronous server reports a client late by a period as an xrun, as a server
// on a real interface does.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

#include "platform/audio/jack_device.h"

namespace zentor::test {

class JackServer {
 public:
  enum class Mode { Sync, Async };
  explicit JackServer(int32_t rate = 48000, int32_t captures = 2, Mode mode = Mode::Sync);
  ~JackServer();
  JackServer(const JackServer&) = delete;
  JackServer& operator=(const JackServer&) = delete;

  // Starts the server (again under its first name after a Kill or Stop), makes
  // it this process's default (and its children's: JACK_DEFAULT_SERVER) and waits
  // until it answers. "" when it runs, else why not.
  std::string Start();
  // Ends it as a crash would (SIGKILL) and waits for it.
  void Kill();
  // Ends it orderly (SIGTERM; SIGKILL when it will not go) and waits for it.
  void Stop();
  bool Running() const { return pid_ > 0; }
  // Stops it where it stands (SIGSTOP), as a wedged driver or a suspended machine
  // does, and lets it go on (SIGCONT); Kill and Stop let it go on first.
  void Freeze() const;
  void Resume() const;
  // The rate of the next Start.
  void SetRate(int32_t rate) { rate_ = rate; }
  // Points this process's JACK clients, and the programs it starts, at the server.
  void MakeDefault() const;

 private:
  static bool Answers(const std::string& name);
  std::string Launch(const std::string& name);
  void Reap(int signal);

  int32_t rate_, captures_;
  Mode mode_;
  std::string name_;
  int lock_ = -1;  // holds the name against other test programs
  pid_t pid_ = -1;
};

// Set ZENTOR_NO_AUDIO_SERVER=1 on a machine that cannot run one: the tests that
// need a server are skipped instead of failing.
bool AudioServerOptional();

// This process's first open of a client sets up libjack's files that every client
// shares: it takes its turn with the other programs' opens. Later opens need none.
std::optional<JackOpenTurn> FirstOpenTurn();

// Waits until the program's own calls to the server are done: libjack deadlocks on
// a test client's open or close beside one. A close of a client whose server froze
// or went waits out the server's 5 s timeout, more on a loaded machine. False when
// one is still under way after 20 s.
bool ProgramJackCallsDone();

}  // namespace zentor::test

// In a test or its SetUp: starts `server`, failing the test when it cannot start
// (skipping it when the machine is excused).
#define ZENTOR_START_JACK(server)                                                    \
  do {                                                                               \
    if (const std::string why_ = (server).Start(); !why_.empty()) {                  \
      if (::zentor::test::AudioServerOptional()) GTEST_SKIP() << why_;               \
      FAIL() << "The JACK server did not start: " << why_;                           \
    }                                                                                \
  } while (0)
