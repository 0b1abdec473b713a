#include "mainwindow/view_state.h"

#include "core/shared_state.h"

namespace zentor {

DisplayConfigRecord DisplayConfig{};
ImpulseDisplayConfigRecord ImpulseDisplayConfig{};
CoOrdLockLimitsRecord CoOrdLockLimits{};
RubberBandRecord RubberBandState{};

namespace {
SharedStateRegistrar g_reset([] {
  DisplayConfig = DisplayConfigRecord{};
  ImpulseDisplayConfig = ImpulseDisplayConfigRecord{};
  CoOrdLockLimits = CoOrdLockLimitsRecord{};
  RubberBandState = RubberBandRecord{};
});
}

}  // namespace zentor
