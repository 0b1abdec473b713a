// The one redraw road of the main window: which builder runs with which reuse
// count, the gate controls, the view buttons and menus, and the accessors.
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "core/records.h"
#include "core/test_signals.h"
#include "display/color_form.h"
#include "display/graph_frame.h"
#include "main_window_fixture.h"
#include "mainwindow/view_state.h"
#include "platform/forms.h"

namespace zentor {
namespace {

struct BuilderCall {
  std::string name;
  int32_t first = 0;
  bool operator==(const BuilderCall&) const = default;
};

std::ostream& operator<<(std::ostream& os, const BuilderCall& c) { return os << c.name << "(" << c.first << ")"; }

// Counts the builder calls instead of computing views.
class CountingPlotter : public DataPlotter {
 public:
  std::vector<BuilderCall> calls;
  std::function<void()> during;  // runs inside every builder call
  int cursorDepthInBuilder = -1;
  int16_t showEtcInBuilder = 99;
  struct LevelsArgs {
    int32_t start, rate, shift;
    float ms, level, sn;
    size_t samples;
  } levels{};

  bool ShowMainImpulseSet(int32_t f) override {
    showEtcInBuilder = ImpulseDisplayConfig.ShowETC;
    return Record("ShowMainImpulseSet", f);
  }
  bool ShowPSDEnergy(int32_t f) override { return Record("ShowPSDEnergy", f); }
  void ShowLevelsImpulse(std::span<float> impulse, int32_t start, float ms, int32_t rate, int32_t shift, float level,
                         float sn) override {
    levels = {start, rate, shift, ms, level, sn, impulse.size()};
    Record("ShowLevelsImpulse", 0);
  }
  bool ShowFFTResponseSet(int32_t f) override { return Record("ShowFFTResponseSet", f); }
  bool ShowFractOctResponseSet(int32_t f) override { return Record("ShowFractOctResponseSet", f); }
  bool ShowPsycResponseSet(int32_t f) override { return Record("ShowPsycResponseSet", f); }
  bool ShowNoiseResponseSet(int32_t f) override { return Record("ShowNoiseResponseSet", f); }
  bool ShowModalResponseSet(int32_t f) override { return Record("ShowModalResponseSet", f); }
  void ShowImpulseCurve(int32_t k) override { Record("ShowImpulseCurve", k); }

 private:
  bool Record(const char* name, int32_t f) {
    calls.push_back({name, f});
    cursorDepthInBuilder = WaitCursor::Depth();
    if (during) during();
    return true;
  }
};

class DispatchTest : public test::MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    w = new CountingPlotter;
    Forms::Adopt<DataPlotter>(w);
    w->Form_Load();
    startup = Take();
  }

  // A loaded set of n results whose view caches hold n curves each.
  void LoadSet(int32_t n) {
    MeasurementHeader& s = ResultsDataSetInfo[0];
    s = EQConfig;
    s.NumInSet = n;
    s.SampleRate = 48000;
    s.PeriodExponent = 17;
    for (CurveArray* a :
         {&ImpulseCurves, &BodeCurves, &FractOctCurves, &PsycCurves, &NoiseCurves, &ModalCurves, &PsdCurves})
      (*a)[0].NumCurves = n;
    w->LoadStaticConfig();
    w->calls.clear();
  }

  std::vector<BuilderCall> Take() {
    std::vector<BuilderCall> c = std::move(w->calls);
    w->calls.clear();
    return c;
  }

  void TypeGate(const char* text) {
    w->GateText->setText(text);
    w->GateText_KeyPress(13);
  }

  CountingPlotter* w = nullptr;
  std::vector<BuilderCall> startup;
  MeasurementHeader& set = ResultsDataSetInfo[0];
};

using Calls = std::vector<BuilderCall>;

// ---- start-up ----------------------------------------------------------------

