// What a fit may do beyond finding the singularities: how much a filter may
// boost, how many filters it may leave, and the curve the response is corrected
// towards, anchored at the measured level. A default-constructed FitLimits sets
// none of them, which is the fit as it always was: deviations about the
// response's own mean. Qt-free.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/records.h"
#include "core/set_peak.h"

namespace zentor {

struct FitTarget {
  enum class Shape : int32_t { None = 0, Flat = 1, BassLift = 2, File = 3 };
  Shape Kind = Shape::None;
  double LiftDb = 0;     // bass lift below the corner: 0 to 12 dB
  double CornerHz = 100;  // 40 to 300 Hz
  std::vector<double> Hz, Db;  // a target file's points, frequencies rising
  std::string FileName;

  bool Set() const { return Kind != Shape::None; }
  // The shape at f Hz in dB, before anchoring.
  double ShapeDb(double hz) const;
};

// Where the target sits: the median of the curve less the target's shape over
// the fit range, a level given in dB, or that median over a band of its own.
enum class TargetLevelMode : int32_t { Median = 0, Level = 1, Band = 2 };

struct FitLimits {
  double MaxBoostDb = -1;  // below 0: no limit; 0: cuts only
  int32_t MaxFilters = kMaxFilters;
  FitTarget Target;
  TargetLevelMode LevelMode = TargetLevelMode::Median;
  double LevelDb = 0;
  double BandLowHz = 20, BandHighHz = 200;

  bool BoostLimited() const { return MaxBoostDb >= 0; }
};

// What the windows and the command line start from: 6 dB, 75 filters, flat.
FitLimits DefaultFitLimits();

// Values outside the dialog's ranges brought within them.
FitLimits ClampFitLimits(FitLimits limits);

// Reads a target file's text: "frequency dB" a line, blank lines and lines led
// by *, #, ; or " skipped. On a fault returns its message naming the line, and
// hz and db stay as they were.
std::string ParseTargetText(std::string_view text, std::vector<double>& hz, std::vector<double>& db);

// The same from a file; the target's points and name change only when it reads.
std::string LoadTargetFile(const std::string& path, FitTarget& target);

// The target's level (dB) for a curve of `count` points over low..high Hz.
double TargetLevelDb(const FitLimits& limits, std::span<const float> hz, std::span<const float> dB, double low,
                     double high);

// The anchored target at each of the curve's points (empty when none is set).
std::vector<float> AnchoredTargetDb(const FitLimits& limits, std::span<const float> hz, std::span<const float> dB,
                                    double low, double high);

// The centre Q a parametric equaliser takes: √(|Q1|·Q2).
double CentreQ(float Q1, float Q2);

// A filter's level in dB, positive for a boost (Q1 < 0).
double FilterBoostDb(float Q1, float Q2);

// Holds a filter to 20 dB and to maxBoostDb (when not negative) and snaps it to
// equaliser `code`'s steps; a boost whose snapped level rounds up past the
// limit is snapped again from a lower level. False when a limit of 0 leaves a
// boost nothing to do.
bool SnapWithinLimits(int32_t code, float& Freq, float& Q1, float& Q2, double maxBoostDb);

// The refusal of a filter boosting boostDb, more than maxBoostDb, naming the limit.
std::string BoostRefusal(double boostDb, double maxBoostDb);

// How far a set's net boost may pass Max boost before it is refused: as a
// single filter's limit, what rounding to a level step can add is no excess.
inline constexpr double kNetBoostSlackDb = 0.05;

// The refusal of a filter that would take the set's net boost to netDb at hz,
// more than maxBoostDb; `what` leads it ("This filter").
std::string NetBoostRefusal(const std::string& what, double netDb, double hz, double maxBoostDb);

// The note on an applied set (count in element 0) that boosts more than
// maxBoostDb in all: a file's set is kept as it is, with a word. Empty when
// it does not, or no limit is set.
std::string OverLimitNote(std::span<const FilterRecord> applied, double maxBoostDb);

// The highest level of equaliser `code`'s steps that is not above maxBoostDb.
float HighestLevelWithin(int32_t code, double maxBoostDb);

// The level to set before the equaliser so that the set never drives it past
// full scale: minus the set's largest positive response as it runs at rateHz
// (dB to the tenth, 0 when it only cuts).
double PreampDb(std::span<const FilterRecord> filters, int32_t count, int32_t rateHz = kJudgedRateDefault);

// The rate the applied set is judged at: the loaded measurement's, else 48 kHz.
int32_t JudgedRateHz();

}  // namespace zentor
