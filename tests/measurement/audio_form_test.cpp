// The measurement window on the simulated card: settings display, progress, the
// signal warnings, the noise recording's start, Stop, closing mid-run and the sizes.
#include <QAction>
#include <QDir>
#include <QLabel>
#include <QCheckBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QtTest/QTest>
#include <cstdlib>

#include "base/atomic_file.h"
#include "core/records.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/main_window_links.h"
#include "measurement/audio_form.h"
#include "measurement/eq_audio_module.h"
#include "platform/help.h"
#include "platform/text_boxes.h"
#include "platform/window_placement.h"
#include "support/audio_fixture.h"
#include "support/silent_set.h"

namespace zentor::test {
namespace {

std::string Text(const QLineEdit* e) { return e->text().toStdString(); }

class AudioFormTest : public AudioTest {
 protected:
  void SetUp() override {
    AudioTest::SetUp();
    oldDir_ = QDir::currentPath();
    QDir::setCurrent(tempDir.path());
    main = Forms::Get<DataPlotter>();
    main->Form_Load();
    WaveDeviceId = Sim();
    EQConfig.SampleRate = 48000;
    EQConfig.PeriodExponent = 17;
    AudioFormHooks.AudioRecordProcess = [this] {
      ++processed;
      Form()->EndRun();
    };
  }
  void TearDown() override {
    Forms::Unload<AudioForm>();
    AudioTest::TearDown();
    QDir::setCurrent(oldDir_);
  }
  AudioForm* Form() { return Forms::Get<AudioForm>(); }
  static int32_t RunFrames() { return (1 << EQConfig.PeriodExponent) + (1 << EQConfig.PreExcitationExponent); }
  // The state every ended run leaves: card free, timer off, pointer back.
  void ExpectIdle(AudioForm* f) {
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

 private:
  QString oldDir_;
};

TEST_F(AudioFormTest, SettingsDisplayFollowsPeriodRateAndMicrophoneChannel) {
  AudioForm* f = Form();
  EXPECT_EQ(Text(f->PeriodLengthText), "3");
  EXPECT_EQ(Text(f->PreExciteLengthText), "1.3");
  EXPECT_EQ(f->Slider2->minimum(), 16);
  EXPECT_EQ(f->Slider2->maximum(), 18);
  EXPECT_EQ(f->Slider2->value(), 17);
  EXPECT_EQ(EQConfig.PreExcitationExponent, 16);

  EQConfig.PeriodExponent = 16;
  EQConfig.SampleRate = 44100;
  f->RefreshRunSettings();
  EXPECT_EQ(Text(f->PeriodLengthText), "2");
  EXPECT_EQ(Text(f->PreExciteLengthText), "0.7");
  EXPECT_EQ(EQConfig.PreExcitationExponent, 15);

  EQConfig.SampleRate = 48000;
  f->Slider2->setValue(18);
  EXPECT_EQ(EQConfig.PeriodExponent, 18);
  EXPECT_EQ(Text(f->PeriodLengthText), "6");

  MicChannel = 99;
  f->SetMicOnOffDisplay();
  EXPECT_EQ(f->Label6->text(), "dB Mic Right");
  EXPECT_EQ(f->Label7->text(), "dB Rf Left");
  MicChannel = 33;
  f->SetMicOnOffDisplay();
  EXPECT_EQ(f->Label6->text(), "dB Rf Right");
  EXPECT_EQ(f->Label7->text(), "dB Mic Left");

  // Settings shown as options; a code of none clears all three.
  EQConfig.MeasConfig = 87;
  EQConfig.AutoRange = kTrue;
  f->RefreshRunSettings();
  EXPECT_TRUE(f->SweepsBut->isChecked());
  EXPECT_FALSE(f->MicSpkrDistanceText->isEnabled());
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

  dialogs.ExpectMessage();
  f->StartProgressTimer(17, 16, 0);
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Error 4987"});
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
  dialogs.Clear();
  dialogs.ExpectMessage();
  Form()->SweepsBut->click();
  EXPECT_EQ(dialogs.calls().size(), 1u);
}

TEST_F(AudioFormTest, DistanceOptionsAndRedFieldsTurnWhiteOnEdit) {
  AudioForm* f = Form();
  f->AutoRange->click();
  EXPECT_EQ(EQConfig.AutoRange, kTrue);
  EXPECT_FALSE(f->MicSpkrDistanceText->isEnabled());
  f->ManualSub->click();
  EXPECT_EQ(EQConfig.AutoRange, kFalse);
  EXPECT_TRUE(f->MicSpkrDistanceText->isEnabled());

  f->MicSpkrDistanceText->setText("x");
  double v = 0;
  dialogs.ExpectMessage();
  EXPECT_FALSE(ValidateNumericTextBox(f->MicSpkrDistanceText, 0, 50, v));
  EXPECT_EQ(f->MicSpkrDistanceText->palette().color(QPalette::Base).red(), kInvalidFieldRed);
  QTest::keyClicks(f->MicSpkrDistanceText, "1");
  EXPECT_EQ(f->MicSpkrDistanceText->palette().color(QPalette::Base), QColor(Qt::white));
}

TEST_F(AudioFormTest, TestRefusesAnotherSampleRateAndLeavesARunningRecordingAlone) {
  LoadSilentSet(1, 48000, 17, 20.0f);
  EQConfig.SampleRate = 44100;
  AudioForm* f = Form();
  const char* refusal =
      "User Error: Each curve in a set must have the same sample frequency. Loaded data may have been resampled";
  dialogs.ExpectMessage();
  f->Test->click();
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{refusal});
  EXPECT_NE(f->TestMode, -3);
  EXPECT_FALSE(SoundCardBusy);
  EXPECT_EQ(f->SoundCardUsed, kFalse);

