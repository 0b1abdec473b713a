#include "mainwindow/measurement_file.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/helpers.h"
#include "core/results_store.h"
#include "base/shared_state.h"
#include "mainwindow/data_plotter.h"
#include "platform/dialogs.h"
#include "platform/forms.h"

namespace zentor {

UserNotesBlockRecord UserNotesBlock{};
std::string InitialOpenFolder;
ExtDisplayLinks ExtDisplayHooks;
FileCommandLinks FileCommandHooks;

namespace {

SharedStateRegistrar g_reset([] {
  UserNotesBlock = UserNotesBlockRecord{};
  InitialOpenFolder.clear();
  ExtDisplayHooks = ExtDisplayLinks{};
  FileCommandHooks = FileCommandLinks{};
});

constexpr const char* kCfaFilter = "CFA files (*.cfa)|*.cfa";
constexpr const char* kOpenCfaTitle = "Open *.cfa File";
constexpr const char* kQuestionTitle = "Mirabelt Zentor";
constexpr const char* kOpenQuestionTitle = "Zentor.x";
constexpr int32_t kLowestPeriodExponent = 10;
constexpr int32_t kHighestPeriodExponent = 20;

DataPlotter* Plotter() { return Forms::Get<DataPlotter>(); }

int32_t StoredSamples(int32_t periodExponent) {
  return 1 << std::clamp<int32_t>(periodExponent, 0, kMaxSamplesExponent);
}

bool UsableScale(float m) { return std::isfinite(m) && m != 0.0f; }

// Grid counts are indexes of the last used table entry (-1: none); the two
// unused ones may also hold the table size.
bool GridCountsValid(const GraphFrame& f) {
  auto within = [](int32_t v, int32_t hi) { return v >= -1 && v <= hi; };
  return within(f.YLabelCount, kGridTableSize - 1) && within(f.YLineCount, kGridTableSize - 1) &&
         within(f.GridCount0, kGridTableSize) && within(f.GridCount2, kGridTableSize);
}

bool SameCalibration(const MicCalTable& a, const MicCalTable& b) {
  if (a.Count != b.Count) return false;
  auto same = [](float x, float y) { return x == y || (std::isnan(x) && std::isnan(y)); };
  for (int32_t k = 0; k < a.Count; ++k)
    if (!same(a.Freq[k], b.Freq[k]) || !same(a.Level[k], b.Level[k])) return false;
  return true;
}

}  // namespace

// ---- Record codecs -----------------------------------------------------------

void WriteMeasurementHeader(BinaryWriter& w, const MeasurementHeader& h) {
  w.Long(h.NumInSet);
  w.Double(h.ReservedDouble1);
  w.Double(h.ModalSliceMaxFreq);
  w.Double(h.ReservedDouble3);
  w.Double(h.ReservedDouble4);
  w.Long(h.SampleRate);
  w.Long(h.PeriodExponent);
  w.Long(h.PreExcitationExponent);
  w.Long(h.MeasConfig);
  w.Single(h.RunStatus);
  w.Long(h.ReservedLong1);
  w.Double(h.ReservedDouble5);
  w.Single(h.ReservedSingle1);
  w.Single(h.ReservedSingle2);
  w.Integer(h.MainRunFlag);
  w.Integer(h.PsdRunFlag);
  w.Integer(h.ReservedInteger1);
  w.Integer(h.ReservedInteger2);
  w.Integer(h.ReservedInteger3);
  w.Long(h.LevelsPeriodExponent);
  w.Long(h.LevelsPreExcitationExponent);
  w.Long(h.PsdPeriodExponent);
  w.Long(h.ImpulseShift);
  w.Single(h.PeakLevel);
  w.Single(h.SignalEnergy);
  w.Single(h.NoiseEnergy);
  w.Single(h.ImpulseGateTime);
  w.Single(h.FractOctGateTime);
  w.Single(h.FreqRespGateTime);
  w.Single(h.ModalGateTime);
  w.Single(h.NoiseGateTime);
  w.Single(h.PsycLFResolution);
  w.Single(h.PsycGateTime);
  w.Single(h.PsycShelfTime);
  w.Single(h.PsycShelfLevel);
  w.Long(h.PsycDataPoints);
  w.Single(h.FractOctRes);
  w.Long(h.FractOctPoints);
  w.Long(h.ReservedWord1);
  w.Long(h.ReservedWord2);
  w.Single(h.MeasuredDistance);
  w.Integer(h.AutoRange);
  w.Single(h.LevelMultiplier);
  w.Single(h.AlignmentShift);
  w.Single(h.MicSpeakerDistance);
  w.Single(h.CrossoverFrequency);
  w.Long(h.ReservedWord3);
}

bool ReadMeasurementHeader(BinaryReader& r, MeasurementHeader& h) {
  r.Long(h.NumInSet);
  r.Double(h.ReservedDouble1);
  r.Double(h.ModalSliceMaxFreq);
  r.Double(h.ReservedDouble3);
  r.Double(h.ReservedDouble4);
  r.Long(h.SampleRate);
  r.Long(h.PeriodExponent);
  r.Long(h.PreExcitationExponent);
  r.Long(h.MeasConfig);
  r.Single(h.RunStatus);
  r.Long(h.ReservedLong1);
  r.Double(h.ReservedDouble5);
  r.Single(h.ReservedSingle1);
  r.Single(h.ReservedSingle2);
  r.Integer(h.MainRunFlag);
  r.Integer(h.PsdRunFlag);
  r.Integer(h.ReservedInteger1);
  r.Integer(h.ReservedInteger2);
  r.Integer(h.ReservedInteger3);
  r.Long(h.LevelsPeriodExponent);
  r.Long(h.LevelsPreExcitationExponent);
  r.Long(h.PsdPeriodExponent);
  r.Long(h.ImpulseShift);
  r.Single(h.PeakLevel);
  r.Single(h.SignalEnergy);
  r.Single(h.NoiseEnergy);
  r.Single(h.ImpulseGateTime);
  r.Single(h.FractOctGateTime);
  r.Single(h.FreqRespGateTime);
  r.Single(h.ModalGateTime);
  r.Single(h.NoiseGateTime);
  r.Single(h.PsycLFResolution);
  r.Single(h.PsycGateTime);
  r.Single(h.PsycShelfTime);
  r.Single(h.PsycShelfLevel);
  r.Long(h.PsycDataPoints);
  r.Single(h.FractOctRes);
  r.Long(h.FractOctPoints);
  r.Long(h.ReservedWord1);
  r.Long(h.ReservedWord2);
  r.Single(h.MeasuredDistance);
  r.Integer(h.AutoRange);
  r.Single(h.LevelMultiplier);
  r.Single(h.AlignmentShift);
  r.Single(h.MicSpeakerDistance);
  r.Single(h.CrossoverFrequency);
  r.Long(h.ReservedWord3);
  return r.ok();
}

void WriteGraphFrame(BinaryWriter& w, const GraphFrame& f) {
  w.Integer(f.LogX);
  w.Longs(f.GridTable0);
  w.Longs(f.YLabelValues);
  w.Longs(f.GridTable2);
  w.Longs(f.YLineValues);
  for (int32_t v : {f.GridCount0, f.YLabelCount, f.GridCount2, f.YLineCount, f.XStart, f.XFinish, f.YLow, f.YHigh})
    w.Long(v);
  w.String(f.XTitle);
  w.String(f.YTitle);
  w.String(f.GraphCaption);
  for (double v : {f.XScale, f.YScale, f.XOffset, f.YOffset}) w.Double(v);
  for (int32_t v : {f.PlotLeft, f.PlotRight, f.PlotBottom, f.PlotTop}) w.Long(v);
  w.Bytes(f.TrailingBlock);
}

bool ReadGraphFrame(BinaryReader& r, GraphFrame& f) {
  r.Integer(f.LogX);
  r.Longs(f.GridTable0);
  r.Longs(f.YLabelValues);
  r.Longs(f.GridTable2);
  r.Longs(f.YLineValues);
  for (int32_t* v : {&f.GridCount0, &f.YLabelCount, &f.GridCount2, &f.YLineCount, &f.XStart, &f.XFinish, &f.YLow,
                     &f.YHigh})
    r.Long(*v);
  r.String(f.XTitle);
  r.String(f.YTitle);
  r.String(f.GraphCaption);
  for (double* v : {&f.XScale, &f.YScale, &f.XOffset, &f.YOffset}) r.Double(*v);
  for (int32_t* v : {&f.PlotLeft, &f.PlotRight, &f.PlotBottom, &f.PlotTop}) r.Long(*v);
  r.Bytes(f.TrailingBlock);
  return r.ok();
}

void WriteDisplayConfig(BinaryWriter& w, const DisplayConfigRecord& d) {
  w.Bytes(d.Reserved0);
  w.Integer(d.Average);
  w.Integer(d.Reserved12);
  w.Integer(d.FFTSelected);
  w.Integer(d.FractOctSelected);
  w.Integer(d.PsycSelected);
  w.Long(d.Graphshown);
  w.Long(d.ShowFractOctInSingleView);
  w.Long(d.ShowPsycInSingleView);
  w.Long(d.ShowBodeInSingleView);
}

bool ReadDisplayConfig(BinaryReader& r, DisplayConfigRecord& d) {
  r.Bytes(d.Reserved0);
  r.Integer(d.Average);
  r.Integer(d.Reserved12);
  r.Integer(d.FFTSelected);
  r.Integer(d.FractOctSelected);
  r.Integer(d.PsycSelected);
  r.Long(d.Graphshown);
  r.Long(d.ShowFractOctInSingleView);
  r.Long(d.ShowPsycInSingleView);
  r.Long(d.ShowBodeInSingleView);
  return r.ok();
}

void WriteImpulseDisplayConfig(BinaryWriter& w, const ImpulseDisplayConfigRecord& d) {
  w.Single(d.UpperCutoffFreq);
  w.Single(d.LowerCutoffFreq);
  w.Long(d.Order);
  w.Integer(d.FilterOn);
  w.Integer(d.ShowETC);
  for (double v : {d.ETCMinLow, d.ETCMinHigh, d.ETCMidLow, d.ETCMidHigh, d.ETCHighLow, d.ETCHighHigh}) w.Double(v);
  w.Integer(d.ApplyLowETC);
  w.Integer(d.ApplyMidETC);
  w.Integer(d.ApplyHighETC);
  w.Single(d.ETCDRTime);
  w.Single(d.ETCDRPlusRev);
}

bool ReadImpulseDisplayConfig(BinaryReader& r, ImpulseDisplayConfigRecord& d) {
  r.Single(d.UpperCutoffFreq);
  r.Single(d.LowerCutoffFreq);
  r.Long(d.Order);
  r.Integer(d.FilterOn);
  r.Integer(d.ShowETC);
  for (double* v : {&d.ETCMinLow, &d.ETCMinHigh, &d.ETCMidLow, &d.ETCMidHigh, &d.ETCHighLow, &d.ETCHighHigh})
    r.Double(*v);
  r.Integer(d.ApplyLowETC);
  r.Integer(d.ApplyMidETC);
  r.Integer(d.ApplyHighETC);
  r.Single(d.ETCDRTime);
  r.Single(d.ETCDRPlusRev);
  return r.ok();
}

void WriteMicCalTable(BinaryWriter& w, const MicCalTable& t) {
  w.Long(t.Count);
  w.Singles(t.Freq);
  w.Singles(t.Level);
  w.String(t.FileName);
}

bool ReadMicCalTable(BinaryReader& r, MicCalTable& t) {
  r.Long(t.Count);
  r.Singles(t.Freq);
  r.Singles(t.Level);
  r.String(t.FileName);
  return r.ok();
}

void WriteUserNotesBlock(BinaryWriter& w, const UserNotesBlockRecord& b) {
  w.Long(b.NotesLength);
  w.Integers(b.NotesCodes);
  w.Integers(b.MicCalNotesCodes);
  w.Long(b.MicCalNotesLength);
}

bool ReadUserNotesBlock(BinaryReader& r, UserNotesBlockRecord& b) {
  r.Long(b.NotesLength);
  r.Integers(b.NotesCodes);
  r.Integers(b.MicCalNotesCodes);
  r.Long(b.MicCalNotesLength);
  return r.ok();
}

// ---- Whole file --------------------------------------------------------------

float MeasurementSetImage::StoredSample(int32_t i, int32_t j) const {
  float v;
  const size_t at = (static_cast<size_t>(i) * static_cast<size_t>(SamplesPerResult) + static_cast<size_t>(j)) * 4;
  std::memcpy(&v, Samples.data() + at, 4);
  return v;
}

bool ParseMeasurementFile(std::span<const uint8_t> bytes, MeasurementSetImage& m, bool headerOnly, std::string* why) {
  BinaryReader r(bytes);
  const auto refuse = [&](std::string reason) {
    if (why) *why = r.ok() ? std::move(reason) : "cut short at byte " + std::to_string(bytes.size());
    return false;
  };
  const auto count = [&](const char* what, int64_t n, int64_t lo, int64_t hi) {
    return refuse(std::string("the ") + what + " " + std::to_string(n) + " is out of range (" + std::to_string(lo) +
                  " to " + std::to_string(hi) + ")");
  };
  const std::string notOurs = "not a Zentor measurement set";
  r.Long(m.SamplesPerResult);
  r.Integers(m.ButtonValues);
  if (!r.ok()) return refuse("");
  if (m.SamplesPerResult < 1 || m.SamplesPerResult > kMaxSamples)
    return count("samples per result", m.SamplesPerResult, 1, kMaxSamples);
  if (!ReadGraphFrame(r, m.TimeFrame) || !ReadGraphFrame(r, m.FreqFrame)) return refuse(notOurs);
  if (!GridCountsValid(m.TimeFrame) || !GridCountsValid(m.FreqFrame)) return refuse(notOurs);
  if (!ReadDisplayConfig(r, m.Display) || !ReadImpulseDisplayConfig(r, m.ImpulseDisplay)) return refuse(notOurs);
  if (m.Display.Graphshown < 0 || m.Display.Graphshown > 7) return refuse(notOurs);

  m.Headers.assign(1, MeasurementHeader{});
  if (!ReadMeasurementHeader(r, m.Headers[0])) return refuse(notOurs);
  const int32_t n = m.Headers[0].NumInSet;
  if (n < 0 || n > kMaxResults) return count("count of results", n, 0, kMaxResults);
  if (headerOnly) return true;

  m.Headers.resize(static_cast<size_t>(std::max(n, 1)));
  for (int32_t i = 1; i < n; ++i)
    if (!ReadMeasurementHeader(r, m.Headers[static_cast<size_t>(i)])) return refuse(notOurs);
  for (int32_t i = 0; i < n; ++i) {
    const MeasurementHeader& h = m.Headers[static_cast<size_t>(i)];
    if (!UsableScale(h.LevelMultiplier)) return refuse("result " + std::to_string(i + 1) + " has no usable level scale");
    if (h.PeriodExponent < kLowestPeriodExponent || h.PeriodExponent > kHighestPeriodExponent)
      return count("period exponent", h.PeriodExponent, kLowestPeriodExponent, kHighestPeriodExponent);
  }

  const size_t sampleBytes = static_cast<size_t>(m.SamplesPerResult) * static_cast<size_t>(n) * 4;
  if (sampleBytes > r.remaining()) return refuse("cut short at byte " + std::to_string(bytes.size()));
  m.Samples = bytes.subspan(r.position(), sampleBytes);
  r.Skip(sampleBytes);

  if (!ReadMicCalTable(r, m.Cal)) return refuse(notOurs);
  if (m.Cal.Count < 0 || m.Cal.Count > kMaxMicCalPoints)
    return count("count of calibration points", m.Cal.Count, 0, kMaxMicCalPoints);
  if (!ReadUserNotesBlock(r, m.Notes)) return refuse(notOurs);
  if (m.Notes.NotesLength < 0 || m.Notes.NotesLength > kMaxNotesLength)
    return count("length of the notes", m.Notes.NotesLength, 0, kMaxNotesLength);
  if (m.Notes.MicCalNotesLength < 0) return refuse(notOurs);
  return true;
}

bool ReadMeasurementSetFile(const std::string& path, std::vector<uint8_t>& bytes, MeasurementSetImage& m,
                            std::string& why, bool headerOnly) {
  why.clear();
  if (ReadWholeFile(path, bytes, kLargestMeasurementFileBytes, &why) && ParseMeasurementFile(bytes, m, headerOnly, &why))
    return true;
  why = path + ": " + why;
  return false;
}

std::vector<uint8_t> BuildMeasurementFile(const std::array<int16_t, 4>& buttonValues) {
  MeasurementHeader& first = ResultsDataSetInfo[0];
  const int32_t n = std::clamp<int32_t>(first.NumInSet, 0, kMaxResults);
  const int32_t s = StoredSamples(first.PeriodExponent);
  for (int32_t i = 1; i < n; ++i) {
    ResultsDataSetInfo[i].PeriodExponent = first.PeriodExponent;
    ResultsDataSetInfo[i].PreExcitationExponent = first.PreExcitationExponent;
  }

  BinaryWriter w;
  w.data().reserve(2 * kGraphFrameFixedBytes + 1024 + static_cast<size_t>(n) * (kMeasurementHeaderFileBytes + 4 * s) +
                   kMicCalTableFixedBytes + kUserNotesBlockBytes + 1024);
  w.Long(s);
  w.Integers(buttonValues);
  WriteGraphFrame(w, TimeGraphFrame);
  WriteGraphFrame(w, FreqGraphFrame);
  WriteDisplayConfig(w, DisplayConfig);
  WriteImpulseDisplayConfig(w, ImpulseDisplayConfig);
  // Header 0 goes out even for an empty set: it carries the count.
  for (int32_t i = 0; i < std::max(n, 1); ++i) {
    MeasurementHeader h = ResultsDataSetInfo[i];
    // An unusable scale would store silence, or a file that cannot be read back.
    if (i < n && !UsableScale(h.LevelMultiplier)) h.LevelMultiplier = 1.0f;
    WriteMeasurementHeader(w, h);
  }

  std::vector<uint8_t>& out = w.data();
  std::vector<float> scaled(static_cast<size_t>(s));
  for (int32_t i = 0; i < n; ++i) {
    const float m = ResultsDataSetInfo[i].LevelMultiplier;
    const float scale = UsableScale(m) ? m : 1.0f;
    const float* col = ImpulseSet[i].data();
    for (int32_t j = 0; j < s; ++j) scaled[static_cast<size_t>(j)] = col[j] * scale;
    const size_t at = out.size();
    out.resize(at + scaled.size() * 4);
    std::memcpy(out.data() + at, scaled.data(), scaled.size() * 4);
  }

  WriteMicCalTable(w, ActiveMicCal);
  WriteUserNotesBlock(w, UserNotesBlock);
  return std::move(w.data());
}

bool WriteMeasurementFile(const std::string& path) {
  const std::vector<uint8_t> bytes = BuildMeasurementFile(Plotter()->GetViewButtonValues());
  if (!WriteWholeFileAtomic(path, bytes)) {
    MsgBox("Error 8567");
    return false;
  }
  return true;
}

bool LoadMeasurementFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  MeasurementSetImage m;
  if (std::string why; !ReadMeasurementSetFile(path, bytes, m, why)) {
    MsgBox("Error 4927: Error opening file " + why);
    return false;
  }
  // The whole file is good: apply it.
  ApplyMeasurementSet(m);
  DataPlotter* p = Plotter();
  p->SetAverageBox(DisplayConfig.Average != 0);
  p->setWindowTitle(QString::fromStdString("Mirabelt Zentor / " + path));
  return true;
}

