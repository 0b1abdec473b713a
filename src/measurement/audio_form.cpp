#include "measurement/audio_form.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <exception>
#include <string>

#include "base/shared_state.h"
#include "base/text_number.h"
#include "core/records.h"
#include "core/results_store.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/main_window_links.h"
#include "measurement/eq_audio_module.h"
#include "platform/audio/simulated_sound_card.h"
#include "platform/audio/sound_devices.h"
#include "platform/audio/wave_streaming.h"
#include "platform/dialogs.h"
#include "platform/help.h"
#include "platform/picture.h"
#include "platform/forms.h"
#include "platform/window_placement.h"

namespace zentor {

std::vector<int16_t> PlayBufferA, PlayBufferB;
std::vector<int16_t> TestSignalA, TestSignalB;
std::vector<int16_t> LevelsPlayBufferA, LevelsPlayBufferB;
AudioFormLinks AudioFormHooks;

namespace {

SharedStateRegistrar g_reset([] {
  for (auto* b : {&PlayBufferA, &PlayBufferB, &TestSignalA, &TestSignalB, &LevelsPlayBufferA, &LevelsPlayBufferB})
    b->clear();
  AudioFormHooks = AudioFormLinks{};
});

constexpr int kTimerInterval = 100;  // ms: one tick is a tenth of a second of the run
// Window size in its enlarged state (pixels); the small state is half of it.
constexpr int kBigWidth = 1280;
constexpr int kBigHeight = 720;
// Narrower than this, the buttons move beside the frames and the pictures hide.
constexpr int kCompactWidth = 800;

void Warn(const std::string& text) { MsgBox(text, MsgButtons::OK, MsgIcon::Exclamation, kDefaultTitle); }

DataPlotter* MainWindow() { return Forms::IsLoaded<DataPlotter>() ? Forms::Get<DataPlotter>() : nullptr; }

// A fault inside a stage of a run's start, reported by the stage's number.
struct StageFault {
  const char* message;
};

// Exponents that the buffers can hold; settings come from files and the store.
bool RunFits(int32_t p, int32_t q) {
  return p >= 1 && p <= 18 && q >= 0 && q <= 18 && (int64_t{1} << p) + (int64_t{1} << q) <= kMaxRunFrames;
}

QLineEdit* Field(QWidget* parent, const char* name, const char* text, bool readOnly) {
  auto* e = new QLineEdit(QString::fromUtf8(text), parent);
  e->setObjectName(name);
  e->setReadOnly(readOnly);
  return e;
}

constexpr auto* Caption = &NamedControl<QLabel>;

constexpr auto* Button = &NamedControl<QPushButton>;

constexpr auto* Option = &NamedControl<QRadioButton>;

}  // namespace

int32_t GetPreExcitationExponent(int32_t periodExponent) { return periodExponent < 17 ? 15 : 16; }

AudioForm::AudioForm(QWidget* parent) : QWidget(parent) {
  setObjectName("AudioForm");
  setWindowTitle("Audio Data Gathering");

  Frame1 = new QGroupBox("Test Signal Type", this);
  MLSXOver = Option(Frame1, "MLSXOver", "MLS (Xover Sim)");
  HybridBut = Option(Frame1, "HybridBut", "Hybrid");
  SweepsBut = Option(Frame1, "SweepsBut", "Sweeps");
  MLSText = Field(Frame1, "MLSText", "300", false);
  MLSLabel1 = Caption(Frame1, "MLSLabel1", "Xover");
  MLSLabel2 = Caption(Frame1, "MLSLabel2", "Hz");

  Frame2 = new QGroupBox("Mic/Spkr Distance", this);
  AutoRange = Option(Frame2, "AutoRange", "Auto (full range testing)");
  ManualSub = Option(Frame2, "ManualSub", "Manual");
  MicSpkrDistanceText = Field(Frame2, "MicSpkrDistanceText", "0.0", false);
  DistanceLabel = Caption(Frame2, "DistanceLabel", "[m] Mic Speaker Distance");

  Frame3 = new QGroupBox("Excitation Time", this);
  Check1 = new QCheckBox("PSD", Frame3);
  Check1->setObjectName("Check1");
  Check1->setToolTip("Use Background Noise to shape sweep rate in test");
  PeriodLengthText = Field(Frame3, "PeriodLengthText", "", true);
  PeriodLabel = Caption(Frame3, "PeriodLabel", "TestTime [sec]");
  PreExciteLengthText = Field(Frame3, "PreExciteLengthText", "", true);
  PreExciteLabel = Caption(Frame3, "PreExciteLabel", "Pre-Excitation [sec]");
  Slider2 = new QSlider(Qt::Horizontal, Frame3);
  Slider2->setObjectName("Slider2");
  Slider2->setPageStep(1);
  Slider2->setTickPosition(QSlider::TicksBelow);

  Test = Button(this, "Test", "StartTest");
  PSDRecordBut = Button(this, "PSDRecordBut", "Rec Background Noise (PSD)");
  Levels = Button(this, "Levels", "Check Levels / Quick Impulse");
  Command1 = Button(this, "Command1", "Stop");
  SndCardSelect = Button(this, "SndCardSelect", "Options / Settings");
  Help = Button(this, "Help", "Help");
  MakeBig = Button(this, "MakeBig", "+");
  MakeSmall = Button(this, "MakeSmall", "-");

  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setTextVisible(false);
  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");

  Label6 = Caption(this, "Label6", "dB mic");
  Label7 = Caption(this, "Label7", "dB Ref");
  LeftPeakLevel = Field(this, "LeftPeakLevel", "", true);
  LeftSN = Field(this, "LeftSN", "", true);
  RightPeakLevel = Field(this, "RightPeakLevel", "", true);
  RightSN = Field(this, "RightSN", "", true);
  MicSpkrText = Field(this, "MicSpkrText", "", true);
  ClipLabel = Caption(this, "ClipLabel", "");
  ClipLabel->setStyleSheet("color: #c00000");
  SimRoomLabel = Caption(this, "SimRoomLabel", "");
  MicPic = new PictureBox(this);
  MicPic->setObjectName("MicPic");
  RefPic = new PictureBox(this);
  RefPic->setObjectName("RefPic");
  for (std::size_t k = 0; k < 2; ++k) {
    MaxValCap[k] = Caption(this, "MaxValCap", "");
    MinVal[k] = Caption(this, "MinVal", "");
  }
  MaxTime = Caption(this, "MaxTime", "150 ms");
  MinTime = Caption(this, "MinTime", "-10 ms");

  connect(MLSXOver, &QRadioButton::clicked, this, [this] { MLSXOver_Click(); });
  connect(HybridBut, &QRadioButton::clicked, this, [this] { HybridBut_Click(); });
  connect(SweepsBut, &QRadioButton::clicked, this, [this] { SweepsBut_Click(); });
  connect(AutoRange, &QRadioButton::clicked, this, [this] { AutoRange_Click(); });
  connect(ManualSub, &QRadioButton::clicked, this, [this] { ManualSub_Click(); });
  connect(Test, &QPushButton::clicked, this, [this] { Test_Click(); });
  connect(PSDRecordBut, &QPushButton::clicked, this, [this] { PSDRecordBut_Click(); });
  connect(Levels, &QPushButton::clicked, this, [this] { Levels_Click(); });
  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(SndCardSelect, &QPushButton::clicked, this, [this] { SndCardSelect_Click(); });
  connect(Help, &QPushButton::clicked, this, [this] { Help_Click(); });
  connect(MakeBig, &QPushButton::clicked, this, [this] { MakeBig_Click(); });
  connect(MakeSmall, &QPushButton::clicked, this, [this] { MakeSmall_Click(); });
  connect(Slider2, &QSlider::valueChanged, this, [this] { Slider2_Change(); });
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });

  resize(kBigWidth, kBigHeight);
  Form_Load();
}

