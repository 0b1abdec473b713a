#include "eqdesign/fit_limits_store.h"

#include <algorithm>

#include "base/shared_state.h"
#include "base/text_number.h"
#include "platform/settings.h"

namespace zentor {

namespace {

constexpr const char* kApp = "Zentor";

std::optional<FitLimits> overridden;
SharedStateRegistrar g_reset([] { overridden.reset(); });
constexpr const char* kSection = "FitLimits";

bool ReadNumber(const char* key, double& out) {
  const std::string text = GetSetting(kApp, kSection, key);
  if (!IsNumeric(text)) return false;
  out = Val(text);
  return true;
}

const char* ShapeName(FitTarget::Shape s) {
  switch (s) {
    case FitTarget::Shape::BassLift: return "BassLift";
    case FitTarget::Shape::File: return "File";
    case FitTarget::Shape::None: return "None";
    default: return "Flat";
  }
}

}  // namespace

void OverrideFitLimits(std::optional<FitLimits> limits) { overridden = std::move(limits); }

FitLimits LoadFitLimits(std::string* fault) {
  if (overridden) return *overridden;
  FitLimits l = DefaultFitLimits();
  double v = 0;
  if (ReadNumber("MaxBoost", v)) l.MaxBoostDb = v;
  if (ReadNumber("MaxFilters", v)) l.MaxFilters = static_cast<int32_t>(std::clamp(v, 1.0, 75.0));
  if (ReadNumber("BassLift", v)) l.Target.LiftDb = v;
  if (ReadNumber("BassCorner", v)) l.Target.CornerHz = v;
  if (ReadNumber("Level", v)) l.LevelDb = v;
  if (ReadNumber("BandLow", v)) l.BandLowHz = v;
  if (ReadNumber("BandHigh", v)) l.BandHighHz = v;
  const std::string level = GetSetting(kApp, kSection, "LevelMode");
  if (level == "Level") l.LevelMode = TargetLevelMode::Level;
  if (level == "Band") l.LevelMode = TargetLevelMode::Band;
  const std::string target = GetSetting(kApp, kSection, "Target");
  if (target == "BassLift") l.Target.Kind = FitTarget::Shape::BassLift;
  if (target == "File") {
    const std::string said = LoadTargetFile(GetSetting(kApp, kSection, "TargetFile"), l.Target);
    if (said.empty())
      l.Target.Kind = FitTarget::Shape::File;
    else if (fault)
      *fault = said;
  }
  return ClampFitLimits(l);
}

bool SaveFitLimits(const FitLimits& l) {
  const char* mode = l.LevelMode == TargetLevelMode::Level ? "Level"
                     : l.LevelMode == TargetLevelMode::Band ? "Band"
                                                            : "Median";
  return SaveSettings(kApp, kSection,
                      {{"MaxBoost", FormatDouble(l.MaxBoostDb)},
                       {"MaxFilters", FormatDouble(l.MaxFilters)},
                       {"Target", ShapeName(l.Target.Kind)},
                       {"BassLift", FormatDouble(l.Target.LiftDb)},
                       {"BassCorner", FormatDouble(l.Target.CornerHz)},
                       {"TargetFile", l.Target.FileName},
                       {"LevelMode", mode},
                       {"Level", FormatDouble(l.LevelDb)},
                       {"BandLow", FormatDouble(l.BandLowHz)},
                       {"BandHigh", FormatDouble(l.BandHighHz)}});
}

std::string DescribeFitLimits(const FitLimits& l) {
  std::string out = l.BoostLimited() ? (l.MaxBoostDb == 0 ? "Cuts only" : "Max boost " + FormatDouble(l.MaxBoostDb) + " dB")
                                     : "No boost limit";
  out += ", at most " + FormatDouble(l.MaxFilters) + " filters, target ";
  switch (l.Target.Kind) {
    case FitTarget::Shape::BassLift:
      out += "bass lift " + FormatDouble(l.Target.LiftDb) + " dB below " + FormatDouble(l.Target.CornerHz) + " Hz";
      break;
    case FitTarget::Shape::File: out += "file " + l.Target.FileName; break;
    case FitTarget::Shape::None: out += "none (deviations about the curve's own line)"; return out;
    default: out += "flat"; break;
  }
  switch (l.LevelMode) {
    case TargetLevelMode::Level: out += " at " + FormatDouble(l.LevelDb) + " dB"; break;
    case TargetLevelMode::Band:
      out += " at the curve's median level from " + FormatDouble(l.BandLowHz) + " to " + FormatDouble(l.BandHighHz) +
             " Hz";
      break;
    default: out += " at the curve's median level over the fit range"; break;
  }
  return out;
}

}  // namespace zentor
