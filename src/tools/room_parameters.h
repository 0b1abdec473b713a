// Room-acoustic parameters of one impulse response, per octave band and broadband:
// decay times from the Schroeder integral (EDT, T20, T30, each with the correlation
// coefficient of its line), clarity C50 and C80, definition D50, centre time Ts and
// the impulse-to-noise ratio. The noise is cut off at Lundeby's truncation point and
// the energy lost there is added back as the late decay would have carried it.
// Nothing here draws or talks to a window.
#pragma once

#include <array>
#include <complex>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zentor {

// A value that is shown but should not be trusted, and why.
struct MarkedValue {
  std::string name;    // the value's key: "edt_s", "t20_s", ...
  std::string reason;
};

struct RoomParameterValues {
  double centreHz = 0;  // nominal band centre; 0 for broadband
  std::optional<double> edt_s, t20_s, t30_s;
  std::optional<double> r_edt, r_t20, r_t30;
  std::optional<double> c50_db, c80_db, d50_pct, ts_ms, inr_db;
  std::vector<MarkedValue> marked;

  bool IsMarked(const std::string& name) const;
  // The reason a value is marked, empty when it is not.
  std::string Reason(const std::string& name) const;
};

struct RoomParameters {
  int32_t curve = 0;  // 1-based; 0 for an impulse given directly
  int32_t rate = 0;
  std::vector<RoomParameterValues> bands;  // 63 Hz upwards, those the rate carries
  RoomParameterValues broadband;
};

// The keys of the values in table order, as the CSV and the command line's JSON
// name them.
const std::array<const char*, 11>& RoomParameterKeys();
// The value under a key; empty for an unknown key.
std::optional<double> RoomParameterValue(const RoomParameterValues& v, const std::string& key);

// One octave band filter: three second-order sections (Butterworth band-pass of
// order six, edges at the band's exact limits, bilinear with pre-warped edges).
struct OctaveFilter {
  struct Section {
    double b0 = 0, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
  };
  std::array<Section, 3> sections;
  double nominalHz = 0;
  double exactHz = 0;   // mid-band frequency, base 10
  double lowerHz = 0, upperHz = 0;

  std::complex<double> Response(double hz, int32_t rate) const;
  // Centre time of the filter's impulse response (its energy-weighted mean time), in
  // samples.
  double EnergyDelay(int32_t rate) const;
  // Samples until all but a millionth of the filter's impulse-response energy has
  // passed: the shortest response the band can be told from its ringing in.
  int32_t RingSamples(int32_t rate) const;
  void Run(std::span<double> signal) const;
};

// The octave bands 63 Hz to 8 kHz whose upper edge lies at or below 0.45 x rate.
std::vector<OctaveFilter> OctaveFilters(int32_t rate);

// Where the impulse starts: the first sample whose square reaches a hundredth of the
// largest square, searched from a millisecond before the energy of one millisecond
// first comes within 20 dB of its largest, so that lone noise samples before the
// impulse are passed over; -1 when the impulse is silent. quietBefore tells whether
// a millisecond more than 20 dB down came before it, or less than a millisecond came
// before it at all, so that there is no noise before it to judge.
int32_t ImpulseOnset(std::span<const float> impulse, int32_t rate, bool* quietBefore = nullptr);

// Lundeby's truncation of an energy decay e (squared impulse from its start): the
// point where the late decay meets the noise, the noise level, and the late decay's
// line (10 log10 energy = level + slope x sample) used to add back the energy lost
// at the truncation; the start of the decay, for the impulse-to-noise ratio, from a
// line through the whole decay. ok is false when no decay was found above the noise.
struct NoiseTruncation {
  bool ok = false;
  int32_t cross = 0;        // samples kept
  double noiseDb = 0;       // mean energy of the noise, dB
  double levelDb = 0;       // late decay line at sample 0, dB
  double startDb = 0;       // the whole decay's line at its start (after a gap, where that ends), dB
  double slopeDb = 0;       // dB per sample, negative
  double tailEnergy = 0;    // energy past the truncation, from the line
};
NoiseTruncation LundebyTruncation(std::span<const double> e, int32_t rate);

// An impulse as the parameters read it: without the exact zeros it ends in and its DC
// (the mean of its last tenth) where that stands above its noise; cutMs, where it
// ends when those zeros are more than its noise could give (a cut), else negative.
struct PreparedImpulse {
  std::vector<float> samples;
  double cutMs = -1;
};
PreparedImpulse PrepareImpulse(std::span<const float> impulse, int32_t rate);

// The parameters of one impulse at `rate`, as PrepareImpulse leaves it. An impulse
// that is silent or too short gives every value empty. On a cut one a value is
// marked, and empty, where the cut takes what it needs.
RoomParameters ComputeRoomParameters(std::span<const float> impulse, int32_t rate);

// The parameters of loaded result `curve` (1-based). False with the reason in the
// program's words, naming the curve, when there is no such result or it is silent,
// holds samples that are not numbers or is shorter than the lowest band's filter
// rings.
bool RoomParametersOfResult(int32_t curve, RoomParameters& out, std::string& error);

// The table as CSV: a header line, then one line per band and one for broadband;
// empty cells for values that could not be computed, and a last column naming the
// marked values. Full stops for decimals whatever the locale.
std::string RoomParametersCsv(const RoomParameters& p);
// The same numbers as the command line's JSON object, each marked value under
// "marked" with its reason.
std::string RoomParametersJson(const RoomParameters& p);
// Writes the CSV through the atomic writer; false when the file could not be written.
bool SaveRoomParametersCsv(const std::string& path, const RoomParameters& p);

}  // namespace zentor
