// The curves of a view as text other programs read: CSV (one x column, one column
// per curve) and FRD (one file per curve of "frequency dB phase" lines after "* "
// notes). Numbers always carry a full stop, whatever the locale.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zentor {

struct TextCurve {
  std::string title;  // "Curve 3", or the curve's own legend text
  std::vector<float> x, y;
  std::vector<float> phase;  // degrees; empty where the view has none
};

// The view codes (Graphshown) by their names on the command line: bode, fractoct,
// psyc, impulse, noise, modal; nullopt for another name.
std::optional<int32_t> ViewByName(std::string_view name);
std::string ViewName(int32_t view);
constexpr std::string_view kViewNames = "bode, fractoct, psyc, impulse, noise or modal";
// Whether the view's x axis is time (ms) rather than frequency (Hz).
bool IsTimeView(int32_t view);

// The curves filed for the view as the main graph shows them: the average when
// the avg box is ticked, else every result's curve.
std::vector<TextCurve> CurvesOfView(int32_t view);

// One x column ("frequency_hz" or "time_ms") then one column per curve titled
// "<title> dB" (frequency) or "<title>" (time); rows follow the first curve's x,
// another curve's value read linearly in between its points, left empty outside.
std::string CurvesAsCsv(std::span<const TextCurve> curves, bool timeAxis);

// One FRD file: each note line prefixed "* ", then "frequency dB phase" lines
// (phase 0 where the curve has none).
std::string CurveAsFrd(const TextCurve& curve, std::span<const std::string> notes);

// The file of curve k (0-based) of n: the chosen name itself for one curve, else
// its stem with "_<k + 1>" before the extension.
std::string FrdFileName(const std::string& chosen, int32_t k, int32_t n);

}  // namespace zentor
