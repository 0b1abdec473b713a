#include "display/frequency_views.h"

#include "core/records.h"
#include "display/graph_frame.h"
#include "display/graph_primitives.h"

namespace zentor {

namespace {

bool SetLoaded() {
  const int32_t n = ResultsDataSetInfo[0].NumInSet;
  return n >= 1 && n <= kMaxResults;
}

bool EmptyFrame(GraphHost& host) {
  DrawingSurface& dc = PrepareGraphDC(host.MainGraph());
  DrawGraphFrame(FreqGraphFrame, dc);
  RefreshGraph(dc);
  return SetLoaded();
}

}  // namespace

bool ShowFFTResponseSet(GraphHost& host, int32_t /*FirstCurve*/) { return EmptyFrame(host); }
bool ShowFractOctResponseSet(GraphHost& host, int32_t /*FirstCurve*/) { return EmptyFrame(host); }
bool ShowPsycResponseSet(GraphHost& host, int32_t /*FirstCurve*/) { return EmptyFrame(host); }
bool ShowNoiseResponseSet(GraphHost& host, int32_t /*FirstCurve*/) { return EmptyFrame(host); }
bool ShowModalResponseSet(GraphHost& host, int32_t /*FirstCurve*/) { return EmptyFrame(host); }

}  // namespace zentor
