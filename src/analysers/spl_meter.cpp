#include "analysers/spl_meter.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

#include "analysers/rta_cycle.h"
#include "base/atomic_file.h"
#include "base/text_number.h"
#include "core/records.h"
#include "core/work_arrays.h"
#include "measurement/eq_audio_module.h"
#include "platform/audio/wave_streaming.h"
#include "platform/dialogs.h"
#include "platform/help.h"
#include "platform/numeric/numeric.h"
#include "platform/text_boxes.h"

namespace zentor {

namespace {

constexpr double kLowestBandHz = 16;
constexpr double kHighestBandHz = 20000;
constexpr double kHighestLevel = 150;
constexpr const char* kCardError = "Error Initializing Sound Card";

QPushButton* Button(QWidget* parent, const char* name, const char* text, const char* tip = nullptr) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(name);
  if (tip) b->setToolTip(tip);
  return b;
}

// A read-only field for a reading.
QLineEdit* Reading(QWidget* parent, const char* name) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(name);
  e->setReadOnly(true);
  e->setFixedWidth(60);
  return e;
}

// A red dot: the record picture.
QIcon RecordIcon() {
  QPixmap p(16, 16);
  p.fill(Qt::transparent);
  QPainter painter(&p);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(QColor(200, 0, 0));
  painter.setPen(Qt::NoPen);
  painter.drawEllipse(2, 2, 12, 12);
  return QIcon(p);
}

}  // namespace

SplBand SplBandBins(float startHz, float finnishHz, int32_t blockLength, int32_t rate) {
  SplBand b;
  if (rate <= 0 || blockLength <= 0) return b;
  bool ok = true;
  b.startBin = CLng(static_cast<double>(startHz) * blockLength / rate, &ok);
  b.bins = CLng((static_cast<double>(finnishHz) - startHz) * blockLength / rate, &ok);
  if (!ok) b = {};
  return b;
}

bool SplMeanBandPower(std::span<float> re, std::span<float> im, int32_t order, SplBand band, float& power) {
  if (order < 1 || order > 20) return false;
  const int32_t n = int32_t{1} << order;
  if (band.bins < 2 || band.bins > n) return false;
  if (re.size() < static_cast<size_t>(n) || im.size() < static_cast<size_t>(n)) return false;
  ClearArray(im, n);
  if (!fft(re, im, order)) return false;
  // The band's first bin to index 0; the rotation works modulo n.
  const int32_t start = ((band.startBin % n) + n) % n;
  RotateImpulseLeftC(n, re, start);
  RotateImpulseLeftC(n, im, start);
  MagArraySquared(re, im, re, band.bins);
  float sum = 0;
  for (int32_t i = 0; i < band.bins; ++i) sum += re[static_cast<size_t>(i)];
  power = sum / static_cast<float>(band.bins);
  return true;
}

float SplBandLevel(float power, float silence, bool& valid) {
  valid = power > silence;
  return valid ? static_cast<float>(10 * std::log(power) / std::log(10.0)) : power;
}

float SplShownLevel(float bandLevel, float referenceLevel, float targetLevel) {
  return static_cast<float>(Fix((bandLevel - referenceLevel + targetLevel) * 10.0f)) * 0.1f;
}

double WeightingDb(SplWeighting w, double hz) {
  // The pole frequencies of the weightings and their values at 1 kHz.
  constexpr double f1 = 20.598997, f2 = 107.65265, f3 = 737.86223, f4 = 12194.217;
  const double f = hz * hz;
  if (!(f > 0)) return -HUGE_VAL;
  if (w == SplWeighting::C) return 20 * std::log10(f4 * f4 * f / ((f + f1 * f1) * (f + f4 * f4))) + 0.062;
  return 20 * std::log10(f4 * f4 * f * f /
                         ((f + f1 * f1) * std::sqrt(f + f2 * f2) * std::sqrt(f + f3 * f3) * (f + f4 * f4))) +
         2.0;
}

