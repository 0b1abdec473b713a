#include "platform/audio/portaudio_backend.h"

#include <dlfcn.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/audio/sound_system_messages.h"

namespace zentor {

namespace {

const PortAudioApi kLinked{
    Pa_Initialize,
    Pa_Terminate,
    Pa_GetDeviceCount,
    Pa_GetDeviceInfo,
    Pa_HostApiTypeIdToHostApiIndex,
    Pa_GetDefaultInputDevice,
    Pa_GetDefaultOutputDevice,
    Pa_IsFormatSupported,
    Pa_OpenStream,
    Pa_SetStreamFinishedCallback,
    Pa_StartStream,
    Pa_StopStream,
    Pa_CloseStream,
    Pa_GetStreamInfo,
    Pa_GetErrorText,
    Pa_IsStreamActive,
};

template <class F>
bool Find(void* library, const char* name, F& f) {
  f = reinterpret_cast<F>(dlsym(library, name));
  return f != nullptr;
}

// A copy of PortAudio loaded apart from the program's, with its own ALSA and JACK
// libraries and C library: nothing of an earlier copy is shared with it.
//
// The copy's C library numbers its thread keys apart from the program's, while the
// threads themselves are shared: on a thread where the program's libraries keep
// values (the main thread does), the copy's JACK reads another library's pointer
// under its own logging key and calls it. So every call into a copy runs on a
// thread of its own, where the program stores nothing. The copy's C library starts
// that thread, as it readies its own per-thread state (its character tables) only
// on threads it starts.
class CopyThread {
 public:
  // Never joined: the copy may keep it waiting for a dead server forever.
  bool Start(void* library) {
    using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    Create create = nullptr;
    pthread_t thread{};
    return Find(library, "pthread_create", create) && create(&thread, nullptr, &CopyThread::Loop, this) == 0;
  }
  template <class F>
  auto Run(F f) -> decltype(f()) {
    // The job holds the task: the caller may return before the thread is done with it.
    auto task = std::make_shared<std::packaged_task<decltype(f())()>>(std::move(f));
    auto result = task->get_future();
    {
      std::lock_guard lock(mutex_);
      jobs_.emplace_back([task] { (*task)(); });
    }
    ready_.notify_one();
    return result.get();
  }

