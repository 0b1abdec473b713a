// The analysers' frames against independent oracles: a periodic sequence through a known
// filter (worked out in the frequency domain, so every block is its exact steady state)
// and the impulse and energy-time curve of a pure delay.
#include <gtest/gtest.h>

#include <algorithm>

#include "analyser_fixture.h"
#include "core/filter_design.h"
#include "core/test_signals.h"
#include "display/graph_frame.h"
#include "display/plot_colours.h"
#include "platform/numeric/numeric.h"

namespace zentor::test {
namespace {

using Filters = std::vector<FilterRecord>;
using Response = std::vector<std::complex<double>>;

// One period of the sequence of the order, as the play buffer holds it.
std::vector<float> Sequence(int32_t order) {
  std::vector<float> s(size_t{1} << order);
  BuildMLSSequenceSingle(s, order, 10000);
  return s;
}

// The periodic signal x through a response given at its bins 0..N/2.
std::vector<float> Through(const std::vector<float>& x, const Response& g) {
  const auto n = static_cast<int32_t>(x.size());
  const int32_t k = static_cast<int32_t>(std::lround(std::log2(n)));
  std::vector<float> re = x, im(x.size(), 0.0f);
  fft(re, im, k);
  for (int32_t b = 0; b <= n / 2; ++b) {
    const std::complex<double> y = std::complex<double>(re[size_t(b)], im[size_t(b)]) * g[size_t(b)];
    re[size_t(b)] = float(y.real());
    im[size_t(b)] = float(y.imag());
    if (b > 0 && b < n / 2) {
      re[size_t(n - b)] = float(y.real());
      im[size_t(n - b)] = float(-y.imag());
    }
  }
  ifft(re, im, k);
  return re;
}

Response Analogue(const Filters& f, int32_t n, int32_t rate) {
  Response g(size_t(n / 2 + 1));
  for (int32_t b = 0; b <= n / 2; ++b) g[size_t(b)] = AnalogueResponse(f, double(b) * rate / n);
  return g;
}

// A DSP equaliser running the filters at dspRate, read at the analyser's bins
// (its impulse response transformed at each bin frequency directly).
Response Dsp(const Filters& f, int32_t n, int32_t rate, int32_t dspRate) {
  const std::vector<float> h = ChainImpulse(f, int32_t(std::lround(std::log2(2 * n))), dspRate);  // long enough here
  Response g(size_t(n / 2 + 1));
  for (int32_t b = 0; b <= n / 2; ++b) {
    const double step = -2 * std::numbers::pi * (double(b) * rate / n) / dspRate;
    std::complex<double> sum = 0, rot = 1;
    const std::complex<double> turn = std::polar(1.0, step);
    for (size_t i = 0; i < h.size(); ++i) {
      if ((i & 1023) == 0) rot = std::polar(1.0, step * double(i));  // keeps the rotation exact
      sum += double(h[i]) * rot;
      rot *= turn;
    }
    g[size_t(b)] = sum;
  }
  return g;
}

class RtaDisplayTest : public RtaTest {
 protected:
  // One frame of ref on the left input and mic on the right; element 1 of the frame.
  const CurveRecord& Frame(const std::vector<float>& ref, const std::vector<float>& mic) {
    RecordBufferA = ref;
    RecordBufferB = mic;
    UpdateEQRTA();
    return SingleViewCurves[1];
  }
  // Largest deviation of the frame from expected(f) dB between 20 Hz and 0.45 rate.
  static double Worst(const CurveRecord& c, int32_t rate, const std::function<double(double)>& expected) {
    double worst = 0;
    int32_t checked = 0;
    for (int32_t i = 0; i < SingleViewCurves[0].NumPoints; ++i) {
      const double f = SingleViewCurves[0].XValues[size_t(i)];
      if (f < 20 || f > 0.45 * rate) continue;
      worst = std::max(worst, std::fabs(c.YValues[size_t(i)] - expected(f)));
      ++checked;
    }
    EXPECT_GT(checked, 100);
    return worst;
  }
};

TEST_F(RtaDisplayTest, PointsStayBelowNyquistFrameReadsAKnownFilterIsFlatWhereAppliedAndDrawsByXor) {
  std::vector<float> bins(kMaxCurvePoints), freqs(kMaxCurvePoints);
  int32_t count = 0;
  ASSERT_TRUE(BuildRtaFrequencyAxis(bins, freqs, count, 12, 48000));
  EXPECT_NEAR(freqs[1] - freqs[0], 11.72, 0.005);
  EXPECT_EQ(std::tuple(bins[0], bins[1], bins[2]), std::tuple(1.0f, 2.0f, 3.0f));
  EXPECT_LE(freqs[size_t(count - 1)], 20000 + 48000.0 / 4096);
  EXPECT_GT(freqs[size_t(count - 1)], 19000);
  for (int32_t i = 1; i < count; ++i) ASSERT_GT(bins[size_t(i)], bins[size_t(i - 1)]);
  // Above the bin-by-bin region the points are 1/100 octave apart.
  EXPECT_NEAR(std::log2(freqs[size_t(count - 1)] / freqs[size_t(count - 2)]), 0.01, 0.002);

  for (const int32_t rate : {12000, 750})
    for (const int32_t order : {12, 15}) {
      ASSERT_TRUE(BuildRtaFrequencyAxis(bins, freqs, count, order, rate));
      EXPECT_TRUE(count > 10 && count <= kMaxCurvePoints) << count;
      for (int32_t i = 0; i < count; ++i) ASSERT_LT(bins[size_t(i)], (1 << order) / 2) << rate << " " << order;
    }

  dialogs.ExpectMessage();
  EXPECT_FALSE(BuildRtaFrequencyAxis(bins, freqs, count, 11, 48000));
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"Error 8230"});
  // The frame reads a known filter and is flat where the same filters are applied.
  const Filters peak{PeakFilter(1000, 6, 2)}, dip{PeakFilter(100, -12, 10)};
  struct Case {
    Filters f;
    int32_t order;
  };
  for (const Case& c : {Case{peak, 12}, Case{dip, 13}}) {
    const auto ref = Sequence(c.order);
    const int32_t n = int32_t(ref.size());
    // No applied filter: the frame is the device's response.
    AppliedFilters[0].Count = 0;
    ASSERT_TRUE(InitializeEQRTA(c.order, 48000, 96000, 1));
    const Response g = Analogue(c.f, n, 48000);
    EXPECT_LT(Worst(Frame(ref, Through(ref, g)), 48000,
                    [&](double f) { return 20 * std::log10(std::abs(AnalogueResponse(c.f, f))); }),
              0.5);
    // The same filters applied: an equaliser set as designed reads flat.
    ApplyFilters(c.f);
    for (const int32_t dspRate : {96000, 48000}) {
      ASSERT_TRUE(InitializeEQRTA(c.order, 48000, dspRate, 1));
      EXPECT_LT(Worst(Frame(ref, Through(ref, Dsp(c.f, n, 48000, dspRate))), 48000, [](double) { return 0.0; }), 0.5)
          << c.order << " DSP at " << dspRate;
    }
    ASSERT_TRUE(InitializeEQRTA(c.order, 48000, 96000, 2));
    EXPECT_LT(Worst(Frame(ref, Through(ref, g)), 48000, [](double) { return 0.0; }), 0.5) << c.order << " analogue";
  }
  // At 44100 Hz against a 96000 Hz equaliser the filters are read at the nearest bin.
  ApplyFilters(peak);
  const auto ref = Sequence(12);
  ASSERT_TRUE(InitializeEQRTA(12, 44100, 96000, 1));
  EXPECT_LT(Worst(Frame(ref, Through(ref, Dsp(peak, 4096, 44100, 96000))), 44100, [](double) { return 0.0; }), 0.5);