bool SplWeightedBlockPowers(std::span<const float> block, int32_t order, int32_t rate, SplWeightedPowers& out) {
  if (order < 1 || order > 20 || rate <= 0) return false;
  const size_t n = size_t{1} << order;
  if (block.size() < n) return false;
  std::vector<float> re(n), im(n, 0.0f);
  for (size_t i = 0; i < n; ++i)
    re[i] = static_cast<float>(block[i] * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / double(n))));
  if (!fft(re, im, order)) return false;
  double a = 0, c = 0;
  for (size_t k = 1; k < n / 2; ++k) {
    const double hz = double(k) * rate / double(n);
    const double p = double(re[k]) * re[k] + double(im[k]) * im[k];
    a += p * std::pow(10.0, WeightingDb(SplWeighting::A, hz) / 10);
    c += p * std::pow(10.0, WeightingDb(SplWeighting::C, hz) / 10);
  }
  // The Hann window keeps 3/8 of a steady signal's power.
  out = {a / 0.375, c / 0.375};
  return true;
}

std::string SplReadingsCsv(const std::vector<SplReading>& readings) {
  std::string out = "block,level_db,la_db,lc_db,leq_db,laeq_db,lceq_db\n";
  for (size_t i = 0; i < readings.size(); ++i) {
    const SplReading& r = readings[i];
    out += std::to_string(i + 1);
    for (const std::optional<double>& v : {r.level, r.la, r.lc, r.leq, r.laeq, r.lceq}) {
      out += ",";
      if (!v) continue;
      out += FixedPointText(*v, 1);
    }
    out += "\n";
  }
  return out;
}

