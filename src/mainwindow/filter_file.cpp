#include "mainwindow/filter_file.h"

#include <QString>
#include <algorithm>
#include <cmath>

#include "base/text_number.h"
#include "core/helpers.h"
#include "core/records.h"
#include "core/results_store.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/main_window_links.h"
#include "platform/dialogs.h"
#include "platform/forms.h"

namespace zentor {

namespace {

constexpr const char* kEQFilter = "Zentor EQ files (*.EQ)|*.EQ";
constexpr int32_t kLowestEmulationCode = 1;
constexpr int32_t kHighestEmulationCode = 5;

bool ValidCode(int32_t c) { return c >= kLowestEmulationCode && c <= kHighestEmulationCode; }

}  // namespace

void WriteFilterRecord(BinaryWriter& w, const FilterRecord& f) {
  w.Long(f.Count);
  w.Long(f.Curve);
  w.Long(f.Average);
  w.Single(f.MaxDecay);
  w.Single(f.QMinimum);
  w.Single(f.RangeLow);
  w.Single(f.RangeHigh);
  w.Single(f.SecondaryPolishWidth);
  w.Long(f.NumInitialLoops);
  w.Single(f.Damping);
  w.Long(f.LoudspeakerOrder);
  w.Long(f.ModeCode);
  w.Single(f.SchroederFreq);
  w.Long(f.Kind);
  w.Long(f.SelectCode);
  w.Long(f.Graphshown);
  w.Single(f.Smoothing);
  w.Single(f.Gatetime);
  w.Single(f.Freq1);
  w.Single(f.Q1);
  w.Single(f.Q2);
  w.Single(f.FitError);
  w.Long(f.Unused22);
  w.Long(f.Unused23);
  w.Long(f.EQEmulationCode);
}

bool ReadFilterRecord(BinaryReader& r, FilterRecord& f) {
  r.Long(f.Count);
  r.Long(f.Curve);
  r.Long(f.Average);
  r.Single(f.MaxDecay);
  r.Single(f.QMinimum);
  r.Single(f.RangeLow);
  r.Single(f.RangeHigh);
  r.Single(f.SecondaryPolishWidth);
  r.Long(f.NumInitialLoops);
  r.Single(f.Damping);
  r.Long(f.LoudspeakerOrder);
  r.Long(f.ModeCode);
  r.Single(f.SchroederFreq);
  r.Long(f.Kind);
  r.Long(f.SelectCode);
  r.Long(f.Graphshown);
  r.Single(f.Smoothing);
  r.Single(f.Gatetime);
  r.Single(f.Freq1);
  r.Single(f.Q1);
  r.Single(f.Q2);
  r.Single(f.FitError);
  r.Long(f.Unused22);
  r.Long(f.Unused23);
  r.Long(f.EQEmulationCode);
  return r.ok();
}

bool ParseEQFile(std::span<const uint8_t> bytes, FilterSetImage& image, std::string* why) {
  BinaryReader r(bytes);
  const auto refuse = [&](std::string reason) {
    if (why) *why = r.ok() ? std::move(reason) : "cut short at byte " + std::to_string(bytes.size());
    return false;
  };
  int32_t n = 0;
  r.Long(n);
  r.Long(image.ParametricCode);
  r.Long(image.GraphicCode);
  if (!r.ok()) return refuse("");
  if (n < 0 || n > kMaxFilters)
    return refuse("the count of filters " + std::to_string(n) + " is out of range (0 to " + std::to_string(kMaxFilters) + ")");
  if (!ValidCode(image.ParametricCode) || !ValidCode(image.GraphicCode)) return refuse("not a Zentor filter file");
  image.Filters.assign(static_cast<size_t>(n), FilterRecord{});
  for (size_t k = 0; k < image.Filters.size(); ++k) {
    FilterRecord& f = image.Filters[k];
    if (!ReadFilterRecord(r, f)) return refuse("");
    const std::string filter = "filter " + std::to_string(k + 1);
    if (!ValidCode(f.EQEmulationCode)) return refuse(filter + " names no equaliser model");
    if (!std::isfinite(f.Freq1) || !std::isfinite(f.Q1) || !std::isfinite(f.Q2))
      return refuse(filter + " holds a value that is not a number");
    // A filter has no level without Q1 and a positive Q2: the applied list could not show it.
    if (f.Q1 == 0 || !(f.Q2 > 0)) return refuse(filter + " has no level");
    if (!(f.Freq1 > 0) || f.Freq1 > kLargestFilterFreq1) return refuse(filter + " has a centre outside 0 to 100000 Hz");
    // |Q1| below Q2 would turn a boost into a cut and back.
    const double level = 20 * std::log10(std::fabs(double(f.Q1)) / f.Q2);
    if (level < -kLevelSlackDb || level > kLargestFilterLevelDb)
      return refuse(filter + " has a level of " + FormatDouble(std::round((f.Q1 < 0 ? level : -level) * 100) / 100) +
                    " dB, which no equaliser holds");
  }
  // The count in record 0 is the one the program goes by.
  if (n > 0) image.Filters[0].Count = n;
  return true;
}

bool ReadEQFile(const std::string& path, FilterSetImage& image, std::string& why) {
  std::vector<uint8_t> bytes;
  why.clear();
  if (ReadWholeFile(path, bytes, kLargestEQFileBytes, &why) && ParseEQFile(bytes, image, &why)) return true;
  why = path + ": " + why;
  return false;
}

bool BuildEQFile(int32_t parametricCode, int32_t graphicCode, std::vector<uint8_t>& out) {
  const int32_t n = AppliedFilters[0].Count;
  if (n < 0 || n > kMaxFilters) return false;
  BinaryWriter w;
  w.Long(n);
  w.Long(parametricCode);
  w.Long(graphicCode);
  for (int32_t k = 0; k < n; ++k) WriteFilterRecord(w, AppliedFilters[k]);
  out = std::move(w.data());
  return true;
}

bool SaveEQFile(const std::string& path) {
  DataPlotter* p = Forms::Get<DataPlotter>();
  std::vector<uint8_t> bytes;
  if (!BuildEQFile(p->GetParametricEQEmulation(), p->GetGraphicEQEmulation(), bytes) ||
      !WriteWholeFileAtomic(path, bytes)) {
    MsgBox("EQ File Save Error 3942");
    return false;
  }
  return true;
}

bool LoadEQFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  FilterSetImage image;
  if (std::string why; !ReadEQFile(path, image, why)) {
    MsgBox("EQ File Error 4329: " + why);
    return false;
  }
  AppliedFilters.fill(FilterRecord{});
  std::copy(image.Filters.begin(), image.Filters.end(), AppliedFilters.begin());
  DataPlotter* p = Forms::Get<DataPlotter>();
  p->SetParametricEmulation(image.ParametricCode);
  p->SetGraphicEmulation(image.GraphicCode);
  return true;
}

