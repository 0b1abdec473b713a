// Removing results: one with everything derived from it, the whole set with and
// without progress, the two Delete Curve buttons and a stored noise spectrum.
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <string>
#include <vector>

#include "core/records.h"
#include "display/time_views.h"
#include "display/view_state.h"
#include "main_window_fixture.h"
#include "support/builder_recorder.h"
#include "support/curve_sets.h"
#include "support/recording_links.h"

namespace zentor {
namespace {

using Builders = std::vector<test::BuilderCall>;

std::array<CurveArray*, 8> Caches() {
  return {&NoiseCurves, &ImpulseCurves, &BodeCurves, &ModalCurves,
          &PsycCurves,  &FractOctCurves, &FitStoredCurves, &FitInputCurves};
}

class RemovalTest : public test::MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    rb.Install();
    w = Start();
    links.Install();
    rb.calls.clear();
  }

  // n results each marked k (1-based) in its samples, header, cache curves and filter set.
  void FillSet(int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
      const auto k = static_cast<size_t>(i);
      MeasurementHeader& h = ResultsDataSetInfo[k];
      h = EQConfig;
      h.NumInSet = n;
      h.SampleRate = 48000;
      h.PeriodExponent = 17;
      h.ImpulseShift = 100 * (i + 1);
      ImpulseSet[k].fill(0.0f);
      ImpulseSet[k][0] = ImpulseSet[k][kMaxSamples - 1] = static_cast<float>(i + 1);
      for (CurveArray* cache : Caches()) test::FlatCurve(*cache, i, 5, static_cast<float>(i + 1));
      SingularityList[k].Count = 2;
      SingularityList[k].Curve = i;
      SingularityList[k].Freq[0] = static_cast<float>(i + 1);
    }
    rb.calls.clear();
  }
  // The marks of the results held, in order.
  static std::vector<int32_t> Marks() {
    std::vector<int32_t> m;
    for (int32_t i = 0; i < std::clamp(ResultsDataSetInfo[0].NumInSet, 0, kMaxResults); ++i)
      m.push_back(static_cast<int32_t>(ImpulseSet[static_cast<size_t>(i)][0]));
    return m;
  }
  void ClickRemoveCurve(const char* text) {
    w->CurveNoText->setText(text);
    w->RemoveCurve->click();
  }

  DataPlotter* w = nullptr;
  test::BuilderRecorder rb;
  test::RecordingLinks links;
};

TEST_F(RemovalTest, RemoveCurveTakesTheTypedResultClampedAndTruncated) {
  const std::vector<std::pair<const char*, std::vector<int32_t>>> cases = {
      {"7", {1, 2}}, {"0", {2, 3}}, {"2.7", {1, 3}}, {"-4", {2, 3}}};
  for (const auto& [text, left] : cases) {
    SCOPED_TRACE(text);
    FillSet(3);
    ClickRemoveCurve(text);
    EXPECT_EQ(Marks(), left);
    EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 2);
    EXPECT_EQ(rb.Take(), (Builders{{"ShowMainImpulseSet", kRedrawFiledCurves}}));
  }
  EXPECT_EQ(w->CurveNoText->text(), "1");
  FillSet(3);
  ClickRemoveCurve("7");
  EXPECT_EQ(w->CurveNoText->text(), "3");

  ResultsDataSetInfo[0].NumInSet = 0;  // nothing to remove: only the redraw
  rb.calls.clear();
  ClickRemoveCurve("1");
  EXPECT_EQ(rb.Take().size(), 1u);
}

TEST_F(RemovalTest, RemovingTheFirstOfTwoMovesEverythingOfTheSecondDown) {
  FillSet(2);
  w->ModesList->addItem("mode");
  w->RemoveResult(1);

  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
  EXPECT_EQ(ResultsDataSetInfo[0].ImpulseShift, 200);
  EXPECT_EQ(ImpulseSet[0][kMaxSamples - 1], 2.0f);
  EXPECT_EQ(ImpulseSet[1][0], 0.0f);
  for (CurveArray* cache : Caches()) {
    EXPECT_EQ((*cache)[0].NumCurves, 1);
    EXPECT_EQ((*cache)[0].YValues[4], 2.0f);
    EXPECT_EQ((*cache)[0].Label, "1 ");
    EXPECT_EQ((*cache)[1].NumPoints, 0);
  }
  EXPECT_EQ(SingularityList[0].Freq[0], 2.0f);
  EXPECT_EQ(SingularityList[1].Count, 0);  // what record 2 held: nothing
  EXPECT_EQ(SingularityList[31].Count, 0);
  for (int32_t r = 0; r < kMaxResults; ++r) EXPECT_EQ(SingularityList[static_cast<size_t>(r)].Curve, r);
  EXPECT_EQ(w->ModesList->count(), 0);
}