TEST_F(DispatchTest, StartUpDrawsTheImpulseViewAndFillsTheTwoToneTable) {
  ASSERT_FALSE(startup.empty());
  for (const BuilderCall& c : startup) EXPECT_EQ(c, (BuilderCall{"ShowMainImpulseSet", kRedrawFiledCurves}));
  EXPECT_TRUE(w->TimeBut->isChecked());
  EXPECT_EQ(w->GateText->text(), "0");  // nothing loaded: a zero gate in the small range
  EXPECT_TRUE(w->SmallGate->isChecked());
  EXPECT_EQ(w->FractOctLevelsChanged, kFalse);

  const TestCDSettings& p = CDSignalParams;
  EXPECT_EQ(p.ToneCount, 20);
  EXPECT_EQ(p.SampleRate, 44100);
  EXPECT_EQ(p.Order, 16);
  EXPECT_FLOAT_EQ(p.FirstToneFreqA, 10000.0f);
  EXPECT_FLOAT_EQ(p.FirstToneFreqB, 10250.0f);
  for (int i = 0; i < 20; ++i) {
    // Bin spacing of a 2^16-point transform at 44.1 kHz; no value lies near a half.
    EXPECT_EQ(p.LeftToneBins[i], std::lround((10250.0 + 500.0 * i) / (44100.0 / 65536.0))) << i;
    EXPECT_EQ(p.RightToneBins[i], std::lround((10000.0 + 500.0 * i) / (44100.0 / 65536.0))) << i;
  }
  EXPECT_EQ(p.LeftToneBins[0], 15232);  // 15232.29
  EXPECT_EQ(p.RightToneBins[0], 14861);  // 14860.77
}

TEST_F(DispatchTest, ColourWindowRedrawsThroughTheMainWindow) {
  w->calls.clear();
  ASSERT_TRUE(ColorFormHooks.DisplayResults);
  ColorFormHooks.DisplayResults();
  EXPECT_EQ(Take(), (Calls{{"ShowMainImpulseSet", kRedrawFiledCurves}}));
}

// ---- the dispatcher --------------------------------------------------------------

TEST_F(DispatchTest, EachViewHasItsBuilder) {
  LoadSet(3);
  const std::vector<std::pair<int32_t, const char*>> views = {
      {0, "ShowModalResponseSet"}, {1, "ShowNoiseResponseSet"}, {2, "ShowMainImpulseSet"},
      {3, "ShowFFTResponseSet"},   {5, "ShowPSDEnergy"},        {6, "ShowFractOctResponseSet"},
      {7, "ShowPsycResponseSet"}};
  for (auto [view, name] : views) {
    DisplayConfig.Graphshown = view;
    w->DisplayResults(KeepFiledCurves(2));
    EXPECT_EQ(Take(), (Calls{{name, 2}})) << view;
  }
  for (int32_t odd : {-1, 8, 99}) {
    DisplayConfig.Graphshown = odd;
    w->DisplayResults(0);
    EXPECT_TRUE(Take().empty()) << odd;
  }
}

TEST_F(DispatchTest, LevelsViewIsAlwaysComputedFromTheLevelsCheck) {
  LevelsCheckHeader.SampleRate = 48000;
  LevelsCheckHeader.ImpulseShift = 17;
  LevelsCheckHeader.PeakLevel = -12.5f;
  LevelsCheckHeader.NoiseEnergy = 41.0f;
  FreqGraphFrame.LogX = kTrue;
  DisplayConfig.Graphshown = kLevelsView;
  w->DisplayResults(kRedrawFiledCurves);
  EXPECT_EQ(Take(), (Calls{{"ShowLevelsImpulse", 0}}));
  EXPECT_EQ(w->levels.start, 2400);
  EXPECT_FLOAT_EQ(w->levels.ms, 10.0f);
  EXPECT_EQ(w->levels.rate, 48000);
  EXPECT_EQ(w->levels.shift, 17);
  EXPECT_FLOAT_EQ(w->levels.level, -12.5f);
  EXPECT_FLOAT_EQ(w->levels.sn, 41.0f);
  EXPECT_EQ(w->levels.samples, LevelsImpulse.size());
  EXPECT_EQ(FreqGraphFrame.LogX, kFalse);
  EXPECT_TRUE(w->LinBut->isChecked());
}

