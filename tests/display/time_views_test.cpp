// The impulse, levels and noise-energy views, the FFT-length rule and the gated
// spectrum against closed-form responses, without the main window.
#include <QImage>
#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

#include "base/text_number.h"
#include "core/helpers.h"
#include "display/plot_colours.h"
#include "core/results_store.h"
#include "display/dispatcher.h"
#include "display/time_views.h"
#include "views_fixture.h"

namespace zentor {
namespace {

using test::ViewsTest;
using Kind = RecordingSurface::Kind;

TEST_F(ViewsTest, FFTExponentFollowsGateResolutionAndPeriod) {
  LoadSet(1, 48000, 17);
  host.displayRes = 4;
  EXPECT_EQ(GetFFTSizeFromGateTime(host, 10.0f, 17, 48000), 14);  // 720 + 2400 fits 2^14
  host.displayRes = 0;
  EXPECT_EQ(GetFFTSizeFromGateTime(host, 10.0f, 17, 48000), 12);  // grows from 10 to 12 for the 50 ms
  EXPECT_EQ(GetFFTSizeFromGateTime(host, 0.0f, 17, 48000), 12);
  dialogs.ExpectMessage();  // nothing to cover and no extra resolution: k would be 0
  EXPECT_EQ(GetFFTSizeFromGateTime(host, 0.0f, 0, 48000), 12);
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 3410");

  // The set's own exponent caps before the floor of 12 lifts.
  ResultsDataSetInfo[0].PeriodExponent = 11;
  EXPECT_EQ(GetFFTSizeFromGateTime(host, 10.0f, 11, 48000), 12);
  ResultsDataSetInfo[0].PeriodExponent = 15;
  host.displayRes = 4;
  EXPECT_EQ(GetFFTSizeFromGateTime(host, 300.0f, 17, 48000), 15);
  // Exponents and resolutions from a bad file neither hang nor leave 12..17.
  host.displayRes = 1000000;
  ResultsDataSetInfo[0].PeriodExponent = 1 << 30;
  EXPECT_EQ(GetFFTSizeFromGateTime(host, 10.0f, 1 << 30, 48000), 17);
}

class GatedSpectrumTest : public ViewsTest {
 protected:
  std::array<float, 2001> level{}, freq{};
  int32_t n = -1;
  bool Run(int32_t result) {
    return ComputeGatedFFTMagnitude(host, ImpulseSet[static_cast<size_t>(result)], 0, level, freq, n,
                                       ResultsDataSetInfo[static_cast<size_t>(result)]);
  }
};

// A delta at time zero reads 0 dB at every point, the points stopping at fs/2 instead
// of mirroring; a transform longer than the period sees silence beyond it, not scratch.
struct FlatCase {
  const char* name;
  int32_t fs, exponent;
  float gate;
  int32_t points;
  float first;
};
const FlatCase kFlat[] = {{"1 ms gate: k = 12, 11.72 Hz bins from 1000 Hz", 48000, 17, 1.0f, 1963, 1000.0f},
                          {"10 ms gate: 2000 points from 100 Hz", 48000, 17, 10.0f, 2000, 100.0f},
                          {"2^11 samples at 8 kHz in a 2^12 transform", 8000, 11, 1.0f, 1537, 1000.0f}};

TEST_F(GatedSpectrumTest, DeltaAtTimeZeroIsFlatUpToNyquist) {
  for (const FlatCase& c : kFlat) {
    SCOPED_TRACE(c.name);
    LoadSet(1, c.fs, c.exponent);
    host.displayRes = 0;
    ResultsDataSetInfo[0].FreqRespGateTime = c.gate;
    ImpulseSet[0][static_cast<size_t>(c.fs / 20)] = 1.0f;
    std::fill(WorkCurve2.begin(), WorkCurve2.end(), 1.0f);
    ASSERT_TRUE(Run(0));
    EXPECT_EQ(n, c.points);
    EXPECT_FLOAT_EQ(freq[0], c.first);
    if (n < 2000) {
      EXPECT_LE(freq[n - 1], c.fs / 2.0f);
      EXPECT_GT(freq[n - 1] + c.fs / 4096.0f, c.fs / 2.0f);
    }
    for (int32_t i = 0; i < n; ++i) ASSERT_NEAR(level[i], 0.0, 1e-3) << i;
  }
}

TEST_F(GatedSpectrumTest, ButterworthLowPassMatchesItsResponse) {
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
  ASSERT_TRUE(Run(0));
  ASSERT_EQ(n, 2000);
  for (int32_t i = 0; i < n; ++i) {
    const std::complex<double> z = std::polar(1.0, 2 * std::numbers::pi * freq[i] / fs);
    const std::complex<double> zi = 1.0 / z;
    const std::complex<double> H = (b0 + b1 * zi + b2 * zi * zi) / (1.0 + a1 * zi + a2 * zi * zi);
    ASSERT_NEAR(level[i], 20 * std::log10(std::abs(H)), 0.1) << freq[i] << " Hz";
  }
}

TEST_F(GatedSpectrumTest, GateLongerThanThePeriodIsRefused) {
  LoadSet(1, 48000, 15);
  ResultsDataSetInfo[0].FreqRespGateTime = 700.0f;
  MainBuffer.Num = 2000;
  MainBuffer.YValues.fill(5.0f);
  MainBuffer.XValues.fill(5.0f);
  level.fill(7.0f);
  dialogs.ExpectMessage();
  EXPECT_FALSE(Run(0));
  EXPECT_EQ(dialogs.MessageTexts().back(), "User Error: Gate time chosen is too large for curve data. Reduce gate time");
  EXPECT_EQ(MainBuffer.YValues[1999], 0.0f);
  EXPECT_EQ(MainBuffer.XValues[0], 0.0f);
  EXPECT_EQ(level[0], 7.0f);  // the out arrays are untouched
  EXPECT_EQ(n, -1);

  // An exponent above 17 is lowered in the header itself.
  ResultsDataSetInfo[0].PeriodExponent = 20;
  ResultsDataSetInfo[0].FreqRespGateTime = 10.0f;
  EXPECT_TRUE(Run(0));
  EXPECT_EQ(ResultsDataSetInfo[0].PeriodExponent, 17);
}

// A decaying resonance starting at the 50 ms reference point.
void AddResonance(std::array<float, kMaxSamples>& x, double fs, double f, double decayMs, double amp) {
  const auto start = static_cast<size_t>(std::lround(0.05 * fs));
  for (size_t i = 0; i + start < x.size() && i < static_cast<size_t>(fs * 0.2); ++i) {
    const double t = i / fs;
    x[start + i] += static_cast<float>(amp * std::exp(-t * 1000 / decayMs) * std::sin(2 * std::numbers::pi * f * t));
  }
}

TEST_F(ViewsTest, ImpulseViewDrawsEveryResultInItsColourWithLegend) {
  LoadSet(3, 48000, 17);
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
  EXPECT_EQ(TimeGraphFrame.YHigh, 30);
  EXPECT_EQ(TimeGraphFrame.YLow, -30);

  // The same on a picture, saved for a look.
  DrawOnPicture(1200, 640);
  TimeGraphFrame.XStart = -10;
  TimeGraphFrame.XFinish = 32;
  DisplayResults(host, kRecomputeAllCurves);
  EXPECT_GT(PixelsOf(KeptPicture("impulse_view.png"), GetCurveColour(0)), 20);

  // Above 48 kHz the axis starts earlier.
  LoadSet(1, 96000, 17);
  ImpulseSet[0][4800] = 1.0f;
  ASSERT_TRUE(ShowMainImpulseSet(host, 0));
  EXPECT_FLOAT_EQ(ImpulseCurves[0].XValues[0], -2.0f);
  EXPECT_FLOAT_EQ(ImpulseCurves[0].YValues[192], 30.0f);  // the delta, 2 ms in
}

TEST_F(ViewsTest, ImpulseViewRefusals) {
  // A gate too long for curve 1's period.
  LoadSet(2, 48000, 15, 700.0f);
  ImpulseSet[0][2400] = ImpulseSet[1][2400] = 1.0f;
  dialogs.ExpectMessage();
  EXPECT_TRUE(ShowMainImpulseSet(host, 0));
  EXPECT_EQ(dialogs.MessageTexts().back(),
            "User Error: Gate time chosen is too large for curve 1 test signal period length");
  EXPECT_EQ(ImpulseCurves[0].NumCurves, 0);
  LoadSet(2, 48000, 15, 120.0f);
  ImpulseSet[0][2400] = ImpulseSet[1][2400] = 1.0f;
  EXPECT_TRUE(ShowMainImpulseSet(host, 0));
  EXPECT_EQ(ImpulseCurves[0].NumCurves, 2);

  // Thirty-three results: refusal and an empty frame.
  rec.Clear();
  ResultsDataSetInfo[0].NumInSet = 33;
  dialogs.ExpectMessage();
  EXPECT_FALSE(ShowMainImpulseSet(host, 0));
  EXPECT_EQ(dialogs.MessageTexts().back(),
            "User Error: 32 measurements can be loaded at one time. Delete one result or start Az new measurement "
            "session to continue.");
  EXPECT_TRUE(rec.Of(Kind::Polyline).empty());
  EXPECT_FALSE(rec.Of(Kind::Line).empty());

  ResultsDataSetInfo[0].NumInSet = 0;
  EXPECT_FALSE(ShowMainImpulseSet(host, 0));
}

TEST_F(ViewsTest, ImpulseRedrawUsesTheFiledCurves) {
  LoadSet(2, 48000, 17);
  ImpulseSet[0][2400] = ImpulseSet[1][2400] = 1.0f;
  ASSERT_TRUE(ShowMainImpulseSet(host, 0));
  ImpulseSet[0].fill(0.0f);  // not read by a redraw
  ImpulseCurves[1].YValues[0] = 11.0f;
  rec.Clear();
  ASSERT_TRUE(ShowMainImpulseSet(host, kRedrawFiledCurves));
  EXPECT_EQ(ImpulseCurves[1].YValues[0], 11.0f);
  EXPECT_EQ(CurvesIn(GetCurveColour(0)).size(), 1u);
  EXPECT_EQ(CurvesIn(GetCurveColour(1)).size(), 1u);
  EXPECT_EQ(host.view, ViewButton::Time);
}

TEST_F(ViewsTest, LevelsViewReportsDistanceAndLevels) {
  LevelsImpulse[2400] = 0.25f;
  ShowLevelsImpulse(host, LevelsImpulse, 2400, 10.0f, 48000, 0, -12.5f, 41.0f);
  EXPECT_EQ(host.lines, (std::vector<std::string>{"Mic-Spkr Dist = 17.15 m", "Input Signal = -12.5 dB",
                                                  "Input Signal S/N = 41 dB"}));
  EXPECT_EQ(DisplayConfig.Graphshown, kLevelsView);
  EXPECT_EQ(LevelsCurves[0].Label, "Levels Test");
  EXPECT_FLOAT_EQ(LevelsCurves[0].XValues[0], -10.0f);
  EXPECT_FLOAT_EQ(LevelsCurves[0].YValues[480], 30.0f);
  EXPECT_TRUE(HasText("Continuity Check"));

  // 100 samples further: 100 / 48000 s x 343 m/s more.
  ShowLevelsImpulse(host, LevelsImpulse, 2400, 10.0f, 48000, 100, 0, 0);
  EXPECT_EQ(host.lines[0], "Mic-Spkr Dist = 17.864 m");

  dialogs.ExpectMessage();
  ShowLevelsImpulse(host, LevelsImpulse, 2400, 10.0f, 0, 0, 0, 0);
  EXPECT_EQ(LastMessage(), "Error 3012");
  // A window reaching past the recording is refused rather than read.
  dialogs.ExpectMessage();
  ShowLevelsImpulse(host, LevelsImpulse, kLevelsImpulseSamples - 100, 10.0f, 48000, 0, 0, 0);
  EXPECT_EQ(LastMessage(), "Error 8715");
}

class PsdViewTest : public ViewsTest {
 protected:
  // What the measurement window does after a noise recording.
  void Record(int32_t fs, int32_t e, float value) {
    std::fill(WorkCurveAux.begin(), WorkCurveAux.end(), value);
    ASSERT_TRUE(ADDTOPSDParameters(fs, e));
    ASSERT_TRUE(ShowPSDEnergy(host, 0));
  }
};

TEST_F(PsdViewTest, SpectrumIsFiledOnceAndPlacedOverHalfTheRateUntilTheStoreIsFull) {
  DisplayConfig.Graphshown = kPsdView;
  // Nothing held: the empty frame.
  EXPECT_TRUE(ShowPSDEnergy(host, 0));
  EXPECT_EQ(PsdCurves[0].NumCurves, 0);
  EXPECT_TRUE(rec.Of(Kind::Polyline).empty());

  Record(48000, 15, -40.0f);
  ASSERT_EQ(PsdCurves[0].NumCurves, 1);
  EXPECT_EQ(PsdCurves[0].Label, " 1");
  EXPECT_EQ(PsdCurves[0].NumPoints, 2000);
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

  // A short spectrum gives only its own values.
  Record(8000, 9, -20.0f);
  EXPECT_EQ(PsdCurves[1].NumPoints, 512);
  EXPECT_FLOAT_EQ(PsdCurves[1].XValues[511], 511 * 8000.0f / 1024);

  // A full store refuses only a new recording.
  PsdCurves[0].NumCurves = 32;
  EXPECT_TRUE(ShowPSDEnergy(host, 0));  // a redraw
  PsdRecordingPending = true;
  dialogs.ExpectMessage();
  EXPECT_FALSE(ShowPSDEnergy(host, 0));
  EXPECT_EQ(dialogs.MessageTexts().back(), "User Error: only 32 curves can be stored at once. Delete one to continue.");
}

TEST_F(PsdViewTest, AverageOfSpectraAndItsFailure) {
  DisplayConfig.Graphshown = kPsdView;
  Record(48000, 12, -40.0f);
  Record(48000, 12, -30.0f);
  DisplayConfig.Average = kTrue;
  host.avgBox = true;
  rec.Clear();
  ASSERT_TRUE(ShowPSDEnergy(host, kRedrawFiledCurves));  // no results loaded: no count messages
  EXPECT_EQ(AverageCurves[0].Label, " Power Average");
  EXPECT_FLOAT_EQ(AverageCurves[0].YValues[10], -35.0f);
  EXPECT_TRUE(HasText(" Power Average"));
  EXPECT_EQ(DisplayConfig.Average, kTrue);

  PsdCurves[1].NumPoints = 100;
  dialogs.ExpectMessage();
  rec.Clear();
  ASSERT_TRUE(ShowPSDEnergy(host, kRedrawFiledCurves));
  EXPECT_EQ(dialogs.MessageTexts().back(), "8734 ");
  EXPECT_EQ(DisplayConfig.Average, kFalse);
  EXPECT_FALSE(host.avgBox);  // box and flag agree
  EXPECT_TRUE(HasText(" 2"));  // the single curves instead
}

}  // namespace
}  // namespace zentor
