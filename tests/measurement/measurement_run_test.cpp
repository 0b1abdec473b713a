// The measurement run on the simulated card: its refusals and their order, the
// frozen header, the play buffers' layout, the noise-shaped sweep, the card job,
// a failing build, and the main window's Measure and Response.
#include <QAction>
#include <QCheckBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <cmath>
#include <cstring>

#include "base/binary_io.h"
#include "core/records.h"
#include "core/work_arrays.h"
#include "display/time_views.h"
#include "display/view_state.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/main_window_links.h"
#include "mainwindow/measurement_file.h"
#include "measurement/audio_form.h"
#include "measurement/eq_audio_module.h"
#include "measurement/run_main_test.h"
#include "measurement_fixture.h"
#include "support/audio_fixture.h"
#include "support/silent_set.h"

namespace zentor::test {
namespace {

class MeasurementRunTest : public MeasurementWindowTest {
 protected:
  void SetUp() override {
    MeasurementWindowTest::SetUp();
    AudioFormHooks.AudioRecordProcess = [this] {
      ++processed;
      left = RecordBufferA;
      right = RecordBufferB;
      Form()->EndRun();
    };
  }
  // No card job was prepared or started.
  static bool CardUntouched() {
    const StreamingView v = InspectStreaming();
    return v.play == SlotState::Idle && v.record == SlotState::Idle;
  }
  void ExpectEnded(AudioForm* f) {
    EXPECT_FALSE(SoundCardBusy);
    EXPECT_FALSE(f->Timer1->isActive());
    EXPECT_FALSE(f->RunHourglassShown());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(CardUntouched());
  }
  // The layout every excitation shares: A the period reversed, both continued
  // periodically by 2^Q samples and faded over the last 200.
  void ExpectPlayBuffers(int32_t p, int32_t q) {
    const int32_t period = 1 << p, n = period + (1 << q);
    int peak = 0;
    for (int32_t i = 0; i < period; ++i) {
      ASSERT_EQ(PlayBufferA[i], PlayBufferB[period - 1 - i]) << i;
      peak = std::max(peak, std::abs(int(PlayBufferB[i])));
    }
    EXPECT_EQ(peak, 15000);
    for (const auto* b : {&PlayBufferA, &PlayBufferB}) {
      for (int32_t j = 0; j <= (1 << q) - 201; ++j) ASSERT_EQ((*b)[period + j], (*b)[j]) << j;
      for (int32_t j = (1 << q) - 200; j < (1 << q); ++j)
        ASSERT_LE(std::abs(int((*b)[period + j])), std::abs(int((*b)[j])) + 1) << j;
      EXPECT_EQ((*b)[n - 1], 0);
    }
  }

  int processed = 0;
  std::vector<float> left, right;
};

TEST_F(MeasurementRunTest, RefusalsComeInOrderAndOnlyLateOnesTouchTheBusyFlag) {
  AudioForm* f = Form();
  // A compressed set is refused before the busy check, the flag as it was.
  LoadSilentSet(1, 48000, 15, 20.0f);
  SoundCardBusy = true;
  dialogs.ExpectMessage();
  f->RunMainTest();
  EXPECT_EQ(dialogs.MessageTexts(),
            std::vector<std::string>{"Error: Measurements cannot be added to a file compressed to less than 1000 ms (1 sec)"});
  EXPECT_TRUE(SoundCardBusy);
  SoundCardBusy = false;

  // Another rate, then a resampled set: refused, flag untouched.
  LoadSilentSet(1, 44100, 17, 20.0f);
  dialogs.Clear();
  dialogs.ExpectMessage();
  f->RunMainTest();
  LoadSilentSet(1, 48000, 17, 20.0f);
  DataResampled = true;
  dialogs.ExpectMessage();
  f->RunMainTest();
  EXPECT_EQ(dialogs.MessageTexts(),
            (std::vector<std::string>{
                "User Error: Each curve in a set must have the same sample frequency. Loaded data may have been "
                "resampled",
                "User Error: Data has been resampled. New measurements cannot be added"}));
  EXPECT_FALSE(SoundCardBusy);
  EXPECT_FALSE(f->RunHourglassShown());
  DataResampled = false;

  // A typed distance out of range: only the validator's message, nothing stored.
  EQConfig.AutoRange = kFalse;
  EQConfig.MicSpeakerDistance = 1.5f;
  f->RefreshRunSettings();
  f->MicSpkrDistanceText->setText("60");
  dialogs.Clear();
  dialogs.ExpectMessage();
  f->RunMainTest();
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"User Error: Input must be between 0 and 50"});
  EXPECT_EQ(EQConfig.MicSpeakerDistance, 1.5f);

