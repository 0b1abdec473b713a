// The one-singularity least-squares fit: the singularity (centre frequency and
// two Q values) that best matches a prepared curve about one of its points.
// Qt-free; a call touches only its arguments, so calls on separate workspaces
// may run on separate threads.
#pragma once

#include <atomic>
#include <cstdint>

#include "eqdesign/fit/fit_records.h"

namespace zentor {

// What the fits did, summed over calls.
struct FitCounters {
  int64_t Calls = 0;
  int64_t Acceptances = 0;
  int64_t Evaluations = 0;         // trial singularities times window points
  int64_t PlainIterations = 0;     // coarse search of frequency and Q1
  int64_t LevelIterations = 0;     // level-normalised search of Q2
  int64_t WeightedIterations = 0;  // weighted search of Q1
  int64_t OuterPasses = 0;         // rounds of the two alternating searches
  int64_t PolishPasses = 0;        // completed polish passes

  FitCounters& operator+=(const FitCounters& o);
};

struct SingularityFitContext {
  bool Quick = false;           // every inner search one iteration shorter
  int32_t NumInitialLoops = 8;  // the main window's constant; at least 4 is used
  const std::atomic<bool>* Stop = nullptr;
  FitCounters Counters;
  // Set when a point was refused for zero point spacing or a non-finite level;
  // the caller reports it.
  bool Fault = false;
};

// The two work records of one fit: the plain and weighted searches, and the
// level-normalised one. Sized once; a fit allocates nothing.
struct SingularityFitWorkspace {
  SingularityFitWork FitWork;
  SingularityFitWork LevelFitWork;
};

// Window width for a bandwidth of `bandwidth` curve points: nearest(widthFactor ×
// 5 × bandwidth) made odd, kept inside the curve about n, then held to
// floor..200. -1 when the low end leaves fewer than `floor` points.
int32_t FitWindowWidth(float bandwidth, float widthFactor, int32_t n, int32_t count, int32_t floor);

// Fits one singularity about point n. Freq (rad/s), Q1 (negative for a dip),
// Q2 and FitError (at least 1) are valid when it returns true. QMax and QMin
// bound both Q searches; SelectCode chooses the kinds of point accepted (2 peaks,
// 3 dips, 1 or 4 both, others every point); ModeCode 5 (the gated response)
// searches dips to 100 QMax with two more iterations per search.
bool FitOneSingularity(int32_t n, const FitCurveRecord& curve, SingularityFitWorkspace& work, double& Freq,
                       double& Q1, double& Q2, double& FitError, double QMax, double QMin, float WidthFactor,
                       int32_t SelectCode, int32_t ModeCode, SingularityFitContext& context);

}  // namespace zentor
