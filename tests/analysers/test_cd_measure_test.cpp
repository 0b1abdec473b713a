// The test-CD measurement on the simulated card: a disc written by the writer is
// read back as a player would, played through a known loudspeaker at a clock
// ratio 1 + eps into the microphone input, and the recording checked: channel,
// clock, the stored result and its spectrum, the correction, and the window's
// refusals.
#include <QListWidget>

#include "analyser_fixture.h"
#include "analysers/test_cd_links.h"
#include "analysers/test_cd_measure.h"
#include "analysers/test_cd_writer.h"
#include "base/binary_io.h"
#include "core/results_store.h"
#include "display/dispatcher.h"
#include "mainwindow/measurement_file.h"
#include "platform/numeric/numeric.h"
#include "support/test_cd_player.h"

namespace zentor::test {
namespace {

// |spectrum| of the first 200 ms of an impulse at `hz`, in dB.
struct Spectrum {
  std::vector<float> re, im;
  explicit Spectrum(const float* x) : re(65536, 0.0f), im(65536, 0.0f) {
    std::copy(x, x + 8820, re.begin());
    fft(re, im, 16);
  }
  double Db(double hz) const {
    const auto k = static_cast<size_t>(std::lround(hz * 65536 / 44100));
    return 10 * std::log10(double{re[k]} * re[k] + double{im[k]} * im[k]);
  }
};

// Largest deviation between the measured response and the expected one, both at
// 0 dB at 1 kHz, over log-spaced points from `low` to `high` Hz.
template <class Expected>
double Deviation(const Spectrum& s, Expected expected, double low, double high) {
  const double s0 = s.Db(1000), e0 = expected(1000.0);
  double worst = 0;
  for (double f = low; f <= high; f *= std::pow(2.0, 1.0 / 12))
    worst = std::max(worst, std::abs((s.Db(f) - s0) - (expected(f) - e0)));
  return worst;
}

class TestCDMeasureTest : public AnalyserTest {
 protected:
  static void SetUpTestSuite() {
    DefaultTwoToneTable();
    disc_ = new StereoWave;
    const std::string path = QDir::tempPath().toStdString() + "/zentor_test_cd_disc.wav";
    std::vector<int16_t> left(65536), right(65536);
    BuildTestCDSignal(left, CDSignalParams, -1);
    BuildTestCDSignal(right, CDSignalParams, -2);
    ASSERT_TRUE(WriteTestCDFile(path, left, right, TestCDPeriodCount(1, CDSignalParams), 44100, {}));
    ASSERT_TRUE(ReadStereoWave(path, 65536, *disc_));
    std::remove(path.c_str());
  }
  static void TearDownTestSuite() { delete disc_; }

  void SetUp() override {
    AnalyserTest::SetUp();
    EQConfig.SampleRate = 44100;
  }
  void TearDown() override {
    if (Forms::IsLoaded<CDTest>()) Form()->RecordingOn = false;
    Forms::Unload<CDTest>();
    AudioTest::TearDown();
  }
  CDTest* Form() { return Forms::Get<CDTest>(); }
  // The card hears the played disc on its microphone input.
  void Play(const PlayedCD& how, int32_t rate) {
    SimulatedCardSettings s = Quiet();
    s.externalSource = PlayCD(*disc_, how, rate, TestCDRecordLength(44100, rate) + 20000);
    UseCard(s);
  }
  void Record() {
    Form()->RecBut->click();
    Run(Form()->Work.RecordLength + 4000);
  }
  // One measurement at a rate, returning the result's 0-based index.
  int32_t Measure(const PlayedCD& how, int32_t rate) {
    EQConfig.SampleRate = rate;
    Forms::Unload<CDTest>();
    Play(how, rate);
    const int32_t before = ResultsDataSetInfo[0].NumInSet;
    Record();
    EXPECT_FALSE(Form()->RecordingOn);
    EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, before + 1);
    return ResultsDataSetInfo[0].NumInSet - 1;
  }
  // A result at 44100 Hz, 2^16 samples, from the given impulse.
  static void AddResult(std::vector<float> samples, int32_t rate = 44100) {
    MeasurementHeader header = EQConfig;
    header.SampleRate = rate;
    header.PeriodExponent = 16;
    AddMeasurementToResults(samples, header, "0", "0", "0", "0", "0");
  }

