// The program on a real audio server: a private JACK server for the test program,
// the device list built afresh for each test once the server runs, the device
// "system" chosen in the sound-card window, and the tests' own client to wire the
// program's ports.
#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <thread>
#include <vector>

#include "app/window_links.h"
#include "core/records.h"
#include "jack_patch.h"
#include "core/results_store.h"
#include "core/work_arrays.h"
#include "mainwindow/data_plotter.h"
#include "measurement/audio_form.h"
#include "measurement/sound_card_selector.h"
#include "platform/audio/jack_device.h"
#include "platform/forms.h"
#include "platform/numeric/numeric.h"
#include "platform/picture.h"
#include "support/audio_fixture.h"
#include "support/jack_server.h"

namespace zentor::test {

struct Level {
  double hz, db;
};

// The level of stored impulse k over [low, high], bin by bin.
inline std::vector<Level> Response(int32_t k, double low = 20, double high = 20000) {
  const int32_t order = ResultsDataSetInfo[k].PeriodExponent, n = 1 << order;
  const double rate = ResultsDataSetInfo[k].SampleRate;
  std::vector<float> re(ImpulseSet[k].begin(), ImpulseSet[k].begin() + n), im(n, 0.0f);
  fft(re, im, order);
  std::vector<Level> out;
  for (int32_t b = 1; b <= n / 2; ++b) {
    const double f = b * rate / n;
    if (f >= low && f <= high) out.push_back({f, 10 * std::log10(double(re[b]) * re[b] + double(im[b]) * im[b])});
  }
  return out;
}

// The largest departure of `got` minus `want(f)` from its value at 1 kHz.
template <class Want>
double Spread(const std::vector<Level>& got, Want want) {
  const auto at1k = std::min_element(got.begin(), got.end(), [](const Level& a, const Level& b) {
    return std::abs(a.hz - 1000) < std::abs(b.hz - 1000);
  });
  const double offset = at1k->db - want(at1k->hz);
  double worst = 0;
  for (const Level& l : got) worst = std::max(worst, std::abs(l.db - want(l.hz) - offset));
  return worst;
}
inline double Flatness(const std::vector<Level>& got) {
  return Spread(got, [](double) { return 0.0; });
}

inline bool IsDropoutText(const std::string& text) {
  return text.find(" during the recording: the result may be spoiled; measure again") != std::string::npos;
}
// The program's standard error says nothing but its own lines, "zentor: …".
inline bool OnlyOwnLines(const QString& err) {
  for (const QString& line : err.split('\n', Qt::SkipEmptyParts))
    if (!line.startsWith("zentor: ")) return false;
  return true;
}

// One 48 kHz server for the whole test program, stopped after its last test.
inline JackServer& SharedServer() {
  static JackServer server(48000);
  return server;
}
struct StopSharedServer : ::testing::Environment {
  void TearDown() override { SharedServer().Stop(); }
};
inline ::testing::Environment* const kStopSharedServer = ::testing::AddGlobalTestEnvironment(new StopSharedServer);

class JackTest : public AudioTest {
 protected:
  static JackServer* Server() { return &SharedServer(); }

  void SetUp() override {
    AudioTest::SetUp();
    // Cycles a loaded machine delays count as dropouts: only the test of them asks.
    dialogs.Tolerate(IsDropoutText);
    ForgetJackWiring();
    ZENTOR_START_JACK(*Server());
    ASSERT_EQ(patch.Open(), "");
    main = Forms::Get<DataPlotter>();
    main->Form_Load();
    InstallWindowLinks();
    main->RefreshLinkedControls();
    main->MainGraphOverride = &graph;
    EQConfig.SampleRate = 48000;
    EQConfig.PeriodExponent = 16;
    EQConfig.MeasConfig = 87;
    EQConfig.AutoRange = kTrue;
    AutoMixerOn = false;
    ChooseDevice("system");
  }
  void TearDown() override {
    for (bool (*unload)() : {Forms::Unload<AudioForm>, Forms::Unload<SoundCardSelectorForm>}) unload();
    if (main) main->MainGraphOverride = nullptr;
    patch.Close();
    AudioTest::TearDown();
  }

  // Lists the cards afresh on the present default server and picks the device in
  // the sound-card window, as a user would; false when it is not listed.
  bool ChooseDevice(const std::string& name) {
    CloseClient();
    UsePortAudioApi(nullptr);
    // A loaded machine gets another try at a server that answers slowly.
    for (int attempt = 0; attempt < 3; ++attempt) {
      Forms::Unload<SoundCardSelectorForm>();
      ForgetSoundDevices();
      auto* form = Forms::Get<SoundCardSelectorForm>();
      // A server slower than the program's deadline is listed as not answering.
      dialogs.Tolerate([](const std::string& t) { return IsDropoutText(t) || t == kJackNotAnswering; });
      form->SetUpSoundCardSelection();
      dialogs.Tolerate(IsDropoutText);
      for (QRadioButton* b : form->InputCard) {
        if (b->text().toStdString() != name) continue;
        b->click();
        if (const AudioDevice* dev = ResolveWaveDevice(WaveDeviceId); dev && !dev->NotAnsweringText().empty()) break;
        return WaveDeviceId >= 0 && WaveDeviceId != Sim();
      }
    }
    ADD_FAILURE() << "no device " << name << " in the sound-card window";
    return false;
  }

  // Runs the event loop until `busy` turns false (a guard of `seconds` against a
  // hang, not a time limit on the program).
  static bool WaitWhile(const std::function<bool()>& busy, int seconds = 20) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (busy()) {
      if (std::chrono::steady_clock::now() > end) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }
  // One measurement as the Start Test button starts it, run to its end.
  void Measure(int32_t config) {
    EQConfig.MeasConfig = config;
    EQConfig.CrossoverFrequency = 200;
    AudioForm* f = Forms::Get<AudioForm>();
    f->RefreshRunSettings();
    f->Test->click();
    ASSERT_TRUE(SoundCardBusy);
    ASSERT_TRUE(WaitWhile([] { return SoundCardBusy; }));
  }
  // Closes the program's client as the idle close does, and waits until it left.
  static void CloseClient() {
    ResetAudio();
    CloseIdleWaveStream();
    EXPECT_TRUE(WaitForJackClosed(10000));
  }
  // Runs the program itself (`zentor args…`) on the shared server (or the default
  // one while it is stopped), its ports wired
  // by `patch` as the windows' are; its exit status, -1 when it did not end within
  // the guard. This program's client closes first, so that the child's is the one
  // named "Zentor".
  static int RunZentor(const QStringList& args, QString& out, QString& err, int seconds = 60) {
    CloseClient();
    ForgetSoundDevices();
    if (Server()->Running()) Server()->MakeDefault();
    QProcess p;
    p.start(QStringLiteral(ZENTOR_PROGRAM), args);
    const bool ended = p.waitForStarted() && p.waitForFinished(seconds * 1000);
    if (!ended) p.kill();
    p.waitForFinished();
    out = QString::fromUtf8(p.readAllStandardOutput());
    err = QString::fromUtf8(p.readAllStandardError());
    return ended && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  }
  static bool RecordRunning() { return InspectStreaming().record == SlotState::Running; }
  static bool CardIdle() {
    const StreamingView v = InspectStreaming();
    return v.play == SlotState::Idle && v.record == SlotState::Idle;
  }

  DataPlotter* main = nullptr;
  RecordingSurface graph;
  JackPatch patch;
};

}  // namespace zentor::test
