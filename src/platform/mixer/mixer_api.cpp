#include "platform/mixer/mixer_api.h"

#include "platform/audio/simulated_sound_card.h"
#include "platform/audio/sound_devices.h"
#include "platform/mixer/alsa_mixer.h"
#include "platform/mixer/simulated_mixer.h"

namespace zentor {

namespace {

// Sends each opening to the mixer of the device behind the list entry.
class SystemMixer final : public MixerApi {
 public:
  int32_t NumDevs() override { return RecordDeviceCount(); }
  int32_t Open(int32_t device) override {
    Close();
    if (ResolveWaveDevice(device) == &SimulatedSoundCard::Instance()) {
      current_ = &SimulatedMixer::Instance();
      return current_->Open(0);
    }
    current_ = &alsa_;
    return alsa_.Open(device);
  }
  void Close() override {
    if (current_) current_->Close();
    current_ = nullptr;
  }
  int32_t Caps(std::string& name, int32_t& destinations) override {
    return current_ ? current_->Caps(name, destinations) : MixerResult::InvalidHandle;
  }
  int32_t LineInfo(int32_t d, int32_t s, MixerLineInfo& info) override {
    return current_ ? current_->LineInfo(d, s, info) : MixerResult::InvalidHandle;
  }
  int32_t LineControls(int32_t d, int32_t s, std::vector<MixerControlInfo>& controls) override {
    return current_ ? current_->LineControls(d, s, controls) : MixerResult::InvalidHandle;
  }
  int32_t GetValues(int32_t id, int32_t count, std::vector<int32_t>& values) override {
    return current_ ? current_->GetValues(id, count, values) : MixerResult::InvalidHandle;
  }
  int32_t SetValues(int32_t id, const std::vector<int32_t>& values) override {
    return current_ ? current_->SetValues(id, values) : MixerResult::InvalidHandle;
  }

 private:
  AlsaMixerApi alsa_;
  MixerApi* current_ = nullptr;
};

MixerApi* g_installed = nullptr;

}  // namespace

bool IsListControlType(int32_t type) {
  return type == MixerControlType::Multiplexer || type == MixerControlType::Mixer ||
         type == MixerControlType::SingleSelect || type == MixerControlType::MultipleSelect;
}

MixerApi& Mixers() {
  static SystemMixer system;
  return g_installed ? *g_installed : system;
}

void SetMixerApi(MixerApi* api) { g_installed = api; }

}  // namespace zentor
