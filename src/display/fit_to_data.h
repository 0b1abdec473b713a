// Fit to data: axis limits from a curve set and from the coordinate lock; the
// redraw of a whole curve set and the normalised display levels.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "core/records.h"
#include "display/graph_frame.h"
#include "display/graph_host.h"

namespace zentor {

// Kinds of ApplyCoOrdLockLimits.
enum : int32_t { kLockTime = 3, kLockFrequency = 4, kLockNoise = 5 };

// Limits that enclose every curve of the set: x from the smallest first x to the
// largest last x, y over all points, each end cut to a whole number (the upper
// ends one above). A set with no x or no y extent leaves the limits as they are.
void FindCurveSetExtent(int32_t& XStart, int32_t& XFinish, int32_t& YLow, int32_t& YHigh, const CurveArray& curves);

// Time: the lock narrows the x range only. Frequency and noise: the lock's four
// limits replace the frame's.
void ApplyCoOrdLockLimits(int32_t& XStart, int32_t& XFinish, int32_t& YLow, int32_t& YHigh, int32_t kind);

// A level range under 5 dB becomes 10 dB about its middle.
void WidenNarrowLevelRange(GraphFrame& frame);

// No empty or reversed span, and a log axis that starts at 1 Hz or above.
void KeepFrameValid(GraphFrame& frame, bool logAxis);

// Axis limits of the view shown from its curves within the coordinate lock, then
// a redraw from the filed curves.
void FitGraphToData(GraphHost& host);

// Frame, every filed curve in its slot's colour, legend; an empty set draws nothing.
void UpdateGraph(CurveArray& curves, GraphFrame& frame, DrawingSurface& picture, std::string_view title);

// With Norm ticked, moves y(0..n-1) so that its mean over [lower, upper] Hz is 0.
void NormalizeDisplayCurves(const GraphHost& host, std::span<float> y, std::span<const float> x, int32_t n,
                            int32_t lower, int32_t upper);

}  // namespace zentor
