// A measurement end to end on the simulated card: the recording becomes a stored,
// listed, drawn result that matches the card's known room, up to the equaliser.
#include <QAction>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <vector>

#include "base/binary_io.h"
#include "base/text_number.h"
#include "core/emulation.h"
#include "core/results_store.h"
#include "core/test_signals.h"
#include "display/view_state.h"
#include "eqdesign/fit/fit_quality.h"
#include "mainwindow/measurement_file.h"
#include "measurement_fixture.h"
#include "platform/numeric/numeric.h"
#include "platform/picture.h"
#include "tools/room_parameters.h"

namespace zentor::test {
namespace {

class MainTestProcessingTest : public MeasurementWindowTest {
 protected:
  void SetUp() override {
    MeasurementWindowTest::SetUp();
    UseCard(RoomCard());
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
    RunToEnd();
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

TEST_F(MainTestProcessingTest, SweepRunStoresTheRoomWithItsLevelsDelayAndDistanceEachUnderItsCaption) {
  Form();
  // A set view keeps the run's lines; the single impulse view would list its own.
  DisplayConfig.Graphshown = 3;
  ActiveMicCal = {2, {100, 1000}, {1.5f, -2.0f}, "mic.cal"};
  Measure();
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
  EXPECT_EQ(ActiveMicCal.Count, 0);  // nothing was ever read: the run emptied it
  const MeasurementHeader& h = ResultsDataSetInfo[0];
  EXPECT_NEAR(h.ImpulseShift, RoomPeak() - 2400, 1);
  EXPECT_NEAR(h.MeasuredDistance, RoomPeak() * 343.0 / 48000, 0.008);
  EXPECT_EQ(Text(Form()->LeftPeakLevel), "-6");
  EXPECT_EQ(Text(Form()->MicSpkrText), "2");
  EXPECT_EQ(h.PeakLevel, static_cast<float>(Val(Text(Form()->RightPeakLevel))));
  EXPECT_GT(h.LevelMultiplier, 0.0f);
  ASSERT_EQ(main->ModesList->count(), 3);
  EXPECT_EQ(main->ModesList->item(0)->text().toStdString(),
            "R: Level = " + Text(Form()->RightPeakLevel) + " S/N = " + Text(Form()->RightSN) + " dB");
  EXPECT_EQ(main->ModesList->item(1)->text().toStdString().rfind("L: Level = -6 S/N = ", 0), 0u);
  EXPECT_EQ(main->ModesList->item(2)->text().toStdString(), "Mic-Spkr Dist = 2 m");
  ExpectIdle(Form());
  // Each channel's levels stand under its own caption.
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
  MicChannel = kMicOnRightInput;

  // The impulse view shows it; ZENTOR_KEEP_PNG keeps the picture.
  DisplayConfig.Graphshown = 2;
  TimeGraphFrame.XStart = -10;
  TimeGraphFrame.XFinish = 30;
  main->DisplayResults(0);
  if (const char* keep = std::getenv("ZENTOR_KEEP_PNG")) main->Picture1->Image().save(keep);

  // Saved with a calibration and read back: the same samples within float rounding
  // and the same header; the next measurement keeps the set's calibration.
  const std::vector<float> before(ImpulseSet[0].begin(), ImpulseSet[0].begin() + (1 << 17));
  const MeasurementHeader hb = ResultsDataSetInfo[0];
  ActiveMicCal = {2, {100, 1000}, {1.5f, -2.0f}, "mic.cal"};
  ASSERT_TRUE(WriteMeasurementFile(TempPath("run.cfa")));
  ImpulseSet[0].fill(0.0f);
  ActiveMicCal = MicCalTable{};
  ASSERT_TRUE(LoadMeasurementFile(TempPath("run.cfa")));
  for (int32_t i = 0; i < (1 << 17); i += 7) ASSERT_NEAR(ImpulseSet[0][i], before[i], 1.0f / hb.LevelMultiplier) << i;
  BinaryWriter a, b;
  WriteMeasurementHeader(a, hb);
  WriteMeasurementHeader(b, ResultsDataSetInfo[0]);
  EXPECT_EQ(a.data(), b.data());
  Measure();
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 2);
  EXPECT_EQ(ActiveMicCal.Count, 2);
  EXPECT_EQ(ActiveMicCal.Level[1], -2.0f);
}

TEST_F(MainTestProcessingTest, SilentInputsAndALateCompletionLeaveTheStoreAloneAndAHandMadeRecordingIsPlaced) {
  SimulatedCardSettings s = RoomCard();
  s.silentInput = true;
  UseCard(s);
  Form();
  main->EnableDataPlotterPlayRec(kFalse);
  const Texts noInput{"User Error 3429: No input on Input channel", "User Error: No Left Channel Input"};
  EXPECT_EQ(Said([&] { Measure(); }, 2), noInput);
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 0);
  ExpectIdle(Form());
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

