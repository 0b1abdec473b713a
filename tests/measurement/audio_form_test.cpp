// The measurement window on the simulated card: settings display, progress, the
// signal warnings, the noise recording, Stop, closing mid-run and the sizes; the
// run's refusals and their order, the frozen header, the play buffers' layout, the
// noise-shaped sweep, the card job, a failing build, and the main window's entries.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QtTest/QTest>
#include <cmath>
#include <cstdlib>

#include "base/atomic_file.h"
#include "base/binary_io.h"
#include "core/work_arrays.h"
#include "display/time_views.h"
#include "mainwindow/main_window_links.h"
#include "mainwindow/measurement_file.h"
#include "measurement/run_main_test.h"
#include "measurement_fixture.h"
#include "platform/help.h"
#include "platform/text_boxes.h"
#include "platform/window_placement.h"
#include "support/silent_set.h"

namespace zentor::test {
namespace {

class AudioFormTest : public MeasurementWindowTest {
 protected:
  void SetUp() override {
    MeasurementWindowTest::SetUp();
    oldDir_ = QDir::currentPath();
    QDir::setCurrent(tempDir.path());
    KeepRecordings();
  }
  void TearDown() override {
    MeasurementWindowTest::TearDown();
    QDir::setCurrent(oldDir_);
  }
  static int32_t RunFrames() { return (1 << EQConfig.PeriodExponent) + (1 << EQConfig.PreExcitationExponent); }
  // The layout every excitation shares: A the period reversed, both continued
  // periodically by 2^Q samples and faded over the last 200.
  static void ExpectPlayBuffers(int32_t p, int32_t q) {
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

 private:
  QString oldDir_;
};

TEST_F(AudioFormTest, SettingsDisplayFollowsPeriodRateAndMicrophoneChannel) {
  AudioForm* f = Form();
  EXPECT_EQ(f->Slider2->minimum(), 16);
  EXPECT_EQ(f->Slider2->maximum(), 18);
  EXPECT_EQ(f->Slider2->value(), 17);
  EXPECT_TRUE(f->SweepsBut->isChecked());
  EXPECT_FALSE(f->MicSpkrDistanceText->isEnabled());
  struct Shown {
    int32_t p, rate;
    const char *period, *pre;
    int32_t preExponent;
  };
  for (const Shown s : {Shown{17, 48000, "3", "1.3", 16}, Shown{16, 44100, "2", "0.7", 15}}) {
    EQConfig.PeriodExponent = s.p;
    EQConfig.SampleRate = s.rate;
    f->RefreshRunSettings();
    EXPECT_EQ(Text(f->PeriodLengthText), s.period);
    EXPECT_EQ(Text(f->PreExciteLengthText), s.pre);
    EXPECT_EQ(EQConfig.PreExcitationExponent, s.preExponent);
  }
  EQConfig.SampleRate = 48000;
  f->Slider2->setValue(18);
  EXPECT_EQ(EQConfig.PeriodExponent, 18);
  EXPECT_EQ(Text(f->PeriodLengthText), "6");

  for (auto [channel, right, left] : {std::tuple{99, "dB Mic Right", "dB Rf Left"}, {33, "dB Rf Right", "dB Mic Left"}}) {
    MicChannel = channel;
    f->SetMicOnOffDisplay();
    EXPECT_EQ(f->Label6->text(), right);
    EXPECT_EQ(f->Label7->text(), left);
  }
  // A code of none clears all three options.
  EQConfig.MeasConfig = 5;
  f->RefreshRunSettings();
  EXPECT_FALSE(f->SweepsBut->isChecked() || f->HybridBut->isChecked() || f->MLSXOver->isChecked());
}

TEST_F(AudioFormTest, ProgressBarStopsOnItsLastTick) {
  AudioForm* f = Form();
  f->StartProgressTimer(17, 16, 48000);
  EXPECT_EQ(f->ProgressBar1->maximum(), 40);
  EXPECT_EQ(f->Timer1->interval(), 100);
  for (int i = 1; i < 40; ++i) f->Timer1_Timer();
  EXPECT_TRUE(f->Timer1->isActive());
  EXPECT_EQ(f->ProgressBar1->value(), 39);
  f->Timer1_Timer();
  EXPECT_FALSE(f->Timer1->isActive());
  EXPECT_EQ(f->ProgressBar1->value(), 0);
  f->Timer1_Timer();  // queued before the stop
  EXPECT_EQ(f->ProgressBar1->value(), 0);

  f->StartProgressTimer(16, 15, 44100);
  EXPECT_EQ(f->ProgressBar1->maximum(), 22);
  f->StopProgressTimer();

  EXPECT_EQ(Said([&] { f->StartProgressTimer(17, 16, 0); }), Texts{"Error 4987"});
  EXPECT_FALSE(f->Timer1->isActive());
  // One hourglass for all three starts.
  EXPECT_EQ(WaitCursor::Depth(), 1);
  f->RestoreRunPointer();
  f->RestoreRunPointer();
  EXPECT_EQ(WaitCursor::Depth(), 0);
}

TEST_F(AudioFormTest, SignalWarningsShowOncePerOpening) {
  AudioForm* f = Form();
  dialogs.ExpectMessage();
  f->SweepsBut->click();
  f->SweepsBut->click();
  ASSERT_EQ(dialogs.calls().size(), 1u);
  const DialogCall& c = dialogs.calls()[0];
  EXPECT_EQ(c.text, "Tone sweeps may damage hearing or high frequency devices. Use hearing protection.");
  EXPECT_EQ(c.icon, MsgIcon::Exclamation);
  EXPECT_EQ(c.buttons, MsgButtons::OK);
  EXPECT_EQ(c.title, "Zentor");
  EXPECT_EQ(EQConfig.MeasConfig, 87);
  EXPECT_FALSE(f->MLSText->isEnabled());

  dialogs.ExpectMessage();
  f->MLSXOver->click();
  EXPECT_EQ(dialogs.MessageTexts().back(),
            "MLS is high pass filtered. This signal is only good for DSP XOver prototype testing");
  EXPECT_EQ(EQConfig.MeasConfig, 42);
  EXPECT_TRUE(f->MLSText->isEnabled() && f->MLSLabel1->isEnabled() && f->MLSLabel2->isEnabled());
  f->HybridBut->click();
  EXPECT_EQ(EQConfig.MeasConfig, 43);
  EXPECT_FALSE(f->MLSText->isEnabled() || f->MLSLabel1->isEnabled() || f->MLSLabel2->isEnabled());
  EXPECT_EQ(dialogs.calls().size(), 2u);

  Forms::Unload<AudioForm>();
  EXPECT_EQ(Said([&] { Form()->SweepsBut->click(); }).size(), 1u);
}

TEST_F(AudioFormTest, DistanceOptionsAndRedFieldsTurnWhiteOnEdit) {
  AudioForm* f = Form();
  f->ManualSub->click();
  EXPECT_EQ(EQConfig.AutoRange, kFalse);
  EXPECT_TRUE(f->MicSpkrDistanceText->isEnabled());
  f->AutoRange->click();
  EXPECT_EQ(EQConfig.AutoRange, kTrue);
  EXPECT_FALSE(f->MicSpkrDistanceText->isEnabled());
  f->ManualSub->click();

  f->MicSpkrDistanceText->setText("x");
  double v = 0;
  dialogs.ExpectMessage();
  EXPECT_FALSE(ValidateNumericTextBox(f->MicSpkrDistanceText, 0, 50, v));
  EXPECT_EQ(f->MicSpkrDistanceText->palette().color(QPalette::Base).red(), kInvalidFieldRed);
  QTest::keyClicks(f->MicSpkrDistanceText, "1");
  EXPECT_EQ(f->MicSpkrDistanceText->palette().color(QPalette::Base), QColor(Qt::white));
}

TEST_F(AudioFormTest, AutoRangeLeavesTheDistanceFieldUnread) {
  AudioForm* f = Form();
  f->MicSpkrDistanceText->setText("abc");
  const QColor before = f->MicSpkrDistanceText->palette().color(QPalette::Base);
  f->RunMainTest();
  EXPECT_TRUE(SoundCardBusy);
  EXPECT_EQ(f->MicSpkrDistanceText->palette().color(QPalette::Base), before);
}

TEST_F(AudioFormTest, TestRefusesAnotherSampleRateAndLeavesARunningRecordingAlone) {
  LoadSilentSet(1, 48000, 17, 20.0f);
  EQConfig.SampleRate = 44100;
  AudioForm* f = Forms::Get<AudioForm>();
  EXPECT_EQ(Said([&] { f->Test->click(); }),
            Texts{"User Error: Each curve in a set must have the same sample frequency. Loaded data may have been "
                  "resampled"});
  EXPECT_NE(f->TestMode, -3);
  EXPECT_FALSE(SoundCardBusy);
  EXPECT_EQ(f->SoundCardUsed, kFalse);

  // While a noise recording streams at the card's rate.
  EQConfig.SampleRate = 48000;
  f->PSDRecordBut->click();
  ASSERT_TRUE(SoundCardBusy);
  EQConfig.SampleRate = 44100;
  Said([&] { f->Test->click(); });
  EXPECT_TRUE(SoundCardBusy);
  EXPECT_TRUE(f->RunHourglassShown());
  Run(RunFrames() + 2000);
  EXPECT_EQ(processed, 1);
  ExpectIdle(f);

  EQConfig.SampleRate = 48000;
  f->Test->click();
  EXPECT_EQ(f->TestMode, -3);
  EXPECT_TRUE(SoundCardBusy);
  EXPECT_EQ(f->SoundCardUsed, kTrue);
}

TEST_F(AudioFormTest, NoiseRecordingIsOneRecordOnlyJob) {
  AudioForm* f = Form();
  f->PSDRecordBut->click();
  EXPECT_EQ(f->TestMode, -2);
  EXPECT_TRUE(SoundCardBusy);
  EXPECT_TRUE(f->RunHourglassShown());
  EXPECT_TRUE(f->Timer1->isActive());
  EXPECT_EQ(f->ProgressBar1->maximum(), 40);
  EXPECT_EQ(MeasHeader.PeriodExponent, 17);
  const int32_t n = RunFrames();
  EXPECT_EQ(n, 196608);

  EXPECT_EQ(Said([&] { f->PSDRecordBut->click(); }), Texts{"User Error: Sound card is in use"});
  EXPECT_TRUE(SoundCardBusy);
  EXPECT_TRUE(f->RunHourglassShown());

  // The block completes after exactly n frames, and nothing is played meanwhile.
  const int32_t block = SimulatedSoundCard::Instance().Settings().blockSize;
  Run(n - 2 * block);
  EXPECT_EQ(InspectStreaming().play, SlotState::Idle);
  EXPECT_EQ(processed, 0);
  Run(3 * block);
  EXPECT_EQ(processed, 1);
  ExpectIdle(f);
}

TEST_F(AudioFormTest, ACardRefusingTheRateEndsTheNoiseRecordingCleanly) {
  SimulatedCardSettings s = Quiet();
  s.rates = {44100};
  UseCard(s);
  AudioForm* f = Form();
  const std::string start = "Error 3850: Sound card could not be started: ";
  const Texts said = Said([&] { f->PSDRecordBut->click(); });
  ASSERT_EQ(said.size(), 1u);
  EXPECT_EQ(said[0].rfind(start, 0), 0u);
  EXPECT_GT(said[0].size(), start.size());
  ExpectIdle(f);

  // Exponents no buffer holds are refused before the card is touched.
  UseCard(Quiet());
  EQConfig.PeriodExponent = 25;
  EXPECT_EQ(Said([&] { f->PSDRecordBut_Click(); }), Texts{"Error 3848"});
  ExpectIdle(f);
}

TEST_F(AudioFormTest, StopEndsOnlyABusyRun) {
  AudioForm* f = Form();
  f->Command1->click();  // idle
  EXPECT_FALSE(SoundCardBusy);
  EXPECT_FALSE(f->RunHourglassShown());

  f->PSDRecordBut->click();
  ASSERT_TRUE(SoundCardBusy);
  Run(10000);
  f->Command1->click();
  ExpectIdle(f);
  Run(RunFrames() + 2000);
  EXPECT_EQ(processed, 0);
  ExpectIdle(f);

  // The main window's Stop reaches the same operation.
  InstallAudioFormLinks();
  main->RefreshLinkedControls();
  ASSERT_TRUE(main->Command3->isEnabled());
  f->PSDRecordBut->click();
  ASSERT_TRUE(SoundCardBusy);
  main->Command3->click();
  ExpectIdle(f);
}

TEST_F(AudioFormTest, ClosingMidRunLeavesNothingBusy) {
  int saves = 0;
  AudioFormHooks.SaveAutoMixerSettingsOnExit = [&] { ++saves; };
  InstallAudioFormLinks();
  main->RefreshLinkedControls();
  AudioForm* f = Form();
  ASSERT_TRUE(main->Command3->isEnabled());
  f->PSDRecordBut->click();
  ASSERT_TRUE(SoundCardBusy);
  Forms::Unload<AudioForm>();
  EXPECT_FALSE(SoundCardBusy);
  EXPECT_EQ(WaitCursor::Depth(), 0);
  EXPECT_EQ(InspectStreaming().record, SlotState::Idle);
  EXPECT_EQ(saves, 0) << "nothing was measured";
  EXPECT_FALSE(main->Command3->isEnabled());
  EXPECT_EQ(RecordBufferA.size(), 2u);
  EXPECT_EQ(PlayBufferA.size(), 2u);
  Run(RunFrames() + 2000);
  EXPECT_EQ(processed, 0);

  // Once Test was pressed, closing offers the mixer save.
  f = Form();
  EXPECT_EQ(PlayBufferB.size(), static_cast<std::size_t>(kMaxRunFrames + 1));
  EXPECT_EQ(RecordBufferB.size(), static_cast<std::size_t>(kMaxRunFrames + 1));
  f->Test->click();
  f->close();
  EXPECT_EQ(saves, 1);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(Forms::IsLoaded<AudioForm>());
}

TEST_F(AudioFormTest, LostStreamReportsAndEndsTheRun) {
  SimulatedCardSettings s = Quiet();
  s.loseStreamAfter = 5000;
  UseCard(s);
  AudioForm* f = Form();
  f->PSDRecordBut->click();
  ASSERT_TRUE(SoundCardBusy);
  EXPECT_EQ(Said([&] { Run(10000); }),
            Texts{"Error 3852: Sound card stopped during the recording: The sound card stopped"});
  EXPECT_EQ(processed, 0);
  ExpectIdle(f);
}

// The run stops before the main window asks its questions, bringing results none
// of them offers to save, and before it frees the work arrays the run completes into.
TEST_F(AudioFormTest, ClosingTheMainWindowStopsARunFirst) {
  InstallAudioFormLinks();
  AudioForm* f = Form();
  for (const bool unsaved : {true, false}) {
    SCOPED_TRACE(unsaved);
    main->ResultsTakenButNotSaved = unsaved ? kTrue : kFalse;
    f->Test->click();
    ASSERT_TRUE(SoundCardBusy);
    dialogs.Clear();
    if (unsaved) dialogs.ExpectMessage(MsgAnswer::Cancel);
    EXPECT_EQ(main->close(), !unsaved);
    EXPECT_EQ(dialogs.MessageTexts(), unsaved ? Texts{" Save file with new results ?"} : Texts{});
    EXPECT_FALSE(SoundCardBusy);
    if (unsaved) ExpectIdle(f);
    Run(RunFrames() + 4000);
    EXPECT_EQ(processed, 0);
    EXPECT_EQ(InspectStreaming().record, SlotState::Idle);
    EXPECT_EQ(InspectStreaming().play, SlotState::Idle);
  }
}

// On the simulated card the window names the room measured; a room file the card
// refuses is said once, in the card's words, when a run starts.
TEST_F(AudioFormTest, TheSimulatedCardsRoomIsNamedAndARefusedFileSaidOnce) {
  SimulatedCardSettings s = Quiet();
  s.room.clear();
  UseCard(s);
  const std::string text = TempPath("notes.wav");
  WriteWholeFileAtomic(text, std::string_view("a text file renamed .wav\n"));
  setenv("ZENTOR_SIM_ROOM", text.c_str(), 1);
  AudioForm* f = Form();
  for (int run = 0; run < 2; ++run) {
    EXPECT_EQ(Said([&] { f->Test->click(); }, run == 0 ? 1 : 0),
              run == 0 ? Texts{"ZENTOR_SIM_ROOM: " + text +
                               " is not a WAV file; the simulated card measures its built-in room at 2 m"}
                       : Texts{});
    EXPECT_EQ(f->SimRoomLabel->text().toStdString(), "Simulated room: built-in, 2 m");
    Run(RunFrames() + 4000);
    ExpectIdle(f);
  }
  unsetenv("ZENTOR_SIM_ROOM");
}

TEST_F(AudioFormTest, SizeButtonsHalveAndDoubleOnceAndTheWindowRenders) {
  AudioForm* f = Form();
  f->show();
  const QSize big = f->size();
  const QImage bigShot = f->grab().toImage();
  f->MakeSmall->click();
  EXPECT_EQ(f->size(), big / 2);
  f->MakeSmall->click();
  EXPECT_EQ(f->size(), big / 2);
  EXPECT_FALSE(f->MicPic->isVisible());
  EXPECT_TRUE(f->rect().contains(f->Command1->geometry())) << "Stop must stay in reach";
  EXPECT_TRUE(f->rect().contains(f->ProgressBar1->geometry()));
  const QImage smallShot = f->grab().toImage();
  // Growing again redraws the level pictures over whatever they held.
  f->MicPic->SetBackColor(RGB(1, 2, 3));
  f->MakeBig->click();
  EXPECT_NE(f->MicPic->Image().pixelColor(2, 2), QColor(1, 2, 3));
  f->MicPic->SetBackColor(RGB(1, 2, 3));
  f->MakeBig->click();
  EXPECT_EQ(f->MicPic->Image().pixelColor(2, 2), QColor(1, 2, 3));
  EXPECT_EQ(f->size(), big);
  EXPECT_TRUE(f->MicPic->isVisible());
  EXPECT_EQ(f->MicPic->width(), f->RefPic->width());
  EXPECT_GT(f->MicPic->height(), 100);
  EXPECT_EQ(bigShot.size(), big * f->devicePixelRatio());
  if (const char* dir = std::getenv("ZENTOR_AUDIOFORM_PNG")) {
    EXPECT_TRUE(bigShot.save(QString(dir) + "/audio_form_big.png"));
    EXPECT_TRUE(smallShot.save(QString(dir) + "/audio_form_small.png"));
  }
}

// Doubled on a small screen the window is held inside it; halved, it is as before.
TEST_F(AudioFormTest, DoubledWindowStaysOnASmallScreen) {
  const QRect area(0, 0, 1024, 700);
  const WindowsOnScreen onScreen([&](const QWidget&) { return area; });
  AudioForm* f = Form();
  f->show();
  f->MakeSmall->click();
  const QSize small = f->size();
  f->MakeBig->click();
  EXPECT_TRUE(area.contains(f->geometry()));
  f->MakeSmall->click();
  EXPECT_EQ(f->size(), small);
}

// New Measurement opens the window, whose buttons reach their work; Response and
// Measure start the run from the main window.
TEST_F(AudioFormTest, MainWindowEntriesOpenTheWindowAndStartTheRun) {
  EXPECT_FALSE(main->NewMeasMenue->isEnabled());
  EXPECT_FALSE(main->Response->isEnabled());
  InstallAudioFormLinks();
  InstallMainTestLinks();
  main->RefreshLinkedControls();
  ASSERT_TRUE(main->NewMeasMenue->isEnabled());
  main->NewMeasMenue->trigger();
  ASSERT_TRUE(Forms::IsLoaded<AudioForm>());
  AudioForm* f = Form();
  EXPECT_TRUE(f->isVisible());
  EXPECT_EQ(f->windowTitle(), "Audio Data Gathering");
  EXPECT_EQ(f->parentWidget(), main);

  EXPECT_TRUE(f->Levels->isEnabled());
  EXPECT_FALSE(f->SndCardSelect->isEnabled());
  int cards = 0;
  MainWindowHooks.ShowSoundCardSelector = [&] { ++cards; };
  f->Test->setEnabled(false);
  f->Form_Activate();
  EXPECT_TRUE(f->Test->isEnabled());
  ASSERT_TRUE(f->SndCardSelect->isEnabled());
  f->SndCardSelect->click();
  EXPECT_EQ(cards, 1);
  f->Help->click();
  EXPECT_EQ(GetHelpLog().topics, std::vector<int32_t>{HelpTopic::AudioForm});
  MainWindowHooks.UnloadAudioForm();
  EXPECT_FALSE(Forms::IsLoaded<AudioForm>());

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

TEST_F(AudioFormTest, RefusalsComeInOrderAndOnlyLateOnesTouchTheBusyFlag) {
  AudioForm* f = Form();
  // A compressed set is refused before the busy check, the flag as it was.
  LoadSilentSet(1, 48000, 15, 20.0f);
  SoundCardBusy = true;
  EXPECT_EQ(Said([&] { f->RunMainTest(); }),
            Texts{"Error: Measurements cannot be added to a file compressed to less than 1000 ms (1 sec)"});
  EXPECT_TRUE(SoundCardBusy);
  SoundCardBusy = false;

  // Another rate, then a resampled set: refused, flag untouched.
  LoadSilentSet(1, 44100, 17, 20.0f);
  EXPECT_EQ(Said([&] { f->RunMainTest(); }),
            Texts{"User Error: Each curve in a set must have the same sample frequency. Loaded data may have been "
                  "resampled"});
  LoadSilentSet(1, 48000, 17, 20.0f);
  DataResampled = true;
  EXPECT_EQ(Said([&] { f->RunMainTest(); }), Texts{"User Error: Data has been resampled. New measurements cannot be added"});
  EXPECT_FALSE(SoundCardBusy);
  EXPECT_FALSE(f->RunHourglassShown());
  DataResampled = false;

  // A typed distance out of range: only the validator's message, nothing stored.
  EQConfig.AutoRange = kFalse;
  EQConfig.MicSpeakerDistance = 1.5f;
  f->RefreshRunSettings();
  f->MicSpkrDistanceText->setText("60");
  EXPECT_EQ(Said([&] { f->RunMainTest(); }), Texts{"User Error: Input must be between 0 and 50"});
  EXPECT_EQ(EQConfig.MicSpeakerDistance, 1.5f);

  // With the distance good, a busy card is the next refusal; the distance is kept.
  f->MicSpkrDistanceText->setText("2.5");
  SoundCardBusy = true;
  EXPECT_EQ(Said([&] { f->RunMainTest(); }), Texts{"User Error: Sound card is in use"});
  EXPECT_EQ(EQConfig.MicSpeakerDistance, 2.5f);
  EXPECT_TRUE(SoundCardBusy);
  EXPECT_FALSE(f->RunHourglassShown());
  SoundCardBusy = false;

  // 32 loaded: refused after busy was set, and cleared again.
  LoadSilentSet(32, 48000, 17, 20.0f);
  EXPECT_EQ(Said([&] { f->RunMainTest(); }), Texts{"User Error: Too many curves. Delete one or more curves"});
  ExpectIdle(f);

  // 31 loaded: the run starts.
  LoadSilentSet(31, 48000, 17, 20.0f);
  f->RunMainTest();
  EXPECT_TRUE(SoundCardBusy);
  EXPECT_EQ(f->TestMode, -3);
  EXPECT_EQ(MeasHeader.MicSpeakerDistance, 2.5f);
  EXPECT_EQ(InspectStreaming().record, SlotState::Armed);
}

TEST_F(AudioFormTest, ASetOfAnotherPeriodResetsTheSettingsAndTheNextPressMeasuresIt) {
  LoadSilentSet(1, 48000, 16, 20.0f);
  ResultsDataSetInfo[0].PreExcitationExponent = 15;
  AudioForm* f = Form();
  EXPECT_EQ(Said([&] { f->RunMainTest(); }),
            Texts{"User Error: The excitatation of all tests must be the same: Resetting excitation time"});
  EXPECT_EQ(EQConfig.PeriodExponent, 16);
  EXPECT_EQ(EQConfig.PreExcitationExponent, 15);
  EXPECT_EQ(f->Slider2->value(), 16);
  ExpectIdle(f);

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

TEST_F(AudioFormTest, EveryExcitationLaysOutBothPlayBuffersAlike) {
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
    f->ResetSound();
  }
}

// Out of its range the crossover ends the run before the card; in range it is
// frozen into the header and its place on file.
TEST_F(AudioFormTest, CrossoverFrequencyIsCheckedThenFrozenIntoTheHeaderAndItsPlaceOnFile) {
  EQConfig.MeasConfig = 42;
  AudioForm* f = Form();
  f->MLSText->setText("150");
  EXPECT_EQ(Said([&] { f->RunMainTest(); }), Texts{"User Error: Input must be between 200 and 2000"});
  ExpectIdle(f);

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

TEST_F(AudioFormTest, NoiseShapedSweepSumsOnlyTheMatchingFiledSpectra) {
  AudioForm* f = Form();
  f->Check1->setChecked(true);
  const float pink10 = float(10 * std::log10(1 / std::sqrt(10.0)));
  // Nothing filed: pink, both flags clear.
  EQConfig.PsdRunFlag = kTrue;
  EQConfig.MainRunFlag = kTrue;
  f->RunMainTest();
  ASSERT_TRUE(SoundCardBusy);
  EXPECT_EQ(MeasHeader.MainRunFlag, 0);
  EXPECT_EQ(MeasHeader.PsdRunFlag, 0);
  EXPECT_FLOAT_EQ(WorkCurveAux[10], pink10);
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
  EXPECT_FLOAT_EQ(WorkCurveAux[10], pink10);
}

TEST_F(AudioFormTest, CardPlaysBothBuffersAndRecordsTheRunOnOneFrame) {
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

TEST_F(AudioFormTest, AFailingBuildEndsTheRunWithItsStageNumber) {
  AudioForm* f = Form();
  for (auto inject : {+[] { EQConfig.MeasConfig = 5; }, +[] { EQConfig.SampleRate = 0; },
                      +[] { EQConfig.PsdPeriodExponent = 16; }}) {
    EQConfig.MeasConfig = 87;
    EQConfig.SampleRate = 48000;
    EQConfig.PsdPeriodExponent = 15;
    inject();
    EXPECT_EQ(Said([&] { f->RunMainTest(); }), Texts{"Error 3844"});
    ExpectIdle(f);
  }
}

}  // namespace
}  // namespace zentor::test