AudioForm::~AudioForm() = default;

void AudioForm::Form_Load() {
  AudioFormHwnd = this;
  HookAudioFormMessages();
  SweepWarningShown = kFalse;
  MlsWarningShown = kFalse;
  WindowIsBig = kTrue;
  SoundCardUsed = kFalse;
  for (GraphFrame* f : {&RefFrame, &MicFrame}) {
    f->LogX = kFalse;
    f->XStart = -10;
    f->XFinish = 150;
    f->YLow = -30;
    f->YHigh = 10;
    f->XTitle.clear();
    f->YTitle.clear();
    f->GraphCaption.clear();
    f->PlotLeft = 25;
    f->PlotRight = 1175;
    f->PlotBottom = 1175;
    f->PlotTop = 50;
  }
  RefreshRunSettings();
  AllocateMeasurementBuffers();
  Form_Activate();
}

void AudioForm::Form_Unload() {
  if (unloaded_) return;
  unloaded_ = true;
  // A run still streaming would write into buffers released below.
  if (SoundCardBusy) ResetSound();
  StopProgressTimer();
  UnhookAudioFormMessages();
  if (SoundCardUsed && AudioFormHooks.SaveAutoMixerSettingsOnExit) AudioFormHooks.SaveAutoMixerSettingsOnExit();
  if (DataPlotter* main = MainWindow()) main->EnableDataPlotterPlayRec(kFalse);
  ReleaseMeasurementBuffers();
}

