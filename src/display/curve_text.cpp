#include "display/curve_text.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "base/text_number.h"
#include "core/helpers.h"
#include "core/records.h"
#include "display/view_state.h"

namespace zentor {

namespace {

struct NamedView {
  std::string_view name;
  int32_t view;
};
constexpr std::array<NamedView, 6> kViews = {{{"bode", kBodeView},
                                              {"fractoct", kFractOctView},
                                              {"psyc", kPsycView},
                                              {"impulse", kImpulseView},
                                              {"noise", kNoiseView},
                                              {"modal", kModalSliceView}}};

const CurveArray* FiledCurves(int32_t view) {
  switch (view) {
    case kBodeView: return &BodeCurves;
    case kFractOctView: return &FractOctCurves;
    case kPsycView: return &PsycCurves;
    case kImpulseView: return &ImpulseCurves;
    case kNoiseView: return &NoiseCurves;
    case kModalSliceView: return &ModalCurves;
    case kPsdView: return &PsdCurves;
    case kLevelsView: return &LevelsCurves;
    default: return nullptr;
  }
}

std::string Trimmed(const std::string& s) {
  const size_t a = s.find_first_not_of(' ');
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

// Quoted when it holds a separator, a quote or a line end.
std::string CsvField(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string out = "\"";
  for (char c : s) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

// The curve's value at x, straight between its points; nothing outside them.
std::optional<float> ValueAt(const TextCurve& c, float x) {
  const size_t n = std::min(c.x.size(), c.y.size());
  if (n == 0 || x < c.x.front() || x > c.x[n - 1]) return std::nullopt;
  const auto it = std::lower_bound(c.x.begin(), c.x.begin() + static_cast<std::ptrdiff_t>(n), x);
  const auto i = static_cast<size_t>(it - c.x.begin());
  if (c.x[i] == x || i == 0) return c.y[i];
  const float x0 = c.x[i - 1], x1 = c.x[i];
  if (!(x1 > x0)) return c.y[i];
  return c.y[i - 1] + (c.y[i] - c.y[i - 1]) * ((x - x0) / (x1 - x0));
}

}  // namespace

std::optional<int32_t> ViewByName(std::string_view name) {
  for (const NamedView& v : kViews)
    if (v.name == name) return v.view;
  return std::nullopt;
}

std::string ViewName(int32_t view) {
  for (const NamedView& v : kViews)
    if (v.view == view) return std::string(v.name);
  return view == kPsdView ? "noise energy" : view == kLevelsView ? "levels" : "view " + std::to_string(view);
}

bool IsTimeView(int32_t view) { return view == kImpulseView || view == kLevelsView; }

std::vector<TextCurve> CurvesOfView(int32_t view) {
  const CurveArray* set = DisplayConfig.Average != 0 ? &AverageCurves : FiledCurves(view);
  std::vector<TextCurve> out;
  if (set == nullptr) return out;
  const int32_t n = std::clamp((*set)[0].NumCurves, 0, kCurveSlots);
  for (int32_t i = 0; i < n; ++i) {
    const CurveRecord& r = (*set)[static_cast<size_t>(i)];
    const auto points = static_cast<size_t>(std::clamp(r.NumPoints, 0, kMaxCurvePoints));
    if (points == 0) continue;
    TextCurve c;
    const std::string label = Trimmed(r.Label);
    const bool number = !label.empty() && std::all_of(label.begin(), label.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
    c.title = label.empty() || number ? "Curve " + (number ? label : std::to_string(i + 1)) : label;
    c.x.assign(r.XValues.begin(), r.XValues.begin() + static_cast<std::ptrdiff_t>(points));
    c.y.assign(r.YValues.begin(), r.YValues.begin() + static_cast<std::ptrdiff_t>(points));
    out.push_back(std::move(c));
  }
  return out;
}

std::string CurvesAsCsv(std::span<const TextCurve> curves, bool timeAxis) {
  std::string text = timeAxis ? "time_ms" : "frequency_hz";
  for (const TextCurve& c : curves) text += "," + CsvField(timeAxis ? c.title : c.title + " dB");
  text += "\r\n";
  if (curves.empty()) return text;
  const TextCurve& first = curves.front();
  const size_t rows = std::min(first.x.size(), first.y.size());
  for (size_t j = 0; j < rows; ++j) {
    const float x = first.x[j];
    text += FormatSingle(x);
    for (size_t k = 0; k < curves.size(); ++k) {
      text += ",";
      const std::optional<float> v = k == 0 ? std::optional<float>(first.y[j]) : ValueAt(curves[k], x);
      if (v) text += FormatSingle(*v);
    }
    text += "\r\n";
  }
  return text;
}

std::string CurveAsFrd(const TextCurve& curve, std::span<const std::string> notes) {
  std::string text;
  for (const std::string& n : notes) text += "* " + n + "\r\n";
  const size_t rows = std::min(curve.x.size(), curve.y.size());
  for (size_t j = 0; j < rows; ++j)
    text += FormatSingle(curve.x[j]) + " " + FormatSingle(curve.y[j]) + " " +
            FormatSingle(j < curve.phase.size() ? curve.phase[j] : 0.0f) + "\r\n";
  return text;
}

std::string FrdFileName(const std::string& chosen, int32_t k, int32_t n) {
  if (n <= 1) return chosen;
  const std::string stem = GetFileNameStem(chosen);
  const std::string rest = chosen.substr(stem.size());
  return stem + "_" + std::to_string(k + 1) + (rest.empty() ? ".frd" : rest);
}

}  // namespace zentor
