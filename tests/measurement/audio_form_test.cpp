// The measurement window on the simulated card: its controls, the runs it starts
// (test, levels check, noise recording), their refusals, faults and card jobs,
// and what each run shows and stores.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QtTest/QTest>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "base/atomic_file.h"
#include "base/text_number.h"
#include "core/work_arrays.h"
#include "display/plot_colours.h"
#include "display/time_views.h"
#include "display/view_state.h"
#include "mainwindow/main_window_links.h"
#include "measurement/deconvolution.h"
#include "measurement/levels_check.h"
#include "measurement/run_main_test.h"
#include "measurement_fixture.h"
#include "platform/picture.h"
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
 private:
  QString oldDir_;
};

TEST_F(AudioFormTest, ControlsShowTheSettingsWarnOncePerOpeningAndTheProgressBarStopsOnItsLastTick) {
  AudioForm* f = Form();
  EXPECT_EQ((std::array{f->Slider2->minimum(), f->Slider2->value(), f->Slider2->maximum()}), (std::array{16, 17, 18}));
  EXPECT_TRUE(f->SweepsBut->isChecked());
  EXPECT_FALSE(f->MicSpkrDistanceText->isEnabled());
  // Under automatic range a run leaves the field unread.
  f->MicSpkrDistanceText->setText("abc");
  const QColor before = f->MicSpkrDistanceText->palette().color(QPalette::Base);
  f->RunMainTest();
  EXPECT_TRUE(SoundCardBusy);
  EXPECT_EQ(f->MicSpkrDistanceText->palette().color(QPalette::Base), before);
  f->ResetSound();
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

  dialogs.Clear();
  dialogs.ExpectMessage();
  f->SweepsBut->click();
  f->SweepsBut->click();
  ASSERT_EQ(dialogs.calls().size(), 1u);
  const DialogCall& c = dialogs.calls()[0];
  EXPECT_EQ(std::tie(c.text, c.icon, c.buttons, c.title),
            std::make_tuple("Tone sweeps may damage hearing or high frequency devices. Use hearing protection.",
                            MsgIcon::Exclamation, MsgButtons::OK, "Zentor"));
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
  // A code of none clears all three options.
  EQConfig.MeasConfig = 5;
  f = Form();
  EXPECT_FALSE(f->SweepsBut->isChecked() || f->HybridBut->isChecked() || f->MLSXOver->isChecked());

  // The progress bar stops on its last tick.
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

TEST_F(AudioFormTest, NoiseRecordingIsOneRecordOnlyJobAndCardFaultsEndItCleanly) {
  LoadSilentSet(1, 48000, 17, 20.0f);
  AudioForm* f = Form();
  f->PSDRecordBut->click();
  EXPECT_EQ(f->TestMode, -2);
  EXPECT_TRUE(f->Timer1->isActive());
  EXPECT_EQ(f->ProgressBar1->maximum(), 40);
  EXPECT_EQ(MeasHeader.PeriodExponent, 17);
  const int32_t n = RunFrames();
  EXPECT_EQ(Said([&] { f->PSDRecordBut->click(); }), Texts{"User Error: Sound card is in use"});
  EQConfig.SampleRate = 44100;
  EXPECT_EQ(Said([&] { f->Test->click(); }).size(), 1u);
  EQConfig.SampleRate = 48000;
  EXPECT_TRUE(SoundCardBusy);
  EXPECT_TRUE(f->RunHourglassShown());

  Run(8192);
  EXPECT_EQ(InspectStreaming().play, SlotState::Idle);
  ExpectCompletionAfter(n - 8192);
  ExpectIdle(f);

  // A card refusing the rate, a stream lost mid-recording and an exponent no buffer
  // holds (refused before the card is touched) each end it with their message.
  struct Fault {
    const char* name;
    std::vector<int32_t> rates;
    int64_t loseStreamAfter;
    int32_t exponent;
    std::string said;  // ending in ": ", the start of a longer message
  } const faults[] = {
      {"rate refused", {44100}, -1, 17, "Error 3850: Sound card could not be started: "},
      {"stream lost", {}, 5000, 17, "Error 3852: Sound card stopped during the recording: The sound card stopped"},
      {"no buffer holds 2^25", {}, -1, 25, "Error 3848"},
  };
  processed = 0;
  for (const Fault& x : faults) {
    SCOPED_TRACE(x.name);
    SimulatedCardSettings s = Quiet();
    s.rates = x.rates;
    s.loseStreamAfter = x.loseStreamAfter;
    UseCard(s);
    f = Form();
    EQConfig.PeriodExponent = x.exponent;
    const Texts said = Said([&] {
      f->PSDRecordBut->click();
      Run(10000);
    });
    ASSERT_EQ(said.size(), 1u);
    if (x.said.ends_with(": "))
      EXPECT_TRUE(said[0].starts_with(x.said) && said[0].size() > x.said.size()) << said[0];
    else
      EXPECT_EQ(said[0], x.said);
    EXPECT_EQ(processed, 0);
    ExpectIdle(f);
  }
}

TEST_F(AudioFormTest, StopAndClosingEitherWindowMidRunLeaveNothingBusy) {
  int saves = 0;
  AudioFormHooks.SaveAutoMixerSettingsOnExit = [&] { ++saves; };
  InstallAudioFormLinks();
  main->RefreshLinkedControls();
  AudioForm* f = Form();
  f->Command1->click();  // idle
  EXPECT_FALSE(SoundCardBusy || f->RunHourglassShown());
  ASSERT_TRUE(main->Command3->isEnabled());
  for (QPushButton* stop : {f->Command1, main->Command3}) {
    f->PSDRecordBut->click();
    ASSERT_TRUE(SoundCardBusy);
    Run(10000);
    stop->click();
    ExpectIdle(f);
    Run(RunFrames() + 2000);
    EXPECT_EQ(processed, 0);
  }
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

  // Closing the main window stops the run before it asks its questions, bringing results none
  // of them offers to save, and before it frees the work arrays the run completes into.
  f = Form();
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
  // Doubled on a small screen the window is held inside it; halved, it is as before.
  const QRect area(0, 0, 1024, 700);
  const WindowsOnScreen onScreen([&](const QWidget&) { return area; });
  f->MakeSmall->click();
  const QSize small = f->size();
  f->MakeBig->click();
  EXPECT_TRUE(area.contains(f->geometry()));
  f->MakeSmall->click();
  EXPECT_EQ(f->size(), small);
}

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

  // Another rate, from Test and from the run itself, then a resampled set: refused, flag untouched.
  LoadSilentSet(1, 44100, 17, 20.0f);
  for (const bool button : {true, false})
    EXPECT_EQ(Said([&] { button ? f->Test->click() : f->RunMainTest(); }),
              Texts{"User Error: Each curve in a set must have the same sample frequency. Loaded data may have "
                    "been resampled"});
  EXPECT_TRUE(f->SoundCardUsed == kFalse && f->TestMode != -3);
  LoadSilentSet(1, 48000, 17, 20.0f);
  DataResampled = true;
  EXPECT_EQ(Said([&] { f->RunMainTest(); }), Texts{"User Error: Data has been resampled. New measurements cannot be added"});
  EXPECT_FALSE(SoundCardBusy || f->RunHourglassShown());
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

  // 31 loaded: Test starts the run.
  LoadSilentSet(31, 48000, 17, 20.0f);
  f->Test->click();
  EXPECT_TRUE(SoundCardBusy);
  EXPECT_EQ(f->SoundCardUsed, kTrue);
  EXPECT_EQ(f->TestMode, -3);
  EXPECT_EQ(MeasHeader.MicSpeakerDistance, 2.5f);
  EXPECT_EQ(InspectStreaming().record, SlotState::Armed);
}

