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

TEST_F(ResultsStoreTest, AddingFillsTheStoreToThirtyTwoThenRefuses) {
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
}

TEST_F(ResultsStoreTest, PeriodExponentAbove17StoresTheFullColumn) {
  ASSERT_EQ(Add(1.0f, 18), "True");
  const auto& col = ImpulseSet[0];
  EXPECT_EQ(col[kMaxSamples / 2], 1.0f);
  EXPECT_EQ(col[kMaxSamples - 601], 1.0f);  // the end taper covers the last 600 only
  EXPECT_LT(col[kMaxSamples - 600], 1.0f);
}

TEST_F(ResultsStoreTest, TaperCoversTwelveAndAHalfMillisecondsAtEachEnd) {
  EXPECT_EQ(ImpulseTaperLength(44100), 551);
  EXPECT_EQ(ImpulseTaperLength(48000), 600);
  for (int32_t rate : {44100, 48000}) {
    ResetSharedState();
    ASSERT_EQ(Add(1.0f, 12, rate), "True");
    const int32_t L = ImpulseTaperLength(rate), n = 4096;
    const auto& col = ImpulseSet[0];
    EXPECT_EQ(col[0], 0.0f);
    EXPECT_LT(col[L - 1], 1.0f) << rate;
    EXPECT_EQ(col[L], 1.0f) << rate;
    EXPECT_EQ(col[n - 1 - L], 1.0f) << rate;
    EXPECT_LT(col[n - L], 1.0f) << rate;
  }
}

TEST_F(ResultsStoreTest, NewColumnIsZeroBeyondItsSamples) {
  ImpulseSet[0].fill(7.0f);
  ASSERT_EQ(Add(1.0f, 12), "True");
  EXPECT_EQ(ImpulseSet[0][2048], 1.0f);
  EXPECT_EQ(ImpulseSet[0][4096], 0.0f);
  EXPECT_EQ(ImpulseSet[0][kMaxSamples - 1], 0.0f);
}

TEST_F(ResultsStoreTest, RemovingTheLastOfThirtyTwo) {
  Fill(32);
  RemoveResultFromStore(32);
  EXPECT_EQ(ImpulseSet[31][0], 0.0f);
  EXPECT_EQ(ImpulseSet[31][kMaxSamples - 1], 0.0f);
  EXPECT_EQ(ResultsDataSetInfo[31].NumInSet, 0);
  EXPECT_EQ(ResultsDataSetInfo[31].SampleRate, 0);
  EXPECT_EQ(ResultsDataSetInfo[31].MeasConfig, 43);  // a lasting setting survives the clear
  for (int j = 0; j < 31; ++j) EXPECT_EQ(ResultsDataSetInfo[j].NumInSet, 31);
  EXPECT_EQ(ImpulseSet[30][5], 31.0f);
}

TEST_F(ResultsStoreTest, RemovingTheFirstOfThreeClosesTheGap) {
  Fill(3);
  RemoveResultFromStore(1);
  EXPECT_EQ(ImpulseSet[0][0], 2.0f);
  EXPECT_EQ(ImpulseSet[1][kMaxSamples - 1], 3.0f);
  EXPECT_EQ(ImpulseSet[2][0], 0.0f);
  EXPECT_EQ(ResultsDataSetInfo[0].SampleRate, 2000);
  EXPECT_EQ(ResultsDataSetInfo[1].SampleRate, 3000);
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 2);
  EXPECT_EQ(ResultsDataSetInfo[1].NumInSet, 2);
  EXPECT_EQ(ResultsDataSetInfo[2].NumInSet, 0);
  EXPECT_EQ(ResultsDataSetInfo[2].SampleRate, 0);
}

