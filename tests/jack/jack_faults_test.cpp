// Faults of a real audio server under every window that records: the server
// killed mid-run, the wires cut mid-run, a server at another rate. Each ends the
// run with the window's own message once, leaves the card idle and the stored
// results as they were.
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "analysers/rta_eq.h"
#include "analysers/rta_imp.h"
#include "analysers/spl_meter.h"
#include "jack_fixture.h"
#include "support/silent_set.h"

namespace zentor::test {
namespace {

struct Recorder {
  const char* name;
  std::function<void()> start;
  std::function<bool()> running;
  bool (*close)();
  RtaCycle* (*rta)() = nullptr;
};

template <class W>
W* Get() {
  return Forms::Get<W>();
}

const Recorder kRecorders[] = {
    {"AudioForm", [] { Get<AudioForm>()->Test->click(); }, [] { return SoundCardBusy; }, Forms::Unload<AudioForm>},
    {"RTAEQ", [] { Get<RTAEQ>()->Play->click(); }, [] { return !Get<RTAEQ>()->RtaStopped; }, Forms::Unload<RTAEQ>,
     []() -> RtaCycle* { return Get<RTAEQ>(); }},
    {"RTAImp", [] { Get<RTAImp>()->Play->click(); }, [] { return !Get<RTAImp>()->RtaStopped; },
     Forms::Unload<RTAImp>, []() -> RtaCycle* { return Get<RTAImp>(); }},
    {"SPLLevelForm", [] { Get<SPLLevelForm>()->CalBut->click(); }, [] { return Get<SPLLevelForm>()->BlockPending; },
     Forms::Unload<SPLLevelForm>},
};

bool IsMeasurement(const Recorder& r) { return r.name == std::string("AudioForm"); }

// A stream lost mid-run reads the same in every window; the engine's reason after
// it depends on where in its cycle the server went.
constexpr const char* kStopped = "Error 3852: Sound card stopped during the recording: ";
std::string Refused(const Recorder& r, const std::string& why) {
  return IsMeasurement(r) ? "Error 3850: Sound card could not be started: " + why : "Error Initializing Sound Card";
}

class JackFaultTest : public JackTest {
 protected:
  void SetUp() override {
    JackTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    LoadSilentSet(1, 48000, 16, 20.0f);
    ImpulseSet[0][100] = 0.5f;
    stored = ImpulseSet[0];
  }
  void ExpectIdleAndKept() {
    EXPECT_TRUE(CardIdle());
    EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
    EXPECT_TRUE(ImpulseSet[0] == stored);
  }
  std::array<float, kMaxSamples> stored{};
};

// The server killed mid-run, then started again, in each window: this test program
// run again for each, all four side by side (each with a server of its own), on
// the disabled case.
class DISABLED_ServerKilledTest : public JackFaultTest, public ::testing::WithParamInterface<int> {
 protected:
  std::string LastSaid() {
    return (dialogs.MessageTexts().empty() ? "" : dialogs.MessageTexts().back()) + " (" + AudioLastErrorText() + ")";
  }
};

TEST_P(DISABLED_ServerKilledTest, Run) {
  const Recorder& r = kRecorders[GetParam()];
  patch.Wire(JackPatch::Wiring::Loopback);
  dialogs.ExpectMessage();
  r.start();
  ASSERT_TRUE(r.running()) << LastSaid();
  ASSERT_TRUE(WaitWhile([] { return !RecordRunning(); }));
  // At once: a short block (the level meter's) would end before a slower kill.
  Server()->Kill();
  patch.Close();
  ASSERT_TRUE(WaitWhile(r.running));
  ASSERT_EQ(dialogs.MessageTexts().size(), 1u) << r.name;
  EXPECT_EQ(dialogs.MessageTexts()[0].rfind(kStopped, 0), 0u) << dialogs.MessageTexts()[0];
  EXPECT_FALSE(InspectStreaming().streamOpen);
  ExpectIdleAndKept();

  // Start with no server says so; with the server back under its name it records
  // again, and a measurement is stored beside the one kept.
  dialogs.ExpectMessage();
  r.start();
  EXPECT_FALSE(r.running());
  EXPECT_EQ(dialogs.MessageTexts().back(),
            Refused(r, kJackNotRunning));
  ExpectIdleAndKept();
  ZENTOR_START_JACK(*Server());
  ASSERT_EQ(patch.Open(), "");
  patch.Wire(JackPatch::Wiring::Loopback);
  r.start();
  ASSERT_TRUE(r.running()) << LastSaid();
  ASSERT_TRUE(WaitWhile([] { return !RecordRunning(); }));
  if (IsMeasurement(r)) {
    ASSERT_TRUE(WaitWhile(r.running));
    EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 2);
  } else if (r.rta) {
    ASSERT_TRUE(WaitWhile([&r] { return r.rta()->AnalysedBlocks == 0; }));
    r.rta()->StopRta();
    ASSERT_TRUE(WaitWhile([] { return !CardIdle(); }));
  }
  EXPECT_EQ(dialogs.MessageTexts().size(), 2u);
  EXPECT_TRUE(r.close());
}

INSTANTIATE_TEST_SUITE_P(Windows, DISABLED_ServerKilledTest, ::testing::Range(0, 4));

TEST(ServerKilledTest, EachWindowEndsTheRunOnceAndStartsAgainWhenTheServerReturns) {
  std::vector<std::unique_ptr<QProcess>> runs;
  for (int i = 0; i < 4; ++i) {
    runs.push_back(std::make_unique<QProcess>());
    runs.back()->setProcessChannelMode(QProcess::MergedChannels);
    runs.back()->start(QCoreApplication::applicationFilePath(),
                       {"--gtest_also_run_disabled_tests",
                        QString("--gtest_filter=Windows/DISABLED_ServerKilledTest.Run/%1").arg(i)});
  }
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(kRecorders[i].name);
    QProcess& run = *runs[static_cast<std::size_t>(i)];
    EXPECT_TRUE(run.waitForFinished(120000));
    const std::string out = run.readAll().toStdString();
    const bool excused = AudioServerOptional() && out.find("[  SKIPPED ] 1 test") != std::string::npos;
    EXPECT_TRUE(run.exitCode() == 0 && (excused || out.find("[  PASSED  ] 1 test") != std::string::npos)) << out;
  }
}

