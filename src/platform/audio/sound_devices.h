// The list of recording devices that WaveDeviceId indexes: PortAudio's ALSA devices
// with an input, in PortAudio's order, then the JACK server when one answers
// ("system"), then the simulated loopback card. WaveDeviceId -1, the default, is
// the first of them: the card the sound-card window ticks when none was chosen. Built at the first query and again after ForgetSoundDevices
// (RefreshSoundDevices in wave_streaming.h). UI thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/audio/audio_device.h"

namespace zentor {

inline constexpr const char* kSimulatedCardName = "Zentor Simulated Loopback";
// Device names are cut to this many characters.
inline constexpr int kDeviceNameLength = 31;

enum class WaveDirection { Input, Output };

int32_t RecordDeviceCount();
// The name of device `index`; "" with `errorText` filled when there is none.
std::string RecordDeviceName(int32_t index, std::string& errorText);
// Two 16-bit channels at `rate` on the device's input, or on the output paired with
// it. `device` -1 asks the default card.
bool IsFormatSupported(WaveDirection direction, int32_t device, int32_t rate);
// The ALSA card number of device `index` ("(hw:X,"), -1 when it has none.
int32_t RecordDeviceAlsaCard(int32_t index);
// The device behind a WaveDeviceId; nullptr when the id names none.
AudioDevice* ResolveWaveDevice(int32_t waveDeviceId);
// The list position of the simulated card.
int32_t SimulatedCardIndex();

// Forgets the list and stops PortAudio, so the next query starts afresh (no stream
// may be open); PortAudio keeps running while a JACK server does not answer.
void ForgetSoundDevices();

}  // namespace zentor