  // Frames draw by XOR; closing restores the copy pen and the redraw.
  PictureBox picture;
  picture.resize(600, 450);
  w->MainGraphOverride = &picture;
  ASSERT_TRUE(InitializeEQRTA(12, 48000, 96000, 1));
  EXPECT_EQ(RtaColour, PlotColours[1] ^ PlotColours[3]);
  EXPECT_EQ(picture.GetDrawMode(), DrawMode::XorPen);
  EXPECT_FALSE(picture.AutoRedraw());
  const auto mic = Through(ref, Analogue(peak, 4096, 48000));
  Frame(ref, mic);
  const QImage once = picture.Image().copy();
  Frame(ref, mic);  // the same data again: erased and drawn in the same place
  EXPECT_EQ(picture.Image(), once);
  EXPECT_FALSE(picture.AutoRedraw());
  Shoot(once, "rta_eq_frame");
  CloseRTA();
  EXPECT_EQ(picture.GetDrawMode(), DrawMode::CopyPen);
  EXPECT_TRUE(picture.AutoRedraw());
  w->MainGraphOverride = &rec;
}

// Reference: the sequence; microphone: the same 96 samples later at half level.
class ImpulseFrameTest : public RtaDisplayTest {
 protected:
  const CurveRecord& Frame(int32_t view, int32_t filterOn, float lower, float upper, float start, float finish) {
    const auto ref = Sequence(16);
    std::vector<float> mic(ref.size());
    for (size_t i = 0; i < ref.size(); ++i) mic[(i + 96) % ref.size()] = 0.5f * ref[i];
    EXPECT_TRUE(InitializeImpRTA(16, 48000, view, filterOn, lower, upper, start, finish));
    RecordBufferA = ref;
    RecordBufferB = mic;
    UpdateImpRTA();
    return SingleViewCurves[0];
  }
  static int32_t PeakAt(const CurveRecord& c) {
    return int32_t(std::max_element(c.YValues.begin(), c.YValues.begin() + c.NumPoints) - c.YValues.begin());
  }
};

