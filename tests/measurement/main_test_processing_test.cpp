// A measurement end to end on the simulated card: the recording becomes a stored,
// listed, drawn result that matches the card's known room; refusals, a late
// completion, the channel swap and the file round trip.
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <vector>

#include "app/window_links.h"
#include "base/binary_io.h"
#include "base/text_number.h"
#include "core/records.h"
#include "core/results_store.h"
#include "core/test_signals.h"
#include "display/view_state.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/measurement_file.h"
#include "measurement/audio_form.h"
#include "measurement/eq_audio_module.h"
#include "platform/numeric/numeric.h"
#include "platform/picture.h"
#include "measurement_fixture.h"
#include "support/audio_fixture.h"

namespace zentor::test {
namespace {

std::string Text(const QLineEdit* e) { return e->text().toStdString(); }

class MainTestProcessingTest : public MeasurementWindowTest {
 protected:
  void SetUp() override {
    MeasurementWindowTest::SetUp();
    SimulatedCardSettings s = Quiet();
    s.blockSize = 8192;
    s.latency = 480;
    s.referenceGain = 0.5;
    s.room.clear();  // the default room
    UseCard(s);
  }
  AudioForm* Form() { return Forms::Get<AudioForm>(); }

  // The run as the Start Test button starts it.
  void StartRun() {
    AudioForm* f = Form();
    f->RefreshRunSettings();
    if (EQConfig.MeasConfig == 42) f->MLSText->setText(QString::number(EQConfig.CrossoverFrequency));
    f->RunMainTest();
    ASSERT_TRUE(SoundCardBusy);
    ASSERT_EQ(f->TestMode, -3);
  }
  void Measure() {
    StartRun();
    for (int i = 0; i < 200 && SoundCardBusy; ++i) Run(8192);
    ASSERT_FALSE(SoundCardBusy);
  }
  // Runs the card to the end of the recording but keeps the processing back, so
  // that the recorded frames can be read; Process() then ends the run as the
  // window procedure does.
  void RecordOnly() {
    int recorded = 0;
    AudioFormHooks.AudioRecordProcess = [&recorded] { ++recorded; };
    StartRun();
    for (int i = 0; i < 200 && recorded == 0; ++i) Run(8192);
    AudioFormHooks.AudioRecordProcess = nullptr;
    ASSERT_EQ(recorded, 1);
    ASSERT_TRUE(SoundCardBusy);
  }
  void Process() {
    Form()->AudioRecordProcess();
    ASSERT_FALSE(SoundCardBusy);
  }
  void NewSet() {
    ResultsDataSetInfo.fill(MeasurementHeader{});
    ResultsDataSetInfo[0].NumInSet = 0;
  }

