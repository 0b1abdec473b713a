// The large-room window: opening and closing, its views, titles and curve pairs,
// the refusals, the stored RT60 result and the band-pass fields.
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <string>

#include "display/mouse_zoom.h"
#include "display/view_state.h"
#include "mainwindow/graphics_export.h"
#include "platform/help.h"
#include "platform/text_boxes.h"
#include "tools/large_room_fixture.h"

namespace zentor {
namespace {

using test::kDecayLength;
using test::kZeroMsIndex;

constexpr size_t kBand256 = 11, kBand1024 = 17, kBand4096 = 23;

class LargeRoomWindow : public test::LargeRoomTest {
 protected:
  float PeakMagnitude(const DataIntegrityForm& f) const {
    float peak = 0;
    for (int32_t i = 0; i < f.DecayCount; ++i) peak = std::max(peak, std::fabs(f.DecayY[static_cast<size_t>(i)]));
    return peak;
  }
  bool MarkedInvalid(const QLineEdit* e) const {
    return e->palette().color(QPalette::Base) == QColor(kInvalidFieldRed, 0, 0);
  }
};

TEST_F(LargeRoomWindow, OpensFromTheMainCommandWithItsControls) {
  Load(2, {{1000, 0.5}});
  EXPECT_TRUE(w->DataIntegrity->isEnabled());
  DataIntegrityForm* f = Open();
  EXPECT_TRUE(f->isVisible());
  EXPECT_EQ(f->windowTitle().toStdString(), "Large Room / " + ResultFileName);
  EXPECT_TRUE(w->LargeRoomGraphic->menuAction()->isVisible());
  EXPECT_TRUE(w->LargeRoomGraphic->menuAction()->isEnabled());

  EXPECT_EQ(f->Frame1->title(), "Data Options");
  EXPECT_EQ(f->Frame2->title(), "Filter Options");
  EXPECT_EQ(f->ImpulseBut->text(), "Imp");
  EXPECT_EQ(f->EnergyBut->text(), "ETC");
  EXPECT_EQ(f->SchroederBut->text(), "Sch");
  EXPECT_EQ(f->RTBut->text(), "RT");
  EXPECT_EQ(f->BPFilter->text(), "BP");
  EXPECT_FALSE(f->BPFilter->isChecked());
  EXPECT_EQ(f->LFText->text(), "15");
  EXPECT_EQ(f->Label1->text(), "Hz -");
  EXPECT_EQ(f->HFText->text(), "20000");
  EXPECT_EQ(f->Label2->text(), "Hz");
  EXPECT_EQ(f->Help->text(), "Help");
  EXPECT_EQ(f->CurveNoText->text(), "1");

  // The impulse view, its peak at 30, over the whole impulse.
  EXPECT_TRUE(f->ImpulseBut->isChecked());
  EXPECT_EQ(f->DecayTitle, "Impulse Response ");
  EXPECT_EQ(f->DecayCount, kDecayLength);
  EXPECT_NEAR(PeakMagnitude(*f), 30.0f, 1e-4);
  EXPECT_EQ(f->DecayX[kZeroMsIndex], 0.0f);
  EXPECT_EQ(f->DecayFrame.XStart, -50);
  EXPECT_EQ(f->DecayFrame.XFinish, 2731);
  EXPECT_EQ(f->FitStartMs, 50.0f);
  EXPECT_EQ(f->FitEndMs, 150.0f);

  f->Help->click();
  EXPECT_EQ(GetHelpLog().topics.back(), HelpTopic::DataIntegrityForm);
}

TEST_F(LargeRoomWindow, PictureLinkCreatesTheWindowWithoutLoadingIt) {
  Load(2, {{1000, 0.5}});
  PictureBox* p = GraphicsExportHooks.LargeRoomPicture();
  ASSERT_NE(p, nullptr);
  DataIntegrityForm* f = Forms::Get<DataIntegrityForm>();
  EXPECT_EQ(p, f->Picture1);
  EXPECT_FALSE(f->IsFormLoaded());
  EXPECT_FALSE(f->isVisible());
  EXPECT_FALSE(w->LargeRoomGraphic->menuAction()->isVisible());
  EXPECT_EQ(f->DecayCount, 0);
  // Before it is loaded there is nothing to compute or to zoom.
  EXPECT_EQ(f->ComputeDecayView(1), DataIntegrityForm::DecayRun::Refused);
  EXPECT_FALSE(f->ZoomDecayGraph(100, 100, 500, 500));
}

TEST_F(LargeRoomWindow, RefusesWhenNothingIsLoaded) {
  DataIntegrityForm* f = Forms::Get<DataIntegrityForm>();
  dialogs.ExpectMessage();
  bool ok = true;
  f->Initialize(1, ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(dialogs.MessageTexts().back(), "User Error: Measured data must be loaded to access this window.");
}

TEST_F(LargeRoomWindow, CloseBoxHidesAndKeepsTheStateUntilTheSetChanges) {
  Load(2, {{1000, 0.5}});
  DataIntegrityForm* f = Open();
  Click(f->SchroederBut);
  ASSERT_TRUE(f->ZoomDecayGraph(300, 300, 600, 700));
  const GraphFrame zoomed = f->DecayFrame;
  f->FitStartMs = 70;
  f->close();
  EXPECT_FALSE(f->isVisible());
  EXPECT_FALSE(w->LargeRoomGraphic->menuAction()->isEnabled());
  EXPECT_TRUE(Forms::IsLoaded<DataIntegrityForm>());

  EXPECT_EQ(Open(), f);
  EXPECT_TRUE(f->isVisible());
  EXPECT_TRUE(w->LargeRoomGraphic->menuAction()->isEnabled());
  EXPECT_TRUE(f->SchroederBut->isChecked());
  EXPECT_EQ(f->DecayFrame.XStart, zoomed.XStart);
  EXPECT_EQ(f->DecayFrame.YHigh, zoomed.YHigh);
  EXPECT_EQ(f->FitStartMs, 70.0f);

  // A new set unloads the window; the next opening starts afresh.
  EXPECT_TRUE(w->ClearExtDisplay());
  EXPECT_FALSE(Forms::IsLoaded<DataIntegrityForm>());
  EXPECT_FALSE(w->LargeRoomGraphic->menuAction()->isEnabled());
  DataIntegrityForm* fresh = Open();
  EXPECT_TRUE(fresh->ImpulseBut->isChecked());
  EXPECT_EQ(fresh->FitStartMs, 50.0f);
  EXPECT_EQ(fresh->FitEndMs, 150.0f);
  EXPECT_EQ(fresh->RT60CacheCount, 0);
}

TEST_F(LargeRoomWindow, SchroederPairsAndTitles) {
  Load(4, {{1000, 0.5}});
  ResultsDataSetInfo[0].NumInSet = 2;
  DataIntegrityForm* f = Open();
  Click(f->SchroederBut);
  EXPECT_EQ(f->DecayTitle, "Schroeder Int  1 X  2:  500 Hz -  5000 Hz");
  f->RightArrow->click();
  EXPECT_EQ(f->CurveNumber, 2);
  EXPECT_EQ(f->DecayTitle, "Schroeder Int  1 X  2:  500 Hz -  5000 Hz");

  ResultsDataSetInfo[0].NumInSet = 3;
  f->CurveNoText->setText("3");
  QTest::keyClick(f->CurveNoText, Qt::Key_Return);
  EXPECT_EQ(f->CurveNumber, 3);
  EXPECT_EQ(f->DecayTitle, "Schroeder Int  1 X  2:  500 Hz -  5000 Hz");

  ResultsDataSetInfo[0].NumInSet = 4;
  f->RightArrow->click();
  EXPECT_EQ(f->CurveNumber, 4);
  EXPECT_EQ(f->DecayTitle, "Schroeder Int  3 X  4:  500 Hz -  5000 Hz");

  // Without the band-pass the energy-time curve still names the default band.
  Click(f->EnergyBut);
  EXPECT_EQ(f->DecayTitle, "Filtered ETC:  500 Hz -  5000 Hz");
}

TEST_F(LargeRoomWindow, ThreeCurvesMakeOnePair) {
  Load(3, {{1024, 0.8}});
  DataIntegrityForm* f = Open();
  Click(f->RTBut);
  EXPECT_EQ(f->ProgressBar1->maximum(), 1);
  EXPECT_EQ(f->ProgressBar1->value(), 0);
  EXPECT_EQ(f->BandPairCounts[kBand1024], 1.0f);
  EXPECT_NEAR(f->DecayY[kBand1024], 800, 40);
  EXPECT_EQ(f->DecayCount, kDecayBands);
}

TEST_F(LargeRoomWindow, CurvesStepRoundTheSetAndKeepTheZoom) {
  Load(3, {{1000, 0.5}});
  DataIntegrityForm* f = Open();
  ASSERT_TRUE(f->ZoomDecayGraph(200, 300, 500, 800));
  const int32_t start = f->DecayFrame.XStart;
  f->LeftArrow->click();
  EXPECT_EQ(f->CurveNumber, 3);
  EXPECT_EQ(f->CurveNoText->text(), "3");
  f->RightArrow->click();
  EXPECT_EQ(f->CurveNumber, 1);
  EXPECT_EQ(f->DecayFrame.XStart, start);

  dialogs.ExpectMessage();
  f->CurveNoText->setText("4");
  QTest::keyClick(f->CurveNoText, Qt::Key_Return);
  EXPECT_EQ(dialogs.MessageTexts().back(), "User Error: Input must be between 1 and 3");
  EXPECT_EQ(f->CurveNumber, 1);
  EXPECT_TRUE(MarkedInvalid(f->CurveNoText));
  QTest::keyClick(f->CurveNoText, Qt::Key_Backspace);
  EXPECT_FALSE(MarkedInvalid(f->CurveNoText));
}

TEST_F(LargeRoomWindow, BandPassNamesItsBandAndEditingAnEdgeUnticksIt) {
  Load(2, {{300, 0.5}});
  DataIntegrityForm* f = Open();
  f->LFText->setText("100");
  f->HFText->setText("1000");
  f->BPFilter->click();
  EXPECT_EQ(f->DecayTitle, "Filtered Impulse:  100Hz -  1000 Hz");
  EXPECT_NEAR(PeakMagnitude(*f), 30.0f, 1e-4);
  Click(f->SchroederBut);
  EXPECT_EQ(f->DecayTitle, "Schroeder Int  1 X  2:  100 Hz -  1000 Hz");
  Click(f->ImpulseBut);

  QTest::keyClick(f->LFText, Qt::Key_0);
  EXPECT_FALSE(f->BPFilter->isChecked());
  EXPECT_EQ(f->DecayTitle, "Impulse Response ");
}

TEST_F(LargeRoomWindow, BadBandEdgesLeaveTheRawImpulse) {
  Load(2, {{300, 0.5}});
  DataIntegrityForm* f = Open();
  f->BPFilter->setChecked(true);
  f->LFText->setText("4");
  dialogs.ExpectMessage();
  f->BPFilter_Click();
  EXPECT_EQ(dialogs.MessageTexts().back(), "User Error: Input must be between 5 and 20000");
  EXPECT_TRUE(MarkedInvalid(f->LFText));
  EXPECT_EQ(f->DecayTitle, "Impulse Response ");
  EXPECT_EQ(f->DecayY[kZeroMsIndex + 100], ImpulseSet[0][kZeroMsIndex + 100]);

  f->LFText->setText("15");
  f->HFText->setText("20001");
  dialogs.ExpectMessage();
  f->BPFilter_Click();
  EXPECT_EQ(dialogs.MessageTexts().back(), "User Error: Input must be between 15 and 20000");
  EXPECT_TRUE(MarkedInvalid(f->HFText));
  EXPECT_EQ(f->DecayTitle, "Impulse Response ");
  EXPECT_FALSE(w->GetBusy());
}

TEST_F(LargeRoomWindow, EnergyTimeCurveOfADelta) {
  test::LoadSilentSet(2, test::kDecayRate, test::kDecayOrder, 20.0f);
  ImpulseSet[0][kZeroMsIndex] = 0.25f;
  DataIntegrityForm* f = Open();
  EXPECT_NEAR(PeakMagnitude(*f), 30.0f, 1e-5);
  Click(f->EnergyBut);
  ASSERT_EQ(f->DecayCount, kDecayLength - 8);
  const auto peak = std::max_element(f->DecayY.begin(), f->DecayY.begin() + f->DecayCount);
  EXPECT_NEAR(*peak, 0.0f, 1e-4);
  EXPECT_LE(std::fabs(f->DecayX[static_cast<size_t>(peak - f->DecayY.begin())]), 1000.0f / 48000);
  EXPECT_GE(*std::min_element(f->DecayY.begin(), f->DecayY.begin() + f->DecayCount), -90.0f);

  // An empty band gives the energy-time curve no smoothing width.
  f->BPFilter->setChecked(true);
  f->LFText->setText("1000");
  f->HFText->setText("1000");
  dialogs.ExpectMessage();
  f->BPFilter_Click();
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 4398");
  EXPECT_EQ(f->DecayTitle, "Filtered Impulse:  1000Hz -  1000 Hz");
  EXPECT_EQ(f->DecayCount, kDecayLength);
  EXPECT_FALSE(w->GetBusy());
}

TEST_F(LargeRoomWindow, OneCurveCannotShowPairViews) {
  Load(1, {{1000, 0.5}});
  DataIntegrityForm* f = Open();
  const std::string title = f->DecayTitle;
  dialogs.ExpectMessage();
  Click(f->RTBut);
  EXPECT_EQ(dialogs.MessageTexts().back(), "User Error: You must have at least two measured curves to view the RT60 plot");
  EXPECT_TRUE(f->ImpulseBut->isChecked());
  dialogs.ExpectMessage();
  Click(f->SchroederBut);
  EXPECT_EQ(dialogs.MessageTexts().back(),
            "User Error: You must have at least two measured curves to view the Schroeder plot");
  EXPECT_TRUE(f->ImpulseBut->isChecked());
  EXPECT_EQ(f->DecayTitle, title);
  EXPECT_EQ(f->DecayFrame.LogX, 0);
}

TEST_F(LargeRoomWindow, FitRangeOutsideTheImpulseIsRefused) {
  Load(2, {{1000, 0.5}});
  DataIntegrityForm* f = Open();
  Click(f->SchroederBut);
  const std::string title = f->DecayTitle;
  f->FitEndMs = 4000;
  const int64_t runs = DecayBandFilterRuns();
  dialogs.ExpectMessage();
  Click(f->RTBut);
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 4401: The RT60 fit range must lie within the impulse");
  EXPECT_EQ(DecayBandFilterRuns(), runs);
  EXPECT_TRUE(f->SchroederBut->isChecked());
  EXPECT_EQ(f->DecayTitle, title);
  EXPECT_EQ(f->RT60CacheCount, 0);
}

TEST_F(LargeRoomWindow, BusyMainWindowChangesNothing) {
  Load(2, {{1000, 0.5}});
  DataIntegrityForm* f = Open();
  const std::vector<float> x = f->DecayX, y = f->DecayY;
  w->SetBusy(kTrue);
  f->EnergyBut->setChecked(true);
  EXPECT_EQ(f->ComputeDecayView(1), DataIntegrityForm::DecayRun::Busy);
  EXPECT_EQ(f->DecayX, x);
  EXPECT_EQ(f->DecayY, y);
  EXPECT_EQ(f->DecayTitle, "Impulse Response ");
  Click(f->RTBut);
  EXPECT_TRUE(f->ImpulseBut->isChecked());
  EXPECT_EQ(f->DecayFrame.LogX, 0);
  w->SetBusy(kFalse);
}

TEST_F(LargeRoomWindow, StoredRT60ServesUntilTheFitRangeChanges) {
  Load(2, {{1024, 0.8}});
  DataIntegrityForm* f = Open();
  const int64_t start = DecayBandFilterRuns();
  Click(f->RTBut);
  EXPECT_EQ(DecayBandFilterRuns() - start, 2 * kDecayBands);
  EXPECT_EQ(f->DecayTitle, "RT60:  50 ms -  150 ms");
  const std::vector<float> rt(f->DecayY.begin(), f->DecayY.begin() + kDecayBands);

  Click(f->SchroederBut);
  const int64_t beforeReturn = DecayBandFilterRuns();
  Click(f->RTBut);
  EXPECT_EQ(DecayBandFilterRuns(), beforeReturn);
  EXPECT_EQ(std::vector<float>(f->DecayY.begin(), f->DecayY.begin() + kDecayBands), rt);
  EXPECT_EQ(f->DecayTitle, "RT60:  50 ms -  150 ms");

  // A right-button drag on the Schroeder view picks a new fit range.
  Click(f->SchroederBut);
  const GraphFrame& g = f->DecayFrame;
  const auto X = [&](double ms) { return float(ms * g.XScale + g.XOffset); };
  const auto Y = [&](double db) { return float(db * g.YScale + g.YOffset); };
  f->Picture1_MouseDown(kRightButton, 0, X(60), Y(-1));
  f->Picture1_MouseMove(kRightButton, 0, X(140), Y(-30));
  f->Picture1_MouseUp(kRightButton, 0, X(140), Y(-30));
  EXPECT_EQ(f->FitStartMs, 60.0f);
  EXPECT_EQ(f->FitEndMs, 140.0f);
  const int64_t beforeNewRange = DecayBandFilterRuns();
  Click(f->RTBut);
  EXPECT_EQ(DecayBandFilterRuns() - beforeNewRange, 2 * kDecayBands);
  EXPECT_EQ(f->DecayTitle, "RT60:  60 ms -  140 ms");
  EXPECT_NEAR(f->DecayY[kBand1024], 800, 40);
}

TEST_F(LargeRoomWindow, RT60ViewAndTheSchroederRouteAgreeWithTheRoom) {
  Load(2, {{256, 1.2}, {1024, 0.8}, {4096, 0.5}});
  for (int k : {0, 1}) test::AddWhiteNoise(ImpulseSet[static_cast<size_t>(k)], 1e-3, 30 + k);
  DataIntegrityForm* f = Open();
  Click(f->RTBut);
  EXPECT_NEAR(f->DecayY[kBand256], 1200, 60);
  EXPECT_NEAR(f->DecayY[kBand1024], 800, 40);
  EXPECT_NEAR(f->DecayY[kBand4096], 500, 25);
  EXPECT_EQ(f->DecayFrame.LogX, kTrue);
  EXPECT_EQ(f->DecayFrame.XStart, 20);
  EXPECT_EQ(f->DecayFrame.XFinish, 16384);

  // T20 and T30 from the Schroeder view band-passed to each band.
  f->BPFilter->setChecked(true);
  for (const auto& [band, ms] : {std::pair{kBand256, 1200.0}, {kBand1024, 800.0}, {kBand4096, 500.0}}) {
    const DecayBand& b = DecayBands()[band];
    f->LFText->setText(QString::number(double(b.lower), 'g', 9));
    f->HFText->setText(QString::number(double(b.upper), 'g', 9));
    Click(f->SchroederBut);
    ASSERT_TRUE(f->SchroederBut->isChecked());
    const size_t n = static_cast<size_t>(f->DecayCount);
    const double t20 = -60 / test::SlopeBetweenLevels(f->DecayX, f->DecayY, n, -5, -25);
    const double t30 = -60 / test::SlopeBetweenLevels(f->DecayX, f->DecayY, n, -5, -35);
    EXPECT_NEAR(t20, ms, ms * 0.05) << band;
    EXPECT_NEAR(t30, ms, ms * 0.05) << band;
  }
}

TEST_F(LargeRoomWindow, PairsThatCancelAreCutAtZeroMilliseconds) {
  Load(2, {{1024, 0.8}}, {1});
  DataIntegrityForm* f = Open();
  Click(f->SchroederBut);
  EXPECT_EQ(f->DecayCount, kZeroMsIndex);
  Click(f->RTBut);
  for (int b = 0; b < kDecayBands; ++b) EXPECT_EQ(f->DecayY[static_cast<size_t>(b)], 0.0f) << b;
}

}  // namespace
}  // namespace zentor
