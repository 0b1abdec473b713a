#include <QDir>
#include <cmath>
#include <limits>

#include "core/records.h"
#include "file_fixture.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/filter_file.h"
#include "mainwindow/measurement_file.h"

namespace zentor {
namespace {

using test::GetAt;
using test::PutAt;
using test::ReadFileBytes;
using test::StateFingerprint;
using test::WriteFileBytes;

// One filter as the 100-byte table lays it out; every field distinct.
std::vector<uint8_t> GoldenFilter(int32_t count, int seed, int32_t code) {
  std::vector<uint8_t> r(100, 0);
  for (int field = 0; field < 25; ++field) PutAt<int32_t>(r, static_cast<size_t>(4 * field), 1000 * seed + field);
  const float s = static_cast<float>(seed);
  for (int field : {3, 4, 5, 6, 7, 9, 12, 16, 17, 21}) PutAt<float>(r, static_cast<size_t>(4 * field), field + 0.5f + s);
  PutAt<int32_t>(r, 0, count);
  PutAt<float>(r, 72, 628.25f + s);  // Freq1
  PutAt<float>(r, 76, -2.5f - s);    // Q1
  PutAt<float>(r, 80, 1.25f);        // Q2
  PutAt<int32_t>(r, 96, code);
  return r;
}

std::vector<uint8_t> GoldenEQ(int32_t n, int32_t parametric, int32_t graphic) {
  std::vector<uint8_t> f(12, 0);
  PutAt<int32_t>(f, 0, n);
  PutAt<int32_t>(f, 4, parametric);
  PutAt<int32_t>(f, 8, graphic);
  for (int k = 0; k < n; ++k) {
    const std::vector<uint8_t> r = GoldenFilter(k == 0 ? n : 0, k, 1 + k % 5);
    f.insert(f.end(), r.begin(), r.end());
  }
  return f;
}

class FilterFileTest : public test::MainWindowTest {
 protected:
  DataPlotter* w = nullptr;
  int listRefreshes = 0;
  void SetUp() override {
    MainWindowTest::SetUp();
    w = Start();
    FileCommandHooks.UpdateAppliedFiltersList = [this] { ++listRefreshes; };
  }
  void TearDown() override {
    FileCommandHooks = FileCommandLinks{};
    MainWindowTest::TearDown();
  }
  void HoldTwoFilters() {
    AppliedFilters[0].Count = 2;
    AppliedFilters[0].Freq1 = 100.0f;
    AppliedFilters[1].Freq1 = 200.0f;
    AppliedFilters[0].EQEmulationCode = AppliedFilters[1].EQEmulationCode = 2;
  }
};

TEST_F(FilterFileTest, GoldenFileReadsIntoTheSetAndTheEmulationCodes) {
  const std::vector<uint8_t> golden = GoldenEQ(3, 4, 2);
  const std::string path = TempPath("golden.EQ");
  WriteFileBytes(path, golden);
  AppliedFilters[10].Freq1 = 5.0f;  // stale entry past the file's filters
  ASSERT_TRUE(LoadEQFile(path));
  EXPECT_EQ(AppliedFilters[0].Count, 3);
  EXPECT_EQ(AppliedFilters[1].Curve, 1001);
  EXPECT_EQ(AppliedFilters[1].Average, 1002);
  EXPECT_EQ(AppliedFilters[2].MaxDecay, 5.5f);
  EXPECT_EQ(AppliedFilters[2].NumInitialLoops, 2008);
  EXPECT_EQ(AppliedFilters[1].Gatetime, 18.5f);
  EXPECT_EQ(AppliedFilters[2].Freq1, 630.25f);
  EXPECT_EQ(AppliedFilters[2].Q1, -4.5f);
  EXPECT_EQ(AppliedFilters[2].FitError, 23.5f);
  EXPECT_EQ(AppliedFilters[2].Unused23, 2023);
  EXPECT_EQ(AppliedFilters[2].EQEmulationCode, 3);
  EXPECT_EQ(AppliedFilters[10].Freq1, 0.0f);
  EXPECT_EQ(w->GetParametricEQEmulation(), 4);
  EXPECT_EQ(w->GetGraphicEQEmulation(), 2);

  std::vector<uint8_t> written;
  ASSERT_TRUE(BuildEQFile(4, 2, written));
  EXPECT_EQ(written, golden);
}

TEST_F(FilterFileTest, SavedFileIsTwelvePlusAHundredBytesPerFilter) {
  w->SetParametricEmulation(3);
  w->SetGraphicEmulation(5);
  const std::string path = TempPath("set.EQ");
  ASSERT_TRUE(SaveEQFile(path));
  std::vector<uint8_t> bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), 12u);
  EXPECT_EQ(GetAt<int32_t>(bytes, 0), 0);
  EXPECT_EQ(GetAt<int32_t>(bytes, 4), 3);  // parametric first
  EXPECT_EQ(GetAt<int32_t>(bytes, 8), 5);

