#include "tools/export_pcm.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <cmath>

#include "base/binary_io.h"
#include "base/text_number.h"
#include "core/helpers.h"
#include "core/records.h"
#include "core/work_arrays.h"
#include "mainwindow/data_plotter.h"
#include "platform/forms.h"
#include "platform/numeric/numeric.h"
#include "platform/text_boxes.h"

namespace zentor {

namespace {

constexpr int32_t kLowestLevel = 100;
constexpr int32_t kHighestLevel = 32767;

QRadioButton* Option(QWidget* parent, const char* name) {
  auto* b = new QRadioButton(name, parent);
  b->setObjectName(name);
  return b;
}

}  // namespace

ExportPCM::ExportPCM(QWidget* parent) : QDialog(parent) {
  setObjectName("ExportPCM");
  setWindowTitle("Impulse Export");
  setModal(false);

  CurveNoText = EntryBox(this, "CurveNoText", "");
  MaxLevelText = EntryBox(this, "MaxLevelText", "10000");
  PCM = Option(this, "PCM");
  RAW = Option(this, "RAW");
  Wave = Option(this, "Wave");
  Save = new QPushButton("Save", this);
  Save->setObjectName("Save");
  SampleRateResolutionLabel = new QLabel("16 bit /", this);
  SampleRateResolutionLabel->setObjectName("SampleRateResolutionLabel");

  auto* g = new QGridLayout(this);
  g->addWidget(new QLabel("Curve No", this), 0, 0);
  g->addWidget(CurveNoText, 0, 1);
  g->addWidget(new QLabel("Max Sample Level", this), 1, 0);
  g->addWidget(MaxLevelText, 1, 1);
  g->addWidget(Wave, 2, 0);
  g->addWidget(PCM, 3, 0);
  g->addWidget(RAW, 4, 0);
  g->addWidget(SampleRateResolutionLabel, 2, 1);
  g->addWidget(Save, 4, 1);

  // PCM comes first in the tab order and is the type chosen at opening.
  PCM->setChecked(true);
  PresetDialog();
  connect(PCM, &QRadioButton::clicked, this, [this] { PCM_Click(); });
  connect(RAW, &QRadioButton::clicked, this, [this] { RAW_Click(); });
  connect(Save, &QPushButton::clicked, this, [this] { Save_Click(); });
}

void ExportPCM::PresetDialog() {
  if (Wave->isChecked())
    SaveRequest = {"Save Impulse as *.wav File", "raw files (*.wav)|*.wav", "", "Impulse.wav"};
  else if (RAW->isChecked())
    SaveRequest = {"Save Impulse as *.raw File", "raw files (*.raw)|*.raw", "", "Impulse.raw"};
  else
    SaveRequest = {"Save Impulse as *.PCM File", "PCM files (*.PCM)|*.PCM", "", "Impulse.pcm"};
}

bool ExportPCM::Initialize(int32_t curveNumber) {
  hide();
  if (ResultsDataSetInfo[0].NumInSet < 1) {
    MsgBox("User Error: Measured results must be loaded before doing any operations.");
    return false;
  }
  CurveNumber = curveNumber;
  CurveNoText->setText(QString::number(curveNumber));
  const double khz = Forms::Get<DataPlotter>()->GetSampleRate() / 1000.0;
  SampleRateResolutionLabel->setText(QString::fromStdString("16 bit / " + FormatDouble(khz) + "KHz"));
  show();
  return false;
}

void ExportPCM::Save_Click() {
  const int32_t held = ResultsDataSetInfo[0].NumInSet;
  if (held < 1) {
    MsgBox("User Error: No measured data loaded");
    return;
  }
  double value = 0;
  if (!ValidateNumericTextBox(CurveNoText, 1, std::min(held, kMaxResults), value)) return;
  CurveNumber = CLng(value);
  CurveNoText->setText(QString::number(CurveNumber));
  if (!ValidateNumericTextBox(MaxLevelText, kLowestLevel, kHighestLevel, value)) return;
  MaxLevel = CLng(value);

  PresetDialog();
  const std::optional<std::string> path = FileSaveDialog(SaveRequest);
  if (!path || path->empty()) return;
  if (!MayReplaceFile(*path, "File Already Exists, Overwrite ?", MsgButtons::YesNo, "Mirabelt Zentor")) return;

  DataPlotter* p = Forms::Get<DataPlotter>();
  // A stored impulse holds at most 2^17 samples, whatever its period.
  const int32_t n = 1 << std::clamp(p->GetPeriodLength(), 0, kMaxSamplesExponent);
  const auto& impulse = ImpulseSet[static_cast<size_t>(CurveNumber - 1)];
  // A sample that is not a number has no 16-bit value: nothing is written.
  const auto bad = std::find_if(impulse.begin(), impulse.begin() + n, [](float v) { return !std::isfinite(v); });
  if (bad != impulse.begin() + n) {
    MsgBox("Error 5435: Curve " + std::to_string(CurveNumber) +
           " holds samples that are not numbers. No file was written.");
    return;
  }
  float peak = 0;
  for (int32_t j = 0; j < n; ++j) peak = std::max(peak, std::fabs(impulse[static_cast<size_t>(j)]));
  if (peak == 0) {
    MsgBox("Error 5434: No Data In Curve Selected.");
    return;
  }
  const float scale = static_cast<float>(MaxLevel) / peak;
  PcmSamples.assign(static_cast<size_t>(n), 0);
  for (int32_t j = 0; j < n; ++j) {
    const float v = scale * impulse[static_cast<size_t>(j)];
    PcmSamples[static_cast<size_t>(j)] = static_cast<int16_t>(std::clamp(RoundHalfEven(v), -32768.0, 32767.0));
  }

  BinaryWriter w;
  w.data().reserve(static_cast<size_t>(kWavHeaderBytes + 2 * n));
  if (Wave->isChecked()) {
    Header = MakeWavHeader(1, p->GetSampleRate(), n);
    WriteWavHeader(w, Header);
  }
  w.Integers(PcmSamples);
  if (!WriteWholeFileAtomic(*path, w.data())) MsgBox("Error 5438");
}

}  // namespace zentor
