// The frequency views: which curves a call computes, averages, refusals, and responses known in closed form.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <mutex>
#include <numbers>
#include <random>
#include <tuple>
#include <vector>

#include "base/text_number.h"
#include "core/results_store.h"
#include "display/curve_workers.h"
#include "display/dispatcher.h"
#include "display/frequency_views.h"
#include "display/plot_colours.h"
#include "platform/forms.h"
#include "support/curve_sets.h"
#include "views_fixture.h"

namespace zentor {
namespace {

using Slots = std::vector<int32_t>;

struct SetView {
  const char* name;
  bool (*show)(GraphHost&, int32_t);
  CurveArray* curves;
};
const SetView kBode{"Bode", ShowFFTResponseSet, &BodeCurves};
const SetView kFractOct{"fractional octave", ShowFractOctResponseSet, &FractOctCurves};
const SetView kPsyc{"psychoacoustic", ShowPsycResponseSet, &PsycCurves};
const SetView kNoise{"noise", ShowNoiseResponseSet, &NoiseCurves};
const SetView kModal{"modal", ShowModalResponseSet, &ModalCurves};

// Sample 0 of result i carries 1000 + i, outside every gate, so a routine can tell
// whose impulse it was handed.
constexpr float kMarkerBase = 1000.0f;

class FrequencyViewsTest : public test::ViewsTest {
 protected:
  // n results, each a unit impulse at the 50 ms reference point. The noise view
  // reads the end of the period first in its second response: markTail marks it too.
  void LoadImpulses(int32_t n, int32_t fs = 48000, int32_t exponent = 17, bool markTail = false) {
    LoadDeltas(n, fs, exponent);
    for (int32_t i = 0; i < n; ++i) {
      ImpulseSet[i][0] = kMarkerBase + static_cast<float>(i);
      if (markTail) ImpulseSet[i][(size_t{1} << exponent) - 1] = kMarkerBase + static_cast<float>(i);
    }
  }

  // The library routines, each call noting the slot it computed (modal: the transform size).
  void CountRoutines(std::function<bool(int32_t slot, int call)> fail = {}) {
    const ResponseRoutineTable real = DefaultResponseRoutines();
    auto counting = [this, fail](auto routine) {
      return [this, fail, routine](std::span<const float> impulse, auto&&... rest) {
        const auto slot = static_cast<int32_t>(std::lround(impulse[0] - kMarkerBase));
        int call = 0;
        {
          std::lock_guard lock(mutex);
          computed.push_back(slot);
          call = static_cast<int>(std::count(computed.begin(), computed.end(), slot));
        }
        if (fail && fail(slot, call)) return false;
        return routine(impulse, std::forward<decltype(rest)>(rest)...);
      };
    };
    ResponseRoutines.GatedFFTMagnitude = counting(real.GatedFFTMagnitude);
    ResponseRoutines.GetLogResponse = counting(real.GetLogResponse);
    ResponseRoutines.GetPhsycologicalResponse = counting(real.GetPhsycologicalResponse);
    ResponseRoutines.fft = [this, real](std::span<float> re, std::span<float> im, int32_t k) {
      {
        std::lock_guard lock(mutex);
        transformSizes.push_back(k);
      }
      return real.fft(re, im, k);
    };
  }
  Slots Computed() {
    std::lock_guard lock(mutex);
    Slots s = computed;
    std::sort(s.begin(), s.end());
    computed.clear();
    return s;
  }