TEST_F(DispatchTest, RedrawKeepsFramesAndButtonsSane) {
  DisplayConfig.Graphshown = kBodeView;
  FreqGraphFrame.LogX = kTrue;
  FreqGraphFrame.XStart = -5;
  FreqGraphFrame.XFinish = 0;
  w->LinBut->setChecked(true);
  RubberBandState.BoxErased = kFalse;
  w->DisplayResults(0);
  EXPECT_EQ(FreqGraphFrame.XStart, 1);
  EXPECT_EQ(FreqGraphFrame.XFinish, 2);
  EXPECT_TRUE(w->logbut->isChecked());
  EXPECT_EQ(RubberBandState.BoxErased, kTrue);
  EXPECT_EQ(w->cursorDepthInBuilder, 1);  // the hourglass shows while building, released after

  DisplayConfig.Graphshown = kImpulseView;
  TimeGraphFrame.LogX = kTrue;
  w->DisplayResults(0);
  EXPECT_EQ(TimeGraphFrame.LogX, kFalse);
}

TEST_F(DispatchTest, BusyDropsAndPlotterToUpdateForcesOneFullRecompute) {
  LoadSet(2);
  DisplayConfig.Graphshown = kBodeView;
  w->SetBusy(kTrue);
  EXPECT_TRUE(w->GetBusy());
  w->DisplayResults(0);
  EXPECT_TRUE(Take().empty());
  w->SetBusy(kFalse);

  w->SetPlotterToUpdate();
  w->DisplayResults(kRedrawFiledCurves);
  w->DisplayResults(kRedrawFiledCurves);
  EXPECT_EQ(Take(), (Calls{{"ShowFFTResponseSet", 0}, {"ShowFFTResponseSet", kRedrawFiledCurves}}));
}

TEST_F(DispatchTest, NestedRedrawIsDroppedAndOneRedrawFollows) {
  LoadSet(2);
  DisplayConfig.Graphshown = kFractOctView;
  int nested = 0;
  w->during = [&] {
    if (nested++ < 3) {  // e.g. a message box whose event loop delivers redraw requests
      w->DisplayResults(0);
      w->DisplayResults(0);
    }
  };
  w->DisplayResults(2);
  EXPECT_EQ(Take(), (Calls{{"ShowFractOctResponseSet", 2}, {"ShowFractOctResponseSet", kRedrawFiledCurves}}));
  w->during = nullptr;
  w->DisplayResults(0);
  EXPECT_EQ(Take(), (Calls{{"ShowFractOctResponseSet", 0}}));
}

// ---- cache reuse -------------------------------------------------------------------

TEST_F(DispatchTest, SwitchingViewsRedrawsFromTheCacheAndChangedSettingsRecomputeAll) {
  LoadSet(3);
  DisplayConfig.FFTSelected = kTrue;
  w->FreqBut_Click();
  w->FractOct->trigger();
  w->BodeFFT->trigger();
  w->Psyc->trigger();
  EXPECT_EQ(Take(), (Calls{{"ShowFFTResponseSet", 3},
                           {"ShowFractOctResponseSet", 3},
                           {"ShowFFTResponseSet", 3},
                           {"ShowPsycResponseSet", 3}}));
  EXPECT_EQ(DisplayConfig.Graphshown, kPsycView);

  // The options dialog changes the resolution and copies it into the set.
  EQConfig.FractOctRes = 0.1f;
  w->RefreshOctParms();
  w->FractOct->trigger();
  w->FractOct->trigger();
  EQConfig.PsycShelfLevel = -3.0f;
  w->RefreshPsycParms();
  w->Psyc->trigger();
  EQConfig.FreqRespGateTime = 3.0f;
  w->RefreshBodeParms();
  w->BodeFFT->trigger();
  w->BodeFFT->trigger();
  EXPECT_EQ(Take(), (Calls{{"ShowFractOctResponseSet", 0},
                           {"ShowFractOctResponseSet", 3},
                           {"ShowPsycResponseSet", 0},
                           {"ShowFFTResponseSet", 0},
                           {"ShowFFTResponseSet", 3}}));

  set.NoiseGateTime = 123;
  w->UpdateNoiseDisplay();
  w->UpdateNoiseDisplay();
  set.ModalGateTime = 321;
  w->UpdateModalDisplay();
  w->UpdateModalDisplay();
  set.ImpulseGateTime = 7;
  w->Impulse->trigger();
  w->Impulse->trigger();
  EXPECT_EQ(Take(), (Calls{{"ShowNoiseResponseSet", 0},
                           {"ShowNoiseResponseSet", 3},
                           {"ShowModalResponseSet", 0},
                           {"ShowModalResponseSet", 3},
                           {"ShowMainImpulseSet", 0},
                           {"ShowMainImpulseSet", 3}}));
}

