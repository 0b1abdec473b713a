#include "exchange/filter_import.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <numbers>

#include "base/binary_io.h"
#include "core/emulation.h"
#include "core/records.h"
#include "exchange/peaking_filters.h"

namespace zentor {

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr double kImportRate = 48000;
constexpr double kLowestHz = 10, kHighestHz = kImportRate / 2;
constexpr double kLargestGain = 30, kSmallestQ = 0.01, kLargestQ = 100;
// Far more than 75 filter lines and any header a program writes around them.
constexpr int64_t kLongestFile = 1 << 20;

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

bool Same(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y)); });
}

bool Number(std::string_view word, double& v) {
  if (!word.empty() && word.front() == '+') word.remove_prefix(1);
  const auto r = std::from_chars(word.data(), word.data() + word.size(), v);
  return !word.empty() && r.ec == std::errc() && r.ptr == word.data() + word.size() && std::isfinite(v);
}

// "Filter", "Filter 3", "Filter3" up to the colon: the rest of the line, or false.
bool FilterLineBody(std::string_view line, std::string_view& body) {
  size_t i = line.find_first_not_of(" \t");
  if (i == std::string_view::npos || line.size() - i < 6 || !Same(line.substr(i, 6), "Filter")) return false;
  i += 6;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i]))) ++i;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  if (i >= line.size() || line[i] != ':') return false;
  body = line.substr(i + 1);
  return true;
}

struct ReadFilter {
  double fc = 0, gain = 0, q = 0;
};

// One filter line's body: "" and read/skip set, or the reason it is refused.
std::string ParseFilter(std::string_view body, bool& skip, ReadFilter& f) {
  const std::vector<std::string_view> w = Words(body);
  skip = false;
  if (w.empty()) return "the filter line is empty";
  if (Same(w[0], "OFF") || (w.size() == 2 && Same(w[0], "ON") && Same(w[1], "None"))) {
    skip = true;
    return {};
  }
  if (!Same(w[0], "ON")) return "a filter is ON or OFF, not \"" + std::string(w[0]) + "\"";
  if (w.size() < 2) return "the filter has no type";
  if (!Same(w[1], "PK") && !Same(w[1], "PEQ"))
    return "a filter of type " + std::string(w[1]) +
           " cannot be read; only peaking (PK) filters are read: remove the other filters from the file";
  bool fc = false, gain = false, q = false;
  size_t i = 2;
  auto value = [&](const char* name, double& out, const char* unit) -> std::string {
    if (i + 1 >= w.size() || !Number(w[i + 1], out))
      return std::string(name) + " is not a number" + (i + 1 < w.size() ? ": " + std::string(w[i + 1]) : "");
    i += 2;
    if (unit && i < w.size() && Same(w[i], unit)) ++i;
    return {};
  };
  while (i < w.size()) {
    std::string bad;
    if (Same(w[i], "Fc")) {
      bad = value("Fc", f.fc, "Hz");
      fc = true;
    } else if (Same(w[i], "Gain")) {
      bad = value("Gain", f.gain, "dB");
      gain = true;
    } else if (Same(w[i], "Q")) {
      bad = value("Q", f.q, nullptr);
      q = true;
    } else if (Same(w[i], "BW") && i + 1 < w.size() && Same(w[i + 1], "Oct")) {
      ++i;
      double bw = 0;
      bad = value("BW Oct", bw, nullptr);
      if (bad.empty() && !(bw > 0)) return "BW Oct must be above 0";
      f.q = 1 / (2 * std::sinh(std::numbers::ln2 / 2 * bw));
      q = true;
    } else {
      return "\"" + std::string(w[i]) + "\" is not part of a peaking filter";
    }
    if (!bad.empty()) return bad;
  }
  if (!fc || !gain || !q) return std::string("the filter lacks its ") + (!fc ? "Fc" : !gain ? "Gain" : "Q");
  if (f.fc < kLowestHz) return "Fc " + ShortFixedText(f.fc, 2) + " Hz lies below 10 Hz";
  if (f.fc >= kHighestHz) return "Fc " + ShortFixedText(f.fc, 2) + " Hz lies at or above 24000 Hz, half of 48 kHz";
  if (std::fabs(f.gain) > kLargestGain) return "Gain " + ShortFixedText(f.gain, 2) + " dB is beyond 30 dB";
  if (!(f.q >= kSmallestQ) || f.q > kLargestQ) return "Q " + GeneralText(f.q, 6) + " lies outside 0.01 to 100";
  return {};
}

// "Preamp: -6.3 dB": true and the value; refused text in bad.
bool PreampLine(std::string_view line, double& db, std::string& bad) {
  size_t i = line.find_first_not_of(" \t");
  if (i == std::string_view::npos || line.size() - i < 7 || !Same(line.substr(i, 7), "Preamp:")) return false;
  const std::vector<std::string_view> w = Words(line.substr(i + 7));
  if (w.empty() || !Number(w[0], db) || (w.size() > 1 && !Same(w[1], "dB")) || w.size() > 2)
    bad = "the preamp is not a number of dB";
  return true;
}

