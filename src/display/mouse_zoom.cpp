#include "display/mouse_zoom.h"

#include <algorithm>
#include <cmath>

#include "base/shared_state.h"
#include "base/text_number.h"
#include "display/dispatcher.h"
#include "display/fit_to_data.h"
#include "display/plot_colours.h"
#include "display/view_state.h"
#include "platform/dialogs.h"

namespace zentor {

MouseZoomLinks MouseZoomHooks;

namespace {

// The pen chosen at the press, kept for the moves of the same drag.
Pen bandPen;

SharedStateRegistrar g_reset([] {
  MouseZoomHooks = MouseZoomLinks{};
  bandPen = Pen{};
});

bool IsZoomButton(int button) { return button == kLeftButton || button == kRightButton; }

bool IsTimeView(int32_t view) { return view == kImpulseView || view == kLevelsView; }

bool IsFrequencyCurveView(int32_t view) { return view == kBodeView || view == kFractOctView || view == kPsycView; }

void DrawBand(GraphHost& host) {
  const RubberBandRecord& r = RubberBandState;
  host.ShowRubberBand(DrawPoint{ToDrawUnit(r.StartX), ToDrawUnit(r.StartY)},
                      DrawPoint{ToDrawUnit(r.EndX), ToDrawUnit(r.EndY)}, bandPen);
  RubberBandState.BoxErased = kFalse;
}

void EraseBand(GraphHost& host) {
  host.HideRubberBand();
  RubberBandState.BoxErased = kTrue;
}

// The fit range and the fit graph's x axis follow the frequency graph.
void FitRangeFromFrequencyGraph(GraphHost& host) {
  const GraphFrame& f = FreqGraphFrame;
  host.SetFitRange(f.XStart, f.XFinish);
  FitGraphFrame.XStart = f.XStart;
  FitGraphFrame.XFinish = f.XFinish;
  FitGraphFrame.LogX = f.LogX;
}

// A new fit forgets the filter sets, the modes and the responses fitted so far.
void BeginNewFit(GraphHost& host) {
  for (int i = 0; i < kMaxResults; ++i) {
    SingularityList[static_cast<size_t>(i)].Count = 0;
    FitStoredCurves[static_cast<size_t>(i)].NumPoints = 0;
  }
  ModesListContents[0].Count = 0;
  host.ShowListLines({});
}

// The right button's zoom is also the range of the next filter fit. An
// accumulating fit may not leave the range its filters were fitted over.
void SetFitRangeFromZoom(GraphHost& host) {
  FitRangeFromFrequencyGraph(host);
  const double minFreq = FreqGraphFrame.XStart;
  const double maxFreq = FreqGraphFrame.XFinish;
  if (!host.AccumulateTicked()) {
    BeginNewFit(host);
  } else {
    const int32_t k = host.FitFilterSet();
    double lo = 0, hi = 0;  // a set number out of range has no range stored
    if (k >= 0 && k < kFilterSets) {
      lo = SingularityList[static_cast<size_t>(k)].RangeLow;
      hi = SingularityList[static_cast<size_t>(k)].RangeHigh;
    }
    if (minFreq < lo || maxFreq > hi) {
      MsgBox("User Error:UnCheck 'Accumulate' in Filters frame to begin a new session");
      if (lo != 0 && hi != 0) {
        host.SetFitRange(lo, hi);
        bool okLo = true, okHi = true;
        const int32_t start = CLng(lo, &okLo), finish = CLng(hi, &okHi);
        if (okLo && okHi) {
          FitGraphFrame.XStart = FreqGraphFrame.XStart = start;
          FitGraphFrame.XFinish = FreqGraphFrame.XFinish = finish;
        }
      }
      return;
    }
  }
  if (MouseZoomHooks.CheckAccumulateSettings)
    MouseZoomHooks.CheckAccumulateSettings(DisplayConfig.Graphshown, SingularityList);
  if (host.AccumulateTicked()) host.SetFitRange(FitGraphFrame.XStart, FitGraphFrame.XFinish);
}

// A release of the left or right button: zoom in on the band, or out.
void ZoomOnRelease(GraphHost& host, int button) {
  RubberBandRecord& r = RubberBandState;
  if (r.EndY == 0) {  // a click without a drag
    FitGraphToData(host);
    return;
  }
  if (r.BoxErased == 0) EraseBand(host);
  if (r.EndX < r.StartX) {  // dragged to the left
    FitGraphToData(host);
    return;
  }
  const int32_t view = DisplayConfig.Graphshown;
  const bool time = IsTimeView(view);
  if (!ZoomFrameToBox(time ? TimeGraphFrame : FreqGraphFrame, r.StartX, r.StartY, r.EndX, r.EndY,
                      time ? kZoomTimeGraph : kZoomFrequencyGraph)) {
    FitGraphToData(host);
    return;
  }
  if (!time) FitRangeFromFrequencyGraph(host);
  // The one redraw of the zoom: the fit range does not change the picture.
  DisplayResults(host, kRedrawFiledCurves);
  if (button == kRightButton) SetFitRangeFromZoom(host);
}

}  // namespace

Pen RubberBandPen(int button, int32_t view, ColourRef background) {
  const int luma = (299 * RedOf(background) + 587 * GreenOf(background) + 114 * BlueOf(background)) / 1000;
  Pen pen;
  pen.colour = luma < 128 ? RGB(255, 255, 255) : RGB(0, 0, 0);
  pen.style = button == kRightButton && IsFrequencyCurveView(view) ? PenStyle::Dash : PenStyle::Solid;
  return pen;
}

bool ZoomFrameToBox(GraphFrame& frame, float X1, float Y1, float X2, float Y2, int32_t kind) {
  if (frame.XScale == 0 || frame.YScale == 0) return false;  // never drawn: no mapping back
  const auto dataX = [&](float X) {
    const double v = (double(X) - frame.XOffset) / frame.XScale;
    return frame.LogX != 0 ? std::exp(v) : v;
  };
  double x1 = dataX(X1), x2 = dataX(X2);
  if (kind == kZoomTimeGraph) {
    if (x1 < -10) x1 = -10;
  } else {
    if (x1 < 1) x1 = 1;
    if (x1 + 1 > x2) x2 = x1 + 1;
  }
  if (!(x1 < x2)) return false;
  if (x2 - x1 < 1) {
    const double m = x1 + (x2 - x1) / 2;
    x1 = m - 0.5;
    x2 = m + 0.5;
  }
  double y1 = (double(Y1) - frame.YOffset) / frame.YScale;
  double y2 = (double(Y2) - frame.YOffset) / frame.YScale;
  if (!(y1 > y2)) return false;
  if (y1 - y2 < 5) {
    const double m = y2 + (y1 - y2) / 2;
    y1 = m + 2.5;
    y2 = m - 2.5;
  }
  bool ok[4] = {true, true, true, true};
  const int32_t low = CLng(y2, &ok[0]), high = CLng(y1, &ok[1]);
  const int32_t start = CLng(x1, &ok[2]), finish = CLng(x2, &ok[3]);
  if (!(ok[0] && ok[1] && ok[2] && ok[3])) return false;
  frame.YLow = low;
  frame.YHigh = high;
  frame.XStart = start;
  frame.XFinish = finish;
  return true;
}

void Picture1_MouseDown(GraphHost& host, int button, int /*shift*/, float x, float y) {
  if (!IsZoomButton(button)) return;
  RubberBandRecord& r = RubberBandState;
  r.ButtonDown = kTrue;
  bandPen = RubberBandPen(button, DisplayConfig.Graphshown, PlotColours[1]);
  if (r.BoxErased == 0) EraseBand(host);
  r.StartX = x;
  r.StartY = y;
}

void Picture1_MouseMove(GraphHost& host, int button, int /*shift*/, float x, float y) {
  RubberBandRecord& r = RubberBandState;
  if (!IsZoomButton(button) || r.ButtonDown == 0) return;
  if (r.BoxErased == 0) EraseBand(host);
  if (x == r.EndX && y == r.EndY) return;
  r.EndX = x;
  r.EndY = y;
  DrawBand(host);
}

void Picture1_MouseUp(GraphHost& host, int button, int /*shift*/, float /*x*/, float /*y*/) {
  RubberBandRecord& r = RubberBandState;
  if (IsZoomButton(button)) {
    // Every release ends the drag, so a later move cannot draw from a stale corner.
    r.ButtonDown = kFalse;
    ZoomOnRelease(host, button);
  }
  r.EndY = 0;
}

}  // namespace zentor
