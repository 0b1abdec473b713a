#include <numbers>
#include <random>

#include "mainwindow/filter_file.h"
#include "mainwindow/qel_import.h"
#include "window_fixtures.h"

namespace zentor {
namespace {
using test::GetAt;
using test::GoldenEQ;
using test::PutAt;
using test::ReadFileBytes;
using test::StateFingerprint;
using test::WriteFileBytes;

class FilterFileTest : public test::StartedWindowTest {
 protected:
  void HoldTwoFilters() {
    AppliedFilters[0].Count = 2;
    AppliedFilters[0].Freq1 = 100.0f;
    AppliedFilters[1].Freq1 = 200.0f;
    AppliedFilters[0].EQEmulationCode = AppliedFilters[1].EQEmulationCode = 2;
  }
};

TEST_F(FilterFileTest, GoldenFileReadsASavedFileIsTwelvePlusAHundredPerFilterAndDamagedOnesChangeNothing) {
  const std::vector<uint8_t> golden = GoldenEQ(3, 4, 2);
  const std::string path = TempPath("golden.EQ");
  WriteFileBytes(path, golden);
  AppliedFilters[10].Freq1 = 5.0f;  // stale entry past the file's filters
  ASSERT_TRUE(LoadEQFile(path));
  const FilterRecord &f1 = AppliedFilters[1], &f2 = AppliedFilters[2];
  const std::tuple<const char*, double, double> fields[] = {
      {"Count", AppliedFilters[0].Count, 3}, {"Curve", f1.Curve, 1001}, {"Average", f1.Average, 1002},
      {"MaxDecay", f2.MaxDecay, 5.5}, {"NumInitialLoops", f2.NumInitialLoops, 2008}, {"Gatetime", f1.Gatetime, 18.5},
      {"Freq1", f2.Freq1, 630.25}, {"Q1", f2.Q1, -4.5}, {"FitError", f2.FitError, 23.5}, {"Unused23", f2.Unused23, 2023},
      {"EQEmulationCode", f2.EQEmulationCode, 3}, {"stale Freq1", AppliedFilters[10].Freq1, 0}};
  for (const auto& [name, read, want] : fields) EXPECT_EQ(read, want) << name;
  EXPECT_EQ(w->GetParametricEQEmulation(), 4);
  EXPECT_EQ(w->GetGraphicEQEmulation(), 2);

  std::vector<uint8_t> written;
  ASSERT_TRUE(BuildEQFile(4, 2, written));
  EXPECT_EQ(written, golden);

  // A saved file is twelve bytes plus a hundred per filter.
  AppliedFilters[0].Count = 0;
  w->SetParametricEmulation(3);
  w->SetGraphicEmulation(5);
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

  // Damaged or overlong files change nothing.
  HoldTwoFilters();
  w->SetParametricEmulation(2);
  const uint64_t held = StateFingerprint();
  const std::vector<uint8_t> good = GoldenEQ(2, 1, 1);
  auto refused = [&](const std::vector<uint8_t>& bytes, const std::string& what) {
    WriteFileBytes(path, bytes);
    dialogs.Clear();
    dialogs.ExpectMessage();
    EXPECT_FALSE(LoadEQFile(path)) << what;
    ASSERT_EQ(dialogs.MessageTexts().size(), 1u) << what;
    EXPECT_EQ(dialogs.MessageTexts()[0].rfind("EQ File Error 4329: " + path + ": ", 0), 0u) << dialogs.MessageTexts()[0];
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

using test::LeBytes;

// A Qel file whose recording is the reference noise delayed by `delay` samples
// and scaled by `gain`. The reference is zero for its first `quiet` samples so
// that a negative delay stays an exact circular shift.
struct SyntheticQel {
  int32_t rate = 44100;
  int32_t delay = 1000;
  int32_t gain = 3;
  int32_t quiet = 0;
  bool silent = false;
  int32_t band = 1;
  int32_t periodFlag = 0;
  int32_t position = 3000;
  int32_t calCount = 2;
  float calLevel = -1.5f;

  std::vector<uint8_t> Build() const {
    const int32_t d = static_cast<int32_t>(std::nearbyint(rate * 0.025));  // halves to even: 1102 at 44.1 kHz
    const int32_t refLength = 176400 - (154350 + d) + 1;
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> noise(-4000, 4000);
    std::vector<int16_t> ref(static_cast<size_t>(refLength), 0);
    for (int32_t k = quiet; k < refLength; ++k) ref[static_cast<size_t>(k)] = static_cast<int16_t>(noise(rng));
    std::vector<int16_t> samples(176401, 0);
    if (!silent) {
      for (int32_t k = 0; k <= 154350; ++k) {
        const int32_t j = k - delay;
        if (j >= 0 && j < refLength) samples[static_cast<size_t>(k)] = static_cast<int16_t>(gain * ref[static_cast<size_t>(j)]);
      }
      for (int32_t k = 0; k < refLength; ++k) samples[static_cast<size_t>(154350 + d + k)] = ref[static_cast<size_t>(k)];
    }
    LeBytes b;
    for (int16_t s : samples) b.I16(s);
    b.Zeros(272);
    for (int k = 0; k < 1001; ++k) b.F32(k < calCount ? 100.0f * (k + 1) : 0.0f);
    for (int k = 0; k < 1001; ++k) b.F32(k < calCount ? calLevel * k : 0.0f);
    b.Zeros(4004);
    b.I32(calCount).Zeros(8).I32(position);
    for (int records : {5, 7, 9, 9, 3, 9, 4, 9})
      for (int k = 0; k < records; ++k) b.Zeros(12).Str("ab").Zeros(8016).Str("");
    b.Zeros(44).I32(rate).I32(band).Zeros(12).I32(periodFlag);
    return b.data;
  }
};

constexpr const char* kUnread = "Error: Qel file could not be read";

class QelImportTest : public test::StartedWindowTest {
 protected:
  int16_t Import(const SyntheticQel& q, const std::string& name = "m.qel") {
    const std::string path = TempPath(name);
    WriteFileBytes(path, q.Build());
    return ImportQelFile(path);
  }
  int16_t Refused(const std::vector<uint8_t>& bytes, const std::string& text) {
    const std::string path = TempPath("refused.qel");
    WriteFileBytes(path, bytes);
    const uint64_t held = StateFingerprint();
    dialogs.Clear();
    dialogs.ExpectMessage();
    const int16_t code = ImportQelFile(path);
    EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{text});
    EXPECT_EQ(StateFingerprint(), held) << text;
    return code;
  }
  static int32_t PeakIndex(int k, int32_t n) {
    const auto& col = ImpulseSet[static_cast<size_t>(k)];
    return static_cast<int32_t>(std::max_element(col.begin(), col.begin() + n) - col.begin());
  }
};

TEST_F(QelImportTest, NoiseBecomesAnImpulseFilesJoinTheSetOrAreRefusedAndTheMenuAdds) {
  SyntheticQel q;
  ASSERT_EQ(Import(q), kQelAdded);
  const MeasurementHeader& h = ResultsDataSetInfo[0];
  const std::tuple<const char*, double, double> fields[] = {
      {"NumInSet", h.NumInSet, 1}, {"SampleRate", h.SampleRate, 44100}, {"PeriodExponent", h.PeriodExponent, 17},
      {"PreExcitationExponent", h.PreExcitationExponent, 16}, {"ImpulseShift", h.ImpulseShift, 3000 - 2205},
      {"PsdPeriodExponent", h.PsdPeriodExponent, 15}, {"ModalSliceMaxFreq", h.ModalSliceMaxFreq, 150},
      {"MeasConfig", h.MeasConfig, 43}, {"FractOctPoints", h.FractOctPoints, 1000}, {"AutoRange", h.AutoRange, kTrue},
      {"RunStatus", h.RunStatus, 0}};
  for (const auto& [name, read, want] : fields) EXPECT_EQ(read, want) << name;

  const int32_t peak = PeakIndex(0, kMaxSamples);
  EXPECT_EQ(peak, 1000 + 1102);
  EXPECT_NEAR(ImpulseSet[0][peak], 3.0f, 1e-3f);
  EXPECT_EQ(h.LevelMultiplier, 15000.0f / ImpulseSet[0][peak]);
  // Away from the peak the response is (numerically) empty.
  EXPECT_NEAR(ImpulseSet[0][peak + 500], 0.0f, 1e-3f);
  EXPECT_EQ(ImpulseSet[0][0], 0.0f);
  EXPECT_GT(h.NoiseEnergy, 40.0f);
  EXPECT_NEAR(h.SignalEnergy, 9.0f, 0.01f);
  EXPECT_NEAR(h.PeakLevel, 20.0 * std::log10(3.0 * 4000 / 15000.0), 0.1);
  EXPECT_EQ(ActiveMicCal.Count, 2);
  EXPECT_EQ(ActiveMicCal.Level[1], -1.5f);
  EXPECT_EQ(w->ResultsTakenButNotSaved, kTrue);

  // A second file joins the set and a short period lowers it.
  q.periodFlag = 1;
  q.delay = 2000;
  ASSERT_EQ(Import(q, "second.qel"), kQelAdded);
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 2);
  EXPECT_EQ(ResultsDataSetInfo[1].NumInSet, 2);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(ResultsDataSetInfo[i].PeriodExponent, 15);
    EXPECT_EQ(ResultsDataSetInfo[i].PreExcitationExponent, 14);
  }
  EXPECT_EQ(PeakIndex(1, kMaxSamples), 2000 + 1102);
  EXPECT_EQ(ImpulseSet[1][32768], 0.0f);  // only the first 2^15 samples form the result
  EXPECT_EQ(ResultsDataSetInfo[1].SampleRate, 44100);
  EXPECT_EQ(ResultsDataSetInfo[1].FreqRespGateTime, ResultsDataSetInfo[0].FreqRespGateTime);

