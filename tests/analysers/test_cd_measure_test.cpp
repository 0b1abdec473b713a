// The test-CD file read back byte by byte, and its measurement on the simulated card:
// the disc played through a known loudspeaker at a clock ratio 1 + eps into the
// microphone input, the recording checked against the loudspeaker's response.
#include <QListWidget>
#include <QProgressBar>
#include <filesystem>

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

TEST_F(TestCDMeasureTest, EachChannelIsFoundAtBothRatesAndClockOffsets) {
  // Channels played, rate, clock offset, and the channel the window reports.
  const std::tuple<CdChannels, int32_t, double, int32_t, const char*> cases[] = {
      {CdChannels::Left, 44100, 0, -1, "Left"},       {CdChannels::Left, 48000, 0.001, -1, "Left"},
      {CdChannels::Right, 44100, -0.001, -2, "Right"}, {CdChannels::Right, 48000, 0, -2, "Right"},
      {CdChannels::Both, 44100, 0, -3, "Center"},      {CdChannels::Both, 48000, 0, -3, "Center"},
      {CdChannels::Both, 44100, 0.001, -3, "Center"},  {CdChannels::Both, 48000, -0.001, -3, "Center"},
  };
  const Loudspeaker speaker;
  const auto expected = [&](double f) { return 20 * std::log10(std::abs(speaker.Response(f))); };
  // A set view keeps the measurement's lines; the single impulse view would list its own.
  DisplayConfig.Graphshown = 3;
  const auto line = [&](int row) { return main->ModesList->item(row)->text().toStdString(); };
  for (const auto& [channels, rate, eps, code, name] : cases) {
    SCOPED_TRACE(std::string(name) + " at " + std::to_string(rate) + " eps " + std::to_string(eps));
    EQConfig.SampleRate = rate;
    Forms::Unload<CDTest>();
    PlayedCD how;
    how.channels = channels, how.eps = eps;
    Play(how, rate);
    const int32_t k = ResultsDataSetInfo[0].NumInSet;  // the new result's index
    Record();
    CDTest* f = Form();
    EXPECT_TRUE(!f->RecordingOn && ResultsDataSetInfo[0].NumInSet == k + 1);
    EXPECT_EQ(std::tuple(f->Work.RecordLength, f->Work.ChannelCode, Text(f->ChannelText)),
              std::tuple(rate == 44100 ? 262144 : 240845, code, std::string(name)));
    const std::string heard = "Level = " + Text(f->PeakText) + " S/N = " + Text(f->SNText) + " dB";
    EXPECT_EQ(Text(f->PeakText).front(), '-');  // a recording below full scale
    if (code != -3) {
      EXPECT_EQ(line(0), "R: " + (code == -2 ? heard : "Level = 0 S/N = 0 dB"));
      EXPECT_EQ(line(1), "L: " + (code == -1 ? heard : "Level = 0 S/N = 0 dB"));
      EXPECT_EQ(line(2), "Mic-Spkr Dist = 0 m");
    }
    // Within a part per million: a period resampled 2 ppm off already smears the impulse.
    EXPECT_NEAR(f->Work.MeasuredRate, rate / (1 + eps), 1e-6 * rate);

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

    // An offset clock leaves the top octave less exact.
    EXPECT_LT(Deviation(Spectrum(impulse.data()), expected, 100, eps == 0 ? 15000 : 10000), eps == 0 ? 0.5 : 1.0);
  }
}

