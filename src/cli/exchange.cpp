// `zentor export-filters` and `zentor import-filters`: the applied filters to and
// from the text and WAV files of other equalisers, by the same writers and reader
// as the main window's File > Save / Open "Filters … Other Equalisers…".
#include <cstdio>

#include "base/atomic_file.h"
#include "cli/commands.h"
#include "cli/headless.h"
#include "cli/outputs.h"
#include "core/helpers.h"
#include "core/records.h"
#include "exchange/filter_export.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/filter_exchange.h"
#include "mainwindow/filter_file.h"

namespace zentor::cli {

const SubcommandSpec kExportFiltersSpec{
    "export-filters",
    "IN.EQ --format apo|camilladsp|minidsp|fir|csv --out OUT [OPTIONS]",
    "Writes the filters of an .EQ file for another equaliser: Equalizer APO / REW text, CamillaDSP,\n"
    "miniDSP biquads, a FIR WAV or CSV.",
    {{"--format", "apo|camilladsp|minidsp|fir|csv", "the file to write"},
     {"--out", "OUT", "the file to write"},
     {"--rate", "HZ", "the sample rate of the biquads or FIR (8000 to 384000, default 48000)"},
     {"--taps", "N", "fir: length in samples (4096 to 262144, default 65536)"},
     {"--channels", "0,1", "camilladsp: the channels the filters run on"},
     {"--biquads", "N", "minidsp: sections in the file (1 to 75, default 10)"},
     {"--force", "", "replace an existing OUT"},
     {"--json", "", "one JSON object on standard output"},
     {"--help", "", "this text"}},
    1,
    1};

const SubcommandSpec kImportFiltersSpec{
    "import-filters",
    "IN.txt --eq OUT.EQ [--model 1..5]",
    "Reads Equalizer APO / REW filter text into an .EQ file, snapped to the model's steps.\n"
    "Only peaking (PK) filters are read; a file with another type is refused: remove those filters.",
    {{"--eq", "OUT.EQ", "the filter file to write"},
     {"--model", "1..5", "the parametric equaliser model (default the program's):\n" + ParametricModelsHelp()},
     {"--force", "", "replace an existing OUT.EQ"},
     {"--help", "", "this text"}},
    1,
    1};

int ExportFilters(const Arguments& args) {
  FilterExportOptions options;
  const std::string format = args.Choice("--format", {"apo", "camilladsp", "minidsp", "fir", "csv"}, "");
  if (format.empty()) throw UsageError("--format is needed: apo, camilladsp, minidsp, fir or csv");
  ParseFilterFormat(format, options.format);
  if (!args.Has("--out")) throw UsageError("--out OUT is needed");
  options.rateHz = args.Whole("--rate", kExportRateLowest, kExportRateHighest, kExportRateDefault);
  options.taps = args.Whole("--taps", kFirTapsLowest, kFirTapsHighest, kFirTapsDefault);
  options.biquads = args.Whole("--biquads", kBiquadsLowest, kBiquadsHighest, kBiquadsDefault);
  if (args.Has("--channels")) {
    std::string why;
    if (!ParseChannelList(args.Text("--channels"), options.channels, why)) throw UsageError("--channels: " + why);
  }
  const std::string in = args.positional[0];
  const std::string out = Outputs::Named("--out", args.Text("--out"), std::string(FilterFormatExtension(options.format)));
  Outputs outputs(args.Has("--force"), {in});
  outputs.Check({out});

  HeadlessSession session(true);
  if (!LoadEQFile(in)) throw CommandFailed("");
  options.source = in;
  const FilterExport made = zentor::ExportFilters(AppliedFilters, options);
  if (!made.ok()) throw CommandFailed(made.error);
  if (!WriteWholeFileAtomic(out, made.bytes))
    throw CommandFailed("The filters could not be written to " + out + ". Any file there is unchanged.");
  const bool json = args.Has("--json");
  // A unit's gain is not in its biquad file: say it where the user reads it.
  if (options.format == FilterFormat::MiniDsp)
    std::fprintf(json ? stderr : stdout, "%s\n", PreampText(made.preamp_db).c_str());
  if (json) {
    const std::string text = ExportSummaryJson(made, options);
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (text.empty() || text.back() != '\n') std::fputc('\n', stdout);
  }
  outputs.Keep();
  return 0;
}

int ImportFilters(const Arguments& args) {
  if (!args.Has("--eq")) throw UsageError("--eq OUT.EQ is needed");
  const int32_t model = args.Whole("--model", 1, 5, 0);
  const std::string eq = Outputs::Named("--eq", args.Text("--eq"), "EQ");
  Outputs outputs(args.Has("--force"), {args.positional[0]});
  outputs.Check({eq});

  HeadlessSession session(true);
  session.Dialogs().MayReplace(outputs.Paths());
  DataPlotter& main = session.Main();
  if (model != 0) ChooseParametricModel(session, model);
  session.Dialogs().QueueFile(args.positional[0]);
  OpenFiltersFromOtherEqualisers();
  if (main.EQResultsTakenButNotSaved == 0) throw CommandFailed("");
  session.Dialogs().QueueFile(eq);
  if (!main.SaveEQModel_Click()) throw CommandFailed("");
  outputs.Keep();
  return 0;
}

}  // namespace zentor::cli