FilterImport Refuse(int32_t line, const std::string& reason) {
  FilterImport r;
  r.errorLine = line;
  r.error = line > 0 ? "Line " + std::to_string(line) + ": " + reason + "." : reason + ".";
  return r;
}

}  // namespace

FilterImport ImportFilterText(std::string_view text, int32_t modelCode) {
  if (EmulationModelName(modelCode).empty()) return Refuse(0, "No equaliser model has code " + std::to_string(modelCode));
  FilterImport result;
  std::vector<ReadFilter> read;
  int32_t number = 0;
  size_t pos = 0;
  text = WithoutByteOrderMark(text);
  while (pos < text.size()) {
    ++number;
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (std::any_of(line.begin(), line.end(), [](char c) { return (c >= 0 && c < 32 && c != '\t') || c == 127; }))
      return Refuse(number, "this is not a text line");
    std::string bad;
    double preamp = 0;
    if (PreampLine(line, preamp, bad)) {
      if (!bad.empty()) return Refuse(number, bad);
      result.hasPreamp = true;
      result.preamp_db = preamp;
      continue;
    }
    std::string_view body;
    if (!FilterLineBody(line, body)) continue;  // headers, comments, Channel:, Device: ...
    bool skip = false;
    ReadFilter f;
    bad = ParseFilter(body, skip, f);
    if (!bad.empty()) return Refuse(number, bad);
    if (skip) continue;
    if (read.size() == static_cast<size_t>(kMaxFilters))
      return Refuse(number, "more than " + std::to_string(kMaxFilters) + " filters; the set holds at most " +
                                std::to_string(kMaxFilters));
    read.push_back(f);
  }
  if (read.empty()) return Refuse(0, "The file holds no filter lines (Filter 1: ON PK Fc ... Hz Gain ... dB Q ...)");

  for (const ReadFilter& f : read) {
    FilterRecord r;
    r.Kind = 2;
    r.EQEmulationCode = modelCode;
    r.Freq1 = static_cast<float>(kTwoPi * f.fc);
    // The cookbook model writes its section's Q scaled for the rate: undo it.
    const double centreQ =
        modelCode == 2 ? f.q / (std::sin(kTwoPi * f.fc / kImportRate) / (kTwoPi * f.fc / kImportRate)) : f.q;
    const double spread = std::pow(10.0, std::fabs(f.gain) / 40);
    r.Q1 = static_cast<float>(f.gain > 0 ? -centreQ * spread : centreQ * spread);
    r.Q2 = static_cast<float>(centreQ / spread);
    const FilterRecord before = r;
    EmulateEQBand(modelCode, r.Freq1, r.Q1, r.Q2);
    if (r.Freq1 != before.Freq1 || r.Q1 != before.Q1 || r.Q2 != before.Q2) {
      ++result.moved;
      auto level = [](const FilterRecord& x) { return (x.Q1 < 0 ? 20.0 : -20.0) * std::log10(std::fabs(x.Q1) / x.Q2); };
      auto centre = [](const FilterRecord& x) { return std::sqrt(std::fabs(double(x.Q1)) * x.Q2); };
      result.maxMovePercentHz =
          std::max(result.maxMovePercentHz, 100 * std::fabs(r.Freq1 / double(before.Freq1) - 1));
      result.maxMoveDb = std::max(result.maxMoveDb, std::fabs(level(r) - level(before)));
      result.maxMovePercentQ = std::max(result.maxMovePercentQ, 100 * std::fabs(centre(r) / centre(before) - 1));
    }
    result.filters.push_back(r);
  }
  result.filters[0].Count = static_cast<int32_t>(result.filters.size());
  return result;
}

FilterImport ImportFilterFile(const std::string& path, int32_t modelCode) {
  std::vector<uint8_t> bytes;
  if (std::string why; !ReadWholeFile(path, bytes, kLongestFile, &why)) return Refuse(0, path + ": " + why);
  FilterImport read = ImportFilterText(TextFromFileBytes(bytes), modelCode);
  if (!read.ok()) read.error = path + ": " + read.error;
  return read;
}

std::string FilterImport::Summary(int32_t modelCode) const {
  const int32_t count = filters.empty() ? 0 : filters[0].Count;
  std::string s = std::to_string(count) + (count == 1 ? " filter" : " filters") + " read into the " +
                  std::string(EmulationModelName(modelCode)) + " model.";
  if (hasPreamp) s += " The file's preamp: " + FixedText(preamp_db, 1) + " dB.";
  if (moved > 0)
    s += " " + std::to_string(moved) + (moved == 1 ? " filter" : " filters") + " moved onto the model's steps, by at most " +
         FixedText(maxMovePercentHz, 1) + "% in frequency, " + FixedText(maxMoveDb, 2) + " dB in level and " +
         FixedText(maxMovePercentQ, 1) + "% in Q.";
  return s;
}

}  // namespace zentor
