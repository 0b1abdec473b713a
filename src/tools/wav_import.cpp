#include "tools/wav_import.h"

#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <cmath>
#include <vector>

#include "base/text_number.h"
#include "core/records.h"
#include "core/results_store.h"
#include "core/test_signals.h"
#include "core/work_arrays.h"
#include "display/view_state.h"
#include "mainwindow/data_plotter.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/help.h"
#include "platform/numeric/numeric.h"
#include "platform/text_boxes.h"

namespace zentor {

namespace {

constexpr int32_t kShortestOrder = 13;
constexpr int32_t kEdgeTaper = 100;
constexpr double kLeadSeconds = 0.05;     // the impulse starts 50 ms into the result
constexpr double kSpeedOfSound = 343.0;   // m/s
constexpr double kLongestDistance = 1000;  // m
constexpr float kLevelReference = 15000.0f;
constexpr float kNoNoiseRatio = 90.0f;  // dB, when the second half is silent

QPushButton* Button(QWidget* parent, const char* name, const char* text) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(name);
  return b;
}

}  // namespace

int32_t WavOrderFor(int64_t samples) {
  if (samples < (int64_t{1} << kShortestOrder)) return 0;
  int32_t order = kShortestOrder;
  while (order < kMaxSamplesExponent && (int64_t{1} << (order + 1)) <= samples) ++order;
  return order;
}

Import::Import(QWidget* parent) : QDialog(parent) {
  setObjectName("Import");
  setWindowTitle("Import WAV");

  OpenWav = Button(this, "OpenWav", "Open");
  Load = Button(this, "Load", "Load");
  Help = Button(this, "Help", "Help");
  auto* start = new QGroupBox("Impulse Start Position", this);
  msrad = new QRadioButton("ms", start);
  msrad->setObjectName("msrad");
  msrad->setChecked(true);
  SamplesRad = new QRadioButton("Samples", start);
  SamplesRad->setObjectName("SamplesRad");
  ImpulseStart = EntryBox(start, "ImpulseStart", "50");
  auto* startRow = new QHBoxLayout(start);
  startRow->addWidget(msrad);
  startRow->addWidget(SamplesRad);
  startRow->addWidget(ImpulseStart);
  TaperCheck = new QCheckBox("Taper", this);
  TaperCheck->setObjectName("TaperCheck");
  TaperCheck->setChecked(true);
  ImpulseDistance = EntryBox(this, "ImpulseDistance", "0");

  auto* g = new QGridLayout(this);
  g->addWidget(start, 0, 0, 1, 3);
  g->addWidget(TaperCheck, 1, 0);
  g->addWidget(ImpulseDistance, 2, 0);
  g->addWidget(new QLabel("Mic/Speaker Distance [m]", this), 2, 1, 1, 2);
  g->addWidget(OpenWav, 3, 0);
  g->addWidget(Load, 3, 1);
  g->addWidget(Help, 3, 2);

  StartFolder = QDir::currentPath().toStdString();
  SetWavLoaded(false);
  connect(OpenWav, &QPushButton::clicked, this, [this] { OpenWav_Click(); });
  connect(Load, &QPushButton::clicked, this, [this] { Load_Click(); });
  connect(Help, &QPushButton::clicked, this, [this] { Help_Click(); });
}

void Import::SetWavLoaded(bool loaded) {
  WavLoaded = loaded;
  Load->setEnabled(loaded);
  OpenWav->setEnabled(!loaded);
}

void Import::Help_Click() { ShowHelpTopic(HelpTopic::Import); }

void Import::OpenWav_Click() {
  FileDialogRequest req;
  req.title = "Open *.wav File";
  req.filter = "WAV files (*.wav)|*.wav";
  req.initialFolder = StartFolder;
  const std::optional<std::string> path = FileOpenDialog(req);
  if (!path || path->empty()) return;

  // Parsed aside: a refused file leaves the window and the buffer as they were.
  WavFileContents wav;
  const WavReadStatus status = ReadWavFile(*path, kMaxSamples, wav);
  if (status != WavReadStatus::Ok) {
    MsgBox(WavFileRefusal(status, *path));
    return;
  }
  const bool wide = wav.SourceBits != 16;
  const int32_t channels = wav.Header.Channels;
  if (channels > 1 && !wide) {
    MsgBox("User Error: File must be a single channel file");
    return;
  }
  const int32_t order = WavOrderFor(wav.Frames);
  if (order == 0) {
    MsgBox("User Error: Wave file must have more than 8192 samples");
    return;
  }
  int32_t channel = 0;
  if (channels > 1) {
    const std::string range = "1 to " + std::to_string(channels);
    const std::optional<std::string> typed =
        InputBox("The file has " + std::to_string(channels) + " channels. Channel to import (" + range + "):",
                 "Import WAV", "1");
    if (!typed) return;
    const double v = IsNumeric(*typed) ? Val(*typed) : 0;
    if (!(v >= 1 && v <= channels && v == std::floor(v))) {
      MsgBox("User Error: The channel must be a whole number from " + range);
      return;
    }
    channel = static_cast<int32_t>(v) - 1;
  }
  WavFileName = *path;
  ImportWavHeader = wav.Header;
  WavSampleCount = wav.Frames;
  WavOrder = order;
  if (wide) {
    WideSamples = OneChannel(wav.Scaled, channels, channel);
    PcmSamples.clear();
  } else {
    WideSamples.clear();
    PcmSamples = std::move(wav.Samples);
  }
  SetWavLoaded(true);
}

