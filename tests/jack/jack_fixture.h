// The program on a real audio server: a private JACK server for the test program,
// the real PortAudio started afresh for each test once the server runs (PortAudio
// looks for servers only when it starts), the device "system" chosen in the
// sound-card window, and the tests' own client to wire the program's ports.
#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QRadioButton>
#include <chrono>
#include <functional>
#include <thread>

#include "app/window_links.h"
#include "core/records.h"
#include "jack_patch.h"
#include "mainwindow/data_plotter.h"
#include "measurement/audio_form.h"
#include "measurement/sound_card_selector.h"
#include "platform/forms.h"
#include "platform/picture.h"
#include "support/audio_fixture.h"
#include "support/jack_server.h"

namespace zentor::test {

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

  // Starts PortAudio afresh on the present default server and picks the device in
  // the sound-card window, as a user would; false when it is not listed.
  bool ChooseDevice(const std::string& name) {
    ResetAudio();
    CloseIdleWaveStream();
    UsePortAudioApi(nullptr);
    // PortAudio gives up on a server that answers slowly; a loaded machine gets
    // another try.
    for (int attempt = 0; attempt < 3; ++attempt) {
      Forms::Unload<SoundCardSelectorForm>();
      ForgetSoundDevices();
      auto* form = Forms::Get<SoundCardSelectorForm>();
      form->SetUpSoundCardSelection();
      for (QRadioButton* b : form->InputCard) {
        if (b->text().toStdString() != name) continue;
        b->click();
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
  // Runs the program itself (`zentor args…`) on the shared server, its ports wired
  // by `patch` as the windows' are; its exit status, -1 when it did not end within
  // the guard. This program's PortAudio closes first, so that the child's JACK
  // client is the one named "PortAudio".
  static int RunZentor(const QStringList& args, QString& out, QString& err, int seconds = 60) {
    ResetAudio();
    CloseIdleWaveStream();
    ForgetSoundDevices();
    Server()->MakeDefault();
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