TEST_F(JackFaultTest, WiresCutMidMeasurementFindNoInputAndRewiringMeasuresAgain) {
  patch.Wire(JackPatch::Wiring::Loopback);
  dialogs.ExpectMessage();
  dialogs.ExpectMessage();
  Get<AudioForm>()->Test->click();
  ASSERT_TRUE(WaitWhile([] { return !RecordRunning(); }));
  patch.CutInputs();
  ASSERT_TRUE(WaitWhile([] { return SoundCardBusy; }));
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"User Error 3429: No input on Input channel",
                                                               "User Error: No Left Channel Input"}));
  ExpectIdleAndKept();

  patch.Wire(JackPatch::Wiring::Loopback);
  Get<AudioForm>()->Test->click();
  ASSERT_TRUE(WaitWhile([] { return SoundCardBusy; }));
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 2);
  EXPECT_EQ(dialogs.MessageTexts().size(), 2u);
}

// One server at a time: JACK's library serves one per program.
TEST_F(JackFaultTest, AServerAtAnotherRateRefusesEveryWindowAtOnce) {
  ForgetSoundDevices();
  patch.Close();
  Server()->Stop();
  JackServer other(44100);
  ZENTOR_START_JACK(other);
  ASSERT_TRUE(ChooseDevice("system"));
  auto* card = Get<SoundCardSelectorForm>();
  EXPECT_FALSE(card->FortyEight->isEnabled());
  EXPECT_TRUE(card->FortyFourPointOne->isEnabled());
  for (const Recorder& r : kRecorders) {
    SCOPED_TRACE(r.name);
    dialogs.Clear();
    EQConfig.SampleRate = 48000;
    dialogs.ExpectMessage();
    r.start();
    EXPECT_FALSE(r.running());
    EXPECT_EQ(dialogs.MessageTexts(),
              std::vector<std::string>{Refused(r, "The sound card does not support a sample rate of 48000 Hz")});
    ExpectIdleAndKept();
    EXPECT_TRUE(r.close());
  }
  CloseIdleWaveStream();
  ForgetSoundDevices();
}

}  // namespace
}  // namespace zentor::test
