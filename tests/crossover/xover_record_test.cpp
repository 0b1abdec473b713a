// The .XVR file: field offsets, byte-exact round trips and refusal of bad files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "crossover/xover_record.h"
#include "support/fixture.h"
#include "tools/tools_fixture.h"

namespace zentor::test {
namespace {

template <class T>
T At(const std::vector<uint8_t>& b, size_t off) {
  T v{};
  std::memcpy(&v, b.data() + off, sizeof v);
  return v;
}

XoverSetRecord Sentinels(int32_t base) {
  XoverSetRecord r;
  r.Ways = 3;
  r.HPType = base + 1;
  r.LPType = base + 2;
  r.HPOrder = 3;
  r.LPOrder = 4;
  r.HPCorner = 101.5f;
  r.LPCorner = 202.5f;
  r.LP2On = base + 9;
  r.Shelf1Freq = base + 19;
  r.DelayMs = 1.25f;
  r.InvertFlag = 0x1234;
  r.EQPathCodes[1] = 0x41;
  r.EQPathCodes[500] = 0x5A;
  r.EQPathLength = 77;
  r.EQFilterCount = 75;
  r.EQFileOn = base + 31;
  r.EQEmulationCode = base + 32;
  r.EQFreq[0] = 1.5;
  r.EQFreq[74] = 2.5;
  r.EQQ1[0] = -3.5;
  r.EQQ2[74] = 4.5;
  for (size_t k = 0; k < r.Spare.size(); ++k) r.Spare[k] = uint8_t(k + 1);
  return r;
}

TEST(XoverFile, FieldsLandAtTheirOffsets) {
  XoverSetArray sets{Sentinels(0), Sentinels(100), Sentinels(200)};
  const std::vector<uint8_t> b = BuildXoverFile(sets);
  ASSERT_EQ(b.size(), 12006u);
  for (size_t r = 0; r < 3; ++r) {
    const size_t o = r * 4002;
    const int32_t base = int32_t(r) * 100;
    EXPECT_EQ(At<int32_t>(b, o + 0), 3);
    EXPECT_EQ(At<int32_t>(b, o + 4), base + 1);
    EXPECT_EQ(At<float>(b, o + 20), 101.5f);
    EXPECT_EQ(At<int32_t>(b, o + 64), base + 9);
    EXPECT_EQ(At<int32_t>(b, o + 76), base + 19);
    EXPECT_EQ(At<float>(b, o + 96), 1.25f);
    EXPECT_EQ(At<int16_t>(b, o + 100), 0x1234);
    EXPECT_EQ(At<int32_t>(b, o + 102 + 4), 0x41);
    EXPECT_EQ(At<int32_t>(b, o + 102 + 4 * 500), 0x5A);
    EXPECT_EQ(At<int32_t>(b, o + 2106), 77);
    EXPECT_EQ(At<int32_t>(b, o + 2110), 75);
    EXPECT_EQ(At<int32_t>(b, o + 2114), base + 31);
    EXPECT_EQ(At<int32_t>(b, o + 2118), base + 32);
    EXPECT_EQ(At<double>(b, o + 2122), 1.5);
    EXPECT_EQ(At<double>(b, o + 2122 + 8 * 74), 2.5);
    EXPECT_EQ(At<double>(b, o + 2722), -3.5);
    EXPECT_EQ(At<double>(b, o + 3322 + 8 * 74), 4.5);
    EXPECT_EQ(b[o + 3922], 1);
    EXPECT_EQ(b[o + 4001], 80);
  }
}

class XoverFileDisk : public ToolsTest {};

TEST_F(XoverFileDisk, OpenThenSaveIsByteIdenticalAndLongerFilesOpen) {
  std::vector<uint8_t> bytes = BuildXoverFile({Sentinels(0), Sentinels(100), Sentinels(200)});
  bytes[3950] = 0xEE;  // unused bytes come back as read
  std::vector<uint8_t> longer = bytes;
  longer.resize(13000, 0x55);
  const std::string in = TempPath("in.XVR"), out = TempPath("out.XVR");
  WriteFile(in, longer);
  XoverSetArray sets{};
  ASSERT_TRUE(ReadXoverFile(in, sets));
  ASSERT_TRUE(WriteXoverFile(out, sets));
  EXPECT_EQ(ReadFile(out), bytes);
  EXPECT_TRUE(dialogs.MessageTexts().empty());
}

TEST_F(XoverFileDisk, BadFilesAreRefusedAndChangeNothing) {
  XoverSetArray good{Sentinels(0), Sentinels(100), Sentinels(200)};
  const std::vector<uint8_t> valid = BuildXoverFile(good);
  const std::string path = TempPath("bad.XVR");
  XoverSetArray held{};
  held[1].GainDb = 7;
  const std::vector<uint8_t> before = BuildXoverFile(held);
  const auto refused = [&](const std::vector<uint8_t>& file) {
    WriteFile(path, file);
    dialogs.Clear();
    dialogs.ExpectMessage();
    const bool read = ReadXoverFile(path, held);
    return !read && dialogs.MessageTexts() == std::vector<std::string>{"EQ File Error 4332"} &&
           BuildXoverFile(held) == before;
  };
  for (size_t len = 0; len < valid.size(); len += (len < 20 ? 1 : 997))
    EXPECT_TRUE(refused({valid.begin(), valid.begin() + ptrdiff_t(len)})) << len;
  EXPECT_TRUE(refused({valid.begin(), valid.end() - 1}));
  const auto patched = [&](size_t off, auto v) {
    std::vector<uint8_t> f = valid;
    std::memcpy(f.data() + off, &v, sizeof v);
    return f;
  };
  EXPECT_TRUE(refused(patched(4002 + 2106, int32_t{501})));
  EXPECT_TRUE(refused(patched(2106, int32_t{-1})));
  EXPECT_TRUE(refused(patched(8004 + 2110, int32_t{76})));
  EXPECT_TRUE(refused(patched(12, int32_t{9})));
  EXPECT_TRUE(refused(patched(4002 + 48, int32_t{-1})));
  EXPECT_TRUE(refused(patched(92, std::numeric_limits<float>::quiet_NaN())));
  EXPECT_TRUE(refused(patched(2722 + 8, std::numeric_limits<double>::infinity())));
  EXPECT_TRUE(refused({}));
  // Type 10, unknown types and any Ways are accepted.
  std::vector<uint8_t> odd = patched(4, int32_t{10});
  std::memcpy(odd.data(), "\x07\0\0\0", 4);
  WriteFile(path, odd);
  EXPECT_TRUE(ReadXoverFile(path, held));
  EXPECT_EQ(held[0].HPType, 10);
}

TEST(XoverSets, ClearKeepsWaysInversionAndPathCodes) {
  XoverSetArray sets{Sentinels(0), Sentinels(0), Sentinels(0)};
  sets[2].EQFilterCount = 1;
  ClearXoverSets(sets);
  for (const XoverSetRecord& r : sets) {
    EXPECT_EQ(r.Ways, 3);
    EXPECT_EQ(r.InvertFlag, 0x1234);
    EXPECT_EQ(r.EQPathCodes[500], 0x5A);
    EXPECT_EQ(r.HPType, 0);
    EXPECT_EQ(r.DelayMs, 0);
    EXPECT_EQ(r.EQPathLength, 0);
    EXPECT_EQ(r.EQFilterCount, 0);
    EXPECT_EQ(r.EQFreq[0], 0);
  }
  EXPECT_EQ(sets[0].EQFreq[74], 0);
  EXPECT_EQ(sets[2].EQFreq[74], 2.5);  // beyond the count in use
}

TEST(XoverSets, TypeCaptions) {
  EXPECT_EQ(XoverTypeCaption(0), "No Filter");
  EXPECT_EQ(XoverTypeCaption(10), "Constant Sum");
  EXPECT_EQ(XoverTypeCaption(11), "Butterworth");
  EXPECT_EQ(XoverTypeCaption(12), "Bessel");
  EXPECT_EQ(XoverTypeCaption(13), "Linkwitz-Riley");
  EXPECT_EQ(XoverTypeCaption(7), "");
}

}  // namespace
}  // namespace zentor::test
