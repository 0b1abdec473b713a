// A CD player for the test-CD measurement: reads a stereo 16-bit WAV file the
// way a player would (walking its RIFF chunks), plays its left, right or both
// channels through a known loudspeaker and delivers what the microphone hears at
// the sound card's rate, the player's clock running 1 + eps times the nominal.
#pragma once

#include <complex>
#include <cstdint>
#include <string>
#include <vector>

namespace zentor::test {

// Second-order Butterworth high-pass and low-pass in series, a delay and a gain.
struct Loudspeaker {
  double highPassHz = 60;
  double lowPassHz = 12000;
  double delayS = 0.003;
  double gain = 0.5;
  std::complex<double> Response(double hz) const;
  // Its impulse at `rate`, `n` samples (a power of two), delayed by `extraS` more.
  std::vector<double> Impulse(int32_t rate, int32_t n, double extraS = 0) const;
};

struct StereoWave {
  int32_t rate = 0;
  std::vector<int16_t> left, right;
};
// The first `maxFrames` frames of a 16-bit stereo PCM file; false when it is not one.
bool ReadStereoWave(const std::string& path, int64_t maxFrames, StereoWave& out);

enum class CdChannels { Left, Right, Both };

struct PlayedCD {
  int32_t periodLength = 65536;
  CdChannels channels = CdChannels::Left;
  Loudspeaker speaker;
  double eps = 0;
  double startFrame = 1234.25;  // where on the disc the player is when the card starts
};

// `count` samples at cardRate of the microphone signal. The disc repeats its
// first period, so the loudspeaker is applied to that period circularly.
std::vector<double> PlayCD(const StereoWave& disc, const PlayedCD& how, int32_t cardRate, int64_t count);

}  // namespace zentor::test