  // An early impulse is faded in over twelve and a half milliseconds.
  for (int32_t rate : {44100, 48000}) {
    test::FillStore(0, 10, 0);
    SyntheticQel q;
    q.rate = rate;
    q.delay = -700;
    q.quiet = 700;
    ASSERT_EQ(Import(q), kQelAdded) << rate;
    const int32_t d = rate == 44100 ? 1102 : 1200;
    const int32_t taper = rate == 44100 ? 551 : 600;
    const int32_t at = d - 700;
    ASSERT_EQ(PeakIndex(0, kMaxSamples), at) << rate;
    const double fade = 0.5 * (1.0 - std::cos(std::numbers::pi * at / taper));
    EXPECT_NEAR(ImpulseSet[0][at], 3.0 * fade, 1e-3) << rate;
    // The scale is taken from the peak before the fade.
    EXPECT_NEAR(ResultsDataSetInfo[0].LevelMultiplier, 15000.0 / 3.0, 0.1) << rate;
  }

  // The menu commands add the chosen file.
  test::FillStore(0, 10, 0);
  const std::string path = TempPath("menu.qel");
  WriteFileBytes(path, SyntheticQel().Build());
  dialogs.ExpectOpenFile(path);
  w->MenueOpenQelFile_Click();
  EXPECT_EQ(dialogs.calls()[0].title, "Open *.qel File");
  EXPECT_EQ(dialogs.calls()[0].filter, "Qel files (*.qel)|*.qel");
  EXPECT_EQ(QelFileName, path);
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 1);

