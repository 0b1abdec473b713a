// Fit to data, the redraw of a whole curve set and the normalised display levels.
#include "display/fit_to_data.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/text_number.h"
#include "display/dispatcher.h"
#include "display/graph_primitives.h"
#include "display/plot_colours.h"
#include "display/view_state.h"
#include "platform/forms.h"
#include "platform/numeric/numeric.h"
#include "platform/picture.h"

namespace zentor {

namespace {
int32_t WholeTowardZero(double v) { return CLng(Fix(v)); }
}  // namespace

void FindCurveSetExtent(int32_t& XStart, int32_t& XFinish, int32_t& YLow, int32_t& YHigh, const CurveArray& curves) {
  const int32_t N = std::clamp<int32_t>(curves[0].NumCurves, 0, kCurveSlots);
  const int32_t p = std::clamp<int32_t>(curves[0].NumPoints, 0, kMaxCurvePoints);
  if (N == 0 || p == 0) return;
  float xmin = std::numeric_limits<float>::max(), xmax = std::numeric_limits<float>::lowest();
  float ymin = std::numeric_limits<float>::max(), ymax = std::numeric_limits<float>::lowest();
  for (int32_t i = 0; i < N; ++i) {
    const CurveRecord& c = curves[static_cast<size_t>(i)];
    xmin = std::min(xmin, c.XValues[0]);
    xmax = std::max(xmax, c.XValues[static_cast<size_t>(p - 1)]);
    const int32_t m = std::clamp<int32_t>(c.NumPoints, 0, kMaxCurvePoints);
    if (m == 0) continue;
    float lo = 0, hi = 0;
    FindMinValue(c.YValues, m, lo);
    FindMaxValue(c.YValues, m, hi);
    ymin = std::min(ymin, lo);
    ymax = std::max(ymax, hi);
  }
  if (xmin > xmax) std::swap(xmin, xmax);
  if (ymin > ymax) std::swap(ymin, ymax);
  if (!std::isfinite(xmin) || !std::isfinite(xmax) || !std::isfinite(ymin) || !std::isfinite(ymax)) return;
  if (xmin == xmax || ymin == ymax) return;
  XStart = WholeTowardZero(xmin);
  XFinish = WholeTowardZero(xmax) + 1;
  YLow = WholeTowardZero(ymin);
  YHigh = WholeTowardZero(ymax) + 1;
}

void ApplyCoOrdLockLimits(int32_t& XStart, int32_t& XFinish, int32_t& YLow, int32_t& YHigh, int32_t kind) {
  const CoOrdLockLimitsRecord& lock = CoOrdLockLimits;
  switch (kind) {
    case kLockTime:
      if (lock.TimeStart > XStart) XStart = CLng(lock.TimeStart);
      if (lock.TimeFinish < XFinish) XFinish = CLng(lock.TimeFinish);
      break;
    case kLockFrequency:
      XStart = CLng(lock.FreqDomainStartFreq);
      XFinish = CLng(lock.FreqDomainFinishFreq);
      YLow = CLng(lock.FreqLowLevel);
      YHigh = CLng(lock.FreqHighLevel);
      break;
    case kLockNoise:
      XStart = CLng(lock.NoiseFreqStart);
      XFinish = CLng(lock.NoiseFreqFinish);
      YLow = CLng(lock.NoiseLowLevel);
      YHigh = CLng(lock.NoiseHighLevel);
      break;
    default: break;
  }
}

void WidenNarrowLevelRange(GraphFrame& frame) {
  const double low = frame.YLow, high = frame.YHigh;
  if (high - low >= 5) return;
  const double m = low + (high - low) / 2;
  frame.YLow = CLng(m - 5);
  frame.YHigh = CLng(m + 5);
}

void KeepFrameValid(GraphFrame& frame, bool logAxis) {
  if (logAxis && frame.XStart < 1) frame.XStart = 1;
  if (frame.XFinish <= frame.XStart) frame.XFinish = frame.XStart < std::numeric_limits<int32_t>::max() ? frame.XStart + 1 : frame.XStart;
  if (frame.XFinish <= frame.XStart) frame.XStart = frame.XFinish - 1;
  if (frame.YHigh <= frame.YLow) frame.YHigh = frame.YLow < std::numeric_limits<int32_t>::max() ? frame.YLow + 1 : frame.YLow;
  if (frame.YHigh <= frame.YLow) frame.YLow = frame.YHigh - 1;
}

void FitGraphToData(GraphHost& host) {
  WaitCursor hourglass;
  GraphFrame& t = TimeGraphFrame;
  GraphFrame& f = FreqGraphFrame;
  switch (DisplayConfig.Graphshown) {
    case kImpulseView:
    case kLevelsView:
      FindCurveSetExtent(t.XStart, t.XFinish, t.YLow, t.YHigh,
                         DisplayConfig.Graphshown == kImpulseView ? ImpulseCurves : LevelsCurves);
      ApplyCoOrdLockLimits(t.XStart, t.XFinish, t.YLow, t.YHigh, kLockTime);
      t.YHigh = 30;
      t.YLow = -30;
      break;
    case kModalSliceView:
    case kBodeView:
    case kPsdView:
    case kFractOctView:
    case kPsycView: {
      const int32_t v = DisplayConfig.Graphshown;
      const CurveArray& set = v == kModalSliceView ? ModalCurves
                              : v == kBodeView     ? BodeCurves
                              : v == kPsdView      ? PsdCurves
                              : v == kFractOctView ? FractOctCurves
                                                   : PsycCurves;
      FindCurveSetExtent(f.XStart, f.XFinish, f.YLow, f.YHigh, set);
      ApplyCoOrdLockLimits(f.XStart, f.XFinish, f.YLow, f.YHigh, kLockFrequency);
      break;
    }
    case kNoiseView:
      FindCurveSetExtent(f.XStart, f.XFinish, f.YLow, f.YHigh, NoiseCurves);
      ApplyCoOrdLockLimits(f.XStart, f.XFinish, f.YLow, f.YHigh, kLockNoise);
      break;
    default: break;
  }
  WidenNarrowLevelRange(f);
  WidenNarrowLevelRange(t);
  // A lock set to an empty or reversed range must still give a drawable frame.
  KeepFrameValid(f, f.LogX != 0);
  KeepFrameValid(t, false);
  DisplayResults(host, kRedrawFiledCurves);
}

void UpdateGraph(CurveArray& curves, GraphFrame& frame, DrawingSurface& picture, std::string_view title) {
  const int32_t count = std::clamp<int32_t>(curves[0].NumCurves, 0, kCurveSlots);
  if (count == 0) return;
  DrawGraphFrame(frame, picture);
  for (int32_t i = 0; i < count; ++i) {
    CurveRecord& c = curves[static_cast<size_t>(i)];
    if (c.CurveIndex == i) PlotCurveOnGraph(frame, picture, c, GetCurveColour(i), i);
  }
  DrawGraphTitleAndLegend(frame, picture, curves, title, kMaxResults);
}

void NormalizeDisplayCurves(const GraphHost& host, std::span<float> y, std::span<const float> x, int32_t n,
                            int32_t lower, int32_t upper) {
  if (!host.NormTicked()) return;
  n = std::min({n, static_cast<int32_t>(y.size()), static_cast<int32_t>(x.size())});
  if (n <= 0) return;
  const float lo = std::max(x[0], static_cast<float>(lower));
  const float hi = std::min(x[static_cast<size_t>(n - 1)], static_cast<float>(upper));
  double sum = 0;
  int32_t m = 0;
  for (int32_t i = 0; i < n; ++i) {
    const float xi = x[static_cast<size_t>(i)];
    if (xi >= lo && xi <= hi) {
      sum += y[static_cast<size_t>(i)];
      ++m;
    }
  }
  if (m == 0) return;
  const double mean = sum / m;
  for (int32_t i = 0; i < n; ++i) y[static_cast<size_t>(i)] = static_cast<float>(y[static_cast<size_t>(i)] - mean);
}

}  // namespace zentor
