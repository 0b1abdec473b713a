// Curve sets filed by hand, for tests of the views that read them.
#pragma once

#include <string>

#include "base/text_number.h"
#include "core/records.h"

namespace zentor::test {

// Slot i of the set: `points` points at `level` dB from x0 to x1, and the set's count raised to i + 1.
inline void FlatCurve(CurveArray& set, int i, int points, float level, float x0 = 20, float x1 = 20000) {
  CurveRecord& c = set[static_cast<size_t>(i)];
  c.NumPoints = points;
  c.CurveIndex = i;
  c.Label = Str(static_cast<int32_t>(i + 1));
  for (int j = 0; j < points; ++j) {
    c.XValues[static_cast<size_t>(j)] = x0 + (x1 - x0) * j / (points - 1);
    c.YValues[static_cast<size_t>(j)] = level;
  }
  for (int k = 0; k <= i; ++k) set[static_cast<size_t>(k)].NumCurves = i + 1;
}

}  // namespace zentor::test
