#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

#include "support/audio_fixture.h"

namespace zentor::test {
namespace {

struct Take {
  std::vector<float> left, right;
};

// Plays the same signal on both outputs while recording, on the manual clock.
Take Record(const std::vector<int16_t>& signal) {
  WaveReceiver rx;
  const auto n = static_cast<int32_t>(signal.size());
  EXPECT_EQ(PlayOutPrep(&rx, SimulatedCardIndex(), 48000, signal, signal, n), WaveStatus::Ok);
  EXPECT_EQ(RecInPrep(&rx, SimulatedCardIndex(), 48000, n), WaveStatus::Ok);
  PlayOut();
  RecIn();
  SimulatedSoundCard::Instance().Advance(n);
  AudioTest::Pump();
  Take t{std::vector<float>(signal.size()), std::vector<float>(signal.size())};
  EXPECT_EQ(GetRecInData(t.left, t.right), n);
  CleanRecIn();
  CleanPlayOut();
  return t;
}

// Amplitude of the component at `hz` over whole periods of x[first, first + n).
double Amplitude(const std::vector<float>& x, std::size_t first, std::size_t n, double hz, double rate) {
  double re = 0, im = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double ph = 2 * std::numbers::pi * hz * static_cast<double>(i) / rate;
    re += x[first + i] * std::cos(ph);
    im += x[first + i] * std::sin(ph);
  }
  return 2 * std::hypot(re, im) / static_cast<double>(n);
}

using SimulatedCardTest = AudioTest;

TEST_F(SimulatedCardTest, SecondOrderDistortionGivesTheSecondHarmonicItsLevel) {
  SimulatedCardSettings s = Quiet();
  s.a2 = 0.02;
  UseCard(s);
  std::vector<int16_t> tone(24000);
  for (std::size_t i = 0; i < tone.size(); ++i)
    tone[i] = static_cast<int16_t>(std::nearbyint(16384 * std::sin(2 * std::numbers::pi * 1000 * double(i) / 48000)));
  const Take t = Record(tone);
  // 0.5 sin squared has a 2nd harmonic of 0.02 x 0.25 / 2 re 0.5: -46.02 dB.
  const double h1 = Amplitude(t.right, 4800, 9600, 1000, 48000), h2 = Amplitude(t.right, 4800, 9600, 2000, 48000);
  EXPECT_NEAR(20 * std::log10(h2 / h1), -46.0, 0.1);
}

TEST_F(SimulatedCardTest, NoiseAndClippingReachTheInputsAsSet) {
  SimulatedCardSettings s = Quiet();
  s.micNoise = 2.0;
  s.refNoise = 0.0;
  UseCard(s);
  const Take quiet = Record(std::vector<int16_t>(48000, 0));
  double sum = 0;
  for (float v : quiet.right) sum += double(v) * v;
  // sigma 2 plus the rounding's 1/12 LSB^2.
  EXPECT_NEAR(std::sqrt(sum / 48000), 2.02, 0.05);
  EXPECT_EQ(*std::max_element(quiet.left.begin(), quiet.left.end()), 0.0f) << "reference noise was off";

  s = Quiet();
  s.inputGain = 4.0;
  UseCard(s);
  std::vector<int16_t> tone(8000);
  for (std::size_t i = 0; i < tone.size(); ++i)
    tone[i] = static_cast<int16_t>(std::nearbyint(30000 * std::sin(2 * std::numbers::pi * 440 * double(i) / 48000)));
  const Take loud = Record(tone);
  EXPECT_EQ(*std::max_element(loud.right.begin(), loud.right.end()), 32767.0f);
  EXPECT_EQ(*std::min_element(loud.right.begin(), loud.right.end()), -32768.0f);
}

TEST_F(SimulatedCardTest, TheDefaultRoomIsWhatTheMicrophoneHears) {
  SimulatedCardSettings s = Quiet();
  s.room.clear();
  s.referenceGain = 0.5;
  UseCard(s);
  const std::vector<double> h = KnownMicImpulse(48000);
  ASSERT_EQ(h.size(), 21600u);
  // Three clicks, the room's response to each summed: the oracle is the response itself.
  const std::size_t clicks[] = {0, 3001, 9000};
  const double heights[] = {20000, -12000, 8000};
  std::vector<int16_t> signal(40000, 0);
  for (int c = 0; c < 3; ++c) signal[clicks[c]] = static_cast<int16_t>(heights[c]);
  const Take t = Record(signal);
  int worst = 0;
  for (std::size_t i = 480; i < signal.size(); ++i) {
    double expect = 0;
    for (int c = 0; c < 3; ++c) {
      const std::size_t k = i - 480;
      if (k >= clicks[c] && k - clicks[c] < h.size()) expect += heights[c] * h[k - clicks[c]];
    }
    worst = std::max(worst, static_cast<int>(std::abs(t.right[i] - std::nearbyint(expect))));
  }
  EXPECT_LE(worst, 1);
  // The direct sound arrives 2 m on, behind the latency.
  const auto peak = std::max_element(t.right.begin(), t.right.end(), [](float a, float b) {
    return std::abs(a) < std::abs(b);
  });
  EXPECT_NEAR(static_cast<double>(peak - t.right.begin()), 480 + std::nearbyint(2 * 48000 / 343.0), 3);
  EXPECT_EQ(t.left[480], 10000.0f) << "the reference is half the other output";
}

void WriteWave(const std::string& path, int rate, int channels, const std::vector<int16_t>& samples) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  auto u32 = [&](uint32_t v) { std::fwrite(&v, 4, 1, f); };
  auto u16 = [&](uint16_t v) { std::fwrite(&v, 2, 1, f); };
  const uint32_t bytes = static_cast<uint32_t>(samples.size() * 2);
  std::fwrite("RIFF", 1, 4, f);
  u32(36 + bytes);
  std::fwrite("WAVEfmt ", 1, 8, f);
  u32(16);
  u16(1);
  u16(static_cast<uint16_t>(channels));
  u32(static_cast<uint32_t>(rate));
  u32(static_cast<uint32_t>(rate * 2 * channels));
  u16(static_cast<uint16_t>(2 * channels));
  u16(16);
  std::fwrite("data", 1, 4, f);
  u32(bytes);
  std::fwrite(samples.data(), 2, samples.size(), f);
  std::fclose(f);
}

