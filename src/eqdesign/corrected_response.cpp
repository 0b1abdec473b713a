#include "eqdesign/corrected_response.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

#include "base/text_number.h"
#include "display/graph_primitives.h"
#include "display/plot_colours.h"
#include "eqdesign/fit_limits_store.h"
#include "eqdesign/fit/fit_quality.h"
#include "eqdesign/fit/net_boost.h"
#include "exchange/filter_export.h"
#include "mainwindow/data_plotter.h"
#include "platform/numeric/numeric.h"

namespace zentor {

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

bool UsableEntry(float w, float q1, float q2) {
  return std::isfinite(w) && std::isfinite(q1) && std::isfinite(q2) && q1 != 0 && q2 > 0;
}

}  // namespace

void BuildCorrectedCurve(const CurveRecord& response, CurveRecord& corrected, const SingularityListRecord& set,
                         FilterBlock& block, int32_t fs) {
  const int32_t n = std::clamp(response.NumPoints, 0, kMaxCurvePoints);
  corrected.NumPoints = n;
  std::array<double, kMaxCurvePoints> work;
  CopySingleToDouble(response.YValues, work, n);
  TenPowerValueOverTwenty(work, n);
  CopySingle(response.XValues, corrected.XValues, n);
  const int32_t count = std::clamp(set.Count, 0, kMaxFilters);
  for (int32_t i = 0; i < count; ++i) {
    const auto e = static_cast<size_t>(i);
    const float w = set.Freq[e], q1 = set.Q1[e], q2 = set.Q2[e];
    if (!UsableEntry(w, q1, q2)) continue;
    // A dip of the response (Q1 < 0) is boosted: its larger Q goes to the poles.
    const double zeroQ = q1 < 0 ? q2 : q1;
    const double poleQ = q1 < 0 ? -q1 : q2;
    ClearFilterBlock(block);
    block.samplerate = fs;
    block.Domain = kDomainSPlane;
    block.NumPoles = block.NumZeros = 2;
    // Roots of s^2 + (w/Q) s + w^2 without the solver's messages: Q > 0 here.
    auto roots = [w](double Q, std::array<double, 75>& re, std::array<double, 75>& im) {
      const double b = w / Q, disc = b * b - 4.0 * double(w) * w;
      if (disc < 0) {
        re[0] = re[1] = -b / 2;
        im[0] = std::sqrt(-disc) / 2;
        im[1] = -im[0];
      } else {
        re[0] = (-b + std::sqrt(disc)) / 2;
        re[1] = (-b - std::sqrt(disc)) / 2;
        im[0] = im[1] = 0;
      }
    };
    roots(zeroQ, block.ZeroRe, block.ZeroIm);
    roots(poleQ, block.PoleRe, block.PoleIm);
    // |H(j2πf)| of the section in closed form: the same magnitude the roots give,
    // without a complex product per root and point.
    const double w2 = double(w) * w, zb = w / zeroQ, pb = w / poleQ;
    for (int32_t j = 0; j < n; ++j) {
      const double W = kTwoPi * corrected.XValues[static_cast<size_t>(j)];
      const double real = w2 - W * W, zi = W * zb, pi = W * pb;
      const double den = real * real + pi * pi;
      if (den > 0) work[static_cast<size_t>(j)] *= std::sqrt((real * real + zi * zi) / den);
    }
  }
  TwentyLogTenDoubleArray(work, n);
  CopyDoubleToSingle(work, corrected.YValues, n);
}

void ScaleFitGraphLevels(GraphFrame& frame, const CurveRecord& response, const CurveRecord& corrected) {
  const int32_t nc = std::clamp(corrected.NumPoints, 0, kMaxCurvePoints);
  const int32_t nr = std::clamp(response.NumPoints, 0, kMaxCurvePoints);
  // Seeded from points 1 and 2 of the corrected curve, as far as they exist.
  int32_t low = 0, high = 0;
  if (nc >= 2) {
    const float a = corrected.YValues[1], b = nc >= 3 ? corrected.YValues[2] : a;
    high = CLng(std::max(a, b));
    low = CLng(std::min(a, b));
  } else if (nc == 1) {
    high = low = CLng(corrected.YValues[0]);
  }
  auto take = [&](float y) {
    if (y < static_cast<float>(low)) low = CLng(y);
    if (y > static_cast<float>(high)) high = CLng(y);
  };
  for (int32_t i = 0; i < nc; ++i) {
    const auto p = static_cast<size_t>(i);
    const float x = corrected.XValues[p];
    if (x > static_cast<float>(frame.XStart) && x < static_cast<float>(frame.XFinish)) {
      take(corrected.YValues[p]);
      if (i < nr) take(response.YValues[p]);
    }
  }
  for (int32_t i = 0; i < nr; ++i) take(response.YValues[static_cast<size_t>(i)]);
  frame.YHigh = high + 2;
  frame.YLow = low - 2;
}

void ShowCorrectedResponse(GraphHost& host, CurveRecord& response, CurveRecord& corrected,
                           const SingularityListRecord& set, int32_t k, FilterBlock& block, int32_t fs,
                           GraphFrame& frame) {
  BuildCorrectedCurve(response, corrected, set, block, fs);
  frame.XStart = CLng(set.RangeLow);
  frame.XFinish = CLng(set.RangeHigh);
  ScaleFitGraphLevels(frame, response, corrected);

  // The stored counts become k, not k + 1, as the fit graph has always left them;
  // removing a result sets them again.
  FitInputCurves[0].NumCurves = k;
  FitStoredCurves[0].NumCurves = k;
  const SingularityListRecord& legendSet =
      SingularityList[static_cast<size_t>(std::clamp(host.FitFilterSet(), 0, kFilterSets - 1))];
  DrawingSurface& picture = host.MainGraph();
  DrawGraphFrame(frame, picture);
  PlotCurve(frame, picture, response, PlotColours[3]);
  DrawFitLegend(frame, picture, response, 0, legendSet);
  corrected.Label = response.Label + " Corrected";
  PlotCurve(frame, picture, corrected, PlotColours[4]);
  DrawFitLegend(frame, picture, corrected, 1, legendSet);

  // The target the fit corrected towards, at its level, dashed in the corrected curve's colour.
  const FitLimits limits = LoadFitLimits();
  const auto n = static_cast<size_t>(std::clamp(response.NumPoints, 0, kMaxCurvePoints));
  std::vector<float> x(response.XValues.begin(), response.XValues.begin() + static_cast<std::ptrdiff_t>(n));
  const std::vector<float> target = AnchoredTargetDb(limits, x, std::span(response.YValues).first(n),
                                                     set.RangeLow, set.RangeHigh);
  if (!target.empty())
    PlotCurvePoints(frame, picture, static_cast<int64_t>(n), x, target, PlotColours[4], PenStyle::Dash);
  // The set as the applied list would take it, as it runs at the measurement's rate.
  const auto* window = dynamic_cast<const DataPlotter*>(&host);
  const int32_t code = window != nullptr ? window->GetParametricEQEmulation() : 1;
  SingularityListRecord applied = SnapEachToEqualiser(set, code, limits.MaxBoostDb);
  applied.SampleRate = fs;
  const NetBoost net = MaxNetBoost(applied, code);
  DrawFitNote(picture, NetBoostText({net.Db, net.Hz}));
}

}  // namespace zentor
