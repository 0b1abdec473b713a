// The window procedures of the streaming windows: what each passes on to its
// window, what it handles itself, and the measurement window's recording.
#include <QWidget>
#include <memory>

#include "measurement/eq_audio_module.h"
#include "measurement/wave_clients.h"
#include "support/audio_fixture.h"

namespace zentor::test {
namespace {

// A window that notes what reaches its own event handling and what the procedures call.
class StreamingWindow : public QWidget,
                        public AudioFormWaveClient,
                        public DistFormWaveClient,
                        public RtaWaveClient,
                        public SplWaveClient,
                        public CdTestWaveClient {
 public:
  std::vector<std::string> calls;
  std::vector<int> ownEvents;  // event types the window itself saw
  int32_t phase = 0;
  bool recOn = true;
  bool inside = true;
  int32_t phaseAfterNoise = 1;
  bool rearmInNoise = false;

  bool event(QEvent* e) override {
    ownEvents.push_back(e->type());
    return QWidget::event(e);
  }
  void AudioRecordProcess() override { calls.push_back("AudioRecordProcess"); }
  void SetPlayOn(bool on) override { calls.push_back(on ? "SetPlayOn(true)" : "SetPlayOn(false)"); }
  void SetRecOn(bool on) override {
    recOn = on;
    calls.push_back(on ? "SetRecOn(true)" : "SetRecOn(false)");
  }
  bool GetRecOn() const override { return recOn; }
  int32_t TestPhase() const override { return phase; }
  void ProcessNoise() override {
    calls.push_back("ProcessNoise");
    phase = phaseAfterNoise;
    if (rearmInNoise) recOn = true;
  }
  void ProcessDistortionData() override { calls.push_back("ProcessDistortionData"); }
  bool CheckPlayPointerLocation() override {
    calls.push_back("CheckPlayPointerLocation");
    return inside;
  }
  void RePlay() override { calls.push_back("RePlay"); }
  void ReRec() override { calls.push_back("ReRec"); }
};

class EqAudioModuleTest : public AudioTest {
 protected:
  void SetUp() override {
    AudioTest::SetUp();
    for (auto* slot : {&AudioFormHwnd, &DistFormHwnd, &RtaEqHwnd, &RtaImpHwnd, &SplHwnd, &CdTestHwnd}) *slot = nullptr;
    WaveClientHooks = {};
    window = std::make_unique<StreamingWindow>();
  }
  void TearDown() override {
    window.reset();
    WaveClientHooks = {};
    AudioTest::TearDown();
  }
  bool Send(int32_t message) {
    WaveEvent e(message, 1);
    window->ownEvents.clear();
    QCoreApplication::sendEvent(window.get(), &e);
    return !window->ownEvents.empty();  // true: it reached the window's own handling
  }
  std::unique_ptr<StreamingWindow> window;
};

TEST_F(EqAudioModuleTest, EachProcedureShowsItsTextWithoutAWindowHandlesItsOwnMessagesAndPassesTheRestOn) {
  const struct {
    void (*op)();
    const char* text;
  } cases[] = {
      {HookAudioFormMessages, "Error 2209: Bad Audio Handle"},  {UnhookAudioFormMessages, "Error 2384: Bad Audio Handle"},
      {UnhookDistFormMessages, "error 2384"},                   {HookRTAEQMessages, "Error 2210: Bad Audio Handle"},
      {UnhookRTAEQMessages, "Error 2311: Bad Audio Handle"},    {HookRTAImpMessages, "Error 2210: Bad Audio Handle"},
      {UnhookRTAImpMessages, "Error 2311: Bad Audio Handle"},   {HookSPLLevelFormMessages, "Error 2210: Bad Audio Handle"},
      {UnhookSPLLevelFormMessages, "Error 2311: Bad Audio Handle"}, {HookCDTestMessages, "Error 2210: Bad Audio Handle"},
      {UnhookCDTestMessages, "Error 2311: Bad Audio Handle"},
  };
  for (const auto& c : cases) {
    dialogs.Clear();
    dialogs.ExpectMessage();
    c.op();
    EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{c.text});
  }
  dialogs.Clear();
  HookDistFormMessages();  // fails silently
  EXPECT_TRUE(dialogs.calls().empty());

  SplHwnd = window.get();
  HookSPLLevelFormMessages();
  QEvent custom(static_cast<QEvent::Type>(QEvent::User + 7));
  QCoreApplication::sendEvent(window.get(), &custom);
  EXPECT_EQ(window->ownEvents.back(), QEvent::User + 7);
  EXPECT_TRUE(Send(MM_WOM_DONE)) << "the SPL meter does not handle play completions";
  EXPECT_TRUE(Send(WaveError));
  EXPECT_FALSE(Send(MM_WIM_DATA));
  EXPECT_EQ(window->calls, std::vector<std::string>{"ReRec"});