TEST_F(SimulatedCardTest, ARoomFromAWaveFileReplacesTheDefaultAtItsRate) {
  const std::string path = TempPath("room.wav");
  WriteWave(path, 48000, 1, {16384, 0, 0, -8192});
  setenv("ZENTOR_SIM_ROOM", path.c_str(), 1);
  EXPECT_EQ(KnownMicImpulse(48000), (std::vector<double>{0.5, 0, 0, -0.25}));
  // Another rate keeps the default room.
  EXPECT_EQ(KnownMicImpulse(44100), DefaultRoomImpulse(44100));

  SimulatedCardSettings s = Quiet();
  s.room.clear();
  UseCard(s);
  std::vector<int16_t> click(2000, 0);
  click[0] = 1000;
  const Take t = Record(click);
  EXPECT_EQ(t.right[480], 500.0f);
  EXPECT_EQ(t.right[483], -250.0f);
  unsetenv("ZENTOR_SIM_ROOM");

  std::vector<double> room;
  std::string why;
  EXPECT_FALSE(ReadRoomWave(TempPath("none.wav"), 48000, room, why));
  EXPECT_EQ(why, "cannot be opened");
  WriteWave(path, 48000, 2, {1, 2, 3, 4});
  EXPECT_FALSE(ReadRoomWave(path, 48000, room, why));
  EXPECT_EQ(why, "is not mono");
  WriteWave(path, 44100, 1, {1, 2});
  EXPECT_FALSE(ReadRoomWave(path, 48000, room, why));
  EXPECT_NE(why.find("44100"), std::string::npos);
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fputs("RIFF\x10\0\0\0WAVEdata", f);
  std::fclose(f);
  EXPECT_FALSE(ReadRoomWave(path, 48000, room, why));
  EXPECT_TRUE(room.empty());
}

}  // namespace
}  // namespace zentor::test
