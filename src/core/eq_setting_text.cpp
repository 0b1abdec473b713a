#include "core/eq_setting_text.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "base/text_number.h"
#include "core/emulation.h"

namespace zentor {

namespace {

constexpr double kTwoPi = 6.28318530717959;

std::string Num(double v) { return FormatDouble(v + 0.0); }
std::string Num(float v) { return FormatSingle(v + 0.0f); }

// Nearest multiple of 1/perUnit: a Single a hair below a step (2.9999998 dB) is
// shown as the step the equaliser shows, never one digit under it.
double Nearest(double v, double perUnit) { return RoundHalfEven(v * perUnit) / perUnit; }

// Hz rounded to 0.01 at the model's nearest centre.
double SnappedHz(int32_t code, float freq1) {
  return Fix(QuantizeEmulatedFrequency(code, freq1) * 100.0 / kTwoPi + 0.5) * 0.01;
}

// Bandwidth in 1/60 octave on the model's steps.
float Sixtieths(int32_t code, const FilterRecord& f) {
  return QuantizeEmulatedQ(code, 60.0f * ConvertEmulatedBandwidth(f.Q1, f.Q2, code));
}

}  // namespace

void ISOBandOf(float freq1, double& band, double& offset) {
  const double f = freq1 / 6.283185307;
  std::array<float, 31> bands{};
  FillISOThirdOctaveBands(bands);
  if (f <= 20) {
    band = 20;
  } else if (f >= 16000) {
    band = 16000;
  } else {
    band = bands[29];
    for (size_t k = 0; k < 29; ++k) {
      if (bands[k] <= f && bands[k + 1] > f) {
        band = f <= std::sqrt(double(bands[k]) * bands[k + 1]) ? bands[k] : bands[k + 1];
        break;
      }
    }
  }
  offset = Nearest(std::log2(f / band) * 60, 10);
}

std::string BandwidthText(double w) {
  if (w <= 5.0) return Num(Nearest(w, 100)) + "/60";
  return Num(Nearest(w / 60, 100));
}

double Minus3dBBandwidthOctaves(double q) { return 2 / std::numbers::ln2 * std::asinh(1 / (2 * q)); }

double UnitBandwidthOctaves(const FilterRecord& f) {
  const int32_t code = f.EQEmulationCode;
  return code == 1 || code == 4 ? Sixtieths(code, f) / 60.0 : 0;
}

std::string WrittenFilterText(const FilterRecord& f) {
  const double q = std::sqrt(std::fabs(static_cast<double>(f.Q1)) * f.Q2);
  return "Written filter: Q " + FormatDouble(std::round(q * 100) / 100) + ", -3 dB bandwidth " +
         FormatDouble(std::round(Minus3dBBandwidthOctaves(q) * 1e4) / 1e4) + " octave";
}

std::string EQReportLine(const FilterRecord& f, bool graphic) {
  const auto magnitude = static_cast<float>(20 * std::log10(std::fabs(f.Q1 / f.Q2)));
  // The level on the model's steps, as the applied list shows it.
  const float stepped = std::fabs(QuantizeEmulatedLevel(f.EQEmulationCode, f.Q1 < 0 ? magnitude : -magnitude));
  std::string level(f.Q1 > 0 ? "-" : "");
  level.append(Num(Nearest(stepped, 10))).append(" dB");
  switch (f.EQEmulationCode) {
    case 1: {
      double band = 0, offset = 0;
      ISOBandOf(f.Freq1, band, offset);
      return "ISO Freq = " + Num(band) + "Hz + " + Num(offset) + "/60 Oct  Level = " + level +
             " BW:" + Num(Sixtieths(1, f)) + "/60 ";
    }
    case 4:
      return "Freq = " + Num(SnappedHz(4, f.Freq1)) + " Hz, Level = " + level + " BW:" +
             BandwidthText(Sixtieths(4, f));
    case 5: {
      const float q = QuantizeEmulatedQ(5, ConvertEmulatedBandwidth(f.Q1, f.Q2, 5));
      const std::string head = "Freq = " + Num(SnappedHz(5, f.Freq1)) + " Hz, Level = " + level;
      return graphic ? head + " Q:" + Str(q + 0.0f) : head + " BW:" + Num(q);
    }
    default: {  // 2, 3, and a code no equaliser reads
      const double q = Nearest(ScaleQByGain(stepped, f.Q1), 10);
      return "Freq = " + Num(Nearest(f.Freq1 / kTwoPi, 1)) + "Hz " + " Level = " + level + " Q:" + Num(q);
    }
  }
}

}  // namespace zentor
