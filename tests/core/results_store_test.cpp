#include <array>
#include <string>
#include <tuple>
#include <vector>

#include "base/shared_state.h"
#include "core/records.h"
#include "core/results_store.h"
#include "core/work_arrays.h"
#include "support/fixture.h"

namespace zentor {
namespace {

class ResultsStoreTest : public test::ZentorTest {
 protected:
  static MeasurementHeader Header(int32_t rate, int32_t exponent) {
    MeasurementHeader h;
    h.SampleRate = rate;
    h.PeriodExponent = exponent;
    h.MeasConfig = 43;
    return h;
  }
  // Adds a result whose samples all hold `value`.
  static std::string Add(float value, int32_t exponent = 10, int32_t rate = 48000) {
    std::vector<float> s(size_t{1} << std::min(exponent, 17), value);
    MeasurementHeader h = Header(rate, exponent);
    h.ImpulseShift = static_cast<int32_t>(value);
    return AddMeasurementToResults(s, h, "20", "30", "1.5", "-6", "-3");
  }
  // Puts c results straight into the store, result k filled with k.
  static void Fill(int32_t c) {
    for (int32_t k = 1; k <= c; ++k) {
      ImpulseSet[k - 1].fill(static_cast<float>(k));
      ResultsDataSetInfo[k - 1] = Header(1000 * k, 17);
      ResultsDataSetInfo[k - 1].NumInSet = c;
    }
  }
  static WorkCurveBuffer Buffer(int32_t n, float y, double parameter = 0) {
    WorkCurveBuffer b;
    b.Num = n;
    for (int32_t i = 0; i < n; ++i) {
      b.YValues[i] = y;
      b.XValues[i] = static_cast<float>(i);
    }
    b.Parameter = static_cast<float>(parameter);
    return b;
  }
};

TEST_F(ResultsStoreTest, AddingFillsToThirtyTwoNewColumnsAreTaperedHeadersAndWorkArrays) {
  std::vector<std::string> told;
  for (int i = 1; i <= 31; ++i) ASSERT_EQ(Add(static_cast<float>(i)), "True");
  ResultsStoreHooks.LoadMicCal = [&] { told.push_back("cal"); };
  ResultsStoreHooks.SetDisplayCurveNumber = [&](int32_t n) { told.push_back("curve " + std::to_string(n)); };
  ResultsStoreHooks.ShowMeasParms = [&](const std::string& a, const std::string& b, const std::string& c,
                                        const std::string& d, const std::string& e) {
    told.push_back("parms " + a + " " + b + " " + c + " " + d + " " + e);
  };
  ResultsStoreHooks.MarkResultsUnsaved = [&] { told.push_back("unsaved"); };
  EXPECT_EQ(Add(32.0f), "True");
  for (int j = 0; j < 32; ++j) EXPECT_EQ(ResultsDataSetInfo[j].NumInSet, 32) << j;
  EXPECT_EQ(told, (std::vector<std::string>{"cal", "curve 32", "parms 20 30 1.5 -6 -3", "unsaved"}));
  // The calibration read last becomes the one in force even when the add is refused.
  told.clear();
  const auto before = ImpulseSet[31];
  dialogs.ExpectMessage(MsgAnswer::OK);
  EXPECT_EQ(Add(99.0f), "False");
  EXPECT_EQ(dialogs.MessageTexts().back(),
            "User Error: 32 measurements can be loaded at one time. Delete one result or start a new measurement "
            "session to continue.");
  EXPECT_EQ(dialogs.calls().back().buttons, MsgButtons::OK);
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 32);
  EXPECT_EQ(ImpulseSet[31], before);
  EXPECT_EQ(told, std::vector<std::string>{"cal"});

