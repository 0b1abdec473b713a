#include "platform/mixer/simulated_mixer.h"

#include <algorithm>

namespace zentor {

namespace {

SimMixerControl Control(int32_t id, int32_t type, std::vector<int32_t> values, int32_t items = 0) {
  return {{id, type, items}, std::move(values)};
}

}  // namespace

SimMixerCard SimulatedMixer::DefaultCard() {
  using namespace MixerControlType;
  SimMixerLine source;
  source.controls = {Control(11, Volume, {40000, 40000, 40000, 40000}), Control(12, OnOff, {1, 1, 1, 1}),
                     Control(13, SingleSelect, {1, 0, 0}, 3), Control(14, PeakMeter, {0, 0, 0, 0})};
  SimMixerLine destination;
  destination.controls = {Control(1, Volume, {52000, 52000, 52000, 52000}), Control(2, Mute, {0, 0, 0, 0}),
                          Control(3, Multiplexer, {0, 1}, 2)};
  destination.sources = {source};
  return {"Zentor Simulated Loopback", {destination}};
}

SimulatedMixer::SimulatedMixer() : cards{DefaultCard()} {}

SimulatedMixer& SimulatedMixer::Instance() {
  static SimulatedMixer mixer;
  return mixer;
}

void SimulatedMixer::FailAt(SimMixerCall call, int32_t code) {
  if (code == 0)
    failures_.erase(call);
  else
    failures_[call] = code;
}

int32_t SimulatedMixer::Failure(SimMixerCall call) const {
  const auto it = failures_.find(call);
  return it == failures_.end() ? 0 : it->second;
}

SimMixerControl* SimulatedMixer::Find(int32_t card, int32_t controlId) {
  if (card < 0 || card >= static_cast<int32_t>(cards.size())) return nullptr;
  for (SimMixerLine& d : cards[static_cast<size_t>(card)].destinations) {
    for (SimMixerControl& c : d.controls)
      if (c.info.id == controlId) return &c;
    for (SimMixerLine& s : d.sources)
      for (SimMixerControl& c : s.controls)
        if (c.info.id == controlId) return &c;
  }
  return nullptr;
}

bool SimulatedMixer::OnSource(int32_t controlId) {
  if (open_ < 0) return false;
  for (SimMixerLine& d : cards[static_cast<size_t>(open_)].destinations)
    for (SimMixerLine& s : d.sources)
      for (SimMixerControl& c : s.controls)
        if (c.info.id == controlId) return true;
  return false;
}

SimMixerLine* SimulatedMixer::Line(int32_t destination, int32_t source) {
  if (open_ < 0) return nullptr;
  auto& dests = cards[static_cast<size_t>(open_)].destinations;
  if (destination < 0 || destination >= static_cast<int32_t>(dests.size())) return nullptr;
  SimMixerLine& d = dests[static_cast<size_t>(destination)];
  if (source < 0) return &d;
  if (source >= static_cast<int32_t>(d.sources.size())) return nullptr;
  return &d.sources[static_cast<size_t>(source)];
}

int32_t SimulatedMixer::NumDevs() { return static_cast<int32_t>(cards.size()); }

int32_t SimulatedMixer::Open(int32_t device) {
  ++openCount;
  if (const int32_t f = Failure(SimMixerCall::Open)) return f;
  if (device < 0 || device >= NumDevs()) return MixerResult::BadDeviceId;
  open_ = device;
  return 0;
}

void SimulatedMixer::Close() {
  ++closeCount;
  open_ = -1;
}

int32_t SimulatedMixer::Caps(std::string& productName, int32_t& destinations) {
  if (const int32_t f = Failure(SimMixerCall::Caps)) return f;
  if (open_ < 0) return MixerResult::InvalidHandle;
  const SimMixerCard& card = cards[static_cast<size_t>(open_)];
  productName = card.name.substr(0, 31);
  destinations = static_cast<int32_t>(card.destinations.size());
  return 0;
}

int32_t SimulatedMixer::LineInfo(int32_t destination, int32_t source, MixerLineInfo& info) {
  if (const int32_t f = Failure(source < 0 ? SimMixerCall::DestinationLine : SimMixerCall::SourceLine)) return f;
  const SimMixerLine* line = Line(destination, source);
  if (!line) return MixerResult::InvalidParam;
  info.connections = source < 0 ? static_cast<int32_t>(line->sources.size()) : 0;
  info.controls = static_cast<int32_t>(line->controls.size());
  return 0;
}

int32_t SimulatedMixer::LineControls(int32_t destination, int32_t source, std::vector<MixerControlInfo>& controls) {
  if (const int32_t f = Failure(source < 0 ? SimMixerCall::DestinationControls : SimMixerCall::SourceControls))
    return f;
  const SimMixerLine* line = Line(destination, source);
  if (!line) return MixerResult::InvalidParam;
  controls.clear();
  for (const SimMixerControl& c : line->controls) controls.push_back(c.info);
  return 0;
}

int32_t SimulatedMixer::GetValues(int32_t controlId, int32_t count, std::vector<int32_t>& values) {
  if (const int32_t f = Failure(OnSource(controlId) ? SimMixerCall::SourceValues : SimMixerCall::DestinationValues))
    return f;
  const SimMixerControl* c = Find(open_, controlId);
  if (!c || count < 0) return MixerResult::InvalidParam;
  values.assign(static_cast<size_t>(count), 0);
  for (size_t i = 0; i < values.size(); ++i) values[i] = c->values.empty() ? 0 : c->values[std::min(i, c->values.size() - 1)];
  return 0;
}

int32_t SimulatedMixer::SetValues(int32_t controlId, const std::vector<int32_t>& values) {
  if (const int32_t f = Failure(SimMixerCall::SetValues)) return f;
  SimMixerControl* c = Find(open_, controlId);
  if (!c) return MixerResult::InvalidParam;
  for (size_t i = 0; i < c->values.size() && i < values.size(); ++i) c->values[i] = values[i];
  return 0;
}

}  // namespace zentor
