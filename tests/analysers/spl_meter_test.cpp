// The SPL meter on the simulated card: a sine or seeded noise the program does not play
// reaches the microphone, and the readings are checked against the signal's power.
#include <QProgressBar>
#include <algorithm>
#include <random>

#include "analyser_fixture.h"
#include "analysers/spl_links.h"
#include "analysers/spl_meter.h"

namespace zentor::test {
namespace {

constexpr int32_t kN = 32768;

// `cycles` whole periods of a sine in n samples, so that it loops without a step (on bin
// `cycles` of a block by default).
std::vector<double> Sine(double amplitude, double cycles, size_t n = kN) {
  std::vector<double> s(n);
  for (size_t i = 0; i < n; ++i) s[i] = amplitude * std::sin(2 * std::numbers::pi * cycles * double(i) / double(n));
  return s;
}

// Seeded Gaussian noise of standard deviation sigma, one block long.
std::vector<double> Noise(double sigma, uint64_t seed) {
  std::mt19937_64 g(seed);
  std::normal_distribution<double> d(0, sigma);
  std::vector<double> s(kN);
  for (double& x : s) x = d(g);
  return s;
}

double Db(double power) { return 10 * std::log10(power); }

// The weightings at their nominal frequencies and the class 1 acceptance limits.
struct WeightingPoint {
  double hz, a, c, above, below;
};
constexpr WeightingPoint kWeightings[] = {
    {31.5, -39.4, -3.0, 1.5, 1.5}, {63, -26.2, -0.8, 1.0, 1.0},  {125, -16.1, -0.2, 1.0, 1.0},
    {250, -8.6, 0.0, 1.0, 1.0},    {500, -3.2, 0.0, 1.0, 1.0},   {1000, 0.0, 0.0, 0.7, 0.7},
    {2000, 1.2, -0.2, 1.0, 1.0},   {4000, 1.0, -0.8, 1.0, 1.0},  {8000, -1.1, -3.0, 1.5, 2.5},
    {16000, -6.6, -8.5, 2.5, 16.0}};

class SplMeterTest : public AnalyserTest {
 protected:
  void TearDown() override {
    Forms::Unload<SPLLevelForm>();
    AudioTest::TearDown();
  }
  SPLLevelForm* Form() { return Forms::Get<SPLLevelForm>(); }
  // The microphone hears `source`, repeated; the card's input gain as given.
  void Hear(std::vector<double> source, double gain = 1.0, std::vector<int32_t> rates = {}) {
    SimulatedCardSettings s = Quiet();
    s.externalSource = std::move(source);
    s.loopExternalSource = true;
    s.inputGain = gain;
    s.rates = std::move(rates);
    UseCard(s);
  }
  // Runs the card until the block in flight has arrived.
  void Deliver() {
    SPLLevelForm* f = Form();
    const int64_t before = f->BlocksMeasured;
    for (int i = 0; i < 400 && f->BlockPending && f->BlocksMeasured == before; ++i) Run(1000);
  }
  void Calibrate(const char* level) {
    Form()->SPLText->setText(level);
    Form()->CalBut->click();
    ASSERT_TRUE(Form()->BlockPending);
    Deliver();
    ASSERT_TRUE(Form()->Calibrated);
  }
  // One reading of a run started afresh.
  std::string ReadOnce() {
    Form()->StopBut->click();
    Deliver();
    Form()->RecBut->click();
    Deliver();
    return Text(Form()->SPLText);
  }
  // The band level of a calibration block in a window opened afresh.
  float BandLevelOf(const char* start, const char* finnish) {
    Forms::Unload<SPLLevelForm>();
    Form()->StartFreq->setText(start);
    Form()->FinnishFreq->setText(finnish);
    Calibrate("94");
    return Form()->BandLevel;
  }
};

TEST_F(SplMeterTest, OpensWithItsDefaultsKeepsTheBlockOrderInRangeAndCutsItsLevels) {
  SPLLevelForm* f = Form();
  EXPECT_EQ(f->windowTitle().toStdString(), "SPL Meter");
  EXPECT_EQ(Text(f->StartFreq) + Text(f->FinnishFreq) + Text(f->TestLength) + Text(f->SPLText), " 500 5000 682100");
  EXPECT_TRUE(!f->CalBut->isHidden() && f->RecBut->isHidden());
  EXPECT_EQ(RecordBufferB.size(), size_t(kN));
  const SplBand b = SplBandBins(500, 5000, kN, 48000);
  EXPECT_EQ(std::pair(b.startBin, b.bins), std::pair(341, 3072));
  Forms::Unload<SPLLevelForm>();
  EQConfig.SampleRate = 44100;
  EXPECT_EQ(Text(Form()->TestLength), " 743");
  // At the ends the order stays, but a run still stops and the calibration goes.
  EQConfig.SampleRate = 48000;
  Forms::Unload<SPLLevelForm>();
  Hear(Sine(10000, 683));
  f = Form();
  f->LeftDown->click();
  f->LeftDown->click();
  EXPECT_EQ(std::pair(f->BlockOrder, RecordBufferB.size()), std::pair(14, size_t{16384}));
  for (int i = 0; i < 4; ++i) f->RightUp->click();
  EXPECT_EQ(Text(f->TestLength), " 2730");
  Calibrate("94");
  f->RecBut->click();
  ASSERT_TRUE(f->Recording);
  f->RightUp->click();
  EXPECT_EQ(f->BlockOrder, 17);
  EXPECT_TRUE(!f->Recording && !f->Calibrated && f->RecBut->isHidden());
  // The level of a mean bin power and its shown cut.
  bool valid = true, silent = true;
  EXPECT_EQ(SplBandLevel(10.0f, 10.0f, silent), 10.0f);  // shown as "-INF"
  EXPECT_NEAR(SplBandLevel(1000.0f, 10.0f, valid), 30.0f, 1e-5);
  EXPECT_TRUE(valid && !silent);
  EXPECT_FLOAT_EQ(SplShownLevel(59.99f, 80.0f, 94.0f), 73.9f);
  EXPECT_FLOAT_EQ(SplShownLevel(0.05f, 80.0f, 50.0f), -29.9f);  // toward zero
}

TEST_F(SplMeterTest, SinesAndNoiseReadTheirPowerPerBinAndTonesTheirWeightings) {
  const double a = 10000;
  std::vector<float> levels;
  for (const int bin : {410, 683, 2731}) {  // 600.6, 1000.5 and 4000.5 Hz: no weighting
    SCOPED_TRACE(bin);
    Hear(Sine(a, bin));
    levels.push_back(BandLevelOf("500", "5000"));
    EXPECT_EQ(Form()->BandBins, 3072);
    EXPECT_NEAR(levels.back(), Db(std::pow(a * kN / 2, 2) / 3072), 0.05);
  }
  EXPECT_LT(*std::max_element(levels.begin(), levels.end()) - *std::min_element(levels.begin(), levels.end()), 0.05);
  // A tone spread over twice the bins reads 3 dB lower; white noise reads alike.
  Hear(Sine(a, 683));
  EXPECT_NEAR(BandLevelOf("500", "2750") - BandLevelOf("500", "5000"), Db(2), 0.05);
  const double sigma = 1000;
  Hear(Noise(sigma, 7));
  const float wide = BandLevelOf("500", "5000");
  EXPECT_NEAR(wide, Db(kN * sigma * sigma), 0.3);
  EXPECT_NEAR(BandLevelOf("500", "2750"), wide, 0.2);

  // Tones read the standard's weightings within class 1.
  Forms::Unload<SPLLevelForm>();
  Hear(Sine(10000, 683));
  Calibrate("94");
  SPLLevelForm* f = Form();
  for (const WeightingPoint& w : kWeightings) {
    SCOPED_TRACE(w.hz);
    Hear(Sine(10000, 2 * w.hz, 96000));  // two seconds
    ReadOnce();
    const double a = Number(f->SPLAText) - 94, c = Number(f->SPLCText) - 94;
    EXPECT_NEAR(a, w.a + (w.above - w.below - 0.1) / 2, (w.above + w.below + 0.1) / 2);  // 0.1: the shown cut
    EXPECT_NEAR(c, w.c + (w.above - w.below - 0.1) / 2, (w.above + w.below + 0.1) / 2);
    // The table holds the weightings at the exact frequencies, rounded to 0.1 dB.
    const double exact = 1000 * std::pow(10.0, std::round(10 * std::log10(w.hz / 1000)) / 10);
    EXPECT_NEAR(WeightingDb(SplWeighting::A, exact), w.a, 0.051);
    EXPECT_NEAR(WeightingDb(SplWeighting::C, exact), w.c, 0.051);
  }
}

TEST_F(SplMeterTest, ARunRequestsEachBlockAfterTheLastReadingAndStopDropsTheOneInFlight) {
  // A tone rising across the run: each block reads higher than the one before.
  std::vector<double> rising(size_t(14) * kN);
  for (size_t i = 0; i < rising.size(); ++i)
    rising[i] = (1000 + 9000.0 * double(i) / double(rising.size())) *
                std::sin(2 * std::numbers::pi * 683 * double(i % kN) / kN);
  Hear(Sine(1000, 683));
  Calibrate("60");
  SimulatedCardSettings s = Quiet();
  s.externalSource = rising;
  UseCard(s);
  SPLLevelForm* f = Form();
  f->RecBut->click();
  uint64_t job = InspectStreaming().recordJob;
  double last = -1;
  for (int k = 0; k < 10; ++k) {
    SCOPED_TRACE(k);
    f->RecBut->click();  // nothing more is asked for while a block is out
    f->CalBut->click();
    EXPECT_EQ(InspectStreaming().recordJob, job);
    Deliver();
    const double reading = Number(f->SPLText);
    EXPECT_GT(reading, last);
    last = reading;
    EXPECT_EQ(InspectStreaming().recordJob, ++job);
  }
  EXPECT_EQ(f->BlocksMeasured, 11);

  f->StopBut->click();
  const std::string shown = Text(f->SPLText);
  f->RecBut->click();  // the dropped block has not arrived yet
  EXPECT_FALSE(f->Recording);
  Deliver();
  Run(3 * kN);
  EXPECT_EQ(std::tuple(f->BlockPending, f->BlocksMeasured, Text(f->SPLText), InspectStreaming().recordJob),
            std::tuple(false, int64_t{11}, shown, job));
  f->RecBut->click();
  EXPECT_TRUE(f->Recording);
  EXPECT_EQ(InspectStreaming().recordJob, job + 1);
}

TEST_F(SplMeterTest, SilenceBandRefusalsChangesWhileRunningAndLowRates) {
  // A silent calibration block, or the source on another input, leaves the meter uncalibrated.
  for (const int32_t mic : {kMicOnRightInput, kMicOnLeftInput}) {
    SCOPED_TRACE(mic);
    // The source reaches the right input only; nothing at all in the first round.
    if (mic == kMicOnLeftInput) Hear(Sine(10000, 683));
    SetMicChannel(mic);
    dialogs.Clear();
    dialogs.ExpectMessage();
    Form()->CalBut->click();
    Deliver();
    EXPECT_EQ(dialogs.MessageTexts(),
              std::vector<std::string>{"User Error 6221: No Input Signal. The meter is not calibrated"});
    EXPECT_TRUE(!Form()->Calibrated && Form()->RecBut->isHidden());
    Form()->RecBut->click();  // hidden and uncalibrated: nothing
    EXPECT_FALSE(Form()->Recording || Form()->BlockPending);
  }
  SetMicChannel(kMicOnRightInput);
  dialogs.Clear();
  SPLLevelForm* f = Form();
  // Equal limits pass the check, then the band holds no bins.
  f->FinnishFreq->setText("500");
  dialogs.ExpectMessage();
  f->CalBut->click();
  Deliver();
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"User Error: Filter band is too small: Please increase"});
  EXPECT_FALSE(f->Calibrated || f->BlockPending);
  // A refused limit ends the click before anything is requested.
  f->FinnishFreq->setText("400");
  dialogs.ExpectMessage();
  const uint64_t job = InspectStreaming().recordJob;
  f->CalBut->click();
  EXPECT_EQ(InspectStreaming().recordJob, job);
  // A band change or another noise kind while running: stopped and uncalibrated.
  f->FinnishFreq->setText("5000");
  for (const auto change : {+[](SPLLevelForm* w) { w->StartFreq->setText("600"); },
                            +[](SPLLevelForm* w) { w->PinkBut->click(); }}) {
    Calibrate("94");
    f->RecBut->click();
    ASSERT_TRUE(f->Recording);
    change(f);
    EXPECT_TRUE(!f->Recording && !f->Calibrated && f->RecBut->isHidden());
    Deliver();
    EXPECT_FALSE(f->Calibrated);  // the dropped block is no calibration
  }
  EXPECT_EQ(dialogs.Unused(), 0u);