TEST_F(DispatchTest, ShowResultComputesOnlyTheNewestInFrequencyViews) {
  LoadSet(4);
  for (int32_t view : {kBodeView, kFractOctView, kPsycView}) {
    DisplayConfig.Graphshown = view;
    w->ShowResult();
    const Calls c = Take();
    ASSERT_EQ(c.size(), 1u) << view;
    EXPECT_EQ(c[0].first, 3) << view;
  }
  for (int32_t view : {kImpulseView, kNoiseView, kModalSliceView, kPsdView, kLevelsView}) {
    DisplayConfig.Graphshown = view;
    w->ShowResult();
    EXPECT_EQ(Take(), (Calls{{"ShowImpulseCurve", 3}})) << view;
  }
}

TEST_F(DispatchTest, FftUpdateOutsideTheFrequencyButtonOnlyNotesTheGate) {
  LoadSet(2);
  w->TimeBut->setChecked(true);
  DisplayConfig.Graphshown = kImpulseView;
  set.FreqRespGateTime = 4.5f;
  w->UpdateFFTDisplay();
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(DisplayConfig.Graphshown, kImpulseView);
  EXPECT_FLOAT_EQ(w->StaticConfig.FreqRespGateTime, 4.5f);
}

// ---- view buttons and menus -----------------------------------------------------------

TEST_F(DispatchTest, TimeButShowsImpulsesAndKeepsShowEtc) {
  LoadSet(2);
  ImpulseDisplayConfig.ShowETC = kTrue;
  DisplayConfig.Graphshown = kBodeView;
  QTest::mouseClick(w->TimeBut, Qt::LeftButton);
  EXPECT_EQ(Take(), (Calls{{"ShowMainImpulseSet", 0}}));
  EXPECT_EQ(w->showEtcInBuilder, kFalse);
  EXPECT_EQ(ImpulseDisplayConfig.ShowETC, kTrue);
  EXPECT_EQ(DisplayConfig.Graphshown, kImpulseView);
}

TEST_F(DispatchTest, FreqButPicksPsycThenFractOctThenFft) {
  LoadSet(2);
  DisplayConfig.PsycSelected = DisplayConfig.FractOctSelected = DisplayConfig.FFTSelected = kTrue;
  QTest::mouseClick(w->FreqBut, Qt::LeftButton);
  EXPECT_EQ(DisplayConfig.Graphshown, kPsycView);
  DisplayConfig.PsycSelected = kFalse;
  w->FreqBut_Click();
  EXPECT_EQ(DisplayConfig.Graphshown, kFractOctView);
  DisplayConfig.FractOctSelected = kFalse;
  w->FreqBut_Click();
  EXPECT_EQ(DisplayConfig.Graphshown, kBodeView);
  EXPECT_EQ(Take().size(), 3u);
}

