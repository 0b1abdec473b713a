// Continuous least-squares refinement of one singularity: the grid searches
// leave the centre frequency on a grid and the two Q values where alternating
// one-at-a-time searches stop, which is not where the best fit is. Qt-free and
// allocation-free.
#pragma once

#include <cstdint>
#include <span>

namespace zentor {

// A peak-shaped singularity on a sloping local baseline: ln M(ω) = ln Baseline
// + Slope·ln(ω/ω_mid) +
// ln[((Ω²−ω²)² + (Ωω/ZeroQ)²) / ((Ω²−ω²)² + (Ωω/PoleQ)²)].
struct SingularityEstimate {
  double Omega = 0;     // rad/s
  double PoleQ = 0;
  double ZeroQ = 0;
  double Baseline = 1;  // at the middle point of the window
  double Slope = 0;     // of ln Baseline over ln ω
  double Residual = 0;  // √(Σw(ln T − ln M)² / Σw) at the estimate
  double Plain = 0;     // the same for the sloping baseline alone
};

// Damped Gauss-Newton over ln Ω, ln PoleQ, ln ZeroQ and ln Baseline, from the
// estimate handed in, against the log targets lnTarget at angular frequencies
// omega with weights w (all the same length, at most 201). Both Q values stay
// within qLow..qHigh. False when the data give no finite fit.
bool RefineSingularity(std::span<const double> omega, std::span<const double> lnTarget,
                       std::span<const float> w, double qLow, double qHigh, SingularityEstimate& estimate);

}  // namespace zentor