  static StereoWave* disc_;
};
StereoWave* TestCDMeasureTest::disc_ = nullptr;

TEST_F(TestCDMeasureTest, RecordLengthFollowsTheRate) {
  EXPECT_EQ(Form()->Work.RecordLength, 262144);
  EXPECT_EQ(RecordBufferA.size(), 262144u);
  Forms::Unload<CDTest>();
  EQConfig.SampleRate = 48000;
  EXPECT_EQ(Form()->Work.RecordLength, 240845);
  EXPECT_EQ(Form()->windowTitle().toStdString(), "Test CD Recording");
  EXPECT_EQ(Text(Form()->ChannelText), "Full Range Speaker Only");
}

TEST_F(TestCDMeasureTest, EachChannelIsFoundAtBothRatesAndClockOffsets) {
  struct Case {
    CdChannels channels;
    int32_t rate;
    double eps;
    int32_t code;
    const char* name;
  };
  const Case cases[] = {
      {CdChannels::Left, 44100, 0, -1, "Left"},       {CdChannels::Left, 48000, 0.001, -1, "Left"},
      {CdChannels::Right, 44100, -0.001, -2, "Right"}, {CdChannels::Right, 48000, 0, -2, "Right"},
      {CdChannels::Both, 44100, 0, -3, "Center"},      {CdChannels::Both, 48000, 0, -3, "Center"},
      {CdChannels::Both, 44100, 0.001, -3, "Center"},  {CdChannels::Both, 48000, -0.001, -3, "Center"},
  };
  const Loudspeaker speaker;
  const auto expected = [&](double f) { return 20 * std::log10(std::abs(speaker.Response(f))); };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(c.rate) + " eps " + std::to_string(c.eps));
    PlayedCD how;
    how.channels = c.channels;
    how.eps = c.eps;
    const int32_t k = Measure(how, c.rate);
    CDTest* f = Form();
    EXPECT_EQ(f->Work.ChannelCode, c.code);
    EXPECT_EQ(Text(f->ChannelText), c.name);
    // Within a part per million: a period resampled 2 ppm off already smears the impulse.
    EXPECT_NEAR(f->Work.MeasuredRate, c.rate / (1 + c.eps), 1e-6 * c.rate);

    const MeasurementHeader& h = ResultsDataSetInfo[static_cast<size_t>(k)];
    EXPECT_EQ(std::tuple(h.SampleRate, h.PeriodExponent, h.PreExcitationExponent, h.ImpulseShift),
              std::tuple(44100, 16, 15, -2205));
    const auto& impulse = ImpulseSet[static_cast<size_t>(k)];
    int32_t peak = 0;
    FindImpulseC(impulse, 65536, peak);
    EXPECT_NEAR(peak, 2205, 1);
    EXPECT_NEAR(h.LevelMultiplier * std::abs(impulse[static_cast<size_t>(peak)]), 32000, 1);
    // The card's own 16-bit rounding is the only noise here.
    EXPECT_GT(Number(f->SNText), 40.0);

    const Spectrum s(impulse.data());
    if (c.eps == 0)
      EXPECT_LT(Deviation(s, expected, 100, 15000), 0.5);
    else
      EXPECT_LT(Deviation(s, expected, 100, 10000), 1.0);
  }
}

TEST_F(TestCDMeasureTest, TheDetectedChannelsLineCarriesTheTexts) {
  PlayedCD how;
  how.channels = CdChannels::Left;
  // A set view keeps the measurement's lines; the single impulse view would list its own.
  DisplayConfig.Graphshown = 3;
  Measure(how, 44100);
  const std::string level = Text(Form()->PeakText), sn = Text(Form()->SNText);
  EXPECT_EQ(level.front(), '-');  // a recording below full scale
  const auto line = [&](int row) { return main->ModesList->item(row)->text().toStdString(); };
  EXPECT_EQ(line(0), "R: Level = 0 S/N = 0 dB");
  EXPECT_EQ(line(1), "L: Level = " + level + " S/N = " + sn + " dB");
  EXPECT_EQ(line(2), "Mic-Spkr Dist = 0 m");

  how.channels = CdChannels::Right;
  Measure(how, 44100);
  EXPECT_EQ(line(0), "R: Level = " + Text(Form()->PeakText) + " S/N = " + Text(Form()->SNText) + " dB");
  EXPECT_EQ(line(1), "L: Level = 0 S/N = 0 dB");
}