 private:
  static void* Loop(void* self) {
    auto& t = *static_cast<CopyThread*>(self);
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock lock(t.mutex_);
        t.ready_.wait(lock, [&t] { return !t.jobs_.empty(); });
        job = std::move(t.jobs_.front());
        t.jobs_.pop_front();
      }
      job();
    }
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> jobs_;
};

struct Copy {
  void* library = nullptr;
  PortAudioApi own{};  // the copy's functions, called on `thread` only
  PortAudioApi api{};  // the same, each taking its call over to `thread`
  CopyThread thread;
};

// Only the newest copy is ever called.
std::atomic<Copy*> g_copy{nullptr};

template <auto Field, class R, class... A>
R OnCopyThread(A... a) {
  Copy& c = *g_copy.load();
  return c.thread.Run([&c, a...] { return (c.own.*Field)(a...); });
}

template <auto Field, class R, class... A>
constexpr auto Forward(R (*PortAudioApi::*)(A...)) -> R (*)(A...) {
  return &OnCopyThread<Field, R, A...>;
}

template <auto... Field>
constexpr PortAudioApi Forwarded() {
  return PortAudioApi{Forward<Field>(Field)...};
}

const PortAudioApi kForwarded =
    Forwarded<&PortAudioApi::Initialize, &PortAudioApi::Terminate, &PortAudioApi::GetDeviceCount,
              &PortAudioApi::GetDeviceInfo, &PortAudioApi::HostApiTypeIdToHostApiIndex,
              &PortAudioApi::GetDefaultInputDevice, &PortAudioApi::GetDefaultOutputDevice,
              &PortAudioApi::IsFormatSupported, &PortAudioApi::OpenStream, &PortAudioApi::SetStreamFinishedCallback,
              &PortAudioApi::StartStream, &PortAudioApi::StopStream, &PortAudioApi::CloseStream,
              &PortAudioApi::GetStreamInfo, &PortAudioApi::GetErrorText, &PortAudioApi::IsStreamActive>();

const PortAudioApi* g_api = nullptr;
const PortAudioApi* g_real = &kLinked;
// The table that PortAudio was started with, so that the matching Terminate runs.
const PortAudioApi* g_initialized = nullptr;
void* g_realLibrary = nullptr;  // g_real's copy; nullptr for the linked one
int g_generation = 0;           // counts the starts of PortAudio
int g_openStreams = 0;
// A stream was left to a dead JACK server and no fresh copy could be loaded: the
// JACK devices are refused until the program starts again.
bool g_stranded = false;

// A fresh copy of the PortAudio library the program is linked with, in a link-map
// namespace of its own; nullptr when none can be loaded (glibc allows 15 more).
Copy* LoadCopy() {
  Dl_info self{};
  if (!dladdr(reinterpret_cast<void*>(&Pa_Initialize), &self) || !self.dli_fname) return nullptr;
  void* library = dlmopen(LM_ID_NEWLM, self.dli_fname, RTLD_NOW | RTLD_LOCAL);
  if (!library) return nullptr;
  // Never freed: a copy is never unloaded, and its thread may outlive it.
  auto* c = new Copy;
  c->library = library;
  PortAudioApi& a = c->own;
  c->api = kForwarded;
  void* l = c->library;
  const bool found = Find(l, "Pa_Initialize", a.Initialize) && Find(l, "Pa_Terminate", a.Terminate) &&
                     Find(l, "Pa_GetDeviceCount", a.GetDeviceCount) && Find(l, "Pa_GetDeviceInfo", a.GetDeviceInfo) &&
                     Find(l, "Pa_HostApiTypeIdToHostApiIndex", a.HostApiTypeIdToHostApiIndex) &&
                     Find(l, "Pa_GetDefaultInputDevice", a.GetDefaultInputDevice) &&
                     Find(l, "Pa_GetDefaultOutputDevice", a.GetDefaultOutputDevice) &&
                     Find(l, "Pa_IsFormatSupported", a.IsFormatSupported) && Find(l, "Pa_OpenStream", a.OpenStream) &&
                     Find(l, "Pa_SetStreamFinishedCallback", a.SetStreamFinishedCallback) &&
                     Find(l, "Pa_StartStream", a.StartStream) && Find(l, "Pa_StopStream", a.StopStream) &&
                     Find(l, "Pa_CloseStream", a.CloseStream) && Find(l, "Pa_GetStreamInfo", a.GetStreamInfo) &&
                     Find(l, "Pa_GetErrorText", a.GetErrorText) && Find(l, "Pa_IsStreamActive", a.IsStreamActive) &&
                     c->thread.Start(l);
  // A copy is never unloaded (its threads may outlive it), so a failed one stays too.
  return found ? c : nullptr;
}

// PortAudio's JACK host waits ten minutes for a server that died under a running
// stream, in every stop and close of it, and Pa_Terminate closes every open
// stream. So the copy that ran it is never called again: its memory and threads
// are left as they are, and PortAudio starts afresh in a new copy.
void AbandonPortAudio() {
  Copy* next = LoadCopy();
  if (!next) {
    g_stranded = true;  // the other cards go on in this copy
    return;
  }
  g_initialized = nullptr;
  g_openStreams = 0;
  ++g_generation;
  g_real = &next->api;
  g_realLibrary = next->library;
  g_copy.store(next);
}

// Stops a JACK stream, waiting longer than a live server takes (it drops a client
// that keeps it waiting beyond its timeout of a few seconds at most): a server
// that died between the check for a lost stream and the stop leaves the stop to
// wait out its ten minutes on a thread of its own.
bool StopsInTime(const PortAudioApi& api, PaStream* stream) {
  auto stopped = std::make_shared<std::promise<void>>();
  std::future<void> done = stopped->get_future();
  std::thread([&api, stream, stopped] {
    api.StopStream(stream);
    stopped->set_value();
  }).detach();
  return done.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
}

// Starts PortAudio when it is not running; false when it fails.
bool StartPortAudio() {
  if (g_initialized) return true;
  if (g_stranded) return false;
  const PortAudioApi& pa = CurrentPortAudio();
  QuietSoundSystemMessages();
  if (&pa == g_real && g_realLibrary) {
    QuietSoundSystemMessagesOf(g_realLibrary);
    // The copy's C library keeps the environment of its loading.
    using SetEnv = int (*)(const char*, const char*, int);
    const char* server = std::getenv("JACK_DEFAULT_SERVER");
    if (SetEnv set = nullptr; server && Find(g_realLibrary, "setenv", set)) set("JACK_DEFAULT_SERVER", server, 1);
  }
  if (pa.Initialize() != paNoError) return false;
  g_initialized = &pa;
  ++g_generation;
  return true;
}

struct TerminateAtExit {
  ~TerminateAtExit() { ShutDownPortAudio(); }
};
TerminateAtExit g_terminateAtExit;

constexpr int kChannels = 2;
// A callback longer than this runs as several engine cycles.
constexpr int32_t kChunkFrames = 4096;

PaStreamParameters Params(PaDeviceIndex device, bool input) {
  PaStreamParameters p{};
  p.device = device;
  p.channelCount = kChannels;
  p.sampleFormat = paInt16;
  const PaDeviceInfo* info = CurrentPortAudio().GetDeviceInfo(device);
  p.suggestedLatency = info ? (input ? info->defaultHighInputLatency : info->defaultHighOutputLatency) : 0.1;
  p.hostApiSpecificStreamInfo = nullptr;
  return p;
}

std::string ErrorText(PaError err) {
  const char* text = CurrentPortAudio().GetErrorText(err);
  return text ? text : "unknown PortAudio error";
}

}  // namespace

