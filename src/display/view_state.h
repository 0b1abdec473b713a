// What the main graph shows and how: the display configuration stored with a
// measurement file, the impulse and energy-time settings, the coordinate lock
// and the rubber-band state of the zoom.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zentor {

// What DisplayResults(FirstCurve) may take from the curves already filed for
// the view shown.
constexpr int32_t kRedrawFiledCurves = -1;  // compute nothing; redraw the filed curves in the current frame
constexpr int32_t kRecomputeAllCurves = 0;  // compute every curve
// k > 0: slots 0..k-1 are kept as filed, the later ones are computed.
constexpr int32_t KeepFiledCurves(int32_t k) { return k; }

// Values of Graphshown.
enum : int32_t {
  kModalSliceView = 0,
  kNoiseView = 1,
  kImpulseView = 2,
  kBodeView = 3,
  kLevelsView = 4,
  kPsdView = 5,
  kFractOctView = 6,
  kPsycView = 7,
};

// 36 bytes, stored byte for byte in the measurement file. Flags: -1 true, 0 false.
struct DisplayConfigRecord {
  std::array<uint8_t, 10> Reserved0{};
  int16_t Average = 0;
  int16_t Reserved12 = 0;
  int16_t FFTSelected = 0;
  int16_t FractOctSelected = 0;
  int16_t PsycSelected = 0;
  int32_t Graphshown = 0;  // 0 modal slice, 1 noise, 2 impulse, 3 Bode, 4 levels, 5 PSD, 6 fract. octave, 7 psyc.
  int32_t ShowFractOctInSingleView = 0;
  int32_t ShowPsycInSingleView = 0;
  int32_t ShowBodeInSingleView = 0;
};
static_assert(sizeof(DisplayConfigRecord) == 36, "DisplayConfig is the 36-byte file image");

// 78 bytes on file, member by member.
struct ImpulseDisplayConfigRecord {
  float UpperCutoffFreq = 0;  // Hz
  float LowerCutoffFreq = 0;  // Hz
  int32_t Order = 0;
  int16_t FilterOn = 0;
  int16_t ShowETC = 0;
  double ETCMinLow = 0, ETCMinHigh = 0;    // Hz
  double ETCMidLow = 0, ETCMidHigh = 0;    // Hz
  double ETCHighLow = 0, ETCHighHigh = 0;  // Hz
  int16_t ApplyLowETC = 0;
  int16_t ApplyMidETC = 0;
  int16_t ApplyHighETC = 0;
  float ETCDRTime = 0;     // ms
  float ETCDRPlusRev = 0;  // ms
};
constexpr size_t kImpulseDisplayConfigFileBytes = 78;  // written member by member, no padding

// The axis limits fit to data keeps to.
struct CoOrdLockLimitsRecord {
  float TimeStart = 0, TimeFinish = 0;                        // ms
  float FreqDomainStartFreq = 0, FreqDomainFinishFreq = 0;  // Hz
  float FreqHighLevel = 0, FreqLowLevel = 0;                  // dB
  float NoiseFreqStart = 0, NoiseFreqFinish = 0;              // Hz
  float NoiseHighLevel = 0, NoiseLowLevel = 0;                // dB
};

struct RubberBandRecord {
  float StartX = 0, StartY = 0, EndX = 0, EndY = 0;  // drawing units
  int32_t OldPen = 0;
  int32_t NewPen = 0;
  int16_t BoxErased = 0;
  int16_t ButtonDown = 0;
};

// One recorded noise spectrum: its exponent (2^e values) and sample rate. The
// entry count lives in Count of entry 0.
struct PsdParameterEntry {
  int32_t Exponent = 0;
  int32_t SampleRate = 0;  // Hz
  int32_t Count = 0;
};
constexpr int kPsdParameterEntries = 33;
constexpr int kMaxPsdSpectra = 32;

// The impulse of the last levels check (the levels view reads 4096 samples of it).
constexpr int kLevelsImpulseSamples = 1 << 17;

// The start-up filter, energy-time bands and decay range of the impulse view.
void SetDefaultImpulseDisplay(ImpulseDisplayConfigRecord& i);

extern DisplayConfigRecord DisplayConfig;
extern ImpulseDisplayConfigRecord ImpulseDisplayConfig;
extern CoOrdLockLimitsRecord CoOrdLockLimits;
extern RubberBandRecord RubberBandState;
extern std::array<PsdParameterEntry, kPsdParameterEntries> PsdParameters;
extern std::array<float, kLevelsImpulseSamples> LevelsImpulse;

}  // namespace zentor