std::string FiltersKeptMessage(const std::string& path) {
  return "Error 8733: " + path + " was not opened; the filters in memory are kept";
}

bool MayReplaceAppliedFilters() {
  return AppliedFilters[0].Count < 1 ||
         MsgBox("EQ Results are in memory, Overwrite ?", MsgButtons::YesNoCancel, MsgIcon::Exclamation, "Zentor.x") ==
             MsgAnswer::Yes;
}

void OpenEQFile() {
  DataPlotter* p = Forms::Get<DataPlotter>();
  if (p->GetBusy()) return;
  if (!MayReplaceAppliedFilters())
    return;
  FileDialogRequest req;
  req.title = "Open Zentor *.EQ File";
  req.filter = kEQFilter;
  const std::optional<std::string> chosen = FileOpenDialog(req);
  if (!chosen || chosen->empty()) return;
  // A file that is refused leaves the applied set as it was: the question gave it up
  // only for a set that could be read.
  if (LoadEQFile(*chosen)) {
    EQFileName = *chosen;
    // A file's set is the user's: kept as it is, with a word when it boosts past the limit.
    if (MainWindowHooks.AppliedSetOverLimitNote) {
      const std::string note = MainWindowHooks.AppliedSetOverLimitNote();
      if (!note.empty()) MsgBox(note);
    }
  } else {
    MsgBox(FiltersKeptMessage(*chosen));
  }
  p->RefreshAppliedFiltersList();
}

bool DataPlotter::SaveEQModel_Click() {
  FileDialogRequest req;
  req.title = "Save *.EQ File";
  req.filter = kEQFilter;
  req.fileName = EQFileName;
  const std::optional<std::string> chosen = FileSaveDialog(req);
  if (!chosen || chosen->empty()) return false;
  const std::optional<std::string> name = SaveFileNameOrSay(*chosen, "EQ");
  if (!name) return false;
  EQFileName = *name;
  if (!MayReplaceFile(EQFileName, EQFileName + " Already Exists, Overwrite ?", MsgButtons::YesNoCancel,
                      "Mirabelt Zentor"))
    return false;
  if (!SaveEQFile(EQFileName)) return false;
  setWindowTitle(QString::fromStdString(EQFileName));
  EQResultsTakenButNotSaved = kFalse;
  return true;
}

}  // namespace zentor
