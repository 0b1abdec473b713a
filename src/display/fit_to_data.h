// Axis limits from a curve set and from the coordinate lock.
#pragma once

#include <cstdint>

#include "core/records.h"
#include "display/graph_frame.h"

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

}  // namespace zentor