  // Error of result k against the card's room h / 0.5, placed with its largest sample
  // at w (best of w-1..w+1) and tapered like the store, over [lo, hi] Hz: the RMS
  // complex error re the band's RMS |H| and the worst bin re max |H|, in dB.
  struct Errors {
    double rms, worst;
  };
  static Errors Compare(int32_t k, double lo, double hi) {
    const MeasurementHeader& h = ResultsDataSetInfo[k];
    const int32_t order = std::min(h.PeriodExponent, 17), n = 1 << order, r = h.SampleRate;
    const int32_t w = static_cast<int32_t>(std::lround(r * 0.05));
    const std::vector<double> room = KnownMicImpulse(r);
    std::size_t p = 0;
    for (std::size_t i = 0; i < room.size(); ++i)
      if (std::abs(room[i]) > std::abs(room[p])) p = i;
    std::vector<float> gotRe(n), gotIm(n, 0.0f);
    std::copy_n(ImpulseSet[k].begin(), n, gotRe.begin());
    fft(gotRe, gotIm, order);
    Errors best{1e9, 1e9};
    for (int32_t s = -1; s <= 1; ++s) {
      std::vector<float> re(n, 0.0f), im(n, 0.0f);
      for (std::size_t i = 0; i < room.size(); ++i) {
        const int64_t j = ((static_cast<int64_t>(i) - static_cast<int64_t>(p) + w + s) % n + n) % n;
        re[j] += static_cast<float>(room[i] / 0.5);
      }
      const int32_t taper = ImpulseTaperLength(r);
      TaperEndOfImpulseC(re, taper, n);
      TaperStartOfImpulseC(re, taper);
      fft(re, im, order);
      double err = 0, ref = 0, worst = 0, peak = 0;
      for (int32_t b = 0; b <= n / 2; ++b) {
        const double f = double(b) * r / n;
        if (f < lo || f > hi) continue;
        const std::complex<double> want(re[b], im[b]), got(gotRe[b], gotIm[b]);
        err += std::norm(got - want);
        ref += std::norm(want);
        worst = std::max(worst, std::abs(got - want));
        peak = std::max(peak, std::abs(want));
      }
      const Errors e{10 * std::log10(err / ref), 20 * std::log10(worst / peak)};
      if (e.rms < best.rms) best = e;
    }
    return best;
  }

};

TEST_F(MainTestProcessingTest, SweepRunStoresTheRoomWithItsLevelsDelayAndDistance) {
  Form();
  // A set view keeps the run's lines; the single impulse view would list its own.
  DisplayConfig.Graphshown = 3;
  Measure();
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
  const Errors e = Compare(0, 20, 21600);
  EXPECT_LE(e.rms, -65) << e.rms;
  EXPECT_LE(e.worst, -70) << e.worst;

  const MeasurementHeader& h = ResultsDataSetInfo[0];
  // The room's largest sample lies 2119 samples behind the direct sound at 48 kHz.
  const std::vector<double> room = KnownMicImpulse(48000);
  const auto p = std::max_element(room.begin(), room.end(), [](double a, double b) { return std::abs(a) < std::abs(b); }) -
                 room.begin();
  EXPECT_NEAR(h.ImpulseShift, p - 2400, 1);
  EXPECT_NEAR(h.MeasuredDistance, p * 343.0 / 48000, 0.008);
  EXPECT_EQ(Text(Form()->LeftPeakLevel), "-6");
  EXPECT_EQ(Text(Form()->MicSpkrText), "2");
  EXPECT_EQ(h.PeakLevel, static_cast<float>(Val(Text(Form()->RightPeakLevel))));
  EXPECT_GT(h.LevelMultiplier, 0.0f);
  ASSERT_EQ(main->ModesList->count(), 3);
  EXPECT_EQ(main->ModesList->item(0)->text().toStdString(),
            "R: Level = " + Text(Form()->RightPeakLevel) + " S/N = " + Text(Form()->RightSN) + " dB");
  EXPECT_EQ(main->ModesList->item(1)->text().toStdString().rfind("L: Level = -6 S/N = ", 0), 0u);
  EXPECT_EQ(main->ModesList->item(2)->text().toStdString(), "Mic-Spkr Dist = 2 m");
  // The run is over: card free, pointer back, play and record given back.
  EXPECT_FALSE(Form()->RunHourglassShown());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(Form()->ProgressBar1->value(), 0);

  // The impulse view shows it; saved for a look.
  DisplayConfig.Graphshown = 2;
  TimeGraphFrame.XStart = -10;
  TimeGraphFrame.XFinish = 30;
  main->DisplayResults(0);
  const std::string png = TempPath("measured_impulse.png");
  EXPECT_TRUE(main->Picture1->Image().save(QString::fromStdString(png)));
  if (const char* keep = std::getenv("ZENTOR_KEEP_PNG")) main->Picture1->Image().save(keep);

  // Saved and read back: the same samples within float rounding and the same header.
  const std::vector<float> before(ImpulseSet[0].begin(), ImpulseSet[0].begin() + (1 << 17));
  const MeasurementHeader hb = ResultsDataSetInfo[0];
  ASSERT_TRUE(WriteMeasurementFile(TempPath("run.cfa")));
  ImpulseSet[0].fill(0.0f);
  ASSERT_TRUE(LoadMeasurementFile(TempPath("run.cfa")));
  const float tol = 1.0f / hb.LevelMultiplier;
  for (int32_t i = 0; i < (1 << 17); i += 7) ASSERT_NEAR(ImpulseSet[0][i], before[i], tol) << i;
  EXPECT_EQ(ResultsDataSetInfo[0].ImpulseShift, hb.ImpulseShift);
  EXPECT_EQ(ResultsDataSetInfo[0].MeasuredDistance, hb.MeasuredDistance);
  EXPECT_EQ(ResultsDataSetInfo[0].PeakLevel, hb.PeakLevel);
  EXPECT_EQ(ResultsDataSetInfo[0].NoiseEnergy, hb.NoiseEnergy);
  EXPECT_EQ(ResultsDataSetInfo[0].LevelMultiplier, hb.LevelMultiplier);
}

TEST_F(MainTestProcessingTest, EachChannelsLevelsStandUnderItsOwnCaption) {
  Measure();
  AudioForm* f = Form();
  ASSERT_NE(Text(f->RightPeakLevel), Text(f->LeftPeakLevel));  // the room makes the channels differ
  for (int32_t channel : {kMicOnRightInput, kMicOnLeftInput}) {
    MicChannel = channel;
    f->RefreshRunSettings();
    QLabel *mic = channel == kMicOnRightInput ? f->Label6 : f->Label7, *ref = mic == f->Label6 ? f->Label7 : f->Label6;
    EXPECT_TRUE(mic->text().contains("Mic") && ref->text().contains("Rf")) << channel;
    for (const QLineEdit* e : {f->RightPeakLevel, f->RightSN}) EXPECT_EQ(e->y(), mic->y()) << channel;
    for (const QLineEdit* e : {f->LeftPeakLevel, f->LeftSN}) EXPECT_EQ(e->y(), ref->y()) << channel;
    EXPECT_TRUE(mic->y() < f->MicPic->y() && f->MicPic->y() < ref->y() && ref->y() < f->RefPic->y()) << channel;
  }
}

TEST_F(MainTestProcessingTest, MlsAndTheLeftMicrophoneMeetTheirLimits) {
  EQConfig.MeasConfig = 42;
  EQConfig.CrossoverFrequency = 200;
  Form();
  Measure();
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
  Errors e = Compare(0, 400, 21600);
  EXPECT_LE(e.rms, -60) << e.rms;
  EXPECT_LE(e.worst, -30) << e.worst;

  // Sweeps at 44.1 kHz, period 2^16, microphone on the left input.
  EQConfig.MeasConfig = 87;
  EQConfig.SampleRate = 44100;
  EQConfig.PeriodExponent = 16;
  MicChannel = kMicOnLeftInput;
  SimulatedCardHooks.MicChannel = [] { return MicChannel; };
  ResultsDataSetInfo.fill(MeasurementHeader{});
  Measure();
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
  e = Compare(0, 20, 21600);
  EXPECT_LE(e.rms, -65) << e.rms;
  EXPECT_EQ(Text(Form()->LeftPeakLevel), "-6");  // the reference stays in the Left boxes
}

TEST_F(MainTestProcessingTest, SilentInputsAndALateCompletionLeaveTheStoreAlone) {
  SimulatedCardSettings s = SimulatedSoundCard::Instance().Settings();
  s.silentInput = true;
  UseCard(s);
  Form();
  main->EnableDataPlotterPlayRec(kFalse);
  dialogs.ExpectMessage();
  dialogs.ExpectMessage();
  Measure();
  EXPECT_EQ(dialogs.MessageTexts(),
            (std::vector<std::string>{"User Error 3429: No input on Input channel", "User Error: No Left Channel Input"}));
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 0);
  EXPECT_FALSE(SoundCardBusy);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(main->NewTest->menuAction()->isVisible());

