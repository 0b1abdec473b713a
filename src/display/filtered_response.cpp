#include "display/filtered_response.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "base/text_number.h"
#include "core/filter_design.h"
#include "core/work_arrays.h"
#include "display/time_views.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/numeric/numeric.h"

namespace zentor {

namespace {

bool IsLoadedResult(int32_t k) {
  return k >= 0 && k < std::clamp(ResultsDataSetInfo[0].NumInSet, 0, kMaxResults);
}

}  // namespace

std::vector<PeakingSection> BuildPeakingSections(std::span<const FilterRecord> filters, FilterBlock& block,
                                                 int32_t fs) {
  std::vector<PeakingSection> sections;
  if (filters.empty()) return sections;
  const int32_t count =
      std::clamp<int32_t>(filters[0].Count, 0, static_cast<int32_t>(std::min<size_t>(filters.size(), kMaxFilters)));
  for (int32_t i = 0; i < count; ++i) {
    const FilterRecord& r = filters[static_cast<size_t>(i)];
    const float q1 = std::fabs(r.Q1), q2 = std::fabs(r.Q2);
    if (q1 == q2) continue;
    // Without a sign to Q1 there is no telling a boost from a cut.
    if (r.Q1 == 0 || !std::isfinite(q1) || !std::isfinite(q2) || !std::isfinite(r.Freq1)) continue;
    const double a = AdaptEmulationQ(q1, r.Freq1, r.EQEmulationCode, fs);
    const double b = AdaptEmulationQ(q2, r.Freq1, r.EQEmulationCode, fs);
    if (b < 0.05) MsgBox("Error 7392");
    if (b < 0) MsgBox("Error 7393");
    // At or above half the sample rate the pre-warped section has no digital form.
    if (fs <= 0 || !(r.Freq1 > 0) || !(r.Freq1 < std::numbers::pi * fs)) {
      MsgBox("Error 7122");
      continue;
    }
    const double zeroQ = r.Q1 > 0 ? a : b;
    const double poleQ = r.Q1 > 0 ? b : a;
    PeakingSection s;
    if (!(zeroQ > 0) || !(poleQ > 0)) {
      PeakingSectionBlock(zeroQ, poleQ, PrewarpFrequency(r.Freq1, fs), fs, block);  // names the bad Q
      continue;
    }
    if (!DigitalPeakingSection(zeroQ, poleQ, r.Freq1, fs, block, s)) {
      MsgBox("Error 7122");
      continue;
    }
    sections.push_back(s);
  }
  return sections;
}

void RunPeakingSections(std::span<const PeakingSection> sections, std::span<float> signal, int32_t n) {
  n = std::clamp<int32_t>(n, 0, static_cast<int32_t>(signal.size()));
  // All sections in one pass per sample, transposed direct form II, state in double.
  struct Stage {
    double b0, b1, b2, a1, a2, s1 = 0, s2 = 0;
  };
  std::vector<Stage> stages;
  stages.reserve(sections.size());
  for (const PeakingSection& s : sections)
    stages.push_back({s.gain * s.b[0], s.gain * s.b[1], s.gain * s.b[2], s.a[1], s.a[2]});
  if (stages.empty()) return;
  for (int32_t i = 0; i < n; ++i) {
    double x = signal[static_cast<size_t>(i)];
    for (Stage& st : stages) {
      const double y = st.b0 * x + st.s1;
      st.s1 = st.b1 * x - st.a1 * y + st.s2;
      st.s2 = st.b2 * x - st.a2 * y;
      x = y;
    }
    signal[static_cast<size_t>(i)] = static_cast<float>(x);
  }
}

bool PlanViewResponse(const GraphHost& host, int32_t view, ViewResponsePlan& plan) {
  MeasurementHeader& set = ResultsDataSetInfo[0];
  ViewResponsePlan p;
  p.view = view;
  p.fs = set.SampleRate;
  if (p.fs <= 0) return false;
  const int32_t order = std::clamp(set.PeriodExponent, 0, kMaxSamplesExponent);
  p.period = 1 << order;
  p.start = CLng(0.05 * p.fs);
  switch (view) {
    case 3:
      p.gate = set.FreqRespGateTime;
      if (!GateFitsPeriod(p.gate, p.fs, order)) {
        MsgBox(std::string(kGateTooLongForCurveData));
        return false;
      }
      if (!(p.gate > 0.0f) || !std::isfinite(p.gate)) return false;
      p.k = GetFFTSizeFromGateTime(host, p.gate, order, p.fs);
      break;
    case 6: {
      p.gate = set.FractOctGateTime;
      p.resolution = set.FractOctRes;
      // The resolution divides the point count, which a curve holds at most 2001 of.
      const double wanted = 10.0 * host.DisplayResolution() / p.resolution;
      if (!(p.resolution > 0.0f) || !std::isfinite(p.resolution) || !(wanted >= 0.5 && wanted < kMaxCurvePoints + 0.5))
        return false;
      p.points = CLng(wanted);
      set.FractOctPoints = p.points;
      p.k = GetFFTSizeFromGateTime(host, p.gate, set.PeriodExponent, p.fs);
      break;
    }
    case 7: {
      const int64_t wanted = int64_t{100} * host.DisplayResolution();
      if (wanted < 1 || wanted > kMaxCurvePoints) return false;
      p.points = static_cast<int32_t>(wanted);
      set.PsycDataPoints = p.points;
      p.lfResolution = set.PsycLFResolution;
      p.gate = set.PsycGateTime;
      p.shelfTime = set.PsycShelfTime;
      p.shelfLevel = set.PsycShelfLevel;
      // A third of an octave below Nyquist.
      p.top = static_cast<float>(CLng((p.fs / 2.0) / std::pow(2.0, 0.333)));
      break;
    }
    default: return false;
  }
  plan = p;
  return true;
}

bool ComputeViewResponse(const ViewResponsePlan& plan, std::span<const float> impulse, const WorkerScratch& scratch,
                         std::span<float> x, std::span<float> y, int32_t& count) {
  const auto period = static_cast<size_t>(plan.period);
  if (period == 0 || period > kMaxSamples || impulse.size() < period) return false;
  if (scratch.A.size() < 2 * size_t{kMaxSamples} || scratch.B.size() < size_t{kMaxSamples}) return false;
  const std::span<float> data = scratch.A.first(kMaxSamples);
  if (impulse.data() != data.data()) std::copy_n(impulse.begin(), period, data.begin());
  // The responses read to the end of what they are given: nothing past the period.
  std::fill(data.begin() + static_cast<std::ptrdiff_t>(period), data.end(), 0.0f);
  const MicCalTable& cal = ActiveMicCal;
  int32_t n = 0;
  switch (plan.view) {
    case 3: {
      std::array<float, kTimeViewPoints> lv{}, fr{};
      if (!GatedFFTMagnitude(data.first(period), plan.period, plan.gate, plan.fs, plan.k, lv, fr, n, scratch.B,
                             scratch.A.subspan(kMaxSamples)))
        return false;
      n = std::min({n, static_cast<int32_t>(x.size()), static_cast<int32_t>(y.size())});
      std::copy_n(fr.begin(), n, x.begin());
      std::copy_n(lv.begin(), n, y.begin());
      break;
    }
    case 6:
      if (plan.points > static_cast<int32_t>(std::min(x.size(), y.size())) ||
          !GetLogResponse(data, plan.gate, plan.resolution, plan.start, plan.points, x, y, plan.k, plan.fs, cal.Freq,
                          cal.Level, cal.Count))
        return false;
      n = plan.points;
      break;
    case 7:
      if (plan.points > static_cast<int32_t>(std::min(x.size(), y.size())) ||
          !GetPhsycologicalResponse(data.first(period), plan.period, plan.lfResolution, plan.gate, plan.shelfTime,
                                    plan.shelfLevel, plan.start, plan.points, x, y, plan.fs, plan.top, cal.Freq,
                                    cal.Level, cal.Count))
        return false;
      n = plan.points;
      break;
    default: return false;
  }
  count = n;
  return true;
}

bool ComputeFilteredResponse(GraphHost& host, CurveRecord& curve, std::span<const FilterRecord> filters,
                             FilterBlock& block, int32_t fs, int32_t view, int32_t k) {
  WaitCursor hourglass;
  if (!IsLoadedResult(k)) return false;
  if (WorkCurve3.size() < 2 * size_t{kMaxSamples} || WorkCurve5.size() < size_t{kMaxSamples}) return false;
  ViewResponsePlan plan;
  if (!PlanViewResponse(host, view, plan)) return false;
  const std::vector<PeakingSection> sections = BuildPeakingSections(filters, block, fs);
  const WorkerScratch scratch{std::span<float>(WorkCurve3), std::span<float>(WorkCurve5)};
  const std::span<float> impulse = scratch.A.first(static_cast<size_t>(plan.period));
  std::copy_n(ImpulseSet[static_cast<size_t>(k)].begin(), plan.period, impulse.begin());
  RunPeakingSections(sections, impulse, plan.period);
  int32_t n = 0;
  if (!ComputeViewResponse(plan, impulse, scratch, MainBuffer.XValues, MainBuffer.YValues, n)) return false;
  MainBuffer.Num = std::clamp(n, 0, kMaxCurvePoints);
  curve.NumPoints = MainBuffer.Num;
  std::copy_n(MainBuffer.XValues.begin(), MainBuffer.Num, curve.XValues.begin());
  std::copy_n(MainBuffer.YValues.begin(), MainBuffer.Num, curve.YValues.begin());
  return true;
}

}  // namespace zentor
