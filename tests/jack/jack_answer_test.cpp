// What a new user meets on a real server: the card ticked in a fresh program is
// the card that measures; a frozen server never holds up the window; the wiring
// outlasts an orderly stop, a rate change and a client that was away.
#include <QLabel>
#include <QProcess>
#include <condition_variable>
#include <mutex>

#include "analysers/rta_eq.h"
#include "jack_fixture.h"
#include "mainwindow/main_window_links.h"

namespace zentor::test {
namespace {

constexpr const char* kRefused = "Error 3850: Sound card could not be started: ";
constexpr const char* kStopped = "Error 3852: Sound card stopped during the recording: ";

// Lets a frozen server go on after `seconds` however the test goes, and tells
// whether it did: what the test saw before that, the window did not wait for.
class Thaw {
 public:
  Thaw(const JackServer& server, int seconds) : server_(server) {
    server_.Freeze();
    thread_ = std::thread([this, seconds] {
      std::unique_lock hold(lock_);
      if (!wake_.wait_for(hold, std::chrono::seconds(seconds), [this] { return done_; })) thawed_ = true;
      server_.Resume();
    });
  }
  ~Thaw() { Now(); }
  // False when the guard had to let the server go on already.
  bool StillFrozen() {
    std::lock_guard hold(lock_);
    return !thawed_;
  }
  void Now() {
    {
      std::lock_guard hold(lock_);
      done_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

 private:
  const JackServer& server_;
  std::mutex lock_;
  std::condition_variable wake_;
  bool done_ = false, thawed_ = false;
  std::thread thread_;
};

class JackAnswerTest : public JackTest {
 protected:
  int32_t Stored() const { return ResultsDataSetInfo[0].NumInSet; }
  std::string Notes() const { return main->GetUserNotes(); }
  // Measures and says whether a result was stored, flat through the loopback.
  void MeasuresFlat() {
    const int32_t before = Stored();
    Measure(87);
    ASSERT_EQ(Stored(), before + 1) << (dialogs.MessageTexts().empty() ? "" : dialogs.MessageTexts().back());
    EXPECT_LE(Flatness(Response(Stored() - 1, 100, 10000)), 0.2);
  }
};

TEST_F(JackAnswerTest, AFreshProgramMeasuresThroughTheCardItTicksAtTheRateItOffers) {
  patch.Wire(JackPatch::Wiring::Loopback);
  // As at a first start: nothing chosen, a rate the server does not run at.
  Forms::Unload<SoundCardSelectorForm>();
  CloseClient();
  ForgetSoundDevices();
  WaveDeviceId = -1;
  EQConfig.SampleRate = 44100;
  ASSERT_TRUE(MainWindowHooks.SetUpSoundCardSelection());
  auto* card = Forms::Get<SoundCardSelectorForm>();
  const auto ticked = std::find_if(card->InputCard.begin(), card->InputCard.end(),
                                   [](QRadioButton* b) { return b->isChecked(); });
  ASSERT_NE(ticked, card->InputCard.end());
  EXPECT_EQ((*ticked)->text().toStdString(), "system");
  EXPECT_FALSE(card->FortyFourPointOne->isEnabled());
  EXPECT_TRUE(card->FortyEight->isChecked());
  EXPECT_EQ(EQConfig.SampleRate, 48000);

  AudioForm* f = Forms::Get<AudioForm>();
  f->RefreshRunSettings();
  f->Test->click();
  ASSERT_TRUE(WaitWhile([] { return !RecordRunning(); }));
  EXPECT_EQ(patch.Ports("^Zentor:").size(), 4u);
  ASSERT_TRUE(WaitWhile([] { return SoundCardBusy; }));
  ASSERT_EQ(Stored(), 1);
  EXPECT_NE(Notes().find("Result 1: measured on system at 48000 Hz"), std::string::npos) << Notes();
  EXPECT_TRUE(f->SimRoomLabel->text().isEmpty());

  // The simulated card's result says what it is, in the window and in the notes.
  UseCard(Quiet());
  card->InputCard[static_cast<std::size_t>(Sim())]->click();
  f->Test->click();
  for (int i = 0; i < 400 && SoundCardBusy; ++i) Run(1000);
  ASSERT_EQ(Stored(), 2);
  EXPECT_NE(Notes().find("Result 2: simulated on " + std::string(kSimulatedCardName) + " at 48000 Hz"),
            std::string::npos)
      << Notes();
  EXPECT_TRUE(f->SimRoomLabel->text().startsWith("Simulated room: "));
}

// Frozen at Start, at the card window's opening, for the command line's list and
// in a running measurement: each answers while the server is still frozen, and
// Start measures once it goes on.
TEST_F(JackAnswerTest, AFrozenServerIsReportedWhileFrozenAndMeasuresAgainAfter) {
  patch.Wire(JackPatch::Wiring::Loopback);
  CloseClient();
  {
    Thaw thaw(*Server(), 20);
    dialogs.ExpectMessage();
    Forms::Get<AudioForm>()->Test->click();
    EXPECT_FALSE(SoundCardBusy);
    EXPECT_EQ(dialogs.MessageTexts().back(), std::string(kRefused) + kJackNotAnswering);

    dialogs.ExpectMessage();
    MainWindowHooks.ShowSoundCardSelector();
    EXPECT_EQ(dialogs.MessageTexts().back(), kJackNotAnswering);
    auto* card = Forms::Get<SoundCardSelectorForm>();
    EXPECT_TRUE(std::any_of(card->InputCard.begin(), card->InputCard.end(),
                            [](QRadioButton* b) { return b->text() == "system"; }));

    QProcess list;
    list.start(QStringLiteral(ZENTOR_PROGRAM), {"measure", "--list-devices"});
    ASSERT_TRUE(list.waitForFinished(15000));
    const QString text = QString::fromUtf8(list.readAllStandardOutput());
    EXPECT_TRUE(text.contains("system (not answering): Hz\n")) << text.toStdString();
    EXPECT_TRUE(thaw.StillFrozen());
  }
  ASSERT_TRUE(ChooseDevice("system"));
  MeasuresFlat();

  dialogs.ExpectMessage();
  Forms::Get<AudioForm>()->RefreshRunSettings();
  Forms::Get<AudioForm>()->Test->click();
  ASSERT_TRUE(WaitWhile([] { return !RecordRunning(); }));
  {
    Thaw thaw(*Server(), 20);
    AdvanceWaveClock(60000);  // the recording's deadline passes
    ASSERT_TRUE(WaitWhile([] { return SoundCardBusy; }));
    EXPECT_TRUE(thaw.StillFrozen());
    EXPECT_EQ(dialogs.MessageTexts().back(), std::string(kStopped) + kJackNotAnswering);
  }
  MeasuresFlat();
}

// An orderly stop mid-measurement and mid-analyser, the server then started again:
// the remembered wires to the hardware are made again and a measurement is exact.
TEST_F(JackAnswerTest, AnOrderlyStopKeepsTheWiring) {
  const std::set<std::pair<std::string, std::string>> hardware{{":left_out", "system:playback_1"},
                                                               {":right_out", "system:playback_2"}};
  auto wiredToHardware = [&] {
    const std::set<std::pair<std::string, std::string>> now = RememberedJackWiring();
    return std::includes(now.begin(), now.end(), hardware.begin(), hardware.end());
  };
  for (const bool analyser : {false, true}) {
    SCOPED_TRACE(analyser ? "RTAEQ" : "AudioForm");
    patch.Wire(JackPatch::Wiring::Loopback);
    dialogs.ExpectMessage();
    if (analyser) Forms::Get<RTAEQ>()->Play->click();
    else Forms::Get<AudioForm>()->Test->click();
    ASSERT_TRUE(WaitWhile([] { return !RecordRunning(); }));
    patch.Close();
    Server()->Stop();
    ASSERT_TRUE(WaitWhile([analyser] { return analyser ? !Forms::Get<RTAEQ>()->RtaStopped : SoundCardBusy; }));
    if (analyser) {
      EXPECT_TRUE(Forms::Unload<RTAEQ>());
      EXPECT_TRUE(Forms::Unload<AudioForm>());
    }
    EXPECT_TRUE(wiredToHardware());
    ZENTOR_START_JACK(*Server());
    ASSERT_EQ(patch.Open(), "");
    patch.Wire(JackPatch::Wiring::Loopback);
    MeasuresFlat();
    EXPECT_EQ(patch.Connections("Zentor:left_out"),
              (std::vector<std::string>{"Zentor:reference_in", "system:playback_1"}));
    EXPECT_TRUE(wiredToHardware());
  }
}

// The server back at another rate, then at the first: Start asks it each time.
TEST_F(JackAnswerTest, StartAsksTheServerItsRate) {
  patch.Wire(JackPatch::Wiring::Loopback);
  MeasuresFlat();
  for (const int32_t rate : {44100, 48000}) {
    CloseClient();
    patch.Close();
    Server()->Stop();
    Server()->SetRate(rate);
    ZENTOR_START_JACK(*Server());
    ASSERT_EQ(patch.Open(), "");
    patch.Wire(JackPatch::Wiring::Loopback);
    if (rate == 48000) {
      MeasuresFlat();
      continue;
    }
    dialogs.ExpectMessage();
    Forms::Get<AudioForm>()->Test->click();
    EXPECT_FALSE(SoundCardBusy);
    EXPECT_EQ(dialogs.MessageTexts().back(),
              std::string(kRefused) + "The sound card does not support a sample rate of 48000 Hz");
  }
}

// The user wires the program through another client by hand; that client is away
// at one Start and back at the next, which measures through it again.
TEST_F(JackAnswerTest, AWiredClientAwayAndBackIsWiredAgain) {
  WaveReceiver rx;
  ASSERT_EQ(RecInPrep(&rx, WaveDeviceId, 48000, 48000), WaveStatus::Ok) << AudioLastErrorText();
  patch.WireByHand(JackPatch::Wiring::Through);
  ResetAudio();
  MeasuresFlat();
  CloseClient();
  patch.Close();
  dialogs.ExpectMessage();
  dialogs.ExpectMessage();
  Measure(87);
  ASSERT_EQ(Stored(), 1);
  ASSERT_EQ(patch.Open(), "");
  MeasuresFlat();
  CloseClient();
  // Back while the program's client is open: wired as its ports appear.
  ASSERT_EQ(RecInPrep(&rx, WaveDeviceId, 48000, 48000), WaveStatus::Ok) << AudioLastErrorText();
  patch.Close();
  ASSERT_EQ(patch.Open(), "");
  ASSERT_TRUE(WaitWhile([this] { return patch.Connections((patch.Name() + ":in_1").c_str()).size() != 1; }));
  ResetAudio();
  MeasuresFlat();
  EXPECT_EQ(dialogs.Unused(), 0u);
}

}  // namespace
}  // namespace zentor::test
