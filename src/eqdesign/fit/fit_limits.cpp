#include "eqdesign/fit/fit_limits.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "base/binary_io.h"
#include "base/text_number.h"
#include "core/emulation.h"
#include "exchange/filter_export.h"

namespace zentor {

namespace {

std::string Tenths(double x) { return FormatDouble(std::round(x * 10) / 10); }

}  // namespace

namespace {

constexpr double kTwoPi = 6.28318530717959;
constexpr size_t kMaxTargetPoints = 100000;

// A number in the full-stop form every locale writes to these files.
bool ReadNumber(std::string_view& s, double& v) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == ',')) s.remove_prefix(1);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || !std::isfinite(v)) return false;
  s.remove_prefix(static_cast<size_t>(end - s.data()));
  return true;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
  std::nth_element(v.begin(), mid, v.end());
  if (v.size() % 2 == 1) return *mid;
  return 0.5 * (*mid + *std::max_element(v.begin(), mid));
}

}  // namespace

double FitTarget::ShapeDb(double hz) const {
  switch (Kind) {
    case Shape::BassLift: {
      if (!(hz > 0) || !(CornerHz > 0)) return LiftDb;
      // A second-order low shelf (Q 0.707) of LiftDb below the corner.
      const double A = std::pow(10.0, LiftDb / 40), r = hz / CornerHz, r2 = r * r, k = std::sqrt(2 * A);
      const double nRe = A - r2, dRe = 1 - A * r2, im2 = k * k * r2;
      return 10 * std::log10(A * A * (nRe * nRe + im2) / (dRe * dRe + im2));
    }
    case Shape::File: {
      if (Hz.empty() || Hz.size() != Db.size()) return 0;
      if (hz <= Hz.front()) return Db.front();
      if (hz >= Hz.back()) return Db.back();
      const size_t i = static_cast<size_t>(std::upper_bound(Hz.begin(), Hz.end(), hz) - Hz.begin());
      const double t = std::log(hz / Hz[i - 1]) / std::log(Hz[i] / Hz[i - 1]);
      return Db[i - 1] + t * (Db[i] - Db[i - 1]);
    }
    default:
      return 0;
  }
}

FitLimits DefaultFitLimits() {
  FitLimits l;
  l.MaxBoostDb = 6;
  l.Target.Kind = FitTarget::Shape::Flat;
  return l;
}

FitLimits ClampFitLimits(FitLimits l) {
  if (!std::isfinite(l.MaxBoostDb)) l.MaxBoostDb = 6;
  if (l.BoostLimited()) l.MaxBoostDb = std::min(l.MaxBoostDb, 20.0);
  l.MaxFilters = std::clamp<int32_t>(l.MaxFilters, 1, kMaxFilters);
  l.Target.LiftDb = std::isfinite(l.Target.LiftDb) ? std::clamp(l.Target.LiftDb, 0.0, 12.0) : 0;
  l.Target.CornerHz = std::isfinite(l.Target.CornerHz) ? std::clamp(l.Target.CornerHz, 40.0, 300.0) : 100;
  if (!std::isfinite(l.LevelDb)) l.LevelDb = 0;
  if (!(l.BandLowHz > 0 && l.BandHighHz > l.BandLowHz && std::isfinite(l.BandHighHz))) {
    l.BandLowHz = 20;
    l.BandHighHz = 200;
  }
  return l;
}

namespace {

// Far outside any measured range, inside what the fit's logarithms and ratios take.
constexpr double kLowestTargetHz = 0.1, kHighestTargetHz = 1e6;

}  // namespace

std::string ParseTargetText(std::string_view text, std::vector<double>& hz, std::vector<double>& db) {
  std::vector<double> f, d;
  int32_t line = 0;
  text = WithoutByteOrderMark(text);
  while (!text.empty()) {
    ++line;
    const size_t end = text.find('\n');
    std::string_view s = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    if (s.empty() || s.front() == '*' || s.front() == '#' || s.front() == ';' || s.front() == '"') continue;
    const std::string at = "Error 5857: Line " + std::to_string(line) + " of the target file ";
    double x = 0, y = 0;
    if (!ReadNumber(s, x) || !ReadNumber(s, y)) return at + "is not a frequency and a level in dB.";
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == ',')) s.remove_prefix(1);
    if (!s.empty()) return at + "holds more than a frequency and a level.";
    if (!(x > 0)) return at + "has a frequency that is not above 0 Hz.";
    if (x < kLowestTargetHz || x > kHighestTargetHz) return at + "has a frequency outside 0.1 Hz to 1 MHz.";
    if (!f.empty() && !(x > f.back())) return at + "has a frequency that is not above the line before.";
    if (std::fabs(y) > 100) return at + "has a level beyond 100 dB either way.";
    if (f.size() >= kMaxTargetPoints) return at + "is past the 100000 points a target may have.";
    f.push_back(x);
    d.push_back(y);
  }
  if (f.empty()) return "Error 5858: The target file holds no frequency and level.";
  hz = std::move(f);
  db = std::move(d);
  return "";
}

std::string LoadTargetFile(const std::string& path, FitTarget& target) {
  std::vector<uint8_t> bytes;
  if (std::string why; !ReadWholeFile(path, bytes, kLargestTextFileBytes, &why))
    return "Error 5859: The target file " + path + " could not be read: " + why + ".";
  std::vector<double> hz, db;
  const std::string fault = ParseTargetText(TextFromFileBytes(bytes), hz, db);
  if (!fault.empty()) return fault;
  target.Hz = std::move(hz);
  target.Db = std::move(db);
  target.FileName = path;
  return "";
}

