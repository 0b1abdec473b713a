// The excitation periods against analytic spectra (Butterworth corner, pink and
// shaped slopes), the window's small buffer operations, and the deconvolution of
// recordings of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "core/records.h"
#include "core/test_signals.h"
#include "core/work_arrays.h"
#include "measurement/audio_form.h"
#include "measurement/deconvolution.h"
#include "measurement/excitation.h"
#include "platform/numeric/numeric.h"
#include "support/fixture.h"

namespace zentor::test {
namespace {

// Scratch of the sizes the measurement window gives a build.
struct Scratch {
  std::vector<float> sweep = std::vector<float>(1 << 18), signal = std::vector<float>((1 << 18) + 1),
                     imaginary = std::vector<float>((1 << 18) + 1), extended = std::vector<float>(312145),
                     filter = std::vector<float>(312145);
  ExcitationWork Work() { return {sweep, signal, imaginary, extended, filter}; }
};

// Mean over the bins within a third of an octave around f of power(k), in dB.
template <class Power>
double BandDb(double f, double binHz, std::size_t bins, Power power) {
  double sum = 0;
  int count = 0;
  for (std::size_t k = 1; k < bins; ++k)
    if (const double fk = double(k) * binHz; fk >= f * std::pow(2.0, -1.0 / 6) && fk <= f * std::pow(2.0, 1.0 / 6))
      sum += power(k, fk), ++count;
  EXPECT_GT(count, 0);
  return 10 * std::log10(sum / count);
}

// One period's power per bin (0 .. 2^p / 2), read in bands.
struct Spectrum {
  Spectrum(const std::vector<int16_t>& x, int32_t p, int32_t rate) : binHz(double(rate) / (1 << p)) {
    const std::size_t n = std::size_t{1} << p;
    std::vector<float> re(x.begin(), x.begin() + std::ptrdiff_t(n)), im(n, 0.0f);
    EXPECT_TRUE(fft(re, im, p));
    for (std::size_t k = 0; k <= n / 2; ++k) power.push_back(double(re[k]) * re[k] + double(im[k]) * im[k]);
  }
  double Band(double f) const {
    return BandDb(f, binHz, power.size(), [&](std::size_t k, double) { return power[k]; });
  }
  // The same band of |H|^2 of s^2 / (s^2 + sqrt2 wc s + wc^2).
  double ButterworthHighPassBand(double fc, double f) const {
    return BandDb(f, binHz, power.size(),
                  [&](std::size_t, double fk) { return std::pow(fk / fc, 4) / (std::pow(fk / fc, 4) + 1); });
  }
  double binHz;
  std::vector<double> power;
};

int PeakMagnitude(const std::vector<int16_t>& x, std::size_t n) {
  int peak = 0;
  for (std::size_t i = 0; i < n; ++i) peak = std::max(peak, std::abs(int(x[i])));
  return peak;
}

class ExcitationTest : public ZentorTest {
 protected:
  Scratch scratch;
  std::vector<float> pink = std::vector<float>(1 << 15);
  void SetUp() override {
    ZentorTest::SetUp();
    BuildPinkWeightingDb(pink, 1 << 15);
    pink[0] = pink[1];
  }
};

TEST_F(ExcitationTest, EachExcitationFollowsItsAnalyticShapeAndIsScaledWhereItIsPlayed) {
  for (float fc : {200.0f, 300.0f, 2000.0f}) {
    std::vector<int16_t> out(1 << 17);
    ASSERT_TRUE(BuildCrossoverMLSExcitation(out, 17, 48000, fc, scratch.Work()));
    EXPECT_EQ(PeakMagnitude(out, out.size()), kExcitationPeak) << fc;
    const Spectrum s(out, 17, 48000);
    EXPECT_NEAR(s.Band(fc) - s.Band(10 * fc), -3.0, 0.5) << fc;
    // The whole slope follows the analogue prototype an octave below too.
    EXPECT_NEAR(s.Band(fc / 2) - s.Band(10 * fc), s.ButterworthHighPassBand(fc, fc / 2), 0.6) << fc;
  }

  // The sweep, the hybrid and the pink-weighted MLS follow their shapes.
  const int32_t rate = 44100;
  std::vector<int16_t> out(1 << 17);
  ASSERT_TRUE(BuildSweepExcitation(pink, 15, out, 17, rate, scratch.Work()));
  EXPECT_EQ(PeakMagnitude(out, out.size()), kExcitationPeak);
  const Spectrum s(out, 17, rate);
  double inBand = 0, outBandMax = 0;
  int inCount = 0;
  for (std::size_t k = 1; k < s.power.size(); ++k) {
    const double f = double(k) * s.binHz;
    if (f >= 20 && f <= 0.99 * rate / 2) {
      inBand += s.power[k];
      ++inCount;
    } else if (f > 0.99 * rate / 2) {
      outBandMax = std::max(outBandMax, s.power[k]);
    }
  }
  EXPECT_LE(10 * std::log10(outBandMax / (inBand / inCount)), -60.0);
  // 10 log10(1 / sqrt(f)): 5 dB less power per decade.
  EXPECT_NEAR((s.Band(100) - s.Band(10000)) / 2, 5.0, 0.5);

  // The hybrid is pink above its split and has both halves: the sweep below, the MLS above.
  ASSERT_TRUE(BuildHybridExcitation(pink, 15, out, 17, 48000, scratch.Work()));
  EXPECT_EQ(PeakMagnitude(out, out.size()), kExcitationPeak);
  const Spectrum h(out, 17, 48000);
  EXPECT_NEAR(h.Band(1000) - h.Band(10000), 10.0, 1.0);
  EXPECT_GT(h.Band(50), h.Band(10000));

  // The pink-weighted MLS is high-passed at its corner.
  ASSERT_TRUE(BuildPinkWeightedMLS(scratch.signal, scratch.imaginary, 16, 15000.0f, 48000, 250.0f));
  std::vector<int16_t> x(1 << 16);
  CopySingleToInt(scratch.signal, x, 1 << 16);
  EXPECT_EQ(PeakMagnitude(x, x.size()), 15000);
  const Spectrum m(x, 16, 48000);
  // s^2/(s + w)^2 is -6 dB at the corner; the pink weighting adds 10 log10(f).
  EXPECT_NEAR(m.Band(250) + 10 * std::log10(250.0) - m.Band(8000) - 10 * std::log10(8000.0), -6.0, 0.7);
}

TEST_F(ExcitationTest, BuildersRefuseWhatTheirBuffersCannotHold) {
  std::vector<int16_t> small(1000);
  EXPECT_FALSE(BuildSweepExcitation(pink, 15, small, 17, 48000, scratch.Work()));
  EXPECT_FALSE(BuildHybridExcitation(pink, 16, small, 8, 48000, scratch.Work()));  // shape too short
  std::vector<int16_t> out(1 << 17);
  EXPECT_FALSE(BuildSweepExcitation(pink, 15, out, 17, 0, scratch.Work()));
  ExcitationWork shortWork = scratch.Work();
  shortWork.extended = shortWork.extended.first(1 << 17);
  ASSERT_TRUE(BuildMLSSequence(out, 17, kExcitationPeak));
  const std::vector<int16_t> mls = out;
  EXPECT_FALSE(HighPassCrossoverMLS(out, 17, 48000, 300.0f, shortWork));
  EXPECT_EQ(out, mls);
  // A periodic copy past the buffer's end is refused (the sweep's layout is the run's own tests').
  EXPECT_FALSE(CopySweepPeriodicDataToNewBuffer(out, 17, 16));
  // The largest period the window's arrays hold still fits.
  std::vector<int16_t> longest(1 << 18);
  EXPECT_TRUE(BuildCrossoverMLSExcitation(longest, 18, 48000, 300.0f, scratch.Work()));
}

TEST(ExcitationBuffers, MLSPeriodicCopyLandsWhereThePeriodEndsAndSeedsHaveTheirFullPeriod) {
  std::vector<int16_t> m(1 << 11, 0);
  for (int i = 0; i < 1023; ++i) m[i] = int16_t(i + 1);
  ASSERT_TRUE(CopyMLSPeriodicDataToNewBuffer(m, 10, 9));
  for (int j = 0; j < 512; ++j) ASSERT_EQ(m[1023 + j], j + 1);
  EXPECT_EQ(m[1023 + 512], 0);
  EXPECT_FALSE(CopyMLSPeriodicDataToNewBuffer(m, 11, 10));

  // Seed sequences have their full period for every listed order.
  for (int32_t order = 12; order <= 20; ++order) {
    const std::size_t period = (std::size_t{1} << order) - 1;
    const int32_t b = order - 2;
    std::vector<int16_t> s((std::size_t{1} << order) + (std::size_t{1} << b));
    ASSERT_TRUE(BuildMLSSeed(s, order, b));
    for (std::size_t i = 0; i < std::size_t(order); ++i) ASSERT_EQ(s[i], 1);
    for (std::size_t i = 0; i + period < s.size(); ++i) ASSERT_EQ(s[i + period], s[i]) << order << " " << i;
    // No shorter period: none of period / (each prime factor) repeats.
    std::size_t rest = period;
    for (std::size_t f = 3; f <= rest; f += 2) {
      if (rest % f != 0) continue;
      while (rest % f == 0) rest /= f;
      const std::size_t d = period / f;
      bool repeats = true;
      for (std::size_t i = 0; i + d < s.size() && repeats; ++i) repeats = s[i + d] == s[i];
      EXPECT_FALSE(repeats) << order << " repeats after " << d;
    }
    // A maximum-length sequence holds 2^(order-1) ones per period.
    EXPECT_EQ(std::count(s.begin(), s.begin() + std::ptrdiff_t(period), int16_t{1}),
              std::ptrdiff_t{1} << (order - 1));
  }
  // Other orders only seed and clear; too small a buffer is refused untouched.
  std::vector<int16_t> s((1 << 10) + (1 << 4), 5);
  ASSERT_TRUE(BuildMLSSeed(s, 10, 4));
  EXPECT_EQ(std::count(s.begin(), s.begin() + 26, int16_t{1}), 26);
  EXPECT_EQ(std::count(s.begin() + 26, s.end(), int16_t{0}), std::ptrdiff_t(s.size()) - 26);
  std::vector<int16_t> shortBuffer(100, 5);
  EXPECT_FALSE(BuildMLSSeed(shortBuffer, 12, 4));
  EXPECT_EQ(shortBuffer, std::vector<int16_t>(100, 5));
}

TEST(ExcitationBuffers, FlatteningAndSweepAmplitudeFixing) {
  std::vector<float> spectrum(1024);
  for (int i = 0; i < 1024; ++i) spectrum[i] = float(i);
  FlattenEnergyDistributionAbove(12000.0f, spectrum, 10, 48000);  // k0 = 256
  EXPECT_EQ((std::array{spectrum[255], spectrum[256], spectrum[1023]}), (std::array{255.0f, 256.0f, 256.0f}));
  std::vector<float> copy = spectrum;
  FlattenEnergyDistributionAbove(48000.0f, spectrum, 10, 48000);  // k0 = 2^a: unchanged
  FlattenEnergyDistributionAbove(96000.0f, spectrum, 10, 48000);
  FlattenEnergyDistributionAbove(-500.0f, spectrum, 10, 48000);
  EXPECT_EQ(spectrum, copy);

  // The envelope never exceeds the level: every sample from 0 scales by sqrt(level / envelope).
  std::vector<float> envelope(16, 0.5f);
  std::vector<int16_t> sweep(16, 1000);
  FixSweepAmplitude(envelope, sweep, 4, 2.0f);
  EXPECT_EQ(sweep, std::vector<int16_t>(16, 2000));
  // Otherwise it starts at the first sample above the level.
  envelope.assign(16, 1.0f);
  envelope[5] = 4.0f;
  sweep.assign(16, 1000);
  FixSweepAmplitude(envelope, sweep, 4, 1.0f);
  EXPECT_EQ(std::vector(sweep.begin() + 4, sweep.begin() + 7), (std::vector<int16_t>{1000, 500, 1000}));
  // A silent envelope leaves its samples; a large factor saturates.
  envelope.assign(16, 0.0f);
  envelope[0] = 1e-6f;
  sweep.assign(16, 1000);
  FixSweepAmplitude(envelope, sweep, 4, 1e-7f);
  EXPECT_EQ(std::vector(sweep.begin(), sweep.begin() + 2), (std::vector<int16_t>{316, 1000}));
  envelope.assign(16, 1e-6f);
  FixSweepAmplitude(envelope, sweep, 4, 1.0f);
  EXPECT_EQ(sweep[1], 32767);
}

// One channel's deconvolution and the microphone-over-reference division on synthetic buffers.
constexpr std::size_t kBuffer = kMaxRunFrames + 1;

class DeconvolutionTest : public ZentorTest {
 protected:
  void SetUp() override {
    ZentorTest::SetUp();
    AllocateWorkArrays(kWorkArrayPoints);
    MeasHeader.SampleRate = 48000;
    MeasHeader.PeriodExponent = 17;
    MeasHeader.MeasConfig = 87;
    MeasHeader.AutoRange = kTrue;
  }
  // A periodic MLS excitation of 2^p + 2^q samples.
  static std::vector<int16_t> Excitation(int32_t p, int32_t q) {
    std::vector<int16_t> e(kBuffer, 0);
    BuildMLSSequence(e, p, 15000);
    const int32_t n = 1 << p;
    e[n - 1] = e[0];  // the sequence is one short of the period
    for (int32_t i = 0; i < (1 << q); ++i) e[n + i] = e[i];
    return e;
  }
  // The recording of that excitation through a gain and a delay of `delay` samples.
  static std::vector<float> Recording(const std::vector<int16_t>& e, int32_t p, int32_t q, double gain,
                                      int32_t delay) {
    std::vector<float> r(kBuffer, 0.0f);
    const int32_t n = 1 << p;
    for (int32_t i = 0; i < n + (1 << q); ++i) r[i] = static_cast<float>(gain * e[((i - delay) % n + n) % n]);
    return r;
  }