  // Stopped mid-run: the completion that still arrives changes nothing.
  s.silentInput = false;
  UseCard(s);
  DisplayConfig.Graphshown = 3;
  StartRun();
  Run(8192);
  Form()->Command1_Click();
  Form()->TestMode = -3;
  Form()->AudioRecordProcess();
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 0);
  EXPECT_EQ(DisplayConfig.Graphshown, 3);
  EXPECT_EQ(Text(Form()->RightSN), "");

  // The levels check and the noise recording end their runs and switch the view; a
  // levels check that never played finds no input.
  Form()->TestMode = -1;
  SoundCardBusy = true;
  dialogs.Clear();
  dialogs.ExpectMessage();
  dialogs.ExpectMessage();
  Form()->AudioRecordProcess();
  EXPECT_EQ(dialogs.MessageTexts(),
            (std::vector<std::string>{"User Error 3429: No input on Input channel", "User Error: No Left Channel Input"}));
  EXPECT_EQ(DisplayConfig.Graphshown, 4);
  EXPECT_FALSE(SoundCardBusy);
  Form()->TestMode = -2;
  SoundCardBusy = true;
  Form()->AudioRecordProcess();
  EXPECT_EQ(DisplayConfig.Graphshown, 5);
  EXPECT_FALSE(SoundCardBusy);
}

