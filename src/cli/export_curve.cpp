// `zentor export-curve`: the curves of a view of a measurement file as CSV or
// FRD text, as Graphics Export > Main > Text Export writes them.
#include "base/atomic_file.h"
#include "cli/commands.h"
#include "cli/headless.h"
#include "cli/outputs.h"
#include "core/helpers.h"
#include "mainwindow/curve_text_export.h"

namespace zentor::cli {

const SubcommandSpec kExportCurveSpec{
    "export-curve",
    "IN.cfa --view VIEW --format csv|frd --out OUT [OPTIONS]",
    "Writes the curves of a view of a measurement file as CSV or FRD text.",
    {{"--view", "bode|fractoct|psyc|impulse|noise|modal", "the view"},
     {"--gate", "MS", "the view's gate time in ms (default the file's)"},
     {"--curve", "N", "one curve (default every curve)"},
     {"--all", "", "every curve"},
     {"--format", "csv|frd", "CSV: one file of every curve; FRD: one file per curve (OUT_1.frd …)"},
     {"--out", "OUT", "the file to write"},
     {"--force", "", "replace existing files"},
     {"--help", "", "this text"}},
    1,
    1};

int ExportCurve(const Arguments& args) {
  CurveExportRequest r;
  r.input = args.positional[0];
  r.view = args.Choice("--view", {"bode", "fractoct", "psyc", "impulse", "noise", "modal"}, "");
  if (r.view.empty()) throw UsageError("--view is needed: bode, fractoct, psyc, impulse, noise or modal");
  const std::string format = args.Choice("--format", {"csv", "frd"}, "");
  if (format.empty()) throw UsageError("--format is needed: csv or frd");
  r.format = format == "csv" ? CurveTextFormat::Csv : CurveTextFormat::Frd;
  if (!args.Has("--out")) throw UsageError("--out OUT is needed");
  r.output = Outputs::Named("--out", args.Text("--out"), format);
  if (args.Has("--curve") && args.Has("--all")) throw UsageError("--curve and --all cannot be given together");
  r.curve = args.Whole("--curve", 1, 32, 0);
  if (args.Has("--gate")) r.gateMs = static_cast<float>(args.Real("--gate", 0.1, 2000, 0));

  HeadlessSession session(false);
  std::vector<std::pair<std::string, std::string>> files;
  if (const std::string why = CurveTextFiles(r, files); !why.empty()) throw CommandFailed(why);
  std::vector<std::string> paths;
  for (const auto& file : files) paths.push_back(file.first);
  Outputs outputs(args.Has("--force"), {r.input});
  outputs.Check(paths);
  for (const auto& [path, text] : files)
    if (!WriteWholeFileAtomic(path, text)) throw CommandFailed("Error 4977: Error writing file " + path);
  outputs.Keep();
  return 0;
}

}  // namespace zentor::cli