TEST_F(ResultsStoreTest, RemovingOutsideTheHeldResultsChangesNothing) {
  RemoveResultFromStore(1);  // empty store
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 0);
  Fill(3);
  for (int32_t k : {0, -1, 4, 32, 33}) RemoveResultFromStore(k);
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 3);
  EXPECT_EQ(ImpulseSet[2][0], 3.0f);
  EXPECT_EQ(ResultsDataSetInfo[2].SampleRate, 3000);
}

TEST_F(ResultsStoreTest, HeaderCopyAndClear) {
  MeasurementHeader src = Header(44100, 16), dst;
  src.NumInSet = 9;
  src.ReservedWord3 = 5;
  dst.NumInSet = 4;
  CopyMeasurementHeader(src, dst);
  EXPECT_EQ(dst.NumInSet, 4);
  EXPECT_EQ(dst.SampleRate, 44100);
  EXPECT_EQ(dst.ReservedWord3, 5);

  MeasurementHeader h = src;
  h.ImpulseGateTime = 20;
  h.AutoRange = -1;
  h.MicSpeakerDistance = 2.5f;
  h.ReservedWord1 = 7;
  h.FreqRespGateTime = 10;
  h.CrossoverFrequency = 2.5f;
  ClearMeasurementHeader(h);
  EXPECT_EQ(h.NumInSet, 9);
  EXPECT_EQ(h.MeasConfig, 43);
  EXPECT_EQ(h.ImpulseGateTime, 20.0f);
  EXPECT_EQ(h.AutoRange, -1);
  EXPECT_EQ(h.MicSpeakerDistance, 2.5f);
  EXPECT_EQ(h.ReservedWord1, 7);
  EXPECT_EQ(h.SampleRate, 0);
  EXPECT_EQ(h.PeriodExponent, 0);
  EXPECT_EQ(h.FreqRespGateTime, 0.0f);
  EXPECT_EQ(h.CrossoverFrequency, 0.0f);
  EXPECT_EQ(h.ReservedWord3, 0);
}

TEST_F(ResultsStoreTest, StoringCurvesRaisesTheCountInEveryHeldRecord) {
  CurveArray& c = BodeCurves;
  ASSERT_TRUE(StoreCurveRecord(c, Buffer(10, 1), "a", 0));
  ASSERT_TRUE(StoreCurveRecord(c, Buffer(10, 2), "b", 1));
  ASSERT_TRUE(StoreCurveRecord(c, Buffer(2001, 5, 0.5), "five", 5));
  for (int j = 0; j <= 5; ++j) {
    EXPECT_EQ(c[j].NumCurves, 6) << j;
    EXPECT_EQ(c[j].CurveIndex, j);
  }
  EXPECT_EQ(c[5].NumPoints, 2001);
  EXPECT_EQ(c[5].YValues[2000], 5.0f);
  EXPECT_EQ(c[5].Label, "five");
  EXPECT_EQ(c[5].Parameter, 0.5);
  ASSERT_TRUE(StoreCurveRecord(c, Buffer(3, 9), "again", 0));
  EXPECT_EQ(c[0].NumCurves, 6);

  EXPECT_FALSE(StoreCurveRecord(c, Buffer(3, 9), "x", 32));
  EXPECT_FALSE(StoreCurveRecord(c, Buffer(3, 9), "x", -1));
  WorkCurveBuffer tooMany = Buffer(3, 9);
  tooMany.Num = 2002;
  EXPECT_FALSE(StoreCurveRecord(c, tooMany, "x", 1));
  EXPECT_EQ(c[1].NumPoints, 10);
  EXPECT_EQ(c[0].NumCurves, 6);
}