const PortAudioApi& RealPortAudio() { return *g_real; }

void UsePortAudioApi(const PortAudioApi* api) {
  if (g_initialized != (api ? api : &RealPortAudio())) ShutDownPortAudio();
  g_api = api;
}

void ShutDownPortAudio() {
  if (g_stranded) return;
  if (g_initialized) g_initialized->Terminate();
  g_initialized = nullptr;
  g_openStreams = 0;
}

const PortAudioApi& CurrentPortAudio() { return g_api ? *g_api : RealPortAudio(); }

int32_t AlsaCardOfName(const std::string& name) {
  const auto at = name.find("(hw:");
  if (at == std::string::npos) return -1;
  std::size_t i = at + 4;
  int32_t card = 0;
  bool digits = false;
  while (i < name.size() && std::isdigit(static_cast<unsigned char>(name[i])) && card < 100000) {
    card = card * 10 + (name[i] - '0');
    digits = true;
    ++i;
  }
  return digits && i < name.size() && name[i] == ',' ? card : -1;
}

bool ListPortAudioDevices(std::vector<PortAudioEntry>& entries, PaDeviceIndex& defaultIn, PaDeviceIndex& defaultOut) {
  entries.clear();
  defaultIn = defaultOut = paNoDevice;
  if (!StartPortAudio()) return false;
  const PortAudioApi& pa = CurrentPortAudio();
  const PaDeviceIndex count = pa.GetDeviceCount();
  if (count < 0) return false;
  // The cards themselves and a JACK server (or PipeWire's), not the other routes
  // to the same cards PortAudio may list (OSS).
  const PaHostApiIndex alsa = pa.HostApiTypeIdToHostApiIndex(paALSA);
  const PaHostApiIndex jack = pa.HostApiTypeIdToHostApiIndex(paJACK);
  auto info = [&](PaDeviceIndex d) -> const PaDeviceInfo* {
    const PaDeviceInfo* i = pa.GetDeviceInfo(d);
    return i && ((alsa < 0 && jack < 0) || i->hostApi == alsa || i->hostApi == jack) ? i : nullptr;
  };
  defaultIn = pa.GetDefaultInputDevice();
  defaultOut = pa.GetDefaultOutputDevice();
  for (PaDeviceIndex d = 0; d < count; ++d) {
    const PaDeviceInfo* in = info(d);
    if (!in || in->maxInputChannels < 1) continue;
    PortAudioEntry e;
    e.name = in->name ? in->name : "";
    e.input = d;
    if (in->maxOutputChannels >= kChannels) {
      e.output = d;
    } else {
      const int32_t card = AlsaCardOfName(e.name);
      for (PaDeviceIndex o = 0; card >= 0 && o < count && e.output == paNoDevice; ++o) {
        const PaDeviceInfo* out = info(o);
        if (out && out->maxOutputChannels >= kChannels && AlsaCardOfName(out->name ? out->name : "") == card)
          e.output = o;
      }
      if (e.output == paNoDevice) e.output = defaultOut;
    }
    entries.push_back(std::move(e));
  }
  return true;
}