  UnhookSPLLevelFormMessages();
  window->calls.clear();
  EXPECT_TRUE(Send(MM_WIM_DATA));
  EXPECT_TRUE(window->calls.empty());

  CdTestHwnd = window.get();
  HookCDTestMessages();
  EXPECT_TRUE(Send(MM_WOM_DONE));
  EXPECT_FALSE(Send(MM_WIM_DATA));
  EXPECT_EQ(window->calls, std::vector<std::string>{"ReRec"});

  // The distortion procedure, on a window of its own, reads the phase before and after the noise step.
  window = std::make_unique<StreamingWindow>();
  DistFormHwnd = window.get();
  HookDistFormMessages();
  window->phase = 1;
  window->phaseAfterNoise = 2;
  EXPECT_FALSE(Send(MM_WIM_DATA));
  EXPECT_EQ(window->calls, (std::vector<std::string>{"SetRecOn(false)", "ProcessNoise", "ProcessDistortionData"}));
  // A noise step that starts the distortion recording leaves its data for later.
  window->calls.clear();
  window->phase = 1;
  window->rearmInNoise = true;
  EXPECT_FALSE(Send(MM_WIM_DATA));
  EXPECT_EQ(window->calls, (std::vector<std::string>{"SetRecOn(false)", "ProcessNoise"}));
  window->calls.clear();
  EXPECT_FALSE(Send(MM_WOM_DONE));
  EXPECT_EQ(window->calls, std::vector<std::string>{"SetPlayOn(false)"});

  // The analyser's restarts, drawing only inside the buffer.
  window = std::make_unique<StreamingWindow>();
  RtaEqHwnd = window.get();
  HookRTAEQMessages();
  int frames = 0;
  WaveClientHooks.UpdateEQRTA = [&] { ++frames; };
  EXPECT_FALSE(Send(MM_WIM_DATA));
  window->inside = false;
  EXPECT_FALSE(Send(MM_WIM_DATA));
  EXPECT_FALSE(Send(MM_WOM_DONE));
  EXPECT_EQ(frames, 1);
  EXPECT_EQ(window->calls, (std::vector<std::string>{"CheckPlayPointerLocation", "ReRec", "CheckPlayPointerLocation",
                                                     "ReRec", "RePlay"}));
  HookRTAEQMessages();  // a second install keeps one procedure
  window->calls.clear();
  Send(MM_WOM_DONE);
  EXPECT_EQ(window->calls, std::vector<std::string>{"RePlay"});

  // The measurement window, on a window of its own, gets its recording in the record buffers.
  window = std::make_unique<StreamingWindow>();
  SimulatedCardSettings s = Quiet();
  s.latency = 200;
  UseCard(s);
  AudioFormHwnd = window.get();
  HookAudioFormMessages();
  RecordBufferA.assign(4000, -1.0f);
  RecordBufferB.assign(4000, -1.0f);
  const std::vector<int16_t> left(4000, 1000), right(4000, -2000);
  const int32_t card = -1;  // the default device: here the simulated card
  ASSERT_EQ(PlayOutPrep(window.get(), card, 48000, left, right, 4000), WaveStatus::Ok);
  ASSERT_EQ(RecInPrep(window.get(), card, 48000, 4000), WaveStatus::Ok);
  PlayOut();
  RecIn();
  SimulatedSoundCard::Instance().Advance(4096);
  Pump();
  EXPECT_EQ(window->calls, std::vector<std::string>{"AudioRecordProcess"});
  EXPECT_EQ(RecordBufferA[199], 0.0f);
  EXPECT_EQ(RecordBufferA[200], 1000.0f);
  EXPECT_EQ(RecordBufferB[3999], -2000.0f);
  EXPECT_EQ(InspectStreaming().play, SlotState::Idle) << "the play job was not released";
  EXPECT_EQ(InspectStreaming().record, SlotState::Idle);
  // The microphone channel reads back and reaches the simulated card.
  SetMicChannel(33);
  EXPECT_EQ(GetMicChannel(), 33);
  InstallEqAudioLinks();
  ASSERT_TRUE(SimulatedCardHooks.MicChannel);
  EXPECT_EQ(SimulatedCardHooks.MicChannel(), 33);
  SimulatedCardHooks = {};
}

}  // namespace
}  // namespace zentor::test
