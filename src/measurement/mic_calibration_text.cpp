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

// The line's words: parted by blanks, tabs or semicolons, a comma that leads or
// ends a word parting it from its neighbour.
std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> wide;
  for (size_t i = 0; i < line.size();) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    const size_t start = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    std::string_view w = line.substr(start, i - start);
    while (!w.empty() && w.front() == ',') w.remove_prefix(1);
    while (!w.empty() && w.back() == ',') w.remove_suffix(1);
    if (!w.empty()) wide.push_back(w);
  }
  return wide;
}

// Digits in groups of three after the first one to three, each group led by a
// comma, maybe a fraction after a full stop: "1,000", "-20,000.5".
bool GroupedThousands(std::string_view w) {
  if (!w.empty() && (w.front() == '-' || w.front() == '+')) w.remove_prefix(1);
  const size_t point = w.find('.');
  const std::string_view whole = w.substr(0, point);
  const size_t first = whole.find(',');
  if (first == std::string_view::npos || first == 0 || first > 3) return false;
  for (size_t i = 0; i < whole.size(); ++i) {
    const bool comma = i >= first && (i - first) % 4 == 0;
    if (comma != (whole[i] == ',') || (!comma && !std::isdigit(static_cast<unsigned char>(whole[i])))) return false;
  }
  if ((whole.size() - first) % 4 != 0) return false;
  if (point == std::string_view::npos) return true;
  const std::string_view fraction = w.substr(point + 1);
  return std::all_of(fraction.begin(), fraction.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// What a comma does on a line of two or more words. Decimal: a word like "31,5"
// that cannot be thousands. Thousands: a full stop writes the decimals and every
// comma parts groups of three ("1,000<TAB>0.00"). Unsure: only commas that could
// be either ("1,000 0"). Ambiguous (bad names the word): a comma beside a full
// stop in a word, or in another word, that is no group of thousands ("31.5,2",
// "1,5<TAB>0.25"), or two commas in a line without a full stop.
enum class Commas { None, Decimal, Thousands, Unsure, Ambiguous };

Commas LineCommas(const std::vector<std::string_view>& words, std::string& bad) {
  if (words.size() < 2) return Commas::None;  // commas alone part the values ("20,-1.25,0")
  const bool point = std::any_of(words.begin(), words.end(), [](std::string_view w) { return w.find('.') != w.npos; });
  Commas kind = Commas::None;
  for (std::string_view w : words) {
    const size_t commas = std::count(w.begin(), w.end(), ',');
    if (commas == 0) continue;
    if (point || commas > 1) {
      if (!GroupedThousands(w)) {
        bad = std::string(w);
        return Commas::Ambiguous;
      }
      if (point) kind = Commas::Thousands;
    } else if (!GroupedThousands(w)) {
      kind = Commas::Decimal;
    } else if (kind == Commas::None) {
      kind = Commas::Unsure;
    }
  }
  for (std::string_view w : words) {
    if (std::count(w.begin(), w.end(), ',') < 2) continue;
    if (kind == Commas::Decimal) {  // "1,000,000 2,5": both in one line
      bad = std::string(w);
      return Commas::Ambiguous;
    }
    kind = Commas::Thousands;  // "1,000,000 0": only groups
  }
  return kind;
}

// The line's fields as numbers written with a full stop: with commas as thousands
// separators they go, as decimal marks they become full stops; a single word is
// parted at its commas ("31.5,-0.75", "1000,0").
std::vector<std::string> Fields(const std::vector<std::string_view>& words, bool thousands) {
  std::vector<std::string> out;
  if (words.size() == 1) {
    for (size_t i = 0; i < words[0].size();) {
      const size_t end = std::min(words[0].find(',', i), words[0].size());
      if (end > i) out.emplace_back(words[0].substr(i, end - i));
      i = end + 1;
    }
    return out;
  }
  for (std::string_view w : words) {
    std::string f(w);
    if (thousands || std::count(f.begin(), f.end(), ',') > 1) std::erase(f, ',');
    else std::replace(f.begin(), f.end(), ',', '.');
    out.push_back(std::move(f));
  }
  return out;
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

namespace {

struct TextLine {
  size_t number;
  std::string_view text;
};

// The lines of numbers (notes read on the way), or a refusal.
std::string NumberLines(std::string_view text, MicTextReading& out, std::vector<TextLine>& lines) {
  size_t lineNo = 0;
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
    lines.push_back({lineNo, line});
  }
  return "";
}

}  // namespace

std::string ParseMicCalibrationText(std::string_view text, MicTextReading& out) {
  out = MicTextReading{};
  std::vector<TextLine> lines;
  if (std::string why = NumberLines(WithoutByteOrderMark(text), out, lines); !why.empty()) return why;
  // What a comma means is settled for the whole text: a spreadsheet writes
  // "1,000<TAB>0" beside "1,250<TAB>0.5", and both are thousands.
  size_t decimalLine = 0, thousandsLine = 0;
  for (const TextLine& l : lines) {
    std::string bad;
    const Commas kind = LineCommas(Words(l.text), bad);
    if (kind == Commas::Decimal && decimalLine == 0) decimalLine = l.number;
    if (kind == Commas::Thousands && thousandsLine == 0) thousandsLine = l.number;
  }
  std::vector<Point> pts;
  for (const TextLine& l : lines) {
    const size_t lineNo = l.number;
    const std::vector<std::string_view> words = Words(l.text);
    std::string bad;
    const Commas kind = LineCommas(words, bad);
    if (kind == Commas::Ambiguous)
      return LineError(lineNo, "\"" + bad.substr(0, 40) +
                                   "\" has no clear decimal mark; write the numbers with a full stop or one comma");
    if (decimalLine != 0 && thousandsLine != 0 && (kind == Commas::Decimal || kind == Commas::Thousands) &&
        lineNo == std::max(decimalLine, thousandsLine))
      return LineError(lineNo, std::string("a comma marks ") + (kind == Commas::Decimal ? "decimals" : "thousands") +
                                   " here but " + (kind == Commas::Decimal ? "thousands" : "decimals") + " on line " +
                                   std::to_string(std::min(decimalLine, thousandsLine)) +
                                   "; write the numbers with a full stop");
    const std::vector<std::string> fields = Fields(words, kind == Commas::Thousands || (kind == Commas::Unsure && thousandsLine != 0));
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