TEST_F(DispatchTest, FreqButWithNoFrequencyViewChosenIsError5429) {
  LoadSet(2);
  DisplayConfig.PsycSelected = DisplayConfig.FractOctSelected = DisplayConfig.FFTSelected = kFalse;
  DisplayConfig.Graphshown = kImpulseView;
  dialogs.ExpectMessage();
  QTest::mouseClick(w->FreqBut, Qt::LeftButton);
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"Error 5429"}));
  EXPECT_EQ(DisplayConfig.Graphshown, kImpulseView);
  EXPECT_TRUE(w->TimeBut->isChecked());
  EXPECT_TRUE(Take().empty());
}

TEST_F(DispatchTest, NoiseAndSliceButtonsRedrawTheirCaches) {
  LoadSet(3);
  QTest::mouseClick(w->NoiseBut, Qt::LeftButton);
  QTest::mouseClick(w->ModalBut, Qt::LeftButton);
  w->SNRatioMenu->trigger();
  EXPECT_EQ(Take(), (Calls{{"ShowNoiseResponseSet", 3}, {"ShowModalResponseSet", 3}, {"ShowNoiseResponseSet", 3}}));
  EXPECT_TRUE(w->NoiseBut->isChecked());
  EXPECT_EQ(DisplayConfig.Graphshown, kNoiseView);
}

TEST_F(DispatchTest, SettingsMenusNeedDataAndLockWindowOpensFromBothPlaces) {
  std::vector<int32_t> opened;
  int locks = 0;
  ViewWindowHooks.ShowDisplayOptions = [&](int32_t which) { opened.push_back(which); };
  ViewWindowHooks.ShowCoOrdLock = [&] { ++locks; };
  dialogs.ExpectMessage();
  dialogs.ExpectMessage();
  w->TimeSettings->trigger();
  w->FrequencyOptions->trigger();
  ASSERT_EQ(dialogs.calls().size(), 2u);
  for (const auto& c : dialogs.calls()) {
    EXPECT_EQ(c.text, " Data must be loaded before parameters can be set");
    EXPECT_EQ(c.icon, MsgIcon::Exclamation);
    EXPECT_EQ(c.title, "Mirabelt Zentor");
  }
  EXPECT_TRUE(opened.empty());
  LoadSet(1);
  w->TimeSettings->trigger();
  w->FrequencyOptions->trigger();
  EXPECT_EQ(opened, (std::vector<int32_t>{3, 4}));
  w->CoOrdinateLocker->trigger();
  QTest::mouseClick(w->Command4, Qt::LeftButton);
  EXPECT_EQ(locks, 2);
}

// ---- gate controls --------------------------------------------------------------------------

TEST_F(DispatchTest, TwentyMsFromCodeIsSmallButTypedTwentyIsLarge) {
  LoadSet(2);
  DisplayConfig.Graphshown = kImpulseView;
  set.ImpulseGateTime = 20.0f;
  w->UpdateGateControls();
  EXPECT_TRUE(w->SmallGate->isChecked());
  EXPECT_EQ(w->Slider1->value(), 2000);
  EXPECT_EQ(w->GateText->text(), "20");

  TypeGate("20");
  EXPECT_TRUE(w->Largegate->isChecked());
  EXPECT_EQ(w->Slider1->value(), 20);
  EXPECT_FLOAT_EQ(set.ImpulseGateTime, 20.0f);
  EXPECT_EQ(Take(), (Calls{{"ShowMainImpulseSet", 2}}));  // same gate: the cache stands

  TypeGate("12.341");
  EXPECT_TRUE(w->SmallGate->isChecked());
  EXPECT_EQ(w->Slider1->value(), 1234);
  EXPECT_FLOAT_EQ(set.ImpulseGateTime, 12.34f);
  EXPECT_EQ(w->GateText->text(), "12.34");
  EXPECT_EQ(Take(), (Calls{{"ShowMainImpulseSet", 0}}));
  EXPECT_FLOAT_EQ(w->StaticConfig.ImpulseGateTime, 12.34f);
}

