#include "measurement/mic_calibration_files.h"

#include <QLocale>
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "base/atomic_file.h"
#include "base/binary_io.h"
#include "base/text_number.h"
#include "core/helpers.h"
#include "platform/dialogs.h"

namespace zentor {

namespace {

// No calibration line comes near this; a longer one means the file is not one.
constexpr size_t kMaxLineLength = 4096;

// Lines of a text file, ended by CR LF or LF alone; the file is read whole
// within the bound of a text file, its byte-order mark dropped.
class LineSource {
 public:
  explicit LineSource(const std::string& path) : path_(path) {
    std::vector<uint8_t> bytes;
    open_ = ReadWholeFile(path, bytes, kLargestTextFileBytes, &problem_);
    text_ = TextFromFileBytes(bytes);
  }
  bool IsOpen() const { return open_; }
  bool AtEnd() const { return at_ >= text_.size(); }
  // False past the end, and for a line too long to be a calibration line.
  bool Next(std::string& line) {
    line.clear();
    if (AtEnd()) return false;
    ++number_;
    size_t end = text_.find('\n', at_);
    if (end == std::string::npos) end = text_.size();
    if (end - at_ > kMaxLineLength) return false;
    line = text_.substr(at_, end - at_);
    at_ = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  }
  // Why the file was refused: "PATH: not found", "PATH: line 7 ...".
  std::string Fault() const {
    if (!open_) return path_ + ": " + problem_;
    if (AtEnd() && number_ > 0) return path_ + ": cut short after line " + std::to_string(number_);
    return path_ + ": line " + std::to_string(number_ + (number_ == 0)) + " is not a calibration line";
  }

