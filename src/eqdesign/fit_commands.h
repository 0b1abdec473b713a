// The main window's fit commands: the fit button and its menu entries, the
// shared entry the graph's right-button drag calls, and the polish command.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/records.h"
#include "eqdesign/fit/fit_engine.h"

namespace zentor {

// The fewest points of a curve within the fit range that a fit can work on.
constexpr int32_t kFitPointsNeeded = 8;

// Why a fit of the curve over low..high Hz cannot start (its message), or ""
// when the range holds enough of its points. gateMs: the gate of the view.
std::string FitRangeMisses(const CurveRecord& curve, double low, double high, double gateMs);

// Sets the main window's fit links and the right-drag's entry.
void InstallFitCommandLinks();

// The fit entry: picks the curves, refuses an Accumulate that does not match the
// stored sets, and fits each chosen curve of the view in order.
void CheckAccumulateSettings(int32_t view, std::array<SingularityListRecord, kFilterSets>& sets);
// Polishes the stored sets of the chosen curves.
void PolishFilters();

void FitFiltersBut_Click();
void FitFilter_Click();
void AddFilter_Click();
void PolishFilter_Click();
void AllCurves_Click();
void QuickFit_Click();

// Threads of the fit's pool (0: one per core), taken when the first fit runs or
// after a change; and the engine of the last command, for its counters.
void SetFitThreads(int32_t threads);
const FitEngine& LastFitEngine();

}  // namespace zentor
