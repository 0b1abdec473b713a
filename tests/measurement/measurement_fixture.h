// The measurement window over the simulated card at the defaults the run tests
// start from: 48 kHz, period 2^17, the sweep, automatic range.
#pragma once

#include <QGuiApplication>
#include <QAction>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "app/window_links.h"
#include "core/records.h"
#include "mainwindow/data_plotter.h"
#include "measurement/audio_form.h"
#include "measurement/eq_audio_module.h"
#include "platform/forms.h"
#include "support/audio_fixture.h"

namespace zentor::test {

class MeasurementWindowTest : public AudioTest {
 protected:
  void SetUp() override {
    AudioTest::SetUp();
    main = Forms::Get<DataPlotter>();
    main->Form_Load();
    WaveDeviceId = Sim();
    EQConfig.SampleRate = 48000;
    EQConfig.PeriodExponent = 17;
    EQConfig.MeasConfig = 87;
    EQConfig.AutoRange = kTrue;
  }
  void TearDown() override {
    Forms::Unload<AudioForm>();
    AudioTest::TearDown();
  }
  // The window with the settings its controls hold taken into the run.
  AudioForm* Form() {
    AudioForm* f = Forms::Get<AudioForm>();
    f->RefreshRunSettings();
    return f;
  }
  static std::string Text(const auto* box) { return box->text().toStdString(); }
  using Texts = std::vector<std::string>;
  // The messages an action shows, each answered OK.
  Texts Said(const std::function<void()>& action, int messages = 1) {
    dialogs.Clear();
    for (int i = 0; i < messages; ++i) dialogs.ExpectMessage();
    action();
    return dialogs.MessageTexts();
  }
  // The card's default room at 8192-frame cycles, the reference at half level, no noise.
  static SimulatedCardSettings RoomCard() {
    SimulatedCardSettings s = Quiet();
    s.blockSize = 8192;
    s.referenceGain = 0.5;
    s.room.clear();
    return s;
  }
  // Where the default room's largest sample lies, 2119 samples behind the direct sound at 48 kHz.
  static int32_t RoomPeak() {
    const std::vector<double> room = KnownMicImpulse(48000);
    return static_cast<int32_t>(
        std::max_element(room.begin(), room.end(), [](double a, double b) { return std::abs(a) < std::abs(b); }) -
        room.begin());
  }
  // Stands in for the processing: counts the runs, keeps both inputs and ends the run.
  void KeepRecordings() {
    AudioFormHooks.AudioRecordProcess = [this] {
      ++processed;
      left = RecordBufferA;
      right = RecordBufferB;
      Forms::Get<AudioForm>()->EndRun();
    };
  }
  // The run completes after exactly `frames` frames, and not a block before.
  void ExpectCompletionAfter(int64_t frames) {
    const int32_t block = SimulatedSoundCard::Instance().Settings().blockSize;
    Run(frames - 2 * block);
    EXPECT_EQ(processed, 0);
    Run(3 * block);
    ASSERT_EQ(processed, 1);
  }
  // Runs the card until the run in progress has ended.
  static void RunToEnd() {
    for (int i = 0; i < 200 && SoundCardBusy; ++i) Run(8192);
    ASSERT_FALSE(SoundCardBusy);
  }
  // A measurement as a new user takes it: New Measurement, then Test, from the main window.
  void MeasureFromMainWindow() {
    InstallWindowLinks();
    main->RefreshLinkedControls();
    main->NewMeasMenue->trigger();
    Forms::Get<AudioForm>()->Test->click();
    RunToEnd();
    ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
  }
  // The layout every excitation shares: A the period reversed, both continued
  // periodically by 2^Q samples and faded over the last 200.
  static void ExpectPlayBuffers(int32_t p, int32_t q, const std::vector<int16_t>& A = PlayBufferA,
                                const std::vector<int16_t>& B = PlayBufferB) {
    const int32_t period = 1 << p, n = period + (1 << q);
    int peak = 0;
    for (int32_t i = 0; i < period; ++i) {
      ASSERT_EQ(A[i], B[period - 1 - i]) << i;
      peak = std::max(peak, std::abs(int(B[i])));
    }
    EXPECT_EQ(peak, 15000);
    for (const auto* b : {&A, &B}) {
      for (int32_t j = 0; j <= (1 << q) - 201; ++j) ASSERT_EQ((*b)[period + j], (*b)[j]) << j;
      for (int32_t j = (1 << q) - 200; j < (1 << q); ++j)
        ASSERT_LE(std::abs(int((*b)[period + j])), std::abs(int((*b)[j])) + 1) << j;
      EXPECT_EQ((*b)[n - 1], 0);
    }
  }
  // The state every ended run leaves: card free, timer off, pointer back.
  static void ExpectIdle(AudioForm* f) {
    EXPECT_FALSE(SoundCardBusy);
    EXPECT_FALSE(f->Timer1->isActive());
    EXPECT_EQ(f->ProgressBar1->value(), 0);
    EXPECT_FALSE(f->RunHourglassShown());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    const StreamingView v = InspectStreaming();
    EXPECT_EQ(v.record, SlotState::Idle);
    EXPECT_EQ(v.play, SlotState::Idle);
  }

  DataPlotter* main = nullptr;
  int processed = 0;
  std::vector<float> left, right;
};

}  // namespace zentor::test
