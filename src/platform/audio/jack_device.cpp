#include "platform/audio/jack_device.h"

#include <jack/jack.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "platform/audio/sound_system_messages.h"

namespace zentor {

namespace {

constexpr int kChannels = 2;
// A period longer than this runs as several engine cycles.
constexpr int32_t kChunkFrames = 4096;
// How long an Open waits for the client before it to leave, so that the new one
// gets the name; a live server answers within its client timeout.
constexpr int kCloseWaitMs = 6000;

// The wiring of the program's ports, kept across clients for the program's run:
// pairs of (source, destination), the program's own ports written ":name".
struct Wiring {
  std::mutex lock;
  bool known = false;  // a client has been opened: its wiring is the user's
  std::set<std::pair<std::string, std::string>> pairs;
};
Wiring& Wires() {
  static auto* wires = new Wiring;  // never destroyed: a closing client may still report
  return *wires;
}

// The clients closing on threads of their own, newest last.
struct Closing {
  std::thread thread;
  std::shared_future<void> done;
};
std::mutex g_closeLock;
std::vector<Closing> g_closing;

// Joins the closes that are done; true when none is left within `ms`.
bool WaitForLastClose(int ms) {
  std::lock_guard hold(g_closeLock);
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (auto it = g_closing.begin(); it != g_closing.end();) {
    if (it->done.wait_until(until) != std::future_status::ready) return false;
    it->thread.join();
    it = g_closing.erase(it);
  }
  return true;
}

// The program's end lets the last client leave the server before libjack itself
// goes; one the server keeps waiting is left to the end of the process.
struct LeaveAtExit {
  ~LeaveAtExit() {
    WaitForLastClose(3000);
    for (Closing& c : g_closing) c.thread.detach();
  }
} g_leaveAtExit;

jack_client_t* OpenClient(const char* name, jack_status_t& status) {
  QuietSoundSystemMessages();
  return jack_client_open(name, JackNoStartServer, &status);
}

// The hardware ports on one side: capture ports send into the graph.
std::vector<std::string> HardwarePorts(jack_client_t* c, bool capture) {
  std::vector<std::string> names;
  const unsigned long flags = JackPortIsPhysical | (capture ? JackPortIsOutput : JackPortIsInput);
  if (const char** ports = jack_get_ports(c, nullptr, JACK_DEFAULT_AUDIO_TYPE, flags)) {
    for (const char** p = ports; *p; ++p) names.emplace_back(*p);
    jack_free(ports);
  }
  return names;
}

int16_t Saturated(float x) {
  const float scaled = std::nearbyint(x * 32768.0f);
  return static_cast<int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
}

}  // namespace

struct JackDevice::Session {
  jack_client_t* client = nullptr;
  std::array<jack_port_t*, 4> ports{};
  StreamCycle* cycle = nullptr;
  std::atomic<bool> closing{false}, lost{false};
  std::atomic<int> busy{0};  // callbacks in progress that reach the engine
  std::atomic<int64_t> xruns{0};
  std::atomic<bool> xrunSeen{false};
  // Process thread only: where the next cycle starts when none went missing.
  bool running = false;
  jack_nframes_t nextFrame = 0;
  std::vector<int16_t> in, out;

  // Whether `port` is one of ours, and its name in the wiring record.
  std::string Recorded(jack_port_t* port) const {
    if (!port) return "";
    const char* full = jack_port_name(port);
    if (!full) return "";
    if (!jack_port_is_mine(client, port)) return full;
    const char* shortName = jack_port_short_name(port);
    return std::string(":") + (shortName ? shortName : "");
  }
  std::string Full(const std::string& recorded) const {
    return recorded.rfind(':', 0) == 0 ? jack_get_client_name(client) + recorded : recorded;
  }
  // The wiring as the server has it now; the callbacks report it late, if at all.
  void Snapshot() {
    const std::string me = std::string(jack_get_client_name(client)) + ":";
    auto recorded = [&me](const char* full) {
      const std::string name = full;
      return name.rfind(me, 0) == 0 ? ":" + name.substr(me.size()) : name;
    };
    std::set<std::pair<std::string, std::string>> pairs;
    for (std::size_t p = 0; p < 4; ++p) {
      const std::string mine = std::string(":") + kJackPortNames[p];
      if (const char** others = jack_port_get_all_connections(client, ports[p])) {
        for (const char** o = others; *o; ++o)
          pairs.insert(p < 2 ? std::pair{recorded(*o), mine} : std::pair{mine, recorded(*o)});
        jack_free(others);
      }
    }
    std::lock_guard hold(Wires().lock);
    Wires().pairs = std::move(pairs);
  }
  void Connect(const std::string& from, const std::string& to) {
    if (jack_connect(client, Full(from).c_str(), Full(to).c_str()) == 0) {
      std::lock_guard hold(Wires().lock);
      Wires().pairs.emplace(from, to);
    }
  }