  // The new column: the full 2^17 above exponent 17, zero beyond its samples, and
  // tapered over 12.5 ms at each end.
  ResetSharedState();
  ASSERT_EQ(Add(1.0f, 18), "True");
  EXPECT_EQ(ImpulseSet[0][kMaxSamples / 2], 1.0f);
  EXPECT_EQ(ImpulseSet[0][kMaxSamples - 601], 1.0f);  // the end taper covers the last 600 only
  EXPECT_LT(ImpulseSet[0][kMaxSamples - 600], 1.0f);
  EXPECT_EQ(ImpulseTaperLength(44100), 551);
  EXPECT_EQ(ImpulseTaperLength(48000), 600);
  for (int32_t rate : {44100, 48000}) {
    SCOPED_TRACE(rate);
    ResetSharedState();
    ImpulseSet[0].fill(7.0f);
    ASSERT_EQ(Add(1.0f, 12, rate), "True");
    const int32_t L = ImpulseTaperLength(rate), n = 4096;
    const auto& col = ImpulseSet[0];
    EXPECT_EQ(col[0], 0.0f);
    EXPECT_LT(col[L - 1], 1.0f);
    EXPECT_EQ(col[L], 1.0f);
    EXPECT_EQ(col[n - 1 - L], 1.0f);
    EXPECT_LT(col[n - L], 1.0f);
    EXPECT_EQ(col[n], 0.0f);
    EXPECT_EQ(col[kMaxSamples - 1], 0.0f);
  }

  MeasurementHeader src = Header(44100, 16), dst;
  src.NumInSet = 9;
  src.ReservedWord3 = 5;
  dst.NumInSet = 4;
  CopyMeasurementHeader(src, dst);
  EXPECT_EQ((std::array{dst.NumInSet, dst.SampleRate, dst.ReservedWord3}), (std::array{4, 44100, 5}));

  MeasurementHeader h = src;
  h.ImpulseGateTime = 20;
  h.AutoRange = -1;
  h.MicSpeakerDistance = 2.5f;
  h.ReservedWord1 = 7;
  h.FreqRespGateTime = 10;
  h.CrossoverFrequency = 2.5f;
  ClearMeasurementHeader(h);
  // Kept: the set count and the lasting settings; cleared: the measurement's own values.
  EXPECT_EQ((std::array<int32_t, 4>{h.NumInSet, h.MeasConfig, h.AutoRange, h.ReservedWord1}), (std::array{9, 43, -1, 7}));
  EXPECT_EQ((std::array{h.ImpulseGateTime, h.MicSpeakerDistance}), (std::array{20.0f, 2.5f}));
  EXPECT_EQ((std::array{h.SampleRate, h.PeriodExponent, h.ReservedWord3}), (std::array{0, 0, 0}));
  EXPECT_EQ((std::array{h.FreqRespGateTime, h.CrossoverFrequency}), (std::array{0.0f, 0.0f}));