  int32_t q = 16;
  int32_t position = 0;
  float peak = 0, signal = 0, noise = 0;
  int16_t success = kFalse;
};

TEST_F(DeconvolutionTest, SilenceAndDeadExcitationBinsEndThePassWithTheirMessages) {
  const std::vector<int16_t> e = Excitation(17, 16);
  std::vector<float> silent(kBuffer, 0.0f);
  dialogs.ExpectMessage();
  DeconvolveChannel(q, 2400, silent, e, "17", position, peak, signal, noise, kTrue, success);
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"User Error 3429: No input on Input channel"});
  EXPECT_EQ(success, kFalse);
  EXPECT_EQ(signal, 0.0f);
  EXPECT_EQ(noise, 0.0f);

  // Pulses half a period apart: every odd bin exactly 0. (An integer excitation
  // with an exact zero at an odd bin k has one at every odd bin, so the first
  // named is always 1.)
  MeasHeader.PeriodExponent = 4;
  q = 3;
  std::vector<int16_t> pulses(kBuffer, 0);
  pulses[0] = pulses[8] = pulses[16] = 1000;
  std::vector<float> rec(kBuffer, 1.0f);
  signal = noise = 0;
  dialogs.Clear();
  dialogs.ExpectMessage();
  DeconvolveChannel(q, 0, rec, pulses, "4", position, peak, signal, noise, kTrue, success);
  EXPECT_EQ(dialogs.MessageTexts(),
            std::vector<std::string>{"Error 2381: No input signal on one or both channels: n= 1"});
  EXPECT_EQ(success, kTrue);
  EXPECT_EQ(signal, 0.0f);
  EXPECT_EQ(noise, 0.0f);

