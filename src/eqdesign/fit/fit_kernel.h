// The numeric core of the one-singularity fit: trial grids, the level window
// and the least-squares choice among trial singularities. Qt-free; every
// function works on the arrays it is handed and may run on many threads at once.
#pragma once

#include <cstdint>
#include <span>

#include "eqdesign/fit/fit_records.h"

namespace zentor {

// count values rising linearly from low to high; the two ends are exact and a
// count of 1 gives low alone. A count outside the array is cut to it.
void SetUpFreqArrayC(std::span<double> trial, double low, double high, int32_t count);
void SetUpQ2ArrayC(std::span<double> grid, double low, double high, int32_t count);

// First curve index of a window of `points` around point n.
inline int32_t FitWindowStart(int32_t n, int32_t points) { return n - (points - 1) / 2; }

// Loads the window of `points` curve levels around n: y^2 for a dip-free kind
// (2 peak, 4 neither), y^-2 for a dip (3); a level <= 0 is taken as 1e-30.
// False, nothing loaded, when the window leaves the curve or the array.
bool LoadLevelArrayC(std::span<double> level, int32_t points, int32_t kind, int32_t n,
                     std::span<const double> curveLevels, int32_t count);

// Divides the window by the mean of its two end values (left alone when that
// mean is not a positive number).
void FixDoubleLinearLevelAboutOne(std::span<double> level, int32_t points);

// What the least-squares choice hands back: grid values themselves, so callers
// may compare FitBestQ with QGrid for equality.
struct FitCells {
  double FitBestFreq = 0;   // rad/s, one of TrialFreq
  double FitBestQ = 0;      // one of QGrid
  double FitBestLevel = 0;  // the model's centre gain squared; nothing reads it
  double FitBestError = 0;  // residual of the best trial
};

// Models every trial singularity, each trial frequency Ω with each grid Q, on
// the window of NumPoints curve points around n: |H|² of a pole pair of the
// grid Q over a zero pair of QFixed at Ω, and picks the trial with the least
// residual √(Σw(T − M)² / Σw) against work.Level with work.Weights. Ties go to
// the first trial, frequencies outer and Q values inner. False when the counts
// do not fit the work arrays, the window leaves the curve, or no trial gives a
// finite residual. `evaluations` (when given) grows by trials × points.
bool FitMatrixC(const SingularityFitWork& work, std::span<const float> curveFreqs, int32_t count, int32_t n,
                FitCells& cells, int64_t* evaluations = nullptr, bool endNormalised = false);

}  // namespace zentor