  WriteFileBytes(path, std::vector<uint8_t>(5000, 0xEE));
  HoldTwoFilters();
  ASSERT_TRUE(SaveEQFile(path));
  bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), 212u);
  EXPECT_EQ(GetAt<float>(bytes, 112 + 72), 200.0f);

  // An empty file read back while filters are held empties the set.
  WriteFileBytes(path, GoldenEQ(0, 1, 1));
  ASSERT_TRUE(LoadEQFile(path));
  EXPECT_EQ(AppliedFilters[0].Count, 0);
  EXPECT_EQ(AppliedFilters[1].Freq1, 0.0f);
}

TEST_F(FilterFileTest, DamagedOrOverlongFilesChangeNothing) {
  HoldTwoFilters();
  w->SetParametricEmulation(2);
  const uint64_t held = StateFingerprint();
  const std::vector<uint8_t> good = GoldenEQ(2, 1, 1);
  const std::string path = TempPath("bad.EQ");
  auto refused = [&](const std::vector<uint8_t>& bytes, const std::string& what) {
    WriteFileBytes(path, bytes);
    dialogs.Clear();
    dialogs.ExpectMessage();
    EXPECT_FALSE(LoadEQFile(path)) << what;
    EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"EQ File Error 4329"}) << what;
    EXPECT_EQ(StateFingerprint(), held) << what;
  };
  for (size_t cut = 0; cut < good.size(); cut += 4)
    refused(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(cut)), "cut " + std::to_string(cut));
  refused(GoldenEQ(76, 1, 1), "76 filters");
  const auto patched = [&](size_t at, auto v) {
    std::vector<uint8_t> bad = good;
    PutAt(bad, at, v);
    refused(bad, "value at " + std::to_string(at));
  };
  for (int32_t n : {-1, 76, std::numeric_limits<int32_t>::max()}) patched(0, n);  // the count
  for (size_t at : {size_t{4}, size_t{8}, size_t{12 + 96}})
    for (int32_t code : {0, 6, -1}) patched(at, code);
  for (size_t at : {size_t{12 + 72}, size_t{112 + 76}, size_t{112 + 80}})
    for (float v : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) patched(at, v);
  // A filter without a level: Q1 0, Q2 0 or below.
  for (const auto& [at, v] : {std::pair{size_t{112 + 76}, 0.0f}, {size_t{12 + 80}, 0.0f}, {size_t{112 + 80}, -1.25f}})
    patched(at, v);
  std::vector<uint8_t> padded = good;  // longer than 75 filters: refused unread
  padded.resize(12 + 75 * 100 + 1, 0);
  refused(padded, "padded");
  dialogs.ExpectMessage();
  EXPECT_FALSE(LoadEQFile(TempPath("missing.EQ")));
  padded.pop_back();
  WriteFileBytes(path, padded);
  EXPECT_TRUE(LoadEQFile(path));
  EXPECT_EQ(AppliedFilters[0].Count, 2);
}