  // A DC-free excitation (an exact zero at bin 0 only) passes without a word.
  MeasHeader.PeriodExponent = 17;
  q = 16;
  std::vector<int16_t> dcFree = Excitation(17, 16);
  dcFree[(1 << 17) - 1] = 15000;  // the sequence alone sums to -15000
  std::vector<float> r2 = Recording(dcFree, 17, 16, 1.0, 0);
  dialogs.Clear();
  DeconvolveChannel(q, 2400, r2, dcFree, "17", position, peak, signal, noise, kTrue, success);
  EXPECT_TRUE(dialogs.MessageTexts().empty());
  EXPECT_GT(signal, 0.0f);
}

TEST_F(DeconvolutionTest, PureDelayComesBackAsAPulseWithTailClearedHalvesApartAndAManualShift) {
  const std::vector<int16_t> e = Excitation(17, 16);
  std::vector<float> r = Recording(e, 17, 16, 0.25, 700);
  std::fill(r.begin() + (1 << 17) + (1 << 16), r.end(), 5.0f);  // stale samples behind the run
  DeconvolveChannel(q, 2400, r, e, "17", position, peak, signal, noise, kTrue, success);
  EXPECT_TRUE(dialogs.MessageTexts().empty());
  EXPECT_EQ(success, kTrue);
  EXPECT_FLOAT_EQ(peak, 0.25f * 15000.0f);
  EXPECT_NEAR(r[2400], 0.25f, 1e-4);
  // The excitation is taken w early: before placement the pulse sat at 700 - w.
  EXPECT_EQ(position, (1 << 17) + 700 - 2400);
  EXPECT_FLOAT_EQ(MeasHeader.AlignmentShift, (1 << 17) + 700 - 4800);
  EXPECT_NEAR(signal, 0.0625f, 1e-4);
  EXPECT_LT(noise, 1e-8f);
  for (std::size_t i = 1 << 17; i <= static_cast<std::size_t>(kLastClearedRecordIndex); ++i)
    ASSERT_EQ(r[i], 0.0f) << i;

  // N = 8: the halves are samples 0..3 and 4..7.
  MeasHeader.PeriodExponent = 3;
  std::vector<int16_t> e8(kBuffer, 0);
  e8[4] = 1000;  // a pulse where the kept part of the recording starts
  std::vector<float> r8(kBuffer, 0.0f);
  const float x[12] = {0, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0};  // after dropping 4: pulse 3 at 0, 2 at 4
  for (int i = 0; i < 12; ++i) r8[i] = x[i] * 1000;
  MeasHeader.AutoRange = kFalse;
  MeasHeader.MicSpeakerDistance = 0;
  MeasHeader.AlignmentShift = 0;
  int32_t q3 = 2;
  DeconvolveChannel(q3, 0, r8, e8, "3", position, peak, signal, noise, kFalse, success);
  EXPECT_NEAR(signal, 9.0f, 1e-4);
  EXPECT_NEAR(noise, 4.0f, 1e-4);

  // A manual distance rotates by the reference's shift and reports it.
  MeasHeader.PeriodExponent = 17;
  MeasHeader.AlignmentShift = 1234.6f;  // left by the reference pass
  r = Recording(e, 17, 16, 1.0, 0);
  const int32_t w = 4800;
  DeconvolveChannel(q, w, r, e, "17", position, peak, signal, noise, kFalse, success);
  // Before placement the pulse sits at -w; rotated left by nint(A - W) = -3565.
  EXPECT_EQ(position, 1235);
  EXPECT_NEAR(r[(1 << 17) - w + 3565], 1.0f, 1e-4);
  EXPECT_FLOAT_EQ(MeasHeader.AlignmentShift, 1234.6f);
}

