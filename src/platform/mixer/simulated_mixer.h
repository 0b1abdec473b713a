// The simulated card's mixer: one destination with a source line, a few controls of
// each kind, values kept in memory, and failures injectable at any call. Tests
// build mixers of their own (several cards, other names, long lists).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/mixer/mixer_api.h"

namespace zentor {

struct SimMixerControl {
  MixerControlInfo info;
  std::vector<int32_t> values;  // items for lists, else the channel values
};

struct SimMixerLine {
  std::vector<SimMixerControl> controls;
  std::vector<SimMixerLine> sources;  // of a destination
};

struct SimMixerCard {
  std::string name;
  std::vector<SimMixerLine> destinations;
};

// The calls a failure can be injected at; the line calls and the value calls
// count destination and source lines apart.
enum class SimMixerCall {
  Open, Caps, DestinationLine, DestinationControls, DestinationValues,
  SourceLine, SourceControls, SourceValues, SetValues
};

class SimulatedMixer final : public MixerApi {
 public:
  SimulatedMixer();  // one card: the simulated card's mixer
  static SimulatedMixer& Instance();
  // The simulated card's own mixer with its start-up values.
  static SimMixerCard DefaultCard();

  std::vector<SimMixerCard> cards;  // mixer m = cards[m]
  // Makes the named call answer `code` from now on (0 clears it).
  void FailAt(SimMixerCall call, int32_t code);
  void ClearFailures() { failures_.clear(); }
  // The control with this identifier on card `card`; nullptr when none.
  SimMixerControl* Find(int32_t card, int32_t controlId);
  int32_t openCount = 0, closeCount = 0;

  int32_t NumDevs() override;
  int32_t Open(int32_t device) override;
  void Close() override;
  int32_t Caps(std::string& productName, int32_t& destinations) override;
  int32_t LineInfo(int32_t destination, int32_t source, MixerLineInfo& info) override;
  int32_t LineControls(int32_t destination, int32_t source, std::vector<MixerControlInfo>& controls) override;
  int32_t GetValues(int32_t controlId, int32_t count, std::vector<int32_t>& values) override;
  int32_t SetValues(int32_t controlId, const std::vector<int32_t>& values) override;

 private:
  int32_t Failure(SimMixerCall call) const;
  SimMixerLine* Line(int32_t destination, int32_t source);
  bool OnSource(int32_t controlId);
  int32_t open_ = -1;
  std::map<SimMixerCall, int32_t> failures_;
};

}  // namespace zentor
