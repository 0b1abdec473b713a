#include "platform/audio/portaudio_backend.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <string>

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

const PortAudioApi* g_api = nullptr;
// The table that PortAudio was started with, so that the matching Terminate runs.
const PortAudioApi* g_initialized = nullptr;
int g_generation = 0;  // counts the starts of PortAudio
int g_openStreams = 0;

// Sets an environment variable for the life of the object, then puts it back.
class EnvFor {
 public:
  EnvFor(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv(name, value, 1);
  }
  ~EnvFor() {
    if (had_) setenv(name_, old_.c_str(), 1);
    else unsetenv(name_);
  }
  EnvFor(const EnvFor&) = delete;
  EnvFor& operator=(const EnvFor&) = delete;

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

// Starts PortAudio when it is not running; false when it fails.
bool StartPortAudio() {
  if (g_initialized) return true;
  const PortAudioApi& pa = CurrentPortAudio();
  QuietSoundSystemMessages();
  // PortAudio serves the ALSA cards only. Its JACK host would join a running
  // server as a client of its own for as long as PortAudio runs, and abort the
  // program at its end when that server went away: pointed at a server that
  // cannot exist, it finds none (nor does an ALSA device routed to JACK).
  {
    const EnvFor noServer("JACK_DEFAULT_SERVER", "zentor-no-server/");
    const EnvFor noStart("JACK_NO_START_SERVER", "1");
    if (pa.Initialize() != paNoError) return false;
  }
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

const PortAudioApi& RealPortAudio() { return kLinked; }

void UsePortAudioApi(const PortAudioApi* api) {
  if (g_initialized != (api ? api : &RealPortAudio())) ShutDownPortAudio();
  g_api = api;
}

void ShutDownPortAudio() {
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
  // The cards themselves, not the other routes to the same cards PortAudio may
  // list (OSS); a JACK server is a device of its own (jack_device.h).
  const PaHostApiIndex alsa = pa.HostApiTypeIdToHostApiIndex(paALSA);
  auto info = [&](PaDeviceIndex d) -> const PaDeviceInfo* {
    const PaDeviceInfo* i = pa.GetDeviceInfo(d);
    return i && (alsa < 0 || i->hostApi == alsa) ? i : nullptr;
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
  inputs_ = info ? info->maxInputChannels : 0;
  outputs_ = out ? out->maxOutputChannels : 0;
}

PortAudioDevice::~PortAudioDevice() { Close(); }

bool PortAudioDevice::Bind() {
  if (generation_ == g_generation) return true;
  const bool fresh = !g_initialized;
  for (int pass = 0; pass < 2 && StartPortAudio(); ++pass) {
    const PortAudioApi& pa = CurrentPortAudio();
    auto find = [&](const std::string& name) {
      for (PaDeviceIndex d = 0; d < pa.GetDeviceCount(); ++d) {
        const PaDeviceInfo* i = pa.GetDeviceInfo(d);
        if (i && i->name && name == i->name) return d;
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
    // PortAudio looks for cards only when it starts: one plugged in since is
    // found by starting it again.
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
    error = "The sound card could not be opened: the sound system no longer lists it";
    return WaveStatus::OpenFailed;
  }
  const PortAudioApi& pa = CurrentPortAudio();
  const PaStreamParameters in = Params(input_, true);
  const PaStreamParameters out = withOutput ? Params(output_, false) : PaStreamParameters{};
  cycle_ = cycle;
  stopping_ = false;
  xruns_ = 0;
  PaError err = pa.OpenStream(&stream_, &in, withOutput ? &out : nullptr, rate, kPortAudioFramesPerBuffer,
                              paDitherOff, &PortAudioDevice::Callback, this);
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
  stopping_ = true;
  api_->StopStream(stream_);
  api_->CloseStream(stream_);
  g_openStreams = std::max(0, g_openStreams - 1);
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
