#include "platform/audio/sound_devices.h"

#include <memory>
#include <vector>

#include "platform/audio/jack_device.h"
#include "platform/audio/portaudio_backend.h"
#include "platform/audio/simulated_sound_card.h"

namespace zentor {

namespace {

struct DeviceList {
  bool built = false;
  std::vector<std::unique_ptr<AudioDevice>> cards;
};

DeviceList& Storage() {
  static DeviceList list;
  return list;
}

DeviceList& List() {
  DeviceList& list = Storage();
  if (!list.built) {
    list.built = true;
    std::vector<PortAudioEntry> entries;
    PaDeviceIndex defaultIn = paNoDevice, defaultOut = paNoDevice;
    if (ListPortAudioDevices(entries, defaultIn, defaultOut)) {
      for (auto& e : entries) list.cards.push_back(std::make_unique<PortAudioDevice>(e.name, e.input, e.output));
    }
    // After the ALSA cards, where PortAudio listed its JACK devices.
    if (JackServerInfo server; ProbeJackServer(server)) list.cards.push_back(std::make_unique<JackDevice>(server));
  }
  return list;
}

}  // namespace

std::string ChannelShortageText(int32_t inputs, int32_t outputs, bool withOutput) {
  auto offer = [](int32_t n, const char* side) {
    return "The sound card offers " + std::to_string(n) + " " + side + (n == 1 ? "" : "s") + "; 2 are needed";
  };
  if (inputs < 2) return offer(inputs, "input");
  if (withOutput && outputs < 2) return offer(outputs, "output");
  return "";
}

int32_t RecordDeviceCount() { return static_cast<int32_t>(List().cards.size()) + 1; }

int32_t SimulatedCardIndex() { return static_cast<int32_t>(List().cards.size()); }

std::string RecordDeviceName(int32_t index, std::string& errorText) {
  errorText.clear();
  if (index < 0 || index >= RecordDeviceCount()) {
    errorText = "The device number " + std::to_string(index) + " is out of range";
    return "";
  }
  AudioDevice* dev = ResolveWaveDevice(index);
  return dev->Name().substr(0, kDeviceNameLength);
}

bool IsFormatSupported(WaveDirection direction, int32_t device, int32_t rate) {
  AudioDevice* dev = ResolveWaveDevice(device);
  if (!dev || rate <= 0) return false;
  if (direction == WaveDirection::Output && !dev->HasOutput()) return false;
  return dev->SupportsRate(direction == WaveDirection::Input, rate);
}

int32_t RecordDeviceAlsaCard(int32_t index) {
  const DeviceList& list = List();
  if (index < 0 || index >= static_cast<int32_t>(list.cards.size())) return -1;
  return AlsaCardOfName(list.cards[static_cast<std::size_t>(index)]->Name());
}

AudioDevice* ResolveWaveDevice(int32_t waveDeviceId) {
  DeviceList& list = List();
  // The card the sound-card window ticks when none was chosen.
  if (waveDeviceId == -1) waveDeviceId = 0;
  if (waveDeviceId < 0 || waveDeviceId > static_cast<int32_t>(list.cards.size())) return nullptr;
  if (waveDeviceId == static_cast<int32_t>(list.cards.size())) return &SimulatedSoundCard::Instance();
  return list.cards[static_cast<std::size_t>(waveDeviceId)].get();
}

void ForgetSoundDevices() {
  DeviceList& list = Storage();
  list.cards.clear();
  list.built = false;
  // Started again, PortAudio would wait behind a frozen JACK server: the ALSA
  // cards it listed stay listed until the server answers.
  if (!JackServerNotAnswering()) ShutDownPortAudio();
}

}  // namespace zentor
