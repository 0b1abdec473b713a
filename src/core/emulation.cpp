#include "core/emulation.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "core/filter_design.h"
#include "base/shared_state.h"
#include "base/text_number.h"
#include "platform/dialogs.h"

namespace zentor {

namespace {

constexpr std::array<float, 31> kISOCentres = {
    20,   25,   31.5f, 40,   50,   63,   80,   100,  125,   160,   200,
    250,  315,  400,   500,  630,  800,  1000, 1250, 1600,  2000,  2500,
    3150, 4000, 5000,  6300, 8000, 10000, 12500, 16000, 20000};

}  // namespace

int32_t EmulationModel = 0;
std::array<float, 2001> EmulationFreqSteps{};
int32_t EmulationFreqCount = 0;
std::array<float, 201> EmulationQSteps{};
int32_t EmulationQCount = 0;
std::array<float, 401> EmulationLevelSteps{};
int32_t EmulationLevelCount = 0;
std::array<float, 31> ISOBandCentres = kISOCentres;
EmulationLinks EmulationHooks;

namespace {

constexpr double kTwoPi = 6.28318530717959;
constexpr float kSqrt2 = 1.41421356237309f;

struct StepTables {
  std::array<float, 2001> freq{};
  int32_t freqCount = 0;
  std::array<float, 201> q{};
  int32_t qCount = 0;
  std::array<float, 401> level{};
  int32_t levelCount = 0;
};

StepTables MakeTables(int32_t code) {
  StepTables t;
  auto addFreq = [&t](double hz) { t.freq[t.freqCount++] = static_cast<float>(hz * kTwoPi); };
  switch (code) {
    case 1:
      // 1/60-octave grid around each ISO band, from 20 Hz up to one step above 20 kHz.
      for (int k = 0; k <= 10; ++k) addFreq(20.0 * std::pow(2.0, k / 60.0));
      for (int b = 1; b <= 29; ++b)
        for (int j = -9; j <= 10; ++j) addFreq(kISOCentres[b] * std::pow(2.0, j / 60.0));
      for (int j = -9; j <= 1; ++j) addFreq(kISOCentres[30] * std::pow(2.0, j / 60.0));
      for (int k = 1; k <= 120; ++k) t.q[t.qCount++] = static_cast<float>(k);
      for (int k = -48; k <= 16; ++k) t.level[t.levelCount++] = static_cast<float>(k);
      break;
    case 4: {
      for (int k = 0; k <= 600; ++k) addFreq(20.0 * std::pow(10.0, k / 200.0));
      static constexpr float kWidths[] = {1,      2,  3,  4,  5,  6,   6.666f, 7.5f, 8.574f,
                                          10.002f, 12, 15, 19.998f, 30, 45, 60, 90,   120,
                                          180,    240, 300, 360, 420, 480, 600};
      for (float w : kWidths) t.q[t.qCount++] = w;
      for (int k = -36; k <= -15; ++k) t.level[t.levelCount++] = static_cast<float>(k);
      for (int k = -29; k <= -1; ++k) t.level[t.levelCount++] = k * 0.5f;
      for (int k = 0; k <= 28; ++k) t.level[t.levelCount++] = k * 0.5f;
      break;
    }
    case 5:
      for (int k = 0; k <= 318; ++k) addFreq(20.0 * std::pow(10.0, k / 106.0));
      for (int k = 0; k <= 40; ++k) t.q[t.qCount++] = static_cast<float>(0.1 * std::pow(1.122018454301, k));
      for (int k = 0; k <= 250; ++k) t.level[t.levelCount++] = static_cast<float>((k + 1) * 0.1 - 15.1);
      t.level[150] = 0.0f;
      break;
    default:
      break;
  }
  return t;
}

// Each model's tables are fixed, so they are computed once for the whole run.
const StepTables& CachedTables(int32_t code) {
  static std::array<std::optional<StepTables>, 6> cache;
  static const StepTables empty;
  if (code < 1 || code > 5) return empty;
  auto& slot = cache[static_cast<size_t>(code)];
  if (!slot) slot = MakeTables(code);
  return *slot;
}

// Whether the current tables' steps rise (every model's do): set with them.
std::array<bool, 3> CurrentTablesRise{};

void ClearCurrentTables() {
  EmulationModel = 0;
  EmulationFreqSteps.fill(0);
  EmulationQSteps.fill(0);
  EmulationLevelSteps.fill(0);
  EmulationFreqCount = EmulationQCount = EmulationLevelCount = 0;
  CurrentTablesRise = {};
}

SharedStateRegistrar resetEmulation([] {
  ClearCurrentTables();
  ISOBandCentres = kISOCentres;
  EmulationHooks = EmulationLinks{};
});

bool HasSteps(int32_t code) { return code == 1 || code == 4 || code == 5; }

// Two decimals, halves away from zero, as a whole number of hundredths.
double Hundredths(float x) {
  const float scaled = x * 100.0f;
  return x >= 0 ? Fix(static_cast<double>(scaled) + 0.5) : Fix(static_cast<double>(scaled) - 0.5);
}

enum class Table { Freq, Q, Level };

double NearestStepHundredths(float value, std::span<const float> table, float count, int32_t code, bool rising);

float Quantize(int32_t code, float value, Table which) {
  if (EmulationModel != code) BuildEmulationStepTables(code);
  const auto nearest = [&](std::span<const float> table, int32_t count, Table t) {
    return static_cast<float>(NearestStepHundredths(value, table, static_cast<float>(count), code,
                                                    CurrentTablesRise[static_cast<size_t>(t)]) /
                              100.0);
  };
  switch (which) {
    case Table::Freq:
      return nearest(EmulationFreqSteps, EmulationFreqCount, which);
    case Table::Q:
      return nearest(EmulationQSteps, EmulationQCount, which);
    default:
      return nearest(EmulationLevelSteps, EmulationLevelCount, which);
  }
}

// The chosen step (or the value itself for codes without steps) in hundredths.
// `rising`: the table's steps rise, so the nearest is found by halving.
double NearestStepHundredths(float value, std::span<const float> table, float count, int32_t code,
                             bool rising = false) {
  float chosen = value;
  if (HasSteps(code)) {
    // A count that is not a number or exceeds the table is held to the table.
    const double c = std::isfinite(count) ? std::clamp<double>(count, 0.0, static_cast<double>(table.size())) : 0.0;
    const size_t n = static_cast<size_t>(c);
    if (n > 0 && rising && std::isfinite(value)) {
      // Rising steps: the nearest is beside where the value would go, the
      // first of equals as the plain search takes it.
      const auto at = static_cast<size_t>(
          std::lower_bound(table.begin(), table.begin() + static_cast<std::ptrdiff_t>(n), value) - table.begin());
      size_t best = std::min(at, n - 1);
      if (at > 0) {
        size_t left = at - 1;
        const float d = std::fabs(value - table[left]);
        while (left > 0 && std::fabs(value - table[left - 1]) == d) --left;
        if (at == n || d <= std::fabs(value - table[at])) best = left;
      }
      chosen = table[best];
    } else if (n > 0) {
      size_t best = 0;
      float bestDist = std::fabs(value - table[0]);
      for (size_t i = 1; i < n; ++i) {
        const float d = std::fabs(value - table[i]);
        if (d < bestDist) {
          bestDist = d;
          best = i;
        }
      }
      chosen = table[best];
    }
  }
  return Hundredths(chosen);
}

}  // namespace

void FillISOThirdOctaveBands(std::span<float> bands) {
  const size_t n = std::min(bands.size(), kISOCentres.size());
  std::copy_n(kISOCentres.begin(), n, bands.begin());
}

void BuildEmulationStepTables(int32_t code) {
  EmulationModel = code;
  const StepTables& t = CachedTables(code);
  EmulationFreqSteps = t.freq;
  EmulationFreqCount = t.freqCount;
  EmulationQSteps = t.q;
  EmulationQCount = t.qCount;
  EmulationLevelSteps = t.level;
  EmulationLevelCount = t.levelCount;
  const auto rises = [](const auto& table, int32_t count) {
    const auto n = static_cast<std::ptrdiff_t>(std::clamp<int32_t>(count, 0, static_cast<int32_t>(table.size())));
    return std::adjacent_find(table.begin(), table.begin() + n, std::greater_equal<float>()) == table.begin() + n;
  };
  CurrentTablesRise = {rises(t.freq, t.freqCount), rises(t.q, t.qCount), rises(t.level, t.levelCount)};
}

float NearestStepValue(float value, std::span<const float> table, float count, int32_t code) {
  return static_cast<float>(NearestStepHundredths(value, table, count, code) / 100.0);
}

std::string NearestStepText(float value, std::span<const float> table, float count, int32_t code) {
  return FormatDouble(NearestStepHundredths(value, table, count, code) / 100.0);
}

float QuantizeEmulatedFrequency(int32_t code, float value) { return Quantize(code, value, Table::Freq); }
float QuantizeEmulatedQ(int32_t code, float value) { return Quantize(code, value, Table::Q); }
float QuantizeEmulatedLevel(int32_t code, float value) { return Quantize(code, value, Table::Level); }

float BandwidthToQForFilterType(float x, int32_t code) {
  switch (code) {
    case 1:
      return x != 0 ? 1.0f / (x * kSqrt2) : 0.0f;
    case 4:
      return x != 0 ? kSqrt2 / x : 0.0f;
    case 5:
      return x;
    default:
      MsgBox("Error 4330: Missing Emulation");
      return 0.0f;
  }
}

namespace {

float FiniteOrZero(float x) { return std::isfinite(x) ? x : 0.0f; }

}  // namespace

float ConvertEmulatedQ(float x, float L, int32_t code) {
  const float gain = std::pow(10.0f, std::fabs(L) / 40.0f);
  float q = 0.0f;
  switch (code) {
    case 1:
      q = gain / (x * kSqrt2);
      break;
    case 4:
      q = gain * kSqrt2 / x;
      break;
    case 2:
    case 3:
      q = QFromBandwidthOctaves(x) * gain;
      break;
    case 5:
      q = x;
      break;
    default:
      return 0.0f;
  }
  // A zero width has no Q; 0 marks it rather than an infinity.
  q = FiniteOrZero(q);
  return L > 0 ? -q : q;
}

float ConvertEmulatedBandwidth(float Q1, float Q2, int32_t code) {
  if (code != 1 && code != 4 && code != 5) return 0.0f;
  if (code == 5) return std::fabs(Q1);
  const float g = 20.0f * std::log10(std::fabs(Q1 / Q2));
  const float centreQ = std::pow(10.0f, -std::fabs(g) / 40.0f) * std::fabs(Q1);
  const float bw = code == 1 ? 1.0f / (centreQ * kSqrt2) : kSqrt2 / centreQ;
  if (!std::isfinite(bw) || !std::isfinite(g)) {
    MsgBox("error 4446");
    return 0.0f;
  }
  return bw;
}

float ConvertQForFilterType(float x, float L, int32_t code) {
  float q = 0.0f;
  if (code == 5)
    q = x;
  else if (code >= 1 && code <= 4)
    q = x * std::pow(10.0f, std::fabs(L) / 40.0f);
  return L > 0 ? -q : q;
}

float ScaleQByGain(float L, float x) { return std::fabs(x) * std::pow(10.0f, -std::fabs(L) / 40.0f); }

void EmulateEQBand(int32_t code, float& Freq1, float& Q1, float& Q2) {
  if (!HasSteps(code)) return;
  // A filter without a finite centre and two non-zero Q values has no level or
  // width to snap; it is reported and left as it was.
  if (!std::isfinite(Freq1) || !std::isfinite(Q1) || !std::isfinite(Q2) || Q1 == 0 || Q2 == 0) {
    MsgBox("Error 2397");
    return;
  }
  const float freq = QuantizeEmulatedFrequency(code, Freq1);
  const float width = code == 5 ? QuantizeEmulatedQ(code, ConvertEmulatedBandwidth(Q1, Q2, code))
                                : QuantizeEmulatedQ(code, 60.0f * ConvertEmulatedBandwidth(Q1, Q2, code)) / 60.0f;
  const float g = 20.0f * std::log10(std::fabs(Q1 / Q2));
  const float level = QuantizeEmulatedLevel(code, Q1 < 0 ? g : -g);
  const float q1 = ConvertEmulatedQ(width, level, code);
  const float q2 = std::fabs(q1 / std::pow(10.0f, std::fabs(level) * 0.05f));
  if (!std::isfinite(freq) || q1 == 0 || !std::isfinite(q2)) {
    MsgBox("Error 2397");
    return;
  }
  Freq1 = freq;
  Q1 = q1;
  Q2 = q2;
}

bool CheckEmulationSampleRate(std::span<const FilterRecord> filters, int32_t sampleRate) {
  if (filters.empty()) return true;
  const int32_t count = std::clamp<int32_t>(filters[0].Count, 0, static_cast<int32_t>(std::min<size_t>(filters.size(), 75)));
  for (int32_t i = 0; i < count; ++i) {
    const int32_t code = filters[static_cast<size_t>(i)].EQEmulationCode;
    if (code == 1 && (sampleRate < 44100 || sampleRate > 48000)) {
      MsgBox("User Error: Measured results must be sampled between 44100 Hz and 48000 Hz for the chosen EQ "
             "emulation. Open the original 44.1/48 KHz data file to run this emulation");
      return false;
    }
    if ((code == 4 || code == 5) && sampleRate != 96000) {
      MsgBox("User Error: Measured results must be resampled to 96000 Hz for the chosen EQ emulation. Resample "
             "results from the Tools menu.");
      if (EmulationHooks.OpenResampleWindow) EmulationHooks.OpenResampleWindow();
      return false;
    }
  }
  return true;
}

}  // namespace zentor
