// The levels check and the background-noise recording on the simulated card: their
// refusals, the card job, the quick impulse of the known room in the levels view,
// the noise spectrum's level, and the two level pictures.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "base/text_number.h"
#include "core/work_arrays.h"
#include "display/plot_colours.h"
#include "display/time_views.h"
#include "display/view_state.h"
#include "mainwindow/main_window_links.h"
#include "measurement/deconvolution.h"
#include "measurement/levels_check.h"
#include "measurement_fixture.h"
#include "platform/picture.h"
#include "support/silent_set.h"

namespace zentor::test {
namespace {

class LevelsCheckTest : public MeasurementWindowTest {
 protected:
  void SetUp() override {
    MeasurementWindowTest::SetUp();
    EQConfig.LevelsPeriodExponent = 15;
    EQConfig.LevelsPreExcitationExponent = 14;
    EQConfig.PsdPeriodExponent = 15;
  }
  // The default room with some noise on both inputs.
  static SimulatedCardSettings NoisyRoom() {
    SimulatedCardSettings s = RoomCard();
    s.micNoise = 1.0;
    s.refNoise = 0.5;
    return s;
  }
  static std::string Text(const QLabel* l) { return l->text().toStdString(); }
  using MeasurementWindowTest::Text;
};

TEST_F(LevelsCheckTest, RunRefusesWhileBusyWarnsOnLowRatesAndPlaysItsOwnBuffers) {
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
  for (int32_t i = 0; i < period; ++i) ASSERT_EQ(a[i], LevelsPlayBufferB[period - 1 - i]) << i;
  for (int32_t i = 0; i < 16384 - 200; ++i) ASSERT_EQ(a[period + i], a[i]) << i;
  EXPECT_EQ(a[n - 1], 0);
  // One play and one record job of 2^15 + 2^14 frames, the reversed period on the left.
  const int32_t block = SimulatedSoundCard::Instance().Settings().blockSize;
  Run(n - 2 * block);
  EXPECT_EQ(processed, 0);
  Run(3 * block);
  ASSERT_EQ(processed, 1);
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
}

TEST_F(LevelsCheckTest, LevelsButtonChecksRateAndDistanceAndMainWindowStartsTheCheck) {
  AudioForm* f = Form();
  KeepRecordings();
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

// An input at full scale is named by the levels check and by the run, each input
// on its own; the run's result is stored all the same and the window marks it,
// until a clean run clears the mark.
TEST_F(LevelsCheckTest, AnInputAtFullScaleIsNamedAndTheRunMarked) {
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

  UseCard(NoisyRoom());
  EXPECT_EQ(Said([&] { f->RunLevelsCheck(); RunToEnd(); }, 0), Texts{});
  EXPECT_EQ(Text(f->ClipLabel), "");
}

TEST_F(LevelsCheckTest, QuickImpulseOfTheRoomGoesToTheLevelsViewAndNotToTheSet) {
  UseCard(NoisyRoom());
  LoadSilentSet(32, 48000, 17, 20.0f);
  const MeasurementHeader last = ResultsDataSetInfo[31];
  AudioForm* f = Form();
  f->RunLevelsCheck();
  RunToEnd();
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
  EXPECT_EQ(DistanceText(2339), "2.33");
  EXPECT_EQ(DistanceText(-2339), "-2.33");
}

// The levels check shows and stores that text: a room whose direct sound comes
// 326 samples late at 48 kHz (2.3295 m) reads 2.33 m, where the old arithmetic
// showed 2.32.
TEST_F(LevelsCheckTest, TheDistanceIsShownAndStoredToTheCentimetre) {
  SimulatedCardSettings s = NoisyRoom();
  s.room.assign(400, 0.0);
  s.room[326] = 0.25;
  UseCard(s);
  AudioForm* f = Form();
  f->RunLevelsCheck();
  RunToEnd();
  const double d = (48000 * 0.05 + MeasHeader.ImpulseShift) / 48000.0 * 343.0;
  const int32_t mm = CLng(d * 1000.0) % CLng(Fix(32768.0 / 48000 * 343.0 * 1000.0));
  EXPECT_NEAR(mm, 2330, 8) << MeasHeader.ImpulseShift;
  // A distance the old arithmetic (a float times 100, cut in double) showed a centimetre short.
  const auto stored = static_cast<float>(mm / 1000.0);
  EXPECT_NE(FormatSingle(static_cast<float>(Fix(stored * 100.0) / 100.0)), CentimetreText(mm)) << mm;
  EXPECT_EQ(Text(f->MicSpkrText), CentimetreText(mm));
  EXPECT_EQ(MeasHeader.MeasuredDistance, static_cast<float>((mm / 10) / 100.0));
}

TEST_F(LevelsCheckTest, ASilentMicrophoneOrAnUnknownChannelStopsBeforeTheView) {
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
}

TEST_F(LevelsCheckTest, CrossoverScalingReachesTheMirrorBins) {
  const int32_t n = 32768;
  std::vector<float> re(n, 1.0f), im(n, 2.0f);
  ScaleBelowCrossover(re, im, n, 300, 48000);  // k = nint(102.4) = 102
  for (int32_t i : {0, 1, 102, n - 1, n - 102}) {
    EXPECT_FLOAT_EQ(re[i], 0.01f) << i;
    EXPECT_FLOAT_EQ(im[i], 0.02f) << i;
  }
  for (int32_t i : {103, n - 103, n / 2}) EXPECT_EQ(re[i], 1.0f) << i;
}

class NoiseRecordingTest : public LevelsCheckTest {
 protected:
  void Record() {
    Form()->PSDRecordBut->click();
    RunToEnd();
  }
  // 10 log10 of the mean power over bins 16 .. 32751.
  static double PowerMean() {
    double sum = 0;
    for (int32_t i = 16; i <= 32751; ++i) sum += std::pow(10.0, WorkCurveAux[i] / 10.0);
    return 10 * std::log10(sum / (32751 - 16 + 1));
  }
};

TEST_F(NoiseRecordingTest, TenLsbOfNoiseReadsTwentyDecibelsInOneNewCurve) {
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
}

TEST_F(NoiseRecordingTest, AFullListOrAnOversizedSpectrumFilesNothing) {
  LoadSilentSet(0, 48000, 17, 20.0f);
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
}

TEST_F(LevelsCheckTest, PicturesFollowTheLoudestEarlyPointOverFiftyDecibels) {
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