  // A recording made by hand: the excitation on the reference at full level, and on
  // the microphone a tenth of it 20 samples later.
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
  Form()->TestMode = -3;
  SoundCardBusy = true;
  Process();
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
  EXPECT_EQ(ResultsDataSetInfo[0].ImpulseShift, -2380);
  EXPECT_EQ(ResultsDataSetInfo[0].MeasuredDistance, 0.143f);
  EXPECT_EQ(Text(Form()->MicSpkrText), "0.14");
  EXPECT_EQ(Text(Form()->LeftPeakLevel), "0");
  EXPECT_EQ(Text(Form()->RightPeakLevel), "-20");
  EXPECT_EQ(ResultsDataSetInfo[0].PeakLevel, -20.0f);
}

// Each excitation against the card's room: at the default settings with its band
// limits, then the same RMS limit at other periods, another rate and with the
// microphone on the left input, the reference staying in the Left boxes.
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
  struct Variant {
    const char* name;
    int32_t p, rate, mic;
  };
  for (const Variant v : {Variant{"default", 17, 48000, kMicOnRightInput}, Variant{"P 16", 16, 48000, kMicOnRightInput},
                          Variant{"P 18", 18, 48000, kMicOnRightInput},
                          Variant{"44100 Hz", 17, 44100, kMicOnRightInput},
                          Variant{"left microphone, 44100 Hz, P 16", 16, 44100, kMicOnLeftInput}}) {
    SCOPED_TRACE(v.name);
    EQConfig.PeriodExponent = v.p;
    EQConfig.SampleRate = v.rate;
    MicChannel = v.mic;
    SimulatedCardHooks.MicChannel = [] { return MicChannel; };
    ResultsDataSetInfo.fill(MeasurementHeader{});
    Measure();
    ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
    const Errors e = Compare(0, l.lo, 21600);
    EXPECT_LE(e.rms, l.rms) << e.rms;
    EXPECT_LE(v.name == std::string("default") ? e.worst : -1e9, l.worst) << e.worst;  // at the defaults only
    EXPECT_EQ(Text(Form()->LeftPeakLevel), "-6");
  }
  MicChannel = kMicOnRightInput;
}

INSTANTIATE_TEST_SUITE_P(Excitations, EveryExcitationTest,
                         ::testing::Values(Limits{42, 400, -60, -30}, Limits{87, 20, -65, -70},
                                           Limits{43, 20, -48, 0}),
                         [](const auto& info) { return "Code" + std::to_string(info.param.config); });

TEST_F(MainTestProcessingTest, MicrophoneNoiseGivesThePredictedSignalToNoiseAndOneSeedTheSameResultTwice) {
  SimulatedCardSettings s = RoomCard();
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

  // One seed gives the same result twice.
  s.refNoise = 0.5;
  s.seed = 7;
  for (int run = 0; run < 2; ++run) {
    UseCard(s);  // the card opens afresh, its job count from zero
    Measure();
  }
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 3);
  for (int32_t i = 0; i < (1 << 17); ++i) ASSERT_EQ(ImpulseSet[1][i], ImpulseSet[2][i]) << i;
  BinaryWriter a, b;
  WriteMeasurementHeader(a, ResultsDataSetInfo[1]);
  WriteMeasurementHeader(b, ResultsDataSetInfo[2]);
  EXPECT_EQ(a.data(), b.data());
}