TEST_F(ResultsStoreTest, RemovingACurveMovesWholeRecordsAndRelabels) {
  CurveArray& c = ImpulseCurves;
  for (int k = 0; k < 4; ++k) {
    ASSERT_TRUE(StoreCurveRecord(c, Buffer(100 * (k + 1), static_cast<float>(k + 1), k), "L", k));
    c[k].Name = "n" + std::to_string(k + 1);
  }
  RemoveCurveRecord(2, c);
  EXPECT_EQ(c[0].NumCurves, 3);
  EXPECT_EQ(c[0].Label, "L");
  EXPECT_EQ(c[1].Label, "2 ");
  EXPECT_EQ(c[2].Label, "3 ");
  // Curves keep their own point counts.
  EXPECT_EQ(c[1].NumPoints, 300);
  EXPECT_EQ(c[1].YValues[299], 3.0f);
  EXPECT_EQ(c[2].NumPoints, 400);
  EXPECT_EQ(c[2].YValues[399], 4.0f);
  EXPECT_EQ(c[2].Name, "n4");
  EXPECT_EQ(c[2].Parameter, 3.0);
  EXPECT_EQ(c[3].NumPoints, 0);
  EXPECT_EQ(c[3].YValues[399], 0.0f);
  EXPECT_EQ(c[3].Label, " ");
  EXPECT_EQ(c[3].Name, "0");
  EXPECT_EQ(c[3].Parameter, 0.0);
}

TEST_F(ResultsStoreTest, RemovingCurvesAtTheEdges) {
  CurveArray& c = NoiseCurves;
  RemoveCurveRecord(1, c);  // empty cache
  EXPECT_EQ(c[0].NumCurves, 0);
  EXPECT_EQ(c[0].Name, "");

  ASSERT_TRUE(StoreCurveRecord(c, Buffer(2001, 1), "a", 0));
  ASSERT_TRUE(StoreCurveRecord(c, Buffer(2001, 2), "b", 1));
  RemoveCurveRecord(3, c);  // beyond the count
  EXPECT_EQ(c[0].NumCurves, 2);

  dialogs.ExpectMessage(MsgAnswer::OK);
  RemoveCurveRecord(2001, c);
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 3421");
  EXPECT_EQ(c[0].NumCurves, 2);

  RemoveCurveRecord(1, c);
  EXPECT_EQ(c[0].NumCurves, 1);
  EXPECT_EQ(c[0].YValues[2000], 2.0f);
  EXPECT_EQ(c[1].YValues[2000], 0.0f);
  RemoveCurveRecord(1, c);
  EXPECT_EQ(c[0].NumCurves, 0);
  EXPECT_EQ(c[0].NumPoints, 0);
}

TEST_F(ResultsStoreTest, CopyAndClearCurveRecords) {
  CurveArray& src = PsycCurves;
  ASSERT_TRUE(StoreCurveRecord(src, Buffer(2001, 4, 1.5), "label", 0));
  ASSERT_TRUE(StoreCurveRecord(src, Buffer(7, 5), "label", 1));
  src[1].Name = "second";
  ASSERT_TRUE(CopyCurveRecords(src, FractOctCurves));
  EXPECT_EQ(FractOctCurves[0].NumCurves, 2);
  EXPECT_EQ(FractOctCurves[0].YValues[2000], 4.0f);
  EXPECT_EQ(FractOctCurves[0].Parameter, 1.5);
  EXPECT_EQ(FractOctCurves[1].Name, "second");
  EXPECT_EQ(FractOctCurves[1].NumPoints, 7);
  EXPECT_EQ(FractOctCurves[1].CurveIndex, 1);
  EXPECT_EQ(FractOctCurves[1].Label, "");

  CurveArray& bad = ModalCurves;
  bad[0].NumCurves = 33;
  EXPECT_FALSE(CopyCurveRecords(bad, FractOctCurves));
  bad[0].NumCurves = 1;
  bad[0].NumPoints = 2002;
  EXPECT_FALSE(CopyCurveRecords(bad, FractOctCurves));
  EXPECT_EQ(FractOctCurves[0].NumPoints, 2001);

  ClearCurveRecords(src);
  EXPECT_EQ(src[0].NumCurves, 0);
  EXPECT_EQ(src[0].NumPoints, 0);
  EXPECT_EQ(src[0].YValues[2000], 0.0f);
  EXPECT_EQ(src[0].Label, "");
  EXPECT_EQ(src[0].Parameter, 1.5);
  EXPECT_EQ(src[1].Name, "second");
}

