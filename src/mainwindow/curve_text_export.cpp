#include "mainwindow/curve_text_export.h"

#include <algorithm>
#include <cmath>

#include "base/atomic_file.h"
#include "base/binary_io.h"
#include "base/text_number.h"
#include "core/helpers.h"
#include "core/records.h"
#include "core/work_arrays.h"
#include "display/curve_text.h"
#include "display/dispatcher.h"
#include "display/plain_graph_host.h"
#include "display/time_views.h"
#include "display/view_state.h"
#include "mainwindow/measurement_file.h"
#include "platform/dialogs.h"
#include "platform/forms.h"

namespace zentor {

namespace {

// The gate a view is computed with, in the set's header; null for a view without one.
float* GateOf(MeasurementHeader& h, int32_t view) {
  switch (view) {
    case kBodeView: return &h.FreqRespGateTime;
    case kFractOctView: return &h.FractOctGateTime;
    case kPsycView: return &h.PsycGateTime;
    case kImpulseView: return &h.ImpulseGateTime;
    case kNoiseView: return &h.NoiseGateTime;
    case kModalSliceView: return &h.ModalGateTime;
    default: return nullptr;
  }
}

std::string LowerExtension(const std::string& path) {
  std::string ext = GetFileExtension(path);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

constexpr const char* kFrdTimeRefusal = "User Error: FRD files hold frequency curves. Save a time view as CSV";

// The files of the curves given, by name.
std::vector<std::pair<std::string, std::string>> Files(const std::vector<TextCurve>& curves, int32_t view,
                                                       CurveTextFormat format, const std::string& out,
                                                       const std::string& source) {
  std::vector<std::pair<std::string, std::string>> files;
  if (format == CurveTextFormat::Csv) {
    files.emplace_back(out, CurvesAsCsv(curves, IsTimeView(view)));
    return files;
  }
  const float* gate = GateOf(ResultsDataSetInfo[0], view);
  const auto n = static_cast<int32_t>(curves.size());
  for (int32_t k = 0; k < n; ++k) {
    const TextCurve& c = curves[static_cast<size_t>(k)];
    std::vector<std::string> notes = {"Zentor curve export", "Source: " + source, "View: " + ViewName(view)};
    if (gate) notes.push_back("Gate: " + FormatSingle(*gate) + " ms");
    notes.push_back("Curve: " + c.title);
    notes.push_back(c.phase.empty() ? "frequency Hz, level dB, phase degrees (not in this view: 0)"
                                    : "frequency Hz, level dB, phase degrees");
    files.emplace_back(FrdFileName(out, k, n), CurveAsFrd(c, notes));
  }
  return files;
}

// Every file or none: each is checked before the first is written.
bool WriteAll(const std::vector<std::pair<std::string, std::string>>& files, std::string& failed, std::string& why) {
  std::vector<std::string> names;
  for (const auto& file : files) names.push_back(file.first);
  OutputFiles outputs;
  if (!outputs.Prepare(names, failed, &why)) {
    why = " (" + why + "); nothing was written";
    return false;
  }
  for (const auto& [name, text] : files) {
    if (!WriteWholeFileAtomic(name, text)) {
      failed = name;
      return false;
    }
  }
  outputs.Keep();
  return true;
}

}  // namespace

void ExportCurvesOfViewShown() {
  const int32_t view = DisplayConfig.Graphshown;
  const std::vector<TextCurve> curves = CurvesOfView(view);
  if (curves.empty()) {
    MsgBox("User Error: The graph shows no curves to export");
    return;
  }
  FileDialogRequest req;
  req.fileName = "ZentorCurves.csv";
  req.title = "Save Curves as Text";
  req.filter = "CSV Curve Export (*.csv)|*.csv|FRD Curve Export (*.frd)|*.frd";
  req.defaultExtension = "csv";
  const std::optional<std::string> chosen = FileSaveDialog(req);
  if (!chosen || chosen->empty()) return;
  const std::string ext = LowerExtension(*chosen);
  const CurveTextFormat format = ext == "frd" ? CurveTextFormat::Frd : CurveTextFormat::Csv;
  if (format == CurveTextFormat::Frd && IsTimeView(view)) {
    MsgBox(kFrdTimeRefusal);
    return;
  }
  const std::optional<std::string> named = SaveFileNameOrSay(*chosen, format == CurveTextFormat::Frd ? "frd" : "csv");
  if (!named) return;
  const std::string& name = *named;
  if (!ResultFileName.empty() && SameFile(name, ResultFileName)) {
    MsgBox("User Error: " + name + " is the open measurement file. Save the curves under another name");
    return;
  }
  const std::string source = ResultFileName.empty() ? "measurements not saved" : GetFileNameFromPath(ResultFileName);
  const std::vector<std::pair<std::string, std::string>> files = Files(curves, view, format, name, source);
  // The dialog confirmed one name; the series it becomes is asked about once.
  std::vector<std::string> there;
  for (const auto& file : files)
    if (FileExists(file.first)) there.push_back(file.first);
  if (!there.empty()) {
    const std::string which = there.size() == 1 ? there[0] + " Already Exists"
                                                : std::to_string(there.size()) + " of the files (" + there.front() +
                                                      " to " + there.back() + ") Already Exist";
    if (Dialogs().AskToReplace(there[0], which + ", Overwrite ?", MsgButtons::YesNo, MsgIcon::Exclamation,
                               "Mirabelt Zentor") != MsgAnswer::Yes)
      return;
  }
  std::string failed, why;
  WaitCursor hourglass;
  if (!WriteAll(files, failed, why)) MsgBox("Error 4977: Error writing file " + failed + why);
}

std::string CurveTextFiles(const CurveExportRequest& r, std::vector<std::pair<std::string, std::string>>& files) {
  files.clear();
  const std::optional<int32_t> view = ViewByName(r.view);
  if (!view) return "Unknown view \"" + r.view + "\": use " + std::string(kViewNames);
  if (r.format == CurveTextFormat::Frd && IsTimeView(*view)) return kFrdTimeRefusal;
  if (r.gateMs && !(std::isfinite(*r.gateMs) && *r.gateMs > 0))
    return "User Error: The gate must be a time above 0 ms";

  std::vector<uint8_t> bytes;
  MeasurementSetImage image;
  if (std::string why; !ReadMeasurementSetFile(r.input, bytes, image, why)) return "Error 4927: Error opening file " + why;
  const int32_t n = image.Count();
  if (n < 1) return "User Error: The file holds no measurement";
  if (r.curve < 0 || r.curve > n)
    return "User Error: Curve " + std::to_string(r.curve) + " is not in the file (1 to " + std::to_string(n) + ")";
  ApplyMeasurementSet(image);

  if (r.gateMs)
    for (int32_t i = 0; i < n; ++i) *GateOf(ResultsDataSetInfo[static_cast<size_t>(i)], *view) = *r.gateMs;
  if (*view == kBodeView) {
    const float gate = ResultsDataSetInfo[0].FreqRespGateTime;
    for (int32_t i = 0; i < n; ++i) {
      const MeasurementHeader& h = ResultsDataSetInfo[static_cast<size_t>(i)];
      if (!GateFitsPeriod(gate, h.SampleRate, std::clamp(h.PeriodExponent, 0, kMaxSamplesExponent)))
        return std::string(kGateTooLongForCurveData);
    }
  }
  DisplayConfig.Graphshown = *view;
  DisplayConfig.Average = kFalse;
  // The time views work in the shared arrays, which without a main window are unsized.
  if (WorkCurve.size() < static_cast<size_t>(kWorkArrayPoints)) AllocateWorkArrays(kWorkArrayPoints);
  PlainGraphHost host;
  SetPlotterToUpdate();
  DisplayResults(host, kRecomputeAllCurves);

  std::vector<TextCurve> curves = CurvesOfView(*view);
  if (r.curve > 0) {
    if (static_cast<size_t>(r.curve) > curves.size()) curves.clear();
    else curves = {curves[static_cast<size_t>(r.curve - 1)]};
  }
  if (curves.empty()) return "User Error: The " + ViewName(*view) + " view gave no curve";
  files = Files(curves, *view, r.format, r.output, GetFileNameFromPath(r.input));
  return "";
}

std::string ExportCurveText(const CurveExportRequest& r) {
  std::vector<std::pair<std::string, std::string>> files;
  std::string why = CurveTextFiles(r, files);
  if (!why.empty()) return why;
  std::string failed;
  if (!WriteAll(files, failed, why)) return "Error 4977: Error writing file " + failed + why;
  return "";
}

}  // namespace zentor
