#include "display/graph_primitives.h"

#include <algorithm>
#include <cmath>

#include "core/helpers.h"
#include "base/shared_state.h"
#include "base/text_number.h"
#include "display/plot_colours.h"

namespace zentor {

std::array<DrawPoint, kWaterfallPolygonSize> WaterfallPoints{};

namespace {

SharedStateRegistrar g_reset([] { WaterfallPoints.fill(DrawPoint{}); });

constexpr ColourRef kBlack = RGB(0, 0, 0);
constexpr FontSpec kLabelFont{30, 10, 0};
constexpr FontSpec kTitleFont{45, 15, 0};
constexpr FontSpec kUpwardFont{30, 10, 900};
// A sane axis has at most a few dozen lines; this only stops a runaway range.
constexpr int kMaxAxisLines = 200;

DrawPoint P(double x, double y) { return {ToDrawUnit(x), ToDrawUnit(y)}; }

// Text widths are estimated per character, not per byte.
int64_t CharCount(std::string_view s) {
  int64_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

void PutText(DrawingSurface& dc, double x, double y, std::string_view text, ColourRef colour, const FontSpec& font) {
  if (text.empty()) return;
  dc.Text(P(x, y), text, colour, font);
}

// The next grid value on a log axis from the decade rule; each step feeds the next.
float NextDecadeLine(float f) {
  double v = f;
  if (v <= 100) v = Fix(v / 10) * 10 + 10;
  if (v > 100 && v <= 1000) v = Fix(v / 100) * 100 + 100;
  if (v > 1000 && v <= 10000) v = Fix(v / 1000) * 1000 + 1000;
  if (v > 10000 && v <= 100000) v = Fix(v / 10000) * 10000 + 10000;
  return static_cast<float>(v);
}

struct XAxisPainter {
  DrawingSurface& dc;
  const GraphFrame& g;

  void Line(double x) const { dc.Line(P(x, g.PlotTop), P(x, g.PlotBottom), Pen{kBlack}); }
  void Tick(double x) const {
    dc.Line(P(x, double(g.PlotBottom) + 5), P(x, double(g.PlotBottom) + 15), Pen{kBlack});
  }
  void Label(double x, const std::string& text) const {
    PutText(dc, x - 5.0 * double(CharCount(text)), double(g.PlotBottom) + 20, text, kBlack, kLabelFont);
  }
};

void DrawFrame(GraphFrame& g, DrawingSurface& picture, bool full) {
  picture.SetBackColor(PlotColours[1]);
  DrawingSurface& dc = PrepareGraphDC(picture);

  // A degenerate range would divide by zero; draw it one unit wide instead.
  const int64_t yLow = g.YLow;
  const int64_t yHigh = g.YHigh > g.YLow ? int64_t{g.YHigh} : yLow + 1;
  ComputeAxisGridSteps(g, yLow, yHigh);
  g.YScale = double(g.PlotTop - g.PlotBottom) / double(yHigh - yLow);
  g.YOffset = double(g.PlotBottom) - double(yLow) * g.YScale;

  const ColourRef back = PlotColours[1];
  dc.Rectangle(DrawPoint{0, 0}, DrawPoint{kDrawingSpace, kDrawingSpace}, Pen{back}, back);
  const Pen black{kBlack};

  // Tables left alone by a huge span may carry any count from a file.
  const int32_t lineCount = std::min(g.YLineCount, kGridTableSize - 1);
  for (int32_t k = 0; k <= lineCount; ++k) {
    const int32_t y = ToDrawUnit(g.YLineValues[static_cast<size_t>(k)] * g.YScale + g.YOffset);
    dc.Line(P(g.PlotLeft, y), P(g.PlotRight, y), black);
  }
  const int32_t labelCount = std::min(g.YLabelCount, kGridTableSize - 1);
  for (int32_t k = 0; k <= labelCount; ++k) {
    const int32_t value = g.YLabelValues[static_cast<size_t>(k)];
    const int32_t y = ToDrawUnit(value * g.YScale + g.YOffset);
    dc.Line(P(double(g.PlotLeft) - 10, y), P(double(g.PlotLeft) - 5, y), black);
    if (full) {
      const std::string text = std::to_string(value);
      PutText(dc, double(g.PlotLeft) - 19 - 12.0 * double(CharCount(text)), double(y) - 15, text, kBlack, kLabelFont);
    }
  }

  const bool logX = g.LogX != 0;
  double xStart = g.XStart;
  double xFinish = g.XFinish;
  if (logX && xStart < 1) xStart = 1;
  if (xFinish <= xStart) xFinish = xStart + 1;
  const XAxisPainter axis{dc, g};
  float f = static_cast<float>(xStart);
  int lines = 0;

  if (!logX) {
    g.XScale = double(g.PlotRight - g.PlotLeft) / (xFinish - xStart);
    g.XOffset = double(g.PlotLeft) - xStart * g.XScale;
    const float step = static_cast<float>((xFinish - xStart) / 10);
    while (double(f) <= xFinish - double(step) && lines++ < kMaxAxisLines) {
      const double x = double(f) * g.XScale + g.XOffset - 1;
      axis.Line(x);
      axis.Tick(x);
      if (full) axis.Label(x, AxisLabel(f, f));
      const float next = f + step;
      if (!(next > f)) break;
      f = next;
    }
    const double x = xFinish * g.XScale + g.XOffset - 1;
    axis.Line(x);
    axis.Tick(x);
    if (full) axis.Label(x, AxisLabel(f, xFinish));
  } else {
    g.XScale = double(g.PlotRight - g.PlotLeft) / (std::log(xFinish) - std::log(xStart));
    g.XOffset = double(g.PlotLeft) - std::log(xStart) * g.XScale;
    const double ratio = xFinish / xStart;
    const double tenthStep = std::pow(ratio, 0.1);
    const float first = static_cast<float>(xStart);
    const float last = static_cast<float>(xFinish);
    while (double(f) <= xFinish - (xFinish - xStart) / 10 && lines++ < kMaxAxisLines) {
      const double x = std::log(double(f)) * g.XScale + g.XOffset - 1;
      axis.Line(x);
      // Over more than a decade only the ends and the decades are marked.
      const bool marked = ratio <= 10 || f == first || f == last || f == 10 || f == 100 || f == 1000 || f == 10000;
      if (marked) {
        axis.Tick(x);
        if (full) axis.Label(x, AxisLabel(f, f));
      }
      const float next = ratio < 2 ? static_cast<float>(double(f) * tenthStep) : NextDecadeLine(f);
      if (!(next > f)) break;  // beyond the decade rule's reach
      f = next;
    }
    const double x = std::log(xFinish) * g.XScale + g.XOffset - 1;
    axis.Line(x);
    axis.Tick(x);
    axis.Label(x, AxisLabel(f, xFinish));
  }

  if (full) {
    const double width = double(g.PlotRight) - double(g.PlotLeft);
    const auto centred = [&](const std::string& s) { return double(g.PlotLeft) + (width - 10.0 * double(CharCount(s))) / 2; };
    PutText(dc, centred(g.GraphCaption), 65, g.GraphCaption, kBlack, kLabelFont);
    PutText(dc, centred(g.XTitle), 1150, g.XTitle, kBlack, kLabelFont);
    PutText(dc, double(g.PlotRight) - 10.0 * double(CharCount(kMakerWebAddress) + 1), 1150, kMakerWebAddress, kBlack,
            kLabelFont);
    PutText(dc, 10, 600 + 5.0 * double(CharCount(g.YTitle)), g.YTitle, kBlack, kUpwardFont);
  }
  RefreshGraph(picture);
}

}  // namespace

DrawingSurface& PrepareGraphDC(DrawingSurface& picture) {
  if (!picture.AutoRedraw()) picture.SetAutoRedraw(true);
  return picture;
}

void RefreshGraph(DrawingSurface& picture) { picture.Refresh(); }

std::string AxisLabel(float f, double v) {
  double shown;
  const char* suffix = "";
  if (f < 10) {
    shown = Fix(v * 10) / 10;
  } else if (f < 100) {
    shown = Fix(v * 100) / 100;
  } else if (f < 1000) {
    shown = Fix(v * 10) / 10;
  } else if (f < 10000) {
    shown = Fix(v) / 1000;
    suffix = "K";
  } else {  // the kilohertz form also serves axes beyond 100 kHz
    shown = Fix(v / 10) / 100;
    suffix = "K";
  }
  return FormatSingle(static_cast<float>(shown)) + suffix;
}

void DrawGraphFrame(GraphFrame& frame, DrawingSurface& picture) { DrawFrame(frame, picture, true); }

void DrawAudioGraphFrame(GraphFrame& frame, DrawingSurface& picture) { DrawFrame(frame, picture, false); }

void PlotCurvePoints(const GraphFrame& frame, DrawingSurface& picture, int64_t count, std::span<float> x,
                     std::span<const float> y, ColourRef colour, PenStyle style) {
  ReleaseVectorUpperState();
  DrawingSurface& dc = PrepareGraphDC(picture);
  count = std::clamp<int64_t>(count, 0, static_cast<int64_t>(std::min(x.size(), y.size())));
  if (count == 0) {
    RefreshGraph(picture);
    return;
  }
  const bool logX = frame.LogX != 0;
  const double left = frame.PlotLeft;
  const double right = frame.PlotRight;
  const double top = std::min(frame.PlotTop, frame.PlotBottom);
  const double bottom = std::max(frame.PlotTop, frame.PlotBottom);
  const auto drawX = [&](size_t i) {
    const double v = x[i];
    return (logX ? std::log(v) : v) * frame.XScale + frame.XOffset;
  };
  const auto drawY = [&](size_t i) {
    const double v = double(y[i]) * frame.YScale + frame.YOffset;
    return std::isnan(v) ? bottom : std::clamp(v, top, bottom);
  };

  // The pen starts at the first point at or right of the plot's left edge.
  size_t i = 0;
  double xi;
  for (;;) {
    if (logX && x[i] < 1) x[i] = 1;
    xi = drawX(i);
    if (xi >= left || i + 1 == static_cast<size_t>(count)) break;
    ++i;
  }
  std::vector<DrawPoint> points;
  points.reserve(static_cast<size_t>(count) - i);
  points.push_back(P(xi, drawY(i)));
  // Points off the plot are skipped; the next visible one joins the last drawn.
  for (size_t j = i + 1; j < static_cast<size_t>(count); ++j) {
    const double xj = drawX(j);
    if (!(xj >= left && xj <= right)) continue;
    const DrawPoint p = P(xj, drawY(j));
    if (!(p == points.back())) points.push_back(p);
  }
  if (points.size() >= 2) dc.Polyline(points, Pen{colour, style});
  RefreshGraph(picture);
}

void DrawLegendAndTitle(DrawingSurface& picture, std::span<const std::string_view> labels, std::string_view title,
                        int32_t n) {
  DrawingSurface& dc = PrepareGraphDC(picture);
  double columns = (double(n) + 1) / 2;
  if (!(columns > 0)) columns = 1;  // a slot count below zero would divide by zero
  const int32_t w = CLng(550 / columns);
  for (size_t k = 0; k < labels.size(); ++k) {
    const double c = double(k / 2);
    const double y = k % 2 == 0 ? 5 : 40;
    PutText(dc, c * w, y, labels[k], GetCurveColour(static_cast<int32_t>(k)), kLabelFont);
  }
  PutText(dc, 650, 5, title, PlotColours[0], kTitleFont);
  RefreshGraph(picture);
}

void DrawFitLegend(const GraphFrame& /*frame*/, DrawingSurface& picture, std::string_view label, int32_t n,
                   int32_t modeCode, float smoothing) {
  DrawingSurface& dc = PrepareGraphDC(picture);
  PutText(dc, 100, n % 2 == 0 ? 5 : 40, label, GetCurveColour(n), kLabelFont);
  std::string title;
  switch (modeCode) {
    case 5: title = "Bode/gated FFT Parametric Fit"; break;
    case 6: title = FormatSingle(static_cast<float>(Fix(double(smoothing) * 100) / 100)) + " Oct Parametric Fit"; break;
    case 7: title = "Psychoacoustic Response Fit"; break;
    default: title = std::string(label); break;
  }
  PutText(dc, 400, 20, title, kBlack, kTitleFont);
  RefreshGraph(picture);
}

void DrawFitNote(DrawingSurface& picture, std::string_view text) {
  DrawingSurface& dc = PrepareGraphDC(picture);
  PutText(dc, 100, 75, text, kBlack, kLabelFont);
  RefreshGraph(picture);
}

void PaintWaterfallSlice(const WaterfallProjection& frame, DrawingSurface& picture, int64_t count,
                         std::span<const float> levels, std::span<const float> x, ColourRef colour, int32_t s) {
  ReleaseVectorUpperState();
  DrawingSurface& dc = PrepareGraphDC(picture);
  count = std::clamp<int64_t>(count, 0, std::min<int64_t>({int64_t(levels.size()), int64_t(x.size()),
                                                           kWaterfallSlicePoints}));
  // Each later slice sits one step lower and to the left of the one before.
  double dx = 0;
  double dy = 0;
  if (frame.N > 0) {
    dx = -double(frame.DepthOffset) * frame.DepthSlope / frame.N * (double(s) - 1);
    dy = double(frame.DepthOffset) / frame.N * (double(s) - 1);
  }
  const double left = frame.Left;
  const double right = frame.Right;
  const double top = std::min(frame.Top, frame.Bottom);
  const double bottom = std::max(frame.Top, frame.Bottom);
  const auto screenX = [&](size_t i) { return double(x[i]) * frame.XScale + frame.XOffset; };
  const auto screenY = [&](size_t i) {
    const double v = double(levels[i]) * frame.YScale + frame.YOffset;
    return std::isnan(v) ? bottom : std::clamp(v, top, bottom);
  };

  size_t n = 0;
  WaterfallPoints[n++] = P(left + dx, double(frame.Bottom) + dy);
  size_t i = 0;
  while (i < size_t(count) && !(screenX(i) >= left)) ++i;
  if (i < size_t(count)) {
    WaterfallPoints[n++] = P(screenX(i) + dx, screenY(i) + dy);
    for (size_t j = i + 1; j < size_t(count); ++j) {
      const double xj = screenX(j);
      if (xj >= left && xj <= right) WaterfallPoints[n++] = P(xj + dx, screenY(j) + dy);
    }
  }
  const DrawPoint base = P(0, double(frame.Bottom) + dy);
  WaterfallPoints[n] = DrawPoint{WaterfallPoints[n - 1].x, base.y};
  ++n;
  WaterfallPoints[n++] = P(right + dx, double(frame.Bottom) + dy);
  dc.Polygon(std::span<const DrawPoint>(WaterfallPoints.data(), n), Pen{colour}, PlotColours[1]);
}

void DrawWaterfallSlice(const WaterfallProjection& frame, DrawingSurface& picture, int64_t count,
                        std::span<const float> levels, std::span<const float> x, ColourRef colour, int32_t s) {
  PaintWaterfallSlice(frame, picture, count, levels, x, colour, s);
  RefreshGraph(picture);
}

void DrawWaterfallSlice(const WaterfallProjection& frame, DrawingSurface& picture,
                        const std::array<float, kWaterfallSliceCells>& slice, ColourRef colour, int32_t s,
                        int32_t /*ignored*/) {
  const std::span<const float> cells(slice);
  DrawWaterfallSlice(frame, picture, CLng(slice[0]), cells.subspan(1, kWaterfallSlicePoints),
                     cells.subspan(1 + kWaterfallSlicePoints, kWaterfallSlicePoints), colour, s);
}

}  // namespace zentor
