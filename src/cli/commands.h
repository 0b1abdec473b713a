// The subcommands, each a function of its parsed words; each returns the exit
// status or throws UsageError / CommandFailed.
#pragma once

#include <string>

#include "cli/arguments.h"
#include "cli/json.h"
#include "core/filter_record.h"

namespace zentor::cli {

extern const SubcommandSpec kDescribeSpec, kMeasureSpec, kFitSpec, kRoomParametersSpec, kExportFiltersSpec,
    kImportFiltersSpec, kExportCurveSpec;

int Describe(const Arguments& args);
int Measure(const Arguments& args);
int Fit(const Arguments& args);
int RoomParameters(const Arguments& args);
int ExportFilters(const Arguments& args);
int ImportFilters(const Arguments& args);
int ExportCurve(const Arguments& args);

class HeadlessSession;
// The parametric model (1..5) ticked in EQ Options, as a user ticks it.
void ChooseParametricModel(HeadlessSession& session, int32_t code);
// The models by number, for --model's help: "1 DSP 1124P, 2 Bristow-Johnson, ...".
std::string ParametricModelsHelp();

// One filter of an applied list or of the modes, as fit and describe give it:
// code, centre in Hz, level in dB (cuts negative), centre Q and the model's own
// setting text.
Json FilterJson(const FilterRecord& f);
std::string FilterLine(const FilterRecord& f);

// Prints the object on standard output; a value that is not a finite number
// fails the command instead.
void PrintJson(const Json& j);

}  // namespace zentor::cli
