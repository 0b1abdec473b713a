// Room-acoustic parameters against oracles written from their definitions: the
// octave filters against the class 1 acceptance mask, and synthetic decays of known
// reverberation time and noise against the energy sums of the clean decay.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "core/records.h"
#include "support/fixture.h"
#include "tools/room_parameters.h"

namespace zentor::test {
namespace {

class RoomParametersTest : public ZentorTest {};

// Octave filters, class 1: least and greatest relative attenuation (dB) at
// normalised frequencies G^x, G = 10^0.3, the same either side of mid-band.
struct MaskPoint {
  double x, least, greatest;
};
constexpr MaskPoint kClass1Mask[] = {{0, -0.4, 0.4},    {0.125, -0.4, 0.5}, {0.25, -0.4, 0.8},
                                     {0.375, -0.4, 1.6}, {0.5, 1.2, 5.3},    {1, 16.6, 1e9},
                                     {2, 40.5, 1e9},     {3, 60, 1e9},       {4, 70, 1e9}};

TEST_F(RoomParametersTest, OctaveFiltersStayWithinTheClass1Mask) {
  for (int32_t rate : {22050, 44100, 48000, 96000}) {
    const std::vector<OctaveFilter> filters = OctaveFilters(rate);
    ASSERT_EQ(filters.size(), rate == 22050 ? 7u : 8u) << rate;  // 8 kHz reaches 11.2 kHz
    for (const OctaveFilter& f : filters)
      for (const MaskPoint& m : kClass1Mask)
        for (double side : {-1.0, 1.0}) {
          const double hz = f.exactHz * std::pow(10.0, 0.3 * side * m.x);
          if (hz >= rate / 2.0) continue;
          const double attenuation = -20 * std::log10(std::abs(f.Response(hz, rate)));
          EXPECT_GE(attenuation, m.least) << rate << " " << f.nominalHz << " G^" << side * m.x;
          EXPECT_LE(attenuation, m.greatest) << rate << " " << f.nominalHz << " G^" << side * m.x;
        }
  }
}

// A tone at a band's mid frequency decaying 60 dB in t60, starting at `lead`, with
// white noise set for a given impulse-to-noise ratio in that band.
struct DecayCase {
  double nominal, t60, bandInr;  // Hz, s, dB
};
constexpr int32_t kRate = 48000, kLength = 1 << 17, kLead = 2400;

struct Synthetic {
  std::vector<float> impulse;
  std::vector<double> clean;  // the tone from its start
  double noiseVariance;
};

Synthetic MakeDecay(double hz, double t60, double bandInr, uint32_t seed) {
  Synthetic s;
  const double g = std::pow(10.0, 0.3);
  const double bandwidth = hz * (std::sqrt(g) - 1 / std::sqrt(g));
  // The tone's mean square is 1/2; the noise in the band is its share of the spectrum.
  s.noiseVariance = 0.5 / std::pow(10.0, bandInr / 10) / (2 * bandwidth / kRate);
  std::mt19937 gen(seed);
  std::normal_distribution<double> noise(0, std::sqrt(s.noiseVariance));
  s.impulse.resize(kLength);
  for (int32_t i = 0; i < kLength; ++i) {
    double x = noise(gen);
    if (i >= kLead) {
      const double t = double(i - kLead) / kRate;
      s.clean.push_back(std::exp(-3 * std::numbers::ln10 * t / t60) * std::cos(2 * std::numbers::pi * hz * t));
      x += s.clean.back();
    }
    s.impulse[size_t(i)] = static_cast<float>(x);
  }
  return s;
}

// C50, C80, D50 and Ts by their definitions over the clean decay.
struct EnergyOracle {
  double c50, c80, d50, ts;
};
EnergyOracle Oracle(const std::vector<double>& x) {
  double total = 0, e50 = 0, e80 = 0, moment = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    const double e = x[i] * x[i], t = double(i) / kRate;
    total += e;
    if (t < 0.05) e50 += e;
    if (t < 0.08) e80 += e;
    moment += t * e;
  }
  return {10 * std::log10(e50 / (total - e50)), 10 * std::log10(e80 / (total - e80)), 100 * e50 / total,
          1000 * moment / total};
}

constexpr DecayCase kDecays[] = {
    {63, 1.5, 56}, {125, 1.2, 50}, {250, 1.0, 50}, {500, 0.8, 50}, {1000, 0.7, 47},
    {2000, 0.6, 50}, {4000, 0.5, 50}, {8000, 0.4, 50}, {1000, 0.7, 40}, {500, 1.0, 30}};

TEST_F(RoomParametersTest, SyntheticDecaysGiveTheirTimesEnergiesAndNoise) {
  uint32_t seed = 11;
  for (const DecayCase& c : kDecays) {
    const double exact = 1000 * std::pow(10.0, 0.3 * std::round(std::log2(c.nominal / 1000)));
    const Synthetic s = MakeDecay(exact, c.t60, c.bandInr, ++seed);
    const RoomParameters p = ComputeRoomParameters(s.impulse, kRate);
    ASSERT_EQ(p.bands.size(), 8u);
    const RoomParameterValues* band = nullptr;
    for (const RoomParameterValues& b : p.bands)
      if (b.centreHz == c.nominal) band = &b;
    ASSERT_NE(band, nullptr);
    const std::string at = std::to_string(int(c.nominal)) + " Hz, INR " + std::to_string(int(c.bandInr));
    // The broadband noise over the tone's mean square is the broadband INR.
    const double broadInr = 10 * std::log10(0.5 / s.noiseVariance);
    ASSERT_TRUE(band->inr_db && p.broadband.inr_db) << at;
    if (c.bandInr >= 40) {
      EXPECT_NEAR(*band->inr_db, c.bandInr, 1.5) << at;
      EXPECT_NEAR(*p.broadband.inr_db, broadInr, 1.5) << at;
    }

    const EnergyOracle o = Oracle(s.clean);
    for (const RoomParameterValues* v : {band, &p.broadband}) {
      const double inr = *v->inr_db;
      const std::string where = at + (v == band ? " band" : " broadband");
      const bool noisyStart = !v->Reason("c50_db").empty() && inr >= 20;
      // Decay times within 2 % where the noise lies 45 dB down, 4 % where they are
      // not marked; marked when the range is too short for them.
      const struct { const std::optional<double>& t; const char* key; double needs; } times[] = {{v->edt_s, "edt_s", 20}, {v->t20_s, "t20_s", 35}, {v->t30_s, "t30_s", 45}};
      for (const auto& t : times) {
        if (inr < t.needs || (noisyStart && std::string(t.key) == "edt_s")) {
          EXPECT_TRUE(v->IsMarked(t.key)) << where << " " << t.key;
          continue;
        }
        EXPECT_FALSE(v->IsMarked(t.key)) << where << " " << t.key << " " << v->Reason(t.key);
        ASSERT_TRUE(t.t) << where << " " << t.key;
        EXPECT_NEAR(*t.t / c.t60, 1.0, inr >= 45 ? 0.02 : 0.04) << where << " " << t.key;
      }
      EXPECT_TRUE(!noisyStart || c.bandInr < 40) << where;
      if (inr < 45) continue;
      ASSERT_TRUE(v->c50_db && v->c80_db && v->d50_pct && v->ts_ms) << where;
      EXPECT_NEAR(*v->c50_db, o.c50, 0.2) << where;
      EXPECT_NEAR(*v->c80_db, o.c80, 0.2) << where;
      EXPECT_NEAR(*v->d50_pct, o.d50, 1.0) << where;
      EXPECT_NEAR(*v->ts_ms, o.ts, 2.0) << where;
      EXPECT_GE(std::fabs(*v->r_t30), 0.98) << where;
    }
  }
}

// The onset passes over lone noise samples and marks a noisy start; silence, short
// input, a sample that is not a number and no set give empty values, not failures.
TEST_F(RoomParametersTest, OnsetMarksANoisyStartAndEmptyOrBadInputGivesEmptyValues) {
  std::vector<float> x(4800, 0.0f);
  x[100] = 0.2f;  // a lone click, within 20 dB of the peak
  for (size_t i = 2000; i < 2100; ++i) x[i] = static_cast<float>(std::exp(-0.05 * double(i - 2000)));
  bool quiet = false;
  EXPECT_EQ(ImpulseOnset(x, kRate, &quiet), 2000);
  EXPECT_TRUE(quiet);
  std::fill(x.begin(), x.begin() + 2000, 0.5f);  // loud right up to the impulse
  EXPECT_EQ(ImpulseOnset(x, kRate, &quiet), 0);
  EXPECT_FALSE(quiet);
  EXPECT_EQ(ComputeRoomParameters(x, kRate).broadband.Reason("c50_db"),
            "The noise before the impulse is within 20 dB of its peak");

  std::vector<float> notANumber(1000, 0.5f);
  notANumber[10] = std::nanf("");
  for (const std::vector<float>& in :
       {std::vector<float>(1000, 0.0f), std::vector<float>(5, 1.0f), std::vector<float>{}, notANumber}) {
    const RoomParameters p = ComputeRoomParameters(in, kRate);
    for (const char* k : RoomParameterKeys()) {
      EXPECT_FALSE(RoomParameterValue(p.broadband, k)) << k;
      EXPECT_TRUE(p.broadband.IsMarked(k)) << k;
    }
  }
  EXPECT_TRUE(ComputeRoomParameters(std::vector<float>(100, 1.0f), 0).bands.empty());
  RoomParameters p;
  std::string error;
  for (const auto& [inSet, message] :
       {std::pair{0, "No measurement is loaded"}, {2, "There is no curve 3: the set holds 2 curves"}}) {
    ResultsDataSetInfo[0].NumInSet = inSet;
    EXPECT_FALSE(RoomParametersOfResult(3, p, error));
    EXPECT_EQ(error, message);
  }
}

TEST_F(RoomParametersTest, CsvAndJsonHoldEveryValueWithFullStopsAndNulls) {
  const Synthetic s = MakeDecay(1000, 0.7, 40, 5);
  RoomParameters p = ComputeRoomParameters(s.impulse, kRate);
  p.curve = 2;
  const std::string csv = RoomParametersCsv(p);
  EXPECT_EQ(csv.substr(0, csv.find('\n')),
            "band,edt_s,t20_s,t30_s,r_edt,r_t20,r_t30,c50_db,c80_db,d50_pct,ts_ms,inr_db,marked");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 10);
  const std::string broadband = csv.substr(csv.rfind("broadband"));
  // Eleven values and the marks, no comma inside a number.
  EXPECT_EQ(std::count(broadband.begin(), broadband.end(), ','), 12);
  EXPECT_NE(broadband.find("0.7"), std::string::npos);
  const std::string json = RoomParametersJson(p);
  EXPECT_EQ(json.rfind("{\"curve\": 2, \"bands\": [{\"centre_hz\": 63, \"edt_s\": ", 0), 0u);
  EXPECT_NE(json.find("\"broadband\": {\"centre_hz\": null, "), std::string::npos);
  // Broadband INR is 25 dB: neither line reaches its foot before the noise.
  EXPECT_NE(json.find("\"t30_s\": null, \"r_edt\": -0.99"), std::string::npos) << json;
  EXPECT_NE(json.find("\"marked\": [\"t20_s\", \"r_t20\", \"t30_s\", \"r_t30\"]}}"), std::string::npos) << json;
  const std::string path = TempPath("room.csv");
  ASSERT_TRUE(SaveRoomParametersCsv(path, p));
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), csv);
}

}  // namespace
}  // namespace zentor::test
