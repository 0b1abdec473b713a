#include "file_fixture.h"

#include <cmath>

#include "base/binary_io.h"
#include "mainwindow/data_plotter.h"
#include "platform/forms.h"

namespace zentor::test {

namespace {

struct Fnv {
  uint64_t h = 1469598103934665603ull;
  void Add(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
  }
  void Words(const void* p, size_t n) {
    const auto* w = static_cast<const uint64_t*>(p);
    for (size_t i = 0; i < n / 8; ++i) h = (h ^ w[i]) * 1099511628211ull;
  }
  void Str(const std::string& s) {
    Add(s.data(), s.size());
    Add("|", 1);
  }
};

}  // namespace

uint64_t StateFingerprint() {
  Fnv f;
  for (const auto& col : ImpulseSet) f.Words(col.data(), col.size() * sizeof(float));
  BinaryWriter w;
  for (const auto& h : ResultsDataSetInfo) WriteMeasurementHeader(w, h);
  WriteGraphFrame(w, TimeGraphFrame);
  WriteGraphFrame(w, FreqGraphFrame);
  WriteDisplayConfig(w, DisplayConfig);
  WriteImpulseDisplayConfig(w, ImpulseDisplayConfig);
  WriteMicCalTable(w, ActiveMicCal);
  WriteUserNotesBlock(w, UserNotesBlock);
  f.Add(w.data().data(), w.size());
  f.Add(AppliedFilters.data(), sizeof(AppliedFilters));
  f.Str(ResultFileName);
  f.Str(EQFileName);
  f.Str(InitialOpenFolder);
  f.Add(&DataResampled, sizeof(DataResampled));
  if (Forms::IsLoaded<DataPlotter>()) {
    DataPlotter* p = Forms::Get<DataPlotter>();
    f.Str(p->windowTitle().toStdString());
    const int32_t codes[] = {p->GetGraphicEQEmulation(), p->GetParametricEQEmulation(), p->ResultsTakenButNotSaved,
                             p->EQResultsTakenButNotSaved};
    f.Add(codes, sizeof(codes));
  }
  return f.h;
}

void FillStore(int32_t n, int32_t exponent, int32_t rate, float multiplier) {
  const int32_t s = 1 << std::min(exponent, 17);
  for (int32_t i = 0; i < kMaxResults; ++i) {
    ResultsDataSetInfo[i] = MeasurementHeader{};
    ImpulseSet[i].fill(0.0f);
    if (i >= n) continue;
    MeasurementHeader& h = ResultsDataSetInfo[i];
    h.NumInSet = n;
    h.SampleRate = rate;
    h.PeriodExponent = exponent;
    h.PreExcitationExponent = exponent - 1;
    h.LevelMultiplier = multiplier;
    h.ImpulseGateTime = 20.0f;
    h.PeakLevel = -6.0f - static_cast<float>(i);
    for (int32_t j = 0; j < s; ++j)
      ImpulseSet[i][j] = static_cast<float>(std::sin(0.001 * (j + 1) * (i + 1))) + static_cast<float>(i);
  }
}

}  // namespace zentor::test