void ApplyMeasurementSet(const MeasurementSetImage& m) {
  const int32_t n = m.Count();
  const int32_t s = m.SamplesPerResult;
  ActiveMicCal = m.Cal;
  SeedLastReadMicCal();
  TimeGraphFrame = m.TimeFrame;
  FreqGraphFrame = m.FreqFrame;
  DisplayConfig = m.Display;
  ImpulseDisplayConfig = m.ImpulseDisplay;
  for (int32_t i = 0; i < kMaxResults; ++i) {
    if (i < std::max(n, 1)) {
      ResultsDataSetInfo[i] = m.Headers[static_cast<size_t>(i)];
      ResultsDataSetInfo[i].NumInSet = n;
    } else {
      ResultsDataSetInfo[i] = MeasurementHeader{};
    }
    auto& col = ImpulseSet[i];
    if (i < n) {
      const double r = 1.0 / static_cast<double>(ResultsDataSetInfo[i].LevelMultiplier);
      for (int32_t j = 0; j < s; ++j) col[j] = static_cast<float>(m.StoredSample(i, j) * r);
      std::fill(col.begin() + s, col.end(), 0.0f);
    } else {
      col.fill(0.0f);
    }
  }
  UserNotesBlock = m.Notes;

  if (DisplayConfig.Graphshown == 4) DisplayConfig.Graphshown = 2;
  DataResampled = false;
  FreqGraphFrame.PlotRight = 1100;
  TimeGraphFrame.PlotRight = 1100;
}

