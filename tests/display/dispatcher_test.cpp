// The one redraw road of the main graph without the main window: which builder
// runs with which reuse count, the gate controls, the view buttons and menus, and
// the accessors.
#include <cmath>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "core/records.h"
#include "display/dispatcher.h"
#include "display/graph_frame.h"
#include "display/view_state.h"
#include "platform/forms.h"
#include "support/builder_recorder.h"
#include "views_fixture.h"

namespace zentor {
namespace {

using test::BuilderCall;
using test::BuilderRecorder;

class DispatchTest : public test::ViewsTest {
 protected:
  void SetUp() override {
    ViewsTest::SetUp();
    rb.Install();
    host.view = ViewButton::Time;
  }

  void LoadSet(int32_t n) {
    test::LoadCachedSet(n);
    rb.calls.clear();
  }
  std::vector<BuilderCall> Take() { return rb.Take(); }

  void TypeGate(const char* text) {
    host.gateText.setText(text);
    GateText_KeyPress(host, 13);
  }
  // The gate controls: the large range, the slider and the text.
  std::tuple<bool, int, std::string> Gate() const { return {host.largeGate, host.slider.value(), host.GateText()}; }

  BuilderRecorder rb;
  MeasurementHeader& set = ResultsDataSetInfo[0];
};

using Calls = std::vector<BuilderCall>;

TEST_F(DispatchTest, EachViewHasItsBuilder) {
  LoadSet(3);
  const std::vector<std::pair<int32_t, const char*>> views = {
      {0, "ShowModalResponseSet"}, {1, "ShowNoiseResponseSet"}, {2, "ShowMainImpulseSet"},
      {3, "ShowFFTResponseSet"},   {5, "ShowPSDEnergy"},        {6, "ShowFractOctResponseSet"},
      {7, "ShowPsycResponseSet"}};
  for (auto [view, name] : views) {
    DisplayConfig.Graphshown = view;
    DisplayResults(host, KeepFiledCurves(2));
    EXPECT_EQ(Take(), (Calls{{name, 2}})) << view;
  }
  for (int32_t odd : {-1, 8, 99}) {
    DisplayConfig.Graphshown = odd;
    DisplayResults(host, 0);
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
  DisplayResults(host, kRedrawFiledCurves);
  EXPECT_EQ(Take(), (Calls{{"ShowLevelsImpulse", 0}}));
  const auto& l = rb.levels;
  EXPECT_EQ(std::tuple(l.start, l.ms, l.rate, l.shift, l.level, l.sn), std::tuple(2400, 10.0f, 48000, 17, -12.5f, 41.0f));
  EXPECT_EQ(l.samples, LevelsImpulse.size());
  EXPECT_EQ(std::tuple(FreqGraphFrame.LogX, host.logAxis), std::tuple(kFalse, false));
}

TEST_F(DispatchTest, RedrawKeepsFramesAndButtonsSane) {
  DisplayConfig.Graphshown = kBodeView;
  FreqGraphFrame.LogX = kTrue;
  FreqGraphFrame.XStart = -5;
  FreqGraphFrame.XFinish = 0;
  host.logAxis = false;
  RubberBandState.BoxErased = kFalse;
  DisplayResults(host, 0);
  EXPECT_EQ(std::tuple(FreqGraphFrame.XStart, FreqGraphFrame.XFinish, host.logAxis), std::tuple(1, 2, true));
  EXPECT_EQ(RubberBandState.BoxErased, kTrue);
  EXPECT_EQ(rb.cursorDepthInBuilder, 1);  // the hourglass shows while building, released after

  DisplayConfig.Graphshown = kImpulseView;
  TimeGraphFrame.LogX = kTrue;
  DisplayResults(host, 0);
  EXPECT_EQ(TimeGraphFrame.LogX, kFalse);
}

TEST_F(DispatchTest, BusyDropsAndPlotterToUpdateForcesOneFullRecompute) {
  LoadSet(2);
  DisplayConfig.Graphshown = kBodeView;
  host.busy = true;
  DisplayResults(host, 0);
  EXPECT_TRUE(Take().empty());
  host.busy = false;

  SetPlotterToUpdate();
  DisplayResults(host, kRedrawFiledCurves);
  DisplayResults(host, kRedrawFiledCurves);
  EXPECT_EQ(Take(), (Calls{{"ShowFFTResponseSet", 0}, {"ShowFFTResponseSet", kRedrawFiledCurves}}));
}

TEST_F(DispatchTest, NestedRedrawIsDroppedAndOneRedrawFollows) {
  LoadSet(2);
  DisplayConfig.Graphshown = kFractOctView;
  int nested = 0;
  rb.during = [&] {
    if (nested++ < 3) {  // e.g. a message box whose event loop delivers redraw requests
      DisplayResults(host, 0);
      DisplayResults(host, 0);
    }
  };
  DisplayResults(host, 2);
  EXPECT_EQ(Take(), (Calls{{"ShowFractOctResponseSet", 2}, {"ShowFractOctResponseSet", kRedrawFiledCurves}}));
  rb.during = nullptr;
  DisplayResults(host, 0);
  EXPECT_EQ(Take(), (Calls{{"ShowFractOctResponseSet", 0}}));
}

TEST_F(DispatchTest, SwitchingViewsRedrawsFromTheCacheAndChangedSettingsRecomputeAll) {
  LoadSet(3);
  DisplayConfig.FFTSelected = kTrue;
  FreqBut_Click(host);
  FractOct_Click(host);
  BodeFFT_Click(host);
  Psyc_Click(host);
  EXPECT_EQ(Take(), (Calls{{"ShowFFTResponseSet", 3},
                           {"ShowFractOctResponseSet", 3},
                           {"ShowFFTResponseSet", 3},
                           {"ShowPsycResponseSet", 3}}));
  EXPECT_EQ(DisplayConfig.Graphshown, kPsycView);

  // The options dialog changes the resolution and copies it into the set.
  EQConfig.FractOctRes = 0.1f;
  RefreshOctParms();
  FractOct_Click(host);
  FractOct_Click(host);
  EQConfig.PsycShelfLevel = -3.0f;
  RefreshPsycParms();
  Psyc_Click(host);
  EQConfig.FreqRespGateTime = 3.0f;
  RefreshBodeParms();
  BodeFFT_Click(host);
  BodeFFT_Click(host);
  EXPECT_EQ(Take(), (Calls{{"ShowFractOctResponseSet", 0},
                           {"ShowFractOctResponseSet", 3},
                           {"ShowPsycResponseSet", 0},
                           {"ShowFFTResponseSet", 0},
                           {"ShowFFTResponseSet", 3}}));

  set.NoiseGateTime = 123;
  UpdateNoiseDisplay(host);
  UpdateNoiseDisplay(host);
  set.ModalGateTime = 321;
  UpdateModalDisplay(host);
  UpdateModalDisplay(host);
  set.ImpulseGateTime = 7;
  Impulse_Click(host);
  Impulse_Click(host);
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
    ShowResult(host);
    const Calls c = Take();
    ASSERT_EQ(c.size(), 1u) << view;
    EXPECT_EQ(c[0].first, 3) << view;
  }
  for (int32_t view : {kImpulseView, kNoiseView, kModalSliceView, kPsdView, kLevelsView}) {
    DisplayConfig.Graphshown = view;
    ShowResult(host);
    EXPECT_EQ(Take(), (Calls{{"ShowImpulseCurve", 3}})) << view;
  }
}

TEST_F(DispatchTest, FftUpdateOutsideTheFrequencyButtonOnlyNotesTheGate) {
  LoadSet(2);
  host.view = ViewButton::Time;
  DisplayConfig.Graphshown = kImpulseView;
  set.FreqRespGateTime = 4.5f;
  UpdateFFTDisplay(host);
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(DisplayConfig.Graphshown, kImpulseView);
  EXPECT_FLOAT_EQ(StaticConfig.FreqRespGateTime, 4.5f);
}

TEST_F(DispatchTest, ViewButtonsPickTheirViews) {
  LoadSet(2);
  ImpulseDisplayConfig.ShowETC = kTrue;
  DisplayConfig.Graphshown = kBodeView;
  TimeBut_Click(host);
  EXPECT_EQ(Take(), (Calls{{"ShowMainImpulseSet", 0}}));
  EXPECT_EQ(rb.showEtcInBuilder, kFalse);
  EXPECT_EQ(ImpulseDisplayConfig.ShowETC, kTrue);
  EXPECT_EQ(DisplayConfig.Graphshown, kImpulseView);

  // The frequency button picks the psychoacoustic, then the fractional-octave, then the FFT view.
  const std::pair<int16_t*, int32_t> order[] = {{&DisplayConfig.PsycSelected, kPsycView},
                                                {&DisplayConfig.FractOctSelected, kFractOctView},
                                                {&DisplayConfig.FFTSelected, kBodeView}};
  for (auto [chosen, view] : order) *chosen = kTrue;
  for (auto [chosen, view] : order) {
    FreqBut_Click(host);
    EXPECT_EQ(DisplayConfig.Graphshown, view);
    EXPECT_EQ(Take().size(), 1u);
    *chosen = kFalse;
  }
  // With none chosen it refuses and leaves the view.
  DisplayConfig.Graphshown = kImpulseView;
  host.view = ViewButton::Time;
  dialogs.ExpectMessage();
  FreqBut_Click(host);
  EXPECT_EQ(Messages(), (std::vector<std::string>{"Error 5429"}));
  EXPECT_EQ(DisplayConfig.Graphshown, kImpulseView);
  EXPECT_EQ(host.view, ViewButton::Time);
  EXPECT_TRUE(Take().empty());
}

TEST_F(DispatchTest, TwentyMsFromCodeIsSmallButTypedTwentyIsLarge) {
  LoadSet(2);
  DisplayConfig.Graphshown = kImpulseView;
  set.ImpulseGateTime = 20.0f;
  UpdateGateControls(host);
  EXPECT_EQ(Gate(), std::tuple(false, 2000, std::string("20")));

  TypeGate("20");
  EXPECT_EQ(Gate(), std::tuple(true, 20, std::string("20")));
  EXPECT_FLOAT_EQ(set.ImpulseGateTime, 20.0f);
  EXPECT_EQ(Take(), (Calls{{"ShowMainImpulseSet", 2}}));  // same gate: the cache stands

  TypeGate("12.341");
  EXPECT_EQ(Gate(), std::tuple(false, 1234, std::string("12.34")));
  EXPECT_FLOAT_EQ(set.ImpulseGateTime, 12.34f);
  EXPECT_EQ(Take(), (Calls{{"ShowMainImpulseSet", 0}}));
  EXPECT_FLOAT_EQ(StaticConfig.ImpulseGateTime, 12.34f);
}

TEST_F(DispatchTest, TypedGateOutsideTwoTo2000IsRefusedUnchanged) {
  LoadSet(2);
  DisplayConfig.Graphshown = kNoiseView;
  UpdateGateControls(host);
  const int slider = host.slider.value();
  for (const char* text : {"1.99", "2000.5", "abc"}) {
    dialogs.ExpectMessage();
    TypeGate(text);
  }
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"User Error: Input must be between 2 and 2000",
                                                              "User Error: Input must be between 2 and 2000",
                                                              "User Error: Non Numeric Input"}));
  EXPECT_FLOAT_EQ(set.NoiseGateTime, EQConfig.NoiseGateTime);
  EXPECT_EQ(host.slider.value(), slider);
  EXPECT_TRUE(Take().empty());
}

