#include "measurement/eq_audio_module.h"

#include "base/shared_state.h"
#include "measurement/wave_clients.h"
#include "platform/audio/simulated_sound_card.h"
#include "platform/audio/wave_streaming.h"
#include "platform/dialogs.h"

namespace zentor {

QPointer<QWidget> AudioFormHwnd;
QPointer<QWidget> DistFormHwnd;
QPointer<QWidget> RtaEqHwnd;
QPointer<QWidget> RtaImpHwnd;
QPointer<QWidget> SplHwnd;
QPointer<QWidget> CdTestHwnd;

std::vector<float> RecordBufferA;
std::vector<float> RecordBufferB;

WaveClientLinks WaveClientHooks;

namespace {

SharedStateRegistrar g_reset([] {
  RecordBufferA.clear();
  RecordBufferB.clear();
});

using WndProc = bool (*)(QObject*, QEvent*);

// A window procedure in place: the window's events pass through it first.
class WaveProcFilter final : public QObject {
 public:
  WaveProcFilter(QWidget* window, WndProc proc) : QObject(window), proc_(proc) { window->installEventFilter(this); }
  bool eventFilter(QObject* watched, QEvent* event) override { return watched == parent() && proc_(watched, event); }

 private:
  WndProc proc_;
};

struct Bridge {
  QPointer<QWidget>* slot;
  WndProc proc;
  const char* hookFailure;    // nullptr: the install fails silently
  const char* unhookFailure;
  QPointer<WaveProcFilter> filter;
};

Bridge g_audio{&AudioFormHwnd, AudioWaveWndProc, "Error 2209: Bad Audio Handle", "Error 2384: Bad Audio Handle", {}};
Bridge g_dist{&DistFormHwnd, DistWaveWndProc, nullptr, "error 2384", {}};
Bridge g_rtaEq{&RtaEqHwnd, RTAEQWaveWndProc, "Error 2210: Bad Audio Handle", "Error 2311: Bad Audio Handle", {}};
Bridge g_rtaImp{&RtaImpHwnd, RTAImpWaveWndProc, "Error 2210: Bad Audio Handle", "Error 2311: Bad Audio Handle", {}};
Bridge g_spl{&SplHwnd, SPLWaveWndProc, "Error 2210: Bad Audio Handle", "Error 2311: Bad Audio Handle", {}};
Bridge g_cdTest{&CdTestHwnd, CDTestWaveWndProc, "Error 2210: Bad Audio Handle", "Error 2311: Bad Audio Handle", {}};

void Hook(Bridge& b) {
  QWidget* window = *b.slot;
  if (!window) {
    if (b.hookFailure) MsgBox(b.hookFailure);
    return;
  }
  if (b.filter && b.filter->parent() == window) return;  // already in place
  b.filter = new WaveProcFilter(window, b.proc);
}

void Unhook(Bridge& b) {
  QWidget* window = *b.slot;
  if (!window) {
    MsgBox(b.unhookFailure);
    return;
  }
  if (b.filter && b.filter->parent() == window) delete b.filter.data();
}

// The completion message of a wave event, 0 for any other event.
int32_t MessageOf(QEvent* event) {
  if (event->type() != WaveEvent::EventType()) return 0;
  return static_cast<WaveEvent*>(event)->message();
}

void FetchRecording() {
  GetRecInData(RecordBufferA, RecordBufferB);
  CleanRecIn();
}

bool RtaProc(QObject* window, QEvent* event, const std::function<void()>& update) {
  auto* rta = dynamic_cast<RtaWaveClient*>(window);
  switch (MessageOf(event)) {
    case MM_WOM_DONE:
      if (rta) rta->RePlay();
      return true;
    case MM_WIM_DATA:
      FetchRecording();
      if (rta && rta->CheckPlayPointerLocation() && update) update();
      if (rta) rta->ReRec();
      return true;
    default:
      return false;
  }
}

}  // namespace

void HookAudioFormMessages() { Hook(g_audio); }
void UnhookAudioFormMessages() { Unhook(g_audio); }
void HookDistFormMessages() { Hook(g_dist); }
void UnhookDistFormMessages() { Unhook(g_dist); }
void HookRTAEQMessages() { Hook(g_rtaEq); }
void UnhookRTAEQMessages() { Unhook(g_rtaEq); }
void HookRTAImpMessages() { Hook(g_rtaImp); }
void UnhookRTAImpMessages() { Unhook(g_rtaImp); }
void HookSPLLevelFormMessages() { Hook(g_spl); }
void UnhookSPLLevelFormMessages() { Unhook(g_spl); }
void HookCDTestMessages() { Hook(g_cdTest); }
void UnhookCDTestMessages() { Unhook(g_cdTest); }

bool IsWaveError(const QEvent* event) {
  return event->type() == WaveEvent::EventType() && static_cast<const WaveEvent*>(event)->message() == WaveError;
}

bool AudioWaveWndProc(QObject* window, QEvent* event) {
  switch (MessageOf(event)) {
    case MM_WOM_DONE:
      CleanPlayOut();
      return true;
    case MM_WIM_DATA:
      FetchRecording();
      if (auto* form = dynamic_cast<AudioFormWaveClient*>(window)) form->AudioRecordProcess();
      return true;
    default:
      return false;
  }
}

bool DistWaveWndProc(QObject* window, QEvent* event) {
  auto* dist = dynamic_cast<DistFormWaveClient*>(window);
  switch (MessageOf(event)) {
    case MM_WOM_DONE:
      CleanPlayOut();
      if (dist) dist->SetPlayOn(false);
      return true;
    case MM_WIM_DATA:
      if (!dist) return true;
      dist->SetRecOn(false);
      if (dist->TestPhase() == 1) dist->ProcessNoise();
      // Read again: the noise step may have moved on to the distortion phase.
      if (dist->TestPhase() == 2 && !dist->GetRecOn()) dist->ProcessDistortionData();
      return true;
    default:
      return false;
  }
}

bool RTAEQWaveWndProc(QObject* window, QEvent* event) { return RtaProc(window, event, WaveClientHooks.UpdateEQRTA); }

bool RTAImpWaveWndProc(QObject* window, QEvent* event) {
  return RtaProc(window, event, WaveClientHooks.UpdateImpRTA);
}

bool SPLWaveWndProc(QObject* window, QEvent* event) {
  if (MessageOf(event) != MM_WIM_DATA) return false;
  FetchRecording();
  if (auto* spl = dynamic_cast<SplWaveClient*>(window)) spl->ReRec();
  return true;
}

bool CDTestWaveWndProc(QObject* window, QEvent* event) {
  if (MessageOf(event) != MM_WIM_DATA) return false;
  FetchRecording();
  if (auto* cd = dynamic_cast<CdTestWaveClient*>(window)) cd->ReRec();
  return true;
}

void InstallEqAudioLinks() {
  SimulatedCardHooks.MicChannel = [] { return GetMicChannel(); };
}

}  // namespace zentor
