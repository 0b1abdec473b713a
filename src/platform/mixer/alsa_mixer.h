// The mixer of an ALSA card through snd_mixer's simple elements: one destination
// line holding every control, in element order, one control per capability.
#pragma once

#include <memory>

#include "platform/mixer/mixer_api.h"

namespace zentor {

// An ALSA errno (negative or not) as a mixer result code.
int32_t AlsaMixerResult(int err);

class AlsaMixerApi final : public MixerApi {
 public:
  AlsaMixerApi();
  ~AlsaMixerApi() override;
  int32_t NumDevs() override;
  // `device` is a list entry; its ALSA card, or "default" when it names none.
  int32_t Open(int32_t device) override;
  // Opens an ALSA card by number, -1 the "default" mixer.
  int32_t OpenCard(int32_t card);
  void Close() override;
  int32_t Caps(std::string& productName, int32_t& destinations) override;
  int32_t LineInfo(int32_t destination, int32_t source, MixerLineInfo& info) override;
  int32_t LineControls(int32_t destination, int32_t source, std::vector<MixerControlInfo>& controls) override;
  int32_t GetValues(int32_t controlId, int32_t count, std::vector<int32_t>& values) override;
  int32_t SetValues(int32_t controlId, const std::vector<int32_t>& values) override;

 private:
  struct State;
  std::unique_ptr<State> s_;
};

}  // namespace zentor