// ---- Commands ----------------------------------------------------------------

bool SaveMeasurementFile() {
  DataPlotter* p = Plotter();
  if (DataResampled) {
    MsgBox("User Error: Resampled data cannot be saved");
    return false;
  }
  FileDialogRequest req;
  req.title = "Save *.cfa File";
  req.filter = "cfa files (*.cfa)|*.cfa";
  req.fileName = ResultFileName;
  const std::optional<std::string> chosen = FileSaveDialog(req);
  if (!chosen || chosen->empty()) return false;
  const std::optional<std::string> name = SaveFileNameOrSay(*chosen, "cfa");
  if (!name) return false;
  ResultFileName = *name;
  if (!MayReplaceFile(ResultFileName, "File Already Exists, Overwrite ?", MsgButtons::YesNoCancel, kQuestionTitle))
    return false;

  if (!WriteMeasurementFile(ResultFileName)) return false;
  p->ResultsTakenButNotSaved = kFalse;
  p->setWindowTitle(QString::fromStdString(ResultFileName));
  return true;
}

void OpenMeasurementFile() {
  DataPlotter* p = Plotter();
  if (p->GetBusy()) return;
  if (ResultsDataSetInfo[0].NumInSet > 0 &&
      MsgBox("Measurements are in memory, Overwrite ?", MsgButtons::YesNoCancel, MsgIcon::Exclamation,
             kOpenQuestionTitle) != MsgAnswer::Yes)
    return;
  // The filters go only with a file that loads.
  const bool removeFilters =
      AppliedFilters[0].Count >= 1 &&
      MsgBox("Remove current EQ filters ?", MsgButtons::YesNo, MsgIcon::Question, kOpenQuestionTitle) == MsgAnswer::Yes;

  FileDialogRequest req;
  req.title = kOpenCfaTitle;
  req.filter = kCfaFilter;
  req.initialFolder = InitialOpenFolder;
  const std::optional<std::string> chosen = FileOpenDialog(req);
  if (!chosen || chosen->empty()) return;

  if (!p->ClearExtDisplay()) return;
  if (!LoadMeasurementFile(*chosen)) {
    MsgBox("Error 8732: " + *chosen + " was not opened; the set in memory is kept");
    return;
  }
  if (removeFilters) {
    ClearAppliedFilters();
    p->RefreshAppliedFiltersList();
  }

  ResultFileName = *chosen;
  InitialOpenFolder = QFileInfo(QString::fromStdString(*chosen)).absolutePath().toStdString();
  // The caches of the old set are worthless now.
  for (int32_t i = 0; i < kCurveSlots; ++i) {
    SingularityList[i].Count = 0;
    for (CurveArray* a : {&ImpulseCurves, &NoiseCurves, &BodeCurves, &FractOctCurves, &PsycCurves, &ModalCurves}) {
      (*a)[i].NumCurves = 0;
      (*a)[i].NumPoints = 0;
    }
  }
  ClearAllFilterSets();
  p->ResetCurveSelectionForNewSet();
  p->ShowOpenedSet();
}