  AllocateWorkArrays(kWorkArrayPoints);
  EXPECT_EQ((std::array{WorkCurve5.size(), PcmSamples.size(), WorkDoublePoints.size(), WorkCurveAux.size()}),
            (std::array<size_t, 4>{262145, 262145, 2001, 32768}));
  WorkCurve[262144] = 1.0f;
  AllocateWorkArrays(kWorkArrayPoints);
  EXPECT_EQ(WorkCurve[262144], 0.0f);  // contents discarded
  FreeWorkArrays();
  EXPECT_EQ((std::array{WorkCurve.size(), WorkDoublePoints2.size(), WorkCurveAux.size()}), (std::array<size_t, 3>{2, 2, 2}));
}

// Which results remain, by the value each holds, and the count each header carries.
TEST_F(ResultsStoreTest, FilterListsResultRemovalAndCurveRecords) {
  FilterRecord& listed = ModesListContents[3];
  listed.Curve = 2;
  listed.Freq1 = 100.0f;
  listed.Unused22 = 5;
  listed.Unused23 = 6;
  listed.EQEmulationCode = 4;
  const FilterRecord m = GetModesListEntry(3);  // without the unused words
  EXPECT_EQ(std::tuple(m.Curve, m.Freq1, m.Unused22, m.Unused23, m.EQEmulationCode), std::tuple(2, 100.0f, 0, 0, 4));
  EXPECT_EQ(GetModesListEntry(2001).Curve, 0);
  // A copy keeps the target's count, unused word and emulation code.
  FilterRecord dst;
  dst.Count = 9;
  dst.EQEmulationCode = 1;
  dst.Unused22 = 1;
  listed.Count = 8;
  listed.FitError = 1.5f;
  CopyFilterRecord(listed, dst);
  EXPECT_EQ(std::tuple(dst.Count, dst.Unused22, dst.EQEmulationCode, dst.Curve, dst.FitError),
            std::tuple(9, 1, 1, 2, 1.5f));

  AppliedFilters[0].Count = 2;
  AppliedFilters[1].Freq1 = 3.0f;
  AppliedFilters[5].Freq1 = 4.0f;  // not held: left alone
  ClearAppliedFilters();
  EXPECT_EQ(std::tuple(AppliedFilters[0].Count, AppliedFilters[1].Freq1, AppliedFilters[5].Freq1),
            std::tuple(0, 0.0f, 4.0f));
  SingularityList[32].Count = 3;
  SingularityList[32].Q2[74] = 1.0f;
  SingularityList[0].Gatetime = 10.0f;
  ModesListContents[0].Count = 1;
  ModesListContents[2000].Freq1 = 1.0f;
  ClearAllFilterSets();
  EXPECT_EQ(std::tuple(SingularityList[32].Count, SingularityList[32].Q2[74], SingularityList[0].Gatetime),
            std::tuple(0, 0.0f, 0.0f));
  EXPECT_EQ(std::pair(ModesListContents[0].Count, ModesListContents[2000].Freq1), std::pair(0, 0.0f));

  struct Case {
    int32_t held, removed;
    std::vector<float> left;
  };
  const Case cases[] = {{3, 1, {2, 3}}, {3, 2, {1, 3}}, {32, 32, {}}, {3, 0, {1, 2, 3}}, {3, -1, {1, 2, 3}},
                        {3, 4, {1, 2, 3}}, {3, 33, {1, 2, 3}}, {0, 1, {}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.held) + " less " + std::to_string(c.removed));
    ResetSharedState();
    Fill(c.held);
    RemoveResultFromStore(c.removed);
    const size_t left = c.held == 32 ? 31 : c.left.size();
    for (size_t j = 0; j < left; ++j) {
      const float k = c.held == 32 ? static_cast<float>(j + 1) : c.left[j];
      EXPECT_EQ(ImpulseSet[j][0], k);
      EXPECT_EQ(ImpulseSet[j][kMaxSamples - 1], k);
      EXPECT_EQ(ResultsDataSetInfo[j].SampleRate, static_cast<int32_t>(1000 * k));
      EXPECT_EQ(ResultsDataSetInfo[j].NumInSet, static_cast<int32_t>(left));
    }
    EXPECT_EQ(ImpulseSet[left][0], 0.0f);
    EXPECT_EQ(ImpulseSet[left][kMaxSamples - 1], 0.0f);
    EXPECT_EQ(ResultsDataSetInfo[left].NumInSet, 0);
    EXPECT_EQ(ResultsDataSetInfo[left].SampleRate, 0);
    if (static_cast<int32_t>(left) < c.held) {
      EXPECT_EQ(ResultsDataSetInfo[left].MeasConfig, 43);  // a lasting setting survives the clear
    }
  }

  // Curve records are stored, removed, copied and cleared.
  CurveArray& c = BodeCurves;
  ASSERT_TRUE(StoreCurveRecord(c, Buffer(10, 1), "a", 0));
  ASSERT_TRUE(StoreCurveRecord(c, Buffer(10, 2), "b", 1));
  ASSERT_TRUE(StoreCurveRecord(c, Buffer(2001, 5, 0.5), "five", 5));
  for (int j = 0; j <= 5; ++j) EXPECT_EQ(std::pair(c[j].NumCurves, c[j].CurveIndex), std::pair(6, j)) << j;
  EXPECT_EQ(std::tuple(c[5].NumPoints, c[5].YValues[2000], c[5].Label, c[5].Parameter),
            std::tuple(2001, 5.0f, std::string("five"), 0.5));
  ASSERT_TRUE(StoreCurveRecord(c, Buffer(3, 9), "again", 0));
  EXPECT_EQ(c[0].NumCurves, 6);
  WorkCurveBuffer tooMany = Buffer(3, 9);
  tooMany.Num = 2002;
  EXPECT_FALSE(StoreCurveRecord(c, Buffer(3, 9), "x", 32));
  EXPECT_FALSE(StoreCurveRecord(c, Buffer(3, 9), "x", -1));
  EXPECT_FALSE(StoreCurveRecord(c, tooMany, "x", 1));
  EXPECT_EQ(std::pair(c[1].NumPoints, c[0].NumCurves), std::pair(10, 6));