TEST_F(ImpulseFrameTest, ImpulseAndEnergyTimeCurveOfADelayLandAtItsTimeASilentReferenceStops) {
  const CurveRecord& c = Frame(2, 0, 400, 4000, -5, 25);
  EXPECT_EQ(std::pair(RtaShift, c.NumPoints), std::pair(240, 1440));
  EXPECT_NEAR(c.YValues[size_t(PeakAt(c))], 30.0f, 1e-3);
  EXPECT_NEAR(c.XValues[size_t(PeakAt(c))], 2.0f, 1e-4);
  EXPECT_NEAR(c.YValues[size_t(PeakAt(c) + 5)], 0.0f, 0.01);

  Frame(2, 0, 400, 4000, 0, 30);
  EXPECT_EQ(std::pair(RtaShift, PeakAt(c)), std::pair(0, 96));
  // 10 ms on: the delay lies before the window, so the curve holds no peak.
  Frame(2, 0, 400, 4000, 10, 40);
  EXPECT_EQ(RtaShift, 480);
  EXPECT_LT(*std::max_element(c.YValues.begin(), c.YValues.begin() + c.NumPoints), 1.0f);
  // With the band filter the peak stays within half a millisecond.
  Frame(2, 1, 400, 4000, -5, 25);
  EXPECT_NEAR(c.XValues[size_t(PeakAt(c))], 2.0f, 0.5f);
  // The energy-time curve peaks at 30 dB on the impulse.
  for (const auto& band : {std::pair{400.0f, 4000.0f}, std::pair{1000.0f, 1010.0f}}) {
    const CurveRecord& e = Frame(8, 0, band.first, band.second, -5, 25);
    EXPECT_EQ(e.NumPoints, 2000);
    const int32_t at = PeakAt(e);
    EXPECT_NEAR(e.YValues[size_t(at)], 30.0f, 1e-3) << band.first;
    EXPECT_NEAR(at, 336, 1) << band.first;
  }
  // Far from the impulse the wide band has decayed by well over 20 dB.
  EXPECT_LT(Frame(8, 0, 400, 4000, -5, 25).YValues[100], 10.0f);
  EXPECT_TRUE(dialogs.MessageTexts().empty());
  // A silent reference stops the frames after one message.
  for (const int32_t mic : {kMicOnRightInput, kMicOnLeftInput}) {
    SetMicChannel(mic);
    dialogs.ExpectMessage();
    ASSERT_TRUE(InitializeImpRTA(16, 48000, 2, 0, 400, 4000, -5, 25));
    const auto signal = Sequence(16);
    std::vector<float> silence(signal.size(), 0.0f);
    RecordBufferA = mic == kMicOnRightInput ? silence : signal;
    RecordBufferB = mic == kMicOnRightInput ? signal : silence;
    UpdateImpRTA();
    UpdateImpRTA();
    EXPECT_FALSE(RtaReady);
  }
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>(2, "User Error 2391: No input signal on left Input channel: n= 0")));
}

}  // namespace
}  // namespace zentor::test
