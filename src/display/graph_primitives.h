// The drawing routines every graph uses: frame, curves, legend and title, fit
// legend and waterfall slices, all in the 1200 x 1200 drawing space.
//
// Curve records are taken generically: anything with NumPoints and XValues /
// YValues arrays (CurveRecord, the measurement window's AudioCurveRecord), and
// curve sets as arrays of such records with NumCurves in element 0 and a Label.
#pragma once

#include <array>
#include <concepts>
#include <cstdint>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "display/graph_frame.h"
#include "platform/picture.h"

namespace zentor {

template <class C>
concept PlottableCurve = requires(C& c) {
  { c.NumPoints } -> std::convertible_to<int64_t>;
  std::span<float>(c.XValues);
  std::span<const float>(c.YValues);
};

// Returns the picture set up for the drawing space (it keeps what is drawn).
DrawingSurface& PrepareGraphDC(DrawingSurface& picture);
// Makes the drawing show.
void RefreshGraph(DrawingSurface& picture);

// Background, grid, ticks, axis labels, titles and the web label. Writes the grid
// tables and the scale fields of the frame.
void DrawGraphFrame(GraphFrame& frame, DrawingSurface& picture);
// The measurement window's level graph: no y labels, no titles, and on the x
// axis only the label at its right end (log axis) or none (linear axis).
void DrawAudioGraphFrame(GraphFrame& frame, DrawingSurface& picture);

// The text under an x grid line at value v; the rule is chosen by the running
// axis value f.
std::string AxisLabel(float f, double v);

// Draws points 0..count-1 (count clamped to the arrays) in the picture's draw
// mode. On a log axis an x below 1 met before the first visible point is set to 1
// in x itself.
void PlotCurvePoints(const GraphFrame& frame, DrawingSurface& picture, int64_t count, std::span<float> x,
                     std::span<const float> y, ColourRef colour, PenStyle style = PenStyle::Solid);

template <PlottableCurve C>
void PlotCurve(const GraphFrame& frame, DrawingSurface& picture, C& curve, ColourRef colour) {
  PlotCurvePoints(frame, picture, curve.NumPoints, std::span<float>(curve.XValues),
                  std::span<const float>(curve.YValues), colour);
}

// The same for the 8001-point records of the measurement window.
template <PlottableCurve C>
void PlotAudioCurve(const GraphFrame& frame, DrawingSurface& picture, C& curve, ColourRef colour) {
  PlotCurve(frame, picture, curve, colour);
}

// The view builders' and the equaliser design's entry point; the slot index is not
// used, so callers may leave it out.
template <PlottableCurve C>
void PlotCurveOnGraph(const GraphFrame& frame, DrawingSurface& picture, C& curve, ColourRef colour,
                      int32_t /*slot*/ = 0) {
  PlotCurve(frame, picture, curve, colour);
}

// Legend entry k in the colour of curve k, two rows, columns 550 / ((n + 1) / 2)
// apart; then the title.
void DrawLegendAndTitle(DrawingSurface& picture, std::span<const std::string_view> labels,
                        std::string_view title, int32_t n);

template <class Curves>
void DrawGraphTitleAndLegend(const GraphFrame& /*frame*/, DrawingSurface& picture, const Curves& curves,
                             std::string_view title, int32_t n) {
  std::vector<std::string_view> labels;
  const int64_t size = static_cast<int64_t>(std::size(curves));
  if (size > 0) {
    int64_t count = curves[0].NumCurves;
    if (count > size) count = size;
    for (int64_t k = 0; k < count; ++k) labels.emplace_back(curves[static_cast<size_t>(k)].Label);
  }
  DrawLegendAndTitle(picture, labels, title, n);
}

// One legend entry for curve n and the fit title chosen by the view code of the
// fit (5 Bode, 6 fractional octave with its resolution, 7 psychoacoustic).
// A line of black text below the fit graph's legends, at the left.
void DrawFitNote(DrawingSurface& picture, std::string_view text);
void DrawFitLegend(const GraphFrame& frame, DrawingSurface& picture, std::string_view label, int32_t n,
                   int32_t modeCode, float smoothing);

template <class C, class FitSet>
  requires requires(const C& c, const FitSet& s) {
    std::string_view(c.Label);
    s.ModeCode;
    s.Smoothing;
  }
void DrawFitLegend(const GraphFrame& frame, DrawingSurface& picture, const C& curve, int32_t n, const FitSet& set) {
  DrawFitLegend(frame, picture, std::string_view(curve.Label), n, static_cast<int32_t>(set.ModeCode),
                static_cast<float>(set.Smoothing));
}

// What the slice drawing reads of the waterfall window's frame: N slices, the
// scales and offsets, the rectangle of the rearmost slice and the depth of the
// stack (it reaches DepthOffset down and DepthSlope x DepthOffset to the left).
struct WaterfallProjection {
  int32_t N = 0;
  float XScale = 0;
  float YScale = 0;
  float XOffset = 0;
  float YOffset = 0;
  float Left = 0;
  float Right = 0;
  float Bottom = 0;
  float Top = 0;
  float DepthSlope = 0;
  float DepthOffset = 0;
};

constexpr int kWaterfallSlicePoints = 2001;
constexpr int kWaterfallSliceCells = 1 + 2 * kWaterfallSlicePoints;  // count, levels, x values
constexpr int kWaterfallPolygonSize = 2005;

// The polygon of the last slice drawn.
extern std::array<DrawPoint, kWaterfallPolygonSize> WaterfallPoints;

// Slice s (1-based) as one filled polygon in the background colour, outlined in
// `colour`, shifted left and down by (s - 1) steps of the depth.
void DrawWaterfallSlice(const WaterfallProjection& frame, DrawingSurface& picture, int64_t count,
                        std::span<const float> levels, std::span<const float> x, ColourRef colour, int32_t s);
// The same without showing it yet: a whole waterfall is shown once, after its last slice.
void PaintWaterfallSlice(const WaterfallProjection& frame, DrawingSurface& picture, int64_t count,
                         std::span<const float> levels, std::span<const float> x, ColourRef colour, int32_t s);
// A slice record: cell 0 the point count, cells 1..2001 levels, 2002..4002 x.
void DrawWaterfallSlice(const WaterfallProjection& frame, DrawingSurface& picture,
                        const std::array<float, kWaterfallSliceCells>& slice, ColourRef colour, int32_t s,
                        int32_t ignored = 0);

// Text placed on every frame's lower right.
inline constexpr std::string_view kMakerWebAddress = "zentor.example";

}  // namespace zentor
