#include "display/single_curve_views.h"

#include "display/graph_frame.h"
#include "display/graph_primitives.h"

namespace zentor {

void ShowImpulseCurve(GraphHost& host, int32_t /*k*/) {
  DrawingSurface& dc = PrepareGraphDC(host.MainGraph());
  DrawGraphFrame(TimeGraphFrame, dc);
  RefreshGraph(dc);
}

}  // namespace zentor
