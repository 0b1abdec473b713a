#include "display/curve_similarity.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/shared_state.h"
#include "base/text_number.h"
#include "platform/dialogs.h"
#include "platform/numeric/numeric.h"

namespace zentor {

std::array<double, kMaxResults> CurveSimilarity{};
std::array<int32_t, kMaxResults> CurveSimilarityOrder{};
int32_t CurveSimilarityCount = 0;

namespace {

SharedStateRegistrar g_reset([] {
  CurveSimilarity.fill(0);
  CurveSimilarityOrder.fill(0);
  CurveSimilarityCount = 0;
});

// The point-to-point slopes of points first..first+n-1 of a curve, in linear amplitude.
std::vector<double> Slopes(const CurveRecord& c, int32_t first, int32_t n) {
  std::vector<double> d(static_cast<size_t>(n));
  CopySingleToDouble(std::span<const float>(c.YValues).subspan(static_cast<size_t>(first)), d, n);
  TenPowerValueOverTwenty(d, n);
  DifferentiateDouble(d, 0, n);
  return d;
}

}  // namespace

std::string ListCurveSimilarities(GraphHost& host, const CurveArray& curves, float lo, float hi, int32_t k) {
  std::vector<std::string> lines{" Curve Similarities", " "};
  const int32_t loaded = std::clamp(ResultsDataSetInfo[0].NumInSet, 0, kMaxResults);
  if (k < 0 || k >= kCurveSlots) {
    host.ShowListLines(lines);
    return "";
  }
  const CurveRecord& ref = curves[static_cast<size_t>(k)];
  const int32_t points = std::clamp(ref.NumPoints, 0, kMaxCurvePoints);
  if (points < 1) {
    host.ShowListLines(lines);
    return "";
  }
  // The compared points are first .. last-1: first the last below lo, last the last below hi.
  int32_t first = 0, last = 0;
  for (int32_t i = 0; i < points; ++i) {
    const float x = ref.XValues[static_cast<size_t>(i)];
    if (x < lo) first = i;
    if (x < hi) last = i;
  }
  if (last <= first) {
    host.ShowListLines(lines);
    MsgBox("Error 5428");
    return "";
  }
  const int32_t n = last - first;
  const std::vector<double> WorkCurveDouble = Slopes(ref, first, n);  // the reference's slopes

  // Curves without points take no part: their value would be stale.
  std::vector<std::pair<double, int32_t>> ranked;
  for (int32_t c = 0; c < loaded; ++c) {
    const CurveRecord& curve = curves[static_cast<size_t>(c)];
    if (curve.NumPoints < 1) continue;
    const std::vector<double> WorkCurveDouble2 = Slopes(curve, first, n);
    double s1 = 0, s2 = 0;
    for (int32_t m = 0; m < n; ++m) {
      const double p = WorkCurveDouble2[static_cast<size_t>(m)] * WorkCurveDouble[static_cast<size_t>(m)];
      s1 += p;
      s2 += std::fabs(p);
    }
    ranked.emplace_back(s1 / std::max(s2, 1e-34), c);
  }
  // Most similar first, equal values in curve order.
  std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  if (!host.MostSimilarFirst()) std::reverse(ranked.begin(), ranked.end());

  CurveSimilarityCount = static_cast<int32_t>(ranked.size());
  for (size_t i = 0; i < ranked.size(); ++i) {
    CurveSimilarity[i] = ranked[i].first;
    CurveSimilarityOrder[i] = ranked[i].second;
    if (ranked[i].second == k) continue;
    lines.push_back(" Corr " + std::to_string(k + 1) + " - " + std::to_string(ranked[i].second + 1) + " = " +
                    FormatDouble(Fix(ranked[i].first * 100) * 0.01));
  }
  host.ShowListLines(lines);
  return "";
}

}  // namespace zentor