  // Low rates limit the band; a refused rate leaves calibration usable.
  Forms::Unload<SPLLevelForm>();
  EQConfig.SampleRate = 12000;
  Hear(Noise(1000, 3));
  f = Form();
  dialogs.Clear();
  f->FinnishFreq->setText("20000");
  dialogs.ExpectMessage();
  f->CalBut->click();
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"User Error: Input must be between 500 and 6000"});
  f->FinnishFreq->setText("6000");
  Calibrate("100");
  f->RecBut->click();
  Deliver();
  Deliver();
  EXPECT_NEAR(Number(f->SPLText), 100, 0.15);

  Forms::Unload<SPLLevelForm>();
  Hear(Noise(1000, 3), 1.0, {48000});
  dialogs.Clear();
  dialogs.ExpectMessage();
  Form()->CalBut->click();
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Error Initializing Sound Card"});
  EXPECT_FALSE(Form()->BlockPending);
  Hear(Noise(1000, 3));
  Calibrate("100");
}

TEST_F(SplMeterTest, ANewUserCalibratesAndMetersFromTheMenu) {
  Hear(Sine(3000, 683));
  EXPECT_FALSE(main->SPLMeasurement->isEnabled());
  InstallSplLinks();
  main->RefreshLinkedControls();
  SoundCardBusy = true;
  dialogs.ExpectMessage();
  main->SPLMeasurement->trigger();
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"user Error: Sound card is in use by Zentor"});
  SoundCardBusy = false;

  std::string reading;
  FromMenu<SPLLevelForm>(main->SPLMeasurement, [&](SPLLevelForm* f) {
    Calibrate("85");
    f->RecBut->click();
    Deliver();
    Deliver();
    reading = Text(f->SPLText);
    Shoot(f, "spl_meter_window");
  });  // closed while running
  EXPECT_TRUE(reading == " 85" || reading == " 84.9") << reading;
  EXPECT_EQ(InspectStreaming().record, SlotState::Idle);
  EXPECT_EQ(dialogs.Unused(), 0u);
}