TEST_F(DispatchTest, TypedGateOutsideTwoTo2000IsRefusedUnchanged) {
  LoadSet(2);
  DisplayConfig.Graphshown = kNoiseView;
  w->UpdateGateControls();
  const int slider = w->Slider1->value();
  for (const char* text : {"1.99", "2000.5", "abc"}) {
    dialogs.ExpectMessage();
    TypeGate(text);
  }
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"User Error: Input must be between 2 and 2000",
                                                              "User Error: Input must be between 2 and 2000",
                                                              "User Error: Non Numeric Input"}));
  EXPECT_FLOAT_EQ(set.NoiseGateTime, EQConfig.NoiseGateTime);
  EXPECT_EQ(w->Slider1->value(), slider);
  EXPECT_TRUE(Take().empty());

  QTest::keyClick(w->GateText, Qt::Key_A);  // only Enter acts
  QTest::keyClick(w->GateText, Qt::Key_Tab);
  EXPECT_TRUE(Take().empty());
  w->GateText->setText("2");
  QTest::keyClick(w->GateText, Qt::Key_Return);
  EXPECT_FLOAT_EQ(set.NoiseGateTime, 2.0f);
  EXPECT_EQ(Take(), (Calls{{"ShowNoiseResponseSet", 0}}));
}

TEST_F(DispatchTest, ControlsShowEveryStorableGateUnclamped) {
  LoadSet(1);
  DisplayConfig.Graphshown = kBodeView;
  DisplayConfig.FFTSelected = kTrue;
  set.FreqRespGateTime = 0.1f;
  w->UpdateGateControls();
  EXPECT_EQ(w->Slider1->value(), 10);
  EXPECT_EQ(w->GateText->text(), "0.1");

  DisplayConfig.Graphshown = kModalSliceView;
  set.ModalGateTime = 5000.7f;
  w->UpdateGateControls();
  EXPECT_TRUE(w->Largegate->isChecked());
  EXPECT_EQ(w->Slider1->value(), 5001);
  EXPECT_EQ(w->GateText->text(), "5000");

  set.ModalGateTime = 25.5f;
  w->UpdateGateControls();
  EXPECT_EQ(w->Slider1->value(), 26);  // nearest, halves to even
  EXPECT_EQ(w->GateText->text(), "25");
}

TEST_F(DispatchTest, ViewsWithoutAGateLeaveTheControls) {
  LoadSet(1);
  DisplayConfig.Graphshown = kImpulseView;
  set.ImpulseGateTime = 30;
  w->UpdateGateControls();
  for (int32_t view : {kLevelsView, kPsdView}) {
    DisplayConfig.Graphshown = view;
    w->UpdateGateControls();
    EXPECT_EQ(w->Slider1->value(), 30);
    EXPECT_EQ(w->GateText->text(), "30");
  }
  DisplayConfig.Graphshown = kFractOctView;
  DisplayConfig.FractOctSelected = kFalse;
  w->UpdateGateControls();
  EXPECT_EQ(w->GateText->text(), "30");
  DisplayConfig.Graphshown = kPsycView;
  DisplayConfig.PsycSelected = kTrue;
  w->UpdateGateControls();
  EXPECT_EQ(w->GateText->text(), "N/A");
  EXPECT_EQ(w->Slider1->value(), 30);
}