TEST_F(DeconvolutionTest, CrossoverCutReachesBothSidesAndTheTransferFunctionDividesScalesAndRefusesADeadReference) {
  MeasHeader.MeasConfig = 42;
  MeasHeader.CrossoverFrequency = 300;
  const std::vector<int16_t> e = Excitation(17, 16);
  std::vector<float> r = Recording(e, 17, 16, 1.0, 0);
  DeconvolveChannel(q, 2400, r, e, "17", position, peak, signal, noise, kTrue, success);
  // The impulse is a unit pulse with bins 0..410 (and their mirrors) at 0.01.
  std::vector<float> re(r.begin(), r.begin() + (1 << 17)), im(1 << 17, 0.0f);
  fft(re, im, 17);
  auto mag = [&](int k) { return std::hypot(re[k], im[k]); };
  EXPECT_NEAR(mag(1), 0.01, 1e-4);
  EXPECT_NEAR(mag(410), 0.01, 1e-4);
  EXPECT_NEAR(mag(411), 1.0, 1e-3);
  EXPECT_NEAR(mag((1 << 17) - 410), 0.01, 1e-4);
  EXPECT_NEAR(mag((1 << 17) - 411), 1.0, 1e-3);
  // A real impulse: the cut did not leave an imaginary part behind.
  EXPECT_NEAR(im[1], -im[(1 << 17) - 1], 1e-5);

  // The transfer function divides, scales, and refuses a dead reference.
  MeasHeader.MeasConfig = 87;
  std::vector<float> a = Recording(e, 17, 16, 0.5, 0), b = Recording(e, 17, 16, -0.2, 30);
  DeconvolveChannel(q, 2400, a, e, "17", position, peak, signal, noise, kTrue, success);
  DeconvolveChannel(q, 2400, b, e, "17", position, peak, signal, noise, kTrue, success);
  // b: -0.2 at 2400 (aligned by its peak), a: 0.5 at 2400 -> b/a = -0.4 at 0.
  EXPECT_TRUE(ComputeTransferFunction(a, b, MeasHeader, kMicOnRightInput));
  EXPECT_NEAR(b[0], -0.4f, 1e-3);
  EXPECT_NEAR(MeasHeader.LevelMultiplier, 32000.0f / 0.4f, 100.0f);
  EXPECT_GT(MeasHeader.LevelMultiplier, 0.0f);

  // Microphone on the left: a over b, still into b.
  std::vector<float> a2 = Recording(e, 17, 16, 0.3, 0), b2 = Recording(e, 17, 16, 0.6, 0);
  DeconvolveChannel(q, 2400, a2, e, "17", position, peak, signal, noise, kTrue, success);
  DeconvolveChannel(q, 2400, b2, e, "17", position, peak, signal, noise, kTrue, success);
  EXPECT_TRUE(ComputeTransferFunction(a2, b2, MeasHeader, kMicOnLeftInput));
  EXPECT_NEAR(b2[0], 0.5f, 1e-3);

  // A silent result gives a multiplier of 1, never inf.
  std::vector<float> z(kBuffer, 0.0f), z2(kBuffer, 0.0f);
  EXPECT_TRUE(ComputeTransferFunction(z, z2, MeasHeader, 5));
  EXPECT_EQ(MeasHeader.LevelMultiplier, 1.0f);

  // A reference with an exact zero in a divided bin: the message, and no result.
  std::vector<float> dead(kBuffer, 0.0f), mic(kBuffer, 0.0f);
  dead[0] = 1;
  dead[1 << 16] = 1;  // 1 + (-1)^k: every odd bin exactly 0
  mic[0] = 1;
  MeasHeader.LevelMultiplier = 7;
  dialogs.ExpectMessage();
  EXPECT_FALSE(ComputeTransferFunction(dead, mic, MeasHeader, kMicOnRightInput));
  EXPECT_EQ(dialogs.MessageTexts(),
            std::vector<std::string>{"User Error 2391: No input signal on left Input channel: n= 1"});
  EXPECT_EQ(MeasHeader.LevelMultiplier, 7.0f);
}

}  // namespace
}  // namespace zentor::test
