// Real sound cards through PortAudio. Every PortAudio call goes through a table of
// functions, so tests can stand a fake PortAudio in its place.
#pragma once

#include <portaudio.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio/audio_device.h"

namespace zentor {

struct PortAudioApi {
  PaError (*Initialize)();
  PaError (*Terminate)();
  PaDeviceIndex (*GetDeviceCount)();
  const PaDeviceInfo* (*GetDeviceInfo)(PaDeviceIndex);
  PaHostApiIndex (*HostApiTypeIdToHostApiIndex)(PaHostApiTypeId);
  PaDeviceIndex (*GetDefaultInputDevice)();
  PaDeviceIndex (*GetDefaultOutputDevice)();
  PaError (*IsFormatSupported)(const PaStreamParameters*, const PaStreamParameters*, double);
  PaError (*OpenStream)(PaStream**, const PaStreamParameters*, const PaStreamParameters*, double, unsigned long,
                        PaStreamFlags, PaStreamCallback*, void*);
  PaError (*SetStreamFinishedCallback)(PaStream*, PaStreamFinishedCallback*);
  PaError (*StartStream)(PaStream*);
  PaError (*StopStream)(PaStream*);
  PaError (*CloseStream)(PaStream*);
  const PaStreamInfo* (*GetStreamInfo)(PaStream*);
  const char* (*GetErrorText)(PaError);
  PaError (*IsStreamActive)(PaStream*);
};

// The PortAudio the program is linked with.
const PortAudioApi& RealPortAudio();
// Tests: the table used from the next list build on; nullptr restores the real one.
void UsePortAudioApi(const PortAudioApi* api);
const PortAudioApi& CurrentPortAudio();
// Terminates PortAudio if it was started; the next device list starts it again.
void ShutDownPortAudio();

inline constexpr unsigned long kPortAudioFramesPerBuffer = 1024;

// One recording device and the output that plays with it. Full duplex paInt16,
// 2 in / 2 out, clipped (a converted sample over full scale saturates), no dither, the devices' default high latencies, 1024
// frames per buffer; input only when there is no output.
class PortAudioDevice final : public AudioDevice {
 public:
  PortAudioDevice(std::string name, PaDeviceIndex input, PaDeviceIndex output);
  ~PortAudioDevice() override;

  std::string Name() const override { return name_; }
  bool SupportsRate(bool input, int32_t rate) override;
  bool HasOutput() const override { return output_ != paNoDevice; }
  int32_t InputChannels() const override { return inputs_; }
  int32_t OutputChannels() const override { return HasOutput() ? outputs_ : 0; }
  WaveStatus Open(int32_t rate, bool withOutput, StreamCycle* cycle, std::string& error) override;
  void Close() override;
  int32_t OutputLatencyFrames() const override { return latencyFrames_; }
  int64_t Xruns() const override { return xruns_.load(std::memory_order_relaxed); }
  bool Lost() const override;

  PaDeviceIndex InputIndex() const { return input_; }
  PaDeviceIndex OutputIndex() const { return output_; }

 private:
  // Finds the device again by its PortAudio names when PortAudio was started again
  // since it was listed; false when it is not there.
  bool Bind();

  static int Callback(const void* in, void* out, unsigned long frames, const PaStreamCallbackTimeInfo*,
                      PaStreamCallbackFlags flags, void* self);
  static void Finished(void* self);

  std::string name_;
  PaDeviceIndex input_, output_;
  std::string inputName_, outputName_;
  int generation_ = 0;  // the start of PortAudio that input_ and output_ number in
  int32_t inputs_ = 0, outputs_ = 0;  // the channels PortAudio lists
  const PortAudioApi* api_ = nullptr;  // the PortAudio that stream_ belongs to
  PaStream* stream_ = nullptr;
  StreamCycle* cycle_ = nullptr;
  int32_t latencyFrames_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int64_t> xruns_{0};
  std::vector<int16_t> silentIn_, discardOut_;  // stand-ins for a missing direction
};

// The ALSA card number in a PortAudio device name ("... (hw:2,0)"), -1 without one.
int32_t AlsaCardOfName(const std::string& name);

// Input devices of the ALSA host API, in PortAudio's order, each paired with its
// output: the same device when it has 2 outputs, else the output with 2 channels on
// the same "(hw:X," card, else the default output. False when PortAudio fails to start.
struct PortAudioEntry {
  std::string name;  // full PortAudio name
  PaDeviceIndex input = paNoDevice, output = paNoDevice;
};
bool ListPortAudioDevices(std::vector<PortAudioEntry>& entries, PaDeviceIndex& defaultIn,
                          PaDeviceIndex& defaultOut);

}  // namespace zentor
