// Turns one recorded block of a played test CD into an impulse response: finds
// which CD channel the microphone heard and how fast the player ran from the
// marker tones, resamples to the CD's time base, takes one period and divides its
// spectrum by the known signal's (circular deconvolution), optionally by a
// correction spectrum, and puts the peak at 50 ms.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "core/test_signals.h"

namespace zentor {

// Channel codes: the variant heard, -3 when both are.
inline constexpr int32_t kTestCDLeft = -1;
inline constexpr int32_t kTestCDRight = -2;
inline constexpr int32_t kTestCDCentre = -3;

inline constexpr int32_t kTestCDWorkSize = 1 << 18;
inline constexpr int32_t kTestCDDriftOrder = 20;
inline constexpr int32_t kTestCDMaxCorrection = 1 << 17;

// The block length per channel at a recording rate: 2^18 samples of CD time.
int32_t TestCDRecordLength(int32_t cdRate, int32_t recordRate);

// Everything a measurement works in, sized once so that a measurement allocates
// nothing.
struct TestCDWork {
  int32_t PeriodLength = 0;  // N
  int32_t RecordLength = 0;
  int32_t RecordRate = 0;
  int32_t ChannelCode = 0;
  float MeasuredRate = 0;
  bool CorrectionOn = false;
  std::vector<float> WorkSignal;                       // 0..2^18
  std::vector<float> RefVariant1, RefVariant2, RefCentre;  // one period each
  std::vector<float> DriftSpectrum, DriftSpectrumIm;   // 2^20
  std::vector<float> CorrectionRe, CorrectionIm;       // 2^17
  std::vector<float> ScratchRe, ScratchIm, RefRe, RefIm;  // the deconvolution's transforms
  std::vector<float> RoughRe, RoughIm;                   // a first look at the centre's impulse
  // Bins where the centre reference nearly cancels (the variants in opposite
  // phase): the recording tells nothing there, so the response is bridged.
  std::vector<uint8_t> CentreWeak;

  // Sizes the arrays and builds the two reference periods; false (with the
  // builder's message) when the signal description is refused.
  bool Prepare(const TestCDSettings& params, int32_t recordRate);
};

// One variant's comb of marker tones scored over a 2^20-point power spectrum of a
// recording at recordRate: the clock factor whose tones best sit on spectral
// peaks, refined from the tones' positions between bins, as the corrected rate,
// and its score.
void ScoreToneComb(const TestCDSettings& params, std::span<const float> power, int32_t variant,
                   int32_t recordRate, float& correctedRate, float& score);

// Which variant the first `count` samples of work.WorkSignal carry, and at what
// rate in the player's time base; sets ChannelCode and MeasuredRate.
void DetectTestCDChannel(const TestCDSettings& params, TestCDWork& work, int32_t count);

// Leaves the finished impulse in WorkSignal[0..N-1] (the rest zero); `step` is
// called after each progress step (five).
void ExtractTestCDImpulse(const TestCDSettings& params, TestCDWork& work, const std::function<void()>& step);

// S/N of an impulse in its first half against its second, in tenths of a dB;
// false when either half is silent.
bool TestCDSignalToNoise(std::span<const float> impulse, int32_t n, float& tenthsDb);

// The correction from a measurement file's first impulse: 0.2 s kept, unit
// energy, spectrum inverted into CorrectionRe/Im. False, correction off, when
// the file is damaged, holds no result, one not at the CD rate, or silence.
bool LoadTestCDCorrection(const TestCDSettings& params, std::span<const uint8_t> fileBytes, TestCDWork& work);

}  // namespace zentor
