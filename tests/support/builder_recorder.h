// Counts the view builders' calls instead of computing views: Install() puts a
// recorder for each into ViewBuilders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "display/dispatcher.h"
#include "display/view_state.h"
#include "platform/forms.h"

namespace zentor::test {

struct BuilderCall {
  std::string name;
  int32_t first = 0;
  bool operator==(const BuilderCall&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const BuilderCall& c) { return os << c.name << "(" << c.first << ")"; }

// Counts the builder calls instead of computing views.
struct BuilderRecorder {
  std::vector<BuilderCall> calls;
  std::function<void()> during;  // runs inside every builder call
  int cursorDepthInBuilder = -1;
  int16_t showEtcInBuilder = 99;
  struct LevelsArgs {
    int32_t start, rate, shift;
    float ms, level, sn;
    size_t samples;
  } levels{};

  BuilderCall Last() const { return calls.empty() ? BuilderCall{} : calls.back(); }

  // The calls so far, forgotten here.
  std::vector<BuilderCall> Take() {
    std::vector<BuilderCall> c = std::move(calls);
    calls.clear();
    return c;
  }

  void Install() {
    ViewBuilderTable& t = ViewBuilders;
    t.ShowMainImpulseSet = [this](GraphHost&, int32_t f) {
      showEtcInBuilder = ImpulseDisplayConfig.ShowETC;
      return Record("ShowMainImpulseSet", f);
    };
    t.ShowPSDEnergy = [this](GraphHost&, int32_t f) { return Record("ShowPSDEnergy", f); };
    t.ShowLevelsImpulse = [this](GraphHost&, std::span<float> impulse, int32_t start, float ms, int32_t rate,
                                 int32_t shift, float level, float sn) {
      levels = {start, rate, shift, ms, level, sn, impulse.size()};
      Record("ShowLevelsImpulse", 0);
    };
    t.ShowFFTResponseSet = [this](GraphHost&, int32_t f) { return Record("ShowFFTResponseSet", f); };
    t.ShowFractOctResponseSet = [this](GraphHost&, int32_t f) { return Record("ShowFractOctResponseSet", f); };
    t.ShowPsycResponseSet = [this](GraphHost&, int32_t f) { return Record("ShowPsycResponseSet", f); };
    t.ShowNoiseResponseSet = [this](GraphHost&, int32_t f) { return Record("ShowNoiseResponseSet", f); };
    t.ShowModalResponseSet = [this](GraphHost&, int32_t f) { return Record("ShowModalResponseSet", f); };
    t.ShowImpulseCurve = [this](GraphHost&, int32_t k) { Record("ShowImpulseCurve", k); };
  }

 private:
  bool Record(const char* name, int32_t f) {
    calls.push_back({name, f});
    cursorDepthInBuilder = WaitCursor::Depth();
    if (during) during();
    return true;
  }
};

// A loaded set of n results at 48 kHz, 2^17 samples, whose view caches hold n
// curves each, as the views last saw it.
inline void LoadCachedSet(int32_t n) {
  MeasurementHeader& s = ResultsDataSetInfo[0];
  s = EQConfig;
  s.NumInSet = n;
  s.SampleRate = 48000;
  s.PeriodExponent = 17;
  for (CurveArray* a : {&ImpulseCurves, &BodeCurves, &FractOctCurves, &PsycCurves, &NoiseCurves, &ModalCurves, &PsdCurves})
    (*a)[0].NumCurves = n;
  LoadStaticConfig();
}

}  // namespace zentor::test
