#include "tools/waterfall_drawing.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "base/text_number.h"
#include "display/plot_colours.h"
#include "platform/dialogs.h"

namespace zentor {

namespace {

constexpr ColourRef kBlack = RGB(0, 0, 0);
constexpr FontSpec kFont{30, 10, 0};
constexpr FontSpec kUpwardFont{30, 10, 900};
constexpr double kCharWidth = 10;
// A sane axis has a handful of lines; this only stops a runaway range.
constexpr int kMaxAxisSteps = 50;

DrawPoint P(double x, double y) { return {ToDrawUnit(x), ToDrawUnit(y)}; }

double TextWidth(const std::string& s) { return kCharWidth * static_cast<double>(s.size()); }

void PutText(DrawingSurface& dc, double x, double y, const std::string& text, const FontSpec& font = kFont) {
  if (!text.empty()) dc.Text(P(x, y), text, kBlack, font);
}

void PutCentred(DrawingSurface& dc, double x, double y, const std::string& text) {
  PutText(dc, x - TextWidth(text) / 2, y, text);
}

std::string WholeText(double v) { return FormatDouble(v); }

void DrawFrameItems(const WaterfallFrame& g, DrawingSurface& dc, float gate, const std::string& title) {
  const Pen black{kBlack};
  const double L = g.Left, R = g.Right, B = g.Bottom, T = g.Top, D = g.Depth, S = g.Slope;
  const auto levelY = [&](int32_t level) { return ToDrawUnit(double(level) * g.YScale + g.YOffset); };

  // Level grid and its labels on the right.
  for (int32_t i = 0; i <= std::clamp(g.LineCount, -1, kGridTableSize - 1); ++i) {
    const int32_t y = levelY(g.LineValues[static_cast<size_t>(i)]);
    dc.Line(P(L, y), P(R, y), black);
  }
  for (int32_t i = 0; i <= std::clamp(g.LabelCount, -1, kGridTableSize - 1); ++i) {
    const int32_t value = g.LabelValues[static_cast<size_t>(i)];
    PutText(dc, R + 10, double(levelY(value)) - 15, std::to_string(value));
  }

  // Frequency axes: grid lines and labels at the back, ticks and labels at the front.
  const double range = double(g.XFinish) - double(g.XStart);
  const auto screenX = [&](double f) { return RoundHalfEven(f * g.XScale + g.XOffset); };
  double f = g.XStart;
  for (int steps = 0; f < g.XFinish && steps < kMaxAxisSteps; ++steps) {
    const double x = screenX(f);
    if (x < R) {
      dc.Line(P(x, T), P(x, B), black);
      dc.Line(P(x, T - 5), P(x, T - 15), black);
      PutCentred(dc, x, RoundHalfEven(T - 40), WholeText(f));
    }
    const double front = x - D * S;
    if (front < R) {
      dc.Line(P(front, D + B + 5), P(front, D + B + 15), black);
      PutCentred(dc, front, RoundHalfEven(D + B + 19), WholeText(f));
    }
    const double next = RoundHalfEven(f + range / 5);
    if (!(next > f)) break;
    f = next;
  }
  const double xEnd = screenX(g.XFinish);
  dc.Line(P(xEnd, T), P(xEnd, B), black);
  PutCentred(dc, xEnd - D * S, RoundHalfEven(D + B + 19), WholeText(g.XFinish));

  // One baseline per slice, each a step lower and to the left.
  const int32_t n = std::clamp(g.N, 0, kWaterfallSlices);
  for (int32_t i = 0; i < n; ++i) {
    const double y = RoundHalfEven(D / n * i + B);
    dc.Line(P(L - D * S / n * i, y), P(R - D * S / n * i, y), black);
  }

  // The depth axis: its title and the span.
  const double depthX = R - D * S / 2 + 20;
  PutText(dc, depthX, D / 2 + B, g.DepthTitle);
  const float span = static_cast<float>(Fix(double(g.Span) * 10) * 0.1);
  std::string spanText(1, '(');
  spanText.append(FormatSingle(span)).append(" ms )");
  PutText(dc, depthX, D / 2 + B + 25, spanText);

  PutCentred(dc, (L + R) / 2 - D * S, RoundHalfEven(D + B + 45), g.XTitle);
  PutCentred(dc, (L + R) / 2, 25, g.GraphTitle);
  const std::string label(kMakerWebAddress);
  PutText(dc, R - TextWidth(label) - 10, 1150, label);
  PutText(dc, 10, 70, "Gate Time");
  PutText(dc, 10, 110, FormatSingle(gate) + " ms");
  PutText(dc, 10, 20, title);
  PutText(dc, R + 50, TextWidth(g.YTitle) / 2 + (T + B) / 2, g.YTitle, kUpwardFont);
}

}  // namespace

WaterfallProjection WaterfallFrame::Projection() const {
  WaterfallProjection p;
  p.N = N;
  p.XScale = XScale;
  p.YScale = YScale;
  p.XOffset = XOffset;
  p.YOffset = YOffset;
  p.Left = Left;
  p.Right = Right;
  p.Bottom = Bottom;
  p.Top = Top;
  p.DepthSlope = Slope;
  p.DepthOffset = Depth;
  return p;
}

void SetUpWaterfallFrame(const GraphFrame& axes, WaterfallFrame& frame, float span) {
  frame.Span = span;
  frame.N = kWaterfallSlices;
  frame.DepthTitle = "Time";
  frame.Left = 200;
  frame.Right = 1100;
  frame.Bottom = 800;
  frame.Top = 100;
  frame.Slope = 0.5f;
  frame.Depth = 300;
  frame.LabelValues = axes.YLabelValues;
  frame.LabelCount = axes.YLabelCount;
  frame.LineValues = axes.YLineValues;
  frame.LineCount = axes.YLineCount;
  frame.XStart = axes.XStart;
  frame.XFinish = axes.XFinish;
  frame.YLow = axes.YLow;
  frame.YHigh = axes.YHigh;
  frame.XTitle = axes.XTitle;
  frame.YTitle = axes.YTitle;
  frame.GraphTitle = axes.GraphCaption;
  frame.XScale = static_cast<float>(axes.XScale);
  frame.YScale = static_cast<float>(axes.YScale);
  frame.XOffset = static_cast<float>(axes.XOffset);
  frame.YOffset = static_cast<float>(axes.YOffset);
  ComputeWaterfallLevelGrid(frame);
  // Quiet: a range that cannot be scaled is reported when it is drawn.
  ComputeWaterfallScales(frame, true);
}

void ComputeWaterfallLevelGrid(WaterfallFrame& frame) {
  // The main graph's grid rule, on a scratch frame.
  GraphFrame g;
  g.YLabelValues = frame.LabelValues;
  g.YLabelCount = frame.LabelCount;
  ComputeAxisGridSteps(g, frame.YLow, frame.YHigh);
  frame.LabelValues = g.YLabelValues;
  frame.LabelCount = g.YLabelCount;
  frame.LineValues = g.YLabelValues;
  frame.LineCount = g.YLabelCount;
}

bool ComputeWaterfallScales(WaterfallFrame& frame, bool quiet) {
  const double xRange = double(frame.XFinish) - double(frame.XStart);
  const double yRange = double(frame.YHigh) - double(frame.YLow);
  if (!(xRange > 0)) {
    if (!quiet) MsgBox("Error 5430");
    return false;
  }
  if (!(yRange > 0)) {
    if (!quiet) MsgBox("Error 5431");
    return false;
  }
  frame.XScale = static_cast<float>((double(frame.Right) - frame.Left) / xRange);
  frame.XOffset = static_cast<float>(frame.Left - double(frame.XScale) * frame.XStart);
  frame.YScale = static_cast<float>((double(frame.Top) - frame.Bottom) / yRange);
  frame.YOffset = static_cast<float>(frame.Bottom - double(frame.YScale) * frame.YLow);
  return true;
}

void DrawWaterfallBackground(DrawingSurface& picture) {
  picture.SetBackColor(PlotColours[1]);
  DrawingSurface& dc = PrepareGraphDC(picture);
  dc.Rectangle(DrawPoint{0, 0}, DrawPoint{kDrawingSpace, kDrawingSpace}, Pen{PlotColours[1]}, PlotColours[1]);
  RefreshGraph(picture);
}

void DrawWaterfallFrame(const WaterfallFrame& frame, DrawingSurface& picture, float gate, const std::string& title) {
  DrawWaterfallBackground(picture);
  try {
    DrawFrameItems(frame, PrepareGraphDC(picture), gate, title);
  } catch (const std::exception&) {
    MsgBox("Error 5688");
  }
  RefreshGraph(picture);
}

void DrawWaterfallSlices(const WaterfallFrame& frame, DrawingSurface& picture, const WaterfallSliceSet& slices) {
  const WaterfallProjection p = frame.Projection();
  for (int32_t s = 0; s < kWaterfallSlices; ++s) {
    const WaterfallSlice& slice = slices[static_cast<size_t>(s)];
    PaintWaterfallSlice(p, picture, slice.Count, slice.Levels, slice.Freqs, PlotColours[3], s + 1);
  }
  RefreshGraph(picture);
}

}  // namespace zentor
