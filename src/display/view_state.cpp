#include "display/view_state.h"

#include "base/shared_state.h"

namespace zentor {

DisplayConfigRecord DisplayConfig{};
ImpulseDisplayConfigRecord ImpulseDisplayConfig{};
CoOrdLockLimitsRecord CoOrdLockLimits{};
RubberBandRecord RubberBandState{};
std::array<PsdParameterEntry, kPsdParameterEntries> PsdParameters{};
std::array<float, kLevelsImpulseSamples> LevelsImpulse{};

namespace {
SharedStateRegistrar g_reset([] {
  DisplayConfig = DisplayConfigRecord{};
  ImpulseDisplayConfig = ImpulseDisplayConfigRecord{};
  CoOrdLockLimits = CoOrdLockLimitsRecord{};
  RubberBandState = RubberBandRecord{};
  PsdParameters.fill(PsdParameterEntry{});
  LevelsImpulse.fill(0.0f);
});
}

}  // namespace zentor
