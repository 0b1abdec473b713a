// The tests' own JACK client: wires the program's ports by their names as a test
// asks, straight from its outputs to its inputs or through a known system of its
// own (a gain and a peaking filter and a delay on one channel), cuts the wires on
// demand, and can be late in its cycles as a slow client in the chain is.
#pragma once

#include <jack/jack.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <complex>
#include <mutex>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/jack_device.h"
#include "support/jack_server.h"

namespace zentor::test {

// RBJ peaking filter, normalised (a0 = 1).
struct Biquad {
  double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
  static Biquad Peaking(double f0, double gainDb, double q, double rate) {
    const double a = std::pow(10.0, gainDb / 40), w = 2 * std::numbers::pi * f0 / rate;
    const double alpha = std::sin(w) / (2 * q), a0 = 1 + alpha / a;
    return {(1 + alpha * a) / a0, -2 * std::cos(w) / a0, (1 - alpha * a) / a0, -2 * std::cos(w) / a0,
            (1 - alpha / a) / a0};
  }
  double MagnitudeDb(double f, double rate) const {
    const std::complex<double> z1 = std::polar(1.0, -2 * std::numbers::pi * f / rate), z2 = z1 * z1;
    return 20 * std::log10(std::abs((b0 + b1 * z1 + b2 * z2) / (1.0 + a1 * z1 + a2 * z2)));
  }
};

class JackPatch {
 public:
  enum class Wiring { None, Loopback, Through };

