// Zooming the main graph with the mouse: a rubber band follows a pressed button,
// the release turns it into new axis limits (or zooms out), and the right button
// also picks the frequency range of the filter fit.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "core/records.h"
#include "display/graph_frame.h"
#include "display/graph_host.h"
#include "platform/picture.h"

namespace zentor {

// Set by the equaliser design. Unset, the settings of an accumulating fit are not
// checked.
struct MouseZoomLinks {
  // The view shown and the fitted filter sets; tells the user when the sets were
  // fitted under other settings than those in use.
  std::function<void(int32_t view, std::array<SingularityListRecord, kFilterSets>& sets)> CheckAccumulateSettings;
};
extern MouseZoomLinks MouseZoomHooks;

// Mouse buttons as the picture reports them.
constexpr int kLeftButton = 1;
constexpr int kRightButton = 2;

// Which graph ZoomFrameToBox works on.
constexpr int32_t kZoomTimeGraph = -13;
constexpr int32_t kZoomFrequencyGraph = -14;

// The band shows black on the graph's background, white when the background is
// darker than mid-grey; the right button draws it dashed in the frequency views
// where it also sets the fit range.
Pen RubberBandPen(int button, int32_t view, ColourRef background);

// New limits of the frame from the rectangle (X1, Y1)-(X2, Y2) in drawing units,
// drawn from its upper left corner. On the frequency graph x starts at 1 Hz or
// above and spans at least 1 Hz; on the time graph it starts at -10 ms or later.
// Spans under 1 unit in x or 5 dB in y widen about their middle. False, with the
// frame unchanged, when x does not increase, y does not decrease in value, or a
// limit does not fit a whole-number field. The caller redraws.
bool ZoomFrameToBox(GraphFrame& frame, float X1, float Y1, float X2, float Y2, int32_t kind);

// The picture's mouse events; positions in drawing units. Only the left and the
// right button act.
void Picture1_MouseDown(GraphHost& host, int button, int shift, float x, float y);
void Picture1_MouseMove(GraphHost& host, int button, int shift, float x, float y);
void Picture1_MouseUp(GraphHost& host, int button, int shift, float x, float y);

}  // namespace zentor