// The card's gain stepped after the calibration: each reading within the shown cut of
// its step, Leq the energy mean of the steps, saved; then a reading above the bar and silence.
TEST_F(SplMeterTest, ReadingsFollowTheCardsGainAndLeqIsTheirEnergyMean) {
  Hear(Sine(10000, 683));
  Calibrate("94");
  SPLLevelForm* f = Form();
  EXPECT_TRUE(f->CalBut->isHidden() && !f->RecBut->isHidden());
  f->RecBut->click();
  EXPECT_TRUE(f->SPLText->isReadOnly());
  const double gains[] = {1, 1, 1, 0.1, 0.1, 0.1, 0.1, 0.316, 0.316};
  double energy = 0;
  int blocks = 0;
  for (const double g : gains) {
    Hear(Sine(10000, 683), g);
    Deliver();
    const double level = f->BandLevel - f->CalReferenceLevel + 94;
    const bool step = std::any_of(std::begin(gains), std::end(gains),
                                  [&](double s) { return std::fabs(level - (94 + 20 * std::log10(s))) < 0.05; });
    ASSERT_TRUE(step) << level;
    EXPECT_NEAR(Number(f->SPLText), level - 0.05, 0.06) << Text(f->SPLText);
    energy += std::pow(10.0, level / 10);
    ++blocks;
  }
  ASSERT_EQ(f->LeqBlocks, blocks);
  const double expected = 10 * std::log10(energy / blocks);
  const double calibration = f->CalReferenceLevel + 10 * std::log10(double(f->CalBandBins)) - 94;
  EXPECT_NEAR(10 * std::log10(f->LeqBandSum / blocks) - calibration, expected, 0.1);
  EXPECT_NEAR(10 * std::log10(f->LeqASum / blocks) - calibration, expected, 0.1);
  EXPECT_NEAR(Number(f->LeqText), expected, 0.15) << Text(f->LeqText);
  EXPECT_NEAR(Number(f->LeqAText), expected, 0.15) << Text(f->LeqAText);

  const std::string path = TempPath("spl.csv");
  dialogs.ExpectSaveFile(path);
  f->SaveReadingsBut->click();
  const QStringList lines = QString::fromStdString(FileText(path)).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(size_t(lines.size()), f->Readings.size() + 1);
  EXPECT_EQ(lines[0], "block,level_db,la_db,lc_db,leq_db,laeq_db,lceq_db");
  EXPECT_TRUE(lines[1].startsWith("1,94.0,") || lines[1].startsWith("1,93.9,")) << lines[1].toStdString();
  EXPECT_EQ(lines[1].count(','), 6);

  // A new Start begins a new mean; silence in a run reads "-INF" on an empty bar and the run goes on.
  Hear(Sine(10000, 683), std::pow(10.0, 6.02 / 20));
  EXPECT_EQ(ReadOnce(), " 100");
  EXPECT_EQ(f->ProgressBar1->value(), 100);
  EXPECT_TRUE(f->LeqBlocks == 1 && f->Readings.size() == 1);
  UseCard(Quiet());
  EXPECT_EQ(ReadOnce(), "-INF");
  EXPECT_TRUE(f->ProgressBar1->value() == 0 && f->BlockPending);
  f->StopBut->click();
  EXPECT_FALSE(f->SPLText->isReadOnly());
}

}  // namespace
}  // namespace zentor::test