TEST_F(AudioFormTest, ASetOfAnotherPeriodResetsTheSettingsAndTheCrossoverIsCheckedThenFrozenIntoTheHeader) {
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
  ExpectCompletionAfter(98304);

  // Out of its range the crossover ends the run before the card; in range it is frozen into the header.
  EQConfig.MeasConfig = 42;
  f->RefreshRunSettings();
  f->MLSText->setText("150");
  EXPECT_EQ(Said([&] { f->RunMainTest(); }), Texts{"User Error: Input must be between 200 and 2000"});
  ExpectIdle(f);

  f->MLSText->setText("300");
  f->RunMainTest();
  ASSERT_TRUE(SoundCardBusy);
  EXPECT_EQ(MeasHeader.CrossoverFrequency, 300.0f);
  EXPECT_EQ(MeasHeader.MainRunFlag, 0);
}

TEST_F(AudioFormTest, NoiseShapedSweepSumsOnlyTheMatchingFiledSpectraAndAFailingBuildSaysItsStage) {
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
  f->ResetSound();

  // A failing build ends the run with its stage number.
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

TEST_F(AudioFormTest, EveryExcitationLaysOutBothPlayBuffersAndTheCardPlaysThem) {
  AudioForm* f = Form();
  for (int32_t config : {42, 43, 87}) {
    SCOPED_TRACE(config);
    EQConfig.MeasConfig = config;
    f = Form();
    f->MLSText->setText("300");
    f->RunMainTest();
    ASSERT_TRUE(SoundCardBusy);
    EXPECT_EQ(MeasHeader.MeasConfig, config);
    EXPECT_EQ(MeasHeader.PreExcitationExponent, 16);
    ExpectPlayBuffers(17, 16);
    if (config != 87) f->ResetSound();
  }
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
  ASSERT_NO_FATAL_FAILURE(ExpectCompletionAfter(n - block));
  // The reference input hears the left output, the microphone (right, unit room) the right.
  const int32_t latency = SimulatedSoundCard::Instance().Settings().latency;
  for (int32_t i = 0; i + latency < n; i += 97) {
    ASSERT_EQ(left[i + latency], a[i]) << i;
    ASSERT_EQ(right[i + latency], b[i]) << i;
  }
  EXPECT_FALSE(SoundCardBusy);
}

class LevelsCheckTest : public MeasurementWindowTest {
 protected:
  void SetUp() override {
    MeasurementWindowTest::SetUp();
    EQConfig.LevelsPeriodExponent = 15;
    EQConfig.LevelsPreExcitationExponent = 14;
    EQConfig.PsdPeriodExponent = 15;
  }
  static SimulatedCardSettings NoisyRoom() {
    SimulatedCardSettings s = RoomCard();
    s.micNoise = 1.0;
    s.refNoise = 0.5;
    return s;
  }
};

TEST_F(LevelsCheckTest, RefusesWarnsPlaysItsOwnBuffersAndStartsFromBothWindows) {
  AudioForm* f = Form();
  SoundCardBusy = true;
  EXPECT_EQ(Said([&] { f->RunLevelsCheck(); }), Texts{"User Error: Sound card is in use"});
  EXPECT_EQ(InspectStreaming().record, SlotState::Idle);
  SoundCardBusy = false;

  // Neither a full set nor one of another period stops it; the set stays as it was.
  LoadSilentSet(32, 48000, 16, 20.0f);
  KeepRecordings();
  f->Check1->setChecked(true);
  PsdParameters[0].Count = 1;
  PsdParameters[0].Exponent = 14;
  PsdParameters[0].SampleRate = 48000;
  PsdSet[0].fill(40.0f);
  f->RunLevelsCheck();
  ASSERT_TRUE(SoundCardBusy);
  EXPECT_EQ(f->TestMode, -1);
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 32);
  const int32_t n = 49152, period = 32768;
  const std::vector<int16_t> a(LevelsPlayBufferA.begin(), LevelsPlayBufferA.begin() + n);
  const std::vector<int16_t> shaped(LevelsPlayBufferB.begin(), LevelsPlayBufferB.begin() + period);
  ExpectPlayBuffers(15, 14, LevelsPlayBufferA, LevelsPlayBufferB);
  // One play and one record job of 2^15 + 2^14 frames, the reversed period on the left.
  ASSERT_NO_FATAL_FAILURE(ExpectCompletionAfter(n));
  const int32_t latency = SimulatedSoundCard::Instance().Settings().latency;
  for (int32_t i = 0; i + latency < n; i += 61) ASSERT_EQ(left[i + latency], a[i]) << i;

  // The pink shape whatever Check1 says: the same sweep without it.
  f->Check1->setChecked(false);
  f->RunLevelsCheck();
  EXPECT_TRUE(std::equal(shaped.begin(), shaped.end(), LevelsPlayBufferB.begin()));
  f->ResetSound();

  // 3000 Hz: a warning only; 3000 Hz crossover is accepted here.
  EQConfig.SampleRate = 3000;
  EQConfig.MeasConfig = 42;
  f->RefreshRunSettings();
  f->MLSText->setText("3000");
  EXPECT_EQ(Said([&] { f->RunLevelsCheck(); }), Texts{"Error 4628"});
  EXPECT_TRUE(SoundCardBusy);
  EXPECT_EQ(MeasHeader.CrossoverFrequency, 3000.0f);
  f->ResetSound();

  // A build that fails after the card was claimed gives it back.
  EQConfig.SampleRate = 48000;
  EQConfig.MeasConfig = 5;
  EXPECT_EQ(Said([&] { f->RunLevelsCheck(); }), Texts{"Error 4629"});
  ExpectIdle(f);

  // The Levels button checks the rate and the distance; the main window starts the check.
  EQConfig.MeasConfig = 87;
  f->RefreshRunSettings();
  LoadSilentSet(1, 44100, 17, 20.0f);
  SoundCardBusy = true;  // a run streaming: the refusal leaves its flag alone
  EXPECT_EQ(Said([&] { f->Levels->click(); }).size(), 1u);
  EXPECT_TRUE(SoundCardBusy);
  SoundCardBusy = false;
  ResultsDataSetInfo.fill(MeasurementHeader{});

  f->ManualSub->click();
  f->MicSpkrDistanceText->setText("51");
  Said([&] { f->Levels->click(); });
  EXPECT_FALSE(SoundCardBusy);
  EXPECT_EQ(f->SoundCardUsed, kFalse);
  f->MicSpkrDistanceText->setText("3.5");
  f->Levels->click();
  EXPECT_TRUE(SoundCardBusy);
  EXPECT_EQ(EQConfig.MicSpeakerDistance, 3.5f);
  EXPECT_EQ(f->SoundCardUsed, kTrue);
  EXPECT_FALSE(f->MLSText->isReadOnly());
  f->ResetSound();

  EXPECT_FALSE(main->LevelTest->isEnabled());
  InstallAudioFormLinks();
  InstallLevelsCheckLinks();
  main->EnableDataPlotterPlayRec(kTrue);
  main->RefreshLinkedControls();
  ASSERT_TRUE(main->LevelTest->isEnabled());
  ASSERT_TRUE(main->Command2->isEnabled());
  main->LevelTest->trigger();
  EXPECT_TRUE(SoundCardBusy);
  EXPECT_EQ(Form()->TestMode, -1);
  Form()->ResetSound();
  main->Command2->click();
  EXPECT_TRUE(SoundCardBusy);
}

