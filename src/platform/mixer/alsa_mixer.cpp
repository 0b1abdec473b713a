#include "platform/mixer/alsa_mixer.h"

#include <alsa/asoundlib.h>

#include <cerrno>
#include <cstdlib>

#include "platform/audio/sound_devices.h"
#include "platform/audio/sound_system_messages.h"

namespace zentor {

namespace {

enum class Capability { PlaybackVolume, CaptureVolume, PlaybackSwitch, CaptureSwitch, Enumerated };

struct AlsaControl {
  snd_mixer_elem_t* elem;
  Capability what;
  MixerControlInfo info;
};

constexpr snd_mixer_selem_channel_id_t kChannels[kMixerChannelValues] = {
    SND_MIXER_SCHN_FRONT_LEFT, SND_MIXER_SCHN_FRONT_RIGHT, SND_MIXER_SCHN_REAR_LEFT, SND_MIXER_SCHN_REAR_RIGHT};

bool HasChannel(const AlsaControl& c, snd_mixer_selem_channel_id_t ch) {
  const bool playback = c.what == Capability::PlaybackVolume || c.what == Capability::PlaybackSwitch;
  return playback ? snd_mixer_selem_has_playback_channel(c.elem, ch) != 0
                  : snd_mixer_selem_has_capture_channel(c.elem, ch) != 0;
}

int ReadChannel(const AlsaControl& c, snd_mixer_selem_channel_id_t ch, int32_t& value) {
  long v = 0;
  int sw = 0, err = 0;
  switch (c.what) {
    case Capability::PlaybackVolume: err = snd_mixer_selem_get_playback_volume(c.elem, ch, &v); break;
    case Capability::CaptureVolume: err = snd_mixer_selem_get_capture_volume(c.elem, ch, &v); break;
    case Capability::PlaybackSwitch:
      err = snd_mixer_selem_get_playback_switch(c.elem, ch, &sw);
      v = sw ? 0 : 1;  // the record keeps "muted"
      break;
    case Capability::CaptureSwitch:
      err = snd_mixer_selem_get_capture_switch(c.elem, ch, &sw);
      v = sw ? 1 : 0;
      break;
    case Capability::Enumerated: break;
  }
  value = static_cast<int32_t>(v);
  return err;
}

int WriteChannel(const AlsaControl& c, snd_mixer_selem_channel_id_t ch, int32_t value) {
  switch (c.what) {
    case Capability::PlaybackVolume: return snd_mixer_selem_set_playback_volume(c.elem, ch, value);
    case Capability::CaptureVolume: return snd_mixer_selem_set_capture_volume(c.elem, ch, value);
    case Capability::PlaybackSwitch: return snd_mixer_selem_set_playback_switch(c.elem, ch, value ? 0 : 1);
    case Capability::CaptureSwitch: return snd_mixer_selem_set_capture_switch(c.elem, ch, value ? 1 : 0);
    case Capability::Enumerated: return 0;
  }
  return 0;
}

}  // namespace

int32_t AlsaMixerResult(int err) {
  switch (std::abs(err)) {
    case 0: return MixerResult::NoError;
    case ENODEV: return MixerResult::BadDeviceId;
    case EBUSY: return MixerResult::Allocated;
    case ENOMEM: return MixerResult::NoMemory;
    case EINVAL:
    case ENOENT: return MixerResult::InvalidParam;
    case ENOTSUP:
    case ENOSYS: return MixerResult::NotSupported;
    default: return MixerResult::Error;
  }
}

struct AlsaMixerApi::State {
  snd_mixer_t* mixer = nullptr;
  std::string name;
  std::vector<AlsaControl> controls;
};

AlsaMixerApi::AlsaMixerApi() : s_(std::make_unique<State>()) {}
AlsaMixerApi::~AlsaMixerApi() { Close(); }

int32_t AlsaMixerApi::NumDevs() { return RecordDeviceCount(); }

int32_t AlsaMixerApi::Open(int32_t device) { return OpenCard(RecordDeviceAlsaCard(device)); }

int32_t AlsaMixerApi::OpenCard(int32_t card) {
  Close();
  QuietSoundSystemMessages();
  const std::string address = card >= 0 ? "hw:" + std::to_string(card) : "default";
  int err = snd_mixer_open(&s_->mixer, 0);
  if (err < 0) {
    s_->mixer = nullptr;
    return AlsaMixerResult(err);
  }
  if ((err = snd_mixer_attach(s_->mixer, address.c_str())) < 0 ||
      (err = snd_mixer_selem_register(s_->mixer, nullptr, nullptr)) < 0 || (err = snd_mixer_load(s_->mixer)) < 0) {
    Close();
    return AlsaMixerResult(err);
  }
  s_->name = address;
  char* cardName = nullptr;
  if (card >= 0 && snd_card_get_name(card, &cardName) == 0 && cardName) {
    s_->name = cardName;
    std::free(cardName);
  }
  s_->name = s_->name.substr(0, 31);
  for (snd_mixer_elem_t* e = snd_mixer_first_elem(s_->mixer); e; e = snd_mixer_elem_next(e)) {
    if (!snd_mixer_selem_is_active(e)) continue;
    auto add = [&](Capability what, int32_t type, int32_t items) {
      const auto id = static_cast<int32_t>(s_->controls.size());
      s_->controls.push_back({e, what, {id, type, items}});
    };
    if (snd_mixer_selem_has_playback_volume(e)) add(Capability::PlaybackVolume, MixerControlType::Volume, 0);
    if (snd_mixer_selem_has_capture_volume(e)) add(Capability::CaptureVolume, MixerControlType::Volume, 0);
    if (snd_mixer_selem_has_playback_switch(e)) add(Capability::PlaybackSwitch, MixerControlType::Mute, 0);
    if (snd_mixer_selem_has_capture_switch(e)) add(Capability::CaptureSwitch, MixerControlType::OnOff, 0);
    if (snd_mixer_selem_is_enumerated(e)) {
      const int items = snd_mixer_selem_get_enum_items(e);
      if (items > 0) add(Capability::Enumerated, MixerControlType::SingleSelect, items);
    }
  }
  return 0;
}

void AlsaMixerApi::Close() {
  if (s_->mixer) snd_mixer_close(s_->mixer);
  s_->mixer = nullptr;
  s_->controls.clear();
}

int32_t AlsaMixerApi::Caps(std::string& productName, int32_t& destinations) {
  if (!s_->mixer) return MixerResult::InvalidHandle;
  productName = s_->name;
  destinations = 1;
  return 0;
}

int32_t AlsaMixerApi::LineInfo(int32_t destination, int32_t source, MixerLineInfo& info) {
  if (!s_->mixer) return MixerResult::InvalidHandle;
  if (destination != 0 || source >= 0) return MixerResult::InvalidParam;
  info.connections = 0;
  info.controls = static_cast<int32_t>(s_->controls.size());
  return 0;
}

int32_t AlsaMixerApi::LineControls(int32_t destination, int32_t source, std::vector<MixerControlInfo>& controls) {
  if (!s_->mixer) return MixerResult::InvalidHandle;
  if (destination != 0 || source >= 0) return MixerResult::InvalidParam;
  controls.clear();
  for (const AlsaControl& c : s_->controls) controls.push_back(c.info);
  return 0;
}

int32_t AlsaMixerApi::GetValues(int32_t controlId, int32_t count, std::vector<int32_t>& values) {
  if (!s_->mixer) return MixerResult::InvalidHandle;
  if (controlId < 0 || controlId >= static_cast<int32_t>(s_->controls.size()) || count < 0)
    return MixerResult::InvalidParam;
  const AlsaControl& c = s_->controls[static_cast<size_t>(controlId)];
  values.assign(static_cast<size_t>(count), 0);
  if (c.what == Capability::Enumerated) {
    unsigned int item = 0;
    if (const int err = snd_mixer_selem_get_enum_item(c.elem, SND_MIXER_SCHN_FRONT_LEFT, &item); err < 0)
      return AlsaMixerResult(err);
    if (item < values.size()) values[item] = 1;
    return 0;
  }
  int32_t first = 0;
  for (int32_t i = 0; i < count && i < kMixerChannelValues; ++i) {
    if (i > 0 && !HasChannel(c, kChannels[i])) {
      values[static_cast<size_t>(i)] = first;
      continue;
    }
    if (const int err = ReadChannel(c, kChannels[i], values[static_cast<size_t>(i)]); err < 0)
      return AlsaMixerResult(err);
    if (i == 0) first = values[0];
  }
  return 0;
}

int32_t AlsaMixerApi::SetValues(int32_t controlId, const std::vector<int32_t>& values) {
  if (!s_->mixer) return MixerResult::InvalidHandle;
  if (controlId < 0 || controlId >= static_cast<int32_t>(s_->controls.size())) return MixerResult::InvalidParam;
  const AlsaControl& c = s_->controls[static_cast<size_t>(controlId)];
  if (c.what == Capability::Enumerated) {
    for (size_t i = 0; i < values.size(); ++i)
      if (values[i] != 0) return AlsaMixerResult(snd_mixer_selem_set_enum_item(c.elem, SND_MIXER_SCHN_FRONT_LEFT, static_cast<unsigned>(i)));
    return 0;
  }
  for (int32_t i = 0; i < static_cast<int32_t>(values.size()) && i < kMixerChannelValues; ++i) {
    if (i > 0 && !HasChannel(c, kChannels[i])) continue;
    if (const int err = WriteChannel(c, kChannels[i], values[static_cast<size_t>(i)]); err < 0)
      return AlsaMixerResult(err);
  }
  return 0;
}

}  // namespace zentor
