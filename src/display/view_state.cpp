#include "display/view_state.h"

#include "base/shared_state.h"
#include "core/records.h"

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

void SetDefaultImpulseDisplay(ImpulseDisplayConfigRecord& i) {
  i.UpperCutoffFreq = 200.0f;
  i.LowerCutoffFreq = 16.0f;
  i.Order = 4;
  i.FilterOn = kFalse;
  i.ETCMinLow = 1000.0;
  i.ETCMinHigh = 2000.0;
  i.ETCMidLow = 1500.0;
  i.ETCMidHigh = 2500.0;
  i.ETCHighLow = 2000.0;
  i.ETCHighHigh = 3000.0;
  i.ApplyLowETC = i.ApplyMidETC = i.ApplyHighETC = kTrue;
  i.ETCDRTime = 80.0f;
  i.ETCDRPlusRev = 300.0f;
}

}  // namespace zentor