void AddMeasurementFile() {
  DataPlotter* p = Plotter();
  if (p->GetBusy()) return;
  if (DataResampled) {
    MsgBox("User Error: New measurements cannot be added because existing data has been resampled");
    return;
  }
  const int32_t held = ResultsDataSetInfo[0].NumInSet;
  if (held > kMaxResults) {
    MsgBox("User Error: A maximum of 32 measurements can be stored at one time");
    return;
  }

  FileDialogRequest req;
  req.title = kOpenCfaTitle;
  req.filter = kCfaFilter;
  const std::optional<std::string> chosen = FileOpenDialog(req);
  if (!chosen || chosen->empty()) return;

  std::vector<uint8_t> bytes;
  MeasurementSetImage m;
  if (std::string why; !ReadMeasurementSetFile(*chosen, bytes, m, why, true)) {
    MsgBox("Error 4926: Error adding file " + why);
    return;
  }
  const MeasurementHeader& h = m.Headers[0];
  const MeasurementHeader& first = ResultsDataSetInfo[0];
  if (h.SampleRate != first.SampleRate) {
    MsgBox("User Error: The sample frequency of the new files must be equal to the existing file frequency");
    return;
  }
  if (first.PeriodExponent > h.PeriodExponent) {
    MsgBox(
        "User Error: The measurement period of the new files must be equal to or greater than the existing file "
        "period");
    return;
  }
  if (held + h.NumInSet > kMaxResults) {
    MsgBox("User Error: The number of curves in the new file exceeds memory available");
    return;
  }
  if (std::string why; !ParseMeasurementFile(bytes, m, false, &why)) {
    MsgBox("Error 4926: Error adding file " + *chosen + ": " + why);
    return;
  }
  if (!SameCalibration(m.Cal, ActiveMicCal)) {
    MsgBox("User Error: Added files must have the same mic calibration as originals");
    return;
  }
  if (!p->ClearExtDisplay()) return;

  const int32_t added = m.Count();
  const int32_t total = held + added;
  for (int32_t k = 0; k < added; ++k) {
    const int32_t c = held + k;
    CopyMeasurementHeader(m.Headers[static_cast<size_t>(k)], ResultsDataSetInfo[c]);
    const float scale = ResultsDataSetInfo[c].LevelMultiplier;
    auto& col = ImpulseSet[c];
    for (int32_t j = 0; j < m.SamplesPerResult; ++j) col[j] = m.StoredSample(k, j) / scale;
    std::fill(col.begin() + m.SamplesPerResult, col.end(), 0.0f);
  }
  for (int32_t i = 0; i < total; ++i) ResultsDataSetInfo[i].NumInSet = total;
  FreqGraphFrame.PlotRight = 1100;
  TimeGraphFrame.PlotRight = 1100;
  p->ResultsTakenButNotSaved = kTrue;
  p->ShowAddedResults();
}

// ---- Notes text ----------------------------------------------------------------

std::string CodesToText(std::span<const int16_t> codes, int32_t length) {
  QString text;
  const int32_t n = std::clamp<int32_t>(length, 0, static_cast<int32_t>(codes.size()) - 1);
  for (int32_t k = 1; k <= n; ++k) {
    const int16_t c = codes[static_cast<size_t>(k)];
    text.append(c >= 0 && c <= 255 ? QChar(static_cast<char16_t>(c)) : QChar('?'));
  }
  return text.toStdString();
}

int32_t TextToCodes(const std::string& utf8, std::span<int16_t> codes, int32_t maxLength) {
  const QList<uint> points = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toUcs4();
  const int32_t room = std::min<int32_t>(maxLength, static_cast<int32_t>(codes.size()) - 1);
  int32_t n = 0;
  for (uint cp : points) {
    if (n >= room) break;
    codes[static_cast<size_t>(++n)] = static_cast<int16_t>(cp <= 255 ? cp : '?');
  }
  std::fill(codes.begin() + n + 1, codes.end(), int16_t{0});
  return n;
}

}  // namespace zentor