TEST_F(DispatchTest, SliderMovesTheGateOfTheViewShown) {
  LoadSet(2);
  DisplayConfig.Graphshown = kNoiseView;
  set.NoiseGateTime = 10;
  w->UpdateGateControls();
  ASSERT_TRUE(w->SmallGate->isChecked());

  // Small range: hundredths, never below 1 ms; scrolling shows but does not redraw.
  w->Slider1->setSliderDown(true);
  w->Slider1->setSliderPosition(50);
  EXPECT_FLOAT_EQ(set.NoiseGateTime, 1.0f);
  EXPECT_EQ(w->GateText->text(), "1");
  EXPECT_TRUE(Take().empty());
  w->Slider1->setSliderPosition(1555);
  EXPECT_FLOAT_EQ(set.NoiseGateTime, 15.55f);
  w->Slider1->setSliderDown(false);  // release: the change applies
  EXPECT_EQ(Take(), (Calls{{"ShowNoiseResponseSet", 0}}));
  EXPECT_FLOAT_EQ(w->StaticConfig.NoiseGateTime, 15.55f);

  // A keyboard step is a change without a press.
  w->Largegate->click();
  w->Slider1->setValue(300);
  EXPECT_FLOAT_EQ(set.NoiseGateTime, 300.0f);
  EXPECT_EQ(w->GateText->text(), "300");
  EXPECT_EQ(Take(), (Calls{{"ShowNoiseResponseSet", 0}}));

  // The levels view moves the impulse gate; the noise-energy view redraws its cache.
  DisplayConfig.Graphshown = kLevelsView;
  w->Slider1->setValue(40);
  EXPECT_FLOAT_EQ(set.ImpulseGateTime, 40.0f);
  EXPECT_TRUE(Take().empty());
  DisplayConfig.Graphshown = kPsdView;
  w->Slider1->setValue(41);
  EXPECT_EQ(Take(), (Calls{{"ShowPSDEnergy", 2}}));
}

TEST_F(DispatchTest, FillingControlsFromCodeNeverChangesTheView) {
  LoadSet(2);
  DisplayConfig.FFTSelected = kTrue;
  DisplayConfig.Graphshown = kBodeView;
  w->FreqBut_Click();
  Take();
  const MeasurementHeader before = set;
  for (float g : {0.1f, 19.99f, 20.0f, 20.5f, 900.0f, 5.0f}) {
    set.FreqRespGateTime = g;
    w->UpdateGateControls();
    EXPECT_FLOAT_EQ(set.FreqRespGateTime, g);
  }
  set.FreqRespGateTime = before.FreqRespGateTime;
  w->ShowNewGraphic();           // selects FreqBut from code
  DisplayConfig.Graphshown = kNoiseView;
  w->ShowNewGraphic();           // selects NoiseBut from code
  DisplayConfig.Graphshown = kImpulseView;
  w->ShowNewGraphic();           // selects TimeBut from code
  EXPECT_EQ(DisplayConfig.Graphshown, kImpulseView);
  EXPECT_EQ(Take(), (Calls{{"ShowFFTResponseSet", 2}, {"ShowNoiseResponseSet", 2}, {"ShowMainImpulseSet", 2}}));
  EXPECT_FLOAT_EQ(set.ImpulseGateTime, before.ImpulseGateTime);
  EXPECT_FLOAT_EQ(set.NoiseGateTime, before.NoiseGateTime);
}

TEST_F(DispatchTest, LongGatesAreCutToThePeriod) {
  LoadSet(1);
  set.SampleRate = 48000;
  set.PeriodExponent = 15;  // 32768 samples; 2400 are the 50 ms margin
  EXPECT_FLOAT_EQ(w->LimitGateToPeriod(400), 400.0f);
  // (32768 - 2400) / (1.5 x 48 samples per ms) = 421.8: 421 fits, 422 would not.
  EXPECT_FLOAT_EQ(w->LimitGateToPeriod(500), 421.0f);
  EXPECT_LE(421 * 0.001 * 48000 * 1.5 + 2400, 32768);
  EXPECT_GT(422 * 0.001 * 48000 * 1.5 + 2400, 32768);
  set.PeriodExponent = 11;  // shorter than the margin
  EXPECT_FLOAT_EQ(w->LimitGateToPeriod(500), 1.0f);
  EXPECT_FLOAT_EQ(w->LimitGateToPeriod(0.2f), 1.0f);
  set.PeriodExponent = 18;  // a result column holds 2^17
  EXPECT_FLOAT_EQ(w->LimitGateToPeriod(5000), std::floor((131072 - 2400) * 1000.0f / 72000));
  EXPECT_FLOAT_EQ(DataPlotter::ClampSmallGateTime(0.99f), 1.0f);
  EXPECT_FLOAT_EQ(DataPlotter::ClampSmallGateTime(1.5f), 1.5f);
}

// ---- accessors ----------------------------------------------------------------------------------