double TargetLevelDb(const FitLimits& limits, std::span<const float> hz, std::span<const float> dB, double low,
                     double high) {
  if (limits.LevelMode == TargetLevelMode::Level) return limits.LevelDb;
  if (limits.LevelMode == TargetLevelMode::Band) {
    low = limits.BandLowHz;
    high = limits.BandHighHz;
  }
  std::vector<double> v;
  const size_t n = std::min(hz.size(), dB.size());
  for (size_t i = 0; i < n; ++i)
    if (hz[i] >= low && hz[i] <= high && std::isfinite(dB[i])) v.push_back(dB[i] - limits.Target.ShapeDb(hz[i]));
  return Median(std::move(v));
}

std::vector<float> AnchoredTargetDb(const FitLimits& limits, std::span<const float> hz, std::span<const float> dB,
                                    double low, double high) {
  if (!limits.Target.Set()) return {};
  const double level = TargetLevelDb(limits, hz, dB, low, high);
  std::vector<float> out(hz.size());
  for (size_t i = 0; i < hz.size(); ++i) out[i] = static_cast<float>(level + limits.Target.ShapeDb(hz[i]));
  return out;
}

double CentreQ(float Q1, float Q2) { return std::sqrt(std::fabs(static_cast<double>(Q1)) * Q2); }

double FilterBoostDb(float Q1, float Q2) {
  if (Q1 == 0 || !(Q2 > 0)) return 0;
  const double g = 20 * std::log10(std::fabs(static_cast<double>(Q1)) / Q2);
  return Q1 < 0 ? g : -g;
}

bool SnapWithinLimits(int32_t code, float& Freq, float& Q1, float& Q2, double maxBoostDb) {
  if (std::fabs(Q1) * 0.1f > Q2) Q2 = std::fabs(Q1) * 0.1f;
  if (maxBoostDb < 0 || !(Q1 < 0)) {
    EmulateEQBand(code, Freq, Q1, Q2);
    return true;
  }
  if (maxBoostDb == 0) return false;
  const float F = Freq, q1 = Q1;
  double level = std::min(FilterBoostDb(Q1, Q2), maxBoostDb);
  for (int32_t tries = 0; tries < 64; ++tries) {
    Freq = F;
    Q1 = q1;
    Q2 = static_cast<float>(std::fabs(q1) / std::pow(10.0, level / 20));
    EmulateEQBand(code, Freq, Q1, Q2);
    const double snapped = FilterBoostDb(Q1, Q2);
    if (snapped <= maxBoostDb + 1e-4) return snapped > 0;
    level -= snapped - maxBoostDb + 0.01;
    if (!(level > 0)) break;
  }
  return false;
}

std::string NetBoostRefusal(const std::string& what, double netDb, double hz, double maxBoostDb) {
  return "Error 5863: " + what + " would take the set's net boost to " + Tenths(netDb) + " dB at " + Tenths(hz) +
         " Hz, more than the Max boost of " + Tenths(maxBoostDb) + " dB (Filters > Curve Fit > Fit Limits).";
}

std::string OverLimitNote(std::span<const FilterRecord> applied, double maxBoostDb) {
  if (maxBoostDb < 0) return {};
  const PeakLevel net = AppliedSetPeak(applied, JudgedRateHz());
  if (!(net.db > maxBoostDb + kNetBoostSlackDb)) return {};
  return "Note: The filters of this file boost " + Tenths(net.db) + " dB at " + Tenths(net.hz) +
         " Hz in all, more than the Max boost of " + Tenths(maxBoostDb) +
         " dB (Filters > Curve Fit > Fit Limits). They are kept as the file holds them.";
}

std::string BoostRefusal(double boostDb, double maxBoostDb) {
  return "Error 5862: This filter boosts " + Tenths(boostDb) + " dB, more than the Max boost of " +
         Tenths(maxBoostDb) + " dB (Filters > Curve Fit > Fit Limits).";
}

float HighestLevelWithin(int32_t code, double maxBoostDb) {
  double level = maxBoostDb;
  for (int32_t tries = 0; tries < 400 && level > 0; ++tries) {
    const float q = QuantizeEmulatedLevel(code, static_cast<float>(level));
    if (q <= maxBoostDb + 1e-4) return q;
    level -= std::max(0.01, q - maxBoostDb);
  }
  return 0;
}

double PreampDb(std::span<const FilterRecord> filters, int32_t count, int32_t rateHz) {
  std::vector<FilterRecord> set(filters.begin(),
                                filters.begin() + std::clamp<int32_t>(count, 0, static_cast<int32_t>(filters.size())));
  if (set.empty()) return 0;
  set[0].Count = static_cast<int32_t>(set.size());
  // From the figure printed beside it, so that the two agree.
  return PreampFor(AppliedSetPeak(set, rateHz).db);
}

int32_t JudgedRateHz() {
  const MeasurementHeader& h = ResultsDataSetInfo[0];
  return h.NumInSet > 0 && h.SampleRate > 0 ? h.SampleRate : kJudgedRateDefault;
}

}  // namespace zentor
