// Measures of how well the filter fit corrects a response: synthetic responses
// of known singularities and the spread of a response about its mean. Used by
// the tests and the benchmarks. Qt-free.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "core/records.h"
#include "eqdesign/fit/fit_engine.h"
#include "eqdesign/fit/fit_records.h"

namespace zentor {

// A peaking singularity: centre gain LevelDb (negative for a dip) and centre
// Q √(Qpole·Qzero).
struct KnownSingularity {
  double FreqHz = 0;
  double LevelDb = 0;
  double CentreQ = 0;
};

// The two Q values of a singularity with that centre gain and centre Q: for a
// peak the pole Q is the larger, for a dip the zero Q.
void KnownSingularityQs(const KnownSingularity& s, double& poleQ, double& zeroQ);
// Its level in dB at f Hz.
double KnownSingularityDb(const KnownSingularity& s, double f);

// Frequencies of the gated response of a 2^17-sample impulse: steps of 0.37 Hz
// from 0.37 Hz.
std::vector<float> BodeLikeGrid(int32_t count);
// Log-spaced frequencies from low to high Hz, as the fractional-octave view.
std::vector<float> LogGrid(int32_t count, double low, double high);

// dB response of the singularities on the grid, with a tilt in dB per octave
// about 100 Hz and seeded Gaussian noise of the given deviation.
std::vector<float> KnownResponseDb(std::span<const float> freqs, std::span<const KnownSingularity> singularities,
                                   double tiltDbPerOctave = 0, double noiseDb = 0, uint32_t seed = 1);

// Log-frequency-weighted RMS deviation (dB) of the levels about their weighted
// mean, over the points from low to high Hz.
double LogWeightedRmsDb(std::span<const float> freqs, std::span<const float> dB, double low, double high);
// The same about the straight line in log frequency that best fits the levels
// there: a tilt is no deviation.
double LogWeightedLineRmsDb(std::span<const float> freqs, std::span<const float> dB, double low, double high);
// The log-weighted RMS of the levels about 0 dB: the deviation from a target
// the levels are already taken relative to.
double LogWeightedZeroRmsDb(std::span<const float> freqs, std::span<const float> dB, double low, double high);
// The response after correction by the set: every entry divided out.
std::vector<float> CorrectedResponseDb(std::span<const float> freqs, std::span<const float> dB,
                                       const SingularityListRecord& set);

// The set as the applied list would set it on equaliser `code`: each entry
// held to the new-filter dialog's 20 dB and snapped to the equaliser's steps
// (codes without steps leave it as it is), and boosts held to maxBoostDb when
// it is not negative (an entry the limit leaves nothing keeps no level).
SingularityListRecord SnapEachToEqualiser(const SingularityListRecord& set, int32_t code, double maxBoostDb = -1);
// The same with the set's change outside its range and its net boost held
// (when maxBoostDb is not negative) first: the set a limited fit is judged as.
SingularityListRecord SnapSetToEqualiser(const SingularityListRecord& set, int32_t code, double maxBoostDb = -1);

// Removes entry i (0-based), the later ones moving up; nothing for an index outside the set.
void RemoveEntry(SingularityListRecord& set, int32_t i);

// How a set's corrected response is judged: about a free straight line, or,
// with a target (the levels then taken relative to it), about 0 dB; and the
// boost limit its snapping keeps.
struct FitJudging {
  bool Anchored = false;
  double MaxBoostDb = -1;
};
double JudgedRmsDb(std::span<const float> freqs, std::span<const float> dB, double low, double high,
                   const FitJudging& judging);

// A fitted set never makes the fitted curve worse: while removing one entry
// does not raise the log-weighted RMS deviation about a straight line of the curve
// (dB) corrected by the set over the set's range (snapped to `code`), the entry
// whose removal leaves it lowest goes; then, while the set still leaves the curve
// worse than no correction, the entry whose removal does least harm goes.
// Returns the number removed.
int32_t RemoveWorseningEntries(SingularityListRecord& set, std::span<const float> freqs, std::span<const float> dB,
                               int32_t code, const FitJudging& judging = {});

// Holds the set to `keep` entries: while it has more, the entry whose removal
// raises the judged deviation least goes and `refit` (when set) refits what
// is left. Returns the number removed.
int32_t KeepMostUsefulEntries(SingularityListRecord& set, std::span<const float> freqs, std::span<const float> dB,
                              int32_t code, int32_t keep, const FitJudging& judging,
                              const std::function<void(SingularityListRecord&)>& refit);

// A whole fit of one curve as the fit driver runs it: the search at the set's
// damping, then NumInitialLoops polish passes with the damping rising to 1 and
// one more at 1, entries by frequency, the ineffective ones removed. R's header
// carries the range and constants.
bool FitSetWithDampingRamp(std::span<const float> freqs, std::span<const float> dB, SingularityListRecord& R,
                           FitEngine& engine);

// A set header for fitting the range low..high Hz on the given view (3 gated,
// 6 fractional octave with the given smoothing) with the start-up constants.
SingularityListRecord FitSetHeader(int32_t view, float low, float high, float smoothing = 0);

}  // namespace zentor