// ---- Settings display ------------------------------------------------------------

void AudioForm::RefreshRunSettings() {
  ShowSignalOptions();
  const bool autoRange = EQConfig.AutoRange != 0;
  AutoRange->setChecked(autoRange);
  ManualSub->setChecked(!autoRange);
  MicSpkrDistanceText->setEnabled(!autoRange);

  const int32_t p = EQConfig.PeriodExponent;
  const int32_t rate = EQConfig.SampleRate;
  const bool usable = rate > 0 && p >= 0 && p <= 30;
  PeriodLengthText->setText(usable ? QString::fromStdString(FormatDouble(std::floor(std::ldexp(1.0, p) / rate) + 1))
                                   : QString());
  {
    const QSignalBlocker block(Slider2);  // the slider's own change handler calls this
    Slider2->setMaximum(18);
    Slider2->setMinimum(16);
    Slider2->setValue(p);
  }
  EQConfig.PreExcitationExponent = GetPreExcitationExponent(p);
  const int32_t q = EQConfig.PreExcitationExponent;
  PreExciteLengthText->setText(
      usable ? QString::fromStdString(FormatDouble(std::trunc(std::ldexp(10.0, q) / rate) / 10)) : QString());
  SetMicOnOffDisplay();
}

void AudioForm::ShowSignalOptions() {
  // Exclusive buttons cannot all be cleared while the group is exclusive.
  for (QRadioButton* b : {MLSXOver, HybridBut, SweepsBut}) b->setAutoExclusive(false);
  MLSXOver->setChecked(EQConfig.MeasConfig == 42);
  HybridBut->setChecked(EQConfig.MeasConfig == 43);
  SweepsBut->setChecked(EQConfig.MeasConfig == 87);
  for (QRadioButton* b : {MLSXOver, HybridBut, SweepsBut}) b->setAutoExclusive(true);
  const bool mls = MLSXOver->isChecked();
  MLSLabel1->setEnabled(mls);
  MLSLabel2->setEnabled(mls);
  MLSText->setEnabled(mls);
}