TEST_F(MainTestProcessingTest, ALoadedCalibrationSurvivesTheNextMeasurement) {
  ActiveMicCal.Count = 2;
  ActiveMicCal.Freq[0] = 100;
  ActiveMicCal.Freq[1] = 1000;
  ActiveMicCal.Level[0] = 1.5f;
  ActiveMicCal.Level[1] = -2.0f;
  ActiveMicCal.FileName = "mic.cal";
  ResultsDataSetInfo[0].NumInSet = 0;
  Form();
  Measure();
  ASSERT_TRUE(WriteMeasurementFile(TempPath("cal.cfa")));
  MicCalCount = 0;
  ActiveMicCal = MicCalTable{};
  ASSERT_TRUE(LoadMeasurementFile(TempPath("cal.cfa")));
  ASSERT_EQ(ActiveMicCal.Count, 0);  // nothing was ever read: the first run emptied it
  // With the calibration in the loaded set, a new measurement keeps it.
  ActiveMicCal.Count = 2;
  ActiveMicCal.Freq[1] = 1000;
  ActiveMicCal.Level[1] = -2.0f;
  ASSERT_TRUE(WriteMeasurementFile(TempPath("cal2.cfa")));
  ActiveMicCal = MicCalTable{};
  ASSERT_TRUE(LoadMeasurementFile(TempPath("cal2.cfa")));
  Measure();
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 2);
  EXPECT_EQ(ActiveMicCal.Count, 2);
  EXPECT_EQ(ActiveMicCal.Level[1], -2.0f);
}

// Each excitation against the card's room: at the default settings with its band
// limits, then the same RMS limit at another period, another rate and with the
// microphone on the left input.
struct Limits {
  int32_t config;
  double lo, rms, worst;
};
class EveryExcitationTest : public MainTestProcessingTest, public ::testing::WithParamInterface<Limits> {};

TEST_P(EveryExcitationTest, MatchesTheRoomAtEachPeriodRateAndChannel) {
  const Limits l = GetParam();
  EQConfig.MeasConfig = l.config;
  EQConfig.CrossoverFrequency = 200;
  Form();
  Measure();
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
  Errors e = Compare(0, l.lo, 21600);
  EXPECT_LE(e.rms, l.rms) << e.rms;
  EXPECT_LE(e.worst, l.worst) << e.worst;

  struct Variant {
    const char* name;
    int32_t p, rate, mic;
  };
  for (const Variant v : {Variant{"P 16", 16, 48000, kMicOnRightInput}, Variant{"P 18", 18, 48000, kMicOnRightInput},
                          Variant{"44100 Hz", 17, 44100, kMicOnRightInput},
                          Variant{"left microphone", 17, 48000, kMicOnLeftInput}}) {
    SCOPED_TRACE(v.name);
    EQConfig.PeriodExponent = v.p;
    EQConfig.SampleRate = v.rate;
    MicChannel = v.mic;
    SimulatedCardHooks.MicChannel = [] { return MicChannel; };
    NewSet();
    Measure();
    ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
    e = Compare(0, l.lo, 21600);
    EXPECT_LE(e.rms, l.rms) << e.rms;
  }
  MicChannel = kMicOnRightInput;
}

INSTANTIATE_TEST_SUITE_P(Excitations, EveryExcitationTest,
                         ::testing::Values(Limits{42, 400, -60, -30}, Limits{87, 20, -65, -70},
                                           Limits{43, 20, -48, 0}),
                         [](const auto& info) { return "Code" + std::to_string(info.param.config); });

TEST_F(MainTestProcessingTest, MicrophoneNoiseGivesThePredictedSignalToNoise) {
  SimulatedCardSettings s = SimulatedSoundCard::Instance().Settings();
  s.micNoise = 2.0;
  UseCard(s);
  Form();
  DisplayConfig.Graphshown = 3;
  RecordOnly();

  // The peak shown is the largest recorded microphone sample of the kept period.
  const int32_t n = 1 << 17, pre = 1 << MeasHeader.PreExcitationExponent;
  float recordedPeak = 0;
  for (int32_t i = 0; i < n; ++i) recordedPeak = std::max(recordedPeak, std::fabs(RecordBufferB[pre + i]));
  Process();
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
  const double shownPeak = std::trunc(200.0 * std::log10(recordedPeak / 15000.0)) / 10.0;
  EXPECT_DOUBLE_EQ(Val(Text(Form()->RightPeakLevel)), static_cast<float>(shownPeak));

  // White noise of variance (sigma^2 + 1/12) divided by the excitation's spectrum,
  // over the bins the pass divides, and the half of the impulse that holds it.
  std::vector<float> re(n), im(n, 0.0f);
  std::copy_n(PlayBufferB.begin(), n, re.begin());
  fft(re, im, 17);
  double mean = 0;
  for (int32_t k = 0; k < n; ++k) mean += double(re[k]) * re[k] + double(im[k]) * im[k];
  mean /= n;
  double inverse = 0;
  for (int32_t k = 0; k < n; ++k) {
    const double m = double(re[k]) * re[k] + double(im[k]) * im[k];
    if (m >= 1.7782794100389228e-4 * 1.7782794100389228e-4 * mean) inverse += 1.0 / m;
  }
  double signal = 0;
  for (const double v : KnownMicImpulse(48000)) signal += v * v;
  const double predicted = 10 * std::log10(signal / ((4.0 + 1.0 / 12) / 2 * inverse));
  EXPECT_NEAR(Val(Text(Form()->RightSN)), predicted, 0.5);
  EXPECT_NEAR(predicted, 59.5, 1.0);
}