  dialogs.ExpectOpenFile(path);
  w->AddQelFile_Click();
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 2);
  dialogs.ExpectOpenFile(std::nullopt);
  w->AddQelFile_Click();
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 2);

  // Refused files leave the set as it was.
  test::FillStore(0, 10, 0);
  const auto made = [](std::function<void(SyntheticQel&)> change) {
    SyntheticQel q;
    change(q);
    return q.Build();
  };
  EXPECT_EQ(Refused(made([](SyntheticQel& q) { q.silent = true; }), "Error 5425"), kQelNoData);
  EXPECT_EQ(Refused(made([](SyntheticQel& q) { q.band = 2; }),
                    "User Error: This file cannot be added to Zentor because it is limited to the low frequency band"),
            kQelLowBand);
  const std::vector<uint8_t> bytes = SyntheticQel().Build();
  ASSERT_EQ(Import(SyntheticQel()), kQelAdded);
  std::vector<uint8_t> badString = bytes, badRate = bytes;
  test::PutAt<int16_t>(badString, 365102 + 12, -3);
  test::PutAt<int32_t>(badRate, bytes.size() - 4 - 12 - 4 - 4, 7999);
  // The short-period flag and the new rate must not touch the held set when refused.
  const std::tuple<std::vector<uint8_t>, std::string, int16_t> rows[] = {
      {made([](SyntheticQel& q) { q.rate = 48000, q.periodFlag = 1; }),
       "User Error: This file cannot be added because it has a different sample frequency than the first loaded file",
       kQelOtherRateOrCalCount},
      {made([](SyntheticQel& q) { q.calCount = 3; }),
       "User Error: Added files must have the same mic calibration as originals", kQelOtherRateOrCalCount},
      {made([](SyntheticQel& q) { q.calLevel = -1.25f; }),
       "User Error: Added files must have the same mic calibration as the first loaded file.", kQelOtherCalValues},
      {{bytes.begin(), bytes.begin() + 100}, kUnread, kQelNotAdded},
      {{bytes.begin(), bytes.begin() + 352802}, kUnread, kQelNotAdded},
      {{bytes.begin(), bytes.end() - 1}, kUnread, kQelNotAdded},
      {badString, kUnread, kQelNotAdded},
      {badRate, kUnread, kQelNotAdded}};
  for (const auto& [file, text, code] : rows) EXPECT_EQ(Refused(file, text), code) << text << " " << file.size();

  test::FillStore(32, 17, 44100);  // a full set refuses before reading
  EXPECT_EQ(Refused(bytes, "User Error: A maximum of 32measurements can be loaded into one file"), kQelNotAdded);
}

}  // namespace
}  // namespace zentor