TEST_F(TestCDMeasureTest, ACorrectionFromTheLoudspeakersImpulseFlattensTheResult) {
  // The loudspeaker measured directly, its peak well after the correction's fade-in.
  const Loudspeaker speaker;
  const std::vector<double> h = speaker.Impulse(44100, 65536, 0.06);
  AddResult(std::vector<float>(h.begin(), h.end()));
  const std::string cfa = TempPath("speaker.cfa");
  ASSERT_TRUE(WriteMeasurementFile(cfa));
  main->RemoveResult(1);

  dialogs.ExpectOpenFile(cfa);
  Form()->CalibrateBut->click();
  EXPECT_TRUE(dialogs.MessageTexts().empty());
  EXPECT_EQ(dialogs.calls().back().title, "Open *.cfa File");
  EXPECT_EQ(dialogs.calls().back().filter, "CFA files (*.cfa)|*.cfa");
  ASSERT_TRUE(Form()->Work.CorrectionOn);
  Play(PlayedCD{}, 44100);
  Record();
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
  const Spectrum s(ImpulseSet[0].data());
  EXPECT_LT(Deviation(s, [](double) { return 0.0; }, 100, 15000), 0.5);
  // Cancel after a good load switches it off.
  dialogs.ExpectOpenFile(std::nullopt);
  Form()->CalibrateBut->click();
  EXPECT_FALSE(Form()->Work.CorrectionOn);
}

TEST_F(TestCDMeasureTest, BadCorrectionFilesLeaveTheCorrectionOff) {
  // A good file to damage.
  std::vector<float> samples(65536, 0.0f);
  samples[3000] = 1.0f;
  AddResult(samples);
  ASSERT_TRUE(WriteMeasurementFile(TempPath("good.cfa")));
  std::vector<uint8_t> good;
  ASSERT_TRUE(ReadWholeFile(TempPath("good.cfa"), good, 1 << 26));
  const auto write = [&](const std::string& name, std::span<const uint8_t> bytes) {
    const std::string path = TempPath(name);
    EXPECT_TRUE(WriteWholeFileAtomic(path, bytes));
    return path;
  };
  std::vector<std::string> bad;
  bad.push_back(write("short.cfa", std::span<const uint8_t>(good).first(good.size() / 2)));
  std::vector<uint8_t> noSamples = good;
  noSamples[0] = noSamples[1] = noSamples[2] = noSamples[3] = 0;  // S = 0
  bad.push_back(write("s0.cfa", noSamples));
  ImpulseSet[0].fill(0.0f);
  ASSERT_TRUE(WriteMeasurementFile(TempPath("zero.cfa")));
  bad.push_back(TempPath("zero.cfa"));
  ResultsDataSetInfo[0].SampleRate = 48000;
  ASSERT_TRUE(WriteMeasurementFile(TempPath("fast.cfa")));
  bad.push_back(TempPath("fast.cfa"));
  main->RemoveResult(1);
  ASSERT_TRUE(WriteMeasurementFile(TempPath("empty.cfa")));
  bad.push_back(TempPath("empty.cfa"));
  bad.push_back(TempPath("absent.cfa"));

  for (const std::string& path : bad) {
    dialogs.Clear();
    dialogs.ExpectOpenFile(good.empty() ? std::nullopt : std::optional(TempPath("good.cfa")));
    Form()->CalibrateBut->click();
    ASSERT_TRUE(Form()->Work.CorrectionOn);
    dialogs.ExpectOpenFile(path);
    dialogs.ExpectMessage();
    Form()->CalibrateBut->click();
    EXPECT_FALSE(Form()->Work.CorrectionOn) << path;
    EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Error 3428: File Error"}) << path;
  }
}