TEST_F(LevelsCheckTest, AnInputAtFullScaleIsNamedAndTheRunMarkedUntilACleanQuickImpulseOfTheRoom) {
  SimulatedCardSettings s = RoomCard();
  s.referenceGain = 1.0;
  s.inputGain = 6.0;  // both inputs reach full scale
  UseCard(s);
  AudioForm* f = Form();
  for (const bool levels : {true, false}) {
    SCOPED_TRACE(levels ? "levels check" : "run");
    if (!levels) f->RefreshRunSettings();
    const Texts said = Said([&] {
      levels ? f->RunLevelsCheck() : f->RunMainTest();
      RunToEnd();
    });
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0].rfind("Warning: the right input (microphone) clipped: ", 0), 0u) << said[0];
    EXPECT_NE(said[0].find("\nWarning: the left input (reference) clipped: "), std::string::npos) << said[0];
    EXPECT_EQ(Text(f->ClipLabel), "Clipped: right input, left input");
  }
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 1);

  // A clean check clears the mark; its quick impulse goes to the levels view, not to the full set.
  UseCard(NoisyRoom());
  LoadSilentSet(32, 48000, 17, 20.0f);
  const MeasurementHeader last = ResultsDataSetInfo[31];
  EXPECT_EQ(Said([&] { f->RunLevelsCheck(); RunToEnd(); }, 0), Texts{});
  EXPECT_EQ(Text(f->ClipLabel), "");
  EXPECT_EQ(DisplayConfig.Graphshown, 4);
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 32);
  EXPECT_EQ(ResultsDataSetInfo[31].ImpulseShift, last.ImpulseShift);

  const auto peak = std::max_element(LevelsImpulse.begin(), LevelsImpulse.end(),
                                     [](float a, float b) { return std::abs(a) < std::abs(b); }) -
                    LevelsImpulse.begin();
  EXPECT_NEAR(peak, 2400, 1);
  EXPECT_NEAR(MeasHeader.ImpulseShift, RoomPeak() - 2400, 1) << RoomPeak();
  EXPECT_EQ(Text(f->MicSpkrText), "2");
  EXPECT_EQ(MeasHeader.MeasuredDistance, 2.0f);
  EXPECT_EQ(Text(f->LeftPeakLevel), "-6");
  EXPECT_EQ(MeasHeader.PeakLevel, static_cast<float>(Val(Text(f->RightPeakLevel))));
  EXPECT_EQ(LevelsCheckHeader.ImpulseShift, MeasHeader.ImpulseShift);
  ASSERT_EQ(main->ModesList->count(), 3);
  // The view prints its own unwrapped figure: 2.007 m at the room's -2119, 2 m one sample nearer.
  const std::string line = main->ModesList->item(0)->text().toStdString();
  EXPECT_TRUE(line == "Mic-Spkr Dist = 2.007 m" || line == "Mic-Spkr Dist = 2 m") << line;
  EXPECT_EQ(LevelsCurves[0].Label, "Levels Test");

  // The pictures: reference at gain 0.5 tops the scale.
  EXPECT_EQ(Text(f->MaxValCap[0]), "-6 dB");
  EXPECT_EQ(Text(f->MinVal[1]), "-56 dB");
  if (const char* dir = std::getenv("ZENTOR_KEEP_PNG_DIR"))
    for (PictureBox* pic : {f->MicPic, f->RefPic})
      pic->DrawingSpaceImage().save(QString(dir) + (pic == f->MicPic ? "/levels_mic.png" : "/levels_ref.png"));
}

