#include "display/average_response.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "base/text_number.h"
#include "core/filter_design.h"
#include "core/helpers.h"
#include "core/results_store.h"
#include "display/curve_workers.h"
#include "display/filtered_response.h"
#include "display/fit_to_data.h"
#include "display/view_state.h"
#include "platform/dialogs.h"
#include "platform/numeric/numeric.h"

namespace zentor {

namespace {

struct ComputedCurve {
  bool ok = false;
  int32_t num = 0;
  std::array<float, kMaxCurvePoints> x{};
  std::array<float, kMaxCurvePoints> y{};
};

// Computes result j's response on the workers (after the sections when given) and
// hands each to `file` in order; false when one could not be computed.
bool ComputeResponses(int32_t n, const ViewResponsePlan& plan, const std::vector<PeakingSection>& sections,
                      const std::function<void(int32_t, const ComputedCurve&)>& file) {
  std::vector<ComputedCurve> results(static_cast<size_t>(std::max(n, 0)));
  bool failed = false;
  ComputeAndFileInOrder(
      n,
      [&](int32_t j, const WorkerScratch& scratch) {
        ComputedCurve& r = results[static_cast<size_t>(j)];
        const std::span<float> impulse = scratch.A.first(static_cast<size_t>(plan.period));
        std::copy_n(ImpulseSet[static_cast<size_t>(j)].begin(), plan.period, impulse.begin());
        RunPeakingSections(sections, impulse, plan.period);
        r.ok = ComputeViewResponse(plan, impulse, scratch, r.x, r.y, r.num);
      },
      [&](int32_t j, bool thrown) {
        const ComputedCurve& r = results[static_cast<size_t>(j)];
        if (thrown || !r.ok) {
          failed = true;
          return false;
        }
        file(j, r);
        return true;
      });
  return !failed;
}

// The view's name after a fault that ends the averaging.
void Fault(const char* text, int32_t view) {
  MsgBox(text);
  ShowGraphShownMessage(view);
}

bool AllFinite(const CurveRecord& c, int32_t n) {
  return std::all_of(c.YValues.begin(), c.YValues.begin() + n, [](float v) { return std::isfinite(v); });
}

}  // namespace

void ComputeAverageResponse(GraphHost& host, CurveArray& curves, CurveRecord& plain, CurveRecord& filtered,
                            std::span<const FilterRecord> filters, const GraphFrame& frame, int32_t view, float& p7,
                            float& p8, float& p9) {
  MeasurementHeader& set = ResultsDataSetInfo[0];
  bool rebuild = false;
  switch (view) {
    case kBodeView:
      plain.Label = "FFT mag " + FormatDouble(Fix(double(p8) * 100) * 0.01) + " ms";
      rebuild = p8 != set.FreqRespGateTime;
      if (rebuild) set.FreqRespGateTime = p8;
      break;
    case kFractOctView:
      plain.Label = "FractOct " + FormatDouble(Fix(double(p9) * 100) * 0.01) + " Oct/" +
                    FormatDouble(Fix(double(p8) * 10) * 0.1) + " ms";
      rebuild = p9 != set.FractOctRes || p8 != set.FractOctGateTime;
      if (rebuild) {
        set.FractOctGateTime = p8;
        set.FractOctRes = p9;
      }
      break;
    case kPsycView:
      plain.Label = "PsychoAcoustic";
      rebuild = p7 != set.PsycShelfLevel || p8 != set.PsycGateTime || p9 != set.PsycLFResolution;
      if (rebuild) {
        set.PsycShelfLevel = p7;
        set.PsycGateTime = p8;
        set.PsycLFResolution = p9;
      }
      break;
    default: return;
  }
  DisplayConfig.Graphshown = view;
  DisplayConfig.Average = kTrue;
  filtered.Label = plain.Label + "*";
  rebuild = rebuild || curves[0].NumCurves == 0 || curves[0].NumPoints == 0;

  // ---- Rebuilding the view's curves from the impulses ----
  if (rebuild) {
    host.InitializeProgress(std::clamp(curves[0].NumCurves, 0, kCurveSlots) + 1);
    const int32_t loaded = std::clamp(set.NumInSet, 0, kMaxResults);
    ViewResponsePlan plan;
    if (loaded > 0 && !PlanViewResponse(host, view, plan)) {
      host.ClearProgress();
      Fault("Error 4583", view);
      return;
    }
    int32_t mismatches = 0;
    const bool built = ComputeResponses(loaded, plan, {},
                                        [&](int32_t i, const ComputedCurve& r) {
                                          host.IncrementProgress();
                                          MainBuffer.Num = std::clamp(r.num, 0, kMaxCurvePoints);
                                          MainBuffer.Parameter = 0;
                                          std::copy_n(r.x.begin(), MainBuffer.Num, MainBuffer.XValues.begin());
                                          std::copy_n(r.y.begin(), MainBuffer.Num, MainBuffer.YValues.begin());
                                          StoreCurveRecord(curves, MainBuffer, Str(static_cast<int32_t>(i + 1)), i);
                                          if (MainBuffer.Num != curves[static_cast<size_t>(i)].NumPoints) ++mismatches;
                                        });
    host.ClearProgress();
    for (int32_t m = 0; m < mismatches; ++m) MsgBox("Error 6439");
    if (!built) {
      Fault("Error 4583", view);
      return;
    }
  }

  // ---- Normalisation range and the plain average ----
  const int32_t N = std::clamp(curves[0].NumCurves, 0, kCurveSlots);
  const int32_t P = std::clamp(curves[0].NumPoints, 0, kMaxCurvePoints);
  if (N == 0) {
    Fault("Error 4584", view);
    return;
  }
  const std::span<const float> F(curves[0].XValues.data(), static_cast<size_t>(P));
  int32_t lo = frame.XStart, hi = frame.XFinish;
  if (P > 0) {
    if (F[0] > static_cast<float>(frame.XStart)) lo = CLng(F[0]);
    if (F[static_cast<size_t>(P - 1)] < static_cast<float>(frame.XFinish)) hi = CLng(F[static_cast<size_t>(P - 1)]);
  }
  // One curve's levels, and the running sum.
  std::vector<double> WorkCurveDouble(static_cast<size_t>(kMaxCurvePoints)),
      WorkCurveDouble2(static_cast<size_t>(kMaxCurvePoints));
  // Adds one curve's levels (already in `target`) to the running sum, normalised
  // as the view shows them.
  auto accumulate = [&](CurveRecord& target) {
    NormalizeDisplayCurves(host, target.YValues, target.XValues, P, lo, hi);
    CopySingleToDouble(target.YValues, WorkCurveDouble, P);
    if (view == kBodeView) TenPowerValueOverTen(std::span<double>(WorkCurveDouble), P);
    AddDoubleArray(WorkCurveDouble, WorkCurveDouble2, WorkCurveDouble2, P);
  };
  auto average = [&](CurveRecord& target) {
    if (view == kBodeView) {
      TenLogTenDoubleArray(WorkCurveDouble2, P);
      const double offset = 10 * std::log10(static_cast<double>(N));
      for (int32_t i = 0; i < P; ++i)
        target.YValues[static_cast<size_t>(i)] = static_cast<float>(WorkCurveDouble2[static_cast<size_t>(i)] - offset);
    } else {
      for (int32_t i = 0; i < P; ++i)
        target.YValues[static_cast<size_t>(i)] = static_cast<float>(WorkCurveDouble2[static_cast<size_t>(i)] / N);
    }
  };

  ClearArray(plain.XValues, kMaxCurvePoints - 1);
  ClearArray(filtered.XValues, kMaxCurvePoints - 1);
  plain.NumPoints = P;
  ClearDoubleArray(WorkCurveDouble2, P);
  CopySingle(F, plain.XValues, P);
  for (int32_t j = 0; j < N; ++j) {
    CopySingle(curves[static_cast<size_t>(j)].YValues, plain.YValues, P);
    accumulate(plain);
  }
  average(plain);
  if (!AllFinite(plain, P)) {
    Fault("Error 4584", view);
    return;
  }

  // ---- The average after the applied filters ----
  filtered.NumPoints = P;
  ClearDoubleArray(WorkCurveDouble2, P);
  CopySingle(F, filtered.XValues, P);
  const std::vector<PeakingSection> sections = BuildPeakingSections(filters, WorkFilterBlock, set.SampleRate);
  ViewResponsePlan plan;
  if (N > std::clamp(set.NumInSet, 0, kMaxResults) || !PlanViewResponse(host, view, plan)) {
    Fault("Error 4585", view);
    return;
  }
  host.InitializeProgress(N + 1);
  const bool done = ComputeResponses(N, plan, sections, [&](int32_t, const ComputedCurve& r) {
    host.IncrementProgress();
    std::copy_n(r.y.begin(), P, filtered.YValues.begin());
    accumulate(filtered);
  });
  host.ClearProgress();
  if (!done) {
    Fault("Error 4585", view);
    return;
  }
  average(filtered);
  if (!AllFinite(filtered, P)) Fault("Error 4585", view);
}

}  // namespace zentor