SPLLevelForm::SPLLevelForm() : QDialog(nullptr) {
  setObjectName("SPLLevelForm");
  setWindowTitle("SPL Meter");
  setModal(true);

  CalBut = Button(this, "CalBut", "Cal", "Calibrate Level");
  RecBut = Button(this, "RecBut", "", "Record");
  RecBut->setIcon(RecordIcon());
  StopBut = Button(this, "StopBut", "", "Stop");
  StopBut->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
  Command2 = Button(this, "Command2", "?");
  Command2->setFixedWidth(32);
  SPLText = EntryBox(this, "SPLText", "100");
  connect(SPLText, &QLineEdit::textEdited, this, &SPLLevelForm::SPLText_Click);
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setRange(0, static_cast<int>(kHighestLevel));
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);

  auto* band = new QGroupBox(this);
  StartFreq = EntryBox(band, "StartFreq");
  FinnishFreq = EntryBox(band, "FinnishFreq");
  auto* bl = new QHBoxLayout(band);
  bl->addWidget(StartFreq);
  bl->addWidget(new QLabel("Hz to", band));
  bl->addWidget(FinnishFreq);
  bl->addWidget(new QLabel("Hz", band));

  TestLength = new QLineEdit(this);
  TestLength->setObjectName("TestLength");
  TestLength->setReadOnly(true);
  TestLength->setFixedWidth(60);
  LeftDown = Button(this, "LeftDown", "<<");
  RightUp = Button(this, "RightUp", ">>");
  auto* noise = new QGroupBox(this);
  WhiteBut = new QRadioButton("white", noise);
  WhiteBut->setObjectName("WhiteBut");
  WhiteBut->setChecked(true);
  PinkBut = new QRadioButton("Pink", noise);
  PinkBut->setObjectName("PinkBut");
  auto* nl = new QHBoxLayout(noise);
  nl->addWidget(WhiteBut);
  nl->addWidget(PinkBut);

  auto* g = new QGridLayout(this);
  g->addWidget(SPLText, 0, 0);
  g->addWidget(new QLabel("dB", this), 0, 1);
  g->addWidget(ProgressBar1, 0, 2, 1, 3);
  g->addWidget(band, 1, 0, 1, 5);
  g->addWidget(LeftDown, 2, 0);
  g->addWidget(TestLength, 2, 1);
  g->addWidget(new QLabel("[ms]", this), 2, 2);
  g->addWidget(RightUp, 2, 3);
  g->addWidget(noise, 3, 0, 1, 5);
  auto* weighted = new QGroupBox(this);
  SPLAText = Reading(weighted, "SPLAText");
  SPLCText = Reading(weighted, "SPLCText");
  LeqText = Reading(weighted, "LeqText");
  LeqAText = Reading(weighted, "LeqAText");
  LeqCText = Reading(weighted, "LeqCText");
  auto* wl = new QGridLayout(weighted);
  wl->addWidget(SPLAText, 0, 0);
  wl->addWidget(new QLabel("dB(A)", weighted), 0, 1);
  wl->addWidget(SPLCText, 0, 2);
  wl->addWidget(new QLabel("dB(C)", weighted), 0, 3);
  wl->addWidget(new QLabel("Leq since Start", weighted), 1, 0, 1, 4);
  wl->addWidget(LeqText, 2, 0);
  wl->addWidget(new QLabel("dB", weighted), 2, 1);
  wl->addWidget(LeqAText, 2, 2);
  wl->addWidget(new QLabel("dB(A)", weighted), 2, 3);
  wl->addWidget(LeqCText, 2, 4);
  wl->addWidget(new QLabel("dB(C)", weighted), 2, 5);
  SaveReadingsBut = Button(this, "SaveReadingsBut", "Save Readings", "Save the readings since Start as CSV");
  g->addWidget(weighted, 5, 0, 1, 5);
  g->addWidget(SaveReadingsBut, 6, 0, 1, 2);
  g->addWidget(CalBut, 4, 0);  // the two share one place
  g->addWidget(RecBut, 4, 0);
  g->addWidget(StopBut, 4, 1);
  g->addWidget(Command2, 4, 4);

  Form_Load();
  connect(CalBut, &QPushButton::clicked, this, &SPLLevelForm::CalBut_Click);
  connect(RecBut, &QPushButton::clicked, this, &SPLLevelForm::RecBut_Click);
  connect(StopBut, &QPushButton::clicked, this, &SPLLevelForm::StopBut_Click);
  connect(LeftDown, &QPushButton::clicked, this, &SPLLevelForm::LeftDown_Click);
  connect(RightUp, &QPushButton::clicked, this, &SPLLevelForm::RightUp_Click);
  connect(Command2, &QPushButton::clicked, this, &SPLLevelForm::Command2_Click);
  connect(SaveReadingsBut, &QPushButton::clicked, this, &SPLLevelForm::SaveReadingsBut_Click);
  connect(WhiteBut, &QRadioButton::clicked, this, &SPLLevelForm::WhiteBut_Click);
  connect(PinkBut, &QRadioButton::clicked, this, &SPLLevelForm::PinkBut_Click);
  connect(StartFreq, &QLineEdit::textChanged, this, &SPLLevelForm::StartFreq_Change);
  connect(FinnishFreq, &QLineEdit::textChanged, this, &SPLLevelForm::FinnishFreq_Change);
}

SPLLevelForm::~SPLLevelForm() { Form_Unload(); }

void SPLLevelForm::Form_Load() {
  SplHwnd = this;
  HookSPLLevelFormMessages();
  Recording = Calibrated = StopRequested = BlockPending = false;
  BandStartHz = 500;
  BandFinnishHz = 5000;
  StartFreq->setText(QString::fromStdString(Str(BandStartHz)));
  FinnishFreq->setText(QString::fromStdString(Str(BandFinnishHz)));
  MeterRate = EQConfig.SampleRate;
  CalBut->show();
  RecBut->hide();
  BlockOrder = 15;
  UpdateBlockLength();
}

void SPLLevelForm::Form_QueryUnload() { StopMeter(); }

void SPLLevelForm::Form_Unload() {
  if (unloaded_) return;
  unloaded_ = true;
  Form_QueryUnload();
  // A block still in flight would hold the card for the next window.
  if (BlockPending) {
    ResetAudio();
    CleanRecIn();
    BlockPending = false;
  }
  if (SplHwnd == this) UnhookSPLLevelFormMessages();
}

