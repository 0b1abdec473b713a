#include "measurement/mic_calibration_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <vector>

#include "base/binary_io.h"
#include "base/text_number.h"

namespace zentor {

namespace {

constexpr size_t kMaxLineBytes = 4096;
constexpr double kLowestMicTextHz = 0.1, kHighestMicTextHz = 1e6;

std::string LineError(size_t line, const std::string& what) {
  return "User Error: Calibration text line " + std::to_string(line) + ": " + what;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == ';'; }

// The line's fields. Where blanks, tabs or semicolons part two or more fields, a
// comma inside a field is its decimal mark ("31,5 -0,75"); where commas alone part
// them they are separators ("31.5,-0.75", "1000,0"). A field with two commas, or a
// comma and a full stop, has no clear decimal mark: false and that field in bad.
bool Fields(std::string_view line, std::vector<std::string>& out, std::string& bad) {
  out.clear();
  std::vector<std::string_view> wide;
  for (size_t i = 0; i < line.size();) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    const size_t start = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    std::string_view w = line.substr(start, i - start);
    // A comma that leads or ends a field parts it from its neighbour.
    while (!w.empty() && w.front() == ',') w.remove_prefix(1);
    while (!w.empty() && w.back() == ',') w.remove_suffix(1);
    if (!w.empty()) wide.push_back(w);
  }
  if (wide.size() == 1) {
    for (size_t i = 0; i < wide[0].size();) {
      const size_t end = std::min(wide[0].find(',', i), wide[0].size());
      if (end > i) out.emplace_back(wide[0].substr(i, end - i));
      i = end + 1;
    }
    return true;
  }
  for (std::string_view w : wide) {
    std::string f(w);
    const size_t commas = std::count(f.begin(), f.end(), ',');
    if (commas > 1 || (commas == 1 && f.find('.') != std::string::npos)) {
      bad = f;
      return false;
    }
    std::replace(f.begin(), f.end(), ',', '.');
    out.push_back(std::move(f));
  }
  return true;
}

// A finite number written with a full stop, in any locale.
std::optional<double> Number(std::string_view t) {
  if (!t.empty() && t.front() == '+') t.remove_prefix(1);
  double v = 0;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (t.empty() || ec != std::errc() || end != t.data() + t.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

// The sensitivity and serial a note gives, kept when first found.
void ReadNote(std::string_view line, MicTextReading& out) {
  const std::string low = Lower(line);
  if (const size_t at = low.find("sens factor"); at != std::string::npos && out.Sensitivity.empty()) {
    size_t i = low.find('=', at);
    if (i != std::string::npos) {
      ++i;
      while (i < low.size() && low[i] == ' ') ++i;
      size_t end = i;
      while (end < low.size() && (std::isdigit(static_cast<unsigned char>(low[end])) || low[end] == '.' ||
                                  low[end] == ',' || low[end] == '-' || low[end] == '+'))
        ++end;
      // "-1,2dB" as "-1.2dB": a comma between the digits of one number is its decimal mark.
      std::string value(line.substr(i, end - i));
      if (std::count(value.begin(), value.end(), ',') == 1 && value.find('.') == std::string::npos)
        std::replace(value.begin(), value.end(), ',', '.');
      if (Number(value)) out.Sensitivity = value + " dB";
    }
  }
  if (const size_t at = low.find("serno"); at != std::string::npos && out.Serial.empty()) {
    size_t i = at + 5;
    while (i < low.size() && (low[i] == ':' || low[i] == '=' || low[i] == ' ')) ++i;
    size_t end = i;
    while (end < low.size() && std::isalnum(static_cast<unsigned char>(low[end]))) ++end;
    out.Serial = std::string(line.substr(i, end - i));
  }
}

struct Point {
  double f, level, phase;
};

// Linear in log frequency between the points either side.
Point At(const std::vector<Point>& pts, double f) {
  const auto after = std::lower_bound(pts.begin(), pts.end(), f, [](const Point& p, double x) { return p.f < x; });
  if (after == pts.begin()) return pts.front();
  if (after == pts.end()) return pts.back();
  const Point& a = *(after - 1);
  const Point& b = *after;
  const double t = std::log(f / a.f) / std::log(b.f / a.f);
  return {f, a.level + t * (b.level - a.level), a.phase + t * (b.phase - a.phase)};
}

std::vector<Point> Resample(const std::vector<Point>& pts, int32_t n) {
  std::vector<Point> out(static_cast<size_t>(n));
  const double lo = pts.front().f, hi = pts.back().f;
  for (int32_t i = 0; i < n; ++i) out[static_cast<size_t>(i)] = At(pts, lo * std::pow(hi / lo, double(i) / (n - 1)));
  out.front() = pts.front();
  out.back() = pts.back();
  return out;
}

}  // namespace

std::string ParseMicCalibrationText(std::string_view text, MicTextReading& out) {
  out = MicTextReading{};
  std::vector<Point> pts;
  size_t lineNo = 0;
  text = WithoutByteOrderMark(text);
  for (size_t at = 0; at < text.size();) {
    ++lineNo;
    size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > kMaxLineBytes)
      return "User Error: Calibration text line " + std::to_string(lineNo) + " is longer than 4096 characters";
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos) continue;
    if (std::string_view("*#;\"").find(line[first]) != std::string_view::npos) {
      ReadNote(line, out);
      continue;
    }
    std::vector<std::string> fields;
    if (std::string bad; !Fields(line, fields, bad))
      return LineError(lineNo, "\"" + bad.substr(0, 40) +
                                   "\" has no clear decimal mark; write the numbers with a full stop or one comma");
    if (fields.empty()) continue;  // separators alone
    std::optional<double> values[3];
    for (size_t k = 0; k < std::min<size_t>(fields.size(), 3); ++k) {
      values[k] = Number(fields[k]);
      if (!values[k]) return LineError(lineNo, "\"" + fields[k].substr(0, 40) + "\" is not a number");
    }
    if (fields.size() < 2) return LineError(lineNo, "a frequency and a level are needed");
    const double f = *values[0], level = *values[1];
    if (!(f > 0)) return LineError(lineNo, "the frequency must be above 0 Hz");
    // The table holds Singles: a frequency must stay a distinct, ordinary one there.
    if (!(f >= kLowestMicTextHz && f <= kHighestMicTextHz))
      return LineError(lineNo, "the frequency must be within 0.1 Hz to 1 MHz");
    if (!pts.empty() && !(static_cast<float>(f) > static_cast<float>(pts.back().f)))
      return LineError(lineNo, "the frequency must be above the one before");
    if (std::fabs(level) > kMaxMicTextLevel) return LineError(lineNo, "the level must be within +/-50 dB");
    if (values[2] && std::fabs(*values[2]) > 1e5) return LineError(lineNo, "the phase must be within +/-100000 degrees");
    pts.push_back({f, level, values[2].value_or(0.0)});
  }
  if (pts.empty()) return "User Error: The calibration text holds no line of numbers";