void AudioForm::SetMicOnOffDisplay() {
  if (MicChannel == kMicOnRightInput) {
    Label6->setText("dB Mic Right");
    Label7->setText("dB Rf Left");
  } else {
    Label6->setText("dB Rf Right");
    Label7->setText("dB Mic Left");
  }
  // The captions change rows with the channels.
  Layout();
}

void AudioForm::Slider2_Change() {
  EQConfig.PeriodExponent = Slider2->value();
  RefreshRunSettings();
}

void AudioForm::Form_Activate() {
  RefreshRunSettings();
  Test->setEnabled(true);
  Levels->setEnabled(true);
  SndCardSelect->setEnabled(static_cast<bool>(MainWindowHooks.ShowSoundCardSelector));
}

// ---- Buffers ---------------------------------------------------------------------

void AudioForm::AllocateMeasurementBuffers() {
  const std::size_t n = kMaxRunFrames + 1;
  RecordBufferA.assign(n, 0.0f);
  RecordBufferB.assign(n, 0.0f);
  for (auto* b : {&PlayBufferB, &PlayBufferA, &TestSignalA, &TestSignalB}) b->assign(n, 0);
  const int32_t l = EQConfig.LevelsPeriodExponent, m = EQConfig.LevelsPreExcitationExponent;
  const std::size_t levels = RunFits(l, m) ? (std::size_t{1} << l) + (std::size_t{1} << m) + 1 : n;
  for (auto* b : {&LevelsPlayBufferB, &LevelsPlayBufferA}) b->assign(levels, 0);
  SweepScratch.assign(std::size_t{1} << 18, 0.0f);
  CrossoverWorkA.assign(kCrossoverWorkSize, 0.0f);
  CrossoverWorkB.assign(kCrossoverWorkSize, 0.0f);
}

void AudioForm::ReleaseMeasurementBuffers() {
  RecordBufferA.assign(2, 0.0f);
  RecordBufferB.assign(2, 0.0f);
  for (auto* b : {&PlayBufferB, &PlayBufferA, &TestSignalA, &TestSignalB, &LevelsPlayBufferB, &LevelsPlayBufferA})
    b->assign(2, 0);
  SweepScratch.assign(2, 0.0f);
  CrossoverWorkA.assign(2, 0.0f);
  CrossoverWorkB.assign(2, 0.0f);
}

// ---- Progress and pointer --------------------------------------------------------

void AudioForm::ShowRunHourglass() {
  if (!hourglass_) hourglass_.emplace();
}

void AudioForm::RestoreRunPointer() { hourglass_.reset(); }

void AudioForm::StartProgressTimer(int32_t p, int32_t q, int32_t rate) {
  ShowRunHourglass();
  if (rate <= 0 || p < 0 || p > 30 || q < 0 || q > 30) {
    MsgBox("Error 4987");
    return;
  }
  const double ticks = std::floor(10.0 * (std::ldexp(1.0, p) + std::ldexp(1.0, q)) / rate);
  ProgressBar1->setMinimum(0);
  ProgressBar1->setValue(0);
  ProgressBar1->setMaximum(static_cast<int>(std::min(ticks, 1e9)));
  Timer1->setInterval(kTimerInterval);
  Timer1->start();
}

void AudioForm::Timer1_Timer() {
  if (!Timer1->isActive()) return;  // a tick queued before the timer stopped
  const int next = ProgressBar1->value() + 1;
  ProgressBar1->setValue(next);
  if (next >= ProgressBar1->maximum()) StopProgressTimer();
}

void AudioForm::StopProgressTimer() {
  Timer1->stop();
  ProgressBar1->setValue(0);
}

void AudioForm::EndRun() {
  StopProgressTimer();
  RestoreRunPointer();
  SoundCardBusy = false;
}

// ---- Streaming -------------------------------------------------------------------

