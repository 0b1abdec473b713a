// The program's own JACK client as a user with a real interface meets it: ports
// that keep their names and their wiring, dropouts and overload reported, a server
// short of ports refused, one started late listed, and Start working again after
// any number of server restarts with nothing left behind.
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "jack_fixture.h"
#include "mainwindow/main_window_links.h"

// The sanitizer keeps freed memory aside for a while; a small quarantine lets the
// memory held over many cycles show what the program keeps.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=1"; }

namespace zentor::test {
namespace {

const QRegularExpression kDropouts("^[0-9]+ dropouts? during the recording: the result may be spoiled; measure again$");
constexpr const char* kStopped = "Error 3852: Sound card stopped during the recording: ";
constexpr const char* kRefused = "Error 3850: Sound card could not be started: ";

int64_t Count(const char* dir) {
  int64_t n = 0;
  if (DIR* d = opendir(dir)) {
    while (const dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}
struct Held {
  int64_t rssKiB = 0, threads = 0, fds = 0;
};
Held Now() {
  Held h;
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) h.rssKiB = std::stoll(line.substr(6));
  h.threads = Count("/proc/self/task");
  h.fds = Count("/proc/self/fd");
  return h;
}

class JackDeviceTest : public JackTest {
 protected:
  std::vector<std::string> Listed() {
    MainWindowHooks.ShowSoundCardSelector();
    std::vector<std::string> names;
    for (QRadioButton* b : Forms::Get<SoundCardSelectorForm>()->InputCard) names.push_back(b->text().toStdString());
    return names;
  }
  int32_t Stored() const { return ResultsDataSetInfo[0].NumInSet; }
};

TEST_F(JackDeviceTest, PortsKeepTheirNamesAndTheWiringMadeByThem) {
  // The user wires the ports by name while the card is open, once.
  WaveReceiver rx;
  ASSERT_EQ(RecInPrep(&rx, WaveDeviceId, 48000, 48000), WaveStatus::Ok) << AudioLastErrorText();
  patch.WireByHand(JackPatch::Wiring::Loopback);
  for (int start = 1; start <= 4; ++start) {
    SCOPED_TRACE(start);
    CloseClient();
    EXPECT_TRUE(patch.Ports("^Zentor").empty());
    Measure(43);
    EXPECT_EQ(Stored(), start);
    EXPECT_EQ(patch.Ports("^Zentor"), (std::vector<std::string>{"Zentor:reference_in", "Zentor:mic_in",
                                                                 "Zentor:left_out", "Zentor:right_out"}));
  }
  EXPECT_TRUE(dialogs.MessageTexts().empty());
}

TEST_F(JackDeviceTest, DropoutsMarkTheResultAndStrictWritesNothing) {
  CloseClient();
  patch.Close();
  Server()->Stop();
  JackServer async(48000, 2, JackServer::Mode::Async);
  ZENTOR_START_JACK(async);
  ASSERT_TRUE(ChooseDevice("system"));
  ASSERT_EQ(patch.Open(), "");
  dialogs.Tolerate(nullptr);
  // A client in the chain: one that is late skips the cycles after it.
  patch.Wire(JackPatch::Wiring::Through);
  dialogs.ExpectMessage();
  Forms::Get<AudioForm>()->RefreshRunSettings();
  Forms::Get<AudioForm>()->Test->click();
  ASSERT_TRUE(WaitWhile([] { return !RecordRunning(); }));
  patch.BeLate(8);
  ASSERT_TRUE(WaitWhile([] { return SoundCardBusy; }));
  patch.BeLate(0);
  ASSERT_EQ(dialogs.MessageTexts().size(), 1u);
  EXPECT_TRUE(kDropouts.match(QString::fromStdString(dialogs.MessageTexts()[0])).hasMatch())
      << dialogs.MessageTexts()[0];
  EXPECT_TRUE(Forms::Get<AudioForm>()->ClipLabel->text().contains("dropout"));
  EXPECT_EQ(Stored(), 1);

  const QString out = QString::fromStdString(TempPath("strict.cfa"));
  QString json, err;
  patch.BeLate(8);
  EXPECT_EQ(RunZentor({"measure", "--device", "system", "--period", "16", "--out", out, "--strict"}, json, err), 1);
  patch.BeLate(0);
  EXPECT_FALSE(QFile::exists(out));
  EXPECT_TRUE(err.contains(" during the recording: the result may be spoiled; measure again")) << err.toStdString();
  patch.Close();
  CloseClient();
  ForgetSoundDevices();
}

TEST_F(JackDeviceTest, AnInputOverFullScaleClipsAsOnTheSimulatedCard) {
  constexpr const char* kClipped = "Warning: the right input (microphone) clipped: ";
  patch.Wire(JackPatch::Wiring::Through, 1, Biquad{}, 0, 4.0f);  // +12 dB
  dialogs.ExpectMessage();
  Measure(87);
  ASSERT_EQ(dialogs.MessageTexts().size(), 1u);
  EXPECT_EQ(dialogs.MessageTexts()[0].rfind(kClipped, 0), 0u) << dialogs.MessageTexts()[0];

  SimulatedCardSettings s = Quiet();
  s.inputGain = 4.0;
  UseCard(s);
  WaveDeviceId = Sim();
  dialogs.ExpectMessage();
  Forms::Get<AudioForm>()->Test->click();
  for (int i = 0; i < 400 && SoundCardBusy; ++i) Run(1000);
  ASSERT_EQ(dialogs.MessageTexts().size(), 2u);
  EXPECT_NE(dialogs.MessageTexts()[1].find(kClipped), std::string::npos) << dialogs.MessageTexts()[1];
}

TEST_F(JackDeviceTest, AServerWithOneCapturePortIsListedSoAndRefused) {
  CloseClient();
  patch.Close();
  Server()->Stop();
  JackServer one(48000, 1);
  ZENTOR_START_JACK(one);
  ASSERT_TRUE(ChooseDevice("system"));
  dialogs.ExpectMessage();
  Forms::Get<AudioForm>()->Test->click();
  EXPECT_FALSE(SoundCardBusy);
  EXPECT_EQ(dialogs.MessageTexts(),
            std::vector<std::string>{std::string(kRefused) + "The sound card offers 1 input; 2 are needed"});
  QString json, err;
  ASSERT_EQ(RunZentor({"measure", "--list-devices", "--json"}, json, err), 0);
  EXPECT_TRUE(json.contains(QRegularExpression(R"("name": "system",[^}]*"inputs": 1,)"))) << json.toStdString();
  EXPECT_TRUE(OnlyOwnLines(err)) << err.toStdString();
  CloseClient();
  ForgetSoundDevices();
}

TEST_F(JackDeviceTest, AServerStartedLaterIsListedWhenTheCardWindowOpens) {
  CloseClient();
  patch.Close();
  Server()->Stop();
  const std::vector<std::string> before = Listed();
  EXPECT_EQ(std::count(before.begin(), before.end(), "system"), 0);
  ZENTOR_START_JACK(*Server());
  const std::vector<std::string> after = Listed();
  EXPECT_EQ(std::count(after.begin(), after.end(), "system"), 1);
  QString text, err;
  ASSERT_EQ(RunZentor({"measure", "--list-devices"}, text, err), 0);
  EXPECT_TRUE(text.contains("\nsystem: 48000 Hz\n") || text.startsWith("system: 48000 Hz\n")) << text.toStdString();
  EXPECT_TRUE(OnlyOwnLines(err)) << err.toStdString();
}

// Twenty restarts in one run: killed mid-run and while idle by turns, once
// stopped orderly, once back at another rate. Start measures after each, and the
// memory, threads and descriptors held stay as they were after the first.
TEST_F(JackDeviceTest, StartMeasuresAfterEveryServerRestartAndNothingIsLeftBehind) {
  patch.Wire(JackPatch::Wiring::Loopback);
  Held first;
  for (int cycle = 1; cycle <= 20; ++cycle) {
    SCOPED_TRACE(cycle);
    const bool midRun = cycle % 2 == 1;
    if (midRun) {
      dialogs.ExpectMessage();
      Forms::Get<AudioForm>()->RefreshRunSettings();
      Forms::Get<AudioForm>()->Test->click();
      ASSERT_TRUE(WaitWhile([] { return !RecordRunning(); }));
    }
    patch.Close();
    if (cycle == 4) Server()->Stop();
    else Server()->Kill();
    if (midRun) {
      ASSERT_TRUE(WaitWhile([] { return SoundCardBusy; }));
      ASSERT_FALSE(dialogs.MessageTexts().empty());
      EXPECT_EQ(dialogs.MessageTexts().back().rfind(kStopped, 0), 0u) << dialogs.MessageTexts().back();
    } else if (cycle == 2) {
      dialogs.ExpectMessage();
      Forms::Get<AudioForm>()->Test->click();
      EXPECT_EQ(dialogs.MessageTexts().back(), std::string(kRefused) + kJackNotRunning);
    }
    const int32_t rate = cycle == 10 ? 44100 : 48000;
    Server()->SetRate(rate);
    ZENTOR_START_JACK(*Server());
    ASSERT_EQ(patch.Open(), "");
    patch.Wire(JackPatch::Wiring::Loopback);
    if (cycle == 10 || cycle == 11) {
      ASSERT_TRUE(ChooseDevice("system"));
      auto* card = Forms::Get<SoundCardSelectorForm>();
      EXPECT_EQ(card->FortyFourPointOne->isEnabled(), rate == 44100);
      EXPECT_EQ(card->FortyEight->isEnabled(), rate == 48000);
      EQConfig.SampleRate = rate;
      ResultsDataSetInfo[0].NumInSet = 0;  // a set holds one rate
    }
    const int32_t before = Stored();
    Measure(87);
    ASSERT_EQ(Stored(), before + 1) << (dialogs.MessageTexts().empty() ? "" : dialogs.MessageTexts().back());
    EXPECT_LE(Flatness(Response(Stored() - 1, 100, 10000)), 0.2);
    CloseClient();
    const Held now = Now();
    if (cycle == 1) first = now;
    if (cycle < 20) continue;
    EXPECT_LE(now.rssKiB - first.rssKiB, 20 * 1024);
    // A client's threads end just after its close returns.
    Held settled = now;
    WaitWhile([&] { return (settled = Now()).threads != first.threads || settled.fds != first.fds; }, 10);
    EXPECT_EQ(settled.threads, first.threads);
    EXPECT_EQ(settled.fds, first.fds);
    std::printf("held after cycle 1: %lld KiB, %lld threads, %lld fds; after cycle 20: %lld KiB, %lld threads, %lld fds\n",
                static_cast<long long>(first.rssKiB), static_cast<long long>(first.threads),
                static_cast<long long>(first.fds), static_cast<long long>(now.rssKiB),
                static_cast<long long>(settled.threads), static_cast<long long>(settled.fds));
  }
  EXPECT_EQ(dialogs.Unused(), 0u);
}

}  // namespace
}  // namespace zentor::test
