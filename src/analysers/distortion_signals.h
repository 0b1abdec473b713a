// The distortion measurement's arithmetic, apart from its window: the two-tone and
// multitone excitations, the lists of harmonic and intermodulation products, the
// band powers of the recorded spectrum, and the texts of the results and the file.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zentor {

inline constexpr int32_t kDistTestLength = 1 << 19;   // samples played and recorded per test
inline constexpr int32_t kDistNoiseLength = 1 << 16;  // samples of the background-noise recording
inline constexpr int32_t kDistListSize = 1001;        // entries of every frequency list
inline constexpr int32_t kMultitoneTones = 16;
inline constexpr int32_t kMultitoneFade = 400;
inline constexpr int32_t kTwoToneFade = 1000;
inline constexpr float kDistPlayPeak = 25000.0f;
inline constexpr float kBandFactor = 0.3986f;  // Hz of band round each frequency
inline constexpr float kTwoToneMinSpacing = 0.4f;
inline constexpr float kLevelLimit = 16384.0f;

inline constexpr const char* kTooManyProducts =
    "Error 6211: Too many distortion products. Lower the Order of Products or narrow the Excitation Range";

extern const std::array<float, kMultitoneTones> kExcitationFreqTable;

using FreqList = std::array<float, kDistListSize>;

// B-weighting as a power factor: e^(B/10) with B in dB, 0 dB at 1 kHz.
float MultitoneWeight(float f);

// Raised-cosine rise over the first n samples and its mirror over the last n.
void FadeEnds(std::span<float> work, int32_t n);
// Peak-normalises work to kDistPlayPeak (a peak below 1 counts as 1) into play.
void ScaleToPlay(std::span<const float> work, std::span<int16_t> play);

// One B-weighted sine per non-zero frequency, phase 0, faded and scaled into play.
// work is scratch of play's length and ends zeroed.
void BuildMultitoneSignal(std::span<float> work, std::span<int16_t> play, std::span<const float> freqs, int32_t rate);
// Two sines of amplitudes 10^(L/20), faded and scaled into play; work ends zeroed.
void BuildTwoToneWave(std::span<float> work, std::span<int16_t> play, float f1, float f2, float level1, float level2,
                      int32_t rate);

// A product list kept in [fmin, fmax), ascending. `overflow` is set when more than
// kDistListSize products fall in the band (or the count cannot be bounded).
struct ProductList {
  std::vector<float> freqs;
  bool overflow = false;
};
// Second-order sums and differences of every tone pair, then N f(i) +- f(j) for N = 2
// to order; zeros among the tones end the list of tones.
ProductList ListIntermodProducts(std::span<const float> tones, int32_t order, float fmin, float fmax);
// Harmonics 2 to harmonicOrder of every tone; equal harmonics of two tones stay twice.
ProductList ListHarmonicProducts(std::span<const float> tones, int32_t harmonicOrder, float fmin, float fmax);
// Both lists of two tones merged, as the two-tone check sees them.
ProductList ListTwoToneProducts(float f1, float f2, int32_t harmonicOrder, int32_t order, float fmin, float fmax);
// Smallest gap between adjacent entries; 10000 with fewer than two.
float SmallestSpacing(const std::vector<float>& sorted);
// Copies up to list.size() entries and zeros the rest.
void StoreList(const std::vector<float>& from, std::span<float> list);

// The analysis band: bins per Hz and the half width in bins.
struct AnalysisBand {
  float binsPerHz = 0;
  int32_t half = 0;
};
AnalysisBand BandFor(int32_t rate);
// Power in the band round f of the spectrum S (kDistTestLength bins). With a noise
// spectrum (kDistNoiseLength bins) each bin is net of 8 x N(round(i/8)). Negative
// sums give 0; a band not wholly inside bins 1..2^18-1 gives nullopt.
std::optional<float> BandPower(std::span<const float> S, std::span<const float> N, float f, const AnalysisBand& band);

// What the result fields, their units and the file's result lines show.
struct DistortionDisplay {
  std::string imd, hd, total;
  std::string imdUnits, hdUnits, totUnits;
  float imdResult = 0, hdResult = 0;
  std::string imdLine, hdLine, totalLine;
};
std::optional<DistortionDisplay> FormatDistortionResults(float excitationPower, float intermodPower,
                                                         float harmonicPower, bool percent);

// Relative level of one power: percent of amplitude, or dB; nullopt in dB for no power.
std::optional<float> RelativeLevel(float power, float excitationPower, bool percent);

struct DistortionFileContent {
  std::string splText, totalLine, imdLine, hdLine;
  bool dB = false;
  struct Row {
    float freq;
    std::optional<float> level;  // nullopt: no power in dB
  };
  std::vector<Row> excitation, intermod, harmonic;
};
// The output file: one double-quoted record per line, CR LF.
std::string DistortionOutputText(const DistortionFileContent& c);

}  // namespace zentor
