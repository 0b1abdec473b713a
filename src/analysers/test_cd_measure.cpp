#include "analysers/test_cd_measure.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <cmath>

#include "base/binary_io.h"
#include "base/text_number.h"
#include "core/results_store.h"
#include "mainwindow/data_plotter.h"
#include "measurement/auto_mixer.h"
#include "measurement/eq_audio_module.h"
#include "platform/audio/wave_streaming.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/help.h"

namespace zentor {

namespace {

constexpr float kFullScale = 15000.0f;  // the level that reads 0 dB
constexpr float kImpulsePeak = 32000.0f;
constexpr int32_t kProgressSteps = 7;
constexpr int64_t kLargestCorrectionFile = 64LL << 20;
constexpr const char* kNoSignal = "Error: No Input Signal";
constexpr const char* kFileError = "Error 3428: File Error";

DataPlotter* MainWindow() { return Forms::IsLoaded<DataPlotter>() ? Forms::Get<DataPlotter>() : nullptr; }

constexpr auto* Button = &NamedControl<QPushButton>;

QLineEdit* Field(QWidget* parent, const char* name, const char* text) {
  auto* f = new QLineEdit(text, parent);
  f->setObjectName(name);
  f->setReadOnly(true);
  return f;
}

float LargestMagnitude(std::span<const float> x, int32_t n) {
  n = std::clamp(n, 0, static_cast<int32_t>(x.size()));
  float peak = 0;
  for (int32_t i = 0; i < n; ++i) peak = std::max(peak, std::fabs(x[static_cast<size_t>(i)]));
  return peak;
}

}  // namespace

bool LoadedRateMatches(int32_t rate) {
  return ResultsDataSetInfo[0].NumInSet < 1 || ResultsDataSetInfo[0].SampleRate == rate;
}

CDTest::CDTest(QWidget* parent) : QDialog(parent) {
  setObjectName("CDTest");
  setWindowTitle("Test CD Recording");
  setModal(true);
  RecBut = Button(this, "RecBut", "Rec");
  CalibrateBut = Button(this, "CalibrateBut", "Cal");
  DeleteResults = Button(this, "DeleteResults", "Delete");
  HelpBut = Button(this, "HelpBut", "Help");
  ChannelText = Field(this, "ChannelText", "Full Range Speaker Only");
  PeakText = Field(this, "PeakText", "");
  SNText = Field(this, "SNText", "");
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setMaximum(kProgressSteps);

  auto* frame = new QGroupBox(this);
  auto* f = new QGridLayout(frame);
  f->addWidget(new QLabel("Level", frame), 0, 0);
  f->addWidget(PeakText, 0, 1);
  f->addWidget(new QLabel("dB", frame), 0, 2);
  f->addWidget(new QLabel("S/N", frame), 1, 0);
  f->addWidget(SNText, 1, 1);
  f->addWidget(new QLabel("dB", frame), 1, 2);
  auto* g = new QGridLayout(this);
  g->addWidget(ChannelText, 0, 0, 1, 4);
  g->addWidget(frame, 1, 0, 1, 4);
  g->addWidget(RecBut, 2, 0);
  g->addWidget(CalibrateBut, 2, 1);
  g->addWidget(DeleteResults, 2, 2);
  g->addWidget(HelpBut, 2, 3);
  g->addWidget(ProgressBar1, 3, 0, 1, 4);

  connect(RecBut, &QPushButton::clicked, this, [this] { RecBut_Click(); });
  connect(CalibrateBut, &QPushButton::clicked, this, [this] { CalibrateBut_Click(); });
  connect(DeleteResults, &QPushButton::clicked, this, [this] { DeleteResults_Click(); });
  connect(HelpBut, &QPushButton::clicked, this, [this] { HelpBut_Click(); });
  Form_Load();
}

CDTest::~CDTest() {
  int16_t cancel = 0;
  RecordingOn = false;
  Form_Unload(cancel);
}

void CDTest::Form_Load() {
  CdTestHwnd = this;
  HookCDTestMessages();
  ProgressBar1->hide();
  RecordingOn = false;
  RecordRate = EQConfig.SampleRate;
  // A refused description leaves the references silent; the builder has said why.
  Work.Prepare(CDSignalParams, RecordRate);
  const auto length = static_cast<size_t>(std::max(Work.RecordLength, 0));
  RecordBufferA.assign(length, 0.0f);
  RecordBufferB.assign(length, 0.0f);
  RecBut->setEnabled(true);
  ProgressBar1->setValue(0);
}

void CDTest::Form_QueryUnload(int16_t& Cancel) {
  if (!RecordingOn) return;
  MsgBox("User Error: The recording & processing must finish before exiting");
  Cancel = 1;
}

void CDTest::Form_Unload(int16_t& Cancel) {
  if (unloaded_) return;
  Form_QueryUnload(Cancel);
  if (Cancel) return;
  unloaded_ = true;
  SaveAutoMixerSettingsOnExit();
  if (CdTestHwnd == this) UnhookCDTestMessages();
}

void CDTest::closeEvent(QCloseEvent* e) {
  int16_t cancel = 0;
  Form_Unload(cancel);
  if (cancel) e->ignore();
  else QDialog::closeEvent(e);
}

void CDTest::reject() {
  int16_t cancel = 0;
  Form_Unload(cancel);
  if (!cancel) QDialog::reject();
}

void CDTest::SetChannelBackground(int r, int g, int b) {
  QPalette p = ChannelText->palette();
  p.setColor(QPalette::Base, QColor(r, g, b));
  ChannelText->setPalette(p);
}

void CDTest::Step() { ProgressBar1->setValue(std::min(ProgressBar1->value() + 1, ProgressBar1->maximum())); }

void CDTest::StartTestCDRecording() {
  if (RecordingOn) return;
  const int32_t cdRate = CDSignalParams.SampleRate;
  // Below the CD's rate the block outgrows the work signal and the tones leave the spectrum.
  if (RecordRate < cdRate || Work.RecordLength <= 0 || Work.RecordLength > kTestCDWorkSize) {
    MsgBox("User Error 6230: Test CD recording needs a sample rate of at least 44100 Hz");
    return;
  }
  if (!LoadedRateMatches(cdRate)) {
    MsgBox("User Error: Loaded measurements are not sampled at " + std::to_string(cdRate));
    return;
  }
  RecordingOn = true;
  channelBefore_ = ChannelText->text();
  channelPaletteBefore_ = ChannelText->palette();
  if (RecInPrep(this, WaveDeviceId, RecordRate, Work.RecordLength) != WaveStatus::Ok || RecIn() != WaveStatus::Ok) {
    AbandonRecording();
    return;
  }
  SetChannelBackground(255, 0, 0);
  ChannelText->setText("Recording");
}

void CDTest::AbandonRecording(bool lost) {
  const std::string said = lost ? StreamLostText() : "Error Initializing Sound Card";
  ResetAudio();
  RecordingOn = false;
  ChannelText->setPalette(channelPaletteBefore_);
  ChannelText->setText(channelBefore_);
  MsgBox(said);
}

bool CDTest::event(QEvent* e) {
  if (!IsWaveError(e)) return QDialog::event(e);
  AbandonRecording(true);
  return true;
}

void CDTest::ReRec() {
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{RecordingOn};
  ProcessTestCDRecording();
}

void CDTest::ProcessTestCDRecording() {
  ProgressBar1->show();
  ProgressBar1->setValue(0);
  Step();
  const std::vector<float>& mic = GetMicChannel() == kMicOnLeftInput ? RecordBufferA : RecordBufferB;
  std::fill(Work.WorkSignal.begin(), Work.WorkSignal.end(), 0.0f);
  const auto count = std::min({mic.size(), Work.WorkSignal.size(), static_cast<size_t>(std::max(Work.RecordLength, 0))});
  std::copy_n(mic.begin(), count, Work.WorkSignal.begin());
  SetChannelBackground(208, 208, 208);

  const float peak = LargestMagnitude(Work.WorkSignal, Work.RecordLength);
  if (!(peak > 0) || !std::isfinite(peak)) {
    PeakText->setText("-INF");
    SNText->setText("0");
    ProgressBar1->setValue(0);
    MsgBox(kNoSignal);
    return;
  }
  PeakLevel = 20.0f * std::log10(peak / kFullScale);
  PeakText->setText(QString::fromStdString(Str(static_cast<float>(Fix(PeakLevel * 10.0f) / 10.0))));
  ExtractTestCDImpulse(CDSignalParams, Work, [this] { Step(); });
  ShowTestCDChannel(Work.ChannelCode);
  StoreTestCDResult();
}

bool CDTest::ShowTestCDChannel(int32_t code) {
  switch (code) {
    case kTestCDLeft: ChannelText->setText("Left"); return true;
    case kTestCDRight: ChannelText->setText("Right"); return true;
    case kTestCDCentre: ChannelText->setText("Center"); return true;
    default: return false;
  }
}

void CDTest::StoreTestCDResult() {
  const TestCDSettings& p = CDSignalParams;
  const int32_t n = Work.PeriodLength;
  CopyMeasurementHeader(EQConfig, ResultHeader);
  ResultHeader.SampleRate = p.SampleRate;
  ResultHeader.PeriodExponent = p.Order;
  ResultHeader.PreExcitationExponent = p.Order - 1;
  ResultHeader.AutoRange = kTrue;
  ResultHeader.ImpulseShift = -CLng(0.05 * p.SampleRate);
  ResultHeader.MicSpeakerDistance = 0;
  ResultHeader.CrossoverFrequency = 0;
  ResultHeader.MeasuredDistance = 0;
  ResultHeader.AlignmentShift = 0;

  const float peak = LargestMagnitude(Work.WorkSignal, Work.RecordLength);
  if (!(peak > 0) || !std::isfinite(peak)) {
    ProgressBar1->hide();
    ProgressBar1->setValue(0);
    MsgBox(kNoSignal);
    return;
  }
  ResultHeader.LevelMultiplier = kImpulsePeak / peak;

  std::string sn = "0.0";
  if (TestCDSignalToNoise(Work.WorkSignal, n, SignalToNoise))
    sn = FormatSingle(static_cast<float>(Fix(SignalToNoise) / 10.0));
  SNText->setText(QString::fromStdString(sn));
  const std::string level = PeakText->text().toStdString();
  // The CD's left channel carries variant -1: its result goes on the "L:" line.
  const bool left = Work.ChannelCode == kTestCDLeft;
  AddMeasurementToResults(std::span<float>(Work.WorkSignal).first(static_cast<size_t>(n)), ResultHeader,
                          left ? "0" : sn, left ? sn : "0", "0", left ? "0" : level, left ? level : "0");
  if (DataPlotter* main = MainWindow()) main->ShowResult();
  ProgressBar1->hide();
  ProgressBar1->setValue(0);
}

void CDTest::DeleteResults_Click() {
  const int32_t held = ResultsDataSetInfo[0].NumInSet;
  if (held < 1) return;
  if (DataPlotter* main = MainWindow()) {
    main->RemoveResult(held);
    main->DisplayResults(0);
  } else {
    RemoveResultFromStore(held);
  }
}

void CDTest::HelpBut_Click() { ShowHelpTopic(HelpTopic::TestCD); }

void CDTest::CalibrateBut_Click() {
  Work.CorrectionOn = false;
  const std::optional<std::string> path = FileOpenDialog({"Open *.cfa File", "CFA files (*.cfa)|*.cfa", "", ""});
  if (!path || path->empty()) return;
  std::vector<uint8_t> bytes;
  ProgressBar1->show();
  ProgressBar1->setValue(0);
  const bool read = ReadWholeFile(*path, bytes, kLargestCorrectionFile);
  Step();
  const bool loaded = read && LoadTestCDCorrection(CDSignalParams, bytes, Work);
  ProgressBar1->hide();
  ProgressBar1->setValue(0);
  if (!loaded) MsgBox(kFileError);
}

}  // namespace zentor
