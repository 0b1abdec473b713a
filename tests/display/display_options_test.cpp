// The display options and psychoacoustic windows: what opening shows, what Apply stores, boost/cut.
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "core/records.h"
#include "core/results_store.h"
#include "display/dispatcher.h"
#include "display/display_options.h"
#include "display/psyc_form.h"
#include "platform/forms.h"
#include "platform/help.h"
#include "support/builder_recorder.h"
#include "views_fixture.h"

namespace zentor {
namespace {

std::string Text(const QLineEdit* e) { return e->text().toStdString(); }
std::vector<std::string> Texts(std::initializer_list<const QLineEdit*> boxes) {
  std::vector<std::string> out;
  for (const QLineEdit* e : boxes) out.push_back(Text(e));
  return out;
}

class OptionsTest : public test::ViewsTest {
 protected:
  void SetUp() override {
    ViewsTest::SetUp();
    rb.Install();
    test::LoadCachedSet(3);
    SetDefaultImpulseDisplay(ImpulseDisplayConfig);
    rb.calls.clear();
  }

  DisplayControlForm* Open(int32_t mode) {
    DisplayControlForm* f = Forms::Get<DisplayControlForm>();
    f->ReadAndShowDisplayParms(host, mode);
    return f;
  }

  test::BuilderRecorder rb;
  MeasurementHeader& set = ResultsDataSetInfo[0];
};

TEST_F(OptionsTest, OpeningChangesNoViewShowsTheLastSelectedFlagOptionButtonsActAndShiftButtonsWait) {
  QSize sizes[2];
  for (int32_t mode : {3, 4}) {
    for (int combo = 0; combo < 8; ++combo) {
      DisplayConfig.FFTSelected = (combo & 1) ? kTrue : kFalse;
      DisplayConfig.FractOctSelected = (combo & 2) ? kTrue : kFalse;
      DisplayConfig.PsycSelected = (combo & 4) ? kTrue : kFalse;
      DisplayConfig.Graphshown = kNoiseView;
      const DisplayConfigRecord before = DisplayConfig;
      DisplayControlForm* f = Open(mode);
      EXPECT_EQ(std::memcmp(&before, &DisplayConfig, sizeof before), 0) << mode << " " << combo;
      // Psyc, fractional octave and FFT are set in that order: the last one set wins.
      QRadioButton* want = (combo & 1) ? f->FFTRadio : (combo & 2) ? f->FractOctRadio : (combo & 4) ? f->PsycRadio : nullptr;
      for (QRadioButton* r : {f->FFTRadio, f->FractOctRadio, f->PsycRadio})
        EXPECT_EQ(r->isChecked(), r == want) << mode << " " << combo << " " << r->objectName().toStdString();
    }
    DisplayControlForm* f = Forms::Get<DisplayControlForm>();
    EXPECT_EQ(std::pair(f->ImpDisp->isHidden(), f->BoostCut->isHidden()), std::pair(mode == 4, mode == 3));
    f->show();
    sizes[mode - 3] = f->grab().size();
    f->hide();
  }
  EXPECT_NE(sizes[0], sizes[1]) << "the window fits the frames of its mode";
  EXPECT_EQ(Forms::Get<DisplayControlForm>()->windowTitle(), " Options");
  EXPECT_TRUE(rb.calls.empty());
  // Option buttons act on a click before Apply; shift buttons wait for their links.
  DisplayConfig = DisplayConfigRecord{};
  DisplayConfig.FractOctSelected = kTrue;
  DisplayConfig.Graphshown = kFractOctView;
  DisplayControlForm* f = Open(4);
  EXPECT_FALSE(f->BodeFilterCheck->isChecked());

  f->FFTRadio->click();
  EXPECT_EQ(DisplayConfig.Graphshown, kBodeView);
  EXPECT_EQ(DisplayConfig.FFTSelected, kTrue);
  EXPECT_EQ(DisplayConfig.FractOctSelected, kTrue) << "the others wait for Apply";
  EXPECT_TRUE(f->BodeFilterCheck->isChecked());

  f->PsycRadio->click();
  EXPECT_EQ(DisplayConfig.Graphshown, kPsycView);
  EXPECT_TRUE(f->PsycFilterCheck->isChecked());
  f->FractOctRadio->click();
  EXPECT_EQ(DisplayConfig.Graphshown, kFractOctView);

  f->Apply_Click();
  const DisplayConfigRecord& d = DisplayConfig;
  EXPECT_EQ(std::tuple(d.FFTSelected, d.PsycSelected, d.FractOctSelected), std::tuple(kFalse, kFalse, kTrue));
  EXPECT_EQ(std::tuple(d.ShowBodeInSingleView, d.ShowPsycInSingleView, d.ShowFractOctInSingleView),
            std::tuple(1, 1, 1));

  f = Open(3);
  f->ImpulseRadio->click();
  EXPECT_EQ(DisplayConfig.Graphshown, kImpulseView);
  DisplayConfig.Graphshown = kNoiseView;
  f->ETCRadio->click();
  EXPECT_EQ(DisplayConfig.Graphshown, kImpulseView);

  // The shift buttons wait for their links.
  EXPECT_FALSE(f->LargeShiftLeft->isEnabled());
  EXPECT_FALSE(f->smallshiftright->isEnabled());

  std::vector<std::tuple<char, int32_t, int32_t>> shifts;
  ImpulseShiftHooks.ShiftImpulseLeft = [&](GraphHost&, int32_t c, int32_t k) { shifts.emplace_back('L', c, k); };
  ImpulseShiftHooks.ShiftImpulseRight = [&](GraphHost&, int32_t c, int32_t k) { shifts.emplace_back('R', c, k); };
  f = Open(3);
  f->CurveShiftNumberText->setText("2");
  for (QPushButton* b : {f->LargeShiftLeft, f->medshiftleft, f->smallshiftleft, f->smallshiftright, f->medshiftright,
                         f->LargeShiftRight}) {
    EXPECT_TRUE(b->isEnabled());
    b->click();
  }
  EXPECT_EQ(shifts, (std::vector<std::tuple<char, int32_t, int32_t>>{
                        {'L', 2, 100}, {'L', 2, 10}, {'L', 2, 1}, {'R', 2, 1}, {'R', 2, 10}, {'R', 2, 100}}));
}

TEST_F(OptionsTest, BoxesShowTheSettingsCutToTheirPlacesAndTimeApplyLimitsCutOffsToHalfTheRate) {
  host.curveNoText.setText("3");
  DisplayControlForm* f = Open(3);
  EXPECT_EQ(Texts({f->FractOctText, f->BodeGateTimeText, f->FractOctGateTimeText, f->UpperCutoffFreqText,
                   f->LowerCutoffFreqText, f->OrderText, f->ETCMinLowText, f->ETCMinHighText, f->ETCMidLowText,
                   f->ETCMidHighText, f->ETCHighLowText, f->ETCHighHighText, f->ETCDRTimeText, f->ETCDRPlusRev,
                   f->DisplayResText, f->CurveShiftNumberText}),
            (std::vector<std::string>{"0.333", "10", "50", "200", "16", "4", "1000", "2000", "1500", "2500", "2000",
                                      "3000", "80", "300", "4", "3"}));

  // Cut, not rounded, and in single precision: 0.7 stays 0.7.
  set.FreqRespGateTime = 0.15f;
  set.FractOctGateTime = 0.7f;
  set.FractOctRes = 0.0999f;
  ImpulseDisplayConfig.UpperCutoffFreq = 199.9f;
  ImpulseDisplayConfig.ETCDRTime = 12.34f;
  f = Open(4);
  EXPECT_EQ(Texts({f->BodeGateTimeText, f->FractOctGateTimeText, f->FractOctText, f->UpperCutoffFreqText,
                   f->ETCDRTimeText}),
            (std::vector<std::string>{"0.1", "0.7", "0.099", "199", "12.3"}));
  // Time Apply limits the cut-offs to half the sample rate.
  SetDefaultImpulseDisplay(ImpulseDisplayConfig);
  set.SampleRate = 44100;
  f = Open(3);
  f->UpperCutoffFreqText->setText("22051");
  f->OrderText->setText("7.9");
  f->ImpFilter->setChecked(true);
  f->ETCRadio->setChecked(true);
  f->ETCDRTimeText->setText("121");
  f->ETCDRPlusRev->setText("999.5");
  dialogs.ExpectMessage();
  dialogs.ExpectMessage();
  f->Apply_Click();
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"User Error: Input must be between 16 and 22050",
                                                              "User Error: Input must be between 1 and 120"}));
  const ImpulseDisplayConfigRecord& c = ImpulseDisplayConfig;
  EXPECT_EQ(std::tuple(c.UpperCutoffFreq, c.Order, c.FilterOn, c.ShowETC, c.ETCDRPlusRev),
            std::tuple(200.0f, 7, kTrue, kTrue, 999.5f));

  f->UpperCutoffFreqText->setText("22050");
  f->ETCDRTimeText->setText("120");
  f->Apply_Click();
  EXPECT_EQ(std::tuple(c.UpperCutoffFreq, c.ETCDRTime), std::tuple(22050.0f, 120.0f));
  EXPECT_EQ(rb.Take(), (std::vector<test::BuilderCall>{{"ShowMainImpulseSet", 3}}));
}