  // While a noise recording streams at the card's rate.
  EQConfig.SampleRate = 48000;
  f->PSDRecordBut->click();
  ASSERT_TRUE(SoundCardBusy);
  EQConfig.SampleRate = 44100;
  dialogs.ExpectMessage();
  f->Test->click();
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

  dialogs.ExpectMessage();
  f->PSDRecordBut->click();
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"User Error: Sound card is in use"});
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
  dialogs.ExpectMessage();
  f->PSDRecordBut->click();
  ASSERT_EQ(dialogs.MessageTexts().size(), 1u);
  EXPECT_EQ(dialogs.MessageTexts()[0].rfind("Error 3850: Sound card could not be started: ", 0), 0u);
  EXPECT_GT(dialogs.MessageTexts()[0].size(), std::string("Error 3850: Sound card could not be started: ").size());
  ExpectIdle(f);

  // Exponents no buffer holds are refused before the card is touched.
  UseCard(Quiet());
  EQConfig.PeriodExponent = 25;
  dialogs.Clear();
  dialogs.ExpectMessage();
  f->PSDRecordBut_Click();
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Error 3848"});
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
  dialogs.ExpectMessage();
  Run(10000);
  ASSERT_EQ(dialogs.MessageTexts().size(), 1u);
  EXPECT_EQ(dialogs.MessageTexts()[0], "Error 3852: Sound card stopped during the recording: The sound card stopped");
  EXPECT_EQ(processed, 0);
  ExpectIdle(f);
}

// The run stops before the main window frees the work arrays it would complete into.
TEST_F(AudioFormTest, ClosingTheMainWindowStopsARunFirst) {
  InstallAudioFormLinks();
  Form()->Test->click();
  ASSERT_TRUE(SoundCardBusy);
  EXPECT_TRUE(main->close());
  EXPECT_FALSE(SoundCardBusy);
  Run(RunFrames() + 4000);
  EXPECT_EQ(processed, 0);
  EXPECT_EQ(InspectStreaming().record, SlotState::Idle);
  EXPECT_EQ(InspectStreaming().play, SlotState::Idle);
}

// A run could end while the close asks its questions, bringing results none of
// them offers to save: the run is stopped before the first question.
TEST_F(AudioFormTest, ClosingTheMainWindowStopsTheRunBeforeItsQuestions) {
  InstallAudioFormLinks();
  main->ResultsTakenButNotSaved = kTrue;
  Form()->Test->click();
  ASSERT_TRUE(SoundCardBusy);
  dialogs.ExpectMessage(MsgAnswer::Cancel);  // " Save file with new results ?"
  EXPECT_FALSE(main->close());
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{" Save file with new results ?"});
  ExpectIdle(Form());
  Run(RunFrames() + 4000);
  EXPECT_EQ(processed, 0);
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
    dialogs.Clear();
    if (run == 0) dialogs.ExpectMessage();
    f->Test->click();
    EXPECT_EQ(dialogs.MessageTexts(),
              run == 0 ? std::vector<std::string>{"ZENTOR_SIM_ROOM: " + text +
                                                  " is not a WAV file; the simulated card measures its built-in room at 2 m"}
                       : std::vector<std::string>{});
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

TEST_F(AudioFormTest, MainWindowOpensTheWindowAndTheButtonsReachTheirWork) {
  EXPECT_FALSE(main->NewMeasMenue->isEnabled());
  InstallAudioFormLinks();
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
}

}  // namespace
}  // namespace zentor::test
