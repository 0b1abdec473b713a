// While one applied filter is edited, the main graph shows the room average
// without and with the applied filters, so each change shows its effect at once.
#pragma once

#include <cstdint>

#include "display/graph_host.h"

namespace zentor {

// Writes frequency (rad/s), q1 and q2 into AppliedFilters(index), then draws the
// two averages of the view shown (3, 6 or 7) over the graph's range, the
// filtered one with the XOR pen. "Error 5420" for q1 = 0 and "Error 4763" for
// another view, and it goes on. True, except for an index outside the list's
// slots, where nothing is written.
bool AjustLevelGraphics(GraphHost& host, int32_t index, float frequency, float q2, float q1, int32_t unused);

// Does nothing.
void AjustDeltaLevelGraphics(int32_t a, int32_t b, int32_t c, int32_t d);

}  // namespace zentor
