// One result at a time: the impulse view with its equalised twin and report, the
// energy-time curves, the frequency and noise views, the shifts of an impulse,
// and the curve selector that dispatches among them.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "base/text_number.h"
#include "core/emulation.h"
#include "core/helpers.h"
#include "core/filter_design.h"
#include "core/filter_run.h"
#include "core/results_store.h"
#include "display/dispatcher.h"
#include "display/single_curve_views.h"
#include "platform/forms.h"
#include "views_fixture.h"

namespace zentor {
namespace {

constexpr float kTwoPi = 2 * std::numbers::pi_v<float>;
using Texts = std::vector<std::string>;

// |sum y e^(-j 2 pi f t)| over a time record (x in ms).
double SpectrumAt(const CurveRecord& c, double f) {
  std::complex<double> s = 0;
  for (int32_t i = 0; i < c.NumPoints; ++i)
    s += static_cast<double>(c.YValues[i]) * std::polar(1.0, -2 * std::numbers::pi * f * c.XValues[i] / 1000.0);
  return std::abs(s);
}

int32_t PeakIndex(const CurveRecord& c) {
  return static_cast<int32_t>(std::max_element(c.YValues.begin(), c.YValues.begin() + c.NumPoints) -
                              c.YValues.begin());
}

class SingleCurveViewsTest : public test::ViewsTest {
 protected:
  void SetUp() override {
    ViewsTest::SetUp();
    SetDefaultImpulseDisplay(ImpulseDisplayConfig);
  }
  // n results holding a unit impulse at time zero.
  void LoadDeltas(int32_t n, int32_t fs, int32_t exponent) {
    LoadSet(n, fs, exponent);
    for (int32_t i = 0; i < n; ++i) ImpulseSet[static_cast<size_t>(i)][static_cast<size_t>(fs / 20)] = 1.0f;
  }
  // One boost filter at 1 kHz: Q1 -4, Q2 2 (+6.02 dB).
  void ApplyOnePeak() {
    AppliedFilters[0] = FilterRecord{};
    AppliedFilters[0].Count = 1;
    AppliedFilters[0].Freq1 = kTwoPi * 1000;
    AppliedFilters[0].Q1 = -4;
    AppliedFilters[0].Q2 = 2;
    AppliedFilters[0].EQEmulationCode = 2;
  }
  void ExpectReleased() {
    EXPECT_FALSE(host.busy);
    EXPECT_EQ(WaitCursor::Depth(), 0);
  }
};

TEST_F(SingleCurveViewsTest, ImpulseWindowFollowsTheRateAndTheLowPassDecimation) {
  LoadDeltas(2, 96000, 17);
  ShowImpulseCurve(host, 1);
  ExpectReleased();
  const CurveRecord& c = SingleViewCurves[0];
  ASSERT_EQ(c.NumPoints, 2000);
  EXPECT_FLOAT_EQ(c.XValues[0], -2.0f);
  EXPECT_NEAR(c.XValues[1999], -2.0 + 1999 / 96.0, 1e-4);
  EXPECT_EQ(c.Label, "Impulse Response ");
  EXPECT_FLOAT_EQ(c.YValues[192], 30.0f);  // time zero, 2 ms in
  EXPECT_EQ(host.curveNoText.text().toStdString(), "2");
  EXPECT_FALSE(CurvesIn(PlotColours[3]).empty());

  // A band under 300 Hz spreads 2000 points over sixteen times as long; past the
  // data the samples read as silence.
  LoadDeltas(1, 48000, 14);
  ImpulseDisplayConfig.FilterOn = kTrue;
  ImpulseDisplayConfig.UpperCutoffFreq = 200;
  ShowImpulseCurve(host, 0);
  ExpectReleased();
  EXPECT_EQ(c.Label, "Filtered Impulse Response ");
  EXPECT_FLOAT_EQ(c.XValues[0], -10.0f);
  EXPECT_NEAR(c.XValues[1999], 656.33, 0.01);
  EXPECT_EQ(TimeGraphFrame.XStart, -10);
  EXPECT_EQ(TimeGraphFrame.XFinish, 656);
  EXPECT_EQ(c.YValues[1999], 0.0f);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(SingleCurveViewsTest, DistanceFoldsIntoOnePeriodInWholeMillimetres) {
  EXPECT_EQ(MicSpeakerDistanceLine(48000, 0, 16), "Mic-Spkr Dist = 17.15 m");
  EXPECT_EQ(MicSpeakerDistanceLine(48000, 0, 10), "Mic-Spkr Dist = 2.51 m");
  for (int32_t shift : {-2400, -2401, -5000, -70000, -1000000}) {
    const std::string line = MicSpeakerDistanceLine(48000, shift, 12);
    EXPECT_EQ(line.find('-', 10), std::string::npos) << shift << ": " << line;
  }
  // A period of no length does not fold.
  EXPECT_EQ(MicSpeakerDistanceLine(400000, 0, 0), "Mic-Spkr Dist = 17.15 m");

  LoadDeltas(1, 48000, 16);
  ResultsDataSetInfo[0].PeakLevel = -12.5f;
  ResultsDataSetInfo[0].NoiseEnergy = 61;
  ShowImpulseCurve(host, 0);
  EXPECT_EQ(host.lines, (Texts{"Mic-Spkr Dist = 17.15 m", "Input Signal = -12.5 dB", "Input Signal S/N = 61 dB"}));
}

TEST_F(SingleCurveViewsTest, TwinCarriesTheAppliedFilter) {
  LoadDeltas(1, 48000, 17);
  ApplyOnePeak();
  ShowImpulseCurve(host, 0);
  ExpectReleased();
  ASSERT_EQ(SingleViewCurves[0].NumCurves, 2);
  const CurveRecord &plain = SingleViewCurves[0], &twin = SingleViewCurves[1];
  EXPECT_EQ(twin.Label, "Filtered Impulse Response*");
  EXPECT_NEAR(20 * std::log10(SpectrumAt(twin, 1000) / SpectrumAt(plain, 1000)), 6.02, 0.1);
  EXPECT_FALSE(CurvesIn(PlotColours[4]).empty());

  ImpulseDisplayConfig.FilterOn = kTrue;
  ImpulseDisplayConfig.LowerCutoffFreq = 100;
  ImpulseDisplayConfig.UpperCutoffFreq = 10000;
  ShowImpulseCurve(host, 0);
  EXPECT_EQ(twin.Label, "EQ + Filtered Impulse Response*");
  EXPECT_NEAR(20 * std::log10(SpectrumAt(twin, 1000) / SpectrumAt(plain, 1000)), 6.02, 0.1);
}

TEST_F(SingleCurveViewsTest, BusyHostDropsTheViewAndItsOwnBusyDropsARedraw) {
  LoadDeltas(1, 48000, 14);
  host.busy = true;
  ShowImpulseCurve(host, 0);
  EXPECT_EQ(SingleViewCurves[0].NumCurves, 0);
  EXPECT_TRUE(rec.calls().empty());
  host.busy = false;

  // A redraw asked for while the view runs finds the host busy and does nothing.
  struct RedrawingHost : test::RecordingHost {
    void ShowListLines(std::span<const std::string> l) override {
      RecordingHost::ShowListLines(l);
      busyInside = busyInside && busy;
      const int before = repaints;
      DisplayResults(*this, kRecomputeAllCurves);
      redrawn += repaints - before;
    }
    bool busyInside = true;
    int redrawn = 0;
  } probe;
  for (int16_t etc : {kFalse, kTrue}) {
    ImpulseDisplayConfig.ShowETC = etc;
    ShowImpulseCurve(probe, 0);
    EXPECT_TRUE(probe.busyInside);
    EXPECT_EQ(probe.redrawn, 0);
    EXPECT_FALSE(probe.busy);
    EXPECT_EQ(WaitCursor::Depth(), 0);
  }
  // And an abandoned view lets go too.
  ImpulseDisplayConfig.ETCMinHigh = 0;
  dialogs.ExpectMessage();
  ShowImpulseCurve(host, 0);
  EXPECT_EQ(Messages(), Texts{"Error 4324"});
  ExpectReleased();
}

TEST_F(SingleCurveViewsTest, DeltaPeaksAtZeroInEveryDefaultBandAndTheFrameIsRestored) {
  LoadDeltas(1, 48000, 16);
  ImpulseDisplayConfig.ShowETC = kTrue;
  TimeGraphFrame.XStart = -5;
  TimeGraphFrame.XFinish = 50;
  ShowImpulseCurve(host, 0);
  ExpectReleased();
  ASSERT_EQ(SingleViewCurves[0].NumCurves, 3);
  for (int s = 0; s < 3; ++s) {
    const CurveRecord& c = SingleViewCurves[s];
    ASSERT_EQ(c.NumPoints, 2000);
    const int32_t p = PeakIndex(c);
    EXPECT_NEAR(c.YValues[p], 0.0f, 0.05) << s;
    EXPECT_NEAR(c.XValues[p], 0.0f, 1.0) << s;
    EXPECT_FALSE(CurvesIn(PlotColours[s + 3]).empty()) << s;
  }
  EXPECT_EQ(SingleViewCurves[0].Label, " ETC [dB] 1 KHz to 2 KHz");
  EXPECT_EQ(SingleViewCurves[1].Label, " ETC [dB] 1.5 KHz to 2.5 KHz");
  ASSERT_EQ(host.lines.size(), 5u);
  EXPECT_EQ(Texts(host.lines.begin(), host.lines.begin() + 2),
            (Texts{"Dir. Energy Time: 80 ms", "Total Energy Time: 300 ms"}));
  EXPECT_EQ(host.lines[2].rfind("1000 Hz - 2000 Hz = ", 0), 0u) << host.lines[2];
  EXPECT_EQ(test::LimitsOf(TimeGraphFrame), (test::FrameLimits{-5, 50, -30, 30}));
  EXPECT_EQ(host.curveNoText.text().toStdString(), "1");
  EXPECT_TRUE(Messages().empty());
}

TEST_F(SingleCurveViewsTest, DirectToReverberantRatioMatchesTheBandPassedEnergy) {
  constexpr int32_t fs = 48000;
  LoadSet(1, fs, 17);
  auto& x = ImpulseSet[0];
  x[2400] = 1.0f;
  std::mt19937 gen(7);
  std::normal_distribution<float> noise(0.0f, 0.05f);
  const double tau = 0.4 / std::log(1000.0);  // amplitude falls 60 dB in 0.4 s
  for (int32_t i = 2400 + 240; i < (1 << 17); ++i)
    x[i] = noise(gen) * static_cast<float>(std::exp(-(i - 2400) / static_cast<double>(fs) / tau));

  // The oracle: the band-passed samples squared, without any envelope.
  std::vector<float> band(x.begin(), x.begin() + (1 << 17)), scratch(1 << 17);
  FilterBlock block;
  ASSERT_TRUE(BandPassFilterSignal(band, scratch, fs, 17, 1000, 2000, block));
  double direct = 0, late = 0;
  for (int32_t i = 0; i < 16800; ++i) (i < 6240 ? direct : late) += double{band[i]} * band[i];
  const double want = 10 * std::log10(direct / late);

  ImpulseDisplayConfig.ShowETC = kTrue;
  ImpulseDisplayConfig.ApplyMidETC = ImpulseDisplayConfig.ApplyHighETC = kFalse;
  ShowImpulseCurve(host, 0);
  float ratio = 0;
  ASSERT_TRUE(ComputeETC(host, 0, 17, 1000, 2000, 0, ratio));
  EXPECT_NEAR(10 * std::log10(ratio), want, 1.0);
  ASSERT_EQ(host.lines.size(), 3u);
  EXPECT_EQ(host.lines[2], "1000 Hz - 2000 Hz = " + FormatDouble(Fix(100 * std::log10(ratio)) * 0.1) + " dB");
}

TEST_F(SingleCurveViewsTest, BandSwitchesEdgesAndReverberationLimits) {
  LoadDeltas(1, 48000, 15);
  ImpulseDisplayConfig.ShowETC = kTrue;
  // No reverberant time: every band says so and reads 0 dB.
  ImpulseDisplayConfig.ETCDRPlusRev = 50;
  for (int i = 0; i < 3; ++i) dialogs.ExpectMessage();
  ShowImpulseCurve(host, 0);
  EXPECT_EQ(Messages(), (Texts{"Error 4529", "Error 4529", "Error 4529"}));
  ASSERT_EQ(host.lines.size(), 5u);
  EXPECT_EQ(host.lines[4], "2000 Hz - 3000 Hz = 0 dB");
  dialogs.Clear();

  // All bands off: the two lines and an empty frame.
  SetDefaultImpulseDisplay(ImpulseDisplayConfig);
  ImpulseDisplayConfig.ShowETC = kTrue;
  ImpulseDisplayConfig.ApplyLowETC = ImpulseDisplayConfig.ApplyMidETC = ImpulseDisplayConfig.ApplyHighETC = kFalse;
  rec.Clear();
  ShowImpulseCurve(host, 0);
  EXPECT_EQ(host.lines.size(), 2u);
  EXPECT_EQ(SingleViewCurves[0].NumCurves, 0);
  EXPECT_TRUE(rec.Of(RecordingSurface::Kind::Polyline).empty());

  // Mid and high only: slots 0 and 1 in the first two band colours.
  ImpulseDisplayConfig.ApplyMidETC = ImpulseDisplayConfig.ApplyHighETC = kTrue;
  ShowImpulseCurve(host, 0);
  EXPECT_EQ(SingleViewCurves[0].NumCurves, 2);
  EXPECT_EQ(SingleViewCurves[0].Label, " ETC [dB] 1.5 KHz to 2.5 KHz");
  EXPECT_FALSE(CurvesIn(PlotColours[3]).empty());
  EXPECT_FALSE(CurvesIn(PlotColours[4]).empty());
  EXPECT_TRUE(CurvesIn(PlotColours[5]).empty());

  // Equal mid edges stop the view after the low band, the limits left as set.
  ImpulseDisplayConfig.ApplyLowETC = kTrue;
  ImpulseDisplayConfig.ETCMidHigh = ImpulseDisplayConfig.ETCMidLow;
  dialogs.ExpectMessage();
  ShowImpulseCurve(host, 0);
  EXPECT_EQ(Messages(), Texts{"Error 4325"});
  EXPECT_EQ(SingleViewCurves[0].NumCurves, 1);
  EXPECT_EQ(TimeGraphFrame.XFinish, 30);
  ExpectReleased();
}

TEST_F(SingleCurveViewsTest, HighRatesTakeEverySecondSampleAndNarrowLowBandsStayInTheData) {
  LoadDeltas(1, 96000, 17);
  ImpulseDisplayConfig.ShowETC = kTrue;
  ShowImpulseCurve(host, 0);
  const CurveRecord& c = SingleViewCurves[0];
  EXPECT_FLOAT_EQ(c.XValues[0], -10.0f);
  EXPECT_NEAR(c.XValues[1999] - c.XValues[0], 1999 * 2 / 96.0, 1e-3);
  EXPECT_NEAR(c.XValues[PeakIndex(c)], 0.0f, 1.0);

  // A 1 Hz wide band asks for a window far longer than 2^15 samples.
  LoadDeltas(1, 48000, 15);
  ImpulseDisplayConfig.ETCMinLow = 20;
  ImpulseDisplayConfig.ETCMinHigh = 21;
  ImpulseDisplayConfig.ApplyMidETC = ImpulseDisplayConfig.ApplyHighETC = kFalse;
  ShowImpulseCurve(host, 0);
  ASSERT_EQ(c.NumPoints, 2000);
  for (int32_t i = 0; i < 2000; ++i) ASSERT_TRUE(std::isfinite(c.YValues[i]) && c.YValues[i] >= -100.0f) << i;
  ExpectReleased();
}

TEST_F(SingleCurveViewsTest, ShiftsRotateAndComeBackBitForBit) {
  LoadSet(2, 48000, 12);
  for (int32_t i = 0; i < 4096; ++i) ImpulseSet[1][i] = std::sin(0.01f * i * i);
  const auto before = ImpulseSet[1];
  ResultsDataSetInfo[1].ImpulseShift = 7;
  int unsaved = 0;
  ResultsStoreHooks.MarkResultsUnsaved = [&] { ++unsaved; };

  ShiftImpulseLeft(host, 2, 10);
  EXPECT_EQ(ImpulseSet[1][0], before[10]);
  EXPECT_EQ(ImpulseSet[1][4095], before[9]);
  EXPECT_EQ(ResultsDataSetInfo[1].ImpulseShift, -3);
  EXPECT_EQ(unsaved, 1);
  EXPECT_EQ(SingleViewCurves[0].NumPoints, 2000);  // shown again
  ShiftImpulseRight(host, 2, 10);
  EXPECT_EQ(ImpulseSet[1], before);
  EXPECT_EQ(ResultsDataSetInfo[1].ImpulseShift, 7);

  unsaved = 0;
  dialogs.ExpectMessage();
  dialogs.ExpectMessage();
  ShiftImpulseRight(host, 0, 10);
  ShiftImpulseLeft(host, 3, 10);
  EXPECT_EQ(Messages(), (Texts{"User Error: Curve Number must be between 1 and the number of curves available",
                               "User Error: Curve Number exceeds that available"}));
  EXPECT_EQ(ImpulseSet[1], before);
  EXPECT_EQ(unsaved, 0);
  ExpectReleased();
}

TEST_F(SingleCurveViewsTest, FrequencyViewShowsEachResponseAndItsTwin) {
  LoadDeltas(2, 48000, 17);
  for (int32_t view : {kBodeView, kPsycView, kFractOctView}) {
    DisplayConfig.Graphshown = view;
    DisplayResults(host, kRecomputeAllCurves);
  }
  ResultsDataSetInfo[0].FreqRespGateTime = 10;
  ResultsDataSetInfo[0].FractOctRes = 0.333f;
  ResultsDataSetInfo[0].FractOctGateTime = 50;

  dialogs.ExpectMessage();
  DisplayConfig.ShowBodeInSingleView = DisplayConfig.ShowPsycInSingleView = DisplayConfig.ShowFractOctInSingleView = 0;
  ShowFrequencyCurve(host, 1);
  EXPECT_EQ(Messages(),
            Texts{"User Error: You must click the SC view checkbox in the Result Options window to see results"});

  ApplyOnePeak();
  DisplayConfig.ShowBodeInSingleView = DisplayConfig.ShowPsycInSingleView = DisplayConfig.ShowFractOctInSingleView = 1;
  ShowFrequencyCurve(host, 1);
  ASSERT_EQ(SingleViewCurves[0].NumCurves, 6);
  const Texts want{"Bode 10 ms", "Bode 10 ms*", "PsychoAcoustic", "PsychoAcoustic*", "0.33Oct / 50ms",
                   "0.33Oct/50ms*"};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(SingleViewCurves[i].Label, want[i]);
  // The Bode twin stands 6 dB above its plain curve at 1 kHz.
  const CurveRecord &bode = SingleViewCurves[0], &twin = SingleViewCurves[1];
  const float lift = GetFirstValueInRange(995, 1005, twin.XValues, twin.YValues, twin.NumPoints) -
                     GetFirstValueInRange(995, 1005, bode.XValues, bode.YValues, bode.NumPoints);
  EXPECT_NEAR(lift, 6.02, 0.1);
  EXPECT_TRUE(HasText("2 "));
}

TEST_F(SingleCurveViewsTest, NoiseViewsDrawTheFrameAloneOrTheMeanOfMatchingCurves) {
  LoadSet(3, 48000, 14);
  test::SetLimits(FreqGraphFrame, {20, 20000, -7, 9});
  ShowNoiseCurve(host, 0);
  EXPECT_EQ(SingleViewCurves[0].NumCurves, 0);
  EXPECT_TRUE(rec.Of(RecordingSurface::Kind::Polyline).empty());
  EXPECT_EQ(FreqGraphFrame.YLow, -7);

  NoiseCurves[0].NumCurves = 3;
  for (int c = 0; c < 3; ++c) {
    NoiseCurves[c].NumPoints = c == 2 ? 50 : 100;
    for (int i = 0; i < 100; ++i) {
      NoiseCurves[c].XValues[i] = 100.0f + 10.0f * i;
      NoiseCurves[c].YValues[i] = c == 0 ? 40.0f + 0.1f * i : 60.0f + 0.1f * i;
    }
  }
  ShowSPLAverageCurve(host);
  const CurveRecord& r = SingleViewCurves[0];
  ASSERT_EQ(r.NumCurves, 1);
  EXPECT_NEAR(r.YValues[0], 50.0f, 1e-4);  // the third curve has another length
  EXPECT_NEAR(r.YValues[99], 59.9f, 1e-4);
  EXPECT_EQ(test::LimitsOf(FreqGraphFrame), (test::FrameLimits{20, 20000, 49, 61}));
  EXPECT_TRUE(HasText(" SPL Average"));

  ShowNoiseCurve(host, 1);
  EXPECT_EQ(r.Label, "S/N ratio " + FormatSingle(ResultsDataSetInfo[0].NoiseGateTime) + " ms");
  EXPECT_EQ(test::LimitsOf(FreqGraphFrame), (test::FrameLimits{20, 20000, 60, 70}));
  // No point in the x range: the limits stay.
  FreqGraphFrame.XStart = 5000;
  ShowNoiseCurve(host, 1);
  EXPECT_EQ(FreqGraphFrame.YLow, 60);
}

TEST_F(SingleCurveViewsTest, FilterCacheNotesEachChange) {
  ApplyOnePeak();
  EXPECT_FALSE(FilterSetUnchanged(kBodeView));
  EXPECT_TRUE(FilterSetUnchanged(kBodeView));
  EXPECT_FALSE(FilterSetUnchanged(kPsycView));  // each view keeps its own
  AppliedFilters[0].Q2 = 3;
  EXPECT_FALSE(FilterSetUnchanged(kBodeView));
  EXPECT_TRUE(FilterSetUnchanged(kImpulseView));
}

TEST_F(SingleCurveViewsTest, SelectorDispatchesByViewAndAverage) {
  LoadDeltas(3, 48000, 14);
  for (int32_t view : {kLevelsView, kPsdView}) {
    DisplayConfig.Graphshown = view;
    int32_t n = 2;
    ShowCurveView(host, n);
    EXPECT_TRUE(rec.calls().empty()) << view;
  }
  DisplayConfig.Graphshown = kNoiseView;
  DisplayConfig.Average = kTrue;
  int32_t n = 3;
  host.curveNoText.setText("3");
  ShowCurveView(host, n);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(host.curveNoText.text().toStdString(), "1");
  DisplayConfig.Average = 0;

  DisplayConfig.Graphshown = kImpulseView;
  n = 3;
  ShowCurveView(host, n);
  EXPECT_EQ(host.curveNoText.text().toStdString(), "3");
  EXPECT_EQ(SingleViewCurves[0].NumPoints, 2000);
  ExpectReleased();

  // A filter of the first emulation cannot run at 96 kHz: nothing is shown.
  LoadDeltas(1, 96000, 14);
  ApplyOnePeak();
  AppliedFilters[0].EQEmulationCode = 1;
  rec.Clear();
  dialogs.ExpectMessage();
  n = 1;
  ShowCurveView(host, n);
  EXPECT_EQ(Messages().size(), 1u);
  EXPECT_TRUE(rec.calls().empty());
}

TEST_F(SingleCurveViewsTest, SelectorSetsTheShownViewsSwitchAndListsSimilarities) {
  LoadDeltas(2, 48000, 17);
  DisplayConfig.Graphshown = kBodeView;
  DisplayResults(host, kRecomputeAllCurves);
  DisplayConfig.ShowBodeInSingleView = DisplayConfig.ShowPsycInSingleView = DisplayConfig.ShowFractOctInSingleView = 0;
  int32_t n = 2;
  ShowCurveView(host, n);
  EXPECT_EQ(DisplayConfig.ShowBodeInSingleView, 1);
  EXPECT_EQ(SingleViewCurves[0].Label, "Bode " + FormatSingle(ResultsDataSetInfo[0].FreqRespGateTime) + " ms");
  ASSERT_FALSE(host.lines.empty());
  EXPECT_EQ(host.lines[0], " Curve Similarities");

  // A fit on the average lists nothing; all three switches on are left alone.
  host.lines.clear();
  SingularityList[0].Average = -1;
  DisplayConfig.ShowBodeInSingleView = 0;
  DisplayConfig.ShowPsycInSingleView = DisplayConfig.ShowFractOctInSingleView = 2;
  ShowCurveView(host, n);
  EXPECT_TRUE(host.lines.empty());
  EXPECT_EQ(DisplayConfig.ShowBodeInSingleView, 1);
  DisplayConfig.ShowBodeInSingleView = 3;
  dialogs.ExpectMessage();
  ShowCurveView(host, n);
  EXPECT_EQ(DisplayConfig.ShowBodeInSingleView, 3);
}

}  // namespace
}  // namespace zentor