  out.PointsInFile = static_cast<int32_t>(pts.size());
  if (out.PointsInFile > kMaxMicTextPoints) pts = Resample(pts, kMaxMicTextPoints);
  CalibrationReading& t = out.Table;
  t.Count = static_cast<int32_t>(pts.size());
  for (size_t i = 0; i < pts.size(); ++i) {
    t.Freq[i] = static_cast<float>(pts[i].f);
    t.Level[i] = static_cast<float>(pts[i].level);
    out.Phase[i] = static_cast<float>(pts[i].phase);
    t.PointsText +=
        FormatSingle(t.Freq[i]) + "    " + FormatSingle(t.Level[i]) + "    " + FormatSingle(out.Phase[i]) + "\n";
  }
  return "";
}

std::string ReadMicCalibrationText(const std::string& path, MicTextReading& out) {
  std::vector<uint8_t> bytes;
  if (std::string why; !ReadWholeFile(path, bytes, kLargestTextFileBytes, &why)) {
    out = MicTextReading{};
    return "Error 1 Opening Calibration File: " + path + ": " + why;
  }
  return ParseMicCalibrationText(TextFromFileBytes(bytes), out);
}

std::string MicTextResampledMessage(const MicTextReading& r) {
  return "The calibration text has " + std::to_string(r.PointsInFile) + " points: resampled to " +
         std::to_string(r.Table.Count) + " points spaced evenly in log frequency";
}

}  // namespace zentor