  static int Process(jack_nframes_t frames, void* self) {
    auto& s = *static_cast<Session*>(self);
    std::array<float*, 4> buf{};
    for (std::size_t p = 0; p < 4; ++p) buf[p] = static_cast<float*>(jack_port_get_buffer(s.ports[p], frames));
    // The server tells a client only of its own lateness; a cycle skipped for
    // another's (a slow client in the chain) shows as a gap in the frame time.
    const jack_nframes_t start = jack_last_frame_time(s.client);
    const bool gap = s.running && start != s.nextFrame;
    s.running = true;
    s.nextFrame = start + frames;
    if (s.xrunSeen.exchange(false) || gap) s.xruns.fetch_add(1);
    s.busy.fetch_add(1);
    if (s.closing.load()) {
      s.busy.fetch_sub(1);
      std::fill(buf[2], buf[2] + frames, 0.0f);
      std::fill(buf[3], buf[3] + frames, 0.0f);
      return 0;
    }
    for (jack_nframes_t done = 0; done < frames;) {
      const auto n = static_cast<int32_t>(std::min<jack_nframes_t>(frames - done, kChunkFrames));
      s.cycle->RenderOutput(s.out.data(), n);
      for (int32_t i = 0; i < n; ++i) {
        for (int c = 0; c < kChannels; ++c) {
          buf[2 + c][done + i] = s.out[2 * i + c] / 32768.0f;
          s.in[2 * i + c] = Saturated(buf[c][done + i]);
        }
      }
      s.cycle->CaptureInput(s.in.data(), n);
      done += static_cast<jack_nframes_t>(n);
    }
    s.busy.fetch_sub(1);
    return 0;
  }
  static int Xrun(void* self) {
    static_cast<Session*>(self)->xrunSeen.store(true);
    return 0;
  }
  static void Shutdown(jack_status_t, const char*, void* self) {
    auto& s = *static_cast<Session*>(self);
    s.lost.store(true);
    s.busy.fetch_add(1);
    if (!s.closing.load()) s.cycle->StreamLost();
    s.busy.fetch_sub(1);
  }
  static void Connected(jack_port_id_t a, jack_port_id_t b, int connect, void* self) {
    auto& s = *static_cast<Session*>(self);
    if (s.closing.load()) return;  // a closing client's ports drop their wires
    jack_port_t* pa = jack_port_by_id(s.client, a);
    jack_port_t* pb = jack_port_by_id(s.client, b);
    if (!pa || !pb || (!jack_port_is_mine(s.client, pa) && !jack_port_is_mine(s.client, pb))) return;
    if (!(jack_port_flags(pa) & JackPortIsOutput)) std::swap(pa, pb);
    std::pair<std::string, std::string> wire{s.Recorded(pa), s.Recorded(pb)};
    std::lock_guard hold(Wires().lock);
    if (connect) Wires().pairs.insert(std::move(wire));
    else Wires().pairs.erase(wire);
  }
};

bool ProbeJackServer(JackServerInfo& info) {
  jack_status_t status{};
  jack_client_t* c = OpenClient(kJackClientName, status);
  if (!c) return false;
  info.rate = static_cast<int32_t>(jack_get_sample_rate(c));
  info.captures = static_cast<int32_t>(HardwarePorts(c, true).size());
  info.playbacks = static_cast<int32_t>(HardwarePorts(c, false).size());
  jack_client_close(c);
  return true;
}

void ForgetJackWiring() {
  std::lock_guard hold(Wires().lock);
  Wires().known = false;
  Wires().pairs.clear();
}

bool WaitForJackClosed(int ms) { return WaitForLastClose(ms); }

JackDevice::~JackDevice() { Close(); }

bool JackDevice::SupportsRate(bool, int32_t rate) {
  if (session_ && !session_->lost.load()) return rate == static_cast<int32_t>(jack_get_sample_rate(session_->client));
  // Open asks the server itself, and says when it is gone.
  return rate == server_.rate || server_.rate <= 0;
}

WaveStatus JackDevice::Open(int32_t rate, bool withOutput, StreamCycle* cycle, std::string& error) {
  Close();
  WaitForJackClosed(kCloseWaitMs);
  auto s = std::make_shared<Session>();
  jack_status_t status{};
  s->client = OpenClient(kJackClientName, status);
  if (!s->client) {
    error = (status & JackServerFailed) ? kJackNotRunning : "The sound card could not be opened: the JACK server refused";
    return WaveStatus::OpenFailed;
  }
  const std::vector<std::string> captures = HardwarePorts(s->client, true), playbacks = HardwarePorts(s->client, false);
  server_ = {static_cast<int32_t>(jack_get_sample_rate(s->client)), static_cast<int32_t>(captures.size()),
             static_cast<int32_t>(playbacks.size())};
  WaveStatus failed = WaveStatus::Ok;
  if (server_.rate != rate) {
    error = "The sound card does not support a sample rate of " + std::to_string(rate) + " Hz";
    failed = WaveStatus::RateNotSupported;
  } else if (error = ChannelShortageText(server_.captures, server_.playbacks, withOutput); !error.empty()) {
    failed = WaveStatus::OpenFailed;
  }
  for (std::size_t p = 0; p < 4 && failed == WaveStatus::Ok; ++p) {
    s->ports[p] = jack_port_register(s->client, kJackPortNames[p], JACK_DEFAULT_AUDIO_TYPE,
                                     p < 2 ? JackPortIsInput : JackPortIsOutput, 0);
    if (!s->ports[p]) {
      error = "The sound card could not be opened: the JACK server refused its ports";
      failed = WaveStatus::OpenFailed;
    }
  }
  if (failed == WaveStatus::Ok) {
    s->cycle = cycle;
    s->in.assign(static_cast<std::size_t>(kChunkFrames) * kChannels, 0);
    s->out.assign(static_cast<std::size_t>(kChunkFrames) * kChannels, 0);
    jack_set_process_callback(s->client, &Session::Process, s.get());
    jack_set_xrun_callback(s->client, &Session::Xrun, s.get());
    jack_on_info_shutdown(s->client, &Session::Shutdown, s.get());
    jack_set_port_connect_callback(s->client, &Session::Connected, s.get());
    if (jack_activate(s->client) != 0) {
      error = "The sound card could not be opened: the JACK server did not start the client";
      failed = WaveStatus::OpenFailed;
    }
  }
  if (failed != WaveStatus::Ok) {
    jack_client_close(s->client);
    return failed;
  }
  session_ = s;
  // The user's wiring from the clients before; the first client of a run goes to
  // the first two hardware ports of each side.
  std::set<std::pair<std::string, std::string>> wires;
  {
    std::lock_guard hold(Wires().lock);
    if (!Wires().known) {
      Wires().known = true;
      for (std::size_t c = 0; c < kChannels; ++c) {
        if (c < captures.size()) Wires().pairs.emplace(captures[c], std::string(":") + kJackPortNames[c]);
        if (c < playbacks.size()) Wires().pairs.emplace(std::string(":") + kJackPortNames[2 + c], playbacks[c]);
      }
    }
    wires = Wires().pairs;
  }
  for (const auto& [from, to] : wires) s->Connect(from, to);
  jack_latency_range_t range{};
  jack_port_get_latency_range(s->ports[2], JackPlaybackLatency, &range);
  latencyFrames_ = static_cast<int32_t>(range.max);
  return WaveStatus::Ok;
}

void JackDevice::Close() {
  if (!session_) return;
  std::shared_ptr<Session> s = std::move(session_);
  session_.reset();
  if (!s->lost.load()) s->Snapshot();
  s->closing.store(true);
  // A callback under way finishes its cycle; none starts another.
  while (s->busy.load() != 0) std::this_thread::yield();
  // A client whose server went away leaves at once, and here: libjack does not
  // take that close on one thread while another thread opens a client.
  if (s->lost.load()) {
    WaitForLastClose(kCloseWaitMs);
    jack_client_close(s->client);
    return;
  }
  auto done = std::make_shared<std::promise<void>>();
  std::lock_guard hold(g_closeLock);
  // The session outlives the client: its callbacks may run until the close returns.
  g_closing.push_back({std::thread([s, done] {
                         jack_client_close(s->client);
                         done->set_value();
                       }),
                       done->get_future().share()});
}

int64_t JackDevice::Xruns() const { return session_ ? session_->xruns.load() : 0; }

bool JackDevice::Lost() const { return session_ && session_->lost.load(); }

}  // namespace zentor