  std::mutex mutex;
  Slots computed;
  std::vector<int32_t> transformSizes;
  MeasurementHeader& set = ResultsDataSetInfo[0];
};

TEST_F(FrequencyViewsTest, KeptSlotsAreDrawnAsFiledOnlyTheRestComputedAndAnAverageReplacesTheSingleCurves) {
  LoadImpulses(5, 48000, 17, true);
  CountRoutines();
  const std::vector<std::pair<SetView, int16_t*>> views = {
      {kBode, &BodeLevelsChanged}, {kFractOct, &FractOctLevelsChanged}, {kPsyc, &PsycLevelsChanged}};
  for (const auto& [v, flag] : views) {
    ClearCurveRecords(*v.curves);
    for (int i = 0; i < 3; ++i) test::FlatCurve(*v.curves, i, 50, 7.0f);
    rec.Clear();
    ASSERT_TRUE(v.show(host, 3)) << v.name;
    EXPECT_EQ(Computed(), (Slots{3, 4})) << v.name;
    EXPECT_EQ((*v.curves)[0].NumCurves, 5) << v.name;
    EXPECT_EQ((*v.curves)[2].NumPoints, 50) << v.name;
    EXPECT_GT((*v.curves)[4].NumPoints, 50) << v.name;
    for (int i = 0; i < 5; ++i) EXPECT_EQ(CurvesIn(GetCurveColour(i)).size(), 1u) << v.name << " " << i;

    *flag = kTrue;
    ASSERT_TRUE(v.show(host, 3));
    EXPECT_EQ(Computed(), (Slots{0, 1, 2, 3, 4})) << v.name;
    EXPECT_EQ(*flag, kFalse) << v.name;
  }
  DisplayConfig.Graphshown = kFractOctView;
  ShowResult(host);
  EXPECT_EQ(Computed(), (Slots{4}));

  // The noise view runs two responses per curve; the modal view one transform.
  ASSERT_TRUE(ShowNoiseResponseSet(host, 3));
  EXPECT_EQ(Computed(), (Slots{3, 3, 4, 4}));
  ASSERT_TRUE(ShowModalResponseSet(host, 3));
  EXPECT_EQ(transformSizes.size(), 2u);
  // A first curve beyond the set keeps every slot.
  ASSERT_TRUE(ShowFFTResponseSet(host, 9));
  EXPECT_TRUE(Computed().empty());
  // An average replaces the single curves.
  LoadImpulses(5);
  DisplayConfig.Average = kTrue;
  host.avgBox = true;
  const std::vector<std::pair<SetView, std::string>> averages = {{kBode, "5 Power Average"},
                                                               {kFractOct, "5 SPL Average"},
                                                               {kPsyc, "5 SPL Average"},
                                                               {kNoise, "5 SPL Average"}};
  for (const auto& [v, label] : averages) {
    rec.Clear();
    host.progressMaxima.clear();
    ASSERT_TRUE(v.show(host, 0)) << v.name;
    for (int i = 1; i < 5; ++i) EXPECT_TRUE(CurvesIn(GetCurveColour(i)).empty()) << v.name;
    EXPECT_EQ(CurvesIn(GetCurveColour(0)).size(), 1u) << v.name;
    EXPECT_EQ(AverageCurves[0].Label, label);
    EXPECT_TRUE(HasText(label)) << v.name;
    EXPECT_EQ(host.progressMaxima, (std::vector<int32_t>{6})) << v.name;
    EXPECT_EQ(host.progressValue, 0) << v.name;
  }

  // Curves of unequal length cannot be averaged: the flag and the box clear, and the
  // redraw shows the single curves.
  BodeCurves[1].NumPoints = 10;
  rec.Clear();
  EXPECT_EQ(MessageOf([&] { ASSERT_TRUE(ShowFFTResponseSet(host, kRedrawFiledCurves)); }), "8734 ");
  EXPECT_EQ(DisplayConfig.Average, kFalse);
  EXPECT_FALSE(host.avgBox);
  EXPECT_EQ(CurvesIn(GetCurveColour(2)).size(), 1u);

  DisplayConfig.Average = kTrue;
  LoadImpulses(3);
  ClearCurveRecords(ModalCurves);
  host.progressMaxima.clear();
  ASSERT_TRUE(ShowModalResponseSet(host, 0));
  EXPECT_EQ(AverageCurves[0].Label, "3 Power Average");
  EXPECT_TRUE(host.progressMaxima.empty());  // the modal view has no progress bar
}

TEST_F(FrequencyViewsTest, GatesTooLongResponseFaultsAndUnusableResolutionsEndTheCallWithTheirMessages) {
  LoadImpulses(4, 48000, 14);
  ResultsDataSetInfo[2].SampleRate = 96000;
  ResultsDataSetInfo[3].FreqRespGateTime = 3.0f;
  set.FreqRespGateTime = 150.0f;
  CountRoutines();
  for (const int16_t average : {kTrue, kFalse}) {
    DisplayConfig.Average = average;
    ClearCurveRecords(BodeCurves);
    rec.Clear();
    EXPECT_EQ(MessageOf([&] { EXPECT_FALSE(ShowFFTResponseSet(host, 0)); }),
              "User Error: Gate time chosen is too large for curve data. Reduce gate time");
    EXPECT_EQ(Computed(), (Slots{0, 1}));
    EXPECT_EQ(std::tuple(BodeCurves[1].NumPoints, BodeCurves[2].NumPoints, BodeCurves[2].NumCurves, host.progressValue),
              std::tuple(2000, 0, 0, 0));
    // The gate copied to the results reached; the last never reached.
    EXPECT_EQ(std::pair(ResultsDataSetInfo[2].FreqRespGateTime, ResultsDataSetInfo[3].FreqRespGateTime),
              std::pair(150.0f, 3.0f));
    if (!average) {
      EXPECT_EQ(CurvesIn(GetCurveColour(1)).size(), 1u);
      EXPECT_TRUE(CurvesIn(GetCurveColour(2)).empty());
    }
  }

  // More than 32 results: the view's own sentence, an empty frame.
  set.NumInSet = 33;
  EXPECT_EQ(MessageOf([&] { EXPECT_FALSE(ShowFFTResponseSet(host, 0)); }),
            "User Error: 32 measurements can be loaded at one time. Delete one result or start aa new measurement "
            "session to continue.");
  dialogs.ExpectMessage();
  EXPECT_FALSE(ShowModalResponseSet(host, 0));
  EXPECT_NE(LastMessage().find("start Az new"), std::string::npos);
  set.NumInSet = 0;
  EXPECT_FALSE(ShowNoiseResponseSet(host, 0));
  // Faults of the responses end the call with their number.
  LoadImpulses(4, 48000, 17, true);
  Computed();
  rec.Clear();
  ResultsDataSetInfo[3].FractOctGateTime = 3.0f;
  CountRoutines([](int32_t slot, int) { return slot == 2; });
  DisplayConfig.Average = kTrue;
  EXPECT_EQ(MessageOf([&] { EXPECT_TRUE(ShowFractOctResponseSet(host, 0)); }),
            "Numerical Error 1: Increase Gate Time for this measurement");
  EXPECT_EQ(std::tuple(FractOctCurves[0].NumCurves, ResultsDataSetInfo[2].FractOctGateTime,
                       ResultsDataSetInfo[3].FractOctGateTime),
            std::tuple(0, 50.0f, 3.0f));
  EXPECT_EQ(host.progressValue, 0);
  EXPECT_TRUE(CurvesIn(GetCurveColour(0)).empty());  // no average after a fault

  // The noise view: the second response (of the reversed tail) fails.
  Computed();
  CountRoutines([](int32_t slot, int call) { return slot == 1 && call == 2; });
  EXPECT_EQ(MessageOf([&] { EXPECT_TRUE(ShowNoiseResponseSet(host, 0)); }), "Numerical Error 3");
  // A resolution that asks for more points than a curve holds.
  Computed();
  host.displayRes = 100;
  EXPECT_EQ(MessageOf([&] { EXPECT_TRUE(ShowNoiseResponseSet(host, 0)); }), "Numerical Error 4");
  // The noise gate must leave half the period to noise; an unusable resolution is refused before any curve.
  LoadImpulses(3, 48000, 16);
  host.displayRes = 4;
  set.NoiseGateTime = 100.0f;
  ResultsDataSetInfo[2].NoiseGateTime = 7.0f;
  ASSERT_TRUE(ShowNoiseResponseSet(host, 0));
  EXPECT_EQ(std::tuple(NoiseCurves[0].NumCurves, ResultsDataSetInfo[2].NoiseGateTime), std::tuple(3, 100.0f));

  for (int32_t first : {0, 3}) {
    for (int i = 0; i < 3; ++i) ResultsDataSetInfo[i].PeriodExponent = 13;
    test::FlatCurve(NoiseCurves, 0, 20, 1.0f);
    EXPECT_EQ(MessageOf([&] { EXPECT_TRUE(ShowNoiseResponseSet(host, first)); }),
              "Gate time chosen is too large for curve  test signal period length");
    EXPECT_EQ(std::pair(NoiseCurves[0].NumCurves, NoiseCurves[0].NumPoints), std::pair(0, 0));
  }

  // An unusable resolution is refused before any curve.
  test::FlatCurve(FractOctCurves, 0, 30, 4.0f);
  for (float res : {0.0f, 0.001f, -0.5f, std::nanf("")}) {
    set.FractOctRes = res;
    set.FractOctPoints = 77;
    rec.Clear();
    EXPECT_EQ(MessageOf([&] { EXPECT_FALSE(ShowFractOctResponseSet(host, 0)) << res; }), "Error 5494");
    EXPECT_EQ(std::tuple(FractOctCurves[0].NumCurves, FractOctCurves[0].NumPoints, set.FractOctPoints),
              std::tuple(1, 30, 77));
    EXPECT_TRUE(rec.Of(RecordingSurface::Kind::Polyline).empty());
  }
}

TEST_F(FrequencyViewsTest, TitlesPointCountsFlatUnitResponsesOddHeadersRecentringAndNoStaleBodeCurves) {
  LoadImpulses(2);
  set.FractOctRes = 0.3333f;
  set.FractOctGateTime = 20.0f;
  set.ModalGateTime = 300.0f;
  for (const SetView& v : {kBode, kFractOct, kPsyc, kNoise, kModal}) ASSERT_TRUE(v.show(host, 0)) << v.name;
  // A unit impulse reads 0 dB everywhere.
  for (const SetView& v : {kBode, kFractOct, kPsyc})
    for (const CurveRecord& r : {(*v.curves)[0], (*v.curves)[1]}) {
      ASSERT_GT(r.NumPoints, 0) << v.name;
      for (int32_t i = 0; i < r.NumPoints; ++i) ASSERT_NEAR(r.YValues[i], 0.0f, 0.05f) << v.name << " " << r.XValues[i];
    }
  for (const char* title : {"Bode Response /10 ms", "Smoothed 0.33 Oct /20 ms", "PsychoAcoustic Response",
                            "S/N Ratio /200 ms", "Modal Slice /300 ms"})
    EXPECT_TRUE(HasText(title)) << title;
  EXPECT_EQ(BodeCurves[1].NumPoints, 2000);
  EXPECT_EQ(FractOctCurves[1].NumPoints, 120);
  EXPECT_EQ(set.FractOctPoints, 120);
  EXPECT_FLOAT_EQ(ResultsDataSetInfo[1].FractOctRes, 0.3333f);
  EXPECT_EQ(PsycCurves[1].NumPoints, 400);
  EXPECT_EQ(set.PsycDataPoints, 400);
  EXPECT_NEAR(PsycCurves[1].XValues[399], 19053.0f, 0.5f);
  EXPECT_EQ(NoiseCurves[1].NumPoints, 120);
  EXPECT_EQ(NoiseCurves[1].Label, " 2");

  host.displayRes = 2;
  ASSERT_TRUE(ShowNoiseResponseSet(host, 0));
  EXPECT_EQ(NoiseCurves[0].NumPoints, 60);
  LoadImpulses(1, 44100);
  ASSERT_TRUE(ShowPsycResponseSet(host, 0));
  EXPECT_NEAR(PsycCurves[0].XValues[199], 17505.0f, 0.5f);

  // Odd headers neither crash nor read outside the data.
  LoadImpulses(3);
  ResultsDataSetInfo[1].SampleRate = 0;  // the Bode and modal views use each result's own rate
  for (const SetView& v : {kBode, kModal}) {
    ASSERT_TRUE(v.show(host, 0)) << v.name;
    EXPECT_EQ((*v.curves)[1].NumPoints, 0) << v.name;
    EXPECT_GT((*v.curves)[2].NumPoints, 0) << v.name;
  }
  for (int i = 0; i < 3; ++i) ResultsDataSetInfo[i].PeriodExponent = 20;
  ResultsDataSetInfo[1].SampleRate = 48000;
  for (const SetView& v : {kFractOct, kPsyc, kNoise, kModal, kBode}) {
    ASSERT_TRUE(v.show(host, 0)) << v.name;
    EXPECT_GT((*v.curves)[2].NumPoints, 0) << v.name;
  }
  EXPECT_EQ(ResultsDataSetInfo[2].PeriodExponent, 17);  // the Bode view holds it to a column

  // A slice top above Nyquist: the points stop at the last bin below it.
  LoadImpulses(1);
  set.ModalSliceMaxFreq = 30000;
  set.ModalGateTime = 10.0f;
  ASSERT_TRUE(ShowModalResponseSet(host, 0));
  EXPECT_EQ(ModalCurves[0].NumPoints, 2000);
  set.ModalGateTime = 1.0f;
  ASSERT_TRUE(ShowModalResponseSet(host, 0));
  EXPECT_EQ(std::tuple(ModalCurves[0].NumPoints, ModalCurves[0].XValues[491]), std::tuple(492, 24000.0f));
  // A redraw recentres Bode and fractional octave on the zoomed range only; a gate typed elsewhere leaves no stale Bode curves.
  LoadImpulses(2);
  host.norm = true;
  FreqGraphFrame.XStart = 1000;
  FreqGraphFrame.XFinish = 2000;
  host.displayRes = 4;
  CountRoutines();
  for (const SetView& v : {kBode, kFractOct, kPsyc}) {
    ClearCurveRecords(*v.curves);
    for (int c = 0; c < 2; ++c) {
      test::FlatCurve(*v.curves, c, 100, 0.0f, 100, 10000);
      CurveRecord& r = (*v.curves)[c];
      for (int i = 0; i < 100; ++i) r.YValues[i] = r.XValues[i] / 100;  // 1 dB per 100 Hz
    }
    ASSERT_TRUE(v.show(host, kRedrawFiledCurves));
    const CurveRecord& r = (*v.curves)[1];
    double sum = 0;
    int n = 0;
    for (int i = 0; i < 100; ++i)
      if (r.XValues[i] >= 1000 && r.XValues[i] <= 2000) sum += r.YValues[i], ++n;
    if (v.curves == &PsycCurves)
      EXPECT_FLOAT_EQ(r.YValues[50], r.XValues[50] / 100) << v.name;
    else
      EXPECT_NEAR(sum / n, 0.0, 1e-4) << v.name;
  }
  EXPECT_TRUE(Computed().empty());
  // A gate typed in another view does not pass off stale Bode curves.
  LoadImpulses(3);
  host.norm = false;
  FreqGraphFrame.XStart = 5;
  FreqGraphFrame.XFinish = 500;
  host.view = ViewButton::Freq;
  DisplayConfig.Graphshown = kBodeView;
  UpdateFFTDisplay(host);
  EXPECT_EQ(Computed(), (Slots{0, 1, 2}));

  Impulse_Click(host);
  set.FreqRespGateTime = 20.0f;  // e.g. the frequency settings changed meanwhile
  host.gateText.setText("15");
  GateText_KeyPress(host, 13);
  EXPECT_FLOAT_EQ(set.ImpulseGateTime, 15.0f);
  DisplayConfig.Graphshown = kModalSliceView;
  UpdateModalDisplay(host);

  BodeFFT_Click(host);
  EXPECT_EQ(Computed(), (Slots{0, 1, 2}));
  EXPECT_FLOAT_EQ(BodeCurves[2].XValues[0], 50.0f);  // 1000 / 20 ms
  BodeFFT_Click(host);
  EXPECT_TRUE(Computed().empty());
}

// A mode decaying by 60 dB in t60 seconds, from the 50 ms reference point on.
void AddMode(std::array<float, kMaxSamples>& x, double fs, double f, double t60) {
  for (size_t i = 0; i + 2400 < x.size(); ++i) {
    const double t = i / fs;
    x[2400 + i] += static_cast<float>(std::exp(-6.9078 * t / t60) * std::sin(2 * std::numbers::pi * f * t));
  }
}

// Gate weight t samples after time zero, as the numeric library documents it.
double GateWeight(double t, double g, double rise) {
  if (t < -rise) return 0;
  if (t < 0) return 0.5 * (1 - std::cos(std::numbers::pi * (t + rise) / rise));
  if (t <= 0.8 * g) return 1;
  if (t >= g) return 0;
  return 0.5 * (1 + std::cos(std::numbers::pi * (t - 0.8 * g) / (0.2 * g)));
}

TEST_F(FrequencyViewsTest, SignalToNoiseOfAnImpulseInWhiteNoiseAndTheModalSlicesGridAndModePeaks) {
  constexpr double sigma = 1e-3, fs = 48000;
  LoadSet(1, 48000, 17);
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0, sigma);
  for (float& x : ImpulseSet[0]) x = static_cast<float>(noise(random));
  ImpulseSet[0][2400] += 1.0f;
  ASSERT_TRUE(ShowNoiseResponseSet(host, 0));

