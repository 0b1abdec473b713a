// A curve record shaped like the views' records, for driving the primitives.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "display/graph_primitives.h"
#include "platform/picture.h"

namespace zentor::test {

struct TestCurve {
  int32_t NumCurves = 0;
  int32_t NumPoints = 0;
  std::array<float, 2001> YValues{};
  std::array<float, 2001> XValues{};
  std::string Label;

  TestCurve() = default;
  TestCurve(std::vector<float> x, std::vector<float> y) {
    NumPoints = static_cast<int32_t>(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
      XValues[i] = x[i];
      YValues[i] = y[i];
    }
  }
};

using Kind = RecordingSurface::Kind;

// Vertical lines spanning the plot from top to bottom (the x grid).
inline std::vector<int32_t> VerticalGridX(const RecordingSurface& rec, int32_t top, int32_t bottom) {
  std::vector<int32_t> xs;
  for (const auto& c : rec.Of(Kind::Line))
    if (c.points[0].x == c.points[1].x && c.points[0].y == top && c.points[1].y == bottom) xs.push_back(c.points[0].x);
  return xs;
}

// A waterfall of 35 slices over a 200..1100 x 100..800 plot, 0.5 depth slope.
inline WaterfallProjection TestProjection() {
  WaterfallProjection w;
  w.N = 35;
  w.XScale = 1;
  w.XOffset = 200;
  w.YScale = -10;
  w.YOffset = 200;
  w.Left = 200;
  w.Right = 1100;
  w.Bottom = 800;
  w.Top = 100;
  w.DepthSlope = 0.5f;
  w.DepthOffset = 300;
  return w;
}

}  // namespace zentor::test