  // With the distance good, a busy card is the next refusal; the distance is kept.
  f->MicSpkrDistanceText->setText("2.5");
  SoundCardBusy = true;
  dialogs.Clear();
  dialogs.ExpectMessage();
  f->RunMainTest();
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"User Error: Sound card is in use"});
  EXPECT_EQ(EQConfig.MicSpeakerDistance, 2.5f);
  EXPECT_TRUE(SoundCardBusy);
  EXPECT_FALSE(f->RunHourglassShown());
  SoundCardBusy = false;

  // 32 loaded: refused after busy was set, and cleared again.
  LoadSilentSet(32, 48000, 17, 20.0f);
  dialogs.Clear();
  dialogs.ExpectMessage();
  f->RunMainTest();
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"User Error: Too many curves. Delete one or more curves"});
  ExpectEnded(f);

  // 31 loaded: the run starts.
  LoadSilentSet(31, 48000, 17, 20.0f);
  f->RunMainTest();
  EXPECT_TRUE(SoundCardBusy);
  EXPECT_EQ(f->TestMode, -3);
  EXPECT_EQ(MeasHeader.MicSpeakerDistance, 2.5f);
  EXPECT_EQ(InspectStreaming().record, SlotState::Armed);
}

TEST_F(MeasurementRunTest, ASetOfAnotherPeriodResetsTheSettingsAndTheNextPressMeasuresIt) {
  LoadSilentSet(1, 48000, 16, 20.0f);
  ResultsDataSetInfo[0].PreExcitationExponent = 15;
  AudioForm* f = Form();
  dialogs.ExpectMessage();
  f->RunMainTest();
  EXPECT_EQ(dialogs.MessageTexts(),
            std::vector<std::string>{
                "User Error: The excitatation of all tests must be the same: Resetting excitation time"});
  EXPECT_EQ(EQConfig.PeriodExponent, 16);
  EXPECT_EQ(EQConfig.PreExcitationExponent, 15);
  EXPECT_EQ(f->Slider2->value(), 16);
  ExpectEnded(f);

  f->RunMainTest();
  ASSERT_TRUE(SoundCardBusy);
  EXPECT_EQ(MeasHeader.PeriodExponent, 16);
  EXPECT_EQ(MeasHeader.PreExcitationExponent, 15);
  // The recording completes after exactly 2^16 + 2^15 frames.
  const int32_t block = SimulatedSoundCard::Instance().Settings().blockSize;
  Run(98304 - 2 * block);
  EXPECT_EQ(processed, 0);
  Run(3 * block);
  EXPECT_EQ(processed, 1);
}

TEST_F(MeasurementRunTest, AutoRangeLeavesTheDistanceFieldUnread) {
  AudioForm* f = Form();
  f->MicSpkrDistanceText->setText("abc");
  const QColor before = f->MicSpkrDistanceText->palette().color(QPalette::Base);
  f->RunMainTest();
  EXPECT_TRUE(SoundCardBusy);
  EXPECT_EQ(f->MicSpkrDistanceText->palette().color(QPalette::Base), before);
}