TEST_F(DispatchTest, ControlsShowEveryStorableGateUnclamped) {
  LoadSet(1);
  DisplayConfig.FFTSelected = kTrue;
  struct Row {
    int32_t view;
    float MeasurementHeader::*gate;
    float value;
    bool large;
    int slider;
    const char* text;
  };
  const Row rows[] = {{kBodeView, &MeasurementHeader::FreqRespGateTime, 0.1f, false, 10, "0.1"},
                      {kModalSliceView, &MeasurementHeader::ModalGateTime, 5000.7f, true, 5001, "5000"},
                      {kModalSliceView, &MeasurementHeader::ModalGateTime, 25.5f, true, 26, "25"}};  // halves to even
  for (const Row& r : rows) {
    DisplayConfig.Graphshown = r.view;
    set.*r.gate = r.value;
    UpdateGateControls(host);
    EXPECT_EQ(Gate(), std::tuple(r.large, r.slider, std::string(r.text))) << r.value;
  }
}

TEST_F(DispatchTest, ViewsWithoutAGateLeaveTheControls) {
  LoadSet(1);
  DisplayConfig.Graphshown = kImpulseView;
  set.ImpulseGateTime = 30;
  UpdateGateControls(host);
  for (int32_t view : {kLevelsView, kPsdView}) {
    DisplayConfig.Graphshown = view;
    UpdateGateControls(host);
    EXPECT_EQ(Gate(), std::tuple(true, 30, std::string("30"))) << view;
  }
  DisplayConfig.Graphshown = kFractOctView;
  DisplayConfig.FractOctSelected = kFalse;
  UpdateGateControls(host);
  EXPECT_EQ(host.GateText(), "30");
  DisplayConfig.Graphshown = kPsycView;
  DisplayConfig.PsycSelected = kTrue;
  UpdateGateControls(host);
  EXPECT_EQ(host.GateText(), "N/A");
  EXPECT_EQ(host.slider.value(), 30);
}