TEST_F(FilterFileTest, SaveCommandKeepsTheStemAndClearsTheMark) {
  QDir(tempDir.path()).mkdir("eq.d");
  w->EQResultsTakenButNotSaved = kTrue;
  dialogs.ExpectSaveFile(TempPath("eq.d/room.v2.EQ"));
  EXPECT_TRUE(w->SaveEQModel_Click());
  const auto& call = dialogs.calls().front();
  EXPECT_EQ(call.title, "Save *.EQ File");
  EXPECT_EQ(call.filter, "Zentor EQ files (*.EQ)|*.EQ");
  EXPECT_EQ(call.fileName, "EQSim.Eq");
  const std::string saved = TempPath("eq.d/room.EQ");
  EXPECT_EQ(EQFileName, saved);
  EXPECT_EQ(ReadFileBytes(saved).size(), 12u);
  EXPECT_EQ(w->windowTitle().toStdString(), saved);
  EXPECT_EQ(w->EQResultsTakenButNotSaved, 0);

  w->EQResultsTakenButNotSaved = kTrue;
  dialogs.Clear();
  dialogs.ExpectSaveFile(saved);
  dialogs.ExpectMessage(MsgAnswer::Cancel);
  EXPECT_FALSE(w->SaveEQModel_Click());
  EXPECT_EQ(dialogs.calls()[1].text, saved + " Already Exists, Overwrite ?");
  EXPECT_EQ(dialogs.calls()[1].icon, MsgIcon::Exclamation);
  EXPECT_EQ(dialogs.calls()[1].title, "Mirabelt Zentor");
  EXPECT_EQ(w->EQResultsTakenButNotSaved, kTrue);

  dialogs.Clear();
  dialogs.ExpectSaveFile(std::nullopt);
  EXPECT_FALSE(w->SaveEQModel_Click());
}

TEST_F(FilterFileTest, OpenCommandReplacesTheSetOrKeepsItAfterAFailure) {
  const std::string good = TempPath("good.EQ");
  WriteFileBytes(good, GoldenEQ(2, 3, 4));
  HoldTwoFilters();
  w->setWindowTitle("kept");

  dialogs.ExpectMessage(MsgAnswer::No);
  OpenEQFile();
  EXPECT_EQ(dialogs.calls()[0].text, "EQ Results are in memory, Overwrite ?");
  EXPECT_EQ(dialogs.calls()[0].title, "Zentor.x");
  EXPECT_EQ(AppliedFilters[0].Freq1, 100.0f);

  dialogs.Clear();
  dialogs.ExpectMessage(MsgAnswer::Yes);
  dialogs.ExpectOpenFile(good);
  OpenEQFile();
  EXPECT_EQ(dialogs.calls()[1].title, "Open Zentor *.EQ File");
  EXPECT_EQ(AppliedFilters[0].Freq1, 628.25f);
  EXPECT_EQ(w->GetParametricEQEmulation(), 3);
  EXPECT_EQ(EQFileName, good);
  EXPECT_EQ(listRefreshes, 1);
  EXPECT_EQ(w->windowTitle(), "kept");

  // A refused file leaves the applied set as it was, though the question gave it up.
  const std::string text = "Frequency 100 Hz, gain -3 dB, Q 2\nFrequency 200 Hz, gain 1 dB, Q 4\n";
  const std::vector<std::vector<uint8_t>> refused{GoldenEQ(76, 1, 1), std::vector<uint8_t>(text.begin(), text.end())};
  for (const std::vector<uint8_t>& bytes : refused) {
    const std::string bad = TempPath("bad.EQ");
    WriteFileBytes(bad, bytes);
    dialogs.Clear();
    dialogs.ExpectMessage(MsgAnswer::Yes);
    dialogs.ExpectOpenFile(bad);
    dialogs.ExpectMessage();
    dialogs.ExpectMessage();
    OpenEQFile();
    EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"EQ Results are in memory, Overwrite ?",
                                                                "EQ File Error 4329", "Error 8733"}));
    EXPECT_EQ(AppliedFilters[0].Count, 2);
    EXPECT_EQ(AppliedFilters[0].Freq1, 628.25f);
    EXPECT_EQ(EQFileName, good);
  }
  EXPECT_EQ(listRefreshes, 3);
}

}  // namespace
}  // namespace zentor