TEST_F(MeasurementRunTest, EveryExcitationLaysOutBothPlayBuffersAlike) {
  for (int32_t config : {42, 43, 87}) {
    SCOPED_TRACE(config);
    EQConfig.MeasConfig = config;
    AudioForm* f = Form();
    f->MLSText->setText("300");
    f->RunMainTest();
    ASSERT_TRUE(SoundCardBusy);
    EXPECT_EQ(MeasHeader.MeasConfig, config);
    EXPECT_EQ(MeasHeader.PreExcitationExponent, 16);
    ExpectPlayBuffers(17, 16);
    if (config == 42) {
      EXPECT_EQ(MeasHeader.CrossoverFrequency, 300.0f);
    }
    f->ResetSound();
  }
}

TEST_F(MeasurementRunTest, CrossoverOutsideItsRangeEndsTheRunBeforeTheCard) {
  EQConfig.MeasConfig = 42;
  AudioForm* f = Form();
  f->MLSText->setText("150");
  dialogs.ExpectMessage();
  f->RunMainTest();
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"User Error: Input must be between 200 and 2000"});
  ExpectEnded(f);
}

TEST_F(MeasurementRunTest, CrossoverFrequencyIsFrozenIntoTheHeaderAndItsPlaceOnFile) {
  EQConfig.MeasConfig = 42;
  AudioForm* f = Form();
  f->MLSText->setText("300");
  f->RunMainTest();
  ASSERT_TRUE(SoundCardBusy);
  EXPECT_EQ(MeasHeader.CrossoverFrequency, 300.0f);
  EXPECT_EQ(MeasHeader.MainRunFlag, 0);
  BinaryWriter w;
  WriteMeasurementHeader(w, MeasHeader);
  ASSERT_EQ(w.size(), kMeasurementHeaderFileBytes);
  // Offset 188: little-endian 300.0f.
  const std::vector<uint8_t> expected{0x00, 0x00, 0x96, 0x43};
  EXPECT_EQ(std::vector<uint8_t>(w.data().begin() + 188, w.data().begin() + 192), expected);
  // A header written before keeps reading the same four bytes into the same member.
  BinaryReader r(w.data());
  MeasurementHeader back;
  ASSERT_TRUE(ReadMeasurementHeader(r, back));
  EXPECT_EQ(back.CrossoverFrequency, 300.0f);
  EXPECT_EQ(back.MicSpeakerDistance, MeasHeader.MicSpeakerDistance);
}

TEST_F(MeasurementRunTest, NoiseShapedSweepSumsOnlyTheMatchingFiledSpectra) {
  AudioForm* f = Form();
  f->Check1->setChecked(true);
  // Nothing filed: pink, both flags clear.
  EQConfig.PsdRunFlag = kTrue;
  EQConfig.MainRunFlag = kTrue;
  f->RunMainTest();
  ASSERT_TRUE(SoundCardBusy);
  EXPECT_EQ(MeasHeader.MainRunFlag, 0);
  EXPECT_EQ(MeasHeader.PsdRunFlag, 0);
  EXPECT_FLOAT_EQ(WorkCurveAux[10], float(10 * std::log10(1 / std::sqrt(10.0))));
  EXPECT_EQ(WorkCurveAux[0], WorkCurveAux[1]);
  f->ResetSound();

  // Flat spectra of 10 and 20 dB at this rate and size; one of 44100 Hz is skipped.
  PsdParameters[0].Count = 3;
  const float levels[] = {10.0f, 20.0f, 60.0f};
  const int32_t rates[] = {48000, 48000, 44100};
  for (int b = 0; b < 3; ++b) {
    PsdParameters[b].Exponent = 15;
    PsdParameters[b].SampleRate = rates[b];
    PsdSet[b].fill(levels[b]);
  }
  f->RunMainTest();
  ASSERT_TRUE(SoundCardBusy);
  for (int k : {0, 1, 100, 32767}) EXPECT_NEAR(WorkCurveAux[k], 20.41, 0.005) << k;
  EXPECT_EQ(MeasHeader.MainRunFlag, kTrue);
  EXPECT_EQ(MeasHeader.PsdRunFlag, kTrue);
  f->ResetSound();

  // Unticked, or no spectrum of the run's size: pink again.
  PsdParameters[0].Exponent = PsdParameters[1].Exponent = 14;
  f->RunMainTest();
  EXPECT_EQ(MeasHeader.MainRunFlag, 0);
  EXPECT_FLOAT_EQ(WorkCurveAux[10], float(10 * std::log10(1 / std::sqrt(10.0))));
}