PortAudioDevice::PortAudioDevice(std::string name, PaDeviceIndex input, PaDeviceIndex output)
    : name_(std::move(name)),
      input_(input),
      output_(output),
      generation_(g_generation),
      silentIn_(static_cast<std::size_t>(kChunkFrames) * kChannels, 0),
      discardOut_(static_cast<std::size_t>(kChunkFrames) * kChannels, 0) {
  const PortAudioApi& pa = CurrentPortAudio();
  const PaDeviceInfo* info = input_ != paNoDevice ? pa.GetDeviceInfo(input_) : nullptr;
  const PaDeviceInfo* out = output_ != paNoDevice ? pa.GetDeviceInfo(output_) : nullptr;
  inputName_ = info && info->name ? info->name : "";
  outputName_ = out && out->name ? out->name : "";
  const PaHostApiIndex jack = pa.HostApiTypeIdToHostApiIndex(paJACK);
  jack_ = info && jack >= 0 && info->hostApi == jack;
}

PortAudioDevice::~PortAudioDevice() { Close(); }

bool PortAudioDevice::Bind() {
  if (jack_ && g_stranded) return false;
  if (generation_ == g_generation) return true;
  const bool fresh = !g_initialized;
  for (int pass = 0; pass < 2 && StartPortAudio(); ++pass) {
    const PortAudioApi& pa = CurrentPortAudio();
    const PaHostApiIndex jack = pa.HostApiTypeIdToHostApiIndex(paJACK);
    auto find = [&](const std::string& name) {
      for (PaDeviceIndex d = 0; d < pa.GetDeviceCount(); ++d) {
        const PaDeviceInfo* i = pa.GetDeviceInfo(d);
        if (i && i->name && name == i->name && (jack >= 0 && i->hostApi == jack) == jack_) return d;
      }
      return paNoDevice;
    };
    const PaDeviceIndex in = find(inputName_), out = outputName_.empty() ? paNoDevice : find(outputName_);
    if (in != paNoDevice && (outputName_.empty() || out != paNoDevice)) {
      input_ = in;
      output_ = out;
      generation_ = g_generation;
      return true;
    }
    // PortAudio looks for a JACK server only when it starts: one that came back
    // since is found by starting it again.
    if (fresh || pass > 0 || g_openStreams > 0) break;
    ShutDownPortAudio();
  }
  return false;
}

bool PortAudioDevice::SupportsRate(bool input, int32_t rate) {
  const PaDeviceIndex d = input ? input_ : output_;
  if (d == paNoDevice || rate <= 0) return false;
  if (!Bind()) return true;  // Open says why it cannot
  const PaStreamParameters p = Params(input ? input_ : output_, input);
  return CurrentPortAudio().IsFormatSupported(input ? &p : nullptr, input ? nullptr : &p, rate) == paFormatIsSupported;
}

