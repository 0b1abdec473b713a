#include "platform/audio/jack_device.h"

#include <fcntl.h>
#include <jack/jack.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/audio/sound_system_messages.h"

namespace zentor {

namespace {

constexpr int kChannels = 2;
// A period longer than this runs as several engine cycles.
constexpr int32_t kChunkFrames = 4096;

using Wire = std::pair<std::string, std::string>;

// The wiring of the program's ports, kept across clients for the program's run:
// pairs of (source, destination), the program's own ports written ":name". Only
// the user's own connect and disconnect change it: a disconnection is held
// pending until the client closes, and kept after all when one of its ports has
// gone (a client that went away, a server that stopped).
struct Wiring {
  std::mutex lock;
  bool known = false;  // a client has been opened: its wiring is the user's
  std::set<Wire> pairs, pending;
};
Wiring& Wires() {
  static auto* wires = new Wiring;  // never destroyed: a closing client may still report
  return *wires;
}

// Every call that may wait on the server, in the order asked, on one thread:
// libjack makes an open wait behind a close under way anyway, and a lost client
// must leave before the next one opens.
class ServerCalls {
 public:
  static ServerCalls& Get() {
    // Never destroyed: a call the server holds up may outlast the program's end.
    static auto* calls = new ServerCalls;
    return *calls;
  }
  void Post(std::function<void()> job) {
    std::lock_guard hold(lock_);
    ++posted_;
    jobs_.push_back(std::move(job));
    wake_.notify_all();
  }
  // Runs `job` there and waits for it at most `ms`; false when it did not end in
  // time (it still runs once the server answers). While a call that did not end
  // holds the thread, the next fails at once.
  bool Run(std::function<void()> job, int ms) {
    std::unique_lock hold(lock_);
    if (stuck_ > done_) return false;
    const uint64_t ticket = ++posted_;
    jobs_.push_back(std::move(job));
    wake_.notify_all();
    if (wake_.wait_for(hold, std::chrono::milliseconds(ms), [&] { return done_ >= ticket; })) return true;
    stuck_ = ticket;
    return false;
  }
  // A call that did not end in time still holds the thread.
  bool Stuck() {
    std::lock_guard hold(lock_);
    return stuck_ > done_;
  }
  // Waits at most `ms` until every call asked so far is done.
  bool WaitIdle(int ms) {
    std::unique_lock hold(lock_);
    const uint64_t last = posted_;
    return wake_.wait_for(hold, std::chrono::milliseconds(ms), [&] { return done_ >= last; });
  }