  const double g = 0.2 * fs, rise = std::min(0.001 * fs, 0.1 * g);
  double sumW2 = 0;
  for (double t = -rise; t < g; ++t) sumW2 += GateWeight(t, g, rise) * GateWeight(t, g, rise);
  const double q = sigma * sigma * sumW2;
  const double expected = 10 * std::log10((1 + q) / q);
  const CurveRecord& c = NoiseCurves[0];
  double sum = 0;
  int n = 0;
  for (int32_t i = 0; i < c.NumPoints; ++i) {
    if (c.XValues[i] <= 1000) continue;
    EXPECT_NEAR(c.YValues[i], expected, 2.0) << c.XValues[i];
    sum += c.YValues[i];
    ++n;
  }
  ASSERT_GT(n, 40);
  EXPECT_NEAR(sum / n, expected, 0.5);
  // The modal slice's grid, and the peaks of modes on and off its bins.
  constexpr double df = fs / 65536;
  LoadSet(2, 48000, 16);
  set.ModalGateTime = 300.0f;
  ResultsDataSetInfo[1].ModalGateTime = 9.0f;
  AddMode(ImpulseSet[0], fs, 40, 2);
  AddMode(ImpulseSet[0], fs, 80, 2);
  AddMode(ImpulseSet[1], fs, 50 * df, 2);  // exactly on bin 50
  CountRoutines();
  ASSERT_TRUE(ShowModalResponseSet(host, 0));
  EXPECT_EQ(transformSizes, (std::vector<int32_t>{16, 16}));
  EXPECT_FLOAT_EQ(ResultsDataSetInfo[1].ModalGateTime, 300.0f);
  const CurveRecord& modal = ModalCurves[0];
  ASSERT_EQ(modal.NumPoints, 205);
  EXPECT_NEAR(modal.XValues[0], 4 * df, 1e-4);
  EXPECT_NEAR(modal.XValues[1] - modal.XValues[0], 0.732, 1e-3);
  EXPECT_NEAR(modal.XValues[204], 152.3, 0.1);

