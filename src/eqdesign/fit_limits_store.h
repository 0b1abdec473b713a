// The fit limits as the settings store keeps them, for the windows and the
// command line alike.
#pragma once

#include <optional>
#include <string>

#include "eqdesign/fit/fit_limits.h"

namespace zentor {

// Limits to use in place of the stored ones (the command line's options), for
// every fit, dialog and Apply All until cleared with nullopt.
void OverrideFitLimits(std::optional<FitLimits> limits);

// The limits in force: the override when set, else the stored limits (the defaults where nothing usable is stored). A target
// file that no longer reads leaves a flat target, and its fault in `fault`.
FitLimits LoadFitLimits(std::string* fault = nullptr);

// False when the store could not be written.
bool SaveFitLimits(const FitLimits& limits);

// One line for a report: "Max boost 6 dB, at most 75 filters, target flat at
// the curve's median level".
std::string DescribeFitLimits(const FitLimits& limits);

}  // namespace zentor