 private:
  std::string path_, problem_, text_;
  size_t at_ = 0;
  int32_t number_ = 0;
  bool open_ = false;
};

enum class NumberText { Number, NotNumber, OutOfRange };

NumberText ReadNumber(const std::string& text, float& value) {
  value = 0.0f;
  std::string t = text;
  std::replace(t.begin(), t.end(), ',', '.');
  if (!IsNumeric(t)) return NumberText::NotNumber;
  const double v = Val(t);
  if (!std::isfinite(v) || std::fabs(v) > FLT_MAX) return NumberText::OutOfRange;
  value = static_cast<float>(v);
  return NumberText::Number;
}

CalibrationRead ReadMicCalLines(LineSource& src, CalibrationReading& out);
CalibrationRead ReadTactMicLines(LineSource& src, CalibrationReading& out);

}  // namespace

bool CalibrationNumber(const std::string& text, float& value) {
  return ReadNumber(text, value) != NumberText::OutOfRange;
}

std::string FormatCalibrationNumber(float value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.3f", static_cast<double>(value));
  std::string s = buf;
  if (s == "-0.000") s = "0.000";
  const std::string mark = QLocale().decimalPoint().toStdString();
  const size_t dot = s.find('.');
  if (dot != std::string::npos) s.replace(dot, 1, mark);
  return s;
}

std::string CalibrationPointLine(float freq, float level) {
  return FormatSingle(freq) + "    " + FormatSingle(level) + "    0.0";
}

CalibrationRead ReadMicCalFile(const std::string& path, CalibrationReading& out) {
  out = CalibrationReading{};
  LineSource src(path);
  const CalibrationRead result = ReadMicCalLines(src, out);
  if (result != CalibrationRead::Completed) out.Fault = src.Fault();
  return result;
}

namespace {

CalibrationRead ReadMicCalLines(LineSource& src, CalibrationReading& out) {
  if (!src.IsOpen()) return CalibrationRead::NotOpened;
  if (!src.Next(out.LineOne) || !src.Next(out.LineTwo)) return CalibrationRead::Failed;
  out.HasTextLines = true;
  if (src.AtEnd()) MsgBox("Calibration File Input Error 1");
  std::string line, f1, f2, f3;
  while (out.Count < kMaxCalFilePoints && !src.AtEnd()) {
    if (!src.Next(line)) return CalibrationRead::Failed;
    // Blank lines and notes are no points.
    if (SplitCalibrationLine(line, f1, f2, f3) < 2) continue;
    float f = 0, l = 0;
    if (!CalibrationNumber(f1, f) || !CalibrationNumber(f2, l)) return CalibrationRead::Failed;
    out.Freq[static_cast<size_t>(out.Count)] = f;
    out.Level[static_cast<size_t>(out.Count)] = l;
    ++out.Count;
    out.PointsText += line + "\n";
  }
  return CalibrationRead::Completed;
}

}  // namespace

CalibrationRead ReadTactMicFile(const std::string& path, CalibrationReading& out) {
  out = CalibrationReading{};
  LineSource src(path);
  const CalibrationRead result = ReadTactMicLines(src, out);
  if (result != CalibrationRead::Completed) out.Fault = src.Fault();
  return result;
}

namespace {

CalibrationRead ReadTactMicLines(LineSource& src, CalibrationReading& out) {
  if (!src.IsOpen()) return CalibrationRead::NotOpened;
  std::string line;
  float value = 0;

  bool zeroFound = false;
  for (int32_t i = 0; i < kMicFileHeaderLines && !zeroFound; ++i) {
    if (!src.Next(line)) return CalibrationRead::Failed;
    const NumberText t = ReadNumber(line, value);
    if (t == NumberText::OutOfRange) return CalibrationRead::Failed;
    zeroFound = t == NumberText::Number && value == 0.0f;
  }
  if (!zeroFound) MsgBox("Error 7619");

  if (!src.Next(line)) return CalibrationRead::Failed;
  switch (ReadNumber(line, value)) {
    case NumberText::NotNumber: MsgBox("Error 3298"); return CalibrationRead::Abandoned;
    case NumberText::OutOfRange: return CalibrationRead::Failed;
    case NumberText::Number: break;
  }

  // Point 0 is 0 Hz; point i is pair i.
  std::vector<float> freq(kMaxMicFilePairs + 1, 0.0f), level(kMaxMicFilePairs + 1, 0.0f);
  level[0] = value;
  int32_t n = 0;
  for (int32_t i = 1; i <= kMaxMicFilePairs; ++i) {
    float pair[2] = {0, 0};
    bool complete = true;
    for (float& v : pair) {
      if (src.AtEnd()) {
        complete = false;
        break;
      }
      if (!src.Next(line)) return CalibrationRead::Failed;
      const NumberText t = ReadNumber(line, v);
      if (t == NumberText::OutOfRange) return CalibrationRead::Failed;
      if (t == NumberText::NotNumber) {
        complete = false;
        break;
      }
    }
    if (!complete) break;
    freq[static_cast<size_t>(i)] = pair[0];
    level[static_cast<size_t>(i)] = pair[1];
    n = i;
  }
  if (n >= kMaxMicFilePairs) MsgBox("Error 9231");

  // The table keeps points 0 to n - 1: 0 Hz and the first n - 1 pairs. A complete
  // pair that ends the file counts towards n like the others: leaving it out would
  // lose a calibration point. From 1000 pairs on every step-th point, at most 1000.
  int32_t step = 1, count = n;
  if (n >= kMaxMicFileKept) {
    step = n / kMaxMicFileKept + 1;
    count = CLng(static_cast<double>(n) / step);
  }
  count = std::min(count, kMaxMicFileKept);
  for (int32_t i = 0; i < count; ++i) {
    const auto from = static_cast<size_t>(std::min<int64_t>(int64_t{i} * step, n));
    out.Freq[static_cast<size_t>(i)] = freq[from];
    out.Level[static_cast<size_t>(i)] = level[from];
    out.PointsText += CalibrationPointLine(freq[from], level[from]) + "\n";
  }
  out.Count = count;
  return CalibrationRead::Completed;
}

}  // namespace

CalibrationRead ReadCalibrationFile(const std::string& path, CalibrationReading& out) {
  std::string ext = GetFileExtension(path);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  if (ext == "cal") return ReadMicCalFile(path, out);
  if (ext == "mic") return ReadTactMicFile(path, out);
  out = CalibrationReading{};
  out.Fault = path + ": not a .cal or .mic file";
  return CalibrationRead::NotOpened;
}

std::string CalibrationFault(const std::string& code, const CalibrationReading& r) {
  return r.Fault.empty() ? code : code + ": " + r.Fault;
}

void CommitCalibrationReading(const CalibrationReading& reading, const std::string& fileName) {
  MicCalCount = std::clamp(reading.Count, 0, kMaxMicCalPoints);
  MicCalFreq = reading.Freq;
  MicCalLevel = reading.Level;
  MicCalFileName = fileName;
}

bool WriteMicCalFile(const std::string& path, const std::string& lineOne, const std::string& lineTwo,
                     std::span<const float> freq, std::span<const float> level, std::span<const float> phase,
                     int32_t count) {
  const auto n = static_cast<size_t>(std::clamp<int64_t>(count, 0, std::min({freq.size(), level.size(), phase.size()})));
  std::string text = lineOne + "\r\n" + lineTwo + "\r\n";
  for (size_t i = 0; i < n; ++i)
    text += FormatCalibrationNumber(freq[i]) + "  " + FormatCalibrationNumber(level[i]) + "  " +
            FormatCalibrationNumber(phase[i]) + "\r\n";
  // Written whole or not at all: a failed save keeps the old file.
  return WriteWholeFileAtomic(path, text);
}

}  // namespace zentor