TEST_F(DispatchTest, BoostCutScalesOnlyTheStoredPeriodOfOneResult) {
  LoadSet(2);
  ImpulseSet[0].fill(1.0f);
  ImpulseSet[1].fill(1.0f);
  set.PeriodExponent = 18;
  w->BoostCut(2, 20.0f);
  int scaled = 0;
  for (float v : ImpulseSet[1]) scaled += (v == 10.0f);
  EXPECT_EQ(scaled, 131072);
  for (float v : ImpulseSet[0]) ASSERT_EQ(v, 1.0f);
  EXPECT_EQ(Take(), (Calls{{"ShowMainImpulseSet", 0}}));

  ImpulseSet[1].fill(1.0f);
  set.PeriodExponent = 10;
  w->BoostCut(2, -6.0f);
  EXPECT_NEAR(ImpulseSet[1][1023], std::pow(10.0, -0.3), 1e-6);
  EXPECT_EQ(ImpulseSet[1][1024], 1.0f);
  Take();
  w->BoostCut(3, 6.0f);
  w->BoostCut(0, 6.0f);
  EXPECT_TRUE(Take().empty());
}

TEST_F(DispatchTest, PsdParametersHoldThirtyTwoSpectra) {
  for (int32_t i = 0; i < 32; ++i) {
    int32_t rate = 44100 + i, exponent = 15;
    ASSERT_TRUE(w->ADDTOPSDParameters(rate, exponent));
    EXPECT_EQ(PsdParameters[i].Exponent, 15);
    EXPECT_EQ(PsdParameters[i].SampleRate, 44100 + i);
  }
  EXPECT_EQ(PsdParameters[0].Count, 32);
  int32_t rate = 48000, exponent = 14;
  dialogs.ExpectMessage();
  EXPECT_FALSE(w->ADDTOPSDParameters(rate, exponent));
  EXPECT_EQ(dialogs.MessageTexts(),
            (std::vector<std::string>{"User Error: only 32 curves can be stored at once. Delete one to continue."}));
  EXPECT_EQ(PsdParameters[0].Count, 32);
  EXPECT_EQ(PsdParameters[32].SampleRate, 0);
}

TEST_F(DispatchTest, SmallAccessorsFallBackAndRefuse) {
  EQConfig.SampleRate = 44100;
  EXPECT_EQ(w->GetSampleRateOfDisplayData(), "44100");  // nothing loaded: the settings
  LoadSet(2);
  EXPECT_EQ(w->GetSampleRateOfDisplayData(), "48000");

  w->IncludeExistingFiltersinFit(1);
  w->IncludeExistingFiltersinFit(2);
  EXPECT_EQ(w->GetIncludeFilters(), kTrue);

  dialogs.ExpectMessage();
  dialogs.ExpectMessage();
  w->SetDisplayCurveNumber(3);
  w->SetDisplayCurveNumber(0);
  w->SetDisplayCurveNumber(2);
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"Error 7428", "Error 7428"}));
  EXPECT_EQ(w->CurveNoText->text(), "2");
}

}  // namespace
}  // namespace zentor

namespace zentor {
namespace {

// With the real builders, start-up leaves the empty impulse frame on the picture.
using test::MainWindowTest;
TEST_F(MainWindowTest, StartUpPictureShowsTheImpulseFrame) {
  DataPlotter* w = Start();
  const QImage& img = w->Picture1->Image();
  ASSERT_FALSE(img.isNull());
  const QRgb back = img.pixel(2, 2);
  int differing = 0;
  for (int y = 0; y < img.height(); y += 3)
    for (int x = 0; x < img.width(); x += 3) differing += img.pixel(x, y) != back;
  EXPECT_GT(differing, 100);  // grid lines and labels
  EXPECT_EQ(TimeGraphFrame.LogX, kFalse);
  EXPECT_GT(TimeGraphFrame.PlotRight, TimeGraphFrame.PlotLeft);  // the frame was laid out by a draw
}

}  // namespace
}  // namespace zentor
