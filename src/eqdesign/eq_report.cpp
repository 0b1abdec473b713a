#include "eqdesign/eq_report.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "base/binary_io.h"
#include "base/text_number.h"
#include "core/emulation.h"
#include "core/helpers.h"
#include "core/records.h"
#include "eqdesign/fit_limits_store.h"
#include "platform/dialogs.h"

namespace zentor {

namespace {

constexpr double kTwoPi = 6.28318530717959;

std::string Num(double v) { return FormatDouble(v + 0.0); }
std::string Num(float v) { return FormatSingle(v + 0.0f); }

// Hz rounded to 0.01 at the model's nearest centre.
double SnappedHz(int32_t code, float freq1) {
  return Fix(QuantizeEmulatedFrequency(code, freq1) * 100.0 / kTwoPi + 0.5) * 0.01;
}

// Bandwidth in 1/60 octave on the model's steps.
float Sixtieths(int32_t code, const FilterRecord& f) {
  return QuantizeEmulatedQ(code, static_cast<float>(Fix(ConvertEmulatedBandwidth(f.Q1, f.Q2, code) * 6000.0) * 0.01));
}

bool Listed(const FilterRecord& f, int32_t kind) {
  return f.Kind == kind && f.Q1 != 0 && std::fabs(f.Q1) != f.Q2;
}

}  // namespace

void ISOBandOf(float freq1, double& band, double& offset) {
  const double f = freq1 / 6.283185307;
  std::array<float, 31> bands{};
  FillISOThirdOctaveBands(bands);
  if (f <= 20) {
    band = 20;
  } else if (f >= 16000) {
    band = 16000;
  } else {
    band = bands[29];
    for (size_t k = 0; k < 29; ++k) {
      if (bands[k] <= f && bands[k + 1] > f) {
        band = f <= std::sqrt(double(bands[k]) * bands[k + 1]) ? bands[k] : bands[k + 1];
        break;
      }
    }
  }
  offset = Fix(std::log2(f / band) * 600) * 0.1;
}

std::string BandwidthText(double w) {
  if (w <= 5.0) return Num(Fix(w * 100) * 0.01) + "/60";
  return Num(Fix(w * 100 / 60) * 0.01);
}

std::string EQReportLine(const FilterRecord& f, bool graphic) {
  const auto magnitude = static_cast<float>(20 * std::log10(std::fabs(f.Q1 / f.Q2)));
  std::string level(f.Q1 > 0 ? "-" : "");
  level.append(Num(Fix(magnitude * 10.0) * 0.1)).append(" dB");
  switch (f.EQEmulationCode) {
    case 1: {
      double band = 0, offset = 0;
      ISOBandOf(f.Freq1, band, offset);
      return "ISO Freq = " + Num(band) + "Hz + " + Num(offset) + "/60 Oct  Level = " + level +
             " BW:" + Num(Sixtieths(1, f)) + "/60 ";
    }
    case 4:
      return "Freq = " + Num(SnappedHz(4, f.Freq1)) + " Hz, Level = " + level + " BW:" +
             BandwidthText(Sixtieths(4, f));
    case 5: {
      const float q =
          QuantizeEmulatedQ(5, static_cast<float>(Fix(ConvertEmulatedBandwidth(f.Q1, f.Q2, 5) * 100.0) * 0.01));
      const std::string head = "Freq = " + Num(SnappedHz(5, f.Freq1)) + " Hz, Level = " + level;
      return graphic ? head + " Q:" + Str(q + 0.0f) : head + " BW:" + Num(q);
    }
    default: {  // 2, 3, and a code no equaliser reads
      const double q = Fix(ScaleQByGain(magnitude, f.Q1) * 10.0) * 0.1;
      return "Freq = " + Num(Fix(f.Freq1 / kTwoPi)) + "Hz " + " Level = " + level + " Q:" + Num(q);
    }
  }
}

std::vector<std::string> EQReportLines(std::span<const FilterRecord> applied) {
  const int32_t count =
      applied.empty() ? 0 : std::clamp<int32_t>(applied[0].Count, 0, static_cast<int32_t>(applied.size()));
  const std::string footer = count == 0 ? "No Settings Required" : "Controls set to zero dB are not listed";
  std::vector<std::string> lines{"Mirabelt Zentor EQ Settings", ""};
  const std::array<std::pair<const char*, int32_t>, 3> sections{
      {{"Graphic EQ Settings", 3}, {"Parametric EQ Settings", 2}, {"Modal EQ Parametric Settings", 4}}};
  for (const auto& [heading, kind] : sections) {
    lines.emplace_back(heading);
    for (int32_t i = 0; i < count; ++i)
      if (Listed(applied[static_cast<size_t>(i)], kind))
        lines.push_back(EQReportLine(applied[static_cast<size_t>(i)], kind == 3));
    lines.emplace_back("");
    lines.push_back(footer);
    if (kind != 4) lines.insert(lines.end(), 2, "");
  }
  return lines;
}

std::vector<std::string> FitLimitReportLines(const FitLimits& limits, std::span<const FilterRecord> applied) {
  const int32_t count =
      applied.empty() ? 0 : std::clamp<int32_t>(applied[0].Count, 0, static_cast<int32_t>(applied.size()));
  const double preamp = PreampDb(applied, count);
  return {"", "Fit Limits: " + DescribeFitLimits(limits),
          "Preamp = " + Num(std::round(preamp * 10) * 0.1) + " dB (the set's largest boost, taken off before it)"};
}

bool WriteEQSettingsReport(const std::string& path, std::span<const FilterRecord> applied, const FitLimits* limits) {
  std::vector<std::string> lines = EQReportLines(applied);
  if (limits) {
    const std::vector<std::string> more = FitLimitReportLines(*limits, applied);
    lines.insert(lines.end(), more.begin(), more.end());
  }
  std::string text;
  for (const std::string& line : lines) text += "\"" + line + "\"\r\n";
  return WriteWholeFileAtomic(path, text);
}

void TextEQ_Click() {
  FileDialogRequest request;
  request.fileName = "EQSettings";
  request.title = "Save EQ Settings Text File";
  request.filter = "EQ settings (*.txt)|*.txt";
  const std::optional<std::string> chosen = FileSaveDialog(request);
  if (!chosen || chosen->empty()) return;
  // Only the file name is cut at its first full stop, not the folders above it.
  const size_t slash = chosen->find_last_of("/\\");
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const std::string path = chosen->substr(0, nameStart) + GetFileNameStem(chosen->substr(nameStart)) + ".txt";
  if (FileExists(path) &&
      MsgBox(path + " Already Exists, Overwrite ?", MsgButtons::YesNoCancel, MsgIcon::Exclamation, "EQ Settings") !=
          MsgAnswer::Yes)
    return;
  const FitLimits limits = LoadFitLimits();
  if (!WriteEQSettingsReport(path, AppliedFilters, &limits)) MsgBox("Error 5853: The EQ settings file could not be written.");
}

}  // namespace zentor
