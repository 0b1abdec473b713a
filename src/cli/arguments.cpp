#include "cli/arguments.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "cli/json.h"

namespace zentor::cli {

namespace {

bool ParseNumber(const std::string& text, double& out) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  const auto r = std::from_chars(text.data(), end, out);
  return r.ec == std::errc() && r.ptr == end && std::isfinite(out);
}

std::string RangeText(double lo, double hi) { return NumberText(lo) + " to " + NumberText(hi); }

}  // namespace

std::string Arguments::Text(const std::string& name, const std::string& fallback) const {
  const auto it = values_.find(name);
  return it == values_.end() ? fallback : it->second;
}

double Arguments::Real(const std::string& name, double lo, double hi, double fallback) const {
  if (!Has(name)) return fallback;
  double v = 0;
  if (!ParseNumber(Text(name), v) || v < lo || v > hi)
    throw UsageError(name + " must be a number from " + RangeText(lo, hi) + " (given \"" + Text(name) + "\")");
  return v;
}

int32_t Arguments::Whole(const std::string& name, int32_t lo, int32_t hi, int32_t fallback) const {
  if (!Has(name)) return fallback;
  double v = 0;
  if (!ParseNumber(Text(name), v) || v != std::floor(v) || v < lo || v > hi)
    throw UsageError(name + " must be a whole number from " + RangeText(lo, hi) + " (given \"" + Text(name) + "\")");
  return static_cast<int32_t>(v);
}

std::string Arguments::Choice(const std::string& name, const std::vector<std::string>& allowed,
                              const std::string& fallback) const {
  if (!Has(name)) return fallback;
  const std::string v = Text(name);
  if (std::find(allowed.begin(), allowed.end(), v) != allowed.end()) return v;
  std::string list;
  for (const std::string& a : allowed) list += (list.empty() ? "" : ", ") + a;
  throw UsageError(name + " must be one of " + list + " (given \"" + v + "\")");
}

bool Arguments::Pair(const std::string& name, double lo, double hi, double& first, double& second) const {
  if (!Has(name)) return false;
  const std::string v = Text(name);
  const size_t colon = v.find(':');
  if (colon == std::string::npos || !ParseNumber(v.substr(0, colon), first) ||
      !ParseNumber(v.substr(colon + 1), second) || first < lo || second > hi || first >= second)
    throw UsageError(name + " must be LO:HI with " + RangeText(lo, hi) + " and LO below HI (given \"" + v + "\")");
  return true;
}

Arguments ParseArguments(const SubcommandSpec& command, const std::vector<std::string>& words) {
  Arguments args;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (w.size() < 2 || w[0] != '-' || w == "-") {
      args.positional.push_back(w);
      continue;
    }
    std::string name = w, value;
    bool inlineValue = false;
    if (const size_t eq = w.find('='); eq != std::string::npos) {
      name = w.substr(0, eq);
      value = w.substr(eq + 1);
      inlineValue = true;
    }
    const auto opt = std::find_if(command.options.begin(), command.options.end(),
                                  [&](const OptionSpec& o) { return o.name == name; });
    if (opt == command.options.end())
      throw UsageError("unknown option " + name + " for \"zentor " + command.name + "\" (see zentor " + command.name +
                       " --help)");
    if (opt->value.empty()) {
      if (inlineValue) throw UsageError(name + " takes no value");
      args.values_[name] = "";
      continue;
    }
    if (!inlineValue) {
      if (i + 1 >= words.size()) throw UsageError(name + " needs a value (" + opt->value + ")");
      value = words[++i];
    }
    if (args.values_.count(name)) throw UsageError(name + " is given twice");
    args.values_[name] = value;
  }
  const auto n = static_cast<int32_t>(args.positional.size());
  if (n < command.minPositional)
    throw UsageError("\"zentor " + command.name + "\" needs " + command.synopsis.substr(0, command.synopsis.find(' ')));
  if (n > command.maxPositional)
    throw UsageError("unexpected argument \"" + args.positional[static_cast<size_t>(command.maxPositional)] +
                     "\" for \"zentor " + command.name + "\"");
  return args;
}

std::string HelpText(const SubcommandSpec& command) {
  std::string out = "Usage: zentor " + command.name + " " + command.synopsis + "\n" + command.summary + "\n\nOptions:\n";
  size_t width = 0;
  for (const OptionSpec& o : command.options) width = std::max(width, o.name.size() + 1 + o.value.size());
  for (const OptionSpec& o : command.options) {
    std::string head = o.name + (o.value.empty() ? "" : " " + o.value);
    head.resize(width, ' ');
    // A help of several lines keeps to its column.
    std::string help = o.help;
    for (size_t at = help.find('\n'); at != std::string::npos; at = help.find('\n', at + 1))
      help.insert(at + 1, width + 4, ' ');
    out += "  " + head + "  " + help + "\n";
  }
  return out;
}

}  // namespace zentor::cli
