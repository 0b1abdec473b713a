// What a fitted entry may be: a singularity the curve resolves, that stands
// out of the curve's noise, and that the chosen outside equaliser can be set
// to. Without these bounds the fit follows single-point noise with filters no
// equaliser offers, and snapping those filters makes the room worse. Qt-free.
#pragma once

#include <cstdint>
#include <span>

#include "eqdesign/fit/fit_records.h"

namespace zentor {

struct FitBounds {
  double NoiseDb = 0;  // the curve's point noise (dB), 0 when not estimated
  // The least level worth an entry: half the equaliser's finest level step,
  // below which its level control stays at 0 dB.
  double LevelFloorDb = 0.05;
  // Centre Q √(|Q1|·Q2) and the larger Q |Q1| (at damping 1).
  double CentreQLow = 0, CentreQHigh = 1e30;
  double LargerQLow = 0, LargerQHigh = 1e30;
  // How deep a curve's peak (corrected by a cut) and dip (by a boost) may be:
  // never more than the 20 dB a filter taken from the modes list may have.
  double PeakDbMax = 20, DipDbMax = 20;
  // The largest Q an entry may need within the equaliser's reach; the search
  // tries Q values up to it where the view's own limit is lower (0: none).
  double QCeiling = 0;
  // A boost limit below the equaliser's own: a bounded boost left in the noise goes.
  bool BoostLimited = false;
};

// The upper bound of Q for a fit at a point whose view limit is qLimit.
double SearchQLimit(double qLimit, const FitBounds& bounds);

// The bounds of equaliser `code` (1, 4 and 5 have steps; other codes none)
// from its step tables, with the curve's noise. Call on one thread: it may
// build the step tables. A maxBoostDb not below 0 holds boosts (dips) to it.
FitBounds MakeFitBounds(int32_t code, double noiseDb, double maxBoostDb = -1);

// The point noise of the levels (linear) between low and high Hz, in dB: a
// robust deviation of their second differences, which a singularity the curve
// resolves hardly changes. 0 for fewer than 8 points.
double EstimatePointNoiseDb(std::span<const float> x, std::span<const double> y, float low, float high);

// Whether an entry (centre rad/s, Q1, Q2) at the given damping spans at least
// three point spacings of the curve at its centre and has a level clearly above
// the noise.
bool ResolvedAboveNoise(std::span<const float> x, double Freq, double Q1, double Q2, double damping,
                        const FitBounds& bounds);

// Whether a level (dB, either sign) stands clearly out of the noise.
bool LevelAboveNoise(double levelDb, const FitBounds& bounds);

// Moves an entry's Q pair into the equaliser's reach, keeping its kind: level
// first, then the centre Q, then the larger Q. Q1 keeps its sign.
void BoundToReach(double& Q1, double& Q2, double damping, const FitBounds& bounds);

}  // namespace zentor