TEST_F(TestCDMeasureTest, ACorrectionFromTheLoudspeakersImpulseFlattensTheResultAndBadFilesAreRefused) {
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
  EXPECT_EQ(std::pair(dialogs.calls().back().title, dialogs.calls().back().filter),
            std::pair(std::string("Open *.cfa File"), std::string("CFA files (*.cfa)|*.cfa")));
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
  // Bad correction files leave the correction off.
  main->RemoveResult(1);
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
  const auto save = [&](const char* name) {
    EXPECT_TRUE(WriteMeasurementFile(TempPath(name)));
    return TempPath(name);
  };
  std::vector<uint8_t> noSamples = good;
  noSamples[0] = noSamples[1] = noSamples[2] = noSamples[3] = 0;  // S = 0
  std::vector<std::string> bad = {write("short.cfa", std::span<const uint8_t>(good).first(good.size() / 2)),
                                  write("s0.cfa", noSamples), TempPath("absent.cfa")};
  ImpulseSet[0].fill(0.0f);
  bad.push_back(save("zero.cfa"));
  ResultsDataSetInfo[0].SampleRate = 48000;
  bad.push_back(save("fast.cfa"));
  main->RemoveResult(1);
  bad.push_back(save("empty.cfa"));

  for (const std::string& path : bad) {
    dialogs.Clear();
    dialogs.ExpectOpenFile(TempPath("good.cfa"));
    Form()->CalibrateBut->click();
    ASSERT_TRUE(Form()->Work.CorrectionOn);
    dialogs.ExpectOpenFile(path);
    dialogs.ExpectMessage();
    Form()->CalibrateBut->click();
    EXPECT_FALSE(Form()->Work.CorrectionOn) << path;
    EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Error 3428: File Error"}) << path;
  }
}