void Import::Load_Click() {
  const int32_t held = ResultsDataSetInfo[0].NumInSet;
  if (held >= kMaxResults || held < 0) {
    MsgBox(ResultsStoreFullMessage());
    return;
  }
  if (!WavLoaded) {
    MsgBox("User Error: A Wav file must be opened before loading data");
    return;
  }
  SetWavLoaded(false);

  const int32_t rate = ImportWavHeader.SampleRate;
  const int32_t n = 1 << WavOrder;
  // A later start would rotate samples the file does not have into the impulse.
  const int32_t lastStart = static_cast<int32_t>(std::min<int64_t>(WavSampleCount, n)) - 1;
  double value = 0;
  if (msrad->isChecked()) {
    if (!ValidateNumericTextBox(ImpulseStart, 0, lastStart * 1000.0 / rate, value)) return;
    ImportStartOffset = static_cast<int32_t>(Fix(rate * value / 1000.0));
  } else {
    if (!ValidateNumericTextBox(ImpulseStart, 0, lastStart, value)) return;
    ImportStartOffset = static_cast<int32_t>(Fix(value));
    ImpulseStart->setText(QString::number(ImportStartOffset));
  }
  ImportStartOffset = std::clamp(ImportStartOffset, 0, lastStart);
  if (!ValidateNumericTextBox(ImpulseDistance, 0, kLongestDistance, value)) return;
  ImportDistance = static_cast<float>(Fix(value));

  std::vector<float> work(kMaxSamples, 0.0f);
  if (!WideSamples.empty()) {
    std::copy_n(WideSamples.begin(), std::min<size_t>(static_cast<size_t>(n), WideSamples.size()), work.begin());
  } else {
    const auto fromFile = static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(n), PcmSamples.size()));
    CopyIntToSingle(PcmSamples, work, fromFile);
  }
  if (TaperCheck->isChecked()) {
    TaperEndOfImpulseC(work, kEdgeTaper, n);
    TaperStartOfImpulseC(work, kEdgeTaper);
  }

  MeasurementHeader h;
  if (held > 0) {
    const MeasurementHeader& first = ResultsDataSetInfo[0];
    if (rate != first.SampleRate) {
      MsgBox(
          "User Error: The wave import sample rate is different than the loaded measurement results. This impulse "
          "cannot be added.");
      return;
    }
    if (std::ldexp(1.0, std::clamp(first.PeriodExponent, 0, 30)) > static_cast<double>(WavSampleCount))
      MsgBox("Warning: The length of the imported data is shorter than the perviously loaded results");
    CopyMeasurementHeader(first, h);
  } else {
    CopyMeasurementHeader(EQConfig, h);
    h.SampleRate = rate;
    h.PeriodExponent = WavOrder;
    h.PreExcitationExponent = WavOrder;
  }
  const int32_t setLength = 1 << std::clamp(h.PeriodExponent, 0, kMaxSamplesExponent);

  const int32_t shift = CLng(kLeadSeconds * rate) - ImportStartOffset;
  if (shift < 0) RotateImpulseLeftC(n, work, -shift);
  if (shift > 0) RotateImpulseRightC(n, work, shift);

  const int32_t half = setLength / 2;
  float signal = 0, noise = 0;
  for (int32_t i = 0; i <= half; ++i) signal += work[static_cast<size_t>(i)] * work[static_cast<size_t>(i)];
  if (signal == 0) {
    MsgBox("User Error: No input signal");
    return;
  }
  for (int32_t i = half; i < n; ++i) noise += work[static_cast<size_t>(i)] * work[static_cast<size_t>(i)];
  const float ratio =
      noise > 0 ? static_cast<float>(Fix(100.0 * std::log10(static_cast<double>(signal) / noise)) * 0.1)
                : kNoNoiseRatio;

  // The largest magnitude: a negative peak has a level too.
  float peak = 0;
  for (int32_t i = 0; i < setLength; ++i) peak = std::max(peak, std::fabs(work[static_cast<size_t>(i)]));
  ImportLevelDb = CLng(20.0 * std::log10(std::max(CLng(peak), 1) / static_cast<double>(kLevelReference)));
  if (!NormalizeToPeak(work, 1.0f, WavOrder)) return;

  DataPlotter* p = Forms::Get<DataPlotter>();
  if (!p->ClearExtDisplay()) return;
  auto& row = ImpulseSet[static_cast<size_t>(held)];
  std::copy_n(work.begin(), setLength, row.begin());
  std::fill(row.begin() + setLength, row.end(), 0.0f);
  h.PeakLevel = static_cast<float>(ImportLevelDb);
  h.NoiseEnergy = ratio;
  h.SignalEnergy = signal;
  h.ImpulseShift = CLng(static_cast<double>(ImportDistance) * rate / kSpeedOfSound - kLeadSeconds * rate);
  ResultsDataSetInfo[static_cast<size_t>(held)] = h;
  for (int32_t k = 0; k <= held; ++k) ResultsDataSetInfo[static_cast<size_t>(k)].NumInSet = held + 1;
  p->ResultsTakenButNotSaved = kTrue;
  p->DisplayResults(kRecomputeAllCurves);
}

}  // namespace zentor