bool AudioForm::StartRunStreaming(std::span<const int16_t> playA, std::span<const int16_t> playB, int32_t n,
                                  int32_t p, int32_t q, int32_t rate) {
  const bool play = !playA.empty() || !playB.empty();
  // An analyser's window opened beside this one sizes the record buffers to its
  // own blocks.
  const std::size_t frames = kMaxRunFrames + 1;
  for (auto* b : {&RecordBufferA, &RecordBufferB})
    if (b->size() < frames) b->assign(frames, 0.0f);
  ShowSimulatedRoom(rate);
  WaveStatus status = WaveStatus::Ok;
  if (play) status = PlayOutPrep(this, WaveDeviceId, rate, playA, playB, n);
  if (status == WaveStatus::Ok) status = RecInPrep(this, WaveDeviceId, rate, n);
  if (status == WaveStatus::Ok) {
    StartProgressTimer(p, q, rate);
    if (play) status = PlayOut();
    if (status == WaveStatus::Ok) status = RecIn();
  }
  if (status == WaveStatus::Ok) return true;
  const std::string why = AudioLastErrorText();
  MsgBox("Error 3850: Sound card could not be started: " + why);
  ResetAudio();
  EndRun();
  return false;
}


void AudioForm::ShowSimulatedRoom(int32_t rate) {
  SimulatedSoundCard& card = SimulatedSoundCard::Instance();
  if (ResolveWaveDevice(WaveDeviceId) != &card) {
    SimRoomLabel->clear();
    return;
  }
  if (!card.Settings().room.empty()) {
    SimRoomLabel->setText("Simulated room: set for the card");
    return;
  }
  const SimulatedRoom room = DescribeSimulatedRoom(rate);
  SimRoomLabel->setText(QString::fromStdString("Simulated room: " + room.name));
  if (room.firstTime) MsgBox(room.problem + "; the simulated card measures its built-in room at 2 m");
}

bool AudioForm::event(QEvent* e) {
  if (e->type() == WaveEvent::EventType() && static_cast<WaveEvent*>(e)->message() == WaveError) {
    const std::string lost = StreamLostText();
    ResetSound();
    MsgBox(lost);
    return true;
  }
  if (e->type() == QEvent::WindowActivate) Form_Activate();
  return QWidget::event(e);
}

void AudioForm::closeEvent(QCloseEvent* e) {
  Form_Unload();
  e->accept();
  deleteLater();
}

// ---- Controls --------------------------------------------------------------------

void AudioForm::MLSXOver_Click() {
  if (!MlsWarningShown) {
    Warn("MLS is high pass filtered. This signal is only good for DSP XOver prototype testing");
    MlsWarningShown = kTrue;
  }
  if (DataPlotter* main = MainWindow()) main->SetMeasConfig(42);
  else EQConfig.MeasConfig = 42;
  ShowSignalOptions();
}

void AudioForm::HybridBut_Click() {
  if (DataPlotter* main = MainWindow()) main->SetMeasConfig(43);
  else EQConfig.MeasConfig = 43;
  ShowSignalOptions();
}

void AudioForm::SweepsBut_Click() {
  if (!SweepWarningShown) {
    Warn("Tone sweeps may damage hearing or high frequency devices. Use hearing protection.");
    SweepWarningShown = kTrue;
  }
  if (DataPlotter* main = MainWindow()) main->SetMeasConfig(87);
  else EQConfig.MeasConfig = 87;
  ShowSignalOptions();
}

void AudioForm::AutoRange_Click() {
  const bool autoRange = AutoRange->isChecked();
  EQConfig.AutoRange = autoRange ? kTrue : kFalse;
  MicSpkrDistanceText->setEnabled(!autoRange);
}

void AudioForm::ManualSub_Click() { AutoRange_Click(); }

void AudioForm::Test_Click() {
  if (ResultsDataSetInfo[0].NumInSet > 0 && EQConfig.SampleRate != ResultsDataSetInfo[0].SampleRate) {
    // The busy flag and a running job's pointer belong to that job.
    MsgBox("User Error: Each curve in a set must have the same sample frequency. Loaded data may have been resampled");
    return;
  }
  SoundCardUsed = kTrue;
  RunMainTest();
}

