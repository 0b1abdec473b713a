#include "eqdesign/level_matching.h"

#include <string>

#include "base/text_number.h"
#include "core/helpers.h"
#include "core/records.h"
#include "display/average_response.h"
#include "display/graph_frame.h"
#include "display/graph_primitives.h"
#include "display/plot_colours.h"
#include "display/view_state.h"
#include "platform/dialogs.h"
#include "platform/forms.h"

namespace zentor {

bool AjustLevelGraphics(GraphHost& host, int32_t index, float frequency, float q2, float q1, int32_t /*unused*/) {
  if (index < 0 || index >= kMaxFilters) return false;
  WaitCursor hourglass;
  if (q1 == 0) MsgBox("Error 5420");
  FilterRecord& f = AppliedFilters[static_cast<size_t>(index)];
  f.Q1 = q1;
  f.Q2 = q2;
  f.Freq1 = frequency;

  // Only the analysable band.
  GraphFrame& frame = FreqGraphFrame;
  MeasurementHeader& set = ResultsDataSetInfo[0];
  if (frame.XFinish > set.SampleRate / 2.0) frame.XFinish = CLng(set.SampleRate / 2.0);
  if (frame.XStart < 10) frame.XStart = 10;

  CurveRecord& plain = SingleViewCurves[0];
  CurveRecord& filtered = SingleViewCurves[1];
  plain.NumCurves = 0;
  std::string title;
  switch (DisplayConfig.Graphshown) {
    case kBodeView:
      title = " Power Average";
      ComputeAverageResponse(host, BodeCurves, plain, filtered, AppliedFilters, frame, kBodeView, set.PsycShelfLevel,
                             set.FreqRespGateTime, set.FractOctRes);
      break;
    case kFractOctView:
      title = " SPL Average";
      ComputeAverageResponse(host, FractOctCurves, plain, filtered, AppliedFilters, frame, kFractOctView,
                             set.PsycShelfLevel, set.FractOctGateTime, set.FractOctRes);
      break;
    case kPsycView:
      title = " SPL Average";
      ComputeAverageResponse(host, PsycCurves, plain, filtered, AppliedFilters, frame, kPsycView, set.PsycShelfLevel,
                             set.PsycGateTime, set.PsycLFResolution);
      break;
    default: MsgBox("Error 4763"); break;
  }
  plain.NumCurves = 2;

  // Levels over the graph's range, ends included, 1 dB clear of the curves.
  const auto lo = static_cast<float>(frame.XStart), hi = static_cast<float>(frame.XFinish);
  frame.YLow = frame.YHigh = CLng(GetFirstValueInRange(lo, hi, plain.XValues, plain.YValues, plain.NumPoints));
  for (const CurveRecord* c : {&plain, &filtered}) {
    frame.YLow = CLng(GetMinValueInRange(lo, hi, c->XValues, c->YValues, c->NumPoints, static_cast<float>(frame.YLow)));
    frame.YHigh =
        CLng(GetMaxValueInRange(lo, hi, c->XValues, c->YValues, c->NumPoints, static_cast<float>(frame.YHigh)));
  }
  frame.YHigh += 1;
  frame.YLow -= 1;

  DrawingSurface& picture = host.MainGraph();
  DrawGraphFrame(frame, picture);
  DrawGraphTitleAndLegend(frame, picture, SingleViewCurves, title, 6);
  PlotCurve(frame, picture, plain, PlotColours[3]);
  // Over the background the XOR pen shows the second curve colour.
  picture.SetDrawMode(DrawMode::XorPen);
  PlotCurve(frame, picture, filtered, PlotColours[1] ^ PlotColours[4]);
  picture.SetDrawMode(DrawMode::CopyPen);
  return true;
}

void AjustDeltaLevelGraphics(int32_t, int32_t, int32_t, int32_t) {}

}  // namespace zentor