TEST_F(RemovalTest, AFullSetEmptiesFromEitherEndAndBadNumbersChangeNothing) {
  FillSet(kMaxResults);
  for (SingularityListRecord& s : SingularityList) s.Curve = 77;
  for (int32_t k : {0, -1, kMaxResults + 1, 1000}) w->RemoveResult(k);
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, kMaxResults);
  EXPECT_EQ(SingularityList[5].Curve, 77);

  w->RemoveResult(kMaxResults);
  EXPECT_EQ(Marks().back(), kMaxResults - 1);
  EXPECT_EQ(SingularityList[30].Freq[0], 31.0f);
  EXPECT_EQ(SingularityList[31].Count, 0);
  w->RemoveResult(1);
  EXPECT_EQ(Marks().front(), 2);
  EXPECT_EQ(SingularityList[0].Freq[0], 2.0f);
  while (ResultsDataSetInfo[0].NumInSet > 0) w->RemoveResult(1);
  for (CurveArray* cache : Caches()) EXPECT_EQ((*cache)[0].NumCurves, 0);
  EXPECT_EQ(ImpulseSet[0][0], 0.0f);
}

TEST_F(RemovalTest, RemovingASpectrumMovesTheLaterOnesWholeWithTheirOwnSizes) {
  const int32_t exponents[] = {15, 13, 14};
  const int32_t rates[] = {48000, 44100, 96000};
  for (int32_t c = 0; c < 3; ++c) {
    const auto i = static_cast<size_t>(c);
    PsdParameters[i].Exponent = exponents[c];
    PsdParameters[i].SampleRate = rates[c];
    PsdSet[i].fill(0.0f);
    std::fill_n(PsdSet[i].begin(), 1 << exponents[c], static_cast<float>(c + 1));
    test::FlatCurve(PsdCurves, c, 5, static_cast<float>(c + 1));
  }
  PsdParameters[0].Count = 3;
  ResultsDataSetInfo[0].NumInSet = 0;
  DisplayConfig.Graphshown = kPsdView;

  ClickRemoveCurve("1");
  EXPECT_EQ(PsdParameters[0].Count, 2);
  EXPECT_EQ(PsdCurves[0].NumCurves, 2);
  EXPECT_EQ(PsdCurves[1].YValues[0], 3.0f);
  EXPECT_EQ(PsdParameters[0].Exponent, 13);
  EXPECT_EQ(PsdParameters[0].SampleRate, 44100);
  EXPECT_EQ(PsdParameters[1].Exponent, 14);
  EXPECT_EQ(PsdParameters[1].SampleRate, 96000);
  EXPECT_EQ(std::count(PsdSet[0].begin(), PsdSet[0].end(), 2.0f), 1 << 13);
  EXPECT_EQ(std::count(PsdSet[1].begin(), PsdSet[1].end(), 3.0f), 1 << 14);
  EXPECT_EQ(std::count(PsdSet[2].begin(), PsdSet[2].end(), 0.0f), kPsdSpectrumRows);
  EXPECT_EQ(PsdParameters[2].Exponent, 0);
  EXPECT_EQ(rb.Take(), (Builders{{"ShowPSDEnergy", kRedrawFiledCurves}}));

  ClickRemoveCurve("9");  // clamped to the last
  EXPECT_EQ(PsdParameters[0].Count, 1);
  EXPECT_EQ(PsdParameters[0].Exponent, 13);
  EXPECT_EQ(w->CurveNoText->text(), "2");
}

TEST_F(RemovalTest, ClearingTheSetRunsTheProgressBarAndRedrawsOnce) {
  FillSet(5);
  std::vector<int> values;
  QObject::connect(w->ProgressBar1, &QProgressBar::valueChanged, [&values](int v) { values.push_back(v); });
  dialogs.ExpectMessage(MsgAnswer::Yes);
  w->DeleteMeasBuffers->trigger();
  EXPECT_EQ(values, (std::vector<int>{1, 2, 3, 4, 5, 0}));
  EXPECT_EQ(w->ProgressBar1->maximum(), 5);
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 0);
  EXPECT_TRUE(Marks().empty());
  EXPECT_EQ(ImpulseSet[4][0], 0.0f);
  EXPECT_EQ(BodeCurves[0].NumCurves, 0);
  EXPECT_EQ(rb.Take(), (Builders{{"ShowMainImpulseSet", kRecomputeAllCurves}}));

  w->ClearMeasurementBuffers();  // nothing loaded: nothing happens
  EXPECT_TRUE(rb.calls.empty());
}

