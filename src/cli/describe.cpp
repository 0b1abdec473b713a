// `zentor describe FILE`: what a file holds, read by the reader the windows use.
#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <cstdio>

#include "base/binary_io.h"
#include "cli/commands.h"
#include "cli/headless.h"
#include "core/emulation.h"
#include "crossover/xover_record.h"
#include "eqdesign/eq_report.h"
#include "mainwindow/filter_file.h"
#include "mainwindow/measurement_file.h"
#include "mainwindow/qel_import.h"
#include "measurement/mic_calibration_files.h"
#include "platform/dialogs.h"
#include "tools/wav_file.h"

namespace zentor::cli {

const SubcommandSpec kDescribeSpec{
    "describe",
    "FILE [--json]",
    "Tells what a file holds: a measurement set (.cfa), filters (.EQ), crossover (.XVR),\n"
    "microphone calibration (.cal, .mic), Qel measurement (.qel) or WAV file.",
    {{"--json", "", "one JSON object on standard output"}, {"--help", "", "this text"}},
    1,
    1};

namespace {

constexpr double kTwoPi = 6.283185307179586;

std::string ExcitationName(int32_t config) {
  switch (config) {
    case 42: return "mls";
    case 43: return "hybrid";
    case 87: return "sweep";
    default: return "code " + std::to_string(config);
  }
}

std::string Extension(const std::string& path) {
  return QFileInfo(QString::fromStdString(path)).suffix().toLower().toStdString();
}

// The reader's own message, as the window opening the file shows it.
[[noreturn]] void Refused(const std::string& message) {
  if (!message.empty()) MsgBox(message);
  throw CommandFailed("");
}

void DescribeMeasurementSet(const std::string& path, Json& j) {
  // Mapped rather than read: a set of 32 results is 17 MB of samples that
  // describing never touches.
  std::string why = FileReadProblem(path, kLargestMeasurementFileBytes);
  QFile file(QString::fromStdString(path));
  if (why.empty() && !file.open(QIODevice::ReadOnly)) why = "cannot be opened";
  if (why.empty() && file.size() == 0) why = "cut short at byte 0";
  const uchar* mapped = why.empty() ? file.map(0, file.size()) : nullptr;
  if (why.empty() && mapped == nullptr) why = "cannot be read";
  MeasurementSetImage m;
  if (mapped == nullptr ||
      !ParseMeasurementFile(std::span<const uint8_t>(mapped, static_cast<size_t>(file.size())), m, false, &why))
    Refused("Error 4927: Error opening file " + path + ": " + why);
  j.Set("kind", "measurement set");
  j.Set("results", m.Count());
  j.Set("samples_per_result", m.SamplesPerResult);
  Json cal = Json::MakeObject();
  cal.Set("points", m.Cal.Count);
  cal.Set("name", m.Cal.FileName);
  j.Set("calibration", cal);
  j.Set("notes", CodesToText(m.Notes.NotesCodes, m.Notes.NotesLength));
  Json list = Json::MakeArray();
  for (int32_t i = 0; i < m.Count(); ++i) {
    const MeasurementHeader& h = m.Headers[static_cast<size_t>(i)];
    Json r = Json::MakeObject();
    r.Set("curve", i + 1);
    r.Set("sample_rate_hz", h.SampleRate);
    r.Set("length_samples", m.SamplesPerResult);
    r.Set("length_s", h.SampleRate > 0 ? Json(static_cast<float>(double(m.SamplesPerResult) / h.SampleRate)) : Json());
    r.Set("excitation", ExcitationName(h.MeasConfig));
    r.Set("period_exponent", h.PeriodExponent);
    r.Set("peak_level_db", h.PeakLevel);
    r.Set("signal_to_noise_db", h.NoiseEnergy);
    r.Set("distance_m", h.MeasuredDistance);
    list.Push(r);
  }
  j.Set("curves", list);
}

void DescribeFilters(const std::string& path, Json& j) {
  FilterSetImage image;
  if (std::string why; !ReadEQFile(path, image, why)) Refused("EQ File Error 4329: " + why);
  j.Set("kind", "filters");
  j.Set("parametric_model", image.ParametricCode);
  j.Set("graphic_model", image.GraphicCode);
  const int32_t n = image.Filters.empty() ? 0 : image.Filters[0].Count;
  j.Set("count", n);
  Json list = Json::MakeArray();
  for (int32_t i = 0; i < n; ++i) list.Push(FilterJson(image.Filters[static_cast<size_t>(i)]));
  j.Set("filters", list);
}

void DescribeCrossover(const std::string& path, Json& j) {
  XoverSetArray sets{};
  if (!ReadXoverFile(path, sets)) Refused("");
  j.Set("kind", "crossover");
  Json ways = Json::MakeArray();
  for (int k = 0; k < kXoverSets; ++k) {
    const XoverSetRecord& r = sets[static_cast<size_t>(k)];
    Json w = Json::MakeObject();
    w.Set("way", k + 1);
    w.Set("high_pass", r.HPOn ? Json(XoverTypeCaption(r.HPType) + " order " + std::to_string(r.HPOrder)) : Json());
    w.Set("high_pass_hz", r.HPOn ? Json(r.HPCorner) : Json());
    w.Set("low_pass", r.LPOn ? Json(XoverTypeCaption(r.LPType) + " order " + std::to_string(r.LPOrder)) : Json());
    w.Set("low_pass_hz", r.LPOn ? Json(r.LPCorner) : Json());
    w.Set("gain_db", r.GainDb);
    w.Set("delay_ms", r.DelayMs);
    w.Set("inverted", r.InvertFlag != 0);
    w.Set("eq_filters", r.EQFileOn ? r.EQFilterCount : 0);
    w.Set("eq_file", XoverEQPath(r));
    ways.Push(w);
  }
  j.Set("ways", ways);
}

void DescribeCalibration(const std::string& path, Json& j) {
  CalibrationReading reading;
  switch (ReadCalibrationFile(path, reading)) {
    case CalibrationRead::Completed: break;
    case CalibrationRead::NotOpened: Refused(CalibrationFault("Error 1 Opening Calibration File", reading));
    case CalibrationRead::Failed: Refused(CalibrationFault("Error 2 Opening Calibration File", reading));
    case CalibrationRead::Abandoned: Refused("");
  }
  j.Set("kind", "microphone calibration");
  j.Set("points", reading.Count);
  const auto last = static_cast<size_t>(std::max(reading.Count - 1, 0));
  j.Set("low_hz", reading.Count > 0 ? Json(reading.Freq[0]) : Json());
  j.Set("high_hz", reading.Count > 0 ? Json(reading.Freq[last]) : Json());
  if (reading.HasTextLines) {
    j.Set("line_one", reading.LineOne);
    j.Set("line_two", reading.LineTwo);
  }
}

void DescribeQel(const std::string& path, Json& j) {
  QelFileImage q;
  if (!ReadQelFile(path, q)) Refused("");
  j.Set("kind", "qel measurement");
  j.Set("sample_rate_hz", q.SampleRate);
  j.Set("samples", static_cast<int32_t>(q.Samples.size()));
  j.Set("calibration_points", q.Cal.Count);
  j.Set("low_band_only", q.BandMarker > 1);
}

void DescribeWav(const std::string& path, Json& j) {
  WavFileContents wav;
  const WavReadStatus s = ReadWavFile(path, 0, wav);
  if (s != WavReadStatus::Ok) Refused(WavFileRefusal(s, path));
  j.Set("kind", "wav");
  j.Set("sample_rate_hz", wav.Header.SampleRate);
  j.Set("channels", static_cast<int32_t>(wav.Header.Channels));
  j.Set("bits", static_cast<int32_t>(wav.SourceBits));
  j.Set("float", wav.FloatSamples);
  j.Set("frames", wav.Frames);
  j.Set("length_s", wav.Header.SampleRate > 0 ? Json(double(wav.Frames) / wav.Header.SampleRate) : Json());
}

}  // namespace

Json FilterJson(const FilterRecord& f) {
  Json j = Json::MakeObject();
  const double level = 20.0 * std::log10(std::fabs(double(f.Q1)) / f.Q2);
  j.Set("code", f.EQEmulationCode);
  j.Set("fc_hz", static_cast<float>(f.Freq1 / kTwoPi));
  j.Set("gain_db", static_cast<float>(f.Q1 < 0 ? level : -level));
  j.Set("q", static_cast<float>(std::sqrt(std::fabs(double(f.Q1)) * f.Q2)));
  j.Set("setting", EQReportLine(f, f.Kind == 3));
  return j;
}

std::string FilterLine(const FilterRecord& f) {
  const double level = 20.0 * std::log10(std::fabs(double(f.Q1)) / f.Q2);
  char buf[160];
  std::snprintf(buf, sizeof buf, "code %d  %.2f Hz  %+.2f dB  Q %.3f  ", f.EQEmulationCode, f.Freq1 / kTwoPi,
                f.Q1 < 0 ? level : -level, std::sqrt(std::fabs(double(f.Q1)) * f.Q2));
  std::string line = buf;
  for (char& c : line)
    if (c == ',') c = '.';  // %f follows the C locale here, but never trust a locale with a comma
  return line + EQReportLine(f, f.Kind == 3);
}

void PrintJson(const Json& j) {
  std::string text;
  try {
    text = j.Dump();
  } catch (const std::domain_error& e) {
    throw CommandFailed(std::string("the value of ") + e.what() + " is not a number; nothing written");
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
}

int Describe(const Arguments& args) {
  HeadlessSession session(false);
  const std::string path = args.positional[0];
  const std::string ext = Extension(path);
  Json j = Json::MakeObject();
  j.Set("file", path);
  if (ext == "cfa") DescribeMeasurementSet(path, j);
  else if (ext == "eq") DescribeFilters(path, j);
  else if (ext == "xvr") DescribeCrossover(path, j);
  else if (ext == "cal" || ext == "mic") DescribeCalibration(path, j);
  else if (ext == "qel") DescribeQel(path, j);
  else if (ext == "wav") DescribeWav(path, j);
  else
    throw CommandFailed(path + ": not a file Zentor reads (.cfa, .EQ, .XVR, .cal, .mic, .qel, .wav)");
  if (args.Has("--json")) {
    PrintJson(j);
  } else {
    const std::string text = j.Outline();
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
  return 0;
}

}  // namespace zentor::cli