TEST_F(TestCDMeasureTest, SilenceAddsNothingClosingWaitsAndOtherRatesAreRefused) {
  UseCard(Quiet());
  EXPECT_EQ(std::pair(Form()->windowTitle().toStdString(), Text(Form()->ChannelText)),
            std::pair(std::string("Test CD Recording"), std::string("Full Range Speaker Only")));
  EXPECT_EQ(RecordBufferA.size(), 262144u);
  Form()->RecBut->click();
  EXPECT_TRUE(Form()->RecordingOn && Text(Form()->ChannelText) == "Recording");
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

  // Recording is refused for another rate or too slow a card.
  dialogs.Clear();
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

TEST_F(TestCDMeasureTest, TheMicChannelPicksTheInput) {
  // The disc's signal on the left input only.
  PlayedCD how;
  const std::vector<double> heard = PlayCD(*disc_, how, 44100, 262144);
  CDTest* f = Form();
  std::transform(heard.begin(), heard.end(), RecordBufferA.begin(), [](double v) { return static_cast<float>(v); });
  std::fill(RecordBufferB.begin(), RecordBufferB.end(), 0.0f);
  SetMicChannel(kMicOnLeftInput);
  f->ReRec();
  EXPECT_EQ(std::pair(ResultsDataSetInfo[0].NumInSet, f->Work.ChannelCode), std::pair(1, -1));

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

// v as `bytes` little-endian bytes.
std::string LittleEndian(uint32_t v, int bytes) {
  std::string b;
  for (int i = 0; i < bytes; ++i) b.push_back(static_cast<char>(v >> (8 * i)));
  return b;
}

int16_t At(const std::string& b, size_t offset) {
  return static_cast<int16_t>(static_cast<uint8_t>(b[offset]) | static_cast<uint8_t>(b[offset + 1]) << 8);
}

class TestCDWriterTest : public ZentorTest {
 protected:
  void SetUp() override {
    ZentorTest::SetUp();
    DefaultTwoToneTable();
  }
  void TearDown() override {
    Forms::Unload<CreateTestCD>();
    ZentorTest::TearDown();
  }
  CreateTestCD* Window() { return Forms::Get<CreateTestCD>(); }
  void Make(const std::string& minutes) {
    Window()->Text1->setText(QString::fromStdString(minutes));
    Window()->MakeWave->click();
  }
};

TEST_F(TestCDWriterTest, PeriodsNameAndTheOneMinuteFileOfFortyIdenticalPeriodsBehindTheCanonicalHeader) {
  // 1.5 minutes are 60.56 periods.
  const std::pair<double, int32_t> counts[] = {{1.0, 40}, {1.5, 61}, {10.0, 404}, {15.0, 606}};
  for (const auto& [minutes, periods] : counts)
    EXPECT_EQ(TestCDPeriodCount(minutes, CDSignalParams), periods) << minutes;
  // Only the extension is replaced.
  EXPECT_EQ(TestCDFileName("/tmp/test.mix.wav"), "/tmp/test.mix.wav");
  EXPECT_EQ(TestCDFileName("/home/u/my.dir/cd"), "/home/u/my.dir/cd.wav");
  EXPECT_EQ(TestCDFileName("/home/u/my.dir/cd.WAV"), "/home/u/my.dir/cd.wav");
  EXPECT_EQ(TestCDFileName("/home/u/my.dir/.wav"), std::nullopt);

  const std::string chosen = TempPath("disc.mix.WAV");
  dialogs.ExpectSaveFile(chosen);
  dialogs.ExpectMessage();
  Make("1");
  ASSERT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Wave File Created"});
  const DialogCall& save = dialogs.calls().front();
  EXPECT_EQ(std::tuple(save.title, save.filter, save.fileName),
            std::tuple("Save *.wav File (44.1 KHz/Stereo,16 bit)", "WAV files (*.wav)|*.wav", "ZentorWaveFileForCD.wav"));
  EXPECT_FALSE(save.initialFolder.empty());
  EXPECT_EQ(std::pair(Window()->NumPeriods, Window()->ProgressBar1->value()), std::pair(40, 0));
  EXPECT_FALSE(std::filesystem::exists(chosen));

  const std::string file = FileText(TempPath("disc.mix.wav"));
  ASSERT_EQ(file.size(), 10485804u);
  // PCM, two channels, 44100 Hz, 176400 bytes a second, 4-byte frames of 16-bit samples.
  const auto le = LittleEndian;
  EXPECT_EQ(file.substr(0, 44), "RIFF" + le(10485796, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(2, 2) + le(44100, 4) +
                                    le(176400, 4) + le(4, 2) + le(16, 2) + "data" + le(10485760, 4));
  std::vector<int16_t> left(65536), right(65536);
  ASSERT_TRUE(BuildTestCDSignal(left, CDSignalParams, -1));
  ASSERT_TRUE(BuildTestCDSignal(right, CDSignalParams, -2));
  int wrong = 0;
  for (size_t p = 0; p < 40; ++p)
    for (size_t i = 0; i < 65536; ++i) {
      const size_t frame = 44 + 4 * (p * 65536 + i);
      wrong += At(file, frame) != left[i];
      wrong += At(file, frame + 2) != right[i];
    }
  EXPECT_EQ(wrong, 0);
}

// Minutes outside 1..15 build nothing; No keeps an old file, Yes replaces a longer one;
// a failed write is reported.
TEST_F(TestCDWriterTest, RefusedMinutesTheOverwriteQuestionAndAFailedWrite) {
  for (const char* minutes : {"0", "15.5", "ten"}) {
    dialogs.Clear();
    dialogs.ExpectMessage();
    Make(minutes);
    EXPECT_TRUE(dialogs.calls().size() == 1 && dialogs.calls()[0].kind == DialogCall::Message) << minutes;
  }
  // 1.5 minutes is taken and rounded to whole periods.
  dialogs.Clear();
  dialogs.ExpectSaveFile(std::nullopt);
  Make("1.5");
  EXPECT_EQ(std::pair(Window()->NumPeriods, Window()->ProgressBar1->maximum()), std::pair(61, 61));

  dialogs.Clear();
  const std::string path = TempPath("old.wav");
  const std::vector<char> old(12 * 1024 * 1024, 'x');
  std::ofstream(path, std::ios::binary).write(old.data(), static_cast<std::streamsize>(old.size()));

  dialogs.ExpectSaveFile(path);
  dialogs.ExpectMessage(MsgAnswer::No);
  Make("1");
  ASSERT_EQ(dialogs.calls().size(), 2u);
  const DialogCall& ask = dialogs.calls()[1];
  EXPECT_EQ(std::tuple(ask.text, ask.buttons, ask.icon, ask.title),
            std::tuple("File Already Exists, Overwrite ?", MsgButtons::YesNo, MsgIcon::Exclamation, "Mirabelt Zentor"));
  EXPECT_EQ(std::filesystem::file_size(path), old.size());

  dialogs.Clear();
  dialogs.ExpectSaveFile(path);
  dialogs.ExpectMessage(MsgAnswer::Yes);
  dialogs.ExpectMessage();
  Make("1");
  EXPECT_EQ(dialogs.MessageTexts().back(), "Wave File Created");
  EXPECT_EQ(std::filesystem::file_size(path), 10485804u);

  dialogs.Clear();
  dialogs.ExpectSaveFile(TempPath("missing/folder/cd.wav"));
  dialogs.ExpectMessage();
  Make("1");
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Wave File Creation Error"});
  EXPECT_EQ(Window()->ProgressBar1->value(), 0);
}

}  // namespace
}  // namespace zentor::test