  ~JackPatch() { Close(); }
  // Joins the default server; "" when joined, else why not.
  std::string Open() {
    Close();  // one lost with the last server leaves before another opens
    jack_status_t status{};
    // Named for this test program: libjack's socket for a client's notifications
    // is named for the client, and test programs run side by side.
    const std::string name = "zentor-patch-" + std::to_string(getpid());
    ProgramJackCallsDone();
    const std::optional<JackOpenTurn> turn = FirstOpenTurn();
    client_ = jack_client_open(name.c_str(), JackNoStartServer, &status);
    if (!client_) return "the test's JACK client could not join the server: status " + std::to_string(status);
    for (int c = 0; c < 2; ++c) {
      const std::string n = std::to_string(c + 1);
      in_[c] = jack_port_register(client_, ("in_" + n).c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
      out_[c] = jack_port_register(client_, ("out_" + n).c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    }
    line_.assign(1, 0.0f);
    jack_set_process_callback(client_, &JackPatch::Process, this);
    if (jack_activate(client_) != 0) return "the test's JACK client could not start";
    quit_ = false;
    // The program registers its ports when it opens the card: they are wired
    // within a few milliseconds, long before the measured period begins.
    wirer_ = std::thread([this] {
      while (!quit_) {
        WireOnce();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    });
    return "";
  }
  void Close() {
    quit_ = true;
    if (wirer_.joinable()) wirer_.join();
    if (client_) {
      ProgramJackCallsDone();
      jack_client_close(client_);
    }
    client_ = nullptr;
  }
  // From now on, and for ports the program registers later. Through: both
  // channels pass the client, `channel` (0 left, 1 right) through the gain, the
  // filter and the delay.
  void Wire(Wiring w, int channel = 1, Biquad filter = {}, int delay = 0, float gain = 1) {
    wiring_ = 0;
    jack_deactivate(client_);
    channel_ = channel;
    gain_ = gain;
    filter_ = filter;
    z1_ = z2_ = 0;
    line_.assign(static_cast<std::size_t>(delay) + 1, 0.0f);
    at_ = 0;
    jack_activate(client_);
    wiring_ = static_cast<int>(w);
    WireOnce();
  }
  // Wires once, as a user does in a patchbay, and leaves the wires to the program.
  void WireByHand(Wiring w) {
    Wire(w);
    wiring_ = 0;
  }
  // Every `every`-th cycle from now on sleeps past two periods (0: none).
  void BeLate(int every) { lateEvery_ = every; }
  std::string Name() const { return jack_get_client_name(client_); }
  // The full names of the ports matching `pattern` (a regular expression).
  std::vector<std::string> Ports(const char* pattern) const {
    std::vector<std::string> names;
    if (const char** ports = jack_get_ports(client_, pattern, nullptr, 0)) {
      for (const char** p = ports; *p; ++p) names.emplace_back(*p);
      jack_free(ports);
    }
    return names;
  }
  // The full names of the ports wired to port `name`.
  std::vector<std::string> Connections(const char* name) const {
    std::vector<std::string> names;
    jack_port_t* port = jack_port_by_name(client_, name);
    if (const char** ports = port ? jack_port_get_all_connections(client_, port) : nullptr) {
      for (const char** p = ports; *p; ++p) names.emplace_back(*p);
      jack_free(ports);
    }
    return names;
  }
  // Cuts every wire into the program's inputs and makes none again.
  void CutInputs() {
    std::lock_guard<std::mutex> hold(wiringLock_);
    wiring_ = 0;
    for (const char* in : kProgramIn)
      if (jack_port_t* p = jack_port_by_name(client_, in)) jack_port_disconnect(client_, p);
  }

 private:
  static constexpr const char* kProgramOut[2] = {"Zentor:left_out", "Zentor:right_out"};
  static constexpr const char* kProgramIn[2] = {"Zentor:reference_in", "Zentor:mic_in"};

  static int Process(jack_nframes_t frames, void* self) {
    auto* p = static_cast<JackPatch*>(self);
    if (const int every = p->lateEvery_.load(); every > 0 && ++p->cycles_ % every == 0)
      std::this_thread::sleep_for(std::chrono::microseconds(2000000LL * frames / jack_get_sample_rate(p->client_)));
    for (int c = 0; c < 2; ++c) {
      const auto* in = static_cast<const float*>(jack_port_get_buffer(p->in_[c], frames));
      auto* out = static_cast<float*>(jack_port_get_buffer(p->out_[c], frames));
      for (jack_nframes_t i = 0; i < frames; ++i) {
        if (c != p->channel_) {
          out[i] = in[i];
          continue;
        }
        // Direct form II transposed, then the delay line.
        const Biquad& f = p->filter_;
        const double x = p->gain_ * in[i], y = f.b0 * x + p->z1_;
        p->z1_ = f.b1 * x - f.a1 * y + p->z2_;
        p->z2_ = f.b2 * x - f.a2 * y;
        p->line_[p->at_] = static_cast<float>(y);
        p->at_ = (p->at_ + 1) % p->line_.size();
        out[i] = p->line_[p->at_];
      }
    }
    return 0;
  }
  void Connect(const std::string& from, const std::string& to) {
    jack_port_t* a = jack_port_by_name(client_, from.c_str());
    jack_port_t* b = jack_port_by_name(client_, to.c_str());
    if (a && b && !jack_port_connected_to(a, to.c_str())) jack_connect(client_, from.c_str(), to.c_str());
  }
  void WireOnce() {
    std::lock_guard<std::mutex> hold(wiringLock_);
    const int w = wiring_.load();
    const std::string me = jack_get_client_name(client_);
    for (int c = 0; c < 2 && w != 0; ++c) {
      if (w == static_cast<int>(Wiring::Loopback)) {
        Connect(kProgramOut[c], kProgramIn[c]);
      } else {
        Connect(kProgramOut[c], me + ":in_" + std::to_string(c + 1));
        Connect(me + ":out_" + std::to_string(c + 1), kProgramIn[c]);
      }
    }
  }

  jack_client_t* client_ = nullptr;
  jack_port_t *in_[2]{}, *out_[2]{};
  std::atomic<int> wiring_{0};
  int channel_ = 1;
  float gain_ = 1;
  std::atomic<int> lateEvery_{0};
  int64_t cycles_ = 0;
  Biquad filter_;
  double z1_ = 0, z2_ = 0;
  std::vector<float> line_;
  std::size_t at_ = 0;
  std::mutex wiringLock_;  // a cut is never undone by a wiring pass under way
  std::atomic<bool> quit_{false};
  std::thread wirer_;
};

}  // namespace zentor::test