void SPLLevelForm::closeEvent(QCloseEvent* e) {
  Form_QueryUnload();
  QDialog::closeEvent(e);
}

void SPLLevelForm::reject() {
  Form_QueryUnload();
  QDialog::reject();
}

bool SPLLevelForm::event(QEvent* e) {
  if (e->type() == WaveEvent::EventType() && static_cast<WaveEvent*>(e)->message() == WaveError) {
    BlockPending = false;
    const std::string lost = StreamLostText();
    StopMeter();
    MsgBox(lost);
    return true;
  }
  return QDialog::event(e);
}

void SPLLevelForm::UpdateBlockLength() {
  BlockOrder = std::clamp(BlockOrder, kLowestOrder, kHighestOrder);
  BlockLength = int32_t{1} << BlockOrder;
  TestLength->setText(QString::fromStdString(Str(BlockMilliseconds(BlockOrder, MeterRate))));
  RecordBufferB.assign(static_cast<size_t>(BlockLength), 0.0f);
  RecordBufferA.assign(static_cast<size_t>(BlockLength), 0.0f);
}

void SPLLevelForm::StepOrder(int32_t step) {
  StopMeter();
  ResetCalibration();
  BlockOrder += step;
  UpdateBlockLength();
}

bool SPLLevelForm::SetUpBand() {
  // Above half the rate the band would read mirrored bins.
  const double highest = std::min(kHighestBandHz, MeterRate / 2.0);
  double v = 0;
  if (!ValidateNumericTextBox(StartFreq, kLowestBandHz, highest, v)) return false;
  BandStartHz = static_cast<float>(v);
  if (!ValidateNumericTextBox(FinnishFreq, BandStartHz, highest, v)) return false;
  BandFinnishHz = static_cast<float>(v);
  RecordBufferB.assign(static_cast<size_t>(BlockLength), 0.0f);
  RecordBufferA.assign(static_cast<size_t>(BlockLength), 0.0f);
  return true;
}

void SPLLevelForm::StopMeter() {
  StopRequested = true;
  Recording = false;
  SPLText->setReadOnly(false);
}

void SPLLevelForm::ResetCalibration() {
  Calibrated = false;
  CalBut->show();
  RecBut->hide();
}

void SPLLevelForm::BandChanged() {
  StopMeter();
  ResetCalibration();
}

void SPLLevelForm::Command2_Click() { ShowHelpTopic(HelpTopic::SPLLevelForm); }

bool SPLLevelForm::RequestBlock() {
  if (RecInPrep(this, WaveDeviceId, MeterRate, BlockLength) != WaveStatus::Ok || RecIn() != WaveStatus::Ok) {
    CleanRecIn();
    MsgBox(kCardError);
    return false;
  }
  BlockPending = true;
  return true;
}

// The user came back to the level after a failed check.
void SPLLevelForm::SPLText_Click() { ClearValidationMark(SPLText); }

void SPLLevelForm::CalBut_Click() {
  if (Recording || BlockPending) return;
  if (!SetUpBand()) return;
  double v = 0;
  if (!ValidateNumericTextBox(SPLText, 0, kHighestLevel, v)) return;
  CalTargetLevel = static_cast<float>(v);
  StopRequested = false;
  RequestBlock();
}

void SPLLevelForm::RecBut_Click() {
  if (Recording || BlockPending || !Calibrated) return;
  if (!SetUpBand()) return;
  SPLText->setReadOnly(true);
  Recording = true;
  StopRequested = false;
  LeqBandSum = LeqASum = LeqCSum = 0;
  LeqBlocks = 0;
  Readings.clear();
  RequestBlock();
}