void AudioForm::PSDRecordBut_Click() {
  if (SoundCardBusy) {
    MsgBox("User Error: Sound card is in use");
    return;
  }
  const char* stage = "Error 3842";
  try {
    SoundCardBusy = true;
    ShowRunHourglass();
    stage = "Error 3849";
    CopyMeasurementHeader(EQConfig, MeasHeader);
    stage = "Error 3848";
    TestMode = -2;
    const int32_t p = MeasHeader.PeriodExponent, q = MeasHeader.PreExcitationExponent;
    if (!RunFits(p, q)) throw StageFault{stage};
    const int32_t n = (1 << p) + (1 << q);
    StartRunStreaming({}, {}, n, p, q, MeasHeader.SampleRate);
  } catch (const StageFault& f) {
    MsgBox(f.message);
    EndRun();
  } catch (const std::exception&) {
    MsgBox(stage);
    EndRun();
  }
}

void AudioForm::Command1_Click() { ResetSound(); }

void AudioForm::ResetSound() {
  if (!SoundCardBusy) return;
  SoundCardBusy = false;
  ResetAudio();
  StopProgressTimer();
  RestoreRunPointer();
}

void AudioForm::SndCardSelect_Click() {
  if (MainWindowHooks.ShowSoundCardSelector) MainWindowHooks.ShowSoundCardSelector();
}

void AudioForm::Help_Click() { ShowHelpTopic(HelpTopic::AudioForm); }

void AudioForm::MakeBig_Click() {
  if (WindowIsBig) return;
  sizeBeforeBig_ = size();
  resize(width() * 2, height() * 2);
  // Doubled, the window may not fit the screen any more.
  FitWindowOnScreen(*this);
  WindowIsBig = kTrue;
  RedrawImpulseEnergyPictures();
}

void AudioForm::MakeSmall_Click() {
  if (!WindowIsBig) return;
  // Half the doubled size, also when the screen held the doubled window back.
  resize(sizeBeforeBig_.isValid() ? sizeBeforeBig_ : size() / 2);
  sizeBeforeBig_ = QSize();
  WindowIsBig = kFalse;
}

// ---- Layout ----------------------------------------------------------------------

void AudioForm::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  Layout();
}

