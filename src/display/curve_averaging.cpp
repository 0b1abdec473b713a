// The average curve of a view's set and the level differences against curve 1.
#include "display/curve_averaging.h"

#include <algorithm>
#include <cmath>

#include "base/text_number.h"
#include "core/records.h"
#include "core/work_arrays.h"
#include "display/fit_to_data.h"
#include "display/graph_frame.h"
#include "display/graph_primitives.h"
#include "display/plot_colours.h"
#include "display/view_state.h"
#include "platform/dialogs.h"
#include "platform/numeric/numeric.h"
#include "platform/picture.h"

namespace zentor {

bool AverageCurveSet(CurveArray& dest, const CurveArray& source, int32_t kind) {
  const int32_t N = source[0].NumCurves;
  const int32_t n = source[0].NumPoints;
  if (n <= 0 || N <= 0 || N > kCurveSlots || n > kMaxCurvePoints) return false;
  if (WorkDoubleCurve.size() < static_cast<size_t>(n) || WorkDoubleCurve2.size() < static_cast<size_t>(n))
    return false;
  // The noise spectra are not results, so their count is not compared with the set.
  const bool ofResults = kind != kPsdView;
  const int32_t loaded = ResultsDataSetInfo[0].NumInSet;
  if (ofResults && N != loaded) MsgBox("Error 4353");
  for (int32_t i = 0; i < N; ++i)
    if (source[static_cast<size_t>(i)].NumPoints != n) {
      MsgBox("8734 ");
      return false;
    }

  CurveRecord& out = dest[0];
  out.NumCurves = 1;
  out.NumPoints = n;
  out.CurveIndex = 0;
  ClearArray(out.YValues, n);
  out.NumPoints = 0;
  ClearDoubleArray(WorkDoubleCurve2, n);

  if (kind == kBodeView) {
    // Power average: 10 log10 of the mean of 10^(L/10).
    for (int32_t i = 0; i < N; ++i) {
      CopySingleToDouble(source[static_cast<size_t>(i)].YValues, WorkDoubleCurve, n);
      TenPowerValueOverTen(std::span<double>(WorkDoubleCurve), n);
      AddDoubleArray(WorkDoubleCurve, WorkDoubleCurve2, WorkDoubleCurve2, n);
    }
    for (int32_t j = 0; j < n; ++j)
      if (WorkDoubleCurve2[static_cast<size_t>(j)] < 0) MsgBox("Error 8734");
    TenLogTenDoubleArray(WorkDoubleCurve2, n);
    const double countDb = 10.0 * std::log(static_cast<double>(N)) / std::log(10.0);
    for (int32_t j = 0; j < n; ++j)
      out.YValues[static_cast<size_t>(j)] = static_cast<float>(WorkDoubleCurve2[static_cast<size_t>(j)] - countDb);
  } else {
    for (int32_t i = 0; i < N; ++i) {
      CopySingleToDouble(source[static_cast<size_t>(i)].YValues, WorkDoubleCurve, n);
      AddDoubleArray(WorkDoubleCurve, WorkDoubleCurve2, WorkDoubleCurve2, n);
    }
    if (kind != kNoiseView && ofResults && loaded == 0) MsgBox("Error 4392");
    for (int32_t j = 0; j < n; ++j)
      out.YValues[static_cast<size_t>(j)] = static_cast<float>(WorkDoubleCurve2[static_cast<size_t>(j)] / N);
  }
  CopySingle(source[0].XValues, out.XValues, n);
  out.NumPoints = n;
  return true;
}

int32_t GetMainCurveNumber(GraphHost& host) {
  double v = 0;
  if (host.ReadCurveNoText(1, 32, v)) return CLng(v);
  return 1;
}

void ShowDifferenceCurves(GraphHost& host, int32_t mode) {
  static constexpr std::string_view title = "Curve Differences";
  GraphFrame& frame = FreqGraphFrame;
  if (frame.YHigh < 6) frame.YHigh = 6;
  if (frame.YLow > -6) frame.YLow = -6;
  KeepFrameValid(frame, frame.LogX != 0);
  DrawingSurface& picture = PrepareGraphDC(host.MainGraph());
  DrawGraphFrame(frame, picture);

  CurveArray* set = nullptr;
  switch (DisplayConfig.Graphshown) {
    case kBodeView: set = &BodeCurves; break;
    case kFractOctView: set = &FractOctCurves; break;
    case kPsycView: set = &PsycCurves; break;
    default: break;
  }
  if (!set || (mode != 2 && mode != 3)) {
    RefreshGraph(picture);
    return;
  }
  const int32_t N = std::clamp<int32_t>((*set)[0].NumCurves, 0, kCurveSlots);
  const int32_t n = std::clamp<int32_t>((*set)[0].NumPoints, 0, kMaxCurvePoints);
  CurveRecord& scratch = SingleViewCurves[0];
  CopySingle((*set)[0].XValues, scratch.XValues, n);
  scratch.NumPoints = n;
  for (int32_t i = 0; i < N; ++i) {
    const CurveRecord& first = (*set)[0];
    const CurveRecord& other = (*set)[static_cast<size_t>(i)];
    if (mode == 2)
      SubtractCurves(first.YValues, other.YValues, scratch.YValues, n);
    else
      SubtractCurves(other.YValues, first.YValues, scratch.YValues, n);
    PlotCurve(frame, picture, scratch, GetCurveColour(i));
  }
  DrawGraphTitleAndLegend(frame, picture, *set, title, N);
  RefreshGraph(picture);
}

}  // namespace zentor