// The distance as shown, from whole millimetres: metres cut toward zero to
// 0.01 m, written without trailing zeros. Worked only in integers.
std::string CentimetreText(int32_t mm) {
  const int32_t cm = mm / 10;
  std::string t = std::to_string(cm / 100);
  const int32_t hundredths = cm % 100;
  if (hundredths != 0) {
    t += "." + std::to_string(hundredths / 10);
    if (hundredths % 10 != 0) t += std::to_string(hundredths % 10);
  }
  return t;
}

// Every millimetre up to 5 m shows its own centimetre: 2330 mm is 2.33 m, not
// 2.32 (a float times 100 in double falls just short of 233 for about one value
// in twenty), and the stored value is the shown one.
TEST(DistanceText, EveryMillimetreUpToFiveMetresShowsItsCentimetre) {
  for (int32_t mm = 0; mm < 5000; ++mm) {
    const std::string shown = DistanceText(mm);
    ASSERT_EQ(shown, CentimetreText(mm)) << mm;
    ASSERT_EQ(static_cast<float>(Val(shown)), static_cast<float>((mm / 10) / 100.0)) << mm;
  }
  EXPECT_EQ(DistanceText(2330), "2.33");
  EXPECT_EQ(DistanceText(-2339), "-2.33");
}

// The levels check shows and stores that text: a room whose direct sound comes 326
// samples late at 48 kHz (2.3295 m) reads 2.33 m, where the old arithmetic showed 2.32.
TEST_F(LevelsCheckTest, ASilentMicrophoneStopsBeforeTheViewAndTheDistanceIsShownAndStoredToTheCentimetre) {
  // A silent microphone or an unknown channel stops the check before the view.
  SimulatedCardSettings s = Quiet();
  s.room = {0.0};
  s.referenceGain = 0.5;
  UseCard(s);
  AudioForm* f = Form();
  const auto check = [&] {
    f->RunLevelsCheck();
    RunToEnd();
  };
  EXPECT_EQ(Said(check, 2), (Texts{"User Error 3429: No input on Input channel", "User Error: No Right Channel Input"}));
  EXPECT_EQ(Text(f->LeftPeakLevel), "-6");
  EXPECT_EQ(LevelsCurves[0].NumCurves, 0);
  EXPECT_EQ(main->ModesList->count(), 0);
  MicChannel = 0;
  EXPECT_EQ(Said(check, 2), (Texts{"Error 5829", "User Error: No Right Channel Input"}));
  MicChannel = kMicOnRightInput;

  s = NoisyRoom();
  s.room.assign(400, 0.0);
  s.room[326] = 0.25;
  UseCard(s);
  check();
  const double d = (48000 * 0.05 + MeasHeader.ImpulseShift) / 48000.0 * 343.0;
  const int32_t mm = CLng(d * 1000.0) % CLng(Fix(32768.0 / 48000 * 343.0 * 1000.0));
  EXPECT_NEAR(mm, 2330, 8) << MeasHeader.ImpulseShift;
  // A distance the old arithmetic (a float times 100, cut in double) showed a centimetre short.
  const auto stored = static_cast<float>(mm / 1000.0);
  EXPECT_NE(FormatSingle(static_cast<float>(Fix(stored * 100.0) / 100.0)), CentimetreText(mm)) << mm;
  EXPECT_EQ(Text(f->MicSpkrText), CentimetreText(mm));
  EXPECT_EQ(MeasHeader.MeasuredDistance, static_cast<float>((mm / 10) / 100.0));
}

