// The large-room window's own graph: axis limits from the curve or the view,
// frame, curve and title in the 1200-unit drawing space, and the mouse zoom that
// also picks the RT60 fit range.
#include <QProgressBar>
#include <QRadioButton>
#include <algorithm>
#include <cmath>

#include "base/text_number.h"
#include "display/graph_primitives.h"
#include "display/mouse_zoom.h"
#include "display/plot_colours.h"
#include "display/view_state.h"
#include "core/records.h"
#include "tools/data_integrity_form.h"

namespace zentor {

namespace {

constexpr ColourRef kBlack = RGB(0, 0, 0);
constexpr FontSpec kLabelFont{30, 10, 0};
constexpr FontSpec kTitleFont{45, 15, 0};
constexpr FontSpec kUpwardFont{30, 10, 900};
constexpr int kXDivisions = 10;

DrawPoint P(double x, double y) { return {ToDrawUnit(x), ToDrawUnit(y)}; }

double TextWidth(std::string_view s) { return 10.0 * static_cast<double>(s.size()); }

// The x label of a grid value v; the rule is chosen by f.
std::string DecayAxisLabel(double f, double v) {
  double shown;
  if (f < 10)
    shown = Fix(v * 10) / 10;
  else if (f < 100)
    shown = Fix(v * 100) / 100;
  else if (f < 1000)
    shown = Fix(v * 10) / 10;
  else
    shown = Fix(v);
  return FormatSingle(static_cast<float>(shown));
}

}  // namespace

DrawingSurface& DataIntegrityForm::Graph() { return GraphOverride ? *GraphOverride : *Picture1; }

void DataIntegrityForm::SetDecayAxisTitles() {
  GraphFrame& f = DecayFrame;
  switch (SelectedView()) {
    case DecayView::Impulse:
      f.XTitle = "Time [ms]";
      f.YTitle = "Norm. Linear Level ";
      break;
    case DecayView::Energy:
    case DecayView::Schroeder:
      f.XTitle = "Time [ms]";
      f.YTitle = "Norm. Log Level ";
      break;
    case DecayView::RT:
      f.XTitle = "Frequency [Hz]";
      f.YTitle = "Time [ms] ";
      break;
  }
}

void DataIntegrityForm::SetDecayXRange() {
  GraphFrame& f = DecayFrame;
  const int32_t count = std::min<int32_t>(DecayCount, static_cast<int32_t>(DecayX.size()));
  if (count > 0) {
    f.XStart = CLng(DecayX[0]);
    f.XFinish = CLng(DecayX[static_cast<size_t>(count - 1)]);
  } else {
    f.XStart = -50;
    f.XFinish = DataRate > 0 ? CLng(std::ldexp(1000.0, DecayOrder) / DataRate) : 0;
  }
  f.LogX = SelectedView() == DecayView::RT ? kTrue : kFalse;
  if (f.LogX != 0 && f.XStart < 1) f.XStart = 1;
}

void DataIntegrityForm::SetDecayYRange() {
  GraphFrame& f = DecayFrame;
  const int32_t count =
      std::min<int32_t>(DecayCount, static_cast<int32_t>(std::min(DecayX.size(), DecayY.size())));
  if (count <= 0) {
    static constexpr int32_t kLow[] = {-30, -100, -60, 0};
    static constexpr int32_t kHigh[] = {30, 0, 0, 3000};
    const auto v = static_cast<size_t>(SelectedView());
    f.YLow = kLow[v];
    f.YHigh = kHigh[v];
    return;
  }
  float low = 0, high = 0;
  bool found = false;
  for (int32_t i = 0; i < count; ++i) {
    const float x = DecayX[static_cast<size_t>(i)];
    if (!(x >= f.XStart && x <= f.XFinish)) continue;
    const float y = DecayY[static_cast<size_t>(i)];
    if (!found) {
      low = high = y;
      found = true;
    }
    low = std::min(low, y);
    high = std::max(high, y);
  }
  if (double(high) - double(low) >= 1) {
    f.YLow = CLng(low);
    f.YHigh = CLng(high);
  } else {
    f.YLow = CLng(double(low) - 1);
    f.YHigh = CLng(double(high) + 1);
  }
}

void DataIntegrityForm::DrawDecayFrame() {
  GraphFrame& g = DecayFrame;
  DrawingSurface& picture = Graph();
  const ColourRef back = PlotColours[1];
  picture.SetBackColor(back);
  DrawingSurface& dc = PrepareGraphDC(picture);

  // A range rounded to nothing is drawn one unit wide rather than divided by.
  const int64_t yLow = g.YLow;
  const int64_t yHigh = g.YHigh > g.YLow ? int64_t{g.YHigh} : yLow + 1;
  ComputeAxisGridSteps(g, yLow, yHigh);
  g.YScale = double(g.PlotTop - g.PlotBottom) / double(yHigh - yLow);
  g.YOffset = double(g.PlotBottom) - double(yLow) * g.YScale;

  dc.Rectangle(DrawPoint{0, 0}, DrawPoint{kDrawingSpace, kDrawingSpace}, Pen{back}, back);
  const Pen black{kBlack};
  const int32_t lineCount = std::min(g.YLineCount, kGridTableSize - 1);
  for (int32_t k = 0; k <= lineCount; ++k) {
    const double y = g.YLineValues[static_cast<size_t>(k)] * g.YScale + g.YOffset;
    dc.Line(P(g.PlotLeft, y), P(g.PlotRight, y), black);
  }
  const int32_t labelCount = std::min(g.YLabelCount, kGridTableSize - 1);
  for (int32_t k = 0; k <= labelCount; ++k) {
    const int32_t value = g.YLabelValues[static_cast<size_t>(k)];
    const double y = value * g.YScale + g.YOffset;
    dc.Line(P(double(g.PlotLeft) - 10, y), P(double(g.PlotLeft) - 5, y), black);
    const std::string text = Str(value);
    dc.Text(P(double(g.PlotLeft) - 19 - 1.2 * TextWidth(text), y - 15), text, kBlack, kLabelFont);
  }

  const bool logX = g.LogX != 0;
  double xMin = g.XStart, xMax = g.XFinish;
  if (logX && xMin < 1) xMin = 1;
  if (xMax <= xMin) xMax = xMin + 1;
  const auto xLine = [&](double v) {
    return (logX ? std::log(v) : v) * g.XScale + g.XOffset - 1;
  };
  const auto mark = [&](double x, const std::string& label) {
    dc.Line(P(x, g.PlotTop), P(x, g.PlotBottom), black);
    dc.Line(P(x, double(g.PlotBottom) + 5), P(x, double(g.PlotBottom) + 15), black);
    dc.Text(P(x - TextWidth(label) / 2, double(g.PlotBottom) + 20), label, kBlack, kLabelFont);
  };
  const double width = double(g.PlotRight) - double(g.PlotLeft);
  if (!logX) {
    g.XScale = width / (xMax - xMin);
    g.XOffset = double(g.PlotLeft) - xMin * g.XScale;
  } else {
    g.XScale = width / (std::log(xMax) - std::log(xMin));
    g.XOffset = double(g.PlotLeft) - std::log(xMin) * g.XScale;
  }
  // Tenths of the axis, then its end; each value from the start, so that rounding
  // cannot add or drop a line before the end.
  const double step = (xMax - xMin) / kXDivisions;
  const double ratio = std::pow(xMax / xMin, 1.0 / kXDivisions);
  const double tolerance = 1e-9 * (std::fabs(xMax) + std::fabs(xMin));
  double last = xMin;
  for (int k = 0; k < kXDivisions; ++k) {
    const double v = logX ? xMin * std::pow(ratio, k) : xMin + k * step;
    if (v > xMax - step + tolerance) break;
    mark(xLine(v), DecayAxisLabel(v, v));
    last = v;
  }
  mark(xLine(xMax), DecayAxisLabel(last, xMax));

  dc.Text(P(double(g.PlotLeft) + (width - TextWidth(g.XTitle)) / 2, 1150), g.XTitle, kBlack, kLabelFont);
  dc.Text(P(double(g.PlotRight) - TextWidth(kMakerWebAddress) - 10, 1150), kMakerWebAddress, kBlack, kLabelFont);
  dc.Text(P(10, 600 + TextWidth(g.YTitle) / 2), g.YTitle, kBlack, kUpwardFont);
  RefreshGraph(picture);
}

void DataIntegrityForm::PlotDecayCurve(std::span<float> x, std::span<const float> y, int32_t count,
                                       ColourRef colour) {
  PlotCurvePoints(DecayFrame, Graph(), count, x, y, colour);
}

void DataIntegrityForm::DrawDecayTitle(const std::string& title) {
  DrawingSurface& dc = PrepareGraphDC(Graph());
  if (!title.empty()) dc.Text(DrawPoint{300, 5}, title, PlotColours[0], kTitleFont);
  RefreshGraph(Graph());
}

void DataIntegrityForm::RedrawDecayGraph() {
  SetDecayAxisTitles();
  DrawDecayFrame();
  if (DecayCount >= 1) {
    PlotDecayCurve(DecayX, DecayY, DecayCount, PlotColours[3]);
    DrawDecayTitle(DecayTitle);
  }
}

// ---- Zoom ---------------------------------------------------------------------------------

bool DataIntegrityForm::ZoomDecayGraph(float startX, float startY, float endX, float endY) {
  GraphFrame& f = DecayFrame;
  if (f.XScale == 0 || f.YScale == 0) return false;  // never drawn: no way back to values
  const bool logX = f.LogX != 0;
  const auto value = [&](float X) {
    const double v = (double(X) - f.XOffset) / f.XScale;
    return logX ? std::exp(v) : v;
  };
  double x0 = value(startX), x1 = value(endX);
  if (x0 < -50) x0 = -50;
  if (!(x0 < x1)) return false;
  if (x1 - x0 < 1) {
    const double middle = (x0 + x1) / 2;
    x0 = middle - 0.5;
    x1 = middle + 0.5;
  }
  double y0 = (double(startY) - f.YOffset) / f.YScale;
  double y1 = (double(endY) - f.YOffset) / f.YScale;
  if (!(y0 > y1)) return false;  // dragged up the screen
  if (y0 - y1 < 5) {
    const double middle = (y0 + y1) / 2;
    y0 = middle + 2.5;
    y1 = middle - 2.5;
  }
  bool ok[4] = {true, true, true, true};
  const int32_t xStart = CLng(x0, &ok[0]), xFinish = CLng(x1, &ok[1]);
  const int32_t yLow = CLng(y1, &ok[2]), yHigh = CLng(y0, &ok[3]);
  if (!(ok[0] && ok[1] && ok[2] && ok[3])) return false;
  f.XStart = xStart;
  f.XFinish = xFinish;
  f.YLow = yLow;
  f.YHigh = yHigh;
  if (logX && f.XStart < 1) f.XStart = 1;
  if (f.XFinish <= f.XStart) f.XFinish = f.XStart + 1;
  RedrawDecayGraph();
  return true;
}

void DataIntegrityForm::ResetDecayZoom() {
  SetDecayXRange();
  SetDecayYRange();
  RedrawDecayGraph();
}

void DataIntegrityForm::EraseBand() {
  Picture1->ClearOverlay();
  RubberBandState.BoxErased = kTrue;
}

void DataIntegrityForm::Picture1_MouseDown(int button, int /*shift*/, float x, float y) {
  if (button != kLeftButton && button != kRightButton) return;
  RubberBandRecord& r = RubberBandState;
  r.ButtonDown = kTrue;
  // Dashed where the drag also picks the fit range.
  bandPen_ = RubberBandPen(kLeftButton, 0, PlotColours[1]);
  if (button == kRightButton && SelectedView() == DecayView::Schroeder) bandPen_.style = PenStyle::Dash;
  if (r.BoxErased == 0) EraseBand();
  r.StartX = x;
  r.StartY = y;
}

void DataIntegrityForm::Picture1_MouseMove(int button, int /*shift*/, float x, float y) {
  RubberBandRecord& r = RubberBandState;
  if ((button & (kLeftButton | kRightButton)) == 0 || r.ButtonDown == 0) return;
  if (r.BoxErased == 0) EraseBand();
  r.EndX = x;
  r.EndY = y;
  Picture1->ShowOverlay({DrawPoint{ToDrawUnit(r.StartX), ToDrawUnit(r.StartY)},
                         DrawPoint{ToDrawUnit(r.EndX), ToDrawUnit(r.EndY)}, bandPen_});
  r.BoxErased = kFalse;
}

void DataIntegrityForm::Picture1_MouseUp(int button, int /*shift*/, float /*x*/, float /*y*/) {
  RubberBandRecord& r = RubberBandState;
  if (button == kLeftButton || button == kRightButton) {
    r.ButtonDown = kFalse;
    if (r.EndY == 0) {  // a click without a drag
      ResetDecayZoom();
    } else {
      if (r.BoxErased == 0) EraseBand();
      if (r.StartX <= r.EndX && ZoomDecayGraph(r.StartX, r.StartY, r.EndX, r.EndY)) {
        if (button == kRightButton && SelectedView() == DecayView::Schroeder) {
          FitStartMs = static_cast<float>(DecayFrame.XStart);
          FitEndMs = static_cast<float>(DecayFrame.XFinish);
        }
      } else {
        ResetDecayZoom();
      }
    }
  }
  // Every release forgets the corner, so a later click is not taken for a drag.
  r.EndY = 0;
}

}  // namespace zentor