TEST_F(TestCDMeasureTest, RecordingIsRefusedForAnotherRateOrTooSlowACard) {
  std::vector<float> samples(65536, 0.0f);
  samples[10] = 1;
  AddResult(samples, 48000);
  dialogs.ExpectMessage();
  Form()->RecBut->click();
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"User Error: Loaded measurements are not sampled at 44100"});
  EXPECT_FALSE(Form()->RecordingOn);
  EXPECT_EQ(InspectStreaming().record, SlotState::Idle);

  main->RemoveResult(1);
  Forms::Unload<CDTest>();
  EQConfig.SampleRate = 12000;
  dialogs.Clear();
  dialogs.ExpectMessage();
  Form()->RecBut->click();
  EXPECT_EQ(dialogs.MessageTexts(),
            std::vector<std::string>{"User Error 6230: Test CD recording needs a sample rate of at least 44100 Hz"});
  EXPECT_FALSE(Form()->RecordingOn);
}

TEST_F(TestCDMeasureTest, SilenceAddsNothingAndClosingWaitsForTheRecording) {
  UseCard(Quiet());
  Form()->RecBut->click();
  EXPECT_TRUE(Form()->RecordingOn);
  EXPECT_EQ(Text(Form()->ChannelText), "Recording");
  EXPECT_EQ(Form()->ChannelText->palette().color(QPalette::Base), QColor(255, 0, 0));
  // A second press while recording does nothing.
  Form()->RecBut->click();
  dialogs.ExpectMessage();
  EXPECT_FALSE(Forms::Unload<CDTest>());
  EXPECT_EQ(dialogs.MessageTexts().back(), "User Error: The recording & processing must finish before exiting");

  dialogs.ExpectMessage();
  Run(Form()->Work.RecordLength + 4000);
  EXPECT_FALSE(Form()->RecordingOn);
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error: No Input Signal");
  EXPECT_EQ(Text(Form()->PeakText) + " " + Text(Form()->SNText), "-INF 0");
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 0);
  EXPECT_TRUE(Forms::Unload<CDTest>());
  EXPECT_TRUE(CdTestHwnd.isNull());
}

TEST_F(TestCDMeasureTest, TheMicChannelPicksTheInput) {
  // The disc's signal on the left input only.
  PlayedCD how;
  const std::vector<double> heard = PlayCD(*disc_, how, 44100, 262144);
  CDTest* f = Form();
  std::transform(heard.begin(), heard.end(), RecordBufferA.begin(), [](double v) { return static_cast<float>(v); });
  std::fill(RecordBufferB.begin(), RecordBufferB.end(), 0.0f);
  SetMicChannel(kMicOnLeftInput);
  f->ReRec();
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
  EXPECT_EQ(f->Work.ChannelCode, -1);

  SetMicChannel(kMicOnRightInput);
  dialogs.ExpectMessage();
  f->ReRec();
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error: No Input Signal");
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
}

TEST_F(TestCDMeasureTest, DeleteRemovesTheNewestResult) {
  Form()->DeleteResults->click();  // nothing loaded: nothing happens
  std::vector<float> samples(65536, 0.0f);
  for (int i = 1; i <= 3; ++i) {
    samples[static_cast<size_t>(1000 * i)] = 1.0f;
    AddResult(samples);
  }
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 3);
  dialogs.ExpectMessage();  // the redraw finds no reference in these bare impulses
  dialogs.ExpectMessage();
  Form()->DeleteResults->click();
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 2);
  EXPECT_NE(ImpulseSet[1][2000], 0.0f) << "the second result stays";
}

TEST_F(TestCDMeasureTest, TheMainWindowsCommandsOpenBothWindows) {
  InstallTestCDLinks();
  main->RefreshLinkedControls();
  FromMenu<CreateTestCD>(main->TestCDMake, [](CreateTestCD* w) { EXPECT_EQ(w->objectName(), "CreateTestCD"); });
  // A new user without a sound card: measure the disc on the simulated card and look.
  Play(PlayedCD{}, 44100);
  FromMenu<CDTest>(main->CDTestMeasure, [&](CDTest* f) {
    f->RecBut->click();
    Run(f->Work.RecordLength + 4000);
  });
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
  if (std::getenv("ZENTOR_SHOT_DIR")) {
    main->resize(1200, 800);
    main->DisplayResults(0);
    Shoot(main, "test_cd_impulse");
  }
}

}  // namespace
}  // namespace zentor::test