TEST_F(ResultsStoreTest, FilterListOperations) {
  ModesListContents[3].Curve = 2;
  ModesListContents[3].Freq1 = 100.0f;
  ModesListContents[3].Unused22 = 5;
  ModesListContents[3].Unused23 = 6;
  ModesListContents[3].EQEmulationCode = 4;
  FilterRecord m = GetModesListEntry(3);
  EXPECT_EQ(m.Curve, 2);
  EXPECT_EQ(m.Freq1, 100.0f);
  EXPECT_EQ(m.Unused22, 0);
  EXPECT_EQ(m.Unused23, 0);
  EXPECT_EQ(m.EQEmulationCode, 4);
  EXPECT_EQ(GetModesListEntry(2001).Curve, 0);

  FilterRecord dst;
  dst.Count = 9;
  dst.EQEmulationCode = 1;
  dst.Unused22 = 1;
  ModesListContents[3].Count = 8;
  ModesListContents[3].FitError = 1.5f;
  CopyFilterRecord(ModesListContents[3], dst);
  EXPECT_EQ(dst.Count, 9);
  EXPECT_EQ(dst.Unused22, 1);
  EXPECT_EQ(dst.EQEmulationCode, 1);
  EXPECT_EQ(dst.Curve, 2);
  EXPECT_EQ(dst.FitError, 1.5f);

  AppliedFilters[0].Count = 2;
  AppliedFilters[1].Freq1 = 3.0f;
  AppliedFilters[5].Freq1 = 4.0f;  // not held: left alone
  ClearAppliedFilters();
  EXPECT_EQ(AppliedFilters[0].Count, 0);
  EXPECT_EQ(AppliedFilters[1].Freq1, 0.0f);
  EXPECT_EQ(AppliedFilters[5].Freq1, 4.0f);

  SingularityList[32].Count = 3;
  SingularityList[32].Q2[74] = 1.0f;
  SingularityList[0].Gatetime = 10.0f;
  ModesListContents[0].Count = 1;
  ModesListContents[2000].Freq1 = 1.0f;
  ClearAllFilterSets();
  EXPECT_EQ(SingularityList[32].Count, 0);
  EXPECT_EQ(SingularityList[32].Q2[74], 0.0f);
  EXPECT_EQ(SingularityList[0].Gatetime, 0.0f);
  EXPECT_EQ(ModesListContents[0].Count, 0);
  EXPECT_EQ(ModesListContents[2000].Freq1, 0.0f);
}

TEST_F(ResultsStoreTest, WorkArraysAreSizedAndReleased) {
  AllocateWorkArrays(kWorkArrayPoints);
  for (auto* v : {&WorkCurve, &WorkCurve2, &WorkCurve3, &WorkCurve4, &WorkCurve5})
    EXPECT_EQ(v->size(), 262145u);
  EXPECT_EQ(WorkDoubleCurve2.size(), 262145u);
  EXPECT_EQ(PcmSamples.size(), 262145u);
  EXPECT_EQ(WorkDoublePoints.size(), 2001u);
  EXPECT_EQ(WorkCurveAux.size(), 32768u);
  WorkCurve[262144] = 1.0f;
  AllocateWorkArrays(kWorkArrayPoints);
  EXPECT_EQ(WorkCurve[262144], 0.0f);  // contents discarded
  FreeWorkArrays();
  for (size_t n : {WorkCurve.size(), WorkCurve5.size(), WorkDoublePoints2.size(), WorkDoubleCurve.size(),
                   PcmSamples.size(), WorkCurveAux.size()})
    EXPECT_EQ(n, 2u);
}

}  // namespace
}  // namespace zentor
