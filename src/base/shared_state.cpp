#include "base/shared_state.h"

#include <vector>

namespace zentor {

static std::vector<std::function<void()>>& Resets() {
  static std::vector<std::function<void()>> r;
  return r;
}

void RegisterSharedStateReset(std::function<void()> reset) { Resets().push_back(std::move(reset)); }

void ResetSharedState() {
  for (auto& r : Resets()) r();
}

}  // namespace zentor
