// Drawing a waterfall in the 1200 x 1200 space: the frame (background, level grid,
// frequency axes at the back and at the front, slice baselines, depth and gate
// texts) and the stack of slices, the first at the back and top right.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "display/graph_frame.h"
#include "display/graph_primitives.h"
#include "tools/waterfall_compute.h"

namespace zentor {

struct WaterfallFrame {
  int32_t N = 0;  // slices
  std::array<int32_t, kGridTableSize> LabelValues{};
  int32_t LabelCount = 0;  // index of the last entry
  std::array<int32_t, kGridTableSize> LineValues{};
  int32_t LineCount = 0;
  int32_t XStart = 0;  // Hz
  int32_t XFinish = 0;
  int32_t YLow = 0;  // dB
  int32_t YHigh = 0;
  float Span = 0;  // ms
  std::string XTitle;
  std::string YTitle;
  std::string DepthTitle;
  std::string GraphTitle;
  float XScale = 0;
  float YScale = 0;
  float XOffset = 0;
  float YOffset = 0;
  float Left = 0;
  float Right = 0;
  float Bottom = 0;
  float Top = 0;
  float Slope = 0;  // the stack reaches Depth down and Depth x Slope to the left
  float Depth = 0;

  // What the slice drawing reads of it.
  WaterfallProjection Projection() const;
};

// Fills the frame from the axes (limits, grid tables, titles, scales) and the span,
// then its grid and scales.
void SetUpWaterfallFrame(const GraphFrame& axes, WaterfallFrame& frame, float span);
// Both grid tables from YLow..YHigh; a range above 32000 leaves them as they are.
void ComputeWaterfallLevelGrid(WaterfallFrame& frame);
// Scales and offsets; "Error 5430" for a frequency range, "Error 5431" for a level
// range that is not positive, and false (the scales are then left as they were).
bool ComputeWaterfallScales(WaterfallFrame& frame, bool quiet = false);

// Everything but the slices; "Error 5688" when drawing fails.
void DrawWaterfallFrame(const WaterfallFrame& frame, DrawingSurface& picture, float gate, const std::string& title);
// The background alone, what shows when the scales could not be made.
void DrawWaterfallBackground(DrawingSurface& picture);
// Slices m = 1..35 from the back, in the first curve colour.
void DrawWaterfallSlices(const WaterfallFrame& frame, DrawingSurface& picture, const WaterfallSliceSet& slices);

}  // namespace zentor