TEST_F(OptionsTest, FrequencyApplyStoresWhatPassesRedrawsOnlyWhenAllDoAndStoresBandsWhole) {
  host.displayRes = 2;
  host.view = ViewButton::Freq;
  DisplayConfig.Graphshown = kFractOctView;
  DisplayControlForm* f = Open(4);
  f->FractOctText->setText("1.5");
  f->FractOctGateTimeText->setText("60");
  f->BodeGateTimeText->setText("20");
  f->DisplayResText->setText("4.7");
  EXPECT_EQ(MessageOf([&] { f->Apply_Click(); }), "User Error: Input must be between 0.05 and 1");
  EXPECT_EQ(std::tuple(EQConfig.FractOctGateTime, EQConfig.FreqRespGateTime), std::tuple(60.0f, 20.0f));
  EXPECT_EQ(std::tuple(set.FractOctGateTime, set.FreqRespGateTime), std::tuple(60.0f, 20.0f)) << "copied to the set";
  EXPECT_FLOAT_EQ(EQConfig.FractOctRes, 0.333f);
  EXPECT_EQ(host.displayRes, 4);
  EXPECT_EQ(f->LastDisplayRes, 4);
  EXPECT_TRUE(rb.calls.empty()) << "nothing is redrawn";
  EXPECT_EQ(Text(f->FractOctText), "1.5") << "the boxes are not refilled";
  EXPECT_EQ(f->FractOctText->palette().color(QPalette::Base), QColor(128, 0, 0));
  QTest::keyClicks(f->FractOctText, "0");
  EXPECT_EQ(f->FractOctText->palette().color(QPalette::Base), QColor(Qt::white));

  f->FractOctText->setText("0.5");
  f->DisplayResText->setText("x");
  EXPECT_EQ(MessageOf([&] { f->Apply_Click(); }), "User Error: Non Numeric Input");
  EXPECT_EQ(host.displayResSets, 1);
  EXPECT_EQ(host.displayRes, 4);

  f->DisplayResText->setText("6");
  f->FractOctGateTimeText->setText("45.67");
  f->Apply_Click();
  EXPECT_EQ(host.displayRes, 6);
  EXPECT_EQ(set.FractOctRes, 0.5f);
  EXPECT_EQ(Text(f->FractOctText), "0.5");
  EXPECT_EQ(Text(f->FractOctGateTimeText), "45.6") << "refilled in its own format";
  EXPECT_EQ(rb.Take(), (std::vector<test::BuilderCall>{{"ShowFractOctResponseSet", 0}}));
  // Energy-time bands are stored whole or not at all.
  rb.calls.clear();
  f = Open(3);
  f->ETCMinLowText->setText("1100");
  f->ETCMinHighText->setText("900");
  EXPECT_EQ(MessageOf([&] { f->Apply_Click(); }), "User Error: Input must be between 1100 and 24000");
  const ImpulseDisplayConfigRecord& etc = ImpulseDisplayConfig;
  EXPECT_EQ(std::tuple(etc.ETCMinLow, etc.ETCMinHigh, etc.ApplyLowETC), std::tuple(1000.0, 2000.0, kTrue));
  EXPECT_TRUE(rb.calls.empty());

  // An unticked band is switched off and its edges are not read; equal edges pass.
  f->ETCMinHighText->setText("1100");
  f->ApplyMidETC->setChecked(false);
  f->ETCMidLowText->setText("nonsense");
  f->ETCHighLowText->setText("5000");
  f->ETCHighHighText->setText("5000");
  f->Apply_Click();
  EXPECT_EQ(std::tuple(etc.ETCMinLow, etc.ETCMinHigh, etc.ApplyMidETC, etc.ETCMidLow, etc.ETCHighHigh),
            std::tuple(1100.0, 1100.0, kFalse, 1500.0, 5000.0));

  // A lower edge out of range leaves the band as it was, its flag on.
  f->ETCHighLowText->setText("10");
  f->ETCHighHighText->setText("6000");
  EXPECT_EQ(MessageOf([&] { f->Apply_Click(); }), "User Error: Input must be between 20 and 24000");
  EXPECT_EQ(std::tuple(etc.ETCHighLow, etc.ETCHighHigh, etc.ApplyHighETC), std::tuple(5000.0, 5000.0, kTrue));
}