 private:
  ServerCalls() : thread_([this] { Loop(); }) { thread_.detach(); }
  void Loop() {
    std::unique_lock hold(lock_);
    for (;;) {
      wake_.wait(hold, [this] { return !jobs_.empty(); });
      std::function<void()> job = std::move(jobs_.front());
      jobs_.pop_front();
      hold.unlock();
      job();
      hold.lock();
      ++done_;
      wake_.notify_all();
    }
  }
  std::mutex lock_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  uint64_t posted_ = 0, done_ = 0, stuck_ = 0;
  std::thread thread_;
};

// The program's end lets the last client leave the server before libjack itself
// goes; one the server keeps waiting is left to the end of the process.
struct LeaveAtExit {
  ~LeaveAtExit() {
    if (!ServerCalls::Get().Stuck()) ServerCalls::Get().WaitIdle(JackAnswerMs());
  }
} g_leaveAtExit;

// A call whose caller may stop waiting: what it made is handed over only while
// the caller still waits, else the call undoes it itself.
template <class Result>
struct Handover {
  std::mutex lock;
  bool given = false, abandoned = false;
  Result result{};
};

// libjack's own threads run the callbacks, and a client's close cancels those
// threads asynchronously, at whatever instruction they are: inside a lock, an
// allocation, or a destructor, whose noexcept turns the unwinding into
// std::terminate. A callback runs with cancellation held off, and lets it in
// again only once nothing of its own is left to unwind.
template <auto Callback>
struct Uncancelled;
template <class Result, class... Args, Result (*Callback)(Args...)>
struct Uncancelled<Callback> {
  static Result Call(Args... args) {
    int before = PTHREAD_CANCEL_ENABLE;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &before);
    if constexpr (std::is_void_v<Result>) {
      Callback(args...);
      pthread_setcancelstate(before, nullptr);
    } else {
      const Result r = Callback(args...);
      pthread_setcancelstate(before, nullptr);
      return r;
    }
  }
};

// libjack writes to the server's socket with a plain write, and holds SIGPIPE off
// only in the thread that opens the first client, until one closes the last: a
// write to a server that went away then ends the program. A broken pipe is
// answered by the failed write alone (a handler, not SIG_IGN, which programs
// started later would inherit).
void SurviveBrokenPipes() {
  static const bool installed = [] {
    struct sigaction now {};
    if (sigaction(SIGPIPE, nullptr, &now) != 0 || now.sa_handler != SIG_DFL) return false;
    struct sigaction quiet {};
    quiet.sa_handler = +[](int) {};
    sigemptyset(&quiet.sa_mask);
    quiet.sa_flags = SA_RESTART;
    return sigaction(SIGPIPE, &quiet, nullptr) == 0;
  }();
  (void)installed;
}

jack_client_t* OpenClient(const char* name, jack_status_t& status) {
  QuietSoundSystemMessages();
  SurviveBrokenPipes();
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

struct JackDevice::Session : std::enable_shared_from_this<Session> {
  jack_client_t* client = nullptr;
  std::array<jack_port_t*, 4> ports{};
  StreamCycle* cycle = nullptr;
  std::atomic<bool> closing{false}, lost{false};
  std::atomic<bool> closeAsked{false};  // its close is on the server-call thread
  std::atomic<bool> handed{false};      // the caller took it: its cycles reach the engine
  std::atomic<int> busy{0};  // callbacks in progress that reach the engine
  std::atomic<int64_t> xruns{0};
  std::atomic<bool> xrunSeen{false};
  // Process thread only: where the next cycle starts when none went missing, and
  // the cycles since the last dropout counted.
  bool running = false;
  jack_nframes_t nextFrame = 0;
  int64_t sinceCounted = 1 << 20;
  std::vector<int16_t> in, out;

  // Its name in the wiring record: ":short" for the program's own ports.
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
  bool Exists(const std::string& recorded) const { return jack_port_by_name(client, Full(recorded).c_str()) != nullptr; }

  // Server-call thread. Makes the remembered wires that are possible now; a
  // disconnection of a port that has gone since was its client's leaving.
  void Remake() {
    std::set<Wire> wires;
    {
      std::lock_guard hold(Wires().lock);
      std::erase_if(Wires().pending, [this](const Wire& w) { return !Exists(w.first) || !Exists(w.second); });
      for (const Wire& w : Wires().pairs)
        if (!Wires().pending.count(w)) wires.insert(w);
    }
    for (const auto& [from, to] : wires) {
      jack_port_t* source = jack_port_by_name(client, Full(from).c_str());
      if (source && jack_port_by_name(client, Full(to).c_str()) && !jack_port_connected_to(source, Full(to).c_str()))
        jack_connect(client, Full(from).c_str(), Full(to).c_str());
    }
  }
  // Server-call thread, before the close. The wires the server has now are the
  // user's (their reports may be late); a disconnection of two ports both still
  // there was the user's, one of a port that went is not.
  void Settle() {
    std::set<Wire> now;
    for (std::size_t p = 0; p < 4; ++p) {
      const std::string mine = std::string(":") + kJackPortNames[p];
      if (const char** others = jack_port_get_all_connections(client, ports[p])) {
        for (const char** o = others; *o; ++o) now.insert(p < 2 ? Wire{*o, mine} : Wire{mine, *o});
        jack_free(others);
      }
    }
    std::lock_guard hold(Wires().lock);
    if (lost.load()) return;  // the server's last word is not the user's
    for (const Wire& w : Wires().pending)
      if (!now.count(w) && Exists(w.first) && Exists(w.second)) Wires().pairs.erase(w);
    Wires().pending.clear();
    Wires().pairs.insert(now.begin(), now.end());
  }
  // Hands the close to the server-call thread, once.
  void AskClose(bool settle) {
    if (closeAsked.exchange(true)) return;
    ServerCalls::Get().Post([self = shared_from_this(), settle] {
      if (settle && !self->lost.load()) self->Settle();
      // The client's own thread goes on tearing down after it told of the server's
      // end; a close that meets it there waits for ever on a busy machine.
      if (self->lost.load()) std::this_thread::sleep_for(std::chrono::milliseconds(250));
      jack_client_close(self->client);
    });
  }

  static int Process(jack_nframes_t frames, void* self) {
    auto& s = *static_cast<Session*>(self);
    std::array<float*, 4> buf{};
    for (std::size_t p = 0; p < 4; ++p) buf[p] = static_cast<float*>(jack_port_get_buffer(s.ports[p], frames));
    // The server tells a client only of its own lateness; a cycle skipped for
    // another's (a slow client in the chain) shows as a gap in the frame time.
    // One late cycle can show both ways, a cycle apart: counted once.
    const jack_nframes_t start = jack_last_frame_time(s.client);
    const bool gap = s.running && start != s.nextFrame;
    s.running = true;
    s.nextFrame = start + frames;
    const bool late = s.xrunSeen.exchange(false) || gap;
    if (late && s.sinceCounted > 2) {
      s.xruns.fetch_add(1);
      s.sinceCounted = 0;
    }
    ++s.sinceCounted;
    s.busy.fetch_add(1);
    if (s.closing.load() || !s.handed.load()) {
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
    {
      // What the server disconnects as it goes is not the user's.
      std::lock_guard hold(Wires().lock);
      s.lost.store(true);
      Wires().pending.clear();
    }
    s.busy.fetch_add(1);
    if (!s.closing.load() && s.handed.load()) s.cycle->StreamLost();
    s.busy.fetch_sub(1);
    // Closed at once, before any client of the program opens on a server that
    // came back: libjack does not survive the close of a lost client after that.
    s.AskClose(false);
  }
  static void Connected(jack_port_id_t a, jack_port_id_t b, int connect, void* self) {
    auto& s = *static_cast<Session*>(self);
    if (s.closing.load()) return;  // a closing client's ports drop their wires
    jack_port_t* pa = jack_port_by_id(s.client, a);
    jack_port_t* pb = jack_port_by_id(s.client, b);
    if (!pa || !pb || (!jack_port_is_mine(s.client, pa) && !jack_port_is_mine(s.client, pb))) return;
    if (!(jack_port_flags(pa) & JackPortIsOutput)) std::swap(pa, pb);
    Wire wire{s.Recorded(pa), s.Recorded(pb)};
    std::lock_guard hold(Wires().lock);
    if (s.lost.load()) return;
    if (connect) {
      Wires().pending.erase(wire);
      Wires().pairs.insert(std::move(wire));
    } else if (Wires().pairs.count(wire)) {
      Wires().pending.insert(std::move(wire));
    }
  }
  // A port that comes back (a client that was away) gets its remembered wires.
  static void Registered(jack_port_id_t id, int registered, void* self) {
    auto& s = *static_cast<Session*>(self);
    if (s.closing.load() || s.lost.load()) return;
    if (!registered) {
      // Its wires were cut by its going, not by the user.
      jack_port_t* port = jack_port_by_id(s.client, id);
      const char* name = port ? jack_port_name(port) : nullptr;
      if (!name) return;
      std::lock_guard hold(Wires().lock);
      std::erase_if(Wires().pending, [name](const Wire& w) { return w.first == name || w.second == name; });
      return;
    }
    // Not from here: libjack takes no connection from inside its notifications.
    ServerCalls::Get().Post([weak = s.weak_from_this()] {
      if (auto live = weak.lock(); live && !live->closeAsked.load() && !live->lost.load()) live->Remake();
    });
  }
};

namespace {

// Runs `make` on the server-call thread and takes its result; false when the
// server did not answer in time, and then `undo` gets the result when it comes.
template <class Result, class Make>
bool CallServer(Make make, Result& result, void (*undo)(Result&)) {
  auto call = std::make_shared<Handover<Result>>();
  ServerCalls::Get().Run(
      [call, make, undo] {
        Result r = make();
        std::lock_guard hold(call->lock);
        if (call->abandoned) {
          undo(r);
          return;
        }
        call->result = std::move(r);
        call->given = true;
      },
      JackAnswerMs());
  std::lock_guard hold(call->lock);
  // A call that ended just past the deadline still counts.
  if (!call->given) {
    call->abandoned = true;
    return false;
  }
  result = std::move(call->result);
  return true;
}

}  // namespace

bool ProbeJackServer(JackServerInfo& info) {
  struct Look {
    bool running = false;
    JackServerInfo info;
  };
  Look look;
  const bool answered = CallServer<Look>(
      [] {
        Look l;
        // A name of its own: a look needs no turn for its socket's name, and waits
        // briefly for one only as a first open sets up libjack's shared files.
        const JackOpenTurn turn(kLookTurnMs);
        const std::string me = std::string(kJackClientName) + "-look-" + std::to_string(getpid());
        jack_status_t status{};
        jack_client_t* c = OpenClient(me.c_str(), status);
        if (!c) return l;
        l.running = true;
        l.info.rate = static_cast<int32_t>(jack_get_sample_rate(c));
        l.info.captures = static_cast<int32_t>(HardwarePorts(c, true).size());
        l.info.playbacks = static_cast<int32_t>(HardwarePorts(c, false).size());
        jack_client_close(c);
        return l;
      },
      look, [](Look&) {});
  if (!answered) {
    info = JackServerInfo{};
    info.answering = false;
    return true;
  }
  if (look.running) info = look.info;
  return look.running;
}

void ForgetJackWiring() {
  std::lock_guard hold(Wires().lock);
  Wires().known = false;
  Wires().pairs.clear();
  Wires().pending.clear();
}

std::set<std::pair<std::string, std::string>> RememberedJackWiring() {
  std::lock_guard hold(Wires().lock);
  return Wires().pairs;
}

JackOpenTurn::JackOpenTurn(int waitMs)
    : fd_(open(("/dev/shm/zentor-jack-" + std::to_string(getuid()) + ".lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC,
               0600)) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  while (fd_ >= 0 && flock(fd_, LOCK_EX | LOCK_NB) != 0 && (errno == EWOULDBLOCK || errno == EINTR) &&
         std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

JackOpenTurn::~JackOpenTurn() {
  if (fd_ >= 0) close(fd_);
}

int JackAnswerMs() {
  static const int ms = [] {
    const char* v = std::getenv("ZENTOR_JACK_ANSWER_MS");
    char* end = nullptr;
    const long n = v ? std::strtol(v, &end, 10) : 0;
    return v && *v && *end == '\0' && n >= 100 && n <= 60000 ? static_cast<int>(n) : kJackAnswerMs;
  }();
  return ms;
}

bool WaitForJackClosed(int ms) { return ServerCalls::Get().WaitIdle(ms); }

bool JackServerNotAnswering() { return ServerCalls::Get().Stuck(); }

JackDevice::~JackDevice() { Close(); }

bool JackDevice::SupportsRate(bool, int32_t rate) {
  if (session_ && !session_->lost.load()) return rate == static_cast<int32_t>(jack_get_sample_rate(session_->client));
  // The server may have come back at another rate since it was looked at: asked
  // again. One that does not answer is left to Open, which says so.
  if (rate == server_.rate) return true;
  JackServerInfo now;
  const bool running = ProbeJackServer(now);
  if (running && now.answering) {
    server_ = now;
    return rate == server_.rate;
  }
  if (running) server_.answering = false;
  return true;
}

WaveStatus JackDevice::Open(int32_t rate, bool withOutput, StreamCycle* cycle, std::string& error) {
  Close();
  struct Opened {
    std::shared_ptr<Session> session;
    JackServerInfo server;
    WaveStatus status = WaveStatus::Ok;
    std::string error;
    int32_t latency = 0;
  };
  auto s = std::make_shared<Session>();
  s->cycle = cycle;
  s->in.assign(static_cast<std::size_t>(kChunkFrames) * kChannels, 0);
  s->out.assign(static_cast<std::size_t>(kChunkFrames) * kChannels, 0);
  Opened opened;
  const bool answered = CallServer<Opened>(
      [s, rate, withOutput] {
        Opened o;
        const JackOpenTurn turn(JackAnswerMs() * 3 / 4);
        jack_status_t status{};
        s->client = OpenClient(kJackClientName, status);
        if (!s->client) {
          o.error = (status & JackServerFailed) ? kJackNotRunning
                                                : "The sound card could not be opened: the JACK server refused";
          o.status = WaveStatus::OpenFailed;
          return o;
        }
        const std::vector<std::string> captures = HardwarePorts(s->client, true),
                                       playbacks = HardwarePorts(s->client, false);
        o.server = {static_cast<int32_t>(jack_get_sample_rate(s->client)), static_cast<int32_t>(captures.size()),
                    static_cast<int32_t>(playbacks.size()), true};
        if (o.server.rate != rate) {
          o.error = "The sound card does not support a sample rate of " + std::to_string(rate) + " Hz";
          o.status = WaveStatus::RateNotSupported;
        } else if (o.error = ChannelShortageText(o.server.captures, o.server.playbacks, withOutput); !o.error.empty()) {
          o.status = WaveStatus::OpenFailed;
        }
        for (std::size_t p = 0; p < 4 && o.status == WaveStatus::Ok; ++p) {
          s->ports[p] = jack_port_register(s->client, kJackPortNames[p], JACK_DEFAULT_AUDIO_TYPE,
                                           p < 2 ? JackPortIsInput : JackPortIsOutput, 0);
          if (!s->ports[p]) {
            o.error = "The sound card could not be opened: the JACK server refused its ports";
            o.status = WaveStatus::OpenFailed;
          }
        }
        if (o.status == WaveStatus::Ok) {
          jack_set_process_callback(s->client, &Uncancelled<&Session::Process>::Call, s.get());
          jack_set_xrun_callback(s->client, &Uncancelled<&Session::Xrun>::Call, s.get());
          jack_on_info_shutdown(s->client, &Uncancelled<&Session::Shutdown>::Call, s.get());
          jack_set_port_connect_callback(s->client, &Uncancelled<&Session::Connected>::Call, s.get());
          jack_set_port_registration_callback(s->client, &Uncancelled<&Session::Registered>::Call, s.get());
          if (jack_activate(s->client) != 0) {
            o.error = "The sound card could not be opened: the JACK server did not start the client";
            o.status = WaveStatus::OpenFailed;
          }
        }
        if (o.status != WaveStatus::Ok) {
          jack_client_close(s->client);
          s->client = nullptr;
          return o;
        }
        // The user's wiring from the clients before; the first client of a run
        // goes to the first two hardware ports of each side.
        {
          std::lock_guard hold(Wires().lock);
          if (!Wires().known) {
            Wires().known = true;
            for (std::size_t c = 0; c < kChannels; ++c) {
              if (c < captures.size()) Wires().pairs.emplace(captures[c], std::string(":") + kJackPortNames[c]);
              if (c < playbacks.size()) Wires().pairs.emplace(std::string(":") + kJackPortNames[2 + c], playbacks[c]);
            }
          }
        }
        s->Remake();
        jack_latency_range_t range{};
        jack_port_get_latency_range(s->ports[2], JackPlaybackLatency, &range);
        o.latency = static_cast<int32_t>(range.max);
        o.session = s;
        return o;
      },
      opened,
      [](Opened& o) {
        // The caller stopped waiting: the client it would have had leaves.
        if (o.session) {
          o.session->closing.store(true);
          o.session->closeAsked.store(true);
          jack_client_close(o.session->client);
        }
      });
  if (!answered) {
    server_.answering = false;
    error = kJackNotAnswering;
    return WaveStatus::OpenFailed;
  }
  if (opened.server.rate > 0) server_ = opened.server;
  if (opened.status != WaveStatus::Ok) {
    error = opened.error;
    return opened.status;
  }
  session_ = opened.session;
  session_->handed.store(true);
  latencyFrames_ = opened.latency;
  return WaveStatus::Ok;
}

void JackDevice::Close() {
  if (!session_) return;
  std::shared_ptr<Session> s = std::move(session_);
  session_.reset();
  s->closing.store(true);
  // A callback under way finishes its cycle; none starts another.
  while (s->busy.load() != 0) std::this_thread::yield();
  s->AskClose(true);
}

int64_t JackDevice::Xruns() const { return session_ ? session_->xruns.load() : 0; }

bool JackDevice::Lost() const { return session_ && session_->lost.load(); }

}  // namespace zentor