WaveStatus PortAudioDevice::Open(int32_t rate, bool withOutput, StreamCycle* cycle, std::string& error) {
  Close();
  if (input_ == paNoDevice || (withOutput && output_ == paNoDevice)) {
    error = "The sound card has no " + std::string(input_ == paNoDevice ? "input" : "output");
    return WaveStatus::NoDevice;
  }
  if (!Bind()) {
    error = jack_ && g_stranded
                ? "The sound card could not be opened: its JACK server stopped while in use; start the program again"
                : "The sound card could not be opened: the sound system no longer lists it";
    return WaveStatus::OpenFailed;
  }
  const PortAudioApi& pa = CurrentPortAudio();
  const PaStreamParameters in = Params(input_, true);
  const PaStreamParameters out = withOutput ? Params(output_, false) : PaStreamParameters{};
  cycle_ = cycle;
  stopping_ = false;
  xruns_ = 0;
  PaError err = pa.OpenStream(&stream_, &in, withOutput ? &out : nullptr, rate, kPortAudioFramesPerBuffer,
                              paClipOff | paDitherOff, &PortAudioDevice::Callback, this);
  if (err == paNoError) err = pa.SetStreamFinishedCallback(stream_, &PortAudioDevice::Finished);
  if (err == paNoError) {
    const PaStreamInfo* info = pa.GetStreamInfo(stream_);
    latencyFrames_ = info && withOutput ? static_cast<int32_t>(info->outputLatency * rate + 0.5) : 0;
    err = pa.StartStream(stream_);
  }
  if (err != paNoError) {
    error = "The sound card could not be opened: " + ErrorText(err);
    if (stream_) {
      stopping_ = true;
      pa.CloseStream(stream_);
    }
    stream_ = nullptr;
    cycle_ = nullptr;
    return WaveStatus::OpenFailed;
  }
  api_ = &pa;
  ++g_openStreams;
  return WaveStatus::Ok;
}

bool PortAudioDevice::Lost() const { return stream_ && !stopping_.load() && api_->IsStreamActive(stream_) == 0; }

void PortAudioDevice::Close() {
  if (!stream_) return;
  const bool lost = Lost();
  stopping_ = true;
  if ((lost && jack_) || (jack_ && !StopsInTime(*api_, stream_))) {
    AbandonPortAudio();  // its JACK server died under it
  } else {
    if (!jack_) api_->StopStream(stream_);
    api_->CloseStream(stream_);
    g_openStreams = std::max(0, g_openStreams - 1);
  }
  stream_ = nullptr;
  cycle_ = nullptr;
}

int PortAudioDevice::Callback(const void* in, void* out, unsigned long frames, const PaStreamCallbackTimeInfo*,
                              PaStreamCallbackFlags flags, void* self) {
  auto* d = static_cast<PortAudioDevice*>(self);
  if (flags & (paInputOverflow | paInputUnderflow | paOutputUnderflow | paOutputOverflow))
    d->xruns_.fetch_add(1, std::memory_order_relaxed);
  const auto* input = static_cast<const int16_t*>(in);
  auto* output = static_cast<int16_t*>(out);
  for (unsigned long done = 0; done < frames;) {
    const auto n = static_cast<int32_t>(std::min<unsigned long>(frames - done, kChunkFrames));
    int16_t* o = output ? output + done * kChannels : d->discardOut_.data();
    const int16_t* i = input ? input + done * kChannels : d->silentIn_.data();
    d->cycle_->RenderOutput(o, n);
    d->cycle_->CaptureInput(i, n);
    done += static_cast<unsigned long>(n);
  }
  return paContinue;
}

void PortAudioDevice::Finished(void* self) {
  auto* d = static_cast<PortAudioDevice*>(self);
  if (!d->stopping_.load() && d->cycle_) d->cycle_->StreamLost();
}

}  // namespace zentor
