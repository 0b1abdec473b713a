// Measurement and test-CD signals: maximum-length sequences, the pink weighting
// curve, peak scaling, alignment of a recording by its smoothed peak, and the two
// channels of the test CD.
//
// These routines share module scratch and run on the user-interface thread only.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace zentor {

constexpr int32_t kMinMLSOrder = 10;
constexpr int32_t kMaxMLSOrder = 20;
constexpr int32_t kMinTestCDOrder = 10;
constexpr int32_t kMaxTestCDOrder = 16;
constexpr int32_t kTestCDToneSlots = 20;

// The test-CD signal description. The test-CD windows fill the first five fields
// before building; the tone series fields describe how the bins were chosen.
struct TestCDSettings {
  int32_t ToneCount = 0;      // tone pairs in use, 0..20
  int32_t SampleRate = 0;     // Hz
  float Amplitude = 0;        // peak sample value
  int32_t Order = 0;          // log2 of the signal length
  float Shaping = 0;          // spectral shaping: the first kept bin is Shaping x rate / 2^Order
  float FirstToneFreqA = 0;   // Hz, first tone of the first series
  float FirstToneFreqB = 0;   // Hz, first tone of the second series
  float ToneSpacing = 0;      // Hz, spacing inside each series
  std::array<int32_t, kTestCDToneSlots> LeftToneBins{};   // transform bins of the left channel
  std::array<int32_t, kTestCDToneSlots> RightToneBins{};  // transform bins of the right channel
};
static_assert(sizeof(TestCDSettings) == 8 * 4 + 2 * 20 * 4, "TestCDSettings is 48 four-byte fields");

// The current test-CD description (defaults are written by the main window at start-up).
extern TestCDSettings CDSignalParams;

// Scratch of the alignment: the signal with its circular extension (2^18 + 400).
extern std::array<float, 262545> AlignmentPadBuffer;
// The pink-weighted hybrid half of a test-CD channel (limits the order to 16).
extern std::array<int16_t, 65536> TestSignalBuffer;

// Fills a[0 .. 2^order - 1] with the sequence of the order (10..20) at +-amplitude:
// a 1 bit becomes -amplitude, a 0 bit +amplitude, the first `order` values are
// -amplitude and the last equals the first (period 2^order - 1). An order outside
// 10..20 ("Error 2364: MLS build" below, "Error 2365: MLS build" above) or an
// array shorter than the sequence is refused without writing; returns false then.
bool BuildMLSSequence(std::span<int16_t> a, int32_t order, int32_t amplitude);
bool BuildMLSSequenceSingle(std::span<float> a, int32_t order, int32_t amplitude);

// a[i] = -5 log10(i) dB for i = 1 .. n-1, a[0] = 0 (n held to the array).
void BuildPinkWeightingDb(std::span<float> a, int32_t n);

// What a silent curve says where one is drawn or analysed.
inline constexpr char kNoInputDataMessage[] = "Error 2341: No input data on one or both channels";

// Scales x[0 .. 2^order - 1] so that the largest magnitude equals level.
// Silence is reported ("Error 2341: No input data on one or both channels") and
// left unchanged; returns false then, or when the order does not fit the array.
bool NormalizeToPeak(std::span<float> x, float level, int32_t order);

// Smooths x[0..n-1] circularly with a 5w-point Gaussian of width w, finds the
// smoothed peak (returned in peak) and rotates x so that it lies at target.
// Refuses ("Error 3427") a window over 400 points, w < 1, a target outside 0..n-1
// and data that do not fit the array or the pad buffer; returns false then.
bool AlignImpulseByPeak(std::span<float> x, int32_t n, int32_t& peak, int32_t target, int32_t w);

// Reweights the spectrum of x[0 .. 2^order - 1] (order 1..16) by 1/sqrt(f) from bin
// k0 = p x rate / 2^order (rounded) upwards and removes the bins below it. Bad
// arguments are refused ("Error 7121: Invalid test CD settings").
bool ShapeSpectrumBySqrt(int32_t order, std::span<float> x, int32_t rate, float p);

// One test-CD channel into dest[0 .. 2^order - 1]: variant -1 the left channel,
// -2 the right (time-reversed mix, right tone bins). Validates order 10..16, tone
// count 0..20, every tone bin 0 < b < n/2, the rate, an amplitude of 1..32767 and
// the destination size before writing ("Error 7121: Invalid test CD settings").
bool BuildTestCDSignal(std::span<int16_t> dest, const TestCDSettings& settings, int32_t variant);

}  // namespace zentor