TEST_F(MainTestProcessingTest, ANewUserMeasuresFitsAppliesSavesAndReports) {
  SimulatedCardSettings s = Quiet();
  s.room.clear();  // the default room at the card's own cycle
  UseCard(s);
  main->show();
  MeasureFromMainWindow();  // the single impulse view lists the new curve's own line
  bool listed = false;
  for (int i = 0; i < main->ModesList->count(); ++i)
    listed |= main->ModesList->item(i)->text().startsWith("Input Signal S/N = ");
  EXPECT_TRUE(listed);
  Forms::Unload<AudioForm>();
  main->FreqBut->click();
  ASSERT_EQ(DisplayConfig.Graphshown, 3);
  ASSERT_GT(BodeCurves[0].NumPoints, 0);
  // The range the user drags on the graph: the response shown starts at 100 Hz.
  main->SetFitRange(100, 1000);
  main->FitFiltersBut->click();
  const int32_t modes = ModesListContents[0].Count;
  ASSERT_GT(modes, 0);
  ApplyEachModeByDialog();
  ASSERT_EQ(AppliedFilters[0].Count, modes);
  ASSERT_EQ(main->AppliedFilterListBox->count(), modes);

  const std::string eq = TempPath("room.EQ"), report = TempPath("EQSettings.txt");
  dialogs.ExpectSaveFile(eq);
  main->SaveEQModel->trigger();
  EXPECT_TRUE(QFile::exists(QString::fromStdString(eq)));
  dialogs.ExpectSaveFile(report);
  main->TextEQ->trigger();
  QFile file(QString::fromStdString(report));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
  const QString text = QTextStream(&file).readAll();
  EXPECT_EQ(text.count("Level = "), modes) << text.toStdString();

  // Every applied filter sits on the default equaliser's steps, and the
  // corrections flatten the measured response over the fit range.
  const int32_t code = main->GetParametricEQEmulation();
  SingularityListRecord applied;
  for (size_t i = 0; i < static_cast<size_t>(modes); ++i) {
    FilterRecord f = AppliedFilters[i];
    EXPECT_EQ(f.EQEmulationCode, code);
    const FilterRecord before = f;
    EmulateEQBand(code, f.Freq1, f.Q1, f.Q2);
    EXPECT_NEAR(f.Freq1, before.Freq1, 1e-3f * before.Freq1);
    EXPECT_NEAR(f.Q1, before.Q1, 1e-3f * std::fabs(before.Q1));
    applied.Freq[i] = before.Freq1, applied.Q1[i] = before.Q1, applied.Q2[i] = before.Q2;
  }
  applied.Count = modes;
  const CurveRecord& measured = BodeCurves[0];
  const auto n = static_cast<size_t>(measured.NumPoints);
  const std::span<const float> f(measured.XValues.data(), n), dB(measured.YValues.data(), n);
  const ModalConstants& m = main->GetModalConstants();
  EXPECT_LT(LogWeightedLineRmsDb(f, CorrectedResponseDb(f, dB, applied), m.MinFreq, m.MaxFreq),
            LogWeightedLineRmsDb(f, dB, m.MinFreq, m.MaxFreq));
}

// A shoebox room (metres) of walls reflecting `beta` of the pressure at every
// frequency: each image source adds its arrival, 1/r, at the nearest sample.
std::vector<double> ImageSourceRoom(int32_t rate, double seconds) {
  const double room[3] = {9.0, 7.0, 3.5}, source[3] = {2.1, 3.3, 1.4}, mic[3] = {6.2, 4.1, 1.2};
  const double beta = 0.85, c = 343.0, reach = c * seconds;
  std::vector<double> h(static_cast<size_t>(seconds * rate), 0.0);
  int orders[3];
  for (int a = 0; a < 3; ++a) orders[a] = static_cast<int>(reach / (2 * room[a])) + 1;
  for (int nx = -orders[0]; nx <= orders[0]; ++nx)
    for (int ny = -orders[1]; ny <= orders[1]; ++ny)
      for (int nz = -orders[2]; nz <= orders[2]; ++nz)
        for (int parity = 0; parity < 8; ++parity) {
          const int n[3] = {nx, ny, nz};
          double d2 = 0;
          int reflections = 0;
          for (int a = 0; a < 3; ++a) {
            const bool mirrored = (parity >> a) & 1;
            const double image = 2 * n[a] * room[a] + (mirrored ? -source[a] : source[a]);
            d2 += (image - mic[a]) * (image - mic[a]);
            reflections += std::abs(2 * n[a] - (mirrored ? 1 : 0));
          }
          const double r = std::sqrt(d2);
          const auto at = static_cast<size_t>(std::lround(r / c * rate));
          if (at < h.size()) h[at] += 0.2 / r * std::pow(beta, reflections);
        }
  return h;
}

TEST_F(MainTestProcessingTest, DecayTimesOfAMeasuredRoomMatchTheRoomsOwn) {
  const std::vector<double> room = ImageSourceRoom(48000, 0.8);
  SimulatedCardSettings s = RoomCard();
  s.micNoise = 30.0;  // the noise some 45 to 55 dB down in the bands
  s.room = room;
  UseCard(s);
  DisplayConfig.Graphshown = 3;
  Measure();
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 1);

  RoomParameters measured;
  std::string error;
  ASSERT_TRUE(RoomParametersOfResult(1, measured, error)) << error;
  const std::vector<float> own(room.begin(), room.end());
  const RoomParameters truth = ComputeRoomParameters(own, 48000);
  ASSERT_EQ(measured.bands.size(), truth.bands.size());
  for (size_t b = 0; b < truth.bands.size(); ++b) {
    const RoomParameterValues &m = measured.bands[b], &t = truth.bands[b];
    SCOPED_TRACE(t.centreHz);
    ASSERT_TRUE(m.t20_s && m.t30_s && t.t20_s && t.t30_s);
    EXPECT_FALSE(m.IsMarked("t20_s")) << m.Reason("t20_s");
    EXPECT_NEAR(*m.t20_s / *t.t20_s, 1.0, 0.05) << *m.t20_s << " " << *t.t20_s;
    EXPECT_NEAR(*m.t30_s / *t.t30_s, 1.0, 0.05) << *m.t30_s << " " << *t.t30_s;
  }
}

}  // namespace
}  // namespace zentor::test
