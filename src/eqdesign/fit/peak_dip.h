// What a fit point can carry (a peak, a dip or neither) and the small numeric
// routines of the fit. Qt-free.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/records.h"
#include "eqdesign/fit/fit_records.h"

namespace zentor {

constexpr int32_t kPointPeak = 2;
constexpr int32_t kPointDip = 3;
constexpr int32_t kPointNeither = 4;

// The fit's mode code of a set fitted on the gated (Bode) response.
constexpr int32_t kModeCodeBode = 5;

// Kind of point n of levels(0..count-1): 2 peak, 3 dip, 4 neither. A point
// within 5 of either end is 4; a shoulder is judged by the curvature of its
// five points. A non-finite level there reports "Error 6543" and gives 4.
int32_t CheckPeakOrDip(int32_t n, std::span<const double> levels, int32_t count, int32_t modeCode,
                       const MessageSink& say = MessageBoxSink());

// (1000 x)^2.
double FitErrorToScore(double x);

// True when an entry of the set lies closer than 2π·tolerance rad/s to frequency.
bool NearExistingFilter(double frequency, const SingularityListRecord& set, float tolerance);

// Q of a resonance at f Hz whose level falls 60 dB in T seconds.
float DecayTimeToQ(float f, float T);

// ---- Reference forms --------------------------------------------------------------
// The program does not call these. They state one consistent form of the level
// window and of the trial-response matrix that the fit kernel builds.

// Kind 3 only: Q = -Q and ResultB(0..NumPoints-1) inverted. Always false.
bool InvertDipResponse(SingularityFitWork& work, double& Q, int32_t kind);

// Level(i) = y(n - h + i)^2 for a peak, y(...)^-2 for a dip, h = NumPoints / 2.
// "Error 4532", nothing loaded, when the window leaves the curve. Always false.
bool LoadLevelWindow(SingularityFitWork& work, int32_t kind, int32_t n, std::span<const double> levels,
                     const MessageSink& say = MessageBoxSink());

// M(i, j, k): squared magnitude at window point i of a zero pair of Q = QGrid(j)
// over a pole pair of Q 0.707, both at TrialFreq(k); MatrixBlock receives the
// window's angular frequencies.
constexpr int kMaxMatrixPoints = 40;
class ResponseMatrix {
 public:
  ResponseMatrix() : values_(static_cast<size_t>(kMaxMatrixPoints * kQGridSize * kMaxTrialFreqs)) {}
  double& operator()(int32_t i, int32_t j, int32_t k) { return values_[Index(i, j, k)]; }
  double operator()(int32_t i, int32_t j, int32_t k) const { return values_[Index(i, j, k)]; }

 private:
  static size_t Index(int32_t i, int32_t j, int32_t k) {
    return (static_cast<size_t>(i) * kQGridSize + static_cast<size_t>(j)) * kMaxTrialFreqs + static_cast<size_t>(k);
  }
  std::vector<double> values_;
};
// "Error 3973", nothing built, when the window starts before the first point
// or the counts exceed the matrix. Always false.
bool BuildResponseMatrix(SingularityFitWork& work, ResponseMatrix& M, std::span<const float> frequencies,
                         int32_t n, const MessageSink& say = MessageBoxSink());

// Sum over i of (M(i, col) - M(i+1, col))^2 w(i) for i = 0..count-2. A count
// above 200 reports "Error 4382" and gives 0; an index outside M or w reports it
// and gives the sum so far.
double WeightedColumnDifferenceSum(std::span<const std::vector<double>> M, int32_t count, int32_t column,
                                   std::span<const float> weights, const MessageSink& say = MessageBoxSink());

// When a < b: b = a and true.
bool TakeIfSmaller(double a, double& b);

// A step that never yields a singularity.
bool NoSingularityFitted();

}  // namespace zentor
