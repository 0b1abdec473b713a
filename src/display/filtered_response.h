// The response of one result as a frequency view computes it, after the applied
// equaliser filters: each filter runs over the impulse as one digital peaking
// section, then the view's own analysis (gated FFT, fractional octave or
// psychoacoustic) turns the filtered impulse into a curve.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "core/filter_design.h"
#include "core/filter_record.h"
#include "core/filter_run.h"
#include "core/records.h"
#include "display/curve_workers.h"
#include "display/graph_host.h"

namespace zentor {

// The filters of an applied set (count in element 0) as sections at fs, in list
// order, using block as work space. A filter with |Q1| = |Q2| changes nothing and
// is left out, as is one without a sign to its Q1 ("0") or a finite value. An
// adapted pole-side Q below 0.05 reports "Error 7392" (below 0 also "Error 7393")
// and the filter still runs; one that cannot be made digital (at or above half
// the sample rate) reports "Error 7122" and is left out.
std::vector<PeakingSection> BuildPeakingSections(std::span<const FilterRecord> filters, FilterBlock& block,
                                                 int32_t fs);

// Runs the sections over signal(0..n-1) in place. Safe on any thread.
void RunPeakingSections(std::span<const PeakingSection> sections, std::span<float> signal, int32_t n);

// What one view's analysis of an impulse needs, read from the set's header on
// the interface thread so that workers never touch it.
struct ViewResponsePlan {
  int32_t view = 0;  // 3 Bode, 6 fractional octave, 7 psychoacoustic
  int32_t fs = 0;
  int32_t period = 0;  // samples of each impulse that hold data
  int32_t start = 0;   // time zero, 50 ms into the impulse
  int32_t k = 0;       // transform exponent (views 3 and 6)
  int32_t points = 0;  // views 6 and 7
  float gate = 0;
  float resolution = 0;
  float lfResolution = 0, shelfTime = 0, shelfLevel = 0, top = 0;  // view 7
};

// Settles the plan of `view` from the first result's header and writes the
// point count of views 6 and 7 back into it. False for another view, a set
// without a sample rate, or settings no curve can hold (a Bode gate longer than
// the period also tells the user why).
bool PlanViewResponse(const GraphHost& host, int32_t view, ViewResponsePlan& plan);

// The planned analysis of impulse(0..period-1) into x (Hz) and y (dB), count
// points. Scratch as a curve worker's. No messages and no shared arrays, so
// safe on any thread. False when the analysis refused.
bool ComputeViewResponse(const ViewResponsePlan& plan, std::span<const float> impulse, const WorkerScratch& scratch,
                         std::span<float> x, std::span<float> y, int32_t& count);

// Rebuilds curve (levels, frequencies, point count) as the response of result k
// (0-based) in the view after the applied filters, on the interface thread. False,
// curve unchanged, when k is not a loaded result or the view cannot be computed.
bool ComputeFilteredResponse(GraphHost& host, CurveRecord& curve, std::span<const FilterRecord> filters,
                             FilterBlock& block, int32_t fs, int32_t view, int32_t k);

}  // namespace zentor
