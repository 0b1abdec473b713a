#include "analysers/rta_cycle.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "analysers/rta_display.h"
#include "core/records.h"
#include "core/test_signals.h"
#include "measurement/auto_mixer.h"
#include "measurement/eq_audio_module.h"
#include "platform/audio/wave_streaming.h"
#include "platform/dialogs.h"
#include "platform/numeric/numeric.h"

namespace zentor {

int32_t BlockMilliseconds(int32_t order, int32_t sampleRate) {
  if (sampleRate <= 0) return 0;
  return static_cast<int32_t>((int64_t{1} << std::clamp(order, 0, 30)) * 1000 / sampleRate);
}

bool RtaCycle::CheckPlayPointerLocation() {
  GetTimePointer(TimePointer);
  const bool inside = TimePointer >= BlockSize && TimePointer <= kPlayLength - BlockSize;
  ++(inside ? AnalysedBlocks : DroppedBlocks);
  return inside;
}

void RtaCycle::RePlay() {
  CleanPlayOut();
  if (StopPlaying) return;
  PlayOutPrep(window_, WaveDeviceId, rate_, RtaPlayBuffer1, RtaPlayBuffer2, kPlayLength);
  PlayOut();
}

void RtaCycle::ReRec() {
  if (!StopRecording) {
    RecInPrep(window_, WaveDeviceId, rate_, BlockSize);
    RecIn();
  }
  StopRecording = false;
}

int32_t RtaCycle::BuildRtaPlayBuffer(int32_t sampleRate) {
  BlockSize = int32_t{1} << MLSOrder;
  const auto n = static_cast<size_t>(BlockSize);
  RecordBufferB.assign(n, 0.0f);
  RecordBufferA.assign(n, 0.0f);
  MLSPeriod.assign(n, 0);
  BuildMLSSequence(MLSPeriod, MLSOrder, kSequenceAmplitude);
  RtaPlayBuffer1.resize(kPlayLength);
  for (size_t j = 0; j < static_cast<size_t>(kPlayLength); j += n)
    std::copy(MLSPeriod.begin(), MLSPeriod.end(), RtaPlayBuffer1.begin() + static_cast<std::ptrdiff_t>(j));
  TaperEndOfIntegerArrayC(RtaPlayBuffer1, kFadeLength, kPlayLength);
  TaperStartOfIntegerArrayC(RtaPlayBuffer1, kFadeLength);
  RtaPlayBuffer2 = RtaPlayBuffer1;
  return BlockMilliseconds(MLSOrder, sampleRate);
}

bool RtaCycle::StartStreaming(int32_t sampleRate) {
  rate_ = sampleRate;
  // A block queued before the last stop would hold the record slot: a start soon
  // after a stop cancels it (a cancelled block never arrives).
  const StreamingView busy = InspectStreaming();
  if (busy.play != SlotState::Idle || busy.record != SlotState::Idle) {
    ResetAudio();
    CleanPlayOut();
    CleanRecIn();
  }
  RtaStopped = false;
  StopRecording = false;
  StopPlaying = false;
  const bool ok = PlayOutPrep(window_, WaveDeviceId, sampleRate, RtaPlayBuffer1, RtaPlayBuffer2, kPlayLength) ==
                      WaveStatus::Ok &&
                  RecInPrep(window_, WaveDeviceId, sampleRate, BlockSize) == WaveStatus::Ok &&
                  PlayOut() == WaveStatus::Ok && RecIn() == WaveStatus::Ok;
  if (ok) return true;
  AbandonRun();
  return false;
}

void RtaCycle::AbandonRun(bool lost) {
  const std::string said = lost ? StreamLostText() : "Error Initializing Sound Card";
  ResetAudio();
  CleanPlayOut();
  CleanRecIn();
  if (!RtaStopped) CloseRTA();
  RtaStopped = true;
  StopPlaying = StopRecording = false;
  MsgBox(said);
}

void RtaCycle::StopRta() {
  if (RtaStopped) return;
  CloseRTA();
  RtaStopped = true;
  ResetPlayAudio();
  StopPlaying = true;
  StopRecording = true;
}

namespace {

constexpr ColourRef kIndicatorIdle = RGB(224, 224, 224);

void Paint(QPushButton* b, ColourRef c) {
  b->setStyleSheet(QString("background-color: rgb(%1, %2, %3); border: 1px solid gray;")
                       .arg(RedOf(c))
                       .arg(GreenOf(c))
                       .arg(BlueOf(c)));
}

}  // namespace

RtaWindow::RtaWindow(const char* name, const char* caption, void (*unhook)())
    : QDialog(nullptr), RtaCycle(this), unhook_(unhook) {
  setObjectName(name);
  setWindowTitle(caption);
  Picture1 = new QPushButton(this);
  Picture1->setObjectName("Picture1");
  Picture1->setFixedSize(24, 24);
  Paint(Picture1, kIndicatorIdle);
  FlashLabel = new QLabel("On", this);
  FlashLabel->setObjectName("FlashLabel");
  connect(Picture1, &QPushButton::clicked, this, &RtaWindow::Picture1_Click);
}

bool RtaWindow::event(QEvent* e) {
  if (!IsWaveError(e)) return QDialog::event(e);
  AbandonRun(true);
  return true;
}

void RtaWindow::Flash(ColourRef colour) {
  if (!FlashOn) return;
  ++FlashCount;
  Paint(Picture1, colour);
  Picture1->repaint();
  Paint(Picture1, kIndicatorIdle);
}

void RtaWindow::Picture1_Click() {
  FlashOn = !FlashOn;
  FlashLabel->setText(FlashOn ? "On" : "Off");
}

void RtaWindow::ClaimIndicator() {
  RtaDisplayHooks.Flash = [this](ColourRef c) { Flash(c); };
}

bool RtaWindow::RefuseWhileRunning() {
  if (RtaStopped) return false;
  MsgBox("User Error: The RTA must be stopped before closing");
  return true;
}

void RtaWindow::Form_Unload(int16_t& Cancel) {
  if (RefuseWhileRunning()) {
    Cancel = 1;
    return;
  }
  RtaDisplayHooks.Flash = {};
  unhook_();
  SaveAutoMixerSettingsOnExit();
}

void RtaWindow::reject() {
  if (!RefuseWhileRunning()) QDialog::reject();
}

void RtaWindow::closeEvent(QCloseEvent* e) {
  if (RefuseWhileRunning())
    e->ignore();
  else
    QDialog::closeEvent(e);
}

}  // namespace zentor