TEST_F(RemovalTest, QuickClearEmptiesCountsAndCachesButNotTheSamples) {
  FillSet(3);
  w->RemoveResultQuickly(-1);
  w->RemoveResultQuickly(kMaxResults);
  EXPECT_EQ(BodeCurves[2].NumPoints, 5);

  w->ClearMeasurementBuffersQuickly();
  for (int32_t i = 0; i < 3; ++i) {
    const auto k = static_cast<size_t>(i);
    EXPECT_EQ(ResultsDataSetInfo[k].NumInSet, 0);
    EXPECT_EQ(ImpulseSet[k][0], static_cast<float>(i + 1));
    EXPECT_EQ(SingularityList[k].Count, 0);
    EXPECT_EQ(ImpulseCurves[k].CurveIndex, 0);
    for (CurveArray* cache : Caches()) {
      EXPECT_EQ((*cache)[k].NumPoints, 0);
      EXPECT_EQ((*cache)[k].NumCurves, 0);
    }
  }
  EXPECT_EQ(rb.Take(), (Builders{{"ShowMainImpulseSet", kRecomputeAllCurves}}));
}

TEST_F(RemovalTest, DelCurveRemovesTheModesCurveOrStopsQuietly) {
  MainWindowHooks.FitFiltersBut_Click = [] {};  // curves reach the fit only through it
  w->RefreshLinkedControls();
  FillSet(3);
  w->ResultsTakenButNotSaved = kTrue;  // unsaved, but at most 3 results: no message
  FitInputCurves[0].NumPoints = 10;
  w->DelCurve->click();
  EXPECT_EQ(Marks(), (std::vector<int32_t>{1, 2, 3}));
  w->ResultsTakenButNotSaved = kFalse;

  w->SetBusy(kTrue);
  w->DelCurve->click();
  w->SetBusy(kFalse);
  SingularityList[0].Average = kTrue;  // a fit of the average: back to curve 1
  w->CurveNumberText->setText("3");
  w->DelCurve->click();
  EXPECT_EQ(w->CurveNumberText->text(), "1");
  EXPECT_EQ(Marks(), (std::vector<int32_t>{1, 2, 3}));
  SingularityList[0].Average = kFalse;
  EXPECT_TRUE(links.Take().empty());

  w->CurveNumberText->setText("2");
  QTest::keyClick(w->CurveNumberText, Qt::Key_Return);
  links.calls.clear();
  FitInputCurves[1].NumPoints = 10;
  w->DelCurve->click();
  EXPECT_EQ(Marks(), (std::vector<int32_t>{1, 3}));
  EXPECT_EQ(w->GetModesCurveNumber(), 0);
  EXPECT_EQ(w->CurveNumberText->text(), "1");
  EXPECT_EQ(FitInputCurves[0].NumCurves, 2);
  EXPECT_EQ(links.Take(), std::vector<std::string>{"ShowCorrectedResponse 0"});

  FitInputCurves[0].NumPoints = 10;  // curve 1: the index falls below 0 and is raised again
  w->DelCurve->click();
  EXPECT_EQ(Marks(), (std::vector<int32_t>{3}));
  EXPECT_EQ(w->GetModesCurveNumber(), 0);
  EXPECT_EQ(links.Take(), std::vector<std::string>{"ShowCorrectedResponse 0"});

  FitInputCurves[0].NumPoints = 0;  // no fit input for the curve: nothing
  w->DelCurve->click();
  EXPECT_EQ(Marks(), (std::vector<int32_t>{3}));
}

TEST_F(RemovalTest, StartupFileFirstRemovesTheHeldResultsWithTheirCaches) {
  Forms::DeleteAll();
  FillSet(2);
  DataPlotter* fresh = Forms::Get<DataPlotter>();
  fresh->CommandLine = TempPath("notes.txt");  // neither a set nor a filter file
  fresh->Form_Load();
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 0);
  for (CurveArray* cache : Caches()) EXPECT_EQ((*cache)[0].NumCurves, 0);
  EXPECT_EQ(ImpulseSet[1][0], 0.0f);
}

}  // namespace
}  // namespace zentor