TEST_F(LevelsCheckTest, TenLsbOfNoiseReadsTwentyDecibelsUnlessTheListIsFullAndThePicturesFollowTheLoudestEarlyPoint) {
  const auto Record = [this] {
    Form()->PSDRecordBut->click();
    RunToEnd();
  };
  const auto PowerMean = [] {  // 10 log10 of the mean power over bins 16 .. 32751
    double sum = 0;
    for (int32_t i = 16; i <= 32751; ++i) sum += std::pow(10.0, WorkCurveAux[i] / 10.0);
    return 10 * std::log10(sum / (32751 - 16 + 1));
  };
  SimulatedCardSettings s = Quiet();
  s.micNoise = 10.0;
  UseCard(s);
  main->EnableDataPlotterPlayRec(kFalse);
  const bool playRecShown = main->NewTest->menuAction()->isVisible();
  Record();
  EXPECT_NEAR(PowerMean(), 20.0, 0.3);
  EXPECT_EQ(DisplayConfig.Graphshown, 5);
  EXPECT_EQ(MeasHeader.PsdRunFlag, kTrue);
  ASSERT_EQ(PsdParameters[0].Count, 1);
  ASSERT_EQ(PsdCurves[0].NumCurves, 1);
  EXPECT_FLOAT_EQ(PsdCurves[0].XValues[1000], 1000 * 48000.0f / 65536);
  EXPECT_EQ(main->NewTest->menuAction()->isVisible(), playRecShown);

  // The microphone on the left input: the noise is found there.
  MicChannel = kMicOnLeftInput;
  SimulatedCardHooks.MicChannel = [] { return MicChannel; };
  Record();
  EXPECT_NEAR(PowerMean(), 20.0, 0.3);
  EXPECT_EQ(PsdParameters[0].Count, 2);

  // A silent card reads the floor everywhere.
  s.silentInput = true;
  UseCard(s);
  Record();
  EXPECT_TRUE(std::all_of(WorkCurveAux.begin(), WorkCurveAux.begin() + 32768, [](float v) { return v == -100.0f; }));

  // A full list, or a spectrum larger than the list holds, files nothing.
  UseCard(Quiet());
  PsdParameters[0].Count = 32;
  PsdCurves[0].NumCurves = 32;
  EXPECT_EQ(Said([&] { Record(); }),
            Texts{"User Error: only 32 curves can be stored at once. Delete one to continue."});
  EXPECT_EQ(PsdParameters[0].Count, 32);
  PsdParameters[0].Count = 0;
  PsdCurves[0].NumCurves = 0;
  EQConfig.PsdPeriodExponent = 16;
  Record();
  EXPECT_EQ(PsdParameters[0].Count, 0);
  EXPECT_FALSE(SoundCardBusy);

  // The pictures follow the loudest early point over fifty decibels.
  AudioForm* f = Form();
  const int32_t r = 48000, w = 2400;
  std::vector<float> a(20000, 0.0f), b(20000, 0.0f);
  a[w] = 0.5f;        // reference on the left
  b[2 * w] = 0.25f;   // microphone on the right
  b[2 * w + 6000] = 4.0f;  // past point 5000: drawn beyond the top, not scaled to
  f->DrawImpulseEnergyPictures(a, b, kMicOnRightInput, r);
  EXPECT_EQ(Text(f->MaxValCap[0]), "-6 dB");
  EXPECT_EQ(Text(f->MinVal[0]), "-56 dB");
  EXPECT_EQ(Text(f->MaxValCap[1]), "-6 dB");
  EXPECT_EQ(f->MicFrame.YHigh, -6.0f);
  EXPECT_EQ(f->RefFrame.YLow, -56.0f);
  const AudioCurveRecord& mic = f->ImpulseEnergyCurves[0];
  const AudioCurveRecord& ref = f->ImpulseEnergyCurves[1];
  EXPECT_EQ(mic.NumPoints, 8000);
  EXPECT_EQ(ref.CurveIndex, 1);
  EXPECT_FLOAT_EQ(mic.XValues[0], -10.0f);
  EXPECT_NEAR(mic.XValues[8000], 156.667f, 1e-3);
  EXPECT_NEAR(ref.YValues[480], 20 * std::log10(0.5), 1e-4);
  EXPECT_NEAR(mic.YValues[480], 20 * std::log10(0.25), 1e-4);
  EXPECT_EQ(mic.YValues[0], kPictureFloorDb);

  a[w] = 1.5f;
  f->DrawImpulseEnergyPictures(a, b, kMicOnRightInput, r);
  EXPECT_EQ(Text(f->MaxValCap[1]), " 3 dB");
  EXPECT_EQ(Text(f->MinVal[1]), "-46 dB");
  EXPECT_EQ(f->RefFrame.YHigh - f->RefFrame.YLow, 50.0f);

  // Microphone on the left: the roles swap.
  f->DrawImpulseEnergyPictures(b, a, kMicOnLeftInput, r);
  EXPECT_NEAR(f->ImpulseEnergyCurves[0].YValues[480], 20 * std::log10(0.25), 1e-4);
  EXPECT_NEAR(f->ImpulseEnergyCurves[1].YValues[480], 20 * std::log10(1.5), 1e-4);

  // Red when drawn, the first curve colour when redrawn.
  const auto holds = [](const QImage& img, QColor c) {
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x)
        if (img.pixelColor(x, y) == c) return true;
    return false;
  };
  EXPECT_TRUE(holds(f->MicPic->DrawingSpaceImage(), QColor(255, 0, 0)));
  PlotColours[3] = RGB(1, 200, 3);
  f->RedrawImpulseEnergyPictures();
  const QImage redrawn = f->RefPic->DrawingSpaceImage();
  EXPECT_TRUE(holds(redrawn, QColor(1, 200, 3)));
  EXPECT_FALSE(holds(redrawn, QColor(255, 0, 0)));
}

}  // namespace
}  // namespace zentor::test
