// Every module that owns shared records registers how to put them back to their
// start-up state; ResetSharedState() runs them all (tests call it before each case).
#pragma once

#include <functional>

namespace zentor {

void RegisterSharedStateReset(std::function<void()> reset);
void ResetSharedState();

// Registers at static-initialisation time: `static SharedStateRegistrar r([] { ... });`
struct SharedStateRegistrar {
  explicit SharedStateRegistrar(std::function<void()> reset) { RegisterSharedStateReset(std::move(reset)); }
};

}  // namespace zentor
