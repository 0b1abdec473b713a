// The tests' own JACK client: wires the program's PortAudio ports as a test asks,
// straight from its outputs to its inputs or through a known system of its own (a
// peaking filter and a delay on one channel), and cuts the wires on demand.
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zentor::test {

// RBJ peaking filter, normalised (a0 = 1).
struct Biquad {
  double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
  static Biquad Peaking(double f0, double gainDb, double q, double rate);
  double MagnitudeDb(double f, double rate) const;
};

class JackPatch {
 public:
  enum class Wiring { None, Loopback, Through };

  JackPatch() = default;
  ~JackPatch() { Close(); }
  // Joins the default server; "" when joined, else why not.
  std::string Open();
  void Close();
  // From now on, and for ports PortAudio registers later. Through: both channels
  // pass the client, `channel` (0 left, 1 right) through the filter and the delay.
  void Wire(Wiring w, int channel = 1, Biquad filter = {}, int delay = 0);
  // Cuts every wire into the program's inputs and makes none again.
  void CutInputs();

 private:
  static int Process(jack_nframes_t frames, void* self);
  void WireOnce();
  void KeepWired();
  void Connect(const std::string& from, const std::string& to);

  jack_client_t* client_ = nullptr;
  jack_port_t *in_[2]{}, *out_[2]{};
  std::atomic<int> wiring_{0};
  int channel_ = 1, delay_ = 0;
  Biquad filter_;
  double z1_ = 0, z2_ = 0;
  std::vector<float> line_;
  std::size_t at_ = 0;
  std::mutex wiringLock_;  // a cut is never undone by a wiring pass under way
  std::atomic<bool> quit_{false};
  std::thread wirer_;
};

}  // namespace zentor::test
