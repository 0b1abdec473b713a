#include <gtest/gtest.h>

#include <QLocale>
#include <array>
#include <clocale>
#include <cmath>
#include <locale>
#include <string>
#include <tuple>
#include <vector>

#include "core/emulation.h"
#include "core/filter_record.h"
#include "support/fixture.h"

namespace zentor {
namespace {

constexpr double kTwoPi = 6.283185307179586;

class Emulation : public test::ZentorTest {};

double LevelOf(float Q1, float Q2) { return (Q1 < 0 ? 20.0 : -20.0) * std::log10(std::fabs(Q1 / Q2)); }

// A filter of the given level (dB, + boosts) and centre Q, in the Q1/Q2 form.
void MakeFilter(double levelDb, double centreQ, float& Q1, float& Q2) {
  const double a = centreQ * std::pow(10.0, std::fabs(levelDb) / 40.0);
  const double b = centreQ * std::pow(10.0, -std::fabs(levelDb) / 40.0);
  Q1 = static_cast<float>(levelDb > 0 ? -a : a);
  Q2 = static_cast<float>(b);
}

struct CommaDecimal : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
};

// The same results in the plain locale and under a comma-decimal one.
FilterRecord WithCode(int32_t code) {
  FilterRecord r;
  r.EQEmulationCode = code;
  return r;
}

TEST_F(Emulation, QuantisersTakeTheNearestStepAsAPlainSearchOfTheTableDoes) {
  // Values on, between and exactly midway between steps, and beyond the ends.
  using Quantise = float (*)(int32_t, float);
  for (const int32_t code : {1, 4, 5}) {
    BuildEmulationStepTables(code);
    const struct {
      Quantise q;
      std::vector<float> table;
    } tables[] = {
        {QuantizeEmulatedFrequency, {EmulationFreqSteps.begin(), EmulationFreqSteps.begin() + EmulationFreqCount}},
        {QuantizeEmulatedQ, {EmulationQSteps.begin(), EmulationQSteps.begin() + EmulationQCount}},
        {QuantizeEmulatedLevel, {EmulationLevelSteps.begin(), EmulationLevelSteps.begin() + EmulationLevelCount}},
    };
    for (const auto& t : tables) {
      std::vector<float> values{t.table.front() - 1, t.table.back() + 1};
      for (size_t i = 0; i + 1 < t.table.size(); ++i)
        for (const float share : {0.0f, 0.3f, 0.5f, 0.7f}) values.push_back(t.table[i] + share * (t.table[i + 1] - t.table[i]));
      for (const float v : values) {
        size_t best = 0;
        for (size_t i = 1; i < t.table.size(); ++i)
          if (std::fabs(v - t.table[i]) < std::fabs(v - t.table[best])) best = i;
        EXPECT_EQ(t.q(code, v), static_cast<float>(std::round(t.table[best] * 100.0f) / 100.0)) << code << " " << v;
      }
    }
  }
}

TEST_F(Emulation, StepTablesQuantisersWidthsBandsAndSampleRateCheck) {
  struct Expect {
    int32_t code, freqs, widths, levels;
    double firstHz, lastHz, firstWidth, lastWidth, firstLevel, lastLevel;
  };
  const Expect expects[] = {
      {1, 602, 120, 65, 20, 20000 * std::pow(2.0, 1 / 60.0), 1, 120, -48, 16},
      {4, 601, 25, 80, 20, 20000, 1, 600, -36, 14},
      {5, 319, 41, 251, 20, 20 * std::pow(10.0, 318 / 106.0), 0.1, 0.1 * std::pow(1.122018454301, 40), -15, 10},
  };
  for (const auto& e : expects) {
    SCOPED_TRACE(e.code);
    BuildEmulationStepTables(e.code);
    EXPECT_EQ(EmulationModel, e.code);
    ASSERT_EQ(EmulationFreqCount, e.freqs);
    ASSERT_EQ(EmulationQCount, e.widths);
    ASSERT_EQ(EmulationLevelCount, e.levels);
    EXPECT_NEAR(EmulationFreqSteps[0], e.firstHz * kTwoPi, 1e-3);
    EXPECT_NEAR(EmulationFreqSteps[e.freqs - 1], e.lastHz * kTwoPi, 0.02);
    EXPECT_NEAR(EmulationQSteps[0], e.firstWidth, 1e-6);
    EXPECT_NEAR(EmulationQSteps[e.widths - 1], e.lastWidth, 1e-4);
    EXPECT_NEAR(EmulationLevelSteps[0], e.firstLevel, 1e-5);
    EXPECT_NEAR(EmulationLevelSteps[e.levels - 1], e.lastLevel, 1e-5);
    // Every table rises strictly, so "the lower step" is well defined.
    for (int i = 1; i < e.freqs; ++i) EXPECT_LT(EmulationFreqSteps[i - 1], EmulationFreqSteps[i]) << i;
    for (int i = 1; i < e.widths; ++i) EXPECT_LT(EmulationQSteps[i - 1], EmulationQSteps[i]) << i;
    for (int i = 1; i < e.levels; ++i) EXPECT_LT(EmulationLevelSteps[i - 1], EmulationLevelSteps[i]) << i;
  }
  // Code 1 sits on the ISO bands: band 1000 Hz is entry 11 + 16 * 20 + 9.
  BuildEmulationStepTables(1);
  EXPECT_NEAR(EmulationFreqSteps[11 + 16 * 20 + 9], 1000 * kTwoPi, 1e-3);
  // Code 4's levels change step at -15 dB; code 5 holds an exact 0 dB.
  BuildEmulationStepTables(4);
  EXPECT_EQ(EmulationLevelSteps[21], -15.0f);
  EXPECT_EQ(EmulationLevelSteps[22], -14.5f);
  EXPECT_EQ(EmulationLevelSteps[51], 0.0f);
  BuildEmulationStepTables(5);
  EXPECT_EQ(EmulationLevelSteps[150], 0.0f);
  // Codes without steps become the model with empty tables.
  BuildEmulationStepTables(3);
  EXPECT_EQ(EmulationModel, 3);
  EXPECT_EQ(EmulationFreqCount + EmulationQCount + EmulationLevelCount, 0);

  std::array<float, 31> bands{};
  FillISOThirdOctaveBands(bands);
  EXPECT_EQ(bands, ISOBandCentres);
  EXPECT_EQ(bands[2], 31.5f);
  // Every band is within 1/6 octave of the exact third-octave series around 1 kHz.
  for (int i = 0; i < 31; ++i) EXPECT_NEAR(std::log2(bands[i] / 1000.0) * 3, i - 17, 0.1) << i;
  std::array<float, 5> shortArray{};
  FillISOThirdOctaveBands(shortArray);  // writes only what fits
  EXPECT_EQ(shortArray[4], 50.0f);

  using Quantise = float (*)(int32_t, float);
  const Quantise F = QuantizeEmulatedFrequency, Q = QuantizeEmulatedQ, L = QuantizeEmulatedLevel;
  struct Row {
    const char* why;
    Quantise q;
    int32_t code;
    float in, out;
  };
  const Row rows[] = {
      // Code 1: 1000 Hz onto the ISO step, 1010 Hz onto the next 1/60-octave step; levels held to -48..16.
      {"ISO step", F, 1, static_cast<float>(1000 * kTwoPi), 6283.19f},
      {"1/60 octave", F, 1, static_cast<float>(1010 * kTwoPi),
       static_cast<float>(std::round(1000 * std::pow(2.0, 1 / 60.0) * kTwoPi * 100) / 100)},
      {"level", L, 1, 5.4f, 5.0f}, {"top", L, 1, 20.0f, 16.0f}, {"bottom", L, 1, -60.0f, -48.0f}, {"Q", Q, 1, 20.4f, 20.0f},
      // Exactly between two steps: the lower one.
      {"half", L, 1, 5.5f, 5.0f}, {"-half", L, 1, -5.5f, -6.0f}, {"Q half", Q, 1, 2.5f, 2.0f},
      // Code 4: -14.8 dB is nearer -15 than -14.5.
      {"-14.8", L, 4, -14.8f, -15.0f}, {"-14.7", L, 4, -14.7f, -14.5f}, {"Q 7", Q, 4, 7.0f, 6.67f},
      // Code 5: Q 0.7 snaps to 0.1 x 1.122^17 = 0.70795.
      {"Q 0.7", Q, 5, 0.7f, 0.71f}, {"near 0", L, 5, 0.04f, 0.0f}, {"-3.33", L, 5, -3.33f, -3.3f},
      // Codes without steps only round to two decimals, halves away from zero.
      {"no steps", L, 2, -0.125f, -0.13f}, {"no steps F", F, 3, 6283.1853f, 6283.19f},
  };
  const auto check = [&] {
    for (const Row& r : rows) EXPECT_EQ(r.q(r.code, r.in), r.out) << r.why;
    EXPECT_EQ(EmulationModel, 3);
    BuildEmulationStepTables(5);
    EXPECT_EQ(NearestStepText(0.7f, EmulationQSteps, static_cast<float>(EmulationQCount), 5), "0.71");
    const std::array<float, 1> none{};
    EXPECT_EQ(NearestStepText(-0.125f, none, 0, 2), "-0.13");
    EXPECT_EQ(NearestStepText(0.125f, none, 0, 3), "0.13");
    EXPECT_EQ(NearestStepText(1234.5678f, none, 0, 2), "1234.57");
    // A count larger than the table is held to the table.
    const std::array<float, 3> small{1, 2, 3};
    EXPECT_EQ(NearestStepText(99, small, 1e9f, 1), "3");
    EXPECT_EQ(NearestStepText(99, small, std::nanf(""), 1), "99");
  };
  check();
  const std::locale saved = std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
  const QLocale savedQt;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  const bool cLocale = std::setlocale(LC_ALL, "de_DE.UTF-8") || std::setlocale(LC_ALL, "fr_FR.UTF-8");
  SCOPED_TRACE("comma decimal");
  check();
  if (cLocale) std::setlocale(LC_ALL, "C");
  QLocale::setDefault(savedQt);
  std::locale::global(saved);

  const std::string text1 =
      "User Error: Measured results must be sampled between 44100 Hz and 48000 Hz for the chosen EQ emulation. "
      "Open the original 44.1/48 KHz data file to run this emulation";
  const std::string text5 =
      "User Error: Measured results must be resampled to 96000 Hz for the chosen EQ emulation. Resample results "
      "from the Tools menu.";
  int resampleOffers = 0;
  EmulationHooks.OpenResampleWindow = [&] { ++resampleOffers; };

  std::vector<FilterRecord> set(75);
  EXPECT_TRUE(CheckEmulationSampleRate(set, 8000) && CheckEmulationSampleRate({}, 8000));  // no filters
  set[0] = WithCode(1);
  set[0].Count = 1;
  EXPECT_TRUE(CheckEmulationSampleRate(set, 44100) && CheckEmulationSampleRate(set, 48000));
  dialogs.ExpectMessage();
  EXPECT_FALSE(CheckEmulationSampleRate(set, 96000));
  EXPECT_EQ(dialogs.MessageTexts().back(), text1);
  EXPECT_EQ(resampleOffers, 0);

  set[0].EQEmulationCode = 2;
  EXPECT_TRUE(CheckEmulationSampleRate(set, 22050));
  // Code 5 at 48000: the message, then the offer to resample; the check stops there.
  set[0].Count = 3;
  set[1] = WithCode(5);
  set[2] = WithCode(1);
  dialogs.ExpectMessage();
  EXPECT_FALSE(CheckEmulationSampleRate(set, 48000));
  EXPECT_EQ(dialogs.MessageTexts().back(), text5);
  EXPECT_EQ(dialogs.MessageTexts().size(), 2u);
  EXPECT_EQ(resampleOffers, 1);
  set[1].EQEmulationCode = 4;
  set[2].EQEmulationCode = 3;
  EXPECT_TRUE(CheckEmulationSampleRate(set, 96000));
  // No window wired: the message alone.
  EmulationHooks.OpenResampleWindow = nullptr;
  dialogs.ExpectMessage();
  EXPECT_FALSE(CheckEmulationSampleRate(set, 44100));
  // A count beyond the array is held to it.
  std::array<FilterRecord, 2> two{WithCode(2), WithCode(3)};
  two[0].Count = 1000;
  EXPECT_TRUE(CheckEmulationSampleRate(two, 11025));

  EXPECT_EQ(BandwidthToQForFilterType(0.0f, 1), 0.0f);  // no width, no Q (not infinity)
  dialogs.ExpectMessage();
  EXPECT_EQ(BandwidthToQForFilterType(1.0f, 2), 0.0f);
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 4330: Missing Emulation");
  // ConvertEmulatedQ and ConvertEmulatedBandwidth invert each other (codes 1, 4),
  // and the width's centre Q is the one BandwidthToQForFilterType gives.
  for (int code : {1, 4}) {
    for (float L : {-12.0f, 0.0f, 6.0f}) {
      const float Q1 = ConvertEmulatedQ(0.25f, L, code);
      const float Q2 = std::fabs(Q1) * std::pow(10.0f, -std::fabs(L) / 20.0f);
      EXPECT_EQ(Q1 < 0, L > 0);
      EXPECT_NEAR(ConvertEmulatedBandwidth(Q1, Q2, code), 0.25f, 1e-5) << code << " " << L;
      EXPECT_NEAR(LevelOf(Q1, Q2), L, 1e-4);
      EXPECT_NEAR(ScaleQByGain(L, Q1), BandwidthToQForFilterType(0.25f, code), 1e-5);
      EXPECT_NEAR(ConvertQForFilterType(BandwidthToQForFilterType(0.25f, code), L, code), Q1, 1e-5);
    }
  }
  // Cookbook codes: one octave is Q sqrt 2 at the centre, raised by the level.
  EXPECT_NEAR(ConvertEmulatedQ(1.0f, 0.0f, 2), std::sqrt(2.0), 1e-5);
  EXPECT_NEAR(ConvertEmulatedQ(1.0f, 12.0f, 3), -std::sqrt(2.0) * std::pow(10.0, 12 / 40.0), 1e-4);
  EXPECT_EQ(ConvertEmulatedQ(3.0f, 6.0f, 5), -3.0f);
  EXPECT_EQ(ConvertEmulatedQ(0.0f, 6.0f, 1), 0.0f);
  EXPECT_EQ(ConvertEmulatedBandwidth(-4.0f, 2.0f, 5), 4.0f);
  // A Q pair with a zero has no width: reported, 0 returned.
  dialogs.ExpectMessage();
  EXPECT_EQ(ConvertEmulatedBandwidth(2.0f, 0.0f, 1), 0.0f);
  EXPECT_EQ(dialogs.MessageTexts().back(), "error 4446");

  // Code 1: 1000 Hz, +6.3 dB, a width of 1/3 octave as the 1124P counts it.
  float f = static_cast<float>(1003 * kTwoPi), Q1, Q2;
  MakeFilter(6.3, 1.0 / ((1.0 / 3) * std::sqrt(2.0)), Q1, Q2);
  EmulateEQBand(1, f, Q1, Q2);
  EXPECT_EQ(f, 6283.19f);
  EXPECT_LT(Q1, 0);
  EXPECT_NEAR(LevelOf(Q1, Q2), 6.0, 1e-4);
  EXPECT_NEAR(ConvertEmulatedBandwidth(Q1, Q2, 1) * 60, 20.0, 1e-3);
  // Code 4: a cut of 14.8 dB becomes 15 dB, the width the nearest FBQ step.
  f = static_cast<float>(100 * kTwoPi);
  MakeFilter(-14.8, std::sqrt(2.0) / 0.5, Q1, Q2);  // half an octave
  EmulateEQBand(4, f, Q1, Q2);
  EXPECT_GT(Q1, 0);
  EXPECT_NEAR(LevelOf(Q1, Q2), -15.0, 1e-4);
  EXPECT_NEAR(ConvertEmulatedBandwidth(Q1, Q2, 4) * 60, 30.0, 1e-3);
  // 100 Hz lies between 20 x 10^(139/200) = 99.08 Hz and 20 x 10^(140/200) = 100.24 Hz.
  EXPECT_NEAR(f, std::round(20 * std::pow(10.0, 0.7) * kTwoPi * 100) / 100, 1e-3);
  // Code 5: |Q1| is the Q control; Q 0.7 snaps to 0.71, +3.04 dB to +3.0.
  f = static_cast<float>(1000 * kTwoPi), Q1 = -0.7f, Q2 = 0.7f * std::pow(10.0f, -3.04f / 20);
  EmulateEQBand(5, f, Q1, Q2);
  EXPECT_EQ(Q1, -0.71f);
  EXPECT_NEAR(LevelOf(Q1, Q2), 3.0, 1e-4);
  // 1000 Hz lies between 20 x 10^(180/106) = 992.4 Hz and 1015 Hz.
  EXPECT_NEAR(f / kTwoPi, 20 * std::pow(10.0, 180 / 106.0), 0.01);
  // Codes 2 and 3 and unknown codes leave the filter as it was.
  for (int code : {2, 3, 0, 9}) {
    float ff = 1234.5f, q1 = -3.3333f, q2 = 1.1111f;
    EmulateEQBand(code, ff, q1, q2);
    EXPECT_EQ(std::tuple(ff, q1, q2), std::tuple(1234.5f, -3.3333f, 1.1111f)) << code;
  }
  // A 0 dB filter stays 0 dB with equal Q values.
  f = 6283.19f, Q1 = Q2 = 2.0f;
  EmulateEQBand(1, f, Q1, Q2);
  EXPECT_FLOAT_EQ(Q1, Q2);
  // A filter without a level is reported and left unchanged.
  f = 5000, Q1 = 2.0f, Q2 = 0.0f;
  dialogs.ExpectMessage();
  EmulateEQBand(4, f, Q1, Q2);
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 2397");
  EXPECT_EQ(std::pair(f, Q1), std::pair(5000.0f, 2.0f));
}

}  // namespace
}  // namespace zentor
