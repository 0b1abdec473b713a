// The distortion arithmetic against hand-listed products, the weighting curve's
// published values, bin arithmetic and sine amplitudes measured by correlation.
#include <gtest/gtest.h>

#include "analyser_fixture.h"
#include "analysers/distortion_signals.h"

namespace zentor::test {
namespace {

std::vector<float> Sixteen() { return {kExcitationFreqTable.begin(), kExcitationFreqTable.end()}; }

TEST(DistortionProducts, TwoToneListsAndTheirSpacing) {
  const ProductList p = ListTwoToneProducts(20, 31, 3, 2, 20, 20000);
  EXPECT_EQ(p.freqs, (std::vector<float>{40, 42, 51, 60, 62, 71, 82, 93}));
  EXPECT_FLOAT_EQ(SmallestSpacing(p.freqs), 2.0f);
  // Products 0.2 Hz apart, and products that coincide, are both too close.
  EXPECT_LT(SmallestSpacing(ListTwoToneProducts(1000, 1000.2f, 3, 2, 20, 20000).freqs), kTwoToneMinSpacing);
  EXPECT_EQ(SmallestSpacing(ListTwoToneProducts(100, 200, 3, 2, 20, 20000).freqs), 0.0f);
  EXPECT_EQ(SmallestSpacing({500}), 10000.0f);
}

TEST(DistortionProducts, MultitoneCountsAndTheListLimit) {
  const std::vector<float> tones = Sixteen();
  EXPECT_EQ(ListIntermodProducts(tones, 2, 0, 1e9f).freqs.size(), 720u);  // every candidate
  EXPECT_EQ(ListIntermodProducts(tones, 2, 20, 20000).freqs.size(), 609u);
  EXPECT_EQ(ListHarmonicProducts(tones, 3, 20, 20000).freqs.size(), 27u);
  const ProductList three = ListIntermodProducts(tones, 3, 20, 20000);
  EXPECT_FALSE(three.overflow);
  EXPECT_EQ(three.freqs.size(), 980u);
  EXPECT_TRUE(ListIntermodProducts(tones, 4, 20, 20000).overflow);
  // An order far beyond any sense ends, refused or bounded by the band.
  EXPECT_TRUE(ListIntermodProducts(std::vector<float>{0.001f, 5}, 2000000000, 20, 20000).overflow);
  EXPECT_EQ(ListHarmonicProducts(std::vector<float>{5000, 7000}, 2000000000, 20, 20000).freqs,
            (std::vector<float>{10000, 14000, 15000}));
  // One tone: no intermodulation, its harmonics.
  const std::vector<float> one{1000};
  EXPECT_TRUE(ListIntermodProducts(one, 2, 20, 20000).freqs.empty());
  EXPECT_EQ(ListHarmonicProducts(one, 3, 20, 20000).freqs, (std::vector<float>{2000, 3000}));
  // Equal harmonics of two tones both stay.
  EXPECT_EQ(ListHarmonicProducts(std::vector<float>{100, 150}, 3, 20, 20000).freqs,
            (std::vector<float>{200, 300, 300, 450}));
}

TEST(DistortionSignals, WeightingCurveAtItsPublishedPoints) {
  const float f[] = {20, 32.48f, 125.7f, 515.3f, 1000, 1258, 5036, 12331, 20675};
  const float w[] = {0.0893f, 0.188f, 0.658f, 0.975f, 1.000f, 1.001f, 0.887f, 0.552f, 0.314f};
  for (int k = 0; k < 9; ++k) EXPECT_NEAR(MultitoneWeight(f[k]), w[k], 0.01) << f[k];
}

TEST(DistortionSignals, TwoToneAmplitudesFollowAmplitudeDecibels) {
  std::vector<float> work(kDistTestLength);
  std::vector<int16_t> play(kDistTestLength);
  BuildTwoToneWave(work, play, 1000, 1300, 0, -12, 48000);
  EXPECT_NEAR(SineAmplitude(play, 1300, 48000) / SineAmplitude(play, 1000, 48000), std::pow(10.0, -12.0 / 20), 0.002);
  for (float v : work) ASSERT_EQ(v, 0.0f);
  // Two quiet tones are not raised to full scale.
  BuildTwoToneWave(work, play, 1000, 1300, -20, -20, 48000);
  int peak = 0;
  for (int16_t v : play) peak = std::max(peak, std::abs(static_cast<int>(v)));
  EXPECT_NEAR(peak, 5000, 50);
}

TEST(DistortionSignals, FadesRiseSmoothlyAndScaleToTheSteadyPeak) {
  std::vector<float> work(kDistTestLength);
  std::vector<int16_t> play(kDistTestLength);
  BuildMultitoneSignal(work, play, Sixteen(), 48000);
  EXPECT_EQ(std::pair(play.front(), play.back()), (std::pair<int16_t, int16_t>(0, 0)));
  int peak = 0, fadePeak = 0;
  for (std::size_t i = 0; i < play.size(); ++i) {
    peak = std::max(peak, std::abs(static_cast<int>(play[i])));
    if (i < static_cast<std::size_t>(kMultitoneFade)) fadePeak = std::max(fadePeak, std::abs(static_cast<int>(play[i])));
  }
  EXPECT_EQ(peak, 25000);
  EXPECT_LT(fadePeak, peak);  // the peak belongs to the steady signal, not the fade
  std::vector<float> ramp(10, 1.0f);
  FadeEnds(ramp, 4);
  const std::pair<int, float> fade[] = {{0, 0.0f}, {2, 0.5f}, {5, 1.0f}, {7, 0.5f}, {9, 0.0f}};
  for (const auto& [i, v] : fade) EXPECT_NEAR(ramp[i], v, 1e-6) << i;
}

TEST(DistortionAnalysis, BandsAndNoise) {
  const AnalysisBand b48 = BandFor(48000), b44 = BandFor(44100);
  EXPECT_NEAR(b48.binsPerHz, 10.92267f, 1e-4);
  EXPECT_NEAR(b44.binsPerHz, 11.88861f, 1e-4);
  EXPECT_EQ(std::pair(b48.half, b44.half), std::pair(2, 2));
  // Bin i holds i: the band's sum names its bins.
  std::vector<float> S(kDistTestLength);
  for (std::size_t i = 0; i < S.size(); ++i) S[i] = static_cast<float>(i);
  EXPECT_FLOAT_EQ(*BandPower(S, {}, 1000, b48), 10921 + 10922 + 10923 + 10924 + 10925);
  EXPECT_FLOAT_EQ(*BandPower(S, {}, 20, b44), 236 + 237 + 238 + 239 + 240);
  // Noise: 8 x N(round(i / 8)) off each bin, clamped at 0 for the band.
  std::vector<float> N(kDistNoiseLength, 0.0f);
  N[1365] = 100;  // round(10921/8) .. round(10925/8) = 1365, 1365, 1365, 1366, 1366 (10924/8 = 1365.5 -> 1366)
  EXPECT_FLOAT_EQ(*BandPower(S, N, 1000, b48), 54615 - 3 * 800);
  N[1365] = 1e6;
  EXPECT_EQ(*BandPower(S, N, 1000, b48), 0.0f);
  // Bands that leave the spectrum are skipped.
  EXPECT_FALSE(BandPower(S, {}, 0.1f, b48));
  EXPECT_FALSE(BandPower(S, {}, 24000, b48));
}

TEST(DistortionResults, FloorsTruncationAndUnits) {
  EXPECT_FALSE(FormatDistortionResults(0, 1, 1, true));
  auto pc = [](double value) { return static_cast<float>(std::pow(value / 100, 2)); };
  auto d = FormatDistortionResults(1, pc(0.1234), 0, true);
  EXPECT_EQ(std::tuple(d->imd, d->hd, d->total), std::tuple("0.12", "<0.1 ", "0.12"));
  EXPECT_EQ(std::tuple(d->imdLine, d->hdLine, d->totalLine),
            std::tuple("IMD = 0.12 % IMD", "HD = 0 % HD", "Total Distortion = 0.12 % Tot"));
  EXPECT_EQ(FormatDistortionResults(1e6f, 0.01f, 0, true)->imd, "<0.1 ");  // exactly 0.1 %
  d = FormatDistortionResults(1, static_cast<float>(std::pow(10.0, -4.237)), 0, false);
  EXPECT_EQ(std::tuple(d->imd, d->hd, d->hdLine), std::tuple("-42.3", "<-60", "HD = <-60 dB HD"));
  EXPECT_EQ(std::tuple(d->imdUnits, d->totUnits), std::tuple("dB IMD", "dB Total"));
  EXPECT_FLOAT_EQ(d->imdResult, -42.3f);
}

TEST(DistortionResults, OutputFileRecords) {
  DistortionFileContent c;
  c.splText = "??";
  c.totalLine = "Total Distortion = 0.87 % Tot";
  c.imdLine = "IMD = 0.78 % IMD";
  c.hdLine = "HD = 0.38 % HD";
  c.excitation = {{20, 50.5f}, {32.47691f, 25}};
  c.harmonic = {{40, 0.125f}};
  EXPECT_EQ(DistortionOutputText(c),
            "\"Mirabelt Zentor Distortion Output File\"\r\n"
            "\"SPL Level =  ??dB\"\r\n"
            "\"Total Distortion = 0.87 % Tot\"\r\n"
            "\"IMD = 0.78 % IMD\"\r\n"
            "\"HD = 0.38 % HD\"\r\n"
            "\"Excitation Frequency , Level (%) \"\r\n"
            "\"20,  50.5\"\r\n"
            "\"32.47691,  25\"\r\n"
            "\"Intermodulation Frequency [Hz], Level (%) \"\r\n"
            "\"Harmonic Frequency [Hz], Level (%) \"\r\n"
            "\"40,  0.125\"\r\n");
  c.dB = true;
  c.harmonic = {{40, std::nullopt}};
  const std::string t = DistortionOutputText(c);
  EXPECT_NE(t.find("\"Excitation Frequency [Hz], Level [dB] \"\r\n"), std::string::npos);
  EXPECT_NE(t.find("\"Intermodulation Frequency [Hz], Level [dB] \"\r\n"), std::string::npos);
  EXPECT_NE(t.find("\"Harmonic Frequency [Hz], Level [dB] \"\r\n\"40,  <-60\"\r\n"), std::string::npos);
  EXPECT_FLOAT_EQ(*RelativeLevel(0.25f, 1, true), 50.0f);
  EXPECT_FLOAT_EQ(*RelativeLevel(-0.01f, 1, false), -20.0f);
  EXPECT_FALSE(RelativeLevel(0, 1, false));
}

}  // namespace
}  // namespace zentor::test