TEST_F(DispatchTest, LongGatesAreCutToThePeriod) {
  LoadSet(1);
  set.SampleRate = 48000;
  set.PeriodExponent = 15;  // 32768 samples; 2400 are the 50 ms margin
  EXPECT_FLOAT_EQ(LimitGateToPeriod(400), 400.0f);
  // (32768 - 2400) / (1.5 x 48 samples per ms) = 421.8: 421 fits, 422 would not.
  EXPECT_FLOAT_EQ(LimitGateToPeriod(500), 421.0f);
  set.PeriodExponent = 11;  // shorter than the margin
  EXPECT_FLOAT_EQ(LimitGateToPeriod(500), 1.0f);
  EXPECT_FLOAT_EQ(LimitGateToPeriod(0.2f), 1.0f);
  set.PeriodExponent = 18;  // a result column holds 2^17
  EXPECT_FLOAT_EQ(LimitGateToPeriod(5000), std::floor((131072 - 2400) * 1000.0f / 72000));
  EXPECT_FLOAT_EQ(ClampSmallGateTime(0.99f), 1.0f);
  EXPECT_FLOAT_EQ(ClampSmallGateTime(1.5f), 1.5f);
}

TEST_F(DispatchTest, BoostCutScalesOnlyTheStoredPeriodOfOneResult) {
  LoadSet(2);
  ImpulseSet[0].fill(1.0f);
  ImpulseSet[1].fill(1.0f);
  set.PeriodExponent = 18;
  BoostCut(host, 2, 20.0f);
  int scaled = 0;
  for (float v : ImpulseSet[1]) scaled += (v == 10.0f);
  EXPECT_EQ(scaled, 131072);
  for (float v : ImpulseSet[0]) ASSERT_EQ(v, 1.0f);
  EXPECT_EQ(Take(), (Calls{{"ShowMainImpulseSet", 0}}));
  // The noise and modal views have no change flag: their caches empty instead.
  EXPECT_EQ(NoiseCurves[0].NumCurves, 0);
  EXPECT_EQ(ModalCurves[1].NumCurves, 0);
  EXPECT_EQ(BodeCurves[0].NumCurves, 2);

  ImpulseSet[1].fill(1.0f);
  set.PeriodExponent = 10;
  BoostCut(host, 2, -6.0f);
  EXPECT_NEAR(ImpulseSet[1][1023], std::pow(10.0, -0.3), 1e-6);
  EXPECT_EQ(ImpulseSet[1][1024], 1.0f);
  Take();
  BoostCut(host, 3, 6.0f);
  BoostCut(host, 0, 6.0f);
  EXPECT_TRUE(Take().empty());
}

