// A curve record shaped like the views' records, and the frames and colours the primitives draw with.
#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "display/graph_primitives.h"
#include "display/plot_colours.h"
#include "platform/picture.h"
#include "support/fixture.h"

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

// A frame's limits, compared and set as one.
struct FrameLimits {
  int32_t XStart, XFinish, YLow, YHigh;
  bool operator==(const FrameLimits&) const = default;
  friend void PrintTo(const FrameLimits& l, std::ostream* os) {
    *os << l.XStart << ".." << l.XFinish << " x " << l.YLow << ".." << l.YHigh;
  }
};
inline FrameLimits LimitsOf(const GraphFrame& f) { return {f.XStart, f.XFinish, f.YLow, f.YHigh}; }
inline void SetLimits(GraphFrame& f, FrameLimits l) {
  f.XStart = l.XStart, f.XFinish = l.XFinish, f.YLow = l.YLow, f.YHigh = l.YHigh;
}

// Vertical lines spanning the plot from top to bottom (the x grid).
inline std::vector<int32_t> VerticalGridX(const RecordingSurface& rec, int32_t top, int32_t bottom) {
  std::vector<int32_t> xs;
  for (const auto& c : rec.Of(Kind::Line))
    if (c.points[0].x == c.points[1].x && c.points[0].y == top && c.points[1].y == bottom) xs.push_back(c.points[0].x);
  return xs;
}

// A waterfall of 35 slices over a 200..1100 x 100..800 plot, 0.5 depth slope.
inline WaterfallProjection TestProjection() {
  // N, x and y scales, x and y offsets, left, right, bottom, top, depth slope and offset.
  return WaterfallProjection{35, 1, -10, 200, 200, 200, 1100, 800, 100, 0.5f, 300};
}

// The start-up colours and frames, and a recorder to draw on.
class DrawingTest : public ZentorTest {
 protected:
  void SetUp() override {
    ZentorTest::SetUp();
    SetDefaultPlotColours();
    SetDefaultGraphFrames();
  }
  RecordingSurface rec;
};

}  // namespace zentor::test