  // Removing moves whole records and relabels; copying and clearing keep the names.
  CurveArray& r = ImpulseCurves;
  RemoveCurveRecord(1, r);  // empty cache
  EXPECT_EQ(std::pair(r[0].NumCurves, r[0].Name), std::pair(0, std::string()));
  for (int k = 0; k < 4; ++k) {
    ASSERT_TRUE(StoreCurveRecord(r, Buffer(k == 3 ? 2001 : 100 * (k + 1), static_cast<float>(k + 1), k), "L", k));
    r[k].Name = "n" + std::to_string(k + 1);
  }
  RemoveCurveRecord(5, r);  // beyond the count
  dialogs.ExpectMessage(MsgAnswer::OK);
  RemoveCurveRecord(2001, r);
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 3421");
  RemoveCurveRecord(2, r);
  EXPECT_EQ(r[0].NumCurves, 3);
  // Curves keep their own point counts; the freed last record is cleared.
  using Row = std::tuple<std::string, int32_t, float, std::string, double>;
  auto row = [&](int j, int last) { return Row(r[j].Label, r[j].NumPoints, r[j].YValues[last], r[j].Name, r[j].Parameter); };
  EXPECT_EQ(row(0, 99), Row("L", 100, 1.0f, "n1", 0.0));
  EXPECT_EQ(row(1, 299), Row("2 ", 300, 3.0f, "n3", 2.0));
  EXPECT_EQ(row(2, 2000), Row("3 ", 2001, 4.0f, "n4", 3.0));
  EXPECT_EQ(row(3, 2000), Row(" ", 0, 0.0f, "0", 0.0));
  for (int left : {2, 1, 0}) {
    RemoveCurveRecord(1, r);
    EXPECT_EQ(r[0].NumCurves, left);
  }
  EXPECT_EQ(r[0].NumPoints, 0);

  CurveArray& src = PsycCurves;
  CurveArray& copy = FractOctCurves;
  ASSERT_TRUE(StoreCurveRecord(src, Buffer(2001, 4, 1.5), "label", 0));
  ASSERT_TRUE(StoreCurveRecord(src, Buffer(7, 5), "label", 1));
  src[1].Name = "second";
  ASSERT_TRUE(CopyCurveRecords(src, copy));
  EXPECT_EQ(std::tuple(copy[0].NumCurves, copy[0].YValues[2000], copy[0].Parameter), std::tuple(2, 4.0f, 1.5));
  EXPECT_EQ(std::tuple(copy[1].Name, copy[1].NumPoints, copy[1].CurveIndex, copy[1].Label),
            std::tuple(std::string("second"), 7, 1, std::string()));
  CurveArray& bad = ModalCurves;
  bad[0].NumCurves = 33;
  EXPECT_FALSE(CopyCurveRecords(bad, copy));
  bad[0].NumCurves = 1;
  bad[0].NumPoints = 2002;
  EXPECT_FALSE(CopyCurveRecords(bad, copy));
  EXPECT_EQ(copy[0].NumPoints, 2001);
  // Clearing keeps the parameter and the names.
  ClearCurveRecords(src);
  EXPECT_EQ(std::tuple(src[0].NumCurves, src[0].NumPoints, src[0].YValues[2000], src[0].Label, src[0].Parameter),
            std::tuple(0, 0, 0.0f, std::string(), 1.5));
  EXPECT_EQ(src[1].Name, "second");
}

}  // namespace
}  // namespace zentor