TEST_F(OptionsTest, HelpTopicsClosingPsycFormInOrderAndBoostCutScalingTheStoredPeriodOfOneCurve) {
  DisplayControlForm* f = Open(3);
  f->Help->click();
  f = Open(4);
  f->Help_Click();
  Forms::Get<PsycForm>()->Command3->click();
  EXPECT_EQ(GetHelpLog().topics, (std::vector<int32_t>{1040, 970, 930}));

  f->setCursor(Qt::WaitCursor);
  dialogs.ExpectModal([](QDialog* d) {
    d->reject();
    return 0;
  });
  ShowDisplayOptionsWindow(host, 4);
  EXPECT_EQ(dialogs.calls().back().dialogClass, "zentor::DisplayControlForm");
  EXPECT_EQ(host.mouseZeroCalls, 1);
  EXPECT_EQ(f->cursor().shape(), Qt::ArrowCursor);

  f->PsycFilterCheck->setChecked(false);
  dialogs.ExpectModal([](QDialog*) { return 0; });
  f->PsycParms->click();
  EXPECT_EQ(dialogs.calls().back().dialogClass, "zentor::PsycForm");
  EXPECT_TRUE(f->PsycFilterCheck->isChecked());
  // The psychoacoustic window stores in order and copies only all four.
  EQConfig.PsycLFResolution = 1.0f;
  set.PsycLFResolution = 1.0f;
  const auto psyc = [&] {
    return std::tuple{set.PsycLFResolution, set.PsycGateTime, set.PsycShelfTime, set.PsycShelfLevel};
  };
  const auto header = psyc();
  Forms::Unload<PsycForm>();
  PsycForm* p = Forms::Get<PsycForm>();
  EXPECT_EQ(p->windowTitle(), "PsychoAcoustic Parameters");
  EXPECT_EQ(Texts({p->LFResolutionText, p->PsycGateTime, p->PsycShelfTime, p->ShelfLevel, p->Datapoints}),
            (std::vector<std::string>{"1", "5", "15", "-10", "30"}));
  EXPECT_TRUE(p->Datapoints->isReadOnly());

  p->LFResolutionText->setText("0.75");
  p->PsycGateTime->setText("11");
  p->PsycShelfTime->setText("nonsense");  // never reached
  EXPECT_EQ(MessageOf([&] { p->Command1->click(); }), "User Error: Input must be between 2 and 10");
  EXPECT_EQ(EQConfig.PsycLFResolution, 0.75f);
  EXPECT_EQ(psyc(), header) << "the set's header is unchanged";

  p->PsycGateTime->setText("4");
  p->PsycShelfTime->setText("20");
  p->ShelfLevel->setText("-20");
  p->Command1_Click();
  EXPECT_EQ(psyc(), std::tuple(0.75f, 4.0f, 20.0f, -20.0f));

  for (QLineEdit* e : {p->LFResolutionText, p->PsycGateTime, p->PsycShelfTime, p->ShelfLevel}) e->setText("?");
  p->Command2->click();
  EXPECT_EQ(Texts({p->LFResolutionText, p->PsycGateTime, p->PsycShelfTime, p->ShelfLevel}),
            (std::vector<std::string>{"0.75", "4", "20", "-20"}));
  // Boost/cut scales the stored period of one curve.
  int unsaved = 0;
  ResultsStoreHooks.MarkResultsUnsaved = [&] { ++unsaved; };
  set.PeriodExponent = 12;
  ResultsDataSetInfo[1].PeriodExponent = 12;
  auto& column = ImpulseSet[1];
  for (size_t i = 0; i < column.size(); ++i) column[i] = static_cast<float>(std::sin(0.01 * double(i)) + 0.5);
  const auto before = column;
  const auto other = ImpulseSet[0];
  SetChangeLevels(kFalse);

  rb.calls.clear();
  f = Open(4);
  for (auto [curve, level, message] :
       {std::tuple{"0", "6", "User Error: Input must be between 1 and 3"},
        std::tuple{"4", "6", "User Error: Input must be between 1 and 3"},
        std::tuple{"2", "20.5", "User Error: Input must be between -20 and 20"}}) {
    f->CurveNoText->setText(curve);
    f->LevelText->setText(level);
    EXPECT_EQ(MessageOf([&] { f->Boost_Click(); }), message);
  }
  EXPECT_EQ(column, before);
  EXPECT_EQ(unsaved, 0);

  f->CurveNoText->setText("2");
  f->LevelText->setText("6");
  f->Boost_Click();
  const double gain = std::pow(10.0, 6.0 / 20.0);  // 1.99526...
  for (size_t i = 0; i < column.size(); ++i) {
    const double want = i < 4096 ? before[i] * gain : before[i];
    ASSERT_NEAR(column[i], want, 1e-6 * std::fabs(want) + 1e-12) << i;
  }
  EXPECT_EQ(ImpulseSet[0], other);
  EXPECT_EQ(Text(f->LevelText), "0.0");
  EXPECT_EQ(std::tuple(FractOctLevelsChanged, PsycLevelsChanged, BodeLevelsChanged), std::tuple(kTrue, kTrue, kTrue));
  EXPECT_EQ(unsaved, 1);
  // The view is recomputed; the noise and modal views have no change flag: their caches empty instead.
  EXPECT_EQ(rb.Take(), (std::vector<test::BuilderCall>{{"ShowMainImpulseSet", 0}}));
  EXPECT_EQ(std::tuple(NoiseCurves[0].NumCurves, ModalCurves[0].NumCurves, BodeCurves[0].NumCurves),
            std::tuple(0, 0, 3));

  // A period longer than a result column scales the column; a curve outside the set nothing.
  column.fill(1.0f);
  set.PeriodExponent = ResultsDataSetInfo[1].PeriodExponent = 18;
  BoostCut(host, 2, 20.0f);
  EXPECT_EQ(std::count(column.begin(), column.end(), 10.0f), 131072);
  BoostCut(host, 4, 6.0f);
  BoostCut(host, 0, 6.0f);
  EXPECT_EQ(std::count(column.begin(), column.end(), 10.0f), 131072);
  EXPECT_EQ(rb.Take().size(), 1u);
}

}  // namespace
}  // namespace zentor
