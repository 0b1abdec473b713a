// The time views and one result at a time: impulse, levels, noise energy, gated spectrum, ETC and selector.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "base/text_number.h"
#include "core/emulation.h"
#include "core/filter_design.h"
#include "core/filter_run.h"
#include "core/helpers.h"
#include "core/results_store.h"
#include "display/dispatcher.h"
#include "display/plot_colours.h"
#include "display/single_curve_views.h"
#include "display/time_views.h"
#include "platform/forms.h"
#include "views_fixture.h"

namespace zentor {
namespace {

using test::ViewsTest;
using Kind = RecordingSurface::Kind;

// A delta at time zero reads 0 dB at every point, the points stopping at fs/2 instead
// of mirroring; a transform longer than the period sees silence beyond it, not scratch.
// The case, the rate, the exponent, the gate, the points and the first frequency.
const std::tuple<const char*, int32_t, int32_t, float, int32_t, float> kFlat[] = {{"1 ms gate: k = 12, 11.72 Hz bins from 1000 Hz", 48000, 17, 1.0f, 1963, 1000.0f},
                          {"10 ms gate: 2000 points from 100 Hz", 48000, 17, 10.0f, 2000, 100.0f},
                          {"2^11 samples at 8 kHz in a 2^12 transform", 8000, 11, 1.0f, 1537, 1000.0f}};

// A decaying resonance starting at the 50 ms reference point.
void AddResonance(std::array<float, kMaxSamples>& x, double fs, double f, double decayMs, double amp) {
  const auto start = static_cast<size_t>(std::lround(0.05 * fs));
  for (size_t i = 0; i + start < x.size() && i < static_cast<size_t>(fs * 0.2); ++i) {
    const double t = i / fs;
    x[start + i] += static_cast<float>(amp * std::exp(-t * 1000 / decayMs) * std::sin(2 * std::numbers::pi * f * t));
  }
}

TEST_F(ViewsTest, GatedSpectrumFFTLengthImpulseLevelsAndNoiseEnergyViews) {
  std::array<float, 2001> level{}, freq{};
  int32_t n = -1;
  const auto Run = [&] {
    return ComputeGatedFFTMagnitude(host, ImpulseSet[0], 0, level, freq, n, ResultsDataSetInfo[0]);
  };
  for (auto [name, fs, exponent, gate, points, first] : kFlat) {
    SCOPED_TRACE(name);
    LoadSet(1, fs, exponent);
    host.displayRes = 0;
    ResultsDataSetInfo[0].FreqRespGateTime = gate;
    ImpulseSet[0][static_cast<size_t>(fs / 20)] = 1.0f;
    std::fill(WorkCurve2.begin(), WorkCurve2.end(), 1.0f);
    ASSERT_TRUE(Run());
    EXPECT_EQ(n, points);
    EXPECT_FLOAT_EQ(freq[0], first);
    if (n < 2000) {
      EXPECT_LE(freq[n - 1], fs / 2.0f);
      EXPECT_GT(freq[n - 1] + fs / 4096.0f, fs / 2.0f);
    }
    for (int32_t i = 0; i < n; ++i) ASSERT_NEAR(level[i], 0.0, 1e-3) << i;
  }
  // A gate longer than the period is refused, the out arrays untouched.
  LoadSet(1, 48000, 15);
  ResultsDataSetInfo[0].FreqRespGateTime = 700.0f;
  MainBuffer.Num = 2000;
  MainBuffer.YValues.fill(5.0f);
  MainBuffer.XValues.fill(5.0f);
  level.fill(7.0f);
  n = -1;
  EXPECT_EQ(MessageOf([&] { EXPECT_FALSE(Run()); }),
            "User Error: Gate time chosen is too large for curve data. Reduce gate time");
  EXPECT_EQ(MainBuffer.YValues[1999], 0.0f);
  EXPECT_EQ(MainBuffer.XValues[0], 0.0f);
  EXPECT_EQ(level[0], 7.0f);  // the out arrays are untouched
  EXPECT_EQ(n, -1);

  // An exponent above 17 is lowered in the header itself.
  ResultsDataSetInfo[0].PeriodExponent = 20;
  ResultsDataSetInfo[0].FreqRespGateTime = 10.0f;
  EXPECT_TRUE(Run());
  EXPECT_EQ(ResultsDataSetInfo[0].PeriodExponent, 17);
  // A Butterworth low-pass reads its own response.
  host.displayRes = 4;
  constexpr double fs = 48000, fc = 1000;
  LoadSet(1, 48000, 17);
  ResultsDataSetInfo[0].FreqRespGateTime = 10.0f;
  // Bilinear second-order Butterworth, run from a unit impulse at the gate's time zero.
  const double K = std::tan(std::numbers::pi * fc / fs);
  const double norm = 1 / (1 + std::numbers::sqrt2 * K + K * K);
  const double b0 = K * K * norm, b1 = 2 * b0, b2 = b0;
  const double a1 = 2 * (K * K - 1) * norm, a2 = (1 - std::numbers::sqrt2 * K + K * K) * norm;
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  for (int i = 2400; i < 2400 + 4000; ++i) {
    const double x = i == 2400 ? 1.0 : 0.0;
    const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1, x1 = x, y2 = y1, y1 = y;
    ImpulseSet[0][static_cast<size_t>(i)] = static_cast<float>(y);
  }
  ASSERT_TRUE(Run());
  ASSERT_EQ(n, 2000);
  for (int32_t i = 0; i < n; ++i) {
    const std::complex<double> z = std::polar(1.0, 2 * std::numbers::pi * freq[i] / fs);
    const std::complex<double> zi = 1.0 / z;
    const std::complex<double> H = (b0 + b1 * zi + b2 * zi * zi) / (1.0 + a1 * zi + a2 * zi * zi);
    ASSERT_NEAR(level[i], 20 * std::log10(std::abs(H)), 0.1) << freq[i] << " Hz";
  }
  // The FFT length follows the gate, the resolution and the period.
  LoadSet(1, 48000, 17);
  // The display resolution, the set's exponent, the gate, the exponent asked and the one given.
  const std::array<int32_t, 5> rows[] = {{4, 17, 10, 17, 14},   // 720 + 2400 samples fit 2^14
                                         {0, 17, 10, 17, 12},   // grows from 10 to 12 for the 50 ms
                                         {0, 17, 0, 17, 12},    // no gate
                                         {0, 11, 10, 11, 12},   // the set's exponent caps before the floor lifts
                                         {4, 15, 300, 17, 15},  // a long gate
                                         // Values from a bad file neither hang nor leave 12..17.
                                         {1000000, 1 << 30, 10, 1 << 30, 17}};
  for (auto [res, header, gate, exponent, want] : rows) {
    host.displayRes = res;
    ResultsDataSetInfo[0].PeriodExponent = header;
    EXPECT_EQ(GetFFTSizeFromGateTime(host, float(gate), exponent, 48000), want) << res << " " << gate;
  }
  // Nothing to cover and no extra resolution: k would be 0.
  host.displayRes = 0;
  ResultsDataSetInfo[0].PeriodExponent = 17;
  EXPECT_EQ(MessageOf([&] { EXPECT_EQ(GetFFTSizeFromGateTime(host, 0.0f, 0, 48000), 12); }), "Error 3410");
  // The impulse view draws, redraws and refuses; the levels and noise-energy views.
  LoadSet(3, 48000, 17);
  host.displayRes = 4;
  AddResonance(ImpulseSet[0], 48000, 400, 3, 1.0);
  AddResonance(ImpulseSet[1], 48000, 1200, 1.5, 0.5);
  AddResonance(ImpulseSet[2], 48000, 150, 6, 2.0);
  DisplayConfig.Graphshown = kImpulseView;
  ResultsDataSetInfo[2].ImpulseGateTime = 999;  // every result takes result 1's gate
  ASSERT_TRUE(ShowMainImpulseSet(host, 0));
  EXPECT_EQ(ResultsDataSetInfo[2].ImpulseGateTime, 20.0f);
  ASSERT_EQ(ImpulseCurves[0].NumCurves, 3);
  for (int i = 0; i < 3; ++i) {
    const CurveRecord& c = ImpulseCurves[i];
    EXPECT_EQ(c.NumPoints, 2000);
    EXPECT_EQ(c.Label, Str(static_cast<int32_t>(i + 1)));
    EXPECT_FLOAT_EQ(c.XValues[0], -10.0f);
    EXPECT_NEAR(c.XValues[480], 0.0f, 1e-6);  // the reference point sits 10 ms in
    const float peak = *std::max_element(c.YValues.begin(), c.YValues.begin() + 2000,
                                         [](float a, float b) { return std::abs(a) < std::abs(b); });
    EXPECT_NEAR(std::abs(peak), 30.0f, 1e-3);
    EXPECT_EQ(c.YValues[100], 0.0f);  // silence before the resonance starts
    EXPECT_FALSE(CurvesIn(GetCurveColour(i)).empty()) << i;
    EXPECT_TRUE(HasText(Str(static_cast<int32_t>(i + 1)))) << i;
  }
  EXPECT_TRUE(HasText("Impulse Response [ms]"));
  EXPECT_EQ(std::pair(TimeGraphFrame.YLow, TimeGraphFrame.YHigh), std::pair(-30, 30));
  // A redraw draws the filed curves without reading the results.
  ImpulseSet[1].fill(0.0f);
  ImpulseCurves[1].YValues[0] = 11.0f;
  rec.Clear();
  ASSERT_TRUE(ShowMainImpulseSet(host, kRedrawFiledCurves));
  EXPECT_EQ(ImpulseCurves[1].YValues[0], 11.0f);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(CurvesIn(GetCurveColour(i)).size(), 1u) << i;
  EXPECT_EQ(host.view, ViewButton::Time);

  // Above 48 kHz the axis starts earlier.
  LoadSet(1, 96000, 17);
  ImpulseSet[0][4800] = 1.0f;
  ASSERT_TRUE(ShowMainImpulseSet(host, 0));
  EXPECT_FLOAT_EQ(ImpulseCurves[0].XValues[0], -2.0f);
  EXPECT_FLOAT_EQ(ImpulseCurves[0].YValues[192], 30.0f);  // the delta, 2 ms in
  // Refusals: a gate too long for curve 1's period, thirty-three results, none.
  ClearCurveRecords(ImpulseCurves);
  LoadSet(2, 48000, 15, 700.0f);
  ImpulseSet[0][2400] = ImpulseSet[1][2400] = 1.0f;
  EXPECT_EQ(MessageOf([&] { EXPECT_TRUE(ShowMainImpulseSet(host, 0)); }),
            "User Error: Gate time chosen is too large for curve 1 test signal period length");
  EXPECT_EQ(ImpulseCurves[0].NumCurves, 0);
  LoadSet(2, 48000, 15, 120.0f);
  ImpulseSet[0][2400] = ImpulseSet[1][2400] = 1.0f;
  EXPECT_TRUE(ShowMainImpulseSet(host, 0));
  EXPECT_EQ(ImpulseCurves[0].NumCurves, 2);

  // Thirty-three results: refusal and an empty frame.
  rec.Clear();
  ResultsDataSetInfo[0].NumInSet = 33;
  EXPECT_EQ(MessageOf([&] { EXPECT_FALSE(ShowMainImpulseSet(host, 0)); }),
            "User Error: 32 measurements can be loaded at one time. Delete one result or start Az new measurement "
            "session to continue.");
  EXPECT_TRUE(rec.Of(Kind::Polyline).empty());
  EXPECT_FALSE(rec.Of(Kind::Line).empty());

  ResultsDataSetInfo[0].NumInSet = 0;
  EXPECT_FALSE(ShowMainImpulseSet(host, 0));
  // The levels view reports distance and levels; the noise-energy view files, averages and places its spectra.
  LevelsImpulse[2400] = 0.25f;
  ShowLevelsImpulse(host, LevelsImpulse, 2400, 10.0f, 48000, 0, -12.5f, 41.0f);
  EXPECT_EQ(host.lines, (std::vector<std::string>{"Mic-Spkr Dist = 17.15 m", "Input Signal = -12.5 dB",
                                                  "Input Signal S/N = 41 dB"}));
  const CurveRecord& levels = LevelsCurves[0];
  EXPECT_EQ(std::tuple(DisplayConfig.Graphshown, levels.Label, levels.XValues[0], levels.YValues[480]),
            std::tuple(kLevelsView, std::string("Levels Test"), -10.0f, 30.0f));
  EXPECT_TRUE(HasText("Continuity Check"));

  // 100 samples further: 100 / 48000 s x 343 m/s more.
  ShowLevelsImpulse(host, LevelsImpulse, 2400, 10.0f, 48000, 100, 0, 0);
  EXPECT_EQ(host.lines[0], "Mic-Spkr Dist = 17.864 m");

  EXPECT_EQ(MessageOf([&] { ShowLevelsImpulse(host, LevelsImpulse, 2400, 10.0f, 0, 0, 0, 0); }), "Error 3012");
  // A window reaching past the recording is refused rather than read.
  EXPECT_EQ(MessageOf([&] { ShowLevelsImpulse(host, LevelsImpulse, kLevelsImpulseSamples - 100, 10, 48000, 0, 0, 0); }),
            "Error 8715");

  // The distance folds into one period, in whole millimetres.
  EXPECT_EQ(MicSpeakerDistanceLine(48000, 0, 10), "Mic-Spkr Dist = 2.51 m");
  for (int32_t shift : {-2400, -2401, -5000, -70000, -1000000}) {
    const std::string line = MicSpeakerDistanceLine(48000, shift, 12);
    EXPECT_EQ(line.find('-', 10), std::string::npos) << shift << ": " << line;
  }
  // A period of no length does not fold.
  EXPECT_EQ(MicSpeakerDistanceLine(400000, 0, 0), "Mic-Spkr Dist = 17.15 m");
  // The noise-energy view files each spectrum once, averages them, and places them over half the rate until the store is full.
  // What the measurement window does after a noise recording.
  const auto Record = [&](int32_t fs, int32_t e, float value) {
    std::fill(WorkCurveAux.begin(), WorkCurveAux.end(), value);
    ASSERT_TRUE(ADDTOPSDParameters(fs, e));
    ASSERT_TRUE(ShowPSDEnergy(host, 0));
  };
  DisplayConfig.Graphshown = kPsdView;
  rec.Clear();  // nothing held: the empty frame
  EXPECT_TRUE(ShowPSDEnergy(host, 0));
  EXPECT_EQ(PsdCurves[0].NumCurves, 0);
  EXPECT_TRUE(rec.Of(Kind::Polyline).empty());

  Record(48000, 15, -40.0f);
  ASSERT_EQ(std::tuple(PsdCurves[0].NumCurves, PsdCurves[0].Label, PsdCurves[0].NumPoints),
            std::tuple(1, std::string(" 1"), 2000));
  // (the log axis lifts points below 1 Hz to 1 as it draws them)
  EXPECT_FLOAT_EQ(PsdCurves[0].XValues[100], 100 * 48000.0f / 65536.0f);
  EXPECT_FLOAT_EQ(PsdCurves[0].YValues[1999], -40.0f);
  EXPECT_FLOAT_EQ(PsdSet[0][32767], -40.0f);

  // Redraws and zooms never refile the scratch.
  std::fill(WorkCurveAux.begin(), WorkCurveAux.end(), 3.0f);
  DisplayResults(host, kRecomputeAllCurves);
  DisplayResults(host, kRedrawFiledCurves);
  EXPECT_EQ(PsdCurves[0].NumCurves, 1);
  EXPECT_FLOAT_EQ(PsdSet[0][5], -40.0f);

  // Spectra average in power; no results loaded: no count messages.
  Record(48000, 15, -30.0f);
  DisplayConfig.Average = kTrue;
  host.avgBox = true;
  rec.Clear();
  ASSERT_TRUE(ShowPSDEnergy(host, kRedrawFiledCurves));
  EXPECT_FLOAT_EQ(AverageCurves[0].YValues[10], -35.0f);
  EXPECT_TRUE(HasText(" Power Average"));
  EXPECT_EQ(DisplayConfig.Average, kTrue);
  PsdCurves[1].NumPoints = 100;
  rec.Clear();
  EXPECT_EQ(MessageOf([&] { EXPECT_TRUE(ShowPSDEnergy(host, kRedrawFiledCurves)); }), "8734 ");
  EXPECT_EQ(std::tuple(DisplayConfig.Average, host.avgBox), std::tuple(kFalse, false));  // box and flag agree
  EXPECT_TRUE(HasText(" 2"));  // the single curves instead

  // A short spectrum gives only its own values.
  Record(8000, 9, -20.0f);
  EXPECT_EQ(PsdCurves[2].NumPoints, 512);
  EXPECT_FLOAT_EQ(PsdCurves[2].XValues[511], 511 * 8000.0f / 1024);

  // A full store refuses only a new recording.
  PsdCurves[0].NumCurves = 32;
  EXPECT_TRUE(ShowPSDEnergy(host, 0));  // a redraw
  PsdRecordingPending = true;
  EXPECT_EQ(MessageOf([&] { EXPECT_FALSE(ShowPSDEnergy(host, 0)); }),
            "User Error: only 32 curves can be stored at once. Delete one to continue.");
}

using Texts = std::vector<std::string>;

// |sum y e^(-j 2 pi f t)| over a time record (x in ms).
double SpectrumAt(const CurveRecord& c, double f) {
  std::complex<double> s = 0;
  for (int32_t i = 0; i < c.NumPoints; ++i)
    s += static_cast<double>(c.YValues[i]) * std::polar(1.0, -2 * std::numbers::pi * f * c.XValues[i] / 1000.0);
  return std::abs(s);
}

class SingleCurveViewsTest : public test::ViewsTest {
 protected:
  void SetUp() override {
    ViewsTest::SetUp();
    SetDefaultImpulseDisplay(ImpulseDisplayConfig);
  }
  // One boost filter at 1 kHz: Q1 -4, Q2 2 (+6.02 dB).
  void ApplyOnePeak() {
    FilterRecord& f = AppliedFilters[0] = FilterRecord{};
    f.Count = 1, f.Freq1 = 2000 * std::numbers::pi_v<float>, f.Q1 = -4, f.Q2 = 2, f.EQEmulationCode = 2;
  }
};

TEST_F(SingleCurveViewsTest, ImpulseWindowFollowsTheRateAndDecimationReportsTheResultAndKeepsOutOfBusyHosts) {
  LoadDeltas(2, 96000, 17);
  ResultsDataSetInfo[1].PeakLevel = -12.5f;
  ResultsDataSetInfo[1].NoiseEnergy = 61;
  ShowImpulseCurve(host, 1);
  const CurveRecord& c = SingleViewCurves[0];
  ASSERT_EQ(c.NumPoints, 2000);
  EXPECT_FLOAT_EQ(c.XValues[0], -2.0f);
  EXPECT_NEAR(c.XValues[1999], -2.0 + 1999 / 96.0, 1e-4);
  EXPECT_EQ(c.Label, "Impulse Response ");
  EXPECT_FLOAT_EQ(c.YValues[192], 30.0f);  // time zero, 2 ms in
  EXPECT_EQ(host.curveNoText.text().toStdString(), "2");
  EXPECT_FALSE(CurvesIn(PlotColours[3]).empty());
  EXPECT_EQ(host.lines, (Texts{"Mic-Spkr Dist = 17.15 m", "Input Signal = -12.5 dB", "Input Signal S/N = 61 dB"}));

  // A band under 300 Hz spreads 2000 points over sixteen times as long; past the
  // data the samples read as silence.
  LoadDeltas(1, 48000, 14);
  ImpulseDisplayConfig.FilterOn = kTrue;
  ImpulseDisplayConfig.UpperCutoffFreq = 200;
  ShowImpulseCurve(host, 0);
  EXPECT_EQ(c.Label, "Filtered Impulse Response ");
  EXPECT_FLOAT_EQ(c.XValues[0], -10.0f);
  EXPECT_NEAR(c.XValues[1999], 656.33, 0.01);
  EXPECT_EQ(std::pair(TimeGraphFrame.XStart, TimeGraphFrame.XFinish), std::pair(-10, 656));
  EXPECT_EQ(c.YValues[1999], 0.0f);
  // A busy host drops the view, and the view's own busy drops a redraw asked for inside it.
  SetDefaultImpulseDisplay(ImpulseDisplayConfig);
  ClearCurveRecords(SingleViewCurves);
  rec.Clear();
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
  }
  // And an abandoned view lets go too.
  ImpulseDisplayConfig.ETCMinHigh = 0;
  dialogs.ExpectMessage();
  ShowImpulseCurve(host, 0);
  EXPECT_EQ(Messages(), Texts{"Error 4324"});
}

TEST_F(SingleCurveViewsTest, TwinCarriesTheAppliedFilterAndTheCacheNotesEachChange) {
  LoadDeltas(1, 48000, 17);
  ApplyOnePeak();
  const CurveRecord &plain = SingleViewCurves[0], &twin = SingleViewCurves[1];
  for (const char* label : {"Filtered Impulse Response*", "EQ + Filtered Impulse Response*"}) {
    ShowImpulseCurve(host, 0);
    ASSERT_EQ(plain.NumCurves, 2);
    EXPECT_EQ(twin.Label, label);
    EXPECT_NEAR(20 * std::log10(SpectrumAt(twin, 1000) / SpectrumAt(plain, 1000)), 6.02, 0.1);
    EXPECT_FALSE(CurvesIn(PlotColours[4]).empty());
    ImpulseDisplayConfig.FilterOn = kTrue;
    ImpulseDisplayConfig.LowerCutoffFreq = 100;
    ImpulseDisplayConfig.UpperCutoffFreq = 10000;
  }
  // The filter cache notes each change, view by view.
  AppliedFilters[0].Q2 = 1;
  EXPECT_FALSE(FilterSetUnchanged(kBodeView));
  EXPECT_TRUE(FilterSetUnchanged(kBodeView));
  EXPECT_FALSE(FilterSetUnchanged(kPsycView));  // each view keeps its own
  AppliedFilters[0].Q2 = 3;
  EXPECT_FALSE(FilterSetUnchanged(kBodeView));
  EXPECT_TRUE(FilterSetUnchanged(kImpulseView));
}

TEST_F(SingleCurveViewsTest, DeltaPeaksAtZeroInEveryDefaultBandAndTheFrameIsRestored) {
  ImpulseDisplayConfig.ShowETC = kTrue;
  for (auto [fs, exponent] : {std::pair{48000, 16}, {96000, 17}}) {  // above 48 kHz every second sample
    SCOPED_TRACE(fs);
    LoadDeltas(1, fs, exponent);
    test::SetLimits(TimeGraphFrame, {-5, 50, -30, 30});
    ShowImpulseCurve(host, 0);
    ASSERT_EQ(SingleViewCurves[0].NumCurves, 3);
    for (int s = 0; s < 3; ++s) {
      const CurveRecord& c = SingleViewCurves[s];
      ASSERT_EQ(c.NumPoints, 2000);
      EXPECT_FLOAT_EQ(c.XValues[0], -10.0f);
      EXPECT_NEAR(c.XValues[1999] - c.XValues[0], 1999 / 48.0, 1e-3);
      const auto p = std::max_element(c.YValues.begin(), c.YValues.begin() + c.NumPoints) - c.YValues.begin();
      EXPECT_NEAR(c.YValues[p], 0.0f, 0.05) << s;
      EXPECT_NEAR(c.XValues[p], 0.0f, 1.0) << s;
      EXPECT_FALSE(CurvesIn(PlotColours[s + 3]).empty()) << s;
    }
    EXPECT_EQ(Texts({SingleViewCurves[0].Label, SingleViewCurves[1].Label}),
              (Texts{" ETC [dB] 1 KHz to 2 KHz", " ETC [dB] 1.5 KHz to 2.5 KHz"}));
    ASSERT_EQ(host.lines.size(), 5u);
    EXPECT_EQ(Texts(host.lines.begin(), host.lines.begin() + 2),
              (Texts{"Dir. Energy Time: 80 ms", "Total Energy Time: 300 ms"}));
    EXPECT_EQ(host.lines[2].rfind("1000 Hz - 2000 Hz = ", 0), 0u) << host.lines[2];
    EXPECT_EQ(test::LimitsOf(TimeGraphFrame), (test::FrameLimits{-5, 50, -30, 30}));
  }
  EXPECT_EQ(host.curveNoText.text().toStdString(), "1");
}

TEST_F(SingleCurveViewsTest, DirectToReverberantRatioMatchesTheBandPassedEnergyAndBandSwitchesEdgesAndLimitsHold) {
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
  // Band switches, equal edges and reverberation limits; narrow bands stay in the data.
  LoadDeltas(1, 48000, 15);
  SetDefaultImpulseDisplay(ImpulseDisplayConfig);
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

  // A narrow low band stays in the data: 1 Hz wide, it asks for a window far longer than 2^15 samples.
  const CurveRecord& c = SingleViewCurves[0];
  dialogs.Clear();
  ImpulseDisplayConfig.ETCMinLow = 20;
  ImpulseDisplayConfig.ETCMinHigh = 21;
  ImpulseDisplayConfig.ApplyMidETC = ImpulseDisplayConfig.ApplyHighETC = kFalse;
  ShowImpulseCurve(host, 0);
  ASSERT_EQ(c.NumPoints, 2000);
  for (int32_t i = 0; i < 2000; ++i) ASSERT_TRUE(std::isfinite(c.YValues[i]) && c.YValues[i] >= -100.0f) << i;
}

TEST_F(SingleCurveViewsTest, ShiftsTheSelectorTheFrequencyViewWithItsTwinsAndTheNoiseViews) {
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
  // The selector dispatches by view and average, sets the shown view's switch and lists similarities.
  LoadDeltas(3, 48000, 14);
  rec.Clear();
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
  EXPECT_EQ(std::pair(n, host.curveNoText.text().toStdString()), std::pair(1, std::string("1")));
  DisplayConfig.Average = 0;

  DisplayConfig.Graphshown = kImpulseView;
  n = 3;
  ShowCurveView(host, n);
  EXPECT_EQ(std::pair(host.curveNoText.text().toStdString(), SingleViewCurves[0].NumPoints),
            std::pair(std::string("3"), 2000));

  // A filter of the first emulation cannot run at 96 kHz: nothing is shown.
  LoadDeltas(1, 96000, 14);
  ApplyOnePeak();
  AppliedFilters[0].EQEmulationCode = 1;
  rec.Clear();
  dialogs.ExpectMessage();
  n = 1;
  ShowCurveView(host, n);
  EXPECT_TRUE(rec.calls().empty());

  // The selector sets the shown view's switch and lists similarities.
  LoadDeltas(2, 48000, 17);
  dialogs.Clear();
  DisplayConfig.Graphshown = kBodeView;
  DisplayResults(host, kRecomputeAllCurves);
  DisplayConfig.ShowBodeInSingleView = DisplayConfig.ShowPsycInSingleView = DisplayConfig.ShowFractOctInSingleView = 0;
  n = 2;
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
  // The frequency view shows each response and its twin; the noise views the frame or the mean.
  LoadDeltas(2, 48000, 17);
  dialogs.Clear();
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
  // The noise views draw the frame alone or the mean of matching curves.
  LoadSet(3, 48000, 14);
  rec.Clear();
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

}  // namespace
}  // namespace zentor
