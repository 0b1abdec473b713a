// One channel's deconvolution and the microphone-over-reference division on
// synthetic buffers: silence, dead excitation bins, the crossover cut, placement,
// the cleared tail and the energy halves.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/records.h"
#include "core/test_signals.h"
#include "core/work_arrays.h"
#include "measurement/audio_form.h"
#include "measurement/deconvolution.h"
#include "platform/numeric/numeric.h"
#include "support/fixture.h"

namespace zentor::test {
namespace {

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

TEST_F(DeconvolutionTest, PureDelayComesBackAsAPulseAtTheWindowWithTailClearedAndHalvesApart) {
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
  int32_t q3 = 2;
  std::vector<int16_t> e8(kBuffer, 0);
  e8[4] = 1000;  // a pulse where the kept part of the recording starts
  std::vector<float> r8(kBuffer, 0.0f);
  const float x[12] = {0, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0};  // after dropping 4: pulse 3 at 0, 2 at 4
  for (int i = 0; i < 12; ++i) r8[i] = x[i] * 1000;
  MeasHeader.AutoRange = kFalse;
  MeasHeader.MicSpeakerDistance = 0;
  MeasHeader.AlignmentShift = 0;
  q3 = 2;
  DeconvolveChannel(q3, 0, r8, e8, "3", position, peak, signal, noise, kFalse, success);
  EXPECT_NEAR(signal, 9.0f, 1e-4);
  EXPECT_NEAR(noise, 4.0f, 1e-4);
}

TEST_F(DeconvolutionTest, ManualDistanceRotatesByTheReferenceShiftAndReportsIt) {
  const std::vector<int16_t> e = Excitation(17, 16);
  MeasHeader.AutoRange = kFalse;
  MeasHeader.MicSpeakerDistance = 0;
  MeasHeader.AlignmentShift = 1234.6f;  // left by the reference pass
  std::vector<float> r = Recording(e, 17, 16, 1.0, 0);
  const int32_t w = 4800;
  DeconvolveChannel(q, w, r, e, "17", position, peak, signal, noise, kFalse, success);
  // Before placement the pulse sits at -w; rotated left by nint(A - W) = -3565.
  EXPECT_EQ(position, 1235);
  EXPECT_NEAR(r[(1 << 17) - w + 3565], 1.0f, 1e-4);
  EXPECT_FLOAT_EQ(MeasHeader.AlignmentShift, 1234.6f);
}

TEST_F(DeconvolutionTest, CrossoverCutReachesBothSidesOfTheSpectrum) {
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
}

TEST_F(DeconvolutionTest, TransferFunctionDividesScalesAndRefusesADeadReference) {
  MeasHeader.PeriodExponent = 17;
  const std::vector<int16_t> e = Excitation(17, 16);
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