TEST_F(MainTestProcessingTest, OneSeedGivesTheSameResultTwice) {
  SimulatedCardSettings s = SimulatedSoundCard::Instance().Settings();
  s.micNoise = 2.0;
  s.refNoise = 0.5;
  s.seed = 7;
  Form();
  DisplayConfig.Graphshown = 3;
  for (int run = 0; run < 2; ++run) {
    UseCard(s);  // the card opens afresh, its job count from zero
    Measure();
  }
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 2);
  for (int32_t i = 0; i < (1 << 17); ++i) ASSERT_EQ(ImpulseSet[0][i], ImpulseSet[1][i]) << i;
  BinaryWriter a, b;
  WriteMeasurementHeader(a, ResultsDataSetInfo[0]);
  WriteMeasurementHeader(b, ResultsDataSetInfo[1]);
  EXPECT_EQ(a.data(), b.data());
}

// A recording made by hand: the excitation on the reference at full level, and on
// the microphone a tenth of it 20 samples later.
TEST_F(MainTestProcessingTest, DelayAndPeaksOfASyntheticRecording) {
  AudioForm* f = Form();
  DisplayConfig.Graphshown = 3;
  CopyMeasurementHeader(EQConfig, MeasHeader);
  MeasHeader.PreExcitationExponent = 16;
  const int32_t n = 1 << 17, total = n + (1 << 16);
  std::fill(PlayBufferB.begin(), PlayBufferB.end(), 0);
  BuildMLSSequence(PlayBufferB, 17, 15000);
  PlayBufferB[n - 1] = PlayBufferB[0];
  for (int32_t i = n; i < total; ++i) PlayBufferB[i] = PlayBufferB[i - n];
  PlayBufferA = PlayBufferB;
  for (int32_t t = 0; t < total; ++t) {
    RecordBufferA[t] = PlayBufferA[((t - 480) % n + n) % n];
    RecordBufferB[t] = static_cast<float>(0.1 * PlayBufferB[((t - 500) % n + n) % n]);
  }
  f->TestMode = -3;
  SoundCardBusy = true;
  Process();
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
  EXPECT_EQ(ResultsDataSetInfo[0].ImpulseShift, -2380);
  EXPECT_EQ(ResultsDataSetInfo[0].MeasuredDistance, 0.143f);
  EXPECT_EQ(Text(f->MicSpkrText), "0.14");
  EXPECT_EQ(Text(f->LeftPeakLevel), "0");
  EXPECT_EQ(Text(f->RightPeakLevel), "-20");
  EXPECT_EQ(ResultsDataSetInfo[0].PeakLevel, -20.0f);
}

TEST_F(MainTestProcessingTest, ANewUserMeasuresFromTheMainWindow) {
  InstallWindowLinks();
  main->RefreshLinkedControls();
  main->show();
  const QImage before = main->Picture1->Image().copy();
  main->NewMeasMenue->trigger();
  ASSERT_TRUE(Forms::IsLoaded<AudioForm>());
  AudioForm* f = Forms::Get<AudioForm>();
  ASSERT_TRUE(f->isVisible());
  f->Test->click();
  ASSERT_TRUE(SoundCardBusy);
  for (int i = 0; i < 200 && SoundCardBusy; ++i) Run(8192);
  ASSERT_FALSE(SoundCardBusy);
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
  // The single impulse view it opens on lists the new curve's own line.
  bool listed = false;
  for (int i = 0; i < main->ModesList->count(); ++i)
    listed |= main->ModesList->item(i)->text().startsWith("Input Signal S/N = ");
  EXPECT_TRUE(listed);
  const QImage after = main->Picture1->Image();
  ASSERT_EQ(after.size(), before.size());
  int changed = 0;
  for (int y = 0; y < after.height(); ++y)
    for (int x = 0; x < after.width(); ++x) changed += after.pixel(x, y) != before.pixel(x, y);
  EXPECT_GT(changed, 500);
  if (const char* keep = std::getenv("ZENTOR_KEEP_NEW_USER_PNG")) after.save(keep);
}

}  // namespace
}  // namespace zentor::test
