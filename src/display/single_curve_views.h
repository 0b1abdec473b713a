// The views of one result alone. Until they are built they show the empty time
// frame.
#pragma once

#include <cstdint>

#include "display/graph_host.h"

namespace zentor {

// Single-curve impulse (or energy-time) view of result k (0-based).
void ShowImpulseCurve(GraphHost& host, int32_t k);

}  // namespace zentor
