#include "exchange/peaking_filters.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <numbers>

#include "base/text_number.h"
#include "core/emulation.h"
#include "core/filter_design.h"
#include "core/records.h"

namespace zentor {

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

std::string Hz(double v) { return ShortFixedText(v, 2); }

// No equaliser this program writes for holds more.
constexpr double kLargestExportGainDb = 20;

}  // namespace

std::string_view EmulationModelName(int32_t code) {
  static constexpr std::array<std::string_view, 5> kNames = {"DSP 1124P", "Bristow-Johnson", "Classic Audio",
                                                             "FBQ2496", "DCX 2496"};
  return code >= 1 && code <= 5 ? kNames[static_cast<size_t>(code - 1)] : std::string_view();
}

bool ToPeakingFilters(std::span<const FilterRecord> applied, int32_t rateHz, std::vector<FilterRecord>& snapped,
                      std::vector<PeakingFilter>& out, std::string& error) {
  snapped.clear();
  out.clear();
  const int32_t count = applied.empty() ? 0 : applied[0].Count;
  if (count < 0 || count > kMaxFilters || static_cast<size_t>(count) > applied.size()) {
    error = "The filter set holds " + std::to_string(count) + " filters; at most " + std::to_string(kMaxFilters) +
            " can be written.";
    return false;
  }
  for (int32_t i = 0; i < count; ++i) {
    FilterRecord f = applied[static_cast<size_t>(i)];
    const std::string which = "Filter " + std::to_string(i + 1);
    if (!std::isfinite(f.Freq1) || !std::isfinite(f.Q1) || !std::isfinite(f.Q2) || f.Q1 == 0 || !(f.Q2 > 0) ||
        !(f.Freq1 > 0)) {
      error = which + " has no level and cannot be written.";
      return false;
    }
    if (EmulationModelName(f.EQEmulationCode).empty()) {
      error = which + " belongs to no equaliser model (code " + std::to_string(f.EQEmulationCode) + ").";
      return false;
    }
    const double given = f.Freq1 / kTwoPi;
    EmulateEQBand(f.EQEmulationCode, f.Freq1, f.Q1, f.Q2);
    if (std::fabs(f.Q1) == f.Q2) continue;  // 0 dB: nothing to set
    const double fc = f.Freq1 / kTwoPi;
    // A centre far below the model's lowest step would be written at that step, one
    // below a hundredth of a hertz as 0: either is another filter.
    if (!(fc >= 0.005) || given < fc / 2) {
      error = which + " at " + FormatSingle(static_cast<float>(given)) + " Hz lies below the lowest centre that can be written (" +
              Hz(std::max(fc, 0.01)) + " Hz).";
      return false;
    }
    if (!(f.Freq1 < std::numbers::pi * rateHz)) {
      error = which + " at " + Hz(fc) + " Hz lies at or above half the sample rate of " + std::to_string(rateHz) +
              " Hz.";
      return false;
    }
    PeakingFilter p;
    p.code = f.EQEmulationCode;
    p.fcHz = fc;
    const double magnitude = 20 * std::log10(std::fabs(double(f.Q1)) / f.Q2);
    p.gainDb = f.Q1 < 0 ? magnitude : -magnitude;
    // A level held to 20 dB in Singles lands a hair either side of it.
    if (!(std::fabs(p.gainDb) <= kLargestExportGainDb + 0.005)) {
      error = which + " at " + Hz(fc) + " Hz has a gain of " + FixedText(p.gainDb, 1) +
              " dB, beyond the +/-20 dB an equaliser holds.";
      return false;
    }
    // Both of the section's Q are scaled alike, so the centre Q takes the same factor.
    p.q = std::sqrt(std::fabs(double(f.Q1)) * f.Q2) * AdaptEmulationQ(1.0f, f.Freq1, f.EQEmulationCode, rateHz);
    if (!(p.q > 0) || !std::isfinite(p.q)) {
      error = which + " has no Q at " + std::to_string(rateHz) + " Hz.";
      return false;
    }
    snapped.push_back(f);
    out.push_back(p);
  }
  if (!snapped.empty()) snapped[0].Count = static_cast<int32_t>(snapped.size());
  return true;
}

PeakingSection CookbookPeaking(const PeakingFilter& f, int32_t rateHz) {
  const double A = std::pow(10.0, f.gainDb / 40);
  const double w0 = kTwoPi * f.fcHz / rateHz;
  const double alpha = std::sin(w0) / (2 * f.q);
  const double c = std::cos(w0);
  const double a0 = 1 + alpha / A;
  PeakingSection s;
  s.b = {(1 + alpha * A) / a0, -2 * c / a0, (1 - alpha * A) / a0};
  s.a = {1.0, -2 * c / a0, (1 - alpha / A) / a0};
  s.gain = 1;
  return s;
}

double NearestTenth(double db) { return std::round(10 * db) / 10 + 0.0; }

double PreampFor(double peakDb) {
  // The preamp reads as the net boost beside it: to the nearest tenth, which
  // leaves at most 0.05 dB, the slack every net-boost limit allows.
  const double tenth = NearestTenth(peakDb);
  return tenth > 0 ? -tenth : 0;
}

std::string FixedText(double v, int decimals) {
  std::string s = FixedPointText(v, decimals);
  if (s.starts_with('-') && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
  return s;
}

std::string GeneralText(double v, int digits) {
  std::array<char, 64> buf{};
  auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v + 0.0, std::chars_format::general, digits);
  return std::string(buf.data(), r.ec == std::errc() ? r.ptr : buf.data());
}

std::string ShortFixedText(double v, int decimals) {
  std::string s = FixedText(v, decimals);
  if (s.find('.') != std::string::npos) {
    while (s.ends_with('0')) s.pop_back();
    if (s.ends_with('.')) s.pop_back();
  }
  return s;
}

}  // namespace zentor