  auto peakBetween = [](const CurveRecord& r, float lo, float hi) {
    int32_t best = -1;
    for (int32_t i = 0; i < r.NumPoints; ++i)
      if (r.XValues[i] >= lo && r.XValues[i] <= hi && (best < 0 || r.YValues[i] > r.YValues[best])) best = i;
    return best;
  };
  for (double f : {40.0, 80.0}) EXPECT_EQ(peakBetween(modal, f - 5, f + 5), CLng(f / df) - 4) << f;
  EXPECT_EQ(peakBetween(ModalCurves[1], 0, 200), 46);  // point i shows bin 4 + i

  // At 96 kHz the same gate needs more than the period holds.
  LoadSet(3, 48000, 16);
  set.ModalGateTime = 300.0f;
  ResultsDataSetInfo[1].SampleRate = 96000;
  EXPECT_EQ(MessageOf([&] { EXPECT_TRUE(ShowModalResponseSet(host, 0)); }),
            "User Error: Gate time is too large for data set in curve 2");
  EXPECT_EQ(ModalCurves[0].NumCurves, 0);
  EXPECT_EQ(ModalCurves[0].NumPoints, 0);
}

TEST_F(FrequencyViewsTest, OneWorkerAndManyGiveTheSameCurvesAndPicture) {
  LoadSet(32, 48000, 17);
  std::mt19937 random(11);
  std::normal_distribution<double> noise(0, 1e-3);
  for (int c = 0; c < 32; ++c) {
    for (float& x : ImpulseSet[c]) x = static_cast<float>(noise(random));
    AddMode(ImpulseSet[c], 48000, 30 + 7 * c, 0.3);
    ImpulseSet[c][2400 + c] += 1.0f;
  }
  for (const SetView& v : {kBode, kFractOct, kPsyc, kNoise, kModal}) {
    CurveWorkerLimit = 1;
    rec.Clear();
    ASSERT_TRUE(v.show(host, 0));
    const CurveArray one = *v.curves;
    const std::vector<RecordingSurface::Call> drawn = rec.Of(RecordingSurface::Kind::Polyline);
    CurveWorkerLimit = 8;
    ClearCurveRecords(*v.curves);
    rec.Clear();
    ASSERT_TRUE(v.show(host, 0));
    ASSERT_EQ((*v.curves)[0].NumCurves, 32) << v.name;
    for (int c = 0; c < 32; ++c) {
      const CurveRecord &a = one[c], &b = (*v.curves)[c];
      const size_t bytes = sizeof(float) * a.NumPoints;
      EXPECT_TRUE(a.NumPoints == b.NumPoints && !std::memcmp(a.YValues.data(), b.YValues.data(), bytes) &&
                  !std::memcmp(a.XValues.data(), b.XValues.data(), bytes))
          << v.name << " " << c;
    }
    const std::vector<RecordingSurface::Call> again = rec.Of(RecordingSurface::Kind::Polyline);
    ASSERT_EQ(drawn.size(), again.size()) << v.name;
    for (size_t i = 0; i < drawn.size(); ++i) EXPECT_EQ(drawn[i].points, again[i].points) << v.name << i;
  }
}

}  // namespace
}  // namespace zentor