void SPLLevelForm::ReRec() {
  BlockPending = false;
  if (StopRequested) return;
  if (Calibrated && !Recording) return;  // nothing asked for this block
  const auto n = static_cast<size_t>(BlockLength);
  if (WorkCurve.size() < n) WorkCurve.resize(n);
  if (WorkCurve2.size() < n) WorkCurve2.resize(n);
  const int32_t mic = GetMicChannel();
  if (mic == kMicOnRightInput) CopySingle(RecordBufferB, WorkCurve, BlockLength);
  else if (mic == kMicOnLeftInput) CopySingle(RecordBufferA, WorkCurve, BlockLength);

  const SplBand band = SplBandBins(BandStartHz, BandFinnishHz, BlockLength, MeterRate);
  BandBins = band.bins;
  // Before the band's sum overwrites the block.
  if (!SplWeightedBlockPowers(WorkCurve, BlockOrder, MeterRate, WeightedPowers)) WeightedPowers = {};
  float power = 0;
  if (!SplMeanBandPower(WorkCurve, WorkCurve2, BlockOrder, band, power)) {
    MsgBox("User Error: Filter band is too small: Please increase");
    return;
  }
  BandLevel = SplBandLevel(power, kSilence, LevelValid);
  ++BlocksMeasured;

  if (!Calibrated) {
    // A silent reference would put every later reading tens of dB off.
    if (!LevelValid) {
      MsgBox("User Error 6221: No Input Signal. The meter is not calibrated");
      return;
    }
    CalReferenceLevel = BandLevel;
    CalBandBins = band.bins;
    CalBut->hide();
    RecBut->show();
    Calibrated = true;
    return;
  }
  ShowReading();
  LeqBandSum += double(power) * band.bins;
  LeqASum += WeightedPowers.a;
  LeqCSum += WeightedPowers.c;
  ++LeqBlocks;
  ShowWeighted();
  RequestBlock();
}

std::optional<double> SPLLevelForm::ShownLevelOf(double totalPower) const {
  if (!(totalPower > double(kSilence) * CalBandBins) || CalBandBins < 1) return std::nullopt;
  const double calibration = CalReferenceLevel + 10 * std::log10(double(CalBandBins));
  return SplShownLevel(static_cast<float>(10 * std::log10(totalPower)), static_cast<float>(calibration),
                       CalTargetLevel);
}

void SPLLevelForm::ShowWeighted() {
  SplReading r;
  if (LevelValid) r.level = SplShownLevel(BandLevel, CalReferenceLevel, CalTargetLevel);
  r.la = ShownLevelOf(WeightedPowers.a);
  r.lc = ShownLevelOf(WeightedPowers.c);
  const double blocks = double(std::max<int64_t>(LeqBlocks, 1));
  r.leq = ShownLevelOf(LeqBandSum / blocks);
  r.laeq = ShownLevelOf(LeqASum / blocks);
  r.lceq = ShownLevelOf(LeqCSum / blocks);
  Readings.push_back(r);
  const auto show = [](QLineEdit* e, const std::optional<double>& v) {
    e->setText(v ? QString::fromStdString(Str(static_cast<float>(*v))) : QString("-INF"));
  };
  show(SPLAText, r.la);
  show(SPLCText, r.lc);
  show(LeqText, r.leq);
  show(LeqAText, r.laeq);
  show(LeqCText, r.lceq);
}

void SPLLevelForm::SaveReadingsBut_Click() {
  if (Readings.empty()) {
    MsgBox("User Error: There are no readings to save. Record first.");
    return;
  }
  const std::optional<std::string> path =
      FileSaveDialog({"Save Readings", "CSV files (*.csv)|*.csv", "", "SPLReadings.csv", "csv"});
  if (!path || path->empty()) return;
  if (!WriteWholeFileAtomic(*path, SplReadingsCsv(Readings)))
    MsgBox("Error: The readings could not be written to " + *path);
}

void SPLLevelForm::ShowReading() {
  if (!LevelValid) {
    SPLText->setText("-INF");
    ProgressBar1->setValue(0);
    return;
  }
  const float shown = SplShownLevel(BandLevel, CalReferenceLevel, CalTargetLevel);
  SPLText->setText(QString::fromStdString(Str(shown)));
  ProgressBar1->setValue(static_cast<int>(std::clamp(static_cast<double>(shown), 0.0, kHighestLevel)));
}

}  // namespace zentor