// Controls keep their places; the two pictures share what is right of them. In the
// small state the buttons stand beside the frames so that Stop stays in reach.
void AudioForm::Layout() {
  const int col = 8, colW = 300;
  const bool compact = width() < kCompactWidth;
  Frame1->setGeometry(col, 8, colW, 104);
  MLSXOver->setGeometry(10, 20, 160, 22);
  HybridBut->setGeometry(10, 46, 160, 22);
  SweepsBut->setGeometry(10, 72, 160, 22);
  MLSLabel1->setGeometry(180, 20, 60, 22);
  MLSText->setGeometry(180, 46, 60, 22);
  MLSLabel2->setGeometry(246, 46, 40, 22);

  Frame2->setGeometry(col, 118, colW, 98);
  AutoRange->setGeometry(10, 20, 280, 22);
  ManualSub->setGeometry(10, 44, 100, 22);
  MicSpkrDistanceText->setGeometry(10, 68, 60, 22);
  DistanceLabel->setGeometry(76, 68, 210, 22);

  Frame3->setGeometry(col, 222, colW, 132);
  Check1->setGeometry(10, 20, 280, 22);
  PeriodLengthText->setGeometry(10, 46, 50, 22);
  PeriodLabel->setGeometry(66, 46, 200, 22);
  PreExciteLengthText->setGeometry(10, 72, 50, 22);
  PreExciteLabel->setGeometry(66, 72, 200, 22);
  Slider2->setGeometry(10, 98, 280, 26);

  const int bx = compact ? col + colW + 8 : col;
  int y = compact ? 8 : 362;
  for (QPushButton* b : {Test, PSDRecordBut, Levels, Command1, SndCardSelect}) {
    b->setGeometry(bx, y, colW, 28);
    y += 32;
  }
  Help->setGeometry(bx, y, 96, 28);
  MakeBig->setGeometry(bx + 204, y, 46, 28);
  MakeSmall->setGeometry(bx + 254, y, 46, 28);
  ProgressBar1->setGeometry(bx, y + 34, colW, 18);
  ClipLabel->setGeometry(bx, y + 56, colW, 18);
  SimRoomLabel->setGeometry(bx, y + 76, colW, 18);

  for (QWidget* w : std::initializer_list<QWidget*>{Label6, LeftPeakLevel, LeftSN, MaxValCap[0], MinVal[0], MicPic,
                                                   Label7, RightPeakLevel, RightSN, MaxValCap[1], MinVal[1], RefPic,
                                                   MinTime, MicSpkrText, MaxTime})
    w->setVisible(!compact);
  if (compact) return;
  const int left = col + colW + 16, right = std::max(left + 40, width() - 8);
  const int picW = right - left;
  const int rowH = 24, captionW = 90;
  const int picH = std::max(20, (height() - 8 - 3 * rowH - 16) / 2);
  // Each row holds one channel's caption, levels and picture: the microphone's
  // (the Right boxes) above, the reference's (the Left boxes) below. Label6 names
  // the right input, so it heads the microphone's row only when that is the mic.
  QLabel* micCaption = MicChannel == kMicOnRightInput ? Label6 : Label7;
  QLabel* refCaption = micCaption == Label6 ? Label7 : Label6;
  micCaption->setGeometry(left, 8, captionW, rowH);
  RightPeakLevel->setGeometry(left + captionW, 8, 70, rowH);
  RightSN->setGeometry(left + captionW + 76, 8, 70, rowH);
  MaxValCap[0]->setGeometry(right - 140, 8, 66, rowH);
  MinVal[0]->setGeometry(right - 66, 8, 66, rowH);
  MicPic->setGeometry(left, 8 + rowH + 4, picW, picH);
  const int y2 = 8 + rowH + 4 + picH + 4;
  refCaption->setGeometry(left, y2, captionW, rowH);
  LeftPeakLevel->setGeometry(left + captionW, y2, 70, rowH);
  LeftSN->setGeometry(left + captionW + 76, y2, 70, rowH);
  MaxValCap[1]->setGeometry(right - 140, y2, 66, rowH);
  MinVal[1]->setGeometry(right - 66, y2, 66, rowH);
  RefPic->setGeometry(left, y2 + rowH + 4, picW, picH);
  const int y3 = y2 + rowH + 4 + picH + 4;
  MinTime->setGeometry(left, y3, 80, rowH);
  MicSpkrText->setGeometry(left + picW / 2 - 40, y3, 80, rowH);
  MaxTime->setGeometry(right - 80, y3, 80, rowH);
  MaxTime->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

// ---- Links -----------------------------------------------------------------------

void InstallAudioFormLinks() {
  MainWindowHooks.ShowAudioForm = [] {
    const bool fresh = !Forms::IsLoaded<AudioForm>();
    AudioForm* form = Forms::Get<AudioForm>();
    // Kept over the main window, so that closing the main window still ends the program.
    if (fresh && Forms::IsLoaded<DataPlotter>()) form->setParent(Forms::Get<DataPlotter>(), Qt::Window);
    form->show();
    form->raise();
    form->activateWindow();
    return true;
  };
  MainWindowHooks.UnloadAudioForm = [] { Forms::Unload<AudioForm>(); };
  MainWindowHooks.ResetSound = [] {
    if (Forms::IsLoaded<AudioForm>()) Forms::Get<AudioForm>()->ResetSound();
  };
}

}  // namespace zentor