TEST_F(MeasurementRunTest, CardPlaysBothBuffersAndRecordsTheRunOnOneFrame) {
  AudioForm* f = Form();
  f->RunMainTest();
  ASSERT_TRUE(SoundCardBusy);
  EXPECT_EQ(f->ProgressBar1->maximum(), 40);
  EXPECT_TRUE(f->Timer1->isActive());
  const int32_t n = 196608;
  const std::vector<int16_t> a(PlayBufferA.begin(), PlayBufferA.begin() + n);
  const std::vector<int16_t> b(PlayBufferB.begin(), PlayBufferB.begin() + n);
  const int32_t block = SimulatedSoundCard::Instance().Settings().blockSize;
  Run(block);
  const StreamingView v = InspectStreaming();
  EXPECT_EQ(v.play, SlotState::Running);
  EXPECT_EQ(v.record, SlotState::Running);
  EXPECT_EQ(v.playStartFrame, v.recordStartFrame);
  EXPECT_EQ(v.streamRate, 48000);
  Run(n - 3 * block);
  EXPECT_EQ(processed, 0);
  Run(3 * block);
  ASSERT_EQ(processed, 1);
  // The reference input hears the left output, the microphone (right, unit room) the right.
  const int32_t latency = SimulatedSoundCard::Instance().Settings().latency;
  for (int32_t i = 0; i + latency < n; i += 97) {
    ASSERT_EQ(left[i + latency], a[i]) << i;
    ASSERT_EQ(right[i + latency], b[i]) << i;
  }
  EXPECT_FALSE(SoundCardBusy);
}

TEST_F(MeasurementRunTest, AFailingBuildEndsTheRunWithItsStageNumber) {
  AudioForm* f = Form();
  for (auto inject : {+[] { EQConfig.MeasConfig = 5; }, +[] { EQConfig.SampleRate = 0; },
                      +[] { EQConfig.PsdPeriodExponent = 16; }}) {
    EQConfig.MeasConfig = 87;
    EQConfig.SampleRate = 48000;
    EQConfig.PsdPeriodExponent = 15;
    inject();
    dialogs.Clear();
    dialogs.ExpectMessage();
    f->RunMainTest();
    EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Error 3844"});
    ExpectEnded(f);
  }
}

TEST_F(MeasurementRunTest, MeasureAndResponseStartTheRunFromTheMainWindow) {
  EXPECT_FALSE(main->Response->isEnabled());
  InstallAudioFormLinks();
  InstallMainTestLinks();
  main->RefreshLinkedControls();
  ASSERT_TRUE(main->Response->isEnabled());
  main->Response->trigger();
  ASSERT_TRUE(Forms::IsLoaded<AudioForm>());
  EXPECT_TRUE(Forms::Get<AudioForm>()->isVisible());
  EXPECT_TRUE(SoundCardBusy);
  EXPECT_EQ(Forms::Get<AudioForm>()->TestMode, -3);
  Forms::Get<AudioForm>()->ResetSound();

  main->EnableDataPlotterPlayRec(kTrue);
  main->RefreshLinkedControls();
  ASSERT_TRUE(main->Command1->isEnabled());
  main->Command1->click();
  EXPECT_TRUE(SoundCardBusy);
  Run(196608 + 2000);
  EXPECT_EQ(processed, 1);
}

}  // namespace
}  // namespace zentor::test