TEST_F(DispatchTest, PsdParametersHoldThirtyTwoSpectra) {
  for (int32_t i = 0; i < 32; ++i) {
    int32_t rate = 44100 + i, exponent = 15;
    ASSERT_TRUE(ADDTOPSDParameters(rate, exponent));
    EXPECT_EQ(std::pair(PsdParameters[i].Exponent, PsdParameters[i].SampleRate), std::pair(15, 44100 + i));
  }
  EXPECT_EQ(PsdParameters[0].Count, 32);
  int32_t rate = 48000, exponent = 14;
  dialogs.ExpectMessage();
  EXPECT_FALSE(ADDTOPSDParameters(rate, exponent));
  EXPECT_EQ(dialogs.MessageTexts(),
            (std::vector<std::string>{"User Error: only 32 curves can be stored at once. Delete one to continue."}));
  EXPECT_EQ(PsdParameters[0].Count, 32);
  EXPECT_EQ(PsdParameters[32].SampleRate, 0);
}

TEST_F(DispatchTest, SmallAccessorsFallBackAndRefuse) {
  EQConfig.SampleRate = 44100;
  EXPECT_EQ(GetSampleRateOfDisplayData(), "44100");  // nothing loaded: the settings
  LoadSet(2);
  EXPECT_EQ(GetSampleRateOfDisplayData(), "48000");

  IncludeExistingFiltersinFit(1);
  IncludeExistingFiltersinFit(2);
  EXPECT_EQ(GetIncludeFilters(), kTrue);
}

}  // namespace
}  // namespace zentor
