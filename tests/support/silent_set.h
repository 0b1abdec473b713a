// Synthetic result sets and what the views drew of them, for the view tests of
// both the display and the main window.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "core/records.h"
#include "platform/picture.h"

namespace zentor::test {

// n results of 2^exponent samples at fs, all silent, with the current settings.
inline void LoadSilentSet(int32_t n, int32_t fs, int32_t exponent, float impulseGate) {
  MeasurementHeader& s = ResultsDataSetInfo[0];
  s = EQConfig;
  s.NumInSet = n;
  for (int32_t i = 0; i < std::min(n, kMaxResults); ++i) {
    MeasurementHeader& h = ResultsDataSetInfo[static_cast<size_t>(i)];
    if (i > 0) h = s;
    h.SampleRate = fs;
    h.PeriodExponent = exponent;
    h.ImpulseGateTime = impulseGate;
    ImpulseSet[static_cast<size_t>(i)].fill(0.0f);
  }
}

// Polylines drawn in the given colour (the curves; the frame uses lines and rectangles).
inline std::vector<RecordingSurface::Call> CurvesIn(const RecordingSurface& rec, ColourRef colour) {
  std::vector<RecordingSurface::Call> out;
  for (const auto& c : rec.Of(RecordingSurface::Kind::Polyline))
    if (c.pen.colour == colour) out.push_back(c);
  return out;
}

inline bool HasText(const RecordingSurface& rec, const std::string& text) {
  for (const auto& c : rec.Of(RecordingSurface::Kind::Text))
    if (c.text == text) return true;
  return false;
}

}  // namespace zentor::test
