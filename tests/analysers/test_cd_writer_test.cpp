// The test-CD file: period count, the name it is written under, header and
// samples read back byte by byte, the overwrite question and write failures.
#include <QProgressBar>
#include <filesystem>

#include "analyser_fixture.h"
#include "analysers/test_cd_writer.h"
#include "core/test_signals.h"
#include "display/dispatcher.h"

namespace zentor::test {
namespace {

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

TEST(TestCDPeriods, WholePeriodsOfTheChosenMinutesAndTheFileName) {
  DefaultTwoToneTable();
  // 1.5 minutes are 60.56 periods.
  const std::pair<double, int32_t> counts[] = {{1.0, 40}, {1.5, 61}, {10.0, 404}, {15.0, 606}};
  for (const auto& [minutes, periods] : counts)
    EXPECT_EQ(TestCDPeriodCount(minutes, CDSignalParams), periods) << minutes;
  // Only the file name is cut at its first dot.
  EXPECT_EQ(TestCDFileName("/tmp/test.mix.wav"), "/tmp/test.wav");
  EXPECT_EQ(TestCDFileName("/home/u/my.dir/cd"), "/home/u/my.dir/cd.wav");
  EXPECT_EQ(TestCDFileName("/home/u/my.dir/cd.WAV"), "/home/u/my.dir/cd.wav");
}

TEST_F(TestCDWriterTest, OneMinuteFileIsFortyIdenticalPeriodsBehindTheCanonicalHeader) {
  const std::string chosen = TempPath("disc.mix.wav");
  dialogs.ExpectSaveFile(chosen);
  dialogs.ExpectMessage();
  Make("1");
  ASSERT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Wave File Created"});
  const DialogCall& save = dialogs.calls().front();
  EXPECT_EQ(save.title, "Save *.wav File (44.1 KHz/Stereo,16 bit)");
  EXPECT_EQ(save.filter, "WAV files (*.wav)|*.wav");
  EXPECT_EQ(save.fileName, "ZentorWaveFileForCD.wav");
  EXPECT_FALSE(save.initialFolder.empty());
  EXPECT_EQ(Window()->NumPeriods, 40);
  EXPECT_EQ(Window()->ProgressBar1->value(), 0);
  EXPECT_FALSE(std::filesystem::exists(chosen));

  const std::string file = FileText(TempPath("disc.wav"));
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

TEST_F(TestCDWriterTest, MinutesOutsideOneToFifteenBuildNothing) {
  for (const char* minutes : {"0", "15.5", "ten"}) {
    dialogs.Clear();
    dialogs.ExpectMessage();
    Make(minutes);
    EXPECT_EQ(dialogs.calls().size(), 1u) << minutes;
    EXPECT_EQ(dialogs.calls()[0].kind, DialogCall::Message) << minutes;
  }
  // 1.5 minutes is taken and rounded to whole periods.
  dialogs.Clear();
  dialogs.ExpectSaveFile(std::nullopt);
  Make("1.5");
  EXPECT_EQ(Window()->NumPeriods, 61);
  EXPECT_EQ(Window()->ProgressBar1->maximum(), 61);
}

TEST_F(TestCDWriterTest, NoKeepsTheOldFileAndYesReplacesALongerOne) {
  const std::string path = TempPath("old.wav");
  const std::vector<char> old(12 * 1024 * 1024, 'x');
  std::ofstream(path, std::ios::binary).write(old.data(), static_cast<std::streamsize>(old.size()));

  dialogs.ExpectSaveFile(path);
  dialogs.ExpectMessage(MsgAnswer::No);
  Make("1");
  ASSERT_EQ(dialogs.calls().size(), 2u);
  EXPECT_EQ(dialogs.calls()[1].text, "File Already Exists, Overwrite ?");
  EXPECT_EQ(dialogs.calls()[1].buttons, MsgButtons::YesNo);
  EXPECT_EQ(dialogs.calls()[1].icon, MsgIcon::Exclamation);
  EXPECT_EQ(dialogs.calls()[1].title, "Mirabelt Zentor");
  EXPECT_EQ(std::filesystem::file_size(path), old.size());

  dialogs.Clear();
  dialogs.ExpectSaveFile(path);
  dialogs.ExpectMessage(MsgAnswer::Yes);
  dialogs.ExpectMessage();
  Make("1");
  EXPECT_EQ(dialogs.MessageTexts().back(), "Wave File Created");
  EXPECT_EQ(std::filesystem::file_size(path), 10485804u);
}

TEST_F(TestCDWriterTest, AnUnwritableFolderIsReported) {
  dialogs.ExpectSaveFile(TempPath("missing/folder/cd.wav"));
  dialogs.ExpectMessage();
  Make("1");
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Wave File Creation Error"});
  EXPECT_EQ(Window()->ProgressBar1->value(), 0);
}

// Long: runs only when ZENTOR_PERF_TESTS is set.
TEST_F(TestCDWriterTest, PerfFifteenMinutesIs606Periods) {
  if (!std::getenv("ZENTOR_PERF_TESTS")) GTEST_SKIP() << "set ZENTOR_PERF_TESTS to run";
  dialogs.ExpectSaveFile(TempPath("long.wav"));
  dialogs.ExpectMessage();
  Make("15");
  EXPECT_EQ(Window()->NumPeriods, 606);
  EXPECT_EQ(std::filesystem::file_size(TempPath("long.wav")), 44u + 606u * 65536u * 4u);
}

}  // namespace
}  // namespace zentor::test
